// mql_words.cpp - the words of MQL the translator knows: the types, the assignments, and what
// it refuses (what the double does not model, and what is C++ rather than MQL).
#include <set>
#include <string>

#include "translation.h"

namespace mqlx {
namespace {

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

}  // namespace

[[noreturn]] void refuse(const std::string& file, int line, const std::string& message) {
  throw Refused(file + ":" + std::to_string(line) + ": " + message);
}

// The types of the MQL language the EAs use. Anything else in a type position is refused.
const std::set<std::string> kTypes = {"bool",   "char",   "uchar", "short",    "ushort",
                                      "int",    "uint",   "long",  "ulong",    "float",
                                      "double", "string", "color", "datetime", "void"};

// MQL's assignments: an input may appear on the left of none of them.
const std::set<std::string> kAssignments = {
    "=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>=", "++", "--"};

// A word the double cannot run (kRefused) or that is C++ rather than MQL (kCppOnly).
void checkWord(const Token& t) {
  if (kRefused.count(t.text))
    refuse(t.file, t.line, "construct not known to the terminal double: " + t.text);
  if (kCppOnly.count(t.text)) refuse(t.file, t.line, t.text + " is C++, not MQL");
}

}  // namespace mqlx
