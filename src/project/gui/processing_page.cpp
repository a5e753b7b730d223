// The processing page: primary spectra, H/V spectra and the comparison of result files, with the
// runs of the calculation driver on a worker thread and the viewer on their results.

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <filesystem>
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
#include "spectral/hv_export.h"
#include "spectral/hv_peak.h"
#include "viewers/gui/spc_form.h"
#include "viewers/hvsr_show.h"

namespace tarvik::gui {

namespace {

// Kinds of list; also the tabs' order, but for the noise statistics, added last.
enum ListKind { kPrimaryList = 0, kHVList = 1, kVariationList = 2, kPsdList = 3 };

// The classic ratio chart's series: E/Z, N/Z and H/Z, each followed by its spread.
constexpr size_t kHZSeries = 4;

// Marks f0 and A0 of the H/Z curve of a classic ratio chart with a dashed vertical line from
// the bottom of the curve up to the peak, titled with both values, so that the check list
// tells them; the search band is the one of the H/V statistics. Nothing when H/Z has no peak.
void MarkRatioPeak(TSpectrumView& view, const THvsrSettings& settings) {
  if (view.Series.size() <= kHZSeries) return;
  const TChartSeries& hz = view.Series[kHZSeries];
  const TRatioPeak peak = FindRatioPeak(hz.X, hz.Y, settings.BandFMin, settings.BandFMax);
  if (!peak.Found) return;
  double low = peak.A0;
  for (double v : hz.Y) {
    if (v > 0.0 && v < low) low = v;
  }
  TChartSeries mark;
  char title[96];
  std::snprintf(title, sizeof title, "H/Z: f0 = %#.3g Гц, A0 = %#.3g", peak.F0, peak.A0);
  mark.Title = title;
  mark.Color = hz.Color;
  mark.Dashed = true;
  mark.Width = 1.5;
  mark.FitsAxes = false;
  mark.Add(peak.F0, low);
  mark.Add(peak.F0, peak.A0);
  view.Series.push_back(std::move(mark));
}

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
                        QPushButton*& mask, QPushButton*& show, int kind) -> QGridLayout* {
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
    return grid;
  };
  record_tab("Обычные спектры", "PrimListBox", "PrimCheckBox", "PrimCalcButton", "PrimMaskButton",
             "PrimShowButton", prim_list_, prim_check_, prim_calc_button_, prim_mask_button_,
             prim_show_button_, kPrimaryList);
  prim_list_->setToolTip(kHVListHint);
  QGridLayout* hv_grid = record_tab("Спектры H/V", "NakListBox", "NakCheckBox", "NakCalcButton",
                                    "NakMaskButton", "NakShowButton", nak_list_, nak_check_,
                                    nak_calc_button_, nak_mask_button_, nak_show_button_, kHVList);
  // The same records, the same buttons: either the ratio of their spectra or the statistics of
  // H/V over the windows of each record (the ".hv" file with its criteria).
  hvsr_check_ = new QCheckBox("Статистика по окнам", hv_grid->parentWidget());
  hvsr_check_->setObjectName("HvsrCheckBox");
  hvsr_check_->setToolTip(
      "Рассчитывать и показывать статистику H/V по окнам записи (f0, A0 и критерии) вместо "
      "отношения спектров");
  hv_grid->addWidget(hvsr_check_, 0, 1);
  connect(hvsr_check_, &QCheckBox::toggled, this, [this] { form_.ScheduleIdleUpdate(); });

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

  // The noise statistics: segment PSDs of the checked records into the results' PSD store.
  auto* psd_tab = new QWidget(processing_tabs_);
  auto* psd_grid = new QGridLayout(psd_tab);
  psd_check_ = new TForAllCheckBox("Для всех", psd_tab);
  psd_check_->setObjectName("PsdCheckBox");
  psd_check_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  psd_list_ = CheckList(psd_tab, "PsdListBox");
  psd_list_->setToolTip(
      "Отметьте записи, спектральные плотности мощности которых по сегментам нужно добавить в "
      "хранилище шумовой статистики (папка PSD результатов)");
  psd_calc_button_ = Button(psd_tab, kRunCaption, "PsdCalcButton");
  psd_mask_button_ = Button(psd_tab, "М а с к а", "PsdMaskButton");
  psd_segment_spin_ = new QDoubleSpinBox(psd_tab);
  psd_segment_spin_->setObjectName("PsdSegmentSpinEdit");
  psd_segment_spin_->setDecimals(0);
  psd_segment_spin_->setRange(1.0, 86400.0);
  psd_segment_spin_->setValue(TPsdSettings{}.SegmentSeconds);
  psd_segment_spin_->setToolTip("Длина сегмента, с; сегменты перекрываются наполовину");
  auto* psd_buttons = new QVBoxLayout;
  psd_buttons->addWidget(psd_calc_button_);
  psd_buttons->addWidget(psd_mask_button_);
  psd_buttons->addWidget(new QLabel("Сегмент, с", psd_tab));
  psd_buttons->addWidget(psd_segment_spin_);
  psd_buttons->addStretch(1);
  psd_grid->addWidget(psd_check_, 0, 0);
  psd_grid->addWidget(psd_list_, 1, 0);
  psd_grid->addLayout(psd_buttons, 1, 1);
  psd_grid->setRowStretch(1, 1);
  processing_tabs_->addTab(psd_tab, "Шумовая статистика");
  connect(psd_calc_button_, &QPushButton::clicked, this, &TProcessingPage::StartPsdRun);
  connect(psd_list_, &QListWidget::itemChanged, this,
          [this](QListWidgetItem* item) { ListItemChanged(item, kPsdList); });
  connect(psd_check_, &QCheckBox::clicked, this,
          [this] { ForAllClicked(psd_list_, psd_check_, kPsdList); });
  connect(psd_mask_button_, &QPushButton::clicked, this,
          [this] { Mask(psd_list_, psd_check_, kPsdList); });
}

