// The platform seam on Windows: the real kernel and user-interface services a terminal process
// offers. The settings file is kept by our own private-profile store (profile_store.cpp), byte for
// byte what the system's service writes, over the wide-character file calls of this file
// (file_system.h): the service's ANSI paths cannot name every folder a user has, and it can
// neither replace a file atomically nor keep two writers apart. Every path arrives as UTF-8 and
// is opened as UTF-16, with the long-path prefix where needed. Mirrors platform_posix.cpp: same
// order, same helpers.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/file_system.h"
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

// ---- Helpers ----

// UTF-16 units of the longest path the system accepts, NUL included.
constexpr int kWidePathCapacity = 32768;
// Below this many units a path needs no prefix (the plain form's limit is 260 with the NUL, and
// 248 for a folder: a temporary name adds a few more).
constexpr int kPlainPathLimit = 240;

// The wide paths of one file call: the file itself, its temporary file and its lock file.
wchar_t widePaths[3][kWidePathCapacity];

// Turns the UTF-8 path into the UTF-16 path the wide file calls take, in out: absolute drive
// paths ("C:\...") and network paths ("\\server\share\...") past the plain limit get the
// long-path prefix ("\\?\", "\\?\UNC\"), which also wants backslashes only. path is already
// resolved. False when path is not UTF-8 or does not fit.
bool ToWide(const char* path, wchar_t* out) {
  if (path == nullptr || *path == '\0') return false;
  constexpr int kPrefix = 8;  // room for "\\?\UNC\"
  wchar_t* const text = out + kPrefix;
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, text,
                                         kWidePathCapacity - kPrefix);
  if (length <= 1) return false;  // the count includes the NUL
  const bool prefixed = text[0] == L'\\' && text[1] == L'\\' && text[2] == L'?' && text[3] == L'\\';
  const bool drive = ((text[0] | 0x20) >= L'a' && (text[0] | 0x20) <= L'z') && text[1] == L':' &&
                     (text[2] == L'\\' || text[2] == L'/');
  const bool network = (text[0] == L'\\' || text[0] == L'/') && (text[1] == L'\\' || text[1] == L'/');
  if (prefixed || length < kPlainPathLimit || (!drive && !network)) {
    std::memmove(out, text, static_cast<std::size_t>(length) * sizeof(wchar_t));
    return true;
  }
  for (int unit = 0; unit < length; ++unit) {
    if (text[unit] == L'/') text[unit] = L'\\';
  }
  const wchar_t* const prefix = drive ? L"\\\\?\\" : L"\\\\?\\UNC";  // UNC keeps one of the two
  const int prefixLength = drive ? 4 : 7;
  const int skipped = drive ? 0 : 1;
  std::memmove(out + prefixLength, text + skipped,
               static_cast<std::size_t>(length - skipped) * sizeof(wchar_t));
  std::memcpy(out, prefix, static_cast<std::size_t>(prefixLength) * sizeof(wchar_t));
  return true;
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

// What a failed file call's error means for the guard.
FileProblem ProblemOf(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileProblem::readOnly;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileProblem::locked;
    default:
      return FileProblem::failed;
  }
}

// Where a caller does not ask why, the answer goes here.
FileProblem unasked = FileProblem::none;

// ---- Files ----

