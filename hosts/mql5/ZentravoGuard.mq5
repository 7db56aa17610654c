//+------------------------------------------------------------------+
//| ZentravoGuard.mq5 - the Zentravo equity guard for 64-bit         |
//| terminals: closes all positions of the account on its signal     |
//+------------------------------------------------------------------+
// The 64-bit terminal's adapter: the guard's behaviour is in ZentravoHost.mqh, shared with the
// 32-bit EA; this file only says how MQL5 reads the account and closes positions (CTrade, result
// codes checked, filling mode per symbol; netting and hedging accounts alike, since every
// position is closed by its ticket). Copy it to <data folder>\MQL5\Experts, Zentravo.mqh and
// ZentravoHost.mqh to <data folder>\MQL5\Include and the 64-bit zentravo.dll to
// <data folder>\MQL5\Libraries; allow DLL imports.
#include <Trade\Trade.mqh>
#include <ZentravoHost.mqh>

CTrade gTrade;

int OnInit()
  {
   if(MQLInfoInteger(MQL_DLLS_ALLOWED) == 0)
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

double HostEquity()     { return(AccountInfoDouble(ACCOUNT_EQUITY)); }
double HostMargin()     { return(AccountInfoDouble(ACCOUNT_MARGIN)); }
double HostFreeMargin() { return(AccountInfoDouble(ACCOUNT_MARGIN_FREE)); }
bool   HostIsTester()   { return(MQLInfoInteger(MQL_TESTER) != 0); }
long   HostLeverage()   { return(AccountInfoInteger(ACCOUNT_LEVERAGE)); }
string HostAccount()    { return(IntegerToString(AccountInfoInteger(ACCOUNT_LOGIN)) + "@" + AccountInfoString(ACCOUNT_SERVER)); }
// Balance operations in the deal history above the ticket after: deposits and withdrawals,
// credit, bonus and corrections (commission, swaps, charges and the rest are trading results).
// TimeCurrent() is the server time of the last quote: an operation booked since (a deposit on a
// Saturday) lies after it, so the history is selected to a year beyond.
double HostNewBalanceOperations(long after, long &newest)
  {
   double sum = 0;
   if(!HistorySelect(0, TimeCurrent() + 366 * 86400))
      return(sum);
   for(int i = 0; i < HistoryDealsTotal(); i++)
     {
      ulong deal = HistoryDealGetTicket(i);
      if(deal == 0)
         continue;
      long type = HistoryDealGetInteger(deal, DEAL_TYPE);
      if(type != DEAL_TYPE_BALANCE && type != DEAL_TYPE_CREDIT && type != DEAL_TYPE_BONUS &&
         type != DEAL_TYPE_CORRECTION)
         continue;
      if((long)deal > newest)
         newest = (long)deal;
      if((long)deal > after)
         sum += HistoryDealGetDouble(deal, DEAL_PROFIT);
     }
   return(sum);
  }

int    HostChartHandle() { return((int)ChartGetInteger(0, CHART_WINDOW_HANDLE)); }

// Why the EA could not close a trade now ("" when it could).
string HostCannotAct()
  {
   if(MQLInfoInteger(MQL_DLLS_ALLOWED) == 0)
      return("DLL imports are not allowed");
   if(TerminalInfoInteger(TERMINAL_CONNECTED) == 0)
      return("no connection to the trade server");
   if(TerminalInfoInteger(TERMINAL_TRADE_ALLOWED) == 0)
      return("AutoTrading is off in the terminal");
   if(MQLInfoInteger(MQL_TRADE_ALLOWED) == 0)
      return("live trading is not allowed for the EA (its Common tab)");
   return("");
  }

// Whether the account holds no trade the close must end: no position, and no pending order
// unless they are kept. Counted afresh, so a trade opened during a pass is not missed.
bool HostCountsFlat()
  {
   return(PositionsTotal() == 0 && (KeepPendingOrders || OrdersTotal() == 0));
  }

// One pass: pending orders first unless kept (a stop order cannot fill while its positions
// close), then positions oldest first (FIFO accounts).
bool HostCloseAll()
  {
   gBlockedReason = "";
   if(TerminalInfoInteger(TERMINAL_CONNECTED) == 0)
     {
      gBlockedReason = "no connection";
      gBlockedPassing = false;
      return(false);
     }
   if(TerminalInfoInteger(TERMINAL_TRADE_ALLOWED) == 0 || MQLInfoInteger(MQL_TRADE_ALLOWED) == 0)
     {
      gBlockedReason = "trading is disabled";
      gBlockedPassing = false;
      return(false);
     }
   if(!KeepPendingOrders)
      for(int i = OrdersTotal() - 1; i >= 0; i--)
        {
         ulong ticket = OrderGetTicket(i);
         if(ticket == 0)
            continue;
         ZhNoteTicket((long)ticket, OrderGetString(ORDER_SYMBOL));
         bool sent = gTrade.OrderDelete(ticket);
         ZhNoteRetcode(sent, "");
        }
   ulong tickets[];
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
   for(int k = 0; k < ArraySize(tickets); k++)
     {
      if(!PositionSelectByTicket(tickets[k]))
         continue;
      string symbol = PositionGetString(POSITION_SYMBOL);
      ZhNoteTicket((long)tickets[k], symbol);
      gTrade.SetDeviationInPoints((ulong)ZhSlippagePoints(symbol));
      // FOK or IOC as the symbol's flags allow; a symbol that allows neither (an exchange
      // symbol) takes Return, which every execution but Market execution accepts.
      if(!gTrade.SetTypeFillingBySymbol(symbol))
         gTrade.SetTypeFilling(ORDER_FILLING_RETURN);
      bool sent = gTrade.PositionClose(tickets[k]);
      ZhNoteRetcode(sent, symbol);
     }
   return(HostCountsFlat());
  }

// Every result code but done names the refusal (ZhNoteRefusal); the pass tries again either way.
void ZhNoteRetcode(bool sent, string symbol)
  {
   uint code = gTrade.ResultRetcode();
   if(sent && (code == TRADE_RETCODE_DONE || code == TRADE_RETCODE_DONE_PARTIAL))
      return;
   ZhNoteRefusal((int)code, symbol);
   Print("ZentravoGuard: close not done yet, result code ", code);
  }
//+------------------------------------------------------------------+
