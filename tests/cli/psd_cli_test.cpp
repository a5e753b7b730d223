// tarvik-cli psd and psd-stats end to end: a store that grows by days, shards that fill the
// store of one run, and the refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <random>

#include "../records/record_test_files.h"
#include "cli_runner.h"
#include "common/datetime.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::TempDir;

// Noise at 1 Hz from 00:00 to 23:00 of 2024-03-(1 + day): an hour short of the next file, so
// that each file forms a record of its own.
std::string WriteDay(const TempDir& dir, int day) {
  testing::MsChannel ch;
  ch.Station = "PSDT";
  ch.Channel = "LHZ";
  ch.Rate = 1;
  ch.Start = EncodeDateTime(2024, 3, 1 + day);
  std::mt19937 random(static_cast<unsigned>(day + 1));
  std::normal_distribution<double> normal(0.0, 500.0);
  ch.Samples.resize(23 * 3600);
  for (int32_t& s : ch.Samples) s = static_cast<int32_t>(std::lround(normal(random)));
  const std::string path = dir.File("day" + std::to_string(day) + ".mseed");
  testing::WriteMiniSeed(path, {ch});
  return path;
}

// A project in folder of dir holding the given days, every record with the response.
std::string MakeProject(const TempDir& dir, const std::string& folder,
                        const std::vector<std::string>& files, bool with_response = true) {
  fs::create_directories(dir.Path() / folder);
  const std::string project = (dir.Path() / folder / "p.tvp").string();
  for (const std::string& f : files) {
    const CliRun add = Cli("add " + Quote(project) + " " + Quote(f), dir);
    EXPECT_EQ(add.Status, 0) << add.Err;
  }
  std::string edit = "edit " + Quote(project) + " --all --all-channels --process on --adc 1000";
  if (with_response) {
    edit += " --channel-resp " + Quote(testing::RealFile("resp/SAC_PZs_NZ_CRLZ_HHZ.sac"));
  }
  const CliRun e = Cli(edit, dir);
  EXPECT_EQ(e.Status, 0) << e.Err;
  return project;
}

nlohmann::json Json(const CliRun& run) {
  EXPECT_FALSE(run.Out.empty()) << run.Err;
  return nlohmann::json::parse(run.Out);
}

std::map<std::string, std::vector<uint8_t>> StoreFiles(const fs::path& store) {
  std::map<std::string, std::vector<uint8_t>> out;
  for (const auto& e : fs::recursive_directory_iterator(store)) {
    if (e.is_regular_file())
      out[fs::relative(e.path(), store).string()] = testing::ReadBytes(e.path().string());
  }
  return out;
}

