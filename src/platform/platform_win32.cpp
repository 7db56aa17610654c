// The platform seam on Windows: the real kernel and user-interface services a terminal process
// offers. The settings file is kept by our own private-profile store (ini_text.cpp), byte for byte
// what the system's service writes, over wide-character file calls: the service's ANSI paths
// cannot name every folder a user has, and it can neither replace a file atomically nor keep two
// writers apart. Every path arrives as UTF-8 and is opened as UTF-16, with the long-path prefix
// where needed. Mirrors platform_posix.cpp: same order, same helpers.
//
// As there, the file images live in fixed static buffers (no allocation, not reentrant), and a
// file larger than the buffer is never touched.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/fixed_clock.h"
#include "platform/ini_text.h"
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

// Copies text into out (capacity bytes, > 0), cut to fit, always terminated. Returns the number
// of characters copied: less than text.size() when the text was cut.
std::size_t CopyText(std::string_view text, char* out, std::size_t capacity) {
  const std::size_t length = text.size() < capacity ? text.size() : capacity - 1;
  if (length > 0) std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return length;
}

// ---- Paths ----

// The location KeepFullLocation remembers, and the path a file service opens.
char keptShortForm[kPathCapacity];
char keptFullForm[kPathCapacity];
char resolvedPath[kPathCapacity];

