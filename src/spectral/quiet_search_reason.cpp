#include "spectral/quiet_search_reason.h"

#include <algorithm>
#include <string>

namespace tarvik {

namespace {

std::string ChannelText(const TFileRecord& record, int c) {
  return std::to_string(c + 1) + " (" + record.Channels[static_cast<size_t>(c)].Channel + ")";
}

// The test of the quiet-interval search: a sample moved one count toward zero (0 becomes
// -1) is disturbed when its magnitude exceeds the level.
int64_t CountDisturbed(const std::vector<int32_t>& x, int64_t first, int64_t last, int64_t level) {
  int64_t count = 0;
  for (int64_t i = first; i <= last; ++i) {
    const int64_t v = x[static_cast<size_t>(i)];
    const int64_t moved = v > 0 ? v - 1 : (v < 0 ? v + 1 : -1);
    if ((moved < 0 ? -moved : moved) > level) ++count;
  }
  return count;
}

}  // namespace

TStatus JoinStatuses(const std::vector<TStatus>& parts, TCode separator) {
  if (parts.empty()) return {};
  TStatus joined = parts[0];
  for (size_t k = 1; k < parts.size(); ++k) joined = MakeStatus(separator, {joined, parts[k]});
  return joined;
}

TStatus NoQuietIntervalReason(const TFileRecord& record, const TData32& searched,
                              std::span<const int> channels, int64_t first, int64_t last,
                              int64_t segment_length) {
  std::vector<TStatus> unset;
  for (int c : channels) {
    const int32_t level = record.Channels[static_cast<size_t>(c)].Level;
    if (level > 0) continue;
    unset.push_back(
        MakeStatus(TCode::kChannelLevel, {ChannelText(record, c), std::to_string(level)}));
  }
  if (!unset.empty()) {
    return MakeStatus(TCode::kLevelNotSet, {JoinStatuses(unset, TCode::kJoinedComma)});
  }
  first = std::max<int64_t>(first, 0);
  std::vector<TStatus> exceeded;
  for (int c : channels) {
    const auto& x = searched[static_cast<size_t>(c)];
    const int64_t end = std::min<int64_t>(last, static_cast<int64_t>(x.size()) - 1);
    if (end < first) continue;
    const int64_t level = record.Channels[static_cast<size_t>(c)].Level;
    const int64_t disturbed = CountDisturbed(x, first, end, level);
    if (disturbed == 0) continue;
    exceeded.push_back(MakeStatus(TCode::kLevelExceeded,
                                  {std::to_string(level), ChannelText(record, c),
                                   std::to_string(disturbed), std::to_string(end - first + 1)}));
  }
  if (!exceeded.empty()) return JoinStatuses(exceeded, TCode::kJoinedSemicolon);
  return MakeStatus(
      TCode::kInSelectedInterval,
      {std::to_string(std::max<int64_t>(last - first + 1, 0)), std::to_string(segment_length)});
}

}  // namespace tarvik
