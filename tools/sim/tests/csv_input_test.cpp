#include "market/csv_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include <stdexcept>

#include "sim_test_support.h"

namespace zt::sim {
namespace {

TEST(ParseTime, ReadsTheUsualWaysOfWritingATime) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> time;
  };
  const Case cases[] = {
      {"2011.07.13 09:39", 1310549940},
      {"2011.07.13 09:39:05", 1310549945},
      {"2011-07-13 09:39:05", 1310549945},
      {"2011-07-13T09:39:05Z", 1310549945},
      {"2011-07-13T09:39:05.250", 1310549945},
      {"2011/07/13", 1310515200},
      {" \"2011.07.13 09:39\" ", 1310549940},
      {"1310549945", 1310549945},
      {"1970.01.01 00:00", 0},
      {"2000.02.29 12:00", 951825600},
      {"1969.12.31 23:59", -60},
      {"", std::nullopt},
      {"yesterday", std::nullopt},
      {"2011.13.01", std::nullopt},
      {"2011.07.13 25:00", std::nullopt},
      {"2011.07.13 09:60", std::nullopt},
      {"2011.07.13 09:39 PM", std::nullopt},
      {"2011.7.13", std::nullopt},
      {"-5", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseTime(c.text), c.time) << c.text;
}

TEST(ParseTime, ReadsOffsetsMillisecondsAndDatesThatEndInTheYear) {
  EXPECT_EQ(ParseTime("2011-07-13T11:39:05+02:00"), 1310549945);
  EXPECT_EQ(ParseTime("2011-07-13T04:09:05-0530"), 1310549945);
  EXPECT_EQ(ParseTime("1310549945250"), 1310549945);  // milliseconds
  EXPECT_EQ(ParseTime("2011-07-13T09:39:05+2"), std::nullopt);
  EXPECT_EQ(ParseTime("13.07.2011 09:39:05", DateOrder::DayFirst), 1310549945);
  EXPECT_EQ(ParseTime("07/13/2011 09:39:05", DateOrder::MonthFirst), 1310549945);
  EXPECT_EQ(ParseTime("13.07.2011 09:39:05"), std::nullopt);  // year first unless told
  EXPECT_EQ(ParseTime("07/13/2011", DateOrder::DayFirst), std::nullopt);
}

TEST(FormatTime, WritesTheTerminalsForm) {
  struct Case {
    std::int64_t time;
    const char* text;
  };
  const Case cases[] = {
      {0, "1970.01.01 00:00"},   {1310549945, "2011.07.13 09:39"}, {951825600, "2000.02.29 12:00"},
      {-60, "1969.12.31 23:59"}, {1704153600, "2024.01.02 00:00"}, {4102444799, "2099.12.31 23:59"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatTime(c.time), c.text);
    EXPECT_EQ(ParseTime(c.text), c.time - (c.time % 60 + 60) % 60);  // the text keeps whole minutes
  }
}

TEST(ParseAccountCsv, FindsTheColumnsByTheirUsualNames) {
  struct Case {
    const char* name;
    const char* text;
    char delimiter;
    double margin;
    double freeMargin;
  };
  const Case cases[] = {
      {"plain", "Time,Equity,Margin,Free Margin\n2024.01.02 10:00,1000.5,100,900.5\n", ',', 100,
       900.5},
      {"other order, other spelling",
       "free_margin;EQUITY;date;margin\n900.5;1000.5;2024.01.02 10:00;100\n", ';', 100, 900.5},
      {"terminal export, tabs, no margin",
       "<DATE>\t<BALANCE>\t<EQUITY>\t<DEPOSIT LOAD>\n2024.01.02 10:00\t990\t1000.5\t3.2\n", '\t', 0,
       1000.5},
      {"margin but no free margin", "timestamp,equity,margin\r\n1704189600,1000.5,100\r\n", ',',
       100, 900.5},
  };
  for (const Case& c : cases) {
    const CsvTable table = ParseAccountCsv(c.text, {});
    ASSERT_EQ(table.rows.size(), 1u) << c.name;
    EXPECT_TRUE(table.problems.empty()) << c.name;
    EXPECT_EQ(table.delimiter, c.delimiter) << c.name;
    EXPECT_EQ(table.rows[0].time, 1704189600) << c.name;
    EXPECT_DOUBLE_EQ(table.rows[0].equity, 1000.5) << c.name;
    EXPECT_DOUBLE_EQ(table.rows[0].margin, c.margin) << c.name;
    EXPECT_DOUBLE_EQ(table.rows[0].freeMargin, c.freeMargin) << c.name;
  }
}

TEST(ParseAccountCsv, ReadsTheExportsTradersHave) {
  struct Case {
    std::string name, text;
    CsvFormat format;
  };
  const Case cases[] = {
      {"rows quoted whole", "\"Time,Equity\"\n\"2024.01.02 10:00,1000.5\"\n", {}},
      {"quoted fields, comma decimals",
       "Time;Equity;Margin\n\"2024.01.02 10:00\";\"1000,5\";\"0,5\"\n",
       {}},
      {"comma decimals chosen",
       "Time,Equity\n2024.01.02 10:00,\"1000,5\"\n",
       {DateOrder::Auto, DecimalMark::Comma}},
      {"date and time columns", "Date,Time,Equity\n2024.01.02,10:00,1000.5\n", {}},
      {"day first", "Date\tTime\tEquity\n02.01.2024\t10:00\t1000,5\n13.01.2024\t10:00\t1000\n", {}},
      {"month first", "Time,Equity\n01/02/2024 10:00,1000.5\n01/13/2024 10:00,1000\n", {}},
      {"day first chosen",
       "Time,Equity\n02.01.2024 10:00,1000.5\n",
       {DateOrder::DayFirst, DecimalMark::Auto}},
      {"milliseconds", "timestamp,equity\n1704189600000,1000.5\n", {}},
      {"offset", "time,equity\n2024-01-02T12:00:00+02:00,1000.5\n", {}},
  };
  for (const Case& c : cases) {
    const CsvTable table = ParseAccountCsv(c.text, {}, c.format);
    ASSERT_GE(table.rows.size(), 1u) << c.name;
    EXPECT_TRUE(table.problems.empty() && table.errors.empty()) << c.name;
    EXPECT_EQ(table.rows[0].time, 1704189600) << c.name;
    EXPECT_DOUBLE_EQ(table.rows[0].equity, 1000.5) << c.name;
  }
  // 01/02 and 02/01 alone cannot tell the order.
  try {
    ParseAccountCsv("Time,Equity\n01/02/2024 10:00,1000\n02/01/2024 10:00,1000\n", {});
    ADD_FAILURE() << "no error";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("--date-order"), std::string::npos) << error.what();
  }
}

