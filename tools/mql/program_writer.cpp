// program_writer.cpp - writes the tokens back out as the members of one C++ struct. A struct
// body is the one C++ scope where, as in MQL, a function may call another that is defined further
// down and use a global declared after it, so the EA's order of definitions can stay as it is.
// #line directives keep the MQL file and line of every token, so a compiler's message names the
// EA's own line.
#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "translation.h"

namespace mqlx {
namespace {

class Writer {
 public:
  Writer(const std::vector<Token>& tokens, std::ostringstream& out) : tokens_(tokens), out_(out) {}

  void write() {
    collectInputs();
    for (size_t i = 0; i < tokens_.size(); ++i) i = writeToken(i);
  }

 private:
  const std::vector<Token>& tokens_;
  std::ostringstream& out_;
  std::string file_;  // where the last token written came from
  int line_ = -1;
  int depth_ = 0;                   // brace depth: 0 is global scope
  bool inputDeclaration_ = false;   // between `input` and its `;`: the inputs get their values
  std::set<std::string> inputs_;    // the EA's input variables: read-only in MQL
  std::set<std::string> shadowed_;  // inputs hidden by a parameter or local of this function

  size_t next(size_t i) const {  // the next non-directive token after i
    ++i;
    while (i < tokens_.size() && tokens_[i].kind == Token::Directive) ++i;
    return i;
  }
  const std::string& text(size_t i) const {
    static const std::string none;
    return i < tokens_.size() ? tokens_[i].text : none;
  }
  bool isType(size_t i) const { return kTypes.count(text(i)) != 0; }

