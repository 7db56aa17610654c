// The 32-bit expert advisor starting and running: its timer and panel, the tester and DLL
// imports refused, a connection waited for, new inputs and charts, what it reads of its inputs,
// its messages by mail and push, and the panel's columns.
#include "guard_mq4.h"

namespace guard_mq4 {
namespace {

TEST_F(Mq4Guard, StartsOnTheAccountEquityWithTimerAndPanel) {
  ea.EmailMarginPercent = 150;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  EXPECT_EQ(term.timerMs, 250);
  EXPECT_EQ(state(), "Guard: running");
  // The host cells of the second column.
  EXPECT_EQ(term.label("ZT_V1_9"), "off");
  EXPECT_EQ(term.label("ZT_V1_10"), "150.00%");
  EXPECT_EQ(term.label("ZT_V1_12"), "1:100");
  EXPECT_EQ(term.label("ZT_V1_13"), "1.10000 / 1.10010; 10");
  EXPECT_EQ(term.label("ZT_L1_13"), "Current Bid/Ask; Spread");
  EXPECT_EQ(term.objects.size(), 2u * 16 + 2u * 14 + 1);
  EXPECT_GT(term.redraws, 0);
  ea.OnDeinit(mql::REASON_REMOVE);
  EXPECT_TRUE(term.objects.empty());
  EXPECT_EQ(term.timerMs, 0);
}

TEST_F(Mq4Guard, EquityMovedByAnotherSymbolIsSeenOnTheTimer) {
  term.quotes["GBPUSD"] = {1.25000, 1.25012, 0.00001, 5};
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("GBPUSD", mql::OP_SELL, 1.0, -120.0);
  timer();  // no EURUSD tick
  EXPECT_TRUE(term.orders.empty());
  EXPECT_DOUBLE_EQ(snapshot(), 880.0);
}

TEST_F(Mq4Guard, ReinitialisationKeepsTheGuardUnlessTheTargetsChange) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ea.OnDeinit(kReasonChartChange);
  term.chartPeriod = 240;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.callsOf("InitZT"), 1);
  EXPECT_TRUE(term.alerts.empty());

  ea.OnDeinit(kReasonParameters);
  ea.StopLosses = "50,150";
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  EXPECT_EQ(term.callsOf("InitZT"), 2);
  EXPECT_TRUE(alerted("the targets changed"));
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -55.0);
  ea.OnTick();  // 945 is below the new stop loss of 50
  EXPECT_TRUE(term.orders.empty());
}

TEST_F(Mq4Guard, StartWithoutAConnectionWaitsForTheEquity) {
  term.accountKnown = false;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  timer();
  EXPECT_EQ(term.callsOf("InitZT"), 0);
  EXPECT_EQ(state(), "Guard: waiting for the account's equity");
  term.accountKnown = true;
  timer();
  EXPECT_EQ(term.callsOf("InitZT"), 1);
  EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
  EXPECT_EQ(state(), "Guard: running");
}

