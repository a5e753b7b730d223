#include "spectral/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "common/paths.h"
#include "common/text_encoding.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::ReadBytes;
using testing::RecordingUiHost;
using testing::TempDir;

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "line without CR LF at " << start;
    if (end == std::string::npos) break;
    out.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

TFileRecord Record(const std::vector<std::pair<int, std::string>>& channels) {
  TFileRecord r;
  r.Station = "ST1";
  r.SampRate = 100.0;
  r.SelectStart = EncodeDateTime(2021, 3, 4, 5, 6, 7);
  r.ChannelCount = static_cast<int32_t>(channels.size());
  for (size_t c = 0; c < channels.size(); ++c) {
    r.Axis[c] = channels[c].first;
    r.Channel[c] = channels[c].second;
    r.ChanSelected[c] = true;
  }
  return r;
}

TMatrix2D Rows(size_t rows, size_t n, double scale) {
  TMatrix2D m(rows, std::vector<double>(n));
  for (size_t r = 0; r < rows; ++r) {
    for (size_t i = 0; i < n; ++i) m[r][i] = scale * (1.0 + r) * std::exp(-0.01 * i) * (1 + i % 7);
  }
  return m;
}

// ---------------------------------------------------------------------------------------------
// The bytes of the files.

TEST(ResultFiles, SpectrumFileOfOneZChannel) {
  TempDir dir;
  TFileRecord r = Record({{2, "HHZ"}});
  TMatrix2D mean(1, std::vector<double>(1025, 1.0)), stdev(1, std::vector<double>(1025, 2.0));
  mean[0][1] = 0.000123456;
  stdev[0][1] = 12345.6;
  RecordingUiHost host;
  const std::string path = dir.File("prim.dat");
  ASSERT_TRUE(WriteSpectrum(path, r, mean, stdev, host));
  const std::vector<std::string> lines = Lines(ReadText(path));
  ASSERT_EQ(lines.size(), 1026u);
  EXPECT_EQ(lines[0], "Freq\tE_Amp\tE_StDev\tN_Amp\tN_StDev\tZ00_HHZ\tZ00_HHZ_StDev");
  EXPECT_EQ(lines[1], "0.00000\t0.0000\t0.0000\t0.0000\t0.0000\t1\t2");
  EXPECT_EQ(lines[2], "0.04883\t0.0000\t0.0000\t0.0000\t0.0000\t0.0001235\t1.235E4");
  EXPECT_EQ(lines[1025], "50.00000\t0.0000\t0.0000\t0.0000\t0.0000\t1\t2");
  EXPECT_EQ(host.stages, std::vector<std::string>{"Сохранение спектра"});
}

TEST(ResultFiles, SpectrumFileColumnOrderAndCyrillicNames) {
  TempDir dir;
  // E "Восток", Z "HHZ", a second Z "ГЛЗ", an R channel and an unselected N channel.
  TFileRecord r = Record({{0, "Восток"}, {2, "HHZ"}, {2, "ГЛЗ"}, {3, "R1"}, {1, "HHN"}});
  r.ChanSelected[4] = false;
  TMatrix2D mean = Rows(5, 3, 1.0), stdev = Rows(5, 3, 0.1);
  RecordingUiHost host;
  const std::string path = dir.File("prim.dat");
  ASSERT_TRUE(WriteSpectrum(path, r, mean, stdev, host, 4));
  const std::vector<std::string> lines = Lines(ReadText(path));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(
      lines[0],
      "Freq\tE00_\xC2\xEE\xF1\xF2\xEE\xEA\tE00_\xC2\xEE\xF1\xF2\xEE\xEA_StDev\tN_Amp\tN_StDev"
      "\tZ01_HHZ\tZ01_HHZ_StDev\tZ02_\xC3\xCB\xC7\tZ02_\xC3\xCB\xC7_StDev\tR03_R1\tR03_R1_StDev");
  // The transform length 4 puts line 1 at 100/4 Hz, not at 100/(2·3 − 2).
  EXPECT_EQ(lines[2].substr(0, 9), "25.00000\t");
  // E, absent N, Z, then the second Z and R.
  EXPECT_EQ(lines[2], "25.00000\t" + FormatResultValue(mean[0][1]) + "\t" +
                          FormatResultValue(stdev[0][1]) + "\t0.0000\t0.0000\t" +
                          FormatResultValue(mean[1][1]) + "\t" + FormatResultValue(stdev[1][1]) +
                          "\t" + FormatResultValue(mean[2][1]) + "\t" +
                          FormatResultValue(stdev[2][1]) + "\t" + FormatResultValue(mean[3][1]) +
                          "\t" + FormatResultValue(stdev[3][1]));
}

