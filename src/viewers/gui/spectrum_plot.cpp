#include "viewers/gui/spectrum_plot.h"

#include <qcustomplot.h>

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/paths.h"

namespace tarvik::gui {

namespace {

// Fixed minor ticks on a linear axis (the library otherwise picks its own count per step).
class LinearTicker : public QCPAxisTicker {
 protected:
  int getSubTickCount(double) override { return kLinearMinorTicks; }
};

// A logarithmic axis. Over two decades or more it ticks the powers of ten, labelled "10^-4"
// (with as many mantissa digits as a tick between decades needs: a fixed precision would write
// 1.2e-4 as 10^-4). A narrower range, typical of H/V ratios, would get one labelled tick or
// none, so there it ticks 1, 2 and 5 times the powers of ten, labelled as plain numbers, with a
// minor tick at every other whole mantissa.
class LogTicker : public QCPAxisTickerLog {
  // m · 10^k, dividing for negative k so that 3 · 10^-1 is the double nearest 0.3.
  static double Scaled(double m, int k) {
    return k < 0 ? m / std::pow(10.0, -k) : m * std::pow(10.0, k);
  }

 protected:
  QVector<double> createTickVector(double tick_step, const QCPRange& range) override {
    mantissas_ = range.lower > 0.0 && range.upper / range.lower < kFullDecadesRatio;
    if (!mantissas_) return QCPAxisTickerLog::createTickVector(tick_step, range);
    QVector<double> ticks;
    const int first = static_cast<int>(std::floor(std::log10(range.lower)));
    const int last = static_cast<int>(std::ceil(std::log10(range.upper)));
    for (int k = first; k <= last; ++k) {
      for (const double m : {1.0, 2.0, 5.0}) ticks.push_back(Scaled(m, k));
    }
    return ticks;
  }

  QVector<double> createSubTickVector(int sub_tick_count, const QVector<double>& ticks) override {
    if (!mantissas_) return QCPAxisTickerLog::createSubTickVector(sub_tick_count, ticks);
    QVector<double> sub_ticks;
    for (qsizetype i = 0; i + 1 < ticks.size(); ++i) {
      const int k = static_cast<int>(std::floor(std::log10(ticks[i]) + 1e-9));
      for (int m = 2; m < 10; ++m) {
        const double t = Scaled(m, k);
        if (t > ticks[i] * (1.0 + 1e-9) && t < ticks[i + 1] * (1.0 - 1e-9)) sub_ticks.push_back(t);
      }
    }
    return sub_ticks;
  }

  QString getTickLabel(double tick, const QLocale& locale, QChar format, int precision) override {
    if (format != QLatin1Char('e')) {
      return QCPAxisTickerLog::getTickLabel(tick, locale, format, precision);
    }
    if (mantissas_ && tick >= 1e-3 && tick < 1e5) return locale.toString(tick, 'g', 6);
    for (int digits = 0; digits < 3; ++digits) {
      const QString text = locale.toString(tick, format.toLatin1(), digits);
      bool ok = false;
      const double back = locale.toDouble(text, &ok);
      if (ok && std::fabs(back - tick) <= 1e-9 * std::fabs(tick)) return text;
    }
    return locale.toString(tick, format.toLatin1(), precision);
  }

 private:
  // Upper / lower bound from which the powers of ten alone give enough labels.
  static constexpr double kFullDecadesRatio = 100.0;
  bool mantissas_ = false;
};

QColor ColorOf(const TChartSeries& s) {
  QColor c(static_cast<int>((s.Color >> 16) & 0xFF), static_cast<int>((s.Color >> 8) & 0xFF),
           static_cast<int>(s.Color & 0xFF));
  c.setAlpha(std::clamp(s.Alpha, 0, 255));
  return c;
}

QCPGraph* AddGraph(QCustomPlot& plot, const TChartSeries& s) {
  QCPGraph* g = plot.addGraph();
  g->setName(QString::fromStdString(s.Title));
  const QColor color = ColorOf(s);
  QPen pen(color, s.Width);
  if (s.Dashed) pen.setStyle(Qt::DashLine);
  g->setPen(pen);
  if (s.Kind == TSeriesKind::kPoints) {
    g->setLineStyle(QCPGraph::lsNone);
    g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, Qt::NoPen, QBrush(color), 2));
    // The dots of a spread come in pairs per frequency: value + spread, then value − spread.
    g->setData(QVector<double>(s.X.begin(), s.X.end()), QVector<double>(s.Y.begin(), s.Y.end()));
  } else {
    g->setData(QVector<double>(s.X.begin(), s.X.end()), QVector<double>(s.Y.begin(), s.Y.end()),
               std::is_sorted(s.X.begin(), s.X.end()));
  }
  return g;
}

