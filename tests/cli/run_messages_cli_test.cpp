// What "tarvik-cli run" and "show" tell a user when a run cannot start or records fail: H/V
// without amplitude spectra, no record checked, several failed records with one count at the
// end, filters at the record's Nyquist frequency and the segment length used.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

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

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string LastLine(const std::string& text) {
  const size_t end = text.size() > 0 && text.back() == '\n' ? text.size() - 1 : text.size();
  const size_t begin = text.rfind('\n', end == 0 ? 0 : end - 1);
  return text.substr(begin == std::string::npos ? 0 : begin + 1, end - (begin + 1));
}

// Two stations (TVK01, TVK02) of one two-minute file each, every record checked for both runs,
// every channel with a flat response and a level that counts as set.
class RunMessagesCli : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteShortRecordings(dir_.File("data"), 2, 120.0, 1);
    ASSERT_EQ(Cli("add " + Quote(project_) + " " + Quote(dir_.File("data")), dir_).Status, 0);
    testing::WriteText(unit_, "ZEROS 0\nPOLES 0\nCONSTANT 1\n");
    ASSERT_EQ(Run("edit --all --process on --hv on --all-channels --level 1000000000 "
                  "--channel-resp " +
                  Quote(unit_))
                  .Status,
              0);
  }

  // "command PROJECT options".
  CliRun Run(const std::string& args) {
    const size_t space = args.find(' ');
    const std::string command = args.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : args.substr(space);
    return Cli(command + " " + Quote(project_) + rest, dir_);
  }

  std::string Prim(const std::string& station) const {
    return dir_.File("Spectra/Primary/prim_" + station + "_240514-000000.dat");
  }

  TempDir dir_;
  const std::string project_ = dir_.File("proj.tvp");
  const std::string unit_ = dir_.File("unit.paz");
};

