// The records page: the project's record list, adding files and folders, and the record editor.

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>
#include <memory>

#include "common/ui_host.h"
#include "project/gui/background_run.h"
#include "project/gui/file_dialogs.h"
#include "project/gui/main_form.h"
#include "project/gui/qt_ui_host.h"
#include "records/assembly.h"
#include "records/header_cache.h"
#include "viewers/preview_show.h"

namespace tarvik::gui {

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

QWidget* TMainForm::CreateRecordsPage() {
  records_page_ = new QWidget(this);
  records_page_->setObjectName("RecordsPage");
  auto* layout = new QVBoxLayout(records_page_);
  auto* tools = new QToolBar(records_page_);
  tools->setObjectName("RecordsToolBar");
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  add_action_ = tools->addAction("Добавить");
  add_action_->setObjectName("AddAction");
  add_folder_action_ = tools->addAction("Из папки");
  add_folder_action_->setObjectName("AddFolderAction");
  // The operations of record management are not part of the program yet: their actions stay off.
  tools->addSeparator();
  for (const char* caption :
       {"Изменить путь", "Изменить имя файла", "Удалить", "Объединить", "Сжать", "Разделить каналы",
        "Создать копию записи", " ЧХ в ", "ЧХ из", "Сортировать"}) {
    QAction* a = tools->addAction(QString::fromUtf8(caption));
    a->setEnabled(false);
    unwired_.push_back(a);
  }
  layout->addWidget(tools);

  file_list_ = new QListWidget(records_page_);
  file_list_->setObjectName("FileListBox");
  file_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  file_list_->setUniformItemSizes(true);
  layout->addWidget(file_list_, 1);

  // The views of the record: the waveform preview and the responses of its channels.
  auto* views = new QHBoxLayout;
  show_record_button_ = new QPushButton(kShowRecordCaption, records_page_);
  show_record_button_->setObjectName("ShowRecordButton");
  views->addWidget(show_record_button_);
  const char* view_captions[] = {"ЧХД", "ЧХУ", "ЧХК", "ЧХТ"};
  for (int mode = 0; mode < 4; ++mode) {
    auto* b = new QPushButton(view_captions[mode], records_page_);
    b->setObjectName(QString("ResponseView%1Button").arg(mode));
    b->setMaximumWidth(56);
    response_view_buttons_[static_cast<size_t>(mode)] = b;
    views->addWidget(b);
    connect(b, &QPushButton::clicked, this, [this, mode] { ShowResponses(mode); });
  }
  views->addStretch(1);
  layout->addLayout(views);
  connect(show_record_button_, &QPushButton::clicked, this, &TMainForm::ShowRecordClicked);
  connect(file_list_, &QListWidget::itemDoubleClicked, this, &TMainForm::ShowRecordClicked);

  connect(add_action_, &QAction::triggered, this, &TMainForm::AddFilesClicked);
  connect(add_folder_action_, &QAction::triggered, this, &TMainForm::AddFolderClicked);
  connect(file_list_, &QListWidget::itemSelectionChanged, this, &TMainForm::ScheduleIdleUpdate);
  return records_page_;
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

void TMainForm::RebuildFileList() {
  const std::vector<int> selected = SelectedRecords();
  const int current = file_list_->currentRow();
  QStringList files;
  for (const TFileRecord& r : shell_.Project().Records) files << Q(r.File);
  file_list_->setUpdatesEnabled(false);
  file_list_->clear();
  file_list_->addItems(files);
  if (current >= 0 && current < file_list_->count()) file_list_->setCurrentRow(current);
  for (int row : selected) {
    if (row < file_list_->count()) file_list_->item(row)->setSelected(true);
  }
  file_list_->setUpdatesEnabled(true);
}

void TMainForm::AddFilesClicked() {
  if (Busy()) return;
  // The filter of the data format chosen on the general page is the one offered.
  const auto choice =
      AskFile(this, TFileAsk(kAddFilesTitle)
                        .Choose(QFileDialog::ExistingFiles)
                        .Filter(kAddFilesFilter, shell_.Project().General.DataFormat)
                        .In(last_folder_));
  if (!choice) return;
  std::vector<std::string> paths;
  for (const QString& f : choice->Files) paths.push_back(f.toStdString());
  last_folder_ = choice->Folder;

  const TProject& project = shell_.Project();
  const AssemblySettings settings{project.General.MaxSpan, project.General.RecognizeComponent,
                                  project.WorkingRate};
  auto records = std::make_shared<TFileRecords>(project.Records);
  auto added = std::make_shared<std::vector<AddedFile>>();
  adding_ = true;
  UpdateIdleStates();
  TQtUiHost* host = host_;
  std::shared_ptr<HeaderCache> headers = headers_;
  headers->NewPass();
  runner_->Start([records, added, paths, settings, host,
                  headers] { *added = AddFiles(*records, paths, settings, *host, headers.get()); },
                 [this, records, added] { AddedRecords(*records, *added); });
}

void TMainForm::AddFolderClicked() {
  if (Busy()) return;
  const auto choice =
      AskFile(this, TFileAsk(kFolderDialogTitle)
                        .Choose(QFileDialog::Directory)
                        .In(QDir(last_folder_).exists() ? last_folder_ : QDir::rootPath()));
  if (!choice) return;
  const QString folder = choice->First();
  last_folder_ = folder;

  const TProject& project = shell_.Project();
  const AssemblySettings settings{project.General.MaxSpan, project.General.RecognizeComponent,
                                  project.WorkingRate};
  const int format = project.General.DataFormat;
  auto records = std::make_shared<TFileRecords>(project.Records);
  auto added = std::make_shared<std::vector<AddedFile>>();
  adding_ = true;
  UpdateIdleStates();
  TQtUiHost* host = host_;
  const std::string path = folder.toStdString();
  std::shared_ptr<HeaderCache> headers = headers_;
  headers->NewPass();
  runner_->Start(
      [records, added, path, format, settings, host, headers] {
        *added = AddFolder(*records, path, format, settings, *host, headers.get());
      },
      [this, records, added] { AddedRecords(*records, *added); });
}

void TMainForm::AddedRecords(const TFileRecords& records, const std::vector<AddedFile>& added) {
  adding_ = false;
  TProject& project = shell_.Project();
  bool any = false;
  project.Records = records;
  for (const AddedFile& f : added) {
    if (!f.result.Added() || static_cast<size_t>(f.result.record) >= project.Records.size())
      continue;
    any = true;
    // The window keeps selections at the precision a text project stores.
    KeepSelectionAtStoredPrecision(project.Records[static_cast<size_t>(f.result.record)]);
  }
  if (any) project.Modified = true;
  RebuildAll();
}

}  // namespace tarvik::gui
