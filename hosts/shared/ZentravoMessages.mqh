//+------------------------------------------------------------------+
//| ZentravoMessages.mqh - what the EA tells the trader: the "NOT     |
//| PROTECTING" warnings, and the e-mails and pushes of its own       |
//| thresholds                                                        |
//+------------------------------------------------------------------+

// Why the EA could not close a trade now, "" when it could: DLL imports, the terminal's own
// reasons (connection, AutoTrading, the EA's live trading), and the account's permissions - an
// investor-password login may not trade, and a broker may let no expert advisor trade.
string ZhCannotAct()
  {
   if(!HostDllsAllowed())
      return(TerminalInfoInteger(TERMINAL_DLLS_ALLOWED) == 0 ?
             "DLL imports are off in the terminal: allow them in Tools - Options - Expert Advisors and in the EA's properties (Common tab; MetaTrader 5: Dependencies tab)" :
             "DLL imports are not allowed for the EA: allow them in its properties (Common tab; MetaTrader 5: Dependencies tab)");
   string why = HostCannotAct();
   if(why != "")
      return(why);
   if(AccountInfoInteger(ACCOUNT_TRADE_ALLOWED) == 0)
      return("trading is not allowed on this account (logged in with the investor password?)");
   if(AccountInfoInteger(ACCOUNT_TRADE_EXPERT) == 0)
      return("the broker lets no expert advisor trade this account");
   return("");
  }

#define ZH_BLOCKED_KIND "blocked"  // the kind of warning of a close the terminal refuses
#define ZH_PUSH_CHARACTERS 255     // the most a push carries

// Never silently unprotected: on every event the EA asks whether it could close trades, whether
// it holds, and whether a close goes through. While it cannot, holds or is refused, the panel says
// so with the reason, and a warning goes out at once and then every BlockedAlertSeconds: an alert,
// an e-mail and a push where those are on. A reason that keeps its kind and only changes its
// figures (an amount, the symbol refusing) is no new warning. None of it calls the library.
void ZhWatchAbility()
  {
   ZhCheckPushSetup();
   ZhSendWaitingPush();
   string kind = "";
   string why = ZhWarning(kind);
   if(why == "")
     {
      // A close that was refused and then went through says so with its cycle's report.
      if(gNotProtecting != "" && gNotProtectingKind != ZH_BLOCKED_KIND)
         Alert("ZentravoGuard: protecting again (", gNotProtecting, " no longer)");
      gNotProtecting = "";
      gNotProtectingKind = "";
      return;
     }
   bool news = kind != gNotProtectingKind;
   gNotProtecting = why;
   gNotProtectingKind = kind;
   if(!news && GetTickCount() - gNotProtectingAt < (uint)BlockedAlertSeconds * 1000)
      return;
   gNotProtectingAt = GetTickCount();
   string warning = "ZentravoGuard NOT PROTECTING: " + why;
   ZhTell(warning, warning);
  }

// Why the EA cannot protect the account now, "" while it can, and the kind of that reason. A stop
// loss or take profit hit that is not carried out yet leads every reason: "stop loss reached -
// close-all pending: <reason>"; a close the terminal refuses is "... - close-all blocked: <reason>".
string ZhWarning(string &kind)
  {
   string hit = gCloseKind == 1 ? "stop loss" : "take profit";
   bool pending = ZhClosePending();
   string why = ZhCannotAct();
   if(why != "")
     {
      kind = (pending ? "pending " : "") + why;
      return(pending ? hit + " reached - close-all pending: " + why : why);
     }
   if(gState == ZH_HOLDING)
     {
      kind = "hold " + IntegerToString(gHoldKind) + (pending ? " pending" : "");
      return(pending ? hit + " reached - close-all pending: " + gHolding : gHolding);
     }
   if(gState == ZH_CLOSING && (gCloseHeld || ZhBlockShown()))
     {
      kind = ZH_BLOCKED_KIND;
      return(hit + " reached - close-all " + (gCloseHeld ? "held: " : "blocked: ") + gBlockedReason);
     }
   return("");
  }

