#include "project/settings_keys.h"

#include <gtest/gtest.h>

#include <string>

#include "project/project_file.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

TEST(SettingsKeys, ValuesOfTheControls) {
  TProject p;
  p.Folder = "/work/site";
  const struct {
    int Set;
    const char* Key;
    const char* Value;
    const char* Shown;  // as printed afterwards; nullptr: refused
  } cases[] = {
      {0, "SilenceDur", "60", "60"},
      {0, "silencedur", "20.37", "20.37"},
      {0, "SilenceDur", "0.5", nullptr},     // below 1
      {0, "SilenceDur", "20.005", nullptr},  // between two steps of 0.01
      {0, "SilenceDur", "10001", nullptr},
      {0, "SpectrumType", "1", "1"},
      {0, "SpectrumType", "2", nullptr},
      {0, "WindowType", "5", "5"},
      {0, "WindowType", "8", nullptr},
      {0, "WindowType", "4.5", nullptr},
      {0, "B", "8", "8"},
      {0, "B", "8.25", nullptr},
      {0, "B", "-0.1", nullptr},
      {0, "NoiseFiletr", "1", "1"},
      {0, "NoiseFiletr", "on", "1"},
      {0, "NoiseFiletr", "2", nullptr},
      {0, "NoiseFiletr1", "1", nullptr},  // a key of the event set
      {1, "NoiseFiletr1", "1", "1"},
      {1, "NoiseOrder", "12", "12"},
      {1, "NoiseOrder", "13", nullptr},
      {0, "NoiseDur", "7", "7"},
      {0, "NoiseDur", "7.5", nullptr},
      {0, "DanielWin", "0", nullptr},
      {0, "FMax", "999999.9", "999999.9"},
      {0, "FMax", "1000000.05", nullptr},
      {0, "EdgeOrder", "abc", nullptr},
      {0, "MaxSpan", "100", "100"},
      {0, "MaxSpan", "1000", nullptr},
      {0, "SampRateDefault", "100", "100"},
      {0, "SampRateDefault", "0.5", nullptr},
      {0, "RecognizeComponent", "0", "0"},
      {0, "DataFormat", ".msd", "7"},
      {0, "DataFormat", "11", nullptr},
      {0, "ResultDir", "results", "/work/site/results"},
      {0, "ResultDir", "$CommonDir/out", "/work/site/out"},
      {0, "ResultDir", "/data/out", "/data/out"},
      {0, "FillByZero", "1", nullptr},  // not kept in the project file
      {0, "Nonsense", "1", nullptr},
  };
  for (const auto& c : cases) {
    TProject q = p;
    TStatus error;
    const bool ok = ApplySetting(q, c.Set, c.Key, c.Value, &error);
    const std::string told = Text(error, TLanguage::kEnglish);
    ASSERT_EQ(ok, c.Shown != nullptr) << c.Key << "=" << c.Value << ": " << told;
    EXPECT_EQ(q.Modified, ok) << c.Key;
    if (!ok) {
      // The refusal names the key and the value, and the range when there is one.
      EXPECT_NE(told.find(c.Key), std::string::npos) << told;
      if (const TSettingKey* key = FindSettingKey(c.Key, c.Set)) {
        EXPECT_NE(told.find(SettingRangeText(*key)), std::string::npos) << told;
      } else {
        EXPECT_TRUE(error.Code == TCode::kNoSuchSetting || error.Code == TCode::kSettingOfEvents)
            << told;
      }
      continue;
    }
    EXPECT_EQ(SettingValueText(q, c.Set, *FindSettingKey(c.Key, c.Set)), c.Shown) << c.Key;
  }
  TProject q = p;
  ApplySetting(q, 0, "SampRateDefault", "100", nullptr);
  EXPECT_EQ(q.WorkingRate, 100);
  EXPECT_EQ(SettingRangeText(*FindSettingKey("SilenceDur", 0)), "1..10000, step 0.01");
  TStatus error;
  ApplySetting(q, 0, "B", "100.5", &error);
  EXPECT_EQ(error.Code, TCode::kSettingOutside);
  EXPECT_EQ(error.Args, (std::vector<TArg>{
                            "B=100.5", MakeStatus(TCode::kSettingRangeStep, {"0", "100", "0.1"})}));
  ApplySetting(q, 0, "EdgeEffect", "maybe", &error);
  EXPECT_EQ(error.Code, TCode::kSettingNotFlag);
  ApplySetting(q, 0, "NoiseFiletr1", "1", &error);
  EXPECT_EQ(error.Code, TCode::kSettingOfEvents);
  ApplySetting(q, 0, "EdgeOrder", "abc", &error);
  EXPECT_EQ(error.Code, TCode::kSettingNotNumber);
}

