// Inputs the lab once took and ran on, each refused now with the line or option at fault: one line
// of the table below for each.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "options/sim_options.h"
#include "runs/single_run.h"
#include "sim_test_support.h"

namespace zt::sim {
namespace {

// What the program says when it refuses the command line (after the files named are written into
// folder), or empty when it runs.
std::string Refusal(const testing::TempFolder& folder,
                    const std::vector<std::pair<std::string, std::string>>& files,
                    std::vector<std::string> arguments) {
  for (const auto& [name, text] : files) testing::WriteFile(folder.File(name), text);
  for (std::string& argument : arguments) {
    if (argument.rfind("@", 0) == 0) argument = folder.File(argument.substr(1));
  }
  arguments.insert(arguments.begin(),
                   {"zt-sim", "--library", ZT_SIM_LIBRARY, "--no-progress", "--quiet"});
  std::ostringstream out, err;
  const ParsedCommandLine parsed = ParseCommandLine(arguments, out, err);
  if (!parsed.options) return err.str();
  try {
    Simulate(*parsed.options);
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}

// Two hourly yen bars, as the history centre writes them.
constexpr const char* kYenBars =
    "2024.01.02,00:00,147.000,147.100,146.900,147.050,1\n"
    "2024.01.02,01:00,147.050,147.150,146.950,147.100,1\n";

// Two hourly euro bars, and the header of a deal list.
constexpr const char* kEuroBars =
    "2024.01.02,00:00,1.10000,1.10100,1.09900,1.10050,1\n"
    "2024.01.02,01:00,1.10050,1.10100,1.09900,1.10000,1\n";
const std::string kDealHeader =
    "open time,close time,symbol,type,lots,open price,close price,profit\n";

TEST(BadInput, EachIsRefusedWithWhatIsWrongAndWhere) {
  testing::TempFolder folder;
  struct Case {
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> arguments;
    std::string said;  // the refusal holds this
  };
  const std::vector<Case> cases = {
      // A yen pair's bars under a name that tells no symbol, at the default point of 1e-05.
      {{{"prices.csv", kYenBars}},
       {"--history", "@prices.csv"},
       "prices.csv: the prices are in 3 digits (147.000, line 1), the point 1e-05 is 5 digits"},
      // A file named for one symbol holding another's prices.
      {{{"EURUSD_H1.csv", kYenBars}},
       {"--history", "@EURUSD_H1.csv"},
       "the point 1e-05 is 5 digits: give the symbol with --symbol"},
      // A price in more digits than the symbol's point.
      {{{"USDJPY60.csv", "2024.01.02,00:00,147.0001,147.100,146.900,147.050,1\n"}},
       {"--history", "@USDJPY60.csv"},
       "USDJPY60.csv line 1: expected prices in 3 digits, as the point 0.001 says, not 147.0001"},
      // A cross whose results are in neither of the account's currencies, with no rate.
      {{},
       {"--market", "model", "--symbol", "EURGBP"},
       "EURGBP books its results in GBP, the account is in USD: give --profit-rate"},
      {{},
       {"--market", "model", "--symbol", "USDJPY", "--profit-rate", "0.0068"},
       "--profit-rate converts a result in another currency"},
      {{}, {"--market", "model", "--account-currency", "usd"}, "is no currency code like USD"},
      // A day its month does not have, once read as the 1st of the next.
      {{{"EURUSD_H1.csv", "2024.02.30,00:00,1.10000,1.10100,1.09900,1.10050,1\n"}},
       {"--history", "@EURUSD_H1.csv"},
       "EURUSD_H1.csv line 1: expected a date and time such as 2024.01.02 and 00:00, not "
       "\"2024.02.30\""},
      {{{"deals.csv", kDealHeader + "2023.02.29 00:00,2024.01.02 01:00,EURUSD,buy,0.1,1.1,1.1,0\n"},
        {"EURUSD_H1.csv", kEuroBars}},
       {"--history", "@EURUSD_H1.csv", "--deals", "@deals.csv"},
       "deals.csv line 2: expected as the open time a time such as 2024.01.03 09:00, not "
       "\"2023.02.29 00:00\""},
      {{}, {"--start", "2024.04.31 00:00"}, "\"2024.04.31 00:00\" is not a time"},
      // Deals of another symbol, outside the history's dates, or at prices their bar never had.
      {{{"EURUSD_H1.csv", kEuroBars},
        {"deals.csv", kDealHeader + "2024.01.02 00:00,2024.01.02 "
                                    "01:00,GBPUSD,buy,0.1,1.10010,1.10010,0\n"}},
       {"--history", "@EURUSD_H1.csv", "--deals", "@deals.csv"},
       "deals.csv line 2: the deals are of GBPUSD, the price history of EURUSD"},
      {{{"EURUSD_H1.csv", kEuroBars},
        {"deals.csv", kDealHeader + "2024.01.01 23:00,2024.01.02 "
                                    "01:00,EURUSD,buy,0.1,1.10010,1.10010,0\n"}},
       {"--history", "@EURUSD_H1.csv", "--deals", "@deals.csv"},
       "deals.csv line 2: the deal's open time 2024.01.01 23:00 lies outside the price history "
       "(2024.01.02 00:00 to 2024.01.02 02:00)"},
      {{{"EURUSD_H1.csv", kEuroBars},
        {"deals.csv", kDealHeader + "2024.01.02 00:00,2024.01.02 "
                                    "02:00,EURUSD,buy,0.1,1.10010,1.10010,0\n"}},
       {"--history", "@EURUSD_H1.csv", "--deals", "@deals.csv"},
       "deals.csv line 2: the deal's close time 2024.01.02 02:00 lies outside the price history"},
      {{{"EURUSD_H1.csv", kEuroBars},
        {"deals.csv", kDealHeader + "2024.01.02 00:00,2024.01.02 "
                                    "01:00,EURUSD,sell,0.1,1.10000,1.09000,0\n"}},
       {"--history", "@EURUSD_H1.csv", "--deals", "@deals.csv"},
       "deals.csv line 2: the close price 1.09 lies outside the prices of 2024.01.02 01:00 (bid "
       "low 1.09900, ask high 1.10108, tolerance 0 points)"},
  };
  // The 29th of February of a leap year is a day.
  EXPECT_EQ(
      Refusal(folder, {{"EURUSD_H1.csv", "2024.02.29,00:00,1.10000,1.10100,1.09900,1.10050,1\n"}},
              {"--history", "@EURUSD_H1.csv"}),
      "");
  for (const Case& c : cases) {
    const std::string said = Refusal(folder, c.files, c.arguments);
    EXPECT_NE(said.find(c.said), std::string::npos)
        << "said: " << said << "\nwanted: " << c.said << "\nfor: " << c.arguments.back();
  }
}

}  // namespace
}  // namespace zt::sim
