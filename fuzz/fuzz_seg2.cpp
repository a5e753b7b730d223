// SEG-2 files: the header reader, the loader's reader placed at the file's own start, each
// trace's samples, and the content test of recognition on the raw input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/seg2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const std::string path = fuzz::WriteScratchFile("x.seg2", data, size);
  LooksLikeSeg2(std::span<const uint8_t>(data, size), static_cast<int64_t>(size));
  TFileRecordInfo info;
  TStatus why;
  const bool read = ReadSeg2Header(path, info, 100.0, &why);
  // A refusal always says why.
  if (!read && why.Ok()) __builtin_trap();
  if (!read) return 0;
  if (info.ChannelCount < 1 || info.ChannelCount > kMaxChannels || !(info.SampRate > 0.0)) {
    __builtin_trap();
  }

  const std::optional<Seg2File> f = ReadSeg2Fields(path);
  if (!f) __builtin_trap();
  BinaryFile file(path);
  for (const Seg2Trace& t : f->Traces) {
    // Never more samples than the file's bytes can hold.
    if (t.Samples < 0 || t.Samples > static_cast<int64_t>(size)) __builtin_trap();
    if (ReadSeg2Samples(file, *f, t).size() != static_cast<size_t>(t.Samples)) __builtin_trap();
  }

  const int64_t length = std::min<int64_t>(info.SampleCount, 1 << 16) + 1;
  TData32 matrix(static_cast<size_t>(info.ChannelCount),
                 std::vector<int32_t>(static_cast<size_t>(length), 0));
  LoadTarget target;
  target.Data = &matrix;
  target.First = info;
  target.RecordStart = info.Start;
  ReadSeg2Into(path, target);
  if (target.Position < 0 || target.Position > length) __builtin_trap();
  return 0;
}
