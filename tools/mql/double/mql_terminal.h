// mql_terminal.h - the scripted terminal: the account, quotes, order pool, trade refusals, clock,
// chart objects and the messages an EA sends, all of it state a scenario test sets and reads.
// Every MQL function of the double works on Terminal::current through T(). It also loads a
// private copy of the real zentravo.so for the EA's #import block (library()). What it keeps is
// in mql_records.h; its market (orders, deals, refusals) in mql_market.h.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "mql_records.h"

namespace mql {

class Terminal {
 public:
  // Makes a terminal data folder with its own copy of the library: each Terminal loads a fresh
  // library instance (fresh process-wide state, its own zentravo.ini).
  // The account is funded with 10000.00 a month ago (fund() changes the amount).
  explicit Terminal(const string& libraryFile) {
    char pattern[] = "/tmp/zt-mql-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dataFolder = pattern;
    commonFolder = dataFolder + "/Common/Files";
    std::filesystem::create_directories(dataFolder + "/MQL4/Libraries");
    std::filesystem::create_directories(dataFolder + "/MQL4/Files");
    std::filesystem::create_directories(commonFolder);
    libraryCopy = dataFolder + "/MQL4/Libraries/zentravo.so";
    std::filesystem::copy_file(libraryFile, libraryCopy);
    quotes["EURUSD"] = {1.10000, 1.10010, 0.00001, 5};
    current = this;
    fund(10000.0);
  }
  ~Terminal() {
    closeFiles();
    if (handle_) dlclose(handle_);
    std::error_code ec;
    std::filesystem::remove_all(dataFolder, ec);
    if (current == this) current = nullptr;
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Account and connection. Before it has logged in, a terminal reports login 0 and no server.
  long long login = 123456;
  string server = "Broker-Demo";
  double balance = 0.0, credit = 0.0, margin = 0.0;
  long long leverage = 100;
  bool connected = true, tradeAllowed = true, dllsAllowed = true, tester = false;
  bool terminalDllsAllowed =
      true;  // Tools - Options - Expert Advisors; dllsAllowed: the EA's own box
  bool accountTradeAllowed = true;  // false on a login with the investor (read-only) password
  bool expertTradeAllowed =
      true;                  // false where the broker lets no expert advisor trade the account
  bool quoteKnown = true;    // false: no quote yet since the start (no server time, no prices)
  bool timerFails = false;   // the terminal refuses every timer an EA asks for
  bool contextBusy = false;  // another EA is trading: the terminal's one trade thread is taken
  bool autoTrading = true;   // the terminal's AutoTrading button (tradeAllowed: the EA's own box)
  bool mailEnabled = true, pushEnabled = true;  // Tools - Options - Email / Notifications
  int screenDpi = 96;  // Windows' display scaling: 96 at 100 %, 144 at 150 %
  bool pushWorks = true;
  bool metaQuotesId = true;     // Tools - Options - Notifications holds a MetaQuotes ID
  std::vector<uint> pushTimes;  // GetTickCount() of every push the terminal took
  double priceJump = 0.0;       // how far the market moves between reading a quote and a close
  int timerMs = 0;              // the EA's timer interval, 0 when it has none
  int redraws = 0;
  // The chart the EA is attached to.
  string chartSymbol = "EURUSD";
  int chartPeriod = 60;
  int chartHandle = 0x2001;
  // Market.
  std::map<string, Quote> quotes;
  std::vector<Order> orders;
  std::vector<Order> history;  // closed orders and bookings (BookingKind), oldest first
  // MT4's Account History tab: only records closed from historyFrom to historyTo are loaded (what
  // OrdersHistoryTotal counts); 0 and 0 is "All History", historyTo 0 a period that reaches today.
  // Until the terminal has loaded it (historyLoaded), the tab holds nothing at all.
  long long historyFrom = 0, historyTo = 0;
  bool historyLoaded = true;
  // Records the server has booked and the terminal has not received yet (a history still
  // synchronising, a record that comes after its balance change): land() delivers them.
  std::vector<Order> inTransit;
  // The server time of the last quote, which TimeCurrent returns: it stands still while the
  // markets are closed. 0: quotes keep coming, it follows the clock.
  long long lastQuote = 0;
  std::vector<size_t> selectedDeals;  // MQL5's HistorySelect: the deals in its range, by index
  bool selectedHistory = false;
  std::deque<int> closeErrors;  // the next OrderClose/OrderDelete calls fail with these codes
  bool fifo = false;  // the broker refuses a close while an older same-symbol order is open
  std::vector<string> closedMarkets;  // symbols whose market is closed (a weekend, a holiday)
  // An MQL5 netting account (ACCOUNT_MARGIN_MODE_RETAIL_NETTING): one position per symbol, which
  // every new market deal on the symbol adds to or reduces. false: hedging (MQL4's order pool).
  bool netting = false;
  std::deque<double> partialFills;  // the next position closes fill only this volume each
  // What the market does after each trade call that goes through, one step per call: another
  // EA opens a trade, a kept stop order fills.
  std::deque<std::function<void(Terminal&)>> duringClose;
  uint tickCount = 1000;  // GetTickCount(); Sleep advances it
  // What the EA did.
  std::vector<string> alerts, prints;
  std::vector<Mail> mails;
  std::vector<string> pushes;
  bool mailWorks = true;
  std::vector<TradeCall> trades;
  std::vector<string> calls;         // the library exports the EA called, in order
  std::map<string, Global> globals;  // the terminal's global variables (F3)
  // The global variables as the terminal last wrote them to disk: at GlobalVariablesFlush and
  // at a clean shutdown (shutDownGlobals). A crash leaves only these.
  std::map<string, Global> savedGlobals;
  long long daysPassed = 0;  // calendar days the clock has moved on beyond GetTickCount (passDays)
  bool accountKnown = true;  // false: a terminal started without a connection reports 0
  std::map<string, ChartObject> objects;
  std::map<int, OpenFile> openFiles;  // the EA's open files by handle
  int nextFile = 1;
  bool filesWritable = true;  // false: the disk refuses every write (full, or read-only)
  int lastError = 0;
  int selected = -1;  // index into orders

  string dataFolder, libraryCopy;
  string commonFolder;  // Terminal\\Common\\Files, which every terminal of the computer shares
  static inline Terminal* current = nullptr;

  // The terminal's clock in seconds since 1970 (TimeLocal): GetTickCount's.
  long long now() const { return 1700000000LL + daysPassed * 86400LL + tickCount / 1000; }
  // The terminal's sandbox for an EA's files (MQL4\Files, MQL5\Files).
  string filesFolder() const { return dataFolder + "/MQL4/Files"; }

  double equity() const {
    if (!accountKnown) return 0.0;
    double e = balance + credit;
    for (const auto& o : orders)
      if (o.type <= OP_SELL && !o.placed) e += o.result();
    return e;
  }
  // A deposit (positive) or withdrawal (negative): the balance moves, the history records it.
  // Credit moves the account's credit, every other booking its balance. A record that arrives
  // late reaches the history only at land(), after its change of the balance.
  void balanceOperation(double amount, int kind = BOOK_BALANCE, bool recordArrivesLate = false) {
    (kind == BOOK_CREDIT ? credit : balance) += amount;
    Order record{nextTicket_++, "", kind, 0.0, amount, ++clock_, now()};
    (recordArrivesLate ? inTransit : history).push_back(record);
  }
  // The account's first deposit, a month before now: the balance the history explains.
  void fund(double amount) {
    auto first = std::find_if(history.begin(), history.end(),
                              [this](const Order& o) { return o.ticket == fundingTicket_; });
    if (first == history.end()) {
      fundingTicket_ = nextTicket_++;
      history.insert(history.begin(),
                     {fundingTicket_, "", BOOK_BALANCE, 0.0, 0.0, ++clock_, now() - 30 * 86400LL});
      first = history.begin();
    }
    balance += amount - first->profit;
    first->profit = amount;
  }
  // The records in transit reach the terminal's history.
  void land() {
    history.insert(history.end(), inTransit.begin(), inTransit.end());
    inTransit.clear();
  }
  // What the terminal does with an EA it attaches to a chart: OnInit, and OnDeinit with
  // REASON_INITFAILED when OnInit returns anything but INIT_SUCCEEDED.
  template <class Program>
  int attach(Program& ea) {
    const int result = ea.OnInit();
    if (result != INIT_SUCCEEDED) ea.OnDeinit(REASON_INITFAILED);
    return result;
  }
  // The terminal closes cleanly and starts again (the EA object is made anew by the test): the
  // EA gets OnDeinit(REASON_CLOSE), the globals are written, the library is unloaded and loaded
  // afresh, its files and the EA's files stay, charts lose their objects and come back as new
  // windows.
  template <class Program>
  void restart(Program& ea) {
    ea.OnDeinit(REASON_CLOSE);
    shutDownGlobals();
    unload();
  }
  // The trader closes the EA's chart (or loads a profile without it): OnDeinit(REASON_CHARTCLOSE),
  // and the chart's objects go with it.
  template <class Program>
  void closeChart(Program& ea) {
    ea.OnDeinit(REASON_CHARTCLOSE);
    objects.clear();
  }
  // A template is applied to the EA's chart: OnDeinit(REASON_TEMPLATE); an EA the template holds
  // starts again as a new program (the test makes it).
  template <class Program>
  void applyTemplate(Program& ea) {
    ea.OnDeinit(REASON_TEMPLATE);
  }
  // The trader changes the EA's inputs and presses OK: OnDeinit(REASON_PARAMETERS), the new values,
  // OnInit on the same program, and OnDeinit(REASON_INITFAILED) when it refuses them.
  template <class Program, class Change>
  int changeInputs(Program& ea, Change change) {
    ea.OnDeinit(REASON_PARAMETERS);
    change(ea);
    return attach(ea);
  }
  // The library unloaded, the EA's files closed and the charts gone, as the terminal process
  // ends; a terminal started again makes its chart windows anew.
  void unload() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    exports_ = {};
    objects.clear();
    closeFiles();
    timerMs = 0;
    lastError = 0;
    chartHandle += 0x10;
  }
  // Every file the EA has open is let go, its writes on the disk.
  void closeFiles() {
    for (auto& [path, uses] : filesInUse())
      std::erase_if(uses, [this](const FileUse& use) { return use.terminal == this; });
    openFiles.clear();
  }
  // Another program holds the library's settings file so that it cannot be read (on Windows a
  // sync tool or scanner that opens it without sharing; here, where nothing holds a file against
  // readers, a folder stands in its place), until releaseSettings gives it back as it was.
  string settingsFile() const { return dataFolder + "/MQL4/Libraries/zentravo.ini"; }
  void holdSettings() {
    if (std::filesystem::exists(settingsFile()))
      std::filesystem::rename(settingsFile(), settingsFile() + ".held");
    std::filesystem::create_directory(settingsFile());
  }
  void releaseSettings() {
    std::filesystem::remove(settingsFile());
    if (std::filesystem::exists(settingsFile() + ".held"))
      std::filesystem::rename(settingsFile() + ".held", settingsFile());
  }
  // A second terminal on this computer: it shares this one's common files folder.
  void shareCommonFolderWith(const Terminal& other) { commonFolder = other.commonFolder; }
  // Scenario steps act on the terminal the EA they drive runs in.
  void activate() { current = this; }
  // The trader copies another terminal's Libraries folder over this one's: the library's
  // settings and statistics files come along (the library itself is this terminal's own copy).
  void copyLibrariesFrom(const Terminal& other) {
    for (const auto& entry :
         std::filesystem::directory_iterator(other.dataFolder + "/MQL4/Libraries"))
      if (entry.path().filename() != "zentravo.so")
        std::filesystem::copy_file(
            entry.path(), dataFolder + "/MQL4/Libraries/" + entry.path().filename().string(),
            std::filesystem::copy_options::overwrite_existing);
  }
  // A new order or deal. On a netting account a market deal on a symbol that has a position
  // adds to it in the same direction; the other way it closes that much of it first (its share
  // of the floating result goes to the balance), and what is left of the deal opens the
  // reversed position.
  void openOrder(const string& symbol, int type, double lots, double profit);
  // Closes volume of a position (MQL5): that share of its floating result goes to the balance,
  // and a deal of its own records it in the history.
  void reduce(Order& position, double volume);
  // MQL4's partial close: the part closed goes to the history under the order's ticket, and what
  // is left reopens under a new ticket, as old as the order, with the comment "from #ticket".
  void closePart(Order& order, double volume);
  // The exchange fills every order it placed: a close takes its volume of its position, a deal
  // on a symbol trades as a new one would (on a netting account against the position); the
  // order goes.
  void executePlaced();
  // The broker cancels a deal of the history (MQL5): its type becomes the canceled one, its
  // result is zeroed, and a balance operation of its own takes the result back.
  void cancelDeal(int ticket);
  // A pending order is triggered: it becomes a market order of its direction, same ticket.
  void fill(int ticket);
  // Refuses the next trade call when the script or the market says so; 0 when it goes through.
  int tradeError(const Order& order, double price, int slippage, bool close);
  // A new ticket and opening moment, for an order the double makes outside openOrder.
  int newTicket() { return nextTicket_++; }
  long long newOpenTime() { return ++clock_; }
  // A trade call went through: the market's next step, if one is scripted.
  void traded() {
    if (duringClose.empty()) return;
    auto next = std::move(duringClose.front());
    duringClose.pop_front();
    next(*this);
  }
  // Whole days go by on the calendar (a weekend, a holiday, the trader away): TimeLocal moves
  // on by them, GetTickCount does not.
  void passDays(int days) { daysPassed += days; }
  // The terminal deletes a global variable four weeks after its last access; the double does
  // so whenever a program looks at its global variables.
  void expireGlobals() {
    std::erase_if(globals,
                  [this](const auto& g) { return now() - g.second.accessed >= 28 * 86400LL; });
  }
  // GlobalVariablesFlush: every global variable but the temporary ones is written to disk.
  void saveGlobals() {
    savedGlobals.clear();
    for (const auto& [name, global] : globals)
      if (!global.temporary) savedGlobals.emplace(name, global);
  }
  // A clean shutdown writes the global variables; the temporary ones end with the session.
  void shutDownGlobals() {
    saveGlobals();
    globals = savedGlobals;
  }
  // The terminal process dies (a crash, a power cut): every global variable set since the last
  // flush or clean shutdown is lost, and it starts again.
  void crash() {
    globals = savedGlobals;
    unload();
  }
  // The text of a chart label, "" when there is none.
  string label(const string& name) const {
    auto it = objects.find(name);
    if (it == objects.end()) return {};
    auto text = it->second.strings.find(OBJPROP_TEXT);
    return text == it->second.strings.end() ? string() : text->second;
  }
  string windowTitle() const { return std::to_string(login) + ": " + server + " - Demo Account"; }

