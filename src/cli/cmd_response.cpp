// tarvik-cli response FILE [--freq F]... [--chain FILE2]: a response file's modulus and phase;
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
#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "response/rsp_file.h"

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
    std::string file;
    std::vector<double> freqs;
    std::string chain;
    std::string template_path;
    double rate = 0.0;
    std::string note;
    bool force = false;
    bool json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "response", "Evaluate a response file (frequency, modulus, phase) or write a template");
  cmd->add_option("FILE", opt->file,
                  "response file: SEED RESP, SAC poles and zeros, GSE2, FAP table or .rsp");
  cmd->add_option("--freq", opt->freqs, "frequency in Hz (repeatable; default 0.01..100 Hz)");
  cmd->add_option("--chain", opt->chain, "a second response file appended as the amplifier");
  CLI::Option* tmpl =
      cmd->add_option("--template", opt->template_path, "write the unit-response template here");
  cmd->add_option("--rate", opt->rate, "sampling rate of the template's record, Hz")
      ->needs(tmpl)
      ->check(PositiveNumber());
  cmd->add_option("--note", opt->note, "the template's Note (the channel name)")->needs(tmpl);
  cmd->add_flag("--force", opt->force, "replace the template file when it exists")->needs(tmpl);
  cmd->add_flag("--json", opt->json,
                "one JSON document: the template written, the files loaded, the lines");
  cmd->callback([opt, cmd, &result] {
    if (opt->file.empty() && opt->template_path.empty()) {
      throw CLI::RequiredError("FILE or --template");
    }
    if (!opt->template_path.empty() && cmd->count("--rate") == 0) {
      throw CLI::RequiredError("--rate");
    }
    nlohmann::ordered_json doc;
    auto finish = [&](int status) {
      result.status = status;
      if (opt->json) std::printf("%s\n", doc.dump(2).c_str());
    };
    if (!opt->template_path.empty()) {
      if (!MayWriteOutput("response", UnitTemplateFileName(opt->template_path),
                          {opt->file, opt->chain}, opt->force, result))
        return;
      std::string written;
      const TResponseStatus s =
          WriteUnitResponseTemplate(opt->template_path, opt->note, opt->rate, &written);
      if (!s) {
        std::fprintf(stderr, "%s\n", s.message.c_str());
        doc["template"] = {{"file", written}, {"error", s.message}};
        return finish(1);
      }
      std::fprintf(stderr, "written %s\n", written.c_str());
      doc["template"] = {{"file", written}};
    }
    if (opt->file.empty()) return finish(0);
    TCombinedFilter chain;
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    std::vector<std::string> noted;  // the files said to be flat, each said once
    for (const std::string& path : {opt->file, opt->chain}) {
      if (path.empty()) continue;
      TFilterPack pack;
      TResponseLoadInfo info;
      const TResponseStatus s = LoadResponse(path, pack, &info);
      if (!s) {
        std::fprintf(stderr, "%s\n", s.message.c_str());
        files.push_back({{"file", path}, {"error", s.message}});
        doc["files"] = files;
        return finish(1);
      }
      // A file read as nothing at all is a flat response; say so, since a misnamed or
      // mistyped file would give the same numbers.
      const bool flat = DescribesNothing(pack);
      if (flat && std::find(noted.begin(), noted.end(), path) == noted.end()) {
        std::fprintf(stderr, "%s%s\n", kFlatResponseNotice, path.c_str());
        noted.push_back(path);
      }
      // The numbers printed are the response to velocity the spectra divide by.
      if (info.Converted) {
        std::fprintf(stderr, "%s: input unit %s, evaluated as the response to velocity in m/s\n",
                     path.c_str(), pack.Device.UnitIn.c_str());
      }
      files.push_back({{"file", path},
                       {"flat", flat},
                       {"input_unit", pack.Device.UnitIn},
                       {"converted", info.Converted}});
      AppendPack(pack, chain);
    }
    doc["files"] = files;
    const std::vector<double> freqs = opt->freqs.empty() ? DefaultFrequencies() : opt->freqs;
    nlohmann::ordered_json lines = nlohmann::ordered_json::array();
    for (double f : freqs) {
      const TComplex h = EvaluateChain(chain, f);
      const double modulus = ResponseModulus(h);
      const double phase = std::atan2(h.imag(), h.real());
      if (opt->json) {
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
