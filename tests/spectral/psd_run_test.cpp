// A run into the store over records read from files: gaps, days shared by records, the stop.
#include "spectral/psd_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "../records/record_test_files.h"
#include "common/binary_file.h"
#include "common/paths.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"
#include "spectral/psd_segments.h"
#include "spectral/psd_store.h"
#include "spectral/spectrum_engine.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

// Noise at 1 Hz on 2024-03-01 from first to first + seconds (both in seconds of the day).
testing::MsChannel Piece(int first, int seconds, unsigned seed) {
  testing::MsChannel ch;
  ch.Station = "RUNT";
  ch.Channel = "LHZ";
  ch.Rate = 1;
  ch.Start = EncodeDateTime(2024, 3, 1) + first / 86400.0;
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, 300.0);
  ch.Samples.resize(static_cast<size_t>(seconds));
  for (int32_t& s : ch.Samples) s = static_cast<int32_t>(std::lround(normal(random)));
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
  TStatus why;
  EXPECT_TRUE(ReadPsdDay(path, day, &why)) << Text(why, TLanguage::kEnglish);
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
  const TPsdRunReport report = RunPsd(records, {"gap"}, dir.Path() / "PSD", {}, host);
  ASSERT_TRUE(report.Errors.empty()) << Text(report.Errors[0], TLanguage::kEnglish);
  // Segments start every 1800 s up to 39600; those starting at 19800 and 21600 hold the gap.
  EXPECT_EQ(report.Skipped, 2);
  EXPECT_EQ(report.Computed, 21);
  const TPsdDay day = ReadDay(dir.Path() / "PSD" / ".RUNT..LHZ" / kDay);
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
  const fs::path store = dir.Path() / "PSD";
  TPsdRunReport report = RunPsd(records, {"a", "b"}, store, {}, host);
  ASSERT_TRUE(report.Errors.empty()) << Text(report.Errors[0], TLanguage::kEnglish);
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

// What keeps a record, a channel or a day out of the store is reported under the record's label
// with a code of its own; the records that can give segments still do.
TEST(PsdRun, RecordsThatCannotGiveSegmentsAreReportedByCode) {
  testing::TempDir dir;
  testing::WriteMiniSeed(dir.File("a.mseed"), {Piece(0, 21600, 6)});
  testing::MsChannel faster = Piece(28800, 21600, 7);
  faster.Rate = 2;
  faster.Samples.resize(faster.Samples.size() * 2, 0);
  testing::WriteMiniSeed(dir.File("b.mseed"), {faster});
  const TFileRecord good = RecordOf(dir.File("a.mseed"));
  TFileRecord no_response = good;
  no_response.Channels[0].ChannelResp.clear();
  TFileRecord sensor_only = no_response;
  sensor_only.Channels[0].SensorResp = "sensor.sac";
  TFileRecord amplifier_only = no_response;
  amplifier_only.Channels[0].AmplifierResp = "amplifier.sac";
  TFileRecord none_selected = good;
  none_selected.Channels[0].Selected = false;
  TFileRecord short_selection = good;
  short_selection.SelectStart = good.Start;
  short_selection.SelectFinish = good.Start + 100.0 / 86400.0;

  struct Case {
    std::string Label;
    TFileRecord Record;
    TCode Code;
  };
  const std::vector<Case> cases = {
      {"good", good, TCode::kOk},
      {"faster", RecordOf(dir.File("b.mseed")), TCode::kPsdRateDiffers},
      {"no response", no_response, TCode::kPsdNoResponse},
      {"sensor only", sensor_only, TCode::kPsdNoAmplifierResponse},
      {"amplifier only", amplifier_only, TCode::kPsdNoSensorResponse},
      {"none selected", none_selected, TCode::kPsdNoChannelSelected},
      {"short selection", short_selection, TCode::kPsdSelectionTooShort},
  };
  std::vector<TFileRecord> records;
  std::vector<std::string> labels;
  for (const Case& c : cases) {
    records.push_back(c.Record);
    labels.push_back(c.Label);
  }
  NullUiHost host;
  const TPsdRunReport report = RunPsd(records, labels, dir.Path() / "PSD", {}, host);
  EXPECT_EQ(report.DaysWritten, 1);
  for (const Case& c : cases) {
    const auto it = std::find_if(report.Errors.begin(), report.Errors.end(), [&](const TStatus& e) {
      return !e.Args.empty() && e.Args[0].Text == c.Label;
    });
    if (c.Code == TCode::kOk) {
      EXPECT_EQ(it, report.Errors.end()) << c.Label;
      continue;
    }
    ASSERT_NE(it, report.Errors.end()) << c.Label;
    EXPECT_EQ(it->Code, TCode::kPsdAt) << c.Label;
    EXPECT_EQ(PsdReason(*it).Code, c.Code) << c.Label << ": " << Text(*it, TLanguage::kEnglish);
  }
  EXPECT_EQ(report.Errors.size(), cases.size() - 1);
  const auto differs = std::find_if(report.Errors.begin(), report.Errors.end(),
                                    [](const TStatus& e) { return e.Args[0].Text == "faster"; });
  ASSERT_NE(differs, report.Errors.end());
  EXPECT_EQ(Text(*differs, TLanguage::kEnglish),
            "faster: .RUNT..LHZ on 2024-061: the sampling rate differs from another record of "
            "the day; its segments are left out");
  EXPECT_EQ(Text(MissingPsdResponse(no_response, 0), TLanguage::kEnglish),
            "channel 1 (LHZ) has no response file: its PSD cannot be given in ground units; set "
            "its channel response (or sensor and amplifier)");
  EXPECT_TRUE(MissingPsdResponse(good, 0).Ok());
}

