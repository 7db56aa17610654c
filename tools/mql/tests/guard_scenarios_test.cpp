// Both expert advisors in the situations where a real terminal could make an EA close on
// bookkeeping, re-base in silence or stop protecting without saying so. Each scenario runs on the
// 32-bit and the 64-bit EA alike (a typed test), translated and run over the terminal double
// against the real zentravo.so.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <type_traits>

#include "zentravo_guard_mq4.h"
#include "zentravo_guard_mq5.h"

namespace {

std::string stateOf(const mql::Terminal& t) {
  std::string text = t.label("ZT_STATE");
  for (int line = 1; !t.label("ZT_STATE_" + std::to_string(line)).empty(); ++line)
    text += " " + t.label("ZT_STATE_" + std::to_string(line)).substr(7);
  return text;
}
int countOf(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(part) != std::string::npos;
  }));
}
int mailsWith(const mql::Terminal& t, const std::string& part) {
  return static_cast<int>(std::count_if(t.mails.begin(), t.mails.end(), [&](const mql::Mail& m) {
    return m.subject.find(part) != std::string::npos;
  }));
}
void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A terminal with a funded account of 1000.00 and the EA of the scenario on its chart.
template <class Program>
struct Run {
  mql::Terminal term{ZT_LIBRARY_FILE};
  Program ea;
  static constexpr bool mt4 = std::is_same_v<Program, ea_mq4::Program>;

  Run() {
    term.fund(1000.0);
    term.quotes["USDJPY"] = {150.000, 150.012, 0.001, 3};
  }
  void timer(unsigned ms = 250) {
    term.activate();
    term.tickCount += ms;
    ea.OnTimer();
  }
  std::string state() const { return stateOf(term); }
  bool alerted(const std::string& part) const { return countOf(term.alerts, part) > 0; }
  double snapshot() { return term.library().GetEquitySnap(); }
  // The history records booked so far are out of the terminal's sight: MT4's Account History
  // tab on a period that starts now, an MT5 terminal that has not received its deals yet.
  void withholdHistory() {
    if constexpr (mt4) {
      term.historyFrom = term.now() + 1;
    } else {
      term.inTransit = term.history;
      term.history.clear();
    }
  }
  void deliverHistory() {
    if constexpr (mt4)
      term.historyFrom = 0;
    else
      term.land();
  }
};

template <class Program>
class Scenario : public ::testing::Test {};
using BothEas = ::testing::Types<ea_mq4::Program, ea_mq5::Program>;
TYPED_TEST_SUITE(Scenario, BothEas);

// A 5,000 account whose first deposit was 1,000: the terminal starts with no quote and with none
// of its history in sight. Old deposits that show up later must not read as new ones (at 4,000
// below the base every trade would close): the base waits for a quote and a history that
// explains the balance, and records its time, before which nothing counts.
TYPED_TEST(Scenario, ABaseIsTakenOnlyFromAHistoryThatExplainsTheBalance) {
  Run<TypeParam> run;
  run.term.balanceOperation(4000.0);
  run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  run.withholdHistory();
  run.term.quoteKnown = false;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  EXPECT_NE(run.state().find("holding: no base yet: no quote has come yet"), std::string::npos)
      << run.state();
  run.term.quoteKnown = true;
  run.timer();
  EXPECT_NE(run.state().find("holding: no base yet: the account history explains 0.00 of the "
                             "balance and credit 5000.00"),
            std::string::npos)
      << run.state();
  run.deliverHistory();
  for (int event = 0; event < 4; ++event) run.timer();
  EXPECT_TRUE(run.term.trades.empty());
  EXPECT_EQ(run.state(), "Guard: running");
  EXPECT_DOUBLE_EQ(run.snapshot(), 5000.0);
  run.term.orders[0].profit = -101.0;  // a real loss still counts
  run.timer();
  EXPECT_TRUE(run.term.orders.empty());
}

