// The 32-bit expert advisor closing the account: refusals, trading taken away, a busy trade
// context, FIFO, slippage, requotes and trades opened during the close.
#include "guard_mq4.h"

namespace guard_mq4 {
namespace {

// Closes refused three times: no report, no roll and no monitoring call until the account is
// flat; then one alert, the time from the first attempt, and the roll onto the flat equity.
TEST_F(Mq4Guard, CloseRefusedThenAllowedIsReportedOnlyWhenFlat) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.openOrder("EURUSD", mql::OP_SELL, 1.0, -50.0);
  term.closeErrors = {mql::ERR_REQUOTE, mql::ERR_REQUOTE, mql::ERR_REQUOTE};
  ea.OnTick();  // 890: stop loss
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(term.orders.empty());
    EXPECT_TRUE(term.alerts.empty());
    EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
    EXPECT_EQ(state(), "Guard: CLOSING all trades");
    timer();
  }
  EXPECT_TRUE(term.orders.empty());
  EXPECT_EQ(term.callsOf("SetEquity"), 2);  // the stop-loss check and the snapshot roll
  EXPECT_EQ(term.callsOf("SetTTC"), 1);
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_NE(term.alerts[0].find("890"), std::string::npos) << term.alerts[0];
  EXPECT_DOUBLE_EQ(snapshot(), 890.0);
  EXPECT_EQ(state(), "Guard: running");
}

// Live trading taken away from the EA during a close: it cannot protect the account and says so,
// with the close-all it owes, at once and every minute, until trading is allowed again and the
// close goes through.
TEST_F(Mq4Guard, TradingDisabledDuringACloseSaysNotProtectingAtAnInterval) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  term.tradeAllowed = false;
  ea.OnTick();
  EXPECT_EQ(
      state(),
      "Guard: NOT PROTECTING - stop loss reached - close-all pending: live trading is not allowed "
      "for the EA (its Common tab)");
  EXPECT_EQ(term.alerts.size(), 1u);
  timer(30000);
  EXPECT_EQ(term.alerts.size(), 1u);
  timer(30000);  // a minute after the first
  EXPECT_EQ(term.alerts.size(), 2u);
  EXPECT_TRUE(alerted(
      "NOT PROTECTING: stop loss reached - close-all pending: live trading is not allowed"));
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  EXPECT_EQ(term.orders.size(), 1u);
  term.tradeAllowed = true;
  timer();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 890.0);
  EXPECT_EQ(state(), "Guard: running");
}

// AutoTrading off when the EA starts: found at once, not when the stop loss hits; told by alert,
// e-mail and push, again every minute, and the panel never says "running" meanwhile.
TEST_F(Mq4Guard, AutoTradingOffAtTheStartIsSaidAtOnceOnEveryChannel) {
  ea.PushNotifications = true;
  term.autoTrading = false;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(state(), "Guard: NOT PROTECTING - AutoTrading is off in the terminal");
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_EQ(term.mails.size(), 1u);
  EXPECT_EQ(term.pushes.size(), 1u);
  for (int event = 0; event < 240; ++event) timer();  // a minute
  EXPECT_EQ(term.alerts.size(), 2u);
  EXPECT_EQ(term.pushes.size(), 2u);
  term.autoTrading = true;
  timer();
  EXPECT_EQ(state(), "Guard: running");
  EXPECT_TRUE(alerted("protecting again"));
}

// Another EA holding the terminal's one trade thread is no "trading is disabled": the close tries
// again and goes through once the thread is free.
TEST_F(Mq4Guard, ABusyTradeContextIsWaitedOutNotReportedAsDisabled) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  term.contextBusy = true;
  ea.OnTick();
  timer();
  EXPECT_EQ(state(), "Guard: CLOSING all trades");
  EXPECT_TRUE(term.alerts.empty());
  term.contextBusy = false;
  timer();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 890.0);
}

TEST_F(Mq4Guard, FifoAccountClosesOldestFirstInOnePass) {
  term.fifo = true;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -50.0);
  ea.OnTick();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_EQ(errorsOf(mql::ERR_TRADE_PROHIBITED_BY_FIFO), 0);
  ASSERT_EQ(term.trades.size(), 2u);
  EXPECT_LT(term.trades[0].ticket, term.trades[1].ticket);
}

