#include "script.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string_view>
#include <system_error>
#include <chrono>
#include <thread>
#include <vector>

#include "host_text.h"
#include "text_helpers.h"
#include "number_text.h"

namespace zt::callscript {
namespace {

using tools::Number;
using tools::ReadWholeFile;
using tools::Trimmed;

constexpr char kUntouched = static_cast<char>(0xA5);  // fill of a buffer before each text call
constexpr int kMaxRepeat = 100000;                     // a typo guard for repeat counts

struct Word {
  std::string text;
  bool quoted;
};

struct Line {
  int number;             // 1-based, in the script file
  std::string source;     // the line as written, trimmed
  std::vector<Word> words;
};

struct ScriptError {
  int line;
  std::string message;
};

// ---- Reading the script ----

bool SplitWords(std::string_view text, std::vector<Word>& words, std::string& problem) {
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ' || text[at] == '\t') {
      ++at;
      continue;
    }
    Word word{{}, text[at] == '"'};
    if (!word.quoted) {
      while (at < text.size() && text[at] != ' ' && text[at] != '\t') word.text += text[at++];
      words.push_back(word);
      continue;
    }
    ++at;
    bool closed = false;
    while (at < text.size()) {
      const char c = text[at++];
      if (c == '"') {
        closed = true;
        break;
      }
      if (c != '\\') {
        word.text += c;
        continue;
      }
      if (at >= text.size()) break;
      const char escaped = text[at++];
      switch (escaped) {
        case 'n': word.text += '\n'; break;
        case 'r': word.text += '\r'; break;
        case 't': word.text += '\t'; break;
        case '"': word.text += '"'; break;
        case '\\': word.text += '\\'; break;
        default: problem = std::string("unknown escape \\") + escaped; return false;
      }
    }
    if (!closed) {
      problem = "unterminated text";
      return false;
    }
    words.push_back(word);
  }
  return true;
}

bool ReadLines(const std::string& scriptText, std::vector<Line>& lines, ScriptError& error) {
  std::istringstream input(scriptText);
  std::string raw;
  int number = 0;
  while (std::getline(input, raw)) {
    ++number;
    const std::string_view source = Trimmed(raw);
    if (source.empty() || source.front() == '#') continue;
    Line line{number, std::string(source), {}};
    std::string problem;
    if (!SplitWords(source, line.words, problem)) {
      error = {number, problem};
      return false;
    }
    lines.push_back(std::move(line));
  }
  return true;
}

// ---- Writing the transcript ----

// Replaces every run of text that fits pattern ('d' a digit, 'A' an upper-case letter, 'a' a
// lower-case one, anything else itself) by marker.
void Mask(std::string& text, std::string_view pattern, std::string_view marker) {
  auto fits = [&](std::size_t at) {
    if (at + pattern.size() > text.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(text[at + i]);
      const char p = pattern[i];
      const bool ok = p == 'd'   ? (c >= '0' && c <= '9')
                      : p == 'A' ? (c >= 'A' && c <= 'Z')
                      : p == 'a' ? (c >= 'a' && c <= 'z')
                                 : c == static_cast<unsigned char>(p);
      if (!ok) return false;
    }
    return true;
  };
  for (std::size_t at = 0; at + pattern.size() <= text.size(); ++at) {
    if (fits(at)) text.replace(at, pattern.size(), marker);
  }
}

std::string MaskTimes(std::string text) {
  Mask(text, "Aaa, Aaa dd, dddd dd:dd:dd", "Www, Mmm DD, YYYY hh:mm:ss");
  Mask(text, "dddd.dd.dd dd:dd", "YYYY.MM.DD hh:mm");
  Mask(text, "dddd.dd.dd dd-dd", "YYYY.MM.DD hh-mm");
  return text;
}

std::string Quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte >= 0x20 && byte < 0x7F) {
          out += c;
        } else {
          out += "\\x";
          out += kHex[byte >> 4];
          out += kHex[byte & 0x0F];
        }
    }
  }
  return out + "\"";
}

// ---- Files beside the library ----

std::filesystem::path FolderOf(const std::string& libraryPath) {
  return PathOf(libraryPath).parent_path();
}

