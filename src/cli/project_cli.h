#pragma once

// What the project commands of tarvik-cli share: opening a project file, the result folders of
// a project run from the command line, and the path of the program's own data.

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "project/project.h"
#include "spectral/result_files.h"

namespace tarvik {
class UiHost;
}

namespace tarvik::cli {

// Loads path into project; false (the reason already told through host) when it did not load.
bool OpenProject(const std::string& path, TProject& project, UiHost& host);

// The form a project file is kept in: 1 binary, 0 text (also for a file that is not there).
int ProjectForm(const std::string& path);

// The result folders of a project. An empty results folder means the project's own folder on
// the command line (the desktop program uses its own folder, which a command-line user
// rarely can or wants to write into).
TResultFolders ProjectResultFolders(const TProject& project);

// Record numbers "1,3-5" (from 1) as indices from 0 in ascending order without repeats; false
// with the reason when a part is not a record or range of records 1..count.
bool ParseRecordSelection(const std::string& text, int count, std::vector<int>& out,
                          TStatus& error);

// How to compute, from the command line, the amplitude spectra that a H/V run of record index
// (from 0) lacks: the run of that record, after switching its settings set to amplitude spectra
// when it computes power spectra.
TStatus AmplitudeSpectraHint(const TProject& project, int index);

// "81.92 s (8192 samples at 100 Hz)": the length of the segments spectra are computed with.
std::string SegmentLengthText(int32_t samples, double rate);
// The same for the segments of a settings set at rate, as the calculation derives them, saying
// when their length differs from SilenceDur (brought to a power of two samples).
std::string SegmentsText(const TSpectrumSettings& settings, double rate);

// The folder of the running executable; empty when it cannot be found.
std::string ExecutableFolder();

// The project form of "compress": "compress PROJECT.tvp [--record N]" writes compressed copies
// of the project's records (or of record N) into its ZipData folder and points the records at
// them. The compress command adds the option with the first call and hands every FILE to the
// second, which returns true when it dealt with the command: FILE was a project, or FILE is a
// seismogram file but no output was named (a usage error).
struct CompressProjectOptions {
  int Record = 0;  // 1-based; 0 for every record
};
std::shared_ptr<CompressProjectOptions> AddCompressProjectOptions(CLI::App* cmd);
bool CompressProjectOrRefuse(const std::string& file, const std::string& output,
                             const CompressProjectOptions& options, CommandResult& result);

}  // namespace tarvik::cli
