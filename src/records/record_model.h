#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/datetime.h"
#include "common/status.h"

namespace tarvik {

// ---------------------------------------------------------------------------------------------
// Format tags: four ASCII characters, lowest byte first, beginning "[H"; 0 = not recognised.

using FormatTag = uint32_t;

constexpr FormatTag MakeTag(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

// The tag as its four characters; "0" for 0 and "\xNN" for bytes that are not printable.
std::string TagText(FormatTag tag);
// The tag of a four-character text; 0 when the text is not four characters.
FormatTag TagFromText(std::string_view text);

inline constexpr FormatTag kTagSL0 = MakeTag("[HS0");
inline constexpr FormatTag kTagSL1 = MakeTag("[HS1");
inline constexpr FormatTag kTagSL2 = MakeTag("[HS2");
inline constexpr FormatTag kTagSL3 = MakeTag("[HS3");
inline constexpr FormatTag kTagSL4 = MakeTag("[HS4");
inline constexpr FormatTag kTagRec1 = MakeTag("[HD1");
inline constexpr FormatTag kTagRec2 = MakeTag("[HD2");
inline constexpr FormatTag kTagRecC1 = MakeTag("[HC1");
inline constexpr FormatTag kTagSdasBad = MakeTag("[HEA");
inline constexpr FormatTag kTagSdas = MakeTag("[HE3");
inline constexpr FormatTag kTagBiGeo = MakeTag("[HG0");
// "[HG" and a zero byte: a ".BI"/".GEO" file whose table did not check out.
inline constexpr FormatTag kTagBiGeoProvisional = 0x0047485Bu;
// "[HS" and a zero byte: an ".SL" file whose 40-byte header could not be read.
inline constexpr FormatTag kTagSlProvisional = 0x0053485Bu;
inline constexpr FormatTag kTagIssText = MakeTag("[HTX");
inline constexpr FormatTag kTagUgr = MakeTag("[HUG");
inline constexpr FormatTag kTagWfdisc = MakeTag("[HWF");
inline constexpr FormatTag kTagGcf = MakeTag("[HGU");
inline constexpr FormatTag kTagMiniSeed = MakeTag("[HMS");
inline constexpr FormatTag kTagAdb = MakeTag("[HLA");
inline constexpr FormatTag kTagDdb = MakeTag("[HLD");
inline constexpr FormatTag kTagBaikal = MakeTag("[HBY");
inline constexpr FormatTag kTagReftek = MakeTag("[HRE");
inline constexpr FormatTag kTagSeg2 = MakeTag("[HSG");
inline constexpr FormatTag kTagMiniSeed3 = MakeTag("[HM3");
inline constexpr FormatTag kTagSac = MakeTag("[HSC");
inline constexpr FormatTag kTagSaf = MakeTag("[HSF");

inline bool IsSlTag(FormatTag tag) {
  return tag == kTagSL0 || tag == kTagSL1 || tag == kTagSL2 || tag == kTagSL3 || tag == kTagSL4;
}

// ---------------------------------------------------------------------------------------------
// Sample type codes: an index into a table of 26 two-character codes.

enum SampleType : int32_t {
  kSampleUnknown = 0,     // "??"
  kSampleTextFloat = 1,   // "a0"
  kSampleTextDouble = 2,  // "b0"
  kSampleTextInt = 3,     // "c0"
  kSampleT4 = 4,          // IEEE single, big-endian
  kSampleT8 = 5,          // IEEE double, big-endian
  kSampleS2 = 6,          // int16 big-endian
  kSampleS4 = 7,          // int32 big-endian
  kSampleF4 = 8,          // IEEE single, little-endian
  kSampleF8 = 9,          // IEEE double, little-endian
  kSampleI2 = 10,         // int16 little-endian
  kSampleI4 = 11,         // int32 little-endian
  kSampleG2 = 12,         // not decoded
  kSampleZ4 = 13,         // bzip2 block of little-endian int32
  kSample33 = 14,         // not decoded
  kSampleSteim1a = 15,    // "C0"
  kSampleSteim1b = 16,    // "C1"
  kSampleSteim2a = 17,    // "C2"
  kSampleSteim2b = 18,    // "C3"
  kSampleGcf8 = 19,       // "D1"
  kSampleGcf16 = 20,      // "D2"
  kSampleGcf32 = 21,      // "D4"
  kSampleT2 = 22,         // uint16 big-endian
  kSampleW2 = 23,         // uint16 little-endian
  kSampleS3 = 24,         // not decoded (24-bit)
  kSampleI3 = 25,         // not decoded (24-bit)
};

inline constexpr int kSampleTypeCount = 26;

// The two-character text of a code ("??" for codes outside the table).
std::string_view SampleTypeText(int32_t code);
// The code of a text: the first table entry equal to it, 0 when none is.
int32_t SampleTypeFromText(std::string_view text);
// Bytes per sample of the fixed-width binary codes; 0 for the others.
int SampleTypeSize(int32_t code);

// ---------------------------------------------------------------------------------------------

inline constexpr int kMaxChannels = 32;
inline constexpr size_t kShortNameLength = 7;

// Cuts a name to the short-string length of channel and station names (7 characters).
std::string ShortName(std::string_view text);

// For header readers: sets *why (when given) to the reason the file is refused; returns false.
bool RefuseFile(TStatus* why, TStatus reason);

// A reader's reason for refusing a file: a code of the readers' refusals with its arguments, and
// offset, the byte of the file it concerns (-1 when none).
TStatus Refusal(TCode code, std::vector<TArg> args = {}, int64_t offset = -1);
// cause said of one unit of a file (where: kRefuseInRecord, kRefuseInBlock, ...): its 1-based
// number and, when offset >= 0, the byte it begins at. The unit's offset and 0-based index become
// the status's Offset and Record unless cause names a byte of its own.
TStatus RefusalIn(TCode where, int64_t number, int64_t offset, const TStatus& cause);

// The common header of one seismogram file, filled by a format's header reader.
struct TFileRecordInfo {
  std::string Station;
  TDateTime Start = 0.0;
  double SampRate = 0.0;
  int32_t SampleCount = 0;
  int32_t ChannelCount = 0;
  int32_t BlockCount = 0;
  int32_t BlockSamples = 0;
  std::array<std::string, kMaxChannels> ChannelNames{};
  std::array<double, kMaxChannels> ChannelCoefs{};
  // The component (Axis value) of a channel as the file states it apart from the name (the
  // orientation angles of a SAC file, the channel keys of a SAF file); -1: the name tells.
  std::array<int32_t, kMaxChannels> ChannelAxes = NoAxes();
  // The location code of these channels when the file holds the station under several
  // locations; the channel names then carry it as "LL.CHN". Empty otherwise.
  std::string Location;

  void Reset() { *this = TFileRecordInfo{}; }

  static constexpr std::array<int32_t, kMaxChannels> NoAxes() {
    std::array<int32_t, kMaxChannels> axes{};
    for (int32_t& a : axes) a = -1;
    return axes;
  }
};

// The location and the channel of a channel name that carries a location ("10.HHZ"); an empty
// location and the whole name for any other name.
std::pair<std::string_view, std::string_view> SplitChannelLocation(std::string_view name);

// A channel name that carries its location: "LL.CHN" cut to the short-name length.
std::string LocatedChannelName(std::string_view location, std::string_view channel);

// Spans of sample indices, first and last inclusive.
using TRecordRanges = std::vector<std::pair<int32_t, int32_t>>;

// One contiguous run of samples of one channel in one file.
class TRecordDescription {
 public:
  TRecordDescription() { Flags = DefaultFlags(); }

  std::string FileName;
  std::string Station;
  std::string Location;
  std::string Channel;
  TDateTime StartTime = 0.0;
  double SampRate = 0.0;
  double Calib = 0.0;
  int32_t DataType = 0;
  int32_t Skip = 0;
  int32_t Count = 0;
  int32_t Stride = 0;
  int32_t Offset = 0;
  int32_t BlockSize = 0;
  int32_t TimingQuality = 0;
  int32_t Handle = -1;
  std::array<uint8_t, 32> Flags{};
  std::array<int32_t, 3> Extra{};
  std::vector<int32_t> Data;

  // The time just after the last sample: StartTime + Count / SampRate / 86400.
  TDateTime EndTime() const;

  // Copies every field including Data.
  void Assign(const TRecordDescription& other) { *this = other; }
  // Copies every field except Data.
  void AssignHeader(const TRecordDescription& other);

  static std::array<uint8_t, 32> DefaultFlags();
};

// An owning list of segments, with merging over a time span.
class TRecList {
 public:
  // Two minutes, carried with the list.
  double TimeTolerance = 1.0 / 720.0;
  std::array<int32_t, 3> Extra{-1, -2, -1};

  std::vector<TRecordDescription> Items;

  size_t size() const { return Items.size(); }
  bool empty() const { return Items.empty(); }
  TRecordDescription& operator[](size_t i) { return Items[i]; }
  const TRecordDescription& operator[](size_t i) const { return Items[i]; }
  void Add(TRecordDescription segment) { Items.push_back(std::move(segment)); }
  void Clear() { Items.clear(); }

  // Copies of the segments of station and location whose channel equals or contains channel and
  // which overlap [from, to]; with ordered, sorted by StartTime (stable for equal times).
  TRecList Select(std::string_view station, std::string_view location, TDateTime from, TDateTime to,
                  std::string_view channel, bool ordered) const;

  // The samples of one channel over [from, to], read from the selected segments and placed on
  // the first segment's sample grid; positions no segment covers stay 0. Reads each segment with
  // ReadSamples. With nothing selected: Count 0, SampRate 0, no samples. covered, when given,
  // receives the indices of Data that hold recorded samples: not the positions no segment
  // covers, nor those of a segment's samples its file did not hold or that failed their check.
  TRecordDescription GetData(std::string_view station, std::string_view location, TDateTime to,
                             TDateTime from, std::string_view channel,
                             TRecordRanges* covered = nullptr) const;
  // GetData's samples written straight into row (from a matrix that starts at row_start, on
  // the result's sample grid) instead of into Data, which stays empty: index i of the result
  // goes to row[at + i], at = round((StartTime - row_start) * SampRate), where that index is in
  // row. The result's indices that no segment covers are set to 0 there; nothing else of row
  // changes. covered as for GetData.
  TRecordDescription GetDataInto(std::string_view station, std::string_view location, TDateTime to,
                                 TDateTime from, std::string_view channel, TDateTime row_start,
                                 std::vector<int32_t>& row, int64_t& at,
                                 TRecordRanges* covered = nullptr) const;

  // The earliest start and the latest end over the list; {0, 0} when empty.
  std::pair<TDateTime, TDateTime> Span() const;

 private:
  // GetData into a vector of its own (row_start null: row becomes the result's samples) or
  // GetDataInto.
  TRecordDescription Gather(std::string_view station, std::string_view location, TDateTime to,
                            TDateTime from, std::string_view channel, TRecordRanges* covered,
                            const TDateTime* row_start, std::vector<int32_t>& row,
                            int64_t& at) const;
};

// Moves each segment that follows its predecessor within tolerance samples (but not exactly
// on time) to start right at the predecessor's end.
void CloseSmallGaps(TRecList& list, int64_t tolerance);

// The component of a channel; the numbers are those the project file and the channel-settings
// files keep, and a stored number outside the five is carried as it is.
enum class Component : int32_t { kE = 0, kN = 1, kZ = 2, kR = 3, kT = 4 };

// Component letters by component number.
inline constexpr char kComponentLetters[] = {'E', 'N', 'Z', 'R', 'T'};

constexpr int32_t ComponentNumber(Component c) {
  return static_cast<int32_t>(c);
}
// Whether c is one of the five components (and not some other stored number).
constexpr bool IsKnownComponent(Component c) {
  return ComponentNumber(c) >= 0 &&
         ComponentNumber(c) < static_cast<int32_t>(sizeof kComponentLetters);
}
// The letter of a component; '?' for a number outside the five.
constexpr char ComponentLetter(Component c) {
  return IsKnownComponent(c) ? kComponentLetters[ComponentNumber(c)] : '?';
}

// One channel of a record: its name, what it records, and its recording chain.
struct TRecordChannel {
  std::string Channel;
  std::string SensorResp;
  std::string AmplifierResp;
  std::string ChannelResp;
  Component Axis = Component::kE;
  int32_t Level = 0;
  double ADCCoef = 0.0;
  bool Selected = false;

  bool operator==(const TRecordChannel&) const = default;
};

// One record of the project: one recording of one station, in one or several files.
struct TFileRecord {
  std::string File;
  std::string Extra1;
  std::string Extra2;
  TDateTime Start = 0.0;
  TDateTime Finish = 0.0;
  TDateTime SelectStart = 0.0;
  TDateTime SelectFinish = 0.0;
  int32_t SampleCount = 0;
  // At most kMaxChannels.
  std::vector<TRecordChannel> Channels;
  std::string Station;
  double SampRate = 0.0;
  bool IsEvent = false;
  bool ToProcess = false;
  bool ToProcessNakamura = false;
  int32_t SelNakIndex = 0;
  int32_t SelIndex = 0;

  int32_t ChannelCount() const { return static_cast<int32_t>(Channels.size()); }
};

using TFileRecords = std::vector<TFileRecord>;

// The admissible levels and the selection of a record's channels, kMaxChannels long, as the
// quiet-interval search takes them; a channel the record lacks has level 0 and is not selected.
std::array<int32_t, kMaxChannels> ChannelLevels(const TFileRecord& record);
std::array<bool, kMaxChannels> SelectedChannels(const TFileRecord& record);
// The names of a record's channels, in order.
std::vector<std::string> ChannelNames(const TFileRecord& record);
using TChanLongNames = std::array<std::string, kMaxChannels>;

// The component of a channel name. A SEED code (two letters and an orientation, perhaps after
// a location code and ".") gives it by its orientation: Z 2; N or 1 1 (N); E or 2 0 (E). A
// Reftek name ("EH_1") by its channel number: 1, 2, 3 (and 4, 5, 6 ...) are Z, N, E. Any other
// name: 2 (Z) when neither "E" nor "N" is in the upper-cased name, 1 (N) or 0 (E) when one is,
// and whichever stands first when both are.
Component AxisFromChannelName(std::string_view name);

// A record formed from the header of its first file.
TFileRecord FormRecord(const std::string& path, const TFileRecordInfo& info,
                       bool recognize_component);

// The location a record's channel names carry (see TFileRecordInfo::Location); empty when they
// carry none.
std::string RecordLocation(const TFileRecord& record);

// A record's samples: one int32 array per channel, all of equal length.
using TData32 = std::vector<std::vector<int32_t>>;

}  // namespace tarvik
