#include "spectral/psd_store.h"

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/replace_file.h"

namespace tarvik {

namespace {

// Layout, all numbers little-endian (see docs/psd_store.md):
//   0 magic "TVKPSD1\n", 8 u32 version, 12 u32 grid points G, 16 u32 lines L, 20 u32 segments S,
//   24 u32 skipped, 28 u32 channel text bytes C, 32 u32 response text bytes R, 36 u32 Nfft,
//   40 f64 rate, 48 f64 segment seconds, 56 f64 overlap, 64 channel text, response text,
//   G × f64 periods, then S segments of f64 start, u64 fingerprint, G × f32, L × f32.
constexpr char kMagic[8] = {'T', 'V', 'K', 'P', 'S', 'D', '1', '\n'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderBytes = 64;
constexpr size_t kSegmentHead = 16;
// Texts are short; a longer one is a damaged count.
constexpr uint32_t kMaxText = 1 << 16;

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutF64(std::string& out, double v) {
  PutU64(out, std::bit_cast<uint64_t>(v));
}
void PutF32(std::string& out, float v) {
  PutU32(out, std::bit_cast<uint32_t>(v));
}

// Positioned reads from a byte view or a file.
using ReadFn = std::function<bool(uint64_t offset, void* dst, size_t n)>;

bool Fail(TStatus* why, TStatus status) {
  if (why) *why = std::move(status);
  return false;
}

// A refusal at the byte offset of the file: the text names the byte, Offset holds it.
TStatus At(TCode code, uint64_t offset) {
  TStatus status = MakeStatus(code, {std::to_string(offset)});
  status.Offset = static_cast<int64_t>(offset);
  return status;
}

bool Decode(uint64_t size, const ReadFn& read, TPsdDay& day, TStatus* why, bool with_full) {
  day = {};
  uint8_t h[kHeaderBytes];
  if (size < kHeaderBytes || !read(0, h, kHeaderBytes)) {
    return Fail(why, MakeStatus(TCode::kPsdStoreTooShort));
  }
  if (std::memcmp(h, kMagic, sizeof kMagic) != 0)
    return Fail(why, MakeStatus(TCode::kPsdStoreNotPsd));
  if (LoadU32LE(h + 8) != kVersion) {
    return Fail(why, MakeStatus(TCode::kPsdStoreVersion, {std::to_string(LoadU32LE(h + 8))}));
  }
  const uint64_t grid = LoadU32LE(h + 12);
  const uint64_t lines = LoadU32LE(h + 16);
  const uint64_t segments = LoadU32LE(h + 20);
  const uint32_t skipped = LoadU32LE(h + 24);
  const uint32_t channel_bytes = LoadU32LE(h + 28);
  const uint32_t response_bytes = LoadU32LE(h + 32);
  const uint32_t nfft = LoadU32LE(h + 36);
  day.Rate = LoadF64LE(h + 40);
  day.SegmentSeconds = LoadF64LE(h + 48);
  day.Overlap = LoadF64LE(h + 56);
  if (nfft < 16 || nfft > (1u << 30) || !std::has_single_bit(nfft) || lines != nfft / 2 + 1) {
    return Fail(why, At(TCode::kPsdStoreWindowLines, 16));
  }
  if (!(day.Rate > 0.0) || !std::isfinite(day.Rate) || !(day.SegmentSeconds > 0.0) ||
      !std::isfinite(day.SegmentSeconds) || !(day.Overlap >= 0.0 && day.Overlap < 1.0)) {
    return Fail(why, At(TCode::kPsdStoreSettings, 40));
  }
  if (channel_bytes > kMaxText || response_bytes > kMaxText || skipped > (1u << 30)) {
    return Fail(why, At(TCode::kPsdStoreCount, 24));
  }
  // Every size below is checked against the file before anything is allocated.
  uint64_t offset = kHeaderBytes;
  const uint64_t texts = uint64_t{channel_bytes} + response_bytes;
  if (texts + grid * 8 > size - offset) return Fail(why, At(TCode::kPsdStoreEndsInHeader, offset));
  const uint64_t record = kSegmentHead + 4 * (grid + lines);
  const uint64_t body = size - offset - texts - grid * 8;
  if (segments > body / record || body != segments * record) {
    return Fail(why,
                MakeStatus(TCode::kPsdStoreSize, {std::to_string(size), std::to_string(segments),
                                                  std::to_string(grid), std::to_string(lines)}));
  }
  day.Nfft = static_cast<int32_t>(nfft);
  day.Skipped = static_cast<int32_t>(skipped);
  day.Channel.resize(channel_bytes);
  day.Response.resize(response_bytes);
  if (!read(offset, day.Channel.data(), channel_bytes) ||
      !read(offset + channel_bytes, day.Response.data(), response_bytes)) {
    return Fail(why, At(TCode::kPsdStoreTexts, offset));
  }
  offset += texts;
  std::vector<uint8_t> buffer(grid * 8);
  if (!read(offset, buffer.data(), buffer.size()))
    return Fail(why, At(TCode::kPsdStoreUnreadable, offset));
  day.Periods.resize(grid);
  for (uint64_t j = 0; j < grid; ++j) {
    day.Periods[j] = LoadF64LE(buffer.data() + 8 * j);
    if (!(day.Periods[j] > 0.0) || !std::isfinite(day.Periods[j]) ||
        (j > 0 && !(day.Periods[j] > day.Periods[j - 1]))) {
      return Fail(why, At(TCode::kPsdStorePeriods, offset + 8 * j));
    }
  }
  offset += grid * 8;
  day.Segments.resize(segments);
  buffer.resize(kSegmentHead + 4 * grid);
  std::vector<uint8_t> full_bytes(with_full ? 4 * lines : 0);
  for (uint64_t s = 0; s < segments; ++s) {
    TPsdSegment& seg = day.Segments[s];
    if (!read(offset, buffer.data(), buffer.size()))
      return Fail(why, At(TCode::kPsdStoreUnreadable, offset));
    seg.Start = LoadF64LE(buffer.data());
    seg.Fingerprint = LoadU64LE(buffer.data() + 8);
    if (!std::isfinite(seg.Start) || (s > 0 && !(seg.Start > day.Segments[s - 1].Start))) {
      return Fail(why, At(TCode::kPsdStoreStarts, offset));
    }
    seg.Grid.resize(grid);
    for (uint64_t j = 0; j < grid; ++j)
      seg.Grid[j] = LoadF32LE(buffer.data() + kSegmentHead + 4 * j);
    offset += buffer.size();
    if (with_full) {
      if (!read(offset, full_bytes.data(), full_bytes.size())) {
        return Fail(why, At(TCode::kPsdStoreUnreadable, offset));
      }
      seg.Full.resize(lines);
      for (uint64_t k = 0; k < lines; ++k) seg.Full[k] = LoadF32LE(full_bytes.data() + 4 * k);
    }
    offset += 4 * lines;
  }
  return true;
}

}  // namespace

bool TPsdDay::SameSettings(const TPsdDay& other) const {
  return Rate == other.Rate && SegmentSeconds == other.SegmentSeconds && Overlap == other.Overlap &&
         Nfft == other.Nfft && Periods == other.Periods;
}

std::string EncodePsdDay(const TPsdDay& day) {
  std::string out(kMagic, sizeof kMagic);
  const size_t grid = day.Periods.size();
  const size_t lines = static_cast<size_t>(day.Lines());
  PutU32(out, kVersion);
  PutU32(out, static_cast<uint32_t>(grid));
  PutU32(out, static_cast<uint32_t>(lines));
  PutU32(out, static_cast<uint32_t>(day.Segments.size()));
  PutU32(out, static_cast<uint32_t>(day.Skipped));
  PutU32(out, static_cast<uint32_t>(day.Channel.size()));
  PutU32(out, static_cast<uint32_t>(day.Response.size()));
  PutU32(out, static_cast<uint32_t>(day.Nfft));
  PutF64(out, day.Rate);
  PutF64(out, day.SegmentSeconds);
  PutF64(out, day.Overlap);
  out += day.Channel;
  out += day.Response;
  out.reserve(out.size() + grid * 8 + day.Segments.size() * (kSegmentHead + 4 * (grid + lines)));
  for (double p : day.Periods) PutF64(out, p);
  for (const TPsdSegment& s : day.Segments) {
    PutF64(out, s.Start);
    PutU64(out, s.Fingerprint);
    for (size_t j = 0; j < grid; ++j) PutF32(out, j < s.Grid.size() ? s.Grid[j] : NAN);
    for (size_t k = 0; k < lines; ++k) PutF32(out, k < s.Full.size() ? s.Full[k] : NAN);
  }
  return out;
}

bool DecodePsdDay(std::string_view bytes, TPsdDay& day, TStatus* why, bool with_full) {
  const ReadFn read = [&](uint64_t offset, void* dst, size_t n) {
    if (offset > bytes.size() || n > bytes.size() - offset) return false;
    if (n > 0) std::memcpy(dst, bytes.data() + offset, n);
    return true;
  };
  return Decode(bytes.size(), read, day, why, with_full);
}

bool ReadPsdDay(const std::filesystem::path& path, TPsdDay& day, TStatus* why, bool with_full) {
  BinaryFile file;
  TStatus reason;
  bool ok = false;
  if (!file.Open(path.string())) {
    reason = MakeStatus(TCode::kPsdStoreNotOpened);
  } else {
    const ReadFn read = [&](uint64_t offset, void* dst, size_t n) {
      return file.ReadExact(static_cast<int64_t>(offset), dst, n);
    };
    ok = Decode(static_cast<uint64_t>(file.Size()), read, day, &reason, with_full);
  }
  if (!ok && why) {
    *why = MakeStatus(TCode::kPsdAt, {path.string(), reason});
    why->File = path.string();
    why->Offset = reason.Offset;
  }
  return ok;
}

bool WritePsdDay(const std::filesystem::path& path, const TPsdDay& day, TStatus& error) {
  return ReplaceFileContents(path, EncodePsdDay(day), error);
}

std::string PsdChannelFolder(std::string_view channel) {
  std::string out(channel);
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool keep = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                      u == '.' || u == '-' || u == '_' || u >= 0x80;
    if (!keep) c = '_';
  }
  // "." and ".." name folders of their own.
  if (out.find_first_not_of('.') == std::string::npos) out = "_" + out;
  return out;
}

std::string PsdDayFileName(int64_t unix_day) {
  namespace chr = std::chrono;
  const chr::sys_days day{chr::days{unix_day}};
  const chr::year_month_day ymd{day};
  const chr::sys_days first{ymd.year() / chr::January / 1};
  const int64_t doy = (day - first).count() + 1;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%03d.psd", static_cast<int>(ymd.year()),
                static_cast<int>(doy));
  return text;
}

