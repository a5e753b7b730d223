#pragma once

// The rules the main window follows as the application's shell: the project commands (new,
// open, recent, save, save as, close) with their close query, the recent-projects list, the
// window caption and placement, the enabled states of the idle update, the three-state "for all"
// boxes and the mask of the processing lists. The window asks and shows; everything it decides
// is decided here, so that it can be checked without a display.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "project/project.h"
#include "project/project_file.h"
#include "spectral/result_files.h"

namespace tarvik {

class UiHost;

inline constexpr char kAppTitle[] = "Спектральный анализ сейсмических шумов";
inline constexpr char kAppName[] = "Tarvik";
inline constexpr char kAppVersion[] = "1.3.0";
inline constexpr char kNoName[] = "noname.tvp";
inline constexpr char kHelpDocument[] = "Tarvik.pdf";

inline constexpr char kCloseQuery[] = "Проект изменен. Сохранить изменения?";
inline constexpr char kStopQuestion[] = "Вы действительно хотите остановить процесс?";
inline constexpr char kRunCaption[] = "Р а с ч е т";
inline constexpr char kStopCaption[] = "С т о п";

// Dialog filters as pairs of description and pattern separated by "|".
inline constexpr char kOpenFilter[] = "Проекты (*.tvp)|*.tvp|Все файлы|*.*";
inline constexpr char kSaveFilter[] =
    "Проекты текстовые (*.tvp)|*.tvp|Проекты бинарные (*.tvp)|*.tvp|Все файлы|*.*";

// Per-user settings: organisation, application, sections and value names.
inline constexpr char kSettingsOrganisation[] = "Vantor";
inline constexpr char kSettingsApplication[] = "Tarvik";
inline constexpr char kDesktopSection[] = "Desktop";
inline constexpr char kRecentSection[] = "Recent Files";
inline constexpr int kMaxRecentProjects = 10;

// The about message: program name and version.
std::string AboutText();

// A filter list of "description|pattern|..." pairs as a file dialog's name filters: the
// description, followed by the pattern in brackets unless it already ends so; "*.*" (every file)
// becomes "*".
std::vector<std::string> DialogNameFilters(std::string_view filter);

// The project form a save as writes for the chosen filter (0-based position): text for the first,
// binary for the second and for every later one.
int SaveFormOfFilter(int filter_index);

// "&%d %s" with position (1 first) and path.
std::string RecentCaption(int position, std::string_view path);
// "File%d".
std::string RecentKey(int position);

// The recent projects, most recent first, at most kMaxRecentProjects.
class TRecentProjects {
 public:
  // Puts path at the top unless it is listed already (exact comparison), in which case the list
  // keeps its order; the oldest leaves a full list. False when nothing changed.
  bool Insert(const std::string& path);

  const std::vector<std::string>& Paths() const { return paths_; }
  // The menu captions in list order.
  std::vector<std::string> Captions() const;

  // The list read from the stored values "File1" .. "File10": read from the tenth to the first,
  // each non-empty one inserted at the top, so that number 1 ends up first. value(n) gives the
  // stored text of "File<n>" ("" when missing).
  static TRecentProjects FromStored(const std::function<std::string(int)>& value);
  // The values to store, "File1" for the first, in list order.
  std::vector<std::pair<std::string, std::string>> ToStored() const;