// The balance moves before its record arrives: nothing is judged meanwhile (a stop loss would read
// 200 withdrawn as 200 lost), for seconds, not for a count of checks a busy tick stream runs
// through at once. A move the history never explains holds the guard with an alert naming the
// amount - never a close - until it does; a later amount is no new warning. The 64-bit terminal's
// deal types are read as the reference lists them: an agent commission or interest is money paid
// in, a canceled deal's result is taken back by an operation, and a type the EA does not know
// holds.
TYPED_TEST(Scenario, AnUnexplainedBalanceMoveHoldsAndNeverCloses) {
  Run<TypeParam> run;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  run.term.balanceOperation(-200.0, mql::BOOK_BALANCE, true);
  run.timer();
  run.term.land();
  run.timer();
  EXPECT_TRUE(run.term.trades.empty());
  EXPECT_EQ(run.state(), "Guard: running");

  run.term.balanceOperation(-300.0, mql::BOOK_BALANCE, true);
  for (int event = 0; event < 3; ++event) run.timer();
  EXPECT_EQ(run.state(), "Guard: running");
  EXPECT_FALSE(run.alerted("NOT PROTECTING"));
  run.timer(10000);
  EXPECT_NE(
      run.state().find("holding: the balance moved by -300.00 more than the account history shows"),
      std::string::npos)
      << run.state();
  EXPECT_TRUE(run.alerted("NOT PROTECTING: holding: the balance moved by -300.00"));
  run.term.balanceOperation(-50.0, mql::BOOK_BALANCE, true);
  run.timer();
  EXPECT_NE(run.state().find("the balance moved by -350.00"), std::string::npos) << run.state();
  EXPECT_EQ(countOf(run.term.alerts, "NOT PROTECTING: holding: the balance moved by"), 1);
  EXPECT_EQ(mailsWith(run.term, "NOT PROTECTING: holding: the balance moved by"), 1);
  EXPECT_TRUE(run.term.trades.empty());
  run.term.land();
  run.timer();
  EXPECT_EQ(run.state(), "Guard: running");
  EXPECT_TRUE(run.alerted("protecting again"));
  run.term.orders[0].profit = -101.0;  // 349 of equity, 899 of trading equity: the stop loss
  run.timer();
  EXPECT_TRUE(run.term.orders.empty());
  EXPECT_DOUBLE_EQ(run.snapshot(), 899.0);

  if constexpr (!Run<TypeParam>::mt4) {
    Run<TypeParam> deals;
    ASSERT_EQ(deals.term.attach(deals.ea), mql::INIT_SUCCEEDED);
    deals.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 40.0);
    deals.term.history.push_back(deals.term.orders[0]);  // a trade closed at +40
    deals.term.history.back().closeTime = deals.term.now();
    deals.term.balance += 40.0;
    deals.term.orders[0] = {deals.term.newTicket(),  "EURUSD", mql::OP_BUY, 1.0, 0.0,
                            deals.term.newOpenTime()};
    deals.timer();
    deals.term.balanceOperation(60.0,
                                mql::BOOK_AGENT_COMMISSION);  // paid to the introducing broker
    deals.term.balanceOperation(2.0, mql::BOOK_INTEREST);
    deals.term.cancelDeal(deals.term.history[1].ticket);
    for (int event = 0; event < 2; ++event) deals.timer();
    EXPECT_EQ(deals.term.orders.size(),
              1u);  // 1102 is no take profit at 1050: 62 came from outside
    EXPECT_EQ(deals.state(), "Guard: running");
    deals.term.balanceOperation(5.0, mql::BOOK_UNLISTED);
    deals.timer();
    EXPECT_NE(deals.state().find("of a type the EA does not know"), std::string::npos)
        << deals.state();
    EXPECT_EQ(deals.term.orders.size(), 1u);
  }
}

