// The simulator's plan, kept true by its includes: runs over report over options over figures over
// host and trading over market. A file includes its own folder and the folders below it, never
// one above it, and host and trading, side by side, neither of each other.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace zt::sim {
namespace {

const std::map<std::string, int> kFolderHeights = {{"market", 0},  {"host", 1},    {"trading", 1},
                                                   {"figures", 2}, {"options", 3}, {"report", 4},
                                                   {"runs", 5}};

// Whether a file in folder may include the header named ("market/utc_time.h", "text_helpers.h").
bool MayInclude(const std::string& folder, const std::string& header) {
  const auto to = kFolderHeights.find(header.substr(0, header.find('/')));
  if (to == kFolderHeights.end()) return true;  // the library's, the common tools', the system's
  return folder == to->first || to->second < kFolderHeights.at(folder);
}

TEST(Folders, EachIncludesOnlyItselfAndTheFoldersBelow) {
  EXPECT_TRUE(MayInclude("report", "options/run_record.h"));
  EXPECT_TRUE(MayInclude("trading", "trading/strategies.h"));
  EXPECT_FALSE(MayInclude("market", "runs/run_state.h"));
  EXPECT_FALSE(MayInclude("host", "trading/strategies.h"));
  EXPECT_FALSE(MayInclude("options", "report/run_pages.h"));

  const std::filesystem::path sim = ZT_SIM_SOURCES;
  const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
  int checked = 0;
  for (const auto& [folder, height] : kFolderHeights) {
    for (const auto& entry : std::filesystem::directory_iterator(sim / folder)) {
      std::ifstream file(entry.path());
      for (std::string line; std::getline(file, line);) {
        std::smatch match;
        if (!std::regex_search(line, match, include)) continue;
        ++checked;
        EXPECT_TRUE(MayInclude(folder, match[1].str()))
            << entry.path().filename() << " includes " << match[1];
      }
    }
  }
  EXPECT_GT(checked, 100) << "the scan found too few includes to mean anything";
}

}  // namespace
}  // namespace zt::sim
