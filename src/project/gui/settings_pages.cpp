// The processing-settings page ("Настройки") and the general settings page of the main window.

#include <qcustomplot.h>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "project/gui/file_dialogs.h"
#include "project/gui/main_form.h"
#include "project/gui/qt_ui_host.h"
#include "project/gui/settings_pages.h"
#include "project/settings_keys.h"
#include "project/settings_page.h"
#include "project/window_rules.h"
#include "records/assembly.h"

namespace tarvik::gui {

namespace sp = settings_page;

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Lines separated by CR LF, as the documents write them, shown as lines.
QString Lines(std::string_view text) {
  return Q(text).replace("\r\n", "\n");
}

template <size_t N>
QButtonGroup* RadioGroup(QWidget* parent, QVBoxLayout* into, const sp::TControl& control,
                         const std::array<std::string_view, N>& items) {
  auto* box = new QGroupBox(Q(control.Caption), parent);
  box->setObjectName(Q(control.Name));
  auto* layout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(box);
  for (size_t i = 0; i < N; ++i) {
    auto* radio = new QRadioButton(Q(items[i]), box);
    radio->setObjectName(Q(control.Name) + QString::number(i));
    group->addButton(radio, static_cast<int>(i));
    layout->addWidget(radio);
  }
  into->addWidget(box);
  return group;
}

QDoubleSpinBox* DoubleSpin(QWidget* parent, const sp::TControl& control) {
  auto* spin = new QDoubleSpinBox(parent);
  spin->setObjectName(Q(control.Name));
  spin->setDecimals(control.Decimals);
  spin->setRange(control.Min, control.Max);
  spin->setSingleStep(control.Step);
  if (!control.Hint.empty()) spin->setToolTip(Q(control.Hint));
  spin->setKeyboardTracking(false);
  return spin;
}

QSpinBox* IntSpin(QWidget* parent, const sp::TControl& control) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(Q(control.Name));
  spin->setRange(static_cast<int>(control.Min), static_cast<int>(control.Max));
  spin->setSingleStep(static_cast<int>(control.Step > 0 ? control.Step : 1));
  if (!control.Hint.empty()) spin->setToolTip(Q(control.Hint));
  spin->setKeyboardTracking(false);
  return spin;
}

