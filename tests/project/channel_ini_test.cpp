#include "project/channel_ini.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_encoding.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

TFileRecord Rec(int channels) {
  TFileRecord r;
  r.Station = "ST";
  r.Channels.resize(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    r.Channels[c].Channel = "C" + std::to_string(c + 1);
    r.Channels[c].Axis = static_cast<Component>(Component::kZ);
  }
  return r;
}

std::string Text(const std::string& path) {
  const std::vector<uint8_t> b = testing::ReadBytes(path);
  return std::string(b.begin(), b.end());
}

TEST(ChannelIni, NameGetsIniUnlessItHasIt) {
  EXPECT_EQ(ChannelIniName("/a/set"), "/a/set.ini");
  EXPECT_EQ(ChannelIniName("/a/set.INI"), "/a/set.INI");
  EXPECT_EQ(ChannelIniName("/a/set.txt"), "/a/set.txt.ini");
  EXPECT_EQ(ChannelIniName("/a.ini/set"), "/a.ini/set.ini");
}

// Paths in the project folder travel as "$CommonDir", so that another project folder finds
// its own copies of the response files.
TEST(ChannelIni, ToAndFromAFileWithCommonDir) {
  TempDir dir;
  TProject from;
  from.Folder = dir.File("site1");
  from.Records = {Rec(3)};
  TFileRecord& r = from.Records[0];
  r.Channels[0].SensorResp = dir.File("site1/resp/geo.paz");
  r.Channels[0].AmplifierResp = "/elsewhere/amp.rsp";
  r.Channels[2].ChannelResp = dir.File("site1/resp/chan.rsp");
  r.Channels[0].Axis = static_cast<Component>(Component::kE);
  r.Channels[1].Axis = static_cast<Component>(Component::kN);
  const TRecordOpResult written = ChannelsToIni(from, 0, dir.File("set"));
  ASSERT_TRUE(written.Done) << CodeName(written.Status.Code);
  EXPECT_EQ(written.Written, dir.File("set.ini"));
  EXPECT_EQ(Text(dir.File("set.ini")),
            "[REC00]\r\n"
            "SensorResp01=$CommonDir/resp/geo.paz\r\n"
            "AmplifierResp01=/elsewhere/amp.rsp\r\n"
            "ChannelResp01=\r\n"
            "Axis01=0\r\n"
            "SensorResp02=\r\n"
            "AmplifierResp02=\r\n"
            "ChannelResp02=\r\n"
            "Axis02=1\r\n"
            "SensorResp03=\r\n"
            "AmplifierResp03=\r\n"
            "ChannelResp03=$CommonDir/resp/chan.rsp\r\n"
            "Axis03=2\r\n");
  EXPECT_FALSE(from.Modified);

  TProject to;
  to.Folder = dir.File("site2");
  to.Records = {Rec(3), Rec(2), Rec(3)};
  to.Records[1].Channels[1].SensorResp = "keep";
  const TRecordOpResult read = ChannelsFromIni(to, {0, 1}, 0, dir.File("set.ini"));
  ASSERT_TRUE(read.Done) << CodeName(read.Status.Code);
  EXPECT_TRUE(to.Modified);
  EXPECT_EQ(to.Records[0].Channels[0].SensorResp, dir.File("site2/resp/geo.paz"));
  EXPECT_EQ(to.Records[0].Channels[2].ChannelResp, dir.File("site2/resp/chan.rsp"));
  EXPECT_EQ(to.Records[0].Channels[0].AmplifierResp, "/elsewhere/amp.rsp");
  EXPECT_EQ(to.Records[0].Channels[1].Axis, Component::kN);
  EXPECT_EQ(to.Records[1].Channels[0].SensorResp, dir.File("site2/resp/geo.paz"));
  EXPECT_EQ(to.Records[1].Channels[1].SensorResp, "");  // the file's value for channel 2
  EXPECT_EQ(to.Records[2].Channels[0].SensorResp, "");  // not selected
  // The response files are not in site2: the user is told, the values are kept. Record 2 has
  // no channel 3 for the file's third channel: named too.
  ASSERT_EQ(read.Warnings.size(), 4u);
  EXPECT_EQ(read.Warnings[0].Code, TCode::kChannelSettingsNotApplied);
  EXPECT_EQ(read.Warnings[0].Record, 1);
  EXPECT_EQ(read.Warnings[0].Args, (std::vector<TArg>{"3", dir.File("set.ini"),
                                                      MakeStatus(TCode::kRecordLower, {"2", "ST"}),
                                                      MakeStatus(TCode::kItHasChannels, {"2"})}));
}

