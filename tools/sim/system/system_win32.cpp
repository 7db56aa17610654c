// The simulator's system services on Windows: CreateProcessW in a job object for the runs, the
// console's control handler and an event per run for the stop request, LoadLibraryW for
// --library, the console's mode for the progress line, ShellExecuteW for --open. Every name
// crosses here as UTF-16; the program holds UTF-8.
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <stdexcept>

#include "system/chart_windows.h"
#include "system/console.h"
#include "system/output_files.h"
#include "system/processes.h"
#include "system/shared_library.h"
#include "system/stop_request.h"

namespace zt::sim::system {
namespace {

// The environment variable by which a run learns the event its parent sets to stop it.
constexpr const wchar_t* kStopEventVariable = L"ZT_SIM_STOP_EVENT";

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Narrow(const wchar_t* wide, std::size_t length) {
  if (length == 0) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), utf8.data(), size, nullptr,
                      nullptr);
  return utf8;
}

// The system's words for an error code, without the line feed it ends them with.
std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? Narrow(text, length) : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}

// One argument as CommandLineToArgvW (and every C runtime) splits it back out: quoted when it
// holds a blank or a quote, backslashes doubled only before a quote.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
  if (!line.empty()) line += L' ';
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// A file a run writes into, open for it to inherit.
HANDLE InheritedFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE file = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot open " + path + ": " + SystemMessage(GetLastError()));
  return file;
}

// Every run belongs to this job, which ends them all when this program ends however it ends (the
// system closes the job's last handle): a stopped or killed lab leaves no run behind.
HANDLE RunsJob() {
  static const HANDLE job = [] {
    const HANDLE made = CreateJobObjectW(nullptr, nullptr);
    if (made == nullptr) return made;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return made;
  }();
  return job;
}

}  // namespace

// ---- Processes ----

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outPath, const std::string& errPath) {
  std::wstring line;
  AppendArgument(line, Wide(program));
  for (const std::string& argument : arguments) AppendArgument(line, Wide(argument));
  const HANDLE input = InheritedFile("NUL", GENERIC_READ, OPEN_EXISTING);
  const HANDLE output = InheritedFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
  const HANDLE errors = InheritedFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE stop = CreateEventW(&inherit, TRUE, FALSE, nullptr);
  const std::wstring stopText = std::to_wstring(reinterpret_cast<std::uintptr_t>(stop));
  SetEnvironmentVariableW(kStopEventVariable, stopText.c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  PROCESS_INFORMATION process{};
  // A process group of its own: the console's Ctrl-C reaches only this program, which passes it
  // on through the run's event. Suspended until it is in the job, so nothing it does escapes it.
  const BOOL started =
      CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                     CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                     nullptr, nullptr, &startup, &process);
  const DWORD failure = GetLastError();
  SetEnvironmentVariableW(kStopEventVariable, nullptr);
  CloseHandle(input);
  CloseHandle(output);
  CloseHandle(errors);
  if (!started) {
    CloseHandle(stop);
    throw std::runtime_error("cannot start " + program + ": " + SystemMessage(failure));
  }
  if (const HANDLE job = RunsJob(); job != nullptr) AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  id_ = reinterpret_cast<std::intptr_t>(process.hProcess);
  stop_ = reinterpret_cast<std::intptr_t>(stop);
}

ChildProcess::~ChildProcess() {
  if (stop_ != 0) CloseHandle(reinterpret_cast<HANDLE>(stop_));
  if (id_ == 0) return;
  // A run left behind (this program is failing) is ended, never left running on its own.
  const auto process = reinterpret_cast<HANDLE>(id_);
  TerminateProcess(process, 1);
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : id_(other.id_), stop_(other.stop_) {
  other.id_ = 0;
  other.stop_ = 0;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  std::swap(id_, other.id_);
  std::swap(stop_, other.stop_);
  return *this;
}

std::optional<ChildEnd> ChildProcess::Ended() {
  if (id_ == 0) return ChildEnd{false, "was already reaped"};
  const auto process = reinterpret_cast<HANDLE>(id_);
  if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) return std::nullopt;
  DWORD code = 0;
  const BOOL read = GetExitCodeProcess(process, &code);
  CloseHandle(process);
  id_ = 0;
  if (!read) return ChildEnd{false, "was lost: " + SystemMessage(GetLastError())};
  if (code == 0) return ChildEnd{true, "ended with code 0"};
  char text[40];
  // Codes from 0xC0000000 on are the system's exceptions (an access violation is 0xC0000005).
  if (code >= 0xC0000000U) {
    std::snprintf(text, sizeof text, "ended with exception 0x%08lX",
                  static_cast<unsigned long>(code));
  } else {
    std::snprintf(text, sizeof text, "ended with code %lu", static_cast<unsigned long>(code));
  }
  return ChildEnd{false, text};
}

void ChildProcess::AskToStop() {
  if (stop_ != 0) SetEvent(reinterpret_cast<HANDLE>(stop_));
}

