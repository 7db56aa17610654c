// The file services of the platform seam on Windows: one attempt per call (file_system.h), the
// store's rules being in settings/profile_store.cpp, and the new text files of platform.h. Our own
// private-profile store replaces the system's service, whose ANSI paths cannot name every folder
// a user has and which can neither replace a file atomically nor keep two writers apart. Every
// path arrives as UTF-8 and is opened as UTF-16, with the long-path prefix where needed. Mirrors
// file_system_posix.cpp: same order, same helpers.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <cstdint>
#include <cstring>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace zt::platform {
namespace {

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
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FileProblem::exists;
    default:
      return FileProblem::failed;
  }
}

// Where a caller does not ask why, the answer goes here.
FileProblem unasked = FileProblem::none;

// Every sharing there is: we never keep another program (or another guard) from a file.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens the file at the wide path for reading, letting others read, write and replace it.
HANDLE OpenForReading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
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

// Writes text to the open file with CR LF line ends ("\n" goes out as "\r\n"). A chunk ends
// before it could overflow by the CR.
bool WriteTextMode(HANDLE file, std::string_view text) {
  constexpr std::size_t kWriteChunk = 1024;
  char chunk[kWriteChunk];
  std::size_t used = 0;
  for (const char character : text) {
    if (used + 2 > sizeof chunk) {
      if (!WriteAll(file, std::string_view(chunk, used))) return false;
      used = 0;
    }
    if (character == '\n') chunk[used++] = '\r';
    chunk[used++] = character;
  }
  return WriteAll(file, std::string_view(chunk, used));
}

// Closes a file just written; written says whether writing and flushing it went through. A file
// not written whole, or one that would not close, is removed: cut short, it would read as complete.
FileProblem CloseWritten(HANDLE file, const wchar_t* path, bool written) {
  DWORD error = written ? ERROR_SUCCESS : GetLastError();
  if (CloseHandle(file) == FALSE && written) {
    written = false;
    error = GetLastError();
  }
  if (written) return FileProblem::none;
  DeleteFileW(path);
  return ProblemOf(error);
}

// Creates a new file at the wide path holding text, CR LF line ends when textMode, flushed to the
// disk before it is closed; exists when path is taken. A file cut short (a full disk) is worse
// than none, since it would read as complete: a failed write removes what it wrote (and is never
// answered exists).
FileProblem CreateNewFile(const wchar_t* path, std::string_view text, bool textMode) {
  const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ProblemOf(GetLastError());
  const FileProblem problem = CloseWritten(
      file, path,
      (textMode ? WriteTextMode(file, text) : WriteAll(file, text)) && FlushFileBuffers(file) != FALSE);
  return problem == FileProblem::exists ? FileProblem::failed : problem;
}

}  // namespace

// ---- Files the settings store reads and replaces ----

namespace os {

FileProblem ReadWholeFile(const char* path, bool forWriting, char* buffer, std::size_t capacity,
                          std::size_t& length, FileFacts& facts) {
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
  // refuses every open until it lets go: locked.
  const HANDLE file = OpenForReading(widePaths[0]);
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
FileProblem WriteTemporaryFile(const char* temporaryPath, std::string_view text,
                               const FileFacts& /*facts*/) {
  if (!ToWide(temporaryPath, widePaths[1])) return FileProblem::failed;
  const HANDLE file = CreateFileW(widePaths[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ProblemOf(GetLastError());
  return CloseWritten(file, widePaths[1], WriteAll(file, text) && FlushFileBuffers(file) != FALSE);
}

FileProblem WriteNewFile(const char* path, std::string_view bytes) {
  if (!ToWide(path, widePaths[0])) return FileProblem::failed;
  return CreateNewFile(widePaths[0], bytes, false);
}

// Windows refuses to replace a file another process has open, whatever it shares (a reader of
// ours, a backup, a virus scanner), with a sharing violation or with access denied: both are
// taken as a holder here, and WhyRefused tells a refusal for good apart once the store stops
// trying.
FileProblem RenameOver(const char* temporaryPath, const char* path) {
  if (!ToWide(path, widePaths[0]) || !ToWide(temporaryPath, widePaths[1])) {
    return FileProblem::failed;
  }
  if (MoveFileExW(widePaths[1], widePaths[0], MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
      FALSE) {
    return FileProblem::none;
  }
  const DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED ? FileProblem::locked : ProblemOf(error);
}

// Asks for the one access a replace needs, delete, with every sharing: a holder that shares no
// delete answers a sharing violation, while permissions (an elevated program's file, Controlled
// Folder Access) answer access denied.
FileProblem WhyRefused(const char* path) {
  if (!ToWide(path, widePaths[0])) return FileProblem::failed;
  const HANDLE file = CreateFileW(widePaths[0], DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return FileProblem::locked;  // let go in the meantime, or refused only while it was held
  }
  const DWORD error = GetLastError();
  if (error != ERROR_ACCESS_DENIED) return ProblemOf(error);
  const DWORD attributes = GetFileAttributesW(widePaths[0]);
  const bool marked = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return marked ? FileProblem::readOnly : FileProblem::noPermission;
}

// LockFileEx needs only read access: a lock file that a backup or sync tool holds open for
// reading, sharing only reading, still takes our lock.
LockHandle OpenLockFile(const char* lockPath, FileProblem& problem) {
  problem = FileProblem::none;
  if (!ToWide(lockPath, widePaths[2])) {
    problem = FileProblem::failed;
    return kNoLock;
  }
  const HANDLE file = CreateFileW(widePaths[2], GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem = ProblemOf(GetLastError());
    return kNoLock;
  }
  return reinterpret_cast<LockHandle>(file);
}

bool TryLock(LockHandle lock) {
  OVERLAPPED start{};
  return LockFileEx(reinterpret_cast<HANDLE>(lock), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                    0, 1, 0, &start) != FALSE;
}

// Closing the handle lets go of its lock.
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

bool RemoveFile(const char* path) {
  if (!ToWide(path, widePaths[0])) return false;
  return DeleteFileW(widePaths[0]) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::uint64_t MonotonicMs() { return GetTickCount64(); }

void Pause() { Sleep(1); }

}  // namespace os

// ---- Other files ----

bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (path == nullptr || !ToWide(ResolvePath(path), widePaths[0])) return false;
  result = CreateNewFile(widePaths[0], text, true);
  return result == FileProblem::none;
}

}  // namespace zt::platform
