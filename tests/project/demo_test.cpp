#include "project/demo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo_recordings.h"
#include "project/driver.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/load_record.h"
#include "response/load_response.h"
#include "spectral/spectrum_engine.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

TEST(Demo, ShippedResponseIsTheBuiltInOne) {
  const std::vector<uint8_t> shipped =
      testing::ReadBytes(std::string(TARVIK_TESTDATA_DIR) + "/../../data/" + kDemoGeophoneFileName);
  EXPECT_EQ(std::string(shipped.begin(), shipped.end()), kDemoGeophonePaz);
}

// The files hold exactly the synthesised counts, in time order across file boundaries, under
// the header the project will read.
TEST(Demo, RecordingsReadBackAsSynthesised) {
  TempDir dir;
  TDemoOptions options;
  options.Stations = {{"AB1", 3.0}};
  options.FileSeconds = 95.3;  // a last miniSEED record only partly filled
  options.TransientsPerFile = 0;
  const std::string paz = dir.File("g.paz");
  testing::WriteText(paz, kDemoGeophonePaz);
  TFilterPack sensor;
  ASSERT_TRUE(LoadResponse(paz, sensor).Ok());
  std::vector<TDemoRecording> recordings;
  std::string error;
  ASSERT_TRUE(WriteDemoRecordings(dir.Path().string(), sensor.ZP, options, recordings, error))
      << error;
  ASSERT_EQ(recordings.size(), 1u);
  ASSERT_EQ(recordings[0].Files.size(), 2u);

  const std::string& second = recordings[0].Files[1];
  const FormatTag tag = Recognize(second);
  ASSERT_EQ(tag, kTagMiniSeed);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadHeader(second, tag, info, 50.0).Ok());
  EXPECT_EQ(info.Station, "AB1");
  EXPECT_EQ(info.SampRate, 100.0);
  EXPECT_EQ(info.SampleCount, 9530);
  EXPECT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[1], "HHN");
  EXPECT_NEAR(info.Start, options.Start + 95.3 / 86400.0, 1e-4 / 86400.0);

  TFileRecords records;
  AssemblySettings settings;
  settings.WorkingRate = 100.0;
  ASSERT_TRUE(AddFile(records, recordings[0].Files[0], settings).Added());
  ASSERT_TRUE(AddFile(records, second, settings).Added());
  ASSERT_EQ(records.size(), 1u);
  TData32 data;
  RecordingUiHost host;
  LoadSettings load;
  load.DefaultRate = 100.0;
  load.Demean = false;
  ASSERT_TRUE(LoadRecord(records[0], data, host, load));
  const auto expected = SynthesizeDemoCounts(options.Stations[0], sensor.ZP, options, 0);
  ASSERT_EQ(data.size(), 3u);
  for (size_t c = 0; c < 3; ++c) EXPECT_EQ(data[c], expected[c]) << kDemoChannels[c];
}

// The level of each channel stands above its noise and below the transients.
TEST(Demo, TransientsAreLeftOutOfTheQuietIntervals) {
  TempDir dir;
  TDemoOptions options;
  options.Stations = {{"AB1", 3.0}};
  options.Files = 1;
  options.FileSeconds = 600.0;
  RecordingUiHost host;
  TProject project;
  ASSERT_NO_FATAL_FAILURE(testing::BuildDemoProjectIn(dir.Path().string(), options, host, project));
  ASSERT_EQ(project.Records.size(), 1u);
  EXPECT_FALSE(IsIncomplete(project.Records[0]));
  EXPECT_EQ(FirstRecordWithoutLevel(project), -1);

  TData32 data;
  LoadSettings load;
  load.DefaultRate = 100.0;
  ASSERT_TRUE(LoadRecord(project.Records[0], data, host, load));
  TSpectrumSettings settings = project.Settings[0];
  ASSERT_TRUE(DeriveGeometry(settings, 100.0));
  TRecordRanges quiet;
  FindQuietIntervals(data, ChannelLevels(project.Records[0]), SelectedChannels(project.Records[0]),
                     quiet, settings, 0, static_cast<int64_t>(data[0].size()) - 1);
  // Three transients cut the ten minutes into four quiet stretches.
  EXPECT_EQ(quiet.size(), 4u);
}

}  // namespace
}  // namespace tarvik
