// A noise-statistics result is read back by plot and the viewer from any folder: every picture
// of it must take any bytes, and a grid it draws stays within what the file gives.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "viewers/psd_chart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tarvik::fuzz::WriteScratchFile("stats.json", data, size);
  for (const char* choice_text : {"density", "spectrogram", "band:4-8"}) {
    tarvik::TPsdChartChoice choice;
    if (!tarvik::ParsePsdChartChoice(choice_text, choice).Ok()) __builtin_trap();
    tarvik::TSpectrumView view;
    if (!tarvik::ShowPsdStats(view, path, choice).Ok()) continue;
    for (const tarvik::TChartSeries& s : view.Series) {
      if (s.X.size() != s.Y.size()) __builtin_trap();
      const tarvik::TColorGrid& g = s.Map;
      if (g.Values.size() != static_cast<size_t>(g.Columns) * static_cast<size_t>(g.Rows))
        __builtin_trap();
      // A grid is at most a few cells per byte of the file, beyond a fixed margin.
      if (g.Values.size() > 4 * size + 65536) __builtin_trap();
      if (g.Columns > 0 && !(g.X1 > g.X0 && g.Y1 > g.Y0)) __builtin_trap();
    }
  }
  return 0;
}
