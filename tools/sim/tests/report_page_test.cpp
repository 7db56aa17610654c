// The report page against the JSON of the same run: every figure the page's tables show must be
// the one --json writes, in the row of the ladder the JSON names, and every ladder must be there.
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "report/report_page.h"
#include "sim_test_support.h"
#include "trading/strategy_table.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;

struct ShownFigure {
  std::string row, pointer, unit, text;
};

// Every figure cell of the page's tables, with the name of its row.
std::vector<ShownFigure> ShownFigures(const std::string& html) {
  static const std::regex row(R"re(<tr[^>]*data-name="([^"]*)"[^>]*>([\s\S]*?)</tr>)re");
  static const std::regex cell(
      R"re(<td[^>]*data-json="([^"]*)" data-unit="([a-z]+)"[^>]*>([^<]*)</td>)re");
  std::vector<ShownFigure> figures;
  for (auto r = std::sregex_iterator(html.begin(), html.end(), row); r != std::sregex_iterator();
       ++r) {
    const std::string cells = (*r)[2];
    for (auto c = std::sregex_iterator(cells.begin(), cells.end(), cell);
         c != std::sregex_iterator(); ++c) {
      figures.push_back({(*r)[1], (*c)[1], (*c)[2], (*c)[3]});
    }
  }
  return figures;
}

// The page's text of a figure read back as a number in the JSON's unit, and how close it must be.
void ExpectSame(const ShownFigure& shown, const Json& value) {
  SCOPED_TRACE(shown.row + " " + shown.pointer + " shown as " + shown.text);
  if (value.is_null()) {
    EXPECT_EQ(shown.text, "-");
    return;
  }
  ASSERT_TRUE(value.is_number());
  const double read = std::strtod(shown.text.c_str(), nullptr);
  const double json = value.get<double>();
  // The JSON's value written the page's way: whole cents as money, a share as a whole percentage,
  // a ratio with two decimals, days with one, a count whole.
  const double tolerance = shown.unit == "ratio" ? 0.005 : shown.unit == "days" ? 0.05 : 0.0;
  const double expected = shown.unit == "cents"   ? json / 100.0
                          : shown.unit == "share" ? std::round(json * 100.0)
                                                  : json;
  EXPECT_NEAR(read, expected, tolerance + 1e-9) << shown.unit;
}

TEST(ReportPage, ItsTablesShowTheJsonsFiguresForEveryLadder) {
  const std::string grid =
      " --market model --strategy grid --grid-lots 0.1 --grid-multiplier 2 --grid-levels 10"
      " --grid-step 100 --ticks 1500 --no-progress";
  const std::string ladders =
      " --ladder 'tight=60,40|30,60||100' --ladder 'wide=300,200|150,300||600'";
  const struct {
    const char* name;
    std::string arguments;
    std::size_t rows;  // ladders and no guard
  } runs[] = {
      {"one ladder",
       grid + " --take-profits 60 --drawdown-targets '' --increase-targets '' --stop-losses 40", 2},
      {"ladders", grid + ladders, 3},
      {"many runs", grid + ladders + " --runs 3", 3},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    const testing::TempFolder folder;
    const std::string command = std::string(ZT_SIM_PROGRAM) + run.arguments + " --json " +
                                folder.File("run.json") + " --report " + folder.File("page.html") +
                                " > " + folder.File("out.txt") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << testing::ReadFile(folder.File("out.txt"));
    const Json json = Json::parse(testing::ReadFile(folder.File("run.json")));
    const std::vector<ShownFigure> shown =
        ShownFigures(testing::ReadFile(folder.File("page.html")));
    std::set<std::string> rows;
    std::size_t compared = 0;
    for (const ShownFigure& figure : shown) {
      rows.insert(figure.row);
      if (figure.pointer.empty()) continue;
      const Json::json_pointer at(figure.pointer);
      ASSERT_TRUE(json.contains(at)) << figure.pointer;
      ExpectSame(figure, json.at(at));
      ++compared;
      // A ladder's figures stand in the JSON entry that bears its name.
      std::smatch entry;
      if (std::regex_search(figure.pointer, entry, std::regex("^/ladders/[0-9]+"))) {
        EXPECT_EQ(json.at(Json::json_pointer(entry.str())).at("name"), figure.row)
            << figure.pointer;
      }
    }
    EXPECT_EQ(rows.size(), run.rows);
    EXPECT_GE(compared, (run.rows - 1) * 8);  // at least eight figures a ladder
  }
}

// Every strategy of the table: each of its options stands in the JSON's inputs and in the page's
// "strategy" line with the value the run took; no other strategy's option stands on the page.
TEST(ReportPage, EveryStrategysOptionsStandInTheJsonAndOnThePage) {
  for (const StrategyRow& row : StrategyTable()) {
    SCOPED_TRACE(row.name);
    const testing::TempFolder folder;
    const std::string command = std::string(ZT_SIM_PROGRAM) + " --market model --strategy " +
                                row.name + " --ticks 200 --quiet --no-progress --json " +
                                folder.File("run.json") + " --report " + folder.File("page.html") +
                                " > " + folder.File("out.txt") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << testing::ReadFile(folder.File("out.txt"));
    const Json inputs = Json::parse(testing::ReadFile(folder.File("run.json"))).at("inputs");
    const std::string page = testing::ReadFile(folder.File("page.html"));
    const std::size_t at = page.find("<dt>strategy</dt><dd>" + row.name + ": ");
    ASSERT_NE(at, std::string::npos);
    const std::string line = page.substr(at, page.find("</dd>", at) - at);
    for (const StrategyOption& option : row.options) {
      const std::string name = row.prefix + option.name;
      ASSERT_TRUE(inputs.contains(name)) << name;
      EXPECT_NE(line.find(name + " " + inputs.at(name).get<std::string>()), std::string::npos)
          << name << " in " << line;
    }
    EXPECT_NE(line.find("reentry-delay 0"), std::string::npos) << line;
    const std::size_t facts = page.find("<dl class=\"facts\">");
    const std::string whatWasRun = page.substr(facts, page.find("</dl>", facts) - facts);
    for (const StrategyRow& other : StrategyTable()) {
      if (other.name == row.name) continue;
      EXPECT_EQ(whatWasRun.find(other.prefix), std::string::npos) << other.prefix;
    }
  }
}

}  // namespace
}  // namespace zt::sim
