#include "records/saf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/datetime.h"
#include "decimal_comma_locale.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/load_record.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

const std::string kRows =
    "12 -7 0.5\n"
    "13\t-8\t-0.25\r\n"
    "-14 9 1.5e-1\n"
    "\n";

std::string SafText(const std::string& first_line, const std::string& keys,
                    const std::string& rows = kRows) {
  return first_line + "\n" + keys + "####------------------------------------------\n" + rows;
}

const std::string kV1 = "SESAME ASCII data format (saf) v. 1   (this line must not  be modified)";
const std::string kV2 = "SESAME ASCII data format (saf) v. 2";
const std::string kKeys =
    "STA_CODE = MAE01\n"
    "START_TIME = 2019 11 25 07 05 09.125\n"
    "SAMP_FREQ = 128\n"
    "NDAT = 3\n"
    "CH0_ID = S Z\n"
    "CH1_ID = S N\n"
    "CH2_ID = S E\n";

TData32 Load(const std::string& path) {
  TFileRecords records = FormRecordsFrom(path, AssemblySettings{});
  EXPECT_FALSE(records.empty()) << path;
  if (records.empty()) return {};
  testing::RecordingUiHost host;
  LoadSettings settings;
  settings.Demean = false;
  TData32 data;
  EXPECT_TRUE(LoadRecord(records.front(), data, host, settings));
  return data;
}

struct SoundSaf {
  const char* Name;
  std::string File;  // the file's name
  std::string Text;
  const char* Station;
  std::vector<std::string> Channels;
};

class SoundSafTest : public ::testing::TestWithParam<SoundSaf> {};

