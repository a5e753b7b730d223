#include "project/app_shell.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/paths.h"
#include "common/ui_host.h"
#include "project/bin_ini_file.h"

namespace tarvik {

namespace {

bool ParseInt(std::string_view text, int& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  value = v;
  return true;
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

}  // namespace

TStatus ChangedOnDiskQuestion(const std::string& file) {
  TStatus status = MakeStatus(TCode::kChangedOnDisk, {file});
  status.File = file;
  return status;
}

std::string AboutText() {
  return std::string(kAppName) + " " + kAppVersion + "\n" + kAppTitle;
}

std::vector<std::string> DialogNameFilters(std::string_view filter) {
  std::vector<std::string> parts;
  size_t from = 0;
  while (from <= filter.size()) {
    const size_t bar = filter.find('|', from);
    const size_t end = bar == std::string_view::npos ? filter.size() : bar;
    parts.emplace_back(filter.substr(from, end - from));
    if (bar == std::string_view::npos) break;
    from = bar + 1;
  }
  std::vector<std::string> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string description = parts[i];
    const std::string pattern = parts[i + 1];
    std::string patterns;
    for (char c : pattern) patterns += c == ';' ? ' ' : c;
    if (patterns == "*.*") patterns = "*";
    const std::string bracketed = "(" + pattern + ")";
    if (description.size() >= bracketed.size() &&
        description.compare(description.size() - bracketed.size(), bracketed.size(), bracketed) ==
            0) {
      description.erase(description.size() - bracketed.size());
      while (!description.empty() && description.back() == ' ') description.pop_back();
    }
    out.push_back(description + " (" + patterns + ")");
  }
  return out;
}

int SaveFormOfFilter(int filter_index) {
  return filter_index <= 0 ? 0 : 1;
}

std::string RecentCaption(int position, std::string_view path) {
  return "&" + std::to_string(position) + " " + std::string(path);
}

std::string RecentKey(int position) {
  return "File" + std::to_string(position);
}

bool TRecentProjects::Insert(const std::string& path) {
  for (const std::string& p : paths_) {
    if (p == path) return false;
  }
  if (static_cast<int>(paths_.size()) >= kMaxRecentProjects) paths_.pop_back();
  paths_.insert(paths_.begin(), path);
  return true;
}

std::vector<std::string> TRecentProjects::Captions() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < paths_.size(); ++i)
    out.push_back(RecentCaption(static_cast<int>(i) + 1, paths_[i]));
  return out;
}

TRecentProjects TRecentProjects::FromStored(const std::function<std::string(int)>& value) {
  TRecentProjects list;
  for (int n = kMaxRecentProjects; n >= 1; --n) {
    const std::string path = value(n);
    if (!path.empty()) list.Insert(path);
  }
  return list;
}

std::vector<std::pair<std::string, std::string>> TRecentProjects::ToStored() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (size_t i = 0; i < paths_.size(); ++i)
    out.emplace_back(RecentKey(static_cast<int>(i) + 1), paths_[i]);
  return out;
}

TPlacement ReadPlacement(const std::function<std::optional<std::string>(std::string_view)>& value) {
  TPlacement p;
  auto read_int = [&](std::string_view name, int& field) {
    if (const auto text = value(name)) ParseInt(*text, field);
  };
  read_int("Left", p.Left);
  read_int("Top", p.Top);
  read_int("Width", p.Width);
  read_int("Height", p.Height);
  if (const auto text = value("Maximized")) {
    int flag = 0;
    if (*text == "true") {
      p.Maximized = true;
    } else if (ParseInt(*text, flag)) {
      p.Maximized = flag != 0;
    }
  }
  return p;
}

std::vector<std::pair<std::string, std::string>> PlacementToStore(const TPlacement& normal,
                                                                  bool maximized) {
  std::vector<std::pair<std::string, std::string>> out;
  out.emplace_back("Maximized", maximized ? "1" : "0");
  if (!maximized) {
    out.emplace_back("Left", std::to_string(normal.Left));
    out.emplace_back("Top", std::to_string(normal.Top));
    out.emplace_back("Width", std::to_string(normal.Width));
    out.emplace_back("Height", std::to_string(normal.Height));
  }
  return out;
}

std::string WindowCaption(const TProject& project) {
  if (project.FileName.empty()) return kAppTitle;
  return project.FileName + (project.Modified ? "*" : "");
}

std::string HelpDocumentPath(const std::string& program_folder, const std::string& current_folder) {
  if (!program_folder.empty()) {
    const std::string beside = JoinPath(program_folder, kHelpDocument);
    if (IsRegularFile(beside)) return beside;
  }
  return current_folder.empty() ? std::string(kHelpDocument)
                                : JoinPath(current_folder, kHelpDocument);
}

