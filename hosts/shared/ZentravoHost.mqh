//+------------------------------------------------------------------+
//| ZentravoHost.mqh - the expert advisor's whole behaviour, shared   |
//| by the 32-bit (MQL4) and 64-bit (MQL5) terminals                  |
//+------------------------------------------------------------------+
// The EA file that includes this defines the pieces that differ between terminals, all named Host...:
//   double HostEquity(), HostMargin(), HostFreeMargin()   account figures
//   int    HostChartHandle()                              this chart's window
//   bool   HostIsTester()                                 running in the strategy tester
//   string HostAccount()                                  "login@server" of the account
//   double HostNewBalanceOperations(long after, long &newest)
//          the sum of the balance operations (deposits, withdrawals, credit, bonus, corrections)
//          whose ticket is above after; newest becomes the highest such ticket in the history
//   long   HostLeverage()                                 the account's leverage (1:N)
//   string HostCannotAct()                                why the EA cannot trade now, "" when it can
//   bool   HostCloseAll()                                 one pass: delete pending orders unless
//          KeepPendingOrders, then close every position oldest first, each noted with
//          ZhNoteTicket; true when a count of the account after the pass finds it flat; on a
//          refusal it names it with ZhNoteRefusal
// Everything else - when to check, the close-all cycle, e-mails, the panel - lives here, so the
// two terminals behave the same.
#include <Zentravo.mqh>

input string TakeProfits        = "50,30;80,60";   // take-profit sets
input string DrawdownTargets    = "20,40;25,50";   // drawdown-target sets
input string IncreaseTargets    = "1100,1200";     // equity-increase targets (equity levels)
input string StopLosses         = "100,150";       // stop losses
input double EmailEquityTarget  = 0;     // e-mail when equity - snapshot reaches this; 0 off
input double EmailMarginPercent = 0;     // e-mail when 100 x margin / free margin reaches this; 0 off
input double EmailDrawdown      = 0;     // e-mail when snapshot - equity reaches this; 0 off
input bool   PushNotifications  = false; // send the e-mail texts as push notifications too
input int    TimerMs            = 250;   // the guard checks on this timer as well as on ticks
input int    SlippagePoints     = 0;     // accepted slippage of a close, in points of the symbol; 0: about 0.03 % of the price
input bool   KeepPendingOrders  = false; // a close-all leaves pending orders alone
input int    BlockedAlertSeconds = 60;   // while a close cannot go through, alert again this often
input bool   StartOver          = false; // when the guard holds because it cannot tell what the account did, start over on the present equity

#define ZH_LOCK        "ZentravoGuard.chart"      // terminal global: the chart running the guard
#define ZH_BEAT        "ZentravoGuard.heartbeat"  // its last sign of life, TimeLocal()
#define ZH_BEAT_STALE  10                         // seconds after which a lock counts as abandoned
#define ZH_MEMORY      "ZentravoGuard.state"      // the EA's memory, in the terminal's Files folder

#define ZH_WAITING 0   // no usable equity yet (no connection): the timer tries again
#define ZH_RUNNING 1   // monitoring: SetEquity on every tick and timer event
#define ZH_CLOSING 2   // a close-all is under way: no monitoring until the account is flat
#define ZH_HOLDING 3   // the EA cannot tell what the account did since the snapshot: it closes nothing

#define ZH_RETRY_MS 60000  // a message the terminal refused is tried again after this long
#define ZH_NEW_TRADE_PASSES 3  // close passes that may meet trades opened meanwhile before the EA holds

// The panel, at 96 DPI (ZhScaled): the two columns and the state line under them fit this width.
// Courier New 8 takes 6.4 px a character, so the state line holds ZH_STATE_COLUMNS characters;
// a longer one (a "holding" reason runs to some 250) wraps onto up to ZH_STATE_LINES lines.
#define ZH_PANEL_WIDTH   1000
#define ZH_STATE_COLUMNS 150
#define ZH_STATE_LINES   3

