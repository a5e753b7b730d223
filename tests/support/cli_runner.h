#pragma once

#include <string>

#include "test_files.h"

namespace tarvik::testing {

struct CliRun {
  int Status = -1;  // the exit status, -1 when the program did not exit normally
  std::string Out;
  std::string Err;
};

// Runs tarvik-cli with args (already quoted) and stdin from /dev/null, so that no question is
// ever answered; stderr goes through a file in dir. The locale is Russian, the window's
// language, so that the suites read the texts the window shows.
CliRun Cli(const std::string& args, const TempDir& dir);

// The same with LANG set to lang (LC_ALL and LC_MESSAGES cleared).
CliRun CliWithLocale(const std::string& lang, const std::string& args, const TempDir& dir);

// s in single quotes for the shell.
std::string Quote(const std::string& s);

}  // namespace tarvik::testing
