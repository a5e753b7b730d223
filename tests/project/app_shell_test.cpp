#include "project/app_shell.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "common/paths.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;
using testing::WriteText;

// Answers the shell's questions from scripts and counts what was asked.
class ScriptedDialogs : public TShellDialogs {
 public:
  TSaveAnswer AskSaveChanges() override {
    ++SaveQuestions;
    TSaveAnswer a = Answers.empty() ? TSaveAnswer::kCancel : Answers.front();
    if (!Answers.empty()) Answers.pop_front();
    return a;
  }
  std::optional<std::string> ChooseProjectToOpen() override {
    ++OpenDialogs;
    return Open;
  }
  std::optional<std::pair<std::string, int>> ChooseProjectToSave(const std::string&) override {
    ++SaveDialogs;
    return Save;
  }
  TChangedOnDiskAnswer AskChangedOnDisk(const std::string& file) override {
    ChangedFiles.push_back(file);
    TChangedOnDiskAnswer a =
        DiskAnswers.empty() ? TChangedOnDiskAnswer::kCancel : DiskAnswers.front();
    if (!DiskAnswers.empty()) DiskAnswers.pop_front();
    return a;
  }

  std::deque<TSaveAnswer> Answers;
  std::deque<TChangedOnDiskAnswer> DiskAnswers;
  std::vector<std::string> ChangedFiles;
  std::optional<std::string> Open;
  std::optional<std::pair<std::string, int>> Save;
  int SaveQuestions = 0, OpenDialogs = 0, SaveDialogs = 0;
};

TFileRecord Record(const std::string& station, TDateTime start) {
  TFileRecord r;
  r.File = "/data/" + station + ".msd";
  r.Station = station;
  r.Channels.resize(1);
  r.SampRate = 100.0;
  r.Start = r.SelectStart = start;
  r.Finish = r.SelectFinish = start + 1.0 / 24;
  r.Channels[0].Channel = "HHZ";
  r.Channels[0].Axis = static_cast<Component>(Component::kZ);
  r.Channels[0].Selected = true;
  return r;
}

TEST(RecentProjects, TheEleventhPushesTheOldestOutAndAListedOneKeepsItsPlace) {
  TRecentProjects recent;
  for (int i = 1; i <= 10; ++i) EXPECT_TRUE(recent.Insert("/p/" + std::to_string(i) + ".tvp"));
  EXPECT_FALSE(recent.Insert("/p/3.tvp"));
  EXPECT_EQ(recent.Paths().front(), "/p/10.tvp");
  EXPECT_TRUE(recent.Insert("/p/11.tvp"));
  ASSERT_EQ(recent.Paths().size(), 10u);
  EXPECT_EQ(recent.Paths().front(), "/p/11.tvp");
  EXPECT_EQ(recent.Paths().back(), "/p/2.tvp");
  // Exact comparison: another spelling of a listed path is another entry.
  EXPECT_TRUE(recent.Insert("/P/11.tvp"));
  EXPECT_EQ(recent.Captions()[0], "&1 /P/11.tvp");
  EXPECT_EQ(recent.Captions()[1], "&2 /p/11.tvp");
}

TEST(RecentProjects, StoredValuesComeBackInTheirOrderAndGapsCloseUp) {
  const std::map<int, std::string> stored = {{1, "/a.tvp"}, {2, ""}, {3, "/c.tvp"}, {10, "/j.tvp"}};
  const TRecentProjects recent = TRecentProjects::FromStored([&](int n) {
    const auto it = stored.find(n);
    return it == stored.end() ? std::string() : it->second;
  });
  EXPECT_EQ(recent.Paths(), (std::vector<std::string>{"/a.tvp", "/c.tvp", "/j.tvp"}));
  const auto values = recent.ToStored();
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0], (std::pair<std::string, std::string>{"File1", "/a.tvp"}));
  EXPECT_EQ(values[2], (std::pair<std::string, std::string>{"File3", "/j.tvp"}));
}