// A file name as UTF-8 text, whatever the code page of the process.
std::string TextOf(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The file's lines without their line ends (CR LF, LF or a lone CR).
std::vector<std::string> LinesOf(const std::string& contents) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t at = 0; at < contents.size(); ++at) {
    const char c = contents[at];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && at + 1 < contents.size() && contents[at + 1] == '\n') ++at;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// ---- Running ----

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
  bool TextCall(const Line& line, std::size_t fixedArguments, std::string& problem, TextExport call);
  std::string DescribeText(const tools::HostText& buffer) const;

  bool Needs(const Line& line, std::size_t count, std::string& problem) const;
  bool IntAt(const Line& line, std::size_t at, int& value, std::string& problem) const;
  bool DoubleAt(const Line& line, std::size_t at, double& value, std::string& problem) const;
  const char* TextAt(const Line& line, std::size_t at) const;

  void Print(const Line& line, const std::string& result) {
    out_ << MaskTimes(line.source) << " => " << MaskTimes(result) << '\n';
  }
  void PrintSettings(const Line& line);
  void PrintStatistics(const Line& line);

  Host& host_;
  std::ostream& out_;
  double initialEquity_ = 0.0;  // the host's initial-equity variable
  int barriers_ = 0;            // barriers passed so far
};

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

std::size_t MatchingEnd(const std::vector<Line>& lines, std::size_t repeatAt, std::size_t end) {
  int depth = 0;
  for (std::size_t at = repeatAt; at < end; ++at) {
    const std::string& command = lines[at].words[0].text;
    if (command == "repeat") ++depth;
    if (command == "end" && --depth == 0) return at;
  }
  return end;
}

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
  if (at >= line.words.size() || line.words[at].quoted) {
    problem = "argument " + std::to_string(at) + " must be an integer";
    return false;
  }
  const std::string& text = line.words[at].text;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    problem = "not an integer: " + text;
    return false;
  }
  return true;
}

