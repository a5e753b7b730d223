// The preview window driven as a user drives it: keys, the two mode buttons and the three
// mouse modes, the edge buttons, "Ok" and "Отмена", and a load stopped from the records page.

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QtTest>
#include <string>
#include <vector>

#include "../../records/record_test_files.h"
#include "../preview_test_support.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "test_files.h"
#include "viewers/gui/preview_form.h"
#include "viewers/preview_picture.h"

namespace tarvik {
namespace {

using gui::TPreviewForm;

// A mouse move with no button held, sent straight to the widget (the test library would move
// the platform cursor instead).
void Hover(QWidget* w, QPoint p) {
  QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(w, &move);
}

// A record of three channels and 6000 samples at 100 Hz written as miniSEED into dir.
TFileRecord WrittenRecord(const testing::TempDir& dir) {
  const std::string path = dir.File("ABC.msd");
  std::vector<testing::MsChannel> channels;
  for (int c = 0; c < 3; ++c) {
    testing::MsChannel ch;
    ch.Channel = std::string("HH") + "ENZ"[c];
    ch.Start = EncodeDateTime(2024, 5, 14, 10, 30, 0);
    ch.Samples = testing::TestSignal(6000, c + 1);
    channels.push_back(ch);
  }
  testing::WriteMiniSeed(path, channels);
  TFileRecords records;
  AssemblySettings settings;
  settings.WorkingRate = 100.0;
  AddFile(records, path, settings);
  TFileRecord r = records.at(0);
  r.SelectStart = r.Start;
  r.SelectFinish = r.Finish;
  for (int c = 0; c < 3; ++c) {
    r.Channels[c].Selected = true;
    r.Channels[c].Level = 100;
  }
  return r;
}

}  // namespace

class PreviewFormTest : public QObject {
  Q_OBJECT

 private:
  // A shown window with the designed record (every level as given) in an area of exactly 1001 x 600
  // pixels.
  void ShowDesigned(TPreviewForm& form, int32_t level = 30) {
    TFileRecord r = testing::PreviewRecord(3, testing::kDesignedLength);
    for (int c = 0; c < 3; ++c) r.Channels[c].Level = level;
    form.Model().ShowSamples(r, testing::DesignedSamples(3), testing::PreviewOptions());
    form.show();
    form.Area()->setFixedSize(1001, 600);
    QApplication::processEvents();
    QCOMPARE(form.Model().AreaWidth(), 1001);
    form.Refresh();
  }
  template <typename T>
  T* Child(TPreviewForm& form, const char* name) {
    T* w = form.findChild<T*>(name);
    if (w == nullptr) qFatal("no child %s", name);
    return w;
  }

 private slots:
  void CaptionAndHintsBeforeAnyRecord() {
    TPreviewForm form;
    QCOMPARE(form.windowTitle(), QString::fromUtf8("Установка ограничений"));
    QCOMPARE(form.StatusPanel(0), QString::fromUtf8("Выберите режим"));
    QCOMPARE(Child<QToolButton>(form, "IntervalButton")->text(),
             QString::fromUtf8("Интервал для обработки"));
    QCOMPARE(Child<QPushButton>(form, "FromStartButton")->text(), QString("| <-"));
    QCOMPARE(Child<QPushButton>(form, "ToFinishButton")->text(), QString("-> |"));
    QCOMPARE(Child<QPushButton>(form, "CancelButton")->text(), QString::fromUtf8("Отмена"));
  }

