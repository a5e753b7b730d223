// The H/V statistics and the noise statistics as a person reaches them in the window: their
// settings on the general page, their runs on the processing page, and the viewer moving
// through the records' statistics.

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>

#include "gui_test_support.h"
#include "project/gui/settings_pages.h"
#include "spectral/hv_export.h"
#include "viewers/gui/spc_form.h"

namespace tarvik::gui::testing {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Clicks a run button and waits for the run it starts to end.
bool RunAndWait(TMainForm& form, const char* button) {
  QSignalSpy finished(&form, &TMainForm::RunFinished);
  QPushButton* b = Find<QPushButton>(form, button);
  if (!QTest::qWaitFor([b] { return b->isEnabled(); })) return false;
  QTest::mouseClick(b, Qt::LeftButton);
  return finished.count() > 0 || finished.wait(120000);
}

}  // namespace

class HvsrWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QuietOffscreenNotes();
    UseSettingsFolder(settings_dir_.path());
    const std::string master =
        WriteDemoProject((fs::path(dir_.path().toStdString()) / "demo").string(), 180.0);
    QVERIFY(!master.empty());
    form_ = std::make_unique<TMainForm>();
    QVERIFY(form_->LoadStartupProject(Q(master)));
    form_->show();
  }

  void cleanupTestCase() { form_.reset(); }

  // Each control writes its key as `settings` would; ends out of order are refused and the
  // control goes back to the value kept.
  void SettingsPageWritesTheHvsrSettings() {
    TProject& p = form_->Shell().Project();
    p.Modified = false;
    auto* band_max = Find<QDoubleSpinBox>(*form_, "HvsrBandFMaxSpinEdit");
    auto* band_min = Find<QDoubleSpinBox>(*form_, "HvsrBandFMinSpinEdit");
    band_max->setValue(20.0);
    QCOMPARE(p.Hvsr.BandFMax, 20.0);
    QVERIFY(p.Modified);
    DialogScript script;
    script.Ok();
    band_min->setValue(30.0);
    QTRY_VERIFY(script.Done());
    QVERIFY2(script.Texts.size() == 1 && !script.Texts[0].isEmpty(), "no refusal shown");
    QCOMPARE(p.Hvsr.BandFMin, 0.0);
    QCOMPARE(band_min->value(), 0.0);
    band_min->setValue(0.5);
    QCOMPARE(p.Hvsr.BandFMin, 0.5);

    auto* horizontal = Find<QComboBox>(*form_, "HvsrHorizontalComBox");
    horizontal->setCurrentIndex(2);
    emit horizontal->activated(2);
    QCOMPARE(p.Hvsr.Horizontal, THvsrHorizontal::kSquared);
    horizontal->setCurrentIndex(0);
    emit horizontal->activated(0);
    QCOMPARE(p.Hvsr.Horizontal, THvsrHorizontal::kArithmetic);
    // Without smoothing its bandwidth means nothing and is off.
    auto* smoothing = Find<QComboBox>(*form_, "HvsrSmoothingComBox");
    auto* bandwidth = Find<QDoubleSpinBox>(*form_, "HvsrBandwidthSpinEdit");
    smoothing->setCurrentIndex(1);
    emit smoothing->activated(1);
    QCOMPARE(p.Hvsr.Smoothing, THvsrSmoothing::kNone);
    QVERIFY(!bandwidth->isEnabled());
    smoothing->setCurrentIndex(0);
    emit smoothing->activated(0);
    QVERIFY(bandwidth->isEnabled());
    // The page shows what the project holds after a reload.
    p.Hvsr.GridPoints = 300;
    form_->GeneralPage().Reload();
    QCOMPARE(Find<QDoubleSpinBox>(*form_, "HvsrGridPointsSpinEdit")->value(), 300.0);
    p.Hvsr.GridPoints = 256;
    form_->GeneralPage().Reload();
    QVERIFY(script.Unexpected.empty());
  }

  // The H/V list with "Статистика по окнам" runs the statistics of both records; the viewer
  // opens the first one's and "Следующий" moves to the second's.
  void WindowRunsTheStatisticsAndTheViewerMovesThroughThem() {
    Tab(1);
    Find<QCheckBox>(*form_, "HvsrCheckBox")->setChecked(true);
    DialogScript script;
    script.AcceptMessages = true;
    QVERIFY(RunAndWait(*form_, "NakCalcButton"));
    const TProject& p = form_->Shell().Project();
    const TResultFolders folders = form_->Shell().Folders();
    QCOMPARE(p.Records.size(), size_t{2});
    std::string hv[2];
    for (size_t i = 0; i < 2; ++i) {
      hv[i] = HvsrFilePaths(folders, p.Records[i]).Hv;
      QVERIFY2(fs::exists(hv[i]), hv[i].c_str());
    }
    QCOMPARE(Find<QPushButton>(*form_, "NakCalcButton")->text(), QString(kRunCaption));

    auto* list = Find<QListWidget>(*form_, "NakListBox");
    list->setCurrentRow(0);
    QApplication::processEvents();
    QString first, second;
    bool prev_before = true, prev_after = false, next_after = true;
    int rows = 0;
    script.Then([&](QWidget* w) {
      auto* viewer = qobject_cast<TSpcForm*>(w);
      QVERIFY(viewer != nullptr);
      first = viewer->windowTitle();
      prev_before = Find<QPushButton>(*viewer, "PrevButton")->isEnabled();
      rows = viewer->PanelTable()->rowCount();
      QTest::mouseClick(Find<QPushButton>(*viewer, "NextButton"), Qt::LeftButton);
      second = viewer->windowTitle();
      prev_after = Find<QPushButton>(*viewer, "PrevButton")->isEnabled();
      next_after = Find<QPushButton>(*viewer, "NextButton")->isEnabled();
      viewer->reject();
    });
    QTest::mouseClick(Find<QPushButton>(*form_, "NakShowButton"), Qt::LeftButton);
    QVERIFY(script.Done());
    QCOMPARE(first, Q(hv[0]));
    QCOMPARE(second, Q(hv[1]));
    QVERIFY(!prev_before && prev_after && !next_after);
    QVERIFY(rows > 0);
    Find<QCheckBox>(*form_, "HvsrCheckBox")->setChecked(false);
  }

  // The classic ratio chart carries f0 and A0 of H/Z near the demo station's resonance.
  void RatioChartMarksThePeak() {
    Tab(0);
    DialogScript script;
    script.AcceptMessages = true;
    QVERIFY(RunAndWait(*form_, "PrimCalcButton"));
    Tab(1);
    QVERIFY(RunAndWait(*form_, "NakCalcButton"));
    Find<QListWidget>(*form_, "NakListBox")->setCurrentRow(0);
    QApplication::processEvents();
    std::string mark;
    script.Then([&](QWidget* w) {
      auto* viewer = qobject_cast<TSpcForm*>(w);
      QVERIFY(viewer != nullptr);
      const auto& series = viewer->View().Series;
      if (!series.empty()) mark = series.back().Title;
      viewer->reject();
    });
    QTest::mouseClick(Find<QPushButton>(*form_, "NakShowButton"), Qt::LeftButton);
    QVERIFY(script.Done());
    QVERIFY2(mark.rfind("H/Z: f0 = ", 0) == 0, mark.c_str());
    const double f0 = std::stod(mark.substr(std::string("H/Z: f0 = ").size()));
    QVERIFY2(f0 > 1.6 && f0 < 2.4, mark.c_str());  // the first demo station resonates at 2 Hz
  }

  // The noise-statistics list computes segment PSDs of its checked records into the store.
  void NoiseListRunsIntoTheStore() {
    Tab(3);
    auto* list = Find<QListWidget>(*form_, "PsdListBox");
    QCOMPARE(list->count(), 2);
    DialogScript script;
    script.AcceptMessages = true;
    // Nothing checked: said, nothing run.
    QTest::mouseClick(Find<QPushButton>(*form_, "PsdCalcButton"), Qt::LeftButton);
    QTRY_COMPARE(script.Texts.size(), size_t{1});
    QVERIFY(script.Texts[0].contains("Шумовая статистика"));
    list->item(1)->setCheckState(Qt::Checked);
    Find<QDoubleSpinBox>(*form_, "PsdSegmentSpinEdit")->setValue(60.0);
    QVERIFY(RunAndWait(*form_, "PsdCalcButton"));
    QTRY_COMPARE(script.Texts.size(), size_t{2});
    const QString said = script.Texts[1];
    QVERIFY2(said.contains("Сегментов рассчитано: ") && !said.contains("рассчитано: 0,"),
             qPrintable(said));
    const fs::path store = fs::path(form_->Shell().Folders().Results) / "PSD";
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(store)) {
      if (e.is_regular_file() && e.path().extension() == ".psd") {
        ++files;
        // Only the checked record's station.
        QVERIFY2(e.path().string().find("TVK02") != std::string::npos, e.path().c_str());
      }
    }
    QVERIFY(files > 0);
    QCOMPARE(Find<QPushButton>(*form_, "PsdCalcButton")->text(), QString(kRunCaption));
    QVERIFY(!form_->Busy());

    // The run button is its stop while the run goes on.
    list->item(0)->setCheckState(Qt::Checked);
    Find<QDoubleSpinBox>(*form_, "PsdSegmentSpinEdit")->setValue(5.0);
    QSignalSpy finished(form_.get(), &TMainForm::RunFinished);
    auto* calc = Find<QPushButton>(*form_, "PsdCalcButton");
    QTest::mouseClick(calc, Qt::LeftButton);
    QCOMPARE(calc->text(), QString(kStopCaption));
    QVERIFY(form_->Busy());
    QTest::mouseClick(calc, Qt::LeftButton);
    QVERIFY(finished.count() > 0 || finished.wait(120000));
    QTRY_COMPARE(script.Texts.size(), size_t{3});
    QVERIFY2(script.Texts[2].contains("остановлен"), qPrintable(script.Texts[2]));
    QCOMPARE(calc->text(), QString(kRunCaption));
    QVERIFY(script.Unexpected.empty());
  }

 private:
  void Tab(int index) {
    Find<QTabWidget>(*form_, "PageControl")->setCurrentIndex(1);
    Find<QTabWidget>(*form_, "ProcessingTabs")->setCurrentIndex(index);
    QApplication::processEvents();
  }

  QTemporaryDir dir_;
  QTemporaryDir settings_dir_;
  std::unique_ptr<TMainForm> form_;
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::HvsrWindowTest)
#include "hvsr_window_test.moc"
