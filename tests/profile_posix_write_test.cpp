// The POSIX private-profile store's writes: files rewritten exactly as the Windows service
// rewrites them, unchanged files left alone, long lines and batches, and the permission bits kept.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/profile_store.h"
#include "test_support.h"
#include "profile_posix_support.h"

namespace zt::settings {
namespace {

using namespace profile_testing;

// ---- Writes -----------------------------------------------------------------------------------

// The guard's own file, written from nothing: the Windows service gives exactly these bytes.
constexpr std::string_view kGuardFile =
    "[SNAP]\r\nEquity Snap=0\r\nInitial Equity=1000.00\r\n"
    "[INDEX]\r\nTPSet=1\r\nDDSet=2\r\nTP=3\r\nDD=4\r\n";

TEST(ProfileWrite, NewFileIsTheWindowsServiceFile) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  ASSERT_TRUE(Write(path, "SNAP", "Equity Snap", "0"));
  EXPECT_EQ(ReadFile(path), "[SNAP]\r\nEquity Snap=0\r\n");
  ASSERT_TRUE(Write(path, "SNAP", "Initial Equity", "1000.00"));
  const ProfileEntry indices[] = {{"TPSet", "1"}, {"DDSet", "2"}, {"TP", "3"}, {"DD", "4"}};
  ASSERT_TRUE(WriteProfileStrings(path.c_str(), "INDEX", indices, 4));
  EXPECT_EQ(ReadFile(path), kGuardFile);
  EXPECT_EQ(ReadFile(path).size(), 86u);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
}

TEST(ProfileWrite, UpdatesPlacementAndNormalisation) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  struct Row {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  };
  const Row rows[] = {
      {"case keeps the file's spelling", "[SNAP]\r\nEquity Snap=1\r\n", "snap", "EQUITY SNAP", "7",
       "[SNAP]\r\nEquity Snap=7\r\n"},
      {"new key under the existing section", "[SNAP]\r\nEquity Snap=1\r\n[INDEX]\r\nTP=1\r\n",
       "snap", "Initial Equity", "5",
       "[SNAP]\r\nEquity Snap=1\r\nInitial Equity=5\r\n[INDEX]\r\nTP=1\r\n"},
      {"new section at the end, as spelt", "[SNAP]\r\nA=1\r\n", "Index", "TP", "3",
       "[SNAP]\r\nA=1\r\n[Index]\r\nTP=3\r\n"},
      {"new key after the last line of its section",
       "[S]\r\nA=1\r\n\r\n; trailing comment\r\n\r\n[T]\r\nB=2\r\n", "S", "New", "1",
       "[S]\r\nA=1\r\n; trailing comment\r\nNew=1\r\n[T]\r\nB=2\r\n"},
      {"no final line end, new key", "[S]\r\nA=1", "S", "B", "2", "[S]\r\nA=1\r\nB=2\r\n"},
      {"no final line end, new section", "[S]\r\nA=1", "T", "K", "v",
       "[S]\r\nA=1\r\n[T]\r\nK=v\r\n"},
      {"rewrite normalises every line",
       "  ; note  \n\n[ SNAP ]  junk\n  Equity Snap  =  1  \n\n just text \n[X ] \nY = a  b \n",
       "SNAP", "Equity Snap", "2",
       "; note\r\n[SNAP]\r\nEquity Snap=2\r\njust text\r\n[X]\r\nY=a  b\r\n"},
      {"tabs are blanks", "[S]\n\tA\t=\t1\t\n", "S", "B", "2", "[S]\r\nA=1\r\nB=2\r\n"},
      {"lone CR line ends", "[S]\rA=1\rB=2\r", "S", "A", "3", "[S]\r\nA=3\r\nB=2\r\n"},
      {"byte order mark kept",
       "\xEF\xBB\xBF[S]\nA=1\n", "S", "A", "2", "\xEF\xBB\xBF[S]\r\nA=2\r\n"},
      {"first of duplicate sections",
       "[SNAP]\r\nA=1\r\n[INDEX]\r\nTP=1\r\n[snap]\r\nA=9\r\nB=9\r\n", "SNAP", "B", "2",
       "[SNAP]\r\nA=1\r\nB=2\r\n[INDEX]\r\nTP=1\r\n[snap]\r\nA=9\r\nB=9\r\n"},
      {"first of duplicate keys", "[S]\r\nA=1\r\nA=2\r\n", "S", "A", "3",
       "[S]\r\nA=3\r\nA=2\r\n"},
      {"broken header stays in the section", "[S]\r\nA=1\r\n[broken\r\nB=2\r\n", "S", "B", "3",
       "[S]\r\nA=1\r\n[broken\r\nB=3\r\n"},
      {"names and value trimmed", "", " S ", " Spaced Key ", " spaced value ",
       "[S]\r\nSpaced Key=spaced value\r\n"},
      {"quotes written as given", "[S]\r\n", "S", "Q", "\"quoted\"", "[S]\r\nQ=\"quoted\"\r\n"},
      {"quotes are part of the stored value", "[S]\r\nA=\"7\"\r\n", "S", "A", "7",
       "[S]\r\nA=7\r\n"},
      {"equals in a value", "[S]\r\n", "S", "Eq", "a=b", "[S]\r\nEq=a=b\r\n"},
      {"empty value", "[S]\r\nA=1\r\n", "S", "A", "", "[S]\r\nA=\r\n"},
      {"key before any section", "A=1\r\n[S]\r\nB=2\r\n", "", "a", "5", "A=5\r\n[S]\r\nB=2\r\n"},
      {"new key before any section", "A=1\r\n[S]\r\nB=2\r\n", "", "C", "3",
       "A=1\r\nC=3\r\n[S]\r\nB=2\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteFile(path, row.before);
    EXPECT_TRUE(Write(path, row.section, row.key, row.value));
    EXPECT_EQ(ReadFile(path), row.after);
  }
  EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
}

TEST(ProfileWrite, UnchangedWriteLeavesBytesAndTime) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  const std::string before = "\xEF\xBB\xBF\n [ snap ] \n  Equity Snap =  1.50 \n\nQ = \"x\"\n";
  WriteFile(path, before);
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  std::filesystem::last_write_time(path, old);

