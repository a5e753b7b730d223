#include "project/gui/qt_ui_host.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>

#include "project/app_shell.h"

namespace tarvik::gui {

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void ShowBar(QProgressBar* bar, int position, int maximum) {
  if (bar == nullptr) return;
  const int max = std::max(0, maximum);
  const int value = std::clamp(position, 0, max);
  if (bar->maximum() != max) {
    bar->setMaximum(max);
  } else if (max > 1000 && value != max && bar->value() >= 0 &&
             static_cast<int64_t>(value) * 1000 / max ==
                 static_cast<int64_t>(bar->value()) * 1000 / max) {
    // A step of a long loop that would not move the bar by a pixel is not drawn.
    return;
  }
  bar->setValue(value);
}

}  // namespace

TQtUiHost::TQtUiHost(QWidget* window) : QObject(window), window_(window) {}

TQtUiHost::~TQtUiHost() {
  detached_.store(true);
}

void TQtUiHost::SetWidgets(QLabel* operation, QLabel* stage, QProgressBar* gauge,
                           QProgressBar* progress) {
  operation_ = operation;
  stage_ = stage;
  gauge_ = gauge;
  progress_ = progress;
}

void TQtUiHost::Detach() {
  detached_.store(true);
}

bool TQtUiHost::OnWindowThread() const {
  return QThread::currentThread() == thread();
}

bool TQtUiHost::RunOnWindowThread(const std::function<void()>& work) {
  if (OnWindowThread()) {
    work();
    return true;
  }
  if (detached_.load()) return false;
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  QMetaObject::invokeMethod(
      this,
      [this, work, done] {
        if (!detached_.load()) work();
        done->set_value();
      },
      Qt::QueuedConnection);
  // The window may go away while the worker waits: then the work is dropped unseen.
  while (finished.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    if (detached_.load()) return false;
  }
  return true;
}

void TQtUiHost::ShowOperation(const QString& text) {
  if (operation_) operation_->setText(text);
  emit OperationShown(text);
}

void TQtUiHost::ShowStage(const QString& text) {
  if (stage_) stage_->setText(text);
  emit StageShown(text);
}

void TQtUiHost::ShowGauge(int position, int maximum) {
  ShowBar(gauge_, position, maximum);
  emit GaugeShown(position, maximum);
}

void TQtUiHost::ShowProgress(int position, int maximum) {
  ShowBar(progress_, position, maximum);
}

void TQtUiHost::SetOperation(std::string_view text) {
  const QString t = ToQString(text);
  RunOnWindowThread([this, t] { ShowOperation(t); });
}

void TQtUiHost::SetStage(std::string_view text) {
  const QString t = ToQString(text);
  RunOnWindowThread([this, t] { ShowStage(t); });
}

void TQtUiHost::SetGauge(int position, int maximum) {
  RunOnWindowThread([this, position, maximum] { ShowGauge(position, maximum); });
}

void TQtUiHost::SetProgress(int position, int maximum) {
  if (OnWindowThread()) {
    ShowProgress(position, maximum);
    return;
  }
  progress_position_.store(position);
  progress_maximum_.store(maximum);
  // One update in flight at a time; it shows whatever value is the latest when it runs.
  if (detached_.load() || progress_posted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        progress_posted_.store(false);
        ShowProgress(progress_position_.load(), progress_maximum_.load());
      },
      Qt::QueuedConnection);
}

void TQtUiHost::ProcessEvents() {
  if (!OnWindowThread()) return;
  QCoreApplication::processEvents(user_input_ ? QEventLoop::AllEvents
                                              : QEventLoop::ExcludeUserInputEvents);
}

void TQtUiHost::ShowMessage(std::string_view text) {
  ShowMessageOfKind(MessageKind::kNote, text);
}

void TQtUiHost::ShowMessageOfKind(MessageKind kind, std::string_view text) {
  const QString t = ToQString(text);
  const QMessageBox::Icon icon = kind == MessageKind::kError     ? QMessageBox::Critical
                                 : kind == MessageKind::kWarning ? QMessageBox::Warning
                                                                 : QMessageBox::Information;
  RunOnWindowThread([this, t, icon] {
    QMessageBox box(icon, QString::fromUtf8(kAppName), t, QMessageBox::Ok, window_);
    box.exec();
  });
}

bool TQtUiHost::AskYesNo(std::string_view text) {
  const QString t = ToQString(text);
  // Shared with the window's thread, which may still answer after a detached worker left.
  auto yes = std::make_shared<std::atomic<bool>>(false);
  RunOnWindowThread([this, t, yes] {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppName), t,
                    QMessageBox::Yes | QMessageBox::No, window_);
    box.setDefaultButton(QMessageBox::No);
    yes->store(box.exec() == QMessageBox::Yes);
  });
  return yes->load();
}

}  // namespace tarvik::gui
