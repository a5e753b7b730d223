#include "records/load_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/paths.h"
#include "packet_test_support.h"
#include "record_test_files.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/read_samples.h"
#include "records/rec.h"
#include "records/sample_ranges.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::MsChannel;
using testing::RecordingUiHost;
using testing::TempDir;
using testing::TestSignal;
using testing::WriteMiniSeed;

constexpr double kSecond = 1.0 / kSecondsPerDay;
const TDateTime kT0 = EncodeDateTime(2021, 6, 1, 10, 0, 0);
const char* const kNames[] = {"HHZ", "HHN", "HHE"};

// The mean of a channel rounded to nearest, ties to even, as an independent reference.
int64_t RoundedMean(const std::vector<int32_t>& v) {
  long double sum = 0;
  for (int32_t x : v) sum += x;
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(sum / v.size())));
}

std::vector<int32_t> Demeaned(std::vector<int32_t> v) {
  const int64_t m = RoundedMean(v);
  for (int32_t& x : v) x = static_cast<int32_t>(x - m);
  return v;
}

// Three channels of 10 Hz samples in files of 60 s each, starting at kT0 + offset of file i.
class LoadTest : public ::testing::Test {
 protected:
  // Writes file i (60 s, three channels) of station at kT0 + start_seconds.
  void WritePiece(const std::string& folder, const std::string& name, double start_seconds,
                  int seed, const std::string& station = "ABC", const std::string& location = "") {
    std::vector<MsChannel> channels;
    for (int c = 0; c < 3; ++c) {
      MsChannel ch;
      ch.Station = station;
      ch.Location = location;
      ch.Channel = kNames[c];
      ch.Rate = 10;
      ch.Start = kT0 + start_seconds * kSecond;
      ch.Samples = TestSignal(600, seed * 10 + c + 1);
      channels.push_back(ch);
    }
    WriteMiniSeed(folder + "/" + name, channels);
  }

  static std::vector<int32_t> Piece(int seed, int c) { return TestSignal(600, seed * 10 + c + 1); }

  // The records that adding every file of folder forms.
  TFileRecords AddAll(const std::string& folder, int max_span = 10) {
    AssemblySettings settings;
    settings.MaxSpan = max_span;
    TFileRecords records;
    AddFiles(records, ListFolder(folder, "*"), settings, host_);
    return records;
  }

  TData32 Load(TFileRecord& record, bool demean, LoadReport* report = nullptr) {
    LoadSettings settings;
    settings.Demean = demean;
    TData32 data;
    EXPECT_TRUE(LoadRecord(record, data, host_, settings, report));
    return data;
  }

  TempDir dir_;
  RecordingUiHost host_;
};

TEST_F(LoadTest, RecordOfSeveralFilesEqualsTheSameDataInOneFile) {
  const std::string split = (dir_.Path() / "split").string();
  const std::string whole = (dir_.Path() / "whole").string();
  std::filesystem::create_directories(split);
  std::filesystem::create_directories(whole);
  std::vector<std::vector<int32_t>> truth(3);
  std::vector<MsChannel> one(3);
  for (int i = 0; i < 4; ++i) {
    WritePiece(split, "ABC_" + std::to_string(i) + ".msd", 60.0 * i, i);
    for (int c = 0; c < 3; ++c) {
      const std::vector<int32_t> p = Piece(i, c);
      truth[c].insert(truth[c].end(), p.begin(), p.end());
    }
  }
  for (int c = 0; c < 3; ++c) {
    one[c].Channel = kNames[c];
    one[c].Rate = 10;
    one[c].Start = kT0;
    one[c].Samples = truth[c];
  }
  WriteMiniSeed(whole + "/all.msd", one);

  TFileRecords a = AddAll(split);
  TFileRecords b = AddAll(whole);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  LoadReport report;
  const TData32 from_split = Load(a[0], false, &report);
  EXPECT_EQ(report.FilesFound, 4);
  EXPECT_EQ(report.FilesRead, 4);
  const TData32 from_whole = Load(b[0], false);
  ASSERT_EQ(from_split.size(), 3u);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(from_split[c], truth[c]) << kNames[c];
    EXPECT_EQ(from_whole[c], truth[c]) << kNames[c];
  }
  EXPECT_EQ(a[0].SampleCount, 2400);
  EXPECT_EQ(a[0].SampRate, 10.0);

  const TData32 demeaned = Load(a[0], true);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(demeaned[c], Demeaned(truth[c])) << kNames[c];
  EXPECT_TRUE(host_.HasStage("ABC: Загрузка данных"));
  EXPECT_TRUE(host_.HasStage("ABC: Удаление постоянного фона"));
}

