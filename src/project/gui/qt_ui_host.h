#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>

#include "common/ui_host.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace tarvik::gui {

// The window's UiHost: status panels 0 and 1, the gauge and the progress bar of the main
// window's status bar, message boxes and yes/no questions over the window.
//
// It may be called from the window's thread or from a worker thread running a long operation.
// From a worker every call is carried out on the window's thread: texts, the gauge, messages and
// questions wait until the window has shown them (so a stop requested while a text is shown is
// seen by the very next check of the worker), the progress bar only shows the latest value
// without holding the worker up. ProcessEvents lets pending events run on the window's thread
// (user input excluded unless SetUserInput: the person's clicks wait until the operation is
// over) and does nothing on a worker, whose window thread runs
// freely anyway.
class TQtUiHost final : public QObject, public UiHost {
  Q_OBJECT

 public:
  explicit TQtUiHost(QWidget* window);
  ~TQtUiHost() override;

  using UiHost::AskYesNo;
  using UiHost::SetOperation;
  using UiHost::SetStage;
  using UiHost::ShowMessage;
  using UiHost::ShowMessageOfKind;

  void SetWidgets(QLabel* operation, QLabel* stage, QProgressBar* gauge, QProgressBar* progress);

  void SetOperation(std::string_view text) override;
  void SetStage(std::string_view text) override;
  void SetGauge(int position, int maximum) override;
  void SetProgress(int position, int maximum) override;
  void ProcessEvents() override;
  // A note with the information icon; ShowMessageOfKind picks the warning or the error icon.
  void ShowMessage(std::string_view text) override;
  void ShowMessageOfKind(MessageKind kind, std::string_view text) override;
  bool AskYesNo(std::string_view text) override;

  // While on, ProcessEvents on the window's thread runs the person's input too (a load that
  // runs on the window's thread and listens for its stop button).
  void SetUserInput(bool on) { user_input_ = on; }

  // From now on calls from other threads return at once (questions answered No): the window is
  // going away while a worker may still be finishing.
  void Detach();

 signals:
  // Emitted on the window's thread after the text or value is shown.
  void OperationShown(const QString& text);
  void StageShown(const QString& text);
  void GaugeShown(int position, int maximum);

 private:
  bool OnWindowThread() const;
  // Runs work on the window's thread and waits for it; false when the host was detached first.
  bool RunOnWindowThread(const std::function<void()>& work);

  void ShowOperation(const QString& text);
  void ShowStage(const QString& text);
  void ShowGauge(int position, int maximum);
  void ShowProgress(int position, int maximum);

  QPointer<QWidget> window_;
  QPointer<QLabel> operation_;
  QPointer<QLabel> stage_;
  QPointer<QProgressBar> gauge_;
  QPointer<QProgressBar> progress_;
  std::atomic<bool> detached_{false};
  bool user_input_ = false;
  std::atomic<int> progress_position_{0};
  std::atomic<int> progress_maximum_{0};
  std::atomic<bool> progress_posted_{false};
};

}  // namespace tarvik::gui
