#include "viewers/spectrum_files.h"

#include <gtest/gtest.h>

#include <cmath>

#include "recording_ui_host.h"
#include "test_files.h"
#include "viewer_test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

const std::string kHeader = "Freq\tE_Amp\tE_StDev\tN_Amp\tN_StDev\tZ_Amp\tZ_StDev\r\n";
const std::string kRows =
    "0.00000\t1\t0.1\t2\t0.2\t3\t0.3\r\n"
    "0.50000\t4\t0.4\t5\t0.5\t6\t0.6\r\n"
    "1.00000\t7\t0.7\t8\t0.8\t9\t0.9\r\n";

struct BadFile {
  const char* Name;
  std::string Text;
  const char* Where;  // what the message must name
};

class DamagedResultFile : public ::testing::TestWithParam<BadFile> {};

// A damaged file is refused as a whole, naming the file and the line at fault.
TEST_P(DamagedResultFile, IsRefusedWithTheLineAtFault) {
  TempDir dir;
  const std::string path = testing::WriteResult(dir.File("bad.dat"), GetParam().Text);
  RecordingUiHost host;
  TResultTable table;
  EXPECT_FALSE(LoadViewerTable(path, TViewerFile::kSpectrum, host, table));
  EXPECT_TRUE(table.Frequencies.empty());
  EXPECT_TRUE(table.Values.empty());
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_EQ(host.Messages[0].rfind("Файл " + path + " поврежден: ", 0), 0u) << host.Messages[0];
  EXPECT_NE(host.Messages[0].find(GetParam().Where), std::string::npos) << host.Messages[0];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedResultFile,
    ::testing::Values(
        // Cut in the middle of the third row.
        BadFile{"Truncated", kHeader + kRows.substr(0, kRows.size() - 12),
                "строка 4: 4 полей вместо 7"},
        BadFile{"RaggedRow", kHeader + "0\t1\t0.1\t2\t0.2\t3\t0.3\r\n0.5\t4\t0.4\t5\r\n",
                "строка 3: 4 полей вместо 7"},
        BadFile{"LongerRow",
                kHeader + "0\t1\t0.1\t2\t0.2\t3\t0.3\r\n0.5\t4\t0.4\t5\t1\t2\t3\t9\r\n",
                "строка 3: полей больше 7"},
        BadFile{"NonNumericCell",
                kHeader + "0\t1\t0.1\t2\t0.2\t3\t0.3\r\n0.5\t4\t0,4\t5\t1\t2\t3\r\n",
                "строка 3, поле 3: \"0,4\" не число"},
        BadFile{"NoRows", kHeader, "нет строк данных"},
        BadFile{"BlankRowsOnly", kHeader + "\r\n  \r\n", "нет строк данных"},
        BadFile{"Empty", "", "нет строк данных"},
        BadFile{"HeaderOfOtherWidth", "Freq\tE_Amp\tE_StDev\r\n" + kRows,
                "строка 1: в заголовке 3 столбцов, в строках 7"},
        BadFile{"FrequencyFalls", kHeader + "1\t1\t1\t1\t1\t1\t1\r\n0.5\t1\t1\t1\t1\t1\t1\r\n",
                "строка 3: частота меньше предыдущей"},
        BadFile{"FrequencyNotANumber", kHeader + "NAN\t1\t1\t1\t1\t1\t1\r\n", "строка 2: частота"},
        BadFile{"ValueWithoutSpread", "Freq\tE_Amp\r\n0\t1\r\n", "строка 2: 2 полей"}),
    [](const ::testing::TestParamInfo<BadFile>& info) { return info.param.Name; });

TEST(ViewerTable, ReadsWhatTheWritersWriteAndOtherProgramsMightSend) {
  TResultTable table;
  std::string error;
  // Names with blanks stay whole in a TAB-separated header; INF and NAN are written for values
  // that had none; LF line ends, blank lines and a missing last line end are all accepted.
  ASSERT_TRUE(ParseViewerTable("Freq\tZ00_BH Z\tZ00_BH Z_StDev\n0\t1E-7\tNAN\n\n0.5\tINF\t2.5E4",
                               table, error))
      << error;
  EXPECT_EQ(table.Names, (std::vector<std::string>{"Z00_BH Z", "Z00_BH Z_StDev"}));
  EXPECT_EQ(table.Frequencies, (std::vector<double>{0.0, 0.5}));
  EXPECT_DOUBLE_EQ(table.Values[0][0], 1e-7);
  EXPECT_TRUE(std::isinf(table.Values[0][1]));
  EXPECT_TRUE(std::isnan(table.StDev[0][0]));
  EXPECT_DOUBLE_EQ(table.StDev[0][1], 25000.0);

  // A header separated by spaces is split at them.
  ASSERT_TRUE(ParseViewerTable("Freq E_Amp E_StDev\r\n+0 1 2\r\n", table, error)) << error;
  EXPECT_EQ(table.Names, (std::vector<std::string>{"E_Amp", "E_StDev"}));
  EXPECT_EQ(table.Values[0][0], 1.0);
}

