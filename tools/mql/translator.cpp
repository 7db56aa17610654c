// translator.cpp - see translator.h. Three steps: read the files line by line (preprocessor lines
// and #import blocks are handled there, #include is followed), cut the rest into tokens that keep
// their file and line, and write the tokens back out as members of one C++ struct. A struct body
// is the one C++ scope where, as in MQL, a function may call another that is defined further down
// and use a global declared after it, so the EA's order of definitions can stay as it is.
#include "translator.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

namespace mqlx {
namespace {

namespace fs = std::filesystem;

struct Token {
  enum Kind { Ident, Number, String, Char, Punct, Directive } kind;
  std::string text;
  std::string file;
  int line;
};

[[noreturn]] void refuse(const std::string& file, int line, const std::string& message) {
  throw Refused(file + ":" + std::to_string(line) + ": " + message);
}

// The types of the MQL language the EAs use. Anything else in a type position is refused.
const std::set<std::string> kTypes = {"bool",   "char",   "uchar", "short",    "ushort",
                                      "int",    "uint",   "long",  "ulong",    "float",
                                      "double", "string", "color", "datetime", "void"};

// Keywords and operators whose MQL meaning the double does not model (objects, user types,
// templates, pointers, per-program statics): refused wherever they appear.
const std::set<std::string> kRefused = {
    "class",     "struct",    "enum",    "union",  "template", "typename", "operator",   "new",
    "delete",    "virtual",   "sinput",  "extern", "this",     "goto",     "private",    "public",
    "protected", "namespace", "typedef", "static", "::",       "->",       "GetPointer", "#"};

// C++ words that MQL does not have. The generated C++ would take them, MetaEditor would not, so
// an EA that uses one must fail here rather than pass CI and break in the terminal.
const std::set<std::string> kCppOnly = {"static_cast",
                                        "const_cast",
                                        "reinterpret_cast",
                                        "nullptr",
                                        "auto",
                                        "decltype",
                                        "constexpr",
                                        "consteval",
                                        "constinit",
                                        "noexcept",
                                        "using",
                                        "mutable",
                                        "explicit",
                                        "friend",
                                        "inline",
                                        "volatile",
                                        "register",
                                        "thread_local",
                                        "typeid",
                                        "alignas",
                                        "alignof",
                                        "static_assert",
                                        "concept",
                                        "requires",
                                        "throw",
                                        "try",
                                        "catch",
                                        "asm",
                                        "export",
                                        "signed",
                                        "unsigned",
                                        "wchar_t",
                                        "char8_t",
                                        "char16_t",
                                        "char32_t",
                                        "co_await",
                                        "co_return",
                                        "co_yield",
                                        "and",
                                        "or",
                                        "not",
                                        "xor",
                                        "bitand",
                                        "bitor",
                                        "compl",
                                        "and_eq",
                                        "or_eq",
                                        "xor_eq",
                                        "not_eq"};

// MQL's assignments: an input may appear on the left of none of them.
const std::set<std::string> kAssignments = {
    "=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>=", "++", "--"};

// A word the double cannot run (kRefused) or that is C++ rather than MQL (kCppOnly).
void checkWord(const Token& t) {
  if (kRefused.count(t.text))
    refuse(t.file, t.line, "construct not known to the terminal double: " + t.text);
  if (kCppOnly.count(t.text)) refuse(t.file, t.line, t.text + " is C++, not MQL");
}

class Translator {
 public:
  explicit Translator(const Options& options) : options_(options) {}

  std::string run() {
    readFile(fs::path(options_.source), options_.source, 0);
    // Without #property strict MetaEditor compiles an .mq4 by the old MQL4's looser rules (an
    // array index out of range, for one, does not stop the EA), which the double does not model.
    if (!mq5() && !strict_)
      refuse(fs::path(options_.source).filename().string(), 1,
             "#property strict is missing: without it MetaEditor compiles the old MQL4");
    for (const Token& t : tokens_)
      if (t.kind != Token::Directive) checkWord(t);
    collectInputs();
    std::ostringstream out;
    out << "// Generated by zt_mqlxlate from " << fs::path(options_.source).filename().string()
        << ". Do not edit: change the MQL source.\n"
        << "#pragma once\n#include \"mql_double.h\"\n\nnamespace "
        << options_.programName
        // The program sees its own language's namespace of the double and nothing else of it.
        << " {\nusing namespace mql::" << (mq5() ? "mql5" : "mql4") << ";\nstruct Program {\n";
    writeBody(out);
    out << "\n};\n}  // namespace " << options_.programName << "\n";
    return out.str();
  }

