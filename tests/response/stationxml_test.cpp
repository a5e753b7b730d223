// StationXML responses: the stages of a channel epoch evaluated as one chain, the channel path
// FILE#NET.STA.LOC.CHA and the epoch a time selects.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "response/stationxml.h"
#include "test_files.h"

namespace tarvik {
namespace {

constexpr double kPi = std::numbers::pi;
const std::string kAnmo = "stationxml/IU_ANMO_00_BHZ.xml";

// A document of one network XX and one station STA holding the channels given.
std::string Doc(const std::string& channels) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.1\">\n"
         "<Source>test</Source><Created>2020-01-01T00:00:00</Created>\n"
         "<Network code=\"XX\"><Station code=\"STA\"><Latitude>0</Latitude>"
         "<Longitude>0</Longitude><Elevation>0</Elevation>\n" +
         channels + "</Station></Network></FDSNStationXML>\n";
}

std::string Channel(const std::string& code, const std::string& location, const std::string& dates,
                    const std::string& stages) {
  return "<Channel code=\"" + code + "\" locationCode=\"" + location + "\" " + dates +
         "><Latitude>0</Latitude><Longitude>0</Longitude><Elevation>0</Elevation>"
         "<Depth>0</Depth><SampleRate>100</SampleRate><Response>" +
         stages + "</Response></Channel>\n";
}

std::string Units(const std::string& in, const std::string& out) {
  return "<InputUnits><Name>" + in + "</Name></InputUnits><OutputUnits><Name>" + out +
         "</Name></OutputUnits>";
}

std::string Stage(int number, const std::string& filter, double gain, double rate = 0.0) {
  std::string s = "<Stage number=\"" + std::to_string(number) + "\">" + filter;
  if (rate > 0.0) {
    s += "<Decimation><InputSampleRate>" + std::to_string(rate) +
         "</InputSampleRate><Factor>1</Factor><Offset>0</Offset><Delay>0</Delay>"
         "<Correction>0</Correction></Decimation>";
  }
  char g[64];
  std::snprintf(g, sizeof g, "%.17g", gain);
  return s + "<StageGain><Value>" + g + "</Value><Frequency>1</Frequency></StageGain></Stage>";
}

std::string PolesZeros(const std::string& type, double a0, const std::vector<TComplex>& zeros,
                       const std::vector<TComplex>& poles, const std::string& in = "M/S",
                       const std::string& out = "V") {
  char factor[64];
  std::snprintf(factor, sizeof factor, "%.17g", a0);
  std::string s = "<PolesZeros>" + Units(in, out) + "<PzTransferFunctionType>" + type +
                  "</PzTransferFunctionType><NormalizationFactor>" + factor +
                  "</NormalizationFactor><NormalizationFrequency>1</NormalizationFrequency>";
  int n = 0;
  const auto root = [&](const char* tag, TComplex r) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "<%s number=\"%d\"><Real>%.17g</Real><Imaginary>%.17g</Imaginary></%s>", tag, n++,
                  r.real(), r.imag(), tag);
    s += text;
  };
  for (TComplex z : zeros) root("Zero", z);
  for (TComplex p : poles) root("Pole", p);
  return s + "</PolesZeros>";
}

std::string Values(const char* tag, const std::vector<double>& values) {
  std::string s;
  for (double v : values) s += "<" + std::string(tag) + ">" + std::to_string(v) + "</" + tag + ">";
  return s;
}

const std::string kOpen = "startDate=\"2010-01-01T00:00:00\"";

TStatus Read(const std::string& doc, TFilterPack& pack, const std::string& code = "XX.STA..HHZ",
             std::optional<TDateTime> when = std::nullopt) {
  return ReadResponseBytes(doc, "t.xml#" + code, pack, nullptr, when);
}

// The refusal at the heart of a status: the last nested argument, followed down.
TCode InnermostCode(const TStatus& status) {
  const TStatus* s = &status;
  while (!s->Args.empty() && s->Args.back().Nested != nullptr) s = s->Args.back().Nested.get();
  return s->Code;
}

