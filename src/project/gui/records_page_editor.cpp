// The record editor of the records page: the fields of the selected records and of the channel
// chosen in the channel list, and the double-click actions of its captions. Every edit is the
// record editor core's; the editor shows what it says the selection holds.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "project/app_shell.h"
#include "project/gui/double_click_label.h"
#include "project/gui/file_dialogs.h"
#include "project/gui/main_form.h"
#include "project/gui/processing_page.h"
#include "project/gui/qt_ui_host.h"
#include "project/gui/records_page.h"
#include "response/load_response.h"

namespace tarvik::gui {

namespace {

Qt::CheckState CheckOf(TCheckState state) {
  switch (state) {
    case TCheckState::kChecked:
      return Qt::Checked;
    case TCheckState::kGrayed:
      return Qt::PartiallyChecked;
    case TCheckState::kUnchecked:
      break;
  }
  return Qt::Unchecked;
}

constexpr TResponseKind kKinds[] = {TResponseKind::kSensor, TResponseKind::kAmplifier,
                                    TResponseKind::kChannel};

// The response path behind a file field, which may show a label instead of the path.
constexpr char kResponsePathProperty[] = "responsePath";

// The path the field stands for: what the person typed, or else the path it was filled with.
std::string ShownResponsePath(const QLineEdit* edit) {
  if (edit->isModified()) return edit->text().toStdString();
  return edit->property(kResponsePathProperty).toString().toStdString();
}

}  // namespace

void TRecordsPage::CreateEditor(QWidget* parent) {
  editor_ = new QWidget(parent);
  editor_->setObjectName("RecordEditor");
  auto* layout = new QVBoxLayout(editor_);
  layout->setContentsMargins(0, 0, 0, 0);
  auto caption = [](const char* text, const char* name, QWidget* owner) {
    auto* label = new TDoubleClickLabel(QString::fromUtf8(text), owner);
    label->setObjectName(name);
    return label;
  };
  auto value = [](const char* name, QWidget* owner) {
    auto* label = new QLabel(owner);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
  };

  // The record: station, rate, its whole span and the part of it processed.
  auto* record_box = new QGroupBox("Запись", editor_);
  auto* grid = new QGridLayout(record_box);
  auto* station_caption = caption("Название пункта", "StationLabel", record_box);
  station_edit_ = new QLineEdit(record_box);
  station_edit_->setObjectName("StationEdit");
  station_edit_->setMaxLength(7);
  auto* rate_caption = caption("Оцифровка, Гц", "SampRateLabel", record_box);
  rate_label_ = value("SampRateText", record_box);
  event_check_ = new QCheckBox("Событие", record_box);
  event_check_->setObjectName("EventCheckBox");
  grid->addWidget(station_caption, 0, 0);
  grid->addWidget(station_edit_, 0, 1);
  grid->addWidget(event_check_, 0, 2);
  grid->addWidget(rate_caption, 1, 0);
  grid->addWidget(rate_label_, 1, 1);
  auto* whole_caption = caption("Общее", "WholeLabel", record_box);
  auto* start_caption = caption("Начало", "StartLabel", record_box);
  auto* finish_caption = caption("Конец", "FinishLabel", record_box);
  start_label_ = value("StartText", record_box);
  finish_label_ = value("FinishText", record_box);
  length_label_ = value("RecordLengthText", record_box);
  grid->addWidget(whole_caption, 2, 0);
  grid->addWidget(length_label_, 2, 1);
  grid->addWidget(start_caption, 3, 0);
  grid->addWidget(start_label_, 3, 1, 1, 2);
  grid->addWidget(finish_caption, 4, 0);
  grid->addWidget(finish_label_, 4, 1, 1, 2);
  sel_start_edit_ = new QLineEdit(record_box);
  sel_start_edit_->setObjectName("SelStartEdit");
  sel_finish_edit_ = new QLineEdit(record_box);
  sel_finish_edit_->setObjectName("SelFinishEdit");
  sel_length_label_ = value("SelectionLengthText", record_box);
  grid->addWidget(new QLabel("Выбранная часть", record_box), 5, 0);
  grid->addWidget(sel_length_label_, 5, 1);
  grid->addWidget(new QLabel("Начало", record_box), 6, 0);
  grid->addWidget(sel_start_edit_, 6, 1, 1, 2);
  grid->addWidget(new QLabel("Конец", record_box), 7, 0);
  grid->addWidget(sel_finish_edit_, 7, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  layout->addWidget(record_box);

  // The channels: their check marks, and the fields of the one chosen.
  auto* channels_box = new QGroupBox("Каналы", editor_);
  auto* channels_layout = new QHBoxLayout(channels_box);
  channel_list_ = new QListWidget(channels_box);
  channel_list_->setObjectName("ChannelCheckListBox");
  channel_list_->setMaximumWidth(110);
  channel_list_->setContextMenuPolicy(Qt::ActionsContextMenu);
  rename_action_ = new QAction("Переименовать", channel_list_);
  rename_action_->setObjectName("RenameChannelAction");
  channel_list_->addAction(rename_action_);
  channels_layout->addWidget(channel_list_);
  channel_box_ = new QWidget(channels_box);
  auto* cgrid = new QGridLayout(channel_box_);
  cgrid->setContentsMargins(0, 0, 0, 0);
  axis_combo_ = new QComboBox(channel_box_);
  axis_combo_->setObjectName("AxisComBox");
  for (char c : kComponentItems) axis_combo_->addItem(QString(QChar(c)));
  level_spin_ = new QSpinBox(channel_box_);
  level_spin_->setObjectName("LevelSpinEdit");
  // 0 is no level: the selected records' levels differ (shown empty).
  level_spin_->setRange(0, std::numeric_limits<int>::max());
  level_spin_->setSpecialValueText(" ");
  level_spin_->setKeyboardTracking(false);
  auto* adc_caption = caption("Коэф. АЦП", "AdcLabel", channel_box_);
  adc_label_ = value("AdcText", channel_box_);
  cgrid->addWidget(new QLabel("Компонента", channel_box_), 0, 0);
  cgrid->addWidget(axis_combo_, 0, 1);
  cgrid->addWidget(new QLabel("Допустимый уровень", channel_box_), 1, 0);
  cgrid->addWidget(level_spin_, 1, 1);
  cgrid->addWidget(adc_caption, 2, 0);
  cgrid->addWidget(adc_label_, 2, 1);
  const char* response_captions[] = {"Файл с ЧХ датчика", "Файл с ЧХ усилителя",
                                     "Файл с ЧХ канала (датчик и усилитель)"};
  const char* response_names[] = {"Sensor", "Amplifier", "Channel"};
  for (int kind = 0; kind < 3; ++kind) {
    const QString name = response_names[kind];
    auto* label =
        caption(response_captions[kind], qPrintable(name + "FilenameLabel"), channel_box_);
    auto* edit = new QLineEdit(channel_box_);
    edit->setObjectName(name + "FilenameEdit");
    auto* browse = new QPushButton("...", channel_box_);
    browse->setObjectName(name + "BrowseButton");
    browse->setMaximumWidth(32);
    auto* all = new QPushButton("*", channel_box_);
    all->setObjectName(name + "AllButton");
    all->setToolTip("Для всех каналов выделенных записей");
    all->setMaximumWidth(32);
    response_edits_[static_cast<size_t>(kind)] = edit;
    response_browse_[static_cast<size_t>(kind)] = browse;
    response_all_[static_cast<size_t>(kind)] = all;
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(browse);
    row->addWidget(all);
    cgrid->addWidget(label, 3 + 2 * kind, 0, 1, 2);
    cgrid->addLayout(row, 4 + 2 * kind, 0, 1, 2);
    connect(label, &TDoubleClickLabel::DoubleClicked, this, [this, kind] { UnitTemplate(kind); });
    connect(edit, &QLineEdit::editingFinished, this, [this, kind] { ResponseEdited(kind); });
    connect(browse, &QPushButton::clicked, this, [this, kind] { BrowseResponse(kind); });
    connect(all, &QPushButton::clicked, this, [this, kind] {
      AfterEdit(SetResponseFile(shell_.Project(), SelectedRecords(), kAllChannels, kKinds[kind],
                                ShownResponsePath(response_edits_[static_cast<size_t>(kind)])),
                false);
    });
  }
  cgrid->setRowStretch(9, 1);
  channels_layout->addWidget(channel_box_, 1);
  layout->addWidget(channels_box, 1);

  // Edits made by the person only: the code's own filling runs with reloading_ set.
  connect(station_edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (reloading_) return;
    AfterEdit(SetStation(shell_.Project(), SelectedRecords(), text.toStdString()), true);
  });
  connect(sel_start_edit_, &QLineEdit::editingFinished, this,
          [this] { SelectionTimeEdited(false); });
  connect(sel_finish_edit_, &QLineEdit::editingFinished, this,
          [this] { SelectionTimeEdited(true); });
  connect(event_check_, &QCheckBox::clicked, this, [this] {
    AfterEdit(
        SetIsEvent(shell_.Project(), SelectedRecords(), event_check_->checkState() == Qt::Checked),
        true);
  });
  connect(channel_list_, &QListWidget::currentRowChanged, this, [this] {
    if (!reloading_) FillChannelFields();
  });
  connect(channel_list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (reloading_) return;
    // A grayed mark (the records differ) is not applied.
    if (item->checkState() == Qt::PartiallyChecked) return;
    AfterEdit(SetChannelSelected(shell_.Project(), SelectedRecords(), channel_list_->row(item),
                                 item->checkState() == Qt::Checked),
              false);
  });
  connect(axis_combo_, &QComboBox::activated, this, [this](int axis) {
    AfterEdit(SetComponent(shell_.Project(), SelectedRecords(), EditorChannel(), axis), true);
  });
  connect(level_spin_, &QSpinBox::valueChanged, this, [this](int level) {
    if (reloading_ || level < 1) return;
    AfterEdit(SetLevel(shell_.Project(), SelectedRecords(), EditorChannel(), level), false);
  });
  connect(rename_action_, &QAction::triggered, this, &TRecordsPage::RenameChannelClicked);
  connect(station_caption, &TDoubleClickLabel::DoubleClicked, this,
          [this] { CopyToClipboard(false); });
  connect(whole_caption, &TDoubleClickLabel::DoubleClicked, this,
          [this] { CopyToClipboard(true); });
  connect(start_caption, &TDoubleClickLabel::DoubleClicked, this, [this] { AskRecordTime(false); });
  connect(finish_caption, &TDoubleClickLabel::DoubleClicked, this, [this] { AskRecordTime(true); });
  connect(rate_caption, &TDoubleClickLabel::DoubleClicked, this, &TRecordsPage::AskRate);
  connect(adc_caption, &TDoubleClickLabel::DoubleClicked, this, &TRecordsPage::AskAdc);
}

