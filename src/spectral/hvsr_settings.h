#pragma once

// The settings of the per-window H/V statistics: smoothing grid, horizontal combination,
// window rejection and the band searched for the peak.

#include <cstdint>
#include <string>

#include "common/status.h"

namespace tarvik {

enum class THvsrSmoothing : int32_t { kKonnoOhmachi = 0, kNone = 1 };
// How E and N form the horizontal: (E + N)/2 (the ratio files' H/Z, the mean of E/Z and N/Z),
// √(E·N), or √((E² + N²)/2).
enum class THvsrHorizontal : int32_t { kArithmetic = 0, kGeometric = 1, kSquared = 2 };
enum class THvsrRejection : int32_t { kFdwra = 0, kNone = 1 };

struct THvsrSettings {
  THvsrSmoothing Smoothing = THvsrSmoothing::kKonnoOhmachi;
  double Bandwidth = 40.0;  // Konno–Ohmachi b
  double GridFMin = 0.1;    // Hz
  double GridFMax = 50.0;   // Hz
  int32_t GridPoints = 256;
  THvsrHorizontal Horizontal = THvsrHorizontal::kArithmetic;
  THvsrRejection Rejection = THvsrRejection::kFdwra;
  double RejectionN = 2.0;  // standard deviations kept around the mean
  // The band searched for peaks; 0 for either end means that end of the grid.
  double BandFMin = 0.0;
  double BandFMax = 0.0;
};

inline constexpr int32_t kMaxHvsrGridPoints = 100000;

// Why the settings cannot be used (the grid, the smoothing bandwidth, the rejection or the search
// band out of bounds); kOk when they can.
TStatus HvsrSettingsFault(const THvsrSettings& settings);
// True when the settings can be used; otherwise why not, in English as the other reasons of the
// H/V statistics are.
bool CheckHvsrSettings(const THvsrSettings& settings, std::string* why = nullptr);

// The names the command line and the report use: "ko"/"none", "arithmetic"/"geometric"/"squared",
// "fdwra"/"none".
const char* SmoothingName(THvsrSmoothing value);
const char* HorizontalName(THvsrHorizontal value);
const char* RejectionName(THvsrRejection value);

}  // namespace tarvik