// The path a file service opens for path: the kept full location where path starts with its
// short form, else path itself. Null when the result does not fit.
const char* Resolve(const char* path) {
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

// ---- Private-profile (INI) files ----

// Largest settings file we read or write, as on POSIX.
constexpr std::size_t kProfileFileCapacity = std::size_t{4} << 20;

// Longest path of the temporary file, NUL included.
constexpr std::size_t kProfilePathCapacity = kPathCapacity;

// What a temporary file's name adds to the settings file's: ".<process id>.tmp".
constexpr std::string_view kTemporarySuffix = ".tmp";

// What the lock file's name adds to the settings file's. The lock file stays once made: removing
// it could let a second writer lock a new file while a third still holds the old one.
constexpr std::string_view kLockSuffix = ".lock";

// Longest wait for another process's lock, in milliseconds, polled every millisecond. A write is
// the guard's answer to an event (a close-all, a step), on the host's tick thread: a writer holds
// the lock for one small file's rewrite, well under this.
constexpr int kLockWaitMs = 20;

// Two file images: the one read from disk, and the rewrite (see ini::ApplyWrites).
char images[2][kProfileFileCapacity];
char temporaryPath[kProfilePathCapacity];
char lockPath[kProfilePathCapacity];

// Opens the file at the wide path for reading, letting others read, write and replace it.
HANDLE OpenForReading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads the whole open file into buffer. Fails when it is not a disk file, is larger than the
// buffer (tooLarge) or cannot be read.
FileProblem ReadWhole(HANDLE file, char* buffer, std::size_t& length) {
  LARGE_INTEGER size{};
  if (GetFileType(file) != FILE_TYPE_DISK || GetFileSizeEx(file, &size) == FALSE ||
      size.QuadPart < 0) {
    return FileProblem::failed;
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > kProfileFileCapacity) return FileProblem::tooLarge;
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

// Opens and reads the file at path for reading only. False when it is missing or unusable.
bool LoadForReading(const char* path, std::string_view& image) {
  if (path == nullptr || *path == '\0') return false;
  path = Resolve(path);
  if (!ToWide(path, widePaths[0])) return false;
  const HANDLE file = OpenForReading(widePaths[0]);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::size_t length = 0;
  const bool loaded = ReadWhole(file, images[0], length) == FileProblem::none;
  CloseHandle(file);
  image = std::string_view(images[0], length);
  return loaded && !ini::IsUtf16(image);
}

// The temporary file beside path: path.<process id>.tmp, so that two processes never write into
// the same one. False when the name does not fit.
bool MakeTemporaryPath(const char* path) {
  const std::size_t length = std::strlen(path);
  char* const end = temporaryPath + kProfilePathCapacity;
  if (length + 1 >= kProfilePathCapacity) return false;
  std::memcpy(temporaryPath, path, length);
  char* cursor = temporaryPath + length;
  *cursor++ = '.';
  const std::to_chars_result digits = std::to_chars(cursor, end, GetCurrentProcessId());
  if (digits.ec != std::errc{}) return false;
  if (static_cast<std::size_t>(end - digits.ptr) < kTemporarySuffix.size() + 1) return false;
  std::memcpy(digits.ptr, kTemporarySuffix.data(), kTemporarySuffix.size());
  digits.ptr[kTemporarySuffix.size()] = '\0';
  return true;
}

// Replaces the file at path (wide form in widePaths[0], not read-only) by text through a flushed
// temporary file and one atomic rename, so a crash leaves either the old file or the new one,
// never a part of one. On failure the temporary file is removed and the old file is unchanged.
FileProblem ReplaceWholeFile(const char* path, std::string_view text, int waitMs) {
  if (!MakeTemporaryPath(path) || !ToWide(temporaryPath, widePaths[1])) return FileProblem::failed;
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

// path + suffix into out (kProfilePathCapacity bytes). False when it does not fit.
bool MakeSiblingPath(const char* path, std::string_view suffix, char* out) {
  const std::size_t length = std::strlen(path);
  if (length + suffix.size() >= kProfilePathCapacity) return false;
  std::memcpy(out, path, length);
  std::memcpy(out + length, suffix.data(), suffix.size());
  out[length + suffix.size()] = '\0';
  return true;
}

// Takes the lock of the settings file at path across processes: an exclusive byte-range lock on
// its lock file, waiting at most waitMs for another holder. Returns the lock file's handle
// (closing it lets go), or INVALID_HANDLE_VALUE: with problem locked when another process kept
// it, none when no lock file can be made (a folder we may not write, where the rewrite cannot
// land either).
HANDLE TakeLock(const char* path, int waitMs, FileProblem& problem) {
  problem = FileProblem::none;
  if (!MakeSiblingPath(path, kLockSuffix, lockPath) || !ToWide(lockPath, widePaths[2])) {
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE file = CreateFileW(widePaths[2], GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  for (int waited = 0;; ++waited) {
    OVERLAPPED start{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start) !=
        FALSE) {
      return file;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION || waited >= waitMs) break;
    Sleep(1);
  }
  problem = GetLastError() == ERROR_LOCK_VIOLATION ? FileProblem::locked : FileProblem::failed;
  CloseHandle(file);
  return INVALID_HANDLE_VALUE;
}

// The process id in a temporary file's name, "<settings file name>.<digits>.tmp"; 0 when name is
// not one of ours.
DWORD WriterOf(std::string_view name, std::string_view settingsName) {
  if (!name.starts_with(settingsName) || !name.ends_with(kTemporarySuffix)) return 0;
  name.remove_prefix(settingsName.size());
  name.remove_suffix(kTemporarySuffix.size());
  if (name.size() < 2 || name.front() != '.') return 0;
  name.remove_prefix(1);
  DWORD writer = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), writer);
  if (error != std::errc{} || end != name.data() + name.size() || writer == 0) return 0;
  return writer;
}

// Whether the process is known to have ended (or never existed). A process we may not open is
// taken as running.
bool HasEnded(DWORD process) {
  const HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
  if (handle == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
  CloseHandle(handle);
  return ended;
}

// One read-modify-write's first two steps: the file (wide path in widePaths[0]) read, the
// entries applied.
struct Rewrite {
  FileProblem problem;    // none: text holds the new file, or is empty when nothing changes
  std::string_view text;  // inside images
  bool writable;          // the file is missing or may be written
};

// The entries are either count entries of section, or (writes not null) count writes across
// sections.
Rewrite RewriteOf(std::string_view section, const ProfileEntry* entries,
                  const ProfileWrite* writes, int count) {
  Rewrite rewrite{FileProblem::none, {}, true};
  // A file we may read but not write can still take a write that changes nothing.
  const DWORD attributes = GetFileAttributesW(widePaths[0]);
  rewrite.writable =
      attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
  std::size_t length = 0;
  const HANDLE file = OpenForReading(widePaths[0]);
  if (file != INVALID_HANDLE_VALUE) {
    rewrite.problem = ReadWhole(file, images[0], length);
    CloseHandle(file);
    if (rewrite.problem != FileProblem::none) return rewrite;
  } else if (const DWORD error = GetLastError(); error != ERROR_FILE_NOT_FOUND) {
    rewrite.problem = ProblemOf(error);
    return rewrite;  // a missing file is created; a missing folder fails when we create the file
  }
  const ini::WorkBuffers buffers{images[0], images[1], kProfileFileCapacity};
  const ini::WriteOutcome outcome =
      writes != nullptr
          ? ini::ApplyWritesAcross(buffers, length, writes, count, rewrite.text)
          : ini::ApplyWrites(buffers, length, section, entries, count, rewrite.text);
  switch (outcome) {
    case ini::WriteOutcome::unchanged:
    case ini::WriteOutcome::changed:
      break;
    case ini::WriteOutcome::refused:
      rewrite.problem = ini::IsUtf16(std::string_view(images[0], length)) ? FileProblem::foreignText
                                                                          : FileProblem::failed;
      break;
    case ini::WriteOutcome::tooLarge:
      rewrite.problem = FileProblem::tooLarge;
      break;
  }
  return rewrite;
}

// One read-modify-write of the file at path under the lock: WriteProfileStrings and
// WriteProfile.
bool WriteEntries(const char* path, std::string_view section, const ProfileEntry* entries,
                  const ProfileWrite* writes, int count, int waitMs, FileProblem& result) {
  if (path == nullptr || *path == '\0' || count < 0) return false;
  path = Resolve(path);
  if (path == nullptr || !ToWide(path, widePaths[0])) return false;
  // Most writes change nothing (the guard writes a value whenever it may have changed): those
  // need neither the lock nor write access.
  Rewrite rewrite = RewriteOf(section, entries, writes, count);
  if (rewrite.problem != FileProblem::none || rewrite.text.empty()) {
    result = rewrite.problem;
    return result == FileProblem::none;
  }
  if (!rewrite.writable) {
    result = FileProblem::readOnly;
    return false;
  }
  // A change: under the lock, from the file as it is now (another process may have rewritten
  // it since), so that two writers never lose each other's keys.
  const HANDLE lock = TakeLock(path, waitMs, result);
  if (result != FileProblem::none) return false;
  rewrite = RewriteOf(section, entries, writes, count);
  result = rewrite.problem;
  if (result == FileProblem::none && !rewrite.text.empty()) {
    result = rewrite.writable ? ReplaceWholeFile(path, rewrite.text, waitMs) : FileProblem::readOnly;
  }
  if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
  return result == FileProblem::none;
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

bool KeepFullLocation(std::string_view shortForm, std::string_view fullForm) {
  keptShortForm[0] = '\0';
  keptFullForm[0] = '\0';
  if (shortForm.empty() || fullForm.size() >= kPathCapacity || shortForm.size() >= kPathCapacity) {
    return shortForm.empty();
  }
  CopyText(fullForm, keptFullForm, kPathCapacity);
  CopyText(shortForm, keptShortForm, kPathCapacity);
  return true;
}

// ---- Private-profile (INI) files ----

int ReadProfileString(const char* path, std::string_view section, std::string_view key,
                      std::string_view fallback, char* out) {
  std::string_view value = ini::TrimEnd(fallback);  // the service trims only the fallback's end
  std::string_view image;
  if (LoadForReading(path, image)) {
    const ini::Found found = ini::FindValue(image, section, key);
    if (found.found) value = found.value;
  }
  return static_cast<int>(CopyText(value, out, static_cast<std::size_t>(kProfileValueCapacity)));
}

int ReadProfileInt(const char* path, std::string_view section, std::string_view key,
                   int fallback) {
  char text[kProfileValueCapacity];
  const int length = ReadProfileString(path, section, key, "", text);
  return ini::IntegerOf(std::string_view(text, static_cast<std::size_t>(length)), fallback);
}

bool WriteProfileStrings(const char* path, std::string_view section, const ProfileEntry* entries,
                         int count, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (count > 0 && entries == nullptr) return false;
  return WriteEntries(path, section, entries, nullptr, count, kLockWaitMs, result);
}

bool WriteProfile(const char* path, const ProfileWrite* writes, int count, FileProblem* problem,
                  bool wait) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (count > 0 && writes == nullptr) return false;
  return WriteEntries(path, {}, nullptr, writes, count, wait ? kLockWaitMs : 0, result);
}

void RemoveAbandonedWrites(const char* path) {
  if (path == nullptr || *path == '\0') return;
  path = Resolve(path);
  if (path == nullptr) return;
  const std::string_view whole(path);
  const std::size_t slash = whole.find_last_of("/\\");
  if (slash == std::string_view::npos || slash + 1 >= whole.size()) return;
  const std::string_view settingsName = whole.substr(slash + 1);
  // Every name "<settings file name>.*.tmp" in the folder, through the temporary-path buffer that
  // no write is using now.
  constexpr std::string_view kAnyWriter = ".*";
  if (whole.size() + kAnyWriter.size() + kTemporarySuffix.size() >= kProfilePathCapacity) return;
  std::memcpy(temporaryPath, whole.data(), whole.size());
  std::memcpy(temporaryPath + whole.size(), kAnyWriter.data(), kAnyWriter.size());
  std::memcpy(temporaryPath + whole.size() + kAnyWriter.size(), kTemporarySuffix.data(),
              kTemporarySuffix.size());
  temporaryPath[whole.size() + kAnyWriter.size() + kTemporarySuffix.size()] = '\0';
  if (!ToWide(temporaryPath, widePaths[1])) return;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(widePaths[1], &found);
  if (search == INVALID_HANDLE_VALUE) return;
  char name[MAX_PATH * 3];
  do {
    const int nameBytes = WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name,
                                              static_cast<int>(sizeof name), nullptr, nullptr);
    if (nameBytes <= 1) continue;
    const DWORD writer = WriterOf(std::string_view(name, static_cast<std::size_t>(nameBytes - 1)),
                                  settingsName);
    // Our own id cannot be a write in progress, since this runs between calls; it is a leftover
    // of an earlier process that had the same id.
    if (writer == 0 || (writer != GetCurrentProcessId() && !HasEnded(writer))) continue;
    if (slash + 1 + static_cast<std::size_t>(nameBytes) > kProfilePathCapacity) continue;
    std::memcpy(temporaryPath, path, slash + 1);
    std::memcpy(temporaryPath + slash + 1, name, static_cast<std::size_t>(nameBytes));
    if (ToWide(temporaryPath, widePaths[0])) DeleteFileW(widePaths[0]);
  } while (FindNextFileW(search, &found) != FALSE);
  FindClose(search);
}

// ---- Other files ----

bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (!ToWide(Resolve(path), widePaths[0])) return false;
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
