#include "cli/hvsr_series_plot.h"

#include <algorithm>
#include <cmath>

#ifdef TARVIK_WITH_GUI
#include <qcustomplot.h>
#include <QFileInfo>
#include <QString>
#endif

namespace tarvik::cli {

nlohmann::ordered_json HvsrSeriesChartJson(const THvsrSeriesChart& chart) {
  using Json = nlohmann::ordered_json;
  Json f0 = Json::array(), band = Json::array();
  for (size_t i = 0; i < chart.X.size(); ++i) {
    f0.push_back(std::isfinite(chart.F0[i]) ? Json::array({chart.X[i], chart.F0[i]}) : Json());
    band.push_back(std::isfinite(chart.F0Low[i])
                       ? Json::array({chart.X[i], chart.F0Low[i], chart.F0High[i]})
                       : Json());
  }
  size_t rows = 0;
  for (const auto& row : chart.Mean) rows += row.empty() ? 0 : 1;
  return {{"kind", chart.ByTime ? "hvsr_time" : "hvsr_azimuths"},
          {"station", chart.Station},
          {"x_title", chart.ByTime ? "Часы от " + chart.FirstStart : std::string("Азимут, °")},
          {"f0", std::move(f0)},
          {"f0_band", std::move(band)},
          {"map",
           {{"columns", chart.X.size()},
            {"columns_with_curve", rows},
            {"frequencies", chart.Frequency.size()},
            {"fmin", chart.Frequency.empty() ? 0.0 : chart.Frequency.front()},
            {"fmax", chart.Frequency.empty() ? 0.0 : chart.Frequency.back()},
            {"max_mean", chart.MaxMean}}}};
}

#ifdef TARVIK_WITH_GUI

namespace {

// Ticks at 1, 2 and 5 of each decade for an axis that holds log10 f: the colour map's cells
// are even in log f, which QCustomPlot draws only on a linear axis.
QSharedPointer<QCPAxisTickerText> DecadeTicker(double lo, double hi) {
  auto ticker = QSharedPointer<QCPAxisTickerText>::create();
  for (int decade = static_cast<int>(std::floor(lo)) - 1; decade <= static_cast<int>(hi) + 1;
       ++decade) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double f = m * std::pow(10.0, decade);
      ticker->addTick(std::log10(f), QString::number(f, 'g', 3));
    }
  }
  return ticker;
}

// The map: one column per X (each reaching halfway to its neighbours), one row per grid
// frequency; columns without a curve stay empty.
void FillMap(QCPColorMap* map, const THvsrSeriesChart& chart) {
  const size_t nx = chart.X.size();
  const size_t ny = chart.Frequency.size();
  const double y0 = std::log10(chart.Frequency.front());
  const double y1 = std::log10(chart.Frequency.back());
  const double x0 = chart.X.front();
  const double x1 = nx > 1 ? chart.X.back() : x0 + 1.0;
  map->data()->setSize(static_cast<int>(nx), static_cast<int>(ny));
  map->data()->setRange(QCPRange(x0, x1), QCPRange(y0, y1));
  for (size_t i = 0; i < nx; ++i) {
    for (size_t k = 0; k < ny; ++k) {
      const double v = chart.Mean[i].empty() ? std::nan("") : chart.Mean[i][k];
      map->data()->setCell(static_cast<int>(i), static_cast<int>(k), v);
      if (chart.Mean[i].empty()) map->data()->setAlpha(static_cast<int>(i), static_cast<int>(k), 0);
    }
  }
  map->setGradient(QCPColorGradient::gpJet);
  map->setDataRange(QCPRange(0.0, std::max(1.0, chart.MaxMean)));
  map->setInterpolate(false);
}

}  // namespace

