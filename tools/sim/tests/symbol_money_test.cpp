// What a symbol's prices are worth: the kinds told by their names, results in yen and ounces of
// gold booked as a broker books them in the account's dollars (hand-checked), and the options that
// settle a run's symbol from --symbol or the history file's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "market/symbol_kinds.h"
#include "market/utc_time.h"
#include "options/sim_options.h"
#include "runs/single_run.h"
#include "sim_test_support.h"
#include "trading/trading_account.h"

namespace zt::sim {
namespace {

constexpr std::int64_t kTuesday10 = 1704189600;  // 2024.01.02 10:00 UTC

TEST(SymbolKinds, ANameGivesDigitsContractAndCurrencies) {
  struct Case {
    const char* name;
    const char* kind;  // empty: none
    int digits;
    double contract;
    const char* base;
    const char* profit;
  };
  const Case cases[] = {
      {"EURUSD_H1.csv", "EURUSD", 5, 1e5, "EUR", "USD"},
      {"USDJPY60.csv", "USDJPY", 3, 1e5, "USD", "JPY"},
      {"eurgbp", "EURGBP", 5, 1e5, "EUR", "GBP"},
      {"GBPJPY.m", "GBPJPY", 3, 1e5, "GBP", "JPY"},
      {"XAUUSD_H1.csv", "XAUUSD", 2, 100.0, "XAU", "USD"},
      {"XAGUSD", "XAGUSD", 3, 5000.0, "XAG", "USD"},
      {"US500.cash", "US500", 2, 1.0, "", "USD"},
      {"GER40", "GER40", 2, 1.0, "", "EUR"},
      {"prices.csv", "", 0, 0.0, "", ""},
      {"USDUSD", "", 0, 0.0, "", ""},
      {"XAUXAG", "", 0, 0.0, "", ""},
  };
  for (const Case& c : cases) {
    const std::optional<SymbolKind> kind = FindSymbolKind(c.name);
    ASSERT_EQ(kind.has_value(), *c.kind != '\0') << c.name;
    if (!kind) continue;
    EXPECT_EQ(kind->name, c.kind);
    EXPECT_EQ(kind->digits, c.digits) << c.name;
    EXPECT_EQ(kind->contractSize, c.contract) << c.name;
    EXPECT_EQ(kind->baseCurrency, c.base) << c.name;
    EXPECT_EQ(kind->profitCurrency, c.profit) << c.name;
  }
  EXPECT_EQ(DigitsOfPoint(0.001), 3);
  EXPECT_EQ(DigitsOfPoint(PointOfDigits(5)), 5);
}

// One position of each kind, opened, moved and closed by hand, no commission or swap.
TEST(SymbolKinds, YenGoldAndCrossResultsAreBookedInTheAccountsDollars) {
  AccountTerms terms;
  terms.commissionPerLot = 0.0;
  // USDJPY: 0.5 lots bought at the ask 147.020; the bid at 148.250 is 1.230 yen a dollar up:
  // 0.5 x 100000 x 1.230 = 61500 yen, over the closing price 148.250 = 414.84 dollars. The margin
  // is the 50000 dollars bought over the leverage: 500.
  AccountTerms yen = terms;
  yen.profit = *ConversionFor(*FindSymbolKind("USDJPY"), "USD", 0.0);
  TradingAccount usdjpy = NewTradingAccount(yen, 10000.0, Quote{kTuesday10, 147.000, 147.020});
  ASSERT_TRUE(OpenPosition(usdjpy, Side::Buy, 0.5));
  EXPECT_NEAR(UsedMargin(usdjpy), 500.0, 1e-9);
  EXPECT_NEAR(usdjpy.costs.spread, 0.5 * 100000 * 0.020 / 147.000, 1e-9);
  MoveAccount(usdjpy, Quote{kTuesday10 + 3600, 148.250, 148.270});
  EXPECT_NEAR(Floating(usdjpy), 61500.0 / 148.250, 1e-9);
  CloseAllPositions(usdjpy);
  EXPECT_DOUBLE_EQ(usdjpy.balance, 10414.84);

  // XAUUSD: 2 lots (200 oz) sold at the bid 2031.45, bought back at the ask 2018.95: 12.50 a
  // ounce, 2500.00 dollars. Margin 200 x 2031.45 / 100 = 4062.90.
  AccountTerms gold = terms;
  gold.contractSize = FindSymbolKind("XAUUSD")->contractSize;
  gold.profit = *ConversionFor(*FindSymbolKind("XAUUSD"), "USD", 0.0);
  TradingAccount xauusd = NewTradingAccount(gold, 10000.0, Quote{kTuesday10, 2031.45, 2031.80});
  ASSERT_TRUE(OpenPosition(xauusd, Side::Sell, 2.0));
  EXPECT_NEAR(UsedMargin(xauusd), 4062.90, 1e-9);
  MoveAccount(xauusd, Quote{kTuesday10 + 3600, 2018.60, 2018.95});
  CloseAllPositions(xauusd);
  EXPECT_DOUBLE_EQ(xauusd.balance, 12500.00);

  // EURGBP on a dollar account at a given GBPUSD of 1.27: 1 lot bought at 0.86000 and sold at
  // 0.86500 is 500 pounds, 635.00 dollars.
  AccountTerms cross = terms;
  cross.profit = *ConversionFor(*FindSymbolKind("EURGBP"), "USD", 1.27);
  TradingAccount eurgbp = NewTradingAccount(cross, 10000.0, Quote{kTuesday10, 0.85990, 0.86000});
  ASSERT_TRUE(OpenPosition(eurgbp, Side::Buy, 1.0));
  MoveAccount(eurgbp, Quote{kTuesday10 + 3600, 0.86500, 0.86510});
  CloseAllPositions(eurgbp);
  EXPECT_DOUBLE_EQ(eurgbp.balance, 10635.00);
  EXPECT_FALSE(ConversionFor(*FindSymbolKind("EURGBP"), "USD", 0.0).has_value());
}

SimOptions Parsed(std::vector<std::string> arguments) {
  return testing::CommandLineOptions(std::move(arguments));
}

TEST(SymbolOptions, TheSymbolSettlesPointContractAndConversionUnlessTheCommandLineSaysOtherwise) {
  testing::TempFolder folder;
  testing::WriteFile(folder.File("USDJPY60.csv"),
                     "2024.01.02,00:00,147.000,147.100,146.900,147.050,1\n");
  const SimOptions yen = Parsed({"--history", folder.File("USDJPY60.csv")});
  EXPECT_EQ(yen.positions.symbol, "USDJPY");
  EXPECT_DOUBLE_EQ(yen.positions.prices.point, 0.001);
  EXPECT_EQ(yen.positions.history.digits, 3);
  EXPECT_EQ(yen.positions.terms.profit.rule, ProfitRule::OverPrice);
  EXPECT_EQ(yen.record.TextOf("point"), "0.001");  // the record says what ran
  const SimOptions server =
      Parsed({"--history", folder.File("USDJPY60.csv"), "--server-offset", "eet"});
  EXPECT_TRUE(server.positions.history.serverOffset.eet);
  EXPECT_EQ(server.record.TextOf("server-offset"), "eet");

  const SimOptions gold =
      Parsed({"--market", "model", "--symbol", "XAUUSD", "--contract-size", "10"});
  EXPECT_DOUBLE_EQ(gold.positions.prices.point, 0.01);
  EXPECT_DOUBLE_EQ(gold.positions.prices.startPrice, 2000.0);
  EXPECT_DOUBLE_EQ(gold.positions.terms.contractSize, 10.0);  // given: kept
  EXPECT_EQ(gold.record.TextOf("symbol"), "XAUUSD");

  const SimOptions cross =
      Parsed({"--market", "model", "--symbol", "EURGBP", "--profit-rate", "1.27"});
  EXPECT_EQ(cross.positions.terms.profit.rule, ProfitRule::AtRate);
  EXPECT_DOUBLE_EQ(cross.positions.terms.profit.rate, 1.27);

  // No symbol named or found: the terms as they were, and nothing more in the record.
  const SimOptions plain = Parsed({"--market", "model"});
  EXPECT_EQ(plain.positions.terms.profit.rule, ProfitRule::Same);
  EXPECT_DOUBLE_EQ(plain.positions.prices.point, 0.00001);
  EXPECT_EQ(plain.record.TextOf("symbol"), "");
  EXPECT_EQ(plain.record.TextOf("point"), "1e-05");
}

// The bundled samples' bars: the time and open of each, as the file writes them.
struct BarOpen {
  std::string time;  // "2024.03.04 10:00"
  double open;
};
std::vector<BarOpen> ReadOpens(const std::string& path) {
  std::vector<BarOpen> opens;
  std::istringstream lines(testing::ReadFile(path));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line.front() == '<') continue;
    std::replace(line.begin(), line.end(), '\t', ',');
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, ',');) fields.push_back(field);
    opens.push_back({fields[0] + " " + fields[1].substr(0, 5), std::stod(fields[2])});
  }
  return opens;
}

