#pragma once

// The options that decide how files form records (as adding them to a project would), shared
// by the commands that form records from files.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "records/assembly.h"

namespace tarvik::cli {

// Adds --max-span and --rate to cmd, kept in settings.
void AddRecordFormOptions(CLI::App* cmd, AssemblySettings& settings);

// The record that file begins; nullopt, with the reason on stderr and status 1, when the file
// would not be added.
std::optional<TFileRecord> FormFirstRecord(const std::string& file,
                                           const AssemblySettings& settings, CommandResult& result);

}  // namespace tarvik::cli
