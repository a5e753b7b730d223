#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Reads "key = value" lines of a text trigger file forward from where it stands.
class TIssKeyReader {
 public:
  explicit TIssKeyReader(std::string text);
  // The lines point into the reader's own text: a copy would point into the original's.
  TIssKeyReader(const TIssKeyReader&) = delete;
  TIssKeyReader& operator=(const TIssKeyReader&) = delete;

  // The value of the next line with this key, the reader then standing after that line; the
  // value ends at the line's end or before a ";". Nullopt when no further line has the key:
  // the reader is then at the end of the file.
  std::optional<std::string> Find(std::string_view key);
  // Find, with "0" for a key that is not there.
  std::string Value(std::string_view key);
  // Moves past the next line that begins with a form feed and "Integrated"; false when none.
  bool SkipToTable();
  // The next line (without its line end); nullopt at the end of the file. PeekLine leaves the
  // reader where it is.
  std::optional<std::string_view> NextLine();
  std::optional<std::string_view> PeekLine() const;
  bool AtEnd() const { return next_ >= lines_.size(); }

 private:
  std::string text_;
  std::vector<std::string_view> lines_;
  size_t next_ = 0;
};

// One trigger of the file: its keys in the order the file gives them.
struct TIssTrigger {
  double TimeSec = 0.0;
  double TimeUsec = 0.0;
  int64_t TriggerPosition = 0;    // samples before the trigger
  int64_t Duration = 0;           // samples after it
  int64_t Points = 0;             // rows of the data table
  std::array<bool, 3> Enabled{};  // X, Y, Z
  int64_t SiteId = 0;
  std::array<double, 3> DcOffset{};  // metres
  double Rate = 0.0;                 // decimated sampling rate, Hz

  // The time of the first sample: trigger time less TriggerPosition samples.
  TDateTime Start() const;
};

// The header part of the file: its time, trigger count and site IDs.
struct TIssFileKeys {
  TDateTime Time = 0.0;
  int64_t TriggerCount = 0;
  std::array<std::string, 5> SiteIds{};
};

enum class IssRead { kOk, kEnd, kDamaged };

// Reads the file's own keys: kEnd when the file has no time key (not a trigger file), kDamaged
// when a number does not parse.
IssRead ReadIssFileKeys(TIssKeyReader& reader, TIssFileKeys& keys);
// Reads the next trigger's keys: kEnd when no further trigger follows, kDamaged when a number
// does not parse.
IssRead ReadIssTriggerKeys(TIssKeyReader& reader, TIssTrigger& trigger);

// The name of a trigger's component channel: "EX", "NY" or "ZZ" and the two-digit site ID.
std::string IssChannelName(int component, int64_t site_id);

// Linear resampling of a trigger's samples to the record's rate, q = record rate / trigger
// rate above 1: round(N * q) samples, sample g taken at g / q from the two samples around it
// (the last two beyond the end). A single sample is repeated.
int64_t IssResampledLength(int64_t n, double q);
int32_t IssResampledAt(const std::vector<int32_t>& in, double q, int64_t g);

// Header of an ISS text trigger file. False when the file cannot be read or a number in it
// does not parse (info then holds what was read before).
bool ReadIssHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                   TStatus* why = nullptr);

// Writes every trigger of the file at its own time offset from the record's start when this is
// the record's first file (read at position 0); a later file writes its triggers at the
// sequential position. Triggers slower than the record are resampled to its rate, and a table
// shorter than TriggerPosition + duration is padded with its last value; what falls outside the
// matrix is dropped. Then advances the position by the file's sample count.
void ReadIssInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik
