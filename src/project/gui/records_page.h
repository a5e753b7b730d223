#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "project/app_shell.h"
#include "project/record_editor.h"
#include "project/record_management.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTableView;
class QPushButton;
class QSpinBox;

namespace tarvik::gui {

class TMainForm;
class TRecordTableModel;

// The records page ("Записи"): the project's record list, adding files and folders, the
// operations on the selected records (paths, delete, combine, compress, split, clone, sort,
// channel-settings files), the views of a record and the record editor beside the list. Each
// operation is the record-management or record-editor core's; the page asks for its inputs and
// shows what it did.
class TRecordsPage final : public QWidget {
  Q_OBJECT

 public:
  explicit TRecordsPage(TMainForm& form, QWidget* parent = nullptr);

  // The focused record line (the first selected one when the focus is elsewhere); -1 none.
  int CurrentRecord() const;
  std::vector<int> SelectedRecords() const;
  void SelectRecords(const TSelection& rows, int current);
  // The record list rebuilt from the project, the selection kept.
  void Rebuild();
  // The editor shows the selected records, the current one's times and the channel chosen.
  void FillEditor();
  int EditorChannels() const;
  void ApplyStates(const TIdleStates& s);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateEditor(QWidget* parent);
  // The current record, or -1 after telling the person message (nothing selected).
  int CurrentRecordOr(TCode message);

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
  // A click on a column header: the records sorted by that column, again reversed.
  void SortByColumn(int column);
  // The lists rebuilt after the records moved to order, the same records selected.
  void ShowMoved(const std::vector<int>& order, const TSelection& selection, int current);
  // The responses of the current record's channels: 0 sensors, 1 amplifiers, 2 channels,
  // 3 whole chains.
  void ShowResponses(int mode);
  void ShowRecordClicked();

  // ----- record editor (records_page_editor.cpp)
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

  TMainForm& form_;
  TAppShell& shell_;
  // Controls are being filled from the project: their change handlers do not write back.
  bool reloading_ = false;

  QTableView* file_list_ = nullptr;
  TRecordTableModel* table_model_ = nullptr;
  // The column the records were last sorted by with a header click; -1 none.
  int sort_column_ = -1;
  bool sort_descending_ = false;
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
  QAction* sort_action_ = nullptr;
  QPushButton* show_record_button_ = nullptr;
  std::array<QPushButton*, 4> response_view_buttons_{};

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
