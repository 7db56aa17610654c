// translation.h - the steps of the translator (see translator.h), shared by its files: the
// source is read line by line (source_reader.cpp: preprocessor lines, #include followed, #import
// blocks turned into members by import_members.cpp), each line cut into tokens that keep their
// file and line (line_lexer.cpp), every word checked against what MQL and the double know
// (mql_words.cpp), and the tokens written back out as members of one C++ struct
// (program_writer.cpp).
#pragma once

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "translator.h"

namespace mqlx {

// A piece of the source with the file and line it came from. A Directive is a whole line the
// writer copies as it stands: a #define, or the member an imported function became.
struct Token {
  enum Kind { Ident, Number, String, Char, Punct, Directive } kind;
  std::string text;
  std::string file;
  int line;
};

// Throws Refused with "file:line: message".
[[noreturn]] void refuse(const std::string& file, int line, const std::string& message);

// The types of the MQL language the EAs use. Anything else in a type position is refused.
extern const std::set<std::string> kTypes;

// MQL's assignments: an input may appear on the left of none of them.
extern const std::set<std::string> kAssignments;

// Refuses a word the double cannot run or that is C++ rather than MQL.
void checkWord(const Token& t);

// Cuts one line of source into tokens appended to out. inBlockComment carries a /* comment from
// line to line. Refuses a literal that is not closed, a character literal of more than one
// character, date and colour literals and a character MQL has no use for.
void lex(const std::string& line, const std::string& file, int number, bool& inBlockComment,
         std::vector<Token>& out);

// Turns the declarations of one #import block of library into Directive tokens appended to out:
// each imported function becomes a member that forwards to the loaded library's export of the
// same name. Refuses a declaration the double cannot forward.
void emitImports(const std::string& library, const std::vector<Token>& declarations,
                 std::vector<Token>& out);

// The program's source as read: every token of the .mq4/.mq5 and the files it includes, in
// order, and whether the .mq4 says #property strict.
struct Source {
  std::vector<Token> tokens;
  bool strict = false;
};

// Reads options.source and the files it includes. Refuses a file it cannot read, an include it
// cannot find and a preprocessor line it does not know.
Source readSource(const Options& options);

// Writes the tokens as the body of the program's struct. Refuses an input assigned to and an
// array passed by value.
void writeProgram(const std::vector<Token>& tokens, std::ostringstream& out);

}  // namespace mqlx
