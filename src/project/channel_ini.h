#pragma once

// Channel-settings files: the response files and components of a record's channels kept in
// section "REC00" of an INI file, so that the set-up of one station can be given to others.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "project/record_management.h"

namespace tarvik {

inline constexpr char kChannelIniSection[] = "REC00";
inline constexpr char kChannelIniFilter[] = "INI-файлы|*.ini";
inline constexpr char kChannelIniOpenTitle[] = "Выберите INI-файл с настройками каналов";

// What a channel-settings file holds for one channel.
struct TChannelResponses {
  std::string SensorResp;
  std::string AmplifierResp;
  std::string ChannelResp;
  int32_t Axis = 2;
};

// name with ".ini" appended unless its extension already is ".ini" (letter case ignored).
std::string ChannelIniName(const std::string& name);

// The values of channels 1..count from the bytes of a channel-settings file (Windows-1251),
// "$CommonDir" replaced by folder; a missing key gives an empty path or component 2 (Z).
std::vector<TChannelResponses> ParseChannelIni(std::string_view bytes, int count,
                                               const std::string& folder);

// The channels (from 1, ascending) for which the bytes of a channel-settings file hold at least
// one key; empty when the file is not a channel-settings file at all.
std::vector<int> ChannelIniChannels(std::string_view bytes);

// The INI text (Windows-1251) with key=value lines set in section: a key already in the
// section (letter case ignored) has its line replaced where it stands, a new key is added at
// the section's end, a missing section is added at the end of the text. Every other line,
// comments included, stays as it was.
std::string UpdateIniText(std::string_view text, std::string_view section,
                          const std::vector<std::pair<std::string, std::string>>& values);

// Writes the current record's channel responses and components into the file (".ini" appended
// when missing), the project folder stored as "$CommonDir"; keys of the file that are not
// rewritten stay. Written: the file written; refused when the file cannot be read or written.
TRecordOpResult ChannelsToIni(const TProject& project, int current, const std::string& path);

// Reads the values of as many channels as the current record has from the file and gives them
// to the same channels of every selected record; channels beyond that number, and channels the
// file holds no key for, keep their values. Keys of channels that a selected record does not
// get are named in a warning. Refused, with nothing changed, when there is no current record,
// the file cannot be read, or it holds no channel settings at all.
TRecordOpResult ChannelsFromIni(TProject& project, const TSelection& selection, int current,
                                const std::string& path);

}  // namespace tarvik
