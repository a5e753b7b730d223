#include "records/seg2.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

#include "common/bytes.h"
#include "common/datetime.h"
#include "common/number_text.h"
#include "common/rounding.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

constexpr int64_t kFileDescriptorSize = 32;
constexpr int64_t kTraceDescriptorMinSize = 32;
// Strings of the file descriptor block are read no further than this.
constexpr int64_t kMaxStringBlock = int64_t{1} << 20;

// The numbers of a file in the byte order its block id tells.
struct ByteOrder {
  bool Big = false;
  uint16_t U16(const uint8_t* p) const { return Big ? LoadU16BE(p) : LoadU16LE(p); }
  uint32_t U32(const uint8_t* p) const { return Big ? LoadU32BE(p) : LoadU32LE(p); }
};

// The byte order of a block whose id is the 16-bit value id; nullopt when the bytes are not it.
std::optional<ByteOrder> OrderOfId(const uint8_t* p, uint16_t id) {
  if (LoadU16LE(p) == id) return ByteOrder{false};
  if (LoadU16BE(p) == id) return ByteOrder{true};
  return std::nullopt;
}

// The fields of the 32-byte file descriptor block.
struct Descriptor {
  ByteOrder Order;
  int Revision = 0;
  int64_t PointerBlock = 0;  // bytes of the trace pointer sub-block
  int Traces = 0;
  std::string Terminator;  // of each string
};

TStatus DescriptorProblem(const uint8_t* b, int64_t file_size, Descriptor& d) {
  const std::optional<ByteOrder> order = OrderOfId(b, 0x3a55);
  if (!order) return Refusal(TCode::kRefuseBlockId, {"0", "1", "3A55h"}, 0);
  d.Order = *order;
  d.Revision = d.Order.U16(b + 2);
  d.PointerBlock = d.Order.U16(b + 4);
  d.Traces = d.Order.U16(b + 6);
  if (d.Revision < 1) return Refusal(TCode::kRefuseRevisionZero, {"2", "3"}, 2);
  if (d.Traces < 1) return Refusal(TCode::kRefuseNoTraces, {"6", "7"}, 6);
  if (d.PointerBlock < 4 * int64_t{d.Traces}) {
    return Refusal(TCode::kRefusePointerBlockSmall,
                   {std::to_string(d.PointerBlock), "4", "5", std::to_string(d.Traces)}, 4);
  }
  if (kFileDescriptorSize + d.PointerBlock > file_size) {
    return Refusal(TCode::kRefusePointerBlockPastEnd, {std::to_string(d.PointerBlock)});
  }
  const int terminator = b[8];
  if (terminator != 1 && terminator != 2) {
    return Refusal(TCode::kRefuseStringTerminator, {"8", std::to_string(terminator)}, 8);
  }
  d.Terminator.assign(reinterpret_cast<const char*>(b + 9), static_cast<size_t>(terminator));
  if (b[11] > 2) return Refusal(TCode::kRefuseLineTerminator, {"11", std::to_string(b[11])}, 11);
  return {};
}

// The strings of a block: each is preceded by the 16-bit offset of the next one (counted from
// its own offset field; 0 ends the list) and ends with the terminator. Keys are upper-cased;
// of a key standing twice the first value counts.
class Strings {
 public:
  Strings(std::span<const uint8_t> block, const ByteOrder& order, std::string_view terminator) {
    size_t pos = 0;
    while (pos + 2 <= block.size()) {
      const size_t next = order.U16(&block[pos]);
      if (next <= 2) break;  // the end of the list, or an offset that could not advance
      const size_t end = std::min(block.size(), pos + next);
      std::string_view text(reinterpret_cast<const char*>(&block[pos + 2]), end - pos - 2);
      text = text.substr(0, std::min(text.find(terminator), text.find('\0')));
      const size_t blank = text.find_first_of(" \t");
      const std::string key = AsciiUpper(Trim(text.substr(0, blank)));
      const std::string value =
          blank == std::string_view::npos ? std::string() : Trim(text.substr(blank + 1));
      if (!key.empty()) items_.emplace_back(key, value);
      pos += next;
    }
  }

  // The value of key; null when the block has no such string.
  const std::string* Find(std::string_view key) const {
    for (const auto& [k, v] : items_) {
      if (k == key) return &v;
    }
    return nullptr;
  }

