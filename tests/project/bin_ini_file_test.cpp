#include "project/bin_ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "common/date_text.h"
#include "common/datetime.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::ReadBytes;
using testing::TempDir;

struct FloatCase {
  double Value;
  const char* Text;
};

class ProjectFloatText : public ::testing::TestWithParam<FloatCase> {};

TEST_P(ProjectFloatText, WritesGeneralFormAndReadsItBack) {
  const FloatCase& c = GetParam();
  EXPECT_EQ(FormatProjectFloat(c.Value), c.Text);
  double back = 0.0;
  ASSERT_TRUE(ParseProjectFloat(c.Text, back));
  // Fifteen significant digits.
  EXPECT_NEAR(back, c.Value, std::fabs(c.Value) * 5e-15);
}

// Over values of every magnitude and of many digits, the text holds exactly the 15 significant
// digits the C library's "%.14e" rounds to, with and without halfway cases.
TEST(ProjectFloatText, HoldsTheDigitsOfTheCLibrary) {
  uint64_t state = 88172645463325252ull;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const double mantissa = static_cast<double>(state >> 11) / 9007199254740992.0;
    const int exponent = static_cast<int>(state % 41) - 20;
    const double value =
        (i % 2 == 0 ? 1 : -1) * mantissa * std::pow(10.0, exponent) + (i % 5 == 0 ? 0.5 : 0.0);
    char expected[40];
    std::snprintf(expected, sizeof expected, "%.14e", value);
    double back = 0.0;
    ASSERT_TRUE(ParseProjectFloat(FormatProjectFloat(value), back)) << value;
    EXPECT_EQ(back, std::strtod(expected, nullptr)) << expected;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProjectFloatText,
    ::testing::Values(FloatCase{0.0, "0"}, FloatCase{0.1, "0.1"}, FloatCase{50.0, "50"},
                      FloatCase{-2.5, "-2.5"}, FloatCase{1e-6, "1E-6"},
                      FloatCase{0.00001, "0.00001"}, FloatCase{1.5e20, "1.5E20"},
                      FloatCase{1e15, "1E15"}, FloatCase{123456789012345.0, "123456789012345"},
                      FloatCase{-3.25e-12, "-3.25E-12"}, FloatCase{1.0 / 3.0, "0.333333333333333"},
                      FloatCase{31446.51, "31446.51"}, FloatCase{1e14, "100000000000000"},
                      FloatCase{999999999999999.9, "1E15"}, FloatCase{-0.000123, "-0.000123"},
                      FloatCase{9.99999999999999e-6, "9.99999999999999E-6"},
                      FloatCase{1.5e300, "1.5E300"}, FloatCase{-123.456, "-123.456"},
                      FloatCase{1e9 / 0.0318, "31446540880.5031"}));

TEST(ProjectNumbers, ParsingRejectsJunkAndOverflow) {
  struct IntCase {
    const char* Text;
    bool Ok;
    int32_t Value;
  };
  const IntCase ints[] = {{"12", true, 12},
                          {" -5 ", true, -5},
                          {"+7", true, 7},
                          {"$FF", true, 255},
                          {"0x10", true, 16},
                          {"2147483647", true, 2147483647},
                          {"-2147483648", true, INT32_MIN},
                          {"2147483648", false, 0},
                          {"1.5", false, 0},
                          {"", false, 0},
                          {"abc", false, 0},
                          {"--1", false, 0}};
  for (const IntCase& c : ints) {
    int32_t v = -99;
    EXPECT_EQ(ParseProjectInteger(c.Text, v), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_EQ(v, c.Value) << c.Text;
    }
  }
  double d = 0.0;
  EXPECT_FALSE(ParseProjectFloat("1,5", d));
  EXPECT_FALSE(ParseProjectFloat("abc", d));
  EXPECT_FALSE(ParseProjectFloat("", d));
  EXPECT_FALSE(ParseProjectFloat("+-1", d));
  EXPECT_TRUE(ParseProjectFloat("2.5e3", d));
  EXPECT_EQ(d, 2500.0);
  // Beyond the range of a double, large or small, a text is refused (the key's default holds).
  EXPECT_FALSE(ParseProjectFloat("1E400", d));
  EXPECT_FALSE(ParseProjectFloat("1.79769313486233E308", d));
  EXPECT_FALSE(ParseProjectFloat("1E-400", d));
}

