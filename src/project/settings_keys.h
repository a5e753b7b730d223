#pragma once

// The settings a project keeps, by the keys of its project file, with the range and step of the
// control that edits each: the general settings (one per project) and the fields of a
// processing-settings set. The settings pages take their controls' ranges from here and the
// command line checks typed values against the same table.

#include <span>
#include <string>
#include <string_view>

#include "project/project.h"
#include "project/settings_page.h"

namespace tarvik {

// Controls of the general-settings page.
namespace general_page {
inline constexpr settings_page::TControl kDirectoryEdit{"DirectoryEdit", 0, 0, 0, 0, "", ""};
inline constexpr settings_page::TControl kFormatCombo{"FormatComBox", 0, 0, 0, 0, "", ""};
inline constexpr settings_page::TControl kAutoComponentCheck{
    "AutoComponentCheckBox", 0, 0, 0, 0, "Автоматическое распознавание компонент", ""};
inline constexpr settings_page::TControl kMaxSpanSpin{
    "MaxSpanSpinEdit", 0, kMaxSpanLimit, 1, 0, "Макс. разрыв между записями, с", ""};
inline constexpr settings_page::TControl kSampRateDefaultSpin{"SRDefSpinEdit",
                                                              kMinSampRateDefault,
                                                              kMaxSampRateDefault,
                                                              0.01,
                                                              2,
                                                              "Частота оцифровки по умолчанию, Гц",
                                                              ""};
}  // namespace general_page

enum class TSettingType {
  kBool,     // "1" or "0" (also true/false, on/off, yes/no)
  kInteger,  // a whole number in Min..Max
  kNumber,   // Min..Max, a whole number of Steps from Min (any value when Step is 0)
  kFolder,   // a path; a relative one is taken from the project folder
};

struct TSettingKey {
  // The key in the project file's [SETTINGS] section; in [EVENTSETTINGS] the four noise-filter
  // keys carry the suffix "1".
  std::string_view Key;
  // One value per project; otherwise a field of each processing-settings set.
  bool General = false;
  TSettingType Type = TSettingType::kInteger;
  double Min = 0.0;
  double Max = 0.0;
  double Step = 0.0;
  // The control that edits the value.
  std::string_view Control;
  // A key of the project's H/V statistics settings ([HVSR], one per project).
  bool Hvsr = false;
};

// Every key, the general ones first, in the order of the project file.
std::span<const TSettingKey> SettingKeys();

// The key's name in the section of set (0 microseism, 1 event).
std::string SettingKeyName(const TSettingKey& key, int set);

// The key of that name (letter case ignored) for set; the event set also accepts its
// noise-filter keys without the suffix. nullptr when there is none.
const TSettingKey* FindSettingKey(std::string_view name, int set);

// "1..10000, step 0.01", "0 or 1", "a folder".
std::string SettingRangeText(const TSettingKey& key);

// The value as the project file's text form writes it (a folder as a full path).
std::string SettingValueText(const TProject& project, int set, const TSettingKey& key);

// Sets the key of set (general keys ignore set) from text, as the control would; the project is
// modified. False, changing nothing, when the key does not exist or the text is not a value of
// its control; error then names the key, the value and the range.
bool ApplySetting(TProject& project, int set, std::string_view name, std::string_view text,
                  TStatus* error);

// "Восстановить по умолчанию": the default set over set; the project is modified.
void RestoreSettingDefaults(TProject& project, int set);

// The message that refuses H/V statistics settings that cannot be used together (a grid or a
// search band whose ends are not in order); empty when they can. Checked once every key of a
// change is in, since the ends may be given in either order.
TStatus HvsrSettingsProblem(const TProject& project);

// A band-pass filter's lower corner must lie below its upper one, or the filter is not applied
// at all. The message that refuses a set of set's keys whose edge-effect pair (FMin, FMax) or
// noise-filter pair (NoiseFMin, NoiseFMax) is not in order; empty when both are. pair limits
// the check to one of them.
inline constexpr int kBothFilterPairs = -1;
inline constexpr int kEdgeFilterPair = 0;
inline constexpr int kNoiseFilterPair = 1;
TStatus FilterPairProblem(const TSpectrumSettings& settings, int set, int pair = kBothFilterPairs);

// What a run must say about the filters a set switches on, for a record sampled at rate:
// Failure when a filter that is on would filter nothing (its corners out of order, also once an
// upper corner at or above the Nyquist frequency is taken as 0.99 of it); Note when an upper
// corner is so taken. Both empty when there is nothing to say.
struct TFilterCheck {
  TStatus Failure;
  TStatus Note;
};
TFilterCheck CheckFilters(const TSpectrumSettings& settings, double rate);

// The segment a set's spectra are computed with at rate fs, from the same geometry the
// calculation derives: Samples of data per segment (SilenceDur·fs rounded, brought to a power
// of two unless zero-filled or without the fast transform), Transform samples, their length in
// Seconds, and whether that length differs from SilenceDur. Error (and Samples 0) when no
// segment follows: kRateNotSet, or the reason of DeriveSegmentGeometry.
struct TWindowLength {
  int32_t Samples = 0;
  int32_t Transform = 0;
  double Seconds = 0.0;
  bool Rounded = false;
  TStatus Error;
};
TWindowLength WindowLengthUsed(const TSpectrumSettings& settings, double fs);

}  // namespace tarvik
