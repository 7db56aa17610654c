//+------------------------------------------------------------------+
//| ZentravoClose.mqh - the close-all cycle: passes until the account |
//| is flat, closes in pieces the symbol takes, the terminal's        |
//| refusals named, the cycle reported once                           |
//+------------------------------------------------------------------+

#define ZH_NEW_TRADE_PASSES 3  // passes in a row that may meet trades opened meanwhile before the EA holds
#define ZH_PIECES 100          // deals one pass sends for one position at most
#define ZH_VOLUME_EPSILON 0.00000001  // lots closer than this are the same volume

// A stop loss or take profit was hit: the close decides on the trades open now.
void ZhBeginClose(int kind)
  {
   gState = ZH_CLOSING;
   gCloseKind = kind;
   gCloseStarted = GetTickCount();
   gCloseSince = TimeLocal();
   HostOpenTickets(gCloseTickets);
   gCloseResumed = false;
   ZhStartPasses();
  }

void ZhStartPasses()
  {
   gBlockedReason = "";
   ArrayResize(gNewTickets, 0);
   gLeftSymbols = "";
   gClosePasses = 0;
   gNewTradePasses = 0;
   gNewSymbols = "";
   gCloseHeld = false;
  }

// A close-all is decided and not reported yet: under way, or held by a hold.
bool ZhClosePending()
  {
   return(gCloseKind != 0 && (gState == ZH_CLOSING || (gState == ZH_HOLDING && gHeldState == ZH_CLOSING)));
  }

// A close-all was under way when the EA stopped (a restart, a crash, a reboot between two passes):
// it goes on before the guard monitors again, with the trades it decided on, which the memory
// names (and what remains of them): a trade opened while the EA was off is no part of it. A
// memory that names none closes everything, as a close does. The cycle is reported once, when
// its trades are closed.
void ZhResumeClose()
  {
   gState = ZH_CLOSING;
   gCloseStarted = GetTickCount() - (uint)MathMin(MathMax(TimeLocal() - gCloseSince, 0), 86400) * 1000;
   gCloseResumed = ArraySize(gCloseTickets) > 0;
   ZhStartPasses();
  }

// A close decided before a hold goes on while the guard holds: the decision is made, and closing
// its own trades needs nothing of the library. Not while the hold is about whose account this is
// (a login not known yet, another terminal guarding it, another account in the terminal).
bool ZhCloseGoesOn()
  {
   return(gState == ZH_HOLDING && ZhClosePending() && gHoldKind != ZH_HOLD_LOGIN &&
          gHoldKind != ZH_HOLD_TERMINAL && gHoldKind != ZH_HOLD_ACCOUNT);
  }

// One close pass; true when nothing the close must end is left. What a partial close leaves of a
// trade reaches the memory at once: a restart must know it as the close's own.
bool ZhClosePass()
  {
   gNewThisPass = false;
   int known = ArraySize(gCloseTickets);
   bool flat = gCloseHeld ? HostCountsFlat() : HostCloseAll();
   if(ArraySize(gCloseTickets) != known)
      ZhRemember();
   if(!gCloseHeld)
     {
      gClosePasses++;
      gNewTradePasses = gNewThisPass ? gNewTradePasses + 1 : 0;
      if(gNewTradePasses >= ZH_NEW_TRADE_PASSES)
        {
         // Another program keeps opening trades as fast as they are closed: closing again every
         // event would only pay the spread. The EA stops, says what keeps opening, and holds
         // until the account is flat by other hands.
         gCloseHeld = true;
         gBlockedReason = "new trades keep opening on " + gNewSymbols + "; held, close them by hand";
         gBlockedPassing = false;
        }
     }
   return(flat);
  }

// The close under way. The cycle is reported (SetTTC, alert, snapshot roll) only once the close's
// trades are closed and the history explains the balance: a roll onto an equity that still holds
// open trades would start the next cycle on a floating result, one onto a balance the history does
// not explain yet could count a late deposit as profit. Monitoring SetEquity is not called
// meanwhile, so no cycle is counted twice. While the close cannot go through, ZhWatchAbility warns.
void ZhContinueClose()
  {
   if(!ZhClosePass() || !ZhBalanceExplained())
      return;
   // The equity the closed trades left: balance and credit, less the operations. A resumed close
   // may leave trades opened while the EA was off; their floating result is not this cycle's.
   double equityLeft = ZhBalanceAndCredit() - gOpsSince;
   SetTTC((int)(GetTickCount() - gCloseStarted), equityLeft);
   string report = ZtAlert(gCloseKind);
   ZhTell("ZentravoGuard: " + report, report);
   if(gLeftSymbols != "")
      Alert("ZentravoGuard: trades on ", gLeftSymbols, " opened while the EA was off are no part of the close-all",
            " and stay open; the guard judges them from the new snapshot");
   if(SetEquity(equityLeft, 0, 0, 1) == ZT_INCREASE_REACHED)
     {
      gIncreasesPassed++;
      Alert(ZtAlert(3));
     }
   ZhNewMessageCycle();
   gBlockedReason = "";
   gBlockedPassing = false;
   gCloseHeld = false;
   gCloseKind = 0;
   gCloseResumed = false;
   gState = ZH_RUNNING;
   ZhRemember();
  }

