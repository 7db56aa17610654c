// The platform seam on Linux and other POSIX systems: where the library lies, the windows a host
// names, and the clock. The file services are in file_system_posix.cpp. Mirrors
// platform_win32.cpp: same order, same helpers.
#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/fixed_clock.h"
#include "platform/platform.h"

namespace zt::platform {
namespace {

// ---- Module start-up ----

// Runs when the shared library is loaded (and at start of a program linking the static library).
// The C library reads the time-zone rules, into memory it allocates, at the first local-time
// conversion of the process; loading them here keeps that allocation out of the host's calls.
__attribute__((constructor)) void LoadTimeZoneRules() { tzset(); }

// ---- Helpers ----

// Copies text into out (capacity bytes, > 0), cut to fit, always terminated. Returns the number
// of characters copied: less than text.size() when the text was cut.
std::size_t CopyText(std::string_view text, char* out, std::size_t capacity) {
  const std::size_t length = text.size() < capacity ? text.size() : capacity - 1;
  if (length > 0) std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return length;
}

// ---- Terminal windows ----
//
// Linux has no terminal windows, so a host names the two titles InitZT reads for a chart. Each
// chart handle gets a row; its frame and main windows get made-up handles that encode the row:
// frame = kFrameBase + row, main = kMainBase + row.

constexpr int kKnownCharts = 8;         // charts a host may name
constexpr std::size_t kTitleSize = 256; // a terminal's title buffer
constexpr int kFrameBase = 0x7A000000;  // made-up frame handles
constexpr int kMainBase = 0x7B000000;   // made-up main-window handles

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

std::string_view TextOf(const char* text) { return text == nullptr ? std::string_view() : text; }

}  // namespace

// ---- Module start-up ----

int ModulePath(char* out, int capacity) {
  Dl_info info{};
  if (capacity <= 0 || dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 ||
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

// ---- Terminal windows ----

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
  if (capacity <= 0) return 0;
  std::string_view title;
  if (const int frameRow = RowOf(window, kFrameBase); frameRow >= 0) {
    title = charts[static_cast<unsigned>(frameRow)].frameTitle;
  } else if (const int mainRow = RowOf(window, kMainBase); mainRow >= 0) {
    title = charts[static_cast<unsigned>(mainRow)].mainTitle;
  }
  return static_cast<int>(CopyText(title, out, static_cast<std::size_t>(capacity)));
}

bool NameWindowTitles(int chart, const char* frameTitle, const char* mainTitle) {
  int row = -1;
  for (int candidate = 0; candidate < kKnownCharts; ++candidate) {
    if (charts[static_cast<unsigned>(candidate)].used &&
        charts[static_cast<unsigned>(candidate)].chart == chart) {
      row = candidate;
    }
  }
  if (row < 0) {
    row = nextChartRow;
    nextChartRow = (nextChartRow + 1) % kKnownCharts;
  }
  ChartTitles& titles = charts[static_cast<unsigned>(row)];
  titles.used = true;
  titles.chart = chart;
  CopyText(TextOf(frameTitle), titles.frameTitle, kTitleSize);
  CopyText(TextOf(mainTitle), titles.mainTitle, kTitleSize);
  return true;
}

// ---- Clock ----

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
