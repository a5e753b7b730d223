#include "records/read_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "decimal_comma_locale.h"
#include "test_files.h"

namespace tarvik {
namespace {

TRecordDescription SegmentOf(const std::string& path, int32_t code, int32_t count) {
  TRecordDescription s;
  s.FileName = path;
  s.DataType = code;
  s.Count = count;
  s.Calib = 1.0;
  return s;
}

struct BinaryCase {
  int32_t Code;
  std::vector<uint8_t> Bytes;  // two samples
  std::vector<int32_t> Expected;
  double Calib;
};

class BinaryTypes : public ::testing::TestWithParam<BinaryCase> {};

TEST_P(BinaryTypes, DecodeBothByteOrders) {
  const BinaryCase& c = GetParam();
  testing::TempDir dir;
  const std::string path = dir.File("d.bin");
  // Three bytes before the data.
  std::vector<uint8_t> bytes(3 + c.Bytes.size());
  bytes[0] = 0xAA;
  bytes[1] = 0xBB;
  bytes[2] = 0xCC;
  std::copy(c.Bytes.begin(), c.Bytes.end(), bytes.begin() + 3);
  testing::WriteBytes(path, bytes);
  TRecordDescription s = SegmentOf(path, c.Code, 2);
  s.Offset = 3;
  s.Calib = c.Calib;
  EXPECT_EQ(ReadSamples(s), c.Expected) << SampleTypeText(c.Code);
}

std::vector<uint8_t> F32(float a, float b, bool big) {
  std::vector<uint8_t> out;
  for (float v : {a, b}) {
    const auto bits = std::bit_cast<uint32_t>(v);
    big ? testing::PutU32BE(out, bits) : testing::PutU32LE(out, bits);
  }
  return out;
}

std::vector<uint8_t> F64(double a, double b, bool big) {
  std::vector<uint8_t> out;
  for (double v : {a, b}) {
    const auto bits = std::bit_cast<uint64_t>(v);
    if (big) {
      testing::PutU32BE(out, static_cast<uint32_t>(bits >> 32));
      testing::PutU32BE(out, static_cast<uint32_t>(bits));
    } else {
      testing::PutU32LE(out, static_cast<uint32_t>(bits));
      testing::PutU32LE(out, static_cast<uint32_t>(bits >> 32));
    }
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, BinaryTypes,
    ::testing::Values(BinaryCase{kSampleS2, {0xFF, 0xFE, 0x01, 0x02}, {-2, 258}, 1.0},
                      BinaryCase{kSampleI2, {0xFE, 0xFF, 0x02, 0x01}, {-2, 258}, 1.0},
                      BinaryCase{kSampleT2, {0xFF, 0xFE, 0x01, 0x02}, {65534, 258}, 1.0},
                      BinaryCase{kSampleW2, {0xFE, 0xFF, 0x02, 0x01}, {65534, 258}, 1.0},
                      BinaryCase{kSampleS4, {0x80, 0, 0, 0, 0, 0, 1, 0}, {INT32_MIN, 256}, 1.0},
                      BinaryCase{kSampleI4, {0, 0, 0, 0x80, 0, 1, 0, 0}, {INT32_MIN, 256}, 1.0},
                      // Floating samples are divided by Calib and rounded half to even.
                      BinaryCase{kSampleT4, F32(2.5f, -7.25f, true), {2, -7}, 1.0},
                      BinaryCase{kSampleF4, F32(2.5f, 3.5f, false), {2, 4}, 1.0},
                      BinaryCase{kSampleT8, F64(10.0, -30.0, true), {5, -15}, 2.0},
                      BinaryCase{kSampleF8, F64(1e12, -1e12, false), {INT32_MAX, INT32_MIN}, 1.0}));

TEST(ReadSamples, InterleavedChannels) {
  testing::TempDir dir;
  const std::string path = dir.File("i.bin");
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 4; ++i) {  // three int16 channels per frame
    testing::PutU16LE(bytes, static_cast<uint16_t>(100 + i));
    testing::PutU16LE(bytes, static_cast<uint16_t>(200 + i));
    testing::PutU16LE(bytes, static_cast<uint16_t>(300 + i));
  }
  testing::WriteBytes(path, bytes);
  TRecordDescription s = SegmentOf(path, kSampleI2, 4);
  s.Skip = 2;
  s.Stride = 6;
  EXPECT_EQ(ReadSamples(s), (std::vector<int32_t>{200, 201, 202, 203}));
}

TEST(ReadSamples, TextTypesSkipLinesAndReadTheFirstNumber) {
  testing::TempDir dir;
  const std::string path = dir.File("t.txt");
  testing::WriteText(path, "header\r\nline two\r\n2.5 junk\r\n-3.5\r\n7\n\n9");
  TRecordDescription s = SegmentOf(path, kSampleTextFloat, 4);
  s.Offset = 2;
  EXPECT_EQ(ReadSamples(s), (std::vector<int32_t>{2, -4, 7, 0}));
  s.DataType = kSampleTextDouble;
  s.Calib = 0.5;
  EXPECT_EQ(ReadSamples(s), (std::vector<int32_t>{5, -7, 14, 0}));
  s.DataType = kSampleTextInt;
  s.Count = 6;
  EXPECT_EQ(ReadSamples(s), (std::vector<int32_t>{2, -4, 7, 0, 9, 0}));

  // The same file reads the same under a host's decimal-comma locale.
  const testing::DecimalCommaLocale comma;
  s.DataType = kSampleTextDouble;
  s.Count = 4;
  EXPECT_EQ(ReadSamples(s), (std::vector<int32_t>{5, -7, 14, 0})) << comma.Active();
}

TEST(ReadSamples, Bzip2Block) {
  testing::TempDir dir;
  const std::string path = dir.File("z.bin");
  std::vector<uint8_t> raw;
  for (int i = 0; i < 1000; ++i) testing::PutU32LE(raw, static_cast<uint32_t>(i * i - 5000));
  const std::vector<uint8_t> packed = Bzip2Compress(raw.data(), raw.size());
  ASSERT_FALSE(packed.empty());
  std::vector<uint8_t> file = {1, 2};
  testing::PutU32LE(file, static_cast<uint32_t>(packed.size()));
  file.insert(file.end(), packed.begin(), packed.end());
  testing::WriteBytes(path, file);
  TRecordDescription s = SegmentOf(path, kSampleZ4, 1000);
  s.Offset = 2;
  std::vector<int32_t> got = ReadSamples(s);
  ASSERT_EQ(got.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(got[i], i * i - 5000) << i;

  // Fewer wanted than stored: the first Count values.
  s.Count = 10;
  EXPECT_EQ(ReadSamples(s)[9], 81 - 5000);

  // A damaged stream or a length beyond the file gives zeros, not a crash.
  file[10] ^= 0xFF;
  testing::WriteBytes(path, file);
  s.Count = 1000;
  EXPECT_EQ(ReadSamples(s).size(), 1000u);
  file = {0, 0};
  testing::PutU32LE(file, 0xFFFFFFFFu);
  testing::WriteBytes(path, file);
  got = ReadSamples(s);
  EXPECT_LE(static_cast<int64_t>(got.size()), MaxSamplesInFile(6));
  EXPECT_EQ(got, std::vector<int32_t>(got.size(), 0));
}

TEST(ReadSamples, UntrustedCountsAndOffsets) {
  testing::TempDir dir;
  const std::string path = dir.File("small.bin");
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 8; ++i) testing::PutU32LE(bytes, static_cast<uint32_t>(i + 1));
  testing::WriteBytes(path, bytes);

  // More samples than the file holds: what is there, then zeros.
  TRecordDescription s = SegmentOf(path, kSampleI4, 12);
  std::vector<int32_t> got = ReadSamples(s);
  ASSERT_EQ(got.size(), 12u);
  EXPECT_EQ(got[7], 8);
  EXPECT_EQ(got[8], 0);

  // A count of 2^31 - 1 in a 32-byte file allocates no more than the file could hold.
  s.Count = INT32_MAX;
  got = ReadSamples(s);
  EXPECT_LE(static_cast<int64_t>(got.size()), MaxSamplesInFile(32));
  EXPECT_EQ(got[0], 1);

  // Offsets past the end or negative read nothing.
  s.Count = 4;
  s.Offset = 1 << 30;
  EXPECT_EQ(ReadSamples(s), std::vector<int32_t>(4, 0));
  s.Offset = -8;
  EXPECT_EQ(ReadSamples(s), std::vector<int32_t>(4, 0));

  // Codes without a decoding and missing files give zeros.
  s.Offset = 0;
  for (int32_t code : {0, 12, 14, 24, 25}) {
    s.DataType = code;
    EXPECT_EQ(ReadSamples(s), std::vector<int32_t>(4, 0)) << code;
  }
  s.DataType = kSampleI4;
  s.FileName = dir.File("missing.bin");
  EXPECT_EQ(ReadSamples(s), std::vector<int32_t>(4, 0));
}

// ReadInto writes every position of its span, whatever the span held: the samples Read gives
// and their sound count, for each kind of reader and for what reads nothing.
TEST(ReadSamples, ReadIntoGivesWhatReadGives) {
  testing::TempDir dir;
  const std::string bin = dir.File("i4.bin");
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 8; ++i) testing::PutU32LE(bytes, static_cast<uint32_t>(i * 3 - 7));
  testing::WriteBytes(bin, bytes);
  const std::string text = dir.File("t.txt");
  testing::WriteText(text, "1\n2\nx\n4\n");
  // One Steim-1 frame of 13 samples; a second block whose reverse constant disagrees.
  const std::string steim = dir.File("steim.bin");
  std::vector<uint8_t> frames;
  for (int b = 0; b < 2; ++b) {
    std::vector<uint32_t> w(16, 0);
    w[1] = 50;
    w[2] = b == 0 ? 50 + 12 * 2 : 1;
    for (int i = 3; i < 16; ++i) {
      w[static_cast<size_t>(i)] = 2;
      w[0] |= 3u << (30 - 2 * i);
    }
    for (uint32_t v : w) testing::PutU32BE(frames, v);
  }
  testing::WriteBytes(steim, frames);

