// Steps the tests of both expert advisors take alike, over the terminal double and the EA under
// test (the 32-bit one's fixture in guard_mq4.h, the 64-bit one's in guard_mq5_test.cpp).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "mql_double.h"

namespace guard_steps {

// Flat means flat: a close-all on an account 60 and 50 down on two trades (the second on
// secondSymbol) with a kept stop order of stopType on EURUSD, during whose pass another EA opens
// a GBPUSD trade and the stop order fills. The tick starts the close; three timer events (timer)
// carry it on.
template <class Program, class Timer>
void closeWhileTradesOpen(mql::Terminal& term, Program& ea, Timer timer,
                          const std::string& secondSymbol, int stopType) {
  ea.KeepPendingOrders = true;
  term.quotes["GBPUSD"] = {1.25000, 1.25012, 0.00001, 5};
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.openOrder(secondSymbol, mql::OP_SELL, 1.0, -50.0);
  term.openOrder("EURUSD", stopType, 1.0, 0.0);
  const int stop = term.orders.back().ticket;
  term.duringClose.push_back(
      [](mql::Terminal& t) { t.openOrder("GBPUSD", mql::OP_BUY, 0.5, -5.0); });
  term.duringClose.push_back([stop](mql::Terminal& t) { t.fill(stop); });
  ea.OnTick();
  for (int event = 0; event < 3; ++event) timer();
}

// The guard started on one chart, and a second chart (second) of the same terminal started 5 s
// later, while the first one's heartbeat is fresh: refused.
template <class Program>
void startASecondChart(mql::Terminal& term, Program& ea, Program& second) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.chartHandle = 0x2002;
  term.tickCount += 5000;
  EXPECT_EQ(second.OnInit(), mql::INIT_FAILED);
}

// The equity moves to equity (the one open EURUSD trade's result) and a tick comes: true when
// the guard closed every trade; a new trade is opened then, for the next claim.
template <class Program>
bool closesAt(mql::Terminal& term, Program& ea, double equity) {
  term.orders.at(0).profit = equity - term.balance;
  ea.OnTick();
  if (!term.orders.empty()) return false;
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  return true;
}

}  // namespace guard_steps