bool RenderHvsrSeriesChart(const THvsrSeriesChart& chart, const std::string& path, int width,
                           int height, std::string& error) {
  const QString file = QString::fromStdString(path);
  const QString ext = QFileInfo(file).suffix().toLower();
  if (ext != "png" && ext != "pdf") {
    error = path + ": the output must be a .png or a .pdf file";
    return false;
  }
  if (chart.X.empty() || chart.Frequency.size() < 2) {
    error = path + ": nothing to draw (no interval or azimuth with a curve)";
    return false;
  }
  QCustomPlot plot;
  plot.resize(width, height);
  plot.plotLayout()->clear();
  const QString x_title =
      chart.ByTime ? QString::fromUtf8("Часы от ") + QString::fromStdString(chart.FirstStart)
                   : QString::fromUtf8("Азимут, °");
  // By time each interval spans its width around its middle; azimuths are points.
  const double half = chart.Width > 0.0 ? chart.Width / 2.0 : (chart.X.size() > 1 ? 0.0 : 0.5);
  const double xlo = chart.X.front() - half;
  const double xhi = chart.X.back() + half;
  int row = 0;
  plot.plotLayout()->addElement(
      row++, 0,
      new QCPTextElement(&plot,
                         QString::fromStdString(chart.Station) +
                             (chart.ByTime ? QString::fromUtf8(": f0 и H/V во времени")
                                           : QString::fromUtf8(": H/V по азимутам")),
                         QFont("sans", 11, QFont::Bold)));
  if (chart.ByTime) {
    // f0 through time with its ±σf band.
    auto* top = new QCPAxisRect(&plot);
    plot.plotLayout()->addElement(row++, 0, top);
    QCPGraph* high = plot.addGraph(top->axis(QCPAxis::atBottom), top->axis(QCPAxis::atLeft));
    QCPGraph* low = plot.addGraph(top->axis(QCPAxis::atBottom), top->axis(QCPAxis::atLeft));
    QCPGraph* f0 = plot.addGraph(top->axis(QCPAxis::atBottom), top->axis(QCPAxis::atLeft));
    double fmax = 0.0;
    for (size_t i = 0; i < chart.X.size(); ++i) {
      const double nan = std::nan("");
      const double x = chart.X[i];
      f0->addData(x, std::isfinite(chart.F0[i]) ? chart.F0[i] : nan);
      low->addData(x, std::isfinite(chart.F0Low[i]) ? chart.F0Low[i] : nan);
      high->addData(x, std::isfinite(chart.F0High[i]) ? chart.F0High[i] : nan);
      if (std::isfinite(chart.F0High[i])) fmax = std::max(fmax, chart.F0High[i]);
      if (std::isfinite(chart.F0[i])) fmax = std::max(fmax, chart.F0[i]);
    }
    high->setPen(Qt::NoPen);
    low->setPen(Qt::NoPen);
    high->setBrush(QColor(70, 110, 200, 70));
    high->setChannelFillGraph(low);
    f0->setPen(QPen(QColor(20, 50, 160), 2));
    f0->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 6));
    f0->setName("f0");
    top->axis(QCPAxis::atLeft)->setLabel(QString::fromUtf8("f0 ± σf, Гц"));
    top->axis(QCPAxis::atBottom)->setLabel(x_title);
    top->axis(QCPAxis::atBottom)->setRange(xlo, xhi);
    top->axis(QCPAxis::atLeft)->setRange(0.0, fmax > 0.0 ? fmax * 1.15 : 1.0);
  }
  auto* bottom = new QCPAxisRect(&plot);
  plot.plotLayout()->addElement(row, 0, bottom);
  if (chart.ByTime) {
    plot.plotLayout()->setRowStretchFactor(1, 1);
    plot.plotLayout()->setRowStretchFactor(2, 1.6);
  }
  plot.plotLayout()->setRowStretchFactor(0, 0.01);
  auto* map = new QCPColorMap(bottom->axis(QCPAxis::atBottom), bottom->axis(QCPAxis::atLeft));
  FillMap(map, chart);
  const double y0 = std::log10(chart.Frequency.front());
  const double y1 = std::log10(chart.Frequency.back());
  bottom->axis(QCPAxis::atLeft)->setTicker(DecadeTicker(y0, y1));
  bottom->axis(QCPAxis::atLeft)->setRange(y0, y1);
  bottom->axis(QCPAxis::atLeft)->setLabel(QString::fromUtf8("Частота, Гц"));
  bottom->axis(QCPAxis::atBottom)->setLabel(x_title);
  bottom->axis(QCPAxis::atBottom)->setRange(xlo, xhi);
  // f0 of each column over the map.
  QCPGraph* marks = plot.addGraph(bottom->axis(QCPAxis::atBottom), bottom->axis(QCPAxis::atLeft));
  for (size_t i = 0; i < chart.X.size(); ++i) {
    if (std::isfinite(chart.F0[i])) marks->addData(chart.X[i], std::log10(chart.F0[i]));
  }
  marks->setLineStyle(QCPGraph::lsNone);
  marks->setScatterStyle(
      QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(Qt::white, 1.5), QBrush(Qt::black), 7));
  auto* scale = new QCPColorScale(&plot);
  plot.plotLayout()->addElement(row, 1, scale);
  scale->setType(QCPAxis::atRight);
  scale->setLabel(QString::fromUtf8("Средняя H/V"));
  map->setColorScale(scale);
  map->setDataRange(QCPRange(0.0, std::max(1.0, chart.MaxMean)));
  auto* margins = new QCPMarginGroup(&plot);
  bottom->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
  scale->setMarginGroup(QCP::msTop | QCP::msBottom, margins);
  if (chart.ByTime) {
    // The upper panel lines up with the map.
    static_cast<QCPAxisRect*>(plot.plotLayout()->element(1, 0))
        ->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
  }
  const bool saved = ext == "png" ? plot.savePng(file, width, height)
                                  : plot.savePdf(file, width, height, QCP::epNoCosmetic);
  if (!saved) error = path + ": cannot write the chart";
  return saved;
}

#else

bool RenderHvsrSeriesChart(const THvsrSeriesChart&, const std::string& path, int, int,
                           std::string& error) {
  error = path + ": chart rendering is not built into this tarvik-cli (no Qt)";
  return false;
}

#endif

}  // namespace tarvik::cli
