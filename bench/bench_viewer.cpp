// The spectrum viewer with many files: 100 three-component spectrum files of 4097 lines loaded
// into one chart (ShowSpectrumFiles), beside a minimal std::from_chars reader of the same files
// that does nothing but read and convert; and, in the GUI build, one full replot of those 300
// curves in QCustomPlot on the offscreen platform.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/ui_host.h"
#include "spectral/result_files.h"
#include "viewers/spectrum_show.h"

#ifdef TARVIK_WITH_GUI
#include <qcustomplot.h>

#include "viewers/gui/offscreen_app.h"
#include "viewers/gui/spectrum_plot.h"
#endif

namespace {

constexpr int kFiles = 100;
constexpr int kLines = 4097;

struct FileSet {
  std::string Folder;
  std::vector<std::string> Paths;
  int64_t Bytes = 0;
};

// Spectra as the writer makes them: a falling background with a resonance and some scatter,
// values in four significant digits.
const FileSet& Files() {
  static const FileSet kSet = [] {
    FileSet s;
    s.Folder = (std::filesystem::temp_directory_path() /
                ("tarvik-bench-viewer-" + std::to_string(std::random_device{}())))
                   .string();
    std::filesystem::create_directories(s.Folder);
    tarvik::NullUiHost host;
    std::mt19937 rng(7);
    std::lognormal_distribution<double> scatter(0.0, 0.2);
    for (int k = 0; k < kFiles; ++k) {
      std::vector<double> f(kLines);
      tarvik::TMatrix2D mean(3, std::vector<double>(kLines)), stdev = mean;
      for (int i = 0; i < kLines; ++i) {
        f[static_cast<size_t>(i)] = i * 50.0 / (kLines - 1);
        for (size_t c = 0; c < 3; ++c) {
          const double x = f[static_cast<size_t>(i)] + 0.01;
          const double v = 1e-6 / x * (1.0 + 3.0 / (1.0 + std::pow((x - 2.0 - 0.02 * k) / 0.3, 2)));
          mean[c][static_cast<size_t>(i)] = v * scatter(rng);
          stdev[c][static_cast<size_t>(i)] = 0.3 * v * scatter(rng);
        }
      }
      const std::string path = s.Folder + "/spectrum_" + std::to_string(k) + ".dat";
      tarvik::WriteThreeComponent(path, f, mean, stdev, host);
      s.Bytes += static_cast<int64_t>(std::filesystem::file_size(path));
      s.Paths.push_back(path);
    }
    return s;
  }();
  return kSet;
}

void BM_ShowSpectrumFiles(benchmark::State& state) {
  const FileSet& files = Files();
  tarvik::NullUiHost host;
  for (auto _ : state) {
    tarvik::TSpectrumView view;
    if (!tarvik::ShowSpectrumFiles(view, files.Paths, false, 1, 0, host)) {
      state.SkipWithError("the files did not load");
    }
    benchmark::DoNotOptimize(view.Series.data());
  }
  state.SetItemsProcessed(state.iterations() * kFiles * kLines);
  state.SetBytesProcessed(state.iterations() * files.Bytes);
}

// The reference: each file read whole, the header skipped, every field converted with
// std::from_chars into its column; no checks beyond the conversion's own.
void BM_FromCharsReader(benchmark::State& state) {
  const FileSet& files = Files();
  for (auto _ : state) {
    for (const std::string& path : files.Paths) {
      std::FILE* file = std::fopen(path.c_str(), "rb");
      std::fseek(file, 0, SEEK_END);
      std::string text(static_cast<size_t>(std::ftell(file)), '\0');
      std::fseek(file, 0, SEEK_SET);
      if (std::fread(text.data(), 1, text.size(), file) != text.size()) state.SkipWithError("read");
      std::fclose(file);
      std::vector<std::vector<double>> columns(7);
      const char* p = text.data() + text.find('\n') + 1;
      const char* end = text.data() + text.size();
      size_t k = 0;
      while (p < end) {
        while (p < end && (*p == '\t' || *p == '\r' || *p == '\n' || *p == ' ')) ++p;
        if (p >= end) break;
        double v = 0.0;
        p = std::from_chars(p, end, v).ptr;
        columns[k++ % 7].push_back(v);
      }
      benchmark::DoNotOptimize(columns.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * kFiles * kLines);
  state.SetBytesProcessed(state.iterations() * files.Bytes);
}

BENCHMARK(BM_ShowSpectrumFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FromCharsReader)->Unit(benchmark::kMillisecond);

#ifdef TARVIK_WITH_GUI
// The 300 curves of the 100 files in a 1000 × 640 chart on the offscreen platform.
struct ChartOfFiles {
  tarvik::gui::OffscreenApplication App;
  tarvik::TSpectrumView View;
  QCustomPlot Plot;

  ChartOfFiles() {
    tarvik::NullUiHost host;
    tarvik::ShowSpectrumFiles(View, Files().Paths, false, 1, 0, host);
    Plot.resize(1000, 640);
  }
};

// FillPlot (graphs made, data copied, axes fitted) and the replot that paints every layer.
void BM_FullReplot(benchmark::State& state) {
  ChartOfFiles chart;
  for (auto _ : state) {
    tarvik::gui::FillPlot(chart.Plot, chart.View);
    chart.Plot.replot(QCustomPlot::rpImmediateRefresh);
  }
  state.counters["series"] = static_cast<double>(chart.View.Series.size());
}

// The replot alone, as after a zoom or a pan.
void BM_ReplotOnly(benchmark::State& state) {
  ChartOfFiles chart;
  tarvik::gui::FillPlot(chart.Plot, chart.View);
  for (auto _ : state) chart.Plot.replot(QCustomPlot::rpImmediateRefresh);
}

BENCHMARK(BM_FullReplot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplotOnly)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const FileSet& files = Files();
  std::printf("%d files of %d lines, %lld bytes\n", kFiles, kLines,
              static_cast<long long>(files.Bytes));
  tarvik::bench::RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto ours = reporter.Rates.find("BM_ShowSpectrumFiles");
  const auto ref = reporter.Rates.find("BM_FromCharsReader");
  if (ours != reporter.Rates.end() && ref != reporter.Rates.end() && ours->second > 0) {
    std::printf("time BM_ShowSpectrumFiles / BM_FromCharsReader: %.2f (goal: at most 1.5)\n",
                ref->second / ours->second);
  }
  std::filesystem::remove_all(files.Folder);
  benchmark::Shutdown();
  return 0;
}
