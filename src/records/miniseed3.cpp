#include "records/miniseed3.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/datetime.h"
#include "common/rounding.h"
#include "common/text_encoding.h"
#include "records/miniseed.h"

namespace tarvik {

namespace {

// Field offsets of the fixed header.
constexpr size_t kNanosecond = 4;
constexpr size_t kYear = 8;
constexpr size_t kDayOfYear = 10;
constexpr size_t kHour = 12;
constexpr size_t kMinute = 13;
constexpr size_t kSecond = 14;
constexpr size_t kEncoding = 15;
constexpr size_t kRate = 16;
constexpr size_t kSampleCount = 24;
constexpr size_t kCrc = 28;
constexpr size_t kSidLength = 33;
constexpr size_t kExtraLength = 34;
constexpr size_t kDataLength = 36;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? (c >> 1) ^ 0x82F63B78u : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

bool StartsRecord(std::span<const uint8_t> b) {
  return b.size() >= 3 && b[0] == 'M' && b[1] == 'S' && b[2] == 3;
}

// Why the fixed header's start time is not a time; empty when it is.
TStatus TimeProblem(const uint8_t* h) {
  const uint32_t ns = LoadU32LE(h + kNanosecond);
  const int year = LoadU16LE(h + kYear);
  const int day = LoadU16LE(h + kDayOfYear);
  if (ns > 999999999u || year < 1 || day < 1 || day > 366 || h[kHour] > 23 || h[kMinute] > 59 ||
      h[kSecond] > 60) {
    return Refusal(TCode::kRefuseStartNotTimeAt, {"4", "14"});
  }
  return {};
}

// The offset of the next "MS" and version 3 at or after from; the file's size when none.
int64_t NextSignature(BinaryFile& file, int64_t from) {
  constexpr size_t kChunk = size_t{1} << 16;
  std::vector<uint8_t> buf(static_cast<size_t>(std::clamp<int64_t>(file.Size() - from, 0, kChunk)));
  if (buf.size() < 3) return file.Size();
  for (int64_t at = from; at + 3 <= file.Size(); at += static_cast<int64_t>(buf.size()) - 2) {
    const size_t got = file.ReadAt(at, buf.data(), buf.size());
    for (size_t i = 0; i + 3 <= got; ++i) {
      if (buf[i] == 'M' && buf[i + 1] == 'S' && buf[i + 2] == 3)
        return at + static_cast<int64_t>(i);
    }
    if (got < buf.size()) break;
  }
  return file.Size();
}

TMiniSEEDPacket AsPacket(const Ms3Record& r) {
  TMiniSEEDPacket p;
  p.Station = r.Station;
  p.Location = r.Location;
  p.Channel = r.Channel;
  p.Network = r.Network;
  p.Start = r.Start;
  p.SampRate = r.Rate;
  p.DataType = r.DataType;
  p.SampleCount = ClampToInt32(r.SampleCount);
  p.RecordLength = ClampToInt32(r.Length);
  p.Encoding = r.Encoding;
  p.WordOrder = 0;
  return p;
}

bool Usable(const Ms3Record& r) {
  return r.Rate > 0.0 && std::isfinite(r.Rate) && !r.Station.empty();
}

}  // namespace

uint32_t Crc32c(std::span<const uint8_t> bytes, uint32_t crc) {
  crc = ~crc;
  for (uint8_t b : bytes) crc = kCrcTable[(crc ^ b) & 0xff] ^ (crc >> 8);
  return ~crc;
}

bool ParseFdsnSourceId(std::string_view sid, Ms3Record& record) {
  constexpr std::string_view kPrefix = "FDSN:";
  if (sid.substr(0, kPrefix.size()) != kPrefix) return false;
  sid.remove_prefix(kPrefix.size());
  std::vector<std::string> part(1);
  for (char c : sid) {
    if (c == '_') {
      part.emplace_back();
    } else {
      part.back().push_back(c);
    }
  }
  // Network and station are never empty; band, source and subsource may be.
  if (part.size() != 6 || part[0].empty() || part[1].empty()) return false;
  record.Network = Cp1251ToUtf8(part[0]);
  record.Station = Cp1251ToUtf8(part[1]);
  record.Location = Cp1251ToUtf8(part[2]);
  const bool letters = part[3].size() <= 1 && part[4].size() <= 1 && part[5].size() <= 1;
  record.Channel =
      Cp1251ToUtf8(letters ? part[3] + part[4] + part[5] : part[3] + "_" + part[4] + "_" + part[5]);
  return true;
}

int32_t MiniSeed3SampleType(int encoding) {
  switch (encoding) {
    case 1:
      return kSampleI2;
    case 3:
      return kSampleI4;
    case 4:
      return kSampleF4;
    case 5:
      return kSampleF8;
    case 10:
      return kSampleSteim1a;
    case 11:
      return kSampleSteim2a;
    default:
      return kSampleUnknown;
  }
}

MiniSeed3Status ParseMiniSeed3Record(std::span<const uint8_t> bytes, Ms3Record& record,
                                     TStatus* why) {
  record = Ms3Record{};
  const auto refuse = [why](MiniSeed3Status status, TStatus reason) {
    RefuseFile(why, std::move(reason));
    return status;
  };
  if (!StartsRecord(bytes)) {
    return refuse(MiniSeed3Status::kNotRecord, Refusal(TCode::kRefuseNotMiniSeed3));
  }
  if (bytes.size() < kMiniSeed3FixedHeader) {
    return refuse(MiniSeed3Status::kTruncated,
                  Refusal(TCode::kRefuseHeaderPastEnd, {std::to_string(kMiniSeed3FixedHeader)}));
  }
  const uint8_t* h = bytes.data();
  if (TStatus problem = TimeProblem(h); !problem.Ok()) {
    return refuse(MiniSeed3Status::kDamaged, std::move(problem));
  }
  const int64_t sid_length = h[kSidLength];
  const int64_t extra_length = LoadU16LE(h + kExtraLength);
  record.DataLength = LoadU32LE(h + kDataLength);
  record.DataOffset = kMiniSeed3FixedHeader + sid_length + extra_length;
  record.Length = record.DataOffset + record.DataLength;
  if (record.Length > std::ssize(bytes)) {
    return refuse(MiniSeed3Status::kTruncated,
                  Refusal(TCode::kRefuseLengthsPastEnd,
                          {std::to_string(record.Length), std::to_string(kSidLength),
                           std::to_string(kDataLength + 3)}));
  }
  const uint32_t stored = LoadU32LE(h + kCrc);
  const std::array<uint8_t, 4> zero{};
  uint32_t crc = Crc32c(bytes.subspan(0, kCrc));
  crc = Crc32c(zero, crc);
  crc = Crc32c(bytes.subspan(kCrc + 4, static_cast<size_t>(record.Length) - kCrc - 4), crc);
  if (crc != stored) {
    char computed[16];
    char kept[16];
    std::snprintf(computed, sizeof computed, "%08X", crc);
    std::snprintf(kept, sizeof kept, "%08X", stored);
    return refuse(MiniSeed3Status::kDamaged, Refusal(TCode::kRefuseCrcMismatch, {computed, kept}));
  }

  record.Sid.assign(reinterpret_cast<const char*>(h + kMiniSeed3FixedHeader),
                    static_cast<size_t>(sid_length));
  ParseFdsnSourceId(record.Sid, record);
  const double nanoseconds = LoadU32LE(h + kNanosecond);
  record.Start = EncodeDayOfYear(LoadU16LE(h + kYear), LoadU16LE(h + kDayOfYear), h[kHour],
                                 h[kMinute], h[kSecond], nanoseconds / 1e9);
  const double rate = LoadF64LE(h + kRate);
  record.Rate = rate > 0.0 ? rate : rate < 0.0 ? -1.0 / rate : 0.0;
  if (!std::isfinite(record.Rate)) record.Rate = 0.0;
  record.Encoding = h[kEncoding];
  record.DataType = MiniSeed3SampleType(record.Encoding);
  record.SampleCount = LoadU32LE(h + kSampleCount);
  // A payload holds at most seven samples in four bytes (Steim-2), fixed widths their own.
  const int width = SampleTypeSize(record.DataType);
  const int64_t most = width > 0 ? record.DataLength / width : record.DataLength / 4 * 7;
  if (record.DataType != kSampleUnknown && record.SampleCount > most) {
    return refuse(MiniSeed3Status::kDamaged,
                  Refusal(TCode::kRefuseSamplesDoNotFit,
                          {std::to_string(record.SampleCount), std::to_string(record.Encoding),
                           std::to_string(record.DataLength)}));
  }
  return MiniSeed3Status::kOk;
}

bool LooksLikeMiniSeed3(std::span<const uint8_t> head) {
  return StartsRecord(head) && head.size() >= kMiniSeed3FixedHeader;
}

bool ForEachMiniSeed3Record(const std::string& path,
                            const std::function<void(int64_t, const Ms3Record&)>& visit,
                            TStatus* problem) {
  BinaryFile file;
  if (!file.Open(path)) return false;
  const int64_t size = file.Size();
  int index = 0;
  bool noted = false;
  for (int64_t offset = 0; offset < size;) {
    ++index;
    uint8_t head[kMiniSeed3FixedHeader];
    const size_t got = file.ReadAt(offset, head, sizeof head);
    std::vector<uint8_t> bytes(head, head + got);
    if (got == sizeof head && StartsRecord(bytes)) {
      // The whole record as its lengths give it, never beyond the file.
      const int64_t length = kMiniSeed3FixedHeader + head[kSidLength] +
                             LoadU16LE(head + kExtraLength) +
                             int64_t{LoadU32LE(head + kDataLength)};
      bytes = file.ReadBytes(offset, static_cast<size_t>(std::min(length, size - offset)));
    }
    Ms3Record record;
    TStatus why;
    if (ParseMiniSeed3Record(bytes, record, &why) == MiniSeed3Status::kOk) {
      visit(offset, record);
      offset += record.Length;
      continue;
    }
    if (!noted && problem != nullptr) {
      *problem = RefusalIn(TCode::kRefuseInRecord, index, offset, why);
      noted = true;
    }
    // Lengths of a damaged record cannot be trusted: the next record is looked for.
    offset = NextSignature(file, offset + 1);
  }
  return true;
}

bool ReadMiniSeed3Headers(const std::string& path, std::vector<TFileRecordInfo>& headers,
                          TStatus* why) {
  headers.clear();
  {
    BinaryFile file;
    if (!file.Open(path)) return RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
    uint8_t head[3] = {};
    if (!file.ReadExact(0, head, sizeof head) || !StartsRecord(head)) {
      return RefuseFile(
          why, RefusalIn(TCode::kRefuseInRecord, 1, 0, Refusal(TCode::kRefuseNotMiniSeed3)));
    }
  }
  TStatus problem;
  const bool any = GroupMiniSeedRecords(
      [&](const MiniSeedVisitor& visit) {
        ForEachMiniSeed3Record(
            path, [&](int64_t offset, const Ms3Record& r) { visit(offset, AsPacket(r)); },
            &problem);
      },
      headers);
  if (!any) return RefuseFile(why, problem.Ok() ? Refusal(TCode::kRefuseNoSoundRecord) : problem);
  return true;
}

bool ReadMiniSeed3Header(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                         TStatus* why) {
  std::vector<TFileRecordInfo> headers;
  const bool read = ReadMiniSeed3Headers(path, headers, why);
  info = headers.empty() ? TFileRecordInfo{} : std::move(headers.front());
  return read;
}

void BuildMiniSeed3Segments(const std::string& path, TRecList& list,
                            const std::string& /*station*/) {
  ForEachMiniSeed3Record(path, [&](int64_t offset, const Ms3Record& r) {
    if (!Usable(r)) return;
    // Beyond what a segment can address.
    if (offset + r.Length > std::numeric_limits<int32_t>::max()) return;
    TRecordDescription seg;
    seg.FileName = path;
    seg.Station = r.Station;
    seg.Location = r.Location.empty() ? "00" : r.Location;
    seg.Channel = r.Channel;
    seg.StartTime = r.Start;
    seg.SampRate = r.Rate;
    seg.Calib = 1.0;
    seg.DataType = r.DataType;
    seg.Count = ClampToInt32(r.SampleCount);
    seg.Offset = static_cast<int32_t>(offset + r.DataOffset);
    seg.BlockSize = static_cast<int32_t>(r.DataLength);
    seg.TimingQuality = 255;
    list.Add(std::move(seg));
  });
}

}  // namespace tarvik
