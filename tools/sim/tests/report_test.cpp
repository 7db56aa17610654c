#include "report/run_json.h"
#include "report/run_text.h"

#include <gtest/gtest.h>

#include <sstream>

#include <cmath>

namespace zt::sim {
namespace {

TEST(ParseGuardStatistics, ReadsTheDashboardRow) {
  struct Case {
    const char* text;
    bool valid;
    int snaps;
    std::optional<double> average, median, lowest;
  };
  const Case cases[] = {
      {"7 / -16.14 / -7.39 / -39.01", true, 7, -16.14, -7.39, -39.01},
      {"0 / - / - / -", true, 0, std::nullopt, std::nullopt, std::nullopt},
      {"12 / 0.00 / 0.00 / 0.00", true, 12, 0.0, 0.0, 0.0},
      {"7 / -16.14 / -7.39", false, 0, {}, {}, {}},
      {"x / - / - / -", false, 0, {}, {}, {}},
      {"7 / a / - / -", false, 0, {}, {}, {}},
      {"", false, 0, {}, {}, {}},
  };
  for (const Case& c : cases) {
    const std::optional<GuardStatistics> parsed = ParseGuardStatistics(c.text);
    ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->snaps, c.snaps);
    EXPECT_EQ(parsed->averageDrawdown, c.average) << c.text;
    EXPECT_EQ(parsed->medianDrawdown, c.median) << c.text;
    EXPECT_EQ(parsed->lowestDrawdown, c.lowest) << c.text;
  }
}

HostRun RunWithCycles(const std::vector<double>& drawdowns) {
  HostRun run;
  run.ticks = 100;
  run.equity = {{0, 1000.0}, {60, 1012.5}};
  run.events.push_back(HostEvent{EventKind::Start, 0, {0, 1000, 0, 1000}, 1000, "", {}, 0, 0, -1});
  for (std::size_t i = 0; i < drawdowns.size(); ++i) {
    const bool stopLoss = i % 3 == 2;
    run.AddCycle(CycleRecord{1000, drawdowns[i], 1010, stopLoss, 0}, true);
    run.events.push_back(HostEvent{stopLoss ? EventKind::StopLossClose : EventKind::TakeProfitClose,
                                   static_cast<std::int64_t>(i + 1),
                                   {60, 1010, 0, 1010},
                                   1010,
                                   "a",
                                   {},
                                   0,
                                   0,
                                   -1});
  }
  run.events.push_back(
      HostEvent{EventKind::DrawdownStep, 50, {60, 990, 0, 990}, 1000, "dd", {}, 0, 0, -1});
  return run;
}

TEST(Summarise, CountsTheEventsAndTakesTheCycleStatistics) {
  struct Case {
    std::vector<double> drawdowns;
    double average, median, lowest;
  };
  const Case cases[] = {
      {{-22}, -22, -22, -22},
      {{-10, -30}, -20, -20, -30},
      {{-5, -30, -10}, -15, -10, -30},
      {{0, -4, -8, -1}, -3.25, -2.5, -8},
  };
  for (const Case& c : cases) {
    const Summary s = Summarise(RunWithCycles(c.drawdowns));
    EXPECT_EQ(s.cycles, static_cast<std::int64_t>(c.drawdowns.size()));
    EXPECT_EQ(s.takeProfitCloses + s.stopLossCloses, s.cycles);
    EXPECT_EQ(s.stopLossCloses, static_cast<std::int64_t>(c.drawdowns.size() / 3));
    EXPECT_EQ(s.drawdownSteps, 1);
    EXPECT_DOUBLE_EQ(s.averageDrawdown, c.average);
    EXPECT_DOUBLE_EQ(s.medianDrawdown, c.median);
    EXPECT_DOUBLE_EQ(s.lowestDrawdown, c.lowest);
    EXPECT_DOUBLE_EQ(s.finalEquity, 1012.5);
  }
}

TEST(FormatLog, ATailNamesHowManyEventsItLeftOut) {
  const HostRun run = RunWithCycles({-1, -2, -3, -4});
  const std::string all = FormatLog(run, 0);
  const std::string tail = FormatLog(run, 2);
  EXPECT_EQ(all.find("earlier events"), std::string::npos);
  EXPECT_NE(tail.find("(4 earlier events)"), std::string::npos);
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1 + 6);
  EXPECT_EQ(std::count(tail.begin(), tail.end(), '\n'), 1 + 1 + 2);
}

TEST(FormatEvent, LinesUpTickTimeEquityAndDecision) {
  HostEvent event{EventKind::TakeProfitClose,
                  412,
                  {1704153600 + 3600, 1031.2, 0, 0},
                  1031.2,
                  "Prev Snap $1000.00",
                  {},
                  0,
                  0,
                  -1};
  EXPECT_EQ(FormatEvent(event),
            "    412  2024.01.02 01:00     1031.20  take profit     Prev Snap $1000.00");
  event.kind = EventKind::Email;
  event.body = {"Reason: x.", "Pair: EURUSD."};
  const std::string email = FormatEvent(event);
  EXPECT_NE(email.find("e-mail          Prev Snap"), std::string::npos);
  EXPECT_NE(email.find("\n" + std::string(55, ' ') + "Pair: EURUSD."), std::string::npos);
  // Long texts wrap at spaces to stay within 100 columns, continuing under the text column.
  event.text =
      "Prev Snap $10122.53, SL: -$9972.53, New Snap $9964.69 ($-157.83), TP $30.00, TTC 1.1s, ZT "
      "CloseAll Stop Loss Complete";
  event.body = {"Equity DD; Current TP, DDT -$131.39; $30.00, -$120.00 ($9844.69)."};
  std::istringstream lines(FormatEvent(event));
  std::string all;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 100u) << line;
    all += line.substr(55) + " ";
  }
  EXPECT_EQ(all, event.text + " " + event.body[0] + " ");
}

