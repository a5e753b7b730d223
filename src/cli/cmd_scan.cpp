// tarvik-cli scan PATH... [--format N] [--max-span S] [--json]: the records that adding these files
// or folders to a project would form, without writing anything.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/record_options.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"
#include "records/assembly.h"

namespace tarvik::cli {

namespace {

// A data-format index (0 to 10) or its text from the format list (".msd", "msd", ".ugr*").
int ParseFormat(const std::string& text) {
  const std::string upper = AsciiUpper(text);
  for (size_t i = 0; i < kDataFormats.size(); ++i) {
    const std::string f = AsciiUpper(kDataFormats[i]);
    if (upper == f || "." + upper == f || text == std::to_string(i)) return static_cast<int>(i);
  }
  return -1;
}

char ComponentOf(const TFileRecord& r, int c) {
  return ComponentLetter(r.Channels[c].Axis);
}

void PrintRecord(int number, const TFileRecord& r) {
  OutLine(TCode::kCliScanRecord, {std::to_string(number)});
  OutLine(TCode::kCliFieldStation, {r.Station});
  OutLine(TCode::kCliFieldFile, {r.File});
  OutLine(TCode::kCliFieldStart, {FormatIso(r.Start)});
  OutLine(TCode::kCliFieldFinish, {FormatIso(r.Finish)});
  OutLine(TCode::kCliFieldRate, {FormatNumber(r.SampRate)});
  // A record's count adds up its files' counts, each of which spans its file with the gaps in
  // it; it is not the number of samples the files hold.
  OutLine(TCode::kCliFieldRecordSamples, {std::to_string(r.SampleCount)});
  OutLine(TCode::kCliFieldChannels, {std::to_string(r.ChannelCount())});
  for (int c = 0; c < r.ChannelCount() && c < kMaxChannels; ++c) {
    std::printf("    %d\t%s\t%c\t%s\n", c + 1, r.Channels[c].Channel.c_str(), ComponentOf(r, c),
                FormatNumber(r.Channels[c].ADCCoef).c_str());
  }
}

nlohmann::ordered_json RecordJson(int number, const TFileRecord& r) {
  nlohmann::ordered_json channels = nlohmann::ordered_json::array();
  for (int c = 0; c < r.ChannelCount() && c < kMaxChannels; ++c) {
    channels.push_back({{"name", r.Channels[c].Channel},
                        {"component", std::string(1, ComponentOf(r, c))},
                        {"coef", r.Channels[c].ADCCoef}});
  }
  return {{"record", number},
          {"station", r.Station},
          {"file", r.File},
          {"start", FormatIso(r.Start)},
          {"finish", FormatIso(r.Finish)},
          {"samp_rate", r.SampRate},
          {"sample_count", r.SampleCount},
          {"channels", channels}};
}

}  // namespace

void RegisterScan(CLI::App& app, CommandResult& result) {
  struct Options {
    std::vector<std::string> Paths;
    std::string Format;
    AssemblySettings Settings;
    bool NoComponents = false;
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "scan", "Print the records that adding these files or folders to a project would form");
  cmd->add_option("PATH", opt->Paths, "seismogram files and folders")->required();
  cmd->add_option("--format", opt->Format,
                  "data format of folders: index 0-10 or text of .rec .iss_dat .ugr* .sdas "
                  ".reftek .wfd* .gcf .msd .ddb .baikal .sl (default: every seismogram file)");
  AddRecordFormOptions(cmd, opt->Settings);
  cmd->add_flag("--no-components", opt->NoComponents,
                "do not recognise components from channel names (all Z)");
  cmd->add_flag("--json", opt->Json, "one JSON document: the records and the files not added");
  cmd->callback([opt, &result] {
    int format = -1;
    if (!opt->Format.empty()) {
      format = ParseFormat(opt->Format);
      if (format < 0) {
        ErrLine(TCode::kCliUnknownFormat, {opt->Format});
        result.Status = 2;
        return;
      }
    }
    AssemblySettings settings = opt->Settings;
    settings.RecognizeComponent = !opt->NoComponents;
    NullUiHost host;
    PathList list;
    CollectPaths(opt->Paths, format, list);
    TFileRecords records;
    for (const AddedFile& f : AddFiles(records, list.Files, settings, host)) {
      if (!f.Result.Added()) list.Refused.emplace_back(f.Path, AddRefusal(f.Result));
    }
    nlohmann::ordered_json refused = nlohmann::ordered_json::array();
    for (const auto& [path, reason] : list.Refused) {
      ErrLine(TCode::kCliNotAdded, {path, reason});
      refused.push_back({{"file", path}, {"reason", Told(reason)}, {"code", RefusalCode(reason)}});
    }
    if (records.empty()) ErrLine(TCode::kCliNoRecordFormed);
    if (opt->Json) {
      nlohmann::ordered_json found = nlohmann::ordered_json::array();
      for (size_t i = 0; i < records.size(); ++i) {
        found.push_back(RecordJson(static_cast<int>(i + 1), records[i]));
      }
      const nlohmann::ordered_json doc = {{"records", found}, {"not_added", refused}};
      std::printf("%s\n", doc.dump(2).c_str());
    } else {
      for (size_t i = 0; i < records.size(); ++i) PrintRecord(static_cast<int>(i + 1), records[i]);
    }
    result.Status = records.empty() ? 1 : 0;
  });
}

}  // namespace tarvik::cli
