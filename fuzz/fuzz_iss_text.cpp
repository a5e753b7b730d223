// Reads arbitrary bytes as an ISS text trigger file: header, then the triggers written into a
// small matrix as the record's first file and as a later one, at the file's own rate or a
// higher record rate (resampling).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/iss_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tarvik::fuzz::WriteScratchFile("x.iss_dat", data, size);
  tarvik::TFileRecordInfo info;
  tarvik::ReadIssHeader(path, info, 100.0);
  const size_t channels = static_cast<size_t>(std::max(info.ChannelCount, 1));
  const int64_t length = std::clamp<int64_t>(info.SampleCount, 1, 2048);
  for (int pass = 0; pass < 3; ++pass) {
    tarvik::TData32 matrix(channels, std::vector<int32_t>(static_cast<size_t>(length), 0));
    tarvik::LoadTarget target;
    target.First = info;
    if (pass == 1) target.First.SampRate = info.SampRate * 3.0 + 1.0;
    target.Data = &matrix;
    target.RecordStart = info.Start;
    target.Position = pass == 2 ? 7 : 0;
    tarvik::ReadIssInto(path, target);
  }
  return 0;
}