// Nothing re-bases the guard but the trader. A settings file lost with the memory intact holds
// (started afresh, the library would move the stop from 900 to 820); so does a login of 0. A
// round trip to another account and back restores the first from the EA's memory, ladder and
// all, and says the stop loss starts from its first entry again; StartOver acts once, and left
// true it re-bases nothing later (a renamed server holds), nor does a program that starts with it
// true. A first start whose library cannot read its settings file takes no base on the equity it
// started from; a library that moves under the running guard (another program started it again)
// holds it; an older version's memory holds even without a settings file. What the library could
// not write - a step still held as the terminal stopped, a roll it could not save - comes back
// from the EA's memory.
TYPED_TEST(Scenario, NothingReBasesTheGuardButTheTrader) {
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -80.0);
    run.timer();
    run.term.restart(run.ea);
    std::filesystem::remove(run.term.dataFolder + "/MQL4/Libraries/zentravo.ini");
    TypeParam restarted;
    ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find(
                  "holding: the library's settings file was lost: it started afresh on the present "
                  "equity 920.00, while the EA last saw the snapshot 1000.00"),
              std::string::npos)
        << run.state();
    EXPECT_TRUE(run.alerted("NOT PROTECTING: holding: the library's settings file was lost"));
  }
  {
    Run<TypeParam> run;
    run.term.login = 0;
    run.term.server = "";
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("holding: the terminal has not logged in to the account yet"),
              std::string::npos);
    EXPECT_EQ(run.term.callsOf("InitZT"), 0);
    run.term.login = 123456;
    run.term.server = "Broker-Demo";
    run.timer();
    EXPECT_EQ(run.state(), "Guard: running");
    EXPECT_FALSE(std::filesystem::exists(run.term.filesFolder() + "/ZentravoGuard/0@.state"));
  }
  Run<TypeParam> run;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -25.0);
  run.timer();  // 975: the first drawdown target moves the ladder on
  run.ea.OnDeinit(mql::REASON_ACCOUNT);
  run.term.login = 777001;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  EXPECT_NE(run.state().find("holding: account 777001@Broker-Demo is new to the guard"),
            std::string::npos)
      << run.state();
  run.ea.OnDeinit(mql::REASON_PARAMETERS);
  run.ea.StartOver = true;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(run.alerted(
      "started over on the present equity 975.00 as asked (StartOver); the snapshot 1000.00 is "
      "dropped. Set StartOver back to false now"));
  run.ea.OnDeinit(mql::REASON_ACCOUNT);
  run.term.login = 123456;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(run.alerted(
      "account 123456@Broker-Demo resumed from the EA's memory (snapshot 1000.00); the "
      "library had guarded 777001@Broker-Demo since; the stop loss and the increase targets start "
      "again from their first entries"));
  EXPECT_DOUBLE_EQ(run.snapshot(), 1000.0);
  int tpSet = -1, tp = -1, ddSet = -1, dd = -1;
  run.term.library().GetIndex(&tpSet, &tp, &ddSet, &dd);
  EXPECT_EQ(tp, 1);
  EXPECT_EQ(dd, 1);
  EXPECT_EQ(run.state(), "Guard: running");
  run.ea.OnDeinit(mql::REASON_ACCOUNT);
  run.term.server = "Broker-Demo2";
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  EXPECT_NE(run.state().find("(the same login: did the broker rename its server?)"),
            std::string::npos)
      << run.state();
  EXPECT_EQ(countOf(run.term.alerts, "started over on the present equity"), 1);
  EXPECT_TRUE(run.term.trades.empty());
}

TYPED_TEST(Scenario, NothingReBasesTheGuardButTheTraderNorAFileTheLibraryCouldNotRead) {
  const std::string olderSettings =
      "[SNAP]\nEquity Snap=1500.00\nInitial "
      "Equity=1500.00\n[INDEX]\nTPSet=0\nDDSet=0\nTP=0\nDD=0\n";
  {
    Run<TypeParam> run;
    writeFile(run.term.settingsFile(), olderSettings);
    writeFile(run.term.filesFolder() + "/ZentravoGuard.state", "snapshot=1500.00\n");
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
    run.term.holdSettings();
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.timer();
    EXPECT_NE(run.state().find("holding: the library cannot read its settings file yet"),
              std::string::npos)
        << run.state();
    run.term.releaseSettings();
    for (int event = 0; event < 2; ++event) run.timer();
    EXPECT_NE(run.state().find("of an older version"), std::string::npos) << run.state();
    EXPECT_TRUE(
        run.term.trades.empty());  // the library resumed 1500: 1000 is no stop loss of a base
  }
  {
    Run<TypeParam> run;
    writeFile(run.term.filesFolder() + "/ZentravoGuard.state", "snapshot=1500.00\n");
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("of an older version"), std::string::npos) << run.state();
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -10.0);
    run.timer();
    auto& library = run.term.library();  // an older EA on another chart starts the library again
    library.SetLastValues(1100.0, 0, 0, 0, 0);
    double initial = 0.0;
    library.InitZT(run.term.chartHandle, "older", &initial, 990.0, 0.0, 990.0, "50", "20", "2000",
                   "100");
    run.timer();
    EXPECT_NE(run.state().find(
                  "holding: the library's snapshot and ladder positions moved to 1100.00 (0,0,0,0) "
                  "from 1000.00 (0,0,0,0) without a decision of the guard"),
              std::string::npos)
        << run.state();
    EXPECT_TRUE(run.term.trades.empty());
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -80.0);
    run.timer();
    run.term.restart(run.ea);
    std::filesystem::remove(run.term.settingsFile());
    TypeParam kept;
    kept.StartOver = true;  // the chart (a profile, a template) kept StartOver = true
    ASSERT_EQ(run.term.attach(kept), mql::INIT_SUCCEEDED);
    EXPECT_NE(run.state().find("holding: the library's settings file was lost"), std::string::npos)
        << run.state();
    EXPECT_TRUE(run.alerted("StartOver is true as the EA starts"));
    EXPECT_FALSE(run.alerted("started over"));
    run.term.changeInputs(kept, [](TypeParam& ea) { ea.StartOver = false; });
    run.term.changeInputs(kept, [](TypeParam& ea) { ea.StartOver = true; });
    EXPECT_TRUE(run.alerted("started over on the present equity 920.00 as asked"));
    EXPECT_EQ(run.state(), "Guard: running");
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -25.0);
    run.timer();  // 975: the first drawdown target moves the ladder on
    run.term.restart(run.ea);
    // The step's write was still held when the terminal stopped: the file has the first positions.
    writeFile(run.term.settingsFile(), std::regex_replace(readFile(run.term.settingsFile()),
                                                          std::regex("(TP|DD)=1"), "$1=0"));
    TypeParam restarted;
    ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
    EXPECT_TRUE(run.alerted(
        "the library's ladder positions 0,0,0,0 are not the ones the EA last saw, 0,1,0,1"));
    int tpSet = -1, tp = -1, ddSet = -1, dd = -1;
    run.term.library().GetIndex(&tpSet, &tp, &ddSet, &dd);
    EXPECT_EQ(tp, 1);
    EXPECT_EQ(dd, 1);
    EXPECT_EQ(run.state(), "Guard: running");
  }
  Run<TypeParam> run;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  run.term.holdSettings();  // from now on the library cannot write its settings file
  run.timer();              // the stop loss: closed and rolled to 890, which the file never gets
  EXPECT_TRUE(run.alerted("the library's notice says: Settings not saved"));
  EXPECT_EQ(mailsWith(run.term, "Settings not saved"), 1);
  run.term.restart(run.ea);
  run.term.releaseSettings();
  TypeParam restarted;
  ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
  EXPECT_TRUE(run.alerted(
      "resumed from the EA's memory (snapshot 890.00); the library could not save its settings"));
  EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);
  EXPECT_EQ(run.state(), "Guard: running");
}

