#include "viewers/band_amplitudes.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/number_text.h"

namespace tarvik {

namespace {

constexpr char kIntegralHeading[] = "Среднеквадратические амплитуды:\r\n\r\n";
constexpr char kMeanHeading[] = "Средние амплитуды:\r\n\r\n";
constexpr char kCopyPrompt[] =
    "\r\nНажмите [Ok] чтобы закрыть окно и скопировать данные в буфер обмена, [Cancel] - "
    "закрыть окно.";

// The first point at or above lo, when it is not above hi.
std::optional<size_t> FirstInBand(const std::vector<double>& x, size_t n, double lo, double hi) {
  size_t i = 0;
  while (i < n && !(x[i] >= lo)) ++i;
  if (i >= n || !(x[i] <= hi)) return std::nullopt;
  return i;
}

// "%<precision>e" or "%<precision>f" whatever the process locale.
std::string FormatFixedOrExp(double v, std::chars_format format, int precision) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, format, precision);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string ValueText(const std::optional<double>& v) {
  return "\t" + (v ? FormatFixedOrExp(*v, std::chars_format::scientific, 5) : kNoData);
}

// A spread's dots lie at value ± spread; its band value is that of the spread column.
std::optional<double> Measure(const TChartSeries& s, TBandMeasure measure, double lo, double hi) {
  const bool spread = s.Kind == TSeriesKind::kPoints && !s.SpreadX.empty();
  const std::vector<double>& x = spread ? s.SpreadX : s.X;
  const std::vector<double>& y = spread ? s.SpreadY : s.Y;
  return measure == TBandMeasure::kIntegral ? BandIntegral(x, y, lo, hi) : BandMean(x, y, lo, hi);
}

bool HasCurve(const TChartSeries& s) {
  return s.Kind != TSeriesKind::kBand && s.Kind != TSeriesKind::kColorMap;
}

const char* Heading(TBandMeasure measure) {
  return measure == TBandMeasure::kIntegral ? kIntegralHeading : kMeanHeading;
}

// "\r\nN_TITLE\tVALUE" for each value, N counting from 1.
std::string SeriesLines(const std::vector<TBandValue>& values) {
  std::string text;
  int n = 0;
  for (const TBandValue& v : values) {
    text += "\r\n" + std::to_string(++n) + "_" + v.Title + ValueText(v.Value);
  }
  return text;
}

}  // namespace

std::optional<double> BandIntegral(const std::vector<double>& x, const std::vector<double>& y,
                                   double lo, double hi) {
  const size_t n = std::min(x.size(), y.size());
  const std::optional<size_t> first = FirstInBand(x, n, lo, hi);
  if (!first) return std::nullopt;
  const size_t i = *first;
  double delta = i > 0 ? x[i] - x[i - 1] : (n > 1 ? x[1] - x[0] : 0.0);
  double sum = y[i] * delta / 2.0;
  size_t last = i;
  for (size_t m = i + 1; m < n && x[m] <= hi; ++m) {
    delta = x[m] - x[m - 1];
    sum += y[m] * delta;
    last = m;
  }
  sum += y[last] * delta / 2.0;
  return std::sqrt(sum);
}

std::optional<double> BandMean(const std::vector<double>& x, const std::vector<double>& y,
                               double lo, double hi) {
  const size_t n = std::min(x.size(), y.size());
  const std::optional<size_t> first = FirstInBand(x, n, lo, hi);
  if (!first) return std::nullopt;
  double sum = 0.0;
  size_t count = 0;
  for (size_t m = *first; m < n && x[m] <= hi; ++m) {
    sum += y[m];
    ++count;
  }
  return std::sqrt(sum / static_cast<double>(count));
}

std::vector<TBandValue> StandardBandValues(const TSpectrumView& view, TBandMeasure measure) {
  int s = -1;
  for (size_t i = 0; i < view.Series.size(); ++i) {
    if (view.Series[i].Checked && HasCurve(view.Series[i])) {
      s = static_cast<int>(i);
      break;
    }
  }
  std::vector<TBandValue> out;
  for (const auto& [lo, hi] : kStandardBands) {
    for (int k : {s, s + 1}) {
      TBandValue v;
      v.Lo = lo;
      v.Hi = hi;
      if (s >= 0 && k < static_cast<int>(view.Series.size())) {
        const TChartSeries& series = view.Series[static_cast<size_t>(k)];
        v.Series = k;
        v.Title = series.Title;
        v.Value = Measure(series, measure, lo, hi);
      }
      out.push_back(std::move(v));
    }
  }
  return out;
}

std::vector<TBandValue> SeriesBandValues(const TSpectrumView& view, TBandMeasure measure, double lo,
                                         double hi) {
  std::vector<TBandValue> out;
  for (size_t i = 0; i < view.Series.size(); ++i) {
    const TChartSeries& s = view.Series[i];
    if (!s.Checked || !HasCurve(s)) continue;
    out.push_back({static_cast<int>(i), s.Title, lo, hi, Measure(s, measure, lo, hi)});
  }
  return out;
}

bool ParseBandRange(std::string_view text, double& lo, double& hi) {
  std::vector<double> numbers;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == '-' || text[i] == ' ')) ++i;
    size_t j = i;
    while (j < text.size() && text[j] != '-' && text[j] != ' ') ++j;
    if (j > i) {
      const std::optional<double> v = ParseDouble(text.substr(i, j - i));
      if (!v) return false;
      numbers.push_back(*v);
    }
    i = j;
  }
  if (numbers.size() != 2) return false;
  lo = numbers[0];
  hi = numbers[1];
  return true;
}

TBandDialog StandardBandsDialog(const TSpectrumView& view, TBandMeasure measure) {
  TBandDialog d;
  d.InputBox = true;
  for (const TBandValue& v : StandardBandValues(view, measure)) d.Text += ValueText(v.Value);
  d.Report = d.Text;
  return d;
}

std::optional<TBandDialog> GivenBandDialog(const TSpectrumView& view, TBandMeasure measure,
                                           std::string_view answer, TStatus* error) {
  double lo = 0.0, hi = 0.0;
  if (!ParseBandRange(answer, lo, hi)) {
    if (error != nullptr) *error = MakeStatus(TCode::kNotABand, {std::string(answer)});
    return std::nullopt;
  }
  const std::string text =
      "№\t" + std::string(answer) + " Гц" + SeriesLines(SeriesBandValues(view, measure, lo, hi));
  TBandDialog d;
  d.Text = Heading(measure) + text;
  d.Report = d.Text;
  if (measure == TBandMeasure::kIntegral) {
    d.Text += kCopyPrompt;
    d.OkCancel = true;
    d.Clipboard = text;
  }
  return d;
}

TBandDialog WindowBandDialog(const TSpectrumView& view, TBandMeasure measure, double lo,
                             double hi) {
  TBandDialog d;
  d.Text = Heading(measure) + std::string("№\t") +
           FormatFixedOrExp(lo, std::chars_format::fixed, 2) + "-" +
           FormatFixedOrExp(hi, std::chars_format::fixed, 2) + " Гц" +
           SeriesLines(SeriesBandValues(view, measure, lo, hi));
  d.Report = d.Text;
  return d;
}

}  // namespace tarvik
