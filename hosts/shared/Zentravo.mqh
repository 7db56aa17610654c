//+------------------------------------------------------------------+
//| Zentravo.mqh - the Zentravo equity guard's exports, MQL4 and MQL5 |
//+------------------------------------------------------------------+
// Written against include/zentravo.h and reviewed line by line against it. One file for both
// terminals: it keeps to what MQL4 and MQL5 share (#import, int, double, uchar arrays), and each
// terminal's package puts it in its own Include folder, where `#include <Zentravo.mqh>` finds it.
// Its build checks it by translating it, with the EAs, into C++ that runs against the library;
// MetaEditor compiles it on the trader's machine (F7 on the EA). Put zentravo.dll
// into <data folder>\MQL4\Libraries (the 32-bit build) or <data folder>\MQL5\Libraries (the
// 64-bit build) and allow DLL imports; the library keeps zentravo.ini and its statistics files
// beside itself there.
//
// Types, as the header fixes them: int is a 32-bit signed integer, double an 8-byte IEEE value.
// Texts cross the boundary as single-byte, NUL-terminated strings: MQL strings are Unicode, so
// every text goes in or out through a uchar array (StringToCharArray / CharArrayToString), and
// every text-out array must hold ZT_TEXT_CAPACITY bytes. The helpers below do both.
//
// The exports are the same in the 64-bit library: int stays 32 bits wide. The chart handle a
// 64-bit terminal reports is a long; window handles fit in 32 bits, so pass
// (int)ChartGetInteger(0, CHART_WINDOW_HANDLE). Account figures come from
// AccountInfoDouble(ACCOUNT_EQUITY), (ACCOUNT_MARGIN) and (ACCOUNT_MARGIN_FREE).

#define ZT_TEXT_CAPACITY 512      // bytes of every text buffer, terminating zero included

// Results of SetEquity. In snapshot mode (mode 1) the value 1 means ZT_INCREASE_REACHED.
#define ZT_NO_ACTION          0
#define ZT_STOP_LOSS_HIT      1
#define ZT_INCREASE_REACHED   1
#define ZT_TAKE_PROFIT_HIT    2
#define ZT_DRAWDOWN_STEP      3

#import "zentravo.dll"
   double InitZT(int chartHandle, uchar &hostTag[], double &initialEquity,
                 double equity, double margin, double freeMargin,
                 uchar &takeProfits[], uchar &drawdownTargets[],
                 uchar &increaseTargets[], uchar &stopLosses[]);
   int    SetEquity(double equity, double margin, double freeMargin, int mode);
   void   SetLastValues(double snapshot, int tpSet, int tpIndex, int ddSet, int ddIndex);
   int    SetTTC(int closeDurationMs, double equity);
   void   SetEmailProp(double equityTarget, double marginPercent, double drawdown);
   double GetEquitySnap();
   void   GetIndex(int &tpSet, int &tpIndex, int &ddSet, int &ddIndex);
   void   GetAlert(int kind, uchar &text[]);
   void   GetEmailSubject(int kind, uchar &text[]);
   void   GetEmailText(int part, int kind, double increaseTarget, uchar &text[]);
   void   GetLabel(int row, int column, uchar &text[]);
   void   GetValue(int row, int column, uchar &text[]);
#import

// Starts the guard (see InitZT in the header). The texts are converted to the terminal's ANSI
// code page; hostTag is at most 19 characters. Returns the snapshot, 0.0 when not started.
double ZtInit(int chartHandle, string hostTag, double &initialEquity,
              double equity, double margin, double freeMargin,
              string takeProfits, string drawdownTargets,
              string increaseTargets, string stopLosses)
  {
   uchar tag[], tp[], dd[], inc[], sl[];
   StringToCharArray(hostTag, tag);
   StringToCharArray(takeProfits, tp);
   StringToCharArray(drawdownTargets, dd);
   StringToCharArray(increaseTargets, inc);
   StringToCharArray(stopLosses, sl);
   return(InitZT(chartHandle, tag, initialEquity, equity, margin, freeMargin, tp, dd, inc, sl));
  }

// The text helpers clear a full-size buffer first: an operation that has nothing to say writes
// nothing, and the helper then returns "".
string ZtAlert(int kind)
  {
   uchar text[ZT_TEXT_CAPACITY];
   ArrayFill(text, 0, ZT_TEXT_CAPACITY, 0);   // ArrayInitialize has no uchar form
   GetAlert(kind, text);
   return(CharArrayToString(text));
  }

string ZtEmailSubject(int kind)
  {
   uchar text[ZT_TEXT_CAPACITY];
   ArrayFill(text, 0, ZT_TEXT_CAPACITY, 0);   // ArrayInitialize has no uchar form
   GetEmailSubject(kind, text);
   return(CharArrayToString(text));
  }

// One body line, ending in "\n".
string ZtEmailText(int part, int kind, double increaseTarget)
  {
   uchar text[ZT_TEXT_CAPACITY];
   ArrayFill(text, 0, ZT_TEXT_CAPACITY, 0);   // ArrayInitialize has no uchar form
   GetEmailText(part, kind, increaseTarget, text);
   return(CharArrayToString(text));
  }

string ZtLabel(int row, int column)
  {
   uchar text[ZT_TEXT_CAPACITY];
   ArrayFill(text, 0, ZT_TEXT_CAPACITY, 0);   // ArrayInitialize has no uchar form
   GetLabel(row, column, text);
   return(CharArrayToString(text));
  }

string ZtValue(int row, int column)
  {
   uchar text[ZT_TEXT_CAPACITY];
   ArrayFill(text, 0, ZT_TEXT_CAPACITY, 0);   // ArrayInitialize has no uchar form
   GetValue(row, column, text);
   return(CharArrayToString(text));
  }
//+------------------------------------------------------------------+
