//+------------------------------------------------------------------+
//| ZentravoHost.mqh - the expert advisor's behaviour, shared by the  |
//| 32-bit (MQL4) and 64-bit (MQL5) terminals                         |
//+------------------------------------------------------------------+
// The EA file that includes this defines the pieces that differ between terminals, all named Host...:
//   double HostEquity(), HostMargin(), HostFreeMargin()   account figures
//   int    HostChartHandle()                              this chart's window
//   bool   HostIsTester()                                 running in the strategy tester
//   bool   HostDllsAllowed()                              the EA may call the library now
//   string HostAccount()                                  "login@server" of the account
//   string HostFilesFolder()                              "MQL4\Files" or "MQL5\Files", for messages
//   int    HostHistory(datetime since, datetime &times[], long &tickets[], double &amounts[],
//                      int &kinds[])
//          the history records booked at or after since, as the terminal has them now: each
//          record's time (server time), ticket, and what it did to the balance or the credit;
//          kind 0 a trade's result (profit, swap, commission and fees), 1 a balance operation
//          (deposit, withdrawal, bonus, correction), 2 credit. Returns how many.
//   string HostHistoryHint()                              where the trader makes the history whole
//   long   HostLeverage()                                 the account's leverage (1:N)
//   string HostCannotAct()                                why this terminal cannot trade now, "" when
//          it can (AutoTrading, the EA's live trading, the connection)
//   int    HostOpenTickets(long &tickets[])               the tickets of every open position and
//          pending order now; returns how many
//   bool   HostCloseAll()                                 one pass: delete pending orders unless
//          KeepPendingOrders, then close every position oldest first in pieces the symbol takes
//          (ZhClosePiece); each is first offered to ZhNoteTicket, and one it refuses (not part of
//          a close resumed after a restart) is left alone; true when HostCountsFlat after the
//          pass; on a refusal it names it with ZhNoteRefusal
//   bool   HostCountsFlat()                               nothing the close must end is left:
//          no position or pending order (unless kept) that ZhCloseOwns
// Everything else - the bookkeeping, when to check, the close-all cycle, warnings and e-mails, the
// panel - lives in the shared files, so the two terminals behave the same:
//   ZentravoMemory.mqh    what the EA remembers per account, and the account's lock
//   ZentravoStart.mqh     starting for an account: resume, restore, first base, the holds of a
//                         start, and StartOver
//   ZentravoBooks.mqh     the base, the balance as a witness, the holds
//   ZentravoClose.mqh     the close-all cycle and the terminal's refusals
//   ZentravoMessages.mqh  warnings, e-mails and pushes
//   ZentravoPanel.mqh     the panel on the chart
#include <Zentravo.mqh>

// The Inputs tab shows each input's comment instead of its name (at most 63 characters, the
// terminal's limit): each comment begins with the input's name, so the quick start's names are
// what the trader finds there.
input string TakeProfits        = "50,30;80,60"; // TakeProfits: close all this much above the snapshot (sets)
input string DrawdownTargets    = "20,40;25,50"; // DrawdownTargets: below the snapshot; as many as TakeProfits
input string IncreaseTargets    = "1100,1200";   // IncreaseTargets: equity levels that move on to the next sets
input string StopLosses         = "100,150";     // StopLosses: close all this much below the snapshot; one a set
input double EmailEquityTarget  = 0;     // EmailEquityTarget: mail at equity - snapshot >= this; 0 off
input double EmailMarginPercent = 0;     // EmailMarginPercent: 100 x margin/free margin, not Margin Level
input double EmailDrawdown      = 0;     // EmailDrawdown: mail at snapshot - equity >= this; 0 off
input bool   PushNotifications  = false; // PushNotifications: send the e-mails as push notifications too
input int    TimerMs            = 250;   // TimerMs: check this often (ms) besides ticks; 50 to 60000
input int    SlippagePoints     = 0;     // SlippagePoints: a close's slippage in points; 0 about 0.03 %
input bool   KeepPendingOrders  = false; // KeepPendingOrders: a close-all leaves pending orders
input int    BlockedAlertSeconds = 60;   // BlockedAlertSeconds: repeat a warning this often (10-86400)
input bool   StartOver          = false; // StartOver: start over on today's equity when holding

