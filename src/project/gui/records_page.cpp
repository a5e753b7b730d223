// The records page: the project's record list, adding files and folders, the operations on the
// selected records (paths, delete, combine, compress, split, clone, sort, channel-settings
// files) and the views of a record (waveform preview, responses).

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "common/paths.h"
#include "common/ui_host.h"
#include "project/channel_ini.h"
#include "project/gui/background_run.h"
#include "project/gui/file_dialogs.h"
#include "project/gui/main_form.h"
#include "project/gui/processing_page.h"
#include "project/gui/qt_ui_host.h"
#include "project/gui/record_table_model.h"
#include "project/gui/records_page.h"
#include "project/result_view.h"
#include "project/window_rules.h"
#include "records/header_cache.h"
#include "viewers/gui/preview_form.h"
#include "viewers/gui/spc_form.h"
#include "viewers/preview_show.h"

namespace tarvik::gui {

namespace {

// Selects rows of list in one step: runs of neighbours as one range each.
void SelectRows(QTableView* table, std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  QItemSelection selection;
  const int n = table->model()->rowCount();
  for (size_t i = 0; i < rows.size();) {
    size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    if (rows[i] >= 0 && rows[j] < n)
      selection.select(table->model()->index(rows[i], 0), table->model()->index(rows[j], 0));
    i = j + 1;
  }
  table->selectionModel()->select(selection,
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

TRecordsPage::TRecordsPage(TMainForm& form, QWidget* parent)
    : QWidget(parent), form_(form), shell_(form.Shell()) {
  setObjectName("RecordsPage");
  auto* layout = new QVBoxLayout(this);
  auto* tools = new QToolBar(this);
  tools->setObjectName("RecordsToolBar");
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto action = [&](const char* caption, const char* name, void (TRecordsPage::*slot)()) {
    QAction* a = tools->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  add_action_ = action("Добавить", "AddAction", &TRecordsPage::AddFilesClicked);
  add_folder_action_ = action("Из папки", "AddFolderAction", &TRecordsPage::AddFolderClicked);
  tools->addSeparator();
  change_path_action_ =
      action("Изменить путь", "ChangePathAction", &TRecordsPage::ChangePathClicked);
  change_file_action_ =
      action("Изменить имя файла", "ChangeFileAction", &TRecordsPage::ChangeFileClicked);
  delete_action_ = tools->addAction("Удалить");
  delete_action_->setObjectName("DeleteAction");
  connect(delete_action_, &QAction::triggered, this, [this] { DeleteClicked(false); });
  combine_action_ = tools->addAction("Объединить");
  combine_action_->setObjectName("CombineAction");
  connect(combine_action_, &QAction::triggered, this,
          [this] { AfterRecordOp(CombineRecords(shell_.Project(), SelectedRecords())); });
  compress_action_ = action("Сжать", "CompressAction", &TRecordsPage::CompressClicked);
  split_action_ = tools->addAction("Разделить каналы");
  split_action_->setObjectName("SplitAction");
  connect(split_action_, &QAction::triggered, this,
          [this] { AfterRecordOp(SplitChannels(shell_.Project(), SelectedRecords())); });
  clone_action_ = action("Создать копию записи", "CloneAction", &TRecordsPage::CloneClicked);
  tools->addSeparator();
  to_ini_action_ = action(" ЧХ в ", "ChannelsToFileAction", &TRecordsPage::ChannelsToFileClicked);
  from_ini_action_ =
      action("ЧХ из", "ChannelsFromFileAction", &TRecordsPage::ChannelsFromFileClicked);

  // "Сортировать": the six keys over the whole list or over the selection only.
  auto* sort_menu = new QMenu(this);
  sort_menu->setObjectName("SortMenu");
  for (bool all : {true, false}) {
    QMenu* sub = sort_menu->addMenu(all ? "Все записи" : "Выделенные записи");
    for (int key = 0; key < kSortKeyCount; ++key) {
      QAction* a = sub->addAction(Q(std::string(kSortKeyCaptions[static_cast<size_t>(key)])));
      a->setObjectName(QString(all ? "SortAll%1" : "SortSelected%1").arg(key));
      connect(a, &QAction::triggered, this,
              [this, all, key] { SortClicked(all, static_cast<TSortKey>(key)); });
    }
  }
  // An action of its own rather than a widget in the bar: a bar too narrow for it moves it to
  // its "››" menu with the other actions that do not fit.
  sort_action_ = tools->addAction("Сортировать");
  sort_action_->setObjectName("SortAction");
  sort_action_->setMenu(sort_menu);
  if (auto* button = qobject_cast<QToolButton*>(tools->widgetForAction(sort_action_))) {
    button->setObjectName("SortButton");
    button->setPopupMode(QToolButton::InstantPopup);
  }
  layout->addWidget(tools);

  auto* split = new QSplitter(Qt::Horizontal, this);
  auto* left = new QWidget(split);
  auto* left_layout = new QVBoxLayout(left);
  left_layout->setContentsMargins(0, 0, 0, 0);
  // The record table: the file (its end kept in view, the full path in the tooltip) and what
  // tells records apart; a click on a header sorts the records by that column.
  table_model_ = new TRecordTableModel(shell_, this);
  file_list_ = new QTableView(left);
  file_list_->setObjectName("FileListBox");
  file_list_->setModel(table_model_);
  file_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  file_list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  file_list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  file_list_->setTextElideMode(Qt::ElideLeft);
  file_list_->setWordWrap(false);
  file_list_->setShowGrid(false);
  file_list_->setAlternatingRowColors(true);
  file_list_->verticalHeader()->hide();
  // Fixed row heights and column widths: the view never measures every row of a long project.
  const QFontMetrics metrics(file_list_->font());
  file_list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  file_list_->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
  QHeaderView* header = file_list_->horizontalHeader();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setHighlightSections(false);
  header->setMinimumSectionSize(40);
  const char* widest[kRecordColumnCount] = {
      "",       "TVK01-10", "14.05.2024 00:00:00", "1сут. 00:00:00", "E N Z",
      "не все", "не все",   "спектр, H/V"};
  for (int c = 1; c < kRecordColumnCount; ++c) {
    const int text = metrics.horizontalAdvance(QString::fromUtf8(widest[c]));
    const int caption = metrics.horizontalAdvance(
        table_model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    header->resizeSection(c, std::max(text, caption) + 16);
  }
  header->resizeSection(0, 170);
  header->setStretchLastSection(true);
  file_list_->installEventFilter(this);
  left_layout->addWidget(file_list_, 1);

  // The views of the record: the waveform preview and the responses of its channels.
  auto* views = new QHBoxLayout;
  show_record_button_ = new QPushButton(kShowRecordCaption, left);
  show_record_button_->setObjectName("ShowRecordButton");
  views->addWidget(show_record_button_);
  const char* view_captions[] = {"ЧХД", "ЧХУ", "ЧХК", "ЧХТ"};
  for (int mode = 0; mode < 4; ++mode) {
    auto* b = new QPushButton(view_captions[mode], left);
    b->setObjectName(QString("ResponseView%1Button").arg(mode));
    b->setMaximumWidth(56);
    response_view_buttons_[static_cast<size_t>(mode)] = b;
    views->addWidget(b);
    connect(b, &QPushButton::clicked, this, [this, mode] { ShowResponses(mode); });
  }
  views->addStretch(1);
  left_layout->addLayout(views);
  split->addWidget(left);
  CreateEditor(split);
  split->addWidget(editor_);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  layout->addWidget(split, 1);

  connect(show_record_button_, &QPushButton::clicked, this, &TRecordsPage::ShowRecordClicked);
  connect(file_list_, &QTableView::doubleClicked, this, &TRecordsPage::ShowRecordClicked);
  connect(header, &QHeaderView::sectionClicked, this, &TRecordsPage::SortByColumn);
  connect(file_list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    FillEditor();
    form_.ScheduleIdleUpdate();
  });
  connect(file_list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { FillEditor(); });
}

bool TRecordsPage::eventFilter(QObject* watched, QEvent* event) {
  // The Delete key in the record list deletes the selection after a question.
  if (watched == file_list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    if (delete_action_->isEnabled()) DeleteClicked(true);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

int TRecordsPage::CurrentRecord() const {
  const int row = file_list_->currentIndex().row();
  if (row >= 0 && file_list_->selectionModel()->isRowSelected(row, QModelIndex())) return row;
  const std::vector<int> selected = SelectedRecords();
  return selected.empty() ? -1 : selected.front();
}

std::vector<int> TRecordsPage::SelectedRecords() const {
  std::vector<int> rows;
  const int n = static_cast<int>(shell_.Project().Records.size());
  for (const QModelIndex& index : file_list_->selectionModel()->selectedRows()) {
    if (index.row() < n) rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TRecordsPage::SelectRecords(const TSelection& rows, int current) {
  {
    const QSignalBlocker block(file_list_->selectionModel());
    if (current >= 0 && current < table_model_->rowCount())
      file_list_->selectionModel()->setCurrentIndex(table_model_->index(current, 0),
                                                    QItemSelectionModel::NoUpdate);
    SelectRows(file_list_, rows);
  }
  FillEditor();
}

void TRecordsPage::Rebuild() {
  const std::vector<int> selected = SelectedRecords();
  const int current = file_list_->currentIndex().row();
  {
    const QSignalBlocker block(file_list_->selectionModel());
    table_model_->Reset();
    if (current >= 0 && current < table_model_->rowCount())
      file_list_->selectionModel()->setCurrentIndex(table_model_->index(current, 0),
                                                    QItemSelectionModel::NoUpdate);
    SelectRows(file_list_, selected);
  }
  FillEditor();
}

// ---------------------------------------------------------------------------------------------
// Adding files and folders.

void TRecordsPage::AddFilesClicked() {
  if (form_.Busy()) return;
  const auto choice = AskFile(this, TFileAsk(kAddFilesTitle)
                                        .Choose(QFileDialog::ExistingFiles)
                                        .Filter(kAddFilesFilter, 0)
                                        .In(form_.LastFolder()));
  if (!choice) return;
  std::vector<std::string> paths;
  for (const QString& f : choice->Files) paths.push_back(f.toStdString());
  form_.LastFolder() = choice->Folder;
  StartAdding([paths](TProject& project, UiHost& host, HeaderCache* headers) {
    return AddFilesToProject(project, paths, host, headers);
  });
}

void TRecordsPage::AddFolderClicked() {
  if (form_.Busy()) return;
  const auto choice = AskFile(
      this, TFileAsk(kFolderDialogCaption)
                .Choose(QFileDialog::Directory)
                .In(QDir(form_.LastFolder()).exists() ? form_.LastFolder() : QDir::rootPath()));
  if (!choice) return;
  const QString folder = choice->First();
  form_.LastFolder() = folder;
  // Every file of the folder that a reader knows by its content, whatever its extension.
  StartAdding([path = folder.toStdString()](TProject& project, UiHost& host, HeaderCache* headers) {
    return AddFolderToProject(project, path, -1, host, headers);
  });
}

void TRecordsPage::StartAdding(std::function<TAddReport(TProject&, UiHost&, HeaderCache*)> add) {
  auto project = std::make_shared<TProject>(shell_.Project());
  auto report = std::make_shared<TAddReport>();
  form_.Work().Adding = true;
  form_.UpdateIdleStates();
  TQtUiHost* host = &form_.Host();
  std::shared_ptr<HeaderCache> headers = form_.SharedHeaders();
  headers->NewPass();
  form_.Runner().Start([project, report, host, headers,
                        add = std::move(add)] { *report = add(*project, *host, headers.get()); },
                       [this, project, report] { AddedRecords(*project, *report); });
}

void TRecordsPage::AddedRecords(TProject& added, const TAddReport& report) {
  form_.Work().Adding = false;
  TProject& project = shell_.Project();
  project.Records = std::move(added.Records);
  for (int i : report.Result.NewRecords) {
    // The window keeps selections at the precision a text project stores.
    if (static_cast<size_t>(i) < project.Records.size())
      KeepSelectionAtStoredPrecision(project.Records[static_cast<size_t>(i)]);
  }
  if (report.Result.Count > 0) project.Modified = true;
  form_.RebuildAll();
}

// ---------------------------------------------------------------------------------------------
// Operations on the selection.

void TRecordsPage::AfterRecordOp(const TRecordOpResult& result) {
  if (!result.Done) {
    if (!result.Status.Ok()) form_.Host().ShowMessage(result.Status);
    return;
  }
  form_.RebuildAll();
  if (!result.Selection.empty()) SelectRecords(result.Selection, result.Selection.front());
  if (!result.Warnings.empty()) form_.Host().ShowWarning(JoinedWarnings(result.Warnings));
}

void TRecordsPage::ChangePathClicked() {
  const TSelection selection = SelectedRecords();
  if (form_.Busy() || selection.empty()) return;
  // The dialog starts at the folder of the first selected record's file.
  QString start = Q(FolderOf(shell_.Project().Records[static_cast<size_t>(selection[0])].File));
  if (!QDir(start).exists()) start = form_.LastFolder();
  const auto choice =
      AskFile(this, TFileAsk(kFolderDialogCaption).Choose(QFileDialog::Directory).In(start));
  if (!choice) return;
  form_.LastFolder() = choice->First();
  AfterRecordOp(ChangePath(shell_.Project(), selection, choice->First().toStdString()));
}

void TRecordsPage::ChangeFileClicked() {
  const int current = CurrentRecord();
  if (form_.Busy() || current < 0) return;
  const QString file = Q(shell_.Project().Records[static_cast<size_t>(current)].File);
  const auto choice = AskFile(this, TFileAsk(kChangeFileTitle)
                                        .Filter(kChangeFileFilter)
                                        .In(QFileInfo(file).absolutePath())
                                        .Proposing(file));
  if (!choice) return;
  AfterRecordOp(ChangeFile(shell_.Project(), current, choice->First().toStdString()));
}

void TRecordsPage::DeleteClicked(bool ask) {
  const TSelection selection = SelectedRecords();
  if (form_.Busy() || selection.empty()) return;
  if (ask && QMessageBox::question(this, kAppName, kDeleteQuestion,
                                   QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  file_list_->clearSelection();
  AfterRecordOp(DeleteRecords(shell_.Project(), selection));
}

void TRecordsPage::CompressClicked() {
  const TSelection selection = SelectedRecords();
  if (form_.Busy() || selection.empty()) return;
  // The copies are written on a worker for a copy of the project; then the window's records
  // whose copy was written point at it, and a stop or a failed copy leaves the others as they
  // were.
  auto project = std::make_shared<TProject>(shell_.Project());
  auto report = std::make_shared<TCompressReport>();
  const TResultFolders folders = shell_.Folders();
  form_.Work().Compressing = true;
  form_.Host().ClearStop();
  form_.UpdateIdleStates();
  TQtUiHost* host = &form_.Host();
  std::shared_ptr<HeaderCache> headers = form_.SharedHeaders();
  form_.Runner().Start(
      [project, report, selection, folders, host, headers] {
        *report = CompressRecords(*project, selection, folders, *host, headers.get());
      },
      [this, project, report] {
        form_.Work().Compressing = false;
        TProject& open = shell_.Project();
        if (open.Records.size() == project->Records.size()) {
          for (const auto& [i, path] : report->Written)
            open.Records[static_cast<size_t>(i)].File = path;
          if (!report->Written.empty()) open.Modified = true;
        }
        std::vector<std::string> failed;
        for (const auto& [i, why] : report->Failed)
          failed.push_back(project->Records[static_cast<size_t>(i)].File + ": " + why);
        form_.RebuildAll();
        if (!failed.empty()) form_.Host().ShowError(JoinLines(failed));
      });
}

void TRecordsPage::CloneClicked() {
  const TSelection selection = SelectedRecords();
  if (form_.Busy() || selection.empty()) return;
  const auto text = form_.AskText(kCopiesPrompt, "1");
  if (!text) return;
  AfterRecordOp(CloneRecords(shell_.Project(), selection, CopiesFromText(*text)));
}

void TRecordsPage::SortClicked(bool all, TSortKey key) {
  if (form_.Busy()) return;
  TProject& project = shell_.Project();
  const TSelection selection = SelectedRecords();
  const int current = CurrentRecord();
  const TRecordOpResult result =
      all ? SortAll(project, key) : SortSelected(project, selection, key);
  if (!result.Done) {
    AfterRecordOp(result);
    return;
  }
  // A header's sort mark stands for the order it made only.
  file_list_->horizontalHeader()->setSortIndicatorShown(false);
  sort_column_ = -1;
  ShowMoved(result.Order, selection, current);
}

void TRecordsPage::ShowMoved(const std::vector<int>& order, const TSelection& selection,
                             int current) {
  // The same records stay selected where they moved to.
  std::vector<int> moved_to(order.size());
  for (size_t pos = 0; pos < order.size(); ++pos)
    if (static_cast<size_t>(order[pos]) < moved_to.size())
      moved_to[static_cast<size_t>(order[pos])] = static_cast<int>(pos);
  TSelection now;
  for (int i : selection)
    if (static_cast<size_t>(i) < moved_to.size()) now.push_back(moved_to[static_cast<size_t>(i)]);
  form_.RebuildAll();
  SelectRecords(now, current >= 0 && static_cast<size_t>(current) < moved_to.size()
                         ? moved_to[static_cast<size_t>(current)]
                         : -1);
}

void TRecordsPage::SortByColumn(int column) {
  if (form_.Busy() || !sort_action_->isEnabled() || column < 0 || column >= kRecordColumnCount)
    return;
  // The same column again turns the order round.
  const bool descending = column == sort_column_ && !sort_descending_;
  TProject& project = shell_.Project();
  const TSelection selection = SelectedRecords();
  const int current = CurrentRecord();
  const auto key = static_cast<TRecordColumn>(column);
  // Only the results column needs the disk.
  const std::vector<TRecordRow> rows =
      RecordRows(project, shell_.Folders(), {key == TRecordColumn::kResults});
  const std::vector<int> order = RecordRowOrder(rows, key, descending);
  sort_column_ = column;
  sort_descending_ = descending;
  QHeaderView* header = file_list_->horizontalHeader();
  header->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  header->setSortIndicatorShown(true);
  if (ApplyRecordOrder(project, order)) project.Modified = true;
  ShowMoved(order, selection, current);
}

void TRecordsPage::ChannelsToFileClicked() {
  const int current = CurrentRecord();
  if (form_.Busy() || current < 0) return;
  const auto choice = AskFile(
      this, TFileAsk(" ЧХ в ").Save().Filter(kChannelIniFilter).In(Q(shell_.Project().Folder)));
  if (!choice) return;
  const TRecordOpResult result =
      ChannelsToIni(shell_.Project(), current, ChannelIniName(choice->First().toStdString()));
  if (!result.Done) form_.Host().ShowError(result.Status);
}

void TRecordsPage::ChannelsFromFileClicked() {
  const int current = CurrentRecord();
  if (form_.Busy() || current < 0) return;
  const auto choice = AskFile(
      this,
      TFileAsk(kChannelIniOpenTitle).Filter(kChannelIniFilter).In(Q(shell_.Project().Folder)));
  if (!choice) return;
  AfterEdit(
      ChannelsFromIni(shell_.Project(), SelectedRecords(), current, choice->First().toStdString()),
      false);
}

// ---------------------------------------------------------------------------------------------
// The views of a record.

void TRecordsPage::ShowResponses(int mode) {
  const int current = CurrentRecord();
  if (current < 0) return;
  const TFileRecord& record = shell_.Project().Records[static_cast<size_t>(current)];
  if (const TStatus none = NoResponseFilesText(record, mode); !none.Ok()) {
    form_.Host().ShowMessage(none);
    return;
  }
  TSpcForm& viewer = form_.Viewer();
  const TStatus status =
      viewer.ShowResponses(record, mode, 0.0, ResponseViewFMin(shell_.Project(), record));
  if (!status.Ok()) {
    form_.Host().ShowError(status);
    return;
  }
  viewer.exec();
}

void TRecordsPage::ShowRecordClicked() {
  TPreviewForm& preview = form_.Preview();
  // A second click while the record loads stops the load.
  if (preview.Loading()) {
    form_.Host().RequestStop();
    return;
  }
  const int current = CurrentRecord();
  if (current < 0 || form_.Busy()) return;
  TProject& project = shell_.Project();
  TFileRecord record = project.Records[static_cast<size_t>(current)];
  TPreviewOptions options;
  options.Settings = project.SettingsFor(record);
  options.DefaultRate = project.General.SampRateDefault;
  form_.Work().PreviewLoading = true;
  form_.UpdateIdleStates();
  // The person's clicks run while the record loads, so that the stop button is seen; everything
  // that edits the project is off meanwhile.
  form_.Host().SetUserInput(true);
  const TShowRecordOutcome outcome =
      preview.ShowRecord(record, options, form_.Host(), [this](bool loading) {
        show_record_button_->setText(loading ? kStopLoadingCaption : kShowRecordCaption);
      });
  form_.Host().SetUserInput(false);
  form_.Work().PreviewLoading = false;
  show_record_button_->setText(kShowRecordCaption);
  if (outcome == TShowRecordOutcome::kAccepted &&
      static_cast<size_t>(current) < project.Records.size()) {
    // The interval set with the mouse is kept to the second, as a text project keeps it.
    KeepSelectionAtStoredPrecision(record);
    project.Records[static_cast<size_t>(current)] = record;
    project.Modified = true;
    form_.ProcessingPage().RebuildPrimList();
    form_.ProcessingPage().RebuildNakList();
    FillEditor();
  }
  form_.UpdateIdleStates();
}

int TRecordsPage::EditorChannels() const {
  return channel_list_->count();
}

int TRecordsPage::CurrentRecordOr(TCode message) {
  const int current = CurrentRecord();
  if (current < 0) form_.Host().ShowMessage(MakeStatus(message));
  return current;
}

void TRecordsPage::ApplyStates(const TIdleStates& s) {
  add_action_->setEnabled(s.AddFiles);
  add_folder_action_->setEnabled(s.AddFiles);
  editor_->setEnabled(s.Editor);
  delete_action_->setEnabled(s.Delete);
  split_action_->setEnabled(s.Split);
  clone_action_->setEnabled(s.Clone);
  change_path_action_->setEnabled(s.ChangePath);
  compress_action_->setEnabled(s.Compress);
  combine_action_->setEnabled(s.Combine);
  sort_action_->setEnabled(s.Sort);
  to_ini_action_->setEnabled(s.ChannelsToFile);
  from_ini_action_->setEnabled(s.ChannelsFromFile);
  change_file_action_->setEnabled(s.ChangeFile);
  show_record_button_->setEnabled(s.ShowRecord);
  for (QPushButton* b : response_view_buttons_) b->setEnabled(s.ResponseViews);
}

}  // namespace tarvik::gui