// The guarded account's equity at the first tick of a time, the bar's open.
double EquityAt(const SimResult& result, const std::string& time) {
  for (const EquityPoint& point : result.run.equity) {
    if (FormatTime(point.time) == time) return point.equity;
  }
  ADD_FAILURE() << "no tick at " << time;
  return 0.0;
}

// One recorded trade over a sample's hourly bars, the guard too far away to close it: the
// account floats with the price in dollars as a broker counts them, from the symbol the file's name
// gives (USDJPY60.csv as the 32-bit terminal names it, XAUUSD_H1.csv from the 64-bit one).
TEST(SymbolKinds, YenAndGoldBarsFloatAsTheBrokerCountsInDollars) {
  testing::TempFolder folder;
  const std::string samples = std::string(ZT_SIM_SOURCES) + "/samples/";
  const auto run = [&](const std::string& bars, const std::string& deal) {
    testing::WriteFile(
        folder.File("deals.csv"),
        "open time,close time,symbol,type,lots,open price,close price,profit\n" + deal + "\n");
    return Simulate(testing::CommandLineOptions(
        {"--history", samples + bars, "--deals", folder.File("deals.csv"), "--take-profits",
         "100000", "--drawdown-targets", "", "--increase-targets", "", "--stop-losses", "100000"}));
  };
  // USDJPY: 1 lot bought at the 10th bar's ask (open + 8 points of 0.001), held over the 30th bar:
  // 100000 x (bid - ask) yen, over the bid, is dollars.
  const std::vector<BarOpen> yen = ReadOpens(samples + "USDJPY60.csv");
  const double ask = yen[10].open + 0.008;
  const double closed = 100000.0 * (yen[50].open - ask) / yen[50].open;
  const SimResult usdjpy =
      run("USDJPY60.csv", yen[10].time + "," + yen[50].time + ",USDJPY,buy,1.00," +
                              std::to_string(ask) + "," + std::to_string(yen[50].open) + "," +
                              std::to_string(RoundToCents(closed)));
  EXPECT_NEAR(EquityAt(usdjpy, yen[30].time),
              10000.0 + 100000.0 * (yen[30].open - ask) / yen[30].open, 0.005);
  EXPECT_NEAR(usdjpy.run.unguarded.back().equity, 10000.0 + RoundToCents(closed), 0.005);

  // XAUUSD: 0.5 lots (50 oz) sold at the 20th bar's bid, held over the 40th, whose ask is the
  // open + the file's 25 points of 0.01.
  const std::vector<BarOpen> gold = ReadOpens(samples + "XAUUSD_H1.csv");
  const SimResult xauusd =
      run("XAUUSD_H1.csv",
          gold[20].time + "," + gold[60].time + ",XAUUSD,sell,0.50," +
              std::to_string(gold[20].open) + "," + std::to_string(gold[60].open + 0.25) + "," +
              std::to_string(RoundToCents(50.0 * (gold[20].open - gold[60].open - 0.25))));
  EXPECT_NEAR(EquityAt(xauusd, gold[40].time),
              10000.0 + 50.0 * (gold[20].open - (gold[40].open + 0.25)), 0.005);
}

}  // namespace
}  // namespace zt::sim
