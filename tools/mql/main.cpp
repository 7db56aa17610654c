// zt_mqlxlate --program NAME [-I DIR]... [--provided INCLUDE]... -o OUT.h SOURCE.mq4|.mq5
// Exit status 1 with "file:line: message" on stderr when the source holds a construct the
// terminal double does not know.
#include <fstream>
#include <iostream>

#include "translator.h"

int main(int argc, char** argv) {
  mqlx::Options options;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-I" && i + 1 < argc)
      options.includeDirs.push_back(argv[++i]);
    else if (arg == "-o" && i + 1 < argc)
      output = argv[++i];
    else if (arg == "--program" && i + 1 < argc)
      options.programName = argv[++i];
    else if (arg == "--provided" && i + 1 < argc)
      options.provided.push_back(argv[++i]);
    else
      options.source = arg;
  }
  if (options.source.empty() || output.empty() || options.programName.empty()) {
    std::cerr << "usage: zt_mqlxlate --program NAME [-I DIR]... -o OUT.h SOURCE\n";
    return 2;
  }
  try {
    const std::string text = mqlx::translate(options);
    std::ofstream out(output, std::ios::binary);
    out << text;
    if (!out) {
      std::cerr << "zt_mqlxlate: cannot write " << output << "\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
