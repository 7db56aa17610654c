#include "market/price_history.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

#include "market/utc_time.h"
#include "number_text.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

using tools::Trimmed;

constexpr double kHighestPrice = 1e9;  // no symbol quotes beyond this
constexpr double kWidestSpread = 1e6;  // points
constexpr std::string_view kBarsTabHeader =
    "<DATE> <TIME> <OPEN> <HIGH> <LOW> <CLOSE> <TICKVOL> <VOL> <SPREAD>";
constexpr std::string_view kTicksTabHeader = "<DATE> <TIME> <BID> <ASK> <LAST> <VOLUME> <FLAGS>";

const std::map<HistoryFormat, std::string> kFormatNames = {{HistoryFormat::Auto, "auto"},
                                                           {HistoryFormat::BarsCsv, "bars-csv"},
                                                           {HistoryFormat::BarsTab, "bars-tab"},
                                                           {HistoryFormat::TicksTab, "ticks-tab"},
                                                           {HistoryFormat::TicksCsv, "ticks-csv"}};

// The fields each shape's rows hold.
std::size_t FieldsOf(HistoryFormat format) {
  switch (format) {
    case HistoryFormat::BarsCsv: return 7;
    case HistoryFormat::BarsTab: return 9;
    case HistoryFormat::TicksTab: return 7;
    case HistoryFormat::TicksCsv: return 3;
    case HistoryFormat::Auto: break;
  }
  return 0;
}

std::string RowShape(HistoryFormat format) {
  switch (format) {
    case HistoryFormat::BarsCsv:
      return "date, time, open, high, low, close, volume (2024.01.02,00:00,1.10432,...)";
    case HistoryFormat::BarsTab:
      return "date, time, open, high, low, close, tick volume, volume, spread";
    case HistoryFormat::TicksTab: return "date, time, bid, ask, last, volume, flags";
    case HistoryFormat::TicksCsv: return "time, bid, ask (2024.01.02 00:00:00,1.10432,1.10440)";
    case HistoryFormat::Auto: break;
  }
  return {};
}

// The header's column names joined by single spaces, whatever separated them.
std::string HeaderWords(std::string_view line, char separator) {
  std::string words;
  for (const std::string& field : HistoryFields(line, separator)) {
    if (field.empty()) continue;
    if (!words.empty()) words += ' ';
    words += field;
  }
  return words;
}

}  // namespace

std::string NameHistoryFormat(HistoryFormat format) { return kFormatNames.at(format); }

std::vector<std::string> HistoryFields(std::string_view line, char separator) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == separator && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& field : fields) field = std::string(Trimmed(field));
  // A separator at the end of every line (as some exports write) leaves no field behind it.
  if (fields.size() > 1 && fields.back().empty()) fields.pop_back();
  return fields;
}

std::string ReadAmount(std::string_view field, DecimalMark decimal, double& value) {
  std::string text(field);
  const bool comma = text.find(',') != std::string::npos;
  if (comma && decimal != DecimalMark::Comma) {
    return "a number with a decimal point, not \"" + text +
           "\" (for a decimal comma: --decimal comma)";
  }
  if (comma) std::replace(text.begin(), text.end(), ',', '.');
  const char* end = text.data() + text.size();
  const auto read = std::from_chars(text.data(), end, value);
  if (text.empty() || read.ec != std::errc() || read.ptr != end || !std::isfinite(value)) {
    return "a number, not \"" + std::string(field) + "\"";
  }
  return {};
}

bool ReadDateTime(std::string_view date, std::string_view time, std::int64_t& seconds,
                  int& millis) {
  millis = 0;
  if (const std::size_t dot = time.find('.'); dot != std::string_view::npos) {
    const std::string_view fraction = time.substr(dot + 1);
    if (fraction.size() != 3 ||
        std::from_chars(fraction.data(), fraction.data() + 3, millis).ptr != fraction.data() + 3) {
      return false;
    }
    time = time.substr(0, dot);
  }
  // The date alone must look like one: ParseTime would also take a bare count of seconds.
  if (date.size() != 10 || (time.size() != 5 && time.size() != 8)) return false;
  std::string text(date);
  text += ' ';
  text += time;
  const std::optional<std::int64_t> parsed = ParseTime(text, DateOrder::YearFirst);
  if (!parsed) return false;
  seconds = *parsed;
  return true;
}