int    gState = ZH_WAITING;
int    gCloseKind = 0;           // 1 stop loss, 2 take profit
uint   gCloseStarted = 0;        // GetTickCount() at the first close attempt
uint   gBlockedAlertAt = 0;      // GetTickCount() of the last "cannot close" alert
bool   gBlockedAlerted = false;
string gBlockedReason = "";      // why the last close pass could not go through
bool   gBlockedPassing = false;  // ... and a later try usually gets through (a requote, a busy server)
string gTargetsKey = "";         // the target inputs the running guard was started with
string gAccount = "";            // the account the running guard was started for
double gInitialEquity = 0;       // InitZT reads it (0: the guard's stored value) and writes it
bool   gMailSent[3];             // per kind, in this cycle: the e-mail went out
bool   gPushSent[3];             // per kind, in this cycle: the push went out
uint   gMailFailedAt[3];         // GetTickCount() of a failed e-mail of the kind, 0: none
uint   gPushFailedAt[3];         // the same for the push
uint   gPushTimes[8];            // GetTickCount() of the last pushes tried, oldest overwritten
int    gPushNext = 0;            // where the next push's time goes in gPushTimes
bool   gNoMetaQuotesIdAlerted = false;
string gNotProtecting = "";      // why the EA cannot close trades now; "" while it can
long   gCloseTickets[];          // every ticket the close under way has met
int    gClosePasses = 0;         // passes of the close under way
int    gNewTradePasses = 0;      // ... that met a trade opened after the close began
bool   gNewThisPass = false;
string gNewSymbols = "";         // where those trades opened
bool   gCloseHeld = false;       // trades kept opening: the EA stopped closing and holds
uint   gNotProtectingAt = 0;     // GetTickCount() of the last "NOT PROTECTING" warning
int    gIncreasesPassed = 0;     // ZT_INCREASE_REACHED results so far
double gIncreaseTargets[];       // the increase targets, read as the library reads them
// What the EA remembers across restarts, in its memory file (ZhRemember, ZhRecall):
long   gOpsTicket = 0;           // the newest balance operation already accounted for
double gOpsSince = 0;            // balance operations since the guard's base: not trading results
double gMemorySnapshot = 0;      // the library's snapshot as the EA last saw it
datetime gCloseSince = 0;        // TimeLocal() when the close under way began
string gHolding = "";            // why the guard holds (ZH_HOLDING)
bool   gMemoryFailed = false;    // the memory file could not be written (said once)

int ZhInit()
  {
   if(HostIsTester())
     {
      // A 32-bit tester runs inside the terminal and would share the live guard's library.
      Alert("ZentravoGuard: not started in the strategy tester (it shares the live guard)");
      return(INIT_FAILED);
     }
   // Every chart of a terminal shares the one loaded library: one chart runs the guard.
   if(!ZhTakeLock())
     {
      Alert("ZentravoGuard: the guard already runs on another chart of this terminal; not started here");
      return(INIT_FAILED);
     }
   EventSetMillisecondTimer(TimerMs);
   string key = TakeProfits + "|" + DrawdownTargets + "|" + IncreaseTargets + "|" + StopLosses;
   // A timeframe, symbol or template change re-initialises the EA but the library stays loaded:
   // the running guard (and a close under way) carries on.
   if(GetEquitySnap() > 0 && gState != ZH_WAITING && gState != ZH_HOLDING && key == gTargetsKey &&
      gAccount == HostAccount())
     {
      ZhDraw();
      return(INIT_SUCCEEDED);
     }
   if(gState != ZH_WAITING && gTargetsKey != "" && key != gTargetsKey)
      Alert("ZentravoGuard: the targets changed; the guard starts over with the new ones");
   gTargetsKey = key;
   gState = ZH_WAITING;
   ZhStart();
   ZhWatchAbility();
   ZhDraw();
   return(INIT_SUCCEEDED);
  }

void ZhDeinit()
  {
   EventKillTimer();
   // Any export puts the settings writes a held file kept back into it: asked here, the last of
   // them land before the terminal unloads the library, rather than in its short last try at
   // unload (which the loader waits for).
   GetEquitySnap();
   if(GlobalVariableCheck(ZH_LOCK) && (int)GlobalVariableGet(ZH_LOCK) == HostChartHandle())
     {
      GlobalVariableDel(ZH_LOCK);
      GlobalVariableDel(ZH_BEAT);
     }
   // The panel's own labels by name: ObjectDelete(chart, name) reads the same in both languages,
   // while ObjectName's chart form is not in the 32-bit reference.
   for(int row = 0; row < 16; row++)
     {
      ObjectDelete(0, "ZT_L0_" + IntegerToString(row));
      ObjectDelete(0, "ZT_V0_" + IntegerToString(row));
      if(row < 14)
        {
         ObjectDelete(0, "ZT_L1_" + IntegerToString(row));
         ObjectDelete(0, "ZT_V1_" + IntegerToString(row));
        }
     }
   ObjectDelete(0, "ZT_STATE");
   for(int line = 1; line < ZH_STATE_LINES; line++)
      ObjectDelete(0, "ZT_STATE_" + IntegerToString(line));
   ChartRedraw(0);
  }

