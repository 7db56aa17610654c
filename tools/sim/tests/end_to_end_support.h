// What the end-to-end tests share: the demo's settings, runs of zt-sim as a program (its output in
// files, or stopped by Ctrl-C) and in this process (as its JSON document or its refusal), and the
// lines of a text.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "runs/single_run.h"
#include "sim_test_support.h"

namespace zt::sim::testing {

// The demo's settings file among the samples.
inline const std::string kDemo = std::string(ZT_SIM_SAMPLES) + "/demo.ini";

// The options of a command line (without the program's name), as CommandLineOptions gives them.
SimOptions Options(std::vector<std::string> arguments);

// options followed by more.
std::vector<std::string> With(std::vector<std::string> options,
                              const std::vector<std::string>& more);

// The value of a line "key=value" of an INI file's text, or "" when there is none.
std::string IniValue(const std::string& text, const std::string& key);

// The lines of text, each without its line end (CR LF or LF).
std::vector<std::string> Lines(const std::string& text);

// The message Simulate stops with, or "" when it runs.
std::string Refusal(const SimOptions& options);

// One run of zt-sim in this process, as its JSON document.
nlohmann::json RunJson(std::vector<std::string> arguments);

// Runs zt-sim with arguments (or, with program false, the whole command line given), its output
// into out.txt and err.txt of folder; returns its exit code, or -1 when it did not exit.
int RunProgram(const std::string& arguments, const TempFolder& folder, bool program = true);

// Runs zt-sim with arguments (its standard output to /dev/null), presses Ctrl-C a moment after it
// wrote the state folder's file (before its first tick) and returns how it exited: its exit code,
// or -1 when it did not exit by itself.
int ExitAfterCtrlC(std::vector<std::string> arguments, const std::string& state);

}  // namespace zt::sim::testing