TEST(Placement, MissingOrDamagedValuesGiveTheDefaults) {
  const std::map<std::string, std::string> stored = {
      {"Left", "15"}, {"Top", "x12"}, {"Width", ""}, {"Maximized", "1"}};
  const TPlacement p = ReadPlacement([&](std::string_view name) -> std::optional<std::string> {
    const auto it = stored.find(std::string(name));
    if (it == stored.end()) return std::nullopt;
    return it->second;
  });
  EXPECT_EQ(p.Left, 15);
  EXPECT_EQ(p.Top, 100);
  EXPECT_EQ(p.Width, 700);
  EXPECT_EQ(p.Height, 500);
  EXPECT_TRUE(p.Maximized);
}

TEST(Placement, AWindowClosedMaximisedKeepsItsNormalPlacementStored) {
  const auto maximised = PlacementToStore({1, 2, 3, 4, true}, true);
  ASSERT_EQ(maximised.size(), 1u);
  EXPECT_EQ(maximised[0], (std::pair<std::string, std::string>{"Maximized", "1"}));
  const auto normal = PlacementToStore({1, 2, 3, 4, false}, false);
  EXPECT_EQ(normal.size(), 5u);
  EXPECT_EQ(normal[4], (std::pair<std::string, std::string>{"Height", "4"}));
}

TEST(DialogFilters, PairsBecomeNameFiltersAndEveryFileMeansEveryFile) {
  EXPECT_EQ(DialogNameFilters(kOpenFilter),
            (std::vector<std::string>{"Проекты (*.tvp)", "Все файлы (*)"}));
  EXPECT_EQ(DialogNameFilters("ЧХ|*.rsp;*.paz|Все файлы (*.*)|*.*"),
            (std::vector<std::string>{"ЧХ (*.rsp *.paz)", "Все файлы (*)"}));
  EXPECT_EQ(DialogNameFilters(kSaveFilter).size(), 3u);
  EXPECT_EQ(SaveFormOfFilter(0), 0);
  EXPECT_EQ(SaveFormOfFilter(1), 1);
  EXPECT_EQ(SaveFormOfFilter(2), 1);
}

TEST(ForAllBox, StateFollowsTheMarks) {
  EXPECT_EQ(CheckAllState({}), TCheckAllState::kChecked);
  EXPECT_EQ(CheckAllState({true, true}), TCheckAllState::kChecked);
  EXPECT_EQ(CheckAllState({true, false}), TCheckAllState::kPartial);
  EXPECT_EQ(CheckAllState({false, false}), TCheckAllState::kUnchecked);
}

TEST(Mask, ContainsWithLetterCaseAndNeverEmpty) {
  EXPECT_TRUE(MaskMatches("TVK01 Ш [E,N,Z] 14.05.2024", "Z"));
  EXPECT_FALSE(MaskMatches("TVK01 Ш [E,N] 14.05.2024", "z"));
  EXPECT_FALSE(MaskMatches("anything", ""));
}

TEST(IdleUpdate, EnabledStatesFollowTheSelectionAndTheRuns) {
  TIdleInputs in;
  in.Records = 3;
  in.SelectedRecords = 1;
  in.EditorChannels = 3;
  in.PrimEntries = 3;
  TIdleStates s = IdleStates(in);
  EXPECT_TRUE(s.Editor && s.Delete && s.Split && s.Clone && s.Compress && s.ChangePath);
  EXPECT_FALSE(s.Combine);
  EXPECT_TRUE(s.ResponseViews && s.ShowRecord && s.ChangeFile && s.ChannelsToFile);
  EXPECT_FALSE(s.PrimShow);
  EXPECT_TRUE(s.PrimMask);
  EXPECT_FALSE(s.NakMask);

  in.SelectedRecords = 2;
  s = IdleStates(in);
  EXPECT_TRUE(s.Combine);
  EXPECT_FALSE(s.ResponseViews || s.ShowRecord || s.ChangeFile);

  in.EditorChannels = 0;
  EXPECT_FALSE(IdleStates(in).ChannelsFromFile);

  // A running spectrum run: its button stops it, nothing edits the project, the H/V run waits,
  // and the results can still be looked at.
  in.PrimRunning = true;
  in.PrimSelected = true;
  s = IdleStates(in);
  EXPECT_TRUE(s.PrimCalc);
  EXPECT_FALSE(s.NakCalc);
  EXPECT_FALSE(s.Editor || s.Delete || s.Sort || s.AddFiles || s.ProjectCommands || s.Settings ||
               s.CheckLists || s.PrimMask);
  EXPECT_TRUE(s.PrimShow && s.VarShow);

  in = {};
  in.PreviewLoading = true;
  in.Records = 1;
  in.SelectedRecords = 1;
  in.PrimSelected = true;
  s = IdleStates(in);
  EXPECT_TRUE(s.ShowRecord);  // its stop
  EXPECT_FALSE(s.PrimCalc || s.NakCalc || s.ChangeFile || s.PrimShow || s.VarShow ||
               s.ResponseViews);
}

