#pragma once

// What plot, average and bands are told about result files (--hv, --power, --unit-out, --unit)
// checked against what the files are: their kind from their column titles and names, their unit
// from the settings the project that computed them holds. A flag that contradicts a file is
// refused rather than used to relabel its numbers.

#include <optional>
#include <string>
#include <vector>

#include "common/ui_host.h"
#include "viewers/spectrum_files.h"

namespace tarvik::cli {

struct TResultFlags {
  bool Hv = false;
  bool Power = false;
  std::optional<int> UnitOut;
  std::optional<int> UnitItem;
};

// What a set of result files is, as far as the files and their projects tell, completed by the
// flags where they do not.
struct TResultFiles {
  TResultKind Kind = TResultKind::kSpectrum;  // the kind the files share
  bool Power = false;                         // power spectra (told by a name, or by --power)
  int UnitOut = 1;
  int UnitItem = 0;
  // The unit was found in the settings of the project that computed the files; unit_source
  // then names it ("project P, record N").
  bool UnitKnown = false;
  std::string UnitSource;
};

// "m/s", "um/s^2": a unit as the command line's messages name it.
std::string UnitText(int unit_out, int unit_item);

// Reads what paths are and checks flags against it: --hv only for H/V ratio files, --power only
// for spectra that are not amplitude spectra, --unit-out and --unit only as the unit the files
// were computed in; files of different kinds or of different known units are refused. On
// refusal the reason goes to stderr prefixed with command and nullopt is returned; a missing or
// damaged file is told through host.
// With labels_unit (a chart's axis), a spectrum whose unit no project tells is labelled as the
// flags say, and a line on stderr says so.
std::optional<TResultFiles> ResolveResultFiles(const char* command,
                                               const std::vector<std::string>& paths,
                                               const TResultFlags& flags, UiHost& host,
                                               bool labels_unit);

}  // namespace tarvik::cli