// A file another program holds neither re-bases the guard nor drops a close it decided. A stop loss
// whose close the market refused when the terminal stopped goes on at the restart although the
// library cannot read its settings file yet: its trades close, every warning says the close-all is
// pending, StartOver waits, and the cycle is reported once the library has read the file. After a
// settings file lost for good, StartOver re-bases the books and the close goes on. A memory file a
// virus scanner reads as well is no reason to hold; one a backup keeps to itself holds until it
// lets go, by itself.
TYPED_TEST(Scenario, AHeldFileNeitherReBasesNorDropsAClose) {
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
    run.term.closedMarkets = {"USDJPY"};
    run.timer();
    run.term.restart(run.ea);
    std::filesystem::remove(run.term.settingsFile());
    TypeParam restarted;
    ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
    EXPECT_NE(
        run.state().find(
            "stop loss reached - close-all pending: holding: the library's settings file was lost"),
        std::string::npos)
        << run.state();
    run.term.changeInputs(restarted, [](TypeParam& ea) { ea.StartOver = true; });
    EXPECT_TRUE(run.alerted(
        "as asked (StartOver); the snapshot 1000.00 the EA last saw (the library held 890.00) is "
        "dropped; the close-all under way goes on"));
    run.term.closedMarkets.clear();
    run.term.tickCount += 250;
    restarted.OnTimer();
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_EQ(run.term.callsOf("SetTTC"), 1);
    EXPECT_EQ(run.state(), "Guard: running");
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
    run.term.closedMarkets = {"USDJPY"};
    run.timer();
    run.term.restart(run.ea);
    run.term.holdSettings();
    run.term.closedMarkets.clear();
    run.term.partialFills = {0.5};  // closed in two parts (MT4: the rest under a new ticket)
    TypeParam restarted;
    ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
    for (int event = 0; event < 2; ++event) {
      run.term.tickCount += 250;
      restarted.OnTimer();
    }
    EXPECT_NE(
        run.state().find(
            "NOT PROTECTING - stop loss reached - close-all pending: holding: the library cannot "
            "read its settings file yet"),
        std::string::npos)
        << run.state();
    EXPECT_TRUE(run.alerted("NOT PROTECTING: stop loss reached - close-all pending: holding:"));
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_EQ(run.term.callsOf("SetTTC"), 0);
    run.term.changeInputs(restarted, [](TypeParam& ea) { ea.StartOver = true; });
    EXPECT_TRUE(run.alerted("StartOver waits"));
    EXPECT_EQ(run.term.callsOf("SetLastValues"), 0);
    run.term.releaseSettings();
    run.term.tickCount += 250;
    restarted.OnTimer();
    EXPECT_EQ(run.term.callsOf("SetTTC"), 1);
    EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);
    EXPECT_EQ(run.state(), "Guard: running");
  }
  Run<TypeParam> run;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.timer();
  run.term.restart(run.ea);
  const std::string memory = "ZentravoGuard\\123456@Broker-Demo.state";
  using namespace mql::shared;
  mql::outsideHold(memory,
                   FILE_READ | FILE_SHARE_READ | FILE_SHARE_WRITE);  // a virus scanner reading it
  TypeParam scanned;
  ASSERT_EQ(run.term.attach(scanned), mql::INIT_SUCCEEDED);
  EXPECT_EQ(run.state(), "Guard: running");
  mql::outsideRelease(memory);
  run.term.restart(scanned);
  mql::outsideHold(memory, FILE_READ);  // a backup reading it alone
  TypeParam backedUp;
  ASSERT_EQ(run.term.attach(backedUp), mql::INIT_SUCCEEDED);
  run.term.tickCount += 250;
  backedUp.OnTimer();
  EXPECT_NE(run.state().find("holding: the EA's memory file MQL"), std::string::npos)
      << run.state();
  EXPECT_NE(run.state().find("cannot be opened now"), std::string::npos) << run.state();
  mql::outsideRelease(memory);
  run.term.tickCount += 250;
  backedUp.OnTimer();
  EXPECT_EQ(run.state(), "Guard: running");
  EXPECT_TRUE(run.term.trades.empty());
}

