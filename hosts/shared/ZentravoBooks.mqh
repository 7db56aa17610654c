//+------------------------------------------------------------------+
//| ZentravoBooks.mqh - the guard's bookkeeping: the base, the        |
//| balance as a witness, the holds                                   |
//+------------------------------------------------------------------+
// The guard judges the equity against a snapshot; deposits, withdrawals, credit and bonus since
// the base are taken out of it (ZhEquity), so they never look like profit or loss. The base is
// where that counting starts: its server time, the history records of that second and the newest
// ticket of any record. A record counts only when it is later than the base (later in time, or
// of the base's second and not among its records); an operation also only when its ticket is
// above the newest at the base. So a history that shows more later (MT4's Account History tab
// widened, an MT5 terminal that was still synchronising its deals) brings nothing old into the
// count.
//
// The balance is the witness. Whatever the history records after the last point where it
// explained the balance (closed trades' results, operations) must add up to the balance's move
// since; while it does not, the equity is not judged (a record may come seconds after its balance
// change), and after ZH_WITNESS_GRACE_MS the guard holds with an alert naming the amount. A deal
// of a type the EA does not know holds as well. Bookkeeping never closes a trade.

#define ZH_HOLD_LOGIN    1  // the terminal has not logged in yet: the guard starts once it has
#define ZH_HOLD_TERMINAL 2  // another terminal on this computer guards the account: until it stops
#define ZH_HOLD_BASE     3  // the base cannot be taken yet: taken as soon as it can
#define ZH_HOLD_BOOKS    4  // the EA cannot tell what the account did: until StartOver
#define ZH_HOLD_BALANCE  5  // the balance moved beyond what the history shows: until it does, or StartOver
#define ZH_HOLD_ACCOUNT  6  // the terminal switched accounts under the guard: until the EA restarts
#define ZH_HOLD_UNREAD   7  // the library has not read its settings file: until it has
#define ZH_HOLD_MEMORY   8  // another program keeps a memory file from the EA: until it lets go, or StartOver

// How long an unexplained move of the balance may last before the guard holds: an MT5 terminal
// that reconnects gets the balance with the account and the deals a second or more later, and a
// count of checks would be a few milliseconds on a busy tick stream.
#define ZH_WITNESS_GRACE_MS 10000
#define ZH_CENT          0.005  // amounts closer than half a cent are the same
#define ZH_UNKNOWN_KIND  3      // HostHistory: a deal of a type the EA does not know

// The equity the guard judges: the balance operations since the base are taken out.
double ZhEquity()
  {
   return(HostEquity() - gOpsSince);
  }

double ZhBalanceAndCredit()
  {
   return(AccountInfoDouble(ACCOUNT_BALANCE) + AccountInfoDouble(ACCOUNT_CREDIT));
  }

