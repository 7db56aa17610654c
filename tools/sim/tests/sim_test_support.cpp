#include "sim_test_support.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "text_helpers.h"

namespace zt::sim::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const fs::path base = fs::temp_directory_path() / ("zt-sim-test-" + std::to_string(getpid()) +
                                                     "-" + std::to_string(counter++));
  fs::remove_all(base);
  fs::create_directories(base);
  path = base.string();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

SimOptions CommandLineOptions(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"zt-sim", "--library", ZT_SIM_LIBRARY, "--no-progress"});
  std::ostringstream out, err;
  const ParsedCommandLine parsed = ParseCommandLine(arguments, out, err);
  EXPECT_TRUE(parsed.options.has_value()) << err.str();
  return parsed.options.value_or(SimOptions{});
}

std::string ReadFile(const std::string& path) { return tools::ReadWholeFile(path); }

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string XmlElement::Attribute(const std::string& key) const {
  for (const auto& [attributeName, value] : attributes) {
    if (attributeName == key) return value;
  }
  return {};
}

namespace {

bool NameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == ':' || c == '.';
}

bool CheckEntities(const std::string& text, std::string& error) {
  for (std::size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
    const std::size_t end = text.find(';', at);
    const std::string entity = end == std::string::npos ? "" : text.substr(at, end - at + 1);
    if (entity != "&amp;" && entity != "&lt;" && entity != "&gt;" && entity != "&quot;" &&
        entity != "&apos;") {
      error = "bad entity near \"" + text.substr(at, 12) + "\"";
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseXml(const std::string& text, std::vector<XmlElement>& elements, std::string& error) {
  std::vector<std::size_t> open;  // indices into elements
  std::size_t at = 0;
  bool rootSeen = false;
  if (text.rfind("<?xml", 0) == 0) {
    at = text.find("?>");
    if (at == std::string::npos) return error = "unterminated prolog", false;
    at += 2;
  }
  while (at < text.size()) {
    const std::size_t lt = text.find('<', at);
    const std::string between =
        text.substr(at, lt == std::string::npos ? std::string::npos : lt - at);
    if (!CheckEntities(between, error)) return false;
    if (open.empty() && between.find_first_not_of(" \r\n\t") != std::string::npos) {
      return error = "text outside the root element", false;
    }
    if (!open.empty()) elements[open.back()].text += between;
    if (lt == std::string::npos) break;
    const std::size_t gt = text.find('>', lt);
    if (gt == std::string::npos) return error = "unterminated tag", false;
    std::string tag = text.substr(lt + 1, gt - lt - 1);
    at = gt + 1;
    if (tag.find('<') != std::string::npos) return error = "'<' inside a tag", false;
    if (!tag.empty() && tag.front() == '/') {
      const std::string name = tag.substr(1);
      if (open.empty() || elements[open.back()].name != name) {
        return error = "closing </" + name + "> does not match", false;
      }
      open.pop_back();
      continue;
    }
    const bool selfClosing = !tag.empty() && tag.back() == '/';
    if (selfClosing) tag.pop_back();
    if (open.empty() && rootSeen) return error = "a second root element", false;
    XmlElement element;
    std::size_t i = 0;
    while (i < tag.size() && NameChar(tag[i])) element.name += tag[i++];
    if (element.name.empty()) return error = "tag without a name: <" + tag + ">", false;
    while (true) {
      while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\n' || tag[i] == '\t')) ++i;
      if (i >= tag.size()) break;
      std::string key;
      while (i < tag.size() && NameChar(tag[i])) key += tag[i++];
      if (key.empty() || i + 1 >= tag.size() || tag[i] != '=' || tag[i + 1] != '"') {
        return error = "bad attribute in <" + element.name + ">", false;
      }
      const std::size_t close = tag.find('"', i + 2);
      if (close == std::string::npos)
        return error = "unquoted attribute in <" + element.name + ">", false;
      const std::string value = tag.substr(i + 2, close - i - 2);
      if (!CheckEntities(value, error)) return false;
      for (const auto& existing : element.attributes) {
        if (existing.first == key) return error = "attribute " + key + " twice", false;
      }
      element.attributes.emplace_back(key, value);
      i = close + 1;
    }
    rootSeen = true;
    elements.push_back(element);
    if (!selfClosing) open.push_back(elements.size() - 1);
  }
  if (!open.empty()) return error = "<" + elements[open.back()].name + "> never closed", false;
  if (!rootSeen) return error = "no root element", false;
  return true;
}

}  // namespace zt::sim::testing
