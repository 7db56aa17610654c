#include "boundary/module.h"


#include "core/guard_state.h"
#include "engine/guard_start.h"
#include "platform/platform.h"
#include "settings/settings_path.h"
#include "settings/settings_store.h"

namespace zt::boundary {
namespace {

// The library's own path, of any length a system allows.
char modulePath[platform::kPathCapacity];

// Learns where the library lies and makes its settings file ready: the settings path, and no
// temporary files left beside it by writers that were killed mid-way.
void OnLibraryLoad() {
  const int length = platform::ModulePath(modulePath, static_cast<int>(sizeof modulePath));
  if (length <= 0 || length >= static_cast<int>(sizeof modulePath)) {
    core::guard.settingsPath[0] = '\0';
    return;
  }
  const char* const path = modulePath;
  settings::DeriveSettingsPath(std::string_view(path, static_cast<std::size_t>(length)));
  settings::RemoveAbandonedWrites(core::guard.settingsPath);
}

// Runs once when the library is loaded into a process, before any export can be called: the
// C++ runtime initialises this (on Windows during the loader's process-attach notification,
// elsewhere with the library's other load-time initialisers).
[[maybe_unused]] const bool loaded = (OnLibraryLoad(), true);

}  // namespace

void OnLibraryUnload() {
  engine::FinishStartIfHeld();
  settings::CommitBeforeUnload();
}

}  // namespace zt::boundary
