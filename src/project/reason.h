#pragma once

#include <string_view>

#include "common/status.h"

namespace tarvik {

// A reason handed over as text by a layer that has no status for it: read back into its code
// when the Russian catalogue has it (a text of several lines line by line, joined by kLines),
// else kept as it is under kReasonText. Empty text gives kOk.
inline TStatus ReasonFromText(std::string_view text) {
  if (text.empty()) return {};
  if (std::optional<TStatus> status = ReadRussianText(text)) return *std::move(status);
  if (const size_t end = text.find('\n'); end != std::string_view::npos) {
    const TStatus first = ReasonFromText(text.substr(0, end));
    const TStatus rest = ReasonFromText(text.substr(end + 1));
    if (first.Code != TCode::kReasonText || rest.Code != TCode::kReasonText)
      return MakeStatus(TCode::kLines,
                        {first.Ok() ? TArg("") : TArg(first), rest.Ok() ? TArg("") : TArg(rest)});
  }
  return MakeStatus(TCode::kReasonText, {text});
}

}  // namespace tarvik
