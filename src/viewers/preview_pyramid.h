#pragma once

// Minimum, maximum and sum of any run of a channel's samples in about log(n) steps, so that
// redrawing a day-long record costs about the pixel columns drawn rather than the samples shown.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvik {

struct TSampleSummary {
  int32_t Minimum = 0;
  int32_t Maximum = 0;
  int64_t Sum = 0;
  int64_t Count = 0;  // 0 for an empty run; the other fields are then 0
};

class TSamplePyramid {
 public:
  // Samples per node of the lowest level. Sixteen bytes per node and about two nodes per block
  // keep the pyramid at a quarter of the samples' own memory.
  static constexpr int64_t kBlock = 32;

  // Summarises samples block by block, then pairs of nodes level by level.
  void Build(std::span<const int32_t> samples);
  void Clear();

  // The same built piece by piece as a record is read: Clear, Reserve (optional, the samples to
  // come), Append the runs in order, then Finish; the pyramid is then the one Build gives for
  // the runs joined.
  void Reserve(int64_t samples);
  void Append(std::span<const int32_t> samples);
  void Finish();

  // The summary of samples[first..last], both clamped to the samples. samples must be the
  // run the pyramid was built from; a run of another length is scanned sample by sample.
  TSampleSummary Summarize(std::span<const int32_t> samples, int64_t first, int64_t last) const;

  // Bytes held by the nodes.
  size_t MemoryBytes() const;

 private:
  struct Node {
    int32_t Min;
    int32_t Max;
    int64_t Sum;
  };
  std::vector<std::vector<Node>> levels_;
  int64_t size_ = 0;
  // The summary of the samples appended past the last whole block.
  Node tail_{INT32_MAX, INT32_MIN, 0};
};

}  // namespace tarvik
