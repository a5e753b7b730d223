#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "decimal_comma_locale.h"
#include "records/bigeo.h"
#include "records/formats.h"
#include "records/gcf.h"
#include "records/miniseed.h"
#include "records/reftek.h"
#include "records/sac.h"
#include "records/seg2.h"
#include "records/wfdisc.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Filled(size_t n, const std::string& head = "") {
  std::vector<uint8_t> b = Bytes(head);
  b.resize(std::max(n, b.size()), 'x');
  return b;
}

struct RecognizeCase {
  const char* Name;
  const char* File;
  std::vector<uint8_t> Content;
  FormatTag Tag;
};

class RecognizeTest : public ::testing::TestWithParam<RecognizeCase> {};

TEST_P(RecognizeTest, ByExtensionThenContent) {
  const RecognizeCase& c = GetParam();
  TempDir dir;
  testing::WriteBytes(dir.File(c.File), c.Content);
  EXPECT_EQ(TagText(Recognize(dir.File(c.File))), TagText(c.Tag));
}

const std::vector<uint8_t> kReftekHead = Filled(1024, "EH");

INSTANTIATE_TEST_SUITE_P(
    Rules, RecognizeTest,
    ::testing::Values(
        RecognizeCase{"RecTakesItsFirstBlockTag", "a.rec", Filled(64, "[HD2"), kTagRec2},
        RecognizeCase{"RecFirstBlockC1", "a.REC", Filled(36, "[HC1"), kTagRecC1},
        RecognizeCase{"RecTooShortForABlockHead", "a.rec", Bytes("[HD2"), 0},
        RecognizeCase{"SdasWithDamagedHeader", "a.sdas", Filled(100, "garbage"), kTagSdasBad},
        RecognizeCase{"TextTriggerTxt", "a.txt", Bytes("x=1\n"), kTagIssText},
        RecognizeCase{"TextTriggerIssDat", "a.iss_dat", Bytes("x=1\n"), kTagIssText},
        RecognizeCase{"UgrWithStation", "a.ugr2", Filled(16), kTagUgr},
        RecognizeCase{"UgrUpperCase", "a.UGRABC", Filled(16), kTagUgr},
        // ".ug" is not an ".UGR" extension: the content decides.
        RecognizeCase{"ShortUgIsReadByContent", "a.ug", kReftekHead, kTagReftek},
        RecognizeCase{"ShortUgWithOtherContent", "a.ug", Filled(16), 0},
        RecognizeCase{"Wfdisc", "a.wfdisc", Filled(16), kTagWfdisc},
        RecognizeCase{"Gcf", "a.gcf", Filled(16), kTagGcf},
        RecognizeCase{"Msd", "a.msd", Filled(16), kTagMiniSeed},
        RecognizeCase{"MseedAnyCase", "a.MsEeD", Filled(16), kTagMiniSeed},
        RecognizeCase{"SeedIsNotAnExtensionOfMiniSeed", "a.seed", Filled(16), 0},
        RecognizeCase{"Adb", "a.adb", Filled(16), kTagAdb},
        RecognizeCase{"Baikal", "a.baikal", Filled(16), kTagBaikal},
        // The first data file of an SL set is taken for Baikal all the same.
        RecognizeCase{"ZeroZeroIsBaikal", "a.00", Filled(1024), kTagBaikal},
        RecognizeCase{"ReftekNameWithEventHeader", "123456789_0000ABCD", kReftekHead, kTagReftek},
        RecognizeCase{"ReftekDataPacketAnyExtension", "x.rt130", Filled(1024, "DT"), kTagReftek},
        RecognizeCase{"EightBytesNeededForContent", "x.bin", Bytes("EH12345"), 0},
        RecognizeCase{"UnknownContent", "x.bin", Filled(1024, "XY"), 0},
        RecognizeCase{"SlOfFortyBytesIsNothing", "a.sl", Filled(40), 0}),
    [](const auto& info) { return std::string(info.param.Name); });

