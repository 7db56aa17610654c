// The exported operations that drive the guard and hand values in and out. Each one adapts the
// host's arguments (null pointers, texts) and hands off to the engine; decisions live there. Each
// one but InitZT first finishes a start whose settings file was held (at once when none was), so
// that a decision is made from the stored history once it can be read. Each one also commits the
// settings writes: the writes of its own event as it ends, and the writes a locked file held back
// from an earlier call (CommitWrites returns at once when none are held).
#include <string_view>

#include "boundary/terminal_identity.h"
#include "engine/equity_check.h"
#include "engine/guard_start.h"
#include "core/guard_state.h"
#include "settings/settings_store.h"
#include "zentravo.h"

namespace {

// A host's text argument; a null pointer is the empty text.
std::string_view TextIn(const char* text) { return text == nullptr ? std::string_view() : text; }

}  // namespace

using zt::core::guard;

// ---- Host to guard ---------------------------------------------------------------------------

extern "C" ZT_EXPORT double ZT_CALL InitZT(int chartHandle, const char* hostTag,
                                           double* initialEquity, double equity, double margin,
                                           double freeMargin, const char* takeProfits,
                                           const char* drawdownTargets,
                                           const char* increaseTargets, const char* stopLosses) {
  const double snapshot = zt::engine::StartGuard(
      TextIn(hostTag), initialEquity, equity, margin, freeMargin, TextIn(takeProfits),
      TextIn(drawdownTargets), TextIn(increaseTargets), TextIn(stopLosses));
  if (snapshot > 0.0) zt::boundary::TerminalIdentity(chartHandle);
  zt::settings::CommitWrites();
  return snapshot;
}

extern "C" ZT_EXPORT int ZT_CALL SetEquity(double equity, double margin, double freeMargin,
                                           int mode) {
  zt::engine::FinishStartIfHeld();
  const int result = zt::engine::UpdateEquity(equity, margin, freeMargin, mode);
  zt::settings::CommitWrites();
  return result;
}

extern "C" ZT_EXPORT void ZT_CALL SetLastValues(double snapshot, int tpSet, int tpIndex,
                                                int ddSet, int ddIndex) {
  zt::engine::FinishStartIfHeld();
  zt::settings::WriteLastValues(snapshot, tpSet, tpIndex, ddSet, ddIndex);
  zt::settings::CommitWrites();
}

extern "C" ZT_EXPORT int ZT_CALL SetTTC(int closeDurationMs, double equity) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  guard.closeDurationMs = closeDurationMs;
  guard.equity = equity;
  return closeDurationMs;
}

extern "C" ZT_EXPORT void ZT_CALL SetEmailProp(double equityTarget, double marginPercent,
                                               double drawdown) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  guard.emailEquityTarget = equityTarget;
  guard.emailMarginPercent = marginPercent;
  guard.emailDrawdown = drawdown;
}

// ---- Guard to host ---------------------------------------------------------------------------

extern "C" ZT_EXPORT double ZT_CALL GetEquitySnap(void) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  return guard.snapshot;
}

extern "C" ZT_EXPORT void ZT_CALL GetIndex(int* tpSet, int* tpIndex, int* ddSet, int* ddIndex) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  if (tpSet != nullptr) *tpSet = guard.tpSet;
  if (tpIndex != nullptr) *tpIndex = guard.tpIndex;
  if (ddSet != nullptr) *ddSet = guard.ddSet;
  if (ddIndex != nullptr) *ddIndex = guard.ddIndex;
}
