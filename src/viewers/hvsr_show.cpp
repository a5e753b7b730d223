#include "viewers/hvsr_show.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/paths.h"
#include "common/text_encoding.h"
#include "spectral/hv_export.h"

namespace tarvik {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- Numbers as text, "." whatever the locale (Qt sets the user's locale for the C library).

std::string Fixed(double v, int decimals) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("?");
}

// About three significant digits, never in exponent form for the sizes a criterion tests.
std::string Readable(double v) {
  const double a = std::fabs(v);
  if (a >= 100.0) return Fixed(v, 0);
  if (a >= 10.0) return Fixed(v, 1);
  if (a >= 1.0 || a == 0.0) return Fixed(v, 2);
  if (a >= 0.001) return Fixed(v, 2 - static_cast<int>(std::floor(std::log10(a))));
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 3);
  return std::string(buf, r.ptr);
}

// f0 with two decimals, three below 1 Hz.
int HzDecimals(double f) {
  return std::fabs(f) < 1.0 ? 3 : 2;
}

std::string Hz(double f) {
  return Fixed(f, HzDecimals(f));
}

// "f0 ± σ" with the spread written to the decimals of f0.
std::string HzPlusMinus(double f, double sigma) {
  return Hz(f) + " ± " + Fixed(sigma, HzDecimals(f));
}

// The two grids written from the same analysis carry the same six-digit numbers.
bool SameGrid(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::fabs(a[i] - b[i]) > 1e-5 * std::fabs(b[i])) return false;
  }
  return true;
}

// kFileOfAnotherRun for the companion at path, why telling how it differs.
TStatus OtherRun(const std::string& path, const TStatus& why) {
  TStatus status = MakeStatus(TCode::kFileOfAnotherRun, {path, why});
  status.File = path;
  return status;
}

// ---- The chart.

constexpr TRgb kMeanColor = 0x000000;
constexpr TRgb kKeptColor = 0x707070;
constexpr TRgb kRejectedColor = 0xC03030;
constexpr TRgb kNoPeakColor = 0x3050C0;
constexpr TRgb kBandColor = 0xF0A020;

struct TFateStyle {
  TWindowFate Fate;
  TRgb Color;
  int Alpha;
  bool Dashed;
  const char* Suffix;  // after "Окно N"
  const char* Group;   // the legend's entry for the group
};

// In drawing order: the windows left out first, so that the kept ones, which make the mean
// curve, lie over them; the left-out ones show in their own colour wherever they stray.
constexpr TFateStyle kFateStyles[] = {
    {TWindowFate::kUnusable, kKeptColor, 70, true, " (непригодно)", "Непригодные окна"},
    {TWindowFate::kNoPeak, kNoPeakColor, 80, false, " (нет пика)", "Окна без пика"},
    {TWindowFate::kRejected, kRejectedColor, 80, false, " (отклонено)", "Отклоненные окна"},
    {TWindowFate::kKept, kKeptColor, 70, false, "", "Окна"},
};

TChartSeries Line(std::string title, TRgb color, double width, bool dashed) {
  TChartSeries s;
  s.Title = std::move(title);
  s.Color = color;
  s.Width = width;
  s.Dashed = dashed;
  return s;
}

void AddPositive(TChartSeries& s, const std::vector<double>& x, const std::vector<double>& y) {
  s.X.reserve(x.size());
  s.Y.reserve(x.size());
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (x[i] > 0.0 && std::isfinite(x[i]) && std::isfinite(y[i])) s.Add(x[i], y[i]);
  }
}

// One series per window with a curve, behind the others; the legend gets one entry per fate.
void AddWindows(TSpectrumView& view, const THvWindowsFile& windows) {
  for (const TFateStyle& style : kFateStyles) {
    const auto count = std::count_if(windows.Windows.begin(), windows.Windows.end(),
                                     [&](const THvWindowCurve& w) { return w.Fate == style.Fate; });
    bool first = true;
    for (const THvWindowCurve& w : windows.Windows) {
      if (w.Fate != style.Fate) continue;
      TChartSeries s =
          Line("Окно " + std::to_string(w.Number) + style.Suffix, style.Color, 1.0, style.Dashed);
      s.Alpha = style.Alpha;
      s.Behind = true;
      s.FitsAxes = false;
      AddPositive(s, windows.Grid, w.Values);
      if (s.X.empty()) continue;
      s.InLegend = first;
      s.LegendTitle = std::string(style.Group) + " (" + std::to_string(count) + ")";
      first = false;
      view.Series.push_back(std::move(s));
    }
  }
}

void AddBand(TSpectrumView& view, double lo, double hi, std::string title) {
  if (!(hi > 0.0) || !std::isfinite(lo) || !std::isfinite(hi)) return;
  TChartSeries band;
  band.Title = std::move(title);
  band.Kind = TSeriesKind::kBand;
  band.Color = kBandColor;
  band.Alpha = 70;
  band.InLegend = false;
  // The band lies on a logarithmic axis: its left edge stays above 0.
  band.Add(std::max(lo, hi * 1e-3), 0.0);
  band.Add(hi, 0.0);
  view.Series.push_back(std::move(band));
}

