//+------------------------------------------------------------------+
//| ZentravoGuard.mq5 - the Zentravo equity guard for 64-bit         |
//| terminals: closes all positions of the account on its signal     |
//+------------------------------------------------------------------+
// The 64-bit terminal's adapter: the guard's behaviour is in ZentravoHost.mqh and the files it
// includes, shared with the 32-bit EA; this file only says how MQL5 reads the account and its
// deals and closes positions (CTrade, result codes checked, filling mode per symbol; netting and
// hedging accounts alike, since every position is closed by its ticket). Copy it to
// <data folder>\MQL5\Experts, Zentravo.mqh and the Zentravo*.mqh files to <data folder>\MQL5\Include
// and the 64-bit zentravo.dll to <data folder>\MQL5\Libraries; allow DLL imports.
// What the EA's About tab shows. The version is the guard's release, the one the panel's title,
// the quick start and the zip's name give; zentravo.dll's file properties show the library's
// own version number (QUICKSTART.txt says why).
#property copyright "Copyright (c) 2026 The Zentravo authors (MIT License)"
#property version   "3.0"
#property description "Zentravo equity guard: closes all trades of the account at a stop loss or a take"
#property description "profit set in money. Needs DLL imports (zentravo.dll). One chart per terminal."
#property description "Read Zentravo\\QUICKSTART.txt in the data folder first."
#include <Trade\Trade.mqh>
#include <ZentravoHost.mqh>

#define ZH_HISTORY_END 4102444800  // 2100.01.01: the deal history is read to here, past any quote
#define ZH_SENT_WAIT_MS 5000       // a close placed (10008) and not listed yet is not sent again for this long

CTrade gTrade;
ulong  gSentTickets[];  // positions whose close was placed and not filled yet
uint   gSentAt[];       // GetTickCount() when each was placed

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

double HostEquity()      { return(AccountInfoDouble(ACCOUNT_EQUITY)); }
double HostMargin()      { return(AccountInfoDouble(ACCOUNT_MARGIN)); }
double HostFreeMargin()  { return(AccountInfoDouble(ACCOUNT_MARGIN_FREE)); }
bool   HostIsTester()    { return(MQLInfoInteger(MQL_TESTER) != 0); }
bool   HostDllsAllowed() { return(MQLInfoInteger(MQL_DLLS_ALLOWED) != 0); }
long   HostLeverage()    { return(AccountInfoInteger(ACCOUNT_LEVERAGE)); }
string HostAccount()     { return(IntegerToString(AccountInfoInteger(ACCOUNT_LOGIN)) + "@" + AccountInfoString(ACCOUNT_SERVER)); }
string HostFilesFolder() { return("MQL5\\Files"); }
int    HostChartHandle() { return((int)ChartGetInteger(0, CHART_WINDOW_HANDLE)); }

// The deals booked at or after since, as the terminal has them now. The range runs to 2100, not
// to TimeCurrent(): that is the last quote's time, 0 before the first quote, and an operation
// booked since (a deposit on a Saturday) lies after it. Each deal's kind is HostDealKind's.
int HostHistory(datetime since, datetime &times[], long &tickets[], double &amounts[], int &kinds[])
  {
   if(!HistorySelect(since, (datetime)ZH_HISTORY_END))
      return(0);
   int n = 0;
   for(int i = 0; i < HistoryDealsTotal(); i++)
     {
      ulong deal = HistoryDealGetTicket(i);
      if(deal == 0)
         continue;
      int kind = HostDealKind(HistoryDealGetInteger(deal, DEAL_TYPE));
      ArrayResize(times, n + 1);
      ArrayResize(tickets, n + 1);
      ArrayResize(amounts, n + 1);
      ArrayResize(kinds, n + 1);
      times[n] = (datetime)HistoryDealGetInteger(deal, DEAL_TIME);
      tickets[n] = (long)deal;
      amounts[n] = HistoryDealGetDouble(deal, DEAL_PROFIT) + HistoryDealGetDouble(deal, DEAL_SWAP) +
                   HistoryDealGetDouble(deal, DEAL_COMMISSION) + HistoryDealGetDouble(deal, DEAL_FEE);
      kinds[n] = kind;
      n++;
     }
   return(n);
  }

// What a deal did to the account, by its type as the reference lists them: a trading result (0) -
// trades, commission, charges, dividends and tax, and a canceled deal (whose result a balance
// operation of its own takes back); money from outside the trading (1) - deposits and withdrawals,
// bonus, corrections, the agent commission an introducing broker receives, interest on the
// balance; credit (2). A type the reference did not list (a later terminal's) is
// ZH_UNKNOWN_KIND: the guard holds rather than guess which it is.
int HostDealKind(long type)
  {
   if(type == DEAL_TYPE_CREDIT)
      return(2);
   if(type == DEAL_TYPE_BALANCE || type == DEAL_TYPE_BONUS || type == DEAL_TYPE_CORRECTION ||
      type == DEAL_TYPE_COMMISSION_AGENT_DAILY || type == DEAL_TYPE_COMMISSION_AGENT_MONTHLY ||
      type == DEAL_TYPE_INTEREST)
      return(1);
   if(type == DEAL_TYPE_BUY || type == DEAL_TYPE_SELL || type == DEAL_TYPE_CHARGE || type == DEAL_TYPE_COMMISSION ||
      type == DEAL_TYPE_COMMISSION_DAILY || type == DEAL_TYPE_COMMISSION_MONTHLY ||
      type == DEAL_TYPE_BUY_CANCELED || type == DEAL_TYPE_SELL_CANCELED || type == DEAL_DIVIDEND ||
      type == DEAL_DIVIDEND_FRANKED || type == DEAL_TAX)
      return(0);
   return(ZH_UNKNOWN_KIND);
  }

