// take_screenshots PROJECT.tvp OUTDIR: opens the project in the main window and saves a picture
// of every page as PNG, for the user guide and the README. Run it under a display (xvfb-run)
// so that the pictures show the desktop's own fonts and style.

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QLocale>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

#include "project/app_shell.h"
#include "project/gui/main_form.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  QApplication::processEvents();
  QTest::qWait(200);
  const bool ok = window.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
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
  if (auto* files = form.findChild<QListWidget*>("FileListBox"); files && files->count() > 0)
    files->setCurrentRow(0);
  pages->setCurrentIndex(0);
  ok = Save(form, out + "/main_records.png") && ok;
  pages->setCurrentIndex(1);
  const char* tabs[] = {"main_primary.png", "main_hv.png", "main_variations.png"};
  for (int i = 0; i < processing->count() && i < 3; ++i) {
    processing->setCurrentIndex(i);
    if (i == 2) {
      if (auto* spectra = form.findChild<QRadioButton*>("AbsRadioButton")) spectra->click();
    }
    ok = Save(form, out + "/" + tabs[i]) && ok;
  }
  pages->setCurrentIndex(2);
  ok = Save(form, out + "/main_settings.png") && ok;
  pages->setCurrentIndex(3);
  ok = Save(form, out + "/main_general.png") && ok;
  return ok ? 0 : 1;
}
