#include "project/record_editor.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/date_text.h"
#include "common/number_text.h"
#include "common/text_encoding.h"
#include "project/bin_ini_file.h"
#include "project/driver.h"
#include "project/project_file.h"
#include "response/load_response.h"
#include "response/rsp_file.h"
#include "response/stationxml.h"

namespace tarvik {

namespace {

constexpr int32_t kMaxLevel = 2147483647;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Exactly n digits at text[pos...].
bool Digits(std::string_view text, size_t& pos, size_t n, int& value) {
  if (pos + n > text.size()) return false;
  value = 0;
  for (size_t k = 0; k < n; ++k) {
    if (!IsDigit(text[pos + k])) return false;
    value = value * 10 + (text[pos + k] - '0');
  }
  pos += n;
  return true;
}

// "yyyy-MM-dd[Thh:nn[:ss[.fff]]][Z]".
std::optional<TDateTime> ParseIsoText(std::string_view t) {
  size_t pos = 0;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  double fraction = 0.0;
  if (!Digits(t, pos, 4, y) || pos >= t.size() || t[pos++] != '-' || !Digits(t, pos, 2, mo) ||
      pos >= t.size() || t[pos++] != '-' || !Digits(t, pos, 2, d))
    return std::nullopt;
  if (pos < t.size() && (t[pos] == 'T' || t[pos] == ' ')) {
    ++pos;
    if (!Digits(t, pos, 2, h) || pos >= t.size() || t[pos++] != ':' || !Digits(t, pos, 2, mi))
      return std::nullopt;
    if (pos < t.size() && t[pos] == ':') {
      ++pos;
      if (!Digits(t, pos, 2, s)) return std::nullopt;
      if (pos < t.size() && t[pos] == '.') {
        ++pos;
        double scale = 0.1;
        const size_t first = pos;
        while (pos < t.size() && IsDigit(t[pos])) {
          fraction += (t[pos] - '0') * scale;
          scale /= 10.0;
          ++pos;
        }
        if (pos == first) return std::nullopt;
      }
    }
  }
  if (pos < t.size() && t[pos] == 'Z') ++pos;
  if (pos != t.size()) return std::nullopt;
  const std::chrono::year_month_day ymd{std::chrono::year{y},
                                        std::chrono::month{static_cast<unsigned>(mo)},
                                        std::chrono::day{static_cast<unsigned>(d)}};
  if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return static_cast<double>(DaysFromCivil(y, mo, d)) +
         ((h * 60.0 + mi) * 60.0 + s + fraction) / kSecondsPerDay;
}

bool HasChannel(const TFileRecord& r, int channel) {
  return channel >= 0 && channel < std::clamp(r.ChannelCount(), 0, kMaxChannels);
}

// Calls edit(record, c) for the channel of every selected record that has it (every channel
// with kAllChannels); Count: the records touched.
template <typename Edit>
TRecordOpResult EditChannels(TProject& project, const TSelection& selection, int channel,
                             Edit edit) {
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  for (int i : result.Selection) {
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    bool touched = false;
    for (int c = 0; c < std::clamp(r.ChannelCount(), 0, kMaxChannels); ++c) {
      if (channel != kAllChannels && c != channel) continue;
      edit(r, c);
      touched = true;
    }
    if (touched) ++result.Count;
  }
  result.Done = true;
  return result;
}

// Calls edit(record) for every selected record and marks the project modified when there was
// one.
template <typename Edit>
TRecordOpResult EditRecords(TProject& project, const TSelection& selection, Edit edit) {
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  for (int i : result.Selection) edit(project.Records[static_cast<size_t>(i)]);
  result.Done = true;
  result.Count = static_cast<int>(result.Selection.size());
  if (result.Count > 0) project.Modified = true;
  return result;
}

TRecordOpResult Refused(TStatus status) {
  TRecordOpResult result;
  result.Status = std::move(status);
  return result;
}

TRecordOpResult Refused(TCode code) {
  return Refused(MakeStatus(code));
}

// Gives value to the field that field(record, channel) names, for the channel of every selected
// record; the project is modified only when a value changes.
template <typename Field, typename T>
TRecordOpResult SetChannelValue(TProject& project, const TSelection& selection, int channel,
                                Field field, const T& value) {
  bool changed = false;
  TRecordOpResult result = EditChannels(project, selection, channel, [&](TFileRecord& r, int c) {
    auto& f = field(r, c);
    if (f == value) return;
    f = value;
    changed = true;
  });
  if (changed) project.Modified = true;
  return result;
}

std::string& ResponseField(TFileRecord& r, int c, TResponseKind kind) {
  switch (kind) {
    case TResponseKind::kSensor:
      return r.Channels[c].SensorResp;
    case TResponseKind::kAmplifier:
      return r.Channels[c].AmplifierResp;
    case TResponseKind::kChannel:
      break;
  }
  return r.Channels[c].ChannelResp;
}

std::string SpanLines(const TProject& project, const TSelection& selection,
                      std::string (*line)(const TFileRecord&)) {
  std::string out;
  for (int i : NormalizeSelection(project, selection)) {
    if (!out.empty()) out += "\r\n";
    out += line(project.Records[static_cast<size_t>(i)]);
  }
  return out;
}

// The value every selected record gives, or nullopt when they differ.
template <typename Get>
auto Shared(const TProject& project, const TSelection& selection, Get get)
    -> std::optional<decltype(get(project.Records.front()))> {
  std::optional<decltype(get(project.Records.front()))> value;
  for (int i : selection) {
    const auto v = get(project.Records[static_cast<size_t>(i)]);
    if (!value) {
      value = v;
    } else if (!(*value == v)) {
      return std::nullopt;
    }
  }
  return value;
}

std::string RateText(double rate) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%1.1f", rate);
  return buf;
}

TStatus RecordName(const TProject& project, int i) {
  return MakeStatus(TCode::kRecordNumbered,
                    {std::to_string(i + 1), project.Records[static_cast<size_t>(i)].Station});
}

// The selection of every selected record from the ends given: each end is brought into the
// record (a warning says so), and a start that does not come before the finish refuses the
// whole edit, leaving every record as it was.
TRecordOpResult ApplySelection(TProject& project, const TSelection& selection,
                               std::optional<TDateTime> start, std::optional<TDateTime> finish) {
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  std::vector<std::pair<TDateTime, TDateTime>> spans;
  for (int i : result.Selection) {
    const TFileRecord& r = project.Records[static_cast<size_t>(i)];
    TDateTime s = start.value_or(r.SelectStart);
    TDateTime f = finish.value_or(r.SelectFinish);
    // A record whose own times make no span cannot say what lies beyond it.
    if (r.Finish > r.Start) {
      if (start && s < r.Start) {
        result.Warnings.push_back(
            MakeStatus(TCode::kSelectionStartBefore,
                       {RecordName(project, i), ShownDateTime(s), ShownDateTime(r.Start)}));
        s = r.Start;
      } else if (start && s > r.Finish) {
        s = r.Finish;
      }
      if (finish && f > r.Finish) {
        result.Warnings.push_back(
            MakeStatus(TCode::kSelectionFinishAfter,
                       {RecordName(project, i), ShownDateTime(f), ShownDateTime(r.Finish)}));
        f = r.Finish;
      } else if (finish && f < r.Start) {
        f = r.Start;
      }
    }
    if (s >= f) {
      result.Warnings.clear();
      result.Status =
          MakeStatus(TCode::kSelectionInverted,
                     {RecordName(project, i), ShownDateTime(start.value_or(r.SelectStart)),
                      ShownDateTime(finish.value_or(r.SelectFinish))});
      // The record's own span tells why when its ends were moved into it.
      if (r.Finish > r.Start) {
        result.Status = MakeStatus(
            TCode::kRecordSpan, {result.Status, ShownDateTime(r.Start), ShownDateTime(r.Finish)});
      }
      result.Status.Record = i;
      return result;
    }
    spans.emplace_back(s, f);
  }
  for (size_t k = 0; k < result.Selection.size(); ++k) {
    TFileRecord& r = project.Records[static_cast<size_t>(result.Selection[k])];
    r.SelectStart = spans[k].first;
    r.SelectFinish = spans[k].second;
  }
  result.Done = true;
  result.Count = static_cast<int>(result.Selection.size());
  if (result.Count > 0) project.Modified = true;
  return result;
}

}  // namespace