// Starts the guard once the account shows an equity; until then it waits on the timer (a
// terminal that starts without a connection reports 0).
void ZhStart()
  {
   if(HostEquity() <= 0)
     {
      gState = ZH_WAITING;
      return;
     }
   string account = HostAccount();
   int closing = 0;
   string memory = ZhRecall(account, closing);
   gAccount = account;
   gHolding = "";
   if(memory == "another account")
     {
      // The library's saved state belongs to the account it was started for. Logged into
      // another account, the guard starts over on this account's equity with the first
      // targets, instead of resuming the other account's snapshot (whose first tick could close
      // every trade here).
      ZhForgetBalanceOperations();
      SetLastValues(ZhEquity(), 0, 0, 0, 0);
      gInitialEquity = ZhEquity();
      Alert("ZentravoGuard: account ", account, " is not the one the guard ran for; it starts over on this account's equity");
     }
   else if(memory != "")
      ZhForgetBalanceOperations();
   ZhTrackBalanceOperations();
   double snapshot = ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity,
                            ZhEquity(), HostMargin(), HostFreeMargin(),
                            TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
   if(snapshot <= 0)
      return;
   ZhReadIncreaseTargets();
   SetEmailProp(EmailEquityTarget, EmailMarginPercent, EmailDrawdown);
   ZhNewMessageCycle();
   gIncreasesPassed = 0;
   gState = ZH_RUNNING;
   string doubt = ZhDoubt(memory, snapshot);
   if(doubt != "" && !StartOver)
     {
      ZhHold(doubt);
      return;
     }
   if(doubt != "")
     {
      ZhStartOver(snapshot);
      closing = 0;
     }
   if(closing != 0)
      ZhResumeClose(closing);
   ZhRemember();
  }

// Why the EA cannot trust the library's snapshot, "" when it can. Deposits and withdrawals are
// taken out of the equity counted from the snapshot's moment: without the memory of what was
// already accounted for, a withdrawal since then would read as a loss (and the first check close
// every trade), a deposit as a profit.
string ZhDoubt(string memory, double snapshot)
  {
   // A snapshot the library just took from this equity (a first start, a settings file lost)
   // judges nothing wrongly: only the ladder's place may be lost.
   if(memory == "another account" || MathAbs(snapshot - ZhEquity()) < 0.005)
      return("");
   if(memory != "")
      return("the EA " + memory + ", so the deposits and withdrawals since the snapshot " +
             DoubleToString(snapshot, 2) + " are not known");
   if(MathAbs(snapshot - gMemorySnapshot) < 0.005)
      return("");
   return("the library's settings file holds the snapshot " + DoubleToString(snapshot, 2) +
          ", the EA last saw " + DoubleToString(gMemorySnapshot, 2) +
          " (a settings file copied or restored from elsewhere?)");
  }

// The guard closes nothing until the trader says to start over: the panel and the "NOT
// PROTECTING" warnings (ZhWatchAbility) say why and how.
void ZhHold(string why)
  {
   gState = ZH_HOLDING;
   gHolding = "holding: " + why + "; set StartOver to true to start over on the present equity";
  }

// The trader's explicit step out of a hold: the present equity becomes the snapshot, with the
// first targets, and the balance operations seen so far count as accounted for.
void ZhStartOver(double oldSnapshot)
  {
   ZhForgetBalanceOperations();
   SetLastValues(ZhEquity(), 0, 0, 0, 0);
   gInitialEquity = ZhEquity();
   ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity, ZhEquity(), HostMargin(), HostFreeMargin(),
          TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
   Alert("ZentravoGuard: started over on the present equity ", DoubleToString(ZhEquity(), 2),
         " as asked (StartOver); the snapshot ", DoubleToString(oldSnapshot, 2), " is dropped");
  }

// A close-all was under way when the EA stopped (a restart, a crash, a reboot between two passes):
// it is finished before the guard monitors again, and the cycle is reported once, when flat.
void ZhResumeClose(int kind)
  {
   datetime since = gCloseSince;
   ZhBeginClose(kind);
   gCloseSince = since;
   gCloseStarted = GetTickCount() - (uint)MathMin(MathMax(TimeLocal() - gCloseSince, 0), 86400) * 1000;
   Alert("ZentravoGuard: a close-all was under way when the EA stopped; it is finished first");
  }

// The equity the guard judges: the balance operations since the guard's base (deposits,
// withdrawals, credit and bonus) are taken out, so they never look like profit or loss.
double ZhEquity()
  {
   return(HostEquity() - gOpsSince);
  }

// Counts the balance operations that appeared since the last look. They are found by ticket,
// above the newest one already accounted for, so neither the history's window (MT4's Account
// History tab) nor an operation dated after the last quote can drop one from the sum or count it
// twice. A change is remembered at once.
void ZhTrackBalanceOperations()
  {
   long newest = gOpsTicket;
   double added = HostNewBalanceOperations(gOpsTicket, newest);
   if(newest == gOpsTicket)
      return;
   gOpsTicket = newest;
   gOpsSince += added;
   if(gState != ZH_WAITING)
      ZhRemember();
  }

// The base for a guard that starts over: every balance operation in the history so far counts
// as accounted for.
void ZhForgetBalanceOperations()
  {
   gOpsTicket = 0;
   gOpsSince = 0;
   HostNewBalanceOperations(0, gOpsTicket);
  }

// The lock is free, ours, or abandoned (no heartbeat for ZH_BEAT_STALE seconds).
bool ZhTakeLock()
  {
   int chart = HostChartHandle();
   if(GlobalVariableCheck(ZH_LOCK) && (int)GlobalVariableGet(ZH_LOCK) != chart &&
      TimeLocal() - (datetime)GlobalVariableGet(ZH_BEAT) < ZH_BEAT_STALE)
      return(false);
   GlobalVariableSet(ZH_LOCK, chart);
   GlobalVariableSet(ZH_BEAT, (double)TimeLocal());
   return(true);
  }