// Closes that go through: a position larger than the symbol's largest deal closes in pieces, each
// volume written as the step writes it; a close the market fills only in part goes on with what is
// left, which is the same trade (MT4 reopens it "from #" the old ticket); a close an exchange
// answers with "placed" (10008) is sent, and nothing more for its symbol while it is in flight,
// however long (on a netting account a second deal would reverse the position). A close resumed
// after a restart ends the trades it decided on, not one the trader opened while the EA was off.
TYPED_TEST(Scenario, ClosesGoThroughInPiecesAndPartsAndAreNotSentTwice) {
  Run<TypeParam> run;
  run.term.quotes["EURUSD"].volumeMax = 100.0;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.term.openOrder("EURUSD", mql::OP_BUY, 300.0, -110.0);
  run.timer();
  EXPECT_TRUE(run.term.orders.empty());
  EXPECT_EQ(std::count_if(run.term.trades.begin(), run.term.trades.end(),
                          [](const mql::TradeCall& t) { return t.error != 0; }),
            0);
  EXPECT_EQ(run.term.callsOf("SetTTC"), 1);
  EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);

  run.term.openOrder("EURUSD", mql::OP_BUY, 2.0, -100.0);
  run.term.partialFills = {0.5, 0.5, 0.5, 0.3};
  run.timer();
  for (int event = 0; event < 6; ++event) run.timer();
  EXPECT_TRUE(run.term.orders.empty());
  EXPECT_FALSE(run.alerted("new trades keep opening"));
  EXPECT_EQ(run.term.callsOf("SetTTC"), 2);
  EXPECT_DOUBLE_EQ(run.snapshot(), 790.0);

  const auto placed = [&run] {
    return std::count_if(run.term.trades.begin(), run.term.trades.end(),
                         [](const mql::TradeCall& t) { return t.error == 10008; });
  };
  if constexpr (!Run<TypeParam>::mt4) {
    run.term.quotes["EURUSD"].placesCloses = true;
    run.term.openOrder("EURUSD", mql::OP_SELL, 1.0, -100.0);
    for (int event = 0; event < 40; ++event) run.timer();  // ten seconds without a fill
    EXPECT_EQ(run.term.trades.back().error, static_cast<int>(mql::mql5::TRADE_RETCODE_PLACED));
    EXPECT_EQ(placed(), 1);
    EXPECT_FALSE(run.alerted("code unknown"));
    EXPECT_FALSE(run.alerted("already under way"));
    run.term.executePlaced();
    run.timer();
    EXPECT_TRUE(run.term.orders.empty());
    EXPECT_EQ(run.term.callsOf("SetTTC"), 3);

    Run<TypeParam> netting;
    netting.term.netting = true;
    netting.term.quotes["EURUSD"].volumeMax = 100.0;
    netting.term.quotes["EURUSD"].placesCloses = true;
    ASSERT_EQ(netting.term.attach(netting.ea), mql::INIT_SUCCEEDED);
    netting.term.openOrder("EURUSD", mql::OP_BUY, 300.0, -110.0);
    for (int event = 0; event < 40; ++event) netting.timer();
    EXPECT_EQ(netting.term.callsOf("SetTTC"), 0);
    EXPECT_EQ(std::count_if(netting.term.trades.begin(), netting.term.trades.end(),
                            [](const mql::TradeCall& t) { return t.function == "Sell"; }),
              1);
    for (int fill = 0; fill < 3; ++fill) {
      netting.term.executePlaced();
      for (int event = 0; event < 24; ++event) netting.timer();
    }
    EXPECT_TRUE(netting.term.orders.empty());  // flat, not reversed
    EXPECT_EQ(netting.term.callsOf("SetTTC"), 1);
  }

  Run<TypeParam> steps;
  steps.term.quotes["EURUSD"].volumeMin = 0.1;
  steps.term.quotes["EURUSD"].volumeStep = 0.1;
  steps.term.quotes["EURUSD"].volumeMax = 0.3;
  ASSERT_EQ(steps.term.attach(steps.ea), mql::INIT_SUCCEEDED);
  steps.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  steps.timer();
  EXPECT_TRUE(steps.term.orders.empty());
  ASSERT_GE(steps.term.trades.size(), 3u);
  for (size_t piece = 0; piece < 3; ++piece) EXPECT_EQ(steps.term.trades[piece].lots, 0.3) << piece;

  Run<TypeParam> resumed;
  ASSERT_EQ(resumed.term.attach(resumed.ea), mql::INIT_SUCCEEDED);
  resumed.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
  resumed.term.closedMarkets = {"USDJPY"};
  resumed
      .timer();  // Friday night: the stop loss, and USDJPY's market closed; the computer goes off
  resumed.term.restart(resumed.ea);
  resumed.term.closedMarkets.clear();
  resumed.term.passDays(3);  // Monday, from the phone: USDJPY closed by hand, a new EURUSD trade
  resumed.term.balance += resumed.term.orders[0].result();
  resumed.term.history.push_back(resumed.term.orders[0]);
  resumed.term.history.back().closeTime = resumed.term.now();
  resumed.term.orders.clear();
  resumed.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 5.0);
  TypeParam restarted;
  ASSERT_EQ(resumed.term.attach(restarted), mql::INIT_SUCCEEDED);
  for (int event = 0; event < 4; ++event) {
    resumed.term.tickCount += 250;
    restarted.OnTimer();
  }
  EXPECT_EQ(resumed.term.orders.size(), 1u);
  EXPECT_EQ(resumed.term.callsOf("SetTTC"), 1);
  EXPECT_DOUBLE_EQ(resumed.snapshot(), 890.0);
  EXPECT_TRUE(
      resumed.alerted("trades on EURUSD opened while the EA was off are no part of the close-all"));
  EXPECT_EQ(resumed.state(), "Guard: running");
}

