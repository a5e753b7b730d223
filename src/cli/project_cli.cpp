#include "cli/project_cli.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "cli/cli_output.h"
#include "project/project_file.h"
#include "project/settings_keys.h"

namespace tarvik::cli {

bool OpenProject(const std::string& path, TProject& project, UiHost& host) {
  const LoadStatus status = LoadProject(project, path, host);
  if (status == LoadStatus::kNewerVersion) {
    // The desktop program stays silent here; a script needs to know why nothing happened.
    ErrLine(TCode::kCliLaterVersion, {path});
  }
  return status == LoadStatus::kLoaded;
}

int ProjectForm(const std::string& path) {
  return ProbeProjectFormat(path) == 1 ? 1 : 0;
}

TResultFolders ProjectResultFolders(const TProject& project) {
  return DeriveResultFolders(project.General.ResultDir, project.Folder);
}

bool ParseRecordSelection(const std::string& text, int count, std::vector<int>& out,
                          TStatus& error) {
  std::vector<bool> chosen(static_cast<size_t>(std::max(count, 0)), false);
  size_t from = 0;
  while (from <= text.size()) {
    const size_t comma = std::min(text.find(',', from), text.size());
    const std::string part = text.substr(from, comma - from);
    const size_t dash = part.find('-');
    auto number = [&](const std::string& s, int& v) {
      if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
      v = std::stoi(s);
      return true;
    };
    int lo = 0, hi = 0;
    const bool ok = dash == std::string::npos
                        ? number(part, lo) && (hi = lo, true)
                        : number(part.substr(0, dash), lo) && number(part.substr(dash + 1), hi);
    if (!ok || lo < 1 || hi < lo || hi > count) {
      error = MakeStatus(TCode::kCliNotRecordRange, {part, std::to_string(count)});
      return false;
    }
    for (int i = lo; i <= hi; ++i) chosen[static_cast<size_t>(i - 1)] = true;
    from = comma + 1;
  }
  out.clear();
  for (int i = 0; i < count; ++i) {
    if (chosen[static_cast<size_t>(i)]) out.push_back(i);
  }
  return true;
}

std::string ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  return self.parent_path().string();
}

TStatus AmplitudeSpectraHint(const TProject& project, int index) {
  const TFileRecord& r = project.Records[static_cast<size_t>(index)];
  const std::string quoted = "'" + project.FileName + "'";
  const std::string run =
      "tarvik-cli run " + quoted + " --spectra --only " + std::to_string(index + 1);
  if (project.SettingsFor(r).SpectrumType == TSpectrumType::kAmplitude)
    return MakeStatus(TCode::kCliComputeSpectraFirst, {run});
  const std::string settings =
      "tarvik-cli settings " + quoted + (r.IsEvent ? " --events" : "") + " SpectrumType=0";
  return MakeStatus(TCode::kCliComputeSpectraFirst, {MakeStatus(TCode::kCliThen, {settings, run})});
}

std::string SegmentLengthText(int32_t samples, double rate) {
  return Told(TCode::kCliSegmentLength,
              {FormatNumber(samples / rate), std::to_string(samples), FormatNumber(rate)});
}

std::string SegmentsText(const TSpectrumSettings& settings, double rate) {
  const TWindowLength w = WindowLengthUsed(settings, rate);
  if (!w.Error.Ok()) return Told(TCode::kCliNoSegmentAt, {FormatNumber(rate), w.Error});
  std::string text = SegmentLengthText(w.Samples, rate);
  if (w.Transform != w.Samples)
    text = Told(TCode::kCliZeroFilled, {text, std::to_string(w.Transform)});
  if (w.Rounded) text = Told(TCode::kCliSilenceRounded, {text, FormatNumber(settings.SilenceDur)});
  return text;
}

}  // namespace tarvik::cli
