#include "spectral/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/paths.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

// The lines of a file, each of which must end in CR LF.
std::vector<std::string> Lines(const std::string& path) {
  const std::vector<uint8_t> b = testing::ReadBytes(path);
  const std::string text(b.begin(), b.end());
  std::vector<std::string> out;
  for (size_t start = 0, end; start < text.size(); start = end + 2) {
    end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "line without CR LF at " << start;
    if (end == std::string::npos) break;
    out.push_back(text.substr(start, end - start));
    EXPECT_EQ(out.back().find('\n'), std::string::npos);
  }
  return out;
}

TFileRecord Record(const std::vector<std::pair<int, std::string>>& channels) {
  TFileRecord r;
  r.Station = "ST1";
  r.SampRate = 100.0;
  r.SelectStart = EncodeDateTime(2009, 11, 30, 23, 5, 9);
  r.Channels.resize(channels.size());
  for (size_t c = 0; c < channels.size(); ++c) {
    r.Channels[c].Axis = static_cast<Component>(channels[c].first);
    r.Channels[c].Channel = channels[c].second;
    r.Channels[c].Selected = true;
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

void ExpectNear(const TMatrix2D& got, const TMatrix2D& want) {  // four digits are written
  ASSERT_EQ(got.size(), want.size());
  for (size_t r = 0; r < want.size(); ++r) {
    ASSERT_EQ(got[r].size(), want[r].size());
    for (size_t i = 0; i < want[r].size(); ++i) {
      EXPECT_NEAR(got[r][i], want[r][i], 5e-4 * std::abs(want[r][i])) << r << "," << i;
    }
  }
}

TEST(ResultFiles, SpectrumFileOfOneZChannel) {
  TempDir dir;
  TMatrix2D mean(1, std::vector<double>(1025, 1.0)), stdev(1, std::vector<double>(1025, 2.0));
  mean[0][1] = 0.000123456;
  stdev[0][1] = 12345.6;
  RecordingUiHost host;
  ASSERT_TRUE(WriteSpectrum(dir.File("p.dat"), Record({{2, "HHZ"}}), mean, stdev, host));
  const std::vector<std::string> lines = Lines(dir.File("p.dat"));
  ASSERT_EQ(lines.size(), 1026u);  // TransformLength 2048 at 100 Hz: 1025 lines
  EXPECT_EQ(lines[0], "Freq\tE_Amp\tE_StDev\tN_Amp\tN_StDev\tZ00_HHZ\tZ00_HHZ_StDev");
  EXPECT_EQ(lines[1], "0.00000\t0.0000\t0.0000\t0.0000\t0.0000\t1\t2");
  EXPECT_EQ(lines[2], "0.04883\t0.0000\t0.0000\t0.0000\t0.0000\t0.0001235\t1.235E4");
  EXPECT_EQ(lines[1025], "50.00000\t0.0000\t0.0000\t0.0000\t0.0000\t1\t2");
  EXPECT_EQ(host.Stages, std::vector<std::string>{"Сохранение спектра"});
}

TEST(ResultFiles, ColumnOrderAndWindows1251Names) {
  TempDir dir;
  // E "Восток", Z, a second Z "ГЛЗ", an R channel and an unselected N channel.
  TFileRecord r = Record({{0, "Восток"}, {2, "HHZ"}, {2, "ГЛЗ"}, {3, "R1"}, {1, "HHN"}});
  r.Channels[4].Selected = false;
  const TMatrix2D m = Rows(5, 3, 1.0);
  RecordingUiHost host;
  ASSERT_TRUE(WriteSpectrum(dir.File("p.dat"), r, m, m, host, 4));
  const std::vector<std::string> lines = Lines(dir.File("p.dat"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(
      lines[0],
      "Freq\tE00_\xC2\xEE\xF1\xF2\xEE\xEA\tE00_\xC2\xEE\xF1\xF2\xEE\xEA_StDev\tN_Amp\tN_StDev"
      "\tZ01_HHZ\tZ01_HHZ_StDev\tZ02_\xC3\xCB\xC7\tZ02_\xC3\xCB\xC7_StDev\tR03_R1\tR03_R1_StDev");
  // Transform length 4 puts line 1 at 25 Hz; then E, the absent N, Z, the second Z and R.
  std::string want = "25.00000";
  for (int c : {0, -1, 1, 2, 3}) {
    want += c < 0 ? "\t0.0000\t0.0000"
                  : "\t" + FormatResultValue(m[c][1]) + "\t" + FormatResultValue(m[c][1]);
  }
  EXPECT_EQ(lines[2], want);
}

TEST(ResultFiles, ValueFormat) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0"},           {0.5, "0.5"},         {1234.4, "1234"},      {9999.6, "1E4"},
      {12345.6, "1.235E4"}, {-2.5e10, "-2.5E10"}, {0.1234567, "0.1235"}, {0.00001, "0.00001"},
      {1.5e-7, "1.5E-7"},   {9.99996, "10"},      {NAN, "NAN"},          {-INFINITY, "-INF"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatResultValue(value), text) << value;
}

// Each reader reads back what each writer wrote.
TEST(ResultFiles, ReadersReadWhatWritersWrote) {
  TempDir dir;
  RecordingUiHost host;
  const TFileRecord r = Record({{2, "Z"}, {1, "Север"}, {0, "E"}, {2, "Z2"}});
  const TMatrix2D mean = Rows(4, 513, 3e-9), stdev = Rows(4, 513, 1e-10);
  const std::string prim = dir.File("Spectra/Primary/prim.dat");  // the folder is made
  ASSERT_TRUE(WriteSpectrum(prim, r, mean, stdev, host));
  TMatrix2D v, s;
  std::vector<double> f;
  std::vector<std::string> names;
  ASSERT_TRUE(ReadSpectrum(prim, host, v, s, f, names));
  EXPECT_EQ(names, (std::vector<std::string>{"E02_E", "E02_E_StDev", "N01_Север", "N01_Север_StDev",
                                             "Z00_Z", "Z00_Z_StDev", "Z03_Z2", "Z03_Z2_StDev"}));
  ExpectNear(v, {mean[2], mean[1], mean[0], mean[3]});
  ExpectNear(s, {stdev[2], stdev[1], stdev[0], stdev[3]});
  EXPECT_NEAR(f[512], 50.0, 1e-9);
  ASSERT_TRUE(ReadThreeComponent(prim, host, v, s, f));  // the first three pairs, for H/V
  ExpectNear(v, {mean[2], mean[1], mean[0]});

  std::vector<double> freq(300);
  for (size_t i = 0; i < 300; ++i) freq[i] = 0.125 + 0.0625 * i;
  const TMatrix2D m3 = Rows(3, 300, 7.0), s3 = Rows(3, 300, 0.7);
  ASSERT_TRUE(WriteThreeComponent(dir.File("aver.dat"), freq, m3, s3, host));
  EXPECT_EQ(Lines(dir.File("aver.dat"))[0], "Freq\tE_Amp\tE_StDev\tN_Amp\tN_StDev\tZ_Amp\tZ_StDev");
  ASSERT_TRUE(ReadThreeComponent(dir.File("aver.dat"), host, v, s, f));
  ExpectNear(v, m3);
  ExpectNear(s, s3);
  EXPECT_NEAR(f[299], freq[299], 5e-6);

  ASSERT_TRUE(WriteRatios(dir.File("nak.dat"), m3, s3, host, 20.0));
  EXPECT_EQ(Lines(dir.File("nak.dat"))[0], "Freq\tE/Z\tEZ_StDev\tN/Z\tNZ_StDev\tH/Z\tHZ_StDev");
  ASSERT_TRUE(ReadRelative(dir.File("nak.dat"), host, v, s, f));
  ExpectNear(v, m3);
  EXPECT_NEAR(f[299], 10.0, 1e-9);
  ASSERT_TRUE(WriteRatios(dir.File("nak.dat"), m3, s3, host, 20.0, &freq));  // own frequencies
  ASSERT_TRUE(ReadRelative(dir.File("nak.dat"), host, v, s, f));
  EXPECT_NEAR(f[299], freq[299], 5e-6);
  EXPECT_TRUE(host.Messages.empty());
}

TEST(ResultFiles, MissingFiles) {
  TempDir dir;
  const std::string path = dir.File("prim_none.dat");
  TMatrix2D v{{1}}, s{{1}};
  std::vector<double> f{1};
  std::vector<std::string> names{"x"};
  RecordingUiHost host;
  EXPECT_FALSE(ReadThreeComponent(path, host, v, s, f));
  EXPECT_TRUE(v.empty() && s.empty() && f.empty());
  EXPECT_FALSE(ReadSpectrum(path, host, v, s, f, names));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(ReadRelative(path, host, v, s, f));  // without a message
  EXPECT_EQ(host.Messages, std::vector<std::string>(2, "Файл " + path + " не найден"));
}

// Nothing is written rather than a file with missing, ragged or partial rows.
TEST(ResultFiles, NoFileWithoutCompleteRows) {
  TempDir dir;
  const std::string folder = dir.File("Spectra/Primary");
  RecordingUiHost host;
  EXPECT_EQ(WriteSpectrum(folder + "/p.dat", Record({{2, "Z"}}), {}, {}, host).Outcome,
            TWriteOutcome::kNothingToWrite);
  EXPECT_EQ(WriteRatios(folder + "/n.dat", {}, {}, host, 100.0).Outcome,
            TWriteOutcome::kNothingToWrite);
  const TMatrix2D ragged{{1, 2, 3}, {1, 2}};
  EXPECT_EQ(
      WriteSpectrum(folder + "/p.dat", Record({{2, "A"}, {0, "B"}}), ragged, ragged, host).Outcome,
      TWriteOutcome::kFailed);
  EXPECT_EQ(WriteRatios(folder + "/n.dat", Rows(3, 4, 1), Rows(2, 4, 1), host, 1.0).Outcome,
            TWriteOutcome::kFailed);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Spectra")));

  // A stop while the text is formed leaves the previous file as it was.
  testing::WriteText(dir.File("p.dat"), "previous");
  host.StopWhen = [](int n) { return n == 3; };
  EXPECT_EQ(
      WriteSpectrum(dir.File("p.dat"), Record({{2, "Z"}}), Rows(1, 1025, 1), Rows(1, 1025, 1), host)
          .Outcome,
      TWriteOutcome::kStopped);
  const std::vector<uint8_t> kept = testing::ReadBytes(dir.File("p.dat"));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous");
  EXPECT_TRUE(host.Messages.empty());

  // A folder that cannot be made is reported.
  RecordingUiHost host2;
  EXPECT_EQ(WriteSpectrum(dir.File("p.dat/x.dat"), Record({{2, "Z"}}), Rows(1, 9, 1), Rows(1, 9, 1),
                          host2)
                .Outcome,
            TWriteOutcome::kFailed);
  EXPECT_EQ(host2.Messages.size(), 1u);
}

struct ParseCase {
  const char* Name;
  std::string Text;
  int Pairs;
  bool Ok;
  std::vector<double> F;
  TMatrix2D Values, Stdev;
  size_t Names;
};
class ParseTest : public ::testing::TestWithParam<ParseCase> {};

// Files written by other programs: LF line ends, blank lines, short lines, names with spaces,
// other number forms and a field that is not a number.
TEST_P(ParseTest, Table) {
  const ParseCase& pc = GetParam();
  TResultTable t;
  EXPECT_EQ(ParseResultTable(pc.Text, pc.Pairs, t), pc.Ok);
  EXPECT_EQ(t.Frequencies, pc.F);
  EXPECT_EQ(t.Values, pc.Values);
  EXPECT_EQ(t.StDev, pc.Stdev);
  EXPECT_EQ(t.Names.size(), pc.Names);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseTest,
    ::testing::Values(
        ParseCase{"LfAndBlankLines",
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
        ParseCase{"NamesWithSpaces",
                  "Freq\tZ00_HH Z\tZ00_HH Z_StDev\r\n1\t2\t3\r\n",
                  0,
                  true,
                  {1},
                  {{2}},
                  {{3}},
                  4},
        ParseCase{"NumberFormsRestIgnored",
                  "h\r\n+1.5E-3 1e2 INF -0.25 .5 3 4 x\r\n",
                  3,
                  true,
                  {0.0015},
                  {{100}, {-0.25}, {3}},
                  {{INFINITY}, {0.5}, {4}},
                  0},
        ParseCase{
            "NotANumber", "h\r\n1 2 3 4 5 6 7\r\n1 2 3,5 4 5 6 7\r\n", 3, false, {}, {}, {}, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ResultFiles, AlignFrequenciesOfStepsTenthAndTwentieth) {
  std::vector<std::vector<double>> f(2);
  std::vector<TMatrix2D> v(2, TMatrix2D(2)), s(2, TMatrix2D(1));
  for (int i = 0; i <= 50; ++i) {
    f[0].push_back(i * 0.1);   // 0..5 Hz
    f[1].push_back(i * 0.05);  // 0..2.5 Hz
    v[0][0].push_back(2 * f[0][i] + 1);
    v[0][1].push_back(f[0][i] * f[0][i]);
    s[0][0].push_back(f[0][i]);
    v[1][0].push_back(3 * f[1][i]);
    v[1][1].push_back(1);
    s[1][0].push_back(1);
  }
  EXPECT_DOUBLE_EQ(AlignFrequencies(f, v, s), 0.05);
  // The first spectrum is cut after 2.6 Hz, its first line above 2.5 Hz, and resampled every
  // 0.05 Hz: linear data stay on their line, the square is interpolated linearly.
  ASSERT_EQ(f[0].size(), 53u);
  EXPECT_NEAR(f[0].back(), 2.6, 1e-12);
  ASSERT_EQ(v[0][0].size(), 53u);
  for (size_t i = 0; i < 53; ++i) {
    EXPECT_NEAR(v[0][0][i], 2 * f[0][i] + 1, 1e-12) << i;
    EXPECT_NEAR(s[0][0][i], f[0][i], 1e-12) << i;
  }
  EXPECT_NEAR(v[0][1][1], 0.005, 1e-12);  // between (0, 0) and (0.1, 0.01)
  EXPECT_NEAR(v[0][1][3], 0.025, 1e-12);  // between (0.1, 0.01) and (0.2, 0.04)
  ASSERT_EQ(f[1].size(), 51u);            // the finer spectrum keeps its grid
  EXPECT_NEAR(v[1][0][50], 7.5, 1e-12);

  // A damaged frequency column that would make the grid absurdly long changes nothing.
  std::vector<std::vector<double>> bad{{0.0, 1e-300}, {0.0, 25.0, 50.0}};
  const auto before = bad;
  EXPECT_EQ(AlignFrequencies(bad, v, s), 0.0);
  EXPECT_EQ(bad, before);
}

TEST(ResultFiles, FolderTreeAndNames) {
  const TResultFolders f = DeriveResultFolders("C:\\data\\res");
  const std::string root = NativePath("C:/data/res");
  EXPECT_EQ(f.SpectraPrimary, root + "/Spectra/Primary");
  EXPECT_EQ(f.EventsPrimary, root + "/Events/Primary");
  EXPECT_EQ(f.EventsNakamura, root + "/Events/Nakamura");
  EXPECT_EQ(f.ZipData, root + "/ZipData");
  EXPECT_EQ(DeriveResultFolders("", "/opt/t").SpectraRelative, "/opt/t/Spectra/Relative");
  TFileRecord r = Record({{2, "HHZ"}});
  EXPECT_EQ(SpectrumFilePath(f, r, false), root + "/Spectra/Primary/prim_ST1_091130-230509.dat");
  EXPECT_EQ(SpectrumFilePath(f, r, true), root + "/Spectra/Primary/power_ST1_091130-230509.dat");
  r.IsEvent = true;  // its spectra under Events, its ratios under Spectra
  EXPECT_EQ(SpectrumFilePath(f, r, false), root + "/Events/Primary/prim_ST1_091130-230509.dat");
  EXPECT_EQ(RatioFilePath(f, r), root + "/Spectra/Nakamura/nak_prim_ST1_091130-230509.dat");
  // A station name read from a recorder file never leads outside the result folder.
  r.Station = "../..";
  EXPECT_EQ(FolderOf(SpectrumFilePath(f, r, false)), f.EventsPrimary);
  EXPECT_EQ(StationForFileName(".."), "__");
}

}  // namespace
}  // namespace tarvik
