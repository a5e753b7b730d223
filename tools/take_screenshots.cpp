// take_screenshots PROJECT.tvp OUTDIR [WIDTHxHEIGHT ...]: opens the project in the main window and
// saves a picture of every page as PNG, for the user guide and the README: at the window's
// default size, and at each size given (the pages then named main_<page>_<width>.png). Run it
// under a display (xvfb-run) so that the pictures show the desktop's own fonts and style.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QDoubleSpinBox>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "project/app_shell.h"
#include "project/gui/main_form.h"
#include "viewers/gui/russian_texts.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  QApplication::processEvents();
  QTest::qWait(200);
  const bool ok = window.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// Saves the next modal window (the viewer or the preview opened from the main window) once it
// shows, then closes it; click is what opens it.
bool SaveModal(const QString& path, const std::function<void()>& click) {
  bool ok = false;
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    poll.stop();
    QTest::qWait(300);
    ok = dialog->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    dialog->reject();
  });
  poll.start();
  click();
  return ok;
}

template <typename T>
T* Child(QWidget& root, const char* name) {
  return root.findChild<T*>(name);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: take_screenshots PROJECT.tvp OUTDIR\n");
    return 2;
  }
  QApplication::setOrganizationName("TarvikScreenshots");
  QApplication::setApplicationName(tarvik::kSettingsApplication);
  QLocale::setDefault(QLocale::c());
  tarvik::gui::InstallQtRussian(app);
  const QString out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out);

  tarvik::gui::TMainForm form;
  form.resize(1180, 720);
  form.move(0, 0);
  if (!form.LoadStartupProject(QString::fromLocal8Bit(argv[1]))) return 1;
  form.show();
  auto* pages = form.findChild<QTabWidget*>("PageControl");
  auto* processing = form.findChild<QTabWidget*>("ProcessingTabs");
  if (pages == nullptr || processing == nullptr) return 1;
  bool ok = true;
  // A record chosen, as a person would before editing it.
  if (auto* files = form.findChild<QAbstractItemView*>("FileListBox");
      files && files->model()->rowCount() > 0)
    files->setCurrentIndex(files->model()->index(0, 0));
  QStringList sizes{QString()};
  for (int i = 3; i < argc; ++i) sizes << QString::fromLocal8Bit(argv[i]);
  for (const QString& size : sizes) {
    QString suffix;
    if (!size.isEmpty()) {
      const QStringList wh = size.split('x');
      if (wh.size() != 2) return 2;
      form.resize(wh[0].toInt(), wh[1].toInt());
      suffix = "_" + wh[0];
    }
    pages->setCurrentIndex(0);
    ok = Save(form, out + "/main_records" + suffix + ".png") && ok;
    pages->setCurrentIndex(1);
    const char* tabs[] = {"main_primary", "main_hv", "main_variations"};
    for (int i = 0; i < processing->count() && i < 3; ++i) {
      processing->setCurrentIndex(i);
      if (i == 2) {
        if (auto* spectra = form.findChild<QRadioButton*>("AbsRadioButton")) spectra->click();
      }
      ok = Save(form, out + "/" + tabs[i] + suffix + ".png") && ok;
    }
    pages->setCurrentIndex(2);
    ok = Save(form, out + "/main_settings" + suffix + ".png") && ok;
    pages->setCurrentIndex(3);
    ok = Save(form, out + "/main_general" + suffix + ".png") && ok;
  }
  form.resize(1180, 720);

  // The viewer on a record's spectra and H/V ratios, from the processing page.
  pages->setCurrentIndex(1);
  const char* lists[] = {"PrimListBox", "NakListBox"};
  const char* buttons[] = {"PrimShowButton", "NakShowButton"};
  const char* shots[] = {"viewer_from_window.png", "viewer_hv_from_window.png"};
  for (int i = 0; i < 2; ++i) {
    processing->setCurrentIndex(i);
    Child<QListWidget>(form, lists[i])->setCurrentRow(0);
    QTest::qWait(100);
    ok = SaveModal(out + "/" + shots[i], [&] { Child<QPushButton>(form, buttons[i])->click(); }) &&
         ok;
  }
  // Both stations together, from the comparison tab with every file checked.
  processing->setCurrentIndex(2);
  QTest::qWait(100);
  if (auto* all = form.findChild<QAbstractButton*>("VarCheckBox")) {
    if (!all->isChecked()) all->click();
  }
  ok = SaveModal(out + "/viewer_two_stations_from_window.png",
                 [&] { Child<QPushButton>(form, "VarShowButton")->click(); }) &&
       ok;
  // The preview of a record and the responses of its chains, from the records page.
  pages->setCurrentIndex(0);
  QTest::qWait(100);
  ok = SaveModal(out + "/preview_from_window.png",
                 [&] { Child<QPushButton>(form, "ShowRecordButton")->click(); }) &&
       ok;
  ok = SaveModal(out + "/responses_from_window.png",
                 [&] { Child<QPushButton>(form, "ResponseView3Button")->click(); }) &&
       ok;

  // The H/V statistics of both records and the noise statistics of the first, run from the
  // processing page, and the viewer on the first record's statistics.
  pages->setCurrentIndex(1);
  const auto run = [&form](const char* button) {
    QSignalSpy finished(&form, &tarvik::gui::TMainForm::RunFinished);
    // The summary the run ends with is closed once the run is over.
    QTimer close;
    close.setInterval(50);
    QObject::connect(&close, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) box->accept();
    });
    close.start();
    Child<QPushButton>(form, button)->click();
    finished.wait(600000);
  };
  processing->setCurrentIndex(1);
  Child<QCheckBox>(form, "HvsrCheckBox")->setChecked(true);
  run("NakCalcButton");
  Child<QListWidget>(form, "NakListBox")->setCurrentRow(0);
  ok = Save(form, out + "/main_hvsr.png") && ok;
  ok = SaveModal(out + "/viewer_hvsr_from_window.png",
                 [&] { Child<QPushButton>(form, "NakShowButton")->click(); }) &&
       ok;
  processing->setCurrentIndex(3);
  Child<QListWidget>(form, "PsdListBox")->item(0)->setCheckState(Qt::Checked);
  Child<QDoubleSpinBox>(form, "PsdSegmentSpinEdit")->setValue(600);
  run("PsdCalcButton");
  ok = Save(form, out + "/main_noise.png") && ok;
  return ok ? 0 : 1;
}
