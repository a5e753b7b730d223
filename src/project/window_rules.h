#pragma once

// What the desktop window shows that is not a widget's business: the texts of its empty and
// failed states, so that a headless test reaches every one of them.

#include <string>
#include <vector>

#include "common/status.h"
#include "records/record_model.h"

namespace tarvik {

// No program opened the user guide: where it is, so that the person can open it.
TStatus HelpUnavailableText(const std::string& guide_path, bool guide_exists);

// Where the file dialogs of the window start once a project is open: its folder, or current
// when the project has none on disk (a new project).
std::string DialogStartFolder(const std::string& project_folder, const std::string& current);

// The items of "Формат данных": the format's name beside its extension, "MiniSEED (.msd)".
std::vector<std::string> DataFormatItems();

// The view of a record's responses (mode 0 sensors, 1 amplifiers, 2 channels, 3 whole chains)
// has nothing to draw: which files are missing. kOk when at least one is set.
TStatus NoResponseFilesText(const TFileRecord& record, int mode);

// "П о к а з а т ь" on a record whose result file is not there: the file, and how to make it.
TStatus NoResultText(const std::string& path, bool hv);

}  // namespace tarvik
