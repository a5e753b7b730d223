#include "records/steim.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "packet_test_support.h"

namespace tarvik {
namespace {

constexpr int32_t kX0 = 1000;

// One frame: word 3 holds the differences 0 (skipped: it links to the previous record), 1, 2, 3
// as four bytes; word 4 is the word under test with its code.
std::vector<uint8_t> FrameWith(uint32_t code, uint32_t word, int32_t reverse) {
  std::vector<uint32_t> w(16, 0);
  w[0] = (1u << (30 - 2 * 3)) | (code << (30 - 2 * 4));
  w[1] = static_cast<uint32_t>(kX0);
  w[2] = static_cast<uint32_t>(reverse);
  w[3] = 0x00010203u;
  w[4] = word;
  std::vector<uint8_t> bytes;
  for (uint32_t v : w) testing::PutU32BE(bytes, v);
  return bytes;
}

std::vector<int32_t> Integrate(const std::vector<int32_t>& diffs) {
  std::vector<int32_t> out = {kX0, kX0 + 1, kX0 + 3, kX0 + 6};
  // 32-bit sums wrap, as the encoder's differences do.
  for (int32_t d : diffs) {
    out.push_back(
        static_cast<int32_t>(static_cast<uint32_t>(out.back()) + static_cast<uint32_t>(d)));
  }
  return out;
}

uint32_t Field(int32_t v, int bits, int shift) {
  return (static_cast<uint32_t>(v) & ((1u << bits) - 1u)) << shift;
}

struct WordCase {
  const char* Name;
  int Level;
  uint32_t Code;
  uint32_t Word;
  std::vector<int32_t> Diffs;
};

class SteimWord : public ::testing::TestWithParam<WordCase> {};

TEST_P(SteimWord, YieldsItsDifferencesMostSignificantFirst) {
  const WordCase& c = GetParam();
  const std::vector<int32_t> expected = Integrate(c.Diffs);
  const std::vector<uint8_t> frame = FrameWith(c.Code, c.Word, expected.back());
  std::vector<int32_t> out(expected.size(), -1);
  EXPECT_EQ(DecodeSteim(frame, c.Level, out), expected.size());
  EXPECT_EQ(out, expected);
}

// The same word filling a second frame, with room for more samples than the frames hold: the
// path that writes whole frames at once.
TEST_P(SteimWord, FillsAFrameOfThem) {
  const WordCase& c = GetParam();
  std::vector<int32_t> diffs;
  for (int i = 0; i < 16; ++i) diffs.insert(diffs.end(), c.Diffs.begin(), c.Diffs.end());
  std::vector<int32_t> expected = Integrate(diffs);
  std::vector<uint8_t> frames = FrameWith(c.Code, c.Word, 0x7777);
  uint32_t control = 0;
  for (int i = 1; i < 16; ++i) control |= c.Code << (30 - 2 * i);
  testing::PutU32BE(frames, control);
  for (int i = 1; i < 16; ++i) testing::PutU32BE(frames, c.Word);
  const size_t decoded = expected.size();
  expected.resize(decoded + 120, 0);
  expected.back() = 0x7777;
  std::vector<int32_t> out(expected.size(), -1);
  EXPECT_EQ(DecodeSteim(frames, c.Level, out), decoded);
  EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SteimWord,
    ::testing::Values(
        WordCase{"S1Bytes", 1, 1, 0x01FF807Fu, {1, -1, -128, 127}},
        WordCase{"S1Halves", 1, 2, 0x7FFF8000u, {32767, -32768}},
        WordCase{"S1Word", 1, 3, 0x80000001u, {-2147483647}},
        WordCase{"S2Bytes", 2, 1, 0x01FF807Fu, {1, -1, -128, 127}},
        WordCase{"S2One30", 2, 2, 0x40000000u | Field(-5, 30, 0), {-5}},
        WordCase{"S2One30Max", 2, 2, 0x40000000u | Field(536870911, 30, 0), {536870911}},
        WordCase{"S2Two15",
                 2,
                 2,
                 0x80000000u | Field(100, 15, 15) | Field(-16384, 15, 0),
                 {100, -16384}},
        WordCase{"S2Three10",
                 2,
                 2,
                 0xC0000000u | Field(511, 10, 20) | Field(-512, 10, 10) | Field(3, 10, 0),
                 {511, -512, 3}},
        WordCase{"S2Five6",
                 2,
                 3,
                 Field(31, 6, 24) | Field(-32, 6, 18) | Field(0, 6, 12) | Field(1, 6, 6) |
                     Field(-1, 6, 0),
                 {31, -32, 0, 1, -1}},
        WordCase{"S2Six5",
                 2,
                 3,
                 0x40000000u | Field(15, 5, 25) | Field(-16, 5, 20) | Field(1, 5, 15) |
                     Field(-1, 5, 10) | Field(0, 5, 5) | Field(7, 5, 0),
                 {15, -16, 1, -1, 0, 7}},
        WordCase{"S2Seven4",
                 2,
                 3,
                 0x80000000u | Field(7, 4, 24) | Field(-8, 4, 20) | Field(1, 4, 16) |
                     Field(-1, 4, 12) | Field(0, 4, 8) | Field(2, 4, 4) | Field(-3, 4, 0),
                 {7, -8, 1, -1, 0, 2, -3}},
        // A word with code 0 carries nothing.
        WordCase{"NoData", 2, 0, 0xFFFFFFFFu, {}}),
    [](const auto& info) { return std::string(info.param.Name); });

// Words no encoder writes end the decoding: the rest stays 0, the last is the reverse constant.
TEST(Steim, UndefinedSteim2WordsEndTheData) {
  struct Case {
    uint32_t Code;
    uint32_t Word;
  };
  for (const Case& c : {Case{2, 0x00000005u}, Case{3, 0xC0000001u}}) {
    const std::vector<uint8_t> frame = FrameWith(c.Code, c.Word, 77);
    std::vector<int32_t> out(8, -1);
    EXPECT_EQ(DecodeSteim(frame, 2, out), 4u);
    EXPECT_EQ(out, (std::vector<int32_t>{kX0, kX0 + 1, kX0 + 3, kX0 + 6, 0, 0, 0, 77}));
  }
}

TEST(Steim, CountBoundsTheDecoding) {
  const std::vector<uint8_t> frame = FrameWith(1, 0x01010101u, 42);
  std::vector<int32_t> shorter(3);
  EXPECT_EQ(DecodeSteim(frame, 1, shorter), 3u);
  EXPECT_EQ(shorter, (std::vector<int32_t>{kX0, kX0 + 1, kX0 + 3}));

  std::vector<int32_t> one(1);
  EXPECT_EQ(DecodeSteim(frame, 2, one), 1u);
  EXPECT_EQ(one[0], kX0);

  std::vector<int32_t> longer(12, -1);
  EXPECT_EQ(DecodeSteim(frame, 1, longer), 8u);
  EXPECT_EQ(longer, (std::vector<int32_t>{kX0, kX0 + 1, kX0 + 3, kX0 + 6, kX0 + 7, kX0 + 8, kX0 + 9,
                                          kX0 + 10, 0, 0, 0, 42}));
  std::vector<int32_t> none;
  EXPECT_EQ(DecodeSteim(frame, 1, none), 0u);
}

TEST(Steim, ShortOrUnknownInputDecodesNothing) {
  const std::vector<uint8_t> frame = FrameWith(1, 0x01010101u, 42);
  struct Case {
    size_t Bytes;
    int Level;
    int32_t Last;
  };
  for (const Case& c : {Case{0, 1, 0}, Case{11, 1, 0}, Case{12, 2, 42}, Case{63, 2, 42},
                        Case{64, 3, 42}, Case{64, 0, 42}}) {
    SCOPED_TRACE(c.Bytes);
    std::vector<int32_t> out(5, -1);
    EXPECT_EQ(DecodeSteim(std::span(frame).first(c.Bytes), c.Level, out), 0u);
    EXPECT_EQ(out, (std::vector<int32_t>{0, 0, 0, 0, c.Last}));
  }
}

// A frame is sound when its last sample is the reverse integration constant; one that
// disagrees is damaged as a whole; frames that end before the count give their decoded samples.
TEST(Steim, SoundSamplesCheckTheReverseIntegrationConstant) {
  const std::vector<int32_t> values = Integrate({4, 5, 6, 7});
  const struct {
    const char* Name;
    int32_t Reverse;
    size_t Count;
    size_t Sound;
  } cases[] = {{"agrees", values.back(), values.size(), values.size()},
               {"disagrees", values.back() + 1, values.size(), 0},
               {"disagrees by a sign", -values.back(), values.size(), 0},
               {"frames end early", values.back(), values.size() + 5, values.size()},
               // The count stops before the frames' last sample, which the constant is of.
               {"count short of the frames", values.back(), values.size() - 2, 0}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> frame = FrameWith(1, 0x04050607u, c.Reverse);
    for (int level : {1, 2}) {
      std::vector<int32_t> out(c.Count);
      const size_t decoded = DecodeSteim(frame, level, out);
      EXPECT_EQ(SteimSoundSamples(frame, out, decoded), c.Sound) << c.Name << ", level " << level;
    }
  }
}

// Many frames of extreme values: differences wrap as 32-bit values, like the encoder's.
TEST(Steim, ManyFramesRoundTrip) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> any(std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<int32_t>::max());
  std::vector<int32_t> values(13 + 15 * 9);
  for (int32_t& v : values) v = any(rng);
  values[5] = std::numeric_limits<int32_t>::min();
  values[6] = std::numeric_limits<int32_t>::max();
  const std::vector<uint8_t> frames = testing::SimpleSteim1(values, 10);
  std::vector<int32_t> out(values.size());
  EXPECT_EQ(DecodeSteim(frames, 1, out), values.size());
  EXPECT_EQ(out, values);
  // A partial last frame is not read.
  std::vector<int32_t> cut(values.size());
  EXPECT_EQ(DecodeSteim(std::span(frames).first(frames.size() - 4), 1, cut), values.size() - 15);
}

}  // namespace
}  // namespace tarvik
