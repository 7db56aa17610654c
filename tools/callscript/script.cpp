#include "script.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <ostream>
#include <string_view>
#include <vector>

#include "host_text.h"
#include "interpreter.h"
#include "number_text.h"
#include "script_lines.h"
#include "text_helpers.h"

namespace zt::callscript {
namespace {

using tools::Number;
using tools::ReadWholeFile;
using tools::Trimmed;

constexpr char kUntouched = static_cast<char>(0xA5);  // fill of a buffer before each text call
constexpr int kMaxRepeat = 100000;                    // a typo guard for repeat counts

std::size_t MatchingEnd(const std::vector<Line>& lines, std::size_t repeatAt, std::size_t end) {
  int depth = 0;
  for (std::size_t at = repeatAt; at < end; ++at) {
    const std::string& command = lines[at].words[0].text;
    if (command == "repeat") ++depth;
    if (command == "end" && --depth == 0) return at;
  }
  return end;
}

// The word at `at` read whole as a T into value; kind names it in the problem ("an integer").
template <typename T>
bool NumberWord(const Line& line, std::size_t at, T& value, const std::string& kind,
                std::string& problem) {
  if (at >= line.words.size() || line.words[at].quoted) {
    problem = "argument " + std::to_string(at) + " must be " + kind;
    return false;
  }
  const std::string& text = line.words[at].text;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    problem = "not " + kind + ": " + text;
    return false;
  }
  return true;
}

}  // namespace

// Every command a script line may start with (repeat and end frame blocks and are Run's own).
const Interpreter::Command Interpreter::kCommands[] = {
    {"InitZT", &Interpreter::InitZT},
    {"SetEquity", &Interpreter::SetEquity},
    {"SetLastValues", &Interpreter::SetLastValues},
    {"SetTTC", &Interpreter::SetTTC},
    {"SetEmailProp", &Interpreter::SetEmailProp},
    {"GetEquitySnap", &Interpreter::GetEquitySnap},
    {"GetIndex", &Interpreter::GetIndex},
    {"GetAlert", &Interpreter::GetAlert},
    {"GetEmailSubject", &Interpreter::GetEmailSubject},
    {"GetEmailText", &Interpreter::GetEmailText},
    {"GetLabel", &Interpreter::GetLabel},
    {"GetValue", &Interpreter::GetValue},
    {"titles", &Interpreter::Titles},
    {"settings", &Interpreter::Settings},
    {"seed-settings", &Interpreter::SeedSettings},
    {"reload", &Interpreter::Reload},
    {"thread", &Interpreter::Thread},
    {"statistics", &Interpreter::Statistics},
    {"hold-settings", &Interpreter::HoldSettings},
    {"barrier", &Interpreter::Barrier},
    {"release-settings", &Interpreter::ReleaseSettings},
    {"read-only", &Interpreter::ReadOnly},
};

bool Interpreter::Run(const std::vector<Line>& lines, std::size_t begin, std::size_t end,
                      ScriptError& error) {
  for (std::size_t at = begin; at < end; ++at) {
    const Line& line = lines[at];
    const std::string& command = line.words[0].text;
    if (command == "end") {
      error = {line.number, "end without repeat"};
      return false;
    }
    if (command == "repeat") {
      int count = 0;
      std::string problem;
      if (line.words.size() != 2 || !IntAt(line, 1, count, problem) || count < 0 ||
          count > kMaxRepeat) {
        error = {line.number, problem.empty() ? "repeat needs a count" : problem};
        return false;
      }
      const std::size_t blockEnd = MatchingEnd(lines, at, end);
      if (blockEnd == end) {
        error = {line.number, "repeat without end"};
        return false;
      }
      for (int pass = 0; pass < count; ++pass) {
        if (!Run(lines, at + 1, blockEnd, error)) return false;
      }
      at = blockEnd;
      continue;
    }
    std::string problem;
    if (!RunLine(line, problem)) {
      error = {line.number, problem};
      return false;
    }
  }
  return true;
}

bool Interpreter::RunLine(const Line& line, std::string& problem) {
  const std::string& name = line.words[0].text;
  for (const Command& command : kCommands) {
    if (command.name == name) return (this->*command.run)(line, problem);
  }
  problem = "unknown command " + name;
  return false;
}

// ---- Reading arguments ----

