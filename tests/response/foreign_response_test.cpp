// The foreign response readers (SAC, FAP, SEED RESP, GSE2) and the loader that recognises a
// response file by its content.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

#include "response/fap_file.h"
#include "response/gse2_response.h"
#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "response/sac_paz.h"
#include "response/seed_resp.h"
#include "test_files.h"

namespace tarvik {
namespace {

constexpr double kPi = std::numbers::pi;

TComplexFilter Sac(const std::string& text) {
  TComplexFilter zp;
  const TStatus status = ReadSacPazText(text, "x.paz", zp);
  EXPECT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
  return zp;
}

// The code of the reason a response file's defect gives; kOk when it nests none.
TCode CauseOf(const TStatus& status) {
  if (status.Args.empty() || status.Args.back().Nested == nullptr) return TCode::kOk;
  return status.Args.back().Nested->Code;
}

std::string SacFailure(const std::string& text) {
  TComplexFilter zp;
  const TStatus status = ReadSacPazText(text, "x.paz", zp);
  EXPECT_FALSE(status.Ok()) << text;
  return Text(status, TLanguage::kEnglish);
}

TEST(SacPaz, CountsRootsAndConstant) {
  const TComplexFilter two_poles = Sac("ZEROS 0\nPOLES 2\n-1 2\n-1 -2\nCONSTANT 5\n");
  EXPECT_EQ(two_poles.ZeroCount, 0);
  EXPECT_EQ(two_poles.PoleCount, 2);
  EXPECT_EQ(two_poles.Poles[1], TComplex(-1, -2));
  EXPECT_EQ(two_poles.NormFactor, 5.0);
  EXPECT_EQ(two_poles.NormType, 2);

  // Zeros left out are at the origin, as SAC writers omit them.
  const TComplexFilter filled = Sac("ZEROS 3\n0 0\nPOLES 1\n-1 0\nCONSTANT 1\n");
  EXPECT_EQ(filled.ZeroCount, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(filled.Zeros[static_cast<size_t>(i)], TComplex(0, 0));
  EXPECT_EQ(filled.PoleCount, 1);
  EXPECT_EQ(filled.Poles[0], TComplex(-1, 0));

  // Comments of both kinds, CR LF, the constant first and keywords in any case.
  const TComplexFilter reordered =
      Sac("* header\r\n  # note\r\nconstant 2.5E+03\r\n\r\nZeros 1\r\n 4\t5\r\nPOLES 1\r\n"
          "-6 7\r\n* <EOE>\r\n");
  EXPECT_EQ(reordered.NormFactor, 2500.0);
  EXPECT_EQ(reordered.Zeros[0], TComplex(4, 5));
  EXPECT_EQ(reordered.Poles[0], TComplex(-6, 7));

  // A zero count of 2 cut short by the POLES line; lines after the first description ignored.
  const TComplexFilter cut = Sac("ZEROS 2\n1 1\nPOLES 0\nCONSTANT 3\nZEROS 9\n");
  EXPECT_EQ(cut.ZeroCount, 2);
  EXPECT_EQ(cut.Zeros[1], TComplex(0, 0));
  EXPECT_EQ(cut.NormFactor, 3.0);
}

TEST(SacPaz, Failures) {
  struct Case {
    const char* Text;
    const char* Want;
    TCode Cause;
  };
  for (const Case& c : {
           Case{"ZEROS 0\nPOLES 0\n", "x.paz: the file has no CONSTANT line",
                TCode::kRefuseNoKeyLine},
           Case{"ZEROS 41\nPOLES 0\nCONSTANT 1\n",
                "x.paz, line 1: ZEROS 41: a response holds 0..40", TCode::kRefuseZeroCountRange},
           Case{"ZEROS 0\nPOLES 1\n-1 x\nCONSTANT 1\n", "x.paz, line 3: a root needs",
                TCode::kRefuseRootNeedsParts},
           Case{"ZEROS 0\nPOLES 0\nCONSTANT one\n", "line 3: the CONSTANT \"one\" is not a number",
                TCode::kRefuseKeyNotNumber},
           Case{"ZEROS 1.5\n", "line 1: the count of ZEROS \"1.5\" is not an integer",
                TCode::kRefuseCountOfNotInteger},
           Case{"ZEROS 0\nZEROS 0\n", "line 2: a second ZEROS line", TCode::kRefuseSecondLine},
       }) {
    EXPECT_NE(SacFailure(c.Text).find(c.Want), std::string::npos) << SacFailure(c.Text);
    TComplexFilter zp;
    const TStatus status = ReadSacPazText(c.Text, "x.paz", zp);
    EXPECT_EQ(CauseOf(status), c.Cause) << SacFailure(c.Text);
  }
}

// CONSTANT·|Π(s − z)/Π(s − p)| at 0.1, 1 and 10 Hz, computed with numpy from the roots and
// constants printed in the files (zeros the ZEROS count adds are at the origin).
struct SacReference {
  const char* File;
  double At01, At1, At10;
  // The displacement unit the comment header declares, in metres (0: none declared); loaded,
  // the response is the velocity response H/(iω·metres).
  double DeclaredMetres = 0.0;
};

class RealSacFiles : public ::testing::TestWithParam<SacReference> {};

TEST_P(RealSacFiles, ModulusMatchesIndependentEvaluation) {
  const SacReference& r = GetParam();
  const std::string path = testing::RealFile(std::string("resp/") + r.File);
  const std::vector<uint8_t> bytes = testing::ReadBytes(path);
  const TComplexFilter read = Sac(std::string(bytes.begin(), bytes.end()));
  TFilterPack pack;
  const TStatus status = LoadResponse(path, pack);
  ASSERT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
  EXPECT_TRUE(pack.Device.ZPAvailable);
  EXPECT_EQ(pack.Device.Note, r.File);
  const double freqs[] = {0.1, 1.0, 10.0};
  const double want[] = {r.At01, r.At1, r.At10};
  for (int i = 0; i < 3; ++i) {
    const double f = freqs[i];
    EXPECT_NEAR(ResponseModulus(EvaluateZP(read, f)), want[i], 1e-9 * want[i]) << f;
    const double velocity =
        r.DeclaredMetres > 0.0 ? want[i] / (2 * kPi * f * r.DeclaredMetres) : want[i];
    EXPECT_NEAR(ResponseModulus(EvaluatePack(pack, f)), velocity, 1e-9 * velocity) << f;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, RealSacFiles,
    ::testing::Values(SacReference{"IU_ANMO_00_BHZ.paz", 2370975519.368238, 23757092293.574776,
                                   51503925434.33007, 1.0},
                      SacReference{"NZCRLZ_HHZ10.paz", 0.52282613191042182, 5.2706900517306492,
                                   52.081477048710767, 1e-9},
                      SacReference{"SAC_PZs_NZ_CRLZ_HHZ.sac", 522831225.92711645,
                                   5270719874.3745899, 52081760493.134651}));

TEST(FapFile, RowsAndPadding) {
  TFAPFilter table;
  ASSERT_TRUE(ReadFapText("5 rows follow\n1, 2, 0.1\n\n2 3\n4\t5,0.5\n", "t.fap", table).Ok());
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(table[1].Phase, 0.0) << "a missing phase is 0";
  EXPECT_EQ(table[2].Frequency, 4.0);
  for (size_t i = 3; i < 5; ++i) {
    EXPECT_EQ(table[i].Frequency, 4.0);
    EXPECT_EQ(table[i].Amplitude, 5.0);
    EXPECT_EQ(table[i].Phase, 0.5);
  }
  // The padded copies must not turn evaluation beyond the table into 0/0.
  EXPECT_NEAR(ResponseModulus(EvaluateFAP(table, 8.0)), 5.0, 1e-12);
  ASSERT_TRUE(ReadFapText("2\r\n1 2 x\r\n3 4 0\r\n9 9 9\r\n", "t.fap", table).Ok());
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].Phase, 0.0) << "an unreadable phase is 0";
}

TEST(FapFile, Failures) {
  struct Case {
    const char* Text;
    const char* Want;
    TCode Cause;
  };
  for (const Case& c : {
           Case{"", "t.fap: the file is empty", TCode::kRefuseFileEmpty},
           Case{"rows\n1 1 0\n", "t.fap, line 1: the row count", TCode::kRefuseRowCountNotInteger},
           Case{"0\n1 1 0\n", "line 1: the row count is 0", TCode::kRefuseRowCountNotPositive},
           Case{"99999\n1 1 0\n", "line 1: the row count 99999 is more than the file",
                TCode::kRefuseRowCountBeyondFile},
           Case{"3    \n\n", "line 1: no table row follows", TCode::kRefuseNoTableRow},
           Case{"2\n1 1 0\nabc 1 0\n", "line 3: a table row needs a frequency",
                TCode::kRefuseRowNeedsFrequency},
       }) {
    TFAPFilter table = {{1, 1, 1}};
    const TStatus status = ReadFapText(c.Text, "t.fap", table);
    EXPECT_FALSE(status.Ok()) << c.Text;
    EXPECT_EQ(CauseOf(status), c.Cause) << Text(status, TLanguage::kEnglish);
    EXPECT_NE(Text(status, TLanguage::kEnglish).find(c.Want), std::string::npos)
        << Text(status, TLanguage::kEnglish);
    EXPECT_TRUE(table.empty());
  }
}

TEST(SeedTime, Conversion) {
  struct Case {
    const char* Text;
    TDateTime Want;
  };
  for (const Case& c : {
           Case{"1989,241,00:00:00.0000", EncodeDayOfYear(1989, 241)},
           Case{"2010,048,03:08:00", EncodeDayOfYear(2010, 48, 3, 8)},
           Case{"2006,001,00:00:12.25", EncodeDayOfYear(2006, 1, 0, 0, 12, 0.25)},
           Case{"2001,001", EncodeDayOfYear(2001, 1)},
           Case{"2000,366,23:59", EncodeDayOfYear(2000, 366, 23, 59)},
           Case{"2001,366", 0.0},
           Case{"2001,100,25:00", 0.0},
           Case{"No Ending Time", 0.0},
           Case{"", 0.0},
       }) {
    EXPECT_NEAR(ParseSeedTime(c.Text), c.Want, 1e-9) << c.Text;
  }
}

std::string SeedHeader(const char* station, const char* channel) {
  return std::string("B050F03     Station:     ") + station +
         "\nB050F16     Network:     XX\nB052F03     Location:    ??\n"
         "B052F04     Channel:     " +
         channel +
         "\nB052F22     Start date:  2006,001,00:00:00.0000\n"
         "B052F23     End date:    No Ending Time\n";
}

std::string PazStage(int stage, const char* type, int zeros, int poles, double norm_f) {
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "B053F03     Transfer function type:     %s\n"
                "B053F04     Stage sequence number:      %d\n"
                "B053F05     Response in units lookup:   M/S - Velocity\n"
                "B053F06     Response out units lookup:  V - Volts\n"
                "B053F07     A0 normalization factor:    123\n"
                "B053F08     Normalization frequency:    %g\n"
                "B053F09     Number of zeroes:           %d\n"
                "B053F14     Number of poles:            %d\n",
                type, stage, norm_f, zeros, poles);
  return buf;
}

std::string Gain(int stage, double gain) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "B058F03     Stage sequence number:      %d\n"
                "B058F04     Gain:                       %g\n",
                stage, gain);
  return buf;
}