// The largest doubles are written with fifteen digits as 1.79769313486232E308, which lies beyond
// the range; they must read back within their digits rather than fall to the key's default.
TEST(ProjectFloatText, TheLargestDoublesReadBack) {
  const double largest = std::numeric_limits<double>::max();
  for (const double value : {largest, -largest, std::nextafter(largest, 0.0)}) {
    const std::string text = FormatProjectFloat(value);
    double back = 0.0;
    ASSERT_TRUE(ParseProjectFloat(text, back)) << text;
    EXPECT_NEAR(back, value, largest * 5e-15) << text;
  }
}

TEST(ProjectDateTime, FormatsToTheSecondAndParsesBack) {
  const TDateTime t = EncodeDateTime(2016, 6, 3, 7, 5, 9);
  EXPECT_EQ(FormatProjectDateTime(t), "03.06.2016 7:05:09");
  EXPECT_EQ(FormatProjectDateTime(EncodeDateTime(2016, 6, 3)), "03.06.2016");
  // 59.6 s rounds to the next minute rather than printing the second before.
  EXPECT_EQ(FormatProjectDateTime(EncodeDateTime(2016, 6, 3, 23, 59, 59, 600)), "04.06.2016");

  TDateTime back = 0.0;
  ASSERT_TRUE(ParseProjectDateTime("03.06.2016 7:05:09", back));
  EXPECT_NEAR(back, t, 1e-9);
  ASSERT_TRUE(ParseProjectDateTime("3.6.2016", back));
  EXPECT_EQ(back, EncodeDateTime(2016, 6, 3));
  ASSERT_TRUE(ParseProjectDateTime("03.06.2016 19:55", back));
  EXPECT_NEAR(back, EncodeDateTime(2016, 6, 3, 19, 55), 1e-9);
  ASSERT_TRUE(ParseProjectDateTime("12:00:00", back));
  EXPECT_EQ(back, 0.5);

  for (const char* bad : {"31.02.2016", "03.13.2016", "03.06.2016 24:00:00", "03.06.2016 7:60",
                          "2016-06-03", "03.06.2016x", "", "03.06"}) {
    EXPECT_FALSE(ParseProjectDateTime(bad, back)) << bad;
  }
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

// The date-time text against printf's form of the same calendar fields, across the years a
// calendar day holds and beyond them (where the printf form is kept as it was).
TEST(ProjectDateTime, TextAgreesWithThePrintfFormEverywhere) {
  const auto printf_form = [](TDateTime v) {
    const double seconds = std::nearbyint(v * kSecondsPerDay);
    const CivilTime c = DecodeDateTime(std::isfinite(seconds) ? seconds / kSecondsPerDay : v);
    char buf[64];
    if (c.Hour == 0 && c.Minute == 0 && c.Second == 0)
      std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", c.Day, c.Month, c.Year);
    else
      std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %d:%02d:%02d", c.Day, c.Month, c.Year, c.Hour,
                    c.Minute, c.Second);
    return std::string(buf);
  };
  std::vector<TDateTime> values = {
      0.0,
      -0.5,
      EncodeDateTime(1, 1, 1),
      EncodeDateTime(999, 12, 31, 23, 59, 59),
      EncodeDateTime(1000, 1, 1, 10, 0, 0),
      EncodeDateTime(9999, 12, 31, 23, 59, 59),
      EncodeDateTime(9999, 12, 31, 23, 59, 59, 700),  // rounds into year 10000
      EncodeDateTime(-5, 3, 1, 1, 2, 3),
      EncodeDateTime(2024, 2, 29, 9, 59, 59, 499),
      EncodeDateTime(2024, 2, 29, 9, 59, 59, 500),
      4.0e6,
      -4.0e6,
      std::nan(""),
      INFINITY,
  };
  for (double t = -700000.0; t < 3000000.0; t += 12345.678901) values.push_back(t);
  for (const TDateTime v : values) {
    char buf[kProjectDateTimeChars];
    const std::string expected = printf_form(v);
    EXPECT_EQ(std::string(buf, FormatProjectDateTimeTo(v, buf)), expected) << v;
    EXPECT_EQ(FormatProjectDateTime(v), expected) << v;
  }
}

