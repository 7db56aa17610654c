#include "trading/trading_account.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "market/market_calendar.h"
#include "market/state_text.h"
#include "number_text.h"

namespace zt::sim {
namespace {

double Sign(Side side) { return side == Side::Buy ? 1.0 : -1.0; }

double MarginOf(const AccountTerms& terms, const Position& position) {
  return ToAccountMoney(terms.profit, position.lots * terms.contractSize * position.openPrice,
                        position.openPrice) /
         terms.leverage;
}

// Equity over margin in percent; infinite without margin, when there is nothing to stop out.
double MarginLevel(const TradingAccount& account) {
  const double margin = UsedMargin(account);
  return margin > 0.0 ? 100.0 * Equity(account) / margin : std::numeric_limits<double>::infinity();
}

// "B/0.01/1.10012/1704153600/-0.7": a position as one field's value.
std::string PositionText(const Position& p) {
  std::string text(1, p.side == Side::Buy ? 'B' : 'S');
  for (const std::string& value : {tools::Number(p.lots), tools::Number(p.openPrice),
                                   tools::Number(p.openTime), tools::Number(p.swap)}) {
    text += '/';
    text += value;
  }
  return text;
}

bool ReadPosition(std::string_view text, Position& p) {
  if (text.size() < 2 || (text[0] != 'B' && text[0] != 'S') || text[1] != '/') return false;
  p.side = text[0] == 'B' ? Side::Buy : Side::Sell;
  const char* at = text.data() + 2;
  const char* end = text.data() + text.size();
  const auto next = [&](auto& value, bool last) {
    const auto result = std::from_chars(at, end, value);
    if (result.ec != std::errc() || (!last && (result.ptr == end || *result.ptr != '/')))
      return false;
    at = result.ptr + (last ? 0 : 1);
    return true;
  };
  return next(p.lots, false) && next(p.openPrice, false) && next(p.openTime, false) &&
         next(p.swap, true);
}

}  // namespace

TradingAccount NewTradingAccount(const AccountTerms& terms, double balance, const Quote& quote) {
  return TradingAccount{terms, RoundToCents(balance), {}, quote, 0, {}};
}

double PositionResult(const TradingAccount& account, const Position& position) {
  const double closePrice = position.side == Side::Buy ? account.quote.bid : account.quote.ask;
  return ToAccountMoney(account.terms.profit,
                        Sign(position.side) * (closePrice - position.openPrice) * position.lots *
                            account.terms.contractSize,
                        closePrice) +
         position.swap;
}

double Floating(const TradingAccount& account) {
  double floating = 0.0;
  for (const Position& position : account.positions) floating += PositionResult(account, position);
  return floating;
}

double UsedMargin(const TradingAccount& account) {
  double margin = 0.0;
  for (const Position& position : account.positions) margin += MarginOf(account.terms, position);
  return margin;
}

double Equity(const TradingAccount& account) { return account.balance + Floating(account); }

AccountFigures Figures(const TradingAccount& account) {
  const double equity = Equity(account);
  const double margin = UsedMargin(account);
  return AccountFigures{account.quote.time, equity, margin, equity - margin};
}

bool OpenPosition(TradingAccount& account, Side side, double lots) {
  const double price = side == Side::Buy ? account.quote.ask : account.quote.bid;
  const Position position{side, lots, price, account.quote.time, 0.0};
  const double commission = account.terms.commissionPerLot * lots;
  const AccountFigures now = Figures(account);
  if (now.freeMargin - commission < MarginOf(account.terms, position)) return false;
  account.balance = RoundToCents(account.balance - commission);
  account.positions.push_back(position);
  account.costs.commission += commission;
  account.costs.spread +=
      ToAccountMoney(account.terms.profit,
                     (account.quote.ask - account.quote.bid) * lots * account.terms.contractSize,
                     account.quote.bid);
  return true;
}

void ClosePosition(TradingAccount& account, std::size_t index) {
  const Position& position = account.positions[index];
  account.balance = RoundToCents(account.balance + PositionResult(account, position) -
                                 account.terms.commissionPerLot * position.lots);
  account.costs.commission += account.terms.commissionPerLot * position.lots;
  account.positions.erase(account.positions.begin() + static_cast<std::ptrdiff_t>(index));
}

int CloseAllPositions(TradingAccount& account) {
  const int count = static_cast<int>(account.positions.size());
  while (!account.positions.empty()) ClosePosition(account, account.positions.size() - 1);
  return count;
}

int MoveAccount(TradingAccount& account, const Quote& quote) {
  if (const int nights = RolloverNights(account.quote.time, quote.time); nights > 0) {
    for (Position& position : account.positions) {
      const double perLot =
          position.side == Side::Buy ? account.terms.swapLongPerLot : account.terms.swapShortPerLot;
      position.swap += nights * perLot * position.lots;
      account.costs.swap -= nights * perLot * position.lots;
    }
  }
  account.quote = quote;
  int stopped = 0;
  while (!account.positions.empty() && MarginLevel(account) <= account.terms.stopOutLevel) {
    const auto worst =
        std::min_element(account.positions.begin(), account.positions.end(),
                         [&](const Position& a, const Position& b) {
                           return PositionResult(account, a) < PositionResult(account, b);
                         });
    ClosePosition(account, static_cast<std::size_t>(worst - account.positions.begin()));
    ++stopped;
  }
  account.stopOuts += stopped;
  return stopped;
}

std::string FormatTradingAccount(const TradingAccount& account, std::string_view prefix) {
  std::string out;
  PutField(out, NameField(prefix, "balance"), account.balance);
  PutField(out, NameField(prefix, "stopOuts"), account.stopOuts);
  for (const Position& position : account.positions) {
    out += ' ';
    out += NameField(prefix, "pos=");
    out += PositionText(position);
  }
  return out;
}

bool ParseTradingAccount(std::string_view text, std::string_view prefix, TradingAccount& account) {
  TradingAccount read = account;
  if (!TakeField(text, NameField(prefix, "balance"), read.balance) ||
      !TakeField(text, NameField(prefix, "stopOuts"), read.stopOuts)) {
    return false;
  }
  read.positions.clear();
  std::string key(" ");
  key += NameField(prefix, "pos=");
  for (std::size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1)) {
    const std::size_t start = at + key.size();
    const std::size_t end = std::min(text.find(' ', start), text.size());
    Position position{};
    if (!ReadPosition(text.substr(start, end - start), position)) return false;
    read.positions.push_back(position);
  }
  account = read;
  return true;
}

}  // namespace zt::sim
