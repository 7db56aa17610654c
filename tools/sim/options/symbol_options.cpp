#include "options/symbol_options.h"

#include <algorithm>
#include <cctype>

#include "market/csv_fields.h"
#include "market/server_time.h"
#include "market/symbol_kinds.h"
#include "number_text.h"
#include "options/option_list.h"
#include "options/run_input.h"

namespace zt::sim {
namespace {

// Recorded (and part of the identity) only when given: a run that names no symbol is the run it
// was before the options existed, and a state folder made then continues.
std::function<std::optional<std::string>(const std::string&)> WhenGiven(CLI::App& app,
                                                                        const std::string& name) {
  return [&app, name](const std::string& text) -> std::optional<std::string> {
    if (app.count(name) == 0) return std::nullopt;
    return text;
  };
}

// A check of a text's form: the mistake in words after the option's name, or empty.
CLI::Validator TextCheck(std::function<std::string(const std::string&)> mistake) {
  return CLI::Validator([mistake = std::move(mistake)](std::string& text) { return mistake(text); },
                        "");
}

bool CurrencyCode(const std::string& text) {
  return text.size() == 3 && std::all_of(text.begin(), text.end(),
                                         [](unsigned char c) { return std::isupper(c) != 0; });
}

// The kind's terms where the command line left them to it.
void TakeKind(const CLI::App& app, const SymbolKind& kind, SimOptions& o) {
  PositionMarketOptions& m = o.positions;
  if (app.count("--point") == 0) m.prices.point = PointOfDigits(kind.digits);
  if (app.count("--contract-size") == 0) m.terms.contractSize = kind.contractSize;
  if (app.count("--price") == 0 && m.history.path.empty()) m.prices.startPrice = kind.typicalPrice;
}

}  // namespace

void AddSymbolOptions(OptionTable& t, SimOptions& o, GivenTexts& given) {
  const std::string group = "Symbol (--market model)";
  CLI::App& app = t.app();
  const auto add = [&](const std::string& name, std::string& text, const std::string& help) {
    return t.Add(group, name, text, help)
        .In(Scope::Model)
        .Identity(kModelIdentity)
        .Recorded(WhenGiven(app, name))
        .IdentityText([&app, &text, name]() -> std::optional<std::string> {
          if (app.count(name) == 0) return std::nullopt;
          return text;
        });
  };
  add("--symbol", given.symbol,
      "The symbol traded: its digits, contract size and profit currency from the usual kinds "
      "(EURUSD, USDJPY, EURGBP, XAUUSD, XAGUSD, US500, GER40 ...); default: the one the --history "
      "file's name starts with, else --point and --contract-size as given");
  add("--account-currency", given.accountCurrency,
      "The account's currency (default USD): a result in another is converted")
      .Check(TextCheck([](const std::string& text) {
        return CurrencyCode(text) ? std::string() : "\"" + text + "\" is no currency code like USD";
      }));
  add("--profit-rate", given.profitRate,
      "The account's money one unit of the symbol's profit currency is worth, where neither of "
      "the symbol's currencies is the account's (EURGBP on a USD account: GBPUSD, e.g. 1.27)")
      .Check(TextCheck([](const std::string& text) {
        double rate = 0.0;
        return ReadNumber(text, rate) && rate > 0.0 && rate < 1e9
                   ? std::string()
                   : "\"" + text + "\" is no rate above 0";
      }));
  add("--server-offset", given.serverOffset,
      "Hours the --history and --deals times run ahead of UTC (the broker's server time), or "
      "eet: UTC+2, UTC+3 in Europe's summer time")
      .Check(TextCheck([](const std::string& text) {
        return ParseServerOffset(text) ? std::string()
                                       : "\"" + text + "\" is neither hours from -14 to 14 nor eet";
      }));
  t.Add(group, "--deal-tolerance", o.positions.dealTolerancePoints,
        "Points a --deals price may lie outside its bar's range (the bid's low to the ask's high)")
      .Number(0.0, 1e9)
      .In(Scope::Model)
      .Recorded(WhenGiven(app, "--deal-tolerance"));
}

std::string SettleSymbol(const CLI::App& app, const GivenTexts& given, SimOptions& o) {
  PositionMarketOptions& m = o.positions;
  m.history.serverOffset = *ParseServerOffset(given.serverOffset);
  double rate = 0.0;
  if (!given.profitRate.empty()) ReadNumber(given.profitRate, rate);
  std::optional<SymbolKind> kind = FindSymbolKind(given.symbol);
  if (given.symbol.empty() && !m.history.path.empty())
    kind = FindSymbolKind(FileName(m.history.path));
  m.symbol = kind ? kind->name : given.symbol;
  if (kind) TakeKind(app, *kind, o);
  // A history's prices are written in the point's digits: other digits are another symbol's.
  if (!m.history.path.empty()) {
    m.history.point = m.prices.point;
    m.history.digits = DigitsOfPoint(m.prices.point);
  }
  if (!kind) {
    if (rate > 0.0) m.terms.profit = ProfitConversion{ProfitRule::AtRate, rate};
    return {};
  }
  const std::optional<ProfitConversion> conversion =
      ConversionFor(*kind, given.accountCurrency, rate);
  if (!conversion) {
    return kind->name + " books its results in " + kind->profitCurrency + ", the account is in " +
           given.accountCurrency + ": give --profit-rate (" + given.accountCurrency + " for one " +
           kind->profitCurrency + ")";
  }
  if (rate > 0.0 && conversion->rule != ProfitRule::AtRate) {
    return "--profit-rate converts a result in another currency, and " + kind->name +
           "'s are converted at its own price or need none on a " + given.accountCurrency +
           " account";
  }
  m.terms.profit = *conversion;
  return {};
}

}  // namespace zt::sim
