#include "project/gui/file_dialogs.h"

#include <QDir>

#include "project/app_shell.h"

namespace tarvik::gui {

std::optional<TFileChoice> AskFile(QWidget* parent, const TFileAsk& ask) {
  QFileDialog dialog(parent, ask.Title);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(ask.Mode);
  if (ask.Mode == QFileDialog::Directory) dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setAcceptMode(ask.Saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  QStringList filters;
  if (ask.Filters != nullptr) {
    for (const std::string& f : DialogNameFilters(ask.Filters))
      filters << QString::fromStdString(f);
    dialog.setNameFilters(filters);
    if (ask.Offered >= 0 && ask.Offered < filters.size())
      dialog.selectNameFilter(filters[ask.Offered]);
  }
  if (!ask.Folder.isEmpty()) dialog.setDirectory(ask.Folder);
  if (!ask.File.isEmpty()) dialog.selectFile(ask.File);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  TFileChoice choice;
  for (QString f : dialog.selectedFiles()) {
    f = QDir::toNativeSeparators(f);
    while (f.size() > 1 && f.endsWith(QDir::separator()) && ask.Mode == QFileDialog::Directory)
      f.chop(1);
    choice.Files << f;
  }
  choice.Filter = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
  choice.Folder = dialog.directory().absolutePath();
  return choice;
}

}  // namespace tarvik::gui
