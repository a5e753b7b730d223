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

std::string NoQuietIntervalReason(const TFileRecord& record, const TData32& searched,
                                  std::span<const int> channels, int64_t first, int64_t last,
                                  int64_t segment_length) {
  std::string unset;
  for (int c : channels) {
    const int32_t level = record.Channels[static_cast<size_t>(c)].Level;
    if (level > 0) continue;
    unset += (unset.empty() ? "" : ", ") + std::string("канал ") + ChannelText(record, c) + " = " +
             std::to_string(level);
  }
  if (!unset.empty()) return "не задан допустимый уровень: " + unset;
  first = std::max<int64_t>(first, 0);
  std::string exceeded;
  for (int c : channels) {
    const auto& x = searched[static_cast<size_t>(c)];
    const int64_t end = std::min<int64_t>(last, static_cast<int64_t>(x.size()) - 1);
    if (end < first) continue;
    const int64_t level = record.Channels[static_cast<size_t>(c)].Level;
    const int64_t disturbed = CountDisturbed(x, first, end, level);
    if (disturbed == 0) continue;
    exceeded += (exceeded.empty() ? "" : "; ") + std::string("уровень ") + std::to_string(level) +
                " канала " + ChannelText(record, c) +
                " превышен в отсчетах: " + std::to_string(disturbed) + " из " +
                std::to_string(end - first + 1);
  }
  if (!exceeded.empty()) return exceeded;
  return "в выбранном интервале отсчетов: " +
         std::to_string(std::max<int64_t>(last - first + 1, 0)) +
         ", в сегменте: " + std::to_string(segment_length);
}

}  // namespace tarvik
