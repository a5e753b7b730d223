#include "viewers/preview_pyramid.h"

#include <algorithm>
#include <limits>

namespace tarvik {

namespace {

struct Accumulator {
  int32_t Min = std::numeric_limits<int32_t>::max();
  int32_t Max = std::numeric_limits<int32_t>::min();
  int64_t Sum = 0;

  void Scan(const int32_t* p, int64_t n) {
    int32_t lo = Min, hi = Max;
    int64_t s = Sum;
    for (int64_t i = 0; i < n; ++i) {
      lo = std::min(lo, p[i]);
      hi = std::max(hi, p[i]);
      s += p[i];
    }
    Min = lo;
    Max = hi;
    Sum = s;
  }
  template <typename Node>
  void Take(const Node& node) {
    Min = std::min(Min, node.Min);
    Max = std::max(Max, node.Max);
    Sum += node.Sum;
  }
};

}  // namespace

void TSamplePyramid::Clear() {
  levels_.clear();
  levels_.shrink_to_fit();
  size_ = 0;
  tail_ = Node{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(), 0};
}

void TSamplePyramid::Build(std::span<const int32_t> samples) {
  Clear();
  Reserve(static_cast<int64_t>(samples.size()));
  Append(samples);
  Finish();
}

void TSamplePyramid::Reserve(int64_t samples) {
  if (levels_.empty()) levels_.emplace_back();
  levels_.front().reserve(static_cast<size_t>(std::max<int64_t>(samples, 0) / kBlock));
}

void TSamplePyramid::Append(std::span<const int32_t> samples) {
  if (levels_.empty()) levels_.emplace_back();
  std::vector<Node>& level = levels_.front();
  const int32_t* p = samples.data();
  const auto n = static_cast<int64_t>(samples.size());
  int64_t i = 0;
  // First the block the previous run left open.
  if (const int64_t open = size_ % kBlock; open > 0 && n > 0) {
    const int64_t take = std::min(kBlock - open, n);
    Accumulator acc{tail_.Min, tail_.Max, tail_.Sum};
    acc.Scan(p, take);
    tail_ = Node{acc.Min, acc.Max, acc.Sum};
    i = take;
    if (open + take == kBlock) {
      level.push_back(tail_);
      tail_ = Node{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(), 0};
    }
  }
  for (; i + kBlock <= n; i += kBlock) {
    Accumulator acc;
    acc.Scan(p + i, kBlock);
    level.push_back(Node{acc.Min, acc.Max, acc.Sum});
  }
  if (i < n) {
    Accumulator acc{tail_.Min, tail_.Max, tail_.Sum};
    acc.Scan(p + i, n - i);
    tail_ = Node{acc.Min, acc.Max, acc.Sum};
  }
  size_ += n;
}

void TSamplePyramid::Finish() {
  if (levels_.empty() || levels_.front().empty()) {
    levels_.clear();
    levels_.shrink_to_fit();
    return;
  }
  levels_.resize(1);
  if (levels_.front().capacity() > levels_.front().size()) levels_.front().shrink_to_fit();
  while (levels_.back().size() > 1) {
    const std::vector<Node>& below = levels_.back();
    std::vector<Node> up(below.size() / 2);
    for (size_t i = 0; i < up.size(); ++i) {
      const Node& l = below[2 * i];
      const Node& r = below[2 * i + 1];
      up[i] = Node{std::min(l.Min, r.Min), std::max(l.Max, r.Max), l.Sum + r.Sum};
    }
    levels_.push_back(std::move(up));
  }
}

TSampleSummary TSamplePyramid::Summarize(std::span<const int32_t> samples, int64_t first,
                                         int64_t last) const {
  const auto n = static_cast<int64_t>(samples.size());
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, n - 1);
  if (first > last) return {};
  Accumulator acc;
  // Whole blocks [lo, hi) go through the levels; the samples around them are read directly.
  int64_t lo = (first + kBlock - 1) / kBlock;
  int64_t hi = (last + 1) / kBlock;
  if (n != size_ || levels_.empty() || lo >= hi) {
    acc.Scan(samples.data() + first, last - first + 1);
  } else {
    acc.Scan(samples.data() + first, lo * kBlock - first);
    acc.Scan(samples.data() + hi * kBlock, last + 1 - hi * kBlock);
    for (size_t k = 0; k < levels_.size() && lo < hi; ++k) {
      const std::vector<Node>& level = levels_[k];
      if (k + 1 == levels_.size()) {
        for (int64_t i = lo; i < hi; ++i) acc.Take(level[static_cast<size_t>(i)]);
        break;
      }
      // An unpaired node at either end is taken here; the pairs between go one level up.
      if (lo & 1) acc.Take(level[static_cast<size_t>(lo++)]);
      if (hi & 1) acc.Take(level[static_cast<size_t>(--hi)]);
      lo >>= 1;
      hi >>= 1;
    }
  }
  return TSampleSummary{acc.Min, acc.Max, acc.Sum, last - first + 1};
}

size_t TSamplePyramid::MemoryBytes() const {
  size_t bytes = 0;
  for (const std::vector<Node>& level : levels_) bytes += level.capacity() * sizeof(Node);
  return bytes;
}

}  // namespace tarvik