#define ZH_LOCK        "ZentravoGuard.chart"      // terminal global: the chart running the guard
#define ZH_BEAT        "ZentravoGuard.heartbeat"  // its last sign of life, GetTickCount()
#define ZH_STALE       "ZentravoGuard.stale"      // ms of silence after which the lock counts as abandoned; 0 never
#define ZH_STALE_MS    10000                      // at least; and three of the guard's timer intervals

#define ZH_WAITING 0   // no usable equity yet (no connection): the timer tries again
#define ZH_RUNNING 1   // monitoring: SetEquity on every tick and timer event
#define ZH_CLOSING 2   // a close-all is under way: no monitoring until the account is flat
#define ZH_HOLDING 3   // the guard closes nothing and judges nothing (ZentravoBooks.mqh says why)

#define ZH_RETRY_MS 60000  // a message the terminal refused is tried again after this long

// The EA's whole state, in one place (MQL wants a global declared before the code that uses it);
// the part that keeps each group up to date is named above it.
int      gState = ZH_WAITING;
string   gTargetsKey = "";         // the target inputs the running guard was started with
string   gTargetsWarned = "";      // ... the ones ZhWarnTargets last looked at
string   gAccount = "";            // the account the running guard was started for ("" while it is not)
double   gInitialEquity = 0;       // InitZT reads it (0: the guard's stored value) and writes it
bool     gChartLock = false;       // this instance runs the guard: only it calls the library
bool     gRanGuard = false;        // ... and did before this OnInit (refused inputs then stop a guard)
bool     gInitSeen = false;        // this program ran OnInit before: StartOver's earlier value is known
bool     gStartOverBefore = false; // StartOver as the last OnInit saw it
bool     gTimerOn = false;         // the terminal gave the EA its timer
bool     gTimerFailed = false;     // ... refused it, and the trader was told
uint     gTimerTriedAt = 0;        // GetTickCount() of the last try to get it
// ZentravoMemory.mqh
string   gLibraryAccount = "";     // the account whose guard the library's settings file holds
double   gMemorySnapshot = 0;      // the library's snapshot as the EA last saw it
double   gMemoryInitial = 0;       // ... its initial equity
int      gMemoryLadder[4];         // ... and its positions: take-profit set and position, drawdown set and position
string   gMemoryTargets = "";      // ... under these target inputs
bool     gLibraryUnsaved = false;  // the library's notice said its settings were not saved
bool     gMemoryBusy = false;      // a memory file is there but another program keeps it from the EA
uint     gMemoryBusySince = 0;     // GetTickCount() when that began, 0: it does not
bool     gMemoryFailed = false;    // the last write of the memory failed (said once); tried again
uint     gMemoryFailedAt = 0;      // GetTickCount() of that write
int      gAccountLock = INVALID_HANDLE;  // the account's lock in the common folder, held open
string   gLockedAccount = "";      // the account it locks
// ZentravoBooks.mqh
int      gHoldKind = 0;            // ZH_HOLD_*, 0 while not holding
string   gHolding = "";            // "holding: " why, and what lifts it (panel and warnings)
int      gHeldState = ZH_RUNNING;  // the state a hold that lifts returns to
bool     gBaseForced = false;      // StartOver asked for the base: the history need not explain the balance
double   gOpsSince = 0;            // balance operations counted since the base
long     gOpsFloor = 0;            // the newest ticket of any history record at the base
datetime gBaseTime = 0;            // server time of the base
double   gWitnessAmount = 0;       // balance + credit when the history last explained them
datetime gWitnessTime = 0;         // the newest record explained then (server time)
long     gWitnessTickets[];        // the records of that second explained then
uint     gWitnessMissSince = 0;    // GetTickCount() since the history has not explained the balance, 0: it has
datetime gRecordTimes[];           // the history records ZhReadHistory last read (HostHistory):
long     gRecordTickets[];         //   their times, tickets,
double   gRecordAmounts[];         //   what each did to the balance or the credit
int      gRecordKinds[];           //   and their kinds
// ZentravoClose.mqh
int      gCloseKind = 0;           // 1 stop loss, 2 take profit
uint     gCloseStarted = 0;        // GetTickCount() at the first close attempt
datetime gCloseSince = 0;          // TimeLocal() when the close under way began
string   gBlockedReason = "";      // why the last close pass could not go through
bool     gBlockedPassing = false;  // ... and a later try usually gets through (a requote, a busy server)
long     gCloseTickets[];          // what the close decided on: the trades open then, what remains of them
long     gNewTickets[];            // trades opened since that a close under way met (and closes too)
bool     gCloseResumed = false;    // the close was resumed after a restart: it ends only its own trades
string   gLeftSymbols = "";        // ... and left these, opened while the EA was off
int      gClosePasses = 0;         // passes of the close under way
int      gNewTradePasses = 0;      // ... in a row that met a trade opened after the close began
bool     gNewThisPass = false;     // this pass met one
string   gNewSymbols = "";         // where those trades opened
bool     gCloseHeld = false;       // trades kept opening: the EA stopped closing and holds
// ZentravoMessages.mqh
bool     gMailSent[3];             // per kind, in this cycle: the e-mail went out (kept in the memory)
bool     gPushSent[3];             // per kind, in this cycle: the push went out (kept in the memory)
uint     gMailFailedAt[3];         // GetTickCount() of a failed e-mail of the kind, 0: none
uint     gPushFailedAt[3];         // the same for the push
uint     gPushTimes[8];            // GetTickCount() of the last pushes tried, oldest overwritten
int      gPushNext = 0;            // where the next push's time goes in gPushTimes
string   gPushWaiting = "";        // a warning's push the limits kept back, sent at the next check
bool     gNoMetaQuotesIdAlerted = false;  // the missing MetaQuotes ID was said
string   gNotProtecting = "";      // why the EA cannot protect the account now; "" while it can
string   gNotProtectingKind = "";  // ... what kind of reason (a changed figure is no new reason)
uint     gNotProtectingAt = 0;     // GetTickCount() of the last "NOT PROTECTING" warning
string   gNotice = "";             // the library's notice line (dashboard row 15) as last drawn
string   gNoticeSaid = "";         // ... the trouble in it last passed on to the trader
int      gIncreasesPassed = 0;     // ZT_INCREASE_REACHED results so far
double   gIncreaseTargets[];       // the increase targets, read as the library reads them