 private:
  const Options& options_;
  std::vector<Token> tokens_;
  std::set<std::string> included_;
  bool strict_ = false;             // the .mq4 says #property strict
  std::set<std::string> inputs_;    // the EA's input variables: read-only in MQL
  std::set<std::string> shadowed_;  // inputs hidden by a parameter or local of this function

  bool mq5() const { return fs::path(options_.source).extension() == ".mq5"; }

  // --- reading ---------------------------------------------------------------------------

  void readFile(const fs::path& path, const std::string& fromFile, int fromLine) {
    std::error_code ec;
    auto canonical = fs::weakly_canonical(path, ec).string();
    if (included_.count(canonical)) return;  // MQL includes a file once per program
    included_.insert(canonical);
    std::ifstream in(path, std::ios::binary);
    if (!in) refuse(fromFile, fromLine, "cannot read " + path.string());
    const std::string file = path.filename().string();
    std::string line;
    int number = 0;
    bool inImport = false;
    std::string importLibrary;
    std::vector<Token> importTokens;
    bool inBlockComment = false;
    while (std::getline(in, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::string trimmed = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
      if (!inBlockComment && !trimmed.empty() && trimmed[0] == '#') {
        directive(trimmed, path, file, number, inImport, importLibrary, importTokens);
        continue;
      }
      lex(line, file, number, inBlockComment, inImport ? importTokens : tokens_);
    }
    if (inImport) refuse(file, number, "#import block is not closed");
    if (inBlockComment) refuse(file, number, "comment is not closed");
  }

  void directive(const std::string& text, const fs::path& path, const std::string& file, int line,
                 bool& inImport, std::string& library, std::vector<Token>& imports) {
    std::istringstream words(text.substr(1));
    std::string word;
    words >> word;
    if (word == "property") {  // compiler and terminal settings: nothing to run
      std::string name;
      words >> name;
      if (name == "strict" && path == fs::path(options_.source)) strict_ = true;
      return;
    }
    if (word == "include") {
      std::string rest;
      std::getline(words, rest);
      rest = rest.substr(std::min(rest.find_first_not_of(" \t"), rest.size()));
      if (rest.size() < 3 || (rest[0] != '<' && rest[0] != '"'))
        refuse(file, line, "#include needs <file> or \"file\"");
      const char close = rest[0] == '<' ? '>' : '"';
      const auto end = rest.find(close, 1);
      if (end == std::string::npos) refuse(file, line, "#include name is not closed");
      // MQL writes include paths with backslashes (Trade\Trade.mqh).
      std::string name = rest.substr(1, end - 1);
      std::replace(name.begin(), name.end(), '\\', '/');
      for (const auto& provided : options_.provided)
        if (provided == name) return;  // the double implements it in C++
      std::vector<fs::path> candidates;
      if (close == '"') candidates.push_back(path.parent_path() / name);
      for (const auto& dir : options_.includeDirs) candidates.push_back(fs::path(dir) / name);
      for (const auto& candidate : candidates) {
        if (fs::exists(candidate)) {
          readFile(candidate, file, line);
          return;
        }
      }
      refuse(file, line, "include file not found: " + name);
    }
    if (word == "define") {
      std::string name;
      words >> name;
      if (name.empty() || name.find('(') != std::string::npos)
        refuse(file, line, "only object-like #define is known");
      // The value is pasted into the C++ as it stands: it may hold no word the body may not.
      std::vector<Token> value;
      bool inComment = false;
      lex(text.substr(text.find(name) + name.size()), file, line, inComment, value);
      for (const Token& t : value) checkWord(t);
      tokens_.push_back({Token::Directive, "#define " + text.substr(text.find(name)), file, line});
      return;
    }
    if (word == "import") {
      std::string rest;
      std::getline(words, rest);
      rest = rest.substr(std::min(rest.find_first_not_of(" \t"), rest.size()));
      if (inImport) {
        if (!rest.empty() && rest.rfind("//", 0) != 0)
          refuse(file, line, "an #import block must be closed by a bare #import");
        emitImports(library, imports);
        inImport = false;
        return;
      }
      if (rest.size() < 3 || rest[0] != '"') refuse(file, line, "#import needs \"library\"");
      library = rest.substr(1, rest.find('"', 1) - 1);
      imports.clear();
      inImport = true;
      return;
    }
    refuse(file, line, "unknown preprocessor line: #" + word);
  }

  static void lex(const std::string& line, const std::string& file, int number,
                  bool& inBlockComment, std::vector<Token>& out) {
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
        continue;
      }
      if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        size_t j = i;
        while (j < line.size() &&
               (std::isalnum(static_cast<unsigned char>(line[j])) || line[j] == '_'))
          ++j;
        std::string word = line.substr(i, j - i);
        if ((word == "D" || word == "C") && j < line.size() && line[j] == '\'')
          refuse(file, number, "date and colour literals are not known");
        out.push_back({Token::Ident, word, file, number});
        i = j;
        continue;
      }
      if (std::isdigit(static_cast<unsigned char>(c)) ||
          (c == '.' && i + 1 < line.size() &&
           std::isdigit(static_cast<unsigned char>(line[i + 1])))) {
        size_t j = i;
        while (j < line.size() &&
               (std::isalnum(static_cast<unsigned char>(line[j])) || line[j] == '.'))
          ++j;
        out.push_back({Token::Number, line.substr(i, j - i), file, number});
        i = j;
        continue;
      }
      if (c == '"' || c == '\'') {
        size_t j = i + 1;
        while (j < line.size() && line[j] != c) j += line[j] == '\\' ? 2u : 1u;
        if (j >= line.size()) refuse(file, number, "literal is not closed");
        std::string literal = line.substr(i, j + 1 - i);
        if (c == '\'' && literal.size() != 3 && !(literal.size() == 4 && literal[1] == '\\'))
          refuse(file, number, "character literal of more than one character");
        out.push_back({c == '"' ? Token::String : Token::Char, literal, file, number});
        i = j + 1;
        continue;
      }
      static const char* const kLong[] = {"<<=", ">>=", "==", "!=", "<=", ">=", "&&", "||",
                                          "++",  "--",  "+=", "-=", "*=", "/=", "%=", "&=",
                                          "|=",  "^=",  "<<", ">>", "::", "->"};
      std::string punct(1, c);
      for (const char* op : kLong) {
        if (line.compare(i, std::char_traits<char>::length(op), op) == 0) {
          punct = op;
          break;
        }
      }
      if (punct == "#" || punct == "$" || punct == "@" || punct == "`" || punct == "\\")
        refuse(file, number, "unexpected character '" + punct + "'");
      out.push_back({Token::Punct, punct, file, number});
      i += punct.size();
    }
  }

