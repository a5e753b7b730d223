// The records page: the project's record list, adding files and folders, and the operations on
// the selected records (paths, delete, combine, compress, split, clone, sort, channel-settings
// files). Each operation is the record-management core's; the page asks for its inputs and
// shows what it did.

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
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
#include "project/gui/qt_ui_host.h"
#include "records/header_cache.h"
#include "viewers/preview_show.h"

namespace tarvik::gui {

namespace {

// Selects rows of list in one step: runs of neighbours as one range each.
void SelectRows(QListWidget* list, std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  QItemSelection selection;
  const int n = list->count();
  for (size_t i = 0; i < rows.size();) {
    size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    if (rows[i] >= 0 && rows[j] < n)
      selection.select(list->model()->index(rows[i], 0), list->model()->index(rows[j], 0));
    i = j + 1;
  }
  list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

QWidget* TMainForm::CreateRecordsPage() {
  records_page_ = new QWidget(this);
  records_page_->setObjectName("RecordsPage");
  auto* layout = new QVBoxLayout(records_page_);
  auto* tools = new QToolBar(records_page_);
  tools->setObjectName("RecordsToolBar");
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto action = [&](const char* caption, const char* name, void (TMainForm::*slot)()) {
    QAction* a = tools->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  add_action_ = action("Добавить", "AddAction", &TMainForm::AddFilesClicked);
  add_folder_action_ = action("Из папки", "AddFolderAction", &TMainForm::AddFolderClicked);
  tools->addSeparator();
  change_path_action_ = action("Изменить путь", "ChangePathAction", &TMainForm::ChangePathClicked);
  change_file_action_ =
      action("Изменить имя файла", "ChangeFileAction", &TMainForm::ChangeFileClicked);
  delete_action_ = tools->addAction("Удалить");
  delete_action_->setObjectName("DeleteAction");
  connect(delete_action_, &QAction::triggered, this, [this] { DeleteClicked(false); });
  combine_action_ = tools->addAction("Объединить");
  combine_action_->setObjectName("CombineAction");
  connect(combine_action_, &QAction::triggered, this,
          [this] { AfterRecordOp(CombineRecords(shell_.Project(), SelectedRecords())); });
  compress_action_ = action("Сжать", "CompressAction", &TMainForm::CompressClicked);
  split_action_ = tools->addAction("Разделить каналы");
  split_action_->setObjectName("SplitAction");
  connect(split_action_, &QAction::triggered, this,
          [this] { AfterRecordOp(SplitChannels(shell_.Project(), SelectedRecords())); });
  clone_action_ = action("Создать копию записи", "CloneAction", &TMainForm::CloneClicked);
  tools->addSeparator();
  to_ini_action_ = action(" ЧХ в ", "ChannelsToFileAction", &TMainForm::ChannelsToFileClicked);
  from_ini_action_ = action("ЧХ из", "ChannelsFromFileAction", &TMainForm::ChannelsFromFileClicked);

  // "Сортировать": the six keys over the whole list or over the selection only.
  auto* sort_menu = new QMenu(records_page_);
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
  sort_button_ = new QToolButton(tools);
  sort_button_->setObjectName("SortButton");
  sort_button_->setText("Сортировать");
  sort_button_->setMenu(sort_menu);
  sort_button_->setPopupMode(QToolButton::InstantPopup);
  tools->addWidget(sort_button_);
  layout->addWidget(tools);

  auto* split = new QSplitter(Qt::Horizontal, records_page_);
  auto* left = new QWidget(split);
  auto* left_layout = new QVBoxLayout(left);
  left_layout->setContentsMargins(0, 0, 0, 0);
  file_list_ = new QListWidget(left);
  file_list_->setObjectName("FileListBox");
  file_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  file_list_->setUniformItemSizes(true);
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
  split->addWidget(CreateRecordEditor(split));
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  layout->addWidget(split, 1);

  connect(show_record_button_, &QPushButton::clicked, this, &TMainForm::ShowRecordClicked);
  connect(file_list_, &QListWidget::itemDoubleClicked, this, &TMainForm::ShowRecordClicked);
  connect(file_list_, &QListWidget::itemSelectionChanged, this, [this] {
    FillEditor();
    ScheduleIdleUpdate();
  });
  connect(file_list_, &QListWidget::currentRowChanged, this, [this] { FillEditor(); });
  return records_page_;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  // The Delete key in the record list deletes the selection after a question.
  if (watched == file_list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    if (delete_action_->isEnabled()) DeleteClicked(true);
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

int TMainForm::CurrentRecord() const {
  const int row = file_list_->currentRow();
  if (row >= 0 && file_list_->item(row) != nullptr && file_list_->item(row)->isSelected())
    return row;
  const std::vector<int> selected = SelectedRecords();
  return selected.empty() ? -1 : selected.front();
}

std::vector<int> TMainForm::SelectedRecords() const {
  std::vector<int> rows;
  const int n = static_cast<int>(shell_.Project().Records.size());
  for (const QModelIndex& index : file_list_->selectionModel()->selectedRows()) {
    if (index.row() < n) rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TMainForm::SelectRecords(const TSelection& rows, int current) {
  {
    const QSignalBlocker block(file_list_);
    if (current >= 0 && current < file_list_->count())
      file_list_->setCurrentRow(current, QItemSelectionModel::NoUpdate);
    SelectRows(file_list_, rows);
  }
  FillEditor();
}

void TMainForm::RebuildFileList() {
  const std::vector<int> selected = SelectedRecords();
  const int current = file_list_->currentRow();
  QStringList files;
  for (const TFileRecord& r : shell_.Project().Records) files << Q(r.File);
  file_list_->setUpdatesEnabled(false);
  const QSignalBlocker block(file_list_);
  file_list_->clear();
  file_list_->addItems(files);
  if (current >= 0 && current < file_list_->count())
    file_list_->setCurrentRow(current, QItemSelectionModel::NoUpdate);
  SelectRows(file_list_, selected);
  file_list_->setUpdatesEnabled(true);
  FillEditor();
}

// ---------------------------------------------------------------------------------------------
// Adding files and folders.

void TMainForm::AddFilesClicked() {
  if (Busy()) return;
  const auto choice = AskFile(this, TFileAsk(kAddFilesTitle)
                                        .Choose(QFileDialog::ExistingFiles)
                                        .Filter(kAddFilesFilter, 0)
                                        .In(last_folder_));
  if (!choice) return;
  std::vector<std::string> paths;
  for (const QString& f : choice->Files) paths.push_back(f.toStdString());
  last_folder_ = choice->Folder;
  StartAdding([paths](TProject& project, UiHost& host, HeaderCache* headers) {
    return AddFilesToProject(project, paths, host, headers);
  });
}

void TMainForm::AddFolderClicked() {
  if (Busy()) return;
  const auto choice =
      AskFile(this, TFileAsk(kFolderDialogCaption)
                        .Choose(QFileDialog::Directory)
                        .In(QDir(last_folder_).exists() ? last_folder_ : QDir::rootPath()));
  if (!choice) return;
  const QString folder = choice->First();
  last_folder_ = folder;
  // Every file of the folder that a reader knows by its content, whatever its extension.
  StartAdding([path = folder.toStdString()](TProject& project, UiHost& host, HeaderCache* headers) {
    return AddFolderToProject(project, path, -1, host, headers);
  });
}

void TMainForm::StartAdding(std::function<TAddReport(TProject&, UiHost&, HeaderCache*)> add) {
  auto project = std::make_shared<TProject>(shell_.Project());
  auto report = std::make_shared<TAddReport>();
  adding_ = true;
  UpdateIdleStates();
  TQtUiHost* host = host_;
  std::shared_ptr<HeaderCache> headers = headers_;
  headers->NewPass();
  runner_->Start([project, report, host, headers,
                  add = std::move(add)] { *report = add(*project, *host, headers.get()); },
                 [this, project, report] { AddedRecords(*project, *report); });
}

void TMainForm::AddedRecords(TProject& added, const TAddReport& report) {
  adding_ = false;
  TProject& project = shell_.Project();
  project.Records = std::move(added.Records);
  for (int i : report.Result.NewRecords) {
    // The window keeps selections at the precision a text project stores.
    if (static_cast<size_t>(i) < project.Records.size())
      KeepSelectionAtStoredPrecision(project.Records[static_cast<size_t>(i)]);
  }
  if (report.Result.Count > 0) project.Modified = true;
  RebuildAll();
}

// ---------------------------------------------------------------------------------------------
// Operations on the selection.

void TMainForm::AfterRecordOp(const TRecordOpResult& result) {
  if (!result.Done) {
    if (!result.Message.empty()) host_->ShowMessage(result.Message);
    return;
  }
  RebuildAll();
  if (!result.Selection.empty()) SelectRecords(result.Selection, result.Selection.front());
  if (!result.Warnings.empty()) host_->ShowMessage(JoinLines(result.Warnings));
}

void TMainForm::ChangePathClicked() {
  const TSelection selection = SelectedRecords();
  if (Busy() || selection.empty()) return;
  // The dialog starts at the folder of the first selected record's file.
  QString start = Q(FolderOf(shell_.Project().Records[static_cast<size_t>(selection[0])].File));
  if (!QDir(start).exists()) start = last_folder_;
  const auto choice =
      AskFile(this, TFileAsk(kFolderDialogCaption).Choose(QFileDialog::Directory).In(start));
  if (!choice) return;
  last_folder_ = choice->First();
  AfterRecordOp(ChangePath(shell_.Project(), selection, choice->First().toStdString()));
}

void TMainForm::ChangeFileClicked() {
  const int current = CurrentRecord();
  if (Busy() || current < 0) return;
  const QString file = Q(shell_.Project().Records[static_cast<size_t>(current)].File);
  const auto choice = AskFile(this, TFileAsk(kChangeFileTitle)
                                        .Filter(kChangeFileFilter)
                                        .In(QFileInfo(file).absolutePath())
                                        .Proposing(file));
  if (!choice) return;
  AfterRecordOp(ChangeFile(shell_.Project(), current, choice->First().toStdString()));
}

void TMainForm::DeleteClicked(bool ask) {
  const TSelection selection = SelectedRecords();
  if (Busy() || selection.empty()) return;
  if (ask && QMessageBox::question(this, kAppName, kDeleteQuestion,
                                   QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  file_list_->clearSelection();
  AfterRecordOp(DeleteRecords(shell_.Project(), selection));
}

void TMainForm::CompressClicked() {
  const TSelection selection = SelectedRecords();
  if (Busy() || selection.empty()) return;
  // The copies are written on a worker for a copy of the project; then the window's records
  // whose copy was written point at it, and a stop or a failed copy leaves the others as they
  // were.
  auto project = std::make_shared<TProject>(shell_.Project());
  auto report = std::make_shared<TCompressReport>();
  const TResultFolders folders = shell_.Folders();
  compressing_ = true;
  host_->ClearStop();
  UpdateIdleStates();
  TQtUiHost* host = host_;
  std::shared_ptr<HeaderCache> headers = headers_;
  runner_->Start(
      [project, report, selection, folders, host, headers] {
        *report = CompressRecords(*project, selection, folders, *host, headers.get());
      },
      [this, project, report] {
        compressing_ = false;
        TProject& open = shell_.Project();
        if (open.Records.size() == project->Records.size()) {
          for (const auto& [i, path] : report->Written)
            open.Records[static_cast<size_t>(i)].File = path;
          if (!report->Written.empty()) open.Modified = true;
        }
        std::vector<std::string> failed;
        for (const auto& [i, why] : report->Failed)
          failed.push_back(project->Records[static_cast<size_t>(i)].File + ": " + why);
        RebuildAll();
        if (!failed.empty()) host_->ShowMessage(JoinLines(failed));
      });
}

void TMainForm::CloneClicked() {
  const TSelection selection = SelectedRecords();
  if (Busy() || selection.empty()) return;
  const auto text = AskText(kCopiesPrompt, "1");
  if (!text) return;
  AfterRecordOp(CloneRecords(shell_.Project(), selection, CopiesFromText(*text)));
}

void TMainForm::SortClicked(bool all, TSortKey key) {
  if (Busy()) return;
  TProject& project = shell_.Project();
  const TSelection selection = SelectedRecords();
  const int current = CurrentRecord();
  const TRecordOpResult result =
      all ? SortAll(project, key) : SortSelected(project, selection, key);
  if (!result.Done) {
    AfterRecordOp(result);
    return;
  }
  // The same records stay selected where they moved to.
  std::vector<int> moved_to(result.Order.size());
  for (size_t pos = 0; pos < result.Order.size(); ++pos)
    if (static_cast<size_t>(result.Order[pos]) < moved_to.size())
      moved_to[static_cast<size_t>(result.Order[pos])] = static_cast<int>(pos);
  TSelection now;
  for (int i : selection)
    if (static_cast<size_t>(i) < moved_to.size()) now.push_back(moved_to[static_cast<size_t>(i)]);
  RebuildAll();
  SelectRecords(now, current >= 0 && static_cast<size_t>(current) < moved_to.size()
                         ? moved_to[static_cast<size_t>(current)]
                         : -1);
}

void TMainForm::ChannelsToFileClicked() {
  const int current = CurrentRecord();
  if (Busy() || current < 0) return;
  const auto choice = AskFile(
      this, TFileAsk(" ЧХ в ").Save().Filter(kChannelIniFilter).In(Q(shell_.Project().Folder)));
  if (!choice) return;
  const TRecordOpResult result =
      ChannelsToIni(shell_.Project(), current, ChannelIniName(choice->First().toStdString()));
  if (!result.Done) host_->ShowMessage(result.Message);
}

void TMainForm::ChannelsFromFileClicked() {
  const int current = CurrentRecord();
  if (Busy() || current < 0) return;
  const auto choice = AskFile(
      this,
      TFileAsk(kChannelIniOpenTitle).Filter(kChannelIniFilter).In(Q(shell_.Project().Folder)));
  if (!choice) return;
  AfterEdit(
      ChannelsFromIni(shell_.Project(), SelectedRecords(), current, choice->First().toStdString()),
      false);
}

}  // namespace tarvik::gui
