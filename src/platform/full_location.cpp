// Where a path really lies: the one location KeepFullLocation keeps, for a library whose folder
// is too long for the state's path field, and the path every file service opens for a path that
// starts with its short form. The same on every platform.
#include <cstring>
#include <string_view>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace zt::platform {
namespace {

// The location KeepFullLocation remembers, and the path a file service opens.
char keptShortForm[kPathCapacity];
char keptFullForm[kPathCapacity];
char resolvedPath[kPathCapacity];

// text into out (kPathCapacity bytes); the caller has checked that it fits.
void Keep(std::string_view text, char* out) {
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
}

}  // namespace

const char* ResolvePath(const char* path) {
  const std::string_view given(path);
  const std::string_view shortForm(keptShortForm);
  if (shortForm.empty() || !given.starts_with(shortForm)) return path;
  const std::string_view fullForm(keptFullForm);
  const std::string_view rest = given.substr(shortForm.size());
  if (fullForm.size() + rest.size() >= kPathCapacity) return nullptr;
  std::memcpy(resolvedPath, fullForm.data(), fullForm.size());
  std::memcpy(resolvedPath + fullForm.size(), rest.data(), rest.size());
  resolvedPath[fullForm.size() + rest.size()] = '\0';
  return resolvedPath;
}

bool KeepFullLocation(std::string_view shortForm, std::string_view fullForm) {
  keptShortForm[0] = '\0';
  keptFullForm[0] = '\0';
  if (shortForm.empty() || fullForm.size() >= kPathCapacity || shortForm.size() >= kPathCapacity) {
    return shortForm.empty();
  }
  Keep(fullForm, keptFullForm);
  Keep(shortForm, keptShortForm);
  return true;
}

}  // namespace zt::platform
