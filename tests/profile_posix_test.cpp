// The POSIX private-profile store: files must read and rewrite exactly as the Windows service
// reads and rewrites them, and a write must never damage a file it cannot handle.
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

namespace zt::settings {
namespace {

using zt::testing::ReadFile;
using zt::testing::TempFolder;
using zt::testing::WriteFile;

constexpr char kGuard = '#';

// Reads into a 64-byte buffer followed by a guard byte that must survive.
std::string Read(const std::string& path, std::string_view section, std::string_view key,
                 std::string_view fallback = "default") {
  char out[kProfileValueCapacity + 1];
  std::memset(out, kGuard, sizeof out);
  int length = ReadProfileString(path.c_str(), section, key, fallback, out);
  EXPECT_EQ(out[kProfileValueCapacity], kGuard) << "wrote past the buffer";
  EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(out));
  return std::string(out, static_cast<std::size_t>(length));
}

bool Write(const std::string& path, std::string_view section, std::string_view key,
           std::string_view value) {
  ProfileEntry entry{key, value};
  return WriteProfileStrings(path.c_str(), section, &entry, 1);
}

// Names in the folder, sorted: shows a temporary file left behind or a file created by mistake.
// The folder's files, but for the lock files that changing writes leave (empty, and kept).
std::vector<std::string> Names(const TempFolder& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder.path)) {
    if (item.path().extension() == ".lock" && std::filesystem::file_size(item.path()) == 0) continue;
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A text where every position differs from its neighbours, so a cut in the wrong place shows.
std::string Pattern(std::size_t length) {
  std::string text(length, ' ');
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

// ---- Reads ------------------------------------------------------------------------------------

TEST(ProfileRead, ValuesAsTheWindowsServiceReadsThem) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  WriteFile(path,
            "[SNAP]\r\nEquity Snap=1234.50\r\n"
            "[Spaces]\r\n  TP  =  7  \r\nY = a  b \r\n\tTab\t=\tt\t\r\n"
            "[Quotes]\r\nDQ=\"dq value\"\r\nSQ='sq value'\r\nPadded=  \"  padded  \"  \r\n"
            "Empty=\"\"\r\nMixed=\"mixed'\r\nOpen=\"unterminated\r\nLone=\"\r\nInner=a\"b\"c\r\n"
            "\"QK\"=quoted key\r\n"
            "[Other]\r\n;B=2\r\n; comment line\r\nD=4 ; inline\r\njust some text\r\n=noname\r\n"
            "C==eq\r\nF=b=c\r\nBlank=\r\n[broken\r\nAfterBroken=still other\r\n"
            "[K]x\r\nInK=k\r\n  [ Trimmed ]  \r\nT=t\r\n"
            "[Dup]\r\nA=first\r\nA=second\r\n[dup]\r\nA=third\r\nB=hidden\r\n");
  struct Row {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Row rows[] = {
      {"SNAP", "Equity Snap", "1234.50"},   {"snap", "equity snap", "1234.50"},
      {"SNAP", "EQUITY SNAP", "1234.50"},   {" SNAP ", " Equity Snap ", "1234.50"},
      {"SNAP", "Equity  Snap", "default"},  {"Spaces", "TP", "7"},
      {"Spaces", "Y", "a  b"},              {"Spaces", "Tab", "t"},
      {"Quotes", "DQ", "dq value"},         {"Quotes", "SQ", "sq value"},
      {"Quotes", "Padded", "  padded  "},   {"Quotes", "Empty", ""},
      {"Quotes", "Mixed", "\"mixed'"},      {"Quotes", "Open", "\"unterminated"},
      {"Quotes", "Lone", "\""},             {"Quotes", "Inner", "a\"b\"c"},
      {"Quotes", "\"QK\"", "quoted key"},   {"Quotes", "QK", "default"},
      {"Other", ";B", "2"},                 {"Other", "; comment line", "default"},
      {"Other", "D", "4 ; inline"},         {"Other", "just some text", "default"},
      {"Other", "", "noname"},              {"Other", "C", "=eq"},
      {"Other", "F", "b=c"},                {"Other", "Blank", ""},
      {"Other", "AfterBroken", "still other"}, {"broken", "AfterBroken", "default"},
      {"K", "InK", "k"},                    {"Trimmed", "T", "t"},
      {"Dup", "A", "first"},                {"Dup", "B", "default"},
      {"Missing", "A", "default"},          {"", "A", "default"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.section) + "/" + row.key);
    EXPECT_EQ(Read(path, row.section, row.key), row.expected);
  }
}

TEST(ProfileRead, LineEndsByteOrderMarkAndKeysBeforeAnySection) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  const char* files[] = {
      "A=0\r\n[S]\r\nA=1\r\n[T]\r\nB=2\r\n",
      "\nA=0\n\n[S]\nA=1\n\n[T]\nB=2\n\n",
      "A=0\r[S]\rA=1\r[T]\rB=2\r",
      "A=0\n\r[S]\r\nA=1\r[T]\nB=2",
      "\xEF\xBB\xBF" "A=0\r\n[S]\r\nA=1\r\n[T]\r\nB=2\r\n",
      "\xEF\xBB\xBF" "A=0\n[S]\nA=1\n[T]\nB=2",
  };
  for (const char* file : files) {
    SCOPED_TRACE(::testing::PrintToString(std::string(file)));
    WriteFile(path, file);
    EXPECT_EQ(Read(path, "S", "A"), "1");
    EXPECT_EQ(Read(path, "t", "b"), "2");
    EXPECT_EQ(Read(path, "", "A"), "0");
    EXPECT_EQ(Read(path, "S", "B"), "default");
  }
}