TEST_P(SoundSafTest, ThreeChannelsWithTheirComponentsAndSamples) {
  const SoundSaf& c = GetParam();
  TempDir dir;
  const std::string path = dir.File(c.File);
  testing::WriteText(path, c.Text);
  ASSERT_EQ(TagText(Recognize(path)), TagText(kTagSaf));
  TFileRecordInfo info;
  std::string why;
  why = Text(ReadHeader(path, kTagSaf, info, 50.0), TLanguage::kEnglish);
  ASSERT_TRUE(why.empty()) << why;
  EXPECT_EQ(info.Station, c.Station);
  EXPECT_EQ(FormatIso(info.Start), "2019-11-25T07:05:09.125Z");
  EXPECT_EQ(info.SampRate, 128.0);
  EXPECT_EQ(info.SampleCount, 3);
  ASSERT_EQ(info.ChannelCount, 3);
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(info.ChannelNames[k], c.Channels[k]);
  // Whole counts stay counts; the third column is scaled to keep its decimals.
  EXPECT_EQ(info.ChannelCoefs[0], 1.0);
  EXPECT_EQ(info.ChannelCoefs[1], 1.0);
  EXPECT_EQ(info.ChannelCoefs[2], 1e7);
  const TFileRecord record = FormRecord(path, info, true);
  EXPECT_EQ(record.Channels[0].Axis, Component::kZ);
  EXPECT_EQ(record.Channels[1].Axis, Component::kN);
  EXPECT_EQ(record.Channels[2].Axis, Component::kE);

  const TData32 expected = {{12, 13, -14}, {-7, -8, 9}, {5000000, -2500000, 1500000}};
  EXPECT_EQ(Load(path), expected);
  // The text segments read the same columns.
  TRecList list;
  BuildSafSegments(path, list, "");
  ASSERT_EQ(list.size(), 3u);
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(ReadSamples(list[k]), expected[k]) << k;
  // Numbers have a decimal point whatever the host's locale.
  const testing::DecimalCommaLocale comma;
  TFileRecordInfo again;
  ASSERT_TRUE(ReadHeader(path, kTagSaf, again, 50.0).Ok()) << comma.Active();
  EXPECT_EQ(again.Start, info.Start);
  EXPECT_EQ(Load(path), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SoundSafTest,
    ::testing::Values(
        SoundSaf{"Version1", "rec.saf", SafText(kV1, kKeys), "MAE01", {"S Z", "S N", "S E"}},
        // Unknown keys, comments and free text are passed over; CR LF lines read as LF ones.
        SoundSaf{"Version2WithExtraKeys",
                 "rec.txt",
                 SafText(kV2 + "\r",
                         "# recorder serial 123\r\nNORTH_ROT = 15\r\nUNITS = count\r\n"
                         "GAIN = 128\r\nRecording channels : 1 2 3\r\n" +
                             kKeys),
                 "MAE01",
                 {"S Z", "S N", "S E"}},
        // Without a station or channel keys: the file's name and the usual V, N, E.
        SoundSaf{
            "DefaultsWhenOptionalKeysAreMissing",
            "SITE7.dat",
            SafText(kV1, "START_TIME = 2019 11 25 07 05 09.125\nSAMP_FREQ = 128.000\nNDAT = 3\n"),
            "SITE7",
            {"V", "N", "E"}},
        // The key names a layout other than Z, N, E: the names give the components.
        SoundSaf{"VerticalByLetterV",
                 "noextension",
                 SafText(kV1,
                         "STA_CODE = X\nSTART_TIME = 2019 11 25 07 05 09.125\n"
                         "SAMP_FREQ = 128\nNDAT = 3\nCH0_ID = V\nCH1_ID = NS\nCH2_ID = EW\n"),
                 "X",
                 {"V", "NS", "EW"}}),
    [](const auto& info) { return std::string(info.param.Name); });

struct BadSaf {
  const char* Name;
  std::string Text;
  const char* Cause;
};

class BadSafTest : public ::testing::TestWithParam<BadSaf> {};

TEST_P(BadSafTest, RefusedWithItsCause) {
  const BadSaf& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("bad.saf");
  testing::WriteText(path, c.Text);
  EXPECT_EQ(Recognize(path), kTagSaf);
  TFileRecordInfo info;
  std::string why;
  why = Text(ReadHeader(path, kTagSaf, info, 50.0), TLanguage::kEnglish);
  EXPECT_FALSE(why.empty());
  EXPECT_NE(why.find(c.Cause), std::string::npos) << why;
  TRecList list;
  BuildSafSegments(path, list, "");
  EXPECT_TRUE(list.empty());
  TFileRecords records;
  const AddFileResult added = AddFile(records, path, AssemblySettings{});
  EXPECT_FALSE(added.Added());
  EXPECT_NE(AddResultText(added).find(c.Cause), std::string::npos) << AddResultText(added);
}

std::string Without(const std::string& key) {
  std::string keys = kKeys;
  const size_t at = keys.find(key);
  keys.erase(at, keys.find('\n', at) - at + 1);
  return SafText(kV1, keys);
}

std::string Replace(const std::string& from, const std::string& to) {
  std::string keys = kKeys;
  keys.replace(keys.find(from), from.size(), to);
  return SafText(kV1, keys);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSafTest,
    ::testing::Values(
        BadSaf{"NoStartTime", Without("START_TIME"), "no START_TIME"},
        BadSaf{"NoRate", Without("SAMP_FREQ"), "no SAMP_FREQ"},
        BadSaf{"NoCount", Without("NDAT"), "no NDAT"},
        BadSaf{"FewerRowsThanNdat", Replace("NDAT = 3", "NDAT = 4"), "NDAT is 4 but 3 rows follow"},
        BadSaf{"MoreRowsThanNdat", Replace("NDAT = 3", "NDAT = 2"),
               "NDAT is 2 but more rows follow"},
        BadSaf{"ShortRow", SafText(kV1, kKeys, "1 2 3\n4 5\n6 7 8\n"),
               "row 2 (line 11) holds 2 values, not 3"},
        BadSaf{"BlankLineAmongRows", SafText(kV1, kKeys, "1 2 3\n\n4 5 6\n6 7 8\n"),
               "blank line 11 among the rows"},
        BadSaf{"NotANumber", SafText(kV1, kKeys, "1 2 3\n4 x 6\n6 7 8\n"),
               "row 2 (line 11): \"x\" is not a number"},
        BadSaf{"NoSeparator", kV1 + "\n" + kKeys + "1 2 3\n", "no \"####\" line"},
        BadSaf{"UnknownVersion", SafText("SESAME ASCII data format (saf) v. 9", kKeys),
               "no version"},
        BadSaf{"BadStart", Replace("2019 11 25 07 05 09.125", "2019 13 25 07 05 09.125"),
               "START_TIME \"2019 13 25 07 05 09.125\""},
        BadSaf{"ZeroRate", Replace("SAMP_FREQ = 128", "SAMP_FREQ = 0"), "SAMP_FREQ \"0\""},
        BadSaf{"NegativeCount", Replace("NDAT = 3", "NDAT = -3"), "NDAT \"-3\""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Saf, OnlyItsFirstLineMakesASafFile) {
  EXPECT_TRUE(LooksLikeSafStart("sesame ascii data format (SAF) v. 1\n"));
  EXPECT_TRUE(LooksLikeSafStart("\xEF\xBB\xBFSESAME ASCII data format (saf) v. 2\n"));
  EXPECT_FALSE(LooksLikeSafStart("# SESAME ASCII data format (saf) v. 1\n"));
  EXPECT_FALSE(LooksLikeSafStart("SESAME ASCII"));
  // A trigger file and a text file keep their formats.
  TempDir dir;
  testing::WriteText(dir.File("a.txt"), "STA_CODE = 1\nSESAME ASCII data format (saf) v. 1\n");
  EXPECT_EQ(Recognize(dir.File("a.txt")), kTagIssText);
  testing::WriteText(dir.File("a.saf"), "x");
  EXPECT_EQ(Recognize(dir.File("a.saf")), 0u);
}

TEST(Saf, SequentialFilesOfAStationJoinByTime) {
  TempDir dir;
  testing::WriteText(dir.File("a.saf"), SafText(kV1, kKeys));
  // Starts two samples after the first file ends (three samples at 128 Hz from 09.125 s); its
  // small values are held in the first file's units.
  testing::WriteText(dir.File("b.saf"),
                     SafText(kV2,
                             "STA_CODE = MAE01\nSTART_TIME = 2019 11 25 07 05 09.1640625\n"
                             "SAMP_FREQ = 128\nNDAT = 1\nCH0_ID = S Z\nCH1_ID = S N\n"
                             "CH2_ID = S E\n",
                             "1 2 0.0001\n"));
  // Another station's file in the folder stays out.
  testing::WriteText(dir.File("c.saf"), Replace("MAE01", "MAE02"));
  const TData32 expected = {
      {12, 13, -14, 0, 0, 1}, {-7, -8, 9, 0, 0, 2}, {5000000, -2500000, 1500000, 0, 0, 1000}};
  EXPECT_EQ(Load(dir.File("a.saf")), expected);
}

}  // namespace
}  // namespace tarvik