// The terminal runs every EA in a thread of its own and the library takes calls from one thread:
// an instance that did not take the chart lock (a refused second chart, the tester, bad inputs)
// never calls the library, in OnDeinit neither.
int ZhInit()
  {
   // StartOver acts only when the trader sets it to true on the running EA: a program that starts
   // with it true (a terminal start, a profile or template that kept it) never acts on it.
   bool asked = gInitSeen && StartOver && !gStartOverBefore;
   bool fresh = !gInitSeen;
   gInitSeen = true;
   gStartOverBefore = StartOver;
   bool ran = gRanGuard;
   gRanGuard = false;
   gChartLock = false;
   int refused = ZhRefuseStart(ran);
   if(refused != INIT_SUCCEEDED)
      return(refused);
   gChartLock = true;
   gRanGuard = true;
   ZhStartTimer();
   if(fresh)
      ZhSayWhereWarningsGo();
   if(!HostDllsAllowed())
     {
      // Loaded all the same: the warnings say what is missing, without a call to the library.
      gState = ZH_WAITING;
      ZhWatchAbility();
      ZhDraw();
      return(INIT_SUCCEEDED);
     }
   ZhStartOrCarryOn(asked, fresh);
   return(INIT_SUCCEEDED);
  }

// Whether this instance may not start, said by alert: the code OnInit returns (INIT_SUCCEEDED
// when it may start). ran: the instance ran the guard until now (new inputs refused stop it).
int ZhRefuseStart(bool ran)
  {
   if(HostIsTester())
     {
      // A 32-bit tester runs inside the terminal and would share the live guard's library.
      Alert("ZentravoGuard: not started in the strategy tester (it shares the live guard)");
      return(INIT_FAILED);
     }
   string wrong = ZhWrongInput();
   if(wrong != "")
     {
      // The terminal removes the EA: a guard that ran until now says so on every channel.
      if(ran)
         ZhSayStopped("its new inputs are refused: " + wrong);
      else
         Alert("ZentravoGuard: not started: ", wrong);
      return(INIT_PARAMETERS_INCORRECT);
     }
   // Every chart of a terminal shares the one loaded library: one chart runs the guard.
   if(!ZhTakeLock())
     {
      Alert("ZentravoGuard: the guard already runs on another chart of this terminal; not started here");
      return(INIT_FAILED);
     }
   return(INIT_SUCCEEDED);
  }

