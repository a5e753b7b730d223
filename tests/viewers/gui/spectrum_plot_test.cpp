// The shared chart renderer: colour maps drawn cell by cell with their colour scale, a legend
// beside a colour map rather than over it, at least three labels on any logarithmic axis, and
// a spread drawn as a band.

#include <qcustomplot.h>

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "viewers/gui/spectrum_plot.h"
#include "viewers/spectrum_chart.h"

namespace tarvik::gui {

namespace {

// A 4 × 3 map over 0.1..1000 (log, one decade per column) and 0..30: the value of a cell is its
// column plus ten times its row, the middle cell of the top row left blank.
TSpectrumView MapView() {
  TSpectrumView view;
  view.LogX = true;
  view.LogY = false;
  TChartSeries map;
  map.Kind = TSeriesKind::kColorMap;
  map.Title = "Доля, %";
  map.Map.Resize(4, 3);
  map.Map.X0 = 0.1;
  map.Map.X1 = 1000.0;
  map.Map.LogX = true;
  map.Map.Y0 = 0.0;
  map.Map.Y1 = 30.0;
  map.Map.Low = 0.0;
  map.Map.High = 23.0;
  map.Map.Gradient = {{0.0, 0x0000FF}, {1.0, 0xFF0000}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) map.Map.At(c, r) = c + 10.0 * r;
  }
  map.Map.At(1, 2) = std::nan("");
  view.Series.push_back(map);
  TChartSeries line;
  line.Title = "мода";
  line.Add(0.5, 5.0);
  line.Add(500.0, 25.0);
  view.Series.push_back(line);
  return view;
}

QColor Rgb(TRgb c) {
  return QColor(QRgb(c));
}

// Colour distance: the largest difference of a channel.
int Distance(const QColor& a, const QColor& b) {
  return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                   std::abs(a.blue() - b.blue())});
}

}  // namespace

class SpectrumPlotTest : public QObject {
  Q_OBJECT

