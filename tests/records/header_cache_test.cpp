#include "records/header_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/paths.h"
#include "packet_test_support.h"
#include "record_test_files.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"
#include "records/miniseed.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::MakeMsRecord;
using testing::MsChannel;
using testing::MsRecordLayout;
using testing::RecordingUiHost;
using testing::TempDir;
using testing::TestSignal;
using testing::WriteMiniSeed;

constexpr double kSecond = 1.0 / kSecondsPerDay;
const TDateTime kT0 = EncodeDateTime(2022, 3, 1, 0, 0, 0);

// Bytes this process has read through system calls so far; -1 where the system does not say.
int64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

// A miniSEED file of one channel: records of 2^exponent bytes, each 100 samples at 100 Hz.
void WriteBigRecords(const std::string& path, const std::string& station, TDateTime start,
                     int records, int exponent = 12) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < records; ++i) {
    MsRecordLayout s;
    s.Station = station;
    s.Encoding = 3;
    s.Exponent = exponent;
    s.Count = 100;
    // Whole seconds from the start: the layout stamps 01:02:ss of its day.
    s.Second = 0;
    std::vector<uint8_t> r = MakeMsRecord(s);
    // Day and time of this record: start + i seconds.
    const CivilTime civil = DecodeDateTime(start + i * kSecond);
    const int doy = static_cast<int>(DaysFromCivil(civil.Year, civil.Month, civil.Day) -
                                     DaysFromCivil(civil.Year, 1, 1)) +
                    1;
    r[20] = static_cast<uint8_t>(civil.Year >> 8);
    r[21] = static_cast<uint8_t>(civil.Year);
    r[22] = static_cast<uint8_t>(doy >> 8);
    r[23] = static_cast<uint8_t>(doy);
    r[24] = static_cast<uint8_t>(civil.Hour);
    r[25] = static_cast<uint8_t>(civil.Minute);
    r[26] = static_cast<uint8_t>(civil.Second);
    bytes.insert(bytes.end(), r.begin(), r.end());
  }
  testing::WriteBytes(path, bytes);
}

TEST(HeaderCache, KeepsAHeaderUntilTheFileChanges) {
  TempDir dir;
  const std::string path = dir.File("a.msd");
  WriteBigRecords(path, "AAA", kT0, 3);
  HeaderCache cache;
  EXPECT_EQ(cache.Recognize(path), kTagMiniSeed);
  const auto first = cache.Headers(path, kTagMiniSeed, 50.0);
  ASSERT_TRUE(first->Status.Ok());
  EXPECT_EQ(first->Headers.front().Station, "AAA");
  // Unchanged: the very same headers, not read again.
  EXPECT_EQ(cache.Headers(path, kTagMiniSeed, 50.0), first);
  EXPECT_EQ(cache.Size(), 1u);

  // The same size with a new time, then a new size with the old time: both are read again.
  const auto time = fs::last_write_time(path);
  WriteBigRecords(path, "BBB", kT0, 3);
  fs::last_write_time(path, time + std::chrono::seconds(5));
  EXPECT_EQ(cache.Headers(path, kTagMiniSeed, 50.0)->Headers.front().Station, "BBB");
  WriteBigRecords(path, "CCC", kT0, 4);
  fs::last_write_time(path, time + std::chrono::seconds(5));
  const auto grown = cache.Headers(path, kTagMiniSeed, 50.0);
  EXPECT_EQ(grown->Headers.front().Station, "CCC");
  EXPECT_EQ(grown->Headers.front().BlockCount, 4);

  // Gone: nothing is kept for it, and what a reader makes of a missing file is returned.
  fs::remove(path);
  EXPECT_EQ(cache.Recognize(path), 0u);
  EXPECT_FALSE(cache.Headers(path, kTagMiniSeed, 50.0)->Status.Ok());
}