// The guard with the library: the running guard carries on where the library stayed loaded with
// the same targets and account, anything else starts it (again).
void ZhStartOrCarryOn(bool asked, bool fresh)
  {
   string key = TakeProfits + "|" + DrawdownTargets + "|" + IncreaseTargets + "|" + StopLosses;
   // A timeframe, symbol or template change re-initialises the EA but the library stays loaded:
   // the running guard (and a close under way) carries on.
   if((gState == ZH_RUNNING || gState == ZH_CLOSING) && key == gTargetsKey && gAccount == HostAccount() &&
      GetEquitySnap() > 0 && ZhTakeAccountLock(gAccount))
     {
      SetEmailProp(EmailEquityTarget, EmailMarginPercent, EmailDrawdown);  // new e-mail inputs count at once
      ZhNoteStartOver(asked, fresh);
      ZhDraw();
      return;
     }
   if(gState != ZH_WAITING && gTargetsKey != "" && key != gTargetsKey)
      Alert("ZentravoGuard: the targets changed; the guard starts again with the new ones");
   gTargetsKey = key;
   gState = ZH_WAITING;
   ZhStart();
   ZhNoteStartOver(asked, fresh);
   ZhWatchAbility();
   ZhDraw();
  }

// The guard stops with the EA: unless the terminal starts it again at once (a new timeframe or
// symbol, new inputs, a recompile, another account), the trader learns it on every channel.
void ZhDeinit(int reason)
  {
   EventKillTimer();
   gTimerOn = false;
   if(!gChartLock)
      return;
   if(reason != REASON_CHARTCHANGE && reason != REASON_PARAMETERS && reason != REASON_RECOMPILE &&
      reason != REASON_ACCOUNT)
      ZhSayStopped(ZhStopReason(reason));
   // Any export puts the settings writes a held file kept back into it: asked here, the last of
   // them land before the terminal unloads the library, rather than in its short last try at
   // unload (which the loader waits for).
   if(HostDllsAllowed())
      GetEquitySnap();
   ZhReleaseAccountLock();
   if(GlobalVariableCheck(ZH_LOCK) && (int)GlobalVariableGet(ZH_LOCK) == HostChartHandle())
     {
      GlobalVariableDel(ZH_LOCK);
      GlobalVariableDel(ZH_BEAT);
      GlobalVariableDel(ZH_STALE);
     }
   gChartLock = false;
   ZhErasePanel();
  }

// What is wrong with the inputs, with the input's name and range; "" when nothing is. Values out
// of range would flood the trader (a warning every tick), overflow a time in milliseconds or make
// a threshold that is always crossed.
string ZhWrongInput()
  {
   if(TimerMs < 50 || TimerMs > 60000)
      return("TimerMs is " + IntegerToString(TimerMs) + "; it must be from 50 to 60000 (milliseconds)");
   if(BlockedAlertSeconds < 10 || BlockedAlertSeconds > 86400)
      return("BlockedAlertSeconds is " + IntegerToString(BlockedAlertSeconds) + "; it must be from 10 to 86400 (seconds)");
   if(SlippagePoints < 0 || SlippagePoints > 100000)
      return("SlippagePoints is " + IntegerToString(SlippagePoints) + "; it must be from 0 to 100000 (points; 0: about 0.03 % of the price)");
   if(EmailEquityTarget < 0)
      return("EmailEquityTarget is " + DoubleToString(EmailEquityTarget, 2) + "; it must be 0 (off) or more");
   if(EmailMarginPercent < 0)
      return("EmailMarginPercent is " + DoubleToString(EmailMarginPercent, 2) + "; it must be 0 (off) or more");
   if(EmailDrawdown < 0)
      return("EmailDrawdown is " + DoubleToString(EmailDrawdown, 2) + "; it must be 0 (off) or more");
   return("");
  }

// The timer carries the checks while no tick comes (a quiet symbol, a weekend) and the warnings.
// A terminal that cannot make one is told about once; every tick then tries again.
void ZhStartTimer()
  {
   ResetLastError();
   gTimerOn = EventSetMillisecondTimer(TimerMs);
   gTimerTriedAt = GetTickCount();
   if(gTimerOn && gTimerFailed)
      Alert("ZentravoGuard: the timer runs again");
   if(!gTimerOn && !gTimerFailed)
      Alert("ZentravoGuard: the terminal gave the EA no timer (error ", GetLastError(),
            "); the guard checks on ticks only and tries again every second");
   gTimerFailed = !gTimerOn;
   ZhNoteStale();
  }