int TRecordsPage::EditorChannel() const {
  return channel_list_->currentRow();
}

void TRecordsPage::FillEditor() {
  if (editor_ == nullptr) return;
  const TEditorView view =
      EditorView(shell_.Project(), SelectedRecords(), CurrentRecord(), EditorChannel());
  const bool was_reloading = reloading_;
  reloading_ = true;
  // A field keeps its cursor while the person types into it.
  const auto set_text = [](QLineEdit* edit, const std::string& text) {
    if (edit->text() != Q(text)) edit->setText(Q(text));
  };
  set_text(station_edit_, view.Station);
  rate_label_->setText(Q(view.SampRate));
  event_check_->setTristate(view.IsEvent == TCheckState::kGrayed);
  event_check_->setCheckState(CheckOf(view.IsEvent));
  start_label_->setText(Q(view.Start));
  finish_label_->setText(Q(view.Finish));
  length_label_->setText(Q(view.RecordLength));
  set_text(sel_start_edit_, view.SelectStart);
  set_text(sel_finish_edit_, view.SelectFinish);
  sel_length_label_->setText(Q(view.SelectionLength));

  // The channel lines, the chosen one kept where the record still has it.
  const int channel = EditorChannel();
  const bool same_lines = channel_list_->count() == static_cast<int>(view.Channels.size());
  if (!same_lines) {
    channel_list_->clear();
    for (size_t c = 0; c < view.Channels.size(); ++c) channel_list_->addItem(QString());
  }
  for (int c = 0; c < channel_list_->count(); ++c) {
    QListWidgetItem* item = channel_list_->item(c);
    const TEditorChannelLine& line = view.Channels[static_cast<size_t>(c)];
    item->setText(Q(line.Name));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(CheckOf(line.Check));
  }
  if (channel_list_->count() > 0)
    channel_list_->setCurrentRow(channel >= 0 && channel < channel_list_->count() ? channel : 0);
  reloading_ = was_reloading;
  FillChannelFields();
  if (!view.Enabled) {
    // Nothing selected: the editor shows nothing.
    reloading_ = true;
    channel_list_->clear();
    reloading_ = was_reloading;
  }
  form_.ScheduleIdleUpdate();
}

