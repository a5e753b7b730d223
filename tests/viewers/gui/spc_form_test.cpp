// The spectrum viewer window on the offscreen platform: what each Show operation puts on the
// chart and in the check list, hiding through the list, the axis switches, Prev/Next, the band
// dialogs and the clipboard.

#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "choose_file.h"
#include "recording_ui_host.h"
#include "test_files.h"
#include "viewer_test_files.h"
#include "viewers/gui/spc_form.h"
#include "viewers/gui/spectrum_plot.h"
#include "viewers/spectrum_show.h"

using tarvik::TBandMeasure;
using tarvik::TSeriesKind;
using tarvik::gui::TSpcForm;
using tarvik::testing::RecordingUiHost;
using tarvik::testing::TempDir;

namespace {

QColor Rgb(tarvik::TRgb c) {
  return QColor(QRgb(c));
}

// Runs fn on the next modal dialog that opens (polling, since the dialog's exec() blocks).
void OnNextModal(std::function<void(QWidget*)> fn, QWidget* previous = nullptr) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, fn, previous] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == previous) return;
    timer->stop();
    timer->deleteLater();
    fn(modal);
  });
  timer->start();
}

}  // namespace

class SpcFormTest : public QObject {
  Q_OBJECT

 private:
  TempDir dir_;
  RecordingUiHost host_;
  std::string prim_;
  std::string power_;  // the same numbers named as power spectra
  std::string nak_;

  // E, N and Z at 0..2 Hz in 0.5 Hz steps: E has a zero at 1 Hz.
  static double Value(int c, int i) { return c == 0 && i == 2 ? 0.0 : 1.0 + c + i; }
  static double Spread(int, int) { return 0.5; }

 private slots:
  void initTestCase() {
    prim_ =
        tarvik::testing::WriteResult(dir_.File("prim_ST_240514-000000.dat"),
                                     tarvik::testing::ThreeComponentText(5, 0.5, Value, Spread));
    power_ =
        tarvik::testing::WriteResult(dir_.File("power_ST_240514-000000.dat"),
                                     tarvik::testing::ThreeComponentText(5, 0.5, Value, Spread));
    nak_ = tarvik::testing::WriteResult(
        dir_.File("nak.dat"),
        tarvik::testing::ResultText(
            {"Freq", "E/Z", "EZ_StDev", "N/Z", "NZ_StDev", "H/Z", "HZ_StDev"},
            {{0, 1, 0, 1, 0, 1, 0}, {1, 2, 1, 3, 1, 4, 1}, {2, 5, 1, 6, 1, 7, 1}}));
  }

  void SpectrumFileFillsChartListAndSwatches() {
    TSpcForm form;
    QVERIFY(form.ShowSpectrumFile(power_, true, 1, 3, host_));
    QCustomPlot* plot = form.Plot();
    QCOMPARE(plot->graphCount(), 6);
    QCOMPARE(form.CheckList()->count(), 6);
    const int lines[] = {3, 4, 4};  // E skips its zero with LogY; lines 1..4 otherwise
    for (int i = 0; i < 6; ++i) {
      QCPGraph* g = plot->graph(i);
      QCOMPARE(g->name(), form.CheckList()->item(i)->text());
      QCOMPARE(g->pen().color(), Rgb(tarvik::SeriesColor(i / 2)));
      QCOMPARE(form.CheckList()->item(i)->checkState(), Qt::Checked);
      if (i % 2 == 0) {
        QCOMPARE(g->lineStyle(), QCPGraph::lsLine);
        QCOMPARE(g->dataCount(), lines[i / 2]);
      } else {
        QCOMPARE(g->lineStyle(), QCPGraph::lsNone);
        QCOMPARE(g->scatterStyle().size(), 2.0);
      }
    }
    QCOMPARE(plot->graph(0)->name(), QString("E_Amp"));
    QCOMPARE(plot->graph(5)->name(), QString("Z_StDev"));
    QCOMPARE(form.windowTitle(), QString::fromStdString(power_));
    QCOMPARE(plot->yAxis->label(), QString("Мощность, (мкм/c)^2/Гц"));
    QCOMPARE(plot->xAxis->label(), QString("Частота, Гц"));
    auto* choices = form.findChild<QComboBox*>("SelComBox");
    QCOMPARE(choices->count(), 6);
    QVERIFY(choices->isEnabled());
    auto* strip = form.findChild<QWidget*>("SwatchStrip");
    QVERIFY(strip != nullptr);
    const QImage image = strip->grab().toImage();
    const QRect row = form.CheckList()->visualItemRect(form.CheckList()->item(2));
    const QPoint at =
        strip->mapFrom(&form, form.CheckList()->viewport()->mapTo(&form, row.center()));
    QCOMPARE(image.pixelColor(strip->width() / 2, at.y()), Rgb(tarvik::SeriesColor(1)));
  }

