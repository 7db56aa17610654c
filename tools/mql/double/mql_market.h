// mql_market.h - the scripted terminal's market: new orders and deals (a netting account's
// positions among them), partial closes, an exchange's placed orders, canceled deals, pending
// orders that fill, and the refusals a trade call meets.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "mql_terminal.h"

namespace mql {

inline void Terminal::openOrder(const string& symbol, int type, double lots, double profit) {
  if (netting && type <= OP_SELL) {
    auto it = std::find_if(orders.begin(), orders.end(), [&](const Order& o) {
      return o.symbol == symbol && o.type <= OP_SELL && !o.placed;
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

inline void Terminal::reduce(Order& position, double volume) {
  bookPart(position,
           {nextTicket_++, position.symbol, position.type == OP_BUY ? OP_SELL : OP_BUY, volume, 0.0,
            ++clock_, now()},
           volume);
}

inline void Terminal::closePart(Order& order, double volume) {
  const int rest = nextTicket_++;
  Order closed = order;
  closed.closeTime = now();
  closed.comment = "to #" + std::to_string(rest);
  bookPart(order, closed, volume);
  order.comment = "from #" + std::to_string(order.ticket);
  order.ticket = rest;
}

inline void Terminal::bookPart(Order& position, Order part, double volume) {
  const double share = volume / position.lots;
  part.lots = volume;
  part.profit = position.profit * share;
  part.swap = position.swap * share;
  part.commission = position.commission * share;
  balance += part.result();
  history.push_back(part);
  position.profit -= part.profit;
  position.swap -= part.swap;
  position.commission -= part.commission;
  position.lots -= volume;
}

inline void Terminal::executePlaced() {
  for (size_t i = orders.size(); i-- > 0;) {
    if (!orders[i].placed) continue;
    const Order order = orders[i];
    orders.erase(orders.begin() + static_cast<std::ptrdiff_t>(i));
    if (order.closes == 0) {
      openOrder(order.symbol, order.type, order.lots, 0.0);
    } else {
      auto it = std::find_if(orders.begin(), orders.end(),
                             [&](const Order& o) { return o.ticket == order.closes && !o.placed; });
      if (it != orders.end()) {
        reduce(*it, std::min(order.lots, it->lots));
        if (it->lots <= 1e-9) orders.erase(it);
      }
    }
    i = orders.size();
  }
}

inline void Terminal::cancelDeal(int ticket) {
  for (Order& deal : history) {
    if (deal.ticket != ticket || deal.type > OP_SELL) continue;
    const double result = deal.result();
    deal.canceled = true;
    deal.profit = deal.swap = deal.commission = 0.0;
    balanceOperation(-result);
    return;
  }
}

inline void Terminal::fill(int ticket) {
  for (Order& o : orders)
    if (o.ticket == ticket && o.type > OP_SELL) o.type = (o.type % 2 == 0) ? OP_BUY : OP_SELL;
}

inline int Terminal::tradeError(const Order& order, double price, int slippage, bool close) {
  if (!connected) return ERR_NO_CONNECTION;
  if (!tradeAllowed || !autoTrading) return ERR_TRADE_NOT_ALLOWED;
  if (!accountTradeAllowed) return ERR_TRADE_DISABLED;
  if (!expertTradeAllowed) return ERR_TRADE_EXPERT_DISABLED_BY_SERVER;
  if (!closeErrors.empty()) {
    int e = closeErrors.front();
    closeErrors.pop_front();
    return e;
  }
  if (std::find(closedMarkets.begin(), closedMarkets.end(), order.symbol) != closedMarkets.end())
    return ERR_MARKET_CLOSED;
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

}  // namespace mql
