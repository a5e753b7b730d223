// tarvik-cli edit PROJECT.tvp (--records 1,3-5 | --all) [record fields] [--channel C |
// --all-channels] [channel fields]: edits the selected records as the record editor does and
// saves the project; --stationxml FILE [--network NET] gives the channels of the selected records
// their responses from a StationXML document.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/edit_session.h"
#include "common/text_encoding.h"
#include "project/record_editor.h"

namespace tarvik::cli {

namespace {

struct EditFields {
  std::optional<std::string> station, select_start, select_finish, start, finish, event, rate,
      process, hv;
  int channel = 0;
  bool all_channels = false;
  std::optional<std::string> component, sensor, amplifier, channel_resp, adc, selected, rename;
  std::optional<int64_t> level;
  std::optional<std::string> stationxml;
  std::string network;

  bool AnyChannelField() const {
    return component || level || sensor || amplifier || channel_resp || adc || selected || rename;
  }
  bool AnyField() const {
    return station || select_start || select_finish || start || finish || event || rate ||
           process || hv || stationxml || AnyChannelField();
  }
};

int32_t AxisOf(const std::string& letter) {
  const std::string l = AsciiUpper(letter);
  return l == "E" ? 0 : l == "N" ? 1 : 2;
}

// Applies the fields in the order of the editor's controls; false when one was refused.
bool ApplyFields(EditSession& s, const EditFields& f) {
  TProject& p = s.Project();
  const TSelection& sel = s.Selection();
  if (f.station && !s.Apply(SetStation(p, sel, *f.station))) return false;
  // Start and Finish belong to one record each: every selected record in turn is the current.
  for (int i : sel) {
    if (f.start && !s.Apply(SetRecordStart(p, i, *f.start))) return false;
    if (f.finish && !s.Apply(SetRecordFinish(p, i, *f.finish))) return false;
  }
  // Both ends of the selection at once: each is checked against the other as given, and both
  // are brought into the record as it is after the edits above.
  const auto view = [](const std::optional<std::string>& t) {
    return t ? std::optional<std::string_view>(*t) : std::nullopt;
  };
  if ((f.select_start || f.select_finish) &&
      !s.Apply(SetSelection(p, sel, view(f.select_start), view(f.select_finish))))
    return false;
  if (f.event && !s.Apply(SetIsEvent(p, sel, IsOn(*f.event)))) return false;
  if (f.rate && !s.Apply(SetSamplingRate(p, sel, s.Current(), *f.rate))) return false;
  if (f.process && !s.Apply(SetToProcess(p, sel, IsOn(*f.process)))) return false;
  if (f.hv && !s.Apply(SetToProcessHV(p, sel, IsOn(*f.hv)))) return false;
  if (f.stationxml) {
    // A document that cannot be read is a failure, not a wrong use.
    const TRecordOpResult r = AssignStationXmlResponses(p, sel, FullPath(*f.stationxml), f.network);
    if (!r.Done) {
      s.Fail(r.Message);
      return false;
    }
    s.Apply(r);
  }
  if (!f.AnyChannelField()) return true;

  int channel = kAllChannels;
  if (!f.all_channels) {
    const std::optional<int> c = s.Channel(f.channel);
    if (!c) return false;
    channel = *c;
  }
  if (f.rename && !s.Apply(RenameChannel(p, sel, channel, *f.rename))) return false;
  if (f.selected && !s.Apply(SetChannelSelected(p, sel, channel, IsOn(*f.selected)))) return false;
  if (f.component && !s.Apply(SetComponent(p, sel, channel, AxisOf(*f.component)))) return false;
  if (f.level && !s.Apply(SetLevel(p, sel, channel, *f.level))) return false;
  const std::pair<const std::optional<std::string>*, TResponseKind> files[] = {
      {&f.sensor, TResponseKind::kSensor},
      {&f.amplifier, TResponseKind::kAmplifier},
      {&f.channel_resp, TResponseKind::kChannel}};
  for (const auto& [path, kind] : files) {
    if (*path && !s.Apply(SetResponseFile(p, sel, channel, kind, FullPath(**path)))) return false;
  }
  if (f.adc && !s.Apply(SetAdcCoefficient(p, sel, s.Current(), channel, *f.adc))) return false;
  return true;
}

// Warns about selections that a run would find empty.
void CheckSelections(EditSession& s) {
  for (int i : s.Selection()) {
    const TFileRecord& r = s.Project().Records[static_cast<size_t>(i)];
    if (r.SelectFinish <= r.SelectStart) {
      s.Warn(RecordLabel(s.Project(), i) + ": the selection ends before it begins");
    } else if (r.SelectFinish <= r.Start || r.SelectStart >= r.Finish) {
      s.Warn(RecordLabel(s.Project(), i) + ": the selection lies outside the record");
    }
  }
}

}  // namespace

void RegisterEdit(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "edit", "Edit the fields of the selected records and of a channel, then save the project");
  auto opt = AddEditOptions(cmd, SelectionUse::kRequired);
  auto f = std::make_shared<EditFields>();
  const std::string times = "date and time: 2024-05-14T01:00:00.000 or 14.05.2024 01:00:00";
  cmd->add_option("--station", f->station, "station code (cut to 7 characters)");
  cmd->add_option("--select-start", f->select_start, "start of the selected span, " + times);
  cmd->add_option("--select-finish", f->select_finish, "end of the selected span, " + times);
  cmd->add_option("--start", f->start, "start of the record, " + times);
  cmd->add_option("--finish", f->finish, "end of the record, " + times);
  cmd->add_option("--event", f->event, "an event record (on) or a microseism record (off)")
      ->check(OnOff());
  cmd->add_option("--rate", f->rate, "sampling rate, Hz");
  cmd->add_option("--process", f->process, "check mark in the list of primary spectra")
      ->check(OnOff());
  cmd->add_option("--hv", f->hv, "check mark in the list of H/V spectra")->check(OnOff());
  CLI::Option* channel =
      cmd->add_option("--channel", f->channel, "the channel (from 1) the channel fields edit")
          ->check(CLI::PositiveNumber);
  CLI::Option* all =
      cmd->add_flag("--all-channels", f->all_channels, "the channel fields of every channel");
  channel->excludes(all);
  cmd->add_option("--component", f->component, "component E, N or Z")
      ->check(CLI::IsMember({"E", "N", "Z"}, CLI::ignore_case));
  cmd->add_option("--level", f->level, "admissible level, counts")
      ->check(CLI::Range(int64_t{1}, int64_t{2147483647}));
  cmd->add_option("--sensor", f->sensor, "sensor response file (\"\" for none)");
  cmd->add_option("--amplifier", f->amplifier, "amplifier response file (\"\" for none)");
  cmd->add_option("--channel-resp", f->channel_resp,
                  "response file of the whole channel (\"\" for none)");
  cmd->add_option("--adc", f->adc, "ADC coefficient, counts per volt");
  cmd->add_option("--selected", f->selected, "the channel takes part in processing")
      ->check(OnOff());
  cmd->add_option("--rename", f->rename, "new channel name")->excludes(all);
  CLI::Option* xml =
      cmd->add_option(
             "--stationxml", f->stationxml,
             "a StationXML document: every channel of the selected records whose station, channel "
             "code (and location, from a name LL.CHN) match a channel of it in the epoch covering "
             "the record's start gets that channel's response as its channel response FILE#NET."
             "STA.LOC.CHA, with empty sensor and amplifier responses (the document holds the whole "
             "chain) and ADC coefficient 1 when the chain ends in counts; a channel without a "
             "match is named and keeps its settings")
          ->excludes("--sensor")
          ->excludes("--amplifier")
          ->excludes("--channel-resp");
  cmd->add_option("--network", f->network, "with --stationxml: match only this network code")
      ->needs(xml);
  cmd->callback([opt, f, &result] {
    EditSession s(*opt, "edit", result);
    if (!f->AnyField()) {
      s.Usage("nothing to change: give a field such as --station or --level");
      return;
    }
    if (f->AnyChannelField() && f->channel == 0 && !f->all_channels) {
      s.Usage("the channel fields need --channel C or --all-channels");
      return;
    }
    if (!s.Open(SelectionUse::kRequired)) return;
    if (!ApplyFields(s, *f)) return;
    if (f->select_start || f->select_finish || f->start || f->finish) CheckSelections(s);
    s.DescribeFieldChanges();
    s.Finish();
  });
}

}  // namespace tarvik::cli
