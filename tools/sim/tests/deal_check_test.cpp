// A deal list held to the prices it replays over: the bundled list is what its script makes over
// the bundled bars and every price of it lies in its bar; a price a little outside passes only
// within the tolerance given.
#include "trading/deal_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "sim_test_support.h"

namespace zt::sim {
namespace {

const std::string kTools = std::string(ZT_SIM_SAMPLES) + "/../tools/sim";

PriceHistoryOptions BundledBars() {
  PriceHistoryOptions bars;
  bars.path = kTools + "/samples/EURUSD_H1.csv";
  bars.digits = 5;
  return bars;
}

TEST(DealCheck, TheBundledDealsAreWhatTheirScriptMakesOverTheBundledBars) {
  testing::TempFolder folder;
  const std::string command = "bash '" + kTools + "/make-deal-list.sh' '" + kTools +
                              "/samples/EURUSD_H1.csv' '" + folder.File("deals.csv") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string made = testing::ReadFile(folder.File("deals.csv"));
  EXPECT_TRUE(made == testing::ReadFile(kTools + "/samples/EURUSD_deals.csv"))
      << "tools/sim/samples/EURUSD_deals.csv is not what make-deal-list.sh makes now: run it again";
  const DealHistory deals =
      ReadDealHistory(kTools + "/samples/EURUSD_deals.csv", DecimalMark::Auto);
  EXPECT_EQ(deals.deals.size(), 12u);
  EXPECT_NO_THROW(CheckDealsAgainstPrices(deals, BundledBars(), DealTerms{"EURUSD", 0.0}));
}

TEST(DealCheck, APriceOutsideItsBarPassesOnlyWithinTheTolerance) {
  testing::TempFolder folder;
  // The bar of 2024.01.03 09:00 went from a bid of 1.08701 to 1.08855; its ask high with the
  // 8-point spread is 1.08863. A buy at 1.08873 is 10 points above it (the list bundled before
  // the bars were made again opened this one at 1.08624: 77 points below its low).
  testing::WriteFile(folder.File("deals.csv"),
                     "open time,close time,symbol,type,lots,open price,close price,profit\n"
                     "2024.01.03 09:00,2024.01.04 15:00,EURUSD,buy,0.10,1.08873,1.08696,-20.50\n");
  const DealHistory deals = ReadDealHistory(folder.File("deals.csv"), DecimalMark::Auto);
  try {
    CheckDealsAgainstPrices(deals, BundledBars(), DealTerms{"EURUSD", 9.9});
    ADD_FAILURE() << "a price 10 points outside passed a tolerance of 9.9";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what())
                  .find("deals.csv line 2: the open price 1.08873 lies outside the prices of "
                        "2024.01.03 09:00 (bid low 1.08701, ask high 1.08863, tolerance 9.9"),
              std::string::npos)
        << error.what();
  }
  EXPECT_NO_THROW(CheckDealsAgainstPrices(deals, BundledBars(), DealTerms{"EURUSD", 10.1}));
}

}  // namespace
}  // namespace zt::sim
