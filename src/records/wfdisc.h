#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// One line of a CSS 3.0 wfdisc index: fixed columns, each trimmed.
struct TWfdiscLine {
  std::string Sta;
  std::string Chan;
  double Time = 0.0;  // Unix seconds
  int32_t Wfid = 0;
  int32_t Chanid = 0;
  int32_t Jdate = 0;
  double Endtime = 0.0;
  int32_t Nsamp = 0;
  double Samprate = 0.0;
  double Calib = 0.0;  // nanometres per count
  double Calper = 0.0;
  std::string Instype;
  std::string Segtype;
  std::string Datatype;
  std::string Clip;
  std::string Dir;
  std::string Dfile;
  int32_t Foff = 0;
  int32_t Commid = 0;
  TDateTime Lddate = 0.0;
};

// The columns of one index line; nullopt when a column the readers use (time, nsamp, samprate,
// calib, foff) does not hold a number. The other number columns read as 0 when they do not.
std::optional<TWfdiscLine> ParseWfdiscLine(std::string_view line);

// Full path of the data file a line names: the index file's folder, then the dir column unless
// it is "-" or blank, then dfile; "\" separators written on Windows become native ones. A dir
// that is itself an absolute path is taken as it stands.
std::string WfdiscDataPath(const std::string& index_path, const TWfdiscLine& line);

// Header of a CSS 3.0 wfdisc index: the lines of the first line's station. False when the file
// cannot be read, holds no line, or a line does not parse (info keeps the lines before it).
bool ReadWfdiscHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                      TStatus* why = nullptr);

// A header per station of the index, in the order the stations first appear, each read from
// that station's lines as ReadWfdiscHeader reads the first one's. False when the file cannot be
// read, holds no line, or a line does not parse (headers keep what the lines before it gave).
bool ReadWfdiscHeaders(const std::string& path, std::vector<TFileRecordInfo>& headers,
                       TStatus* why = nullptr);

// One segment per index line (only the lines of station when it is not empty). Reading stops
// at the first line that does not parse; the segments of the lines before it stay.
void BuildWfdiscSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik
