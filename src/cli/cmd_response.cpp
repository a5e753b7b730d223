// tarvik-cli response FILE [--channel NET.STA.LOC.CHA [--time T]] [--freq F]... [--chain FILE2]:
// a response file's modulus and phase;
// tarvik-cli response --template OUT --rate R [--note TEXT]: writes the unit-response template.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/output_guard.h"
#include "project/record_editor.h"
#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "response/rsp_file.h"
#include "response/stationxml.h"

namespace tarvik::cli {

namespace {

// 0.01 to 100 Hz, ten points a decade.
std::vector<double> DefaultFrequencies() {
  std::vector<double> f;
  for (int k = -20; k <= 20; ++k) f.push_back(std::pow(10.0, k / 10.0));
  return f;
}

}  // namespace

void RegisterResponse(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string File;
    std::vector<double> Freqs;
    std::string Chain;
    std::string Channel;
    std::string Time;
    std::string TemplatePath;
    double Rate = 0.0;
    std::string Note;
    bool Force = false;
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "response", "Evaluate a response file (frequency, modulus, phase) or write a template");
  cmd->add_option("FILE", opt->File,
                  "response file: SEED RESP, SAC poles and zeros, GSE2, FAP table, .rsp or "
                  "StationXML (FILE.xml#NET.STA.LOC.CHA names one channel of it)");
  cmd->add_option("--freq", opt->Freqs, "frequency in Hz (repeatable; default 0.01..100 Hz)");
  cmd->add_option("--chain", opt->Chain, "a second response file appended as the amplifier");
  cmd->add_option(
      "--channel", opt->Channel,
      "the channel of a StationXML FILE, NET.STA.LOC.CHA (IU.ANMO.00.BHZ; IU.ANMO..BHZ without a "
      "location)");
  cmd->add_option("--time", opt->Time,
                  "the instant whose epoch of the channel is used: 2024-05-14T01:00:00 or "
                  "14.05.2024 01:00:00 (needed when the channel has several epochs)");
  CLI::Option* tmpl =
      cmd->add_option("--template", opt->TemplatePath, "write the unit-response template here");
  cmd->add_option("--rate", opt->Rate, "sampling rate of the template's record, Hz")
      ->needs(tmpl)
      ->check(PositiveNumber());
  cmd->add_option("--note", opt->Note, "the template's Note (the channel name)")->needs(tmpl);
  cmd->add_flag("--force", opt->Force, "replace the template file when it exists")->needs(tmpl);
  cmd->add_flag("--json", opt->Json,
                "one JSON document: the template written, the files loaded, the lines");
  cmd->callback([opt, cmd, &result] {
    if (opt->File.empty() && opt->TemplatePath.empty()) {
      throw CLI::RequiredError("FILE or --template");
    }
    if (!opt->TemplatePath.empty() && cmd->count("--rate") == 0) {
      throw CLI::RequiredError("--rate");
    }
    std::optional<TDateTime> when;
    if (!opt->Time.empty()) {
      when = ParseDateTimeText(opt->Time);
      if (!when) throw OptionRefusal("--time", DateTimeConversionError(opt->Time));
    }
    if (!opt->Channel.empty()) {
      if (!ParseChannelCode(opt->Channel)) {
        throw OptionRefusal("--channel", MakeStatus(TCode::kCliNotChannelCode, {opt->Channel}));
      }
      if (opt->File.empty()) throw CLI::RequiredError("FILE (for --channel)");
      if (!SplitResponsePath(opt->File).Channel.empty()) {
        throw OptionRefusal("--channel", MakeStatus(TCode::kCliChannelInFile));
      }
    }
    nlohmann::ordered_json doc;
    auto finish = [&](int status) {
      result.Status = status;
      if (opt->Json) std::printf("%s\n", doc.dump(2).c_str());
    };
    if (!opt->TemplatePath.empty()) {
      if (!MayWriteOutput("response", UnitTemplateFileName(opt->TemplatePath),
                          {opt->File, opt->Chain}, opt->Force, result))
        return;
      std::string written;
      const TStatus s =
          WriteUnitResponseTemplate(opt->TemplatePath, opt->Note, opt->Rate, &written);
      if (!s.Ok()) {
        const std::string message = Text(s, Language());
        std::fprintf(stderr, "%s\n", message.c_str());
        doc["template"] = {
            {"file", written}, {"error", message}, {"error_code", std::string(CodeName(s.Code))}};
        return finish(1);
      }
      ErrLine(TCode::kCliWritten, {written});
      doc["template"] = {{"file", written}};
    }
    if (opt->File.empty()) return finish(0);
    TCombinedFilter chain;
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    std::vector<std::string> noted;  // the files said to be flat, each said once
    const std::string file = JoinResponsePath(opt->File, opt->Channel);
    for (const std::string& path : {file, opt->Chain}) {
      if (path.empty()) continue;
      TFilterPack pack;
      TResponseLoadInfo info;
      const TStatus s = LoadResponse(path, pack, &info, when);
      if (!s.Ok()) {
        const std::string message = Text(s, Language());
        std::fprintf(stderr, "%s\n", message.c_str());
        files.push_back(
            {{"file", path}, {"error", message}, {"error_code", std::string(CodeName(s.Code))}});
        doc["files"] = files;
        return finish(1);
      }
      // A file read as nothing at all is a flat response; say so, since a misnamed or
      // mistyped file would give the same numbers.
      const bool flat = DescribesNothing(pack);
      if (flat && std::find(noted.begin(), noted.end(), path) == noted.end()) {
        ErrLine(TCode::kCliFlatResponse, {path});
        noted.push_back(path);
      }
      // The numbers printed are the response to velocity the spectra divide by.
      if (info.Converted) {
        ErrLine(TCode::kCliTakenAsVelocity, {path, pack.Device.UnitIn});
      }
      if (!info.Note.Ok()) ErrReason(path, info.Note);
      nlohmann::ordered_json entry = {{"file", path},
                                      {"flat", flat},
                                      {"input_unit", pack.Device.UnitIn},
                                      {"converted", info.Converted}};
      if (info.Format == TResponseFormat::kStationXml) {
        entry["channel"] = info.Channel;
        entry["epoch_start"] = pack.Device.Date != 0.0 ? FormatIso(pack.Device.Date) : "";
        entry["epoch_end"] = pack.Device.EndDate != 0.0 ? FormatIso(pack.Device.EndDate) : "";
        if (!info.Note.Ok()) {
          entry["note"] = Text(info.Note, Language());
          entry["note_code"] = CodeName(info.Note.Code);
        }
      }
      files.push_back(entry);
      AppendPack(pack, chain);
    }
    doc["files"] = files;
    const std::vector<double> freqs = opt->Freqs.empty() ? DefaultFrequencies() : opt->Freqs;
    nlohmann::ordered_json lines = nlohmann::ordered_json::array();
    for (double f : freqs) {
      const TComplex h = EvaluateChain(chain, f);
      const double modulus = ResponseModulus(h);
      const double phase = std::atan2(h.imag(), h.real());
      if (opt->Json) {
        lines.push_back({{"frequency", f}, {"modulus", modulus}, {"phase", phase}});
      } else {
        std::printf("%s\t%s\t%s\n", FormatNumber(f).c_str(), FormatNumber(modulus).c_str(),
                    FormatNumber(phase).c_str());
      }
    }
    doc["lines"] = lines;
    finish(0);
  });
}

}  // namespace tarvik::cli
