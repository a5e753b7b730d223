// tarvik-cli info FILE... [--json]: the format tag and header of each file.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "records/formats.h"

namespace tarvik::cli {

void RegisterInfo(CLI::App& app, CommandResult& result) {
  struct Options {
    std::vector<std::string> files;
    bool json = false;
    double default_rate = 100.0;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("info", "Recognise files and print their format and header");
  cmd->add_option("FILE", opt->files, "seismogram files")->required();
  cmd->add_flag("--json", opt->json, "one JSON object per file, one per line");
  cmd->add_option("--rate", opt->default_rate,
                  "sampling rate for formats that do not store one (Hz)")
      ->capture_default_str();
  cmd->callback([opt, &result] {
    int status = 0;
    for (const std::string& path : opt->files) {
      const FormatTag tag = Recognize(path);
      TFileRecordInfo info;
      if (tag != 0) ReadHeader(path, tag, info, opt->default_rate);
      if (tag == 0) {
        status = 1;
        std::fprintf(stderr, "%s: not a recognised seismogram file\n", path.c_str());
      }
      if (opt->json) {
        std::printf("%s\n", HeaderJson(path, tag, info).dump().c_str());
      } else if (tag != 0) {
        std::fputs(HeaderText(path, tag, info).c_str(), stdout);
      }
    }
    result.status = status;
  });
}

}  // namespace tarvik::cli
