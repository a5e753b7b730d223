#include "viewers/gui/russian_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tarvik::gui {

bool InstallQtRussian(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  if (!translator->load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace tarvik::gui
