#include "cli/record_options.h"
#include "cli/cli_output.h"

#include <cstdio>
#include <utility>

namespace tarvik::cli {

void AddRecordFormOptions(CLI::App* cmd, AssemblySettings& settings) {
  cmd->add_option("--max-span", settings.max_span, "largest gap between files of a record, s")
      ->check(CLI::Range(0, 999))
      ->capture_default_str();
  cmd->add_option("--rate", settings.working_rate, "sampling rate for formats without one, Hz")
      ->check(PositiveNumber())
      ->capture_default_str();
}

std::optional<TFileRecord> FormFirstRecord(const std::string& file,
                                           const AssemblySettings& settings,
                                           CommandResult& result) {
  AddFileResult added;
  TFileRecords records = FormRecordsFrom(file, settings, &added);
  if (records.empty()) {
    std::fprintf(stderr, "%s: not added: %s\n", file.c_str(), AddStatusText(added.status).c_str());
    result.status = 1;
    return std::nullopt;
  }
  return std::move(records.front());
}

}  // namespace tarvik::cli
