// End-to-end runs of "tarvik-cli run" over projects a new user would make: a response file that
// is not one, records that cannot give H/V ratios, records sharing a result file, spectra that
// fail before the H/V run of the same call, records without quiet intervals, and --json.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "demo_recordings.h"
#include "project/project_file.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::RecordingUiHost;
using testing::TempDir;

// A level every sample of the demo recordings stays below, and that counts as set.
constexpr int32_t kHighLevel = 1000000000;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Loads the project, lets edit change it and saves it in its text form.
void Edit(const std::string& project, const std::function<void(TProject&)>& edit) {
  TProject p;
  RecordingUiHost host;
  ASSERT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  edit(p);
  ASSERT_TRUE(SaveProject(p, project, 0, host).Ok);
}

// Every record checked for both runs, every channel with a unit response and a level set.
void Describe(TProject& p, const std::string& response) {
  for (TFileRecord& r : p.Records) {
    r.ToProcess = r.ToProcessNakamura = true;
    for (int c = 0; c < r.ChannelCount(); ++c) {
      r.Channels[c].ChannelResp = response;
      r.Channels[c].Level = kHighLevel;
    }
  }
}

// Two stations (TVK01, TVK02) of one two-minute three-component file each, added to a project
// and described as a user would.
class RunCli : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteShortRecordings(dir_.File("data"), 2, 120.0, 1);
    const CliRun add = Cli("add " + Quote(project_) + " " + Quote(dir_.File("data")), dir_);
    ASSERT_EQ(add.Status, 0) << add.Err;
    testing::WriteText(unit_, "ZEROS 0\nPOLES 0\nCONSTANT 1\n");
    Edit(project_, [&](TProject& p) { Describe(p, unit_); });
  }

  std::string Prim(const std::string& station) const {
    return dir_.File("Spectra/Primary/prim_" + station + "_240514-000000.dat");
  }
  std::string Nak(const std::string& station) const {
    return dir_.File("Spectra/Nakamura/nak_prim_" + station + "_240514-000000.dat");
  }

  TempDir dir_;
  const std::string project_ = dir_.File("proj.tvp");
  const std::string unit_ = dir_.File("unit.paz");
};