TEST(SeedResp, StagesGatherIntoOneDescription) {
  const std::string text = "# comment\n" + SeedHeader("STA", "HHZ") +
                           PazStage(1, "A [Laplace]", 1, 2, 1.0) +
                           "B053F10-13    0  0.0  0.0  0.0  0.0\n"
                           "B053F15-18    1 -2.0 -1.0  0.0  0.0\n"
                           "B053F15-18    0 -2.0  1.0  0.0  0.0\n" +
                           Gain(1, 10.0) + PazStage(2, "A", 0, 1, 1.0) +
                           "B053F15-18    0 -7.0  0.0  0.0  0.0\n" + Gain(2, 4.0) + Gain(0, 1000.0);
  TCombinedFilter packs;
  const TStatus status = ReadSeedRespText(text, "r.seed", packs);
  ASSERT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
  ASSERT_EQ(packs.size(), 1u);
  const TFilterPack& p = packs[0];
  EXPECT_EQ(p.Device.Station, "STA");
  EXPECT_EQ(p.Device.Network, "XX");
  EXPECT_EQ(p.Device.Channel, "HHZ");
  EXPECT_EQ(p.Device.UnitIn, "M/S");
  EXPECT_EQ(p.Device.Note, "No Ending Time");
  EXPECT_EQ(p.Device.Date, EncodeDayOfYear(2006, 1));
  EXPECT_EQ(p.Device.EndDate, 0.0);
  ASSERT_EQ(p.ZP.ZeroCount, 1);
  ASSERT_EQ(p.ZP.PoleCount, 3);
  EXPECT_EQ(p.ZP.Poles[0], TComplex(-2, 1));
  EXPECT_EQ(p.ZP.Poles[1], TComplex(-2, -1));
  EXPECT_EQ(p.ZP.Poles[2], TComplex(-7, 0)) << "stage 2's pole follows stage 1's";
  EXPECT_NEAR(ResponseModulus(EvaluatePack(p, 1.0)), 1000.0, 1e-9) << "stage 0 sensitivity";

  // Without the stage 0 line the modulus is the product of the stage gains.
  const std::string no_total = text.substr(0, text.rfind("B058F03"));
  ASSERT_TRUE(ReadSeedRespText(no_total, "r.seed", packs).Ok());
  EXPECT_NEAR(ResponseModulus(EvaluatePack(packs[0], 1.0)), 40.0, 1e-12);
}

