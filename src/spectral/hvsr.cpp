#include "spectral/hvsr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>

#include "spectral/konno_ohmachi.h"

namespace tarvik {

bool CheckHvsrSettings(const THvsrSettings& s, std::string* why) {
  auto fail = [&](const char* text) {
    if (why != nullptr) *why = text;
    return false;
  };
  if (!(std::isfinite(s.GridFMin) && s.GridFMin > 0.0 && std::isfinite(s.GridFMax) &&
        s.GridFMax > s.GridFMin)) {
    return fail("the grid needs 0 < FMIN < FMAX");
  }
  if (s.GridPoints < 3 || s.GridPoints > kMaxHvsrGridPoints) {
    return fail("the grid needs 3 to 100000 points");
  }
  if (s.Smoothing == THvsrSmoothing::kKonnoOhmachi &&
      !(std::isfinite(s.Bandwidth) && s.Bandwidth > 0.0 && s.Bandwidth <= 1000.0)) {
    return fail("the Konno-Ohmachi bandwidth b must lie above 0 and at most 1000");
  }
  if (!(std::isfinite(s.RejectionN) && s.RejectionN > 0.0)) {
    return fail("the rejection needs n above 0");
  }
  if (!(std::isfinite(s.BandFMin) && std::isfinite(s.BandFMax) && s.BandFMin >= 0.0 &&
        s.BandFMax >= 0.0 && (s.BandFMax == 0.0 || s.BandFMax > s.BandFMin))) {
    return fail("the search band needs 0 <= FMIN < FMAX (0 for an end of the grid)");
  }
  return true;
}

const char* SmoothingName(THvsrSmoothing value) {
  return value == THvsrSmoothing::kNone ? "none" : "ko";
}

const char* HorizontalName(THvsrHorizontal value) {
  switch (value) {
    case THvsrHorizontal::kGeometric:
      return "geometric";
    case THvsrHorizontal::kSquared:
      return "squared";
    default:
      return "arithmetic";
  }
}

const char* RejectionName(THvsrRejection value) {
  return value == THvsrRejection::kNone ? "none" : "fdwra";
}

const char* FateName(TWindowFate fate) {
  switch (fate) {
    case TWindowFate::kKept:
      return "kept";
    case TWindowFate::kRejected:
      return "rejected";
    case TWindowFate::kNoPeak:
      return "no_peak";
    default:
      return "unusable";
  }
}

int THvsrResult::Count(TWindowFate fate) const {
  return static_cast<int>(std::count(Fate.begin(), Fate.end(), fate));
}

TLognormal LognormalOf(const std::vector<double>& frequencies) {
  TLognormal out;
  const size_t n = frequencies.size();
  if (n == 0) return out;
  double sum = 0.0;
  for (double f : frequencies) sum += std::log(f);
  out.MeanLn = sum / static_cast<double>(n);
  if (n < 2) return out;
  double squares = 0.0;
  for (double f : frequencies) {
    const double d = std::log(f) - out.MeanLn;
    squares += d * d;
  }
  out.SigmaLn = std::sqrt(squares / static_cast<double>(n - 1));
  return out;
}

namespace {

std::vector<double> KeptF0(const std::vector<double>& f0, const std::vector<TWindowFate>& fate) {
  std::vector<double> out;
  for (size_t i = 0; i < f0.size(); ++i) {
    if (fate[i] == TWindowFate::kKept) out.push_back(f0[i]);
  }
  return out;
}

// The lognormal median and the spread factor exp σ_ln have settled: each changed by less than
// 1 %. σ_ln is already relative, so its change is compared as a factor, not as a share of σ_ln
// itself, which would keep shrinking a tight cluster long after its median has settled.
bool Settled(const TLognormal& now, const TLognormal& before) {
  const double one_percent = std::log(1.01);
  return std::fabs(now.MeanLn - before.MeanLn) < one_percent &&
         std::fabs(now.SigmaLn - before.SigmaLn) < one_percent;
}

}  // namespace

int RejectWindows(const std::vector<double>& f0, std::vector<TWindowFate>& fate, double n) {
  // Cox et al. (2020): keep the windows whose peak frequency f lies within
  // exp(μ_ln − n·σ_ln) < f < exp(μ_ln + n·σ_ln) over the kept windows' peaks, until μ_ln and
  // σ_ln settle (1 %), at most 50 passes.
  constexpr int kMaxPasses = 50;
  int passes = 0;
  std::vector<double> kept = KeptF0(f0, fate);
  while (passes < kMaxPasses && kept.size() >= 2) {
    const TLognormal before = LognormalOf(kept);
    if (before.SigmaLn == 0.0) break;
    ++passes;
    const double lo = before.MeanLn - n * before.SigmaLn;
    const double hi = before.MeanLn + n * before.SigmaLn;
    for (size_t i = 0; i < f0.size(); ++i) {
      if (fate[i] != TWindowFate::kKept) continue;
      const double l = std::log(f0[i]);
      if (!(l > lo && l < hi)) fate[i] = TWindowFate::kRejected;
    }
    kept = KeptF0(f0, fate);
    if (kept.size() < 2) break;
    const TLognormal after = LognormalOf(kept);
    if (Settled(after, before)) break;
  }
  return passes;
}

namespace {

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
  char buf[200];
  std::snprintf(buf, sizeof buf, pattern, args...);
  return buf;
}

// The mean curve exp(mean ln A) and σ_ln over the windows whose fate is in use, with one
// logarithm per value (Welford's running mean and sum of squared deviations).
void MeanCurve(THvsrResult& r, const std::vector<bool>& use) {
  const size_t g = r.Grid.size();
  r.Mean.assign(g, 0.0);
  r.SigmaLn.assign(g, 0.0);
  std::vector<double> m2(g, 0.0);
  int k = 0;
  for (size_t w = 0; w < r.Curves.size(); ++w) {
    if (!use[w]) continue;
    ++k;
    for (size_t i = 0; i < g; ++i) {
      const double x = std::log(r.Curves[w][i]);
      const double d = x - r.Mean[i];
      r.Mean[i] += d / k;
      m2[i] += d * (x - r.Mean[i]);
    }
  }
  r.MeanWindows = k;
  if (k == 0) {
    r.Mean.clear();
    r.SigmaLn.clear();
    return;
  }
  for (size_t i = 0; i < g; ++i) {
    r.SigmaLn[i] = k > 1 ? std::sqrt(std::max(0.0, m2[i]) / (k - 1)) : 0.0;
    r.Mean[i] = std::exp(r.Mean[i]);
  }
}

bool Usable(const std::vector<double>& curve, size_t points) {
  if (curve.size() != points) return false;
  return std::all_of(curve.begin(), curve.end(),
                     [](double v) { return std::isfinite(v) && v > 0.0; });
}

}  // namespace

