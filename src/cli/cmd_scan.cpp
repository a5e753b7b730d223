// tarvik-cli scan PATH... [--format N] [--max-span S]: the records that adding these files or
// folders to a project would form, without writing anything.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/record_options.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"
#include "records/assembly.h"

namespace tarvik::cli {

namespace {

// A data-format index (0 to 10) or its text from the format list (".msd", "msd", ".ugr*").
int ParseFormat(const std::string& text) {
  const std::string upper = AsciiUpper(text);
  for (size_t i = 0; i < kDataFormats.size(); ++i) {
    const std::string f = AsciiUpper(kDataFormats[i]);
    if (upper == f || "." + upper == f || text == std::to_string(i)) return static_cast<int>(i);
  }
  return -1;
}

void PrintRecord(int number, const TFileRecord& r) {
  std::printf("record %d\n", number);
  std::printf("  station:  %s\n", r.Station.c_str());
  std::printf("  file:     %s\n", r.File.c_str());
  std::printf("  start:    %s\n", FormatIso(r.Start).c_str());
  std::printf("  finish:   %s\n", FormatIso(r.Finish).c_str());
  std::printf("  rate:     %s Hz\n", FormatNumber(r.SampRate).c_str());
  std::printf("  samples:  %d\n", r.SampleCount);
  std::printf("  channels: %d\n", r.ChannelCount);
  for (int c = 0; c < r.ChannelCount && c < kMaxChannels; ++c) {
    const int axis = r.Axis[c];
    const char component = axis >= 0 && axis < 5 ? kComponentLetters[axis] : '?';
    std::printf("    %d\t%s\t%c\t%s\n", c + 1, r.Channel[c].c_str(), component,
                FormatNumber(r.ADCCoef[c]).c_str());
  }
}

}  // namespace

void RegisterScan(CLI::App& app, CommandResult& result) {
  struct Options {
    std::vector<std::string> paths;
    std::string format;
    AssemblySettings settings;
    bool no_components = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "scan", "Print the records that adding these files or folders to a project would form");
  cmd->add_option("PATH", opt->paths, "seismogram files and folders")->required();
  cmd->add_option("--format", opt->format,
                  "data format of folders: index 0-10 or text of .rec .iss_dat .ugr* .sdas "
                  ".reftek .wfd* .gcf .msd .ddb .baikal .sl (default: every file)");
  AddRecordFormOptions(cmd, opt->settings);
  cmd->add_flag("--no-components", opt->no_components,
                "do not recognise components from channel names (all Z)");
  cmd->callback([opt, &result] {
    int format = -1;
    if (!opt->format.empty()) {
      format = ParseFormat(opt->format);
      if (format < 0) {
        std::fprintf(stderr, "scan: unknown data format %s\n", opt->format.c_str());
        result.status = 2;
        return;
      }
    }
    AssemblySettings settings = opt->settings;
    settings.recognize_component = !opt->no_components;
    NullUiHost host;
    TFileRecords records;
    std::vector<AddedFile> added;
    for (const std::string& path : opt->paths) {
      std::error_code ec;
      if (std::filesystem::is_directory(std::filesystem::path(path), ec)) {
        std::vector<AddedFile> some =
            format >= 0 ? AddFolder(records, path, format, settings, host)
                        : AddFiles(records, ListFolder(path, "*"), settings, host);
        added.insert(added.end(), some.begin(), some.end());
      } else {
        added.push_back({path, AddFile(records, path, settings)});
      }
    }
    for (const AddedFile& f : added) {
      if (!f.result.Added()) {
        std::fprintf(stderr, "%s: not added: %s\n", f.path.c_str(),
                     AddStatusText(f.result.status).c_str());
      }
    }
    for (size_t i = 0; i < records.size(); ++i) PrintRecord(static_cast<int>(i + 1), records[i]);
    result.status = records.empty() ? 1 : 0;
  });
}

}  // namespace tarvik::cli
