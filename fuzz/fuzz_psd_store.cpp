// PSD store files are read back from results folders that other runs, other machines and
// damaged disks wrote: the reader must take any bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "spectral/psd_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const bool with_full : {true, false}) {
    tarvik::TPsdDay day;
    tarvik::TStatus why;
    if (!tarvik::DecodePsdDay(bytes, day, &why, with_full)) {
      if (why.Ok()) __builtin_trap();  // a refusal always says why
      // The byte at fault, when named, lies in the file.
      if (why.Offset >= 0 && static_cast<size_t>(why.Offset) > size) __builtin_trap();
      continue;
    }
    // What was accepted is whole: every segment holds its values, in order, and writes back to
    // the same bytes.
    for (size_t s = 0; s < day.Segments.size(); ++s) {
      const tarvik::TPsdSegment& seg = day.Segments[s];
      if (seg.Grid.size() != day.Periods.size()) __builtin_trap();
      if (with_full && seg.Full.size() != static_cast<size_t>(day.Lines())) __builtin_trap();
      if (s > 0 && !(seg.Start > day.Segments[s - 1].Start)) __builtin_trap();
    }
    if (with_full && tarvik::EncodePsdDay(day) != bytes) __builtin_trap();
  }
  return 0;
}
