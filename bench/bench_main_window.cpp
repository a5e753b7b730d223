// Opening a project of 10,000 three-channel records in the main window (the file read, then the
// record list, both processing lists and the settings pages rebuilt) against reading the same
// file with the core alone, both timed in every iteration. The closing lines give the window's
// time over the core's: the window should add at most the core's own time (ratio 2.0).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>

#include "common/ui_host.h"
#include "project/gui/main_form.h"
#include "project/project_file.h"

namespace {

using namespace tarvik;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 10000;

struct Data {
  QTemporaryDir Dir;
  std::string TextProject;
  std::string BinaryProject;

  Data() {
    TProject p;
    for (int i = 0; i < kRecords; ++i) {
      TFileRecord r;
      char station[8];
      std::snprintf(station, sizeof station, "S%05d", i);
      r.Station = station;
      r.File = Dir.path().toStdString() + "/data/" + station + ".msd";
      r.Channels.resize(3);
      r.SampRate = 100.0;
      r.Start = r.SelectStart = 45000.0 + i * 0.04;
      r.Finish = r.SelectFinish = r.Start + 1.0 / 24;
      r.ToProcess = r.ToProcessNakamura = i % 3 != 0;
      for (int c = 0; c < 3; ++c) {
        r.Channels[c].Channel = std::string("HH") + "ENZ"[c];
        r.Channels[c].Axis = static_cast<Component>(c);
        r.Channels[c].Level = 5000 + c;
        r.Channels[c].Selected = true;
        r.Channels[c].ChannelResp = Dir.path().toStdString() + "/responses/geophone_1hz.paz";
        r.Channels[c].ADCCoef = 419430.4;
      }
      p.Records.push_back(r);
    }
    p.General.ResultDir = Dir.path().toStdString() + "/results";
    NullUiHost host;
    TextProject = SaveProject(p, Dir.path().toStdString() + "/text.tvp", 0, host).FileName;
    BinaryProject = SaveProject(p, Dir.path().toStdString() + "/binary.tvp", 1, host).FileName;
  }
};

Data& Shared() {
  static Data data;
  return data;
}

void OpenProject(benchmark::State& state, bool binary) {
  const std::string& path = binary ? Shared().BinaryProject : Shared().TextProject;
  gui::TMainForm form;
  double core = 0.0, window = 0.0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    TProject project;
    NullUiHost host;
    if (LoadProject(project, path, host) != LoadStatus::kLoaded) state.SkipWithError("core load");
    benchmark::DoNotOptimize(project.Records.data());
    const auto t1 = Clock::now();
    if (!form.LoadStartupProject(QString::fromStdString(path))) state.SkipWithError("window");
    QApplication::processEvents();
    const auto t2 = Clock::now();
    core += std::chrono::duration<double>(t1 - t0).count();
    window += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["core_ms"] = 1000.0 * core / n;
  state.counters["window_ms"] = 1000.0 * window / n;
  state.counters["ratio"] = core > 0.0 ? window / core : 0.0;
  std::printf("%s project of %d records: core load %.1f ms, window open %.1f ms, ratio %.2f\n",
              binary ? "binary" : "text", kRecords, 1000.0 * core / n, 1000.0 * window / n,
              core > 0.0 ? window / core : 0.0);
}

void BM_OpenTextProject(benchmark::State& state) {
  OpenProject(state, false);
}
void BM_OpenBinaryProject(benchmark::State& state) {
  OpenProject(state, true);
}
BENCHMARK(BM_OpenTextProject)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenBinaryProject)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The window keeps its placement and recent projects apart from a person's.
  QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
