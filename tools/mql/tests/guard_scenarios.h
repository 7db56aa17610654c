// What the scenarios of both expert advisors share: a terminal with a funded account and the EA
// of the scenario on its chart, the lines of its state and its alerts, and the typed fixture that
// runs each scenario on the 32-bit and the 64-bit EA alike, translated and run over the terminal
// double against the real zentravo.so.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <type_traits>
#include <vector>

#include "zentravo_guard_mq4.h"
#include "zentravo_guard_mq5.h"

namespace guard_scenarios {

inline std::string stateOf(const mql::Terminal& t) {
  std::string text = t.label("ZT_STATE");
  for (int line = 1; !t.label("ZT_STATE_" + std::to_string(line)).empty(); ++line)
    text += " " + t.label("ZT_STATE_" + std::to_string(line)).substr(7);
  return text;
}
inline int countOf(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(part) != std::string::npos;
  }));
}
inline int mailsWith(const mql::Terminal& t, const std::string& part) {
  return static_cast<int>(std::count_if(t.mails.begin(), t.mails.end(), [&](const mql::Mail& m) {
    return m.subject.find(part) != std::string::npos;
  }));
}
inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
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
  // A stop loss whose close the market refused (USDJPY closed for the weekend), and the terminal
  // restarted before the market opened: the close is owed when the EA starts again.
  void restartWithAStopLossCloseOwed() {
    ASSERT_EQ(term.attach(ea), mql::INIT_SUCCEEDED);
    term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
    term.closedMarkets = {"USDJPY"};
    timer();
    term.restart(ea);
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
    if constexpr (mt4)
      term.historyFrom = 0;
    else
      term.land();
  }
};

template <class Program>
class Scenario : public ::testing::Test {};
using BothEas = ::testing::Types<ea_mq4::Program, ea_mq5::Program>;
TYPED_TEST_SUITE(Scenario, BothEas);

}  // namespace guard_scenarios