  // The number that value begins with ("0.00100000", "2.17378e-05", "1068.DAT" gives 1068).
  std::optional<double> Number(std::string_view key) const {
    const std::string* v = Find(key);
    return v != nullptr ? ParseLeadingDouble(*v) : std::nullopt;
  }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

// The component an orientation string names: Z, N or E (x, y, z taken as east, north, up).
char ComponentOf(const Strings& s) {
  for (const char* key :
       {"COMPONENT", "ORIENTATION", "RECEIVER_ORIENTATION", "REGISTRATION_DIRECTION"}) {
    const std::string* v = s.Find(key);
    if (v == nullptr) continue;
    const std::string word = AsciiUpper(v->substr(0, v->find_first_of(" \t")));
    if (word == "Z" || word == "V" || word == "U" || word == "UP" || word == "VERTICAL") return 'Z';
    if (word == "N" || word == "Y" || word == "NORTH" || word == "NS") return 'N';
    if (word == "E" || word == "X" || word == "EAST" || word == "EW") return 'E';
  }
  return 0;
}

// Day, month and year of "07/JAN/2013" (the month also as a number, a two-digit year taken as
// 1970 to 2069); nullopt when the text is not such a date.
std::optional<TDateTime> ParseDate(std::string_view text) {
  std::array<std::string, 3> part;
  size_t k = 0;
  for (char c : text) {
    if (c == '/' || c == '-' || c == '.' || c == ' ') {
      if (!part[k].empty() && ++k == part.size()) return std::nullopt;
    } else {
      part[k].push_back(c);
    }
  }
  if (k != 2 || part[2].empty()) return std::nullopt;
  static constexpr std::array<const char*, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  int month = 0;
  const std::string name = AsciiUpper(part[1]).substr(0, 3);
  for (size_t m = 0; m < kMonths.size(); ++m) {
    if (name == kMonths[m]) month = static_cast<int>(m) + 1;
  }
  if (month == 0) month = ParseInt32(part[1]).value_or(0);
  const std::optional<int32_t> day = ParseInt32(part[0]);
  std::optional<int32_t> year = ParseInt32(part[2]);
  if (!day || !year || *day < 1 || *day > 31 || month < 1 || month > 12 || *year < 0 ||
      *year > 9999) {
    return std::nullopt;
  }
  if (part[2].size() <= 2) *year += *year < 70 ? 2000 : 1900;
  if (*year < 1) return std::nullopt;
  return EncodeDateTime(*year, month, *day);
}

// Seconds of the day of "10:30:41" (seconds may carry a fraction, the seconds may be left out).
std::optional<double> ParseTime(std::string_view text) {
  std::array<double, 3> part{};
  size_t k = 0;
  while (true) {
    const size_t colon = text.find(':');
    const std::optional<double> v = ParseDouble(Trim(text.substr(0, colon)));
    if (!v || *v < 0.0) return std::nullopt;
    part[k++] = *v;
    if (colon == std::string_view::npos) break;
    if (k == part.size()) return std::nullopt;
    text.remove_prefix(colon + 1);
  }
  if (k < 2 || part[0] >= 24.0 || part[1] >= 60.0 || part[2] >= 61.0) return std::nullopt;
  return std::floor(part[0]) * 3600.0 + std::floor(part[1]) * 60.0 + part[2];
}

// Bytes that hold n samples of a format.
int64_t BytesOfSamples(int format, int64_t n) {
  switch (format) {
    case kSeg2Int16:
      return 2 * n;
    case kSeg2Float20:
      return (n + 3) / 4 * 10;
    case kSeg2Float64:
      return 8 * n;
    default:
      return 4 * n;
  }
}

// Samples of a format that bytes hold whole.
int64_t SamplesInBytes(int format, int64_t bytes) {
  switch (format) {
    case kSeg2Int16:
      return bytes / 2;
    case kSeg2Float20:
      return bytes / 10 * 4;
    case kSeg2Float64:
      return bytes / 8;
    default:
      return bytes / 4;
  }
}

// Reads the descriptor block of trace index at offset into t; why says what is wrong.
bool ReadTrace(BinaryFile& file, const ByteOrder& order, const std::string& terminator, int index,
               int64_t offset, Seg2Trace& t, TStatus* why) {
  const auto refuse = [why, index, offset](TCode code, std::vector<TArg> args = {}) {
    return RefuseFile(
        why, RefusalIn(TCode::kRefuseInTrace, index + 1, offset, Refusal(code, std::move(args))));
  };
  uint8_t b[kTraceDescriptorMinSize];
  if (!file.ReadExact(offset, b, sizeof b)) return refuse(TCode::kRefuseDescriptorPastEnd);
  const std::optional<ByteOrder> own = OrderOfId(b, 0x4422);
  if (!own || own->Big != order.Big) return refuse(TCode::kRefuseBlockIdNoBytes, {"4422h"});
  const int64_t block = order.U16(b + 2);
  const int64_t data_size = order.U32(b + 4);
  const int64_t stated = order.U32(b + 8);
  t.Format = b[12];
  if (block < kTraceDescriptorMinSize || offset + block > file.Size()) {
    return refuse(TCode::kRefuseBlockSize,
                  {std::to_string(block), std::to_string(kTraceDescriptorMinSize)});
  }
  if (t.Format < kSeg2Int16 || t.Format > kSeg2Float64) {
    return refuse(TCode::kRefuseDataFormatCode, {std::to_string(t.Format)});
  }
  t.Descriptor = offset;
  t.Data = offset + block;
  // The samples the data block and the file hold whole, never more than the block states.
  int64_t room = file.Size() - t.Data;
  if (data_size > 0) room = std::min(room, data_size);
  t.Samples = ClampToInt32(std::min(stated, SamplesInBytes(t.Format, std::max<int64_t>(room, 0))));

  const std::vector<uint8_t> body =
      file.ReadBytes(offset + kTraceDescriptorMinSize, static_cast<size_t>(block - 32));
  const Strings strings(body, order, terminator);
  t.Interval = strings.Number("SAMPLE_INTERVAL").value_or(0.0);
  if (!(t.Interval > 0.0) || !std::isfinite(1.0 / t.Interval)) {
    return refuse(TCode::kRefuseNoPositiveKey, {"SAMPLE_INTERVAL"});
  }
  const double descaling = strings.Number("DESCALING_FACTOR").value_or(1.0);
  t.Descaling = descaling > 0.0 && std::isfinite(1.0 / descaling) ? descaling : 1.0;
  t.Delay = strings.Number("DELAY").value_or(0.0);
  if (!(std::abs(t.Delay) < kSecondsPerDay)) t.Delay = 0.0;
  if (const std::string* v = strings.Find("CHANNEL_NUMBER")) t.ChannelNumber = Cp1251ToUtf8(*v);
  if (const std::string* v = strings.Find("STATION_CODE")) t.Station = Cp1251ToUtf8(*v);
  t.Component = ComponentOf(strings);
  return true;
}

// The acquisition time of the file strings, in UTC where the writer gives it.
bool ReadStart(const Strings& s, TDateTime& start, TStatus* why) {
  const bool utc = s.Find("ACQUISITION_DATE_UTC") != nullptr;
  const std::string suffix = utc ? "_UTC" : "";
  const std::string* date = s.Find("ACQUISITION_DATE" + suffix);
  start = 0.0;
  if (date == nullptr) return true;  // a file that keeps no date starts at time 0 (1899-12-30)
  const std::optional<TDateTime> day = ParseDate(*date);
  if (!day) {
    return RefuseFile(
        why, Refusal(TCode::kRefuseKeyNotDate, {"ACQUISITION_DATE" + suffix, Cp1251ToUtf8(*date)}));
  }
  double seconds = 0.0;
  if (const std::string* time = s.Find("ACQUISITION_TIME" + suffix)) {
    const std::optional<double> t = ParseTime(*time);
    if (!t) {
      return RefuseFile(why, Refusal(TCode::kRefuseKeyNotTimeOfDay,
                                     {"ACQUISITION_TIME" + suffix, Cp1251ToUtf8(*time)}));
    }
    seconds = *t;
  }
  const double micro = s.Number("ACQUISITION_TIME_MICROSECONDS" + suffix).value_or(0.0);
  if (micro >= 0.0 && micro < 1e6) seconds += micro / 1e6;
  start = *day + seconds / kSecondsPerDay;
  return true;
}

}  // namespace

