// StationXML responses on the command line: response --channel, edit --stationxml, and a run
// whose channels take their responses from an inventory.

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "demo_recordings.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::CliWithLocale;
using testing::Quote;
using testing::TempDir;

// Channel code of station TVK01 from 2020 on: a 1 Hz geophone (one pole pair at 2π rad/s, two
// zeros at 0, A0 1) of 30 V/(m/s), then an ADC of 400000 counts per volt.
std::string InventoryChannel(const std::string& code) {
  return "<Channel code=\"" + code +
         "\" locationCode=\"\" startDate=\"2020-01-01T00:00:00\">"
         "<Latitude>0</Latitude><Longitude>0</Longitude><Elevation>0</Elevation><Depth>0</Depth>"
         "<Response>"
         "<Stage number=\"1\"><PolesZeros><InputUnits><Name>M/S</Name></InputUnits>"
         "<OutputUnits><Name>V</Name></OutputUnits>"
         "<PzTransferFunctionType>LAPLACE (RADIANS/SECOND)</PzTransferFunctionType>"
         "<NormalizationFactor>1</NormalizationFactor>"
         "<NormalizationFrequency>10</NormalizationFrequency>"
         "<Zero><Real>0</Real><Imaginary>0</Imaginary></Zero>"
         "<Zero><Real>0</Real><Imaginary>0</Imaginary></Zero>"
         "<Pole><Real>-4.442882938158366</Real><Imaginary>4.442882938158366</Imaginary></Pole>"
         "<Pole><Real>-4.442882938158366</Real><Imaginary>-4.442882938158366</Imaginary></Pole>"
         "</PolesZeros><StageGain><Value>30</Value><Frequency>10</Frequency></StageGain></Stage>"
         "<Stage number=\"2\"><Coefficients><InputUnits><Name>V</Name></InputUnits>"
         "<OutputUnits><Name>COUNTS</Name></OutputUnits>"
         "<CfTransferFunctionType>DIGITAL</CfTransferFunctionType></Coefficients>"
         "<StageGain><Value>400000</Value><Frequency>0</Frequency></StageGain></Stage>"
         "</Response></Channel>";
}

// Two stations (TVK01, TVK02, channels HHE, HHN, HHZ at 100 Hz, from 2024-05-14) in a project;
// an inventory of TVK01 with HHN and HHZ only.
class StationXmlCli : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteShortRecordings(dir_.File("data"), 2, 120.0, 1);
    const CliRun add = Cli("add " + Quote(project_) + " " + Quote(dir_.File("data")), dir_);
    ASSERT_EQ(add.Status, 0) << add.Err;
    testing::WriteText(
        xml_,
        "<?xml version=\"1.0\"?>\n<FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\""
        " schemaVersion=\"1.1\"><Source>t</Source><Created>2024-01-01T00:00:00</Created>"
        "<Network code=\"XX\"><Station code=\"TVK01\"><Latitude>0</Latitude>"
        "<Longitude>0</Longitude><Elevation>0</Elevation>" +
            InventoryChannel("HHN") + InventoryChannel("HHZ") +
            "</Station></Network></FDSNStationXML>\n");
  }

  CliRun Run(const std::string& command, const std::string& rest) {
    return Cli(command + " " + Quote(project_) + " " + rest, dir_);
  }

  nlohmann::json Channels(int record) {
    const CliRun show = Run("show", "--json");
    EXPECT_EQ(show.Status, 0) << show.Err;
    return nlohmann::json::parse(show.Out)["records"][record]["channels"];
  }

  TempDir dir_;
  const std::string project_ = dir_.File("proj.tvp");
  const std::string xml_ = dir_.File("inventory.xml");
};