double Modulus(const TFilterPack& pack, double f) {
  return ResponseModulus(EvaluatePack(pack, f));
}

// The 2012 epoch of IU.ANMO.00.BHZ, read from StationXML, against the SAC poles and zeros of
// the same epoch (written by another program from the same inventory): the analog stage is the
// same, so the two differ only by the FIR stage of the document and by its gains' product
// (1952.1 · 1677720) against the sensitivity the SAC constant holds (2.745369e14 / 83826).
TEST(StationXml, RealAnmoAgreesWithTheSacFileOfItsEpoch) {
  TFilterPack xml, paz;
  TResponseLoadInfo info;
  const std::string path = testing::RealFile(kAnmo) + "#IU.ANMO.00.BHZ";
  const TStatus status = LoadResponse(path, xml, &info, *ParseIso("2013-01-01T00:00:00"));
  ASSERT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
  EXPECT_EQ(info.Format, TResponseFormat::kStationXml);
  EXPECT_EQ(info.Channel, "IU.ANMO.00.BHZ");
  EXPECT_TRUE(info.Note.Ok()) << Text(info.Note, TLanguage::kEnglish);
  EXPECT_FALSE(info.Converted);
  EXPECT_EQ(xml.Device.UnitIn, "M/S");
  EXPECT_EQ(xml.Device.UnitOut, "COUNTS");
  EXPECT_EQ(xml.ZP.ZeroCount, 2);
  EXPECT_EQ(xml.ZP.PoleCount, 5);
  ASSERT_EQ(xml.Digital.size(), 1u);
  EXPECT_EQ(xml.Digital[0].Numerator.size(), 67u);
  EXPECT_EQ(xml.Digital[0].Rate, 20.0);
  ASSERT_TRUE(LoadResponse(testing::RealFile("resp/IU_ANMO_00_BHZ.paz"), paz).Ok());
  const double gains = (1952.1 * 1677720.0) / (2.745369e14 / 83826.0);
  for (double f = 0.01; f <= 5.0; f *= 1.5) {
    const double fir = ResponseModulus(EvaluateDigitalStage(xml.Digital[0], f));
    EXPECT_NEAR(Modulus(xml, f) / (Modulus(paz, f) * fir), gains, 1e-6) << f;
  }
  // The FIR stage passes its band: within 2 % of 1 up to half the Nyquist frequency.
  EXPECT_NEAR(ResponseModulus(EvaluateDigitalStage(xml.Digital[0], 5.0)), 1.0, 0.02);
  // The document's sensitivity, at its frequency, is what the stages give.
  EXPECT_NEAR(Modulus(xml, 0.02), 3.27508e9, 1e-5 * 3.27508e9);
}

// Each real document, named without a channel (it holds one), gives at the frequency of its
// InstrumentSensitivity the value stated there, from its stages alone.
TEST(StationXml, RealFilesGiveTheirStatedSensitivity) {
  struct Case {
    const char* File;
    const char* Channel;
    double Sensitivity;
    size_t Digital;
  };
  for (const Case& c : {Case{"stationxml/IU_ANMO_00_BHZ.xml", "IU.ANMO.00.BHZ", 3.27508e9, 1},
                        Case{"stationxml/IRIS_single_channel_with_response.xml", "IU.ANMO.10.BHZ",
                             3.31283e10, 1}}) {
    TFilterPack pack;
    TResponseLoadInfo info;
    const TStatus status = LoadResponse(testing::RealFile(c.File), pack, &info);
    ASSERT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
    EXPECT_EQ(info.Channel, c.Channel);
    EXPECT_EQ(pack.Digital.size(), c.Digital) << c.File;
    EXPECT_NEAR(Modulus(pack, 0.02), c.Sensitivity, 1e-5 * c.Sensitivity) << c.File;
  }
}

