// The guard's exports as a host sees them: a table of function pointers of the public header's
// types, filled from a shared library that a host loads from its own folder.
#pragma once

#include <string>

#include "zentravo.h"

namespace zt::sim {

struct GuardApi {
  decltype(&::InitZT) InitZT;
  decltype(&::SetEquity) SetEquity;
  decltype(&::SetLastValues) SetLastValues;
  decltype(&::SetTTC) SetTTC;
  decltype(&::SetEmailProp) SetEmailProp;
  decltype(&::GetEquitySnap) GetEquitySnap;
  decltype(&::GetIndex) GetIndex;
  decltype(&::GetAlert) GetAlert;
  decltype(&::GetEmailSubject) GetEmailSubject;
  decltype(&::GetEmailText) GetEmailText;
  decltype(&::GetLabel) GetLabel;
  decltype(&::GetValue) GetValue;
  decltype(&::SetWindowTitles) SetWindowTitles;
};

// A shared library loaded as a terminal loads it: copied into the host's folder and opened from
// there, so the settings and statistics files it keeps beside itself land in that folder.
// Unloads on destruction. Not copyable: the exports live as long as the object.
class LoadedGuard {
 public:
  // Copies library into folder (created when missing; an older copy there is replaced), opens
  // the copy and resolves every export. Throws std::runtime_error naming the library and the
  // first export missing, or the loader's message.
  LoadedGuard(const std::string& library, const std::string& folder);
  ~LoadedGuard();
  LoadedGuard(const LoadedGuard&) = delete;
  LoadedGuard& operator=(const LoadedGuard&) = delete;

  const GuardApi& api() const { return api_; }
  const std::string& path() const { return path_; }  // the copy that was opened

 private:
  void* handle_ = nullptr;
  GuardApi api_{};
  std::string path_;
};

// Reads one text of the library: clears a ZT_TEXT_CAPACITY buffer, lets fill write into it and
// returns what it holds (empty when the library wrote nothing).
template <typename Fill>
std::string ReadText(Fill fill) {
  char buffer[ZT_TEXT_CAPACITY] = {};
  fill(buffer);
  buffer[ZT_TEXT_CAPACITY - 1] = '\0';
  return buffer;
}

}  // namespace zt::sim