std::string ReadAll(const std::string& path) {
  const std::vector<uint8_t> bytes = testing::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// printf 'hello\n' > x.rsp and > notes.txt as channel responses: each record stops with the file
// named, never computed as if the text were a flat response. An .rsp file of [DEVICE] alone is
// one, and the run says so, once.
TEST_F(RunCli, ResponseFileThatIsNoResponseStopsItsRecord) {
  const std::string bad = dir_.File("x.rsp");
  const std::string text = dir_.File("notes.txt");
  const std::string flat = dir_.File("flat.rsp");
  testing::WriteText(bad, "hello\n");
  testing::WriteText(text, "hello\n");
  testing::WriteText(flat, "[DEVICE]\nNote=flat on purpose\n");
  Edit(project_, [&](TProject& p) {
    for (int c = 0; c < 3; ++c) {
      p.Records[0].Channels[c].ChannelResp = bad;
      p.Records[1].Channels[c].ChannelResp = text;
    }
  });
  const CliRun run = Cli("run --spectra " + Quote(project_), dir_);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(
      run.Err.find("spectra: запись 1 (TVK01): нет результата: TVK01: не загружена ЧХ канала 1 "
                   "(HHE): " +
                   bad + ": не файл характеристики: в нем нет раздела [DEVICE]"),
      std::string::npos)
      << run.Err;
  EXPECT_NE(
      run.Err.find("spectra: запись 2 (TVK02): нет результата: TVK02: не загружена ЧХ канала 1 "
                   "(HHE): " +
                   text + ": не файл ЧХ: его содержимое не SEED RESP"),
      std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Err.find("flat"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Prim("TVK01")));
  EXPECT_FALSE(fs::exists(Prim("TVK02")));
  EXPECT_EQ(run.Out, "");

  Edit(project_, [&](TProject& p) {
    for (int c = 0; c < 3; ++c) p.Records[1].Channels[c].ChannelResp = flat;
  });
  const CliRun again = Cli("run --spectra " + Quote(project_), dir_);
  EXPECT_EQ(again.Status, 1);
  EXPECT_EQ(again.Out, Prim("TVK02") + "\n");
  // Three channels name the file; it is named once.
  EXPECT_EQ(Count(again.Err, "принята как плоская ЧХ: " + flat + "\n"), 1u) << again.Err;
}

// A SEED RESP listing under the name archives give it (RESP.XX.NS085..BHZ) and SAC poles and
// zeros under rdseed's name are read by their content: the spectra are those computed with the
// same files under their usual extensions, not the uncorrected spectra of a flat response.
TEST_F(RunCli, ResponsesAreReadByContentWhateverTheirNames) {
  struct Case {
    const char* Real;
    const char* Usual;
    const char* Archive;
  };
  for (const Case& c : {
           Case{"resp/RESP.XX.NS085..BHZ.STS2_gen3.120.1500.seed", "ns085.seed",
                "RESP.XX.NS085..BHZ"},
           Case{"resp/SAC_PZs_NZ_CRLZ_HHZ.sac", "crlz.sac",
                "SAC_PZs_NZ_CRLZ_HHZ_10_2003.071.00.00.00.0000_2037.365.23.59.59.99999"},
       }) {
    const std::vector<uint8_t> bytes = testing::ReadBytes(testing::RealFile(c.Real));
    testing::WriteBytes(dir_.File(c.Usual), bytes);
    testing::WriteBytes(dir_.File(c.Archive), bytes);
    std::vector<std::string> results;
    for (const std::string& response : {dir_.File(c.Usual), dir_.File(c.Archive), unit_}) {
      Edit(project_, [&](TProject& p) { Describe(p, response); });
      const CliRun run = Cli("run --spectra " + Quote(project_), dir_);
      ASSERT_EQ(run.Status, 0) << run.Err;
      EXPECT_EQ(run.Err.find("flat"), std::string::npos) << run.Err;
      results.push_back(ReadAll(Prim("TVK01")));
    }
    EXPECT_EQ(results[1], results[0]) << c.Archive;
    EXPECT_NE(results[1], results[2]) << c.Archive << ": corrected, unlike the unit response";
  }
}

// SAC poles and zeros declaring "INPUT UNIT : M" describe the sensor's response to displacement,
// s·H(s) for the velocity response H(s). Used as the channel response, the spectra equal those of
// the velocity response itself (before, they were off by 2πf); a unit that is no ground motion
// stops the record with the file and the unit named.
TEST_F(RunCli, DeclaredInputUnitIsHonoured) {
  const std::string velocity = dir_.File("velocity.paz");
  const std::string displacement = dir_.File("displacement.paz");
  const std::string pressure = dir_.File("pressure.paz");
  testing::WriteText(velocity, "ZEROS 0\nPOLES 2\n-4.44 4.44\n-4.44 -4.44\nCONSTANT 2000\n");
  testing::WriteText(displacement,
                     "* NETWORK     : XX\n* INPUT UNIT  : M\n* OUTPUT UNIT : COUNTS\n"
                     "ZEROS 1\n0 0\nPOLES 2\n-4.44 4.44\n-4.44 -4.44\nCONSTANT 2000\n");
  testing::WriteText(pressure, "* INPUT UNIT  : PA\nZEROS 0\nPOLES 0\nCONSTANT 1\n");
  std::vector<std::string> results;
  for (const std::string& response : {velocity, displacement}) {
    Edit(project_, [&](TProject& p) { Describe(p, response); });
    const CliRun run = Cli("run --spectra " + Quote(project_), dir_);
    ASSERT_EQ(run.Status, 0) << run.Err;
    results.push_back(ReadAll(Prim("TVK01")));
  }
  EXPECT_EQ(results[0], results[1]);

  Edit(project_, [&](TProject& p) { p.Records[0].Channels[2].ChannelResp = pressure; });
  const CliRun run = Cli("run --spectra " + Quote(project_), dir_);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("TVK01: не загружена ЧХ канала 3 (HHZ): " + pressure +
                         ": его входная единица \"PA\" — не единица смещения, скорости или "
                         "ускорения"),
            std::string::npos)
      << run.Err;
}

// A sensor set and the amplifier and channel responses empty: the refusal says which file is
// missing for which channel.
TEST_F(RunCli, IncompleteChainNamesWhatIsMissing) {
  Edit(project_, [&](TProject& p) {
    TFileRecord& r = p.Records[0];
    for (int c = 0; c < 3; ++c) r.Channels[c].ChannelResp.clear();
    r.Channels[0].SensorResp = r.Channels[1].SensorResp = unit_;
    r.Channels[1].AmplifierResp = unit_;
    r.Channels[2].AmplifierResp = unit_;
  });
  const CliRun run = Cli("run --spectra " + Quote(project_), dir_);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("Не заданы файлы с ЧХ для записи TVK01 Ш [E,N,Z] 14.05.2024 (0:02:00)\n"
                         "Канал 1 (HHE): не задан файл ЧХ усилителя; задайте его или файл ЧХ "
                         "всего канала\n"
                         "Канал 3 (HHZ): не задан файл ЧХ датчика; задайте его или файл ЧХ всего "
                         "канала\n"),
            std::string::npos)
      << run.Err;
  EXPECT_FALSE(fs::exists(dir_.File("Spectra")));
  const CliRun show = Cli("show " + Quote(project_), dir_);
  EXPECT_NE(show.Out.find("\nКанал 3 (HHZ): не задан файл ЧХ датчика"), std::string::npos)
      << show.Out;
}