// A gap reads as zeros and is reported as samples without data; the mean removed is that of the
// recorded samples alone (the zeros of a gap would pull it toward 0 and shift every sample by
// it), and the gap stays 0 after it. The gap lies between two files, or inside one.
TEST_F(LoadTest, GapsReadAsZerosAndAreReported) {
  for (const bool one_file : {false, true}) {
    SCOPED_TRACE(one_file ? "gap inside a file" : "gap between files");
    TempDir dir;
    if (one_file) {
      std::vector<MsChannel> pieces;
      for (int piece = 0; piece < 2; ++piece) {
        for (int c = 0; c < 3; ++c) {
          MsChannel ch;
          ch.Channel = kNames[c];
          ch.Rate = 10;
          ch.Start = kT0 + 120.0 * piece * kSecond;
          ch.Samples = Piece(piece, c);
          pieces.push_back(ch);
        }
      }
      WriteMiniSeed(dir.File("ABC.msd"), pieces);
    } else {
      WritePiece(dir.Path().string(), "ABC_0.msd", 0, 0);
      WritePiece(dir.Path().string(), "ABC_1.msd", 120, 1);  // 60 s after the first file's end
    }
    TFileRecords records = AddAll(dir.Path().string(), 100);
    ASSERT_EQ(records.size(), 1u);
    LoadReport report;
    const TData32 raw = Load(records[0], false, &report);
    ASSERT_EQ(records[0].SampleCount, 1800);
    ASSERT_EQ(report.Unread.size(), 3u);
    LoadReport demeaned_report;
    const TData32 demeaned = Load(records[0], true, &demeaned_report);
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(report.Unread[c], (TRecordRanges{{600, 1199}})) << kNames[c];
      EXPECT_EQ(demeaned_report.Unread[c], report.Unread[c]) << kNames[c];
      std::vector<int32_t> recorded = Piece(0, c);
      const std::vector<int32_t> second = Piece(1, c);
      recorded.insert(recorded.end(), second.begin(), second.end());
      std::vector<int32_t> truth = Piece(0, c);
      truth.resize(1200, 0);
      truth.insert(truth.end(), second.begin(), second.end());
      EXPECT_EQ(raw[c], truth) << kNames[c];
      const int64_t mean = RoundedMean(recorded);
      for (size_t i = 0; i < 1800; ++i) {
        const int64_t want = i >= 600 && i < 1200 ? 0 : truth[i] - mean;
        ASSERT_EQ(demeaned[c][i], want) << kNames[c] << " sample " << i;
      }
    }
  }
}

// Records without gaps report none, and their mean is that of every sample.
TEST_F(LoadTest, RecordWithoutGapsReportsNone) {
  for (int i = 0; i < 2; ++i)
    WritePiece(dir_.Path().string(), "ABC_" + std::to_string(i) + ".msd", 60.0 * i, i);
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  LoadReport report;
  const TData32 data = Load(records[0], true, &report);
  ASSERT_EQ(report.Unread.size(), 3u);
  for (const TRecordRanges& r : report.Unread) EXPECT_TRUE(r.empty());
  std::vector<int32_t> truth = Piece(0, 0);
  const std::vector<int32_t> second = Piece(1, 0);
  truth.insert(truth.end(), second.begin(), second.end());
  EXPECT_EQ(data[0], Demeaned(truth));
}

