#pragma once

#include <QFileDialog>
#include <QString>
#include <QWidget>

namespace tarvik::testing {

// Chooses a path in a QFileDialog drawn with Qt's own widgets, as typing it into the name box
// does. selectFile writes the name into the box only while the box has no keyboard focus, and the
// box takes the focus when the dialog is activated, which on the offscreen platform comes a moment
// after the dialog shows: a choice made after that left the box as it was, and the dialog then
// refused to close or took the old name, depending on the load of the machine. Taking the focus
// off first makes the choice the same either way.
inline void ChooseFile(QFileDialog& dialog, const QString& path) {
  if (QWidget* focused = dialog.focusWidget()) focused->clearFocus();
  dialog.selectFile(path);
}

}  // namespace tarvik::testing
