// mql_records.h - what the scripted terminal keeps: orders and deals, the kinds of bookings, a
// symbol's quote and trading rules, the EA's trade calls, mails, global variables, open files and
// chart objects, and who has a file open across terminals.
#pragma once

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "exports.h"
#include "mql_types.h"
#include "zentravo.h"

namespace mql {

// The exports of zentravo.so are the shared table of tools/common/exports.h, typed from
// include/zentravo.h: an #import line whose parameters differ from the library's does not compile
// against it.
using ZentravoExports = zt::tools::Exports;

struct Order {
  int ticket;
  string symbol;
  int type;  // OP_*
  double lots;
  double profit;  // floating result in the account currency
  long long openTime;
  long long closeTime = 0;  // in the history: when it closed or was booked (seconds since 1970)
  string comment =
      "";  // MQL4's "from #N" on what a partial close left open, "to #N" on the part closed
  double swap = 0.0, commission = 0.0;  // charged to the trade; the balance takes them at the close
  // MQL5: a market order placed and not filled yet (an exchange's "placed", 10008), listed among
  // the orders; closes names the position a close of it closes (0: a deal on its symbol).
  bool placed = false;
  int closes = 0;
  bool canceled = false;  // MQL5: a deal in the history the broker canceled (its result zeroed)
  // What the trade adds to the equity while open, and to the balance and the history once closed.
  double result() const { return profit + swap + commission; }
};

// Kinds of history records beside the trade types: MQL4 files balance operations as 6 and credit
// as 7; the 64-bit terminal also books bonus, corrections, charges, the agent commission an
// introducing broker receives, interest, dividends and tax (the double's own numbers), and may
// book a type a later terminal adds (BOOK_UNLISTED, a deal type no EA knows).
enum BookingKind {
  BOOK_BALANCE = 6,
  BOOK_CREDIT = 7,
  BOOK_BONUS = 8,
  BOOK_CORRECTION = 9,
  BOOK_CHARGE = 10,
  BOOK_AGENT_COMMISSION = 11,
  BOOK_INTEREST = 12,
  BOOK_DIVIDEND = 13,
  BOOK_TAX = 14,
  BOOK_UNLISTED = 99
};

struct Quote {
  double bid, ask, point;
  int digits;
  // How the broker executes the symbol and which filling modes (SYMBOL_FILLING_* flags) it
  // takes: a request in another mode is refused. Most market-execution symbols take FOK.
  mql5::ENUM_SYMBOL_TRADE_EXECUTION execution = mql5::SYMBOL_TRADE_EXECUTION_MARKET;
  uint fillings = mql5::SYMBOL_FILLING_FOK;
  // The volumes a deal may have, in lots: from the least to the most, on the step.
  double volumeMin = 0.01, volumeMax = 100.0, volumeStep = 0.01;
  // An exchange that answers a market order - a close, or a deal against a netting position -
  // with "placed" (10008) and fills it later (executePlaced).
  bool placesCloses = false;
  // Instant and Request execution fill a market order Fill or Kill only; Market execution as the
  // symbol's flags allow; Exchange execution also with Return.
  bool allows(mql5::ENUM_ORDER_TYPE_FILLING filling) const {
    if (execution == mql5::SYMBOL_TRADE_EXECUTION_INSTANT ||
        execution == mql5::SYMBOL_TRADE_EXECUTION_REQUEST)
      return filling == mql5::ORDER_FILLING_FOK;
    if (filling == mql5::ORDER_FILLING_FOK) return (fillings & mql5::SYMBOL_FILLING_FOK) != 0;
    if (filling == mql5::ORDER_FILLING_IOC) return (fillings & mql5::SYMBOL_FILLING_IOC) != 0;
    return execution == mql5::SYMBOL_TRADE_EXECUTION_EXCHANGE;  // Return
  }
  // A volume the symbol takes: within its limits and on its step.
  bool takes(double volume) const {
    const double steps = volume / volumeStep;
    return volume >= volumeMin - 1e-9 && volume <= volumeMax + 1e-9 &&
           std::fabs(steps - std::round(steps)) < 1e-6;
  }
};

// Who has a file open, process-wide as the operating system keeps it: two terminals on one
// computer meet in the common files folder, and a file opened without the share flags is theirs
// alone until it is closed.
struct FileUse {
  const void* terminal;
  int handle;
  int flags;  // FILE_READ, FILE_WRITE, FILE_SHARE_READ, FILE_SHARE_WRITE as opened
};
inline std::map<string, std::vector<FileUse>>& filesInUse() {
  static std::map<string, std::vector<FileUse>> uses;
  return uses;
}

struct TradeCall {  // every OrderClose / OrderDelete the EA made, in order
  string function;
  int ticket;
  double price;
  int slippage;
  int error;          // 0 when it went through
  double lots = 0.0;  // the volume asked for, exactly as the EA passed it
};

struct Mail {
  string subject, body;
};

// A terminal global variable (F3): its value, when a program last set, read or checked it (the
// terminal deletes it four weeks later), and whether it lives only while the terminal runs
// (GlobalVariableTemp). It reads as its value.
struct Global {
  double value = 0.0;
  long long accessed = 0;  // TimeLocal() of the last access
  bool temporary = false;
  operator double() const { return value; }
};

// A file an EA has open in the sandbox: read whole at opening, written whole at a flush or close.
struct OpenFile {
  string path;
  bool writing = false;
  string text;
  size_t at = 0;  // where the next read starts
};

struct ChartObject {
  int type = 0;
  std::map<int, long long> integers;
  std::map<int, string> strings;
};

}  // namespace mql
