#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace tarvik::gui {

// A caption of the record editor that runs an action on a double click (copy to the clipboard,
// an input box, a response template).
class TDoubleClickLabel final : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void DoubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    event->accept();
    emit DoubleClicked();
  }
};

}  // namespace tarvik::gui
