// miniSEED files: the record walk of the header reader and the segment builder, each segment's
// samples, and the record parser on the raw input. The walk, which reads only record heads,
// must visit exactly the records a walk over whole 4096-byte heads visits, and the first of
// the per-station headers must be the file's header.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "records/miniseed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const std::string path = fuzz::WriteScratchFile("in.mseed", data, size);
  const auto [info, list] = fuzz::ReadEverySegment(path, ReadMiniSeedHeader, BuildMiniSeedSegments);
  // The loader's merge over the file's span, when that span is of a sane length.
  if (!list.empty() && info.SampRate > 0.0) {
    const auto [from, to] = list.Span();
    if ((to - from) * 86400.0 * info.SampRate < 1e5) {
      list.GetData(info.Station, "00", to, from, info.ChannelNames[0]);
    }
  }

  std::vector<std::pair<int64_t, TMiniSEEDPacket>> walked;
  ForEachMiniSeedRecord(
      path, [&](int64_t offset, const TMiniSEEDPacket& p) { walked.emplace_back(offset, p); });
  size_t k = 0;
  for (int64_t offset = 0; offset < static_cast<int64_t>(size);) {
    const auto available = static_cast<int64_t>(size) - offset;
    const auto n = static_cast<size_t>(std::min<int64_t>(available, kMiniSeedDefaultRecordLength));
    TMiniSEEDPacket whole;
    const MiniSeedStatus st =
        ParseMiniSeedRecord(std::span<const uint8_t>(data + offset, n), available, whole, false);
    if (st == MiniSeedStatus::kOk) {
      if (k >= walked.size() || walked[k].first != offset) __builtin_trap();
      const TMiniSEEDPacket& p = walked[k++].second;
      if (p.Station != whole.Station || p.Channel != whole.Channel || p.Start != whole.Start ||
          p.SampleCount != whole.SampleCount || p.RecordLength != whole.RecordLength ||
          p.DataType != whole.DataType || p.DataOffset != whole.DataOffset ||
          p.TimingQuality != whole.TimingQuality) {
        __builtin_trap();
      }
    }
    const bool known = st == MiniSeedStatus::kOk || st == MiniSeedStatus::kTruncated;
    offset += known ? whole.RecordLength : kMiniSeedDefaultRecordLength;
  }
  if (k != walked.size()) __builtin_trap();

  std::vector<TFileRecordInfo> headers;
  ReadMiniSeedHeaders(path, headers);
  if (!headers.empty() &&
      (headers.front().Station != info.Station || headers.front().SampleCount != info.SampleCount ||
       headers.front().ChannelCount != info.ChannelCount)) {
    __builtin_trap();
  }

  TMiniSEEDPacket packet;
  const size_t head = std::min<size_t>(size, kMiniSeedDefaultRecordLength);
  ParseMiniSeedRecord(std::span<const uint8_t>(data, head), static_cast<int64_t>(size), packet,
                      true);
  return 0;
}