// Takes the base on the present equity, or holds until it can be taken: connected, a quote in
// (so the server's time is known), and - unless the trader forced it with StartOver - a history
// that explains the whole balance (MT4's tab on All History, MT5's deals synchronised).
bool ZhTakeBase(bool forced)
  {
   string why = ZhBaseBlocked(forced);
   if(why != "")
     {
      gBaseForced = forced;
      ZhHold(ZH_HOLD_BASE, "no base yet: " + why);
      return(false);
     }
   // What is dropped is the guard's history as the EA last saw it, and the library's if it differs.
   string dropped = DoubleToString(GetEquitySnap(), 2);
   if(gMemorySnapshot > 0 && MathAbs(gMemorySnapshot - GetEquitySnap()) >= ZH_CENT)
      dropped = DoubleToString(gMemorySnapshot, 2) + " the EA last saw (the library held " + dropped + ")";
   bool closing = ZhClosePending();
   int n = ZhReadHistory(0);
   gBaseTime = TimeCurrent();
   gOpsFloor = 0;
   for(int i = 0; i < n; i++)
     {
      if(gRecordTimes[i] > gBaseTime)
         gBaseTime = gRecordTimes[i];
      if(gRecordTickets[i] > gOpsFloor)
         gOpsFloor = gRecordTickets[i];
     }
   gOpsSince = 0;
   gWitnessAmount = ZhBalanceAndCredit();
   gWitnessTime = gBaseTime;
   ArrayResize(gWitnessTickets, 0);
   ZhNoteWitnessSecond(n);
   gWitnessMissSince = 0;
   if(forced || MathAbs(GetEquitySnap() - HostEquity()) >= ZH_CENT)
     {
      SetLastValues(HostEquity(), 0, 0, 0, 0);
      gInitialEquity = HostEquity();
      ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity, HostEquity(), HostMargin(), HostFreeMargin(),
             TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
     }
   // A close-all decided before goes on: starting over re-bases the books, not the stop loss that
   // was hit; its cycle is reported, and the snapshot rolls, once the account is flat.
   if(forced)
      Alert("ZentravoGuard: started over on the present equity ", DoubleToString(HostEquity(), 2),
            " as asked (StartOver); the snapshot ", dropped, " is dropped",
            closing ? "; the close-all under way goes on" : "", ". Set StartOver back to false now");
   if(!closing)
     {
      gCloseKind = 0;
      ZhNewMessageCycle();
     }
   gIncreasesPassed = 0;
   ZhLift(closing ? ZH_CLOSING : ZH_RUNNING);
   gLibraryAccount = gAccount;
   ZhRemember();
   ZhNoteHolder();
   return(true);
  }

// Why the base cannot be taken now, "" when it can.
string ZhBaseBlocked(bool forced)
  {
   if(TerminalInfoInteger(TERMINAL_CONNECTED) == 0)
      return("no connection to the trade server; the guard takes its base once connected");
   if(TimeCurrent() <= 0 || SymbolInfoDouble(Symbol(), SYMBOL_BID) <= 0)
      return("no quote has come yet, so the server's time is not known; the guard takes its base at the first quote");
   if(forced)
      return("");
   int n = ZhReadHistory(0);
   double explained = 0;
   for(int i = 0; i < n; i++)
      explained += gRecordAmounts[i];
   double amount = ZhBalanceAndCredit();
   if(MathAbs(explained - amount) < ZH_CENT)
      return("");
   return("the account history explains " + DoubleToString(explained, 2) + " of the balance and credit " +
          DoubleToString(amount, 2) + " (" + HostHistoryHint() + "); the guard takes its base once it does," +
          " or set StartOver to true to take it on the present equity anyway");
  }

int ZhReadHistory(datetime since)
  {
   return(HostHistory(since, gRecordTimes, gRecordTickets, gRecordAmounts, gRecordKinds));
  }

// Whether record i is later than what the witness has explained.
bool ZhAfterWitness(int i)
  {
   if(gRecordTimes[i] != gWitnessTime)
      return(gRecordTimes[i] > gWitnessTime);
   for(int k = 0; k < ArraySize(gWitnessTickets); k++)
      if(gWitnessTickets[k] == gRecordTickets[i])
         return(false);
   return(true);
  }

// The witness's second is gWitnessTime: every record of it read now is explained from here on.
void ZhNoteWitnessSecond(int n)
  {
   for(int i = 0; i < n; i++)
     {
      if(gRecordTimes[i] != gWitnessTime || !ZhAfterWitness(i))
         continue;
      int size = ArraySize(gWitnessTickets);
      ArrayResize(gWitnessTickets, size + 1);
      gWitnessTickets[size] = gRecordTickets[i];
     }
  }

