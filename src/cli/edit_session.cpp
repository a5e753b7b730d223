#include "cli/edit_session.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/cli_output.h"
#include "cli/cli_texts.h"
#include "cli/project_cli.h"
#include "common/number_text.h"
#include "common/text_encoding.h"
#include "project/driver.h"
#include "project/project_file.h"

namespace tarvik::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string Flag(bool v) {
  return v ? "on" : "off";
}

std::string Time(TDateTime t) {
  return FormatIso(t);
}

std::string ComponentText(Component axis) {
  return IsKnownComponent(axis) ? std::string(1, ComponentLetter(axis))
                                : std::to_string(ComponentNumber(axis));
}

}  // namespace

std::string RecordLabel(const TProject& project, int index) {
  return Told(TCode::kCliRecordLabel,
              {std::to_string(index + 1), project.Records[static_cast<size_t>(index)].Station});
}

std::shared_ptr<EditOptions> AddEditOptions(CLI::App* cmd, SelectionUse use) {
  auto opt = std::make_shared<EditOptions>();
  cmd->add_option("PROJECT", opt->Project, "project file (.tvp)")->required();
  if (use != SelectionUse::kNone) {
    CLI::Option* records = cmd->add_option("--records", opt->Records,
                                           "the records to work on, numbered from 1: 1,3-5");
    CLI::Option* all = cmd->add_flag("--all", opt->All, "every record of the project");
    records->excludes(all);
    if (use == SelectionUse::kRequired) {
      CLI::Option_group* group = cmd->add_option_group("selection");
      group->add_option(records);
      group->add_option(all);
      group->require_option(1);
    }
  }
  cmd->add_flag("--dry-run", opt->DryRun, "print what would change without saving");
  cmd->add_flag("--json", opt->Json, "one JSON object on stdout");
  return opt;
}

CLI::Validator OnOff() {
  return CLI::IsMember({"on", "off", "1", "0", "yes", "no", "true", "false"}, CLI::ignore_case);
}

bool IsOn(const std::string& text) {
  const std::string t = AsciiUpper(text);
  return t == "ON" || t == "1" || t == "YES" || t == "TRUE";
}

std::string FullPath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  return ec ? path : full.lexically_normal().string();
}

EditSession::EditSession(const EditOptions& options, const char* command, CommandResult& result)
    : options_(options),
      command_(command),
      result_(result),
      host_(ConsoleUiHost::Answer::kNo, true, Language()) {}

bool EditSession::Open(SelectionUse use, bool changes) {
  if (changes && !options_.DryRun) {
    lock_ = TProjectLock::Acquire(ProjectFilePath(options_.Project));
    if (!lock_.Held()) {
      Fail(lock_.Error());
      return false;
    }
  }
  if (!OpenProject(options_.Project, project_, host_)) {
    result_.Status = 1;
    return false;
  }
  before_ = project_;
  if (use == SelectionUse::kNone) return true;
  if (options_.All || (use == SelectionUse::kOptional && options_.Records.empty())) {
    selection_ = AllRecords(project_);
  } else {
    TStatus error;
    if (!ParseRecordSelection(options_.Records, static_cast<int>(project_.Records.size()),
                              selection_, error)) {
      Usage(MakeStatus(TCode::kCliBecause, {"--records", error}));
      return false;
    }
  }
  if (selection_.empty() && use == SelectionUse::kRequired) {
    Usage("the project has no records");
    return false;
  }
  return true;
}

