// What the EA tells the trader about the target inputs as the guard starts, and the ladder rules
// the quick start states, run through both EAs over the real zentravo.so.
#include <gtest/gtest.h>

#include <string>

#include "guard_steps.h"
#include "zentravo_guard_mq4.h"
#include "zentravo_guard_mq5.h"

namespace {

// One EA on a 10,000.00 account with one open trade whose result moves the equity.
template <class Program>
class Guarded {
 public:
  Guarded(const std::string& takeProfits, const std::string& drawdownTargets,
          const std::string& increaseTargets, const std::string& stopLosses = "100,150") {
    term.fund(10000.0);
    ea.TakeProfits = takeProfits;
    ea.DrawdownTargets = drawdownTargets;
    ea.IncreaseTargets = increaseTargets;
    ea.StopLosses = stopLosses;
  }
  int start() {
    const int result = ea.OnInit();
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
    return result;
  }
  bool closesAt(double equity) { return guard_steps::closesAt(term, ea, equity); }
  int alertsWith(const std::string& part) const {
    int n = 0;
    for (const auto& a : term.alerts) n += a.find(part) != std::string::npos;
    return n;
  }
  std::string allAlerts() const {
    std::string all;
    for (const auto& a : term.alerts) all += a + "\n";
    return all;
  }

  mql::Terminal term{ZT_LIBRARY_FILE};
  Program ea;
};

constexpr char kPairing[] = "the targets do not pair up";
constexpr char kIncrease[] = "is not above the snapshot";

// Each drawdown target but the set's last moves the take profit on: a third take profit beside
// two drawdown targets is never used (the equity passes both targets, and the take profit is the
// second amount), and the EA says so as it starts.
TEST(StartWarnings, ATakeProfitTheDrawdownTargetsNeverReachIsSaid) {
  Guarded<ea_mq4::Program> run("50,30,10", "20,40", "20000");
  ASSERT_EQ(run.start(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(run.alertsWith("set 1 has 3 take profits for 2 drawdown targets"), 1)
      << run.allAlerts();
  EXPECT_FALSE(run.closesAt(9980.0));  // the first target: the take profit moves to 30
  EXPECT_FALSE(run.closesAt(9960.0));  // the last: nothing moves
  EXPECT_FALSE(run.closesAt(9940.0));
  EXPECT_FALSE(run.closesAt(10010.0));
  EXPECT_TRUE(run.closesAt(10030.0));
}

template <class Program>
void expectPairingSaid(const std::string& takeProfits, const std::string& drawdownTargets,
                       const std::string& said) {
  Guarded<Program> run(takeProfits, drawdownTargets, "20000");
  ASSERT_EQ(run.start(), mql::INIT_SUCCEEDED);
  if (said.empty())
    EXPECT_EQ(run.alertsWith(kPairing), 0) << takeProfits << " | " << drawdownTargets << "\n"
                                           << run.allAlerts();
  else
    EXPECT_EQ(run.alertsWith(said), 1) << takeProfits << " | " << drawdownTargets << "\n"
                                       << run.allAlerts();
}

// Both EAs, the same words: a short set, a set count that differs, and sets that pair up (the
// worked example's, a lone take profit, a ';' at the end) said nothing about.
TEST(StartWarnings, SetsThatDoNotPairUpAreSaidOnBothTerminals) {
  for (auto check : {expectPairingSaid<ea_mq4::Program>, expectPairingSaid<ea_mq5::Program>}) {
    check("50;80,60", "20,40;25,50", "set 1 has 1 take profits for 2 drawdown targets");
    check("50,30;80,60", "20,40", "TakeProfits has 2 sets, DrawdownTargets 1");
    check("50,30;80,60", "20,40;25,50", "");
    check("50", "", "");
    check("50,30;", "20,40", "");
  }
}

// The default increase targets on a 10,000.00 account: the EA says at its start that the first
// close moves on, and the first take profit does move the guard to the second sets (its take
// profit 80 and stop loss 150 on the new snapshot).
template <class Program>
void expectIncreaseBelowTheEquitySaid() {
  Guarded<Program> run("50,30;80,60", "20,40;25,50", "1100,1200");
  ASSERT_EQ(run.start(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(run.alertsWith("IncreaseTargets 1100.00 is not above the snapshot 10000.00"), 1)
      << run.allAlerts();
  EXPECT_TRUE(run.closesAt(10050.0));
  EXPECT_FALSE(run.closesAt(10129.0));
  EXPECT_TRUE(run.closesAt(10130.0));
}

TEST(StartWarnings, IncreaseTargetsBelowTheEquityAreSaidOnBothTerminals) {
  expectIncreaseBelowTheEquitySaid<ea_mq4::Program>();
  expectIncreaseBelowTheEquitySaid<ea_mq5::Program>();
}

// Said once for the targets the guard runs: a new timeframe keeps the guard and says nothing
// again; new targets are looked at anew, and targets above the equity are no warning.
TEST(StartWarnings, SaidOnceForEachSetOfTargets) {
  Guarded<ea_mq4::Program> run("50,30;80,60", "20,40;25,50", "1100,1200");
  ASSERT_EQ(run.start(), mql::INIT_SUCCEEDED);
  run.ea.OnDeinit(mql::REASON_CHARTCHANGE);
  ASSERT_EQ(run.ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(run.alertsWith(kIncrease), 1);
  run.ea.OnDeinit(mql::REASON_PARAMETERS);
  run.ea.IncreaseTargets = "1100,12000";
  ASSERT_EQ(run.ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(run.alertsWith(kIncrease), 2);
  run.ea.OnDeinit(mql::REASON_PARAMETERS);
  run.ea.IncreaseTargets = "10500,11000";
  ASSERT_EQ(run.ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(run.alertsWith(kIncrease), 2) << run.allAlerts();
  EXPECT_EQ(run.alertsWith(kPairing), 0);
}

// DLL imports off in the terminal: the EA stays and its warning names both tick boxes, the
// terminal's and the EA's own, which the trader must tick too.
template <class Program>
void expectBothDllBoxesNamed() {
  Guarded<Program> run("50,30;80,60", "20,40;25,50", "20000");
  run.term.terminalDllsAllowed = false;
  ASSERT_EQ(run.start(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(run.alertsWith("allow them in Tools - Options - Expert Advisors and in the EA's "
                           "properties (Common tab; MetaTrader 5: Dependencies tab)"),
            1)
      << run.allAlerts();
}

TEST(StartWarnings, DllImportsOffInTheTerminalNameTheEasOwnBoxToo) {
  expectBothDllBoxesNamed<ea_mq4::Program>();
  expectBothDllBoxesNamed<ea_mq5::Program>();
}

}  // namespace
