#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>

namespace tarvik::cli {

// A text of the command line's own (its help, its message lines) in the language
// the command line speaks: english itself in English, its Russian from the table of pairs in
// Russian (english itself when the table lacks it).
std::string Tr(std::string_view english);

// The Russian of english, "" when the table has none.
std::string_view RussianOf(std::string_view english);

// The printf format english in the command line's language: its Russian only when that takes
// the same conversions in the same order, so the arguments always fit.
std::string TrFormat(std::string_view english);

// Tells the help of app and of all its subcommands in the command line's language: the
// descriptions, the group titles and the formatter's labels. Called once the commands are
// registered and before the line is parsed; in English the help is left as it is.
void LocaliseHelp(CLI::App& app);

}  // namespace tarvik::cli
