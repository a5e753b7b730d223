// tarvik-cli info FILE... [--json]: the format tag and header of each file.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/record_options.h"
#include "records/formats.h"

namespace tarvik::cli {

void RegisterInfo(CLI::App& app, CommandResult& result) {
  struct Options {
    std::vector<std::string> files;
    bool json = false;
    double default_rate = DefaultRate();
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("info", "Recognise files and print their format and header");
  cmd->add_option("FILE", opt->files, "seismogram files")->required();
  cmd->add_flag("--json", opt->json, "one JSON object per file, one per line");
  cmd->add_option("--rate", opt->default_rate,
                  "sampling rate for formats that do not store one (Hz)")
      ->check(PositiveNumber())
      ->capture_default_str();
  cmd->callback([opt, &result] {
    int status = 0;
    for (const std::string& path : opt->files) {
      TFileRecordInfo info;
      const FileReading reading = ReadFileHeader(path, opt->default_rate, info);
      if (!reading.error.empty()) {
        status = 1;
        ErrPrintf("%s: %s\n", path.c_str(), reading.error.c_str());
      }
      const std::optional<int64_t> held =
          reading.error.empty() ? HeldSamples(path, reading.tag, info) : std::nullopt;
      if (opt->json) {
        nlohmann::ordered_json j = HeaderJson(path, reading.tag, info);
        if (held) j["samples_held"] = *held;
        if (!reading.error.empty()) j["error"] = reading.error;
        std::printf("%s\n", j.dump().c_str());
      } else if (reading.error.empty()) {
        std::fputs(HeaderText(path, reading.tag, info, held).c_str(), stdout);
      }
    }
    result.status = status;
  });
}

}  // namespace tarvik::cli
