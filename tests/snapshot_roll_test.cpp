// Snapshot mode: the new snapshot, the increase targets and the set advance, the cycle reset.
#include <gtest/gtest.h>

#include <string>

#include "core/guard_state.h"
#include "boundary/test_hooks.h"
#include "test_support.h"
#include "zentravo.h"

namespace zt::engine {
namespace {

using namespace core;  // the state record, its sizes and the text writer

using testing::FreshGuard, testing::kJuly13, testing::TempFolder;

class SnapshotRollTest : public ::testing::Test {
 protected:
  void Start(const char* takeProfits, const char* drawdowns, const char* increases,
             const char* stopLosses) {
    FreshGuard(folder);
    double initial = 0.0;
    ASSERT_GT(InitZT(0, "", &initial, 1000, 0, 1000, takeProfits, drawdowns, increases, stopLosses), 0.0);
  }
  int Roll(double equity) { return SetEquity(equity, 0, 0, 1); }
  std::string Ini() const { return testing::ReadFile(folder.File("zentravo.ini")); }
  TempFolder folder;
};

TEST_F(SnapshotRollTest, TakesTheNewSnapshotAndOpensTheNextCycle) {
  Start("50,30", "20,40", "1100,1200", "100,150");
  test_hooks::FixClock(kJuly13 + 100);
  SetEquity(978, 0, 0, 0);  // a drawdown step: positions 1/1, period drawdown -22
  test_hooks::FixClock(kJuly13 + 200);
  EXPECT_EQ(Roll(1030.5), ZT_NO_ACTION);
  EXPECT_EQ(guard.snapshot, 1030.5);
  EXPECT_EQ(guard.previousSnapshot, 1000.0);
  EXPECT_EQ(guard.snapshotTime, kJuly13 + 200);
  EXPECT_EQ(guard.previousSnapshotTime, kJuly13);
  EXPECT_EQ(guard.tpIndex, 0);
  EXPECT_EQ(guard.ddIndex, 0);
  EXPECT_EQ(guard.previousPeriodDrawdown, -22.0);
  EXPECT_EQ(guard.previousPeriodDrawdownTime, kJuly13 + 100);
  EXPECT_EQ(guard.periodDrawdown, 0.0);
  EXPECT_EQ(guard.periodDrawdownTime, kJuly13 + 200);
  EXPECT_EQ(guard.cycleIndex, 1);
  // The snapshot and the zeroed positions are persisted, with no increase target passed too.
  EXPECT_NE(Ini().find("Equity Snap=1030.50\r\n"), std::string::npos) << Ini();
  EXPECT_NE(Ini().find("TP=0\r\nDD=0\r\n"), std::string::npos) << Ini();
}

TEST_F(SnapshotRollTest, IncreaseTargetsAdvanceOneSetPerRoll) {
  Start("50;60;70", "20;25", "1100,1200,1300", "100,150,175");
  EXPECT_EQ(Roll(1099.99), ZT_NO_ACTION);
  EXPECT_EQ(Roll(1250), ZT_INCREASE_REACHED);  // passes 1100 only, though 1200 lies below too
  EXPECT_EQ(guard.increaseIndex, 1);
  EXPECT_EQ(guard.tpSet, 1);
  EXPECT_EQ(guard.ddSet, 1);
  EXPECT_EQ(guard.stopLossIndex, 1);
  EXPECT_NE(Ini().find("[INDEX]\r\nTPSet=1\r\nDDSet=1\r\nTP=0\r\nDD=0\r\n"), std::string::npos) << Ini();
  EXPECT_EQ(Roll(1200), ZT_INCREASE_REACHED);  // exactly at the target
  EXPECT_EQ(guard.tpSet, 2);
  EXPECT_EQ(guard.ddSet, 1);  // no drawdown set 2: stays
  EXPECT_EQ(guard.stopLossIndex, 2);
  EXPECT_EQ(Roll(1300), ZT_INCREASE_REACHED);
  EXPECT_EQ(guard.tpSet, 2);  // no set 3
  EXPECT_EQ(guard.stopLossIndex, 2);
  EXPECT_EQ(guard.increaseIndex, 3);
  EXPECT_EQ(Roll(5000), ZT_NO_ACTION);  // all increase targets passed
}

TEST_F(SnapshotRollTest, EveryIncreaseTargetAndEverySetCanBeWalked) {
  Start("1;2;3;4;5;6;7;8", "1;2;3;4;5;6;7;8", "1001,1002,1003,1004,1005,1006,1007,1008",
        "1,2,3,4,5,6,7,8");
  for (int target = 1; target <= 8; ++target) {
    ASSERT_EQ(Roll(1000.0 + target), ZT_INCREASE_REACHED) << target;
  }
  EXPECT_EQ(guard.increaseIndex, 8);
  EXPECT_EQ(guard.tpSet, 7);
  EXPECT_EQ(guard.ddSet, 7);
  EXPECT_EQ(guard.stopLossIndex, 7);
  EXPECT_EQ(Roll(2000), ZT_NO_ACTION);
  EXPECT_EQ(guard.tpSet, 7);
}

TEST_F(SnapshotRollTest, EmptyIncreaseListOnlyRollsTheCycle) {
  Start("50", "20", "", "100");
  for (int roll = 0; roll < 3; ++roll) EXPECT_EQ(Roll(2000.0 + roll), ZT_NO_ACTION);
  EXPECT_EQ(guard.tpSet, 0);
  EXPECT_EQ(guard.cycleIndex, 3);
  // Two rolls in a row: the second sees no drawdown and the first's equity as previous.
  EXPECT_EQ(guard.previousPeriodDrawdown, 0.0);
  EXPECT_EQ(guard.previousSnapshot, 2001.0);
}

TEST_F(SnapshotRollTest, CycleIndexWrapsAfterTheLastSlot) {
  Start("50", "20", "", "100");
  for (int roll = 1; roll <= 511; ++roll) Roll(1000);
  EXPECT_EQ(guard.cycleIndex, 511);
  Roll(1000);
  EXPECT_EQ(guard.cycleIndex, 0);
}

}  // namespace
}  // namespace zt::engine
