// The dashboard: every label, the title line, every value cell with its condition and fallback,
// the cells that leave the host's buffer alone, and texts that do not depend on the locale.
#include "texts/dashboard.h"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/guard_state.h"
#include "texts/time_text.h"
#include "boundary/test_hooks.h"
#include "test_support.h"
#include "texts/alerts.h"
#include "zentravo.h"

namespace {

using zt::core::guard;
using zt::testing::HostBuffer;
using zt::testing::kJuly13;

constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 24 * kHour;

std::string Label(int row, int column) {
  HostBuffer buffer;
  zt::texts::WriteLabel(row, column, buffer.data(), ZT_TEXT_CAPACITY);
  const std::string text = buffer.Text();
  EXPECT_TRUE(buffer.UntouchedAfter(text.size())) << "row " << row << " column " << column;
  return text;
}

std::string Value(int row, int column) {
  HostBuffer buffer;
  zt::texts::WriteValue(row, column, buffer.data(), ZT_TEXT_CAPACITY);
  EXPECT_FALSE(buffer.Untouched()) << "row " << row << " column " << column << " wrote nothing";
  const std::string text = buffer.Text();
  EXPECT_TRUE(buffer.UntouchedAfter(text.size())) << "row " << row << " column " << column;
  return text;
}

bool ValueWritesNothing(int row, int column) {
  HostBuffer buffer;
  zt::texts::WriteValue(row, column, buffer.data(), ZT_TEXT_CAPACITY);
  return buffer.Untouched();
}

void SetHostTag(const char* tag) {
  std::strncpy(guard.hostTag, tag, sizeof guard.hostTag - 1);
  guard.hostTag[sizeof guard.hostTag - 1] = '\0';
}

// A guard three cycles into its history (UTC, so local times are the UTC ones):
// snapshot 1000 taken at 2011.07.13 09:39, the previous one 950 a day before, take profits
// 50,30,20, drawdown targets 20,40, increase targets 1100,1200, stop losses 100,150.
void Running() {
  zt::test_hooks::ResetGuard();
  guard.takeProfitTable[0] = {50, 30, 20};
  guard.drawdownTable[0] = {20, 40};
  guard.increaseTargets = {1100, 1200};
  guard.stopLosses = {100, 150};
  guard.snapshot = 1000;
  guard.snapshotTime = kJuly13;
  guard.previousSnapshot = 950;
  guard.previousSnapshotTime = kJuly13 - kDay;
  guard.initialEquity = 900;
  guard.equity = 985;
  guard.margin = 385;
  guard.freeMargin = 600;
  guard.periodDrawdown = -50;
  guard.periodDrawdownTime = kJuly13 + kHour;
  guard.previousPeriodDrawdown = -22;
  guard.previousPeriodDrawdownTime = kJuly13 - kHour;
  guard.lowestVsInitial = -75;
  guard.lowestVsInitialTime = kJuly13 + 120;
  guard.lowestFreeMargin = 450;
  guard.lowestFreeMarginTime = kJuly13 + 60;
  guard.cycleIndex = 3;
  guard.lastCloseMargin = 420;
  guard.averageCloseMargin = 380.5;
  guard.averageDrawdown = -20;
  guard.medianDrawdown = -18.5;
  guard.lowestDrawdown = -41.25;
  guard.emailDrawdown = 75;
  SetHostTag("EA-7");
}

class DashboardTest : public zt::testing::GuardTest {
 protected:
  void Arrange() override { Running(); }
};

// ---- Labels ----------------------------------------------------------------------------------

using LabelText = DashboardTest;

TEST_F(LabelText, EveryCellOfBothColumns) {
  // The labels by row; every other row is empty (row 0 of the first column is the title).
  const std::map<int, std::string> first = {
      {3, "Take Profit, %, Next Target"}, {4, "Initial / Curr Snapshot"},
      {5, "Current Equity, Snap Profit"}, {6, "Equity DD, % DD"}, {7, "Prev Snapshot / Last Eq DD"},
      {9, "Snaps / Avg / Med / Low DD"}, {10, "Lowest DD, %DD"}, {11, "Free Margin, %"},
      {12, "Lowest Free Margin, %"}, {13, "Margin Used; Avg Margin %"},
      {15, "Zentravo equity guard"}};
  const std::map<int, std::string> second = {
      {2, "Current DD Target; TP"}, {3, "Next DD Target; TP"}, {4, "Current Equity Increase"},
      {5, "Next Equity Increase"}, {8, "Equity StopLoss"}, {9, "Email EquityIncrease"},
      {10, "Email % Margin"}, {11, "Email current DD"}, {12, "Account Leverage"},
      {13, "Current Bid/Ask; Spread"}};
  const auto labelOf = [](const std::map<int, std::string>& labels, int row) {
    return labels.count(row) > 0 ? labels.at(row) : std::string();
  };
  for (int row = 1; row < 16; ++row) EXPECT_EQ(Label(row, 0), labelOf(first, row)) << "row " << row;
  // Every column but 0 is the second column.
  for (const int column : {1, 2, -1, 99, INT_MAX, INT_MIN}) {
    for (int row = 0; row < 14; ++row) {
      EXPECT_EQ(Label(row, column), labelOf(second, row)) << "row " << row << " column " << column;
    }
  }
}

// The notice line tells the trader when the guard's files are not being saved, within the
// panel's 63-character slot; the settings file's trouble comes before the statistics file's.
TEST_F(LabelText, TheNoticeLineNamesWhatIsNotSaved) {
  using zt::core::SettingsTrouble;
  const std::pair<SettingsTrouble, const char*> notices[] = {
      {SettingsTrouble::none, "Statistics file not written"},
      {SettingsTrouble::noLocation, "Settings not saved: library folder unknown"},
      {SettingsTrouble::locked, "Settings pending: file locked"},
      {SettingsTrouble::readOnly, "Settings not saved: read-only"},
      {SettingsTrouble::tooLarge, "Settings not saved, file too large: zentravo.ini"},
      {SettingsTrouble::foreignText, "Settings not saved: UTF-16 file left as it is"},
      {SettingsTrouble::failed, "Settings not saved"},
  };
  EXPECT_EQ(Label(15, 0), "Zentravo equity guard");
  std::snprintf(guard.settingsPath, sizeof guard.settingsPath, "C:\\T\\zentravo.ini");
  guard.persistence.statisticsUnwritten = true;
  for (const auto& [trouble, notice] : notices) {
    guard.persistence.settings = trouble;
    EXPECT_EQ(Label(15, 0), notice);
  }
  // A start that could not read the file it found says so, unless a write's trouble is newer.
  guard.persistence.startRead = SettingsTrouble::locked;
  guard.persistence.settings = SettingsTrouble::readOnly;
  EXPECT_EQ(Label(15, 0), "Settings not saved: read-only");
  guard.persistence.settings = SettingsTrouble::none;
  EXPECT_EQ(Label(15, 0), "Started without saved settings: file locked");
  guard.persistence.startRead = SettingsTrouble::foreignText;
  EXPECT_EQ(Label(15, 0), "Settings not saved: UTF-16 file left as it is");
  guard.persistence.startRead = SettingsTrouble::none;
  // What a later read of that file did, while nothing newer is said: where its values were kept
  // (before the statistics file's trouble), or that they were resumed late (after it).
  guard.persistence.lateRead = zt::core::LateRead::setAside;
  std::snprintf(guard.persistence.unreadCopy, sizeof guard.persistence.unreadCopy,
                "C:\\T\\zentravo-unread-2011.07.13 09-39.ini");
  EXPECT_EQ(Label(15, 0), "Unread settings kept in zentravo-unread-2011.07.13 09-39.ini");
  guard.persistence.lateRead = zt::core::LateRead::resumed;
  EXPECT_EQ(Label(15, 0), "Statistics file not written");
  guard.persistence.statisticsUnwritten = false;
  EXPECT_EQ(Label(15, 0), "Saved settings resumed late, once the file could be read");
  // A long name is cut to the 63 bytes of the slot, never inside a UTF-8 character.
  std::snprintf(guard.settingsPath, sizeof guard.settingsPath, "/t/%s\xC3\xA9.ini",
                std::string(25, 'n').c_str());
  guard.persistence.settings = SettingsTrouble::tooLarge;
  EXPECT_EQ(Label(15, 0), "Settings not saved, file too large: " + std::string(25, 'n') + "\xC3\xA9");
  std::snprintf(guard.settingsPath, sizeof guard.settingsPath, "/t/%s\xC3\xA9.ini",
                std::string(26, 'n').c_str());
  EXPECT_EQ(Label(15, 0), "Settings not saved, file too large: " + std::string(26, 'n'));
}

TEST_F(LabelText, RowsOutsideAColumnWriteTheEmptyText) {
  const std::pair<int, int> cells[] = {{-1, 0},  {16, 0},  {100, 0},     {INT_MIN, 0},
                                       {INT_MAX, 0}, {14, 1}, {15, 1},   {-1, 1},
                                       {14, -1}, {15, 2},  {INT_MIN, 3}, {INT_MAX, 1}};
  for (const auto& [row, column] : cells) {
    HostBuffer buffer;
    zt::texts::WriteLabel(row, column, buffer.data(), ZT_TEXT_CAPACITY);
    EXPECT_EQ(buffer.bytes()[0], '\0') << "row " << row << " column " << column;
    EXPECT_TRUE(buffer.UntouchedAfter(0)) << "row " << row << " column " << column;
  }
}

TEST_F(LabelText, LabelsDoNotNeedAStartedGuard) {
  zt::test_hooks::ResetGuard();
  EXPECT_EQ(Label(3, 0), "Take Profit, %, Next Target");
  EXPECT_EQ(Label(11, 1), "Email current DD");
  EXPECT_EQ(Label(0, 0), "Zentravo - 3.0 () Wed, Jul 13, 2011 09:39:05");
}

// ---- Title -----------------------------------------------------------------------------------

using DashboardTitle = DashboardTest;

TEST_F(DashboardTitle, HostTagAndLocalTime) {
  EXPECT_EQ(Label(0, 0), "Zentravo - 3.0 (EA-7) Wed, Jul 13, 2011 09:39:05");
  SetHostTag("");
  EXPECT_EQ(Label(0, 0), "Zentravo - 3.0 () Wed, Jul 13, 2011 09:39:05");
  SetHostTag("0123456789ABCDEFGHI");  // the longest tag InitZT keeps
  EXPECT_EQ(Label(0, 0), "Zentravo - 3.0 (0123456789ABCDEFGHI) Wed, Jul 13, 2011 09:39:05");
  // A tag that fills its field without a terminator is still read only inside the field.
  std::memset(guard.hostTag, 'T', sizeof guard.hostTag);
  EXPECT_EQ(Label(0, 0), "Zentravo - 3.0 (" + std::string(sizeof guard.hostTag, 'T') +
                             ") Wed, Jul 13, 2011 09:39:05");
}

TEST_F(DashboardTitle, TakesTheClockAtEveryCall) {
  struct Case {
    std::int64_t time;
    const char* expected;
  };
  const Case cases[] = {
      {kJuly13 + 1, "Zentravo - 3.0 (EA-7) Wed, Jul 13, 2011 09:39:06"},
      {946684800, "Zentravo - 3.0 (EA-7) Sat, Jan 01, 2000 00:00:00"},
      {1330559999, "Zentravo - 3.0 (EA-7) Wed, Feb 29, 2012 23:59:59"},
      {0, "Zentravo - 3.0 (EA-7) Thu, Jan 01, 1970 00:00:00"},
      {kJuly13, "Zentravo - 3.0 (EA-7) Wed, Jul 13, 2011 09:39:05"},
  };
  for (const Case& c : cases) {
    zt::test_hooks::FixClock(c.time);
    EXPECT_EQ(Label(0, 0), c.expected);
  }
}

TEST_F(DashboardTitle, AgreesWithStrftimeInTheCLocaleOnManyDays) {
  // Steps of 37 days and 7 hours 13 minutes and 17 seconds walk through every weekday, month,
  // day-of-month width and time of day.
  const std::int64_t step = 37 * kDay + 7 * kHour + 13 * 60 + 17;
  for (std::int64_t time = 86400; time < 2000000000; time += step) {
    zt::test_hooks::FixClock(time);
    const std::time_t converted = static_cast<std::time_t>(time);
    std::tm utc{};
    gmtime_r(&converted, &utc);
    std::array<char, 80> expected{};
    std::strftime(expected.data(), expected.size(), "%a, %b %d, %Y %H:%M:%S", &utc);
    EXPECT_EQ(Label(0, 0), std::string("Zentravo - 3.0 (EA-7) ") + expected.data()) << time;
  }
}

TEST_F(DashboardTitle, FollowsTheTimeZone) {
  // "XYZ-2" is a zone two hours east of UTC that needs no zone database.
  setenv("TZ", "XYZ-2", 1);
  tzset();
  zt::test_hooks::ForgetCachedTimes();
  const std::string title = Label(0, 0);
  const std::string value = Value(4, 0);
  setenv("TZ", "UTC", 1);
  tzset();
  zt::test_hooks::ForgetCachedTimes();
  EXPECT_EQ(title, "Zentravo - 3.0 (EA-7) Wed, Jul 13, 2011 11:39:05");
  EXPECT_EQ(value, "900.00 / 1000.00 [2011.07.13 11:39]");
}

TEST_F(DashboardTitle, AClockThatCannotBeConvertedShowsDashes) {
  zt::test_hooks::FixClock(-1);
  EXPECT_EQ(Label(0, 0), "Zentravo - 3.0 (EA-7) ---, --- --, ---- --:--:--");
}

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

// ---- Locale ----------------------------------------------------------------------------------

// Every text a host can get from the guard, in one list.
std::vector<std::string> EveryText() {
  std::vector<std::string> texts;
  const auto add = [&](const HostBuffer& buffer) {
    texts.push_back(buffer.Untouched() ? std::string("<nothing>") : buffer.Text());
  };
  for (int kind = 0; kind <= 5; ++kind) {
    HostBuffer buffer;
    zt::texts::WriteAlert(kind, buffer.data(), ZT_TEXT_CAPACITY);
    add(buffer);
  }
  for (int kind = 0; kind <= 3; ++kind) {
    HostBuffer buffer;
    zt::texts::WriteEmailSubject(kind, buffer.data(), ZT_TEXT_CAPACITY);
    add(buffer);
    for (int part = 0; part <= 6; ++part) {
      HostBuffer line;
      zt::texts::WriteEmailLine(part, kind, 1234.5, line.data(), ZT_TEXT_CAPACITY);
      add(line);
    }
  }
  for (const int column : {0, 1}) {
    for (int row = 0; row <= 15; ++row) {
      HostBuffer label;
      zt::texts::WriteLabel(row, column, label.data(), ZT_TEXT_CAPACITY);
      add(label);
      HostBuffer value;
      zt::texts::WriteValue(row, column, value.data(), ZT_TEXT_CAPACITY);
      add(value);
    }
  }
  return texts;
}

using DashboardLocale = DashboardTest;

TEST_F(DashboardLocale, ACommaDecimalLocaleChangesNoText) {
  guard.increaseIndex = 1;
  guard.reachedDrawdownTarget = 20.5;
  guard.closeDurationMs = 1500;
  std::tie(guard.emailEquityTarget, guard.emailMarginPercent, guard.emailDrawdown) =
      std::tuple(250.25, 50.0, 75.5);
  const std::vector<std::string> inC = EveryText();

  const char* const previous = std::setlocale(LC_ALL, nullptr);
  const std::string restore = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
  }
  std::array<char, 16> probe{};
  std::snprintf(probe.data(), probe.size(), "%0.1f", 1.5);
  const std::string decimal = probe.data();
  const std::vector<std::string> inGerman = EveryText();
  std::setlocale(LC_ALL, restore.c_str());

  EXPECT_EQ(decimal, "1,5") << "the locale does not write a decimal comma";
  EXPECT_EQ(inGerman, inC);
  ASSERT_GT(inGerman.size(), 2u);
  EXPECT_EQ(inGerman[2],
            "Prev Snap $1000.00, TP: $50.00, New Snap $985.00 ($-15.00), DD -$50.00, TTC 1.5s, "
            "ZT CloseAll Take Profit Complete");
}

}  // namespace
