// Both expert advisors in the situations where a real terminal could make an EA close on
// bookkeeping, re-base in silence or stop protecting without saying so. Each scenario runs on the
// 32-bit and the 64-bit EA alike (a typed test), translated and run over the terminal double
// against the real zentravo.so.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <type_traits>

#include "zentravo_guard_mq4.h"
#include "zentravo_guard_mq5.h"

namespace {

std::string stateOf(const mql::Terminal& t) {
    std::string text = t.label("ZT_STATE");
    for (int line = 1; !t.label("ZT_STATE_" + std::to_string(line)).empty(); ++line)
        text += " " + t.label("ZT_STATE_" + std::to_string(line)).substr(7);
    return text;
}
int countOf(const std::vector<std::string>& lines, const std::string& part) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    }));
}
int mailsWith(const mql::Terminal& t, const std::string& part) {
    return static_cast<int>(std::count_if(t.mails.begin(), t.mails.end(), [&](const mql::Mail& m) {
        return m.subject.find(part) != std::string::npos;
    }));
}

// A terminal with a funded account of 1000.00 and the EA of the scenario on its chart.
template <class Program>
struct Run {
    mql::Terminal term{ZT_LIBRARY_FILE};
    Program ea;
    static constexpr bool mt4 = std::is_same_v<Program, ea_mq4::Program>;

    Run() {
        term.fund(1000.0);
        term.quotes["USDJPY"] = {150.000, 150.012, 0.001, 3};
    }
    void timer(unsigned ms = 250) {
        term.activate();
        term.tickCount += ms;
        ea.OnTimer();
    }
    std::string state() const { return stateOf(term); }
    bool alerted(const std::string& part) const { return countOf(term.alerts, part) > 0; }
    double snapshot() { return term.library().GetEquitySnap(); }
    // The history records booked so far are out of the terminal's sight: MT4's Account History
    // tab on a period that starts now, an MT5 terminal that has not received its deals yet.
    void withholdHistory() {
        if constexpr (mt4) {
            term.historyFrom = term.now() + 1;
        } else {
            term.inTransit = term.history;
            term.history.clear();
        }
    }
    void deliverHistory() {
        if constexpr (mt4) term.historyFrom = 0;
        else term.land();
    }
};

template <class Program>
class Scenario : public ::testing::Test {};
using BothEas = ::testing::Types<ea_mq4::Program, ea_mq5::Program>;
TYPED_TEST_SUITE(Scenario, BothEas);

// A 5,000 account whose first deposit was 1,000: the terminal starts with no quote and with none
// of its history in sight. Old deposits that show up later must not read as new ones (at 4,000
// below the base every trade would close): the base waits for a quote and a history that
// explains the balance, and records its time, before which nothing counts.
TYPED_TEST(Scenario, ABaseIsTakenOnlyFromAHistoryThatExplainsTheBalance) {
    Run<TypeParam> run;
    run.term.balanceOperation(4000.0);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
    run.withholdHistory();
    run.term.quoteKnown = false;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("holding: no base yet: no quote has come yet"), std::string::npos) << run.state();
    run.term.quoteKnown = true;
    run.timer();
    EXPECT_NE(run.state().find("holding: no base yet: the account history explains 0.00 of the balance and credit 5000.00"),
              std::string::npos) << run.state();
    run.deliverHistory();
    for (int event = 0; event < 4; ++event) run.timer();
    EXPECT_TRUE(run.term.trades.empty());
    EXPECT_EQ(run.state(), "Guard: running");
    EXPECT_DOUBLE_EQ(run.snapshot(), 5000.0);
    run.term.orders[0].profit = -101.0;  // a real loss still counts
    run.timer();
    EXPECT_TRUE(run.term.orders.empty());
}

