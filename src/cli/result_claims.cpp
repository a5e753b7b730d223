#include "cli/result_claims.h"
#include "cli/cli_output.h"

#include <array>
#include <cstdio>

#include "project/result_view.h"
#include "viewers/spectrum_chart.h"

namespace tarvik::cli {

namespace {

std::string KindText(TResultKind kind) {
  switch (kind) {
    case TResultKind::kAmplitude:
      return "amplitude spectra (a prim_ file)";
    case TResultKind::kPower:
      return "power spectra (a power_ file)";
    case TResultKind::kHVRatio:
      return "H/V ratios (columns E/Z, N/Z, H/Z)";
    case TResultKind::kRelative:
      return "relative spectra (columns E1/E2, N1/N2, Z1/Z2)";
    case TResultKind::kSpectrum:
      break;
  }
  return "spectra";
}

std::string OriginText(const TResultOrigin& origin) {
  return "project " + origin.Project + ", record " + std::to_string(origin.Record + 1);
}

bool SameUnits(const TViewerUnits& a, const TViewerUnits& b) {
  return a.UnitOut == b.UnitOut && a.UnitItem == b.UnitItem;
}

bool Refuse(const char* command, const std::string& text) {
  ErrPrintf("%s: %s\n", command, text.c_str());
  return false;
}

}  // namespace

std::string UnitText(int unit_out, int unit_item) {
  static constexpr std::array<const char*, kUnitItemCount> kLengths = {"m", "cm", "mm", "um", "nm"};
  static constexpr std::array<const char*, 3> kTimes = {"", "/s", "/s^2"};
  if (unit_item < 0 || unit_item >= kUnitItemCount) unit_item = 0;
  if (unit_out < 0 || unit_out > 2) unit_out = 0;
  return std::string(kLengths[static_cast<size_t>(unit_item)]) +
         kTimes[static_cast<size_t>(unit_out)];
}

std::optional<TResultFiles> ResolveResultFiles(const char* command,
                                               const std::vector<std::string>& paths,
                                               const TResultFlags& flags, UiHost& host,
                                               bool labels_unit) {
  std::vector<TResultKind> kinds;
  for (const std::string& path : paths) {
    TResultTable table;
    if (!LoadViewerTable(path, TViewerFile::kSpectrum, host, table)) return std::nullopt;
    kinds.push_back(ResultKindOf(path, table.Names));
  }
  TResultFiles out;
  size_t told = paths.size();  // the first file whose kind is told
  for (size_t i = 0; i < kinds.size(); ++i) {
    if (kinds[i] != TResultKind::kSpectrum && told == paths.size()) told = i;
    for (size_t j = 0; j < i; ++j) {
      if (KindsAgree(kinds[j], kinds[i])) continue;
      Refuse(command, paths[j] + " holds " + KindText(kinds[j]) + ", " + paths[i] + " holds " +
                          KindText(kinds[i]) + ": files of different kinds do not go together");
      return std::nullopt;
    }
  }
  if (told < paths.size()) out.Kind = kinds[told];
  const std::string& example = paths[told < paths.size() ? told : 0];
  const std::string what = example + " holds " + KindText(out.Kind);
  if (flags.Hv && out.Kind != TResultKind::kHVRatio) {
    Refuse(command, what + ", not H/V ratios: --hv does not apply");
    return std::nullopt;
  }
  if (flags.Power && (out.Kind == TResultKind::kAmplitude || IsRatio(out.Kind))) {
    Refuse(command, what + ", not power spectra: --power does not apply");
    return std::nullopt;
  }
  out.Power = IsPower(out.Kind, flags.Power);
  const bool unit_given = flags.UnitOut.has_value() || flags.UnitItem.has_value();
  if (IsRatio(out.Kind)) {
    if (unit_given) {
      Refuse(command, what + ", which have no unit: --unit-out and --unit do not apply");
      return std::nullopt;
    }
    return out;
  }

  // The unit of the settings each file was computed with; all that are known must agree. A
  // project saved after the file may hold other settings now: its unit is only mentioned.
  std::vector<std::optional<TResultOrigin>> origins = FindResultOrigins(paths);
  std::optional<TResultOrigin> changed;
  for (std::optional<TResultOrigin>& origin : origins) {
    if (!origin || !origin->ChangedSince) continue;
    if (!changed) changed = origin;
    origin.reset();
  }
  std::optional<size_t> known;
  for (size_t i = 0; i < origins.size(); ++i) {
    if (!origins[i]) continue;
    if (!known) {
      known = i;
    } else if (!SameUnits(origins[*known]->Units, origins[i]->Units)) {
      const TViewerUnits& a = origins[*known]->Units;
      const TViewerUnits& b = origins[i]->Units;
      Refuse(command, paths[*known] + " is in " + UnitText(a.UnitOut, a.UnitItem) + " (" +
                          OriginText(*origins[*known]) + "), " + paths[i] + " in " +
                          UnitText(b.UnitOut, b.UnitItem) + " (" + OriginText(*origins[i]) +
                          "): spectra of different units do not go together");
      return std::nullopt;
    }
  }
  if (known) {
    const TResultOrigin& origin = *origins[*known];
    out.UnitKnown = true;
    out.UnitSource = OriginText(origin);
    out.UnitOut = origin.Units.UnitOut;
    out.UnitItem = origin.Units.UnitItem;
    const bool differs = (flags.UnitOut && *flags.UnitOut != out.UnitOut) ||
                         (flags.UnitItem && *flags.UnitItem != out.UnitItem);
    if (differs) {
      Refuse(command, paths[*known] + " was computed in " + UnitText(out.UnitOut, out.UnitItem) +
                          " (" + out.UnitSource +
                          "): --unit-out and --unit would label the same "
                          "numbers as " +
                          UnitText(flags.UnitOut.value_or(out.UnitOut),
                                   flags.UnitItem.value_or(out.UnitItem)));
      return std::nullopt;
    }
    return out;
  }
  out.UnitOut = flags.UnitOut.value_or(kVelocity);
  out.UnitItem = flags.UnitItem.value_or(0);
  if (labels_unit) {
    const std::string why = changed
                                ? changed->Project + " was saved after " + paths.front() +
                                      " was written, so its settings (now " +
                                      UnitText(changed->Units.UnitOut, changed->Units.UnitItem) +
                                      ") may not be those the file was computed with"
                                : "no project is found that computes " + paths.front();
    ErrLine(unit_given ? TCode::kCliUnitLabelledAsSaid : TCode::kCliUnitLabelled,
            {command, why, UnitText(out.UnitOut, out.UnitItem)});
  }
  return out;
}

}  // namespace tarvik::cli
