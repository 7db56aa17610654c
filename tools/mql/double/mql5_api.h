// mql5_api.h - what only MQL5 has: the 64-bit terminal's account and program properties, its
// positions, pending orders and deal history, and the standard library's CTrade (Trade\Trade.mqh,
// which the translator leaves to the double). A translated .mq5 sees these beside mql::shared; an
// .mq4 does not.
#pragma once

#include <algorithm>
#include <vector>

#include "mql_common.h"
#include "mql_market.h"

namespace mql {

// Positions are the scripted market orders; orders are the pending ones and the market orders
// in flight that close a position.
inline std::vector<Order*> ofKind(bool market) {
  std::vector<Order*> found;
  for (auto& o : T().orders)
    if ((o.type <= OP_SELL && !o.placed) == market) found.push_back(&o);
  return found;
}
inline Order* selectedPosition = nullptr;
inline Order* selectedOrder5 = nullptr;
// PositionGetTicket and OrderGetTicket: the index-th position (market) or pending order, which
// becomes the selected one; 0 when there is none.
inline ulong selectByIndex(bool market, int index, Order*& selected) {
  auto all = ofKind(market);
  if (index < 0 || index >= static_cast<int>(all.size())) return 0;
  selected = all[static_cast<size_t>(index)];
  return static_cast<ulong>(selected->ticket);
}
inline const Order* deal(ulong ticket) {
  for (const size_t i : T().selectedDeals)
    if (static_cast<ulong>(T().history[i].ticket) == ticket) return &T().history[i];
  return nullptr;
}

// www.mql5.com/en/docs/constants/errorswarnings/errorcodes: ERR_GLOBALVARIABLE_NOT_FOUND 4501 and,
// for a name the terminal cannot take (the reference names no number of its own),
// ERR_INVALID_PARAMETER 4003; www.mql5.com/en/docs/network/sendnotification: 4515 to 4518.
// www.mql5.com/en/docs/constants/errorswarnings/errorcodes: 4001, the unexpected internal error.
inline constexpr ErrorNumbers mql5Errors{4501, 4003, 4515, 4516, 4517, 4518, 4001};

namespace mql5 {

// www.mql5.com/en/docs/check/getlasterror: reading the last error leaves it; only
// ResetLastError clears it, so an EA resets it before the call whose error it wants
inline int GetLastError() { return T().lastError; }
// www.mql5.com/en/docs/globals/globalvariableget
inline double GlobalVariableGet(string name) { return globalGet(name, mql5Errors); }
// www.mql5.com/en/docs/globals/globalvariableset
inline datetime GlobalVariableSet(string name, double value) {
  return globalSet(name, value, mql5Errors);
}
// www.mql5.com/en/docs/globals/globalvariabletemp
inline bool GlobalVariableTemp(string name) { return globalTemp(name, mql5Errors); }
// www.mql5.com/en/docs/network/sendnotification
inline bool SendNotification(string text) { return sendNotification(text, mql5Errors); }
// www.mql5.com/en/docs/eventfunctions/eventsetmillisecondtimer
inline bool EventSetMillisecondTimer(int milliseconds) {
  return setTimer(milliseconds, mql5Errors);
}
// www.mql5.com/en/docs/trading/positionstotal
inline int PositionsTotal() { return static_cast<int>(ofKind(true).size()); }
// www.mql5.com/en/docs/trading/positiongetticket (selects the position too)
inline ulong PositionGetTicket(int index) { return selectByIndex(true, index, selectedPosition); }
// www.mql5.com/en/docs/trading/positionselectbyticket
inline bool PositionSelectByTicket(ulong ticket) {
  for (auto* o : ofKind(true))
    if (static_cast<ulong>(o->ticket) == ticket) {
      selectedPosition = o;
      return true;
    }
  return false;
}
// www.mql5.com/en/docs/trading/positiongetinteger
inline long long PositionGetInteger(ENUM_POSITION_PROPERTY_INTEGER property_id) {
  if (!selectedPosition) return 0;
  return property_id == POSITION_TIME_MSC ? selectedPosition->openTime : selectedPosition->type;
}
// www.mql5.com/en/docs/trading/positiongetdouble (POSITION_VOLUME, in lots)
inline double PositionGetDouble(ENUM_POSITION_PROPERTY_DOUBLE property_id) {
  (void)property_id;
  return selectedPosition ? selectedPosition->lots : 0.0;
}
// www.mql5.com/en/docs/trading/positiongetstring
inline string PositionGetString(ENUM_POSITION_PROPERTY_STRING property_id) {
  (void)property_id;
  return selectedPosition ? selectedPosition->symbol : string();
}
// www.mql5.com/en/docs/trading/orderstotal (pending orders only in MQL5)
inline int OrdersTotal() { return static_cast<int>(ofKind(false).size()); }
// www.mql5.com/en/docs/trading/ordergetticket (selects the order too)
inline ulong OrderGetTicket(int index) { return selectByIndex(false, index, selectedOrder5); }
// www.mql5.com/en/docs/trading/ordergetstring
inline string OrderGetString(ENUM_ORDER_PROPERTY_STRING property_id) {
  (void)property_id;
  return selectedOrder5 ? selectedOrder5->symbol : string();
}
// www.mql5.com/en/docs/trading/ordergetinteger: ORDER_TYPE (the OP_* numbers are ENUM_ORDER_TYPE's
// first six); ORDER_POSITION_ID is set "as soon as it is executed"
// (www.mql5.com/en/docs/constants/tradingconstants/orderproperties), so an order still listed -
// pending, or placed and not filled - has none yet: 0
inline long long OrderGetInteger(ENUM_ORDER_PROPERTY_INTEGER property_id) {
  if (!selectedOrder5) return 0;
  return property_id == ORDER_TYPE ? selectedOrder5->type : 0;
}
// www.mql5.com/en/docs/trading/ordergetdouble (ORDER_VOLUME_CURRENT: what is left to fill)
inline double OrderGetDouble(ENUM_ORDER_PROPERTY_DOUBLE property_id) {
  (void)property_id;
  return selectedOrder5 ? selectedOrder5->lots : 0.0;
}

// www.mql5.com/en/docs/trading/historyselect: the deals booked from from_date to to_date
// (a deal after to_date, such as a deposit later than the last quote, is not among them)
inline bool HistorySelect(datetime from_date, datetime to_date) {
  T().selectedDeals.clear();
  for (size_t i = 0; i < T().history.size(); ++i)
    if (T().history[i].closeTime >= from_date && T().history[i].closeTime <= to_date)
      T().selectedDeals.push_back(i);
  return true;
}
// www.mql5.com/en/docs/trading/historydealstotal
inline int HistoryDealsTotal() { return static_cast<int>(T().selectedDeals.size()); }
// www.mql5.com/en/docs/trading/historydealgetticket
inline ulong HistoryDealGetTicket(int index) {
  if (index < 0 || index >= HistoryDealsTotal()) return 0;
  return static_cast<ulong>(T().history[T().selectedDeals[static_cast<size_t>(index)]].ticket);
}
// www.mql5.com/en/docs/trading/historydealgetinteger (DEAL_TYPE: the booking's kind, a canceled
// deal's own type; DEAL_TIME). An unlisted booking answers a type beyond the reference's list.
inline long long HistoryDealGetInteger(ulong ticket_number,
                                       ENUM_DEAL_PROPERTY_INTEGER property_id) {
  const Order* d = deal(ticket_number);
  if (!d) return property_id == DEAL_TYPE ? -1 : 0;
  if (property_id == DEAL_TIME) return d->closeTime;
  if (d->canceled) return d->type == OP_BUY ? DEAL_TYPE_BUY_CANCELED : DEAL_TYPE_SELL_CANCELED;
  switch (d->type) {
    case BOOK_BALANCE: return DEAL_TYPE_BALANCE;
    case BOOK_CREDIT: return DEAL_TYPE_CREDIT;
    case BOOK_BONUS: return DEAL_TYPE_BONUS;
    case BOOK_CORRECTION: return DEAL_TYPE_CORRECTION;
    case BOOK_CHARGE: return DEAL_TYPE_CHARGE;
    case BOOK_AGENT_COMMISSION: return DEAL_TYPE_COMMISSION_AGENT_MONTHLY;
    case BOOK_INTEREST: return DEAL_TYPE_INTEREST;
    case BOOK_DIVIDEND: return DEAL_DIVIDEND;
    case BOOK_TAX: return DEAL_TAX;
    case BOOK_UNLISTED: return DEAL_TAX + 20;
    default: return d->type;
  }
}
// www.mql5.com/en/docs/trading/historydealgetdouble (the double charges no fee)
inline double HistoryDealGetDouble(ulong ticket_number, ENUM_DEAL_PROPERTY_DOUBLE property_id) {
  const Order* d = deal(ticket_number);
  if (!d) return 0.0;
  switch (property_id) {
    case DEAL_PROFIT: return d->profit;
    case DEAL_SWAP: return d->swap;
    case DEAL_COMMISSION: return d->commission;
    case DEAL_FEE: return 0.0;
  }
  return 0.0;
}

// The standard library's trade class (Trade\Trade.mqh), the part the EA uses.
class CTrade {
 public:
  // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradesetdeviationinpoints
  void SetDeviationInPoints(const ulong deviation) { deviation_ = deviation; }
  // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradesettypefillingbysymbol
  // The standard library's choice: FOK where the symbol allows it, else IOC; false, and the
  // mode left as it was, where it allows neither (Return is never chosen here).
  bool SetTypeFillingBySymbol(const string symbol) {
    const auto flags = static_cast<uint>(SymbolInfoInteger(symbol, SYMBOL_FILLING_MODE));
    if ((flags & SYMBOL_FILLING_FOK) != 0)
      filling_ = ORDER_FILLING_FOK;
    else if ((flags & SYMBOL_FILLING_IOC) != 0)
      filling_ = ORDER_FILLING_IOC;
    else
      return false;
    return true;
  }
  // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradesettypefilling
  void SetTypeFilling(const ENUM_ORDER_TYPE_FILLING filling) { filling_ = filling; }
  // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradepositionclose: the whole
  // volume, which the symbol's largest deal must hold (else TRADE_RETCODE_INVALID_VOLUME)
  bool PositionClose(const ulong ticket, const ulong deviation = ~0UL) {
    Order* position = find(ticket);
    return close("PositionClose", ticket, position ? position->lots : 0.0, deviation);
  }
  // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradepositionclosepartial: part of
  // a position, for hedging accounts (the double refuses it on a netting account); a volume at or
  // above the position's closes it all
  bool PositionClosePartial(const ulong ticket, const double volume, const ulong deviation = ~0UL) {
    if (T().netting) return finish("PositionClosePartial", ticket, TRADE_RETCODE_INVALID);
    return close("PositionClosePartial", ticket, volume, deviation);
  }
  // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradebuy and ctradesell: a market
  // deal; on a netting account one against the position reduces it; an exchange places it
  // (10008) and fills it later
  bool Buy(const double volume, const string symbol) { return deal("Buy", OP_BUY, volume, symbol); }
  bool Sell(const double volume, const string symbol) {
    return deal("Sell", OP_SELL, volume, symbol);
  }
  // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradeorderdelete: pending orders
  // only; a market order in flight cannot be deleted
  bool OrderDelete(const ulong ticket) {
    Terminal& t = T();
    auto it = std::find_if(t.orders.begin(), t.orders.end(), [&](const Order& o) {
      return static_cast<ulong>(o.ticket) == ticket && o.type > OP_SELL;
    });
    if (it == t.orders.end()) return finish("OrderDelete", ticket, TRADE_RETCODE_INVALID);
    const int error = t.tradeError(*it, 0.0, 0, false);
    if (error == 0) {
      t.orders.erase(it);
      t.traded();
    }
    return finish("OrderDelete", ticket, retcode(error));
  }
  // www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctraderesultretcode
  uint ResultRetcode() const { return retcode_; }

