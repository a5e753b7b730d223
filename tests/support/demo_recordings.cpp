#include "demo_recordings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace tarvik::testing {

void WriteShortRecordings(const std::string& folder, int files, double seconds) {
  TDemoOptions options;
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

}  // namespace tarvik::testing