std::optional<TDateTime> ParseDateTimeText(std::string_view text) {
  const std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  if (t.size() >= 5 && IsDigit(t[0]) && t[4] == '-') return ParseIsoText(t);
  // The program's own form must begin with a date: a time alone would mean 30.12.1899.
  const size_t dot = t.find('.');
  if (dot == std::string::npos || t.find(':') < dot) return std::nullopt;
  TDateTime value = 0.0;
  if (!ParseProjectDateTime(t, value)) return std::nullopt;
  return value;
}

TStatus DateTimeConversionError(std::string_view text) {
  return MakeStatus(TCode::kBadDateTime, {text});
}

std::optional<double> ParseNumberText(std::string_view text) {
  return ParseDouble(Trim(text));
}

TStatus NumberConversionError(std::string_view text) {
  return MakeStatus(TCode::kBadNumber, {text});
}

TStatus UnstorableTextMessage(TCode what, std::string_view text) {
  const std::string bad = FirstCharacterNotInCp1251(text);
  if (bad.empty()) return {};
  return MakeStatus(TCode::kNotInCp1251, {MakeStatus(what), text, bad});
}

TStatus UnstorablePathMessage(const TProject& project, std::string_view path) {
  if (FirstCharacterNotInCp1251(ToCommonDir(path, project.Folder)).empty()) return {};
  return UnstorableTextMessage(TCode::kWordPath, path);
}