TEST(SeedResp, HertzRootsBecomeRadiansPerSecond) {
  TCombinedFilter packs;
  ASSERT_TRUE(ReadSeedRespText(SeedHeader("S", "C") + PazStage(1, "B", 0, 1, 1.0) +
                                   "B053F15-18    0 -1.5  0.5  0.0  0.0\n",
                               "r.seed", packs)
                  .Ok());
  EXPECT_NEAR(std::abs(packs[0].ZP.Poles[0] - TComplex(-3 * kPi, kPi)), 0.0, 1e-12);
}

TEST(SeedResp, Failures) {
  struct Case {
    std::string Text;
    const char* Want;
    TCode Cause;
  };
  const std::string head = SeedHeader("S", "C");  // 6 lines
  for (const Case& c : {
           Case{head + PazStage(1, "A", 0, 1, 1.0) + "B053F15-18 1 -1 0 0 0\n",
                "r.seed, line 15: pole index 1 lies outside its stage's 1 poles",
                TCode::kRefusePoleIndexOutside},
           Case{head + PazStage(1, "A", 0, 1, 1.0) + "B053F15-18 0 -1 x 0 0\n",
                "line 15: B053F15-18: \"x\" is not a number", TCode::kRefuseTagNotNumber},
           Case{head + PazStage(1, "A", 0, 30, 1.0) + PazStage(2, "A", 0, 11, 1.0),
                "line 22: B053F14: 11 more poles after 30; a response holds at most 40",
                TCode::kRefuseMorePoles},
           Case{head + "B053F04     Stage sequence number:  one\n",
                "line 7: B053F04: \"one\" is not an integer", TCode::kRefuseTagNotInteger},
       }) {
    TCombinedFilter packs;
    const TStatus status = ReadSeedRespText(c.Text, "r.seed", packs);
    EXPECT_FALSE(status.Ok());
    EXPECT_EQ(CauseOf(status), c.Cause) << Text(status, TLanguage::kEnglish);
    EXPECT_NE(Text(status, TLanguage::kEnglish).find(c.Want), std::string::npos)
        << Text(status, TLanguage::kEnglish);
    EXPECT_TRUE(packs.empty());
  }
}

