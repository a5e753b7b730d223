// tarvik [PROJECT.tvp]: the desktop application.

#include <QApplication>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QSplashScreen>

#include "project/app_shell.h"
#include "project/gui/main_form.h"
#include "project/gui/qt_ui_host.h"
#include "viewers/gui/russian_texts.h"

namespace {

// The splash window: the program's title and version; the start-up project's load shows its
// progress on it.
QPixmap SplashPicture() {
  QPixmap picture(520, 220);
  picture.fill(QColor(0xF4, 0xF1, 0xEA));
  QPainter p(&picture);
  p.setPen(QColor(0x30, 0x40, 0x60));
  QFont title = p.font();
  title.setPointSize(24);
  title.setBold(true);
  p.setFont(title);
  p.drawText(QRect(0, 30, 520, 50), Qt::AlignCenter, tarvik::kAppName);
  QFont text = p.font();
  text.setPointSize(12);
  text.setBold(false);
  p.setFont(text);
  p.drawText(QRect(0, 90, 520, 30), Qt::AlignCenter, tarvik::kAppTitle);
  p.drawText(QRect(0, 120, 520, 30), Qt::AlignCenter,
             QString("Версия %1").arg(tarvik::kAppVersion));
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(tarvik::kSettingsOrganisation);
  QApplication::setApplicationName(tarvik::kSettingsApplication);
  QApplication::setApplicationVersion(tarvik::kAppVersion);
  // Numbers are shown and read with "." whatever the desktop's locale.
  QLocale::setDefault(QLocale::c());
  tarvik::gui::InstallQtRussian(app);

  QSplashScreen splash(SplashPicture());
  splash.show();
  QApplication::processEvents();

  tarvik::gui::TMainForm form;
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) {
    const QMetaObject::Connection progress =
        QObject::connect(&form.Host(), &tarvik::gui::TQtUiHost::GaugeShown, &splash,
                         [&splash](int position, int maximum) {
                           const int percent = maximum > 0 ? position * 100 / maximum : 0;
                           splash.showMessage(QString("Загрузка проекта: %1%").arg(percent),
                                              Qt::AlignBottom | Qt::AlignHCenter);
                         });
    form.LoadStartupProject(args.at(1));
    QObject::disconnect(progress);
  }
  form.show();
  splash.finish(&form);
  return QApplication::exec();
}