// The EA's memory file, in the terminal's own Files folder (not beside the library): the account,
// the balance operations accounted for, the snapshot it last saw and a close under way. It is
// written to a temporary file and moved over the old one, so a crash leaves the old memory or the
// new one, never half of either; its last line marks it complete.
void ZhRemember()
  {
   gMemorySnapshot = GetEquitySnap();
   string text = "account=" + gAccount + "\n" +
                 "ops_ticket=" + IntegerToString(gOpsTicket) + "\n" +
                 "ops_since=" + DoubleToString(gOpsSince, 2) + "\n" +
                 "snapshot=" + DoubleToString(gMemorySnapshot, 2) + "\n" +
                 "closing=" + IntegerToString(gState == ZH_CLOSING ? gCloseKind : 0) + "\n" +
                 "close_since=" + IntegerToString(gCloseSince) + "\n" +
                 "end=1\n";
   string temporary = ZH_MEMORY;
   temporary = temporary + ".tmp";
   ResetLastError();
   int file = FileOpen(temporary, FILE_WRITE | FILE_TXT | FILE_ANSI);
   bool written = file != INVALID_HANDLE;
   if(written)
     {
      written = FileWriteString(file, text) > 0;
      FileFlush(file);
      FileClose(file);
     }
   if(written)
      written = FileMove(temporary, 0, ZH_MEMORY, FILE_REWRITE);
   if(written || gMemoryFailed)
     {
      gMemoryFailed = !written && gMemoryFailed;
      return;
     }
   gMemoryFailed = true;
   Alert("ZentravoGuard: cannot write its memory file MQL\\Files\\", ZH_MEMORY, " (error ", GetLastError(),
         "); after a restart the guard will hold until told to start over");
  }

// Reads the memory file for account. Returns "" when it holds this account (and sets the
// balance operations, the snapshot last seen and a close under way), "another account", or what
// is wrong with it.
string ZhRecall(string account, int &closing)
  {
   closing = 0;
   string name = ZH_MEMORY;
   if(!FileIsExist(name))
      return("has no memory file (" + name + ")");
   ResetLastError();
   int file = FileOpen(ZH_MEMORY, FILE_READ | FILE_TXT | FILE_ANSI);
   if(file == INVALID_HANDLE)
      return("cannot read its memory file (error " + IntegerToString(GetLastError()) + ")");
   string owner = "";
   bool complete = false;
   while(!FileIsEnding(file))
     {
      string line = FileReadString(file);
      int equals = StringFind(line, "=");
      if(equals < 0)
         continue;
      string key = StringSubstr(line, 0, equals);
      string value = StringSubstr(line, equals + 1);
      if(key == "account") owner = value;
      else if(key == "ops_ticket") gOpsTicket = StringToInteger(value);
      else if(key == "ops_since") gOpsSince = StringToDouble(value);
      else if(key == "snapshot") gMemorySnapshot = StringToDouble(value);
      else if(key == "closing") closing = (int)StringToInteger(value);
      else if(key == "close_since") gCloseSince = (datetime)StringToInteger(value);
      else if(key == "end") complete = true;
     }
   FileClose(file);
   if(!complete || owner == "")
     {
      closing = 0;
      return("memory file is incomplete");
     }
   if(owner != account)
     {
      closing = 0;
      return("another account");
     }
   if(closing < 0 || closing > 2)
      closing = 0;
   return("");
  }

// The same check on every tick and every timer event: equity moves on any symbol show up
// even while the chart's own symbol is quiet.
void ZhCheck()
  {
   GlobalVariableSet(ZH_BEAT, (double)TimeLocal());
   ZhWatchAbility();
   if(gState == ZH_WAITING)
      ZhStart();
   else if(gState == ZH_CLOSING)
      ZhContinueClose();
   else if(gState == ZH_RUNNING)
     {
      ZhTrackBalanceOperations();
      int result = SetEquity(ZhEquity(), HostMargin(), HostFreeMargin(), 0);
      if(result == ZT_STOP_LOSS_HIT || result == ZT_TAKE_PROFIT_HIT)
        {
         ZhBeginClose(result == ZT_STOP_LOSS_HIT ? 1 : 2);
         ZhRemember();
         ZhContinueClose();
        }
      else
        {
         if(result == ZT_DRAWDOWN_STEP)
            Alert(ZtAlert(4));
         ZhSendDueMessages();
        }
     }
   ZhDraw();
  }

void ZhBeginClose(int kind)
  {
   gState = ZH_CLOSING;
   gCloseKind = kind;
   gCloseStarted = GetTickCount();
   gCloseSince = TimeLocal();
   gBlockedAlerted = false;
   ArrayResize(gCloseTickets, 0);
   gClosePasses = 0;
   gNewTradePasses = 0;
   gNewSymbols = "";
   gCloseHeld = false;
  }