  struct Case {
    const char* Name;
    TRecordDescription Seg;
  };
  auto with = [](TRecordDescription s, int32_t offset, int32_t block) {
    s.Offset = offset;
    s.BlockSize = block;
    return s;
  };
  const Case cases[] = {
      {"binary", SegmentOf(bin, kSampleI4, 6)},
      {"binary past the file's end", SegmentOf(bin, kSampleI4, 12)},
      {"text", SegmentOf(text, kSampleTextInt, 6)},
      {"steim", with(SegmentOf(steim, kSampleSteim1a, 13), 0, 64)},
      {"steim past its frames", with(SegmentOf(steim, kSampleSteim1a, 20), 0, 64)},
      {"steim damaged", with(SegmentOf(steim, kSampleSteim1a, 13), 64, 64)},
      {"negative offset", with(SegmentOf(steim, kSampleSteim1a, 13), -64, 64)},
      {"unknown code", SegmentOf(bin, 12, 5)},
      {"missing file", SegmentOf(dir.File("missing.bin"), kSampleSteim2a, 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    SampleReader reader;
    int64_t sound_want = -1;
    const std::vector<int32_t> want = reader.Read(c.Seg, &sound_want);
    ASSERT_EQ(reader.Count(c.Seg), static_cast<int64_t>(want.size()));
    std::vector<int32_t> got(want.size(), -12345);
    int64_t sound = -1;
    reader.ReadInto(c.Seg, got, &sound);
    EXPECT_EQ(got, want);
    EXPECT_EQ(sound, sound_want);
  }
}

// A window over a file gives exactly the bytes a direct read gives, whatever the order of the
// reads: forward in small steps, back, across the window's end, past the end of the file,
// longer than a window.
TEST(FileWindow, GivesTheBytesOfDirectReads) {
  testing::TempDir dir;
  const std::string path = dir.File("w.bin");
  std::vector<uint8_t> bytes(300000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
  testing::WriteBytes(path, bytes);
  BinaryFile file(path);
  ASSERT_TRUE(file.IsOpen());
  FileWindow window(100000);
  const struct {
    int64_t Offset;
    size_t N;
  } reads[] = {{0, 64},        {64, 4000},   {4064, 64},     {65500, 100},  {65536, 64},
               {131000, 4096}, {135096, 64}, {10, 20},       {299990, 100}, {300000, 4},
               {-1, 4},        {200000, 0},  {1000, 250000}, {99990, 40},   {150, 150}};
  for (const auto& r : reads) {
    const std::span<const uint8_t> got = window.View(file, r.Offset, r.N);
    std::vector<uint8_t> direct(r.N);
    direct.resize(file.ReadAt(r.Offset, direct.data(), r.N));
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), direct) << r.Offset << " " << r.N;
  }
}

}  // namespace
}  // namespace tarvik