TRecordOpResult SetStation(TProject& project, const TSelection& selection,
                           std::string_view station) {
  const std::string cut = ShortName(station);
  if (TStatus why = UnstorableTextMessage(TCode::kWordStation, cut); !why.Ok())
    return Refused(std::move(why));
  return EditRecords(project, selection, [&](TFileRecord& r) { r.Station = cut; });
}

TRecordOpResult SetSelectStart(TProject& project, const TSelection& selection,
                               std::string_view text) {
  return SetSelection(project, selection, text, std::nullopt);
}

TRecordOpResult SetSelectFinish(TProject& project, const TSelection& selection,
                                std::string_view text) {
  return SetSelection(project, selection, std::nullopt, text);
}

TRecordOpResult SetSelection(TProject& project, const TSelection& selection,
                             std::optional<std::string_view> start_text,
                             std::optional<std::string_view> finish_text) {
  std::optional<TDateTime> start, finish;
  for (auto [text, value] : {std::pair{start_text, &start}, std::pair{finish_text, &finish}}) {
    if (!text) continue;
    *value = ParseDateTimeText(*text);
    if (!*value) return Refused(DateTimeConversionError(*text));
  }
  return ApplySelection(project, selection, start, finish);
}

TRecordOpResult SetIsEvent(TProject& project, const TSelection& selection, bool value) {
  return EditRecords(project, selection, [&](TFileRecord& r) { r.IsEvent = value; });
}

TRecordOpResult SetToProcess(TProject& project, const TSelection& selection, bool value) {
  return EditRecords(project, selection, [&](TFileRecord& r) { r.ToProcess = value; });
}

TRecordOpResult SetToProcessHV(TProject& project, const TSelection& selection, bool value) {
  return EditRecords(project, selection, [&](TFileRecord& r) { r.ToProcessNakamura = value; });
}

TRecordOpResult SetChannelSelected(TProject& project, const TSelection& selection, int channel,
                                   bool value) {
  TRecordOpResult result = EditChannels(
      project, selection, channel, [&](TFileRecord& r, int c) { r.Channels[c].Selected = value; });
  if (result.Count > 0) project.Modified = true;
  return result;
}

TRecordOpResult SetComponent(TProject& project, const TSelection& selection, int channel,
                             int32_t axis) {
  if (axis < 0 || axis >= static_cast<int32_t>(sizeof kComponentItems))
    return Refused(TCode::kComponentNotEnz);
  return SetChannelValue(
      project, selection, channel,
      [](TFileRecord& r, int c) -> Component& { return r.Channels[c].Axis; },
      static_cast<Component>(axis));
}

TRecordOpResult SetLevel(TProject& project, const TSelection& selection, int channel,
                         int64_t level) {
  if (level < 1 || level > kMaxLevel) return Refused(TCode::kLevelOutOfRange);
  return SetChannelValue(
      project, selection, channel,
      [](TFileRecord& r, int c) -> int32_t& { return r.Channels[c].Level; },
      static_cast<int32_t>(level));
}