TEST(ParseAccountCsv, RowsBackInTimeOrWithoutEquityAreErrorsWithTheirLines) {
  const CsvTable table = ParseAccountCsv(
      "time,equity\n2024.01.02 10:00,1000\n2024.01.02 10:02,1001\n"
      "2024.01.02 10:01,1002\n2024.01.02 10:03,0\n2024.01.02 10:03,5\n",
      {});
  ASSERT_EQ(table.errors.size(), 2u);
  EXPECT_EQ(table.errors[0].line, 4);
  EXPECT_EQ(table.errors[0].message,
            "time 2024.01.02 10:01 is before the row of line 3 (2024.01.02 10:02)");
  EXPECT_EQ(table.errors[1].line, 5);
  EXPECT_EQ(table.errors[1].message, "equity 0 is not above 0");
}

TEST(ParseAccountCsv, FiguresNoAccountHasAreRefusedWithTheirLines) {
  const CsvTable table = ParseAccountCsv(
      "time,equity,margin,free margin\n"
      "2024.01.02 10:00,1000,100,900\n"
      "2024.01.02 10:01,1e300,100,900\n"    // line 3
      "2024.01.02 10:02,-5,100,-105\n"      // line 4
      "2024.01.02 10:03,1000,-100,1100\n"   // line 5
      "2024.01.02 10:04,1000,100,-1e300\n"  // line 6
      "2024.01.02 10:05,inf,100,900\n"      // line 7: skipped
      "2024.01.02 10:06,NaN,100,900\n"      // line 8: skipped
      "2024.01.02 10:07,1000000000000,0,-1000000000000\n",
      {});
  struct Expected {
    int line;
    const char* message;
  };
  const Expected errors[] = {
      {3, "equity 1e300 is no amount an account has (expected above 0 and at most 1e12)"},
      {4, "equity -5 is not above 0"},
      {5, "margin -100 is no amount an account has (expected 0 to 1e12)"},
      {6, "free margin -1e300 is no amount an account has (expected -1e12 to 1e12)"}};
  ASSERT_EQ(table.errors.size(), std::size(errors));
  for (std::size_t i = 0; i < std::size(errors); ++i) {
    EXPECT_EQ(table.errors[i].line, errors[i].line);
    EXPECT_EQ(table.errors[i].message, errors[i].message);
  }
  ASSERT_EQ(table.problems.size(), 2u);
  EXPECT_EQ(table.problems[0].line, 7);
  EXPECT_EQ(table.problems[0].message, "equity \"inf\" is not a number");
  EXPECT_EQ(table.problems[1].line, 8);
  // A trillion is still an account's amount.
  EXPECT_DOUBLE_EQ(table.rows.back().equity, 1e12);
}

