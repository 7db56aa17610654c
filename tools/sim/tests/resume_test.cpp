// Resuming a state folder: a run continues the account and the guard where the last run left
// them, refuses a folder of another run, and decides as one straight run wherever it was stopped.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include "end_to_end_support.h"
#include "number_text.h"
#include "runs/single_run.h"
#include "sim_test_support.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::ExitAfterCtrlC;
using testing::kDemo;
using testing::Lines;
using testing::Options;
using testing::Refusal;
using testing::RunJson;
using testing::With;
using tools::Money;

TEST(Resume, AModelRunContinuesItsWalkAndRefusesAnotherRun) {
  testing::TempFolder folder, whole;
  const SimResult first =
      Simulate(Options({"--config", kDemo, "--state", folder.path, "--ticks", "1500"}));
  const SimResult second =
      Simulate(Options({"--config", kDemo, "--state", folder.path, "--ticks", "1500"}));
  const SimResult once =
      Simulate(Options({"--config", kDemo, "--state", whole.path, "--ticks", "3000"}));
  EXPECT_FALSE(first.resumed);
  EXPECT_TRUE(second.resumed);
  // The guard takes its stored snapshot; the account goes on with the same walk as one long run,
  // tick for tick: closes never change the walk, and the demo has no close cost (a close moves the
  // floating result into the balance, so the sums may round apart in the last bits).
  EXPECT_EQ(Money(second.run.startSnapshot), Money(first.summary.finalSnapshot));
  EXPECT_EQ(second.run.initialEquity, 10000.0);
  ASSERT_GT(second.run.cycles.size(), 0u);
  ASSERT_EQ(second.run.equity.size(), 1501u);
  for (std::size_t k = 0; k < second.run.equity.size(); ++k) {
    EXPECT_EQ(second.run.equity[k].time, once.run.equity[1500 + k].time);
    ASSERT_NEAR(second.run.equity[k].equity, once.run.equity[1500 + k].equity, 1e-6) << k;
  }

  // Another seed and ladder: refused, naming both differences; allowed when asked for.
  const SimOptions other = Options({"--config", kDemo, "--state", folder.path, "--ticks", "10",
                                    "--seed", "999", "--take-profits", "70"});
  const std::string refusal = Refusal(other);
  EXPECT_NE(refusal.find("--seed \"5\" there, \"999\" here"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find(
                "--take-profits \"60,45,30,20 | 90,60,40,25 | 120,80,50,30\" there, \"70\" here"),
            std::string::npos)
      << refusal;
  // The same ladder written otherwise is the same ladder.
  EXPECT_EQ(Refusal(Options({"--config", kDemo, "--state", folder.path, "--ticks", "10",
                             "--take-profits", "60, 45, 30, 20; 90,60,40,25;120 80 50 30"})),
            "");
  SimOptions anyway = other;
  anyway.resumeAnyway = true;
  EXPECT_EQ(Refusal(anyway), "");
  // A CSV run does not continue a model's folder.
  EXPECT_NE(Refusal(Options({"--config", kDemo, "--state", folder.path, "--csv",
                             std::string(ZT_SIM_SAMPLES) + "/equity-history.csv"}))
                .find("--csv (none) there"),
            std::string::npos);
}

TEST(Resume, ACsvRunContinuesAfterItsLastRowAndOnlyOverTheSameRows) {
  testing::TempFolder folder;
  const std::vector<std::string> lines =
      Lines(testing::ReadFile(std::string(ZT_SIM_SAMPLES) + "/equity-history.csv"));
  ASSERT_EQ(lines.size(), 601u);  // header and 600 rows
  const auto write = [&](std::size_t count, std::size_t changedLine) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
      text += (i == changedLine ? lines[i] + "1" : lines[i]) + "\n";
    testing::WriteFile(folder.File("history.csv"), text);
  };
  const auto options = [&] {
    return Options({"--config", std::string(ZT_SIM_SAMPLES) + "/history.ini", "--csv",
                    folder.File("history.csv"), "--state", folder.File("state")});
  };
  write(301, 0);  // rows 0..299
  const SimResult first = Simulate(options());
  EXPECT_EQ(first.run.ticks, 299);
  write(601, 0);
  const SimResult second = Simulate(options());
  EXPECT_TRUE(second.resumed);
  // The terminal restarts at row 299 (line 301), then replays rows 300 to 599 once each.
  EXPECT_EQ(second.run.ticks, 300);
  EXPECT_EQ(second.run.equity[0].time, first.run.equity.back().time);
  EXPECT_EQ(second.run.equity[1].time - second.run.equity[0].time, 60);
  EXPECT_NE(Refusal(options()).find("holds no row after the rows up to line 601"),
            std::string::npos);
  write(601, 5);  // a replayed row changed
  EXPECT_NE(Refusal(options()).find("does not hold the rows up to line 601"), std::string::npos);
}

