// The settings store under the ways a trader's Windows machine gets in the way, met through the
// whole library over a fake disk (fake_disk.h): another program holding the lock file or the
// settings file, replaces refused for a moment or for good, a scanner holding our temporary files,
// a disk that refuses new files, and a clock that moves by a Windows timer tick at every pause.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "boundary/module.h"
#include "boundary/test_hooks.h"
#include "core/guard_state.h"
#include "fake_disk.h"
#include "settings/settings_path.h"
#include "settings/settings_store.h"
#include "zentravo.h"

namespace zt {
namespace {

using testing::fake::kForGood;
using testing::fake::TheDisk;

constexpr const char* kSettings = "/terminal/MQL4/Libraries/zentravo.ini";
constexpr const char* kStored =
    "; my account\r\n[SNAP]\r\nEquity Snap=1250.50\r\nInitial Equity=1000.00\r\n[INDEX]\r\n"
    "TPSet=1\r\nDDSet=1\r\nTP=1\r\nDD=1\r\nIncrease=1\r\nSL=1\r\n";

class Seam : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);  // statistics files are named in local time
    tzset();
    test_hooks::ForgetCachedTimes();
    test_hooks::ResetGuard();
    test_hooks::FixClock(1310549945);
    testing::fake::Reset();
    settings::DeriveSettingsPath("/terminal/MQL4/Libraries/zentravo.so");
  }
  static double Start(double equity) {
    double initial = 0.0;
    return InitZT(0, "seam", &initial, equity, 0, 1000, "50;60", "20;30", "1100,1300",
                  "100,150");
  }
  static std::string File() {
    const auto found = TheDisk().files.find(kSettings);
    return found == TheDisk().files.end() ? "(none)" : found->second;
  }
  static std::string Notice() {
    char text[ZT_TEXT_CAPACITY] = "";
    GetLabel(15, 0, text);
    return text;
  }
  // A close-all on the take profit and the roll after it, at equity.
  static void CloseAndRoll(double equity) {
    EXPECT_EQ(SetEquity(equity, 10, 900, 0), ZT_TAKE_PROFIT_HIT);
    SetTTC(100, equity);
    SetEquity(equity, 0, 0, 1);
  }
};

TEST_F(Seam, NoWriteIsMadeWithoutTheLock) {
  // A sync tool holds the lock file open without sharing it: the writes wait, the notice says so.
  TheDisk().lockFileRefusedUntil = kForGood;
  EXPECT_EQ(Start(1000), 1000.0);
  CloseAndRoll(1060);
  EXPECT_EQ(File(), "(none)");
  EXPECT_TRUE(TheDisk().temporaryNames.empty());
  EXPECT_EQ(Notice(), "Settings pending: file locked");
  TheDisk().lockFileRefusedUntil = 0;
  EXPECT_EQ(GetEquitySnap(), 1060.0);
  EXPECT_NE(File().find("Equity Snap=1060.00\r\n"), std::string::npos) << File();
  EXPECT_EQ(Notice(), "Zentravo equity guard");
}

TEST_F(Seam, AStartWaitsForAHeldFileAndResumesIt) {
  // Held for half a second, as a backup tool takes it: the start waits and resumes the history.
  TheDisk().files[kSettings] = kStored;
  TheDisk().readsRefusedUntil = TheDisk().now + 500;
  EXPECT_EQ(Start(900), 1250.5);
  EXPECT_EQ(core::guard.tpSet, 1);
  EXPECT_EQ(core::CurrentStopLoss(), 150.0);
  // The stored sets survive the first close-all and roll (1310 passes the second increase target).
  CloseAndRoll(1310);
  EXPECT_NE(File().find("Equity Snap=1310.00\r\n"), std::string::npos) << File();
  EXPECT_NE(File().find("TPSet=1\r\nDDSet=1\r\nTP=0\r\nDD=0\r\nIncrease=2\r\nSL=1\r\n"),
            std::string::npos)
      << File();
  EXPECT_EQ(File().rfind("; my account\r\n", 0), 0u);
}

