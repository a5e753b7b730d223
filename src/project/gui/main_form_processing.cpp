// The processing page: primary spectra, H/V spectra and the comparison of result files, with the
// runs of the calculation driver on a worker thread.

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "common/ui_host.h"
#include "project/gui/background_run.h"
#include "project/gui/for_all_check_box.h"
#include "project/gui/main_form.h"
#include "project/gui/qt_ui_host.h"

namespace tarvik::gui {

namespace {

enum ListKind { kPrimaryList = 0, kHVList = 1, kVariationList = 2 };

QPushButton* Button(QWidget* parent, const char* caption, const char* name) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(name);
  return b;
}

QListWidget* CheckList(QWidget* parent, const char* name) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setUniformItemSizes(true);
  return list;
}

}  // namespace

QWidget* TMainForm::CreateProcessingPage() {
  auto* page = new QWidget(this);
  page->setObjectName("ProcessingPage");
  auto* layout = new QVBoxLayout(page);
  processing_tabs_ = new QTabWidget(page);
  processing_tabs_->setObjectName("ProcessingTabs");
  layout->addWidget(processing_tabs_);

  // One tab per record list: the list, its "for all" box and its buttons.
  auto record_tab = [&](const char* title, const char* list_name, const char* check_name,
                        const char* calc_name, const char* mask_name, const char* show_name,
                        QListWidget*& list, TForAllCheckBox*& box, QPushButton*& calc,
                        QPushButton*& mask, QPushButton*& show, int kind) {
    auto* tab = new QWidget(processing_tabs_);
    auto* grid = new QGridLayout(tab);
    list = CheckList(tab, list_name);
    list->setToolTip(kHVListHint);
    box = new TForAllCheckBox("Для всех", tab);
    box->setObjectName(check_name);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    calc = Button(tab, kRunCaption, calc_name);
    mask = Button(tab, "М а с к а", mask_name);
    show = Button(tab, "П о к а з а т ь", show_name);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(calc);
    buttons->addWidget(mask);
    buttons->addWidget(show);
    buttons->addStretch(1);
    grid->addWidget(box, 0, 0);
    grid->addWidget(list, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->setRowStretch(1, 1);
    processing_tabs_->addTab(tab, QString::fromUtf8(title));

    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    QAction* from_current = new QAction("Расчет, начиная с текущего", list);
    from_current->setObjectName(QString(list_name) + "FromCurrent");
    QAction* current_only = new QAction("Расчет текущего спектра", list);
    current_only->setObjectName(QString(list_name) + "CurrentOnly");
    list->addAction(from_current);
    list->addAction(current_only);
    list_popup_actions_.push_back(from_current);
    list_popup_actions_.push_back(current_only);
    const bool hv = kind == kHVList;
    connect(from_current, &QAction::triggered, this,
            [this, hv, list] { StartRun(hv, SelectedRow(list), false); });
    connect(current_only, &QAction::triggered, this, [this, hv, list] {
      const int row = SelectedRow(list);
      if (row >= 0) StartRun(hv, row, true);
    });
    connect(calc, &QPushButton::clicked, this, [this, hv] { StartRun(hv, 0, false); });
    connect(show, &QPushButton::clicked, this, [this, hv] { ShowResult(hv); });
    connect(list, &QListWidget::itemDoubleClicked, this, [this, hv] { ShowResult(hv); });
    connect(list, &QListWidget::itemChanged, this,
            [this, kind](QListWidgetItem* item) { ListItemChanged(item, kind); });
    connect(list, &QListWidget::itemSelectionChanged, this, &TMainForm::ScheduleIdleUpdate);
    QListWidget* l = list;
    TForAllCheckBox* b = box;
    connect(box, &QCheckBox::clicked, this, [this, l, b, kind] { ForAllClicked(l, b, kind); });
    connect(mask, &QPushButton::clicked, this, [this, l, b, kind] { Mask(l, b, kind); });
  };
  record_tab("Обычные спектры", "PrimListBox", "PrimCheckBox", "PrimCalcButton", "PrimMaskButton",
             "PrimShowButton", prim_list_, prim_check_, prim_calc_button_, prim_mask_button_,
             prim_show_button_, kPrimaryList);
  prim_list_->setToolTip(kHVListHint);
  record_tab("Спектры H/V", "NakListBox", "NakCheckBox", "NakCalcButton", "NakMaskButton",
             "NakShowButton", nak_list_, nak_check_, nak_calc_button_, nak_mask_button_,
             nak_show_button_, kHVList);

  // The comparison of result files.
  auto* tab = new QWidget(processing_tabs_);
  auto* grid = new QGridLayout(tab);
  auto* kinds = new QHBoxLayout;
  abs_radio_ = new QRadioButton("Обычные спектры", tab);
  abs_radio_->setObjectName("AbsRadioButton");
  rel_radio_ = new QRadioButton("Спектры H/V", tab);
  rel_radio_->setObjectName("RelRadioButton");
  abs_radio_->setChecked(true);
  kinds->addWidget(abs_radio_);
  kinds->addWidget(rel_radio_);
  kinds->addStretch(1);
  var_check_ = new TForAllCheckBox("Для всех спектров списка", tab);
  var_check_->setObjectName("VarCheckBox");
  var_check_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  var_list_ = CheckList(tab, "VarListBox");
  var_mask_button_ = Button(tab, "М а с к а", "VarMaskButton");
  var_show_button_ = Button(tab, "Показать графики", "VarShowButton");
  var_average_button_ = Button(tab, "Средний спектр", "VarAverSpcButton");
  var_median_button_ = Button(tab, "Медианный спектр", "VarMedianaSpcButton");
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b :
       {var_mask_button_, var_show_button_, var_average_button_, var_median_button_})
    buttons->addWidget(b);
  buttons->addStretch(1);
  grid->addLayout(kinds, 0, 0);
  grid->addWidget(var_check_, 1, 0);
  grid->addWidget(var_list_, 2, 0);
  grid->addLayout(buttons, 2, 1);
  grid->setRowStretch(2, 1);
  processing_tabs_->addTab(tab, "Вариации");
  connect(abs_radio_, &QRadioButton::clicked, this, &TMainForm::RebuildVarList);
  connect(rel_radio_, &QRadioButton::clicked, this, &TMainForm::RebuildVarList);
  connect(var_list_, &QListWidget::itemChanged, this,
          [this](QListWidgetItem* item) { ListItemChanged(item, kVariationList); });
  connect(var_check_, &QCheckBox::clicked, this,
          [this] { ForAllClicked(var_list_, var_check_, kVariationList); });
  connect(var_mask_button_, &QPushButton::clicked, this,
          [this] { Mask(var_list_, var_check_, kVariationList); });
  connect(var_show_button_, &QPushButton::clicked, this, [this] { ShowComparison(0); });
  connect(var_list_, &QListWidget::itemDoubleClicked, this, [this] { ShowComparison(0); });
  connect(var_average_button_, &QPushButton::clicked, this, [this] { ShowComparison(1); });
  connect(var_median_button_, &QPushButton::clicked, this, [this] { ShowComparison(2); });
  return page;
}

