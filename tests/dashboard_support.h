// What the dashboard's tests share: a label and a value cell as the host reads them, and a guard
// three cycles into its history to read them from.
#pragma once

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
#include "texts/dashboard.h"
#include "texts/time_text.h"
#include "boundary/test_hooks.h"
#include "test_support.h"
#include "texts/alerts.h"
#include "zentravo.h"

namespace dashboard_testing {

using zt::core::guard;
using zt::testing::HostBuffer;
using zt::testing::kJuly13;

constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 24 * kHour;

inline std::string Label(int row, int column) {
  HostBuffer buffer;
  zt::texts::WriteLabel(row, column, buffer.data(), ZT_TEXT_CAPACITY);
  const std::string text = buffer.Text();
  EXPECT_TRUE(buffer.UntouchedAfter(text.size())) << "row " << row << " column " << column;
  return text;
}

inline std::string Value(int row, int column) {
  HostBuffer buffer;
  zt::texts::WriteValue(row, column, buffer.data(), ZT_TEXT_CAPACITY);
  EXPECT_FALSE(buffer.Untouched()) << "row " << row << " column " << column << " wrote nothing";
  const std::string text = buffer.Text();
  EXPECT_TRUE(buffer.UntouchedAfter(text.size())) << "row " << row << " column " << column;
  return text;
}

inline bool ValueWritesNothing(int row, int column) {
  HostBuffer buffer;
  zt::texts::WriteValue(row, column, buffer.data(), ZT_TEXT_CAPACITY);
  return buffer.Untouched();
}

inline void SetHostTag(const char* tag) {
  std::strncpy(guard.hostTag, tag, sizeof guard.hostTag - 1);
  guard.hostTag[sizeof guard.hostTag - 1] = '\0';
}

// A guard three cycles into its history (UTC, so local times are the UTC ones):
// snapshot 1000 taken at 2011.07.13 09:39, the previous one 950 a day before, take profits
// 50,30,20, drawdown targets 20,40, increase targets 1100,1200, stop losses 100,150.
inline void Running() {
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

}  // namespace dashboard_testing
