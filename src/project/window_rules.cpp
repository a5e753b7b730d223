#include "project/window_rules.h"

namespace tarvik {

std::string HelpUnavailableText(const std::string& guide_path, bool guide_exists) {
  if (!guide_exists) return "Руководство пользователя не найдено: " + guide_path;
  return "Не найдена программа для просмотра PDF-файлов.\nРуководство пользователя: " + guide_path;
}

}  // namespace tarvik
