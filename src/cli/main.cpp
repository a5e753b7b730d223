// tarvik-cli: the command-line face of Tarvik, for batch work and scripting.

#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
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

// Whether text begins with prefix; rest is what follows it.
bool Cut(std::string_view text, std::string_view prefix, std::string_view& rest) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  rest = text.substr(prefix.size());
  return true;
}

// text split at the first separator: head and tail; false when it is not there.
bool Split(std::string_view text, std::string_view separator, std::string_view& head,
           std::string_view& tail) {
  const size_t at = text.find(separator);
  if (at == std::string_view::npos) return false;
  head = text.substr(0, at);
  tail = text.substr(at + separator.size());
  return true;
}

// What a validator of a value said (after "NAME: "), as a status: the library's range and set
// checks, our positive-number check, otherwise the validator's own words in the command line's
// language.
tarvik::TStatus ValueRefusal(std::string_view name, std::string_view said) {
  using tarvik::MakeStatus;
  using tarvik::TCode;
  std::string_view rest, head, tail;
  if (Cut(said, "Value ", rest) && Split(rest, " not in range ", head, tail)) {
    std::string_view low, high;
    if (Split(tail, " to ", low, high))
      return MakeStatus(TCode::kCliNotInRange, {name, head, low, high});
  }
  if (Cut(said, "must be a number above 0, not ", rest))
    return MakeStatus(TCode::kCliNotPositive, {name, rest});
  if (Cut(said, "must be K/N with 1 <= K <= N (shard K of N), not ", rest))
    return MakeStatus(TCode::kCliNotShard, {name, rest});
  if (Split(said, " not in {", head, tail) && !tail.empty() && tail.back() == '}')
    return MakeStatus(TCode::kCliNotMember, {name, head, "{" + std::string(tail)});
  return MakeStatus(TCode::kCliUsageError,
                    {std::string(name) + ": " + tarvik::cli::Tr(std::string(said))});
}

// A complaint of the command-line parser as a status of the catalogue, so that it is told in
// the command line's language; the option names and values it quotes are data. What is not
// recognised keeps the parser's own words.
tarvik::TStatus UsageStatus(const CLI::ParseError& e) {
  using tarvik::MakeStatus;
  using tarvik::TCode;
  const std::string_view what = e.what();
  std::string_view rest, head, tail;
  if (const auto* refusal = dynamic_cast<const tarvik::cli::OptionRefusal*>(&e))
    return refusal->Status();
  if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
    if (Cut(what, "The following argument was not expected: ", rest))
      return MakeStatus(TCode::kCliUnexpectedArgument, {rest});
    if (Cut(what, "The following arguments were not expected: ", rest))
      return MakeStatus(TCode::kCliUnexpectedArguments, {rest});
  } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr) {
    if (Split(what, ": At least ", head, tail) &&
        Split(tail, " required but received ", rest, tail))
      return MakeStatus(TCode::kCliValuesAtLeast, {head, rest, tail});
    if (Split(what, ": At Most ", head, tail) && Split(tail, " required but received ", rest, tail))
      return MakeStatus(TCode::kCliValuesAtMost, {head, rest, tail});
    if (Cut(what, "Expected exactly ", rest) && Split(rest, " arguments to ", head, tail) &&
        Split(tail, ", got ", rest, tail))
      return MakeStatus(TCode::kCliValuesExactly, {rest, head, tail});
    std::string_view count, type;
    if (Split(what, ": ", head, tail) && Split(tail, " required ", count, type) &&
        type.size() > 8 && type.substr(type.size() - 8) == " missing")
      return MakeStatus(TCode::kCliValuesMissing, {head, count, type.substr(0, type.size() - 8)});
  } else if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr) {
    if (what == "A subcommand is required") return MakeStatus(TCode::kCliCommandRequired);
    if (Cut(what, "Exactly 1 option from [", rest) && Split(rest, "] is required", head, tail) &&
        tail.empty())
      return MakeStatus(TCode::kCliExactlyOneOf, {head});
    if (Cut(what, "At least 1 option from [", rest) && Split(rest, "] is required", head, tail) &&
        tail.empty())
      return MakeStatus(TCode::kCliAtLeastOneOf, {head});
    constexpr std::string_view kRequired = " is required";
    if (what.size() > kRequired.size() && what.substr(what.size() - kRequired.size()) == kRequired)
      return MakeStatus(TCode::kCliRequired, {what.substr(0, what.size() - kRequired.size())});
  } else if (dynamic_cast<const CLI::RequiresError*>(&e) != nullptr) {
    if (Split(what, " requires ", head, tail)) return MakeStatus(TCode::kCliRequires, {head, tail});
  } else if (dynamic_cast<const CLI::ExcludesError*>(&e) != nullptr) {
    if (Split(what, " excludes ", head, tail)) return MakeStatus(TCode::kCliExcludes, {head, tail});
  } else if (dynamic_cast<const CLI::ConversionError*>(&e) != nullptr) {
    if (Cut(what, "Could not convert: ", rest) && Split(rest, " = ", head, tail))
      return MakeStatus(TCode::kCliNotConverted, {head, tail});
    if (Cut(what, "The value ", rest) && Split(rest, " is not an allowed value for ", head, tail))
      return MakeStatus(TCode::kCliValueNotAllowed, {head, tail});
  } else if (dynamic_cast<const CLI::ValidationError*>(&e) != nullptr) {
    if (Split(what, ": ", head, tail)) return ValueRefusal(head, tail);
  }
  return MakeStatus(TCode::kCliUsageError, {what});
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
    // Help and version print as the library prints them; a complaint about the line is told
    // in the command line's language, with the pointer to --help.
    if (e.get_exit_code() == 0) return app.exit(e);
    tarvik::cli::ErrLine(tarvik::TCode::kCliUsageError, {UsageStatus(e)});
    tarvik::cli::ErrLine(tarvik::TCode::kCliRunWithHelp);
    return 2;
  } catch (const std::exception& e) {
    tarvik::cli::ErrReason("tarvik-cli", e.what());
    return 1;
  }
  return result.Status;
}