  // --- #import ----------------------------------------------------------------------------

  // Each imported function becomes a member that forwards to the loaded library's export of
  // the same name. The export's C type comes from include/zentravo.h, so an import whose
  // parameters do not match the library's fails to compile. References and arrays are what
  // MQL hands a DLL as pointers: `double &x` goes as &x, `uchar &text[]` as the array's bytes.
  void emitImports(const std::string& library, const std::vector<Token>& t) {
    size_t i = 0;
    while (i < t.size()) {
      const Token& first = t[i];
      std::string declaration, call;
      if (!kTypes.count(first.text))
        refuse(first.file, first.line, "unknown import type " + first.text);
      const std::string ret = first.text;
      if (i + 2 >= t.size() || t[i + 1].kind != Token::Ident || t[i + 2].text != "(")
        refuse(first.file, first.line, "an import must be `type name(parameters);`");
      const std::string name = t[i + 1].text;
      i += 3;
      std::string params, args;
      while (i < t.size() && t[i].text != ")") {
        bool isConst = false;
        if (t[i].text == "const") {
          isConst = true;
          ++i;
        }
        if (i >= t.size() || !kTypes.count(t[i].text))
          refuse(first.file, first.line, "unknown parameter type in import " + name);
        const std::string type = t[i++].text;
        bool byRef = false;
        if (i < t.size() && t[i].text == "&") {
          byRef = true;
          ++i;
        }
        if (i >= t.size() || t[i].kind != Token::Ident)
          refuse(first.file, first.line, "import parameters need names: " + name);
        const std::string pname = t[i++].text;
        bool isArray = false;
        if (i + 1 < t.size() && t[i].text == "[" && t[i + 1].text == "]") {
          isArray = true;
          i += 2;
        }
        if (isArray && !byRef) refuse(first.file, first.line, "arrays go to a DLL by reference");
        if (!params.empty()) {
          params += ", ";
          args += ", ";
        }
        const std::string prefix = isConst ? "const " : "";
        if (isArray) {
          params += prefix + "mql::array<" + type + ">& " + pname;
          args += "mql::dll_bytes(" + pname + ")";
        } else if (byRef) {
          params += prefix + type + "& " + pname;
          args += "&" + pname;
        } else {
          params += prefix + type + " " + pname;
          args += pname;
        }
        if (i < t.size() && t[i].text == ",") ++i;
      }
      if (i + 1 >= t.size() || t[i + 1].text != ";")
        refuse(first.file, first.line, "an import ends with `);`");
      i += 2;
      std::ostringstream out;
      out << "#line " << first.line << " \"" << first.file << "\"\n"
          << "static " << ret << " " << name << "(" << params << ") { return mql::library(\""
          << library << "\", \"" << name << "\")." << name << "(" << args << "); }";
      tokens_.push_back({Token::Directive, out.str(), first.file, first.line});
    }
  }

