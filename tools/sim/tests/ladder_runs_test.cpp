// Ladders side by side: the program runs itself once per ladder, so each ladder's figures must be
// those of the same run made alone, and a ladder that would not run as written stops everything
// before any run starts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "number_text.h"
#include "sim_test_support.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// Runs zt-sim with arguments and TMPDIR set to folder/tmp; output into out.txt and err.txt.
int RunProgram(const std::string& arguments, const testing::TempFolder& folder) {
  fs::create_directories(folder.File("tmp"));
  const std::string command = "TMPDIR=" + folder.File("tmp") + " " + ZT_SIM_PROGRAM +
                              " --library " + ZT_SIM_LIBRARY + " --no-progress " + arguments +
                              " > " + folder.File("out.txt") + " 2> " + folder.File("err.txt");
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct NamedTexts {
  std::string name, takeProfits, drawdownTargets, increaseTargets, stopLosses;
};

TEST(Ladders, EachLadderGivesTheFiguresOfItsRunAlone) {
  testing::TempFolder folder;
  const std::string input = "--seed 7 --ticks 4000 --close-cost 1.5";
  const NamedTexts ladders[] = {
      {"default", "60,45,30,20;90,60,40,25", "40,80,120;60,110,160", "10250,10500", "150,200"},
      {"tight", "5", "", "", "5"},
      {"wide-sl", "40", "100", "", "400"}};
  std::string arguments = input + " --jobs 2 --json " + folder.File("all.json");
  for (const NamedTexts& l : ladders) {
    arguments += std::string(" --ladder '") + l.name + "=" + l.takeProfits + "|" +
                 l.drawdownTargets + "|" + l.increaseTargets + "|" + l.stopLosses + "'";
  }
  ASSERT_EQ(RunProgram(arguments, folder), 0) << testing::ReadFile(folder.File("err.txt"));
  const std::string table = testing::ReadFile(folder.File("out.txt"));
  const Json all = Json::parse(testing::ReadFile(folder.File("all.json")));
  ASSERT_EQ(all["ladders"].size(), 3u);
  EXPECT_TRUE(fs::is_empty(folder.File("tmp"))) << "a temporary folder was left behind";

  for (std::size_t i = 0; i < 3; ++i) {
    const NamedTexts& l = ladders[i];
    const std::string single = folder.File(std::string(l.name) + ".json");
    ASSERT_EQ(
        RunProgram(input + " --quiet --take-profits '" + l.takeProfits + "' --drawdown-targets '" +
                       l.drawdownTargets + "' --increase-targets '" + l.increaseTargets +
                       "' --stop-losses '" + l.stopLosses + "' --json " + single,
                   folder),
        0)
        << testing::ReadFile(folder.File("err.txt"));
    const Json alone = Json::parse(testing::ReadFile(single));
    const Json& entry = all["ladders"][i];
    EXPECT_EQ(entry["name"], l.name);
    for (const char* account : {"withGuard", "withoutGuard"}) {
      for (const char* figure : {"endEquity", "deepestDrawdown"})
        EXPECT_EQ(entry[account][figure], alone["comparison"][account][figure]) << l.name;
      // The walk knows no broker; its costs are the close-alls' alone.
      EXPECT_EQ(entry[account]["stopOuts"], alone["risk"][account]["closes"]["stopOut"]);
      EXPECT_EQ(entry[account]["costs"], alone["risk"][account]["costs"]) << l.name;
    }
    EXPECT_EQ(entry["closes"]["takeProfit"], alone["summary"]["takeProfitCloses"]) << l.name;
    EXPECT_EQ(entry["closes"]["stopLoss"], alone["summary"]["stopLossCloses"]) << l.name;
    EXPECT_EQ(entry["cycles"], alone["summary"]["cycles"]) << l.name;
    EXPECT_EQ(entry["realisedPerCycle"]["average"],
              alone["comparison"]["withGuard"]["realisedPerCycle"])
        << l.name;
    // The realised results per cycle, from the cycles the run alone lists.
    std::vector<long long> realised;
    for (const Json& cycle : alone["cycles"]) {
      realised.push_back(cycle["equityLeft"].get<long long>() - cycle["snapshot"].get<long long>());
    }
    ASSERT_FALSE(realised.empty()) << l.name;
    std::sort(realised.begin(), realised.end());
    const std::size_t n = realised.size();
    EXPECT_EQ(entry["realisedPerCycle"]["lowest"], realised.front()) << l.name;
    EXPECT_EQ(entry["realisedPerCycle"]["highest"], realised.back()) << l.name;
    EXPECT_EQ(entry["realisedPerCycle"]["median"],
              n % 2 == 1 ? realised[n / 2] : (realised[n / 2 - 1] + realised[n / 2]) / 2)
        << l.name;
  }
  // The ladders really differ: the tight one closes far more often.
  EXPECT_GT(all["ladders"][1]["cycles"].get<int>(), 3 * all["ladders"][0]["cycles"].get<int>());

  // Closes never change the model's walk and a CSV history is what it is: every ladder meets the
  // same market, so the account without the guard is shown once.
  const auto baselines = [](const std::string& text) {
    std::istringstream lines(text);
    int once = 0, each = 0;
    for (std::string line; std::getline(lines, line);) {
      EXPECT_LE(line.size(), 100u) << line;
      once += line.rfind("no guard ", 0) == 0 ? 1 : 0;
      each += line.rfind("  no guard ", 0) == 0 ? 1 : 0;
    }
    return std::make_pair(once, each);
  };
  // Once in the figures and once in the stop-outs and costs.
  EXPECT_EQ(baselines(table), std::make_pair(2, 0)) << table;
  ASSERT_EQ(RunProgram("--csv " + std::string(ZT_SIM_SAMPLES) + "/equity-history.csv --json " +
                           folder.File("csv.json") + " --ladder 'a=20|||60' --ladder 'b=8|||30'",
                       folder),
            0)
      << testing::ReadFile(folder.File("err.txt"));
  EXPECT_EQ(baselines(testing::ReadFile(folder.File("out.txt"))), std::make_pair(2, 0));
  const Json csv = Json::parse(testing::ReadFile(folder.File("csv.json")));
  EXPECT_NE(csv["ladders"][0]["cycles"], csv["ladders"][1]["cycles"]);
  EXPECT_EQ(csv["withoutGuard"], csv["ladders"][1]["withoutGuard"]);
}

// The heading names the recorded history the ladders really ran on: no seed, the file and its kind.
// Its count is of the history's ticks gone through: the first, where the account starts, and the
// 400 run after it.
TEST(Ladders, TheHeadingNamesTheRecordedHistoryNotASeed) {
  testing::TempFolder folder;
  const std::string samples = std::string(ZT_SIM_SAMPLES) + "/../tools/sim/samples/";
  const std::string ladders = " --ticks 400 --ladder 'a=60|||100' --ladder 'b=120|||250'";
  const std::pair<std::string, std::string> headings[] = {
      {"--history " + samples + "EURUSD_H1.csv --strategy trend",
       "2 ladders on a trend strategy on the bar history EURUSD_H1.csv, made by the price model "
       "and no market's record (401 ticks)"},
      {"--history " + samples + "EURUSD_H1.csv --deals " + samples + "EURUSD_deals.csv",
       "2 ladders on the deal list EURUSD_deals.csv over the bar history EURUSD_H1.csv, made by "
       "the price model and no market's record (401 ticks)"},
      {"--csv " + std::string(ZT_SIM_SAMPLES) + "/equity-history.csv",
       "2 ladders on the equity history equity-history.csv (600 rows)"},
  };
  for (const auto& [input, heading] : headings) {
    ASSERT_EQ(RunProgram(input + ladders, folder), 0) << testing::ReadFile(folder.File("err.txt"));
    const std::string out = testing::ReadFile(folder.File("out.txt"));
    // The heading, unfolded: its first line and the indented lines that follow it.
    const std::vector<std::string> lines = tools::SplitAt(out, '\n');
    std::string unfolded = lines.front();
    for (std::size_t i = 1; i < lines.size() && lines[i].starts_with("  "); ++i)
      unfolded += " " + lines[i].substr(2);
    EXPECT_EQ(unfolded, heading);
  }
}

// Over a bar history the broker trades each account: the comparison's table, JSON and page show
// its stop-outs and the costs by kind, as the run of one ladder alone books them, and that run's
// text shows them too.
TEST(Ladders, AHistoryComparisonShowsTheBrokersStopOutsAndCostsByKind) {
  testing::TempFolder folder;
  const std::string bars = std::string(ZT_SIM_SAMPLES) + "/../tools/sim/samples/EURUSD_H1.csv";
  const std::string input =
      "--history " + bars +
      " --market model --strategy grid --grid-lots 0.1 --grid-multiplier 2 --grid-levels 10"
      " --grid-step 100 --commission 3.5 --swap-long -7 --swap-short 2 --ticks 20000";
  ASSERT_EQ(RunProgram(input + " --ladder 'a=60,40|30,60||100' --ladder 'b=300|||600' --json " +
                           folder.File("all.json") + " --report " + folder.File("page.html"),
                       folder),
            0)
      << testing::ReadFile(folder.File("err.txt"));
  const std::string table = testing::ReadFile(folder.File("out.txt"));
  ASSERT_EQ(RunProgram(input +
                           " --take-profits 60,40 --drawdown-targets 30,60 --increase-targets"
                           " '' --stop-losses 100 --quiet --json " +
                           folder.File("a.json"),
                       folder),
            0)
      << testing::ReadFile(folder.File("err.txt"));
  const Json all = Json::parse(testing::ReadFile(folder.File("all.json")));
  const Json alone = Json::parse(testing::ReadFile(folder.File("a.json")));
  const Json& none = all["withoutGuard"];
  for (const auto& [account, in] :
       {std::pair{"withGuard", all["ladders"][0]["withGuard"]}, std::pair{"withoutGuard", none}}) {
    EXPECT_EQ(in["stopOuts"], alone["risk"][account]["closes"]["stopOut"]) << account;
    EXPECT_EQ(in["costs"], alone["risk"][account]["costs"]) << account;
    const Json& c = in["costs"];
    EXPECT_EQ(c["total"].get<long long>(), c["spread"].get<long long>() +
                                               c["commission"].get<long long>() +
                                               c["swap"].get<long long>());
  }
  ASSERT_GT(none["stopOuts"].get<long long>(), 0) << "no guard is never stopped out here";
  EXPECT_NE(none["costs"]["swap"].get<long long>(), 0);

  // The text table's row of no guard in the second table, and the page's columns, hold them.
  const auto money = [](const Json& cents) { return tools::CentsText(cents.get<long long>()); };
  const Json& c = none["costs"];
  std::string row = "no guard " + std::to_string(none["stopOuts"].get<long long>());
  for (const char* kind : {"spread", "commission", "swap"}) row += " " + money(c[kind]);
  row += " - " + money(c["total"]);
  bool found = false;
  for (const std::string& line : tools::SplitAt(table, '\n')) {
    std::istringstream words(line);
    std::string joined;
    for (std::string word; words >> word;) joined += (joined.empty() ? "" : " ") + word;
    found = found || joined == row;
  }
  EXPECT_TRUE(found) << row << "\n" << table;
  const std::string page = testing::ReadFile(folder.File("page.html"));
  for (const char* figure : {"/withoutGuard/stopOuts", "/ladders/1/withGuard/costs/swap"})
    EXPECT_NE(page.find(std::string("data-json=\"") + figure + "\""), std::string::npos) << figure;

  const std::string text = testing::ReadFile(folder.File("out.txt"));
  EXPECT_NE(text.find("positions the broker stopped out"), std::string::npos) << text;
  EXPECT_NE(text.find("costs: swap"), std::string::npos) << text;
}

TEST(Ladders, MistakesAreNamedAndFailedRunsReported) {
  testing::TempFolder folder;
  testing::WriteFile(folder.File("ladders.txt"),
                     "# two ladders\nok = 60|40|10250|150\n\nsilly=60|-40||150\n");
  const std::pair<std::string, std::string> refused[] = {
      {"--ladder 'ok=60|||150' --ladder 'bad=1e2|||150'",
       "zt-sim: --ladder: ladder bad: --take-profits \"1e2\": \"1e2\" is not a plain amount"},
      {"--ladder 'short=60|150'",
       "zt-sim: --ladder: ladder short: \"60|150\" holds 2 target texts, not the four"},
      {"--ladders " + folder.File("ladders.txt"),
       "zt-sim: --ladders: " + folder.File("ladders.txt") +
           " line 4: ladder silly: --drawdown-targets"},
      {"--ladder 'a=60|||150' --ladder 'a=50|||150'", "zt-sim: ladder a is named twice"},
      {"--ladder 'a=60|||150' --state " + folder.File("state"), "zt-sim: --state shows one run"},
      {"--ladder 'a=60|||150' --take-profits 50",
       "zt-sim: --take-profits cannot be given with --ladder"},
  };
  for (const auto& [arguments, message] : refused) {
    EXPECT_EQ(RunProgram(arguments, folder), 2) << arguments;
    EXPECT_EQ(testing::ReadFile(folder.File("err.txt")).rfind(message, 0), 0u)
        << testing::ReadFile(folder.File("err.txt"));
  }
  EXPECT_FALSE(fs::exists(folder.File("state")));

  // A run that fails says so under its ladder's name, and the whole run fails.
  testing::WriteFile(folder.File("empty.csv"), "time,equity\n");
  EXPECT_EQ(RunProgram("--csv " + folder.File("empty.csv") +
                           " --ladder 'one=60|||150' --ladder 'two=30|||90'",
                       folder),
            1);
  const std::string errors = testing::ReadFile(folder.File("err.txt"));
  for (const char* name : {"one", "two"}) {
    EXPECT_NE(errors.find(std::string("zt-sim: ladder ") + name + ": " + folder.File("empty.csv") +
                          " holds no usable row"),
              std::string::npos)
        << errors;
  }
  EXPECT_TRUE(fs::is_empty(folder.File("tmp")));
}

// The library folder each running ladder loaded its guard from, read from the processes'
// memory maps.
std::vector<std::string> LibraryFoldersOfChildren(pid_t parent) {
  std::vector<std::string> folders;
  std::istringstream children(testing::ReadFile("/proc/" + std::to_string(parent) + "/task/" +
                                                std::to_string(parent) + "/children"));
  for (pid_t child = 0; children >> child;) {
    std::istringstream maps(testing::ReadFile("/proc/" + std::to_string(child) + "/maps"));
    for (std::string line; std::getline(maps, line);) {
      const std::size_t at = line.find('/');
      if (at != std::string::npos && line.size() > 12 &&
          line.substr(line.size() - 12) == "/zentravo.so") {
        folders.push_back(fs::path(line.substr(at)).parent_path().string());
        break;
      }
    }
  }
  return folders;
}

TEST(Ladders, CtrlCStopsEveryRunAndLeavesNoFolderBehind) {
  testing::TempFolder folder;
  fs::create_directories(folder.File("tmp"));
  const std::vector<std::string> arguments = {
      ZT_SIM_PROGRAM, "--library", ZT_SIM_LIBRARY, "--ticks", "100000000", "--no-progress",
      "--jobs",       "2",         "--ladder",     "a=5|||5", "--ladder",  "b=60|||150",
      "--ladder",     "c=30|||90"};
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const std::string tmp = "TMPDIR=" + folder.File("tmp");
  std::vector<char*> environment = {const_cast<char*>(tmp.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, folder.File("err.txt").c_str(), O_WRONLY | O_CREAT,
                                   0600);
  // A process group of its own, as a shell starts a command: Ctrl-C goes to the whole group.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t parent = 0;
  ASSERT_EQ(
      posix_spawn(&parent, ZT_SIM_PROGRAM, &actions, &attributes, argv.data(), environment.data()),
      0);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  std::vector<std::string> libraries;
  for (int wait = 0; wait < 200 && libraries.size() < 2; ++wait) {
    usleep(50000);
    libraries = LibraryFoldersOfChildren(parent);
  }
  EXPECT_EQ(libraries.size(), 2u);  // two at a time
  usleep(200000);
  kill(-parent, SIGINT);  // Ctrl-C at the terminal
  int status = 0;
  ASSERT_EQ(waitpid(parent, &status, 0), parent);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_NE(
      testing::ReadFile(folder.File("err.txt")).find("interrupted; 0 of 3 ladders had finished"),
      std::string::npos);
  EXPECT_TRUE(fs::is_empty(folder.File("tmp")));
  for (const std::string& library : libraries) EXPECT_FALSE(fs::exists(library)) << library;
}

}  // namespace
}  // namespace zt::sim
