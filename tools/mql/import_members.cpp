// import_members.cpp - an #import block's declarations as members of the program's struct.
//
// Each imported function becomes a member that forwards to the loaded library's export of the
// same name. The export's C type comes from include/zentravo.h, so an import whose parameters do
// not match the library's fails to compile. References and arrays are what MQL hands a DLL as
// pointers: `double &x` goes as &x, `uchar &text[]` as the array's bytes.
#include <sstream>
#include <string>
#include <vector>

#include "translation.h"

namespace mqlx {
namespace {

// One parameter of an imported function: as the member declares it, and as the member passes it
// on to the library.
struct Parameter {
  std::string declared;
  std::string passed;
};

// Reads the parameter that starts at t[i] of the import name (whose declaration starts at
// first); returns the index after it.
size_t readParameter(const std::vector<Token>& t, size_t i, const Token& first,
                     const std::string& name, Parameter& parameter) {
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
  const std::string prefix = isConst ? "const " : "";
  if (isArray) {
    parameter = {prefix + "mql::array<" + type + ">& " + pname, "mql::dll_bytes(" + pname + ")"};
  } else if (byRef) {
    parameter = {prefix + type + "& " + pname, "&" + pname};
  } else {
    parameter = {prefix + type + " " + pname, pname};
  }
  return i;
}

// Turns the declaration `type name(parameters);` that starts at t[i] into a member appended to
// out; returns the index after it.
size_t emitImport(const std::string& library, const std::vector<Token>& t, size_t i,
                  std::vector<Token>& out) {
  const Token& first = t[i];
  if (!kTypes.count(first.text))
    refuse(first.file, first.line, "unknown import type " + first.text);
  const std::string ret = first.text;
  if (i + 2 >= t.size() || t[i + 1].kind != Token::Ident || t[i + 2].text != "(")
    refuse(first.file, first.line, "an import must be `type name(parameters);`");
  const std::string name = t[i + 1].text;
  i += 3;
  std::string params, args;
  while (i < t.size() && t[i].text != ")") {
    Parameter parameter;
    i = readParameter(t, i, first, name, parameter);
    if (!params.empty()) {
      params += ", ";
      args += ", ";
    }
    params += parameter.declared;
    args += parameter.passed;
    if (i < t.size() && t[i].text == ",") ++i;
  }
  if (i + 1 >= t.size() || t[i + 1].text != ";")
    refuse(first.file, first.line, "an import ends with `);`");
  std::ostringstream member;
  member << "#line " << first.line << " \"" << first.file << "\"\n"
         << "static " << ret << " " << name << "(" << params << ") { return mql::library(\""
         << library << "\", \"" << name << "\")." << name << "(" << args << "); }";
  out.push_back({Token::Directive, member.str(), first.file, first.line});
  return i + 2;
}

}  // namespace

void emitImports(const std::string& library, const std::vector<Token>& declarations,
                 std::vector<Token>& out) {
  for (size_t i = 0; i < declarations.size();) i = emitImport(library, declarations, i, out);
}

}  // namespace mqlx
