#include "records/sac.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/datetime.h"
#include "common/rounding.h"
#include "common/text_encoding.h"
#include "records/float_samples.h"

namespace tarvik {

namespace {

// Header words (4 bytes each) and text fields (byte offsets).
constexpr size_t kDelta = 0;
constexpr size_t kDepmin = 1;
constexpr size_t kDepmax = 2;
constexpr size_t kB = 5;
constexpr size_t kCmpaz = 57;
constexpr size_t kCmpinc = 58;
constexpr size_t kNzyear = 70;
constexpr size_t kNvhdr = 76;
constexpr size_t kNpts = 79;
constexpr size_t kIftype = 85;
constexpr size_t kLeven = 105;
constexpr size_t kKstnm = 440;
constexpr size_t kKhole = 464;
constexpr size_t kKcmpnm = 600;
constexpr size_t kKnetwk = 608;

constexpr int32_t kVersion = 6;
constexpr int32_t kTimeSeries = 1;  // IFTYPE ITIME
// File types of version 6: time series, real and imaginary, amplitude and phase, x-y, x-y-z.
constexpr std::array<int32_t, 6> kFileTypes = {1, 2, 3, 4, 51, kSacUndefined};

// The shortest and longest sampling interval taken for a recording: 1 MHz to one sample a day.
constexpr double kShortestDelta = 1e-6;
constexpr double kLongestDelta = 86400.0;

// Samples are decoded this many at a time.
constexpr int64_t kChunk = 65536;
// Samples looked at for the scale when the header gives the extremes.
constexpr int64_t kLookedWithExtremes = 4096;

struct Words {
  const uint8_t* P;
  bool Little;
  int32_t Int(size_t word) const {
    return Little ? LoadI32LE(P + word * 4) : LoadI32BE(P + word * 4);
  }
  float Float(size_t word) const {
    return Little ? LoadF32LE(P + word * 4) : LoadF32BE(P + word * 4);
  }
};

// A text field: up to its first zero byte, trimmed; empty when undefined.
std::string TextField(const uint8_t* p, size_t width) {
  const std::string_view raw(reinterpret_cast<const char*>(p), width);
  std::string text = Trim(Cp1251ToUtf8(raw.substr(0, raw.find('\0'))));
  return text == "-12345" ? std::string() : text;
}

bool Near(float value, double target) {
  return std::abs(static_cast<double>(value) - target) < 1e-3;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// The byte order whose version word is 6 and whose enumerated words fit it; nullopt for none.
std::optional<bool> HeaderOrder(const uint8_t* head) {
  for (const bool little : {true, false}) {
    const Words w{head, little};
    if (w.Int(kNvhdr) != kVersion) continue;
    const int32_t iftype = w.Int(kIftype);
    const int32_t leven = w.Int(kLeven);
    if (std::find(kFileTypes.begin(), kFileTypes.end(), iftype) == kFileTypes.end()) continue;
    if (leven != 0 && leven != 1 && leven != kSacUndefined) continue;
    return little;
  }
  return std::nullopt;
}

// The scale that holds the file's samples as counts. Writers keep the extremes in DEPMIN and
// DEPMAX; with those, the first samples (for whether they are whole numbers) are enough, so
// that the headers of a folder of long files are read without reading all their samples.
double FileScale(BinaryFile& file, const SacHeader& h) {
  const bool extremes = h.Depmin != kSacUndefined && h.Depmax != kSacUndefined &&
                        std::isfinite(h.Depmin) && std::isfinite(h.Depmax);
  const int64_t looked = extremes ? std::min<int64_t>(h.Npts, kLookedWithExtremes) : h.Npts;
  FloatScale scale;
  if (extremes) {
    scale.Add(h.Depmin);
    scale.Add(h.Depmax);
  }
  for (int64_t at = 0; at < looked; at += kChunk) {
    const int64_t n = std::min<int64_t>(kChunk, looked - at);
    const std::vector<uint8_t> bytes =
        file.ReadBytes(kSacHeaderSize + at * 4, static_cast<size_t>(n) * 4);
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
      scale.Add(h.LittleEndian ? LoadF32LE(&bytes[i]) : LoadF32BE(&bytes[i]));
    }
    if (static_cast<int64_t>(bytes.size()) < n * 4) break;
  }
  return scale.Scale();
}

// Decodes samples [first, first + n) of the file; fewer when the file ends early.
std::vector<float> ReadValues(BinaryFile& file, const SacHeader& h, int64_t first, int64_t n) {
  const std::vector<uint8_t> bytes =
      file.ReadBytes(kSacHeaderSize + first * 4, static_cast<size_t>(n) * 4);
  std::vector<float> values(bytes.size() / 4);
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = h.LittleEndian ? LoadF32LE(&bytes[i * 4]) : LoadF32BE(&bytes[i * 4]);
  }
  return values;
}

// The channel's name: KCMPNM, or where that is undefined the component letter the orientation
// gives (empty when it gives none).
std::string ChannelName(const SacHeader& h) {
  if (!h.Kcmpnm.empty()) return ShortName(h.Kcmpnm);
  const int32_t axis = SacAxis("", h.Cmpaz, h.Cmpinc);
  return axis >= 0 ? std::string(1, kComponentLetters[axis]) : std::string();
}

}  // namespace