// Files of the formats that carry their own signature are known by it under any name: an SDS
// day file, no extension at all, the extension of another format. A damaged head leaves the
// file to the extension rules.
TEST(Recognize, SignedFormatsByContentWhateverTheName) {
  const struct {
    const char* Real;
    FormatTag Tag;
  } files[] = {
      {"mseed/CH.BALST..LHE.D.2025.314.mseed", kTagMiniSeed},
      {"gcf/20160603_1910n.gcf", kTagGcf},
      {"sac/LMOW.BHE.SAC", kTagSac},
      {"sac/test.sac.swap", kTagSac},
  };
  TempDir dir;
  for (const auto& f : files) {
    const std::vector<uint8_t> bytes = testing::ReadBytes(testing::RealFile(f.Real));
    for (const char* name : {"XX.STA.00.HHZ.D.2024.001", "noextension", "x.miniseed", "x.dat",
                             "x.txt", "x.00", "x.wfd"}) {
      const std::string path = dir.File(name);
      std::filesystem::remove(path);
      testing::WriteBytes(path, bytes);
      EXPECT_EQ(TagText(Recognize(path)), TagText(f.Tag)) << f.Real << " as " << name;
    }
  }
  // The same bytes with the quality letter or the GCF time of day spoiled are no longer known
  // by content: an extension-less name then gives nothing, a named one its extension's format.
  std::vector<uint8_t> ms = testing::ReadBytes(testing::RealFile(files[0].Real));
  ms[6] = 'X';
  testing::WriteBytes(dir.File("spoiled"), ms);
  testing::WriteBytes(dir.File("spoiled.mseed"), ms);
  EXPECT_EQ(Recognize(dir.File("spoiled")), 0u);
  EXPECT_EQ(Recognize(dir.File("spoiled.mseed")), kTagMiniSeed);
  std::vector<uint8_t> gcf = testing::ReadBytes(testing::RealFile(files[1].Real));
  gcf[1000] ^= 0x5A;  // the data no longer ends on the block's integration constant
  testing::WriteBytes(dir.File("spoiledgcf"), gcf);
  testing::WriteBytes(dir.File("spoiled.gcf"), gcf);
  EXPECT_EQ(Recognize(dir.File("spoiledgcf")), 0u);
  EXPECT_EQ(Recognize(dir.File("spoiled.gcf")), kTagGcf);
}

// What a folder add takes without a format: each file a reader knows, whatever its name, and
// nothing else — not the notes beside them, not a subfolder named like a recording.
TEST(Recognize, FilesOfAFolderAreTheOnesAReaderKnows) {
  TempDir dir;
  testing::WriteBytes(
      dir.File("XX.STA.00.HHZ.D.2024.001"),
      testing::ReadBytes(testing::RealFile("mseed/CH.BALST..LHE.D.2025.314.mseed")));
  testing::WriteBytes(dir.File("b.SAC"), testing::ReadBytes(testing::RealFile("sac/LMOW.BHE.SAC")));
  testing::WriteBytes(dir.File("notes.odt"), Filled(300, "field notes"));
  std::filesystem::create_directory(dir.File("a.msd"));
  EXPECT_EQ(RecognizedFilesIn(dir.Path().string()),
            (std::vector<std::string>{dir.File("XX.STA.00.HHZ.D.2024.001"), dir.File("b.SAC")}));
  EXPECT_TRUE(RecognizedFilesIn(dir.File("missing")).empty());
}

TEST(Recognize, SlLongerThanItsHeaderIsClassifiedByIt) {
  TempDir dir;
  testing::WriteBytes(dir.File("a.sl"), std::vector<uint8_t>(41, 0));
  EXPECT_TRUE(IsSlTag(Recognize(dir.File("a.sl"))));
}

TEST(Recognize, FoldersNamedLikeRecordingsAreNotSeismograms) {
  // A folder opens like a file on some systems and then claims a size of 2^63 - 1 bytes: a
  // one-component "file" of 2^31 samples, and byte counts that overflow.
  TempDir dir;
  for (const char* name : {"230101_00Z0000_00.ugr", "a.msd", "a.sl", "a.00", "123456789_0"}) {
    const std::string path = dir.File(name);
    std::filesystem::create_directory(path);
    EXPECT_EQ(Recognize(path), 0u) << name;
    TFileRecordInfo info;
    EXPECT_FALSE(ReadHeader(path, kTagUgr, info, 50.0).Ok()) << name;
    EXPECT_EQ(info.SampleCount, 0) << name;
    EXPECT_EQ(SampleCapacityOf(path, kTagUgr, info), 0) << name;
    EXPECT_TRUE(ReadWholeFile(path).empty()) << name;
  }
}

TEST(ReadHeader, TagsWithoutReaderLeaveTheHeaderAlone) {
  TempDir dir;
  testing::WriteBytes(dir.File("a.rec"), Filled(64, "[HC1"));
  for (FormatTag tag : {FormatTag{0}, kTagBiGeo, kTagBiGeoProvisional, kTagSdasBad, kTagRecC1}) {
    TFileRecordInfo info;
    info.Station = "keep";
    info.SampRate = 7.0;
    EXPECT_FALSE(ReadHeader(dir.File("a.rec"), tag, info, 50.0).Ok()) << TagText(tag);
    EXPECT_EQ(info.Station, "keep");
    EXPECT_EQ(info.SampRate, 7.0);
  }
}

