#include "boundary/module.h"

#include <cstring>

#include "engine/guard_state.h"
#include "platform/platform.h"

namespace zt::boundary {
namespace {
constexpr std::string_view kSettingsExtension = ".ini";
}  // namespace

void DeriveSettingsPath(std::string_view modulePath) {
  char* const out = engine::guard.settingsPath;
  out[0] = '\0';
  const std::size_t nameStart = modulePath.find_last_of("/\\") == std::string_view::npos
                                    ? 0
                                    : modulePath.find_last_of("/\\") + 1;
  if (nameStart >= modulePath.size()) return;  // empty, or a folder rather than a file
  std::size_t stem = modulePath.rfind('.');
  if (stem == std::string_view::npos || stem < nameStart) stem = modulePath.size();
  if (stem + kSettingsExtension.size() >= static_cast<std::size_t>(engine::kSettingsPathSize)) return;
  std::memcpy(out, modulePath.data(), stem);
  std::memcpy(out + stem, kSettingsExtension.data(), kSettingsExtension.size());
  out[stem + kSettingsExtension.size()] = '\0';
}

}  // namespace zt::boundary

namespace zt::platform {

void OnLibraryLoad() {
  // One byte more than the field, so that a path that exactly fills it is told from a cut one.
  char path[engine::kSettingsPathSize + 1];
  const int length = ModulePath(path, static_cast<int>(sizeof path));
  if (length <= 0 || length >= static_cast<int>(sizeof path)) {
    engine::guard.settingsPath[0] = '\0';
    return;
  }
  boundary::DeriveSettingsPath(std::string_view(path, static_cast<std::size_t>(length)));
}

}  // namespace zt::platform
