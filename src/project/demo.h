#pragma once

// The demonstration data set: synthetic but physically consistent noise recordings of a few
// stations, written as hourly miniSEED files, a project that describes them, and the run of
// primary spectra and H/V ratios over it.
//
// Ground velocity is white Gaussian noise; the horizontal components carry a site resonance
// (the noise plus a band-pass resonance of the station's frequency), so their H/V ratio peaks
// there. The velocity passes through the sensor's poles and zeros (bilinear transform) and the
// ADC coefficient to become counts. A few short transients per file stand above the channels'
// admissible levels, so the quiet-interval search has something to leave out.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "project/project.h"
#include "response/response_model.h"

namespace tarvik {

class UiHost;

struct TDemoStation {
  std::string Name;        // at most 5 characters (the miniSEED station field)
  double Resonance = 0.0;  // Hz
};

struct TDemoOptions {
  std::vector<TDemoStation> Stations = {{"TVK01", 2.0}, {"TVK02", 5.0}};
  TDateTime Start = EncodeDateTime(2024, 5, 14);
  double Rate = 100.0;  // Hz, a whole number
  int Files = 2;        // consecutive files per station
  double FileSeconds = 3600.0;
  double AdcCoef = 419430.4;   // counts per volt
  double VelocityRms = 2e-5;   // m/s
  double Amplification = 4.0;  // of the resonance above the background
  double QualityFactor = 8.0;  // of the resonance
  int TransientsPerFile = 3;
  double LevelFactor = 6.0;  // admissible level in RMS of the channel's clean counts
  uint64_t Seed = 20240514;
};

inline constexpr std::array<const char*, 3> kDemoChannels = {"HHE", "HHN", "HHZ"};

// What was written for one station.
struct TDemoRecording {
  std::string Station;
  double Resonance = 0.0;
  std::vector<std::string> Files;  // in time order
  // Admissible level per channel of kDemoChannels, in counts.
  std::array<int32_t, 3> Levels{};
};

// Samples of one station's three channels (E, N, Z) in counts, before the transients.
std::array<std::vector<int32_t>, 3> SynthesizeDemoCounts(const TDemoStation& station,
                                                         const TComplexFilter& sensor,
                                                         const TDemoOptions& options,
                                                         int station_index);

// Writes the recordings of every station into folder as miniSEED files of 4096-byte records,
// 32-bit integer samples, one file per station and FileSeconds. False with error when a file
// cannot be written or the options make no sense.
bool WriteDemoRecordings(const std::string& folder, const TComplexFilter& sensor,
                         const TDemoOptions& options, std::vector<TDemoRecording>& recordings,
                         std::string& error);

// The shipped sensor response: a 1 Hz geophone in the SAC poles-and-zeros form.
extern const char kDemoGeophonePaz[];
inline constexpr char kDemoGeophoneFileName[] = "geophone_1hz.paz";

// The frequency of the largest H/Z value of a ratio file within [fmin, fmax]; false when the
// file cannot be read or has no line in the band.
bool HVPeakFrequency(const std::string& ratio_path, double fmin, double fmax, double& peak,
                     UiHost& host);

// Writes the response file (sensor_paz_text) under dir/responses and the recordings under
// dir/data (replacing the files of an earlier demo), and forms project from them: the records
// added from the folder, every channel selected with its response, ADC coefficient and level,
// both lists checked, results under dir/results. Nothing is saved. False with error when a file
// cannot be written or the recordings do not form one record per station.
bool BuildDemoProject(const std::string& dir, const std::string& sensor_paz_text,
                      const TDemoOptions& options, UiHost& host, TProject& project,
                      std::vector<TDemoRecording>& recordings, std::string& error);

struct TDemoStationResult {
  std::string Station;
  double Resonance = 0.0;
  double Peak = 0.0;  // 0 when no H/V file was made
  std::string RatioFile;
};

struct TDemoResult {
  bool Ok = false;
  std::string Error;
  std::string ProjectFile;
  std::vector<TDemoStationResult> Stations;
};

// The whole demonstration in dir: BuildDemoProject, the project saved as "demo.tvp" and loaded
// back, primary spectra on jobs threads and H/V ratios, and the peak of each station's H/V
// ratio between 0.5 and 20 Hz.
TDemoResult RunDemo(const std::string& dir, const std::string& sensor_paz_text,
                    const TDemoOptions& options, int jobs, UiHost& host);

}  // namespace tarvik
