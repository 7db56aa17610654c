#include "boundary/test_hooks.h"

#include "boundary/module.h"
#include "core/guard_state.h"
#include "platform/fixed_clock.h"
#include "settings/settings_path.h"
#include "settings/settings_store.h"
#include "texts/time_text.h"

namespace zt::test_hooks {

void ResetGuard() {
  core::guard = core::GuardState{};
  settings::ForgetWrites();
  texts::ForgetCachedTimes();
}

void FixClock(std::int64_t time) { platform::FixClock(time); }

void ReleaseClock() { platform::ReleaseClock(); }

void ForgetCachedTimes() { texts::ForgetCachedTimes(); }

void PlaceLibrary(std::string_view modulePath) { settings::DeriveSettingsPath(modulePath); }

void UnloadLibrary() { boundary::OnLibraryUnload(); }

}  // namespace zt::test_hooks