// One close pass. The cycle is reported (SetTTC, alert, snapshot roll) only once the account
// is flat: a roll onto an equity that still holds open trades would start the next cycle on a
// floating result. Monitoring SetEquity is not called meanwhile, so no cycle is counted twice.
void ZhContinueClose()
  {
   gNewThisPass = false;
   bool flat = gCloseHeld ? HostCountsFlat() : HostCloseAll();
   if(!gCloseHeld)
     {
      gClosePasses++;
      if(gNewThisPass)
         gNewTradePasses++;
      if(gNewTradePasses >= ZH_NEW_TRADE_PASSES)
        {
         // Another program keeps opening trades as fast as they are closed: closing again every
         // event would only pay the spread. The EA stops, says what keeps opening, and holds
         // until the account is flat by other hands.
         gCloseHeld = true;
         gBlockedReason = "new trades keep opening on " + gNewSymbols + "; held, close them by hand";
         gBlockedPassing = false;
         gBlockedAlerted = false;
        }
     }
   if(!flat)
     {
      // Again every interval while the close stays blocked (the "NOT PROTECTING" warning says
      // it instead while the EA cannot trade at all).
      if(ZhBlockShown() && gNotProtecting == "" &&
         (!gBlockedAlerted || GetTickCount() - gBlockedAlertAt >= (uint)BlockedAlertSeconds * 1000))
        {
         Alert("ZentravoGuard: cannot close the trades yet: ", gBlockedReason);
         gBlockedAlerted = true;
         gBlockedAlertAt = GetTickCount();
        }
      return;
     }
   ZhTrackBalanceOperations();
   double equityLeft = ZhEquity();
   SetTTC((int)(GetTickCount() - gCloseStarted), equityLeft);
   Alert(ZtAlert(gCloseKind));
   if(SetEquity(equityLeft, 0, 0, 1) == ZT_INCREASE_REACHED)
     {
      gIncreasesPassed++;
      Alert(ZtAlert(3));
     }
   ZhNewMessageCycle();
   gBlockedReason = "";
   gBlockedPassing = false;
   gCloseHeld = false;
   gState = ZH_RUNNING;
   ZhRemember();
  }

// Never silently unprotected: at the start and on every tick and timer event the EA asks whether
// it could close trades (DLL imports, AutoTrading in the terminal and for the EA, the connection).
// While it cannot, the panel says "NOT PROTECTING" with the reason, and a warning goes out at once
// and then every BlockedAlertSeconds: an alert, and an e-mail and a push when those are on.
void ZhWatchAbility()
  {
   string why = HostCannotAct();
   if(why == "" && gState == ZH_HOLDING)
      why = gHolding;
   if(why == "")
     {
      if(gNotProtecting != "")
         Alert("ZentravoGuard: protecting again (", gNotProtecting, " no longer)");
      gNotProtecting = "";
      return;
     }
   bool news = why != gNotProtecting;
   gNotProtecting = why;
   if(!news && GetTickCount() - gNotProtectingAt < (uint)BlockedAlertSeconds * 1000)
      return;
   gNotProtectingAt = GetTickCount();
   string warning = "ZentravoGuard NOT PROTECTING: " + why;
   Alert(warning);
   // MQL5's GetLastError keeps an older error until it is reset: reset before each call whose
   // error is printed.
   ResetLastError();
   if(TerminalInfoInteger(TERMINAL_EMAIL_ENABLED) != 0 && !SendMail(warning, warning + "\n"))
      Print("ZentravoGuard: e-mail not sent, error ", GetLastError());
   if(PushNotifications && TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED) != 0 &&
      TerminalInfoInteger(TERMINAL_MQID) != 0 && ZhPushAllowed())
     {
      ZhPushTried();
      ResetLastError();
      if(!SendNotification(warning))
         Print("ZentravoGuard: push not sent, error ", GetLastError());
     }
  }

// A close pass met this ticket. One the close had not met before, after its first pass, is a
// trade opened meanwhile (by another EA, or a kept order that filled): it is closed too, and
// counted.
void ZhNoteTicket(long ticket, string symbol)
  {
   int n = ArraySize(gCloseTickets);
   for(int i = 0; i < n; i++)
      if(gCloseTickets[i] == ticket)
         return;
   ArrayResize(gCloseTickets, n + 1);
   gCloseTickets[n] = ticket;
   if(gClosePasses == 0)
      return;
   gNewThisPass = true;
   if(StringFind(gNewSymbols, symbol) < 0)
      gNewSymbols = gNewSymbols == "" ? symbol : gNewSymbols + ", " + symbol;
  }

