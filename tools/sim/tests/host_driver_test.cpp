// The calling sequence the host drives, checked against a scripted stand-in for the library that
// records every call.
#include "host/host_driver.h"

#include "report/run_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <stdexcept>

namespace zt::sim {
namespace {

// ---- The stand-in: one process-wide script and call record, as the real library is one. ----

struct Fake {
  std::vector<std::string> calls;
  std::deque<int> monitoringResults;  // SetEquity mode 0 answers in order; NoAction after
  std::deque<int> rollResults;        // SetEquity mode 1 answers
  double initResult = 1000.0;
  double snapshot = 0.0;
  double initialEquityWritten = 1000.0;
};
Fake fake;

void Write(char* out, const std::string& text) { std::strcpy(out, text.c_str()); }
std::string Amount(double value) {
  return std::to_string(value).substr(0, std::to_string(value).find('.') + 3);
}

double FakeInitZT(int chart, const char* tag, double* initial, double equity, double margin,
                  double free, const char* tp, const char* dd, const char* inc, const char* sl) {
  fake.calls.push_back("InitZT " + std::to_string(chart) + " " + tag + " " + Amount(*initial) +
                       " " + Amount(equity) + " " + Amount(margin) + " " + Amount(free) + " [" +
                       tp + "] [" + dd + "] [" + inc + "] [" + sl + "]");
  if (fake.initResult > 0) {
    *initial = fake.initialEquityWritten;
    fake.snapshot = fake.initResult;
  }
  return fake.initResult;
}
int FakeSetEquity(double equity, double margin, double free, int mode) {
  fake.calls.push_back("SetEquity " + Amount(equity) + " " + Amount(margin) + " " + Amount(free) +
                       " " + std::to_string(mode));
  std::deque<int>& script = mode >= 1 ? fake.rollResults : fake.monitoringResults;
  if (mode >= 1) fake.snapshot = equity;
  if (script.empty()) return ZT_NO_ACTION;
  const int result = script.front();
  script.pop_front();
  return result;
}
void FakeSetLastValues(double, int, int, int, int) { fake.calls.push_back("SetLastValues"); }
int FakeSetTTC(int ms, double equity) {
  fake.calls.push_back("SetTTC " + std::to_string(ms) + " " + Amount(equity));
  return ms;
}
void FakeSetEmailProp(double a, double b, double c) {
  fake.calls.push_back("SetEmailProp " + Amount(a) + " " + Amount(b) + " " + Amount(c));
}
double FakeGetEquitySnap() { return fake.snapshot; }
void FakeGetIndex(int* a, int* b, int* c, int* d) { *a = *b = *c = *d = 0; }
void FakeGetAlert(int kind, char* out) {
  fake.calls.push_back("GetAlert " + std::to_string(kind));
  Write(out, "alert " + std::to_string(kind));
}
void FakeGetEmailSubject(int kind, char* out) {
  fake.calls.push_back("GetEmailSubject " + std::to_string(kind));
  Write(out, "subject " + std::to_string(kind));
}
void FakeGetEmailText(int part, int kind, double increase, char* out) {
  fake.calls.push_back("GetEmailText " + std::to_string(part) + " " + std::to_string(kind) + " " +
                       Amount(increase));
  Write(out, "part " + std::to_string(part) + "\n");
}
void FakeGetLabel(int, int, char* out) { Write(out, "label"); }
// The panel rows the host reads its levels from, in the library's formats.
void FakeGetValue(int row, int column, char* out) {
  const double s = fake.snapshot;
  if (column == 0 && row == 3) Write(out, "50.00, 5.00 %, " + Amount(s + 50));
  if (column == 1 && row == 2) Write(out, "20.00, " + Amount(s - 20) + "; 30.00");
  if (column == 1 && row == 8) Write(out, Amount(s - 100));
}
void FakeSetWindowTitles(int chart, const char* frame, const char* main) {
  fake.calls.push_back("SetWindowTitles " + std::to_string(chart) + " " + frame + " | " + main);
}

const Exports kFakeApi{FakeInitZT,          FakeSetEquity,     FakeSetLastValues, FakeSetTTC,
                       FakeSetEmailProp,    FakeGetEquitySnap, FakeGetIndex,      FakeGetAlert,
                       FakeGetEmailSubject, FakeGetEmailText,  FakeGetLabel,      FakeGetValue,
                       FakeSetWindowTitles};

// A market of fixed equities; margin 100, free = equity - 100. Closes leave the equity + 0.5.
struct ScriptedMarket {
  explicit ScriptedMarket(std::vector<double> figures) : equities(std::move(figures)) {}
  std::vector<double> equities;
  std::size_t next = 1;
  std::vector<double> closedAt;