bool LooksLikeSeg2(std::span<const uint8_t> head, int64_t file_size) {
  if (head.size() < kFileDescriptorSize) return false;
  Descriptor d;
  return DescriptorProblem(head.data(), file_size, d).Ok();
}

std::optional<Seg2File> ReadSeg2Fields(const std::string& path, TStatus* why) {
  const auto refuse = [why](TStatus reason) {
    RefuseFile(why, std::move(reason));
    return std::nullopt;
  };
  BinaryFile file;
  if (!file.Open(path)) return refuse(Refusal(TCode::kRefuseNotOpened));
  uint8_t head[kFileDescriptorSize];
  if (!file.ReadExact(0, head, sizeof head)) {
    return refuse(
        Refusal(TCode::kRefuseShorterThanDescriptor, {std::to_string(kFileDescriptorSize)}));
  }
  Descriptor d;
  if (TStatus problem = DescriptorProblem(head, file.Size(), d); !problem.Ok()) {
    return refuse(std::move(problem));
  }
  Seg2File out;
  out.BigEndian = d.Order.Big;
  const std::vector<uint8_t> pointers =
      file.ReadBytes(kFileDescriptorSize, static_cast<size_t>(4 * d.Traces));
  const int64_t strings_begin = kFileDescriptorSize + d.PointerBlock;
  int64_t strings_end = std::min(file.Size(), strings_begin + kMaxStringBlock);
  std::vector<int64_t> offsets;
  for (int i = 0; i < d.Traces; ++i) {
    const int64_t p = d.Order.U32(&pointers[static_cast<size_t>(4 * i)]);
    if (p < strings_begin || p + kTraceDescriptorMinSize > file.Size()) {
      const int64_t pointer_at = kFileDescriptorSize + 4 * int64_t{i};
      const TStatus cause =
          p < strings_begin ? Refusal(TCode::kRefusePointerIntoDescriptor,
                                      {std::to_string(pointer_at), std::to_string(p)}, pointer_at)
                            : Refusal(TCode::kRefusePointerBeyondEnd,
                                      {std::to_string(pointer_at), std::to_string(p),
                                       std::to_string(file.Size())},
                                      pointer_at);
      return refuse(RefusalIn(TCode::kRefuseInTraceNoByte, i + 1, -1, cause));
    }
    offsets.push_back(p);
    strings_end = std::min(strings_end, p);
  }

  // Traces beyond the 32 channels a record holds are checked, not kept.
  for (int i = 0; i < d.Traces; ++i) {
    Seg2Trace t;
    if (!ReadTrace(file, d.Order, d.Terminator, i, offsets[static_cast<size_t>(i)], t, why)) {
      return std::nullopt;
    }
    if (i < kMaxChannels) out.Traces.push_back(std::move(t));
  }
  // One record has one rate.
  for (size_t i = 1; i < out.Traces.size(); ++i) {
    const double a = out.Traces[0].Interval;
    const double b = out.Traces[i].Interval;
    if (std::abs(a - b) > 1e-9 * a) {
      return refuse(Refusal(
          TCode::kRefuseTracesDiffer,
          {"1", std::to_string(i + 1), "SAMPLE_INTERVAL", std::to_string(a), std::to_string(b)}));
    }
  }
  out.Rate = 1.0 / out.Traces[0].Interval;

  const std::vector<uint8_t> block = file.ReadBytes(
      strings_begin, static_cast<size_t>(std::max<int64_t>(strings_end - strings_begin, 0)));
  const Strings strings(block, d.Order, d.Terminator);
  TDateTime acquired = 0.0;
  if (!ReadStart(strings, acquired, why)) return std::nullopt;
  out.Start = acquired + out.Traces[0].Delay / kSecondsPerDay;
  // The station: the code the traces carry, else a name of the file strings.
  out.Station = out.Traces[0].Station;
  for (const char* key : {"STATION_CODE", "STATION_NAME", "INSTRUMENT"}) {
    if (!out.Station.empty()) break;
    if (const std::string* v = strings.Find(key)) out.Station = Cp1251ToUtf8(*v);
  }
  return out;
}

