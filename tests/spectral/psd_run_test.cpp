// A run into the store over records read from files: gaps, days shared by records, the stop.
#include "spectral/psd_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "../records/record_test_files.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "spectral/psd_store.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

// Noise at 1 Hz on 2024-03-01 from first to first + seconds (both in seconds of the day).
testing::MsChannel Piece(int first, int seconds, unsigned seed) {
  testing::MsChannel ch;
  ch.station = "RUNT";
  ch.channel = "LHZ";
  ch.rate = 1;
  ch.start = EncodeDateTime(2024, 3, 1) + first / 86400.0;
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, 300.0);
  ch.samples.resize(static_cast<size_t>(seconds));
  for (int32_t& s : ch.samples) s = static_cast<int32_t>(std::lround(normal(random)));
  return ch;
}

TFileRecord RecordOf(const std::string& path) {
  TFileRecords records = FormRecordsFrom(path, AssemblySettings{});
  EXPECT_FALSE(records.empty());
  TFileRecord r = records.at(0);
  r.Channels[0].ChannelResp = testing::RealFile("resp/SAC_PZs_NZ_CRLZ_HHZ.sac");
  r.Channels[0].ADCCoef = 1000.0;
  return r;
}

TPsdDay ReadDay(const fs::path& path) {
  TPsdDay day;
  std::string why;
  EXPECT_TRUE(ReadPsdDay(path, day, &why)) << why;
  return day;
}

const char kDay[] = "2024-061.psd";

TEST(PsdRun, SegmentsHoldingAGapAreLeftOutAndCounted) {
  testing::TempDir dir;
  // Six hours, a gap of 5 s (within the largest gap of a record), six hours less 5 s.
  const std::string file = dir.File("gap.mseed");
  testing::WriteMiniSeed(file, {Piece(0, 21600, 1), Piece(21605, 21595, 2)});
  std::vector<TFileRecord> records = {RecordOf(file)};
  NullUiHost host;
  const TPsdRunReport report = RunPsd(records, {"gap"}, dir.path() / "PSD", {}, host);
  ASSERT_TRUE(report.Errors.empty()) << report.Errors[0];
  // Segments start every 1800 s up to 39600; those starting at 19800 and 21600 hold the gap.
  EXPECT_EQ(report.Skipped, 2);
  EXPECT_EQ(report.Computed, 21);
  const TPsdDay day = ReadDay(dir.path() / "PSD" / ".RUNT..LHZ" / kDay);
  EXPECT_EQ(day.Skipped, 2);
  ASSERT_EQ(day.Segments.size(), 21u);
  const double midnight = 19783.0 * 86400.0;  // 2024-03-01
  for (const TPsdSegment& s : day.Segments) {
    EXPECT_NE(s.Start, midnight + 19800.0);
    EXPECT_NE(s.Start, midnight + 21600.0);
  }
}

TEST(PsdRun, RecordsOfOneDayFillOneFile) {
  testing::TempDir dir;
  testing::WriteMiniSeed(dir.File("a.mseed"), {Piece(0, 21600, 3)});
  testing::WriteMiniSeed(dir.File("b.mseed"), {Piece(28800, 21600, 4)});
  std::vector<TFileRecord> records = {RecordOf(dir.File("a.mseed")), RecordOf(dir.File("b.mseed"))};
  NullUiHost host;
  const fs::path store = dir.path() / "PSD";
  TPsdRunReport report = RunPsd(records, {"a", "b"}, store, {}, host);
  ASSERT_TRUE(report.Errors.empty()) << report.Errors[0];
  EXPECT_EQ(report.DaysWritten, 1);
  EXPECT_EQ(ReadDay(store / ".RUNT..LHZ" / kDay).Segments.size(), 22u);

  // A run of one of them keeps the other's segments of the day.
  std::vector<TFileRecord> second = {records[1]};
  TPsdRunOptions options;
  options.Settings.SegmentSeconds = 3600.0;
  report = RunPsd(second, {"b"}, store, options, host);
  EXPECT_EQ(report.Computed, 0);
  EXPECT_EQ(report.Kept, 11);
  EXPECT_EQ(ReadDay(store / ".RUNT..LHZ" / kDay).Segments.size(), 22u);
}

// Stops as soon as the first segment is done.
class StoppingHost : public NullUiHost {
 public:
  void SetProgress(int position, int) override {
    if (position > 0) RequestStop();
  }
};

TEST(PsdRun, StopLeavesUnfinishedDaysUnwritten) {
  testing::TempDir dir;
  testing::WriteMiniSeed(dir.File("a.mseed"), {Piece(0, 21600, 5)});
  std::vector<TFileRecord> records = {RecordOf(dir.File("a.mseed"))};
  StoppingHost host;
  const TPsdRunReport report = RunPsd(records, {"a"}, dir.path() / "PSD", {}, host);
  EXPECT_TRUE(report.Stopped);
  EXPECT_EQ(report.DaysWritten, 0);
  EXPECT_FALSE(fs::exists(dir.path() / "PSD" / ".RUNT..LHZ" / kDay));
}

}  // namespace
}  // namespace tarvik
