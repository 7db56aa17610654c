// What several strategies are built from (strategy_basics.h says what each does).
#include "trading/strategy_basics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "market/state_text.h"
#include "number_text.h"

namespace zt::sim {

double RoundToLots(double lots) {
  constexpr double kLotStep = 0.01;
  return std::max(1.0, std::round(lots / kLotStep)) * kLotStep;
}

}  // namespace zt::sim

namespace zt::sim::strategies {

Exit CheckExit(const Position& position, const Quote& quote, double stopPoints,
               double takeProfitPoints, double point) {
  // Points the position has made so far, at the price it would close at.
  const double made = position.side == Side::Buy ? (quote.bid - position.openPrice) / point
                                                 : (position.openPrice - quote.ask) / point;
  // A millionth of a point of slack: prices are whole points held in binary, so a move of
  // exactly the stop reads as 199.99999999 points as often as 200.00000001.
  constexpr double kSlack = 1e-6;
  if (made <= -stopPoints + kSlack) return Exit::Stop;
  if (takeProfitPoints > 0.0 && made >= takeProfitPoints - kSlack) return Exit::TakeProfit;
  return Exit::None;
}

std::int64_t ResumeAfterGuard(std::int64_t time, std::int64_t reentryDelay) {
  return time + std::max<std::int64_t>(reentryDelay, 1);
}

Side Opposite(Side side) { return side == Side::Buy ? Side::Sell : Side::Buy; }

void PutSide(std::string& out, std::string_view name, Side side) {
  out += ' ';
  out += name;
  out += side == Side::Buy ? "=B" : "=S";
}

bool TakeSide(std::string_view text, std::string_view name, Side& side) {
  std::string key(" ");
  key += name;
  key += '=';
  const std::size_t at = text.find(key);
  if (at == std::string_view::npos || at + key.size() >= text.size()) return false;
  const char letter = text[at + key.size()];
  if (letter != 'B' && letter != 'S') return false;
  side = letter == 'B' ? Side::Buy : Side::Sell;
  return true;
}

void PutPrng(std::string& out, std::string_view name, const Prng& prng) {
  for (int word = 0; word < 4; ++word)
    PutField(out, NameField(name, std::to_string(word)), prng.state[word]);
}

bool TakePrng(std::string_view text, std::string_view name, Prng& prng) {
  Prng read{};
  for (int word = 0; word < 4; ++word) {
    if (!TakeField(text, NameField(name, std::to_string(word)), read.state[word])) return false;
  }
  prng = read;
  return true;
}

bool SinglePosition::StoppedOut(const TradingAccount& account) {
  if (!holding || !account.positions.empty()) return false;
  holding = false;
  return true;
}

void SinglePosition::GuardClosed(std::int64_t time, std::int64_t reentryDelay) {
  holding = false;
  resumeAt = ResumeAfterGuard(time, reentryDelay);
}

void SinglePosition::Put(std::string& out, std::string_view prefix) const {
  PutField(out, NameField(prefix, "holding"), holding ? 1 : 0);
  PutField(out, NameField(prefix, "resumeAt"), resumeAt);
}

bool SinglePosition::Take(std::string_view text, std::string_view prefix) {
  int held = 0;
  std::int64_t resume = 0;
  if (!TakeField(text, NameField(prefix, "holding"), held) ||
      !TakeField(text, NameField(prefix, "resumeAt"), resume)) {
    return false;
  }
  holding = held != 0;
  resumeAt = resume;
  return true;
}

void PutCloses(std::string& out, std::string_view name, const std::vector<double>& closes) {
  out += ' ';
  out += name;
  out += '=';
  for (std::size_t i = 0; i < closes.size(); ++i) {
    if (i > 0) out += '/';
    out += tools::Number(closes[i]);
  }
}

bool TakeCloses(std::string_view text, std::string_view name, std::vector<double>& closes) {
  std::string key(" ");
  key += name;
  key += '=';
  const std::size_t at = text.find(key);
  if (at == std::string_view::npos) return false;
  const std::size_t start = at + key.size();
  std::string_view value = text.substr(start, std::min(text.find(' ', start), text.size()) - start);
  std::vector<double> read;
  while (!value.empty()) {
    double close = 0.0;
    const auto result = std::from_chars(value.data(), value.data() + value.size(), close);
    if (result.ec != std::errc()) return false;
    read.push_back(close);
    value.remove_prefix(static_cast<std::size_t>(result.ptr - value.data()));
    if (!value.empty() && (value.front() != '/' || value.size() == 1)) return false;
    if (!value.empty()) value.remove_prefix(1);
  }
  closes = std::move(read);
  return true;
}

}  // namespace zt::sim::strategies
