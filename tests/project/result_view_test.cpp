#include "project/result_view.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "project/project_file.h"
#include "recording_ui_host.h"
#include "test_files.h"
#include "viewer_test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

// Three records; records 0 and 2 have primary and H/V results, record 1 has none.
class ResultViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folders_ = DeriveResultFolders(dir_.Path().string());
    for (int i = 0; i < 3; ++i) {
      TFileRecord r;
      r.Station = "ST" + std::to_string(i);
      r.SelectStart = EncodeDateTime(2024, 5, 14, i, 0, 0);
      r.SelIndex = i;
      r.SelNakIndex = 2 - i;
      project_.Records.push_back(r);
    }
    for (int i : {0, 2}) {
      for (bool hv : {false, true}) {
        const std::string path = RecordResultPath(project_, folders_, i, hv);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        testing::WriteResult(path, testing::ThreeComponentText(
                                       5, 0.5, [](int c, int k) { return 1.0 + c + k; },
                                       [](int, int) { return 0.5; }));
      }
    }
  }

  TempDir dir_;
  TResultFolders folders_;
  TProject project_;
  RecordingUiHost host_;
};

TEST_F(ResultViewTest, OpenShowsTheRecordWithItsSelectionOrTellsTheFileIsMissing) {
  TRecordResultBrowser browser(project_, folders_, false, host_);
  TSpectrumView view;
  EXPECT_FALSE(browser.Open(1, view));
  ASSERT_EQ(host_.Statuses.size(), 1u);
  EXPECT_EQ(host_.Statuses[0].Code, TCode::kFileDoesNotExist);

  view.FixChecked = true;
  ASSERT_TRUE(browser.Open(2, view));
  EXPECT_EQ(view.Caption, RecordResultPath(project_, folders_, 2, false));
  EXPECT_EQ(view.Series.size(), 6u);
  EXPECT_EQ(view.Selection, 2);  // SelIndex of record 2
  EXPECT_FALSE(view.FixChecked);
  EXPECT_TRUE(view.FixEnabled);
  EXPECT_TRUE(view.PrevEnabled);
  EXPECT_FALSE(view.NextEnabled);
  EXPECT_EQ(view.RecordCount, 3);

  // Closing with another choice stores it and marks the project modified.
  view.Selection = 4;
  browser.Close(view);
  EXPECT_EQ(project_.Records[2].SelIndex, 4);
  EXPECT_TRUE(project_.Modified);
}

TEST_F(ResultViewTest, NavigationStoresTheSelectionAndCarriesItWhenFixed) {
  TRecordResultBrowser browser(project_, folders_, false, host_);
  TSpectrumView view;
  ASSERT_TRUE(browser.Open(0, view));
  EXPECT_EQ(view.Selection, 0);
  view.Selection = 3;

  // To a record without a result: the chart is cleared and the caption says so.
  browser.Navigate(1, view);
  EXPECT_EQ(project_.Records[0].SelIndex, 3);
  EXPECT_TRUE(project_.Modified);
  EXPECT_EQ(view.Caption, RecordResultPath(project_, folders_, 1, false) + " - Файл не существует");
  EXPECT_TRUE(view.Series.empty());
  EXPECT_EQ(view.CurrentIndex, 1);
  EXPECT_TRUE(view.PrevEnabled && view.NextEnabled);
  // The cleared viewer has nothing chosen, and record 1 keeps what it had.
  EXPECT_EQ(view.Selection, -1);
  browser.Navigate(2, view);
  EXPECT_EQ(project_.Records[1].SelIndex, 1);
  EXPECT_EQ(view.Selection, 2);

  // "Зафиксировать выбор" gives the choice to the next record too.
  view.Selection = 5;
  view.FixChecked = true;
  browser.Navigate(0, view);
  EXPECT_EQ(project_.Records[2].SelIndex, 5);
  EXPECT_EQ(project_.Records[0].SelIndex, 5);
  EXPECT_EQ(view.Selection, 5);
  EXPECT_EQ(view.Series.size(), 6u);

  // Outside the records nothing happens.
  browser.Navigate(3, view);
  EXPECT_EQ(browser.Current(), 0);
}

