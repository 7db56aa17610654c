// line_lexer.cpp - cuts a line of MQL into tokens: words, numbers, string and character
// literals and punctuation, comments left out.
#include <cctype>
#include <string>
#include <vector>

#include "translation.h"

namespace mqlx {
namespace {

bool isWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isWordPart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Each lexer below reads the token that starts at line[i], appends it to out and returns the
// index after it.

size_t lexWord(const std::string& line, size_t i, const std::string& file, int number,
               std::vector<Token>& out) {
  size_t j = i;
  while (j < line.size() && isWordPart(line[j])) ++j;
  std::string word = line.substr(i, j - i);
  if ((word == "D" || word == "C") && j < line.size() && line[j] == '\'')
    refuse(file, number, "date and colour literals are not known");
  out.push_back({Token::Ident, word, file, number});
  return j;
}

size_t lexNumber(const std::string& line, size_t i, const std::string& file, int number,
                 std::vector<Token>& out) {
  size_t j = i;
  while (j < line.size() && (std::isalnum(static_cast<unsigned char>(line[j])) || line[j] == '.'))
    ++j;
  out.push_back({Token::Number, line.substr(i, j - i), file, number});
  return j;
}

size_t lexLiteral(const std::string& line, size_t i, const std::string& file, int number,
                  std::vector<Token>& out) {
  const char quote = line[i];
  size_t j = i + 1;
  while (j < line.size() && line[j] != quote) j += line[j] == '\\' ? 2u : 1u;
  if (j >= line.size()) refuse(file, number, "literal is not closed");
  std::string literal = line.substr(i, j + 1 - i);
  if (quote == '\'' && literal.size() != 3 && !(literal.size() == 4 && literal[1] == '\\'))
    refuse(file, number, "character literal of more than one character");
  out.push_back({quote == '"' ? Token::String : Token::Char, literal, file, number});
  return j + 1;
}

size_t lexPunctuation(const std::string& line, size_t i, const std::string& file, int number,
                      std::vector<Token>& out) {
  static const char* const kLong[] = {"<<=", ">>=", "==", "!=", "<=", ">=", "&&", "||",
                                      "++",  "--",  "+=", "-=", "*=", "/=", "%=", "&=",
                                      "|=",  "^=",  "<<", ">>", "::", "->"};
  std::string punct(1, line[i]);
  for (const char* op : kLong) {
    if (line.compare(i, std::char_traits<char>::length(op), op) == 0) {
      punct = op;
      break;
    }
  }
  if (punct == "#" || punct == "$" || punct == "@" || punct == "`" || punct == "\\")
    refuse(file, number, "unexpected character '" + punct + "'");
  out.push_back({Token::Punct, punct, file, number});
  return i + punct.size();
}

}  // namespace

void lex(const std::string& line, const std::string& file, int number, bool& inBlockComment,
         std::vector<Token>& out) {
  size_t i = 0;
  while (i < line.size()) {
    if (inBlockComment) {
      const auto end = line.find("*/", i);
      if (end == std::string::npos) return;
      inBlockComment = false;
      i = end + 2;
      continue;
    }
    const char c = line[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (line.compare(i, 2, "//") == 0) return;
    if (line.compare(i, 2, "/*") == 0) {
      inBlockComment = true;
      i += 2;
    } else if (isWordStart(c)) {
      i = lexWord(line, i, file, number, out);
    } else if (isDigit(c) || (c == '.' && i + 1 < line.size() && isDigit(line[i + 1]))) {
      i = lexNumber(line, i, file, number, out);
    } else if (c == '"' || c == '\'') {
      i = lexLiteral(line, i, file, number, out);
    } else {
      i = lexPunctuation(line, i, file, number, out);
    }
  }
}

}  // namespace mqlx