int TMainForm::SelectedRow(QListWidget* list) const {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.front());
}

void TMainForm::FillCheckList(QListWidget* list, const std::vector<std::string>& entries,
                              const std::vector<bool>& checked) {
  const int row = SelectedRow(list);
  const bool was_reloading = reloading_;
  reloading_ = true;
  list->setUpdatesEnabled(false);
  list->clear();
  for (size_t i = 0; i < entries.size(); ++i) {
    auto* item = new QListWidgetItem(Q(entries[i]));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(i < checked.size() && checked[i] ? Qt::Checked : Qt::Unchecked);
    list->addItem(item);
  }
  if (row >= 0 && row < list->count()) list->setCurrentRow(row);
  list->setUpdatesEnabled(true);
  reloading_ = was_reloading;
}

void TMainForm::UpdateForAllBox(QListWidget* list, TForAllCheckBox* box) {
  std::vector<bool> checked(static_cast<size_t>(list->count()));
  for (int i = 0; i < list->count(); ++i)
    checked[static_cast<size_t>(i)] = list->item(i)->checkState() == Qt::Checked;
  switch (CheckAllState(checked)) {
    case TCheckAllState::kChecked:
      box->setCheckState(Qt::Checked);
      break;
    case TCheckAllState::kPartial:
      box->setCheckState(Qt::PartiallyChecked);
      break;
    case TCheckAllState::kUnchecked:
      box->setCheckState(Qt::Unchecked);
      break;
  }
}

void TMainForm::RebuildPrimList() {
  const TRecordListModel model = BuildPrimaryList(shell_.Project());
  FillCheckList(prim_list_, model.Entries, model.Checked);
  UpdateForAllBox(prim_list_, prim_check_);
}

void TMainForm::RebuildNakList() {
  ShowNakList(BuildHVList(shell_.Project(), shell_.Folders()));
}

void TMainForm::ShowNakList(const TRecordListModel& model) {
  FillCheckList(nak_list_, model.Entries, model.Checked);
  nak_list_->setToolTip(Q(model.Hint));
  UpdateForAllBox(nak_list_, nak_check_);
}

void TMainForm::RebuildVarList() {
  std::vector<std::string> paths;
  std::vector<bool> checked;
  for (const TComparisonEntry& e :
       ComparisonFiles(shell_.Project(), shell_.Folders(), rel_radio_->isChecked())) {
    paths.push_back(e.Path);
    checked.push_back(e.Checked);
  }
  FillCheckList(var_list_, paths, checked);
  UpdateForAllBox(var_list_, var_check_);
  ScheduleIdleUpdate();
}

