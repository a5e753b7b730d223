#include "viewers/gui/offscreen_app.h"

#include <QApplication>
#include <QLocale>

namespace tarvik::gui {

OffscreenApplication::OffscreenApplication() {
  if (QApplication::instance() != nullptr) return;
  // The platform is chosen before the application exists; a user's own choice is kept.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  app_ = std::make_unique<QApplication>(argc_, argv_);
  QLocale::setDefault(QLocale::c());  // "." as the decimal separator in every drawn number
}

OffscreenApplication::~OffscreenApplication() = default;

}  // namespace tarvik::gui
