// Helpers shared by the tests that run the built program's front end.
#pragma once
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/Fixtures.h"

namespace clitest {

inline std::string Program() { return pcmtest::BinDir() + "/popclipmill"; }

// How a run of the program ended and what it printed.
struct Result {
  int status = -1;
  std::string out;
};

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A file's bytes as they are: some names and contents here are not UTF-8.
inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Every file below a folder, hidden ones too, by its path below it, in
// byte order.
inline std::vector<std::string> Tree(const std::string& folder) {
  std::string out;
  pcmtest::RunShell("cd " + pcmtest::ShellQuote(folder) + " && find . -type f | LC_ALL=C sort", &out);
  std::vector<std::string> files;
  for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
    files.push_back(out.substr(start + 2, end - start - 2));
  return files;
}

}  // namespace clitest