TRecordOpResult SetResponseFile(TProject& project, const TSelection& selection, int channel,
                                TResponseKind kind, const std::string& path) {
  if (TStatus why = UnstorablePathMessage(project, path); !why.Ok()) return Refused(std::move(why));
  TRecordOpResult result = SetChannelValue(
      project, selection, channel,
      [kind](TFileRecord& r, int c) -> std::string& { return ResponseField(r, c, kind); }, path);
  if (!path.empty() && !ResponseFileExists(path))
    result.Warnings.push_back(MakeStatus(TCode::kFileNotFound, {path}));
  // A channel of a station inventory describes the chain down to counts, the digitiser's gain
  // included; with an ADC coefficient other than 1 that gain would be counted twice.
  if (!SplitResponsePath(path).Channel.empty()) {
    for (int i : result.Selection) {
      const TFileRecord& r = project.Records[static_cast<size_t>(i)];
      for (int c = 0; c < std::clamp(r.ChannelCount(), 0, kMaxChannels); ++c) {
        if ((channel != kAllChannels && c != channel) || r.Channels[c].ADCCoef == 1.0) continue;
        TStatus warning = MakeStatus(TCode::kAdcGainIncluded,
                                     {r.Station, r.Channels[c].Channel, ResponsePathLabel(path),
                                      FormatProjectFloat(r.Channels[c].ADCCoef)});
        warning.Record = i;
        warning.Channel = c;
        result.Warnings.push_back(std::move(warning));
      }
    }
  }
  return result;
}

TRecordOpResult AssignStationXmlResponses(TProject& project, const TSelection& selection,
                                          const std::string& xml_path, const std::string& network) {
  if (TStatus why = UnstorablePathMessage(project, xml_path); !why.Ok())
    return Refused(std::move(why));
  std::vector<TChannelEpoch> epochs;
  if (const TStatus status = LoadStationXmlEpochs(xml_path, epochs); !status.Ok())
    return Refused(status);
  const std::string net = AsciiUpper(network);
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  bool changed = false;
  for (int i : result.Selection) {
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    const std::string station = AsciiUpper(r.Station);
    bool touched = false;
    for (int c = 0; c < std::clamp(r.ChannelCount(), 0, kMaxChannels); ++c) {
      const auto [location, code] = SplitChannelLocation(r.Channels[c].Channel);
      const std::string channel = AsciiUpper(code);
      std::vector<const TChannelEpoch*> found;
      for (const TChannelEpoch& e : epochs) {
        const bool covers = e.Start <= r.Start && (!e.End || r.Start <= *e.End);
        if (!covers || AsciiUpper(e.Code.Station) != station ||
            AsciiUpper(e.Code.Channel) != channel ||
            (!location.empty() && AsciiUpper(e.Code.Location) != AsciiUpper(location)) ||
            (!net.empty() && AsciiUpper(e.Code.Network) != net)) {
          continue;
        }
        const bool seen = std::any_of(found.begin(), found.end(),
                                      [&](const TChannelEpoch* f) { return f->Code == e.Code; });
        if (!seen) found.push_back(&e);
      }
      if (found.size() != 1) {
        const std::string number = std::to_string(i + 1);
        TStatus warning;
        if (found.empty()) {
          warning = MakeStatus(TCode::kXmlChannelNoMatch,
                               {number, r.Station, std::to_string(c + 1), r.Channels[c].Channel,
                                xml_path, FormatIso(r.Start)});
        } else {
          std::string codes;
          for (size_t k = 0; k < found.size(); ++k)
            codes += (k ? ", " : "") + ChannelCodeText(found[k]->Code);
          warning = MakeStatus(TCode::kXmlChannelSeveral, {number, r.Station, std::to_string(c + 1),
                                                           r.Channels[c].Channel, xml_path, codes});
        }
        warning.Record = i;
        warning.Channel = c;
        result.Warnings.push_back(std::move(warning));
        continue;
      }
      const TChannelEpoch& e = *found.front();
      const std::string path = JoinResponsePath(xml_path, ChannelCodeText(e.Code));
      const bool counts = AsciiUpper(e.OutputUnit).starts_with("COUNT");
      if (r.Channels[c].ChannelResp != path || !r.Channels[c].SensorResp.empty() ||
          !r.Channels[c].AmplifierResp.empty() || (counts && r.Channels[c].ADCCoef != 1.0)) {
        changed = true;
      }
      r.Channels[c].ChannelResp = path;
      r.Channels[c].SensorResp.clear();
      r.Channels[c].AmplifierResp.clear();
      if (counts) r.Channels[c].ADCCoef = 1.0;
      touched = true;
    }
    if (touched) ++result.Count;
  }
  if (changed) project.Modified = true;
  result.Done = true;
  return result;
}

