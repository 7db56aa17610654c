// The 32-bit expert advisor (hosts/mql4 over hosts/shared), translated and run over the terminal
// double against the real zentravo.so. Each scenario checks what the trader sees (alerts, panel,
// mails, trades) and what the library was told (the exports called, its snapshot).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "zentravo_guard_mq4.h"

namespace {

constexpr int kReasonChartChange = mql::REASON_CHARTCHANGE;
constexpr int kReasonParameters = mql::REASON_PARAMETERS;
constexpr int kReasonAccount = mql::REASON_ACCOUNT;

class Mq4Guard : public ::testing::Test {
 protected:
  mql::Terminal term{ZT_LIBRARY_FILE};
  ea_mq4::Program ea;  // default inputs: the host guide's worked example on a 1000 account

  void SetUp() override { term.fund(1000.0); }

  double snapshot() { return term.library().GetEquitySnap(); }
  std::string alertText(int kind) {
    char text[ZT_TEXT_CAPACITY] = {};
    term.library().GetAlert(kind, text);
    return text;
  }
  int errorsOf(int code) const {
    int n = 0;
    for (const auto& t : term.trades) n += t.error == code;
    return n;
  }
  void timer(unsigned ms = 250) {
    term.tickCount += ms;
    ea.OnTimer();
  }
  // The state line, its wrapped lines joined again.
  std::string state() const {
    std::string text = term.label("ZT_STATE");
    for (int line = 1; !term.label("ZT_STATE_" + std::to_string(line)).empty(); ++line)
      text += " " + term.label("ZT_STATE_" + std::to_string(line)).substr(7);
    return text;
  }
  bool alerted(const std::string& part) const {
    for (const auto& a : term.alerts)
      if (a.find(part) != std::string::npos) return true;
    return false;
  }
};

TEST_F(Mq4Guard, StartsOnTheAccountEquityWithTimerAndPanel) {
  ea.EmailMarginPercent = 150;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  EXPECT_EQ(term.timerMs, 250);
  EXPECT_EQ(state(), "Guard: running");
  // The host cells of the second column.
  EXPECT_EQ(term.label("ZT_V1_9"), "off");
  EXPECT_EQ(term.label("ZT_V1_10"), "150.00%");
  EXPECT_EQ(term.label("ZT_V1_12"), "1:100");
  EXPECT_EQ(term.label("ZT_V1_13"), "1.10000 / 1.10010; 10");
  EXPECT_EQ(term.label("ZT_L1_13"), "Current Bid/Ask; Spread");
  EXPECT_EQ(term.objects.size(), 2u * 16 + 2u * 14 + 1);
  EXPECT_GT(term.redraws, 0);
  ea.OnDeinit(mql::REASON_REMOVE);
  EXPECT_TRUE(term.objects.empty());
  EXPECT_EQ(term.timerMs, 0);
}

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
  ea.KeepPendingOrders = true;
  term.quotes["GBPUSD"] = {1.25000, 1.25012, 0.00001, 5};
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.openOrder("EURUSD", mql::OP_SELL, 1.0, -50.0);
  term.openOrder("EURUSD", mql::OP_SELLSTOP, 1.0, 0.0);
  const int stop = term.orders.back().ticket;
  term.duringClose.push_back(
      [](mql::Terminal& t) { t.openOrder("GBPUSD", mql::OP_BUY, 0.5, -5.0); });
  term.duringClose.push_back([stop](mql::Terminal& t) { t.fill(stop); });
  ea.OnTick();
  for (int event = 0; event < 3; ++event) timer();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_EQ(state(), "Guard: running");
  EXPECT_EQ(term.callsOf("SetTTC"), 1);
  EXPECT_DOUBLE_EQ(snapshot(), term.balance);  // no open float taken into the new snapshot
}

TEST_F(Mq4Guard, EquityMovedByAnotherSymbolIsSeenOnTheTimer) {
  term.quotes["GBPUSD"] = {1.25000, 1.25012, 0.00001, 5};
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("GBPUSD", mql::OP_SELL, 1.0, -120.0);
  timer();  // no EURUSD tick
  EXPECT_TRUE(term.orders.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 880.0);
}

