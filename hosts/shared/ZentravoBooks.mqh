//+------------------------------------------------------------------+
//| ZentravoBooks.mqh - the guard's bookkeeping: the base, the        |
//| balance as a witness, the holds and StartOver                     |
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
// since; while it does not, the equity is not judged (a record may come a check or two after its
// balance change), and after ZH_WITNESS_GRACE checks the guard holds with an alert naming the
// amount. Bookkeeping never closes a trade.
//
// Nothing re-bases the guard but a first start and the trader's StartOver: a lost settings file,
// another account, a login not known yet, a terminal that another one replaced, all hold and say
// why.

#define ZH_HOLD_LOGIN    1  // the terminal has not logged in yet: the guard starts once it has
#define ZH_HOLD_TERMINAL 2  // another terminal on this computer guards the account: until it stops
#define ZH_HOLD_BASE     3  // the base cannot be taken yet: taken as soon as it can
#define ZH_HOLD_BOOKS    4  // the EA cannot tell what the account did: until StartOver
#define ZH_HOLD_BALANCE  5  // the balance moved beyond what the history shows: until it does, or StartOver
#define ZH_HOLD_ACCOUNT  6  // the terminal switched accounts under the guard: until the EA restarts

#define ZH_WITNESS_GRACE 3    // checks an unexplained move of the balance may last before the guard holds
#define ZH_CENT          0.005  // amounts closer than half a cent are the same

// The equity the guard judges: the balance operations since the base are taken out.
double ZhEquity()
  {
   return(HostEquity() - gOpsSince);
  }

double ZhBalanceAndCredit()
  {
   return(AccountInfoDouble(ACCOUNT_BALANCE) + AccountInfoDouble(ACCOUNT_CREDIT));
  }

// Starts the guard for the account the terminal is logged in to, once it reports an equity (a
// terminal that starts without a connection reports 0): resumes what the EA remembers of it,
// takes the first base, or holds.
void ZhStart()
  {
   gAccount = "";
   if(HostEquity() <= 0)
     {
      gState = ZH_WAITING;
      return;
     }
   string account = HostAccount();
   if(AccountInfoInteger(ACCOUNT_LOGIN) == 0 || AccountInfoString(ACCOUNT_SERVER) == "")
     {
      ZhHold(ZH_HOLD_LOGIN,
             "the terminal has not logged in to the account yet (login 0 or no server name); the guard starts once it has");
      return;
     }
   if(!ZhTakeAccountLock(account))
     {
      ZhHold(ZH_HOLD_TERMINAL, "another terminal on this computer guards account " + account +
             "; this one starts when that one stops");
      return;
     }
   gAccount = account;
   string memory = ZhRecall(account);
   ZhRecallLibrary();
   gInitialEquity = 0;
   double snapshot = ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity, ZhEquity(), HostMargin(),
                            HostFreeMargin(), TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
   if(snapshot <= 0)
     {
      gState = ZH_WAITING;
      return;
     }
   ZhReadIncreaseTargets();
   SetEmailProp(EmailEquityTarget, EmailMarginPercent, EmailDrawdown);
   if(memory == "")
      ZhResume(snapshot);
   else if(memory == ZH_NO_MEMORY)
      ZhStartWithoutMemory(snapshot);
   else
      ZhHold(ZH_HOLD_BOOKS, "the EA's " + memory + ", so the deposits and withdrawals since the snapshot " +
             DoubleToString(snapshot, 2) + " are not known");
  }

// The EA remembers the account: the library's snapshot must be the one it last saw, or the
// library must have guarded another account since (then the memory restores it).
void ZhResume(double snapshot)
  {
   string other = ZhOtherHolder(gAccount);
   if(other != "")
     {
      ZhHold(ZH_HOLD_BOOKS, "account " + gAccount + " was guarded by the terminal in " + other +
             " since this one last ran for it, so what was closed and rolled there is not known here");
      return;
     }
   bool same = MathAbs(snapshot - gMemorySnapshot) < ZH_CENT && MathAbs(gInitialEquity - gMemoryInitial) < ZH_CENT;
   if(!same && gLibraryAccount != "" && gLibraryAccount != gAccount)
      ZhRestore();
   else if(!same && gCloseKind != 0 && MathAbs(gInitialEquity - gMemoryInitial) < ZH_CENT)
     {
      // The memory says a close was under way, the library has rolled since: the cycle was
      // reported before the end of the close reached the memory file.
      gCloseKind = 0;
      ZhNewMessageCycle();
      Alert("ZentravoGuard: the close-all under way when the EA stopped had ended and was reported;",
            " the guard goes on from the snapshot ", DoubleToString(snapshot, 2));
     }
   else if(!same)
     {
      ZhHoldOnLibrary(snapshot);
      return;
     }
   gState = ZH_RUNNING;
   if(gCloseKind != 0)
      ZhResumeClose(gCloseKind);
   ZhRemember();
   gLibraryAccount = gAccount;
   ZhRememberLibrary();
   ZhNoteHolder();
  }