// The layers between the grid and the main one, created on first use: from the bottom up, the
// curves marked Behind, then the bands.
QCPLayer* BandsLayer(QCustomPlot& plot) {
  if (plot.layer("bands") == nullptr) {
    plot.addLayer("bands", plot.layer("main"), QCustomPlot::limBelow);
  }
  return plot.layer("bands");
}

QCPLayer* BehindLayer(QCustomPlot& plot) {
  if (plot.layer("behind") == nullptr) {
    plot.addLayer("behind", BandsLayer(plot), QCustomPlot::limBelow);
  }
  return plot.layer("behind");
}

// A shaded band across the chart with its title in a box at its top, so that the title comes
// and goes with the band. The box keeps the title readable over curves that run off the chart.
class BandItem : public QCPItemRect {
 public:
  BandItem(QCustomPlot* plot, QString label) : QCPItemRect(plot), label_(std::move(label)) {}

 protected:
  void draw(QCPPainter* painter) override {
    QCPItemRect::draw(painter);
    if (label_.isEmpty()) return;
    const QPointF a = topLeft->pixelPosition();
    const QPointF b = bottomRight->pixelPosition();
    QFont font = mParentPlot->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    painter->setFont(font);
    const QFontMetricsF metrics(font);
    const QSizeF size(metrics.horizontalAdvance(label_) + 8.0, metrics.height() + 4.0);
    const QRectF box(QPointF((a.x() + b.x() - size.width()) / 2.0, std::min(a.y(), b.y()) + 3.0),
                     size);
    painter->setPen(QColor(200, 140, 40));
    painter->setBrush(QColor(255, 255, 255, 230));
    painter->drawRect(box);
    painter->setPen(QColor(120, 70, 0));
    painter->drawText(box, Qt::AlignCenter, label_);
  }

 private:
  QString label_;
};

// The bands lie over the background curves and under the curves of the result.
QCPItemRect* AddBand(QCustomPlot& plot, const TChartSeries& s) {
  auto* rect = new BandItem(&plot, QString::fromStdString(s.Title));
  rect->setPen(Qt::NoPen);
  rect->setBrush(QBrush(ColorOf(s)));
  rect->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
  rect->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
  const double x0 = s.X.empty() ? 0.0 : s.X.front();
  const double x1 = s.X.size() < 2 ? x0 : s.X[1];
  rect->topLeft->setCoords(x0, 0.0);
  rect->bottomRight->setCoords(x1, 1.0);
  rect->setClipToAxisRect(true);
  rect->setLayer(BandsLayer(plot));
  return rect;
}

}  // namespace

void SetAxisScales(QCustomPlot& plot, bool log_x, bool log_y) {
  for (auto [axis, log] : {std::pair{plot.xAxis, log_x}, std::pair{plot.yAxis, log_y}}) {
    if (log) {
      axis->setScaleType(QCPAxis::stLogarithmic);
      auto ticker = QSharedPointer<LogTicker>::create();
      ticker->setSubTickCount(kLogMinorTicks);
      axis->setTicker(ticker);
    } else {
      axis->setScaleType(QCPAxis::stLinear);
      axis->setTicker(QSharedPointer<LinearTicker>::create());
    }
  }
  // Minor grid lines make values readable between the decades of a logarithmic axis.
  for (QCPAxis* axis : {plot.xAxis, plot.yAxis}) {
    const bool log = axis->scaleType() == QCPAxis::stLogarithmic;
    axis->grid()->setSubGridVisible(log);
    axis->grid()->setSubGridPen(QPen(QColor(225, 225, 225), 0, Qt::DotLine));
  }
  // Powers of ten on a logarithmic value axis; plain numbers otherwise.
  plot.xAxis->setNumberFormat("g");
  plot.xAxis->setNumberPrecision(6);
  plot.yAxis->setNumberFormat(log_y ? "eb" : "gb");
  plot.yAxis->setNumberPrecision(log_y ? 0 : 4);
}

