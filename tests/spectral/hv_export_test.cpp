#include "spectral/hv_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "hvsr_windows.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

// A result with a clear peak: 12 windows, peaks at 2 Hz ± a little.
THvsrResult Designed() {
  std::vector<double> peaks;
  for (int w = 0; w < 12; ++w) peaks.push_back(2.0 * std::exp(0.03 * ((w % 5) - 2)));
  return AnalyseWindows(testing::PeakedWindows(peaks, 30.0), THvsrSettings{});
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A second reading of the ".hv" layout, written without the program's reader: header values
// after TAB or " = ", then four TAB-separated columns per line.
struct Independent {
  double Windows = -1, F0Average = -1, WindowsForF0 = -1, Peak = -1;
  std::vector<double> F0Windows;
  std::vector<std::vector<double>> Rows;
};

Independent ReadIndependently(const std::string& text) {
  Independent out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("# ", 0) == 0) {
      auto after = [&](const std::string& key) -> std::string {
        if (line.rfind("# " + key, 0) != 0) return "";
        std::string rest = line.substr(2 + key.size());
        if (rest.rfind(" = ", 0) == 0) return rest.substr(3);
        if (rest.rfind("\t", 0) == 0) return rest.substr(1);
        return "";
      };
      if (auto v = after("Number of windows for f0"); !v.empty()) {
        out.WindowsForF0 = std::stod(v);
      } else if (auto v2 = after("Number of windows"); !v2.empty()) {
        out.Windows = std::stod(v2);
      } else if (auto v3 = after("f0 from average"); !v3.empty()) {
        out.F0Average = std::stod(v3);
      } else if (auto v4 = after("f0 from windows"); !v4.empty()) {
        std::istringstream values(v4);
        double x;
        while (values >> x) out.F0Windows.push_back(x);
      } else if (auto v5 = after("Peak amplitude"); !v5.empty()) {
        out.Peak = std::stod(v5);
      }
      continue;
    }
    std::istringstream values(line);
    std::vector<double> row;
    double x;
    while (values >> x) row.push_back(x);
    out.Rows.push_back(row);
  }
  return out;
}

// Six significant digits in the file.
void ExpectSix(double file, double exact, const std::string& what) {
  EXPECT_NEAR(file, exact, 5e-6 * std::fabs(exact) + 1e-300) << what;
}

TEST(HvExport, FileReadTwoWaysEqualsTheReport) {
  const THvsrResult r = Designed();
  ASSERT_TRUE(r.Ok) << r.Verdict;
  TempDir dir;
  THvsrPaths paths;
  paths.Hv = dir.File("a.hv");
  paths.Windows = dir.File("a_windows.csv");
  paths.Report = dir.File("a_report.json");
  std::string message;
  ASSERT_TRUE(WriteHvsrFiles(paths, r, testing::HvsrTestRecord(), message)) << message;
  const nlohmann::json report = nlohmann::json::parse(ReadText(paths.Report));
  const std::string text = ReadText(paths.Hv);
  EXPECT_NE(text.find("\r\n"), std::string::npos);

  THvFile ours;
  std::string error;
  ASSERT_TRUE(ParseHvFile(text, ours, &error)) << error;
  const Independent theirs = ReadIndependently(text);

  EXPECT_EQ(ours.Windows, report["windows"]["mean_curve"].get<int>());
  EXPECT_EQ(theirs.Windows, report["windows"]["mean_curve"].get<int>());
  EXPECT_EQ(ours.WindowsForF0, report["f0_from_windows"]["windows"].get<int>());
  EXPECT_EQ(theirs.WindowsForF0, report["f0_from_windows"]["windows"].get<int>());
  const double f0 = report["f0_from_average"]["f0"].get<double>();
  const double a0 = report["f0_from_average"]["a0"].get<double>();
  ExpectSix(ours.F0Average, f0, "f0 ours");
  ExpectSix(theirs.F0Average, f0, "f0 theirs");
  ExpectSix(ours.PeakAmplitude, a0, "A0 ours");
  ExpectSix(theirs.Peak, a0, "A0 theirs");
  const auto& fw = report["f0_from_windows"];
  ASSERT_EQ(theirs.F0Windows.size(), 3u);
  ExpectSix(ours.F0Windows, fw["median"].get<double>(), "median ours");
  ExpectSix(ours.F0WindowsLow, fw["minus_sigma"].get<double>(), "low ours");
  ExpectSix(ours.F0WindowsHigh, fw["plus_sigma"].get<double>(), "high ours");
  ExpectSix(theirs.F0Windows[0], fw["median"].get<double>(), "median theirs");
  ExpectSix(theirs.F0Windows[1], fw["minus_sigma"].get<double>(), "low theirs");
  ExpectSix(theirs.F0Windows[2], fw["plus_sigma"].get<double>(), "high theirs");
  // The report's median is the lognormal one: exp of the mean ln f0 of the kept windows.
  EXPECT_NEAR(fw["minus_sigma"].get<double>() * fw["plus_sigma"].get<double>(),
              std::pow(fw["median"].get<double>(), 2), 1e-12);

  const auto& curve = report["curve"];
  const size_t n = curve["frequency"].size();
  ASSERT_EQ(n, r.Grid.size());
  ASSERT_EQ(ours.Frequency.size(), n);
  ASSERT_EQ(theirs.Rows.size(), n);
  for (size_t i = 0; i < n; ++i) {
    const double avg = curve["average"][i].get<double>();
    const double spread = std::exp(curve["sigma_ln"][i].get<double>());
    ExpectSix(ours.Frequency[i], curve["frequency"][i].get<double>(), "f");
    ExpectSix(ours.Average[i], avg, "avg");
    ExpectSix(ours.Min[i], avg / spread, "min");
    ExpectSix(ours.Max[i], avg * spread, "max");
    ASSERT_EQ(theirs.Rows[i].size(), 4u);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(theirs.Rows[i][k], (std::vector<double>{ours.Frequency[i], ours.Average[i],
                                                        ours.Min[i], ours.Max[i]}[k]));
    }
  }

  // The report lists every criterion with what it tested.
  EXPECT_EQ(report["sesame"]["reliable"]["criteria"].size(), 3u);
  EXPECT_EQ(report["sesame"]["clear"]["criteria"].size(), 6u);
  EXPECT_EQ(report["sesame"]["clear"]["criteria"][2]["value"].get<double>(), a0);
  EXPECT_EQ(report["verdict"].get<std::string>(), r.Verdict);
  EXPECT_EQ(report["window_list"].size(), 12u);

  // The CSV: a header with the grid, one line per window.
  const std::string csv = ReadText(paths.Windows);
  std::istringstream lines(csv);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) ++count;
  EXPECT_EQ(count, 13);
  EXPECT_EQ(csv.rfind("window,first_sample,start_s,fate,f0,0.2,", 0), 0u);
  EXPECT_NE(csv.find("\n2,3000,30,kept,"), std::string::npos);
}

