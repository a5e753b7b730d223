#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
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
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace tarvik::gui {

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

class TBackgroundRun;
class TPreviewForm;
class TSpcForm;
class TForAllCheckBox;
class TQtUiHost;

// The main window: the project and its pages (records, processing, processing settings, general
// settings), the "Проект" menu with the recent projects, the status bar, and the long runs.
// Widgets carry the names the project's documents use (PrimListBox, SilenceDurSpinEdit, ...) as
// their object names.
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
  // A run or a record load is going on.
  bool Busy() const;

  // The whole window rebuilt from the project: every list, both settings pages, the caption.
  void RebuildAll();

 signals:
  // A spectrum or H/V run has ended (finished, stopped or refused) and the window shows it.
  void runFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // ----- shell (main_form.cpp)
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
  void MarkModified();
  void ScheduleIdleUpdate();
  void UpdateIdleStates();
  void AskStop();
  // An input box captioned "Tarvik": the text typed, nullopt when cancelled.
  std::optional<std::string> AskText(const char* prompt, const QString& value);
  // The current record, or -1 after telling the person message (nothing selected).
  int CurrentRecordOr(const char* message);

  // TShellDialogs
  TSaveAnswer AskSaveChanges() override;
  std::optional<std::string> ChooseProjectToOpen() override;
  std::optional<std::pair<std::string, int>> ChooseProjectToSave(
      const std::string& current) override;
  void Loading(bool on) override;
  TChangedOnDiskAnswer AskChangedOnDisk(const std::string& file) override;

  // ----- processing settings and general settings pages (main_form_settings.cpp)
  QWidget* CreateSettingsPage();
  QWidget* CreateGeneralPage();
  int ShownSet() const;
  TSpectrumSettings& ShownSettings();
  void ReloadSettingsPage();
  void RefreshSettingsPage();
  void SettingsEdited(bool refresh);
  void ReloadGeneralPage();
  void ChooseResultDir();

  // ----- processing page (main_form_processing.cpp)
  QWidget* CreateProcessingPage();
  void RebuildPrimList();
  void RebuildNakList();
  void ShowNakList(const TRecordListModel& model);
  void RebuildVarList();
  void FillCheckList(QListWidget* list, const std::vector<std::string>& entries,
                     const std::vector<bool>& checked);
  void UpdateForAllBox(QListWidget* list, TForAllCheckBox* box);
  void ForAllClicked(QListWidget* list, TForAllCheckBox* box, int kind);
  void ListItemChanged(QListWidgetItem* item, int kind);
  void Mask(QListWidget* list, TForAllCheckBox* box, int kind);
  void StartRun(bool hv, int start, bool only);
  void FinishRun(bool hv, const TProject& ran, const TRunReport& report);
  int SelectedRow(QListWidget* list) const;

  // ----- viewer and preview (main_form_views.cpp)
  // The viewer on the selected record's primary (or H/V) result, moving through the records.
  void ShowResult(bool hv);
  // The checked files of the comparison list: 0 together, 1 average, 2 median.
  void ShowComparison(int what);
  // The responses of the current record's channels: 0 sensors, 1 amplifiers, 2 channels,
  // 3 whole chains.
  void ShowResponses(int mode);
  void ShowRecordClicked();

  // ----- records page (main_form_records.cpp)
  QWidget* CreateRecordsPage();
  // The focused record line (the first selected one when the focus is elsewhere); -1 none.
  int CurrentRecord() const;
  std::vector<int> SelectedRecords() const;
  void SelectRecords(const TSelection& rows, int current);
  void RebuildFileList();
  void AddFilesClicked();
  void AddFolderClicked();
  // Adds on a worker, to a copy of the project that replaces the records when it is over.
  void StartAdding(std::function<TAddReport(TProject&, UiHost&, HeaderCache*)> add);
  void AddedRecords(TProject& added, const TAddReport& report);
  // What an operation on the records did shown: its refusal or warnings, the lists rebuilt
  // and the records it names selected.
  void AfterRecordOp(const TRecordOpResult& result);
  void ChangePathClicked();
  void ChangeFileClicked();
  void DeleteClicked(bool ask);
  void CompressClicked();
  void CloneClicked();
  void ChannelsToFileClicked();
  void ChannelsFromFileClicked();
  void SortClicked(bool all, TSortKey key);
  bool eventFilter(QObject* watched, QEvent* event) override;

  // ----- record editor (main_form_editor.cpp)
  QWidget* CreateRecordEditor(QWidget* parent);
  // The editor shows the selected records, the current one's times and the channel chosen.
  void FillEditor();
  void FillChannelFields();
  // The channel line chosen in the channel list; -1 none.
  int EditorChannel() const;
  // An edit of the selection applied: the editor and the lists show it.
  void AfterEdit(const TRecordOpResult& result, bool lists);
  void SelectionTimeEdited(bool finish);
  void ResponseEdited(int kind);
  void BrowseResponse(int kind);
  void UnitTemplate(int kind);
  void RenameChannelClicked();
  void CopyToClipboard(bool times);
  void AskRecordTime(bool finish);
  void AskRate();
  void AskAdc();

  TAppShell shell_;
  TQtUiHost* host_ = nullptr;
  TBackgroundRun* runner_ = nullptr;
  // One per open project: adding files and every run read a file's header once while the file
  // stays as it was. Shared with the operation running on a worker.
  std::shared_ptr<HeaderCache> headers_;
  // The spectrum viewer and the waveform preview live as long as the window (the preview keeps
  // the samples it showed last).
  TSpcForm* viewer_ = nullptr;
  TPreviewForm* preview_ = nullptr;
  bool prim_running_ = false;
  bool nak_running_ = false;
  bool preview_loading_ = false;
  bool adding_ = false;
  bool idle_update_posted_ = false;
  bool first_shown_ = false;
  // Controls are being filled from the project: their change handlers do not write back.
  bool reloading_ = false;
  QString last_folder_;
  // The recent projects as the per-user settings hold them.
  std::vector<std::string> stored_recent_;
  // A replaced project being freed.
  std::future<void> release_;

  QTabWidget* pages_ = nullptr;
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

  // Settings page.
  QWidget* settings_page_ = nullptr;
  QComboBox* options_combo_ = nullptr;
  QButtonGroup* fourier_group_ = nullptr;
  QButtonGroup* spc_type_group_ = nullptr;
  QButtonGroup* est_type_group_ = nullptr;
  QButtonGroup* fill_group_ = nullptr;
  QDoubleSpinBox* silence_spin_ = nullptr;
  QLabel* silence_length_label_ = nullptr;
  QSpinBox* noise_spin_ = nullptr;
  QLabel* noise_label_ = nullptr;
  QComboBox* window_combo_ = nullptr;
  QDoubleSpinBox* b_spin_ = nullptr;
  QLabel* formula_label_ = nullptr;
  QCustomPlot* window_chart_ = nullptr;
  QCheckBox* edge_check_ = nullptr;
  QDoubleSpinBox* edge_fmin_spin_ = nullptr;
  QDoubleSpinBox* edge_fmax_spin_ = nullptr;
  QSpinBox* edge_order_spin_ = nullptr;
  QCheckBox* noise_check_ = nullptr;
  QDoubleSpinBox* noise_fmin_spin_ = nullptr;
  QDoubleSpinBox* noise_fmax_spin_ = nullptr;
  QSpinBox* noise_order_spin_ = nullptr;
  QComboBox* unit_combo_ = nullptr;
  QComboBox* unit_out_combo_ = nullptr;
  QPushButton* defaults_button_ = nullptr;

  // General settings page.
  QWidget* general_page_ = nullptr;
  QLineEdit* directory_edit_ = nullptr;
  QPushButton* directory_button_ = nullptr;
  QComboBox* format_combo_ = nullptr;
  QCheckBox* auto_component_check_ = nullptr;
  QSpinBox* max_span_spin_ = nullptr;
  QDoubleSpinBox* sr_default_spin_ = nullptr;

  // Processing page.
  QTabWidget* processing_tabs_ = nullptr;
  QListWidget* prim_list_ = nullptr;
  TForAllCheckBox* prim_check_ = nullptr;
  QPushButton* prim_calc_button_ = nullptr;
  QPushButton* prim_mask_button_ = nullptr;
  QPushButton* prim_show_button_ = nullptr;
  QListWidget* nak_list_ = nullptr;
  TForAllCheckBox* nak_check_ = nullptr;
  QPushButton* nak_calc_button_ = nullptr;
  QPushButton* nak_mask_button_ = nullptr;
  QPushButton* nak_show_button_ = nullptr;
  QListWidget* var_list_ = nullptr;
  TForAllCheckBox* var_check_ = nullptr;
  QRadioButton* abs_radio_ = nullptr;
  QRadioButton* rel_radio_ = nullptr;
  QPushButton* var_mask_button_ = nullptr;
  QPushButton* var_show_button_ = nullptr;
  QPushButton* var_average_button_ = nullptr;
  QPushButton* var_median_button_ = nullptr;
  std::vector<QAction*> list_popup_actions_;

  // Records page.
  QWidget* records_page_ = nullptr;
  QListWidget* file_list_ = nullptr;
  QAction* add_action_ = nullptr;
  QAction* add_folder_action_ = nullptr;
  QAction* change_path_action_ = nullptr;
  QAction* change_file_action_ = nullptr;
  QAction* delete_action_ = nullptr;
  QAction* combine_action_ = nullptr;
  QAction* compress_action_ = nullptr;
  QAction* split_action_ = nullptr;
  QAction* clone_action_ = nullptr;
  QAction* to_ini_action_ = nullptr;
  QAction* from_ini_action_ = nullptr;
  QToolButton* sort_button_ = nullptr;
  QPushButton* show_record_button_ = nullptr;
  std::array<QPushButton*, 4> response_view_buttons_{};
  bool compressing_ = false;

  // Record editor.
  QWidget* editor_ = nullptr;
  QLineEdit* station_edit_ = nullptr;
  QLabel* rate_label_ = nullptr;
  QLabel* start_label_ = nullptr;
  QLabel* finish_label_ = nullptr;
  QLabel* length_label_ = nullptr;
  QLineEdit* sel_start_edit_ = nullptr;
  QLineEdit* sel_finish_edit_ = nullptr;
  QLabel* sel_length_label_ = nullptr;
  QCheckBox* event_check_ = nullptr;
  QListWidget* channel_list_ = nullptr;
  QAction* rename_action_ = nullptr;
  QWidget* channel_box_ = nullptr;
  QComboBox* axis_combo_ = nullptr;
  QSpinBox* level_spin_ = nullptr;
  QLabel* adc_label_ = nullptr;
  std::array<QLineEdit*, 3> response_edits_{};
  std::array<QPushButton*, 3> response_browse_{};
  std::array<QPushButton*, 3> response_all_{};
};

}  // namespace tarvik::gui
