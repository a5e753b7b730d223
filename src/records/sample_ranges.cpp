#include "records/sample_ranges.h"

#include <algorithm>
#include <limits>

namespace tarvik {

namespace {

using Span = std::pair<int32_t, int32_t>;

int32_t Narrow(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

void AddRange(TRecordRanges& ranges, int64_t first, int64_t last) {
  if (first > last) return;
  const int32_t a = Narrow(first), b = Narrow(last);
  // Samples are written in order almost always: extend or append at the end.
  if (ranges.empty() || int64_t{a} > int64_t{ranges.back().second} + 1) {
    ranges.emplace_back(a, b);
    return;
  }
  if (a >= ranges.back().first) {
    ranges.back().second = std::max(ranges.back().second, b);
    return;
  }
  // The first span that ends at a - 1 or later touches or overlaps [a, b].
  auto lo = std::lower_bound(ranges.begin(), ranges.end(), int64_t{a} - 1,
                             [](const Span& s, int64_t v) { return s.second < v; });
  auto hi = lo;
  int32_t na = a, nb = b;
  while (hi != ranges.end() && int64_t{hi->first} <= int64_t{b} + 1) {
    na = std::min(na, hi->first);
    nb = std::max(nb, hi->second);
    ++hi;
  }
  if (lo == hi) {
    ranges.insert(lo, Span{na, nb});
    return;
  }
  *lo = Span{na, nb};
  ranges.erase(lo + 1, hi);
}

void RemoveRange(TRecordRanges& ranges, int64_t first, int64_t last) {
  if (first > last || ranges.empty()) return;
  TRecordRanges out;
  out.reserve(ranges.size() + 1);
  for (const Span& s : ranges) {
    if (s.second < first || s.first > last) {
      out.push_back(s);
      continue;
    }
    if (s.first < first) out.emplace_back(s.first, Narrow(first - 1));
    if (s.second > last) out.emplace_back(Narrow(last + 1), s.second);
  }
  ranges.swap(out);
}

TRecordRanges ComplementOf(const TRecordRanges& ranges, int64_t first, int64_t last) {
  TRecordRanges out;
  int64_t cursor = first;
  for (const Span& s : ranges) {
    if (s.second < cursor) continue;
    if (s.first > last) break;
    if (s.first > cursor) out.emplace_back(Narrow(cursor), Narrow(s.first - 1));
    cursor = int64_t{s.second} + 1;
  }
  if (cursor <= last) out.emplace_back(Narrow(cursor), Narrow(last));
  return out;
}

TRecordRanges UnionOf(std::span<const TRecordRanges> lists) {
  TRecordRanges all;
  for (const TRecordRanges& l : lists) all.insert(all.end(), l.begin(), l.end());
  std::sort(all.begin(), all.end());
  TRecordRanges out;
  for (const Span& s : all) AddRange(out, s.first, s.second);
  return out;
}

TRecordRanges ClipRanges(const TRecordRanges& ranges, int64_t first, int64_t last) {
  TRecordRanges out;
  for (const Span& s : ranges) {
    const int64_t a = std::max<int64_t>(s.first, first);
    const int64_t b = std::min<int64_t>(s.second, last);
    if (a <= b) out.emplace_back(Narrow(a), Narrow(b));
  }
  return out;
}

int64_t RangeSamples(const TRecordRanges& ranges) {
  int64_t n = 0;
  for (const Span& s : ranges) n += int64_t{s.second} - s.first + 1;
  return n;
}

TRecordRanges::const_iterator FirstRangeEndingAtOrAfter(const TRecordRanges& ranges,
                                                        int64_t index) {
  return std::lower_bound(ranges.begin(), ranges.end(), index,
                          [](const Span& s, int64_t v) { return s.second < v; });
}

}  // namespace tarvik
