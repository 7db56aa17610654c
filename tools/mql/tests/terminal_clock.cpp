// The library's clock in zt_panel_tests: time() answers the terminal double's TimeLocal() while a
// scenario's terminal exists, and local time is UTC. The dates and times on the panel, and so the
// pictures drawn of it, then read the same on every run and every machine. The program exports
// these two (clock_exports.list), so the zentravo.so it loads calls them instead of the C
// library's.
#include <ctime>

#include "clock_answer.h"
#include "mql_double.h"

extern "C" {

time_t time(time_t* out) noexcept {
  const mql::Terminal* terminal = mql::Terminal::current;
  return zt::tools::ClockAnswer(out, terminal != nullptr,
                                terminal != nullptr ? terminal->now() : 0);
}

struct tm* localtime_r(const time_t* time, struct tm* out) noexcept {
  return gmtime_r(time, out);
}

}  // extern "C"