string HostHistoryHint()
  {
   return("the terminal may still be loading the account's deal history");
  }

// Why the EA could not close a trade now ("" when it could).
string HostCannotAct()
  {
   if(TerminalInfoInteger(TERMINAL_CONNECTED) == 0)
      return("no connection to the trade server");
   if(TerminalInfoInteger(TERMINAL_TRADE_ALLOWED) == 0)
      return("AutoTrading is off in the terminal");
   if(MQLInfoInteger(MQL_TRADE_ALLOWED) == 0)
      return("live trading is not allowed for the EA (its Common tab)");
   return("");
  }

// Whether the account holds no trade the close must end: no position, and no pending order
// unless they are kept (of a resumed close, its own only). Counted afresh, so a trade opened
// during a pass is not missed.
bool HostCountsFlat()
  {
   for(int i = PositionsTotal() - 1; i >= 0; i--)
     {
      ulong position = PositionGetTicket(i);
      if(position != 0 && ZhCloseOwns((long)position, 0))
         return(false);
     }
   for(int i = OrdersTotal() - 1; i >= 0 && !KeepPendingOrders; i--)
     {
      ulong order = OrderGetTicket(i);
      if(order != 0 && OrderGetInteger(ORDER_TYPE) > ORDER_TYPE_SELL && ZhCloseOwns((long)order, 0))
         return(false);
     }
   return(true);
  }

// Every position and pending order now (a market order in flight is neither).
int HostOpenTickets(long &tickets[])
  {
   int n = 0;
   ArrayResize(tickets, 0);
   for(int i = 0; i < PositionsTotal() + OrdersTotal(); i++)
     {
      bool position = i < PositionsTotal();
      ulong ticket = position ? PositionGetTicket(i) : OrderGetTicket(i - PositionsTotal());
      if(ticket == 0 || (!position && OrderGetInteger(ORDER_TYPE) <= ORDER_TYPE_SELL))
         continue;
      ArrayResize(tickets, n + 1);
      tickets[n] = (long)ticket;
      n++;
     }
   return(n);
  }

// One pass: pending orders first unless kept (a stop order cannot fill while its positions
// close), then positions oldest first (FIFO accounts).
bool HostCloseAll()
  {
   gBlockedReason = "";
   if(HostTradingBlocked())
      return(false);
   if(!KeepPendingOrders)
      HostDeletePendingOrders();
   ulong tickets[];
   HostPositionsOldestFirst(tickets);
   for(int k = 0; k < ArraySize(tickets); k++)
     {
      if(!PositionSelectByTicket(tickets[k]))
         continue;
      string symbol = PositionGetString(POSITION_SYMBOL);
      if(!ZhNoteTicket((long)tickets[k], symbol, 0) || HostCloseInFlight(tickets[k], symbol))
         continue;
      gTrade.SetDeviationInPoints((ulong)ZhSlippagePoints(symbol));
      HostSetFilling(symbol);
      HostClosePosition(tickets[k], symbol);
     }
   return(HostCountsFlat());
  }

// Whether the terminal lets no trade through now: no connection, or trading disabled (the
// terminal's AutoTrading or the EA's own box). Says why in gBlockedReason.
bool HostTradingBlocked()
  {
   if(TerminalInfoInteger(TERMINAL_CONNECTED) == 0)
     {
      gBlockedReason = "no connection";
      gBlockedPassing = false;
      return(true);
     }
   if(TerminalInfoInteger(TERMINAL_TRADE_ALLOWED) == 0 || MQLInfoInteger(MQL_TRADE_ALLOWED) == 0)
     {
      gBlockedReason = "trading is disabled";
      gBlockedPassing = false;
      return(true);
     }
   return(false);
  }

// Deletes every pending order the pass has not seen yet.
void HostDeletePendingOrders()
  {
   for(int i = OrdersTotal() - 1; i >= 0; i--)
     {
      // A market order among the orders is a close in flight: it is left to fill.
      ulong ticket = OrderGetTicket(i);
      if(ticket == 0 || OrderGetInteger(ORDER_TYPE) <= ORDER_TYPE_SELL ||
         !ZhNoteTicket((long)ticket, OrderGetString(ORDER_SYMBOL), 0))
         continue;
      bool sent = gTrade.OrderDelete(ticket);
      HostNoteResult(sent, "");
     }
  }