TEST(ProjectDateTime, SelectionLengthsShowDaysSignAndRoundedSeconds) {
  const struct {
    double Days;
    const char* Text;
  } cases[] = {
      {0.0, "0:00:00"},
      {1.0 / 24, "1:00:00"},
      {(10 * 3600 + 61) / 86400.0, "10:01:01"},
      {(23 * 3600 + 3599.6) / 86400.0, "1сут. 0:00:00"},
      {-(3600 + 5) / 86400.0, "-1:00:05"},
      {12345.5, "12345сут. 12:00:00"},
      {-2.25, "-2сут. 6:00:00"},
      {1e12, "1000000000сут. 0:00:00"},
      {std::nan(""), "0:00:00"},
      {-INFINITY, "-0:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(SelectionLengthText(c.Days), c.Text) << c.Days;
}

TEST(BinIniBinary, WritesEachKindInItsEncoding) {
  TempDir dir;
  const std::string path = dir.File("values.bin");
  {
    TBinIniFile ini(path, true, TBinIniFile::Mode::kWrite);
    ini.WriteInteger("S", "a", -2);
    ini.WriteBool("S", "b", true);
    ini.WriteBool("S", "c", false);
    ini.WriteString("S", "d", "AB");
    ini.WriteString("S", "e", "Ш");
    ini.WriteFloat("S", "f", 1.0);
    ini.WriteDateTime("S", "g", 2.0);
    ASSERT_TRUE(ini.UpdateFile());
    ASSERT_TRUE(ini.Close());
  }
  const std::vector<uint8_t> expected = Bytes(
      {0xFE, 0xFF, 0xFF, 0xFF, 0x09, 0x08, 0x06, 2,    'A',  'B', 0x14, 2, 0, 0, 0, 0xD0, 0xA8,
       0,    0,    0,    0,    0,    0,    0xF0, 0x3F, 0x11, 0,   0,    0, 0, 0, 0, 0,    0x40});
  EXPECT_EQ(ReadBytes(path), expected);

  // A 7-bit text of 256 characters or more takes the 4-byte length.
  {
    TBinIniFile ini(path, true, TBinIniFile::Mode::kWrite);
    ini.WriteString("S", "long", std::string(300, 'x'));
  }
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 305u);
  EXPECT_EQ(bytes[0], kBinTagLString);
  EXPECT_EQ(bytes[1] | (bytes[2] << 8), 300);
}

TEST(BinIniBinary, ReadsForeignTagsAndSkipsValuesThatDoNotFit) {
  std::vector<uint8_t> data = Bytes({
      0x06, 2,    0xD8, 0xE0,                                // Windows-1251 "Ша"
      0x12, 2,    0,    0,    0,    0x28, 0x04, 0x41, 0x00,  // UTF-16LE "ШA"
      0x02, 0xFE,                                            // date as int8: -2 days
      0x03, 0x10, 0x27,                                      // int16 10000
      0x04, 0x40, 0x42, 0x0F, 0x00,                          // int32 1000000
      0x13, 1,    0,    0,    0,    0,    0,    0,    0,     // int64 1
      0x07,                                                  // a tag no text has
      0x05,                                                  // a tag no date-time has
      0x0A,                                                  // boolean byte other than 0x09
      0x14, 0xFF, 0xFF, 0xFF, 0x7F, 'x',                     // a length beyond the data
  });
  TBinIniFile ini(data, true);
  EXPECT_EQ(ini.ReadString("", "", "?"), "Ша");
  EXPECT_EQ(ini.ReadString("", "", "?"), "ШA");
  EXPECT_EQ(ini.ReadDateTime("", "", 9.0), -2.0);
  EXPECT_EQ(ini.ReadDateTime("", "", 9.0), 10000.0);
  EXPECT_EQ(ini.ReadDateTime("", "", 9.0), 1000000.0);
  EXPECT_EQ(ini.ReadDateTime("", "", 9.0), 1.0);
  EXPECT_EQ(ini.ReadString("", "", "def"), "def");
  EXPECT_EQ(ini.ReadDateTime("", "", 9.0), 9.0);
  EXPECT_FALSE(ini.ReadBool("", "", true));
  EXPECT_EQ(ini.ReadString("", "", "cut"), "cut");
  EXPECT_TRUE(ini.AtEnd());
  EXPECT_EQ(ini.ReadInteger("", "", 17), 17);
  EXPECT_EQ(ini.ReadFloat("", "", 2.5), 2.5);
  EXPECT_TRUE(ini.ReadBool("", "", true));
}

TEST(BinIniText, MatchesNamesWithoutCaseAndReadsLfFiles) {
  const std::string text =
      "; a comment\n[Files]\nFileNum = 3\nStation01=ST\xC0\x31\nBad=x\nfilenum=9\n"
      "[files]\nFileNum=7\n\n[OTHER]\nKey\r\nSpaced =  a b  \r\n";
  TBinIniFile ini(std::vector<uint8_t>(text.begin(), text.end()), false);
  // The first section and the first key of a name count.
  EXPECT_EQ(ini.ReadInteger("FILES", "FILENUM", 0), 3);
  EXPECT_EQ(ini.ReadString("files", "station01", ""),
            "ST\xD0\x90"
            "1");
  EXPECT_EQ(ini.ReadInteger("FILES", "Bad", -1), -1);
  EXPECT_EQ(ini.ReadFloat("FILES", "Bad", 2.5), 2.5);
  EXPECT_TRUE(ini.ReadBool("FILES", "Missing", true));
  EXPECT_EQ(ini.ReadString("OTHER", "Key", "d"), "");
  EXPECT_EQ(ini.ReadString("OTHER", "Spaced", ""), "a b");
  EXPECT_EQ(ini.ReadDateTime("OTHER", "Spaced", 5.0), 5.0);
}

TEST(BinIniText, WritesSectionsInOrderWithCrLfAndWindows1251) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  {
    TBinIniFile ini(path, false, TBinIniFile::Mode::kWrite);
    ini.WriteInteger("VERSION", "ProjectVersion", 1);
    ini.WriteString("FILES", "Station01", "Ша");
    ini.WriteBool("FILES", "ToProcess01", true);
    ini.WriteInteger("version", "projectversion", 2);  // replaces, keeps the first spelling
    ini.WriteString("FILES", "File01", "a\r\nb");
    ini.WriteDateTime("FILES", "Start01", EncodeDateTime(2020, 1, 2, 3, 4, 5));
    ini.WriteTime("FILES", "T", 0.0);
    ASSERT_TRUE(ini.UpdateFile());
  }
  const std::vector<uint8_t> bytes = ReadBytes(path);
  const std::string image(bytes.begin(), bytes.end());
  EXPECT_EQ(image,
            "[VERSION]\r\nProjectVersion=2\r\n\r\n[FILES]\r\nStation01=\xD8\xE0\r\n"
            "ToProcess01=1\r\nFile01=a  b\r\nStart01=02.01.2020 3:04:05\r\nT=0:00:00\r\n\r\n");
}