void TMainForm::ListItemChanged(QListWidgetItem* item, int kind) {
  if (reloading_) return;
  QListWidget* list = item->listWidget();
  const int row = list->row(item);
  const bool checked = item->checkState() == Qt::Checked;
  TFileRecords& records = shell_.Project().Records;
  if (kind != kVariationList && row >= 0 && static_cast<size_t>(row) < records.size()) {
    TFileRecord& r = records[static_cast<size_t>(row)];
    bool& flag = kind == kPrimaryList ? r.ToProcess : r.ToProcessNakamura;
    if (Busy()) {
      // A run works on the project: the mark goes back to what the record says.
      reloading_ = true;
      item->setCheckState(flag ? Qt::Checked : Qt::Unchecked);
      reloading_ = false;
      return;
    }
    flag = checked;
    MarkModified();
  }
  UpdateForAllBox(list, kind == kPrimaryList ? prim_check_
                        : kind == kHVList    ? nak_check_
                                             : var_check_);
}

void TMainForm::ForAllClicked(QListWidget* list, TForAllCheckBox* box, int kind) {
  const Qt::CheckState state = box->checkState();
  if (state == Qt::PartiallyChecked || Busy()) {
    UpdateForAllBox(list, box);
    return;
  }
  const bool on = state == Qt::Checked;
  reloading_ = true;
  for (int i = 0; i < list->count(); ++i)
    list->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  reloading_ = false;
  if (kind != kVariationList) {
    for (TFileRecord& r : shell_.Project().Records)
      (kind == kPrimaryList ? r.ToProcess : r.ToProcessNakamura) = on;
    MarkModified();
  }
  UpdateForAllBox(list, box);
}

void TMainForm::Mask(QListWidget* list, TForAllCheckBox* box, int kind) {
  if (Busy()) return;
  const auto text = AskText("Введите текст для поиска", QString());
  if (!text) return;
  const std::string& needle = *text;
  TFileRecords& records = shell_.Project().Records;
  bool changed = false;
  reloading_ = true;
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    if (!MaskMatches(item->text().toStdString(), needle)) continue;
    item->setCheckState(Qt::Checked);
    if (kind != kVariationList && static_cast<size_t>(i) < records.size()) {
      TFileRecord& r = records[static_cast<size_t>(i)];
      bool& flag = kind == kPrimaryList ? r.ToProcess : r.ToProcessNakamura;
      changed = changed || !flag;
      flag = true;
    }
  }
  reloading_ = false;
  if (changed) MarkModified();
  UpdateForAllBox(list, box);
}

// ---------------------------------------------------------------------------------------------
// Runs.

void TMainForm::StartRun(bool hv, int start, bool only) {
  bool& running = hv ? nak_running_ : prim_running_;
  if (running) {
    // The running button is the stop button.
    host_->RequestStop();
    return;
  }
  if (Busy()) return;
  if (hv) {
    RebuildNakList();
  } else if (!only) {
    RebuildPrimList();
  }
  // The run works on a copy of the project; the window refuses edits until it is over.
  auto ran = std::make_shared<TProject>(shell_.Project());
  auto report = std::make_shared<TRunReport>();
  const TResultFolders folders = shell_.Folders();
  TRunOptions options;
  options.Start = start;
  options.Only = only;
  // The run starts a new pass of the cache itself, so files changed since are read again.
  std::shared_ptr<HeaderCache> headers = headers_;
  options.Headers = headers.get();
  running = true;
  (hv ? nak_calc_button_ : prim_calc_button_)->setText(kStopCaption);
  host_->ClearStop();
  UpdateIdleStates();
  TQtUiHost* host = host_;
  runner_->Start(
      [ran, report, folders, options, host, hv, headers] {
        *report = hv ? tarvik::RunHV(*ran, folders, *host, options)
                     : tarvik::RunPrimary(*ran, folders, *host, options);
      },
      [this, ran, report, hv] { FinishRun(hv, *ran, *report); });
}

void TMainForm::FinishRun(bool hv, const TProject& ran, const TRunReport& report) {
  (hv ? nak_running_ : prim_running_) = false;
  (hv ? nak_calc_button_ : prim_calc_button_)->setText(kRunCaption);
  // Loading a record's samples corrects its rate and sample count, as it would in place.
  TFileRecords& records = shell_.Project().Records;
  if (records.size() == ran.Records.size()) {
    for (int i : report.Processed) {
      records[static_cast<size_t>(i)].SampRate = ran.Records[static_cast<size_t>(i)].SampRate;
      records[static_cast<size_t>(i)].SampleCount = ran.Records[static_cast<size_t>(i)].SampleCount;
    }
  }
  if (report.Problem > 0) {
    QListWidget* list = hv ? nak_list_ : prim_list_;
    if (report.Problem <= list->count()) list->setCurrentRow(report.Problem - 1);
  }
  UpdateIdleStates();
  // The records that failed, and what else the run has to say, in one message at its end.
  if (const std::string summary = RunSummaryText(ran, report); !summary.empty())
    host_->ShowMessage(summary);
  emit runFinished();
}

}  // namespace tarvik::gui
