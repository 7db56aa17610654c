//+------------------------------------------------------------------+
//| ZentravoMemory.mqh - what the EA remembers across restarts, per   |
//| account, and the lock that keeps one terminal per account         |
//+------------------------------------------------------------------+
// The memory lives in the terminal's own Files folder (not beside the library, not in terminal
// global variables, which go four weeks after their last use and reach the disk only at a clean
// shutdown), in a folder of its own:
//   ZentravoGuard\<login>@<server>.state  one account's base, witness, operations counted, the
//                                         library's snapshot, initial equity and ladder positions
//                                         as last seen (and under which targets), whether the
//                                         library could save them, a close under way with the
//                                         trades it decided on, and the message marks
//   ZentravoGuard\library.state           which account's guard the library's settings file holds
// Every file is written to a temporary file and moved over the old one, so a crash leaves the old
// memory or the new one, never half of either; its last line marks it complete. Every file is
// opened sharing reads: a backup or a virus scanner that reads it as well is no reason to hold.
//
// Two terminals on one computer share the common files folder (Terminal\Common\Files): the one
// that guards an account keeps ZentravoGuard\<account>.lock open there without sharing it, so a
// second terminal cannot open it and holds; the operating system lets it go when the terminal
// ends, however it ends. ZentravoGuard\<account>.holder names the terminal that guarded the
// account last.

#define ZH_MEMORY_FOLDER "ZentravoGuard"
#define ZH_LIBRARY_MEMORY "ZentravoGuard\\library.state"
#define ZH_NO_MEMORY "no memory"  // ZhRecall: the EA has never guarded the account here
#define ZH_OLD_MEMORY "ZentravoGuard.state"  // the one memory file of the EAs before memory per account

// An account as a file name: characters Windows does not take in one become '_'.
string ZhFileName(string account)
  {
   string name = "";
   for(int i = 0; i < StringLen(account); i++)
     {
      ushort c = StringGetCharacter(account, i);
      if(c < 32 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
         c == '>' || c == '|')
         c = '_';
      name = name + ShortToString(c);
     }
   return(name);
  }

// A file of the EA's folder (in the Files folder, or in the common one).
string ZhFolderFile(string name)
  {
   string folder = ZH_MEMORY_FOLDER;
   return(folder + "\\" + name);
  }

string ZhMemoryName(string account)
  {
   return(ZhFolderFile(ZhFileName(account) + ".state"));
  }

string ZhList(long a, long b, long c, long d, int count)
  {
   string text = IntegerToString(a) + "," + IntegerToString(b) + "," + IntegerToString(c);
   return(count == 4 ? text + "," + IntegerToString(d) : text);
  }

// Writes this account's memory and the library memory. A failure is said once; the guard goes
// on, and ZhRetryMemory tries again every minute. The library's snapshot, initial equity and
// positions are taken only while the guard runs or closes: during a hold the library may hold
// anything (the present equity of a start that could not read its file, another account's
// guard), and the memory keeps what the EA last saw.
void ZhRemember()
  {
   if(gAccount == "")
      return;
   if(gState == ZH_RUNNING || gState == ZH_CLOSING)
      ZhNoteLibraryFigures();
   string text = ZhMemoryText();
   gMemoryTargets = gTargetsKey;
   string name = ZhMemoryName(gAccount);
   bool written = ZhWriteFile(name, text);
   if(written)
     {
      name = ZH_LIBRARY_MEMORY;
      written = ZhWriteFile(name, "library_account=" + gLibraryAccount + "\nend=1\n");
     }
   ZhNoteMemoryWrite(written, name);
  }

// The library's ladder position, snapshot and initial equity, as the memory keeps them.
void ZhNoteLibraryFigures()
  {
   int tpSet = 0, tp = 0, ddSet = 0, dd = 0;
   GetIndex(tpSet, tp, ddSet, dd);
   gMemoryLadder[0] = tpSet;
   gMemoryLadder[1] = tp;
   gMemoryLadder[2] = ddSet;
   gMemoryLadder[3] = dd;
   gMemorySnapshot = GetEquitySnap();
   gMemoryInitial = gInitialEquity;
  }