// An alert, and the same by e-mail and push where those are on (cut to what a push carries). A
// push the terminal's limits keep back waits for the next check (the newest one waiting). MQL5's
// GetLastError keeps an older error until it is reset: reset before each call whose error is
// printed.
void ZhTell(string subject, string text)
  {
   Alert(text);
   ResetLastError();
   if(TerminalInfoInteger(TERMINAL_EMAIL_ENABLED) != 0 && !SendMail(subject, text + "\n"))
      Print("ZentravoGuard: e-mail not sent, error ", GetLastError());
   if(PushNotifications && TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED) != 0 &&
      TerminalInfoInteger(TERMINAL_MQID) != 0)
     {
      gPushWaiting = StringSubstr(text, 0, ZH_PUSH_CHARACTERS);
      ZhSendWaitingPush();
     }
  }

void ZhSendWaitingPush()
  {
   if(gPushWaiting == "" || !ZhPushAllowed())
      return;
   ZhPushTried();
   ResetLastError();
   if(!SendNotification(gPushWaiting))
      Print("ZentravoGuard: push not sent, error ", GetLastError());
   gPushWaiting = "";
  }

// The guard stops with the EA (ZhDeinit) or with inputs the terminal refuses: said on every
// channel, with a close-all it leaves undone.
void ZhSayStopped(string why)
  {
   string text = "ZentravoGuard stopped (" + why + "): the account is not protected";
   if(ZhClosePending())
      text = text + "; " + (gCloseKind == 1 ? "stop loss" : "take profit") + " reached - a close-all is pending";
   ZhTell(text, text);
  }

string ZhStopReason(int reason)
  {
   switch(reason)
     {
      case REASON_PROGRAM: return("it removed itself");
      case REASON_REMOVE: return("removed from the chart");
      case REASON_CHARTCLOSE: return("its chart was closed");
      case REASON_TEMPLATE: return("a template was applied to its chart");
      case REASON_CLOSE: return("the terminal closes");
     }
   return("reason " + IntegerToString(reason));
  }

// Said once as the EA is loaded: with e-mail off and no pushes, no warning leaves this screen.
void ZhSayWhereWarningsGo()
  {
   if(TerminalInfoInteger(TERMINAL_EMAIL_ENABLED) == 0 &&
      !(PushNotifications && TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED) != 0))
      Alert("ZentravoGuard: e-mail is off in the terminal (Tools - Options - Email) and PushNotifications is",
            " false: its warnings reach this screen only");
  }

// The library's notice line (dashboard row 15) says when its files are not being saved, or where
// it kept a settings file it could not read: passed on once on every channel. Whether it saves is
// kept in the memory too, so a restart restores from the memory what the library could not save.
void ZhWatchNotice()
  {
   bool unsaved = StringFind(gNotice, "Settings not saved") == 0 || StringFind(gNotice, "Settings pending") == 0;
   bool trouble = StringFind(gNotice, "Settings not saved") == 0 || StringFind(gNotice, "Unread settings kept") == 0 ||
                  StringFind(gNotice, "Statistics file not written") == 0;
   if(trouble && gNotice != gNoticeSaid)
      ZhTell("ZentravoGuard: " + gNotice, "ZentravoGuard: the library's notice says: " + gNotice);
   gNoticeSaid = trouble ? gNotice : "";
   if(unsaved != gLibraryUnsaved && gAccount != "" && (gState == ZH_RUNNING || gState == ZH_CLOSING))
     {
      gLibraryUnsaved = unsaved;
      ZhRemember();
     }
  }

// Without a MetaQuotes ID every push fails: said once, whatever the guard is doing, and again if
// the ID goes missing after it was there; no push is tried meanwhile.
void ZhCheckPushSetup()
  {
   bool missing = PushNotifications && TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED) != 0 &&
                  TerminalInfoInteger(TERMINAL_MQID) == 0;
   if(missing && !gNoMetaQuotesIdAlerted)
      Alert("ZentravoGuard: push notifications are on, but the terminal has no MetaQuotes ID (Tools - Options - Notifications); no push is sent");
   gNoMetaQuotesIdAlerted = missing;
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

// The library never decides that a message is due: the EA compares its own thresholds. A message
// sent is marked in the memory, so a restart in the same cycle does not send it again.
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
   bool push = PushNotifications && TerminalInfoInteger(TERMINAL_NOTIFICATIONS_ENABLED) != 0 &&
               TerminalInfoInteger(TERMINAL_MQID) != 0;
   bool marked = false;
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
      marked = marked || gMailSent[kind] || gPushSent[kind];
     }
   if(marked)
      ZhRemember();
  }
//+------------------------------------------------------------------+
