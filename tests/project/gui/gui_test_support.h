#pragma once

// What the main window's suites share: answering the modal dialogs the window opens, a demo
// project on disk, per-user settings kept in a folder of the test's own, and the widgets found
// by their object names.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "choose_file.h"
#include "common/ui_host.h"
#include "project/demo.h"
#include "project/gui/main_form.h"
#include "project/project_file.h"
#include "project/result_manifest.h"

namespace tarvik::gui::testing {

// Answers the modal dialogs of the window in turn. Each answer gets the dialog that became
// modal and must close it. A dialog that comes when no answer is left is recorded as unexpected
// and closed with its escape button, and one that its answer leaves open is recorded and closed
// too, so that a test never hangs on it.
class DialogScript : public QObject {
 public:
  DialogScript() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
  }

  void Then(std::function<void(QWidget*)> answer) { answers_.push_back(std::move(answer)); }

  // A message box answered with one of its buttons; its text is kept in texts.
  void Button(QMessageBox::StandardButton button) {
    Then([this, button](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY2(box != nullptr,
               qPrintable(QString("not a message box: ") + w->metaObject()->className()));
      Texts.push_back(box->text());
      QAbstractButton* b = box->button(button);
      QVERIFY(b != nullptr);
      b->click();
    });
  }
  void Ok() { Button(QMessageBox::Ok); }
  void Yes() { Button(QMessageBox::Yes); }
  void No() { Button(QMessageBox::No); }
  void Cancel() { Button(QMessageBox::Cancel); }

  // A file dialog answered with a path (and a name filter by position, when given).
  void File(const QString& path, int filter = -1) {
    Then([path, filter](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY2(dialog != nullptr,
               qPrintable(QString("not a file dialog: ") + w->metaObject()->className()));
      QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
      if (filter >= 0) dialog->selectNameFilter(dialog->nameFilters().at(filter));
      if (dialog->fileMode() == QFileDialog::Directory) dialog->setDirectory(path);
      tarvik::testing::ChooseFile(*dialog, path);
      static_cast<QDialog*>(dialog)->accept();
    });
  }
  void CancelDialog() {
    Then([](QWidget* w) {
      auto* dialog = qobject_cast<QDialog*>(w);
      QVERIFY(dialog != nullptr);
      dialog->reject();
    });
  }
  // An input box answered with a text; its caption and prompt are kept in texts.
  void Input(const QString& text) {
    Then([this, text](QWidget* w) {
      auto* input = qobject_cast<QInputDialog*>(w);
      QVERIFY2(input != nullptr,
               qPrintable(QString("not an input box: ") + w->metaObject()->className()));
      Texts.push_back(input->windowTitle() + "|" + input->labelText());
      input->setTextValue(text);
      input->accept();
    });
  }

  bool Done() const { return answers_.empty() && running_ == 0; }

  // Messages (OK only) that come when no answer is left are answered OK and kept in texts.
  bool AcceptMessages = false;
  std::vector<QString> Texts;
  std::vector<QString> Unexpected;

  bool Saw(const QString& part) const {
    for (const QString& t : Texts) {
      if (t.contains(part)) return true;
    }
    return false;
  }

 private:
  void Poll() {
    QWidget* w = QApplication::activeModalWidget();
    if (w == nullptr || !w->isVisible() || w == answered_) return;
    // A window shown again (the viewer and the preview live on) is a new dialog once hidden.
    answered_ = w;
    w->installEventFilter(this);
    if (answers_.empty()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (AcceptMessages && box != nullptr && box->button(QMessageBox::Ok) != nullptr) {
        Texts.push_back(box->text());
        box->button(QMessageBox::Ok)->click();
        return;
      }
      Unexpected.push_back(box != nullptr ? box->text() : w->metaObject()->className());
      if (box != nullptr && box->escapeButton() != nullptr) {
        box->escapeButton()->click();
      } else if (auto* dialog = qobject_cast<QDialog*>(w)) {
        dialog->reject();
      }
      return;
    }
    // The answer runs from a timer of its own: Qt does not fire a timer again while its slot
    // runs, so a message box that the answer brings up (a dialog asking before it closes) would
    // otherwise never be polled, and the test would wait out its time-out.
    ++running_;
    QTimer::singleShot(0, this, [this, answer = std::move(answers_.front()), dialog = QPointer(w)] {
      if (dialog != nullptr) answer(dialog);
      // A dialog that refuses its answer (a file dialog given a name it does not take) would
      // keep the test waiting until its time runs out.
      if (dialog != nullptr && dialog->isVisible()) {
        Unexpected.push_back(QString("still open after its answer: ") +
                             dialog->metaObject()->className() + " " + dialog->windowTitle());
        if (auto* d = qobject_cast<QDialog*>(dialog.data())) d->reject();
      }
      --running_;
    });
    answers_.pop_front();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && watched == answered_) {
      watched->removeEventFilter(this);
      answered_ = nullptr;
    }
    return false;
  }

  QTimer timer_;
  QPointer<QWidget> answered_;
  std::deque<std::function<void(QWidget*)>> answers_;
  int running_ = 0;
};

