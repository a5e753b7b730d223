// The windows the main window opens: the spectrum viewer on a record's results with its
// navigation, on the comparison list and on the responses, and the waveform preview of a record
// with its stop.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>

#include "gui_test_support.h"
#include "project/gui/qt_ui_host.h"
#include "viewers/gui/preview_form.h"
#include "viewers/gui/spc_form.h"

namespace tarvik::gui::testing {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Clicks a button once the window's idle update has enabled it.
void Click(QPushButton* button) {
  QTRY_VERIFY(button->isEnabled());
  QTest::mouseClick(button, Qt::LeftButton);
}

// A check on the viewer while it is shown, then the viewer closed.
std::function<void(QWidget*)> InViewer(std::function<void(TSpcForm*)> check) {
  return [check](QWidget* w) {
    auto* viewer = qobject_cast<TSpcForm*>(w);
    QVERIFY2(viewer != nullptr, w->metaObject()->className());
    check(viewer);
    viewer->reject();
  };
}

}  // namespace

class ViewsFromWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QuietOffscreenNotes();
    UseSettingsFolder(settings_dir_.path());
    const std::string master =
        WriteDemoProject((fs::path(dir_.path().toStdString()) / "demo").string(), 120.0);
    QVERIFY(!master.empty());
    form_ = std::make_unique<TMainForm>();
    QVERIFY(form_->LoadStartupProject(Q(master)));
    form_->show();
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    // The results the viewer shows.
    Pages()->setCurrentIndex(1);
    for (const char* button : {"PrimCalcButton", "NakCalcButton"}) {
      QSignalSpy finished(form_.get(), &TMainForm::RunFinished);
      QTest::mouseClick(Find<QPushButton>(*form_, button), Qt::LeftButton);
      QVERIFY(finished.wait(120000));
    }
  }

  void cleanupTestCase() { form_.reset(); }

  void ViewerMovesThroughTheRecordsAndKeepsTheSelection() {
    Tab(0);
    auto* list = Find<QListWidget>(*form_, "PrimListBox");
    list->setCurrentRow(0);
    QApplication::processEvents();
    TProject& p = form_->Shell().Project();
    p.Modified = false;
    QString first, second;
    DialogScript script;
    script.Then(InViewer([&](TSpcForm* viewer) {
      first = viewer->windowTitle();
      QTest::mouseClick(Find<QPushButton>(*viewer, "NextButton"), Qt::LeftButton);
      second = viewer->windowTitle();
      viewer->SetSelection(1);
    }));
    Click(Find<QPushButton>(*form_, "PrimShowButton"));
    QVERIFY(script.Done());
    QVERIFY2(first.contains("prim_TVK01"), qPrintable(first));
    QVERIFY2(second.contains("prim_TVK02"), qPrintable(second));
    QCOMPARE(p.Records[1].SelIndex, 1);
    QVERIFY(p.Modified);

    // A double click on the H/V list shows the ratios.
    Tab(1);
    auto* nak = Find<QListWidget>(*form_, "NakListBox");
    nak->setCurrentRow(1);
    QApplication::processEvents();
    QString hv;
    script.Then(InViewer([&](TSpcForm* viewer) { hv = viewer->windowTitle(); }));
    const QPoint at = nak->visualItemRect(nak->item(1)).center();
    // A person's double click: a click, then the second press that the system reports as one.
    QTest::mouseClick(nak->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(nak->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(script.Done());
    QVERIFY2(hv.contains("nak_prim_TVK02"), qPrintable(hv));
    QVERIFY(script.Unexpected.empty());
  }

  void ComparisonShowsAveragesAndMedians() {
    Tab(2);
    QTest::mouseClick(Find<QRadioButton>(*form_, "AbsRadioButton"), Qt::LeftButton);
    auto* var = Find<QListWidget>(*form_, "VarListBox");
    QCOMPARE(var->count(), 2);
    QCOMPARE(var->item(0)->checkState(), Qt::Checked);
    DialogScript script;
    QString caption;
    script.Then(InViewer([&](TSpcForm* viewer) { caption = viewer->windowTitle(); }));
    Click(Find<QPushButton>(*form_, "VarShowButton"));
    QVERIFY(script.Done());
    QCOMPARE(caption, QString("Количество файлов: 2"));

    const QString median = dir_.path() + "/median.dat";
    script.File(median);
    script.Then(InViewer([&](TSpcForm* viewer) { caption = viewer->windowTitle(); }));
    Click(Find<QPushButton>(*form_, "VarMedianaSpcButton"));
    QVERIFY(script.Done());
    QCOMPARE(caption, QString("Количество файлов в выборке: 2"));
    QVERIFY(QFileInfo::exists(median));

    // Nothing checked: nothing to show.
    QTest::mouseClick(Find<QCheckBox>(*form_, "VarCheckBox"), Qt::LeftButton, {},
                      QPoint(8, Find<QCheckBox>(*form_, "VarCheckBox")->height() / 2));
    script.Ok();
    Click(Find<QPushButton>(*form_, "VarShowButton"));
    QVERIFY(script.Done());
    QCOMPARE(script.Texts.back(), QString("Нечего показывать!"));
    QVERIFY(script.Unexpected.empty());
  }

  void ResponseViewsOfTheCurrentRecord() {
    Pages()->setCurrentIndex(0);
    auto* files = FileTable(*form_);
    files->clearSelection();
    SetCurrentRow(files, 0);
    QApplication::processEvents();
    DialogScript script;
    QString caption;
    int series = 0;
    script.Then(InViewer([&](TSpcForm* viewer) {
      caption = viewer->windowTitle();
      series = viewer->CheckList()->count();
    }));
    Click(Find<QPushButton>(*form_, "ResponseView2Button"));
    QVERIFY(script.Done());
    QCOMPARE(caption, QString("АЧХ каналов (датчик*усилитель)"));
    QCOMPARE(series, 3);
    QVERIFY(script.Unexpected.empty());
  }

  void PreviewShowsTheRecordAndItsLoadStops() {
    Pages()->setCurrentIndex(0);
    auto* files = FileTable(*form_);
    files->clearSelection();
    SetCurrentRow(files, 1);
    QApplication::processEvents();
    auto* button = Find<QPushButton>(*form_, "ShowRecordButton");
    QVERIFY(button->isEnabled());
    TProject& p = form_->Shell().Project();
    p.Modified = false;

    // Stopped while the samples load: the preview is not shown.
    bool clicked = false;
    QString caption_while_loading;
    auto connection = connect(&form_->Host(), &TQtUiHost::StageShown, this, [&](const QString& t) {
      if (clicked || !t.startsWith("TVK02")) return;
      clicked = true;
      caption_while_loading = button->text();
      QTest::mouseClick(button, Qt::LeftButton);
    });
    DialogScript script;
    Click(button);
    disconnect(connection);
    QVERIFY(clicked);
    QCOMPARE(caption_while_loading, QString("Остановить загрузку"));
    QCOMPARE(button->text(), QString("Показать запись"));
    QCOMPARE(Find<QLabel>(*form_, "MainStatusPanel1")->text(), QString("Загрузка остановлена"));
    QVERIFY(!p.Modified);

    // Shown and confirmed: the record takes the preview's copy.
    QString title;
    script.Then([&](QWidget* w) {
      auto* preview = qobject_cast<TPreviewForm*>(w);
      QVERIFY(preview != nullptr);
      title = preview->windowTitle();
      QTest::mouseClick(Find<QPushButton>(*preview, "OkButton"), Qt::LeftButton);
    });
    Click(button);
    QVERIFY(script.Done());
    QVERIFY2(title.startsWith("TVK02"), qPrintable(title));
    QVERIFY(p.Modified);
    QVERIFY(script.Unexpected.empty());
  }

 private:
  QTabWidget* Pages() { return Find<QTabWidget>(*form_, "PageControl"); }
  void Tab(int index) {
    Pages()->setCurrentIndex(1);
    Find<QTabWidget>(*form_, "ProcessingTabs")->setCurrentIndex(index);
    QApplication::processEvents();
  }

  QTemporaryDir settings_dir_;
  QTemporaryDir dir_;
  std::unique_ptr<TMainForm> form_;
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::ViewsFromWindowTest)
#include "views_from_window_test.moc"
