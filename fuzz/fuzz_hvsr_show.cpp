// The H/V statistics the viewer draws come as three files from other machines: the input holds
// them in turn, separated by NUL bytes (".hv", "_windows.csv", "_report.json"; a part left out
// is a missing file). Each reader takes the bytes alone too.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/ui_host.h"
#include "fuzz_support.h"
#include "viewers/hvsr_show.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::THvWindowsFile windows;
  tarvik::THvReport report;
  (void)tarvik::ParseHvWindowsCsv(bytes, windows);
  (void)tarvik::ParseHvReport(bytes, report);

  const char* names[] = {"fuzz.hv", "fuzz_windows.csv", "fuzz_report.json"};
  size_t start = 0;
  for (const char* name : names) {
    const std::string path = tarvik::fuzz::Scratch().File(name);
    if (start > size) {
      std::error_code ec;
      std::filesystem::remove(path, ec);
      continue;
    }
    const void* nul = std::memchr(data + start, 0, size - start);
    const size_t end =
        nul == nullptr ? size : static_cast<size_t>(static_cast<const uint8_t*>(nul) - data);
    tarvik::fuzz::WriteFile(path, data + start, end - start);
    start = end + 1;
  }
  tarvik::NullUiHost host;
  tarvik::TSpectrumView view;
  tarvik::ShowHvsrResult(view, tarvik::fuzz::Scratch().File(names[0]), host);
  // Whatever was accepted is drawable: finite points on a positive frequency axis.
  for (const tarvik::TChartSeries& s : view.Series) {
    if (s.X.size() != s.Y.size()) __builtin_trap();
    for (size_t i = 0; i < s.X.size(); ++i) {
      if (!(s.X[i] > 0.0) || !std::isfinite(s.X[i]) || !std::isfinite(s.Y[i])) __builtin_trap();
    }
  }
  return 0;
}
