//+------------------------------------------------------------------+
//| ZentravoStart.mqh - starting the guard for an account: what the  |
//| EA remembers resumed or restored, a first base, the holds of a    |
//| start, and the trader's StartOver                                 |
//+------------------------------------------------------------------+
// A start (the EA loaded, another account, new targets, a hold that lifts) compares what the
// library holds with what the EA last saw of it. Nothing re-bases the guard but a first start and
// the trader's StartOver: a lost settings file, another account, a login not known yet, a
// terminal that another one replaced, all hold and say why. While the library has not read its
// settings file (another program holds it) the EA decides nothing from what the library holds and
// calls nothing that would write over the file (SetLastValues): it waits, and goes on by itself
// once the library has read it. A close-all decided before a restart goes on whatever holds: the
// decision is made, and closing its own trades needs nothing of the library.

#define ZH_UNREAD_NOTICE "Started without saved settings"  // the library's notice while its file is unread
#define ZH_MEMORY_PATIENCE_MS 60000  // a memory file held this long: the hold names StartOver too

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
   string library = ZhRecallLibrary();
   gInitialEquity = 0;
   double snapshot = ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity, ZhEquity(), HostMargin(),
                            HostFreeMargin(), TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
   if(snapshot <= 0)
     {
      gState = ZH_WAITING;
      return;
     }
   ZhReadIncreaseTargets();
   ZhWarnTargets(snapshot);
   SetEmailProp(EmailEquityTarget, EmailMarginPercent, EmailDrawdown);
   if(memory == "" && gCloseKind != 0)
      ZhResumeClose();
   if(ZhLibraryUnread())
     {
      ZhHold(ZH_HOLD_UNREAD, "the library cannot read its settings file yet (its notice: " + ZtLabel(15, 0) +
             "): another program holds it, or it cannot be read; the guard goes on by itself once the library has read it");
      return;
     }
   if(gMemoryBusy)
     {
      ZhHoldOnMemory(library != "" ? library : memory);
      return;
     }
   gMemoryBusySince = 0;
   if(memory == "")
      ZhResume(snapshot);
   else if(memory == ZH_NO_MEMORY)
      ZhStartWithoutMemory(snapshot);
   else
      ZhHold(ZH_HOLD_BOOKS, "the EA's " + memory + ", so the deposits and withdrawals since the snapshot " +
             DoubleToString(snapshot, 2) + " are not known");
  }

// Whether the library began without the settings file it found (its notice line says so): what
// it holds now is the present equity, not the guard's history, until it reads the file.
bool ZhLibraryUnread()
  {
   return(StringFind(ZtLabel(15, 0), ZH_UNREAD_NOTICE) == 0);
  }

// A memory file another program keeps from the EA (a backup that opens it alone): tried again on
// every check; after ZH_MEMORY_PATIENCE_MS the hold also offers StartOver.
void ZhHoldOnMemory(string why)
  {
   if(gMemoryBusySince == 0)
      gMemoryBusySince = MathMax(GetTickCount(), 1);
   string text = "the EA's " + why + "; the guard tries again on every check";
   if(GetTickCount() - gMemoryBusySince >= ZH_MEMORY_PATIENCE_MS)
      text = text + "; if it stays so, close that program, or set StartOver to true to start over on the present equity";
   ZhHold(ZH_HOLD_MEMORY, text);
  }

