#pragma once

// What the desktop window shows that is not a widget's business: the texts of its empty and
// failed states, so that a headless test reaches every one of them.

#include <string>
#include <vector>

namespace tarvik {

// No program opened the user guide: where it is, so that the person can open it.
std::string HelpUnavailableText(const std::string& guide_path, bool guide_exists);

// Where the file dialogs of the window start once a project is open: its folder, or current
// when the project has none on disk (a new project).
std::string DialogStartFolder(const std::string& project_folder, const std::string& current);

// The items of "Формат данных": the format's name beside its extension, "MiniSEED (.msd)".
std::vector<std::string> DataFormatItems();

}  // namespace tarvik
