#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Windows-1251 bytes to UTF-8. The one unassigned byte (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view cp1251);

// UTF-8 to Windows-1251. Characters the code page lacks, and malformed UTF-8, become "?".
std::string Utf8ToCp1251(std::string_view utf8);

// The first character of utf8 that Windows-1251 has no code for, as its UTF-8 text ("\xNN"
// for a byte that is not UTF-8); empty when the whole text converts and reads back unchanged.
std::string FirstCharacterNotInCp1251(std::string_view utf8);

// ASCII upper-casing (extensions, channel names); other bytes are kept.
std::string AsciiUpper(std::string_view text);

// Text without leading and trailing blanks (space, TAB, CR, LF, NUL).
std::string Trim(std::string_view text);
std::string TrimRight(std::string_view text);

// Lines ended by LF or CR LF, without the line ends; line k of the result is line k + 1 of
// the text. A last line without an end counts; an empty text has no lines.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace tarvik
