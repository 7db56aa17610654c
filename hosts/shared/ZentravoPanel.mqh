//+------------------------------------------------------------------+
//| ZentravoPanel.mqh - the panel on the chart: the library's two     |
//| columns and the EA's state line under them                        |
//+------------------------------------------------------------------+

// The panel, at 96 DPI (ZhScaled): one column of label and value cells under the other, then
// the state line, all within this width. A tiled chart 800 px wide shows all of it at 100 % and
// 125 % display scaling; at 150 % (900 px) it still shows every label and the stop loss, and
// only the ends of the longest values and state lines pass 800 px. Courier New 8 takes 6.4 px a
// character: a value cell at x 200 holds 61 characters, the longest the library writes for
// 7-digit amounts, and the state line holds ZH_STATE_COLUMNS characters; a longer one (a
// "holding" reason runs to some 300) wraps onto up to ZH_STATE_LINES lines.
#define ZH_PANEL_WIDTH   600
#define ZH_STATE_COLUMNS 90
#define ZH_STATE_LINES   4
// Rows of 14 px: the first column's 16 (0-15), the second column's 14 (16-29), the state line.
#define ZH_SECOND_COLUMN_ROW 16
#define ZH_STATE_ROW         30

string ZhStateText()
  {
   if(gNotProtecting != "" && gNotProtectingKind != ZH_BLOCKED_KIND)
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
   if(!gTimerOn)
      return("running on ticks only (the terminal gave the EA no timer; it tries again)");
   return("running");
  }

// The library's two columns of label and value, the second (rows 0-13) under the first (rows
// 0-15), and the EA's own state line under them. Labels at x 10, values at x 200, past the
// longest label of either column, so both columns line up. With DLL imports off only the state
// line is drawn: the columns' texts come from the library.
void ZhDraw()
  {
   if(HostDllsAllowed())
     {
      for(int row = 0; row < 16; row++)
        {
         string label = ZtLabel(row, 0);
         if(row == 15)
            gNotice = label;  // the library's notice line (ZhWatchNotice)
         ZhPut("ZT_L0_" + IntegerToString(row), 10, 20 + row * 14, label, clrSilver);
         ZhPut("ZT_V0_" + IntegerToString(row), 200, 20 + row * 14, ZtValue(row, 0), clrWhite);
        }
      for(int row = 0; row < 14; row++)
        {
         int y = 20 + (ZH_SECOND_COLUMN_ROW + row) * 14;
         ZhPut("ZT_L1_" + IntegerToString(row), 10, y, ZtLabel(row, 1), clrSilver);
         ZhPut("ZT_V1_" + IntegerToString(row), 200, y, ZhSecondColumnValue(row), clrWhite);
        }
     }
   bool alarm = gState == ZH_CLOSING || gNotProtecting != "";
   ZhPutState("Guard: " + ZhStateText(), alarm ? clrRed : clrWhite);
   ChartRedraw(0);
  }

// The panel's own labels by name: ObjectDelete(chart, name) reads the same in both languages,
// while ObjectName's chart form is not in the 32-bit reference.
void ZhErasePanel()
  {
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
      int width = line == 0 ? ZH_STATE_COLUMNS : ZH_STATE_COLUMNS - StringLen(indent);
      string part = text;
      text = "";
      if(StringLen(part) > width && line == ZH_STATE_LINES - 1)
         part = StringSubstr(part, 0, width - 3) + "...";
      else if(StringLen(part) > width)
        {
         int cut = width;
         while(cut > 0 && StringGetCharacter(part, cut) != ' ')
            cut--;
         if(cut == 0)
            cut = width;
         text = StringSubstr(part, cut);
         part = StringSubstr(part, 0, cut);
         while(StringLen(text) > 0 && StringGetCharacter(text, 0) == ' ')
            text = StringSubstr(text, 1);
        }
      ZhPut(name, 10, 20 + (ZH_STATE_ROW + line) * 14, line == 0 ? part : indent + part, colour);
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
