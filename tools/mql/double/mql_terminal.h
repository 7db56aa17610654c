// mql_terminal.h - the scripted terminal: the account, quotes, order pool, trade refusals, clock,
// chart objects and the messages an EA sends, all of it state a scenario test sets and reads.
// Every MQL function of the double works on Terminal::current through T(). It also loads a
// private copy of the real zentravo.so for the EA's #import block (library()).
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <functional>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "exports.h"
#include "mql_types.h"
#include "zentravo.h"

namespace mql {

// The exports of zentravo.so are the shared table of tools/common/exports.h, typed from
// include/zentravo.h: an #import line whose parameters differ from the library's does not compile
// against it.
using ZentravoExports = zt::tools::Exports;

struct Order {
    int ticket;
    string symbol;
    int type;        // OP_*
    double lots;
    double profit;   // floating result in the account currency
    long long openTime;
};

struct Quote {
    double bid, ask, point;
    int digits;
};

struct TradeCall {  // every OrderClose / OrderDelete the EA made, in order
    string function;
    int ticket;
    double price;
    int slippage;
    int error;  // 0 when it went through
};

struct Mail {
    string subject, body;
};

struct ChartObject {
    int type = 0;
    std::map<int, long long> integers;
    std::map<int, string> strings;
};

class Terminal {
public:
    // Makes a terminal data folder with its own copy of the library: each Terminal loads a fresh
    // library instance (fresh process-wide state, its own zentravo.ini).
    explicit Terminal(const string& libraryFile) {
        char pattern[] = "/tmp/zt-mql-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        dataFolder = pattern;
        std::filesystem::create_directories(dataFolder + "/MQL4/Libraries");
        libraryCopy = dataFolder + "/MQL4/Libraries/zentravo.so";
        std::filesystem::copy_file(libraryFile, libraryCopy);
        quotes["EURUSD"] = {1.10000, 1.10010, 0.00001, 5};
        current = this;
    }
    ~Terminal() {
        if (handle_) dlclose(handle_);
        std::error_code ec;
        std::filesystem::remove_all(dataFolder, ec);
        if (current == this) current = nullptr;
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Account and connection.
    long long login = 123456;
    string server = "Broker-Demo";
    double balance = 10000.0, credit = 0.0, margin = 0.0;
    long long leverage = 100;
    bool connected = true, tradeAllowed = true, dllsAllowed = true, tester = false;
    bool contextBusy = false;   // another EA is trading: the terminal's one trade thread is taken
    bool autoTrading = true;    // the terminal's AutoTrading button (tradeAllowed: the EA's own box)
    bool mailEnabled = true, pushEnabled = true;  // Tools - Options - Email / Notifications
    int screenDpi = 96;  // Windows' display scaling: 96 at 100 %, 144 at 150 %
    bool pushWorks = true;
    bool metaQuotesId = true;  // Tools - Options - Notifications holds a MetaQuotes ID
    std::vector<uint> pushTimes;  // GetTickCount() of every push the terminal took
    double priceJump = 0.0;  // how far the market moves between reading a quote and a close
    int timerMs = 0;         // the EA's timer interval, 0 when it has none
    int redraws = 0;
    // The chart the EA is attached to.
    string chartSymbol = "EURUSD";
    int chartPeriod = 60;
    int chartHandle = 0x2001;
    // Market.
    std::map<string, Quote> quotes;
    std::vector<Order> orders;
    std::vector<Order> history;  // closed deals; balance operations have type 6 (OP_BALANCE)
    bool selectedHistory = false;
    std::deque<int> closeErrors;  // the next OrderClose/OrderDelete calls fail with these codes
    bool fifo = false;            // the broker refuses a close while an older same-symbol order is open
    // An MQL5 netting account (ACCOUNT_MARGIN_MODE_RETAIL_NETTING): one position per symbol, which
    // every new market deal on the symbol adds to or reduces. false: hedging (MQL4's order pool).
    bool netting = false;
    std::deque<double> partialFills;  // the next position closes fill only this volume each
    // What the market does after each trade call that goes through, one step per call: another
    // EA opens a trade, a kept stop order fills.
    std::deque<std::function<void(Terminal&)>> duringClose;
    uint tickCount = 1000;        // GetTickCount(); Sleep advances it
    // What the EA did.
    std::vector<string> alerts, prints;
    std::vector<Mail> mails;
    std::vector<string> pushes;
    bool mailWorks = true;
    std::vector<TradeCall> trades;
    std::vector<string> calls;  // the library exports the EA called, in order
    std::map<string, double> globals;  // the terminal's global variables (F3)
    bool accountKnown = true;   // false: a terminal started without a connection reports 0
    std::map<string, ChartObject> objects;
    int lastError = 0;
    int selected = -1;  // index into orders

    string dataFolder, libraryCopy;
    static inline Terminal* current = nullptr;

    double equity() const {
        if (!accountKnown) return 0.0;
        double e = balance + credit;
        for (const auto& o : orders)
            if (o.type <= OP_SELL) e += o.profit;
        return e;
    }
    // A deposit (positive) or withdrawal (negative): the balance moves, the history records it.
    void balanceOperation(double amount) {
        balance += amount;
        history.push_back({nextTicket_++, "", 6, 0.0, amount, ++clock_});
    }
    // A new order or deal. On a netting account a market deal on a symbol that has a position
    // adds to it in the same direction; the other way it closes that much of it first (its share
    // of the floating result goes to the balance), and what is left of the deal opens the
    // reversed position.
    void openOrder(const string& symbol, int type, double lots, double profit) {
        if (netting && type <= OP_SELL) {
            auto it = std::find_if(orders.begin(), orders.end(), [&](const Order& o) {
                return o.symbol == symbol && o.type <= OP_SELL;
            });
            if (it != orders.end() && it->type == type) {
                it->lots += lots;
                it->profit += profit;
                return;
            }
            if (it != orders.end()) {
                const double closed = std::min(lots, it->lots);
                reduce(*it, closed);
                lots -= closed;
                if (it->lots <= 1e-9) orders.erase(it);
                if (lots <= 1e-9) return;
            }
        }
        orders.push_back({nextTicket_++, symbol, type, lots, profit, ++clock_});
    }
    // Closes volume of a position: that share of its floating result is booked to the balance.
    void reduce(Order& position, double volume) {
        const double realised = position.profit * volume / position.lots;
        balance += realised;
        position.profit -= realised;
        position.lots -= volume;
    }
    // A trade call went through: the market's next step, if one is scripted.
    void traded() {
        if (duringClose.empty()) return;
        auto next = std::move(duringClose.front());
        duringClose.pop_front();
        next(*this);
    }
    // A pending order is triggered: it becomes a market order of its direction, same ticket.
    void fill(int ticket) {
        for (Order& o : orders)
            if (o.ticket == ticket && o.type > OP_SELL) o.type = (o.type % 2 == 0) ? OP_BUY : OP_SELL;
    }
    // The text of a chart label, "" when there is none.
    string label(const string& name) const {
        auto it = objects.find(name);
        if (it == objects.end()) return {};
        auto text = it->second.strings.find(OBJPROP_TEXT);
        return text == it->second.strings.end() ? string() : text->second;
    }
    string windowTitle() const {
        return std::to_string(login) + ": " + server + " - Demo Account";
    }

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

    // Refuses the next trade call when the script or the market says so; 0 when it goes through.
    int tradeError(const Order& order, double price, int slippage, bool close) {
        if (!connected) return ERR_NO_CONNECTION;
        if (!tradeAllowed) return ERR_TRADE_NOT_ALLOWED;
        if (!closeErrors.empty()) {
            int e = closeErrors.front();
            closeErrors.pop_front();
            return e;
        }
        if (close && fifo) {
            for (const auto& o : orders)
                if (o.symbol == order.symbol && o.type <= OP_SELL && o.openTime < order.openTime)
                    return ERR_TRADE_PROHIBITED_BY_FIFO;
        }
        if (close) {
            const Quote& q = quotes.at(order.symbol);
            const double market = (order.type == OP_BUY ? q.bid : q.ask) - priceJump;
            if (std::fabs(price - market) > slippage * q.point + 1e-12) return ERR_REQUOTE;
        }
        return 0;
    }

private:
    void* handle_ = nullptr;
    ZentravoExports exports_{};
    int nextTicket_ = 1001;
    long long clock_ = 0;
};

inline Terminal& T() {
    if (!Terminal::current) throw CriticalError("no terminal");
    return *Terminal::current;
}

// What an #import block calls: the terminal loads the named library on first use and notes
// which export the EA called, so a scenario can tell what the library was told.
inline ZentravoExports& library(const char* name, const char* function) {
    T().calls.push_back(function);
    return T().load(name);
}

}  // namespace mql
