#pragma once

// The processing page's side of the spectrum viewer: which result file shows a record, what
// "Предыдущий"/"Следующий" do to the record's stored selection, and the comparison of several
// result files (together, average, median). The main window calls these and shows the viewer;
// the viewer window draws the TSpectrumView they fill.

#include <optional>
#include <string>
#include <vector>

#include "common/ui_host.h"
#include "project/driver.h"
#include "project/project.h"
#include "spectral/result_files.h"
#include "viewers/spectrum_chart.h"

namespace tarvik {

// How the viewer labels spectra: power or amplitude, the output quantity and the unit item.
struct TViewerUnits {
  bool Power = false;
  int UnitOut = kVelocity;
  int UnitItem = 0;
};
// The units of a settings set (SpectrumType, UnitOut, and the item of UnitCoef).
TViewerUnits ViewerUnits(const TSpectrumSettings& settings);

// Where a result file came from: the project and record whose result it is, and the units of
// the settings set that record is computed with.
struct TResultOrigin {
  std::string Project;
  int Record = -1;  // from 0
  TViewerUnits Units;
  // The project file was written after the result file: its settings, and so Units, may not be
  // those the file was computed with.
  bool ChangedSince = false;
};

// The origin of each file of paths, or nullopt where none is found. A record's result lies in
// the Primary or Nakamura folder under Spectra or Events of its project's results folder; the
// projects looked at are the project files (.tvp) in that results folder and in the folder
// above it, and a file's origin is the record whose primary or H/V result path, as its
// project's settings name it now, is that file. Files elsewhere (an average the user saved)
// have none, and so does a file that projects with different units would all write.
std::vector<std::optional<TResultOrigin>> FindResultOrigins(const std::vector<std::string>& paths);

// The result file shown for record index: its primary file (power or amplitude by its settings
// set), or its H/V file when hv.
std::string RecordResultPath(const TProject& project, const TResultFolders& folders, int index,
                             bool hv);

// Shows the result of record index in view: ShowSpectrumFile followed, for power spectra, by
// the noise models; or ShowRatioFile for H/V. The view's record index and count are set first,
// so that Prev/Next follow them. False when the file is missing or damaged (told through host).
bool ShowRecordResult(TSpectrumView& view, const TProject& project, const TResultFolders& folders,
                      int index, bool hv, UiHost& host);

// A viewer opened on the records' results ("П о к а з а т ь" or a double click on a record
// list) and moved through them by the navigation callback. The record's stored selection is
// SelIndex for primary results and SelNakIndex for H/V results.
class TRecordResultBrowser {
 public:
  TRecordResultBrowser(TProject& project, const TResultFolders& folders, bool hv, UiHost& host);

  // Shows record index: false with "Файл не существует" when its result file does not exist
  // (the viewer is then not to be opened). Otherwise "Зафиксировать выбор" is unchecked and
  // enabled and the choice list set to the record's stored selection.
  bool Open(int index, TSpectrumView& view);

  // The navigation callback: the current selection is stored with the record shown so far; the
  // record at index is shown (or, when its file does not exist, the chart is cleared and the
  // caption reads PATH + " - Файл не существует"); with "Зафиксировать выбор" checked the same
  // selection is stored with the new record too; then the choice list takes the new record's
  // stored selection. An index outside the records is ignored.
  void Navigate(int index, TSpectrumView& view);

  // When the viewer closes: its selection is stored with the record shown.
  void Close(const TSpectrumView& view);

  int Current() const { return current_; }

 private:
  void StoreSelection(int index, int selection);
  int& Stored(int index);

  TProject& project_;
  const TResultFolders& folders_;
  bool hv_;
  UiHost& host_;
  int current_ = -1;
};

// The save dialog of the comparison tab: the names it proposes and its filter.
inline constexpr char kAverageFileName[] = "aver_spectrum.dat";
inline constexpr char kMedianFileName[] = "median_spectrum.dat";
inline constexpr char kAverageFileFilter[] = "Данные ASCII (*.dat)|*.dat|Все файлы|*.*";

// Starts a comparison: status panel 0 "Загрузка спектров", then the checked entries' paths in
// list order. With none checked the user is told "Нечего показывать!" and the list is empty.
std::vector<std::string> BeginComparison(const std::vector<TComparisonEntry>& entries,
                                         UiHost& host);

// "Показать графики": the files in one chart (H/V files titled as ratios), then status panel 0
// "Спектры загружены". False when a file could not be shown.
bool ShowTogether(TSpectrumView& view, const std::vector<std::string>& paths, bool hv,
                  const TViewerUnits& units, UiHost& host);

// "Средний спектр" / "Медианный спектр": the average or median of the files, written to output,
// then status panel 0 "Спектры загружены". False when nothing was written.
bool ShowComparisonAverage(TSpectrumView& view, const std::vector<std::string>& paths,
                           const std::string& output, bool median, const TViewerUnits& units,
                           UiHost& host);

}  // namespace tarvik
