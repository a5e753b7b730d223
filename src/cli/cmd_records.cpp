// The record-management commands of tarvik-cli, one per action of the records page: split,
// clone, combine, delete, sort, change-path, channels and template. Each works on a selection
// of records and saves the project.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/edit_session.h"
#include "cli/output_guard.h"
#include "common/paths.h"
#include "project/channel_ini.h"
#include "project/driver.h"
#include "project/record_editor.h"
#include "response/rsp_file.h"

namespace tarvik::cli {

namespace {

using Json = nlohmann::ordered_json;

void WarnMissingFiles(EditSession& s, const TSelection& selection) {
  for (int i : selection) {
    const TFileRecord& r = s.Project().Records[static_cast<size_t>(i)];
    std::error_code ec;
    if (!std::filesystem::is_regular_file(r.File, ec))
      s.Warn(MakeStatus(TCode::kCliFileNotThere, {RecordLabel(s.Project(), i), r.File}));
  }
}

void RegisterSplit(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "split",
      "Add one record per selected channel of the selected records, each with a station of its "
      "own (Station-E, Station-N, Station-Z of channels HHE, HHN, HHZ)");
  auto opt = AddEditOptions(cmd, SelectionUse::kRequired);
  cmd->callback([opt, &result] {
    EditSession s(*opt, "split", result);
    if (!s.Open(SelectionUse::kRequired)) return;
    const TRecordOpResult r = SplitChannels(s.Project(), s.Selection());
    if (!s.Apply(r)) return;
    s.DescribeAdded(r.NewRecords);
    s.Finish();
  });
}

void RegisterClone(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "clone",
      "Append copies of the selected records (Station-1, Station-2, ... numbered over the "
      "command, each a station of its own)");
  auto opt = AddEditOptions(cmd, SelectionUse::kRequired);
  auto copies = std::make_shared<int>(1);
  cmd->add_option("--copies", *copies, "how many times the selection is copied")
      ->check(CLI::Range(0, 1000))
      ->capture_default_str();
  cmd->callback([opt, copies, &result] {
    EditSession s(*opt, "clone", result);
    if (!s.Open(SelectionUse::kRequired)) return;
    const TRecordOpResult r = CloneRecords(s.Project(), s.Selection(), *copies);
    if (!s.Apply(r)) return;
    s.DescribeAdded(r.NewRecords);
    s.Finish();
  });
}

void RegisterCombine(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "combine",
      "Join the selected records into the earliest one (latest Finish and SelectFinish); "
      "records that overlap in time are joined by their channels");
  auto opt = AddEditOptions(cmd, SelectionUse::kRequired);
  auto channels = std::make_shared<bool>(false);
  cmd->add_flag("--channels", *channels,
                "join simultaneous records of one station (its channels in files of their own) "
                "into one record of all their channels");
  cmd->callback([opt, channels, &result] {
    EditSession s(*opt, "combine", result);
    if (!s.Open(SelectionUse::kRequired)) return;
    if (s.Selection().size() < 2) {
      s.Usage("give at least two records to combine");
      return;
    }
    const TRecordOpResult r = *channels ? CombineChannels(s.Project(), s.Selection())
                                        : CombineRecords(s.Project(), s.Selection());
    if (!s.Apply(r)) return;
    const int kept = r.Selection.front();
    const TFileRecord& k = s.Project().Records[static_cast<size_t>(kept)];
    const TSelection chosen = NormalizeSelection(s.Before(), s.Selection());
    // Channels join into the first selected record; records in time into the earliest, whose
    // first file stays the kept record's.
    const int first = *std::min_element(chosen.begin(), chosen.end());
    const bool by_channels =
        k.ChannelCount() > s.Before().Records[static_cast<size_t>(first)].ChannelCount();
    for (int i : chosen) {
      const TFileRecord& was = s.Before().Records[static_cast<size_t>(i)];
      if (by_channels ? i == first
                      : was.File == k.File && was.Start == k.Start && was.Station == k.Station) {
        s.Change(Told(TCode::kCliChangeKept,
                      {RecordLabel(s.Before(), i), std::to_string(kept + 1), FormatIso(k.Finish),
                       FormatIso(k.SelectFinish), std::to_string(k.ChannelCount())}),
                 Json{{"kept", i + 1},
                      {"now", kept + 1},
                      {"Finish", FormatIso(k.Finish)},
                      {"SelectFinish", FormatIso(k.SelectFinish)},
                      {"channels", k.ChannelCount()}});
        continue;
      }
      s.Change(Told(TCode::kCliChangeRemoved, {RecordLabel(s.Before(), i)}),
               Json{{"removed", i + 1}, {"Station", was.Station}});
    }
    s.Finish();
  });
}

