// Guard start: what InitZT settles from the file and the arguments, and what it resets.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "core/guard_state.h"
#include "boundary/test_hooks.h"
#include "test_support.h"
#include "zentravo.h"

namespace zt::engine {
namespace {

using namespace core;  // the state record, its sizes and the text writer

using testing::FreshGuard;
using testing::kJuly13;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

constexpr double kInf = std::numeric_limits<double>::infinity();

class GuardStartTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshGuard(folder); }
  double Start(double* initial, double equity, const char* tag = "tag") {
    return InitZT(7, tag, initial, equity, 12.5, 800, "50,30;80,60", "20,40;25,50", "1100,1200",
                  "100,150");
  }
  std::string Ini() const { return ReadFile(folder.File("zentravo.ini")); }
  TempFolder folder;
};

TEST_F(GuardStartTest, FirstStartInAnEmptyFolder) {
  double initial = 0.0;
  EXPECT_EQ(Start(&initial, 1000), 1000.0);
  EXPECT_EQ(initial, 1000.0);
  // The snapshot taken from the equity is stored, so a restart before any roll resumes it.
  EXPECT_EQ(Ini(), "[SNAP]\r\nEquity Snap=1000.00\r\nInitial Equity=1000.00\r\n");
  EXPECT_EQ(guard.snapshot, 1000.0);
  EXPECT_EQ(guard.previousSnapshot, 1000.0);
  EXPECT_EQ(guard.initialEquity, 1000.0);
  EXPECT_EQ(guard.lowestFreeMargin, 800.0);
  EXPECT_EQ(guard.margin, 12.5);
  EXPECT_EQ(guard.reachedDrawdownTarget, 20.0);
  EXPECT_EQ(guard.takeProfitTable[1][1], 60.0);
  EXPECT_EQ(guard.stopLosses[1], 150.0);
  EXPECT_EQ(guard.snapshotTime, kJuly13);
  EXPECT_EQ(guard.previousSnapshotTime, 0);
  EXPECT_STREQ(guard.hostTag, "tag");
}

TEST_F(GuardStartTest, ResumesTheStoredSnapshotAndPositions) {
  WriteFile(folder.File("zentravo.ini"),
            "[SNAP]\r\nEquity Snap=1250.50\r\nInitial Equity=4000.00\r\n"
            "[INDEX]\r\nTPSet=1\r\nDDSet=1\r\nTP=1\r\nDD=0\r\n");
  double initial = 0.0;
  EXPECT_EQ(Start(&initial, 900), 1250.5);
  EXPECT_EQ(initial, 4000.0);
  // The sets and positions as stored.
  EXPECT_EQ((std::array{guard.tpSet, guard.tpIndex, guard.ddSet}), (std::array{1, 1, 1}));
  EXPECT_EQ(guard.reachedDrawdownTarget, 25.0);
  EXPECT_EQ(guard.equity, 900.0);
  // The increase targets and stop losses start again from the first, whatever was reached.
  EXPECT_EQ(guard.increaseIndex, 0);
  EXPECT_EQ(guard.stopLossIndex, 0);
}

TEST_F(GuardStartTest, TheHostsInitialEquityWinsOverTheFile) {
  WriteFile(folder.File("zentravo.ini"), "[SNAP]\r\nInitial Equity=4000.00\r\n");
  double initial = 5000.0;
  Start(&initial, 1000);
  EXPECT_EQ(guard.initialEquity, 5000.0);
  EXPECT_NE(Ini().find("Initial Equity=5000.00"), std::string::npos) << Ini();
}

TEST_F(GuardStartTest, NoUsableEquityChangesNothingButTheTag) {
  for (double equity : {0.0, -3.0, kInf, std::numeric_limits<double>::quiet_NaN()}) {
    double initial = 77.0;
    EXPECT_EQ(Start(&initial, equity, "late"), 0.0) << equity;
    EXPECT_EQ(initial, 77.0);
    EXPECT_EQ(guard.snapshot, 0.0);
    EXPECT_STREQ(guard.hostTag, "late");
    EXPECT_FALSE(testing::FileExists(folder.File("zentravo.ini")));
  }
}