  void KeysMoveAndZoomTheView() {
    TPreviewForm form;
    ShowDesigned(form);
    QCOMPARE(form.windowTitle(), QString::fromUtf8("DSG - 14.05.2024 10:30:00"));
    QWidget* area = form.Area();
    const TPreviewModel& m = form.Model();
    const int64_t last = testing::kDesignedLength - 1;

    QTest::keyClick(area, Qt::Key_I);
    QCOMPARE(m.ViewFirst(), last / 4);
    QCOMPARE(m.ViewLast(), last - last / 4);
    const int64_t w = m.ViewLast() - m.ViewFirst();
    QTest::keyClick(area, Qt::Key_End);
    QCOMPARE(m.ViewLast(), last);
    QCOMPARE(m.ViewLast() - m.ViewFirst(), w);
    QTest::keyClick(area, Qt::Key_Period);  // already at the end
    QCOMPARE(m.ViewLast(), last);
    QTest::keyClick(area, Qt::Key_Comma);
    QCOMPARE(m.ViewLast(), last - w / 2);
    QTest::keyClick(area, Qt::Key_Home);
    QCOMPARE(m.ViewFirst(), int64_t{0});
    QCOMPARE(m.ViewLast(), w);
    QTest::keyClick(area, Qt::Key_Less);  // the "<" of the same key
    QCOMPARE(m.ViewFirst(), int64_t{0});
    QTest::keyClick(area, Qt::Key_O);
    QCOMPARE(m.ViewLast(), std::min(last, w + w / 2));

    const int64_t range = m.Scales()[0].Maximum - m.Scales()[0].Minimum;
    QTest::keyClick(area, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(m.Scales()[0].Maximum - m.Scales()[0].Minimum, range - 2 * (range / 10));
    QTest::keyClick(area, Qt::Key_Minus, Qt::KeypadModifier);
    QVERIFY(m.Scales()[0].Maximum - m.Scales()[0].Minimum > range - 2 * (range / 10));

    const int64_t first = m.ViewFirst();
    QTest::keyClick(area, Qt::Key_Left);  // beeps only
    QCOMPARE(m.ViewFirst(), first);

    // Keys reach the preview also while a button has the focus.
    Child<QPushButton>(form, "FromStartButton")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    QCOMPARE(m.ViewFirst(), int64_t{0});
  }

  void IntervalModeClicksAndEdgeButtons() {
    TPreviewForm form;
    ShowDesigned(form, 80);
    auto* interval = Child<QToolButton>(form, "IntervalButton");
    auto* level = Child<QToolButton>(form, "LevelButton");
    QTest::mouseClick(interval, Qt::LeftButton);
    QVERIFY(interval->isChecked());
    QCOMPARE(form.Model().Mode(), TPreviewMode::kInterval);
    QCOMPARE(form.StatusPanel(0),
             QString::fromUtf8("Режим выбора интервала времени для обработки"));

    QWidget* area = form.Area();
    const QString label = Child<QLabel>(form, "SilenceLabel")->text();
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(100, 50));
    QTest::mouseClick(area, Qt::RightButton, {}, QPoint(900, 50));
    QCOMPARE(form.Model().Span(), (std::pair<int64_t, int64_t>{18000, 161999}));
    QVERIFY(Child<QLabel>(form, "SilenceLabel")->text() != label);

    // Hints of other controls do not replace the mode's while it is on.
    QStatusTipEvent tip(QString::fromUtf8("другое"));
    QApplication::sendEvent(&form, &tip);
    QCOMPARE(form.StatusPanel(0),
             QString::fromUtf8("Режим выбора интервала времени для обработки"));

    QTest::mouseClick(Child<QPushButton>(form, "FromStartButton"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(form, "ToFinishButton"), Qt::LeftButton);
    QCOMPARE(form.Model().Record().SelectStart, form.Model().Record().Start);
    QCOMPARE(form.Model().Record().SelectFinish, form.Model().Record().Finish);

    // The other mode turns this one off; turning it off brings the window's hint back.
    QTest::mouseClick(level, Qt::LeftButton);
    QVERIFY(!interval->isChecked());
    QCOMPARE(form.Model().Mode(), TPreviewMode::kLevel);
    QTest::mouseClick(level, Qt::LeftButton);
    QCOMPARE(form.Model().Mode(), TPreviewMode::kNone);
    QCOMPARE(form.StatusPanel(0), QString::fromUtf8("Выберите режим"));
    QApplication::sendEvent(&form, &tip);
    QCOMPARE(form.StatusPanel(0), QString::fromUtf8("другое"));
  }

  void LevelModeDrag() {
    TPreviewForm form;
    ShowDesigned(form);
    QTest::mouseClick(Child<QToolButton>(form, "LevelButton"), Qt::LeftButton);
    QWidget* area = form.Area();
    // Right to left: nothing changes.
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(250, 100));
    QTest::mouseMove(area, QPoint(10, 100));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(10, 100));
    QCOMPARE(form.Model().Record().Channels[0].Level, 30);
    // Left to right over samples 1800..45000: the spike of 80 sets every level.
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(10, 100));
    QTest::mouseMove(area, QPoint(250, 300));
    QVERIFY(form.Model().LevelDragging());
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(250, 300));
    for (int c = 0; c < 3; ++c) QCOMPARE(form.Model().Record().Channels[c].Level, 80);
    QCOMPARE(Child<QLabel>(form, "SilenceLabel")->text(),
             QString::fromUtf8("Тишина: 0:29:21 (98%)"));
  }

  void ZoomDragAndStatusReadOut() {
    TPreviewForm form;
    ShowDesigned(form);
    QWidget* area = form.Area();
    Hover(area, QPoint(100, 10));
    QCOMPARE(form.StatusPanel(1), QString::fromStdString(form.Model().StatusText(100, 10)));
    QVERIFY(form.StatusPanel(1).startsWith("14.05.2024 10:32:59.999 | отсчет 18000, значение "));

    QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(100, 10));
    QVERIFY(form.Model().ZoomDragging());
    Hover(area, QPoint(300, 200));
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(300, 200));
    QCOMPARE(form.Model().ViewFirst(), int64_t{18000});
    QCOMPARE(form.Model().ViewLast(), int64_t{54000});

    QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(100, 10));
    QTest::mouseClick(area, Qt::RightButton, {}, QPoint(500, 10));
    QVERIFY(!form.Model().ZoomDragging());
    QCOMPARE(form.Model().ViewFirst(), int64_t{18000});

    QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(600, 10));
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(form.Model().ViewFirst(), int64_t{0});
    QCOMPARE(form.Model().ViewLast(), testing::kDesignedLength - 1);

    // The window paints what the picture holds: the trace is black, the red under it.
    const QImage shot = area->grab().toImage();
    QCOMPARE(shot.width(), 1001);
    bool black = false;
    for (int y = 0; y < 200 && !black; ++y) black = shot.pixelColor(500, y) == QColor(Qt::black);
    QVERIFY(black);
  }

  // Samples never recorded are shaded in a colour of their own, within their channel's strip,
  // apart from the red of interference; the trace over them stays black.
  void GapsAreShadedApartFromDisturbances() {
    TPreviewForm form;
    TFileRecord r = testing::PreviewRecord(2, testing::kDesignedLength);
    for (int c = 0; c < 2; ++c) r.Channels[c].Level = 80;
    // Channel 2 lacks 30000 samples from 90000 (columns 500 to 667 of 1001).
    TData32 samples = testing::DesignedSamples(2);
    std::fill(samples[1].begin() + 90000, samples[1].begin() + 120000, 0);
    form.Model().ShowSamples(r, samples, testing::PreviewOptions(), {{}, {{90000, 119999}}});
    form.show();
    form.Area()->setFixedSize(1001, 600);
    QApplication::processEvents();
    form.Refresh();
    const QImage shot = form.Area()->grab().toImage();
    const tarvik::TPreviewPicture pic = tarvik::BuildPreviewPicture(form.Model());
    QCOMPARE(pic.Gaps.size(), size_t{1});
    const int y = pic.Strips[1].Top + 5;  // near the strip's top, clear of the flat trace
    const QColor gap = shot.pixelColor(580, y);
    const QColor red = shot.pixelColor(580, pic.Strips[0].Top + 5);  // the same time, channel 1
    QCOMPARE(red, QColor(0xFF, 0x80, 0x80));
    QVERIFY(gap != red && gap != QColor(Qt::white) && gap != QColor(0x80, 0x80, 0x80));
    QCOMPARE(shot.pixelColor(300, y), QColor(Qt::white));  // recorded and quiet
  }

  void OkReturnsTheEditedCopyAndCancelDiscards() {
    testing::TempDir dir;
    const TFileRecord original = WrittenRecord(dir);
    TPreviewForm form;
    testing::RecordingUiHost host;
    TPreviewOptions options = testing::PreviewOptions();

    auto edit_then = [&](const char* button) {
      QTimer::singleShot(0, &form, [&form, button, this] {
        QVERIFY(form.isVisible());
        form.Area()->setFixedSize(601, 300);
        QApplication::processEvents();
        QTest::mouseClick(Child<QToolButton>(form, "IntervalButton"), Qt::LeftButton);
        QTest::mouseClick(form.Area(), Qt::LeftButton, {}, QPoint(150, 20));  // sample 1499.75
        QTest::mouseClick(Child<QToolButton>(form, "LevelButton"), Qt::LeftButton);
        QTest::mousePress(form.Area(), Qt::LeftButton, {}, QPoint(0, 20));
        QTest::mouseRelease(form.Area(), Qt::LeftButton, {}, QPoint(600, 20));
        QTest::mouseClick(Child<QPushButton>(form, button), Qt::LeftButton);
      });
    };

    TFileRecord record = original;
    edit_then("CancelButton");
    QCOMPARE(form.ShowRecord(record, options, host), TShowRecordOutcome::kCancelled);
    QCOMPARE(record.SelectStart, original.SelectStart);
    QCOMPARE(record.Channels[0].Level, original.Channels[0].Level);

    std::vector<bool> loading;
    edit_then("OkButton");
    QCOMPARE(form.ShowRecord(record, options, host, [&](bool on) { loading.push_back(on); }),
             TShowRecordOutcome::kAccepted);
    QCOMPARE(form.Model().IndexOfTime(record.SelectStart), int64_t{1500});
    QCOMPARE(record.SelectFinish, original.SelectFinish);
    QVERIFY(record.Channels[0].Level != original.Channels[0].Level);
    QCOMPARE(record.Channels[0].Level, form.Model().Record().Channels[0].Level);
    QCOMPARE(record.Finish, form.Model().Record().Finish);
    QCOMPARE(loading, (std::vector<bool>{true, false}));
  }

  void StoppedLoadShowsNothing() {
    testing::TempDir dir;
    TFileRecord record = WrittenRecord(dir);
    const TFileRecord original = record;
    TPreviewForm form;
    testing::RecordingUiHost host;
    host.StopWhen = [](int) { return true; };
    bool shown = false;
    QTimer::singleShot(0, &form, [&] {
      shown = form.isVisible();
      form.reject();
    });
    QCOMPARE(form.ShowRecord(record, testing::PreviewOptions(), host),
             TShowRecordOutcome::kStopped);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.StatusPanel(1), QString::fromUtf8("Загрузка остановлена"));
    QVERIFY(host.HasStage("Загрузка остановлена"));
    QVERIFY(form.Model().Samples().empty());
    QCOMPARE(record.SelectStart, original.SelectStart);
    QApplication::processEvents();
    QVERIFY(!shown);

    // A missing file: the message, no window.
    record.File = dir.File("gone.msd");
    testing::RecordingUiHost missing;
    QCOMPARE(form.ShowRecord(record, testing::PreviewOptions(), missing),
             TShowRecordOutcome::kNotOpened);
    QCOMPARE(missing.Messages.size(), size_t{1});
    QVERIFY(!form.isVisible());
  }
};

}  // namespace tarvik

QTEST_MAIN(tarvik::PreviewFormTest)
#include "preview_form_test.moc"
