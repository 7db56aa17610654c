// Recorded histories as the lab's market: each bar and tick shape a terminal exports is told by its
// first line and read into the quotes the broker sent; a bad line is refused with its number and
// what was expected; the bundled bars are what their script makes; a deal list replays under the
// guard, whose stop loss cuts the trades open at that moment while a later trade happens as it did.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "market/price_history.h"
#include "market/text_file.h"
#include "market/utc_time.h"
#include "runs/single_run.h"
#include "sim_test_support.h"
#include "trading/deal_history.h"

namespace zt::sim {
namespace {

std::vector<Quote> ReadAll(const PriceHistoryOptions& options, HistoryFormat& format) {
  PriceHistoryReader reader(options);
  format = reader.format();
  std::vector<Quote> quotes;
  for (Quote quote{}; reader.Next(quote);) quotes.push_back(quote);
  return quotes;
}

std::vector<Quote> ReadFileAs(const testing::TempFolder& folder, const std::string& name,
                              const std::string& text, HistoryFormat& format,
                              DecimalMark decimal = DecimalMark::Auto) {
  testing::WriteFile(folder.File(name), text);
  PriceHistoryOptions options;
  options.path = folder.File(name);
  options.spreadPoints = 10.0;
  options.decimal = decimal;
  return ReadAll(options, format);
}

void ExpectQuote(const Quote& quote, const std::string& time, double bid, double ask,
                 const std::string& where) {
  EXPECT_EQ(FormatTime(quote.time), time) << where;
  EXPECT_NEAR(quote.bid, bid, 1e-9) << where;
  EXPECT_NEAR(quote.ask, ask, 1e-9) << where;
}

TEST(PriceHistory, EachShapeIsToldByItsFirstLineAndReadIntoQuotes) {
  testing::TempFolder folder;
  HistoryFormat format{};
  // Two hourly bars, walked in as many ticks as their volumes: each from its open to its close
  // through its high and low, never beyond them, on the bar's hour, at the given spread.
  const std::string barsCsv =
      "2024.01.02,00:00,1.10432,1.10511,1.10401,1.10477,1234\n"
      "2024.01.02,01:00,1.10477,1.10500,1.10300,1.10400,99\n";
  const std::vector<Quote> bars = ReadFileAs(folder, "a.csv", barsCsv, format);
  EXPECT_EQ(format, HistoryFormat::BarsCsv);
  ASSERT_EQ(bars.size(), 1234u + 99u);
  ExpectQuote(bars[0], "2024.01.02 00:00", 1.10432, 1.10442, "open");
  ExpectQuote(bars[1233], "2024.01.02 00:59", 1.10477, 1.10487, "close");
  ExpectQuote(bars[1234], "2024.01.02 01:00", 1.10477, 1.10487, "the second open");
  ExpectQuote(bars.back(), "2024.01.02 01:59", 1.10400, 1.10410, "the second close");
  const auto inside = [&](std::size_t from, std::size_t to, double high, double low) {
    double seenHigh = 0.0, seenLow = 1e9;
    for (std::size_t i = from; i < to; ++i) {
      seenHigh = std::max(seenHigh, bars[i].bid);
      seenLow = std::min(seenLow, bars[i].bid);
      EXPECT_NEAR(bars[i].ask - bars[i].bid, 0.0001, 1e-9);
      if (i > from) {
        EXPECT_GE(bars[i].time, bars[i - 1].time);
      }
    }
    EXPECT_NEAR(seenHigh, high, 1e-9);
    EXPECT_NEAR(seenLow, low, 1e-9);
  };
  inside(0, 1234, 1.10511, 1.10401);
  inside(1234, bars.size(), 1.10500, 1.10300);
  // The same file with tabs and a tab at each line's end reads the same.
  std::string tabs = barsCsv;
  for (char& c : tabs) c = c == ',' ? '\t' : c;
  for (std::size_t at = tabs.find('\n'); at != std::string::npos; at = tabs.find('\n', at + 2))
    tabs.insert(at, "\t");
  const std::vector<Quote> tabbed = ReadFileAs(folder, "b.csv", tabs, format);
  EXPECT_EQ(format, HistoryFormat::BarsCsv);
  ASSERT_EQ(tabbed.size(), bars.size());
  for (std::size_t i = 0; i < bars.size(); ++i)
    ExpectQuote(tabbed[i], FormatTime(bars[i].time), bars[i].bid, bars[i].ask, "tabbed");
  // The 64-bit terminal's bars (the spread in points from the file) and ticks (a side left empty
  // keeps its last value), and a plain tick list, with a decimal comma when told so.
  struct Expected {
    std::size_t index;
    const char* minute;
    std::int64_t second;  // of the minute
    double bid, ask;
    const char* what;
  };
  struct Shape {
    HistoryFormat format;
    std::size_t quotes;
    DecimalMark decimal;
    const char* text;
    std::vector<Expected> expected;
  };
  const char* barsTab =
      "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>\r\n"
      "2024.01.02\t00:00:00\t1.10432\t1.10511\t1.10401\t1.10477\t1234\t0\t3\r\n"
      "2024.01.02\t00:01:00\t1.10477\t1.10477\t1.10477\t1.10477\t1\t0\t5\r\n";
  const char* ticksTab =
      "<DATE>\t<TIME>\t<BID>\t<ASK>\t<LAST>\t<VOLUME>\t<FLAGS>\n"
      "2024.01.02\t00:00:00.120\t1.10432\t1.10440\t\t\t6\n"
      "2024.01.02\t00:00:00.480\t\t1.10445\t\t\t4\n"
      "2024.01.02\t00:00:01.000\t1.10436\t\t\t\t2\n";
  const char* commaTicks =
      "2024.01.02 00:00:05,\"1,10432\",\"1,10440\"\n2024.01.02 00:00:09,\"1,1043\",\"1,1044\"\n";
  const Shape shapes[] = {
      {HistoryFormat::BarsTab,
       1234 + 4,
       DecimalMark::Auto,
       barsTab,
       {{0, "2024.01.02 00:00", 0, 1.10432, 1.10435, "a minute bar's open, spread 3"},
        {1233, "2024.01.02 00:00", 59, 1.10477, 1.10480, "its close, 1234 ticks later"},
        {1234, "2024.01.02 00:01", 0, 1.10477, 1.10482, "a bar of one tick: four, spread 5"}}},
      {HistoryFormat::TicksTab,
       3,
       DecimalMark::Auto,
       ticksTab,
       {{1, "2024.01.02 00:00", 0, 1.10432, 1.10445, "ask changed alone"},
        {2, "2024.01.02 00:00", 1, 1.10436, 1.10445, "bid changed alone"}}},
      {HistoryFormat::TicksCsv,
       2,
       DecimalMark::Comma,
       commaTicks,
       {{1, "2024.01.02 00:00", 9, 1.1043, 1.1044, "decimal comma"}}},
  };
  for (const Shape& shape : shapes) {
    const std::vector<Quote> quotes =
        ReadFileAs(folder, "shape.csv", shape.text, format, shape.decimal);
    EXPECT_EQ(format, shape.format) << shape.text;
    ASSERT_EQ(quotes.size(), shape.quotes) << shape.text;
    for (const Expected& e : shape.expected) {
      ExpectQuote(quotes[e.index], e.minute, e.bid, e.ask, e.what);
      EXPECT_EQ(quotes[e.index].time % 60, e.second) << e.what;
    }
  }
}

TEST(PriceHistory, ABadLineIsRefusedWithItsNumberAndWhatWasExpected) {
  testing::TempFolder folder;
  const std::string good = "2024.01.02,00:00,1.1,1.2,1.0,1.1,1\n";
  struct Case {
    std::string text;
    std::string said;  // the message holds this
  };
  const std::vector<Case> cases = {
      {good + "2024.01.02,01:00,1e300,1.2,1.0,1.1,1\n",
       "line 2: expected as the open a price above 0"},
      {good + "\n2024.01.02,01:00,1.1,1.2,-1.0,1.1,1\n",
       "line 3: expected as the low a price above 0"},
      {good + "2024.01.02,01:00,1.1,nan,1.0,1.1,1\n",
       "line 2: expected as the high a number, not \"nan\""},
      {good + "2024.01.02,01:00,1.1,1.05,1.0,1.1,1\n",
       "line 2: expected a high at or above the open and close"},
      {good + "2024.01.01,23:00,1.1,1.2,1.0,1.1,1\n",
       "line 2: expected a bar later than the one before"},
      {good + "2024.01.02,01:00,\"1,1\",1.2,1.0,1.1,1\n",
       "line 2: expected as the open a number with a decimal point, not \"1,1\" (for a decimal "
       "comma: --decimal comma)"},
      {good + "2024.01.02,01:00,1.1,1.2,1.0\n", "line 2: expected 7 fields"},
      {"time|bid|ask\n", "line 1: expected a row of date, time, open"},
      {"<DATE>\t<TIME>\t<BID>\t<ASK>\t<LAST>\t<VOLUME>\t<FLAGS>\n2024.01.02\t00:00:00\t\t1."
       "1\t\t\t2\n",
       "line 2: expected a bid and an ask"},
  };
  for (const Case& c : cases) {
    testing::WriteFile(folder.File("bad.csv"), c.text);
    PriceHistoryOptions options;
    options.path = folder.File("bad.csv");
    try {
      CountHistoryQuotes(options);
      ADD_FAILURE() << "read without a word: " << c.text;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(options.path + " " + c.said), std::string::npos)
          << error.what() << "\nwanted: " << c.said;
    }
  }
  const std::string header =
      "open time,close time,symbol,type,lots,open price,close price,profit\n";
  const std::string deal =
      "2024.01.03 09:00,2024.01.04 15:00,EURUSD,buy,0.10,1.08624,1.07845,-78.60\n";
  const std::vector<Case> deals = {
      {header + deal + "2024.01.03 09:00,2024.01.04 15:00,EURUSD,buy,1e300,1.08,1.07,-7\n",
       "line 3: expected as the lots a number above 0 and below 10000"},
      {header + "\n" + deal + "2024.01.03 09:00,2024.01.04 15:00,EURUSD,long,0.1,1.08,1.07,-7\n",
       "line 4: expected as the type buy or sell"},
      {header + deal + "2024.01.03 09:00,2024.01.04 15:00,GBPUSD,buy,0.1,1.08,1.07,-7\n",
       "line 3: expected the symbol EURUSD of the trades above, not GBPUSD"},
      {deal, "line 1: expected the header open time,close time"},
  };
  for (const Case& c : deals) {
    testing::WriteFile(folder.File("deals.csv"), c.text);
    try {
      ReadDealHistory(folder.File("deals.csv"), DecimalMark::Auto);
      ADD_FAILURE() << "read without a word: " << c.text;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(folder.File("deals.csv") + " " + c.said),
                std::string::npos)
          << error.what() << "\nwanted: " << c.said;
    }
  }
}

