//+------------------------------------------------------------------+
//| ZentravoGuard.mq4 - an expert advisor that lets the Zentravo     |
//| equity guard close all trades of the account                    |
//+------------------------------------------------------------------+
// The 32-bit terminal's adapter: the guard's behaviour is in ZentravoHost.mqh and the files it
// includes, shared with the 64-bit EA; this file only says how MQL4 reads the account and its
// history and closes orders. Copy it to <data folder>\MQL4\Experts, Zentravo.mqh and the
// Zentravo*.mqh files to <data folder>\MQL4\Include and zentravo.dll to
// <data folder>\MQL4\Libraries; allow DLL imports.
// What the EA's About tab shows. The version is the guard's release, the one the panel's title,
// the quick start and the zip's name give; zentravo.dll's file properties show the library's
// own version number (QUICKSTART.txt says why).
#property copyright "Copyright (c) 2026 The Zentravo authors (MIT License)"
#property version   "3.0"
#property description "Zentravo equity guard: closes all trades of the account at a stop loss or a take"
#property description "profit set in money. Needs DLL imports (zentravo.dll). One chart per terminal."
#property description "Read Zentravo\\QUICKSTART.txt in the data folder first."
#property strict
#include <ZentravoHost.mqh>

int OnInit()
  {
   return(ZhInit());
  }

void OnDeinit(const int reason)
  {
   ZhDeinit(reason);
  }

void OnTick()
  {
   ZhCheck();
  }

void OnTimer()
  {
   ZhCheck();
  }

double HostEquity()      { return(AccountEquity()); }
double HostMargin()      { return(AccountMargin()); }
double HostFreeMargin()  { return(AccountFreeMargin()); }
bool   HostIsTester()    { return(IsTesting()); }
bool   HostDllsAllowed() { return(IsDllsAllowed()); }
long   HostLeverage()    { return(AccountLeverage()); }
string HostAccount()     { return(IntegerToString(AccountNumber()) + "@" + AccountServer()); }
string HostFilesFolder() { return("MQL4\\Files"); }

// The records of the history the Account History tab has loaded (OrdersHistoryTotal) that closed
// or were booked at or after since: closed orders (their result with swap and commission),
// balance operations (6) and credit (7). What the tab hides is not here.
int HostHistory(datetime since, datetime &times[], long &tickets[], double &amounts[], int &kinds[])
  {
   int n = 0;
   for(int i = 0; i < OrdersHistoryTotal(); i++)
     {
      if(!OrderSelect(i, SELECT_BY_POS, MODE_HISTORY) || OrderCloseTime() < since)
         continue;
      int kind = OrderType() == 6 ? 1 : OrderType() == 7 ? 2 : 0;
      ArrayResize(times, n + 1);
      ArrayResize(tickets, n + 1);
      ArrayResize(amounts, n + 1);
      ArrayResize(kinds, n + 1);
      times[n] = OrderCloseTime();
      tickets[n] = OrderTicket();
      amounts[n] = kind == 0 ? OrderProfit() + OrderSwap() + OrderCommission() : OrderProfit();
      kinds[n] = kind;
      n++;
     }
   return(n);
  }

string HostHistoryHint()
  {
   return("the Account History tab must show the whole history, or at least a period that reaches today: right-click it - All History");
  }

// Why the EA could not close a trade now ("" when it could). A trade thread busy with another EA
// is no reason: it is let go within moments, and a close meanwhile simply tries again.
string HostCannotAct()
  {
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
// unless they are kept (of a resumed close, its own only). Counted afresh, so a trade opened
// during a pass is not missed.
bool HostCountsFlat()
  {
   for(int i = OrdersTotal() - 1; i >= 0; i--)
      if(OrderSelect(i, SELECT_BY_POS, MODE_TRADES) && (OrderType() <= OP_SELL || !KeepPendingOrders) &&
         ZhCloseOwns(OrderTicket(), ZhRemainderOf(OrderComment())))
         return(false);
   return(true);
  }

// Every order of the trade pool now, market and pending.
int HostOpenTickets(long &tickets[])
  {
   int n = 0;
   ArrayResize(tickets, 0);
   for(int i = 0; i < OrdersTotal(); i++)
     {
      if(!OrderSelect(i, SELECT_BY_POS, MODE_TRADES))
         continue;
      ArrayResize(tickets, n + 1);
      tickets[n] = OrderTicket();
      n++;
     }
   return(n);
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
         if(!OrderSelect(i, SELECT_BY_POS, MODE_TRADES) || OrderType() <= OP_SELL ||
            !ZhNoteTicket(OrderTicket(), OrderSymbol(), 0))
            continue;
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
      HostCloseOrder(tickets[k]);
   return(HostCountsFlat());
  }

// Closes one market order in pieces the symbol takes. Selected by ticket, an order is found in
// the history too: one closed meanwhile (by its stop, by another EA) is not closed again. What a
// partial close leaves reopens under a new ticket "from #" the old one: that is the same trade,
// and its close goes on.
void HostCloseOrder(int ticket)
  {
   for(int piece = 0; piece < ZH_PIECES; piece++)
     {
      if(!OrderSelect(ticket, SELECT_BY_TICKET) || OrderCloseTime() != 0)
         return;
      string symbol = OrderSymbol();
      if(!ZhNoteTicket(OrderTicket(), symbol, ZhRemainderOf(OrderComment())))
         return;
      double lots = ZhClosePiece(symbol, OrderLots());
      double price = MarketInfo(symbol, OrderType() == OP_BUY ? MODE_BID : MODE_ASK);
      if(!OrderClose(ticket, lots, price, ZhSlippagePoints(symbol), clrNONE))
        {
         int error = GetLastError();
         ZhNoteRefusal(error, symbol);
         Print("ZentravoGuard: order ", ticket, " not closed yet, error ", error);
         return;
        }
      ticket = HostRemainder(ticket);
      if(ticket == 0)
         return;
     }
  }

// The open order that remains of order ticket after a partial close, 0 when none does.
int HostRemainder(int ticket)
  {
   for(int i = OrdersTotal() - 1; i >= 0; i--)
      if(OrderSelect(i, SELECT_BY_POS, MODE_TRADES) && ZhRemainderOf(OrderComment()) == ticket)
         return(OrderTicket());
   return(0);
  }
//+------------------------------------------------------------------+
