// Inputs the lab once took and ran on, each refused now with the line or option at fault: one line
// of the table below for each.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "options/run_input.h"
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

// Three ticks of a tick list.
constexpr const char* kThreeTicks =
    "2024.01.02 00:00:00,1.10432,1.10440\n2024.01.02 00:00:01,1.10434,1.10442\n"
    "2024.01.02 00:00:02,1.10431,1.10439\n";

TEST(BadInput, SmallerFaultsMended) {
  testing::TempFolder folder;
  const auto refused = [&folder](const std::vector<std::pair<std::string, std::string>>& files,
                                 const std::vector<std::string>& arguments,
                                 const std::string& said) {
    const std::string refusal = Refusal(folder, files, arguments);
    EXPECT_NE(refusal.find(said), std::string::npos) << "said: " << refusal << "\nwanted: " << said;
  };
  // Bars told to be ticks, once read with the open and high as a bid and an ask.
  refused({{"EURUSD_H1.csv", kEuroBars}}, {"--history", "@EURUSD_H1.csv", "--format", "ticks-csv"},
          "EURUSD_H1.csv line 1: expected time, bid, ask (2024.01.02 00:00:00,1.10432,1.10440) as "
          "--format ticks-csv says, not 7 fields: this looks like a bar file");
  // An amount whose cents a 64-bit count does not hold, once stored as a large negative one.
  refused({}, {"--take-profits", "100000000000000000000"},
          "--take-profits \"100000000000000000000\": an amount of 1e+20, beyond the largest a "
          "ladder takes");
  // A line no export writes, once read whole into memory however long.
  refused({{"EURUSD_H1.csv", std::string(kEuroBars) + std::string(5000, '1') + "\n"}},
          {"--history", "@EURUSD_H1.csv"},
          "EURUSD_H1.csv line 3: expected a line of at most 4096 characters");
  // An output the run could not write, once said only after the whole run.
  refused({{"taken", "a file, not a folder"}}, {"--ticks", "100", "--json", "@taken/run.json"},
          "cannot write " + folder.File("taken/run.json") + ": " + folder.File("taken") +
              " is not a folder");
  // Bars separated by semicolons, once refused without naming the separator.
  std::string semicolons = kEuroBars;
  std::replace(semicolons.begin(), semicolons.end(), ',', ';');
  std::string deals = kDealHeader + "2024.01.02 00:10,2024.01.02 01:10,EURUSD,buy,0.1,1.1,1.1,0\n";
  std::replace(deals.begin(), deals.end(), ',', ';');
  EXPECT_EQ(Refusal(folder, {{"EURUSD_H1.csv", semicolons}, {"deals.csv", deals}},
                    {"--history", "@EURUSD_H1.csv", "--deals", "@deals.csv"}),
            "");
  // ... and where the comma is their decimal mark too, it is asked for, not taken as a separator.
  const std::string decimalCommas =
      "2024.01.02;00:00;1,10000;1,10100;1,09900;1,10050;1\n"
      "2024.01.02;01:00;1,10050;1,10100;1,09900;1,10000;1\n";
  refused({{"EURUSD_H1.csv", decimalCommas}}, {"--history", "@EURUSD_H1.csv"},
          "EURUSD_H1.csv line 1: expected as the open a number with a decimal point, not "
          "\"1,10000\" (for a decimal comma: --decimal comma)");
  EXPECT_EQ(Refusal(folder, {}, {"--history", "@EURUSD_H1.csv", "--decimal", "comma"}), "");
  // Ticks from a pipe, once "holds no prices" (read to its end before the run read it again).
  testing::WriteFile(folder.File("ticks.csv"), kThreeTicks);
  EXPECT_EQ(testing::RunProgram("cat " + folder.File("ticks.csv") + " | " + ZT_SIM_PROGRAM +
                                    " --history /dev/stdin --quiet --no-progress",
                                folder, false),
            0)
      << testing::ReadFile(folder.File("err.txt"));
  // The title counts every tick of the history, the first one too (once rows - 1).
  const SimOptions options = testing::Options({"--history", folder.File("ticks.csv"), "--quiet"});
  EXPECT_NE(NameRunInput(options, Simulate(options).run.ticks, false).find("(3 ticks)"),
            std::string::npos);
}

}  // namespace
}  // namespace zt::sim
