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
  list.Refused.emplace_back(
      folder, format >= 0 ? MakeStatus(TCode::kCliNoFilesOfFormat,
                                       {std::string(kDataFormats[static_cast<size_t>(format)])})
                          : MakeStatus(TCode::kCliNoSeismogramFiles));
}

TStatus AddRefusal(const AddFileResult& result) {
  TCode code = TCode::kCliNotSeismogram;
  switch (result.Status) {
    case AddStatus::kNewRecord:
    case AddStatus::kJoined:
      return {};
    case AddStatus::kNotRecognized:
      break;
    case AddStatus::kNoReader:
      code = TCode::kCliFormatNotReadable;
      break;
    case AddStatus::kUnreadable:
      code = TCode::kCliHeaderUnreadable;
      break;
    case AddStatus::kNoRate:
      code = TCode::kCliHeaderWithoutRate;
      break;
  }
  // The reader's reason is told after the few words only when it found something wrong in the
  // file (Why is its English text then).
  if (result.Why.empty()) return MakeStatus(code);
  return MakeStatus(TCode::kCliBecause, {MakeStatus(code), result.Reason});
}

std::string RefusalCode(const TStatus& refusal) {
  const bool joined =
      refusal.Code == TCode::kCliBecause && !refusal.Args.empty() && refusal.Args[0].Nested;
  return std::string(CodeName(joined ? refusal.Args[0].Nested->Code : refusal.Code));
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
      list.Refused.emplace_back(p, MakeStatus(TCode::kCliNoSuchFileOrFolder));
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
    ErrLine(TCode::kCliNotAdded, {file, AddRefusal(added)});
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