// For each real listing: the frequency of B053F08, the stage 0 sensitivity of B058F04 (both as
// stated in the file) and the modulus at 0.1, 1 and 10 Hz computed with numpy as
// sensitivity·|H0(f)|/|H0(f_norm)|, H0 = Π(s − z)/Π(s − p) of the listed roots.
struct SeedReference {
  const char* File;
  const char* Station;
  double NormFrequency, Sensitivity;
  double At01, At1, At10;
  // Stage 1 takes acceleration (M/S**2): loaded as a chain's response to velocity, the
  // response is multiplied by iω.
  bool Acceleration = false;
};

class RealSeedListings : public ::testing::TestWithParam<SeedReference> {};

TEST_P(RealSeedListings, ModulusAtNormFrequencyIsTheSensitivity) {
  const SeedReference& r = GetParam();
  const std::string path = testing::RealFile(std::string("resp/") + r.File);
  const std::vector<uint8_t> bytes = testing::ReadBytes(path);
  TCombinedFilter packs;
  const TStatus status = ReadSeedRespText(std::string(bytes.begin(), bytes.end()), r.File, packs);
  ASSERT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
  ASSERT_FALSE(packs.empty());
  const TFilterPack& read = packs.back();
  EXPECT_EQ(read.Device.Station, r.Station);
  EXPECT_EQ(read.ZP.NormFrequency, r.NormFrequency);
  EXPECT_NEAR(ResponseModulus(EvaluatePack(read, r.NormFrequency)), r.Sensitivity,
              1e-6 * r.Sensitivity);
  TFilterPack loaded;
  TResponseLoadInfo info;
  ASSERT_TRUE(LoadResponse(path, loaded, &info).Ok());
  EXPECT_EQ(info.Format, TResponseFormat::kSeedResp);
  EXPECT_EQ(info.Converted, r.Acceleration);
  const double freqs[] = {0.1, 1.0, 10.0};
  const double want[] = {r.At01, r.At1, r.At10};
  for (int i = 0; i < 3; ++i) {
    const double f = freqs[i];
    EXPECT_NEAR(ResponseModulus(EvaluatePack(read, f)), want[i], 1e-6 * want[i]) << f;
    const TComplex velocity =
        EvaluatePack(read, f) * (r.Acceleration ? TComplex(0, 2 * kPi * f) : 1.0);
    EXPECT_NEAR(std::abs(EvaluatePack(loaded, f) - velocity), 0.0, 1e-9 * std::abs(velocity)) << f;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, RealSeedListings,
    ::testing::Values(SeedReference{"RESP.BW.FURT..EHZ.seed", "FURT", 3.0, 671140000.0,
                                    3392406.5694746897, 471209731.43631274, 676253619.57300484},
                      SeedReference{"RESP.HRV.IU.00.BHZ_cropped.seed", "HRV", 0.05, 4025130000.0,
                                    4021523537.1944342, 4028968859.8787689, 3223537215.6404715},
                      SeedReference{"RESP.XX.NR008..HHZ.130.1.100.seed", "NR008", 1.0, 629129.0,
                                    629129.0, 629129.0, 629129.0},
                      SeedReference{"RESP.XX.NS085..BHZ.STS2_gen3.120.1500.seed", "NS085", 1.0,
                                    1500.0, 1492.7521576182016, 1500.0, 1585.9915088404027},
                      SeedReference{"RESP.multiple_gain_blockettes.seed", "BMN", 0.1, 0.5, 0.5,
                                    0.49975785872516709, 0.47689066567215543, true},
                      SeedReference{"RESP.paz_with_no_values.seed", "GTC1", 0.02, 10125100.0,
                                    10125100.0, 10125100.0, 10125100.0, true}));

// GSE2 lines laid out in their columns.
std::string Cal2(const char* station, double calib, double period, const char* off = "") {
  char buf[160];
  std::snprintf(buf, sizeof buf,
                "CAL2 %-5s %-3s %-4s %-6s %15.8e %7.3f %10.5f 2001/05/17 10:30 %s\n", station,
                "SHZ", "ax1", "GS-13", calib, period, 40.0, off);
  return buf;
}

std::string Paz2(int stage, int poles, int zeros) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "PAZ2 %2d V %15.8e %4d %8.3f %3d %3d Laplace\n", stage, 1.0, 0,
                0.0, poles, zeros);
  return buf;
}