TEST(HvExport, PathsBesideTheRatioFolder) {
  const TResultFolders folders = DeriveResultFolders("/data/results");
  TFileRecord r = testing::HvsrTestRecord();
  const THvsrPaths p = HvsrFilePaths(folders, r);
  EXPECT_EQ(p.Folder, "/data/results/Spectra/HVSR");
  EXPECT_EQ(p.Hv, "/data/results/Spectra/HVSR/ST1_230102-030405.hv");
  EXPECT_EQ(p.Windows, "/data/results/Spectra/HVSR/ST1_230102-030405_windows.csv");
  EXPECT_EQ(p.Report, "/data/results/Spectra/HVSR/ST1_230102-030405_report.json");
}

struct BadFile {
  const char* Text;
  const char* Error;
};

class HvReader : public ::testing::TestWithParam<BadFile> {};

TEST_P(HvReader, RefusesDamagedFiles) {
  THvFile f;
  std::string error;
  EXPECT_FALSE(ParseHvFile(GetParam().Text, f, &error));
  EXPECT_EQ(error, GetParam().Error);
  EXPECT_TRUE(f.Frequency.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, HvReader,
    ::testing::Values(
        BadFile{"", "line 1: neither header nor curve"},
        BadFile{"# just a comment\n", "line 1: neither header nor curve"},
        BadFile{"# Number of windows = x\n1 2 3 4\n",
                "line 1: the value of \"Number of windows\" is not a number"},
        BadFile{"# f0 from windows\t1\t2\n",
                "line 1: the value of \"f0 from windows\" is not a number"},
        BadFile{"1 2 3\n", "line 1: not four numbers (frequency, average, min, max)"},
        BadFile{"1 2 3 nan\n", "line 1: not four numbers (frequency, average, min, max)"},
        BadFile{"1 2 3 4\n1,5 2 3 4\n", "line 2: not four numbers (frequency, average, min, max)"},
        BadFile{"# Number of windows = -3\n",
                "line 1: the value of \"Number of windows\" is not a number"}));

TEST(HvReaderForms, AcceptsEitherSeparatorAndLineEnd) {
  THvFile f;
  ASSERT_TRUE(
      ParseHvFile("# GEOPSY output version 1.1\n# Number of windows = 30\r\n"
                  "# f0 from average 0.707604\n# Number of windows for f0 = 28\n"
                  "# f0 from windows\t0.71\t0.59\t0.83\n# Peak amplitude\t4.3\n"
                  "# Position\t0 0 0\n# Frequency\tAverage\tMin\tMax\n"
                  "0.3\t1.44\t1.04\t2.0\r\n\n  0.31 1.45 1.05 2.01\n",
                  f));
  EXPECT_EQ(f.Windows, 30);
  EXPECT_EQ(f.WindowsForF0, 28);
  EXPECT_DOUBLE_EQ(f.F0Average, 0.707604);
  EXPECT_DOUBLE_EQ(f.F0WindowsHigh, 0.83);
  EXPECT_DOUBLE_EQ(f.PeakAmplitude, 4.3);
  ASSERT_EQ(f.Frequency.size(), 2u);
  EXPECT_DOUBLE_EQ(f.Max[1], 2.01);
  // A file of an analysis without a curve: the header alone.
  ASSERT_TRUE(ParseHvFile("# Number of windows = 0\n", f));
  EXPECT_TRUE(f.Frequency.empty());
}

}  // namespace
}  // namespace tarvik