bool TProcessingPage::HvsrChosen() const {
  return hvsr_check_->isChecked();
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
  psd_check_->setCheckState(Qt::Unchecked);
  psd_checked_.clear();
  RebuildPsdList();
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
                         static_cast<QCheckBox*>(var_check_), static_cast<QCheckBox*>(psd_check_)})
    box->setEnabled(s.CheckLists);
  // The noise run is its own stop button; it runs when nothing else does.
  psd_calc_button_->setEnabled(form_.Work().PsdRunning || s.CheckLists);
  psd_mask_button_->setEnabled(s.CheckLists && psd_list_->count() > 0);
  psd_segment_spin_->setEnabled(s.CheckLists);
  hvsr_check_->setEnabled(s.CheckLists);
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
  RebuildPsdList();
}

void TProcessingPage::RebuildPsdList() {
  const TFileRecords& records = shell_.Project().Records;
  psd_checked_.resize(records.size(), 0);
  std::vector<std::string> entries;
  std::vector<bool> checked;
  for (size_t i = 0; i < records.size(); ++i) {
    entries.push_back(PrimaryEntryText(records[i]));
    checked.push_back(psd_checked_[i] != 0);
  }
  FillCheckList(psd_list_, entries, checked);
  UpdateForAllBox(psd_list_, psd_check_);
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
  if (kind == kPsdList) {
    if (row >= 0 && static_cast<size_t>(row) < psd_checked_.size()) {
      if (form_.Busy()) {
        reloading_ = true;
        item->setCheckState(psd_checked_[static_cast<size_t>(row)] ? Qt::Checked : Qt::Unchecked);
        reloading_ = false;
        return;
      }
      psd_checked_[static_cast<size_t>(row)] = checked;
    }
    UpdateForAllBox(list, psd_check_);
    return;
  }
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
  if (kind == kPsdList) {
    std::fill(psd_checked_.begin(), psd_checked_.end(), on ? 1 : 0);
  } else if (kind != kVariationList) {
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
    if (kind == kPsdList && static_cast<size_t>(i) < psd_checked_.size()) {
      psd_checked_[static_cast<size_t>(i)] = 1;
    } else if (kind != kVariationList && kind != kPsdList &&
               static_cast<size_t>(i) < records.size()) {
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
  if (hv && HvsrChosen()) {
    // The statistics of the records checked for H/V, with the project's H/V statistics
    // settings (checked by the run itself, which refuses settings it cannot use).
    THvsrRunOptions hvsr;
    hvsr.Settings = ran->Hvsr;
    form_.Runner().Start(
        [ran, report, folders, options, host, hvsr, headers] {
          *report = std::move(tarvik::RunHvsr(*ran, folders, *host, options, hvsr).Run);
        },
        [this, ran, report] { FinishRun(true, *ran, *report); });
    return;
  }
  form_.Runner().Start(
      [ran, report, folders, options, host, hv, headers] {
        *report = hv ? tarvik::RunHV(*ran, folders, *host, options)
                     : tarvik::RunPrimary(*ran, folders, *host, options);
      },
      [this, ran, report, hv] { FinishRun(hv, *ran, *report); });
}

void TProcessingPage::StartPsdRun() {
  bool& running = form_.Work().PsdRunning;
  if (running) {
    form_.Host().RequestStop();
    return;
  }
  if (form_.Busy()) return;
  RebuildPsdList();
  TPsdRunOptions options;
  options.Settings.SegmentSeconds = psd_segment_spin_->value();
  TStatus why;
  if (!CheckPsdSettings(options.Settings, &why)) {
    form_.Host().ShowMessage(why);
    return;
  }
  auto records = std::make_shared<std::vector<TFileRecord>>();
  std::vector<std::string> labels;
  const TFileRecords& all = shell_.Project().Records;
  for (size_t i = 0; i < all.size() && i < psd_checked_.size(); ++i) {
    if (!psd_checked_[i]) continue;
    records->push_back(all[i]);
    labels.push_back(
        Text(MakeStatus(TCode::kPsdRecordLabel, {std::to_string(i + 1), all[i].Station}),
             form_.Host().Language()));
  }
  if (records->empty()) {
    form_.Host().ShowMessage(MakeStatus(TCode::kPsdNoRecordChecked));
    return;
  }
  options.DefaultRate = shell_.Project().General.SampRateDefault;
  std::shared_ptr<HeaderCache> headers = form_.SharedHeaders();
  options.Headers = headers.get();
  const std::string store = (std::filesystem::path(shell_.Folders().Results) / "PSD").string();
  auto report = std::make_shared<TPsdRunReport>();
  running = true;
  psd_calc_button_->setText(kStopCaption);
  form_.Host().ClearStop();
  form_.UpdateIdleStates();
  TQtUiHost* host = &form_.Host();
  form_.Runner().Start(
      [records, labels, store, options, host, report, headers] {
        *report = tarvik::RunPsd(*records, labels, store, options, *host);
      },
      [this, report, store] { FinishPsdRun(*report, store); });
}

void TProcessingPage::FinishPsdRun(const TPsdRunReport& report, const std::string& store) {
  form_.Work().PsdRunning = false;
  psd_calc_button_->setText(kRunCaption);
  form_.UpdateIdleStates();
  const TLanguage language = form_.Host().Language();
  std::string text = Text(
      MakeStatus(report.Stopped ? TCode::kPsdRunStoppedNote : TCode::kPsdRunDoneNote), language);
  text +=
      "\n" + Text(MakeStatus(TCode::kPsdRunSummary,
                             {store, std::to_string(report.Computed), std::to_string(report.Kept),
                              std::to_string(report.Skipped), std::to_string(report.DaysWritten),
                              std::to_string(report.DaysUnchanged)}),
                  language);
  for (const TStatus& e : report.Errors) text += "\n" + Text(e, language);
  form_.Host().ShowMessage(text);
  emit RunFinished();
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
  emit RunFinished();
}

// ---------------------------------------------------------------------------------------------
// The viewer on results.

void TProcessingPage::ShowResult(bool hv) {
  if (hv && HvsrChosen()) {
    ShowHvsrResult();
    return;
  }
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
  if (!browser.Open(row, viewer.View())) return;
  const THvsrSettings& band = shell_.Project().Hvsr;
  if (hv) MarkRatioPeak(viewer.View(), band);
  viewer.SetNavigationCallback([&viewer, &browser, hv, &band](int index) {
    browser.Navigate(index, viewer.View());
    if (hv) MarkRatioPeak(viewer.View(), band);
  });
  viewer.Refresh();
  viewer.exec();
  viewer.SetNavigationCallback({});
  // The selection made in the viewer is kept with the record (the project is then modified).
  browser.Close(viewer.View());
  form_.ScheduleIdleUpdate();
}

void TProcessingPage::ShowHvsrResult() {
  const int row = SelectedRow(nak_list_);
  const TFileRecords& records = shell_.Project().Records;
  if (row < 0 || static_cast<size_t>(row) >= records.size() || form_.Work().PreviewLoading) return;
  const TResultFolders folders = shell_.Folders();
  const int count = static_cast<int>(records.size());
  const std::string path = HvsrFilePaths(folders, records[static_cast<size_t>(row)]).Hv;
  if (!QFileInfo::exists(Q(path))) {
    form_.Host().ShowMessage("Файл статистики H/V не найден:\n" + path +
                             "\n\nВыполните расчет: флажок «Статистика по окнам» и кнопка "
                             "«Р а с ч е т» на вкладке «Спектры H/V».");
    return;
  }
  TSpcForm& viewer = form_.Viewer();
  // Record index's statistics, or an empty chart naming the missing file; Prev/Next follow the
  // records of the project.
  auto show = [&viewer, &records, folders, count, this](int index) {
    if (index < 0 || index >= count) return;
    TSpectrumView& view = viewer.View();
    const std::string file = HvsrFilePaths(folders, records[static_cast<size_t>(index)]).Hv;
    if (QFileInfo::exists(Q(file))) {
      tarvik::ShowHvsrResult(view, file, form_.Host());
    } else {
      ClearChart(view);
      view.Caption = file + " - Файл не существует";
    }
    view.CurrentIndex = index;
    view.RecordCount = count;
    UpdateNavigation(view);
  };
  show(row);
  viewer.SetNavigationCallback(show);
  viewer.Refresh();
  viewer.exec();
  viewer.SetNavigationCallback({});
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
    shown = ShowTogether(viewer.View(), paths, hv, units, form_.Host());
  } else {
    const bool median = what == 2;
    const auto choice = AskFile(this, TFileAsk(median ? "Медианный спектр" : "Средний спектр")
                                          .Save()
                                          .Filter(kAverageFileFilter)
                                          .In(Q(shell_.Folders().Results))
                                          .Proposing(median ? kMedianFileName : kAverageFileName));
    if (!choice) return;
    shown = ShowComparisonAverage(viewer.View(), paths, choice->First().toStdString(), median,
                                  units, form_.Host());
  }
  if (!shown) return;
  viewer.Refresh();
  viewer.exec();
}

}  // namespace tarvik::gui
