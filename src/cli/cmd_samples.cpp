// tarvik-cli samples FILE [--no-demean]: loads the record that FILE begins as the spectrum
// engine does and prints its samples, one TAB-separated line per sample index.

#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/record_options.h"
#include "common/ui_host.h"
#include "records/load_record.h"

namespace tarvik::cli {

namespace {

// Prints the matrix with a first line of channel names; large records are written in chunks.
void PrintSamples(const TFileRecord& record, const TData32& data) {
  std::string out;
  for (size_t c = 0; c < data.size(); ++c) {
    if (c) out += '\t';
    if (c < record.Channels.size()) out += record.Channels[c].Channel;
  }
  out += '\n';
  const size_t n = data.empty() ? 0 : data.front().size();
  char number[16];
  for (size_t i = 0; i < n; ++i) {
    for (size_t c = 0; c < data.size(); ++c) {
      if (c) out += '\t';
      const auto [end, ec] = std::to_chars(number, number + sizeof number, data[c][i]);
      out.append(number, end);
    }
    out += '\n';
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

void RegisterSamples(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string File;
    bool NoDemean = false;
    AssemblySettings Settings;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "samples", "Load the record that FILE begins and print one line per sample index");
  cmd->add_option("FILE", opt->File, "first file of the record")->required();
  cmd->add_flag("--no-demean", opt->NoDemean, "keep each channel's mean");
  AddRecordFormOptions(cmd, opt->Settings);
  cmd->callback([opt, &result] {
    std::optional<TFileRecord> record = FormFirstRecord(opt->File, opt->Settings, result);
    if (!record) return;
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
    LoadSettings load;
    load.DefaultRate = opt->Settings.WorkingRate;
    load.Demean = !opt->NoDemean;
    TData32 data;
    if (!LoadRecord(*record, data, host, load)) {
      ErrLine(TCode::kCliRecordUnreadable, {opt->File});
      result.Status = 1;
      return;
    }
    PrintSamples(*record, data);
    result.Status = 0;
  });
}

}  // namespace tarvik::cli
