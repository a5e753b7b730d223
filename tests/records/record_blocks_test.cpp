#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "record_test_files.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"
#include "spectral/spectrum_engine.h"
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
constexpr int kRate = 10;
constexpr int32_t kQuiet = std::numeric_limits<int32_t>::max();

// One miniSEED file of a record: its pieces start at the given seconds after kT0 and hold n
// samples of each of the first `channels` channels. A spike of 5000 counts over the signal
// falls on every sample index of a piece listed in spikes (channel 0 only).
struct Piece {
  double Start = 0;
  int N = 300;
  int Channels = 3;
  std::vector<int> Spikes;
  int32_t Constant = 0;  // when not 0, channel 0 holds this value throughout
};
Piece P(double start, int n = 300, int channels = 3, std::vector<int> spikes = {},
        int32_t constant = 0) {
  return Piece{start, n, channels, std::move(spikes), constant};
}
struct Shape {
  std::string Name;
  std::vector<std::vector<Piece>> Files;
  bool Streams = true;  // read block by block (files that overlap are loaded whole)
};

std::vector<Shape> Shapes() {
  constexpr int32_t kLow = std::numeric_limits<int32_t>::min() + 5;
  constexpr int32_t kHigh = std::numeric_limits<int32_t>::max() - 5;
  return {
      {"contiguous", {{P(0)}, {P(30)}, {P(60)}, {P(90)}, {P(120)}, {P(150)}}},
      {"gap between files", {{P(0)}, {P(30, 300, 3, {5, 200})}, {P(90)}, {P(120)}, {P(150)}}},
      {"gap inside a file", {{P(0), P(45, 150)}, {P(60, 300, 3, {299})}, {P(90)}, {P(120)}}},
      {"channel ending early", {{P(0)}, {P(30)}, {P(60, 300, 2)}, {P(90, 300, 2)}}},
      {"short file and spikes at borders",
       {{P(0, 300, 3, {0, 299})}, {P(30, 7)}, {P(31)}, {P(61)}, {P(91)}}},
      {"means beyond the int32 range",
       {{P(0, 300, 3, {}, kLow)}, {P(30, 100, 3, {}, kHigh)}, {P(40)}, {P(70)}}},
      {"overlapping files", {{P(0)}, {P(15)}, {P(60)}, {P(90)}}, false},
  };
}

std::string Folder(const TempDir& dir, const Shape& shape) {
  int seed = 1;
  for (size_t f = 0; f < shape.Files.size(); ++f) {
    std::vector<MsChannel> channels;
    for (const Piece& p : shape.Files[f]) {
      for (int c = 0; c < p.Channels; ++c) {
        MsChannel ch;
        ch.Channel = kNames[c];
        ch.Rate = kRate;
        ch.Start = kT0 + p.Start * kSecond;
        // The signal about 0, within ±1000 counts.
        const int signal_seed = seed * 10 + c + 1;
        ch.Samples = TestSignal(static_cast<size_t>(p.N), signal_seed);
        for (int32_t& x : ch.Samples) x -= 1000 * signal_seed;
        if (c == 0 && p.Constant != 0) ch.Samples.assign(ch.Samples.size(), p.Constant);
        if (c == 0) {
          for (int i : p.Spikes) {
            if (i < p.N) ch.Samples[static_cast<size_t>(i)] += 5000;
          }
        }
        channels.push_back(ch);
      }
      ++seed;
    }
    // Names in time order: the record's files are read in path order.
    WriteMiniSeed(dir.File("ABC_" + std::to_string(100 + f) + ".msd"), channels);
  }
  return dir.Path().string();
}

TFileRecord RecordOf(const std::string& folder, RecordingUiHost& host) {
  AssemblySettings settings;
  settings.MaxSpan = 999;
  TFileRecords records;
  AddFiles(records, ListFolder(folder, "*"), settings, host);
  EXPECT_EQ(records.size(), 1u);
  return records.empty() ? TFileRecord() : records[0];
}

