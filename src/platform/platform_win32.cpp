// The platform seam on Windows: where the library lies, the terminal's windows, and the clock.
// The file services are in file_system_win32.cpp. Mirrors platform_posix.cpp: same order, same
// helpers.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
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
  if (GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&ThisModule), &module) == FALSE) {
    return nullptr;
  }
  return module;
}

// UTF-16 units of the longest path the system accepts, NUL included.
constexpr int kWidePathCapacity = 32768;
wchar_t moduleName[kWidePathCapacity];

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
  // The buffer grows until the whole name fits: a cut name fills it completely.
  wchar_t* const name = moduleName;
  DWORD size = MAX_PATH;
  DWORD length = 0;
  for (;;) {
    length = GetModuleFileNameW(module, name, size);
    if (length == 0) return 0;
    if (length < size) break;
    if (size == kWidePathCapacity) return 0;
    size = size * 4 < kWidePathCapacity ? size * 4 : kWidePathCapacity;
  }
  const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name,
                                        static_cast<int>(length), out, capacity - 1, nullptr,
                                        nullptr);
  if (bytes <= 0) return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? capacity : 0;
  out[bytes] = '\0';
  return bytes;
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