TEST(ResponseViews, LowestFrequencyIsTheFirstLineOfTheRecordsSpectra) {
  TProject project;
  TFileRecord r = Record("ST", 45000.0);
  // 20 s at 100 Hz: a transform of 2048 lines; the event set's 100 s one of 16384.
  EXPECT_DOUBLE_EQ(ResponseViewFMin(project, r), 100.0 / 2048);
  r.IsEvent = true;
  project.Settings[kEventSet].SilenceDur = 100.0;
  EXPECT_DOUBLE_EQ(ResponseViewFMin(project, r), 100.0 / 16384);
  r.SampRate = 0.0;
  EXPECT_EQ(ResponseViewFMin(project, r), 0.0);
}

TEST(StoredPrecision, ASelectionKeptToTheSecondNamesTheSameFileAfterATextReopen) {
  TempDir dir;
  // 12:00:00.7 and 12:00:00.3: miniSEED starts with milliseconds. The text form rounds them to
  // 12:00:01 and 12:00:00, while a result file is named after the second they fall in.
  TAppShell shell(dir.Path().string());
  for (int ms : {700, 300}) {
    TFileRecord r = Record("ST" + std::to_string(ms), EncodeDateTime(2024, 5, 14, 12, 0, 0, ms));
    EXPECT_TRUE(KeepSelectionAtStoredPrecision(r));
    EXPECT_FALSE(KeepSelectionAtStoredPrecision(r));
    shell.Project().Records.push_back(r);
  }
  EXPECT_EQ(FormatDateTime("hhnnss.zzz", shell.Project().Records[0].SelectStart), "120001.000");
  EXPECT_EQ(FormatDateTime("hhnnss.zzz", shell.Project().Records[1].SelectStart), "120000.000");

  const TResultFolders folders = DeriveResultFolders(dir.File("results"));
  std::vector<std::string> before;
  for (const TFileRecord& r : shell.Project().Records)
    before.push_back(SpectrumFilePath(folders, r, false));
  ScriptedDialogs dialogs;
  dialogs.Save = {dir.File("p.tvp"), 0};
  RecordingUiHost host;
  ASSERT_TRUE(shell.SaveAs(dialogs, host));
  ASSERT_TRUE(shell.OpenFile(dir.File("p.tvp"), dialogs, host));
  for (size_t i = 0; i < before.size(); ++i)
    EXPECT_EQ(SpectrumFilePath(folders, shell.Project().Records[i], false), before[i]);
}

// ---------------------------------------------------------------------------------------------
// Project commands.

class ShellCommands : public ::testing::Test {
 protected:
  ShellCommands() : shell_(dir_.File("program")) {}

  std::string SavedProject(const std::string& name, int records) {
    TAppShell other(dir_.File("program"));
    for (int i = 0; i < records; ++i)
      other.Project().Records.push_back(Record("S" + std::to_string(i), 45000.0 + i));
    ScriptedDialogs d;
    d.Save = {dir_.File(name), 0};
    EXPECT_TRUE(other.SaveAs(d, host_));
    return other.Project().FileName;
  }

  void Modify() {
    shell_.Project().Records.push_back(Record("NEW", 45100.0));
    shell_.Project().Modified = true;
  }

  TempDir dir_;
  TAppShell shell_;
  ScriptedDialogs dialogs_;
  RecordingUiHost host_;
};

TEST_F(ShellCommands, StartsAsANewProjectWithTheProgramFolderForResults) {
  EXPECT_EQ(shell_.Project().FileName, kNoName);
  EXPECT_EQ(shell_.Project().General.ResultDir, dir_.File("program"));
  EXPECT_EQ(shell_.Folders().SpectraPrimary,
            DeriveResultFolders(dir_.File("program")).SpectraPrimary);
  EXPECT_FALSE(shell_.Project().Modified);
}

