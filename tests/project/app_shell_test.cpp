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
    ++save_questions;
    TSaveAnswer a = answers.empty() ? TSaveAnswer::kCancel : answers.front();
    if (!answers.empty()) answers.pop_front();
    return a;
  }
  std::optional<std::string> ChooseProjectToOpen() override {
    ++open_dialogs;
    return open;
  }
  std::optional<std::pair<std::string, int>> ChooseProjectToSave(const std::string&) override {
    ++save_dialogs;
    return save;
  }
  TChangedOnDiskAnswer AskChangedOnDisk(const std::string& file) override {
    changed_files.push_back(file);
    TChangedOnDiskAnswer a =
        disk_answers.empty() ? TChangedOnDiskAnswer::kCancel : disk_answers.front();
    if (!disk_answers.empty()) disk_answers.pop_front();
    return a;
  }

  std::deque<TSaveAnswer> answers;
  std::deque<TChangedOnDiskAnswer> disk_answers;
  std::vector<std::string> changed_files;
  std::optional<std::string> open;
  std::optional<std::pair<std::string, int>> save;
  int save_questions = 0, open_dialogs = 0, save_dialogs = 0;
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
  TAppShell shell(dir.path().string());
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
  dialogs.save = {dir.File("p.tvp"), 0};
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
  ShellCommands() : shell(dir.File("program")) {}

  std::string SavedProject(const std::string& name, int records) {
    TAppShell other(dir.File("program"));
    for (int i = 0; i < records; ++i)
      other.Project().Records.push_back(Record("S" + std::to_string(i), 45000.0 + i));
    ScriptedDialogs d;
    d.save = {dir.File(name), 0};
    EXPECT_TRUE(other.SaveAs(d, host));
    return other.Project().FileName;
  }

  void Modify() {
    shell.Project().Records.push_back(Record("NEW", 45100.0));
    shell.Project().Modified = true;
  }

  TempDir dir;
  TAppShell shell;
  ScriptedDialogs dialogs;
  RecordingUiHost host;
};

TEST_F(ShellCommands, StartsAsANewProjectWithTheProgramFolderForResults) {
  EXPECT_EQ(shell.Project().FileName, kNoName);
  EXPECT_EQ(shell.Project().General.ResultDir, dir.File("program"));
  EXPECT_EQ(shell.Folders().SpectraPrimary,
            DeriveResultFolders(dir.File("program")).SpectraPrimary);
  EXPECT_FALSE(shell.Project().Modified);
}

TEST_F(ShellCommands, TheCloseQueryDecidesWhetherAnythingCloses) {
  const std::string a = SavedProject("a.tvp", 2);
  ASSERT_TRUE(shell.OpenFile(a, dialogs, host));
  Modify();

  dialogs.answers = {TSaveAnswer::kCancel};
  EXPECT_FALSE(shell.Close(dialogs, host));
  EXPECT_EQ(shell.Project().Records.size(), 3u);
  EXPECT_TRUE(shell.Project().Modified);

  // Cancel on a recent project opens nothing.
  const std::string b = SavedProject("b.tvp", 1);
  dialogs.answers = {TSaveAnswer::kCancel};
  EXPECT_FALSE(shell.OpenFile(b, dialogs, host));
  EXPECT_EQ(shell.Project().FileName, a);

  // Yes saves under the project's name, in the form the file has, and goes on.
  dialogs.answers = {TSaveAnswer::kYes};
  EXPECT_TRUE(shell.OpenFile(b, dialogs, host));
  EXPECT_EQ(shell.Project().FileName, b);
  EXPECT_EQ(ProbeProjectFormat(a), 0);
  ASSERT_TRUE(shell.OpenFile(a, dialogs, host));
  EXPECT_EQ(shell.Project().Records.size(), 3u);

  // No closes without saving.
  Modify();
  dialogs.answers = {TSaveAnswer::kNo};
  EXPECT_TRUE(shell.Close(dialogs, host));
  EXPECT_TRUE(shell.Project().FileName.empty());
  EXPECT_TRUE(shell.Project().Records.empty());
  EXPECT_TRUE(shell.Project().General.ResultDir.empty());
  EXPECT_FALSE(shell.Project().Modified);
  EXPECT_EQ(dialogs.save_questions, 4);
}

TEST_F(ShellCommands, YesWhoseSaveIsCancelledOrFailsKeepsTheProject) {
  Modify();  // "noname.tvp": Yes asks for a name
  dialogs.answers = {TSaveAnswer::kYes};
  dialogs.save = std::nullopt;
  EXPECT_FALSE(shell.New(dialogs, host));
  EXPECT_EQ(dialogs.save_dialogs, 1);
  EXPECT_EQ(shell.Project().Records.size(), 1u);
  EXPECT_TRUE(shell.Project().Modified);

  dialogs.answers = {TSaveAnswer::kYes};
  dialogs.save = {dir.File("no such folder/p.tvp"), 0};
  EXPECT_FALSE(shell.QueryClose(dialogs, host));
  EXPECT_EQ(shell.Project().Records.size(), 1u);
  EXPECT_TRUE(shell.Project().Modified);
  EXPECT_FALSE(host.messages.empty());

  dialogs.answers = {TSaveAnswer::kNo};
  EXPECT_TRUE(shell.New(dialogs, host));
  EXPECT_EQ(shell.Project().FileName, kNoName);
  EXPECT_TRUE(shell.Project().Records.empty());
}

