// The library's own DllMain. The loader calls it under its loader lock: at a FreeLibrary the
// held settings writes get their short last try (the expert advisors commit in their deinit, so
// a normal unload never depends on this); when the process is ending (reserved not null) the
// other threads are already gone, perhaps half-way through recording a write, so nothing is
// done. The C runtime's exit functions are not used for this: they run in both cases.
#include "boundary/module.h"

namespace {
constexpr unsigned long kProcessDetach = 0;  // DLL_PROCESS_DETACH
}  // namespace

// The loader's entry point, as the C runtime's DllMainCRTStartup calls it (BOOL WINAPI DllMain(
// HINSTANCE, DWORD, LPVOID)); declared without the system headers, which only the platform seam
// includes.
extern "C" int __stdcall DllMain(void* /*module*/, unsigned long reason, void* reserved) {
  if (reason == kProcessDetach && reserved == nullptr) zt::boundary::OnLibraryUnload();
  return 1;
}