  void UncheckingHidesASeries() {
    TSpcForm form;
    QVERIFY(form.ShowSpectrumFile(prim_, false, 1, 0, host_));
    form.CheckList()->item(2)->setCheckState(Qt::Unchecked);
    QVERIFY(!form.Plot()->graph(2)->visible());
    QVERIFY(form.Plot()->graph(3)->visible());
    QVERIFY(!form.View().Series[2].Checked);
    form.CheckList()->item(2)->setCheckState(Qt::Checked);
    QVERIFY(form.Plot()->graph(2)->visible());
  }

  void LogCheckBoxesSwitchTheAxesAndDoNotReAddValues() {
    TSpcForm form;
    QVERIFY(form.ShowSpectrumFile(prim_, false, 1, 0, host_));
    auto* log_x = form.findChild<QCheckBox*>("LogXCheckBox");
    auto* log_y = form.findChild<QCheckBox*>("LogYCheckBox");
    QVERIFY(log_x->isChecked() && log_y->isChecked());
    QCOMPARE(form.Plot()->yAxis->scaleType(), QCPAxis::stLogarithmic);
    log_y->click();
    QCOMPARE(form.Plot()->yAxis->scaleType(), QCPAxis::stLinear);
    QCOMPARE(form.Plot()->xAxis->scaleType(), QCPAxis::stLogarithmic);
    QVERIFY(!form.View().LogY);
    QCOMPARE(form.Plot()->graph(0)->dataCount(), 3);  // the zero stays out
    log_x->click();
    QCOMPARE(form.Plot()->xAxis->scaleType(), QCPAxis::stLinear);
    // Shown again with LogY unchecked, the zero is there.
    QVERIFY(form.ShowSpectrumFile(prim_, false, 1, 0, host_));
    QCOMPARE(form.Plot()->graph(0)->dataCount(), 4);
    QVERIFY(!log_y->isChecked());
  }

  // A log axis over less than two decades (an H/V ratio) gets readable ticks between the powers
  // of ten, and round numbers within a single mantissa; over more decades only the powers are
  // labelled.
  void LogAxisLabelsNarrowAndWideRanges() {
    QCustomPlot plot;
    plot.resize(600, 400);
    tarvik::gui::SetAxisScales(plot, true, true);
    const struct {
      double Lower, Upper;
      QStringList Labels;
    } cases[] = {
        {0.3, 6.0, {"0.5", "1", "2", "5"}},
        {1.5, 2.5, {"1.6", "1.8", "2", "2.2", "2.4"}},
        {1e-6, 1e-2, {"1e-06", "1e-05", "1e-04", "1e-03", "1e-02"}},
    };
    for (const auto& c : cases) {
      plot.yAxis->setRange(c.Lower, c.Upper);
      plot.replot();
      QCOMPARE(plot.yAxis->tickVectorLabels(), QVector<QString>(c.Labels.begin(), c.Labels.end()));
    }
    // Minor ticks at the whole mantissas between the labelled ones.
    QVector<double> ticks, sub_ticks;
    plot.yAxis->ticker()->generate(QCPRange(0.3, 6.0), QLocale::c(), 'e', 0, ticks, &sub_ticks,
                                   nullptr);
    QCOMPARE(sub_ticks, QVector<double>({0.3, 0.4, 0.6, 0.7, 0.8, 0.9, 3, 4, 6}));
  }

