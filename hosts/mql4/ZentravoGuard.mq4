//+------------------------------------------------------------------+
//| ZentravoGuard.mq4 - an expert advisor that lets the Zentravo     |
//| equity guard close all trades of the account                    |
//+------------------------------------------------------------------+
// Written against include/zentravo.h and reviewed line by line against it. It could not be
// compiled where it was written (there is no MetaEditor there), so it keeps to the documented
// MQL4 language and stays short. Copy it to <data folder>\MQL4\Experts, Zentravo.mqh to
// <data folder>\MQL4\Include and zentravo.dll to <data folder>\MQL4\Libraries; allow DLL
// imports; attach it to ONE chart only: every chart of a terminal shares the one loaded library.
//
// The calling sequence: InitZT once; SetEquity every tick; on a close-all result close every
// trade, SetTTC with the time it took and the equity left, show the alert, then SetEquity in
// snapshot mode (kind-3 alert on ZT_INCREASE_REACHED); kind-4 alert on ZT_DRAWDOWN_STEP.
#property strict
#include <Zentravo.mqh>

input string TakeProfits        = "50,30;80,60";   // take-profit sets
input string DrawdownTargets    = "20,40;25,50";   // drawdown-target sets
input string IncreaseTargets    = "1100,1200";     // equity-increase targets (equity levels, commas)
input string StopLosses         = "100,150";       // stop losses
input double EmailEquityTarget  = 0;   // e-mail when equity - snapshot reaches this; 0 off
input double EmailMarginPercent = 0;   // e-mail when 100 x margin / free margin reaches this; 0 off
input double EmailDrawdown      = 0;   // e-mail when snapshot - equity reaches this; 0 off
input int    CloseAttempts      = 10;  // passes over the open trades before giving up
input int    RetryWaitMs        = 500; // wait between passes (trade context busy, requotes)
input int    Slippage           = 3;   // points

double gInitialEquity = 0;       // InitZT reads it (0: the guard's stored value) and writes it
bool   gEmailSent[3];            // per kind, in this cycle
int    gIncreasesPassed = 0;     // ZT_INCREASE_REACHED results so far
double gIncreaseTargets[];       // the EA's own copy, named in the e-mails