  bool startsStatement(size_t i) const {
    if (i == 0) return true;
    const std::string& prev = tokens_[i - 1].text;
    return prev == ";" || prev == "{" || prev == "}" || tokens_[i - 1].kind == Token::Directive;
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

  // Moves the output to the token's file and line: blank lines for a few lines on, a #line
  // directive for anything else.
  void position(const Token& t) {
    if (t.file != file_ || t.line < line_ || t.line > line_ + 3) {
      out_ << "\n#line " << t.line << " \"" << t.file << "\"\n";
    } else {
      for (int k = line_; k < t.line; ++k) out_ << "\n";
    }
    file_ = t.file;
    line_ = t.line;
  }

  // Writes the token at i, with what it starts when it starts a construct of its own; returns
  // the index of the last token written.
  size_t writeToken(size_t i) {
    const Token& t = tokens_[i];
    if (t.kind == Token::Directive) {
      out_ << "\n" << t.text << "\n";
      line_ = -100;  // a #line follows before the next token
      return i;
    }
    position(t);
    if (t.text == "{") ++depth_;
    if (t.text == "}" && --depth_ == 0) shadowed_.clear();
    const std::string prev = i > 0 ? tokens_[i - 1].text : std::string();
    const bool statementStart = startsStatement(i);
    const bool inParens = isType(i) && nestedInParens(i);
    if (isType(i) && (depth_ > 0 || inParens)) noteParameterOrLocal(i, inParens);
    if (t.text == ";") inputDeclaration_ = false;
    checkInputAssignment(i, prev);
    if (depth_ == 0 && statementStart && t.text == "input") {
      out_ << "/* input */ ";  // a member the scenario sets before OnInit
      inputDeclaration_ = true;
      return i;
    }
    if (isArrayParameter(i)) return writeArrayParameter(i);
    // A declaration statement: `T a, b[N], c[] = ...;`.
    if (isType(i) && (statementStart || prev == "(" || prev == "const") &&
        tokens_[std::min(next(i), tokens_.size() - 1)].kind == Token::Ident &&
        text(next(next(i))) != "(")
      return declaration(i, depth_ == 0);
    // A top-level prototype: in a struct every member function is visible everywhere.
    if (depth_ == 0 && isType(i) && text(next(next(i))) == "(") {
      const size_t end = prototypeEnd(i);
      if (text(next(end)) == ";") return next(end);
    }
    out_ << t.text << " ";
    return i;
  }

  // A type at i in a function: a parameter or local of an input's name hides the input in this
  // function. Refuses an array parameter passed by value.
  void noteParameterOrLocal(size_t i, bool inParens) {
    const Token& t = tokens_[i];
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

  // Refuses an input at i on the left of an assignment, outside its own declaration.
  void checkInputAssignment(size_t i, const std::string& prev) const {
    const Token& t = tokens_[i];
    if (!inputDeclaration_ && t.kind == Token::Ident && inputs_.count(t.text) &&
        !shadowed_.count(t.text) &&
        (kAssignments.count(text(next(i))) || prev == "++" || prev == "--"))
      refuse(t.file, t.line, "input " + t.text + " is read-only");
  }

  // `T &name[]` in a parameter list: MQL passes arrays by reference only.
  bool isArrayParameter(size_t i) const {
    return isType(i) && text(next(i)) == "&" && text(next(next(i))) != "" &&
           text(next(next(next(i)))) == "[";
  }

  // Writes the array parameter `T &name[]` at i as a reference to the double's array; returns
  // the index of its ']'.
  size_t writeArrayParameter(size_t i) {
    const Token& t = tokens_[i];
    const size_t nameAt = next(next(i));
    const size_t open = next(nameAt);
    if (text(next(open)) != "]") refuse(t.file, t.line, "an array parameter has no size");
    out_ << "mql::array<" << t.text << ">& " << text(nameAt) << " ";
    return next(open);
  }

  // The index of the ')' that closes the parameter list of the function named at next(i).
  size_t prototypeEnd(size_t i) const {
    size_t j = next(next(i));
    int parens = 0;
    for (; j < tokens_.size(); j = next(j)) {
      if (text(j) == "(") ++parens;
      if (text(j) == ")" && --parens == 0) break;
    }
    return j;
  }

  // Writes one declaration statement; returns the index of its last token (';', or the
  // first token it does not own when it ends inside a for-header or a parameter list).
  size_t declaration(size_t i, bool global) {
    const std::string type = tokens_[i].text;
    size_t j = next(i);
    bool first = true;
    const bool inParens = nestedInParens(i);  // a parameter or a for-header
    if (inParens) global = false;
    while (true) {
      const Token& nameToken = tokens_[j];
      if (nameToken.kind != Token::Ident)
        refuse(nameToken.file, nameToken.line, "a declaration needs a name");
      out_ << (first ? "" : "; ");
      j = next(j);
      j = text(j) == "[" ? writeArray(type, nameToken, j)
                         : writeVariable(type, nameToken, j, global);
      first = false;
      if (text(j) == ",") {
        // In a parameter list the comma ends this declaration.
        if (inParens) {
          out_ << " ";
          return j - 1;
        }
        j = next(j);
        continue;
      }
      if (text(j) == ";") {
        out_ << ";";
        return j;
      }
      out_ << " ";
      return j - 1;  // ')' of a parameter list
    }
  }

  // Writes `name[size]` of a declaration, its '[' at j, as the double's array; returns the index
  // after its ']'.
  size_t writeArray(const std::string& type, const Token& nameToken, size_t j) {
    std::string size;
    j = next(j);
    while (j < tokens_.size() && text(j) != "]") {
      size += text(j) + " ";
      j = next(j);
    }
    j = next(j);
    if (text(j) == "[")
      refuse(nameToken.file, nameToken.line, "multi-dimensional arrays are not known");
    if (text(j) == "=") refuse(nameToken.file, nameToken.line, "array initialisers are not known");
    out_ << "mql::array<" << type << "> " << nameToken.text;
    if (!size.empty()) out_ << " = mql::array<" << type << ">(" << size << ")";
    return j;
  }

  // Writes `name` or `name = value` of a declaration, j just after the name; a global without a
  // value starts at zero, as in MQL. Returns the index after the value.
  size_t writeVariable(const std::string& type, const Token& nameToken, size_t j, bool global) {
    out_ << type << " " << nameToken.text;
    if (text(j) == "=") {
      out_ << " =";
      int parens = 0;
      j = next(j);
      while (j < tokens_.size()) {
        const std::string& s = text(j);
        if (s == "(" || s == "[") ++parens;
        if ((s == ")" || s == "]") && --parens < 0) break;
        if (parens == 0 && (s == "," || s == ";")) break;
        out_ << " " << s;
        j = next(j);
      }
    } else if (global) {
      out_ << "{}";  // MQL zero-initialises globals
    }
    return j;
  }
};

}  // namespace

void writeProgram(const std::vector<Token>& tokens, std::ostringstream& out) {
  Writer(tokens, out).write();
}

}  // namespace mqlx
