#pragma once

// The program's own response file (".rsp"): an INI-like text of sections [DEVICE], [ZP],
// [ZEROES], [POLES], [FAP], [CASCADES] with [CASCADEnn], and [CASCADE] with [SECTIONnn].

#include <string>
#include <string_view>

#include "response/response_model.h"

namespace tarvik {

// Fills pack from an .rsp file (pack is reset first). Fails, naming the file and line, when the
// file cannot be read, a key holds text where a number belongs, a root or table row does not
// convert, or a count exceeds the model (40 zeros or poles, 20 sections or cascades, order 39).
TStatus ReadRspFile(const std::string& path, TFilterPack& pack);

// The same from the file's bytes; name is used in messages. now is the date given when the
// file has no readable Date.
TStatus ReadRspText(std::string_view bytes, const std::string& name, TFilterPack& pack,
                    TDateTime now);

// The unit-response template for a record of the given sampling rate, as UTF-8 text with CR LF
// line ends: a ZP part with no roots normalised to 1 at 1 Hz and a flat FAP table from 0 Hz to
// rate. date is written as dd.MM.yyyy.
std::string UnitResponseTemplateText(const std::string& note, double rate, TDateTime date);

// path with ".rsp" appended unless it already ends in it (any case): the name the template
// is written under.
std::string UnitTemplateFileName(const std::string& path);

// Writes the template (Windows-1251) to UnitTemplateFileName(path), replacing an earlier file
// only when the new one is complete; written receives the path used. today 0 means the current
// date.
TStatus WriteUnitResponseTemplate(const std::string& path, const std::string& note, double rate,
                                  std::string* written = nullptr, TDateTime today = 0.0);

}  // namespace tarvik
