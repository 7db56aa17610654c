// The 64-bit expert advisor (hosts/mql5 over hosts/shared): positions closed through CTrade with
// result codes checked, filling mode set per symbol, pending orders deleted unless kept.
#include <gtest/gtest.h>

#include <algorithm>

#include "guard_steps.h"
#include "zentravo_guard_mq5.h"

namespace {

class Mq5Guard : public ::testing::Test {
 protected:
  mql::Terminal term{ZT_LIBRARY_FILE};
  ea_mq5::Program ea;

  void SetUp() override {
    term.fund(1000.0);
    term.quotes["USDJPY"] = {150.000, 150.012, 0.001, 3};
  }
  double snapshot() { return term.library().GetEquitySnap(); }
  void timer() {
    term.tickCount += 250;
    ea.OnTimer();
  }
};

TEST_F(Mq5Guard, ClosesPositionsOldestFirstAcrossSymbolsAndDeletesPendingOrders) {
  term.fifo = true;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -40.0);
  term.openOrder("USDJPY", mql::OP_SELL, 1.0, -30.0);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -40.0);
  term.openOrder("EURUSD", mql::OP_SELLSTOP, 1.0, 0.0);
  ea.OnTick();
  EXPECT_TRUE(term.orders.empty());
  ASSERT_EQ(term.trades.size(), 4u);
  for (const auto& t : term.trades) EXPECT_EQ(t.error, 0) << t.function << " " << t.ticket;
  EXPECT_EQ(term.trades[0].function, "OrderDelete");  // pending orders first
  EXPECT_DOUBLE_EQ(snapshot(), 890.0);
}

TEST_F(Mq5Guard, RequotesAreRetriedAndTheCloseReportedWhenFlat) {
  ea.KeepPendingOrders = true;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
  term.openOrder("USDJPY", mql::OP_BUYLIMIT, 1.0, 0.0);
  term.closeErrors = {mql::ERR_REQUOTE, mql::ERR_REQUOTE};
  ea.OnTick();
  timer();
  EXPECT_EQ(term.orders.size(), 2u);
  EXPECT_TRUE(term.alerts.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  EXPECT_EQ(term.trades[0].error, static_cast<int>(mql::mql5::TRADE_RETCODE_REQUOTE));
  EXPECT_EQ(term.trades[0].slippage, 45);  // about 0.03 % of 150.000 in 0.001 points
  timer();
  ASSERT_EQ(term.orders.size(), 1u);  // the pending order is kept
  EXPECT_EQ(term.orders[0].type, mql::OP_BUYLIMIT);
  EXPECT_EQ(term.alerts.size(), 1u);
  EXPECT_DOUBLE_EQ(snapshot(), 890.0);
}

TEST_F(Mq5Guard, MarketClosedBlocksTheCloseAndSaysSo) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
  term.closeErrors = {mql::ERR_MARKET_CLOSED, mql::ERR_MARKET_CLOSED};
  ea.OnTick();
  EXPECT_EQ(term.label("ZT_STATE"), "Guard: CLOSING - blocked: market closed (10018) for USDJPY");
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_NE(term.alerts[0].find("market closed (10018) for USDJPY"), std::string::npos);
  timer();
  timer();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_EQ(term.label("ZT_STATE"), "Guard: running");
}

// A market-execution symbol that allows neither FOK nor IOC leaves no filling mode the broker
// takes (Return needs another execution): the refusal is named.
TEST_F(Mq5Guard, AnUnsupportedFillingModeIsNamed) {
  term.quotes["USDJPY"].fillings = 0;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
  ea.OnTick();
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_NE(term.alerts[0].find("filling mode not supported by the symbol (10030) for USDJPY"),
            std::string::npos)
      << term.alerts[0];
  EXPECT_EQ(term.orders.size(), 1u);
}

