#include "project/driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "demo_recordings.h"
#include "project/demo.h"
#include "project/result_manifest.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::RecordingUiHost;
using testing::TempDir;

// Records of the demo recordings: short, so a run takes a fraction of a second.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TDemoOptions options;
    options.Stations = {{"TVK01", 2.0}, {"TVK02", 3.0}, {"TVK03", 5.0}};
    options.Files = 1;
    options.FileSeconds = 180.0;
    options.TransientsPerFile = 1;
    RecordingUiHost host;
    ASSERT_NO_FATAL_FAILURE(
        testing::BuildDemoProjectIn(dir_.Path().string(), options, host, project_));
    project_.Folder = dir_.Path().string();
    folders_ = DeriveResultFolders(project_.General.ResultDir);
  }

  std::string Prim(int i) const {
    return SpectrumFilePath(folders_, project_.Records[static_cast<size_t>(i)], false);
  }
  std::string Nak(int i) const {
    return RatioFilePath(folders_, project_.Records[static_cast<size_t>(i)]);
  }
  bool Exists(const std::string& p) const { return fs::exists(p); }

  TempDir dir_;
  TProject project_;
  TResultFolders folders_;
};

TEST_F(DriverTest, RunWritesSpectraThenRatiosOfCheckedRecords) {
  project_.Records[1].ToProcess = false;
  RecordingUiHost host;
  const TRunReport primary = RunPrimary(project_, folders_, host, TRunOptions{});
  ASSERT_TRUE(primary.Ran);
  EXPECT_FALSE(primary.Cancelled);
  EXPECT_EQ(primary.Processed, (std::vector<int>{0, 2}));
  EXPECT_EQ(primary.Written, (std::vector<std::string>{Prim(0), Prim(2)}));
  EXPECT_TRUE(primary.Failed.empty());
  EXPECT_FALSE(Exists(Prim(1)));
  EXPECT_EQ(host.Operations.front(), "Расчет спектров исходных записей");
  EXPECT_EQ(host.Stages.back(), "Расчет спектров завершен");
  EXPECT_EQ(host.Gauge.back(), std::make_pair(3, 3));

  // Record 2 is checked for H/V but has no spectra: the H/V run refuses to start.
  RecordingUiHost hv_host;
  TRunReport hv = RunHV(project_, folders_, hv_host, TRunOptions{});
  EXPECT_FALSE(hv.Ran);
  EXPECT_EQ(hv.Problem, 2);
  ASSERT_EQ(hv_host.Messages.size(), 1u);
  // The amplitude spectrum is missing, not a response file: the message says so, names the
  // file and how to compute it.
  EXPECT_EQ(hv_host.Messages[0], "Не рассчитан амплитудный спектр записи " +
                                     HVEntryText(project_.Records[1]) + "\nФайл " + Prim(1) +
                                     " не найден\nH/V считается по амплитудным спектрам: "
                                     "рассчитайте спектры этой записи на вкладке «Обычные "
                                     "спектры» с типом спектра «Амплитудный»");
  EXPECT_EQ(hv_host.Messages[0], MissingAmplitudeSpectrumText(BuildHVList(project_, folders_)));
  EXPECT_TRUE(hv_host.HasCode(TCode::kAmplitudeSpectrumFileMissing));
  const TStatus missing = MissingAmplitudeSpectrum(BuildHVList(project_, folders_));
  EXPECT_EQ(missing.Record, 1);
  EXPECT_EQ(missing.File, Prim(1));
  EXPECT_EQ(CodeName(missing.Code), "amplitude_spectrum_missing");
  EXPECT_EQ(BuildHVList(project_, folders_).Hint, Prim(1));

  project_.Records[1].ToProcessNakamura = false;
  EXPECT_EQ(BuildHVList(project_, folders_).Hint, kHVListHint);
  RecordingUiHost hv_host2;
  hv = RunHV(project_, folders_, hv_host2, TRunOptions{});
  EXPECT_TRUE(hv.Ran);
  EXPECT_EQ(hv.Written, (std::vector<std::string>{Nak(0), Nak(2)}));
  EXPECT_EQ(hv_host2.Stages.back(), "Расчет спектров Накамуры завершен");

  const std::vector<TComparisonEntry> ratios = ComparisonFiles(project_, folders_, true);
  ASSERT_EQ(ratios.size(), 3u);
  EXPECT_TRUE(ratios[0].Checked);
  EXPECT_FALSE(ratios[1].Checked);
  EXPECT_EQ(ratios[2].Path, Nak(2));
}

