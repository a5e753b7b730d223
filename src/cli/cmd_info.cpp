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
    std::vector<std::string> Files;
    bool Json = false;
    double DefaultRate = cli::DefaultRate();
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("info", "Recognise files and print their format and header");
  cmd->add_option("FILE", opt->Files, "seismogram files")->required();
  cmd->add_flag("--json", opt->Json, "one JSON object per file, one per line");
  cmd->add_option("--rate", opt->DefaultRate,
                  "sampling rate for formats that do not store one (Hz)")
      ->check(PositiveNumber())
      ->capture_default_str();
  cmd->callback([opt, &result] {
    int status = 0;
    for (const std::string& path : opt->Files) {
      TFileRecordInfo info;
      const FileReading reading = ReadFileHeader(path, opt->DefaultRate, info);
      const std::string error =
          reading.Error.Ok() ? "" : Told(reading.Error.Code, reading.Error.Args);
      if (!reading.Error.Ok()) {
        status = 1;
        ErrReason(path, error);
      }
      const std::optional<int64_t> held =
          reading.Error.Ok() ? HeldSamples(path, reading.Tag, info) : std::nullopt;
      if (opt->Json) {
        nlohmann::ordered_json j = HeaderJson(path, reading.Tag, info);
        if (held) j["samples_held"] = *held;
        if (!reading.Error.Ok()) {
          j["error"] = error;
          j["error_code"] = std::string(CodeName(reading.Error.Code));
        }
        std::printf("%s\n", j.dump().c_str());
      } else if (reading.Error.Ok()) {
        std::fputs(HeaderText(path, reading.Tag, info, held).c_str(), stdout);
      }
    }
    result.Status = status;
  });
}

}  // namespace tarvik::cli