// run --hv and show said "Не заданы файлы с ЧХ ..." when the amplitude spectrum was missing.
// Now both say which spectrum is missing, name its file and how to compute it, also when the
// set computes power spectra.
TEST_F(RunMessagesCli, MissingAmplitudeSpectrumIsNamedWithHowToComputeIt) {
  const CliRun run = Run("run --hv");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err.find("Не заданы файлы с ЧХ"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("Не рассчитан амплитудный спектр записи TVK01 Ш [E/Z,N/Z] 14.05.2024 "
                         "(0:02:00)\nФайл " +
                         Prim("TVK01") +
                         " не найден\nH/V считается по амплитудным спектрам: рассчитайте "
                         "спектры этой записи на вкладке «Обычные спектры» с типом спектра "
                         "«Амплитудный»\n"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(LastLine(run.Err),
            "run: сначала рассчитайте амплитудные спектры записи: tarvik-cli run '" + project_ +
                "' --spectra --only 1");
  EXPECT_FALSE(fs::exists(dir_.File("Spectra")));

  ASSERT_EQ(Run("settings SpectrumType=1").Status, 0);
  const CliRun show = Run("show");
  EXPECT_NE(show.Out.find("расчёт H/V: Не рассчитан амплитудный спектр записи TVK01"),
            std::string::npos)
      << show.Out;
  EXPECT_NE(show.Out.find("сначала рассчитайте амплитудные спектры записи: tarvik-cli settings '" +
                          project_ + "' SpectrumType=0, затем tarvik-cli run '" + project_ +
                          "' --spectra --only 1\n"),
            std::string::npos)
      << show.Out;
  // The same hint in English reads as it always did.
  const CliRun english = testing::CliWithLocale("C", "show " + Quote(project_), dir_);
  EXPECT_NE(english.Out.find("compute the record's amplitude spectra first: tarvik-cli settings '" +
                             project_ + "' SpectrumType=0, then tarvik-cli run '" + project_ +
                             "' --spectra --only 1\n"),
            std::string::npos)
      << english.Out;
  const nlohmann::json j = nlohmann::json::parse(Run("show --json").Out);
  EXPECT_EQ(j["hv_list"]["message"].get<std::string>().rfind("Не рассчитан амплитудный спектр", 0),
            0u);
}

// run on a project with no record checked exited 0 having written nothing. Now it says that no
// record is checked and how to check them, and exits 1; a project checked for H/V only runs H/V.
TEST_F(RunMessagesCli, NothingCheckedIsRefused) {
  ASSERT_EQ(Run("edit --all --process off --hv off").Status, 0);
  const CliRun run = Run("run");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("Не отмечена ни одна запись для расчета спектров. Отметьте записи "
                         "флажками в списке «Обычные спектры»\n"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(LastLine(run.Err), "run: отметьте записи для расчёта: tarvik-cli edit '" + project_ +
                                   "' --records 1,3-5 --process on");
  EXPECT_EQ(run.Out, "");
  EXPECT_FALSE(fs::exists(dir_.File("Spectra")));

  const CliRun hv = Run("run --hv");
  EXPECT_EQ(hv.Status, 1);
  EXPECT_NE(hv.Err.find("Не отмечена ни одна запись для расчета спектров H/V"), std::string::npos);
  EXPECT_NE(LastLine(hv.Err).find("--hv on"), std::string::npos) << hv.Err;

  const CliRun json = Run("run --json");
  EXPECT_EQ(json.Status, 1);
  EXPECT_EQ(nlohmann::json::parse(json.Out)["spectra"]["nothing_checked"], true);

  // Spectra computed, then only H/V checked: a run of both computes the ratios.
  ASSERT_EQ(Run("run --spectra --only 1").Status, 0);
  ASSERT_EQ(Run("edit --records 1 --hv on").Status, 0);
  const CliRun ratios = Run("run");
  EXPECT_EQ(ratios.Status, 0) << ratios.Err;
  EXPECT_EQ(ratios.Out, dir_.File("Spectra/Nakamura/nak_prim_TVK01_240514-000000.dat\n"));
}

// Four records of six fail (their files are gone): the others are computed, each failure is
// told once with its reason, and the last line counts them.
TEST_F(RunMessagesCli, FailedRecordsAreCountedOnTheLastLine) {
  ASSERT_EQ(Run("clone --records 1,2 --copies 2").Status, 0);
  ASSERT_EQ(Run("change-path --records 3-6 " + Quote(dir_.File("gone"))).Status, 0);
  const CliRun run = Run("run --spectra");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, Prim("TVK01") + "\n" + Prim("TVK02") + "\n");
  for (const char* station : {"TVK01-1", "TVK02-2", "TVK01-3", "TVK02-4"}) {
    const std::string reason = std::string(station) + ": не удалось прочитать запись " +
                               dir_.File("gone/") + (station[4] == '1' ? "TVK01" : "TVK02");
    EXPECT_EQ(Count(run.Err, reason), 1u) << station << "\n" << run.Err;
  }
  EXPECT_NE(run.Err.find("spectra: запись 6 (TVK02-4): нет результата: TVK02-4: "),
            std::string::npos);
  EXPECT_EQ(LastLine(run.Err), "spectra: не удалось записей: 4 из 6");
  const nlohmann::json j = nlohmann::json::parse(Run("run --spectra --json").Out);
  EXPECT_EQ(j["spectra"]["failed"], 4);
  EXPECT_EQ(j["spectra"]["records"].size(), 6u);
}

// An edge filter whose upper corner is at or above a record's Nyquist frequency is named in
// that record's message; a band left empty at that rate fails the record. The segment length
// used is reported, SilenceDur=60 at 100 Hz giving 81.92 s.
TEST_F(RunMessagesCli, RecordsMessagesNameTheFilterAndTheSegments) {
  ASSERT_EQ(Run("settings EdgeEffect=1 FMin=0.5 FMax=100 SilenceDur=60").Status, 0);
  const CliRun run = Run("run --spectra");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(
      run.Err.find("spectra: запись 1 (TVK01): примечание: TVK01: FMax = 100 Гц не ниже частоты "
                   "Найквиста записи 50 Гц: верхняя частота фильтра краевого эффекта взята "
                   "49.5 Гц\n"),
      std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("spectra: сегменты по 81.92 с (8192 отсчётов при 100 Гц): записи 1, 2\n"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(LastLine(run.Err), "spectra: не удалось записей: 0 из 2");
  const nlohmann::json j = nlohmann::json::parse(Run("run --spectra --json").Out);
  EXPECT_EQ(j["spectra"]["records"][1]["window"]["samples"], 8192);
  EXPECT_EQ(j["spectra"]["records"][1]["notes"].size(), 1u);

  ASSERT_EQ(Run("settings FMin=60").Status, 0);
  const CliRun empty = Run("run --spectra");
  EXPECT_EQ(empty.Status, 1);
  EXPECT_NE(
      empty.Err.find("spectra: запись 1 (TVK01): нет результата: TVK01: полоса фильтра краевого "
                     "эффекта пуста (FMin = 60 Гц, FMax = 100 Гц, частота Найквиста записи "
                     "50 Гц): фильтр не может быть применен\n"),
      std::string::npos)
      << empty.Err;
  EXPECT_EQ(LastLine(empty.Err), "spectra: не удалось записей: 2 из 2");
}

}  // namespace
}  // namespace tarvik
