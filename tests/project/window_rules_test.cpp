#include "project/window_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "records/assembly.h"
#include "test_files.h"

namespace tarvik {
namespace {

TEST(WindowRules, HelpNamesTheGuideAndWhyItDidNotOpen) {
  const TStatus there = HelpUnavailableText("/opt/tarvik/Tarvik.pdf", true);
  EXPECT_EQ(there.Code, TCode::kNoPdfViewer);
  EXPECT_EQ(there.Args, std::vector<TArg>{"/opt/tarvik/Tarvik.pdf"});
  const TStatus missing = HelpUnavailableText("/opt/tarvik/Tarvik.pdf", false);
  EXPECT_EQ(missing.Code, TCode::kGuideNotFound);
  EXPECT_EQ(missing.Args, std::vector<TArg>{"/opt/tarvik/Tarvik.pdf"});
}

TEST(WindowRules, DialogsStartInTheProjectsFolderWhenItIsThere) {
  testing::TempDir dir;
  const std::string folder = dir.Path().string();
  struct Case {
    std::string Project, Current, Expected;
  };
  const Case cases[] = {
      {folder, "/elsewhere", folder},
      {folder + "/gone", "/elsewhere", "/elsewhere"},
      {"", "/elsewhere", "/elsewhere"},
      {dir.File("file"), "/elsewhere", "/elsewhere"},
  };
  testing::WriteText(dir.File("file"), "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Project);
    EXPECT_EQ(DialogStartFolder(c.Project, c.Current), c.Expected);
  }
}

TEST(WindowRules, DataFormatItemsNameEachFormatBesideItsExtension) {
  const std::vector<std::string> items = DataFormatItems();
  ASSERT_EQ(items.size(), kDataFormats.size());
  std::set<std::string> names;
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(items[i]);
    const std::string ext = "(" + std::string(kDataFormats[i]) + ")";
    ASSERT_GT(items[i].size(), ext.size() + 1);
    EXPECT_EQ(items[i].substr(items[i].size() - ext.size()), ext);
    names.insert(items[i].substr(0, items[i].size() - ext.size()));
  }
  EXPECT_EQ(names.size(), items.size());
  EXPECT_EQ(items[7], "MiniSEED (.msd)");
}

TEST(WindowRules, EmptyResponseViewsSayWhichFilesAreMissing) {
  TFileRecord r;
  r.Channels.resize(2);
  // Nothing set: every view says so.
  const TCode none[] = {TCode::kNoSensorFiles, TCode::kNoAmplifierFiles, TCode::kNoChannelFiles,
                        TCode::kNoResponseFiles};
  for (int mode = 0; mode < 4; ++mode) EXPECT_EQ(NoResponseFilesText(r, mode).Code, none[mode]);
  // A sensor file of the second channel: the sensor and chain views draw it.
  r.Channels[1].SensorResp = "s.paz";
  EXPECT_TRUE(NoResponseFilesText(r, 0).Ok());
  EXPECT_EQ(NoResponseFilesText(r, 1).Code, TCode::kNoAmplifierFiles);
  EXPECT_EQ(NoResponseFilesText(r, 2).Code, TCode::kNoChannelFiles);
  EXPECT_TRUE(NoResponseFilesText(r, 3).Ok());
}

TEST(WindowRules, AMissingResultIsNamedWithTheTabThatMakesIt) {
  const TStatus prim = NoResultText("/r/prim_A.dat", false);
  EXPECT_EQ(prim.Code, TCode::kNoResultFile);
  EXPECT_EQ(prim.File, "/r/prim_A.dat");
  EXPECT_EQ(prim.Args, (std::vector<TArg>{"/r/prim_A.dat", MakeStatus(TCode::kPrimaryTab)}));
  const TStatus hv = NoResultText("/r/nak_A.dat", true);
  EXPECT_EQ(hv.Args, (std::vector<TArg>{"/r/nak_A.dat", MakeStatus(TCode::kHVTab)}));
}

}  // namespace
}  // namespace tarvik
