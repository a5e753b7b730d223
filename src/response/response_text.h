#pragma once

// Text helpers shared by the response file readers: reading a file, splitting it into lines
// and fields, strict number conversion, dates, and the error every reader reports.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "common/number_text.h"
#include "common/text_encoding.h"
#include "response/response_model.h"

namespace tarvik::response_text {

// Raised inside a reader and turned into its status at the reader's public entry point.
class LoadError : public std::runtime_error {
 public:
  explicit LoadError(TStatus status);
  const TStatus& Status() const { return status_; }

 private:
  TStatus status_;
};

// "name, line N: reason" (or "name: reason" when line is 0).
std::string Located(const std::string& name, int line, const std::string& reason);
// A defect of file name at line (0: the file as a whole): kResponseDefectAtLine or
// kResponseDefect, with File and Line set, telling as Located does. reason is a status of the
// readers' refusals, or a text the file itself holds.
TStatus Defect(const std::string& name, int line, TArg reason);
// A status of code about file name, its arguments following the name; File set.
TStatus About(TCode code, const std::string& name, std::vector<TArg> more = {});
[[noreturn]] void Fail(const std::string& name, int line, TArg reason);
// Fail with a refusal of code and its arguments.
[[noreturn]] void Fail(const std::string& name, int line, TCode code, std::vector<TArg> args = {});
[[noreturn]] void Fail(TStatus status);

// A response file is a few kilobytes; anything far larger is refused before it is read.
inline constexpr int64_t kMaxResponseFileBytes = int64_t{64} << 20;

// A SEED or GSE file lists a few channels and epochs; a limit far above that keeps a damaged
// file of many short lines from holding a large pack per line.
inline constexpr size_t kMaxResponsesPerFile = 4096;

// The file's bytes; throws LoadError when it cannot be opened or read or is too large.
std::string ReadFileBytes(const std::string& path);

// The text of a response file as UTF-8: Windows-1251 unless it begins with a UTF-8 byte-order
// mark (an editor's save as UTF-8), which is dropped.
std::string DecodeText(std::string_view bytes);

// The fields of a line separated by runs of any of the separator characters.
std::vector<std::string_view> SplitFields(std::string_view line, std::string_view separators);

inline constexpr std::string_view kBlanks = " \t";

// The characters from 1-based column first to column last, trimmed; "" beyond the line.
std::string Columns(std::string_view line, size_t first, size_t last);

using tarvik::ParseDouble;
using tarvik::ParseInt32;

// A table row "frequency amplitude phase" separated by blanks or commas; the phase (radians)
// is 0 when missing or unreadable. Throws LoadError naming the line when the frequency or the
// amplitude is missing or not a number.
TFAPRow ParseFapRow(std::string_view line, const std::string& name, int number);

// "'text'" shortened to a readable length, for messages.
std::string Quote(std::string_view text);

// A time of day "h", "h:m", "h:m:s" or "h:m:s.fff" as a fraction of a day; nullopt when
// malformed or out of range.
std::optional<double> ParseTimeOfDay(std::string_view text);

// A calendar date of the given parts, nullopt when it does not exist.
std::optional<TDateTime> CalendarDate(int year, int month, int day);

// The local date and time now, and today at 00:00.
TDateTime LocalNow();
TDateTime LocalToday();

// The file's last-modification time as a local date and time; nullopt when unavailable.
std::optional<TDateTime> FileModificationTime(const std::string& path);

// Runs a reader body, turning a LoadError into a failed status.
template <typename Body>
TStatus Guard(Body&& body) {
  try {
    body();
  } catch (const LoadError& e) {
    return e.Status();
  }
  return {};
}

}  // namespace tarvik::response_text
