#include "records/gcf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/rounding.h"

namespace tarvik {

namespace {

// Days from 1899-12-30 to 1989-11-17, the day GCF date codes count from.
constexpr double kGcfEpochDays = 32829.0;

// Rate codes below 1 Hz and above 250 Hz, with the denominator of their start-time fraction;
// every other code is the rate itself with a denominator of 1.
struct RateCode {
  int Code;
  double Rate;
  int Denominator;
};
constexpr std::array<RateCode, 10> kRateCodes = {{
    {157, 0.1, 1},
    {161, 0.125, 1},
    {162, 0.2, 1},
    {164, 0.25, 1},
    {167, 0.5, 1},
    {171, 400.0, 8},
    {174, 500.0, 2},
    {176, 1000.0, 4},
    {179, 2000.0, 8},
    {181, 4000.0, 16},
}};

const RateCode* FindRateCode(int code) {
  for (const RateCode& r : kRateCodes) {
    if (r.Code == code) return &r;
  }
  return nullptr;
}

bool IsSeismicComponent(char c) {
  return c == 'C' || c == 'E' || c == 'N' || c == 'X' || c == 'Z';
}

int32_t SampleTypeOfCompression(int compression) {
  switch (compression) {
    case 1:
      return kSampleGcf32;
    case 2:
      return kSampleGcf16;
    default:
      return kSampleGcf8;
  }
}

// Six base-36 digits hold values below this.
constexpr uint32_t kBase36Limit = 36u * 36u * 36u * 36u * 36u * 36u;
// The data records of a block lie between the forward integration constant (bytes 16 to 19) and
// the reverse one (the last four bytes they may reach).
constexpr int kMaxRecords = (kGcfBlockBytes - kGcfHeaderBytes - 8) / 4;

// The blocks of a file that carry samples, or why the file is not GCF.
struct GcfScan {
  TStatus Problem;
  std::vector<std::pair<int64_t, TGcfBlockHeader>> Data;
};

// Reads the head of every whole 1024-byte block (a partial block at the end is a damaged block
// and is left out). The first block decides whether the file is GCF at all; a block further on
// whose head is not a GCF head is a damaged block, left out, but a file whose blocks are mostly
// such is not GCF either.
GcfScan ScanGcf(const std::string& path) {
  GcfScan scan;
  BinaryFile file;
  if (!file.Open(path)) {
    scan.Problem = Refusal(TCode::kRefuseNotOpened);
    return scan;
  }
  const int64_t size = file.Size();
  if (size < kGcfBlockBytes) {
    scan.Problem = Refusal(TCode::kRefuseShorterThanBlock, {std::to_string(kGcfBlockBytes)});
    return scan;
  }
  std::array<uint8_t, kGcfHeaderBytes> head{};
  int64_t blocks = 0, bad = 0;
  for (int64_t offset = 0; offset + kGcfBlockBytes <= size; offset += kGcfBlockBytes) {
    if (!file.ReadExact(offset, head.data(), head.size())) break;
    TGcfBlockHeader block = ParseGcfBlockHeader(head);
    ++blocks;
    if (!block.Problem.Ok()) {
      if (offset == 0) {
        scan.Problem = RefusalIn(TCode::kRefuseInBlock, 1, 0, block.Problem);
        scan.Data.clear();
        return scan;
      }
      ++bad;
    } else if (block.CarriesSamples) {
      scan.Data.emplace_back(offset, std::move(block));
    }
  }
  if (2 * bad > blocks) {
    scan.Problem =
        Refusal(TCode::kRefuseFewGcfBlocks, {std::to_string(blocks - bad), std::to_string(blocks)});
  } else if (scan.Data.empty()) {
    scan.Problem = Refusal(TCode::kRefuseNoSeismicBlock);
  }
  if (!scan.Problem.Ok()) scan.Data.clear();
  return scan;
}

}  // namespace

std::string GcfBase36(uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string out(6, '0');
  for (int i = 5; i >= 0; --i) {
    out[static_cast<size_t>(i)] = kDigits[value % 36];
    value /= 36;
  }
  return out;
}

double GcfRate(int rate_code) {
  const RateCode* r = FindRateCode(rate_code);
  return r ? r->Rate : static_cast<double>(rate_code);
}

int GcfFractionDenominator(int rate_code) {
  const RateCode* r = FindRateCode(rate_code);
  return r ? r->Denominator : 1;
}

TGcfBlockHeader ParseGcfBlockHeader(std::span<const uint8_t, kGcfHeaderBytes> head) {
  TGcfBlockHeader h;
  // Six base-36 digits hold values below 36^6; a larger stream ID would lose its top digit.
  h.StreamId = GcfBase36(LoadU32BE(&head[4]));
  h.Station = h.StreamId.substr(0, 4);
  h.Component = h.StreamId[4];
  const uint32_t date = LoadU32BE(&head[8]);
  const int rate_code = head[13];
  const int numerator = head[14] >> 4;
  h.Compression = head[14] & 7;
  h.Records = head[15];
  h.SampRate = GcfRate(rate_code);
  h.Start = kGcfEpochDays + static_cast<double>(date >> 17) +
            (static_cast<double>(date & 0x1FFFFu) +
             static_cast<double>(numerator) / GcfFractionDenominator(rate_code)) /
                kSecondsPerDay;
  const bool decodable = h.Compression == 1 || h.Compression == 2 || h.Compression == 4;
  h.SampleCount = decodable ? h.Records * h.Compression : 0;
  // A rate of 0 would give the block no end in time; such blocks are status blocks in practice.
  h.Status = rate_code == 0;
  const uint32_t stream = LoadU32BE(&head[4]);
  const auto number = [](long long v) { return TArg(std::to_string(v)); };
  if (stream >= kBase36Limit) {
    h.Problem = Refusal(TCode::kRefuseGcfStreamId, {number(stream)});
  } else if ((date & 0x1FFFFu) >= 86400u) {
    h.Problem = Refusal(TCode::kRefuseGcfTimeOfDay, {number(date & 0x1FFFFu)});
  } else if (h.Records > kMaxRecords) {
    h.Problem = Refusal(TCode::kRefuseGcfRecordCount, {number(h.Records), number(kMaxRecords)});
  } else if (!h.Status) {
    if (rate_code > 250) {
      h.Problem = Refusal(TCode::kRefuseGcfRateCode, {number(rate_code)});
    } else if (!decodable || (head[14] & 0x08) != 0) {
      h.Problem = Refusal(TCode::kRefuseGcfCompression, {number(head[14] & 0x0F)});
    } else if (numerator >= GcfFractionDenominator(rate_code)) {
      h.Problem = Refusal(TCode::kRefuseGcfFraction,
                          {number(numerator), number(GcfFractionDenominator(rate_code))});
    } else if (h.Records == 0) {
      h.Problem = Refusal(TCode::kRefuseGcfNoRecords);
    }
  }
  h.CarriesSamples = h.Problem.Ok() && !h.Status && IsSeismicComponent(h.Component) && decodable &&
                     h.SampRate > 0.0;
  return h;
}

size_t DecodeGcf(std::span<const uint8_t> data, int diff_bytes, std::span<int32_t> out) {
  const size_t n = out.size();
  if (n == 0 || data.size() < 4) return 0;
  uint32_t last = LoadU32BE(data.data());  // forward integration constant
  out[0] = static_cast<int32_t>(last);
  size_t k = 1;
  // The first record's first difference links to the previous block and is skipped.
  size_t pos = 4;
  if (diff_bytes == 1) {
    pos = 5;
  } else if (diff_bytes == 2) {
    pos = 6;
  } else if (diff_bytes == 4) {
    pos = 8;
  } else {
    return 0;
  }
  const auto step = static_cast<size_t>(diff_bytes);
  for (; k < n && pos + step <= data.size(); pos += step) {
    const uint8_t* p = data.data() + pos;
    int32_t d = 0;
    if (diff_bytes == 1) {
      d = static_cast<int8_t>(p[0]);
    } else if (diff_bytes == 2) {
      d = LoadI16BE(p);
    } else {
      d = LoadI32BE(p);
    }
    last += static_cast<uint32_t>(d);
    out[k++] = static_cast<int32_t>(last);
  }
  return k;
}

size_t GcfSoundSamples(std::span<const uint8_t> data, int diff_bytes, std::span<const int32_t> out,
                       size_t decoded) {
  const size_t n = out.size();
  if (decoded < n) return decoded;
  if (n == 0) return 0;
  // The reverse integration constant follows the difference records: four bytes of them per
  // diff_bytes samples, after the forward constant.
  const size_t at = 4 + n * static_cast<size_t>(std::max(diff_bytes, 0));
  if (at + 4 > data.size()) return n;
  return out[n - 1] == LoadI32BE(data.data() + at) ? n : 0;
}

bool ReadGcfHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                   TStatus* why) {
  info.Reset();
  const GcfScan scan = ScanGcf(path);
  if (!scan.Problem.Ok()) return RefuseFile(why, scan.Problem);
  info.BlockSamples = kGcfBlockBytes;
  TDateTime latest_end = 0.0;
  int64_t held = 0;
  bool first = true;
  for (const auto& [offset, block] : scan.Data) {
    info.SampRate = block.SampRate;
    if (first) {
      first = false;
      info.Station = block.Station;
      info.Start = block.Start;
      info.ChannelCount = 0;
      for (int i = 0; i < 5; ++i) {
        info.ChannelNames[static_cast<size_t>(i)].clear();
        info.ChannelCoefs[static_cast<size_t>(i)] = 1e9;
      }
      latest_end = block.Start;
    }
    info.Start = std::min(info.Start, block.Start);
    const std::string name(1, block.Component);
    const auto names_end = info.ChannelNames.begin() + info.ChannelCount;
    if (std::find(info.ChannelNames.begin(), names_end, name) == names_end &&
        info.ChannelCount < 5) {
      info.ChannelNames[static_cast<size_t>(info.ChannelCount++)] = name;
    }
    latest_end =
        std::max(latest_end, block.Start + SpanOfSamples(block.SampleCount, block.SampRate));
    held += block.SampleCount;
    ++info.BlockCount;
  }
  // A damaged date code far from the others must not make the record's matrix huge: the span
  // may exceed the samples held by at most one day of gaps.
  const int64_t span = RoundToInt64((latest_end - info.Start) * kSecondsPerDay * info.SampRate);
  const int64_t bound = held + RoundToInt64(kSecondsPerDay * info.SampRate);
  info.SampleCount = ClampToInt32(std::clamp<int64_t>(span, 0, bound));
  return true;
}

void BuildGcfSegments(const std::string& path, TRecList& list, const std::string& /*station*/) {
  for (const auto& [offset, block] : ScanGcf(path).Data) {
    if (offset + kGcfHeaderBytes > INT32_MAX) break;  // beyond what a segment can address
    TRecordDescription seg;
    seg.FileName = path;
    seg.Station = block.Station;
    seg.Location = "00";
    seg.Channel = std::string(1, block.Component);
    seg.StartTime = block.Start;
    seg.SampRate = block.SampRate;
    seg.Calib = 1.0;
    seg.Count = block.SampleCount;
    seg.DataType = SampleTypeOfCompression(block.Compression);
    seg.Offset = static_cast<int32_t>(offset + kGcfHeaderBytes);
    seg.BlockSize = kGcfDataBytes;
    seg.TimingQuality = 255;
    list.Add(std::move(seg));
  }
}

}  // namespace tarvik