  const ProfileEntry same[] = {{"EQUITY SNAP", " 1.50"}, {"q", "\"x\""}};
  EXPECT_TRUE(WriteProfileStrings(path.c_str(), " SNAP", same, 2));
  EXPECT_TRUE(Write(path, "snap", "Equity Snap", "1.50"));
  EXPECT_TRUE(WriteProfileStrings(path.c_str(), "SNAP", same, 0));
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(std::filesystem::last_write_time(path), old);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
}

TEST(ProfileWrite, LongLinesSurviveRewrites) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  const std::string value = Pattern(70000);
  const std::string comment = "; " + Pattern(70000);
  const std::string key = Pattern(1100);
  WriteFile(path, "[S]\n" + comment + "\nLong=" + value + "\n" + key + "=k\n");
  ASSERT_TRUE(Write(path, "S", "New", "1"));
  EXPECT_EQ(ReadFile(path),
            "[S]\r\n" + comment + "\r\nLong=" + value + "\r\n" + key + "=k\r\nNew=1\r\n");
  EXPECT_EQ(Read(path, "S", "Long"), value.substr(0, 63));
  EXPECT_EQ(Read(path, "S", key), "k");
}

TEST(ProfileWrite, BatchEqualsSingleWritesInOrder) {
  struct Row {
    const char* name;
    const char* before;  // nullptr: no file
    const char* section;
    std::vector<ProfileEntry> entries;
  };
  const Row rows[] = {
      {"from nothing", nullptr, "INDEX",
       {{"TPSet", "1"}, {"DDSet", "2"}, {"TP", "3"}, {"DD", "4"}}},
      {"guard file, some unchanged", kGuardFile.data(), "INDEX",
       {{"TPSet", "1"}, {"DDSet", "5"}, {"TP", "3"}, {"DD", "0"}}},
      {"first unchanged, second normalises", "[S]\n A = 1 \n\nB=2\n", "S",
       {{"A", "1"}, {"B", "3"}}},
      {"set and set back still normalises", "[S]\n A = 1 \n", "S", {{"A", "2"}, {"A", "1"}}},
      {"all unchanged", "\n[S]\n A = 1 \n", "s", {{"a", "1"}, {"A", "1"}}},
      {"one key in two spellings", "[S]\r\n", "S", {{"TP", "1"}, {"tp", "2"}, {"Tp", "3"}}},
      {"new keys in a new section", "\xEF\xBB\xBF[S]\r\nA=1", "T",
       {{"K", "1"}, {"L", "2"}, {"K", "3"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempFolder folder;
    const std::string batch = folder.File("batch.ini");
    const std::string single = folder.File("single.ini");
    if (row.before != nullptr) {
      WriteFile(batch, row.before);
      WriteFile(single, row.before);
    }
    EXPECT_TRUE(WriteProfileStrings(batch.c_str(), row.section, row.entries.data(),
                                    static_cast<int>(row.entries.size())));
    for (const ProfileEntry& entry : row.entries) {
      EXPECT_TRUE(Write(single, row.section, entry.key, entry.value));
    }
    EXPECT_EQ(ReadFile(batch), ReadFile(single));
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"batch.ini", "single.ini"}));
  }
}

TEST(ProfileWrite, RewriteKeepsThePermissionBits) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  const mode_t saved = umask(022);
  // 0664 is beyond what the umask lets a new file have: only keeping the bits can give it back.
  for (const mode_t bits : {mode_t{0600}, mode_t{0640}, mode_t{0664}}) {
    SCOPED_TRACE(bits);
    WriteFile(path, "[S]\r\nA=1\r\n");
    ASSERT_EQ(chmod(path.c_str(), bits), 0);
    EXPECT_TRUE(Write(path, "S", "A", "2"));
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, bits);
  }
  umask(saved);
}

}  // namespace
}  // namespace zt::settings
