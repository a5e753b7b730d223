#include "spectral/hvsr_files.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "hvsr_windows.h"
#include "spectral/hvsr_series.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

// A windows file and a report as an analysis of designed windows writes them.
struct TWritten {
  std::string Windows, Report;
};

TWritten WrittenFiles(const TempDir& dir) {
  std::vector<double> peaks;
  for (int w = 0; w < 8; ++w) peaks.push_back(2.0 + 0.01 * w);
  peaks.push_back(0.0);
  const THvsrResult result = AnalyseWindows(testing::PeakedWindows(peaks, 30.0), THvsrSettings{});
  THvsrPaths paths;
  paths.Hv = dir.File("ST1_230102-030405.hv");
  paths.Windows = HvWindowsPath(paths.Hv);
  paths.Report = HvReportPath(paths.Hv);
  std::string message;
  EXPECT_TRUE(WriteHvsrFiles(paths, result, testing::HvsrTestRecord(), message)) << message;
  return {paths.Windows, paths.Report};
}

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> b = testing::ReadBytes(path);
  return {b.begin(), b.end()};
}

// The first n lines of text, the last of them cut in the middle.
std::string CutInLine(const std::string& text, int n) {
  size_t end = 0;
  for (int k = 1; k < n; ++k) end = text.find('\n', end) + 1;
  const size_t line_end = text.find('\n', end);
  return text.substr(0, end + (line_end - end) / 2);
}

// text with the field `field` (0-based) of line `line` (1-based) replaced.
std::string WithField(const std::string& text, int line, size_t field, const std::string& value) {
  size_t start = 0;
  for (int k = 1; k < line; ++k) start = text.find('\n', start) + 1;
  for (size_t f = 0; f < field; ++f) start = text.find(',', start) + 1;
  size_t end = text.find_first_of(",\r\n", start);
  return text.substr(0, start) + value + text.substr(end);
}

