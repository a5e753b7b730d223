// The status codes and their two catalogues: the Russian texts the window has always shown, the
// English ones the command line speaks elsewhere, and the reading of the core's Russian texts
// back into codes.

#include "common/status.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/messages.h"
#include "recording_ui_host.h"

namespace tarvik {
namespace {

constexpr int kCodeCount = static_cast<int>(TCode::kCount);

std::set<std::string> Placeholders(std::string_view text) {
  std::set<std::string> found;
  const std::string s(text);
  const std::regex placeholder(R"(\{[0-9]+\})");
  for (auto it = std::sregex_iterator(s.begin(), s.end(), placeholder);
       it != std::sregex_iterator(); ++it)
    found.insert(it->str());
  return found;
}

bool HasCyrillic(std::string_view text) {
  // Cyrillic letters are U+0400..U+04FF: lead bytes 0xD0..0xD3 in UTF-8.
  for (unsigned char c : text)
    if (c >= 0xD0 && c <= 0xD3) return true;
  return false;
}

// The window's texts, as users have always read them.
TEST(Status, RussianCatalogueHoldsTheWindowsTexts) {
  struct Case {
    TCode Code;
    std::vector<std::string> Args;
    const char* Expected;
  };
  const Case cases[] = {
      {TCode::kLoadingProject, {}, "Загрузка проекта"},
      {TCode::kLoadingRecordList, {}, "Загрузка списка записей"},
      {TCode::kLoadingRecordParameters, {}, "Загрузка параметров записей"},
      {TCode::kMakingSpectrumLists, {}, "Составление списков спектров"},
      {TCode::kLoadingRunParameters, {}, "Загрузка параметров расчета"},
      {TCode::kProjectLoaded, {}, "Проект успешно загружен"},
      {TCode::kSavingProject, {}, "Сохранение проекта"},
      {TCode::kSavingRecordList, {}, "Сохранение списка записей"},
      {TCode::kSavingRecordParameters, {}, "Сохранение параметров записей"},
      {TCode::kSavingRunParameters, {}, "Сохранение параметров расчета"},
      {TCode::kProjectSaved, {}, "Проект успешно сохранен"},
      {TCode::kListingRecordFiles, {}, "Формирование списка файлов записи"},
      {TCode::kLoadingData, {"STN"}, "STN: Загрузка данных"},
      {TCode::kRemovingOffset, {"STN"}, "STN: Удаление постоянного фона"},
      {TCode::kFindingDisturbances, {"STN"}, "STN: Выделение интервалов помех"},
      {TCode::kCalculatingSpectra, {"STN"}, "STN: Расчет спектров"},
      {TCode::kApplyingResponses, {"STN"}, "STN: Учет АЧХ"},
      {TCode::kSpectraCalculated, {}, "Спектры рассчитаны"},
      {TCode::kSpectraCancelled, {}, "Расчет спектров отменен"},
      {TCode::kSavingSpectrum, {}, "Сохранение спектра"},
      {TCode::kSavingRelativeSpectrum, {}, "Сохранение относительного спектра"},
      {TCode::kLoadingSpectrum, {}, "Загрузка спектра"},
      {TCode::kLoadingRelativeSpectrum, {}, "Загрузка относительного спектра"},
      {TCode::kLoadingThreeComponentSpectrum, {}, "Загрузка трехкомпонентного спектра"},
      {TCode::kPrimaryRun, {}, "Расчет спектров исходных записей"},
      {TCode::kPrimaryRunDone, {}, "Расчет спектров завершен"},
      {TCode::kHVRun, {}, "Расчет спектров Накамуры по исходным записям"},
      {TCode::kHVRunDone, {}, "Расчет спектров Накамуры завершен"},
      {TCode::kHVRunCancelled, {}, "Расчет спектров Накамуры отменен"},
      {TCode::kHVSpectrum, {"prim.dat"}, "Расчет спектра Накамуры prim.dat"},
      {TCode::kCompressingRecords, {}, "Сжатие записей"},
      {TCode::kSavingFile, {"a.msd"}, "Сохранение a.msd"},
      {TCode::kAddingFolder, {}, "Добавление файлов из папки"},
      {TCode::kListingRecords, {}, "Составление списка последовательных записей"},
      {TCode::kRecordsListed, {}, "Список последовательных записей составлен"},
      {TCode::kMakingChart, {}, "Формирование графика"},
      {TCode::kAddingSpectrumToChart, {}, "Добавление спектра в график"},
      {TCode::kAddingSpectraToSet, {}, "Добавление спектров в набор данных"},
      {TCode::kAligningFrequencies, {}, "Выравнивание частотных шкал"},
      {TCode::kCalculatingSpectrum, {}, "Расчет спектра"},
      {TCode::kFileNotFound, {"p.tvp"}, "Файл p.tvp не найден"},
      {TCode::kUnknownVersion, {"p.tvp"}, "Неизвестная версия файла p.tvp"},
      {TCode::kCannotCreateFolderRights,
       {"out"},
       "Не удалось создать папку out. Возможно нет прав доступа."},
      {TCode::kQuietIntervalQuestion,
       {"STN", "a.msd"},
       "Возможно, не выбран тихий интервал на записи STN (a.msd). Продолжить?"},
      {TCode::kResponsesNotSet, {"STN"}, "Не заданы файлы с ЧХ для записи STN"},
      {TCode::kNotEnoughData, {"STN"}, "STN: недостаточно данных для расчета"},
      {TCode::kAdcNotPositive, {}, "Коэффициент АЦП должен быть больше нуля"},
      {TCode::kNoRecordSelected, {}, "Не выделена ни одна запись"},
      {TCode::kNoRecordsOrChannel, {}, "Не выделены записи или канал"},
      {TCode::kNothingToShow, {}, "Нечего показывать!"},
      {TCode::kLevelOutOfRange, {}, "Допустимый уровень должен быть от 1 до 2147483647"},
      {TCode::kComponentNotEnz, {}, "Компонента должна быть E, N или Z"},
      {TCode::kNoChannelChosen, {}, "Не выбран канал!"},
      {TCode::kLinesCopied, {"3"}, "В буфер обмена помещено строк: 3"},
      {TCode::kChannelFilesApart,
       {"2", "B"},
       "Запись 2 (B) не объединяется по каналам: файлы каналов одной записи должны лежать в "
       "одной папке (или в папках каналов архива SDS) и читаться по сегментам"},
      {TCode::kChannelsNotJoinable,
       {"2", "B"},
       "Запись 2 (B) не объединяется по каналам: объединяются одновременные записи одной "
       "станции с одной частотой дискретизации и разными каналами"},
      {TCode::kNoStationForChannel,
       {"HHZ", "4"},
       "Нет свободного названия пункта для канала HHZ записи 4"},
      {TCode::kNoStationForCopy,
       {"4", "ST"},
       "Нет свободного названия пункта для копии записи 4 (ST)"},
      {TCode::kTakesChannelsOf,
       {"записи 1 (A)", "3"},
       "берется столько каналов, сколько их у записи 1 (A) (3)"},
      {TCode::kFilterCorners, {"FMin", "50", "FMax", "1"}, "FMin = 50 Гц, FMax = 1 Гц"},
      {TCode::kFilterCornersNyquist,
       {"FMin", "49.6", "FMax", "200", "50"},
       "FMin = 49.6 Гц, FMax = 200 Гц, частота Найквиста записи 50 Гц"},
      {TCode::kGuideNotFound, {"/g.pdf"}, "Руководство пользователя не найдено: /g.pdf"},
      {TCode::kNoPdfViewer,
       {"/g.pdf"},
       "Не найдена программа для просмотра PDF-файлов.\nРуководство пользователя: /g.pdf"},
      {TCode::kNoSensorFiles, {}, "Ни для одного канала записи не задан файл с ЧХ датчика."},
      {TCode::kNoAmplifierFiles, {}, "Ни для одного канала записи не задан файл с ЧХ усилителя."},
      {TCode::kNoChannelFiles, {}, "Ни для одного канала записи не задан файл с ЧХ канала."},
      {TCode::kNoResponseFiles, {}, "Ни для одного канала записи не заданы файлы с ЧХ."},
      {TCode::kNoResultFile,
       {"/r/prim_A.dat", "Обычные спектры"},
       "Файл результата не найден:\n/r/prim_A.dat\n\nВыполните расчет: кнопка «Р а с ч е т» на "
       "вкладке «Обычные спектры»."},
      {TCode::kPrimaryTab, {}, "Обычные спектры"},
      {TCode::kHVTab, {}, "Спектры H/V"},
      {TCode::kFileDoesNotExist, {}, "Файл не существует"},
      {TCode::kLoadingSpectra, {}, "Загрузка спектров"},
      {TCode::kSpectraLoaded, {}, "Спектры загружены"},
      {TCode::kChangedOnDisk,
       {"/p/a.tvp"},
       "Файл проекта /p/a.tvp изменен другой программой после того, как был открыт или сохранен "
       "здесь. Перезаписать его проектом из окна или открыть заново (изменения в окне будут "
       "потеряны)?"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(MakeStatus(c.Code, {c.Args.begin(), c.Args.end()}), TLanguage::kRussian),
              c.Expected)
        << CodeName(c.Code);
  }
}

// Every code has a text in both languages (but kOk), with the same arguments; no English text
// holds a Cyrillic letter.
TEST(Status, BothCataloguesHoldEveryCodeOnceWithTheSameArguments) {
  for (const auto* catalogue : {&RussianCatalogue(), &EnglishCatalogue()}) {
    std::vector<int> seen(kCodeCount, 0);
    for (const TCatalogueEntry& e : *catalogue) ++seen[static_cast<size_t>(e.Code)];
    for (int k = 0; k < kCodeCount; ++k) EXPECT_EQ(seen[static_cast<size_t>(k)], 1) << k;
  }
  for (int k = 1; k < kCodeCount; ++k) {
    const TCode code = static_cast<TCode>(k);
    const std::string_view ru = CatalogueText(code, TLanguage::kRussian);
    const std::string_view en = CatalogueText(code, TLanguage::kEnglish);
    EXPECT_FALSE(ru.empty()) << CodeName(code);
    EXPECT_FALSE(en.empty()) << CodeName(code);
    EXPECT_EQ(Placeholders(ru), Placeholders(en)) << CodeName(code);
    EXPECT_FALSE(HasCyrillic(en)) << en;
    EXPECT_FALSE(CodeName(code).empty());
  }
}

// What the core hands over, told in each language: nested reasons, lists, several lines; the
// data a status carries (names, paths, numbers) is the same in both.
TEST(Status, NestedStatusesAreToldWholeInEachLanguage) {
  const auto s = [](TCode code, std::vector<TArg> args = {}) {
    return MakeStatus(code, std::move(args));
  };
  const struct {
    TStatus Status;
    const char* Russian;
    const char* English;
  } cases[] = {
      {s(TCode::kLoadingData, {"TVK01"}), "TVK01: Загрузка данных", "TVK01: loading data"},
      {s(TCode::kFileDamaged,
         {"p.tvp", s(TCode::kAtLine, {"38", s(TCode::kCutInsideSectionLine, {"FILES"})})}),
       "Файл p.tvp поврежден: строка 38: файл обрывается внутри строки раздела [FILES]",
       "File p.tvp is damaged: line 38: the file ends inside a line of section [FILES]"},
      {s(TCode::kNotEnoughDataBecause,
         {"S1", s(TCode::kLevelNotSet,
                  {s(TCode::kJoinedComma, {s(TCode::kChannelLevel, {"1 (HHE)", "-1"}),
                                           s(TCode::kChannelLevel, {"2 (HHN)", "0"})})})}),
       "S1: недостаточно данных для расчета: не задан допустимый уровень: канал 1 (HHE) = -1, "
       "канал 2 (HHN) = 0",
       "S1: not enough data for the calculation: no allowed level set: channel 1 (HHE) = -1, "
       "channel 2 (HHN) = 0"},
      {s(TCode::kSameResultFileQuestion,
         {s(TCode::kSameResultFile, {"1 (A), 2 (A)", "a.dat"}), s(TCode::kLastResultStays)}),
       "Записи 1 (A), 2 (A) пишут результат в один файл a.dat\nОстанется результат последней из "
       "них. Продолжить?",
       "Records 1 (A), 2 (A) write their result to one file a.dat\nThe result of the last of "
       "them will remain. Continue?"},
      {s(TCode::kNotInCp1251, {s(TCode::kWordStation), "Zürich", "ü"}),
       "Название пункта «Zürich» содержит символ «ü», которого нет в кодировке файла "
       "проекта (Windows-1251)",
       "Station name \"Zürich\" holds the character \"ü\", which the project file's "
       "encoding (Windows-1251) lacks"},
      {s(TCode::kResponsesNotSet,
         {s(TCode::kNoiseRecordName, {"TVK01", "E,N,Z", "14.05.2024 (0:02:00)"})}),
       "Не заданы файлы с ЧХ для записи TVK01 Ш [E,N,Z] 14.05.2024 (0:02:00)",
       "No response files set for record TVK01 noise [E,N,Z] 14.05.2024 (0:02:00)"},
      {s(TCode::kNothingCheckedHow,
         {s(TCode::kNoRecordCheckedForSpectra), s(TCode::kCheckRecordsForSpectra)}),
       "Не отмечена ни одна запись для расчета спектров. Отметьте записи флажками в списке "
       "«Обычные спектры»",
       "No record is checked for spectrum calculation. Check the records in the \"Spectra\" "
       "list"},
      // Data stays as it is, whatever its language.
      {s(TCode::kAtStation, {"Москва", s(TCode::kFileNotFound, {"x.paz"})}),
       "Москва: Файл x.paz не найден", "Москва: File x.paz not found"},
      {s(TCode::kReasonText, {"run: not run"}), "run: not run", "run: not run"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.Status, TLanguage::kRussian), c.Russian);
    EXPECT_EQ(Text(c.Status, TLanguage::kEnglish), c.English);
  }
}

TEST(Status, LanguageComesFromTheLocaleOrTheOption) {
  const struct {
    const char* LcAll;
    const char* LcMessages;
    const char* Lang;
    TLanguage Expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, TLanguage::kEnglish},
      {nullptr, nullptr, "C", TLanguage::kEnglish},
      {nullptr, nullptr, "ru_RU.UTF-8", TLanguage::kRussian},
      {"", "", "ru_RU.UTF-8", TLanguage::kRussian},
      {nullptr, "en_US.UTF-8", "ru_RU.UTF-8", TLanguage::kEnglish},
      {"ru_RU.UTF-8", "en_US.UTF-8", "C", TLanguage::kRussian},
      {"C", nullptr, "ru_RU.UTF-8", TLanguage::kEnglish},
      {nullptr, nullptr, "rus", TLanguage::kRussian},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LanguageFromLocale(c.LcAll, c.LcMessages, c.Lang), c.Expected)
        << (c.Lang ? c.Lang : "");
  EXPECT_EQ(ParseLanguage("ru"), TLanguage::kRussian);
  EXPECT_EQ(ParseLanguage("en"), TLanguage::kEnglish);
  EXPECT_FALSE(ParseLanguage("de").has_value());
  EXPECT_FALSE(ParseLanguage("").has_value());
}

// A reason nested in a status is told in the language of the status that holds it, and a host
// tells a status in its own language after noting its code.
TEST(Status, NestedReasonAndHostLanguage) {
  const TStatus reason = MakeStatus(TCode::kFileNotFound, {"/x/a.msd"});
  const TStatus status = MakeStatus(TCode::kRecordUnreadable, {"STN11", reason});
  const std::string ru = Text(status, TLanguage::kRussian);
  const std::string en = Text(status, TLanguage::kEnglish);
  EXPECT_NE(ru.find(Text(reason, TLanguage::kRussian)), std::string::npos) << ru;
  EXPECT_NE(en.find(Text(reason, TLanguage::kEnglish)), std::string::npos) << en;
  EXPECT_NE(ru, en);

  testing::RecordingUiHost host;
  host.ShowMessage(status);
  ASSERT_EQ(host.Statuses.size(), 1u);
  EXPECT_TRUE(host.HasCode(TCode::kRecordUnreadable));
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_EQ(host.Messages[0], ru);
}

}  // namespace
}  // namespace tarvik
