#include "hvsr_windows.h"

#include <cmath>

#include "common/datetime.h"

namespace tarvik::testing {

THvsrWindowSet PeakedWindows(const std::vector<double>& peaks, double seconds) {
  THvsrWindowSet set;
  for (int i = 0; i < 80; ++i) set.Grid.push_back(0.2 * std::pow(1.06, i));
  for (size_t w = 0; w < peaks.size(); ++w) {
    const double scale = 1.0 + 0.03 * static_cast<double>(w);
    std::vector<double> curve;
    for (double f : set.Grid) {
      if (peaks[w] > 0.0) {
        const double x = std::log(f / peaks[w]) / 0.12;
        curve.push_back(scale * (1.0 + 3.0 / (1.0 + x * x)));
      } else {
        curve.push_back(1.0);
      }
    }
    if (peaks[w] < 0.0) curve[10] = 0.0;
    set.Curves.push_back(curve);
    set.FirstSample.push_back(static_cast<int64_t>(static_cast<double>(w) * seconds * 100.0));
  }
  set.WindowSeconds = seconds;
  return set;
}

TFileRecord HvsrTestRecord() {
  TFileRecord r;
  r.Station = "ST1";
  r.SampRate = 100.0;
  r.Start = r.SelectStart = EncodeDateTime(2023, 1, 2, 3, 4, 5);
  r.SelectFinish = r.Start + 0.01;
  return r;
}

}  // namespace tarvik::testing
