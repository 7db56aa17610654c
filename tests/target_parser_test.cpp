#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/target_parser.h"

namespace zt::engine {
namespace {

using namespace core;  // the state record, its sizes and the text writer

struct TableCase {
  const char* text;
  std::vector<std::vector<double>> sets;  // leading sets as given; every other entry is 0
  int setsSeen;
};

class SetTableParserTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(SetTableParserTest, FillsSetsAndPositions) {
  const TableCase& c = GetParam();
  TargetTable table;
  for (auto& set : table) set.fill(-1.0);  // the whole table must be replaced
  EXPECT_EQ(SetTableParser(c.text, table), c.setsSeen);
  for (int set = 0; set < kTargetSets; ++set) {
    for (int position = 0; position < kSetPositions; ++position) {
      double expected = 0.0;
      if (set < static_cast<int>(c.sets.size()) &&
          position < static_cast<int>(c.sets[static_cast<unsigned>(set)].size())) {
        expected = c.sets[static_cast<unsigned>(set)][static_cast<unsigned>(position)];
      }
      EXPECT_EQ(table[static_cast<unsigned>(set)][static_cast<unsigned>(position)], expected)
          << "set " << set << " position " << position;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SetTableParserTest,
    ::testing::Values(
        TableCase{"", {}, 1},
        TableCase{"100,200,300;150,250", {{100, 200, 300}, {150, 250}}, 2},
        TableCase{"100, 200; 300", {{100, 200}, {300}}, 2},
        // The ';' follows a blank, not a number: no new set.
        TableCase{"100,200 ;300", {{100, 200, 300}}, 1},
        TableCase{";50", {{50}}, 1},
        TableCase{"-50", {{50}}, 1},
        TableCase{"1.2.3", {{1.2}}, 1},
        TableCase{"10000.50,7", {{10000.5, 7}}, 1},
        TableCase{"0,5", {{0, 5}}, 1},
        TableCase{"50,30;80,60", {{50, 30}, {80, 60}}, 2},
        TableCase{"1;2;3;4;5;6;7;8;9;10", {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}}, 10}));

TEST(SetTableParserLimits, IgnoresPositionsPastTheLastAndKeepsSetsApart) {
  std::string text;
  for (int i = 1; i <= 40; ++i) text += std::to_string(i) + (i < 40 ? "," : ";7");
  TargetTable table{};
  SetTableParser(text, table);
  EXPECT_EQ(table[0][31], 32.0);
  EXPECT_EQ(table[1][0], 7.0);  // the excess of set 0 does not spill into set 1
  EXPECT_EQ(table[1][1], 0.0);
}

// Every set of the table, as given (shorter sets padded with 0): the whole table is compared.
void ExpectTable(const TargetTable& table, const std::vector<std::vector<double>>& sets) {
  for (int set = 0; set < kTargetSets; ++set) {
    for (int position = 0; position < kSetPositions; ++position) {
      const auto s = static_cast<unsigned>(set);
      const auto p = static_cast<unsigned>(position);
      const double expected = s < sets.size() && p < sets[s].size() ? sets[s][p] : 0.0;
      EXPECT_EQ(table[s][p], expected) << "set " << set << " position " << position;
    }
  }
}

TEST(SetTableParserLimits, AnOverlongSetLeavesTheFollowingSetsIntact) {
  std::vector<double> first;
  std::string text;
  for (int i = 1; i <= 36; ++i) {
    text += std::to_string(i) + ",";
    if (i <= kSetPositions) first.push_back(i);
  }
  text.back() = ';';
  text += "7,8,9;5";
  TargetTable table{};
  EXPECT_EQ(SetTableParser(text, table), 3);
  ExpectTable(table, {first, {7, 8, 9}, {5}});

  // A 33rd amount followed by no set at all: nothing of it may reach set 1's first entry.
  std::string only;
  for (int i = 1; i <= kSetPositions + 1; ++i) only += std::to_string(i) + ",";
  EXPECT_EQ(SetTableParser(only, table), 1);
  ExpectTable(table, {first});

  // The last set too: its excess has no set to spill into, and must not leave the table.
  std::string last = "1;2;3;4;5;6;7;";
  std::vector<double> eighth;
  for (int i = 1; i <= 40; ++i) {
    last += std::to_string(100 + i) + ",";
    if (i <= kSetPositions) eighth.push_back(100 + i);
  }
  EXPECT_EQ(SetTableParser(last, table), 8);
  ExpectTable(table, {{1}, {2}, {3}, {4}, {5}, {6}, {7}, eighth});
}

struct ListCase {
  const char* text;
  std::vector<double> entries;
};

class PositiveListParserTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(PositiveListParserTest, KeepsPositiveAmountsInOrder) {
  const ListCase& c = GetParam();
  TargetList list;
  list.fill(-1.0);
  EXPECT_EQ(PositiveListParser(c.text, list), static_cast<int>(c.entries.size()));
  for (int i = 0; i < kListEntries; ++i) {
    const double expected = i < static_cast<int>(c.entries.size()) ? c.entries[static_cast<unsigned>(i)] : 0.0;
    EXPECT_EQ(list[static_cast<unsigned>(i)], expected) << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PositiveListParserTest,
    ::testing::Values(ListCase{"", {}}, ListCase{"0, 500, 1000", {500, 1000}},
                      ListCase{"500,", {500}}, ListCase{"1100,1200", {1100, 1200}},
                      ListCase{"a1b2c3", {1, 2, 3}}, ListCase{"-5;+7", {5, 7}},
                      ListCase{".,0.0,.5", {0.5}},
                      ListCase{"1,2,3,4,5,6,7,8,9,10", {1, 2, 3, 4, 5, 6, 7, 8}}));

}  // namespace
}  // namespace zt::engine