// Every header reader refuses, with a reason, what is not of its format: the real files of the
// other formats, and random bytes, a picture and a README given its own kind of name. Its own
// real files still read.
struct Candidate {
  std::string Name;
  std::vector<uint8_t> Bytes;
  // The reader whose format the candidate is in (nullptr for none).
  HeaderReader Own = nullptr;
  // A sound file of that format, which its reader must read.
  bool Sound = false;
};

std::vector<Candidate> Candidates() {
  namespace fs = std::filesystem;
  std::vector<Candidate> out;
  std::mt19937 rng(5);
  std::vector<uint8_t> random(64 * 1024);
  for (uint8_t& b : random) b = static_cast<uint8_t>(rng());
  out.push_back({"random bytes", random});
  const std::string readme = testing::RealFile("README.md");
  out.push_back({"a README", testing::ReadBytes(readme)});
  std::vector<uint8_t> dt = Bytes("DT");
  const std::vector<uint8_t> text = testing::ReadBytes(readme);
  dt.insert(dt.end(), text.begin(), text.end());
  out.push_back({"a README beginning DT", dt});
  const std::string png = testing::RealFile("../../docs/screenshots/main_records.png");
  out.push_back({"a PNG picture", testing::ReadBytes(png)});
  const struct {
    const char* Folder;
    HeaderReader Own;
  } folders[] = {
      {"mseed", ReadMiniSeedHeader}, {"gcf", ReadGcfHeader}, {"reftek", ReadReftekHeader},
      {"css", ReadWfdiscHeader},     {"sac", ReadSacHeader}, {"resp", nullptr},
      {"seg2", ReadSeg2Header},
  };
  for (const auto& f : folders) {
    for (const auto& e : fs::directory_iterator(testing::RealFile(f.Folder))) {
      const std::string name = e.path().filename().string();
      // References and the wfdisc's raw sample files (nothing but int32 counts) are not files
      // of a format.
      if (name.find(".ref.txt") != std::string::npos || name.find(".ascii") != std::string::npos ||
          e.path().extension() == ".w" || e.path().extension() == ".DAT" || name == "README.md") {
        continue;
      }
      HeaderReader own = f.Own;
      if (e.path().extension() == ".msd") own = ReadMiniSeedHeader;  // Reftek converted
      // The miniSEED files kept for their damage: what their own reader makes of them is
      // tested beside it.
      const bool damaged = name.rfind("not", 0) == 0 || name.rfind("mseed_", 0) == 0 ||
                           name.rfind("brokenlast", 0) == 0 || name.rfind("infinite", 0) == 0;
      out.push_back({std::string(f.Folder) + "/" + name, testing::ReadBytes(e.path().string()), own,
                     own != nullptr && !damaged});
    }
  }
  return out;
}

// A name the reader's format takes.
std::string NameFor(const FormatInfo& f) {
  const std::pair<FormatTag, const char*> names[] = {{kTagUgr, "110131_12Z3015_25.ugrABC"},
                                                     {kTagReftek, "123456789_00000000"},
                                                     {kTagAdb, "x.adb"},
                                                     {kTagDdb, "x.ddb"},
                                                     {kTagBaikal, "x.baikal"},
                                                     {kTagWfdisc, "x.wfdisc"},
                                                     {kTagMiniSeed, "x.mseed"},
                                                     {kTagGcf, "x.gcf"},
                                                     {kTagIssText, "x.iss_dat"},
                                                     {kTagSac, "x.sac"},
                                                     {kTagSaf, "x.saf"},
                                                     {kTagSdas, "x.sdas"},
                                                     {kTagRec1, "x.rec"},
                                                     {kTagRec2, "x.rec"},
                                                     {kTagSeg2, "x.seg2"},
                                                     {kTagMiniSeed3, "x.ms3"}};
  for (const auto& [tag, name] : names) {
    if (tag == f.Tag) return name;
  }
  return "x.sl";
}

