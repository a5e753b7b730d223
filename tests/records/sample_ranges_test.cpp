#include "records/sample_ranges.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace tarvik {
namespace {

// The set a span list stands for, index by index.
std::set<int64_t> Indices(const TRecordRanges& ranges) {
  std::set<int64_t> out;
  for (const auto& [a, b] : ranges) {
    for (int64_t i = a; i <= b; ++i) out.insert(i);
  }
  return out;
}

// Sorted, disjoint and never touching: the form every operation must keep.
bool Canonical(const TRecordRanges& ranges) {
  for (size_t k = 0; k < ranges.size(); ++k) {
    if (ranges[k].first > ranges[k].second) return false;
    if (k > 0 && int64_t{ranges[k - 1].second} + 1 >= ranges[k].first) return false;
  }
  return true;
}

// Random additions and removals, in and out of order, against a set of indices.
TEST(SampleRanges, AddAndRemoveMatchASetOfIndices) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    TRecordRanges ranges;
    std::set<int64_t> truth;
    for (int step = 0; step < 30; ++step) {
      const int64_t a = static_cast<int64_t>(rng() % 120);
      const int64_t b = a + static_cast<int64_t>(rng() % 15) - 2;  // sometimes empty
      if (rng() % 3 == 0) {
        RemoveRange(ranges, a, b);
        for (int64_t i = a; i <= b; ++i) truth.erase(i);
      } else {
        AddRange(ranges, a, b);
        for (int64_t i = a; i <= b; ++i) truth.insert(i);
      }
      ASSERT_TRUE(Canonical(ranges)) << "trial " << trial << " step " << step;
      ASSERT_EQ(Indices(ranges), truth) << "trial " << trial << " step " << step;
    }
    // What the set lacks in 0..130, and the set clipped to 20..90.
    std::set<int64_t> missing, clipped;
    for (int64_t i = 0; i <= 130; ++i) {
      if (!truth.count(i)) missing.insert(i);
      if (truth.count(i) && i >= 20 && i <= 90) clipped.insert(i);
    }
    const TRecordRanges complement = ComplementOf(ranges, 0, 130);
    EXPECT_TRUE(Canonical(complement));
    EXPECT_EQ(Indices(complement), missing);
    EXPECT_EQ(Indices(ClipRanges(ranges, 20, 90)), clipped);
    EXPECT_EQ(RangeSamples(ranges), static_cast<int64_t>(truth.size()));
  }
}

TEST(SampleRanges, UnionAndSearch) {
  const TRecordRanges a = {{0, 4}, {20, 29}};
  const TRecordRanges b = {{5, 9}, {25, 40}, {60, 60}};
  const TRecordRanges lists[] = {a, b, {}};
  EXPECT_EQ(UnionOf(lists), (TRecordRanges{{0, 9}, {20, 40}, {60, 60}}));
  const TRecordRanges u = UnionOf(lists);
  EXPECT_EQ(FirstRangeEndingAtOrAfter(u, 0), u.begin());
  EXPECT_EQ(FirstRangeEndingAtOrAfter(u, 10), u.begin() + 1);
  EXPECT_EQ(FirstRangeEndingAtOrAfter(u, 40), u.begin() + 1);
  EXPECT_EQ(FirstRangeEndingAtOrAfter(u, 41), u.begin() + 2);
  EXPECT_EQ(FirstRangeEndingAtOrAfter(u, 61), u.end());
}

}  // namespace
}  // namespace tarvik