std::string Root(double re, double im) {
  char buf[80];
  std::snprintf(buf, sizeof buf, " %15.8e %15.8e\n", re, im);
  return buf;
}

TEST(Gse2, CalibrationSetsTheModulusAtItsPeriod) {
  // A zero at 0 and a pole at −2π: |H0(f)| = f/√(f² + 1); calibration 1 nm/count at 1 s.
  const std::string text = "DATA_TYPE RESPONSE GSE2.1\n" + Cal2("ARA0", 1.0, 1.0) + Paz2(1, 1, 0) +
                           Root(-2 * kPi, 0) + "DIG2  2 0.1E+07 40\n" + Paz2(3, 0, 1) + Root(0, 0);
  TCombinedFilter packs;
  const TStatus status = ReadGse2Text(text, "c.gse", packs);
  ASSERT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
  ASSERT_EQ(packs.size(), 1u);
  const TFilterPack& p = packs[0];
  EXPECT_EQ(p.Device.Station, "ARA0");
  EXPECT_EQ(p.Device.Channel, "SHZ");
  EXPECT_EQ(p.Device.Serial, "ax1");
  EXPECT_EQ(p.Device.Model, "GS-13");
  EXPECT_EQ(p.Device.Network, "??");
  EXPECT_NEAR(p.Device.Date, EncodeDateTime(2001, 5, 17, 10, 30), 1e-9);
  EXPECT_EQ(p.Device.EndDate, 0.0) << "no off-date: still valid";
  EXPECT_EQ(p.ZP.PoleCount, 1);
  EXPECT_EQ(p.ZP.ZeroCount, 1);
  EXPECT_NEAR(ResponseModulus(EvaluatePack(p, 1.0)), 1e9, 1e-6);
  // The pole is written with 9 digits, hence the tolerance.
  const double want = 1e9 * std::sqrt(2.0) * 10 / std::sqrt(101.0);
  EXPECT_NEAR(ResponseModulus(EvaluatePack(p, 10.0)), want, 1e-8 * want);
}

TEST(Gse2, SeveralChannelsAndFailures) {
  TCombinedFilter packs;
  ASSERT_TRUE(ReadGse2Text(Cal2("A", 2.0, 0.5, "2002/01/02 00:00") + Paz2(1, 0, 0) +
                               Cal2("B", 4.0, 2.0) + Paz2(1, 1, 0) + Root(-1, 0),
                           "c.gse", packs)
                  .Ok());
  ASSERT_EQ(packs.size(), 2u);
  EXPECT_EQ(packs[0].Device.EndDate, EncodeDateTime(2002, 1, 2));
  EXPECT_NEAR(ResponseModulus(EvaluatePack(packs[0], 2.0)), 0.5e9, 1e-3);
  EXPECT_NEAR(ResponseModulus(EvaluatePack(packs[1], 0.5)), 0.25e9, 1e-3);

  struct Case {
    std::string Text;
    const char* Want;
    TCode Cause;
  };
  for (const Case& c : {
           Case{Cal2("A", 0.0, 1.0), "c.gse, line 1: the calibration is 0",
                TCode::kRefuseCalibrationZero},
           Case{"CAL2 A     SHZ ax1  GS-13  1.0 1.0 40 2001/13/01 10:30\n",
                "line 1: the on date \"2001/13/01\"", TCode::kRefuseFieldDate},
           Case{Cal2("A", 1.0, 1.0) + Paz2(1, 2, 0) + Root(-1, 0), "the file ends inside a PAZ2",
                TCode::kRefuseEndsInsidePaz2},
           Case{Cal2("A", 1.0, 1.0) + Paz2(1, 1, 0) + " abc def\n", "line 3: a root needs",
                TCode::kRefuseRootNeedsParts},
           Case{Cal2("A", 1.0, 1.0) + Paz2(1, 41, 0), "line 2: 41 more poles after 0",
                TCode::kRefuseMorePolesAfter},
       }) {
    const TStatus status = ReadGse2Text(c.Text, "c.gse", packs);
    EXPECT_FALSE(status.Ok()) << c.Text;
    EXPECT_EQ(CauseOf(status), c.Cause) << Text(status, TLanguage::kEnglish);
    EXPECT_NE(Text(status, TLanguage::kEnglish).find(c.Want), std::string::npos)
        << Text(status, TLanguage::kEnglish);
  }
}

