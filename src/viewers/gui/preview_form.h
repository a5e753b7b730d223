#pragma once

// TPreviewForm: the waveform preview window. It shows the model's picture, forwards keys,
// clicks and its size to the model, and keeps the status bar: panel 0 the hint of the control
// under the mouse or of the mode that is on, panel 1 the time, index and value under the mouse.

#include <QDialog>
#include <functional>

#include "viewers/preview_model.h"
#include "viewers/preview_show.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace tarvik {
class UiHost;
}

namespace tarvik::gui {

class TPreviewArea;

class TPreviewForm : public QDialog {
  Q_OBJECT

 public:
  explicit TPreviewForm(QWidget* parent = nullptr);
  ~TPreviewForm() override;

  // "Показать запись" for the records page: loads record (loading says when the button must
  // read "Остановить загрузку"), shows the window modally, and on "Ok" puts the edited copy
  // into record. After a stop the window stays hidden and its panel 1 reads "Загрузка
  // остановлена". A click on the button while Loading() is true should call host.RequestStop().
  TShowRecordOutcome ShowRecord(TFileRecord& record, const TPreviewOptions& options, UiHost& host,
                                std::function<void(bool)> loading = {});
  bool Loading() const { return model_.Loading(); }

  TPreviewModel& Model() { return model_; }
  const TPreviewModel& Model() const { return model_; }
  // Brings caption, silence label, mode buttons, hints and picture up to the model's state.
  void Refresh();
  QString StatusPanel(int index) const;
  // The paint area, sized and shown by the window.
  QWidget* Area() const;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  friend class TPreviewArea;
  void ModeToggled(TPreviewMode mode, bool on);
  // Handles a key of the preview's table; false for any other key.
  bool HandleKey(QKeyEvent* event);
  void AfterEdit();

  TPreviewModel model_;
  TPreviewArea* area_ = nullptr;
  QToolButton* interval_button_ = nullptr;
  QToolButton* level_button_ = nullptr;
  QLabel* silence_label_ = nullptr;
  QLabel* panel0_ = nullptr;
  QLabel* panel1_ = nullptr;
};

}  // namespace tarvik::gui
