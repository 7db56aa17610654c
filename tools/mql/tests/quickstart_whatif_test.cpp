// The quick start's "What if ..." answers, each run through both EAs over the real zentravo.so:
// a restart, a deposit, changed targets. A change of the EA that makes an answer untrue fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "guard_steps.h"
#include "zentravo_guard_mq4.h"
#include "zentravo_guard_mq5.h"

namespace {

// One EA on a 10,000.00 account, the worked example's sets with increase targets out of reach,
// and one open trade whose result moves the equity.
template <class Program>
struct Account {
  mql::Terminal term{ZT_LIBRARY_FILE};
  Program ea;

  Account() {
    ea.TakeProfits = "50,30;80,60";
    ea.DrawdownTargets = "20,40;25,50";
    ea.IncreaseTargets = "20000";
    ea.StopLosses = "100,150";
    EXPECT_EQ(term.attach(ea), mql::INIT_SUCCEEDED);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  }
  void moveTo(double equity) { term.orders.at(0).profit = equity - term.balance; }
  bool closesAt(double equity, Program& running) {
    return guard_steps::closesAt(term, running, equity);
  }
  bool closesAt(double equity) { return closesAt(equity, ea); }
  double snapshot() { return term.library().GetEquitySnap(); }
};

template <class Program>
class WhatIf : public ::testing::Test {};
using Terminals = ::testing::Types<ea_mq4::Program, ea_mq5::Program>;
TYPED_TEST_SUITE(WhatIf, Terminals);

// "The terminal or VPS restarts: the guard goes on from its snapshot; it closes at once if a level
// was passed meanwhile. It said 'stopped' by e-mail as the terminal closed."
TYPED_TEST(WhatIf, ARestartGoesOnFromTheSnapshotAndClosesALevelPassedMeanwhile) {
  Account<TypeParam> run;
  EXPECT_FALSE(run.closesAt(9950.0));
  run.term.restart(run.ea);
  bool stoppedMailed = false;
  for (const auto& mail : run.term.mails)
    stoppedMailed |= mail.body.find("the terminal closes") != std::string::npos;
  EXPECT_TRUE(stoppedMailed);
  run.moveTo(9890.0);  // past the stop loss while the terminal was off
  TypeParam restarted;
  ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
  EXPECT_DOUBLE_EQ(run.snapshot(), 10000.0);
  restarted.OnTick();
  EXPECT_TRUE(run.term.orders.empty());
}

// "You deposit or withdraw: neither profit nor loss; every level moves with it."
TYPED_TEST(WhatIf, ADepositIsNoProfitAndMovesEveryLevel) {
  Account<TypeParam> run;
  run.term.balanceOperation(1000.0);
  EXPECT_FALSE(run.closesAt(11000.0));  // 1,000.00 more equity, no take profit
  EXPECT_FALSE(run.closesAt(11049.0));
  EXPECT_TRUE(run.closesAt(11050.0));  // the take profit 50 above the snapshot, with the deposit
  EXPECT_DOUBLE_EQ(run.snapshot(), 10050.0);
}

// "You change the targets: it starts again with them on the same snapshot (a drawdown stays)."
TYPED_TEST(WhatIf, ChangedTargetsStartAgainOnTheSameSnapshot) {
  Account<TypeParam> run;
  EXPECT_FALSE(run.closesAt(9950.0));
  run.ea.OnDeinit(mql::REASON_PARAMETERS);
  run.ea.StopLosses = "60,150";
  ASSERT_EQ(run.ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_DOUBLE_EQ(run.snapshot(), 10000.0);
  EXPECT_FALSE(run.closesAt(9941.0));
  EXPECT_TRUE(run.closesAt(9940.0));  // 60 below 10,000.00, not below today's 9,950.00
}

// "Other inputs take effect at once": a new e-mail threshold on the running guard is the one the
// e-mail is sent at and the one its text names.
TYPED_TEST(WhatIf, AChangedEmailInputCountsAtOnce) {
  Account<TypeParam> run;
  run.ea.OnDeinit(mql::REASON_PARAMETERS);
  run.ea.EmailDrawdown = 30;
  ASSERT_EQ(run.ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_FALSE(run.closesAt(9971.0));
  EXPECT_TRUE(run.term.mails.empty());
  EXPECT_FALSE(run.closesAt(9970.0));
  ASSERT_EQ(run.term.mails.size(), 1u);
  EXPECT_NE(run.term.mails[0].body.find("Reason: Drawdown Target $30.00 reached"),
            std::string::npos)
      << run.term.mails[0].body;
}

// The margin e-mail in the terminal's terms: the quick start's "set 10000 / (L - 100): 200 for
// 150 %" read out of the text, and a mail only once the terminal's Margin Level (100 x equity /
// margin) falls to that L.
TYPED_TEST(WhatIf, TheMarginEmailAtTheMarginLevelTheQuickStartSays) {
  std::ifstream in(ZT_QUICKSTART, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), {}};
  text = std::regex_replace(text, std::regex(R"(\s+)"), " ");
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(text, m, std::regex(R"(set 10000 / \(L - 100\): (\d+) for (\d+) %)")))
      << "the quick start no longer says how to set EmailMarginPercent for a Margin Level";
  const double setting = std::stod(m[1]), level = std::stod(m[2]);
  EXPECT_DOUBLE_EQ(setting, 10000.0 / (level - 100.0));
  Account<TypeParam> run;
  run.ea.OnDeinit(mql::REASON_PARAMETERS);
  run.ea.EmailMarginPercent = setting;
  ASSERT_EQ(run.ea.OnInit(), mql::INIT_SUCCEEDED);
  run.term.margin = 10000.0 * 100.0 / (level + 1.0);  // a Margin Level just above it
  run.ea.OnTick();
  EXPECT_TRUE(run.term.mails.empty());
  run.term.margin = 10000.0 * 100.0 / (level - 1.0);  // just below it
  run.ea.OnTick();
  EXPECT_EQ(run.term.mails.size(), 1u);
}

}  // namespace
