// ".hv" files come from other H/V tools and other machines: the reader must take any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "spectral/hv_export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::THvFile file;
  std::string error;
  if (tarvik::ParseHvFile(bytes, file, &error)) {
    // Every column as long as the frequencies.
    if (file.Average.size() != file.Frequency.size() || file.Min.size() != file.Frequency.size() ||
        file.Max.size() != file.Frequency.size()) {
      __builtin_trap();
    }
  }
  return 0;
}
