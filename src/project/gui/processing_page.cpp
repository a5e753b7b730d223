// The processing page: primary spectra, H/V spectra and the comparison of result files, with the
// runs of the calculation driver on a worker thread and the viewer on their results.

#include <QAction>
#include <QFileInfo>
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
#include "project/gui/file_dialogs.h"
#include "project/gui/for_all_check_box.h"
#include "project/gui/main_form.h"
#include "project/gui/processing_page.h"
#include "project/gui/qt_ui_host.h"
#include "project/gui/settings_pages.h"
#include "project/result_view.h"
#include "project/window_rules.h"
#include "viewers/gui/spc_form.h"

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

TProcessingPage::TProcessingPage(TMainForm& form, QWidget* parent)
    : QWidget(parent), form_(form), shell_(form.Shell()) {
  setObjectName("ProcessingPage");
  auto* layout = new QVBoxLayout(this);
  processing_tabs_ = new QTabWidget(this);
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
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { form_.ScheduleIdleUpdate(); });
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
  // The comparison list names the result files on disk: it is built whenever it comes into view.
  connect(processing_tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == kVariationList) RebuildVarList();
  });
  connect(abs_radio_, &QRadioButton::clicked, this, &TProcessingPage::RebuildVarList);
  connect(rel_radio_, &QRadioButton::clicked, this, &TProcessingPage::RebuildVarList);
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
}

void TProcessingPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (processing_tabs_->currentIndex() == kVariationList) RebuildVarList();
}

void TProcessingPage::ClearComparison() {
  var_list_->clear();
}

void TProcessingPage::ClearChecks() {
  prim_check_->setCheckState(Qt::Unchecked);
  nak_check_->setCheckState(Qt::Unchecked);
  var_check_->setCheckState(Qt::Unchecked);
}

void TProcessingPage::FillIdleInputs(TIdleInputs& in) const {
  in.PrimEntries = prim_list_->count();
  in.PrimSelected = SelectedRow(prim_list_) >= 0;
  in.NakEntries = nak_list_->count();
  in.NakSelected = SelectedRow(nak_list_) >= 0;
}

void TProcessingPage::ApplyStates(const TIdleStates& s) {
  prim_calc_button_->setEnabled(s.PrimCalc);
  nak_calc_button_->setEnabled(s.NakCalc);
  prim_show_button_->setEnabled(s.PrimShow);
  nak_show_button_->setEnabled(s.NakShow);
  for (QPushButton* b : {var_show_button_, var_average_button_, var_median_button_})
    b->setEnabled(s.VarShow);
  prim_mask_button_->setEnabled(s.PrimMask);
  nak_mask_button_->setEnabled(s.NakMask);
  var_mask_button_->setEnabled(s.CheckLists && var_list_->count() > 0);
  for (QCheckBox* box : {static_cast<QCheckBox*>(prim_check_), static_cast<QCheckBox*>(nak_check_),
                         static_cast<QCheckBox*>(var_check_)})
    box->setEnabled(s.CheckLists);
  for (QAction* a : list_popup_actions_) a->setEnabled(s.CheckLists);
}

int TProcessingPage::SelectedRow(QListWidget* list) const {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.front());
}