// The same check on every tick and every timer event: equity moves on any symbol show up
// even while the chart's own symbol is quiet.
void ZhCheck()
  {
   if(!gChartLock || !ZhStillHoldsLock())
      return;
   GlobalVariableSet(ZH_BEAT, (double)GetTickCount());
   if(!gTimerOn && GetTickCount() - gTimerTriedAt >= 1000)
      ZhStartTimer();
   if(!HostDllsAllowed())
     {
      ZhWatchAbility();
      ZhDraw();
      return;
     }
   if(gState == ZH_WAITING)
      ZhStart();
   else
      ZhCheckAccount();
   if(gState == ZH_HOLDING)
      ZhRetryHold();
   if(gState == ZH_RUNNING)
      ZhMonitor();
   else if(gState == ZH_CLOSING)
      ZhContinueClose();
   else if(ZhCloseGoesOn())
      ZhClosePass();
   ZhRetryMemory();
   ZhWatchAbility();
   ZhDraw();
   ZhWatchNotice();
  }

// One monitoring check: only while the library holds what the EA last saw and the history
// explains the balance is the equity judged.
void ZhMonitor()
  {
   if(!ZhLibraryAsSeen() || !ZhBalanceExplained())
      return;
   int result = SetEquity(ZhEquity(), HostMargin(), HostFreeMargin(), 0);
   if(result == ZT_STOP_LOSS_HIT || result == ZT_TAKE_PROFIT_HIT)
     {
      ZhBeginClose(result == ZT_STOP_LOSS_HIT ? 1 : 2);
      ZhRemember();
      ZhContinueClose();
      return;
     }
   if(result == ZT_DRAWDOWN_STEP)
     {
      Alert(ZtAlert(4));
      ZhRemember();  // the ladder's positions moved
     }
   ZhSendDueMessages();
  }

// The lock is free, ours, or abandoned: silent for longer than its holder said it may be (three
// of its timer intervals, at least ZH_STALE_MS; never while it has no timer, as its ticks may be
// hours apart), measured on GetTickCount, which no clock change moves. Temporary globals end
// with the terminal's session, so a crash leaves no lock behind.
bool ZhTakeLock()
  {
   int chart = HostChartHandle();
   if(GlobalVariableCheck(ZH_LOCK) && (int)GlobalVariableGet(ZH_LOCK) != chart)
     {
      uint stale = GlobalVariableCheck(ZH_STALE) ? (uint)GlobalVariableGet(ZH_STALE) : (uint)ZH_STALE_MS;
      if(stale == 0 || GetTickCount() - (uint)GlobalVariableGet(ZH_BEAT) < stale)
         return(false);
     }
   GlobalVariableTemp(ZH_LOCK);
   GlobalVariableTemp(ZH_BEAT);
   GlobalVariableTemp(ZH_STALE);
   GlobalVariableSet(ZH_LOCK, chart);
   GlobalVariableSet(ZH_BEAT, (double)GetTickCount());
   ZhNoteStale();
   return(true);
  }

void ZhNoteStale()
  {
   GlobalVariableSet(ZH_STALE, gTimerOn ? MathMax(ZH_STALE_MS, 3.0 * TimerMs) : 0.0);
  }

// Another chart took the lock while this one was silent (a frozen terminal): this one stops, lets
// the account's lock go to it, and makes no further call to the library.
bool ZhStillHoldsLock()
  {
   if(!GlobalVariableCheck(ZH_LOCK))
      return(ZhTakeLock());
   if((int)GlobalVariableGet(ZH_LOCK) == HostChartHandle())
      return(true);
   gChartLock = false;
   gRanGuard = false;
   ZhReleaseAccountLock();
   EventKillTimer();
   gTimerOn = false;
   ZhErasePanel();
   Alert("ZentravoGuard: another chart of this terminal took the guard over while this one was silent; this chart stops");
   return(false);
  }

// Each part's #defines come before the parts that use them.
#include <ZentravoMemory.mqh>
#include <ZentravoBooks.mqh>
#include <ZentravoStart.mqh>
#include <ZentravoClose.mqh>
#include <ZentravoMessages.mqh>
#include <ZentravoPanel.mqh>
//+------------------------------------------------------------------+
