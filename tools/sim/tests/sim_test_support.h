// Helpers of the simulator's tests: temporary folders, files, and a small checker of the XML the
// chart writer produces.
#pragma once

#include <string>
#include <vector>

#include "options/sim_options.h"

namespace zt::sim::testing {

// A fresh empty folder under the system's temporary folder, removed with its contents on scope
// exit.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string path;
  std::string File(const std::string& name) const { return path + "/" + name; }
};

// The options of a command line (without the program's name) for the library under test and no
// progress bar; a command line the parser refuses fails the test.
SimOptions CommandLineOptions(std::vector<std::string> arguments);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
// Files in folder whose names start with prefix, sorted.
std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix);

// One element of an XML document: its name, attributes and the text directly inside it.
struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  std::string Attribute(const std::string& key) const;
};

// Checks that text is one well-formed XML document (prolog allowed): every tag closed in order,
// attributes quoted, no stray '<' or '&'. On success returns true and every element in document
// order; on failure returns false and says why in error.
bool ParseXml(const std::string& text, std::vector<XmlElement>& elements, std::string& error);

}  // namespace zt::sim::testing
