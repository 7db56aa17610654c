#include "texts/alerts.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "core/guard_state.h"
#include "core/text_builder.h"

namespace zt::texts {
namespace {

using core::Append;
using core::AppendFixed;
using core::AppendInt;
using core::guard;
using core::StartText;
using core::TextBuilder;

// Smallest divisor of the margin-used percentage: a free margin below it (zero or negative once
// the account is over-committed) is replaced by it, so the percentage stays finite.
constexpr double kSmallestFreeMargin = 0.001;

// A text field of the state up to its NUL, never past the field.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  const void* end = std::memchr(field, '\0', N);
  return {field, end == nullptr ? N : static_cast<std::size_t>(static_cast<const char*>(end) - field)};
}

// "%0.2f", "%0.1f", "%0.0f".
void Amount(TextBuilder& text, double value) { AppendFixed(text, value, 2); }
void Tenths(TextBuilder& text, double value) { AppendFixed(text, value, 1); }
void Whole(TextBuilder& text, double value) { AppendFixed(text, value, 0); }

double CloseSeconds() { return static_cast<double>(guard.closeDurationMs) / 1000.0; }

// "Prev Snap $%0.2f, SL: -$%0.2f, New Snap $%0.2f ($%0.2f), TP $%0.2f, TTC %0.1fs,
//  ZT CloseAll Stop Loss Complete"
void StopLossAlert(TextBuilder& text) {
  Append(text, "Prev Snap $");
  Amount(text, guard.snapshot);
  Append(text, ", SL: -$");
  Amount(text, guard.snapshot - core::CurrentStopLoss());
  Append(text, ", New Snap $");
  Amount(text, guard.equity);
  Append(text, " ($");
  Amount(text, guard.equity - guard.snapshot);
  Append(text, "), TP $");
  Amount(text, core::CurrentTakeProfit());
  Append(text, ", TTC ");
  Tenths(text, CloseSeconds());
  Append(text, "s, ZT CloseAll Stop Loss Complete");
}

// "Prev Snap $%0.2f, TP: $%0.2f, New Snap $%0.2f ($%0.2f), DD -$%0.2f, TTC %0.1fs,
//  ZT CloseAll Take Profit Complete"
void TakeProfitAlert(TextBuilder& text) {
  Append(text, "Prev Snap $");
  Amount(text, guard.snapshot);
  Append(text, ", TP: $");
  Amount(text, core::CurrentTakeProfit());
  Append(text, ", New Snap $");
  Amount(text, guard.equity);
  Append(text, " ($");
  Amount(text, guard.equity - guard.snapshot);
  Append(text, "), DD -$");
  Amount(text, std::fabs(guard.periodDrawdown));
  Append(text, ", TTC ");
  Tenths(text, CloseSeconds());
  Append(text, "s, ZT CloseAll Take Profit Complete");
}

// "Increase Target $%0.2f ($%0.2f);  New Snap $%0.2f, New TP $%0.2f, New DDT -$%0.2f ($%0.2f),
//  Initial Eq $%0.2f." -- two blanks after the semicolon. The target shown is the one the roll
// has just passed, one position before increaseIndex (increaseIndex >= 1).
void IncreaseAlert(TextBuilder& text) {
  const double passed = core::ListAt(guard.increaseTargets, guard.increaseIndex - 1);
  const double drawdownTarget = core::CurrentDrawdownTarget();
  Append(text, "Increase Target $");
  Amount(text, passed);
  Append(text, " ($");
  Amount(text, passed - guard.initialEquity);
  Append(text, ");  New Snap $");
  Amount(text, guard.equity);
  Append(text, ", New TP $");
  Amount(text, core::CurrentTakeProfit());
  Append(text, ", New DDT -$");
  Amount(text, drawdownTarget);
  Append(text, " ($");
  Amount(text, guard.snapshot - drawdownTarget);
  Append(text, "), Initial Eq $");
  Amount(text, guard.initialEquity);
  Append(text, ".");
}

// "Equity reached Target DD -$%0.2f ($%0.2f)": the target just passed and its equity level.
void DrawdownAlert(TextBuilder& text) {
  Append(text, "Equity reached Target DD -$");
  Amount(text, guard.reachedDrawdownTarget);
  Append(text, " ($");
  Amount(text, guard.snapshot - guard.reachedDrawdownTarget);
  Append(text, ")");
}

// ", # %d, %s, Zentravo_EA alert": every subject ends with the account and the server text.
void SubjectEnd(TextBuilder& text) {
  Append(text, ", # ");
  AppendInt(text, guard.accountNumber);
  Append(text, ", ");
  Append(text, FieldText(guard.serverName));
  Append(text, ", Zentravo_EA alert");
}

// Part 0, by the e-mail's kind: "Reason: Equity Target $%0.2f reached.\n" (0),
// "Reason: Margin Target %0.0f%% ($%0.2f) reached.\n" (1), "Reason: Drawdown Target $%0.2f
// reached.\n" (2).
void ReasonLine(TextBuilder& text, int kind) {
  if (kind == 0) {
    Append(text, "Reason: Equity Target $");
    Amount(text, guard.emailEquityTarget);
  } else if (kind == 1) {
    Append(text, "Reason: Margin Target ");
    Whole(text, guard.emailMarginPercent);
    Append(text, "% ($");
    Amount(text, guard.margin);
    Append(text, ")");
  } else {
    Append(text, "Reason: Drawdown Target $");
    Amount(text, guard.emailDrawdown);
  }
  Append(text, " reached.\n");
}

// ", -$%0.2f ($%0.2f).\n": an amount below the snapshot and the equity level it lies at.
void BelowSnapshot(TextBuilder& text, double amount) {
  Append(text, ", -$");
  Amount(text, amount);
  Append(text, " ($");
  Amount(text, guard.snapshot - amount);
  Append(text, ").\n");
}

}  // namespace