TEST(ParseAccountCsv, ATabSeparatedRowEndingInAnEmptyFieldReadsAsWithCommas) {
  const std::string commas =
      "time,equity,note\n2024.01.02 10:00,1000,\n2024.01.02 10:01,1001,\n"
      "2024.01.02 10:02,1002\n";
  std::string tabs = commas;
  std::replace(tabs.begin(), tabs.end(), ',', '\t');
  const CsvTable withCommas = ParseAccountCsv(commas, {});
  const CsvTable withTabs = ParseAccountCsv(tabs, {});
  EXPECT_EQ(withTabs.delimiter, '\t');
  ASSERT_EQ(withCommas.rows.size(), 2u);
  ASSERT_EQ(withTabs.rows.size(), 2u);
  EXPECT_DOUBLE_EQ(withTabs.rows[1].equity, 1001.0);
  ASSERT_EQ(withTabs.problems.size(), 1u);
  EXPECT_EQ(withTabs.problems[0].line, withCommas.problems.at(0).line);
  EXPECT_EQ(withTabs.problems[0].message, withCommas.problems[0].message);
}

TEST(ParseAccountCsv, AQuotedDecimalCommaPointsToTheOption) {
  const std::string text = "time,equity\n2024.01.02 10:00,\"1234,56\"\n";
  const CsvTable plain = ParseAccountCsv(text, {});
  ASSERT_EQ(plain.problems.size(), 1u);
  EXPECT_EQ(plain.problems[0].message,
            "equity \"1234,56\" is not a number (for a decimal comma: --decimal comma)");
  const CsvTable comma = ParseAccountCsv(text, {}, CsvFormat{DateOrder::Auto, DecimalMark::Comma});
  ASSERT_EQ(comma.rows.size(), 1u);
  EXPECT_DOUBLE_EQ(comma.rows[0].equity, 1234.56);
}

