#include "records/compress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "record_test_files.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/load_record.h"
#include "records/rec.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::MsChannel;
using testing::RecordingUiHost;
using testing::TempDir;
using testing::TestSignal;

constexpr double kSecond = 1.0 / kSecondsPerDay;
const TDateTime kT0 = EncodeDateTime(2021, 6, 1, 10, 0, 0);

void PutU16(std::vector<uint8_t>& b, size_t at, int v) {
  b[at] = static_cast<uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void PutF64(std::vector<uint8_t>& b, size_t at, double v) {
  std::memcpy(&b[at], &v, 8);
}

// The files of folder that a write left under a temporary name.
std::vector<std::string> Temporaries(const std::filesystem::path& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (name.front() == '.') out.push_back(name);
  }
  return out;
}

// Three miniSEED files of two channels, 60 s each at 20 Hz.
std::string WriteMiniSeedRecord(const std::string& dir) {
  for (int i = 0; i < 3; ++i) {
    std::vector<MsChannel> channels(2);
    for (int c = 0; c < 2; ++c) {
      channels[c].Channel = c == 0 ? "BHZ" : "BHN";
      channels[c].Rate = 20;
      channels[c].Start = kT0 + 60.0 * i * kSecond;
      channels[c].Samples = TestSignal(1200, 3 * i + c + 1);
    }
    testing::WriteMiniSeed(dir + "/m" + std::to_string(i) + ".msd", channels);
  }
  return dir + "/m0.msd";
}

// An SL set of two channels and three blocks: words below 4096, no marker area.
std::string WriteSlRecord(const std::string& dir) {
  std::vector<uint8_t> h(40, 0);
  PutU16(h, 0, 5);  // 5 x 18.2 Hz
  PutU16(h, 2, 2);
  h[4] = 7;
  h[5] = 3;
  PutU16(h, 6, 2005);
  h[11] = 12;
  h[10] = 30;
  for (int b = 0; b < 3; ++b) testing::PutU32LE(h, 0);
  testing::WriteBytes(dir + "/set.sl", h);
  for (int c = 0; c < 2; ++c) {
    std::vector<uint8_t> data;
    const std::vector<int32_t> s = TestSignal(3 * 512, c + 1);
    for (int32_t v : s) testing::PutU16LE(data, static_cast<uint16_t>((v & 0x7FF) + 1000));
    testing::WriteBytes(dir + "/set.0" + std::to_string(c), data);
  }
  return dir + "/set.sl";
}

// Two REC files of three channels in "[DSX" blocks of 100 samples.
std::string WriteRecRecord(const std::string& dir) {
  for (int f = 0; f < 2; ++f) {
    TFileRecordInfo h;
    h.Station = "REC";
    h.Start = kT0 + 20.0 * f * kSecond;
    h.SampRate = 10;
    h.ChannelCount = 3;
    h.BlockSamples = 100;
    for (int c = 0; c < 3; ++c) {
      h.ChannelNames[c] = std::string(1, "ZNE"[c]);
      h.ChannelCoefs[c] = 1.5;
    }
    std::vector<uint8_t> bytes = MakeRecHeader2Block(h);
    for (int block = 0; block < 2; ++block) {
      testing::PutText(bytes, "[DSX", 4);
      testing::PutU32LE(bytes, 24 + 3 * 100 * 4);
      bytes.resize(bytes.size() + 24, 0);
      for (int c = 0; c < 3; ++c) {
        for (int32_t v : TestSignal(100, 10 * f + 3 * block + c + 1)) {
          testing::PutU32LE(bytes, static_cast<uint32_t>(v));
        }
      }
    }
    testing::WriteBytes(dir + "/r" + std::to_string(f) + ".rec", bytes);
  }
  return dir + "/r0.rec";
}

