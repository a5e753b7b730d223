// Reads arbitrary bytes as a wfdisc index: header, segments, and the samples of segments that
// name files inside the fuzzing folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/wfdisc.h"

namespace {

// A small data file that index lines may point at (dir "-", dfile "d.w"): binary bytes, then a
// few text numbers.
std::string WriteDataFile() {
  std::string bytes;
  for (int i = 0; i < 64; ++i) bytes.push_back(static_cast<char>(i * 37));
  bytes += "\n1.5\n-2\n3e2\n";
  return tarvik::fuzz::WriteScratchFile("d.w", reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  static const std::string kDataFile = WriteDataFile();
  int read = 0;
  const std::string path = fuzz::WriteScratchFile("x.wfdisc", data, size);
  const auto [info, list] = fuzz::ReadEverySegment(
      path, ReadWfdiscHeader, BuildWfdiscSegments, [&](const TRecordDescription& segment) {
        return segment.FileName == kDataFile && ++read <= 16;
      });
  // A header per station; the first is the file's header, and each station's segments are
  // those of the whole list that carry its name.
  std::vector<TFileRecordInfo> headers;
  ReadWfdiscHeaders(path, headers);
  if (!headers.empty() && (headers.front().Station != info.Station ||
                           headers.front().SampleCount != info.SampleCount)) {
    __builtin_trap();
  }
  size_t total = 0;
  for (const TFileRecordInfo& h : headers) {
    TRecList own;
    BuildWfdiscSegments(path, own, h.Station);
    total += own.size();
  }
  if (total != list.size()) __builtin_trap();
  return 0;
}