// Each key set to a value other than its default comes back from the project file under the
// same key, in both forms: the table and the file agree.
TEST(SettingsKeys, EveryKeySurvivesTheProjectFile) {
  TempDir dir;
  for (int form = 0; form < 2; ++form) {
    TProject p;
    p.Folder = dir.Path().string();
    for (int set = 0; set < kSettingsSetCount; ++set) {
      for (const TSettingKey& key : SettingKeys()) {
        if (key.General && set != kMicroseismSet) continue;
        const std::string name = SettingKeyName(key, set);
        std::string value;
        if (key.Type == TSettingType::kFolder) {
          value = "out";
        } else if (key.Type == TSettingType::kBool) {
          value = SettingValueText(p, set, key) == "1" ? "0" : "1";
        } else {
          // The set's own value, neither the default nor the other set's.
          const double step = key.Step > 0 ? key.Step : 1;
          const std::string defaults = SettingValueText(TProject{}, set, key);
          int skip = key.General ? 0 : set;
          for (double v : {key.Max, key.Max - step, key.Min, key.Min + step}) {
            value = FormatProjectFloat(v);
            if (value != defaults && skip-- == 0) break;
          }
        }
        TStatus error;
        ASSERT_TRUE(ApplySetting(p, set, name, value, &error)) << CodeName(error.Code);
      }
    }
    RecordingUiHost host;
    const std::string file = dir.File("p" + std::to_string(form) + ".tvp");
    ASSERT_TRUE(SaveProject(p, file, form, host).Ok);
    TProject back;
    ASSERT_EQ(LoadProject(back, file, host), LoadStatus::kLoaded);
    for (int set = 0; set < kSettingsSetCount; ++set) {
      for (const TSettingKey& key : SettingKeys()) {
        EXPECT_EQ(SettingValueText(back, set, key), SettingValueText(p, set, key))
            << SettingKeyName(key, set) << " form " << form;
        EXPECT_NE(SettingValueText(back, set, key), SettingValueText(TProject{}, set, key))
            << SettingKeyName(key, set);
      }
    }
  }
}

TEST(SettingsKeys, DefaultsRestoreOneSet) {
  TProject p;
  ApplySetting(p, 1, "SilenceDur", "60", nullptr);
  ApplySetting(p, 0, "SilenceDur", "30", nullptr);
  ApplySetting(p, 0, "MaxSpan", "30", nullptr);
  p.Modified = false;
  RestoreSettingDefaults(p, 1);
  EXPECT_TRUE(p.Modified);
  EXPECT_EQ(p.Settings[kEventSet].SilenceDur, 20);
  EXPECT_EQ(p.Settings[kEventSet].EstimationType, TEstimationType::kDaniell);
  EXPECT_EQ(p.Settings[kMicroseismSet].SilenceDur, 30);
  EXPECT_EQ(p.General.MaxSpan, 30);
}

// A filter's corners out of order filter nothing: refused in either pair, with the keys of the
// set named.
TEST(SettingsKeys, FilterCornersMustComeInOrder) {
  const struct {
    int Set;
    double Fmin, Fmax, NoiseFmin, NoiseFmax;
    std::vector<TArg> Problem;  // the arguments of kFilterPairOrder; none when in order
  } cases[] = {
      {0, 0.1, 100, 0.1, 100, {}},
      {0, 50, 1, 0.1, 100, {MakeStatus(TCode::kEdgeEffectFilter), "FMin", "50", "FMax", "1"}},
      {0, 5, 5, 0.1, 100, {MakeStatus(TCode::kEdgeEffectFilter), "FMin", "5", "FMax", "5"}},
      {1,
       0.1,
       100,
       20,
       10,
       {MakeStatus(TCode::kNoiseFilter), "NoiseFMin1", "20", "NoiseFMax1", "10"}},
  };
  for (const auto& c : cases) {
    TSpectrumSettings s;
    s.FMin = c.Fmin;
    s.FMax = c.Fmax;
    s.NoiseFMin = c.NoiseFmin;
    s.NoiseFMax = c.NoiseFmax;
    const TStatus problem = FilterPairProblem(s, c.Set);
    EXPECT_EQ(problem.Code, c.Problem.empty() ? TCode::kOk : TCode::kFilterPairOrder);
    EXPECT_EQ(problem.Args, c.Problem);
  }
  // One pair alone: the other's disorder is not this edit's business.
  TSpectrumSettings s;
  s.NoiseFMin = 20;
  s.NoiseFMax = 10;
  EXPECT_TRUE(FilterPairProblem(s, 0, kEdgeFilterPair).Ok());
  EXPECT_FALSE(FilterPairProblem(s, 0, kNoiseFilterPair).Ok());
}