TEST(ParseAccountCsv, SkipsAndReportsBadRows) {
  const char* text =
      "# an account recording\n"
      "time,equity,margin,free margin\n"
      "2024.01.02 10:00,1000,100,900\n"
      "\n"
      "2024.01.02 10:01,1001,100\n"        // line 5: a field missing
      "2024.01.02 10:02,abc,100,900\n"     // line 6
      "2024.01.02 10:03,1003,100,nan\n"    // line 7
      "sometime,1004,100,904\n"            // line 8
      "2024.01.02 10:05,1005,1e400,905\n"  // line 9: out of range
      "# a comment between rows\n"
      "2024.01.02 10:06,+1006.25,100,906.25\n"
      "2024.01.02 10:07,1007,100,907,8\n";  // line 12: a field too many
  const CsvTable table = ParseAccountCsv(text, {});
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_DOUBLE_EQ(table.rows[0].equity, 1000.0);
  EXPECT_DOUBLE_EQ(table.rows[1].equity, 1006.25);
  EXPECT_EQ(table.rows[1].time - table.rows[0].time, 360);
  struct Expected {
    int line;
    const char* starts;
  };
  const Expected expected[] = {
      {5, "3 fields"},          {6, "equity \"abc\""},   {7, "free margin \"nan\""},
      {8, "time \"sometime\""}, {9, "margin \"1e400\""}, {12, "5 fields"}};
  ASSERT_EQ(table.problems.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(table.problems[i].line, expected[i].line);
    EXPECT_EQ(table.problems[i].message.rfind(expected[i].starts, 0), 0u)
        << table.problems[i].message;
  }
}

TEST(ParseAccountCsv, AMappingNamesColumnsByNameOrNumber) {
  const char* text = "When,Acct Equity,Used,Free\n2024.01.02 10:00,1000,100,900\n";
  EXPECT_THROW(ParseAccountCsv(text, {}), std::invalid_argument);  // no time or equity column
  const CsvTable byName =
      ParseAccountCsv(text, ParseColumnMapping("time=When, equity=acct equity, margin=Used"));
  ASSERT_EQ(byName.rows.size(), 1u);
  EXPECT_DOUBLE_EQ(byName.rows[0].equity, 1000.0);
  EXPECT_DOUBLE_EQ(byName.rows[0].margin, 100.0);
  EXPECT_DOUBLE_EQ(byName.rows[0].freeMargin, 900.0);  // "Free" is a usual name
  const CsvTable byNumber = ParseAccountCsv(text, ParseColumnMapping("time=#1,equity=#4,free=#2"));
  ASSERT_EQ(byNumber.rows.size(), 1u);
  EXPECT_DOUBLE_EQ(byNumber.rows[0].equity, 900.0);
  EXPECT_DOUBLE_EQ(byNumber.rows[0].freeMargin, 1000.0);

  EXPECT_THROW(ParseAccountCsv(text, ParseColumnMapping("time=When,equity=Balance")),
               std::invalid_argument);
  EXPECT_THROW(ParseAccountCsv(text, ParseColumnMapping("time=#0,equity=#2")),
               std::invalid_argument);
  EXPECT_THROW(ParseAccountCsv(text, ParseColumnMapping("time=#5,equity=#2")),
               std::invalid_argument);
}

TEST(ParseColumnMapping, RefusesWhatIsNoMapping) {
  for (const char* text : {"equity", "balance=Balance", "time=", "time=A,=B"}) {
    EXPECT_THROW(ParseColumnMapping(text), std::invalid_argument) << text;
  }
  const ColumnMapping mapping = ParseColumnMapping(" free margin = Free , time=#1,");
  EXPECT_EQ(mapping.freeMargin, "Free");
  EXPECT_EQ(mapping.time, "#1");
  EXPECT_TRUE(mapping.equity.empty());
}

TEST(ParseAccountCsv, AFileWithoutAHeaderIsRefused) {
  EXPECT_THROW(ParseAccountCsv("", {}), std::invalid_argument);
  EXPECT_THROW(ParseAccountCsv("# only a comment\n\n", {}), std::invalid_argument);
}

TEST(ReadAccountCsv, ReadsTheTerminalsUtf16Export) {
  testing::TempFolder folder;
  const std::string narrow =
      "<DATE>\t<EQUITY>\r\n2024.01.02 10:00\t1000.50\r\n2024.01.02 10:01\t999.25\r\n";
  std::string wide = "\xFF\xFE";
  for (const char c : narrow) {
    wide += c;
    wide += '\0';
  }
  testing::WriteFile(folder.File("history.csv"), wide);
  const CsvTable table = ReadAccountCsv(folder.File("history.csv"), {});
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_DOUBLE_EQ(table.rows[1].equity, 999.25);
  EXPECT_THROW(ReadAccountCsv(folder.File("missing.csv"), {}), std::runtime_error);
}