  void PrevAndNextCallBackWithTheIndex() {
    TSpcForm form;
    std::vector<int> asked;
    form.SetNavigationCallback([&](int index) {
      asked.push_back(index);
      form.View().CurrentIndex = index;
      tarvik::ShowSpectrumFile(form.View(), prim_, false, 1, 0, host_);
    });
    form.View().CurrentIndex = 1;
    form.View().RecordCount = 3;
    QVERIFY(form.ShowSpectrumFile(prim_, false, 1, 0, host_));
    auto* prev = form.findChild<QPushButton*>("PrevButton");
    auto* next = form.findChild<QPushButton*>("NextButton");
    QVERIFY(prev->isEnabled() && next->isEnabled());
    next->click();
    QCOMPARE(asked, std::vector<int>{2});
    QVERIFY(prev->isEnabled());
    QVERIFY(!next->isEnabled());
    prev->click();
    prev->click();
    QCOMPARE(asked, (std::vector<int>{2, 1, 0}));
    QVERIFY(!prev->isEnabled());

    // The choice and "Зафиксировать выбор" reach the model.
    form.findChild<QComboBox*>("SelComBox")->setCurrentIndex(4);
    QCOMPARE(form.Selection(), 4);
    form.SetFixSelection(false, true);
    form.findChild<QCheckBox*>("FixCheckBox")->click();
    QVERIFY(form.FixSelection());
  }

  void OtherShowOperations() {
    TSpcForm form;
    const std::string other = tarvik::testing::WriteResult(
        dir_.File("other.dat"), tarvik::testing::ThreeComponentText(5, 0.5, Value, Spread));
    QVERIFY(form.ShowSpectrumFiles({prim_, other}, false, 1, 0, host_));
    QCOMPARE(form.Plot()->graphCount(), 6);
    QCOMPARE(form.Plot()->graph(3)->name(), QString("E_Amp (other.dat)"));
    QCOMPARE(form.Plot()->graph(5)->pen().color(), Rgb(tarvik::SeriesColor(5)));
    QCOMPARE(form.Plot()->graph(0)->dataCount(), 4);  // no positivity rule
    QVERIFY(!form.findChild<QComboBox*>("SelComBox")->isEnabled());
    QVERIFY(!form.findChild<QCheckBox*>("FixCheckBox")->isEnabled());
    QCOMPARE(form.windowTitle(), QString("Количество файлов: 2"));

    QVERIFY(form.ShowRatioFile(nak_, true, host_));
    QCOMPARE(form.Plot()->graphCount(), 6);
    QCOMPARE(form.Plot()->graph(1)->name(), QString("StDev E/Z"));
    QCOMPARE(form.Plot()->yAxis->label(), QString("Отношение амплитуд"));
    QCOMPARE(form.Plot()->graph(4)->dataCount(), 2);

    const std::string out = dir_.File("median_spectrum.dat");
    QVERIFY(form.ShowAverage({prim_, other}, out, true, 1, 0, true, host_));
    QVERIFY(QFileInfo::exists(QString::fromStdString(out)));
    QCOMPARE(form.Plot()->graphCount(), 6);
    QCOMPARE(form.windowTitle(), QString("Количество файлов в выборке: 2"));

    form.ShowNoiseModels(3, 1);
    QCOMPARE(form.Plot()->graphCount(), 8);
    QCPGraph* nhnm = form.Plot()->graph(6);
    QCOMPARE(nhnm->name(), QString("NHNM"));
    QCOMPARE(nhnm->pen().style(), Qt::DashLine);
    QCOMPARE(nhnm->pen().widthF(), 2.0);
    QVERIFY(!nhnm->visible());
    QCOMPARE(form.CheckList()->item(7)->checkState(), Qt::Unchecked);
    QCOMPARE(form.CheckList()->item(7)->text(), QString("NLNM"));
  }