// The values come for as many channels as the record shown has; channels of other records
// beyond that keep theirs.
TEST(ChannelIni, ExtraChannelsKeepTheirValues) {
  TempDir dir;
  testing::WriteText(dir.File("two.ini"),
                     "[REC00]\nSensorResp01=/a.rsp\nAxis01=0\nSensorResp02=/b.rsp\n"
                     "SensorResp03=/c.rsp\nAxis03=0\n");
  TProject p;
  p.Records = {Rec(2), Rec(4)};
  p.Records[1].Channels[2].SensorResp = "/old3.rsp";
  p.Records[1].Channels[2].Axis = static_cast<Component>(Component::kN);
  p.Records[1].Channels[3].ChannelResp = "/old4.rsp";
  ASSERT_TRUE(ChannelsFromIni(p, {0, 1}, 0, dir.File("two.ini")).Done);
  EXPECT_EQ(p.Records[1].Channels[0].SensorResp, "/a.rsp");
  EXPECT_EQ(p.Records[1].Channels[0].Axis, Component::kE);
  EXPECT_EQ(p.Records[1].Channels[1].SensorResp, "/b.rsp");
  EXPECT_EQ(p.Records[1].Channels[1].Axis, Component::kZ);  // no Axis02: Z
  EXPECT_EQ(p.Records[1].Channels[2].SensorResp, "/old3.rsp");
  EXPECT_EQ(p.Records[1].Channels[2].Axis, Component::kN);
  EXPECT_EQ(p.Records[1].Channels[3].ChannelResp, "/old4.rsp");
}

// A file that is no channel-settings file would read as empty paths and Z everywhere: it is
// refused with its name, and nothing changes.
TEST(ChannelIni, FilesWithoutChannelSettingsAreRefused) {
  TempDir dir;
  const struct {
    const char* Text;
    bool Refused;
  } cases[] = {
      {"garbage", true},
      {"", true},
      {"[REC00]\r\n", true},
      {"[REC01]\r\nSensorResp01=/a.rsp\r\n", true},
      {"[REC00]\r\nSensor01=/a.rsp\r\nNote=x\r\n", true},
      {"[rec00]\naxis03=0\n", false},
      {"[REC00]\nChannelResp01=\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    testing::WriteText(dir.File("bad.ini"), c.Text);
    TProject p;
    p.Records = {Rec(3), Rec(3)};
    p.Records[0].Channels[0].SensorResp = p.Records[1].Channels[2].ChannelResp = "/keep.rsp";
    p.Records[0].Channels[0].Axis = static_cast<Component>(Component::kE);
    const TProject before = p;
    const TRecordOpResult r = ChannelsFromIni(p, {0, 1}, 0, dir.File("bad.ini"));
    EXPECT_EQ(r.Done, !c.Refused);
    if (!c.Refused) continue;
    EXPECT_EQ(r.Status.Code, TCode::kNotChannelSettings);
    EXPECT_EQ(r.Status.Args, (std::vector<TArg>{dir.File("bad.ini"), "REC00"}));
    EXPECT_FALSE(p.Modified);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_TRUE(p.Records[i].Channels == before.Records[i].Channels);
    }
  }
}

// Channels the file says nothing about keep what they had; the file's channels that a record
// does not get are named.
TEST(ChannelIni, PartialFilesChangeOnlyTheirChannels) {
  TempDir dir;
  const std::string ini = dir.File("part.ini");
  testing::WriteText(ini, "[REC00]\nSensorResp02=/two.rsp\nAxis02=1\nAxis05=0\n");
  EXPECT_EQ(ChannelIniChannels("[REC00]\nSensorResp02=/two.rsp\nAxis02=1\nAxis05=0\n"),
            (std::vector<int>{2, 5}));
  TProject p;
  p.Records = {Rec(3), Rec(2)};
  p.Records[0].Station = "A";
  p.Records[1].Station = "B";
  for (TFileRecord& r : p.Records) {
    r.Channels[0].SensorResp = "/one.rsp";
    r.Channels[0].Axis = static_cast<Component>(Component::kE);
  }
  const TRecordOpResult r = ChannelsFromIni(p, {0, 1}, 0, ini);
  ASSERT_TRUE(r.Done) << CodeName(r.Status.Code);
  for (const TFileRecord& rec : p.Records) {
    EXPECT_EQ(rec.Channels[0].SensorResp, "/one.rsp");
    EXPECT_EQ(rec.Channels[0].Axis, Component::kE);
    EXPECT_EQ(rec.Channels[1].SensorResp, "/two.rsp");
    EXPECT_EQ(rec.Channels[1].Axis, Component::kN);
  }
  EXPECT_EQ(p.Records[0].Channels[2].Axis, Component::kZ);
  const TStatus a = MakeStatus(TCode::kRecordLower, {"1", "A"});
  const TStatus b = MakeStatus(TCode::kRecordLower, {"2", "B"});
  const struct {
    TCode Code;
    std::vector<TArg> Args;
    int Record;
  } expected[] = {
      {TCode::kChannelSettingsMissing, {ini, "1, 3", a}, 0},
      {TCode::kChannelSettingsNotApplied,
       {"5", ini, a, MakeStatus(TCode::kItHasChannels, {"3"})},
       0},
      {TCode::kChannelSettingsMissing, {ini, "1", b}, 1},
      {TCode::kChannelSettingsNotApplied,
       {"5", ini, b, MakeStatus(TCode::kItHasChannels, {"2"})},
       1},
      {TCode::kFileNotFound, {"/two.rsp"}, -1},
  };
  ASSERT_EQ(r.Warnings.size(), std::size(expected));
  for (size_t k = 0; k < r.Warnings.size(); ++k) {
    EXPECT_EQ(r.Warnings[k].Code, expected[k].Code) << k;
    EXPECT_EQ(r.Warnings[k].Args, expected[k].Args) << k;
    EXPECT_EQ(r.Warnings[k].Record, expected[k].Record) << k;
  }
}

