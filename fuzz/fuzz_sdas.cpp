// SDAS files: the text header parser, the header reader and the sequential reader.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "records/formats.h"
#include "records/sdas.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const std::string path = fuzz::WriteScratchFile("in.sdas", data, size);

  TSDASCommonHead head;
  ParseSdasHeaderText(std::string_view(reinterpret_cast<const char*>(data), size), head);
  Recognize(path);
  TFileRecordInfo info;
  ReadSdasHeader(path, info, 0.0);
  // The header's own length, bounded; then a short matrix written from before its start.
  fuzz::ReadIntoMatrix(path, ReadSdasInto, info, std::clamp<int64_t>(info.SampleCount, 0, 4096), 0);
  fuzz::ReadIntoMatrix(path, ReadSdasInto, info, 64, -10);
  return 0;
}