TEST_F(Mq4Guard, ReinitialisationKeepsTheGuardUnlessTheTargetsChange) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ea.OnDeinit(kReasonChartChange);
  term.chartPeriod = 240;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.callsOf("InitZT"), 1);
  EXPECT_TRUE(term.alerts.empty());

  ea.OnDeinit(kReasonParameters);
  ea.StopLosses = "50,150";
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.callsOf("InitZT"), 2);
  EXPECT_TRUE(alerted("the targets changed"));
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -55.0);
  ea.OnTick();  // 945 is below the new stop loss of 50
  EXPECT_TRUE(term.orders.empty());
}

TEST_F(Mq4Guard, StartWithoutAConnectionWaitsForTheEquity) {
  term.accountKnown = false;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  timer();
  EXPECT_EQ(term.callsOf("InitZT"), 0);
  EXPECT_EQ(state(), "Guard: waiting for the account's equity");
  term.accountKnown = true;
  timer();
  EXPECT_EQ(term.callsOf("InitZT"), 1);
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  EXPECT_EQ(state(), "Guard: running");
}

// The tester is refused, and the refused instance calls the library in OnDeinit neither; with
// DLL imports off the EA stays and says what to allow, without a call to the library.
TEST_F(Mq4Guard, RefusesTheStrategyTesterAndWarnsWithoutDllImports) {
  term.tester = true;
  EXPECT_EQ(term.attach(ea), mql::INIT_FAILED);
  EXPECT_TRUE(alerted("strategy tester"));
  term.tester = false;
  term.dllsAllowed = false;
  EXPECT_EQ(term.attach(ea), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(alerted("DLL imports are not allowed for the EA: allow them"));
  EXPECT_TRUE(term.calls.empty());
}

TEST_F(Mq4Guard, AFailedMailIsSentAgainAndPushFollowsTheTerminalSetting) {
  ea.EmailDrawdown = 50;
  ea.PushNotifications = true;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.mailWorks = false;
  ea.OnTick();
  ea.OnTick();
  EXPECT_EQ(term.mails.size(), 1u);  // not again on the next tick
  term.mailWorks = true;
  timer(60000);
  ea.OnTick();
  ASSERT_EQ(term.mails.size(), 2u);  // tried again a minute later, then not again in this cycle
  char subject[ZT_TEXT_CAPACITY] = {};
  term.library().GetEmailSubject(2, subject);
  EXPECT_EQ(term.mails[1].subject, subject);
  EXPECT_EQ(term.pushes.size(), 1u);  // the push went out at once, on its own

  term.mailEnabled = false;
  term.pushEnabled = false;
  ea.ZhNewMessageCycle();
  ea.OnTick();
  EXPECT_EQ(term.mails.size(), 2u);
  EXPECT_EQ(term.pushes.size(), 1u);
}

// A phone that never gets the push: the e-mail still goes out once, and the push is retried
// within the terminal's limits (2 a second, 10 a minute), not on every timer event.
TEST_F(Mq4Guard, AFailingPushNeitherResendsTheMailNorFloodsTheTerminal) {
  ea.EmailDrawdown = 50;
  ea.PushNotifications = true;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.pushWorks = false;
  for (int event = 0; event < 240; ++event) timer();  // a minute of timer events
  EXPECT_EQ(term.mails.size(), 1u);
  EXPECT_GE(term.pushes.size(), 1u);
  EXPECT_LE(term.pushes.size(), 2u);
  for (const auto& line : term.prints)
    EXPECT_EQ(line.find("error 4253"), std::string::npos) << line;

  // No MetaQuotes ID: said once, and no push is tried at all.
  term.metaQuotesId = false;
  const std::size_t pushes = term.pushes.size();
  ea.ZhNewMessageCycle();
  for (int event = 0; event < 20; ++event) timer();
  EXPECT_EQ(term.pushes.size(), pushes);
  int said = 0;
  for (const auto& a : term.alerts) said += a.find("no MetaQuotes ID") != std::string::npos;
  EXPECT_EQ(said, 1);
}

TEST_F(Mq4Guard, ReadsIncreaseTargetsAsTheLibraryDoes) {
  ea.IncreaseTargets = "1100 1200;1300/1400,1500,1600,1700,1800,1900";
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ASSERT_EQ(ea.gIncreaseTargets.size(), 8);
  EXPECT_DOUBLE_EQ(ea.gIncreaseTargets[1], 1200.0);
  EXPECT_DOUBLE_EQ(ea.gIncreaseTargets[2], 1300.0);
  EXPECT_DOUBLE_EQ(ea.gIncreaseTargets[7], 1800.0);
}

TEST_F(Mq4Guard, OneChartRunsTheGuardASecondIsRefusedUntilTheFirstFallsSilent) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.chartHandle = 0x2002;
  ea_mq4::Program second;
  term.tickCount += 5000;
  EXPECT_EQ(second.OnInit(), mql::INIT_FAILED);
  EXPECT_TRUE(alerted("already runs on another chart"));
  EXPECT_EQ(term.callsOf("InitZT"), 1);
  term.tickCount += 11000;  // no heartbeat from the first chart for 16 s
  EXPECT_EQ(second.OnInit(), mql::INIT_SUCCEEDED);
}

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
  ASSERT_EQ(restarted.OnInit(), mql::INIT_SUCCEEDED);
  restarted.OnTick();
  EXPECT_EQ(term.orders.size(), 1u);
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  term.orders[0].profit = -101.0;  // a real loss still counts
  restarted.OnTick();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 899.0);
}