THvsrResult AnalyseWindows(THvsrWindowSet windows, const THvsrSettings& settings) {
  THvsrResult r;
  r.Settings = settings;
  r.Grid = std::move(windows.Grid);
  r.Curves = std::move(windows.Curves);
  r.FirstSample = std::move(windows.FirstSample);
  r.FirstSample.resize(r.Curves.size(), 0);
  r.WindowSeconds = windows.WindowSeconds;
  const size_t g = r.Grid.size();
  const size_t count = r.Curves.size();
  r.Fate.assign(count, TWindowFate::kKept);
  r.WindowF0.assign(count, 0.0);

  // The search band in grid indices.
  size_t lo = 0, hi = g == 0 ? 0 : g - 1;
  while (lo < g && settings.BandFMin > 0.0 && r.Grid[lo] < settings.BandFMin) ++lo;
  while (hi > 0 && settings.BandFMax > 0.0 && r.Grid[hi] > settings.BandFMax) --hi;
  r.BandLo = lo;
  r.BandHi = hi;
  const double band_lo = settings.BandFMin > 0.0 || g == 0 ? settings.BandFMin : r.Grid.front();
  const double band_hi = settings.BandFMax > 0.0 || g == 0 ? settings.BandFMax : r.Grid.back();
  const std::string band = Format("%.3g-%.3g Hz", band_lo, band_hi);
  if (g < 3 || lo >= g || lo > hi) {
    r.Verdict = "no grid point in the search band " + band;
    r.Fate.assign(count, TWindowFate::kUnusable);
    return r;
  }

  int usable = 0;
  for (size_t w = 0; w < count; ++w) {
    if (!Usable(r.Curves[w], g)) {
      r.Fate[w] = TWindowFate::kUnusable;
      r.Curves[w].clear();
      continue;
    }
    ++usable;
    if (const auto peak = HighestPeak(r.Curves[w], lo, hi)) {
      r.WindowF0[w] = r.Grid[*peak];
    } else if (settings.Rejection == THvsrRejection::kFdwra) {
      r.Fate[w] = TWindowFate::kNoPeak;
    }
  }
  if (settings.Rejection == THvsrRejection::kFdwra) {
    r.Iterations = RejectWindows(r.WindowF0, r.Fate, settings.RejectionN);
  }

  std::vector<bool> kept(count), any(count);
  bool some_kept = false;
  for (size_t w = 0; w < count; ++w) {
    kept[w] = r.Fate[w] == TWindowFate::kKept;
    any[w] = r.Fate[w] != TWindowFate::kUnusable;
    some_kept = some_kept || kept[w];
  }
  MeanCurve(r, some_kept ? kept : any);

  std::vector<double> peaks;
  for (size_t w = 0; w < count; ++w) {
    if (kept[w] && r.WindowF0[w] > 0.0) peaks.push_back(r.WindowF0[w]);
  }
  r.F0Windows = static_cast<int>(peaks.size());
  if (!peaks.empty()) {
    const TLognormal ln = LognormalOf(peaks);
    r.F0Median = std::exp(ln.MeanLn);
    r.SigmaLnF0 = ln.SigmaLn;
    if (peaks.size() >= 2) {
      double mean = 0.0;
      for (double f : peaks) mean += f;
      mean /= static_cast<double>(peaks.size());
      double squares = 0.0;
      for (double f : peaks) squares += (f - mean) * (f - mean);
      r.SigmaF = std::sqrt(squares / static_cast<double>(peaks.size() - 1));
    }
  }

  if (!r.Mean.empty()) {
    if (const auto peak = HighestPeak(r.Mean, lo, hi)) {
      r.HasF0Mean = true;
      r.PeakIndex = *peak;
      r.F0Mean = r.Grid[*peak];
      r.A0Mean = r.Mean[*peak];
      TSesameInput in;
      in.Grid = r.Grid;
      in.Mean = r.Mean;
      in.SigmaLn = r.SigmaLn;
      in.Peak = *peak;
      in.WindowSeconds = r.WindowSeconds;
      in.Windows = r.MeanWindows;
      in.SigmaF = r.SigmaF;
      in.HasSigmaF = peaks.size() >= 2;
      in.BandLo = lo;
      in.BandHi = hi;
      r.Sesame = EvaluateSesame(in);
    }
  }

  const int with_peak = static_cast<int>(
      std::count_if(r.WindowF0.begin(), r.WindowF0.end(), [](double f) { return f > 0.0; }));
  if (count == 0) {
    r.Verdict = "no window";
  } else if (usable == 0) {
    r.Verdict = "no usable window: a component is zero or missing in every window";
  } else if (usable < 2) {
    r.Verdict = "only 1 usable window: statistics need at least 2";
  } else if (with_peak == 0) {
    r.Verdict = "no window has a peak in the search band " + band;
  } else if (!some_kept) {
    r.Verdict = "every window was rejected";
  } else if (!r.HasF0Mean) {
    r.Verdict = "the mean curve has no peak in the search band " + band;
  } else if (r.MeanWindows < 2 || r.F0Windows < 2) {
    r.Verdict = "only 1 window kept: statistics need at least 2";
  } else {
    r.Ok = true;
    r.Verdict = Format("f0 = %.2f ± %.2f Hz, A0 = %.1f, SESAME reliable %d/3, clear %d/6", r.F0Mean,
                       r.SigmaF, r.A0Mean, r.Sesame.ReliablePassed, r.Sesame.ClearPassed);
  }
  return r;
}

