// The POSIX private-profile store's reads: values, line ends, long texts, missing files and
// integers as the Windows service reads them.
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

}  // namespace
}  // namespace zt::settings