// H/V after a run of power spectra: the record's message says that H/V needs amplitude spectra,
// instead of only that a file was not read.
TEST_F(RunCli, RatiosAfterPowerSpectraSayWhatTheyNeed) {
  Edit(project_, [](TProject& p) { p.Settings[0].SpectrumType = TSpectrumType::kPower; });
  ASSERT_EQ(Cli("run --spectra " + Quote(project_), dir_).Status, 0);
  const CliRun run = Cli("run --hv --only 1 " + Quote(project_), dir_);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("H/V: запись 1 (TVK01): нет результата: TVK01: для H/V нужны амплитудные "
                         "спектры (SpectrumType 0), а спектры записи рассчитываются как спектры "
                         "мощности (SpectrumType 1): файла " +
                         Prim("TVK01") + " нет"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Err.find("не прочитан"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Nak("TVK01")));
}

// H/V of a one-channel LHE record (the real file) and of a record whose Z channel is not
// selected: refused with what is missing, and no ratio file.
TEST_F(RunCli, RecordWithoutZOrHorizontalsGetsNoRatioFile) {
  const std::string balst = dir_.File("balst.tvp");
  ASSERT_EQ(Cli("add " + Quote(balst) + " " +
                    Quote(testing::RealFile("mseed/CH.BALST..LHE.D.2025.314.mseed")),
                dir_)
                .Status,
            0);
  Edit(balst, [&](TProject& p) { Describe(p, unit_); });
  const CliRun one = Cli("run " + Quote(balst), dir_);
  EXPECT_EQ(one.Status, 1);
  EXPECT_NE(one.Err.find("H/V: запись 1 (BALST): нет результата: BALST: для расчета H/V нет "
                         "выбранных каналов N, Z"),
            std::string::npos)
      << one.Err;
  const std::string prim = dir_.File("Spectra/Primary/prim_BALST_251110-000253.dat");
  EXPECT_TRUE(fs::exists(prim));
  EXPECT_FALSE(fs::exists(dir_.File("Spectra/Nakamura/nak_prim_BALST_251110-000253.dat")));

  Edit(project_, [](TProject& p) { p.Records[1].Channels[2].Selected = false; });
  const CliRun two = Cli("run " + Quote(project_), dir_);
  EXPECT_EQ(two.Status, 1);
  EXPECT_NE(two.Err.find("запись 2 (TVK02): нет результата: TVK02: для расчета H/V нет выбранного "
                         "канала Z"),
            std::string::npos)
      << two.Err;
  EXPECT_TRUE(fs::exists(Nak("TVK01")));
  EXPECT_FALSE(fs::exists(Nak("TVK02")));
}

// The same file added twice (from two folders) gives two records with one result file: the run
// names them and asks; without --yes and without a terminal the answer is No.
TEST_F(RunCli, RecordsSharingAResultFileAreAskedAbout) {
  const std::string copy = dir_.File("copy");
  fs::create_directories(copy);
  const std::string name = "TVK01.XX.20240514T000000.msd";
  fs::copy_file(dir_.File("data/" + name), copy + "/" + name);
  const std::string twice = dir_.File("twice.tvp");
  ASSERT_EQ(Cli("add " + Quote(twice) + " " + Quote(dir_.File("data/" + name)) + " " +
                    Quote(copy + "/" + name),
                dir_)
                .Status,
            0);
  Edit(twice, [&](TProject& p) { Describe(p, unit_); });

  const CliRun declined = Cli("run " + Quote(twice), dir_);
  EXPECT_EQ(declined.Status, 1);
  EXPECT_NE(
      declined.Err.find("Записи 1 (TVK01), 2 (TVK01) пишут результат в один файл " + Prim("TVK01") +
                        "\nОстанется результат последней из них. Продолжить? [нет]"),
      std::string::npos)
      << declined.Err;
  EXPECT_NE(declined.Err.find("spectra: расчёт не выполнен"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_.File("Spectra")));

  const CliRun accepted = Cli("run --yes " + Quote(twice), dir_);
  EXPECT_EQ(accepted.Status, 0) << accepted.Err;
  EXPECT_TRUE(fs::exists(Prim("TVK01")));
  EXPECT_TRUE(fs::exists(Nak("TVK01")));
}

