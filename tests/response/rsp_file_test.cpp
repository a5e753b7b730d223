#include "response/rsp_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "response/response_evaluation.h"
#include "test_files.h"

namespace tarvik {
namespace {

constexpr TDateTime kNow = 45000.5;  // the date a file without a readable Date gets

TFilterPack Read(const std::string& text) {
  TFilterPack pack;
  const TStatus status = ReadRspText(text, "x.rsp", pack, kNow);
  EXPECT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
  return pack;
}

std::string Fails(const std::string& text) {
  TFilterPack pack;
  pack.Device.ZPAvailable = true;
  const TStatus status = ReadRspText(text, "x.rsp", pack, kNow);
  EXPECT_FALSE(status.Ok());
  EXPECT_FALSE(pack.Device.ZPAvailable) << "a failed read leaves no description";
  return Text(status, TLanguage::kEnglish);
}

const std::string kZpDevice = "[DEVICE]\nZP available=True\n";

TEST(ReadRsp, DeviceOnlyHasNoDescriptionAndDefaults) {
  const TFilterPack pack = Read("[DEVICE]\r\nSerial=12\r\nNote=n\r\n");
  EXPECT_FALSE(pack.Device.ZPAvailable || pack.Device.FAPAvailable ||
               pack.Device.BiCascadeAvailable || pack.Device.CascadeAvailable);
  EXPECT_EQ(pack.Device.Serial, "12");
  EXPECT_EQ(pack.Device.UnitIn, "none");
  EXPECT_EQ(pack.Device.Date, kNow);
  EXPECT_EQ(EvaluatePack(pack, 2.0), TComplex(1.0, 0.0));
}

TEST(ReadRsp, BooleanFlags) {
  struct Case {
    const char* Value;
    bool Want;
  };
  for (const Case& c : {Case{"True", true}, Case{"true", true}, Case{"TRUEly", true},
                        Case{"1", true}, Case{"7", true}, Case{"False", false}, Case{"0", false},
                        Case{"yes", false}, Case{"", false}, Case{"05", false}}) {
    const TFilterPack pack =
        Read(std::string("[DEVICE]\nFAP available=") + c.Value + "\n[FAP]\n1 1 0\n");
    EXPECT_EQ(pack.Device.FAPAvailable, c.Want) << c.Value;
  }
}

TEST(ReadRsp, RootsAreFilledWithZerosAndCutToTheCount) {
  const TFilterPack pack = Read(kZpDevice +
                                "[ZP]\nNumber of zeroes=3\nNumber of poles=1 ; one pole\n"
                                "[ZEROES]\n1 2\n  3,4\n[POLES]\n-5\t6\n-7 8\n");
  const TComplexFilter& zp = pack.ZP;
  EXPECT_EQ(zp.Kind, 'S');
  ASSERT_EQ(zp.ZeroCount, 3);
  ASSERT_EQ(zp.PoleCount, 1);
  EXPECT_EQ(zp.Zeros[0], TComplex(1, 2));
  EXPECT_EQ(zp.Zeros[1], TComplex(3, 4));
  EXPECT_EQ(zp.Zeros[2], TComplex(0, 0));
  EXPECT_EQ(zp.Poles[0], TComplex(-5, 6));
  EXPECT_EQ(zp.Poles[1], TComplex(0, 0)) << "rows beyond the count are ignored";
}

TEST(ReadRsp, ZPIsNormalisedWithItsDefaults) {
  // Default NormType 2: the factor is kept and NormValue records the modulus at 1 Hz.
  const TFilterPack kept = Read(kZpDevice +
                                "[ZP]\nNormalization factor=4\nNumber of poles=1\n[POLES]\n"
                                "-6.283185307179586 0\n");
  EXPECT_EQ(kept.ZP.NormType, 2);
  EXPECT_NEAR(kept.ZP.NormValue, 4.0 / (2.0 * std::numbers::pi * std::sqrt(2.0)), 1e-12);
  const TFilterPack scaled = Read(kZpDevice +
                                  "[ZP]\nNormalization type=1\nNormalization value=250\n"
                                  "Normalization frequency=2.5\nNumber of zeroes=1\n"
                                  "Number of poles=2\n[POLES]\n-3 4\n-3 -4\n");
  EXPECT_NEAR(std::abs(EvaluatePack(scaled, 2.5)), 250.0, 1e-9);
}

TEST(ReadRsp, FapRowsWithCommasOrBlanksReadAlike) {
  const TFilterPack pack = Read(
      "[DEVICE]\nFAP available=1\n[FAP]\n0.5, 2,0.1\n 1.5 3\t0.2\n"
      "2.5,,4 ,  0.3\n");
  ASSERT_EQ(pack.FAP.size(), 3u);
  EXPECT_EQ(pack.FAP[0].Frequency, 0.5);
  EXPECT_EQ(pack.FAP[1].Amplitude, 3.0);
  EXPECT_EQ(pack.FAP[2].Phase, 0.3);
}

TEST(ReadRsp, CommentAfterSemicolonAndSectionBounds) {
  const TFilterPack pack = Read(
      "[DEVICE]\nBiCascade available=True\n[CASCADE]\nNumber of sections=2;two\n"
      "[SECTION01]\n1 2 3\n4;5\n[OTHER]\nNumber of sections=9\n[SECTION02]\n6\n");
  ASSERT_EQ(pack.BiCascade.Count, 2);
  const TBiquadSection& s = pack.BiCascade.Sections[0];
  EXPECT_EQ(s.B0 + s.B1 + s.B2 + s.A1 + s.A2, 1 + 2 + 3 + 4 + 5);
  EXPECT_EQ(s.B2, 3.0);
  EXPECT_EQ(s.A2, 5.0);
  EXPECT_EQ(pack.BiCascade.Sections[1].B0, 6.0);
  EXPECT_EQ(pack.BiCascade.Sections[1].A1, 0.0) << "a missing row gives zeros";
}

TEST(ReadRsp, PolynomialCascades) {
  const TFilterPack pack = Read(
      "[DEVICE]\nCascade available=True\n[CASCADES]\nNumber of cascades=2\nOrder01=2\n"
      "Order02=1\n[CASCADE01]\n0;0;1\n0 1\n[CASCADE02]\n3 x\n");
  ASSERT_EQ(pack.Cascades.Count, 2);
  EXPECT_EQ(pack.Cascades.Items[0].Order, 2);
  EXPECT_EQ(pack.Cascades.Items[0].Denominator[1], 1.0);
  EXPECT_EQ(pack.Cascades.Items[1].Numerator[0], 3.0);
  EXPECT_EQ(pack.Cascades.Items[1].Numerator[1], 0.0) << "unreadable numbers are 0";
  const TComplex s(0.0, 2.0 * std::numbers::pi * 0.7);
  EXPECT_NEAR(std::abs(EvaluatePack(pack, 0.7) - 3.0 * s * s / (1.0 + s * s)), 0.0, 1e-12);
}

TEST(ReadRsp, DatesInBothFormats) {
  struct Case {
    const char* Text;
    TDateTime Want;
  };
  for (const Case& c : {Case{"21.03.2024", EncodeDateTime(2024, 3, 21)},
                        Case{"21.03.2024 10:20:30", EncodeDateTime(2024, 3, 21, 10, 20, 30)},
                        Case{"2024.03.21", EncodeDateTime(2024, 3, 21)}, Case{"31.02.2024", kNow},
                        Case{"yesterday", kNow}}) {
    EXPECT_EQ(Read(std::string("[DEVICE]\nDate=") + c.Text + "\n").Device.Date, c.Want) << c.Text;
  }
}

TEST(ReadRsp, FailuresNameTheFileAndLine) {
  struct Case {
    std::string Text;
    std::string Want;  // part of the English message
    TCode Reason;      // the refusal the status carries
    int Line;          // the line the status names, 0 for the file as a whole
  };
  const std::string zp = kZpDevice + "[ZP]\n";
  for (const Case& c : {
           Case{zp + "Number of zeroes=41\n", "x.rsp, line 4: \"Number of zeroes\" in [ZP] is 41",
                TCode::kRefuseRspCountRange, 4},
           Case{zp + "Number of poles=-1\n", "line 4: \"Number of poles\" in [ZP] is -1",
                TCode::kRefuseRspCountRange, 4},
           Case{zp + "Number of poles=two\n", "line 4: \"Number of poles\" in [ZP] is \"two\"",
                TCode::kRefuseRspKeyNotInteger, 4},
           Case{zp + "Normalization value=1,5\n", "line 4: \"Normalization value\"",
                TCode::kRefuseRspKeyNotNumber, 4},
           Case{zp + "Number of zeroes=1\n[ZEROES]\n1 i\n", "line 6: a root needs",
                TCode::kRefuseRootNeedsParts, 6},
           Case{"[DEVICE]\nBiCascade available=True\n[CASCADE]\nNumber of sections=21\n",
                "line 4: \"Number of sections\" in [CASCADE] is 21; it must lie in 0..20 (the most "
                "biquad sections a response holds)",
                TCode::kRefuseRspCountRange, 4},
           Case{"[DEVICE]\nCascade available=True\n[CASCADES]\nNumber of cascades=21\n",
                "line 4: \"Number of cascades\" in [CASCADES] is 21", TCode::kRefuseRspCountRange,
                4},
           Case{"[DEVICE]\nCascade available=True\n[CASCADES]\nNumber of cascades=1\n"
                "Order01=40\n",
                "line 5: \"Order01\" in [CASCADES] is 40; it must lie in 0..39 (the highest order "
                "of a polynomial cascade)",
                TCode::kRefuseRspCountRange, 5},
           Case{"[DEVICE]\nFAP available=True\n[FAP]\n",
                "line 2: \"FAP available\" is set but [FAP] has no rows",
                TCode::kRefuseRspFapNoRows, 2},
           Case{"[DEVICE]\nFAP available=True\n[FAP]\n1;2;3\n", "line 4: a table row",
                TCode::kRefuseRowNeedsFrequency, 4},
           // Text that is no response file, and files whose description evaluation would use
           // is not there: each would otherwise read as a flat response of 1.
           Case{"hello\n", "x.rsp: not a response file: it has no [DEVICE] section",
                TCode::kRefuseRspNoDevice, 0},
           Case{"", "x.rsp: not a response file", TCode::kRefuseRspNoDevice, 0},
           Case{"[device]\nZP available=True\n[ZP]\n", "no [DEVICE] section",
                TCode::kRefuseRspNoDevice, 0},
           Case{kZpDevice + "[ZEROES]\n1 2\n",
                "x.rsp, line 2: \"ZP available\" is set but the file has no [ZP] section",
                TCode::kRefuseRspNoSection, 2},
           Case{kZpDevice + "FAP available=True\n[FAP]\n1 1 0\n",
                "line 2: \"ZP available\" is set but the file has no [ZP] section",
                TCode::kRefuseRspNoSection, 2},
           Case{"[DEVICE]\nBiCascade available=1\n[SECTION01]\n1 2 3\n",
                "line 2: \"BiCascade available\" is set but the file has no [CASCADE] section",
                TCode::kRefuseRspNoSection, 2},
           Case{"[DEVICE]\nCascade available=1\n[CASCADE01]\n1\n",
                "line 2: \"Cascade available\" is set but the file has no [CASCADES] section",
                TCode::kRefuseRspNoSection, 2},
           Case{"[DEVICE]\nFAP available=True\n", "line 2: \"FAP available\" is set",
                TCode::kRefuseRspFapNoRows, 2},
       }) {
    EXPECT_NE(Fails(c.Text).find(c.Want), std::string::npos) << c.Text << "\n" << Fails(c.Text);
    TFilterPack pack;
    const TStatus status = ReadRspText(c.Text, "x.rsp", pack, kNow);
    ASSERT_FALSE(status.Args.empty()) << c.Text;
    ASSERT_NE(status.Args.back().Nested, nullptr) << c.Text;
    EXPECT_EQ(status.Args.back().Nested->Code, c.Reason) << c.Text;
    EXPECT_EQ(status.Line, c.Line == 0 ? -1 : c.Line) << c.Text;
    EXPECT_EQ(status.File, "x.rsp") << c.Text;
    // Every refusal has its Russian: no English sentence is left in a Russian run.
    const std::string russian = Text(status, TLanguage::kRussian);
    EXPECT_EQ(russian.find(" is "), std::string::npos) << russian;
    EXPECT_EQ(russian.find(" the "), std::string::npos) << russian;
  }
}

TEST(ReadRsp, EmptyFapBesideAnotherDescriptionIsAccepted) {
  const TFilterPack pack = Read("[DEVICE]\nZP available=True\nFAP available=True\n[FAP]\n[ZP]\n");
  EXPECT_TRUE(pack.FAP.empty());
  EXPECT_NEAR(std::abs(EvaluatePack(pack, 3.0)), 1.0, 1e-15);
}

TEST(ReadRspFile, ReadsWindows1251WithCrLfOrLf) {
  testing::TempDir dir;
  const std::string cp1251 = "\xC4\xE0\xF2\xF7\xE8\xEA";  // "Датчик"
  for (const std::string eol : {"\r\n", "\n"}) {
    const std::string path = dir.File("d.rsp");
    testing::WriteText(path, "[DEVICE]" + eol + "Note=" + cp1251 + eol + "ZP available=1" + eol +
                                 "[ZP]" + eol + "Number of poles=1" + eol + "[POLES]" + eol +
                                 "-1 0" + eol);
    TFilterPack pack;
    ASSERT_TRUE(ReadRspFile(path, pack).Ok());
    EXPECT_EQ(pack.Device.Note, "Датчик");
    EXPECT_EQ(pack.ZP.PoleCount, 1);
    EXPECT_EQ(pack.ZP.Poles[0], TComplex(-1, 0));
  }
  TFilterPack pack;
  const TStatus missing = ReadRspFile(dir.File("none.rsp"), pack);
  EXPECT_FALSE(missing.Ok());
  EXPECT_NE(Text(missing, TLanguage::kEnglish).find("none.rsp: cannot be opened"),
            std::string::npos);
}

TEST(UnitResponseTemplate, TextByteForByte) {
  const std::string want =
      "[DEVICE]\r\nSerial=\r\nModel=\r\nNote=HHZ\r\nDate=07.05.2024\r\nUnitIn=m/s\r\n"
      "UnitOut=none\r\nZP available=True\r\nFAP available=True\r\nBiCascade available=False\r\n"
      "Cascade available=False\r\n[FAP]\r\n0\t1\t0\r\n100\t1\t0\r\n[ZP]\r\n"
      "Normalization type=1\r\nNormalization value=1\r\nNormalization frequency=1\r\n"
      "Normalization factor=1\r\nNumber of zeroes=0\r\nNumber of poles=0\r\n[ZEROES]\r\n"
      "[POLES]\r\n";
  EXPECT_EQ(UnitResponseTemplateText("HHZ", 100.0, EncodeDateTime(2024, 5, 7, 13, 5)), want);
  const std::string odd = UnitResponseTemplateText("", 62.5, EncodeDateTime(2024, 5, 7));
  EXPECT_NE(odd.find("\r\n62.5\t1\t0\r\n"), std::string::npos);
  EXPECT_NE(UnitResponseTemplateText("", 1.0 / 3.0, 1.0).find("\r\n0.333333333333333\t1\t0"),
            std::string::npos);
}

TEST(UnitResponseTemplate, WrittenFileReadsBackAsUnitResponse) {
  testing::TempDir dir;
  struct Case {
    const char* Name;
    const char* Written;
  };
  for (const Case& c :
       {Case{"amp_Z", "amp_Z.rsp"}, Case{"sens.RSP", "sens.RSP"}, Case{"a.txt", "a.txt.rsp"}}) {
    std::string written;
    ASSERT_TRUE(WriteUnitResponseTemplate(dir.File(c.Name), "Канал", 200.0, &written).Ok());
    EXPECT_EQ(written, dir.File(c.Written));
    const std::vector<uint8_t> bytes = testing::ReadBytes(written);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("Note=\xCA\xE0\xED\xE0\xEB\r\n"), std::string::npos) << "Windows-1251";
    TFilterPack pack;
    ASSERT_TRUE(ReadRspFile(written, pack).Ok());
    EXPECT_EQ(pack.Device.Note, "Канал");
    for (double f : {0.001, 0.5, 1.0, 37.0, 200.0, 1000.0}) {
      EXPECT_NEAR(ResponseModulus(EvaluatePack(pack, f)), 1.0, 1e-15) << f;
    }
    pack.Device.ZPAvailable = false;  // the FAP twin is flat too
    for (double f : {0.0, 0.5, 150.0}) {
      EXPECT_NEAR(ResponseModulus(EvaluatePack(pack, f)), 1.0, 1e-15) << f;
    }
  }
  EXPECT_FALSE(WriteUnitResponseTemplate(dir.File("no/such/folder/x"), "", 100.0).Ok());
}

}  // namespace
}  // namespace tarvik
