#include "spectral/quiet_search_reason.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvik {
namespace {

TFileRecord TwoChannels(int32_t level0, int32_t level1) {
  TFileRecord r;
  r.Channels.resize(2);
  r.Channels[0].Channel = "EHZ";
  r.Channels[1].Channel = "EHN";
  r.Channels[0].Level = level0;
  r.Channels[1].Level = level1;
  return r;
}

TEST(QuietSearchReason, NamesUnsetLevelsThenExceededLevelsThenTheSpan) {
  // Channel 1 rises from -5 to 4, channel 2 stays at 0.
  TData32 samples(2, std::vector<int32_t>(10, 0));
  for (int i = 0; i < 10; ++i) samples[0][static_cast<size_t>(i)] = i - 5;
  const std::vector<int> both = {0, 1};
  struct Case {
    int32_t Level0, Level1;
    std::vector<int> Channels;
    int64_t First, Last;
    TCode Code;
    std::string Reason;
  };
  for (const Case& c : {
           Case{-1, 0, both, 0, 9, TCode::kLevelNotSet,
                "не задан допустимый уровень: канал 1 (EHZ) = -1, канал 2 (EHN) = 0"},
           Case{100, -1, both, 0, 9, TCode::kLevelNotSet,
                "не задан допустимый уровень: канал 2 (EHN) = -1"},
           // Moved one count toward zero, -5 and -4 exceed 2 (|−4|, |−3|), as do 4 (|3|).
           Case{2, 100, both, 0, 9, TCode::kLevelExceeded,
                "уровень 2 канала 1 (EHZ) превышен в отсчетах: 3 из 10"},
           Case{2, 100, both, 5, 20, TCode::kLevelExceeded,
                "уровень 2 канала 1 (EHZ) превышен в отсчетах: 1 из 5"},
           // 0 counts as -1, so a level of 0 is unset and a level of 1 keeps it quiet.
           Case{100, 1, both, 0, 9, TCode::kInSelectedInterval,
                "в выбранном интервале отсчетов: 10, в сегменте: 16"},
           Case{1,
                1,
                {1},
                2,
                5,
                TCode::kInSelectedInterval,
                "в выбранном интервале отсчетов: 4, в сегменте: 16"},
       }) {
    const TStatus reason = NoQuietIntervalReason(TwoChannels(c.Level0, c.Level1), samples,
                                                 c.Channels, c.First, c.Last, 16);
    EXPECT_EQ(reason.Code, c.Code) << c.Reason;
    EXPECT_EQ(Text(reason, TLanguage::kRussian), c.Reason);
    EXPECT_FALSE(Text(reason, TLanguage::kEnglish).empty());
  }
}

TEST(QuietSearchReason, TwoChannelsOverTheirLevelsAreToldOneAfterTheOther) {
  TData32 samples(2, std::vector<int32_t>(10, 50));
  const std::vector<int> both = {0, 1};
  const TStatus reason = NoQuietIntervalReason(TwoChannels(2, 3), samples, both, 0, 9, 16);
  EXPECT_EQ(reason.Code, TCode::kJoinedSemicolon);
  EXPECT_EQ(Text(reason, TLanguage::kRussian),
            "уровень 2 канала 1 (EHZ) превышен в отсчетах: 10 из 10; "
            "уровень 3 канала 2 (EHN) превышен в отсчетах: 10 из 10");
}

}  // namespace
}  // namespace tarvik