// Opens the file at the wide path for reading, letting others read, write and replace it.
HANDLE OpenForReading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads the whole open file into buffer. Fails when it is not a disk file, is larger than the
// buffer (tooLarge) or cannot be read.
FileProblem ReadWhole(HANDLE file, char* buffer, std::size_t capacity, std::size_t& length) {
  LARGE_INTEGER size{};
  if (GetFileType(file) != FILE_TYPE_DISK || GetFileSizeEx(file, &size) == FALSE ||
      size.QuadPart < 0) {
    return FileProblem::failed;
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > capacity) return FileProblem::tooLarge;
  const std::size_t wanted = static_cast<std::size_t>(size.QuadPart);
  length = 0;
  while (length < wanted) {
    DWORD got = 0;
    if (ReadFile(file, buffer + length, static_cast<DWORD>(wanted - length), &got, nullptr) ==
        FALSE) {
      return ProblemOf(GetLastError());
    }
    if (got == 0) break;  // the file shrank since its size was asked
    length += got;
  }
  return FileProblem::none;
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
  // The buffer grows until the whole name fits: a cut name fills it completely.
  wchar_t* const name = widePaths[0];
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

// ---- Files the settings store reads and replaces ----

namespace os {

FileProblem ReadWholeFile(const char* path, bool forWriting, int waitMs, char* buffer,
                          std::size_t capacity, std::size_t& length, FileFacts& facts) {
  facts = FileFacts{false, true, 0};
  length = 0;
  if (!ToWide(path, widePaths[0])) return FileProblem::failed;
  if (forWriting) {
    // A file we may read but not write can still take a write that changes nothing.
    const DWORD attributes = GetFileAttributesW(widePaths[0]);
    facts.writable =
        attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
  }
  // A file another program opened without sharing it (a backup, a virus scanner, an editor)
  // refuses every open until it lets go: waited for up to waitMs.
  HANDLE file = OpenForReading(widePaths[0]);
  for (int waited = 0; file == INVALID_HANDLE_VALUE && waited < waitMs; ++waited) {
    if (GetLastError() != ERROR_SHARING_VIOLATION) break;
    Sleep(1);
    file = OpenForReading(widePaths[0]);
  }
  if (file == INVALID_HANDLE_VALUE) {
    // A missing file is created; a missing folder fails when we create the file.
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? FileProblem::none : ProblemOf(error);
  }
  facts.exists = true;
  const FileProblem problem = ReadWhole(file, buffer, capacity, length);
  CloseHandle(file);
  return problem;
}

// The replace does not keep the old file's attributes (MoveFileExW rather than ReplaceFileW):
// the settings file has none worth keeping, and a read-only one is never replaced.
FileProblem ReplaceWholeFile(const char* path, const char* temporaryPath, std::string_view text,
                             const FileFacts& /*facts*/, int waitMs) {
  if (!ToWide(path, widePaths[0]) || !ToWide(temporaryPath, widePaths[1])) {
    return FileProblem::failed;
  }
  const HANDLE file = CreateFileW(widePaths[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ProblemOf(GetLastError());
  bool written = WriteAll(file, text) && FlushFileBuffers(file) != FALSE;
  DWORD error = written ? ERROR_SUCCESS : GetLastError();
  if (CloseHandle(file) == FALSE && written) {
    written = false;
    error = GetLastError();
  }
  // Windows refuses to replace a file that another process has open, whatever it shares (a
  // reader of ours, a backup, a virus scanner): that is a lock, waited for up to waitMs as one.
  for (int waited = 0; written; ++waited) {
    if (MoveFileExW(widePaths[1], widePaths[0],
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE) {
      return FileProblem::none;
    }
    error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) error = ERROR_SHARING_VIOLATION;  // not read-only: checked
    if (error != ERROR_SHARING_VIOLATION || waited >= waitMs) break;
    Sleep(1);
  }
  DeleteFileW(widePaths[1]);
  return ProblemOf(error);
}

LockHandle TakeLock(const char* lockPath, int waitMs, FileProblem& problem) {
  problem = FileProblem::none;
  if (!ToWide(lockPath, widePaths[2])) return kNoLock;
  const HANDLE file = CreateFileW(widePaths[2], GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kNoLock;
  for (int waited = 0;; ++waited) {
    OVERLAPPED start{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start) !=
        FALSE) {
      return reinterpret_cast<LockHandle>(file);
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION || waited >= waitMs) break;
    Sleep(1);
  }
  problem = GetLastError() == ERROR_LOCK_VIOLATION ? FileProblem::locked : FileProblem::failed;
  CloseHandle(file);
  return kNoLock;
}

void ReleaseLock(LockHandle lock) {
  if (lock != kNoLock) CloseHandle(reinterpret_cast<HANDLE>(lock));
}

std::uint32_t ProcessId() { return GetCurrentProcessId(); }

bool HasEnded(std::uint32_t process) {
  const HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
  if (handle == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
  CloseHandle(handle);
  return ended;
}

std::string_view PathSeparators() { return "/\\"; }

void VisitFolder(const char* folderPath, void (*visit)(std::string_view name, void* context),
                 void* context) {
  // Every name in the folder: its path and "\*".
  if (!ToWide(folderPath, widePaths[1])) return;
  const std::size_t length = std::wcslen(widePaths[1]);
  if (length + 3 > static_cast<std::size_t>(kWidePathCapacity)) return;
  std::memcpy(widePaths[1] + length, L"\\*", 3 * sizeof(wchar_t));
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(widePaths[1], &found);
  if (search == INVALID_HANDLE_VALUE) return;
  char name[MAX_PATH * 3];
  do {
    const int nameBytes = WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name,
                                              static_cast<int>(sizeof name), nullptr, nullptr);
    if (nameBytes <= 1) continue;
    const std::string_view text(name, static_cast<std::size_t>(nameBytes - 1));
    if (text != "." && text != "..") visit(text, context);
  } while (FindNextFileW(search, &found) != FALSE);
  FindClose(search);
}

void RemoveFile(const char* path) {
  if (ToWide(path, widePaths[0])) DeleteFileW(widePaths[0]);
}

}  // namespace os

// ---- Other files ----

bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (path == nullptr || !ToWide(ResolvePath(path), widePaths[0])) return false;
  const HANDLE file = CreateFileW(widePaths[0], GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    result = ProblemOf(GetLastError());
    return false;
  }
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
  if (complete) result = FileProblem::none;
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