// A store file the run cannot read is left as it is and named, with the byte at fault.
TEST(PsdRun, DamagedStoreFileIsLeftAsItIs) {
  testing::TempDir dir;
  testing::WriteMiniSeed(dir.File("a.mseed"), {Piece(0, 21600, 8)});
  std::vector<TFileRecord> records = {RecordOf(dir.File("a.mseed"))};
  const fs::path path = dir.Path() / "PSD" / ".RUNT..LHZ" / kDay;
  fs::create_directories(path.parent_path());
  // A header whose window length is not a power of two.
  std::string bytes = "TVKPSD1\n";
  bytes.resize(64, '\0');
  bytes[8] = 1;
  bytes[36] = 24;
  testing::WriteText(path.string(), bytes);
  NullUiHost host;
  const TPsdRunReport report = RunPsd(records, {"a"}, dir.Path() / "PSD", {}, host);
  ASSERT_EQ(report.Errors.size(), 1u);
  const TStatus& damaged = report.Errors[0];
  EXPECT_EQ(damaged.Code, TCode::kPsdStoreDamagedKept);
  EXPECT_EQ(damaged.File, path.string());
  EXPECT_EQ(damaged.Offset, 16);
  EXPECT_EQ(Text(damaged, TLanguage::kEnglish),
            "damaged PSD store file, left as it is (remove it to compute .RUNT..LHZ on 2024-061 "
            "again): " +
                path.string() + ": the window length and line count do not agree (byte 16)");
  EXPECT_EQ(report.DaysWritten, 0);
  const std::vector<uint8_t> kept = ReadWholeFile(path.string());
  EXPECT_EQ(std::string(kept.begin(), kept.end()), bytes);
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
  const TPsdRunReport report = RunPsd(records, {"a"}, dir.Path() / "PSD", {}, host);
  EXPECT_TRUE(report.Stopped);
  EXPECT_EQ(report.DaysWritten, 0);
  EXPECT_FALSE(fs::exists(dir.Path() / "PSD" / ".RUNT..LHZ" / kDay));
}

// The values bit for bit (a NaN equals itself).
std::vector<uint32_t> Bits(const std::vector<float>& values) {
  std::vector<uint32_t> bits(values.size());
  if (!values.empty()) std::memcpy(bits.data(), values.data(), values.size() * sizeof(float));
  return bits;
}

