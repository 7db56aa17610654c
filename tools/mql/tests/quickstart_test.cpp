// The quick start a trader reads first (docs/QUICKSTART.txt, Zentravo\QUICKSTART.txt in the zip).
// Its worked example promises amounts of money; this test reads them out of the text and runs the
// 32-bit EA over the real zentravo.so with the example's account and inputs, one claim at a time,
// so a change of the text or of the library that makes them disagree fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "guard_steps.h"
#include "zentravo_guard_mq4.h"

namespace {

std::string quickStart() {
  std::ifstream in(ZT_QUICKSTART, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// "10,030.00" as 10030.
double amount(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c != ',') digits += c;
  return std::stod(digits);
}

// The worked example: from "Worked example." to the next empty line, its lines joined by one blank.
struct Example {
  std::string text;
  double account = 0;
  std::string takeProfits, drawdownTargets, increaseTargets, stopLosses;

  // The amounts after the pattern's groups, in order; the test fails when the text no longer
  // says it.
  std::vector<double> says(const std::string& pattern) const {
    std::smatch m;
    const std::regex number_pattern(
        std::regex_replace(pattern, std::regex("#"), "([0-9][0-9,]*\\.[0-9]{2})"));
    std::vector<double> found;
    if (!std::regex_search(text, m, number_pattern)) {
      ADD_FAILURE() << "the worked example no longer says: " << pattern << "\n" << text;
      return std::vector<double>(8, 0.0);
    }
    for (size_t i = 1; i < m.size(); ++i) found.push_back(amount(m[i]));
    return found;
  }
};

Example readExample() {
  const std::string all = quickStart();
  Example e;
  const size_t from = all.find("Worked example.");
  if (from == std::string::npos) {
    ADD_FAILURE() << "no worked example in " << ZT_QUICKSTART;
    return e;
  }
  std::istringstream lines(all.substr(from));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    std::smatch m;
    if (std::regex_match(line, m, std::regex(R"(\s*(\w+)\s*=\s*(\S+)\s*)"))) {
      if (m[1] == "TakeProfits") e.takeProfits = m[2];
      if (m[1] == "DrawdownTargets") e.drawdownTargets = m[2];
      if (m[1] == "IncreaseTargets") e.increaseTargets = m[2];
      if (m[1] == "StopLosses") e.stopLosses = m[2];
    }
    e.text += std::regex_replace(line, std::regex(R"(^\s+)"), "") + " ";
  }
  e.account = e.says("On a # account")[0];
  EXPECT_FALSE(e.takeProfits.empty() || e.drawdownTargets.empty() || e.increaseTargets.empty() ||
               e.stopLosses.empty())
      << "the example does not give all four target inputs:\n"
      << e.text;
  return e;
}

// The EA on the example's account with its inputs (and the drawdown e-mail's threshold), one
// open trade whose result moves the equity.
class Guard {
 public:
  explicit Guard(const Example& e, double emailDrawdown = 0.0) {
    term.fund(e.account);
    ea.EmailDrawdown = emailDrawdown;
    ea.TakeProfits = e.takeProfits;
    ea.DrawdownTargets = e.drawdownTargets;
    ea.IncreaseTargets = e.increaseTargets;
    ea.StopLosses = e.stopLosses;
    EXPECT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  }
  bool closesAt(double equity) { return guard_steps::closesAt(term, ea, equity); }
  double snapshot() { return term.library().GetEquitySnap(); }
  int takeProfitSet() {
    int tpSet = -1, tp = -1, ddSet = -1, dd = -1;
    term.library().GetIndex(&tpSet, &tp, &ddSet, &dd);
    return tpSet;
  }
  const std::vector<std::string>& alerts() const { return term.alerts; }
  const std::vector<mql::Mail>& mails() const { return term.mails; }

 private:
  mql::Terminal term{ZT_LIBRARY_FILE};
  ea_mq4::Program ea;
};

constexpr double kCent = 0.01;

TEST(QuickStart, FitsOneNotepadScreenfulOfPlainText) {
  const std::string text = quickStart();
  ASSERT_FALSE(text.empty()) << ZT_QUICKSTART;
  std::istringstream lines(text);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_LE(line.size(), 78u) << "line " << count << " is wider than Notepad shows: " << line;
    for (unsigned char c : line)
      EXPECT_TRUE(c >= 32 && c < 127) << "line " << count << " is not plain ASCII";
  }
  EXPECT_LT(count, 150);
}

TEST(QuickStart, WorkedExampleStartsOnTheAccountsEquity) {
  const Example e = readExample();
  Guard run(e);
  EXPECT_DOUBLE_EQ(run.snapshot(), e.says("starts with the snapshot #")[0]);
}