// A run with nothing checked does not start: it says so and how to check records, instead of a
// run that "ends" having written nothing.
TEST_F(DriverTest, NothingCheckedRefusesTheRun) {
  const struct {
    bool Hv;
    int Start;
    const char* Message;
    TCode Code;
    TCode Nothing;
  } cases[] = {
      {false, 0,
       "Не отмечена ни одна запись для расчета спектров. Отметьте записи флажками в списке "
       "«Обычные спектры»",
       TCode::kNothingCheckedHow, TCode::kNoRecordCheckedForSpectra},
      {true, 0,
       "Не отмечена ни одна запись для расчета спектров H/V. Отметьте записи флажками в списке "
       "«Спектры H/V»",
       TCode::kNothingCheckedHow, TCode::kNoRecordCheckedForHV},
      // Checked records before the start do not count.
      {false, 1,
       "Не отмечена ни одна запись для расчета спектров начиная с записи 2. Отметьте записи "
       "флажками в списке «Обычные спектры»",
       TCode::kNothingCheckedFrom, TCode::kNoRecordCheckedForSpectra},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    for (TFileRecord& r : project_.Records) r.ToProcess = r.ToProcessNakamura = false;
    project_.Records[0].ToProcess = project_.Records[0].ToProcessNakamura = c.Start > 0;
    RecordingUiHost host;
    TRunOptions options;
    options.Start = c.Start;
    const TRunReport report = c.Hv ? RunHV(project_, folders_, host, options)
                                   : RunPrimary(project_, folders_, host, options);
    EXPECT_FALSE(report.Ran);
    EXPECT_TRUE(report.NothingChecked);
    EXPECT_EQ(host.Messages, (std::vector<std::string>{c.Message}));
    ASSERT_TRUE(host.HasCode(c.Code));
    const TStatus& told = host.Statuses.back();
    EXPECT_EQ(told.Code, c.Code);
    ASSERT_FALSE(told.Args.empty());
    ASSERT_NE(told.Args[0].Nested, nullptr);
    EXPECT_EQ(told.Args[0].Nested->Code, c.Nothing);
    EXPECT_FALSE(host.HasStage("Расчет спектров завершен"));
    EXPECT_FALSE(host.HasStage("Расчет спектров Накамуры завершен"));
    EXPECT_EQ(host.Gauge, (std::vector<std::pair<int, int>>{{0, 3}}));
    EXPECT_FALSE(fs::exists(folders_.Results));
  }
}

