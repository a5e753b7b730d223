#pragma once

#include <string>

namespace tarvik {

// True when the file reads as the line table of a ".BI"/".GEO" recorder file whose data
// reaches exactly the file's end.
bool IsBiGeoFile(const std::string& path);

}  // namespace tarvik