TEST_F(ShellCommands, TheCloseQueryDecidesWhetherAnythingCloses) {
  const std::string a = SavedProject("a.tvp", 2);
  ASSERT_TRUE(shell_.OpenFile(a, dialogs_, host_));
  Modify();

  dialogs_.Answers = {TSaveAnswer::kCancel};
  EXPECT_FALSE(shell_.Close(dialogs_, host_));
  EXPECT_EQ(shell_.Project().Records.size(), 3u);
  EXPECT_TRUE(shell_.Project().Modified);

  // Cancel on a recent project opens nothing.
  const std::string b = SavedProject("b.tvp", 1);
  dialogs_.Answers = {TSaveAnswer::kCancel};
  EXPECT_FALSE(shell_.OpenFile(b, dialogs_, host_));
  EXPECT_EQ(shell_.Project().FileName, a);

  // Yes saves under the project's name, in the form the file has, and goes on.
  dialogs_.Answers = {TSaveAnswer::kYes};
  EXPECT_TRUE(shell_.OpenFile(b, dialogs_, host_));
  EXPECT_EQ(shell_.Project().FileName, b);
  EXPECT_EQ(ProbeProjectFormat(a), 0);
  ASSERT_TRUE(shell_.OpenFile(a, dialogs_, host_));
  EXPECT_EQ(shell_.Project().Records.size(), 3u);

  // No closes without saving.
  Modify();
  dialogs_.Answers = {TSaveAnswer::kNo};
  EXPECT_TRUE(shell_.Close(dialogs_, host_));
  EXPECT_TRUE(shell_.Project().FileName.empty());
  EXPECT_TRUE(shell_.Project().Records.empty());
  EXPECT_TRUE(shell_.Project().General.ResultDir.empty());
  EXPECT_FALSE(shell_.Project().Modified);
  EXPECT_EQ(dialogs_.SaveQuestions, 4);
}

TEST_F(ShellCommands, YesWhoseSaveIsCancelledOrFailsKeepsTheProject) {
  Modify();  // "noname.tvp": Yes asks for a name
  dialogs_.Answers = {TSaveAnswer::kYes};
  dialogs_.Save = std::nullopt;
  EXPECT_FALSE(shell_.New(dialogs_, host_));
  EXPECT_EQ(dialogs_.SaveDialogs, 1);
  EXPECT_EQ(shell_.Project().Records.size(), 1u);
  EXPECT_TRUE(shell_.Project().Modified);

  dialogs_.Answers = {TSaveAnswer::kYes};
  dialogs_.Save = {dir_.File("no such folder/p.tvp"), 0};
  EXPECT_FALSE(shell_.QueryClose(dialogs_, host_));
  EXPECT_EQ(shell_.Project().Records.size(), 1u);
  EXPECT_TRUE(shell_.Project().Modified);
  EXPECT_FALSE(host_.Messages.empty());

  dialogs_.Answers = {TSaveAnswer::kNo};
  EXPECT_TRUE(shell_.New(dialogs_, host_));
  EXPECT_EQ(shell_.Project().FileName, kNoName);
  EXPECT_TRUE(shell_.Project().Records.empty());
}

TEST_F(ShellCommands, AFileThatDoesNotLoadLeavesTheOpenProjectAsItWas) {
  const std::string a = SavedProject("a.tvp", 2);
  ASSERT_TRUE(shell_.OpenFile(a, dialogs_, host_));
  Modify();
  WriteText(dir_.File("junk.tvp"), "not a project\r\n");
  std::vector<uint8_t> wrong_block = {'F', 'V', 'E', 'R', 1, 0, 0, 0,
                                      'X', 'V', 'E', 'R', 1, 0, 0, 0};
  testing::WriteBytes(dir_.File("block.tvp"), wrong_block);
  for (const std::string& bad :
       {dir_.File("junk.tvp"), dir_.File("missing.tvp"), dir_.File("block.tvp")}) {
    dialogs_.Answers = {TSaveAnswer::kNo};
    dialogs_.Open = bad;
    EXPECT_FALSE(shell_.Open(dialogs_, host_)) << bad;
    EXPECT_EQ(shell_.Project().FileName, a) << bad;
    EXPECT_EQ(shell_.Project().Records.size(), 3u) << bad;
    EXPECT_TRUE(shell_.Project().Modified) << bad;
  }
  EXPECT_EQ(host_.Messages.size(), 3u);
  EXPECT_EQ(shell_.Recent().Paths().size(), 1u);
}

