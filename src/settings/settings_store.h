// SettingsStore: the guard's history across restarts of the host, in the INI file beside the
// library (guard.settingsPath). Two sections, eight keys:
//   [SNAP]  "Equity Snap" the snapshot, "Initial Equity" the initial equity   ("%0.2f")
//   [INDEX] "TPSet", "TP", "DDSet", "DD": tpSet, tpIndex, ddSet, ddIndex;
//           "Increase", "SL": increaseIndex, stopLossIndex                    ("%d")
// Every position the guard decides by is stored, so a restarted host resumes every one of them.
// The engine writes each value when it changes and InitZT reads them back. A write is held until
// the boundary calls CommitWrites as the export call ends, so that the writes of one event land
// in one rewrite of the file, together or not at all; a read sees the held values. Every read
// falls back to its default when the file, the section or the key is missing, and every write's
// failure is ignored by the guard's decisions: only guard.persistence.settings records what
// became of each commit (none once one lands), for the dashboard's notice line. With an empty
// settingsPath (the library could not place its file) reads give their defaults, nothing is
// written and every write records SettingsTrouble::noLocation.
#pragma once

#include <string_view>

#include "core/guard_state.h"
#include "settings/profile_store.h"
#include "platform/platform.h"

namespace zt::settings {

constexpr std::string_view kSnapSection = "SNAP";
constexpr std::string_view kIndexSection = "INDEX";
constexpr std::string_view kEquitySnapKey = "Equity Snap";
constexpr std::string_view kInitialEquityKey = "Initial Equity";
constexpr std::string_view kTakeProfitSetKey = "TPSet";
constexpr std::string_view kTakeProfitIndexKey = "TP";
constexpr std::string_view kDrawdownSetKey = "DDSet";
constexpr std::string_view kDrawdownIndexKey = "DD";
constexpr std::string_view kIncreaseIndexKey = "Increase";
constexpr std::string_view kStopLossIndexKey = "SL";

// Puts the writes held since the last commit into the file, in one rewrite under the file's
// lock. When it does not land (the file locked by another program, read-only, ...) they stay
// held, each key with its newest value, and every later call tries again (the first try of new
// writes waits up to the platform's 20 ms in all; a retry of held writes does not wait), so a
// locked file delays a write but never loses it and a restart never resumes half of an event.
// While the start could not read the file it found (guard.persistence.startRead), the writes
// are held without a try, so nothing the start never read is replaced unseen: the engine reads
// the file at a later call, and KeepUnreadFile has it copied first when the guard decided before.
// Nothing held: returns at once, without a call (every export ends here, the tick path too).
void CommitHeldWrites();
namespace detail {
extern int heldWriteCount;  // the writes CommitHeldWrites would put into the file
}  // namespace detail
inline void CommitWrites() {
  if (detail::heldWriteCount > 0) CommitHeldWrites();
}

// The library is being unloaded: writes still held get a last try that waits at most
// kUnloadWaitMs in all (the loader waits for it). What still cannot land is lost with the
// process's memory.
constexpr int kUnloadWaitMs = 50;
void CommitBeforeUnload();

// Whether writes are held that have not reached the file.
inline bool WritesPending() { return detail::heldWriteCount > 0; }

// Drops the held writes and a copy not yet made, as a fresh load of the library holds none (for
// the test hooks).
void ForgetWrites();

// Whether the settings file can be read now, in one try without waiting (a missing file can).
bool StoredFileReadable();

// The settings file holds values the guard never read (its start could not read the file, and
// the guard has decided since from its own start), and the held writes are about to go over it:
// the next commit first copies it whole into a new file beside it,
// "<settings path without .ini>-unread-YYYY.MM.DD hh-mm.ini" for localTime ("YYYY.MM.DD hh:mm";
// "-2", "-3", ... before ".ini" when the name is taken), and guard.persistence.unreadCopy names
// that file. No write lands before the copy is made; a missing file needs none.
void KeepUnreadFile(std::string_view localTime);

// Reads a [SNAP] key as text, default "0", into out (settings::kProfileValueCapacity bytes).
// The default also stands for a file that is there but cannot be read (held by another program
// for longer than waitMs, too large, UTF-16): the answer then says why, and is
// SettingsTrouble::none otherwise.
core::SettingsTrouble ReadAmountText(std::string_view key, char* out,
                                     int waitMs = platform::kUsualWaitMs);

// Reads a [SNAP] key as an amount: its text (default "0") read as a decimal number. trouble, when
// not null, receives what ReadAmountText answers.
double ReadAmount(std::string_view key, core::SettingsTrouble* trouble = nullptr);

// Reads an [INDEX] key as an integer, default 0; trouble as for ReadAmount.
int ReadIndex(std::string_view key, core::SettingsTrouble* trouble = nullptr);

// Writes text under a [SNAP] key as it stands.
void WriteAmountText(std::string_view key, std::string_view text);

// Writes an amount under a [SNAP] key, formatted "%0.2f".
void WriteAmount(std::string_view key, double amount);

// Writes the guard's six positions, as the engine does after a close-all, a drawdown step and a
// snapshot roll: "TPSet", "DDSet", "TP", "DD", "Increase", "SL", in that order, in one rewrite of
// the file.
void WriteIndices();

// SetLastValues: the host overwrites the persisted values. "Equity Snap" only when snapshot is a
// usable equity, then "TPSet", "TP", "DDSet", "DD" in that order, then "Increase" and "SL" as 0:
// a host that sets the positions starts the increase targets and stop losses from their first
// entries. The running guard is unchanged.
void WriteLastValues(double snapshot, int tpSet, int tpIndex, int ddSet, int ddIndex);

}  // namespace zt::settings
