#include "project/settings_keys.h"

#include <array>
#include <cmath>
#include <filesystem>

#include "common/number_text.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "project/bin_ini_file.h"
#include "project/project_file.h"
#include "project/record_editor.h"
#include "records/assembly.h"

namespace tarvik {

namespace {

namespace sp = settings_page;
namespace gp = general_page;

constexpr TSettingKey Spin(std::string_view key, const sp::TControl& control) {
  return {
      key,         false,       control.Step == 1 ? TSettingType::kInteger : TSettingType::kNumber,
      control.Min, control.Max, control.Step,
      control.Name};
}

constexpr TSettingKey Items(std::string_view key, size_t count, std::string_view control) {
  return {key, false, TSettingType::kInteger, 0, static_cast<double>(count) - 1, 1, control};
}

constexpr TSettingKey Flag(std::string_view key, std::string_view control) {
  return {key, false, TSettingType::kBool, 0, 1, 1, control};
}

constexpr TSettingKey General(TSettingKey key) {
  key.General = true;
  return key;
}

constexpr TSettingKey Hvsr(std::string_view key, TSettingType type, double min, double max,
                           double step) {
  return {key, true, type, min, max, step, "", true};
}

constexpr std::array<TSettingKey, 32> kKeys = {{
    General({"ResultDir", true, TSettingType::kFolder, 0, 0, 0, gp::kDirectoryEdit.Name}),
    General(Items("DataFormat", kDataFormats.size(), gp::kFormatCombo.Name)),
    General(Flag("RecognizeComponent", gp::kAutoComponentCheck.Name)),
    General(Spin("MaxSpan", gp::kMaxSpanSpin)),
    General(Spin("SampRateDefault", gp::kSampRateDefaultSpin)),
    Flag("UseFFT", sp::kFourierRadio.Name),
    Items("SpectrumType", sp::kSpectrumTypeItems.size(), sp::kSpectrumTypeRadio.Name),
    Items("EstimationType", sp::kEstimationItems.size(), sp::kEstimationRadio.Name),
    Spin("SilenceDur", sp::kSilenceDurSpin),
    Spin("NoiseDur", sp::kNoiseDurSpin),
    Spin("DanielWin", sp::kNoiseDurSpin),
    Items("WindowType", sp::kWindowItems.size(), sp::kWindowCombo.Name),
    Spin("B", sp::kBSpin),
    Flag("EdgeEffect", sp::kEdgeCheck.Name),
    Spin("FMin", sp::kEdgeFMinSpin),
    Spin("FMax", sp::kEdgeFMaxSpin),
    Spin("EdgeOrder", sp::kEdgeOrderSpin),
    Items("UnitOut", sp::kUnitOutItems.size(), sp::kUnitOutCombo.Name),
    Flag("NoiseFiletr", sp::kNoiseCheck.Name),
    Spin("NoiseFMin", sp::kNoiseFMinSpin),
    Spin("NoiseFMax", sp::kNoiseFMaxSpin),
    Spin("NoiseOrder", sp::kNoiseOrderSpin),
    // The H/V statistics: smoothing (0 Konno-Ohmachi, 1 none) and its bandwidth b, the grid,
    // the horizontal (0 arithmetic, 1 geometric, 2 quadratic mean), the rejection (0 on,
    // 1 none) and its n, the search band (0 for an end of the grid).
    Hvsr("Smoothing", TSettingType::kInteger, 0, 1, 1),
    Hvsr("Bandwidth", TSettingType::kNumber, 1, 1000, 0),
    Hvsr("GridFMin", TSettingType::kNumber, 0.001, 100, 0),
    Hvsr("GridFMax", TSettingType::kNumber, 0.01, 10000, 0),
    Hvsr("GridPoints", TSettingType::kInteger, 3, kMaxHvsrGridPoints, 1),
    Hvsr("Horizontal", TSettingType::kInteger, 0, 2, 1),
    Hvsr("Rejection", TSettingType::kInteger, 0, 1, 1),
    Hvsr("RejectionN", TSettingType::kNumber, 0.1, 100, 0),
    Hvsr("BandFMin", TSettingType::kNumber, 0, 100, 0),
    Hvsr("BandFMax", TSettingType::kNumber, 0, 10000, 0),
}};

// The H/V statistics settings as numbers, by key.
double HvsrValue(const THvsrSettings& h, std::string_view key) {
  if (key == "Smoothing") return static_cast<double>(h.Smoothing);
  if (key == "Bandwidth") return h.Bandwidth;
  if (key == "GridFMin") return h.GridFMin;
  if (key == "GridFMax") return h.GridFMax;
  if (key == "GridPoints") return h.GridPoints;
  if (key == "Horizontal") return static_cast<double>(h.Horizontal);
  if (key == "Rejection") return static_cast<double>(h.Rejection);
  if (key == "RejectionN") return h.RejectionN;
  if (key == "BandFMin") return h.BandFMin;
  if (key == "BandFMax") return h.BandFMax;
  return 0.0;
}

// Sets one key from a value already checked against its range.
void SetHvsrValue(THvsrSettings& h, std::string_view key, double v) {
  const auto whole = static_cast<int32_t>(v);
  if (key == "Smoothing") h.Smoothing = static_cast<THvsrSmoothing>(whole);
  if (key == "Bandwidth") h.Bandwidth = v;
  if (key == "GridFMin") h.GridFMin = v;
  if (key == "GridFMax") h.GridFMax = v;
  if (key == "GridPoints") h.GridPoints = whole;
  if (key == "Horizontal") h.Horizontal = static_cast<THvsrHorizontal>(whole);
  if (key == "Rejection") h.Rejection = static_cast<THvsrRejection>(whole);
  if (key == "RejectionN") h.RejectionN = v;
  if (key == "BandFMin") h.BandFMin = v;
  if (key == "BandFMax") h.BandFMax = v;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiUpper(a) == AsciiUpper(b);
}

bool IsNoiseKey(std::string_view key) {
  return key.substr(0, 5) == "Noise" && key != "NoiseDur";
}

std::string Number(double v) {
  return FormatProjectFloat(v);
}

// The field of a processing set a key names; nullptr for general keys.
struct Field {
  int32_t* I = nullptr;
  TSpectrumType* Spectrum = nullptr;
  TEstimationType* Estimation = nullptr;
  double* D = nullptr;
  bool* B = nullptr;
};

Field FieldOf(TSpectrumSettings& s, std::string_view key) {
  if (key == "UseFFT") return {.B = &s.UseFFT};
  if (key == "SpectrumType") return {.Spectrum = &s.SpectrumType};
  if (key == "EstimationType") return {.Estimation = &s.EstimationType};
  if (key == "SilenceDur") return {.D = &s.SilenceDur};
  if (key == "NoiseDur") return {.D = &s.NoiseDur};
  if (key == "DanielWin") return {.I = &s.DanielWin};
  if (key == "WindowType") return {.I = &s.WindowType};
  if (key == "B") return {.D = &s.B};
  if (key == "EdgeEffect") return {.B = &s.EdgeEffect};
  if (key == "FMin") return {.D = &s.FMin};
  if (key == "FMax") return {.D = &s.FMax};
  if (key == "EdgeOrder") return {.I = &s.EdgeOrder};
  if (key == "UnitOut") return {.I = &s.UnitOut};
  if (key == "NoiseFiletr") return {.B = &s.NoiseFilter};
  if (key == "NoiseFMin") return {.D = &s.NoiseFMin};
  if (key == "NoiseFMax") return {.D = &s.NoiseFMax};
  if (key == "NoiseOrder") return {.I = &s.NoiseOrder};
  return {};
}

Field FieldOf(TGeneralSettings& g, std::string_view key) {
  if (key == "DataFormat") return {.I = &g.DataFormat};
  if (key == "RecognizeComponent") return {.B = &g.RecognizeComponent};
  if (key == "MaxSpan") return {.I = &g.MaxSpan};
  if (key == "SampRateDefault") return {.D = &g.SampRateDefault};
  return {};
}

Field FieldOf(TProject& project, int set, const TSettingKey& key) {
  if (key.General) return FieldOf(project.General, key.Key);
  return FieldOf(project.Settings[set == kEventSet ? kEventSet : kMicroseismSet], key.Key);
}

std::optional<bool> ParseFlag(std::string_view text) {
  const std::string t = AsciiUpper(Trim(text));
  if (t == "1" || t == "TRUE" || t == "ON" || t == "YES") return true;
  if (t == "0" || t == "FALSE" || t == "OFF" || t == "NO") return false;
  return std::nullopt;
}

bool OnStep(const TSettingKey& key, double v) {
  if (key.Step <= 0) return true;
  const double steps = (v - key.Min) / key.Step;
  return std::fabs(steps - std::nearbyint(steps)) <= 1e-6 * std::max(1.0, std::fabs(steps));
}

// The data-format list also by its text (".msd").
std::optional<double> DataFormatIndex(std::string_view text) {
  for (size_t i = 0; i < kDataFormats.size(); ++i) {
    if (EqualNoCase(Trim(text), kDataFormats[i])) return static_cast<double>(i);
  }
  return std::nullopt;
}

std::string ResolveFolder(const TProject& project, std::string_view text) {
  const std::string t = Trim(text);
  if (t.empty()) return t;
  const std::string path = FromCommonDir(t, project.Folder);
  const std::filesystem::path p(path);
  if (p.is_absolute() || project.Folder.empty()) return path;
  return (std::filesystem::path(project.Folder) / p).lexically_normal().string();
}

}  // namespace

std::span<const TSettingKey> SettingKeys() {
  return kKeys;
}

std::string SettingKeyName(const TSettingKey& key, int set) {
  std::string name(key.Key);
  if (set == kEventSet && IsNoiseKey(key.Key)) name += "1";
  return name;
}

const TSettingKey* FindSettingKey(std::string_view name, int set) {
  for (const TSettingKey& key : kKeys) {
    if (EqualNoCase(name, SettingKeyName(key, set))) return &key;
    if (set == kEventSet && EqualNoCase(name, key.Key)) return &key;
  }
  return nullptr;
}

std::string SettingRangeText(const TSettingKey& key) {
  switch (key.Type) {
    case TSettingType::kBool:
      return "0 or 1";
    case TSettingType::kFolder:
      return "a folder";
    case TSettingType::kInteger:
      return Number(key.Min) + ".." + Number(key.Max);
    case TSettingType::kNumber:
      break;
  }
  std::string text = Number(key.Min) + ".." + Number(key.Max);
  if (key.Step > 0) text += ", step " + Number(key.Step);
  return text;
}

std::string SettingValueText(const TProject& project, int set, const TSettingKey& key) {
  if (key.Type == TSettingType::kFolder) return project.General.ResultDir;
  if (key.Hvsr) {
    const double v = HvsrValue(project.Hvsr, key.Key);
    return key.Type == TSettingType::kInteger ? std::to_string(static_cast<int64_t>(v)) : Number(v);
  }
  // The table's fields are reached through writable references: read a copy.
  TGeneralSettings general = project.General;
  TSpectrumSettings processing = project.Settings[set == kEventSet ? kEventSet : kMicroseismSet];
  const Field f = key.General ? FieldOf(general, key.Key) : FieldOf(processing, key.Key);
  if (f.B != nullptr) return *f.B ? "1" : "0";
  if (f.I != nullptr) return std::to_string(*f.I);
  if (f.Spectrum != nullptr) return std::to_string(static_cast<int32_t>(*f.Spectrum));
  if (f.Estimation != nullptr) return std::to_string(static_cast<int32_t>(*f.Estimation));
  if (f.D != nullptr) {
    // NoiseDur is edited and stored as whole seconds.
    return key.Key == "NoiseDur" ? Number(std::nearbyint(*f.D)) : Number(*f.D);
  }
  return "";
}

namespace {

// The values key takes, as the refusals of ApplySetting name them.
TStatus SettingRange(const TSettingKey& key) {
  if (key.Type == TSettingType::kNumber && key.Step > 0)
    return MakeStatus(TCode::kSettingRangeStep,
                      {Number(key.Min), Number(key.Max), Number(key.Step)});
  return MakeStatus(TCode::kSettingRange, {Number(key.Min), Number(key.Max)});
}

}  // namespace

bool ApplySetting(TProject& project, int set, std::string_view name, std::string_view text,
                  TStatus* error) {
  const TSettingKey* key = FindSettingKey(name, set);
  auto fail = [&](TStatus why) {
    if (error != nullptr) *error = std::move(why);
    return false;
  };
  if (key == nullptr) {
    if (set != kEventSet && FindSettingKey(name, kEventSet) != nullptr)
      return fail(MakeStatus(TCode::kSettingOfEvents, {name}));
    return fail(MakeStatus(TCode::kNoSuchSetting, {name}));
  }
  const std::string shown = SettingKeyName(*key, set) + "=" + std::string(text);
  const TStatus range = SettingRange(*key);
  if (key->Type == TSettingType::kFolder) {
    const std::string folder = ResolveFolder(project, text);
    if (TStatus why = UnstorablePathMessage(project, folder); !why.Ok()) return fail(why);
    project.General.ResultDir = folder;
    project.Modified = true;
    return true;
  }
  const Field f = FieldOf(project, set, *key);
  if (key->Type == TSettingType::kBool) {
    const std::optional<bool> v = ParseFlag(text);
    if (!v) return fail(MakeStatus(TCode::kSettingNotFlag, {shown}));
    *f.B = *v;
  } else {
    std::optional<double> v = ParseDouble(Trim(text));
    if (!v && key->Key == "DataFormat") v = DataFormatIndex(text);
    if (!v) return fail(MakeStatus(TCode::kSettingNotNumber, {shown, range}));
    if (*v < key->Min || *v > key->Max || !OnStep(*key, *v) ||
        (key->Type == TSettingType::kInteger && *v != std::trunc(*v)))
      return fail(MakeStatus(TCode::kSettingOutside, {shown, range}));
    if (key->Hvsr) {
      SetHvsrValue(project.Hvsr, key->Key, *v);
    } else if (f.I != nullptr) {
      *f.I = static_cast<int32_t>(*v);
    } else if (f.Spectrum != nullptr) {
      *f.Spectrum = static_cast<TSpectrumType>(*v);
    } else if (f.Estimation != nullptr) {
      *f.Estimation = static_cast<TEstimationType>(*v);
    } else {
      *f.D = *v;
    }
  }
  if (key->Key == "SampRateDefault") project.WorkingRate = project.General.SampRateDefault;
  project.Modified = true;
  return true;
}

TStatus HvsrSettingsProblem(const TProject& project) {
  const TStatus fault = HvsrSettingsFault(project.Hvsr);
  if (fault.Ok()) return {};
  return MakeStatus(TCode::kHvsrSettingsProblem, {fault});
}

void RestoreSettingDefaults(TProject& project, int set) {
  const int s = set == kEventSet ? kEventSet : kMicroseismSet;
  RestoreDefaults(project.Settings[s], s);
  project.Modified = true;
}

namespace {

// The filters of a set: which, its keys' fields and whether the calculation applies it.
struct TFilterPair {
  TCode Name;
  std::string_view LowKey, HighKey;
  double Low, High;
  bool On;
};

std::array<TFilterPair, 2> FilterPairs(const TSpectrumSettings& s) {
  return {{{TCode::kEdgeEffectFilter, "FMin", "FMax", s.FMin, s.FMax, s.EdgeEffect},
           {TCode::kNoiseFilter, "NoiseFMin", "NoiseFMax", s.NoiseFMin, s.NoiseFMax,
            s.NoiseFilter && s.EstimationType == TEstimationType::kBartlett}}};
}

}  // namespace

TStatus FilterPairProblem(const TSpectrumSettings& settings, int set, int pair) {
  const std::array<TFilterPair, 2> pairs = FilterPairs(settings);
  for (size_t k = 0; k < pairs.size(); ++k) {
    const TFilterPair& f = pairs[k];
    if (f.Low < f.High || (pair != kBothFilterPairs && pair != static_cast<int>(k))) continue;
    const TSettingKey* low = FindSettingKey(f.LowKey, set);
    const TSettingKey* high = FindSettingKey(f.HighKey, set);
    return MakeStatus(TCode::kFilterPairOrder,
                      {MakeStatus(f.Name), SettingKeyName(*low, set), FormatProjectFloat(f.Low),
                       SettingKeyName(*high, set), FormatProjectFloat(f.High)});
  }
  return {};
}

TFilterCheck CheckFilters(const TSpectrumSettings& settings, double rate) {
  TFilterCheck check;
  if (!(rate > 0.0)) return check;
  const double nyquist = rate / 2;
  for (const TFilterPair& f : FilterPairs(settings)) {
    if (!f.On) continue;
    // The filter design takes an upper corner at or above the Nyquist frequency as 0.99 of it.
    const bool above = f.High >= nyquist;
    const double high = above ? 0.99 * nyquist : f.High;
    if (!(f.Low < high)) {
      std::vector<TArg> corners = {f.LowKey, FormatProjectFloat(f.Low), f.HighKey,
                                   FormatProjectFloat(f.High)};
      if (above) corners.emplace_back(FormatProjectFloat(nyquist));
      check.Failure = MakeStatus(
          TCode::kFilterBandEmpty,
          {MakeStatus(f.Name),
           MakeStatus(above ? TCode::kFilterCornersNyquist : TCode::kFilterCorners, corners)});
      return check;
    }
    if (above) {
      const TStatus note =
          MakeStatus(TCode::kFilterAboveNyquist,
                     {f.HighKey, FormatProjectFloat(f.High), FormatProjectFloat(nyquist),
                      MakeStatus(f.Name), FormatProjectFloat(high)});
      check.Note = check.Note.Ok() ? note : MakeStatus(TCode::kJoinedSemicolon, {check.Note, note});
    }
  }
  return check;
}

TWindowLength WindowLengthUsed(const TSpectrumSettings& settings, double fs) {
  TWindowLength w;
  TSpectrumSettings derived = settings;
  w.Error = fs > 0.0 ? DeriveSegmentGeometry(derived, fs) : MakeStatus(TCode::kRateNotSet);
  if (!w.Error.Ok()) return w;
  w.Samples = derived.SegmentLength;
  w.Transform = derived.TransformLength;
  w.Seconds = derived.SegmentLength / fs;
  w.Rounded =
      derived.SegmentLength != static_cast<int32_t>(std::nearbyint(fs * settings.SilenceDur));
  return w;
}

}  // namespace tarvik