void TRecordsPage::FillChannelFields() {
  const TEditorView view =
      EditorView(shell_.Project(), SelectedRecords(), CurrentRecord(), EditorChannel());
  const bool was_reloading = reloading_;
  reloading_ = true;
  axis_combo_->setCurrentIndex(view.Axis);
  level_spin_->setValue(view.Level.empty() ? 0 : QString::fromStdString(view.Level).toInt());
  adc_label_->setText(Q(view.AdcCoef));
  const std::string* paths[] = {&view.SensorResp, &view.AmplifierResp, &view.ChannelResp};
  for (size_t kind = 0; kind < 3; ++kind) {
    // A channel of a station inventory shows by its code; the path itself is kept beside.
    QLineEdit* edit = response_edits_[kind];
    edit->setText(Q(ResponsePathLabel(*paths[kind])));
    // The beginning is what tells the channel or file apart when the field is narrow.
    edit->setCursorPosition(0);
    edit->setProperty(kResponsePathProperty, Q(*paths[kind]));
    edit->setToolTip(Q(*paths[kind]));
    edit->setModified(false);
  }
  reloading_ = was_reloading;
}

void TRecordsPage::AfterEdit(const TRecordOpResult& result, bool lists) {
  if (!result.Done) {
    if (!result.Status.Ok()) form_.Host().ShowMessage(result.Status);
    FillEditor();
    return;
  }
  // Station, selection, component and IsEvent show in the processing lists (file names, the
  // H/V pairs).
  if (lists) {
    form_.ProcessingPage().RebuildPrimList();
    form_.ProcessingPage().RebuildNakList();
  }
  FillEditor();
  if (!result.Warnings.empty()) form_.Host().ShowWarning(JoinedWarnings(result.Warnings));
}

