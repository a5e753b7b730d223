#include "records/load_target.h"

#include <algorithm>

namespace tarvik {

int LoadTarget::ChannelCount() const {
  return Data ? static_cast<int>(Data->size()) : 0;
}

int64_t LoadTarget::Length() const {
  return (Data && !Data->empty()) ? static_cast<int64_t>(Data->front().size()) : 0;
}

void LoadTarget::MarkWritten(int channel, int64_t pos, int64_t n) {
  if (channel < 0 || channel >= ChannelCount()) return;
  const auto c = static_cast<size_t>(channel);
  if (Written.size() <= c) Written.resize(c + 1);
  const int64_t first = std::max<int64_t>(pos, 0);
  const int64_t last = std::min(pos + n, Length()) - 1;
  AddRange(Written[c], first, last);
}

void LoadTarget::MarkUnwritten(int channel, int64_t pos, int64_t n) {
  if (channel < 0 || static_cast<size_t>(channel) >= Written.size() || n <= 0) return;
  RemoveRange(Written[static_cast<size_t>(channel)], pos, pos + n - 1);
}

int64_t LoadTarget::Write(int channel, int64_t pos, std::span<const int32_t> samples) {
  return Write(channel, pos, samples, static_cast<int64_t>(samples.size()));
}

int64_t LoadTarget::Write(int channel, int64_t pos, std::span<const int32_t> samples,
                          int64_t sound) {
  if (Data == nullptr) return 0;
  const int64_t n = WriteClipped(*Data, channel, pos, samples);
  sound = std::clamp<int64_t>(sound, 0, static_cast<int64_t>(samples.size()));
  MarkWritten(channel, pos, sound);
  // Damaged samples written over earlier recorded ones replace them.
  MarkUnwritten(channel, pos + sound, static_cast<int64_t>(samples.size()) - sound);
  return n;
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
