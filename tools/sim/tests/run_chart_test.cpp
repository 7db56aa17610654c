#include "report/run_chart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "report/svg_parts.h"
#include "sim_test_support.h"

namespace zt::sim {
namespace {

TEST(NiceStep, RoundsUpToOneTwoOrFiveTimesAPowerOfTen) {
  struct Case {
    double range;
    int ticks;
    double step;
  };
  const Case cases[] = {{100, 10, 10},  {100, 8, 20}, {100, 3, 50}, {1, 4, 0.5}, {0.07, 7, 0.01},
                        {1234, 5, 500}, {9, 1, 10},   {60, 4, 20},  {3, 3, 1}};
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(svg::NiceStep(c.range, c.ticks), c.step) << c.range << "/" << c.ticks;
}

// A run with every kind of event, over two days so that the time axis carries dates.
HostRun SampleRun(std::size_t ticks, std::size_t cycles) {
  HostRun run;
  const std::int64_t start = 1704153600;
  const auto n = static_cast<std::int64_t>(ticks);
  for (std::int64_t i = 0; i <= n; ++i) {
    run.equity.push_back(
        {start + i * 2 * 86400 / n, 10000 + 80 * std::sin(static_cast<double>(i) / 40.0)});
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  run.levels.push_back({start, {10000, 10060, 9960, 9850}});
  run.levels.push_back({start + 20000, {10000, 10045, nan, 9850}});  // no drawdown target left
  run.levels.push_back({start + 60000, {10062, 10122, 10022, 9912}});
  const auto at = [&](std::int64_t t, double equity) {
    return AccountFigures{start + t, equity, 0, 0};
  };
  run.events.push_back({EventKind::Start, 0, at(0, 10000), 10000, "", {}, 0, 0, -1});
  run.events.push_back({EventKind::DrawdownStep, 10, at(20000, 9960), 10000, "dd", {}, 0, 0, -1});
  run.events.push_back(
      {EventKind::TakeProfitClose, 20, at(60000, 10062), 10062, "tp", {}, 900, 10062, -1});
  run.events.push_back(
      {EventKind::IncreaseReached, 20, at(60000, 10062), 10062, "inc", {}, 0, 0, -1});
  run.events.push_back(
      {EventKind::StopLossClose, 30, at(120000, 9910), 9910, "sl", {}, 900, 9910, -1});
  for (std::size_t i = 0; i < cycles; ++i) {
    run.cycles.push_back({10000, -5.0 - static_cast<double>(i % 7) * 9.5, 10010, i % 4 == 3, 0});
  }
  run.ticks = static_cast<std::int64_t>(ticks);
  return run;
}

std::vector<testing::XmlElement> Parse(const std::string& svg) {
  std::vector<testing::XmlElement> elements;
  std::string error;
  EXPECT_TRUE(testing::ParseXml(svg, elements, error)) << error;
  return elements;
}

TEST(RenderChart, IsOneWellFormedSvgWithEverySeries) {
  const std::string svg = RenderChart(SampleRun(3000, 40), "Title with <brackets> & \"quotes\"");
  const std::vector<testing::XmlElement> elements = Parse(svg);
  ASSERT_FALSE(elements.empty());
  EXPECT_EQ(elements[0].name, "svg");
  EXPECT_EQ(elements[0].Attribute("xmlns"), "http://www.w3.org/2000/svg");
  std::set<std::string> ids;
  for (const auto& element : elements) ids.insert(element.Attribute("id"));
  for (const char* id : {"equity", "snapshot", "take-profit", "drawdown-target", "stop-loss",
                         "close-take-profit", "close-stop-loss", "increase", "drawdown-step",
                         "cycle-drawdowns", "legend", "average-drawdown"}) {
    EXPECT_TRUE(ids.count(id)) << id;
  }
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  EXPECT_NE(svg.find("Title with &lt;brackets&gt; &amp; &quot;quotes&quot;"), std::string::npos);
}

TEST(RenderChart, DrawsOneBarPerCycleAndThinsALongCurve) {
  const HostRun run = SampleRun(200000, 25);
  const std::string svg = RenderChart(run, "t");
  const std::vector<testing::XmlElement> elements = Parse(svg);
  std::size_t bars = 0, markers = 0;
  std::string equityPath, drawdownPath;
  bool inBars = false;
  for (const auto& element : elements) {
    if (element.Attribute("id") == "equity") equityPath = element.Attribute("d");
    if (element.Attribute("id") == "drawdown-target") drawdownPath = element.Attribute("d");
    if (element.name == "g") inBars = element.Attribute("id") == "cycle-drawdowns";
    if (inBars && element.name == "rect") ++bars;
    if (element.name == "path" && element.Attribute("fill") != "none") ++markers;
  }
  EXPECT_EQ(bars, run.cycles.size());
  // At most four points per pixel column of a ~1000 pixel wide plot, however many ticks.
  const auto points =
      static_cast<std::size_t>(std::count(equityPath.begin(), equityPath.end(), 'L')) + 1;
  EXPECT_GT(points, 500u);
  EXPECT_LT(points, 4500u);
  // The gap where the set holds no drawdown target breaks the line into two pieces.
  EXPECT_EQ(std::count(drawdownPath.begin(), drawdownPath.end(), 'M'), 2);
  EXPECT_GE(markers, 3u + 3u);  // the three events plus the legend's three marker swatches
}

// Closes spread over most of the panel's width would bury the curve under their markers: that
// kind goes unmarked and the legend says how many it left out; the other kind is still marked.
TEST(RenderChart, ClosesOnTooManyColumnsAreLeftUnmarkedAndCounted) {
  HostRun run = SampleRun(3000, 40);
  for (std::int64_t i = 0; i < 1500; ++i) {
    const AccountFigures figures{run.equity[1].time + 60000 + i * 70, 10000.0, 0, 0};
    run.events.push_back({EventKind::TakeProfitClose, 1, figures, 10000, "tp", {}, 900, 10000, -1});
  }
  for (std::int64_t i = 0; i < 9000; ++i) {
    run.levels.push_back({run.equity[1].time + 60000 + i * 10,
                          {10000.0 + static_cast<double>(i % 9), 10060, 9960, 9850}});
  }
  const std::string svg = RenderChart(run, "t");
  std::size_t takeProfitMarkers = 0, stopLossMarkers = 0;
  std::string group;
  for (const auto& element : Parse(svg)) {
    if (element.name == "g") group = element.Attribute("id");
    if (element.name != "path") continue;
    if (group == "close-take-profit") ++takeProfitMarkers;
    if (group == "close-stop-loss") ++stopLossMarkers;
  }
  EXPECT_EQ(takeProfitMarkers, 0u);
  EXPECT_EQ(stopLossMarkers, 1u);
  // A level that moves thousands of times is drawn per pixel column, not per move.
  const std::string snapshot = svg.substr(svg.find("id=\"snapshot\""));
  EXPECT_LT(snapshot.find("/>"), 40000u);
  EXPECT_NE(svg.find("close on take profit (1,501: too many to mark)"), std::string::npos);
  EXPECT_EQ(svg.find("close on stop loss ("), std::string::npos);
}

TEST(RenderChart, ThousandsOfCyclesAreShownInGroupsAndTheirClosesOncePerPixel) {
  HostRun run = SampleRun(3000, 5000);
  run.cycles[4321].drawdown = -999.0;  // one deep loss among them
  // Their closes: 5000 on two pixels are drawn as two markers.
  for (std::int64_t i = 0; i < 5000; ++i) {
    const AccountFigures figures{run.equity[1].time + (i % 2) * 3600, 10000.0, 0, 0};
    run.events.push_back({EventKind::TakeProfitClose, 1, figures, 10000, "tp", {}, 900, 10000, -1});
  }
  const std::vector<testing::XmlElement> elements = Parse(RenderChart(run, "t"));
  std::size_t bars = 0, closeMarkers = 0;
  bool inBars = false, inCloses = false, deepShown = false;
  for (const auto& element : elements) {
    if (element.name == "g") inCloses = element.Attribute("id") == "close-take-profit";
    if (inCloses && element.name == "path") ++closeMarkers;
    if (element.name == "g") inBars = element.Attribute("id") == "cycle-drawdowns";
    if (!inBars) continue;
    if (element.name == "rect") ++bars;
    // Cycle 4322 (index 4321) closed on the take profit: its group's take-profit bar shows it.
    if (element.name == "title" &&
        element.text.find("take profit, lowest -999.00") != std::string::npos) {
      deepShown = element.text.rfind("cycles 4321-4340: ", 0) == 0;
    }
  }
  EXPECT_EQ(bars, 2u * 250u);  // every group holds both kinds
  EXPECT_TRUE(deepShown);
  EXPECT_EQ(closeMarkers, 3u);  // the two pixels and the sample's own close
}

// Every text's box, from its anchor and the renderer's glyph advance, must not meet another's.
TEST(RenderChart, NoTwoTextsOverlap) {
  for (const std::size_t cycles :
       {std::size_t{0}, std::size_t{3}, std::size_t{40}, std::size_t{700}}) {
    const std::string svg =
        RenderChart(SampleRun(5000, cycles), "Zentravo guard on a seeded account model");
    struct Box {
      double left, right, top, bottom;
      std::string text;
    };
    std::vector<Box> boxes;
    double width = 0, height = 0;
    for (const auto& element : Parse(svg)) {
      if (element.name == "svg") {
        width = std::stod(element.Attribute("width"));
        height = std::stod(element.Attribute("height"));
      }
      if (element.name != "text" || !element.Attribute("transform").empty()) continue;
      const double x = std::stod(element.Attribute("x")), y = std::stod(element.Attribute("y"));
      const double size =
          element.Attribute("font-size").empty() ? 12 : std::stod(element.Attribute("font-size"));
      const double w = static_cast<double>(element.text.size()) * 7.0 * size / 12;
      const std::string anchor = element.Attribute("text-anchor");
      const double left = anchor == "middle" ? x - w / 2 : anchor == "end" ? x - w : x;
      boxes.push_back({left, left + w, y - size * 0.8, y + size * 0.2, element.text});
    }
    ASSERT_GT(boxes.size(), 20u);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_GE(boxes[i].left, 0) << boxes[i].text;
      EXPECT_LE(boxes[i].right, width) << boxes[i].text;
      EXPECT_GE(boxes[i].top, 0) << boxes[i].text;
      EXPECT_LE(boxes[i].bottom, height) << boxes[i].text;
      for (std::size_t j = i + 1; j < boxes.size(); ++j) {
        const bool apart = boxes[i].right <= boxes[j].left || boxes[j].right <= boxes[i].left ||
                           boxes[i].bottom <= boxes[j].top || boxes[j].bottom <= boxes[i].top;
        EXPECT_TRUE(apart) << cycles << " cycles: \"" << boxes[i].text << "\" meets \""
                           << boxes[j].text << "\"";
      }
    }
  }
}

}  // namespace
}  // namespace zt::sim
