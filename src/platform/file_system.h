// What the settings store (profile_store.cpp) asks of the operating system: read a whole file,
// replace one through a flushed temporary file, lock a lock file across processes, and find the
// leftovers of killed writers. platform_posix.cpp and platform_win32.cpp each define these over
// their own calls; everything about INI text, held paths, names and waiting rules is the store's.
// Inside the seam only: nothing above platform/ includes this header.
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
// holds without sharing it (Windows) is tried again for up to waitMs, then reported locked.
FileProblem ReadWholeFile(const char* path, bool forWriting, int waitMs, char* buffer,
                          std::size_t capacity, std::size_t& length, FileFacts& facts);

// Replaces the file at path by text: writes and flushes temporaryPath, then renames it over path
// in one step, so a crash leaves the old file or the new one, never a part of one. facts are
// those of the read that made text: an existing file's permission bits survive. A replace another
// program refuses for the moment (Windows: a file held open) is tried again for up to waitMs.
// On failure the temporary file is removed and the old file is unchanged.
FileProblem ReplaceWholeFile(const char* path, const char* temporaryPath, std::string_view text,
                             const FileFacts& facts, int waitMs);

// A lock across processes on the file at lockPath, made if missing: an exclusive lock on its
// first byte, waiting at most waitMs (polled every millisecond) for another holder.
using LockHandle = std::intptr_t;
constexpr LockHandle kNoLock = -1;

// Returns the lock, or kNoLock: with problem locked when another process kept it, none when the
// lock file cannot be made (a folder we may not write, where the rewrite cannot land either),
// failed otherwise. ReleaseLock lets go (kNoLock is ignored).
LockHandle TakeLock(const char* lockPath, int waitMs, FileProblem& problem);
void ReleaseLock(LockHandle lock);

// This process's id, which names its temporary files.
std::uint32_t ProcessId();

// Whether the process is known to have ended (or never existed): one we may not ask about is
// taken as running.
bool HasEnded(std::uint32_t process);

// The characters that end a folder's name in a path: "/" on POSIX, "/" and "\" on Windows.
std::string_view PathSeparators();

// Calls visit with each name in the folder at folderPath (not "." or ".."); failures end the
// walk quietly. RemoveFile deletes the file at path; removing an entry during the walk is safe.
void VisitFolder(const char* folderPath, void (*visit)(std::string_view name, void* context),
                 void* context);
void RemoveFile(const char* path);

}  // namespace os
}  // namespace zt::platform
