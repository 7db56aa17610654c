// Both expert advisors where a real terminal could leave the account unprotected without a word:
// what the EA cannot do it says on every channel, and one guard on one thread guards the account.
#include "guard_scenarios.h"

namespace guard_scenarios {
namespace {

// Never silently unprotected: an investor-password login says so at once; a stop loss hit while
// AutoTrading is off is in every warning; a close the market refuses reaches e-mail and push every
// interval, and so does the cycle once it is done; with e-mail and push off the EA says its
// warnings stay on the screen; with DLL imports off the EA stays and warns on every channel,
// calling the library never; out-of-range inputs refuse to start, naming the input and its range;
// a guard that stops - its chart closed, the terminal closed mid-close, new inputs refused - says
// so on every channel; a timer the terminal refuses is reported and tried again.
TYPED_TEST(Scenario, WhatTheEaCannotDoItSaysOnEveryChannel) {
  {
    Run<TypeParam> run;
    run.term.accountTradeAllowed = false;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_EQ(run.state(),
              "Guard: NOT PROTECTING - trading is not allowed on this account (logged in with the "
              "investor password?)");
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.autoTrading = false;
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
    for (int event = 0; event < 241; ++event) run.timer();  // a minute
    const std::string pending =
        "stop loss reached - close-all pending: AutoTrading is off in the terminal";
    EXPECT_EQ(run.state(), "Guard: NOT PROTECTING - " + pending);
    EXPECT_EQ(countOf(run.term.alerts, pending), 2);
    EXPECT_EQ(mailsWith(run.term, pending), 2);
    EXPECT_EQ(run.term.orders.size(), 1u);
  }
  {
    Run<TypeParam> run;
    run.ea.PushNotifications = true;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
    run.term.closedMarkets = {"USDJPY"};
    for (int event = 0; event < 241; ++event) run.timer();  // a minute
    const std::string blocked =
        "NOT PROTECTING: stop loss reached - close-all blocked: market closed (";
    EXPECT_NE(run.state().find("CLOSING - blocked: market closed ("), std::string::npos)
        << run.state();
    EXPECT_EQ(mailsWith(run.term, blocked), 2);
    EXPECT_EQ(countOf(run.term.pushes, blocked), 2);
    run.term.closedMarkets.clear();
    run.timer();
    EXPECT_EQ(mailsWith(run.term, "ZentravoGuard: Prev Snap $1000.00"), 1);
    run.timer(1000);  // a push within a second of the last waits for the next check
    EXPECT_EQ(countOf(run.term.pushes, "ZT CloseAll Stop Loss Complete"), 1);
    EXPECT_FALSE(run.alerted("protecting again"));
  }
  {
    Run<TypeParam> run;
    run.term.mailEnabled = false;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_TRUE(run.alerted("its warnings reach this screen only"));
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.ea.OnDeinit(mql::REASON_CHARTCHANGE);  // a new timeframe: the EA starts again at once
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_FALSE(run.alerted("stopped"));
    run.term.closeChart(run.ea);
    EXPECT_EQ(
        mailsWith(run.term,
                  "ZentravoGuard stopped (its chart was closed): the account is not protected"),
        1);
    TypeParam again;
    ASSERT_EQ(run.term.attach(again), mql::INIT_SUCCEEDED);
    run.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
    run.term.closedMarkets = {"USDJPY"};
    run.term.tickCount += 250;
    again.OnTimer();
    run.term.restart(again);
    EXPECT_EQ(
        mailsWith(run.term,
                  "ZentravoGuard stopped (the terminal closes): the account is not protected; stop "
                  "loss reached - a close-all is pending"),
        1);
    TypeParam third;
    ASSERT_EQ(run.term.attach(third), mql::INIT_SUCCEEDED);
    EXPECT_EQ(run.term.changeInputs(third, [](TypeParam& ea) { ea.TimerMs = 20; }),
              mql::INIT_PARAMETERS_INCORRECT);
    EXPECT_EQ(
        mailsWith(
            run.term,
            "ZentravoGuard stopped (its new inputs are refused: TimerMs is 20; it must be from "
            "50 to 60000"),
        1);
  }
  {
    Run<TypeParam> run;
    run.term.dllsAllowed = false;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    for (int event = 0; event < 240; ++event) run.timer();
    EXPECT_EQ(countOf(run.term.alerts, "NOT PROTECTING: DLL imports are not allowed for the EA"),
              2);
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
// One thread calls the library: a chart the guard refused makes no call, in OnDeinit neither; a
// guard on a slow timer keeps its chart lock for three of its intervals, and one that was silent
// longer (a frozen terminal) and lost it to another chart stops calling the library. Each event
// checks the account it runs on: after a switch the new account's equity is not judged against
// the old snapshot. A second terminal on the account holds while the first guards it, and after
// it, since it cannot know what the first one closed and rolled.
TYPED_TEST(Scenario, OneGuardCallsTheLibraryAndOneGuardsTheAccount) {
  {
    Run<TypeParam> slow;
    slow.ea.TimerMs = 20000;
    ASSERT_EQ(slow.term.attach(slow.ea), mql::INIT_SUCCEEDED);
    const int chart = slow.term.chartHandle;
    slow.term.tickCount += 11000;  // a quiet market, the next timer event 9 s away
    slow.term.chartHandle = 0x2002;
    TypeParam second;
    EXPECT_EQ(slow.term.attach(second), mql::INIT_FAILED);
    slow.term.tickCount += 50000;  // silent for a minute
    TypeParam third;
    EXPECT_EQ(slow.term.attach(third), mql::INIT_SUCCEEDED);
    slow.term.chartHandle = chart;
    const size_t calls = slow.term.calls.size();
    slow.ea.OnTimer();
    EXPECT_EQ(slow.term.calls.size(), calls);
    EXPECT_TRUE(slow.alerted("another chart of this terminal took the guard over"));
    slow.term.chartHandle = 0x2002;
    slow.term.tickCount += 250;
    third.OnTimer();
    EXPECT_EQ(slow.state(), "Guard: running");
  }
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
  EXPECT_NE(stateOf(second).find(
                "holding: another terminal on this computer guards account 123456@Broker-Demo"),
            std::string::npos)
      << stateOf(second);
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
  EXPECT_NE(run.state().find("holding: the terminal switched to account 777001@Broker-Demo"),
            std::string::npos)
      << run.state();
  run.ea.OnDeinit(mql::REASON_REMOVE);

  second.activate();
  second.tickCount += 250;
  secondEa.OnTimer();
  EXPECT_NE(
      stateOf(second).find("holding: account 123456@Broker-Demo was guarded by the terminal in " +
                           run.term.dataFolder),
      std::string::npos)
      << stateOf(second);
  EXPECT_TRUE(second.trades.empty());
}

}  // namespace
}  // namespace guard_scenarios