void RegisterDelete(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand("delete", "Remove the selected records from the project");
  auto opt = AddEditOptions(cmd, SelectionUse::kRequired);
  cmd->callback([opt, &result] {
    EditSession s(*opt, "delete", result);
    if (!s.Open(SelectionUse::kRequired)) return;
    for (int i : NormalizeSelection(s.Project(), s.Selection())) {
      const TFileRecord& r = s.Project().Records[static_cast<size_t>(i)];
      s.Change(Told(TCode::kCliChangeRemoved, {RecordLabel(s.Project(), i)}),
               Json{{"removed", i + 1}, {"Station", r.Station}});
    }
    if (!s.Apply(DeleteRecords(s.Project(), s.Selection()))) return;
    s.Finish();
  });
}

const std::map<std::string, TSortKey> kSortKeys = {
    {"file", TSortKey::kFile},     {"station", TSortKey::kStation},
    {"start", TSortKey::kStart},   {"finish", TSortKey::kFinish},
    {"length", TSortKey::kLength}, {"selection", TSortKey::kSelection}};

void RegisterSort(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "sort", "Sort all records, or only the selected ones among their own positions");
  auto opt = AddEditOptions(cmd, SelectionUse::kOptional);
  auto key = std::make_shared<std::string>();
  cmd->add_option("--key", *key,
                  "file, station, start, finish, length (of the record) or selection (its "
                  "length); ties go by file")
      ->required()
      ->check(CLI::IsMember(kSortKeys));
  cmd->callback([opt, key, &result] {
    EditSession s(*opt, "sort", result);
    if (!s.Open(SelectionUse::kOptional)) return;
    const TSortKey k = kSortKeys.at(*key);
    const TRecordOpResult r = opt->Records.empty() ? SortAll(s.Project(), k)
                                                   : SortSelected(s.Project(), s.Selection(), k);
    if (!s.Apply(r)) return;
    for (size_t now = 0; now < r.Order.size(); ++now) {
      const int was = r.Order[now];
      if (was == static_cast<int>(now)) continue;
      s.Change(RecordLabel(s.Before(), was) + " -> " + std::to_string(now + 1),
               Json{{"record", was + 1}, {"now", now + 1}});
    }
    s.Finish();
  });
}

void RegisterChangePath(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "change-path", "Move the selected records' files to another folder (the names stay)");
  auto opt = AddEditOptions(cmd, SelectionUse::kRequired);
  auto dir = std::make_shared<std::string>();
  cmd->add_option("DIR", *dir, "the folder that now holds the files")->required();
  cmd->callback([opt, dir, &result] {
    EditSession s(*opt, "change-path", result);
    if (!s.Open(SelectionUse::kRequired)) return;
    std::error_code ec;
    const std::string folder = FullPath(*dir);
    if (!std::filesystem::is_directory(folder, ec))
      s.Warn(MakeStatus(TCode::kCliNotAFolder, {folder}));
    if (!s.Apply(ChangePath(s.Project(), s.Selection(), folder))) return;
    WarnMissingFiles(s, s.Selection());
    s.DescribeFieldChanges();
    s.Finish();
  });
}

