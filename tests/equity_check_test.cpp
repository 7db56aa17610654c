// Monitoring mode: decisions, their order, the drawdown steps and the running extremes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <limits>

#include "engine/equity_check.h"
#include "core/guard_state.h"
#include "boundary/test_hooks.h"
#include "test_support.h"
#include "zentravo.h"

namespace zt::engine {
namespace {

using namespace core;  // the state record, its sizes and the text writer

using testing::FreshGuard;
using testing::kJuly13;
using testing::TempFolder;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class EquityCheckTest : public ::testing::Test {
 protected:
  void Start(const char* takeProfits, const char* drawdowns, const char* increases,
             const char* stopLosses, double equity = 1000.0) {
    FreshGuard(folder);
    double initial = 0.0;
    ASSERT_EQ(InitZT(0, "t", &initial, equity, 0.0, equity, takeProfits, drawdowns, increases,
                     stopLosses),
              equity);
  }
  int Tick(double equity, double margin = 10.0, double freeMargin = 900.0) {
    return SetEquity(equity, margin, freeMargin, 0);
  }
  TempFolder folder;
};

struct DecisionCase {
  const char* what;
  const char* takeProfits;
  const char* drawdowns;
  const char* stopLosses;
  double equity;
  int expected;
};

class EquityCheckDecision : public EquityCheckTest,
                            public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(EquityCheckDecision, AnswersAsTheLevelsSay) {
  const DecisionCase& c = GetParam();
  Start(c.takeProfits, c.drawdowns, "", c.stopLosses);
  EXPECT_EQ(Tick(c.equity), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Levels, EquityCheckDecision,
    ::testing::Values(
        DecisionCase{"inside all levels", "50", "20,40", "100", 990, ZT_NO_ACTION},
        DecisionCase{"exactly at the stop loss", "50", "20,40", "100", 900, ZT_STOP_LOSS_HIT},
        DecisionCase{"below the stop loss", "50", "20,40", "100", 850, ZT_STOP_LOSS_HIT},
        DecisionCase{"exactly at the take profit", "50", "20,40", "100", 1050, ZT_TAKE_PROFIT_HIT},
        DecisionCase{"exactly at the drawdown target", "50", "20,40", "100", 980, ZT_DRAWDOWN_STEP},
        DecisionCase{"no stop loss: at the snapshot", "50", "20,40", "", 1000, ZT_STOP_LOSS_HIT},
        DecisionCase{"no stop loss: just above", "50", "20,40", "", 1000.01, ZT_NO_ACTION},
        DecisionCase{"no take profit: at the snapshot", "", "20,40", "100", 1000, ZT_TAKE_PROFIT_HIT},
        DecisionCase{"neither: stop loss wins", "", "", "", 1000, ZT_STOP_LOSS_HIT},
        DecisionCase{"both crossed: stop loss first", "0", "", "1", 999, ZT_STOP_LOSS_HIT}));

TEST_F(EquityCheckTest, NonUsableEquitiesChangeNothing) {
  Start("50", "20,40", "", "100");
  Tick(990, 5, 800);
  const GuardState before = guard;
  for (double equity : {0.0, -5.0, kNaN, kInf, -kInf}) {
    EXPECT_EQ(Tick(equity, 1, 1), ZT_NO_ACTION) << equity;
    EXPECT_EQ(SetEquity(equity, 1, 1, 1), ZT_NO_ACTION) << equity;
  }
  EXPECT_EQ(std::memcmp(&before, &guard, sizeof guard), 0);
}

TEST_F(EquityCheckTest, DrawdownStepAdvancesTargetAndTakeProfitTogether) {
  Start("50,30", "20,40", "", "100");
  EXPECT_EQ(Tick(978), ZT_DRAWDOWN_STEP);
  EXPECT_EQ(guard.ddIndex, 1);
  EXPECT_EQ(guard.tpIndex, 1);
  EXPECT_EQ(guard.reachedDrawdownTarget, 20.0);
  const std::string ini = testing::ReadFile(folder.File("zentravo.ini"));
  EXPECT_NE(ini.find("[INDEX]\r\nTPSet=0\r\nDDSet=0\r\nTP=1\r\nDD=1\r\n"), std::string::npos) << ini;
  // At the last drawdown target of the set the guard waits: no step, no index change.
  EXPECT_EQ(Tick(950), ZT_NO_ACTION);
  EXPECT_EQ(Tick(940), ZT_NO_ACTION);
  EXPECT_EQ(guard.ddIndex, 1);
  EXPECT_EQ(guard.reachedDrawdownTarget, 20.0);
  EXPECT_EQ(guard.periodDrawdown, -60.0);  // the extremes still move
}

TEST_F(EquityCheckTest, DrawdownStepAtTheLastTakeProfitKeepsItsPosition) {
  Start("50", "20,40,60", "", "100");
  EXPECT_EQ(Tick(980), ZT_DRAWDOWN_STEP);
  EXPECT_EQ(guard.tpIndex, 0);
  EXPECT_EQ(guard.ddIndex, 1);
  EXPECT_EQ(Tick(960), ZT_DRAWDOWN_STEP);
  EXPECT_EQ(guard.ddIndex, 2);
}

TEST_F(EquityCheckTest, DrawdownStepsEndAtTheTablesLastPosition) {
  std::string drawdowns;
  for (int i = 1; i <= 32; ++i) drawdowns += std::to_string(i) + ",";
  Start("", drawdowns.c_str(), "", "1000");
  for (int step = 1; step <= 31; ++step) ASSERT_EQ(Tick(1000.0 - step), ZT_DRAWDOWN_STEP) << step;
  EXPECT_EQ(guard.ddIndex, 31);
  EXPECT_EQ(Tick(900), ZT_NO_ACTION);  // position 32 is past the table: no target there
  EXPECT_EQ(guard.ddIndex, 31);
}

TEST_F(EquityCheckTest, CloseAllKeepsPositionsAndRecordsTheCycle) {
  Start("50,30", "20,40", "", "100");
  Tick(978);  // step: tp 1, dd 1
  EXPECT_EQ(Tick(1031, 42.5), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(guard.tpIndex, 1);
  EXPECT_EQ(guard.ddIndex, 1);
  EXPECT_EQ(guard.reachedDrawdownTarget, 40.0);
  EXPECT_EQ(guard.marginAtClose[0], 42.5);
  EXPECT_EQ(guard.drawdownAtClose[0], -22.0);
}

TEST_F(EquityCheckTest, ExtremesMoveOnlyDownwardsAndTakeTheTimeWhenTheyDo) {
  Start("500", "200", "", "500");
  test_hooks::FixClock(kJuly13 + 60);
  Tick(990, 10, 800);
  EXPECT_EQ(guard.periodDrawdown, -10.0);
  EXPECT_EQ(guard.lowestVsInitial, -10.0);
  EXPECT_EQ(guard.lowestFreeMargin, 800.0);
  EXPECT_EQ(guard.periodDrawdownTime, kJuly13 + 60);
  test_hooks::FixClock(kJuly13 + 120);
  Tick(995, 10, 850);  // nothing lower: times stay
  EXPECT_EQ(guard.periodDrawdownTime, kJuly13 + 60);
  EXPECT_EQ(guard.lowestFreeMarginTime, kJuly13 + 60);
  Tick(990, 10, 800);  // equal is not lower
  EXPECT_EQ(guard.periodDrawdownTime, kJuly13 + 60);
  Tick(985, 10, 700);
  EXPECT_EQ(guard.periodDrawdown, -15.0);
  EXPECT_EQ(guard.lowestFreeMargin, 700.0);
  EXPECT_EQ(guard.lowestVsInitialTime, kJuly13 + 120);
  EXPECT_EQ(guard.margin, 10.0);
  EXPECT_EQ(guard.freeMargin, 700.0);
}

TEST(EquityCheckBeforeStart, EveryPositiveEquityHitsTheTakeProfitAndWritesIndices) {
  TempFolder folder;
  FreshGuard(folder);
  EXPECT_EQ(SetEquity(500, 1, 1, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(testing::ReadFile(folder.File("zentravo.ini")),
            "[INDEX]\r\nTPSet=0\r\nDDSet=0\r\nTP=0\r\nDD=0\r\nIncrease=0\r\nSL=0\r\n");
}

}  // namespace
}  // namespace zt::engine
