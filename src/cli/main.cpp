// tarvik-cli: the command-line face of Tarvik, for batch work and scripting.

#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>
#include <exception>

#include "cli/commands.h"

int main(int argc, char** argv) {
  std::setlocale(LC_NUMERIC, "C");  // "." as the decimal separator everywhere
  CLI::App app{"Tarvik: spectral analysis of seismic-noise recordings", "tarvik-cli"};
  app.require_subcommand(1);
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
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarvik-cli: %s\n", e.what());
    return 1;
  }
  return result.status;
}