 private:
  std::vector<std::string> paths_;
};

// The window's normal placement and whether it was maximised.
struct TPlacement {
  int Left = 200;
  int Top = 100;
  int Width = 700;
  int Height = 500;
  bool Maximized = false;
};

// The placement from the stored values ("Left", "Top", "Width", "Height" as decimal text,
// "Maximized" as "1"/"0" or "true"/"false"); a value that is missing or not a number gives its
// default. value(name) gives the stored text or nullopt.
TPlacement ReadPlacement(const std::function<std::optional<std::string>(std::string_view)>& value);
// The values written when the window closes: "Maximized" always, the normal placement only when
// the window is not maximised, so a window closed maximised keeps the normal placement it had.
std::vector<std::pair<std::string, std::string>> PlacementToStore(const TPlacement& normal,
                                                                  bool maximized);

// The window caption: the project file name, "*" after it while modified; the program's title
// while no project is open.
std::string WindowCaption(const TProject& project);

// The help document: beside the program when it is there, else in the current folder.
std::string HelpDocumentPath(const std::string& program_folder, const std::string& current_folder);

// The lowest frequency of the response views of a record: the first non-zero line of its
// spectra, its sampling rate over the transform length of the settings set it is processed
// with; 0 (the viewer's own lower end) when no geometry follows from them.
double ResponseViewFMin(const TProject& project, const TFileRecord& record);

// A date-time as the text form of a project keeps it (to the second). The window holds a
// record's selection at this precision, so that a result file named after SelectStart is found
// again after the project is saved as text and reopened.
TDateTime AtStoredPrecision(TDateTime value);
// Brings the record's SelectStart and SelectFinish to the stored precision; true when either
// changed.
bool KeepSelectionAtStoredPrecision(TFileRecord& record);

// ---------------------------------------------------------------------------------------------
// The "for all" boxes and the mask.

enum class TCheckAllState { kUnchecked, kPartial, kChecked };
// Checked when no entry is unchecked (an empty list counts as all checked), unchecked when none
// is checked, partial otherwise.
TCheckAllState CheckAllState(const std::vector<bool>& checked);
// Whether an entry is checked by the mask text: it contains the text (letter case counts); an
// empty text matches nothing.
bool MaskMatches(std::string_view entry, std::string_view text);

// ---------------------------------------------------------------------------------------------
// Enabled states of the idle update.

struct TIdleInputs {
  int Records = 0;
  int SelectedRecords = 0;
  // Channel lines in the record editor.
  int EditorChannels = 0;
  int PrimEntries = 0;
  bool PrimSelected = false;
  int NakEntries = 0;
  bool NakSelected = false;
  // A spectrum run, an H/V run or a record load into the preview is going on.
  bool PrimRunning = false;
  bool NakRunning = false;
  bool PreviewLoading = false;
  // Files are being added to the project.
  bool Adding = false;
};

struct TIdleStates {
  // The record editor pages; the edits of the selection follow them.
  bool Editor = false;
  bool Delete = false, Split = false, Clone = false, ChangePath = false, Compress = false;
  bool Combine = false;
  bool Sort = false;
  bool ChannelsToFile = false, ChannelsFromFile = false;
  // The four response views (exactly one record selected).
  bool ResponseViews = false;
  bool ChangeFile = false;
  // "Показать запись"; while a record loads it is the stop button.
  bool ShowRecord = false;
  bool PrimShow = false, NakShow = false;
  // "Показать графики", "Средний спектр", "Медианный спектр".
  bool VarShow = false;
  bool PrimMask = false, NakMask = false;
  // The "for all" boxes, the check marks, the comparison list's buttons.
  bool CheckLists = false;
  // Adding files, the project commands and the settings pages.
  bool AddFiles = false;
  bool ProjectCommands = false;
  bool Settings = false;
  // The run buttons: the one running is its stop button; the other waits for it.
  bool PrimCalc = false, NakCalc = false;
};

// Nothing edits the project while a run or a record load works on it: the edits are off then,
// and only the running operation's stop stays live.
TIdleStates IdleStates(const TIdleInputs& in);

// ---------------------------------------------------------------------------------------------
// The project commands.

enum class TSaveAnswer { kYes, kNo, kCancel };

// The question asked before a save over a project file that someone else has written since the
// window opened or saved it, and its answers.
TStatus ChangedOnDiskQuestion(const std::string& file);
inline constexpr char kOverwriteAnswer[] = "Перезаписать";
inline constexpr char kReopenAnswer[] = "Открыть заново";
enum class TChangedOnDiskAnswer { kOverwrite, kReopen, kCancel };

// What the shell asks the person at the window.
class TShellDialogs {
 public:
  virtual ~TShellDialogs() = default;
  // "Проект изменен. Сохранить изменения?" with Yes, No and Cancel.
  virtual TSaveAnswer AskSaveChanges() = 0;
  // The project file to open; nullopt when cancelled.
  virtual std::optional<std::string> ChooseProjectToOpen() = 0;
  // The name to save under, starting from current, and the 0-based position of the chosen
  // filter; nullopt when cancelled.
  virtual std::optional<std::pair<std::string, int>> ChooseProjectToSave(
      const std::string& current) = 0;
  // A project file is being read (the busy cursor).
  virtual void Loading(bool /*on*/) {}
  // ChangedOnDiskQuestion(file): overwrite the file with the project, reopen the file and drop
  // the project's changes, or neither.
  virtual TChangedOnDiskAnswer AskChangedOnDisk(const std::string& /*file*/) {
    return TChangedOnDiskAnswer::kCancel;
  }
};

// The project the main window owns, with its result folders and recent projects, and the
// commands of the "Проект" menu.
class TAppShell {
 public:
  // program_folder is the folder of the program's executable: the results folder of a project
  // that names none.
  explicit TAppShell(std::string program_folder);