// Whether the close is shown as blocked (on the panel and in an alert): a refusal that the next
// try usually overcomes once it has lasted BlockedAlertSeconds, any other at once.
bool ZhBlockShown()
  {
   if(gBlockedReason == "")
      return(false);
   return(!gBlockedPassing || GetTickCount() - gCloseStarted >= (uint)BlockedAlertSeconds * 1000);
  }

// The accepted slippage of a close on symbol, in its points: SlippagePoints, or else about 0.03 %
// of the price (3 pips on EURUSD, 45 points on USDJPY, 60 cents on gold at 2000, 10 points on an
// index at 35000), never under 3 points. A fixed number of pips is one point on a 2-digit gold
// or index quote, which the very move that hit the stop outruns on every try.
int ZhSlippagePoints(string symbol)
  {
   if(SlippagePoints > 0)
      return(SlippagePoints);
   double point = SymbolInfoDouble(symbol, SYMBOL_POINT);
   double price = SymbolInfoDouble(symbol, SYMBOL_BID);
   if(point <= 0 || price <= 0)
      return(30);
   return((int)MathMax(3, MathCeil(price * 0.0003 / point)));
  }

// What a refused close means: the 32-bit terminal's error numbers and the 64-bit terminal's
// trade result codes. "" for a code the guard does not know (it is still named by its number).
string ZhRefusalMeaning(int code)
  {
   switch(code)
     {
      case 2: return("common error");
      case 3: return("invalid trade parameters");
      case 4: case 137: return("trade server busy");
      case 6: case 10031: return("no connection");
      case 7: return("not enough rights");
      case 8: case 141: case 10024: return("too many requests");
      case 9: return("malfunctional trade operation");
      case 64: return("account disabled");
      case 65: return("invalid account");
      case 128: case 10012: return("trade timeout");
      case 129: case 10015: return("invalid price");
      case 130: case 10016: return("invalid stops");
      case 131: case 10014: return("invalid volume");
      case 132: case 10018: return("market closed");
      case 133: case 10017: return("trading disabled for the symbol");
      case 134: case 10019: return("not enough money");
      case 135: case 10020: return("price changed");
      case 136: case 10021: return("off quotes");
      case 138: case 10004: return("requote");
      case 139: case 10028: return("order locked");
      case 145: case 10029: return("order or position frozen");
      case 146: return("trade context busy");
      case 148: case 10033: case 10040: return("too many orders");
      case 149: return("hedging prohibited");
      case 150: case 10045: return("prohibited by the FIFO rule");
      case 4108: return("invalid ticket");
      case 4109: return("trade not allowed: AutoTrading is off");
      case 4112: case 10026: return("automated trading disabled by the server");
      case 10006: return("request rejected");
      case 10007: return("request canceled");
      case 10010: return("only part of the request done");
      case 10011: return("request processing error");
      case 10013: return("invalid request");
      case 10027: return("automated trading disabled in the terminal");
      case 10030: return("filling mode not supported by the symbol");
      case 10034: return("volume limit reached");
      case 10036: return("position already closed");
      case 10038: return("close volume exceeds the position");
      case 10044: return("only closing allowed");
     }
   return("");
  }

// Refusals that a later try usually overcomes: the price moved, the server or context was busy.
bool ZhRefusalPasses(int code)
  {
   return(code == 4 || code == 8 || code == 128 || code == 129 || code == 135 || code == 136 ||
          code == 137 || code == 138 || code == 141 || code == 146 || code == 10004 ||
          code == 10012 || code == 10020 || code == 10021 || code == 10024 || code == 10028);
  }

// Names a refused close on the panel and in the next "cannot close" alert: its meaning, its number,
// and the symbol where there is one ("market closed (132) for USDJPY").
void ZhNoteRefusal(int code, string symbol)
  {
   string meaning = ZhRefusalMeaning(code);
   if(meaning == "")
      meaning = "refused, code unknown to the guard";
   gBlockedReason = meaning + " (" + IntegerToString(code) + ")";
   if(symbol != "")
      gBlockedReason = gBlockedReason + " for " + symbol;
   gBlockedPassing = ZhRefusalPasses(code);
  }

// The library reads up to 8 positive amounts and takes any character other than a digit or
// '.' as a separator; the e-mails name the same targets.
void ZhReadIncreaseTargets()
  {
   ArrayResize(gIncreaseTargets, 0);
   string number = "";
   int length = StringLen(IncreaseTargets);
   for(int i = 0; i <= length; i++)
     {
      ushort c = (i < length) ? StringGetCharacter(IncreaseTargets, i) : 0;
      if((c >= '0' && c <= '9') || c == '.')
        {
         number = number + ShortToString(c);
         continue;
        }
      double amount = StringToDouble(number);
      number = "";
      int n = ArraySize(gIncreaseTargets);
      if(amount > 0 && n < 8)
        {
         ArrayResize(gIncreaseTargets, n + 1);
         gIncreaseTargets[n] = amount;
        }
     }
  }

