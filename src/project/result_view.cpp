#include "project/result_view.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "project/project_file.h"
#include "viewers/noise_models.h"
#include "viewers/spectrum_show.h"

namespace tarvik {

namespace {

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(
      std::filesystem::path(std::u8string(path.begin(), path.end())), ec);
}

// The choice list takes a stored selection only when it has such an entry.
void SetSelection(TSpectrumView& view, int selection) {
  view.Selection =
      selection >= 0 && selection < static_cast<int>(view.Choices.size()) ? selection : -1;
}

namespace fs = std::filesystem;

fs::path NativeFsPath(const std::string& path) {
  return fs::path(std::u8string(path.begin(), path.end()));
}

// The same file: equal paths once made absolute and free of "." and "..", with symbolic links
// resolved where the file exists.
fs::path Normalised(const fs::path& path) {
  std::error_code ec;
  fs::path out = fs::weakly_canonical(path, ec);
  if (ec) out = fs::absolute(path, ec).lexically_normal();
  return out;
}

// A project read to find the results it writes.
struct KnownProject {
  std::string File;
  TProject Project;
  TResultFolders Folders;
};

// The project files of folder (at most a few dozen are read: a results folder holds results).
std::vector<std::string> ProjectFilesIn(const fs::path& folder) {
  constexpr size_t kMaxProjects = 32;
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    std::string ext = p.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::error_code file_ec;
    if (ext != ".tvp" || !fs::is_regular_file(p, file_ec)) continue;
    const std::u8string u8 = p.u8string();
    out.emplace_back(u8.begin(), u8.end());
    if (out.size() == kMaxProjects) break;
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The results folder a record's result at path lies in: R of R/Spectra/Primary/FILE (or Events,
// Nakamura); empty when the file does not lie in such a folder.
fs::path ResultsFolderOf(const fs::path& file) {
  const fs::path kind = file.parent_path();
  const fs::path tree = kind.parent_path();
  const std::string k = kind.filename().string();
  const std::string t = tree.filename().string();
  if ((k == "Primary" || k == "Nakamura") && (t == "Spectra" || t == "Events")) {
    return tree.parent_path();
  }
  return {};
}

}  // namespace

std::vector<std::optional<TResultOrigin>> FindResultOrigins(const std::vector<std::string>& paths) {
  std::vector<std::optional<TResultOrigin>> out(paths.size());
  std::vector<KnownProject> known;
  std::vector<fs::path> searched;
  for (size_t i = 0; i < paths.size(); ++i) {
    const fs::path file = Normalised(NativeFsPath(paths[i]));
    const fs::path results = ResultsFolderOf(file);
    if (results.empty()) continue;
    for (const fs::path& folder : {results, results.parent_path()}) {
      if (std::find(searched.begin(), searched.end(), folder) != searched.end()) continue;
      searched.push_back(folder);
      for (const std::string& project_file : ProjectFilesIn(folder)) {
        KnownProject p;
        NullUiHost quiet;
        if (LoadProject(p.Project, project_file, quiet) != LoadStatus::kLoaded) continue;
        p.File = project_file;
        p.Folders = DeriveResultFolders(p.Project.General.ResultDir, p.Project.Folder);
        known.push_back(std::move(p));
      }
    }
    const fs::path name = file.filename();
    std::optional<TResultOrigin> found;
    bool ambiguous = false;
    for (const KnownProject& p : known) {
      for (size_t r = 0; r < p.Project.Records.size() && !ambiguous; ++r) {
        const TFileRecord& record = p.Project.Records[r];
        for (const std::string& candidate :
             {PrimaryResultPath(p.Project, p.Folders, record), RatioFilePath(p.Folders, record)}) {
          const fs::path c = NativeFsPath(candidate);
          if (c.filename() != name || Normalised(c) != file) continue;
          const TViewerUnits units = ViewerUnits(p.Project.SettingsFor(record));
          if (found &&
              (found->Units.Power != units.Power || found->Units.UnitOut != units.UnitOut ||
               found->Units.UnitItem != units.UnitItem)) {
            ambiguous = true;
            break;
          }
          if (!found) {
            found = TResultOrigin{p.File, static_cast<int>(r), units, false};
            std::error_code ec_project, ec_file;
            const auto project_time = fs::last_write_time(NativeFsPath(p.File), ec_project);
            const auto file_time = fs::last_write_time(file, ec_file);
            found->ChangedSince = !ec_project && !ec_file && project_time > file_time;
          }
        }
      }
    }
    if (!ambiguous) out[i] = std::move(found);
  }
  return out;
}

TViewerUnits ViewerUnits(const TSpectrumSettings& settings) {
  return {settings.SpectrumType == TSpectrumType::kPower, settings.UnitOut,
          UnitItemOfFactor(settings.UnitCoef)};
}

std::string RecordResultPath(const TProject& project, const TResultFolders& folders, int index,
                             bool hv) {
  const TFileRecord& record = project.Records.at(static_cast<size_t>(index));
  return hv ? RatioFilePath(folders, record) : PrimaryResultPath(project, folders, record);
}

bool ShowRecordResult(TSpectrumView& view, const TProject& project, const TResultFolders& folders,
                      int index, bool hv, UiHost& host) {
  view.CurrentIndex = index;
  view.RecordCount = static_cast<int>(project.Records.size());
  const std::string path = RecordResultPath(project, folders, index, hv);
  if (hv) return ShowRatioFile(view, path, true, host);
  const TViewerUnits units =
      ViewerUnits(project.SettingsFor(project.Records[static_cast<size_t>(index)]));
  if (!ShowSpectrumFile(view, path, units.Power, units.UnitOut, units.UnitItem, host)) {
    return false;
  }
  if (units.Power) ShowNoiseModels(view, units.UnitItem, units.UnitOut);
  return true;
}

TRecordResultBrowser::TRecordResultBrowser(TProject& project, const TResultFolders& folders,
                                           bool hv, UiHost& host)
    : project_(project), folders_(folders), hv_(hv), host_(host) {}

int& TRecordResultBrowser::Stored(int index) {
  TFileRecord& r = project_.Records[static_cast<size_t>(index)];
  return hv_ ? r.SelNakIndex : r.SelIndex;
}

// A viewer without a chosen entry (nothing chosen, or a cleared chart) has nothing to store:
// the record keeps the selection it has.
void TRecordResultBrowser::StoreSelection(int index, int selection) {
  if (index < 0 || index >= static_cast<int>(project_.Records.size()) || selection < 0) return;
  int& stored = Stored(index);
  if (stored == selection) return;
  stored = selection;
  project_.Modified = true;
}

bool TRecordResultBrowser::Open(int index, TSpectrumView& view) {
  if (index < 0 || index >= static_cast<int>(project_.Records.size())) return false;
  if (!Exists(RecordResultPath(project_, folders_, index, hv_))) {
    host_.ShowError(MakeStatus(TCode::kFileDoesNotExist));
    return false;
  }
  current_ = index;
  ShowRecordResult(view, project_, folders_, index, hv_, host_);
  view.FixChecked = false;
  view.FixEnabled = true;
  SetSelection(view, Stored(index));
  return true;
}

void TRecordResultBrowser::Navigate(int index, TSpectrumView& view) {
  if (index < 0 || index >= static_cast<int>(project_.Records.size())) return;
  const int selection = view.Selection;
  StoreSelection(current_, selection);
  current_ = index;
  const std::string path = RecordResultPath(project_, folders_, index, hv_);
  if (Exists(path)) {
    ShowRecordResult(view, project_, folders_, index, hv_, host_);
  } else {
    view.CurrentIndex = index;
    view.RecordCount = static_cast<int>(project_.Records.size());
    ClearChart(view);
    view.Caption = path + " - Файл не существует";
    UpdateNavigation(view);
  }
  if (view.FixChecked) StoreSelection(index, selection);
  SetSelection(view, Stored(index));
}

void TRecordResultBrowser::Close(const TSpectrumView& view) {
  StoreSelection(current_, view.Selection);
}

std::vector<std::string> BeginComparison(const std::vector<TComparisonEntry>& entries,
                                         UiHost& host) {
  host.SetOperation(MakeStatus(TCode::kLoadingSpectra));
  std::vector<std::string> paths;
  for (const TComparisonEntry& e : entries) {
    if (e.Checked) paths.push_back(e.Path);
  }
  if (paths.empty()) host.ShowMessage(MakeStatus(TCode::kNothingToShow));
  return paths;
}

bool ShowTogether(TSpectrumView& view, const std::vector<std::string>& paths, bool hv,
                  const TViewerUnits& units, UiHost& host) {
  const bool shown =
      ShowSpectrumFiles(view, paths, units.Power, units.UnitOut, units.UnitItem, host);
  if (hv) {
    view.LeftTitle = kRatioAxisTitle;
    view.IntegrationEnabled = false;
  }
  host.SetOperation(MakeStatus(TCode::kSpectraLoaded));
  return shown;
}

bool ShowComparisonAverage(TSpectrumView& view, const std::vector<std::string>& paths,
                           const std::string& output, bool median, const TViewerUnits& units,
                           UiHost& host) {
  const bool written =
      ShowAverage(view, paths, output, units.Power, units.UnitOut, units.UnitItem, median, host);
  host.SetOperation(MakeStatus(TCode::kSpectraLoaded));
  return written;
}

}  // namespace tarvik
