// tarvik-cli response FILE [--freq F]... [--chain FILE2]: a response file's modulus and phase;
// tarvik-cli response --template OUT --rate R [--note TEXT]: writes the unit-response template.

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
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
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "response", "Evaluate a response file (frequency, modulus, phase) or write a template");
  cmd->add_option("FILE", opt->file, "response file (.rsp, .sac, .paz, .fap, .seed, .gse)");
  cmd->add_option("--freq", opt->freqs, "frequency in Hz (repeatable; default 0.01..100 Hz)");
  cmd->add_option("--chain", opt->chain, "a second response file appended as the amplifier");
  CLI::Option* tmpl =
      cmd->add_option("--template", opt->template_path, "write the unit-response template here");
  cmd->add_option("--rate", opt->rate, "sampling rate of the template's record, Hz")
      ->needs(tmpl)
      ->check(PositiveNumber());
  cmd->add_option("--note", opt->note, "the template's Note (the channel name)")->needs(tmpl);
  cmd->callback([opt, cmd, &result] {
    if (opt->file.empty() && opt->template_path.empty()) {
      throw CLI::RequiredError("FILE or --template");
    }
    if (!opt->template_path.empty() && cmd->count("--rate") == 0) {
      throw CLI::RequiredError("--rate");
    }
    result.status = 0;
    if (!opt->template_path.empty()) {
      std::string written;
      const TResponseStatus s =
          WriteUnitResponseTemplate(opt->template_path, opt->note, opt->rate, &written);
      if (!s) {
        std::fprintf(stderr, "%s\n", s.message.c_str());
        result.status = 1;
        return;
      }
      std::fprintf(stderr, "written %s\n", written.c_str());
    }
    if (opt->file.empty()) return;
    TCombinedFilter chain;
    for (const std::string& path : {opt->file, opt->chain}) {
      if (path.empty()) continue;
      TFilterPack pack;
      const TResponseStatus s = LoadResponse(path, pack);
      if (!s) {
        std::fprintf(stderr, "%s\n", s.message.c_str());
        result.status = 1;
        return;
      }
      AppendPack(pack, chain);
    }
    const std::vector<double> freqs = opt->freqs.empty() ? DefaultFrequencies() : opt->freqs;
    for (double f : freqs) {
      const TComplex h = EvaluateChain(chain, f);
      std::printf("%s\t%s\t%s\n", FormatNumber(f).c_str(), FormatNumber(ResponseModulus(h)).c_str(),
                  FormatNumber(std::atan2(h.imag(), h.real())).c_str());
    }
  });
}

}  // namespace tarvik::cli
