// A symbol's recorded prices as the lab's market: the bar and tick files traders export from their
// terminals, read a line at a time (a history of years of ticks is never held whole) and turned
// into the quotes a broker would have sent, one after another.
//
// The shapes read (each recognised by its first line, or named by --format):
//   bars-csv   the 32-bit terminal's history-centre export, no header, comma-separated:
//              2024.01.02,00:00,1.10432,1.10511,1.10401,1.10477,1234 (date, time, open, high,
//              low, close, volume)
//   bars-tab   the 64-bit terminal's bar export, tab-separated, with the header
//              <DATE> <TIME> <OPEN> <HIGH> <LOW> <CLOSE> <TICKVOL> <VOL> <SPREAD>;
//              2024.01.02 00:00:00, the spread in points
//   ticks-tab  the 64-bit terminal's tick export, tab-separated, with the header
//              <DATE> <TIME> <BID> <ASK> <LAST> <VOLUME> <FLAGS>; 2024.01.02 00:00:00.123; a tick
//              that changed only one side leaves the other empty, and keeps its last value
//   ticks-csv  a plain tick list, no header: 2024.01.02 00:00:00,1.10432,1.10440 (time, bid, ask;
//              seconds and milliseconds may be left out)
// A line that starts with '#' is a comment, in every shape: the lab's own bars (WriteModelBars)
// say on their first line that the price model made them.
// Either separator reads in every shape (a tab file is the comma file with tabs), and an empty
// last field (a separator at the end of each line) is no field. UTF-8 and UTF-16 (with its
// byte-order mark, as the 64-bit terminal saves its exports) both read: text_file.h.
//
// A bar (bid prices, as terminals keep them) becomes a path of ticks through its open, high, low
// and close, as many as its tick volume (bar_walk.h). A bar's length is the shortest step between
// two bars read so far, so a weekend or a missing hour does not stretch a bar. The ask is the bid
// plus the bar's <SPREAD> where the file has that column, else the spread given. Times are the
// file's, moved to UTC by the server offset given (server_time.h); the lab's clock counts whole
// seconds, so ticks within one second keep their order and share its time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "market/bar_walk.h"
#include "market/csv_input.h"
#include "market/price_model.h"
#include "market/server_time.h"
#include "market/text_file.h"

namespace zt::sim {

enum class HistoryFormat { Auto, BarsCsv, BarsTab, TicksTab, TicksCsv };

struct PriceHistoryOptions {
  std::string path;  // empty: the prices come from the price model
  HistoryFormat format = HistoryFormat::Auto;
  DecimalMark decimal = DecimalMark::Auto;  // Comma: "1,10432" is a price; else only "1.10432"
  double point = 0.00001;                   // the symbol's point, in which spreads are given
  double spreadPoints = 8.0;                // ask - bid where the file gives none
  BarWalkOptions walk;                      // how a bar's ticks are made (its point is point's)
  // The decimals the prices must be written in, the point's (5 for 0.00001); -1: not checked. A
  // history in other digits is another symbol's, or needs another point.
  int digits = -1;
  ServerOffset serverOffset;  // the file's times are the broker's server's, this far from UTC
};

// "bars-csv" and back; Auto is "auto".
std::string NameHistoryFormat(HistoryFormat format);

// One line of a history file, split into its fields at the file's separator (quotes taken off).
// Used by the deal history too.
std::vector<std::string> HistoryFields(std::string_view line, char separator);
// A price, lot or amount as a field writes it: a finite number, with the decimal mark the options
// say. Empty message and the value in value, or what was expected.
std::string ReadAmount(std::string_view field, DecimalMark decimal, double& value);
// "2024.01.02" and "00:00", "00:00:00" or "00:00:00.123": seconds since 1970 (UTC) and the
// milliseconds; false when either is no such text.
bool ReadDateTime(std::string_view date, std::string_view time, std::int64_t& seconds, int& millis);

// Reads the quotes of a history file one at a time. Every refusal is a std::runtime_error that
// names the file and line and what was expected there.
class PriceHistoryReader {
 public:
  explicit PriceHistoryReader(const PriceHistoryOptions& options);
  // The next quote; false after the last.
  bool Next(Quote& quote);
  HistoryFormat format() const { return format_; }
  bool bars() const;
  // The file says, in a comment, that the price model made it: no market's record.
  bool madeByModel() const { return madeByModel_; }
  // The account's buys less its sells now, which the worst order walks the next bar against.
  void SetNetLots(double netLots) { netLots_ = netLots; }
  // Bars begun so far; the high less the low of the bar in hand.
  std::int64_t barsRead() const { return barsRead_; }
  double barRange() const { return bars_.empty() ? 0.0 : bars_.front().high - bars_.front().low; }

 private:
  struct Bar {
    std::int64_t time;
    double open, high, low, close, spreadPoints;
    std::int64_t volume;  // ticks; 0: none given
  };
  bool NextLine(std::string& line);
  bool ReadBar(Bar& bar);
  bool ReadTick(Quote& quote);
  bool NextBarQuote(Quote& quote);
  void Refuse(const std::string& expected) const;
  void Recognise(std::string_view first);
  double Price(const std::string& field, const char* what);
  void CheckDigits(const std::string& field);

  PriceHistoryOptions options_;
  TextFileLines file_;
  std::int64_t line_ = 0;
  std::string held_;  // the first line, read to recognise the shape, not used yet
  bool holding_ = false;
  HistoryFormat format_ = HistoryFormat::Auto;
  char separator_ = ',';
  // Bars: the bar whose ticks are being handed out, the one after it, the ticks left of it.
  std::vector<Bar> bars_;  // at most two: the current one and the next
  bool barsStarted_ = false;
  std::vector<Quote> barQuotes_;
  std::size_t barQuote_ = 0;
  std::int64_t shortestStep_ = 0;
  double netLots_ = 0.0;
  bool madeByModel_ = false;
  std::int64_t barsRead_ = 0;
  // Ticks: the last of each side, for a row that leaves one empty, and the last time with ms.
  double bid_ = 0.0, ask_ = 0.0;
  std::int64_t lastMillis_ = -1;
  // The most decimals a price has had, and the first price written with them.
  int digitsSeen_ = 0;
  std::string digitsExample_;
  std::int64_t digitsLine_ = 0;
};

// Reads the whole history once, checking every line (throws on the first bad one), and returns
// how many quotes it holds.
std::int64_t CountHistoryQuotes(const PriceHistoryOptions& options);

// The start of the first line of bars the price model wrote.
inline constexpr std::string_view kModelBarsComment = "# made by zt-sim's price model";

// A bar history's bars as the walk replays them: how many, their ticks in all, and the median of
// their ranges (high less low), the size of a typical bar. Zeros for a tick history.
struct BarSizes {
  std::int64_t bars = 0;
  std::int64_t ticks = 0;
  double typicalRange = 0.0;
};
// Reads the whole history once (throws as CountHistoryQuotes does).
BarSizes MeasureBars(const PriceHistoryOptions& options);

// Bars of the price model, as the 32-bit terminal's history centre exports them: the model's bids
// from its first quote over `ticks` ticks, one line per bar of barMinutes that saw a tick, under a
// comment that says the model made them (kModelBarsComment and the seed).
void WriteModelBars(const MarketStart& start, const PriceModelOptions& model, std::int64_t ticks,
                    int barMinutes, std::ostream& out);

}  // namespace zt::sim
