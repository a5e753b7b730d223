#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string>

#include "records/record_model.h"

namespace tarvik::cli {

// A number as printf "%.*g" with enough digits to read back the same double.
std::string FormatNumber(double value);

// The header of one file as the JSON object of "info --json".
nlohmann::ordered_json HeaderJson(const std::string& path, FormatTag tag,
                                  const TFileRecordInfo& info);

// Accepts a finite number above 0, telling the user so otherwise (the library's own check
// prints the whole range of a double).
CLI::Validator PositiveNumber();

// The header as readable text lines.
std::string HeaderText(const std::string& path, FormatTag tag, const TFileRecordInfo& info);

}  // namespace tarvik::cli
