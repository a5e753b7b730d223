#pragma once

// The operations of the records page on a project: adding files, changing paths, deleting,
// combining, compressing, splitting, cloning, sorting and renaming channels. Each works on the
// records a selection names, sets the project's modified flag when it changes the project, and
// returns what the window shows afterwards. The window only asks the user for the inputs
// (folders, file names, counts, names) and hands them over.

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/status.h"
#include "project/project.h"
#include "records/assembly.h"
#include "spectral/result_files.h"

namespace tarvik {

class HeaderCache;
class UiHost;

// Indices (from 0) of the selected records of the record list, in any order; duplicates and
// indices outside the project are ignored by every operation.
using TSelection = std::vector<int>;

// What an operation did, for the window to show.
struct TRecordOpResult {
  // False when the operation was refused; Status then says why.
  bool Done = false;
  // The refusal of an operation that was not done; kOk otherwise.
  TStatus Status;
  // The file an operation that writes one wrote (a channel-settings file, a response
  // template); empty otherwise.
  std::string Written;
  // Records added, removed, changed or moved.
  int Count = 0;
  // Indices of the records the operation appended, in order.
  std::vector<int> NewRecords;
  // The records to select afterwards (indices after the operation).
  TSelection Selection;
  // After a sort: the index before the sort of the record now at each position.
  std::vector<int> Order;
  // Things the user should know that did not stop the operation (a file that is not there,
  // records that will write the same result files).
  std::vector<TStatus> Warnings;
};

// The warnings of an operation as one status, one warning a line as the window shows them.
TStatus JoinedWarnings(const std::vector<TStatus>& warnings);

// The selection sorted, without duplicates and without indices outside the project.
TSelection NormalizeSelection(const TProject& project, const TSelection& selection);

// Every record of the project, in order.
TSelection AllRecords(const TProject& project);

// Texts of the records page's dialogs. The add dialog offers every file first: files are known
// by their content, and archives name theirs without extensions (an SDS day file); a file no
// reader knows is named in the add's report. The formats' own entries follow for narrowing the
// list.
inline constexpr char kAddFilesTitle[] = "Выберите файлы с сейсмограммами";
inline constexpr char kAddFilesFilter[] =
    "Все поддерживаемые форматы|*|Записи REC|*.rec|Записи ISS|*.iss_dat|"
    "Записи UGRA|?????????Z*.ugr*|Записи SDAS|*.sdas|Записи Reftek|?????????_*|Записи CSS|*.wfd*|"
    "Записи Guralp|*.gcf|Записи MiniSEED|*.msd;*.mseed;*.miniseed;*.ms3;*.mseed3|"
    "Записи DeltaGeon|*.ddb;*.adb|Записи Baikal|*.baikal;*.00|Записи SL|*.sl|"
    "Записи SAC|*.sac|Записи SAF|*.saf|Записи SEG-2|*.seg2;*.sg2;*.dat|Все файлы|*.*";
inline constexpr char kFolderDialogCaption[] = "Выбор директориии";
inline constexpr char kChangeFileTitle[] = "Выберите файл с сейсмограммой";
inline constexpr char kChangeFileFilter[] = "Все файлы|*.*";

// Adds files one by one as the add action does (joining files of one station within MaxSpan),
// the working sampling rate given to the header readers; the project is modified when a file
// was added. NewRecords: the records formed.
struct TAddReport {
  TRecordOpResult Result;
  std::vector<AddedFile> Files;
};
// headers (the window's, for an open project; null: none kept) keeps the files' headers.
TAddReport AddFilesToProject(TProject& project, const std::vector<std::string>& paths, UiHost& host,
                             HeaderCache* headers = nullptr);
// The same for groups of files, each forming records of its own (AddFileGroups): the days of
// an SDS archive added one record per day.
TAddReport AddFileGroupsToProject(TProject& project,
                                  const std::vector<std::vector<std::string>>& groups, UiHost& host,
                                  HeaderCache* headers = nullptr);
// The same for every file of folder that matches the mask of the data-format index (negative:
// every file a reader knows, as the window's "Из папки" adds).
TAddReport AddFolderToProject(TProject& project, const std::string& folder, int format_index,
                              UiHost& host, HeaderCache* headers = nullptr);

// Each selected record's File becomes folder + separator + its file name (a folder the project
// file cannot hold is refused).
TRecordOpResult ChangePath(TProject& project, const TSelection& selection,
                           const std::string& folder);

// The current record's File becomes path; nothing else of the record changes. A path the
// project file cannot hold is refused.
TRecordOpResult ChangeFile(TProject& project, int current, const std::string& path);

// Asked before the Delete key removes records.
inline constexpr char kDeleteQuestion[] =
    "Вы действительно хотите удалить выделенные записи из списка?";

// Removes the selected records; the others keep their order.
TRecordOpResult DeleteRecords(TProject& project, const TSelection& selection);

// Joins the selected records (two or more) into the one with the earliest Start (the first in
// list order among equal starts): it takes the latest Finish and the latest SelectFinish of the
// selection and keeps everything else; the other selected records are removed. Selection: the
// kept record.
// Selected records that overlap in time are joined by their channels instead
// (CombineChannels) when they can be; otherwise they are refused as before.
TRecordOpResult CombineRecords(TProject& project, const TSelection& selection);

// Joins simultaneous records of one station, location and rate that hold different channels
// into the first selected one in list order: one record of all their channels, each with its
// component, level, coefficient and responses, spanning them all (JoinChannels). Refused, with
// the reason, when fewer than two are selected or some cannot join the others. Selection: the
// kept record.
TRecordOpResult CombineChannels(TProject& project, const TSelection& selection);

// What compressing the selected records did.
struct TCompressReport {
  TRecordOpResult Result;
  // Record index and the compressed copy now used by it.
  std::vector<std::pair<int, std::string>> Written;
  // Record index and why it was left unchanged.
  std::vector<std::pair<int, std::string>> Failed;
};

// Writes a compressed copy of each selected record into the ZipData folder, named by its Start
// and Station, and points the record at it. A record whose copy fails stays as it was. Status
// panel 0 "Сжатие записей"; the gauge counts the list lines; a stop ends the loop. headers (the
// window's, for an open project; null: one of the operation's own) keeps the files' headers, so
// that records of one folder read each header once.
TCompressReport CompressRecords(TProject& project, const TSelection& selection,
                                const TResultFolders& folders, UiHost& host,
                                HeaderCache* headers = nullptr);

// For each selected record and each of its selected channels, appends a copy of the record in
// which only that channel is selected. Its Station is the first 7 characters of Station + "-" +
// the channel name when that names every part apart and is not a station of the project;
// otherwise Station + "-" + what distinguishes the channel's name from the record's other
// channels ("E" of HHE beside HHN and HHZ), the station cut so that it fits the 7 characters and
// numbered on when the name is taken. NewRecords: the copies.
TRecordOpResult SplitChannels(TProject& project, const TSelection& selection);

// Prompt of the clone action's input box.
inline constexpr char kCopiesPrompt[] = "Количество копий";

// The number of copies typed into the input box: text that is not an integer counts as 1.
int CopiesFromText(std::string_view text);

// Appends copies copies of the selected records: in each repetition every selected record in
// list order gets a copy whose Station is Station + "-" + n, n counting 1, 2, 3 ... over all the
// copies of the command, the station cut so that the number fits the 7 characters; a number
// whose name some record already has is passed over. copies of 0 or less does nothing.
TRecordOpResult CloneRecords(TProject& project, const TSelection& selection, int copies);

// The six sort keys, in the order of the sort menu.
enum class TSortKey { kFile, kStation, kStart, kFinish, kLength, kSelection };
inline constexpr int kSortKeyCount = 6;
inline constexpr std::array<std::string_view, kSortKeyCount> kSortKeyCaptions = {
    "По имени файла",
    "По имени пункта",
    "По времени начала записи",
    "По времени конца записи",
    "По длительности всей записи",
    "По длительности выбранной части записи",
};

// Whether a sorts before b by key: ascending, text by character code with case significant,
// ties broken by File.
bool SortsBefore(const TFileRecord& a, const TFileRecord& b, TSortKey key);

// Sorts the whole list by key. Count: the positions whose record changed.
TRecordOpResult SortAll(TProject& project, TSortKey key);

// Sorts only the selected records among themselves and puts them back, in sorted order, into
// the positions the selection occupied; the other records do not move.
TRecordOpResult SortSelected(TProject& project, const TSelection& selection, TSortKey key);

// Prompt of the rename action's input box (its default is the current name).
inline constexpr char kRenamePrompt[] = "Новое имя канала";

// The channel at position channel (from 0) of every selected record that has it gets name; a
// name the project file cannot hold is refused.
TRecordOpResult RenameChannel(TProject& project, const TSelection& selection, int channel,
                              const std::string& name);

// Pairs of records (indices, the earlier first) that write the same result files because they
// share Station and selection start: in a run the later one's results are the ones kept.
std::vector<std::pair<int, int>> RecordsSharingResults(const TProject& project);

}  // namespace tarvik
