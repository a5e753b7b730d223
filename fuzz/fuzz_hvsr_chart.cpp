// The time and azimuth tables of the H/V statistics are read back by plot from any folder: the
// reader must take any bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "spectral/hvsr_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::THvsrSeriesChart chart;
  if (tarvik::ParseHvsrSeriesJson(bytes, chart).Ok()) {
    // One f0 and one curve per column, each curve empty or as long as the grid.
    if (chart.F0.size() != chart.X.size() || chart.F0Low.size() != chart.X.size() ||
        chart.F0High.size() != chart.X.size() || chart.Mean.size() != chart.X.size())
      __builtin_trap();
    for (const auto& row : chart.Mean) {
      if (!row.empty() && row.size() != chart.Frequency.size()) __builtin_trap();
    }
    if (!std::isfinite(chart.MaxMean)) __builtin_trap();
  }
  return 0;
}
