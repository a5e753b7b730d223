#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/status.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/load_record.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first n bytes of a real file, as a copy cut in transfer would hold them.
std::vector<uint8_t> FirstBytes(const std::string& real, size_t n) {
  std::vector<uint8_t> b = ReadAll(testing::RealFile(real));
  b.resize(std::min(n, b.size()));
  return b;
}

std::vector<uint8_t> Ascii(const std::string& text) {
  return {text.begin(), text.end()};
}

struct HeaderCase {
  const char* What;
  const char* Name;
  std::vector<uint8_t> Content;
  FormatTag Tag;
  TCode Code;
  int64_t Offset;  // -1: none expected
};

// A damaged or cut file of each format is refused with the cause, the file and, where the
// reader can tell it, the byte.
TEST(RecordStatus, DamagedAndCutFilesGiveTheirCauseWithFileAndOffset) {
  const std::vector<HeaderCase> cases = {
      {"SAC cut inside its header", "cut.sac", FirstBytes("sac/test.sac", 300), kTagSac,
       TCode::kRecordFileCut, 300},
      {"SEG-2 cut inside its descriptor", "cut.seg2",
       FirstBytes("seg2/20180307_031245000.0.DAT", 20), kTagSeg2, TCode::kRecordFileCut, 20},
      {"SL cut inside its header", "cut.sl", Ascii("0123456789ab"), kTagSL0, TCode::kRecordFileCut,
       12},
      {"miniSEED 3 whose first record is not one", "bad.ms3", Ascii(std::string(64, 'Q')),
       kTagMiniSeed3, TCode::kNotOfFormat, 0},
      {"SAC of another byte order than any", "bad.sac", std::vector<uint8_t>(700, 0xFF), kTagSac,
       TCode::kNotOfFormat, -1},
      {"BI/GEO, which has no header reader", "x.bi", Ascii("anything"), kTagBiGeo,
       TCode::kNoHeaderReader, -1},
  };
  TempDir dir;
  for (const HeaderCase& c : cases) {
    const std::string path = dir.File(c.Name);
    testing::WriteBytes(path, c.Content);
    TFileRecordInfo info;
    const TStatus status = ReadHeader(path, c.Tag, info, 50.0);
    EXPECT_EQ(CodeName(status.Code), CodeName(c.Code))
        << c.What << ": " << Text(status, TLanguage::kEnglish);
    EXPECT_EQ(status.File, path) << c.What;
    EXPECT_EQ(status.Offset, c.Offset) << c.What << ": " << Text(status, TLanguage::kEnglish);
    // The reader's own words still reach the user.
    EXPECT_FALSE(Text(status, TLanguage::kEnglish).empty()) << c.What;
  }
}

TEST(RecordStatus, AMissingFileIsNotOpenedWhateverItsFormat) {
  TempDir dir;
  const std::string path = dir.File("gone.sac");
  for (FormatTag tag : {kTagSac, kTagSeg2, kTagMiniSeed, kTagGcf}) {
    TFileRecordInfo info;
    const TStatus status = ReadHeader(path, tag, info, 50.0);
    EXPECT_EQ(status.Code, TCode::kRecordFileNotOpened) << TagText(tag);
    EXPECT_EQ(status.File, path);
  }
  const FileHeaders read = ReadHeaders(path, kTagMiniSeed, 50.0);
  EXPECT_EQ(read.Status.Code, TCode::kRecordFileNotOpened);
  EXPECT_EQ(read.Headers.size(), 1u);
}

TEST(RecordStatus, RecognizeSaysWhyAFileHasNoFormat) {
  TempDir dir;
  const std::string unknown = dir.File("notes.zzz");
  testing::WriteText(unknown, "nothing a recorder writes");
  const std::string missing = dir.File("missing.zzz");
  const std::string sac = dir.File("good.sac");
  testing::WriteBytes(sac, ReadAll(testing::RealFile("sac/test.sac")));
  struct Case {
    std::string Path;
    bool Known;
    TCode Code;
  };
  for (const Case& c : std::vector<Case>{{unknown, false, TCode::kFormatNotRecognized},
                                         {missing, false, TCode::kRecordFileNotOpened},
                                         {sac, true, TCode::kOk}}) {
    TStatus status = MakeStatus(TCode::kReaderFailed);
    const FormatTag tag = Recognize(c.Path, &status);
    EXPECT_EQ(tag != 0, c.Known) << c.Path;
    EXPECT_EQ(status.Code, c.Code) << c.Path;
    EXPECT_EQ(status.File, c.Known ? "" : c.Path);
  }
}

TEST(RecordStatus, ALoadOfAnUnknownFileFailsWithItsCodeAndTellsItsStages) {
  TempDir dir;
  const std::string path = dir.File("notes.zzz");
  testing::WriteText(path, "nothing a recorder writes");
  TFileRecord record;
  record.File = path;
  record.Station = "ST";
  RecordingUiHost host;
  TData32 data;
  LoadReport report;
  EXPECT_FALSE(LoadRecord(record, data, host, LoadSettings{}, &report));
  EXPECT_EQ(report.Status.Code, TCode::kRecordNotRecognized);
  EXPECT_EQ(report.Status.File, path);
  ASSERT_EQ(report.Status.Args.size(), 2u);
  ASSERT_NE(report.Status.Args[1].Nested, nullptr);
  EXPECT_EQ(report.Status.Args[1].Nested->Code, TCode::kFormatNotRecognized);
  EXPECT_TRUE(data.empty());

  // A record that loads reports Ok, and its stage goes through its code.
  const std::string sac = dir.File("good.sac");
  testing::WriteBytes(sac, ReadAll(testing::RealFile("sac/test.sac")));
  TFileRecords formed = FormRecordsFrom(sac, AssemblySettings{});
  ASSERT_FALSE(formed.empty());
  RecordingUiHost loading;
  LoadReport loaded;
  ASSERT_TRUE(LoadRecord(formed[0], data, loading, LoadSettings{}, &loaded));
  EXPECT_TRUE(loaded.Status.Ok());
  EXPECT_TRUE(loading.HasCode(TCode::kLoadingData));
}

// The stages and messages of these layers read in the window as they always have.
TEST(RecordStatus, CodesRenderTheWindowsRussianTexts) {
  struct Case {
    TStatus Status;
    const char* Russian;
  };
  const std::vector<Case> cases = {
      {MakeStatus(TCode::kLoadingData, {"ST1"}), "ST1: Загрузка данных"},
      {MakeStatus(TCode::kRemovingOffset, {"ST1"}), "ST1: Удаление постоянного фона"},
      {MakeStatus(TCode::kAddingFolder), "Добавление файлов из папки"},
      {MakeStatus(TCode::kListingRecords), "Составление списка последовательных записей"},
      {MakeStatus(TCode::kRecordsListed), "Список последовательных записей составлен"},
      {MakeStatus(TCode::kListingRecordFiles), "Формирование списка файлов записи"},
      {MakeStatus(TCode::kSavingFile, {"a.rec"}), "Сохранение a.rec"},
      {MakeStatus(TCode::kCannotCreateFolderRights, {"/x"}),
       "Не удалось создать папку /x. Возможно нет прав доступа."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(c.Status, TLanguage::kRussian), c.Russian) << CodeName(c.Status.Code);
  }
}

}  // namespace
}  // namespace tarvik
