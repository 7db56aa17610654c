#include "boundary/module.h"

#include <cstdlib>
#include <cstring>

#include "core/guard_state.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace zt::boundary {
namespace {
constexpr std::string_view kSettingsExtension = ".ini";
}  // namespace

void DeriveSettingsPath(std::string_view modulePath) {
  char* const out = core::guard.settingsPath;
  out[0] = '\0';
  platform::KeepFullLocation({}, {});
  const std::size_t nameStart = modulePath.find_last_of("/\\") == std::string_view::npos
                                    ? 0
                                    : modulePath.find_last_of("/\\") + 1;
  if (nameStart >= modulePath.size()) return;  // empty, or a folder rather than a file
  std::size_t stem = modulePath.rfind('.');
  if (stem == std::string_view::npos || stem < nameStart) stem = modulePath.size();
  constexpr std::size_t kField = static_cast<std::size_t>(core::kSettingsPathSize);
  std::size_t kept = stem;
  if (stem + kSettingsExtension.size() >= kField) {
    // Too deep for the field: it holds the start of the location, cut on a whole UTF-8
    // character, and the seam opens that start at the full location.
    kept = kField - 1 - kSettingsExtension.size();
    while (kept > 0 && (static_cast<unsigned char>(modulePath[kept]) & 0xC0) == 0x80) --kept;
    if (!platform::KeepFullLocation(modulePath.substr(0, kept), modulePath.substr(0, stem))) {
      return;
    }
  }
  std::memcpy(out, modulePath.data(), kept);
  std::memcpy(out + kept, kSettingsExtension.data(), kSettingsExtension.size());
  out[kept + kSettingsExtension.size()] = '\0';
}

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
  DeriveSettingsPath(std::string_view(path, static_cast<std::size_t>(length)));
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
