// The simulator with the real library: the demo's figures against the guard's own statistics,
// the statistics file, resuming a state folder, the CSV sample and the program itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "number_text.h"
#include "runs/progress.h"
#include "runs/run_state.h"
#include "runs/single_run.h"
#include "sim_test_support.h"
#include "text_helpers.h"

extern char** environ;

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using tools::Money;

const std::string kDemo = std::string(ZT_SIM_SAMPLES) + "/demo.ini";

SimOptions Options(std::vector<std::string> arguments) {
  return testing::CommandLineOptions(std::move(arguments));
}

// A line "key=value" of an INI file.
std::string IniValue(const std::string& text, const std::string& key) {
  const std::size_t at = text.find("\n" + key + "=");
  if (at == std::string::npos) return {};
  const std::size_t start = at + key.size() + 2;
  return text.substr(start, text.find_first_of("\r\n", start) - start);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

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

// The message Simulate stops with, or "" when it runs.
std::string Refusal(const SimOptions& options) {
  try {
    Simulate(options);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return {};
}

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

// Runs zt-sim with arguments (or, with program false, the whole command line given), its output
// into out.txt and err.txt of folder.
int RunProgram(const std::string& arguments, const testing::TempFolder& folder,
               bool program = true) {
  const std::string command = (program ? std::string(ZT_SIM_PROGRAM) + " " : std::string()) +
                              arguments + " > " + folder.File("out.txt") + " 2> " +
                              folder.File("err.txt");
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

TEST(Program, RunsTheDemoAndWritesChartAndJson) {
  testing::TempFolder folder;
  ASSERT_EQ(
      RunProgram("--config " + kDemo + " --state " + folder.File("state") + " --tail 5 --chart " +
                     folder.File("chart.svg") + " --json " + folder.File("events.json"),
                 folder),
      0)
      << testing::ReadFile(folder.File("err.txt"));
  const std::string out = testing::ReadFile(folder.File("out.txt"));
  EXPECT_EQ(out.rfind("ladder  take profits      60,45,30,20 | 90,60,40,25 | 120,80,50,30\n"
                      "        drawdown targets  40,80,120 | 60,110,160 | 80,140,200\n"
                      "        increase targets  10250,10500,10800\n"
                      "        stop losses       150,200,250\n",
                      0),
            0u)
      << out;
  for (const std::string& line : Lines(out)) {
    if (line.rfind("library ", 0) != 0 && line.find(" written to ") == std::string::npos) {
      EXPECT_LE(line.size(), 100u) << line;  // paths aside, the report fits 100 columns
    }
  }
  for (const char* part : {"earlier events)", "Dashboard", "Snaps / Avg / Med / Low DD", "Summary",
                           "closes on take profit", "chart written to",
                           "On the account model a guard changes nothing but its closes' cost"}) {
    EXPECT_NE(out.find(part), std::string::npos) << part;
  }
  EXPECT_NE(out.find("guard against no guard                  with the guard  without\n"),
            std::string::npos);
  std::vector<testing::XmlElement> elements;
  std::string error;
  EXPECT_TRUE(testing::ParseXml(testing::ReadFile(folder.File("chart.svg")), elements, error))
      << error;
  EXPECT_EQ(
      std::count_if(elements.begin(), elements.end(),
                    [](const testing::XmlElement& e) { return e.Attribute("id") == "unguarded"; }),
      1);
  EXPECT_NE(testing::ReadFile(folder.File("events.json")).find(",\"events\":[{\"tick\":0,"),
            std::string::npos);
  // The linked-in engine keeps the guard's settings in the state folder, as a loaded library does.
  EXPECT_TRUE(std::ifstream(folder.File("state/zentravo.ini")).good());
}

TEST(Program, TheSameInputsGiveByteIdenticalLogJsonAndChart) {
  // Two runs in different time zones: any time taken from the machine would tell them apart.
  testing::TempFolder folder;
  std::vector<std::string> outputs[2];
  for (int run = 0; run < 2; ++run) {
    const std::string name = folder.File("run" + std::to_string(run));
    ASSERT_EQ(
        RunProgram(std::string(run == 0 ? "TZ=UTC0 " : "TZ=XST-9 ") + ZT_SIM_PROGRAM +
                       " --config " + kDemo + " --state " + name + "/state --quiet --log " + name +
                       "/log.txt --json " + name + "/run.json --chart " + name + "/chart.svg",
                   folder, false),
        0)
        << testing::ReadFile(folder.File("err.txt"));
    for (const char* file : {"/log.txt", "/run.json", "/chart.svg"}) {
      outputs[run].push_back(testing::ReadFile(name + file));
    }
  }
  for (std::size_t file = 0; file < outputs[0].size(); ++file) {
    EXPECT_FALSE(outputs[0][file].empty());
    EXPECT_TRUE(outputs[0][file] == outputs[1][file]) << "output " << file;
  }
  // The panel's title is the simulated time of the last tick: 6000 ticks of 30 s from 2024.01.02
  // 00:00.
  EXPECT_NE(outputs[0][1].find("Thu, Jan 04, 2024 02:00:00"), std::string::npos);
}

// Runs zt-sim with arguments (its standard output to /dev/null), presses Ctrl-C a moment after it
// wrote the state folder's file (before its first tick) and returns how it exited: its exit code,
// or -1 when it did not exit by itself.
int ExitAfterCtrlC(std::vector<std::string> arguments, const std::string& state) {
  arguments.insert(arguments.begin(), ZT_SIM_PROGRAM);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, ZT_SIM_PROGRAM, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  // The state is written before the first tick; let the run go on a little past it.
  for (int wait = 0; wait < 2000 && !std::ifstream(state + "/zt-sim-state.txt").good(); ++wait)
    usleep(5000);
  usleep(2000);
  kill(child, SIGINT);
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(Program, CtrlCSavesTheAccountAndTheNextRunContinuesIt) {
  testing::TempFolder folder;
  const std::string state = folder.File("state");
  ASSERT_EQ(ExitAfterCtrlC({"--config", kDemo, "--state", state, "--ticks", "100000000", "--quiet",
                            "--no-progress", "--log", folder.File("log")},
                           state),
            130);

  const std::optional<SimState> saved =
      ParseSimState(testing::ReadFile(state + "/zt-sim-state.txt"));
  ASSERT_TRUE(saved.has_value());
  EXPECT_FALSE(saved->running);
  AccountModel account{};
  ASSERT_TRUE(ParseAccount(saved->account, account));
  EXPECT_GT(account.tick, 0);
  EXPECT_LT(account.tick, 100000000);
  const SimResult resumed =
      Simulate(Options({"--config", kDemo, "--state", state, "--ticks", "10"}));
  EXPECT_TRUE(resumed.resumed);
  EXPECT_EQ(resumed.run.equity[0].time, account.start.startTime + account.tick * 30);
  EXPECT_EQ(resumed.run.equity[0].equity, account.balance + account.floating);
}

// One run of zt-sim in this process, as its JSON document.
Json RunJson(std::vector<std::string> arguments) {
  arguments.insert(arguments.end(), {"--quiet", "--json", "-"});
  std::ostringstream out, err;
  EXPECT_EQ(RunSimulator(Options(arguments), out, err), 0) << err.str();
  return Json::parse(out.str(), nullptr, false);
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

std::vector<std::string> With(std::vector<std::string> options,
                              const std::vector<std::string>& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
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

// The engine linked into zt-sim and the built zentravo.so decide alike: the same JSON to the
// byte for a straight run, for a run stopped after some ticks and continued by the other engine,
// and for a run stopped by Ctrl-C and continued by either.
TEST(Program, TheLinkedEngineAndTheLoadedLibraryWriteTheSameJson) {
  testing::TempFolder folder;
  const std::vector<std::string> grid = With(
      tools::SplitAt(
          "--market model --strategy grid --seed 5 --take-profits 100 --drawdown-targets 30,60 "
          "--stop-losses 150",
          ' '),
      {"--increase-targets", ""});
  const auto json = [&](std::vector<std::string> more, bool linked) {
    SimOptions options = Options(With(With(grid, more), {"--quiet", "--json", "-"}));
    if (linked) options.library.clear();
    std::ostringstream out, err;
    EXPECT_EQ(RunSimulator(options, out, err), 0) << err.str();
    return out.str();
  };
  const std::string straight = json({"--ticks", "20000"}, true);
  EXPECT_NE(straight.find("\"kind\":\"stop loss\""), std::string::npos);
  EXPECT_EQ(straight, json({"--ticks", "20000"}, false));
  std::string halves[2];
  for (const bool linkedFirst : {true, false}) {
    const std::string state = folder.File(linkedFirst ? "linked-first" : "loaded-first");
    halves[linkedFirst] = json({"--ticks", "8000", "--state", state}, linkedFirst) +
                          json({"--ticks", "12000", "--state", state}, !linkedFirst);
  }
  EXPECT_EQ(halves[0], halves[1]);
  EXPECT_EQ(testing::ReadFile(folder.File("linked-first/zentravo.ini")),
            testing::ReadFile(folder.File("loaded-first/zentravo.ini")));

  const std::string stopped = folder.File("ctrl-c");
  ASSERT_EQ(ExitAfterCtrlC(With(grid, {"--state", stopped, "--ticks", "100000000", "--no-progress",
                                       "--quiet"}),
                           stopped),
            130);
  fs::copy(stopped, stopped + "-copy");
  EXPECT_EQ(json({"--ticks", "2000", "--state", stopped}, true),
            json({"--ticks", "2000", "--state", stopped + "-copy"}, false));
}

TEST(Program, AStateFolderThatCannotBeWrittenStopsTheRunBeforeTheFirstTick) {
  testing::TempFolder folder;
  const std::string state = folder.File("state");
  ASSERT_EQ(RunProgram("--config " + kDemo + " --state " + state + " --ticks 100", folder), 0);
  const std::string before = testing::ReadFile(state + "/zt-sim-state.txt");
  // Permissions do not bind root: the folder then belongs to an ordinary user who runs the program.
  std::string runAs;
  if (getuid() == 0) {
    ASSERT_EQ(std::system(("chown -R nobody " + state).c_str()), 0);
    runAs = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  }
  fs::permissions(state, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                             fs::perms::others_exec);
  EXPECT_EQ(RunProgram(runAs + ZT_SIM_PROGRAM + " --config " + kDemo + " --state " + state +
                           " --ticks 100",
                       folder, false),
            1);
  const std::string expected =
      "cannot write " + state + "/zt-sim-state.txt: Permission denied), so nothing was run";
  EXPECT_NE(testing::ReadFile(folder.File("err.txt")).find(expected), std::string::npos)
      << testing::ReadFile(folder.File("err.txt"));
  EXPECT_EQ(testing::ReadFile(state + "/zt-sim-state.txt"), before);
  fs::permissions(state, fs::perms::owner_all);
}

TEST(Program, AStateThatCannotBeReadIsNamedWithTheSystemsReason) {
  testing::TempFolder folder;
  const std::string state = folder.File("state");
  const std::string file = state + "/zt-sim-state.txt";
  ASSERT_EQ(RunProgram("--config " + kDemo + " --state " + state + " --ticks 100", folder), 0);
  const std::string saved = testing::ReadFile(file);
  const auto refused = [&](const std::string& runAs, const std::string& expected) {
    EXPECT_EQ(RunProgram(runAs + ZT_SIM_PROGRAM + " --config " + kDemo + " --state " + state +
                             " --ticks 100",
                         folder, false),
              1);
    const std::string err = testing::ReadFile(folder.File("err.txt"));
    EXPECT_NE(err.find(expected), std::string::npos) << err;
    EXPECT_EQ(err.find("is not a state"), std::string::npos) << err;
  };
  // A folder where the state file should be.
  fs::remove(file);
  fs::create_directory(file);
  refused("", "cannot read " + file + ": Is a directory");
  fs::remove(file);
  testing::WriteFile(file, saved);
  // Permissions do not bind root: the folder then belongs to an ordinary user who runs the program.
  std::string runAs;
  if (getuid() == 0) {
    ASSERT_EQ(std::system(("chown -R nobody " + state).c_str()), 0);
    runAs = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  }
  fs::permissions(file, fs::perms::none);
  refused(runAs, "cannot read " + file + ": Permission denied");
  fs::permissions(state, fs::perms::none);
  refused(runAs, "cannot read the folder " + state + ": Permission denied");
  fs::permissions(state, fs::perms::owner_all);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(testing::ReadFile(file), saved);
}

TEST(Program, OutputFoldersAreMadeAndAFailedRunLeavesNoFolder) {
  testing::TempFolder folder;
  ASSERT_EQ(RunProgram("--ticks 50 --state " + folder.File("state") + " --chart " +
                           folder.File("a/b/chart.svg") + " --json " + folder.File("c/run.json") +
                           " --log " + folder.File("d/log.txt"),
                       folder),
            0)
      << testing::ReadFile(folder.File("err.txt"));
  for (const char* file : {"a/b/chart.svg", "c/run.json", "d/log.txt"}) {
    EXPECT_TRUE(fs::exists(folder.File(file))) << file;
  }
  // No usable row: the run fails after the library was copied into a fresh zt-state-1.
  testing::WriteFile(folder.File("empty.csv"), "Time,Equity\n");
  fs::create_directory(folder.File("work"));
  EXPECT_EQ(RunProgram("cd " + folder.File("work") + " && " + ZT_SIM_PROGRAM + " --csv " +
                           folder.File("empty.csv"),
                       folder, false),
            1);
  EXPECT_NE(testing::ReadFile(folder.File("err.txt")).find("holds no usable row"),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(folder.File("work")));
  // Without --state the library's files live in a throwaway folder that is gone after the run.
  EXPECT_EQ(RunProgram("cd " + folder.File("work") + " && " + ZT_SIM_PROGRAM + " --ticks 100",
                       folder, false),
            0);
  EXPECT_NE(testing::ReadFile(folder.File("out.txt")).find("no state folder kept"),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(folder.File("work")));
  // With rows but none usable, the first reasons are shown.
  testing::WriteFile(folder.File("bad.csv"), "Time,Equity\nnoon,1000\n2024.01.02 10:00,lots\n");
  EXPECT_EQ(RunProgram("--csv " + folder.File("bad.csv") + " --state " + folder.File("s2"), folder),
            1);
  EXPECT_NE(testing::ReadFile(folder.File("err.txt"))
                .find("holds no usable row:\n  line 2: time \"noon\" is not a "
                      "time\n  line 3: equity \"lots\" is not a number\n"),
            std::string::npos)
      << testing::ReadFile(folder.File("err.txt"));
}

TEST(Program, LongPathsAndLaddersAreFoldedToFitTheReport) {
  testing::TempFolder folder;
  const std::string deep =
      folder.File(std::string(90, 'h') + "/" + std::string(40, 'i') + "/output-folder");
  fs::create_directories(deep);
  fs::copy_file(std::string(ZT_SIM_SAMPLES) + "/equity-history.csv", deep + "/history.csv");
  std::string sets;
  for (int set = 0; set < 8; ++set)
    sets += (set > 0 ? ";" : "") + std::string("900,800,700,600,500,400,300,200,100");
  ASSERT_EQ(RunProgram("--csv " + deep + "/history.csv --take-profits '" + sets +
                           "' --drawdown-targets '" + sets +
                           "' --stop-losses 150 --increase-targets '' --tail 3 --chart " + deep +
                           "/chart.svg --json " + deep + "/run.json --log " + deep + "/log.txt",
                       folder),
            0)
      << testing::ReadFile(folder.File("err.txt"));
  const std::string out = testing::ReadFile(folder.File("out.txt"));
  for (const std::string& line : Lines(out)) EXPECT_LE(line.size(), 100u) << line;
  // Folded, the texts are all there: the paths broken after a slash, the sets after a comma.
  std::string joined;
  for (const std::string& line : Lines(out))
    joined += line.substr(
        line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' '));
  EXPECT_NE(joined.find("chart written to " + deep + "/chart.svg"), std::string::npos) << out;
  EXPECT_NE(joined.find(sets.substr(0, 35)), std::string::npos) << out;
}

TEST(Program, HelpAndBadOptions) {
  testing::TempFolder folder;
  EXPECT_EQ(RunProgram("--help", folder), 0);
  const std::string help = testing::ReadFile(folder.File("out.txt"));
  for (const char* option :
       {"--csv", "--columns", "--seed", "--take-profits", "--email-drawdown", "--state",
        "--library", "--json", "--chart", "--config", "2024-01-02T10:30:15Z", "seconds since 1970",
        "UTF-16", "any character but a digit or \".\" separates", "GetEmailText"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(RunProgram("--bogus", folder), 2);
  EXPECT_NE(testing::ReadFile(folder.File("err.txt")).find("--bogus"), std::string::npos);
  EXPECT_EQ(RunProgram("--start yesterday", folder), 2);
  // Mistakes stop the run with one line naming the option.
  const std::pair<std::string, std::string> mistakes[] = {
      {"--ticks -1", "zt-sim: --ticks must be a whole number from 1 to 1000000000000, not -1\n"},
      {"--balance nan", "zt-sim: --balance must be a number from 0.01 to 1000000000000, not nan\n"},
      {"--drift inf", "zt-sim: --drift must be a number from -1000000000 to 1000000000, not inf\n"},
      {"--take-profits 1e2", "zt-sim: --take-profits \"1e2\": \"1e2\" is not a plain amount"},
      {"--config " + folder.File("typo.ini"),
       "zt-sim: --config: \"volatilty\" in the settings file is no option\n"},
  };
  testing::WriteFile(folder.File("typo.ini"), "seed = 3\nvolatilty = 3\n");
  for (const auto& [arguments, message] : mistakes) {
    EXPECT_EQ(RunProgram(arguments, folder), 2) << arguments;
    EXPECT_EQ(testing::ReadFile(folder.File("err.txt")).rfind(message, 0), 0u)
        << testing::ReadFile(folder.File("err.txt"));
  }
  EXPECT_EQ(RunProgram("--columns equity", folder), 2);
}

}  // namespace
}  // namespace zt::sim