// Sections of many keys are searched through an index and read in file order through a
// cursor; both must give what a scan from the start would.
TEST(BinIniText, LargeSectionsGiveTheFirstKeyInAnyOrder) {
  std::string text = "[Small]\nA=1\n[Big]\n";
  for (int i = 0; i < 200; ++i) text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  text += "k50=again\nK7=again\n[big]\nK1=other\n[Small]\nA=2\n";
  TBinIniFile ini(std::vector<uint8_t>(text.begin(), text.end()), false);
  EXPECT_EQ(ini.ReadInteger("Big", "K0", -1), 0);
  EXPECT_EQ(ini.ReadInteger("Big", "K1", -1), 1);  // the cursor's next key
  EXPECT_EQ(ini.ReadInteger("Small", "a", -1), 1);
  EXPECT_EQ(ini.ReadInteger("BIG", "K2", -1), 2);
  for (int i = 199; i >= 0; i -= 7)
    EXPECT_EQ(ini.ReadInteger("Big", "k" + std::to_string(i), -1), i) << i;
  EXPECT_EQ(ini.ReadInteger("Big", "K49", -1), 49);
  EXPECT_EQ(ini.ReadString("Big", "K50", ""), "50");  // not the repeated one after K199
  EXPECT_EQ(ini.ReadString("Big", "K199", ""), "199");
  EXPECT_EQ(ini.ReadString("Big", "K7", ""), "7");
  EXPECT_EQ(ini.ReadString("Big", "K200", "none"), "none");

  TempDir dir;
  const std::string path = dir.File("big.ini");
  {
    TBinIniFile out(path, false, TBinIniFile::Mode::kWrite);
    for (int i = 0; i < 100; ++i) out.WriteInteger("S", "K" + std::to_string(i), i);
    out.WriteInteger("s", "k42", -42);
    out.WriteInteger("S", "K100", 100);
    ASSERT_TRUE(out.UpdateFile());
  }
  const std::vector<uint8_t> bytes = ReadBytes(path);
  TBinIniFile back(bytes, false);
  EXPECT_EQ(back.ReadInteger("S", "K42", 0), -42);
  EXPECT_EQ(back.ReadInteger("S", "K100", 0), 100);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1 + 101 + 1);
}

}  // namespace
}  // namespace tarvik

