// The simulator with the real library: the demo's figures against the guard's own statistics,
// the statistics file, the guarded account against the same market unguarded, the CSV sample and
// the progress line.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "end_to_end_support.h"
#include "number_text.h"
#include "runs/progress.h"
#include "runs/single_run.h"
#include "runs/streamed_log.h"
#include "sim_test_support.h"

namespace zt::sim {
namespace {

using testing::IniValue;
using testing::kDemo;
using testing::Lines;
using testing::Options;
using tools::Money;

TEST(EndToEnd, TheDemosSummaryAgreesWithTheGuardsStatistics) {
  testing::TempFolder folder;
  const SimResult result = Simulate(Options({"--config", kDemo, "--state", folder.path}));
  const Summary& s = result.summary;

  // The demo shows every kind of event.
  EXPECT_GT(s.takeProfitCloses, 0);
  EXPECT_GT(s.stopLossCloses, 0);
  EXPECT_GT(s.drawdownSteps, 0);
  EXPECT_GT(s.increasesPassed, 0);
  EXPECT_GT(s.emails, 0);
  EXPECT_EQ(s.takeProfitCloses + s.stopLossCloses, s.cycles);

  // The guard's "Snaps / Avg / Med / Low DD" against the host's own cycle drawdowns.
  const DashboardCell& cell = result.dashboard.first.at(kStatisticsRow);
  EXPECT_EQ(cell.label, "Snaps / Avg / Med / Low DD");
  const std::optional<GuardStatistics> guard = ParseGuardStatistics(cell.value);
  ASSERT_TRUE(guard.has_value()) << cell.value;
  ASSERT_LT(s.cycles, 512);
  EXPECT_EQ(guard->snaps, s.cycles);
  ASSERT_TRUE(guard->averageDrawdown && guard->medianDrawdown && guard->lowestDrawdown);
  EXPECT_NEAR(*guard->averageDrawdown, s.averageDrawdown, 0.0051);
  EXPECT_NEAR(*guard->medianDrawdown, s.medianDrawdown, 0.0051);
  EXPECT_NEAR(*guard->lowestDrawdown, s.lowestDrawdown, 0.0051);

  // Every close alert names the cycle's snapshot and the equity left, as the host saw them.
  std::size_t cycle = 0;
  for (const HostEvent& event : result.run.events) {
    if (event.kind != EventKind::TakeProfitClose && event.kind != EventKind::StopLossClose)
      continue;
    ASSERT_LT(cycle, result.run.cycles.size());
    const std::vector<double> numbers = NumbersIn(event.text);
    ASSERT_GE(numbers.size(), 3u) << event.text;
    EXPECT_EQ(Money(numbers[0]), Money(result.run.cycles[cycle].snapshot)) << event.text;
    EXPECT_EQ(Money(numbers[2]), Money(event.equityLeft)) << event.text;
    EXPECT_EQ(event.text.find(event.kind == EventKind::TakeProfitClose
                                  ? "Take Profit Complete"
                                  : "Stop Loss Complete") == std::string::npos,
              false)
        << event.text;
    ++cycle;
  }
  EXPECT_EQ(cycle, result.run.cycles.size());

  // The guard keeps the last snapshot in its settings file beside the library.
  const std::string ini = testing::ReadFile(folder.File("zentravo.ini"));
  EXPECT_EQ(IniValue(ini, "Equity Snap"), Money(s.finalSnapshot));
  EXPECT_EQ(IniValue(ini, "Initial Equity"), "10000.00");
  EXPECT_EQ(s.finalSnapshot, result.run.cycles.back().equityLeft);
}

TEST(EndToEnd, AReportOfTheSummaryAndTheLogsTailKeepsOnlyWhatItPrints) {
  const SimResult everything = Simulate(Options({"--config", kDemo}));
  const SimResult tail = Simulate(Options({"--config", kDemo, "--tail", "4"}));
  const SimResult quiet = Simulate(Options({"--config", kDemo, "--quiet"}));
  EXPECT_EQ(tail.run.events.size(), 4u);
  EXPECT_TRUE(quiet.run.events.empty());
  EXPECT_TRUE(quiet.run.levels.empty());
  EXPECT_EQ(FormatLog(tail.run, 4), FormatLog(everything.run, 4));
  for (const SimResult* kept : {&tail, &quiet}) {
    EXPECT_EQ(FormatSummary(kept->summary, kept->dashboard),
              FormatSummary(everything.summary, everything.dashboard));
  }
}

TEST(EndToEnd, AWholeJsonOfALongRunListsEveryEventAndCycle) {
  // A tight ladder closes about every other tick: far more closes than the run keeps for its chart,
  // and the whole JSON lists every one, in order, each close beside its cycle, none left out.
  const nlohmann::json json = testing::RunJson(
      {"--ticks", "30000", "--take-profits", "3", "--drawdown-targets", "6", "--stop-losses", "6"});
  const nlohmann::json& summary = json.at("summary");
  const nlohmann::json& events = json.at("events");
  const nlohmann::json& cycles = json.at("cycles");
  ASSERT_GT(cycles.size(), kRecordsKept);
  EXPECT_EQ(cycles.size(), summary.at("cycles").get<std::size_t>());
  EXPECT_FALSE(json.contains("eventsLeftOut"));
  EXPECT_FALSE(json.contains("cyclesLeftOut"));
  ASSERT_EQ(events.front().at("kind"), "start");
  std::size_t closes = 0, misplaced = 0;
  for (const nlohmann::json& event : events) {
    const std::string kind = event.at("kind").get<std::string>();
    if (kind != "take profit" && kind != "stop loss") continue;
    if (closes >= cycles.size() || cycles[closes].at("close") != kind ||
        cycles[closes].at("closeTime") != event.at("time"))
      ++misplaced;
    ++closes;
  }
  EXPECT_EQ(closes, cycles.size());
  EXPECT_EQ(misplaced, 0u);
  EXPECT_EQ(static_cast<std::int64_t>(events.size()),
            1 + summary.at("takeProfitCloses").get<std::int64_t>() +
                summary.at("stopLossCloses").get<std::int64_t>() +
                summary.at("drawdownSteps").get<std::int64_t>() +
                summary.at("increasesPassed").get<std::int64_t>() +
                summary.at("emails").get<std::int64_t>());
}

TEST(EndToEnd, TheStatisticsFileHoldsTheHostsFirst512Cycles) {
  testing::TempFolder folder;
  const SimResult result =
      Simulate(Options({"--state", folder.path, "--seed", "11", "--ticks", "16000", "--volatility",
                        "20", "--drift", "0", "--take-profits", "60", "--drawdown-targets", "",
                        "--increase-targets", "", "--stop-losses", "150"}));
  ASSERT_GE(result.summary.cycles, 512);
  ASSERT_LT(result.summary.cycles, 1024);  // one statistics file only
  const std::vector<std::string> files = testing::FilesStartingWith(folder.path, "zentravo-stat-");
  ASSERT_EQ(files.size(), 1u);
  // Named after the simulated time of the close that filled the 512th slot.
  std::string stamp = FormatTime(result.run.cycles[511].closeTime);
  stamp[13] = '-';
  EXPECT_EQ(files[0], folder.File("zentravo-stat-" + stamp + ".csv"));
  const std::vector<std::string> lines = Lines(testing::ReadFile(files[0]));
  ASSERT_EQ(lines.size(), 513u);
  EXPECT_EQ(lines[0], "#,DD,Margin");
  for (std::size_t k = 1; k <= 512; ++k) {
    EXPECT_EQ(lines[k],
              std::to_string(k) + "," + Money(result.run.cycles[k - 1].drawdown) + ",300.00");
  }
}

// Closes before the run's last tick: a close on that tick shows in the figures only after it.
double ClosesBeforeTheEnd(const SimResult& result) {
  return static_cast<double>(std::count_if(
      result.run.cycles.begin(), result.run.cycles.end(),
      [&](const CycleRecord& c) { return c.closeTime < result.run.equity.back().time; }));
}

TEST(GuardAgainstNoGuard, TheSameMarketWithoutTheGuardDiffersByWhatTheClosesCost) {
  testing::TempFolder folder;
  // The model: the account without the guard sees the same moves and pays no close costs (each
  // close books the guarded balance to the nearest cent, so they part by up to half a cent more).
  const SimResult model =
      Simulate(Options({"--config", kDemo, "--state", folder.File("model"), "--close-cost", "2"}));
  ASSERT_GT(model.summary.cycles, 5);
  ASSERT_EQ(model.run.unguarded.size(), model.run.equity.size());
  const double closes = ClosesBeforeTheEnd(model);
  EXPECT_NEAR(model.run.unguarded.back().equity - model.run.equity.back().equity, 2.0 * closes,
              0.005 * closes + 1e-6);
  EXPECT_EQ(model.summary.unguardedFinalEquity, model.run.unguarded.back().equity);
  EXPECT_LE(model.summary.unguardedDeepestDrawdown, 0.0);

  // A CSV history read as the strategy's running result: each close restarts the account flat at
  // what was left, and the history's later changes apply to it.
  const std::string csv = std::string(ZT_SIM_SAMPLES) + "/equity-history.csv";
  const SimResult replay =
      Simulate(Options({"--config", std::string(ZT_SIM_SAMPLES) + "/history.ini", "--csv", csv,
                        "--state", folder.File("csv"), "--close-cost", "1.5"}));
  const CsvTable recorded = ReadAccountCsv(csv, {});
  ASSERT_GT(replay.summary.cycles, 0);
  EXPECT_EQ(replay.run.unguarded.back().equity, recorded.rows.back().equity);
  EXPECT_NEAR(replay.run.equity.back().equity,
              recorded.rows.back().equity - 1.5 * ClosesBeforeTheEnd(replay), 1e-6);
  for (const HostEvent& event : replay.run.events) {
    if (event.kind == EventKind::TakeProfitClose || event.kind == EventKind::StopLossClose) {
      EXPECT_NEAR(event.equityLeft, event.figures.equity - 1.5, 1e-9);
    }
  }
}

TEST(GuardAgainstNoGuard, TheEndResultHoldsTheCostsOfTheFirstTicksTrades) {
  // The grid opens its first trades at the first tick, paying the spread and the commission there.
  // A run of one tick has lost about what they cost (the price moves a little), from the deposit;
  // any run's end result is its end equity less the deposit, as its summary's start and end say.
  for (const char* ticks : {"1", "300"}) {
    const nlohmann::json json = testing::RunJson({"--market", "model", "--ticks", ticks});
    const nlohmann::json& summary = json.at("summary");
    const nlohmann::json& guarded = json.at("risk").at("withGuard");
    const std::int64_t paid = guarded.at("costs").at("total").get<std::int64_t>();
    const std::int64_t end = guarded.at("endResult").get<std::int64_t>();
    ASSERT_GT(paid, 0) << ticks;
    if (std::string(ticks) == "1") {
      EXPECT_NEAR(static_cast<double>(end + paid), 0.0, 5.0);
    }
    EXPECT_EQ(summary.at("startEquity").get<std::int64_t>(), 1000000) << ticks;
    EXPECT_EQ(end, summary.at("finalEquity").get<std::int64_t>() - 1000000) << ticks;
  }
}

TEST(EndToEnd, TheRecordedHistoryReplaysWithoutBadRows) {
  testing::TempFolder folder;
  const SimResult result = Simulate(
      Options({"--config", std::string(ZT_SIM_SAMPLES) + "/history.ini", "--csv",
               std::string(ZT_SIM_SAMPLES) + "/equity-history.csv", "--state", folder.path}));
  EXPECT_TRUE(result.csvProblems.empty());
  EXPECT_EQ(result.run.ticks, 599);
  EXPECT_EQ(Money(result.run.startSnapshot), "4995.27");
  EXPECT_GT(result.summary.cycles, 0);
}

TEST(EndToEnd, AMissingLibraryIsReportedNotCrashedOn) {
  testing::TempFolder folder;
  SimOptions options = Options({"--state", folder.path});
  options.library = folder.File("nowhere/zentravo.so");
  std::ostringstream out, err;
  EXPECT_EQ(RunSimulator(options, out, err), 1);
  EXPECT_NE(err.str().find("no library at"), std::string::npos) << err.str();
}

TEST(FormatProgress, FitsTheTerminalAndShowsRateAndTimeLeft) {
  // 1.5 M of 6 M ticks in 3 s: 500 k/s, 4.5 M ticks in 9 s; the bar takes the rest of 79 columns.
  EXPECT_EQ(FormatProgress(1500000, 6000000, 3.0, 80),
            "[########..........................] 25%  1.5 M / 6 M ticks  500 k/s  0:09 left");
  for (int columns = 1; columns <= 120; ++columns) {
    const std::string line = FormatProgress(1500000, 6000000, 3.0, columns);
    EXPECT_LT(static_cast<int>(line.size()), std::max(columns, 1)) << columns;
    if (columns >= 30) {
      EXPECT_NE(line.find("0:09 left"), std::string::npos) << columns;
    }
  }
}

}  // namespace
}  // namespace zt::sim