TEST(QuickStart, WorkedExampleStopLossAndTakeProfit) {
  const Example e = readExample();
  const double stop = e.says("closes everything at # or less")[0];
  const double take = e.says("takes the profit at # or more;")[0];
  Guard losing(e);
  EXPECT_FALSE(losing.closesAt(stop + kCent));
  EXPECT_TRUE(losing.closesAt(stop));
  Guard winning(e);
  EXPECT_FALSE(winning.closesAt(take - kCent));
  EXPECT_TRUE(winning.closesAt(take));
}

TEST(QuickStart, WorkedExampleDrawdownTargetBringsTheTakeProfitCloser) {
  const Example e = readExample();
  const std::vector<double> said =
      e.says("fallen to # \\(the first drawdown target\\), takes the profit sooner, at # or more");
  Guard run(e);
  EXPECT_FALSE(run.closesAt(said[0] + kCent));
  EXPECT_FALSE(run.closesAt(said[1]));  // not yet: the target was not passed
  EXPECT_FALSE(run.closesAt(said[0]));
  EXPECT_FALSE(run.closesAt(said[1] - kCent));
  EXPECT_TRUE(run.closesAt(said[1]));
}

TEST(QuickStart, WorkedExampleNewSnapshotAfterATakeProfit) {
  const Example e = readExample();
  const std::vector<double> said = e.says(
      "take profit that leaves #, that is the new snapshot: stop loss at #, take profit at #;");
  const double drawdown = e.says("fallen to # ")[0];
  for (bool losing : {true, false}) {
    Guard run(e);
    EXPECT_FALSE(run.closesAt(drawdown));
    EXPECT_TRUE(run.closesAt(said[0]));
    EXPECT_DOUBLE_EQ(run.snapshot(), said[0]);
    const double level = losing ? said[1] : said[2];
    EXPECT_FALSE(run.closesAt(losing ? level + kCent : level - kCent)) << losing;
    EXPECT_TRUE(run.closesAt(level)) << losing;
  }
}

TEST(QuickStart, WorkedExampleIncreaseTargetMovesToTheSecondSets) {
  const Example e = readExample();
  const std::vector<double> said = e.says(
      "a close that leaves # or more reaches the first increase target and the second sets count: "
      "on a "
      "snapshot of # it closes everything at # and takes the profit at #\\.");
  {
    Guard below(e);
    EXPECT_TRUE(below.closesAt(said[0] - kCent));
    EXPECT_EQ(below.takeProfitSet(), 0);
  }
  for (bool losing : {true, false}) {
    Guard run(e);
    EXPECT_TRUE(run.closesAt(said[0]));
    EXPECT_EQ(run.takeProfitSet(), 1);
    EXPECT_DOUBLE_EQ(run.snapshot(), said[1]);
    const double level = losing ? said[2] : said[3];
    EXPECT_FALSE(run.closesAt(losing ? level + kCent : level - kCent)) << losing;
    EXPECT_TRUE(run.closesAt(level)) << losing;
  }
}

// The texts the quick start explains are the EA's own: the stop loss alert it quotes, the close's
// duration aside, is the one shown at the worked example's stop loss, and the e-mail's "amount
// below the snapshot (its level)" is how the drawdown e-mail gives that stop loss.
TEST(QuickStart, AlertAndEmailItExplainsAreTheGuards) {
  const std::string all = std::regex_replace(quickStart(), std::regex(R"(\s+)"), " ");
  std::smatch alert, mailed;
  ASSERT_TRUE(std::regex_search(all, alert, std::regex(R"#(alerts "(Prev Snap [^"]*)")#")))
      << "the quick start no longer quotes the stop loss alert";
  ASSERT_TRUE(std::regex_search(all, mailed, std::regex(R"#(in an e-mail "(-\$[^"]*)")#")))
      << "the quick start no longer quotes an e-mail's amount";
  const Example e = readExample();
  const double stop = e.says("closes everything at # or less")[0];
  Guard run(e, (e.account - stop) / 2);  // a drawdown e-mail halfway to the stop loss
  EXPECT_FALSE(run.closesAt((e.account + stop) / 2));
  ASSERT_EQ(run.mails().size(), 1u);
  const std::string& body = run.mails()[0].body;  // "... Stop Loss: $<EIT>, -$<SL> ($<level>)."
  const size_t stopLine = body.find("Stop Loss: $");
  ASSERT_NE(stopLine, std::string::npos) << body;
  EXPECT_EQ(body.substr(body.find(", ", stopLine) + 2, mailed[1].length()), mailed[1].str())
      << body;
  EXPECT_TRUE(run.closesAt(stop));
  ASSERT_FALSE(run.alerts().empty());
  const std::regex duration(R"(TTC [0-9]+\.[0-9]s)");
  EXPECT_EQ(std::regex_replace(run.alerts().back(), duration, "TTC #s"),
            std::regex_replace(alert[1].str(), duration, "TTC #s"));
}

}  // namespace