void FitToData(QCustomPlot& plot, const TSpectrumView& view,
               const std::vector<QCPLayerable*>& layers) {
  bool any = false;
  for (const bool references : {false, true}) {
    for (size_t i = 0; i < layers.size() && i < view.Series.size(); ++i) {
      auto* g = qobject_cast<QCPGraph*>(layers[i]);
      if (g == nullptr || !g->visible() || g->dataCount() == 0) continue;
      if (view.Series[i].FitsAxes == references) continue;
      g->rescaleAxes(any);
      any = true;
    }
    if (any) break;
  }
  if (!any) return;
  // A little room above and below on the value axis.
  if (plot.yAxis->scaleType() == QCPAxis::stLogarithmic) {
    // The lower dots of a spread as large as the value reach down by decades; the axis goes at
    // most two decades below the lowest curve, so that the curves stay readable.
    double lowest = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < layers.size() && i < view.Series.size(); ++i) {
      const TChartSeries& s = view.Series[i];
      if (s.Kind != TSeriesKind::kLine || !s.FitsAxes || !layers[i]->visible()) continue;
      for (double y : s.Y) {
        if (y > 0.0) lowest = std::min(lowest, y);
      }
    }
    QCPRange range = plot.yAxis->range();
    if (std::isfinite(lowest) && range.lower < lowest / 100.0 && lowest / 100.0 < range.upper) {
      range.lower = lowest / 100.0;
      plot.yAxis->setRange(range);
    }
    plot.yAxis->scaleRange(1.1, std::sqrt(plot.yAxis->range().lower * plot.yAxis->range().upper));
  } else {
    plot.yAxis->scaleRange(1.05, plot.yAxis->range().center());
  }
  // Room at the top for the titles of the bands, above the curves.
  const bool titled_band = std::any_of(view.Series.begin(), view.Series.end(), [](const auto& s) {
    return s.Kind == TSeriesKind::kBand && s.Checked && !s.Title.empty();
  });
  if (titled_band) {
    const QCPRange range = plot.yAxis->range();
    if (plot.yAxis->scaleType() == QCPAxis::stLogarithmic) {
      plot.yAxis->setRangeUpper(range.upper * std::pow(range.upper / range.lower, 0.1));
    } else {
      plot.yAxis->setRangeUpper(range.upper + 0.1 * range.size());
    }
  }
}

std::vector<QCPLayerable*> FillPlot(QCustomPlot& plot, const TSpectrumView& view,
                                    const TPlotStyle& style) {
  plot.clearGraphs();
  plot.clearItems();
  plot.setAutoAddPlottableToLegend(false);
  plot.legend->clearItems();
  plot.xAxis->setLabel(QString::fromStdString(view.BottomTitle));
  plot.yAxis->setLabel(QString::fromStdString(view.LeftTitle));
  SetAxisScales(plot, view.LogX, view.LogY);

  std::vector<QCPLayerable*> layers;
  layers.reserve(view.Series.size());
  for (const TChartSeries& s : view.Series) {
    if (s.Kind == TSeriesKind::kBand) {
      QCPItemRect* band = AddBand(plot, s);
      band->setVisible(s.Checked);
      layers.push_back(band);
      continue;
    }
    QCPGraph* g = AddGraph(plot, s);
    g->setVisible(s.Checked);
    if (s.Behind) g->setLayer(BehindLayer(plot));
    if (style.Legend && s.Checked && s.Kind == TSeriesKind::kLine && s.InLegend) {
      // The legend shows the graph's name: a group's entry renames its first curve.
      if (!s.LegendTitle.empty()) g->setName(QString::fromStdString(s.LegendTitle));
      g->addToLegend();
    }
    layers.push_back(g);
  }

  if (style.Title) {
    if (plot.plotLayout()->rowCount() < 2) plot.plotLayout()->insertRow(0);
    QCPLayoutGrid* layout = plot.plotLayout();
    auto* title =
        layout->hasElement(0, 0) ? qobject_cast<QCPTextElement*>(layout->element(0, 0)) : nullptr;
    if (title == nullptr) {
      title = new QCPTextElement(&plot);
      layout->addElement(0, 0, title);
    }
    // A caption that is a file's path is long; its name says enough above a chart.
    title->setText(QString::fromStdString(FileName(view.Caption)));
  }
  plot.legend->setVisible(style.Legend && plot.legend->itemCount() > 0);
  if (plot.legend->visible()) {
    plot.legend->setBrush(QColor(255, 255, 255, 220));
    QFont font = plot.legend->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    plot.legend->setFont(font);
    // Spectra fall towards high frequencies: the upper right corner is usually free.
    plot.axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
  }
  FitToData(plot, view, layers);
  return layers;
}

bool RenderChart(const TSpectrumView& view, const std::string& path, int width, int height,
                 std::string& error) {
  const QString file = QString::fromStdString(path);
  const QString ext = QFileInfo(file).suffix().toLower();
  if (ext != "png" && ext != "pdf") {
    error = path + ": the output must be a .png or a .pdf file";
    return false;
  }
  QCustomPlot plot;
  plot.resize(width, height);
  FillPlot(plot, view, TPlotStyle{true, true});
  const bool saved = ext == "png" ? plot.savePng(file, width, height)
                                  : plot.savePdf(file, width, height, QCP::epNoCosmetic);
  if (!saved) error = path + ": cannot write the chart";
  return saved;
}

}  // namespace tarvik::gui
