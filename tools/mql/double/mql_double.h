// mql_double.h - the terminal double: the MQL functions and constants the shipped expert advisors
// use, over a scripted terminal a scenario test controls (account, quotes, orders, trade errors,
// clock, chart objects, alerts and e-mails). Translated EAs (see ../translator.h) compile against
// it; their #import block reaches the real zentravo.so through library().
//
// Signatures follow the MQL4 reference (docs.mql4.com), the mql5 namespace the MQL5 one
// (www.mql5.com/en/docs); each function names its page. Constants take the reference's number
// where it prints one (uninitialisation reasons, MarketInfo modes, OP_*, error and trade return
// codes, the ObjectSet indexes of OBJPROP_*). The property enumerations (TERMINAL_*, SYMBOL_*,
// CHART_*, OBJ_*, ACCOUNT_*, MQL_*, POSITION_*, DEAL_*) are listed there by name only: their
// numbers here are the double's own, and no EA may depend on them. Types keep
// their MQL widths: int 32 bits, long 64, color and uint unsigned 32, datetime a 64-bit count of
// seconds. An MQL "critical error" (array out of range, a DLL that will not load) stops the EA in
// a terminal; here it throws mql::CriticalError so the scenario fails loudly.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "exports.h"
#include "zentravo.h"

namespace mql {

using uchar = unsigned char;
using ushort = unsigned short;
using uint = unsigned int;
using ulong = unsigned long;  // the same type as glibc's ulong, so the two names do not clash
static_assert(sizeof(ulong) == 8, "MQL ulong is 64 bits");
using color = uint;
using datetime = long long;
using string = std::string;

struct CriticalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An MQL array: dynamic ("T a[]") or fixed ("T a[N]"). bool is stored as char so that the bytes
// of every array are addressable, as the terminal's are.
template <class T>
class array {
public:
    using stored = std::conditional_t<std::is_same_v<T, bool>, char, T>;
    array() = default;
    explicit array(int size) : values_(static_cast<size_t>(size)), fixed_(true) {}
    stored& operator[](int index) {
        if (index < 0 || index >= size()) throw CriticalError("array out of range");
        return values_[static_cast<size_t>(index)];
    }
    int size() const { return static_cast<int>(values_.size()); }
    bool fixed() const { return fixed_; }
    std::vector<stored>& values() { return values_; }
    stored* data() { return values_.data(); }

private:
    std::vector<stored> values_;
    bool fixed_ = false;
};

// The bytes a DLL receives for a "uchar &text[]" parameter.
inline char* dll_bytes(array<uchar>& text) { return reinterpret_cast<char*>(text.data()); }

// ---- constants ------------------------------------------------------------------------------
// docs.mql4.com/basis/function/events (OnInit return codes)
enum ENUM_INIT_RETCODE { INIT_SUCCEEDED = 0, INIT_FAILED = 1, INIT_PARAMETERS_INCORRECT = 2 };
// docs.mql4.com/constants/namedconstants/uninit (the reason OnDeinit receives)
enum {
    REASON_PROGRAM = 0, REASON_REMOVE = 1, REASON_RECOMPILE = 2, REASON_CHARTCHANGE = 3,
    REASON_CHARTCLOSE = 4, REASON_PARAMETERS = 5, REASON_ACCOUNT = 6, REASON_TEMPLATE = 7,
    REASON_INITFAILED = 8, REASON_CLOSE = 9
};
// docs.mql4.com/constants/objectconstants/webcolors
constexpr color clrNONE = 0xFFFFFFFFu, CLR_NONE = 0xFFFFFFFFu, clrSilver = 0xC0C0C0u,
                clrWhite = 0xFFFFFFu, clrRed = 0x0000FFu, clrYellow = 0x00FFFFu;
// docs.mql4.com/constants/tradingconstants/orderproperties
enum { OP_BUY = 0, OP_SELL, OP_BUYLIMIT, OP_SELLLIMIT, OP_BUYSTOP, OP_SELLSTOP, OP_BALANCE };
// docs.mql4.com/trading/orderselect
enum { SELECT_BY_POS = 0, SELECT_BY_TICKET = 1, MODE_TRADES = 0, MODE_HISTORY = 1 };
// docs.mql4.com/constants/environment_state/marketinfoconstants
enum { MODE_POINT = 11, MODE_DIGITS = 12, MODE_BID = 9, MODE_ASK = 10 };
// docs.mql4.com/constants/objectconstants/enum_object
enum ENUM_OBJECT { OBJ_LABEL = 23 };
// docs.mql4.com/constants/objectconstants/enum_object_property
enum ENUM_OBJECT_PROPERTY_INTEGER {
    OBJPROP_COLOR = 6, OBJPROP_FONTSIZE = 100, OBJPROP_XDISTANCE = 102, OBJPROP_YDISTANCE = 103,
    OBJPROP_CORNER = 101, OBJPROP_SELECTABLE = 1000
};
enum ENUM_OBJECT_PROPERTY_STRING { OBJPROP_TEXT = 999, OBJPROP_FONT = 1001 };
// docs.mql4.com/constants/objectconstants/enum_basecorner
enum ENUM_BASE_CORNER { CORNER_LEFT_UPPER = 0, CORNER_LEFT_LOWER, CORNER_RIGHT_LOWER, CORNER_RIGHT_UPPER };
// docs.mql4.com/constants/chartconstants/enum_chart_property
enum ENUM_CHART_PROPERTY_INTEGER { CHART_WINDOW_HANDLE = 0x100 };
// docs.mql4.com/constants/errorswarnings/errorcodes
enum {
    ERR_NO_ERROR = 0, ERR_NO_CONNECTION = 6, ERR_INVALID_PRICE = 129, ERR_MARKET_CLOSED = 132,
    ERR_TRADE_DISABLED = 133, ERR_REQUOTE = 138, ERR_TRADE_PROHIBITED_BY_FIFO = 150,
    ERR_INVALID_TICKET = 4108, ERR_TRADE_NOT_ALLOWED = 4109
};
constexpr int EMPTY = -1;
// docs.mql4.com/constants/io_constants/codepageusage
constexpr uint CP_ACP = 0;

// ---- the scripted terminal ------------------------------------------------------------------

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
    bool contextBusy = false;
    bool mailEnabled = true, pushEnabled = true;  // Tools - Options - Email / Notifications
    int screenDpi = 96;  // Windows' display scaling: 96 at 100 %, 144 at 150 %
    bool pushWorks = true;
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

// ---- printing -------------------------------------------------------------------------------

inline void append(std::ostringstream& out, double value) {
    // docs.mql4.com/common/print: doubles are shown with 8 digits after the point
    char text[64];
    std::snprintf(text, sizeof text, "%.8f", value);
    out << text;
}
inline void append(std::ostringstream& out, const string& value) { out << value; }
inline void append(std::ostringstream& out, const char* value) { out << value; }
template <class V>
std::enable_if_t<std::is_integral_v<V>> append(std::ostringstream& out, V value) { out << value; }

template <class... A>
string joined(const A&... args) {
    std::ostringstream out;
    (append(out, args), ...);
    return out.str();
}

// docs.mql4.com/common/alert
template <class... A>
void Alert(const A&... args) { T().alerts.push_back(joined(args...)); }
// docs.mql4.com/common/print
template <class... A>
void Print(const A&... args) { T().prints.push_back(joined(args...)); }

// ---- checkup and account --------------------------------------------------------------------

// docs.mql4.com/constants/environment_state/terminalstatus
enum ENUM_TERMINAL_INFO_INTEGER {
    TERMINAL_CONNECTED = 1, TERMINAL_TRADE_ALLOWED = 8, TERMINAL_EMAIL_ENABLED = 6,
    TERMINAL_NOTIFICATIONS_ENABLED = 26, TERMINAL_SCREEN_DPI = 27
};
// docs.mql4.com/check/terminalinfointeger
inline int TerminalInfoInteger(int property_id) {
    switch (property_id) {
        case TERMINAL_CONNECTED: return T().connected;
        case TERMINAL_TRADE_ALLOWED: return T().tradeAllowed;
        case TERMINAL_EMAIL_ENABLED: return T().mailEnabled;
        case TERMINAL_SCREEN_DPI: return T().screenDpi;
        default: return T().pushEnabled;
    }
}
// docs.mql4.com/common/sendnotification (a failed push leaves 4250, ERR_NOTIFICATION_SEND_FAILED)
inline bool SendNotification(string text) {
    T().pushes.push_back(text);
    if (!T().pushWorks) T().lastError = 4250;
    return T().pushWorks;
}
// docs.mql4.com/eventfunctions/eventsetmillisecondtimer
inline bool EventSetMillisecondTimer(int milliseconds) { T().timerMs = milliseconds; return true; }
// docs.mql4.com/eventfunctions/eventkilltimer
inline void EventKillTimer() { T().timerMs = 0; }
// docs.mql4.com/dateandtime/timelocal (the scripted clock: GetTickCount in seconds)
inline datetime TimeLocal() { return 1700000000LL + T().tickCount / 1000; }
// docs.mql4.com/dateandtime/timecurrent (the double's server time is its local time)
inline datetime TimeCurrent() { return TimeLocal(); }
// docs.mql4.com/globals/globalvariablecheck
inline bool GlobalVariableCheck(string name) { return T().globals.count(name) > 0; }
// docs.mql4.com/globals/globalvariableget
inline double GlobalVariableGet(string name) {
    auto it = T().globals.find(name);
    if (it == T().globals.end()) { T().lastError = 4058; return 0.0; }  // ERR_GLOBAL_VARIABLE_NOT_FOUND
    return it->second;
}
// docs.mql4.com/globals/globalvariableset
inline datetime GlobalVariableSet(string name, double value) {
    T().globals[name] = value;
    return TimeLocal();
}
// docs.mql4.com/globals/globalvariabledel
inline bool GlobalVariableDel(string name) { return T().globals.erase(name) > 0; }
// docs.mql4.com/globals/globalvariablestotal
inline int GlobalVariablesTotal() { return static_cast<int>(T().globals.size()); }
// docs.mql4.com/globals/globalvariablename
inline string GlobalVariableName(int index) {
    if (index < 0 || index >= GlobalVariablesTotal()) return {};
    return std::next(T().globals.begin(), index)->first;
}
// docs.mql4.com/check/getlasterror (reads and clears the last error)
inline int GetLastError() { int e = T().lastError; T().lastError = 0; return e; }
// docs.mql4.com/common/gettickcount
inline uint GetTickCount() { return T().tickCount; }
// docs.mql4.com/common/sleep (the scripted clock moves on; nothing waits)
inline void Sleep(int milliseconds) { T().tickCount += static_cast<uint>(milliseconds); }
// docs.mql4.com/common/sendmail
inline bool SendMail(string subject, string some_text) {
    T().mails.push_back({subject, some_text});
    return T().mailWorks;
}

// docs.mql4.com/constants/environment_state/marketinfoconstants
enum ENUM_SYMBOL_INFO_INTEGER { SYMBOL_DIGITS = 17 };
enum ENUM_SYMBOL_INFO_DOUBLE { SYMBOL_BID = 1, SYMBOL_ASK = 4, SYMBOL_POINT = 16 };
// docs.mql4.com/marketinformation/symbolinfointeger
inline long long SymbolInfoInteger(string name, ENUM_SYMBOL_INFO_INTEGER prop_id) {
    (void)prop_id;
    auto it = T().quotes.find(name);
    return it == T().quotes.end() ? 0 : it->second.digits;
}

// docs.mql4.com/marketinformation/symbolinfodouble
inline double SymbolInfoDouble(string name, ENUM_SYMBOL_INFO_DOUBLE prop_id) {
    auto it = T().quotes.find(name);
    if (it == T().quotes.end()) return 0.0;
    return prop_id == SYMBOL_BID ? it->second.bid : prop_id == SYMBOL_ASK ? it->second.ask : it->second.point;
}
// docs.mql4.com/convert/doubletostring (-1..-16: scientific; outside -16..16: 8 digits)
inline string DoubleToString(double value, int digits = 8) {
    char text[64];
    if (digits < 0 && digits >= -16) {
        std::snprintf(text, sizeof text, "%.*e", -digits, value);
        return text;
    }
    if (digits < 0 || digits > 16) digits = 8;
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

// ---- chart ------------------------------------------------------------------------------------

// docs.mql4.com/check/symbol
inline string Symbol() { return T().chartSymbol; }
// docs.mql4.com/check/period
inline int Period() { return T().chartPeriod; }
// docs.mql4.com/chart_operations/chartgetinteger
inline long long ChartGetInteger(long long chart_id, int prop_id, int sub_window = 0) {
    (void)chart_id; (void)sub_window;
    return prop_id == CHART_WINDOW_HANDLE ? T().chartHandle : 0;
}
// docs.mql4.com/chart_operations/chartredraw
inline void ChartRedraw(long long chart_id = 0) { (void)chart_id; ++T().redraws; }

// ---- objects (MQL4 keeps both the chart_id forms and the older name-only forms) ------------
// The EAs find their labels by name; they list no objects (ObjectsTotal, ObjectName).

// docs.mql4.com/objects/objectdelete
inline bool ObjectDelete(string object_name) { return T().objects.erase(object_name) > 0; }
inline bool ObjectDelete(long long chart_id, string object_name) { (void)chart_id; return ObjectDelete(object_name); }
// docs.mql4.com/objects/objectfind
inline int ObjectFind(string object_name) { return T().objects.count(object_name) ? 0 : -1; }
inline int ObjectFind(long long chart_id, string object_name) { (void)chart_id; return ObjectFind(object_name); }
// docs.mql4.com/objects/objectcreate
inline bool ObjectCreate(long long chart_id, string object_name, ENUM_OBJECT object_type, int sub_window,
                         datetime time1, double price1) {
    (void)chart_id; (void)sub_window; (void)time1; (void)price1;
    if (T().objects.count(object_name)) return false;
    T().objects[object_name].type = object_type;
    return true;
}
// docs.mql4.com/objects/objectsetinteger
inline bool ObjectSetInteger(long long chart_id, string object_name, int prop_id,
                             long long prop_value) {
    (void)chart_id;
    auto it = T().objects.find(object_name);
    if (it == T().objects.end()) return false;
    it->second.integers[prop_id] = prop_value;
    return true;
}
// docs.mql4.com/objects/objectsetstring
inline bool ObjectSetString(long long chart_id, string object_name, int prop_id,
                            string prop_value) {
    (void)chart_id;
    auto it = T().objects.find(object_name);
    if (it == T().objects.end()) return false;
    it->second.strings[prop_id] = prop_value;
    return true;
}

// ---- MQL4 only: the account, checkup and the order pool of the 32-bit terminal ---------
namespace mql4 {

// docs.mql4.com/check/isconnected
inline bool IsConnected() { return T().connected; }
// docs.mql4.com/check/istradeallowed
inline bool IsTradeAllowed() { return T().tradeAllowed; }
// docs.mql4.com/account/accountleverage
inline int AccountLeverage() { return static_cast<int>(T().leverage); }
// docs.mql4.com/account/accountnumber
inline int AccountNumber() { return static_cast<int>(T().login); }
// docs.mql4.com/account/accountserver
inline string AccountServer() { return T().server; }
// docs.mql4.com/check/isdllsallowed
inline bool IsDllsAllowed() { return T().dllsAllowed; }
// docs.mql4.com/check/istradecontextbusy
inline bool IsTradeContextBusy() { return T().contextBusy; }
// docs.mql4.com/check/istesting
inline bool IsTesting() { return T().tester; }
// docs.mql4.com/account/accountequity
inline double AccountEquity() { return T().equity(); }
// docs.mql4.com/account/accountmargin
inline double AccountMargin() { return T().margin; }
// docs.mql4.com/account/accountfreemargin
inline double AccountFreeMargin() { return T().equity() - T().margin; }
// docs.mql4.com/chart_operations/windowhandle
inline int WindowHandle(string symbol, int timeframe) {
    return symbol == T().chartSymbol && timeframe == T().chartPeriod ? T().chartHandle : 0;
}

// ---- trading ----------------------------------------------------------------------------------

// docs.mql4.com/trading/orderstotal
inline int OrdersTotal() { return static_cast<int>(T().orders.size()); }
// docs.mql4.com/trading/orderselect
inline bool OrderSelect(int index, int select, int pool = MODE_TRADES) {
    Terminal& t = T();
    t.selected = -1;
    t.selectedHistory = pool == MODE_HISTORY;
    if (t.selectedHistory) {
        if (select != SELECT_BY_POS || index < 0 || index >= static_cast<int>(t.history.size())) return false;
        t.selected = index;
        return true;
    }
    if (select == SELECT_BY_POS) {
        if (index < 0 || index >= OrdersTotal()) return false;
        t.selected = index;
        return true;
    }
    for (size_t i = 0; i < t.orders.size(); ++i)
        if (t.orders[i].ticket == index) t.selected = static_cast<int>(i);
    return t.selected >= 0;
}
inline const Order& selectedOrder() {
    Terminal& t = T();
    const auto& pool = t.selectedHistory ? t.history : t.orders;
    if (t.selected < 0 || t.selected >= static_cast<int>(pool.size())) throw CriticalError("no order selected");
    return pool[static_cast<size_t>(t.selected)];
}
// docs.mql4.com/trading/ordershistorytotal
inline int OrdersHistoryTotal() { return static_cast<int>(T().history.size()); }
// docs.mql4.com/trading/orderprofit
inline double OrderProfit() { return selectedOrder().profit; }
// docs.mql4.com/trading/orderticket
inline int OrderTicket() { return selectedOrder().ticket; }
// docs.mql4.com/trading/ordertype
inline int OrderType() { return selectedOrder().type; }
// docs.mql4.com/trading/orderlots
inline double OrderLots() { return selectedOrder().lots; }
// docs.mql4.com/trading/orderopentime
inline datetime OrderOpenTime() { return selectedOrder().openTime; }
// docs.mql4.com/trading/ordersymbol
inline string OrderSymbol() { return selectedOrder().symbol; }
// docs.mql4.com/series/refreshrates
inline bool RefreshRates() { return true; }
// docs.mql4.com/marketinformation/marketinfo
inline double MarketInfo(string symbol, int type) {
    auto it = T().quotes.find(symbol);
    if (it == T().quotes.end()) return 0.0;
    switch (type) {
        case MODE_BID: return it->second.bid;
        case MODE_ASK: return it->second.ask;
        case MODE_POINT: return it->second.point;
        case MODE_DIGITS: return it->second.digits;
        default: return 0.0;
    }
}

inline bool tradeCall(const char* function, int ticket, double price, int slippage, bool close) {
    Terminal& t = T();
    auto it = std::find_if(t.orders.begin(), t.orders.end(), [&](const Order& o) { return o.ticket == ticket; });
    int error = ERR_INVALID_TICKET;
    if (it != t.orders.end() && (close ? it->type <= OP_SELL : it->type > OP_SELL))
        error = t.tradeError(*it, price, slippage, close);
    t.trades.push_back({function, ticket, price, slippage, error});
    t.lastError = error;
    if (error != 0) return false;
    if (close) t.balance += it->profit;
    t.orders.erase(it);
    return true;
}
// docs.mql4.com/trading/orderclose (arrow_color may be left out: no arrow)
inline bool OrderClose(int ticket, double lots, double price, int slippage, color arrow_color = clrNONE) {
    (void)lots; (void)arrow_color;
    return tradeCall("OrderClose", ticket, price, slippage, true);
}
// docs.mql4.com/trading/orderdelete (arrow_color may be left out: no arrow)
inline bool OrderDelete(int ticket, color arrow_color = clrNONE) {
    (void)arrow_color;
    return tradeCall("OrderDelete", ticket, 0.0, 0, false);
}

}  // namespace mql4


// ---- MQL5 only: account, program, positions and orders, CTrade of the 64-bit terminal -------
namespace mql5 {

// www.mql5.com/en/docs/constants/environment_state/accountinformation
enum ENUM_ACCOUNT_INFO_DOUBLE { ACCOUNT_EQUITY = 13, ACCOUNT_MARGIN = 14, ACCOUNT_MARGIN_FREE = 15 };
enum ENUM_ACCOUNT_INFO_INTEGER { ACCOUNT_LOGIN = 0, ACCOUNT_LEVERAGE = 35, ACCOUNT_MARGIN_MODE = 37 };
enum ENUM_ACCOUNT_MARGIN_MODE {
    ACCOUNT_MARGIN_MODE_RETAIL_NETTING = 0, ACCOUNT_MARGIN_MODE_EXCHANGE = 1,
    ACCOUNT_MARGIN_MODE_RETAIL_HEDGING = 2
};
enum ENUM_ACCOUNT_INFO_STRING { ACCOUNT_SERVER = 3 };
// www.mql5.com/en/docs/constants/environment_state/mql5_programm_info
enum ENUM_MQL_INFO_INTEGER { MQL_DLLS_ALLOWED = 5, MQL_TRADE_ALLOWED = 6, MQL_TESTER = 7 };
// www.mql5.com/en/docs/constants/tradingconstants/positionproperties
enum ENUM_POSITION_PROPERTY_INTEGER { POSITION_TIME_MSC = 1, POSITION_TYPE = 2 };
enum ENUM_POSITION_PROPERTY_STRING { POSITION_SYMBOL = 0 };
// www.mql5.com/en/docs/constants/errorswarnings/enum_trade_return_codes
enum : uint {
    TRADE_RETCODE_REQUOTE = 10004, TRADE_RETCODE_DONE = 10009, TRADE_RETCODE_DONE_PARTIAL = 10010,
    TRADE_RETCODE_TRADE_DISABLED = 10017, TRADE_RETCODE_MARKET_CLOSED = 10018,
    TRADE_RETCODE_CLIENT_DISABLES_AT = 10027, TRADE_RETCODE_CONNECTION = 10031,
    TRADE_RETCODE_INVALID = 10013, TRADE_RETCODE_FIFO_CLOSE = 10045
};

// www.mql5.com/en/docs/account/accountinfodouble
inline double AccountInfoDouble(ENUM_ACCOUNT_INFO_DOUBLE property_id) {
    switch (property_id) {
        case ACCOUNT_EQUITY: return T().equity();
        case ACCOUNT_MARGIN: return T().margin;
        default: return T().equity() - T().margin;
    }
}
// www.mql5.com/en/docs/account/accountinfointeger
inline long long AccountInfoInteger(ENUM_ACCOUNT_INFO_INTEGER property_id) {
    switch (property_id) {
        case ACCOUNT_LEVERAGE: return T().leverage;
        case ACCOUNT_MARGIN_MODE:
            return T().netting ? ACCOUNT_MARGIN_MODE_RETAIL_NETTING : ACCOUNT_MARGIN_MODE_RETAIL_HEDGING;
        default: return T().login;
    }
}
// www.mql5.com/en/docs/account/accountinfostring
inline string AccountInfoString(ENUM_ACCOUNT_INFO_STRING property_id) { (void)property_id; return T().server; }
// www.mql5.com/en/docs/check/mqlinfointeger
inline int MQLInfoInteger(ENUM_MQL_INFO_INTEGER property_id) {
    switch (property_id) {
        case MQL_DLLS_ALLOWED: return T().dllsAllowed;
        case MQL_TRADE_ALLOWED: return T().tradeAllowed;
        default: return T().tester;
    }
}
// Positions are the scripted market orders, pending orders the rest.
inline std::vector<Order*> ofKind(bool market) {
    std::vector<Order*> found;
    for (auto& o : T().orders)
        if ((o.type <= OP_SELL) == market) found.push_back(&o);
    return found;
}
inline Order* selectedPosition = nullptr;
// www.mql5.com/en/docs/trading/positionstotal
inline int PositionsTotal() { return static_cast<int>(ofKind(true).size()); }
// www.mql5.com/en/docs/trading/positiongetticket (selects the position too)
inline ulong PositionGetTicket(int index) {
    auto all = ofKind(true);
    if (index < 0 || index >= static_cast<int>(all.size())) return 0;
    selectedPosition = all[static_cast<size_t>(index)];
    return static_cast<ulong>(selectedPosition->ticket);
}
// www.mql5.com/en/docs/trading/positionselectbyticket
inline bool PositionSelectByTicket(ulong ticket) {
    for (auto* o : ofKind(true))
        if (static_cast<ulong>(o->ticket) == ticket) { selectedPosition = o; return true; }
    return false;
}
// www.mql5.com/en/docs/trading/positiongetinteger
inline long long PositionGetInteger(ENUM_POSITION_PROPERTY_INTEGER property_id) {
    if (!selectedPosition) return 0;
    return property_id == POSITION_TIME_MSC ? selectedPosition->openTime : selectedPosition->type;
}
// www.mql5.com/en/docs/trading/positiongetstring
inline string PositionGetString(ENUM_POSITION_PROPERTY_STRING property_id) {
    (void)property_id;
    return selectedPosition ? selectedPosition->symbol : string();
}
// www.mql5.com/en/docs/trading/orderstotal (pending orders only in MQL5)
inline int OrdersTotal() { return static_cast<int>(ofKind(false).size()); }
// www.mql5.com/en/docs/trading/ordergetticket
inline ulong OrderGetTicket(int index) {
    auto all = ofKind(false);
    if (index < 0 || index >= static_cast<int>(all.size())) return 0;
    return static_cast<ulong>(all[static_cast<size_t>(index)]->ticket);
}

// www.mql5.com/en/docs/constants/tradingconstants/dealproperties
enum ENUM_DEAL_PROPERTY_INTEGER { DEAL_TYPE = 5 };
enum ENUM_DEAL_PROPERTY_DOUBLE { DEAL_PROFIT = 10 };
enum ENUM_DEAL_TYPE { DEAL_TYPE_BUY = 0, DEAL_TYPE_SELL = 1, DEAL_TYPE_BALANCE = 2 };
// www.mql5.com/en/docs/trading/historyselect (the double keeps the whole history selected)
inline bool HistorySelect(datetime from_date, datetime to_date) { (void)from_date; (void)to_date; return true; }
// www.mql5.com/en/docs/trading/historydealstotal
inline int HistoryDealsTotal() { return static_cast<int>(T().history.size()); }
// www.mql5.com/en/docs/trading/historydealgetticket
inline ulong HistoryDealGetTicket(int index) {
    if (index < 0 || index >= HistoryDealsTotal()) return 0;
    return static_cast<ulong>(T().history[static_cast<size_t>(index)].ticket);
}
inline const Order* deal(ulong ticket) {
    for (const auto& d : T().history)
        if (static_cast<ulong>(d.ticket) == ticket) return &d;
    return nullptr;
}
// www.mql5.com/en/docs/trading/historydealgetinteger
inline long long HistoryDealGetInteger(ulong ticket_number, ENUM_DEAL_PROPERTY_INTEGER property_id) {
    (void)property_id;
    const Order* d = deal(ticket_number);
    return !d ? -1 : d->type == OP_BALANCE ? DEAL_TYPE_BALANCE : d->type;
}
// www.mql5.com/en/docs/trading/historydealgetdouble
inline double HistoryDealGetDouble(ulong ticket_number, ENUM_DEAL_PROPERTY_DOUBLE property_id) {
    (void)property_id;
    const Order* d = deal(ticket_number);
    return d ? d->profit : 0.0;
}

// The standard library's trade class (Trade\Trade.mqh), the part the EA uses.
class CTrade {
public:
    // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradesetdeviationinpoints
    void SetDeviationInPoints(const ulong deviation) { deviation_ = deviation; }
    // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradesettypefillingbysymbol
    bool SetTypeFillingBySymbol(const string symbol) { filling_ = symbol; return true; }
    // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradepositionclose
    bool PositionClose(const ulong ticket, const ulong deviation = ~0UL) {
        Terminal& t = T();
        const ulong allowed = deviation == ~0UL ? deviation_ : deviation;
        auto it = std::find_if(t.orders.begin(), t.orders.end(),
                               [&](const Order& o) { return static_cast<ulong>(o.ticket) == ticket && o.type <= OP_SELL; });
        if (it == t.orders.end()) return finish("PositionClose", ticket, TRADE_RETCODE_INVALID);
        if (filling_ != it->symbol) return finish("PositionClose", ticket, TRADE_RETCODE_INVALID);
        const Quote& q = t.quotes.at(it->symbol);
        const double price = it->type == OP_BUY ? q.bid : q.ask;  // CTrade takes the current price
        const int error = t.tradeError(*it, price + t.priceJump, static_cast<int>(allowed), true);
        if (error == 0 && !t.partialFills.empty() && t.partialFills.front() < it->lots) {
            // Only part of the volume found a counterparty: the rest stays open.
            t.reduce(*it, t.partialFills.front());
            t.partialFills.pop_front();
            return finish("PositionClose", ticket, TRADE_RETCODE_DONE_PARTIAL);
        }
        if (error == 0) {
            if (!t.partialFills.empty()) t.partialFills.pop_front();
            t.balance += it->profit;
            t.orders.erase(it);
        }
        return finish("PositionClose", ticket, retcode(error));
    }
    // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradeorderdelete
    bool OrderDelete(const ulong ticket) {
        Terminal& t = T();
        auto it = std::find_if(t.orders.begin(), t.orders.end(),
                               [&](const Order& o) { return static_cast<ulong>(o.ticket) == ticket && o.type > OP_SELL; });
        if (it == t.orders.end()) return finish("OrderDelete", ticket, TRADE_RETCODE_INVALID);
        const int error = t.tradeError(*it, 0.0, 0, false);
        if (error == 0) t.orders.erase(it);
        return finish("OrderDelete", ticket, retcode(error));
    }
    // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctraderesultretcode
    uint ResultRetcode() const { return retcode_; }

private:
    static uint retcode(int error) {
        switch (error) {
            case 0: return TRADE_RETCODE_DONE;
            case ERR_NO_CONNECTION: return TRADE_RETCODE_CONNECTION;
            case ERR_TRADE_NOT_ALLOWED: return TRADE_RETCODE_CLIENT_DISABLES_AT;
            case ERR_TRADE_DISABLED: return TRADE_RETCODE_TRADE_DISABLED;
            case ERR_MARKET_CLOSED: return TRADE_RETCODE_MARKET_CLOSED;
            case ERR_TRADE_PROHIBITED_BY_FIFO: return TRADE_RETCODE_FIFO_CLOSE;
            case ERR_REQUOTE: return TRADE_RETCODE_REQUOTE;
            default: return TRADE_RETCODE_INVALID;
        }
    }
    // A request that reached the server returns true; the retcode tells how it went.
    bool finish(const char* function, ulong ticket, uint code) {
        retcode_ = code;
        T().trades.push_back({function, static_cast<int>(ticket), 0.0, static_cast<int>(deviation_),
                              code == TRADE_RETCODE_DONE ? 0 : static_cast<int>(code)});
        return code != TRADE_RETCODE_INVALID;
    }
    ulong deviation_ = 10;
    string filling_;
    uint retcode_ = 0;
};

}  // namespace mql5

// ---- arrays -----------------------------------------------------------------------------------

// docs.mql4.com/array/arraysize
template <class E> int ArraySize(const array<E>& a) { return a.size(); }
// docs.mql4.com/array/arrayresize
template <class E> int ArrayResize(array<E>& a, int new_size, int reserve_size = 0) {
    (void)reserve_size;
    if (a.fixed() || new_size < 0) return -1;
    a.values().resize(static_cast<size_t>(new_size));
    return new_size;
}
// docs.mql4.com/array/arrayinitialize: the reference lists exactly these element types (there
// is no uchar form), so an EA that initialises a uchar array does not compile here either.
template <class E> int initialize(array<E>& a, E value) {
    std::fill(a.values().begin(), a.values().end(), value);
    return a.size();
}
inline int ArrayInitialize(array<char>& a, char value) { return initialize(a, value); }
inline int ArrayInitialize(array<short>& a, short value) { return initialize(a, value); }
inline int ArrayInitialize(array<int>& a, int value) { return initialize(a, value); }
inline int ArrayInitialize(array<long long>& a, long long value) { return initialize(a, value); }
inline int ArrayInitialize(array<float>& a, float value) { return initialize(a, value); }
inline int ArrayInitialize(array<double>& a, double value) { return initialize(a, value); }
inline int ArrayInitialize(array<bool>& a, bool value) {
    std::fill(a.values().begin(), a.values().end(), value ? 1 : 0);
    return a.size();
}
inline int ArrayInitialize(array<uint>& a, uint value) { return initialize(a, value); }
// docs.mql4.com/array/arrayfill
template <class E, class V> void ArrayFill(array<E>& a, int start, int count, V value) {
    for (int i = start; i < start + count && i < a.size(); ++i) a[i] = static_cast<E>(value);
}

// ---- strings and conversions --------------------------------------------------------------------

// docs.mql4.com/convert/stringtochararray (copies the terminating zero; grows a dynamic array)
inline int StringToCharArray(string text_string, array<uchar>& a, int start = 0, int count = -1,
                             uint codepage = CP_ACP) {
    (void)codepage;
    const int length = static_cast<int>(text_string.size()) + 1;
    int n = count < 0 ? length : std::min(count, length);
    if (start + n > a.size()) {
        if (a.fixed()) n = std::max(0, a.size() - start);
        else a.values().resize(static_cast<size_t>(start + n));
    }
    for (int i = 0; i < n; ++i)
        a[start + i] = i < length - 1 ? static_cast<uchar>(text_string[static_cast<size_t>(i)]) : 0;
    return n;
}
// docs.mql4.com/convert/chararraytostring (stops at the array's end or a zero)
inline string CharArrayToString(array<uchar>& a, int start = 0, int count = -1, uint codepage = CP_ACP) {
    (void)codepage;
    string s;
    for (int i = start; i < a.size() && (count < 0 || i < start + count) && a[i] != 0; ++i)
        s += static_cast<char>(a[i]);
    return s;
}
// docs.mql4.com/convert/stringtodouble
inline double StringToDouble(string value) { return std::atof(value.c_str()); }
// docs.mql4.com/convert/integertostring
inline string IntegerToString(long long number, int str_len = 0, ushort fill_symbol = ' ') {
    string s = std::to_string(number);
    while (static_cast<int>(s.size()) < str_len) s.insert(s.begin(), static_cast<char>(fill_symbol));
    return s;
}
// docs.mql4.com/strings/stringfind
inline int StringFind(string string_value, string match_substring, int start_pos = 0) {
    auto at = string_value.find(match_substring, static_cast<size_t>(std::max(start_pos, 0)));
    return at == string::npos ? -1 : static_cast<int>(at);
}
// docs.mql4.com/strings/stringsplit
inline int StringSplit(const string string_value, const ushort separator, array<string>& result) {
    std::vector<string> parts;
    if (!string_value.empty()) {
        size_t from = 0;
        while (true) {
            auto at = string_value.find(static_cast<char>(separator), from);
            parts.push_back(string_value.substr(from, at == string::npos ? string::npos : at - from));
            if (at == string::npos) break;
            from = at + 1;
        }
    }
    result.values() = parts;
    return static_cast<int>(parts.size());
}
// docs.mql4.com/strings/stringlen
inline int StringLen(string string_value) { return static_cast<int>(string_value.size()); }
// docs.mql4.com/strings/stringgetcharacter
inline ushort StringGetCharacter(string string_value, int pos) {
    return pos >= 0 && pos < StringLen(string_value) ? static_cast<uchar>(string_value[static_cast<size_t>(pos)]) : 0;
}
// docs.mql4.com/convert/shorttostring
inline string ShortToString(ushort symbol_code) { return string(1, static_cast<char>(symbol_code)); }
// docs.mql4.com/math/mathround
inline double MathRound(double value) { return std::round(value); }
// docs.mql4.com/math/mathmax
inline double MathMax(double value1, double value2) { return std::max(value1, value2); }

}  // namespace mql