void TProcessingPage::FillCheckList(QListWidget* list, const std::vector<std::string>& entries,
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

void TProcessingPage::UpdateForAllBox(QListWidget* list, TForAllCheckBox* box) {
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

void TProcessingPage::RebuildPrimList() {
  const TRecordListModel model = BuildPrimaryList(shell_.Project());
  FillCheckList(prim_list_, model.Entries, model.Checked);
  UpdateForAllBox(prim_list_, prim_check_);
}

void TProcessingPage::RebuildNakList() {
  ShowNakList(BuildHVList(shell_.Project(), shell_.Folders()));
}

void TProcessingPage::ShowNakList(const TRecordListModel& model) {
  FillCheckList(nak_list_, model.Entries, model.Checked);
  nak_list_->setToolTip(Q(model.Hint));
  UpdateForAllBox(nak_list_, nak_check_);
}

void TProcessingPage::RebuildVarList() {
  std::vector<std::string> paths;
  std::vector<bool> checked;
  for (const TComparisonEntry& e :
       ComparisonFiles(shell_.Project(), shell_.Folders(), rel_radio_->isChecked())) {
    paths.push_back(e.Path);
    checked.push_back(e.Checked);
  }
  FillCheckList(var_list_, paths, checked);
  UpdateForAllBox(var_list_, var_check_);
  form_.ScheduleIdleUpdate();
}

void TProcessingPage::ListItemChanged(QListWidgetItem* item, int kind) {
  if (reloading_) return;
  QListWidget* list = item->listWidget();
  const int row = list->row(item);
  const bool checked = item->checkState() == Qt::Checked;
  TFileRecords& records = shell_.Project().Records;
  if (kind != kVariationList && row >= 0 && static_cast<size_t>(row) < records.size()) {
    TFileRecord& r = records[static_cast<size_t>(row)];
    bool& flag = kind == kPrimaryList ? r.ToProcess : r.ToProcessNakamura;
    if (form_.Busy()) {
      // A run works on the project: the mark goes back to what the record says.
      reloading_ = true;
      item->setCheckState(flag ? Qt::Checked : Qt::Unchecked);
      reloading_ = false;
      return;
    }
    flag = checked;
    form_.MarkModified();
  }
  UpdateForAllBox(list, kind == kPrimaryList ? prim_check_
                        : kind == kHVList    ? nak_check_
                                             : var_check_);
}

void TProcessingPage::ForAllClicked(QListWidget* list, TForAllCheckBox* box, int kind) {
  const Qt::CheckState state = box->checkState();
  if (state == Qt::PartiallyChecked || form_.Busy()) {
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
    form_.MarkModified();
  }
  UpdateForAllBox(list, box);
}

void TProcessingPage::Mask(QListWidget* list, TForAllCheckBox* box, int kind) {
  if (form_.Busy()) return;
  const auto text = form_.AskText("Введите текст для поиска", QString());
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
  if (changed) form_.MarkModified();
  UpdateForAllBox(list, box);
}

// ---------------------------------------------------------------------------------------------
// Runs.

void TProcessingPage::StartRun(bool hv, int start, bool only) {
  bool& running = hv ? form_.Work().NakRunning : form_.Work().PrimRunning;
  if (running) {
    // The running button is the stop button.
    form_.Host().RequestStop();
    return;
  }
  if (form_.Busy()) return;
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
  std::shared_ptr<HeaderCache> headers = form_.SharedHeaders();
  options.Headers = headers.get();
  running = true;
  (hv ? nak_calc_button_ : prim_calc_button_)->setText(kStopCaption);
  form_.Host().ClearStop();
  form_.UpdateIdleStates();
  TQtUiHost* host = &form_.Host();
  form_.Runner().Start(
      [ran, report, folders, options, host, hv, headers] {
        *report = hv ? tarvik::RunHV(*ran, folders, *host, options)
                     : tarvik::RunPrimary(*ran, folders, *host, options);
      },
      [this, ran, report, hv] { FinishRun(hv, *ran, *report); });
}

void TProcessingPage::FinishRun(bool hv, const TProject& ran, const TRunReport& report) {
  (hv ? form_.Work().NakRunning : form_.Work().PrimRunning) = false;
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
  form_.UpdateIdleStates();
  // The records that failed, and what else the run has to say, in one message at its end.
  if (const std::string summary = RunSummaryText(ran, report); !summary.empty())
    form_.Host().ShowMessage(summary);
  emit runFinished();
}

// ---------------------------------------------------------------------------------------------
// The viewer on results.

void TProcessingPage::ShowResult(bool hv) {
  QListWidget* list = hv ? nak_list_ : prim_list_;
  const int row = SelectedRow(list);
  if (row < 0 || form_.Work().PreviewLoading) return;
  if (const std::string path = RecordResultPath(shell_.Project(), shell_.Folders(), row, hv);
      !QFileInfo::exists(Q(path))) {
    form_.Host().ShowMessage(NoResultText(path, hv));
    return;
  }
  TSpcForm& viewer = form_.Viewer();
  TRecordResultBrowser browser(shell_.Project(), shell_.Folders(), hv, form_.Host());
  if (!browser.Open(row, viewer.view())) return;
  viewer.setNavigationCallback(
      [&viewer, &browser](int index) { browser.Navigate(index, viewer.view()); });
  viewer.refresh();
  viewer.exec();
  viewer.setNavigationCallback({});
  // The selection made in the viewer is kept with the record (the project is then modified).
  browser.Close(viewer.view());
  form_.ScheduleIdleUpdate();
}

void TProcessingPage::ShowComparison(int what) {
  std::vector<TComparisonEntry> entries;
  for (int i = 0; i < var_list_->count(); ++i) {
    QListWidgetItem* item = var_list_->item(i);
    entries.push_back({item->text().toStdString(), item->checkState() == Qt::Checked});
  }
  const std::vector<std::string> paths = BeginComparison(entries, form_.Host());
  if (paths.empty()) return;
  const bool hv = rel_radio_->isChecked();
  const TViewerUnits units = ViewerUnits(form_.SettingsPage().ShownSettings());
  TSpcForm& viewer = form_.Viewer();
  bool shown = false;
  if (what == 0) {
    shown = ShowTogether(viewer.view(), paths, hv, units, form_.Host());
  } else {
    const bool median = what == 2;
    const auto choice = AskFile(this, TFileAsk(median ? "Медианный спектр" : "Средний спектр")
                                          .Save()
                                          .Filter(kAverageFileFilter)
                                          .In(Q(shell_.Folders().Results))
                                          .Proposing(median ? kMedianFileName : kAverageFileName));
    if (!choice) return;
    shown = ShowComparisonAverage(viewer.view(), paths, choice->First().toStdString(), median,
                                  units, form_.Host());
  }
  if (!shown) return;
  viewer.refresh();
  viewer.exec();
}

}  // namespace tarvik::gui