// The SEED RESP listing beside it describes the 2002-2008 epoch of the same channel, whose
// epochs do not meet the document's: its stages written as StationXML read as the same response
// (the RESP reader scales to the overall sensitivity, the StationXML one multiplies the gains,
// so the two differ by one constant factor).
TEST(StationXml, RespEpochWrittenAsStationXmlHasTheRespShape) {
  TFilterPack resp;
  ASSERT_TRUE(LoadResponse(testing::RealFile("stationxml/RESP.ANMO.IU.00.BHZ"), resp).Ok());
  const std::vector<TComplex> zeros = {{0, 0}, {0, 0}};
  const std::vector<TComplex> poles = {
      {-59.4313, 0}, {-22.7121, 27.1065}, {-22.7121, -27.1065}, {-0.0048004, 0}, {-0.073199, 0}};
  const std::string doc = Doc(Channel(
      "HHZ", "", "startDate=\"2002-11-19T21:07:00\" endDate=\"2008-06-30T00:00:00\"",
      Stage(1, PolesZeros("LAPLACE (RADIANS/SECOND)", 86083.0, zeros, poles), 2204.0) +
          Stage(2,
                "<Coefficients>" + Units("V", "COUNTS") +
                    "<CfTransferFunctionType>DIGITAL</CfTransferFunctionType></Coefficients>",
                419430.0)));
  TFilterPack xml;
  const TStatus status = Read(doc, xml, "XX.STA..HHZ", *ParseIso("2005-01-01T00:00:00"));
  ASSERT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
  EXPECT_TRUE(xml.Digital.empty()) << "a stage without coefficients is a gain";
  const double scale = Modulus(xml, 0.02) / Modulus(resp, 0.02);
  EXPECT_NEAR(scale, 2204.0 * 419430.0 / 9.244e8, 1e-3);
  for (double f = 0.01; f <= 5.0; f *= 1.5) {
    EXPECT_NEAR(Modulus(xml, f) / Modulus(resp, f), scale, 1e-6 * scale) << f;
    EXPECT_NEAR(std::arg(EvaluatePack(xml, f)), std::arg(EvaluatePack(resp, f)), 1e-9) << f;
  }
}

// Designed stages whose response is known without the reader: each case's modulus at two
// frequencies for a rate of 100 Hz.
TEST(StationXml, StageTypesEvaluateAsTheirFilters) {
  struct Case {
    const char* What;
    std::string Stages;
    double F1, Want1, F2, Want2;
  };
  const double fs = 100.0;
  const auto fir = [&](const char* symmetry, const std::vector<double>& c) {
    return Stage(1,
                 "<FIR>" + Units("COUNTS", "COUNTS") + "<Symmetry>" + symmetry + "</Symmetry>" +
                     Values("NumeratorCoefficient", c) + "</FIR>",
                 1.0, fs);
  };
  const auto coefficients = [&](const std::vector<double>& b, const std::vector<double>& a) {
    return Stage(1,
                 "<Coefficients>" + Units("COUNTS", "COUNTS") +
                     "<CfTransferFunctionType>DIGITAL</CfTransferFunctionType>" +
                     Values("Numerator", b) + Values("Denominator", a) + "</Coefficients>",
                 1.0, fs);
  };
  const double half = 1.0 / std::sqrt(2.0);
  for (const Case& c : {
           // 1 + z⁻¹ + z⁻² + z⁻³ over 4: 1 at 0, a zero at fs/4.
           Case{"EVEN", fir("EVEN", {0.25, 0.25}), 0.0, 1.0, 25.0, 0.0},
           // (1 + 2z⁻¹ + z⁻²)/4: 1 at 0, a zero at Nyquist, cos²(πf/fs) between.
           Case{"ODD", fir("ODD", {0.25, 0.5}), 50.0, 0.0, 25.0, 0.5},
           Case{"NONE", fir("NONE", {1.0, -1.0}), 0.0, 0.0, 50.0, 2.0},
           // 1 / (1 − 0.5z⁻¹): 2 at 0, 2/3 at Nyquist.
           Case{"IIR", coefficients({1.0}, {1.0, -0.5}), 0.0, 2.0, 50.0, 1.0 / 1.5},
           // (z + 1): 2 at 0, 0 at Nyquist.
           Case{"Z roots",
                Stage(1, PolesZeros("DIGITAL (Z-TRANSFORM)", 1.0, {{-1.0, 0.0}}, {}), 1.0, fs), 0.0,
                2.0, 50.0, 0.0},
           // One pole at 1 Hz, in rad/s and in Hz, times the stage gain.
           Case{"rad/s",
                Stage(1, PolesZeros("LAPLACE (RADIANS/SECOND)", 2 * kPi, {}, {-2 * kPi}), 3.0), 1.0,
                3.0 * half, 0.0, 3.0},
           Case{"Hz", Stage(1, PolesZeros("LAPLACE (HERTZ)", 1.0, {}, {-1.0}), 3.0), 1.0,
                3.0 * half, 0.0, 3.0},
           // Two analog stages gather into one description, gains multiplied.
           Case{"two analog",
                Stage(1, PolesZeros("LAPLACE (HERTZ)", 1.0, {}, {-1.0}), 2.0) +
                    Stage(2, PolesZeros("LAPLACE (HERTZ)", 1.0, {}, {-1.0}), 5.0),
                1.0, 10.0 * 0.5, 0.0, 10.0},
       }) {
    TFilterPack pack;
    const TStatus status = Read(Doc(Channel("HHZ", "", kOpen, c.Stages)), pack);
    ASSERT_TRUE(status.Ok()) << c.What << ": " << Text(status, TLanguage::kEnglish);
    EXPECT_NEAR(Modulus(pack, c.F1), c.Want1, 1e-12) << c.What;
    EXPECT_NEAR(Modulus(pack, c.F2), c.Want2, 1e-12) << c.What;
  }
}

