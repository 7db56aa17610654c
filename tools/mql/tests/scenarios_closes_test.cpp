// Both expert advisors closing the account: closes in pieces and parts, never sent twice, and a
// cycle and a message that go out once across restarts.
#include "guard_scenarios.h"

namespace guard_scenarios {
namespace {

// Closes that go through: a position larger than the symbol's largest deal closes in pieces, each
// volume written as the step writes it; a close the market fills only in part goes on with what is
// left, which is the same trade (MT4 reopens it "from #" the old ticket); a close an exchange
// answers with "placed" (10008) is sent, and nothing more for its symbol while it is in flight,
// however long (on a netting account a second deal would reverse the position). A close resumed
// after a restart ends the trades it decided on, not one the trader opened while the EA was off.
TYPED_TEST(Scenario, ClosesGoThroughInPiecesAndPartsAndAreNotSentTwice) {
  Run<TypeParam> run;
  run.term.quotes["EURUSD"].volumeMax = 100.0;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.term.openOrder("EURUSD", mql::OP_BUY, 300.0, -110.0);
  run.timer();
  EXPECT_TRUE(run.term.orders.empty());
  EXPECT_EQ(std::count_if(run.term.trades.begin(), run.term.trades.end(),
                          [](const mql::TradeCall& t) { return t.error != 0; }),
            0);
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

  const auto placed = [&run] {
    return std::count_if(run.term.trades.begin(), run.term.trades.end(),
                         [](const mql::TradeCall& t) { return t.error == 10008; });
  };
  if constexpr (!Run<TypeParam>::mt4) {
    run.term.quotes["EURUSD"].placesCloses = true;
    run.term.openOrder("EURUSD", mql::OP_SELL, 1.0, -100.0);
    for (int event = 0; event < 40; ++event) run.timer();  // ten seconds without a fill
    EXPECT_EQ(run.term.trades.back().error, static_cast<int>(mql::mql5::TRADE_RETCODE_PLACED));
    EXPECT_EQ(placed(), 1);
    EXPECT_FALSE(run.alerted("code unknown"));
    EXPECT_FALSE(run.alerted("already under way"));
    run.term.executePlaced();
    run.timer();
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_EQ(run.term.callsOf("SetTTC"), 3);

    Run<TypeParam> netting;
    netting.term.netting = true;
    netting.term.quotes["EURUSD"].volumeMax = 100.0;
    netting.term.quotes["EURUSD"].placesCloses = true;
    ASSERT_EQ(netting.term.attach(netting.ea), mql::INIT_SUCCEEDED);
    netting.term.openOrder("EURUSD", mql::OP_BUY, 300.0, -110.0);
    for (int event = 0; event < 40; ++event) netting.timer();
    EXPECT_EQ(netting.term.callsOf("SetTTC"), 0);
    EXPECT_EQ(std::count_if(netting.term.trades.begin(), netting.term.trades.end(),
                            [](const mql::TradeCall& t) { return t.function == "Sell"; }),
              1);
    for (int fill = 0; fill < 3; ++fill) {
      netting.term.executePlaced();
      for (int event = 0; event < 24; ++event) netting.timer();
    }
    EXPECT_TRUE(netting.term.orders.empty());  // flat, not reversed
    EXPECT_EQ(netting.term.callsOf("SetTTC"), 1);
  }

  Run<TypeParam> steps;
  steps.term.quotes["EURUSD"].volumeMin = 0.1;
  steps.term.quotes["EURUSD"].volumeStep = 0.1;
  steps.term.quotes["EURUSD"].volumeMax = 0.3;
  ASSERT_EQ(steps.term.attach(steps.ea), mql::INIT_SUCCEEDED);
  steps.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  steps.timer();
  EXPECT_TRUE(steps.term.orders.empty());
  ASSERT_GE(steps.term.trades.size(), 3u);
  for (size_t piece = 0; piece < 3; ++piece) EXPECT_EQ(steps.term.trades[piece].lots, 0.3) << piece;

  Run<TypeParam> resumed;
  ASSERT_EQ(resumed.term.attach(resumed.ea), mql::INIT_SUCCEEDED);
  resumed.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
  resumed.term.closedMarkets = {"USDJPY"};
  resumed
      .timer();  // Friday night: the stop loss, and USDJPY's market closed; the computer goes off
  resumed.term.restart(resumed.ea);
  resumed.term.closedMarkets.clear();
  resumed.term.passDays(3);  // Monday, from the phone: USDJPY closed by hand, a new EURUSD trade
  resumed.term.balance += resumed.term.orders[0].result();
  resumed.term.history.push_back(resumed.term.orders[0]);
  resumed.term.history.back().closeTime = resumed.term.now();
  resumed.term.orders.clear();
  resumed.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 5.0);
  TypeParam restarted;
  ASSERT_EQ(resumed.term.attach(restarted), mql::INIT_SUCCEEDED);
  for (int event = 0; event < 4; ++event) {
    resumed.term.tickCount += 250;
    restarted.OnTimer();
  }
  EXPECT_EQ(resumed.term.orders.size(), 1u);
  EXPECT_EQ(resumed.term.callsOf("SetTTC"), 1);
  EXPECT_DOUBLE_EQ(resumed.snapshot(), 890.0);
  EXPECT_TRUE(
      resumed.alerted("trades on EURUSD opened while the EA was off are no part of the close-all"));
  EXPECT_EQ(resumed.state(), "Guard: running");
}
// A cycle is reported once, even when the memory could not note the end of its close; and an
// e-mail sent in a cycle is not sent again after a restart in the same cycle.
TYPED_TEST(Scenario, ACycleAndAMessageGoOutOnceAcrossRestarts) {
  Run<TypeParam> run;
  run.ea.EmailDrawdown = 50;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  run.timer();
  ASSERT_EQ(mailsWith(run.term, "Drawdown >= -$"), 1);
  run.term.restart(run.ea);
  TypeParam restarted;
  restarted.EmailDrawdown = 50;
  ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
  run.term.tickCount += 250;
  restarted.OnTimer();
  EXPECT_EQ(mailsWith(run.term, "Drawdown >= -$"), 1);

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
  EXPECT_EQ(countOf(run.term.alerts, "890.00"),
            2);  // the cycle's alert, and the note that it had ended
  EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);
  EXPECT_EQ(stateOf(run.term), "Guard: running");
}

}  // namespace
}  // namespace guard_scenarios