void SetButton(QButtonGroup* group, int id) {
  if (QAbstractButton* b = group->button(id)) b->setChecked(true);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Processing settings.

TSettingsPage::TSettingsPage(TMainForm& window, QWidget* parent)
    : QWidget(parent), form_(window), shell_(window.Shell()) {
  setObjectName("SettingsPage");
  QWidget* page = this;
  auto* outer = new QVBoxLayout(page);

  auto* top = new QHBoxLayout;
  options_combo_ = new QComboBox(page);
  options_combo_->setObjectName("OptionsComBox");
  for (std::string_view item : sp::kSetItems) options_combo_->addItem(Q(item));
  top->addWidget(options_combo_, 1);
  defaults_button_ = new QPushButton("Восстановить по умолчанию", page);
  defaults_button_->setObjectName("DefaultsButton");
  top->addWidget(defaults_button_);
  outer->addLayout(top);

  auto* columns = new QHBoxLayout;
  outer->addLayout(columns, 1);

  // Left column: transform, spectrum, estimate, durations, filling.
  auto* left = new QVBoxLayout;
  columns->addLayout(left);
  fourier_group_ = RadioGroup(page, left, sp::kFourierRadio, sp::kFourierItems);
  spc_type_group_ = RadioGroup(page, left, sp::kSpectrumTypeRadio, sp::kSpectrumTypeItems);
  est_type_group_ = RadioGroup(page, left, sp::kEstimationRadio, sp::kEstimationItems);

  auto* durations = new QGroupBox("Длительность", page);
  auto* dur_grid = new QGridLayout(durations);
  auto* silence_label = new QLabel(Q(sp::kSilenceDurSpin.Caption), durations);
  silence_spin_ = DoubleSpin(durations, sp::kSilenceDurSpin);
  silence_label->setToolTip(Q(sp::kSilenceDurSpin.Hint));
  silence_length_label_ = new QLabel(durations);
  silence_length_label_->setObjectName("SilenceDurLabel");
  silence_length_label_->setToolTip(Q(sp::kSilenceLengthHint));
  silence_length_label_->setMinimumWidth(70);
  noise_label_ = new QLabel(durations);
  noise_label_->setObjectName("NoiseDurLabel");
  noise_spin_ = IntSpin(durations, sp::kNoiseDurSpin);
  dur_grid->addWidget(silence_label, 0, 0);
  dur_grid->addWidget(silence_spin_, 0, 1);
  dur_grid->addWidget(silence_length_label_, 0, 2);
  dur_grid->addWidget(noise_label_, 1, 0);
  dur_grid->addWidget(noise_spin_, 1, 1);
  left->addWidget(durations);
  fill_group_ = RadioGroup(page, left, sp::kFillByZeroRadio, sp::kFillByZeroItems);
  left->addStretch(1);

  // Middle column: the weighting window with its formula and chart.
  auto* window_box = new QGroupBox("Весовая функция", page);
  auto* wlay = new QGridLayout(window_box);
  wlay->addWidget(new QLabel(Q(sp::kWindowCombo.Caption), window_box), 0, 0);
  window_combo_ = new QComboBox(window_box);
  window_combo_->setObjectName(Q(sp::kWindowCombo.Name));
  for (std::string_view item : sp::kWindowItems) window_combo_->addItem(Q(item));
  wlay->addWidget(window_combo_, 0, 1);
  wlay->addWidget(new QLabel(Q(sp::kBSpin.Caption), window_box), 0, 2);
  b_spin_ = DoubleSpin(window_box, sp::kBSpin);
  wlay->addWidget(b_spin_, 0, 3);
  formula_label_ = new QLabel(window_box);
  formula_label_->setObjectName("FormulaLabel");
  formula_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  wlay->addWidget(formula_label_, 1, 0, 1, 4);
  window_chart_ = new QCustomPlot(window_box);
  window_chart_->setObjectName("WinChart");
  window_chart_->setMinimumSize(220, 160);
  window_chart_->addGraph();
  window_chart_->graph(0)->setObjectName("SeriesWeight");
  window_chart_->graph(0)->setPen(QPen(Qt::blue, 1.5));
  window_chart_->yAxis->setRange(sp::kChartMin, sp::kChartMax);
  wlay->addWidget(window_chart_, 2, 0, 1, 4);
  wlay->setRowStretch(2, 1);
  columns->addWidget(window_box, 1);

  // Right column: the two band-pass filters and the units.
  auto* right = new QVBoxLayout;
  columns->addLayout(right);
  auto filter_box = [&](const sp::TControl& check, const sp::TControl& fmin,
                        const sp::TControl& fmax, const sp::TControl& order, QCheckBox*& check_box,
                        QDoubleSpinBox*& min_spin, QDoubleSpinBox*& max_spin, QSpinBox*& order_spin,
                        const char* title) {
    auto* box = new QGroupBox(title, page);
    auto* fields = new QFormLayout(box);
    check_box = new QCheckBox(Q(check.Caption), box);
    check_box->setObjectName(Q(check.Name));
    fields->addRow(check_box);
    min_spin = DoubleSpin(box, fmin);
    max_spin = DoubleSpin(box, fmax);
    order_spin = IntSpin(box, order);
    fields->addRow(Q(fmin.Caption), min_spin);
    fields->addRow(Q(fmax.Caption), max_spin);
    fields->addRow(Q(order.Caption), order_spin);
    right->addWidget(box);
  };
  filter_box(sp::kEdgeCheck, sp::kEdgeFMinSpin, sp::kEdgeFMaxSpin, sp::kEdgeOrderSpin, edge_check_,
             edge_fmin_spin_, edge_fmax_spin_, edge_order_spin_, "Краевой эффект");
  filter_box(sp::kNoiseCheck, sp::kNoiseFMinSpin, sp::kNoiseFMaxSpin, sp::kNoiseOrderSpin,
             noise_check_, noise_fmin_spin_, noise_fmax_spin_, noise_order_spin_,
             "Выделение помех");
  auto* units = new QGroupBox(Q(sp::kUnitOutCombo.Caption), page);
  auto* ulay = new QVBoxLayout(units);
  unit_out_combo_ = new QComboBox(units);
  unit_out_combo_->setObjectName(Q(sp::kUnitOutCombo.Name));
  for (std::string_view item : sp::kUnitOutItems) unit_out_combo_->addItem(Q(item));
  unit_combo_ = new QComboBox(units);
  unit_combo_->setObjectName("UnitComBox");
  for (const sp::TUnitItem& item : sp::kUnitItems) unit_combo_->addItem(Q(item.Text));
  ulay->addWidget(unit_out_combo_);
  ulay->addWidget(unit_combo_);
  right->addWidget(units);
  right->addStretch(1);

  // Every control writes its field of the set shown; radio groups, combo boxes and check boxes
  // only react to the person (a value set from code sends no idClicked/activated/clicked), the
  // spin boxes are guarded by reloading_.
  auto radio = [this](QButtonGroup* group, auto write, bool refresh) {
    connect(group, &QButtonGroup::idClicked, this, [this, write, refresh](int id) {
      write(ShownSettings(), id);
      Edited(refresh);
    });
  };
  radio(
      fourier_group_, [](TSpectrumSettings& s, int id) { s.UseFFT = id == 1; }, true);
  radio(
      spc_type_group_,
      [](TSpectrumSettings& s, int id) { s.SpectrumType = static_cast<TSpectrumType>(id); }, false);
  radio(
      est_type_group_,
      [this](TSpectrumSettings& s, int id) {
        s.EstimationType = static_cast<TEstimationType>(id);
        // The one spin box now shows the other field.
        const sp::TNoiseSpin spin = sp::NoiseSpin(s);
        reloading_ = true;
        noise_label_->setText(Q(spin.Label));
        noise_label_->setToolTip(Q(spin.Hint));
        noise_spin_->setToolTip(Q(spin.Hint));
        noise_spin_->setValue(spin.Value);
        reloading_ = false;
      },
      false);
  radio(
      fill_group_, [](TSpectrumSettings& s, int id) { s.FillByZero = id == 1; }, true);

  auto dspin = [this](QDoubleSpinBox* spin, double TSpectrumSettings::*field, bool refresh) {
    connect(spin, &QDoubleSpinBox::valueChanged, this, [this, field, refresh](double v) {
      if (reloading_) return;
      ShownSettings().*field = v;
      Edited(refresh);
    });
  };
  auto ispin = [this](QSpinBox* spin, int32_t TSpectrumSettings::*field) {
    connect(spin, &QSpinBox::valueChanged, this, [this, field](int v) {
      if (reloading_) return;
      ShownSettings().*field = v;
      Edited(false);
    });
  };
  dspin(silence_spin_, &TSpectrumSettings::SilenceDur, true);
  dspin(b_spin_, &TSpectrumSettings::B, true);
  // A corner that would put its filter's pair out of order is refused and the box shows the
  // value kept: such a filter filters nothing.
  auto corner_spin = [this](QDoubleSpinBox* spin, double TSpectrumSettings::*field, int pair) {
    connect(spin, &QDoubleSpinBox::valueChanged, this, [this, spin, field, pair](double v) {
      if (reloading_) return;
      TSpectrumSettings edited = ShownSettings();
      edited.*field = v;
      if (const TStatus why = FilterPairProblem(edited, ShownSet(), pair); !why.Ok()) {
        reloading_ = true;
        spin->setValue(ShownSettings().*field);
        reloading_ = false;
        form_.Host().ShowMessage(why);
        return;
      }
      ShownSettings().*field = v;
      Edited(false);
    });
  };
  corner_spin(edge_fmin_spin_, &TSpectrumSettings::FMin, kEdgeFilterPair);
  corner_spin(edge_fmax_spin_, &TSpectrumSettings::FMax, kEdgeFilterPair);
  corner_spin(noise_fmin_spin_, &TSpectrumSettings::NoiseFMin, kNoiseFilterPair);
  corner_spin(noise_fmax_spin_, &TSpectrumSettings::NoiseFMax, kNoiseFilterPair);
  ispin(edge_order_spin_, &TSpectrumSettings::EdgeOrder);
  ispin(noise_order_spin_, &TSpectrumSettings::NoiseOrder);
  connect(noise_spin_, &QSpinBox::valueChanged, this, [this](int v) {
    if (reloading_) return;
    sp::SetNoiseSpinValue(ShownSettings(), v);
    Edited(false);
  });
  auto check = [this](QCheckBox* box, bool TSpectrumSettings::*field) {
    connect(box, &QCheckBox::clicked, this, [this, field](bool on) {
      ShownSettings().*field = on;
      Edited(false);
    });
  };
  check(edge_check_, &TSpectrumSettings::EdgeEffect);
  check(noise_check_, &TSpectrumSettings::NoiseFilter);
  connect(window_combo_, &QComboBox::activated, this, [this](int i) {
    ShownSettings().WindowType = i;
    Edited(true);
  });
  connect(unit_out_combo_, &QComboBox::activated, this, [this](int i) {
    ShownSettings().UnitOut = i;
    Edited(false);
  });
  connect(unit_combo_, &QComboBox::activated, this, [this](int i) {
    ShownSettings().UnitCoef = sp::UnitCoefOfItem(i);
    Edited(false);
  });
  connect(options_combo_, &QComboBox::activated, this, [this] { Reload(); });
  connect(defaults_button_, &QPushButton::clicked, this, [this] {
    RestoreDefaults(ShownSettings(), ShownSet());
    form_.MarkModified();
    Reload();
  });
}

int TSettingsPage::ShownSet() const {
  return std::clamp(options_combo_->currentIndex(), 0, kSettingsSetCount - 1);
}

TSpectrumSettings& TSettingsPage::ShownSettings() {
  return shell_.Project().Settings[static_cast<size_t>(ShownSet())];
}

void TSettingsPage::Edited(bool refresh) {
  form_.MarkModified();
  if (refresh) Refresh();
}

void TSettingsPage::Reload() {
  const TSpectrumSettings& s = ShownSettings();
  reloading_ = true;
  SetButton(fourier_group_, s.UseFFT ? 1 : 0);
  SetButton(spc_type_group_, static_cast<int>(s.SpectrumType));
  SetButton(est_type_group_, static_cast<int>(s.EstimationType));
  SetButton(fill_group_, s.FillByZero ? 1 : 0);
  silence_spin_->setValue(s.SilenceDur);
  const sp::TNoiseSpin spin = sp::NoiseSpin(s);
  noise_label_->setText(Q(spin.Label));
  noise_label_->setToolTip(Q(spin.Hint));
  noise_spin_->setToolTip(Q(spin.Hint));
  noise_spin_->setValue(spin.Value);
  window_combo_->setCurrentIndex(std::clamp(s.WindowType, 0, kWindowTypeCount - 1));
  b_spin_->setValue(s.B);
  edge_check_->setChecked(s.EdgeEffect);
  edge_fmin_spin_->setValue(s.FMin);
  edge_fmax_spin_->setValue(s.FMax);
  edge_order_spin_->setValue(s.EdgeOrder);
  noise_check_->setChecked(s.NoiseFilter);
  noise_fmin_spin_->setValue(s.NoiseFMin);
  noise_fmax_spin_->setValue(s.NoiseFMax);
  noise_order_spin_->setValue(s.NoiseOrder);
  unit_out_combo_->setCurrentIndex(std::clamp(s.UnitOut, 0, 2));
  // The unit box is not reloaded: it keeps the item last chosen.
  reloading_ = false;
  Refresh();
}

void TSettingsPage::Refresh() {
  const sp::TPageRefresh page = sp::RefreshPage(ShownSettings(), shell_.Project().WorkingRate);
  silence_length_label_->setText(page.GeometryError.empty() ? Q(page.SilenceLengthText)
                                                            : QString("—"));
  if (!page.GeometryError.empty())
    silence_length_label_->setToolTip(Q(page.GeometryError));
  else
    silence_length_label_->setToolTip(Q(sp::kSilenceLengthHint));
  b_spin_->setEnabled(page.BEnabled);
  b_spin_->setToolTip(Q(page.BHint));
  formula_label_->setText(Lines(page.FormulaLabel));
  QVector<double> x, y;
  x.reserve(static_cast<qsizetype>(page.WindowChart.size()));
  y.reserve(static_cast<qsizetype>(page.WindowChart.size()));
  for (const sp::TChartPoint& p : page.WindowChart) {
    x.push_back(p.X);
    y.push_back(p.Y);
  }
  window_chart_->graph(0)->setData(x, y, true);
  if (!x.isEmpty()) window_chart_->xAxis->setRange(x.front(), x.back());
  window_chart_->yAxis->setRange(sp::kChartMin, sp::kChartMax);
  window_chart_->replot(QCustomPlot::rpQueuedReplot);
}

// ---------------------------------------------------------------------------------------------
// General settings.

TGeneralPage::TGeneralPage(TMainForm& window, QWidget* parent)
    : QWidget(parent), form_(window), shell_(window.Shell()) {
  setObjectName("GeneralPage");
  auto* outer = new QVBoxLayout(this);
  auto* fields = new QFormLayout;
  outer->addLayout(fields);

  auto* dir_row = new QHBoxLayout;
  directory_edit_ = new QLineEdit(this);
  directory_edit_->setObjectName("DirectoryEdit");
  directory_button_ = new QPushButton("...", this);
  directory_button_->setObjectName("DirectoryButton");
  directory_button_->setMaximumWidth(40);
  dir_row->addWidget(directory_edit_, 1);
  dir_row->addWidget(directory_button_);
  fields->addRow("Папка результатов", dir_row);

  format_combo_ = new QComboBox(this);
  format_combo_->setObjectName("FormatComBox");
  for (const std::string& item : DataFormatItems()) format_combo_->addItem(Q(item));
  fields->addRow("Формат данных", format_combo_);

  auto_component_check_ = new QCheckBox("Автоматическое распознавание компонент", this);
  auto_component_check_->setObjectName("AutoComponentCheckBox");
  fields->addRow(auto_component_check_);

  max_span_spin_ = new QSpinBox(this);
  max_span_spin_->setObjectName("MaxSpanSpinEdit");
  max_span_spin_->setRange(0, kMaxSpanLimit);
  max_span_spin_->setKeyboardTracking(false);
  fields->addRow("Макс. разрыв между записями, с", max_span_spin_);

  sr_default_spin_ = new QDoubleSpinBox(this);
  sr_default_spin_->setObjectName("SRDefSpinEdit");
  sr_default_spin_->setDecimals(3);
  sr_default_spin_->setRange(kMinSampRateDefault, kMaxSampRateDefault);
  sr_default_spin_->setKeyboardTracking(false);
  fields->addRow("Частота оцифровки по умолчанию, Гц", sr_default_spin_);
  for (QWidget* w :
       std::initializer_list<QWidget*>{format_combo_, max_span_spin_, sr_default_spin_})
    w->setMaximumWidth(180);
  BuildHvsrGroup(outer);
  outer->addStretch(1);

  connect(directory_edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    shell_.SetResultDir(text.toStdString());
    form_.ScheduleIdleUpdate();
  });
  connect(directory_button_, &QPushButton::clicked, this, &TGeneralPage::ChooseResultDir);
  connect(format_combo_, &QComboBox::activated, this, [this](int i) {
    shell_.SetDataFormat(i);
    form_.ScheduleIdleUpdate();
  });
  connect(auto_component_check_, &QCheckBox::clicked, this, [this](bool on) {
    shell_.SetRecognizeComponent(on);
    form_.ScheduleIdleUpdate();
  });
  connect(max_span_spin_, &QSpinBox::valueChanged, this, [this](int v) {
    if (reloading_) return;
    shell_.SetMaxSpan(v);
    form_.ScheduleIdleUpdate();
  });
  connect(sr_default_spin_, &QDoubleSpinBox::valueChanged, this, [this](double v) {
    if (reloading_) return;
    shell_.SetSampRateDefault(v);
    form_.SettingsPage().Refresh();
    form_.ScheduleIdleUpdate();
  });
}

