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
  TSpectrumView& view() { return view_; }
  const TSpectrumView& view() const { return view_; }
  // Redraws everything from the model: caption, check list, chart, controls.
  void refresh();

  // "Предыдущий" and "Следующий" call back with the record index they ask for (current ∓ 1);
  // the callee moves the model (TRecordResultBrowser::Navigate) and the window redraws after it.
  void setNavigationCallback(std::function<void(int)> callback);

  // Where the window's file dialogs (save the chart, open H/V statistics) start: the open
  // project's folder.
  void setStartFolder(const QString& folder) { start_folder_ = folder; }

  // The choice list "Выбрать": the chosen entry, -1 for none.
  int selection() const { return view_.Selection; }
  void setSelection(int index);
  // "Зафиксировать выбор".
  bool fixSelection() const { return view_.FixChecked; }
  void setFixSelection(bool checked, bool enabled = true);

  // One viewer operation followed by refresh(); the result of the operation.
  bool showSpectrumFile(const std::string& path, bool power, int unit_out, int unit_item,
                        UiHost& host);
  bool showSpectrumFiles(const std::vector<std::string>& paths, bool power, int unit_out,
                         int unit_item, UiHost& host);
  bool showRatioFile(const std::string& path, bool hv, UiHost& host);
  bool showAverage(const std::vector<std::string>& paths, const std::string& output, bool power,
                   int unit_out, int unit_item, bool median, UiHost& host);
  void showNoiseModels(int unit_item, int unit_out);
  // A ".hv" file of the per-window H/V statistics with its companions; the side panel lists
  // the criteria. False when nothing could be shown.
  bool showHvsrResult(const std::string& path, UiHost& host);
  // A noise-statistics result (the JSON document of psd-stats) as the density chart `plot`
  // draws; false, with the reason in error, when it cannot be shown (the view is then unchanged).
  bool showPsdStats(const std::string& path, std::string& error);
  TStatus showResponses(const TFileRecord& record, int mode, double fmax, double fmin);

  // Runs one of the band-amplitude dialogs of the popup menu (item 0 standard bands, 1 a given
  // band, 2 the current window), as the menu does.
  void runBandDialog(TBandMeasure measure, int item);

  // Saves the chart as PNG or PDF (by the extension), size pixels (the chart's own size when
  // empty), without the crosshair; false when it cannot be written.
  bool saveChart(const QString& path, QSize size = QSize());

  QCustomPlot* plot() const { return plot_; }
  QListWidget* checkList() const { return list_; }
  QMenu* popupMenu() const { return popup_; }
  // The side panel (hidden when the view has none), its table and the notes under it.
  QWidget* sidePanel() const { return panel_; }
  QTableWidget* panelTable() const { return panel_table_; }
  QLabel* panelNotes() const { return panel_notes_; }

 private:
  void buildMenu();
  void redrawChart();
  void fillPanel();
  void syncControls();
  void onItemChanged(QListWidgetItem* item);
  void onMouseMove(QMouseEvent* event);
  void navigate(int delta);
  void saveChartAs();
  void openHvsrResultAs();
  void openPsdStatsAs();

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
