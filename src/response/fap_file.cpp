#include "response/fap_file.h"

#include <cctype>
#include <vector>

#include "common/text_encoding.h"
#include "response/response_text.h"

namespace tarvik {

namespace {

using namespace response_text;

constexpr int32_t kMaxFapRows = 1 << 20;

// The integer the line begins with (after blanks); what follows it is ignored.
std::optional<int32_t> LeadingInteger(std::string_view line) {
  const std::string trimmed = Trim(line);
  size_t end = 0;
  if (end < trimmed.size() && (trimmed[end] == '+' || trimmed[end] == '-')) ++end;
  while (end < trimmed.size() && std::isdigit(static_cast<unsigned char>(trimmed[end]))) ++end;
  return ParseInt32(std::string_view(trimmed).substr(0, end));
}

}  // namespace

TStatus ReadFapText(std::string_view bytes, const std::string& name, TFAPFilter& table) {
  table.clear();
  const std::string text = DecodeText(bytes);
  const std::vector<std::string_view> lines = SplitLines(text);
  TStatus status = Guard([&] {
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty()) ++i;
    if (i == lines.size()) Fail(name, 0, TCode::kRefuseFileEmpty);
    const int count_line = static_cast<int>(i) + 1;
    const auto count = LeadingInteger(lines[i]);
    if (!count) Fail(name, count_line, TCode::kRefuseRowCountNotInteger, {Quote(lines[i])});
    if (*count < 1)
      Fail(name, count_line, TCode::kRefuseRowCountNotPositive, {std::to_string(*count)});
    // Short tables are padded with copies, so the count alone sets the size: bound it by the
    // file's length and by a table size no instrument needs, so that a damaged count cannot
    // demand gigabytes.
    if (static_cast<size_t>(*count) > bytes.size()) {
      Fail(name, count_line, TCode::kRefuseRowCountBeyondFile, {std::to_string(*count)});
    }
    if (*count > kMaxFapRows) {
      Fail(name, count_line, TCode::kRefuseRowCountAboveLimit,
           {std::to_string(*count), std::to_string(kMaxFapRows)});
    }
    table.reserve(static_cast<size_t>(*count));
    for (++i; i < lines.size() && table.size() < static_cast<size_t>(*count); ++i) {
      if (Trim(lines[i]).empty()) continue;
      table.push_back(ParseFapRow(lines[i], name, static_cast<int>(i) + 1));
    }
    if (table.empty()) Fail(name, count_line, TCode::kRefuseNoTableRow);
    table.resize(static_cast<size_t>(*count), table.back());
  });
  if (!status.Ok()) table.clear();
  return status;
}

}  // namespace tarvik