  void GivenBandReportIsCopiedOnOk() {
    TSpcForm form;
    QVERIFY(form.ShowSpectrumFile(power_, true, 1, 0, host_));
    for (int i = 1; i < 6; ++i) form.CheckList()->item(i)->setCheckState(Qt::Unchecked);
    QApplication::clipboard()->setText("before");
    QString query_caption, query_label, query_default, report;
    OnNextModal([&](QWidget* w) {
      auto* query = qobject_cast<QInputDialog*>(w);
      QVERIFY(query != nullptr);
      query_caption = query->windowTitle();
      query_label = query->labelText();
      query_default = query->textValue();
      query->setTextValue("1 2");
      OnNextModal(
          [&](QWidget* box) {
            auto* message = qobject_cast<QMessageBox*>(box);
            QVERIFY(message != nullptr);
            report = message->text();
            message->button(QMessageBox::Ok)->click();
          },
          w);
      query->accept();
    });
    QAction* item = form.findChild<QAction*>("IntegrationItem1");
    QVERIFY(item != nullptr);
    QCOMPARE(item->text(), QString("В заданном диапазоне "));
    item->trigger();
    QCOMPARE(query_caption, QString("Ostrel"));
    QCOMPARE(query_label, QString("Задайте частотный диапазон в Гц"));
    QCOMPARE(query_default, QString("0.5-10"));
    // E is drawn at 0.5, 1.5 and 2 Hz (its zero at 1 Hz is left out on the log axis): 4 at
    // 1.5 Hz with a 1 Hz cell, 5 at 2 Hz with a 0.5 Hz cell: 4·0.5 + 5·0.5 + 5·0.25 = 5.75.
    const QString body = "№\t1 2 Гц\n1_E_Amp\t2.39792e+00";
    QCOMPARE(report, "Среднеквадратические амплитуды:\n\n" + body +
                         "\nНажмите [Ok] чтобы закрыть окно и скопировать данные в буфер обмена, "
                         "[Cancel] - закрыть окно.");
    QCOMPARE(QApplication::clipboard()->text(), body);
  }

  void MeanReportsAndStandardBands() {
    TSpcForm form;
    QVERIFY(form.ShowSpectrumFile(prim_, false, 1, 0, host_));
    auto* integration = form.findChild<QMenu*>("IntegrationMenu");
    QVERIFY(!integration->isEnabled());  // amplitude spectra are not integrated

    QApplication::clipboard()->setText("before");
    QString report;
    QMessageBox::StandardButtons buttons;
    OnNextModal([&](QWidget* w) {
      auto* query = qobject_cast<QInputDialog*>(w);
      query->setTextValue("1.5-2");
      OnNextModal(
          [&](QWidget* box) {
            auto* message = qobject_cast<QMessageBox*>(box);
            report = message->text();
            buttons = message->standardButtons();
            message->accept();
          },
          w);
      query->accept();
    });
    form.RunBandDialog(TBandMeasure::kMean, 1);
    QVERIFY(report.startsWith("Средние амплитуды:\n\n№\t1.5-2 Гц\n1_E_Amp\t"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(QApplication::clipboard()->text(), QString("before"));

    QString values, caption, prompt;
    OnNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QInputDialog*>(w);
      values = box->textValue();
      caption = box->windowTitle();
      prompt = box->labelText();
      box->reject();
    });
    form.RunBandDialog(TBandMeasure::kMean, 0);
    QCOMPARE(values.count('\t'), 12);
    // The box says what its numbers are: averages over bands, in the chart's unit.
    QVERIFY2(caption.contains("Средние"), qPrintable(caption));
    QVERIFY2(
        prompt.contains("Гц") && prompt.contains(QString::fromStdString(form.View().LeftTitle)),
        qPrintable(prompt));
    QVERIFY(!form.View().LeftTitle.empty());

    form.Plot()->xAxis->setRange(0.5, 2.0);
    OnNextModal([&](QWidget* w) {
      report = qobject_cast<QMessageBox*>(w)->text();
      qobject_cast<QMessageBox*>(w)->accept();
    });
    form.RunBandDialog(TBandMeasure::kMean, 2);
    QVERIFY(report.startsWith("Средние амплитуды:\n\n№\t0.50-2.00 Гц\n1_E_Amp\t"));
  }

  void CrosshairReadsTheValueUnderTheMouse() {
    TSpcForm form;
    form.resize(900, 600);
    QVERIFY(form.ShowSpectrumFile(prim_, false, 1, 0, host_));
    form.Plot()->replot();
    const QRect area = form.Plot()->axisRect()->rect();
    QMouseEvent move(QEvent::MouseMove, QPointF(area.center()), QPointF(area.center()),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form.Plot(), &move);
    const QString text = form.findChild<QLabel*>("ReadOut")->text();
    QVERIFY2(text.startsWith("Частота "), qPrintable(text));
  }