TEST_F(ShellCommands, AFileThatDoesNotLoadLeavesTheOpenProjectAsItWas) {
  const std::string a = SavedProject("a.tvp", 2);
  ASSERT_TRUE(shell.OpenFile(a, dialogs, host));
  Modify();
  WriteText(dir.File("junk.tvp"), "not a project\r\n");
  std::vector<uint8_t> wrong_block = {'F', 'V', 'E', 'R', 1, 0, 0, 0,
                                      'X', 'V', 'E', 'R', 1, 0, 0, 0};
  testing::WriteBytes(dir.File("block.tvp"), wrong_block);
  for (const std::string& bad :
       {dir.File("junk.tvp"), dir.File("missing.tvp"), dir.File("block.tvp")}) {
    dialogs.answers = {TSaveAnswer::kNo};
    dialogs.open = bad;
    EXPECT_FALSE(shell.Open(dialogs, host)) << bad;
    EXPECT_EQ(shell.Project().FileName, a) << bad;
    EXPECT_EQ(shell.Project().Records.size(), 3u) << bad;
    EXPECT_TRUE(shell.Project().Modified) << bad;
  }
  EXPECT_EQ(host.messages.size(), 3u);
  EXPECT_EQ(shell.Recent().Paths().size(), 1u);
}

TEST_F(ShellCommands, SaveAsChoosesTheFormByFilterAndListsTheProject) {
  Modify();
  dialogs.save = {dir.File("text"), 0};
  ASSERT_TRUE(shell.SaveAs(dialogs, host));
  EXPECT_EQ(shell.Project().FileName, dir.File("text.tvp"));
  EXPECT_EQ(ProbeProjectFormat(dir.File("text.tvp")), 0);
  dialogs.save = {dir.File("bin.tvp"), 1};
  ASSERT_TRUE(shell.SaveAs(dialogs, host));
  EXPECT_EQ(ProbeProjectFormat(dir.File("bin.tvp")), 1);
  dialogs.save = {dir.File("other.tvp"), 2};
  ASSERT_TRUE(shell.SaveAs(dialogs, host));
  EXPECT_EQ(ProbeProjectFormat(dir.File("other.tvp")), 1);
  EXPECT_EQ(
      shell.Recent().Paths(),
      (std::vector<std::string>{dir.File("other.tvp"), dir.File("bin.tvp"), dir.File("text.tvp")}));
  // The program's folder as results folder became the project's folder on the first save.
  EXPECT_EQ(shell.Project().General.ResultDir, dir.path().string());
  EXPECT_EQ(shell.Folders().SpectraPrimary,
            DeriveResultFolders(dir.path().string()).SpectraPrimary);
}

TEST_F(ShellCommands, GeneralSettingsMarkTheProjectAndFollowTheWorkingRate) {
  shell.SetSampRateDefault(200.0);
  EXPECT_EQ(shell.Project().WorkingRate, 200.0);
  EXPECT_TRUE(shell.Project().Modified);
  shell.SetResultDir(dir.File("r"));
  EXPECT_EQ(shell.Folders().SpectraNakamura, DeriveResultFolders(dir.File("r")).SpectraNakamura);
}

// A plain save, also the one the close query asks for, keeps the form the file was opened or
// last saved in; only save as chooses another.
TEST_F(ShellCommands, APlainSaveKeepsTheFormOfTheFile) {
  for (int form : {0, 1}) {
    SCOPED_TRACE(form);
    const std::string name = dir.File("f" + std::to_string(form) + ".tvp");
    {
      TProject p;
      p.Records.push_back(Record("A", 45000.0));
      ASSERT_TRUE(SaveProject(p, name, form, host).ok);
    }
    ASSERT_TRUE(shell.OpenFile(name, dialogs, host));
    Modify();
    ASSERT_TRUE(shell.Save(dialogs, host));
    EXPECT_EQ(ProbeProjectFormat(name), form);
    Modify();
    dialogs.answers = {TSaveAnswer::kYes};
    ASSERT_TRUE(shell.QueryClose(dialogs, host));
    EXPECT_EQ(ProbeProjectFormat(name), form);
    ASSERT_TRUE(shell.Close(dialogs, host));
  }
  // Save as into the other form; a plain save then keeps that one.
  ASSERT_TRUE(shell.OpenFile(dir.File("f0.tvp"), dialogs, host));
  dialogs.save = {dir.File("f0.tvp"), 1};
  ASSERT_TRUE(shell.SaveAs(dialogs, host));
  EXPECT_EQ(ProbeProjectFormat(dir.File("f0.tvp")), 1);
  Modify();
  ASSERT_TRUE(shell.Save(dialogs, host));
  EXPECT_EQ(ProbeProjectFormat(dir.File("f0.tvp")), 1);
  EXPECT_TRUE(dialogs.changed_files.empty());
}

