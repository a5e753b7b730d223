#pragma once

// The record table of the main window: one row per record with what tells records apart at a
// glance (file, station, start, length, components, levels, responses, results), the date form
// the window shows, and the order a click on a column header gives. The window only shows rows.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_text.h"
#include "project/project.h"
#include "spectral/result_files.h"

namespace tarvik {

enum class TRecordColumn : int {
  kFile = 0,
  kStation,
  kStart,
  kLength,
  kChannels,
  kLevels,
  kResponses,
  kResults,
};
inline constexpr int kRecordColumnCount = 8;
inline constexpr std::array<std::string_view, kRecordColumnCount> kRecordColumnCaptions = {
    "Файл", "Пункт", "Начало", "Длительность", "Компоненты", "Уровни", "ЧХ", "Результаты"};

// How many of the selected channels of a record have a thing set: all, some or none of them.
enum class TCoverage : uint8_t { kNone = 0, kPartial = 1, kAll = 2 };

struct TRecordRow {
  // The record's file as the project holds it (the list's entry text).
  std::string File;
  std::string Station;
  TDateTime Start = 0.0;
  // Finish − Start, days.
  double Length = 0.0;
  // The components of the record's channels in channel order, the selected ones only: "E N Z".
  std::string Components;
  TCoverage Levels = TCoverage::kNone;
  TCoverage Responses = TCoverage::kNone;
  // The primary and the H/V result files exist.
  bool PrimaryResult = false;
  bool HVResult = false;
  // The record's file is not on disk.
  bool FileMissing = false;
};

// Whether the files the rows name are looked for on disk (the results, the record's own file).
struct TRowChecks {
  bool Files = true;
};

// The row of one record (index within the project's records); the window asks for the rows it
// shows, so that a long project costs only what is on screen.
TRecordRow RecordRowOf(const TProject& project, const TResultFolders& folders, size_t index,
                       TRowChecks checks = {});
std::vector<TRecordRow> RecordRows(const TProject& project, const TResultFolders& folders,
                                   TRowChecks checks = {});

// The text of a row's cell; the file cell is the record's file.
std::string RecordCellText(const TRecordRow& row, TRecordColumn column);

// The record order that sorts the rows by a column, ascending or descending; ties keep the
// order by file and then the present order, so sorting twice gives the same order.
std::vector<int> RecordRowOrder(const std::vector<TRecordRow>& rows, TRecordColumn column,
                                bool descending);

// The project's records put in order (order[k] is the index of the record that goes to place k).
// False, and nothing moved, when order is not a permutation of the records or keeps them as
// they are.
bool ApplyRecordOrder(TProject& project, const std::vector<int>& order);

// The tooltip of a row's file cell: the full path, and that the file is missing when it is.
std::string RecordFileTip(const TRecordRow& row);

}  // namespace tarvik
