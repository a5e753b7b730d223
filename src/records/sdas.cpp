#include "records/sdas.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>

#include "common/bytes.h"
#include "common/datetime.h"
#include "common/rounding.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"

namespace tarvik {

namespace {

// Numbered sections beyond this are ignored: no station has that many channels or streams.
constexpr int32_t kMaxNumberedSections = 256;
// A text header larger than this is not taken for one.
constexpr int64_t kMaxHeaderText = int64_t{1} << 20;
// 1999-01-01: second time stamps before it are not set by the recorder.
constexpr TDateTime kSecondStampFrom = 36161.0;

using Section = std::map<std::string, std::string, std::less<>>;
using Sections = std::map<std::string, Section, std::less<>>;

// The sections of the text, names and keys upper-cased; the first of repeated keys wins. False
// when the first line that is not blank is not "[HEADER]".
bool SplitSections(std::string_view text, Sections& sections) {
  std::string current;
  bool first = true;
  for (const std::string_view raw : SplitLines(text)) {
    const std::string line = Trim(raw);
    if (line.empty()) continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      if (close == std::string::npos) continue;
      current = AsciiUpper(Trim(std::string_view(line).substr(1, close - 1)));
      if (first && current != "HEADER") return false;
      first = false;
      sections[current];
      continue;
    }
    if (first) return false;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = AsciiUpper(Trim(std::string_view(line).substr(0, eq)));
    sections[current].emplace(key, Trim(std::string_view(line).substr(eq + 1)));
  }
  return !first;
}

const std::string* Find(const Sections& sections, std::string_view section, std::string_view key) {
  const auto s = sections.find(section);
  if (s == sections.end()) return nullptr;
  const auto k = s->second.find(key);
  return k == s->second.end() ? nullptr : &k->second;
}

std::string Text(const Sections& s, std::string_view section, std::string_view key,
                 const std::string& fallback) {
  const std::string* v = Find(s, section, key);
  return v ? Cp1251ToUtf8(*v) : fallback;
}

int32_t Int(const Sections& s, std::string_view section, std::string_view key, int32_t fallback) {
  const std::string* v = Find(s, section, key);
  if (v == nullptr) return fallback;
  int32_t out = 0;
  const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), out);
  return ec == std::errc{} && end != v->data() ? out : fallback;
}

double Number(const Sections& s, std::string_view section, std::string_view key, double fallback) {
  const std::string* v = Find(s, section, key);
  if (v == nullptr) return fallback;
  double out = 0;
  const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), out);
  return ec == std::errc{} && end != v->data() && std::isfinite(out) ? out : fallback;
}

// "7,5,3" as numbers; a piece that is not a number counts as 0.
std::vector<int32_t> NumberList(std::string_view text) {
  std::vector<int32_t> out;
  size_t pos = 0;
  while (pos <= text.size() && out.size() < static_cast<size_t>(kMaxNumberedSections)) {
    size_t end = text.find(',', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string piece = Trim(text.substr(pos, end - pos));
    int32_t v = 0;
    std::from_chars(piece.data(), piece.data() + piece.size(), v);
    out.push_back(v);
    pos = end + 1;
  }
  return out;
}

// How many numbered sections of a kind to hold: the count the header names or the highest
// number present, whichever is larger, within kMaxNumberedSections.
int32_t NumberedCount(const Sections& s, std::string_view prefix, int32_t named) {
  int32_t highest = std::clamp(named, 0, kMaxNumberedSections);
  for (const auto& [name, keys] : s) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    int32_t n = 0;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    const auto [end, ec] = std::from_chars(first, last, n);
    if (ec == std::errc{} && end == last && n > 0 && n <= kMaxNumberedSections) {
      highest = std::max(highest, n);
    }
  }
  return highest;
}

std::string Numbered(std::string_view prefix, int32_t n) {
  return std::string(prefix) + std::to_string(n);
}

TDateTime StampTime(const std::array<int16_t, 6>& s) {
  return EncodeDateTime(s[2], s[1], s[0], s[3], s[4], s[5]);
}

}  // namespace

const TSDASStream& TSDASCommonHead::Stream(int32_t number) const {
  static const TSDASStream kDefault;
  return number >= 1 && number <= static_cast<int32_t>(Streams.size())
             ? Streams[static_cast<size_t>(number - 1)]
             : kDefault;
}

const TSDASChannel& TSDASCommonHead::Channel(int32_t number) const {
  static const TSDASChannel kDefault;
  return number >= 1 && number <= static_cast<int32_t>(Channels.size())
             ? Channels[static_cast<size_t>(number - 1)]
             : kDefault;
}

