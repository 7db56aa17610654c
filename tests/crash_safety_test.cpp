// Crash safety of the settings file: a host killed at any moment, even inside a write, leaves a
// file that parses and holds, for every key, the value before or after the interrupted call, and
// the next start resumes from exactly that. The child (crash_safety_child.cpp) runs the guard's
// writers in a tight loop and says before each call what it will leave; the test kills it with
// SIGKILL at seeded random moments and inspects the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/guard_state.h"
#include "platform/platform.h"
#include "settings/profile_store.h"
#include "test_support.h"

namespace zt {
namespace {

using testing::ReadFile;
using testing::TempFolder;

constexpr int kKills = 200;
constexpr int kKeyCount = 8;
constexpr std::uint32_t kSeed = 20110713;
constexpr int kLongestDelayMicroseconds = 12000;  // a child makes a few calls to a few hundred
// The equity every child passes to InitZT (crash_safety_child.cpp), as its start line prints it.
constexpr const char* kChildEquity = "1000.00";
constexpr const char* kMissing = "(missing)";  // what ReadValues gives for a key the file lacks

using Values = std::vector<std::string>;

struct ChildRun {
  std::vector<std::string> lines;  // every complete line the child said
  int status = 0;
};

// Starts the child, waits for its start line, lets it run for delay and kills it.
ChildRun RunAndKill(const std::string& folder, int seed, std::chrono::microseconds delay) {
  int pipeEnds[2];
  EXPECT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    const std::string seedText = std::to_string(seed);
    execl(ZT_CRASH_CHILD, ZT_CRASH_CHILD, folder.c_str(), seedText.c_str(), nullptr);
    _exit(127);
  }
  close(pipeEnds[1]);
  ChildRun run;
  std::string pending;
  bool killed = false;
  char block[4096];
  for (;;) {
    const ssize_t got = read(pipeEnds[0], block, sizeof block);
    if (got <= 0) break;
    pending.append(block, static_cast<std::size_t>(got));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      run.lines.push_back(pending.substr(0, end));
      pending.erase(0, end + 1);
    }
    if (!killed && !run.lines.empty()) {  // started: now the clock for the kill runs
      std::this_thread::sleep_for(delay);
      kill(child, SIGKILL);
      killed = true;
    }
  }
  close(pipeEnds[0]);
  waitpid(child, &run.status, 0);
  return run;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

Values ReadValues(const std::string& path) {
  static constexpr const char* kKeys[kKeyCount][2] = {
      {"SNAP", "Equity Snap"}, {"SNAP", "Initial Equity"}, {"INDEX", "TPSet"},
      {"INDEX", "TP"},         {"INDEX", "DDSet"},         {"INDEX", "DD"},
      {"INDEX", "Increase"},   {"INDEX", "SL"}};
  Values values;
  for (const auto& key : kKeys) {
    char value[settings::kProfileValueCapacity];
    settings::ReadProfileString(path.c_str(), key[0], key[1], "(missing)", value);
    values.emplace_back(value);
  }
  return values;
}

// The file as the guard writes it, whole: CR LF after every line, only its two sections, only
// its eight keys, each value a complete number. A torn write shows here as a cut line or value.
::testing::AssertionResult WellFormed(const std::string& text) {
  if (text.empty() || !text.ends_with("\r\n")) return ::testing::AssertionFailure() << "cut: " << text;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    if (line == "[SNAP]" || line == "[INDEX]") continue;
    const std::size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    const bool amount = key == "Equity Snap" || key == "Initial Equity";
    const bool index = key == "TPSet" || key == "TP" || key == "DDSet" || key == "DD" ||
                       key == "Increase" || key == "SL";
    const bool digits = !value.empty() && value.find_first_not_of("0123456789.") == std::string::npos;
    const bool complete = amount ? (value == "0" || (value.size() > 3 && value[value.size() - 3] == '.'))
                                 : value.find('.') == std::string::npos;
    if (!(amount || index) || !digits || !complete) {
      return ::testing::AssertionFailure() << "bad line \"" << line << "\" in\n" << text;
    }
  }
  return ::testing::AssertionSuccess();
}

// The position a start restores from a stored index: a missing key counts as 0, and a value out
// of its table is brought into it.
int Clamped(const std::string& text, int size) {
  return std::clamp(text == kMissing ? 0 : std::stoi(text), 0, size - 1);
}

// The snapshot a start resumes from, as its start line prints it. A stored snapshot is only worth
// resuming from when it is a usable equity (a positive amount); anything else, such as the "0"
// an older library wrote before any snapshot roll, or no key at all, means the guard begins from
// the equity it is given.
std::string ResumedSnapshot(const std::string& stored) {
  double amount = 0.0;
  const char* end = stored.data() + stored.size();
  const auto [stop, error] = std::from_chars(stored.data(), end, amount);
  const bool usable = error == std::errc() && stop == end && std::isfinite(amount) && amount > 0.0;
  return usable ? stored : kChildEquity;
}

