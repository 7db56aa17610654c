// What a symbol's prices are worth: the kinds of symbol brokers list (majors, yen pairs, crosses,
// gold and silver, index CFDs) with their digits, contract size and the currencies of a lot and of
// a trade's result, and how that result becomes the account's money.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zt::sim {

struct SymbolKind {
  std::string name;            // as the table writes it: "USDJPY", "XAUUSD", "US500"
  int digits;                  // decimals its prices are quoted in (3 for USDJPY: 147.123)
  double contractSize;         // units one lot holds: 100000 of a pair, 100 oz of gold, 1 index
  std::string baseCurrency;    // what a lot holds ("USD" of USDJPY, "XAU"); empty for an index
  std::string profitCurrency;  // the price's currency, in which a trade's result comes
  double typicalPrice;         // where the price model starts for it unless --price says
};

// The symbol a name speaks of: "USDJPY", "usdjpy", "USDJPY60.csv", "XAUUSD_H1.csv" or "EURUSD.m"
// all name their pair (the first six letters, when they are two currencies the table knows, or a
// metal and a currency); an index CFD by its usual names ("US500", "GER40", ...). Empty when the
// name starts with none of them.
std::optional<SymbolKind> FindSymbolKind(std::string_view name);

// The point of a symbol quoted in digits decimals (5: 0.00001), and the decimals of a point.
double PointOfDigits(int digits);
int DigitsOfPoint(double point);

// How a result in the symbol's profit currency becomes the account's: the same currency (EURUSD on
// a USD account); over the closing price where the account's currency is what a lot holds (a
// USDJPY result in yen, divided by the USDJPY price, is dollars); or times a rate given for the
// profit currency (EURGBP on a USD account: pounds times GBPUSD).
enum class ProfitRule { Same, OverPrice, AtRate };
struct ProfitConversion {
  ProfitRule rule = ProfitRule::Same;
  double rate = 1.0;  // AtRate: the account's currency one unit of the profit currency is worth
};

// amount (in the profit currency) in the account's currency, at the symbol's price now.
double ToAccountMoney(const ProfitConversion& conversion, double amount, double price);

// The rule for a kind on an account in accountCurrency: Same or OverPrice where one of the
// symbol's currencies is the account's, else AtRate with rate (0: no rate given, and then
// nullopt: the result cannot be converted).
std::optional<ProfitConversion> ConversionFor(const SymbolKind& kind,
                                              std::string_view accountCurrency, double rate);

}  // namespace zt::sim
