// mql5_api.h - what only MQL5 has: the 64-bit terminal's account and program properties, its
// positions, pending orders and deal history, and the standard library's CTrade (Trade\Trade.mqh,
// which the translator leaves to the double). A translated .mq5 sees these beside mql::shared; an
// .mq4 does not.
#pragma once

#include <algorithm>
#include <vector>

#include "mql_common.h"

namespace mql {

// Positions are the scripted market orders, pending orders the rest.
inline std::vector<Order*> ofKind(bool market) {
    std::vector<Order*> found;
    for (auto& o : T().orders)
        if ((o.type <= OP_SELL) == market) found.push_back(&o);
    return found;
}
inline Order* selectedPosition = nullptr;
inline const Order* deal(ulong ticket) {
    for (const auto& d : T().history)
        if (static_cast<ulong>(d.ticket) == ticket) return &d;
    return nullptr;
}

namespace mql5 {

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
inline Order* selectedOrder5 = nullptr;
// www.mql5.com/en/docs/trading/ordergetticket (selects the order too)
inline ulong OrderGetTicket(int index) {
    auto all = ofKind(false);
    if (index < 0 || index >= static_cast<int>(all.size())) return 0;
    selectedOrder5 = all[static_cast<size_t>(index)];
    return static_cast<ulong>(selectedOrder5->ticket);
}
// www.mql5.com/en/docs/trading/ordergetstring
inline string OrderGetString(ENUM_ORDER_PROPERTY_STRING property_id) {
    (void)property_id;
    return selectedOrder5 ? selectedOrder5->symbol : string();
}

// www.mql5.com/en/docs/trading/historyselect (the double keeps the whole history selected)
inline bool HistorySelect(datetime from_date, datetime to_date) { (void)from_date; (void)to_date; return true; }
// www.mql5.com/en/docs/trading/historydealstotal
inline int HistoryDealsTotal() { return static_cast<int>(T().history.size()); }
// www.mql5.com/en/docs/trading/historydealgetticket
inline ulong HistoryDealGetTicket(int index) {
    if (index < 0 || index >= HistoryDealsTotal()) return 0;
    return static_cast<ulong>(T().history[static_cast<size_t>(index)].ticket);
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
            t.traded();
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
        if (error == 0) {
            t.orders.erase(it);
            t.traded();
        }
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
            // A script may give the 64-bit terminal's own result codes (10004 and on) directly.
            default: return error >= 10000 ? static_cast<uint>(error) : TRADE_RETCODE_INVALID;
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
}  // namespace mql