// Spectra then H/V in one call: a record whose spectra fail now does not get ratios from the
// amplitude file an earlier run left.
TEST_F(RunCli, FailedSpectraAreNotFollowedByRatiosFromAnEarlierFile) {
  ASSERT_EQ(Cli("run --spectra " + Quote(project_), dir_).Status, 0);
  ASSERT_TRUE(fs::exists(Prim("TVK01")));
  const std::string bad = dir_.File("bad.rsp");
  testing::WriteText(bad, "[DEVICE]\nZP available=True\n");
  Edit(project_, [&](TProject& p) { p.Records[0].Channels[0].ChannelResp = bad; });

  const CliRun run = Cli("run " + Quote(project_), dir_);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(
      run.Err.find("H/V: запись 1 (TVK01): нет результата: пропущена: ее спектры в этом расчете "
                   "не получены, а файл амплитудного спектра прежнего расчета не используется"),
      std::string::npos)
      << run.Err;
  EXPECT_FALSE(fs::exists(Nak("TVK01")));
  EXPECT_TRUE(fs::exists(Nak("TVK02")));
  EXPECT_EQ(run.Out, Prim("TVK02") + "\n" + Nak("TVK02") + "\n");
}

// Levels left at the -1 a new channel gets, and a level the signal exceeds: the message says
// which.
TEST_F(RunCli, NoQuietIntervalNamesTheLevels) {
  Edit(project_, [](TProject& p) {
    for (int c = 0; c < 3; ++c) {
      p.Records[0].Channels[c].Level = -1;
      p.Records[1].Channels[c].Level = c == 2 ? 1 : kHighLevel;
    }
  });
  const CliRun run = Cli("run --yes --spectra " + Quote(project_), dir_);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("TVK01: недостаточно данных для расчета: не задан допустимый уровень: "
                         "канал 1 (HHE) = -1, канал 2 (HHN) = -1, канал 3 (HHZ) = -1\n"),
            std::string::npos)
      << run.Err;
  // Two minutes at 100 Hz are 12000 samples; the noise exceeds 1 count in most of them.
  const std::string exceeded =
      "TVK02: недостаточно данных для расчета: уровень 1 канала 3 (HHZ) превышен в отсчетах: ";
  const size_t at = run.Err.find(exceeded);
  ASSERT_NE(at, std::string::npos) << run.Err;
  const long disturbed = std::stol(run.Err.substr(at + exceeded.size()));
  EXPECT_GT(disturbed, 6000);
  EXPECT_NE(run.Err.find(" из 12000", at), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_.File("Spectra")));
}

// H/V alone before any spectra: the amplitude spectrum is missing (no response file is), then
// the file that is missing.
TEST_F(RunCli, MissingAmplitudeFileIsNamed) {
  const CliRun run = Cli("run --hv " + Quote(project_), dir_);
  EXPECT_EQ(run.Status, 1);
  const size_t at = run.Err.find("Не рассчитан амплитудный спектр записи TVK01 Ш [E/Z,N/Z] ");
  ASSERT_NE(at, std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("Не заданы файлы с ЧХ"), std::string::npos) << run.Err;
  // The next line.
  EXPECT_EQ(run.Err.find("\nФайл " + Prim("TVK01") + " не найден\n", at), run.Err.find('\n', at))
      << run.Err;
  EXPECT_FALSE(fs::exists(dir_.File("Spectra")));
}

// --json: one document with, per record, the file written or the failure, and the time taken.
TEST_F(RunCli, JsonTellsPerRecordWhatWasWrittenAndWhy) {
  const std::string bad = dir_.File("bad.rsp");
  testing::WriteText(bad, "hello\n");
  Edit(project_, [&](TProject& p) { p.Records[0].Channels[1].ChannelResp = bad; });
  const CliRun run = Cli("run --json " + Quote(project_), dir_);
  EXPECT_EQ(run.Status, 1);
  const nlohmann::json doc = nlohmann::json::parse(run.Out);
  EXPECT_EQ(doc["project"], project_);
  const nlohmann::json& spectra = doc["spectra"]["records"];
  ASSERT_EQ(spectra.size(), 2u);
  EXPECT_EQ(spectra[0]["record"], 1);
  EXPECT_NE(spectra[0]["failure"].get<std::string>().find(bad + ": не файл характеристики"),
            std::string::npos);
  EXPECT_FALSE(spectra[0].contains("written"));
  EXPECT_EQ(spectra[1]["written"], Prim("TVK02"));
  EXPECT_GE(spectra[1]["seconds"].get<double>(), 0.0);
  const nlohmann::json& hv = doc["hv"]["records"];
  ASSERT_EQ(hv.size(), 2u);
  EXPECT_EQ(hv[0]["failure"].get<std::string>().rfind("пропущена: ", 0), 0u);
  EXPECT_EQ(hv[1]["written"], Nak("TVK02"));
  EXPECT_TRUE(doc["hv"]["ran"].get<bool>());
  EXPECT_GE(doc["seconds"].get<double>(), spectra[1]["seconds"].get<double>());
}

}  // namespace
}  // namespace tarvik