void TRecordsPage::SelectionTimeEdited(bool finish) {
  QLineEdit* edit = finish ? sel_finish_edit_ : sel_start_edit_;
  if (reloading_ || !edit->isModified()) return;
  edit->setModified(false);
  TProject& project = shell_.Project();
  const TSelection selection = SelectedRecords();
  const std::string text = edit->text().toStdString();
  TRecordOpResult result =
      finish ? SetSelectFinish(project, selection, text) : SetSelectStart(project, selection, text);
  // A selection typed to the millisecond is kept to the second, as the text project keeps it,
  // so that its result files are found again after a save and a reopen.
  if (result.Done) {
    for (int i : NormalizeSelection(project, selection))
      KeepSelectionAtStoredPrecision(project.Records[static_cast<size_t>(i)]);
  }
  AfterEdit(result, true);
}

void TRecordsPage::ResponseEdited(int kind) {
  QLineEdit* edit = response_edits_[static_cast<size_t>(kind)];
  if (reloading_ || !edit->isModified()) return;
  edit->setModified(false);
  AfterEdit(SetResponseFile(shell_.Project(), SelectedRecords(), EditorChannel(), kKinds[kind],
                            edit->text().toStdString()),
            false);
}

void TRecordsPage::BrowseResponse(int kind) {
  if (form_.Busy() || EditorChannel() < 0) return;
  QLineEdit* edit = response_edits_[static_cast<size_t>(kind)];
  const auto choice = AskFile(this, TFileAsk("Выберите файл с ЧХ")
                                        .Filter(kResponseFileFilter)
                                        .In(Q(shell_.Project().Folder))
                                        .Proposing(Q(ShownResponsePath(edit))));
  if (!choice) return;
  AfterEdit(SetResponseFile(shell_.Project(), SelectedRecords(), EditorChannel(), kKinds[kind],
                            choice->First().toStdString()),
            false);
}

