// The call-script interpreter: runs a script's lines, a command each, against the host's bound
// exports and prints each line and what it gave to the transcript. The exports' commands live in
// script.cpp, what the host does around them (titles, the settings file, statistics files,
// reloads, threads, barriers) in host_commands.cpp.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host_text.h"
#include "script.h"
#include "script_lines.h"

namespace zt::callscript {

class Interpreter {
 public:
  Interpreter(Host& host, std::ostream& out) : host_(host), out_(out) {}

  // Runs lines [begin, end); returns false with error set at the first line it cannot run.
  bool Run(const std::vector<Line>& lines, std::size_t begin, std::size_t end, ScriptError& error);

 private:
  // A command's handler runs one line, or returns false with problem set.
  using Handler = bool (Interpreter::*)(const Line& line, std::string& problem);
  struct Command {
    std::string_view name;
    Handler run;
  };
  static const Command kCommands[];

  bool RunLine(const Line& line, std::string& problem);

  // The exports.
  bool InitZT(const Line& line, std::string& problem);
  bool SetEquity(const Line& line, std::string& problem);
  bool SetLastValues(const Line& line, std::string& problem);
  bool SetTTC(const Line& line, std::string& problem);
  bool SetEmailProp(const Line& line, std::string& problem);
  bool GetEquitySnap(const Line& line, std::string& problem);
  bool GetIndex(const Line& line, std::string& problem);
  bool GetAlert(const Line& line, std::string& problem);
  bool GetEmailSubject(const Line& line, std::string& problem);
  bool GetEmailText(const Line& line, std::string& problem);
  bool GetLabel(const Line& line, std::string& problem);
  bool GetValue(const Line& line, std::string& problem);
  // What the host does around them.
  bool Titles(const Line& line, std::string& problem);
  bool Settings(const Line& line, std::string& problem);
  bool SeedSettings(const Line& line, std::string& problem);
  bool Reload(const Line& line, std::string& problem);
  bool Thread(const Line& line, std::string& problem);
  bool Statistics(const Line& line, std::string& problem);
  bool HoldSettings(const Line& line, std::string& problem);
  bool Barrier(const Line& line, std::string& problem);
  bool ReleaseSettings(const Line& line, std::string& problem);
  bool Hold(const Line& line, bool hold, const char* refusal, std::string& problem);
  bool ReadOnly(const Line& line, std::string& problem);

  using TextExport = void (*)(const Exports&, const int* arguments, double extra, char* text);
  bool TextCall(const Line& line, std::size_t fixedArguments, std::string& problem,
                TextExport call);
  std::string DescribeText(const tools::HostText& buffer) const;

  bool Needs(const Line& line, std::size_t count, std::string& problem) const;
  bool IntAt(const Line& line, std::size_t at, int& value, std::string& problem) const;
  bool DoubleAt(const Line& line, std::size_t at, double& value, std::string& problem) const;
  const char* TextAt(const Line& line, std::size_t at) const;

  void Print(const Line& line, const std::string& result) {
    out_ << MaskTimes(line.source) << " => " << MaskTimes(result) << '\n';
  }
  // Prints "done" for line: a command that gives nothing but having run.
  bool Done(const Line& line) {
    Print(line, "done");
    return true;
  }
  void PrintSettings(const Line& line);
  void PrintStatistics(const Line& line);

  Host& host_;
  std::ostream& out_;
  double initialEquity_ = 0.0;  // the host's initial-equity variable
  int barriers_ = 0;            // barriers passed so far
};

}  // namespace zt::callscript