// Records that fail do not hold up the run: their messages are kept for the report, the run
// goes on to the next record, and one summary names each failure with its reason.
TEST_F(DriverTest, FailedRecordsAreGatheredNotShownOneByOne) {
  project_.Records[0].File = dir_.File("gone/TVK01.msd");
  project_.Records[2].File = dir_.File("gone/TVK03.msd");
  RecordingUiHost host;
  const TRunReport report = RunPrimary(project_, folders_, host, TRunOptions{});
  EXPECT_TRUE(report.Ran);
  EXPECT_TRUE(host.Messages.empty());
  EXPECT_EQ(report.Processed, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(report.Written, (std::vector<std::string>{Prim(1)}));
  ASSERT_EQ(report.Failed.size(), 2u);
  EXPECT_EQ(report.Failed[0].first, 0);
  EXPECT_EQ(report.Failed[1].first, 2);
  EXPECT_EQ(host.Gauge.back(), std::make_pair(3, 3));
  EXPECT_EQ(host.Stages.back(), "Расчет спектров завершен");
  const std::string summary = RunSummaryText(project_, report);
  EXPECT_EQ(summary.rfind("Не рассчитано записей: 2 из 3\nЗапись 1 (TVK01): ", 0), 0u) << summary;
  EXPECT_NE(summary.find("\nЗапись 3 (TVK03): "), std::string::npos) << summary;
  EXPECT_NE(summary.find(dir_.File("gone/TVK03.msd")), std::string::npos) << summary;
  // The reason is said once, without the station a second time.
  EXPECT_EQ(summary.find("(TVK01): TVK01:"), std::string::npos) << summary;
  ASSERT_EQ(report.Windows.size(), 3u);
  EXPECT_EQ(report.Windows[1].Samples, 2048);
  EXPECT_EQ(report.Windows[1].Rate, 100.0);
  EXPECT_EQ(report.Windows[0].Samples, 0);
}

// A record whose spectra left gaps out looks whole in its result file: the run's one summary
// tells its gap message with the other notes, for that record only.
TEST_F(DriverTest, SummaryTellsTheGapsEachRecordLeftOut) {
  TRunReport report;
  report.Ran = true;
  report.Processed = {0, 2};
  report.Notes = {{0, MakeStatus(TCode::kReasonText, {"TVK01: note"})}};
  report.Gaps = {
      TRunReport::TGaps{},
      TRunReport::TGaps{2, 300.0, MakeStatus(TCode::kGapsLeftOut, {"TVK03", "2", "300"})}};
  const std::string summary = RunSummaryText(project_, report);
  EXPECT_EQ(summary,
            "Замечания:\nЗапись 1 (TVK01): note\nЗапись 3 (TVK03): пропуски в данных: 2 (300 с) не "
            "вошли в расчет")
      << summary;
  // The gaps are told in the summary's language, as the other notes are.
  const std::string english = RunSummaryText(project_, report, TLanguage::kEnglish);
  EXPECT_NE(english.find("Record 3 (TVK03): gaps in the data: 2 (300 s) left out of the "
                         "calculation"),
            std::string::npos)
      << english;
  report.Notes.clear();
  report.Gaps[1].Message = {};
  EXPECT_EQ(RunSummaryText(project_, report), "");
}

// An edge filter whose band is empty at a record's rate fails that record instead of leaving
// its spectra unfiltered; an upper corner above the Nyquist frequency is named in a note.
TEST_F(DriverTest, EdgeFilterThatCannotFilterFailsItsRecord) {
  project_.Settings[kMicroseismSet].EdgeEffect = true;
  project_.Settings[kMicroseismSet].FMin = 0.5;
  project_.Settings[kMicroseismSet].FMax = 100;  // above 50 Hz, the Nyquist frequency
  project_.Records[1].IsEvent = true;
  project_.Settings[kEventSet].EdgeEffect = true;
  project_.Settings[kEventSet].FMin = 60;
  project_.Settings[kEventSet].FMax = 100;
  RecordingUiHost host;
  const TRunReport report = RunPrimary(project_, folders_, host, TRunOptions{});
  EXPECT_EQ(report.Written.size(), 2u);
  ASSERT_EQ(report.Failed.size(), 1u);
  EXPECT_EQ(report.Failed[0].first, 1);
  EXPECT_EQ(Text(report.Failed[0].second, TLanguage::kRussian),
            "TVK02: полоса фильтра краевого эффекта пуста (FMin = 60 Гц, FMax = 100 Гц, частота "
            "Найквиста записи 50 Гц): фильтр не может быть применен");
  // The reason keeps its code under the station, and the record it belongs to.
  EXPECT_EQ(report.Failed[0].second.Code, TCode::kStationReason);
  EXPECT_EQ(ReasonOf(report.Failed[0].second).Code, TCode::kFilterBandEmpty);
  EXPECT_EQ(report.Failed[0].second.Record, 1);
  EXPECT_EQ(Text(report.Failed[0].second, TLanguage::kEnglish).rfind("TVK02: the band of the ", 0),
            0u)
      << Text(report.Failed[0].second, TLanguage::kEnglish);
  ASSERT_EQ(report.Notes.size(), 2u);
  EXPECT_EQ(report.Notes[0].first, 0);
  EXPECT_EQ(Text(report.Notes[0].second, TLanguage::kRussian),
            "TVK01: FMax = 100 Гц не ниже частоты Найквиста записи 50 Гц: верхняя частота "
            "фильтра краевого эффекта взята 49.5 Гц");
  EXPECT_EQ(ReasonOf(report.Notes[0].second).Code, TCode::kFilterAboveNyquist);
  EXPECT_EQ(report.Notes[0].second.Record, 0);
  const std::string summary = RunSummaryText(project_, report);
  EXPECT_NE(summary.find("\n\nЗамечания:\nЗапись 1 (TVK01): FMax = 100 Гц"), std::string::npos)
      << summary;
}

TEST_F(DriverTest, StartEntryDecidesWhereTheRunBegins) {
  struct Case {
    int Start;
    bool Only;
    std::vector<int> Processed;
  };
  // No entry selected (-1) starts from the first record; the last entry processes only itself.
  const Case cases[] = {
      {-1, false, {0, 1, 2}}, {2, false, {2}}, {1, false, {1, 2}}, {1, true, {1}}, {3, false, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Start);
    TRunOptions options;
    options.Start = c.Start;
    options.Only = c.Only;
    RecordingUiHost host;
    EXPECT_EQ(RunPrimary(project_, folders_, host, options).Processed, c.Processed);
  }
}

TEST_F(DriverTest, StopDuringARecordKeepsTheFilesBeforeIt) {
  RecordingUiHost host;
  // The stop comes while the second record's segments are being transformed.
  host.StopWhen = [&host](int) {
    return !host.Stages.empty() && host.Stages.back() == "TVK02: Расчет спектров";
  };
  const TRunReport report = RunPrimary(project_, folders_, host, TRunOptions{});
  EXPECT_TRUE(report.Cancelled);
  EXPECT_TRUE(Exists(Prim(0)));
  EXPECT_FALSE(Exists(Prim(1)));
  EXPECT_FALSE(Exists(Prim(2)));
  EXPECT_EQ(report.Written, (std::vector<std::string>{Prim(0)}));
  EXPECT_TRUE(report.Failed.empty());  // a stopped record is not a failure
  EXPECT_EQ(host.Stages.back(), "Расчет спектров отменен");
}

TEST_F(DriverTest, IncompleteResponsesPreventTheRun) {
  project_.Records[1].Channels[2].ChannelResp.clear();
  project_.Records[1].Channels[2].SensorResp = project_.Records[1].Channels[0].ChannelResp;
  RecordingUiHost host;
  const TRunReport report = RunPrimary(project_, folders_, host, TRunOptions{});
  EXPECT_FALSE(report.Ran);
  EXPECT_EQ(report.Problem, 2);
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_EQ(host.Messages[0], "Не заданы файлы с ЧХ для записи " +
                                  PrimaryEntryText(project_.Records[1]) +
                                  "\nКанал 3 (HHZ): не задан файл ЧХ усилителя; задайте его или "
                                  "файл ЧХ всего канала");
  ASSERT_TRUE(host.HasCode(TCode::kResponsesNotSetHint));
  EXPECT_EQ(host.Statuses.back().Record, 1);
  EXPECT_EQ(MissingResponses(project_.Records[1]).Code, TCode::kChannelNeedsAmplifier);
  EXPECT_EQ(MissingResponses(project_.Records[1]).Channel, 2);
  EXPECT_FALSE(fs::exists(folders_.Results));
  // Computing that record alone skips the checks.
  TRunOptions only;
  only.Start = 1;
  only.Only = true;
  EXPECT_EQ(RunPrimary(project_, folders_, host, only).Written,
            (std::vector<std::string>{Prim(1)}));
}

// The H/V run of a shard needs the amplitude files of its own records only, and when one is
// missing it names that record and that file.
TEST_F(DriverTest, ShardRatiosNeedOnlyTheShardsOwnSpectra) {
  TRunOptions second;
  second.ShardIndex = 1;
  second.ShardCount = 3;
  RecordingUiHost host;
  ASSERT_EQ(RunPrimary(project_, folders_, host, second).Written,
            (std::vector<std::string>{Prim(1)}));
  const TRunReport ratios = RunHV(project_, folders_, host, second);
  EXPECT_TRUE(ratios.Ran);
  EXPECT_EQ(ratios.Written.size(), 1u);
  EXPECT_TRUE(host.Messages.empty());

  TRunOptions third = second;
  third.ShardIndex = 2;
  const TRunReport refused = RunHV(project_, folders_, host, third);
  EXPECT_FALSE(refused.Ran);
  EXPECT_EQ(refused.Problem, 3);
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_NE(host.Messages[0].find(HVEntryText(project_.Records[2])), std::string::npos);
  EXPECT_NE(host.Messages[0].find(Prim(2) + " не найден"), std::string::npos) << host.Messages[0];
}

TEST_F(DriverTest, LevelWarningAsksAndNoMeansNoRun) {
  project_.Records[2].Channels[0].Level = 2147483647;
  const std::string question = "Возможно, не выбран тихий интервал на записи TVK03 (" +
                               project_.Records[2].File + "). Продолжить?";
  RecordingUiHost no;
  const TRunReport declined = RunPrimary(project_, folders_, no, TRunOptions{});
  EXPECT_FALSE(declined.Ran);
  EXPECT_EQ(no.Questions, (std::vector<std::string>{question}));
  EXPECT_EQ(no.Stages.back(), "Расчет спектров завершен");
  EXPECT_FALSE(fs::exists(folders_.Results));

  RecordingUiHost yes;
  yes.Answers = {true};
  EXPECT_EQ(RunPrimary(project_, folders_, yes, TRunOptions{}).Written.size(), 3u);
}

TEST_F(DriverTest, EventRecordsSpectraUnderEventsRatiosUnderSpectra) {
  project_.Records[0].IsEvent = true;
  project_.Settings[kEventSet].SpectrumType = TSpectrumType::kAmplitude;
  project_.Settings[kMicroseismSet].SpectrumType =
      TSpectrumType::kPower;  // power files for the others
  for (TFileRecord& r : project_.Records) r.ToProcessNakamura = false;
  project_.Records[0].ToProcessNakamura = true;
  RecordingUiHost host;
  const TRunReport primary = RunPrimary(project_, folders_, host, TRunOptions{});
  ASSERT_EQ(primary.Written.size(), 3u);
  EXPECT_EQ(fs::path(primary.Written[0]).parent_path(), fs::path(folders_.EventsPrimary));
  EXPECT_EQ(fs::path(primary.Written[0]).filename().string().rfind("prim_TVK01_", 0), 0u);
  EXPECT_EQ(fs::path(primary.Written[1]).filename().string().rfind("power_TVK02_", 0), 0u);
  const TRunReport hv = RunHV(project_, folders_, host, TRunOptions{});
  ASSERT_EQ(hv.Written.size(), 1u);
  EXPECT_EQ(fs::path(hv.Written[0]).parent_path(), fs::path(folders_.SpectraNakamura));
}

TEST_F(DriverTest, JobsGiveTheSameFilesByteForByte) {
  RecordingUiHost one;
  const TRunReport serial = RunPrimary(project_, folders_, one, TRunOptions{});
  ASSERT_EQ(serial.Written.size(), 3u);
  std::vector<std::vector<uint8_t>> expected;
  for (const std::string& p : serial.Written) expected.push_back(ReadBytes(p));
  fs::remove_all(folders_.Results);

  TRunOptions parallel;
  parallel.Jobs = 3;
  RecordingUiHost three;
  const TRunReport report = RunPrimary(project_, folders_, three, parallel);
  ASSERT_EQ(report.Written, serial.Written);
  for (size_t i = 0; i < report.Written.size(); ++i)
    EXPECT_EQ(ReadBytes(report.Written[i]), expected[i]) << report.Written[i];
  EXPECT_EQ(three.Gauge.back(), std::make_pair(3, 3));
}

// Records the progress maximum of each record's "Расчет спектров" stage (the last sample of
// its last quiet interval) and holds back the save of the record whose maximum is held_max
// until another record has saved, or for two seconds: records computed at the same time then
// save in the opposite order to the record order.
class HeldSaveHost : public RecordingUiHost {
 public:
  explicit HeldSaveHost(int held_max = -1) : held_max_(held_max) {}

  void SetStage(std::string_view text) override {
    RecordingUiHost::SetStage(text);
    thread_stage = std::string(text);
    if (text != "Сохранение спектра") return;
    std::unique_lock lock(held_mutex_);
    if (thread_max == held_max_) {
      saved_.wait_for(lock, std::chrono::seconds(2), [this] { return other_saves_ > 0; });
    } else {
      ++other_saves_;
      saved_.notify_all();
    }
  }
  void SetProgress(int position, int maximum) override {
    RecordingUiHost::SetProgress(position, maximum);
    if (position != 0 || !thread_stage.ends_with(": Расчет спектров")) return;
    thread_max = maximum;
    std::lock_guard lock(held_mutex_);
    ComputeMaxima.push_back(maximum);
  }

  std::vector<int> ComputeMaxima;

 private:
  static thread_local std::string thread_stage;
  static thread_local int thread_max;
  const int held_max_;
  std::mutex held_mutex_;
  std::condition_variable saved_;
  int other_saves_ = 0;
};
thread_local std::string HeldSaveHost::thread_stage;
thread_local int HeldSaveHost::thread_max = -2;

TEST_F(DriverTest, RecordsSharingAResultFileAreWrittenInRecordOrderWithJobs) {
  // Record 1 becomes a second record of station TVK01 with the same selection start but a
  // shorter selection: both name the same spectrum file, which the later record overwrites.
  project_.Records[2].ToProcess = false;
  TFileRecord& second = project_.Records[1];
  second.Station = project_.Records[0].Station;
  second.SelectStart = project_.Records[0].SelectStart;
  second.SelectFinish = second.SelectStart + 60.0 / 86400;
  ASSERT_EQ(Prim(0), Prim(1));

  // The user is asked before one result replaces the other; No runs nothing.
  RecordingUiHost no;
  EXPECT_FALSE(RunPrimary(project_, folders_, no, TRunOptions{}).Ran);
  ASSERT_EQ(no.Questions.size(), 1u);
  EXPECT_EQ(no.Questions[0], "Записи 1 (TVK01), 2 (TVK01) пишут результат в один файл " + Prim(0) +
                                 "\nОстанется результат последней из них. Продолжить?");
  EXPECT_FALSE(fs::exists(folders_.Results));

  HeldSaveHost one;
  one.Answers = {true};
  const TRunReport serial = RunPrimary(project_, folders_, one, TRunOptions{});
  ASSERT_EQ(serial.Written, (std::vector<std::string>{Prim(0), Prim(1)}));
  ASSERT_EQ(one.ComputeMaxima.size(), 2u);
  ASSERT_NE(one.ComputeMaxima[0], one.ComputeMaxima[1]);
  const std::vector<uint8_t> expected = ReadBytes(Prim(0));
  fs::remove_all(folders_.Results);

  TRunOptions parallel;
  parallel.Jobs = 2;
  HeldSaveHost two(one.ComputeMaxima[0]);
  two.Answers = {true};
  const TRunReport report = RunPrimary(project_, folders_, two, parallel);
  EXPECT_EQ(report.Written, serial.Written);
  EXPECT_TRUE(ReadBytes(Prim(0)) == expected) << "the file holds the first record's spectra";
}

// Two projects sharing a results folder name the same files for the same records. A run that
// would replace the other project's results asks, naming both; No leaves them byte for byte.
TEST_F(DriverTest, AnotherProjectsResultsAreReplacedOnlyAfterYes) {
  const std::string first = dir_.File("first.tvp");
  const std::string second = dir_.File("second.tvp");
  project_.FileName = first;
  RecordingUiHost host;
  ASSERT_TRUE(RunPrimary(project_, folders_, host, TRunOptions{}).Ran);
  EXPECT_TRUE(host.Questions.empty());
  const TResultManifest manifest(folders_.Results);
  ASSERT_TRUE(manifest.OwnerOf(Prim(0)));
  EXPECT_EQ(manifest.OwnerOf(Prim(0))->Project, first);
  EXPECT_EQ(manifest.OwnerOf(Prim(2))->Record, "3 (TVK03)");
  const std::vector<uint8_t> before = ReadBytes(Prim(0));

  // The second project has only the Z channel of record 1 selected: another result.
  TProject other = project_;
  other.FileName = second;
  other.Records[0].Channels[0].Selected = other.Records[0].Channels[1].Selected = false;
  other.Records[1].ToProcess = other.Records[2].ToProcess = false;
  RecordingUiHost no;
  EXPECT_FALSE(RunPrimary(other, folders_, no, TRunOptions{}).Ran);
  ASSERT_EQ(no.Questions.size(), 1u);
  EXPECT_EQ(no.Questions[0].rfind("Файлы результатов другого проекта будут заменены:\n" + Prim(0) +
                                      " — проект " + first + ", запись 1 (TVK01), ",
                                  0),
            0u)
      << no.Questions[0];
  EXPECT_NE(no.Questions[0].find("Их заменит проект " + second + ". Продолжить?"),
            std::string::npos);
  EXPECT_TRUE(ReadBytes(Prim(0)) == before);

  RecordingUiHost yes;
  yes.Answers = {true};
  EXPECT_EQ(RunPrimary(other, folders_, yes, TRunOptions{}).Written,
            std::vector<std::string>{Prim(0)});
  EXPECT_FALSE(ReadBytes(Prim(0)) == before);
  EXPECT_EQ(TResultManifest(folders_.Results).OwnerOf(Prim(0))->Project, second);
  // Its own results a project replaces without a word.
  RecordingUiHost again;
  EXPECT_TRUE(RunPrimary(other, folders_, again, TRunOptions{}).Ran);
  EXPECT_TRUE(again.Questions.empty());

  // The first project asks back, also for one record run without the list checks, and for
  // the H/V ratios.
  TRunOptions only;
  only.Only = true;
  RecordingUiHost one;
  EXPECT_FALSE(RunPrimary(project_, folders_, one, only).Ran);
  ASSERT_EQ(one.Questions.size(), 1u);
  EXPECT_NE(one.Questions[0].find(" — проект " + second + ", запись 1 (TVK01)"), std::string::npos);
  only.Start = 1;
  RecordingUiHost hv;
  ASSERT_EQ(RunHV(project_, folders_, hv, only).Written, std::vector<std::string>{Nak(1)});
  TProject renamed = project_;
  renamed.FileName = second;
  RecordingUiHost hv_no;
  EXPECT_FALSE(RunHV(renamed, folders_, hv_no, only).Ran);
  ASSERT_EQ(hv_no.Questions.size(), 1u);
  EXPECT_NE(hv_no.Questions[0].find(Nak(1) + " — проект " + first), std::string::npos);
}

// The H/V statistics run as the window calls it: the records named, or those checked for H/V;
// the stop ends it within a record, which keeps the files it had; unusable settings and nothing
// chosen refuse it with a message.
TEST_F(DriverTest, HvsrRunWritesTheChosenRecordsAndStops) {
  THvsrRunOptions hvsr;
  hvsr.Settings.BandFMin = 0.5;
  hvsr.Settings.BandFMax = 20.0;
  hvsr.Records = {0, 2};
  RecordingUiHost host;
  const THvsrRunReport report = RunHvsr(project_, folders_, host, TRunOptions{}, hvsr);
  ASSERT_TRUE(report.Run.Ran);
  EXPECT_EQ(report.Run.Processed, (std::vector<int>{0, 2}));
  ASSERT_EQ(report.Records.size(), 2u);
  const double expected[] = {2.0, 5.0};
  for (size_t k = 0; k < 2; ++k) {
    const THvsrRecordRun& r = report.Records[k];
    ASSERT_TRUE(r.Result.Ok) << r.Result.Verdict;
    EXPECT_NEAR(r.Result.F0Mean, expected[k], 0.05 * expected[k]);
    ASSERT_EQ(r.Files.size(), 3u);
    for (const std::string& f : r.Files) EXPECT_TRUE(Exists(f)) << f;
    EXPECT_TRUE(r.Result.Curves.empty());  // the report keeps no curves
  }
  EXPECT_FALSE(Exists(HvsrFilePaths(folders_, project_.Records[1]).Hv));
  EXPECT_EQ(host.Stages.back(), "Статистика H/V рассчитана");

  // Stopped while the second checked record is computed: the first gets new files, the second
  // keeps none.
  for (TFileRecord& r : project_.Records) r.ToProcessNakamura = true;
  hvsr.Records.clear();
  fs::remove_all(HvsrFilePaths(folders_, project_.Records[0]).Folder);
  RecordingUiHost stopping;
  stopping.StopWhen = [&stopping](int) {
    return !stopping.Stages.empty() && stopping.Stages.back() == "TVK02: Расчет спектров";
  };
  const THvsrRunReport stopped = RunHvsr(project_, folders_, stopping, TRunOptions{}, hvsr);
  EXPECT_TRUE(stopped.Run.Cancelled);
  EXPECT_TRUE(Exists(HvsrFilePaths(folders_, project_.Records[0]).Hv));
  EXPECT_FALSE(Exists(HvsrFilePaths(folders_, project_.Records[1]).Hv));
  EXPECT_FALSE(Exists(HvsrFilePaths(folders_, project_.Records[2]).Hv));
  EXPECT_EQ(stopping.Stages.back(), "Статистика H/V отменена");

  RecordingUiHost refused;
  THvsrRunOptions bad = hvsr;
  bad.Settings.GridFMin = 60.0;
  EXPECT_FALSE(RunHvsr(project_, folders_, refused, TRunOptions{}, bad).Run.Ran);
  ASSERT_EQ(refused.Messages.size(), 1u);
  ASSERT_TRUE(refused.HasCode(TCode::kHvsrStatistics));
  const TStatus& why = refused.Statuses.back();
  ASSERT_EQ(why.Args.size(), 1u);
  ASSERT_NE(why.Args[0].Nested, nullptr);
  EXPECT_EQ(why.Args[0].Nested->Code, TCode::kHvsrGridEnds);

  for (TFileRecord& r : project_.Records) r.ToProcessNakamura = false;
  RecordingUiHost nothing;
  const THvsrRunReport none = RunHvsr(project_, folders_, nothing, TRunOptions{}, hvsr);
  EXPECT_TRUE(none.Run.NothingChecked);
  EXPECT_EQ(nothing.Messages.size(), 1u);
}

TEST(DriverText, EntryTextsShowComponentsKindAndSelection) {
  TFileRecord r;
  r.Station = "ST1";
  r.Channels.resize(4);
  const auto select = [&r](std::array<bool, 4> selected) {
    for (size_t c = 0; c < selected.size(); ++c) r.Channels[c].Selected = selected[c];
  };
  const Component axes[] = {Component::kZ, Component::kE, Component::kN, Component::kE};
  for (size_t c = 0; c < 4; ++c) r.Channels[c].Axis = axes[c];
  select({true, true, true, false});
  r.SelectStart = EncodeDateTime(2016, 6, 3, 19, 55, 0);
  r.SelectFinish = r.SelectStart + 1.0 / 24;
  EXPECT_EQ(PrimaryEntryText(r), "ST1 Ш [Z,E,N] 03.06.2016 19:55:00 (1:00:00)");
  EXPECT_EQ(HVEntryText(r), "ST1 Ш [E/Z,N/Z] 03.06.2016 19:55:00 (1:00:00)");
  r.IsEvent = true;
  select({true, false, true, false});
  r.SelectFinish = r.SelectStart + 1.5;
  EXPECT_EQ(HVEntryText(r), "ST1 С [,N/Z] 03.06.2016 19:55:00 (1сут. 12:00:00)");
  select({false, true, true, true});
  EXPECT_EQ(HVEntryText(r).rfind("ST1 С [нет] ", 0), 0u);

  EXPECT_EQ(SelectionLengthText(0.0), "0:00:00");
  EXPECT_EQ(SelectionLengthText(1.0), "1сут. 0:00:00");
  EXPECT_EQ(SelectionLengthText(2.0 + 59.6 / 86400), "2сут. 0:01:00");
}

TEST(DriverText, IncompleteWhenASelectedChannelLacksItsResponses) {
  struct Case {
    const char* Name;
    std::vector<std::array<const char*, 3>> Channels;  // channel, sensor, amplifier
    std::vector<bool> Selected;
    bool Incomplete;
    // What MissingResponsesText says (channels are named HH1, HH2 ...).
    const char* Missing;
  };
  const Case cases[] = {
      {"channel response alone", {{"c.rsp", "", ""}}, {true}, false, ""},
      {"sensor and amplifier", {{"", "s.rsp", "a.rsp"}}, {true}, false, ""},
      {"sensor alone",
       {{"", "s.rsp", ""}},
       {true},
       true,
       "Канал 1 (HH1): не задан файл ЧХ усилителя; задайте его или файл ЧХ всего канала"},
      {"amplifier alone, then complete",
       {{"", "", "a.rsp"}, {"", "s.rsp", "a.rsp"}},
       {true, true},
       true,
       "Канал 1 (HH1): не задан файл ЧХ датчика; задайте его или файл ЧХ всего канала"},
      {"first bare, second complete",
       {{"", "", ""}, {"c.rsp", "", ""}},
       {true, true},
       true,
       "Канал 1 (HH1): не заданы файлы ЧХ датчика и усилителя; задайте их или файл ЧХ всего "
       "канала"},
      {"bare channel not selected", {{"", "", ""}, {"c.rsp", "", ""}}, {false, true}, false, ""},
      {"two lacking",
       {{"", "s.rsp", ""}, {"", "", "a.rsp"}, {"", "", ""}},
       {true, true, false},
       true,
       "Канал 1 (HH1): не задан файл ЧХ усилителя; задайте его или файл ЧХ всего канала\n"
       "Канал 2 (HH2): не задан файл ЧХ датчика; задайте его или файл ЧХ всего канала"},
  };
  for (const Case& c : cases) {
    TFileRecord r;
    r.Channels.resize(c.Channels.size());
    for (size_t i = 0; i < c.Channels.size(); ++i) {
      r.Channels[i].ChannelResp = c.Channels[i][0];
      r.Channels[i].SensorResp = c.Channels[i][1];
      r.Channels[i].AmplifierResp = c.Channels[i][2];
      r.Channels[i].Selected = c.Selected[i];
      r.Channels[i].Channel = "HH" + std::to_string(i + 1);
    }
    EXPECT_EQ(IsIncomplete(r), c.Incomplete) << c.Name;
    EXPECT_EQ(MissingResponsesText(r), c.Missing) << c.Name;
  }
}

}  // namespace
}  // namespace tarvik