// Slippage is given in pips: on 5-digit quotes one pip is 10 points, so a half-pip move is
// accepted by the default and refused by 0.3 pips (3 points).
// A close accepts slippage in points of the symbol: by default about 0.03 % of the price (33
// points on EURUSD at 1.1, 60 on gold at 2000, where one point is a cent), or as set.
TEST_F(Mq4Guard, SlippageFollowsThePriceOrTheSetting) {
  term.priceJump = 0.00005;
  term.quotes["XAUUSD"] = {2000.00, 2000.30, 0.01, 2};
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.openOrder("XAUUSD", mql::OP_BUY, 1.0, -50.0);
  ea.OnTick();
  EXPECT_TRUE(term.orders.empty());
  ASSERT_EQ(term.trades.size(), 2u);
  EXPECT_EQ(term.trades[0].slippage, 33);
  EXPECT_EQ(term.trades[1].slippage, 60);

  mql::Terminal tight{ZT_LIBRARY_FILE};
  ea_mq4::Program narrow;
  narrow.SlippagePoints = 3;
  tight.fund(1000.0);
  tight.priceJump = 0.00005;
  ASSERT_EQ(narrow.OnInit(), mql::INIT_SUCCEEDED);
  tight.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  narrow.OnTick();
  EXPECT_EQ(tight.orders.size(), 1u);
  EXPECT_EQ(tight.trades.at(0).error, mql::ERR_REQUOTE);
}

// Whatever the terminal answers, the trader learns it: the refusal's meaning and number at once,
// or, for a refusal the next try usually overcomes (a requote), once it has lasted the interval.
TEST_F(Mq4Guard, EveryRefusalIsNamedWithItsNumberAndMeaning) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  term.closeErrors = {131, 4112, 5555};
  ea.OnTick();
  timer();
  timer();
  ASSERT_EQ(term.alerts.size(), 1u);  // named at once, then again only after the interval
  EXPECT_NE(term.alerts[0].find("invalid volume (131) for EURUSD"), std::string::npos)
      << term.alerts[0];
  EXPECT_EQ(state(),
            "Guard: CLOSING - blocked: refused, code unknown to the guard (5555) for EURUSD");
  timer(60000);
  EXPECT_TRUE(term.orders.empty());
}

TEST_F(Mq4Guard, ARequoteStormOnGoldIsRiddenOutAndNamedOnlyWhenItLasts) {
  term.quotes["XAUUSD"] = {2000.00, 2000.30, 0.01, 2};
  term.priceJump = 0.25;  // gold moves 25 cents between the quote and the close
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("XAUUSD", mql::OP_BUY, 1.0, -110.0);
  ea.OnTick();
  EXPECT_TRUE(term.orders.empty()) << "a slippage of a few points would be requoted for ever";

  term.openOrder("XAUUSD", mql::OP_BUY, 1.0, -110.0);
  term.closeErrors = std::deque<int>(300, mql::ERR_REQUOTE);
  ea.OnTick();
  for (int event = 0; event < 200; ++event) timer();  // 50 s of requotes
  EXPECT_EQ(state(), "Guard: CLOSING all trades");
  EXPECT_FALSE(alerted("cannot close"));
  for (int event = 0; event < 60; ++event) timer();  // past a minute
  EXPECT_TRUE(alerted("requote (138) for XAUUSD"));
}

// Flat means flat, as on the 64-bit terminal: a trade another EA opens during the pass and a kept
// stop order that fills are closed too before the snapshot rolls.
TEST_F(Mq4Guard, TradesOpenedDuringTheCloseAreClosedTooBeforeTheRoll) {
  ASSERT_NO_FATAL_FAILURE(guard_steps::closeWhileTradesOpen(
      term, ea, [this] { timer(); }, "EURUSD", mql::OP_SELLSTOP));
  EXPECT_TRUE(term.orders.empty());
  EXPECT_EQ(state(), "Guard: running");
  EXPECT_EQ(term.callsOf("SetTTC"), 1);
  EXPECT_DOUBLE_EQ(snapshot(), term.balance);  // no open float taken into the new snapshot
}

}  // namespace
}  // namespace guard_mq4
