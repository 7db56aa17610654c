#include "trading/deal_history.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "market/account_model.h"
#include "market/price_history.h"
#include "market/state_text.h"
#include "market/text_file.h"
#include "number_text.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

constexpr std::string_view kHeader =
    "open time,close time,symbol,type,lots,open price,close price,profit";
constexpr double kMostLots = 1e4;
constexpr double kHighestPrice = 1e9;
constexpr double kLargestProfit = 1e12;

struct DealLine {
  const std::string& path;
  int line;
  [[noreturn]] void Refuse(const std::string& expected) const {
    throw std::runtime_error(path + " line " + std::to_string(line) + ": expected " + expected);
  }
};

// "2024.01.03 09:00" or "2024.01.03 09:00:00".
std::int64_t DealTime(const DealLine& at, const std::string& field, const char* what,
                      const ServerOffset& offset) {
  const std::size_t space = field.find(' ');
  std::int64_t seconds = 0;
  int millis = 0;
  if (space == std::string::npos ||
      !ReadDateTime(field.substr(0, space), field.substr(space + 1), seconds, millis)) {
    at.Refuse(std::string("as the ") + what + " a time such as 2024.01.03 09:00, not \"" + field +
              "\"");
  }
  return ServerToUtc(seconds, offset);
}

double DealAmount(const DealLine& at, const std::string& field, DecimalMark decimal,
                  const char* what, double lowest, double highest) {
  double value = 0.0;
  if (std::string mistake = ReadAmount(field, decimal, value); !mistake.empty()) {
    at.Refuse(std::string("as the ") + what + " " + mistake);
  }
  if (!(value > lowest && value < highest)) {
    at.Refuse(std::string("as the ") + what + " a number above " + tools::Number(lowest) +
              " and below " + tools::Number(highest) + ", not " + field);
  }
  return value;
}

