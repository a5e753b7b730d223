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

// A logarithmic axis ticked by LogAxisTicks: at least three labels whatever the range. Powers
// of ten are labelled "10^-4" (with as many mantissa digits as a tick between decades needs: a
// fixed precision would write 1.2e-4 as 10^-4); the other ticks as plain numbers. The whole
// mantissas between the labels are minor ticks.
class LogTicker : public QCPAxisTickerLog {
 protected:
  QVector<double> createTickVector(double tick_step, const QCPRange& range) override {
    const TLogTicks ticks = LogAxisTicks(range.lower, range.upper);
    if (ticks.Values.empty()) return QCPAxisTickerLog::createTickVector(tick_step, range);
    plain_ = ticks.Plain;
    range_ = range;
    return QVector<double>(ticks.Values.begin(), ticks.Values.end());
  }

  QVector<double> createSubTickVector(int, const QVector<double>& ticks) override {
    QVector<double> sub_ticks;
    if (!(range_.lower > 0.0) || range_.upper / range_.lower > 1e30) return sub_ticks;
    const int first = static_cast<int>(std::floor(std::log10(range_.lower)));
    const int last = static_cast<int>(std::ceil(std::log10(range_.upper)));
    for (int k = first; k <= last; ++k) {
      for (int m = 1; m < 10; ++m) {
        const double t = k < 0 ? m / std::pow(10.0, -k) : m * std::pow(10.0, k);
        if (t < range_.lower || t > range_.upper) continue;
        const bool major = std::any_of(ticks.begin(), ticks.end(),
                                       [t](double v) { return std::fabs(v - t) <= 1e-9 * t; });
        if (!major) sub_ticks.push_back(t);
      }
    }
    // Round numbers between mantissas are labelled themselves; no minor ticks among them.
    return sub_ticks.size() > 200 || ticks.size() > 12 ? QVector<double>() : sub_ticks;
  }

  QString getTickLabel(double tick, const QLocale& locale, QChar format, int precision) override {
    if (plain_ || format != QLatin1Char('e')) {
      if (plain_ && tick >= 1e-3 && tick < 1e5) return locale.toString(tick, 'g', 6);
      if (format != QLatin1Char('e')) {
        return QCPAxisTickerLog::getTickLabel(tick, locale, format, precision);
      }
    }
    for (int digits = 0; digits < 3; ++digits) {
      const QString text = locale.toString(tick, format.toLatin1(), digits);
      bool ok = false;
      const double back = locale.toDouble(text, &ok);
      if (ok && std::fabs(back - tick) <= 1e-9 * std::fabs(tick)) return text;
    }
    return locale.toString(tick, format.toLatin1(), precision);
  }