TEST(ReadHeader, EveryReaderRefusesWhatIsNotItsFormat) {
  TempDir dir;
  const std::vector<Candidate> candidates = Candidates();
  ASSERT_GT(candidates.size(), 20u);
  std::vector<HeaderReader> seen;
  for (const FormatInfo& f : AllFormats()) {
    if (f.ReadHeader == nullptr ||
        std::find(seen.begin(), seen.end(), f.ReadHeader) != seen.end()) {
      continue;
    }
    seen.push_back(f.ReadHeader);
    const std::string path = dir.File(NameFor(f));
    for (const Candidate& c : candidates) {
      SCOPED_TRACE(std::string(f.Name) + " reading " + c.Name + " as " + path);
      std::filesystem::remove(path);
      testing::WriteBytes(path, c.Bytes);
      TFileRecordInfo info;
      TStatus why;
      const bool read = f.ReadHeader(path, info, 50.0, &why);
      if (c.Own == f.ReadHeader) {
        if (c.Sound) {
          EXPECT_TRUE(read) << Text(why, TLanguage::kEnglish);
        }
      } else {
        EXPECT_FALSE(read) << info.Station << ", " << info.SampRate << " Hz";
        EXPECT_FALSE(why.Ok());
        // Every refusal is a code of the catalogue, told in each language.
        EXPECT_NE(why.Code, TCode::kReaderFailed) << Text(why, TLanguage::kEnglish);
        EXPECT_FALSE(Text(why, TLanguage::kRussian).empty());
      }
    }
  }
  EXPECT_EQ(seen.size(), 17u);
}

// ".BI"/".GEO" files: a table of channel lines (two 7-character fields, a number, a count,
// three numbers, an 8-character field, a 2-character type, an offset, a 26-character field)
// whose data runs from the first line's offset to exactly the end of the file.
std::string BiGeoLine(int64_t count, const std::string& type, int64_t offset) {
  return "STA01  CHAN01 100.0 " + std::to_string(count) + " 1.0 2.0 3.0 LABEL01" + type + " " +
         std::to_string(offset) + " some comment text here\r\n";
}

struct BiGeoCase {
  const char* Name;
  std::vector<std::string> Lines;
  int64_t DataBytes;  // bytes after offset 256
  bool Accepted;
};

class BiGeoTest : public ::testing::TestWithParam<BiGeoCase> {};

TEST_P(BiGeoTest, DataMustEndExactlyAtTheFileEnd) {
  const BiGeoCase& c = GetParam();
  std::string text;
  for (const std::string& line : c.Lines) text += line;
  std::vector<uint8_t> bytes = Bytes(text);
  ASSERT_LE(bytes.size(), 256u);
  bytes.resize(256 + static_cast<size_t>(c.DataBytes), ' ');
  TempDir dir;
  for (const char* name : {"x.bi", "x.GEO"}) {
    testing::WriteBytes(dir.File(name), bytes);
    EXPECT_EQ(IsBiGeoFile(dir.File(name)), c.Accepted) << name;
    EXPECT_EQ(Recognize(dir.File(name)), c.Accepted ? kTagBiGeo : kTagBiGeoProvisional) << name;
  }
  // The numbers of the table have a decimal point whatever the host's locale.
  const testing::DecimalCommaLocale comma;
  EXPECT_EQ(IsBiGeoFile(dir.File("x.bi")), c.Accepted) << comma.Active();
}

INSTANTIATE_TEST_SUITE_P(
    Table, BiGeoTest,
    ::testing::Values(
        BiGeoCase{"TextCountsBytes", {BiGeoLine(100, "a4", 256)}, 100, true},
        BiGeoCase{"BinaryCountsFourByteSamples", {BiGeoLine(100, "i4", 256)}, 400, true},
        BiGeoCase{"OneByteShort", {BiGeoLine(100, "i4", 256)}, 399, false},
        BiGeoCase{"SecondLineReachesTheEnd",
                  {BiGeoLine(100, "i4", 256), BiGeoLine(50, "i4", 0)},
                  600,
                  true},
        // The first line's type decides the unit for every line.
        BiGeoCase{
            "UnitOfTheFirstLine", {BiGeoLine(100, "a4", 256), BiGeoLine(50, "i4", 0)}, 150, true},
        BiGeoCase{
            "UnreadableLine", {BiGeoLine(100, "i4", 256), "STA01  CHAN01 junk\r\n"}, 600, false},
        BiGeoCase{
            "HugeCountDoesNotOverflow", {BiGeoLine(4611686018427387903, "i4", 256)}, 8, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ListRecordMask, SeveralMasksInPathOrderWithoutDuplicates) {
  TempDir dir;
  for (const char* name : {"b.MSEED", "a.msd", "c.txt", "d.msd.bak"}) {
    testing::WriteText(dir.File(name), "x");
  }
  std::filesystem::create_directory(dir.Path() / "e.msd");
  const std::vector<std::string> expected = {dir.File("a.msd"), dir.File("b.MSEED")};
  EXPECT_EQ(ListRecordMask(dir.Path().string(), "*.msd;*.mseed"), expected);
  EXPECT_EQ(ListRecordMask(dir.Path().string(), "*.msd;*.msd;;"),
            std::vector<std::string>{dir.File("a.msd")});
}

}  // namespace
}  // namespace tarvik
