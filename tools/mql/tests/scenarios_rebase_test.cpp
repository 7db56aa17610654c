// Both expert advisors where a real terminal could re-base the guard in silence: a lost or held
// settings file, another account, StartOver, a library that moved, an older version's memory.
#include "guard_scenarios.h"

namespace guard_scenarios {
namespace {

// Nothing re-bases the guard but the trader. A settings file lost with the memory intact holds
// (started afresh, the library would move the stop from 900 to 820); so does a login of 0. A
// round trip to another account and back restores the first from the EA's memory, ladder and
// all, and says the stop loss starts from its first entry again; StartOver acts once, and left
// true it re-bases nothing later (a renamed server holds), nor does a program that starts with it
// true. A first start whose library cannot read its settings file takes no base on the equity it
// started from; a library that moves under the running guard (another program started it again)
// holds it; an older version's memory holds even without a settings file. What the library could
// not write - a step still held as the terminal stopped, a roll it could not save - comes back
// from the EA's memory.
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
    EXPECT_NE(run.state().find(
                  "holding: the library's settings file was lost: it started afresh on the present "
                  "equity 920.00, while the EA last saw the snapshot 1000.00"),
              std::string::npos)
        << run.state();
    EXPECT_TRUE(run.alerted("NOT PROTECTING: holding: the library's settings file was lost"));
  }
  {
    Run<TypeParam> run;
    run.term.login = 0;
    run.term.server = "";
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("holding: the terminal has not logged in to the account yet"),
              std::string::npos);
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
  EXPECT_NE(run.state().find("holding: account 777001@Broker-Demo is new to the guard"),
            std::string::npos)
      << run.state();
  run.ea.OnDeinit(mql::REASON_PARAMETERS);
  run.ea.StartOver = true;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(run.alerted(
      "started over on the present equity 975.00 as asked (StartOver); the snapshot 1000.00 is "
      "dropped. Set StartOver back to false now"));
  run.ea.OnDeinit(mql::REASON_ACCOUNT);
  run.term.login = 123456;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(run.alerted(
      "account 123456@Broker-Demo resumed from the EA's memory (snapshot 1000.00); the "
      "library had guarded 777001@Broker-Demo since; the stop loss and the increase targets start "
      "again from their first entries"));
  EXPECT_DOUBLE_EQ(run.snapshot(), 1000.0);
  int tpSet = -1, tp = -1, ddSet = -1, dd = -1;
  run.term.library().GetIndex(&tpSet, &tp, &ddSet, &dd);
  EXPECT_EQ(tp, 1);
  EXPECT_EQ(dd, 1);
  EXPECT_EQ(run.state(), "Guard: running");
  run.ea.OnDeinit(mql::REASON_ACCOUNT);
  run.term.server = "Broker-Demo2";
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  EXPECT_NE(run.state().find("(the same login: did the broker rename its server?)"),
            std::string::npos)
      << run.state();
  EXPECT_EQ(countOf(run.term.alerts, "started over on the present equity"), 1);
  EXPECT_TRUE(run.term.trades.empty());
}
TYPED_TEST(Scenario, NothingReBasesTheGuardButTheTraderNorAFileTheLibraryCouldNotRead) {
  const std::string olderSettings =
      "[SNAP]\nEquity Snap=1500.00\nInitial "
      "Equity=1500.00\n[INDEX]\nTPSet=0\nDDSet=0\nTP=0\nDD=0\n";
  {
    Run<TypeParam> run;
    writeFile(run.term.settingsFile(), olderSettings);
    writeFile(run.term.filesFolder() + "/ZentravoGuard.state", "snapshot=1500.00\n");
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
    run.term.holdSettings();
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.timer();
    EXPECT_NE(run.state().find("holding: the library cannot read its settings file yet"),
              std::string::npos)
        << run.state();
    run.term.releaseSettings();
    for (int event = 0; event < 2; ++event) run.timer();
    EXPECT_NE(run.state().find("of an older version"), std::string::npos) << run.state();
    EXPECT_TRUE(
        run.term.trades.empty());  // the library resumed 1500: 1000 is no stop loss of a base
  }
  {
    Run<TypeParam> run;
    writeFile(run.term.filesFolder() + "/ZentravoGuard.state", "snapshot=1500.00\n");
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("of an older version"), std::string::npos) << run.state();
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -10.0);
    run.timer();
    auto& library = run.term.library();  // an older EA on another chart starts the library again
    library.SetLastValues(1100.0, 0, 0, 0, 0);
    double initial = 0.0;
    library.InitZT(run.term.chartHandle, "older", &initial, 990.0, 0.0, 990.0, "50", "20", "2000",
                   "100");
    run.timer();
    EXPECT_NE(run.state().find(
                  "holding: the library's snapshot and ladder positions moved to 1100.00 (0,0,0,0) "
                  "from 1000.00 (0,0,0,0) without a decision of the guard"),
              std::string::npos)
        << run.state();
    EXPECT_TRUE(run.term.trades.empty());
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -80.0);
    run.timer();
    run.term.restart(run.ea);
    std::filesystem::remove(run.term.settingsFile());
    TypeParam kept;
    kept.StartOver = true;  // the chart (a profile, a template) kept StartOver = true
    ASSERT_EQ(run.term.attach(kept), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("holding: the library's settings file was lost"), std::string::npos)
        << run.state();
    EXPECT_TRUE(run.alerted("StartOver is true as the EA starts"));
    EXPECT_FALSE(run.alerted("started over"));
    run.term.changeInputs(kept, [](TypeParam& ea) { ea.StartOver = false; });
    run.term.changeInputs(kept, [](TypeParam& ea) { ea.StartOver = true; });
    EXPECT_TRUE(run.alerted("started over on the present equity 920.00 as asked"));
    EXPECT_EQ(run.state(), "Guard: running");
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -25.0);
    run.timer();  // 975: the first drawdown target moves the ladder on
    run.term.restart(run.ea);
    // The step's write was still held when the terminal stopped: the file has the first positions.
    writeFile(run.term.settingsFile(), std::regex_replace(readFile(run.term.settingsFile()),
                                                          std::regex("(TP|DD)=1"), "$1=0"));
    TypeParam restarted;
    ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
    EXPECT_TRUE(run.alerted(
        "the library's ladder positions 0,0,0,0 are not the ones the EA last saw, 0,1,0,1"));
    int tpSet = -1, tp = -1, ddSet = -1, dd = -1;
    run.term.library().GetIndex(&tpSet, &tp, &ddSet, &dd);
    EXPECT_EQ(tp, 1);
    EXPECT_EQ(dd, 1);
    EXPECT_EQ(run.state(), "Guard: running");
  }
  Run<TypeParam> run;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  run.term.holdSettings();  // from now on the library cannot write its settings file
  run.timer();              // the stop loss: closed and rolled to 890, which the file never gets
  EXPECT_TRUE(run.alerted("the library's notice says: Settings not saved"));
  EXPECT_EQ(mailsWith(run.term, "Settings not saved"), 1);
  run.term.restart(run.ea);
  run.term.releaseSettings();
  TypeParam restarted;
  ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(run.alerted(
      "resumed from the EA's memory (snapshot 890.00); the library could not save its settings"));
  EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);
  EXPECT_EQ(run.state(), "Guard: running");
}
// A file another program holds neither re-bases the guard nor drops a close it decided. A stop loss
// whose close the market refused when the terminal stopped goes on at the restart although the
// library cannot read its settings file yet: its trades close, every warning says the close-all is
// pending, StartOver waits, and the cycle is reported once the library has read the file. After a
// settings file lost for good, StartOver re-bases the books and the close goes on. A memory file a
// virus scanner reads as well is no reason to hold; one a backup keeps to itself holds until it
// lets go, by itself.
TYPED_TEST(Scenario, AHeldFileNeitherReBasesNorDropsAClose) {
  {
    Run<TypeParam> run;
    run.restartWithAStopLossCloseOwed();
    std::filesystem::remove(run.term.settingsFile());
    TypeParam restarted;
    ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
    EXPECT_NE(
        run.state().find(
            "stop loss reached - close-all pending: holding: the library's settings file was lost"),
        std::string::npos)
        << run.state();
    run.term.changeInputs(restarted, [](TypeParam& ea) { ea.StartOver = true; });
    EXPECT_TRUE(run.alerted(
        "as asked (StartOver); the snapshot 1000.00 the EA last saw (the library held 890.00) is "
        "dropped; the close-all under way goes on"));
    run.term.closedMarkets.clear();
    run.term.tickCount += 250;
    restarted.OnTimer();
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_EQ(run.term.callsOf("SetTTC"), 1);
    EXPECT_EQ(run.state(), "Guard: running");
  }
  {
    Run<TypeParam> run;
    run.restartWithAStopLossCloseOwed();
    run.term.holdSettings();
    run.term.closedMarkets.clear();
    run.term.partialFills = {0.5};  // closed in two parts (MT4: the rest under a new ticket)
    TypeParam restarted;
    ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
    for (int event = 0; event < 2; ++event) {
      run.term.tickCount += 250;
      restarted.OnTimer();
    }
    EXPECT_NE(
        run.state().find(
            "NOT PROTECTING - stop loss reached - close-all pending: holding: the library cannot "
            "read its settings file yet"),
        std::string::npos)
        << run.state();
    EXPECT_TRUE(run.alerted("NOT PROTECTING: stop loss reached - close-all pending: holding:"));
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_EQ(run.term.callsOf("SetTTC"), 0);
    run.term.changeInputs(restarted, [](TypeParam& ea) { ea.StartOver = true; });
    EXPECT_TRUE(run.alerted("StartOver waits"));
    EXPECT_EQ(run.term.callsOf("SetLastValues"), 0);
    run.term.releaseSettings();
    run.term.tickCount += 250;
    restarted.OnTimer();
    EXPECT_EQ(run.term.callsOf("SetTTC"), 1);
    EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);
    EXPECT_EQ(run.state(), "Guard: running");
  }
  Run<TypeParam> run;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.timer();
  run.term.restart(run.ea);
  const std::string memory = "ZentravoGuard\\123456@Broker-Demo.state";
  using namespace mql::shared;
  mql::outsideHold(memory,
                   FILE_READ | FILE_SHARE_READ | FILE_SHARE_WRITE);  // a virus scanner reading it
  TypeParam scanned;
  ASSERT_EQ(run.term.attach(scanned), mql::INIT_SUCCEEDED);
  EXPECT_EQ(run.state(), "Guard: running");
  mql::outsideRelease(memory);
  run.term.restart(scanned);
  mql::outsideHold(memory, FILE_READ);  // a backup reading it alone
  TypeParam backedUp;
  ASSERT_EQ(run.term.attach(backedUp), mql::INIT_SUCCEEDED);
  run.term.tickCount += 250;
  backedUp.OnTimer();
  EXPECT_NE(run.state().find("holding: the EA's memory file MQL"), std::string::npos)
      << run.state();
  EXPECT_NE(run.state().find("cannot be opened now"), std::string::npos) << run.state();
  mql::outsideRelease(memory);
  run.term.tickCount += 250;
  backedUp.OnTimer();
  EXPECT_EQ(run.state(), "Guard: running");
  EXPECT_TRUE(run.term.trades.empty());
}

}  // namespace
}  // namespace guard_scenarios