void TGeneralPage::Reload() {
  const TGeneralSettings& g = shell_.Project().General;
  reloading_ = true;
  directory_edit_->setText(QString::fromStdString(g.ResultDir));
  format_combo_->setCurrentIndex(std::clamp(g.DataFormat, 0, kDataFormatCount - 1));
  auto_component_check_->setChecked(g.RecognizeComponent);
  max_span_spin_->setValue(g.MaxSpan);
  sr_default_spin_->setValue(g.SampRateDefault);
  reloading_ = false;
  ReloadHvsr();
}

void TGeneralPage::BuildHvsrGroup(QVBoxLayout* outer) {
  auto* box = new QGroupBox("Статистика H/V по окнам", this);
  box->setObjectName("HvsrGroupBox");
  auto* fields = new QFormLayout(box);
  const struct {
    std::string_view Key;
    const char* Caption;
    const char* Name;
    int Decimals;
    std::vector<const char*> Items;  // a list of choices; a number otherwise
  } rows[] = {
      {"Smoothing", "Сглаживание", "HvsrSmoothingComBox", 0, {"Конно–Омачи", "нет"}},
      {"Bandwidth", "Параметр сглаживания b", "HvsrBandwidthSpinEdit", 1, {}},
      {"GridFMin", "Сетка частот: от, Гц", "HvsrGridFMinSpinEdit", 3, {}},
      {"GridFMax", "до, Гц", "HvsrGridFMaxSpinEdit", 2, {}},
      {"GridPoints", "точек (логарифмический шаг)", "HvsrGridPointsSpinEdit", 0, {}},
      {"Horizontal",
       "Горизонтальная компонента",
       "HvsrHorizontalComBox",
       0,
       {"(E + N)/2", "√(E·N)", "√((E² + N²)/2)"}},
      {"Rejection", "Отбраковка окон", "HvsrRejectionComBox", 0, {"по частотам пиков окон", "нет"}},
      {"RejectionN", "Порог отбраковки, σ", "HvsrRejectionNSpinEdit", 2, {}},
      {"BandFMin", "Поиск пика: от, Гц (0 — начало сетки)", "HvsrBandFMinSpinEdit", 3, {}},
      {"BandFMax", "до, Гц (0 — конец сетки)", "HvsrBandFMaxSpinEdit", 2, {}},
  };
  for (const auto& row : rows) {
    const TSettingKey* key = FindSettingKey(row.Key, 0);
    if (key == nullptr || !key->Hvsr) continue;
    THvsrControl control;
    control.Key = key->Key;
    if (!row.Items.empty()) {
      control.Combo = new QComboBox(box);
      control.Combo->setObjectName(row.Name);
      control.Combo->setMaximumWidth(180);
      for (const char* item : row.Items) control.Combo->addItem(QString::fromUtf8(item));
      fields->addRow(QString::fromUtf8(row.Caption), control.Combo);
      const std::string_view k = control.Key;
      connect(control.Combo, &QComboBox::activated, this, [this, k](int i) { WriteHvsr(k, i); });
    } else {
      control.Spin = new QDoubleSpinBox(box);
      control.Spin->setObjectName(row.Name);
      control.Spin->setDecimals(row.Decimals);
      control.Spin->setRange(key->Min, key->Max);
      control.Spin->setKeyboardTracking(false);
      control.Spin->setMaximumWidth(180);
      control.Spin->setToolTip(Q(SettingRangeText(*key)));
      fields->addRow(QString::fromUtf8(row.Caption), control.Spin);
      const std::string_view k = control.Key;
      connect(control.Spin, &QDoubleSpinBox::valueChanged, this, [this, k](double v) {
        if (!reloading_) WriteHvsr(k, v);
      });
    }
    hvsr_controls_.push_back(control);
  }
  outer->addWidget(box);
}

