#include "cli_runner.h"

#include <cstdio>
#include <vector>

#include <sys/wait.h>

namespace tarvik::testing {

CliRun Cli(const std::string& args, const TempDir& dir) {
  return CliWithLocale("ru_RU.UTF-8", args, dir);
}

CliRun CliWithLocale(const std::string& lang, const std::string& args, const TempDir& dir) {
  const std::string err_file = dir.File("stderr.txt");
  const std::string command = "LC_ALL= LC_MESSAGES= LANG=" + Quote(lang) + " " +
                              Quote(TARVIK_CLI_PATH) + " " + args + " </dev/null 2>" +
                              Quote(err_file);
  CliRun run;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.Out.append(buf, n);
  const int raw = pclose(pipe);
  run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const std::vector<uint8_t> err = ReadBytes(err_file);
  run.Err.assign(err.begin(), err.end());
  return run;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace tarvik::testing
