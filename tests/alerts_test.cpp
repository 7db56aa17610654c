// Alert lines, e-mail subjects and e-mail body lines: the exact texts a host shows and sends,
// the zero-equity error, and the cases that must leave the host's buffer alone.
#include "texts/alerts.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "core/guard_state.h"
#include "boundary/test_hooks.h"
#include "test_support.h"
#include "zentravo.h"

namespace {

using zt::core::guard;
using zt::testing::HostBuffer;

// What write writes for kind into a host's buffer, which it must fill without running over.
template <typename Write>
std::string Written(int kind, Write write) {
  HostBuffer buffer;
  write(kind, buffer.data(), ZT_TEXT_CAPACITY);
  EXPECT_TRUE(buffer.GuardIntact());
  EXPECT_FALSE(buffer.Untouched()) << "kind " << kind << " wrote nothing";
  return buffer.Text();
}

std::string Alert(int kind) { return Written(kind, zt::texts::WriteAlert); }
std::string Subject(int kind) { return Written(kind, zt::texts::WriteEmailSubject); }

std::string Line(int part, int kind, double increaseTarget = 0.0) {
  HostBuffer buffer;
  zt::texts::WriteEmailLine(part, kind, increaseTarget, buffer.data(), ZT_TEXT_CAPACITY);
  EXPECT_TRUE(buffer.GuardIntact());
  EXPECT_FALSE(buffer.Untouched()) << "part " << part << " kind " << kind << " wrote nothing";
  return buffer.Text();
}

void SetText(char* field, std::size_t size, const char* text) {
  std::strncpy(field, text, size - 1);
  field[size - 1] = '\0';
}

// The guard of the typical cycle: started at 1000 with take profits 50,30;80,60, drawdown
// targets 20,40;25,50, increase targets 1100,1200 and stop losses 100,150, a drawdown step
// already taken (both positions at 1), a take profit hit with a drawdown of -22 and the host's
// close reported as 1500 ms with 1030.5 left.
void ClosedOnTakeProfit() {
  zt::test_hooks::ResetGuard();
  guard.takeProfitTable[0] = {50, 30};
  guard.takeProfitTable[1] = {80, 60};
  guard.drawdownTable[0] = {20, 40};
  guard.drawdownTable[1] = {25, 50};
  guard.increaseTargets = {1100, 1200};
  guard.stopLosses = {100, 150};
  guard.snapshot = 1000;
  guard.previousSnapshot = 1000;
  guard.initialEquity = 1000;
  guard.tpIndex = 1;
  guard.ddIndex = 1;
  guard.reachedDrawdownTarget = 20;
  guard.periodDrawdown = -22;
  guard.margin = 420;
  guard.freeMargin = 565;
  guard.closeDurationMs = 1500;
  guard.equity = 1030.5;
}

class AlertText : public zt::testing::GuardTest {
 protected:
  void Arrange() override { ClosedOnTakeProfit(); }
};

TEST_F(AlertText, EveryKindWithItsArguments) {
  struct Case {
    const char* name;
    void (*arrange)();
    int kind;
    const char* expected;
  };
  const Case cases[] = {
      {"take profit closed", [] {}, 2,
       "Prev Snap $1000.00, TP: $30.00, New Snap $1030.50 ($30.50), DD -$22.00, TTC 1.5s, "
       "ZT CloseAll Take Profit Complete"},
      {"stop loss closed, equity below the snapshot",
       [] {
         guard.equity = 899.75;
         guard.closeDurationMs = 2340;
       },
       1,
       "Prev Snap $1000.00, SL: -$900.00, New Snap $899.75 ($-100.25), TP $30.00, TTC 2.3s, "
       "ZT CloseAll Stop Loss Complete"},
      {"stop loss of the second set",
       [] {
         guard.stopLossIndex = 1;
         guard.tpSet = 1;
         guard.tpIndex = 0;
         guard.equity = 849.5;
       },
       1,
       "Prev Snap $1000.00, SL: -$850.00, New Snap $849.50 ($-150.50), TP $80.00, TTC 1.5s, "
       "ZT CloseAll Stop Loss Complete"},
      {"positions outside the tables read as no target",
       [] { guard.stopLossIndex = 8; guard.tpIndex = 32; }, 1,
       "Prev Snap $1000.00, SL: -$1000.00, New Snap $1030.50 ($30.50), TP $0.00, TTC 1.5s, "
       "ZT CloseAll Stop Loss Complete"},
      {"take profit without a drawdown",
       [] {
         guard.periodDrawdown = 0.0;
         guard.closeDurationMs = 0;
       },
       2,
       "Prev Snap $1000.00, TP: $30.00, New Snap $1030.50 ($30.50), DD -$0.00, TTC 0.0s, "
       "ZT CloseAll Take Profit Complete"},
      {"increase target reached: roll to 1100, second sets",
       [] {
         guard.snapshot = guard.equity = 1100;
         guard.increaseIndex = 1;
         guard.tpSet = guard.ddSet = 1;
         guard.tpIndex = guard.ddIndex = 0;
         guard.stopLossIndex = 1;
       },
       3,
       "Increase Target $1100.00 ($100.00);  New Snap $1100.00, New TP $80.00, "
       "New DDT -$25.00 ($1075.00), Initial Eq $1000.00."},
      {"last increase target passed",
       [] {
         guard.increaseTargets = {1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800};
         guard.snapshot = guard.equity = 1812.25;
         guard.increaseIndex = 8;
         guard.initialEquity = 900;
         guard.tpSet = 7;  // an empty set
         guard.tpIndex = guard.ddIndex = 0;
       },
       3,
       "Increase Target $1800.00 ($900.00);  New Snap $1812.25, New TP $0.00, "
       "New DDT -$20.00 ($1792.25), Initial Eq $900.00."},
      {"drawdown target reached", [] {}, 4, "Equity reached Target DD -$20.00 ($980.00)"},
      {"drawdown target reached, exact halves of a cent round to even",
       [] {
         guard.reachedDrawdownTarget = 12.375;
         guard.snapshot = 1030.5;
       },
       4, "Equity reached Target DD -$12.38 ($1018.12)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClosedOnTakeProfit();
    c.arrange();
    EXPECT_EQ(Alert(c.kind), c.expected);
  }
}

TEST_F(AlertText, CloseDurationInTenthsOfSeconds) {
  struct Case {
    int milliseconds;
    const char* seconds;
  };
  const Case cases[] = {{1500, "1.5"}, {1250, "1.2"}, {1350, "1.4"}, {1049, "1.0"},
                        {50, "0.1"},   {49, "0.0"},   {0, "0.0"},    {-500, "-0.5"},
                        {123456789, "123456.8"},      {INT_MAX, "2147483.6"}};
  for (const Case& c : cases) {
    guard.closeDurationMs = c.milliseconds;
    const std::string ttc = std::string(", TTC ") + c.seconds + "s, ZT CloseAll ";
    EXPECT_NE(Alert(1).find(ttc), std::string::npos) << c.milliseconds << " ms";
    EXPECT_NE(Alert(2).find(ttc), std::string::npos) << c.milliseconds << " ms";
  }
}

TEST_F(AlertText, ZeroEquityIsTheOnlyErrorWhateverTheKind) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, double> unusable[] = {
      {0.0, 1000.0}, {1000.0, 0.0}, {0.0, 0.0}, {-5.0, 1000.0}, {1000.0, -0.01}, {-0.0, 1000.0},
      {nan, 1000.0}, {1000.0, nan}};
  const int kinds[] = {INT_MIN, -1, 0, 1, 2, 3, 4, 5, INT_MAX};
  for (const auto& [equity, snapshot] : unusable) {
    for (const int kind : kinds) {
      ClosedOnTakeProfit();
      guard.equity = equity;
      guard.snapshot = snapshot;
      EXPECT_EQ(Alert(kind), "Error: zero equity")
          << "equity " << equity << " snapshot " << snapshot << " kind " << kind;
    }
  }
  // Also for kind 3 while no increase target has been passed, which otherwise writes nothing.
  guard.increaseIndex = 0;
  guard.equity = 0.0;
  EXPECT_EQ(Alert(3), "Error: zero equity");
}

TEST_F(AlertText, KindsWithoutATextWriteNothing) {
  struct Case {
    const char* name;
    int increaseIndex;
    int kind;
  };
  const Case cases[] = {{"kind 0", 0, 0},          {"kind 5", 1, 5},
                        {"kind -1", 1, -1},        {"largest kind", 1, INT_MAX},
                        {"smallest kind", 1, INT_MIN},
                        {"kind 3 before any increase target was passed", 0, 3},
                        {"kind 3 with a position before the first", -1, 3}};
  for (const Case& c : cases) {
    guard.increaseIndex = c.increaseIndex;
    HostBuffer buffer;
    zt::texts::WriteAlert(c.kind, buffer.data(), ZT_TEXT_CAPACITY);
    EXPECT_TRUE(buffer.Untouched()) << c.name;
  }
}

// ---- E-mails ---------------------------------------------------------------------------------

class EmailText : public ::testing::Test {
 protected:
  void SetUp() override {
    zt::testing::FreshGuard(folder_);
    ClosedOnTakeProfit();
    guard.equity = 985;
    guard.periodDrawdown = -15;
    guard.tpIndex = guard.ddIndex = 0;
    guard.emailEquityTarget = 250;
    guard.emailMarginPercent = 50;
    guard.emailDrawdown = 75.5;
    guard.accountNumber = 123456;
    // As read from the terminal title "123456: Broker Server - Demo Account".
    SetText(guard.serverName, sizeof guard.serverName, " Broker Server");
    SetText(guard.symbol, sizeof guard.symbol, "EURUSD");
  }
  void TearDown() override { zt::test_hooks::ReleaseClock(); }
  zt::testing::TempFolder folder_;
};

TEST_F(EmailText, SubjectsOfTheThreeKinds) {
  EXPECT_EQ(Subject(0), "Equity Target +$ 250.00, # 123456,  Broker Server, Zentravo_EA alert");
  EXPECT_EQ(Subject(1), "Margin >= 50%, # 123456,  Broker Server, Zentravo_EA alert");
  EXPECT_EQ(Subject(2), "Drawdown >= -$ 75.50, # 123456,  Broker Server, Zentravo_EA alert");

  // The margin percentage is written without decimals, rounding halves to even as printf does.
  const std::pair<double, const char*> percentages[] = {
      {49.5, "Margin >= 50%"}, {50.5, "Margin >= 50%"}, {50.51, "Margin >= 51%"},
      {0.4, "Margin >= 0%"},   {-3.0, "Margin >= -3%"}, {1e4, "Margin >= 10000%"}};
  for (const auto& [percent, start] : percentages) {
    guard.emailMarginPercent = percent;
    EXPECT_EQ(Subject(1).rfind(start, 0), 0u) << percent;
  }
}

TEST_F(EmailText, SubjectsIgnoreTheGuardState) {
  // Before any start (everything zero) and with a zero equity the subjects still format.
  zt::test_hooks::ResetGuard();
  EXPECT_EQ(Subject(0), "Equity Target +$ 0.00, # 0, , Zentravo_EA alert");
  EXPECT_EQ(Subject(1), "Margin >= 0%, # 0, , Zentravo_EA alert");
  EXPECT_EQ(Subject(2), "Drawdown >= -$ 0.00, # 0, , Zentravo_EA alert");

  guard.accountNumber = -7;
  guard.emailDrawdown = -12.5;
  EXPECT_EQ(Subject(2), "Drawdown >= -$ -12.50, # -7, , Zentravo_EA alert");
}

TEST_F(EmailText, SubjectsOfOtherKindsWriteNothing) {
  for (const int kind : {INT_MIN, -1, 3, 4, INT_MAX}) {
    HostBuffer buffer;
    zt::texts::WriteEmailSubject(kind, buffer.data(), ZT_TEXT_CAPACITY);
    EXPECT_TRUE(buffer.Untouched()) << "kind " << kind;
  }
}

TEST_F(EmailText, BodyLines) {
  struct Case {
    int part;
    int kind;
    double increaseTarget;
    const char* expected;
  };
  const Case cases[] = {
      {0, 0, 0, "Reason: Equity Target $250.00 reached.\n"},
      {0, 1, 0, "Reason: Margin Target 50% ($420.00) reached.\n"},
      {0, 2, 0, "Reason: Drawdown Target $75.50 reached.\n"},
      {1, 0, 0, "Snapshot Eq, Current Eq: $1000.00, $985.00 (-15.00).\n"},
      {1, 3, 0, "Snapshot Eq, Current Eq: $1000.00, $985.00 (-15.00).\n"},
      {2, 1, 0, "Equity DD; Current TP, DDT -$15.00; $50.00, -$20.00 ($980.00).\n"},
      {2, -4, 0, "Equity DD; Current TP, DDT -$15.00; $50.00, -$20.00 ($980.00).\n"},
      {3, 2, 1100, "Current EIT, Stop Loss: $1100.00, -$100.00 ($900.00).\n"},
      {3, 0, -0.004, "Current EIT, Stop Loss: $-0.00, -$100.00 ($900.00).\n"},
      {4, 0, 0, "Margin used: $420.00 ($74.34).\n"},  // 42000 / 565 = 74.336...
      {5, 0, 0, "Pair: EURUSD.\n"},
      {5, 99, 0, "Pair: EURUSD.\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Line(c.part, c.kind, c.increaseTarget), c.expected)
        << "part " << c.part << " kind " << c.kind;
  }
}

TEST_F(EmailText, BodyLinesFollowTheCurrentTargets) {
  guard.tpSet = guard.ddSet = 1;
  guard.tpIndex = guard.ddIndex = 1;
  guard.stopLossIndex = 1;
  guard.periodDrawdown = -48.125;
  guard.symbol[0] = '\0';
  EXPECT_EQ(Line(2, 0), "Equity DD; Current TP, DDT -$48.12; $60.00, -$50.00 ($950.00).\n");
  EXPECT_EQ(Line(3, 0, 1200), "Current EIT, Stop Loss: $1200.00, -$150.00 ($850.00).\n");
  EXPECT_EQ(Line(5, 0), "Pair: .\n");

  // Positions past the tables read as no target: 0.00.
  guard.ddIndex = 32;
  guard.stopLossIndex = 8;
  EXPECT_EQ(Line(2, 0), "Equity DD; Current TP, DDT -$48.12; $60.00, -$0.00 ($1000.00).\n");
  EXPECT_EQ(Line(3, 0, 1200), "Current EIT, Stop Loss: $1200.00, -$0.00 ($1000.00).\n");
}

TEST_F(EmailText, MarginLineNeverDividesByLessThanATenthOfACent) {
  struct Case {
    double margin, freeMargin;
    const char* expected;
  };
  const Case cases[] = {
      {0.01, 0.0, "Margin used: $0.01 ($1000.00).\n"},
      {0.01, -250.0, "Margin used: $0.01 ($1000.00).\n"},
      {0.01, 0.0009, "Margin used: $0.01 ($1000.00).\n"},  // 1111.11 without the guard
      {0.01, 0.001, "Margin used: $0.01 ($1000.00).\n"},
      {0.01, 0.002, "Margin used: $0.01 ($500.00).\n"},
      {10.0, -1.0, "Margin used: $10.00 ($1000000.00).\n"},
      {0.0, 0.0, "Margin used: $0.00 ($0.00).\n"},
      {250.0, 1000.0, "Margin used: $250.00 ($25.00).\n"},
  };
  for (const Case& c : cases) {
    guard.margin = c.margin;
    guard.freeMargin = c.freeMargin;
    EXPECT_EQ(Line(4, 0), c.expected) << c.margin << " / " << c.freeMargin;
  }
}

TEST_F(EmailText, LinesWithoutATextWriteNothing) {
  const std::pair<int, int> cells[] = {{0, 3},  {0, -1}, {0, INT_MAX}, {6, 0},
                                       {-1, 0}, {INT_MIN, 1}, {INT_MAX, 2}};
  for (const auto& [part, kind] : cells) {
    HostBuffer buffer;
    zt::texts::WriteEmailLine(part, kind, 1100, buffer.data(), ZT_TEXT_CAPACITY);
    EXPECT_TRUE(buffer.Untouched()) << "part " << part << " kind " << kind;
  }
}

// ---- Bounds and the exports ------------------------------------------------------------------

TEST_F(AlertText, HugeAmountsAreCutAtTheCapacity) {
  guard.snapshot = 1e300;
  guard.equity = 1e300;
  guard.initialEquity = 1e300;
  guard.increaseIndex = 1;
  guard.increaseTargets[0] = -1e300;
  guard.reachedDrawdownTarget = 1e300;
  guard.periodDrawdown = -1e300;
  guard.margin = 1e300;
  guard.freeMargin = 1e-300;
  guard.emailEquityTarget = guard.emailMarginPercent = guard.emailDrawdown = 1e300;
  std::memset(guard.serverName, 'S', sizeof guard.serverName - 1);
  std::memset(guard.symbol, 'P', sizeof guard.symbol - 1);

  std::size_t longest = 0;
  const auto check = [&](const HostBuffer& buffer, const char* what) {
    EXPECT_TRUE(buffer.GuardIntact()) << what;
    const std::string text = buffer.Text();
    EXPECT_LE(text.size(), static_cast<std::size_t>(ZT_TEXT_CAPACITY - 1)) << what;
    if (text.size() > longest) longest = text.size();
  };
  for (int kind = 1; kind <= 4; ++kind) {
    HostBuffer buffer;
    zt::texts::WriteAlert(kind, buffer.data(), ZT_TEXT_CAPACITY);
    check(buffer, "alert");
  }
  for (int kind = 0; kind <= 2; ++kind) {
    HostBuffer buffer;
    zt::texts::WriteEmailSubject(kind, buffer.data(), ZT_TEXT_CAPACITY);
    check(buffer, "subject");
  }
  for (int part = 0; part <= 5; ++part) {
    HostBuffer buffer;
    zt::texts::WriteEmailLine(part, 1, 1e300, buffer.data(), ZT_TEXT_CAPACITY);
    check(buffer, "line");
  }
  EXPECT_EQ(longest, static_cast<std::size_t>(ZT_TEXT_CAPACITY - 1));

  // The cut keeps the start of the text exactly.
  HostBuffer buffer;
  zt::texts::WriteAlert(2, buffer.data(), ZT_TEXT_CAPACITY);
  const std::string text = buffer.Text();
  ASSERT_EQ(text.size(), static_cast<std::size_t>(ZT_TEXT_CAPACITY - 1));
  EXPECT_EQ(text.rfind("Prev Snap $1000000000000000052504760255204420248704468581108159154", 0), 0u);
  EXPECT_NE(text.find(".00, TP: $30.00, New Snap $10000000000000000525"), std::string::npos);
}

TEST_F(AlertText, ExportsWriteTheSameTextsAndIgnoreANullBuffer) {
  guard.serverName[0] = '\0';
  const std::string alert = Alert(2);
  HostBuffer buffer;
  GetAlert(2, buffer.data());
  EXPECT_EQ(buffer.Text(), alert);
  GetEmailSubject(1, buffer.data());
  EXPECT_EQ(buffer.Text(), "Margin >= 0%, # 0, , Zentravo_EA alert");
  GetEmailText(3, 0, 1100, buffer.data());
  EXPECT_EQ(buffer.Text(), "Current EIT, Stop Loss: $1100.00, -$100.00 ($900.00).\n");

  GetAlert(2, nullptr);
  GetAlert(0, nullptr);
  GetEmailSubject(0, nullptr);
  GetEmailText(1, 0, 0.0, nullptr);

  HostBuffer untouched;
  GetAlert(7, untouched.data());
  GetEmailSubject(7, untouched.data());
  GetEmailText(7, 0, 0.0, untouched.data());
  EXPECT_TRUE(untouched.Untouched());
}

}  // namespace