TEST(DetectResponseFormat, JudgesByContentAlone) {
  struct Case {
    std::string Text;
    TResponseFormat Want;
  };
  const std::string xml = "<?xml version=\"1.0\"?>\n<FDSNStationXML schemaVersion=\"1.1\">";
  for (const Case& c : {
           Case{"[DEVICE]\r\nSerial=\r\n", TResponseFormat::kRsp},
           Case{"#  comment\nB050F03     Station:     NS085\n", TResponseFormat::kSeedResp},
           Case{"B053F10-13    0  0.0  0.0  0.0  0.0\n", TResponseFormat::kSeedResp},
           Case{"DATA_TYPE RESPONSE GSE2.1\nCAL2 ARA0 SHZ\n", TResponseFormat::kGse2},
           Case{"* INPUT UNIT : M\nZEROS 0\nPOLES 1\n-1 0\nCONSTANT 3\n", TResponseFormat::kSacPaz},
           Case{"constant\t2.5\n", TResponseFormat::kSacPaz},
           Case{"3 rows\n0.1, 2, 0\n", TResponseFormat::kFap},
           Case{"\xEF\xBB\xBF" + xml, TResponseFormat::kStationXml},
           Case{"  " + xml, TResponseFormat::kStationXml},
           // Text that only mentions the words, a comment, an HTML page, numbers without a table.
           Case{"Zeros and poles of the sensor are listed below.\n", TResponseFormat::kUnknown},
           Case{"* ZEROS 3\n", TResponseFormat::kUnknown},
           Case{"<html><body>B050F03</body></html>", TResponseFormat::kUnknown},
           Case{"hello\n", TResponseFormat::kUnknown},
           Case{"0\n1 2 0\n", TResponseFormat::kUnknown},
           Case{"12\n", TResponseFormat::kUnknown},
           Case{"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", TResponseFormat::kUnknown},
           Case{"", TResponseFormat::kUnknown},
       }) {
    EXPECT_EQ(DetectResponseFormat(c.Text), c.Want) << c.Text;
  }
}

// Each real response file is recognised by what it holds, and a copy under a name no extension
// rule knows (RESP.XX.NS085..BHZ, SAC_PZs_NZ_CRLZ_HHZ_10_..., as archives and rdseed name them)
// loads the same response.
TEST(LoadResponse, RealFilesReadTheSameUnderAnyName) {
  testing::TempDir dir;
  struct Case {
    const char* File;
    const char* Copy;
    TResponseFormat Format;
  };
  for (const Case& c : {
           Case{"resp/RESP.XX.NS085..BHZ.STS2_gen3.120.1500.seed", "RESP.XX.NS085..BHZ",
                TResponseFormat::kSeedResp},
           Case{"resp/RESP.BW.FURT..EHZ.seed", "RESP.BW.FURT..EHZ.txt", TResponseFormat::kSeedResp},
           Case{"resp/SAC_PZs_NZ_CRLZ_HHZ.sac",
                "SAC_PZs_NZ_CRLZ_HHZ_10_2003.071.00.00.00.0000_2037.365.23.59.59.99999",
                TResponseFormat::kSacPaz},
           Case{"resp/IU_ANMO_00_BHZ.paz", "anmo.fap", TResponseFormat::kSacPaz},
           Case{"stationxml/RESP.ANMO.IU.00.BHZ", "RESP.ANMO.IU.00.BHZ",
                TResponseFormat::kSeedResp},
       }) {
    const std::string original = testing::RealFile(c.File);
    const std::vector<uint8_t> bytes = testing::ReadBytes(original);
    testing::WriteBytes(dir.File(c.Copy), bytes);
    EXPECT_EQ(DetectResponseFormat(std::string(bytes.begin(), bytes.end())), c.Format) << c.File;
    TFilterPack a, b;
    TResponseLoadInfo info;
    ASSERT_TRUE(LoadResponse(original, a).Ok()) << c.File;
    const TStatus status = LoadResponse(dir.File(c.Copy), b, &info);
    ASSERT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
    EXPECT_EQ(info.Format, c.Format);
    EXPECT_TRUE(b.Device.ZPAvailable);
    for (double f : {0.05, 1.0, 20.0}) {
      EXPECT_EQ(EvaluatePack(a, f), EvaluatePack(b, f)) << c.Copy << " at " << f;
      EXPECT_NE(EvaluatePack(b, f), TComplex(1.0, 0.0)) << "a corrected response, not a flat one";
    }
  }
}

