#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarvik::gui {

// What a file dialog of the window asks for, set up as TFileAsk("Title").Save().Filter(...).
// The dialogs are the toolkit's own rather than the desktop's, so that they behave alike
// everywhere and a test can answer them.
struct TFileAsk {
  explicit TFileAsk(QString title) : Title(std::move(title)) {}

  // What is chosen: an existing file by default.
  TFileAsk& Choose(QFileDialog::FileMode mode) {
    Mode = mode;
    return *this;
  }
  // A name to write (any name, the dialog's save button).
  TFileAsk& Save() {
    Mode = QFileDialog::AnyFile;
    Saving = true;
    return *this;
  }
  // "description|pattern|..." pairs, and the one offered first (its position; the first when
  // outside them).
  TFileAsk& Filter(const char* filter, int offered = -1) {
    Filters = filter;
    Offered = offered;
    return *this;
  }
  // Where the dialog starts and the name it proposes.
  TFileAsk& In(QString folder) {
    Folder = std::move(folder);
    return *this;
  }
  TFileAsk& Proposing(QString file) {
    File = std::move(file);
    return *this;
  }

  QString Title;
  QFileDialog::FileMode Mode = QFileDialog::ExistingFile;
  bool Saving = false;
  const char* Filters = nullptr;
  int Offered = -1;
  QString Folder;
  QString File;
};

struct TFileChoice {
  // Native separators; a folder without a trailing one.
  QStringList Files;
  // The position of the filter chosen.
  int Filter = 0;
  // The folder the dialog ended in.
  QString Folder;

  QString First() const { return Files.front(); }
};

// Shows the dialog over parent; nullopt when it was cancelled or nothing was chosen.
std::optional<TFileChoice> AskFile(QWidget* parent, const TFileAsk& ask);

}  // namespace tarvik::gui
