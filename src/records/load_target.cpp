#include "records/load_target.h"

#include <algorithm>

namespace tarvik {

int LoadTarget::ChannelCount() const {
  return data ? static_cast<int>(data->size()) : 0;
}

int64_t LoadTarget::Length() const {
  return (data && !data->empty()) ? static_cast<int64_t>(data->front().size()) : 0;
}

int64_t WriteClipped(TData32& data, int channel, int64_t pos, std::span<const int32_t> samples) {
  if (channel < 0 || static_cast<size_t>(channel) >= data.size()) return 0;
  std::vector<int32_t>& dst = data[static_cast<size_t>(channel)];
  const auto length = static_cast<int64_t>(dst.size());
  int64_t first = 0;
  auto n = static_cast<int64_t>(samples.size());
  if (pos < 0) {
    first = -pos;
    pos = 0;
  }
  if (first >= n || pos >= length) return 0;
  n = std::min(n - first, length - pos);
  std::copy_n(samples.begin() + first, n, dst.begin() + pos);
  return n;
}

}  // namespace tarvik
