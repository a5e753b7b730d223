#pragma once

class QCoreApplication;

namespace tarvik::gui {

// Qt's own texts (the standard buttons "Да", "Нет", "Отмена", the file dialog, the context menus
// of text fields) in Russian, as the rest of the window: the translation Qt ships is installed
// into app. False when it is not found; the texts then stay Qt's English ones.
bool InstallQtRussian(QCoreApplication& app);

}  // namespace tarvik::gui