TRecordOpResult SetRecordStart(TProject& project, int current, std::string_view text) {
  if (current < 0 || current >= static_cast<int>(project.Records.size()))
    return Refused(TCode::kNoRecordSelected);
  const std::optional<TDateTime> t = ParseDateTimeText(text);
  if (!t) return Refused(DateTimeConversionError(text));
  return EditRecords(project, {current}, [&](TFileRecord& r) { r.Start = *t; });
}

TRecordOpResult SetRecordFinish(TProject& project, int current, std::string_view text) {
  if (current < 0 || current >= static_cast<int>(project.Records.size()))
    return Refused(TCode::kNoRecordSelected);
  const std::optional<TDateTime> t = ParseDateTimeText(text);
  if (!t) return Refused(DateTimeConversionError(text));
  return EditRecords(project, {current}, [&](TFileRecord& r) { r.Finish = *t; });
}

TRecordOpResult SetSamplingRate(TProject& project, const TSelection& selection, int current,
                                std::string_view text) {
  if (current < 0 || current >= static_cast<int>(project.Records.size()))
    return Refused(TCode::kNoRecordSelected);
  const std::optional<double> rate = ParseNumberText(text);
  if (!rate) return Refused(NumberConversionError(text));
  // Every duration of the record is divided by its rate, and a rate no control could give
  // would be kept in the project and then lost to the rate read from the files.
  if (!(*rate >= kMinSampRateDefault && *rate <= kMaxSampRateDefault))
    return Refused(TCode::kRateOutOfRange);
  return EditRecords(project, selection, [&](TFileRecord& r) { r.SampRate = *rate; });
}

TRecordOpResult SetAdcCoefficient(TProject& project, const TSelection& selection, int current,
                                  int channel, std::string_view text) {
  if (current < 0 || current >= static_cast<int>(project.Records.size()) ||
      (channel < 0 && channel != kAllChannels))
    return Refused(TCode::kNoRecordsOrChannel);
  const std::optional<double> k = ParseNumberText(text);
  if (!k) return Refused(NumberConversionError(text));
  if (*k <= 0.0) return Refused(TCode::kAdcNotPositive);
  TRecordOpResult result = EditChannels(project, selection, channel,
                                        [&](TFileRecord& r, int c) { r.Channels[c].ADCCoef = *k; });
  if (result.Count > 0) project.Modified = true;
  return result;
}

TUnitTemplateDialog UnitTemplateDialog(TResponseKind kind, const std::string& channel_name) {
  switch (kind) {
    case TResponseKind::kSensor:
      return {"Задайте имя ЧХ датчика", "sens_" + channel_name + ".rsp"};
    case TResponseKind::kAmplifier:
      return {"Задайте имя ЧХ усилителя", "amp_" + channel_name + ".rsp"};
    case TResponseKind::kChannel:
      break;
  }
  return {"Задайте имя ЧХ канала", channel_name + ".rsp"};
}

TRecordOpResult AssignUnitTemplate(TProject& project, const TSelection& selection, int current,
                                   int channel, TResponseKind kind, const std::string& path,
                                   TDateTime today) {
  if (current < 0 || current >= static_cast<int>(project.Records.size()) ||
      !HasChannel(project.Records[static_cast<size_t>(current)], channel))
    return Refused(TCode::kNoRecordsOrChannel);
  const TFileRecord& shown = project.Records[static_cast<size_t>(current)];
  std::string written;
  const TStatus status = WriteUnitResponseTemplate(path, shown.Channels[channel].Channel,
                                                   shown.SampRate, &written, today);
  if (!status.Ok()) return Refused(status);
  TRecordOpResult result = SetResponseFile(project, selection, channel, kind, written);
  result.Written = written;
  return result;
}

