// Module start-up and unload: as the library is loaded it learns where it lies, and so where its
// settings file is; as it is unloaded, settings writes still held get a last try. Each platform
// calls OnLibraryUnload from its own unload notification (posix/library_unload.cpp,
// win32/library_unload.cpp).
#pragma once

namespace zt::boundary {

// The library is being unloaded from a process that goes on: held settings writes get one short
// last try (at most 50 ms in all), after a start whose settings file was held has looked at it
// once more. Not for a process that is ending: its other threads are
// already gone, perhaps in the middle of recording a write.
void OnLibraryUnload();

}  // namespace zt::boundary
