// What edit, settings, clone, split and show do with values a project cannot keep or would keep
// wrongly, run as a user types them: texts Windows-1251 cannot hold, filter corners out of
// order, a selection beyond its record, a rate no control gives, stations made twice, and the
// segment length SilenceDur really gives.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
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
using testing::ReadBytes;
using testing::RecordingUiHost;
using testing::TempDir;

TProject Load(const std::string& file) {
  TProject p;
  RecordingUiHost host;
  EXPECT_EQ(LoadProject(p, file, host), LoadStatus::kLoaded);
  return p;
}

// Two stations (TVK01, TVK02, channels HHE, HHN, HHZ at 100 Hz) of one two-minute file each,
// from 2024-05-14 00:00, added to a project.
class EditChecksCli : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteShortRecordings(dir_.File("data"), 2, 120.0, 1);
    const CliRun add = Cli("add " + Quote(project_) + " " + Quote(dir_.File("data")), dir_);
    ASSERT_EQ(add.Status, 0) << add.Err;
  }

  // "command PROJECT options".
  CliRun Run(const std::string& args) {
    const size_t space = args.find(' ');
    const std::string command = args.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : args.substr(space);
    return Cli(command + " " + Quote(project_) + rest, dir_);
  }

  TempDir dir_;
  const std::string project_ = dir_.File("proj.tvp");
};

// edit --station Zürich printed "-> Zürich" and stored "Z?rich". Every text the project file
// cannot hold is refused, naming the character, and the file stays as it was.
TEST_F(EditChecksCli, TextsWindows1251CannotHoldAreRefused) {
  const struct {
    std::string Args;
    std::string Said;
  } cases[] = {
      {"edit --records 1 --station Zürich", "Название пункта «Zürich» содержит символ «ü»"},
      {"edit --records 1 --channel 2 --rename 北", "Имя канала «北» содержит символ «北»"},
      {"edit --all --all-channels --sensor " + Quote(dir_.File("ü.paz")),
       "Путь «" + dir_.File("ü.paz") + "» содержит символ «ü»"},
      {"change-path --records 2 " + Quote(dir_.File("Zürich")),
       "Путь «" + dir_.File("Zürich") + "» содержит символ «ü»"},
      {"settings ResultDir=" + Quote(dir_.File("Zürich")), "содержит символ «ü»"},
  };
  fs::create_directories(dir_.File("Zürich"));
  const std::vector<uint8_t> before = ReadBytes(project_);
  for (const auto& c : cases) {
    const CliRun run = Run(c.Args);
    EXPECT_EQ(run.Status, 2) << c.Args;
    EXPECT_NE(run.Err.find(c.Said + ", которого нет в кодировке файла проекта (Windows-1251)"),
              std::string::npos)
        << c.Args << "\n"
        << run.Err;
    EXPECT_EQ(run.Out, "") << c.Args;
    EXPECT_TRUE(ReadBytes(project_) == before) << c.Args;
  }
  // Cyrillic is Windows-1251's own.
  ASSERT_EQ(Run("edit --records 1 --station Пункт").Status, 0);
  EXPECT_EQ(Load(project_).Records[0].Station, "Пункт");
}

// settings FMin=50 FMax=1 EdgeEffect=1 was saved and the run did not filter. Corners out of
// order are refused in either pair, whatever the order they are typed in.
TEST_F(EditChecksCli, FilterCornersOutOfOrderAreRefused) {
  const std::vector<uint8_t> before = ReadBytes(project_);
  const CliRun edge = Run("settings FMin=50 FMax=1 EdgeEffect=1");
  EXPECT_EQ(edge.Status, 2);
  EXPECT_EQ(edge.Err,
            "settings: Нижняя частота фильтра краевого эффекта (FMin = 50 Гц) должна быть меньше "
            "верхней (FMax = 1 Гц)\n");
  const CliRun noise = Run("settings --events NoiseFMin=20 NoiseFMax=20");
  EXPECT_EQ(noise.Status, 2);
  EXPECT_NE(noise.Err.find("(NoiseFMin1 = 20 Гц) должна быть меньше верхней (NoiseFMax1 = 20 Гц)"),
            std::string::npos)
      << noise.Err;
  EXPECT_TRUE(ReadBytes(project_) == before);

  // FMax brought below the old FMin together with a lower FMin: the pair as a whole counts.
  ASSERT_EQ(Run("settings FMin=5 FMax=10").Status, 0);
  ASSERT_EQ(Run("settings FMax=2 FMin=0.5 EdgeEffect=1").Status, 0);
  const TProject p = Load(project_);
  EXPECT_EQ(p.Settings[kMicroseismSet].FMin, 0.5);
  EXPECT_EQ(p.Settings[kMicroseismSet].FMax, 2);
}