void DecodeSeg2Float20(std::span<const uint8_t, 10> group, bool big_endian,
                       std::span<int32_t, 4> out) {
  const ByteOrder order{big_endian};
  const uint16_t exponents = order.U16(group.data());
  for (size_t i = 0; i < 4; ++i) {
    const uint16_t m = order.U16(group.data() + 2 + 2 * i);
    const int32_t mantissa = (m & 0x8000) != 0 ? -static_cast<int32_t>(~m & 0x7fff) : m;
    out[i] = mantissa * (int32_t{1} << ((exponents >> (4 * i)) & 0xf));
  }
}

std::vector<int32_t> ReadSeg2Samples(BinaryFile& file, const Seg2File& seg2,
                                     const Seg2Trace& trace) {
  const auto n = static_cast<size_t>(std::max(trace.Samples, 0));
  const std::vector<uint8_t> bytes =
      file.ReadBytes(trace.Data, static_cast<size_t>(BytesOfSamples(trace.Format, trace.Samples)));
  std::vector<int32_t> out(n, 0);
  const size_t held = std::min<size_t>(n, SamplesInBytes(trace.Format, std::ssize(bytes)));
  const ByteOrder order{seg2.BigEndian};
  const uint8_t* p = bytes.data();
  const double scale = trace.Descaling * 1e6;
  switch (trace.Format) {
    case kSeg2Int16:
      for (size_t i = 0; i < held; ++i) out[i] = static_cast<int16_t>(order.U16(p + 2 * i));
      break;
    case kSeg2Int32:
      for (size_t i = 0; i < held; ++i) out[i] = static_cast<int32_t>(order.U32(p + 4 * i));
      break;
    case kSeg2Float20:
      for (size_t g = 0; g * 4 < held; ++g) {
        std::array<int32_t, 4> four{};
        DecodeSeg2Float20(std::span<const uint8_t, 10>(p + 10 * g, 10), seg2.BigEndian, four);
        std::copy_n(four.begin(), std::min<size_t>(4, held - 4 * g), out.begin() + 4 * g);
      }
      break;
    case kSeg2Float32:
      for (size_t i = 0; i < held; ++i) {
        const float v = std::bit_cast<float>(order.U32(p + 4 * i));
        out[i] = RoundToInt32Clamped(v * scale);
      }
      break;
    case kSeg2Float64:
      for (size_t i = 0; i < held; ++i) {
        const uint64_t hi = order.U32(p + 8 * i + (seg2.BigEndian ? 0 : 4));
        const uint64_t lo = order.U32(p + 8 * i + (seg2.BigEndian ? 4 : 0));
        out[i] = RoundToInt32Clamped(std::bit_cast<double>((hi << 32) | lo) * scale);
      }
      break;
    default:
      break;
  }
  return out;
}