// An exchange symbol that allows neither FOK nor IOC is closed with Return; one that allows
// only IOC with IOC.
TEST_F(Mq5Guard, TheFillingModeFollowsTheSymbol) {
  term.quotes["USDJPY"].fillings = 0;
  term.quotes["USDJPY"].execution = mql::mql5::SYMBOL_TRADE_EXECUTION_EXCHANGE;
  term.quotes["EURUSD"].fillings = mql::mql5::SYMBOL_FILLING_IOC;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -60.0);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -50.0);
  ea.OnTick();
  EXPECT_TRUE(term.orders.empty());
  for (const auto& t : term.trades) EXPECT_EQ(t.error, 0) << t.function << " " << t.ticket;
}

TEST_F(Mq5Guard, AutoTradingOffAtTheStartIsSaidAtOnce) {
  term.autoTrading = false;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.label("ZT_STATE"), "Guard: NOT PROTECTING - AutoTrading is off in the terminal");
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_EQ(term.mails.size(), 1u);
  term.autoTrading = true;
  timer();
  EXPECT_EQ(term.label("ZT_STATE"), "Guard: running");
}

// Flat means flat: a trade another EA opens during the pass, and a kept stop order that fills,
// are closed too before the cycle is reported; trades that keep opening make the EA hold.
TEST_F(Mq5Guard, TradesOpenedDuringTheCloseAreClosedTooOrTheEaHolds) {
  ASSERT_NO_FATAL_FAILURE(guard_steps::closeWhileTradesOpen(
      term, ea, [this] { timer(); }, "USDJPY", mql::OP_BUYSTOP));
  ASSERT_EQ(term.orders.size(), 0u);
  EXPECT_EQ(term.label("ZT_STATE"), "Guard: running");
  EXPECT_EQ(term.callsOf("SetTTC"), 1);  // the cycle reported once, when flat

  // A grid EA reopening as fast as the guard closes: after a few passes the EA holds.
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -200.0);
  for (int i = 0; i < 50; ++i)
    term.duringClose.push_back(
        [](mql::Terminal& t) { t.openOrder("EURUSD", mql::OP_BUY, 0.1, 0.0); });
  ea.OnTick();
  for (int event = 0; event < 10; ++event) timer();
  EXPECT_EQ(term.label("ZT_STATE"),
            "Guard: CLOSING - held: new trades keep opening on EURUSD; held, close them by hand");
  const std::size_t trades = term.trades.size();
  timer();
  EXPECT_EQ(term.trades.size(), trades);  // holding: no more closes paying the spread
  EXPECT_NE(term.alerts.back().find("new trades keep opening on EURUSD"), std::string::npos);
}

TEST_F(Mq5Guard, ADepositIsNotATakeProfit) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, 10.0);
  term.balanceOperation(500.0);
  ea.OnTick();
  EXPECT_EQ(term.orders.size(), 1u);
  term.orders[0].profit = 60.0;
  ea.OnTick();  // 1060 of trading equity: the take profit of 50
  EXPECT_TRUE(term.orders.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 1060.0);
}

// The same message rules as the 32-bit EA's: one e-mail, pushes within the terminal's limits.
TEST_F(Mq5Guard, AFailingPushNeitherResendsTheMailNorFloodsTheTerminal) {
  ea.EmailDrawdown = 50;
  ea.PushNotifications = true;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.pushWorks = false;
  for (int event = 0; event < 240; ++event) timer();
  EXPECT_EQ(term.mails.size(), 1u);
  EXPECT_GE(term.pushes.size(), 1u);
  EXPECT_LE(term.pushes.size(), 2u);
}

TEST_F(Mq5Guard, RefusesTheTester) {
  term.tester = true;
  EXPECT_EQ(ea.OnInit(), mql::INIT_FAILED);
  EXPECT_TRUE(term.calls.empty());
}

// The shared re-initialisation rules over the 64-bit adapter: a timeframe change keeps the
// guard; changed targets restart it, say so, and the new stop loss applies.
TEST_F(Mq5Guard, ReinitialisationKeepsTheGuardUnlessTheTargetsChange) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ea.OnDeinit(mql::REASON_CHARTCHANGE);
  term.chartPeriod = 240;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.callsOf("InitZT"), 1);
  EXPECT_TRUE(term.alerts.empty());

  ea.OnDeinit(mql::REASON_PARAMETERS);
  ea.StopLosses = "50,150";
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.callsOf("InitZT"), 2);
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_NE(term.alerts[0].find("the targets changed"), std::string::npos);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -55.0);
  ea.OnTick();
  EXPECT_TRUE(term.orders.empty());
}

