// The text around a call script's run: its lines read into words, and the transcript's texts
// (quoted with escapes, with the times the script cannot pin masked), and the files beside the
// library named as UTF-8. The interpreter (script.cpp, host_commands.cpp) reads and writes
// through these.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zt::callscript {

struct Word {
  std::string text;
  bool quoted;
};

struct Line {
  int number;          // 1-based, in the script file
  std::string source;  // the line as written, trimmed
  std::vector<Word> words;
};

struct ScriptError {
  int line;
  std::string message;
};

// The script's lines that hold a command, trimmed and split into words (script.h says how);
// false with error set at the first line that cannot be read.
bool ReadLines(const std::string& scriptText, std::vector<Line>& lines, ScriptError& error);

// text with every date and time the script cannot pin replaced by a fixed marker.
std::string MaskTimes(std::string text);
// text in double quotes, with the script's escapes and \xHH for bytes outside printable ASCII.
std::string Quoted(std::string_view text);

// The folder the library (a UTF-8 path) lies in.
std::filesystem::path FindLibraryFolder(const std::string& libraryPath);
// A file name as UTF-8 text, whatever the code page of the process.
std::string ToUtf8(const std::filesystem::path& path);
// The file's lines without their line ends (CR LF, LF or a lone CR).
std::vector<std::string> SplitLines(const std::string& contents);

}  // namespace zt::callscript