TEST(ResultFiles, ValueFormat) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0"},
      {1.0, "1"},
      {0.5, "0.5"},
      {1234.4, "1234"},
      {9999.6, "1E4"},
      {12345.6, "1.235E4"},
      {-2.5e10, "-2.5E10"},
      {0.1234567, "0.1235"},
      {0.00001, "0.00001"},
      {0.0000099996, "0.00001"},
      {1.5e-7, "1.5E-7"},
      {9.99996, "10"},
      {-0.000123456, "-0.0001235"},
      {1e300, "1E300"},
      {NAN, "NAN"},
      {-INFINITY, "-INF"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatResultValue(value), text) << value;
  EXPECT_EQ(FormatResultFrequency(100.0 / 2048 * 1023), "49.95117");
  EXPECT_EQ(FormatResultFrequency(0.0), "0.00000");
}

TEST(ResultFiles, ThreeComponentAndRatioHeaders) {
  TempDir dir;
  RecordingUiHost host;
  const std::vector<double> f{0.0, 0.5};
  ASSERT_TRUE(WriteThreeComponent(dir.File("a.dat"), f, Rows(3, 2, 1), Rows(3, 2, 1), host));
  EXPECT_EQ(Lines(ReadText(dir.File("a.dat")))[0],
            "Freq\tE_Amp\tE_StDev\tN_Amp\tN_StDev\tZ_Amp\tZ_StDev");
  ASSERT_TRUE(WriteRatios(dir.File("n.dat"), Rows(3, 5, 1), Rows(3, 5, 1), host, 100.0));
  const std::vector<std::string> lines = Lines(ReadText(dir.File("n.dat")));
  EXPECT_EQ(lines[0], "Freq\tE/Z\tEZ_StDev\tN/Z\tNZ_StDev\tH/Z\tHZ_StDev");
  EXPECT_EQ(lines[5].substr(0, 9), "50.00000\t");
  EXPECT_EQ(host.stages,
            (std::vector<std::string>{"Сохранение спектра", "Сохранение относительного спектра"}));
}

// ---------------------------------------------------------------------------------------------
// Each reader reads back what each writer wrote (to the four significant digits written).

void ExpectRowsNear(const TMatrix2D& got, const TMatrix2D& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t r = 0; r < want.size(); ++r) {
    ASSERT_EQ(got[r].size(), want[r].size());
    for (size_t i = 0; i < want[r].size(); ++i) {
      EXPECT_NEAR(got[r][i], want[r][i], 5e-4 * std::abs(want[r][i])) << r << "," << i;
    }
  }
}

