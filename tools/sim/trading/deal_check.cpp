#include "trading/deal_check.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

#include "market/symbol_kinds.h"
#include "market/utc_time.h"
#include "number_text.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

constexpr std::int64_t kTickBucket = 60;  // a tick history is held to prices a minute at a time

// The prices the market had from start for a bar's (or a minute's) length.
struct PriceRange {
  std::int64_t start;
  double low;   // lowest bid
  double high;  // highest ask
};

struct PriceRanges {
  std::vector<PriceRange> ranges;  // by start
  std::int64_t length = 0;         // of each range
};

// One row's time and prices as the history's shape writes them; false for a line of no row.
bool ReadRow(const std::vector<std::string>& fields, HistoryFormat format,
             const PriceHistoryOptions& history, std::int64_t& time, double& bid, double& ask) {
  std::vector<std::string> f = fields;
  if (format == HistoryFormat::TicksCsv && f.size() == 3) {
    const std::size_t space = f[0].find(' ');
    f.insert(f.begin() + 1, space == std::string::npos ? std::string() : f[0].substr(space + 1));
    f[0] = f[0].substr(0, space);
  }
  int millis = 0;
  if (f.size() < 4 || !ReadDateTime(f[0], f[1], time, millis)) return false;
  time = ServerToUtc(time, history.serverOffset);
  const bool bars = format == HistoryFormat::BarsCsv || format == HistoryFormat::BarsTab;
  double spread = history.spreadPoints;
  if (bars) {
    if (f.size() < 6 || !ReadAmount(f[4], history.decimal, bid).empty() ||
        !ReadAmount(f[3], history.decimal, ask).empty())
      return false;
    if (format == HistoryFormat::BarsTab && f.size() > 8) ReadAmount(f[8], history.decimal, spread);
    ask += spread * history.point;
    return true;
  }
  // A tick leaves a side empty when only the other one moved: 0 stands for "as before".
  bid = ask = 0.0;
  if (!f[2].empty()) ReadAmount(f[2], history.decimal, bid);
  if (!f[3].empty()) ReadAmount(f[3], history.decimal, ask);
  return true;
}

// The history's ranges: a bar's from the bid's low to the high plus its spread, a minute of ticks'
// from its lowest bid to its highest ask. The history was read and checked before.
PriceRanges ReadRanges(const PriceHistoryOptions& history) {
  const HistoryFormat format = PriceHistoryReader(history).format();
  const bool bars = format == HistoryFormat::BarsCsv || format == HistoryFormat::BarsTab;
  TextFileLines file(history.path);
  PriceRanges out;
  double lastBid = 0.0, lastAsk = 0.0;
  char separator = 0;
  for (std::string line; file.NextLine(line);) {
    if (tools::Trimmed(line).empty()) continue;
    if (separator == 0) separator = line.find('\t') != std::string::npos ? '\t' : ',';
    std::int64_t time = 0;
    double bid = 0.0, ask = 0.0;
    if (!ReadRow(HistoryFields(line, separator), format, history, time, bid, ask)) continue;
    lastBid = bid > 0.0 ? bid : lastBid;
    lastAsk = ask > 0.0 ? ask : lastAsk;
    const std::int64_t start = bars ? time : time - time % kTickBucket;
    if (!out.ranges.empty() && out.ranges.back().start == start) {
      out.ranges.back().low = std::min(out.ranges.back().low, lastBid);
      out.ranges.back().high = std::max(out.ranges.back().high, lastAsk);
      continue;
    }
    if (bars && !out.ranges.empty()) {
      const std::int64_t step = start - out.ranges.back().start;
      out.length = out.length == 0 ? step : std::min(out.length, step);
    }
    out.ranges.push_back({start, lastBid, lastAsk});
  }
  if (!bars || out.length == 0) out.length = bars ? 60 : kTickBucket;
  return out;
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// The deal's symbol is the history's: by the table's name of both ("EURUSD.m" is EURUSD), else
// letter for letter.
bool SameSymbol(const std::string& deal, const std::string& history) {
  const std::optional<SymbolKind> kind = FindSymbolKind(deal);
  return Upper(kind ? kind->name : deal) == Upper(history);
}

void Refuse(const std::string& path, int line, const std::string& why) {
  throw std::runtime_error(path + " line " + std::to_string(line) + ": " + why);
}

// The deal's price at time within the range of the bar that holds it.
void CheckPrice(const DealHistory& deals, const Deal& deal, const PriceRanges& prices,
                const DealTerms& terms, double point, std::int64_t time, double price,
                const char* what) {
  const std::vector<PriceRange>& ranges = prices.ranges;
  const PriceRange& first = ranges.front();
  const PriceRange& last = ranges.back();
  if (time < first.start || time >= last.start + prices.length) {
    Refuse(deals.path, deal.line,
           std::string("the deal's ") + what + " time " + FormatTime(time) +
               " lies outside the price history (" + FormatTime(first.start) + " to " +
               FormatTime(last.start + prices.length) + ")");
  }
  const auto after =
      std::upper_bound(ranges.begin(), ranges.end(), time,
                       [](std::int64_t t, const PriceRange& r) { return t < r.start; });
  const PriceRange& bar = *(after - 1);
  if (time >= bar.start + prices.length) {
    Refuse(deals.path, deal.line,
           std::string("the deal's ") + what + " time " + FormatTime(time) +
               " falls in a gap of the price history (no bar holds it)");
  }
  const double slack = terms.tolerancePoints * point;
  if (price < bar.low - slack || price > bar.high + slack) {
    const int digits = DigitsOfPoint(point);
    Refuse(deals.path, deal.line,
           std::string("the ") + what + " price " + tools::Number(price) +
               " lies outside the prices of " + FormatTime(bar.start) + " (bid low " +
               tools::Fixed(bar.low, digits) + ", ask high " + tools::Fixed(bar.high, digits) +
               ", tolerance " + tools::Number(terms.tolerancePoints) +
               " points): the deals are not of these prices");
  }
}

}  // namespace

void CheckDealsAgainstPrices(const DealHistory& deals, const PriceHistoryOptions& history,
                             const DealTerms& terms) {
  if (!terms.symbol.empty() && !SameSymbol(deals.symbol, terms.symbol)) {
    const int line = deals.deals.empty() ? 0 : deals.deals.front().line;
    Refuse(deals.path, line,
           "the deals are of " + deals.symbol + ", the price history of " + terms.symbol);
  }
  const PriceRanges prices = ReadRanges(history);
  if (prices.ranges.empty()) return;
  for (const Deal& deal : deals.deals) {
    CheckPrice(deals, deal, prices, terms, history.point, deal.openTime, deal.openPrice, "open");
    CheckPrice(deals, deal, prices, terms, history.point, deal.closeTime, deal.closePrice, "close");
  }
}

}  // namespace zt::sim
