#include "project/window_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "records/assembly.h"
#include "test_files.h"

namespace tarvik {
namespace {

TEST(WindowRules, HelpNamesTheGuideAndWhyItDidNotOpen) {
  const std::string there = HelpUnavailableText("/opt/tarvik/Tarvik.pdf", true);
  EXPECT_NE(there.find("/opt/tarvik/Tarvik.pdf"), std::string::npos);
  EXPECT_NE(there.find("PDF"), std::string::npos);
  const std::string missing = HelpUnavailableText("/opt/tarvik/Tarvik.pdf", false);
  EXPECT_NE(missing.find("/opt/tarvik/Tarvik.pdf"), std::string::npos);
  EXPECT_NE(missing.find("не найдено"), std::string::npos);
  EXPECT_NE(there, missing);
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
  for (int mode = 0; mode < 4; ++mode) EXPECT_NE(NoResponseFilesText(r, mode), "") << mode;
  EXPECT_NE(NoResponseFilesText(r, 0).find("датчика"), std::string::npos);
  EXPECT_NE(NoResponseFilesText(r, 1).find("усилителя"), std::string::npos);
  EXPECT_NE(NoResponseFilesText(r, 2).find("канала"), std::string::npos);
  // A sensor file of the second channel: the sensor and chain views draw it.
  r.Channels[1].SensorResp = "s.paz";
  EXPECT_EQ(NoResponseFilesText(r, 0), "");
  EXPECT_NE(NoResponseFilesText(r, 1), "");
  EXPECT_NE(NoResponseFilesText(r, 2), "");
  EXPECT_EQ(NoResponseFilesText(r, 3), "");
}

TEST(WindowRules, AMissingResultIsNamedWithTheTabThatMakesIt) {
  const std::string prim = NoResultText("/r/prim_A.dat", false);
  EXPECT_NE(prim.find("/r/prim_A.dat"), std::string::npos);
  EXPECT_NE(prim.find("Обычные спектры"), std::string::npos);
  const std::string hv = NoResultText("/r/nak_A.dat", true);
  EXPECT_NE(hv.find("Спектры H/V"), std::string::npos);
}

}  // namespace
}  // namespace tarvik
