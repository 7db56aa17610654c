// The dashboard's labels and title line: every label, the notice line, the host's tag and the
// local time, taken at every call and in the time zone's own terms.
#include "texts/dashboard.h"

#include "dashboard_support.h"

namespace {

using namespace dashboard_testing;

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

}  // namespace
