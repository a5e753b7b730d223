// The texts of the spectra, H/V and viewer statuses: in Russian each renders exactly what the
// window has always shown for it, and each has an English text of its own.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/status.h"

namespace tarvik {
namespace {

TStatus S(TCode code, std::vector<TArg> args = {}) {
  return MakeStatus(code, std::move(args));
}

TEST(SpectralMessages, RussianTextsAreTheOnesTheWindowShowed) {
  const std::string p = "/data/ST1_230102-030405_windows.csv";
  struct TCase {
    TStatus Status;
    std::string Russian;
  };
  const TCase cases[] = {
      {S(TCode::kHvFileEmpty), "файл пуст"},
      {S(TCode::kHvWindowsHeader), "заголовок не начинается с window,first_sample,start_s,fate,f0"},
      {S(TCode::kHvGridNotPositive, {"x"}), "частота \"x\" не положительное число"},
      {S(TCode::kHvGridNotIncreasing, {"2"}), "частоты не возрастают (\"2\")"},
      {S(TCode::kHvWindowNumber, {"0"}), "номер окна \"0\" не целое положительное число"},
      {S(TCode::kHvFirstSample, {"-5"}), "первый отсчет \"-5\" не целое неотрицательное число"},
      {S(TCode::kHvWindowStart, {"a"}), "начало окна \"a\" не неотрицательное число"},
      {S(TCode::kHvWindowFate, {"lost"}),
       "судьба окна \"lost\" не kept, rejected, no_peak или unusable"},
      {S(TCode::kHvWindowF0, {"0"}), "f0 \"0\" не положительное число"},
      {S(TCode::kFileDamaged,
         {p, S(TCode::kAtLine, {"3", S(TCode::kHvFieldNotNumber, {"7", "1.2.3"})})}),
       "Файл " + p + " поврежден: строка 3: поле 7 \"1.2.3\" не число"},
      {S(TCode::kJsonTooDeep, {"32"}), "вложенность глубже 32 уровней"},
      {S(TCode::kAtLine, {"4", S(TCode::kNotJson)}), "строка 4: не JSON"},
      {S(TCode::kJsonNotObject, {S(TCode::kJsonDocument)}), "документ: не объект"},
      {S(TCode::kJsonMissingKey, {"windows.total"}), "windows.total: нет ключа"},
      {S(TCode::kJsonNotNumber, {"window_seconds"}), "window_seconds: не число"},
      {S(TCode::kJsonNotCount, {"windows.kept"}), "windows.kept: не целое неотрицательное число"},
      {S(TCode::kJsonNotBool, {"ok"}), "ok: не true/false"},
      {S(TCode::kJsonNotString, {"verdict"}), "verdict: не строка"},
      {S(TCode::kJsonNotObjectOrNull, {"f0_from_average"}), "f0_from_average: не объект и не null"},
      {S(TCode::kHvCriteriaList, {"sesame.clear.criteria", "6"}),
       "sesame.clear.criteria: не список из 6 критериев"},
      {S(TCode::kHvValueNotNull, {"sesame.clear.criteria[1]"}),
       "sesame.clear.criteria[1].value: не null у непроверенного критерия"},
      {S(TCode::kHvPassedCount, {"sesame.reliable", "3", "2"}),
       "sesame.reliable.passed: 3, а выполнено критериев 2"},
      {S(TCode::kHvWindowTotals), "windows: kept + rejected + no_peak + unusable не равно total"},
      {S(TCode::kHvF0Spread, {"f0_from_windows"}),
       "f0_from_windows: median не положительна или sigma_f отрицательна"},
      {S(TCode::kFileTooLargeBytes), "файл слишком велик"},
      {S(TCode::kHvSeriesNoList), "нет списка интервалов или азимутов"},
      {S(TCode::kHvSeriesNoMap, {"map"}), "нет ключа map"},
      {S(TCode::kHvSeriesItemNotObject, {"azimuths"}), "azimuths: элемент не объект"},
      {S(TCode::kIntervalWithoutKey, {"start"}), "intervals: у интервала нет start"},
      {S(TCode::kHvSeriesNoPlace, {"intervals"}), "intervals: у элемента нет времени или азимута"},
      {S(TCode::kHvSeriesNoFrequencies, {"map"}), "map: нет частот"},
      {S(TCode::kHvSeriesBadFrequencies, {"map"}),
       "map: частоты не положительны или не возрастают"},
      {S(TCode::kHvSeriesCurveCount, {"map"}), "map: кривых не столько, сколько элементов"},
      {S(TCode::kHvSeriesCurveLength, {"map"}), "map: длина кривой не равна числу частот"},
      {S(TCode::kHvSeriesNotNumber, {"map"}), "map: в кривой не число"},
      {S(TCode::kFileTooLargeNoLimit, {p, "300"}), "Файл " + p + " слишком велик (300 байт)"},
      {S(TCode::kFileSays, {p, S(TCode::kNotJson)}), "Файл " + p + ": не JSON"},
      {S(TCode::kFileOfAnotherRun, {p, S(TCode::kHvOtherGrid, {"40", "50"})}),
       "Файл " + p + " не от того же расчета: 40 частот, в файле .hv 50 других"},
      {S(TCode::kHvOtherWindowCount, {"17", "16"}), "окон 17, в файле окон 16"},
      {S(TCode::kHvsrLeftOut, {S(TCode::kFileNotFound, {p}), S(TCode::kWindowCurvesNotShown)}),
       "Файл " + p + " не найден.\r\nКривые окон не показаны."},
      {S(TCode::kHvsrLeftOutTwo, {S(TCode::kFileNotFound, {"a"}), S(TCode::kFileNotFound, {"b"}),
                                  S(TCode::kOnlyHvShown, {"c.hv"})}),
       "Файл a не найден.\r\nФайл b не найден.\r\nПоказано только то, что есть в файле c.hv: "
       "средняя кривая, ±σ и f0."},
      {S(TCode::kJoinedComma,
         {S(TCode::kChannelLevel, {"1 (EHZ)", "0"}), S(TCode::kChannelLevel, {"2 (EHN)", "-1"})}),
       "канал 1 (EHZ) = 0, канал 2 (EHN) = -1"},
      {S(TCode::kAtStation, {"ST1", S(TCode::kSegmentTooShort)}),
       "ST1: Сегмент данных короче двух отсчетов: увеличьте длительность тишины"},
      {S(TCode::kNotEnoughDataBecause,
         {"ST1", S(TCode::kJoinedSemicolon, {S(TCode::kInSelectedInterval, {"10", "16"}),
                                             S(TCode::kGapsInData, {"2", "300"})})}),
       "ST1: недостаточно данных для расчета: в выбранном интервале отсчетов: 10, в сегменте: 16; "
       "пропуски в данных: 2 (300 с)"},
      {S(TCode::kResultFieldNotNumber, {"5", "2", "x"}), "строка 5, поле 2 \"x\" не число"},
      {S(TCode::kNotANumberField, {"5", "2", "x"}), "строка 5, поле 2: \"x\" не число"},
      {S(TCode::kAtLine, {"6", S(TCode::kMoreFieldsThanFirstRow, {"7", "2"})}),
       "строка 6: полей больше 7 (столько в строке 2)"},
      {S(TCode::kNeedFrequencyAndPairs, {"4"}), "4 полей: нужны частота и пары значение/разброс"},
      {S(TCode::kTooManyPairs, {"64"}), "больше 64 пар столбцов"},
      {S(TCode::kFrequencyNotANumber), "частота не число"},
      {S(TCode::kFrequencyDecreases), "частота меньше предыдущей"},
      {S(TCode::kNoDataRows), "нет строк данных"},
      {S(TCode::kHeaderColumnCount, {"5", "7"}), "в заголовке 5 столбцов, в строках 7"},
      {S(TCode::kFileDamaged, {"f.dat", S(TCode::kPairsInsteadOfThree, {"2"})}),
       "Файл f.dat поврежден: в нем 2 пар столбцов вместо трех"},
      {S(TCode::kNoThreeComponents, {"f.dat"}), "В файле f.dat нет трех компонент E, N, Z"},
      {S(TCode::kColumnsDifferLeftOut, {"a.dat\r\nb.dat"}),
       "Число столбцов отличается от первого файла, файлы не учтены:\r\na.dat\r\nb.dat"},
      {S(TCode::kNotABand, {"0.5 to 10"}),
       "\"0.5 to 10\" не частотный диапазон: нужны два числа через дефис, например 0.5-10"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Text(c.Status, TLanguage::kRussian), c.Russian) << CodeName(c.Status.Code);
    const std::string english = Text(c.Status, TLanguage::kEnglish);
    EXPECT_FALSE(english.empty()) << CodeName(c.Status.Code);
  }
}

TEST(SpectralMessages, EveryNewCodeSpeaksBothLanguages) {
  const TCode codes[] = {
      TCode::kHvFileEmpty,
      TCode::kHvWindowsHeader,
      TCode::kHvGridNotPositive,
      TCode::kHvGridNotIncreasing,
      TCode::kHvWindowNumber,
      TCode::kHvFirstSample,
      TCode::kHvWindowStart,
      TCode::kHvWindowFate,
      TCode::kHvWindowF0,
      TCode::kHvFieldNotNumber,
      TCode::kJsonTooDeep,
      TCode::kNotJson,
      TCode::kJsonDocument,
      TCode::kJsonNotObject,
      TCode::kJsonMissingKey,
      TCode::kJsonNotNumber,
      TCode::kJsonNotCount,
      TCode::kJsonNotBool,
      TCode::kJsonNotString,
      TCode::kJsonNotObjectOrNull,
      TCode::kHvCriteriaList,
      TCode::kHvValueNotNull,
      TCode::kHvPassedCount,
      TCode::kHvWindowTotals,
      TCode::kHvF0Spread,
      TCode::kFileTooLargeBytes,
      TCode::kHvSeriesNoList,
      TCode::kHvSeriesNoMap,
      TCode::kHvSeriesItemNotObject,
      TCode::kHvSeriesNoPlace,
      TCode::kHvSeriesNoFrequencies,
      TCode::kHvSeriesBadFrequencies,
      TCode::kHvSeriesCurveCount,
      TCode::kHvSeriesCurveLength,
      TCode::kHvSeriesNotNumber,
      TCode::kFileTooLargeNoLimit,
      TCode::kFileSays,
      TCode::kHvOtherGrid,
      TCode::kHvOtherWindowCount,
      TCode::kWindowCurvesNotShown,
      TCode::kOnlyHvShown,
      TCode::kHvsrLeftOut,
      TCode::kHvsrLeftOutTwo,
      TCode::kJoinedComma,
      TCode::kJoinedSemicolon,
      TCode::kAtStation,
      TCode::kResultFieldNotNumber,
      TCode::kPsdRun,
      TCode::kPsdLoading,
      TCode::kPsdSegments,
      TCode::kMoreFieldsThanFirstRow,
      TCode::kNeedFrequencyAndPairs,
      TCode::kTooManyPairs,
      TCode::kFrequencyNotANumber,
      TCode::kFrequencyDecreases,
      TCode::kNoDataRows,
      TCode::kHeaderColumnCount,
      TCode::kPairsInsteadOfThree,
      TCode::kNoThreeComponents,
      TCode::kColumnsDifferLeftOut,
  };
  for (TCode code : codes) {
    EXPECT_FALSE(CatalogueText(code, TLanguage::kRussian).empty()) << CodeName(code);
    EXPECT_FALSE(CatalogueText(code, TLanguage::kEnglish).empty()) << CodeName(code);
    EXPECT_FALSE(CodeName(code).empty());
  }
  // The progress of a noise-statistics run: Russian in the window, English on the command line.
  const TStatus segments = MakeStatus(TCode::kPsdSegments, {"ST1", "45"});
  EXPECT_EQ(Text(segments, TLanguage::kEnglish), "ST1: 45 segments");
  EXPECT_EQ(Text(segments, TLanguage::kRussian), "ST1: сегментов 45");
  EXPECT_EQ(Text(MakeStatus(TCode::kPsdLoading, {"ST1"}), TLanguage::kEnglish), "ST1: loading");
}

}  // namespace
}  // namespace tarvik