bool ParsePsdDayFileName(std::string_view name, int64_t& unix_day) {
  namespace chr = std::chrono;
  if (name.size() != 12 || name[4] != '-' || name.substr(8) != ".psd") return false;
  int year = 0, doy = 0;
  for (size_t i = 0; i < 8; ++i) {
    if (i == 4) continue;
    if (name[i] < '0' || name[i] > '9') return false;
    (i < 4 ? year : doy) = (i < 4 ? year : doy) * 10 + (name[i] - '0');
  }
  const chr::year y{year};
  if (doy < 1 || doy > (y.is_leap() ? 366 : 365)) return false;
  unix_day = chr::sys_days{y / chr::January / 1}.time_since_epoch().count() + doy - 1;
  return true;
}

uint64_t Fingerprint(const void* data, size_t size, uint64_t seed) {
  // Four independent lanes of eight bytes, folded at the end: hashing a segment's samples must
  // cost little beside its transforms.
  const auto* p = static_cast<const unsigned char*>(data);
  constexpr uint64_t kPrime = 0x100000001b3ULL;
  uint64_t lane[4] = {seed, seed ^ 0x9E3779B97F4A7C15ULL, seed ^ 0xC2B2AE3D27D4EB4FULL,
                      seed ^ 0x165667B19E3779F9ULL};
  size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    for (int k = 0; k < 4; ++k) {
      uint64_t w;
      std::memcpy(&w, p + i + 8 * k, 8);
      lane[k] = (lane[k] ^ w) * kPrime;
      lane[k] ^= lane[k] >> 29;
    }
  }
  uint64_t h = size * 0x9E3779B97F4A7C15ULL;
  for (uint64_t v : lane) h = ((h ^ v) * kPrime) ^ (h >> 31);
  for (; i < size; ++i) h = (h ^ p[i]) * kPrime;
  return h ^ (h >> 32);
}

}  // namespace tarvik