  TProject& Project() { return project_; }
  const TProject& Project() const { return project_; }
  const TResultFolders& Folders() const { return folders_; }
  const TRecentProjects& Recent() const { return recent_; }
  TRecentProjects& Recent() { return recent_; }
  const std::string& ProgramFolder() const { return program_folder_; }

  // A new project never saved: no records, name "noname.tvp". False when the close query was
  // cancelled (or a save it asked for failed): nothing changed then.
  bool New(TShellDialogs& dialogs, UiHost& host);
  // Asks to save a modified project, then for a file, and loads it. A file that does not load
  // (missing, not a project, a later version, a wrong block marker) leaves the open project as
  // it was. True when a project was loaded.
  bool Open(TShellDialogs& dialogs, UiHost& host);
  // The same for a known path (a recent project or the command line).
  bool OpenFile(const std::string& path, TShellDialogs& dialogs, UiHost& host);
  // Saves under the project's name, in the form its file was read or last written in; a project
  // without a name (or "noname.tvp") is saved as. A file written by someone else since it was
  // opened or saved here is overwritten only when the person says so; reopening it instead
  // replaces the project (Reopened() tells) and saves nothing. The project's lock is held from
  // that check to the end of the save. True when saved.
  bool Save(TShellDialogs& dialogs, UiHost& host);
  bool SaveAs(TShellDialogs& dialogs, UiHost& host);
  // "Закрыть": the close query, then the project closed. False when cancelled.
  bool Close(TShellDialogs& dialogs, UiHost& host);
  // Closing the window: the close query only. False when the window must stay open.
  bool QueryClose(TShellDialogs& dialogs, UiHost& host);

  // Whether a save since the last call replaced the project by its file as it is on disk; the
  // flag is cleared by the call.
  bool TakeReopened() { return std::exchange(reopened_, false); }
  // How long a save waits for another writer of the project file.
  void SetLockWait(double seconds) { lock_wait_ = seconds; }

  // Loads path without asking anything (the first project of the command line); dialogs, when
  // given, is told while the file is read.
  LoadStatus LoadFile(const std::string& path, UiHost& host, TShellDialogs* dialogs = nullptr);

  // The project the last load replaced, handed over for the caller to release where it suits it
  // (freeing tens of thousands of records takes a while); empty when none was replaced.
  TProject TakeReplaced() { return std::exchange(replaced_, TProject{}); }

  // The general settings page: a new results folder derives the folders again.
  void SetResultDir(const std::string& folder);
  void SetMaxSpan(int32_t seconds);
  void SetRecognizeComponent(bool on);
  void SetDataFormat(int32_t index);
  // The default sampling rate is also the working rate from now on.
  void SetSampRateDefault(double rate);
  // Derives the result folders from the results folder (or the program's folder).
  void DeriveFolders();

 private:
  // The close query: true when the caller may go on (Yes and saved, or No).
  bool AskToSave(TShellDialogs& dialogs, UiHost& host);
  void CloseProject();
  bool SaveUnder(const std::string& name, int form, TShellDialogs& dialogs, UiHost& host);

  std::string program_folder_;
  TProject project_;
  TProject replaced_;
  TResultFolders folders_;
  TRecentProjects recent_;
  bool reopened_ = false;
  double lock_wait_ = kProjectLockWaitSeconds;
};

}  // namespace tarvik