std::string ThisProgram() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) return Narrow(path.data(), length);
    path.resize(path.size() * 2);  // a long path (\\?\ names run to 32,767 units)
  }
}

std::string MakeScratchFolder(const std::string& prefix, bool /*inMemory*/) {
  // Windows has no memory-backed folder to choose; its file cache keeps a run's small writes.
  wchar_t base[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH)
    throw std::runtime_error("cannot find the temporary folder: " + SystemMessage(GetLastError()));
  const std::string folder = Narrow(base, length);
  static std::atomic<unsigned> made{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = folder + prefix + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(made++) + "-" + std::to_string(GetTickCount() % 10000);
    if (CreateDirectoryW(Wide(path).c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::runtime_error("cannot make a folder in " + folder + ": " +
                               SystemMessage(GetLastError()));
  }
  throw std::runtime_error("cannot make a folder in " + folder + ": every name was taken");
}

// ---- Output files ----

std::string MoveOver(const std::string& from, const std::string& to) {
  // By wide names; REPLACE_EXISTING, since a plain move refuses a target that exists, and
  // WRITE_THROUGH, so that the call returns once the new file is the one on disk.
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return {};
  return SystemMessage(GetLastError());
}

unsigned long ProcessNumber() { return GetCurrentProcessId(); }

// ---- Stop request ----

namespace {

std::atomic<bool> stopRequested{false};

BOOL WINAPI RequestStop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  stopRequested = true;
  return TRUE;
}

// The event a parent run sets to stop this one, when this program is one of its runs.
HANDLE ParentStopEvent() {
  static const HANDLE event = [] {
    wchar_t text[32];
    const DWORD length = GetEnvironmentVariableW(kStopEventVariable, text, 32);
    if (length == 0 || length >= 32) return HANDLE{nullptr};
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(text, nullptr, 10)));
  }();
  return event;
}

}  // namespace

StopOnRequest::StopOnRequest() {
  stopRequested = false;
  SetConsoleCtrlHandler(RequestStop, TRUE);
}

StopOnRequest::~StopOnRequest() { SetConsoleCtrlHandler(RequestStop, FALSE); }

bool StopRequested() {
  if (stopRequested) return true;
  const HANDLE parent = ParentStopEvent();
  if (parent != nullptr && WaitForSingleObject(parent, 0) == WAIT_OBJECT_0) stopRequested = true;
  return stopRequested;
}

// ---- Console ----

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  // Output in UTF-8, as on Linux, with "\n" line ends left alone: the reports and JSON written to
  // standard output are the same bytes on both systems, and a console shows them right.
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; wide != nullptr && i < count; ++i)
    arguments.push_back(Narrow(wide[i], std::wcslen(wide[i])));
  LocalFree(wide);
  return arguments;
}

bool ErrorsToTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

std::string OpenWithDefaultProgram(const std::string& path) {
  // Some handlers ShellExecuteW reaches are COM objects, which want the thread initialised.
  const HRESULT initialised =
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", Wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (SUCCEEDED(initialised)) CoUninitialize();
  if (result > 32) return "";
  return "no program opens " + path + ": " + SystemMessage(GetLastError());
}

// ---- Chart windows ----

int NameChartWindows(const tools::Exports& /*api*/, int /*chart*/, const std::string& frameTitle,
                     const std::string& mainTitle) {
  // One terminal per process: made once, renamed when a later run names them again. Never shown.
  static HWND main = nullptr, frame = nullptr, chart = nullptr;
  if (main == nullptr) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZentravoLabWindow";
    RegisterClassW(&windowClass);
    main = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                           nullptr, nullptr, windowClass.hInstance, nullptr);
    frame = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_CHILD, 0, 0, 320, 240, main,
                            nullptr, windowClass.hInstance, nullptr);
    chart = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_CHILD, 0, 0, 320, 240, frame,
                            nullptr, windowClass.hInstance, nullptr);
    if (chart == nullptr)
      throw std::runtime_error("cannot make the chart's windows: " + SystemMessage(GetLastError()));
  }
  SetWindowTextW(main, Wide(mainTitle).c_str());
  SetWindowTextW(frame, Wide(frameTitle).c_str());
  // Window handles are 32-bit values on every Windows, as a terminal passes them to a library.
  return static_cast<int>(reinterpret_cast<std::intptr_t>(chart));
}

void BindWindowTitles(tools::Exports& /*exports*/) {}

// ---- Libraries ----

SharedLibrary::SharedLibrary(const std::string& path) {
  // Its own folder first for anything it loads, as a terminal loads it from its Libraries folder.
  handle_ = LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (handle_ == nullptr)
    throw std::runtime_error("cannot load " + path + ": " + SystemMessage(GetLastError()));
}

SharedLibrary::~SharedLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void (*SharedLibrary::Find(const char* name) const)() {
  // FARPROC is the system's "some function"; the caller knows its type by its name.
  return reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

bool LoadedLibraryReadsSimulatedClock() { return false; }

}  // namespace zt::sim::system
