#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "records/record_model.h"
#include "spectral/hvsr_settings.h"
#include "spectral/spectrum_settings.h"

namespace tarvik {

// The general loading settings of a project.
struct TGeneralSettings {
  // Results folder, a full path; empty means the default folder of whoever runs the project.
  std::string ResultDir;
  // Index in the data-format list used when a folder is added (0 to 10).
  int32_t DataFormat = 0;
  // Components from channel names when files are added; off: every channel is Z.
  bool RecognizeComponent = true;
  // Largest gap between the files of one record, seconds (0 to 999).
  int32_t MaxSpan = 10;
  // Sampling rate assumed for files that do not store one, Hz (1 to 100000).
  double SampRateDefault = 50.0;
};

inline constexpr int32_t kMaxSpanLimit = 999;
inline constexpr double kMinSampRateDefault = 1.0;
inline constexpr double kMaxSampRateDefault = 100000.0;
inline constexpr int32_t kDataFormatCount = 11;

// What a project file held when this program last read or wrote it: its size and a hash of its
// bytes. A file that no longer matches has been changed by someone else since.
struct TProjectStamp {
  bool Known = false;
  uint64_t Size = 0;
  size_t Hash = 0;
  bool operator==(const TProjectStamp&) const = default;
};

// Everything a project holds: the records, the two processing-settings sets (0 microseism
// records, 1 event records), the general settings, and where the project lives.
struct TProject {
  TFileRecords Records;
  std::array<TSpectrumSettings, kSettingsSetCount> Settings{
      kDefaultSpectrumSettings[kMicroseismSet], kDefaultSpectrumSettings[kEventSet]};
  TGeneralSettings General;
  // The per-window H/V statistics (section HVSR; a project without it gets the defaults).
  THvsrSettings Hvsr;
  // The project file (a full path) and its folder without a trailing separator; both empty
  // while no file is attached.
  std::string FileName;
  std::string Folder;
  // 1 after every save; what the file said after a load.
  int32_t Version = 1;
  // The form of the file, 0 text or 1 binary, as it was read or last written: a plain save
  // keeps it.
  int32_t Form = 0;
  // The file as it was read or last written.
  TProjectStamp Disk;
  bool Modified = false;
  // The default rate given to header readers when files are added: SampRateDefault, replaced by
  // the first record's rate when a project is loaded.
  double WorkingRate = 50.0;

  // The settings set a record is processed with, chosen by its IsEvent flag.
  const TSpectrumSettings& SettingsFor(const TFileRecord& record) const {
    return Settings[record.IsEvent ? kEventSet : kMicroseismSet];
  }
};

}  // namespace tarvik
