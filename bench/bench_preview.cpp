// The preview of a day-long record: one view change (scales, the strokes of every pixel column,
// the red intervals and level lines) plus the repaint of a 1920 x 1080 image, against one plain
// pass that reads every visible sample once, the floor of any method that rescans the view.
//
// Both report the visible samples of the three channels as their items, so that the ratio of
// times is the inverse ratio of rates. Printed: time (a) / (b) for the whole record and each
// zoom step, the absolute times, and the pyramid's memory beside the samples'.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "records/record_model.h"
#include "viewers/preview_model.h"
#include "viewers/preview_picture.h"

#ifdef TARVIK_WITH_GUI
#include <QImage>
#include <QPainter>

#include "viewers/gui/offscreen_app.h"
#include "viewers/gui/preview_painter.h"
#endif

namespace {

using namespace tarvik;

constexpr double kRate = 100.0;
constexpr int64_t kSamples = 24 * 3600 * 100;  // a day at 100 Hz
constexpr int kChannels = 3;
constexpr int kWidth = 1920, kHeight = 1080;
// Zoom steps: the view is the record divided by 2^step; step 12 leaves about 2100 samples.
constexpr int kMaxStep = 12;

struct Preview {
  TPreviewModel Model;
  Preview() {
    TFileRecord r = bench::DayRecord(kChannels, kRate, kSamples);
    r.Finish = r.Start + SpanOfSamples(static_cast<double>(kSamples), kRate);
    r.SelectStart = r.Start + 1.0 / 24;  // an hour shaded at either end
    r.SelectFinish = r.Finish - 1.0 / 24;
    TData32 data;
    for (int c = 0; c < kChannels; ++c) {
      r.Channels[c].Level =
          4000;  // above the swell: the noisy afternoon is disturbed, the night quiet
      r.Channels[c].Channel = std::string("HH") + "ENZ"[c];
      data.push_back(bench::NoiseSignal(11u + c, kSamples, kRate));
    }
    TPreviewOptions options;
    options.DefaultRate = kRate;
    Model.ShowSamples(r, std::move(data), options);
    Model.SetArea(kWidth, kHeight);
  }
};

Preview& Shared() {
  static Preview p;
  return p;
}

// The view of zoom step k around the record's middle, and the same view moved by a few
// samples, so that each iteration is a change.
std::pair<int64_t, int64_t> ViewOf(int step, int64_t shift) {
  const int64_t width = std::max<int64_t>(kSamples >> step, 2);
  const int64_t first = std::clamp<int64_t>(kSamples / 2 - width / 2 + shift, 0, kSamples - width);
  return {first, first + width - 1};
}

// One view change per iteration: the scales and the picture as data, and with paint the
// repaint of the whole image.
void ViewChange(benchmark::State& state, bool paint) {
  TPreviewModel& m = Shared().Model;
  const int step = static_cast<int>(state.range(0));
#ifdef TARVIK_WITH_GUI
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
#endif
  int64_t shift = 0, visible = 0;
  for (auto _ : state) {
    shift = shift == 0 ? 7 : 0;
    const auto [first, last] = ViewOf(step, step == 0 ? 0 : shift);
    m.SetView(first, last);
    const TPreviewPicture picture = BuildPreviewPicture(m);
    benchmark::DoNotOptimize(picture.Strips.data());
#ifdef TARVIK_WITH_GUI
    if (paint) {
      QPainter painter(&image);
      gui::PaintPreview(painter, picture);
      painter.end();
      benchmark::DoNotOptimize(image.constBits());
    }
#else
    (void)paint;
#endif
    visible = last - first + 1;
  }
  state.SetItemsProcessed(state.iterations() * visible * kChannels);
}

void BM_ViewChangeAndRepaint(benchmark::State& state) {
  ViewChange(state, true);
}

// The view change alone, not painted.
void BM_ViewChangeOnly(benchmark::State& state) {
  ViewChange(state, false);
}

// Reads every visible sample of every channel once: minimum, maximum and sum.
void BM_ScanVisible(benchmark::State& state) {
  const TData32& data = Shared().Model.Samples();
  const int step = static_cast<int>(state.range(0));
  int64_t shift = 0, visible = 0;
  for (auto _ : state) {
    shift = shift == 0 ? 7 : 0;
    const auto [first, last] = ViewOf(step, step == 0 ? 0 : shift);
    for (const std::vector<int32_t>& channel : data) {
      int32_t lo = INT32_MAX, hi = INT32_MIN;
      int64_t sum = 0;
      for (int64_t i = first; i <= last; ++i) {
        const int32_t v = channel[static_cast<size_t>(i)];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
      }
      benchmark::DoNotOptimize(lo);
      benchmark::DoNotOptimize(hi);
      benchmark::DoNotOptimize(sum);
    }
    visible = last - first + 1;
  }
  state.SetItemsProcessed(state.iterations() * visible * kChannels);
}

void Steps(benchmark::internal::Benchmark* b) {
  b->ArgName("step");
  for (int k : {0, 1, 2, 3, 4, 6, 8, 10, kMaxStep}) b->Arg(k);
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ViewChangeAndRepaint)->Apply(Steps);
BENCHMARK(BM_ViewChangeOnly)->Apply(Steps);
BENCHMARK(BM_ScanVisible)->Apply(Steps);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
#ifdef TARVIK_WITH_GUI
  tarvik::gui::OffscreenApplication app;
#else
  std::printf("built without Qt: (a) builds the picture but does not paint it\n");
#endif
  const TPreviewModel& m = Shared().Model;
  const double sample_bytes = static_cast<double>(kSamples) * kChannels * sizeof(int32_t);
  std::printf("record: %d channels x %lld samples at %.0f Hz; %zu quiet intervals\n", kChannels,
              static_cast<long long>(kSamples), kRate, m.QuietIntervals().size());
  tarvik::bench::RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (int k : {0, 1, 2, 3, 4, 6, 8, 10, kMaxStep}) {
    const std::string suffix = "/step:" + std::to_string(k);
    const auto a = reporter.Rates.find("BM_ViewChangeAndRepaint" + suffix);
    const auto b = reporter.Rates.find("BM_ScanVisible" + suffix);
    if (a == reporter.Rates.end() || b == reporter.Rates.end() || a->second <= 0) continue;
    const auto [first, last] = ViewOf(k, 0);
    const double items = static_cast<double>(last - first + 1) * kChannels;
    std::printf(
        "step %2d (%9lld visible samples per channel): (a) %8.3f ms, (b) %8.3f ms, "
        "(a)/(b) %.3f\n",
        k, static_cast<long long>(last - first + 1), items / a->second * 1e3,
        items / b->second * 1e3, b->second / a->second);
  }
  std::printf("pyramid memory / samples' memory: %.3f\n",
              static_cast<double>(m.PyramidBytes()) / sample_bytes);
  benchmark::Shutdown();
  return 0;
}