// Another program saved the project after the window opened it: the save asks before it
// overwrites that change, and can reopen the file instead.
TEST_F(ShellCommands, ASaveOverAFileChangedOnDiskAsks) {
  const std::string a = SavedProject("a.tvp", 2);
  const auto change_on_disk = [&](const std::string& station) {
    TProject other;
    ASSERT_EQ(LoadProject(other, a, host), LoadStatus::kLoaded);
    other.Records[0].Station = station;
    ASSERT_TRUE(SaveProject(other, a, 0, host).ok);
  };
  const auto station_on_disk = [&] {
    TProject p;
    EXPECT_EQ(LoadProject(p, a, host), LoadStatus::kLoaded);
    return p.Records.empty() ? std::string() : p.Records[0].Station;
  };
  ASSERT_TRUE(shell.OpenFile(a, dialogs, host));

  // Unchanged on disk: no question.
  shell.Project().Records[0].Station = "MINE1";
  shell.Project().Modified = true;
  ASSERT_TRUE(shell.Save(dialogs, host));
  EXPECT_TRUE(dialogs.changed_files.empty());

  // Cancel: nothing written, the project stays modified.
  change_on_disk("DISK1");
  const std::vector<uint8_t> disk = testing::ReadBytes(a);
  shell.Project().Records[0].Station = "MINE2";
  shell.Project().Modified = true;
  dialogs.disk_answers = {TChangedOnDiskAnswer::kCancel};
  EXPECT_FALSE(shell.Save(dialogs, host));
  EXPECT_EQ(dialogs.changed_files, std::vector<std::string>{a});
  EXPECT_TRUE(testing::ReadBytes(a) == disk);
  EXPECT_TRUE(shell.Project().Modified);
  EXPECT_FALSE(shell.TakeReopened());

  // The close query's Yes asks too; overwrite writes the window's project.
  dialogs.answers = {TSaveAnswer::kYes};
  dialogs.disk_answers = {TChangedOnDiskAnswer::kOverwrite};
  EXPECT_TRUE(shell.QueryClose(dialogs, host));
  EXPECT_EQ(dialogs.changed_files.size(), 2u);
  EXPECT_EQ(station_on_disk(), "MINE2");
  EXPECT_FALSE(shell.Project().Modified);

  // Reopen: the file as it is on disk replaces the project; nothing is written.
  change_on_disk("DISK2");
  shell.Project().Records[0].Station = "MINE3";
  shell.Project().Modified = true;
  dialogs.disk_answers = {TChangedOnDiskAnswer::kReopen};
  EXPECT_FALSE(shell.Save(dialogs, host));
  EXPECT_TRUE(shell.TakeReopened());
  EXPECT_FALSE(shell.TakeReopened());
  EXPECT_EQ(shell.Project().Records[0].Station, "DISK2");
  EXPECT_FALSE(shell.Project().Modified);
  EXPECT_EQ(station_on_disk(), "DISK2");

  // After the reopen the file is the project's again: the next save asks nothing.
  shell.Project().Records[0].Station = "MINE4";
  shell.Project().Modified = true;
  ASSERT_TRUE(shell.Save(dialogs, host));
  EXPECT_EQ(dialogs.changed_files.size(), 3u);
  EXPECT_EQ(station_on_disk(), "MINE4");
}

// While another writer holds the project, a save waits, then gives up naming it; the project
// stays modified and the file as it was.
TEST_F(ShellCommands, ASaveGivesUpOnAProjectAnotherWriterHolds) {
  const std::string a = SavedProject("a.tvp", 1);
  ASSERT_TRUE(shell.OpenFile(a, dialogs, host));
  Modify();
  const std::vector<uint8_t> before = testing::ReadBytes(a);
  TProjectLock other = TProjectLock::Acquire(a);
  ASSERT_TRUE(other.Held());
  shell.SetLockWait(0.2);
  host.messages.clear();
  EXPECT_FALSE(shell.Save(dialogs, host));
  EXPECT_EQ(host.messages,
            std::vector<std::string>{ProjectBusyMessage(a, TProjectLock::ThisHolder())});
  EXPECT_TRUE(shell.Project().Modified);
  EXPECT_TRUE(testing::ReadBytes(a) == before);
  other.Release();
  EXPECT_TRUE(shell.Save(dialogs, host));
  EXPECT_FALSE(shell.Project().Modified);
}

}  // namespace
}  // namespace tarvik