TEST_F(Seam, AStartThatCannotReadTheFileKeepsItWholeOnceTheGuardDecidedFirst) {
  TheDisk().files[kSettings] = kStored;
  const std::uint64_t started = TheDisk().now;
  TheDisk().readsRefusedUntil = started + 5000;
  EXPECT_EQ(Start(900), 900.0);
  // About two seconds of waiting, by the clock, whatever a pause lasts.
  EXPECT_GE(TheDisk().now - started, 2000u);
  EXPECT_LE(TheDisk().now - started, 2000u + 2 * TheDisk().pauseMs);
  // Nothing mixed in from the file: the first entries beside the host's equity, and it says so.
  EXPECT_EQ(core::guard.tpSet, 0);
  EXPECT_EQ(core::CurrentStopLoss(), 100.0);
  EXPECT_EQ(Notice(), "Started without saved settings: file locked");

  // Still held: a close-all and its roll replace nothing.
  CloseAndRoll(960);
  EXPECT_EQ(File(), kStored);
  EXPECT_TRUE(TheDisk().temporaryNames.empty());
  EXPECT_EQ(TheDisk().lockAttempts, 0);  // not even tried: the file was never read
  EXPECT_EQ(Notice(), "Started without saved settings: file locked");
  // Let go: the guard keeps the history it decided on, and the file's values are kept whole
  // beside it, named for the moment, before the held writes go over it (every other line kept).
  TheDisk().now = started + 6000;
  EXPECT_EQ(GetEquitySnap(), 960.0);
  constexpr const char* kKept = "/terminal/MQL4/Libraries/zentravo-unread-2011.07.13 09-39.ini";
  EXPECT_EQ(TheDisk().files[kKept], kStored);
  EXPECT_NE(File().find("Equity Snap=960.00\r\nInitial Equity=1000.00\r\n"), std::string::npos)
      << File();
  EXPECT_EQ(File().rfind("; my account\r\n", 0), 0u);
  EXPECT_EQ(Notice(), "Unread settings kept in zentravo-unread-2011.07.13 09-39.ini");

  // The host starts the guard again while its decisions are still held from an unread file: a
  // start that can read it keeps it all the same, under the next free name.
  const std::string decided = File();
  TheDisk().readsRefusedUntil = TheDisk().now + 5000;
  Start(900);
  CloseAndRoll(970);
  TheDisk().now += 6000;
  Start(900);
  EXPECT_EQ(TheDisk().files["/terminal/MQL4/Libraries/zentravo-unread-2011.07.13 09-39-2.ini"],
            decided);
  EXPECT_NE(File().find("Equity Snap=970.00\r\n"), std::string::npos) << File();

  // The host's own values over an unread file (a restore, then a start) keep it whole too.
  const std::string restarted = File();
  TheDisk().readsRefusedUntil = TheDisk().now + 5000;
  Start(900);
  SetLastValues(1234, 1, 0, 1, 0);
  TheDisk().now += 6000;
  Start(900);
  EXPECT_EQ(TheDisk().files["/terminal/MQL4/Libraries/zentravo-unread-2011.07.13 09-39-3.ini"],
            restarted);
  EXPECT_NE(File().find("Equity Snap=1234.00\r\n"), std::string::npos) << File();
}

// The guard's state a restart must resume, and what the start keeps of the history before.
std::vector<double> StartedHistory() {
  const core::GuardState& g = core::guard;
  return {g.snapshot,       g.previousSnapshot, g.initialEquity,         g.periodDrawdown,
          g.lowestVsInitial, double(g.tpSet),   double(g.tpIndex),       double(g.ddSet),
          double(g.ddIndex), double(g.increaseIndex), double(g.stopLossIndex),
          g.reachedDrawdownTarget};
}

TEST_F(Seam, AStartThatCannotReadTheFileResumesItLateBeforeAnyDecision) {
  TheDisk().files[kSettings] = kStored;
  TheDisk().readsRefusedUntil = TheDisk().now + 3000;
  EXPECT_EQ(Start(900), 900.0);
  EXPECT_EQ(SetEquity(895, 10, 900, 0), ZT_NO_ACTION);  // still held: nothing decided
  // Let go: the next call takes the stored history as a start that could read it, and says so.
  TheDisk().now += 1500;
  EXPECT_EQ(GetEquitySnap(), 1250.5);
  EXPECT_EQ(Notice(), "Saved settings resumed late, once the file could be read");
  EXPECT_EQ(File(), kStored);
  const std::vector<double> late = StartedHistory();
  const int lateResult = SetEquity(1100, 10, 900, 0);

  SetUp();
  TheDisk().files[kSettings] = kStored;
  Start(900);
  EXPECT_EQ(late, StartedHistory());
  EXPECT_EQ(lateResult, SetEquity(1100, 10, 900, 0));
  EXPECT_EQ(lateResult, ZT_STOP_LOSS_HIT);  // 1250.50 less the second stop loss, 150
}

TEST_F(Seam, WaitsAreDeadlinesNotCountsOfPauses) {
  Start(1000);
  TheDisk().lockHeldUntil = kForGood;
  const std::uint64_t before = TheDisk().now;
  CloseAndRoll(1060);
  // The close-all's write waits its 20 ms (a pause may overrun by one tick); the roll's is a
  // retry of held writes and does not wait. Counted in pauses, 20 pauses of a 16 ms tick would be
  // 320 ms on the terminal's tick thread.
  EXPECT_LE(TheDisk().now - before, 20u + TheDisk().pauseMs);
  EXPECT_EQ(Notice(), "Settings pending: file locked");

  // Unloading gives the held writes one more try of at most 50 ms in all.
  const std::uint64_t unloading = TheDisk().now;
  boundary::OnLibraryUnload();
  EXPECT_GE(TheDisk().now - unloading, 50u);
  EXPECT_LE(TheDisk().now - unloading, 50u + TheDisk().pauseMs);
  EXPECT_EQ(File().find("1060.00"), std::string::npos) << File();
  TheDisk().lockHeldUntil = TheDisk().now + 30;  // let go within the try
  boundary::OnLibraryUnload();
  EXPECT_NE(File().find("Equity Snap=1060.00\r\n"), std::string::npos) << File();
}