// Each kind of message goes out at most once per cycle on each channel, and each channel is
// marked on its own: a failing push never sends the e-mail again.
void ZhNewMessageCycle()
  {
   ArrayFill(gMailSent, 0, 3, false);
   ArrayFill(gPushSent, 0, 3, false);
   ArrayFill(gMailFailedAt, 0, 3, 0);
   ArrayFill(gPushFailedAt, 0, 3, 0);
  }

// A channel that failed for a kind is tried again only after ZH_RETRY_MS: a refused e-mail or
// push on every tick would flood the terminal (and SendMail waits for the mail server).
bool ZhRetryDue(uint failedAt)
  {
   return(failedAt == 0 || GetTickCount() - failedAt >= ZH_RETRY_MS);
  }

// The terminal takes no more than 2 pushes a second and 10 a minute, and may turn pushes off
// for a program that goes over: the EA keeps well inside, 1 a second and 8 a minute.
bool ZhPushAllowed()
  {
   uint now = GetTickCount();
   int lastSecond = 0, lastMinute = 0;
   for(int i = 0; i < 8; i++)
     {
      if(gPushTimes[i] == 0)
         continue;
      if(now - gPushTimes[i] < 1000)
         lastSecond++;
      if(now - gPushTimes[i] < 60000)
         lastMinute++;
     }
   return(lastSecond < 1 && lastMinute < 8);
  }

void ZhPushTried()
  {
   gPushTimes[gPushNext] = MathMax(GetTickCount(), 1);
   gPushNext = (gPushNext + 1) % 8;
  }

// The library never decides that a message is due: the EA compares its own thresholds.
void ZhSendDueMessages()
  {
   double equity = ZhEquity();
   double snapshot = GetEquitySnap();
   double freeMargin = MathMax(HostFreeMargin(), 0.001);
   bool due[3];
   due[0] = EmailEquityTarget > 0 && equity - snapshot >= EmailEquityTarget;
   due[1] = EmailMarginPercent > 0 && 100.0 * HostMargin() / freeMargin >= EmailMarginPercent;
   due[2] = EmailDrawdown > 0 && snapshot - equity >= EmailDrawdown;
   double increaseTarget = 0;
   if(gIncreasesPassed < ArraySize(gIncreaseTargets))
      increaseTarget = gIncreaseTargets[gIncreasesPassed];
   bool mail = TerminalInfoInteger(TERMINAL_EMAIL_ENABLED) != 0;
   bool push = PushNotifications && TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED) != 0;
   if(push && TerminalInfoInteger(TERMINAL_MQID) == 0)
     {
      // Without a MetaQuotes ID every push fails: said once, and none is tried.
      if(!gNoMetaQuotesIdAlerted)
         Alert("ZentravoGuard: push notifications are on, but the terminal has no MetaQuotes ID (Tools - Options - Notifications); no push is sent");
      gNoMetaQuotesIdAlerted = true;
      push = false;
     }
   for(int kind = 0; kind < 3; kind++)
     {
      if(!due[kind])
         continue;
      bool sendMail = mail && !gMailSent[kind] && ZhRetryDue(gMailFailedAt[kind]);
      bool sendPush = push && !gPushSent[kind] && ZhRetryDue(gPushFailedAt[kind]) && ZhPushAllowed();
      if(!sendMail && !sendPush)
         continue;
      string subject = ZtEmailSubject(kind);
      if(sendMail)
        {
         string body = "";
         for(int part = 0; part < 6; part++)
            body = body + ZtEmailText(part, kind, increaseTarget);
         ResetLastError();  // MQL5 keeps an older error until reset
         if(SendMail(subject, body))
            gMailSent[kind] = true;
         else
           {
            gMailFailedAt[kind] = MathMax(GetTickCount(), 1);
            Print("ZentravoGuard: e-mail not sent, error ", GetLastError(), "; trying again in a minute");
           }
        }
      if(sendPush)
        {
         ZhPushTried();
         ResetLastError();
         if(SendNotification(subject))
            gPushSent[kind] = true;
         else
           {
            gPushFailedAt[kind] = MathMax(GetTickCount(), 1);
            Print("ZentravoGuard: push not sent, error ", GetLastError(), "; trying again in a minute");
           }
        }
     }
  }

string ZhStateText()
  {
   if(gNotProtecting != "")
      return("NOT PROTECTING - " + gNotProtecting);
   if(gState == ZH_WAITING)
      return("waiting for the account's equity");
   if(gState == ZH_CLOSING)
     {
      if(gCloseHeld)
         return("CLOSING - held: " + gBlockedReason);
      if(ZhBlockShown())
         return("CLOSING - blocked: " + gBlockedReason);
      return("CLOSING all trades");
     }
   return("running");
  }

