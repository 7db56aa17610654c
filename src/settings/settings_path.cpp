#include "settings/settings_path.h"

#include <cstring>

#include "core/guard_state.h"
#include "core/text_builder.h"
#include "platform/platform.h"

namespace zt::settings {

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

std::string_view SettingsStem() {
  std::string_view stem = core::guard.settingsPath;
  if (stem.size() >= kSettingsExtension.size() &&
      stem.substr(stem.size() - kSettingsExtension.size()) == kSettingsExtension) {
    stem.remove_suffix(kSettingsExtension.size());
  }
  return stem;
}

void SideFilePath(char* out, std::string_view kind, std::string_view localTime, int attempt,
                  std::string_view extension) {
  core::TextBuilder path = core::StartText(out, core::kSideFilePathSize);
  core::Append(path, SettingsStem());
  core::AppendChar(path, '-');
  core::Append(path, kind);
  core::AppendChar(path, '-');
  for (const char c : localTime) core::AppendChar(path, c == ':' ? '-' : c);
  if (attempt > 1) {
    core::AppendChar(path, '-');
    core::AppendInt(path, attempt);
  }
  core::Append(path, extension);
}

}  // namespace zt::settings
