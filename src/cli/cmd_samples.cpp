// tarvik-cli samples FILE [--no-demean]: loads the record that FILE begins as the spectrum
// engine does and prints its samples, one TAB-separated line per sample index.

#include <charconv>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"

namespace tarvik::cli {

namespace {

// Prints the matrix with a first line of channel names; large records are written in chunks.
void PrintSamples(const TFileRecord& record, const TData32& data) {
  std::string out;
  for (size_t c = 0; c < data.size(); ++c) {
    if (c) out += '\t';
    out += record.Channel[c];
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
    std::string file;
    bool no_demean = false;
    int max_span = 10;
    double rate = 50.0;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "samples", "Load the record that FILE begins and print one line per sample index");
  cmd->add_option("FILE", opt->file, "first file of the record")->required();
  cmd->add_flag("--no-demean", opt->no_demean, "keep each channel's mean");
  cmd->add_option("--max-span", opt->max_span, "largest gap between files of a record, s")
      ->check(CLI::Range(0, 999))
      ->capture_default_str();
  cmd->add_option("--rate", opt->rate, "sampling rate for formats without one, Hz")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  cmd->callback([opt, &result] {
    AssemblySettings settings;
    settings.max_span = opt->max_span;
    settings.working_rate = opt->rate;
    AddFileResult added;
    TFileRecords records = FormRecordsFrom(opt->file, settings, &added);
    if (records.empty()) {
      std::fprintf(stderr, "%s: not added: %s\n", opt->file.c_str(),
                   AddStatusText(added.status).c_str());
      result.status = 1;
      return;
    }
    TFileRecord& record = records.front();
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true);
    LoadSettings load;
    load.default_rate = opt->rate;
    load.demean = !opt->no_demean;
    TData32 data;
    if (!LoadRecord(record, data, host, load)) {
      std::fprintf(stderr, "%s: the record cannot be read\n", opt->file.c_str());
      result.status = 1;
      return;
    }
    PrintSamples(record, data);
    result.status = 0;
  });
}

}  // namespace tarvik::cli
