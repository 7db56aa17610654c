// mql4_api.h - what only MQL4 has: the 32-bit terminal's account and checkup functions, its
// order pool (OrderSelect and the Order* accessors, OrderClose, OrderDelete, MarketInfo) and the
// name-only object forms. A translated .mq4 sees these beside mql::shared; a .mq5 does not.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "mql_common.h"
#include "mql_market.h"

namespace mql {

// The order the last OrderSelect chose, in the pool it chose from.
inline const Order& selectedOrder() {
  Terminal& t = T();
  const auto& pool = t.selectedHistory ? t.history : t.orders;
  if (t.selected < 0 || t.selected >= static_cast<int>(pool.size()))
    throw CriticalError("no order selected");
  return pool[static_cast<size_t>(t.selected)];
}
// The history the terminal has loaded: what the Account History tab's period shows, as indexes
// into the whole history; nothing before the terminal has loaded it.
inline std::vector<int> loadedHistory() {
  const Terminal& t = T();
  std::vector<int> loaded;
  for (size_t i = 0; t.historyLoaded && i < t.history.size(); ++i) {
    const long long closed = t.history[i].closeTime;
    if (closed >= t.historyFrom && (t.historyTo == 0 || closed <= t.historyTo))
      loaded.push_back(static_cast<int>(i));
  }
  return loaded;
}
// OrderClose and OrderDelete: the terminal may refuse; either way the call is recorded. A close
// takes lots the symbol allows and the order holds (else invalid trade volume); less than the
// whole order, or a fill the market cuts short (partialFills), leaves the rest open under a new
// ticket.
inline bool tradeCall(const char* function, int ticket, double lots, double price, int slippage,
                      bool close) {
  Terminal& t = T();
  auto it = std::find_if(t.orders.begin(), t.orders.end(),
                         [&](const Order& o) { return o.ticket == ticket && !o.placed; });
  int error = ERR_INVALID_TICKET;
  if (it != t.orders.end() && (close ? it->type <= OP_SELL : it->type > OP_SELL))
    error = t.tradeError(*it, price, slippage, close);
  if (error == 0 && close && (lots > it->lots + 1e-9 || !t.quotes.at(it->symbol).takes(lots)))
    error = ERR_INVALID_TRADE_VOLUME;
  t.trades.push_back({function, ticket, price, slippage, error, lots});
  t.lastError = error;
  if (error != 0) return false;
  double filled = close ? lots : 0.0;
  if (close && !t.partialFills.empty()) {
    filled = std::min(filled, t.partialFills.front());
    t.partialFills.pop_front();
  }
  if (close && filled < it->lots - 1e-9) {
    t.closePart(*it, filled);
    t.traded();
    return true;
  }
  if (close) {
    t.balance += it->result();
    t.history.push_back(*it);
    t.history.back().closeTime = t.now();
  }
  t.orders.erase(it);
  t.traded();
  return true;
}

// docs.mql4.com/constants/errorswarnings/errorcodes: ERR_GLOBAL_VARIABLE_NOT_FOUND 4058 and, for a
// name the terminal cannot take (the reference names no number of its own), the global variables
// processing error 4057; docs.mql4.com/common/sendnotification: 4250 to 4253.
// docs.mql4.com/marketinformation/symbolinfodouble: 4024, the internal error.
inline constexpr ErrorNumbers mql4Errors{4058, 4057, 4250, 4251, 4252, 4253, 4024};

namespace mql4 {

// docs.mql4.com/check/getlasterror: reading the last error clears it
inline int GetLastError() {
  const int error = T().lastError;
  T().lastError = 0;
  return error;
}
// docs.mql4.com/globals/globalvariableget
inline double GlobalVariableGet(string name) { return globalGet(name, mql4Errors); }
// docs.mql4.com/globals/globalvariableset
inline datetime GlobalVariableSet(string name, double value) {
  return globalSet(name, value, mql4Errors);
}
// docs.mql4.com/globals/globalvariabletemp
inline bool GlobalVariableTemp(string name) { return globalTemp(name, mql4Errors); }
// docs.mql4.com/common/sendnotification
inline bool SendNotification(string text) { return sendNotification(text, mql4Errors); }
// docs.mql4.com/eventfunctions/eventsetmillisecondtimer
inline bool EventSetMillisecondTimer(int milliseconds) {
  return setTimer(milliseconds, mql4Errors);
}

// docs.mql4.com/check/isconnected
inline bool IsConnected() { return T().connected; }
// docs.mql4.com/check/istradeallowed: false too while the trade thread is busy with another EA
inline bool IsTradeAllowed() { return T().autoTrading && T().tradeAllowed && !T().contextBusy; }
// docs.mql4.com/check/isexpertenabled: the terminal's AutoTrading button
inline bool IsExpertEnabled() { return T().autoTrading; }
// docs.mql4.com/account/accountleverage
inline int AccountLeverage() { return static_cast<int>(T().leverage); }
// docs.mql4.com/account/accountnumber
inline int AccountNumber() { return static_cast<int>(T().login); }
// docs.mql4.com/account/accountserver
inline string AccountServer() { return T().server; }
// docs.mql4.com/check/isdllsallowed: the terminal's option and the EA's own box
inline bool IsDllsAllowed() { return T().dllsAllowed && T().terminalDllsAllowed; }
// docs.mql4.com/account/accountbalance
inline double AccountBalance() { return T().balance; }
// docs.mql4.com/account/accountcredit
inline double AccountCredit() { return T().credit; }
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
// docs.mql4.com/trading/orderselect: by position, in the pool named (the history as loaded);
// by ticket the pool is ignored, and an order closed meanwhile is found in the history.
inline bool OrderSelect(int index, int select, int pool = MODE_TRADES) {
  Terminal& t = T();
  t.selected = -1;
  const std::vector<int> loaded = loadedHistory();
  if (select == SELECT_BY_POS) {
    t.selectedHistory = pool == MODE_HISTORY;
    const int size = t.selectedHistory ? static_cast<int>(loaded.size()) : OrdersTotal();
    if (index < 0 || index >= size) return false;
    t.selected = t.selectedHistory ? loaded[static_cast<size_t>(index)] : index;
    return true;
  }
  t.selectedHistory = false;
  for (size_t i = 0; i < t.orders.size(); ++i)
    if (t.orders[i].ticket == index) t.selected = static_cast<int>(i);
  if (t.selected >= 0) return true;
  t.selectedHistory = true;
  for (const int i : loaded)
    if (t.history[static_cast<size_t>(i)].ticket == index) t.selected = i;
  return t.selected >= 0;
}
// docs.mql4.com/trading/ordershistorytotal: the orders the Account History tab has loaded
inline int OrdersHistoryTotal() { return static_cast<int>(loadedHistory().size()); }
// docs.mql4.com/trading/orderclosetime: 0 for an order still open
inline datetime OrderCloseTime() { return selectedOrder().closeTime; }
// docs.mql4.com/trading/orderprofit (without swap and commission)
inline double OrderProfit() { return selectedOrder().profit; }
// docs.mql4.com/trading/orderswap
inline double OrderSwap() { return selectedOrder().swap; }
// docs.mql4.com/trading/ordercommission
inline double OrderCommission() { return selectedOrder().commission; }
// docs.mql4.com/trading/ordercomment: "from #N" on what a partial close of order N left open
inline string OrderComment() { return selectedOrder().comment; }
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
    case MODE_BID: return T().quoteKnown ? it->second.bid : 0.0;
    case MODE_ASK: return T().quoteKnown ? it->second.ask : 0.0;
    case MODE_POINT: return it->second.point;
    case MODE_DIGITS: return it->second.digits;
    default: return 0.0;
  }
}

// docs.mql4.com/trading/orderclose (arrow_color may be left out: no arrow)
inline bool OrderClose(int ticket, double lots, double price, int slippage,
                       color arrow_color = clrNONE) {
  (void)arrow_color;
  return tradeCall("OrderClose", ticket, lots, price, slippage, true);
}
// docs.mql4.com/trading/orderdelete (arrow_color may be left out: no arrow)
inline bool OrderDelete(int ticket, color arrow_color = clrNONE) {
  (void)arrow_color;
  return tradeCall("OrderDelete", ticket, 0.0, 0.0, 0, false);
}

// docs.mql4.com/objects/objectdelete, docs.mql4.com/objects/objectfind: the name-only forms
inline bool ObjectDelete(string object_name) { return shared::ObjectDelete(0, object_name); }
inline int ObjectFind(string object_name) { return shared::ObjectFind(0, object_name); }

}  // namespace mql4
}  // namespace mql
