// tarvik-cli preview: the PNG, the silence label, the intervals as JSON, and the refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "gap_recording.h"
#include "project/demo.h"
#include "project/project_file.h"
#include "recording_ui_host.h"
#include "spectral/result_files.h"
#include "spectral/spectrum_settings.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::TempDir;

// A project of one station's five minutes with three transients above the channels' levels.
std::string DemoProject(const TempDir& dir) {
  TDemoOptions options;
  options.Stations = {{"TVK01", 2.0}};
  options.Files = 1;
  options.FileSeconds = 300.0;
  TFilterPack sensor;
  sensor.ZP.NormFactor = 1.0;
  std::vector<TDemoRecording> recordings;
  std::string error;
  const std::string data = dir.File("data");
  fs::create_directories(data);
  EXPECT_TRUE(WriteDemoRecordings(data, sensor.ZP, options, recordings, error)) << error;
  const std::string project = dir.File("p.tvp");
  EXPECT_EQ(Cli("add " + Quote(project) + " " + Quote(recordings.at(0).Files.at(0)), dir).Status,
            0);
  TProject p;
  testing::RecordingUiHost host;
  EXPECT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  for (int c = 0; c < 3; ++c) p.Records.at(0).Channels[c].Level = recordings[0].Levels[c];
  EXPECT_TRUE(SaveProject(p, project, 0, host).Ok);
  return project;
}

bool RenderingBuilt(const CliRun& run) {
  return run.Err.find("rendering is not built") == std::string::npos;
}

TEST(PreviewCli, ImageLabelAndIntervals) {
  TempDir dir;
  const std::string project = DemoProject(dir);
  const std::string png = dir.File("p.png");
  const CliRun run = Cli(
      "preview " + Quote(project) + " --record 1 -o " + Quote(png) + " --width 400 --json", dir);
  if (!RenderingBuilt(run)) GTEST_SKIP() << "built without Qt";
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::vector<uint8_t> bytes = testing::ReadBytes(png);
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 4), "PNG");

  const nlohmann::json j = nlohmann::json::parse(run.Out);
  EXPECT_EQ(j["width"], 400);
  EXPECT_EQ(j["SampleCount"], 30000);
  EXPECT_EQ(j["segment_length"], 2048);
  EXPECT_EQ(j["span"]["first"], 0);
  EXPECT_EQ(j["span"]["last"], 29999);
  EXPECT_EQ(j["span"]["start"], "2024-05-14T00:00:00.000Z");
  // Quiet and disturbed intervals alternate and together cover the span.
  std::vector<std::pair<int64_t, int64_t>> all;
  int64_t quiet = 0;
  for (const auto& q : j["quiet"]) {
    all.emplace_back(q["first"], q["last"]);
    quiet += q["last"].get<int64_t>() - q["first"].get<int64_t>() + 1;
    EXPECT_EQ((q["last"].get<int64_t>() - q["first"].get<int64_t>() + 1) % 2048, 0);
  }
  for (const auto& d : j["disturbed"]) all.emplace_back(d["first"], d["last"]);
  ASSERT_GE(j["disturbed"].size(), 3u);  // the three transients
  std::sort(all.begin(), all.end());
  int64_t next = 0;
  for (const auto& [a, b] : all) {
    EXPECT_EQ(a, next);
    next = b + 1;
  }
  EXPECT_EQ(next, 30000);
  EXPECT_EQ(j["quiet_samples"], quiet);
  EXPECT_EQ(j["label"].get<std::string>().rfind("Тишина: 0:0", 0), 0u);
  ASSERT_EQ(j["channels"].size(), 3u);
  EXPECT_GT(j["channels"][2]["Level"].get<int>(), 0);

  // Without --json: the label alone (--force: the image of the first call is there).
  const CliRun plain =
      Cli("preview " + Quote(project) + " --record 1 --force -o " + Quote(png), dir);
  ASSERT_EQ(plain.Status, 0) << plain.Err;
  EXPECT_EQ(plain.Out, j["label"].get<std::string>() + "\n");
  // In English the line says the same length and share in English; the JSON keeps the window's.
  const CliRun english = testing::CliWithLocale(
      "C", "preview " + Quote(project) + " --record 1 --force -o " + Quote(png), dir);
  ASSERT_EQ(english.Status, 0) << english.Err;
  const std::string label = j["label"];
  EXPECT_EQ(english.Out, "Silence: " + label.substr(label.find(": ") + 2) + "\n");
}