void RegisterChannels(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "channels",
      "Write the first selected record's channel responses and components to an INI file, or "
      "give the file's values to every selected record");
  auto opt = AddEditOptions(cmd, SelectionUse::kRequired);
  auto to = std::make_shared<std::string>();
  auto from = std::make_shared<std::string>();
  CLI::Option* to_opt =
      cmd->add_option("--to-ini", *to, "write the channel settings (\".ini\" appended)");
  CLI::Option* from_opt = cmd->add_option("--from-ini", *from, "read the channel settings");
  to_opt->excludes(from_opt);
  auto force = std::make_shared<bool>(false);
  cmd->add_flag("--force", *force, "replace the --to-ini file when it exists")->needs(to_opt);
  CLI::Option_group* group = cmd->add_option_group("direction");
  group->add_option(to_opt);
  group->add_option(from_opt);
  group->require_option(1);
  cmd->callback([opt, to, from, force, &result] {
    EditSession s(*opt, "channels", result);
    if (!s.Open(SelectionUse::kRequired)) return;
    if (!to->empty()) {
      if (!MayWriteOutput("channels", ChannelIniName(FullPath(*to)), {FullPath(opt->Project)},
                          *force, result))
        return;
      const TRecordOpResult r = ChannelsToIni(s.Project(), s.Current(), FullPath(*to));
      if (!r.Done) {
        s.Fail(r.Status);
        return;
      }
      s.Change(Told(TCode::kCliChangeWroteChannels,
                    {r.Written, std::to_string(r.Count), RecordLabel(s.Project(), s.Current())}),
               Json{{"written", r.Written}, {"record", s.Current() + 1}, {"channels", r.Count}});
      s.Finish();
      return;
    }
    const TRecordOpResult r =
        ChannelsFromIni(s.Project(), s.Selection(), s.Current(), FullPath(*from));
    for (const TStatus& w : r.Warnings) s.Warn(w);
    if (!r.Done) {
      s.Fail(r.Status);
      return;
    }
    s.DescribeFieldChanges();
    s.Finish();
  });
}

const std::map<std::string, TResponseKind> kResponseKinds = {
    {"sensor", TResponseKind::kSensor},
    {"amplifier", TResponseKind::kAmplifier},
    {"channel", TResponseKind::kChannel}};

void RegisterTemplate(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "template",
      "Write a unit-response template for the first selected record's rate and assign it to a "
      "channel of every selected record");
  auto opt = AddEditOptions(cmd, SelectionUse::kRequired);
  struct Options {
    std::string Out;
    int Channel = 0;
    std::string Kind = "channel";
    bool Force = false;
  };
  auto t = std::make_shared<Options>();
  cmd->add_option("OUT", t->Out, "the template file (\".rsp\" appended)")->required();
  cmd->add_option("--channel", t->Channel, "the channel (from 1)")
      ->required()
      ->check(CLI::PositiveNumber);
  cmd->add_option("--kind", t->Kind, "which response the template stands for")
      ->check(CLI::IsMember(kResponseKinds))
      ->capture_default_str();
  AddForceFlag(cmd, t->Force);
  cmd->callback([opt, t, &result] {
    EditSession s(*opt, "template", result);
    if (!s.Open(SelectionUse::kRequired)) return;
    const std::optional<int> channel = s.Channel(t->Channel);
    if (!channel) return;
    if (!MayWriteOutput("template", UnitTemplateFileName(FullPath(t->Out)),
                        {FullPath(opt->Project)}, t->Force, result))
      return;
    const TRecordOpResult r = AssignUnitTemplate(s.Project(), s.Selection(), s.Current(), *channel,
                                                 kResponseKinds.at(t->Kind), FullPath(t->Out));
    if (!r.Done) {
      s.Fail(r.Status);
      return;
    }
    s.Change(Told(TCode::kCliChangeWrote, {r.Written}), Json{{"written", r.Written}});
    s.DescribeFieldChanges();
    s.Finish();
  });
}

}  // namespace

void RegisterRecordCommands(CLI::App& app, CommandResult& result) {
  RegisterSplit(app, result);
  RegisterClone(app, result);
  RegisterCombine(app, result);
  RegisterDelete(app, result);
  RegisterSort(app, result);
  RegisterChangePath(app, result);
  RegisterChannels(app, result);
  RegisterTemplate(app, result);
}

}  // namespace tarvik::cli