// The first stage's input unit turns the chain into a response to velocity; a stage given as
// "flat" gain G to displacement is G/ω to velocity, to acceleration G·ω.
TEST(StationXml, InputUnitsBecomeVelocity) {
  struct Case {
    const char* Unit;
    double At1hz;
  };
  for (const Case& c : {Case{"M/S", 7.0}, Case{"M", 7.0 / (2 * kPi)}, Case{"M/S**2", 7.0 * 2 * kPi},
                        Case{"NM/S", 7.0e9}}) {
    TFilterPack pack;
    TResponseLoadInfo info;
    const std::string doc = Doc(Channel(
        "HHZ", "", kOpen,
        Stage(1, PolesZeros("LAPLACE (RADIANS/SECOND)", 1.0, {}, {}, c.Unit, "COUNTS"), 7.0)));
    ASSERT_TRUE(ReadResponseBytes(doc, "t.xml#XX.STA..HHZ", pack, &info).Ok()) << c.Unit;
    EXPECT_EQ(pack.Device.UnitIn, c.Unit);
    EXPECT_NEAR(Modulus(pack, 1.0), c.At1hz, 1e-9 * c.At1hz) << c.Unit;
  }
}

// Two epochs of one channel with different gains: a time picks one; at the instant where they
// meet the later one holds.
TEST(StationXml, TheTimeSelectsTheEpoch) {
  const std::string first =
      Channel("HHZ", "00", "startDate=\"2010-01-01T00:00:00\" endDate=\"2015-01-01T00:00:00Z\"",
              Stage(1, PolesZeros("LAPLACE (RADIANS/SECOND)", 1.0, {}, {}), 10.0));
  const std::string second =
      Channel("HHZ", "00", "startDate=\"2015-01-01T00:00:00.0000Z\"",
              Stage(1, PolesZeros("LAPLACE (RADIANS/SECOND)", 1.0, {}, {}), 20.0));
  const std::string doc = Doc(first + second);
  struct Case {
    const char* Time;
    double Gain;  // 0: refused
  };
  for (const Case& c : {Case{"2012-06-01T00:00:00", 10.0}, Case{"2015-01-01T00:00:00", 20.0},
                        Case{"2030-01-01T00:00:00", 20.0}, Case{"2009-12-31T23:59:59", 0.0}}) {
    TFilterPack pack;
    const TStatus status = Read(doc, pack, "XX.STA.00.HHZ", *ParseIso(c.Time));
    EXPECT_EQ(status.Ok(), c.Gain > 0.0) << c.Time << ": " << Text(status, TLanguage::kEnglish);
    if (c.Gain > 0.0) {
      EXPECT_DOUBLE_EQ(Modulus(pack, 1.0), c.Gain) << c.Time;
    }
  }
  TFilterPack pack;
  const TStatus untimed = Read(doc, pack, "XX.STA.00.HHZ");
  EXPECT_FALSE(untimed.Ok());
  EXPECT_NE(Text(untimed, TLanguage::kEnglish).find("has 2 epochs"), std::string::npos)
      << Text(untimed, TLanguage::kEnglish);
  ASSERT_FALSE(untimed.Args.empty());
  ASSERT_NE(untimed.Args.back().Nested, nullptr);
  const TStatus& epochs = *untimed.Args.back().Nested;
  EXPECT_EQ(epochs.Code, TCode::kRefuseChannelEpochs);
  ASSERT_EQ(epochs.Args.size(), 3u);
  EXPECT_EQ(epochs.Args[0].Text, "XX.STA.00.HHZ");
  EXPECT_EQ(epochs.Args[1].Text, "2");
  // The epochs listed are told in the language of the status: no English word between them.
  EXPECT_EQ(Text(epochs, TLanguage::kRussian).find(" to "), std::string::npos)
      << Text(epochs, TLanguage::kRussian);

  // The path of a channel goes through the chain loader with the record's start.
  testing::TempDir dir;
  testing::WriteText(dir.File("inv.xml"), doc);
  TCombinedFilter chain;
  ASSERT_TRUE(LoadChannelChain(dir.File("inv.xml") + "#XX.STA.00.HHZ", "", "", chain,
                               *ParseIso("2011-01-01T00:00:00"))
                  .Ok());
  EXPECT_DOUBLE_EQ(ResponseModulus(EvaluateChain(chain, 1.0)), 10.0);
}