// A miniSEED record of ten minutes, a five-minute gap and ten more (three channels of noise
// within ±2000 counts, level 2500). The preview finds quiet only in recorded samples: its
// intervals are those of a sample-by-sample search that takes the gap as disturbed, its label
// counts them alone, and it lists the gap. The run writes spectra averaged over those segments
// alone and reports the gap, in its JSON and in the record's message.
TEST(PreviewCli, GapRecordIsNeitherQuietNorAveraged) {
  TempDir dir;
  const std::string file = dir.File("GAP.msd");
  const testing::GapRecording rec = testing::WriteGapRecording(file);
  const std::string project = dir.File("gap.tvp");
  const std::string unit = dir.File("unit.paz");
  testing::WriteText(unit, "ZEROS 0\nPOLES 0\nCONSTANT 1\n");
  ASSERT_EQ(Cli("add " + Quote(project) + " " + Quote(file), dir).Status, 0);
  const CliRun edit =
      Cli("edit " + Quote(project) +
              " --all --all-channels --level 2500 --process on --channel-resp " + Quote(unit),
          dir);
  ASSERT_EQ(edit.Status, 0) << edit.Err;

  const std::string png = dir.File("gap.png");
  const CliRun preview =
      Cli("preview " + Quote(project) + " --record 1 -o " + Quote(png) + " --json", dir);
  if (!RenderingBuilt(preview)) GTEST_SKIP() << "built without Qt";
  ASSERT_EQ(preview.Status, 0) << preview.Err;
  EXPECT_TRUE(fs::exists(png));
  const nlohmann::json j = nlohmann::json::parse(preview.Out);
  const TRecordRanges gap = {{testing::GapRecording::kGapFirst, testing::GapRecording::kGapLast}};
  ASSERT_EQ(j["gaps"].size(), 1u);
  EXPECT_EQ(j["gaps"][0]["first"], gap[0].first);
  EXPECT_EQ(j["gaps"][0]["last"], gap[0].second);
  const TRecordRanges quiet = testing::QuietBySample(
      rec.Demeaned(), testing::GapRecording::kLevel, gap, j["segment_length"].get<int64_t>(),
      j["gap"].get<int64_t>(), 0, testing::GapRecording::kCount - 1);
  TRecordRanges shown;
  for (const auto& q : j["quiet"]) shown.emplace_back(q["first"], q["last"]);
  EXPECT_EQ(shown, quiet);
  int64_t q = 0;
  for (const auto& [a, b] : quiet) q += b - a + 1;
  EXPECT_EQ(j["quiet_samples"], q);
  const auto seconds = static_cast<int>(std::nearbyint(static_cast<double>(q) / 100.0));
  char label[64];
  std::snprintf(label, sizeof label, "Тишина: 0:%02d:%02d (%1.0f%%)", seconds / 60, seconds % 60,
                100.0 * static_cast<double>(q) / testing::GapRecording::kCount);
  EXPECT_EQ(j["label"], label);

  const CliRun run = Cli("run " + Quote(project) + " --spectra --yes --json", dir);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const nlohmann::json r = nlohmann::json::parse(run.Out)["spectra"]["records"][0];
  EXPECT_EQ(r["gaps"]["count"], 1);
  EXPECT_EQ(r["gaps"]["seconds"], 300.0);
  const std::string written = r["written"];
  const CliRun text = Cli("run " + Quote(project) + " --spectra --yes", dir);
  ASSERT_EQ(text.Status, 0) << text.Err;
  EXPECT_NE(text.Err.find("spectra: запись 1: GAP: пропуски в данных: 1 (300 с) не вошли в расчет"),
            std::string::npos)
      << text.Err;

  // The spectra are the average over the quiet segments of recorded data (four significant
  // digits in the file); the gap's zeros would pull each line down by a fifth.
  TMatrix2D values, stdev;
  std::vector<double> frequencies;
  std::vector<std::string> names;
  testing::RecordingUiHost host;
  ASSERT_TRUE(ReadSpectrum(written, host, values, stdev, frequencies, names));
  const TSpectrumSettings s = DefaultSpectrumSettings(kMicroseismSet);
  std::vector<double> window(2048);
  for (int64_t i = 0; i < 2048; ++i) window[i] = WindowValue(i, 2048, s.WindowType, s.B);
  const std::vector<std::vector<double>> welch =
      testing::WelchBySum(rec.Demeaned(), quiet, window, testing::GapRecording::kRate);
  // The file's columns go by component, E, N, Z: channels 3, 2, 1 of the record.
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(names, (std::vector<std::string>{"E02_HHE", "E02_HHE_StDev", "N01_HHN", "N01_HHN_StDev",
                                             "Z00_HHZ", "Z00_HHZ_StDev"}));
  for (size_t column = 0; column < 3; ++column) {
    const std::vector<double>& line = welch[2 - column];
    ASSERT_EQ(values[column].size(), line.size());
    for (size_t k = 0; k < line.size(); ++k) {
      const double want = line[k] / 1e9;  // the miniSEED channels' coefficient
      ASSERT_NEAR(values[column][k], want, 6e-4 * want) << names[2 * column] << ", line " << k;
    }
  }
}