// The blocks, joined, are the matrix LoadRecord gives, with and without the means removed,
// whatever the block size and however many files the second pass decodes again; they come in
// order, none longer than asked for.
TEST(RecordBlocks, JoinedBlocksEqualTheWholeRecord) {
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.Name);
    TempDir dir;
    RecordingUiHost host;
    const TFileRecord record = RecordOf(Folder(dir, shape), host);
    for (const bool demean : {true, false}) {
      LoadSettings settings;
      settings.Demean = demean;
      TFileRecord loaded = record;
      TData32 whole;
      LoadReport want;
      ASSERT_TRUE(LoadRecord(loaded, whole, host, settings, &want));
      // Blocks of one sample, of less than a file, of more; every file decoded again, some,
      // none.
      for (const auto& [max_block, kept] : {std::pair<int64_t, int64_t>{1, 0},
                                            {250, 5000},
                                            {RecordBlocks::kMaxBlock, RecordBlocks::kKeptBytes}}) {
        SCOPED_TRACE("demean " + std::to_string(demean) + ", block " + std::to_string(max_block) +
                     ", kept " + std::to_string(kept));
        TFileRecord streamed = record;
        RecordBlocks blocks;
        LoadReport got;
        ASSERT_TRUE(blocks.Open(streamed, host, settings, &got, max_block, kept));
        EXPECT_EQ(blocks.Streaming(), shape.Streams);
        EXPECT_EQ(streamed.SampleCount, loaded.SampleCount);
        EXPECT_EQ(blocks.Count(), loaded.SampleCount);
        EXPECT_EQ(got.Unread, want.Unread);
        EXPECT_EQ(blocks.Unread(), want.Unread);
        EXPECT_EQ(got.FilesRead, want.FilesRead);
        TData32 joined(whole.size());
        RecordBlock block;
        while (blocks.Next(block)) {
          ASSERT_EQ(block.Samples.size(), whole.size());
          ASSERT_EQ(block.First, static_cast<int64_t>(joined[0].size()));
          ASSERT_LE(static_cast<int64_t>(block.Samples[0].size()), max_block);
          for (size_t c = 0; c < whole.size(); ++c) {
            ASSERT_EQ(block.Samples[c].size(), block.Samples[0].size());
            joined[c].insert(joined[c].end(), block.Samples[c].begin(), block.Samples[c].end());
          }
        }
        EXPECT_EQ(joined, whole);
      }
    }
  }
}

// The spectra of a record read in blocks (each shorter than a segment: a file holds 300
// samples, a segment over 300) are those of its whole matrix, value for value, with the same
// segments, quiet intervals and gaps.
TEST(RecordBlocks, SpectraEqualThoseOfTheWholeMatrix) {
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.Name);
    // 32 copies of the shape's files, 10 s apart: the record is several times longer than the
    // search runs ahead of the transforms, so the window moves.
    double end = 0;
    for (const auto& file : shape.Files) {
      for (const Piece& p : file) end = std::max(end, p.Start + p.N / static_cast<double>(kRate));
    }
    Shape longer = shape;
    for (int round = 1; round < 32; ++round) {
      for (const auto& file : shape.Files) {
        std::vector<Piece> moved = file;
        for (Piece& p : moved) p.Start += (end + 10.0) * round;
        longer.Files.push_back(moved);
      }
    }
    TempDir dir;
    RecordingUiHost host;
    TFileRecord record = RecordOf(Folder(dir, longer), host);
    for (int c = 0; c < record.ChannelCount(); ++c) record.Channels[c].Level = 2000;
    // A channel at the ends of the int32 range is never quiet: it is not tested.
    if (shape.Files[0][0].Constant != 0) record.Channels[0].Level = kQuiet;
    TSpectrumSettings settings = DefaultSpectrumSettings(kMicroseismSet);
    settings.SilenceDur = 50.0;
    settings.NoiseDur = 3.0;
    for (const bool power : {false, true}) {
      settings.SpectrumType = power ? TSpectrumType::kPower : TSpectrumType::kAmplitude;
      std::vector<int64_t> seen_whole, seen_blocks;
      auto hook = [](std::vector<int64_t>& seen) {
        return [&seen](const TSegmentSpectra& s) {
          seen.push_back(s.FirstSample);
          return true;
        };
      };

      TFileRecord a = record;
      TData32 whole;
      LoadReport report;
      LoadSettings load;
      ASSERT_TRUE(LoadRecord(a, whole, host, load, &report));
      TMatrix2D mean_whole, stdev_whole;
      const TSpectraStatus want =
          CalculateSpectraOfSamples(a, whole, settings, a.SelectStart, a.SelectFinish, host,
                                    mean_whole, stdev_whole, hook(seen_whole), report.Unread);

      TFileRecord b = record;
      TMatrix2D mean_blocks, stdev_blocks;
      const TSpectraStatus got =
          CalculateSpectra(b, settings, b.SelectStart, b.SelectFinish, 10.0, host, mean_blocks,
                           stdev_blocks, hook(seen_blocks));
      ASSERT_TRUE(want.Computed()) << want.Message;
      EXPECT_GT(want.Segments, 2);
      EXPECT_EQ(got.Outcome, want.Outcome) << got.Message;
      EXPECT_EQ(got.Message, want.Message);
      EXPECT_GT(got.Used.SegmentLength, 300);
      EXPECT_EQ(got.Segments, want.Segments);
      EXPECT_EQ(got.Intervals, want.Intervals);
      EXPECT_EQ(got.Gaps, want.Gaps);
      EXPECT_EQ(seen_blocks, seen_whole);
      EXPECT_EQ(mean_blocks, mean_whole);
      EXPECT_EQ(stdev_blocks, stdev_whole);
    }
  }
}

}  // namespace
}  // namespace tarvik