std::string StationsClipboardText(const TProject& project, const TSelection& selection) {
  return SpanLines(project, selection, [](const TFileRecord& r) { return r.Station; });
}

std::string TimeSpansClipboardText(const TProject& project, const TSelection& selection) {
  return SpanLines(project, selection, [](const TFileRecord& r) {
    return FormatDateTime("yyyy.mm.dd hh:nn:ss", r.Start) + "\t" +
           FormatDateTime("yyyy.mm.dd hh:nn:ss", r.Finish);
  });
}

TStatus ClipboardMessage(int lines) {
  return MakeStatus(TCode::kLinesCopied, {std::to_string(lines)});
}

TEditorView EditorView(const TProject& project, const TSelection& selection, int current,
                       int channel) {
  TEditorView view;
  const TSelection chosen = NormalizeSelection(project, selection);
  if (chosen.empty()) return view;
  view.Enabled = true;
  if (current < 0 || current >= static_cast<int>(project.Records.size())) current = chosen.front();
  const TFileRecord& shown = project.Records[static_cast<size_t>(current)];

  if (auto v = Shared(project, chosen, [](const TFileRecord& r) { return r.Station; }))
    view.Station = *v;
  if (auto v = Shared(project, chosen, [](const TFileRecord& r) { return r.SampRate; }))
    view.SampRate = RateText(*v);
  const auto event = Shared(project, chosen, [](const TFileRecord& r) { return r.IsEvent; });
  view.IsEvent = !event   ? TCheckState::kGrayed
                 : *event ? TCheckState::kChecked
                          : TCheckState::kUnchecked;

  // A record without the channel disagrees with those that have it.
  const auto channel_value = [&](int c, auto get) {
    return Shared(project, chosen, [&](const TFileRecord& r) {
      return HasChannel(r, c) ? std::optional(get(r, c)) : std::nullopt;
    });
  };
  for (int c = 0; c < std::clamp(shown.ChannelCount(), 0, kMaxChannels); ++c) {
    TEditorChannelLine line;
    const auto name =
        channel_value(c, [](const TFileRecord& r, int k) { return r.Channels[k].Channel; });
    if (name && *name) line.Name = **name;
    const auto mark =
        channel_value(c, [](const TFileRecord& r, int k) { return r.Channels[k].Selected; });
    line.Check = !(mark && *mark) ? TCheckState::kGrayed
                 : **mark         ? TCheckState::kChecked
                                  : TCheckState::kUnchecked;
    view.Channels.push_back(std::move(line));
  }

  if (HasChannel(shown, channel)) {
    const auto text = [&](auto get) -> std::string {
      const auto v = channel_value(channel, get);
      return v && *v ? **v : std::string();
    };
    const auto axis =
        channel_value(channel, [](const TFileRecord& r, int k) { return r.Channels[k].Axis; });
    if (axis && *axis && ComponentNumber(**axis) >= 0 &&
        ComponentNumber(**axis) < static_cast<int>(sizeof kComponentItems))
      view.Axis = ComponentNumber(**axis);
    view.Level =
        text([](const TFileRecord& r, int k) { return std::to_string(r.Channels[k].Level); });
    view.SensorResp = text([](const TFileRecord& r, int k) { return r.Channels[k].SensorResp; });
    view.AmplifierResp =
        text([](const TFileRecord& r, int k) { return r.Channels[k].AmplifierResp; });
    view.ChannelResp = text([](const TFileRecord& r, int k) { return r.Channels[k].ChannelResp; });
    view.AdcCoef =
        text([](const TFileRecord& r, int k) { return FormatProjectFloat(r.Channels[k].ADCCoef); });
  }

  view.Start = ShownDateTime(shown.Start);
  view.Finish = ShownDateTime(shown.Finish);
  view.RecordLength = SelectionLengthText(shown.Finish - shown.Start);
  view.SelectStart = ShownDateTime(shown.SelectStart);
  view.SelectFinish = ShownDateTime(shown.SelectFinish);
  view.SelectionLength = SelectionLengthText(shown.SelectFinish - shown.SelectStart);
  return view;
}

}  // namespace tarvik
