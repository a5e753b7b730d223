#include "records/record_model.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/rounding.h"
#include "common/text_encoding.h"
#include "records/read_samples.h"
#include "records/sample_ranges.h"

namespace tarvik {

namespace {

constexpr std::array<std::string_view, kSampleTypeCount> kSampleTypeTexts = {
    "??", "a0", "b0", "c0", "t4", "t8", "s2", "s4", "f4", "f8", "i2", "i4", "g2",
    "z4", "33", "C0", "C1", "C2", "C3", "D1", "D2", "D4", "t2", "w2", "s3", "i3"};

int64_t RoundSamples(double days, double rate) {
  return RoundToInt64(days * kSecondsPerDay * rate);
}

}  // namespace

std::string TagText(FormatTag tag) {
  if (tag == 0) return "0";
  std::string out;
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>(tag >> (8 * i));
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

FormatTag TagFromText(std::string_view text) {
  if (text.size() != 4) return 0;
  FormatTag tag = 0;
  for (int i = 0; i < 4; ++i)
    tag |= static_cast<uint32_t>(static_cast<uint8_t>(text[i])) << (8 * i);
  return tag;
}

std::string_view SampleTypeText(int32_t code) {
  if (code < 0 || code >= kSampleTypeCount) return kSampleTypeTexts[0];
  return kSampleTypeTexts[static_cast<size_t>(code)];
}

int32_t SampleTypeFromText(std::string_view text) {
  for (size_t i = 0; i < kSampleTypeTexts.size(); ++i) {
    if (kSampleTypeTexts[i] == text) return static_cast<int32_t>(i);
  }
  return 0;
}

int SampleTypeSize(int32_t code) {
  switch (code) {
    case kSampleT4:
    case kSampleS4:
    case kSampleF4:
    case kSampleI4:
      return 4;
    case kSampleT8:
    case kSampleF8:
      return 8;
    case kSampleS2:
    case kSampleI2:
    case kSampleT2:
    case kSampleW2:
      return 2;
    default:
      return 0;
  }
}

std::string ShortName(std::string_view text) {
  // Cut at a character boundary so that a UTF-8 name is never split inside a letter.
  size_t chars = 0;
  size_t i = 0;
  while (i < text.size() && chars < kShortNameLength) {
    const auto b = static_cast<unsigned char>(text[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    i = std::min(text.size(), i + len);
    ++chars;
  }
  return std::string(text.substr(0, i));
}

bool RefuseFile(TStatus* why, TStatus reason) {
  if (why != nullptr) *why = std::move(reason);
  return false;
}

TStatus Refusal(TCode code, std::vector<TArg> args, int64_t offset) {
  TStatus status = MakeStatus(code, std::move(args));
  status.Offset = offset;
  return status;
}

TStatus RefusalIn(TCode where, int64_t number, int64_t offset, const TStatus& cause) {
  std::vector<TArg> args = {std::to_string(number)};
  if (offset >= 0) args.emplace_back(std::to_string(offset));
  args.emplace_back(cause);
  TStatus status = MakeStatus(where, std::move(args));
  status.Offset = cause.Offset >= 0 ? cause.Offset : offset;
  status.Record = cause.Record >= 0
                      ? cause.Record
                      : static_cast<int>(std::clamp<int64_t>(number - 1, -1, 1 << 30));
  return status;
}

TDateTime TRecordDescription::EndTime() const {
  if (SampRate <= 0.0) return StartTime;
  return StartTime + SpanOfSamples(Count, SampRate);
}

void TRecordDescription::AssignHeader(const TRecordDescription& other) {
  if (this == &other) return;
  std::vector<int32_t> keep = std::move(Data);
  *this = other;  // copies Data too; replaced below
  Data = std::move(keep);
}

std::array<uint8_t, 32> TRecordDescription::DefaultFlags() {
  std::array<uint8_t, 32> f{};
  f[0] = 0;
  f[1] = 2;
  f[2] = 0;
  f[3] = 0;
  f[4] = 1;
  return f;
}

TRecList TRecList::Select(std::string_view station, std::string_view location, TDateTime from,
                          TDateTime to, std::string_view channel, bool ordered) const {
  TRecList out;
  out.TimeTolerance = TimeTolerance;
  for (const TRecordDescription& seg : Items) {
    if (seg.Station != station || seg.Location != location) continue;
    if (seg.Channel != channel && seg.Channel.find(channel) == std::string::npos) continue;
    const TDateTime end =
        seg.StartTime + (seg.SampRate > 0 ? SpanOfSamples(seg.Count, seg.SampRate) : 0.0);
    const bool overlaps = (seg.StartTime >= from && seg.StartTime <= to) ||
                          (end >= from && end <= to) || (from >= seg.StartTime && from <= end) ||
                          (to >= seg.StartTime && to <= end);
    if (!overlaps) continue;
    if (!ordered) {
      out.Items.push_back(seg);
      continue;
    }
    auto pos = std::find_if(out.Items.begin(), out.Items.end(), [&](const TRecordDescription& s) {
      return s.StartTime >= seg.StartTime;
    });
    out.Items.insert(pos, seg);
  }
  return out;
}

TRecordDescription TRecList::GetData(std::string_view station, std::string_view location,
                                     TDateTime to, TDateTime from, std::string_view channel,
                                     TRecordRanges* covered) const {
  std::vector<int32_t> data;
  int64_t at = 0;
  TRecordDescription out = Gather(station, location, to, from, channel, covered, nullptr, data, at);
  out.Data = std::move(data);
  return out;
}

TRecordDescription TRecList::GetDataInto(std::string_view station, std::string_view location,
                                         TDateTime to, TDateTime from, std::string_view channel,
                                         TDateTime row_start, std::vector<int32_t>& row,
                                         int64_t& at, TRecordRanges* covered) const {
  return Gather(station, location, to, from, channel, covered, &row_start, row, at);
}

TRecordDescription TRecList::Gather(std::string_view station, std::string_view location,
                                    TDateTime to, TDateTime from, std::string_view channel,
                                    TRecordRanges* covered, const TDateTime* row_start,
                                    std::vector<int32_t>& row, int64_t& at) const {
  at = 0;
  if (covered != nullptr) covered->clear();
  TRecList selected = Select(station, location, from, to, channel, true);
  TRecordDescription out;
  if (selected.empty()) {
    out.Station = station;
    out.Location = location;
    out.Channel = channel;
    out.StartTime = from;
    out.SampRate = 0.0;
    out.Calib = 1.0;
    out.DataType = kSampleI4;
    out.Flags.fill(0);
    return out;
  }
  out.AssignHeader(selected[0]);
  out.Data.clear();
  const double rate = out.SampRate;
  if (!(rate > 0.0) || !std::isfinite(rate)) {
    out.Count = 0;
    return out;
  }
  // A damaged time stamp can make the span far longer than the samples the segments hold; the
  // zeros allocated for gaps are bounded by the samples themselves plus one day, and that day
  // by a day at 100 Hz, so that a damaged rate cannot claim gigabytes for it either.
  constexpr int64_t kGapAllowance = 86400 * 100;
  int64_t held = 0;
  for (const auto& seg : selected.Items) held += std::max<int32_t>(seg.Count, 0);
  const int64_t allowance = std::min<int64_t>(RoundSamples(1.0, rate), kGapAllowance);
  const int64_t limit = std::min<int64_t>(2 * held + allowance, INT32_MAX);
  out.Count = static_cast<int32_t>(std::clamp<int64_t>(RoundSamples(to - from, rate), 0, limit));
  const int64_t d = RoundSamples(from - out.StartTime, rate);
  out.StartTime = out.StartTime + static_cast<double>(d) / rate / kSecondsPerDay;
  CloseSmallGaps(selected, 1);
  if (row_start == nullptr) {
    row.assign(static_cast<size_t>(out.Count), 0);
  } else {
    at = RoundSamples(out.StartTime - *row_start, rate);
  }
  // Index i of the span is row[at + i]; indices that fall outside row are dropped. A span
  // wholly outside row stays so with at brought nearer, which keeps the sums below in range
  // whatever a damaged time stamp made of at.
  const auto row_size = static_cast<int64_t>(row.size());
  const int64_t reach = row_size + out.Count;
  const int64_t place = std::clamp(at, -reach, reach);
  const int64_t row_first = std::clamp<int64_t>(place, 0, row_size);
  const int64_t row_end = std::clamp<int64_t>(place + out.Count, 0, row_size);

  // The span's indices that some segment wrote; the others are zeroed at the end.
  TRecordRanges written;
  std::vector<int32_t> scratch;
  SampleReader reader;
  for (auto& seg : selected.Items) {
    const double srate = seg.SampRate;
    if (!(srate > 0.0) || seg.Count <= 0) continue;
    const int64_t n = reader.Count(seg);
    if (n == 0) continue;
    const int64_t first = RoundSamples(out.StartTime - seg.StartTime, srate);
    int64_t lo = std::clamp<int64_t>(first, 0, n - 1);
    int64_t hi = std::clamp<int64_t>(RoundSamples(to - seg.StartTime, srate), 0, n - 1);
    const int64_t shift = std::max<int64_t>(0, RoundSamples(seg.StartTime - out.StartTime, srate));
    hi = std::min<int64_t>(hi, lo + out.Count - shift - 1);
    // A segment that ends where the span begins holds no sample of it (first >= n): clamping
    // lo would bring its last sample in at the span's first position.
    if (first >= n || hi < lo || shift >= out.Count) continue;
    int64_t sound = 0;
    const int64_t base = place + shift - lo;  // where in row the segment's first sample belongs
    if (lo == 0 && hi == n - 1 && base >= 0 && base + n <= row_size) {
      // Every sample the segment gives lands in row: decoded in place.
      reader.ReadInto(
          seg, std::span(row).subspan(static_cast<size_t>(base), static_cast<size_t>(n)), &sound);
    } else {
      scratch.resize(static_cast<size_t>(n));
      reader.ReadInto(seg, scratch, &sound);
      const int64_t a = std::max(lo, -base);
      const int64_t b = std::min(hi, row_size - 1 - base);
      if (a <= b) std::copy(scratch.begin() + a, scratch.begin() + b + 1, row.begin() + base + a);
    }
    AddRange(written, shift, shift + hi - lo);
    if (covered != nullptr) {
      // A later segment over an earlier one replaces its samples, sound or not.
      const int64_t sound_last = std::min(hi, sound - 1);
      AddRange(*covered, shift, shift + sound_last - lo);
      RemoveRange(*covered, shift + std::max(sound_last + 1, lo) - lo, shift + hi - lo);
    }
  }
  if (row_start != nullptr) {
    for (const auto& [a, b] : ComplementOf(written, row_first - place, row_end - place - 1)) {
      std::fill(row.begin() + place + a, row.begin() + place + b + 1, 0);
    }
  }
  return out;
}

std::pair<TDateTime, TDateTime> TRecList::Span() const {
  if (Items.empty()) return {0.0, 0.0};
  TDateTime lo = Items.front().StartTime;
  TDateTime hi = Items.front().EndTime();
  for (const auto& seg : Items) {
    lo = std::min(lo, seg.StartTime);
    hi = std::max(hi, seg.EndTime());
  }
  return {lo, hi};
}

void CloseSmallGaps(TRecList& list, int64_t tolerance) {
  for (size_t i = 1; i < list.size(); ++i) {
    const TRecordDescription& a = list[i - 1];
    TRecordDescription& b = list[i];
    if (!(a.SampRate > 0.0)) continue;
    const int64_t gap = std::llabs(RoundSamples(b.StartTime - a.StartTime, a.SampRate) -
                                   static_cast<int64_t>(a.Count));
    if (gap > 0 && gap <= tolerance) b.StartTime = a.EndTime();
  }
}

namespace {

constexpr int32_t kAxisE = 0;
constexpr int32_t kAxisN = 1;
constexpr int32_t kAxisZ = 2;

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A SEED channel code (band, instrument, orientation) with one of the usual orientations: Z,
// N or 1 (the first horizontal), E or 2 (the second); -1 for any other name. A location code
// written before the channel ("10.HHZ") is looked past.
int32_t SeedAxis(std::string_view upper) {
  const size_t dot = upper.rfind('.');
  if (dot != std::string_view::npos) upper.remove_prefix(dot + 1);
  if (upper.size() != 3 || !IsLetter(upper[0]) || !IsLetter(upper[1])) return -1;
  switch (upper[2]) {
    case 'Z':
      return kAxisZ;
    case 'N':
    case '1':
      return kAxisN;
    case 'E':
    case '2':
      return kAxisE;
    default:
      return -1;
  }
}

// A Reftek channel: the stream's name, "_" and the recorder's channel number. Recorders wire a
// three-component sensor as channels 1, 2, 3 (a second one as 4, 5, 6) in the order Z, N, E.
int32_t ReftekAxis(std::string_view upper) {
  const size_t cut = upper.rfind('_');
  if (cut == std::string_view::npos) return -1;
  const std::string_view digits = upper.substr(cut + 1);
  if (digits.empty() || digits.size() > 2 || !IsDigit(digits[0]) ||
      (digits.size() == 2 && !IsDigit(digits[1]))) {
    return -1;
  }
  const int number =
      digits.size() == 2 ? (digits[0] - '0') * 10 + (digits[1] - '0') : digits[0] - '0';
  if (number < 1) return -1;
  constexpr int32_t kWiring[] = {kAxisZ, kAxisN, kAxisE};
  return kWiring[(number - 1) % 3];
}

}  // namespace

Component AxisFromChannelName(std::string_view name) {
  const std::string upper = AsciiUpper(name);
  // In a SEED code the band letter ("E" of every short-period "EH?" channel) says nothing of
  // the direction; the last letter does.
  if (const int32_t seed = SeedAxis(upper); seed >= 0) return static_cast<Component>(seed);
  if (const int32_t reftek = ReftekAxis(upper); reftek >= 0) return static_cast<Component>(reftek);
  const size_t e = upper.find('E');
  const size_t n = upper.find('N');
  if (e == std::string::npos && n == std::string::npos) return Component::kZ;
  if (e == std::string::npos) return Component::kN;
  if (n == std::string::npos) return Component::kE;
  return n < e ? Component::kN : Component::kE;
}

std::pair<std::string_view, std::string_view> SplitChannelLocation(std::string_view name) {
  // A location is one or two characters, a SEED channel at most three.
  const auto alnum = [](std::string_view t) {
    return std::all_of(t.begin(), t.end(), [](char c) {
      return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
  };
  const size_t dot = name.find('.');
  if (dot == 0 || dot == std::string_view::npos || dot > 2 || name.size() - dot - 1 < 1 ||
      name.size() - dot - 1 > 3 || !alnum(name.substr(0, dot)) || !alnum(name.substr(dot + 1))) {
    return {std::string_view(), name};
  }
  return {name.substr(0, dot), name.substr(dot + 1)};
}

std::string LocatedChannelName(std::string_view location, std::string_view channel) {
  return ShortName(std::string(location) + "." + std::string(channel));
}

std::array<int32_t, kMaxChannels> ChannelLevels(const TFileRecord& record) {
  std::array<int32_t, kMaxChannels> levels{};
  for (size_t c = 0; c < record.Channels.size() && c < levels.size(); ++c)
    levels[c] = record.Channels[c].Level;
  return levels;
}

std::array<bool, kMaxChannels> SelectedChannels(const TFileRecord& record) {
  std::array<bool, kMaxChannels> selected{};
  for (size_t c = 0; c < record.Channels.size() && c < selected.size(); ++c)
    selected[c] = record.Channels[c].Selected;
  return selected;
}

std::vector<std::string> ChannelNames(const TFileRecord& record) {
  std::vector<std::string> names;
  names.reserve(record.Channels.size());
  for (const TRecordChannel& c : record.Channels) names.push_back(c.Channel);
  return names;
}

std::string RecordLocation(const TFileRecord& record) {
  if (record.Channels.empty()) return {};
  return std::string(SplitChannelLocation(record.Channels[0].Channel).first);
}

TFileRecord FormRecord(const std::string& path, const TFileRecordInfo& info,
                       bool recognize_component) {
  TFileRecord r;
  r.File = path;
  r.Station = ShortName(info.Station);
  r.SampRate = info.SampRate;
  r.Start = info.Start;
  r.Finish =
      info.SampRate > 0 ? info.Start + SpanOfSamples(info.SampleCount, info.SampRate) : info.Start;
  r.SelectStart = r.Start;
  r.SelectFinish = r.Finish;
  r.SampleCount = info.SampleCount;
  r.Channels.resize(static_cast<size_t>(std::clamp(info.ChannelCount, 0, kMaxChannels)));
  for (size_t c = 0; c < r.Channels.size(); ++c) {
    TRecordChannel& ch = r.Channels[c];
    ch.Channel = info.ChannelNames[c];
    ch.ADCCoef = info.ChannelCoefs[c];
    ch.Selected = true;
    ch.Level = -1;
    const int32_t stated = info.ChannelAxes[c];
    ch.Axis = !recognize_component ? Component::kZ
              : stated >= 0        ? static_cast<Component>(stated)
                                   : AxisFromChannelName(info.ChannelNames[c]);
  }
  return r;
}

}  // namespace tarvik
