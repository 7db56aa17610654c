// mql_common.h - the MQL functions both languages share, over the scripted terminal: Print and
// Alert, terminal checkup, timer and clock, e-mail and push, global variables, symbol quotes,
// the chart and its objects, arrays and the two math helpers the EAs use.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "mql_strings.h"
#include "mql_terminal.h"

namespace mql {

// ArrayInitialize's one body for every element type the reference lists.
template <class E>
int initialize(array<E>& a, E value) {
  std::fill(a.values().begin(), a.values().end(), value);
  return a.size();
}

// The run-time error numbers of the functions both languages have: the two terminals number
// them apart, so mql4_api.h and mql5_api.h each give these their own.
struct ErrorNumbers {
  int globalNotFound;  // a terminal global variable that is not there
  int globalName;      // a global variable's name over 63 characters
  int pushFailed, pushParameter, pushSettings, pushTooFrequent;
  int internal;  // the terminal's internal error: what a timer it cannot make leaves
};

// A terminal global variable's name holds at most 63 characters.
inline bool globalNameFits(const string& name) { return characters(name).size() <= 63; }
// The global variable of that name, accessed now; nullptr when there is none.
inline Global* globalVariable(const string& name) {
  Terminal& t = T();
  t.expireGlobals();
  auto it = t.globals.find(name);
  if (it == t.globals.end()) return nullptr;
  it->second.accessed = t.now();
  return &it->second;
}
// docs.mql4.com/globals/globalvariableget: 0 and the not-found error for a missing one
inline double globalGet(const string& name, const ErrorNumbers& errors) {
  const Global* global = globalVariable(name);
  if (!global) T().lastError = errors.globalNotFound;
  return global ? global->value : 0.0;
}
// docs.mql4.com/globals/globalvariableset: the time of the change, or 0 for a name too long
inline datetime globalSet(const string& name, double value, const ErrorNumbers& errors) {
  Terminal& t = T();
  if (!globalNameFits(name)) {
    t.lastError = errors.globalName;
    return 0;
  }
  t.expireGlobals();
  Global& global = t.globals[name];
  global.value = value;
  global.accessed = t.now();
  return t.now();
}
// docs.mql4.com/globals/globalvariabletemp: a new one is temporary and 0; one that is already
// there stays as it is
inline bool globalTemp(const string& name, const ErrorNumbers& errors) {
  Terminal& t = T();
  if (!globalNameFits(name)) {
    t.lastError = errors.globalName;
    return false;
  }
  t.expireGlobals();
  auto [it, created] = t.globals.try_emplace(name);
  if (created) it->second.temporary = true;
  it->second.accessed = t.now();
  return true;
}
// docs.mql4.com/common/sendnotification: no more than 2 calls a second and 10 a minute (too
// frequent); push off or no MetaQuotes ID is wrong settings; more than 255 characters a wrong
// parameter; a push the network loses failed.
inline bool sendNotification(const string& text, const ErrorNumbers& errors) {
  Terminal& t = T();
  t.pushes.push_back(text);
  int inSecond = 0, inMinute = 0;
  for (const uint at : t.pushTimes) {
    inSecond += t.tickCount - at < 1000u;
    inMinute += t.tickCount - at < 60000u;
  }
  int error = 0;
  if (!t.pushEnabled || !t.metaQuotesId)
    error = errors.pushSettings;
  else if (characters(text).size() > 255)
    error = errors.pushParameter;
  else if (inSecond >= 2 || inMinute >= 10)
    error = errors.pushTooFrequent;
  else if (!t.pushWorks)
    error = errors.pushFailed;
  if (error == 0 || error == errors.pushFailed) t.pushTimes.push_back(t.tickCount);
  if (error != 0) t.lastError = error;
  return error == 0;
}

// docs.mql4.com/eventfunctions/eventsetmillisecondtimer: true on success; false, with the error
// set, when the terminal cannot make the timer. One timer per program: a new one replaces it.
inline bool setTimer(int milliseconds, const ErrorNumbers& errors) {
  if (T().timerFails) {
    T().lastError = errors.internal;
    return false;
  }
  T().timerMs = milliseconds;
  return true;
}

namespace shared {

// docs.mql4.com/common/alert
template <class... A>
void Alert(const A&... args) {
  T().alerts.push_back(joined(args...));
}
// docs.mql4.com/common/print
template <class... A>
void Print(const A&... args) {
  T().prints.push_back(joined(args...));
}

// ---- checkup and account --------------------------------------------------------------------

// docs.mql4.com/check/terminalinfointeger (an id of another enumeration does not compile)
inline int TerminalInfoInteger(ENUM_TERMINAL_INFO_INTEGER property_id) {
  switch (property_id) {
    case TERMINAL_CONNECTED: return T().connected;
    case TERMINAL_DLLS_ALLOWED: return T().terminalDllsAllowed;
    case TERMINAL_TRADE_ALLOWED: return T().autoTrading;  // the AutoTrading button
    case TERMINAL_EMAIL_ENABLED: return T().mailEnabled;
    case TERMINAL_NOTIFICATIONS_ENABLED: return T().pushEnabled;
    case TERMINAL_SCREEN_DPI: return T().screenDpi;
    case TERMINAL_MQID: return T().metaQuotesId;
  }
  return 0;
}
// docs.mql4.com/check/terminalinfostring
inline string TerminalInfoString(ENUM_TERMINAL_INFO_STRING property_id) {
  return property_id == TERMINAL_DATA_PATH ? T().dataFolder : string();
}
// docs.mql4.com/check/mqlinfointeger: DLL calls need the terminal's option and the EA's own box
inline int MQLInfoInteger(ENUM_MQL_INFO_INTEGER property_id) {
  switch (property_id) {
    case MQL_DLLS_ALLOWED: return T().dllsAllowed && T().terminalDllsAllowed;
    case MQL_TRADE_ALLOWED: return T().tradeAllowed;
    case MQL_TESTER: return T().tester;
  }
  return 0;
}
// docs.mql4.com/account/accountinfodouble (another property: 0)
inline double AccountInfoDouble(ENUM_ACCOUNT_INFO_DOUBLE property_id) {
  switch (property_id) {
    case ACCOUNT_BALANCE: return T().balance;
    case ACCOUNT_CREDIT: return T().credit;
    case ACCOUNT_EQUITY: return T().equity();
    case ACCOUNT_MARGIN: return T().margin;
    case ACCOUNT_MARGIN_FREE: return T().equity() - T().margin;
  }
  return 0.0;
}
// docs.mql4.com/account/accountinfointeger: the login is 0 until the terminal has logged in;
// ACCOUNT_TRADE_ALLOWED is false on an investor-password login, ACCOUNT_TRADE_EXPERT where the
// broker lets no expert advisor trade (another property: 0)
inline long long AccountInfoInteger(ENUM_ACCOUNT_INFO_INTEGER property_id) {
  switch (property_id) {
    case ACCOUNT_LOGIN: return T().login;
    case ACCOUNT_TRADE_ALLOWED: return T().accountTradeAllowed;
    case ACCOUNT_TRADE_EXPERT: return T().expertTradeAllowed;
    case ACCOUNT_LEVERAGE: return T().leverage;
  }
  // MQL5's ACCOUNT_MARGIN_MODE (mql_types.h): RETAIL_NETTING 0, RETAIL_HEDGING 2
  if (property_id == 37) return T().netting ? 0 : 2;
  return 0;
}
// docs.mql4.com/account/accountinfostring: "" until the terminal has logged in
inline string AccountInfoString(ENUM_ACCOUNT_INFO_STRING property_id) {
  return property_id == ACCOUNT_SERVER ? T().server : string();
}
// docs.mql4.com/eventfunctions/eventkilltimer
inline void EventKillTimer() { T().timerMs = 0; }
// docs.mql4.com/dateandtime/timelocal (the scripted clock: GetTickCount in seconds)
inline datetime TimeLocal() { return T().now(); }
// docs.mql4.com/dateandtime/timecurrent: the time of the last quote, which stands still while the
// markets are closed (the double's server time is otherwise its local time); 0 before the first
// quote of the session
inline datetime TimeCurrent() {
  if (!T().quoteKnown) return 0;
  return T().lastQuote != 0 ? T().lastQuote : TimeLocal();
}
// Global variables: Get, Set and Temp set errors, whose numbers are each language's own
// (mql4_api.h, mql5_api.h). A check or a read is an access too: it puts off the deletion.
// docs.mql4.com/globals/globalvariablecheck
inline bool GlobalVariableCheck(string name) { return globalVariable(name) != nullptr; }
// docs.mql4.com/globals/globalvariabledel
inline bool GlobalVariableDel(string name) {
  T().expireGlobals();
  return T().globals.erase(name) > 0;
}
// docs.mql4.com/globals/globalvariablestotal
inline int GlobalVariablesTotal() {
  T().expireGlobals();
  return static_cast<int>(T().globals.size());
}
// docs.mql4.com/globals/globalvariablename
inline string GlobalVariableName(int index) {
  if (index < 0 || index >= GlobalVariablesTotal()) return {};
  return std::next(T().globals.begin(), index)->first;
}
// docs.mql4.com/globals/globalvariablesflush: written to disk now, not only at shutdown, so a
// crash keeps them (temporary ones are never written)
inline void GlobalVariablesFlush() { T().saveGlobals(); }
// docs.mql4.com/common/resetlasterror
inline void ResetLastError() { T().lastError = 0; }
// docs.mql4.com/common/gettickcount
inline uint GetTickCount() { return T().tickCount; }
// docs.mql4.com/common/sleep (the scripted clock moves on; nothing waits)
inline void Sleep(int milliseconds) { T().tickCount += static_cast<uint>(milliseconds); }
// docs.mql4.com/common/sendmail (fails while e-mail is off in Tools - Options - Email)
inline bool SendMail(string subject, string some_text) {
  T().mails.push_back({subject, some_text});
  return T().mailWorks && T().mailEnabled;
}

// docs.mql4.com/marketinformation/symbolinfointeger
inline long long SymbolInfoInteger(string name, ENUM_SYMBOL_INFO_INTEGER prop_id) {
  auto it = T().quotes.find(name);
  if (it == T().quotes.end()) return 0;
  switch (prop_id) {
    case SYMBOL_DIGITS: return it->second.digits;
    case SYMBOL_TRADE_EXEMODE: return it->second.execution;
    case SYMBOL_FILLING_MODE: return it->second.fillings;
  }
  return 0;
}

// docs.mql4.com/marketinformation/symbolinfodouble: the prices are 0 before the first quote
inline double SymbolInfoDouble(string name, ENUM_SYMBOL_INFO_DOUBLE prop_id) {
  auto it = T().quotes.find(name);
  if (it == T().quotes.end()) return 0.0;
  const Quote& q = it->second;
  switch (prop_id) {
    case SYMBOL_BID: return T().quoteKnown ? q.bid : 0.0;
    case SYMBOL_ASK: return T().quoteKnown ? q.ask : 0.0;
    case SYMBOL_POINT: return q.point;
    case SYMBOL_VOLUME_MIN: return q.volumeMin;
    case SYMBOL_VOLUME_MAX: return q.volumeMax;
    case SYMBOL_VOLUME_STEP: return q.volumeStep;
  }
  return 0.0;
}

// ---- chart ------------------------------------------------------------------------------------

// docs.mql4.com/check/symbol
inline string Symbol() { return T().chartSymbol; }
// docs.mql4.com/check/period
inline int Period() { return T().chartPeriod; }
// docs.mql4.com/chart_operations/chartgetinteger
inline long long ChartGetInteger(long long chart_id, ENUM_CHART_PROPERTY_INTEGER prop_id,
                                 int sub_window = 0) {
  (void)chart_id;
  (void)sub_window;
  return prop_id == CHART_WINDOW_HANDLE ? T().chartHandle : 0;
}
// docs.mql4.com/chart_operations/chartredraw
inline void ChartRedraw(long long chart_id = 0) {
  (void)chart_id;
  ++T().redraws;
}

// ---- objects ----------------------------------------------------------------------------------
// The EAs find their labels by name; they list no objects (ObjectsTotal, ObjectName). MQL5 knows
// only these chart_id forms; MQL4 also has older name-only ones (mql4_api.h).

// docs.mql4.com/objects/objectdelete
inline bool ObjectDelete(long long chart_id, string object_name) {
  (void)chart_id;
  return T().objects.erase(object_name) > 0;
}
// docs.mql4.com/objects/objectfind
inline int ObjectFind(long long chart_id, string object_name) {
  (void)chart_id;
  return T().objects.count(object_name) ? 0 : -1;
}
// docs.mql4.com/objects/objectcreate
inline bool ObjectCreate(long long chart_id, string object_name, ENUM_OBJECT object_type,
                         int sub_window, datetime time1, double price1) {
  (void)chart_id;
  (void)sub_window;
  (void)time1;
  (void)price1;
  if (T().objects.count(object_name)) return false;
  T().objects[object_name].type = object_type;
  return true;
}
// docs.mql4.com/objects/objectsetinteger
inline bool ObjectSetInteger(long long chart_id, string object_name,
                             ENUM_OBJECT_PROPERTY_INTEGER prop_id, long long prop_value) {
  (void)chart_id;
  auto it = T().objects.find(object_name);
  if (it == T().objects.end()) return false;
  it->second.integers[prop_id] = prop_value;
  return true;
}
// docs.mql4.com/objects/objectsetstring
inline bool ObjectSetString(long long chart_id, string object_name,
                            ENUM_OBJECT_PROPERTY_STRING prop_id, string prop_value) {
  (void)chart_id;
  auto it = T().objects.find(object_name);
  if (it == T().objects.end()) return false;
  it->second.strings[prop_id] = prop_value;
  return true;
}

// ---- arrays -----------------------------------------------------------------------------------

// docs.mql4.com/array/arraysize
template <class E>
int ArraySize(const array<E>& a) {
  return a.size();
}
// docs.mql4.com/array/arrayresize
template <class E>
int ArrayResize(array<E>& a, int new_size, int reserve_size = 0) {
  (void)reserve_size;
  if (a.fixed() || new_size < 0) return -1;
  a.values().resize(static_cast<size_t>(new_size));
  return new_size;
}
// docs.mql4.com/array/arrayinitialize: the reference lists exactly these element types (there
// is no uchar form), so an EA that initialises a uchar array does not compile here either.
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
template <class E, class V>
void ArrayFill(array<E>& a, int start, int count, V value) {
  for (int i = start; i < start + count && i < a.size(); ++i) a[i] = static_cast<E>(value);
}

// ---- math -------------------------------------------------------------------------------------

// docs.mql4.com/math/mathround
inline double MathRound(double value) { return std::round(value); }
// docs.mql4.com/math/mathceil
inline double MathCeil(double value) { return std::ceil(value); }
// docs.mql4.com/math/mathfloor
inline double MathFloor(double value) { return std::floor(value); }
// docs.mql4.com/math/mathmax
inline double MathMax(double value1, double value2) { return std::max(value1, value2); }
// docs.mql4.com/math/mathmin
inline double MathMin(double value1, double value2) { return std::min(value1, value2); }
// docs.mql4.com/math/mathabs
inline double MathAbs(double value) { return std::fabs(value); }
// docs.mql4.com/convert/normalizedouble: rounded to digits decimals (0 to 8), the double nearest
// to the decimal text
inline double NormalizeDouble(double value, int digits) {
  digits = std::clamp(digits, 0, 8);
  return std::strtod(DoubleToString(value, digits).c_str(), nullptr);
}

}  // namespace shared
}  // namespace mql
