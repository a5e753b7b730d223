#include "records/read_samples.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

#include "common/bytes.h"
#include "common/number_text.h"
#include "common/rounding.h"
#include "records/gcf.h"
#include "records/steim.h"

namespace tarvik {

namespace {

int32_t ConvertFloat(double value, double calib) {
  const double c = calib == 0.0 ? 1.0 : calib;
  return RoundToInt32Clamped(value / c);
}

int32_t ConvertBinary(const uint8_t* p, int32_t code, double calib) {
  switch (code) {
    case kSampleT4:
      return ConvertFloat(LoadF32BE(p), calib);
    case kSampleF4:
      return ConvertFloat(LoadF32LE(p), calib);
    case kSampleT8:
      return ConvertFloat(LoadF64BE(p), calib);
    case kSampleF8:
      return ConvertFloat(LoadF64LE(p), calib);
    case kSampleS2:
      return LoadI16BE(p);
    case kSampleI2:
      return LoadI16LE(p);
    case kSampleT2:
      return LoadU16BE(p);
    case kSampleW2:
      return LoadU16LE(p);
    case kSampleS4:
      return LoadI32BE(p);
    case kSampleI4:
      return LoadI32LE(p);
    default:
      return 0;
  }
}

// The value of one text line: its first number, or with a column index its column-th number.
bool ParseLineValue(std::string_view line, int column, double& value) {
  size_t pos = 0;
  for (int c = 0;; ++c) {
    while (pos < line.size() &&
           (line[pos] == ' ' || line[pos] == '\t' || line[pos] == ',' || line[pos] == ';')) {
      ++pos;
    }
    if (pos >= line.size()) return false;
    size_t end = pos;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != ',' &&
           line[end] != ';' && line[end] != '\r') {
      ++end;
    }
    if (c == column) return ParseInto(ParseLeadingDouble(line.substr(pos, end - pos)), value);
    pos = end;
  }
}

// Each reader returns how many samples, from the first, it found in the file.
size_t ReadText(const TRecordDescription& seg, int64_t file_size, std::span<int32_t> out) {
  std::ifstream in(seg.FileName, std::ios::binary);
  if (!in) return 0;
  (void)file_size;
  std::string line;
  for (int32_t i = 0; i < seg.Offset; ++i) {
    if (!std::getline(in, line)) return 0;
  }
  const int column = seg.Stride > 0 ? std::max(0, seg.Skip) : 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (!std::getline(in, line)) return i;
    double v = 0.0;
    if (!ParseLineValue(line, column, v)) continue;
    if (seg.DataType == kSampleTextInt) {
      out[i] = RoundToInt32Clamped(v);
    } else {
      out[i] = ConvertFloat(v, seg.Calib);
    }
  }
  return out.size();
}

size_t ReadBinary(BinaryFile& f, const TRecordDescription& seg, std::span<int32_t> out) {
  const int size = SampleTypeSize(seg.DataType);
  if (size == 0) return 0;
  const size_t n = out.size();
  if (seg.Stride <= 0) {
    std::vector<uint8_t> bytes = f.ReadBytes(seg.Offset, n * static_cast<size_t>(size));
    const size_t got = bytes.size() / static_cast<size_t>(size);
    for (size_t i = 0; i < got; ++i)
      out[i] = ConvertBinary(&bytes[i * size], seg.DataType, seg.Calib);
    return got;
  }
  const auto stride = static_cast<size_t>(seg.Stride);
  const size_t skip = static_cast<size_t>(std::max(0, seg.Skip));
  std::vector<uint8_t> bytes = f.ReadBytes(seg.Offset, n * stride);
  for (size_t i = 0; i < n; ++i) {
    const size_t at = skip + i * stride;
    if (at + static_cast<size_t>(size) > bytes.size()) return i;
    out[i] = ConvertBinary(&bytes[at], seg.DataType, seg.Calib);
  }
  return n;
}