PriceHistoryReader::PriceHistoryReader(const PriceHistoryOptions& options)
    : options_(options), file_(options.path) {
  if (!file_.is_open()) throw std::runtime_error("cannot read the price history " + options.path);
  std::string first;
  if (!NextLine(first)) throw std::runtime_error(options.path + " holds no prices");
  Recognise(first);
}

void PriceHistoryReader::Refuse(const std::string& expected) const {
  throw std::runtime_error(options_.path + " line " + std::to_string(line_) + ": expected " +
                           expected);
}

// The shape from the first line: a header names the 64-bit terminal's exports; a headerless row
// of seven fields is the history centre's bars, of three fields a tick list. The first line of a
// headerless file is a row, held to be read again.
void PriceHistoryReader::Recognise(std::string_view first) {
  // Tabs (the 64-bit terminal's exports), else semicolons (a spreadsheet saved where the comma is
  // the decimal mark), else commas (the history centre's).
  separator_ = first.find('\t') != std::string_view::npos  ? '\t'
               : first.find(';') != std::string_view::npos ? ';'
                                                           : ',';
  const std::string words = HeaderWords(first, separator_);
  const bool header = !words.empty() && words.front() == '<';
  HistoryFormat seen = HistoryFormat::Auto;
  if (words == kBarsTabHeader) seen = HistoryFormat::BarsTab;
  if (words == kTicksTabHeader) seen = HistoryFormat::TicksTab;
  if (!header) {
    const std::size_t fields = HistoryFields(first, separator_).size();
    if (fields == FieldsOf(HistoryFormat::BarsCsv)) seen = HistoryFormat::BarsCsv;
    if (fields == FieldsOf(HistoryFormat::TicksCsv)) seen = HistoryFormat::TicksCsv;
  }
  format_ = options_.format == HistoryFormat::Auto ? seen : options_.format;
  if (format_ == HistoryFormat::Auto) {
    Refuse(std::string(header ? "the header " : "a row of ") +
           (header
                ? std::string(kBarsTabHeader) + " or " + std::string(kTicksTabHeader)
                : RowShape(HistoryFormat::BarsCsv) + ", or " + RowShape(HistoryFormat::TicksCsv)) +
           " (or name the shape with --format)");
  }
  // Told ticks, shown bars: the open and high would be read as a bid and an ask.
  if (format_ == HistoryFormat::TicksCsv && seen == HistoryFormat::BarsCsv) {
    Refuse(RowShape(format_) + " as --format ticks-csv says, not 7 fields: this looks like a bar " +
           "file (" + RowShape(HistoryFormat::BarsCsv) +
           "); give --format bars-csv or leave it out");
  }
  const bool wantsHeader = format_ == HistoryFormat::BarsTab || format_ == HistoryFormat::TicksTab;
  if (wantsHeader && seen != format_) {
    Refuse("the header " +
           std::string(format_ == HistoryFormat::BarsTab ? kBarsTabHeader : kTicksTabHeader));
  }
  held_ = std::string(first);
  holding_ = !wantsHeader;
}

bool PriceHistoryReader::NextLine(std::string& line) {
  if (holding_) {
    holding_ = false;
    line = held_;
    return true;
  }
  while (file_.NextLine(line)) {
    ++line_;
    if (line.starts_with(kModelBarsComment)) madeByModel_ = true;
    if (!Trimmed(line).empty() && line.front() != '#') return true;
  }
  return false;
}

// A price in more decimals than the point is refused at once; the history's digits (the most any
// price has: an export may drop a last 0) are held to the point's at its end.
void PriceHistoryReader::CheckDigits(const std::string& field) {
  const std::size_t mark = field.find_first_of(".,");
  const int decimals = mark == std::string::npos ? 0 : static_cast<int>(field.size() - mark - 1);
  if (decimals > digitsSeen_) {
    digitsSeen_ = decimals;
    digitsExample_ = field;
    digitsLine_ = line_;
  }
  if (options_.digits < 0 || decimals <= options_.digits) return;
  Refuse("prices in " + std::to_string(options_.digits) + " digits, as the point " +
         tools::Number(options_.point) + " says, not " + field + " in " + std::to_string(decimals) +
         " (give the symbol with --symbol, or its point with --point)");
}

double PriceHistoryReader::Price(const std::string& field, const char* what) {
  double value = 0.0;
  if (std::string mistake = ReadAmount(field, options_.decimal, value); !mistake.empty()) {
    Refuse(std::string("as the ") + what + " " + mistake);
  }
  if (!(value > 0.0 && value < kHighestPrice)) {
    Refuse(std::string("as the ") + what + " a price above 0 and below 1e9, not " + field);
  }
  CheckDigits(field);
  return value;
}

