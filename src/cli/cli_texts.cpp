#include "cli/cli_texts.h"

#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cli/cli_output.h"

namespace tarvik::cli {

namespace {

struct TextPair {
  std::string_view English;
  std::string_view Russian;
};

#include "cli/cli_texts_ru.inc"

const std::unordered_map<std::string_view, std::string_view>& RussianTable() {
  static const std::unordered_map<std::string_view, std::string_view> kTable = [] {
    std::unordered_map<std::string_view, std::string_view> t;
    for (const TextPair& p : kRussianTexts) t.emplace(p.English, p.Russian);
    return t;
  }();
  return kTable;
}

// The conversions of a printf format in order, each as the argument it takes ("s", "zu", "d",
// "*d" for a width given as an argument); flags, widths and precisions left out, "%%" too.
std::vector<std::string> Conversions(std::string_view format) {
  std::vector<std::string> found;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    std::string taken;
    size_t end = i + 1;
    for (; end < format.size(); ++end) {
      const char c = format[end];
      if (c == '%' && end == i + 1) break;
      if (std::string_view("-+ #0123456789.").find(c) != std::string_view::npos) continue;
      taken += c;
      if (std::string_view("diouxXeEfFgGaAcspn").find(c) != std::string_view::npos) break;
    }
    if (!taken.empty()) found.push_back(taken);
    i = end;
  }
  return found;
}

std::string Localised(const std::string& english) {
  return Tr(english);
}

// Replaces every from in text by to.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The library's formatter with the few phrases it writes itself told in Russian.
class RussianFormatter : public CLI::Formatter {
 public:
  std::string make_description(const CLI::App* app) const override {
    std::string text = CLI::Formatter::make_description(app);
    ReplaceAll(text, "[Exactly 1 of the following options is required]",
               "[Требуется ровно один из следующих параметров]");
    return text;
  }
  std::string make_expanded(const CLI::App* sub) const override {
    std::string text = CLI::Formatter::make_expanded(sub);
    ReplaceAll(text, "[Option Group: ", "[Группа параметров: ");
    return text;
  }
};

void LocaliseApp(CLI::App& app, const std::shared_ptr<CLI::Formatter>& formatter) {
  if (formatter) app.formatter(formatter);
  app.description(Localised(app.get_description()));
  if (!app.get_footer().empty()) app.footer(Localised(app.get_footer()));
  if (app.get_name().empty()) {
    app.group(Localised(app.get_group()));
  } else if (app.get_parent() != nullptr) {
    app.group(Tr("Subcommands"));
  }
  for (CLI::Option* option : app.get_options({})) {
    option->description(Localised(option->get_description()));
    option->group(Tr(option->get_group()));
  }
  for (CLI::App* sub : app.get_subcommands({})) LocaliseApp(*sub, formatter);
}

}  // namespace

std::string_view RussianOf(std::string_view english) {
  const auto& table = RussianTable();
  const auto it = table.find(english);
  return it == table.end() ? std::string_view() : it->second;
}

std::string Tr(std::string_view english) {
  if (Language() == TLanguage::kRussian) {
    const std::string_view russian = RussianOf(english);
    if (!russian.empty()) return std::string(russian);
  }
  return std::string(english);
}

std::string TrFormat(std::string_view english) {
  if (Language() == TLanguage::kRussian) {
    const std::string_view russian = RussianOf(english);
    if (!russian.empty() && Conversions(russian) == Conversions(english))
      return std::string(russian);
  }
  return std::string(english);
}

void LocaliseHelp(CLI::App& app) {
  if (Language() != TLanguage::kRussian) return;
  auto formatter = std::make_shared<RussianFormatter>();
  for (const char* label : {"Usage", "OPTIONS", "Positionals", "REQUIRED", "Needs", "Excludes",
                            "Env", "SUBCOMMAND", "SUBCOMMANDS"})
    formatter->label(label, Tr(label));
  LocaliseApp(app, formatter);
}

}  // namespace tarvik::cli