  Market Make() {
    Market market;
    market.start = Figures(0);
    market.nextTick = [this]() -> std::optional<AccountFigures> {
      if (next >= equities.size()) return std::nullopt;
      return Figures(next++);
    };
    market.closeAll = [this](const AccountFigures& figures) {
      closedAt.push_back(figures.equity);
      return CloseOutcome{figures.equity + 0.5, 1500};
    };
    return market;
  }
  AccountFigures Figures(std::size_t i) const {
    return {static_cast<std::int64_t>(1000 + 60 * i), equities[i], 100.0, equities[i] - 100.0};
  }
};

HostOptions Options() {
  HostOptions options;
  options.chartHandle = 7;
  options.hostTag = "test";
  options.frameTitle = "EURUSD,H1";
  options.mainTitle = "42: Server - Demo";
  options.targets = {"50,30;80,60", "20,40;25,50", "1100,1200", "100,150"};
  return options;
}

class HostDriver : public ::testing::Test {
 protected:
  void SetUp() override { fake = Fake{}; }
};

TEST_F(HostDriver, StartsWithTheTitlesThenInitZtAndMonitorsEveryTick) {
  ScriptedMarket market{{1000, 985, 978}};
  const HostRun run = RunHost(kFakeApi, Options(), market.Make());
  const std::vector<std::string> expected = {
      "SetWindowTitles 7 EURUSD,H1 | 42: Server - Demo",
      "InitZT 7 test 0.00 1000.00 100.00 900.00 [50,30;80,60] [20,40;25,50] [1100,1200] [100,150]",
      "SetEquity 985.00 100.00 885.00 0",
      "SetEquity 978.00 100.00 878.00 0",
  };
  EXPECT_EQ(fake.calls, expected);
  EXPECT_EQ(run.ticks, 2);
  EXPECT_EQ(run.startSnapshot, 1000.0);
  EXPECT_EQ(run.initialEquity, 1000.0);
  ASSERT_EQ(run.events.size(), 1u);
  EXPECT_EQ(run.events[0].kind, EventKind::Start);
  ASSERT_EQ(run.levels.size(), 1u);
  EXPECT_DOUBLE_EQ(run.levels[0].levels.takeProfit, 1050.0);
  EXPECT_DOUBLE_EQ(run.levels[0].levels.drawdownTarget, 980.0);
  EXPECT_DOUBLE_EQ(run.levels[0].levels.stopLoss, 900.0);
  EXPECT_EQ(run.equity.size(), 3u);
}

TEST_F(HostDriver, ACloseAllResultIsFollowedByTtcTheAlertAndTheSnapshotRoll) {
  struct Case {
    int result;
    int alertKind;
    EventKind kind;
  };
  for (const Case& c : {Case{ZT_TAKE_PROFIT_HIT, 2, EventKind::TakeProfitClose},
                        Case{ZT_STOP_LOSS_HIT, 1, EventKind::StopLossClose}}) {
    fake = Fake{};
    fake.monitoringResults = {ZT_NO_ACTION, c.result};
    ScriptedMarket market{{1000, 990, 1031, 1040}};
    const HostRun run = RunHost(kFakeApi, Options(), market.Make());
    const std::vector<std::string> tail(fake.calls.begin() + 2, fake.calls.end());
    const std::vector<std::string> expected = {
        "SetEquity 990.00 100.00 890.00 0",
        "SetEquity 1031.00 100.00 931.00 0",
        "SetTTC 1500 1031.50",
        "GetAlert " + std::to_string(c.alertKind),
        "SetEquity 1031.50 0.00 0.00 1",
        "SetEquity 1040.00 100.00 940.00 0",
    };
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(market.closedAt, std::vector<double>{1031.0});
    ASSERT_EQ(run.events.size(), 2u);
    const HostEvent& close = run.events[1];
    EXPECT_EQ(close.kind, c.kind);
    EXPECT_EQ(close.tick, 2);
    EXPECT_EQ(close.text, "alert " + std::to_string(c.alertKind));
    EXPECT_EQ(close.closeDurationMs, 1500);
    EXPECT_DOUBLE_EQ(close.equityLeft, 1031.5);
    EXPECT_DOUBLE_EQ(close.snapshot, 1031.5);  // read back after the roll
    ASSERT_EQ(run.cycles.size(), 1u);
    EXPECT_DOUBLE_EQ(run.cycles[0].snapshot, 1000.0);
    EXPECT_DOUBLE_EQ(run.cycles[0].drawdown, -10.0);
    EXPECT_EQ(run.cycles[0].stopLoss, c.result == ZT_STOP_LOSS_HIT);
    ASSERT_EQ(run.levels.size(), 2u);  // the roll moved the levels
    EXPECT_DOUBLE_EQ(run.levels[1].levels.takeProfit, 1081.5);
  }
}

TEST_F(HostDriver, AnIncreaseReachedRollShowsTheKindThreeAlert) {
  fake.monitoringResults = {ZT_TAKE_PROFIT_HIT};
  fake.rollResults = {ZT_INCREASE_REACHED};
  ScriptedMarket market{{1000, 1100, 1090}};
  const HostRun run = RunHost(kFakeApi, Options(), market.Make());
  const std::vector<std::string> tail(fake.calls.begin() + 3, fake.calls.end());
  const std::vector<std::string> expected = {"SetTTC 1500 1100.50", "GetAlert 2",
                                             "SetEquity 1100.50 0.00 0.00 1", "GetAlert 3",
                                             "SetEquity 1090.00 100.00 990.00 0"};
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(run.increasesPassed, 1);
  ASSERT_EQ(run.events.size(), 3u);
  EXPECT_EQ(run.events[2].kind, EventKind::IncreaseReached);
  EXPECT_EQ(run.events[2].text, "alert 3");
}

TEST_F(HostDriver, ADrawdownStepShowsTheKindFourAlertAndClosesNothing) {
  fake.monitoringResults = {ZT_NO_ACTION, ZT_DRAWDOWN_STEP};
  ScriptedMarket market{{1000, 985, 978, 990}};
  const HostRun run = RunHost(kFakeApi, Options(), market.Make());
  const std::vector<std::string> tail(fake.calls.begin() + 2, fake.calls.end());
  const std::vector<std::string> expected = {"SetEquity 985.00 100.00 885.00 0",
                                             "SetEquity 978.00 100.00 878.00 0", "GetAlert 4",
                                             "SetEquity 990.00 100.00 890.00 0"};
  EXPECT_EQ(tail, expected);
  EXPECT_TRUE(market.closedAt.empty());
  ASSERT_EQ(run.events.size(), 2u);
  EXPECT_EQ(run.events[1].kind, EventKind::DrawdownStep);
  EXPECT_EQ(run.levels.size(), 2u);
  EXPECT_TRUE(run.cycles.empty());
}

TEST_F(HostDriver, AGuardThatDoesNotStartStopsTheHost) {
  fake.initResult = 0.0;
  ScriptedMarket market{{0, 985}};
  EXPECT_THROW(RunHost(kFakeApi, Options(), market.Make()), std::runtime_error);
  ASSERT_EQ(fake.calls.size(), 2u);  // the titles and InitZT, nothing after
}

TEST_F(HostDriver, TheHostsInitialEquityGoesToInitZt) {
  HostOptions options = Options();
  options.initialEquity = 5000;
  fake.initialEquityWritten = 5000;
  ScriptedMarket market{{1000}};
  const HostRun run = RunHost(kFakeApi, options, market.Make());
  EXPECT_EQ(fake.calls[1].rfind("InitZT 7 test 5000.00 1000.00", 0), 0u) << fake.calls[1];
  EXPECT_EQ(run.initialEquity, 5000.0);
}

TEST_F(HostDriver, EmailsGoOutOncePerCycleWhenTheHostsThresholdsAreCrossed) {
  HostOptions options = Options();
  options.email = {25.0, 0.0, 15.0};  // equity +25, drawdown 15
  // Ticks: -16 (drawdown e-mail), -20 (already sent), +31 (take profit, closes; no e-mail on a
  // close tick), then in the new cycle at 1031.5: -16.5 (drawdown again), +26.5 (equity target).
  fake.monitoringResults = {ZT_NO_ACTION, ZT_NO_ACTION, ZT_TAKE_PROFIT_HIT};
  fake.rollResults = {ZT_INCREASE_REACHED};
  ScriptedMarket market{{1000, 984, 980, 1031, 1015, 1058}};
  const HostRun run = RunHost(kFakeApi, options, market.Make());
  EXPECT_EQ(fake.calls[2], "SetEmailProp 25.00 0.00 15.00");
  std::vector<int> kinds;
  std::vector<std::int64_t> ticks;
  for (const HostEvent& event : run.events) {
    if (event.kind != EventKind::Email) continue;
    kinds.push_back(event.emailKind);
    ticks.push_back(event.tick);
    EXPECT_EQ(event.text, "subject " + std::to_string(event.emailKind));
    ASSERT_EQ(event.body.size(), 6u);
    EXPECT_EQ(event.body[5], "part 5");  // without its line feed
  }
  EXPECT_EQ(kinds, (std::vector<int>{2, 2, 0}));
  EXPECT_EQ(ticks, (std::vector<std::int64_t>{1, 4, 5}));
  // The body names the host's current increase target: 1100 before, 1200 after one was reached.
  int before = 0, after = 0;
  for (const std::string& call : fake.calls) {
    if (call == "GetEmailText 3 2 1100.00") ++before;
    if (call == "GetEmailText 3 0 1200.00" || call == "GetEmailText 3 2 1200.00") ++after;
  }
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 2);
}

TEST_F(HostDriver, NoThresholdsNoEmailProperties) {
  ScriptedMarket market{{1000, 900, 1100}};
  const HostRun run = RunHost(kFakeApi, Options(), market.Make());
  for (const std::string& call : fake.calls)
    EXPECT_EQ(call.rfind("SetEmailProp", 0), std::string::npos);
  for (const HostEvent& event : run.events) EXPECT_NE(event.kind, EventKind::Email);
}

TEST_F(HostDriver, ALongRunThinsItsCurveButKeepsItsEndsExtremesAndDeepestDrawdown) {
  // A walk long enough to thin the curve twice, with one spike that must survive.
  std::vector<double> walk = {1000.0};
  std::uint64_t state = 12345;
  for (std::size_t i = 1; i < 3 * kCurvePoints; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    walk.push_back(walk.back() + static_cast<double>(state >> 40) / 16777216.0 - 0.5);
  }
  walk[200000] -= 500.0;
  ScriptedMarket market{walk};
  const HostRun run = RunHost(kFakeApi, Options(), market.Make());
  fake.calls.clear();

  EXPECT_GT(run.curveSeconds, 0);
  EXPECT_LT(run.equity.size(), kCurvePoints);
  EXPECT_EQ(run.equity.front().equity, walk.front());
  EXPECT_EQ(run.equity.back().equity, walk.back());
  double low = walk[0], high = walk[0];
  for (std::size_t i = 1; i < run.equity.size(); ++i) {
    // Every point kept is a tick of the walk, in order.
    ASSERT_LT(run.equity[i - 1].time, run.equity[i].time);
    ASSERT_EQ(run.equity[i].equity, walk[static_cast<std::size_t>(run.equity[i].time - 1000) / 60]);
    low = std::min(low, run.equity[i].equity);
    high = std::max(high, run.equity[i].equity);
  }
  EXPECT_EQ(low, *std::min_element(walk.begin(), walk.end()));
  EXPECT_EQ(high, *std::max_element(walk.begin(), walk.end()));
  std::vector<EquityPoint> full;
  for (std::size_t i = 0; i < walk.size(); ++i) full.push_back({market.Figures(i).time, walk[i]});
  ASSERT_TRUE(run.deepestDrawdown.has_value());
  EXPECT_EQ(*run.deepestDrawdown, FindDeepestDrawdown(full));
}

TEST_F(HostDriver, ALongRunOfClosesHandsOnEveryEventButKeepsOnlyWhatItShows) {
  // A close every other tick, far past what a chart or a log's tail shows: every event goes to the
  // sink complete and in order (every cycle to its own), while the run keeps only the latest events
  // and cycles and a thinned history of the levels; the counts still hold every one.
  constexpr std::size_t kKept = 100;
  const std::size_t ticks = 2 * kCurvePoints + 1000;
  for (std::size_t i = 1; i <= ticks; ++i)
    fake.monitoringResults.push_back(i % 2 == 0 ? ZT_TAKE_PROFIT_HIT : ZT_NO_ACTION);
  HostOptions options = Options();
  options.eventsKept = options.cyclesKept = kKept;
  std::int64_t handed = 0, lastTick = -1, incomplete = 0;
  options.eventSink = [&](const HostEvent& event) {
    ++handed;
    if (event.tick < lastTick) ++incomplete;
    if (event.kind == EventKind::TakeProfitClose && event.closeDurationMs != 1500) ++incomplete;
    lastTick = event.tick;
  };
  std::int64_t cyclesHanded = 0, lastCloseTime = 0;
  options.cycleSink = [&](const CycleRecord& cycle) {
    ++cyclesHanded;
    lastCloseTime = cycle.closeTime;
  };
  ScriptedMarket market{std::vector<double>(ticks + 1, 1000.0)};
  const HostRun run = RunHost(kFakeApi, options, market.Make());
  fake.calls.clear();

  const auto closes = static_cast<std::int64_t>(ticks / 2);
  EXPECT_EQ(CountEvents(run, EventKind::TakeProfitClose), closes);
  EXPECT_EQ(handed, closes + 1);  // and the start
  EXPECT_EQ(incomplete, 0);
  EXPECT_EQ(run.events.size(), kKept);
  EXPECT_EQ(run.eventsLeftOut + static_cast<std::int64_t>(kKept), handed);
  EXPECT_EQ(run.events.back().tick, static_cast<std::int64_t>(ticks));
  EXPECT_EQ(run.cycles.size(), kKept);
  EXPECT_EQ(run.cyclesLeftOut + static_cast<std::int64_t>(kKept), run.tally.cycles);
  EXPECT_EQ(cyclesHanded, run.tally.cycles);
  EXPECT_EQ(lastCloseTime, run.cycles.back().closeTime);
  EXPECT_GT(run.levelSeconds, 0);
  EXPECT_LT(run.levels.size(), kCurvePoints);
  EXPECT_EQ(run.levels.front().time, market.Figures(0).time);
  EXPECT_EQ(run.levels.back().time, market.Figures(ticks).time);
}

TEST(ReadAmounts, ReadsListsAsTheGuardDoes) {
  struct Case {
    const char* text;
    std::vector<double> amounts;
  };
  const Case cases[] = {
      {"1100,1200", {1100, 1200}},
      {"0, 500, 1000", {500, 1000}},
      {"-50", {50}},
      {"500,", {500}},
      {"", {}},
      {"1;2;3;4;5;6;7;8;9;10", {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadAmounts(c.text), c.amounts) << c.text;
}

}  // namespace
}  // namespace zt::sim