// The library's snapshot is not the one the EA last saw for this account.
void ZhHoldOnLibrary(double snapshot)
  {
   if(MathAbs(gInitialEquity - gMemoryInitial) >= ZH_CENT && MathAbs(snapshot - ZhEquity()) < ZH_CENT)
      ZhHold(ZH_HOLD_BOOKS, "the library's settings file was lost: it started afresh on the present equity " +
             DoubleToString(snapshot, 2) + ", while the EA last saw the snapshot " + DoubleToString(gMemorySnapshot, 2));
   else
      ZhHold(ZH_HOLD_BOOKS, "the library's settings file holds the snapshot " + DoubleToString(snapshot, 2) +
             ", the EA last saw " + DoubleToString(gMemorySnapshot, 2) +
             " (a settings file copied or restored from elsewhere?)");
  }

// The library's settings file holds another account's guard: this account's snapshot, initial
// equity and ladder positions come back from the EA's memory.
void ZhRestore()
  {
   SetLastValues(gMemorySnapshot, gMemoryLadder[0], gMemoryLadder[1], gMemoryLadder[2], gMemoryLadder[3]);
   gInitialEquity = gMemoryInitial;
   ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity, ZhEquity(), HostMargin(), HostFreeMargin(),
          TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
   Alert("ZentravoGuard: account ", gAccount, " resumed from the EA's memory (snapshot ",
         DoubleToString(gMemorySnapshot, 2), "); the library had guarded ", gLibraryAccount, " since");
  }

// No memory of this account: a first start takes the base; anything else holds.
void ZhStartWithoutMemory(double snapshot)
  {
   string other = ZhOtherHolder(gAccount);
   if(other == "" && gLibraryAccount == "" && MathAbs(snapshot - HostEquity()) < ZH_CENT)
     {
      ZhTakeBase(false);
      return;
     }
   string why;
   if(other != "")
      why = "account " + gAccount + " was guarded by the terminal in " + other +
            ", and this terminal has no memory of it";
   else if(gLibraryAccount == "" && FileIsExist(ZH_OLD_MEMORY))
      why = "the EA's memory is in the file " + HostFilesFolder() + "\\" + ZH_OLD_MEMORY +
            " of an older version, which keeps no base time, so the deposits and withdrawals since the snapshot " +
            DoubleToString(snapshot, 2) + " cannot be told from older ones";
   else if(gLibraryAccount == "")
      why = "the library's settings file holds the snapshot " + DoubleToString(snapshot, 2) +
            ", which the EA has no memory of (a Libraries folder copied from another terminal?)";
   else if(gLibraryAccount == gAccount)
      why = "the EA has no memory file for account " + gAccount + " (" + HostFilesFolder() + "\\" +
            ZhMemoryName(gAccount) + "), so the deposits and withdrawals since the snapshot " +
            DoubleToString(snapshot, 2) + " are not known";
   else
     {
      why = "account " + gAccount + " is new to the guard, which last guarded " + gLibraryAccount;
      if(StringFind(gLibraryAccount, IntegerToString(AccountInfoInteger(ACCOUNT_LOGIN)) + "@") == 0)
         why = why + " (the same login: did the broker rename its server?)";
     }
   ZhHold(ZH_HOLD_BOOKS, why);
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
   double dropped = GetEquitySnap();
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
   gWitnessMisses = 0;
   if(forced || MathAbs(GetEquitySnap() - HostEquity()) >= ZH_CENT)
     {
      SetLastValues(HostEquity(), 0, 0, 0, 0);
      gInitialEquity = HostEquity();
      ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity, HostEquity(), HostMargin(), HostFreeMargin(),
             TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
     }
   if(forced)
      Alert("ZentravoGuard: started over on the present equity ", DoubleToString(HostEquity(), 2),
            " as asked (StartOver); the snapshot ", DoubleToString(dropped, 2),
            " is dropped. Set StartOver back to false now");
   gCloseKind = 0;
   gIncreasesPassed = 0;
   ZhNewMessageCycle();
   ZhLift(ZH_RUNNING);
   ZhRemember();
   gLibraryAccount = gAccount;
   ZhRememberLibrary();
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
// has not for ZH_WITNESS_GRACE checks, the guard holds. Never closes anything.
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
      gWitnessMisses = 0;
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
   gWitnessMisses++;
   if(gWitnessMisses >= ZH_WITNESS_GRACE)
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

// Each check tries again what lifts a hold by itself.
void ZhRetryHold()
  {
   if(gHoldKind == ZH_HOLD_LOGIN || gHoldKind == ZH_HOLD_TERMINAL)
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

// StartOver is the trader's explicit step out of a bookkeeping hold. Inputs stay with the chart,
// so it acts once: the memory notes that the StartOver now set was seen, until it is false again.
void ZhNoteStartOver()
  {
   if(!StartOver)
     {
      if(gStartOverSeen)
        {
         gStartOverSeen = false;
         ZhRememberLibrary();
        }
      return;
     }
   if(gStartOverSeen)
      return;
   gStartOverSeen = true;
   ZhRememberLibrary();
   if(gState == ZH_HOLDING && (gHoldKind == ZH_HOLD_BOOKS || gHoldKind == ZH_HOLD_BALANCE || gHoldKind == ZH_HOLD_BASE))
      ZhTakeBase(true);
   else
      Alert("ZentravoGuard: StartOver had nothing to do (it acts only while the guard holds because it cannot",
            " tell what the account did); set it back to false");
  }
//+------------------------------------------------------------------+