TEST_F(GuardStartTest, NonFiniteStoredValuesAreNotEquities) {
  WriteFile(folder.File("zentravo.ini"), "[SNAP]\r\nEquity Snap=inf\r\nInitial Equity=1e400\r\n");
  double initial = kInf;
  EXPECT_EQ(Start(&initial, 1000), 1000.0);
  EXPECT_EQ(guard.initialEquity, 1000.0);
  EXPECT_EQ(initial, 1000.0);
}

TEST_F(GuardStartTest, RestoredPositionsAreBroughtIntoTheirTables) {
  WriteFile(folder.File("zentravo.ini"),
            "[INDEX]\nTPSet=99\nTP=-5\nDDSet=2.7\nDD=40\nIncrease=12\nSL=5\n");
  double initial = 0.0;
  Start(&initial, 1000);
  EXPECT_EQ(guard.tpSet, 7);
  EXPECT_EQ(guard.tpIndex, 0);
  EXPECT_EQ(guard.ddSet, 2);
  EXPECT_EQ(guard.ddIndex, 31);
  EXPECT_EQ(guard.increaseIndex, 8);  // every increase target passed
  // Past the two stop losses the list holds: the last of them, never a stop loss of 0.
  EXPECT_EQ(guard.stopLossIndex, 1);
  EXPECT_EQ(CurrentStopLoss(), 150.0);
}

TEST_F(GuardStartTest, NullPointersFromTheHost) {
  EXPECT_EQ(InitZT(0, nullptr, nullptr, 1000, 0, 0, nullptr, nullptr, nullptr, nullptr), 1000.0);
  EXPECT_STREQ(guard.hostTag, "");
  EXPECT_EQ(guard.initialEquity, 1000.0);
  EXPECT_EQ(CurrentTakeProfit(), 0.0);
}

TEST_F(GuardStartTest, LongHostTagKeepsItsFirst19Characters) {
  double initial = 0.0;
  Start(&initial, 1000, "0123456789abcdefghijKLMN");
  EXPECT_STREQ(guard.hostTag, "0123456789abcdefghi");
}

TEST_F(GuardStartTest, ASecondStartKeepsTheHistoryItDoesNotReset) {
  double initial = 0.0;
  Start(&initial, 1000);
  SetEquity(960, 1, 700, 0);
  guard.closeDurationMs = 1500;
  guard.emailDrawdown = 33;
  test_hooks::FixClock(kJuly13 + 3600);
  initial = 0.0;
  Start(&initial, 1000);
  EXPECT_EQ(guard.lowestVsInitial, -40.0);
  EXPECT_EQ(guard.periodDrawdown, -40.0);
  EXPECT_EQ(guard.closeDurationMs, 1500);
  EXPECT_EQ(guard.emailDrawdown, 33.0);
  EXPECT_EQ(guard.lowestFreeMargin, 800.0);
  EXPECT_EQ(guard.periodDrawdownTime, kJuly13 + 3600);
  EXPECT_EQ(guard.cycleIndex, 0);
}

TEST_F(GuardStartTest, ResumedSetsAdvanceAgainFromTheFirstIncreaseTarget) {
  WriteFile(folder.File("zentravo.ini"), "[SNAP]\r\nEquity Snap=1000\r\n[INDEX]\r\nTPSet=2\r\n");
  double initial = 0.0;
  InitZT(0, "", &initial, 1000, 0, 0, "1;2;3;4", "", "1100", "");
  EXPECT_EQ(SetEquity(1100, 0, 0, 1), ZT_INCREASE_REACHED);
  EXPECT_EQ(guard.tpSet, 3);
}