// The tester is refused, and the refused instance calls the library in OnDeinit neither; with
// DLL imports off the EA stays and says what to allow, without a call to the library.
TEST_F(Mq4Guard, RefusesTheStrategyTesterAndWarnsWithoutDllImports) {
  term.tester = true;
  EXPECT_EQ(term.attach(ea), mql::INIT_FAILED);
  EXPECT_TRUE(alerted("strategy tester"));
  term.tester = false;
  term.dllsAllowed = false;
  EXPECT_EQ(term.attach(ea), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(alerted("DLL imports are not allowed for the EA: allow them"));
  EXPECT_TRUE(term.calls.empty());
}

TEST_F(Mq4Guard, AFailedMailIsSentAgainAndPushFollowsTheTerminalSetting) {
  startInADrawdownToMail();
  term.mailWorks = false;
  ea.OnTick();
  ea.OnTick();
  EXPECT_EQ(term.mails.size(), 1u);  // not again on the next tick
  term.mailWorks = true;
  timer(60000);
  ea.OnTick();
  ASSERT_EQ(term.mails.size(), 2u);  // tried again a minute later, then not again in this cycle
  char subject[ZT_TEXT_CAPACITY] = {};
  term.library().GetEmailSubject(2, subject);
  EXPECT_EQ(term.mails[1].subject, subject);
  EXPECT_EQ(term.pushes.size(), 1u);  // the push went out at once, on its own

  term.mailEnabled = false;
  term.pushEnabled = false;
  ea.ZhNewMessageCycle();
  ea.OnTick();
  EXPECT_EQ(term.mails.size(), 2u);
  EXPECT_EQ(term.pushes.size(), 1u);
}

// A phone that never gets the push: the e-mail still goes out once, and the push is retried
// within the terminal's limits (2 a second, 10 a minute), not on every timer event.
TEST_F(Mq4Guard, AFailingPushNeitherResendsTheMailNorFloodsTheTerminal) {
  startInADrawdownToMail();
  term.pushWorks = false;
  for (int event = 0; event < 240; ++event) timer();  // a minute of timer events
  EXPECT_EQ(term.mails.size(), 1u);
  EXPECT_GE(term.pushes.size(), 1u);
  EXPECT_LE(term.pushes.size(), 2u);
  for (const auto& line : term.prints)
    EXPECT_EQ(line.find("error 4253"), std::string::npos) << line;

  // No MetaQuotes ID: said once, and no push is tried at all.
  term.metaQuotesId = false;
  const std::size_t pushes = term.pushes.size();
  ea.ZhNewMessageCycle();
  for (int event = 0; event < 20; ++event) timer();
  EXPECT_EQ(term.pushes.size(), pushes);
  int said = 0;
  for (const auto& a : term.alerts) said += a.find("no MetaQuotes ID") != std::string::npos;
  EXPECT_EQ(said, 1);
}

TEST_F(Mq4Guard, ReadsIncreaseTargetsAsTheLibraryDoes) {
  ea.IncreaseTargets = "1100 1200;1300/1400,1500,1600,1700,1800,1900";
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  ASSERT_EQ(ea.gIncreaseTargets.size(), 8);
  EXPECT_DOUBLE_EQ(ea.gIncreaseTargets[1], 1200.0);
  EXPECT_DOUBLE_EQ(ea.gIncreaseTargets[2], 1300.0);
  EXPECT_DOUBLE_EQ(ea.gIncreaseTargets[7], 1800.0);
}

TEST_F(Mq4Guard, OneChartRunsTheGuardASecondIsRefusedUntilTheFirstFallsSilent) {
  ea_mq4::Program second;
  ASSERT_NO_FATAL_FAILURE(guard_steps::startASecondChart(term, ea, second));
  EXPECT_TRUE(alerted("already runs on another chart"));
  EXPECT_EQ(term.callsOf("InitZT"), 1);
  term.tickCount += 11000;  // no heartbeat from the first chart for 16 s
  EXPECT_EQ(second.OnInit(), mql::INIT_SUCCEEDED);
}

// With 7-digit amounts after a closed cycle (the widest column-0 value: "Prev Snapshot / Last
// Eq DD", two amounts with their times) neither column runs into the next, also where Windows
// scales the display (fonts grow, pixel distances do not unless the EA scales them). The EA
// places the labels in Courier New 8; the check takes that font's advance, 0.6 em (1229 of 2048
// units), at 8 pt on the screen's DPI.
// The second column sits below the first, so a tiled chart 800 px wide keeps the stop loss even
// at 150 % display scaling, and every cell stays inside the panel's width for 7-digit amounts.
TEST_F(Mq4Guard, PanelSecondColumnSitsBelowTheFirstWithinItsWidthForSevenDigitAmounts) {
  // 150 % display scaling: 144 DPI, 9.6 px a character.
  term.screenDpi = 144;
  constexpr double kCharPx = 8.0 * 144.0 / 72.0 * 1229.0 / 2048.0;
  term.fund(1234567.89);
  ea.EmailEquityTarget = 1234567.89;
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -1000.0);
  ea.OnTick();  // stop loss: closed and rolled
  ASSERT_DOUBLE_EQ(snapshot(), 1233567.89);
  const int redraws = term.redraws;
  ea.OnTick();
  EXPECT_GT(term.redraws, redraws);
  EXPECT_EQ(term.label("ZT_L0_15"), "Zentravo equity guard");
  EXPECT_EQ(state(), "Guard: running");

  auto at = [&](const std::string& name, mql::ENUM_OBJECT_PROPERTY_INTEGER distance) {
    return static_cast<double>(term.objects.at(name).integers.at(distance));
  };
  auto x = [&](const std::string& name) { return at(name, mql::OBJPROP_XDISTANCE); };
  auto y = [&](const std::string& name) { return at(name, mql::OBJPROP_YDISTANCE); };
  auto end = [&](const std::string& name) { return x(name) + kCharPx * term.label(name).size(); };
  auto blank = [&](const std::string& name) { return term.label(name) == " "; };
  double column0Bottom = 0, column1Top = 1e9, column1Bottom = 0;
  size_t widest = 0;
  for (int row = 0; row < 16; ++row) {
    const std::string r = std::to_string(row);
    // Row 0's title runs over its empty value cell.
    if (!blank("ZT_V0_" + r)) EXPECT_LE(end("ZT_L0_" + r), x("ZT_V0_" + r)) << row;
    column0Bottom = std::max(column0Bottom, y("ZT_L0_" + r));
    widest = std::max(widest, term.label("ZT_V0_" + r).size());
    if (row < 14) {
      EXPECT_LE(end("ZT_L1_" + r), x("ZT_V1_" + r)) << row;
      EXPECT_EQ(x("ZT_L1_" + r), x("ZT_L0_" + r)) << row;  // one column under the other
      column1Top = std::min(column1Top, y("ZT_L1_" + r));
      column1Bottom = std::max(column1Bottom, y("ZT_L1_" + r));
    }
  }
  EXPECT_EQ(term.label("ZT_V0_7").find("1234567.89 ["), 0u) << term.label("ZT_V0_7");
  EXPECT_GE(widest, 55u);  // the two amounts and both times really are on the panel
  EXPECT_LT(column0Bottom, column1Top);
  EXPECT_LT(column1Bottom, y("ZT_STATE"));
  for (const auto& [name, object] : term.objects)
    EXPECT_LE(end(name), ZH_PANEL_WIDTH * 144 / 96) << name << ": " << term.label(name);
  EXPECT_EQ(term.label("ZT_L1_8"), "Equity StopLoss");
  EXPECT_LE(end("ZT_V1_8"), 800.0) << term.label("ZT_V1_8");
}

}  // namespace
}  // namespace guard_mq4
