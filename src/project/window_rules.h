#pragma once

// What the desktop window shows that is not a widget's business: the texts of its empty and
// failed states, so that a headless test reaches every one of them.

#include <string>

namespace tarvik {

// No program opened the user guide: where it is, so that the person can open it.
std::string HelpUnavailableText(const std::string& guide_path, bool guide_exists);

}  // namespace tarvik