TEST(PsdCli, StoreGrowsByTheDaysAdded) {
  TempDir dir;
  const std::string day0 = WriteDay(dir, 0), day1 = WriteDay(dir, 1);
  const std::string project = MakeProject(dir, "a", {day0});
  const fs::path store = dir.Path() / "a" / "PSD";

  // 00:00 to 23:00 holds segments of an hour every half hour from 00:00 to 22:00.
  const nlohmann::json first = Json(Cli("psd --json " + Quote(project), dir));
  EXPECT_EQ(first["segments_computed"], 45);
  EXPECT_EQ(first["days_written"], 1);
  EXPECT_TRUE(fs::is_regular_file(store / ".PSDT..LHZ" / "2024-061.psd"));

  // The same run again computes nothing and writes nothing.
  const auto before = StoreFiles(store);
  const nlohmann::json again = Json(Cli("psd --json " + Quote(project), dir));
  EXPECT_EQ(again["segments_computed"], 0);
  EXPECT_EQ(again["segments_kept"], 45);
  EXPECT_EQ(again["days_written"], 0);
  EXPECT_EQ(StoreFiles(store), before);

  // A day added: only its segments are computed.
  ASSERT_EQ(Cli("add " + Quote(project) + " " + Quote(day1), dir).Status, 0);
  ASSERT_EQ(Cli("edit " + Quote(project) +
                    " --records 2 --all-channels --process on --adc 1000 "
                    "--channel-resp " +
                    Quote(testing::RealFile("resp/SAC_PZs_NZ_CRLZ_HHZ.sac")),
                dir)
                .Status,
            0);
  const nlohmann::json added = Json(Cli("psd --json " + Quote(project), dir));
  EXPECT_EQ(added["segments_computed"], 45);
  EXPECT_EQ(added["segments_kept"], 45);
  EXPECT_EQ(added["days_written"], 1);
  EXPECT_EQ(added["days_unchanged"], 1);

  // Other settings compute every day again.
  const nlohmann::json other = Json(Cli("psd --json --segment 1800 " + Quote(project), dir));
  EXPECT_EQ(other["segments_computed"], 2 * 91);
  EXPECT_EQ(other["days_written"], 2);

  // Statistics of the project's store.
  const CliRun stats = Cli("psd-stats --json " + Quote(project) + " --percentiles 10 50 90", dir);
  ASSERT_EQ(stats.Status, 0) << stats.Err;
  const nlohmann::json s = Json(stats);
  EXPECT_EQ(s["channel"], ".PSDT..LHZ");
  EXPECT_EQ(s["segments"], 2 * 91);
  EXPECT_EQ(s["errors"], nlohmann::json::array());
  EXPECT_FALSE(s.contains("error_codes"));  // a result without errors keeps its earlier form
  const size_t periods = s["periods"].size();
  ASSERT_GT(periods, 20u);
  for (const char* key : {"10", "50", "90"}) ASSERT_EQ(s["percentiles"][key].size(), periods);
  EXPECT_EQ(s["mode"].size(), periods);
  EXPECT_EQ(s["mean"].size(), periods);
  for (size_t j = 0; j < periods; ++j) {
    if (s["percentiles"]["10"][j].is_null()) continue;
    EXPECT_LE(s["percentiles"]["10"][j].get<double>(), s["percentiles"]["50"][j].get<double>());
    EXPECT_LE(s["percentiles"]["50"][j].get<double>(), s["percentiles"]["90"][j].get<double>());
  }
  // Night hours in Moscow (UTC+3): 22:00-05:00 local is 19:00-02:00 UTC; a day's segments
  // start every 15 minutes from 00:00 to 22:30 UTC: 19:00..22:30 and 00:00..01:45, 15 + 8.
  const nlohmann::json night = Json(
      Cli("psd-stats --json " + Quote(store.string()) + " --hours 22-05 --tz Europe/Moscow", dir));
  EXPECT_EQ(night["segments"], 2 * (15 + 8));
  EXPECT_EQ(night["selection"]["tz"], "Europe/Moscow");
  const nlohmann::json one_day =
      Json(Cli("psd-stats --json " + Quote(store.string()) + " --from 2024-03-02", dir));
  EXPECT_EQ(one_day["segments"], 91);

  // The chart of a result: the density's cells beneath the percentiles, mode, mean and models.
  const std::string result = dir.File("night.json");
  ASSERT_EQ(Cli("psd-stats " + Quote(project) + " --hours 22-05 -o " + Quote(result), dir).Status,
            0);
  const CliRun plot = Cli("plot --json " + Quote(result), dir);
  ASSERT_EQ(plot.Status, 0) << plot.Err;
  std::vector<std::string> titles;
  size_t filled = 0;
  const nlohmann::json chart = Json(plot);
  ASSERT_EQ(chart["series"][0]["kind"], "color_map");
  EXPECT_EQ(chart["series"][0]["columns"], periods);
  for (const auto& series : chart["series"]) {
    titles.push_back(series["title"].get<std::string>());
    if (series["kind"] == "color_map") filled += series["cells"].get<size_t>();
  }
  EXPECT_GT(filled, periods);
  for (const char* title : {"5 %", "50 %", "95 %", "мода", "среднее", "NHNM", "NLNM"}) {
    EXPECT_NE(std::find(titles.begin(), titles.end(), title), titles.end()) << title;
  }
  // Over time: the hour missing between the days leaves a gap in the band's line and in the
  // spectrogram; a result without its segments cannot draw either.
  const std::string timed = dir.File("timed.json");
  ASSERT_EQ(Cli("psd-stats " + Quote(project) + " --with-segments -o " + Quote(timed), dir).Status,
            0);
  const nlohmann::json band = Json(Cli("plot --json --psd-view band:4-8 " + Quote(timed), dir));
  ASSERT_EQ(band["series"].size(), 2u);
  EXPECT_EQ(band["series"][0]["points"].get<int>() + band["series"][1]["points"].get<int>(),
            2 * 91);
  const nlohmann::json spectrogram =
      Json(Cli("plot --json --psd-view spectrogram " + Quote(timed), dir));
  ASSERT_EQ(spectrogram["series"].size(), 1u);
  const nlohmann::json& map = spectrogram["series"][0];
  ASSERT_EQ(map["kind"], "color_map");
  EXPECT_EQ(map["rows"], periods);
  // A column per step of time: the missing hour is blank columns between the days.
  EXPECT_GT(map["columns"].get<size_t>(), 2u * 91u);
  const size_t cells = map["cells"].get<size_t>();
  EXPECT_EQ(cells % (2 * 91), 0u);
  EXPECT_GE(cells, 2 * 91 * (periods - 2));
  EXPECT_EQ(Cli("plot --json --psd-view spectrogram " + Quote(result), dir).Status, 1);
  EXPECT_EQ(Cli("plot --json --psd-view band:x " + Quote(timed), dir).Status, 2);
  testing::WriteText(dir.File("other.json"), "{\"records\": []}");
  const std::string not_a_result = "plot --json " + Quote(dir.File("other.json"));
  const CliRun not_stats = CliWithLocale("C", not_a_result, dir);
  EXPECT_EQ(not_stats.Status, 1);
  EXPECT_NE(not_stats.Err.find("not a noise-statistics result"), std::string::npos)
      << not_stats.Err;
  EXPECT_NE(Cli(not_a_result, dir).Err.find("не результат шумовой статистики"), std::string::npos);

  // CSV to a named file, never over an existing one without --force.
  const std::string csv = dir.File("stats.csv");
  EXPECT_EQ(Cli("psd-stats " + Quote(project) + " -o " + Quote(csv), dir).Status, 0);
  EXPECT_EQ(testing::ReadBytes(csv).size() > 100, true);
  EXPECT_EQ(Cli("psd-stats " + Quote(project) + " -o " + Quote(csv), dir).Status, 1);
  EXPECT_EQ(Cli("psd-stats " + Quote(project) + " -o " + Quote(csv) + " --force", dir).Status, 0);

  // A damaged day is left out: stderr names it in the run's language, the result keeps its
  // reason in English with the code, whatever the language of the run.
  const fs::path damaged = store / ".PSDT..LHZ" / "2024-061.psd";
  const std::vector<uint8_t> whole = testing::ReadBytes(damaged.string());
  ASSERT_GT(whole.size(), 100u);
  testing::WriteBytes(damaged.string(), std::vector<uint8_t>(whole.begin(), whole.end() - 3));
  std::string told;
  for (const std::string lang : {"C", "ru_RU.UTF-8"}) {
    const CliRun left_out = CliWithLocale(lang, "psd-stats --json " + Quote(project), dir);
    ASSERT_EQ(left_out.Status, 0) << left_out.Err;
    EXPECT_NE(left_out.Err.find("2024-061.psd"), std::string::npos) << left_out.Err;
    const nlohmann::json r = Json(left_out);
    EXPECT_EQ(r["segments"], 91);
    EXPECT_EQ(r["error_codes"], nlohmann::json::array({"psd_store_damaged"})) << left_out.Out;
    if (told.empty()) told = r["errors"].dump();
    EXPECT_EQ(r["errors"].dump(), told) << lang;
  }
  EXPECT_EQ(told.find_first_of("\xD0\xD1"), std::string::npos) << told;  // no Cyrillic letter
}

