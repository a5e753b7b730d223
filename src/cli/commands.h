#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace tarvik {
struct TProject;
}

namespace tarvik::cli {

// The exit status the running command leaves: 0 success, 1 failure, 2 wrong usage.
struct CommandResult {
  int Status = 0;
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
void RegisterAverage(CLI::App& app, CommandResult& result);
void RegisterPlot(CLI::App& app, CommandResult& result);
void RegisterBands(CLI::App& app, CommandResult& result);

// Draws a PNG beside each primary and H/V result file of the project, as the viewer shows it;
// the PNGs go to written. False when a chart could not be made (the reason on stderr).
bool RenderResultCharts(const std::string& project_file, std::vector<std::string>& written);

void RegisterEdit(CLI::App& app, CommandResult& result);
// split, clone, combine, delete, sort, change-path, channels, template.
void RegisterRecordCommands(CLI::App& app, CommandResult& result);
void RegisterSettings(CLI::App& app, CommandResult& result);

// psd and psd-stats: segment PSDs into a project's PSD store (the PSD folder of its results
// folder, PsdStoreOf) and their statistics.
void RegisterPsd(CLI::App& app, CommandResult& result);
void RegisterPsdStats(CLI::App& app, CommandResult& result);
std::string PsdStoreOf(const TProject& project);

}  // namespace tarvik::cli