TEST(HvsrFiles, DamagedWindowsFileGivesCodeFileAndLine) {
  TempDir dir;
  const TWritten written = WrittenFiles(dir);
  const std::string good = ReadText(written.Windows);
  THvWindowsFile parsed;
  ASSERT_TRUE(ReadHvWindowsFile(written.Windows, parsed).Ok());
  ASSERT_EQ(parsed.Windows.size(), 9u);
  struct TCase {
    const char* Name;
    std::string Text;
    TCode Reason;
    int64_t Line;
    const char* Russian;  // the whole message the window shows, after the path
  };
  const TCase cases[] = {
      {"cut line", CutInLine(good, 4), TCode::kFieldCount, 4, " поврежден: строка 4: "},
      {"bad number", WithField(good, 3, 6, "1.2.3"), TCode::kHvFieldNotNumber, 3,
       " поврежден: строка 3: поле 7 \"1.2.3\" не число"},
      {"bad fate", WithField(good, 2, 3, "lost"), TCode::kHvWindowFate, 2,
       " поврежден: строка 2: судьба окна \"lost\" не kept, rejected, no_peak или unusable"},
      {"missing column", WithField(good, 1, 2, "start"), TCode::kHvWindowsHeader, 1,
       " поврежден: строка 1: заголовок не начинается с window,first_sample,start_s,fate,f0"},
      {"empty", "", TCode::kHvFileEmpty, 1, " поврежден: строка 1: файл пуст"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    testing::WriteText(written.Windows, c.Text);
    const TStatus status = ReadHvWindowsFile(written.Windows, parsed);
    EXPECT_EQ(status.Code, TCode::kFileDamaged);
    EXPECT_EQ(status.File, written.Windows);
    EXPECT_EQ(status.Line, c.Line);
    ASSERT_EQ(status.Args.size(), 2u);
    ASSERT_TRUE(status.Args[1].Nested);
    ASSERT_EQ(status.Args[1].Nested->Code, TCode::kAtLine);
    ASSERT_EQ(status.Args[1].Nested->Args.size(), 2u);
    ASSERT_TRUE(status.Args[1].Nested->Args[1].Nested);
    EXPECT_EQ(status.Args[1].Nested->Args[1].Nested->Code, c.Reason);
    EXPECT_EQ(Text(status, TLanguage::kRussian).rfind("Файл " + written.Windows + c.Russian, 0), 0u)
        << Text(status, TLanguage::kRussian);
    EXPECT_NE(Text(status, TLanguage::kEnglish).find("line " + std::to_string(c.Line) + ": "),
              std::string::npos)
        << Text(status, TLanguage::kEnglish);
    EXPECT_TRUE(parsed.Windows.empty() && parsed.Grid.empty());
  }
  EXPECT_EQ(ReadHvWindowsFile(dir.File("none_windows.csv"), parsed).Code, TCode::kFileNotFound);
}

TEST(HvsrFiles, DamagedReportGivesTheKeyOrTheLine) {
  TempDir dir;
  const TWritten written = WrittenFiles(dir);
  const std::string good = ReadText(written.Report);
  THvReport report;
  ASSERT_TRUE(ReadHvReportFile(written.Report, report).Ok());
  using J = nlohmann::json;
  const auto edited = [&](void (*change)(J&)) {
    J j = J::parse(good);
    change(j);
    return j.dump(2);
  };
  struct TCase {
    const char* Name;
    std::string Text;
    TCode Reason;
    int64_t Line;
    const char* Russian;
  };
  const TCase cases[] = {
      {"cut line", good.substr(0, good.size() / 2), TCode::kNotJson, -2, ": не JSON"},
      {"bad number", edited([](J& j) { j["windows"]["kept"] = "many"; }), TCode::kJsonNotCount, -1,
       " поврежден: windows.kept: не целое неотрицательное число"},
      {"missing key", edited([](J& j) { j.erase("verdict"); }), TCode::kJsonMissingKey, -1,
       " поврежден: verdict: нет ключа"},
      {"not an object", "[1]", TCode::kJsonNotObject, -1, " поврежден: документ: не объект"},
      {"criteria", edited([](J& j) { j["sesame"]["clear"]["criteria"].erase(0); }),
       TCode::kHvCriteriaList, -1, " поврежден: sesame.clear.criteria: не список из 6 критериев"},
      {"too deep", std::string(40, '[') + std::string(40, ']'), TCode::kJsonTooDeep, -1,
       " поврежден: вложенность глубже 32 уровней"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    testing::WriteText(written.Report, c.Text);
    const TStatus status = ReadHvReportFile(written.Report, report);
    EXPECT_EQ(status.Code, TCode::kFileDamaged);
    EXPECT_EQ(status.File, written.Report);
    ASSERT_EQ(status.Args.size(), 2u);
    ASSERT_TRUE(status.Args[1].Nested);
    const std::string russian = Text(status, TLanguage::kRussian);
    if (c.Line == -2) {
      // A cut document: the line where it stops being JSON, told before the reason.
      EXPECT_GT(status.Line, 1);
      EXPECT_EQ(status.Args[1].Nested->Code, TCode::kAtLine);
      EXPECT_NE(russian.find("строка " + std::to_string(status.Line) + c.Russian),
                std::string::npos)
          << russian;
    } else {
      EXPECT_EQ(status.Line, c.Line);
      EXPECT_EQ(status.Args[1].Nested->Code, c.Reason);
      EXPECT_EQ(russian, "Файл " + written.Report + c.Russian);
    }
    EXPECT_EQ(report.Total, 0);
  }
}

TEST(HvsrFiles, SeriesFileNamesTheFileAndKeepsTheLine) {
  TempDir dir;
  const std::string path = dir.File("ST1_time.json");
  testing::WriteText(path, "{\"intervals\": [\n{\"start\": ");
  THvsrSeriesChart chart;
  TStatus status = ReadHvsrSeriesFile(path, chart);
  EXPECT_EQ(status.Code, TCode::kFileSays);
  EXPECT_EQ(status.File, path);
  EXPECT_EQ(status.Line, 2);
  EXPECT_EQ(Text(status, TLanguage::kRussian), "Файл " + path + ": не JSON");
  EXPECT_EQ(Text(status, TLanguage::kEnglish), "File " + path + ": not JSON");

  testing::WriteText(path, R"({"intervals": [], "spectrogram": {"mean": []}})");
  status = ReadHvsrSeriesFile(path, chart);
  EXPECT_EQ(Text(status, TLanguage::kRussian), "Файл " + path + ": spectrogram: нет частот");
  EXPECT_EQ(ReadHvsrSeriesFile(dir.File("none_time.json"), chart).Code, TCode::kFileNotFound);
}

TEST(HvsrFiles, NestingDepthIsCountedOutsideStrings) {
  EXPECT_FALSE(JsonNestsDeeperThan("[[[]]]", 3));
  EXPECT_TRUE(JsonNestsDeeperThan("[[[[]]]]", 3));
  EXPECT_FALSE(JsonNestsDeeperThan(R"(["[[[[", "\"[[[["])", 3));
  EXPECT_TRUE(JsonNestsDeeperThan(R"({"a": {"b": [{"c": 1}]}})", 3));
}

}  // namespace
}  // namespace tarvik
