#pragma once

// The record editor of the records page: the edits of the selected records' fields and of one
// channel, the input-box settings of Start, Finish, sampling rate and ADC coefficient, the
// unit-response template, the clipboard texts, and what the editor shows for a selection of one
// or several records. Texts typed by the user are handed over as they are; a text that does not
// convert is refused with a conversion error and nothing changes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "project/record_management.h"

namespace tarvik {

// A channel argument meaning every channel of every selected record (the "*" buttons).
inline constexpr int kAllChannels = -1;

// The three response files of a channel.
enum class TResponseKind { kSensor, kAmplifier, kChannel };

// Input boxes of the editor (all captioned "Tarvik").
inline constexpr char kStartPrompt[] = "Введите время начала записи";
inline constexpr char kFinishPrompt[] = "Введите время конца записи";
inline constexpr char kRatePrompt[] = "Введите частоту оцифровки";
inline constexpr char kAdcPrompt[] = "Введите коэффициент АЦП, Отсчеты/Вольт";
// The file filter of the three response-file fields.
inline constexpr char kResponseFileFilter[] =
    "ЧХ|*.rsp;*.paz;*.fap;*.sac;*.seed;*.gse|Все файлы (*.*)|*.*";
// Items of the component list, by Axis value.
inline constexpr char kComponentItems[] = {'E', 'N', 'Z'};

// A date and time typed by the user: "dd.MM.yyyy[ hh:nn[:ss[.zzz]]]" as the program shows it,
// or ISO-8601 "yyyy-MM-dd[Thh:nn[:ss[.fff]]][Z]". A time without a date, a day that the month
// does not have or any other text gives nullopt.
std::optional<TDateTime> ParseDateTimeText(std::string_view text);
// The conversion error shown for such a text.
TStatus DateTimeConversionError(std::string_view text);
// A number typed by the user ("." as the decimal separator); nullopt unless the whole text is
// one finite number.
std::optional<double> ParseNumberText(std::string_view text);
TStatus NumberConversionError(std::string_view text);

// The project file is Windows-1251: a character outside it would be saved as "?" and the text
// lost. The status that refuses such a text (what it is: kWordStation, kWordChannelName or
// kWordPath; the text; the first character the code page lacks); kOk when the text can be
// stored.
TStatus UnstorableTextMessage(TCode what, std::string_view text);
// The same for a path, taken as the project stores it (its folder as "$CommonDir").
TStatus UnstorablePathMessage(const TProject& project, std::string_view path);

// Station of every selected record, cut to 7 characters. Sets the modified flag; a station
// the project file cannot hold is refused.
TRecordOpResult SetStation(TProject& project, const TSelection& selection,
                           std::string_view station);
// SelectStart or SelectFinish of every selected record from a date-time text. Sets the
// modified flag; a text that does not convert changes nothing. A time beyond the record is
// taken as its Start or Finish, with a warning; a selection whose start would not come before
// its finish is refused for every record.
TRecordOpResult SetSelectStart(TProject& project, const TSelection& selection,
                               std::string_view text);
TRecordOpResult SetSelectFinish(TProject& project, const TSelection& selection,
                                std::string_view text);
// Both ends at once (an empty optional keeps that end), checked as above against each other.
TRecordOpResult SetSelection(TProject& project, const TSelection& selection,
                             std::optional<std::string_view> start_text,
                             std::optional<std::string_view> finish_text);
// IsEvent ("Событие") of every selected record. Sets the modified flag.
TRecordOpResult SetIsEvent(TProject& project, const TSelection& selection, bool value);
// The check marks of the primary (ToProcess) and H/V (ToProcessNakamura) lists. Set the
// modified flag.
TRecordOpResult SetToProcess(TProject& project, const TSelection& selection, bool value);
TRecordOpResult SetToProcessHV(TProject& project, const TSelection& selection, bool value);

// The check mark of a channel (from 0, or kAllChannels) of every selected record that has it.
// Sets the modified flag.
TRecordOpResult SetChannelSelected(TProject& project, const TSelection& selection, int channel,
                                   bool value);
// Component (0 E, 1 N, 2 Z) of a channel of the selected records; modified only when a value
// changes.
TRecordOpResult SetComponent(TProject& project, const TSelection& selection, int channel,
                             int32_t axis);
// Admissible level (1 to 2147483647) of a channel; modified only when a value changes.
TRecordOpResult SetLevel(TProject& project, const TSelection& selection, int channel,
                         int64_t level);
// One of the three response files of a channel (kAllChannels: of every channel of every
// selected record); modified only when a value changes. A path that is not there is kept with a
// warning: the run refuses it later with its own message. A path the project file cannot hold
// is refused.
TRecordOpResult SetResponseFile(TProject& project, const TSelection& selection, int channel,
                                TResponseKind kind, const std::string& path);

// Gives the channels of the selected records their responses from the StationXML document at
// xml_path: a channel matches a channel of the document by station, channel code and location
// (from a channel name "LL.CHN"; any location when the name carries none), by network when
// network is not empty, and by the epoch that covers the record's start. A matched channel gets
// "xml_path#NET.STA.LOC.CHA" as its channel response and empty sensor and amplifier responses,
// since the document describes the whole chain; when that chain ends in counts its ADC
// coefficient becomes 1, so that the digitiser's gain is not counted twice. A channel that
// matches none, or several, is named in a warning and keeps its settings. Refused when the
// document cannot be read or the project file cannot hold its path.
TRecordOpResult AssignStationXmlResponses(TProject& project, const TSelection& selection,
                                          const std::string& xml_path, const std::string& network);

// Start or Finish of the current record only, from the input box's text.
TRecordOpResult SetRecordStart(TProject& project, int current, std::string_view text);
TRecordOpResult SetRecordFinish(TProject& project, int current, std::string_view text);
// Sampling rate of every selected record from the input box's text (refused without a current
// record and for a rate outside the range of the default-rate control, 1 to 100000 Hz).
TRecordOpResult SetSamplingRate(TProject& project, const TSelection& selection, int current,
                                std::string_view text);
// ADC coefficient of the channel of every selected record from the input box's text (refused
// without a current record or channel, and for a value that is not above 0).
TRecordOpResult SetAdcCoefficient(TProject& project, const TSelection& selection, int current,
                                  int channel, std::string_view text);

// The save dialog that names a unit-response template: its title and the name it proposes for
// the kind's file of the named channel.
inline constexpr char kUnitTemplateFilter[] = "ЧХ (*.rsp)|*.rsp|Все файлы (*.*)|*.*";
struct TUnitTemplateDialog {
  std::string Title;
  std::string Proposed;
};
TUnitTemplateDialog UnitTemplateDialog(TResponseKind kind, const std::string& channel_name);

// Writes the unit-response template to path (".rsp" appended when missing) for the current
// record's sampling rate, noted with the name of its channel, and assigns the written file as
// the kind's response of that channel of every selected record. Written: the path written.
TRecordOpResult AssignUnitTemplate(TProject& project, const TSelection& selection, int current,
                                   int channel, TResponseKind kind, const std::string& path,
                                   TDateTime today = 0.0);

// Clipboard texts: one line per selected record joined by CR LF, the Station, or Start and
// Finish as "yyyy.mm.dd hh:nn:ss" separated by a tab.
std::string StationsClipboardText(const TProject& project, const TSelection& selection);
std::string TimeSpansClipboardText(const TProject& project, const TSelection& selection);
// The notice that the clipboard holds lines lines.
TStatus ClipboardMessage(int lines);

// A check box that can show "not the same for all".
enum class TCheckState { kUnchecked, kChecked, kGrayed };

struct TEditorChannelLine {
  std::string Name;  // empty when the selected records name the channel differently
  TCheckState Check = TCheckState::kUnchecked;
};

// What the editor shows. Values the selected records do not share are empty (Axis -1).
struct TEditorView {
  // The editor pages are enabled (a non-empty project with a selection).
  bool Enabled = false;
  std::string Station;
  std::string SampRate;  // "%1.1f"
  TCheckState IsEvent = TCheckState::kUnchecked;
  // One line per channel of the current record.
  std::vector<TEditorChannelLine> Channels;
  // The current channel's fields.
  int Axis = -1;  // index in kComponentItems
  std::string Level;
  std::string SensorResp;
  std::string AmplifierResp;
  std::string ChannelResp;
  std::string AdcCoef;
  // The current record's times: dates as "dd.MM.yyyy h:nn:ss", lengths as in the record lists.
  std::string Start;
  std::string Finish;
  std::string RecordLength;
  std::string SelectStart;
  std::string SelectFinish;
  std::string SelectionLength;
};

// The editor's content for a selection, its current (focused) record and the channel selected
// in the channel list (-1 none).
TEditorView EditorView(const TProject& project, const TSelection& selection, int current,
                       int channel);

}  // namespace tarvik