  // --- writing ----------------------------------------------------------------------------

  size_t next(size_t i) const {  // the next non-directive token after i
    ++i;
    while (i < tokens_.size() && tokens_[i].kind == Token::Directive) ++i;
    return i;
  }
  const std::string& text(size_t i) const {
    static const std::string none;
    return i < tokens_.size() ? tokens_[i].text : none;
  }

  bool startsStatement(size_t i) const {
    if (i == 0) return true;
    const std::string& prev = tokens_[i - 1].text;
    return prev == ";" || prev == "{" || prev == "}" || tokens_[i - 1].kind == Token::Directive;
  }

  // `input T a = 1, b = 2;` at global scope: every name it declares. Collected before the body
  // is written, since a function may assign an input declared further down.
  void collectInputs() {
    int depth = 0;
    for (size_t i = 0; i < tokens_.size(); ++i) {
      if (tokens_[i].kind == Token::Directive) continue;
      const std::string& s = tokens_[i].text;
      if (s == "{") ++depth;
      if (s == "}") --depth;
      if (depth != 0 || s != "input" || !startsStatement(i)) continue;
      size_t j = next(next(i));
      inputs_.insert(text(j));
      for (int parens = 0; j < tokens_.size() && text(j) != ";"; j = next(j)) {
        if (text(j) == "(") ++parens;
        if (text(j) == ")") --parens;
        if (parens == 0 && text(j) == ",") inputs_.insert(text(next(j)));
      }
    }
  }

  void writeBody(std::ostringstream& out) {
    std::string file;
    int line = -1;
    int depth = 0;                  // brace depth: 0 is global scope
    bool inputDeclaration = false;  // between `input` and its `;`: the inputs get their values
    auto position = [&](const Token& t) {
      if (t.file != file || t.line < line || t.line > line + 3) {
        out << "\n#line " << t.line << " \"" << t.file << "\"\n";
      } else {
        for (int k = line; k < t.line; ++k) out << "\n";
      }
      file = t.file;
      line = t.line;
    };
    for (size_t i = 0; i < tokens_.size(); ++i) {
      const Token& t = tokens_[i];
      if (t.kind == Token::Directive) {
        out << "\n" << t.text << "\n";
        line = -100;  // a #line follows before the next token
        continue;
      }
      position(t);
      if (t.text == "{") ++depth;
      if (t.text == "}" && --depth == 0) shadowed_.clear();
      const std::string& prev = i > 0 ? tokens_[i - 1].text : std::string();
      const bool statementStart = startsStatement(i);
      const bool inParens = kTypes.count(t.text) && nestedInParens(i);
      if (kTypes.count(t.text) && (depth > 0 || inParens)) {
        // A parameter or local of an input's name hides the input in this function.
        size_t name = next(i);
        if (text(name) == "&") name = next(name);
        if (inputs_.count(text(name))) shadowed_.insert(text(name));
        // MQL passes arrays by reference only; `T name[]` would be a C++ copy.
        if (inParens && tokens_[std::min(name, tokens_.size() - 1)].kind == Token::Ident &&
            name == next(i) && text(next(name)) == "[")
          refuse(t.file, t.line,
                 "array parameter " + text(name) +
                     " is passed by value: MQL passes arrays by reference only (" + t.text + " &" +
                     text(name) + "[])");
      }
      if (t.text == ";") inputDeclaration = false;
      if (!inputDeclaration && t.kind == Token::Ident && inputs_.count(t.text) &&
          !shadowed_.count(t.text) &&
          (kAssignments.count(text(next(i))) || prev == "++" || prev == "--"))
        refuse(t.file, t.line, "input " + t.text + " is read-only");
      if (depth == 0 && statementStart && t.text == "input") {
        out << "/* input */ ";  // a member the scenario sets before OnInit
        inputDeclaration = true;
        continue;
      }
      // `T &name[]` in a parameter list: MQL passes arrays by reference only.
      if (kTypes.count(t.text) && text(next(i)) == "&" && text(next(next(i))) != "" &&
          text(next(next(next(i)))) == "[") {
        const size_t nameAt = next(next(i));
        const size_t open = next(nameAt);
        if (text(next(open)) != "]") refuse(t.file, t.line, "an array parameter has no size");
        out << "mql::array<" << t.text << ">& " << text(nameAt) << " ";
        i = next(open);
        continue;
      }
      // A declaration statement: `T a, b[N], c[] = ...;`.
      if (kTypes.count(t.text) && (statementStart || prev == "(" || prev == "const") &&
          tokens_[std::min(next(i), tokens_.size() - 1)].kind == Token::Ident &&
          text(next(next(i))) != "(") {
        i = declaration(out, i, depth == 0);
        continue;
      }
      // A top-level prototype: in a struct every member function is visible everywhere.
      if (depth == 0 && kTypes.count(t.text) && text(next(next(i))) == "(") {
        size_t j = next(next(i));
        int parens = 0;
        for (; j < tokens_.size(); j = next(j)) {
          if (text(j) == "(") ++parens;
          if (text(j) == ")" && --parens == 0) break;
        }
        if (text(next(j)) == ";") {
          i = next(j);
          continue;
        }
      }
      out << t.text << " ";
    }
  }

