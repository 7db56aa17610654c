// The expert advisors' properties dialog: the Inputs tab and the About tab.
//
// The inputs as the terminal's Inputs tab shows them. The terminal shows an
// input's comment (the `//` text on its line) in place of its name, and takes at most 63
// characters of it (MQL reference, "Input Variables"). The quick start tells the trader to set
// inputs by name, so every comment begins with its input's name and stays within the limit.
// Read from the sources each EA compiles (the .mq4/.mq5 and every file it includes), so an input
// added in any of them is held to it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr size_t kShownCharacters = 63;

struct InputLine {
  std::string where;    // file:line
  std::string name;     // the input's name
  std::string comment;  // what the Inputs tab shows, "" when the line has no comment
};

std::string trimmed(const std::string& text) {
  const size_t from = text.find_first_not_of(" \t\r");
  if (from == std::string::npos) return "";
  return text.substr(from, text.find_last_not_of(" \t\r") - from + 1);
}

// The input declarations of one source text: `input <type> <name> = ...; // comment`.
std::vector<InputLine> inputsOf(const std::string& text, const std::string& file) {
  static const std::regex declaration(R"(^\s*(?:input|sinput)\s+\w+\s+(\w+)\s*=[^;]*;(.*)$)");
  std::vector<InputLine> found;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::smatch m;
    if (!std::regex_match(line, m, declaration)) continue;
    const std::string rest = m[2];
    const size_t slashes = rest.find("//");
    found.push_back({file + ":" + std::to_string(number), m[1],
                     slashes == std::string::npos ? "" : trimmed(rest.substr(slashes + 2))});
  }
  return found;
}

// What is wrong with one input's row in the Inputs tab, "" when nothing is.
std::string faultOf(const InputLine& input) {
  if (input.comment.empty())
    return input.where + ": " + input.name + " has no comment; the tab would show its bare name";
  if (input.comment.size() > kShownCharacters)
    return input.where + ": the comment of " + input.name + " is " +
           std::to_string(input.comment.size()) + " characters; the terminal shows 63";
  if (input.comment.rfind(input.name, 0) != 0)
    return input.where + ": the comment \"" + input.comment + "\" does not begin with " +
           input.name;
  return "";
}

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every input an EA compiles: its own file and, through `#include <...>`, each include found in
// the folders the EA's Include folder holds in the zip (the terminal's own ones are not ours).
std::vector<InputLine> inputsOfEa(const fs::path& ea, const std::vector<fs::path>& includeDirs) {
  static const std::regex include(R"(^\s*#include\s*<([^>]+)>)");
  std::vector<InputLine> all;
  std::vector<fs::path> pending{ea};
  std::set<fs::path> seen;
  while (!pending.empty()) {
    const fs::path file = pending.back();
    pending.pop_back();
    if (!seen.insert(file).second) continue;
    const std::string text = fileText(file);
    EXPECT_FALSE(text.empty()) << file;
    for (const InputLine& input : inputsOf(text, file.filename().string())) all.push_back(input);
    std::istringstream lines(text);
    std::smatch m;
    for (std::string line; std::getline(lines, line);)
      if (std::regex_search(line, m, include))
        for (const fs::path& dir : includeDirs)
          if (fs::exists(dir / m[1].str())) pending.push_back(dir / m[1].str());
  }
  return all;
}

void expectEveryRowNamed(const fs::path& ea, const std::vector<fs::path>& includeDirs) {
  const std::vector<InputLine> inputs = inputsOfEa(ea, includeDirs);
  // The guard's thirteen inputs at least: a reader that finds none would pass anything.
  EXPECT_GE(inputs.size(), 13u) << ea;
  for (const InputLine& input : inputs) EXPECT_EQ(faultOf(input), "");
}

TEST(InputComments, EveryRowOfTheMt4InputsTabBeginsWithItsNameWithin63Characters) {
  const fs::path hosts = ZT_HOSTS_DIR;
  expectEveryRowNamed(hosts / "mql4/ZentravoGuard.mq4", {hosts / "mql4", hosts / "shared"});
}

TEST(InputComments, EveryRowOfTheMt5InputsTabBeginsWithItsNameWithin63Characters) {
  const fs::path hosts = ZT_HOSTS_DIR;
  expectEveryRowNamed(hosts / "mql5/ZentravoGuard.mq5", {hosts / "mql5", hosts / "shared"});
}

// The reader and the rule on lines that break it: a missing comment, one past the terminal's
// limit, one that names another input, and a good one among them.
TEST(InputComments, TellsEachWayARowCanMisleadTheTrader) {
  const std::string source =
      "input int    TimerMs = 250;\n"
      "input bool   StartOver = false; // StartOver: while the guard holds because it cannot tell "
      "what happened\n"
      "input double EmailDrawdown = 0;  // e-mail when snapshot - equity reaches this; 0 off\n"
      "   input string StopLosses = \"100,150\";  // StopLosses: one a set   \n"
      "// input int Commented = 1; // not an input\n";
  const std::vector<InputLine> inputs = inputsOf(source, "x.mqh");
  ASSERT_EQ(inputs.size(), 4u);
  EXPECT_NE(faultOf(inputs[0]).find("TimerMs has no comment"), std::string::npos);
  EXPECT_NE(faultOf(inputs[1]).find("is 69 characters"), std::string::npos) << faultOf(inputs[1]);
  EXPECT_NE(faultOf(inputs[2]).find("does not begin with EmailDrawdown"), std::string::npos);
  EXPECT_EQ(inputs[3].where, "x.mqh:4");
  EXPECT_EQ(inputs[3].comment, "StopLosses: one a set");
  EXPECT_EQ(faultOf(inputs[3]), "");
}

// The About tab shows the EA's #property copyright, version and description: the version is the
// guard's release, the one the panel's title and the quick start give (ZT_TITLE_VERSION).
TEST(AboutTab, BothEasNameTheGuardsReleaseAndWhatTheyDo) {
  const fs::path hosts = ZT_HOSTS_DIR;
  const std::regex property(R"re(^#property\s+(\w+)\s+"([^"]*)")re");
  for (const fs::path& ea : {hosts / "mql4/ZentravoGuard.mq4", hosts / "mql5/ZentravoGuard.mq5"}) {
    std::istringstream lines(fileText(ea));
    std::string version, copyright, description;
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
      if (!std::regex_search(line, m, property)) continue;
      if (m[1] == "version") version = m[2];
      if (m[1] == "copyright") copyright = m[2];
      if (m[1] == "description") description += m[2].str() + " ";
    }
    EXPECT_EQ(version, ZT_TITLE_VERSION) << ea;
    EXPECT_NE(copyright.find("Zentravo"), std::string::npos) << ea;
    EXPECT_NE(description.find("DLL imports"), std::string::npos) << ea;
    // The terminal keeps 511 characters of the description lines.
    EXPECT_LE(description.size(), 511u) << ea;
  }
}

}  // namespace