// Another login (ACCOUNT_LOGIN) is held, not judged against the old snapshot of 1000 (which would
// make 5000 a take profit), and not re-based either: the trader is told at once.
TEST_F(Mq5Guard, AnotherAccountIsHeldNotJudged) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ea.OnDeinit(mql::REASON_ACCOUNT);
  term.login = 777001;
  term.fund(5000.0);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, 0.0);
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_NE(term.alerts[0].find(
                "NOT PROTECTING: holding: account 777001@Broker-Demo is new to the guard"),
            std::string::npos)
      << term.alerts[0];
  EXPECT_EQ(term.callsOf("SetLastValues"), 0);
  ea.OnTick();
  EXPECT_EQ(term.orders.size(), 1u);
  EXPECT_TRUE(term.trades.empty());
}

// The chart handle comes from CHART_WINDOW_HANDLE; a second chart is refused while the first
// one's heartbeat is fresh and takes over once it has been silent for over 10 s.
TEST_F(Mq5Guard, OneChartRunsTheGuardASecondIsRefusedUntilTheFirstFallsSilent) {
  ea_mq5::Program second;
  ASSERT_NO_FATAL_FAILURE(guard_steps::startASecondChart(term, ea, second));
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_NE(term.alerts[0].find("already runs on another chart"), std::string::npos);
  EXPECT_EQ(term.callsOf("InitZT"), 1);
  term.tickCount += 11000;
  EXPECT_EQ(second.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.globals.at("ZentravoGuard.chart"), 0x2002);
}

// A netting account holds one position per symbol: two buys make one position, a sell reduces
// it. A close-all whose first close is only partly filled (TRADE_RETCODE_DONE_PARTIAL) is not
// reported, not rolled and makes no monitoring SetEquity until the account is flat; then one
// alert and the roll onto the flat equity.
TEST_F(Mq5Guard, NettingPartialCloseIsReportedOnlyWhenFlat) {
  term.netting = true;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -40.0);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -40.0);
  term.openOrder("USDJPY", mql::OP_SELL, 0.5, 0.0);
  ASSERT_EQ(term.orders.size(), 1u);
  EXPECT_DOUBLE_EQ(term.orders[0].lots, 1.5);
  EXPECT_DOUBLE_EQ(term.balance, 980.0);
  term.orders[0].profit = -90.0;  // equity 890: stop loss
  term.partialFills = {0.5};
  ea.OnTick();
  ASSERT_EQ(term.trades.size(), 1u);
  EXPECT_EQ(term.trades[0].error, static_cast<int>(mql::mql5::TRADE_RETCODE_DONE_PARTIAL));
  ASSERT_EQ(term.orders.size(), 1u);
  EXPECT_DOUBLE_EQ(term.orders[0].lots, 1.0);
  term.orders[0].profit -= 10.0;  // the rest closes 10 lower: 880
  term.closeErrors = {mql::ERR_REQUOTE};
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_TRUE(term.alerts.empty());
    EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
    EXPECT_EQ(term.label("ZT_STATE"), "Guard: CLOSING all trades");
    EXPECT_EQ(term.callsOf("SetEquity"), 1);
    timer();
  }
  EXPECT_TRUE(term.orders.empty());
  EXPECT_EQ(term.callsOf("SetEquity"), 2);  // the stop-loss check and the snapshot roll
  ASSERT_EQ(term.alerts.size(), 1u);
  EXPECT_NE(term.alerts[0].find("880"), std::string::npos) << term.alerts[0];
  EXPECT_DOUBLE_EQ(snapshot(), 880.0);
}