double SacRate(float delta) {
  const double exact = 1.0 / static_cast<double>(delta);
  // DELTA is a float: 0.01 is stored as 0.0099999998, whose inverse is 100.0000022 Hz. The rate
  // with the fewest significant digits whose interval rounds to the same float is the one the
  // writer meant.
  for (int digits = 1; digits <= 9; ++digits) {
    const double unit = std::pow(10.0, std::floor(std::log10(exact)) - digits + 1);
    const double candidate = std::nearbyint(exact / unit) * unit;
    if (candidate > 0.0 && static_cast<float>(1.0 / candidate) == delta) return candidate;
  }
  return exact;
}

bool LooksLikeSacHeader(const uint8_t* head, size_t size) {
  return size >= kSacHeaderSize && HeaderOrder(head).has_value();
}

bool IsSacFile(const std::string& path) {
  BinaryFile file;
  if (!file.Open(path, false)) return false;
  std::array<uint8_t, kSacHeaderSize> head{};
  return file.ReadExact(0, head.data(), head.size()) &&
         LooksLikeSacHeader(head.data(), head.size());
}

std::optional<SacHeader> ReadSacFields(const std::string& path, TStatus* why) {
  const auto refuse = [why](TCode code, std::vector<TArg> args = {}) {
    RefuseFile(why, Refusal(code, std::move(args)));
    return std::nullopt;
  };
  const auto word = [](size_t index) { return TArg(std::to_string(index)); };
  BinaryFile file;
  if (!file.Open(path, false)) return refuse(TCode::kRefuseNotOpened);
  std::array<uint8_t, kSacHeaderSize> head{};
  if (!file.ReadExact(0, head.data(), head.size())) {
    return refuse(TCode::kRefuseShorterThanSacHeader,
                  {std::to_string(kSacHeaderSize), std::to_string(file.Size())});
  }
  const std::optional<bool> order = HeaderOrder(head.data());
  if (!order) return refuse(TCode::kRefuseSacVersion, {word(kNvhdr)});
  const Words w{head.data(), *order};
  SacHeader h;
  h.LittleEndian = *order;
  h.Delta = w.Float(kDelta);
  h.Depmin = w.Float(kDepmin);
  h.Depmax = w.Float(kDepmax);
  h.B = w.Float(kB);
  h.Cmpaz = w.Float(kCmpaz);
  h.Cmpinc = w.Float(kCmpinc);
  h.Nzyear = w.Int(kNzyear);
  h.Nzjday = w.Int(kNzyear + 1);
  h.Nzhour = w.Int(kNzyear + 2);
  h.Nzmin = w.Int(kNzyear + 3);
  h.Nzsec = w.Int(kNzyear + 4);
  h.Nzmsec = w.Int(kNzyear + 5);
  h.Nvhdr = w.Int(kNvhdr);
  h.Npts = w.Int(kNpts);
  h.Iftype = w.Int(kIftype);
  h.Leven = w.Int(kLeven);
  h.Kstnm = TextField(&head[kKstnm], 8);
  h.Khole = TextField(&head[kKhole], 8);
  h.Kcmpnm = TextField(&head[kKcmpnm], 8);
  h.Knetwk = TextField(&head[kKnetwk], 8);

  if (h.Iftype != kTimeSeries && h.Iftype != kSacUndefined) {
    return refuse(TCode::kRefuseSacNotTimeSeries, {std::to_string(h.Iftype)});
  }
  if (h.Leven == 0) return refuse(TCode::kRefuseSacUneven);
  if (h.Npts < 0)
    return refuse(TCode::kRefuseSacNegativeCount, {word(kNpts), std::to_string(h.Npts)});
  const double delta = h.Delta;
  if (delta == kSacUndefined) return refuse(TCode::kRefuseSacDeltaUndefined, {word(kDelta)});
  if (!(delta >= kShortestDelta && delta <= kLongestDelta)) {
    return refuse(TCode::kRefuseSacDeltaOutside, {word(kDelta), Number(delta), "1e-06", "86400"});
  }
  const int64_t needed = kSacHeaderSize + int64_t{h.Npts} * 4;
  if (file.Size() < needed) {
    return refuse(TCode::kRefuseSacTruncated,
                  {std::to_string(file.Size()), std::to_string((file.Size() - kSacHeaderSize) / 4),
                   std::to_string(h.Npts)});
  }
  if (!SacStart(h))
    return refuse(TCode::kRefuseSacReferenceTime, {word(kNzyear), word(kNzyear + 5)});
  return h;
}