int OnInit()
  {
   if(!IsDllsAllowed())
     {
      Alert("ZentravoGuard: allow DLL imports (Tools - Options - Expert Advisors)");
      return(INIT_FAILED);
     }
   // This chart's own window: WindowHandle(Symbol(), Period()) may name another chart of the symbol.
   double snapshot = ZtInit((int)ChartGetInteger(0, CHART_WINDOW_HANDLE), "ZentravoGuard", gInitialEquity,
                            AccountEquity(), AccountMargin(), AccountFreeMargin(),
                            TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
   if(snapshot <= 0)
     {
      Alert("ZentravoGuard: the guard did not start (no usable equity)");
      return(INIT_FAILED);
     }
   string parts[];
   int count = StringSplit(IncreaseTargets, ',', parts);
   ArrayResize(gIncreaseTargets, 0);
   for(int i = 0; i < count; i++)
     {
      double amount = StringToDouble(parts[i]);
      if(amount > 0)
        {
         int n = ArraySize(gIncreaseTargets);
         ArrayResize(gIncreaseTargets, n + 1);
         gIncreaseTargets[n] = amount;
        }
     }
   if(EmailEquityTarget > 0 || EmailMarginPercent > 0 || EmailDrawdown > 0)
      SetEmailProp(EmailEquityTarget, EmailMarginPercent, EmailDrawdown);
   ArrayInitialize(gEmailSent, false);
   DrawDashboard();
   return(INIT_SUCCEEDED);
  }

void OnDeinit(const int reason)
  {
   for(int i = ObjectsTotal() - 1; i >= 0; i--)
     {
      string name = ObjectName(i);
      if(StringFind(name, "ZT_") == 0)
         ObjectDelete(name);
     }
  }

void OnTick()
  {
   int result = SetEquity(AccountEquity(), AccountMargin(), AccountFreeMargin(), 0);
   if(result == ZT_STOP_LOSS_HIT || result == ZT_TAKE_PROFIT_HIT)
     {
      uint started = GetTickCount();
      if(!CloseAllTrades())
         Alert("ZentravoGuard: some trades could not be closed; the guard rolls on anyway");
      int durationMs = (int)(GetTickCount() - started);
      double equityLeft = AccountEquity();
      SetTTC(durationMs, equityLeft);
      Alert(ZtAlert(result == ZT_STOP_LOSS_HIT ? 1 : 2));
      if(SetEquity(equityLeft, 0, 0, 1) == ZT_INCREASE_REACHED)
        {
         gIncreasesPassed++;
         Alert(ZtAlert(3));
        }
      ArrayInitialize(gEmailSent, false);
     }
   else
     {
      if(result == ZT_DRAWDOWN_STEP)
         Alert(ZtAlert(4));
      SendDueEmails();
     }
   DrawDashboard();
  }

// Closes market orders at the current price and deletes pending ones, all symbols, pass after
// pass: a terminal refuses a close while its trade context is busy or the price moved.
bool CloseAllTrades()
  {
   for(int attempt = 0; attempt < CloseAttempts; attempt++)
     {
      for(int i = OrdersTotal() - 1; i >= 0; i--)
        {
         if(!OrderSelect(i, SELECT_BY_POS, MODE_TRADES))
            continue;
         if(IsTradeContextBusy())
            break;
         RefreshRates();
         int type = OrderType();
         bool done;
         if(type == OP_BUY)
            done = OrderClose(OrderTicket(), OrderLots(), MarketInfo(OrderSymbol(), MODE_BID), Slippage, clrNONE);
         else if(type == OP_SELL)
            done = OrderClose(OrderTicket(), OrderLots(), MarketInfo(OrderSymbol(), MODE_ASK), Slippage, clrNONE);
         else
            done = OrderDelete(OrderTicket());
         if(!done)
            Print("ZentravoGuard: order ", OrderTicket(), " not closed yet, error ", GetLastError());
        }
      if(OrdersTotal() == 0)
         return(true);
      Sleep(RetryWaitMs);
     }
   return(OrdersTotal() == 0);
  }

// The library never decides that an e-mail is due: the EA compares its own thresholds and sends
// each kind at most once per cycle.
void SendDueEmails()
  {
   double equity = AccountEquity();
   double snapshot = GetEquitySnap();
   double freeMargin = MathMax(AccountFreeMargin(), 0.001);
   bool due[3];
   due[0] = EmailEquityTarget > 0 && equity - snapshot >= EmailEquityTarget;
   due[1] = EmailMarginPercent > 0 && 100.0 * AccountMargin() / freeMargin >= EmailMarginPercent;
   due[2] = EmailDrawdown > 0 && snapshot - equity >= EmailDrawdown;
   double increaseTarget = 0;
   if(gIncreasesPassed < ArraySize(gIncreaseTargets))
      increaseTarget = gIncreaseTargets[gIncreasesPassed];
   for(int kind = 0; kind < 3; kind++)
     {
      if(!due[kind] || gEmailSent[kind])
         continue;
      gEmailSent[kind] = true;
      string body = "";
      for(int part = 0; part < 6; part++)
         body = body + ZtEmailText(part, kind, increaseTarget);
      SendMail(ZtEmailSubject(kind), body);
     }
  }

// Two columns of label and value: column 0 rows 0-15 (row 0 the title), column 1 rows 0-13.
void DrawDashboard()
  {
   for(int row = 0; row < 16; row++)
     {
      PutText("ZT_L0_" + IntegerToString(row), 10, 20 + row * 14, ZtLabel(row, 0), clrSilver);
      PutText("ZT_V0_" + IntegerToString(row), 200, 20 + row * 14, ZtValue(row, 0), clrWhite);
     }
   for(int row = 0; row < 14; row++)
     {
      PutText("ZT_L1_" + IntegerToString(row), 560, 20 + row * 14, ZtLabel(row, 1), clrSilver);
      PutText("ZT_V1_" + IntegerToString(row), 730, 20 + row * 14, ZtValue(row, 1), clrWhite);
     }
  }

void PutText(string name, int x, int y, string text, color colour)
  {
   if(ObjectFind(0, name) < 0)
     {
      ObjectCreate(0, name, OBJ_LABEL, 0, 0, 0);
      ObjectSetInteger(0, name, OBJPROP_CORNER, CORNER_LEFT_UPPER);
      ObjectSetInteger(0, name, OBJPROP_XDISTANCE, x);
      ObjectSetInteger(0, name, OBJPROP_YDISTANCE, y);
      ObjectSetInteger(0, name, OBJPROP_FONTSIZE, 8);
      ObjectSetString(0, name, OBJPROP_FONT, "Courier New");
      ObjectSetInteger(0, name, OBJPROP_COLOR, colour);
      ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
     }
   // An empty label would show the terminal's default text.
   ObjectSetString(0, name, OBJPROP_TEXT, text == "" ? " " : text);
  }
//+------------------------------------------------------------------+