// A selection of 2010-2030 on a record of 2024 gave files named 100101-000000. It is brought to
// the record's Start and Finish with a warning, and the result files follow the start used; a
// start after the finish is refused.
TEST_F(EditChecksCli, SelectionBeyondTheRecordIsClamped) {
  const CliRun clamped =
      Run("edit --records 1 --select-start 2010-01-01T00:00:00 --select-finish "
          "2030-01-01T00:00:00");
  EXPECT_EQ(clamped.Status, 0) << clamped.Err;
  EXPECT_NE(
      clamped.Err.find("edit: предупреждение: Запись 1 (TVK01): начало выделенного интервала "
                       "01.01.2010 00:00:00 раньше начала записи; взято 14.05.2024 00:00:00\n"),
      std::string::npos)
      << clamped.Err;
  EXPECT_NE(clamped.Err.find("edit: предупреждение: Запись 1 (TVK01): конец выделенного интервала "
                             "01.01.2030 00:00:00 позже конца записи; взят 14.05.2024 00:02:00\n"),
            std::string::npos)
      << clamped.Err;
  TProject p = Load(project_);
  EXPECT_DOUBLE_EQ(p.Records[0].SelectStart, p.Records[0].Start);
  EXPECT_DOUBLE_EQ(p.Records[0].SelectFinish, p.Records[0].Finish);

  ASSERT_EQ(Run("edit --records 1 --select-start 2024-05-14T00:00:30").Status, 0);
  // Checked together: a finish before the start is refused although each end lies inside.
  const std::vector<uint8_t> before = ReadBytes(project_);
  const CliRun refused =
      Run("edit --records 1 --select-start 2024-05-14T00:01:30 --select-finish "
          "2024-05-14T00:01:00");
  EXPECT_EQ(refused.Status, 2);
  EXPECT_NE(refused.Err.find("edit: Запись 1 (TVK01): начало выделенного интервала 14.05.2024 "
                             "00:01:30 не раньше его конца 14.05.2024 00:01:00"),
            std::string::npos)
      << refused.Err;
  EXPECT_TRUE(ReadBytes(project_) == before);

  // The result file is named after the start the run uses.
  const std::string unit = dir_.File("unit.paz");
  testing::WriteText(unit, "ZEROS 0\nPOLES 0\nCONSTANT 1\n");
  ASSERT_EQ(
      Run("edit --all --all-channels --level 1000000000 --channel-resp " + Quote(unit)).Status, 0);
  const CliRun run = Run("run --spectra --only 1");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, dir_.File("Spectra/Primary/prim_TVK01_240514-000030.dat") + "\n");
}

// --rate 1e300 was saved and then ignored by every calculation: refused as outside the range of
// the rate's control, the project as it was.
TEST_F(EditChecksCli, RateOutsideItsControlIsRefused) {
  const std::vector<uint8_t> before = ReadBytes(project_);
  for (const char* rate : {"1e300", "0.5", "100001"}) {
    const CliRun run = Run(std::string("edit --records 1 --rate ") + rate);
    EXPECT_EQ(run.Status, 2) << rate;
    EXPECT_EQ(run.Err, "edit: Частота оцифровки должна быть от 1 до 100000 Гц\n") << rate;
  }
  EXPECT_TRUE(ReadBytes(project_) == before);
  ASSERT_EQ(Run("edit --records 1 --rate 200").Status, 0);
  EXPECT_EQ(Load(project_).Records[0].SampRate, 200);
}

// Twenty copies of TVK01 were all "TVK01-1"; the split of HHE, HHN, HHZ gave three "TVK01-H".
// Every new record gets a station of its own that fits the 7 characters.
TEST_F(EditChecksCli, CloneAndSplitNameEveryRecordApart) {
  const CliRun clone = Run("clone --records 1 --copies 20");
  EXPECT_EQ(clone.Status, 0) << clone.Err;
  EXPECT_EQ(clone.Err, "");  // no two records write the same result files
  const CliRun split = Run("split --records 1");
  EXPECT_EQ(split.Status, 0) << split.Err;
  EXPECT_NE(split.Out.find("добавлена запись 23: TVK01-E Ш [E]"), std::string::npos) << split.Out;
  EXPECT_NE(split.Out.find("добавлена запись 24: TVK01-N Ш [N]"), std::string::npos);
  EXPECT_NE(split.Out.find("добавлена запись 25: TVK01-Z Ш [Z]"), std::string::npos);

  const TProject p = Load(project_);
  ASSERT_EQ(p.Records.size(), 25u);
  EXPECT_EQ(p.Records[2].Station, "TVK01-1");
  EXPECT_EQ(p.Records[10].Station, "TVK01-9");
  EXPECT_EQ(p.Records[11].Station, "TVK0-10");
  EXPECT_EQ(p.Records[21].Station, "TVK0-20");
  std::set<std::string> stations;
  for (const TFileRecord& r : p.Records) {
    EXPECT_LE(r.Station.size(), 7u) << r.Station;
    stations.insert(r.Station);
  }
  EXPECT_EQ(stations.size(), p.Records.size());
}

// SilenceDur=60 at 100 Hz gives segments of 81.92 s: show and settings say so.
TEST_F(EditChecksCli, ShowAndSettingsNameTheSegmentLengthUsed) {
  const CliRun set = Run("settings SilenceDur=60");
  EXPECT_EQ(set.Status, 0) << set.Err;
  const std::string said =
      "сегменты по 81.92 с (8192 отсчётов при 100 Гц): SilenceDur=60 с округлено вверх до степени "
      "двойки отсчётов\n";
  EXPECT_NE(set.Out.find("SilenceDur 20 -> 60\n"), std::string::npos) << set.Out;
  EXPECT_NE(set.Out.find(said), std::string::npos) << set.Out;
  EXPECT_NE(Run("settings").Out.find(said), std::string::npos);

  const CliRun show = Run("show");
  EXPECT_EQ(show.Status, 0);
  EXPECT_NE(show.Out.find("   " + said), std::string::npos) << show.Out;
  const nlohmann::json j = nlohmann::json::parse(Run("show --json").Out);
  EXPECT_EQ(j["records"][0]["window"]["samples"], 8192);
  EXPECT_DOUBLE_EQ(j["records"][0]["window"]["seconds"].get<double>(), 81.92);
  EXPECT_EQ(j["settings"]["microseism"]["window"]["differs_from_SilenceDur"], true);
}

}  // namespace
}  // namespace tarvik