TEST(ViewerTable, MissingFileAndTooFewPairsForARatioFile) {
  TempDir dir;
  RecordingUiHost host;
  TResultTable table;
  const std::string missing = dir.File("none.dat");
  EXPECT_FALSE(LoadViewerTable(missing, TViewerFile::kSpectrum, host, table));
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_EQ(host.Messages[0], "Файл " + missing + " не найден");

  const std::string one_pair =
      testing::WriteResult(dir.File("one.dat"), "Freq\tE/Z\tEZ_StDev\r\n0\t1\t0\r\n");
  EXPECT_TRUE(LoadViewerTable(one_pair, TViewerFile::kSpectrum, host, table));
  EXPECT_FALSE(LoadViewerTable(one_pair, TViewerFile::kRatio, host, table));
  EXPECT_NE(host.Messages.back().find("1 пар столбцов вместо трех"), std::string::npos);
  EXPECT_TRUE(table.Values.empty());
}

TEST(ResultKind, FromTheColumnsAndTheName) {
  const std::vector<std::string> spectrum = {"E00_HHE",       "E00_HHE_StDev", "N01_HHN",
                                             "N01_HHN_StDev", "Z02_HHZ",       "Z02_HHZ_StDev"};
  const std::vector<std::string> hv = {"E/Z", "EZ_StDev", "N/Z", "NZ_StDev", "H/Z", "HZ_StDev"};
  const std::vector<std::string> relative = {"E1/E2", "StDev", "N1/N2", "StDev", "Z1/Z2", "StDev"};
  struct Case {
    const char* Path;
    const std::vector<std::string>& Names;
    TResultKind Want;
  };
  for (const Case& c : {
           Case{"/r/Spectra/Primary/prim_TVK01_240514-000000.dat", spectrum,
                TResultKind::kAmplitude},
           Case{"/r/Events/Primary/POWER_TVK01_240514-000000.dat", spectrum, TResultKind::kPower},
           Case{"/r/aver_spectrum.dat", spectrum, TResultKind::kSpectrum},
           Case{"/r/prim/copy.dat", spectrum, TResultKind::kSpectrum},
           // The columns of a ratio tell it, whatever the name.
           Case{"/r/Spectra/Nakamura/nak_prim_TVK01_240514-000000.dat", hv, TResultKind::kHVRatio},
           Case{"/r/prim_renamed.dat", hv, TResultKind::kHVRatio},
           Case{"/r/rel.dat", relative, TResultKind::kRelative},
       }) {
    EXPECT_EQ(ResultKindOf(c.Path, c.Names), c.Want) << c.Path;
  }
}

TEST(ResultKind, WhichKindsGoTogether) {
  using K = TResultKind;
  struct Case {
    K A, B;
    bool Agree;
  };
  for (const Case& c :
       {Case{K::kAmplitude, K::kAmplitude, true}, Case{K::kSpectrum, K::kPower, true},
        Case{K::kAmplitude, K::kSpectrum, true}, Case{K::kAmplitude, K::kPower, false},
        Case{K::kAmplitude, K::kHVRatio, false}, Case{K::kSpectrum, K::kHVRatio, false},
        Case{K::kHVRatio, K::kRelative, false}, Case{K::kRelative, K::kRelative, true}}) {
    EXPECT_EQ(KindsAgree(c.A, c.B), c.Agree)
        << static_cast<int>(c.A) << " " << static_cast<int>(c.B);
    EXPECT_EQ(KindsAgree(c.B, c.A), c.Agree);
  }
  // An untold spectrum agrees with both, but amplitude and power met later do not.
  EXPECT_TRUE(KindConflict({"a", "b", "c"}, {K::kSpectrum, K::kAmplitude, K::kSpectrum}).Ok());
  const TStatus mixed =
      KindConflict({"a", "b", "c", "d"}, {K::kSpectrum, K::kAmplitude, K::kSpectrum, K::kPower});
  EXPECT_EQ(mixed.Code, TCode::kFilesOfDifferentKinds);
  EXPECT_EQ(mixed.Args, (std::vector<TArg>{"b", MakeStatus(TCode::kKindAmplitude), "d",
                                           MakeStatus(TCode::kKindPower)}));
  EXPECT_EQ(Text(mixed, TLanguage::kRussian),
            "Файлы разного рода: b — амплитудный спектр, d — спектр мощности");
  const TStatus ratio = KindConflict({"x", "y"}, {K::kHVRatio, K::kAmplitude});
  EXPECT_EQ(Text(ratio, TLanguage::kRussian),
            "Файлы разного рода: x — отношения H/V, y — амплитудный спектр");
  EXPECT_EQ(Text(ratio, TLanguage::kEnglish),
            "Files of different kinds: x — H/V ratios, y — amplitude spectrum");
}

}  // namespace
}  // namespace tarvik
