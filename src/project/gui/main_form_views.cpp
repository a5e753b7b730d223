// The windows the main window opens on a project: the spectrum viewer on result files and on
// response files, and the waveform preview of a record.

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "common/ui_host.h"
#include "project/gui/file_dialogs.h"
#include "project/gui/main_form.h"
#include "project/gui/qt_ui_host.h"
#include "project/result_view.h"
#include "viewers/gui/preview_form.h"
#include "viewers/gui/spc_form.h"
#include "viewers/preview_show.h"

namespace tarvik::gui {

void TMainForm::ShowResult(bool hv) {
  QListWidget* list = hv ? nak_list_ : prim_list_;
  const int row = SelectedRow(list);
  if (row < 0 || preview_loading_) return;
  TRecordResultBrowser browser(shell_.Project(), shell_.Folders(), hv, *host_);
  if (!browser.Open(row, viewer_->view())) return;
  viewer_->setNavigationCallback(
      [this, &browser](int index) { browser.Navigate(index, viewer_->view()); });
  viewer_->refresh();
  viewer_->exec();
  viewer_->setNavigationCallback({});
  // The selection made in the viewer is kept with the record (the project is then modified).
  browser.Close(viewer_->view());
  ScheduleIdleUpdate();
}

void TMainForm::ShowComparison(int what) {
  std::vector<TComparisonEntry> entries;
  for (int i = 0; i < var_list_->count(); ++i) {
    QListWidgetItem* item = var_list_->item(i);
    entries.push_back({item->text().toStdString(), item->checkState() == Qt::Checked});
  }
  const std::vector<std::string> paths = BeginComparison(entries, *host_);
  if (paths.empty()) return;
  const bool hv = rel_radio_->isChecked();
  const TViewerUnits units = ViewerUnits(ShownSettings());
  bool shown = false;
  if (what == 0) {
    shown = ShowTogether(viewer_->view(), paths, hv, units, *host_);
  } else {
    const bool median = what == 2;
    const auto choice = AskFile(this, TFileAsk(median ? "Медианный спектр" : "Средний спектр")
                                          .Save()
                                          .Filter(kAverageFileFilter)
                                          .In(Q(shell_.Folders().Results))
                                          .Proposing(median ? kMedianFileName : kAverageFileName));
    if (!choice) return;
    shown = ShowComparisonAverage(viewer_->view(), paths, choice->First().toStdString(), median,
                                  units, *host_);
  }
  if (!shown) return;
  viewer_->refresh();
  viewer_->exec();
}

void TMainForm::ShowResponses(int mode) {
  const int current = CurrentRecord();
  if (current < 0) return;
  const TFileRecord& record = shell_.Project().Records[static_cast<size_t>(current)];
  const TResponseStatus status =
      viewer_->showResponses(record, mode, 0.0, ResponseViewFMin(shell_.Project(), record));
  if (!status) {
    host_->ShowMessage(status.message);
    return;
  }
  viewer_->exec();
}

void TMainForm::ShowRecordClicked() {
  // A second click while the record loads stops the load.
  if (preview_->Loading()) {
    host_->RequestStop();
    return;
  }
  const int current = CurrentRecord();
  if (current < 0 || Busy()) return;
  TProject& project = shell_.Project();
  TFileRecord record = project.Records[static_cast<size_t>(current)];
  TPreviewOptions options;
  options.Settings = project.SettingsFor(record);
  options.DefaultRate = project.General.SampRateDefault;
  preview_loading_ = true;
  UpdateIdleStates();
  // The person's clicks run while the record loads, so that the stop button is seen; everything
  // that edits the project is off meanwhile.
  host_->SetUserInput(true);
  const TShowRecordOutcome outcome =
      preview_->ShowRecord(record, options, *host_, [this](bool loading) {
        show_record_button_->setText(loading ? kStopLoadingCaption : kShowRecordCaption);
      });
  host_->SetUserInput(false);
  preview_loading_ = false;
  show_record_button_->setText(kShowRecordCaption);
  if (outcome == TShowRecordOutcome::kAccepted &&
      static_cast<size_t>(current) < project.Records.size()) {
    // The interval set with the mouse is kept to the second, as a text project keeps it.
    KeepSelectionAtStoredPrecision(record);
    project.Records[static_cast<size_t>(current)] = record;
    project.Modified = true;
    RebuildPrimList();
    RebuildNakList();
    FillEditor();
  }
  UpdateIdleStates();
}

}  // namespace tarvik::gui