 private:
  static Order* find(ulong ticket) {
    for (auto* o : ofKind(true))
      if (static_cast<ulong>(o->ticket) == ticket) return o;
    return nullptr;
  }
  // Closes volume of the position: refused as the market or the symbol refuses it, or while a
  // close of it is in flight (10039); placed (10008) where the exchange fills closes later; part
  // of it where the market fills only part (partialFills, 10010).
  bool close(const char* function, ulong ticket, double volume, ulong deviation) {
    Terminal& t = T();
    Order* position = find(ticket);
    if (!position) return finish(function, ticket, TRADE_RETCODE_INVALID);
    volume_ = volume;
    for (const Order& o : t.orders)
      if (o.placed && static_cast<ulong>(o.closes) == ticket)
        return finish(function, ticket, TRADE_RETCODE_CLOSE_ORDER_EXIST);
    const Quote& q = t.quotes.at(position->symbol);
    if (!q.allows(filling_)) return finish(function, ticket, TRADE_RETCODE_INVALID_FILL);
    volume = std::min(volume, position->lots);
    if (!q.takes(volume)) return finish(function, ticket, TRADE_RETCODE_INVALID_VOLUME);
    const ulong allowed = deviation == ~0UL ? deviation_ : deviation;
    const double price =
        position->type == OP_BUY ? q.bid : q.ask;  // CTrade takes the current price
    const int error = t.tradeError(*position, price + t.priceJump, static_cast<int>(allowed), true);
    if (error != 0) return finish(function, ticket, retcode(error));
    if (q.placesCloses) {
      Order order{
          t.newTicket(), position->symbol, position->type == OP_BUY ? OP_SELL : OP_BUY, volume,
          0.0,           t.newOpenTime()};
      order.placed = true;
      order.closes = position->ticket;
      t.orders.push_back(order);
      return finish(function, ticket, TRADE_RETCODE_PLACED);
    }
    uint code = TRADE_RETCODE_DONE;
    if (!t.partialFills.empty()) {
      if (t.partialFills.front() < volume) {
        volume = t.partialFills.front();  // only part of the volume found a counterparty
        code = TRADE_RETCODE_DONE_PARTIAL;
      }
      t.partialFills.pop_front();
    }
    const bool whole = volume >= position->lots - 1e-9;
    t.reduce(*position, volume);
    if (whole)
      std::erase_if(t.orders, [&](const Order& o) {
        return static_cast<ulong>(o.ticket) == ticket && !o.placed;
      });
    t.traded();
    return finish(function, ticket, code);
  }
  bool deal(const char* function, int type, double volume, const string& symbol) {
    Terminal& t = T();
    volume_ = volume;
    auto quote = t.quotes.find(symbol);
    if (quote == t.quotes.end()) return finish(function, 0, TRADE_RETCODE_INVALID);
    if (!quote->second.allows(filling_)) return finish(function, 0, TRADE_RETCODE_INVALID_FILL);
    if (!quote->second.takes(volume)) return finish(function, 0, TRADE_RETCODE_INVALID_VOLUME);
    const Order probe{0, symbol, type, volume, 0.0, 0};
    const int error = t.tradeError(probe, 0.0, 0, false);
    if (error != 0) return finish(function, 0, retcode(error));
    if (quote->second.placesCloses) {
      Order order{t.newTicket(), symbol, type, volume, 0.0, t.newOpenTime()};
      order.placed = true;
      t.orders.push_back(order);
      return finish(function, 0, TRADE_RETCODE_PLACED);
    }
    t.openOrder(symbol, type, volume, 0.0);
    t.traded();
    return finish(function, 0, TRADE_RETCODE_DONE);
  }
  static uint retcode(int error) {
    switch (error) {
      case 0: return TRADE_RETCODE_DONE;
      case ERR_NO_CONNECTION: return TRADE_RETCODE_CONNECTION;
      case ERR_TRADE_NOT_ALLOWED: return TRADE_RETCODE_CLIENT_DISABLES_AT;
      case ERR_TRADE_EXPERT_DISABLED_BY_SERVER: return TRADE_RETCODE_SERVER_DISABLES_AT;
      case ERR_TRADE_DISABLED: return TRADE_RETCODE_TRADE_DISABLED;
      case ERR_MARKET_CLOSED: return TRADE_RETCODE_MARKET_CLOSED;
      case ERR_TRADE_PROHIBITED_BY_FIFO: return TRADE_RETCODE_FIFO_CLOSE;
      case ERR_REQUOTE: return TRADE_RETCODE_REQUOTE;
      case ERR_INVALID_TRADE_VOLUME: return TRADE_RETCODE_INVALID_VOLUME;
      // A script may give the 64-bit terminal's own result codes (10004 and on) directly.
      default: return error >= 10000 ? static_cast<uint>(error) : TRADE_RETCODE_INVALID;
    }
  }
  // A request that reached the server returns true; the retcode tells how it went.
  bool finish(const char* function, ulong ticket, uint code) {
    retcode_ = code;
    T().trades.push_back({function, static_cast<int>(ticket), 0.0, static_cast<int>(deviation_),
                          code == TRADE_RETCODE_DONE ? 0 : static_cast<int>(code), volume_});
    volume_ = 0.0;
    return code != TRADE_RETCODE_INVALID;
  }
  ulong deviation_ = 10;
  ENUM_ORDER_TYPE_FILLING filling_ = ORDER_FILLING_FOK;  // the standard library's default
  uint retcode_ = 0;
  double volume_ = 0.0;  // the volume of the request under way, for the record
};

}  // namespace mql5
}  // namespace mql
