#include "cli/result_claims.h"
#include "cli/cli_output.h"

#include <array>
#include <cstdio>

#include "project/result_view.h"
#include "viewers/spectrum_chart.h"

namespace tarvik::cli {

namespace {

TStatus KindText(TResultKind kind) {
  switch (kind) {
    case TResultKind::kAmplitude:
      return MakeStatus(TCode::kCliKindAmplitude);
    case TResultKind::kPower:
      return MakeStatus(TCode::kCliKindPower);
    case TResultKind::kHVRatio:
      return MakeStatus(TCode::kCliKindHv);
    case TResultKind::kRelative:
      return MakeStatus(TCode::kCliKindRelative);
    case TResultKind::kSpectrum:
      break;
  }
  return MakeStatus(TCode::kCliKindSpectra);
}

// Where a file's unit comes from, as the JSON of plot carries it.
std::string OriginText(const TResultOrigin& origin) {
  return "project " + origin.Project + ", record " + std::to_string(origin.Record + 1);
}

// The same in the messages' language.
TStatus Origin(const TResultOrigin& origin) {
  return MakeStatus(TCode::kCliOrigin, {origin.Project, std::to_string(origin.Record + 1)});
}

bool SameUnits(const TViewerUnits& a, const TViewerUnits& b) {
  return a.UnitOut == b.UnitOut && a.UnitItem == b.UnitItem;
}

// Tells why the files are refused; command is the first argument of the status.
void Refuse(TCode code, const char* command, std::vector<TArg> args) {
  args.insert(args.begin(), TArg(command));
  ErrLine(code, std::move(args));
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
      Refuse(TCode::kCliKindsDiffer, command,
             {paths[j], KindText(kinds[j]), paths[i], KindText(kinds[i])});
      return std::nullopt;
    }
  }
  if (told < paths.size()) out.Kind = kinds[told];
  const std::string& example = paths[told < paths.size() ? told : 0];
  if (flags.Hv && out.Kind != TResultKind::kHVRatio) {
    Refuse(TCode::kCliHvDoesNotApply, command, {example, KindText(out.Kind)});
    return std::nullopt;
  }
  if (flags.Power && (out.Kind == TResultKind::kAmplitude || IsRatio(out.Kind))) {
    Refuse(TCode::kCliPowerDoesNotApply, command, {example, KindText(out.Kind)});
    return std::nullopt;
  }
  out.Power = IsPower(out.Kind, flags.Power);
  const bool unit_given = flags.UnitOut.has_value() || flags.UnitItem.has_value();
  if (IsRatio(out.Kind)) {
    if (unit_given) {
      Refuse(TCode::kCliUnitDoesNotApply, command, {example, KindText(out.Kind)});
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
      Refuse(TCode::kCliUnitsDiffer, command,
             {paths[*known], UnitText(a.UnitOut, a.UnitItem), Origin(*origins[*known]), paths[i],
              UnitText(b.UnitOut, b.UnitItem), Origin(*origins[i])});
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
      Refuse(
          TCode::kCliUnitRelabelled, command,
          {paths[*known], UnitText(out.UnitOut, out.UnitItem), Origin(origin),
           UnitText(flags.UnitOut.value_or(out.UnitOut), flags.UnitItem.value_or(out.UnitItem))});
      return std::nullopt;
    }
    return out;
  }
  out.UnitOut = flags.UnitOut.value_or(kVelocity);
  out.UnitItem = flags.UnitItem.value_or(0);
  if (labels_unit) {
    const TStatus why =
        changed ? MakeStatus(TCode::kCliProjectSavedAfter,
                             {changed->Project, paths.front(),
                              UnitText(changed->Units.UnitOut, changed->Units.UnitItem)})
                : MakeStatus(TCode::kCliNoProjectComputes, {paths.front()});
    ErrLine(unit_given ? TCode::kCliUnitLabelledAsSaid : TCode::kCliUnitLabelled,
            {command, why, UnitText(out.UnitOut, out.UnitItem)});
  }
  return out;
}

}  // namespace tarvik::cli