// Never silently unprotected: an investor-password login says so at once; a stop loss hit while
// AutoTrading is off is in every warning; a close the market refuses reaches e-mail and push every
// interval, and so does the cycle once it is done; with e-mail and push off the EA says its
// warnings stay on the screen; with DLL imports off the EA stays and warns on every channel,
// calling the library never; out-of-range inputs refuse to start, naming the input and its range;
// a guard that stops - its chart closed, the terminal closed mid-close, new inputs refused - says
// so on every channel; a timer the terminal refuses is reported and tried again.
TYPED_TEST(Scenario, WhatTheEaCannotDoItSaysOnEveryChannel) {
  {
    Run<TypeParam> run;
    run.term.accountTradeAllowed = false;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_EQ(run.state(),
              "Guard: NOT PROTECTING - trading is not allowed on this account (logged in with the "
              "investor password?)");
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.autoTrading = false;
    run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
    for (int event = 0; event < 241; ++event) run.timer();  // a minute
    const std::string pending =
        "stop loss reached - close-all pending: AutoTrading is off in the terminal";
    EXPECT_EQ(run.state(), "Guard: NOT PROTECTING - " + pending);
    EXPECT_EQ(countOf(run.term.alerts, pending), 2);
    EXPECT_EQ(mailsWith(run.term, pending), 2);
    EXPECT_EQ(run.term.orders.size(), 1u);
  }
  {
    Run<TypeParam> run;
    run.ea.PushNotifications = true;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
    run.term.closedMarkets = {"USDJPY"};
    for (int event = 0; event < 241; ++event) run.timer();  // a minute
    const std::string blocked =
        "NOT PROTECTING: stop loss reached - close-all blocked: market closed (";
    EXPECT_NE(run.state().find("CLOSING - blocked: market closed ("), std::string::npos)
        << run.state();
    EXPECT_EQ(mailsWith(run.term, blocked), 2);
    EXPECT_EQ(countOf(run.term.pushes, blocked), 2);
    run.term.closedMarkets.clear();
    run.timer();
    EXPECT_EQ(mailsWith(run.term, "ZentravoGuard: Prev Snap $1000.00"), 1);
    run.timer(1000);  // a push within a second of the last waits for the next check
    EXPECT_EQ(countOf(run.term.pushes, "ZT CloseAll Stop Loss Complete"), 1);
    EXPECT_FALSE(run.alerted("protecting again"));
  }
  {
    Run<TypeParam> run;
    run.term.mailEnabled = false;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_TRUE(run.alerted("its warnings reach this screen only"));
  }
  {
    Run<TypeParam> run;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    run.ea.OnDeinit(mql::REASON_CHARTCHANGE);  // a new timeframe: the EA starts again at once
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    EXPECT_FALSE(run.alerted("stopped"));
    run.term.closeChart(run.ea);
    EXPECT_EQ(
        mailsWith(run.term,
                  "ZentravoGuard stopped (its chart was closed): the account is not protected"),
        1);
    TypeParam again;
    ASSERT_EQ(run.term.attach(again), mql::INIT_SUCCEEDED);
    run.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -110.0);
    run.term.closedMarkets = {"USDJPY"};
    run.term.tickCount += 250;
    again.OnTimer();
    run.term.restart(again);
    EXPECT_EQ(
        mailsWith(run.term,
                  "ZentravoGuard stopped (the terminal closes): the account is not protected; stop "
                  "loss reached - a close-all is pending"),
        1);
    TypeParam third;
    ASSERT_EQ(run.term.attach(third), mql::INIT_SUCCEEDED);
    EXPECT_EQ(run.term.changeInputs(third, [](TypeParam& ea) { ea.TimerMs = 20; }),
              mql::INIT_PARAMETERS_INCORRECT);
    EXPECT_EQ(
        mailsWith(
            run.term,
            "ZentravoGuard stopped (its new inputs are refused: TimerMs is 20; it must be from "
            "50 to 60000"),
        1);
  }
  {
    Run<TypeParam> run;
    run.term.dllsAllowed = false;
    ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
    for (int event = 0; event < 240; ++event) run.timer();
    EXPECT_EQ(countOf(run.term.alerts, "NOT PROTECTING: DLL imports are not allowed for the EA"),
              2);
    EXPECT_EQ(mailsWith(run.term, "DLL imports are not allowed"), 2);
    EXPECT_TRUE(run.term.calls.empty());
    run.ea.OnDeinit(mql::REASON_REMOVE);
    EXPECT_TRUE(run.term.calls.empty());
  }
  {
    Run<TypeParam> run;
    run.ea.BlockedAlertSeconds = 0;
    EXPECT_EQ(run.term.attach(run.ea), mql::INIT_PARAMETERS_INCORRECT);
    EXPECT_TRUE(run.alerted("BlockedAlertSeconds is 0; it must be from 10 to 86400"));
    EXPECT_TRUE(run.term.calls.empty());
  }
  Run<TypeParam> run;
  run.term.timerFails = true;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.ea.OnTick();
  EXPECT_EQ(countOf(run.term.alerts, "gave the EA no timer"), 1);
  EXPECT_NE(run.state().find("running on ticks only"), std::string::npos) << run.state();
  run.term.timerFails = false;
  run.term.tickCount += 1000;
  run.ea.OnTick();
  EXPECT_EQ(run.term.timerMs, 250);
  EXPECT_TRUE(run.alerted("the timer runs again"));
  EXPECT_EQ(run.state(), "Guard: running");
}

