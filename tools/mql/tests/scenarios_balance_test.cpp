// Both expert advisors on a balance their history does not yet explain: the base waits for a
// quote and a history that explains the balance, and a move the history never explains holds the
// guard with an alert, never a close.
#include "guard_scenarios.h"

namespace guard_scenarios {
namespace {

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
  EXPECT_NE(run.state().find("holding: no base yet: no quote has come yet"), std::string::npos)
      << run.state();
  run.term.quoteKnown = true;
  run.timer();
  EXPECT_NE(run.state().find("holding: no base yet: the account history explains 0.00 of the "
                             "balance and credit 5000.00"),
            std::string::npos)
      << run.state();
  run.deliverHistory();
  for (int event = 0; event < 4; ++event) run.timer();
  EXPECT_TRUE(run.term.trades.empty());
  EXPECT_EQ(run.state(), "Guard: running");
  EXPECT_DOUBLE_EQ(run.snapshot(), 5000.0);
  run.term.orders[0].profit = -101.0;  // a real loss still counts
  run.timer();
  EXPECT_TRUE(run.term.orders.empty());
}
// The balance moves before its record arrives: nothing is judged meanwhile (a stop loss would read
// 200 withdrawn as 200 lost), for seconds, not for a count of checks a busy tick stream runs
// through at once. A move the history never explains holds the guard with an alert naming the
// amount - never a close - until it does; a later amount is no new warning. The 64-bit terminal's
// deal types are read as the reference lists them: an agent commission or interest is money paid
// in, a canceled deal's result is taken back by an operation, and a type the EA does not know
// holds.
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
  EXPECT_EQ(run.state(), "Guard: running");
  EXPECT_FALSE(run.alerted("NOT PROTECTING"));
  run.timer(10000);
  EXPECT_NE(
      run.state().find("holding: the balance moved by -300.00 more than the account history shows"),
      std::string::npos)
      << run.state();
  EXPECT_TRUE(run.alerted("NOT PROTECTING: holding: the balance moved by -300.00"));
  run.term.balanceOperation(-50.0, mql::BOOK_BALANCE, true);
  run.timer();
  EXPECT_NE(run.state().find("the balance moved by -350.00"), std::string::npos) << run.state();
  EXPECT_EQ(countOf(run.term.alerts, "NOT PROTECTING: holding: the balance moved by"), 1);
  EXPECT_EQ(mailsWith(run.term, "NOT PROTECTING: holding: the balance moved by"), 1);
  EXPECT_TRUE(run.term.trades.empty());
  run.term.land();
  run.timer();
  EXPECT_EQ(run.state(), "Guard: running");
  EXPECT_TRUE(run.alerted("protecting again"));
  run.term.orders[0].profit = -101.0;  // 349 of equity, 899 of trading equity: the stop loss
  run.timer();
  EXPECT_TRUE(run.term.orders.empty());
  EXPECT_DOUBLE_EQ(run.snapshot(), 899.0);

  if constexpr (!Run<TypeParam>::mt4) {
    Run<TypeParam> deals;
    ASSERT_EQ(deals.term.attach(deals.ea), mql::INIT_SUCCEEDED);
    deals.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 40.0);
    deals.term.history.push_back(deals.term.orders[0]);  // a trade closed at +40
    deals.term.history.back().closeTime = deals.term.now();
    deals.term.balance += 40.0;
    deals.term.orders[0] = {deals.term.newTicket(),  "EURUSD", mql::OP_BUY, 1.0, 0.0,
                            deals.term.newOpenTime()};
    deals.timer();
    deals.term.balanceOperation(60.0,
                                mql::BOOK_AGENT_COMMISSION);  // paid to the introducing broker
    deals.term.balanceOperation(2.0, mql::BOOK_INTEREST);
    deals.term.cancelDeal(deals.term.history[1].ticket);
    for (int event = 0; event < 2; ++event) deals.timer();
    EXPECT_EQ(deals.term.orders.size(),
              1u);  // 1102 is no take profit at 1050: 62 came from outside
    EXPECT_EQ(deals.state(), "Guard: running");
    deals.term.balanceOperation(5.0, mql::BOOK_UNLISTED);
    deals.timer();
    EXPECT_NE(deals.state().find("of a type the EA does not know"), std::string::npos)
        << deals.state();
    EXPECT_EQ(deals.term.orders.size(), 1u);
  }
}

}  // namespace
}  // namespace guard_scenarios
