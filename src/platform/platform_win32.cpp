// The platform seam on Windows: the real kernel and user-interface services a terminal process
// offers. The settings file is kept by the system's own private-profile service. Mirrors
// platform_posix.cpp: same order, same helpers.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/fixed_clock.h"
#include "platform/platform.h"

namespace zt::platform {
namespace {

// ---- Module start-up ----

// This library's own module: the one that holds this code, rather than the terminal's
// executable. Asked of the loader by address, so no entry point has to hand it over.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&ThisModule), &module) == FALSE) {
    return nullptr;
  }
  return module;
}

// ---- Helpers ----

// Copies text into out (capacity bytes, > 0), cut to fit, always terminated. Returns the number
// of characters copied: less than text.size() when the text was cut.
std::size_t CopyText(std::string_view text, char* out, std::size_t capacity) {
  const std::size_t length = text.size() < capacity ? text.size() : capacity - 1;
  if (length > 0) std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return length;
}

// Writes all of text to an open file, resuming after short writes.
bool WriteAll(HANDLE file, std::string_view text) {
  while (!text.empty()) {
    DWORD written = 0;
    if (WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) == FALSE ||
        written == 0) {
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

// ---- Private-profile (INI) files ----

constexpr std::size_t kNameCapacity = 256;   // a section or key name, NUL included
constexpr std::size_t kValueCapacity = 512;  // a value or fallback handed to the service

// The service needs terminated names, and a cut section or key name would read or write the
// wrong entry: a name that does not fit is refused. True when name fits into out.
bool CopyName(std::string_view name, char* out, std::size_t capacity) {
  return CopyText(name, out, capacity) == name.size();
}

// ---- Other files ----

constexpr std::size_t kWriteChunk = 1024;  // bytes converted to CR LF line ends per WriteFile

// ---- Terminal windows ----
//
// A terminal passes its window handles as 32-bit ints; Windows keeps handle values within that
// range for 32-bit interoperability, also in 64-bit processes.

HWND WindowOf(int window) { return reinterpret_cast<HWND>(static_cast<std::intptr_t>(window)); }

int HandleOf(HWND window) { return static_cast<int>(reinterpret_cast<std::intptr_t>(window)); }

}  // namespace

// ---- Module start-up ----

int ModulePath(char* out, int capacity) {
  const HMODULE module = ThisModule();
  if (capacity <= 0 || module == nullptr) return 0;
  const DWORD length = GetModuleFileNameA(module, out, static_cast<DWORD>(capacity));
  // A path that does not fit is cut and fills the buffer completely.
  if (length >= static_cast<DWORD>(capacity)) return capacity;
  return static_cast<int>(length);
}

// ---- Private-profile (INI) files ----

int ReadProfileString(const char* path, std::string_view section, std::string_view key,
                      std::string_view fallback, char* out) {
  char sectionName[kNameCapacity];
  char keyName[kNameCapacity];
  char fallbackText[kValueCapacity];
  // A fallback too long for our buffer is cut to the 63 characters the read returns anyway.
  if (!CopyName(fallback.substr(0, kProfileValueCapacity - 1), fallbackText, sizeof fallbackText) ||
      !CopyName(section, sectionName, sizeof sectionName) ||
      !CopyName(key, keyName, sizeof keyName)) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<int>(GetPrivateProfileStringA(sectionName, keyName, fallbackText, out,
                                                   static_cast<DWORD>(kProfileValueCapacity),
                                                   path));
}

int ReadProfileInt(const char* path, std::string_view section, std::string_view key,
                   int fallback) {
  char sectionName[kNameCapacity];
  char keyName[kNameCapacity];
  if (!CopyName(section, sectionName, sizeof sectionName) ||
      !CopyName(key, keyName, sizeof keyName)) {
    return fallback;
  }
  // The service answers an unsigned value that wraps like a 32-bit int; give it back as one.
  const UINT value = GetPrivateProfileIntA(sectionName, keyName, fallback, path);
  return static_cast<int>(value);
}

bool WriteProfileStrings(const char* path, std::string_view section, const ProfileEntry* entries,
                         int count) {
  char sectionName[kNameCapacity];
  if (!CopyName(section, sectionName, sizeof sectionName)) return false;
  // Check every name and value before the first write, so that nothing is written at all when
  // one of them cannot be handed to the service.
  for (int entry = 0; entry < count; ++entry) {
    if (entries[entry].key.size() >= kNameCapacity ||
        entries[entry].value.size() >= kValueCapacity) {
      return false;
    }
  }
  char keyName[kNameCapacity];
  char value[kValueCapacity];
  for (int entry = 0; entry < count; ++entry) {
    CopyName(entries[entry].key, keyName, sizeof keyName);
    CopyName(entries[entry].value, value, sizeof value);
    if (WritePrivateProfileStringA(sectionName, keyName, value, path) == FALSE) return false;
  }
  return true;
}

void RemoveAbandonedWrites(const char* /*path*/) {
  // The system's service writes the file in place and leaves no temporary files of ours.
}

// ---- Other files ----

bool WriteNewTextFile(const char* path, std::string_view text) {
  const HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Text mode: every "\n" goes out as CR LF. A chunk ends before it could overflow by the CR.
  char chunk[kWriteChunk];
  std::size_t used = 0;
  bool complete = true;
  for (const char character : text) {
    if (used + 2 > sizeof chunk) {
      if (!WriteAll(file, std::string_view(chunk, used))) {
        complete = false;
        break;
      }
      used = 0;
    }
    if (character == '\n') chunk[used++] = '\r';
    chunk[used++] = character;
  }
  if (complete && !WriteAll(file, std::string_view(chunk, used))) complete = false;
  if (CloseHandle(file) == FALSE) complete = false;
  return complete;
}

// ---- Terminal windows ----

int ParentWindow(int window) { return HandleOf(GetParent(WindowOf(window))); }

int RootAncestorWindow(int window) { return HandleOf(GetAncestor(WindowOf(window), GA_ROOT)); }

int WindowTitle(int window, char* out, int capacity) {
  if (capacity <= 0) return 0;
  // An unknown handle may leave the buffer as it was: start from the empty text.
  out[0] = '\0';
  const int length = GetWindowTextA(WindowOf(window), out, capacity);
  if (length <= 0) {
    out[0] = '\0';
    return 0;
  }
  return length;
}

bool NameWindowTitles(int /*chart*/, const char* /*frameTitle*/, const char* /*mainTitle*/) {
  return false;  // the titles come from the terminal's real windows
}

// ---- Clock ----

std::int64_t Now() {
  std::int64_t pinned = 0;
  if (FixedNow(&pinned)) return pinned;
  return static_cast<std::int64_t>(_time64(nullptr));
}

bool LocalTime(std::int64_t time, CalendarTime* out) {
  if (time < 0) return false;
  const __time64_t converted = static_cast<__time64_t>(time);
  std::tm local{};
  if (_localtime64_s(&local, &converted) != 0) return false;
  *out = CalendarTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min,         local.tm_sec,     local.tm_wday};
  return true;
}

}  // namespace zt::platform