// How the panel writes each criterion: what is tested, whether the value must be above the
// threshold, and the unit (clear.4 is a relative deviation shown in percent).
struct TCriterionText {
  std::string_view Id;
  const char* Name;
  bool Above;
  const char* Unit;
  double Scale;
};

constexpr TCriterionText kCriterionTexts[] = {
    {"reliable.1", "f0 > 10 / lw", true, " Гц", 1.0},
    {"reliable.2", "nc = lw · nw · f0 > 200", true, "", 1.0},
    {"reliable.3", "max σA на (f0/2, 2 f0)", false, "", 1.0},
    {"clear.1", "min A на [f0/4, f0) < A0/2", false, "", 1.0},
    {"clear.2", "min A на (f0, 4 f0] < A0/2", false, "", 1.0},
    {"clear.3", "A0 > 2", true, "", 1.0},
    {"clear.4", "пики A·σA и A/σA от f0", false, " %", 100.0},
    {"clear.5", "σf < ε(f0)", false, " Гц", 1.0},
    {"clear.6", "σA(f0) < θ(f0)", false, "", 1.0},
};

TPanelRow CriterionRow(const THvCriterion& c) {
  TPanelRow row;
  row.Id = c.Id;
  row.Evaluated = c.Evaluated;
  row.Value = c.Value;
  row.Threshold = c.Threshold;
  row.Pass = c.Pass;
  const auto text = std::find_if(std::begin(kCriterionTexts), std::end(kCriterionTexts),
                                 [&](const TCriterionText& t) { return t.Id == c.Id; });
  if (text == std::end(kCriterionTexts)) {
    // A criterion this viewer does not know: the report's own wording.
    row.Name = c.Test;
    row.ValueText = c.Evaluated ? Readable(c.Value) : "—";
    row.ThresholdText = Readable(c.Threshold);
    return row;
  }
  row.Name = text->Name;
  row.ValueText = c.Evaluated ? Readable(c.Value * text->Scale) + text->Unit : "—";
  row.ThresholdText =
      std::string(text->Above ? "> " : "< ") + Readable(c.Threshold * text->Scale) + text->Unit;
  return row;
}

TPanelRow Heading(std::string name) {
  TPanelRow row;
  row.Heading = true;
  row.Name = std::move(name);
  return row;
}

std::string WindowCounts(const THvReport& r) {
  return "Окна: " + std::to_string(r.Total) + ", принято " + std::to_string(r.Kept) +
         ", отклонено " + std::to_string(r.Rejected) + ", без пика " + std::to_string(r.NoPeak) +
         ", непригодно " + std::to_string(r.Unusable);
}

void FillPanelFromReport(TSidePanel& panel, const THvReport& r) {
  panel.Rows.push_back(
      Heading("Надежность кривой: " + std::to_string(r.ReliablePassed) + " из 3 (нужны все)"));
  for (const THvCriterion& c : r.Reliability) panel.Rows.push_back(CriterionRow(c));
  panel.Rows.push_back(
      Heading("Четкость пика: " + std::to_string(r.ClearPassed) + " из 6 (нужны 5)"));
  for (const THvCriterion& c : r.Clarity) panel.Rows.push_back(CriterionRow(c));

  if (r.Ok) {
    const bool reliable = r.ReliablePassed == 3;
    const bool clear = r.ClearPassed >= 5;
    panel.Notes.push_back(std::string("Итог: ") +
                          (reliable ? "кривая надежна" : "кривая ненадежна") + ", " +
                          (clear ? "пик четкий" : "пик нечеткий"));
  } else {
    panel.Notes.push_back("Итог: f0 не найдена: " + r.Verdict);
  }
  if (r.HasF0Average) {
    panel.Notes.push_back("f0 по средней кривой: " + Hz(r.F0Average) +
                          " Гц, A0 = " + Readable(r.A0Average));
  }
  if (r.HasF0Windows) {
    panel.Notes.push_back("f0 по окнам: " + HzPlusMinus(r.F0Median, r.SigmaF) + " Гц (" +
                          std::to_string(r.F0WindowCount) + " окон)");
  }
  panel.Notes.push_back(WindowCounts(r) + "; длина окна " + Readable(r.WindowSeconds) + " с");
}

// Without the report: f0 as the ".hv" file gives it.
void FillPanelFromHv(TSidePanel& panel, const THvFile& hv) {
  if (hv.F0Average > 0.0) {
    panel.Notes.push_back("f0 по средней кривой: " + Hz(hv.F0Average) +
                          " Гц, A0 = " + Readable(hv.PeakAmplitude));
  }
  if (hv.F0Windows > 0.0) {
    panel.Notes.push_back("f0 по окнам: " + Hz(hv.F0Windows) + " Гц (" + Hz(hv.F0WindowsLow) +
                          " – " + Hz(hv.F0WindowsHigh) + "), " + std::to_string(hv.WindowsForF0) +
                          " окон");
  }
  panel.Notes.push_back("Окон в средней кривой: " + std::to_string(hv.Windows));
}

}  // namespace

