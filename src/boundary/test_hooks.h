// The test-only hooks: how a test puts the library into a known state. The library never calls
// them and hosts cannot reach them (they are not exported); tests, fuzzers, benchmarks and the
// simulator's linked-in engine include this header and no other internal one for these knobs.
#pragma once

#include <cstdint>
#include <string_view>

namespace zt::test_hooks {

// The whole guard record back to its load-time zero, settingsPath included, and the kept
// local-time conversions and any held settings writes dropped: the state of a library that was
// just loaded from nowhere.
void ResetGuard();

// Pins the clock: from now on every time the library takes (state, texts, statistics file name)
// is time, until ReleaseClock().
void FixClock(std::int64_t time);
void ReleaseClock();

// Drops the kept local-time conversions, for a test that changes the time zone.
void ForgetCachedTimes();

// For a program that links the library in rather than loading it: the library acts as if it
// had been loaded from modulePath (its settings and statistics files lie beside that path), and
// as if it were unloaded now (held settings writes get their last try).
void PlaceLibrary(std::string_view modulePath);
void UnloadLibrary();

}  // namespace zt::test_hooks