 private slots:
  void ColourMapCellsEvenOnTheirAxis() {
    QCustomPlot plot;
    plot.resize(640, 480);
    const TSpectrumView view = MapView();
    const std::vector<QCPLayerable*> layers = FillPlot(plot, view);
    auto* map = qobject_cast<QCPColorMap*>(layers[0]);
    QVERIFY(map != nullptr);
    QCOMPARE(map->data()->keySize(), 4);
    QCOMPARE(map->data()->valueSize(), 3);
    // The axes end at the outer edges of the cells.
    QCOMPARE(plot.xAxis->range().lower, 0.1);
    QCOMPARE(plot.xAxis->range().upper, 1000.0);
    QCOMPARE(plot.yAxis->range().lower, 0.0);
    QCOMPARE(plot.yAxis->range().upper, 30.0);
    QVERIFY(map->colorScale() != nullptr);
    QCOMPARE(map->colorScale()->axis()->label(), QString("Доля, %"));
    // Filled again: one colour scale, not two.
    FillPlot(plot, view);
    int scales = 0;
    for (int i = 0; i < plot.plotLayout()->elementCount(); ++i) {
      if (qobject_cast<QCPColorScale*>(plot.plotLayout()->elementAt(i)) != nullptr) ++scales;
    }
    QCOMPARE(scales, 1);

    // Each cell's middle shows its value's colour (on the log axis each column is a decade);
    // the blank cell shows the white chart.
    plot.replot();
    const QImage image = plot.toPixmap(640, 480).toImage();
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 4; ++c) {
        const double x = 0.1 * std::pow(10.0, c + 0.5);
        const double y = 10.0 * r + 5.0;
        const QPoint at(static_cast<int>(plot.xAxis->coordToPixel(x)),
                        static_cast<int>(plot.yAxis->coordToPixel(y)));
        const double value = view.Series[0].Map.At(c, r);
        const QColor want = std::isnan(value)
                                ? QColor(Qt::white)
                                : Rgb(GradientColor(view.Series[0].Map.Gradient, value / 23.0));
        QVERIFY2(Distance(image.pixelColor(at), want) <= 12,
                 qPrintable(QString("cell %1,%2: %3 not %4")
                                .arg(c)
                                .arg(r)
                                .arg(image.pixelColor(at).name(), want.name())));
      }
    }
  }

  void RenderedLegendLeavesTheMapFree() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("map.png").toStdString();
    std::string error;
    QVERIFY(RenderChart(MapView(), path, 800, 500, error));
    QCustomPlot plot;
    plot.resize(800, 500);
    FillPlot(plot, MapView(), TPlotStyle{true, true, true});
    plot.replot();
    QVERIFY(plot.legend->visible());
    const QRect legend = plot.legend->outerRect();
    QVERIFY(!legend.intersects(plot.axisRect()->rect()));
    // Without a colour map the legend stays inside, in the upper right corner.
    TSpectrumView lines = MapView();
    lines.Series.erase(lines.Series.begin());
    QCustomPlot inside;
    inside.resize(800, 500);
    FillPlot(inside, lines, TPlotStyle{true, true, true});
    inside.replot();
    QVERIFY(inside.axisRect()->rect().contains(inside.legend->outerRect()));
  }

  void LogAxisHasThreeLabels() {
    // An H/V ratio from 0.8 to 3: the powers of ten alone would label one tick.
    for (const auto& [lo, hi] : std::vector<std::pair<double, double>>{
             {0.8, 3.0}, {1.0, 1.5}, {0.02, 40.0}, {1e-12, 1e-5}}) {
      QCustomPlot plot;
      plot.resize(600, 400);
      SetAxisScales(plot, true, true);
      plot.yAxis->setRange(lo, hi);
      plot.replot();
      int labels = 0;
      for (const QString& l : plot.yAxis->tickVectorLabels()) labels += l.isEmpty() ? 0 : 1;
      QVERIFY2(labels >= 3, qPrintable(QString("%1..%2: %3 labels").arg(lo).arg(hi).arg(labels)));
    }
  }

  void SpreadAsBandFillsBetweenItsEdges() {
    TSpectrumView view;
    SetupSeries(view, 2, kSpectrumSet, {"E", "StDev E"});
    for (double f : {1.0, 2.0, 4.0}) {
      view.Series[0].Add(f, 10.0);
      view.Series[1].Add(f, 15.0);
      if (f != 2.0) view.Series[1].Add(f, 5.0);
    }
    QCustomPlot dots;
    FillPlot(dots, view);
    QCOMPARE(qobject_cast<QCPGraph*>(FillPlot(dots, view)[1])->lineStyle(), QCPGraph::lsNone);

    view.SpreadAsBand = true;
    QCustomPlot plot;
    const std::vector<QCPLayerable*> layers = FillPlot(plot, view);
    auto* band = qobject_cast<QCPGraph*>(layers[1]);
    QVERIFY(band != nullptr);
    QVERIFY(band->channelFillGraph() != nullptr);
    QCOMPARE(band->brush().color().rgb(), Rgb(SeriesColor(0)).rgb());
    const QCPGraph* lower = band->channelFillGraph();
    QCOMPARE(lower->dataCount(), 3);
    QCOMPARE(band->data()->at(1)->value, 15.0);
    // At 2 Hz the lower dot is missing: on the log axis the band mirrors the upper edge.
    QCOMPARE(lower->data()->at(0)->value, 5.0);
    QCOMPARE(lower->data()->at(1)->value, 10.0 * 10.0 / 15.0);
    // Unchecked, the band goes with its lower edge.
    band->setVisible(false);
    QCOMPARE(band->layer(), lower->layer());
  }
};

}  // namespace tarvik::gui

QTEST_MAIN(tarvik::gui::SpectrumPlotTest)
#include "spectrum_plot_test.moc"
