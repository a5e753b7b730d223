#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "spectral/spectrum_settings.h"

// What the processing-settings page shows, as plain data: its widgets only display these
// items, texts and points and write the chosen values back through the helpers below.
namespace tarvik::settings_page {

// The set chooser: one entry per settings set.
inline constexpr std::array<std::string_view, kSettingsSetCount> kSetItems = {
    "Для записей микросейсм",
    "Для записей импульсных событий (землетрясения, взрывы)",
};

// Window list, indexed by WindowType.
inline constexpr std::array<std::string_view, kWindowTypeCount> kWindowItems = {
    "Прямоугольник",  "Бартлета",        "Ханна, Хеннинга", "Хемминга",
    "Лапласа-Гаусса", "Кайзера-Бесселя", "Уэлша",           "Колокольная",
};

// Formula of each window type as shown under "Формула:" (lines separated by CR LF).
inline constexpr std::array<std::string_view, kWindowTypeCount> kWindowFormulas = {
    "w[i]=1\r\ni=[-N,N]",
    "w[i]=1-|i|/N\r\ni=[-N,N]",
    "w[i]=0.5*(1+cos(pi*i/N))\r\ni=[-N,N]",
    "w[i]=0.54+0.46*cos(pi*i/N)\r\ni=[-N,N]",
    "w[i]=exp(-0.5*(b*i/N)^2)\r\ni=[-N,N]",
    "w[i]=Bessel(b*(1-(i/N)^2)^0.5)/Bessel(b)\r\ni=[-N,N]",
    "w[i]=1-(i/N)^2\r\ni=[-N,N]",
    "w[i]=0.5*(1+cos(pi*(i+N-L)/L)),  i=[-N,-N+L]\r\n"
    "w[i]=0.5*(1+cos(pi*(i-N+L)/L)),  i=[N-L,N]\r\n"
    "w[i]=1,  i=[-N+L,N-L], b=100*(N-2*L)/N",
};

// Output unit list: the text and the UnitCoef its selection writes. Item 0 is the default.
struct TUnitItem {
  std::string_view Text;
  double Coef;
};
inline constexpr std::array<TUnitItem, 5> kUnitItems = {{
    {"Исходные СИ", 1.0},
    {"Санти-  (1E-2)", 0.01},
    {"Милли- (1E-3)", 0.001},
    {"Микро- (1E-6)", 1e-6},
    {"Нано-   (1E-9)", 1e-9},
}};

// Radio groups and the output-quantity list; item index = stored value (true = item 1).
inline constexpr std::array<std::string_view, 2> kFourierItems = {"Обычное", "Быстрое"};
inline constexpr std::array<std::string_view, 2> kSpectrumTypeItems = {"Амплитудный", "Мощности"};
inline constexpr std::array<std::string_view, 2> kEstimationItems = {"Даниэля", "Бартлетта"};
inline constexpr std::array<std::string_view, 2> kFillByZeroItems = {"Данными", "Нулями"};
inline constexpr std::array<std::string_view, 3> kUnitOutItems = {"Смещение", "Скорость",
                                                                  "Ускорение"};

// Range, step, displayed decimals and caption of a numeric or captioned control.
struct TControl {
  std::string_view Name;
  double Min = 0.0;
  double Max = 0.0;
  double Step = 0.0;
  int Decimals = 0;
  std::string_view Caption;
  std::string_view Hint;
};

inline constexpr TControl kFourierRadio{"FourierRadioGroup",    0, 0, 0, 0,
                                        "Преобразование Фурье", ""};
inline constexpr TControl kSpectrumTypeRadio{"SpcTypeRadioGroup", 0, 0, 0, 0, "Тип спектра", ""};
inline constexpr TControl kEstimationRadio{"EstTypeRadioGroup",       0, 0, 0, 0,
                                           "Вид спектральной оценки", ""};
inline constexpr TControl kSilenceDurSpin{
    "SilenceDurSpinEdit",
    1,
    10000,
    0.01,
    2,
    "Тишины, с",
    "Длительность сегмента данных для расчета одного спектра"};
inline constexpr TControl kNoiseDurSpin{"NoiseDurSpinEdit", 1, 100, 1, 0, "", ""};
inline constexpr TControl kFillByZeroRadio{"FillByZeroRadioGroup",    0, 0, 0, 0,
                                           "Заполнение до длины 2^n", ""};
inline constexpr TControl kWindowCombo{"WinTypeComBox", 0, 0, 0, 0, "Вид функции", ""};
inline constexpr TControl kBSpin{
    "BSpinEdit", 0, 100, 0.1, 1, "b =", "Параметр, используемый при расчете весовой функции"};
inline constexpr TControl kEdgeCheck{"EdgeCheckBox", 0, 0, 0, 0, "Гасить за пределами", ""};
inline constexpr TControl kEdgeFMinSpin{"EdgeFMinSpinEdit", 0, 100, 0.01, 2, "Fmin, Гц", ""};
inline constexpr TControl kEdgeFMaxSpin{"EdgeFMaxSpinEdit", 0, 1000000, 0.1, 1, "Fmax, Гц", ""};
inline constexpr TControl kEdgeOrderSpin{"EdgeOrderSpinEdit", 1, 12, 1, 0, "Порядок", ""};
inline constexpr TControl kNoiseCheck{"NoiseCheckBox", 0, 0, 0, 0, "Полосовая фильтрация", ""};
inline constexpr TControl kNoiseFMinSpin{"NoiseFMinSpinEdit", 0, 100, 0.01, 2, "Fmin, Гц", ""};
inline constexpr TControl kNoiseFMaxSpin{"NoiseFMaxSpinEdit", 0, 1000000, 0.1, 1, "Fmax, Гц", ""};
inline constexpr TControl kNoiseOrderSpin{"NoiseOrderSpinEdit", 1, 12, 1, 0, "Порядок", ""};
inline constexpr TControl kUnitOutCombo{"UnitOutComBox", 0, 0, 0, 0, "Единицы на выходе", ""};

inline constexpr std::string_view kSilenceLengthHint =
    "Действительная длина окна (расчитано для первой записи)";
inline constexpr std::string_view kFormulaCaption = "Формула:\r\n";
// Fixed range of the window chart's value axis.
inline constexpr double kChartMin = -0.1;
inline constexpr double kChartMax = 1.1;

// Item text of a window type; unknown types show as the rectangle they are computed as.
std::string_view WindowItem(int32_t type);
// Formula label of a window type: "Формула:\r\n" and its formula.
std::string FormulaLabel(int32_t type);
// Whether b takes part in the window, which is when its spin box is enabled.
bool WindowUsesB(int32_t type);
// Hint of the b spin box, which for the tapered-cosine window also says what b means there.
std::string BHint(int32_t type);
// UnitCoef of a unit-list item; items outside the list give 1 (SI).
double UnitCoefOfItem(int item);

// The spin box shared by NoiseDur (Bartlett estimate) and DanielWin (Daniell estimate).
struct TNoiseSpin {
  std::string_view Label;
  std::string_view Hint;
  int Value = 0;  // NoiseDur rounded, or DanielWin
};
TNoiseSpin NoiseSpin(const TSpectrumSettings& settings);
// Writes an edited spin value to the field that the set's estimation type shows.
void SetNoiseSpinValue(TSpectrumSettings& settings, int value);

struct TChartPoint {
  double X = 0.0;
  double Y = 0.0;
};

// Everything the page refresh changes after an edit of UseFFT, FillByZero, SilenceDur,
// WindowType or B.
struct TPageRefresh {
  std::string GeometryError;      // empty when the geometry could be derived
  std::string SilenceLengthText;  // real segment length in seconds, "%1.3f"; empty on error
  bool BEnabled = false;
  std::string BHint;
  std::string FormulaLabel;
  std::vector<TChartPoint> WindowChart;  // empty on error
};

// Derives the edited set's geometry at the working sampling rate fs and builds what the page
// shows from it.
TPageRefresh RefreshPage(TSpectrumSettings& edited, double fs);

}  // namespace tarvik::settings_page