namespace {

// The first selected channel of each of E, N and Z (-1 when there is none).
struct Components {
  int e = -1, n = -1, z = -1;
};

Components FindComponents(const TFileRecord& record, size_t channels) {
  Components c;
  const int count =
      static_cast<int>(std::min({channels, record.Channels.size(), size_t{kMaxChannels}}));
  for (int i = 0; i < count; ++i) {
    if (!record.Channels[i].Selected) continue;
    if (record.Channels[i].Axis == Component::kE && c.e < 0) c.e = i;
    if (record.Channels[i].Axis == Component::kN && c.n < 0) c.n = i;
    if (record.Channels[i].Axis == Component::kZ && c.z < 0) c.z = i;
  }
  return c;
}

// Turns every segment the engine hands over into one H/V curve on the grid.
class WindowCollector {
 public:
  WindowCollector(const THvsrSettings& settings, Components c) : settings_(settings), c_(c) {}

  bool operator()(const TSegmentSpectra& s) {
    const size_t rows = s.Rows.size();
    if (static_cast<size_t>(std::max({c_.e, c_.n, c_.z})) >= rows)
      return Fail("no E, N and Z rows");
    const std::vector<double>& e = s.Rows[c_.e];
    const std::vector<double>& n = s.Rows[c_.n];
    const std::vector<double>& z = s.Rows[c_.z];
    if (smoother_.GridSize() == 0 && !Prepare(s.LineStep, z.size())) return false;
    if (e.size() != lines_ || n.size() != lines_ || z.size() != lines_) return Fail("rows differ");
    length_ = s.Length;
    // The horizontal is formed line by line, then smoothed: every combination is linear in
    // the lines (arithmetic) or taken before the smoothing as is usual for the others.
    for (size_t k = 0; k < lines_; ++k) {
      switch (settings_.Horizontal) {
        case THvsrHorizontal::kGeometric:
          h_[k] = std::sqrt(e[k] * n[k]);
          break;
        case THvsrHorizontal::kSquared:
          h_[k] = std::sqrt((e[k] * e[k] + n[k] * n[k]) / 2.0);
          break;
        default:
          h_[k] = (e[k] + n[k]) / 2.0;
      }
    }
    smoother_.Apply(h_, z, sh_, sz_);
    std::vector<double> curve(grid_.size());
    for (size_t g = 0; g < grid_.size(); ++g) curve[g] = sz_[g] > 0.0 ? sh_[g] / sz_[g] : 0.0;
    set_.Curves.push_back(std::move(curve));
    set_.FirstSample.push_back(s.FirstSample);
    return true;
  }