TEST_F(ShellCommands, SaveAsChoosesTheFormByFilterAndListsTheProject) {
  Modify();
  dialogs_.Save = {dir_.File("text"), 0};
  ASSERT_TRUE(shell_.SaveAs(dialogs_, host_));
  EXPECT_EQ(shell_.Project().FileName, dir_.File("text.tvp"));
  EXPECT_EQ(ProbeProjectFormat(dir_.File("text.tvp")), 0);
  dialogs_.Save = {dir_.File("bin.tvp"), 1};
  ASSERT_TRUE(shell_.SaveAs(dialogs_, host_));
  EXPECT_EQ(ProbeProjectFormat(dir_.File("bin.tvp")), 1);
  dialogs_.Save = {dir_.File("other.tvp"), 2};
  ASSERT_TRUE(shell_.SaveAs(dialogs_, host_));
  EXPECT_EQ(ProbeProjectFormat(dir_.File("other.tvp")), 1);
  EXPECT_EQ(shell_.Recent().Paths(),
            (std::vector<std::string>{dir_.File("other.tvp"), dir_.File("bin.tvp"),
                                      dir_.File("text.tvp")}));
  // The program's folder as results folder became the project's folder on the first save.
  EXPECT_EQ(shell_.Project().General.ResultDir, dir_.Path().string());
  EXPECT_EQ(shell_.Folders().SpectraPrimary,
            DeriveResultFolders(dir_.Path().string()).SpectraPrimary);
}

TEST_F(ShellCommands, GeneralSettingsMarkTheProjectAndFollowTheWorkingRate) {
  shell_.SetSampRateDefault(200.0);
  EXPECT_EQ(shell_.Project().WorkingRate, 200.0);
  EXPECT_TRUE(shell_.Project().Modified);
  shell_.SetResultDir(dir_.File("r"));
  EXPECT_EQ(shell_.Folders().SpectraNakamura, DeriveResultFolders(dir_.File("r")).SpectraNakamura);
}

// A plain save, also the one the close query asks for, keeps the form the file was opened or
// last saved in; only save as chooses another.
TEST_F(ShellCommands, APlainSaveKeepsTheFormOfTheFile) {
  for (int form : {0, 1}) {
    SCOPED_TRACE(form);
    const std::string name = dir_.File("f" + std::to_string(form) + ".tvp");
    {
      TProject p;
      p.Records.push_back(Record("A", 45000.0));
      ASSERT_TRUE(SaveProject(p, name, form, host_).Ok);
    }
    ASSERT_TRUE(shell_.OpenFile(name, dialogs_, host_));
    Modify();
    ASSERT_TRUE(shell_.Save(dialogs_, host_));
    EXPECT_EQ(ProbeProjectFormat(name), form);
    Modify();
    dialogs_.Answers = {TSaveAnswer::kYes};
    ASSERT_TRUE(shell_.QueryClose(dialogs_, host_));
    EXPECT_EQ(ProbeProjectFormat(name), form);
    ASSERT_TRUE(shell_.Close(dialogs_, host_));
  }
  // Save as into the other form; a plain save then keeps that one.
  ASSERT_TRUE(shell_.OpenFile(dir_.File("f0.tvp"), dialogs_, host_));
  dialogs_.Save = {dir_.File("f0.tvp"), 1};
  ASSERT_TRUE(shell_.SaveAs(dialogs_, host_));
  EXPECT_EQ(ProbeProjectFormat(dir_.File("f0.tvp")), 1);
  Modify();
  ASSERT_TRUE(shell_.Save(dialogs_, host_));
  EXPECT_EQ(ProbeProjectFormat(dir_.File("f0.tvp")), 1);
  EXPECT_TRUE(dialogs_.ChangedFiles.empty());
}