size_t ReadBzip2(BinaryFile& f, const TRecordDescription& seg, std::span<int32_t> out) {
  uint8_t head[4];
  if (!f.ReadExact(seg.Offset, head, 4)) return 0;
  const uint32_t length = LoadU32LE(head);
  std::vector<uint8_t> packed = f.ReadBytes(int64_t{seg.Offset} + 4, length);
  std::vector<uint8_t> raw = Bzip2Decompress(packed.data(), packed.size(), out.size() * 4);
  const size_t got = std::min(out.size(), raw.size() / 4);
  for (size_t i = 0; i < got; ++i) out[i] = LoadI32LE(&raw[i * 4]);
  return got;
}

}  // namespace

int64_t MaxSamplesInFile(int64_t file_size) {
  // The densest encodings: Steim-2 holds seven samples per 4-byte word, one text sample needs
  // two bytes ("0" and a line end); twice the byte count bounds them all.
  return 2 * std::clamp<int64_t>(file_size, 0, INT64_MAX / 4) + 16;
}

std::span<const uint8_t> FileWindow::View(BinaryFile& file, int64_t offset, size_t n) {
  const int64_t size = file.Size();
  if (offset < 0 || offset >= size || n == 0) return {};
  n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size - offset));
  const auto held = static_cast<int64_t>(held_);
  if (offset < start_ || offset - start_ > held ||
      held - (offset - start_) < static_cast<int64_t>(n)) {
    // A window from offset on, at least the bytes asked for; larger while the reads go on
    // from where the last window ended.
    const int64_t end = start_ + held;
    const bool onward =
        held > 0 && offset >= end && offset - end <= static_cast<int64_t>(window_bytes_);
    window_bytes_ = onward ? std::min(max_bytes_, window_bytes_ * 2) : kFirstBytes;
    const auto want = static_cast<size_t>(
        std::min<int64_t>(size - offset, static_cast<int64_t>(std::max(n, window_bytes_))));
    if (want > capacity_) {
      bytes_ = std::make_unique_for_overwrite<uint8_t[]>(want);
      capacity_ = want;
    }
    held_ = file.ReadAt(offset, bytes_.get(), want);
    start_ = offset;
  }
  const auto at = static_cast<size_t>(offset - start_);
  return std::span<const uint8_t>(bytes_.get() + at, std::min(n, held_ - at));
}

BinaryFile* SampleReader::FileFor(const std::string& path) {
  if (path == path_) return open_failed_ ? nullptr : &file_;
  window_.Reset();
  path_ = path;
  open_failed_ = !file_.Open(path);
  return open_failed_ ? nullptr : &file_;
}

namespace {

bool Decodable(int32_t code) {
  return (code >= 1 && code <= 11) || code == kSampleZ4 ||
         (code >= kSampleSteim1a && code <= kSampleW2);
}

bool IsSteim(int32_t code) {
  return code >= kSampleSteim1a && code <= kSampleSteim2b;
}

}  // namespace

int64_t SampleReader::Count(const TRecordDescription& seg) {
  if (seg.Count <= 0) return 0;
  BinaryFile* f = Decodable(seg.DataType) ? FileFor(seg.FileName) : nullptr;
  const int64_t file_size = f ? f->Size() : 0;
  return std::min<int64_t>(seg.Count, MaxSamplesInFile(file_size));
}

std::vector<int32_t> SampleReader::Read(const TRecordDescription& seg, int64_t* sound) {
  std::vector<int32_t> out(static_cast<size_t>(Count(seg)));
  ReadInto(seg, out, sound);
  return out;
}

