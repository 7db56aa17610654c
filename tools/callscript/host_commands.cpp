// What a call script's host does around the exports: the window titles, the settings file
// (printed, seeded, held, marked read-only), the statistics files, a reload, a thread, a barrier
// between hosts.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "interpreter.h"
#include "text_helpers.h"

namespace zt::callscript {

using tools::ReadWholeFile;
using tools::Trimmed;

bool Interpreter::Titles(const Line& line, std::string& problem) {
  if (!Needs(line, 2, problem)) return false;
  host_.setTitles(TextAt(line, 1), TextAt(line, 2));
  return Done(line);
}

bool Interpreter::Settings(const Line& line, std::string& problem) {
  if (Needs(line, 0, problem)) PrintSettings(line);
  return problem.empty();
}

bool Interpreter::SeedSettings(const Line& line, std::string& problem) {
  if (!Needs(line, 1, problem) || !line.words[1].quoted) {
    problem = "seed-settings takes one text";
    return false;
  }
  std::ofstream file(DeriveSettingsPath(host_.libraryPath), std::ios::binary | std::ios::trunc);
  file << line.words[1].text;
  if (!file.flush()) {
    problem = "cannot write the settings file";
    return false;
  }
  return Done(line);
}

bool Interpreter::Reload(const Line& line, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  if (!host_.reload(host_.exports)) {
    problem = "cannot load the library again";
    return false;
  }
  return Done(line);
}

bool Interpreter::Thread(const Line& line, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  host_.runThread();
  return Done(line);
}

bool Interpreter::Statistics(const Line& line, std::string& problem) {
  if (Needs(line, 0, problem)) PrintStatistics(line);
  return problem.empty();
}

bool Interpreter::HoldSettings(const Line& line, std::string& problem) {
  return Hold(line, true, "cannot hold the settings file", problem);
}

// hold-settings and release-settings: another program takes or lets go of the settings file.
bool Interpreter::Hold(const Line& line, bool hold, const char* refusal, std::string& problem) {
  if (!Needs(line, 0, problem)) return false;
  if (!host_.holdSettings(DeriveSettingsPath(host_.libraryPath), hold)) {
    problem = refusal;
    return false;
  }
  return Done(line);
}

// Each host marks its arrival at barrier n with a file "n.<its name>" in the folder "barrier"
// beside the library, then waits, polling every millisecond, until the other hosts' marks of n
// are there too. Files only: it works the same between Linux processes and Wine processes.
bool Interpreter::Barrier(const Line& line, std::string& problem) {
  int parties = 0;
  if (!Needs(line, 2, problem) || !line.words[1].quoted || line.words[1].text.empty() ||
      !IntAt(line, 2, parties, problem) || parties < 1) {
    problem = problem.empty() ? "barrier takes a name and a count of hosts" : problem;
    return false;
  }
  constexpr auto kLongestWait = std::chrono::seconds(120);
  const std::filesystem::path folder = FindLibraryFolder(host_.libraryPath) / "barrier";
  const std::string number = std::to_string(++barriers_) + ".";
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  std::ofstream(folder / ToPath(number + line.words[1].text)).put('\n');
  const auto until = std::chrono::steady_clock::now() + kLongestWait;
  for (;;) {
    int arrived = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, failure)) {
      if (ToUtf8(entry.path().filename()).rfind(number, 0) == 0) ++arrived;
    }
    if (arrived >= parties) break;
    if (std::chrono::steady_clock::now() > until) {
      problem = "barrier " + number + " timed out with " + std::to_string(arrived) + " of " +
                std::to_string(parties) + " hosts";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Print(line, "passed");
  return true;
}

bool Interpreter::ReleaseSettings(const Line& line, std::string& problem) {
  return Hold(line, false, "the settings file was not held", problem);
}

bool Interpreter::ReadOnly(const Line& line, std::string& problem) {
  const bool on = line.words.size() == 2 && line.words[1].text == "on";
  const bool off = line.words.size() == 2 && line.words[1].text == "off";
  if (!on && !off) {
    problem = "read-only takes on or off";
    return false;
  }
  if (!host_.markReadOnly(DeriveSettingsPath(host_.libraryPath), on)) {
    problem = "cannot change the settings file's read-only mark";
    return false;
  }
  return Done(line);
}

// The settings file as the library left it: every non-blank line, trimmed, without its line end.
// Blank lines and line ends are left out so that a transcript shows what the file holds rather
// than how one INI service lays it out; the byte-for-byte comparison is the tests' job.
void Interpreter::PrintSettings(const Line& line) {
  std::string contents;
  const std::filesystem::path path = DeriveSettingsPath(host_.libraryPath);
  if (!ReadWholeFile(path, contents)) {
    Print(line, "(no settings file)");
    return;
  }
  Print(line, ToUtf8(path.filename()));
  for (const std::string& text : SplitLines(contents)) {
    const std::string_view trimmed = Trimmed(text);
    if (!trimmed.empty()) out_ << "  " << MaskTimes(std::string(trimmed)) << '\n';
  }
}

void Interpreter::PrintStatistics(const Line& line) {
  const std::filesystem::path library = ToPath(host_.libraryPath);
  const std::string prefix = ToUtf8(library.stem()) + "-stat-";
  std::vector<std::filesystem::path> files;
  std::error_code failure;
  const std::filesystem::path folder = FindLibraryFolder(host_.libraryPath);
  std::vector<std::string> names;
  if (host_.listFolder != nullptr) {
    names = host_.listFolder(folder);
  } else {
    for (const auto& entry : std::filesystem::directory_iterator(folder, failure)) {
      names.push_back(ToUtf8(entry.path().filename()));
    }
  }
  for (const std::string& name : names) {
    if (name.rfind(prefix, 0) == 0 && name.ends_with(".csv"))
      files.push_back(folder / ToPath(name));
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    Print(line, "(no statistics file)");
    return;
  }
  std::string found;
  for (const auto& file : files) found += (found.empty() ? "" : ", ") + ToUtf8(file.filename());
  Print(line, found);
  for (const auto& file : files) {
    std::string contents;
    ReadWholeFile(file, contents);
    const std::vector<std::string> lines = SplitLines(contents);
    out_ << "  " << MaskTimes(ToUtf8(file.filename())) << ": " << lines.size() << " lines\n";
    for (const std::string& text : lines) out_ << "    " << text << '\n';
    std::filesystem::remove(file, failure);
  }
}

}  // namespace zt::callscript
