#pragma once

#include <QObject>
#include <functional>

class QThread;

namespace tarvik::gui {

// One long operation at a time on a thread of its own, so that the window stays responsive
// while it runs. The operation reaches the window only through the window's UiHost.
class TBackgroundRun final : public QObject {
  Q_OBJECT

 public:
  explicit TBackgroundRun(QObject* parent = nullptr);
  // Waits for an operation still running; the window detaches its UiHost first, so that the
  // operation does not wait for the window in turn.
  ~TBackgroundRun() override;

  bool Running() const { return thread_ != nullptr; }
  // Starts work unless an operation is running (false then); done runs on this object's thread
  // once work has returned, before finished() is emitted.
  bool Start(std::function<void()> work, std::function<void()> done);
  // Lets the window's events run until the operation is over.
  void WaitWithEvents();

 signals:
  void Finished();

 private:
  void OnThreadFinished();

  QThread* thread_ = nullptr;
  std::function<void()> done_;
};

}  // namespace tarvik::gui
