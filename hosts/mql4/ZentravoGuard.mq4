//+------------------------------------------------------------------+
//| ZentravoGuard.mq4 - an expert advisor that lets the Zentravo     |
//| equity guard close all trades of the account                    |
//+------------------------------------------------------------------+
// The 32-bit terminal's adapter: the guard's behaviour is in ZentravoHost.mqh, shared with the
// 64-bit EA; this file only says how MQL4 reads the account and closes orders. Copy it to
// <data folder>\MQL4\Experts, Zentravo.mqh and ZentravoHost.mqh to <data folder>\MQL4\Include
// and zentravo.dll to <data folder>\MQL4\Libraries; allow DLL imports.
#property strict
#include <ZentravoHost.mqh>

int OnInit()
  {
   if(!IsDllsAllowed())
     {
      Alert("ZentravoGuard: allow DLL imports (Tools - Options - Expert Advisors)");
      return(INIT_FAILED);
     }
   return(ZhInit());
  }

void OnDeinit(const int reason)
  {
   ZhDeinit();
  }

void OnTick()
  {
   ZhCheck();
  }

void OnTimer()
  {
   ZhCheck();
  }

double HostEquity()     { return(AccountEquity()); }
double HostMargin()     { return(AccountMargin()); }
double HostFreeMargin() { return(AccountFreeMargin()); }
bool   HostIsTester()   { return(IsTesting()); }
long   HostLeverage()   { return(AccountLeverage()); }
string HostAccount()    { return(IntegerToString(AccountNumber()) + "@" + AccountServer()); }

// Balance operations (6) and credit (7) in the history above the ticket after. The Account
// History tab's period decides what OrdersHistoryTotal holds: operations it hides are either
// accounted for already (their tickets are lower) or show up once it holds them again.
double HostNewBalanceOperations(long after, long &newest)
  {
   double sum = 0;
   for(int i = 0; i < OrdersHistoryTotal(); i++)
     {
      if(!OrderSelect(i, SELECT_BY_POS, MODE_HISTORY) || (OrderType() != 6 && OrderType() != 7))
         continue;
      if(OrderTicket() > newest)
         newest = OrderTicket();
      if(OrderTicket() > after)
         sum += OrderProfit();
     }
   return(sum);
  }

// Why the EA could not close a trade now ("" when it could). A trade thread busy with another EA
// is no reason: it is let go within moments, and a close meanwhile simply tries again.
string HostCannotAct()
  {
   if(!IsDllsAllowed())
      return("DLL imports are not allowed");
   if(!IsConnected())
      return("no connection to the trade server");
   if(!IsExpertEnabled())
      return("AutoTrading is off in the terminal");
   if(!IsTradeAllowed() && !IsTradeContextBusy())
      return("live trading is not allowed for the EA (its Common tab)");
   return("");
  }

// This chart's own window (WindowHandle(Symbol(), Period()) may name another chart of the symbol).
int HostChartHandle()
  {
   return((int)ChartGetInteger(0, CHART_WINDOW_HANDLE));
  }

// Whether the account holds no trade the close must end: no market order, and no pending order
// unless they are kept. Counted afresh, so a trade opened during a pass is not missed.
bool HostCountsFlat()
  {
   for(int i = OrdersTotal() - 1; i >= 0; i--)
      if(OrderSelect(i, SELECT_BY_POS, MODE_TRADES) && (OrderType() <= OP_SELL || !KeepPendingOrders))
         return(false);
   return(true);
  }

// One pass over the trade pool: pending orders first (a stop order cannot fill while its
// positions close), then market orders oldest first so that FIFO accounts accept every close.
bool HostCloseAll()
  {
   gBlockedReason = "";
   if(!IsConnected())
     {
      gBlockedReason = "no connection";
      gBlockedPassing = false;
      return(false);
     }
   if(IsTradeContextBusy())
     {
      ZhNoteRefusal(146, "");  // another EA holds the trade thread: try again on the next event
      return(false);
     }
   if(!IsTradeAllowed())
     {
      gBlockedReason = "trading is disabled";
      gBlockedPassing = false;
      return(false);
     }
   if(!KeepPendingOrders)
      for(int i = OrdersTotal() - 1; i >= 0; i--)
        {
         if(!OrderSelect(i, SELECT_BY_POS, MODE_TRADES) || OrderType() <= OP_SELL)
            continue;
         ZhNoteTicket(OrderTicket(), OrderSymbol());
         if(!OrderDelete(OrderTicket(), clrNONE))
            ZhNoteRefusal(GetLastError(), OrderSymbol());
        }
   int total = OrdersTotal();
   int tickets[];
   datetime opened[];
   ArrayResize(tickets, 0);
   ArrayResize(opened, 0);
   for(int i = 0; i < total; i++)
     {
      if(!OrderSelect(i, SELECT_BY_POS, MODE_TRADES) || OrderType() > OP_SELL)
         continue;
      // Insert by open time (then ticket), keeping the list sorted oldest first.
      int n = ArraySize(tickets);
      ArrayResize(tickets, n + 1);
      ArrayResize(opened, n + 1);
      int at = n;
      while(at > 0 && (opened[at - 1] > OrderOpenTime() ||
                       (opened[at - 1] == OrderOpenTime() && tickets[at - 1] > OrderTicket())))
        {
         tickets[at] = tickets[at - 1];
         opened[at] = opened[at - 1];
         at--;
        }
      tickets[at] = OrderTicket();
      opened[at] = OrderOpenTime();
     }
   for(int k = 0; k < ArraySize(tickets); k++)
     {
      // Selected by ticket, an order is found in the history too: one closed meanwhile (by
      // its stop, by another EA) is not closed again.
      if(!OrderSelect(tickets[k], SELECT_BY_TICKET) || OrderCloseTime() != 0)
         continue;
      string symbol = OrderSymbol();
      ZhNoteTicket(OrderTicket(), symbol);
      double price = MarketInfo(symbol, OrderType() == OP_BUY ? MODE_BID : MODE_ASK);
      if(!OrderClose(OrderTicket(), OrderLots(), price, ZhSlippagePoints(symbol), clrNONE))
        {
         int error = GetLastError();
         ZhNoteRefusal(error, symbol);
         Print("ZentravoGuard: order ", OrderTicket(), " not closed yet, error ", error);
        }
     }
   return(HostCountsFlat());
  }
//+------------------------------------------------------------------+