// Whether the history explains the balance's move since the witness last agreed. When it does,
// the operations among the new records are counted and the witness moves on to them; when it
// has not for ZH_WITNESS_GRACE_MS, the guard holds. Never closes anything.
bool ZhBalanceExplained()
  {
   int n = ZhReadHistory(gWitnessTime);
   double moved = 0, operations = 0;
   datetime newest = gWitnessTime;
   bool found = false;
   for(int i = 0; i < n; i++)
     {
      if(!ZhAfterWitness(i) || (gRecordKinds[i] != 0 && gRecordTickets[i] <= gOpsFloor))
         continue;
      if(gRecordKinds[i] == ZH_UNKNOWN_KIND)
        {
         ZhHold(ZH_HOLD_BOOKS, "the account history holds deal #" + IntegerToString(gRecordTickets[i]) + " of " +
                DoubleToString(gRecordAmounts[i], 2) + " of a type the EA does not know, so it cannot tell a" +
                " trading result from money paid in or out");
         return(false);
        }
      found = true;
      moved += gRecordAmounts[i];
      if(gRecordKinds[i] != 0)
         operations += gRecordAmounts[i];
      if(gRecordTimes[i] > newest)
         newest = gRecordTimes[i];
     }
   double amount = ZhBalanceAndCredit();
   double unexplained = amount - gWitnessAmount - moved;
   if(MathAbs(unexplained) < ZH_CENT)
     {
      gWitnessMissSince = 0;
      if(!found)
         return(true);
      gOpsSince += operations;
      gWitnessAmount = amount;
      if(newest > gWitnessTime)
         ArrayResize(gWitnessTickets, 0);
      gWitnessTime = newest;
      ZhNoteWitnessSecond(n);
      ZhRemember();
      return(true);
     }
   if(gWitnessMissSince == 0)
      gWitnessMissSince = MathMax(GetTickCount(), 1);
   if(GetTickCount() - gWitnessMissSince >= ZH_WITNESS_GRACE_MS)
      ZhHold(ZH_HOLD_BALANCE, "the balance moved by " + DoubleToString(unexplained, 2) +
             " more than the account history shows (" + HostHistoryHint() + ")");
   return(false);
  }

// The guard closes nothing and judges nothing: the panel and the "NOT PROTECTING" warnings
// (ZhWatchAbility) say why and what lifts the hold.
void ZhHold(int kind, string why)
  {
   if(gState != ZH_HOLDING)
      gHeldState = gState == ZH_CLOSING ? ZH_CLOSING : ZH_RUNNING;
   gState = ZH_HOLDING;
   gHoldKind = kind;
   gHolding = "holding: " + why;
   if(kind == ZH_HOLD_BOOKS)
      gHolding = gHolding + "; check the account, then set StartOver to true to start over on the present equity";
   if(kind == ZH_HOLD_BALANCE)
      gHolding = gHolding + "; the guard judges nothing until it does, or set StartOver to true to start over" +
                 " on the present equity";
  }

void ZhLift(int state)
  {
   gState = state;
   gHoldKind = 0;
   gHolding = "";
  }

// Each check tries again what lifts a hold by itself: a start once the login, the account's
// lock, the library's settings file or the memory files are there.
void ZhRetryHold()
  {
   string memory = gHoldKind == ZH_HOLD_MEMORY ? ZhMemoryHeld(gAccount) : "";
   if(gHoldKind == ZH_HOLD_MEMORY && memory != "")
      ZhHoldOnMemory(memory);
   else if(gHoldKind == ZH_HOLD_LOGIN || gHoldKind == ZH_HOLD_TERMINAL || gHoldKind == ZH_HOLD_MEMORY ||
           (gHoldKind == ZH_HOLD_UNREAD && !ZhLibraryUnread()))
     {
      gState = ZH_WAITING;
      ZhStart();
     }
   else if(gHoldKind == ZH_HOLD_BASE)
      ZhTakeBase(gBaseForced);
   else if(gHoldKind == ZH_HOLD_BALANCE && ZhBalanceExplained())
      ZhLift(gHeldState);
   else if(gHoldKind == ZH_HOLD_ACCOUNT && HostAccount() == gAccount)
      ZhLift(gHeldState);
  }

// Each event runs on the account the terminal is logged in to now: between an account change and
// the EA's restart for it (OnDeinit with REASON_ACCOUNT) the guard must not judge the new
// account's equity against the old snapshot.
void ZhCheckAccount()
  {
   if(gAccount == "" || gHoldKind == ZH_HOLD_ACCOUNT || HostAccount() == gAccount)
      return;
   ZhHold(ZH_HOLD_ACCOUNT, "the terminal switched to account " + HostAccount() + " under the guard of " +
          gAccount + "; the guard goes on once the EA restarts for it");
  }

//+------------------------------------------------------------------+
