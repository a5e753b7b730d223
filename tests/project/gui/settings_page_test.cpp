// The processing-settings page and the general settings page driven through their widgets.

#include <qcustomplot.h>
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "gui_test_support.h"
#include "project/settings_page.h"

namespace tarvik::gui::testing {

namespace {

namespace sp = settings_page;

template <typename Spin>
void Type(Spin* spin, const QString& text) {
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, text);
  QTest::keyClick(spin, Qt::Key_Return);
}

void Choose(QComboBox* combo, int index) {
  combo->setFocus();
  while (combo->currentIndex() < index) QTest::keyClick(combo, Qt::Key_Down);
  while (combo->currentIndex() > index) QTest::keyClick(combo, Qt::Key_Up);
}

void ClickMark(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// One control of the page: how the person changes it and the field that must follow.
struct ControlCase {
  const char* Name;
  std::function<void(QWidget&)> Edit;
  std::function<bool(const TSpectrumSettings&)> Written;
};

}  // namespace

class SettingsPageTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QuietOffscreenNotes();
    UseSettingsFolder(settings_dir_.path());
  }

  void init() {
    form_ = std::make_unique<TMainForm>();
    form_->show();
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    Find<QTabWidget>(*form_, "PageControl")->setCurrentIndex(2);
    QApplication::processEvents();
  }
  void cleanup() { form_.reset(); }

  void EveryControlWritesItsFieldOfTheSetShown_data() {
    QTest::addColumn<int>("set");
    QTest::newRow("microseisms") << 0;
    QTest::newRow("events") << 1;
  }
  void EveryControlWritesItsFieldOfTheSetShown() {
    QFETCH(int, set);
    Choose(Find<QComboBox>(*form_, "OptionsComBox"), set);
    const std::vector<ControlCase> cases = {
        {"FourierRadioGroup0",
         [](QWidget& w) { ClickMark(Find<QAbstractButton>(w, "FourierRadioGroup0")); },
         [](const TSpectrumSettings& s) { return !s.UseFFT; }},
        {"SpcTypeRadioGroup1",
         [](QWidget& w) { ClickMark(Find<QAbstractButton>(w, "SpcTypeRadioGroup1")); },
         [](const TSpectrumSettings& s) { return s.SpectrumType == TSpectrumType::kPower; }},
        {"EstTypeRadioGroup1",
         [](QWidget& w) { ClickMark(Find<QAbstractButton>(w, "EstTypeRadioGroup1")); },
         [](const TSpectrumSettings& s) { return s.EstimationType == TEstimationType::kBartlett; }},
        {"NoiseDurSpinEdit (Bartlett)",
         [](QWidget& w) { Type(Find<QSpinBox>(w, "NoiseDurSpinEdit"), "17"); },
         [](const TSpectrumSettings& s) { return s.NoiseDur == 17.0 && s.DanielWin == 5; }},
        {"EstTypeRadioGroup0",
         [](QWidget& w) { ClickMark(Find<QAbstractButton>(w, "EstTypeRadioGroup0")); },
         [](const TSpectrumSettings& s) { return s.EstimationType == TEstimationType::kDaniell; }},
        {"NoiseDurSpinEdit (Daniell)",
         [](QWidget& w) { Type(Find<QSpinBox>(w, "NoiseDurSpinEdit"), "9"); },
         [](const TSpectrumSettings& s) { return s.DanielWin == 9 && s.NoiseDur == 17.0; }},
        {"FillByZeroRadioGroup1",
         [](QWidget& w) { ClickMark(Find<QAbstractButton>(w, "FillByZeroRadioGroup1")); },
         [](const TSpectrumSettings& s) { return s.FillByZero; }},
        {"SilenceDurSpinEdit",
         [](QWidget& w) { Type(Find<QDoubleSpinBox>(w, "SilenceDurSpinEdit"), "30.25"); },
         [](const TSpectrumSettings& s) { return s.SilenceDur == 30.25; }},
        {"WinTypeComBox", [](QWidget& w) { Choose(Find<QComboBox>(w, "WinTypeComBox"), 5); },
         [](const TSpectrumSettings& s) { return s.WindowType == 5; }},
        {"BSpinEdit", [](QWidget& w) { Type(Find<QDoubleSpinBox>(w, "BSpinEdit"), "7.5"); },
         [](const TSpectrumSettings& s) { return s.B == 7.5; }},
        {"EdgeCheckBox", [](QWidget& w) { ClickMark(Find<QAbstractButton>(w, "EdgeCheckBox")); },
         [](const TSpectrumSettings& s) { return s.EdgeEffect; }},
        {"EdgeFMinSpinEdit",
         [](QWidget& w) { Type(Find<QDoubleSpinBox>(w, "EdgeFMinSpinEdit"), "0.25"); },
         [](const TSpectrumSettings& s) { return s.FMin == 0.25; }},
        {"EdgeFMaxSpinEdit",
         [](QWidget& w) { Type(Find<QDoubleSpinBox>(w, "EdgeFMaxSpinEdit"), "40.5"); },
         [](const TSpectrumSettings& s) { return s.FMax == 40.5; }},
        {"EdgeOrderSpinEdit", [](QWidget& w) { Type(Find<QSpinBox>(w, "EdgeOrderSpinEdit"), "4"); },
         [](const TSpectrumSettings& s) { return s.EdgeOrder == 4; }},
        {"NoiseCheckBox", [](QWidget& w) { ClickMark(Find<QAbstractButton>(w, "NoiseCheckBox")); },
         [](const TSpectrumSettings& s) { return s.NoiseFilter; }},
        {"NoiseFMinSpinEdit",
         [](QWidget& w) { Type(Find<QDoubleSpinBox>(w, "NoiseFMinSpinEdit"), "1.5"); },
         [](const TSpectrumSettings& s) { return s.NoiseFMin == 1.5; }},
        {"NoiseFMaxSpinEdit",
         [](QWidget& w) { Type(Find<QDoubleSpinBox>(w, "NoiseFMaxSpinEdit"), "12"); },
         [](const TSpectrumSettings& s) { return s.NoiseFMax == 12.0; }},
        {"NoiseOrderSpinEdit",
         [](QWidget& w) { Type(Find<QSpinBox>(w, "NoiseOrderSpinEdit"), "8"); },
         [](const TSpectrumSettings& s) { return s.NoiseOrder == 8; }},
        {"UnitOutComBox", [](QWidget& w) { Choose(Find<QComboBox>(w, "UnitOutComBox"), 2); },
         [](const TSpectrumSettings& s) { return s.UnitOut == 2; }},
        {"UnitComBox", [](QWidget& w) { Choose(Find<QComboBox>(w, "UnitComBox"), 3); },
         [](const TSpectrumSettings& s) { return s.UnitCoef == 1e-6; }},
    };
    TProject& project = form_->Shell().Project();
    const TSpectrumSettings other_before = project.Settings[1 - set];
    for (const ControlCase& c : cases) {
      project.Modified = false;
      c.Edit(*form_);
      QVERIFY2(c.Written(project.Settings[set]), c.Name);
      QVERIFY2(project.Modified, c.Name);
    }
    // Ranges: the arrows stop at the control's end, and a step is the control's step.
    auto* silence = Find<QDoubleSpinBox>(*form_, "SilenceDurSpinEdit");
    Type(silence, "10000");
    QTest::keyClick(silence, Qt::Key_Up);
    QCOMPARE(project.Settings[set].SilenceDur, sp::kSilenceDurSpin.Max);
    QTest::keyClick(silence, Qt::Key_Down);
    QCOMPARE(project.Settings[set].SilenceDur, sp::kSilenceDurSpin.Max - sp::kSilenceDurSpin.Step);
    Type(Find<QSpinBox>(*form_, "EdgeOrderSpinEdit"), "13");
    QVERIFY(project.Settings[set].EdgeOrder <= 12);
    const TSpectrumSettings& other = project.Settings[1 - set];
    QCOMPARE(other.SilenceDur, other_before.SilenceDur);
    QCOMPARE(other.WindowType, other_before.WindowType);
    QCOMPARE(other.EdgeEffect, other_before.EdgeEffect);
    QCOMPARE(other.NoiseOrder, other_before.NoiseOrder);
  }

  void SwitchingSetsReloadsAndDefaultsRestore() {
    auto* options = Find<QComboBox>(*form_, "OptionsComBox");
    auto* silence = Find<QDoubleSpinBox>(*form_, "SilenceDurSpinEdit");
    auto* units = Find<QComboBox>(*form_, "UnitComBox");
    TProject& project = form_->Shell().Project();
    QCOMPARE(options->itemText(1),
             QString("Для записей импульсных событий (землетрясения, взрывы)"));
    Choose(options, 1);
    Type(silence, "33");
    Choose(units, 2);
    ClickMark(Find<QAbstractButton>(*form_, "EdgeCheckBox"));
    Choose(options, 0);
    QCOMPARE(silence->value(), 20.0);
    QVERIFY(!Find<QCheckBox>(*form_, "EdgeCheckBox")->isChecked());
    // The estimate radio of set 0 is Bartlett, of set 1 Daniell: the spin box follows.
    QCOMPARE(Find<QLabel>(*form_, "NoiseDurLabel")->text(), QString("Помех, с"));
    QCOMPARE(units->currentIndex(), 2);  // not reloaded
    Choose(options, 1);
    QCOMPARE(silence->value(), 33.0);
    QCOMPARE(Find<QLabel>(*form_, "NoiseDurLabel")->text(),
             QString("Объединять                      значений"));

    project.Modified = false;
    QTest::mouseClick(Find<QPushButton>(*form_, "DefaultsButton"), Qt::LeftButton);
    QVERIFY(project.Modified);
    QCOMPARE(silence->value(), 20.0);
    const TSpectrumSettings& restored = project.Settings[1];
    const TSpectrumSettings& def = DefaultSpectrumSettings(1);
    QCOMPARE(restored.SilenceDur, def.SilenceDur);
    QCOMPARE(restored.EdgeEffect, def.EdgeEffect);
    QCOMPARE(restored.EstimationType, def.EstimationType);
    QCOMPARE(restored.UnitCoef, def.UnitCoef);
    QVERIFY(!Find<QCheckBox>(*form_, "EdgeCheckBox")->isChecked());
  }

  void SegmentLengthAtTheWorkingRate() {
    Find<QTabWidget>(*form_, "PageControl")->setCurrentIndex(3);
    Type(Find<QDoubleSpinBox>(*form_, "SRDefSpinEdit"), "100");
    QCOMPARE(form_->Shell().Project().WorkingRate, 100.0);
    Find<QTabWidget>(*form_, "PageControl")->setCurrentIndex(2);
    auto* length = Find<QLabel>(*form_, "SilenceDurLabel");
    QCOMPARE(length->text(), QString("20.480"));
    QCOMPARE(length->toolTip(), QString("Действительная длина окна (расчитано для первой записи)"));
    auto* chart = Find<QCustomPlot>(*form_, "WinChart");
    QCOMPARE(chart->graph(0)->dataCount(), 2048);
    QCOMPARE(chart->graph(0)->data()->begin()->key, -1024.0);
    ClickMark(Find<QAbstractButton>(*form_, "FillByZeroRadioGroup1"));
    QCOMPARE(length->text(), QString("20.000"));
    // The data meet the middle 2000 of 2048 points; the 24 in front carry no weight.
    QCOMPARE(chart->graph(0)->data()->at(23)->value, 0.0);
    QVERIFY(chart->graph(0)->data()->at(24)->value > 0.0);
    ClickMark(Find<QAbstractButton>(*form_, "FourierRadioGroup0"));
    QCOMPARE(length->text(), QString("20.000"));
    QCOMPARE(chart->graph(0)->dataCount(), 2000);
    QCOMPARE(chart->yAxis->range().lower, -0.1);
    QCOMPARE(chart->yAxis->range().upper, 1.1);
  }

  // A corner that would leave its filter with nothing to pass is refused with the reason, and
  // the box shows the value kept.
  void FilterCornersOutOfOrderAreRefused() {
    TSpectrumSettings& s = form_->Shell().Project().Settings[kMicroseismSet];
    auto* fmax = Find<QDoubleSpinBox>(*form_, "EdgeFMaxSpinEdit");
    DialogScript script;
    Type(Find<QDoubleSpinBox>(*form_, "EdgeFMinSpinEdit"), "50");
    QCOMPARE(s.FMin, 50.0);
    script.Ok();
    Type(fmax, "1");
    QTRY_VERIFY(script.Done());
    QCOMPARE(script.Texts, (std::vector<QString>{"Нижняя частота фильтра краевого эффекта "
                                                 "(FMin = 50 Гц) должна быть меньше верхней "
                                                 "(FMax = 1 Гц)"}));
    QCOMPARE(s.FMax, 100.0);
    QCOMPARE(fmax->value(), 100.0);

    auto* noise_min = Find<QDoubleSpinBox>(*form_, "NoiseFMinSpinEdit");
    Type(Find<QDoubleSpinBox>(*form_, "NoiseFMaxSpinEdit"), "10");
    script.Ok();
    Type(noise_min, "10");
    QTRY_VERIFY(script.Done());
    QVERIFY(script.Texts[1].contains("(NoiseFMin = 10 Гц) должна быть меньше верхней"));
    QCOMPARE(s.NoiseFMin, 0.1);
    QCOMPARE(noise_min->value(), 0.1);
    Type(noise_min, "9.5");
    QCOMPARE(s.NoiseFMin, 9.5);
    QVERIFY(script.Unexpected.empty());
  }

  void LabelAndHintFollowTheEstimate() {
    auto* label = Find<QLabel>(*form_, "NoiseDurLabel");
    auto* spin = Find<QSpinBox>(*form_, "NoiseDurSpinEdit");
    TSpectrumSettings& s = form_->Shell().Project().Settings[0];
    s.NoiseDur = 7.0;
    s.DanielWin = 3;
    form_->RebuildAll();
    QCOMPARE(label->text(), QString("Помех, с"));
    QCOMPARE(spin->toolTip(),
             QString("Минимальная длительность интервалов с помехами между сегментами тишины"));
    QCOMPARE(spin->value(), 7);
    ClickMark(Find<QAbstractButton>(*form_, "EstTypeRadioGroup0"));
    QCOMPARE(label->text(), QString("Объединять                      значений"));
    QCOMPARE(spin->toolTip(),
             QString("Количество точек суммирования для получения оценки Даниэля"));
    QCOMPARE(spin->value(), 3);
    QCOMPARE(s.NoiseDur, 7.0);
    QCOMPARE(s.DanielWin, 3);
  }

  void TheBFieldServesItsWindows() {
    auto* windows = Find<QComboBox>(*form_, "WinTypeComBox");
    auto* b = Find<QDoubleSpinBox>(*form_, "BSpinEdit");
    auto* formula = Find<QLabel>(*form_, "FormulaLabel");
    QCOMPARE(windows->count(), 8);
    for (int type = 0; type < 8; ++type) {
      Choose(windows, type);
      QCOMPARE(windows->currentText(), QString::fromUtf8(sp::kWindowItems[type].data()));
      QCOMPARE(b->isEnabled(), type == 4 || type == 5 || type == 7);
      const QString hint = "Параметр, используемый при расчете весовой функции";
      QCOMPARE(b->toolTip(), type == 7 ? hint + " (доля неизменяемых данных в %)" : hint);
      QVERIFY(formula->text().startsWith("Формула:\n"));
    }
    // The tapered cosine with b = 100 keeps every value at 1.
    Type(b, "100");
    const auto data = Find<QCustomPlot>(*form_, "WinChart")->graph(0)->data();
    for (auto it = data->begin(); it != data->end(); ++it) QCOMPARE(it->value, 1.0);
  }

  void GeneralPageWritesTheProject() {
    Find<QTabWidget>(*form_, "PageControl")->setCurrentIndex(3);
    TProject& project = form_->Shell().Project();
    auto reset = [&] { project.Modified = false; };
    reset();
    auto* dir = Find<QLineEdit>(*form_, "DirectoryEdit");
    dir->selectAll();
    QTest::keyClicks(dir, settings_dir_.path() + "/r");
    QCOMPARE(QString::fromStdString(project.General.ResultDir), settings_dir_.path() + "/r");
    QCOMPARE(QString::fromStdString(form_->Shell().Folders().SpectraPrimary),
             settings_dir_.path() + "/r/Spectra/Primary");
    QVERIFY(project.Modified);

    reset();
    DialogScript script;
    QDir(settings_dir_.path()).mkpath("chosen");
    script.File(settings_dir_.path() + "/chosen");
    QTest::mouseClick(Find<QPushButton>(*form_, "DirectoryButton"), Qt::LeftButton);
    QVERIFY(script.Done());
    QCOMPARE(dir->text(), settings_dir_.path() + "/chosen");
    QCOMPARE(QString::fromStdString(project.General.ResultDir), settings_dir_.path() + "/chosen");
    QVERIFY(project.Modified);

    reset();
    Choose(Find<QComboBox>(*form_, "FormatComBox"), 10);
    QCOMPARE(project.General.DataFormat, 10);
    reset();
    ClickMark(Find<QCheckBox>(*form_, "AutoComponentCheckBox"));
    QVERIFY(!project.General.RecognizeComponent && project.Modified);
    reset();
    Type(Find<QSpinBox>(*form_, "MaxSpanSpinEdit"), "1234");
    QCOMPARE(project.General.MaxSpan, 123);  // 1..999: the fourth digit does not fit
    QVERIFY(project.Modified);
    reset();
    Type(Find<QDoubleSpinBox>(*form_, "SRDefSpinEdit"), "250");
    QCOMPARE(project.General.SampRateDefault, 250.0);
    QCOMPARE(project.WorkingRate, 250.0);
    QVERIFY(project.Modified);
    QVERIFY(script.Unexpected.empty());
  }

 private:
  QTemporaryDir settings_dir_;
  std::unique_ptr<TMainForm> form_;
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::SettingsPageTest)
#include "settings_page_test.moc"