bool ParseSdasHeaderText(std::string_view text, TSDASCommonHead& head) {
  head = TSDASCommonHead{};
  Sections s;
  if (!SplitSections(text, s)) return false;

  head.HeaderSize = Int(s, "HEADER", "HEADER_SIZE", head.HeaderSize);
  head.OffsetToData = Int(s, "HEADER", "OFFSET_TO_DATA", head.OffsetToData);
  head.Type = Text(s, "HEADER", "TYPE", head.Type);

  head.Name = Text(s, "SYSTEM", "NAME", head.Name);
  head.Lat = Number(s, "SYSTEM", "LAT", 0);
  head.Lon = Number(s, "SYSTEM", "LON", 0);
  head.Alt = Number(s, "SYSTEM", "ALT", 0);
  head.Freq = Number(s, "SYSTEM", "FREQ", 0);
  head.NChannel = Int(s, "SYSTEM", "N_CHANNEL", 0);
  head.NGroup = Int(s, "SYSTEM", "N_GROUP", 0);
  head.NStream = Int(s, "SYSTEM", "N_STREAM", 0);
  head.NSchedule = Int(s, "SYSTEM", "N_SCEDULE", 0);

  head.TimePost = Number(s, "ALGORITHM", "TIME_POST", 0);
  head.TimePre = Number(s, "ALGORITHM", "TIME_PRE", 0);
  head.NFlag = Int(s, "ALGORITHM", "N_FLAG", 0);
  head.TimeLimit = Number(s, "ALGORITHM", "TIME_LIMIT", 0);
  head.NCh = Int(s, "ALGORITHM", "N_CH", 0);
  head.Ch = Text(s, "ALGORITHM", "CH#", head.Ch);

  head.Schedules.resize(static_cast<size_t>(NumberedCount(s, "SCEDULE", head.NSchedule)));
  for (size_t i = 0; i < head.Schedules.size(); ++i) {
    const std::string name = Numbered("SCEDULE", static_cast<int32_t>(i + 1));
    TSDASSchedule& v = head.Schedules[i];
    v.Start = Text(s, name, "START", v.Start);
    v.Duration = Int(s, name, "DURATION", 0);
    v.Repeate = Int(s, name, "REPEATE", 0);
    v.Delay = Int(s, name, "DELAY", 0);
    v.Calibr = Text(s, name, "CALIBR", v.Calibr);
  }
  head.Channels.resize(static_cast<size_t>(NumberedCount(s, "CH", head.NChannel)));
  for (size_t i = 0; i < head.Channels.size(); ++i) {
    const std::string name = Numbered("CH", static_cast<int32_t>(i + 1));
    TSDASChannel& v = head.Channels[i];
    v.On = AsciiUpper(Text(s, name, "STAT", "OFF")) == "ON";
    v.Name = Text(s, name, "NAME", v.Name);
  }
  head.Streams.resize(static_cast<size_t>(NumberedCount(s, "STREAM", head.NStream)));
  for (size_t i = 0; i < head.Streams.size(); ++i) {
    const std::string name = Numbered("STREAM", static_cast<int32_t>(i + 1));
    TSDASStream& v = head.Streams[i];
    const std::string type = Text(s, name, "TYPE", "PERMANENT");
    v.Type = type.empty() ? ' ' : type.front();
    v.RecSizeSec = Number(s, name, "REC_SIZE_SEC", v.RecSizeSec);
    v.FileSizeSec = Number(s, name, "FILE_SIZE_SEC", v.FileSizeSec);
    v.ChannelCount = Int(s, name, "N_CH", v.ChannelCount);
    v.Channels = NumberList(Text(s, name, "CH", "7,5,3"));
  }
  head.Groups.resize(static_cast<size_t>(NumberedCount(s, "GROUP", head.NGroup)));
  for (size_t i = 0; i < head.Groups.size(); ++i) {
    const std::string name = Numbered("GROUP", static_cast<int32_t>(i + 1));
    TSDASGroup& v = head.Groups[i];
    v.Type = Text(s, name, "TYPE", v.Type);
    v.Gain = Number(s, name, "GAIN", 0);
    v.Channels = Text(s, name, "CH", v.Channels);
  }

  TSDASFileParam& f = head.File;
  f.Stream = Int(s, "FILE", "STREAM", f.Stream);
  f.DataType = Text(s, "FILE", "DATA_TYPE", f.DataType);
  f.DataSec = Number(s, "FILE", "DATA_SEC", 0);
  f.DateInt = Text(s, "FILE", "DATE_INT", f.DateInt);
  f.TimeInt = Text(s, "FILE", "TIME_INT", f.TimeInt);
  f.DateDos = Text(s, "FILE", "DATE_DOS", f.DateDos);
  f.TimeDos = Text(s, "FILE", "TIME_DOS", f.TimeDos);
  f.DateExt = Text(s, "FILE", "DATE_EXT", f.DateExt);
  f.TimeExt = Text(s, "FILE", "TIME_EXT", f.TimeExt);
  f.FileType = Text(s, "FILE", "FILE_TYPE", f.FileType);
  return true;
}

bool ReadSdasCommonHead(BinaryFile& file, TSDASCommonHead& head) {
  const auto read_text = [&file](int64_t limit) {
    std::vector<uint8_t> raw = file.ReadBytes(0, static_cast<size_t>(limit));
    // The text ends where the padding of zero bytes begins.
    const auto nul = std::find(raw.begin(), raw.end(), uint8_t{0});
    return std::string(raw.begin(), nul);
  };
  const TSDASCommonHead defaults;
  if (!ParseSdasHeaderText(read_text(defaults.HeaderSize), head)) return false;
  // The header may say that its text is longer (or that the data start earlier).
  int64_t limit = head.HeaderSize > 0 ? head.HeaderSize : defaults.HeaderSize;
  if (head.OffsetToData > 0) limit = std::min<int64_t>(limit, head.OffsetToData);
  limit = std::min(limit, kMaxHeaderText);
  if (limit != defaults.HeaderSize) return ParseSdasHeaderText(read_text(limit), head);
  return true;
}

SdasBlockHeader ParseSdasBlockHeader(std::span<const uint8_t, kSdasBlockHeaderSize> raw) {
  SdasBlockHeader b;
  bool markers = true;
  for (int k = 0; k < 4; ++k) markers = markers && LoadI16LE(&raw[2 * k]) == kSdasBlockMarker;
  b.Rate = LoadI16LE(&raw[28]);
  b.Duration = LoadI16LE(&raw[106]);
  for (size_t k = 0; k < 6; ++k) {
    b.Stamp1[k] = LoadI16LE(&raw[34 + 2 * k]);
    b.Stamp2[k] = LoadI16LE(&raw[46 + 2 * k]);
  }
  b.Valid = markers && b.Rate > 0 && b.Duration > 0;
  return b;
}

TDateTime SdasBlockStart(const SdasBlockHeader& block) {
  const TDateTime second = StampTime(block.Stamp2);
  return second >= kSecondStampFrom ? second : StampTime(block.Stamp1);
}

bool ReadSdasHeader(const std::string& path, TFileRecordInfo& info, double, TStatus* why) {
  info.Reset();
  BinaryFile file;
  TSDASCommonHead head;
  if (!file.Open(path)) return RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
  if (!ReadSdasCommonHead(file, head)) {
    return RefuseFile(why, Refusal(TCode::kRefuseSdasNoHeader));
  }
  info.Station = head.Name;

  // Only the first block says anything the header needs; a file without a valid one keeps a
  // rate of 0 and no samples.
  std::array<uint8_t, kSdasBlockHeaderSize> raw{};
  if (head.OffsetToData >= 0 && file.ReadExact(head.OffsetToData, raw.data(), raw.size())) {
    const SdasBlockHeader block = ParseSdasBlockHeader(raw);
    if (block.Valid) {
      info.SampRate = block.Rate;
      info.Start = SdasBlockStart(block);
    }
  }

  const TSDASStream& stream = head.FileStream();
  info.ChannelCount = std::clamp(stream.ChannelCount, 0, kMaxChannels);
  for (int k = 0; k < info.ChannelCount; ++k) {
    const auto ks = static_cast<size_t>(k);
    const int32_t number = ks < stream.Channels.size() ? stream.Channels[ks] : 0;
    info.ChannelNames[ks] = ShortName(head.Channel(number).Name);
    info.ChannelCoefs[ks] = 1.0;
  }
  info.BlockCount = 1;
  info.SampleCount = RoundToInt32Clamped(stream.FileSizeSec * info.SampRate);
  info.BlockSamples = RoundToInt32Clamped(stream.RecSizeSec * info.SampRate);
  return true;
}

void ReadSdasInto(const std::string& path, LoadTarget& target) {
  BinaryFile file;
  TSDASCommonHead head;
  if (target.Data == nullptr || !file.Open(path) || !ReadSdasCommonHead(file, head) ||
      head.OffsetToData < 0) {
    return;
  }
  // Blocks hold every channel of the file's own stream; a record keeps at most the first 32.
  const int64_t channels = std::max(0, head.FileStream().ChannelCount);
  const int64_t kept = std::min<int64_t>(channels, kMaxChannels);
  const int64_t size = file.Size();
  std::array<uint8_t, kSdasBlockHeaderSize> raw{};
  std::vector<int32_t> samples;
  int percent = -1;
  for (int64_t at = head.OffsetToData; file.ReadExact(at, raw.data(), raw.size());) {
    const SdasBlockHeader block = ParseSdasBlockHeader(raw);
    if (!block.Valid) break;
    const int64_t n = int64_t{block.Duration} * block.Rate;
    const int64_t data_at = at + kSdasBlockHeaderSize;
    const int64_t room = std::max<int64_t>(0, target.Length() - target.Position);
    for (int64_t c = 0; c < kept && room > 0; ++c) {
      const std::vector<uint8_t> bytes =
          file.ReadBytes(data_at + c * n * 2, static_cast<size_t>(std::min(n, room) * 2));
      samples.resize(bytes.size() / 2);
      for (size_t i = 0; i < samples.size(); ++i) samples[i] = LoadU16LE(&bytes[2 * i]);
      target.Write(static_cast<int>(c), target.Position, samples);
    }
    target.Position += n;
    at = data_at + n * channels * 2;
    if (target.Host != nullptr && size > 0) {
      const int now = static_cast<int>(std::min<int64_t>(at, size) * 100 / size);
      if (now != percent) target.Host->SetProgress(percent = now, 100);
    }
  }
}

}  // namespace tarvik