namespace tarvik {
namespace {

// A text store written in order goes straight to its text; one whose writes go back to an
// earlier section is put together from its sections. Both must give the same bytes, on a store
// as large as a project of thousands of records, with Cyrillic values, blanks around values,
// line breaks and numbers of every kind.
TEST(BinIniText, WrittenInOrderGivesTheBytesOfTheAssembledForm) {
  const auto write_all = [](TBinIniFile& ini) {
    ini.WriteInteger("VERSION", "ProjectVersion", 1);
    const int n = 3000;
    ini.WriteInteger("FILES", "FileNum", n);
    for (int k = 1; k <= n; ++k) {
      const std::string s = std::to_string(k);
      ini.WriteString("FILES", "File" + s, "/данные/станция " + s + "/rec.msd");
      ini.WriteString("FILES", "Station" + s, k % 7 == 0 ? " Ш" + s + " " : "ST" + s);
      ini.WriteFloat("FILES", "SampRate" + s, 100.0 / k);
      ini.WriteBool("FILES", "ToProcess" + s, k % 2 == 0);
      ini.WriteInteger("FILES", "SelIndex" + s, -k);
      ini.WriteDateTime("FILES", "Start" + s, 45000.0 + k / 7.0);
    }
    for (int k = 1; k <= n; ++k) {
      const std::string section = "REC" + std::to_string(k);
      for (int c = 1; c <= 3; ++c) {
        const std::string s = std::to_string(c);
        ini.WriteString(section, "Channel" + s, c == 2 ? "a\r\nb" : "HH" + s);
        ini.WriteFloat(section, "ADCCoef" + s, 419430.4 * c);
      }
    }
    ini.WriteString("SETTINGS", "ResultDir", "%ProjectDir%\\results");
    ini.WriteTime("SETTINGS", "T", 0.25);
  };
  TempDir dir;
  const std::string streamed = dir.File("streamed.ini");
  const std::string assembled = dir.File("assembled.ini");
  std::vector<uint8_t> a;
  // With keys written once each the sections go unchecked until the writing leaves its order;
  // the bytes are the same either way.
  for (const bool once : {false, true}) {
    SCOPED_TRACE(once);
    {
      TBinIniFile ini(streamed, false, TBinIniFile::Mode::kWrite);
      if (once) ini.SetKeysWrittenOnce();
      write_all(ini);
      ASSERT_TRUE(ini.UpdateFile());
    }
    {
      TBinIniFile ini(assembled, false, TBinIniFile::Mode::kWrite);
      if (once) ini.SetKeysWrittenOnce();
      write_all(ini);
      // The same values again, in the first section and in the large one: nothing changes but
      // the way of writing.
      ini.WriteInteger("version", "PROJECTVERSION", 1);
      ini.WriteString("files", "STATION5", "ST5");
      ini.WriteFloat("REC2", "ADCCoef1", 419430.4);
      ASSERT_TRUE(ini.UpdateFile());
    }
    a = ReadBytes(streamed);
    const std::vector<uint8_t> b = ReadBytes(assembled);
    ASSERT_GT(a.size(), 400000u);
    EXPECT_TRUE(a == b);
  }

  // And the bytes read back give what was written.
  TBinIniFile back(a, false);
  EXPECT_EQ(back.ReadInteger("FILES", "FileNum", 0), 3000);
  EXPECT_EQ(back.ReadString("FILES", "File2999", ""), "/данные/станция 2999/rec.msd");
  EXPECT_EQ(back.ReadString("FILES", "Station14", ""), "Ш14");
  EXPECT_NEAR(back.ReadFloat("FILES", "SampRate3", 0.0), 100.0 / 3, 1e-12);
  EXPECT_EQ(back.ReadInteger("FILES", "SelIndex1234", 0), -1234);
  EXPECT_EQ(back.ReadString("REC2500", "Channel2", ""), "a  b");
  EXPECT_NEAR(back.ReadFloat("REC3000", "ADCCoef3", 0.0), 419430.4 * 3, 1e-6);
  EXPECT_EQ(back.ReadString("SETTINGS", "T", ""), "6:00:00");
}

}  // namespace
}  // namespace tarvik