// A Steim record whose last sample disagrees with its reverse integration constant is damaged:
// its samples are kept as decoded but hold no recorded data.
TEST_F(LoadTest, DamagedSteimRecordIsUnread) {
  std::vector<uint8_t> bytes;
  std::vector<int32_t> truth;
  for (int k = 0; k < 3; ++k) {
    const std::vector<int32_t> samples = TestSignal(100, k + 2);
    truth.insert(truth.end(), samples.begin(), samples.end());
    testing::MsRecordLayout r;
    r.Second = 3 + k;
    r.Count = 100;
    r.Data = testing::SimpleSteim1(samples, 7);
    if (k == 1) r.Data[11] ^= 1;  // the reverse integration constant of the middle record
    const std::vector<uint8_t> record = testing::MakeMsRecord(r);
    bytes.insert(bytes.end(), record.begin(), record.end());
  }
  testing::WriteBytes(dir_.File("STA.msd"), bytes);
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  LoadReport report;
  const TData32 data = Load(records[0], false, &report);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0], truth);
  ASSERT_EQ(report.Unread.size(), 1u);
  EXPECT_EQ(report.Unread[0], (TRecordRanges{{100, 199}}));
}

// A channel whose file ends before the others' has no data from there on.
TEST_F(LoadTest, ChannelEndingEarlyIsUnreadToTheEnd) {
  const auto write = [&](char component, std::vector<int32_t> v) {
    std::vector<uint8_t> b;
    for (int32_t x : v) testing::PutU32LE(b, static_cast<uint32_t>(x));
    testing::WriteBytes(dir_.File(std::string("110131_12") + component + "3015_25.ugrABC"), b);
  };
  write('Z', {1, 2, 3, 4, 5});
  write('N', {6, 7, 8, 9, 10});
  write('E', {11, 12});
  TFileRecords records;
  AddFiles(records, {dir_.File("110131_12Z3015_25.ugrABC")}, AssemblySettings(), host_);
  ASSERT_EQ(records.size(), 1u);
  TFileRecord& record = records[0];
  LoadReport report;
  const TData32 data = Load(record, false, &report);
  ASSERT_EQ(data.size(), 3u);
  EXPECT_EQ(data[0], (std::vector<int32_t>{11, 12, 0, 0, 0}));  // E, N, Z
  EXPECT_EQ(report.Unread, (TChannelRanges{{{2, 4}}, {}, {}}));
}

TEST_F(LoadTest, EachStationOfAFolderReadsOnlyItsOwnFiles) {
  for (int i = 0; i < 2; ++i) {
    WritePiece(dir_.Path().string(), "AAA_" + std::to_string(i) + ".msd", 60.0 * i, i, "AAA");
    WritePiece(dir_.Path().string(), "BBB_" + std::to_string(i) + ".msd", 60.0 * i, i + 5, "BBB");
  }
  testing::WriteText(dir_.File("readme.txt"), "not a seismogram");
  TFileRecords records;
  AddFolder(records, dir_.Path().string(), 7, AssemblySettings(), host_);
  EXPECT_TRUE(host_.HasStage("Список последовательных записей составлен"));
  EXPECT_EQ(host_.Gauge.back(), std::make_pair(4, 4));
  ASSERT_EQ(records.size(), 2u);
  for (TFileRecord& r : records) {
    const int seed = r.Station == "AAA" ? 0 : 5;
    LoadReport report;
    const TData32 data = Load(r, false, &report);
    EXPECT_EQ(report.FilesFound, 2);
    std::vector<int32_t> truth = Piece(seed, 0);
    const std::vector<int32_t> next = Piece(seed + 1, 0);
    truth.insert(truth.end(), next.begin(), next.end());
    EXPECT_EQ(data[0], truth) << r.Station;
  }
}

// Locations other than "00" (and ADB/DDB devices) file their segments under their own keys.
TEST_F(LoadTest, RecordOfAnotherLocationCodeLoadsItsSamples) {
  WritePiece(dir_.Path().string(), "ABC_0.msd", 0, 0, "ABC", "10");
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  const TData32 data = Load(records[0], false);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(data[c], Piece(0, c)) << kNames[c];
}

