#pragma once

#include <CLI/CLI.hpp>

namespace tarvik::cli {

// The exit status the running command leaves: 0 success, 1 failure, 2 wrong usage.
struct CommandResult {
  int status = 0;
};

// Each command adds its subcommand to the application; its callback sets result.status.
void RegisterInfo(CLI::App& app, CommandResult& result);
void RegisterSegments(CLI::App& app, CommandResult& result);
void RegisterAdd(CLI::App& app, CommandResult& result);
void RegisterShow(CLI::App& app, CommandResult& result);
void RegisterRun(CLI::App& app, CommandResult& result);
void RegisterDemo(CLI::App& app, CommandResult& result);
void RegisterScan(CLI::App& app, CommandResult& result);
void RegisterSamples(CLI::App& app, CommandResult& result);
void RegisterCompress(CLI::App& app, CommandResult& result);
void RegisterResponse(CLI::App& app, CommandResult& result);
void RegisterHvsr(CLI::App& app, CommandResult& result);
void RegisterPreview(CLI::App& app, CommandResult& result);

}  // namespace tarvik::cli