double ResponseViewFMin(const TProject& project, const TFileRecord& record) {
  TSpectrumSettings settings = project.SettingsFor(record);
  if (!(record.SampRate > 0.0) || !DeriveGeometry(settings, record.SampRate) ||
      settings.TransformLength <= 0)
    return 0.0;
  return record.SampRate / settings.TransformLength;
}

TDateTime AtStoredPrecision(TDateTime value) {
  TDateTime stored = value;
  return ParseProjectDateTime(FormatProjectDateTime(value), stored) ? stored : value;
}

bool KeepSelectionAtStoredPrecision(TFileRecord& record) {
  const TDateTime start = AtStoredPrecision(record.SelectStart);
  const TDateTime finish = AtStoredPrecision(record.SelectFinish);
  const bool changed = start != record.SelectStart || finish != record.SelectFinish;
  record.SelectStart = start;
  record.SelectFinish = finish;
  return changed;
}

TCheckAllState CheckAllState(const std::vector<bool>& checked) {
  bool any = false, all = true;
  for (bool c : checked) {
    any = any || c;
    all = all && c;
  }
  if (all) return TCheckAllState::kChecked;
  return any ? TCheckAllState::kPartial : TCheckAllState::kUnchecked;
}

bool MaskMatches(std::string_view entry, std::string_view text) {
  return !text.empty() && entry.find(text) != std::string_view::npos;
}

TIdleStates IdleStates(const TIdleInputs& in) {
  TIdleStates s;
  const bool busy = in.PrimRunning || in.NakRunning || in.PreviewLoading || in.Adding;
  const bool editable = !busy;
  s.Editor = editable && in.Records > 0 && in.SelectedRecords > 0;
  s.Delete = s.Split = s.Clone = s.ChangePath = s.Compress = s.Editor;
  s.Combine = s.Editor && in.SelectedRecords >= 2;
  s.Sort = editable && in.Records > 0;
  s.ChannelsToFile = s.ChannelsFromFile = s.Editor && in.EditorChannels > 0;
  const bool single = in.Records > 0 && in.SelectedRecords == 1;
  s.ChangeFile = single && editable;
  s.ShowRecord = in.PreviewLoading || (single && editable);
  // The viewer may look at results and responses while a run goes on (the run works on a copy
  // of the project), not while a record loads in the window's own call.
  s.ResponseViews = single && !in.PreviewLoading;
  s.PrimShow = in.PrimSelected && !in.PreviewLoading;
  s.NakShow = in.NakSelected && !in.PreviewLoading;
  s.VarShow = !in.PreviewLoading;
  s.PrimMask = editable && in.PrimEntries > 0;
  s.NakMask = editable && in.NakEntries > 0;
  s.CheckLists = editable;
  s.AddFiles = s.ProjectCommands = s.Settings = editable;
  s.PrimCalc = in.PrimRunning || editable;
  s.NakCalc = in.NakRunning || editable;
  return s;
}

// ---------------------------------------------------------------------------------------------

TAppShell::TAppShell(std::string program_folder) : program_folder_(std::move(program_folder)) {
  project_.FileName = kNoName;
  project_.General.ResultDir = program_folder_;
  project_.WorkingRate = project_.General.SampRateDefault;
  DeriveFolders();
}

void TAppShell::DeriveFolders() {
  folders_ = DeriveResultFolders(project_.General.ResultDir, program_folder_);
}

bool TAppShell::AskToSave(TShellDialogs& dialogs, UiHost& host) {
  if (!project_.Modified) return true;
  switch (dialogs.AskSaveChanges()) {
    case TSaveAnswer::kCancel:
      return false;
    case TSaveAnswer::kNo:
      return true;
    case TSaveAnswer::kYes:
      // A save that fails or is cancelled keeps the project: closing it then would lose the
      // changes the person just asked to keep.
      return Save(dialogs, host);
  }
  return false;
}

void TAppShell::CloseProject() {
  project_.Records.clear();
  project_.FileName.clear();
  project_.Folder.clear();
  project_.WorkingRate = project_.General.SampRateDefault;
  project_.General.ResultDir.clear();
  DeriveFolders();
  project_.Modified = false;
}

bool TAppShell::New(TShellDialogs& dialogs, UiHost& host) {
  if (!AskToSave(dialogs, host)) return false;
  CloseProject();
  project_.FileName = kNoName;
  return true;
}

