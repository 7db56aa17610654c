// Module start-up: as the library is loaded it learns where it lies, and so where its settings
// file is; as it is unloaded, settings writes still held get a last try.
#include <cstdlib>

#include "core/guard_state.h"
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
  platform::RemoveAbandonedWrites(core::guard.settingsPath);
}

// Runs when the library is unloaded, or the process ends normally: settings writes a locked file
// held back at the last call get one more try, so a guard stopped right after another program let
// go of the file loses nothing.
void OnLibraryUnload() { settings::CommitBeforeUnload(); }

// Runs once when the library is loaded into a process, before any export can be called: the
// C++ runtime initialises this (on Windows during the loader's process-attach notification,
// elsewhere with the library's other load-time initialisers). Its exit function belongs to this
// library: the runtime calls it as the library is unloaded (dlclose, FreeLibrary) or at a normal
// exit. Thread notifications change nothing.
[[maybe_unused]] const bool loaded = (OnLibraryLoad(), std::atexit(OnLibraryUnload) == 0);

}  // namespace
}  // namespace zt::boundary