TEST(ProfileRead, LongTextsAreCutTo63Characters) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  const std::string longKey = Pattern(1100);
  const std::string quoted = Pattern(100);
  WriteFile(path, "[S]\r\n" + longKey + "=found\r\nQ=\"" + quoted + "\"\r\n");
  EXPECT_EQ(Read(path, "S", longKey), "found");
  EXPECT_EQ(Read(path, "S", "Q"), quoted.substr(0, 63));

  struct Row {
    std::size_t length;
    std::size_t expected;
  };
  const Row rows[] = {{62, 62}, {63, 63}, {64, 63}, {100, 63}, {1500, 63}, {70000, 63}};
  for (Row row : rows) {
    SCOPED_TRACE(row.length);
    const std::string value = Pattern(row.length);
    WriteFile(path, "[S]\r\nV=" + value + "\r\n");
    EXPECT_EQ(Read(path, "S", "V"), value.substr(0, row.expected));
    EXPECT_EQ(Read(path, "S", "Missing", value), value.substr(0, row.expected));
  }
  EXPECT_EQ(Read(path, "S", "Missing", "  dflt \t "), "  dflt");
  EXPECT_EQ(Read(path, "S", "Missing", Pattern(63) + "   "), Pattern(63));
}

TEST(ProfileRead, NoFileGivesTheFallback) {
  TempFolder folder;
  for (const std::string& path : {std::string(), folder.File("missing.ini"), folder.path,
                                  folder.File("no/such/folder.ini")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Read(path, "SNAP", "Equity Snap", "0"), "0");
    EXPECT_EQ(ReadProfileInt(path.c_str(), "INDEX", "TP", 5), 5);
  }
  EXPECT_FALSE(Write("", "SNAP", "Equity Snap", "1"));
  EXPECT_TRUE(Names(folder).empty());
}

TEST(ProfileReadInt, ConvertsAsTheWindowsService) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  struct Row {
    const char* text;
    int expected;
  };
  const Row rows[] = {
      {"2.7", 2},     {" 12", 12},    {"\" 12\"", 12}, {"-3", -3},  {"+5", 5},
      {"12abc", 12},  {"010", 10},    {"007", 7},      {"abc", 0},  {"1e3", 1},
      {"- 5", 0},     {"--5", 0},     {"-", 0},        {"\"42\"", 42}, {"'43'", 43},
      {"0x10", 16},   {"0x1F", 31},   {"0X1f", 0},     {"-0x10", -16}, {"4 ; inline", 4},
      {"99999999999", 1215752191},    {"2147483648", -2147483647 - 1},
      {"4294967295", -1},             {"-2147483648", -2147483647 - 1},
      {"", 77},       {"\"\"", 77},
  };
  std::string file = "[I]\r\n";
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    file += "K" + std::to_string(i) + "=" + rows[i].text + "\r\n";
  }
  WriteFile(path, file);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].text);
    EXPECT_EQ(ReadProfileInt(path.c_str(), "i", "k" + std::to_string(i), 77), rows[i].expected);
  }
  EXPECT_EQ(ReadProfileInt(path.c_str(), "I", "Missing", 77), 77);
  EXPECT_EQ(ReadProfileInt(folder.File("missing.ini").c_str(), "I", "K0", -4), -4);
}

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