// This account's memory file: one "key=value" line each, "end=1" last.
string ZhMemoryText()
  {
   string seen = "";
   for(int k = 0; k < ArraySize(gWitnessTickets); k++)
      seen = seen + (k > 0 ? "," : "") + IntegerToString(gWitnessTickets[k]);
   bool closing = ZhClosePending();
   string tickets = "";
   for(int t = 0; closing && t < ArraySize(gCloseTickets); t++)
      tickets = tickets + (t > 0 ? "," : "") + IntegerToString(gCloseTickets[t]);
   string text = "account=" + gAccount + "\n" +
                 "base_time=" + IntegerToString(gBaseTime) + "\n" +
                 "ops_floor=" + IntegerToString(gOpsFloor) + "\n" +
                 "ops_since=" + DoubleToString(gOpsSince, 2) + "\n" +
                 "witness_amount=" + DoubleToString(gWitnessAmount, 2) + "\n" +
                 "witness_time=" + IntegerToString(gWitnessTime) + "\n" +
                 "witness_tickets=" + seen + "\n" +
                 "snapshot=" + DoubleToString(gMemorySnapshot, 2) + "\n" +
                 "initial=" + DoubleToString(gMemoryInitial, 2) + "\n" +
                 "ladder=" + ZhList(gMemoryLadder[0], gMemoryLadder[1], gMemoryLadder[2], gMemoryLadder[3], 4) + "\n" +
                 "targets=" + gTargetsKey + "\n" +
                 "library_unsaved=" + (gLibraryUnsaved ? "1" : "0") + "\n" +
                 "closing=" + IntegerToString(closing ? gCloseKind : 0) + "\n" +
                 "close_since=" + IntegerToString(gCloseSince) + "\n" +
                 "close_tickets=" + tickets + "\n" +
                 "increases=" + IntegerToString(gIncreasesPassed) + "\n" +
                 "mail_sent=" + ZhList(gMailSent[0], gMailSent[1], gMailSent[2], 0, 3) + "\n" +
                 "push_sent=" + ZhList(gPushSent[0], gPushSent[1], gPushSent[2], 0, 3) + "\n" +
                 "end=1\n";
   return(text);
  }

// Says a memory the disk refused (name, the file that failed) once, and that it is written again
// once it is; a failure is tried again every minute (ZhRetryMemory).
void ZhNoteMemoryWrite(bool written, string name)
  {
   if(written)
     {
      if(gMemoryFailed)
         Alert("ZentravoGuard: its memory files in ", HostFilesFolder(), "\\", ZH_MEMORY_FOLDER, " are written again");
      gMemoryFailed = false;
      return;
     }
   if(!gMemoryFailed)
      Alert("ZentravoGuard: cannot write its memory file ", HostFilesFolder(), "\\", name, " (error ",
            GetLastError(), "); the guard goes on and tries again every minute. Until it succeeds, a restart",
            " finds an older memory and may hold until told to start over");
   gMemoryFailed = true;
   gMemoryFailedAt = GetTickCount();
  }

void ZhRetryMemory()
  {
   if(gMemoryFailed && GetTickCount() - gMemoryFailedAt >= ZH_RETRY_MS)
      ZhRemember();
  }

// Writes text to a temporary file and moves it over name; false (the error in GetLastError) when
// the disk refuses.
bool ZhWriteFile(string name, string text)
  {
   string temporary = name + ".tmp";
   ResetLastError();
   int file = FileOpen(temporary, FILE_WRITE | FILE_TXT | FILE_ANSI | FILE_SHARE_READ);
   if(file == INVALID_HANDLE)
      return(false);
   bool written = FileWriteString(file, text) > 0;
   FileFlush(file);
   FileClose(file);
   return(written && FileMove(temporary, 0, name, FILE_REWRITE));
  }

int ZhOpenToRead(string name, int common)
  {
   ResetLastError();
   return(FileOpen(name, FILE_READ | FILE_TXT | FILE_ANSI | FILE_SHARE_READ | common));
  }

// A memory file that is there but does not open: another program keeps it from the EA (gMemoryBusy).
string ZhHeldText(string name)
  {
   gMemoryBusy = true;
   return("memory file " + HostFilesFolder() + "\\" + name + " cannot be opened now (error " +
          IntegerToString(GetLastError()) + "; a backup or a virus scanner may have it open alone)");
  }

// Why a memory file of the account cannot be opened now, "" when both open (or are not there).
string ZhMemoryHeld(string account)
  {
   string why = "";
   for(int k = 0; k < 2 && why == ""; k++)
     {
      string name = k == 0 ? ZhMemoryName(account) : ZH_LIBRARY_MEMORY;
      if(!FileIsExist(name))
         continue;
      int file = ZhOpenToRead(name, 0);
      if(file == INVALID_HANDLE)
         why = ZhHeldText(name);
      else
         FileClose(file);
     }
   return(why);
  }

// Reads this account's memory into the globals it describes. Returns "" when it is there and
// whole, ZH_NO_MEMORY when there is none, or what is wrong with it (gMemoryBusy: it is there but
// cannot be opened now). What it does not set starts from nothing.
string ZhRecall(string account)
  {
   gMemoryBusy = false;
   gMemoryTargets = "";
   gLibraryUnsaved = false;
   ArrayResize(gCloseTickets, 0);
   gOpsSince = 0;
   gOpsFloor = 0;
   gBaseTime = 0;
   gWitnessAmount = 0;
   gWitnessTime = 0;
   ArrayResize(gWitnessTickets, 0);
   gWitnessMissSince = 0;
   gMemorySnapshot = 0;
   gMemoryInitial = 0;
   ArrayFill(gMemoryLadder, 0, 4, 0);
   gCloseKind = 0;
   gCloseSince = 0;
   gIncreasesPassed = 0;
   ZhNewMessageCycle();
   string name = ZhMemoryName(account);
   if(!FileIsExist(name))
      return(ZH_NO_MEMORY);
   int file = ZhOpenToRead(name, 0);
   if(file == INVALID_HANDLE)
      return(ZhHeldText(name));
   string owner = "";
   bool complete = false;
   while(!FileIsEnding(file))
     {
      string line = FileReadString(file);
      int equals = StringFind(line, "=");
      if(equals > 0)
         complete = ZhRecallLine(StringSubstr(line, 0, equals), StringSubstr(line, equals + 1), owner) || complete;
     }
   FileClose(file);
   if(!complete || owner != account)
      return("memory file " + name + " is incomplete");
   if(gCloseKind < 0 || gCloseKind > 2)
      gCloseKind = 0;
   return("");
  }