// One bar's line: its fields in order, a time later than the bar before, a high and a low that
// hold its open and close.
bool PriceHistoryReader::ReadBar(Bar& bar) {
  std::string line;
  if (!NextLine(line)) return false;
  const std::vector<std::string> fields = HistoryFields(line, separator_);
  if (fields.size() != FieldsOf(format_)) {
    Refuse(std::to_string(FieldsOf(format_)) + " fields: " + RowShape(format_) + "; found " +
           std::to_string(fields.size()));
  }
  int millis = 0;
  if (!ReadDateTime(fields[0], fields[1], bar.time, millis) || millis != 0) {
    Refuse("a date and time such as 2024.01.02 and 00:00, not \"" + fields[0] + "\" and \"" +
           fields[1] + "\"");
  }
  bar.time = ServerToUtc(bar.time, options_.serverOffset);
  if (!bars_.empty() && bar.time <= bars_.back().time) {
    Refuse("a bar later than the one before (" + FormatTime(bars_.back().time) + "), not " +
           FormatTime(bar.time));
  }
  bar.open = Price(fields[2], "open");
  bar.high = Price(fields[3], "high");
  bar.low = Price(fields[4], "low");
  bar.close = Price(fields[5], "close");
  if (bar.high < std::max(bar.open, bar.close) || bar.low > std::min(bar.open, bar.close)) {
    Refuse("a high at or above the open and close and a low at or below them");
  }
  double volume = 0.0;
  if (!ReadAmount(fields[6], options_.decimal, volume).empty() ||
      !(volume >= 0.0 && volume < 1e15)) {
    Refuse("as the tick volume a count of 0 or more, not \"" + fields[6] + "\"");
  }
  bar.volume = std::llround(volume);
  bar.spreadPoints = options_.spreadPoints;
  if (format_ == HistoryFormat::BarsTab) {
    if (!ReadAmount(fields[8], options_.decimal, bar.spreadPoints).empty() ||
        !(bar.spreadPoints >= 0.0 && bar.spreadPoints < kWidestSpread)) {
      Refuse("as the spread a number of points from 0 to 1e6, not \"" + fields[8] + "\"");
    }
  }
  return true;
}

// One tick's line. The 64-bit terminal leaves a side empty when only the other one changed.
bool PriceHistoryReader::ReadTick(Quote& quote) {
  std::string line;
  if (!NextLine(line)) return false;
  std::vector<std::string> fields = HistoryFields(line, separator_);
  if (format_ == HistoryFormat::TicksCsv && fields.size() == 3) {
    const std::size_t space = fields[0].find(' ');
    fields.insert(fields.begin() + 1,
                  space == std::string::npos ? std::string() : fields[0].substr(space + 1));
    fields[0] = fields[0].substr(0, space);
  }
  if (fields.size() < 4 ||
      (format_ == HistoryFormat::TicksTab && fields.size() > FieldsOf(format_))) {
    Refuse(std::to_string(FieldsOf(format_)) + " fields: " + RowShape(format_));
  }
  int millis = 0;
  if (!ReadDateTime(fields[0], fields[1], quote.time, millis)) {
    Refuse("a date and time such as 2024.01.02 00:00:00.123, not \"" + fields[0] + " " + fields[1] +
           "\"");
  }
  quote.time = ServerToUtc(quote.time, options_.serverOffset);
  const std::int64_t at = quote.time * 1000 + millis;
  if (at < lastMillis_)
    Refuse("a tick no earlier than the one before, not " + FormatTime(quote.time));
  lastMillis_ = at;
  if (!fields[2].empty()) bid_ = Price(fields[2], "bid");
  if (!fields[3].empty()) ask_ = Price(fields[3], "ask");
  if (bid_ == 0.0 || ask_ == 0.0) Refuse("a bid and an ask (a first tick gives both)");
  if (ask_ < bid_) Refuse("an ask at or above the bid");
  quote.bid = bid_;
  quote.ask = ask_;
  return true;
}