TEST(StationXml, BadInputIsRefusedWithFileAndCause) {
  const std::string good = Stage(1, PolesZeros("LAPLACE (RADIANS/SECOND)", 1.0, {}, {}), 1.0);
  const auto one = [](const std::string& stages) { return Doc(Channel("HHZ", "", kOpen, stages)); };
  std::string many_poles;
  for (int i = 0; i < 41; ++i) many_poles += "<Pole><Real>-1</Real><Imaginary>0</Imaginary></Pole>";
  struct Case {
    const char* What;
    std::string Doc;
    std::string Code;
    const char* Want;
    TCode Reason = TCode::kOk;  // the refusal at its heart, when the case names one
  };
  for (const Case& c : {
           Case{"no such channel", one(good), "XX.STA..BHZ", "no channel XX.STA..BHZ"},
           Case{"no such location", one(good), "XX.STA.00.HHZ", "no channel XX.STA.00.HHZ"},
           Case{"malformed", one(good).substr(0, 300), "XX.STA..HHZ", "not well-formed XML",
                TCode::kRefuseXmlNotWellFormed},
           Case{"not inventory", "<?xml version=\"1.0\"?><FDSNStationXMLx/>", "XX.STA..HHZ",
                "not an FDSNStationXML document", TCode::kRefuseXmlNotStationXml},
           Case{"response list",
                one("<Stage number=\"1\"><ResponseList>" + Units("M/S", "V") +
                    "</ResponseList></Stage>"),
                "XX.STA..HHZ", "XX.STA..HHZ: stage 1: a ResponseList stage, which is not evaluated",
                TCode::kRefuseXmlStageKind},
           Case{"polynomial", one(good + "<Stage number=\"2\"><Polynomial/></Stage>"),
                "XX.STA..HHZ", "stage 2: a Polynomial stage", TCode::kRefuseXmlStageKind},
           Case{"analog coefficients",
                one(Stage(1,
                          "<Coefficients><CfTransferFunctionType>ANALOG (RADIANS/SECOND)"
                          "</CfTransferFunctionType><Numerator>1</Numerator></Coefficients>",
                          1.0)),
                "XX.STA..HHZ", "coefficients of the transfer function type",
                TCode::kRefuseXmlCfType},
           Case{"FIR without rate",
                one(Stage(1,
                          "<FIR><Symmetry>NONE</Symmetry><NumeratorCoefficient>1"
                          "</NumeratorCoefficient></FIR>",
                          1.0)),
                "XX.STA..HHZ", "without a positive input sample rate",
                TCode::kRefuseXmlNoInputRate},
           Case{"not a number",
                one(Stage(1, PolesZeros("LAPLACE (RADIANS/SECOND)", 1.0, {}, {}), 1.0) +
                    "<Stage number=\"2\"><StageGain><Value>lots</Value></StageGain></Stage>"),
                "XX.STA..HHZ", "stage 2: Value \"lots\" is not a number",
                TCode::kRefuseXmlNotNumber},
           Case{"41 poles",
                one("<Stage number=\"1\"><PolesZeros><PzTransferFunctionType>LAPLACE (HERTZ)"
                    "</PzTransferFunctionType>" +
                    many_poles + "</PolesZeros></Stage>"),
                "XX.STA..HHZ", "more than 40 poles", TCode::kRefuseXmlTooManyPoles},
           Case{"bad date", Doc(Channel("HHZ", "", "startDate=\"yesterday\"", good)), "XX.STA..HHZ",
                "startDate \"yesterday\" is not a date and time", TCode::kRefuseXmlNotDateTime},
           Case{"no response", Doc(Channel("HHZ", "", kOpen, "")), "XX.STA..HHZ",
                "the channel has no response", TCode::kRefuseXmlNoResponse},
       }) {
    TFilterPack pack;
    const TStatus status = Read(c.Doc, pack, c.Code);
    EXPECT_FALSE(status.Ok()) << c.What;
    EXPECT_EQ(Text(status, TLanguage::kEnglish).rfind("t.xml", 0), 0u)
        << c.What << ": " << Text(status, TLanguage::kEnglish);
    EXPECT_NE(Text(status, TLanguage::kEnglish).find(c.Want), std::string::npos)
        << c.What << ": " << Text(status, TLanguage::kEnglish);
    EXPECT_TRUE(DescribesNothing(pack)) << c.What;
    if (c.Reason != TCode::kOk) {
      EXPECT_EQ(InnermostCode(status), c.Reason) << c.What;
      // Told in Russian without an English sentence of the reader's own.
      const std::string russian = Text(status, TLanguage::kRussian);
      for (const char* english : {" is not", " has no", "stage ", " the ", "not well-formed"})
        EXPECT_EQ(russian.find(english), std::string::npos) << c.What << ": " << russian;
    }
  }
  // A channel named in a file of another format, and a document of several channels named by
  // no channel.
  testing::TempDir dir;
  TFilterPack pack;
  const std::string paz = testing::RealFile("resp/IU_ANMO_00_BHZ.paz");
  const TStatus other = LoadResponse(paz + "#IU.ANMO.00.BHZ", pack);
  EXPECT_NE(Text(other, TLanguage::kEnglish).find("is not a StationXML document"),
            std::string::npos)
      << Text(other, TLanguage::kEnglish);
  testing::WriteText(dir.File("two.xml"),
                     Doc(Channel("HHZ", "", kOpen, good) + Channel("HHN", "", kOpen, good)));
  const TStatus two = LoadResponse(dir.File("two.xml"), pack);
  EXPECT_NE(Text(two, TLanguage::kEnglish).find("describes 2 channels (XX.STA..HHZ, XX.STA..HHN)"),
            std::string::npos)
      << Text(two, TLanguage::kEnglish);
  EXPECT_TRUE(LoadResponse(dir.File("two.xml") + "#XX.STA..HHN", pack).Ok());
}