TEST_F(GuardStartTest, WithoutASettingsPathNothingIsPersisted) {
  guard.settingsPath[0] = '\0';
  double initial = 0.0;
  EXPECT_EQ(Start(&initial, 1000), 1000.0);
  EXPECT_EQ(SetEquity(1100, 0, 0, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_FALSE(testing::FileExists(folder.File("zentravo.ini")));
}

TEST_F(GuardStartTest, AmountsWithTwoSignsAreNoAmounts) {
  for (const char* text : {"--5", "+-5", "-+5", "++5"}) {
    SCOPED_TRACE(text);
    FreshGuard(folder);
    WriteFile(folder.File("zentravo.ini"),
              std::string("[SNAP]\r\nEquity Snap=") + text + "\r\nInitial Equity=" + text + "\r\n");
    double initial = 0.0;
    EXPECT_EQ(Start(&initial, 1000), 1000.0);
    EXPECT_EQ(guard.initialEquity, 1000.0);
  }
}

// Row 7 of column 0 names the previous cycle once a roll has closed one; a new history has none.
TEST_F(GuardStartTest, ANewStartForgetsThePreviousCycleOfTheDashboard) {
  const auto row7 = [] {
    testing::HostBuffer buffer;
    GetValue(7, 0, buffer.data());
    return buffer.Text();
  };
  double initial = 0.0;
  Start(&initial, 1000);
  SetEquity(960, 1, 700, 0);
  SetEquity(990, 0, 0, 1);
  ASSERT_NE(row7(), "- / -");
  Start(&initial, 1000);
  EXPECT_EQ(row7(), "- / -") << "a second InitZT";

  SetEquity(960, 1, 700, 0);
  SetEquity(990, 0, 0, 1);
  ASSERT_NE(row7(), "- / -");
  FreshGuard(folder, kJuly13 + 60);  // the terminal restarted: a new load of the library
  Start(&initial, 1000);
  EXPECT_EQ(row7(), "- / -") << "a restart";
}

// A settings file the store cannot read (here UTF-16, as a text editor may save it) gives a
// start from the host's equity, and none of the defaults that start used may reach the file: once
// it is readable again, the next start resumes the history it holds.
TEST_F(GuardStartTest, AFileThatCannotBeReadKeepsItsHistory) {
  const std::string path = folder.File("zentravo.ini");
  const std::string utf16("\xFF\xFE[\0S\0N\0A\0P\0]\0", 14);
  WriteFile(path, utf16);
  double initial = 0.0;
  EXPECT_EQ(Start(&initial, 1000), 1000.0);
  EXPECT_EQ(initial, 1000.0);
  EXPECT_EQ(guard.persistence.startRead, SettingsTrouble::foreignText);
  WriteFile(path, "[SNAP]\r\nEquity Snap=1500.00\r\nInitial Equity=1200.00\r\n");
  GetEquitySnap();  // any held write would land now
  EXPECT_EQ(Ini(), "[SNAP]\r\nEquity Snap=1500.00\r\nInitial Equity=1200.00\r\n");
  initial = 0.0;
  EXPECT_EQ(Start(&initial, 1000), 1500.0);
  EXPECT_EQ(initial, 1200.0);
  EXPECT_EQ(guard.persistence.startRead, SettingsTrouble::none);
}

TEST_F(GuardStartTest, AStartThatRefusesReadsNoWindowTitles) {
  const auto subject = [] {
    testing::HostBuffer buffer;
    GetEmailSubject(0, buffer.data());
    return buffer.Text();
  };
  SetWindowTitles(7, "EURUSD,H1", "1: First-Server - Demo");
  double initial = 0.0;
  Start(&initial, 1000);
  const std::string before = subject();
  ASSERT_NE(before.find("# 1,  First-Server"), std::string::npos) << before;

  SetWindowTitles(7, "GBPJPY,M5", "2: Second-Server - Live");
  // With no stored snapshot, a zero equity argument cannot start the guard.
  WriteFile(folder.File("zentravo.ini"), "[SNAP]\r\nEquity Snap=0\r\n");
  EXPECT_EQ(Start(&initial, 0), 0.0);
  EXPECT_EQ(subject(), before);
  EXPECT_STREQ(guard.symbol, "EURUSD");
}

}  // namespace
}  // namespace zt::engine