bool Interpreter::DoubleAt(const Line& line, std::size_t at, double& value,
                           std::string& problem) const {
  if (at >= line.words.size() || line.words[at].quoted) {
    problem = "argument " + std::to_string(at) + " must be a number";
    return false;
  }
  const std::string& text = line.words[at].text;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    problem = "not a number: " + text;
    return false;
  }
  return true;
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
  const double result = host_.exports.InitZT(chart, TextAt(line, 2), initial, figures[0],
                                             figures[1], figures[2], TextAt(line, 7),
                                             TextAt(line, 8), TextAt(line, 9), TextAt(line, 10));
  Print(line, Number(result) + (initial == nullptr
                                    ? std::string()
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
  Print(line, "done");
  return true;
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
  Print(line, "done");
  return true;
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
  return TextCall(line, 2, problem,
                  [](const Exports& e, const int* a, double, char* t) { e.GetLabel(a[0], a[1], t); });
}

bool Interpreter::GetValue(const Line& line, std::string& problem) {
  return TextCall(line, 2, problem,
                  [](const Exports& e, const int* a, double, char* t) { e.GetValue(a[0], a[1], t); });
}

// Calls a text export with a buffer that the library must not fill beyond ZT_TEXT_CAPACITY bytes,
// and prints what it wrote. An extra last word null passes no buffer at all.
bool Interpreter::TextCall(const Line& line, std::size_t fixedArguments, std::string& problem,
                           TextExport call) {
  const std::size_t given = line.words.size() - 1;
  const bool nullBuffer = given == fixedArguments + 1 && !line.words.back().quoted &&
                          line.words.back().text == "null";
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

// ---- What the host does around the exports ----

bool Interpreter::Titles(const Line& line, std::string& problem) {
  if (!Needs(line, 2, problem)) return false;
  host_.setTitles(TextAt(line, 1), TextAt(line, 2));
  Print(line, "done");
  return true;
}

bool Interpreter::Settings(const Line& line, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  PrintSettings(line);
  return true;
}

bool Interpreter::SeedSettings(const Line& line, std::string& problem) {
  if (!Needs(line, 1, problem) || !line.words[1].quoted) {
    problem = "seed-settings takes one text";
    return false;
  }
  std::ofstream file(SettingsPathOf(host_.libraryPath), std::ios::binary | std::ios::trunc);
  file << line.words[1].text;
  if (!file.flush()) {
    problem = "cannot write the settings file";
    return false;
  }
  Print(line, "done");
  return true;
}

bool Interpreter::Reload(const Line& line, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  if (!host_.reload(host_.exports)) {
    problem = "cannot load the library again";
    return false;
  }
  Print(line, "done");
  return true;
}

bool Interpreter::Thread(const Line& line, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  host_.runThread();
  Print(line, "done");
  return true;
}

bool Interpreter::Statistics(const Line& line, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  PrintStatistics(line);
  return true;
}

bool Interpreter::HoldSettings(const Line& line, std::string& problem) {
  return Hold(line, true, "cannot hold the settings file", problem);
}

// hold-settings and release-settings: another program takes or lets go of the settings file.
bool Interpreter::Hold(const Line& line, bool hold, const char* refusal, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  if (!host_.holdSettings(SettingsPathOf(host_.libraryPath), hold)) {
    problem = refusal;
    return false;
  }
  Print(line, "done");
  return true;
}

// Each host marks its arrival at barrier n with a file "n.<its name>" in the folder "barrier"
// beside the library, then waits, polling every millisecond, until the other hosts' marks of n
// are there too. Files only: it works the same between Linux processes and Wine processes.
bool Interpreter::Barrier(const Line& line, std::string& problem) {
  int parties = 0;
  if (!Needs(line, 2, problem) || !line.words[1].quoted || line.words[1].text.empty() ||
      !IntAt(line, 2, parties, problem) || parties < 1) {
    problem = problem.empty() ? "barrier takes a name and a count of hosts" : problem;
    return false;
  }
  constexpr auto kLongestWait = std::chrono::seconds(120);
  const std::filesystem::path folder = FolderOf(host_.libraryPath) / "barrier";
  const std::string number = std::to_string(++barriers_) + ".";
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  std::ofstream(folder / PathOf(number + line.words[1].text)).put('\n');
  const auto until = std::chrono::steady_clock::now() + kLongestWait;
  for (;;) {
    int arrived = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, failure)) {
      if (TextOf(entry.path().filename()).rfind(number, 0) == 0) ++arrived;
    }
    if (arrived >= parties) break;
    if (std::chrono::steady_clock::now() > until) {
      problem = "barrier " + number + " timed out with " + std::to_string(arrived) + " of " +
                std::to_string(parties) + " hosts";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Print(line, "passed");
  return true;
}

bool Interpreter::ReleaseSettings(const Line& line, std::string& problem) {
  return Hold(line, false, "the settings file was not held", problem);
}

bool Interpreter::ReadOnly(const Line& line, std::string& problem) {
  const bool on = line.words.size() == 2 && line.words[1].text == "on";
  const bool off = line.words.size() == 2 && line.words[1].text == "off";
  if (!on && !off) {
    problem = "read-only takes on or off";
    return false;
  }
  if (!host_.markReadOnly(SettingsPathOf(host_.libraryPath), on)) {
    problem = "cannot change the settings file's read-only mark";
    return false;
  }
  Print(line, "done");
  return true;
}

// The settings file as the library left it: every non-blank line, trimmed, without its line end.
// Blank lines and line ends are left out so that a transcript shows what the file holds rather
// than how one INI service lays it out; the byte-for-byte comparison is the tests' job.
void Interpreter::PrintSettings(const Line& line) {
  std::string contents;
  const std::filesystem::path path = SettingsPathOf(host_.libraryPath);
  if (!ReadWholeFile(path, contents)) {
    Print(line, "(no settings file)");
    return;
  }
  Print(line, TextOf(path.filename()));
  for (const std::string& text : LinesOf(contents)) {
    const std::string_view trimmed = Trimmed(text);
    if (!trimmed.empty()) out_ << "  " << MaskTimes(std::string(trimmed)) << '\n';
  }
}

void Interpreter::PrintStatistics(const Line& line) {
  const std::filesystem::path library = PathOf(host_.libraryPath);
  const std::string prefix = TextOf(library.stem()) + "-stat-";
  std::vector<std::filesystem::path> files;
  std::error_code failure;
  const std::filesystem::path folder = FolderOf(host_.libraryPath);
  std::vector<std::string> names;
  if (host_.listFolder != nullptr) {
    names = host_.listFolder(folder);
  } else {
    for (const auto& entry : std::filesystem::directory_iterator(folder, failure)) {
      names.push_back(TextOf(entry.path().filename()));
    }
  }
  for (const std::string& name : names) {
    if (name.rfind(prefix, 0) == 0 && name.ends_with(".csv")) files.push_back(folder / PathOf(name));
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    Print(line, "(no statistics file)");
    return;
  }
  std::string found;
  for (const auto& file : files) found += (found.empty() ? "" : ", ") + TextOf(file.filename());
  Print(line, found);
  for (const auto& file : files) {
    std::string contents;
    ReadWholeFile(file, contents);
    const std::vector<std::string> lines = LinesOf(contents);
    out_ << "  " << MaskTimes(TextOf(file.filename())) << ": " << lines.size() << " lines\n";
    for (const std::string& text : lines) out_ << "    " << text << '\n';
    std::filesystem::remove(file, failure);
  }
}

}  // namespace

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::filesystem::path SettingsPathOf(const std::string& libraryPath) {
  std::filesystem::path path = PathOf(libraryPath);
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
  if (!ReadWholeFile(PathOf(scriptPath), script)) {
    std::cerr << "cannot read " << scriptPath << '\n';
    return 2;
  }
  if (transcriptPath != nullptr) {
    std::ofstream transcript(PathOf(transcriptPath), std::ios::binary | std::ios::trunc);
    return RunScript(scriptPath, script, host, transcript, std::cerr);
  }
  return RunScript(scriptPath, script, host, std::cout, std::cerr);
}

}  // namespace zt::callscript
