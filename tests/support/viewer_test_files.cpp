#include "viewer_test_files.h"

#include <charconv>
#include <fstream>

namespace tarvik::testing {

namespace {

std::string Number(double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, end);
}

}  // namespace

std::string ResultText(const std::vector<std::string>& header,
                       const std::vector<std::vector<double>>& rows) {
  std::string text;
  for (size_t k = 0; k < header.size(); ++k) text += (k ? "\t" : "") + header[k];
  text += "\r\n";
  for (const auto& row : rows) {
    for (size_t k = 0; k < row.size(); ++k) text += (k ? "\t" : "") + Number(row[k]);
    text += "\r\n";
  }
  return text;
}

std::string ThreeComponentText(int lines, double step, double (*value)(int c, int i),
                               double (*spread)(int c, int i)) {
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < lines; ++i) {
    std::vector<double> row{i * step};
    for (int c = 0; c < 3; ++c) {
      row.push_back(value(c, i));
      row.push_back(spread(c, i));
    }
    rows.push_back(std::move(row));
  }
  return ResultText({"Freq", "E_Amp", "E_StDev", "N_Amp", "N_StDev", "Z_Amp", "Z_StDev"}, rows);
}

std::string WriteResult(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

}  // namespace tarvik::testing