TEST_F(ResultViewTest, HVResultsUseTheirOwnFileAndSelection) {
  TRecordResultBrowser browser(project_, folders_, true, host_);
  TSpectrumView view;
  ASSERT_TRUE(browser.Open(0, view));
  EXPECT_EQ(view.Caption, RatioFilePath(folders_, project_.Records[0]));
  EXPECT_EQ(view.Series[0].Title, "E/Z");
  EXPECT_EQ(view.Selection, 2);  // SelNakIndex of record 0
  view.Selection = 1;
  browser.Navigate(2, view);
  EXPECT_EQ(project_.Records[0].SelNakIndex, 1);
  EXPECT_EQ(project_.Records[0].SelIndex, 0);
  EXPECT_EQ(view.Selection, 0);  // SelNakIndex of record 2
}

TEST_F(ResultViewTest, PowerSpectraAreShownWithTheNoiseModels) {
  project_.Settings[kMicroseismSet].SpectrumType = TSpectrumType::kPower;
  project_.Settings[kMicroseismSet].UnitCoef = 1e-6;
  const std::string power = RecordResultPath(project_, folders_, 0, false);
  EXPECT_NE(power.find("power_ST0_"), std::string::npos);
  testing::WriteResult(power,
                       testing::ThreeComponentText(
                           3, 1.0, [](int, int) { return 1.0; }, [](int, int) { return 0.0; }));
  TSpectrumView view;
  ASSERT_TRUE(ShowRecordResult(view, project_, folders_, 0, false, host_));
  ASSERT_EQ(view.Series.size(), 8u);
  EXPECT_EQ(view.Series[6].Title, "NHNM");
  EXPECT_EQ(view.LeftTitle, "Мощность, (мкм/c)^2/Гц");
  EXPECT_TRUE(view.IntegrationEnabled);
}

TEST_F(ResultViewTest, ComparisonTogetherAverageAndNothingChecked) {
  std::vector<TComparisonEntry> entries = ComparisonFiles(project_, folders_, false);
  EXPECT_TRUE(BeginComparison({{"x.dat", false}}, host_).empty());
  ASSERT_EQ(host_.Statuses.size(), 2u);
  EXPECT_EQ(host_.Statuses[0].Code, TCode::kLoadingSpectra);
  EXPECT_EQ(host_.Statuses[1].Code, TCode::kNothingToShow);

  const std::vector<std::string> paths = BeginComparison(entries, host_);
  ASSERT_EQ(paths.size(), 2u);
  TSpectrumView view;
  ASSERT_TRUE(ShowTogether(view, paths, false, {}, host_));
  EXPECT_EQ(view.Series.size(), 6u);
  EXPECT_EQ(host_.Statuses.back().Code, TCode::kSpectraLoaded);

  const std::vector<std::string> hv =
      BeginComparison(ComparisonFiles(project_, folders_, true), host_);
  ASSERT_TRUE(ShowTogether(view, hv, true, {true, 1, 0}, host_));
  EXPECT_EQ(view.LeftTitle, "Отношение амплитуд");
  EXPECT_FALSE(view.IntegrationEnabled);

  const std::string out = dir_.File(kMedianFileName);
  ASSERT_TRUE(ShowComparisonAverage(view, paths, out, true, {}, host_));
  EXPECT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(view.Caption, "Количество файлов в выборке: 2");
  EXPECT_EQ(std::string(kAverageFileName), "aver_spectrum.dat");
}