bool TAppShell::Close(TShellDialogs& dialogs, UiHost& host) {
  if (!AskToSave(dialogs, host)) return false;
  CloseProject();
  return true;
}

bool TAppShell::QueryClose(TShellDialogs& dialogs, UiHost& host) {
  return AskToSave(dialogs, host);
}

bool TAppShell::Open(TShellDialogs& dialogs, UiHost& host) {
  if (!AskToSave(dialogs, host)) return false;
  const std::optional<std::string> path = dialogs.ChooseProjectToOpen();
  if (!path) return false;
  return LoadFile(*path, host, &dialogs) == LoadStatus::kLoaded;
}

bool TAppShell::OpenFile(const std::string& path, TShellDialogs& dialogs, UiHost& host) {
  if (!AskToSave(dialogs, host)) return false;
  return LoadFile(path, host, &dialogs) == LoadStatus::kLoaded;
}

LoadStatus TAppShell::LoadFile(const std::string& path, UiHost& host, TShellDialogs* dialogs) {
  // The file is read into a project of its own: one that does not load leaves the open project
  // as it was. What a file does not set (FillByZero, UnitCoef) keeps the current values.
  TProject loaded;
  loaded.Settings = project_.Settings;
  loaded.General = project_.General;
  if (dialogs != nullptr) dialogs->Loading(true);
  const LoadStatus status = LoadProject(loaded, path, host);
  if (dialogs != nullptr) dialogs->Loading(false);
  if (status != LoadStatus::kLoaded) return status;
  replaced_ = std::exchange(project_, std::move(loaded));
  DeriveFolders();
  recent_.Insert(project_.FileName);
  return status;
}

bool TAppShell::Save(TShellDialogs& dialogs, UiHost& host) {
  const std::string& name = project_.FileName;
  if (name.empty() || name == kNoName) return SaveAs(dialogs, host);
  return SaveUnder(name, project_.Form, dialogs, host);
}

bool TAppShell::SaveAs(TShellDialogs& dialogs, UiHost& host) {
  const auto choice = dialogs.ChooseProjectToSave(project_.FileName);
  if (!choice) return false;
  if (!SaveUnder(choice->first, SaveFormOfFilter(choice->second), dialogs, host)) return false;
  recent_.Insert(project_.FileName);
  return true;
}

bool TAppShell::SaveUnder(const std::string& name, int form, TShellDialogs& dialogs, UiHost& host) {
  const std::string file = ProjectFilePath(name);
  // Only the file the project came from can have been changed behind its back; another file
  // chosen in the save dialog is overwritten as the dialog confirmed.
  const bool own_file = file == project_.FileName && project_.Disk.Known;
  std::optional<TProjectStamp> overwrite;
  for (;;) {
    TProjectLock lock = TProjectLock::Acquire(file, lock_wait_);
    if (!lock.Held()) {
      host.ShowError(lock.Error());
      return false;
    }
    if (own_file) {
      const TProjectStamp now = ProjectFileStamp(file);
      // A file that is gone is written anew: nothing of anyone's is lost by that.
      if (now.Known && now != project_.Disk && now != overwrite) {
        // The person is not kept waiting for with the lock held.
        lock.Release();
        switch (dialogs.AskChangedOnDisk(file)) {
          case TChangedOnDiskAnswer::kCancel:
            return false;
          case TChangedOnDiskAnswer::kReopen:
            if (LoadFile(file, host, &dialogs) == LoadStatus::kLoaded) reopened_ = true;
            return false;
          case TChangedOnDiskAnswer::kOverwrite:
            // Asked again only if the file changes once more before the lock is back.
            overwrite = now;
            continue;
        }
      }
    }
    const SaveResult saved = SaveProject(project_, name, form, host, program_folder_, &lock);
    DeriveFolders();
    return saved.Ok;
  }
}

void TAppShell::SetResultDir(const std::string& folder) {
  project_.General.ResultDir = folder;
  DeriveFolders();
  project_.Modified = true;
}

void TAppShell::SetMaxSpan(int32_t seconds) {
  project_.General.MaxSpan = seconds;
  project_.Modified = true;
}

void TAppShell::SetRecognizeComponent(bool on) {
  project_.General.RecognizeComponent = on;
  project_.Modified = true;
}

void TAppShell::SetDataFormat(int32_t index) {
  project_.General.DataFormat = index;
  project_.Modified = true;
}

void TAppShell::SetSampRateDefault(double rate) {
  project_.General.SampRateDefault = rate;
  project_.WorkingRate = rate;
  project_.Modified = true;
}

}  // namespace tarvik
