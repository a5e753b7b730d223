#pragma once

#include <QCheckBox>

namespace tarvik::gui {

// A "for all" box: shows checked, partly checked (grayed) or unchecked as the code sets it; a
// click by the person turns a checked box off and any other on, never to the grayed state.
class TForAllCheckBox final : public QCheckBox {
  Q_OBJECT

 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
};

}  // namespace tarvik::gui
