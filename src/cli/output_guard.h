#pragma once

// The one rule for every file a user names as a command's output: an existing file is
// replaced only with --force, and a command's own input is never written over, --force or not.

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace tarvik::cli {

// Adds --force to cmd: replace an existing output file.
void AddForceFlag(CLI::App* cmd, bool& force);

// Whether command may write output. Refused, with the reason on stderr, when output is a
// folder or one of inputs (the same file by the file system, whatever the names: status 2),
// or when it exists and force is not given (status 1, naming the file that would have been
// replaced). Empty inputs are passed over.
bool MayWriteOutput(const char* command, const std::string& output,
                    const std::vector<std::string>& inputs, bool force, CommandResult& result);

}  // namespace tarvik::cli
