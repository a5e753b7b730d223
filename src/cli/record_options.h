#pragma once

// The options that decide how files form records (as adding them to a project would), shared
// by the commands that form records from files.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "records/assembly.h"

namespace tarvik::cli {

// The files a command line names, and the paths that gave none, each with the reason.
struct PathList {
  std::vector<std::string> Files;
  std::vector<std::pair<std::string, TStatus>> Refused;
};

// Why a file was not added, as a status: the few words of its AddStatus, with the reader's
// reason after them when there is one.
TStatus AddRefusal(const AddFileResult& result);
// The code name a refusal's JSON carries: that of its few words.
std::string RefusalCode(const TStatus& refusal);

// Adds the files of folder that match the data format's mask (format 0 to 10) or, with format
// -1, every file of the folder that is a seismogram file: a folder holds more than recordings,
// so the others are passed over without a word. A folder that gives no file is refused.
void CollectFolder(const std::string& folder, int format, PathList& list);

// Adds each path as a file, or a folder's files as CollectFolder does; a path that is not
// there is refused. Paths are made absolute.
void CollectPaths(const std::vector<std::string>& paths, int format, PathList& list);

// The default rate of the commands that read files outside a project: the SampRateDefault a new
// project starts with.
double DefaultRate();

// Adds --max-span and --rate to cmd, kept in settings.
void AddRecordFormOptions(CLI::App* cmd, AssemblySettings& settings);

// The record that file begins; nullopt, with the reason on stderr and status 1, when the file
// would not be added.
std::optional<TFileRecord> FormFirstRecord(const std::string& file,
                                           const AssemblySettings& settings, CommandResult& result);

// "K/N" with 1 <= K <= N: the shard's number and the number of shards; nullopt for other text.
std::optional<std::pair<int, int>> ParseShard(const std::string& text);

// Checks a --shard value with ParseShard.
CLI::Validator ShardValidator();

}  // namespace tarvik::cli
