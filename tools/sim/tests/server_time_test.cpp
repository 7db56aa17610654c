// The broker's server time: a fixed offset and the usual Eastern European rule with its summer
// time, and an export read in it lands its bars and deals at their UTC moments.
#include "market/server_time.h"

#include <gtest/gtest.h>

#include "market/price_history.h"
#include "market/utc_time.h"
#include "sim_test_support.h"
#include "trading/deal_history.h"

namespace zt::sim {
namespace {

std::string Utc(const char* server, const char* offset) {
  return FormatTime(ServerToUtc(*ParseTime(server), *ParseServerOffset(offset)));
}

TEST(ServerTime, AnOffsetOrTheEasternEuropeanRuleGivesUtc) {
  EXPECT_EQ(Utc("2024.01.02 00:00", "0"), "2024.01.02 00:00");
  EXPECT_EQ(Utc("2024.01.02 00:00", "3"), "2024.01.01 21:00");
  EXPECT_EQ(Utc("2024.01.02 00:00", "-5"), "2024.01.02 05:00");
  EXPECT_EQ(Utc("2024.01.02 00:00", "5.5"), "2024.01.01 18:30");
  // Winter UTC+2, summer UTC+3: Europe's summer time ran from 2024.03.31 01:00 UTC to 2024.10.27
  // 01:00 UTC.
  EXPECT_EQ(Utc("2024.01.02 00:00", "eet"), "2024.01.01 22:00");
  EXPECT_EQ(Utc("2024.03.29 23:00", "eet"), "2024.03.29 21:00");  // Friday, the week's close
  EXPECT_EQ(Utc("2024.04.01 00:00", "eet"), "2024.03.31 21:00");
  EXPECT_EQ(Utc("2024.10.25 23:00", "eet"), "2024.10.25 20:00");
  EXPECT_EQ(Utc("2024.10.28 00:00", "eet"), "2024.10.27 22:00");
  for (const char* bad : {"", "x", "15", "3h", "0.01"})
    EXPECT_FALSE(ParseServerOffset(bad).has_value()) << bad;
}

TEST(ServerTime, BarsAndDealsOfAServersExportAreReadAtTheirUtcMoments) {
  testing::TempFolder folder;
  testing::WriteFile(folder.File("bars.csv"),
                     "2024.07.02,00:00,1.10000,1.10100,1.09900,1.10050,1\n");
  PriceHistoryOptions options;
  options.path = folder.File("bars.csv");
  options.serverOffset = *ParseServerOffset("eet");
  PriceHistoryReader reader(options);
  Quote quote{};
  ASSERT_TRUE(reader.Next(quote));
  // Server midnight in summer is 21:00 UTC: before the 22:00 rollover, so a trade opened then is
  // charged that night's swap.
  EXPECT_EQ(FormatTime(quote.time), "2024.07.01 21:00");
  testing::WriteFile(folder.File("deals.csv"),
                     "open time,close time,symbol,type,lots,open price,close price,profit\n"
                     "2024.07.02 00:00,2024.07.02 00:30,EURUSD,buy,0.1,1.1,1.1,0\n");
  const DealHistory deals =
      ReadDealHistory(folder.File("deals.csv"), DecimalMark::Auto, *ParseServerOffset("3"));
  EXPECT_EQ(FormatTime(deals.deals[0].openTime), "2024.07.01 21:00");
  EXPECT_EQ(FormatTime(deals.deals[0].closeTime), "2024.07.01 21:30");
}

}  // namespace
}  // namespace zt::sim