TEST_F(StationXmlCli, ResponseEvaluatesAChannelOfTheInventory) {
  // Far above the corner the geophone is flat: 30 · 400000 counts per m/s.
  const CliRun hz = Cli("response " + Quote(xml_) + " --channel XX.TVK01..HHZ --freq 50", dir_);
  ASSERT_EQ(hz.Status, 0) << hz.Err;
  const double modulus = std::stod(hz.Out.substr(hz.Out.find('\t') + 1));
  const double w = 2 * std::numbers::pi * 50.0, w0 = 2 * std::numbers::pi;
  EXPECT_NEAR(modulus, 1.2e7 * w * w / std::hypot(w0 * w0 - w * w, std::sqrt(2.0) * w0 * w),
              1e-6 * modulus);
  // The same channel named in the path, at a time of its epoch.
  const CliRun path = Cli(
      "response " + Quote(xml_ + "#XX.TVK01..HHZ") + " --time 2024-05-14T00:00:00 --freq 50", dir_);
  EXPECT_EQ(path.Out, hz.Out) << path.Err;

  struct Case {
    std::string Args;
    int Status;
    const char* Err;
  };
  for (const Case& c : {
           Case{"--channel XX.TVK01..HHE", 1, "в документе нет канала XX.TVK01..HHE"},
           Case{"--channel XX.TVK01..HHZ --time 2019-01-01T00:00:00", 1,
                "ни одна эпоха XX.TVK01..HHZ не включает 2019-01-01"},
           Case{"", 1, "документ описывает несколько каналов (2:"},
           Case{"--channel TVK01.HHZ", 2, "не код канала NET.STA.LOC.CHA"},
           Case{"--channel XX.TVK01..HHZ --time soon", 2, "--time"},
       }) {
    const CliRun run = Cli("response " + Quote(xml_) + " " + c.Args + " --freq 1", dir_);
    EXPECT_EQ(run.Status, c.Status) << c.Args << ": " << run.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << c.Args << ": " << run.Err;
  }
}

// A stated sensitivity far from what the stages give is told in the run's language; the JSON
// carries it with its code, and the stages are used either way.
TEST_F(StationXmlCli, ResponseNotesASensitivityTheStagesDisagreeWith) {
  std::string channel = InventoryChannel("HHZ");
  channel.insert(channel.find("<Response>") + 10,
                 "<InstrumentSensitivity><Value>5e6</Value><Frequency>10</Frequency>"
                 "</InstrumentSensitivity>");
  const std::string xml = dir_.File("stated.xml");
  testing::WriteText(xml,
                     "<?xml version=\"1.0\"?>\n<FDSNStationXML><Network code=\"XX\">"
                     "<Station code=\"TVK01\">" +
                         channel + "</Station></Network></FDSNStationXML>\n");
  const std::string args = "response " + Quote(xml) + " --freq 50";
  const CliRun en = CliWithLocale("C", args, dir_);
  ASSERT_EQ(en.Status, 0) << en.Err;
  EXPECT_NE(en.Err.find(": XX.TVK01..HHZ: the stages give 1.19994e+07 at 10 Hz, the stated "
                        "sensitivity is 5e+06; the stages are used"),
            std::string::npos)
      << en.Err;
  const CliRun ru = Cli(args, dir_);
  EXPECT_EQ(ru.Out, en.Out);
  EXPECT_NE(ru.Err.find("заявленная чувствительность 5e+06; взяты звенья"), std::string::npos)
      << ru.Err;
  const CliRun json = Cli(args + " --json", dir_);
  ASSERT_EQ(json.Status, 0) << json.Err;
  const nlohmann::json file = nlohmann::json::parse(json.Out)["files"][0];
  EXPECT_EQ(file["note_code"], "sensitivity_disagrees");
  EXPECT_NE(file["note"].get<std::string>().find("взяты звенья"), std::string::npos) << file;
}