// Another program saved the project after the window opened it: the save asks before it
// overwrites that change, and can reopen the file instead.
TEST_F(ShellCommands, ASaveOverAFileChangedOnDiskAsks) {
  const std::string a = SavedProject("a.tvp", 2);
  const auto change_on_disk = [&](const std::string& station) {
    TProject other;
    ASSERT_EQ(LoadProject(other, a, host_), LoadStatus::kLoaded);
    other.Records[0].Station = station;
    ASSERT_TRUE(SaveProject(other, a, 0, host_).Ok);
  };
  const auto station_on_disk = [&] {
    TProject p;
    EXPECT_EQ(LoadProject(p, a, host_), LoadStatus::kLoaded);
    return p.Records.empty() ? std::string() : p.Records[0].Station;
  };
  ASSERT_TRUE(shell_.OpenFile(a, dialogs_, host_));

  // Unchanged on disk: no question.
  shell_.Project().Records[0].Station = "MINE1";
  shell_.Project().Modified = true;
  ASSERT_TRUE(shell_.Save(dialogs_, host_));
  EXPECT_TRUE(dialogs_.ChangedFiles.empty());

  // Cancel: nothing written, the project stays modified.
  change_on_disk("DISK1");
  const std::vector<uint8_t> disk = testing::ReadBytes(a);
  shell_.Project().Records[0].Station = "MINE2";
  shell_.Project().Modified = true;
  dialogs_.DiskAnswers = {TChangedOnDiskAnswer::kCancel};
  EXPECT_FALSE(shell_.Save(dialogs_, host_));
  EXPECT_EQ(dialogs_.ChangedFiles, std::vector<std::string>{a});
  EXPECT_TRUE(testing::ReadBytes(a) == disk);
  EXPECT_TRUE(shell_.Project().Modified);
  EXPECT_FALSE(shell_.TakeReopened());

  // The close query's Yes asks too; overwrite writes the window's project.
  dialogs_.Answers = {TSaveAnswer::kYes};
  dialogs_.DiskAnswers = {TChangedOnDiskAnswer::kOverwrite};
  EXPECT_TRUE(shell_.QueryClose(dialogs_, host_));
  EXPECT_EQ(dialogs_.ChangedFiles.size(), 2u);
  EXPECT_EQ(station_on_disk(), "MINE2");
  EXPECT_FALSE(shell_.Project().Modified);

  // Reopen: the file as it is on disk replaces the project; nothing is written.
  change_on_disk("DISK2");
  shell_.Project().Records[0].Station = "MINE3";
  shell_.Project().Modified = true;
  dialogs_.DiskAnswers = {TChangedOnDiskAnswer::kReopen};
  EXPECT_FALSE(shell_.Save(dialogs_, host_));
  EXPECT_TRUE(shell_.TakeReopened());
  EXPECT_FALSE(shell_.TakeReopened());
  EXPECT_EQ(shell_.Project().Records[0].Station, "DISK2");
  EXPECT_FALSE(shell_.Project().Modified);
  EXPECT_EQ(station_on_disk(), "DISK2");

  // After the reopen the file is the project's again: the next save asks nothing.
  shell_.Project().Records[0].Station = "MINE4";
  shell_.Project().Modified = true;
  ASSERT_TRUE(shell_.Save(dialogs_, host_));
  EXPECT_EQ(dialogs_.ChangedFiles.size(), 3u);
  EXPECT_EQ(station_on_disk(), "MINE4");
}

// While another writer holds the project, a save waits, then gives up naming it; the project
// stays modified and the file as it was.
TEST_F(ShellCommands, ASaveGivesUpOnAProjectAnotherWriterHolds) {
  const std::string a = SavedProject("a.tvp", 1);
  ASSERT_TRUE(shell_.OpenFile(a, dialogs_, host_));
  Modify();
  const std::vector<uint8_t> before = testing::ReadBytes(a);
  TProjectLock other = TProjectLock::Acquire(a);
  ASSERT_TRUE(other.Held());
  shell_.SetLockWait(0.2);
  host_.Messages.clear();
  EXPECT_FALSE(shell_.Save(dialogs_, host_));
  EXPECT_EQ(host_.Messages,
            std::vector<std::string>{ProjectBusyMessage(a, TProjectLock::ThisHolder())});
  EXPECT_TRUE(shell_.Project().Modified);
  EXPECT_TRUE(testing::ReadBytes(a) == before);
  other.Release();
  EXPECT_TRUE(shell_.Save(dialogs_, host_));
  EXPECT_FALSE(shell_.Project().Modified);
}

}  // namespace
}  // namespace tarvik