// The bar in hand's ticks, one by one; the bar after it is read ahead for the bar's length.
bool PriceHistoryReader::NextBarQuote(Quote& quote) {
  if (barQuote_ < barQuotes_.size()) {
    quote = barQuotes_[barQuote_++];
    return true;
  }
  Bar bar{};
  if (!barsStarted_) {
    barsStarted_ = true;
    if (ReadBar(bar)) bars_.push_back(bar);
  } else if (!bars_.empty()) {
    bars_.erase(bars_.begin());  // the bar in hand is done; the one read ahead is next
  }
  if (bars_.empty()) return false;
  if (ReadBar(bar)) bars_.push_back(bar);
  const Bar& now = bars_.front();
  if (bars_.size() == 2) {
    const std::int64_t step = bars_[1].time - now.time;
    shortestStep_ = shortestStep_ == 0 ? step : std::min(shortestStep_, step);
  }
  const std::int64_t length = shortestStep_ == 0 ? 60 : shortestStep_;
  const BarPrices prices{
      now.time,  length, now.open, now.high, now.low, now.close, now.spreadPoints * options_.point,
      now.volume};
  BarWalkOptions walk = options_.walk;
  walk.point = options_.point;
  WalkBar(prices, walk, netLots_, barQuotes_);
  ++barsRead_;
  barQuote_ = 0;
  quote = barQuotes_[barQuote_++];
  return true;
}

bool PriceHistoryReader::bars() const {
  return format_ == HistoryFormat::BarsCsv || format_ == HistoryFormat::BarsTab;
}

bool PriceHistoryReader::Next(Quote& quote) {
  const bool more = bars() ? NextBarQuote(quote) : ReadTick(quote);
  if (!more && options_.digits >= 0 && digitsSeen_ < options_.digits) {
    throw std::runtime_error(
        options_.path + ": the prices are in " + std::to_string(digitsSeen_) + " digits (" +
        digitsExample_ + ", line " + std::to_string(digitsLine_) + "), the point " +
        tools::Number(options_.point) + " is " + std::to_string(options_.digits) +
        " digits: give the symbol with --symbol, or its point with --point");
  }
  return more;
}

std::int64_t CountHistoryQuotes(const PriceHistoryOptions& options) {
  PriceHistoryReader reader(options);
  std::int64_t quotes = 0;
  for (Quote quote{}; reader.Next(quote);) ++quotes;
  return quotes;
}

BarSizes MeasureBars(const PriceHistoryOptions& options) {
  PriceHistoryReader reader(options);
  BarSizes sizes;
  if (!reader.bars()) return sizes;
  std::vector<double> ranges;
  for (Quote quote{}; reader.Next(quote);) {
    ++sizes.ticks;
    if (reader.barsRead() > sizes.bars) {
      sizes.bars = reader.barsRead();
      ranges.push_back(reader.barRange());
    }
  }
  if (!ranges.empty()) {
    const auto middle = ranges.begin() + static_cast<std::ptrdiff_t>(ranges.size() / 2);
    std::nth_element(ranges.begin(), middle, ranges.end());
    sizes.typicalRange = *middle;
  }
  return sizes;
}

namespace {

// One history-centre line: 2024.01.02,00:00,1.10432,1.10511,1.10401,1.10477,1234.
void WriteBarLine(std::ostream& out, std::int64_t time, const double prices[4], std::int64_t ticks,
                  int digits) {
  std::string when = FormatTime(time);  // "2024.01.02 10:30"
  when[10] = ',';
  out << when;
  for (int i = 0; i < 4; ++i) out << ',' << tools::Fixed(prices[i], digits);
  out << ',' << ticks << '\n';
}

}  // namespace

void WriteModelBars(const MarketStart& start, const PriceModelOptions& model, std::int64_t ticks,
                    int barMinutes, std::ostream& out) {
  const int digits = std::max(0, static_cast<int>(std::lround(-std::log10(model.point))));
  const std::int64_t length = static_cast<std::int64_t>(barMinutes) * 60;
  out << kModelBarsComment << " (seed " << start.seed << "), not a market's record\n";
  PriceModel prices = NewPriceModel(start, model);
  std::int64_t barTime = prices.quote.time - prices.quote.time % length, count = 1;
  double bar[4] = {prices.quote.bid, prices.quote.bid, prices.quote.bid,
                   prices.quote.bid};  // open, high, low, close
  for (std::int64_t tick = 0; tick < ticks; ++tick) {
    const Quote& quote = NextQuote(prices);
    const std::int64_t opened = quote.time - quote.time % length;
    if (opened != barTime) {
      WriteBarLine(out, barTime, bar, count, digits);
      barTime = opened;
      count = 0;
      bar[0] = bar[1] = bar[2] = quote.bid;
    }
    bar[1] = std::max(bar[1], quote.bid);
    bar[2] = std::min(bar[2], quote.bid);
    bar[3] = quote.bid;
    ++count;
  }
  WriteBarLine(out, barTime, bar, count, digits);
}

}  // namespace zt::sim
