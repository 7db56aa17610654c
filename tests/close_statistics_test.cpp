// Close statistics: the rings, their summaries and the statistics file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/close_statistics.h"
#include "core/guard_state.h"
#include "test_support.h"

namespace zt::engine {
namespace {

using namespace core;  // the state record, its sizes and the text writer

using testing::FreshGuard;
using testing::TempFolder;

class CloseStatisticsTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshGuard(folder); }
  // One close in the current cycle with the given figures.
  void Close(double margin, double drawdown) {
    guard.margin = margin;
    guard.periodDrawdown = drawdown;
    CloseStatistics();
  }
  std::vector<std::string> StatisticsFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path)) {
      const std::string name = entry.path().filename().string();
      if (name.find("-stat-") != std::string::npos) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  TempFolder folder;
};

struct SummaryCase {
  std::vector<double> drawdowns;  // one close per cycle, slots 0..n-1
  double average, median, lowest;
};

class CloseSummaries : public CloseStatisticsTest,
                       public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(CloseSummaries, DescribeTheSlotsUpToTheCurrentCycle) {
  const SummaryCase& c = GetParam();
  for (std::size_t slot = 0; slot < c.drawdowns.size(); ++slot) {
    guard.cycleIndex = static_cast<int>(slot);
    Close(10.0 * static_cast<double>(slot + 1), c.drawdowns[slot]);
  }
  EXPECT_DOUBLE_EQ(guard.averageDrawdown, c.average);
  EXPECT_DOUBLE_EQ(guard.medianDrawdown, c.median);
  EXPECT_DOUBLE_EQ(guard.lowestDrawdown, c.lowest);
  const double n = static_cast<double>(c.drawdowns.size());
  EXPECT_DOUBLE_EQ(guard.averageCloseMargin, 10.0 * (n + 1) / 2);
  EXPECT_EQ(guard.lastCloseMargin, 10.0 * n);
}

INSTANTIATE_TEST_SUITE_P(Rings, CloseSummaries,
                         ::testing::Values(SummaryCase{{-22}, -22, -22, -22},
                                           SummaryCase{{-10, -30}, -20, -20, -30},
                                           SummaryCase{{-5, -30, -10}, -15, -10, -30},
                                           SummaryCase{{0, 0}, 0, 0, 0},
                                           SummaryCase{{-1, -4, -2, -8}, -3.75, -3, -8}));

// Median and lowest as an ascending sort of the counted slots gives them, for every count of
// slots up to the ring's 511 (512 writes the file), with repeated values among them.
TEST_F(CloseStatisticsTest, MedianAndLowestAreThoseOfTheSortedSlots) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> cents(-5000, 0);
  std::vector<double> slots;
  for (int n = 1; n < kCycleSlots; ++n) {
    guard.cycleIndex = n - 1;
    slots.push_back(cents(random) / 100.0);
    Close(1.0, slots.back());
    std::vector<double> sorted = slots;
    std::sort(sorted.begin(), sorted.end());
    const auto m = static_cast<std::size_t>((n + 1) / 2);
    const double median = n % 2 == 0 ? (sorted[m - 1] + sorted[m]) * 0.5 : sorted[m - 1];
    ASSERT_EQ(guard.medianDrawdown, median) << n;
    ASSERT_EQ(guard.lowestDrawdown, sorted[0]) << n;
  }
}

TEST_F(CloseStatisticsTest, ASecondCloseInTheSameCycleOverwritesItsSlot) {
  Close(5, -10);
  Close(7, -12);
  EXPECT_EQ(guard.marginAtClose[0], 7.0);
  EXPECT_EQ(guard.averageDrawdown, -12.0);
  EXPECT_EQ(guard.averageCloseMargin, 7.0);
}