TEST(HeaderCache, ManyThreadsGetTheSameHeaders) {
  TempDir dir;
  for (int i = 0; i < 8; ++i) {
    WriteBigRecords(dir.File("f" + std::to_string(i) + ".msd"), "S" + std::to_string(i), kT0, 5);
  }
  HeaderCache cache;
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 8; ++i) {
          const std::string path = dir.File("f" + std::to_string(i) + ".msd");
          const auto h = cache.Headers(path, cache.Recognize(path), 50.0);
          if (h->Headers.front().Station != "S" + std::to_string(i)) ++wrong[t];
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_EQ(cache.Size(), 8u);
}

// A folder index is taken as it was for the rest of a pass; the next pass lists the folder and
// checks its files again.
TEST(HeaderCache, FolderIndexLastsAPass) {
  TempDir dir;
  const std::string folder = dir.Path().string();
  WriteBigRecords(dir.File("a.msd"), "AAA", kT0, 10);
  WriteBigRecords(dir.File("b.msd"), "AAA", kT0 + 10 * kSecond, 10);
  HeaderCache cache;
  const auto first = cache.Folder(folder, "*.msd", kTagMiniSeed, 50.0);
  ASSERT_EQ(first->Files.size(), 2u);
  ASSERT_EQ(first->Starts.size(), 2u);
  const auto [lo, hi] = first->StartingIn(kT0 + 5 * kSecond, kT0 + 20 * kSecond);
  ASSERT_EQ(hi - lo, 1);
  EXPECT_EQ(first->Files[lo->File].Path, dir.File("b.msd"));

  WriteBigRecords(dir.File("c.msd"), "AAA", kT0 + 20 * kSecond, 10);
  WriteBigRecords(dir.File("a.msd"), "AAA", kT0 + 30 * kSecond, 11);
  EXPECT_EQ(cache.Folder(folder, "*.msd", kTagMiniSeed, 50.0), first);
  cache.NewPass();
  const auto second = cache.Folder(folder, "*.msd", kTagMiniSeed, 50.0);
  ASSERT_EQ(second->Files.size(), 3u);
  ASSERT_EQ(second->Starts.size(), 3u);
  // a.msd now starts last.
  EXPECT_EQ(second->Files[second->Starts.back().File].Path, dir.File("a.msd"));
}

// Records whose blockettes end at different places, of several lengths, with a damaged record
// and a truncated last one: the walk that reads only record heads visits exactly what a walk
// over whole 4096-byte heads visits.
TEST(MiniSeedWalk, HeadsOnlyGiveWhatWholeHeadsGive) {
  std::vector<uint8_t> bytes;
  auto add = [&](MsRecordLayout s) {
    const std::vector<uint8_t> r = MakeMsRecord(s);
    bytes.insert(bytes.end(), r.begin(), r.end());
  };
  MsRecordLayout plain;
  plain.Count = 10;
  MsRecordLayout far = plain;  // blockette 100 at byte 64, data at 128
  far.TimingQuality = 90;
  far.B100Rate = 40.0f;
  far.DataOffset = 128;
  MsRecordLayout big = plain;
  big.Exponent = 12;
  MsRecordLayout bad = plain;
  bad.Exponent = 3;
  for (const MsRecordLayout& s : {plain, far, far, plain, big, bad, far, plain, big}) add(s);
  MsRecordLayout last = big;
  last.RecordBytes = 1000;  // cut short
  add(last);
  TempDir dir;
  const std::string path = dir.File("mixed.msd");
  testing::WriteBytes(path, bytes);

  struct Visit {
    int64_t Offset;
    TMiniSEEDPacket P;
  };
  std::vector<Visit> walked;
  ASSERT_TRUE(ForEachMiniSeedRecord(path, [&](int64_t offset, const TMiniSEEDPacket& p) {
    walked.push_back({offset, p});
  }));

  std::vector<Visit> whole;
  const auto size = static_cast<int64_t>(bytes.size());
  for (int64_t offset = 0; offset < size;) {
    const int64_t available = size - offset;
    const auto n = static_cast<size_t>(std::min<int64_t>(available, 4096));
    TMiniSEEDPacket p;
    const MiniSeedStatus st =
        ParseMiniSeedRecord(std::span<const uint8_t>(bytes.data() + offset, n), available, p);
    if (st == MiniSeedStatus::kOk) whole.push_back({offset, p});
    const bool known = st == MiniSeedStatus::kOk || st == MiniSeedStatus::kTruncated;
    offset += known ? p.RecordLength : 4096;
  }
  ASSERT_EQ(walked.size(), whole.size());
  ASSERT_GE(whole.size(), 5u);
  for (size_t i = 0; i < whole.size(); ++i) {
    SCOPED_TRACE(i);
    const TMiniSEEDPacket& a = walked[i].P;
    const TMiniSEEDPacket& b = whole[i].P;
    EXPECT_EQ(walked[i].Offset, whole[i].Offset);
    EXPECT_EQ(a.Station, b.Station);
    EXPECT_EQ(a.Start, b.Start);
    EXPECT_EQ(a.SampRate, b.SampRate);
    EXPECT_EQ(a.RecordLength, b.RecordLength);
    EXPECT_EQ(a.DataOffset, b.DataOffset);
    EXPECT_EQ(a.DataType, b.DataType);
    EXPECT_EQ(a.SampleCount, b.SampleCount);
    EXPECT_EQ(a.TimingQuality, b.TimingQuality);
  }
  EXPECT_EQ(walked[1].P.SampRate, 40.0);  // the blockette beyond the first bytes was seen
}

