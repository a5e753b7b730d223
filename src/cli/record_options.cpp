#include "cli/record_options.h"
#include "cli/cli_output.h"
#include "common/number_text.h"
#include "common/paths.h"
#include "project/project.h"
#include "records/formats.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

namespace tarvik::cli {

void CollectFolder(const std::string& folder, int format, PathList& list) {
  const std::vector<std::string> found =
      format >= 0 ? ListRecordMask(folder, FolderMask(format)) : RecognizedFilesIn(folder);
  list.Files.insert(list.Files.end(), found.begin(), found.end());
  if (!found.empty()) return;
  list.Refused.emplace_back(folder, format >= 0
                                        ? "no files of the format " +
                                              std::string(kDataFormats[static_cast<size_t>(format)])
                                        : "no seismogram files");
}

void CollectPaths(const std::vector<std::string>& paths, int format, PathList& list) {
  for (const std::string& p : paths) {
    std::error_code ec;
    const std::string full = std::filesystem::absolute(p, ec).lexically_normal().string();
    if (std::filesystem::is_directory(p, ec)) {
      CollectFolder(full, format, list);
    } else if (std::filesystem::exists(p, ec)) {
      list.Files.push_back(full);
    } else {
      list.Refused.emplace_back(p, "no such file or folder");
    }
  }
}

double DefaultRate() {
  return TGeneralSettings{}.SampRateDefault;
}

void AddRecordFormOptions(CLI::App* cmd, AssemblySettings& settings) {
  cmd->add_option("--max-span", settings.MaxSpan, "largest gap between files of a record, s")
      ->check(CLI::Range(0, 999))
      ->capture_default_str();
  cmd->add_option("--rate", settings.WorkingRate, "sampling rate for formats without one, Hz")
      ->check(PositiveNumber())
      ->capture_default_str();
}

std::optional<TFileRecord> FormFirstRecord(const std::string& file,
                                           const AssemblySettings& settings,
                                           CommandResult& result) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) {
    ErrReason(file, Told(TCode::kCliNoSuchFile));
    result.Status = 1;
    return std::nullopt;
  }
  AddFileResult added;
  TFileRecords records = FormRecordsFrom(file, settings, &added);
  if (records.empty()) {
    ErrLine(TCode::kCliNotAdded, {file, AddResultText(added)});
    result.Status = 1;
    return std::nullopt;
  }
  return std::move(records.front());
}

// "K/N" with 1 <= K <= N: the shard's number and the number of shards.
std::optional<std::pair<int, int>> ParseShard(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::optional<int32_t> k = ParseInt32(text.substr(0, slash));
  const std::optional<int32_t> n = ParseInt32(text.substr(slash + 1));
  if (!k || !n || *k < 1 || *k > *n) return std::nullopt;
  return std::pair<int, int>{*k, *n};
}

CLI::Validator ShardValidator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        return ParseShard(text) ? std::string()
                                : "must be K/N with 1 <= K <= N (shard K of N), not " + text;
      },
      "K/N");
}

}  // namespace tarvik::cli