// The balance moves before its record arrives: nothing is judged for a check or two (a stop loss
// would read 200 withdrawn as 200 lost). A move the history never explains holds the guard with
// an alert naming the amount - never a close - until it does.
TYPED_TEST(Scenario, AnUnexplainedBalanceMoveHoldsAndNeverCloses) {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
    run.term.balanceOperation(-200.0, mql::BOOK_BALANCE, true);
    run.timer();
    run.term.land();
    run.timer();
    EXPECT_TRUE(run.term.trades.empty());
    EXPECT_EQ(run.state(), "Guard: running");

    run.term.balanceOperation(-300.0, mql::BOOK_BALANCE, true);
    for (int event = 0; event < 3; ++event) run.timer();
    EXPECT_NE(run.state().find("holding: the balance moved by -300.00 more than the account history shows"),
              std::string::npos) << run.state();
    EXPECT_TRUE(run.alerted("NOT PROTECTING: holding: the balance moved by -300.00"));
    EXPECT_TRUE(run.term.trades.empty());
    run.term.land();
    run.timer();
    EXPECT_EQ(run.state(), "Guard: running");
    EXPECT_TRUE(run.alerted("protecting again"));
    run.term.orders[0].profit = -101.0;  // 399 of equity, 899 of trading equity: the stop loss
    run.timer();
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_DOUBLE_EQ(run.snapshot(), 899.0);
}

// Nothing re-bases the guard but the trader. A settings file lost with the memory intact holds
// (started afresh, the library would move the stop from 900 to 820); so does a login of 0. A
// round trip to another account and back restores the first from the EA's memory, ladder and
// all; StartOver acts once, and left true it re-bases nothing later (a renamed server holds).
TYPED_TEST(Scenario, NothingReBasesTheGuardButTheTrader) {
    {
        Run<TypeParam> run;
        ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
        run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -80.0);
        run.timer();
        run.term.restart(run.ea);
        std::filesystem::remove(run.term.dataFolder + "/MQL4/Libraries/zentravo.ini");
        TypeParam restarted;
        ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
        EXPECT_NE(run.state().find("holding: the library's settings file was lost: it started afresh on the present "
                                   "equity 920.00, while the EA last saw the snapshot 1000.00"),
                  std::string::npos) << run.state();
        EXPECT_TRUE(run.alerted("NOT PROTECTING: holding: the library's settings file was lost"));
    }
    {
        Run<TypeParam> run;
        run.term.login = 0;
        run.term.server = "";
        ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
        EXPECT_NE(run.state().find("holding: the terminal has not logged in to the account yet"), std::string::npos);
        EXPECT_EQ(run.term.callsOf("InitZT"), 0);
        run.term.login = 123456;
        run.term.server = "Broker-Demo";
        run.timer();
        EXPECT_EQ(run.state(), "Guard: running");
        EXPECT_FALSE(std::filesystem::exists(run.term.filesFolder() + "/ZentravoGuard/0@.state"));
    }
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -25.0);
    run.timer();  // 975: the first drawdown target moves the ladder on
    run.ea.OnDeinit(mql::REASON_ACCOUNT);
    run.term.login = 777001;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("holding: account 777001@Broker-Demo is new to the guard"), std::string::npos)
        << run.state();
    run.ea.OnDeinit(mql::REASON_PARAMETERS);
    run.ea.StartOver = true;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_TRUE(run.alerted("started over on the present equity 975.00 as asked (StartOver); the snapshot 1000.00 is "
                            "dropped. Set StartOver back to false now"));
    run.ea.OnDeinit(mql::REASON_ACCOUNT);
    run.term.login = 123456;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_TRUE(run.alerted("account 123456@Broker-Demo resumed from the EA's memory (snapshot 1000.00)"));
    EXPECT_DOUBLE_EQ(run.snapshot(), 1000.0);
    int tpSet = -1, tp = -1, ddSet = -1, dd = -1;
    run.term.library().GetIndex(&tpSet, &tp, &ddSet, &dd);
    EXPECT_EQ(tp, 1);
    EXPECT_EQ(dd, 1);
    EXPECT_EQ(run.state(), "Guard: running");
    run.ea.OnDeinit(mql::REASON_ACCOUNT);
    run.term.server = "Broker-Demo2";
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("(the same login: did the broker rename its server?)"), std::string::npos) << run.state();
    EXPECT_EQ(countOf(run.term.alerts, "started over on the present equity"), 1);
    EXPECT_TRUE(run.term.trades.empty());
}

