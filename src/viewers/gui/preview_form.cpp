#include "viewers/gui/preview_form.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "viewers/gui/preview_painter.h"
#include "viewers/preview_picture.h"

namespace tarvik::gui {

namespace {

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

std::optional<TPreviewKey> KeyOf(const QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Home:
      return TPreviewKey::kHome;
    case Qt::Key_End:
      return TPreviewKey::kEnd;
    case Qt::Key_Comma:
    case Qt::Key_Less:
      return TPreviewKey::kShiftLeft;
    case Qt::Key_Period:
    case Qt::Key_Greater:
      return TPreviewKey::kShiftRight;
    case Qt::Key_I:
      return TPreviewKey::kZoomIn;
    case Qt::Key_O:
      return TPreviewKey::kZoomOut;
    // The keypad's plus and minus; the main keyboard's serve too on keyboards without a keypad.
    case Qt::Key_Plus:
      return TPreviewKey::kNarrowRange;
    case Qt::Key_Minus:
      return TPreviewKey::kWidenRange;
    case Qt::Key_Left:
      return TPreviewKey::kArrowLeft;
    default:
      return std::nullopt;
  }
}

std::optional<TPreviewButton> ButtonOf(Qt::MouseButton button) {
  if (button == Qt::LeftButton) return TPreviewButton::kLeft;
  if (button == Qt::RightButton) return TPreviewButton::kRight;
  return std::nullopt;
}

}  // namespace

// The strips: painted from the model's picture; mouse and size go to the model.
class TPreviewArea : public QWidget {
 public:
  explicit TPreviewArea(TPreviewForm* form) : QWidget(form), form_(form) {
    setObjectName("PreviewArea");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setStatusTip(QString::fromUtf8(kPreviewHint));
    setMinimumSize(200, 120);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    PaintPreview(painter, BuildPreviewPicture(form_->model_));
  }
  void resizeEvent(QResizeEvent*) override { form_->model_.SetArea(width(), height()); }
  void mousePressEvent(QMouseEvent* e) override {
    const auto button = ButtonOf(e->button());
    const QPoint p = e->position().toPoint();
    if (button && form_->model_.MousePress(*button, p.x(), p.y())) form_->AfterEdit();
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    const QPoint p = e->position().toPoint();
    if (e->button() == Qt::LeftButton && form_->model_.MouseDoubleClick(p.x(), p.y())) {
      form_->AfterEdit();
    } else {
      mousePressEvent(e);
    }
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    const QPoint p = e->position().toPoint();
    form_->panel1_->setText(Text(form_->model_.StatusText(p.x(), p.y())));
    if (form_->model_.MouseMove(p.x(), p.y())) update();
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    const auto button = ButtonOf(e->button());
    const QPoint p = e->position().toPoint();
    if (button && form_->model_.MouseRelease(*button, p.x(), p.y())) form_->AfterEdit();
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (!form_->HandleKey(e)) QWidget::keyPressEvent(e);
  }

 private:
  TPreviewForm* form_;
};