TEST(ResultFiles, SpectrumFileReadsBack) {
  TempDir dir;
  TFileRecord r = Record({{2, "Z"}, {1, "Север"}, {0, "E"}, {2, "Z2"}});
  const TMatrix2D mean = Rows(4, 513, 3e-9), stdev = Rows(4, 513, 1e-10);
  RecordingUiHost host;
  const std::string path = dir.File("Spectra/Primary/prim.dat");
  ASSERT_TRUE(WriteSpectrum(path, r, mean, stdev, host));

  TMatrix2D values, spreads;
  std::vector<double> f;
  std::vector<std::string> names;
  ASSERT_TRUE(ReadSpectrum(path, host, values, spreads, f, names));
  EXPECT_EQ(names, (std::vector<std::string>{"E02_E", "E02_E_StDev", "N01_Север", "N01_Север_StDev",
                                             "Z00_Z", "Z00_Z_StDev", "Z03_Z2", "Z03_Z2_StDev"}));
  ExpectRowsNear(values, {mean[2], mean[1], mean[0], mean[3]});
  ExpectRowsNear(spreads, {stdev[2], stdev[1], stdev[0], stdev[3]});
  ASSERT_EQ(f.size(), 513u);
  EXPECT_NEAR(f[512], 50.0, 1e-9);
  EXPECT_NEAR(f[3], 3 * 100.0 / 1024, 5e-6);

  // The H/V calculation reads the first three pairs of the same file.
  ASSERT_TRUE(ReadThreeComponent(path, host, values, spreads, f));
  ExpectRowsNear(values, {mean[2], mean[1], mean[0]});
  EXPECT_EQ(host.stages, (std::vector<std::string>{"Сохранение спектра", "Загрузка спектра",
                                                   "Загрузка трехкомпонентного спектра"}));
}

TEST(ResultFiles, ThreeComponentAndRatioFilesReadBack) {
  TempDir dir;
  RecordingUiHost host;
  std::vector<double> f(300);
  for (size_t i = 0; i < f.size(); ++i) f[i] = 0.125 + 0.0625 * i;
  const TMatrix2D mean = Rows(3, 300, 7.0), stdev = Rows(3, 300, 0.7);
  ASSERT_TRUE(WriteThreeComponent(dir.File("aver.dat"), f, mean, stdev, host));
  TMatrix2D values, spreads;
  std::vector<double> g;
  ASSERT_TRUE(ReadThreeComponent(dir.File("aver.dat"), host, values, spreads, g));
  ExpectRowsNear(values, mean);
  ExpectRowsNear(spreads, stdev);
  for (size_t i = 0; i < f.size(); ++i) EXPECT_NEAR(g[i], f[i], 5e-6);

  ASSERT_TRUE(WriteRatios(dir.File("nak.dat"), mean, stdev, host, 20.0));
  ASSERT_TRUE(ReadRelative(dir.File("nak.dat"), host, values, spreads, g));
  ExpectRowsNear(values, mean);
  ExpectRowsNear(spreads, stdev);
  EXPECT_NEAR(g[299], 10.0, 1e-9);
  // With the spectrum's own frequency column.
  ASSERT_TRUE(WriteRatios(dir.File("nak2.dat"), mean, stdev, host, 20.0, &f));
  ASSERT_TRUE(ReadRelative(dir.File("nak2.dat"), host, values, spreads, g));
  EXPECT_NEAR(g[299], f[299], 5e-6);
  EXPECT_TRUE(host.messages.empty());
}

struct MissingCase {
  const char* name;
  std::function<bool(const std::string&, UiHost&)> read;
  bool message;
};

class MissingFileTest : public ::testing::TestWithParam<MissingCase> {};

