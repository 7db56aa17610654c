// zt-sim as a program: what it prints and writes, the same bytes from the same inputs, Ctrl-C,
// the linked engine against the loaded library, state folders it cannot use, output folders,
// folded lines, --help and mistaken options.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "end_to_end_support.h"
#include "runs/run_state.h"
#include "runs/single_run.h"
#include "sim_test_support.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using testing::ExitAfterCtrlC;
using testing::kDemo;
using testing::Lines;
using testing::Options;
using testing::RunProgram;
using testing::With;

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

// Root is shown a permission refusal only through an ordinary user, who must be able to reach the
// program and its settings: a checkout inside a folder only root may enter (mktemp -d makes one)
// hides them. The reason, when it does, or empty.
const std::string kAsOrdinaryUser = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
std::string UnreachableByOrdinaryUser(const std::string& settings) {
  const std::string check = kAsOrdinaryUser + "test -x " + ZT_SIM_PROGRAM + " -a -r " + settings;
  if (std::system((check + " 2>/dev/null").c_str()) == 0) return "";
  return std::string("the user nobody cannot reach ") + ZT_SIM_PROGRAM + " or " + settings +
         " (a folder above them is closed to others), so root cannot show a permission refusal";
}

// Permissions do not bind root: run as root, the folder is given to an ordinary user who then runs
// the program (the command prefix returned). unreachable says why that user cannot run it here.
std::string GivenToOrdinaryUser(const std::string& folder, std::string& unreachable) {
  if (getuid() != 0) return "";
  unreachable = UnreachableByOrdinaryUser(kDemo);
  if (!unreachable.empty()) return "";
  EXPECT_EQ(std::system(("chown -R nobody " + folder).c_str()), 0);
  return kAsOrdinaryUser;
}

TEST(Program, AStateFolderThatCannotBeWrittenStopsTheRunBeforeTheFirstTick) {
  testing::TempFolder folder;
  const std::string state = folder.File("state");
  ASSERT_EQ(RunProgram("--config " + kDemo + " --state " + state + " --ticks 100", folder), 0);
  const std::string before = testing::ReadFile(state + "/zt-sim-state.txt");
  std::string unreachable;
  const std::string runAs = GivenToOrdinaryUser(state, unreachable);
  if (!unreachable.empty()) GTEST_SKIP() << unreachable;
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
  std::string unreachable;
  const std::string runAs = GivenToOrdinaryUser(state, unreachable);
  if (!unreachable.empty()) GTEST_SKIP() << unreachable;
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
      // zt-sim has no sections: CLI11 reads a section's opening as the key "NAME.++".
      {"--config " + folder.File("section.ini"),
       "zt-sim: --config: \"lab.++\" in the settings file is no option\n"},
      {"--config " + folder.File("ladders.ini"),
       "zt-sim: --config: ladder: This option is not allowed in a configuration file\n"},
      {"--config " + folder.File("none.ini"),
       "zt-sim: " + folder.File("none.ini") + " was not readable (missing?)\n"},
      {"--config " + folder.path, "zt-sim: " + folder.path + " was not readable (missing?)\n"},
  };
  testing::WriteFile(folder.File("typo.ini"), "seed = 3\nvolatilty = 3\n");
  testing::WriteFile(folder.File("section.ini"), "seed = 3\n[lab]\nticks = 3\n");
  testing::WriteFile(folder.File("ladders.ini"), "ladder = \"tight=60,40|30,60||100\"\n");
  for (const auto& [arguments, message] : mistakes) {
    EXPECT_EQ(RunProgram(arguments, folder), 2) << arguments;
    EXPECT_EQ(testing::ReadFile(folder.File("err.txt")).rfind(message, 0), 0u)
        << testing::ReadFile(folder.File("err.txt"));
  }
  EXPECT_EQ(RunProgram("--columns equity", folder), 2);
}

// A settings file gives every option the command line leaves: a flag by its name alone or by a
// word, a value checked as if typed; the command line's own values win. Read in one piece, CR LF
// lines and all, whatever its name holds.
TEST(Program, SettingsFileGivesWhatTheCommandLineLeaves) {
  testing::TempFolder folder;
  const std::string file = folder.File("lab settings Zo\u00eb.ini");
  testing::WriteFile(
      file,
      "# a run\r\nquiet\r\nresume-anyway = yes\r\nno-progress = off\r\nseed = 9\r\n"
      "ticks = 50\r\nstart = \"2024.03.01 00:00\"\r\ntake-profits = \"60,40;90,60\"\r\n");
  // The command line (CommandLineOptions gives --no-progress) and its --ticks win.
  const SimOptions o = testing::CommandLineOptions({"--config", file, "--ticks", "7"});
  EXPECT_TRUE(o.quiet);
  EXPECT_TRUE(o.resumeAnyway);
  EXPECT_FALSE(o.progress);
  EXPECT_EQ(o.start.seed, 9u);
  EXPECT_EQ(o.ticks, 7);
  EXPECT_EQ(o.start.startTime, 1709251200);
  EXPECT_EQ(o.host.targets.takeProfits, "60,40;90,60");
  // A value from the file is checked as one typed, before the command line's.
  testing::WriteFile(file, "balance = -5\n");
  EXPECT_EQ(RunProgram("--config '" + file + "' --ticks -1", folder), 2);
  EXPECT_EQ(testing::ReadFile(folder.File("err.txt")),
            "zt-sim: --balance must be a number from 0.01 to 1000000000000, not -5\n");
}

}  // namespace
}  // namespace zt::sim