// Closes that go through: a position larger than the symbol's largest deal closes in pieces; a
// close the market fills only in part goes on with what is left, which is the same trade (MT4
// reopens it "from #" the old ticket); a close an exchange answers with "placed" (10008) is sent,
// and not sent again while it is in flight.
TYPED_TEST(Scenario, ClosesGoThroughInPiecesAndPartsAndAreNotSentTwice) {
    Run<TypeParam> run;
    run.term.quotes["EURUSD"].volumeMax = 100.0;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 300.0, -110.0);
    run.timer();
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_EQ(std::count_if(run.term.trades.begin(), run.term.trades.end(),
                            [](const mql::TradeCall& t) { return t.error != 0; }), 0);
    EXPECT_EQ(run.term.callsOf("SetTTC"), 1);
    EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);

    run.term.openOrder("EURUSD", mql::OP_BUY, 2.0, -100.0);
    run.term.partialFills = {0.5, 0.5, 0.5, 0.3};
    run.timer();
    for (int event = 0; event < 6; ++event) run.timer();
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_FALSE(run.alerted("new trades keep opening"));
    EXPECT_EQ(run.term.callsOf("SetTTC"), 2);
    EXPECT_DOUBLE_EQ(run.snapshot(), 790.0);

    if constexpr (!Run<TypeParam>::mt4) {
        run.term.quotes["EURUSD"].placesCloses = true;
        run.term.openOrder("EURUSD", mql::OP_SELL, 1.0, -100.0);
        for (int event = 0; event < 5; ++event) run.timer();
        EXPECT_EQ(run.term.trades.back().error, static_cast<int>(mql::mql5::TRADE_RETCODE_PLACED));
        EXPECT_EQ(std::count_if(run.term.trades.begin(), run.term.trades.end(),
                                [](const mql::TradeCall& t) { return t.error == 10008; }), 1);
        EXPECT_FALSE(run.alerted("code unknown"));
        run.term.executePlaced();
        run.timer();
        EXPECT_TRUE(run.term.orders.empty());
        EXPECT_EQ(run.term.callsOf("SetTTC"), 3);
    }
}

// Never silently unprotected: an investor-password login says so at once; a stop loss hit while
// AutoTrading is off is in every warning; with DLL imports off the EA stays and warns on every
// channel, calling the library never; out-of-range inputs refuse to start, naming the input and
// its range; a timer the terminal refuses is reported and tried again.
TYPED_TEST(Scenario, WhatTheEaCannotDoItSaysOnEveryChannel) {
    {
        Run<TypeParam> run;
        run.term.accountTradeAllowed = false;
        ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
        EXPECT_EQ(run.state(), "Guard: NOT PROTECTING - trading is not allowed on this account (logged in with the "
                               "investor password?)");
    }
    {
        Run<TypeParam> run;
        ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
        run.term.autoTrading = false;
        run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
        for (int event = 0; event < 241; ++event) run.timer();  // a minute
        const std::string pending = "stop loss reached - close-all pending: AutoTrading is off in the terminal";
        EXPECT_EQ(run.state(), "Guard: NOT PROTECTING - " + pending);
        EXPECT_EQ(countOf(run.term.alerts, pending), 2);
        EXPECT_EQ(mailsWith(run.term, pending), 2);
        EXPECT_EQ(run.term.orders.size(), 1u);
    }
    {
        Run<TypeParam> run;
        run.term.dllsAllowed = false;
        ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
        for (int event = 0; event < 240; ++event) run.timer();
        EXPECT_EQ(countOf(run.term.alerts, "NOT PROTECTING: DLL imports are not allowed for the EA"), 2);
        EXPECT_EQ(mailsWith(run.term, "DLL imports are not allowed"), 2);
        EXPECT_TRUE(run.term.calls.empty());
        run.ea.OnDeinit(mql::REASON_REMOVE);
        EXPECT_TRUE(run.term.calls.empty());
    }
    {
        Run<TypeParam> run;
        run.ea.BlockedAlertSeconds = 0;
        EXPECT_EQ(run.term.attach(run.ea), mql::INIT_PARAMETERS_INCORRECT);
        EXPECT_TRUE(run.alerted("BlockedAlertSeconds is 0; it must be from 10 to 86400"));
        EXPECT_TRUE(run.term.calls.empty());
    }
    Run<TypeParam> run;
    run.term.timerFails = true;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.ea.OnTick();
    EXPECT_EQ(countOf(run.term.alerts, "gave the EA no timer"), 1);
    EXPECT_NE(run.state().find("running on ticks only"), std::string::npos) << run.state();
    run.term.timerFails = false;
    run.term.tickCount += 1000;
    run.ea.OnTick();
    EXPECT_EQ(run.term.timerMs, 250);
    EXPECT_TRUE(run.alerted("the timer runs again"));
    EXPECT_EQ(run.state(), "Guard: running");
}

