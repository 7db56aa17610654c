// The call-script host on Windows: a stand-in for a trading terminal. It creates the windows a
// terminal has (a main window titled with the account and server, a chart frame titled with the
// symbol and period, the chart inside the frame), loads zentravo.dll with LoadLibraryA and calls
// its exports through the header's stdcall function types, as an expert advisor's imports do.
//
//   zt_callscript.exe <path of zentravo.dll> <script> [transcript file]
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "script.h"

namespace {

HWND mainWindow = nullptr;
HWND frameWindow = nullptr;
HWND chartWindow = nullptr;
HMODULE library = nullptr;
char libraryPath[MAX_PATH];  // full path: a bare name would be searched for, from our own folder

void SetTitles(const char* frameTitle, const char* mainTitle) {
  SetWindowTextA(frameWindow, frameTitle == nullptr ? "" : frameTitle);
  SetWindowTextA(mainWindow, mainTitle == nullptr ? "" : mainTitle);
}

bool CreateTerminalWindows(HINSTANCE instance) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "ZentravoCallScriptHost";
  if (RegisterClassA(&windowClass) == 0) return false;
  mainWindow = CreateWindowExA(0, windowClass.lpszClassName, zt::callscript::kDefaultMainTitle,
                               WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr,
                               nullptr, instance, nullptr);
  if (mainWindow == nullptr) return false;
  frameWindow = CreateWindowExA(0, windowClass.lpszClassName, zt::callscript::kDefaultFrameTitle,
                                WS_CHILD | WS_CAPTION, 0, 0, 600, 400, mainWindow, nullptr,
                                instance, nullptr);
  if (frameWindow == nullptr) return false;
  chartWindow = CreateWindowExA(0, windowClass.lpszClassName, "", WS_CHILD, 0, 0, 580, 360,
                                frameWindow, nullptr, instance, nullptr);
  return chartWindow != nullptr;
}

// Loads the library and binds the exports; prints why not and returns false on failure.
bool Load(zt::callscript::Exports& exports) {
  library = LoadLibraryA(libraryPath);
  if (library == nullptr) {
    std::cerr << "cannot load " << libraryPath << ": error " << GetLastError() << '\n';
    return false;
  }
  const char* missing = zt::tools::BindExports(exports, [](const char* name) {
    return reinterpret_cast<void (*)()>(GetProcAddress(library, name));
  });
  if (missing != nullptr) {
    std::cerr << libraryPath << " does not export " << missing << '\n';
    return false;
  }
  return true;
}

// The windows and their titles stay; only the library goes and comes back.
bool Reload(zt::callscript::Exports& exports) {
  if (FreeLibrary(library) == FALSE) return false;
  library = nullptr;
  return Load(exports);
}

DWORD WINAPI DoNothing(LPVOID) { return 0; }

void RunThread() {
  const HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
  if (thread == nullptr) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

}  // namespace

int main(int argc, char** argv) {
  // The transcript is compared byte for byte with the Linux runner's: no CR LF translation.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 3 || argc > 4) {
    std::cerr << "usage: zt_callscript.exe <zentravo.dll> <script> [transcript]\n";
    return 2;
  }
  if (!CreateTerminalWindows(GetModuleHandleA(nullptr))) {
    std::cerr << "cannot create the terminal windows\n";
    return 2;
  }
  const DWORD fullLength = GetFullPathNameA(argv[1], MAX_PATH, libraryPath, nullptr);
  if (fullLength == 0 || fullLength >= MAX_PATH) {
    std::cerr << "cannot resolve " << argv[1] << '\n';
    return 2;
  }
  zt::callscript::Host host{};
  if (!Load(host.exports)) return 2;
  // A terminal passes window handles as 32-bit ints.
  host.chartHandle = static_cast<int>(reinterpret_cast<std::intptr_t>(chartWindow));
  host.setTitles = SetTitles;
  host.reload = Reload;
  host.runThread = RunThread;
  host.libraryPath = libraryPath;

  const int result = zt::callscript::RunScriptFile(argv[2], argc == 4 ? argv[3] : nullptr, host);
  DestroyWindow(mainWindow);
  FreeLibrary(library);
  return result;
}