TPreviewForm::TPreviewForm(QWidget* parent) : QDialog(parent) {
  setObjectName("PreviewForm");
  setWindowTitle(QString::fromUtf8(kPreviewCaption));
  setStatusTip(QString::fromUtf8(kPreviewHint));
  resize(1000, 640);

  auto* tools = new QHBoxLayout;
  auto mode_button = [this](const char* name, const char* caption, const char* hint,
                            TPreviewMode mode) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setText(QString::fromUtf8(caption));
    b->setStatusTip(QString::fromUtf8(hint));
    b->setToolTip(QString::fromUtf8(hint));
    b->setCheckable(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(b, &QToolButton::toggled, this, [this, mode](bool on) { ModeToggled(mode, on); });
    return b;
  };
  interval_button_ = mode_button("IntervalButton", kIntervalModeCaption, kIntervalModeHint,
                                 TPreviewMode::kInterval);
  level_button_ =
      mode_button("LevelButton", kLevelModeCaption, kLevelModeHint, TPreviewMode::kLevel);
  auto* start_button = new QPushButton(QString::fromUtf8(kFromStartCaption), this);
  start_button->setObjectName("FromStartButton");
  start_button->setAutoDefault(false);
  connect(start_button, &QPushButton::clicked, this, [this] {
    model_.SelectFromStart();
    AfterEdit();
  });
  auto* finish_button = new QPushButton(QString::fromUtf8(kToFinishCaption), this);
  finish_button->setObjectName("ToFinishButton");
  finish_button->setAutoDefault(false);
  connect(finish_button, &QPushButton::clicked, this, [this] {
    model_.SelectToFinish();
    AfterEdit();
  });
  silence_label_ = new QLabel(this);
  silence_label_->setObjectName("SilenceLabel");
  auto* ok = new QPushButton(QString::fromUtf8("Ok"), this);
  ok->setObjectName("OkButton");
  ok->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
  cancel->setObjectName("CancelButton");
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  tools->addWidget(interval_button_);
  tools->addWidget(level_button_);
  tools->addSpacing(12);
  tools->addWidget(start_button);
  tools->addWidget(finish_button);
  tools->addSpacing(12);
  tools->addWidget(silence_label_);
  tools->addStretch(1);
  tools->addWidget(ok);
  tools->addWidget(cancel);

  area_ = new TPreviewArea(this);

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar");
  status->setSizeGripEnabled(false);
  panel0_ = new QLabel(QString::fromUtf8(kPreviewHint), status);
  panel0_->setObjectName("StatusPanel0");
  panel0_->setMinimumWidth(360);
  panel1_ = new QLabel(status);
  panel1_->setObjectName("StatusPanel1");
  status->addWidget(panel0_);
  status->addWidget(panel1_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->setSpacing(4);
  layout->addLayout(tools);
  layout->addWidget(area_, 1);
  layout->addWidget(status);
  area_->setFocus();
}

TPreviewForm::~TPreviewForm() = default;

QWidget* TPreviewForm::Area() const {
  return area_;
}

QString TPreviewForm::StatusPanel(int index) const {
  return index == 0 ? panel0_->text() : panel1_->text();
}

void TPreviewForm::Refresh() {
  setWindowTitle(Text(model_.Caption()));
  silence_label_->setText(Text(model_.SilenceLabel()));
  const TPreviewMode mode = model_.Mode();
  const QSignalBlocker block_interval(interval_button_);
  const QSignalBlocker block_level(level_button_);
  interval_button_->setChecked(mode == TPreviewMode::kInterval);
  level_button_->setChecked(mode == TPreviewMode::kLevel);
  panel0_->setText(Text(model_.ModeHint()));
  area_->update();
}

void TPreviewForm::AfterEdit() {
  silence_label_->setText(Text(model_.SilenceLabel()));
  area_->update();
}

void TPreviewForm::ModeToggled(TPreviewMode mode, bool on) {
  if (on) {
    model_.SetMode(mode);
  } else if (model_.Mode() == mode) {
    model_.SetMode(TPreviewMode::kNone);
  }
  Refresh();
}

bool TPreviewForm::HandleKey(QKeyEvent* event) {
  const auto key = KeyOf(event);
  if (!key) return false;
  const TKeyOutcome out = model_.PressKey(*key);
  if (out.Beep) QApplication::beep();
  if (out.Redraw) area_->update();
  return true;
}

void TPreviewForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  area_->setFocus();  // the keys of the view work at once
}

void TPreviewForm::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(event)) QDialog::keyPressEvent(event);
}

bool TPreviewForm::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    // Hints follow the mouse only while no mode is on; a mode keeps its own hint in panel 0.
    if (model_.AutomaticHints()) {
      const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
      panel0_->setText(tip.isEmpty() ? QString::fromUtf8(kPreviewHint) : tip);
    }
    return true;
  }
  return QDialog::event(event);
}

TShowRecordOutcome TPreviewForm::ShowRecord(TFileRecord& record, const TPreviewOptions& options,
                                            UiHost& host, std::function<void(bool)> loading) {
  TShowRecordHooks hooks;
  hooks.Loading = std::move(loading);
  hooks.ShowModal = [this] {
    // The read-out belonged to the record shown before.
    panel1_->clear();
    Refresh();
    return exec() == QDialog::Accepted;
  };
  const TShowRecordOutcome outcome = tarvik::ShowRecord(model_, record, options, host, hooks);
  if (outcome == TShowRecordOutcome::kStopped) {
    panel1_->setText(QString::fromUtf8(kLoadingStoppedText));
  }
  Refresh();
  return outcome;
}

}  // namespace tarvik::gui
