// What the report says in words and marks: the verdict against the figures it is written from,
// the recovery factor's order, the "best" mark only past a difference that matters, the strategy
// said with its units, and month ticks on a long chart.
#include <gtest/gtest.h>

#include <regex>

#include "figures/risk_ranking.h"
#include "figures/verdict.h"
#include "report/report_charts.h"
#include "report/report_page.h"
#include "report/strategy_words.h"
#include "sim_test_support.h"

namespace zt::sim {
namespace {

Outcome Over200(const std::string& name, double median, double width, double stopOuts,
                bool noGuard = false) {
  return {name, noGuard, median, median - width, median + width, median - 2 * width, 200, stopOuts};
}

std::size_t Sentences(const std::string& text) {
  static const std::regex end(R"([.!?](\s+[A-Z]|$))");
  return static_cast<std::size_t>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), end), std::sregex_iterator()));
}

TEST(Verdict, RanksOnlyPastTheRunsSpreadAndSaysWhatTheFiguresShow) {
  // Medians 100 apart with a 5th-95th spread of 4,000 over 200 runs: within the spread (283).
  const std::vector<Outcome> close = {Over200("no guard", -3000, 9000, 0.14, true),
                                      Over200("tight", -3300, 2000, 0.0),
                                      Over200("wide", -3400, 2000, 0.03)};
  const std::string tied = WriteVerdict(close, 10000);
  EXPECT_NE(tied.find("do not tell them apart"), std::string::npos) << tied;
  EXPECT_EQ(tied.find("ended best"), std::string::npos) << tied;
  EXPECT_NE(tied.find("No ladder made money"), std::string::npos) << tied;
  EXPECT_NE(tied.find("in 14 % of the runs"), std::string::npos) << tied;
  EXPECT_NE(tied.find("0 % to 3 %"), std::string::npos) << tied;

  // 1,000 apart with the same spread: tight is ranked, and no guard, 3,000 above it, gets a why.
  const std::vector<Outcome> apart = {Over200("no guard", 500, 2000, 0.5, true),
                                      Over200("tight", -2500, 2000, 0.0),
                                      Over200("wide", -3500, 2000, 0.0)};
  const std::string ranked = WriteVerdict(apart, 10000);
  EXPECT_NE(ranked.find("tight ended best"), std::string::npos) << ranked;
  EXPECT_NE(ranked.find("ahead of wide by 1,000.00"), std::string::npos) << ranked;
  EXPECT_NE(ranked.find("no guard ended better than every ladder"), std::string::npos) << ranked;
  EXPECT_NE(ranked.find("stop losses"), std::string::npos) << ranked;
  for (const std::string& verdict : {tied, ranked}) {
    EXPECT_GE(Sentences(verdict), 1U) << verdict;
    EXPECT_LE(Sentences(verdict), 3U) << verdict;
  }

  // On one market the threshold is 1 % of the deposit: 50 on 10,000 is no difference.
  const std::vector<Outcome> one = {{"tight", false, 120, 120, 120, 120, 1, std::nullopt},
                                    {"wide", false, 70, 70, 70, 70, 1, std::nullopt}};
  EXPECT_NE(WriteVerdict(one, 10000).find("do not tell them apart"), std::string::npos);
  EXPECT_NE(WriteVerdict(one, 1000).find("tight ended best"), std::string::npos);
}

TEST(RecoveryFactor, ALargerLossNeverRanksBetter) {
  EXPECT_DOUBLE_EQ(*RecoveryFactor(2000, -1000), 2.0);
  EXPECT_FALSE(RecoveryFactor(-100, -1000));
  // A ratio of two losses would rank -5,000 over a fall of 10,000 (-0.5) above -3,000 over a fall
  // of 3,000 (-1).
  EXPECT_GT(RankRecovery(-3000, -3000), RankRecovery(-5000, -10000));
  EXPECT_GT(RankRecovery(0.01, -5000), RankRecovery(-0.01, -1));
  EXPECT_GT(RankRecovery(300, -100), RankRecovery(300, -200));
  EXPECT_GT(RankRecovery(10, 0), RankRecovery(3000, -1));
  // --rank-by return-over-drawdown ranks by it.
  LadderRisk small, large;
  small.name = "small loss";
  small.endResult.median = small.deepestDrawdown.median = -3000;
  large.name = "large loss";
  large.endResult.median = -5000;
  large.deepestDrawdown.median = -10000;
  EXPECT_EQ(RankLadders({large, small}, "return-over-drawdown").front().name, "small loss");
}