// Leaves out the offscreen platform's note that it cannot pass size hints on, which it makes for
// every window shown; everything else reaches the test log.
inline QtMessageHandler& PreviousHandler() {
  static QtMessageHandler previous = nullptr;
  return previous;
}
inline void QuietOffscreenNotes() {
  PreviousHandler() = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message.contains("propagateSizeHints")) return;
        if (PreviousHandler() != nullptr) PreviousHandler()(type, context, message);
      });
}

// Keeps the window's per-user settings in a folder of the test's own.
inline void UseSettingsFolder(const QString& folder) {
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

// Writes the demonstration recordings and project into dir (two stations, files of the given
// length) and returns the project file; the results folder is dir/results.
inline std::string WriteDemoProject(const std::string& dir, double file_seconds = 300.0,
                                    TDateTime start = 0.0) {
  TDemoOptions options;
  options.FileSeconds = file_seconds;
  if (start != 0.0) options.Start = start;
  NullUiHost host;
  TProject project;
  std::vector<TDemoRecording> recordings;
  std::string error;
  if (!BuildDemoProject(dir, kDemoGeophonePaz, options, host, project, recordings, error))
    return {};
  const SaveResult saved = SaveProject(project, dir + "/demo.tvp", 0, host);
  return saved.Ok ? saved.FileName : std::string();
}

// The demo project written once per test program, copied afresh into a work folder of its own
// for each case, with the window's per-user settings in a folder of the test's own.
class DemoWorkspace {
 public:
  // Once per program (initTestCase): false when the demo could not be written.
  bool Prepare() {
    if (!settings_dir_.isValid() || !master_dir_.isValid()) return false;
    QuietOffscreenNotes();
    UseSettingsFolder(settings_dir_.path());
    master_ = WriteDemoProject(
        (std::filesystem::path(master_dir_.path().toStdString()) / "demo").string());
    return !master_.empty();
  }
  // Before each case (init): settings cleared, a fresh copy of the demo under Work("demo").
  void Fresh() {
    QSettings(kSettingsOrganisation, kSettingsApplication).clear();
    work_ = std::make_unique<QTemporaryDir>();
    std::filesystem::copy(std::filesystem::path(master_).parent_path(), Work("demo"),
                          std::filesystem::copy_options::recursive);
  }
  std::string Work(const std::string& name) const {
    return (std::filesystem::path(work_->path().toStdString()) / name).string();
  }
  std::string Demo() const { return Work("demo/demo.tvp"); }
  const std::string& Master() const { return master_; }

 private:
  QTemporaryDir settings_dir_;
  QTemporaryDir master_dir_;
  std::string master_;
  std::unique_ptr<QTemporaryDir> work_;
};

template <typename T>
T* Find(QWidget& root, const char* name) {
  T* w = root.findChild<T*>(name);
  if (w == nullptr) qWarning("no widget %s", name);
  return w;
}

// The record table ("FileListBox") as the tests read and drive it: its rows, the text of a cell
// (the record's file in the first column), the selection.
inline QTableView* FileTable(QWidget& root) {
  return Find<QTableView>(root, "FileListBox");
}
inline int RowCount(const QTableView* table) {
  return table->model()->rowCount();
}
inline QString RowText(const QTableView* table, int row, int column = 0) {
  return table->model()->index(row, column).data().toString();
}
inline bool RowSelected(const QTableView* table, int row) {
  return table->selectionModel()->isRowSelected(row, QModelIndex());
}
inline int SelectedRowCount(const QTableView* table) {
  return static_cast<int>(table->selectionModel()->selectedRows().size());
}
// The row made current and the only one selected, as a click on it does.
inline void SetCurrentRow(QTableView* table, int row) {
  table->setCurrentIndex(table->model()->index(row, 0));
}
// The rows selected, the first of them current.
inline void SelectOnly(QTableView* table, const std::vector<int>& rows) {
  table->clearSelection();
  if (rows.empty()) return;
  SetCurrentRow(table, rows.front());
  for (int row : rows)
    table->selectionModel()->select(table->model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// The result files under folder (the manifest of who wrote them left out).
inline std::vector<std::string> FilesUnder(const std::string& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  if (!std::filesystem::exists(folder, ec)) return out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec)) {
    if (e.is_regular_file() && e.path().filename() != kResultManifestName)
      out.push_back(std::filesystem::relative(e.path(), folder).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace tarvik::gui::testing