  // Writes one declaration statement; returns the index of its last token (';', or the
  // first token it does not own when it ends inside a for-header or a parameter list).
  size_t declaration(std::ostringstream& out, size_t i, bool global) {
    const Token& typeToken = tokens_[i];
    const std::string type = typeToken.text;
    size_t j = next(i);
    bool first = true;
    const bool inParens = nestedInParens(i);  // a parameter or a for-header
    if (inParens) global = false;
    while (true) {
      const Token& nameToken = tokens_[j];
      if (nameToken.kind != Token::Ident)
        refuse(nameToken.file, nameToken.line, "a declaration needs a name");
      const std::string name = nameToken.text;
      j = next(j);
      if (text(j) == "[") {
        std::string size;
        j = next(j);
        while (j < tokens_.size() && text(j) != "]") {
          size += text(j) + " ";
          j = next(j);
        }
        j = next(j);
        if (text(j) == "[")
          refuse(nameToken.file, nameToken.line, "multi-dimensional arrays are not known");
        if (text(j) == "=")
          refuse(nameToken.file, nameToken.line, "array initialisers are not known");
        out << (first ? "" : "; ") << "mql::array<" << type << "> " << name;
        if (!size.empty()) out << " = mql::array<" << type << ">(" << size << ")";
      } else {
        out << (first ? "" : "; ") << type << " " << name;
        if (text(j) == "=") {
          out << " =";
          int parens = 0;
          j = next(j);
          while (j < tokens_.size()) {
            const std::string& s = text(j);
            if (s == "(" || s == "[") ++parens;
            if ((s == ")" || s == "]") && --parens < 0) break;
            if (parens == 0 && (s == "," || s == ";")) break;
            out << " " << s;
            j = next(j);
          }
        } else if (global) {
          out << "{}";  // MQL zero-initialises globals
        }
      }
      first = false;
      if (text(j) == ",") {
        // In a parameter list the comma ends this declaration.
        if (inParens) {
          out << " ";
          return j - 1;
        }
        j = next(j);
        continue;
      }
      if (text(j) == ";") {
        out << ";";
        return j;
      }
      out << " ";
      return j - 1;  // ')' of a parameter list
    }
  }

  bool nestedInParens(size_t j) const {  // is token j inside parentheses of its statement?
    int parens = 0;
    for (size_t k = j; k-- > 0;) {
      const std::string& s = tokens_[k].text;
      if (s == ")") ++parens;
      if (s == "(" && --parens < 0) return true;
      if (s == ";" || s == "{" || s == "}") return false;
    }
    return false;
  }
};

}  // namespace

std::string translate(const Options& options) { return Translator(options).run(); }

}  // namespace mqlx