void TRecordsPage::UnitTemplate(int kind) {
  if (form_.Busy() || SelectedRecords().empty()) return;
  const int channel = EditorChannel();
  const int current = CurrentRecord();
  if (channel < 0 || current < 0) {
    form_.Host().ShowMessage(MakeStatus(TCode::kNoChannelChosen));
    return;
  }
  const TFileRecord& record = shell_.Project().Records[static_cast<size_t>(current)];
  const std::string name =
      channel < record.ChannelCount() ? record.Channels[channel].Channel : std::string();
  const TUnitTemplateDialog dialog = UnitTemplateDialog(kKinds[kind], name);
  const auto choice = AskFile(this, TFileAsk(Q(dialog.Title))
                                        .Save()
                                        .Filter(kUnitTemplateFilter)
                                        .In(Q(shell_.Project().Folder))
                                        .Proposing(Q(dialog.Proposed)));
  if (!choice) return;
  AfterEdit(AssignUnitTemplate(shell_.Project(), SelectedRecords(), current, channel, kKinds[kind],
                               choice->First().toStdString()),
            false);
}

void TRecordsPage::RenameChannelClicked() {
  const int channel = EditorChannel();
  if (form_.Busy() || channel < 0 || SelectedRecords().empty()) return;
  const auto name = form_.AskText(kRenamePrompt, channel_list_->item(channel)->text());
  if (!name) return;
  AfterEdit(RenameChannel(shell_.Project(), SelectedRecords(), channel, *name), true);
}

void TRecordsPage::CopyToClipboard(bool times) {
  const TSelection selection = SelectedRecords();
  if (selection.empty()) return;
  const TProject& project = shell_.Project();
  QApplication::clipboard()->setText(Q(times ? TimeSpansClipboardText(project, selection)
                                             : StationsClipboardText(project, selection)));
  form_.Host().ShowMessage(ClipboardMessage(static_cast<int>(selection.size())));
}

void TRecordsPage::AskRecordTime(bool finish) {
  if (form_.Busy()) return;
  const int current = CurrentRecordOr(TCode::kNoRecordSelected);
  if (current < 0) return;
  const auto text = form_.AskText(finish ? kFinishPrompt : kStartPrompt,
                                  (finish ? finish_label_ : start_label_)->text());
  if (!text) return;
  TProject& project = shell_.Project();
  AfterEdit(
      finish ? SetRecordFinish(project, current, *text) : SetRecordStart(project, current, *text),
      true);
}

void TRecordsPage::AskRate() {
  if (form_.Busy()) return;
  const int current = CurrentRecordOr(TCode::kNoRecordSelected);
  if (current < 0) return;
  const auto text = form_.AskText(
      kRatePrompt,
      QString::number(shell_.Project().Records[static_cast<size_t>(current)].SampRate));
  if (!text) return;
  AfterEdit(SetSamplingRate(shell_.Project(), SelectedRecords(), current, *text), true);
}

void TRecordsPage::AskAdc() {
  if (form_.Busy()) return;
  const int channel = EditorChannel();
  const int current = CurrentRecord();
  if (current < 0 || channel < 0) {
    form_.Host().ShowMessage(MakeStatus(TCode::kNoRecordsOrChannel));
    return;
  }
  const auto text = form_.AskText(kAdcPrompt, adc_label_->text());
  if (!text) return;
  AfterEdit(SetAdcCoefficient(shell_.Project(), SelectedRecords(), current, channel, *text), false);
}

}  // namespace tarvik::gui