bool Interpreter::Needs(const Line& line, std::size_t count, std::string& problem) const {
  if (line.words.size() - 1 == count) return true;
  problem = line.words[0].text + " takes " + std::to_string(count) + " arguments";
  return false;
}

bool Interpreter::IntAt(const Line& line, std::size_t at, int& value, std::string& problem) const {
  return NumberWord(line, at, value, "an integer", problem);
}

bool Interpreter::DoubleAt(const Line& line, std::size_t at, double& value,
                           std::string& problem) const {
  return NumberWord(line, at, value, "a number", problem);
}

const char* Interpreter::TextAt(const Line& line, std::size_t at) const {
  const Word& word = line.words[at];
  if (!word.quoted && word.text == "null") return nullptr;
  return word.text.c_str();
}

// ---- The exports that take and give figures ----

bool Interpreter::InitZT(const Line& line, std::string& problem) {
  if (!Needs(line, 10, problem)) return false;
  int chart = host_.chartHandle;
  if (line.words[1].quoted || line.words[1].text != "chart") {
    if (!IntAt(line, 1, chart, problem)) return false;
  }
  double* initial = &initialEquity_;
  if (!line.words[3].quoted && line.words[3].text == "null") {
    initial = nullptr;
  } else if (!DoubleAt(line, 3, initialEquity_, problem)) {
    return false;
  }
  std::array<double, 3> figures{};
  for (std::size_t i = 0; i < figures.size(); ++i) {
    if (!DoubleAt(line, 4 + i, figures[i], problem)) return false;
  }
  const double result =
      host_.exports.InitZT(chart, TextAt(line, 2), initial, figures[0], figures[1], figures[2],
                           TextAt(line, 7), TextAt(line, 8), TextAt(line, 9), TextAt(line, 10));
  Print(line, Number(result) + (initial == nullptr ? std::string()
                                                   : ", initial equity " + Number(initialEquity_)));
  return true;
}

bool Interpreter::SetEquity(const Line& line, std::string& problem) {
  double equity = 0, margin = 0, freeMargin = 0;
  int mode = 0;
  if (!Needs(line, 4, problem) || !DoubleAt(line, 1, equity, problem) ||
      !DoubleAt(line, 2, margin, problem) || !DoubleAt(line, 3, freeMargin, problem) ||
      !IntAt(line, 4, mode, problem)) {
    return false;
  }
  Print(line, std::to_string(host_.exports.SetEquity(equity, margin, freeMargin, mode)));
  return true;
}

bool Interpreter::SetLastValues(const Line& line, std::string& problem) {
  double snapshot = 0;
  std::array<int, 4> indices{};
  if (!Needs(line, 5, problem) || !DoubleAt(line, 1, snapshot, problem)) return false;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    if (!IntAt(line, 2 + i, indices[i], problem)) return false;
  }
  host_.exports.SetLastValues(snapshot, indices[0], indices[1], indices[2], indices[3]);
  return Done(line);
}

bool Interpreter::SetTTC(const Line& line, std::string& problem) {
  int duration = 0;
  double equity = 0;
  if (!Needs(line, 2, problem) || !IntAt(line, 1, duration, problem) ||
      !DoubleAt(line, 2, equity, problem)) {
    return false;
  }
  Print(line, std::to_string(host_.exports.SetTTC(duration, equity)));
  return true;
}

bool Interpreter::SetEmailProp(const Line& line, std::string& problem) {
  std::array<double, 3> values{};
  if (!Needs(line, 3, problem)) return false;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!DoubleAt(line, 1 + i, values[i], problem)) return false;
  }
  host_.exports.SetEmailProp(values[0], values[1], values[2]);
  return Done(line);
}

bool Interpreter::GetEquitySnap(const Line& line, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  Print(line, Number(host_.exports.GetEquitySnap()));
  return true;
}

bool Interpreter::GetIndex(const Line& line, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  // Start from values the library would never write, so a missed out-parameter shows.
  int tpSet = -99, tpIndex = -99, ddSet = -99, ddIndex = -99;
  host_.exports.GetIndex(&tpSet, &tpIndex, &ddSet, &ddIndex);
  Print(line, "tpSet " + std::to_string(tpSet) + ", tpIndex " + std::to_string(tpIndex) +
                  ", ddSet " + std::to_string(ddSet) + ", ddIndex " + std::to_string(ddIndex));
  return true;
}

// ---- The exports that write a text ----