TEST_F(StationXmlCli, EditGivesMatchedChannelsTheirResponseAndNamesTheOthers) {
  const std::string paz = Quote(testing::RealFile("resp/IU_ANMO_00_BHZ.paz"));
  ASSERT_EQ(
      Run("edit", "--all --all-channels --level 1000000000 --sensor " + paz + " --amplifier " + paz)
          .Status,
      0);
  const CliRun edit = Run("edit", "--all --stationxml " + Quote(xml_));
  ASSERT_EQ(edit.Status, 0) << edit.Err;
  // TVK01 HHE, and every channel of TVK02, have no match in the inventory.
  EXPECT_NE(edit.Err.find("Запись 1 (TVK01), канал 1 (HHE): в файле " + xml_ +
                          " нет подходящего канала на 2024-05-14T00:00:00.000Z; настройки канала "
                          "оставлены прежними"),
            std::string::npos)
      << edit.Err;
  for (const char* ch : {"канал 1 (HHE)", "канал 2 (HHN)", "канал 3 (HHZ)"}) {
    EXPECT_NE(edit.Err.find(std::string("Запись 2 (TVK02), ") + ch), std::string::npos) << ch;
  }
  // The command line's own language elsewhere: the warning in English.
  const CliRun english =
      CliWithLocale("C", "edit " + Quote(project_) + " --all --stationxml " + Quote(xml_), dir_);
  EXPECT_NE(english.Err.find("record 1 (TVK01), channel 1 (HHE): no channel of " + xml_ +
                             " matches it at 2024-05-14T00:00:00.000Z; its settings are kept"),
            std::string::npos)
      << english.Err;
  EXPECT_EQ(edit.Err.find("record 1 (TVK01), channel 3"), std::string::npos) << edit.Err;

  const nlohmann::json first = Channels(0);
  EXPECT_EQ(first[0]["SensorResp"], testing::RealFile("resp/IU_ANMO_00_BHZ.paz"));
  EXPECT_EQ(first[0]["ChannelResp"], "");
  for (int c : {1, 2}) {
    const std::string code = c == 1 ? "HHN" : "HHZ";
    EXPECT_EQ(first[c]["ChannelResp"], xml_ + "#XX.TVK01.." + code);
    EXPECT_EQ(first[c]["SensorResp"], "") << "the inventory holds the whole chain";
    EXPECT_EQ(first[c]["AmplifierResp"], "");
    EXPECT_EQ(first[c]["ADCCoef"], 1.0) << "the chain ends in counts";
  }
  EXPECT_EQ(Channels(1)[2]["SensorResp"], testing::RealFile("resp/IU_ANMO_00_BHZ.paz"));

  // The run reads the responses through the paths the edit gave.
  const CliRun run = Run("run", "--spectra --only 1 --yes");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err.find("не загружена ЧХ"), std::string::npos) << run.Err;
  // ... and fails, naming the channel and the document, when the document no longer holds it.
  const std::vector<uint8_t> bytes = testing::ReadBytes(xml_);
  const std::string saved(bytes.begin(), bytes.end());
  testing::WriteText(xml_, std::string(saved).replace(saved.find("\"HHZ\""), 5, "\"BHZ\""));
  const CliRun gone = Run("run", "--spectra --only 1 --yes");
  EXPECT_EQ(gone.Status, 1);
  EXPECT_NE(gone.Err.find("ЧХ канала 3 (HHZ): " + xml_ + ": в документе нет канала XX.TVK01..HHZ"),
            std::string::npos)
      << gone.Err;
  testing::WriteText(xml_, saved);

  // Giving them again changes nothing; a network no channel has changes nothing either.
  const CliRun again = Run("edit", "--records 1 --stationxml " + Quote(xml_));
  EXPECT_EQ(again.Status, 0) << again.Err;
  const CliRun other = Run("edit", "--records 1 --stationxml " + Quote(xml_) + " --network YY");
  EXPECT_EQ(other.Status, 0);
  EXPECT_NE(other.Err.find("канал 3 (HHZ): в файле"), std::string::npos) << other.Err;
  EXPECT_EQ(Channels(0)[2]["ChannelResp"], xml_ + "#XX.TVK01..HHZ");
}

TEST_F(StationXmlCli, EditRefusesADocumentItCannotRead) {
  testing::WriteText(dir_.File("broken.xml"), "<FDSNStationXML><Network code=\"XX\">");
  struct Case {
    std::string Args;
    int Status;
    const char* Err;
  };
  for (const Case& c : {
           Case{"--all --stationxml " + Quote(dir_.File("none.xml")), 1, "не открывается"},
           Case{"--all --stationxml " + Quote(dir_.File("broken.xml")), 1, "XML с ошибкой"},
           Case{"--all --stationxml " + Quote(xml_) + " --channel-resp x.paz", 2,
                "нельзя задавать вместе с"},
           Case{"--all --network XX", 2, "--network"},
       }) {
    const CliRun run = Run("edit", c.Args);
    EXPECT_EQ(run.Status, c.Status) << c.Args << ": " << run.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << c.Args << ": " << run.Err;
  }
  EXPECT_EQ(Channels(0)[2]["ChannelResp"], "");
}

}  // namespace
}  // namespace tarvik
