// The runs of the processing page as a person sees them: a run with no record checked says so
// instead of "finishing", and records that fail do not stop the batch with a box each but are
// told in one summary at its end.

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>

#include "gui_test_support.h"
#include "project/driver.h"
#include "project/record_management.h"

namespace tarvik::gui::testing {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QString Stage(TMainForm& form) {
  return Find<QLabel>(form, "MainStatusPanel1")->text();
}

// Clicks a run button and waits for the run it starts to end.
bool RunAndWait(TMainForm& form, const char* button) {
  QSignalSpy finished(&form, &TMainForm::RunFinished);
  QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton);
  return finished.count() > 0 || finished.wait(120000);
}

// Loads the project file, lets edit change it and saves it again.
bool EditProject(const std::string& file, const std::function<void(TProject&)>& edit) {
  NullUiHost host;
  TProject p;
  if (LoadProject(p, file, host) != LoadStatus::kLoaded) return false;
  edit(p);
  return SaveProject(p, file, 0, host).Ok;
}

}  // namespace

class MainFormProcessingTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(demo_.Prepare()); }

  void init() { demo_.Fresh(); }

  // The window said "Расчет спектров завершен" at 100 % having done nothing.
  void ARunWithNoRecordCheckedSaysHowToCheckThem() {
    QVERIFY(EditProject(Demo(), [](TProject& p) {
      for (TFileRecord& r : p.Records) r.ToProcess = r.ToProcessNakamura = false;
    }));
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    form.show();
    Find<QTabWidget>(form, "PageControl")->setCurrentIndex(1);
    auto* gauge = Find<QProgressBar>(form, "Gauge");
    const struct {
      const char* Button;
      int Tab;
      const char* Message;
    } runs[] = {
        {"PrimCalcButton", 0,
         "Не отмечена ни одна запись для расчета спектров. Отметьте записи флажками в списке "
         "«Обычные спектры»"},
        {"NakCalcButton", 1,
         "Не отмечена ни одна запись для расчета спектров H/V. Отметьте записи флажками в списке "
         "«Спектры H/V»"},
    };
    for (const auto& run : runs) {
      Find<QTabWidget>(form, "ProcessingTabs")->setCurrentIndex(run.Tab);
      DialogScript script;
      script.Ok();
      QVERIFY(RunAndWait(form, run.Button));
      QVERIFY(script.Done());
      QCOMPARE(script.Texts, (std::vector<QString>{QString::fromUtf8(run.Message)}));
      QVERIFY(!Stage(form).contains("завершен"));
      // Nothing done: the gauge does not stand at 100 %.
      QCOMPARE(gauge->value(), 0);
      QCOMPARE(Find<QPushButton>(form, run.Button)->text(), QString(kRunCaption));
      QVERIFY(script.Unexpected.empty());
    }
    QVERIFY(FilesUnder(Work("demo/results")).empty());
  }

  // Four records of six whose files are gone: each opened a box and the run waited on it. Now
  // the run goes through every record and one summary names the four with their reasons.
  void FailedRecordsAreToldOnceAtTheEnd() {
    QVERIFY(EditProject(Demo(), [&](TProject& p) {
      CloneRecords(p, {0, 1}, 2);
      ChangePath(p, {2, 3, 4, 5}, Work("gone"));
    }));
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    form.show();
    Find<QTabWidget>(form, "PageControl")->setCurrentIndex(1);
    auto* gauge = Find<QProgressBar>(form, "Gauge");
    DialogScript script;
    int gauge_when_told = -1;
    script.Then([&](QWidget* w) {
      gauge_when_told = gauge->value();
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box != nullptr);
      script.Texts.push_back(box->text());
      box->button(QMessageBox::Ok)->click();
    });
    QVERIFY(RunAndWait(form, "PrimCalcButton"));
    QVERIFY(script.Done());
    QCOMPARE(script.Unexpected, std::vector<QString>{});
    QCOMPARE(script.Texts.size(), size_t{1});
    const QString summary = script.Texts[0];
    QVERIFY2(summary.startsWith("Не рассчитано записей: 4 из 6\n"), qPrintable(summary));
    for (const char* line : {"Запись 3 (TVK01-1): не удалось прочитать запись",
                             "Запись 4 (TVK02-2): не удалось прочитать запись",
                             "Запись 5 (TVK01-3): не удалось прочитать запись",
                             "Запись 6 (TVK02-4): не удалось прочитать запись"}) {
      QVERIFY2(summary.contains(QString::fromUtf8(line)), qPrintable(summary));
    }
    // Told when every record had its turn.
    QCOMPARE(gauge_when_told, 6);
    QCOMPARE(gauge->maximum(), 6);
    QCOMPARE(Stage(form), QString("Расчет спектров завершен"));
    QCOMPARE(FilesUnder(Work("demo/results")),
             (std::vector<std::string>{"Spectra/Primary/prim_TVK01_240514-000000.dat",
                                       "Spectra/Primary/prim_TVK02_240514-000000.dat"}));
  }

 private:
  std::string Work(const std::string& name) const { return demo_.Work(name); }
  std::string Demo() const { return demo_.Demo(); }

  DemoWorkspace demo_;
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::MainFormProcessingTest)
#include "main_form_processing_test.moc"