TEST(CrashSafety, EveryKillLeavesACompleteFileTheNextStartResumesFrom) {
  TempFolder folder;
  std::filesystem::create_directory(folder.File("rehearsal"));
  const std::string settings = folder.File("zentravo.ini");
  std::mt19937 random(kSeed);
  std::uniform_int_distribution<int> delays(0, kLongestDelayMicroseconds);

  int insideACall = 0;     // the child had announced a call and not returned from it
  int insideAWrite = 0;    // it died between creating the temporary file and renaming it
  int calls = 0;
  // The file's eight values after the previous run; before the first there is no file at all.
  Values expected(kKeyCount, kMissing);
  for (int kill = 0; kill < kKills; ++kill) {
    const ChildRun run = RunAndKill(folder.path, kill, std::chrono::microseconds(delays(random)));
    ASSERT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGKILL)
        << "kill " << kill << ": the child ended on its own, status " << run.status;
    ASSERT_FALSE(run.lines.empty()) << "kill " << kill << ": no start line";

    // The start resumed from the file the previous kill left (the first from no file). Where the
    // kill lands decides what that file holds, so the expectation follows the file, not the order
    // in which the child happens to make its calls.
    const std::vector<std::string> start = Words(run.lines.front());
    ASSERT_EQ(start.size(), 6u + kKeyCount) << run.lines.front();
    ASSERT_EQ(start[0], "I");
    EXPECT_EQ(start[1], ResumedSnapshot(expected[0]))
        << "kill " << kill << ": snapshot not resumed from \"" << expected[0] << "\"";
    EXPECT_EQ(std::stoi(start[2]), Clamped(expected[2], core::kTargetSets)) << "kill " << kill;
    EXPECT_EQ(std::stoi(start[3]), Clamped(expected[3], core::kSetPositions)) << "kill " << kill;
    EXPECT_EQ(std::stoi(start[4]), Clamped(expected[4], core::kTargetSets)) << "kill " << kill;
    EXPECT_EQ(std::stoi(start[5]), Clamped(expected[5], core::kSetPositions)) << "kill " << kill;
    Values before(start.begin() + 6, start.end());  // the file after InitZT's own writes
    // Starting changes none of what it resumed from: a resumed snapshot is written back as read,
    // one taken from the equity is stored, and the positions are not written at all.
    EXPECT_EQ(before[0], start[1]) << "kill " << kill;
    for (int key = 2; key < kKeyCount; ++key) {
      const auto k = static_cast<std::size_t>(key);
      EXPECT_EQ(before[k], expected[k]) << "kill " << kill << ": the start rewrote key " << key;
    }

    // The last call announced, and whether it returned.
    Values announced;
    bool returned = true;
    for (std::size_t i = 1; i < run.lines.size(); ++i) {
      const std::vector<std::string> words = Words(run.lines[i]);
      if (words[0] == "B") {
        if (returned && !announced.empty()) before = announced;
        announced.assign(words.begin() + 2, words.end());
        returned = false;
        ++calls;
      } else {
        returned = true;
      }
    }
    if (returned && !announced.empty()) before = announced;

    const std::string text = ReadFile(settings);
    ASSERT_TRUE(WellFormed(text)) << "kill " << kill;
    const Values now = ReadValues(settings);
    for (int key = 0; key < kKeyCount; ++key) {
      const auto k = static_cast<std::size_t>(key);
      if (returned) {
        EXPECT_EQ(now[k], before[k]) << "kill " << kill << " between calls, key " << key;
      } else {
        EXPECT_TRUE(now[k] == before[k] || now[k] == announced[k])
            << "kill " << kill << " inside a call, key " << key << ": " << now[k] << " is neither "
            << before[k] << " nor " << announced[k];
      }
    }
    if (!returned) ++insideACall;

    // A write cut short leaves its temporary file; the settings file itself is whole.
    for (const auto& item : std::filesystem::directory_iterator(folder.path)) {
      const std::string name = item.path().filename().string();
      if (name.starts_with("zentravo.ini.") && name.ends_with(".tmp")) {
        ++insideAWrite;
        std::filesystem::remove(item.path());
      }
    }
    expected = now;
  }
  std::printf("[ crash    ] %d kills after %d calls: %d inside a call, %d inside a write\n", kKills,
              calls, insideACall, insideAWrite);
  // The delays are drawn so that most kills find the child busy writing; a run in which none
  // did tests nothing.
  EXPECT_GT(insideAWrite, 0);
}

}  // namespace
}  // namespace zt