  void SavesPngAndPdf() {
    TSpcForm form;
    QVERIFY(form.ShowSpectrumFile(prim_, false, 1, 0, host_));
    const QString png = QString::fromStdString(dir_.File("chart.png"));
    const QString pdf = QString::fromStdString(dir_.File("chart.pdf"));
    QVERIFY(form.SaveChart(png));
    QVERIFY(form.SaveChart(pdf));
    QVERIFY(QFileInfo(png).size() > 1000);
    QVERIFY(QFileInfo(pdf).size() > 1000);

    // At a chosen size, and the crosshair that follows the mouse is no part of the picture.
    form.resize(900, 600);
    form.Plot()->replot();
    const QString before = QString::fromStdString(dir_.File("before.png"));
    const QString after = QString::fromStdString(dir_.File("after.png"));
    QVERIFY(form.SaveChart(before, QSize(640, 480)));
    QCOMPARE(QImage(before).size(), QSize(640, 480));
    const QRect area = form.Plot()->axisRect()->rect();
    QMouseEvent move(QEvent::MouseMove, QPointF(area.center()), QPointF(area.center()),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form.Plot(), &move);
    QVERIFY(form.SaveChart(after, QSize(640, 480)));
    QCOMPARE(QImage(after), QImage(before));
  }

  // "Открыть шумовую статистику..." draws a psd-stats result as `plot` does; a file that is
  // no such result is refused with a message and the chart shown stays.
  void MenuOpensANoiseStatisticsResult() {
    const std::string good = tarvik::testing::WriteResult(
        dir_.File("stats.json"),
        R"({"channel": ".STA..HHZ", "segments": 4, "periods": [1, 2, 4],
            "density": {"db_first": -150, "shares": [[0.5, 0.5], [1.0, 0], [0.2, 0.8]]},
            "percentiles": {"10": [-150, -151, -152], "50": [-140, -141, -142]},
            "mode": [-149.5, -149.5, -148.5], "mean": [-145, -146, -147],
            "nhnm": [-120, -121, -122], "nlnm": [-170, -171, -172]})");
    const std::string bad =
        tarvik::testing::WriteResult(dir_.File("bad.json"), R"({"periods": [1, 2]})");
    TSpcForm form;
    form.show();
    auto* open = form.PopupMenu()->findChild<QAction*>("OpenPsdStatsItem");
    QVERIFY(open != nullptr);
    QVERIFY(open->text().contains("шумовую статистику"));
    QString filter;
    OnNextModal([&](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog != nullptr);
      filter = dialog->nameFilters().join(";");
      tarvik::testing::ChooseFile(*dialog, QString::fromStdString(good));
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    open->trigger();
    QVERIFY(filter.contains("*.json"));
    QCOMPARE(form.windowTitle(), QString(".STA..HHZ: 4 сегментов"));
    std::vector<std::string> titles;
    for (const auto& s : form.View().Series) titles.push_back(s.Title);
    for (const char* t : {"10 %", "50 %", "мода", "среднее", "NHNM", "NLNM"})
      QVERIFY2(std::find(titles.begin(), titles.end(), t) != titles.end(), t);
    QVERIFY(!form.View().LogY);
    QVERIFY(!form.View().PrevEnabled && !form.View().NextEnabled);
    const size_t shown = form.View().Series.size();

    QString said;
    OnNextModal([&](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog != nullptr);
      tarvik::testing::ChooseFile(*dialog, QString::fromStdString(bad));
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      OnNextModal(
          [&](QWidget* box) {
            auto* message = qobject_cast<QMessageBox*>(box);
            QVERIFY(message != nullptr);
            said = message->text();
            message->accept();
          },
          dialog);
    });
    open->trigger();
    QVERIFY2(said.contains("bad.json"), qPrintable(said));
    QCOMPARE(form.View().Series.size(), shown);
    QCOMPARE(form.windowTitle(), QString(".STA..HHZ: 4 сегментов"));
  }
};

QTEST_MAIN(SpcFormTest)
#include "spc_form_test.moc"