namespace tarvik {
namespace {

// The text form writes each date-time as FormatProjectDateTime gives it, at the edges of the
// years it formats itself and beyond them.
TEST(BinIniText, DateTimesAreWrittenAsTheirProjectText) {
  constexpr double kSecond = 1.0 / 86400.0;
  const std::vector<double> values = {
      0.0,
      -1.0,
      -1.5,
      45000.0,
      45000.0 + 0.5,
      45000.0 + 59.9996 * kSecond,       // rounds to the next second
      45000.0 + 1.0 - 0.0004 * kSecond,  // rounds to the next day's midnight
      45000.0 + (9 * 3600 + 5 * 60 + 7) * kSecond,
      45000.0 + (23 * 3600 + 59 * 60 + 59) * kSecond,
      EncodeDateTime(1000, 1, 1, 1, 2, 3),
      EncodeDateTime(999, 12, 31, 23, 59, 59),
      EncodeDateTime(9999, 12, 31, 12, 0, 0),
      EncodeDateTime(9999, 12, 31) + 1.0,  // year 10000
      EncodeDateTime(2024, 2, 29, 10, 0, 0),
      -700000.0,
      3e6,
      std::nan(""),
      INFINITY,
      -INFINITY,
  };
  TempDir dir;
  const std::string path = dir.File("dates.ini");
  {
    TBinIniFile out(path, false, TBinIniFile::Mode::kWrite);
    for (size_t i = 0; i < values.size(); ++i)
      out.WriteDateTime("D", "K" + std::to_string(i), values[i]);
    ASSERT_TRUE(out.UpdateFile());
  }
  const std::vector<uint8_t> bytes = ReadBytes(path);
  std::string expected = "[D]\r\n";
  for (size_t i = 0; i < values.size(); ++i)
    expected += "K" + std::to_string(i) + "=" + FormatProjectDateTime(values[i]) + "\r\n";
  expected += "\r\n";
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
}

// Names match with the letters a-z folded and nothing else: not the characters next to the
// letters in ASCII, not the bytes of other scripts, at every length around the eight bytes the
// comparison takes at a time.
TEST(BinIniText, NamesFoldOnlyLatinLetters) {
  const TBinIniFile::NoCaseEqual equal;
  const TBinIniFile::NoCaseHash hash;
  struct Case {
    const char* A;
    const char* B;
    bool Same;
  };
  const Case cases[] = {
      {"a", "A", true},
      {"@", "`", false},
      {"[", "{", false},
      {"z", "Z", true},
      {"]", "}", false},
      {"^", "~", false},
      {"Station", "STATION", true},
      {"Station0", "sTATION0", true},
      {"Station01", "STATION01", true},
      {"ToProcessNakamura10000", "toprocessnakamura10000", true},
      {"ToProcessNakamura10000", "ToProcessNakamura10001", false},
      {"ToProcessNakamura1000", "ToProcessNakamura10000", false},
      {"ChanSelected01", "ChanSelected0`", false},
      {"ChanSelected01", "ChanSelected02", false},
      {"Ш", "ш", false},  // UTF-8: not folded
      {"\xD0\xA8x", "\xD0\xA8X", true},
      {"\xC1", "\xE1", false},  // bytes above 0x7F never fold
      {"", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(equal(c.A, c.B), c.Same) << c.A << " / " << c.B;
    if (c.Same) {
      EXPECT_EQ(hash(c.A), hash(c.B)) << c.A;
    }
  }
  // Every length up to 40, a letter changed in case or in value at every position.
  for (size_t n = 1; n <= 40; ++n) {
    std::string name;
    for (size_t i = 0; i < n; ++i) name += static_cast<char>('a' + i % 26);
    for (size_t i = 0; i < n; ++i) {
      std::string upper = name;
      upper[i] = static_cast<char>(upper[i] - 'a' + 'A');
      EXPECT_TRUE(equal(name, upper)) << n << " " << i;
      EXPECT_EQ(hash(name), hash(upper)) << n << " " << i;
      std::string other = name;
      other[i] = '0';
      EXPECT_FALSE(equal(name, other)) << n << " " << i;
    }
  }
}

// A writer going in order checks its keys when it leaves a section; a key written again there,
// or a lookup in the middle of a section, must give what checking at every key gave: the first
// spelling in its place with the value written last, and the file put together from its
// sections.
TEST(BinIniText, KeysWrittenAgainTakeTheirPlaceWhereverTheyRepeat) {
  struct Case {
    const char* Name;
    int Keys;          // keys of section S before the repeat
    bool LookUpFirst;  // a lookup on the writer before the repeat
  };
  const Case cases[] = {
      {"small section", 5, false},
      {"small section, looked up", 5, true},
      {"large section", 100, false},
      {"large section, looked up", 100, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    const std::string path = dir.File("w.ini");
    std::string expected = "[A]\r\nX=1\r\n\r\n[S]\r\n";
    {
      TBinIniFile ini(path, false, TBinIniFile::Mode::kWrite);
      ini.WriteInteger("A", "X", 1);
      for (int i = 0; i < c.Keys; ++i) ini.WriteInteger("S", "K" + std::to_string(i), i);
      if (c.LookUpFirst) {
        EXPECT_TRUE(ini.HasKey("S", "k3"));
        EXPECT_FALSE(ini.HasKey("S", "K" + std::to_string(c.Keys)));
      }
      ini.WriteString("s", "k3", "again");
      ini.WriteInteger("S", "New", 7);
      ini.WriteString("S", "K1", "twice");
      ini.WriteString("T", "Y", "2");
      ASSERT_TRUE(ini.UpdateFile());
    }
    for (int i = 0; i < c.Keys; ++i) {
      const std::string value = i == 3 ? "again" : i == 1 ? "twice" : std::to_string(i);
      expected += "K" + std::to_string(i) + "=" + value + "\r\n";
    }
    expected += "New=7\r\n\r\n[T]\r\nY=2\r\n\r\n";
    const std::vector<uint8_t> bytes = ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
  }
}

// Lines end at CR LF, LF or a lone CR; the key ends at the first "=", and a value may hold
// more; many sections, and sections of a name seen before, are found as the first one.
TEST(BinIniText, ParsesLinesAndFindsTheFirstOfManySections) {
  std::string text = "[One]\r\nA=1=2\rB = x = y \nC\r\n=v\r\n";
  for (int i = 0; i < 300; ++i)
    text += "[S" + std::to_string(i) + "]\r\nK=" + std::to_string(i) + "\r\n";
  text += "[one]\r\nA=second\r\n[s7]\r\nK=again";
  TBinIniFile ini(std::vector<uint8_t>(text.begin(), text.end()), false);
  EXPECT_EQ(ini.ReadString("ONE", "A", ""), "1=2");
  EXPECT_EQ(ini.ReadString("One", "b", ""), "x = y");
  EXPECT_TRUE(ini.HasKey("One", "C"));
  EXPECT_EQ(ini.ReadString("One", "C", "d"), "");
  EXPECT_EQ(ini.ReadString("One", "", "d"), "v");
  for (int i = 299; i >= 0; i -= 13)
    EXPECT_EQ(ini.ReadInteger("s" + std::to_string(i), "k", -1), i) << i;
  EXPECT_EQ(ini.ReadInteger("S7", "K", -1), 7);
  EXPECT_EQ(ini.SectionLine("S0"), 6);
  EXPECT_EQ(ini.KeyLine("one", "b"), 3);
  EXPECT_EQ(ini.SectionHeadings().size(), 303u);
  EXPECT_TRUE(ini.LastLineUnended());
}

// The binary form's texts read as views: ASCII and UTF-8 straight from the bytes,
// Windows-1251 and UTF-16 converted into the scratch text; a value that does not fit is the
// default.
// Lines are split eight bytes at a time: every place of the "=" and of the line break within
// a word, each kind of break (CR LF, LF, a lone CR), a "=" just after a break, non-ASCII names
// and values, blank values, repeated keys and lines far longer than a word.
TEST(BinIniText, SplitsLinesWhereverTheBreaksAndSignsFall) {
  const std::string breaks[] = {"\r\n", "\n", "\r"};
  for (int pad = 0; pad < 17; ++pad) {
    for (const std::string& br : breaks) {
      const std::string key = std::string(static_cast<size_t>(pad), 'k') + "K";
      const std::string value = std::string(static_cast<size_t>((pad * 5) % 11), 'v') + "=x";
      std::string text = std::string(static_cast<size_t>(pad % 3), ' ') + "[Sec]" + br;
      text += key + "=" + value + br;  // line 2
      text += "=after" + br;           // line 3: a key without a name
      text += "Blank=" + br;           // line 4
      text += "N" + br + "a=b" + br;   // lines 5 and 6: a "=" soon after a line without one
      text += "\xD1\xE5\xF0=\xC7\xED\xE0\xF7" + br;  // line 7: Windows-1251 name and value
      text += key + "=repeated" + br;                // line 8
      text += "Long=" + std::string(1000 + static_cast<size_t>(pad), 'L') + br;  // line 9
      text += " \tPadded\t =\t padded value \t" + br;  // line 10: blanks around all
      text += "Last = end";                            // line 11, unended
      TBinIniFile ini(std::vector<uint8_t>(text.begin(), text.end()), false);
      SCOPED_TRACE(::testing::Message() << "pad " << pad << " break " << br.size());
      EXPECT_EQ(ini.SectionLine("sec"), 1);
      EXPECT_EQ(ini.ReadString("Sec", key, "d"), value);
      EXPECT_EQ(ini.KeyLine("Sec", key), 2);
      EXPECT_EQ(ini.ReadString("Sec", "", "d"), "after");
      EXPECT_EQ(ini.ReadString("Sec", "Blank", "d"), "");
      EXPECT_EQ(ini.KeyLine("Sec", "Blank"), 4);
      EXPECT_EQ(ini.ReadString("Sec", "N", "d"), "");
      EXPECT_EQ(ini.ReadString("Sec", "A", "d"), "b");
      EXPECT_EQ(ini.KeyLine("Sec", "a"), 6);
      EXPECT_EQ(ini.ReadString("Sec", "\xD0\xA1\xD0\xB5\xD1\x80", "d"),
                "\xD0\x97\xD0\xBD\xD0\xB0\xD1\x87");
      EXPECT_EQ(ini.ReadString("Sec", "Long", "").size(), 1000u + static_cast<size_t>(pad));
      EXPECT_EQ(ini.KeyLine("Sec", "Long"), 9);
      EXPECT_EQ(ini.ReadString("Sec", "last", ""), "end");
      EXPECT_EQ(ini.ReadString("Sec", "padded", ""), "padded value");
      EXPECT_EQ(ini.LastTextLine(), 11);
      EXPECT_TRUE(ini.LastLineUnended());
      EXPECT_EQ(ini.DataSize(), text.size());
    }
  }
}

TEST(BinIniBinary, ReadsTextsAsViews) {
  std::vector<uint8_t> bytes = {kBinTagString,
                                2,
                                'a',
                                'b',
                                kBinTagString,
                                2,
                                0xD8,
                                0xE0,
                                kBinTagUtf8,
                                2,
                                0,
                                0,
                                0,
                                0xD0,
                                0xA8,
                                kBinTagWString,
                                1,
                                0,
                                0,
                                0,
                                0x28,
                                0x04,
                                kBinTagTrue};
  TBinIniFile ini(bytes, true);
  std::string scratch;
  EXPECT_EQ(ini.ReadStringView("", "", "d", scratch), "ab");
  EXPECT_EQ(ini.ReadStringView("", "", "d", scratch), "Ша");
  EXPECT_EQ(ini.ReadStringView("", "", "d", scratch), "Ш");
  EXPECT_EQ(ini.ReadString("", "", "d"), "Ш");
  EXPECT_EQ(ini.ReadStringView("", "", "d", scratch), "d");
  EXPECT_TRUE(ini.AtEnd());
}

// The hash that tells a changed project file: any one byte changed, at any place of the lanes
// or of the tail, and any length added, give another hash; the store read gives the hash of
// its bytes.
TEST(ProjectContentHash, ChangesWithAnyByteAndLength) {
  for (const size_t n :
       {size_t{0}, size_t{1}, size_t{7}, size_t{31}, size_t{32}, size_t{33}, size_t{100}}) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes += static_cast<char>('A' + i % 26);
    const size_t hash = ProjectContentHash(bytes);
    EXPECT_EQ(ProjectContentHash(std::string(bytes)), hash);
    EXPECT_NE(ProjectContentHash(bytes + '\0'), hash) << n;
    for (size_t i = 0; i < n; ++i) {
      std::string changed = bytes;
      changed[i] = static_cast<char>(changed[i] ^ 0x01);
      EXPECT_NE(ProjectContentHash(changed), hash) << n << " " << i;
    }
  }
  const std::string text = "[A]\r\nK=1\r\n";
  TBinIniFile read(std::vector<uint8_t>(text.begin(), text.end()), false);
  EXPECT_EQ(read.ContentHash(), ProjectContentHash(text));
  TBinIniFile binary(std::vector<uint8_t>(text.begin(), text.end()), true);
  EXPECT_EQ(binary.ContentHash(), ProjectContentHash(text));
}

}  // namespace
}  // namespace tarvik