std::optional<TDateTime> SacStart(const SacHeader& h) {
  const std::array<int32_t, 6> parts = {h.Nzyear, h.Nzjday, h.Nzhour, h.Nzmin, h.Nzsec, h.Nzmsec};
  const bool none =
      std::all_of(parts.begin(), parts.end(), [](int32_t v) { return v == kSacUndefined; });
  const double b = (h.B == kSacUndefined || !std::isfinite(h.B)) ? 0.0 : h.B;
  if (none) return UnixToDateTime(b);
  if (h.Nzyear < 1 || h.Nzyear > 9999 || h.Nzjday < 1 || h.Nzjday > 366 || h.Nzhour < 0 ||
      h.Nzhour > 23 || h.Nzmin < 0 || h.Nzmin > 59 || h.Nzsec < 0 || h.Nzsec > 60 || h.Nzmsec < 0 ||
      h.Nzmsec > 999) {
    return std::nullopt;
  }
  // B is kept to the microsecond: a float's last bits are noise below that.
  const double seconds = h.Nzsec + h.Nzmsec / 1000.0 + std::nearbyint(b * 1e6) / 1e6;
  return EncodeDayOfYear(h.Nzyear, h.Nzjday, h.Nzhour, h.Nzmin) + seconds / kSecondsPerDay;
}

int32_t SacAxis(const std::string& channel, float cmpaz, float cmpinc) {
  if (!channel.empty()) {
    switch (AsciiUpper(channel).back()) {
      case 'Z':
      case '3':
        return 2;
      case 'N':
      case '1':
        return 1;
      case 'E':
      case '2':
        return 0;
      default:
        break;
    }
  }
  if (Near(cmpinc, 0.0) || Near(cmpinc, 180.0)) return 2;
  if (Near(cmpinc, 90.0)) {
    if (Near(cmpaz, 0.0) || Near(cmpaz, 360.0)) return 1;
    if (Near(cmpaz, 90.0)) return 0;
  }
  return -1;
}

bool ReadSacHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                   TStatus* why) {
  info.Reset();
  const std::optional<SacHeader> h = ReadSacFields(path, why);
  if (!h) return false;
  BinaryFile file;
  if (!file.Open(path)) return RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
  info.Station = h->Kstnm;
  info.Start = *SacStart(*h);
  info.SampRate = SacRate(h->Delta);
  info.ChannelCount = 1;
  info.ChannelNames[0] = ChannelName(*h);
  info.ChannelCoefs[0] = FileScale(file, *h);
  info.ChannelAxes[0] = SacAxis(h->Kcmpnm, h->Cmpaz, h->Cmpinc);
  info.SampleCount = h->Npts;
  info.BlockSamples = h->Npts;
  info.BlockCount = 1;
  return true;
}

void BuildSacSegments(const std::string& path, TRecList& list, const std::string& /*station*/) {
  const std::optional<SacHeader> h = ReadSacFields(path);
  if (!h) return;
  BinaryFile file;
  if (!file.Open(path)) return;
  TRecordDescription seg;
  seg.FileName = path;
  seg.Station = h->Kstnm;
  seg.Location = h->Khole.empty() ? "00" : h->Khole;
  seg.Channel = ChannelName(*h);
  seg.StartTime = *SacStart(*h);
  seg.SampRate = SacRate(h->Delta);
  seg.Count = h->Npts;
  seg.DataType = h->LittleEndian ? kSampleF4 : kSampleT4;
  seg.Offset = static_cast<int32_t>(kSacHeaderSize);
  seg.Calib = 1.0 / FileScale(file, *h);
  list.Add(std::move(seg));
}

void ReadSacInto(const std::string& path, LoadTarget& target) {
  const std::optional<SacHeader> h = ReadSacFields(path);
  if (!h || target.Data == nullptr) return;
  const double rate = SacRate(h->Delta);
  const double first_rate = target.First.SampRate > 0.0 ? target.First.SampRate : rate;
  // Files of the station's other channels or rates lie in the same folder: only the record's
  // own channel is taken.
  if (ChannelName(*h) != target.First.ChannelNames[0] ||
      std::abs(rate - first_rate) > 1e-9 * first_rate) {
    return;
  }
  BinaryFile file;
  if (!file.Open(path)) return;
  double scale = target.First.ChannelCoefs[0];
  if (!(scale > 0.0) || !std::isfinite(scale)) scale = FileScale(file, *h);
  const int64_t length = target.Length();
  // A file whose time lies far outside the record (a damaged time stamp) adds nothing.
  const double place = (*SacStart(*h) - target.RecordStart) * kSecondsPerDay * first_rate;
  if (!(place > -static_cast<double>(h->Npts) - 1.0 && place < static_cast<double>(length) + 1.0)) {
    return;
  }
  const int64_t offset = RoundToInt64(place);
  // Only the part of the file that lands inside the matrix is read.
  const int64_t first = std::max<int64_t>(0, -offset);
  const int64_t last = std::min<int64_t>(h->Npts, length - offset);
  for (int64_t at = first; at < last; at += kChunk) {
    const int64_t n = std::min(kChunk, last - at);
    const std::vector<float> values = ReadValues(file, *h, at, n);
    target.Write(0, offset + at, ScaleSamples(values, scale));
    if (static_cast<int64_t>(values.size()) < n) break;
  }
  if (last > first) target.Position = std::max(target.Position, offset + last);
}

}  // namespace tarvik
