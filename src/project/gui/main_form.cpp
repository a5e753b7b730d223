#include "project/gui/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <future>

#include "project/gui/background_run.h"
#include "project/gui/file_dialogs.h"
#include "project/gui/processing_page.h"
#include "project/gui/qt_ui_host.h"
#include "project/gui/records_page.h"
#include "project/gui/settings_pages.h"
#include "project/window_rules.h"
#include "records/header_cache.h"
#include "viewers/gui/preview_form.h"
#include "viewers/gui/spc_form.h"

namespace tarvik::gui {

namespace {

QString ProgramFolderOr(const QString& folder) {
  return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

}  // namespace

TMainForm::TMainForm(const QString& program_folder, QWidget* parent)
    : QMainWindow(parent), shell_(ProgramFolderOr(program_folder).toStdString()) {
  setObjectName("MainForm");
  host_ = new TQtUiHost(this);
  runner_ = new TBackgroundRun(this);
  headers_ = std::make_shared<HeaderCache>();
  viewer_ = new TSpcForm(this);
  preview_ = new TPreviewForm(this);

  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl");
  records_ = new TRecordsPage(*this, pages_);
  processing_ = new TProcessingPage(*this, pages_);
  settings_ = new TSettingsPage(*this, pages_);
  general_ = new TGeneralPage(*this, pages_);
  // Each page scrolls where the window is smaller than it needs, so that the window fits a small
  // screen and no page widens it.
  const auto scrolled = [this](QWidget* page) {
    auto* area = new QScrollArea(pages_);
    area->setObjectName(page->objectName() + "Scroll");
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(page);
    return area;
  };
  pages_->addTab(scrolled(records_), "Записи");
  pages_->addTab(scrolled(processing_), "Обработка");
  pages_->addTab(scrolled(settings_), "Настройки");
  pages_->addTab(scrolled(general_), "Общие настройки");
  connect(processing_, &TProcessingPage::RunFinished, this, &TMainForm::RunFinished);
  pages_->setCurrentIndex(0);
  setCentralWidget(pages_);

  CreateMenus();
  CreateStatusBar();
  host_->SetWidgets(status_operation_, status_stage_, gauge_, progress_);

  auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  esc->setContext(Qt::WindowShortcut);
  connect(esc, &QShortcut::activated, this, &TMainForm::AskStop);

  ReadRecent();
  RestorePlacement();
  last_folder_ = QDir::currentPath();
  RebuildAll();
}

TMainForm::~TMainForm() {
  // A run still going (the window destroyed without closing) is stopped and waited for; the
  // host no longer waits for the window, so the run cannot wait for it in turn.
  host_->RequestStop();
  host_->Detach();
  delete runner_;
  runner_ = nullptr;
  StorePlacement();
}

bool TMainForm::Busy() const {
  return work_.PrimRunning || work_.NakRunning || work_.PsdRunning || work_.PreviewLoading ||
         work_.Adding || work_.Compressing;
}

// ---------------------------------------------------------------------------------------------
// Menus, status bar, per-user settings.

void TMainForm::CreateMenus() {
  project_menu_ = menuBar()->addMenu("Проект");
  project_menu_->setObjectName("ProjectMenu");
  auto add = [this](const char* caption, const char* name, void (TMainForm::*slot)()) {
    QAction* a = project_menu_->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  new_action_ = add("Новый", "NewAction", &TMainForm::NewProject);
  open_action_ = add("Открыть...", "OpenAction", &TMainForm::OpenProject);
  save_action_ = add("Сохранить", "SaveAction", &TMainForm::SaveProject);
  save_as_action_ = add("Сохранить как...", "SaveAsAction", &TMainForm::SaveProjectAs);
  close_action_ = add("Закрыть", "CloseAction", &TMainForm::CloseProject);
  exit_action_ = project_menu_->addAction("Выход");
  exit_action_->setObjectName("ExitAction");
  connect(exit_action_, &QAction::triggered, this, &QWidget::close);
  new_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  open_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  save_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  save_as_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  exit_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  help_action_ = menuBar()->addAction("Справка");
  help_action_->setObjectName("HelpAction");
  help_action_->setShortcut(QKeySequence(Qt::Key_F1));
  connect(help_action_, &QAction::triggered, this, &TMainForm::ShowHelp);
  about_action_ = menuBar()->addAction("О программе");
  about_action_->setObjectName("AboutAction");
  connect(about_action_, &QAction::triggered, this, &TMainForm::ShowAbout);
}

void TMainForm::CreateStatusBar() {
  status_operation_ = new QLabel(this);
  status_operation_->setObjectName("MainStatusPanel0");
  status_operation_->setMinimumWidth(200);
  status_stage_ = new QLabel(this);
  status_stage_->setObjectName("MainStatusPanel1");
  status_stage_->setMinimumWidth(120);
  gauge_ = new QProgressBar(this);
  gauge_->setObjectName("Gauge");
  gauge_->setMaximumWidth(140);
  gauge_->setTextVisible(true);
  gauge_->setValue(0);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("ProgressBar");
  progress_->setMaximumWidth(140);
  progress_->setTextVisible(false);
  progress_->setValue(0);
  statusBar()->addWidget(status_operation_);
  statusBar()->addWidget(status_stage_, 1);
  statusBar()->addPermanentWidget(gauge_);
  statusBar()->addPermanentWidget(progress_);
}

void TMainForm::RestorePlacement() {
  QSettings settings(kSettingsOrganisation, kSettingsApplication);
  settings.beginGroup(kDesktopSection);
  const TPlacement p = ReadPlacement([&](std::string_view name) -> std::optional<std::string> {
    const QString key = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    if (!settings.contains(key)) return std::nullopt;
    return settings.value(key).toString().toStdString();
  });
  setGeometry(p.Left, p.Top, p.Width, p.Height);
  if (p.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void TMainForm::StorePlacement() {
  const bool maximized = isMaximized();
  const QRect r = maximized ? normalGeometry() : geometry();
  QSettings settings(kSettingsOrganisation, kSettingsApplication);
  settings.beginGroup(kDesktopSection);
  for (const auto& [key, value] :
       PlacementToStore({r.x(), r.y(), r.width(), r.height(), maximized}, maximized)) {
    settings.setValue(Q(key), Q(value));
  }
}

void TMainForm::ReadRecent() {
  QSettings settings(kSettingsOrganisation, kSettingsApplication);
  settings.beginGroup(kRecentSection);
  shell_.Recent() = TRecentProjects::FromStored(
      [&](int n) { return settings.value(Q(RecentKey(n))).toString().toStdString(); });
  stored_recent_ = shell_.Recent().Paths();
  RebuildRecentMenu();
}

void TMainForm::StoreRecent() {
  stored_recent_ = shell_.Recent().Paths();
  QSettings settings(kSettingsOrganisation, kSettingsApplication);
  settings.beginGroup(kRecentSection);
  settings.remove("");
  for (const auto& [key, value] : shell_.Recent().ToStored()) settings.setValue(Q(key), Q(value));
}

void TMainForm::RebuildRecentMenu() {
  for (QAction* a : recent_actions_) {
    project_menu_->removeAction(a);
    // The action may be the one whose click is being handled: it goes once that is over.
    a->setParent(nullptr);
    a->deleteLater();
  }
  recent_actions_.clear();
  const std::vector<std::string>& paths = shell_.Recent().Paths();
  if (paths.empty()) return;
  if (recent_separator_ == nullptr) recent_separator_ = project_menu_->addSeparator();
  const std::vector<std::string> captions = shell_.Recent().Captions();
  for (size_t i = 0; i < paths.size(); ++i) {
    QAction* a = project_menu_->addAction(Q(captions[i]));
    a->setObjectName(QString("RecentAction%1").arg(i + 1));
    const QString path = Q(paths[i]);
    a->setToolTip(path);
    a->setStatusTip(path);
    a->setData(path);
    connect(a, &QAction::triggered, this, [this, path] { OpenRecent(path); });
    recent_actions_.push_back(a);
  }
}

// ---------------------------------------------------------------------------------------------
// Project commands.

void TMainForm::AfterProjectCommand(bool replaced) {
  // The project a load replaced is freed on a thread of its own while the window is rebuilt.
  TProject old = shell_.TakeReplaced();
  if (!old.Records.empty()) {
    release_ = std::async(std::launch::async,
                          [old = std::move(old)]() mutable { TProject gone = std::move(old); });
  }
  // The comparison list named the files of the project before; it is built again on request.
  // The headers of its files are of no use to the next one.
  if (replaced) {
    processing_->ClearComparison();
    headers_ = std::make_shared<HeaderCache>();
  }
  if (replaced) {
    // The dialogs start in the folder of the project now open.
    last_folder_ = Q(DialogStartFolder(shell_.Project().Folder, last_folder_.toStdString()));
  }
  if (shell_.Recent().Paths() != stored_recent_) {
    RebuildRecentMenu();
    StoreRecent();
  }
  RebuildAll();
}

void TMainForm::NewProject() {
  if (Busy()) return;
  // A save that the close query asked for may have reopened the project from its file instead.
  if (shell_.New(*this, *host_) || shell_.TakeReopened()) AfterProjectCommand();
  UpdateIdleStates();
}

void TMainForm::OpenProject() {
  if (Busy()) return;
  if (shell_.Open(*this, *host_) || shell_.TakeReopened()) AfterProjectCommand();
  UpdateIdleStates();
}

void TMainForm::OpenRecent(const QString& path) {
  if (Busy()) return;
  if (shell_.OpenFile(path.toStdString(), *this, *host_) || shell_.TakeReopened())
    AfterProjectCommand();
  UpdateIdleStates();
}

bool TMainForm::LoadStartupProject(const QString& path) {
  const bool loaded = shell_.LoadFile(path.toStdString(), *host_, this) == LoadStatus::kLoaded;
  if (loaded) AfterProjectCommand();
  return loaded;
}

void TMainForm::SaveProject() {
  if (Busy()) return;
  RebuildAll();
  if (shell_.Save(*this, *host_)) {
    AfterProjectCommand(false);
  } else if (shell_.TakeReopened()) {
    AfterProjectCommand();
  }
  UpdateIdleStates();
}

void TMainForm::SaveProjectAs() {
  if (Busy()) return;
  if (shell_.SaveAs(*this, *host_)) {
    AfterProjectCommand(false);
  } else if (shell_.TakeReopened()) {
    AfterProjectCommand();
  }
  UpdateIdleStates();
}

void TMainForm::CloseProject() {
  if (Busy()) return;
  if (!shell_.Close(*this, *host_)) {
    if (shell_.TakeReopened()) AfterProjectCommand();
    return;
  }
  processing_->ClearComparison();
  headers_ = std::make_shared<HeaderCache>();
  RebuildAll();
  processing_->ClearChecks();
  gauge_->setValue(0);
  status_operation_->clear();
  UpdateIdleStates();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (project_loading_) {
    // The project file is being read inside a call of this window: the request is answered as
    // soon as the load is over.
    close_pending_ = true;
    event->ignore();
    return;
  }
  if (work_.PreviewLoading) {
    // The record's load runs inside this window's own call: it is stopped, and the window
    // closes on a second request once it is over.
    host_->RequestStop();
    event->ignore();
    return;
  }
  if (Busy()) {
    if (QMessageBox::question(this, kAppName, kStopQuestion, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes) {
      event->ignore();
      return;
    }
    host_->RequestStop();
    runner_->WaitWithEvents();
  }
  if (!shell_.QueryClose(*this, *host_)) {
    if (shell_.TakeReopened()) AfterProjectCommand();
    event->ignore();
    return;
  }
  event->accept();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!first_shown_) {
    first_shown_ = true;
    UpdateIdleStates();
  }
}

void TMainForm::ShowHelp() {
  const std::string path =
      HelpDocumentPath(shell_.ProgramFolder(), QDir::currentPath().toStdString());
  const bool exists = QFileInfo(Q(path)).isFile();
  // Where no program opens PDF files the desktop services say so; the person is told where the
  // guide is instead of seeing nothing happen.
  if (exists && QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)))) return;
  QMessageBox box(QMessageBox::Information, kAppName,
                  Q(Text(HelpUnavailableText(path, exists), TLanguage::kRussian)), QMessageBox::Ok,
                  this);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.exec();
}

void TMainForm::ShowAbout() {
  QMessageBox::about(this, "О программе", Q(AboutText()));
}

TSaveAnswer TMainForm::AskSaveChanges() {
  QMessageBox box(QMessageBox::Question, kAppName, kCloseQuery,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return TSaveAnswer::kYes;
    case QMessageBox::No:
      return TSaveAnswer::kNo;
    default:
      return TSaveAnswer::kCancel;
  }
}

TChangedOnDiskAnswer TMainForm::AskChangedOnDisk(const std::string& file) {
  QMessageBox box(QMessageBox::Warning, kAppName,
                  Q(Text(ChangedOnDiskQuestion(file), TLanguage::kRussian)), QMessageBox::Cancel,
                  this);
  QAbstractButton* overwrite = box.addButton(kOverwriteAnswer, QMessageBox::AcceptRole);
  QAbstractButton* reopen = box.addButton(kReopenAnswer, QMessageBox::DestructiveRole);
  box.setDefaultButton(QMessageBox::Cancel);
  box.exec();
  if (box.clickedButton() == overwrite) return TChangedOnDiskAnswer::kOverwrite;
  if (box.clickedButton() == reopen) return TChangedOnDiskAnswer::kReopen;
  return TChangedOnDiskAnswer::kCancel;
}

void TMainForm::Loading(bool on) {
  project_loading_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return;
  }
  QApplication::restoreOverrideCursor();
  if (close_pending_) {
    close_pending_ = false;
    // Once the window shows the project loaded (the close query then knows what it holds).
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

std::optional<std::string> TMainForm::ChooseProjectToOpen() {
  const std::string& current = shell_.Project().Folder;
  const auto choice = AskFile(this, TFileAsk("Открыть проект")
                                        .Filter(kOpenFilter)
                                        .In(current.empty() ? QDir::currentPath() : Q(current)));
  if (!choice) return std::nullopt;
  return choice->First().toStdString();
}

std::optional<std::pair<std::string, int>> TMainForm::ChooseProjectToSave(
    const std::string& current) {
  const auto choice =
      AskFile(this, TFileAsk("Сохранить проект").Save().Filter(kSaveFilter).Proposing(Q(current)));
  if (!choice) return std::nullopt;
  return std::make_pair(choice->First().toStdString(), choice->Filter);
}

// ---------------------------------------------------------------------------------------------
// Idle update, stop.

void TMainForm::MarkModified() {
  shell_.Project().Modified = true;
  ScheduleIdleUpdate();
}

void TMainForm::ScheduleIdleUpdate() {
  if (idle_update_posted_) return;
  idle_update_posted_ = true;
  QTimer::singleShot(0, this, [this] {
    idle_update_posted_ = false;
    UpdateIdleStates();
  });
}

void TMainForm::RebuildAll() {
  viewer_->SetStartFolder(
      Q(DialogStartFolder(shell_.Project().Folder, QDir::currentPath().toStdString())));
  // The H/V list's entries are formed on a thread of their own while the window fills the
  // others: forming them only reads the project, which nothing changes meanwhile.
  auto hv = std::async(std::launch::async,
                       [this] { return BuildHVList(shell_.Project(), shell_.Folders()); });
  records_->Rebuild();
  processing_->RebuildPrimList();
  processing_->ShowNakList(hv.get());
  settings_->Reload();
  general_->Reload();
  UpdateIdleStates();
}

void TMainForm::AskStop() {
  if (!Busy()) return;
  QApplication::beep();
  QMessageBox box(QMessageBox::Question, kAppName, kStopQuestion,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  if (box.exec() == QMessageBox::Yes) host_->RequestStop();
}

std::optional<std::string> TMainForm::AskText(const char* prompt, const QString& value) {
  bool ok = false;
  const QString text = QInputDialog::getText(this, kAppName, QString::fromUtf8(prompt),
                                             QLineEdit::Normal, value, &ok);
  if (!ok) return std::nullopt;
  return text.toStdString();
}

void TMainForm::UpdateIdleStates() {
  const TProject& project = shell_.Project();
  setWindowTitle(Q(WindowCaption(project)));

  TIdleInputs in;
  in.Records = static_cast<int>(project.Records.size());
  in.SelectedRecords = static_cast<int>(records_->SelectedRecords().size());
  processing_->FillIdleInputs(in);
  in.PrimRunning = work_.PrimRunning;
  in.NakRunning = work_.NakRunning;
  in.PreviewLoading = work_.PreviewLoading;
  // Like files being added, the noise run leaves no edit and no other run on; its own button
  // (the stop) is set by the processing page.
  in.Adding = work_.Adding || work_.Compressing || work_.PsdRunning;
  in.EditorChannels = records_->EditorChannels();
  const TIdleStates s = IdleStates(in);

  for (QAction* a : {new_action_, open_action_, save_action_, save_as_action_, close_action_})
    a->setEnabled(s.ProjectCommands);
  for (QAction* a : recent_actions_) a->setEnabled(s.ProjectCommands);
  settings_->setEnabled(s.Settings);
  general_->setEnabled(s.Settings);
  records_->ApplyStates(s);
  processing_->ApplyStates(s);
}

}  // namespace tarvik::gui
