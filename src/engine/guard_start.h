// Guard start: InitZT's work on the guard state, and the end of a start that could not read its
// settings file.
#pragma once

#include <string_view>

#include "core/guard_state.h"

namespace zt::engine {

// Establishes a guard history from the settings file and the host's arguments (see InitZT in
// zentravo.h): settles the snapshot and the initial equity, parses the four target texts,
// restores the take-profit and drawdown positions (clamped into their tables), restarts the
// increase targets, the stop losses and the cycle counters, and resets the extremes' times.
// Returns the snapshot, or 0.0 when neither the stored snapshot nor equity is usable; then only
// hostTag has changed and the settings file is untouched. initialEquity may be null: it then reads
// as 0 and receives nothing. The terminal identity is read by the caller afterwards.
double StartGuard(std::string_view hostTag, double* initialEquity, double equity, double margin,
                  double freeMargin, std::string_view takeProfits, std::string_view drawdownTargets,
                  std::string_view increaseTargets, std::string_view stopLosses);

// A start that could not read the settings file it found (guard.persistence.startRead) began
// from the host's equity and the first entries; this finishes it at the first later call that
// can read the file (one try, without waiting). When the guard has decided nothing since (no
// close-all, drawdown step or roll), it takes the stored snapshot, initial equity and positions
// as the start would have, with the extremes the start kept, and lateRead says resumed; the
// account figures stay the latest the host passed, and the host's initial-equity variable, which
// only InitZT reaches, keeps what the start wrote into it. When the guard decided first, it keeps
// its own history and the file is copied whole beside it before its writes go over it
// (settings::KeepUnreadFile): lateRead says setAside.
void FinishHeldStart();

// FinishHeldStart while a start's file is unread; nothing otherwise. Every export but InitZT
// calls it first, and the library calls it as it unloads.
inline void FinishStartIfHeld() {
  if (core::guard.persistence.startRead != core::SettingsTrouble::none) FinishHeldStart();
}

}  // namespace zt::engine