TEST(PreviewCli, RefusalsWriteNoImage) {
  TempDir dir;
  const std::string project = DemoProject(dir);
  const std::string png = dir.File("p.png");
  const std::string args = "preview " + Quote(project) + " -o " + Quote(png);
  const CliRun beyond = Cli(args + " --record 2", dir);
  if (!RenderingBuilt(beyond)) GTEST_SKIP() << "built without Qt";
  EXPECT_EQ(beyond.Status, 2);
  EXPECT_EQ(Cli(args + " --record 0", dir).Status, 2);
  EXPECT_EQ(Cli("preview " + Quote(project) + " --record 1", dir).Status, 2);  // no -o
  EXPECT_EQ(Cli(args + " --record 1 --width 3", dir).Status, 2);
  EXPECT_EQ(
      Cli("preview " + Quote(dir.File("none.tvp")) + " --record 1 -o " + Quote(png), dir).Status,
      1);
  const CliRun unwritable = testing::CliWithLocale(
      "C",
      "preview " + Quote(project) + " --record 1 -o " + Quote(dir.File("no/such/folder/p.png")),
      dir);
  EXPECT_EQ(unwritable.Status, 1);
  EXPECT_NE(unwritable.Err.find("could not be written"), std::string::npos);

  // The record's file is gone.
  TProject p;
  testing::RecordingUiHost host;
  ASSERT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  const std::string file = p.Records[0].File;
  fs::remove(file);
  const CliRun missing = Cli(args + " --record 1", dir);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("Файл " + file + " не найден"), std::string::npos) << missing.Err;

  // Not a seismogram any more.
  testing::WriteText(file, "not a seismogram\n");
  const CliRun junk = Cli(args + " --record 1", dir);
  EXPECT_EQ(junk.Status, 1);
  EXPECT_NE(junk.Err.find("не удалось прочитать запись"), std::string::npos) << junk.Err;
  EXPECT_FALSE(fs::exists(png));
}

}  // namespace
}  // namespace tarvik
