// The spectrum viewer window showing a per-window H/V analysis on the offscreen platform: the
// curves and the band on their layers, the criteria panel, opening a result from the popup
// menu, and the panel going away with the next chart.

#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <functional>

#include "choose_file.h"
#include "hvsr_windows.h"
#include "recording_ui_host.h"
#include "spectral/hv_export.h"
#include "test_files.h"
#include "viewer_test_files.h"
#include "viewers/gui/spc_form.h"
#include "viewers/hvsr_show.h"

using tarvik::TSeriesKind;
using tarvik::gui::TSpcForm;
using tarvik::testing::RecordingUiHost;
using tarvik::testing::TempDir;

namespace {

// Runs fn on the next modal dialog that opens (polling, since the dialog's exec() blocks).
void OnNextModal(std::function<void(QWidget*)> fn) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    timer->stop();
    timer->deleteLater();
    fn(modal);
  });
  timer->start();
}

// The shaded bands of the chart (the window's crosshair lines are items too).
QList<QCPItemRect*> Bands(QCustomPlot* plot) {
  QList<QCPItemRect*> out;
  for (int i = 0; i < plot->itemCount(); ++i) {
    if (auto* rect = qobject_cast<QCPItemRect*>(plot->item(i))) out << rect;
  }
  return out;
}

// Ten windows peaking near 2 Hz and two at 8 Hz, which the window rejection leaves out.
tarvik::THvsrResult Designed() {
  std::vector<double> peaks;
  for (int w = 0; w < 12; ++w) peaks.push_back(w < 10 ? 2.0 * std::exp(0.02 * ((w % 5) - 2)) : 8.0);
  return tarvik::AnalyseWindows(tarvik::testing::PeakedWindows(peaks, 60.0),
                                tarvik::THvsrSettings{});
}

}  // namespace

class HvsrFormTest : public QObject {
  Q_OBJECT

 private:
  TempDir dir_;
  RecordingUiHost host_;
  tarvik::THvsrResult result_;
  std::string hv_;
  std::string prim_;

  static double Value(int c, int i) { return 1.0 + c + i; }
  static double Spread(int, int) { return 0.5; }

 private slots:
  void initTestCase() {
    result_ = Designed();
    QCOMPARE(result_.Count(tarvik::TWindowFate::kRejected), 2);
    tarvik::THvsrPaths paths;
    paths.Hv = hv_ = dir_.File("ST1_230102-030405.hv");
    paths.Windows = tarvik::HvWindowsPath(hv_);
    paths.Report = tarvik::HvReportPath(hv_);
    std::string message;
    QVERIFY2(tarvik::WriteHvsrFiles(paths, result_, tarvik::testing::HvsrTestRecord(), message),
             message.c_str());
    prim_ =
        tarvik::testing::WriteResult(dir_.File("prim_ST_240514-000000.dat"),
                                     tarvik::testing::ThreeComponentText(5, 0.5, Value, Spread));
  }

