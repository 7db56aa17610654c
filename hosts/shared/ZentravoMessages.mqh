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
             "DLL imports are off in the terminal: allow them in Tools - Options - Expert Advisors" :
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

// Never silently unprotected: on every event the EA asks whether it could close trades, and
// whether it holds. While it cannot or does, the panel says "NOT PROTECTING" with the reason, and
// a warning goes out at once and then every BlockedAlertSeconds: an alert, and an e-mail and a
// push when those are on. None of it calls the library. A close-all that the EA cannot carry out
// says so in every warning: "stop loss reached - close-all pending: <reason>".
void ZhWatchAbility()
  {
   ZhCheckPushSetup();
   string why = ZhCannotAct();
   bool pending = gState == ZH_CLOSING || (gState == ZH_HOLDING && gHeldState == ZH_CLOSING && gHoldKind == ZH_HOLD_BALANCE);
   if(why != "" && pending)
     {
      string hit = gCloseKind == 1 ? "stop loss" : "take profit";
      why = hit + " reached - close-all pending: " + why;
     }
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
