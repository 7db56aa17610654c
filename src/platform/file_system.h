// What the settings store (settings/profile_store.cpp) asks of the operating system: read a whole file,
// write a flushed temporary file and put it in place of another in one step, write a new file,
// lock a lock file across processes, find the leftovers of killed writers, and a clock for
// deadlines. Every call here is one attempt that answers at once: how long to keep trying, and
// what to make of a refusal, are the store's rules, the same on every platform.
// file_system_posix.cpp and file_system_win32.cpp each define these over their own calls (and the
// other file services of platform.h); a test build may define them over a file system of its own.
// Only the settings store includes this header above platform/.
//
// Paths are UTF-8 and already resolved (see ResolvePath); the Windows side opens them as UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace zt::platform {

// The path a file service opens for path: the location KeepFullLocation keeps where path starts
// with its short form, else path itself. Null when the result does not fit kPathCapacity.
const char* ResolvePath(const char* path);

namespace os {

// What a read learnt about a file that a rewrite of it needs.
struct FileFacts {
  bool exists;         // the file was there
  bool writable;       // missing, or we may write it
  std::uint32_t mode;  // its permission bits, which a rewrite keeps (POSIX only)
};

// Reads the whole file at path into buffer (capacity bytes); length receives how much. A missing
// file reads as none with facts.exists false (a write creates it). forWriting: also learn whether
// it may be written, for a rewrite; a plain read opens it for reading only. A file larger than
// capacity is tooLarge and left unread; a folder or device is failed. A file another program
// holds without sharing it (Windows) is locked.
FileProblem ReadWholeFile(const char* path, bool forWriting, char* buffer, std::size_t capacity,
                          std::size_t& length, FileFacts& facts);

// Writes text into a new file at temporaryPath, flushes it to the disk and closes it. facts are
// those of the file it will replace: an existing file's permission bits are given to it. On
// failure it tries to remove what it wrote; temporaryPath may still exist after a failure (the
// caller then removes it later).
FileProblem WriteTemporaryFile(const char* temporaryPath, std::string_view text,
                               const FileFacts& facts);

// Creates a new file at path holding bytes exactly, flushed to the disk, and closes it. Never
// replaces a file: exists when path is taken. A write that fails part way removes what it wrote.
FileProblem WriteNewFile(const char* path, std::string_view bytes);

// Puts the file at temporaryPath in place of the one at path, in one step, so that a crash leaves
// the old file or the new one. locked: refused for the moment, as Windows refuses to replace a
// file another program holds open (and may also answer a refusal for good so); the store asks
// WhyRefused once it stops trying. temporaryPath stays where it is on failure.
FileProblem RenameOver(const char* temporaryPath, const char* path);

// Why replaces of path kept being refused: locked when another program holds it (a later call may
// succeed), noPermission when we may not replace it at all, readOnly when it is marked so.
FileProblem WhyRefused(const char* path);

// A lock across processes on the file at lockPath: an exclusive lock on its first byte.
using LockHandle = std::intptr_t;
constexpr LockHandle kNoLock = -1;

// Opens the lock file, made if missing, with the access the lock needs and the widest sharing, so
// that a backup or sync tool reading it does not keep us out. kNoLock when it cannot be opened:
// problem says why (readOnly: a folder we may not write; locked: held without sharing).
LockHandle OpenLockFile(const char* lockPath, FileProblem& problem);
// One try at the lock on the open lock file: false when another process holds it.
bool TryLock(LockHandle lock);
// Lets go of the lock, if taken, and closes the lock file (kNoLock is ignored).
void ReleaseLock(LockHandle lock);

// This process's id, which names its temporary files.
std::uint32_t ProcessId();

// Whether the process is known to have ended (or never existed): one we may not ask about is
// taken as running.
bool HasEnded(std::uint32_t process);

// The characters that end a folder's name in a path: "/" on POSIX, "/" and "\" on Windows.
std::string_view PathSeparators();

// Calls visit with each name in the folder at folderPath (not "." or ".."); failures end the
// walk quietly. RemoveFile deletes the file at path (true when it is gone); removing an entry
// during the walk is safe.
void VisitFolder(const char* folderPath, void (*visit)(std::string_view name, void* context),
                 void* context);
bool RemoveFile(const char* path);

// Milliseconds on a clock that only moves forward (not the calendar), for deadlines.
std::uint64_t MonotonicMs();
// Gives the processor away for about a millisecond (on Windows for a timer tick, up to 16 ms):
// waits are deadlines on MonotonicMs, never counts of pauses.
void Pause();

}  // namespace os
}  // namespace zt::platform