// What the guard decided over one run, or over the runs of one state folder laid end to end:
// every event after the start, the closed cycles and the last snapshot. A run counts its ticks
// from its own start, so events are told by their time; a close alert and an e-mail's drawdown
// line are left out, as they name the guard's own drawdown of the cycle, which the guard keeps in
// memory only (a run stopped inside a cycle resumes it without its deepest point).
struct Course {
  Json events = Json::array();
  Json cycles = Json::array();
  Json finalSnapshot;

  void Add(const Json& run) {
    for (Json event : run.at("events")) {
      if (event.at("kind") == "start") continue;
      event.erase("tick");
      if (event.contains("equityLeft")) event.erase("alert");
      if (event.contains("body")) {
        for (Json& line : event.at("body")) {
          if (line.get<std::string>().starts_with("Equity DD;"))
            line = "Equity DD; kept in memory only";
        }
      }
      events.push_back(event);
    }
    for (const Json& cycle : run.at("cycles")) cycles.push_back(cycle);
    finalSnapshot = run.at("summary").at("finalSnapshot");
  }
};

// The tick of the first event of run that matches.
std::int64_t TickOf(const Json& run, const std::function<bool(const Json&)>& matches) {
  for (const Json& event : run.at("events")) {
    if (matches(event)) return event.at("tick").get<std::int64_t>();
  }
  return 0;
}

// The ticks to stop a straight run at: right after its first stop loss, right after the close
// that passed an increase target, and in the cycle in hand right after the next e-mail.
std::vector<std::int64_t> CutsIn(const Json& run) {
  const std::int64_t stopLoss =
      TickOf(run, [](const Json& e) { return e.at("kind") == "stop loss"; });
  return {stopLoss, TickOf(run, [](const Json& e) { return e.at("kind") == "increase"; }),
          TickOf(run, [&](const Json& e) {
            return e.at("kind") == "e-mail" && e.at("tick") > stopLoss;
          })};
}