// ---- Failures ---------------------------------------------------------------------------------

TEST(ProfileWriteFailure, NothingIsWrittenWhereItCannotBe) {
  TempFolder folder;
  std::filesystem::create_directory(folder.File("folder.ini"));
  WriteFile(folder.File("zentravo.ini"), "[S]\nA=1\n");
  struct Row {
    std::string path;
    const char* section;
    const char* key;
    const char* value;
  };
  const Row rows[] = {
      {"", "S", "A", "2"},
      {folder.File("missing/zentravo.ini"), "S", "A", "2"},
      {folder.File("zentravo.ini/below.ini"), "S", "A", "2"},
      {folder.File("folder.ini"), "S", "A", "2"},
      {folder.File("zentravo.ini"), "S", "A", "2\r\n[T]"},
      {folder.File("zentravo.ini"), "S", "A\nB", "2"},
      {folder.File("zentravo.ini"), "S\r", "A", "2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path + " " + row.section + "/" + row.key + "=" + row.value);
    EXPECT_FALSE(Write(row.path, row.section, row.key, row.value));
    EXPECT_EQ(ReadFile(folder.File("zentravo.ini")), "[S]\nA=1\n");
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"folder.ini", "zentravo.ini"}));
  }
}

TEST(ProfileWriteFailure, ReadOnlyFolderAndFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  WriteFile(path, "[S]\r\nA=1\r\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  EXPECT_FALSE(Write(path, "S", "A", "2"));
  EXPECT_TRUE(Write(path, "S", "A", "1")) << "a write that changes nothing needs no access";
  EXPECT_EQ(Read(path, "S", "A"), "1");

  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  std::filesystem::permissions(folder.path, std::filesystem::perms::owner_read |
                                                std::filesystem::perms::owner_exec);
  EXPECT_FALSE(Write(path, "S", "A", "2"));
  EXPECT_FALSE(Write(folder.File("new.ini"), "S", "A", "2"));
  std::filesystem::permissions(folder.path, std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadFile(path), "[S]\r\nA=1\r\n");
  EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
}

TEST(ProfileWriteFailure, FilesTheStoreCannotHoldAreLeftAlone) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  // The store holds 4 MiB: the first file is far beyond it, the second fits but its CR LF
  // rewrite would not, and the others are UTF-16 (with a byte order mark, then without one, little
  // and big endian), which a byte-wise rewrite would tear apart.
  std::string lfLines;
  for (int i = 0; i < 1500000; ++i) lfLines += "x\n";
  const std::string files[] = {
      "[S]\r\nA=1\r\n" + std::string(8u << 20, ';'),
      "[S]\nA=1\n" + lfLines,
      std::string("\xFF\xFE[\0S\0]\0\r\0\n\0A\0=\0001\0\r\0\n\0", 22),
      std::string("[\0S\0]\0\r\0\n\0A\0=\0001\0\r\0\n\0", 20),
      std::string("\0[\0S\0]\0\r\0\n\0A\0=\0001\0\r\0\n", 20),
  };
  const bool readable[] = {false, true, false, false, false};
  for (std::size_t i = 0; i < std::size(files); ++i) {
    SCOPED_TRACE(i);
    WriteFile(path, files[i]);
    EXPECT_EQ(Read(path, "S", "A"), readable[i] ? "1" : "default");
    EXPECT_FALSE(Write(path, "S", "A", "2"));
    EXPECT_EQ(ReadFile(path), files[i]);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
  }
}

// Runs write while files may grow to 4 KiB only, as on a full disk: a longer write fails
// half-way (EFBIG). Returns what write returned.
template <typename Action>
bool OnAFullDisk(Action&& write) {
  rlimit saved{};
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = write();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  return written;
}

TEST(ProfileWriteFailure, FailedRewriteRemovesTheTemporaryFile) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  const std::string before = "[S]\r\nA=1\r\n; " + Pattern(20000) + "\r\n";
  WriteFile(path, before);
  EXPECT_FALSE(OnAFullDisk([&] { return Write(path, "S", "A", "2"); }));
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
}