// Result files find the project and record that compute them, with that record's units: the
// projects of the results folder and of the folder above it are read. A copy elsewhere has no
// origin, nor has a file that two projects of different units would both write.
TEST(ResultOrigins, TheProjectThatComputesAFileGivesItsUnits) {
  TempDir dir;
  const std::string results = dir.File("results");
  TProject site;
  site.General.ResultDir = results;
  for (int i = 0; i < 2; ++i) {
    TFileRecord r;
    r.Station = "ST" + std::to_string(i);
    r.SelectStart = EncodeDateTime(2024, 5, 14, i, 0, 0);
    r.IsEvent = i == 1;
    site.Records.push_back(r);
  }
  site.Settings[kEventSet].SpectrumType = TSpectrumType::kPower;
  site.Settings[kEventSet].UnitOut = kAcceleration;
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(site, dir.File("site.tvp"), 0, host).Ok);
  // Another project in the results folder computes the first record in displacement.
  TProject other = site;
  other.Records.resize(1);
  other.Settings[kMicroseismSet].UnitOut = kDisplacement;
  std::filesystem::create_directories(results);

  const TResultFolders folders = DeriveResultFolders(results);
  const std::string prim0 = SpectrumFilePath(folders, site.Records[0], false);
  const std::string power1 = SpectrumFilePath(folders, site.Records[1], true);
  const std::string nak1 = RatioFilePath(folders, site.Records[1]);
  const std::string prim1 = SpectrumFilePath(folders, site.Records[1], false);
  const std::vector<std::string> paths = {
      prim0,
      power1,
      nak1,
      prim1,
      dir.File("aver.dat"),
      results + "/Spectra/Primary/../Primary/" + std::filesystem::path(prim0).filename().string()};
  std::vector<std::optional<TResultOrigin>> found = FindResultOrigins(paths);
  ASSERT_EQ(found.size(), paths.size());
  ASSERT_TRUE(found[0]);
  EXPECT_EQ(found[0]->Project, dir.File("site.tvp"));
  EXPECT_EQ(found[0]->Record, 0);
  EXPECT_EQ(found[0]->Units.UnitOut, kVelocity);
  EXPECT_FALSE(found[0]->Units.Power);
  ASSERT_TRUE(found[1]);
  EXPECT_EQ(found[1]->Record, 1);
  EXPECT_TRUE(found[1]->Units.Power);
  EXPECT_EQ(found[1]->Units.UnitOut, kAcceleration);
  ASSERT_TRUE(found[2]);
  EXPECT_EQ(found[2]->Record, 1);
  EXPECT_FALSE(found[3]) << "record 1 computes power spectra: a prim_ file is not its result";
  EXPECT_FALSE(found[4]);
  ASSERT_TRUE(found[5]) << "the same file by another path";
  EXPECT_EQ(found[5]->Record, 0);
  EXPECT_FALSE(found[0]->ChangedSince) << "no result file yet";

  // A result written after the project was saved was computed with its settings; a project
  // saved after it may hold others.
  std::filesystem::create_directories(std::filesystem::path(prim0).parent_path());
  testing::WriteText(prim0, "Freq\tE_Amp\tE_StDev\r\n0\t1\t0\r\n");
  const auto now = std::filesystem::file_time_type::clock::now();
  std::filesystem::last_write_time(dir.File("site.tvp"), now - std::chrono::hours(1));
  EXPECT_FALSE(FindResultOrigins({prim0})[0]->ChangedSince);
  std::filesystem::last_write_time(dir.File("site.tvp"), now + std::chrono::hours(1));
  EXPECT_TRUE(FindResultOrigins({prim0})[0]->ChangedSince);
  std::filesystem::last_write_time(dir.File("site.tvp"), now - std::chrono::hours(1));

  ASSERT_TRUE(SaveProject(other, results + "/other.tvp", 0, host).Ok);
  found = FindResultOrigins({prim0, power1});
  EXPECT_FALSE(found[0]) << "two projects of different units write it";
  ASSERT_TRUE(found[1]);
  EXPECT_EQ(found[1]->Project, dir.File("site.tvp"));
}

}  // namespace
}  // namespace tarvik