  void ChartAndPanelOfAResult() {
    TSpcForm form;
    form.resize(1200, 700);
    form.show();
    QVERIFY(form.ShowHvsrResult(hv_, host_));
    QVERIFY(host_.Messages.empty());

    // 3 mean curves, 1 band, 12 windows; one graph per line, one rectangle for the band.
    const auto& series = form.View().Series;
    QCOMPARE(series.size(), size_t{16});
    QCOMPARE(form.CheckList()->count(), 16);
    QCustomPlot* plot = form.Plot();
    QCOMPARE(plot->graphCount(), 15);
    QCOMPARE(Bands(plot).size(), 1);
    QCPItemRect* band = Bands(plot).front();
    QCOMPARE(plot->graph(0)->name(), QString("Средняя H/V"));
    QCOMPARE(plot->graph(0)->dataCount(), 80);
    QCOMPARE(plot->xAxis->scaleType(), QCPAxis::stLogarithmic);
    QCOMPARE(plot->yAxis->scaleType(), QCPAxis::stLinear);

    // Windows under the band, the band under the mean curves.
    QCOMPARE(plot->graph(0)->layer()->name(), QString("main"));
    QCOMPARE(plot->graph(14)->layer()->name(), QString("behind"));
    QCOMPARE(band->layer()->name(), QString("bands"));
    QVERIFY(plot->layer("behind")->index() < plot->layer("bands")->index());
    QVERIFY(plot->layer("bands")->index() < plot->layer("main")->index());
    // The value axis is fitted to the mean curves, not to the windows' extremes, with room
    // above for the band's title.
    double top = 0.0;
    for (size_t i = 0; i < result_.Mean.size(); ++i) {
      top = std::max(top, result_.Mean[i] * std::exp(result_.SigmaLn[i]));
    }
    QVERIFY(plot->yAxis->range().upper > top * 1.05);
    QVERIFY(plot->yAxis->range().upper < top * 1.5);

    // The panel: two headings and nine criteria with value, threshold and outcome.
    QVERIFY(form.SidePanel()->isVisible());
    QTableWidget* table = form.PanelTable();
    QCOMPARE(table->rowCount(), 11);
    QCOMPARE(table->columnSpan(0, 0), 4);
    QVERIFY(table->item(0, 0)->text().startsWith("Надежность кривой: "));
    QCOMPARE(table->item(7, 0)->text(), QString("A0 > 2"));
    QCOMPARE(table->item(7, 1)->text(), QString::number(result_.A0Mean, 'f', 2));
    QCOMPARE(table->item(7, 2)->text(), QString("> 2.00"));
    QCOMPARE(table->item(7, 3)->text(), QString("да"));
    int failed = 0;
    for (int r = 0; r < table->rowCount(); ++r) {
      if (table->columnSpan(r, 0) == 1 && table->item(r, 3)->text() == "нет") ++failed;
    }
    QCOMPARE(failed, 9 - result_.Sesame.ReliablePassed - result_.Sesame.ClearPassed);
    QVERIFY(form.PanelNotes()->text().contains("f0 по окнам: "));

    // The band comes and goes with its check-list entry.
    form.CheckList()->item(3)->setCheckState(Qt::Unchecked);
    QVERIFY(!band->visible());
    form.CheckList()->item(3)->setCheckState(Qt::Checked);
    QVERIFY(band->visible());

    // The next chart has no panel.
    QVERIFY(form.ShowSpectrumFile(prim_, false, 1, 0, host_));
    QVERIFY(!form.SidePanel()->isVisible());
    QVERIFY(Bands(plot).isEmpty());
  }

  void PopupMenuOpensAResult() {
    TSpcForm form;
    form.show();
    auto* open = form.PopupMenu()->findChild<QAction*>("OpenHvsrItem");
    QVERIFY(open != nullptr);
    QString filter;
    OnNextModal([&](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog != nullptr);
      filter = dialog->nameFilters().join(";");
      tarvik::testing::ChooseFile(*dialog, QString::fromStdString(hv_));
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    open->trigger();
    QCOMPARE(filter, QString("Статистика H/V (*.hv)"));
    QCOMPARE(form.View().Series.size(), size_t{16});
    QVERIFY(form.SidePanel()->isVisible());
  }

  void DamagedResultLeavesAnEmptyChart() {
    const std::string bad = tarvik::testing::WriteResult(dir_.File("bad.hv"), "0.5\t1\t2\n");
    TSpcForm form;
    form.show();
    QVERIFY(form.ShowHvsrResult(hv_, host_));
    RecordingUiHost host;
    QVERIFY(!form.ShowHvsrResult(bad, host));
    QCOMPARE(host.Messages.size(), size_t{1});
    QVERIFY(host.Messages[0].find("bad.hv поврежден: line 1") != std::string::npos);
    QCOMPARE(form.Plot()->graphCount(), 0);
    QCOMPARE(form.CheckList()->count(), 0);
    QVERIFY(!form.SidePanel()->isVisible());
  }
};

QTEST_MAIN(HvsrFormTest)
#include "hvsr_form_test.moc"