// A statistics file on a full disk: a file cut short is removed rather than left to read as a
// complete report, and only a name already taken is told apart as such.
TEST(ProfileWriteFailure, ANewTextFileCutShortIsRemoved) {
  TempFolder folder;
  const std::string path = folder.File("zentravo-stat.csv");
  zt::platform::FileProblem problem = zt::platform::FileProblem::none;
  EXPECT_FALSE(OnAFullDisk(
      [&] { return zt::platform::WriteNewTextFile(path.c_str(), Pattern(20000), &problem); }));
  EXPECT_EQ(problem, zt::platform::FileProblem::failed);
  EXPECT_TRUE(Names(folder).empty());

  WriteFile(path, "earlier");
  EXPECT_FALSE(zt::platform::WriteNewTextFile(path.c_str(), "#,DD,Margin\n", &problem));
  EXPECT_EQ(problem, zt::platform::FileProblem::exists);
  EXPECT_EQ(ReadFile(path), "earlier");
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

// ---- Writes killed mid-way ----------------------------------------------------------------------

TEST(AbandonedWrites, LeftoversOfEndedWritersGoEverythingElseStays) {
  TempFolder folder;
  const std::string settings = folder.File("zentravo.ini");
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_GT(ended, 0);
  waitpid(ended, nullptr, 0);
  const std::string endedId = std::to_string(ended);
  const std::string liveId = std::to_string(getppid());  // our parent runs while we do

  const std::vector<std::string> leftovers = {
      "zentravo.ini." + endedId + ".tmp",
      "zentravo.ini." + std::to_string(getpid()) + ".tmp",  // an earlier process with our id
  };
  std::vector<std::string> kept = {
      "zentravo.ini",
      "zentravo.ini." + liveId + ".tmp",  // a write in progress in another process
      "zentravo.ini.tmp",
      "zentravo.ini.12x.tmp",
      "zentravo.ini." + endedId + ".tmp.bak",
      "zentravo.ini2." + endedId + ".tmp",
      "other.ini." + endedId + ".tmp",
  };
  for (const auto& name : leftovers) WriteFile(folder.File(name), "[S]\r\n");
  for (const auto& name : kept) WriteFile(folder.File(name), "[S]\r\n");

  RemoveAbandonedWrites(settings.c_str());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Names(folder), kept);
  RemoveAbandonedWrites("");       // no settings file: nothing to do
  RemoveAbandonedWrites(nullptr);
  EXPECT_EQ(Names(folder), kept);
}

}  // namespace
// Two processes writing the same file at once: each read-modify-write holds the lock and starts
// from the file as the other left it, so neither loses the other's keys and the file stays whole.
TEST(ProfileTwoWriters, NeitherLosesTheOthersKeys) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  WriteFile(path, "[Mine]\r\nkeep=this\r\n");
  constexpr int kKeys = 150;
  pid_t writers[2] = {};
  for (int writer = 0; writer < 2; ++writer) {
    writers[writer] = fork();
    ASSERT_GE(writers[writer], 0);
    if (writers[writer] == 0) {
      // A write that finds the lock held past the seam's short wait reports it and is tried
      // again, as the guard does; any other failure fails the test.
      bool all = true;
      for (int key = 0; key < kKeys; ++key) {
        const std::string name = std::string(1, static_cast<char>('a' + writer)) + std::to_string(key);
        const std::string value = std::to_string(key);
        const zt::settings::ProfileEntry entry{name, value};
        FileProblem problem = FileProblem::locked;
        for (int attempt = 0; attempt < 1000 && problem == FileProblem::locked; ++attempt) {
          WriteProfileStrings(path.c_str(), key % 2 == 0 ? "SNAP" : "INDEX", &entry, 1, &problem);
        }
        all = all && problem == FileProblem::none;
      }
      _exit(all ? 0 : 1);
    }
  }
  for (const pid_t writer : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
  }
  for (int writer = 0; writer < 2; ++writer) {
    for (int key = 0; key < kKeys; ++key) {
      const std::string name = std::string(1, static_cast<char>('a' + writer)) + std::to_string(key);
      ASSERT_EQ(Read(path, key % 2 == 0 ? "SNAP" : "INDEX", name, "lost"), std::to_string(key))
          << name;
    }
  }
  const std::string file = ReadFile(path);
  EXPECT_EQ(file.find("[SNAP]"), file.rfind("[SNAP]")) << "one [SNAP] section";
  EXPECT_EQ(file.find("[INDEX]"), file.rfind("[INDEX]")) << "one [INDEX] section";
  EXPECT_EQ(Read(path, "Mine", "keep", ""), "this");
}

}  // namespace zt::settings