TEST_F(LoadTest, AdbRecordLoadsItsThreeChannels) {
  const int32_t count = 200;
  std::vector<uint8_t> b(256, 0);
  auto put16 = [&](size_t at, int v) {
    b[at] = static_cast<uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  };
  // Device 7, numbers 1 and 2, 2005-03-07 12:30:15, 100 Hz, three channels.
  for (const auto& [at, v] : {std::pair{36, 7},
                              {38, 1},
                              {40, 2},
                              {44, 2005},
                              {46, 3},
                              {48, 7},
                              {50, 12},
                              {52, 30},
                              {54, 15},
                              {58, 100},
                              {64, 3}}) {
    put16(static_cast<size_t>(at), v);
  }
  b[66] = count & 0xFF;
  b[67] = count >> 8;
  std::vector<std::vector<int32_t>> truth(3);
  for (int c = 0; c < 3; ++c) {
    b.resize(256 + static_cast<size_t>(c) * (count + 1) * 4, 0);
    testing::PutU32LE(b, 0);  // the word before each channel
    truth[c] = TestSignal(count, c + 3);
    for (int32_t v : truth[c]) testing::PutU32LE(b, static_cast<uint32_t>(v));
  }
  testing::WriteBytes(dir_.File("x.adb"), b);
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  const TData32 data = Load(records[0], false);
  ASSERT_EQ(data.size(), 3u);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(data[c], truth[c]) << c;
}

// A stop requested while the third of five files is read (seen by the first event after it).
class StopAfterFile : public RecordingUiHost {
 public:
  explicit StopAfterFile(int file) : file_(file) {}
  void SetStage(std::string_view text) override {
    RecordingUiHost::SetStage(text);
    loading_ = text.ends_with(": Загрузка данных");
    events_ = 0;
  }
  void ProcessEvents() override {
    RecordingUiHost::ProcessEvents();
    // Loading runs the events once on starting, then once after every file.
    if (loading_ && ++events_ == file_ + 1) RequestStop();
  }

 private:
  int file_;
  bool loading_ = false;
  int events_ = 0;
};

TEST_F(LoadTest, StopDuringTheThirdOfFiveFilesKeepsThreeFilesDemeaned) {
  std::vector<int32_t> truth;
  for (int i = 0; i < 5; ++i) {
    WritePiece(dir_.Path().string(), "ABC_" + std::to_string(i) + ".msd", 60.0 * i, i);
    if (i < 3) {
      const std::vector<int32_t> p = Piece(i, 1);
      truth.insert(truth.end(), p.begin(), p.end());
    }
  }
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  StopAfterFile host(3);
  host.RequestStop();  // a stale request is cleared when loading starts
  TData32 data;
  LoadReport report;
  ASSERT_TRUE(LoadRecord(records[0], data, host, LoadSettings(), &report));
  EXPECT_TRUE(report.Stopped);
  EXPECT_EQ(report.FilesRead, 3);
  EXPECT_EQ(records[0].SampleCount, 1800);
  for (const auto& channel : data) EXPECT_EQ(channel.size(), 1800u);
  EXPECT_EQ(data[1], Demeaned(truth));
}

// A REC file of one "[HD2" header block and the given data blocks.
void WriteRec(const std::string& path, const TFileRecordInfo& header,
              const std::vector<TData32>& blocks) {
  std::vector<uint8_t> bytes = MakeRecHeader2Block(header);
  for (const TData32& block : blocks) {
    const std::vector<uint8_t> b = MakeDszBlock(block, RecDataHeader{header.Start, 0, 0});
    bytes.insert(bytes.end(), b.begin(), b.end());
  }
  testing::WriteBytes(path, bytes);
}

TFileRecordInfo RecHeader(TDateTime start, int32_t block_samples, int channels = 1) {
  TFileRecordInfo h;
  h.Station = "REC";
  h.Start = start;
  h.SampRate = 10.0;
  h.ChannelCount = channels;
  h.BlockSamples = block_samples;
  for (int c = 0; c < channels; ++c) {
    h.ChannelNames[c] = kNames[c];
    h.ChannelCoefs[c] = 1.0;
  }
  return h;
}