// What a run says of the filters a set switches on, at a record's rate: nothing while a filter
// is off, a note when its upper corner lies at or above the Nyquist frequency, a failure when
// the band left is empty.
TEST(SettingsKeys, FiltersCheckedAgainstTheRecordsRate) {
  const struct {
    bool Edge, Noise;
    int32_t Estimation;
    double Fmin, Fmax, Rate;
    bool Fails;
    std::vector<TArg> Said;  // the arguments of the failure or the note; none for nothing said
  } cases[] = {
      {false, false, 1, 50, 1, 100, false, {}},
      {true, false, 1, 0.1, 20, 100, false, {}},
      {true,
       false,
       1,
       0.1,
       100,
       100,
       false,
       {"FMax", "100", "50", MakeStatus(TCode::kEdgeEffectFilter), "49.5"}},
      {true,
       false,
       1,
       50,
       1,
       100,
       true,
       {MakeStatus(TCode::kEdgeEffectFilter),
        MakeStatus(TCode::kFilterCorners, {"FMin", "50", "FMax", "1"})}},
      // FMin below FMax, but at or above 0.99 of the Nyquist frequency.
      {true,
       false,
       1,
       49.6,
       200,
       100,
       true,
       {MakeStatus(TCode::kEdgeEffectFilter),
        MakeStatus(TCode::kFilterCornersNyquist, {"FMin", "49.6", "FMax", "200", "50"})}},
      // The noise filter works for the Bartlett estimate only.
      {false, true, 0, 0.1, 100, 100, false, {}},
      {false,
       true,
       1,
       0.1,
       100,
       100,
       false,
       {"NoiseFMax", "100", "50", MakeStatus(TCode::kNoiseFilter), "49.5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Fmin);
    TSpectrumSettings s;
    s.EdgeEffect = c.Edge;
    s.NoiseFilter = c.Noise;
    s.EstimationType = static_cast<TEstimationType>(c.Estimation);
    s.FMin = c.Fmin;
    s.FMax = c.Fmax;
    const TFilterCheck check = CheckFilters(s, c.Rate);
    EXPECT_EQ(check.Failure.Ok(), !c.Fails);
    const TStatus& said = c.Fails ? check.Failure : check.Note;
    if (c.Said.empty()) {
      EXPECT_TRUE(check.Failure.Ok() && check.Note.Ok());
    } else {
      EXPECT_EQ(said.Code, c.Fails ? TCode::kFilterBandEmpty : TCode::kFilterAboveNyquist);
      EXPECT_EQ(said.Args, c.Said);
    }
  }
}

// SilenceDur is brought to a power of two samples unless the segment is zero-filled or the
// ordinary transform is used: the length named is the one the calculation uses.
TEST(SettingsKeys, WindowLengthIsTheOneTheCalculationUses) {
  const struct {
    double Silence, Rate;
    bool Fft, Zeros;
    int32_t Samples, Transform;
    bool Rounded;
  } cases[] = {
      {60, 100, true, false, 8192, 8192, true},     {20, 100, true, false, 2048, 2048, true},
      {20.48, 100, true, false, 2048, 2048, false}, {60, 100, true, true, 6000, 8192, false},
      {60, 100, false, false, 6000, 6000, false},   {60, 250, true, false, 16384, 16384, true},
  };
  for (const auto& c : cases) {
    TSpectrumSettings s;
    s.SilenceDur = c.Silence;
    s.UseFFT = c.Fft;
    s.FillByZero = c.Zeros;
    const TWindowLength w = WindowLengthUsed(s, c.Rate);
    EXPECT_EQ(w.Samples, c.Samples) << c.Silence << " " << c.Rate;
    EXPECT_EQ(w.Transform, c.Transform);
    EXPECT_DOUBLE_EQ(w.Seconds, c.Samples / c.Rate);
    EXPECT_EQ(w.Rounded, c.Rounded);
    EXPECT_TRUE(w.Error.Ok());
  }
  TSpectrumSettings s;
  s.SilenceDur = 1;
  EXPECT_EQ(WindowLengthUsed(s, 1).Error.Code, TCode::kSegmentTooShort);  // one sample
  EXPECT_EQ(WindowLengthUsed(s, 1).Samples, 0);
  EXPECT_EQ(WindowLengthUsed(s, 0).Error.Code, TCode::kRateNotSet);
  EXPECT_EQ(WindowLengthUsed(s, 0).Samples, 0);
}

TEST(SettingsKeys, ResultFolderTheProjectFileCannotHoldIsRefused) {
  TProject p;
  p.Folder = "/work/site";
  p.General.ResultDir = "/work/site/results";
  TStatus error;
  EXPECT_FALSE(ApplySetting(p, 0, "ResultDir", "/work/Zürich", &error));
  EXPECT_EQ(error.Code, TCode::kNotInCp1251);
  ASSERT_EQ(error.Args.size(), 3u);
  EXPECT_EQ(error.Args[2].Text, "ü");
  EXPECT_EQ(p.General.ResultDir, "/work/site/results");
  EXPECT_FALSE(p.Modified);
}

}  // namespace
}  // namespace tarvik
