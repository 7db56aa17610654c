// The guard's use of its settings file: keys, formats, order, and SetLastValues.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <string>

#include "boundary/test_hooks.h"
#include "core/guard_state.h"
#include "settings/settings_store.h"
#include "test_support.h"
#include "zentravo.h"

namespace zt::settings {
namespace {

using testing::FreshGuard;
using testing::LockHolder;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshGuard(folder); }
  std::string Ini() const { return ReadFile(folder.File("zentravo.ini")); }
  TempFolder folder;
};

TEST_F(SettingsStoreTest, AFullHistoryFromNothingHasTheWindowsLayout) {
  double initial = 0.0;
  InitZT(0, "", &initial, 1000, 0, 0, "50", "20,40", "", "100");
  SetEquity(980, 0, 0, 0);  // drawdown step: the six positions
  EXPECT_EQ(Ini(),
            "[SNAP]\r\nEquity Snap=1000.00\r\nInitial Equity=1000.00\r\n"
            "[INDEX]\r\nTPSet=0\r\nDDSet=0\r\nTP=0\r\nDD=1\r\nIncrease=0\r\nSL=0\r\n");
  SetEquity(1010.126, 0, 0, 1);  // the roll: the snapshot and the positions it set
  EXPECT_EQ(Ini(),
            "[SNAP]\r\nEquity Snap=1010.13\r\nInitial Equity=1000.00\r\n"
            "[INDEX]\r\nTPSet=0\r\nDDSet=0\r\nTP=0\r\nDD=0\r\nIncrease=0\r\nSL=0\r\n");
}

TEST_F(SettingsStoreTest, SetLastValuesWritesTheFileOnly) {
  SetLastValues(0, 1, 2, 3, 4);
  EXPECT_EQ(Ini(), "[INDEX]\r\nTPSet=1\r\nTP=2\r\nDDSet=3\r\nDD=4\r\nIncrease=0\r\nSL=0\r\n");
  SetLastValues(1234.567, 0, 0, 0, 0);
  EXPECT_EQ(Ini(),
            "[INDEX]\r\nTPSet=0\r\nTP=0\r\nDDSet=0\r\nDD=0\r\nIncrease=0\r\nSL=0\r\n"
            "[SNAP]\r\nEquity Snap=1234.57\r\n");
  SetLastValues(std::numeric_limits<double>::infinity(), 5, 5, 5, 5);
  EXPECT_EQ(Ini().find("inf"), std::string::npos);
  EXPECT_EQ(core::guard.tpSet, 0);  // the running guard is not changed
}

// A write that repeats what this process wrote last is checked against the file as it is now:
// another writer's change in between is overwritten, as any write would.
TEST_F(SettingsStoreTest, ARepeatedWriteLandsOverAnotherWritersChange) {
  SetLastValues(0, 1, 2, 3, 4);
  WriteFile(folder.File("zentravo.ini"), "[INDEX]\r\nTPSet=1\r\nTP=9\r\nDDSet=3\r\nDD=4\r\n");
  SetLastValues(0, 1, 2, 3, 4);
  EXPECT_EQ(Ini(), "[INDEX]\r\nTPSet=1\r\nTP=2\r\nDDSet=3\r\nDD=4\r\nIncrease=0\r\nSL=0\r\n");
}

TEST_F(SettingsStoreTest, ReadsKeepToTheFirstNumberAndFallBack) {
  WriteFile(folder.File("zentravo.ini"),
            "[snap]\nequity snap = \"1250.50\" \n[Index]\ntpset=2.7\nTP=x\n");
  EXPECT_EQ(ReadAmount(kEquitySnapKey), 1250.5);
  EXPECT_EQ(ReadAmount(kInitialEquityKey), 0.0);
  EXPECT_EQ(ReadIndex(kTakeProfitSetKey), 2);
  EXPECT_EQ(ReadIndex(kTakeProfitIndexKey), 0);
  EXPECT_EQ(ReadIndex(kDrawdownSetKey), 0);
}

TEST_F(SettingsStoreTest, HandEditedLinesSurviveTheGuardsWrites) {
  WriteFile(folder.File("zentravo.ini"),
            "; my notes\r\n[SNAP]\r\nEquity Snap=1000\r\n[Other]\r\nKeep=me\r\n");
  double initial = 0.0;
  InitZT(0, "", &initial, 900, 0, 0, "50", "20", "", "100");
  SetEquity(1060, 0, 0, 0);
  EXPECT_EQ(Ini(),
            "; my notes\r\n[SNAP]\r\nEquity Snap=1000\r\nInitial Equity=1000.00\r\n[Other]\r\nKeep=me\r\n"
            "[INDEX]\r\nTPSet=0\r\nDDSet=0\r\nTP=0\r\nDD=0\r\nIncrease=0\r\nSL=0\r\n");
}