TEST(LoadResponse, ContentNoReaderTakesIsRefusedWithTheName) {
  testing::TempDir dir;
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13};
  std::vector<uint8_t> noise(4096);
  uint32_t x = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  testing::WriteText(dir.File("notes.txt"), "hello\n");
  testing::WriteText(dir.File("README"), "# Sensor\n\nA geophone of 4.5 Hz.\n");
  testing::WriteBytes(dir.File("picture.png"), png);
  testing::WriteBytes(dir.File("noise.bin"), noise);
  testing::WriteText(dir.File("empty"), "");
  struct Case {
    const char* Name;
    const char* Want;
  };
  for (const Case& c : {
           Case{"notes.txt", "not a response file"},
           Case{"README", "not a response file"},
           Case{"picture.png", "not a response file"},
           Case{"noise.bin", "not a response file"},
           Case{"empty", "not a response file"},
       }) {
    TFilterPack pack;
    pack.Device.ZPAvailable = true;
    const TStatus status = LoadResponse(dir.File(c.Name), pack);
    EXPECT_EQ(status.Code, TCode::kResponseFormatUnknown) << c.Name;
    EXPECT_EQ(Text(status, TLanguage::kEnglish).rfind(dir.File(c.Name) + ": " + c.Want, 0), 0u)
        << Text(status, TLanguage::kEnglish);
    EXPECT_TRUE(DescribesNothing(pack));
    EXPECT_FALSE(TakenAsFlatResponse(dir.File(c.Name)));
  }
  // An empty path is no response file at all: a device of response 1.
  TFilterPack pack;
  pack.Device.ZPAvailable = true;
  ASSERT_TRUE(LoadResponse("", pack).Ok());
  EXPECT_EQ(EvaluatePack(pack, 0.5), TComplex(1.0, 0.0));
}

// A file whose content shows no format is read by its extension, so that a damaged SAC or FAP
// file is refused with its reader's reason; the extension is matched without regard to case.
TEST(LoadResponse, ExtensionDecidesOnlyWhenTheContentDoesNot) {
  testing::TempDir dir;
  const std::string sac = "ZEROS 0\nPOLES 1\n-1 0\nCONSTANT 3\n";
  testing::WriteText(dir.File("a.paz"), sac);
  testing::WriteText(dir.File("b.PAZ"), sac);
  testing::WriteText(dir.File("c.Sac"), sac);
  testing::WriteText(dir.File("d.txt"), sac);
  testing::WriteText(dir.File("e.fap"), "1\n2 7 0.5\n");
  const double want = 3.0 / std::hypot(1.0, 2 * kPi * 0.5);
  for (const char* name : {"a.paz", "b.PAZ", "c.Sac", "d.txt"}) {
    TFilterPack pack;
    ASSERT_TRUE(LoadResponse(dir.File(name), pack).Ok()) << name;
    EXPECT_EQ(pack.Device.Note, name);
    EXPECT_TRUE(pack.Device.ZPAvailable && !pack.Device.FAPAvailable);
    EXPECT_GT(pack.Device.Date, 40000.0) << "the file's modification date";
    EXPECT_NEAR(ResponseModulus(EvaluatePack(pack, 0.5)), want, 1e-12) << name;
  }
  TFilterPack pack;
  ASSERT_TRUE(LoadResponse(dir.File("e.fap"), pack).Ok());
  EXPECT_TRUE(pack.Device.FAPAvailable && !pack.Device.ZPAvailable);
  EXPECT_NEAR(ResponseModulus(EvaluatePack(pack, 30.0)), 7.0, 1e-12) << "one row: flat";

  testing::WriteText(dir.File("broken.paz"), "ZEROS 1\n0 0\nPOLES 0\n");
  testing::WriteText(dir.File("broken.FAP"), "x\n");
  struct Case {
    const char* Text;
    const char* Want;
  };
  for (const Case& c : {Case{"broken.paz", "the file has no CONSTANT line"},
                        Case{"broken.FAP", "line 1: the row count"}}) {
    const TStatus status = LoadResponse(dir.File(c.Text), pack);
    EXPECT_FALSE(status.Ok()) << c.Text;
    EXPECT_NE(Text(status, TLanguage::kEnglish).find(c.Want), std::string::npos)
        << Text(status, TLanguage::kEnglish);
  }
  // A named file that is not there fails, whatever its extension.
  for (const char* name : {"absent.txt", "absent.paz", "absent"}) {
    const TStatus status = LoadResponse(dir.File(name), pack);
    EXPECT_FALSE(status.Ok()) << name;
    EXPECT_NE(Text(status, TLanguage::kEnglish).find(name), std::string::npos)
        << Text(status, TLanguage::kEnglish);
  }
}

