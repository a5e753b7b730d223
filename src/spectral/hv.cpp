#include "spectral/hv.h"

#include <cmath>

namespace tarvik {

void FormHVRatios(TMatrix2D& values, TMatrix2D& stdev) {
  if (values.size() < 3 || stdev.size() < 3) {
    values.clear();
    stdev.clear();
    return;
  }
  values.resize(3);
  stdev.resize(3);
  const size_t n = values[0].size();
  for (int r = 0; r < 3; ++r) {
    if (values[r].size() != n || stdev[r].size() != n) {
      values.clear();
      stdev.clear();
      return;
    }
  }
  for (size_t i = 0; i < n; ++i) {
    double& e = values[0][i];
    double& north = values[1][i];
    double& z = values[2][i];
    double& se = stdev[0][i];
    double& sn = stdev[1][i];
    double& sz = stdev[2][i];
    if (z == 0.0) {
      e = north = 1.0;
      se = sn = 0.0;
    } else {
      // The spread of a ratio reaches from E/Z down to (E − sE)/(Z + sZ).
      se = (e * sz + z * se) / (z + sz) / z;
      sn = (north * sz + z * sn) / (z + sz) / z;
      e /= z;
      north /= z;
    }
    z = (e + north) / 2.0;
    sz = std::sqrt((sn * sn + se * se) / 2.0);
  }
}

bool CalculateHV(const std::string& prim_path, UiHost& host, TMatrix2D& ratios, TMatrix2D& stdev,
                 std::vector<double>* frequencies) {
  std::vector<double> freq;
  if (!ReadThreeComponent(prim_path, host, ratios, stdev, freq)) {
    ratios.clear();
    stdev.clear();
    if (frequencies != nullptr) frequencies->clear();
    return false;
  }
  const size_t n = freq.size();
  host.SetStatus("Расчет спектра Накамуры " + prim_path,
                 n > 0 ? static_cast<int>((n - 1) / 100) : 0);
  FormHVRatios(ratios, stdev);
  host.SetProgress(n > 0 ? static_cast<int>((n - 1) / 100) : 0,
                   n > 0 ? static_cast<int>((n - 1) / 100) : 0);
  if (frequencies != nullptr) *frequencies = std::move(freq);
  return true;
}

}  // namespace tarvik
