#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "records/record_model.h"

namespace tarvik::cli {

// The language the command line speaks: set once at start from the locale or --lang.
TLanguage Language();
void SetLanguage(TLanguage language);

// The status code with args in the command line's language.
std::string Told(TCode code, std::vector<TArg> args = {});
// A status in the command line's language.
std::string Told(const TStatus& status);
// The line Told(code, args) and a newline, to stderr or (the readable output of a command)
// to stdout.
void ErrLine(TCode code, std::vector<TArg> args = {});
void OutLine(TCode code, std::vector<TArg> args = {});
// "command: text" and a newline to stderr: a reason (text already in the command line's
// language, or a system's own words) under the name of the command that met it.
void ErrReason(std::string_view command, std::string_view text);
// The same with a status, told in the command line's language.
void ErrReason(std::string_view command, const TStatus& status);

// printf into a string, for the numbers a status carries ("%.5f", "%-7s").
std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf to stderr, the format's own text from the command line's table (the arguments are put
// in as they are: texts already in the command line's language, or data).
void ErrPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same to stdout, for the readable (not JSON) output of a command.
void OutPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A refusal of an option's value or of the command line's files, told in the command line's
// language: thrown from a command's callback where the parser's own ValidationError would carry
// only a text; the message is the English, the status is what the user reads.
class OptionRefusal : public CLI::ValidationError {
 public:
  OptionRefusal(const std::string& name, TStatus status);
  const TStatus& Status() const { return status_; }

 private:
  TStatus status_;
};

// A number as printf "%.*g" with enough digits to read back the same double.
std::string FormatNumber(double value);

// The header of one file as the JSON object of "info --json".
nlohmann::ordered_json HeaderJson(const std::string& path, FormatTag tag,
                                  const TFileRecordInfo& info);

// Accepts a finite number above 0, telling the user so otherwise (the library's own check
// prints the whole range of a double).
CLI::Validator PositiveNumber();

// The header as readable text lines; held, when known, is the number of samples the file holds
// beside the span SampleCount counts.
std::string HeaderText(const std::string& path, FormatTag tag, const TFileRecordInfo& info,
                       std::optional<int64_t> held = std::nullopt);

// A file recognised and its header read: the tag, and the reason when it fails (no such file,
// not a recognised seismogram file, not read as its format); Error is Ok when the header is read.
struct FileReading {
  FormatTag Tag = 0;
  TStatus Error;
};
FileReading ReadFileHeader(const std::string& path, double default_rate, TFileRecordInfo& info);

// The samples a file of a packet or index format holds for the busiest channel of the header's
// station, which falls short of the span SampleCount counts when the file has gaps; nullopt for
// formats read as one block per channel, where the two are the same.
std::optional<int64_t> HeldSamples(const std::string& path, FormatTag tag,
                                   const TFileRecordInfo& info);

}  // namespace tarvik::cli