// A Baikal file of three channels of 24-bit resolution (int32 samples).
std::string WriteBaikalRecord(const std::string& dir) {
  std::vector<uint8_t> b(120 + 3 * 72, 0);
  PutU16(b, 0, 3);
  PutU16(b, 6, 7);
  PutU16(b, 8, 3);
  PutU16(b, 10, 2005);
  PutU16(b, 18, 24);
  std::memcpy(&b[32], "BAIK", 4);
  PutF64(b, 48, 0.01);
  PutF64(b, 56, 12 * 3600.0);
  for (int c = 0; c < 3; ++c) {
    std::memcpy(&b[120 + 72 * c + 8], c == 0 ? "Z" : c == 1 ? "N" : "E", 1);
    PutF64(b, 120 + 72 * c + 56, 2.5);
  }
  const std::vector<int32_t> s = TestSignal(3 * 700, 4);
  for (int32_t v : s) testing::PutU32LE(b, static_cast<uint32_t>(v));
  testing::WriteBytes(dir + "/x.baikal", b);
  return dir + "/x.baikal";
}

struct RoundTripCase {
  const char* Name;
  // Returns the record's first file: one of the real corpus or one written into dir.
  std::function<std::string(const std::string& dir)> FirstFile;
};

class RoundTripTest : public ::testing::TestWithParam<RoundTripCase> {
 protected:
  TFileRecord Form(const std::string& path) {
    const TFileRecords records = FormRecordsFrom(path, AssemblySettings());
    EXPECT_FALSE(records.empty()) << path;
    return records.empty() ? TFileRecord() : records.front();
  }
  TData32 Samples(TFileRecord record) {
    LoadSettings settings;
    settings.Demean = false;
    TData32 data;
    EXPECT_TRUE(LoadRecord(record, data, host_, settings));
    return data;
  }

  TempDir dir_;
  RecordingUiHost host_;
};

TEST_P(RoundTripTest, CopyLoadsTheSameSamples) {
  const std::string first = GetParam().FirstFile(dir_.Path().string());
  const TFileRecord record = Form(first);
  const TData32 original = Samples(record);
  ASSERT_FALSE(original.empty());
  ASSERT_FALSE(original[0].empty());

  const std::string out = dir_.File("zip/" + CompressedRecordName(record));
  std::string error;
  ASSERT_TRUE(CompressRecord(out, record, host_, 50.0, &error)) << error;
  EXPECT_EQ(Recognize(out), kTagRec2);
  EXPECT_TRUE(host_.HasStage("Сохранение " + record.File));

  const TFileRecord copy = Form(out);
  EXPECT_EQ(copy.Station, record.Station);
  EXPECT_EQ(copy.ChannelCount(), record.ChannelCount());
  EXPECT_NEAR((copy.Start - record.Start) / kSecond, 0.0, 1e-3);
  const TData32 again = Samples(copy);
  ASSERT_EQ(again.size(), original.size());
  for (size_t c = 0; c < original.size(); ++c) {
    EXPECT_EQ(again[c], original[c]) << record.Channels[c].Channel;
  }
}