// One thread calls the library: a chart the guard refused makes no call, in OnDeinit neither; a
// guard on a slow timer keeps its chart lock for three of its intervals, and one that was silent
// longer (a frozen terminal) and lost it to another chart stops calling the library. Each event
// checks the account it runs on: after a switch the new account's equity is not judged against
// the old snapshot. A second terminal on the account holds while the first guards it, and after
// it, since it cannot know what the first one closed and rolled.
TYPED_TEST(Scenario, OneGuardCallsTheLibraryAndOneGuardsTheAccount) {
  {
    Run<TypeParam> slow;
    slow.ea.TimerMs = 20000;
    ASSERT_EQ(slow.term.attach(slow.ea), mql::INIT_SUCCEEDED);
    const int chart = slow.term.chartHandle;
    slow.term.tickCount += 11000;  // a quiet market, the next timer event 9 s away
    slow.term.chartHandle = 0x2002;
    TypeParam second;
    EXPECT_EQ(slow.term.attach(second), mql::INIT_FAILED);
    slow.term.tickCount += 50000;  // silent for a minute
    TypeParam third;
    EXPECT_EQ(slow.term.attach(third), mql::INIT_SUCCEEDED);
    slow.term.chartHandle = chart;
    const size_t calls = slow.term.calls.size();
    slow.ea.OnTimer();
    EXPECT_EQ(slow.term.calls.size(), calls);
    EXPECT_TRUE(slow.alerted("another chart of this terminal took the guard over"));
    slow.term.chartHandle = 0x2002;
    slow.term.tickCount += 250;
    third.OnTimer();
    EXPECT_EQ(slow.state(), "Guard: running");
  }
  Run<TypeParam> run;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  const int calls = static_cast<int>(run.term.calls.size());
  const int chart = run.term.chartHandle;
  run.term.chartHandle = 0x2002;
  TypeParam refused;
  EXPECT_EQ(run.term.attach(refused), mql::INIT_FAILED);
  EXPECT_EQ(static_cast<int>(run.term.calls.size()), calls);
  run.term.chartHandle = chart;

  mql::Terminal second{ZT_LIBRARY_FILE};
  second.fund(1000.0);
  second.shareCommonFolderWith(run.term);
  TypeParam secondEa;
  ASSERT_EQ(second.attach(secondEa), mql::INIT_SUCCEEDED);
  EXPECT_NE(stateOf(second).find(
                "holding: another terminal on this computer guards account 123456@Broker-Demo"),
            std::string::npos)
      << stateOf(second);
  second.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
  second.tickCount += 250;
  secondEa.OnTimer();
  EXPECT_TRUE(second.trades.empty());

  run.term.activate();
  run.term.login = 777001;  // the terminal switched accounts; OnDeinit has not come yet
  run.term.fund(5000.0);
  run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  const int judged = run.term.callsOf("SetEquity");
  run.timer();
  EXPECT_EQ(run.term.callsOf("SetEquity"), judged);
  EXPECT_TRUE(run.term.trades.empty());
  EXPECT_NE(run.state().find("holding: the terminal switched to account 777001@Broker-Demo"),
            std::string::npos)
      << run.state();
  run.ea.OnDeinit(mql::REASON_REMOVE);

  second.activate();
  second.tickCount += 250;
  secondEa.OnTimer();
  EXPECT_NE(
      stateOf(second).find("holding: account 123456@Broker-Demo was guarded by the terminal in " +
                           run.term.dataFolder),
      std::string::npos)
      << stateOf(second);
  EXPECT_TRUE(second.trades.empty());
}

