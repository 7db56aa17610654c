// The call-script host on Windows: a stand-in for a trading terminal. It creates the windows a
// terminal has (a main window titled with the account and server, a chart frame titled with the
// symbol and period, the chart inside the frame), loads zentravo.dll with LoadLibraryW and calls
// its exports through the header's stdcall function types, as an expert advisor's imports do.
// Its arguments are read as UTF-16, so a library in any folder (a user name in any script, a path
// past 260 characters) loads as a terminal would load it.
//
//   zt_callscript.exe <path of zentravo.dll> <script> [transcript file]
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "script.h"

namespace {

HWND mainWindow = nullptr;
HWND frameWindow = nullptr;
HWND chartWindow = nullptr;
HMODULE library = nullptr;
// Full path: a bare name would be searched for, from our own folder. Long ones get the prefix.
std::wstring libraryPath;

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
  library = LoadLibraryW(libraryPath.c_str());
  if (library == nullptr) {
    std::cerr << "cannot load the library: error " << GetLastError() << '\n';
    return false;
  }
  const char* missing = zt::tools::BindExports(exports, [](const char* name) {
    return reinterpret_cast<void (*)()>(GetProcAddress(library, name));
  });
  if (missing != nullptr) {
    std::cerr << "the library does not export " << missing << '\n';
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

std::string Utf8Of(const std::wstring& text);

// The files in folder, by the wide find calls, which take the long-path prefix.
std::vector<std::string> ListFolder(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder.wstring() + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(Utf8Of(found.cFileName));
  } while (FindNextFileW(search, &found) != FALSE);
  FindClose(search);
  return names;
}

// Another program's handle on the settings file, opened without sharing: while it is open, no
// one else may read, write, rename over or delete the file.
HANDLE heldSettings = INVALID_HANDLE_VALUE;

bool HoldSettings(const std::filesystem::path& settings, bool hold) {
  if (hold == (heldSettings != INVALID_HANDLE_VALUE)) return false;
  if (!hold) {
    CloseHandle(heldSettings);
    heldSettings = INVALID_HANDLE_VALUE;
    return true;
  }
  heldSettings = CreateFileW(settings.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  return heldSettings != INVALID_HANDLE_VALUE;
}

bool MarkReadOnly(const std::filesystem::path& settings, bool readOnly) {
  const DWORD attributes = GetFileAttributesW(settings.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  const DWORD marked = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY)
                                : (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return SetFileAttributesW(settings.c_str(), marked) != FALSE;
}

// UTF-16 to UTF-8.
std::string Utf8Of(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// The full path of name, with the long-path prefix when it is past the plain form's limit.
bool FullPathOf(const wchar_t* name, std::wstring& full) {
  full.assign(32768, L'\0');
  const DWORD length =
      GetFullPathNameW(name, static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return false;
  full.resize(length);
  if (full.size() >= MAX_PATH - 12 && full.rfind(L"\\\\", 0) != 0) full.insert(0, L"\\\\?\\");
  return true;
}

}  // namespace

int main() {
  // The transcript is compared byte for byte with the Linux runner's: no CR LF translation.
  _setmode(_fileno(stdout), _O_BINARY);
  int argc = 0;
  wchar_t** const wideArguments = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (wideArguments == nullptr || argc < 3 || argc > 4) {
    std::cerr << "usage: zt_callscript.exe <zentravo.dll> <script> [transcript]\n";
    return 2;
  }
  if (!CreateTerminalWindows(GetModuleHandleW(nullptr))) {
    std::cerr << "cannot create the terminal windows\n";
    return 2;
  }
  if (!FullPathOf(wideArguments[1], libraryPath)) {
    std::cerr << "cannot resolve the library's path\n";
    return 2;
  }
  zt::callscript::Exports exports{};
  if (!Load(exports)) return 2;
  // A terminal passes window handles as 32-bit ints.
  const zt::callscript::Host host{
      .exports = exports,
      .chartHandle = static_cast<int>(reinterpret_cast<std::intptr_t>(chartWindow)),
      .setTitles = SetTitles,
      .reload = Reload,
      .runThread = RunThread,
      .libraryPath = Utf8Of(libraryPath),
      .listFolder = ListFolder,
      .holdSettings = HoldSettings,
      .markReadOnly = MarkReadOnly};
  const std::string script = Utf8Of(wideArguments[2]);
  const std::string transcript = argc == 4 ? Utf8Of(wideArguments[3]) : std::string();

  const int result =
      zt::callscript::RunScriptFile(script.c_str(), argc == 4 ? transcript.c_str() : nullptr, host);
  if (heldSettings != INVALID_HANDLE_VALUE) CloseHandle(heldSettings);
  DestroyWindow(mainWindow);
  FreeLibrary(library);
  return result;
}