// One "key=value" line of the memory; true for the line that ends a whole file.
bool ZhRecallLine(string key, string value, string &owner)
  {
   string parts[];
   if(key == "account") owner = value;
   else if(key == "base_time") gBaseTime = (datetime)StringToInteger(value);
   else if(key == "ops_floor") gOpsFloor = StringToInteger(value);
   else if(key == "ops_since") gOpsSince = StringToDouble(value);
   else if(key == "witness_amount") gWitnessAmount = StringToDouble(value);
   else if(key == "witness_time") gWitnessTime = (datetime)StringToInteger(value);
   else if(key == "snapshot") gMemorySnapshot = StringToDouble(value);
   else if(key == "initial") gMemoryInitial = StringToDouble(value);
   else if(key == "closing") gCloseKind = (int)StringToInteger(value);
   else if(key == "close_since") gCloseSince = (datetime)StringToInteger(value);
   else if(key == "increases") gIncreasesPassed = (int)StringToInteger(value);
   else if(key == "targets") gMemoryTargets = value;
   else if(key == "library_unsaved") gLibraryUnsaved = value == "1";
   else if(key == "end") return(true);
   else
     {
      int n = StringSplit(value, ',', parts);
      for(int i = 0; i < n; i++)
        {
         if(key == "witness_tickets" && parts[i] != "")
           {
            ArrayResize(gWitnessTickets, i + 1);
            gWitnessTickets[i] = StringToInteger(parts[i]);
           }
         else if(key == "close_tickets" && parts[i] != "")
           {
            ArrayResize(gCloseTickets, i + 1);
            gCloseTickets[i] = StringToInteger(parts[i]);
           }
         else if(key == "ladder" && i < 4) gMemoryLadder[i] = (int)StringToInteger(parts[i]);
         else if(key == "mail_sent" && i < 3) gMailSent[i] = StringToInteger(parts[i]) != 0;
         else if(key == "push_sent" && i < 3) gPushSent[i] = StringToInteger(parts[i]) != 0;
        }
     }
   return(false);
  }

// The library memory: whose guard the library's settings file holds. Returns "" or, when the
// file is there but cannot be opened now, why (gMemoryBusy).
string ZhRecallLibrary()
  {
   gLibraryAccount = "";
   if(!FileIsExist(ZH_LIBRARY_MEMORY))
      return("");
   int file = ZhOpenToRead(ZH_LIBRARY_MEMORY, 0);
   if(file == INVALID_HANDLE)
      return(ZhHeldText(ZH_LIBRARY_MEMORY));
   while(!FileIsEnding(file))
     {
      string line = FileReadString(file);
      if(StringFind(line, "library_account=") == 0)
         gLibraryAccount = StringSubstr(line, 16);
     }
   FileClose(file);
   return("");
  }

// Takes the account's lock in the common folder; false while another terminal holds it.
bool ZhTakeAccountLock(string account)
  {
   if(gAccountLock != INVALID_HANDLE && gLockedAccount == account)
      return(true);
   ZhReleaseAccountLock();
   int file = FileOpen(ZhFolderFile(ZhFileName(account) + ".lock"), FILE_WRITE | FILE_BIN | FILE_COMMON);
   if(file == INVALID_HANDLE)
      return(false);
   gAccountLock = file;
   gLockedAccount = account;
   return(true);
  }

void ZhReleaseAccountLock()
  {
   if(gAccountLock != INVALID_HANDLE)
      FileClose(gAccountLock);
   gAccountLock = INVALID_HANDLE;
   gLockedAccount = "";
  }

// The data folder of another terminal that guarded the account after this one, "" when none did.
string ZhOtherHolder(string account)
  {
   int file = ZhOpenToRead(ZhFolderFile(ZhFileName(account) + ".holder"), FILE_COMMON);
   if(file == INVALID_HANDLE)
      return("");
   string holder = FileReadString(file);
   FileClose(file);
   return(holder == TerminalInfoString(TERMINAL_DATA_PATH) ? "" : holder);
  }

// This terminal guards the account from now on.
void ZhNoteHolder()
  {
   int file = FileOpen(ZhFolderFile(ZhFileName(gAccount) + ".holder"), FILE_WRITE | FILE_TXT | FILE_ANSI | FILE_COMMON);
   if(file == INVALID_HANDLE)
      return;
   FileWriteString(file, TerminalInfoString(TERMINAL_DATA_PATH) + "\n");
   FileClose(file);
  }
//+------------------------------------------------------------------+
