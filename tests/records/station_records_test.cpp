// Files that hold several stations, or one station under several locations, form a record of
// each, as separate files of each would; each record reads its own samples.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/paths.h"
#include "record_test_files.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/header_cache.h"
#include "records/load_record.h"
#include "records/miniseed.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::MsChannel;
using testing::RealFile;
using testing::RecordingUiHost;
using testing::TempDir;
using testing::TestSignal;
using testing::WriteMiniSeed;

constexpr double kSecond = 1.0 / kSecondsPerDay;
const TDateTime kT0 = EncodeDateTime(2023, 7, 1, 6, 0, 0);

TData32 Load(TFileRecord record) {
  RecordingUiHost host;
  LoadSettings load;
  load.Demean = false;
  TData32 data;
  EXPECT_TRUE(LoadRecord(record, data, host, load));
  return data;
}

TFileRecords AddAll(const std::vector<std::string>& paths) {
  RecordingUiHost host;
  TFileRecords records;
  AddFiles(records, paths, AssemblySettings{}, host);
  return records;
}

const TFileRecord* Find(const TFileRecords& records, const std::string& station,
                        const std::string& first_channel) {
  for (const TFileRecord& r : records) {
    if (r.Station == station && r.Channels[0].Channel == first_channel) return &r;
  }
  return nullptr;
}

TEST(StationRecords, WfdiscIndexOfTwoStationsFormsARecordOfEach) {
  std::ifstream in(RealFile("css/201101311155.10.ascii"));
  const std::vector<int32_t> text{std::istream_iterator<int32_t>(in), {}};
  ASSERT_EQ(text.size(), 3u * 4800u);
  const TFileRecords records = AddAll({RealFile("css/test_css.wfdisc")});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Station, "TESTbe");
  EXPECT_EQ(records[1].Station, "TESTle");
  for (const TFileRecord& r : records) {
    SCOPED_TRACE(r.Station);
    EXPECT_EQ(r.ChannelCount(), 3);
    EXPECT_EQ(r.SampleCount, 4800);
    // The big- and little-endian data files hold the same samples, in the lines' order.
    const TData32 data = Load(r);
    ASSERT_EQ(data.size(), 3u);
    for (size_t c = 0; c < 3; ++c) {
      ASSERT_EQ(data[c].size(), 4800u);
      EXPECT_TRUE(std::equal(data[c].begin(), data[c].end(), text.begin() + 4800 * c));
    }
  }
}

// Two hourly-style files, each holding stations AAA (three channels) and BBB (one channel),
// and station CCC under locations 00 and 10; and the same samples written one station and
// location to a file.
class MiniSeedStations : public ::testing::Test {
 protected:
  static MsChannel Channel(const std::string& station, const std::string& location,
                           const std::string& channel, int piece, int seed) {
    MsChannel ch;
    ch.Station = station;
    ch.Location = location;
    ch.Channel = channel;
    ch.Rate = 10;
    ch.Start = kT0 + 60.0 * piece * kSecond;
    ch.Samples = TestSignal(600, seed, 600 * static_cast<size_t>(piece));
    return ch;
  }

  void SetUp() override {
    fs::create_directories(dir_.Path() / "mixed");
    fs::create_directories(dir_.Path() / "apart");
    for (int piece = 0; piece < 2; ++piece) {
      const std::vector<MsChannel> aaa = {Channel("AAA", "", "HHZ", piece, 1),
                                          Channel("AAA", "", "HHN", piece, 2),
                                          Channel("AAA", "", "HHE", piece, 3)};
      // BBB shares AAA's channel name and comes first.
      const std::vector<MsChannel> bbb = {Channel("BBB", "", "HHZ", piece, 4)};
      const std::vector<MsChannel> c00 = {Channel("CCC", "00", "HHZ", piece, 5)};
      const std::vector<MsChannel> c10 = {Channel("CCC", "10", "HHZ", piece, 6),
                                          Channel("CCC", "10", "HNE", piece, 7)};
      const std::string p = std::to_string(piece);
      // Stations interleaved channel by channel in the mixed files.
      WriteMiniSeed(Mixed("all_" + p + ".msd"),
                    {bbb[0], aaa[0], c10[0], c00[0], aaa[1], c10[1], aaa[2]});
      WriteMiniSeed(Apart("aaa_" + p + ".msd"), aaa);
      WriteMiniSeed(Apart("bbb_" + p + ".msd"), bbb);
      WriteMiniSeed(Apart("c00_" + p + ".msd"), c00);
      WriteMiniSeed(Apart("c10_" + p + ".msd"), c10);
    }
  }

  std::string Mixed(const std::string& name) const {
    return (dir_.Path() / "mixed" / name).string();
  }
  std::string Apart(const std::string& name) const {
    return (dir_.Path() / "apart" / name).string();
  }

