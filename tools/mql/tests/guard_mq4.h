// The 32-bit expert advisor (hosts/mql4 over hosts/shared), translated and run over the terminal
// double against the real zentravo.so: the fixture its scenarios share, a terminal with a funded
// account of 1000.00 and the EA with its default inputs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "guard_steps.h"
#include "zentravo_guard_mq4.h"

namespace guard_mq4 {

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
  // The EA started with e-mail and push from a drawdown of 50, on an account 60 down.
  void startInADrawdownToMail() {
    ea.EmailDrawdown = 50;
    ea.PushNotifications = true;
    ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  }
  // The EA started again on the account's one open trade at 1000: it closes nothing on the
  // money moved before, and a real loss of 101 still closes the trade and rolls the snapshot.
  void expectOnlyARealLossCloses(ea_mq4::Program& restarted) {
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
  bool alerted(const std::string& part) const {
    for (const auto& a : term.alerts)
      if (a.find(part) != std::string::npos) return true;
    return false;
  }
};

}  // namespace guard_mq4
