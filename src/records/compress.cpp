#include "records/compress.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/datetime.h"
#include "common/paths.h"
#include "common/replace_file.h"
#include "common/ui_host.h"
#include "records/load_record.h"
#include "records/rec.h"

namespace tarvik {

namespace {

// Samples per channel in one "[DSZ" block: large enough for bzip2 to work well, small enough
// that a block's buffers stay a small part of the record in memory.
constexpr int64_t kBlockSamples = int64_t{1} << 18;

bool Fail(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
  return false;
}

// Writes the blocks to path (named out_path in messages); false when a write fails, bzip2 fails
// or a stop is requested.
bool WriteBlocks(const std::filesystem::path& path, const std::string& out_path,
                 const TFileRecordInfo& header, const TData32& data, const std::string& file,
                 UiHost& host, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return Fail(error, "cannot create " + out_path);
  const int64_t total = data.empty() ? 0 : static_cast<int64_t>(data.front().size());
  host.SetStatus(MakeStatus(TCode::kSavingFile, {file}), 100);
  const std::vector<uint8_t> head = MakeRecHeader2Block(header);
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  for (int64_t first = 0; first < total && out; first += kBlockSamples) {
    if (host.StopRequested()) return Fail(error, "stopped");
    const TDateTime start =
        header.SampRate > 0.0
            ? header.Start + SpanOfSamples(static_cast<double>(first), header.SampRate)
            : header.Start;
    const std::vector<uint8_t> block =
        MakeDszBlock(data, first, kBlockSamples, {start, start, start});
    if (block.empty()) return Fail(error, "bzip2 compression failed");
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size()));
    host.SetProgress(
        static_cast<int>(std::min<int64_t>(100, (first + kBlockSamples) * 100 / total)), 100);
    host.ProcessEvents();
  }
  out.flush();
  if (!out) return Fail(error, "cannot write " + out_path);
  return true;
}

}  // namespace

std::string CompressedRecordName(const TFileRecord& record) {
  // The station is text from a file header or the user: a separator in it would put the file
  // outside the folder, and Windows refuses names with ":*?\"<>|" (ADB stations are "1|2|3").
  std::string station = record.Station;
  for (char& c : station) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  return FormatDateTime("yyyymmdd-hhnnss.zzz", record.Start) + "." + station + ".rec";
}

bool CompressRecord(const std::string& out_path, const TFileRecord& record, UiHost& host,
                    double default_rate, std::string* error, HeaderCache* headers) {
  const std::string folder = FolderOf(out_path);
  if (!folder.empty()) {
    std::error_code ec;
    const std::filesystem::path dir(folder);
    if (!std::filesystem::is_directory(dir, ec)) std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec)) {
      host.ShowMessage(MakeStatus(TCode::kCannotCreateFolderRights, {folder}));
      return Fail(error, "cannot create the folder " + folder);
    }
  }

  // The samples are those a load of the record gives, so that the copy reads back exactly as
  // the original does, whatever its format: files read in sequence, packets and index lines
  // placed by time, three-component files alike. The caller's stop request stands.
  TFileRecord loaded = record;
  TData32 data;
  LoadReport report;
  LoadSettings settings;
  settings.DefaultRate = default_rate;
  settings.Demean = false;
  settings.ClearStop = false;
  settings.Headers = headers;
  if (!LoadRecord(loaded, data, host, settings, &report)) {
    return Fail(error, record.File + ": not a readable seismogram file");
  }
  if (report.Stopped || host.StopRequested()) return Fail(error, "stopped");

  TFileRecordInfo header = report.First;
  header.Station = record.Station;
  header.ChannelCount = std::clamp(header.ChannelCount, 0, kMaxChannels);
  for (size_t c = 0; c < header.ChannelCoefs.size(); ++c)
    header.ChannelCoefs[c] = c < record.Channels.size() ? record.Channels[c].ADCCoef : 0.0;
  // A reader sizes the copy as its block count times this, so it must cover the longest block.
  const int64_t total = data.empty() ? 0 : static_cast<int64_t>(data.front().size());
  header.BlockSamples = static_cast<int32_t>(std::min(total, kBlockSamples));

  // Written beside the target and moved over it only when complete: a failed or stopped run
  // leaves any earlier file in place.
  TFileReplacement replacement{std::filesystem::path(out_path)};
  std::string ignored;
  if (!WriteBlocks(replacement.Temporary(), out_path, header, data, record.File, host, error))
    return false;
  if (!replacement.Flush(ignored) || !replacement.Commit(ignored)) {
    return Fail(error, "cannot write " + out_path);
  }
  return true;
}

}  // namespace tarvik
