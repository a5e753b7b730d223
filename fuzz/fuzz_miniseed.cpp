// miniSEED files: the record walk of the header reader and the segment builder, each segment's
// samples, and the record parser on the raw input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "records/miniseed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const auto [info, list] = fuzz::ReadEverySegment(fuzz::WriteScratchFile("in.mseed", data, size),
                                                   ReadMiniSeedHeader, BuildMiniSeedSegments);
  // The loader's merge over the file's span, when that span is of a sane length.
  if (!list.empty() && info.SampRate > 0.0) {
    const auto [from, to] = list.Span();
    if ((to - from) * 86400.0 * info.SampRate < 1e5) {
      list.GetData(info.Station, "00", to, from, info.ChannelNames[0]);
    }
  }

  TMiniSEEDPacket packet;
  const size_t head = std::min<size_t>(size, kMiniSeedDefaultRecordLength);
  ParseMiniSeedRecord(std::span<const uint8_t>(data, head), static_cast<int64_t>(size), packet,
                      true);
  return 0;
}