std::function<std::string(const std::string&)> Real(const std::string& relative) {
  return [relative](const std::string&) { return testing::RealFile(relative); };
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RoundTripTest,
    ::testing::Values(RoundTripCase{"MiniSeedFiles", WriteMiniSeedRecord},
                      RoundTripCase{"MiniSeedReal", Real("mseed/two_channels.mseed")},
                      RoundTripCase{"MiniSeedSteim2", Real("mseed/steim2.mseed")},
                      RoundTripCase{"Gcf", Real("gcf/20160603_1955n.gcf")},
                      RoundTripCase{"Reftek", Real("reftek/225051000_00008656")},
                      RoundTripCase{"ReftekRt130", Real("reftek/065520000_013EE8A0.rt130")},
                      RoundTripCase{"Css", Real("css/test_css.wfdisc")},
                      RoundTripCase{"Sl", WriteSlRecord}, RoundTripCase{"Rec", WriteRecRecord},
                      RoundTripCase{"Baikal", WriteBaikalRecord}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(CompressedRecordName, StartAndStation) {
  TFileRecord r;
  r.Start = EncodeDateTime(2005, 3, 7, 12, 30, 15, 250);
  // The station comes from a file header or the user: characters that would leave the folder
  // or that a file system refuses (ADB/DDB stations are "1|2|3") become "_".
  const struct {
    const char* Station;
    const char* Name;
  } cases[] = {
      {"ABC", "20050307-123015.250.ABC.rec"},
      {"12|0|0", "20050307-123015.250.12_0_0.rec"},
      {"/../../", "20050307-123015.250._.._.._.rec"},
      {"a\\b:c*?", "20050307-123015.250.a_b_c__.rec"},
      {"\"<>\t", "20050307-123015.250.____.rec"},
      {"Станция", "20050307-123015.250.Станция.rec"},
  };
  for (const auto& c : cases) {
    r.Station = c.Station;
    EXPECT_EQ(CompressedRecordName(r), c.Name) << c.Station;
  }
}

class CompressTest : public ::testing::Test {
 protected:
  TFileRecord MiniSeedRecord() {
    const TFileRecords records =
        FormRecordsFrom(WriteMiniSeedRecord(dir_.Path().string()), AssemblySettings());
    return records.at(0);
  }
  TempDir dir_;
  RecordingUiHost host_;
};

TEST_F(CompressTest, EditedCoefficientsAndStationAreWritten) {
  TFileRecord record = MiniSeedRecord();
  record.Channels[0].ADCCoef = 123.5;
  record.Channels[1].ADCCoef = 0.25;
  record.Station = "EDIT";
  const std::string out = dir_.File("copy.rec");
  ASSERT_TRUE(CompressRecord(out, record, host_, 50.0));
  TFileRecordInfo info;
  ASSERT_TRUE(ReadHeader(out, kTagRec2, info, 50.0).Ok());
  EXPECT_EQ(info.Station, "EDIT");
  EXPECT_EQ(info.ChannelCount, 2);
  EXPECT_EQ(info.ChannelCoefs[0], 123.5);
  EXPECT_EQ(info.ChannelCoefs[1], 0.25);
  EXPECT_EQ(info.ChannelNames[0], "BHZ");
  EXPECT_EQ(info.ChannelNames[1], "BHN");
  EXPECT_EQ(info.SampRate, 20.0);
  EXPECT_EQ(info.SampleCount, 3 * 1200);
}

TEST_F(CompressTest, RecordCanBeCompressedOntoItsOwnFile) {
  const TFileRecord record = MiniSeedRecord();
  const std::string out = dir_.File("own.rec");
  ASSERT_TRUE(CompressRecord(out, record, host_, 50.0));
  TFileRecord copy = FormRecordsFrom(out, AssemblySettings()).at(0);
  LoadSettings no_demean;
  no_demean.Demean = false;
  TData32 before;
  ASSERT_TRUE(LoadRecord(copy, before, host_, no_demean));
  ASSERT_TRUE(CompressRecord(out, copy, host_, 50.0));
  TData32 after;
  ASSERT_TRUE(LoadRecord(copy, after, host_, no_demean));
  EXPECT_EQ(after, before);
  EXPECT_TRUE(Temporaries(dir_.Path()).empty());
}

TEST_F(CompressTest, FolderThatCannotBeCreatedFails) {
  const TFileRecord record = MiniSeedRecord();
  testing::WriteText(dir_.File("plain"), "a file, not a folder");
  const std::string folder = dir_.File("plain") + "/sub";
  EXPECT_FALSE(CompressRecord(folder + "/x.rec", record, host_, 50.0));
  ASSERT_EQ(host_.Messages.size(), 1u);
  EXPECT_EQ(host_.Messages[0],
            "Не удалось создать папку " + folder + ". Возможно нет прав доступа.");
}

TEST_F(CompressTest, StopOrUnreadableRecordLeavesNothing) {
  const TFileRecord record = MiniSeedRecord();
  const std::string out = dir_.File("deep/er/x.rec");
  host_.RequestStop();
  EXPECT_FALSE(CompressRecord(out, record, host_, 50.0));
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(Temporaries(dir_.File("deep/er")).empty());
  host_.ClearStop();

  TFileRecord missing = record;
  missing.File = dir_.File("gone.msd");
  std::string error;
  EXPECT_FALSE(CompressRecord(out, missing, host_, 50.0, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace tarvik