// A cycle is reported once, even when the memory could not note the end of its close; and an
// e-mail sent in a cycle is not sent again after a restart in the same cycle.
TYPED_TEST(Scenario, ACycleAndAMessageGoOutOnceAcrossRestarts) {
  Run<TypeParam> run;
  run.ea.EmailDrawdown = 50;
  ASSERT_EQ(run.term.attach(run.ea), mql::INIT_SUCCEEDED);
  run.term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  run.timer();
  ASSERT_EQ(mailsWith(run.term, "Drawdown >= -$"), 1);
  run.term.restart(run.ea);
  TypeParam restarted;
  restarted.EmailDrawdown = 50;
  ASSERT_EQ(run.term.attach(restarted), mql::INIT_SUCCEEDED);
  run.term.tickCount += 250;
  restarted.OnTimer();
  EXPECT_EQ(mailsWith(run.term, "Drawdown >= -$"), 1);

  run.term.openOrder("USDJPY", mql::OP_BUY, 1.0, -50.0);
  run.term.closedMarkets = {"USDJPY"};
  run.term.tickCount += 250;
  restarted.OnTimer();  // 890: the stop loss; EURUSD closes, USDJPY cannot yet
  ASSERT_EQ(run.term.orders.size(), 1u);
  run.term.filesWritable = false;
  run.term.closedMarkets.clear();
  run.term.tickCount += 250;
  restarted.OnTimer();  // flat: reported and rolled, but the memory keeps "a close under way"
  ASSERT_EQ(run.term.callsOf("SetTTC"), 1);
  EXPECT_TRUE(run.alerted("cannot write its memory file MQL"));
  EXPECT_FALSE(run.alerted("will hold"));
  run.term.restart(restarted);
  run.term.filesWritable = true;
  TypeParam again;
  ASSERT_EQ(run.term.attach(again), mql::INIT_SUCCEEDED);
  run.term.tickCount += 250;
  again.OnTimer();
  EXPECT_EQ(run.term.callsOf("SetTTC"), 1);
  EXPECT_EQ(countOf(run.term.alerts, "890.00"),
            2);  // the cycle's alert, and the note that it had ended
  EXPECT_DOUBLE_EQ(run.snapshot(), 890.0);
  EXPECT_EQ(stateOf(run.term), "Guard: running");
}

}  // namespace
