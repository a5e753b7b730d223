#pragma once

// Sets of sample indices kept as spans (first and last inclusive, sorted, disjoint, never
// touching), so that a day of data with a few gaps costs a few pairs instead of a mask.

#include <cstdint>
#include <span>
#include <vector>

#include "records/record_model.h"

namespace tarvik {

// One span list per channel of a sample matrix.
using TChannelRanges = std::vector<TRecordRanges>;

// Adds [first, last] (nothing when first > last), merging the spans it overlaps or touches.
// Adding behind the last span costs O(1).
void AddRange(TRecordRanges& ranges, int64_t first, int64_t last);

// Removes [first, last] from the set.
void RemoveRange(TRecordRanges& ranges, int64_t first, int64_t last);

// The indices of [first, last] that the set does not hold.
TRecordRanges ComplementOf(const TRecordRanges& ranges, int64_t first, int64_t last);

// The indices held by any of the lists.
TRecordRanges UnionOf(std::span<const TRecordRanges> lists);

// The part of the set within [first, last].
TRecordRanges ClipRanges(const TRecordRanges& ranges, int64_t first, int64_t last);

// How many indices the set holds.
int64_t RangeSamples(const TRecordRanges& ranges);

// The span holding index, or the first span after it; ranges.end() when none is.
TRecordRanges::const_iterator FirstRangeEndingAtOrAfter(const TRecordRanges& ranges, int64_t index);

}  // namespace tarvik
