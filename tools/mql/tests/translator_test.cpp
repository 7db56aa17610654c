// The translator's refusals: every construct outside what the terminal double models must stop
// the build with the MQL file and line, never pass through half-translated.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "translator.h"

namespace {

namespace fs = std::filesystem;

class Translator : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() /
                   ("zt-mqlx-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
    std::string translate(const std::string& source) {
        return mqlx::translate({write("Ea.mq4", source), {dir.string()}, "ea", {}});
    }
    // The refusal's message, "" when the source was accepted.
    std::string refusal(const std::string& source) {
        try {
            translate(source);
        } catch (const mqlx::Refused& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(Translator, RefusesUnknownConstructsNamingFileAndLine) {
    EXPECT_EQ(refusal("int a;\nclass Box { };\n"), "Ea.mq4:2: construct not known to the terminal double: class");
    EXPECT_EQ(refusal("#property strict\n#ifdef X\n"), "Ea.mq4:2: unknown preprocessor line: #ifdef");
    EXPECT_EQ(refusal("#define TWICE(x) (2*(x))\n"), "Ea.mq4:1: only object-like #define is known");
    EXPECT_EQ(refusal("\n\n#include <Missing.mqh>\n"), "Ea.mq4:3: include file not found: Missing.mqh");
    EXPECT_EQ(refusal("void f()\n  {\n   static int calls = 0;\n  }\n"),
              "Ea.mq4:3: construct not known to the terminal double: static");
    EXPECT_EQ(refusal("int table[2] = {1, 2};\n"), "Ea.mq4:1: array initialisers are not known");
    EXPECT_EQ(refusal("int grid[2][3];\n"), "Ea.mq4:1: multi-dimensional arrays are not known");
    EXPECT_EQ(refusal("datetime start = D'2020.01.01';\n"), "Ea.mq4:1: date and colour literals are not known");
    EXPECT_EQ(refusal("#import \"x.dll\"\n   int F(int a);\n"), "Ea.mq4:2: #import block is not closed");
    EXPECT_EQ(refusal("#import \"x.dll\"\n   int F(int a[]);\n#import\n"),
              "Ea.mq4:2: arrays go to a DLL by reference");
}

TEST_F(Translator, FollowsIncludesAndReportsLinesOfTheIncludedFile) {
    write("Lib.mqh", "int ok;\n\nenum Mode { A };\n");
    EXPECT_EQ(refusal("#include <Lib.mqh>\n"), "Lib.mqh:3: construct not known to the terminal double: enum");
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
        "void F(string &names[])\n  {\n   uchar a[], b[8];\n   for(int i = 0; i < 2; i++) { }\n  }\n");
    for (const char* expected : {
             "static void GetAlert(int kind, mql::array<uchar>& text) { return mql::library(\"zentravo.dll\", \"GetAlert\").GetAlert(kind, mql::dll_bytes(text)); }",
             "return mql::library(\"zentravo.dll\", \"GetIndex\").GetIndex(&tpSet, &tpIndex, &ddSet, &ddIndex);",
             "/* input */ int Attempts = 3 ;",
             "mql::array<bool> sent = mql::array<bool>(3 );",
             "int passes{};",
             "void F ( mql::array<string>& names )",
             "mql::array<uchar> a; mql::array<uchar> b = mql::array<uchar>(8 );",
             "for ( int i = 0;i < 2"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n--- in ---\n" << out;
    }
}

TEST_F(Translator, SkipsIncludesTheDoubleProvidesAndPicksTheDialectByExtension) {
    const std::string source = write("Ea.mq5", "#include <Trade\\Trade.mqh>\nint x;\n");
    const std::string out = mqlx::translate({source, {dir.string()}, "ea", {"Trade/Trade.mqh"}});
    EXPECT_NE(out.find("using namespace mql5;"), std::string::npos) << out;
    EXPECT_THROW(mqlx::translate({source, {dir.string()}, "ea", {}}), mqlx::Refused);
}

}  // namespace