// A three-channel record of 32 hours at 20 Hz in eight files, with a gap of 5 s: longer than
// the run holds in memory at once, so the segments are taken from a window that moves over
// the blocks of several files. Every stored segment is the one its samples in the whole matrix
// give, whatever the threads; a second run keeps them all.
TEST(PsdRun, SegmentsOfARecordReadInBlocksAreThoseOfItsWholeMatrix) {
  testing::TempDir dir;
  constexpr int kRate = 20;
  constexpr int kFileSeconds = 4 * 3600;
  const char* const names[] = {"LHZ", "LHN", "LHE"};
  const TDateTime start = EncodeDateTime(2024, 3, 1, 6, 0, 0);
  for (int f = 0; f < 8; ++f) {
    std::vector<testing::MsChannel> channels;
    // The fourth file begins 5 s late and ends on time.
    const int late = f == 3 ? 5 : 0;
    for (int c = 0; c < 3; ++c) {
      testing::MsChannel ch;
      ch.Station = "RUNT";
      ch.Channel = names[c];
      ch.Rate = kRate;
      ch.Start = start + (f * kFileSeconds + late) / 86400.0;
      std::mt19937 random(static_cast<unsigned>(100 + 10 * f + c));
      std::normal_distribution<double> normal(200.0 * c, 300.0 + 50.0 * f);
      ch.Samples.resize(static_cast<size_t>((kFileSeconds - late) * kRate));
      for (int32_t& x : ch.Samples) x = static_cast<int32_t>(std::lround(normal(random)));
      channels.push_back(std::move(ch));
    }
    testing::WriteMiniSeed(dir.File("RUNT_" + std::to_string(100 + f) + ".msd"), channels);
  }
  AssemblySettings assembly;
  assembly.MaxSpan = 999;
  TFileRecords found;
  NullUiHost host;
  AddFiles(found, ListFolder(dir.Path().string(), "*.msd"), assembly, host);
  ASSERT_EQ(found.size(), 1u);
  TFileRecord record = found[0];
  ASSERT_EQ(record.ChannelCount(), 3);
  for (TRecordChannel& ch : record.Channels) {
    ch.ChannelResp = testing::RealFile("resp/SAC_PZs_NZ_CRLZ_HHZ.sac");
    ch.ADCCoef = 1000.0;
  }
  TPsdRunOptions options;
  options.Settings.SegmentSeconds = 1800.0;

  // The whole matrix, for the values each segment should hold.
  TFileRecord whole_record = record;
  TData32 whole;
  LoadReport loaded;
  ASSERT_TRUE(LoadRecord(whole_record, whole, host, LoadSettings{}, &loaded));
  ASSERT_GT(static_cast<int64_t>(whole[0].size()), 2 * RecordBlocks::kMaxBlock);
  TPsdGeometry geometry;
  ASSERT_TRUE(MakePsdGeometry(options.Settings, kRate, geometry, nullptr));
  TPsdCalculator calculator(geometry);
  const double start_unix = DateTimeToUnix(record.Start);

  std::vector<std::string> stores;
  for (const int jobs : {1, 3}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    const fs::path store = dir.Path() / ("PSD" + std::to_string(jobs));
    options.Jobs = jobs;
    std::vector<TFileRecord> records = {record};
    const TPsdRunReport report = RunPsd(records, {"long"}, store, options, host);
    ASSERT_TRUE(report.Errors.empty()) << Text(report.Errors[0], TLanguage::kEnglish);
    // Segments start every 900 s; those of 17:45 and 18:00 hold the gap in each channel.
    EXPECT_EQ(report.Skipped, 2 * 3);
    EXPECT_GT(report.Computed, 3 * 100);
    int64_t seen = 0;
    std::string bytes;
    for (int c = 0; c < 3; ++c) {
      const std::string code = std::string(".RUNT..") + names[c];
      for (const char* day : {"2024-061.psd", "2024-062.psd"}) {
        const fs::path path = store / code / day;
        const TPsdDay stored = ReadDay(path);
        ASSERT_FALSE(stored.Segments.empty());
        const std::vector<uint8_t> file = ReadWholeFile(path.string());
        bytes.append(file.begin(), file.end());
        TCombinedFilter chain;
        ASSERT_TRUE(LoadRecordChain(record, c, chain).Ok());
        const std::vector<double> factors = AccelerationFactors(chain, 1000.0, geometry);
        for (const TPsdSegment& seg : stored.Segments) {
          const int64_t first = std::llround((seg.Start - start_unix) * kRate);
          ASSERT_GE(first, 0);
          ASSERT_LE(first + geometry.SegmentSamples, static_cast<int64_t>(whole[c].size()));
          std::vector<float> full, grid;
          calculator.Compute(whole[static_cast<size_t>(c)].data() + first, factors, full, grid);
          EXPECT_EQ(Bits(seg.Full), Bits(full)) << code << " at " << seg.Start;
          EXPECT_EQ(Bits(seg.Grid), Bits(grid)) << code << " at " << seg.Start;
          ++seen;
        }
      }
    }
    EXPECT_EQ(seen, report.Computed);
    stores.push_back(bytes);

    // The samples give the same fingerprints when read again: nothing is computed anew.
    std::vector<TFileRecord> again = {record};
    const TPsdRunReport second = RunPsd(again, {"long"}, store, options, host);
    EXPECT_EQ(second.Computed, 0);
    EXPECT_EQ(second.Kept, report.Computed);
    EXPECT_EQ(second.DaysWritten, 0);
  }
  EXPECT_EQ(stores[0], stores[1]);
}

}  // namespace
}  // namespace tarvik
