// The library loaded with dlopen takes its time from the simulator's clock functions while a
// simulated clock runs, and from the real clock otherwise.
#include "host/simulated_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "host/dashboard.h"
#include "host/guard_api.h"
#include "sim_test_support.h"

namespace zt::sim {
namespace {

constexpr std::int64_t kTuesday = 1709647629;  // 2024.03.05 14:07:09 UTC

std::string Title(const Exports& api) {
  return ReadText([&](char* out) { api.GetLabel(0, 0, out); });
}

std::string AllValues(const Exports& api) {
  std::string all;
  const Dashboard panel = ReadDashboard(api);
  for (const DashboardCell& cell : panel.first) all += cell.value + "\n";
  for (const DashboardCell& cell : panel.second) all += cell.value + "\n";
  return all;
}

TEST(SimulatedClock, TheLoadedLibraryStampsSimulatedTimesInUtcAndRealOnesOutside) {
  testing::TempFolder folder;
  const LoadedGuard guard(ZT_SIM_LIBRARY, folder.path);
  const Exports& api = guard.api();
  api.SetWindowTitles(1, "EURUSD,H1", "123456: Demo Server - Demo Account");
  {
    const SimulatedClockScope clock(kTuesday);
    double initial = 0.0;
    ASSERT_GT(api.InitZT(1, "clock", &initial, 1000.0, 10.0, 990.0, "50", "20", "", "100"), 0.0);
    // Title, snapshot time: the simulated clock, read as UTC whatever the process's time zone.
    EXPECT_NE(Title(api).find("Tue, Mar 05, 2024 14:07:09"), std::string::npos) << Title(api);
    EXPECT_NE(AllValues(api).find("[2024.03.05 14:07]"), std::string::npos) << AllValues(api);
    SetSimulatedTime(kTuesday + 86400 + 3600);
    EXPECT_NE(Title(api).find("Wed, Mar 06, 2024 15:07:09"), std::string::npos) << Title(api);
  }
  const auto now = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  const int year = static_cast<int>(std::chrono::year_month_day(now).year());
  const std::string title = Title(api);
  EXPECT_EQ(title.find("2024 "), std::string::npos) << title;
  EXPECT_NE(title.find(std::to_string(year) + " "), std::string::npos) << title;
}

TEST(SimulatedClock, OneScopeAtATime) {
  const SimulatedClockScope clock(kTuesday);
  EXPECT_THROW(SimulatedClockScope second(kTuesday), std::logic_error);
}

}  // namespace
}  // namespace zt::sim