TEST(FormatDashboard, LaysTheCellsOutAsTwoAlignedColumns) {
  Dashboard panel{};
  panel.title = "Zentravo - 3.0 (t) now";
  panel.first[3] = {"Take Profit, %, Next Target", "50.00, 5.00 %, 1050.00", true};
  panel.first[4] = {"Initial / Curr Snapshot", "1000.00 / 1000.00 [2011.07.13 09:39]", true};
  panel.second[2] = {"Current DD Target; TP", "20.00, 980.00; 30.00", true};
  panel.second[3] = {"Next DD Target; TP", "--, --; --", true};
  const auto lines = [&] {
    const std::string text = FormatDashboard(panel);
    std::vector<std::string> all;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      all.push_back(text.substr(start, end - start));
    }
    return all;
  };
  // 115 columns side by side: the second column goes under the first, within 100 columns.
  const std::vector<std::string> stacked = lines();
  ASSERT_EQ(stacked.size(), 6u);  // title, rows 3 and 4, a blank line, rows 2 and 3 of the second
  EXPECT_EQ(stacked[0], panel.title);
  EXPECT_EQ(stacked[1].find("50.00, 5.00 %"), stacked[2].find("1000.00 / 1000.00"));
  EXPECT_EQ(stacked[3], "");
  EXPECT_EQ(stacked[4].find("20.00, 980.00"), stacked[5].find("--, --; --"));
  for (const std::string& line : stacked) EXPECT_LE(line.size(), 100u) << line;

  panel.first[4].value = "1000.00 / 1000.00";  // now side by side fits: 94 columns
  panel.second[2].value = "20.00, 980.00";
  const std::vector<std::string> paired = lines();
  ASSERT_EQ(paired.size(), 4u);  // title, row 2 (second column only), rows 3 and 4
  EXPECT_EQ(paired[1].find("Current DD Target; TP"), paired[2].find("Next DD Target; TP"));
  EXPECT_EQ(paired[2].find("50.00, 5.00 %"), paired[3].find("1000.00 / 1000.00"));
  EXPECT_EQ(paired[3].find('|'), std::string::npos);  // nothing on the right of row 4
}

TEST(FindDeepestDrawdown, IsTheLowestEquityBelowAnEarlierPeak) {
  EXPECT_EQ(FindDeepestDrawdown({{0, 100}, {1, 120}, {2, 90}, {3, 130}, {4, 105}, {5, 140}}),
            -30.0);
  EXPECT_EQ(FindDeepestDrawdown({{0, 100}, {1, 110}}), 0.0);
  EXPECT_EQ(FindDeepestDrawdown({}), 0.0);
}

TEST(FormatJson, EscapesTextsAndWritesNullForMissingValues) {
  HostRun run = RunWithCycles({});
  run.events[0].text = "say \"hi\"\n\tand \\ go";
  run.events[0].figures.equity = 1234.56;
  Dashboard panel{};
  panel.first[kStatisticsRow] = {"Snaps / Avg / Med / Low DD", "0 / - / - / -", true};
  const Ladder ladder = ReadLadder({"50,30;80", "", "1100", "100"});
  const std::string json =
      FormatJson(run, Summarise(run), panel, ladder, {{"host-tag", "a \"b\""}});
  EXPECT_NE(json.find(R"("inputs":{"host-tag":"a \"b\""})"), std::string::npos);
  EXPECT_NE(json.find(R"("equity":123456,)"), std::string::npos);  // amounts in whole cents
  EXPECT_NE(json.find(R"("ladder":{"takeProfits":[[5000,3000],[8000]],"drawdownTargets":[],)"
                      R"("increaseTargets":[110000],"stopLosses":[10000]})"),
            std::string::npos);
  EXPECT_NE(json.find(R"("alert":"say \"hi\"\n\tand \\ go")"), std::string::npos);
  EXPECT_NE(json.find(R"("averageDrawdown":null)"), std::string::npos);
  EXPECT_NE(json.find(R"("guard":{"snaps":0,"averageDrawdown":null)"), std::string::npos);
  EXPECT_NE(json.find(R"("value":null)"), std::string::npos);  // cells without a value
  EXPECT_EQ(std::count(json.begin(), json.end(), '{'), std::count(json.begin(), json.end(), '}'));
  EXPECT_EQ(std::count(json.begin(), json.end(), '['), std::count(json.begin(), json.end(), ']'));
}

}  // namespace
}  // namespace zt::sim
