#pragma once

#include <string>
#include <vector>

namespace tarvik::testing {

// The text of a result file: the header fields joined by TAB, then one line per row (the
// frequency first), numbers in their shortest exact form, CR LF line ends.
std::string ResultText(const std::vector<std::string>& header,
                       const std::vector<std::vector<double>>& rows);

// A three-component spectrum (header Freq, E_Amp, E_StDev, ... Z_StDev) of `lines` lines at
// step Hz; value(c, i) and spread(c, i) give component c (0 E, 1 N, 2 Z) at line i.
std::string ThreeComponentText(int lines, double step, double (*value)(int c, int i),
                               double (*spread)(int c, int i));

// Writes text to path (binary, as given) and returns path.
std::string WriteResult(const std::string& path, const std::string& text);

}  // namespace tarvik::testing