TEST_F(LoadTest, SequentialFilesAreReadInNameOrder) {
  const std::vector<int32_t> early = TestSignal(100, 1);
  const std::vector<int32_t> late = TestSignal(100, 2);
  // "1.rec" holds the later samples but sorts first.
  WriteRec(dir_.File("1.rec"), RecHeader(kT0 + 10 * kSecond, 100), {{late}});
  WriteRec(dir_.File("2.rec"), RecHeader(kT0, 100), {{early}});
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].File, dir_.File("2.rec"));
  const TData32 data = Load(records[0], false);
  std::vector<int32_t> truth = late;
  truth.insert(truth.end(), early.begin(), early.end());
  EXPECT_EQ(data[0], truth);
}

TEST_F(LoadTest, UnrecognisedFirstFileGivesNothing) {
  TFileRecord record;
  record.File = dir_.File("missing.msd");
  record.SampleCount = 1000;
  TData32 data = {{1, 2, 3}};
  EXPECT_FALSE(LoadRecord(record, data, host_, LoadSettings()));
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(record.SampleCount, 0);
}

// Headers that claim far more samples than their files hold: the matrix stays within what the
// files can hold, and the samples that are there still load.
TEST_F(LoadTest, MiniSeedSpanningYearsInFourKilobytes) {
  MsChannel a;
  a.Rate = 100;
  a.Start = kT0;
  a.Samples = TestSignal(112 * 4, 1);
  MsChannel b = a;
  b.Start = kT0 + 2147483648.0 / 100 * kSecond;  // 2^31 samples later
  b.Samples = TestSignal(112 * 4, 2);
  WriteMiniSeed(dir_.File("x.msd"), {a, b});
  const int64_t size = 4096;
  ASSERT_EQ(testing::ReadBytes(dir_.File("x.msd")).size(), static_cast<size_t>(size));
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_GT(records[0].SampleCount, MaxSamplesInFile(size));
  LoadReport report;
  const TData32 data = Load(records[0], false, &report);
  EXPECT_LE(report.Allocated, MaxSamplesInFile(size));
  ASSERT_EQ(data.size(), 1u);
  ASSERT_GE(data[0].size(), a.Samples.size());
  EXPECT_TRUE(std::equal(a.Samples.begin(), a.Samples.end(), data[0].begin()));
}

TEST_F(LoadTest, RecHeaderClaimingTwoToTheThirtyOneSamples) {
  const std::vector<int32_t> samples = TestSignal(50, 3);
  TFileRecordInfo h = RecHeader(kT0, std::numeric_limits<int32_t>::max());
  WriteRec(dir_.File("x.rec"), h, {{samples}, {samples}});
  const int64_t size = static_cast<int64_t>(testing::ReadBytes(dir_.File("x.rec")).size());
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_GE(records[0].SampleCount, int32_t{1} << 30);
  LoadReport report;
  const TData32 data = Load(records[0], false, &report);
  EXPECT_LE(report.Allocated, MaxSamplesInFile(size));
  ASSERT_EQ(data.size(), 1u);
  ASSERT_GE(data[0].size(), samples.size());
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), data[0].begin()));
}

TEST_F(LoadTest, CompressedBlocksOfFlatSignalLoadWhole) {
  // Constant samples compress far below two samples per byte; they must all load.
  const std::vector<int32_t> flat(300000, 42);
  WriteRec(dir_.File("x.rec"), RecHeader(kT0, 300000), {{flat}});
  const int64_t size = static_cast<int64_t>(testing::ReadBytes(dir_.File("x.rec")).size());
  ASSERT_LT(MaxSamplesInFile(size), 300000);
  TFileRecords records = AddAll(dir_.Path().string());
  ASSERT_EQ(records.size(), 1u);
  const TData32 data = Load(records[0], false);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0], flat);
}

TEST(SampleCapacity, SlSetIsBoundByItsLargestChannelFile) {
  TempDir dir;
  testing::WriteBytes(dir.File("a.sl"), std::vector<uint8_t>(48, 0));
  testing::WriteBytes(dir.File("a.00"), std::vector<uint8_t>(2048, 0));
  testing::WriteBytes(dir.File("a.01"), std::vector<uint8_t>(8192, 0));
  TFileRecordInfo info;
  info.ChannelCount = 2;
  EXPECT_EQ(SampleCapacityOf(dir.File("a.sl"), kTagSL0, info), MaxSamplesInFile(8192));
  EXPECT_EQ(SampleCapacityOf(dir.File("a.00"), kTagBaikal, info), MaxSamplesInFile(2048));
  EXPECT_EQ(SampleCapacityOf(dir.File("none.msd"), kTagMiniSeed, info), 0);
}

