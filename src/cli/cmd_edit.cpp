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
  std::optional<std::string> Station, SelectStart, SelectFinish, Start, Finish, Event, Rate,
      Process, Hv;
  int Channel = 0;
  bool AllChannels = false;
  std::optional<std::string> Component, Sensor, Amplifier, ChannelResp, Adc, Selected, Rename;
  std::optional<int64_t> Level;
  std::optional<std::string> Stationxml;
  std::string Network;

  bool AnyChannelField() const {
    return Component || Level || Sensor || Amplifier || ChannelResp || Adc || Selected || Rename;
  }
  bool AnyField() const {
    return Station || SelectStart || SelectFinish || Start || Finish || Event || Rate || Process ||
           Hv || Stationxml || AnyChannelField();
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
  if (f.Station && !s.Apply(SetStation(p, sel, *f.Station))) return false;
  // Start and Finish belong to one record each: every selected record in turn is the current.
  for (int i : sel) {
    if (f.Start && !s.Apply(SetRecordStart(p, i, *f.Start))) return false;
    if (f.Finish && !s.Apply(SetRecordFinish(p, i, *f.Finish))) return false;
  }
  // Both ends of the selection at once: each is checked against the other as given, and both
  // are brought into the record as it is after the edits above.
  const auto view = [](const std::optional<std::string>& t) {
    return t ? std::optional<std::string_view>(*t) : std::nullopt;
  };
  if ((f.SelectStart || f.SelectFinish) &&
      !s.Apply(SetSelection(p, sel, view(f.SelectStart), view(f.SelectFinish))))
    return false;
  if (f.Event && !s.Apply(SetIsEvent(p, sel, IsOn(*f.Event)))) return false;
  if (f.Rate && !s.Apply(SetSamplingRate(p, sel, s.Current(), *f.Rate))) return false;
  if (f.Process && !s.Apply(SetToProcess(p, sel, IsOn(*f.Process)))) return false;
  if (f.Hv && !s.Apply(SetToProcessHV(p, sel, IsOn(*f.Hv)))) return false;
  if (f.Stationxml) {
    // A document that cannot be read is a failure, not a wrong use.
    const TRecordOpResult r = AssignStationXmlResponses(p, sel, FullPath(*f.Stationxml), f.Network);
    if (!r.Done) {
      s.Fail(r.Status);
      return false;
    }
    s.Apply(r);
  }
  if (!f.AnyChannelField()) return true;

  int channel = kAllChannels;
  if (!f.AllChannels) {
    const std::optional<int> c = s.Channel(f.Channel);
    if (!c) return false;
    channel = *c;
  }
  if (f.Rename && !s.Apply(RenameChannel(p, sel, channel, *f.Rename))) return false;
  if (f.Selected && !s.Apply(SetChannelSelected(p, sel, channel, IsOn(*f.Selected)))) return false;
  if (f.Component && !s.Apply(SetComponent(p, sel, channel, AxisOf(*f.Component)))) return false;
  if (f.Level && !s.Apply(SetLevel(p, sel, channel, *f.Level))) return false;
  const std::pair<const std::optional<std::string>*, TResponseKind> files[] = {
      {&f.Sensor, TResponseKind::kSensor},
      {&f.Amplifier, TResponseKind::kAmplifier},
      {&f.ChannelResp, TResponseKind::kChannel}};
  for (const auto& [path, kind] : files) {
    if (*path && !s.Apply(SetResponseFile(p, sel, channel, kind, FullPath(**path)))) return false;
  }
  if (f.Adc && !s.Apply(SetAdcCoefficient(p, sel, s.Current(), channel, *f.Adc))) return false;
  return true;
}

// Warns about selections that a run would find empty.
void CheckSelections(EditSession& s) {
  for (int i : s.Selection()) {
    const TFileRecord& r = s.Project().Records[static_cast<size_t>(i)];
    if (r.SelectFinish <= r.SelectStart) {
      s.Warn(MakeStatus(TCode::kCliSelectionEndsFirst, {RecordLabel(s.Project(), i)}));
    } else if (r.SelectFinish <= r.Start || r.SelectStart >= r.Finish) {
      s.Warn(MakeStatus(TCode::kCliSelectionOutside, {RecordLabel(s.Project(), i)}));
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
  cmd->add_option("--station", f->Station, "station code (cut to 7 characters)");
  cmd->add_option("--select-start", f->SelectStart, "start of the selected span, " + times);
  cmd->add_option("--select-finish", f->SelectFinish, "end of the selected span, " + times);
  cmd->add_option("--start", f->Start, "start of the record, " + times);
  cmd->add_option("--finish", f->Finish, "end of the record, " + times);
  cmd->add_option("--event", f->Event, "an event record (on) or a microseism record (off)")
      ->check(OnOff());
  cmd->add_option("--rate", f->Rate, "sampling rate, Hz");
  cmd->add_option("--process", f->Process, "check mark in the list of primary spectra")
      ->check(OnOff());
  cmd->add_option("--hv", f->Hv, "check mark in the list of H/V spectra")->check(OnOff());
  CLI::Option* channel =
      cmd->add_option("--channel", f->Channel, "the channel (from 1) the channel fields edit")
          ->check(CLI::PositiveNumber);
  CLI::Option* all =
      cmd->add_flag("--all-channels", f->AllChannels, "the channel fields of every channel");
  channel->excludes(all);
  cmd->add_option("--component", f->Component, "component E, N or Z")
      ->check(CLI::IsMember({"E", "N", "Z"}, CLI::ignore_case));
  cmd->add_option("--level", f->Level, "admissible level, counts")
      ->check(CLI::Range(int64_t{1}, int64_t{2147483647}));
  cmd->add_option("--sensor", f->Sensor, "sensor response file (\"\" for none)");
  cmd->add_option("--amplifier", f->Amplifier, "amplifier response file (\"\" for none)");
  cmd->add_option("--channel-resp", f->ChannelResp,
                  "response file of the whole channel (\"\" for none)");
  cmd->add_option("--adc", f->Adc, "ADC coefficient, counts per volt");
  cmd->add_option("--selected", f->Selected, "the channel takes part in processing")
      ->check(OnOff());
  cmd->add_option("--rename", f->Rename, "new channel name")->excludes(all);
  CLI::Option* xml =
      cmd->add_option(
             "--stationxml", f->Stationxml,
             "a StationXML document: every channel of the selected records whose station, channel "
             "code (and location, from a name LL.CHN) match a channel of it in the epoch covering "
             "the record's start gets that channel's response as its channel response FILE#NET."
             "STA.LOC.CHA, with empty sensor and amplifier responses (the document holds the whole "
             "chain) and ADC coefficient 1 when the chain ends in counts; a channel without a "
             "match is named and keeps its settings")
          ->excludes("--sensor")
          ->excludes("--amplifier")
          ->excludes("--channel-resp");
  cmd->add_option("--network", f->Network, "with --stationxml: match only this network code")
      ->needs(xml);
  cmd->callback([opt, f, &result] {
    EditSession s(*opt, "edit", result);
    if (!f->AnyField()) {
      s.Usage("nothing to change: give a field such as --station or --level");
      return;
    }
    if (f->AnyChannelField() && f->Channel == 0 && !f->AllChannels) {
      s.Usage("the channel fields need --channel C or --all-channels");
      return;
    }
    if (!s.Open(SelectionUse::kRequired)) return;
    if (!ApplyFields(s, *f)) return;
    if (f->SelectStart || f->SelectFinish || f->Start || f->Finish) CheckSelections(s);
    s.DescribeFieldChanges();
    s.Finish();
  });
}

}  // namespace tarvik::cli
