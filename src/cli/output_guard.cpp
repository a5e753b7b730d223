#include "cli/output_guard.h"
#include "cli/cli_output.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tarvik::cli {

void AddForceFlag(CLI::App* cmd, bool& force) {
  cmd->add_flag("--force", force, "replace the output file when it exists");
}

bool MayWriteOutput(const char* command, const std::string& output,
                    const std::vector<std::string>& inputs, bool force, CommandResult& result) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(output, ec);
  if (!fs::exists(status)) return true;
  if (fs::is_directory(status)) {
    ErrLine(TCode::kCliOutputIsFolder, {command, output});
    result.Status = 2;
    return false;
  }
  for (const std::string& input : inputs) {
    if (input.empty() || !fs::equivalent(output, input, ec)) continue;
    if (input == output) {
      ErrLine(TCode::kCliOutputIsAnInput, {command, output});
    } else {
      ErrLine(TCode::kCliOutputIsTheInput, {command, output, input});
    }
    result.Status = 2;
    return false;
  }
  if (force) return true;
  ErrLine(TCode::kCliOutputExists, {command, output});
  result.Status = 1;
  return false;
}

}  // namespace tarvik::cli