struct MeanCase {
  const char* Name;
  std::vector<int32_t> In;
  std::vector<int32_t> Out;
};

class RemoveMeansTest : public ::testing::TestWithParam<MeanCase> {};

TEST_P(RemoveMeansTest, RoundsToNearestEvenAndClamps) {
  TData32 data = {GetParam().In};
  RecordingUiHost host;
  RemoveMeans(data, &host);
  EXPECT_EQ(data[0], GetParam().Out);
  EXPECT_EQ(host.Progress.back(), std::make_pair(1, 1));
}

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveMeansTest,
    ::testing::Values(
        MeanCase{"HalfRoundsUpToEven", {1, 2}, {-1, 0}},
        MeanCase{"HalfRoundsDownToEven", {2, 3}, {0, 1}},
        MeanCase{"NegativeHalf", {-1, -2}, {1, 0}},
        MeanCase{"NearestWithoutTie", {0, 0, 2}, {-1, -1, 1}}, MeanCase{"Empty", {}, {}},
        // The mean of the extremes is -0.5, rounded to 0; nothing overflows.
        MeanCase{"Extremes", {kMin, kMax}, {kMin, kMax}},
        // Mean -715827883: the largest sample moves beyond the int32 range.
        MeanCase{"ClampedBeyondRange", {kMin, kMin, kMax}, {-1431655765, -1431655765, kMax}}),
    [](const auto& info) { return std::string(info.param.Name); });

// Long channels whose sums need all 64 bits: lengths around the 2^15-sample blocks the sums are
// taken in, samples over the whole int32 range or near one end of it (so that some results
// clamp and some do not), with and without unread spans, against a plain 64-bit computation.
TEST(RemoveMeansSums, LongChannelsMatchAPlainSumAndClamp) {
  std::mt19937 rng(5);
  for (const int64_t n : {32767, 32768, 32769, 100000}) {
    for (const int kind : {0, 1, 2}) {
      std::vector<int32_t> x(static_cast<size_t>(n));
      for (int32_t& v : x) {
        const int64_t r = std::uniform_int_distribution<int64_t>(kMin, kMax)(rng);
        v = kind == 0   ? static_cast<int32_t>(r)
            : kind == 1 ? static_cast<int32_t>(kMax - (r & 0xFFFFFF))
                        : static_cast<int32_t>(kMin + (r & 0xFFFF));
      }
      if (kind == 1) x[7] = kMin;  // far below a mean near the top: clamps
      for (const bool with_gaps : {false, true}) {
        TChannelRanges unread(1);
        if (with_gaps) {
          AddRange(unread[0], 100, 40000 % n);
          AddRange(unread[0], n - 10, n - 1);
        }
        const auto in_gap = [&](int64_t i) {
          for (const auto& [a, b] : unread[0]) {
            if (i >= a && i <= b) return true;
          }
          return false;
        };
        int64_t sum = 0, count = 0;
        for (int64_t i = 0; i < n; ++i) {
          if (!in_gap(i)) sum += x[static_cast<size_t>(i)], ++count;
        }
        const auto mean = static_cast<int64_t>(
            std::nearbyint(static_cast<long double>(sum) / static_cast<long double>(count)));
        std::vector<int32_t> want(x.size());
        for (int64_t i = 0; i < n; ++i) {
          want[static_cast<size_t>(i)] = in_gap(i)
                                             ? 0
                                             : static_cast<int32_t>(std::clamp<int64_t>(
                                                   x[static_cast<size_t>(i)] - mean, kMin, kMax));
        }
        TData32 data = {x};
        if (with_gaps) {
          RemoveMeans(data, unread);
        } else {
          RemoveMeans(data);
        }
        EXPECT_EQ(data[0], want) << "n " << n << " kind " << kind << " gaps " << with_gaps;
      }
    }
  }
}

}  // namespace
}  // namespace tarvik
