#include "demo_recordings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "project/demo.h"

namespace tarvik::testing {

void WriteShortRecordings(const std::string& folder, int stations, double seconds, int files) {
  TDemoOptions options;
  options.Stations.clear();
  for (int i = 0; i < stations; ++i) {
    options.Stations.push_back(
        {"TVK" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1), 2.0 + 3.0 * i});
  }
  options.Files = files;
  options.FileSeconds = seconds;
  options.TransientsPerFile = 0;
  TFilterPack sensor;
  sensor.ZP.NormFactor = 1.0;
  std::vector<TDemoRecording> recordings;
  std::string error;
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(WriteDemoRecordings(folder, sensor.ZP, options, recordings, error)) << error;
}

void BuildDemoProjectIn(const std::string& folder, const TDemoOptions& options, UiHost& host,
                        TProject& project) {
  std::vector<TDemoRecording> recordings;
  std::string error;
  ASSERT_TRUE(BuildDemoProject(folder, kDemoGeophonePaz, options, host, project, recordings, error))
      << error;
}

}  // namespace tarvik::testing
