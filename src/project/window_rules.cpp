#include "project/window_rules.h"

#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "records/assembly.h"

namespace tarvik {

std::string HelpUnavailableText(const std::string& guide_path, bool guide_exists) {
  if (!guide_exists) return "Руководство пользователя не найдено: " + guide_path;
  return "Не найдена программа для просмотра PDF-файлов.\nРуководство пользователя: " + guide_path;
}

std::string DialogStartFolder(const std::string& project_folder, const std::string& current) {
  std::error_code ec;
  if (!project_folder.empty() && std::filesystem::is_directory(project_folder, ec))
    return project_folder;
  return current;
}

std::vector<std::string> DataFormatItems() {
  // The names of the formats in the order of the data-format setting.
  static constexpr std::array<std::string_view, kDataFormats.size()> kNames = {
      "REC",    "ISS",      "UGRA",      "SDAS",   "Reftek", "CSS",
      "Guralp", "MiniSEED", "DeltaGeon", "Baikal", "SL"};
  std::vector<std::string> items;
  for (size_t i = 0; i < kDataFormats.size(); ++i)
    items.push_back(std::string(kNames[i]) + " (" + std::string(kDataFormats[i]) + ")");
  return items;
}

}  // namespace tarvik
