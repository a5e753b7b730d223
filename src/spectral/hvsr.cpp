#include "spectral/hvsr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <optional>

#include "records/load_record.h"
#include "spectral/konno_ohmachi.h"

namespace tarvik {

TStatus HvsrSettingsFault(const THvsrSettings& s) {
  if (!(std::isfinite(s.GridFMin) && s.GridFMin > 0.0 && std::isfinite(s.GridFMax) &&
        s.GridFMax > s.GridFMin)) {
    return MakeStatus(TCode::kHvsrGridEnds);
  }
  if (s.GridPoints < 3 || s.GridPoints > kMaxHvsrGridPoints) {
    return MakeStatus(TCode::kHvsrGridPoints);
  }
  if (s.Smoothing == THvsrSmoothing::kKonnoOhmachi &&
      !(std::isfinite(s.Bandwidth) && s.Bandwidth > 0.0 && s.Bandwidth <= 1000.0)) {
    return MakeStatus(TCode::kHvsrBandwidth);
  }
  if (!(std::isfinite(s.RejectionN) && s.RejectionN > 0.0)) {
    return MakeStatus(TCode::kHvsrRejectionN);
  }
  if (!(std::isfinite(s.BandFMin) && std::isfinite(s.BandFMax) && s.BandFMin >= 0.0 &&
        s.BandFMax >= 0.0 && (s.BandFMax == 0.0 || s.BandFMax > s.BandFMin))) {
    return MakeStatus(TCode::kHvsrSearchBand);
  }
  return {};
}

bool CheckHvsrSettings(const THvsrSettings& s, std::string* why) {
  const TStatus fault = HvsrSettingsFault(s);
  if (!fault.Ok() && why != nullptr) *why = Text(fault, TLanguage::kEnglish);
  return fault.Ok();
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

// Peaks within 7 % of an industrial line are its own: the smoothing spreads a line over a few
// grid points around it.
bool NearLine(double f, const std::vector<double>& lines) {
  return std::any_of(lines.begin(), lines.end(),
                     [f](double line) { return std::fabs(std::log(f / line)) <= 0.07; });
}

// The highest local maximum of values in [lo, hi] that is not at an industrial line.
std::optional<size_t> HighestNaturalPeak(std::span<const double> values,
                                         const std::vector<double>& grid, size_t lo, size_t hi,
                                         const std::vector<double>& lines) {
  if (lines.empty()) return HighestPeak(values, lo, hi);
  std::optional<size_t> best;
  for (size_t i : LocalPeaks(values, lo, hi)) {
    if (NearLine(grid[i], lines)) continue;
    if (!best || values[i] > values[*best]) best = i;
  }
  return best;
}

bool Usable(const std::vector<double>& curve, size_t points) {
  if (curve.size() != points) return false;
  return std::all_of(curve.begin(), curve.end(),
                     [](double v) { return std::isfinite(v) && v > 0.0; });
}

// The peaks of the mean curve above A0/2 with each one's support among the kept windows.
void ListPeaks(THvsrResult& r, const std::vector<bool>& kept, size_t lo, size_t hi) {
  const std::vector<size_t> peaks = LocalPeaks(r.Mean, lo, hi);
  for (size_t i : peaks) {
    if (!(r.Mean[i] > r.A0Mean / 2.0)) continue;
    THvsrPeak p;
    p.Index = i;
    p.Frequency = r.Grid[i];
    p.Amplitude = r.Mean[i];
    p.Industrial = NearLine(p.Frequency, r.IndustrialLines);
    p.Chosen = i == r.PeakIndex;
    r.Peaks.push_back(p);
  }
  if (r.Peaks.empty()) return;
  const double near = std::log(1.1);
  for (size_t w = 0; w < r.Curves.size(); ++w) {
    if (!kept[w]) continue;
    std::vector<bool> counted(r.Peaks.size(), false);
    for (size_t i : LocalPeaks(r.Curves[w], lo, hi)) {
      for (size_t k = 0; k < r.Peaks.size(); ++k) {
        if (!counted[k] && std::fabs(std::log(r.Grid[i] / r.Peaks[k].Frequency)) <= near) {
          counted[k] = true;
          ++r.Peaks[k].Support;
        }
      }
    }
  }
  for (const THvsrPeak& p : r.Peaks) {
    if (!p.Chosen && !p.Industrial && p.Amplitude >= 0.9 * r.A0Mean) r.Ambiguous = true;
  }
}

}  // namespace

std::vector<size_t> LocalPeaks(std::span<const double> values, size_t lo, size_t hi) {
  std::vector<size_t> out;
  const size_t n = values.size();
  if (n < 3) return out;
  hi = std::min(hi, n - 2);
  for (size_t i = std::max<size_t>(lo, 1); i <= hi; ++i) {
    const double v = values[i];
    if (!(values[i - 1] < v)) continue;
    size_t j = i + 1;
    while (j < n && values[j] == v) ++j;
    if (j < n && values[j] < v) out.push_back(i);
  }
  return out;
}

std::vector<double> FindIndustrialLines(std::span<const double> e, std::span<const double> n,
                                        std::span<const double> z, double line_step,
                                        double width_hz, double fmin, double fmax) {
  std::vector<double> out;
  const size_t lines = std::min({e.size(), n.size(), z.size()});
  if (lines < 5 || !(line_step > 0.0)) return out;
  constexpr double kProminence = 4.0;
  std::vector<double> around;
  // How far line k of values stands above the median of its neighbourhood.
  const auto prominence = [&](std::span<const double> values, size_t k) {
    const double f = static_cast<double>(k) * line_step;
    const double gap = std::max(0.02 * f, width_hz);
    const auto lo = static_cast<size_t>(std::max(1.0, std::floor(f / 1.15 / line_step)));
    const auto hi = std::min(lines - 1, static_cast<size_t>(std::ceil(f * 1.15 / line_step)));
    around.clear();
    for (size_t j = lo; j <= hi; ++j) {
      if (std::fabs(static_cast<double>(j) * line_step - f) > gap) around.push_back(values[j]);
    }
    if (around.size() < 8) return 0.0;
    auto mid = around.begin() + static_cast<std::ptrdiff_t>(around.size() / 2);
    std::nth_element(around.begin(), mid, around.end());
    return *mid > 0.0 ? values[k] / *mid : 0.0;
  };
  const auto stands_out = [&](std::span<const double> values, size_t k) {
    double best = 0.0;
    for (size_t j = k - 1; j <= k + 1; ++j) best = std::max(best, prominence(values, j));
    return best >= kProminence;
  };
  for (size_t k = 2; k + 2 < lines; ++k) {
    const double f = static_cast<double>(k) * line_step;
    if (f < fmin || f > fmax) continue;
    if (!(z[k] > z[k - 1] && z[k] >= z[k + 1])) continue;
    // A line is the highest point of its own peak: most maxima of the noise are not, and are
    // left before their neighbourhood's median is sought.
    const auto reach = static_cast<size_t>(std::max(0.02 * f, width_hz) / line_step);
    bool highest = true;
    for (size_t j = k > reach ? k - reach : 0; highest && j <= std::min(lines - 1, k + reach); ++j)
      highest = j == k || z[j] <= z[k];
    if (!highest) continue;
    if (prominence(z, k) < kProminence) continue;
    if (!stands_out(e, k) || !stands_out(n, k)) continue;
    // One line of a source, however wide its peak: the neighbours within its gap are one.
    if (!out.empty() && f - out.back() <= std::max(0.02 * f, width_hz)) continue;
    out.push_back(f);
  }
  return out;
}

std::vector<THvsrWindowSet> SplitWindows(const THvsrWindowSet& set, int64_t origin, int64_t length,
                                         size_t count, int64_t end) {
  std::vector<THvsrWindowSet> out(count);
  for (THvsrWindowSet& part : out) {
    part.Grid = set.Grid;
    part.WindowSeconds = set.WindowSeconds;
    part.IndustrialLines = set.IndustrialLines;
  }
  if (length <= 0) return out;
  for (size_t w = 0; w < set.Curves.size() && w < set.FirstSample.size(); ++w) {
    const int64_t offset = set.FirstSample[w] - origin;
    if (offset < 0 || set.FirstSample[w] >= end) continue;
    const auto k = static_cast<size_t>(offset / length);
    if (k >= count) continue;
    out[k].Curves.push_back(set.Curves[w]);
    out[k].FirstSample.push_back(set.FirstSample[w]);
  }
  return out;
}

THvsrResult AnalyseWindows(THvsrWindowSet windows, const THvsrSettings& settings) {
  THvsrResult r;
  r.Settings = settings;
  r.Grid = std::move(windows.Grid);
  r.Curves = std::move(windows.Curves);
  r.FirstSample = std::move(windows.FirstSample);
  r.FirstSample.resize(r.Curves.size(), 0);
  r.WindowSeconds = windows.WindowSeconds;
  r.IndustrialLines = std::move(windows.IndustrialLines);
  const std::vector<double>& industrial = r.IndustrialLines;
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
  const std::string band_from = Format("%.3g", band_lo), band_to = Format("%.3g", band_hi);
  // Why there is no f0: the status, and its English for the report files.
  const auto no_f0 = [&r](TStatus reason) {
    r.Verdict = Text(reason, TLanguage::kEnglish);
    r.Reason = std::move(reason);
  };
  if (g < 3 || lo >= g || lo > hi) {
    no_f0(MakeStatus(TCode::kVerdictNoGridPoint, {band_from, band_to}));
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
    if (const auto peak = HighestNaturalPeak(r.Curves[w], r.Grid, lo, hi, industrial)) {
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
    if (const auto peak = HighestNaturalPeak(r.Mean, r.Grid, lo, hi, industrial)) {
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

  if (r.HasF0Mean) ListPeaks(r, kept, lo, hi);

  const int with_peak = static_cast<int>(
      std::count_if(r.WindowF0.begin(), r.WindowF0.end(), [](double f) { return f > 0.0; }));
  if (count == 0) {
    no_f0(MakeStatus(TCode::kVerdictNoWindow));
  } else if (usable == 0) {
    no_f0(MakeStatus(TCode::kVerdictNoUsableWindow));
  } else if (usable < 2) {
    no_f0(MakeStatus(TCode::kVerdictOneUsableWindow));
  } else if (with_peak == 0) {
    no_f0(MakeStatus(TCode::kVerdictNoWindowPeak, {band_from, band_to}));
  } else if (!some_kept) {
    no_f0(MakeStatus(TCode::kVerdictAllRejected));
  } else if (!r.HasF0Mean) {
    no_f0(MakeStatus(TCode::kVerdictNoMeanPeak, {band_from, band_to}));
  } else if (r.MeanWindows < 2 || r.F0Windows < 2) {
    no_f0(MakeStatus(TCode::kVerdictOneKept));
  } else {
    r.Ok = true;
    r.Verdict = Format("f0 = %.2f ± %.2f Hz, A0 = %.1f, SESAME reliable %d/3, clear %d/6", r.F0Mean,
                       r.SigmaF, r.A0Mean, r.Sesame.ReliablePassed, r.Sesame.ClearPassed);
    // The same for the console, its numbers formatted as the stored text has them.
    r.Finding =
        MakeStatus(TCode::kCliVerdictFound,
                   {Format("%.2f", r.F0Mean), Format("%.2f", r.SigmaF), Format("%.1f", r.A0Mean),
                    std::to_string(r.Sesame.ReliablePassed), std::to_string(r.Sesame.ClearPassed)});
    // What a reader of f0 alone would miss.
    for (const THvsrPeak& p : r.Peaks) {
      if (p.Chosen) continue;
      std::optional<TStatus> missed;
      if (p.Industrial) {
        r.Verdict += Format("; industrial line at %.2f Hz (A = %.1f) not taken as f0", p.Frequency,
                            p.Amplitude);
        missed = MakeStatus(TCode::kCliVerdictIndustrial,
                            {Format("%.2f", p.Frequency), Format("%.1f", p.Amplitude)});
      } else if (r.Ambiguous && p.Amplitude >= 0.9 * r.A0Mean) {
        r.Verdict += Format("; ambiguous: a peak of nearly the same height at %.2f Hz (A = %.1f)",
                            p.Frequency, p.Amplitude);
        missed = MakeStatus(TCode::kCliVerdictAmbiguous,
                            {Format("%.2f", p.Frequency), Format("%.1f", p.Amplitude)});
      }
      if (missed) r.Finding = MakeStatus(TCode::kJoinedSemicolon, {r.Finding, *missed});
    }
  }
  return r;
}

namespace {

// The first selected channel of each of E, N and Z (-1 when there is none).
struct Components {
  int E = -1, N = -1, Z = -1;
};

Components FindComponents(const TFileRecord& record, size_t channels) {
  Components c;
  const int count =
      static_cast<int>(std::min({channels, record.Channels.size(), size_t{kMaxChannels}}));
  for (int i = 0; i < count; ++i) {
    if (!record.Channels[i].Selected) continue;
    if (record.Channels[i].Axis == Component::kE && c.E < 0) c.E = i;
    if (record.Channels[i].Axis == Component::kN && c.N < 0) c.N = i;
    if (record.Channels[i].Axis == Component::kZ && c.Z < 0) c.Z = i;
  }
  return c;
}

// Turns every segment the engine hands over into one H/V curve on the grid, and sums the
// components' line spectra to look for industrial lines at the end.
class WindowCollector {
 public:
  WindowCollector(const THvsrSettings& settings, Components c, bool only_e)
      : settings_(settings), c_(c), only_e_(only_e) {}

  bool operator()(const TSegmentSpectra& s) {
    const size_t rows = s.Rows.size();
    const int last = only_e_ ? std::max(c_.E, c_.Z) : std::max({c_.E, c_.N, c_.Z});
    if (static_cast<size_t>(last) >= rows) return Fail(MakeStatus(TCode::kHvsrRowsMissing));
    const std::vector<double>& e = s.Rows[c_.E];
    const std::vector<double>& n = only_e_ ? e : s.Rows[c_.N];
    const std::vector<double>& z = s.Rows[c_.Z];
    if (smoother_.GridSize() == 0 && !Prepare(s.LineStep, z.size())) return false;
    if (e.size() != lines_ || n.size() != lines_ || z.size() != lines_)
      return Fail(MakeStatus(TCode::kHvsrRowsDiffer));
    length_ = s.Length;
    line_step_ = s.LineStep;
    // The horizontal is formed line by line, then smoothed: every combination is linear in
    // the lines (arithmetic) or taken before the smoothing as is usual for the others.
    for (size_t k = 0; k < lines_; ++k) {
      if (only_e_) {
        h_[k] = e[k];
        continue;
      }
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

  // The windows, and the industrial lines in the record's mean spectra (the engine's averages
  // of the same segments, one row per channel).
  THvsrWindowSet Take(double rate, const TMatrix2D& mean) {
    set_.Grid = grid_;
    set_.WindowSeconds = rate > 0.0 ? static_cast<double>(length_) / rate : 0.0;
    const size_t rows = mean.size();
    // A line of a sine is as wide as two lines of the segment's own transform (the window's
    // main lobe), however far the zeros around it bring the transform.
    if (!only_e_ && !grid_.empty() && set_.WindowSeconds > 0.0 &&
        static_cast<size_t>(std::max({c_.E, c_.N, c_.Z})) < rows) {
      set_.IndustrialLines =
          FindIndustrialLines(mean[c_.E], mean[c_.N], mean[c_.Z], line_step_,
                              2.0 / set_.WindowSeconds, grid_.front(), grid_.back());
    }
    return std::move(set_);
  }
  const TStatus& Failure() const { return failure_; }

 private:
  bool Fail(TStatus why) {
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
      return Fail(
          MakeStatus(TCode::kHvsrGridOutsideLines,
                     {Format("%.3g", settings_.GridFMin), Format("%.3g", settings_.GridFMax),
                      Format("%.3g", line_step), Format("%.3g", top)}));
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
  bool only_e_ = false;
  size_t lines_ = 0;
  int64_t length_ = 0;
  double line_step_ = 0.0;
  std::vector<double> grid_;
  TSpectralSmoother smoother_;
  std::vector<double> h_, sh_, sz_;
  THvsrWindowSet set_;
  TStatus failure_;
};

template <typename Run>
THvsrStatus Collect(const TFileRecord& record, size_t channels, const THvsrSettings& settings,
                    bool only_e, THvsrWindowSet& windows, Run run) {
  windows = THvsrWindowSet{};
  THvsrStatus status;
  if (TStatus fault = HvsrSettingsFault(settings); !fault.Ok()) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Failure = MakeStatus(TCode::kAtStation, {record.Station, fault});
    return status;
  }
  const Components c = FindComponents(record, channels);
  if (c.E < 0 || (c.N < 0 && !only_e) || c.Z < 0) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Failure =
        MakeStatus(TCode::kAtStation, {record.Station, MakeStatus(TCode::kHvsrNeedsEnz)});
    return status;
  }
  WindowCollector collector(settings, c, only_e);
  TMatrix2D mean;
  const TSpectraStatus spectra = run(TSegmentHook(std::ref(collector)), mean);
  if (!collector.Failure().Ok()) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Failure = MakeStatus(TCode::kAtStation, {record.Station, collector.Failure()});
    return status;
  }
  if (spectra.Outcome == TSpectraOutcome::kStopped) {
    status.Outcome = THvsrOutcome::kStopped;
    return status;
  }
  if (!spectra.Computed()) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Failure = spectra.Failure;
    return status;
  }
  windows = collector.Take(record.SampRate, mean);
  return status;
}

THvsrStatus Analysed(THvsrStatus status, THvsrWindowSet& windows, const THvsrSettings& settings,
                     THvsrResult& result) {
  result = THvsrResult{};
  result.Settings = settings;
  if (status.Outcome == THvsrOutcome::kAnalysed)
    result = AnalyseWindows(std::move(windows), settings);
  return status;
}

// The chain of a channel as the record names it: its response files and ADC coefficient.
bool SameChain(const TFileRecord& r, int a, int b) {
  const TRecordChannel& x = r.Channels[static_cast<size_t>(a)];
  const TRecordChannel& y = r.Channels[static_cast<size_t>(b)];
  return x.ChannelResp == y.ChannelResp && x.SensorResp == y.SensorResp &&
         x.AmplifierResp == y.AmplifierResp && x.ADCCoef == y.ADCCoef;
}

template <typename Values>
void LognormalOfValues(const Values& values, double& median, double& sigma) {
  const TLognormal ln = LognormalOf(values);
  median = values.empty() ? 0.0 : std::exp(ln.MeanLn);
  sigma = ln.SigmaLn;
}

}  // namespace

THvsrStatus CollectWindowsOfSamples(const TFileRecord& record, const TData32& samples,
                                    std::span<const TRecordRanges> unread,
                                    const TSpectrumSettings& spectrum,
                                    const THvsrSettings& settings, UiHost& host,
                                    THvsrWindowSet& windows, bool only_e) {
  return Collect(record, samples.size(), settings, only_e, windows,
                 [&](const TSegmentHook& hook, TMatrix2D& mean) {
                   TMatrix2D stdev;
                   return CalculateSpectraOfSamples(record, samples, spectrum, record.SelectStart,
                                                    record.SelectFinish, host, mean, stdev, hook,
                                                    unread);
                 });
}

THvsrStatus CollectRecordWindows(TFileRecord& record, const TSpectrumSettings& spectrum,
                                 double default_rate, const THvsrSettings& settings, UiHost& host,
                                 THvsrWindowSet& windows, HeaderCache* headers) {
  return Collect(record, kMaxChannels, settings, false, windows,
                 [&](const TSegmentHook& hook, TMatrix2D& mean) {
                   TMatrix2D stdev;
                   return CalculateSpectra(record, spectrum, record.SelectStart,
                                           record.SelectFinish, default_rate, host, mean, stdev,
                                           hook, headers);
                 });
}

THvsrStatus AnalyseRecordSamples(const TFileRecord& record, const TData32& samples,
                                 const TSpectrumSettings& spectrum, const THvsrSettings& settings,
                                 UiHost& host, THvsrResult& result) {
  THvsrWindowSet windows;
  return Analysed(CollectWindowsOfSamples(record, samples, {}, spectrum, settings, host, windows),
                  windows, settings, result);
}

THvsrStatus AnalyseRecord(TFileRecord& record, const TSpectrumSettings& spectrum,
                          double default_rate, const THvsrSettings& settings, UiHost& host,
                          THvsrResult& result, HeaderCache* headers) {
  THvsrWindowSet windows;
  return Analysed(
      CollectRecordWindows(record, spectrum, default_rate, settings, host, windows, headers),
      windows, settings, result);
}

namespace {

// The analysis by direction once whole holds the windows of the record as it is: for each
// azimuth, collect(azimuth, turn, record with N left out, windows) gives the windows of the
// record with E turned toward it.
template <typename CollectTurned>
THvsrStatus AnalyseDirections(const TFileRecord& record, size_t channels,
                              const THvsrSettings& settings, double step, THvsrStatus status,
                              const THvsrWindowSet& whole, THvsrAzimuths& azimuths,
                              CollectTurned collect) {
  const auto fail = [&](TStatus why) {
    status.Outcome = THvsrOutcome::kFailed;
    status.Failure = MakeStatus(TCode::kAtStation, {record.Station, std::move(why)});
    return status;
  };
  const Components c = FindComponents(record, channels);
  // The rotation is made on the samples: it is the rotation of the ground motion only when
  // both horizontals reach the counts through the same chain.
  if (!SameChain(record, c.E, c.N)) return fail(MakeStatus(TCode::kHvsrSameChainNeeded));
  TFileRecord rotated_record = record;
  rotated_record.Channels[static_cast<size_t>(c.N)].Selected = false;
  const int steps = static_cast<int>(std::floor(180.0 / step + 1e-9));
  for (int k = 0; k <= steps; ++k) {
    const double azimuth = std::min(180.0, k * step);
    const double a = azimuth * std::numbers::pi / 180.0;
    HorizontalTurn turn;
    turn.E = c.E;
    turn.N = c.N;
    turn.CosA = std::cos(a);
    turn.SinA = std::sin(a);
    THvsrWindowSet windows;
    const THvsrStatus one = collect(turn, rotated_record, windows);
    if (one.Outcome == THvsrOutcome::kStopped) return one;
    THvsrAzimuth direction;
    direction.Azimuth = azimuth;
    if (one.Outcome == THvsrOutcome::kAnalysed) {
      // A line in all three components stays one whatever the direction.
      windows.IndustrialLines = whole.IndustrialLines;
      direction.Result = AnalyseWindows(std::move(windows), settings);
    } else {
      direction.Result.Settings = settings;
      direction.Result.Verdict = Text(one.Failure, TLanguage::kEnglish);
      direction.Result.Reason = one.Failure;
    }
    azimuths.Directions.push_back(std::move(direction));
  }
  std::vector<double> f0, a0;
  for (const THvsrAzimuth& d : azimuths.Directions) {
    if (!d.Result.HasF0Mean) continue;
    f0.push_back(d.Result.F0Mean);
    a0.push_back(d.Result.A0Mean);
  }
  azimuths.WithF0 = static_cast<int>(f0.size());
  LognormalOfValues(f0, azimuths.F0Median, azimuths.F0SigmaLn);
  LognormalOfValues(a0, azimuths.A0Median, azimuths.A0SigmaLn);
  return status;
}

// A failed status that tells why, when step is not an azimuth step; nullopt when it is.
std::optional<THvsrStatus> RefusedStep(const TFileRecord& record, double step) {
  if (std::isfinite(step) && step > 0.0 && step <= 180.0) return std::nullopt;
  THvsrStatus status;
  status.Outcome = THvsrOutcome::kFailed;
  status.Failure =
      MakeStatus(TCode::kAtStation, {record.Station, MakeStatus(TCode::kHvsrAzimuthStep)});
  return status;
}

}  // namespace

// The record is read in blocks once for the whole analysis and once per direction, the
// horizontals turned as each block is read: a record of any length fits in memory.
THvsrStatus AnalyseRecordAzimuths(TFileRecord& record, const TSpectrumSettings& spectrum,
                                  double default_rate, const THvsrSettings& settings, double step,
                                  UiHost& host, THvsrWindowSet& whole, THvsrAzimuths& azimuths,
                                  HeaderCache* headers, int64_t whole_record_bytes) {
  whole = THvsrWindowSet{};
  azimuths = THvsrAzimuths{};
  if (std::optional<THvsrStatus> refused = RefusedStep(record, step)) return *refused;
  THvsrStatus status;
  const int64_t bytes =
      int64_t{record.SampleCount} * record.ChannelCount() * static_cast<int64_t>(sizeof(int32_t));
  if (record.SampleCount > 0 && bytes <= whole_record_bytes) {
    TData32 samples;
    LoadSettings load;
    load.DefaultRate = default_rate;
    load.Headers = headers;
    load.ClearStop = false;
    LoadReport report;
    const bool loaded = LoadRecord(record, samples, host, load, &report);
    if (host.StopRequested()) {
      status.Outcome = THvsrOutcome::kStopped;
      return status;
    }
    if (!loaded || samples.empty() || samples[0].empty()) {
      status.Outcome = THvsrOutcome::kFailed;
      status.Failure = MakeStatus(TCode::kRecordUnreadable, {record.Station, record.File});
      return status;
    }
    return AnalyseSamplesAzimuths(record, samples, report.Unread, spectrum, settings, step, host,
                                  whole, azimuths);
  }
  status = CollectRecordWindows(record, spectrum, default_rate, settings, host, whole, headers);
  if (status.Outcome != THvsrOutcome::kAnalysed) return status;
  return AnalyseDirections(
      record, kMaxChannels, settings, step, status, whole, azimuths,
      [&](const HorizontalTurn& turn, TFileRecord& turned, THvsrWindowSet& windows) {
        return Collect(turned, kMaxChannels, settings, true, windows,
                       [&](const TSegmentHook& hook, TMatrix2D& mean) {
                         TMatrix2D stdev;
                         return CalculateSpectra(turned, spectrum, turned.SelectStart,
                                                 turned.SelectFinish, default_rate, host, mean,
                                                 stdev, hook, headers, turn);
                       });
      });
}

THvsrStatus AnalyseSamplesAzimuths(const TFileRecord& record, const TData32& samples,
                                   std::span<const TRecordRanges> unread,
                                   const TSpectrumSettings& spectrum, const THvsrSettings& settings,
                                   double step, UiHost& host, THvsrWindowSet& whole,
                                   THvsrAzimuths& azimuths) {
  azimuths = THvsrAzimuths{};
  if (std::optional<THvsrStatus> refused = RefusedStep(record, step)) return *refused;
  THvsrStatus status;
  status = CollectWindowsOfSamples(record, samples, unread, spectrum, settings, host, whole);
  if (status.Outcome != THvsrOutcome::kAnalysed) return status;
  TData32 rotated;
  return AnalyseDirections(
      record, samples.size(), settings, step, status, whole, azimuths,
      [&](const HorizontalTurn& turn, TFileRecord& turned, THvsrWindowSet& windows) {
        if (rotated.empty()) rotated = samples;
        // Each direction turns the samples as they were read.
        rotated[static_cast<size_t>(turn.E)] = samples[static_cast<size_t>(turn.E)];
        TurnHorizontals(turn, rotated);
        std::vector<TRecordRanges> rotated_unread(unread.begin(), unread.end());
        TurnUnread(turn, rotated_unread);
        return CollectWindowsOfSamples(turned, rotated, rotated_unread, spectrum, settings, host,
                                       windows, true);
      });
}

}  // namespace tarvik