bool Interpreter::GetAlert(const Line& line, std::string& problem) {
  return TextCall(line, 1, problem,
                  [](const Exports& e, const int* a, double, char* t) { e.GetAlert(a[0], t); });
}

bool Interpreter::GetEmailSubject(const Line& line, std::string& problem) {
  return TextCall(line, 1, problem, [](const Exports& e, const int* a, double, char* t) {
    e.GetEmailSubject(a[0], t);
  });
}

bool Interpreter::GetEmailText(const Line& line, std::string& problem) {
  return TextCall(line, 3, problem, [](const Exports& e, const int* a, double extra, char* t) {
    e.GetEmailText(a[0], a[1], extra, t);
  });
}

bool Interpreter::GetLabel(const Line& line, std::string& problem) {
  return TextCall(line, 2, problem, [](const Exports& e, const int* a, double, char* t) {
    e.GetLabel(a[0], a[1], t);
  });
}

bool Interpreter::GetValue(const Line& line, std::string& problem) {
  return TextCall(line, 2, problem, [](const Exports& e, const int* a, double, char* t) {
    e.GetValue(a[0], a[1], t);
  });
}

// Calls a text export with a buffer that the library must not fill beyond ZT_TEXT_CAPACITY bytes,
// and prints what it wrote. An extra last word null passes no buffer at all.
bool Interpreter::TextCall(const Line& line, std::size_t fixedArguments, std::string& problem,
                           TextExport call) {
  const std::size_t given = line.words.size() - 1;
  const bool nullBuffer =
      given == fixedArguments + 1 && !line.words.back().quoted && line.words.back().text == "null";
  if (given != fixedArguments && !nullBuffer) {
    problem = line.words[0].text + " takes " + std::to_string(fixedArguments) + " arguments";
    return false;
  }
  // GetEmailText's third argument is a double; every other argument is an int.
  std::array<int, 2> arguments{};
  double extra = 0.0;
  for (std::size_t at = 1; at <= fixedArguments; ++at) {
    if (at == 3) {
      if (!DoubleAt(line, at, extra, problem)) return false;
    } else if (!IntAt(line, at, arguments[at - 1], problem)) {
      return false;
    }
  }
  if (nullBuffer) {
    call(host_.exports, arguments.data(), extra, nullptr);
    Print(line, "(null buffer)");
    return true;
  }
  tools::HostText buffer(kUntouched);
  call(host_.exports, arguments.data(), extra, buffer.data());
  Print(line, DescribeText(buffer));
  return true;
}

// What a text call left in the buffer: the text, or that it wrote nothing or no terminator, and
// whether it wrote past the capacity.
std::string Interpreter::DescribeText(const tools::HostText& buffer) const {
  const std::string capacity = std::to_string(tools::HostText::kCapacity);
  std::string result;
  if (buffer.Untouched()) {
    result = "(nothing written)";
  } else if (!buffer.Terminated()) {
    result = "(no terminator within " + capacity + " bytes)";
  } else {
    result = Quoted(buffer.Text());
  }
  if (!buffer.GuardIntact()) result += " (WROTE PAST " + capacity + " BYTES)";
  return result;
}

std::filesystem::path ToPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::filesystem::path DeriveSettingsPath(const std::string& libraryPath) {
  std::filesystem::path path = ToPath(libraryPath);
  path.replace_extension(".ini");
  return path;
}

int RunScript(const std::string& scriptName, const std::string& scriptText, Host host,
              std::ostream& out, std::ostream& errors) {
  std::vector<Line> lines;
  ScriptError error{};
  Interpreter interpreter(host, out);
  if (!ReadLines(scriptText, lines, error) || !interpreter.Run(lines, 0, lines.size(), error)) {
    out.flush();
    errors << scriptName << ":" << error.line << ": " << error.message << '\n';
    return 2;
  }
  out.flush();
  return 0;
}

int RunScriptFile(const char* scriptPath, const char* transcriptPath, Host host) {
  std::string script;
  if (!ReadWholeFile(ToPath(scriptPath), script)) {
    std::cerr << "cannot read " << scriptPath << '\n';
    return 2;
  }
  if (transcriptPath != nullptr) {
    std::ofstream transcript(ToPath(transcriptPath), std::ios::binary | std::ios::trunc);
    return RunScript(scriptPath, script, host, transcript, std::cerr);
  }
  return RunScript(scriptPath, script, host, std::cout, std::cerr);
}

}  // namespace zt::callscript
