#include "project/record_rows.h"

#include <sys/stat.h>
#include <algorithm>
#include <numeric>
#include <tuple>

#include "common/datetime.h"
#include "project/driver.h"

namespace tarvik {

namespace {

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TCoverage CoverageOf(int with, int of) {
  if (of == 0 || with == 0) return TCoverage::kNone;
  return with == of ? TCoverage::kAll : TCoverage::kPartial;
}

// What a row says of the record's channels, read in this one place.
void FillChannelFacts(const TFileRecord& r, TRecordRow& row) {
  int selected = 0, levels = 0, responses = 0;
  for (const TRecordChannel& ch : r.Channels) {
    if (!ch.Selected) continue;
    ++selected;
    if (!row.Components.empty()) row.Components += ' ';
    row.Components += ComponentLetter(ch.Axis);
    if (ch.Level > 0) ++levels;
    if (!ch.ChannelResp.empty() || !ch.SensorResp.empty()) ++responses;
  }
  row.Levels = CoverageOf(levels, selected);
  row.Responses = CoverageOf(responses, selected);
}

const char* CoverageText(TCoverage c, const char* all) {
  switch (c) {
    case TCoverage::kAll:
      return all;
    case TCoverage::kPartial:
      return "не все";
    case TCoverage::kNone:
      break;
  }
  return "нет";
}

}  // namespace

TRecordRow RecordRowOf(const TProject& project, const TResultFolders& folders, size_t index,
                       TRowChecks checks) {
  TRecordRow row;
  if (index >= project.Records.size()) return row;
  const TFileRecord& r = project.Records[index];
  row.File = r.File;
  row.Station = r.Station;
  row.Start = r.Start;
  row.Length = r.Finish - r.Start;
  FillChannelFacts(r, row);
  if (checks.Files) {
    row.FileMissing = !FileExists(r.File);
    row.PrimaryResult = FileExists(PrimaryResultPath(project, folders, r));
    row.HVResult = FileExists(RatioFilePath(folders, r));
  }
  return row;
}

std::vector<TRecordRow> RecordRows(const TProject& project, const TResultFolders& folders,
                                   TRowChecks checks) {
  std::vector<TRecordRow> rows;
  rows.reserve(project.Records.size());
  for (size_t i = 0; i < project.Records.size(); ++i)
    rows.push_back(RecordRowOf(project, folders, i, checks));
  return rows;
}

std::string RecordCellText(const TRecordRow& row, TRecordColumn column) {
  switch (column) {
    case TRecordColumn::kFile:
      return row.File;
    case TRecordColumn::kStation:
      return row.Station;
    case TRecordColumn::kStart:
      return ShownDateTime(row.Start);
    case TRecordColumn::kLength:
      return SelectionLengthText(row.Length);
    case TRecordColumn::kChannels:
      return row.Components;
    case TRecordColumn::kLevels:
      return CoverageText(row.Levels, "заданы");
    case TRecordColumn::kResponses:
      return CoverageText(row.Responses, "заданы");
    case TRecordColumn::kResults:
      if (row.PrimaryResult && row.HVResult) return "спектр, H/V";
      if (row.PrimaryResult) return "спектр";
      if (row.HVResult) return "H/V";
      return "нет";
  }
  return {};
}

std::string RecordFileTip(const TRecordRow& row) {
  return row.FileMissing ? row.File + "\nФайл не найден" : row.File;
}

std::vector<int> RecordRowOrder(const std::vector<TRecordRow>& rows, TRecordColumn column,
                                bool descending) {
  std::vector<int> order(rows.size());
  std::iota(order.begin(), order.end(), 0);
  const auto key = [column](const TRecordRow& r) {
    // One comparable tuple per column: the column's value first, the file after it.
    double number = 0.0;
    std::string text;
    switch (column) {
      case TRecordColumn::kFile:
        text = r.File;
        break;
      case TRecordColumn::kStation:
        text = r.Station;
        break;
      case TRecordColumn::kStart:
        number = r.Start;
        break;
      case TRecordColumn::kLength:
        number = r.Length;
        break;
      case TRecordColumn::kChannels:
        text = r.Components;
        break;
      case TRecordColumn::kLevels:
        number = static_cast<double>(r.Levels);
        break;
      case TRecordColumn::kResponses:
        number = static_cast<double>(r.Responses);
        break;
      case TRecordColumn::kResults:
        number = (r.PrimaryResult ? 2 : 0) + (r.HVResult ? 1 : 0);
        break;
    }
    return std::make_tuple(number, text);
  };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const TRecordRow& ra = rows[static_cast<size_t>(a)];
    const TRecordRow& rb = rows[static_cast<size_t>(b)];
    const auto ka = key(ra), kb = key(rb);
    if (ka != kb) return descending ? kb < ka : ka < kb;
    return ra.File < rb.File;
  });
  return order;
}

bool ApplyRecordOrder(TProject& project, const std::vector<int>& order) {
  const size_t n = project.Records.size();
  if (order.size() != n) return false;
  std::vector<bool> seen(n, false);
  bool moved = false;
  for (size_t k = 0; k < n; ++k) {
    const int i = order[k];
    if (i < 0 || static_cast<size_t>(i) >= n || seen[static_cast<size_t>(i)]) return false;
    seen[static_cast<size_t>(i)] = true;
    moved = moved || static_cast<size_t>(i) != k;
  }
  if (!moved) return false;
  TFileRecords sorted;
  sorted.reserve(n);
  for (int i : order) sorted.push_back(std::move(project.Records[static_cast<size_t>(i)]));
  project.Records = std::move(sorted);
  return true;
}

}  // namespace tarvik