TEST_F(CloseStatisticsTest, SlotsWithoutACloseCountAsTheyStand) {
  guard.cycleIndex = 2;  // cycles 0 and 1 rolled without a close-all: their slots are 0
  Close(30, -9);
  EXPECT_DOUBLE_EQ(guard.averageDrawdown, -3.0);
  EXPECT_DOUBLE_EQ(guard.medianDrawdown, 0.0);
  EXPECT_DOUBLE_EQ(guard.averageCloseMargin, 10.0);
}

TEST_F(CloseStatisticsTest, TheLastSlotWritesTheFileAndClearsTheRings) {
  for (int slot = 0; slot < kCycleSlots; ++slot) {
    guard.cycleIndex = slot;
    Close(slot + 0.5, -slot - 0.25);
  }
  ASSERT_EQ(StatisticsFiles(), std::vector<std::string>{"zentravo-stat-2011.07.13 09-39.csv"});
  const std::string text = testing::ReadFile(folder.File("zentravo-stat-2011.07.13 09-39.csv"));
  EXPECT_EQ(text.substr(0, 42), "#,DD,Margin\n1,-0.25,0.50\n2,-1.25,1.50\n3,-2");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 513);
  EXPECT_NE(text.find("\n512,-511.25,511.50\n"), std::string::npos);
  for (int slot = 0; slot < kCycleSlots; ++slot) {
    ASSERT_EQ(guard.marginAtClose[static_cast<unsigned>(slot)], 0.0);
    ASSERT_EQ(guard.drawdownAtClose[static_cast<unsigned>(slot)], 0.0);
  }
  EXPECT_DOUBLE_EQ(guard.lowestDrawdown, -511.25);  // the summaries still describe the 512

  // Another close in the same cycle: summaries over 511 zeros and the new values, and a second
  // file beside the first rather than over it.
  Close(512, -4);
  EXPECT_DOUBLE_EQ(guard.averageCloseMargin, 1.0);
  EXPECT_EQ(StatisticsFiles(), (std::vector<std::string>{"zentravo-stat-2011.07.13 09-39-2.csv",
                                                         "zentravo-stat-2011.07.13 09-39.csv"}));
  const std::string second = testing::ReadFile(folder.File("zentravo-stat-2011.07.13 09-39-2.csv"));
  EXPECT_NE(second.find("\n511,0.00,0.00\n512,-4.00,512.00\n"), std::string::npos);
}

TEST_F(CloseStatisticsTest, AFileThatCannotBeCreatedKeepsTheRings) {
  FreshGuard(folder);
  std::snprintf(guard.settingsPath, sizeof guard.settingsPath, "%s/missing/zentravo.ini",
                folder.path.c_str());
  guard.cycleIndex = kCycleSlots - 1;
  Close(3, -2);
  EXPECT_EQ(guard.marginAtClose[kCycleSlots - 1], 3.0);
  EXPECT_TRUE(StatisticsFiles().empty());
  EXPECT_TRUE(guard.persistence.statisticsUnwritten) << "the notice line must say so";
  // Once the folder exists the next close that fills the last slot writes the file.
  std::filesystem::create_directory(folder.File("missing"));
  Close(4, -2);
  EXPECT_TRUE(testing::FileExists(folder.File("missing/zentravo-stat-2011.07.13 09-39.csv")));
  EXPECT_EQ(guard.marginAtClose[kCycleSlots - 1], 0.0);
  EXPECT_FALSE(guard.persistence.statisticsUnwritten);
}

TEST_F(CloseStatisticsTest, TheNameEndsOnlyTheFinalExtension) {
  FreshGuard(folder);
  std::filesystem::create_directory(folder.File("a.ini.d"));
  std::snprintf(guard.settingsPath, sizeof guard.settingsPath, "%s/a.ini.d/zentravo.ini",
                folder.path.c_str());
  guard.cycleIndex = kCycleSlots - 1;
  Close(1, -1);
  EXPECT_TRUE(testing::FileExists(folder.File("a.ini.d/zentravo-stat-2011.07.13 09-39.csv")));
}

}  // namespace
}  // namespace zt::engine