void TGeneralPage::WriteHvsr(std::string_view key, double value) {
  TProject& project = shell_.Project();
  const THvsrSettings kept = project.Hvsr;
  TStatus error;
  const std::string text = QString::number(value, 'g', 12).toStdString();
  if (!ApplySetting(project, 0, key, text, &error)) {
    form_.Host().ShowMessage(error);
  } else if (const TStatus why = HvsrSettingsProblem(project); !why.Ok()) {
    project.Hvsr = kept;
    form_.Host().ShowMessage(why);
  } else {
    form_.MarkModified();
    form_.ScheduleIdleUpdate();
    if (key == "Smoothing") ReloadHvsr();
    return;
  }
  ReloadHvsr();
}

void TGeneralPage::ReloadHvsr() {
  const TProject& project = shell_.Project();
  const bool was = reloading_;
  reloading_ = true;
  for (const THvsrControl& c : hvsr_controls_) {
    const TSettingKey* key = FindSettingKey(c.Key, 0);
    if (key == nullptr) continue;
    const double v = QString::fromStdString(SettingValueText(project, 0, *key)).toDouble();
    if (c.Combo != nullptr) c.Combo->setCurrentIndex(static_cast<int>(v));
    if (c.Spin != nullptr) c.Spin->setValue(v);
    // The bandwidth belongs to the smoothing.
    if (c.Key == "Bandwidth" && c.Spin != nullptr)
      c.Spin->setEnabled(project.Hvsr.Smoothing == THvsrSmoothing::kKonnoOhmachi);
  }
  reloading_ = was;
}

void TGeneralPage::ChooseResultDir() {
  const QString current = directory_edit_->text();
  const auto choice = AskFile(this, TFileAsk("Папка результатов")
                                        .Choose(QFileDialog::Directory)
                                        .In(QDir(current).exists() ? current : QDir::homePath()));
  if (!choice) return;
  directory_edit_->setText(choice->First());
  shell_.SetResultDir(choice->First().toStdString());
  form_.ScheduleIdleUpdate();
}

}  // namespace tarvik::gui