// A stated sensitivity far from what the stages give is told; the stages are used.
TEST(StationXml, DisagreeingSensitivityIsNoted) {
  const std::string stages = Stage(1, PolesZeros("LAPLACE (RADIANS/SECOND)", 1.0, {}, {}), 100.0);
  for (const double stated : {100.5, 150.0}) {
    const std::string sensitivity = "<InstrumentSensitivity><Value>" + std::to_string(stated) +
                                    "</Value><Frequency>1</Frequency></InstrumentSensitivity>";
    TFilterPack pack;
    TResponseLoadInfo info;
    ASSERT_TRUE(ReadResponseBytes(Doc(Channel("HHZ", "", kOpen, sensitivity + stages)),
                                  "t.xml#XX.STA..HHZ", pack, &info)
                    .Ok());
    EXPECT_DOUBLE_EQ(Modulus(pack, 1.0), 100.0);
    EXPECT_EQ(info.Note.Ok(), stated < 101.0) << Text(info.Note, TLanguage::kEnglish);
    if (stated > 101.0) {
      EXPECT_EQ(info.Note.Code, TCode::kStationXmlSensitivityDisagrees);
      EXPECT_EQ(Text(info.Note, TLanguage::kEnglish),
                "XX.STA..HHZ: the stages give 100 at 1 Hz, the stated sensitivity is 150; the "
                "stages are used");
    }
  }
}