  int callsOf(const string& function) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), function));
  }

  ZentravoExports& load(const string& name) {
    if (name != "zentravo.dll") throw CriticalError("cannot load " + name);
    if (!handle_) {
      handle_ = dlopen(libraryCopy.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle_) throw CriticalError(string("cannot load zentravo.so: ") + dlerror());
      const char* missing = zt::tools::BindExports(exports_, [this](const char* symbol) {
        return reinterpret_cast<void (*)()>(dlsym(handle_, symbol));
      });
      if (missing) throw CriticalError(string("zentravo.so lacks ") + missing);
    }
    // A terminal has real windows whose titles the library reads; here the double names them.
    const string frame = chartSymbol + ",H1";
    const string main = windowTitle();
    exports_.SetWindowTitles(chartHandle, frame.c_str(), main.c_str());
    return exports_;
  }
  // The library as the test sees it (the same instance the EA calls).
  ZentravoExports& library() { return load("zentravo.dll"); }

 private:
  // Books the part of a position a close takes (part, with the volume closed): its share of the
  // floating result, swap and commission goes to the balance and, as part, into the history, and
  // leaves the position.
  void bookPart(Order& position, Order part, double volume);

  void* handle_ = nullptr;
  ZentravoExports exports_{};
  int nextTicket_ = 1001;
  long long clock_ = 0;
  int fundingTicket_ = 0;  // the account's first deposit (fund)
};

inline Terminal& T() {
  if (!Terminal::current) throw CriticalError("no terminal");
  return *Terminal::current;
}

// What an #import block calls: the terminal loads the named library on first use and notes
// which export the EA called, so a scenario can tell what the library was told. With DLL imports
// not allowed the call stops the EA (docs.mql4.com/check/isdllsallowed).
inline ZentravoExports& library(const char* name, const char* function) {
  if (!T().dllsAllowed || !T().terminalDllsAllowed)
    throw CriticalError(string("DLL imports are not allowed: the EA called ") + function + " in " +
                        name);
  T().calls.push_back(function);
  return T().load(name);
}

}  // namespace mql