void SampleReader::ReadInto(const TRecordDescription& seg, std::span<int32_t> out, int64_t* sound) {
  if (sound != nullptr) *sound = 0;
  if (out.empty()) return;
  const int32_t code = seg.DataType;
  BinaryFile* f = Decodable(code) ? FileFor(seg.FileName) : nullptr;
  const int64_t file_size = f ? f->Size() : 0;
  // The Steim decoder writes every position itself; the other readers leave 0 where the file
  // holds no sample, and out may hold anything before.
  if (f == nullptr || seg.Offset < 0 || !IsSteim(code)) std::fill(out.begin(), out.end(), 0);
  if (f == nullptr || seg.Offset < 0) return;

  size_t found = 0;
  switch (code) {
    case kSampleTextFloat:
    case kSampleTextDouble:
    case kSampleTextInt:
      found = ReadText(seg, file_size, out);
      break;
    case kSampleZ4:
      found = ReadBzip2(*f, seg, out);
      break;
    case kSampleSteim1a:
    case kSampleSteim1b:
    case kSampleSteim2a:
    case kSampleSteim2b: {
      const std::span<const uint8_t> frames =
          window_.View(*f, seg.Offset, static_cast<size_t>(std::max(0, seg.BlockSize)));
      const int level = code <= kSampleSteim1b ? 1 : 2;
      found = SteimSoundSamples(frames, out, DecodeSteim(frames, level, out));
      break;
    }
    case kSampleGcf8:
    case kSampleGcf16:
    case kSampleGcf32: {
      const std::vector<uint8_t> data = f->ReadBytes(seg.Offset, 1008);
      const int diff = code == kSampleGcf8 ? 1 : code == kSampleGcf16 ? 2 : 4;
      found = GcfSoundSamples(data, diff, out, DecodeGcf(data, diff, out));
      break;
    }
    default:
      found = ReadBinary(*f, seg, out);
      break;
  }
  if (sound != nullptr) *sound = static_cast<int64_t>(std::min(found, out.size()));
}

std::vector<int32_t> ReadSamples(const TRecordDescription& segment) {
  SampleReader reader;
  return reader.Read(segment);
}

std::vector<uint8_t> Bzip2Decompress(const uint8_t* data, size_t size, size_t max_bytes) {
  std::vector<uint8_t> out(max_bytes);
  if (size == 0 || max_bytes == 0) return {};
  bz_stream strm;
  std::memset(&strm, 0, sizeof strm);
  if (BZ2_bzDecompressInit(&strm, 0, 0) != BZ_OK) return {};
  size_t produced = 0;
  size_t consumed = 0;
  // The stream counters are unsigned int: feed and drain in chunks below 1 GiB.
  constexpr size_t kChunk = size_t{1} << 30;
  while (produced < max_bytes) {
    const size_t in_now = std::min(size - consumed, kChunk);
    const size_t out_now = std::min(max_bytes - produced, kChunk);
    strm.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(data + consumed));
    strm.avail_in = static_cast<unsigned>(in_now);
    strm.next_out = reinterpret_cast<char*>(out.data() + produced);
    strm.avail_out = static_cast<unsigned>(out_now);
    const int rc = BZ2_bzDecompress(&strm);
    consumed += in_now - strm.avail_in;
    produced += out_now - strm.avail_out;
    if (rc != BZ_OK) break;  // the end of the stream, or damage
    if (strm.avail_in == in_now && strm.avail_out == out_now) break;  // no progress
    if (consumed >= size && strm.avail_out != 0) break;
  }
  BZ2_bzDecompressEnd(&strm);
  out.resize(produced);
  return out;
}

std::vector<uint8_t> Bzip2Compress(const uint8_t* data, size_t size) {
  // bzip2's bound: the input plus 1 % plus 600 bytes.
  unsigned dest_len = static_cast<unsigned>(size + size / 100 + 601);
  std::vector<uint8_t> out(dest_len);
  const int rc = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &dest_len,
                                          reinterpret_cast<char*>(const_cast<uint8_t*>(data)),
                                          static_cast<unsigned>(size), 9, 0, 0);
  if (rc != BZ_OK) return {};
  out.resize(dest_len);
  return out;
}

}  // namespace tarvik
