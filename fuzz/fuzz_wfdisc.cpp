// Reads arbitrary bytes as a wfdisc index: header, segments, and the samples of segments that
// name files inside the fuzzing folder.
#include <cstddef>
#include <cstdint>
#include <string>

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
  static const std::string data_file = WriteDataFile();
  int read = 0;
  fuzz::ReadEverySegment(fuzz::WriteScratchFile("x.wfdisc", data, size), ReadWfdiscHeader,
                         BuildWfdiscSegments, [&](const TRecordDescription& segment) {
                           return segment.FileName == data_file && ++read <= 16;
                         });
  return 0;
}
