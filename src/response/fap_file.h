#pragma once

// Plain FAP table files: a first line with the number of rows, then one row per line of
// frequency (Hz), amplitude and phase (radians), separated by blanks or commas.

#include <string>
#include <string_view>

#include "response/response_model.h"

namespace tarvik {

// Fills table (cleared first) with the stated number of rows. Rows beyond that number are
// ignored; when the file ends early the missing rows repeat the last row read; a missing or
// unreadable phase is 0; blank lines are skipped. Fails, naming the file (name) and the line,
// when the count is not a positive integer or is more than the file could describe, when no
// row follows it, or when a frequency or amplitude is not a number.
TStatus ReadFapText(std::string_view bytes, const std::string& name, TFAPFilter& table);

}  // namespace tarvik