TEST(PsdCli, ShardsFillTheStoreOfOneRun) {
  TempDir dir;
  const std::vector<std::string> days = {WriteDay(dir, 0), WriteDay(dir, 1), WriteDay(dir, 2)};
  const std::string whole = MakeProject(dir, "whole", days);
  const std::string sharded = MakeProject(dir, "sharded", days);
  ASSERT_EQ(Cli("psd " + Quote(whole) + " --jobs 2", dir).Status, 0);
  int64_t computed = 0;
  for (int k = 1; k <= 3; ++k) {
    const nlohmann::json part =
        Json(Cli("psd --json " + Quote(sharded) + " --shard " + std::to_string(k) + "/3", dir));
    EXPECT_EQ(part["days_written"], 1) << k;
    computed += part["segments_computed"].get<int64_t>();
  }
  EXPECT_EQ(computed, 3 * 45);
  const auto a = StoreFiles(dir.Path() / "whole" / "PSD");
  EXPECT_EQ(a.size(), 3u);
  EXPECT_EQ(a, StoreFiles(dir.Path() / "sharded" / "PSD"));
}

TEST(PsdCli, BadInputIsRefusedAndTheStoreKept) {
  TempDir dir;
  const std::string day0 = WriteDay(dir, 0);
  const std::string project = MakeProject(dir, "a", {day0});
  const fs::path file = dir.Path() / "a" / "PSD" / ".PSDT..LHZ" / "2024-061.psd";

  // A segment longer than the record: the JSON names the reason by its code.
  CliRun r = Cli("psd --json " + Quote(project) + " --segment 90000", dir);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Json(r)["error_codes"], nlohmann::json::array({"psd_selection_too_short"})) << r.Out;
  EXPECT_EQ(Json(r)["errors"].size(), 1u) << r.Out;
  EXPECT_FALSE(fs::exists(file));
  for (const char* bad :
       {" --overlap 1", " --overlap -0.1", " --segment 0", " --records 2", " --shard 4/3"}) {
    EXPECT_EQ(Cli("psd " + Quote(project) + bad, dir).Status, 2) << bad;
  }

  // A channel without a response.
  const std::string bare = MakeProject(dir, "bare", {day0}, false);
  r = Cli("psd --json " + Quote(bare), dir);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Json(r)["error_codes"], nlohmann::json::array({"psd_no_response"})) << r.Out;
  EXPECT_FALSE(fs::exists(dir.Path() / "bare" / "PSD"));

  // Nothing chosen.
  ASSERT_EQ(Cli("edit " + Quote(bare) + " --all --process off", dir).Status, 0);
  r = Cli("psd " + Quote(bare), dir);
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("не выбрано ни одной записи"), std::string::npos) << r.Err;

  // A damaged store file is named and left as it is.
  ASSERT_EQ(Cli("psd " + Quote(project), dir).Status, 0);
  const std::vector<uint8_t> whole = testing::ReadBytes(file.string());
  ASSERT_GT(whole.size(), 100u);
  const std::vector<uint8_t> bytes(whole.begin(), whole.end() - 3);
  testing::WriteBytes(file.string(), bytes);
  r = Cli("psd --json " + Quote(project), dir);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Json(r)["error_codes"], nlohmann::json::array({"psd_store_damaged"})) << r.Out;
  EXPECT_NE(r.Err.find("2024-061.psd"), std::string::npos) << r.Err;
  EXPECT_EQ(testing::ReadBytes(file.string()), bytes);
  r = Cli("psd-stats " + Quote(project), dir);
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("2024-061.psd"), std::string::npos) << r.Err;

  // An unknown zone, a choice that holds no segment, a channel not stored.
  fs::remove(file);
  ASSERT_EQ(Cli("psd " + Quote(project), dir).Status, 0);
  r = Cli("psd-stats " + Quote(project) + " --tz Mars/Olympus", dir);
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("неизвестный часовой пояс «Mars/Olympus»"), std::string::npos) << r.Err;
  r = Cli("psd-stats " + Quote(project) + " --months 6-8", dir);
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("ни один сохранённый сегмент не подходит"), std::string::npos) << r.Err;
  r = Cli("psd-stats " + Quote(project) + " --channel XX.PSDT..BHZ", dir);
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find(".PSDT..LHZ"), std::string::npos) << r.Err;
  for (const char* bad :
       {" --hours 25", " --weekdays 0", " --from 2024-13-01", " --percentiles 101"}) {
    EXPECT_EQ(Cli("psd-stats " + Quote(project) + bad, dir).Status, 2) << bad;
  }
}

}  // namespace
}  // namespace tarvik
