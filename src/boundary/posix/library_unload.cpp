// The library's unload notification on POSIX systems: an exit function of the library's own,
// which the C runtime calls as the library is unloaded (dlclose) or the process exits normally
// (from exit, on the thread that called it).
#include <cstdlib>

#include "boundary/module.h"

namespace {

void Unloading() { zt::boundary::OnLibraryUnload(); }

[[maybe_unused]] const bool registered = std::atexit(Unloading) == 0;

}  // namespace
