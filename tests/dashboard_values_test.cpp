// The dashboard's values: every value cell with its condition and fallback, the cells that leave
// the host's buffer alone, amounts and times at the edges, and the exports that write them.
#include "texts/dashboard.h"

#include "dashboard_support.h"

namespace {

using namespace dashboard_testing;

// ---- Values ----------------------------------------------------------------------------------

using ValueText = DashboardTest;

TEST_F(ValueText, EveryCellOfARunningGuard) {
  struct Case {
    int row;
    int column;
    const char* expected;
  };
  const Case cases[] = {
      {3, 0, "50.00, 5.00 %, 1050.00"},
      {4, 0, "900.00 / 1000.00 [2011.07.13 09:39]"},
      {5, 0, "985.00, -15.00"},
      {6, 0, "-50.00 / -5.00 % [2011.07.13 10:39]"},
      {7, 0, "950.00 [2011.07.12 09:39] / -22.00 [2011.07.13 08:39]"},
      {9, 0, "3 / -20.00 / -18.50 / -41.25"},
      {10, 0, "-75.00 / -8.33 % [2011.07.13 09:41]"},  // against the initial equity 900
      {11, 0, "600.00, 60.91 %"},                       // against the equity 985
      {12, 0, "450.00, 45.00 % [2011.07.13 09:40]"},    // against the snapshot 1000
      {13, 0, "420.00; 380.50"},
      {2, 1, "20.00, 980.00; 30.00"}, {3, 1, "40.00, 960.00; 20.00"},  // the drawdown targets
      {4, 1, "1100.00, (115.00)"},    {5, 1, "1200.00, (215.00)"},     // the increase targets
      {8, 1, "900.00"},               {11, 1, "75.00; 925.00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Value(c.row, c.column), c.expected) << "row " << c.row << " column " << c.column;
  }
}

// Every position of the first take-profit set 10 and of the first drawdown set 5, the guard at
// the positions given.
void FillFirstSets(int tpIndex, int ddIndex) {
  guard.takeProfitTable[0].fill(10);
  guard.drawdownTable[0].fill(5);
  guard.tpIndex = tpIndex;
  guard.ddIndex = ddIndex;
}

TEST_F(ValueText, ConditionsAndFallbacks) {
  struct Case {
    const char* name;
    void (*arrange)();
    int row;
    int column;
    const char* expected;
  };
  // Eight increase targets, the index at the last of them or past them all.
  static const auto lastIncreaseNext = [] {
    guard.increaseTargets = {1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800};
    guard.increaseIndex = 7;
  };
  const auto everyIncreasePassed = [] {
    lastIncreaseNext();
    guard.increaseIndex = 8;
  };
  const Case cases[] = {
      {"no roll yet", [] { guard.previousPeriodDrawdownTime = 0; }, 7, 0, "- / -"},
      {"a time before 1970 is no roll", [] { guard.previousPeriodDrawdownTime = -5; }, 7, 0,
       "- / -"},
      {"first second counts", [] { guard.previousPeriodDrawdownTime = 1; }, 7, 0,
       "950.00 [2011.07.12 09:39] / -22.00 [1970.01.01 00:00]"},
      {"no complete cycle", [] { guard.cycleIndex = 0; }, 9, 0, "0 / - / - / -"},
      {"no complete cycle", [] { guard.cycleIndex = 0; }, 13, 0, "- ; -"},
      {"negative cycle", [] { guard.cycleIndex = -1; }, 9, 0, "0 / - / - / -"},
      {"negative cycle", [] { guard.cycleIndex = -1; }, 13, 0, "- ; -"},
      {"one cycle", [] { guard.cycleIndex = 1; }, 9, 0, "1 / -20.00 / -18.50 / -41.25"},
      {"last cycle slot", [] { guard.cycleIndex = 511; }, 13, 0, "420.00; 380.50"},
      {"last take profit of the set", [] { guard.tpIndex = 2; }, 2, 1, "20.00, 980.00; --"},
      {"last take profit of the set", [] { guard.tpIndex = 2; }, 3, 1, "40.00, 960.00; --"},
      {"one before the last take profit", [] { guard.tpIndex = 1; }, 3, 1, "40.00, 960.00; --"},
      {"one before the last take profit", [] { guard.tpIndex = 1; }, 2, 1,
       "20.00, 980.00; 20.00"},
      {"last drawdown target", [] { guard.ddIndex = 1; }, 2, 1, "40.00, 960.00; 30.00"},
      {"last drawdown target", [] { guard.ddIndex = 1; }, 3, 1, "--, --; --"},
      {"no further target, whatever the take profit", [] {
         guard.ddIndex = 1;
         guard.tpIndex = 0;
         guard.takeProfitTable[0] = {50, 30, 20, 10};
       },
       3, 1, "--, --; --"},
      {"a set without drawdown targets", [] { guard.ddSet = 3; }, 2, 1, "0.00, 1000.00; 30.00"},
      {"a set without drawdown targets", [] { guard.ddSet = 3; }, 3, 1, "--, --; --"},
      {"a negative take profit is none", [] { guard.takeProfitTable[0][1] = -5; }, 2, 1,
       "20.00, 980.00; --"},
      {"a negative drawdown target is none", [] { guard.drawdownTable[0][1] = -5; }, 3, 1,
       "--, --; --"},
      {"take profit past the set's last position", [] { FillFirstSets(31, 30); }, 2, 1,
       "5.00, 995.00; --"},
      {"take profit two past the set's end", [] { FillFirstSets(30, 30); }, 3, 1,
       "5.00, 995.00; --"},
      {"drawdown target past the set's end",
       [] {
         guard.drawdownTable[0].fill(5);
         guard.ddIndex = 31;
       },
       3, 1, "--, --; --"},
      {"first increase target passed", [] { guard.increaseIndex = 1; }, 4, 1,
       "1200.00, (215.00)"},
      {"first increase target passed", [] { guard.increaseIndex = 1; }, 5, 1, "--, (--)"},
      {"equity above the target", [] { guard.equity = 1150; }, 4, 1, "1100.00, (-50.00)"},
      {"no increase targets", [] { guard.increaseTargets = {}; }, 4, 1, "--, (--)"},
      {"no increase targets", [] { guard.increaseTargets = {}; }, 5, 1, "--, (--)"},
      {"last increase target next", lastIncreaseNext, 4, 1, "1800.00, (815.00)"},
      {"last increase target next", lastIncreaseNext, 5, 1, "--, (--)"},
      {"every increase target passed", everyIncreasePassed, 4, 1, "--, (--)"},
      {"every increase target passed", everyIncreasePassed, 5, 1, "--, (--)"},
      {"second stop loss", [] { guard.stopLossIndex = 1; }, 8, 1, "850.00"},
      {"no stop losses", [] { guard.stopLosses = {}; }, 8, 1, "1000.00"},
      {"no e-mail drawdown", [] { guard.emailDrawdown = 0; }, 11, 1, "0.00; 1000.00"},
      {"no take profit", [] { guard.takeProfitTable[0] = {}; }, 3, 0, "0.00, 0.00 %, 1000.00"},
      {"overview drawdown", [] { guard.periodDrawdownTime = kJuly13; }, 6, 0,
       "-50.00 / -5.00 % [2011.07.13 09:39]"},
      {"a negative snapshot passes the zero guard", [] { guard.snapshot = -100; }, 5, 0,
       "985.00, 1085.00"},
      {"a negative snapshot passes the zero guard", [] { guard.snapshot = -100; }, 3, 0,
       "50.00, -50.00 %, -50.00"},
      {"a negative free margin", [] { guard.freeMargin = -12.5; }, 11, 0, "-12.50, -1.27 %"},
      {"a time that cannot be converted", [] { guard.snapshotTime = -1; }, 4, 0,
       "900.00 / 1000.00 [----.--.-- --:--]"},
      {"an amount that rounds to zero from below", [] { guard.equity = 1000.004; }, 5, 0,
       "1000.00, 0.00"},
      {"an amount that rounds to minus zero", [] { guard.equity = 999.996; }, 5, 0,
       "1000.00, -0.00"},
  };
  for (const Case& c : cases) {
    Running();
    c.arrange();
    EXPECT_EQ(Value(c.row, c.column), c.expected)
        << c.name << ": row " << c.row << " column " << c.column;
  }
}

TEST_F(ValueText, CellsWithoutAValueWriteNothing) {
  for (const int row : {INT_MIN, -1, 0, 1, 2, 8, 14, 15, 16, 100, INT_MAX}) {
    EXPECT_TRUE(ValueWritesNothing(row, 0)) << "row " << row << " column 0";
  }
  for (const int row : {INT_MIN, -1, 0, 1, 6, 7, 9, 10, 12, 13, 14, 100, INT_MAX}) {
    EXPECT_TRUE(ValueWritesNothing(row, 1)) << "row " << row << " column 1";
  }
}

TEST_F(ValueText, NothingBeforeTheGuardHasItsThreeEquities) {
  struct Case {
    const char* name;
    void (*arrange)();
  };
  const Case cases[] = {
      {"library just loaded", [] { zt::test_hooks::ResetGuard(); }},
      {"no snapshot", [] { guard.snapshot = 0.0; }},
      {"no equity", [] { guard.equity = 0.0; }},
      {"no initial equity", [] { guard.initialEquity = 0.0; }},
      {"minus zero is zero", [] { guard.initialEquity = -0.0; }},
  };
  for (const Case& c : cases) {
    Running();
    c.arrange();
    for (const int column : {0, 1}) {
      for (int row = -1; row <= 16; ++row) {
        EXPECT_TRUE(ValueWritesNothing(row, column))
            << c.name << ": row " << row << " column " << column;
      }
    }
  }
}

TEST_F(ValueText, EveryColumnButZeroIsTheSecond) {
  for (const int column : {2, -1, 7, INT_MAX, INT_MIN}) {
    for (int row = -1; row <= 15; ++row) {
      HostBuffer second;
      HostBuffer other;
      zt::texts::WriteValue(row, 1, second.data(), ZT_TEXT_CAPACITY);
      zt::texts::WriteValue(row, column, other.data(), ZT_TEXT_CAPACITY);
      EXPECT_EQ(second.bytes(), other.bytes()) << "row " << row << " column " << column;
    }
  }
  EXPECT_EQ(Value(4, -1), "1100.00, (115.00)");
}

TEST_F(ValueText, HugeAmountsAreCutAtTheCapacity) {
  guard.previousSnapshot = 1e300;
  guard.previousPeriodDrawdown = -1e300;
  HostBuffer buffer;
  zt::texts::WriteValue(7, 0, buffer.data(), ZT_TEXT_CAPACITY);
  const std::string text = buffer.Text();
  EXPECT_EQ(text.size(), static_cast<std::size_t>(ZT_TEXT_CAPACITY - 1));
  EXPECT_EQ(text.rfind("1000000000000000052504760255204420248704468581108159154", 0), 0u);
  EXPECT_NE(text.find(".00 [2011.07.12 09:39] / -1000000000000000052504760"), std::string::npos);
  EXPECT_TRUE(buffer.UntouchedAfter(text.size()));
}

TEST_F(ValueText, ManyDistinctTimesStayCorrect) {
  // More distinct times than a redraw keeps converted, asked for twice over in turn.
  std::vector<std::int64_t> times;
  for (int i = 0; i < 20; ++i) times.push_back(kJuly13 + i * (kDay + 61 * 60));
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::int64_t time : times) {
      guard.snapshotTime = time;
      const std::time_t converted = static_cast<std::time_t>(time);
      std::tm utc{};
      gmtime_r(&converted, &utc);
      std::array<char, 64> expected{};
      std::strftime(expected.data(), expected.size(), "900.00 / 1000.00 [%Y.%m.%d %H:%M]", &utc);
      EXPECT_EQ(Value(4, 0), expected.data()) << time;
    }
  }
}

// ---- The exports -----------------------------------------------------------------------------

TEST_F(ValueText, ExportsWriteTheSameTextsAndIgnoreANullBuffer) {
  HostBuffer buffer;
  GetValue(6, 0, buffer.data());
  EXPECT_EQ(buffer.Text(), "-50.00 / -5.00 % [2011.07.13 10:39]");
  GetLabel(0, 0, buffer.data());
  EXPECT_EQ(buffer.Text(), "Zentravo - 3.0 (EA-7) Wed, Jul 13, 2011 09:39:05");
  GetLabel(5, 1, buffer.data());
  EXPECT_EQ(buffer.Text(), "Next Equity Increase");

  GetValue(6, 0, nullptr);
  GetLabel(0, 0, nullptr);

  HostBuffer untouched;
  GetValue(8, 0, untouched.data());
  GetValue(0, 1, untouched.data());
  EXPECT_TRUE(untouched.Untouched());
}

}  // namespace
