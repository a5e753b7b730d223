#include "project/gui/background_run.h"

#include <QEventLoop>
#include <QThread>
#include <exception>

namespace tarvik::gui {

TBackgroundRun::TBackgroundRun(QObject* parent) : QObject(parent) {}

TBackgroundRun::~TBackgroundRun() {
  if (thread_ != nullptr) {
    thread_->wait();
    delete thread_;
  }
}

bool TBackgroundRun::Start(std::function<void()> work, std::function<void()> done) {
  if (thread_ != nullptr) return false;
  done_ = std::move(done);
  thread_ = QThread::create([work = std::move(work)] {
    // An operation reports its failures through the UiHost; anything else that escapes must not
    // end the program with the project unsaved.
    try {
      work();
    } catch (const std::exception&) {
    }
  });
  connect(thread_, &QThread::finished, this, &TBackgroundRun::OnThreadFinished,
          Qt::QueuedConnection);
  thread_->start();
  return true;
}

void TBackgroundRun::OnThreadFinished() {
  if (thread_ == nullptr) return;
  thread_->wait();
  delete thread_;
  thread_ = nullptr;
  std::function<void()> done = std::move(done_);
  done_ = nullptr;
  if (done) done();
  emit Finished();
}

void TBackgroundRun::WaitWithEvents() {
  if (thread_ == nullptr) return;
  QEventLoop loop;
  connect(this, &TBackgroundRun::Finished, &loop, &QEventLoop::quit);
  if (thread_ != nullptr) loop.exec();
}

}  // namespace tarvik::gui
