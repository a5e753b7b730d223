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
    int set;
    const char* key;
    const char* value;
    const char* shown;  // as printed afterwards; nullptr: refused
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
    std::string error;
    const bool ok = ApplySetting(q, c.set, c.key, c.value, &error);
    ASSERT_EQ(ok, c.shown != nullptr) << c.key << "=" << c.value << ": " << error;
    EXPECT_EQ(q.Modified, ok) << c.key;
    if (!ok) {
      // The refusal names the key and the value, and the range when there is one.
      EXPECT_NE(error.find(c.key), std::string::npos) << error;
      if (const TSettingKey* key = FindSettingKey(c.key, c.set)) {
        EXPECT_NE(error.find(SettingRangeText(*key)), std::string::npos) << error;
      }
      continue;
    }
    EXPECT_EQ(SettingValueText(q, c.set, *FindSettingKey(c.key, c.set)), c.shown) << c.key;
  }
  TProject q = p;
  ApplySetting(q, 0, "SampRateDefault", "100", nullptr);
  EXPECT_EQ(q.WorkingRate, 100);
  EXPECT_EQ(SettingRangeText(*FindSettingKey("SilenceDur", 0)), "1..10000, step 0.01");
  std::string error;
  ApplySetting(q, 0, "B", "100.5", &error);
  EXPECT_EQ(error, "B=100.5: outside 0..100, step 0.1");
}

// Each key set to a value other than its default comes back from the project file under the
// same key, in both forms: the table and the file agree.
TEST(SettingsKeys, EveryKeySurvivesTheProjectFile) {
  TempDir dir;
  for (int form = 0; form < 2; ++form) {
    TProject p;
    p.Folder = dir.path().string();
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
        std::string error;
        ASSERT_TRUE(ApplySetting(p, set, name, value, &error)) << error;
      }
    }
    RecordingUiHost host;
    const std::string file = dir.File("p" + std::to_string(form) + ".tvp");
    ASSERT_TRUE(SaveProject(p, file, form, host).ok);
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
  EXPECT_EQ(p.Settings[kEventSet].EstimationType, 0);
  EXPECT_EQ(p.Settings[kMicroseismSet].SilenceDur, 30);
  EXPECT_EQ(p.General.MaxSpan, 30);
}

}  // namespace
}  // namespace tarvik