TEST(ChannelIni, KeysNotRewrittenStay) {
  TempDir dir;
  const std::string ini = dir.File("set.ini");
  testing::WriteText(ini,
                     "; site notes\r\n"
                     "[General]\r\nOwner=me\r\n\r\n"
                     "[rec00]\r\nsensorresp01=/old.rsp\r\nNote=\xCA\xE0\xED\xE0\xEB\r\n\r\n"
                     "[Other]\r\nX=1");
  TProject p;
  p.Records = {Rec(1)};
  p.Records[0].Channels[0].SensorResp = "/new.rsp";
  ASSERT_TRUE(ChannelsToIni(p, 0, ini).Done);
  EXPECT_EQ(Text(ini),
            "; site notes\r\n"
            "[General]\r\nOwner=me\r\n\r\n"
            "[rec00]\r\nSensorResp01=/new.rsp\r\nNote=\xCA\xE0\xED\xE0\xEB\r\n"
            "AmplifierResp01=\r\nChannelResp01=\r\nAxis01=2\r\n\r\n"
            "[Other]\r\nX=1");
}

TEST(ChannelIni, UpdateIniTextCases) {
  const std::vector<std::pair<std::string, std::string>> values = {{"A", "1"}, {"B", "Ж"}};
  const struct {
    const char* Text;
    const char* Updated;
  } cases[] = {
      {"", "[S]\r\nA=1\r\nB=\xC6\r\n"},
      {"[T]\nA=0", "[T]\nA=0\r\n\r\n[S]\r\nA=1\r\nB=\xC6\r\n"},
      {"[S]", "[S]\r\nA=1\r\nB=\xC6\r\n"},
      {"[S]\nb = 7\n;A=2\n", "[S]\nB=\xC6\n;A=2\nA=1\r\n"},
      // The first section of a name is the one that is read; a repeated key keeps its first.
      {"[S]\nA=0\nA=9\n[S]\nB=5\n", "[S]\nA=1\nA=9\nB=\xC6\r\n[S]\nB=5\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(UpdateIniText(c.Text, "S", values), c.Updated) << c.Text;
}

TEST(ChannelIni, RefusedWithoutAFileOrARecord) {
  TempDir dir;
  TProject p;
  p.Records = {Rec(3)};
  p.Records[0].Channels[0].SensorResp = "/keep.rsp";
  const TRecordOpResult missing = ChannelsFromIni(p, {0}, 0, dir.File("none.ini"));
  EXPECT_FALSE(missing.Done);
  EXPECT_EQ(missing.Status.Code, TCode::kFileNotFound);
  EXPECT_EQ(missing.Status.Args, std::vector<TArg>{dir.File("none.ini")});
  EXPECT_EQ(p.Records[0].Channels[0].SensorResp, "/keep.rsp");
  EXPECT_FALSE(p.Modified);
  EXPECT_FALSE(ChannelsToIni(p, 1, dir.File("x")).Done);
  EXPECT_FALSE(ChannelsToIni(p, 0, dir.File("no/such/folder/x")).Done);
}

// A record of 32 channels, the most a record holds, round trips whole.
TEST(ChannelIni, ThirtyTwoChannels) {
  TempDir dir;
  TProject p;
  p.Records = {Rec(32), Rec(32)};
  for (int c = 0; c < 32; ++c)
    p.Records[0].Channels[c].ChannelResp = "/r" + std::to_string(c) + ".rsp";
  ASSERT_TRUE(ChannelsToIni(p, 0, dir.File("all")).Done);
  ASSERT_TRUE(ChannelsFromIni(p, {1}, 1, dir.File("all.ini")).Done);
  ASSERT_EQ(p.Records[1].ChannelCount(), p.Records[0].ChannelCount());
  for (size_t c = 0; c < p.Records[0].Channels.size(); ++c)
    EXPECT_EQ(p.Records[1].Channels[c].ChannelResp, p.Records[0].Channels[c].ChannelResp);
}

}  // namespace
}  // namespace tarvik
