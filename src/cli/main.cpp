// tarvik-cli: the command-line face of Tarvik, for batch work and scripting.

#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "cli/cli_output.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "common/status.h"

namespace {

// The language to speak: --lang (anywhere on the line) over the locale; the language is known
// before the line is parsed, so that the parser's own complaints are told in it too.
tarvik::TLanguage ChooseLanguage(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    std::string_view value;
    if (arg == "--lang" && i + 1 < argc) value = argv[i + 1];
    if (arg.substr(0, 7) == "--lang=") value = arg.substr(7);
    if (auto language = tarvik::ParseLanguage(value)) return *language;
  }
  return tarvik::LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                    std::getenv("LANG"));
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_NUMERIC, "C");  // "." as the decimal separator everywhere
  tarvik::cli::SetLanguage(ChooseLanguage(argc, argv));
  CLI::App app{"Tarvik: spectral analysis of seismic-noise recordings", "tarvik-cli"};
  app.require_subcommand(1);
  app.fallthrough();
  std::string lang;
  app.add_option("--lang", lang,
                 "language of messages: ru or en (default: the locale, Russian when LANG, "
                 "LC_MESSAGES or LC_ALL begins with ru)")
      ->check(CLI::IsMember({"ru", "en"}));
  tarvik::cli::CommandResult result;
  tarvik::cli::RegisterInfo(app, result);
  tarvik::cli::RegisterSegments(app, result);
  tarvik::cli::RegisterAdd(app, result);
  tarvik::cli::RegisterShow(app, result);
  tarvik::cli::RegisterRun(app, result);
  tarvik::cli::RegisterDemo(app, result);
  tarvik::cli::RegisterScan(app, result);
  tarvik::cli::RegisterSamples(app, result);
  tarvik::cli::RegisterCompress(app, result);
  tarvik::cli::RegisterResponse(app, result);
  tarvik::cli::RegisterHvsr(app, result);
  tarvik::cli::RegisterPreview(app, result);
  tarvik::cli::RegisterAverage(app, result);
  tarvik::cli::RegisterPlot(app, result);
  tarvik::cli::RegisterBands(app, result);
  tarvik::cli::RegisterEdit(app, result);
  tarvik::cli::RegisterRecordCommands(app, result);
  tarvik::cli::RegisterSettings(app, result);
  tarvik::cli::RegisterPsd(app, result);
  tarvik::cli::RegisterPsdStats(app, result);
  tarvik::cli::LocaliseHelp(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  } catch (const std::exception& e) {
    tarvik::cli::ErrReason("tarvik-cli", e.what());
    return 1;
  }
  return result.Status;
}