TEST(LoadResponse, SeedAndGseKeepTheLastResponse) {
  testing::TempDir dir;
  testing::WriteText(dir.File("two.seed"), SeedHeader("ONE", "HHZ") + PazStage(1, "A", 0, 0, 1.0) +
                                               Gain(0, 5.0) + SeedHeader("TWO", "HHN") +
                                               PazStage(1, "A", 0, 0, 1.0) + Gain(0, 9.0));
  testing::WriteText(dir.File("two.gse"),
                     Cal2("ONE", 1.0, 1.0) + Paz2(1, 0, 0) + Cal2("TWO", 2.0, 1.0) + Paz2(1, 0, 0));
  TFilterPack pack;
  ASSERT_TRUE(LoadResponse(dir.File("two.seed"), pack).Ok());
  EXPECT_EQ(pack.Device.Station, "TWO");
  EXPECT_NEAR(ResponseModulus(EvaluatePack(pack, 1.0)), 9.0, 1e-12);
  ASSERT_TRUE(LoadResponse(dir.File("two.gse"), pack).Ok());
  EXPECT_EQ(pack.Device.Station, "TWO");
  // GSE2 calibrations are in nm per count, a response to displacement: as a response to
  // velocity it is divided by 2πf.
  EXPECT_NEAR(ResponseModulus(EvaluatePack(pack, 1.0)), 0.5e9 / (2 * kPi), 1e-3);
}

TEST(LoadResponse, FilesWithoutAResponseFail) {
  testing::TempDir dir;
  struct Case {
    const char* Name;
    std::string Text;
    const char* Want;
    TCode Code;
    int64_t Line;
  };
  for (const Case& c : {
           Case{"none.seed", "# nothing here\nB053F04 Stage: 1\n",
                "none.seed: describes no response (no B050F03 line)",
                TCode::kResponseNothingDescribed, -1},
           Case{"gain.seed", SeedHeader("S", "C") + Gain(0, 5.0), "has no poles-and-zeros stage",
                TCode::kResponseWithoutPoles, -1},
           Case{"none.gse", "DATA_TYPE RESPONSE GSE2.1\n", "describes no response (no CAL2 line)",
                TCode::kResponseNothingDescribed, -1},
           Case{"cal.gse", Cal2("A", 1.0, 1.0), "(station A, channel SHZ) has no poles-and-zeros",
                TCode::kResponseWithoutPoles, -1},
           Case{"bad.fap", "0\n", "bad.fap, line 1", TCode::kResponseDefectAtLine, 1},
       }) {
    testing::WriteText(dir.File(c.Name), c.Text);
    TFilterPack pack;
    const TStatus status = LoadResponse(dir.File(c.Name), pack);
    EXPECT_EQ(status.Code, c.Code) << c.Name;
    EXPECT_EQ(status.File, dir.File(c.Name));
    EXPECT_EQ(status.Line, c.Line) << c.Name;
    EXPECT_NE(Text(status, TLanguage::kEnglish).find(c.Want), std::string::npos)
        << Text(status, TLanguage::kEnglish);
    EXPECT_EQ(EvaluatePack(pack, 1.0), TComplex(1.0, 0.0));
  }
  TFilterPack pack;
  const TStatus missing = LoadResponse(dir.File("missing.paz"), pack);
  EXPECT_EQ(missing.Code, TCode::kResponseFileNotOpened);
  EXPECT_EQ(missing.File, dir.File("missing.paz"));
  EXPECT_NE(Text(missing, TLanguage::kEnglish).find("missing.paz: cannot be opened"),
            std::string::npos);
}

TEST(LoadChannelChain, ChannelFileOrSensorThenAmplifier) {
  testing::TempDir dir;
  testing::WriteText(dir.File("sensor.fap"), "1\n1 3 0\n");
  testing::WriteText(dir.File("amp.fap"), "1\n1 5 0\n");
  testing::WriteText(dir.File("channel.fap"), "1\n1 7 0\n");
  testing::WriteText(dir.File("broken.fap"), "x\n");
  struct Case {
    std::string Channel, Sensor, Amplifier;
    size_t Packs;
    double Modulus;
  };
  for (const Case& c : {
           Case{dir.File("channel.fap"), dir.File("sensor.fap"), dir.File("amp.fap"), 1, 7.0},
           Case{"", dir.File("sensor.fap"), dir.File("amp.fap"), 2, 15.0},
           Case{"", dir.File("sensor.fap"), dir.File("no-such-amp.fap"), 1, 3.0},
           Case{"", "", dir.File("amp.fap"), 2, 5.0},
           Case{"", "", "", 1, 1.0},
       }) {
    TCombinedFilter chain;
    ASSERT_TRUE(LoadChannelChain(c.Channel, c.Sensor, c.Amplifier, chain).Ok());
    EXPECT_EQ(chain.size(), c.Packs);
    EXPECT_NEAR(ResponseModulus(EvaluateChain(chain, 2.0)), c.Modulus, 1e-12);
  }
  TCombinedFilter chain;
  const TStatus status =
      LoadChannelChain("", dir.File("sensor.fap"), dir.File("broken.fap"), chain);
  EXPECT_FALSE(status.Ok());
  EXPECT_NE(Text(status, TLanguage::kEnglish).find("broken.fap, line 1"), std::string::npos)
      << Text(status, TLanguage::kEnglish);
  EXPECT_TRUE(chain.empty());
}

}  // namespace
}  // namespace tarvik
