// The 32-bit expert advisor keeping the account's books across what a terminal does to them:
// another account, deposits and withdrawals, the history tab's period and credit, restarts, a
// memory the disk refuses and a settings file restored from a backup.
#include "guard_mq4.h"

namespace guard_mq4 {
namespace {

// Logged into another account, the guard must not resume the old account's snapshot: at 5000
// the old snapshot of 1000 would be a take profit and close every trade on the new account. Nor
// does it start over by itself: it holds until the trader says so, then bases on this equity.
TEST_F(Mq4Guard, AnotherAccountHoldsUntilTheTraderStartsOver) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ea.OnDeinit(kReasonAccount);  // the same account again: nothing changes
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.callsOf("InitZT"), 1);

  ea.OnDeinit(kReasonAccount);
  term.login = 777001;
  term.fund(5000.0);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_NE(
      state().find("holding: account 777001@Broker-Demo is new to the guard, which last guarded "
                   "123456@Broker-Demo"),
      std::string::npos)
      << state();
  ea.OnTick();
  EXPECT_EQ(term.orders.size(), 1u);
  EXPECT_TRUE(term.trades.empty());
  ea.OnDeinit(kReasonParameters);
  ea.StartOver = true;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(alerted("started over on the present equity 5000.00 as asked (StartOver)"));
  EXPECT_DOUBLE_EQ(snapshot(), 5000.0);
  EXPECT_DOUBLE_EQ(ea.gInitialEquity, 5000.0);
  EXPECT_EQ(state(), "Guard: running");
}

// A deposit of 500 on 1000 would read as a take profit (1050) and a withdrawal of 200 as a
// stop loss (900); neither is a trading result. The starting point survives an EA restart.
TEST_F(Mq4Guard, DepositsAndWithdrawalsAreNotProfitOrLoss) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  term.balanceOperation(500.0);
  ea.OnTick();
  term.balanceOperation(-200.0);
  ea.OnTick();
  EXPECT_EQ(term.orders.size(), 1u);

  ea.OnDeinit(mql::REASON_REMOVE);
  ea_mq4::Program restarted;
  expectOnlyARealLossCloses(restarted);
}

// What the EA must remember survives a terminal that crashed: the globals it set since the last
// flush are gone, yet a withdrawal made before the crash still reads as no loss after it.
TEST_F(Mq4Guard, ARestartAfterAWithdrawalWithTheGlobalsLostClosesNothing) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  term.balanceOperation(-200.0);
  ea.OnTick();
  term.crash();
  ea_mq4::Program restarted;
  expectOnlyARealLossCloses(restarted);
}

// The Account History tab's period decides what the terminal loads: narrowing it hides the first
// deposit, widening it shows it again, and the broker's credit comes and goes. None is a result.
TEST_F(Mq4Guard, TheHistoryTabsPeriodAndCreditMoveNoTarget) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  timer(3600 * 1000);
  term.historyFrom = term.now();  // "Last month": the deposit falls out of the tab
  timer();
  term.historyFrom = 0;  // "All History" again
  timer();
  term.balanceOperation(500.0, mql::BOOK_CREDIT);
  timer();
  term.balanceOperation(-500.0, mql::BOOK_CREDIT);
  timer();
  EXPECT_EQ(term.orders.size(), 1u);
  EXPECT_TRUE(term.trades.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
}

// A VPS reboot between two passes of a close, one market closed for the weekend: the restarted
// EA finishes the close before it monitors again (although the open trade alone no longer
// reaches a stop loss), and the cycle is reported once.
TEST_F(Mq4Guard, ARestartInTheMiddleOfACloseFinishesItAndReportsTheCycleOnce) {
  term.quotes["USDJPY"] = {150.000, 150.012, 0.001, 3};
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -80.0);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -40.0);
  term.closedMarkets = {"USDJPY"};
  ea.OnTick();  // 880: the stop loss; EURUSD closes, USDJPY cannot
  ASSERT_EQ(term.orders.size(), 1u);
  term.restart(ea);
  ea_mq4::Program restarted;
  ASSERT_EQ(restarted.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(alerted("a close-all was under way when the EA stopped"));
  term.orders[0].profit = -10.0;
  term.tickCount += 60000;
  restarted.OnTimer();
  EXPECT_EQ(state(), "Guard: CLOSING - blocked: market closed (132) for USDJPY");
  term.closedMarkets.clear();  // Monday's open
  term.tickCount += 250;
  restarted.OnTimer();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_EQ(term.callsOf("SetTTC"), 1);
  EXPECT_DOUBLE_EQ(snapshot(), 910.0);
  EXPECT_EQ(std::count_if(term.alerts.begin(), term.alerts.end(),
                          [](const std::string& a) { return a.find("910") != std::string::npos; }),
            1);
  EXPECT_EQ(state(), "Guard: running");
}

// A memory the disk refuses is said once; the old memory stays whole (never half written), and
// the next write that goes through replaces it.
TEST_F(Mq4Guard, AMemoryTheDiskRefusesIsSaidOnceAndTheOldOneStays) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  term.filesWritable = false;
  term.balanceOperation(-200.0);
  timer();
  term.balanceOperation(-100.0);
  timer();
  EXPECT_EQ(std::count_if(term.alerts.begin(), term.alerts.end(),
                          [](const std::string& a) {
                            return a.find("cannot write its memory file") != std::string::npos;
                          }),
            1);
  std::ifstream memory(term.filesFolder() + "/ZentravoGuard/123456@Broker-Demo.state");
  const std::string kept((std::istreambuf_iterator<char>(memory)), {});
  EXPECT_NE(kept.find("ops_since=0.00\r\n"), std::string::npos) << kept;
  EXPECT_NE(kept.find("end=1"), std::string::npos);
  term.filesWritable = true;
  term.balanceOperation(-50.0);
  timer();
  term.crash();
  ea_mq4::Program restarted;
  ASSERT_EQ(restarted.OnInit(), mql::INIT_SUCCEEDED);
  restarted.OnTick();
  EXPECT_EQ(state(), "Guard: running");
  EXPECT_EQ(term.orders.size(), 1u);
}

// A settings file restored from a backup brings back an old snapshot (1000) the EA no longer
// knows (890): judging the equity against it could close every trade, so the EA holds.
TEST_F(Mq4Guard, ARestoredSettingsFileIsHeldNotJudged) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  const std::string ini = term.dataFolder + "/MQL4/Libraries/zentravo.ini";
  std::filesystem::copy_file(ini, ini + ".backup");
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  ea.OnTick();
  ASSERT_DOUBLE_EQ(snapshot(), 890.0);
  term.restart(ea);
  std::filesystem::copy_file(ini + ".backup", ini,
                             std::filesystem::copy_options::overwrite_existing);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  ea_mq4::Program restarted;
  ASSERT_EQ(restarted.OnInit(), mql::INIT_SUCCEEDED);
  restarted.OnTick();
  EXPECT_EQ(term.orders.size(), 1u);
  EXPECT_NE(state().find("holding: the library's settings file holds the snapshot 1000.00, the EA "
                         "last saw 890.00"),
            std::string::npos)
      << state();
}

}  // namespace
}  // namespace guard_mq4