// Every commit leaves what became of it for the notice line, and the next one that lands clears
// it.
TEST_F(SettingsStoreTest, EachWriteRecordsWhetherItLanded) {
  using core::SettingsTrouble;
  const std::string path = folder.File("zentravo.ini");
  WriteAmount(kEquitySnapKey, 1000);
  CommitWrites();
  EXPECT_EQ(core::guard.persistence.settings, SettingsTrouble::none);

  // Over the store's 4 MiB: left as it is, and named as too large.
  WriteFile(path, "[SNAP]\r\n; " + std::string(std::size_t{4} << 20, 'x') + "\r\n");
  WriteIndices();
  CommitWrites();
  EXPECT_EQ(core::guard.persistence.settings, SettingsTrouble::tooLarge);
  EXPECT_EQ(ReadFile(path).size(), (std::size_t{4} << 20) + 12);

  WriteFile(path, std::string("\xFF\xFE[\0S\0]\0", 8));
  WriteAmount(kEquitySnapKey, 1000);
  CommitWrites();
  EXPECT_EQ(core::guard.persistence.settings, SettingsTrouble::foreignText);

  std::snprintf(core::guard.settingsPath, sizeof core::guard.settingsPath, "%s/missing/z.ini",
                folder.path.c_str());
  WriteAmount(kEquitySnapKey, 1000);
  CommitWrites();
  EXPECT_EQ(core::guard.persistence.settings, SettingsTrouble::failed);

  core::guard.settingsPath[0] = '\0';
  WriteLastValues(1000, 0, 0, 0, 0);
  CommitWrites();
  EXPECT_EQ(core::guard.persistence.settings, SettingsTrouble::noLocation);

  std::snprintf(core::guard.settingsPath, sizeof core::guard.settingsPath, "%s", path.c_str());
  WriteFile(path, "");
  WriteIndices();
  CommitWrites();
  EXPECT_EQ(core::guard.persistence.settings, SettingsTrouble::none);
}

// A locked file delays the writes but never loses them: they stay held, each key with its newest
// value, the notice line says so, and the first call after the lock is gone puts them all in.
TEST_F(SettingsStoreTest, ALockedFileDelaysTheWritesAndNeverLosesThem) {
  const std::string stored = "[SNAP]\r\nEquity Snap=1000.00\r\nInitial Equity=900.00\r\n";
  WriteFile(folder.File("zentravo.ini"), stored);
  double initial = 0.0;
  InitZT(0, "", &initial, 1000, 0, 0, "50;60", "20;30", "1100", "100");
  LockHolder other(folder.File("zentravo.ini.lock"));
  EXPECT_EQ(SetEquity(1060, 0, 0, 0), ZT_TAKE_PROFIT_HIT);  // the close-all's four positions
  EXPECT_EQ(SetEquity(1120, 0, 0, 1), ZT_INCREASE_REACHED);  // the roll and the advanced sets
  char notice[ZT_TEXT_CAPACITY];
  GetLabel(15, 0, notice);
  EXPECT_STREQ(notice, "Settings pending: file locked");
  EXPECT_EQ(Ini(), stored);
  EXPECT_TRUE(WritesPending());
  other.Release();
  GetLabel(15, 0, notice);
  EXPECT_STREQ(notice, "Zentravo equity guard");
  EXPECT_EQ(Ini(), "[SNAP]\r\nEquity Snap=1120.00\r\nInitial Equity=900.00\r\n"
                   "[INDEX]\r\nTPSet=1\r\nDDSet=1\r\nTP=0\r\nDD=0\r\nIncrease=1\r\nSL=0\r\n");
  // A fresh load resumes exactly that.
  test_hooks::ResetGuard();
  testing::FreshGuard(folder);
  EXPECT_EQ(InitZT(0, "", nullptr, 500, 0, 0, "50;60", "20;30", "1100", "100"), 1120.0);
  EXPECT_EQ(core::guard.tpSet, 1);
  EXPECT_EQ(core::guard.initialEquity, 900.0);
}

}  // namespace
}  // namespace zt::settings