void WriteAlert(int kind, char* out, int capacity) {
  // Written "not greater than" so that a NaN equity also counts as no equity.
  if (!(guard.equity > 0.0) || !(guard.snapshot > 0.0)) {
    TextBuilder text = StartText(out, capacity);
    Append(text, "Error: zero equity");
    return;
  }
  void (*build)(TextBuilder&) = nullptr;
  switch (kind) {
    case 1: build = StopLossAlert; break;
    case 2: build = TakeProfitAlert; break;
    case 3: build = guard.increaseIndex > 0 ? IncreaseAlert : nullptr; break;
    case 4: build = DrawdownAlert; break;
    default: break;
  }
  if (build == nullptr) return;
  TextBuilder text = StartText(out, capacity);
  build(text);
}

void WriteEmailSubject(int kind, char* out, int capacity) {
  if (kind < 0 || kind > 2) return;
  TextBuilder text = StartText(out, capacity);
  switch (kind) {
    case 0:  // "Equity Target +$ %0.2f, # %d, %s, Zentravo_EA alert"
      Append(text, "Equity Target +$ ");
      Amount(text, guard.emailEquityTarget);
      break;
    case 1:  // "Margin >= %0.0f%%, # %d, %s, Zentravo_EA alert"
      Append(text, "Margin >= ");
      Whole(text, guard.emailMarginPercent);
      Append(text, "%");
      break;
    default:  // 2: "Drawdown >= -$ %0.2f, # %d, %s, Zentravo_EA alert"
      Append(text, "Drawdown >= -$ ");
      Amount(text, guard.emailDrawdown);
      break;
  }
  SubjectEnd(text);
}

void WriteEmailLine(int part, int kind, double increaseTarget, char* out, int capacity) {
  if (part < 0 || part > 5) return;
  if (part == 0 && (kind < 0 || kind > 2)) return;
  TextBuilder text = StartText(out, capacity);
  switch (part) {
    case 0:
      ReasonLine(text, kind);
      break;
    case 1:  // "Snapshot Eq, Current Eq: $%0.2f, $%0.2f (%0.2f).\n"
      Append(text, "Snapshot Eq, Current Eq: $");
      Amount(text, guard.snapshot);
      Append(text, ", $");
      Amount(text, guard.equity);
      Append(text, " (");
      Amount(text, guard.equity - guard.snapshot);
      Append(text, ").\n");
      break;
    case 2:  // "Equity DD; Current TP, DDT -$%0.2f; $%0.2f, -$%0.2f ($%0.2f).\n"
      Append(text, "Equity DD; Current TP, DDT -$");
      Amount(text, std::fabs(guard.periodDrawdown));
      Append(text, "; $");
      Amount(text, core::CurrentTakeProfit());
      BelowSnapshot(text, core::CurrentDrawdownTarget());
      break;
    case 3:  // "Current EIT, Stop Loss: $%0.2f, -$%0.2f ($%0.2f).\n"
      Append(text, "Current EIT, Stop Loss: $");
      Amount(text, increaseTarget);
      BelowSnapshot(text, core::CurrentStopLoss());
      break;
    case 4: {  // "Margin used: $%0.2f ($%0.2f).\n"
      const double divisor =
          guard.freeMargin >= kSmallestFreeMargin ? guard.freeMargin : kSmallestFreeMargin;
      Append(text, "Margin used: $");
      Amount(text, guard.margin);
      Append(text, " ($");
      Amount(text, 100.0 * guard.margin / divisor);
      Append(text, ").\n");
      break;
    }
    default:  // 5: "Pair: %s.\n"
      Append(text, "Pair: ");
      Append(text, FieldText(guard.symbol));
      Append(text, ".\n");
      break;
  }
}

}  // namespace zt::texts
