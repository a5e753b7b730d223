// The records page: the project's record list, adding files and folders, and the record editor.

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <memory>

#include "common/ui_host.h"
#include "project/gui/background_run.h"
#include "project/gui/main_form.h"
#include "project/gui/qt_ui_host.h"
#include "records/assembly.h"

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
  layout->addWidget(tools);

  file_list_ = new QListWidget(records_page_);
  file_list_->setObjectName("FileListBox");
  file_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  file_list_->setUniformItemSizes(true);
  layout->addWidget(file_list_, 1);

  connect(add_action_, &QAction::triggered, this, &TMainForm::AddFilesClicked);
  connect(add_folder_action_, &QAction::triggered, this, &TMainForm::AddFolderClicked);
  connect(file_list_, &QListWidget::itemSelectionChanged, this, &TMainForm::ScheduleIdleUpdate);
  return records_page_;
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
  QFileDialog dialog(this, kAddFilesTitle);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  QStringList filters;
  for (const std::string& f : DialogNameFilters(kAddFilesFilter)) filters << Q(f);
  dialog.setNameFilters(filters);
  // The filter of the data format chosen on the general page comes first.
  const int format = shell_.Project().General.DataFormat;
  if (format >= 0 && format < filters.size()) dialog.selectNameFilter(filters[format]);
  dialog.setDirectory(last_folder_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& f : dialog.selectedFiles())
    paths.push_back(QDir::toNativeSeparators(f).toStdString());
  last_folder_ = dialog.directory().absolutePath();

  const TProject& project = shell_.Project();
  const AssemblySettings settings{project.General.MaxSpan, project.General.RecognizeComponent,
                                  project.WorkingRate};
  auto records = std::make_shared<TFileRecords>(project.Records);
  auto added = std::make_shared<std::vector<AddedFile>>();
  adding_ = true;
  UpdateIdleStates();
  TQtUiHost* host = host_;
  runner_->Start([records, added, paths, settings,
                  host] { *added = AddFiles(*records, paths, settings, *host); },
                 [this, records, added] { AddedRecords(*records, *added); });
}

void TMainForm::AddFolderClicked() {
  if (Busy()) return;
  QFileDialog dialog(this, kFolderDialogTitle);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setDirectory(QDir(last_folder_).exists() ? last_folder_ : QDir::rootPath());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QString folder = QDir::toNativeSeparators(dialog.selectedFiles().front());
  while (folder.size() > 1 && folder.endsWith(QDir::separator())) folder.chop(1);
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
  runner_->Start([records, added, path, format, settings,
                  host] { *added = AddFolder(*records, path, format, settings, *host); },
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