// Two columns of label and value (column 0 rows 0-15, column 1 rows 0-13) and the EA's own
// state line under them. Columns sit far enough apart for 7-digit amounts.
void ZhDraw()
  {
   for(int row = 0; row < 16; row++)
     {
      ZhPut("ZT_L0_" + IntegerToString(row), 10, 20 + row * 14, ZtLabel(row, 0), clrSilver);
      ZhPut("ZT_V0_" + IntegerToString(row), 200, 20 + row * 14, ZtValue(row, 0), clrWhite);
     }
   for(int row = 0; row < 14; row++)
     {
      ZhPut("ZT_L1_" + IntegerToString(row), 620, 20 + row * 14, ZtLabel(row, 1), clrSilver);
      ZhPut("ZT_V1_" + IntegerToString(row), 790, 20 + row * 14, ZhSecondColumnValue(row), clrWhite);
     }
   bool alarm = gState == ZH_CLOSING || gNotProtecting != "";
   ZhPutState("Guard: " + ZhStateText(), alarm ? clrRed : clrWhite);
   ChartRedraw(0);
  }

// The state line under the columns, wrapped at blanks to the panel's width: "ZT_STATE", then
// "ZT_STATE_1" and on, indented under the text after "Guard: ". A label would otherwise run off
// the chart's right edge with the end of the reason, the part that says what to do. Lines the
// text no longer needs are removed; what the last line cannot hold ends in "...".
void ZhPutState(string text, color colour)
  {
   string indent = "       ";
   for(int line = 0; line < ZH_STATE_LINES; line++)
     {
      string name = line == 0 ? "ZT_STATE" : "ZT_STATE_" + IntegerToString(line);
      if(line > 0 && text == "")
        {
         ObjectDelete(0, name);
         continue;
        }
      int room = line == 0 ? ZH_STATE_COLUMNS : ZH_STATE_COLUMNS - StringLen(indent);
      string part = text;
      text = "";
      if(StringLen(part) > room && line == ZH_STATE_LINES - 1)
         part = StringSubstr(part, 0, room - 3) + "...";
      else if(StringLen(part) > room)
        {
         int cut = room;
         while(cut > 0 && StringGetCharacter(part, cut) != ' ')
            cut--;
         if(cut == 0)
            cut = room;
         text = StringSubstr(part, cut);
         part = StringSubstr(part, 0, cut);
         while(StringLen(text) > 0 && StringGetCharacter(text, 0) == ' ')
            text = StringSubstr(text, 1);
        }
      ZhPut(name, 10, 20 + (16 + line) * 14, line == 0 ? part : indent + part, colour);
     }
  }

// The second column's host cells are the EA's to fill: the library knows neither the e-mail
// thresholds' settings, the leverage nor the quotes.
string ZhSecondColumnValue(int row)
  {
   string symbol = Symbol();
   int digits = (int)SymbolInfoInteger(symbol, SYMBOL_DIGITS);
   if(row == 9)
      return(EmailEquityTarget > 0 ? DoubleToString(EmailEquityTarget, 2) : "off");
   if(row == 10)
      return(EmailMarginPercent > 0 ? DoubleToString(EmailMarginPercent, 2) + "%" : "off");
   if(row == 12)
      return("1:" + IntegerToString(HostLeverage()));
   if(row == 13)
     {
      double bid = SymbolInfoDouble(symbol, SYMBOL_BID);
      double ask = SymbolInfoDouble(symbol, SYMBOL_ASK);
      double point = SymbolInfoDouble(symbol, SYMBOL_POINT);
      int spread = point > 0 ? (int)MathRound((ask - bid) / point) : 0;
      return(DoubleToString(bid, digits) + " / " + DoubleToString(ask, digits) + "; " + IntegerToString(spread));
     }
   return(ZtValue(row, 1));
  }

// Positions are given for a 96 DPI screen. With Windows' display scaling (125 %, 150 %) the
// font grows but a label's distance in pixels does not, so it is scaled with the screen's DPI:
// otherwise a 7-digit amount in the first column would run into the second.
int ZhScaled(int pixels)
  {
   int dpi = TerminalInfoInteger(TERMINAL_SCREEN_DPI);
   if(dpi <= 0)
      dpi = 96;
   return(pixels * dpi / 96);
  }

void ZhPut(string name, int x, int y, string text, color colour)
  {
   if(ObjectFind(0, name) < 0)
     {
      ObjectCreate(0, name, OBJ_LABEL, 0, 0, 0);
      ObjectSetInteger(0, name, OBJPROP_CORNER, CORNER_LEFT_UPPER);
      ObjectSetInteger(0, name, OBJPROP_XDISTANCE, ZhScaled(x));
      ObjectSetInteger(0, name, OBJPROP_YDISTANCE, ZhScaled(y));
      ObjectSetInteger(0, name, OBJPROP_FONTSIZE, 8);
      ObjectSetString(0, name, OBJPROP_FONT, "Courier New");
      ObjectSetInteger(0, name, OBJPROP_SELECTABLE, false);
     }
   ObjectSetInteger(0, name, OBJPROP_COLOR, colour);
   // An empty label would show the terminal's default text.
   ObjectSetString(0, name, OBJPROP_TEXT, text == "" ? " " : text);
  }
//+------------------------------------------------------------------+