TEST_P(MissingFileTest, EmptyOutputsAndFalse) {
  TempDir dir;
  const std::string path = dir.File("prim_none.dat");
  RecordingUiHost host;
  EXPECT_FALSE(GetParam().read(path, host));
  if (GetParam().message) {
    EXPECT_EQ(host.messages, std::vector<std::string>{"Файл " + path + " не найден"});
  } else {
    EXPECT_TRUE(host.messages.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Readers, MissingFileTest,
    ::testing::Values(MissingCase{"ThreeComponent",
                                  [](const std::string& p, UiHost& h) {
                                    TMatrix2D v{{1}}, s{{1}};
                                    std::vector<double> f{1};
                                    const bool ok = ReadThreeComponent(p, h, v, s, f);
                                    return ok || !v.empty() || !s.empty() || !f.empty();
                                  },
                                  true},
                      MissingCase{"Spectrum",
                                  [](const std::string& p, UiHost& h) {
                                    TMatrix2D v{{1}}, s{{1}};
                                    std::vector<double> f{1};
                                    std::vector<std::string> names{"x"};
                                    const bool ok = ReadSpectrum(p, h, v, s, f, names);
                                    return ok || !v.empty() || !f.empty() || !names.empty();
                                  },
                                  true},
                      MissingCase{"Relative",
                                  [](const std::string& p, UiHost& h) {
                                    TMatrix2D v{{1}}, s{{1}};
                                    std::vector<double> f{1};
                                    const bool ok = ReadRelative(p, h, v, s, f);
                                    return ok || !v.empty() || !f.empty();
                                  },
                                  false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Nothing is written rather than a file with missing or partial rows.

TEST(ResultFiles, NoRowsNoFileNoFolder) {
  TempDir dir;
  const std::string folder = dir.File("Spectra/Primary");
  RecordingUiHost host;
  const TFileRecord r = Record({{2, "HHZ"}});
  TWriteStatus st = WriteSpectrum(folder + "/prim.dat", r, {}, {}, host);
  EXPECT_EQ(st.Outcome, TWriteOutcome::kNothingToWrite);
  st = WriteRatios(dir.File("Spectra/Nakamura/nak.dat"), {}, {}, host, 100.0);
  EXPECT_EQ(st.Outcome, TWriteOutcome::kNothingToWrite);
  st = WriteThreeComponent(folder + "/aver.dat", {}, {}, {}, host);
  EXPECT_EQ(st.Outcome, TWriteOutcome::kNothingToWrite);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Spectra")));

  // Rows of different lengths, or a spread row missing, are refused too.
  TMatrix2D mean{{1, 2, 3}, {1, 2}}, stdev{{1, 2, 3}, {1, 2}};
  const TFileRecord two = Record({{2, "A"}, {0, "B"}});
  EXPECT_EQ(WriteSpectrum(folder + "/prim.dat", two, mean, stdev, host).Outcome,
            TWriteOutcome::kFailed);
  EXPECT_EQ(WriteRatios(folder + "/nak.dat", Rows(3, 4, 1), Rows(2, 4, 1), host, 1.0).Outcome,
            TWriteOutcome::kFailed);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Spectra")));
  EXPECT_TRUE(host.messages.empty());  // the caller already told the user why
}

TEST(ResultFiles, StoppedWriterKeepsThePreviousFile) {
  TempDir dir;
  const std::string path = dir.File("prim.dat");
  testing::WriteText(path, "previous");
  RecordingUiHost host;
  host.stop_when = [](int n) { return n == 3; };
  const TFileRecord r = Record({{2, "HHZ"}});
  const TWriteStatus st = WriteSpectrum(path, r, Rows(1, 1025, 1), Rows(1, 1025, 1), host);
  EXPECT_EQ(st.Outcome, TWriteOutcome::kStopped);
  EXPECT_EQ(ReadText(path), "previous");
}

TEST(ResultFiles, UnwritableFileIsReported) {
  TempDir dir;
  testing::WriteText(dir.File("blocker"), "a file where a folder should be");
  RecordingUiHost host;
  const TFileRecord r = Record({{2, "HHZ"}});
  const TWriteStatus st =
      WriteSpectrum(dir.File("blocker/prim.dat"), r, Rows(1, 9, 1), Rows(1, 9, 1), host);
  EXPECT_EQ(st.Outcome, TWriteOutcome::kFailed);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find("blocker"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Reading files written elsewhere.

struct ParseCase {
  const char* name;
  std::string text;
  int pairs;
  bool ok;
  std::vector<double> frequencies;
  TMatrix2D values;
  TMatrix2D stdev;
  size_t names;
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, Table) {
  const ParseCase& pc = GetParam();
  TResultTable t;
  std::string error;
  EXPECT_EQ(ParseResultTable(pc.text, pc.pairs, t, &error), pc.ok) << error;
  EXPECT_EQ(t.Frequencies, pc.frequencies);
  EXPECT_EQ(t.Values, pc.values);
  EXPECT_EQ(t.StDev, pc.stdev);
  EXPECT_EQ(t.Names.size(), pc.names);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseTest,
    ::testing::Values(
        ParseCase{"LfLineEndsAndBlankLines",
                  "F\tA\tB\n1 2 3\n\n  \n4\t5\t6",
                  0,
                  true,
                  {1, 4},
                  {{2, 5}},
                  {{3, 6}},
                  2},
        ParseCase{"ShortLineGivesZeros",
                  "F A B C D\r\n1 2 3 4 5\r\n6 7\r\n",
                  0,
                  true,
                  {1, 6},
                  {{2, 7}, {4, 0}},
                  {{3, 0}, {5, 0}},
                  4},
        // Names with spaces give more names than the lines have columns.
        ParseCase{"NamesWithSpaces",
                  "Freq\tZ00_HH Z\tZ00_HH Z_StDev\r\n1\t2\t3\r\n",
                  0,
                  true,
                  {1},
                  {{2}},
                  {{3}},
                  4},
        ParseCase{"RestOfLineIgnored",
                  "h\r\n1 2 3 4 5 6 7 x y\r\n",
                  3,
                  true,
                  {1},
                  {{2}, {4}, {6}},
                  {{3}, {5}, {7}},
                  0},
        ParseCase{"NumberForms",
                  "h\r\n+1.5E-3 1e2 INF -0.25 .5 3 4\r\n",
                  3,
                  true,
                  {0.0015},
                  {{100}, {-0.25}, {3}},
                  {{INFINITY}, {0.5}, {4}},
                  0},
        ParseCase{
            "NotANumber", "h\r\n1 2 3 4 5 6 7\r\n1 2 3,5 4 5 6 7\r\n", 3, false, {}, {}, {}, 0},
        ParseCase{"HeaderOnly", "Freq\tE_Amp\tE_StDev\r\n", 0, true, {}, {}, {}, 2},
        ParseCase{"Empty", "", 3, true, {}, {}, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// NaN never equals itself, so it is checked apart from the table.
TEST(ResultFiles, NanIsReadAsNan) {
  TResultTable t;
  ASSERT_TRUE(ParseResultTable("h\r\n1 nan 2\r\n", 1, t));
  EXPECT_TRUE(std::isnan(t.Values[0][0]));
}

TEST(ResultFiles, DamagedFileIsReported) {
  TempDir dir;
  testing::WriteText(dir.File("bad.dat"), "Freq\r\n0 1 2 3 4 5 6\r\n0.1 1 2 x 4 5 6\r\n");
  RecordingUiHost host;
  TMatrix2D v, s;
  std::vector<double> f;
  EXPECT_FALSE(ReadThreeComponent(dir.File("bad.dat"), host, v, s, f));
  EXPECT_TRUE(v.empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find("строка 3"), std::string::npos) << host.messages[0];
}

// ---------------------------------------------------------------------------------------------
// Alignment of frequency scales.

TEST(ResultFiles, AlignFrequenciesOfStepsTenthAndTwentieth) {
  std::vector<std::vector<double>> f(2);
  std::vector<TMatrix2D> values(2), stdev(2);
  for (int i = 0; i <= 50; ++i) f[0].push_back(i * 0.1);   // 0..5 Hz
  for (int i = 0; i <= 50; ++i) f[1].push_back(i * 0.05);  // 0..2.5 Hz
  values[0] = {std::vector<double>(51), std::vector<double>(51)};
  stdev[0] = {std::vector<double>(51)};
  values[1] = {std::vector<double>(51)};
  stdev[1] = {std::vector<double>(51)};
  for (int i = 0; i <= 50; ++i) {
    values[0][0][i] = 2 * f[0][i] + 1;
    values[0][1][i] = f[0][i] * f[0][i];
    stdev[0][0][i] = f[0][i];
    values[1][0][i] = 3 * f[1][i];
    stdev[1][0][i] = 1;
  }
  const double step = AlignFrequencies(f, values, stdev);
  EXPECT_DOUBLE_EQ(step, 0.05);
  // The first spectrum is cut after 2.6 Hz, its first line above 2.5 Hz, and resampled at
  // 0.05 Hz: 53 lines. Linear data stay on their line; the square is interpolated linearly.
  ASSERT_EQ(f[0].size(), 53u);
  EXPECT_NEAR(f[0].back(), 2.6, 1e-12);
  ASSERT_EQ(values[0][0].size(), 53u);
  ASSERT_EQ(stdev[0][0].size(), 53u);
  for (size_t i = 0; i < 53; ++i) {
    EXPECT_NEAR(values[0][0][i], 2 * f[0][i] + 1, 1e-12) << i;
    EXPECT_NEAR(stdev[0][0][i], f[0][i], 1e-12) << i;
  }
  EXPECT_NEAR(values[0][1][1], 0.005, 1e-12);  // between (0, 0) and (0.1, 0.01)
  EXPECT_NEAR(values[0][1][3], 0.025, 1e-12);  // between (0.1, 0.01) and (0.2, 0.04)
  // The finer spectrum keeps its grid and values.
  ASSERT_EQ(f[1].size(), 51u);
  EXPECT_NEAR(values[1][0][50], 7.5, 1e-12);
  EXPECT_EQ(stdev[1][0], std::vector<double>(51, 1.0));
}

TEST(ResultFiles, AlignFrequenciesRefusesAbsurdGrid) {
  std::vector<std::vector<double>> f{{0.0, 1e-300}, {0.0, 25.0, 50.0}};
  std::vector<TMatrix2D> values{{{1, 2}}, {{1, 2, 3}}}, stdev{{{1, 2}}, {{1, 2, 3}}};
  const auto before = f;
  EXPECT_EQ(AlignFrequencies(f, values, stdev), 0.0);
  EXPECT_EQ(f, before);
  // Spectra without two lines give no step.
  std::vector<std::vector<double>> one{{5.0}, {}};
  std::vector<TMatrix2D> v2(2), s2(2);
  EXPECT_EQ(AlignFrequencies(one, v2, s2), 0.0);
}

// ---------------------------------------------------------------------------------------------
// Folder tree and file names.

TEST(ResultFiles, FolderTreeAndNames) {
  const TResultFolders f = DeriveResultFolders("C:\\data\\res");
  const std::string root = NativePath("C:/data/res");
  EXPECT_EQ(f.SpectraPrimary, root + "/Spectra/Primary");
  EXPECT_EQ(f.EventsPrimary, root + "/Events/Primary");
  EXPECT_EQ(f.SpectraNakamura, root + "/Spectra/Nakamura");
  EXPECT_EQ(f.EventsNakamura, root + "/Events/Nakamura");
  EXPECT_EQ(f.ZipData, root + "/ZipData");
  EXPECT_EQ(f.SpectraIdent, root + "/Spectra/Ident");
  EXPECT_EQ(DeriveResultFolders("", "/opt/tarvik").SpectraRelative, "/opt/tarvik/Spectra/Relative");

  TFileRecord r = Record({{2, "HHZ"}});
  r.SelectStart = EncodeDateTime(2009, 11, 30, 23, 5, 9);
  EXPECT_EQ(SpectrumFilePath(f, r, false), root + "/Spectra/Primary/prim_ST1_091130-230509.dat");
  EXPECT_EQ(SpectrumFilePath(f, r, true), root + "/Spectra/Primary/power_ST1_091130-230509.dat");
  r.IsEvent = true;
  EXPECT_EQ(SpectrumFilePath(f, r, false), root + "/Events/Primary/prim_ST1_091130-230509.dat");
  EXPECT_EQ(RatioFilePath(f, r), root + "/Spectra/Nakamura/nak_prim_ST1_091130-230509.dat");

  // A station name from a recorder file never leads outside the result folder.
  r.Station = "../..";
  EXPECT_EQ(FolderOf(SpectrumFilePath(f, r, false)), f.EventsPrimary);
  EXPECT_EQ(StationForFileName("a\\b/c:d*"), "a_b_c_d_");
  EXPECT_EQ(StationForFileName(".."), "__");
  EXPECT_EQ(StationForFileName("Сев.1"), "Сев.1");
}

}  // namespace
}  // namespace tarvik
