#include <gtest/gtest.h>

#include <locale.h>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "common/number_text.h"
#include "common/paths.h"
#include "common/rounding.h"
#include "common/text_encoding.h"
#include "test_files.h"

namespace tarvik {
namespace {

TEST(TextEncoding, RussianTextRoundTrips) {
  const std::string utf8 = "Расчет спектров завершен №1 «ё»";
  const std::string cp = Utf8ToCp1251(utf8);
  // One byte per character in the code page.
  EXPECT_EQ(cp.size(), 31u);
  EXPECT_EQ(static_cast<unsigned char>(cp[0]), 0xD0);   // Р
  EXPECT_EQ(static_cast<unsigned char>(cp[25]), 0xB9);  // №
  EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
}

TEST(TextEncoding, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    if (b != 0x98) all += static_cast<char>(b);  // 0x98 has no character
  }
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(TextEncoding, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD"), "a?");  // a CJK character
  EXPECT_EQ(Utf8ToCp1251("a\xC3"), "a?");          // cut in the middle
  EXPECT_EQ(Utf8ToCp1251("\xFF"
                         "b"),
            "?b");  // not UTF-8 at all
  EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
}

TEST(TextEncoding, FirstCharacterTheCodePageLacks) {
  struct Case {
    const char* Text;
    const char* First;
  };
  for (const Case& c : {Case{"/data/станция ЁЪ №5/x.msd", ""}, Case{"a?b", ""},
                        Case{"/data/\xE8\xA6\xB3\xE6\xB8\xAC/x.msd", "\xE8\xA6\xB3"},
                        Case{"caf\xC3\xA9 \xE2\x82\xAC", "\xC3\xA9"},  // é, then the euro sign
                        Case{"\xF0\x9F\x8C\x8B", "\xF0\x9F\x8C\x8B"}, Case{"a\xC3", "\\xC3"},
                        Case{"\xFF", "\\xFF"}}) {
    EXPECT_EQ(FirstCharacterNotInCp1251(c.Text), c.First) << c.Text;
    // Whatever it accepts converts and reads back unchanged.
    if (*c.First == '\0') {
      EXPECT_EQ(Cp1251ToUtf8(Utf8ToCp1251(c.Text)), c.Text);
    }
  }
}

TEST(TextEncoding, TrimAndUpper) {
  EXPECT_EQ(Trim("  BHZ \r\n"), "BHZ");
  EXPECT_EQ(Trim(std::string("AB\0\0", 4)), "AB");
  EXPECT_EQ(TrimRight("  x  "), "  x");
  EXPECT_EQ(AsciiUpper("x.ugr2"), "X.UGR2");
}

TEST(TextEncoding, SplitLinesEndsAtLfOrCrLf) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(SplitLines("a\r\nb\n\nc"), (Lines{"a", "b", "", "c"}));
  EXPECT_EQ(SplitLines("x\n"), (Lines{"x"}));  // a final line end opens no empty line
  EXPECT_EQ(SplitLines("\r\n"), (Lines{""}));
  EXPECT_EQ(SplitLines("lone\rcr"), (Lines{"lone\rcr"}));  // a CR alone does not end a line
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(NumberText, WholeFieldsOnlyAndNeverTheLocale) {
  // A host that switches LC_NUMERIC to a decimal comma must not change how files read.
  const char* switched = setlocale(LC_NUMERIC, "ru_RU.UTF-8");
  const struct {
    const char* Text;
    std::optional<double> Real;
    std::optional<int64_t> Whole;
  } cases[] = {
      {"1.5", 1.5, std::nullopt},
      {"+1.5E+03", 1500.0, std::nullopt},
      {"-.25", -0.25, std::nullopt},
      {"42", 42.0, 42},
      {"+7", 7.0, 7},
      {"-2147483649", -2147483649.0, -2147483649},
      {"1,5", std::nullopt, std::nullopt},
      {"+-1", std::nullopt, std::nullopt},
      {"inf", std::nullopt, std::nullopt},
      {"nan", std::nullopt, std::nullopt},
      {"1e999", std::nullopt, std::nullopt},
      {" 1", std::nullopt, std::nullopt},
      {"1 ", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"+", std::nullopt, std::nullopt},
      {"0x10", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDouble(c.Text), c.Real) << c.Text;
    EXPECT_EQ(ParseInt64(c.Text), c.Whole) << c.Text;
  }
  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_EQ(ParseInt32("2147483648"), std::nullopt);  // out of range, not wrapped

  // A number leading a longer text: how much of it was the number.
  const struct {
    const char* Text;
    std::optional<double> Value;
    size_t Consumed;
  } leading[] = {
      {"1.585 uV", 1.585, 5},   {"+2.5e3x", 2500.0, 6},
      {"-.5;", -0.5, 3},        {"7", 7.0, 1},
      {"1,5", 1.0, 1},          {"uV", std::nullopt, 0},
      {"+-1", std::nullopt, 0}, {"", std::nullopt, 0},
      {"inf", std::nullopt, 0}, {"1e999", std::nullopt, 0},
  };
  for (const auto& c : leading) {
    size_t consumed = 0;
    EXPECT_EQ(ParseLeadingDouble(c.Text, &consumed), c.Value) << c.Text;
    EXPECT_EQ(consumed, c.Consumed) << c.Text;
  }
  if (switched != nullptr) setlocale(LC_NUMERIC, "C");
}

TEST(Rounding, TiesToEvenAndClamping) {
  EXPECT_EQ(RoundHalfEven(2.5), 2.0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
  EXPECT_EQ(RoundHalfEven(3.5), 4.0);
  EXPECT_EQ(RoundToInt32Clamped(3e9), 2147483647);
  EXPECT_EQ(RoundToInt32Clamped(-3e9), -2147483647 - 1);
  EXPECT_EQ(RoundToInt32Clamped(std::nan("")), 0);
  EXPECT_EQ(RoundToInt64(1e30), INT64_MAX);
  EXPECT_EQ(ClampToInt32(int64_t{1} << 40), 2147483647);
}

struct MaskCase {
  const char* Name;
  const char* Mask;
  bool Match;
};

class Masks : public ::testing::TestWithParam<MaskCase> {};

TEST_P(Masks, MatchLikeWindows) {
  EXPECT_EQ(MatchMask(GetParam().Name, GetParam().Mask), GetParam().Match)
      << GetParam().Name << " ~ " << GetParam().Mask;
}

INSTANTIATE_TEST_SUITE_P(Files, Masks,
                         ::testing::Values(MaskCase{"a.msd", "*.msd", true},
                                           MaskCase{"A.MSD", "*.msd", true},
                                           MaskCase{"a.mseed", "*.msd", false},
                                           MaskCase{"225051000_00008656", "?????????_*", true},
                                           MaskCase{"22505100_00008656", "?????????_*", false},
                                           MaskCase{"ABCDEFGHIZ1.ugr2", "?????????Z*.ugr*", true},
                                           MaskCase{"ABCDEFGHIN1.ugr2", "?????????Z*.ugr*", false},
                                           MaskCase{"stationXu01", "????????u*.*", true},
                                           MaskCase{"stationXu01.dat", "????????u*.*", true},
                                           MaskCase{"x.wfdisc", "*.wfd*", true},
                                           MaskCase{"", "*", true}, MaskCase{"abc", "a*c*", true},
                                           MaskCase{"abd", "a*c", false}));

TEST(Paths, PartsOfAPath) {
  EXPECT_EQ(FileExtension("/data/x.y/file.MSD"), ".MSD");
  EXPECT_EQ(FileExtension("/data/x.y/file"), "");
  EXPECT_EQ(FileName("/data/file.msd"), "file.msd");
  EXPECT_EQ(FolderOf("/data/file.msd"), "/data");
  EXPECT_EQ(FolderOf("/file.msd"), "/");
  EXPECT_EQ(FolderOf("file.msd"), "");
  EXPECT_EQ(ReplaceExtension("/d/head.sl", ".00"), "/d/head.00");
  EXPECT_EQ(ReplaceExtension("/d.x/head", ".01"), "/d.x/head.01");
#ifndef _WIN32
  EXPECT_EQ(NativePath("C:\\data\\set\\a.w"), "C:/data/set/a.w");
  EXPECT_EQ(JoinPath("/d", "a"), "/d/a");
#endif
}

TEST(Paths, ListFolderIsSortedAndFiltered) {
  testing::TempDir dir;
  for (const char* name : {"b.msd", "a.MSD", "c.gcf", "d.msd"}) {
    testing::WriteText(dir.File(name), "x");
  }
  std::filesystem::create_directory(dir.Path() / "sub.msd");
  const auto files = ListFolder(dir.Path().string(), "*.msd");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(FileName(files[0]), "a.MSD");
  EXPECT_EQ(FileName(files[1]), "b.msd");
  EXPECT_EQ(FileName(files[2]), "d.msd");
  EXPECT_TRUE(ListFolder((dir.Path() / "missing").string(), "*").empty());
}

}  // namespace
}  // namespace tarvik
