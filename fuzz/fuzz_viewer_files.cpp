// Result files the viewer draws come from other programs and other machines: its strict table
// reading, then what it does with a table it accepted (the chart with its spread, the ratio
// chart, the average and median of a set, band amplitudes over the curves).
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ui_host.h"
#include "fuzz_support.h"
#include "viewers/band_amplitudes.h"
#include "viewers/spectrum_files.h"
#include "viewers/spectrum_show.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tarvik::fuzz::WriteScratchFile("viewer.dat", data, size);
  tarvik::NullUiHost host;
  tarvik::TSpectrumView view;
  if (tarvik::ShowSpectrumFile(view, path, true, 1, 3, host)) {
    tarvik::StandardBandValues(view, tarvik::TBandMeasure::kIntegral);
    tarvik::SeriesBandValues(view, tarvik::TBandMeasure::kMean, 0.5, 10.0);
    tarvik::WindowBandDialog(view, tarvik::TBandMeasure::kIntegral, 0.0, 1e9);
  }
  tarvik::ShowRatioFile(view, path, true, host);

  tarvik::TResultTable table;
  std::string error;
  if (tarvik::ParseViewerTable(
          std::string_view(reinterpret_cast<const char*>(data), size), table, error)) {
    tarvik::TResultTable shifted = table;
    for (double& f : shifted.Frequencies) f *= 0.5;
    tarvik::TAverageResult result;
    tarvik::CombineSpectra({table, shifted}, {"a", "b"}, false, result);
    tarvik::CombineSpectra({shifted, table, table}, {"a", "b", "c"}, true, result);
  }
  return 0;
}