// A page of one table: two rows whose end results differ by `apart` cents.
std::string PageWith(double apart, double deposit) {
  ReportPage page;
  page.title = "t";
  page.deposit = deposit;
  PageTable table{"c", {{"", "end result", "/x", FigureUnit::Cents, Better::Higher}}, {}};
  table.rows.push_back({"tight", 1, {{100000.0 + apart, "/a", std::nullopt, ""}}});
  table.rows.push_back({"wide", 2, {{100000.0, "/b", std::nullopt, ""}}});
  page.tables.push_back(table);
  return RenderReportPage(page);
}

TEST(ReportPage, MarksBestOnlyPastADifferenceThatMattersAndDefinesEveryColumn) {
  EXPECT_EQ(PageWith(1, 10000).find("class=\"best\""), std::string::npos);
  EXPECT_EQ(PageWith(10000, 10000).find("class=\"best\""), std::string::npos);  // exactly 1 %
  EXPECT_NE(PageWith(10001, 10000).find("class=\"best\""), std::string::npos);
  const std::string html = PageWith(1, 10000);
  EXPECT_NE(html.find("1 % of the deposit (100.00)"), std::string::npos);
  EXPECT_NE(html.find("</table>\n<dl class=\"definitions\">\n<dt>end result</dt>"),
            std::string::npos);
}

TEST(SayStrategy, TheGridInWordsWithItsUnits) {
  RunRecord record;
  for (const auto& [name, text] :
       std::vector<std::pair<std::string, std::string>>{{"grid-lots", "0.1"},
                                                        {"grid-multiplier", "2"},
                                                        {"grid-levels", "10"},
                                                        {"grid-step", "100"},
                                                        {"grid-directions", "both"},
                                                        {"grid-take-profit", "100"},
                                                        {"reentry-delay", "0"}})
    record.options.push_back({name, text, Fact::StrategyOwn, "grid", {}, {}});
  const std::string words = SayStrategy(record, "grid");
  EXPECT_NE(words.find("martingale grid: 0.1 lots at the first level, doubled"), std::string::npos)
      << words;
  EXPECT_NE(words.find("every 100 points against"), std::string::npos) << words;
  EXPECT_NE(words.find("10 levels"), std::string::npos) << words;
  EXPECT_NE(words.find("51.2 lots at the last, 102.3 lots in all"), std::string::npos) << words;
  EXPECT_EQ(WithUnit("grid-step", "100"), "100 points");
  EXPECT_EQ(WithUnit("leverage", "100"), "1:100");
  EXPECT_EQ(WithUnit("stop-out", "50"), "50 % margin level");
}

TEST(ReportCharts, ALongRunsDatesFallOnTheFirstOfAMonth) {
  CurveChart chart{{}, {{"no guard", {}, {}, {}}}, "equity", 0};
  for (std::int64_t t = 1704153600; t < 1704153600 + 300 * 86400; t += 86400) {
    chart.times.push_back(t);
    chart.lines[0].value.push_back(static_cast<double>(t % 977));
  }
  const std::string svg = RenderCurveChart(chart);
  std::size_t dates = 0;
  const std::regex date(R"(>(\d{4})\.(\d\d)\.(\d\d)<)");
  for (auto m = std::sregex_iterator(svg.begin(), svg.end(), date); m != std::sregex_iterator();
       ++m, ++dates) {
    EXPECT_EQ((*m)[3], "01") << (*m)[0];
  }
  EXPECT_GE(dates, 3U);
}

}  // namespace
}  // namespace zt::sim