// One thread calls the library: a chart the guard refused makes no call, in OnDeinit neither.
// Each event checks the account it runs on: after a switch the new account's equity is not judged
// against the old snapshot. A second terminal on the account holds while the first guards it,
// and after it, since it cannot know what the first one closed and rolled.
TYPED_TEST(Scenario, OneGuardCallsTheLibraryAndOneGuardsTheAccount) {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    const int calls = static_cast<int>(run.term.calls.size());
    const int chart = run.term.chartHandle;
    run.term.chartHandle = 0x2002;
    TypeParam refused;
    EXPECT_EQ(run.term.attach(refused), mql::INIT_FAILED);
    EXPECT_EQ(static_cast<int>(run.term.calls.size()), calls);
    run.term.chartHandle = chart;

    mql::Terminal second{ZT_LIBRARY_FILE};
    second.fund(1000.0);
    second.shareCommonFolderWith(run.term);
    TypeParam secondEa;
    ASSERT_EQ(second.attach(secondEa), mql::INIT_SUCCEEDED);
    EXPECT_NE(stateOf(second).find("holding: another terminal on this computer guards account 123456@Broker-Demo"),
              std::string::npos) << stateOf(second);
    second.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
    second.tickCount += 250;
    secondEa.OnTimer();
    EXPECT_TRUE(second.trades.empty());

    run.term.activate();
    run.term.login = 777001;  // the terminal switched accounts; OnDeinit has not come yet
    run.term.fund(5000.0);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
    const int judged = run.term.callsOf("SetEquity");
    run.timer();
    EXPECT_EQ(run.term.callsOf("SetEquity"), judged);
    EXPECT_TRUE(run.term.trades.empty());
    EXPECT_NE(run.state().find("holding: the terminal switched to account 777001@Broker-Demo"), std::string::npos)
        << run.state();
    run.ea.OnDeinit(mql::REASON_REMOVE);

    second.activate();
    second.tickCount += 250;
    secondEa.OnTimer();
    EXPECT_NE(stateOf(second).find("holding: account 123456@Broker-Demo was guarded by the terminal in " +
                                   run.term.dataFolder),
              std::string::npos) << stateOf(second);
    EXPECT_TRUE(second.trades.empty());
}

// A cycle is reported once, even when the memory could not note the end of its close; and an
// e-mail sent in a cycle is not sent again after a restart in the same cycle.
TYPED_TEST(Scenario, ACycleAndAMessageGoOutOnceAcrossRestarts) {
    Run<TypeParam> run;
    run.ea.EmailDrawdown = 50;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
    run.timer();
    ASSERT_EQ(run.term.mails.size(), 1u);
    run.term.restart(run.ea);
    TypeParam restarted;
    restarted.EmailDrawdown = 50;
    ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
    run.term.tickCount += 250;
    restarted.OnTimer();
    EXPECT_EQ(run.term.mails.size(), 1u);

    run.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -50.0);
    run.term.closedMarkets = {"USDJPY"};
    run.term.tickCount += 250;
    restarted.OnTimer();  // 890: the stop loss; EURUSD closes, USDJPY cannot yet
    ASSERT_EQ(run.term.orders.size(), 1u);
    run.term.filesWritable = false;
    run.term.closedMarkets.clear();
    run.term.tickCount += 250;
    restarted.OnTimer();  // flat: reported and rolled, but the memory keeps "a close under way"
    ASSERT_EQ(run.term.callsOf("SetTTC"), 1);
    EXPECT_TRUE(run.alerted("cannot write its memory file MQL"));
    EXPECT_FALSE(run.alerted("will hold"));
    run.term.restart(restarted);
    run.term.filesWritable = true;
    TypeParam again;
    ASSERT_EQ(run.term.attach(again), mql::INIT_SUCCEEDED);
    run.term.tickCount += 250;
    again.OnTimer();
    EXPECT_EQ(run.term.callsOf("SetTTC"), 1);
    EXPECT_EQ(countOf(run.term.alerts, "890.00"), 2);  // the cycle's alert, and the note that it had ended
    EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);
    EXPECT_EQ(stateOf(run.term), "Guard: running");
}

}  // namespace