bool ZhListed(long &list[], long ticket)
  {
   for(int i = 0; i < ArraySize(list); i++)
      if(list[i] == ticket)
         return(true);
   return(false);
  }

void ZhAddTicket(long &list[], long ticket)
  {
   int n = ArraySize(list);
   ArrayResize(list, n + 1);
   list[n] = ticket;
  }

// A close pass met this ticket: whether the close ends it. The trades the close decided on are its
// own, and so is what a partial close leaves of one (MT4 reopens it under a new ticket "from #" the
// old one: sameAs). One opened since, after the first pass, is a trade opened meanwhile (by another
// EA, or a kept order that filled): it is closed too, and counted - unless the close was resumed
// after a restart: a trade opened while the EA was off is no part of the decision, and stays.
bool ZhNoteTicket(long ticket, string symbol, long sameAs)
  {
   if(ZhListed(gCloseTickets, ticket))
      return(true);
   if(sameAs != 0 && ZhListed(gCloseTickets, sameAs))
     {
      ZhAddTicket(gCloseTickets, ticket);
      return(true);
     }
   if(gCloseResumed)
     {
      if(StringFind(gLeftSymbols, symbol) < 0)
         gLeftSymbols = gLeftSymbols == "" ? symbol : gLeftSymbols + ", " + symbol;
      return(false);
     }
   if(ZhListed(gNewTickets, ticket))
      return(true);
   ZhAddTicket(gNewTickets, ticket);
   if(gClosePasses == 0 || (sameAs != 0 && ZhListed(gNewTickets, sameAs)))
      return(true);
   gNewThisPass = true;
   if(StringFind(gNewSymbols, symbol) < 0)
      gNewSymbols = gNewSymbols == "" ? symbol : gNewSymbols + ", " + symbol;
   return(true);
  }

// Whether the close must end this trade before it counts as done: every trade, unless the close
// was resumed after a restart (then its own only).
bool ZhCloseOwns(long ticket, long sameAs)
  {
   return(!gCloseResumed || ZhListed(gCloseTickets, ticket) || (sameAs != 0 && ZhListed(gCloseTickets, sameAs)));
  }

// The order an MT4 order comment "from #N" says this one remains of: N, or 0.
long ZhRemainderOf(string comment)
  {
   if(StringFind(comment, "from #") != 0)
      return(0);
   return(StringToInteger(StringSubstr(comment, 6)));
  }

// The volume to close of a position of volume lots on symbol in one deal: all of it when the
// symbol takes that in one deal, else the most it takes (SYMBOL_VOLUME_MAX, on SYMBOL_VOLUME_STEP),
// never leaving a rest below its least volume. A netting position of 300 lots with a 100-lot
// maximum closes in three deals.
double ZhClosePiece(string symbol, double volume)
  {
   double most = SymbolInfoDouble(symbol, SYMBOL_VOLUME_MAX);
   double step = SymbolInfoDouble(symbol, SYMBOL_VOLUME_STEP);
   double least = SymbolInfoDouble(symbol, SYMBOL_VOLUME_MIN);
   if(most <= 0 || volume <= most + ZH_VOLUME_EPSILON)
      return(volume);
   if(step <= 0)
      step = least > 0 ? least : 0.01;
   double piece = MathFloor(most / step + ZH_VOLUME_EPSILON) * step;
   if(volume - piece < least - ZH_VOLUME_EPSILON)
      piece = MathFloor((volume - least) / step + ZH_VOLUME_EPSILON) * step;
   // Three steps of 0.1 are 0.30000000000000004 in binary: the volume sent is the one the step's
   // decimals write.
   return(NormalizeDouble(MathRound(piece / step) * step, ZhDecimalsOf(step)));
  }

// The decimals a volume step is written with (0.01: 2, 0.1: 1, 1: 0), at most 8.
int ZhDecimalsOf(double step)
  {
   int decimals = 0;
   double scaled = step;
   while(decimals < 8 && MathAbs(scaled - MathRound(scaled)) > 0.000001)
     {
      scaled = scaled * 10;
      decimals++;
     }
   return(decimals);
  }

// Whether the close is shown as blocked (on the panel and in the warnings): a refusal that the next
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
      case 10039: return("a close of the position is already under way");
      case 10044: return("only closing allowed");
     }
   return("");
  }

// Refusals that a later try usually overcomes: the price moved, the server or context was busy.
bool ZhRefusalPasses(int code)
  {
   return(code == 4 || code == 8 || code == 128 || code == 129 || code == 135 || code == 136 ||
          code == 137 || code == 138 || code == 141 || code == 146 || code == 10004 ||
          code == 10012 || code == 10020 || code == 10021 || code == 10024 || code == 10028 || code == 10039);
  }

// Names a refused close on the panel and in the warnings: its meaning, its number, and the symbol
// where there is one ("market closed (132) for USDJPY").
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
//+------------------------------------------------------------------+
