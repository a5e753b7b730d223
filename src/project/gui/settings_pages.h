#pragma once

#include <QWidget>
#include <string_view>
#include <vector>

#include "project/app_shell.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

namespace tarvik::gui {

class TMainForm;

// The processing-settings page ("Настройки"): one of the project's settings sets at a time,
// every control writing its field of the set shown.
class TSettingsPage final : public QWidget {
  Q_OBJECT

 public:
  explicit TSettingsPage(TMainForm& form, QWidget* parent = nullptr);

  // The set shown (0 primary spectra, ...) and its settings.
  int ShownSet() const;
  TSpectrumSettings& ShownSettings();
  // Every control filled from the set shown.
  void Reload();
  // The values computed from the settings (lengths, formula, window chart) shown again.
  void Refresh();

 private:
  void Edited(bool refresh);

  TMainForm& form_;
  TAppShell& shell_;
  bool reloading_ = false;

  QComboBox* options_combo_ = nullptr;
  QButtonGroup* fourier_group_ = nullptr;
  QButtonGroup* spc_type_group_ = nullptr;
  QButtonGroup* est_type_group_ = nullptr;
  QButtonGroup* fill_group_ = nullptr;
  QDoubleSpinBox* silence_spin_ = nullptr;
  QLabel* silence_length_label_ = nullptr;
  QSpinBox* noise_spin_ = nullptr;
  QLabel* noise_label_ = nullptr;
  QComboBox* window_combo_ = nullptr;
  QDoubleSpinBox* b_spin_ = nullptr;
  QLabel* formula_label_ = nullptr;
  QCustomPlot* window_chart_ = nullptr;
  QCheckBox* edge_check_ = nullptr;
  QDoubleSpinBox* edge_fmin_spin_ = nullptr;
  QDoubleSpinBox* edge_fmax_spin_ = nullptr;
  QSpinBox* edge_order_spin_ = nullptr;
  QCheckBox* noise_check_ = nullptr;
  QDoubleSpinBox* noise_fmin_spin_ = nullptr;
  QDoubleSpinBox* noise_fmax_spin_ = nullptr;
  QSpinBox* noise_order_spin_ = nullptr;
  QComboBox* unit_combo_ = nullptr;
  QComboBox* unit_out_combo_ = nullptr;
  QPushButton* defaults_button_ = nullptr;
};

// The general settings page ("Общие настройки"): the project's results folder, data format,
// component recognition, the gap between records combined and the default sampling rate.
class TGeneralPage final : public QWidget {
  Q_OBJECT

 public:
  explicit TGeneralPage(TMainForm& form, QWidget* parent = nullptr);

  void Reload();

 private:
  void ChooseResultDir();
  // The H/V statistics group: one control per key of the project's [HVSR] settings.
  void BuildHvsrGroup(QVBoxLayout* outer);
  // Writes the key as the command line's `settings` would; a value refused there, or one that
  // puts a pair of ends out of order, is not kept and the control shows the value kept.
  void WriteHvsr(std::string_view key, double value);
  void ReloadHvsr();

  TMainForm& form_;
  TAppShell& shell_;
  bool reloading_ = false;

  QLineEdit* directory_edit_ = nullptr;
  QPushButton* directory_button_ = nullptr;
  QComboBox* format_combo_ = nullptr;
  QCheckBox* auto_component_check_ = nullptr;
  QSpinBox* max_span_spin_ = nullptr;
  QDoubleSpinBox* sr_default_spin_ = nullptr;
  struct THvsrControl {
    std::string_view Key;
    QComboBox* Combo = nullptr;
    QDoubleSpinBox* Spin = nullptr;
  };
  std::vector<THvsrControl> hvsr_controls_;
};

}  // namespace tarvik::gui