  TempDir dir_;
};

TEST_F(MiniSeedStations, EveryStationAndLocationIsARecordOfItsOwnSamples) {
  const TFileRecords mixed = AddAll(ListFolder((dir_.Path() / "mixed").string(), "*.msd"));
  const TFileRecords apart = AddAll(ListFolder((dir_.Path() / "apart").string(), "*.msd"));
  ASSERT_EQ(mixed.size(), 4u);
  ASSERT_EQ(apart.size(), 4u);
  // In the order the stations first appear in the first file.
  EXPECT_EQ(mixed[0].Station, "BBB");
  EXPECT_EQ(mixed[1].Station, "AAA");
  EXPECT_EQ(mixed[2].Station, "CCC");
  EXPECT_EQ(mixed[2].Channels[0].Channel, "10.HHZ");
  EXPECT_EQ(mixed[2].Channels[1].Channel, "10.HNE");
  EXPECT_EQ(mixed[2].Channels[0].Axis, Component::kZ);
  EXPECT_EQ(mixed[2].Channels[1].Axis, Component::kE);
  EXPECT_EQ(mixed[3].Channels[0].Channel, "00.HHZ");

  struct Twin {
    const char* Station;
    const char* MixedChannel;
    const char* ApartChannel;
    int Channels;
  };
  for (const Twin& t : {Twin{"AAA", "HHZ", "HHZ", 3}, Twin{"BBB", "HHZ", "HHZ", 1},
                        Twin{"CCC", "00.HHZ", "HHZ", 1}, Twin{"CCC", "10.HHZ", "HHZ", 2}}) {
    SCOPED_TRACE(std::string(t.Station) + " " + t.MixedChannel);
    const TFileRecord* m = Find(mixed, t.Station, t.MixedChannel);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->ChannelCount(), t.Channels);
    EXPECT_EQ(m->SampleCount, 1200);
    EXPECT_EQ(m->File, Mixed("all_0.msd"));
    // Its twin written apart: the location-10 files are the ones of two channels.
    const TFileRecord* a = nullptr;
    for (const TFileRecord& r : apart) {
      if (r.Station == t.Station && r.ChannelCount() == t.Channels &&
          (std::string(t.Station) != "CCC" ||
           r.File.find(std::string(t.MixedChannel).substr(0, 2) == "00" ? "c00" : "c10") !=
               std::string::npos)) {
        a = &r;
      }
    }
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Channels[0].Channel, t.ApartChannel);
    const TData32 from_mixed = Load(*m);
    const TData32 from_apart = Load(*a);
    ASSERT_EQ(from_mixed.size(), static_cast<size_t>(t.Channels));
    EXPECT_EQ(from_mixed, from_apart);
    EXPECT_EQ(from_mixed[0].size(), 1200u);
  }
}

TEST_F(MiniSeedStations, RecordSearchKeepsToItsStationAndLocation) {
  const TFileRecords mixed = AddAll({Mixed("all_0.msd"), Mixed("all_1.msd")});
  const TFileRecord* c10 = Find(mixed, "CCC", "10.HHZ");
  ASSERT_NE(c10, nullptr);
  RecordingUiHost host;
  HeaderCache cache;
  const RecordFiles files = FindRecordFiles(c10->File, 50.0, c10->Start, c10->Finish, host, &cache,
                                            c10->Station, RecordLocation(*c10));
  EXPECT_EQ(files.First.Location, "10");
  EXPECT_EQ(files.Paths, (std::vector<std::string>{Mixed("all_0.msd"), Mixed("all_1.msd")}));
  for (const TFileRecordInfo& h : files.Headers) {
    EXPECT_EQ(h.Station, "CCC");
    EXPECT_EQ(h.Location, "10");
    EXPECT_EQ(h.ChannelCount, 2);
  }
  EXPECT_EQ(files.TotalSamples, 1200);

  // The header of the file is that of its first station; a renamed record falls back on it.
  TFileRecordInfo info;
  ASSERT_TRUE(ReadMiniSeedHeader(Mixed("all_0.msd"), info, 50.0));
  EXPECT_EQ(info.Station, "BBB");
  EXPECT_EQ(info.ChannelCount, 1);
  const FileHeaders read = ReadHeaders(Mixed("all_0.msd"), kTagMiniSeed, 50.0);
  EXPECT_EQ(read.Headers.size(), 4u);
  EXPECT_EQ(HeaderOfStation(read, "ZZZ", "").Station, "BBB");
  EXPECT_EQ(HeaderOfStation(read, "CCC", "").Location, "10");
  EXPECT_EQ(HeaderOfStation(read, "CCC", "00").Location, "00");
}

}  // namespace
}  // namespace tarvik