// The open positions' tickets, oldest first (by the millisecond they opened, then by ticket).
void HostPositionsOldestFirst(ulong &tickets[])
  {
   long opened[];
   ArrayResize(tickets, 0);
   ArrayResize(opened, 0);
   for(int i = 0; i < PositionsTotal(); i++)
     {
      ulong ticket = PositionGetTicket(i);
      if(ticket == 0)
         continue;
      long time = PositionGetInteger(POSITION_TIME_MSC);
      int n = ArraySize(tickets);
      ArrayResize(tickets, n + 1);
      ArrayResize(opened, n + 1);
      int at = n;
      while(at > 0 && (opened[at - 1] > time || (opened[at - 1] == time && tickets[at - 1] > ticket)))
        {
         tickets[at] = tickets[at - 1];
         opened[at] = opened[at - 1];
         at--;
        }
      tickets[at] = ticket;
      opened[at] = time;
     }
  }

// Instant and Request execution fill a market order Fill or Kill; otherwise FOK or IOC as the
// symbol's flags allow, and an exchange symbol that allows neither takes Return.
void HostSetFilling(string symbol)
  {
   long execution = SymbolInfoInteger(symbol, SYMBOL_TRADE_EXEMODE);
   if(execution == SYMBOL_TRADE_EXECUTION_INSTANT || execution == SYMBOL_TRADE_EXECUTION_REQUEST)
      gTrade.SetTypeFilling(ORDER_FILLING_FOK);
   else if(!gTrade.SetTypeFillingBySymbol(symbol))
      gTrade.SetTypeFilling(ORDER_FILLING_RETURN);
  }

// Closes one position in pieces the symbol takes: a hedging position by partial closes, a
// netting one by deals against it. A close placed (10008) waits for its fill: nothing more is
// sent for the symbol meanwhile.
void HostClosePosition(ulong ticket, string symbol)
  {
   bool hedging = AccountInfoInteger(ACCOUNT_MARGIN_MODE) == ACCOUNT_MARGIN_MODE_RETAIL_HEDGING;
   for(int piece = 0; piece < ZH_PIECES; piece++)
     {
      if(!PositionSelectByTicket(ticket))
         return;
      double volume = PositionGetDouble(POSITION_VOLUME);
      double lots = ZhClosePiece(symbol, volume);
      bool sent;
      if(lots >= volume - ZH_VOLUME_EPSILON)
         sent = gTrade.PositionClose(ticket);
      else if(hedging)
         sent = gTrade.PositionClosePartial(ticket, lots);
      else if(PositionGetInteger(POSITION_TYPE) == POSITION_TYPE_BUY)
         sent = gTrade.Sell(lots, symbol);
      else
         sent = gTrade.Buy(lots, symbol);
      if(sent && gTrade.ResultRetcode() == TRADE_RETCODE_PLACED)
        {
         HostNoteSent(ticket);
         return;
        }
      // Done in part: the market has no more volume for now; the next pass goes on.
      if(!HostNoteResult(sent, symbol) || gTrade.ResultRetcode() == TRADE_RETCODE_DONE_PARTIAL)
         return;
     }
  }

// Whether a close of the position may be in flight: a market order on its symbol is among the
// orders (an order names its position only once it is executed, so a close placed and not filled
// is known by its symbol), or one was placed moments ago (the terminal may list it a little
// later). Sending more then could close more than the position holds: on a netting or exchange
// account, a reversed position.
bool HostCloseInFlight(ulong ticket, string symbol)
  {
   for(int i = OrdersTotal() - 1; i >= 0; i--)
      if(OrderGetTicket(i) != 0 && OrderGetInteger(ORDER_TYPE) <= ORDER_TYPE_SELL &&
         OrderGetString(ORDER_SYMBOL) == symbol)
         return(true);
   for(int k = 0; k < ArraySize(gSentTickets); k++)
      if(gSentTickets[k] == ticket && GetTickCount() - gSentAt[k] < ZH_SENT_WAIT_MS)
         return(true);
   return(false);
  }

void HostNoteSent(ulong ticket)
  {
   int n = ArraySize(gSentTickets);
   int at = n;
   for(int k = 0; k < n; k++)
      if(gSentTickets[k] == ticket || GetTickCount() - gSentAt[k] >= ZH_SENT_WAIT_MS)
         at = k;
   if(at == n)
     {
      ArrayResize(gSentTickets, n + 1);
      ArrayResize(gSentAt, n + 1);
     }
   gSentTickets[at] = ticket;
   gSentAt[at] = GetTickCount();
   Print("ZentravoGuard: close of position ", ticket, " placed; waiting for its fill");
  }

// Done (10009) and done in part (10010) went through: true. Every other result code names the
// refusal (ZhNoteRefusal); the pass tries again either way.
bool HostNoteResult(bool sent, string symbol)
  {
   uint code = gTrade.ResultRetcode();
   if(sent && (code == TRADE_RETCODE_DONE || code == TRADE_RETCODE_DONE_PARTIAL))
      return(true);
   ZhNoteRefusal((int)code, symbol);
   Print("ZentravoGuard: close not done yet, result code ", code);
   return(false);
  }
//+------------------------------------------------------------------+
