// The library's plan, kept true by its includes: boundary -> engine -> {settings, texts} -> core
// -> platform. A file may include its own folder and any folder below it, never one above it or
// beside it; only the boundary and the core read the public header.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace {

// Height of a layer folder; nullopt for anything that is not one (a system header, the tests).
std::optional<int> Height(const std::string& folder) {
  if (folder == "boundary") return 4;
  if (folder == "engine") return 3;
  if (folder == "settings" || folder == "texts") return 2;
  if (folder == "core") return 1;
  if (folder == "platform") return 0;
  return std::nullopt;
}

// Whether a file in folder from may include the header named included ("engine/x.h", "zentravo.h").
bool MayInclude(const std::string& from, const std::string& included) {
  if (included == "zentravo.h") return from == "boundary" || from == "core";
  const std::size_t slash = included.find('/');
  if (slash == std::string::npos) return true;  // no layer's header
  const std::string to = included.substr(0, slash);
  const std::optional<int> fromHeight = Height(from);
  const std::optional<int> toHeight = Height(to);
  if (!fromHeight || !toHeight) return true;
  return from == to || *toHeight < *fromHeight;
}

TEST(Layers, TheRuleTellsDownwardFromUpwardAndSideways) {
  struct Case {
    const char* from;
    const char* included;
    bool allowed;
  };
  const Case cases[] = {
      {"boundary", "engine/guard_start.h", true},   {"engine", "settings/settings_store.h", true},
      {"engine", "texts/time_text.h", true},         {"texts", "core/guard_state.h", true},
      {"settings", "platform/platform.h", true},     {"core", "core/limits.h", true},
      {"core", "zentravo.h", true},                  {"boundary", "zentravo.h", true},
      {"texts", "engine/guard_state.h", false},      {"settings", "engine/guard_start.h", false},
      {"settings", "texts/alerts.h", false},         {"texts", "settings/settings_store.h", false},
      {"core", "texts/text_builder.h", false},       {"platform", "settings/settings_path.h", false},
      {"platform", "zentravo.h", false},             {"engine", "zentravo.h", false},
      {"platform", "core/guard_state.h", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MayInclude(c.from, c.included), c.allowed) << c.from << " includes " << c.included;
  }
}

TEST(Layers, NoFileOfTheLibraryIncludesUpward) {
  const char* root = std::getenv("ZT_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "ZT_SOURCE_DIR names the source tree";
  const std::filesystem::path source = std::filesystem::path(root) / "src";
  const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(source)) {
    if (!entry.is_regular_file()) continue;
    const std::string folder = entry.path().lexically_relative(source).begin()->string();
    if (!Height(folder)) continue;
    std::ifstream file(entry.path());
    std::string line;
    while (std::getline(file, line)) {
      std::smatch match;
      if (!std::regex_search(line, match, include)) continue;
      ++checked;
      EXPECT_TRUE(MayInclude(folder, match[1].str()))
          << entry.path().lexically_relative(source).string() << " includes " << match[1].str();
    }
  }
  EXPECT_GT(checked, 50) << "the scan found too few includes to mean anything";
}

}  // namespace