TEST_F(Seam, AReplaceIsTriedAgainUntilItsDeadlineAndJudgedThere) {
  Start(1000);
  // Refused for good (an elevated program's file): told apart at the write's deadline, within
  // the call that wrote.
  TheDisk().replaceRefusedUntil = kForGood;
  TheDisk().deleteDenied = true;
  EXPECT_EQ(SetEquity(1060, 10, 900, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(core::guard.persistence.settings, core::SettingsTrouble::noPermission);
  TheDisk().replaceRefusedUntil = 0;
  SetTTC(100, 1060);
  ASSERT_FALSE(settings::WritesPending());

  // A sync tool reads the file just as the roll is written: two replaces are refused, the third,
  // a timer tick later, lands within the write's 20 ms.
  TheDisk().replacesRefused = 2;
  const std::uint64_t before = TheDisk().now;
  SetEquity(1060, 0, 0, 1);
  EXPECT_EQ(TheDisk().replacesRefused, 0);
  EXPECT_LE(TheDisk().now - before, 20u + TheDisk().pauseMs);
  EXPECT_FALSE(settings::WritesPending());
  EXPECT_NE(File().find("Equity Snap=1060.00\r\n"), std::string::npos) << File();
  EXPECT_EQ(Notice(), "Zentravo equity guard");
}

TEST_F(Seam, AReplaceRefusedForAMomentLandsLaterWithFreshNames) {
  Start(1000);
  // A virus scanner holds the settings file for 150 ms: the close-all's write waits 20 ms, then
  // is held; a later call puts it in place.
  TheDisk().replaceRefusedUntil = TheDisk().now + 150;
  EXPECT_EQ(SetEquity(1060, 10, 900, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(Notice(), "Settings pending: file locked");
  TheDisk().now += 200;
  SetTTC(100, 1060);
  EXPECT_NE(File().find("TPSet=0\r\n"), std::string::npos) << File();
  EXPECT_EQ(Notice(), "Zentravo equity guard");
  // Every attempt wrote a temporary file of its own name, and none is left.
  const std::vector<std::string>& names = TheDisk().temporaryNames;
  EXPECT_GE(names.size(), 3u);  // the start's, the refused one, the one that landed
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
  EXPECT_TRUE(testing::fake::FilesEndingWith(".tmp").empty());
}

TEST_F(Seam, AReplaceRefusedForGoodIsNamedAndLeavesNothingBehind) {
  TheDisk().files[kSettings] = kStored;
  Start(900);
  // The file was made by an elevated program: we may read it but never replace it; a scanner
  // holds the temporary file just written, so it cannot be removed at once either.
  TheDisk().replaceRefusedUntil = kForGood;
  TheDisk().deleteDenied = true;
  TheDisk().temporaryHeldUntil = TheDisk().now + 300;
  CloseAndRoll(1320);
  EXPECT_EQ(Notice(), "Settings not saved: no permission");
  EXPECT_EQ(File(), kStored);
  EXPECT_FALSE(testing::fake::FilesEndingWith(".tmp").empty());  // one per attempt
  // The trader mends the permissions: the next commit lands and clears what it can; what the
  // scanner still holds goes at a later commit.
  TheDisk().replaceRefusedUntil = 0;
  TheDisk().now += 200;
  GetEquitySnap();
  EXPECT_NE(File().find("Equity Snap=1320.00\r\n"), std::string::npos) << File();
  EXPECT_FALSE(testing::fake::FilesEndingWith(".tmp").empty());
  TheDisk().now += 200;
  SetEquity(1330, 0, 0, 1);
  EXPECT_TRUE(testing::fake::FilesEndingWith(".tmp").empty());
}

TEST_F(Seam, OnlyATakenNameMovesAStatisticsFileOn) {
  Start(1000);
  core::guard.cycleIndex = core::kCycleSlots - 1;
  TheDisk().newFiles = platform::FileProblem::failed;  // a full disk
  EXPECT_EQ(SetEquity(1060, 10, 900, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(TheDisk().newFileAttempts, 1);  // not a hundred names, each cut short
  EXPECT_TRUE(testing::fake::FilesEndingWith(".csv").empty());
  EXPECT_EQ(core::guard.persistence.statisticsUnwritten, true);

  // A name taken within the same minute: the next one.
  TheDisk().newFiles = platform::FileProblem::none;
  TheDisk().files["/terminal/MQL4/Libraries/zentravo-stat-2011.07.13 09-39.csv"] = "earlier";
  EXPECT_EQ(SetEquity(1070, 10, 900, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(testing::fake::FilesEndingWith("09-39-2.csv").size(), 1u);
}

}  // namespace
}  // namespace zt
