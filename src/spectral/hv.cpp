#include "spectral/hv.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarvik {

namespace {

// Those of E, N, Z whose columns in the spectrum file's header are the placeholders the writer
// puts in place of a channel the record did not have ("Z_Amp", "Z_StDev"), as "Z" or "E, N";
// empty when all three are channels' spectra or the header cannot be read.
std::string PlaceholderComponents(const std::string& path) {
  std::ifstream in{std::filesystem::path(path), std::ios::binary};
  // The header's first seven columns lie well within this.
  std::string header(4096, '\0');
  in.read(header.data(), static_cast<std::streamsize>(header.size()));
  header.resize(static_cast<size_t>(in.gcount()));
  header.resize(std::min(header.size(), header.find('\n')));
  std::vector<std::string> fields;
  std::istringstream split(header);
  for (std::string f; split >> f;) fields.push_back(f);
  std::string missing;
  for (int axis = 0; axis < 3; ++axis) {
    const size_t column = 1 + 2 * static_cast<size_t>(axis);
    if (column >= fields.size()) break;
    if (fields[column] != std::string(1, kComponentLetters[axis]) + "_Amp") continue;
    if (!missing.empty()) missing += ", ";
    missing += kComponentLetters[axis];
  }
  return missing;
}

}  // namespace

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

std::string MissingHVComponents(const TFileRecord& record) {
  bool present[3] = {false, false, false};
  const int n = std::clamp(record.ChannelCount(), 0, kMaxChannels);
  for (int c = 0; c < n; ++c) {
    const int32_t axis = ComponentNumber(record.Channels[c].Axis);
    if (record.Channels[c].Selected && axis >= 0 && axis < 3) present[axis] = true;
  }
  std::string missing;
  for (int axis = 0; axis < 3; ++axis) {
    if (present[axis]) continue;
    if (!missing.empty()) missing += ", ";
    missing += kComponentLetters[axis];
  }
  return missing;
}

bool CalculateHV(const std::string& prim_path, UiHost& host, TMatrix2D& ratios, TMatrix2D& stdev,
                 std::vector<double>* frequencies, TStatus* reason) {
  std::vector<double> freq;
  const auto fail = [&] {
    ratios.clear();
    stdev.clear();
    if (frequencies != nullptr) frequencies->clear();
    return false;
  };
  if (!ReadThreeComponent(prim_path, host, ratios, stdev, freq)) return fail();
  const std::string missing = PlaceholderComponents(prim_path);
  if (!missing.empty()) {
    TStatus text =
        MakeStatus(missing.size() == 1 ? TCode::kNoComponentSpectrum : TCode::kNoComponentsSpectrum,
                   {prim_path, missing});
    text.File = prim_path;
    host.ShowMessage(text);
    if (reason != nullptr) *reason = text;
    return fail();
  }
  const size_t n = freq.size();
  host.SetStatus(MakeStatus(TCode::kHVSpectrum, {prim_path}),
                 n > 0 ? static_cast<int>((n - 1) / 100) : 0);
  FormHVRatios(ratios, stdev);
  host.SetProgress(n > 0 ? static_cast<int>((n - 1) / 100) : 0,
                   n > 0 ? static_cast<int>((n - 1) / 100) : 0);
  if (frequencies != nullptr) *frequencies = std::move(freq);
  return true;
}

}  // namespace tarvik