// TimeCurrent is the last quote's time: a Saturday deposit, credit and bonus lie after it. None
// of them is a take profit, all weekend long; Monday's real profit still is.
TEST_F(Mq5Guard, BookingsLaterThanTheLastQuoteAreNoTakeProfit) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, 10.0);
  term.lastQuote = term.now();  // Friday's close
  term.tickCount += 86400 * 1000;
  term.balanceOperation(500.0);
  term.balanceOperation(300.0, mql::BOOK_CREDIT);
  term.balanceOperation(100.0, mql::BOOK_BONUS);
  for (int event = 0; event < 8; ++event) timer();
  EXPECT_EQ(term.orders.size(), 1u);
  EXPECT_TRUE(term.trades.empty());
  term.lastQuote = 0;
  term.orders[0].profit = 60.0;
  timer();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 1060.0);
}

// The Libraries folder copied to a new terminal brings the old snapshot (1000) but not the EA's
// memory, and 300 was withdrawn since: the EA cannot tell, so it holds and says so until the
// trader asks it to start over, which it does on the present equity.
TEST_F(Mq5Guard, ACopiedLibrariesFolderHoldsUntilTheTraderStartsOver) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ea.OnDeinit(mql::REASON_CLOSE);
  mql::Terminal moved{ZT_LIBRARY_FILE};
  moved.copyLibrariesFrom(term);
  moved.fund(1000.0);
  moved.balanceOperation(-300.0);
  moved.quotes["USDJPY"] = term.quotes["USDJPY"];
  moved.openOrder("USDJPY", mql::OP_BUY, 1.0, 0.0);
  ea_mq5::Program fresh;
  ASSERT_EQ(fresh.OnInit(), mql::INIT_SUCCEEDED);
  // The state line wraps onto ZT_STATE_1 and on, each indented under the text after "Guard: ".
  std::string held = moved.label("ZT_STATE");
  for (int line = 1; !moved.label("ZT_STATE_" + std::to_string(line)).empty(); ++line)
    held += " " + moved.label("ZT_STATE_" + std::to_string(line)).substr(7);
  EXPECT_EQ(held.find("Guard: NOT PROTECTING - holding: the library's settings file holds the "
                      "snapshot 1000.00, "
                      "which the EA has no memory of"),
            0u)
      << held;
  ASSERT_EQ(moved.alerts.size(), 1u);
  EXPECT_EQ(moved.alerts[0].find("ZentravoGuard NOT PROTECTING: holding"), 0u);
  moved.orders[0].profit = -200.0;
  fresh.OnTick();
  EXPECT_TRUE(moved.trades.empty());

  fresh.OnDeinit(mql::REASON_PARAMETERS);
  fresh.StartOver = true;
  ASSERT_EQ(fresh.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(std::count_if(moved.alerts.begin(), moved.alerts.end(),
                          [](const std::string& a) {
                            return a.find("started over on the present equity 500.00") !=
                                   std::string::npos;
                          }),
            1);
  EXPECT_DOUBLE_EQ(moved.library().GetEquitySnap(), 500.0);
  fresh.OnTick();
  EXPECT_EQ(moved.label("ZT_STATE"), "Guard: running");
  EXPECT_TRUE(moved.trades.empty());
}

// The 64-bit close interrupted by a restart: finished first, reported once.
TEST_F(Mq5Guard, ARestartInTheMiddleOfACloseFinishesItFirst) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -80.0);
  term.openOrder("USDJPY", mql::OP_BUY, 1.0, -40.0);
  term.closedMarkets = {"USDJPY"};
  ea.OnTick();
  ASSERT_EQ(term.orders.size(), 1u);
  term.restart(ea);
  ea_mq5::Program restarted;
  ASSERT_EQ(restarted.OnInit(), mql::INIT_SUCCEEDED);
  term.orders[0].profit = -10.0;
  term.closedMarkets.clear();
  term.tickCount += 250;
  restarted.OnTimer();
  EXPECT_TRUE(term.orders.empty());
  EXPECT_EQ(term.callsOf("SetTTC"), 1);
  EXPECT_DOUBLE_EQ(snapshot(), 910.0);
}

}  // namespace
