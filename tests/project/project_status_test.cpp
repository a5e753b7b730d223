// The statuses of the project layer: the codes of the loader, the runs and their questions tell
// the Russian texts the window has always shown, word for word, and a failure of a layer below
// reaches them as its code.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/status.h"
#include "project/bin_ini_file.h"
#include "project/settings_keys.h"
#include "test_files.h"

namespace tarvik {
namespace {

TStatus Of(TCode code, std::vector<TArg> args = {}) {
  return MakeStatus(code, std::move(args));
}

TEST(ProjectStatus, CodesTellTheWindowsTexts) {
  const struct {
    TStatus Status;
    const char* Russian;
  } cases[] = {
      {Of(TCode::kCutInsideSectionNoKey, {"HVSR", "BandFMax"}),
       "файл обрывается внутри раздела [HVSR]: нет ключа BandFMax"},
      {Of(TCode::kRecordValuesMissing, {"4", "4"}),
       "FileNum=4, но в разделе [FILES] нет значений записи 4"},
      {Of(TCode::kRecordSectionMissing, {"ChannelCount02", "3", "REC02"}),
       "ChannelCount02=3, но раздела [REC02] нет"},
      {Of(TCode::kSectionBeyondRecords, {"REC02", "2", "FileNum=1"}),
       "раздел [REC02] относится к записи 2, а записей FileNum=1"},
      {Of(TCode::kFileDamaged,
          {"/p.tvp", Of(TCode::kAtLine, {"7", Of(TCode::kCutInsideSectionLine, {"FILES"})})}),
       "Файл /p.tvp поврежден: строка 7: файл обрывается внутри строки раздела [FILES]"},
      {Of(TCode::kRecordsNotComputed, {"2", "3"}), "Не рассчитано записей: 2 из 3"},
      {Of(TCode::kSummaryRecord, {"1", "TVK01", "note"}), "Запись 1 (TVK01): note"},
      {Of(TCode::kRemarks), "Замечания:"},
      {Of(TCode::kNothingCheckedHow,
          {Of(TCode::kNoRecordCheckedForHV), Of(TCode::kCheckRecordsForHV)}),
       "Не отмечена ни одна запись для расчета спектров H/V. Отметьте записи флажками в списке "
       "«Спектры H/V»"},
      {Of(TCode::kNothingCheckedFrom,
          {Of(TCode::kNoRecordCheckedForSpectra), "2", Of(TCode::kCheckRecordsForSpectra)}),
       "Не отмечена ни одна запись для расчета спектров начиная с записи 2. Отметьте записи "
       "флажками в списке «Обычные спектры»"},
      {Of(TCode::kResponsesNotSetHint,
          {"ST Ш [Z] 03.06.2016 19:55:00 (1:00:00)",
           Of(TCode::kLines, {Of(TCode::kChannelNeedsSensor, {"1", "HHZ"}),
                              Of(TCode::kChannelNeedsBoth, {"2", "HHN"})})}),
       "Не заданы файлы с ЧХ для записи ST Ш [Z] 03.06.2016 19:55:00 (1:00:00)\nКанал 1 (HHZ): "
       "не задан файл ЧХ датчика; задайте его или файл ЧХ всего канала\nКанал 2 (HHN): не заданы "
       "файлы ЧХ датчика и усилителя; задайте их или файл ЧХ всего канала"},
      {Of(TCode::kAmplitudeSpectrumFileMissing,
          {"ST", "/r/ST.prim", Of(TCode::kHVNeedsAmplitudeSpectra)}),
       "Не рассчитан амплитудный спектр записи ST\nФайл /r/ST.prim не найден\nH/V считается по "
       "амплитудным спектрам: рассчитайте спектры этой записи на вкладке «Обычные спектры» с "
       "типом спектра «Амплитудный»"},
      {Of(TCode::kSameResultFileQuestion,
          {Of(TCode::kLines, {Of(TCode::kSameResultFile, {"1 (A), 2 (A)", "/r/a"}),
                              Of(TCode::kSameResultFile, {"3 (B), 4 (B)", "/r/b"})}),
           Of(TCode::kLastResultStays)}),
       "Записи 1 (A), 2 (A) пишут результат в один файл /r/a\nЗаписи 3 (B), 4 (B) пишут "
       "результат в один файл /r/b\nОстанется результат последней из них. Продолжить?"},
      {Of(TCode::kStationReason, {"TVK01", Of(TCode::kReasonText, {"any text"})}),
       "TVK01: any text"},
      // Texts the window once showed in English.
      {Of(TCode::kCannotReplaceProject, {"/p.tvp", "No space"}),
       "не удается заменить /p.tvp: No space"},
      {Of(TCode::kSkippedSpectraFailed),
       "пропущена: ее спектры в этом расчете не получены, а файл амплитудного спектра прежнего "
       "расчета не используется"},
      {Of(TCode::kIntervalShorterThanWindow, {"ST", "10", "20.48"}),
       "ST: интервал 10 с короче окна (20.48 с); задайте более длинный"},
      {Of(TCode::kNoF0EarlierFilesKept, {"ST", "why"}),
       "ST: why; ее прежние файлы оставлены без изменений"},
      {Of(TCode::kNoF0NothingWritten, {"ST", "why"}), "ST: why; ничего не записано"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Russian);
    EXPECT_EQ(Text(c.Status, TLanguage::kRussian), c.Russian);
    EXPECT_FALSE(Text(c.Status, TLanguage::kEnglish).empty());
  }
}

// A pattern that only joins its arguments adds no word of its own in either language: what it
// joins is told as it is.
TEST(ProjectStatus, JoiningPatternsAddNoWords) {
  const TStatus rate = Of(TCode::kRateNotSet);
  const struct {
    TStatus Status;
    const char* Russian;
    const char* English;
  } cases[] = {
      {Of(TCode::kReasonText, {"something else"}), "something else", "something else"},
      {Of(TCode::kLines, {rate, "more"}), "Не задана частота оцифровки\nmore",
       "No sampling rate set\nmore"},
      {Of(TCode::kLines, {"one", "two"}), "one\ntwo", "one\ntwo"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.Status, TLanguage::kRussian), c.Russian);
    EXPECT_EQ(Text(c.Status, TLanguage::kEnglish), c.English);
  }
  EXPECT_EQ(Text(TStatus{}, TLanguage::kEnglish), "");
}

// Reasons that came up as text now come as codes: a segment length without a rate, a project
// file that cannot be created (the system's reason is an argument).
TEST(ProjectStatus, FailuresBelowComeAsCodes) {
  TSpectrumSettings settings;
  EXPECT_EQ(WindowLengthUsed(settings, 0.0).Error.Code, TCode::kRateNotSet);
  EXPECT_EQ(Text(WindowLengthUsed(settings, 0.0).Error, TLanguage::kRussian),
            "Не задана частота оцифровки");

  testing::TempDir dir;
  for (const bool binary : {false, true}) {
    const std::string path = dir.File("missing/p.tvp");
    TBinIniFile ini(path, binary, TBinIniFile::Mode::kWrite);
    ini.UpdateFile();
    ini.Close();
    SCOPED_TRACE(binary);
    EXPECT_EQ(ini.Failure().Code, TCode::kCannotCreateFile);
    ASSERT_EQ(ini.Failure().Args.size(), 2u);
    EXPECT_EQ(ini.Failure().Args[0].Text, path);
    EXPECT_FALSE(ini.Failure().Args[1].Text.empty());
    EXPECT_EQ(ini.Failure().File, path);
    // The text form stays as it always read.
    EXPECT_EQ(ini.Error().rfind("cannot create " + path + ": ", 0), 0u) << ini.Error();
  }
}

}  // namespace
}  // namespace tarvik
