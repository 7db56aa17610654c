#include "report/report_charts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "sim_test_support.h"

namespace zt::sim {
namespace {

using testing::XmlElement;

std::vector<XmlElement> Parse(const std::string& svg) {
  std::vector<XmlElement> elements;
  std::string error;
  EXPECT_TRUE(testing::ParseXml(svg, elements, error)) << error;
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  if (!elements.empty()) {
    EXPECT_EQ(elements[0].Attribute("role"), "img");
    EXPECT_EQ(elements[0].Attribute("width"), "100%");
  }
  return elements;
}

// The y coordinates of a path's points ("M x y L x y ...").
std::vector<double> PathYs(const std::string& d) {
  std::vector<double> ys;
  std::istringstream in(d);
  std::string commandAndX;
  double y = 0;
  while (in >> commandAndX >> y) ys.push_back(y);
  return ys;
}

// Three ladders ending on the same amount must not write their names over each other; a spike
// in a line of 20,000 values survives its thinning to the plot's columns.
TEST(ReportCharts, CurveNamesStayApartAndLongLinesAreThinnedKeepingSpikes) {
  CurveChart chart{{}, {}, "median equity of 200 runs", 0};
  const std::size_t n = 20000;
  for (std::size_t i = 0; i < n; ++i)
    chart.times.push_back(1704153600 + static_cast<std::int64_t>(i) * 60);
  for (const char* name :
       {"no guard", "tight <&\">", "mid", "wide, with a name far too long for the margin"}) {
    CurveLine line{name, {}, {}, {}};
    for (std::size_t i = 0; i < n; ++i) {
      const double v =
          10000 + 100 * std::sin(static_cast<double>(i) / 900.0) * (name[0] == 'n' ? 2 : 1);
      line.value.push_back(i + 1 == n ? 10100.0 : v);
      line.low.push_back(v - 50);
      line.high.push_back(v + 50);
    }
    chart.lines.push_back(line);
  }
  chart.lines[2].value[n / 2] = 12000;  // one tick's spike
  const std::string svg = RenderCurveChart(chart);
  std::vector<double> nameYs;
  std::size_t series = 0;
  std::vector<double> spikeYs;
  for (const XmlElement& e : Parse(svg)) {
    if (e.Attribute("class") == "series-name") nameYs.push_back(std::stod(e.Attribute("y")));
    if (!e.Attribute("data-series").empty()) ++series;
    if (e.Attribute("class") == "curve" && e.Attribute("data-series") == "mid")
      spikeYs = PathYs(e.Attribute("d"));
  }
  ASSERT_EQ(nameYs.size(), 4u);
  std::sort(nameYs.begin(), nameYs.end());
  for (std::size_t i = 1; i < nameYs.size(); ++i) EXPECT_GE(nameYs[i] - nameYs[i - 1], 13.0) << i;
  EXPECT_EQ(series, 8u);  // four lines, four bands
  EXPECT_NE(svg.find("data-series=\"tight &lt;&amp;&quot;&gt;\""), std::string::npos);
  // About the plot's width in points, not 20,000; the spike is the highest point drawn.
  EXPECT_GT(spikeYs.size(), 300u);
  EXPECT_LT(spikeYs.size(), 2000u);
  ASSERT_FALSE(spikeYs.empty());
  EXPECT_LT(*std::min_element(spikeYs.begin(), spikeYs.end()), 40.0);
}

TEST(ReportCharts, DegenerateInputsGiveValidCharts) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<CurveChart> charts = {
      {},
      {{1704153600}, {{"no guard", {10000}, {9000}, {11000}}, {"a", {10000}, {}, {}}}, "equity", 0},
      {{1, 2, 3},
       {{"flat", {5, 5, 5}, {}, {}}, {"empty", {}, {}, {}}, {"short", {5}, {nan}, {inf}}},
       "equity",
       0},
      {{1, 2, 3}, {{"odd", {nan, inf, -inf}, {nan, nan, nan}, {1, 2, 3}}}, "equity", 0},
  };
  for (const CurveChart& chart : charts) Parse(RenderCurveChart(chart));

  std::vector<Spread> rows = {{"no guard", {}},
                              {"empty", {}},
                              {"odd <&\">", {nan, inf, 5}},
                              {"same", {3, 3, 3}},
                              {"a ladder with a name much longer than the column", {1}}};
  for (int run = 0; run < 200; ++run)
    rows[0].values.push_back(std::cos(run * 1.3) * 50 + (run == 77 ? -90.0 : 10.0));
  Parse(RenderDistribution({}, "end result"));
  Parse(RenderDistribution({{"nothing", {nan}}}, "end result"));
  const std::string svg = RenderDistribution(rows, "end result");
  std::size_t groups = 0;
  double lowestDot = inf, worstMark = nan;
  bool inFirstRow = false;
  for (const XmlElement& e : Parse(svg)) {
    if (e.name == "g") inFirstRow = e.Attribute("data-series") == "no guard";
    if (!e.Attribute("data-series").empty()) ++groups;
    if (inFirstRow && e.name == "circle")
      lowestDot = std::min(lowestDot, std::stod(e.Attribute("cx")));
    if (e.Attribute("class") == "worst" && std::isnan(worstMark))
      worstMark = std::stod(e.Attribute("cx"));
  }
  EXPECT_EQ(groups, 4u);  // every row with a finite value
  EXPECT_DOUBLE_EQ(worstMark, lowestDot);
  EXPECT_NE(svg.find("&lt;&amp;&quot;&gt;"), std::string::npos);
  // A long name is cut with an ellipsis on the chart and kept whole in its tooltip.
  EXPECT_NE(svg.find("<title>a ladder with a name much longer than the column</title>a ladder"),
            std::string::npos);
  EXPECT_NE(svg.find("\xE2\x80\xA6</text>"), std::string::npos);
}

}  // namespace
}  // namespace zt::sim
