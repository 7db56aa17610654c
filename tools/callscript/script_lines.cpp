#include "script_lines.h"

#include <sstream>

#include "script.h"
#include "text_helpers.h"

namespace zt::callscript {
namespace {

using tools::Trimmed;

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

}  // namespace

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

std::filesystem::path FindLibraryFolder(const std::string& libraryPath) {
  return ToPath(libraryPath).parent_path();
}

std::string ToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<std::string> SplitLines(const std::string& contents) {
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

}  // namespace zt::callscript