TEST(Resume, ARunStoppedAnywhereAndResumedDecidesAsOneStraightRun) {
  testing::TempFolder folder;
  const auto expectSame = [](const Course& resumed, const Course& straight,
                             const std::string& cut) {
    EXPECT_EQ(resumed.events, straight.events) << cut;
    EXPECT_EQ(resumed.cycles, straight.cycles) << cut;
    EXPECT_EQ(resumed.finalSnapshot, straight.finalSnapshot) << cut;
  };

  // The account model, stopped by --ticks (each run counts its own ticks) and by Ctrl-C.
  const std::vector<std::string> model = {"--config", kDemo};
  const Json wholeModel = RunJson(With(model, {"--ticks", "2443"}));
  Course straight;
  straight.Add(wholeModel);
  std::vector<std::int64_t> cuts = CutsIn(wholeModel);
  cuts.push_back(1443);
  for (const std::int64_t cut : cuts) {
    ASSERT_GT(cut, 0);
    const std::string state = folder.File("model-" + std::to_string(cut));
    Course resumed;
    resumed.Add(RunJson(With(model, {"--state", state, "--ticks", std::to_string(cut)})));
    resumed.Add(RunJson(With(model, {"--state", state, "--ticks", std::to_string(2443 - cut)})));
    expectSame(resumed, straight, "model, cut at tick " + std::to_string(cut));
  }
  {
    // Ctrl-C stops the run wherever it is; the straight run then goes as far as the resumed one.
    const std::string state = folder.File("model-ctrl-c");
    ASSERT_EQ(ExitAfterCtrlC(With(model, {"--state", state, "--ticks", "100000000", "--no-progress",
                                          "--quiet", "--json", state + ".json"}),
                             state),
              130);
    const Json first = Json::parse(testing::ReadFile(state + ".json"));
    const std::int64_t cut = first.at("summary").at("ticks").get<std::int64_t>();
    Course resumed, once;
    resumed.Add(first);
    resumed.Add(RunJson(With(model, {"--state", state, "--ticks", "1000"})));
    once.Add(RunJson(With(model, {"--ticks", std::to_string(cut + 1000)})));
    expectSame(resumed, once, "model, Ctrl-C at tick " + std::to_string(cut));
  }

  // The recorded history under a tight ladder, stopped where the file then ended (the rest of its
  // rows added before the next run) and by Ctrl-C.
  const std::vector<std::string> lines =
      Lines(testing::ReadFile(std::string(ZT_SIM_SAMPLES) + "/equity-history.csv"));
  const std::vector<std::string> history = {
      "--config",           std::string(ZT_SIM_SAMPLES) + "/history.ini",
      "--take-profits",     "15,10;20,12",
      "--drawdown-targets", "8,16,24;10,20,30",
      "--stop-losses",      "25,35",
      "--increase-targets", "5000,5020,5040",
      "--close-cost",       "1.5",
      "--email-drawdown",   "15",
      "--email-equity",     "12"};
  const Json wholeHistory =
      RunJson(With(history, {"--csv", std::string(ZT_SIM_SAMPLES) + "/equity-history.csv"}));
  straight = Course{};
  straight.Add(wholeHistory);
  cuts = CutsIn(wholeHistory);
  cuts.push_back(300);
  for (const std::int64_t cut : cuts) {
    ASSERT_GT(cut, 0);
    const std::string name = folder.File("csv-" + std::to_string(cut));
    fs::create_directory(name);
    const auto rows = [&](std::size_t count) {
      std::string text;
      for (std::size_t line = 0; line < count; ++line) text += lines[line] + "\n";
      testing::WriteFile(name + "/history.csv", text);
    };
    const std::vector<std::string> run =
        With(history, {"--csv", name + "/history.csv", "--state", name + "/state"});
    Course resumed;
    rows(static_cast<std::size_t>(cut) + 2);  // the header, then rows 0 to cut
    resumed.Add(RunJson(run));
    rows(lines.size());
    resumed.Add(RunJson(run));
    expectSame(resumed, straight, "CSV, cut at tick " + std::to_string(cut));
  }
  {
    // A history long enough for Ctrl-C to find it running: the sample's rows 200 times over,
    // each copy ten hours after the one before.
    std::string text = lines[0] + "\n";
    for (std::int64_t copy = 0; copy < 200; ++copy) {
      for (std::size_t line = 1; line < lines.size(); ++line) {
        const std::size_t comma = lines[line].find(',');
        text += FormatTime(ParseTime(lines[line].substr(0, comma)).value_or(0) + copy * 36000) +
                lines[line].substr(comma) + "\n";
      }
    }
    testing::WriteFile(folder.File("long.csv"), text);
    const std::vector<std::string> run = With(history, {"--csv", folder.File("long.csv")});
    const std::string state = folder.File("csv-ctrl-c");
    ASSERT_EQ(ExitAfterCtrlC(With(run, {"--state", state, "--no-progress", "--quiet", "--json",
                                        state + ".json"}),
                             state),
              130);
    Course resumed, once;
    const Json first = Json::parse(testing::ReadFile(state + ".json"));
    resumed.Add(first);
    resumed.Add(RunJson(With(run, {"--state", state})));
    once.Add(RunJson(run));
    expectSame(resumed, once,
               "CSV, Ctrl-C at tick " + std::to_string(first.at("summary").at("ticks").get<int>()));
  }
}

}  // namespace
}  // namespace zt::sim
