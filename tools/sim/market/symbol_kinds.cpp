#include "market/symbol_kinds.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

namespace zt::sim {
namespace {

constexpr double kLotOfCurrency = 100000.0;  // a standard lot of a currency pair
constexpr int kPairDigits = 5;               // 1.10432
constexpr int kYenPairDigits = 3;            // 147.123: a yen is worth about a hundredth

// Currencies a pair of the table is made of, with where a pair of it against the dollar trades.
struct Currency {
  std::string_view code;
  double inDollars;  // rough: only the price model's start comes from it
};
constexpr std::array<Currency, 9> kCurrencies = {{{"USD", 1.0},
                                                  {"EUR", 1.1},
                                                  {"GBP", 1.27},
                                                  {"JPY", 0.0068},
                                                  {"CHF", 1.13},
                                                  {"CAD", 0.74},
                                                  {"AUD", 0.66},
                                                  {"NZD", 0.61},
                                                  {"SEK", 0.095}}};

// Metals a lot of which is so many ounces, quoted against a currency.
struct Metal {
  std::string_view code;
  int digits;
  double ounces;
  double inDollars;
};
constexpr std::array<Metal, 2> kMetals = {{{"XAU", 2, 100.0, 2000.0}, {"XAG", 3, 5000.0, 23.0}}};

// Index CFDs: one contract a lot, two decimals, in the currency of their exchange.
struct IndexCfd {
  std::string_view name;
  std::string_view currency;
  double price;
};
constexpr std::array<IndexCfd, 7> kIndices = {{{"US500", "USD", 4800.0},
                                               {"US30", "USD", 37500.0},
                                               {"NAS100", "USD", 16800.0},
                                               {"US100", "USD", 16800.0},
                                               {"GER40", "EUR", 16700.0},
                                               {"UK100", "GBP", 7700.0},
                                               {"JP225", "JPY", 33500.0}}};

const Currency* FindCurrency(std::string_view code) {
  for (const Currency& currency : kCurrencies) {
    if (currency.code == code) return &currency;
  }
  return nullptr;
}

}  // namespace

std::optional<SymbolKind> FindSymbolKind(std::string_view name) {
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (const IndexCfd& index : kIndices) {
    if (upper.rfind(index.name, 0) == 0)
      return SymbolKind{std::string(index.name),     2,          1.0, "",
                        std::string(index.currency), index.price};
  }
  if (upper.size() < 6) return std::nullopt;
  const std::string_view base = std::string_view(upper).substr(0, 3);
  const std::string quote = upper.substr(3, 3);
  const Currency* quoted = FindCurrency(quote);
  if (quoted == nullptr) return std::nullopt;
  for (const Metal& metal : kMetals) {
    if (metal.code == base)
      return SymbolKind{upper.substr(0, 6), metal.digits, metal.ounces,
                        std::string(base),  quote,        metal.inDollars / quoted->inDollars};
  }
  const Currency* held = FindCurrency(base);
  if (held == nullptr || held == quoted) return std::nullopt;
  const int digits = quote == "JPY" ? kYenPairDigits : kPairDigits;
  const double price = std::round(held->inDollars / quoted->inDollars * 1000.0) / 1000.0;
  return SymbolKind{upper.substr(0, 6), digits, kLotOfCurrency, std::string(base), quote, price};
}

// One division of two exact powers of ten, so the point is the double nearest 10^-digits on every
// C library (MinGW's pow(10, -5) is one unit in the last place off, which a JSON shows).
double PointOfDigits(int digits) {
  double scale = 1.0;
  for (int i = 0; i < (digits < 0 ? -digits : digits); ++i) scale *= 10.0;
  return digits < 0 ? scale : 1.0 / scale;
}

int DigitsOfPoint(double point) {
  return std::max(0, static_cast<int>(std::lround(-std::log10(point))));
}

double ToAccountMoney(const ProfitConversion& conversion, double amount, double price) {
  switch (conversion.rule) {
    case ProfitRule::Same: return amount;
    case ProfitRule::OverPrice: return amount / price;
    case ProfitRule::AtRate: return amount * conversion.rate;
  }
  return amount;
}

std::optional<ProfitConversion> ConversionFor(const SymbolKind& kind,
                                              std::string_view accountCurrency, double rate) {
  if (kind.profitCurrency == accountCurrency) return ProfitConversion{ProfitRule::Same, 1.0};
  if (kind.baseCurrency == accountCurrency) return ProfitConversion{ProfitRule::OverPrice, 1.0};
  if (rate > 0.0) return ProfitConversion{ProfitRule::AtRate, rate};
  return std::nullopt;
}

}  // namespace zt::sim
