#pragma once

// TSpcForm: the spectrum viewer window. It draws a TSpectrumView (viewers/spectrum_chart.h) and
// forwards what the user does to it; every rule lives in the core.
//
// How the main window uses it:
//
//   TSpcForm form(this);
//   TRecordResultBrowser browser(project, folders, /*hv=*/false, host);   // project/result_view.h
//   if (!browser.Open(index, form.view())) return;                        // "Файл не существует"
//   form.setNavigationCallback([&](int i) { browser.Navigate(i, form.view()); });
//   form.refresh();
//   form.exec();
//   browser.Close(form.view());                                           // stores the selection
//
// or, for the comparison tab: ShowTogether / ShowComparisonAverage on form.view(), then
// refresh() and exec(). The show* members below do the same for one operation at a time.

#include <QDialog>
#include <QSize>
#include <functional>
#include <string>
#include <vector>

#include "common/ui_host.h"
#include "records/record_model.h"
#include "response/response_model.h"
#include "viewers/band_amplitudes.h"
#include "viewers/spectrum_chart.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QCPItemStraightLine;
class QCPLayerable;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QMouseEvent;
class QPushButton;
class QTableWidget;

namespace tarvik::gui {

class SwatchStrip;

class TSpcForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSpcForm(QWidget* parent = nullptr);
  ~TSpcForm() override;

  // The model the window draws. After changing it, call refresh().
  TSpectrumView& View() { return view_; }
  const TSpectrumView& View() const { return view_; }
  // Redraws everything from the model: caption, check list, chart, controls.
  void Refresh();

  // "Предыдущий" and "Следующий" call back with the record index they ask for (current ∓ 1);
  // the callee moves the model (TRecordResultBrowser::Navigate) and the window redraws after it.
  void SetNavigationCallback(std::function<void(int)> callback);

  // Where the window's file dialogs (save the chart, open H/V statistics) start: the open
  // project's folder.
  void SetStartFolder(const QString& folder) { start_folder_ = folder; }

  // The choice list "Выбрать": the chosen entry, -1 for none.
  int Selection() const { return view_.Selection; }
  void SetSelection(int index);
  // "Зафиксировать выбор".
  bool FixSelection() const { return view_.FixChecked; }
  void SetFixSelection(bool checked, bool enabled = true);

  // One viewer operation followed by refresh(); the result of the operation.
  bool ShowSpectrumFile(const std::string& path, bool power, int unit_out, int unit_item,
                        UiHost& host);
  bool ShowSpectrumFiles(const std::vector<std::string>& paths, bool power, int unit_out,
                         int unit_item, UiHost& host);
  bool ShowRatioFile(const std::string& path, bool hv, UiHost& host);
  bool ShowAverage(const std::vector<std::string>& paths, const std::string& output, bool power,
                   int unit_out, int unit_item, bool median, UiHost& host);
  void ShowNoiseModels(int unit_item, int unit_out);
  // A ".hv" file of the per-window H/V statistics with its companions; the side panel lists
  // the criteria. False when nothing could be shown.
  bool ShowHvsrResult(const std::string& path, UiHost& host);
  // A noise-statistics result (the JSON document of psd-stats) as the density chart `plot`
  // draws; the reason when it cannot be shown (the view is then unchanged), Ok otherwise.
  TStatus ShowPsdStats(const std::string& path);
  TStatus ShowResponses(const TFileRecord& record, int mode, double fmax, double fmin);

  // Runs one of the band-amplitude dialogs of the popup menu (item 0 standard bands, 1 a given
  // band, 2 the current window), as the menu does.
  void RunBandDialog(TBandMeasure measure, int item);

  // Saves the chart as PNG or PDF (by the extension), size pixels (the chart's own size when
  // empty), without the crosshair; false when it cannot be written.
  bool SaveChart(const QString& path, QSize size = QSize());

  QCustomPlot* Plot() const { return plot_; }
  QListWidget* CheckList() const { return list_; }
  QMenu* PopupMenu() const { return popup_; }
  // The side panel (hidden when the view has none), its table and the notes under it.
  QWidget* SidePanel() const { return panel_; }
  QTableWidget* PanelTable() const { return panel_table_; }
  QLabel* PanelNotes() const { return panel_notes_; }

 private:
  void BuildMenu();
  void RedrawChart();
  void FillPanel();
  void SyncControls();
  void OnItemChanged(QListWidgetItem* item);
  void OnMouseMove(QMouseEvent* event);
  void Navigate(int delta);
  void SaveChartAs();
  void OpenHvsrResultAs();
  void OpenPsdStatsAs();

  TSpectrumView view_;
  std::function<void(int)> navigate_;
  std::vector<QCPLayerable*> layers_;
  bool updating_ = false;

  QCustomPlot* plot_ = nullptr;
  QListWidget* list_ = nullptr;
  SwatchStrip* swatches_ = nullptr;
  QComboBox* choices_ = nullptr;
  QCheckBox* fix_ = nullptr;
  QCheckBox* log_x_ = nullptr;
  QCheckBox* log_y_ = nullptr;
  QPushButton* prev_ = nullptr;
  QPushButton* next_ = nullptr;
  QLabel* readout_ = nullptr;
  QWidget* panel_ = nullptr;
  QLabel* panel_title_ = nullptr;
  QTableWidget* panel_table_ = nullptr;
  QLabel* panel_notes_ = nullptr;
  QMenu* popup_ = nullptr;
  QMenu* integration_ = nullptr;
  QCPItemStraightLine* cross_x_ = nullptr;
  QCPItemStraightLine* cross_y_ = nullptr;
  QString start_folder_;
};

// Draws the whole viewer window showing view (check list, controls and chart), width × height
// pixels, into a PNG file; false with the reason in error when the file cannot be written.
bool RenderViewerWindow(const TSpectrumView& view, const std::string& path, int width, int height,
                        std::string& error);

}  // namespace tarvik::gui
