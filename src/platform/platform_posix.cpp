// The platform seam on Linux and other POSIX systems. The private-profile store, our own
// implementation of the Windows INI service, is in profile_posix.cpp.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/fixed_clock.h"
#include "platform/platform.h"
#include "zentravo.h"

namespace zt::platform {
namespace {

// ---- Module start-up ----

// Runs when the shared library is loaded (and at start of a program linking the static library).
// The C library reads the time-zone rules, into memory it allocates, at the first local-time
// conversion of the process; loading them here keeps that allocation out of the host's calls.
__attribute__((constructor)) void LibraryLoaded() {
  tzset();
  OnLibraryLoad();
}

// Copies text into out (capacity bytes), cut to fit, always terminated. Returns the length copied.
int CopyText(const char* text, char* out, int capacity) {
  if (capacity <= 0) return 0;
  const std::size_t room = static_cast<std::size_t>(capacity - 1);
  const std::size_t length = text == nullptr ? 0 : strnlen(text, room);
  if (length > 0) std::memcpy(out, text, length);
  out[length] = '\0';
  return static_cast<int>(length);
}

// ---- Terminal windows ----
//
// Linux has no terminal windows, so a host names the two titles InitZT reads for a chart. Each
// chart handle gets a row; its frame and main windows get made-up handles that encode the row:
// frame = kFrameBase + row, main = kMainBase + row.

constexpr int kKnownCharts = 8;        // charts a host may name
constexpr int kTitleSize = 256;        // a terminal's title buffer
constexpr int kFrameBase = 0x7A000000; // made-up frame handles
constexpr int kMainBase = 0x7B000000;  // made-up main-window handles

struct ChartTitles {
  bool used;
  int chart;
  char frameTitle[kTitleSize];
  char mainTitle[kTitleSize];
};

std::array<ChartTitles, kKnownCharts> charts{};
int nextChartRow = 0;

int RowOf(int window, int base) {
  if (window < base) return -1;  // before the subtraction, which a negative handle would overflow
  const int row = window - base;
  if (row >= kKnownCharts || !charts[static_cast<unsigned>(row)].used) return -1;
  return row;
}

}  // namespace

int ModulePath(char* out, int capacity) {
  Dl_info info{};
  if (capacity <= 0 || dladdr(reinterpret_cast<void*>(&LibraryLoaded), &info) == 0 ||
      info.dli_fname == nullptr) {
    return 0;
  }
  // dli_fname is the name the library was loaded under; make a relative one absolute.
  const std::size_t nameLength = std::strlen(info.dli_fname);
  if (info.dli_fname[0] == '/') {
    if (nameLength >= static_cast<std::size_t>(capacity)) return capacity;
    std::memcpy(out, info.dli_fname, nameLength + 1);
    return static_cast<int>(nameLength);
  }
  if (getcwd(out, static_cast<std::size_t>(capacity)) == nullptr) return errno == ERANGE ? capacity : 0;
  const std::size_t folderLength = std::strlen(out);
  if (folderLength + 1 + nameLength >= static_cast<std::size_t>(capacity)) return capacity;
  out[folderLength] = '/';
  std::memcpy(out + folderLength + 1, info.dli_fname, nameLength + 1);
  return static_cast<int>(folderLength + 1 + nameLength);
}

bool WriteNewTextFile(const char* path, std::string_view text) {
  const int file = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (file < 0) return false;
  const char* next = text.data();
  std::size_t left = text.size();
  bool complete = true;
  while (left > 0) {
    const ssize_t written = write(file, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      complete = false;
      break;
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  if (close(file) != 0) complete = false;
  return complete;
}

int ParentWindow(int window) {
  for (int row = 0; row < kKnownCharts; ++row) {
    const ChartTitles& titles = charts[static_cast<unsigned>(row)];
    if (titles.used && titles.chart == window) return kFrameBase + row;
  }
  if (RowOf(window, kFrameBase) >= 0) return kMainBase + RowOf(window, kFrameBase);
  return 0;
}

int RootAncestorWindow(int window) {
  if (RowOf(window, kMainBase) >= 0) return window;
  if (RowOf(window, kFrameBase) >= 0) return kMainBase + RowOf(window, kFrameBase);
  const int frame = ParentWindow(window);
  return frame == 0 ? 0 : RootAncestorWindow(frame);
}

int WindowTitle(int window, char* out, int capacity) {
  if (const int row = RowOf(window, kFrameBase); row >= 0) {
    return CopyText(charts[static_cast<unsigned>(row)].frameTitle, out, capacity);
  }
  if (const int row = RowOf(window, kMainBase); row >= 0) {
    return CopyText(charts[static_cast<unsigned>(row)].mainTitle, out, capacity);
  }
  return CopyText("", out, capacity);
}

std::int64_t Now() {
  std::int64_t pinned = 0;
  if (FixedNow(&pinned)) return pinned;
  return static_cast<std::int64_t>(std::time(nullptr));
}

bool LocalTime(std::int64_t time, CalendarTime* out) {
  if (time < 0) return false;
  const std::time_t converted = static_cast<std::time_t>(time);
  if (static_cast<std::int64_t>(converted) != time) return false;
  std::tm local{};
  if (localtime_r(&converted, &local) == nullptr) return false;
  *out = CalendarTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min,         local.tm_sec,     local.tm_wday};
  return true;
}

}  // namespace zt::platform

// The one export that only Linux hosts have: the titles InitZT reads for a chart.
extern "C" ZT_EXPORT void SetWindowTitles(int chartHandle, const char* frameTitle,
                                          const char* mainTitle) {
  using namespace zt::platform;
  int row = -1;
  for (int candidate = 0; candidate < kKnownCharts; ++candidate) {
    if (charts[static_cast<unsigned>(candidate)].used &&
        charts[static_cast<unsigned>(candidate)].chart == chartHandle) {
      row = candidate;
    }
  }
  if (row < 0) {
    row = nextChartRow;
    nextChartRow = (nextChartRow + 1) % kKnownCharts;
  }
  ChartTitles& titles = charts[static_cast<unsigned>(row)];
  titles.used = true;
  titles.chart = chartHandle;
  CopyText(frameTitle, titles.frameTitle, kTitleSize);
  CopyText(mainTitle, titles.mainTitle, kTitleSize);
}
