#include "project/window_rules.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "records/assembly.h"

namespace tarvik {

TStatus HelpUnavailableText(const std::string& guide_path, bool guide_exists) {
  return MakeStatus(guide_exists ? TCode::kNoPdfViewer : TCode::kGuideNotFound, {guide_path});
}

std::string DialogStartFolder(const std::string& project_folder, const std::string& current) {
  std::error_code ec;
  if (!project_folder.empty() && std::filesystem::is_directory(project_folder, ec))
    return project_folder;
  return current;
}

std::vector<std::string> DataFormatItems() {
  // The names of the formats in the order of the data-format setting.
  static constexpr std::array<std::string_view, kDataFormats.size()> kNames = {
      "REC",    "ISS",      "UGRA",      "SDAS",   "Reftek", "CSS",
      "Guralp", "MiniSEED", "DeltaGeon", "Baikal", "SL"};
  std::vector<std::string> items;
  for (size_t i = 0; i < kDataFormats.size(); ++i)
    items.push_back(std::string(kNames[i]) + " (" + std::string(kDataFormats[i]) + ")");
  return items;
}

TStatus NoResponseFilesText(const TFileRecord& record, int mode) {
  // The record's response fields, read in this one place.
  bool sensor = false, amplifier = false, channel = false;
  for (const TRecordChannel& ch : record.Channels) {
    sensor = sensor || !ch.SensorResp.empty();
    amplifier = amplifier || !ch.AmplifierResp.empty();
    channel = channel || !ch.ChannelResp.empty();
  }
  switch (mode) {
    case 0:
      if (!sensor) return MakeStatus(TCode::kNoSensorFiles);
      break;
    case 1:
      if (!amplifier) return MakeStatus(TCode::kNoAmplifierFiles);
      break;
    case 2:
      if (!channel) return MakeStatus(TCode::kNoChannelFiles);
      break;
    default:
      if (!sensor && !amplifier && !channel) return MakeStatus(TCode::kNoResponseFiles);
      break;
  }
  return {};
}

TStatus NoResultText(const std::string& path, bool hv) {
  TStatus status =
      MakeStatus(TCode::kNoResultFile, {path, MakeStatus(hv ? TCode::kHVTab : TCode::kPrimaryTab)});
  status.File = path;
  return status;
}

}  // namespace tarvik