// With 7-digit amounts after a closed cycle (the widest column-0 value: "Prev Snapshot / Last
// Eq DD", two amounts with their times) neither column runs into the next, also where Windows
// scales the display (fonts grow, pixel distances do not unless the EA scales them). The EA
// places the labels in Courier New 8; the check takes that font's advance, 0.6 em (1229 of 2048
// units), at 8 pt on the screen's DPI.
TEST_F(Mq4Guard, PanelColumnsStayApartForSevenDigitAmountsAndShowTheNoticeLine) {
  // 150 % display scaling: 144 DPI, 9.6 px a character.
  term.screenDpi = 144;
  constexpr double kCharPx = 8.0 * 144.0 / 72.0 * 1229.0 / 2048.0;
  term.fund(1234567.89);
  ea.EmailEquityTarget = 1234567.89;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -1000.0);
  ea.OnTick();  // stop loss: closed and rolled
  ASSERT_DOUBLE_EQ(snapshot(), 1233567.89);
  const int redraws = term.redraws;
  ea.OnTick();
  EXPECT_GT(term.redraws, redraws);
  EXPECT_EQ(term.label("ZT_L0_15"), "Zentravo equity guard");
  EXPECT_EQ(state(), "Guard: running");

  auto x = [&](const std::string& name) {
    return static_cast<double>(term.objects.at(name).integers.at(mql::OBJPROP_XDISTANCE));
  };
  auto end = [&](const std::string& name) { return x(name) + kCharPx * term.label(name).size(); };
  auto blank = [&](const std::string& name) { return term.label(name) == " "; };
  double column0End = 0, column1Start = 1e9;
  size_t widest = 0;
  for (int row = 0; row < 16; ++row) {
    const std::string r = std::to_string(row);
    // Row 0's title runs over its empty value cell.
    if (!blank("ZT_V0_" + r)) EXPECT_LE(end("ZT_L0_" + r), x("ZT_V0_" + r)) << row;
    column0End = std::max({column0End, end("ZT_L0_" + r), end("ZT_V0_" + r)});
    widest = std::max(widest, term.label("ZT_V0_" + r).size());
    if (row < 14) {
      EXPECT_LE(end("ZT_L1_" + r), x("ZT_V1_" + r)) << row;
      column1Start = std::min(column1Start, x("ZT_L1_" + r));
    }
  }
  EXPECT_EQ(term.label("ZT_V0_7").find("1234567.89 ["), 0u) << term.label("ZT_V0_7");
  EXPECT_GE(widest, 55u);  // the two amounts and both times really are on the panel
  EXPECT_LE(column0End, column1Start);
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
  ASSERT_EQ(restarted.OnInit(), mql::INIT_SUCCEEDED);
  restarted.OnTick();
  EXPECT_EQ(term.orders.size(), 1u);
  EXPECT_TRUE(term.trades.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  term.orders[0].profit = -101.0;  // a real loss still counts
  restarted.OnTick();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 899.0);
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