TEST(StationXml, ResponsePathsSplitAtAChannelCode) {
  struct Case {
    const char* Path;
    const char* File;
    const char* Channel;
    const char* Label;
  };
  for (const Case& c : {
           Case{"/d/IU_ANMO.xml#IU.ANMO.00.BHZ", "/d/IU_ANMO.xml", "IU.ANMO.00.BHZ",
                "IU.ANMO.00.BHZ (IU_ANMO.xml)"},
           Case{"inv.xml#IU.ANMO..BHZ", "inv.xml", "IU.ANMO..BHZ", "IU.ANMO..BHZ (inv.xml)"},
           Case{"/d/a#b/s.paz", "/d/a#b/s.paz", "", "/d/a#b/s.paz"},
           Case{"x.xml#IU.ANMO.BHZ", "x.xml#IU.ANMO.BHZ", "", "x.xml#IU.ANMO.BHZ"},
           Case{"x.xml#.ANMO.00.BHZ", "x.xml#.ANMO.00.BHZ", "", "x.xml#.ANMO.00.BHZ"},
           Case{"", "", "", ""},
       }) {
    const TResponsePath split = SplitResponsePath(c.Path);
    EXPECT_EQ(split.File, c.File) << c.Path;
    EXPECT_EQ(split.Channel, c.Channel) << c.Path;
    EXPECT_EQ(ResponsePathLabel(c.Path), c.Label);
    EXPECT_EQ(JoinResponsePath(split.File, split.Channel), c.Path);
  }
}

// A document the XML parser refuses is told with the parser's own description in English, as it
// always was, and in Russian words in Russian; the byte the parser stopped at is the Offset.
TEST(StationXml, ParserRefusalsKeepTheirEnglishAndHaveTheirRussian) {
  // Each names the root element, as a document must for its format to be recognised.
  for (const std::string fragment :
       {"<a></b>", "<a", "<!-- x", "<a x=1/>", "<a></a", "<?xml", "<!DOCTYPE", "<![CDATA[x",
        "</FDSNStationXML></FDSNStationXML>"}) {
    const std::string doc = "<FDSNStationXML>" + fragment;
    pugi::xml_document parsed_here;
    const pugi::xml_parse_result parsed = parsed_here.load_buffer(doc.data(), doc.size());
    ASSERT_FALSE(parsed) << doc;
    TFilterPack pack;
    const TStatus status = Read(doc, pack);
    ASSERT_FALSE(status.Ok()) << doc;
    EXPECT_EQ(InnermostCode(status), TCode::kRefuseXmlNotWellFormed) << doc;
    EXPECT_EQ(status.Offset, parsed.offset) << doc;
    EXPECT_EQ(Text(status, TLanguage::kEnglish),
              "t.xml: not well-formed XML (" + std::string(parsed.description()) + " at byte " +
                  std::to_string(parsed.offset) + ")")
        << doc;
    const std::string russian = Text(status, TLanguage::kRussian);
    EXPECT_EQ(russian.find(parsed.description()), std::string::npos) << doc << ": " << russian;
  }
}

}  // namespace
}  // namespace tarvik