double Seg2CountsPerVolt(const Seg2Trace& trace) {
  const bool floating = trace.Format == kSeg2Float32 || trace.Format == kSeg2Float64;
  return floating ? 1e9 : 1e3 / trace.Descaling;
}

bool ReadSeg2Header(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                    TStatus* why) {
  info.Reset();
  const std::optional<Seg2File> f = ReadSeg2Fields(path, why);
  if (!f) return false;
  info.Station = f->Station;
  info.Start = f->Start;
  info.SampRate = f->Rate;
  info.ChannelCount = static_cast<int32_t>(f->Traces.size());
  // The component of each trace: its orientation string; three traces that have none are a
  // three-component sensor in the order Z, N, E. A letter names the channel when no other trace
  // has it; otherwise the channel number follows it. Without a component the channel number
  // alone names it.
  std::vector<char> component;
  bool any = false;
  for (const Seg2Trace& t : f->Traces) {
    component.push_back(t.Component);
    any = any || t.Component != 0;
  }
  if (!any && f->Traces.size() == 3) component = {'Z', 'N', 'E'};
  for (size_t i = 0; i < f->Traces.size(); ++i) {
    const Seg2Trace& t = f->Traces[i];
    const std::string number = t.ChannelNumber.empty() ? std::to_string(i + 1) : t.ChannelNumber;
    const char c = component[i];
    const bool unique = c != 0 && std::count(component.begin(), component.end(), c) == 1;
    info.ChannelNames[i] = ShortName(c == 0 ? number : unique ? std::string(1, c) : c + number);
    info.ChannelCoefs[i] = Seg2CountsPerVolt(t);
    info.SampleCount = std::max(info.SampleCount, t.Samples);
  }
  info.BlockCount = 1;
  info.BlockSamples = info.SampleCount;
  return true;
}

void ReadSeg2Into(const std::string& path, LoadTarget& target) {
  const std::optional<Seg2File> f = ReadSeg2Fields(path);
  if (!f || target.Data == nullptr) return;
  const double rate = target.First.SampRate > 0.0 ? target.First.SampRate : f->Rate;
  // A file of another rate cannot continue the record.
  if (std::abs(f->Rate - rate) > 1e-9 * rate) return;
  BinaryFile file;
  if (!file.Open(path)) return;
  constexpr int64_t kFar = int64_t{1} << 40;
  const int64_t offset =
      std::clamp<int64_t>(SamplesInSpan(f->Start - target.RecordStart, rate), -kFar, kFar);
  int64_t end = 0;
  for (size_t i = 0; i < f->Traces.size() && static_cast<int>(i) < target.ChannelCount(); ++i) {
    const std::vector<int32_t> samples = ReadSeg2Samples(file, *f, f->Traces[i]);
    target.Write(static_cast<int>(i), offset, samples);
    end = std::max(end, offset + std::ssize(samples));
  }
  target.Position = std::max(target.Position, std::clamp<int64_t>(end, 0, target.Length()));
}

}  // namespace tarvik