void EditSession::Refuse(int status, const std::string& text, std::string_view code) {
  ErrPrintf("%s: %s\n", command_.c_str(), text.c_str());
  result_.Status = status;
  // With --json the refusal is a document too, with its code, as the other commands give one.
  if (options_.Json) {
    const Json j{
        {"command", command_},
        {"project", project_.FileName.empty() ? FullPath(options_.Project) : project_.FileName},
        {"saved", false},
        {"error", text},
        {"error_code", std::string(code)}};
    std::printf("%s\n", j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  }
}

void EditSession::Usage(const std::string& why) {
  Refuse(2, Tr(why), CodeName(TCode::kCliUsageError));
}

void EditSession::Fail(const std::string& why) {
  Refuse(1, Tr(why), CodeName(TCode::kCliUsageError));
}

void EditSession::Usage(const TStatus& why) {
  Refuse(2, Text(why, Language()), CodeName(why.Code));
}

void EditSession::Fail(const TStatus& why) {
  Refuse(1, Text(why, Language()), CodeName(why.Code));
}

std::optional<int> EditSession::Channel(int number) {
  for (int i : selection_) {
    const TFileRecord& r = project_.Records[static_cast<size_t>(i)];
    if (number < 1 || number > r.ChannelCount()) {
      Usage(
          MakeStatus(TCode::kCliRecordHasChannels, {std::to_string(number), std::to_string(i + 1),
                                                    r.Station, std::to_string(r.ChannelCount())}));
      return std::nullopt;
    }
  }
  return number - 1;
}

void EditSession::Change(const std::string& text, Json json) {
  lines_.push_back(text);
  changes_.push_back(std::move(json));
}

void EditSession::Warn(const std::string& text) {
  warnings_.push_back(text);
  warning_codes_.emplace_back();
}

void EditSession::Warn(const TStatus& status) {
  warnings_.push_back(Text(status, Language()));
  warning_codes_.emplace_back(CodeName(status.Code));
}

bool EditSession::Apply(const TRecordOpResult& result) {
  for (const TStatus& w : result.Warnings) Warn(w);
  if (!result.Done) {
    Usage(result.Status);
    return false;
  }
  return true;
}

void EditSession::DescribeFieldChanges() {
  const size_t n = std::min(before_.Records.size(), project_.Records.size());
  for (size_t i = 0; i < n; ++i) {
    const TFileRecord& a = before_.Records[i];
    const TFileRecord& b = project_.Records[i];
    const std::string label = RecordLabel(before_, static_cast<int>(i));
    auto note = [&](int channel, const char* field, const std::string& from,
                    const std::string& to) {
      if (from == to) return;
      std::string where = label;
      Json j{{"record", i + 1}};
      if (channel >= 0) {
        where = Told(TCode::kCliChannelLabel,
                     {label, std::to_string(channel + 1), a.Channels[channel].Channel});
        j["channel"] = channel + 1;
      }
      j["field"] = field;
      j["from"] = from;
      j["to"] = to;
      Change(where + ": " + field + " " + from + " -> " + to, std::move(j));
    };
    note(-1, "File", a.File, b.File);
    note(-1, "Station", a.Station, b.Station);
    note(-1, "SampRate", FormatNumber(a.SampRate), FormatNumber(b.SampRate));
    note(-1, "ToProcess", Flag(a.ToProcess), Flag(b.ToProcess));
    note(-1, "ToProcessNakamura", Flag(a.ToProcessNakamura), Flag(b.ToProcessNakamura));
    note(-1, "Start", Time(a.Start), Time(b.Start));
    note(-1, "Finish", Time(a.Finish), Time(b.Finish));
    note(-1, "SelectStart", Time(a.SelectStart), Time(b.SelectStart));
    note(-1, "SelectFinish", Time(a.SelectFinish), Time(b.SelectFinish));
    note(-1, "IsEvent", Flag(a.IsEvent), Flag(b.IsEvent));
    const int channels = std::clamp(std::min(a.ChannelCount(), b.ChannelCount()), 0, kMaxChannels);
    for (int c = 0; c < channels; ++c) {
      note(c, "Channel", a.Channels[c].Channel, b.Channels[c].Channel);
      note(c, "ChanSelected", Flag(a.Channels[c].Selected), Flag(b.Channels[c].Selected));
      note(c, "Axis", ComponentText(a.Channels[c].Axis), ComponentText(b.Channels[c].Axis));
      note(c, "Level", std::to_string(a.Channels[c].Level), std::to_string(b.Channels[c].Level));
      note(c, "ADCCoef", FormatNumber(a.Channels[c].ADCCoef), FormatNumber(b.Channels[c].ADCCoef));
      note(c, "SensorResp", a.Channels[c].SensorResp, b.Channels[c].SensorResp);
      note(c, "AmplifierResp", a.Channels[c].AmplifierResp, b.Channels[c].AmplifierResp);
      note(c, "ChannelResp", a.Channels[c].ChannelResp, b.Channels[c].ChannelResp);
    }
  }
}

void EditSession::DescribeAdded(const std::vector<int>& added) {
  for (int i : added) {
    const TFileRecord& r = project_.Records[static_cast<size_t>(i)];
    Change(Told(TCode::kCliChangeAdded, {std::to_string(i + 1), PrimaryEntryText(r, Language())}),
           Json{{"added", i + 1}, {"Station", r.Station}, {"entry", PrimaryEntryText(r)}});
  }
}

void EditSession::Finish() {
  for (const std::string& w : warnings_)
    ErrPrintf("%s: warning: %s\n", command_.c_str(), w.c_str());
  // A save also turns the previous file into the backup: not worth it when nothing shows.
  const bool save = project_.Modified && !lines_.empty() && !options_.DryRun;
  std::string saved_as = project_.FileName;
  if (save) {
    const SaveResult saved =
        SaveProject(project_, project_.FileName, project_.Form, host_, "", &lock_);
    if (!saved.Ok) {
      // The message is already on stderr; the project file is as it was.
      result_.Status = 1;
      if (options_.Json) {
        const Json j{{"command", command_},
                     {"project", project_.FileName},
                     {"saved", false},
                     {"error", Text(saved.Error, Language())},
                     {"error_code", std::string(CodeName(saved.Error.Code))}};
        std::printf("%s\n",
                    j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
      }
      return;
    }
    saved_as = saved.FileName;
  }
  const char* state = save ? "saved" : options_.DryRun ? "not saved (dry run)" : "unchanged";
  if (options_.Json) {
    Json j{{"command", command_},
           {"project", saved_as},
           {"saved", save},
           {"dry_run", options_.DryRun},
           {"records", project_.Records.size()},
           {"changes", changes_},
           {"warnings", warnings_},
           {"warning_codes", warning_codes_}};
    std::printf("%s\n", j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  } else {
    for (const std::string& line : lines_) std::printf("%s\n", line.c_str());
    OutPrintf("%s: %s, %zu records\n", saved_as.c_str(), Tr(state).c_str(),
              project_.Records.size());
  }
  result_.Status = 0;
}

}  // namespace tarvik::cli
