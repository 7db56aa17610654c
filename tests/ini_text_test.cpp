// The INI text logic on its own, fed strings: how lines are classed, which entry a read finds,
// and what a batch of writes makes of a file.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "settings/ini_text.h"

namespace zt::settings::ini {
namespace {

TEST(IniLines, EachLineIsClassedAndSplit) {
  struct Case {
    const char* raw;
    LineKind kind;
    const char* name = "";   // none unless given
    const char* value = "";
  };
  const Case cases[] = {
      {"", LineKind::blank},
      {" \t\x1a ", LineKind::blank},
      {"[SNAP]", LineKind::header, "SNAP"},
      {"  [ SNAP ] trailing", LineKind::header, "SNAP"},
      {"[a]b]", LineKind::header, "a]b"},
      {"[broken", LineKind::other},
      {"  TP  =  7  ", LineKind::entry, "TP", "7"},
      {"C==eq", LineKind::entry, "C", "=eq"},
      {"=noname", LineKind::entry, "", "noname"},
      {"Q=\"quoted\"", LineKind::entry, "Q", "\"quoted\""},
      {";B=2", LineKind::entry, ";B", "2"},
      {"just some text", LineKind::other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    const Line line = Classify(c.raw);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.name, c.name);
    EXPECT_EQ(line.value, c.value);
  }
}

TEST(IniRead, FindsTheFirstEntryOfTheFirstSection) {
  struct Case {
    std::string_view image, section, key;
    bool found;
    std::string_view value;
  };
  const Case cases[] = {
      {"[S]\r\nA=1\r\n", "S", "A", true, "1"},
      {"[S]\nA=1\n[S]\nB=2\n", "S", "B", false, ""},  // only the first [S] counts
      {"[S]\rA=1\rA=2\r", "S", "A", true, "1"},        // lone CR ends a line; first key wins
      {"\xEF\xBB\xBF[S]\r\nA=1", "S", "A", true, "1"},
      {"A=0\r\n[S]\r\nA=1\r\n", "", "A", true, "0"},   // keys before any header
      {"[S]\r\nQ='x y'\r\n", " S ", " Q ", true, "x y"},
      {"[S]\r\nQ=\"mixed'\r\n", "S", "Q", true, "\"mixed'"},
      {"[S]\r\nE=\r\n", "S", "E", true, ""},
      {"[T]\r\nA=1\r\n", "S", "A", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.image);
    const Found found = FindValue(c.image, c.section, c.key);
    EXPECT_EQ(found.found, c.found);
    EXPECT_EQ(found.value, c.value);
  }
}

// Every letter matches its other case, Z/z included; the neighbours of the letter ranges ('@'
// and '[' below and above the capitals, '`' and '{' around the small letters) match nothing but
// themselves.
TEST(IniRead, NamesMatchWithoutRegardToCaseForEveryLetter) {
  for (char upper = 'A'; upper <= 'Z'; ++upper) {
    const char lower = static_cast<char>(upper - 'A' + 'a');
    SCOPED_TRACE(std::string(1, upper));
    const std::string upperFile = std::string("[S") + upper + "]\r\nK" + upper + "=1\r\n";
    const std::string lowerFile = std::string("[s") + lower + "]\r\nk" + lower + "=1\r\n";
    EXPECT_TRUE(FindValue(upperFile, std::string("s") + lower, std::string("k") + lower).found);
    EXPECT_TRUE(FindValue(lowerFile, std::string("S") + upper, std::string("K") + upper).found);
  }
  const std::array<std::pair<char, char>, 2> neighbours = {{{'@', '`'}, {'[', '{'}}};
  for (const auto& [below, above] : neighbours) {
    const std::string file = std::string("[S]\r\nK") + below + "=1\r\n";
    EXPECT_FALSE(FindValue(file, "S", std::string("K") + above).found) << below;
    EXPECT_TRUE(FindValue(file, "s", std::string("k") + below).found) << below;
  }
}

TEST(IniRead, IntegersAsTheServiceReadsThem) {
  struct Case {
    const char* value;
    int integer;
  };
  const Case cases[] = {{"2.7", 2},      {" 12", 12},        {"-3", -3},         {"+5", 5},
                        {"12abc", 12},   {"abc", 0},         {"--5", 0},         {"0x10", 16},
                        {"0X1f", 0},     {"-0x10", -16},     {"4294967295", -1}, {"", 99},
                        {"2147483648", -2147483647 - 1}};
  for (const Case& c : cases) EXPECT_EQ(IntegerOf(c.value, 99), c.integer) << c.value;
}

// Applies the entries to file in buffers of capacity bytes; the outcome and the file after it.
std::pair<WriteOutcome, std::string> Apply(const std::string& file, const char* section,
                                           const std::vector<ProfileEntry>& entries,
                                           std::size_t capacity = 4096) {
  std::vector<char> first(capacity), second(capacity);
  std::copy(file.begin(), file.end(), first.begin());
  std::string_view rewritten;
  const WriteOutcome outcome =
      ApplyWrites({first.data(), second.data(), capacity}, file.size(), section, entries.data(),
                  static_cast<int>(entries.size()), rewritten);
  return {outcome, std::string(rewritten)};
}

TEST(IniWrite, ABatchRewritesTheFileAsTheServiceWould) {
  struct Case {
    const char* file;
    const char* section;
    std::vector<ProfileEntry> entries;
    WriteOutcome outcome;
    const char* after;  // the rewritten file when changed
  };
  const Case cases[] = {
      {"", "SNAP", {{"Equity Snap", "0"}, {"Initial Equity", "1000.00"}}, WriteOutcome::changed,
       "[SNAP]\r\nEquity Snap=0\r\nInitial Equity=1000.00\r\n"},
      {"[S]\r\nA=1\r\n", "s", {{"a", "1"}}, WriteOutcome::unchanged, ""},
      {"[S]\nA=1\n\n; note\n\n[T]\nK=v", "S", {{"a", "2"}, {"New", "3"}}, WriteOutcome::changed,
       "[S]\r\nA=2\r\n; note\r\nNew=3\r\n[T]\r\nK=v\r\n"},
      {"\xEF\xBB\xBF[S]\r\nA=1\r\n", "T", {{" K ", " v "}}, WriteOutcome::changed,
       "\xEF\xBB\xBF[S]\r\nA=1\r\n[T]\r\nK=v\r\n"},
      {"[S]\r\nA=1\r\n", "S", {{"A", "2\r\n[X]"}}, WriteOutcome::refused, ""},
      {"\xFF\xFE[\0S\0]\0", "S", {{"A", "2"}}, WriteOutcome::refused, ""},
      {"\x1a\xFF\xFE[S]\r\n", "S", {{"A", "2"}}, WriteOutcome::refused, ""},  // would start as UTF-16
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto [outcome, after] = Apply(c.file, c.section, c.entries);
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(after, c.after);
  }
}

TEST(IniWrite, ARewriteThatDoesNotFitIsRefused) {
  // 109 bytes with LF line ends; 112 rewritten with CR LF.
  const std::string file = "[S]\nA=1\n" + std::string(100, ';') + "\n";
  EXPECT_EQ(Apply(file, "S", {{"A", "2"}}, file.size() + 2).first, WriteOutcome::tooLarge);
  EXPECT_EQ(Apply(file, "S", {{"A", "2"}}, file.size() + 3).first, WriteOutcome::changed);
}

}  // namespace
}  // namespace zt::settings::ini
