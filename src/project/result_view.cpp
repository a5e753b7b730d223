#include "project/result_view.h"

#include <filesystem>
#include <system_error>

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

}  // namespace

TViewerUnits ViewerUnits(const TSpectrumSettings& settings) {
  return {settings.SpectrumType == 1, settings.UnitOut, UnitItemOfFactor(settings.UnitCoef)};
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
    host_.ShowMessage("Файл не существует");
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
  host.SetOperation("Загрузка спектров");
  std::vector<std::string> paths;
  for (const TComparisonEntry& e : entries) {
    if (e.Checked) paths.push_back(e.Path);
  }
  if (paths.empty()) host.ShowMessage(kNothingToShow);
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
  host.SetOperation("Спектры загружены");
  return shown;
}

bool ShowComparisonAverage(TSpectrumView& view, const std::vector<std::string>& paths,
                           const std::string& output, bool median, const TViewerUnits& units,
                           UiHost& host) {
  const bool written =
      ShowAverage(view, paths, output, units.Power, units.UnitOut, units.UnitItem, median, host);
  host.SetOperation("Спектры загружены");
  return written;
}

}  // namespace tarvik
