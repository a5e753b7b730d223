#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "project/app_shell.h"
#include "project/driver.h"
#include "project/record_editor.h"
#include "project/record_management.h"
#include "records/assembly.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;

namespace tarvik::gui {

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

class TBackgroundRun;
class TPreviewForm;
class TSpcForm;
class TQtUiHost;
class TRecordsPage;
class TProcessingPage;
class TSettingsPage;
class TGeneralPage;

// What is going on in the window: a run, a record load, files being added or compressed. Each
// page sets its own part; everything that edits the project is off while any is on.
struct TWindowWork {
  bool PrimRunning = false;
  bool NakRunning = false;
  // The noise statistics' segment PSDs are computed.
  bool PsdRunning = false;
  bool PreviewLoading = false;
  bool Adding = false;
  bool Compressing = false;
};

// The main window: the application shell holding the four pages (records, processing,
// processing settings, general settings), the "Проект" menu with the recent projects, the status
// bar, and what the pages share (the project, the message host, the worker, the viewer and the
// preview). Widgets carry the names the project's documents use (PrimListBox,
// SilenceDurSpinEdit, ...) as their object names.
class TMainForm final : public QMainWindow, private TShellDialogs {
  Q_OBJECT

 public:
  // program_folder: where the program lives (default results folder, help document); empty for
  // the folder of the running executable.
  explicit TMainForm(const QString& program_folder = QString(), QWidget* parent = nullptr);
  ~TMainForm() override;

  // Loads the project named on the command line, before the window is shown.
  bool LoadStartupProject(const QString& path);

  TAppShell& Shell() { return shell_; }
  const TAppShell& Shell() const { return shell_; }
  TQtUiHost& Host() { return *host_; }
  // The headers of the open project's files, kept from one operation to the next.
  HeaderCache& Headers() { return *headers_; }
  // The same, shared with an operation running on a worker.
  std::shared_ptr<HeaderCache> SharedHeaders() const { return headers_; }
  TBackgroundRun& Runner() { return *runner_; }
  // The spectrum viewer and the waveform preview live as long as the window (the preview keeps
  // the samples it showed last).
  TSpcForm& Viewer() { return *viewer_; }
  TPreviewForm& Preview() { return *preview_; }
  TWindowWork& Work() { return work_; }
  // A run or a record load is going on.
  bool Busy() const;

  TRecordsPage& RecordsPage() { return *records_; }
  TProcessingPage& ProcessingPage() { return *processing_; }
  TSettingsPage& SettingsPage() { return *settings_; }
  TGeneralPage& GeneralPage() { return *general_; }

  // The whole window rebuilt from the project: every list, both settings pages, the caption.
  void RebuildAll();
  void MarkModified();
  // The enabled states and the caption brought up to date once the current event is handled.
  void ScheduleIdleUpdate();
  void UpdateIdleStates();
  // An input box captioned with the program's name: the text typed, nullopt when cancelled.
  std::optional<std::string> AskText(const char* prompt, const QString& value);
  // The folder the last file dialog of the records page ended in.
  QString& LastFolder() { return last_folder_; }

 signals:
  // A spectrum or H/V run has ended (finished, stopped or refused) and the window shows it.
  void RunFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateMenus();
  void CreateStatusBar();
  void RestorePlacement();
  void StorePlacement();
  void ReadRecent();
  void StoreRecent();
  void RebuildRecentMenu();
  void NewProject();
  void OpenProject();
  void OpenRecent(const QString& path);
  void SaveProject();
  void SaveProjectAs();
  void CloseProject();
  void ShowHelp();
  void ShowAbout();
  // The recent projects stored and shown, the window rebuilt; replaced: another project is open.
  void AfterProjectCommand(bool replaced = true);
  void AskStop();

  // TShellDialogs
  TSaveAnswer AskSaveChanges() override;
  std::optional<std::string> ChooseProjectToOpen() override;
  std::optional<std::pair<std::string, int>> ChooseProjectToSave(
      const std::string& current) override;
  void Loading(bool on) override;
  TChangedOnDiskAnswer AskChangedOnDisk(const std::string& file) override;

  TAppShell shell_;
  TQtUiHost* host_ = nullptr;
  TBackgroundRun* runner_ = nullptr;
  // One per open project: adding files and every run read a file's header once while the file
  // stays as it was. Shared with the operation running on a worker.
  std::shared_ptr<HeaderCache> headers_;
  TSpcForm* viewer_ = nullptr;
  TPreviewForm* preview_ = nullptr;
  TWindowWork work_;
  bool idle_update_posted_ = false;
  bool first_shown_ = false;
  // A project file is being read; a close asked for meanwhile waits for the end of the load.
  bool project_loading_ = false;
  bool close_pending_ = false;
  QString last_folder_;
  // The recent projects as the per-user settings hold them.
  std::vector<std::string> stored_recent_;
  // A replaced project being freed.
  std::future<void> release_;

  QTabWidget* pages_ = nullptr;
  TRecordsPage* records_ = nullptr;
  TProcessingPage* processing_ = nullptr;
  TSettingsPage* settings_ = nullptr;
  TGeneralPage* general_ = nullptr;

  // Menu "Проект".
  QMenu* project_menu_ = nullptr;
  QAction* new_action_ = nullptr;
  QAction* open_action_ = nullptr;
  QAction* save_action_ = nullptr;
  QAction* save_as_action_ = nullptr;
  QAction* close_action_ = nullptr;
  QAction* exit_action_ = nullptr;
  QAction* recent_separator_ = nullptr;
  std::vector<QAction*> recent_actions_;
  QAction* help_action_ = nullptr;
  QAction* about_action_ = nullptr;

  // Status bar.
  QLabel* status_operation_ = nullptr;
  QLabel* status_stage_ = nullptr;
  QProgressBar* gauge_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

}  // namespace tarvik::gui