  THvsrWindowSet Take(double rate) {
    set_.Grid = grid_;
    set_.WindowSeconds = rate > 0.0 ? static_cast<double>(length_) / rate : 0.0;
    return std::move(set_);
  }
  const std::string& Failure() const { return failure_; }

 private:
  bool Fail(std::string why) {
    failure_ = std::move(why);
    return false;
  }

  // The grid is cut to the frequencies the lines cover (line 1 up to the last line).
  bool Prepare(double line_step, size_t lines) {
    lines_ = lines;
    const double top = line_step * static_cast<double>(lines > 0 ? lines - 1 : 0);
    for (double f : LogGrid(settings_.GridFMin, settings_.GridFMax, settings_.GridPoints)) {
      if (f >= line_step && f <= top) grid_.push_back(f);
    }
    if (grid_.size() < 3) {
      return Fail(Format("the grid %.3g-%.3g Hz lies outside the spectrum's lines (%.3g-%.3g Hz)",
                         settings_.GridFMin, settings_.GridFMax, line_step, top));
    }
    smoother_ = settings_.Smoothing == THvsrSmoothing::kKonnoOhmachi
                    ? TSpectralSmoother::KonnoOhmachi(line_step, lines, grid_, settings_.Bandwidth)
                    : TSpectralSmoother::Interpolation(line_step, lines, grid_);
    h_.assign(lines, 0.0);
    sh_.assign(grid_.size(), 0.0);
    sz_.assign(grid_.size(), 0.0);
    return true;
  }

  const THvsrSettings& settings_;
  Components c_;
  size_t lines_ = 0;
  int64_t length_ = 0;
  std::vector<double> grid_;
  TSpectralSmoother smoother_;
  std::vector<double> h_, sh_, sz_;
  THvsrWindowSet set_;
  std::string failure_;
};

template <typename Run>
THvsrStatus Analyse(const TFileRecord& record, size_t channels, const THvsrSettings& settings,
                    THvsrResult& result, Run run) {
  result = THvsrResult{};
  result.Settings = settings;
  THvsrStatus status;
  std::string why;
  if (!CheckHvsrSettings(settings, &why)) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Message = record.Station + ": " + why;
    return status;
  }
  const Components c = FindComponents(record, channels);
  if (c.e < 0 || c.n < 0 || c.z < 0) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Message = record.Station + ": H/V needs a selected E, N and Z channel";
    return status;
  }
  WindowCollector collector(settings, c);
  const TSpectraStatus spectra = run(TSegmentHook(std::ref(collector)));
  if (!collector.Failure().empty()) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Message = record.Station + ": " + collector.Failure();
    return status;
  }
  if (spectra.Outcome == TSpectraOutcome::kStopped) {
    status.Outcome = THvsrOutcome::kStopped;
    return status;
  }
  if (!spectra.Computed()) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Message = spectra.Message;
    return status;
  }
  result = AnalyseWindows(collector.Take(record.SampRate), settings);
  return status;
}

}  // namespace

THvsrStatus AnalyseRecordSamples(const TFileRecord& record, const TData32& samples,
                                 const TSpectrumSettings& spectrum, const THvsrSettings& settings,
                                 UiHost& host, THvsrResult& result) {
  return Analyse(record, samples.size(), settings, result, [&](const TSegmentHook& hook) {
    TMatrix2D mean, stdev;
    return CalculateSpectraOfSamples(record, samples, spectrum, record.SelectStart,
                                     record.SelectFinish, host, mean, stdev, hook);
  });
}

THvsrStatus AnalyseRecord(TFileRecord& record, const TSpectrumSettings& spectrum,
                          double default_rate, const THvsrSettings& settings, UiHost& host,
                          THvsrResult& result, HeaderCache* headers) {
  return Analyse(record, kMaxChannels, settings, result, [&](const TSegmentHook& hook) {
    TMatrix2D mean, stdev;
    return CalculateSpectra(record, spectrum, record.SelectStart, record.SelectFinish, default_rate,
                            host, mean, stdev, hook, headers);
  });
}

}  // namespace tarvik
