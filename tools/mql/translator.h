// translator.h - turns an expert advisor's MQL source (.mq4/.mq5 and the .mqh files it includes)
// into one C++ header that the terminal double (double/mql_double.h) compiles and runs.
//
// The translation is mechanical and deliberately narrow: it knows the handful of constructs the
// shipped expert advisors use and refuses everything else with "file:line: message", so a change
// to an EA that the double cannot follow breaks the build instead of being silently mistranslated.
// It refuses as well what MetaEditor would refuse and C++ would take: C++-only words, an assigned
// input, an array parameter without &, an .mq4 without #property strict. A name of the other
// language fails when the generated header compiles: each program opens only its own language's
// namespace of the double (double/mql_types.h).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace mqlx {

// A construct the translator does not know, or a file it cannot read. what() is "file:line: ...".
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string source;                    // the .mq4 / .mq5 file
  std::vector<std::string> includeDirs;  // searched for #include <...>
  std::string programName;               // C++ namespace of the translated program
  std::vector<std::string> provided;     // includes the double itself supplies (Trade\Trade.mqh)
};

// Returns the whole generated header. Throws Refused.
std::string translate(const Options& options);

}  // namespace mqlx
