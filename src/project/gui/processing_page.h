#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "project/app_shell.h"
#include "project/driver.h"
#include "spectral/psd_run.h"

class QAction;
class QCheckBox;
class QDoubleSpinBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace tarvik::gui {

class TMainForm;
class TForAllCheckBox;

// The processing page ("Обработка"): primary spectra, H/V spectra and the comparison of result
// files, the runs of the calculation driver on a worker thread, and the viewer on their results.
class TProcessingPage final : public QWidget {
  Q_OBJECT

 public:
  explicit TProcessingPage(TMainForm& form, QWidget* parent = nullptr);

  void RebuildPrimList();
  void RebuildNakList();
  void ShowNakList(const TRecordListModel& model);
  void RebuildVarList();
  // The noise-statistics list: an entry per record; its checks live in the window only.
  void RebuildPsdList();
  // The comparison list named the files of the project before: it is built again on request.
  void ClearComparison();
  // Every list's "for all" box cleared (the project was closed).
  void ClearChecks();
  // Its lists' part of what the enabled states depend on.
  void FillIdleInputs(TIdleInputs& in) const;
  void ApplyStates(const TIdleStates& s);

 signals:
  void RunFinished();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FillCheckList(QListWidget* list, const std::vector<std::string>& entries,
                     const std::vector<bool>& checked);
  void UpdateForAllBox(QListWidget* list, TForAllCheckBox* box);
  void ForAllClicked(QListWidget* list, TForAllCheckBox* box, int kind);
  void ListItemChanged(QListWidgetItem* item, int kind);
  void Mask(QListWidget* list, TForAllCheckBox* box, int kind);
  void StartRun(bool hv, int start, bool only);
  void FinishRun(bool hv, const TProject& ran, const TRunReport& report);
  // The H/V list runs and shows the per-window H/V statistics instead of the ratio of spectra.
  bool HvsrChosen() const;
  void StartPsdRun();
  void FinishPsdRun(const TPsdRunReport& report, const std::string& store);
  int SelectedRow(QListWidget* list) const;
  // The viewer on the selected record's primary (or H/V) result, moving through the records.
  void ShowResult(bool hv);
  // The viewer on the selected record's H/V statistics, moving through the records'.
  void ShowHvsrResult();
  // The checked files of the comparison list: 0 together, 1 average, 2 median.
  void ShowComparison(int what);

  TMainForm& form_;
  TAppShell& shell_;
  // The lists are being filled from the project: their change handlers do not write back.
  bool reloading_ = false;

  QTabWidget* processing_tabs_ = nullptr;
  QListWidget* prim_list_ = nullptr;
  TForAllCheckBox* prim_check_ = nullptr;
  QPushButton* prim_calc_button_ = nullptr;
  QPushButton* prim_mask_button_ = nullptr;
  QPushButton* prim_show_button_ = nullptr;
  QListWidget* nak_list_ = nullptr;
  TForAllCheckBox* nak_check_ = nullptr;
  QPushButton* nak_calc_button_ = nullptr;
  QPushButton* nak_mask_button_ = nullptr;
  QPushButton* nak_show_button_ = nullptr;
  QCheckBox* hvsr_check_ = nullptr;
  QListWidget* psd_list_ = nullptr;
  TForAllCheckBox* psd_check_ = nullptr;
  QPushButton* psd_calc_button_ = nullptr;
  QPushButton* psd_mask_button_ = nullptr;
  QDoubleSpinBox* psd_segment_spin_ = nullptr;
  std::vector<char> psd_checked_;
  QListWidget* var_list_ = nullptr;
  TForAllCheckBox* var_check_ = nullptr;
  QRadioButton* abs_radio_ = nullptr;
  QRadioButton* rel_radio_ = nullptr;
  QPushButton* var_mask_button_ = nullptr;
  QPushButton* var_show_button_ = nullptr;
  QPushButton* var_average_button_ = nullptr;
  QPushButton* var_median_button_ = nullptr;
  std::vector<QAction*> list_popup_actions_;
};

}  // namespace tarvik::gui