 private:
  bool plain_ = false;
  QCPRange range_;
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

// A spread as a shaded band: the dots come in pairs per frequency (value + spread, then
// value − spread where that is above zero on a logarithmic axis), so the band runs along the
// upper dot of each frequency and down to the lower one. Where the lower dot is missing the band
// reaches as far below the curve (line, the series before) as the upper dot lies above it.
QCPGraph* AddSpreadBand(QCustomPlot& plot, const TChartSeries& s, const TChartSeries* line,
                        bool log_y) {
  QVector<double> x, upper, lower;
  for (size_t i = 0; i < s.X.size();) {
    size_t j = i + 1;
    while (j < s.X.size() && s.X[j] == s.X[i]) ++j;
    const double hi = *std::max_element(s.Y.begin() + static_cast<std::ptrdiff_t>(i),
                                        s.Y.begin() + static_cast<std::ptrdiff_t>(j));
    double lo = *std::min_element(s.Y.begin() + static_cast<std::ptrdiff_t>(i),
                                  s.Y.begin() + static_cast<std::ptrdiff_t>(j));
    if (j - i == 1 && line != nullptr) {
      const auto at = std::find(line->X.begin(), line->X.end(), s.X[i]);
      if (at != line->X.end()) {
        const double value = line->Y[static_cast<size_t>(at - line->X.begin())];
        lo = log_y && hi > 0.0 ? value * value / hi : 2.0 * value - hi;
      }
    }
    x.push_back(s.X[i]);
    upper.push_back(hi);
    lower.push_back(lo);
    i = j;
  }
  QCPGraph* bottom = plot.addGraph();
  bottom->setPen(Qt::NoPen);
  bottom->setData(x, lower, true);
  bottom->removeFromLegend();
  QCPGraph* top = plot.addGraph();
  top->setName(QString::fromStdString(s.Title));
  top->setPen(Qt::NoPen);
  QColor fill = ColorOf(s);
  fill.setAlpha(std::min(fill.alpha(), 40));
  top->setBrush(fill);
  top->setData(x, upper, true);
  top->setChannelFillGraph(bottom);
  // The lower edge comes and goes with the band.
  QObject::connect(top, &QCPLayerable::layerChanged, bottom,
                   [bottom](QCPLayer* layer) { bottom->setLayer(layer); });
  return top;
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

QColor QColorOf(TRgb rgb) {
  return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>(rgb & 0xFF));
}

// A colour map's cells as an image stretched between the outer edges of the grid. The library
// sizes the cells evenly in pixels, so on an axis of the grid's own scale (logarithmic or
// linear) each cell covers exactly its own stretch of the axis.
QCPColorMap* AddColorMap(QCustomPlot& plot, const TChartSeries& s) {
  auto* map = new QCPColorMap(plot.xAxis, plot.yAxis);
  map->setName(QString::fromStdString(s.Title));
  map->setInterpolate(false);
  map->setTightBoundary(false);
  const TColorGrid& grid = s.Map;
  QCPColorGradient gradient;
  gradient.clearColorStops();
  for (const TColorStop& stop : grid.Gradient) {
    gradient.setColorStopAt(std::clamp(stop.At, 0.0, 1.0), QColorOf(stop.Color));
  }
  gradient.setNanHandling(QCPColorGradient::nhTransparent);
  gradient.setLevelCount(350);
  map->setGradient(gradient);
  map->setDataRange(QCPRange(grid.Low, grid.High > grid.Low ? grid.High : grid.Low + 1.0));
  if (grid.Columns < 1 || grid.Rows < 1 ||
      grid.Values.size() != static_cast<size_t>(grid.Columns) * static_cast<size_t>(grid.Rows)) {
    return map;
  }
  // A single column or row is doubled: the library gives a lone cell no width.
  const int nx = grid.Columns == 1 ? 2 : grid.Columns;
  const int ny = grid.Rows == 1 ? 2 : grid.Rows;
  QCPColorMapData* data = map->data();
  data->setSize(nx, ny);
  const auto middle = [](double a, double b, bool log, int n, int i) {
    const double f = (i + 0.5) / n;
    return log ? a * std::pow(b / a, f) : a + (b - a) * f;
  };
  data->setRange(QCPRange(middle(grid.X0, grid.X1, grid.LogX, nx, 0),
                          middle(grid.X0, grid.X1, grid.LogX, nx, nx - 1)),
                 QCPRange(middle(grid.Y0, grid.Y1, grid.LogY, ny, 0),
                          middle(grid.Y0, grid.Y1, grid.LogY, ny, ny - 1)));
  for (int r = 0; r < ny; ++r) {
    for (int c = 0; c < nx; ++c) {
      data->setCell(c, r, grid.At(grid.Columns == 1 ? 0 : c, grid.Rows == 1 ? 0 : r));
    }
  }
  return map;
}

// Where the axis rect sits in the plot's layout.
bool AxisRectCell(QCustomPlot& plot, int& row, int& column) {
  QCPLayoutGrid* layout = plot.plotLayout();
  for (row = 0; row < layout->rowCount(); ++row) {
    for (column = 0; column < layout->columnCount(); ++column) {
      if (layout->hasElement(row, column) && layout->element(row, column) == plot.axisRect()) {
        return true;
      }
    }
  }
  return false;
}

// The colour scale of the first colour map, right of the chart and as tall as it; an earlier
// scale goes away with its map.
void PlaceColorScale(QCustomPlot& plot, QCPColorMap* map) {
  QCPLayoutGrid* layout = plot.plotLayout();
  for (int i = layout->elementCount() - 1; i >= 0; --i) {
    if (qobject_cast<QCPColorScale*>(layout->elementAt(i)) != nullptr) layout->removeAt(i);
  }
  layout->simplify();
  if (map == nullptr) return;
  int row = 0, column = 0;
  if (!AxisRectCell(plot, row, column)) return;
  auto* scale = new QCPColorScale(&plot);
  if (column + 1 < layout->columnCount() && layout->hasElement(row, column + 1)) {
    layout->insertColumn(column + 1);
  }
  layout->addElement(row, column + 1, scale);
  layout->setColumnStretchFactor(column + 1, 0.01);
  scale->setType(QCPAxis::atRight);
  scale->setBarWidth(14);
  scale->axis()->setLabel(map->name());
  // A map given a scale takes the scale's gradient and range: the scale gets the map's first.
  const QCPColorGradient gradient = map->gradient();
  const QCPRange range = map->dataRange();
  map->setColorScale(scale);
  scale->setGradient(gradient);
  scale->setDataRange(range);
  auto* group = new QCPMarginGroup(&plot);
  plot.axisRect()->setMarginGroup(QCP::msTop | QCP::msBottom, group);
  scale->setMarginGroup(QCP::msTop | QCP::msBottom, group);
}

// The legend of a chart whose colour map fills the whole axis rect: outside, right of the
// colour scale, where it covers nothing.
void PlaceLegendOutside(QCustomPlot& plot) {
  int row = 0, column = 0;
  if (!AxisRectCell(plot, row, column)) return;
  QCPLayoutGrid* layout = plot.plotLayout();
  plot.axisRect()->insetLayout()->take(plot.legend);
  const int at = layout->columnCount();
  layout->insertColumn(at);
  // At the top of its column, as tall as its entries: an empty row below takes the rest.
  auto* column_layout = new QCPLayoutGrid;
  layout->addElement(row, at, column_layout);
  layout->setColumnStretchFactor(at, 0.01);
  column_layout->addElement(0, 0, plot.legend);
  column_layout->insertRow(1);
  column_layout->setRowStretchFactor(0, 0.01);
  column_layout->setMargins(QMargins(0, 0, 6, 0));
  plot.legend->setMargins(QMargins(6, 4, 6, 4));
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
  // Colour maps fill the chart to the edges of their cells, with no room around them.
  bool map_any = false;
  for (size_t i = 0; i < layers.size() && i < view.Series.size(); ++i) {
    const TChartSeries& s = view.Series[i];
    if (s.Kind != TSeriesKind::kColorMap || !layers[i]->visible() || !s.FitsAxes ||
        s.Map.Columns < 1 || s.Map.Rows < 1) {
      continue;
    }
    const QCPRange x(std::min(s.Map.X0, s.Map.X1), std::max(s.Map.X0, s.Map.X1));
    const QCPRange y(std::min(s.Map.Y0, s.Map.Y1), std::max(s.Map.Y0, s.Map.Y1));
    if (any || map_any) {
      plot.xAxis->setRange(QCPRange(std::min(plot.xAxis->range().lower, x.lower),
                                    std::max(plot.xAxis->range().upper, x.upper)));
      plot.yAxis->setRange(QCPRange(std::min(plot.yAxis->range().lower, y.lower),
                                    std::max(plot.yAxis->range().upper, y.upper)));
    } else {
      plot.xAxis->setRange(x);
      plot.yAxis->setRange(y);
    }
    map_any = true;
  }
  if (map_any || !any) return;
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
  plot.clearPlottables();
  plot.clearItems();
  plot.setAutoAddPlottableToLegend(false);
  plot.legend->clearItems();
  plot.xAxis->setLabel(QString::fromStdString(view.BottomTitle));
  plot.yAxis->setLabel(QString::fromStdString(view.LeftTitle));
  SetAxisScales(plot, view.LogX, view.LogY);

  std::vector<QCPLayerable*> layers;
  layers.reserve(view.Series.size());
  QCPColorMap* first_map = nullptr;
  for (const TChartSeries& s : view.Series) {
    if (s.Kind == TSeriesKind::kColorMap) {
      QCPColorMap* map = AddColorMap(plot, s);
      map->setVisible(s.Checked);
      map->setLayer(BehindLayer(plot));
      if (first_map == nullptr) first_map = map;
      layers.push_back(map);
      continue;
    }
    if (s.Kind == TSeriesKind::kBand) {
      QCPItemRect* band = AddBand(plot, s);
      band->setVisible(s.Checked);
      layers.push_back(band);
      continue;
    }
    const bool band = (view.SpreadAsBand || style.SpreadAsBand) && s.Kind == TSeriesKind::kPoints &&
                      s.X.size() == s.Y.size();
    const TChartSeries* line =
        band && !layers.empty() && view.Series[layers.size() - 1].Kind == TSeriesKind::kLine
            ? &view.Series[layers.size() - 1]
            : nullptr;
    QCPGraph* g = band ? AddSpreadBand(plot, s, line, view.LogY) : AddGraph(plot, s);
    g->setVisible(s.Checked);
    if (band) g->setLayer(BandsLayer(plot));
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
  PlaceColorScale(plot, first_map);
  plot.legend->setVisible(style.Legend && plot.legend->itemCount() > 0);
  if (plot.legend->visible()) {
    plot.legend->setBrush(QColor(255, 255, 255, 220));
    QFont font = plot.legend->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    plot.legend->setFont(font);
    if (first_map != nullptr && first_map->visible()) {
      PlaceLegendOutside(plot);
    } else {
      // Spectra fall towards high frequencies: the upper right corner is usually free.
      plot.axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    }
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
  FillPlot(plot, view, TPlotStyle{true, true, true});
  const bool saved = ext == "png" ? plot.savePng(file, width, height)
                                  : plot.savePdf(file, width, height, QCP::epNoCosmetic);
  if (!saved) error = path + ": cannot write the chart";
  return saved;
}

}  // namespace tarvik::gui