class ReadCost : public ::testing::Test {
 protected:
  void SetUp() override {
    if (BytesRead() < 0) GTEST_SKIP() << "the system does not count bytes read";
  }
};

TEST_F(ReadCost, HeaderOfAFileOfLargeRecordsReadsItsRecordHeadsOnly) {
  TempDir dir;
  const std::string path = dir.File("big.msd");
  constexpr int kRecords = 200;  // 800 KiB
  WriteBigRecords(path, "AAA", kT0, kRecords);
  TFileRecordInfo info;
  const int64_t before = BytesRead();
  ASSERT_TRUE(ReadMiniSeedHeader(path, info, 50.0));
  const int64_t read = BytesRead() - before;
  EXPECT_EQ(info.BlockCount, kRecords);
  EXPECT_EQ(info.SampleCount, kRecords * 100);
  EXPECT_LE(read, kRecords * 64 + 4096) << "of " << fs::file_size(path);
}

// A folder of many files of one station: finding the files of every record with one cache
// reads each header once; without it every search would read the whole folder's headers.
TEST_F(ReadCost, RecordsSearchingOneFolderReadEachHeaderOnce) {
  TempDir dir;
  constexpr int kFiles = 12;
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%02d.msd", i);
    // Two records of six consecutive 100-second files, an hour apart.
    const double start = (i < 6 ? 100.0 * i : 3600.0 + 100.0 * (i - 6));
    WriteBigRecords(dir.File(name), "AAA", kT0 + start * kSecond, 100);
  }
  TFileRecords records;
  AssemblySettings settings;
  RecordingUiHost host;
  HeaderCache cache;
  AddFiles(records, ListFolder(dir.Path().string(), "*.msd"), settings, host, &cache);
  ASSERT_EQ(records.size(), 2u);

  const int64_t before = BytesRead();
  for (const TFileRecord& r : records) {
    const RecordFiles files = FindRecordFiles(r.File, 50.0, r.Start, r.Finish, host, &cache);
    EXPECT_EQ(files.Paths.size(), 6u);
    EXPECT_EQ(files.TotalSamples, 6 * 10000);
  }
  // Nothing but the folder listing: every header came from adding the folder.
  EXPECT_LT(BytesRead() - before, 4096);

  // Loading each record reads its own files once, and record heads of them once more for the
  // segments; the other record's files are not opened.
  LoadSettings load;
  load.Headers = &cache;
  const int64_t load_before = BytesRead();
  TFileRecord first = records[0];
  TData32 data;
  ASSERT_TRUE(LoadRecord(first, data, host, load));
  EXPECT_EQ(first.SampleCount, 60000);
  const int64_t own = 6 * static_cast<int64_t>(fs::file_size(dir.File("f00.msd")));
  EXPECT_LE(BytesRead() - load_before, own + own / 10);
}

}  // namespace
}  // namespace tarvik
