// The named sizes and protocol numbers that every layer reads: how large the host's buffers and
// the state's tables are, and the numbers a host sees. The public header is the host's copy of
// some of them; the static_asserts below keep the two the same.
#pragma once

#include "zentravo.h"

namespace zt::core {

// ---- The host's buffers ------------------------------------------------------------------------

constexpr int kTextCapacity = 512;  // bytes of every text buffer a host passes, NUL included
static_assert(kTextCapacity == ZT_TEXT_CAPACITY, "the host's buffer size is part of the contract");

// ---- The target tables -------------------------------------------------------------------------

constexpr int kTargetSets = 8;     // sets of take profits / drawdown targets
constexpr int kSetPositions = 32;  // amounts in one set
constexpr int kListEntries = 8;    // increase targets and stop losses

// ---- Close cycles ------------------------------------------------------------------------------

constexpr int kCycleSlots = 512;  // close cycles kept before the statistics file is written

// ---- Texts kept in the state -------------------------------------------------------------------

constexpr int kSettingsPathSize = 256;  // bytes, NUL included, as the terminal's path buffers
// A file named from the settings path: its stem, what the file is ("-stat-", "-unread-"), the
// time "YYYY.MM.DD hh-mm", a "-NN" for a name already taken, and its extension.
constexpr int kSideFilePathSize = kSettingsPathSize + 40;
constexpr int kHostTagSize = 20;        // up to 19 characters shown in the dashboard title
constexpr int kSymbolSize = 16;         // up to 15 characters of the chart symbol
constexpr int kServerNameSize = 256;    // the terminal title's server text

// ---- The dashboard grid ------------------------------------------------------------------------

constexpr int kFirstColumnRows = 16;   // column 0: row 0 the title, row 15 the notice line
constexpr int kSecondColumnRows = 14;  // every other column number

// ---- SetEquity's answers -----------------------------------------------------------------------

enum UpdateResult : int {
  NoAction = 0,
  StopLossHit = 1,      // monitoring mode: close all trades
  IncreaseReached = 1,  // snapshot mode: an increase target was reached, the sets advanced
  TakeProfitHit = 2,    // monitoring mode: close all trades
  DrawdownStep = 3,     // monitoring mode: the drawdown target moved one position on
};
static_assert(NoAction == ZT_NO_ACTION && StopLossHit == ZT_STOP_LOSS_HIT &&
                  IncreaseReached == ZT_INCREASE_REACHED && TakeProfitHit == ZT_TAKE_PROFIT_HIT &&
                  DrawdownStep == ZT_DRAWDOWN_STEP,
              "SetEquity's results are the public header's numbers");

// ---- SetEquity's modes -------------------------------------------------------------------------

constexpr int kSnapshotMode = 1;  // a mode of this or more rolls the snapshot; less monitors

}  // namespace zt::core