TEST(ParseAccountCsv, FiguresReadAsTheStandardLibraryReadsThem) {
  // Every way a figure may be written, and many plain decimals, against std::from_chars.
  std::vector<std::string> figures = {"0",
                                      "-0",
                                      "0.1",
                                      ".5",
                                      "5.",
                                      "123456789012345",
                                      "1234567890123456",
                                      "99999999999999.9",
                                      "0.000000000000001",
                                      "1e3",
                                      "-2.5E-2",
                                      "0001.10",
                                      "18446744073709551615",
                                      "3.14159265358979",
                                      "-7.000000000000001"};
  std::uint64_t state = 99;
  for (int i = 0; i < 3000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const auto digits = std::to_string(state >> (20 + state % 40));
    const std::size_t point = state % (digits.size() + 1);
    figures.push_back((i % 3 == 0 ? "-" : "") + digits.substr(0, point) + "." +
                      digits.substr(point));
  }
  std::string text = "time,equity,margin\n";
  for (std::size_t i = 0; i < figures.size(); ++i)
    text += std::to_string(1704153600 + i) + ",5," + figures[i] + "\n";
  const CsvTable table = ParseAccountCsv(text, {});
  ASSERT_EQ(table.rows.size(), figures.size())
      << (table.problems.empty() ? "" : table.problems[0].message);
  for (std::size_t i = 0; i < figures.size(); ++i) {
    double expected = 0.0;
    std::from_chars(figures[i].data(), figures[i].data() + figures[i].size(), expected);
    EXPECT_EQ(std::memcmp(&table.rows[i].margin, &expected, sizeof expected), 0) << figures[i];
  }
}

TEST(CsvRows, AFileReadPieceByPieceGivesTheRowsOfTheWholeText) {
  // Long enough to be read in several pieces, in UTF-16 too, with comments, a bad row and CRLF.
  std::string text = "# exported\r\nTime;Equity;Margin\r\n";
  for (int i = 0; i < 40000; ++i) {
    text += "2024.01.02 " + std::to_string(10 + i / 3600 % 10) + ":" +
            std::to_string(10 + i / 60 % 50) + ";" + std::to_string(1000 + i % 977) + "," +
            std::to_string(i % 100) + ";300\r\n";
    if (i % 9973 == 0) text += "# a note\r\n2024.01.02 10:00;lots;300\r\n";
  }
  const CsvTable whole = ParseAccountCsv(text, {});
  ASSERT_GT(whole.rows.size(), 40000u - 1);
  ASSERT_FALSE(whole.problems.empty());
  std::string wide = "\xFF\xFE";
  for (const char c : text) wide += std::string{c, '\0'};
  testing::TempFolder folder;
  testing::WriteFile(folder.File("narrow.csv"), text);
  testing::WriteFile(folder.File("wide.csv"), wide);
  for (const char* name : {"narrow.csv", "wide.csv"}) {
    const CsvTable read = ReadAccountCsv(folder.File(name), {});
    CsvRows rows(folder.File(name), {});
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<CsvProblem> problems;
      std::size_t count = 0;
      AccountFigures figures{};
      CsvRowSource source{};
      while (rows.Next(figures, source, &problems)) {
        ASSERT_LT(count, whole.rows.size()) << name;
        ASSERT_EQ(figures.time, whole.rows[count].time) << name << " row " << count;
        ASSERT_EQ(figures.equity, whole.rows[count].equity) << name << " row " << count;
        ASSERT_EQ(source.line, whole.sources[count].line) << name << " row " << count;
        ASSERT_EQ(source.digest, whole.sources[count].digest) << name << " row " << count;
        ++count;
      }
      EXPECT_EQ(count, whole.rows.size()) << name;
      EXPECT_EQ(problems.size(), whole.problems.size()) << name;
      rows.Rewind();
    }
    EXPECT_EQ(read.rows.size(), whole.rows.size()) << name;
    EXPECT_EQ(read.sources.back().digest, whole.sources.back().digest) << name;
  }
}

}  // namespace
}  // namespace zt::sim
