// The platform seam on Windows: the real kernel and user-interface services a terminal process
// offers. The private-profile store is the system's own INI service, so there is no profile file
// of ours here.
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

// The handle the loader gave DllMain: GetModuleFileNameA needs it to name this library rather
// than the terminal's executable.
HMODULE libraryModule = nullptr;

// Copies text into out (capacity bytes) as a NUL-terminated string. Returns false, writing only
// an empty text, when text does not fit: the profile service needs terminated names, and a cut
// section or key name would read or write the wrong entry.
bool CopyTerminated(std::string_view text, char* out, std::size_t capacity) {
  out[0] = '\0';
  if (text.size() >= capacity) return false;
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return true;
}

// ---- Private-profile (INI) files ----

constexpr std::size_t kNameCapacity = 256;   // a section or key name, NUL included
constexpr std::size_t kValueCapacity = 512;  // a value or fallback handed to the service

// ---- Other files ----

constexpr std::size_t kWriteChunk = 1024;  // bytes converted to CR LF line ends per WriteFile

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) == FALSE ||
        written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

// ---- Terminal windows ----
//
// A terminal passes its window handles as 32-bit ints; Windows keeps handle values within that
// range for 32-bit interoperability, also in 64-bit processes.

HWND WindowOf(int window) { return reinterpret_cast<HWND>(static_cast<std::intptr_t>(window)); }

int HandleOf(HWND window) { return static_cast<int>(reinterpret_cast<std::intptr_t>(window)); }

}  // namespace

int ModulePath(char* out, int capacity) {
  if (capacity <= 0 || libraryModule == nullptr) return 0;
  const DWORD length = GetModuleFileNameA(libraryModule, out, static_cast<DWORD>(capacity));
  // A path that does not fit is cut and fills the buffer completely.
  if (length >= static_cast<DWORD>(capacity)) return capacity;
  return static_cast<int>(length);
}

int ReadProfileString(const char* path, std::string_view section, std::string_view key,
                      std::string_view fallback, char* out) {
  char sectionName[kNameCapacity];
  char keyName[kNameCapacity];
  char fallbackText[kValueCapacity];
  // A fallback too long for our buffer is cut to the 63 characters the read returns anyway.
  if (!CopyTerminated(fallback.substr(0, kProfileValueCapacity - 1), fallbackText,
                      sizeof fallbackText) ||
      !CopyTerminated(section, sectionName, sizeof sectionName) ||
      !CopyTerminated(key, keyName, sizeof keyName)) {
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
  if (!CopyTerminated(section, sectionName, sizeof sectionName) ||
      !CopyTerminated(key, keyName, sizeof keyName)) {
    return fallback;
  }
  // The service answers an unsigned value that wraps like a 32-bit int; give it back as one.
  const UINT value = GetPrivateProfileIntA(sectionName, keyName, fallback, path);
  return static_cast<int>(value);
}

bool WriteProfileStrings(const char* path, std::string_view section, const ProfileEntry* entries,
                         int count) {
  char sectionName[kNameCapacity];
  if (!CopyTerminated(section, sectionName, sizeof sectionName)) return false;
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
    CopyTerminated(entries[entry].key, keyName, sizeof keyName);
    CopyTerminated(entries[entry].value, value, sizeof value);
    if (WritePrivateProfileStringA(sectionName, keyName, value, path) == FALSE) return false;
  }
  return true;
}

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
      if (!WriteAll(file, chunk, used)) {
        complete = false;
        break;
      }
      used = 0;
    }
    if (character == '\n') chunk[used++] = '\r';
    chunk[used++] = character;
  }
  if (complete && !WriteAll(file, chunk, used)) complete = false;
  if (CloseHandle(file) == FALSE) complete = false;
  return complete;
}

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

// The module entry. On process attach it remembers which module this is and lets the library
// derive its settings path; thread and detach notifications change nothing. It always succeeds:
// a library that failed to load would leave the terminal's script without its guard.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    zt::platform::libraryModule = module;
    zt::platform::OnLibraryLoad();
  }
  return TRUE;
}
