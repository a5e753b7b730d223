#pragma once

// Why the search for quiet intervals left nothing to transform, so that the message of a record
// without spectra names its cause instead of only saying that there was too little data.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "records/record_model.h"

namespace tarvik {

// The cause, in the words of the record's message: the selected channels whose admissible level
// is not set (0 or below: every sample, or nearly every, counts as disturbed); otherwise, for each
// selected channel whose signal exceeds its level within searched[c][first..last], the level and
// how many of the span's samples exceed it; and when no sample exceeds any level, the length of the
// span beside the segment length it must hold. channels are the selected channels searched.
// The cause is kLevelNotSet (the channels joined by kJoinedComma), kLevelExceeded (one per
// channel, joined by kJoinedSemicolon) or kInSelectedInterval.
TStatus NoQuietIntervalReason(const TFileRecord& record, const TData32& searched,
                              std::span<const int> channels, int64_t first, int64_t last,
                              int64_t segment_length);

// parts told one after another, separator (kJoinedComma, kJoinedSemicolon) between each two;
// kOk for none.
TStatus JoinStatuses(const std::vector<TStatus>& parts, TCode separator);

}  // namespace tarvik
