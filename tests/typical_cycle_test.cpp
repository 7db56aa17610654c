// The typical cycle a host runs, end to end through the exported operations, with its numbers.
#include <gtest/gtest.h>

#include <string>

#include "boundary/test_hooks.h"
#include "core/guard_state.h"
#include "test_support.h"
#include "zentravo.h"

namespace zt {
namespace {

TEST(TypicalCycle, StartStepCloseAndRoll) {
  testing::TempFolder folder;
  testing::FreshGuard(folder);
  const core::GuardState& g = core::guard;

  double initial = 0.0;
  ASSERT_EQ(InitZT(1, "demo", &initial, 1000, 0, 1000, "50,30;80,60", "20,40;25,50", "1100,1200",
                   "100,150"),
            1000.0);
  EXPECT_EQ(initial, 1000.0);
  EXPECT_EQ(g.snapshot - core::CurrentStopLoss(), 900.0);
  EXPECT_EQ(g.snapshot + core::CurrentTakeProfit(), 1050.0);
  EXPECT_EQ(g.snapshot - core::CurrentDrawdownTarget(), 980.0);

  EXPECT_EQ(SetEquity(985, 5, 990, 0), ZT_NO_ACTION);
  EXPECT_EQ(g.periodDrawdown, -15.0);
  EXPECT_EQ(SetEquity(978, 5, 990, 0), ZT_DRAWDOWN_STEP);
  EXPECT_EQ(g.periodDrawdown, -22.0);
  EXPECT_EQ(core::CurrentDrawdownTarget(), 40.0);
  EXPECT_EQ(core::CurrentTakeProfit(), 30.0);
  EXPECT_EQ(SetEquity(1031, 7.5, 990, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(g.marginAtClose[0], 7.5);
  EXPECT_EQ(g.drawdownAtClose[0], -22.0);

  EXPECT_EQ(SetTTC(1500, 1030.5), 1500);
  EXPECT_EQ(SetEquity(1030.5, 0, 0, 1), ZT_NO_ACTION);
  EXPECT_EQ(GetEquitySnap(), 1030.5);
  int tpSet = -1, tpIndex = -1, ddSet = -1, ddIndex = -1;
  GetIndex(&tpSet, &tpIndex, &ddSet, &ddIndex);
  EXPECT_EQ(tpSet + tpIndex + ddSet + ddIndex, 0);
  EXPECT_EQ(g.previousPeriodDrawdown, -22.0);
  EXPECT_EQ(g.periodDrawdown, 0.0);
  EXPECT_EQ(g.cycleIndex, 1);
  EXPECT_NE(testing::ReadFile(folder.File("zentravo.ini")).find("Equity Snap=1030.50"), std::string::npos);

  // A later roll at 1100 reaches the first increase target: set 1 and the stop loss of 150.
  EXPECT_EQ(SetEquity(1080.5, 0, 1000, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(SetEquity(1100, 0, 0, 1), ZT_INCREASE_REACHED);
  EXPECT_EQ(g.tpSet, 1);
  EXPECT_EQ(g.ddSet, 1);
  EXPECT_EQ(core::CurrentStopLoss(), 150.0);

  // A restarted host resumes the snapshot and positions from the file.
  test_hooks::ResetGuard();
  testing::FreshGuard(folder);
  initial = 0.0;
  EXPECT_EQ(InitZT(1, "demo", &initial, 50, 0, 50, "50,30;80,60", "20,40;25,50", "1100,1200",
                   "100,150"),
            1100.0);
  EXPECT_EQ(initial, 1000.0);
  EXPECT_EQ(g.tpSet, 1);
  EXPECT_EQ(g.ddSet, 1);
  EXPECT_EQ(core::CurrentStopLoss(), 150.0);  // the stop loss reached, and
  EXPECT_EQ(g.increaseIndex, 1);              // the increase target passed, are resumed too
}

}  // namespace
}  // namespace zt
