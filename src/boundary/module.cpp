#include "boundary/module.h"

#include <cstring>

#include "core/guard_state.h"
#include "platform/platform.h"

namespace zt::boundary {
namespace {
constexpr std::string_view kSettingsExtension = ".ini";
}  // namespace

void DeriveSettingsPath(std::string_view modulePath) {
  char* const out = core::guard.settingsPath;
  out[0] = '\0';
  const std::size_t nameStart = modulePath.find_last_of("/\\") == std::string_view::npos
                                    ? 0
                                    : modulePath.find_last_of("/\\") + 1;
  if (nameStart >= modulePath.size()) return;  // empty, or a folder rather than a file
  std::size_t stem = modulePath.rfind('.');
  if (stem == std::string_view::npos || stem < nameStart) stem = modulePath.size();
  if (stem + kSettingsExtension.size() >= static_cast<std::size_t>(core::kSettingsPathSize)) return;
  std::memcpy(out, modulePath.data(), stem);
  std::memcpy(out + stem, kSettingsExtension.data(), kSettingsExtension.size());
  out[stem + kSettingsExtension.size()] = '\0';
}

namespace {

// Learns where the library lies and makes its settings file ready: the settings path, and no
// temporary files left beside it by writers that were killed mid-way.
void OnLibraryLoad() {
  // One byte more than the field, so that a path that exactly fills it is told from a cut one.
  char path[core::kSettingsPathSize + 1];
  const int length = platform::ModulePath(path, static_cast<int>(sizeof path));
  if (length <= 0 || length >= static_cast<int>(sizeof path)) {
    core::guard.settingsPath[0] = '\0';
    return;
  }
  DeriveSettingsPath(std::string_view(path, static_cast<std::size_t>(length)));
  platform::RemoveAbandonedWrites(core::guard.settingsPath);
}

// Runs once when the library is loaded into a process, before any export can be called: the
// C++ runtime initialises this (on Windows during the loader's process-attach notification,
// elsewhere with the library's other load-time initialisers). Thread notifications and unloading
// change nothing.
[[maybe_unused]] const bool loaded = (OnLibraryLoad(), true);

}  // namespace
}  // namespace zt::boundary
