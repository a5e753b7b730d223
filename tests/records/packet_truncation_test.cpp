// Truncated copies of every packet file of the real corpus, cut at each eighth of its length:
// the readers keep exactly the packets that lie wholly in the copy, decoded as in the whole
// file, and nothing else (run under the sanitizers, nothing is read or written out of bounds).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/paths.h"
#include "packet_test_support.h"
#include "records/gcf.h"
#include "records/load_target.h"
#include "records/miniseed.h"
#include "records/read_samples.h"
#include "records/reftek.h"
#include "test_files.h"

namespace tarvik {
namespace {

enum class ReaderKind { kMiniSeed, kGcf, kReftek };

struct Reader {
  bool (*Header)(const std::string&, TFileRecordInfo&, double, TStatus*);
  void (*Segments)(const std::string&, TRecList&, const std::string&);
  // Where a segment's packet ends, from its data offset.
  int64_t (*PacketEnd)(const TRecordDescription&);
};

Reader ReaderOf(ReaderKind kind) {
  switch (kind) {
    case ReaderKind::kMiniSeed:
      return {ReadMiniSeedHeader, BuildMiniSeedSegments,
              [](const TRecordDescription& s) { return int64_t{s.Offset} + s.BlockSize; }};
    case ReaderKind::kGcf:
      return {ReadGcfHeader, BuildGcfSegments,
              [](const TRecordDescription& s) { return int64_t{s.Offset} - 16 + 1024; }};
    default:
      return {ReadReftekHeader, BuildReftekSegments, [](const TRecordDescription& s) {
                return int64_t{s.Offset} - (s.DataType >= kSampleSteim1a ? 64 : 24) + 1024;
              }};
  }
}

struct CorpusFile {
  std::string Relative;
  ReaderKind Kind;
};

std::vector<CorpusFile> PacketFiles() {
  std::vector<CorpusFile> out;
  for (const char* folder : {"mseed", "gcf", "reftek"}) {
    for (const std::string& path : ListFolder(testing::RealFile(folder), "*")) {
      const std::string name = FileName(path);
      if (name.ends_with(".ref.txt")) continue;
      ReaderKind kind = ReaderKind::kReftek;
      if (name.ends_with(".mseed") || name.ends_with(".msd")) kind = ReaderKind::kMiniSeed;
      if (name.ends_with(".gcf")) kind = ReaderKind::kGcf;
      out.push_back({std::string(folder) + "/" + name, kind});
    }
  }
  return out;
}

class Truncated : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(Truncated, KeepsTheWholePacketsOnly) {
  const CorpusFile& file = GetParam();
  const Reader reader = ReaderOf(file.Kind);
  const std::string full_path = testing::RealFile(file.Relative);
  const std::vector<uint8_t> bytes = testing::ReadBytes(full_path);
  TRecList full;
  reader.Segments(full_path, full, "");
  SampleReader samples;

  for (size_t eighth = 0; eighth < 8; ++eighth) {
    const size_t length = bytes.size() * eighth / 8;
    SCOPED_TRACE("cut at " + std::to_string(length) + " of " + std::to_string(bytes.size()));
    testing::TempDir dir;
    // The copy keeps its name: Reftek readers look at the folder by name.
    const std::string path = dir.File(FileName(file.Relative));
    testing::WriteBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + length));

    TRecList cut;
    reader.Segments(path, cut, "");
    std::vector<const TRecordDescription*> expected;
    for (const TRecordDescription& s : full.Items) {
      if (reader.PacketEnd(s) <= static_cast<int64_t>(length)) expected.push_back(&s);
    }
    ASSERT_EQ(cut.size(), expected.size());
    for (size_t i = 0; i < cut.size(); ++i) {
      const TRecordDescription& a = cut[i];
      const TRecordDescription& b = *expected[i];
      EXPECT_EQ(a.Station, b.Station);
      EXPECT_EQ(a.Channel, b.Channel);
      EXPECT_NEAR(a.StartTime, b.StartTime, 1e-6 / 86400.0);
      EXPECT_EQ(a.Count, b.Count);
      EXPECT_EQ(a.Offset, b.Offset);
      ASSERT_EQ(samples.Read(a), samples.Read(b)) << "segment " << i;
    }

    TFileRecordInfo info;
    const bool header = reader.Header(path, info, 100.0, nullptr);
    if (file.Kind != ReaderKind::kReftek) {
      EXPECT_EQ(info.BlockCount, static_cast<int32_t>(cut.size()));
      if (!header) {
        EXPECT_TRUE(cut.empty());
      }
    }
    if (file.Kind == ReaderKind::kReftek && header) {
      // The loader's matrix, sized from the copy's header: what is read equals the whole
      // file's samples as far as they go.
      TFileRecordInfo full_info;
      ASSERT_TRUE(ReadReftekHeader(full_path, full_info, 100.0));
      TData32 whole(static_cast<size_t>(full_info.ChannelCount),
                    std::vector<int32_t>(static_cast<size_t>(full_info.SampleCount)));
      LoadTarget whole_target;
      whole_target.Data = &whole;
      ReadReftekInto(full_path, whole_target);
      TData32 data(static_cast<size_t>(info.ChannelCount),
                   std::vector<int32_t>(static_cast<size_t>(info.SampleCount)));
      LoadTarget target;
      target.Data = &data;
      ReadReftekInto(path, target);
      for (size_t c = 0; c < data.size(); ++c) {
        const auto n = static_cast<size_t>(target.ChannelPositions[c]);
        ASSERT_LE(n, whole[c].size());
        EXPECT_TRUE(std::equal(data[c].begin(), data[c].begin() + n, whole[c].begin()));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Real, Truncated, ::testing::ValuesIn(PacketFiles()), [](const auto& info) {
  std::string name = info.param.Relative;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
});

}  // namespace
}  // namespace tarvik
