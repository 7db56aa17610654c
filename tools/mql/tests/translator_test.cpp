// The translator's refusals: every construct outside what the terminal double models must stop
// the build with the MQL file and line, never pass through half-translated.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "translator.h"

namespace {

namespace fs = std::filesystem;

class Translator : public ::testing::Test {
 protected:
  fs::path dir =
      fs::temp_directory_path() /
      ("zt-mqlx-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }

  std::string write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return (dir / name).string();
  }
  // An .mq4 whose line 1 is #property strict, as every .mq4 must open: the source's own lines
  // start at line 2.
  std::string translate(const std::string& source) {
    return mqlx::translate(
        {write("Ea.mq4", "#property strict\n" + source), {dir.string()}, "ea", {}});
  }
  // The refusal's message, "" when the source was accepted.
  std::string refusal(const std::string& source, const std::string& name = "") {
    try {
      if (name.empty())
        translate(source);
      else
        mqlx::translate({write(name, source), {dir.string()}, "ea", {}});
    } catch (const mqlx::Refused& e) {
      return e.what();
    }
    return "";
  }
  // The compiler's errors for the translated source over the terminal double, "" when it
  // compiles.
  std::string compileErrors(const std::string& name, const std::string& source) {
    std::ofstream(dir / "Ea.h") << mqlx::translate({write(name, source), {dir.string()}, "ea", {}});
    write("Ea.cpp", "#include \"Ea.h\"\n");
    const std::string command = std::string(ZT_CXX) + " -std=c++20 -fsyntax-only " +
                                ZT_DOUBLE_INCLUDES + " -I" + dir.string() + " " +
                                (dir / "Ea.cpp").string() + " 2>&1";
    std::string output;
    FILE* compiler = popen(command.c_str(), "r");
    if (!compiler) return "cannot run " + command;
    char chunk[4096];
    while (size_t n = fread(chunk, 1, sizeof chunk, compiler)) output.append(chunk, n);
    return pclose(compiler) == 0 ? "" : output;
  }
};

TEST_F(Translator, RefusesUnknownConstructsNamingFileAndLine) {
  // Each source after the test's #property strict line, and the refusal it gets.
  const std::pair<std::string, std::string> cases[] = {
      {"int a;\nclass Box { };\n", "Ea.mq4:3: construct not known to the terminal double: class"},
      {"#property strict\n#ifdef X\n", "Ea.mq4:3: unknown preprocessor line: #ifdef"},
      {"#define TWICE(x) (2*(x))\n", "Ea.mq4:2: only object-like #define is known"},
      {"\n\n#include <Missing.mqh>\n", "Ea.mq4:4: include file not found: Missing.mqh"},
      {"void f()\n  {\n   static int calls = 0;\n  }\n",
       "Ea.mq4:4: construct not known to the terminal double: static"},
      {"int table[2] = {1, 2};\n", "Ea.mq4:2: array initialisers are not known"},
      {"int grid[2][3];\n", "Ea.mq4:2: multi-dimensional arrays are not known"},
      {"datetime start = D'2020.01.01';\n", "Ea.mq4:2: date and colour literals are not known"},
      {"#import \"x.dll\"\n   int F(int a);\n", "Ea.mq4:3: #import block is not closed"},
      {"#import \"x.dll\"\n   int F(int a[]);\n#import\n",
       "Ea.mq4:3: arrays go to a DLL by reference"},
  };
  for (const auto& [source, message] : cases) EXPECT_EQ(refusal(source), message) << source;
}

TEST_F(Translator, FollowsIncludesAndReportsLinesOfTheIncludedFile) {
  write("Lib.mqh", "int ok;\n\nenum Mode { A };\n");
  EXPECT_EQ(refusal("#include <Lib.mqh>\n"),
            "Lib.mqh:3: construct not known to the terminal double: enum");
}

TEST_F(Translator, RewritesArraysImportsAndInputs) {
  const std::string out = translate(
      "#import \"zentravo.dll\"\n"
      "   void GetAlert(int kind, uchar &text[]);\n"
      "   void GetIndex(int &tpSet, int &tpIndex, int &ddSet, int &ddIndex);\n"
      "#import\n"
      "input int Attempts = 3;\n"
      "bool sent[3];\n"
      "int passes;\n"
      "void F(string &names[])\n  {\n   uchar a[], b[8];\n   for(int i = 0; i < 2; i++) { }\n  "
      "}\n");
  for (const char* expected :
       {"static void GetAlert(int kind, mql::array<uchar>& text) { return "
        "mql::library(\"zentravo.dll\", \"GetAlert\").GetAlert(kind, mql::dll_bytes(text)); }",
        "return mql::library(\"zentravo.dll\", \"GetIndex\").GetIndex(&tpSet, &tpIndex, &ddSet, "
        "&ddIndex);",
        "/* input */ int Attempts = 3 ;", "mql::array<bool> sent = mql::array<bool>(3 );",
        "int passes{};", "void F ( mql::array<string>& names )",
        "mql::array<uchar> a; mql::array<uchar> b = mql::array<uchar>(8 );",
        "for ( int i = 0;i < 2"}) {
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n--- in ---\n" << out;
  }
}

TEST_F(Translator, SkipsIncludesTheDoubleProvidesAndPicksTheDialectByExtension) {
  const std::string source = write("Ea.mq5", "#include <Trade\\Trade.mqh>\nint x;\n");
  const std::string out = mqlx::translate({source, {dir.string()}, "ea", {"Trade/Trade.mqh"}});
  EXPECT_NE(out.find("using namespace mql::mql5;"), std::string::npos) << out;
  EXPECT_THROW(mqlx::translate({source, {dir.string()}, "ea", {}}), mqlx::Refused);
}

TEST_F(Translator, RefusesCppWordsMqlDoesNotHave) {
  EXPECT_EQ(refusal("int a = static_cast<int>(2.5);\n"), "Ea.mq4:2: static_cast is C++, not MQL");
  EXPECT_EQ(refusal("void f()\n  {\n   auto n = 3;\n  }\n"), "Ea.mq4:4: auto is C++, not MQL");
  EXPECT_EQ(refusal("\n#define NONE nullptr\n"), "Ea.mq4:3: nullptr is C++, not MQL");
}

TEST_F(Translator, RefusesAssigningAnInput) {
  EXPECT_EQ(refusal("input int Attempts = 3;\nvoid f()\n  {\n   Attempts = 4;\n  }\n"),
            "Ea.mq4:5: input Attempts is read-only");
  EXPECT_EQ(refusal("void f()\n  {\n   Attempts++;\n  }\ninput int Attempts = 3;\n"),
            "Ea.mq4:4: input Attempts is read-only");
  EXPECT_EQ(refusal("input int A = 1, Attempts = 3;\nvoid f() { Attempts += 1; }\n"),
            "Ea.mq4:3: input Attempts is read-only");
  // A parameter or local of the same name is the function's own variable.
  EXPECT_EQ(refusal("input int Attempts = 3;\nvoid f(int Attempts) { Attempts = 4; }\n"
                    "void g() { int Attempts = 1; Attempts--; }\n"),
            "");
}

TEST_F(Translator, RefusesArraysPassedByValue) {
  EXPECT_EQ(
      refusal("void f(int n, double prices[])\n  {\n  }\n"),
      "Ea.mq4:2: array parameter prices is passed by value: MQL passes arrays by reference only "
      "(double &prices[])");
  EXPECT_EQ(
      refusal("\nvoid f(const string names[]) { }\n"),
      "Ea.mq4:3: array parameter names is passed by value: MQL passes arrays by reference only "
      "(string &names[])");
}

TEST_F(Translator, RequiresPropertyStrictInAnMq4) {
  EXPECT_EQ(refusal("int a;\n", "Ea.mq4"),
            "Ea.mq4:1: #property strict is missing: without it MetaEditor compiles the old MQL4");
  // An included file's #property does not make the program strict.
  write("Lib.mqh", "#property strict\n");
  EXPECT_EQ(refusal("#include <Lib.mqh>\n", "Ea.mq4"),
            "Ea.mq4:1: #property strict is missing: without it MetaEditor compiles the old MQL4");
  EXPECT_EQ(refusal("int a;\n", "Ea.mq5"), "");
}

// Each program compiles against its own language's namespace of the double only: a name of the
// other language, or of the double's machinery, is a compile error at the MQL line that uses it.
TEST_F(Translator, EachLanguageSeesOnlyItsOwnNames) {
  const std::string mq4 =
      compileErrors("Ea.mq4",
                    "#property strict\nbool own = IsConnected();\nint other = PositionsTotal();\n"
                    "int machinery = T().timerMs;\n");
  EXPECT_EQ(mq4.find("Ea.mq4:2:"), std::string::npos) << mq4;
  EXPECT_NE(mq4.find("Ea.mq4:3:"), std::string::npos) << mq4;
  EXPECT_NE(mq4.find("Ea.mq4:4:"), std::string::npos) << mq4;
  const std::string mq5 = compileErrors("Ea.mq5",
                                        "int own = PositionsTotal();\nint other = OP_BUY;\nbool "
                                        "found = ObjectFind(\"label\") == 0;\n");
  EXPECT_EQ(mq5.find("Ea.mq5:1:"), std::string::npos) << mq5;
  EXPECT_NE(mq5.find("Ea.mq5:2:"), std::string::npos) << mq5;
  EXPECT_NE(mq5.find("Ea.mq5:3:"), std::string::npos) << mq5;
}

// A property id is of its function's enumeration, as MetaEditor types it: a plain number, or an
// id of another kind (a chart property asked of the terminal, a string property set as an
// integer), does not compile.
TEST_F(Translator, PropertyIdsOfAnotherKindDoNotCompile) {
  const std::string mq5 =
      compileErrors("Ea.mq5",
                    "int own = TerminalInfoInteger(TERMINAL_CONNECTED);\n"
                    "int chart = TerminalInfoInteger(CHART_WINDOW_HANDLE);\n"
                    "bool text = ObjectSetInteger(0, \"label\", OBJPROP_TEXT, 1);\n"
                    "int number = TerminalInfoInteger(1);\n"
                    "double handle = ChartGetInteger(0, OBJPROP_COLOR);\n");
  EXPECT_EQ(mq5.find("Ea.mq5:1:"), std::string::npos) << mq5;
  for (const char* line : {"Ea.mq5:2:", "Ea.mq5:3:", "Ea.mq5:4:", "Ea.mq5:5:"})
    EXPECT_NE(mq5.find(line), std::string::npos) << line << "\n" << mq5;
}

}  // namespace