Deal ReadDeal(const DealLine& at, const std::vector<std::string>& fields, DecimalMark decimal,
              const ServerOffset& offset) {
  if (fields.size() != 8)
    at.Refuse("8 fields: " + std::string(kHeader) + "; found " + std::to_string(fields.size()));
  Deal deal{};
  deal.line = at.line;
  deal.openTime = DealTime(at, fields[0], "open time", offset);
  deal.closeTime = DealTime(at, fields[1], "close time", offset);
  if (deal.closeTime < deal.openTime) at.Refuse("a close time no earlier than the open time");
  std::string type = fields[3];
  std::transform(type.begin(), type.end(), type.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (type != "buy" && type != "sell")
    at.Refuse("as the type buy or sell, not \"" + fields[3] + "\"");
  deal.side = type == "buy" ? Side::Buy : Side::Sell;
  deal.lots = DealAmount(at, fields[4], decimal, "lots", 0.0, kMostLots);
  deal.openPrice = DealAmount(at, fields[5], decimal, "open price", 0.0, kHighestPrice);
  deal.closePrice = DealAmount(at, fields[6], decimal, "close price", 0.0, kHighestPrice);
  deal.profit = DealAmount(at, fields[7], decimal, "profit", -kLargestProfit, kLargestProfit);
  return deal;
}

// The header's names, lower case, joined by commas.
std::string HeaderText(const std::vector<std::string>& fields) {
  std::string text;
  for (const std::string& field : fields) {
    if (!text.empty()) text += ',';
    for (const char c : field)
      text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

}  // namespace

DealHistory ReadDealHistory(const std::string& path, DecimalMark decimal,
                            const ServerOffset& offset) {
  TextFileLines file(path);
  if (!file.is_open()) throw std::runtime_error("cannot read the deal history " + path);
  DealHistory history{path, {}, {}};
  char separator = 0;
  int number = 0;
  for (std::string line; file.NextLine(line);) {
    ++number;
    if (tools::Trimmed(line).empty() || line.front() == '#') continue;
    const DealLine at{path, number};
    if (separator == 0) {
      // Tabs, else semicolons (a spreadsheet's where the comma is the decimal mark), else commas.
      separator = line.find('\t') != std::string::npos  ? '\t'
                  : line.find(';') != std::string::npos ? ';'
                                                        : ',';
      if (HeaderText(HistoryFields(line, separator)) != kHeader)
        at.Refuse("the header " + std::string(kHeader));
      continue;
    }
    const std::vector<std::string> fields = HistoryFields(line, separator);
    history.deals.push_back(ReadDeal(at, fields, decimal, offset));
    if (history.symbol.empty()) history.symbol = fields[2];
    if (fields[2] != history.symbol) {
      at.Refuse("the symbol " + history.symbol + " of the trades above, not " + fields[2] +
                " (one symbol's trades replay over its price history: split the file)");
    }
  }
  if (history.deals.empty()) throw std::runtime_error(path + " holds no trade");
  std::stable_sort(history.deals.begin(), history.deals.end(),
                   [](const Deal& a, const Deal& b) { return a.openTime < b.openTime; });
  return history;
}

namespace {

// The account's positions are the open deals, in the order they opened: open_ names them.
class DealReplay final : public Strategy {
 public:
  explicit DealReplay(std::shared_ptr<const DealHistory> history) : history_(std::move(history)) {}

  void OnTick(TradingAccount& account) override {
    ForgetStoppedOut(account);
    const std::int64_t now = account.quote.time;
    for (std::size_t i = open_.size(); i-- > 0;) {
      const Deal& deal = history_->deals[open_[i]];
      if (deal.closeTime > now) continue;
      account.positions.erase(account.positions.begin() + static_cast<std::ptrdiff_t>(i));
      account.balance = RoundToCents(account.balance + deal.profit);
      open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    const std::vector<Deal>& deals = history_->deals;
    for (; next_ < deals.size() && deals[next_].openTime <= now; ++next_) {
      const Deal& deal = deals[next_];
      if (deal.closeTime <= now) {
        // Opened and closed between two quotes: it only booked its profit.
        account.balance = RoundToCents(account.balance + deal.profit);
        continue;
      }
      account.positions.push_back(
          Position{deal.side, deal.lots, deal.openPrice, deal.openTime, 0.0});
      open_.push_back(next_);
    }
  }

  // The guard closed them all: those trades are over.
  void OnGuardClose(std::int64_t) override { open_.clear(); }

  std::string Format(std::string_view prefix) const override {
    std::string out;
    PutField(out, NameField(prefix, "next"), next_);
    PutField(out, NameField(prefix, "open"), open_.size());
    for (std::size_t i = 0; i < open_.size(); ++i)
      PutField(out, NameField(prefix, "o" + std::to_string(i)), open_[i]);
    return out;
  }

  bool Parse(std::string_view text, std::string_view prefix) override {
    std::size_t next = 0, count = 0;
    if (!TakeField(text, NameField(prefix, "next"), next) ||
        !TakeField(text, NameField(prefix, "open"), count))
      return false;
    std::vector<std::size_t> open(count);
    for (std::size_t i = 0; i < count; ++i) {
      if (!TakeField(text, NameField(prefix, "o" + std::to_string(i)), open[i]) || open[i] >= next)
        return false;
    }
    if (next > history_->deals.size()) return false;
    next_ = next;
    open_ = std::move(open);
    return true;
  }

 private:
  // The broker's stop-out closes positions itself: the deals whose positions are gone are over.
  void ForgetStoppedOut(const TradingAccount& account) {
    if (account.positions.size() == open_.size()) return;
    std::vector<std::size_t> kept;
    std::size_t held = 0;
    for (const std::size_t index : open_) {
      const Deal& deal = history_->deals[index];
      if (held < account.positions.size() && account.positions[held].openTime == deal.openTime &&
          account.positions[held].openPrice == deal.openPrice &&
          account.positions[held].lots == deal.lots && account.positions[held].side == deal.side) {
        kept.push_back(index);
        ++held;
      }
    }
    open_ = std::move(kept);
  }

  std::shared_ptr<const DealHistory> history_;
  std::size_t next_ = 0;           // the first deal not opened yet
  std::vector<std::size_t> open_;  // the deals the account holds, as its positions
};

}  // namespace

std::unique_ptr<Strategy> MakeDealReplay(std::shared_ptr<const DealHistory> deals) {
  return std::make_unique<DealReplay>(std::move(deals));
}

}  // namespace zt::sim