THvsrShown ShowHvsrResult(TSpectrumView& view, const std::string& hv_path, UiHost& host) {
  host.SetStatus(MakeStatus(TCode::kLoadingHvsrStatistics), 3);
  view.Caption = hv_path;
  view.LeftTitle = "H/V";
  view.BottomTitle = kFrequencyAxisTitle;
  view.LogX = true;
  view.LogY = false;
  view.IntegrationEnabled = false;
  view.PrevEnabled = view.NextEnabled = false;
  view.FixEnabled = false;
  ClearChart(view);
  view.ChoicesEnabled = false;

  THvFile hv;
  if (TStatus read = ReadHvFile(hv_path, hv); !read.Ok()) {
    if (read.Code == TCode::kFileDamaged) {
      host.ShowError(read);
    } else {
      host.ShowMessage(read);
    }
    return THvsrShown::kNothing;
  }
  host.SetProgress(1, 3);

  // The companions: each one read whole or left out with the reason.
  std::vector<TStatus> problems;
  THvWindowsFile windows;
  const std::string windows_path = HvWindowsPath(hv_path);
  TStatus windows_status = ReadHvWindowsFile(windows_path, windows);
  if (windows_status.Ok() && !hv.Frequency.empty() && !SameGrid(windows.Grid, hv.Frequency)) {
    windows_status = OtherRun(
        windows_path, MakeStatus(TCode::kHvOtherGrid, {std::to_string(windows.Grid.size()),
                                                       std::to_string(hv.Frequency.size())}));
  }
  const bool have_windows = windows_status.Ok();
  if (!have_windows) {
    windows = THvWindowsFile{};
    problems.push_back(windows_status);
  }
  host.SetProgress(2, 3);

  THvReport report;
  const std::string report_path = HvReportPath(hv_path);
  TStatus report_status = ReadHvReportFile(report_path, report);
  if (report_status.Ok() && have_windows &&
      static_cast<size_t>(report.Total) != windows.Windows.size()) {
    report_status = OtherRun(report_path, MakeStatus(TCode::kHvOtherWindowCount,
                                                     {std::to_string(report.Total),
                                                      std::to_string(windows.Windows.size())}));
  }
  const bool have_report = report_status.Ok();
  if (!have_report) {
    report = THvReport{};
    problems.push_back(report_status);
  }
  host.SetProgress(3, 3);

  // The check list starts with the result; the window curves, drawn behind it, follow.
  TChartSeries mean = Line("Средняя H/V", kMeanColor, 2.5, false);
  TChartSeries low = Line("Средняя ÷ exp σ", kMeanColor, 1.2, true);
  TChartSeries high = Line("Средняя × exp σ", kMeanColor, 1.2, true);
  AddPositive(mean, hv.Frequency, hv.Average);
  AddPositive(low, hv.Frequency, hv.Min);
  AddPositive(high, hv.Frequency, hv.Max);
  high.LegendTitle = "Средняя × и ÷ exp σ";
  low.InLegend = false;
  view.Series.push_back(std::move(mean));
  view.Series.push_back(std::move(low));
  view.Series.push_back(std::move(high));

  TSidePanel& panel = view.Panel;
  panel.Title = "Критерии SESAME";
  if (have_report) {
    if (report.HasF0Windows) {
      AddBand(view, report.F0Median - report.SigmaF, report.F0Median + report.SigmaF,
              "f0 = " + HzPlusMinus(report.F0Median, report.SigmaF) + " Гц");
    }
    FillPanelFromReport(panel, report);
  } else {
    if (hv.F0Windows > 0.0) {
      AddBand(view, hv.F0WindowsLow, hv.F0WindowsHigh,
              "f0 = " + Hz(hv.F0Windows) + " Гц (" + Hz(hv.F0WindowsLow) + " – " +
                  Hz(hv.F0WindowsHigh) + ")");
    }
    FillPanelFromHv(panel, hv);
  }
  if (have_windows) AddWindows(view, windows);

  if (problems.empty()) return THvsrShown::kWhole;
  TStatus shown;
  if (!have_windows && !have_report) {
    shown = MakeStatus(TCode::kOnlyHvShown, {hv_path});
  } else if (!have_windows) {
    shown = MakeStatus(TCode::kWindowCurvesNotShown);
  } else {
    shown = MakeStatus(TCode::kSesameNotShown);
  }
  // The panel is the window's: its notes are in Russian whatever the host speaks.
  for (const TStatus& p : problems) panel.Notes.push_back(Text(p, TLanguage::kRussian));
  panel.Notes.push_back(Text(shown, TLanguage::kRussian));
  host.ShowMessage(problems.size() == 1
                       ? MakeStatus(TCode::kHvsrLeftOut, {problems[0], shown})
                       : MakeStatus(TCode::kHvsrLeftOutTwo, {problems[0], problems[1], shown}));
  return THvsrShown::kPartial;
}

}  // namespace tarvik
