#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "records/load_record.h"

namespace tarvik {

// The part of a record read in blocks that the work at hand needs: from Base() on, up to the
// furthest sample asked for. The spectra and the noise statistics move it along the record, so
// that a record of any length is held only as far as one segment and its surroundings need.
class RecordWindow {
 public:
  explicit RecordWindow(RecordBlocks& blocks)
      : blocks_(blocks), rows_(static_cast<size_t>(blocks.Channels())) {}

  int64_t Base() const { return base_; }
  // Channel c from sample Base() on.
  const int32_t* Row(size_t c) const { return rows_[c].data(); }

  // Reads blocks until the window holds the samples before end (or the record ends).
  void Fill(int64_t end) {
    while (base_ + Held() < end && blocks_.Next(block_)) {
      for (size_t c = 0; c < rows_.size() && c < block_.Samples.size(); ++c) {
        rows_[c].insert(rows_[c].end(), block_.Samples[c].begin(), block_.Samples[c].end());
      }
    }
  }

  // Forgets the samples before below; the memory is moved once they are half of the window.
  void Drop(int64_t below) {
    const int64_t n = std::min(below - base_, Held());
    if (n <= 0 || 2 * n < Held()) return;
    for (std::vector<int32_t>& row : rows_) row.erase(row.begin(), row.begin() + n);
    base_ += n;
  }

 private:
  int64_t Held() const { return rows_.empty() ? 0 : static_cast<int64_t>(rows_[0].size()); }

  RecordBlocks& blocks_;
  TData32 rows_;
  RecordBlock block_;
  int64_t base_ = 0;
};

}  // namespace tarvik