// The bytes of units in UTF-16 after its byte-order mark, little- or big-endian.
std::string Utf16(std::u16string_view units, bool little) {
  std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
  for (const char16_t unit : units) {
    const auto low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += little ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

// The 64-bit terminal saves its exports in UTF-16: each byte order reads as the same text in UTF-8
// (bars into the same quotes), and broken UTF-16 is refused with its line.
TEST(TextFile, Utf16ReadsAsItsUtf8TwinAndBrokenUtf16IsRefused) {
  testing::TempFolder folder;
  const std::string bars =
      "2024.01.02,00:00,1.1,1.2,1.0,1.1,1\r\n2024.01.02,01:00,1.1,1.15,1.05,1.12,1\r\n";
  const std::string beyondAscii =
      "# 1,10 \xE2\x82\xAC \xF0\x9F\x98\x80\n";  // a euro sign, an emoji
  const std::pair<std::u16string, std::string> twins[] = {
      {std::u16string(bars.begin(), bars.end()), bars},
      {u"# 1,10 \u20AC \U0001F600\n", beyondAscii}};
  HistoryFormat format{};
  const std::vector<Quote> narrow = ReadFileAs(folder, "bars.csv", bars, format);
  for (const bool little : {true, false}) {
    for (const auto& [wide, utf8] : twins) {
      testing::WriteFile(folder.File("wide.csv"), Utf16(wide, little));
      TextFileLines lines(folder.File("wide.csv"));
      std::string read;
      for (std::string_view line; lines.Next(line);) read += line;
      EXPECT_EQ(read, utf8) << (little ? "little" : "big") << "-endian";
    }
    const std::vector<Quote> quotes =
        ReadFileAs(folder, "wide.csv", Utf16(twins[0].first, little), format);
    ASSERT_EQ(quotes.size(), narrow.size());
    for (std::size_t i = 0; i < quotes.size(); ++i) {
      ExpectQuote(quotes[i], FormatTime(narrow[i].time), narrow[i].bid, narrow[i].ask,
                  std::to_string(i));
    }
  }
  const std::u16string row =
      std::u16string(bars.begin(), bars.begin() + 36);  // the first row and its feed
  const std::pair<std::string, std::string> broken[] = {
      {Utf16(row, true) + "2", "line 2: expected UTF-16 text, whole pairs of bytes"},
      {Utf16(row + char16_t{0xD83D}, false),
       "line 2: expected UTF-16 text, a low surrogate after the high surrogate D83D, not the "
       "file's end"},
      {Utf16(row + char16_t{0xD83D} + u"2", true),
       "line 2: expected UTF-16 text, a low surrogate (DC00 to DFFF) after the high surrogate "
       "D83D, not 0032"},
      {Utf16(char16_t{0xDE00} + row, true),
       "line 1: expected UTF-16 text, no low surrogate DE00 without"},
  };
  for (const auto& [bytes, said] : broken) {
    testing::WriteFile(folder.File("broken.csv"), bytes);
    PriceHistoryOptions options;
    options.path = folder.File("broken.csv");
    try {
      CountHistoryQuotes(options);
      ADD_FAILURE() << "read without a word: " << said;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(options.path + " " + said), std::string::npos)
          << error.what();
    }
  }
}

TEST(PriceHistory, TheBundledBarsAreWhatTheirScriptMakesNow) {
  testing::TempFolder folder;
  const std::string tools = std::string(ZT_SIM_SAMPLES) + "/../tools/sim";
  const std::string command = "bash '" + tools + "/make-bar-history.sh' '" + ZT_SIM_PROGRAM +
                              "' '" + folder.File("bars.csv") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string made = testing::ReadFile(folder.File("bars.csv"));
  EXPECT_GT(made.size(), 100000u);
  EXPECT_TRUE(made == testing::ReadFile(tools + "/samples/EURUSD_H1.csv"))
      << "tools/sim/samples/EURUSD_H1.csv is not what make-bar-history.sh makes now: run it again";
}

// Hourly bars from Monday 2024.01.08 00:00, flat at each price in turn: at 02:00 the bar falls from
// 1.10 to 1.09 within the hour.
std::string FallingBars() {
  const char* rows[] = {
      "00:00,1.10000,1.10000,1.10000,1.10000", "01:00,1.10000,1.10000,1.10000,1.10000",
      "02:00,1.10000,1.10000,1.09000,1.09000", "03:00,1.09000,1.09000,1.09000,1.09000",
      "04:00,1.09500,1.09500,1.09500,1.09500", "05:00,1.09500,1.09500,1.09500,1.09500",
      "06:00,1.10500,1.10500,1.10500,1.10500", "07:00,1.10000,1.10000,1.10000,1.10000",
      "08:00,1.10000,1.10000,1.10000,1.10000"};
  std::string text;
  for (const char* row : rows) text += std::string("2024.01.08,") + row + ",1\n";
  return text;
}

TEST(DealReplay, AGuardStopLossCutsTheTwoOpenTradesAndALaterTradeHappensAsRecorded) {
  testing::TempFolder folder;
  testing::WriteFile(folder.File("bars.csv"), FallingBars());
  // Two buys of a lot at 1.10 that recovered to close at 1.105, and a buy at 1.095 after the fall.
  testing::WriteFile(folder.File("deals.csv"),
                     "open time,close time,symbol,type,lots,open price,close price,profit\n"
                     "2024.01.08 00:00,2024.01.08 06:00,EURUSD,buy,1.00,1.10000,1.10500,500.00\n"
                     "2024.01.08 01:00,2024.01.08 06:00,EURUSD,buy,1.00,1.10000,1.10500,500.00\n"
                     "2024.01.08 04:00,2024.01.08 07:00,EURUSD,buy,1.00,1.09500,1.10000,500.00\n");
  const SimResult result = Simulate(testing::CommandLineOptions(
      {"--history", folder.File("bars.csv"), "--deals", folder.File("deals.csv"), "--spread", "0",
       "--take-profits", "100000", "--drawdown-targets", "", "--increase-targets", "",
       "--stop-losses", "1500"}));
  const HostRun& run = result.run;
  EXPECT_EQ(run.ticks, 9 * 4 - 1);
  // The fall to 1.09 takes the two open buys 2000 down: the stop loss closes both there.
  ASSERT_EQ(run.cycles.size(), 1u);
  EXPECT_TRUE(run.cycles[0].stopLoss);
  EXPECT_NEAR(run.cycles[0].equityLeft, 8000.0, 0.005);
  EXPECT_EQ(FormatTime(run.cycles[0].closeTime), "2024.01.08 02:30");
  // The later buy opens at 04:00 as recorded and floats with the price: 1000 up at 06:00.
  const auto at = [](const std::vector<EquityPoint>& curve, const std::string& time) {
    double equity = 0.0;
    for (const EquityPoint& point : curve) {
      if (FormatTime(point.time) == time) equity = point.equity;
    }
    return equity;
  };
  EXPECT_NEAR(at(run.equity, "2024.01.08 06:00"), 9000.0, 0.005);
  // ...and closes at 07:00 with its recorded profit; the cut buys' recorded closes never happen.
  EXPECT_NEAR(run.equity.back().equity, 8500.0, 0.005);
  // Without the guard every trade happens as recorded.
  EXPECT_NEAR(at(run.unguarded, "2024.01.08 02:30"), 8000.0, 0.005);
  EXPECT_NEAR(run.unguarded.back().equity, 11500.0, 0.005);
}

}  // namespace
}  // namespace zt::sim
