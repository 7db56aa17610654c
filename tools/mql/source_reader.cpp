// source_reader.cpp - reads an expert advisor's source line by line: preprocessor lines are
// handled here (#property, #include followed, #define kept, #import blocks turned into members),
// every other line is cut into tokens.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "translation.h"

namespace mqlx {
namespace {

namespace fs = std::filesystem;

// The rest of a preprocessor line after its word, leading blanks taken off.
std::string restOf(std::istringstream& words) {
  std::string rest;
  std::getline(words, rest);
  return rest.substr(std::min(rest.find_first_not_of(" \t"), rest.size()));
}

class Reader {
 public:
  explicit Reader(const Options& options) : options_(options) {}

  Source read() {
    readFile(fs::path(options_.source), options_.source, 0);
    return std::move(source_);
  }

 private:
  // An #import block being read: the library it names and the declarations read so far.
  struct Import {
    bool open = false;
    std::string library;
    std::vector<Token> declarations;
  };

  const Options& options_;
  Source source_;
  std::set<std::string> included_;

  void readFile(const fs::path& path, const std::string& fromFile, int fromLine) {
    std::error_code ec;
    auto canonical = fs::weakly_canonical(path, ec).string();
    if (included_.count(canonical)) return;  // MQL includes a file once per program
    included_.insert(canonical);
    std::ifstream in(path, std::ios::binary);
    if (!in) refuse(fromFile, fromLine, "cannot read " + path.string());
    const std::string file = path.filename().string();
    std::string line;
    int number = 0;
    Import import;
    bool inBlockComment = false;
    while (std::getline(in, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::string trimmed = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
      if (!inBlockComment && !trimmed.empty() && trimmed[0] == '#') {
        directive(trimmed, path, file, number, import);
        continue;
      }
      lex(line, file, number, inBlockComment, import.open ? import.declarations : source_.tokens);
    }
    if (import.open) refuse(file, number, "#import block is not closed");
    if (inBlockComment) refuse(file, number, "comment is not closed");
  }

  void directive(const std::string& text, const fs::path& path, const std::string& file, int line,
                 Import& import) {
    std::istringstream words(text.substr(1));
    std::string word;
    words >> word;
    if (word == "property") {  // compiler and terminal settings: nothing to run
      std::string name;
      words >> name;
      if (name == "strict" && path == fs::path(options_.source)) source_.strict = true;
    } else if (word == "include") {
      include(restOf(words), path, file, line);
    } else if (word == "define") {
      define(words, text, file, line);
    } else if (word == "import") {
      importLine(restOf(words), file, line, import);
    } else {
      refuse(file, line, "unknown preprocessor line: #" + word);
    }
  }

  // #include <name> or "name": the file the double does not provide itself, read in place.
  void include(const std::string& rest, const fs::path& path, const std::string& file, int line) {
    if (rest.size() < 3 || (rest[0] != '<' && rest[0] != '"'))
      refuse(file, line, "#include needs <file> or \"file\"");
    const char close = rest[0] == '<' ? '>' : '"';
    const auto end = rest.find(close, 1);
    if (end == std::string::npos) refuse(file, line, "#include name is not closed");
    // MQL writes include paths with backslashes (Trade\Trade.mqh).
    std::string name = rest.substr(1, end - 1);
    std::replace(name.begin(), name.end(), '\\', '/');
    for (const auto& provided : options_.provided)
      if (provided == name) return;  // the double implements it in C++
    std::vector<fs::path> candidates;
    if (close == '"') candidates.push_back(path.parent_path() / name);
    for (const auto& dir : options_.includeDirs) candidates.push_back(fs::path(dir) / name);
    for (const auto& candidate : candidates) {
      if (fs::exists(candidate)) {
        readFile(candidate, file, line);
        return;
      }
    }
    refuse(file, line, "include file not found: " + name);
  }

  // #define NAME value: kept as it stands, an object-like macro only.
  void define(std::istringstream& words, const std::string& text, const std::string& file,
              int line) {
    std::string name;
    words >> name;
    if (name.empty() || name.find('(') != std::string::npos)
      refuse(file, line, "only object-like #define is known");
    // The value is pasted into the C++ as it stands: it may hold no word the body may not.
    std::vector<Token> value;
    bool inComment = false;
    lex(text.substr(text.find(name) + name.size()), file, line, inComment, value);
    for (const Token& t : value) checkWord(t);
    source_.tokens.push_back(
        {Token::Directive, "#define " + text.substr(text.find(name)), file, line});
  }

  // #import "library" opens a block of declarations; a bare #import closes it.
  void importLine(const std::string& rest, const std::string& file, int line, Import& import) {
    if (import.open) {
      if (!rest.empty() && rest.rfind("//", 0) != 0)
        refuse(file, line, "an #import block must be closed by a bare #import");
      emitImports(import.library, import.declarations, source_.tokens);
      import.open = false;
      return;
    }
    if (rest.size() < 3 || rest[0] != '"') refuse(file, line, "#import needs \"library\"");
    import.library = rest.substr(1, rest.find('"', 1) - 1);
    import.declarations.clear();
    import.open = true;
  }
};

}  // namespace

Source readSource(const Options& options) { return Reader(options).read(); }

}  // namespace mqlx
