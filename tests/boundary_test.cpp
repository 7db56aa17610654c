// The library boundary: where the settings file goes, the terminal identity, the plain setters.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "settings/settings_path.h"
#include "boundary/test_hooks.h"
#include "boundary/terminal_identity.h"
#include "core/guard_state.h"
#include "test_support.h"
#include "zentravo.h"

namespace zt::boundary {
namespace {

using core::guard;

struct PathCase {
  std::string modulePath;
  std::string settingsPath;  // empty: persist nothing
};

class SettingsPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SettingsPathTest, ReplacesTheFileNamesExtension) {
  std::snprintf(guard.settingsPath, sizeof guard.settingsPath, "stale");
  settings::DeriveSettingsPath(GetParam().modulePath);
  EXPECT_EQ(std::string(guard.settingsPath), GetParam().settingsPath);
}

INSTANTIATE_TEST_SUITE_P(
    ModulePaths, SettingsPathTest,
    ::testing::Values(
        PathCase{"C:\\Terminal\\experts\\libraries\\zentravo.dll",
                 "C:\\Terminal\\experts\\libraries\\zentravo.ini"},
        PathCase{"C:\\my.dll.files\\zentravo.dll", "C:\\my.dll.files\\zentravo.ini"},
        PathCase{"C:\\T\\ZENTRAVO.DLL", "C:\\T\\ZENTRAVO.ini"},
        PathCase{"/opt/zt/zentravo.so", "/opt/zt/zentravo.ini"},
        PathCase{"/opt/zt.d/zentravo", "/opt/zt.d/zentravo.ini"},
        PathCase{"", ""},
        PathCase{"/opt/zt/", ""},
        // 251 characters before the extension: 255 with ".ini" still fits the 256-byte field.
        PathCase{"/" + std::string(248, 'a') + "/z.so", "/" + std::string(248, 'a') + "/z.ini"},
        // Deeper: the field keeps 251 bytes of the location, never half a UTF-8 character.
        PathCase{"/" + std::string(249, 'a') + "/z.so", "/" + std::string(249, 'a') + "/.ini"},
        PathCase{"/" + std::string(247, 'a') + "/\u00e9.so", "/" + std::string(247, 'a') + "/\u00e9.ini"},
        PathCase{"/" + std::string(248, 'a') + "/\u00e9.so", "/" + std::string(248, 'a') + "/.ini"}));

struct IdentityCase {
  const char* frameTitle;
  const char* mainTitle;
  const char* symbol;
  int account;
  const char* server;
};

class TerminalIdentityTest : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(TerminalIdentityTest, ReadsTheTitles) {
  const IdentityCase& c = GetParam();
  SetWindowTitles(4711, c.frameTitle, c.mainTitle);
  TerminalIdentity(4711);
  EXPECT_STREQ(guard.symbol, c.symbol);
  EXPECT_EQ(guard.accountNumber, c.account);
  EXPECT_STREQ(guard.serverName, c.server);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TerminalIdentityTest,
    ::testing::Values(
        IdentityCase{"EURUSD,H1", "123456: Broker Server - Demo Account", "EURUSD", 123456, " Broker Server"},
        // Real servers carry hyphens of their own; only the title's " -" ends the name.
        IdentityCase{"GBPJPY,M5", "1: Alpha-Beta - Live", "GBPJPY", 1, " Alpha-Beta"},
        IdentityCase{"EURUSD,H1", "51234567: ICMarketsSC-Demo03 - Demo Account: Hedge", "EURUSD",
                     51234567, " ICMarketsSC-Demo03"},
        IdentityCase{"EURUSD,H1", "7: MetaQuotes-Demo", "EURUSD", 7, " MetaQuotes-Demo"},
        IdentityCase{"X,D1", "Demo: Server - A", "X", 0, " Server"},
        IdentityCase{"ABCDEFGHIJKLMNOPQRS,H1", "  -42:S - x", "ABCDEFGHIJKLMNO", -42, "S"},
        IdentityCase{"EURUSD", "99999999999: S - x", "EURUSD", INT_MAX, " S"},
        IdentityCase{"", "-99999999999:-x", "", INT_MIN, "-x"},
        IdentityCase{"A,B", "12 no colon - x", "A", 12, ""},
        IdentityCase{"A,B", "12: no dash", "A", 12, " no dash"},
        IdentityCase{nullptr, nullptr, "", 0, ""}));

TEST(TerminalIdentityUnknownChart, GivesAnEmptyIdentity) {
  TerminalIdentity(-12345);
  EXPECT_STREQ(guard.symbol, "");
  EXPECT_EQ(guard.accountNumber, 0);
  EXPECT_STREQ(guard.serverName, "");
}

TEST(GuardSetters, HandValuesInAndOut) {
  test_hooks::ResetGuard();
  int values[4] = {-1, -1, -1, -1};
  GetIndex(&values[0], &values[1], &values[2], &values[3]);
  EXPECT_EQ(values[0] + values[1] + values[2] + values[3], 0);
  EXPECT_EQ(GetEquitySnap(), 0.0);
  guard.tpSet = 1;
  guard.tpIndex = 2;
  guard.ddSet = 3;
  guard.ddIndex = 4;
  GetIndex(&values[0], &values[1], &values[2], &values[3]);
  EXPECT_EQ(values[0] * 1000 + values[1] * 100 + values[2] * 10 + values[3], 1234);
  GetIndex(nullptr, nullptr, nullptr, nullptr);  // receives nothing, does not crash
  EXPECT_EQ(SetTTC(1500, 1030.5), 1500);
  EXPECT_EQ(guard.closeDurationMs, 1500);
  EXPECT_EQ(guard.equity, 1030.5);
  SetEmailProp(100, 50, -25);
  EXPECT_EQ(guard.emailEquityTarget, 100.0);
  EXPECT_EQ(guard.emailMarginPercent, 50.0);
  EXPECT_EQ(guard.emailDrawdown, -25.0);
}

// A terminal restarted after a crash loads the library again: the load, before any call, takes
// away the temporary file a killed settings write left beside the settings file.
TEST(ModuleLoad, RemovesTheLeftoversOfAKilledSettingsWrite) {
  testing::TempFolder folder;
  const std::string library = folder.File("zentravo.so");
  std::filesystem::copy_file(ZT_SHARED_LIBRARY, library);
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_GT(ended, 0);
  waitpid(ended, nullptr, 0);
  const std::string leftover = folder.File("zentravo.ini." + std::to_string(ended) + ".tmp");
  testing::WriteFile(folder.File("zentravo.ini"), "[SNAP]\r\nEquity Snap=1000.00\r\n");
  testing::WriteFile(leftover, "[SNAP]\r\nEquity Sn");

  void* const loaded = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(loaded, nullptr) << dlerror();
  EXPECT_FALSE(testing::FileExists(leftover));
  EXPECT_EQ(testing::ReadFile(folder.File("zentravo.ini")), "[SNAP]\r\nEquity Snap=1000.00\r\n");
  dlclose(loaded);
}

// Writes held back by a locked settings file get a last try as the library is unloaded: a guard
// stopped right after the other writer let go keeps its last roll.
TEST(ModuleUnload, CommitsTheWritesALockHeldBack) {
  testing::TempFolder folder;
  const std::string library = folder.File("zentravo.so");
  std::filesystem::copy_file(ZT_SHARED_LIBRARY, library);
  void* const loaded = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(loaded, nullptr) << dlerror();
  const auto start = reinterpret_cast<decltype(&InitZT)>(dlsym(loaded, "InitZT"));
  const auto roll = reinterpret_cast<decltype(&SetEquity)>(dlsym(loaded, "SetEquity"));
  ASSERT_TRUE(start != nullptr && roll != nullptr);
  double initial = 0.0;
  start(0, "", &initial, 1000, 0, 0, "50", "20", "", "100");
  testing::LockHolder other(folder.File("zentravo.ini.lock"));
  roll(1060, 0, 0, 1);
  const std::string before = testing::ReadFile(folder.File("zentravo.ini"));
  EXPECT_NE(before.find("Equity Snap=1000.00\r\n"), std::string::npos) << before;
  other.Release();
  dlclose(loaded);
  const std::string after = testing::ReadFile(folder.File("zentravo.ini"));
  EXPECT_NE(after.find("Equity Snap=1060.00\r\n"), std::string::npos) << after;
}

}  // namespace
}  // namespace zt::boundary