// The EA remembers the account: the library's snapshot must be the one it last saw, or the
// library must have guarded another account since, or failed to save (then the memory restores
// it).
void ZhResume(double snapshot)
  {
   string other = ZhOtherHolder(gAccount);
   if(other != "")
     {
      // A close this terminal decided before is no longer its to finish: the other guard judged
      // the account since.
      gCloseKind = 0;
      if(gState == ZH_CLOSING)
         gState = ZH_WAITING;
      ZhHold(ZH_HOLD_BOOKS, "account " + gAccount + " was guarded by the terminal in " + other +
             " since this one last ran for it, so what was closed and rolled there is not known here");
      return;
     }
   bool sameInitial = MathAbs(gInitialEquity - gMemoryInitial) < ZH_CENT;
   bool same = MathAbs(snapshot - gMemorySnapshot) < ZH_CENT && sameInitial;
   if(!same && gLibraryAccount != "" && gLibraryAccount != gAccount)
      ZhRestore("the library had guarded " + gLibraryAccount + " since");
   else if(!same && gLibraryUnsaved)
      ZhRestore("the library could not save its settings file when the EA last ran");
   else if(!same && gCloseKind != 0 && sameInitial)
     {
      // The memory says a close was under way, the library has rolled since: the cycle was
      // reported before the end of the close reached the memory file.
      gCloseKind = 0;
      gCloseResumed = false;
      ZhNewMessageCycle();
      Alert("ZentravoGuard: the close-all under way when the EA stopped had ended and was reported;",
            " the guard goes on from the snapshot ", DoubleToString(snapshot, 2));
     }
   else if(!same)
     {
      ZhHoldOnLibrary(snapshot);
      return;
     }
   else if(gMemoryTargets == gTargetsKey && !ZhLadderAsSeen())
      ZhRestoreLadder();
   ZhLift(gCloseKind != 0 ? ZH_CLOSING : ZH_RUNNING);
   if(gCloseKind != 0)
      Alert("ZentravoGuard: a close-all was under way when the EA stopped; it is finished first");
   gLibraryAccount = gAccount;
   ZhRemember();
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

// The library's settings file holds another account's guard, or missed the EA's last run: this
// account's snapshot, initial equity and ladder positions come back from the EA's memory. The
// library starts the stop loss and the increase targets from their first entries then.
void ZhRestore(string why)
  {
   SetLastValues(gMemorySnapshot, gMemoryLadder[0], gMemoryLadder[1], gMemoryLadder[2], gMemoryLadder[3]);
   gInitialEquity = gMemoryInitial;
   ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity, ZhEquity(), HostMargin(), HostFreeMargin(),
          TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
   gIncreasesPassed = 0;
   Alert("ZentravoGuard: account ", gAccount, " resumed from the EA's memory (snapshot ",
         DoubleToString(gMemorySnapshot, 2), "); ", why,
         "; the stop loss and the increase targets start again from their first entries");
  }

// The library's ladder positions are the ones the EA last saw.
bool ZhLadderAsSeen()
  {
   int tpSet = 0, tp = 0, ddSet = 0, dd = 0;
   GetIndex(tpSet, tp, ddSet, dd);
   return(tpSet == gMemoryLadder[0] && tp == gMemoryLadder[1] && ddSet == gMemoryLadder[2] && dd == gMemoryLadder[3]);
  }

// Same snapshot, other ladder positions: a step the library wrote too late for its file (a held
// file as the terminal stopped). The memory's come back - unless an increase target was passed,
// which SetLastValues would start again from the first entry with the stop loss.
void ZhRestoreLadder()
  {
   int tpSet = 0, tp = 0, ddSet = 0, dd = 0;
   GetIndex(tpSet, tp, ddSet, dd);
   string seen = "the library's ladder positions " + ZhList(tpSet, tp, ddSet, dd, 4) +
                 " are not the ones the EA last saw, " +
                 ZhList(gMemoryLadder[0], gMemoryLadder[1], gMemoryLadder[2], gMemoryLadder[3], 4);
   if(gIncreasesPassed > 0)
     {
      Alert("ZentravoGuard: ", seen, "; the library's are kept, since restoring them would start the stop loss",
            " and the increase targets again from their first entries");
      return;
     }
   SetLastValues(gMemorySnapshot, gMemoryLadder[0], gMemoryLadder[1], gMemoryLadder[2], gMemoryLadder[3]);
   ZtInit(HostChartHandle(), "ZentravoGuard", gInitialEquity, ZhEquity(), HostMargin(), HostFreeMargin(),
          TakeProfits, DrawdownTargets, IncreaseTargets, StopLosses);
   Alert("ZentravoGuard: ", seen, " (the library's last write did not land?); restored from the EA's memory");
  }

// On every check before the equity is judged: the library still holds the snapshot and ladder
// the EA last saw. Only the guard's own decisions move them, and each is noted at once
// (ZhRemember); a change from elsewhere - a settings file the library read late, another program
// in the terminal that started the library again - holds, never judges.
bool ZhLibraryAsSeen()
  {
   double snapshot = GetEquitySnap();
   if(MathAbs(snapshot - gMemorySnapshot) < ZH_CENT && ZhLadderAsSeen())
      return(true);
   int tpSet = 0, tp = 0, ddSet = 0, dd = 0;
   GetIndex(tpSet, tp, ddSet, dd);
   ZhHold(ZH_HOLD_BOOKS, "the library's snapshot and ladder positions moved to " + DoubleToString(snapshot, 2) + " (" +
          ZhList(tpSet, tp, ddSet, dd, 4) + ") from " + DoubleToString(gMemorySnapshot, 2) + " (" +
          ZhList(gMemoryLadder[0], gMemoryLadder[1], gMemoryLadder[2], gMemoryLadder[3], 4) +
          ") without a decision of the guard (its notice: " + ZtLabel(15, 0) + ")");
   return(false);
  }

// No memory of this account: a first start takes the base; anything else holds.
void ZhStartWithoutMemory(double snapshot)
  {
   string other = ZhOtherHolder(gAccount);
   bool older = FileIsExist(ZH_OLD_MEMORY);
   if(other == "" && gLibraryAccount == "" && !older && MathAbs(snapshot - HostEquity()) < ZH_CENT)
     {
      ZhTakeBase(false);
      return;
     }
   string why;
   if(other != "")
      why = "account " + gAccount + " was guarded by the terminal in " + other +
            ", and this terminal has no memory of it";
   else if(gLibraryAccount == "" && older)
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

// StartOver is the trader's explicit step out of a bookkeeping hold: it acts when set to true on
// the running EA (asked), never when the EA starts with it true (fresh), whatever a file says.
void ZhNoteStartOver(bool asked, bool fresh)
  {
   if(!StartOver)
      return;
   if(!asked)
     {
      if(fresh)
         Alert("ZentravoGuard: StartOver is true as the EA starts (the chart, a profile or a template kept it); it acts",
               " only when set to true while the guard holds. Set it back to false");
      return;
     }
   bool holding = gState == ZH_HOLDING;
   if(holding && gHoldKind == ZH_HOLD_UNREAD)
      Alert("ZentravoGuard: StartOver waits: the library has not read its settings file yet, and starting over now",
            " would write over the history the file holds, unseen. The guard goes on by itself once the library",
            " has read it; set StartOver back to false");
   else if(holding && (gHoldKind == ZH_HOLD_BOOKS || gHoldKind == ZH_HOLD_BALANCE || gHoldKind == ZH_HOLD_BASE ||
                       gHoldKind == ZH_HOLD_MEMORY))
      ZhTakeBase(true);
   else
      Alert("ZentravoGuard: StartOver had nothing to do (it acts only while the guard holds because it cannot",
            " tell what the account did); set it back to false");
  }

// The target inputs as the library runs them, said once for each set of targets the guard starts
// with. In a set, each drawdown target but the last moves the take profit on to the set's next
// amount (the last target ends the steps), so a set needs as many take profits as drawdown
// targets: fewer leave the later steps on the last take profit, more are never used. The sets
// advance together, one at each increase target a close reaches: an increase target at or below
// the snapshot is reached by the next close, a stop loss too.
void ZhWarnTargets(double snapshot)
  {
   if(gTargetsWarned == gTargetsKey)
      return;
   gTargetsWarned = gTargetsKey;
   int tp[];
   int dd[];
   int tpSets = ZhCountSets(TakeProfits, tp);
   int ddSets = ZhCountSets(DrawdownTargets, dd);
   string wrong = "";
   for(int s = 0; s < tpSets && s < ddSets; s++)
      if(dd[s] > 0 && tp[s] != dd[s])
         wrong = wrong + "; set " + IntegerToString(s + 1) + " has " + IntegerToString(tp[s]) +
                 " take profits for " + IntegerToString(dd[s]) + " drawdown targets";
   if(tpSets != ddSets)
      wrong = wrong + "; TakeProfits has " + IntegerToString(tpSets) + " sets, DrawdownTargets " +
              IntegerToString(ddSets) + " (a list without a next set keeps its last)";
   if(wrong != "")
      Alert("ZentravoGuard: the targets do not pair up", wrong, ". Each drawdown target but the set's last moves the",
            " take profit on to the set's next amount: give each set as many take profits as drawdown targets");
   if(gIncreasesPassed < ArraySize(gIncreaseTargets) && gIncreaseTargets[gIncreasesPassed] <= snapshot)
      Alert("ZentravoGuard: IncreaseTargets ", DoubleToString(gIncreaseTargets[gIncreasesPassed], 2),
            " is not above the snapshot ", DoubleToString(snapshot, 2), ": the next close, a take profit or a",
            " stop loss, moves the guard on to the next sets. Increase targets are equity levels: set them above",
            " the equity");
  }

// How many positive amounts each set of a target text holds, as the library reads it (a ';'
// right after an amount closes a set; any other character but a digit or '.' separates
// amounts); returns the number of sets.
int ZhCountSets(string text, int &counts[])
  {
   ArrayResize(counts, 1);
   counts[0] = 0;
   string number = "";
   int length = StringLen(text);
   for(int i = 0; i <= length; i++)
     {
      ushort c = (i < length) ? StringGetCharacter(text, i) : 0;
      if((c >= '0' && c <= '9') || c == '.')
        {
         number = number + ShortToString(c);
         continue;
        }
      if(number == "")
         continue;
      int set = ArraySize(counts) - 1;
      if(StringToDouble(number) > 0)
         counts[set]++;
      number = "";
      if(c == ';' && set + 1 < 8)
        {
         ArrayResize(counts, set + 2);
         counts[set + 1] = 0;
        }
     }
   while(ArraySize(counts) > 1 && counts[ArraySize(counts) - 1] == 0)
      ArrayResize(counts, ArraySize(counts) - 1);  // a ';' at the end opens no set
   return(ArraySize(counts));
  }
//+------------------------------------------------------------------+
