#include "project/record_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/text_encoding.h"
#include "response/rsp_file.h"
#include "spectral/result_files.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

TFileRecord Rec(const std::string& station, std::vector<std::string> channels = {"E", "N", "Z"}) {
  TFileRecord r;
  r.Station = station;
  r.File = "/d/" + station + ".msd";
  r.Start = r.SelectStart = EncodeDateTime(2024, 5, 14, 1);
  r.Finish = r.SelectFinish = EncodeDateTime(2024, 5, 14, 2);
  r.SampRate = 100;
  r.Channels.resize(channels.size());
  for (size_t c = 0; c < channels.size(); ++c) {
    r.Channels[c].Channel = channels[c];
    r.Channels[c].Selected = true;
    r.Channels[c].Axis = static_cast<Component>(static_cast<int32_t>(c % 3));
    r.Channels[c].Level = 1000;
    r.Channels[c].ADCCoef = 800;
  }
  return r;
}

TEST(ParseDateTimeText, BothFormsAndNothingElse) {
  const TDateTime t = EncodeDateTime(2024, 5, 14, 1, 2, 3);
  const struct {
    const char* Text;
    std::optional<TDateTime> Value;
  } cases[] = {
      {"2024-05-14T01:02:03.000", t},
      {"2024-05-14T01:02:03Z", t},
      {"2024-05-14 01:02:03", t},
      {"2024-05-14T01:02:03.5", t + 0.5 / 86400},
      {"2024-05-14", EncodeDateTime(2024, 5, 14)},
      {"14.05.2024 1:02:03", t},
      {" 14.05.2024 01:02:03 ", t},
      {"14.05.2024", EncodeDateTime(2024, 5, 14)},
      {"29.02.2024 0:00:00", EncodeDateTime(2024, 2, 29)},
      {"30.02.2024", std::nullopt},
      {"2024-02-30T00:00:00", std::nullopt},
      {"2024-05-14T24:00:00", std::nullopt},
      {"2024-5-14T01:00:00", std::nullopt},
      {"14.05.2024 25:00:00", std::nullopt},
      {"01:02:03", std::nullopt},  // a time alone would mean 30.12.1899
      {"2024-05-14T01:02:03+02:00", std::nullopt},
      {"", std::nullopt},
      {"вчера", std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<TDateTime> v = ParseDateTimeText(c.Text);
    ASSERT_EQ(v.has_value(), c.Value.has_value()) << c.Text;
    if (v) {
      EXPECT_NEAR(*v, *c.Value, 1e-9) << c.Text;
    }
  }
  EXPECT_EQ(DateTimeConversionError("x").Code, TCode::kBadDateTime);
  EXPECT_EQ(DateTimeConversionError("x").Args, std::vector<TArg>{"x"});
}

// Which edits mark the project modified when they repeat the value it already has, and which
// only when they change it.
TEST(RecordEditor, ModifiedFlagOnEveryEditOrOnlyOnAChange) {
  using Edit = std::function<TRecordOpResult(TProject&)>;
  const struct {
    const char* Name;
    Edit Same;
    Edit Different;
    bool ModifiedBySame;
  } cases[] = {
      {"station", [](TProject& p) { return SetStation(p, {0}, "A"); },
       [](TProject& p) { return SetStation(p, {0}, "B"); }, true},
      {"select start", [](TProject& p) { return SetSelectStart(p, {0}, "14.05.2024 1:00:00"); },
       [](TProject& p) { return SetSelectStart(p, {0}, "14.05.2024 1:30:00"); }, true},
      {"select finish", [](TProject& p) { return SetSelectFinish(p, {0}, "2024-05-14T02:00"); },
       [](TProject& p) { return SetSelectFinish(p, {0}, "2024-05-14T01:45"); }, true},
      {"event", [](TProject& p) { return SetIsEvent(p, {0}, false); },
       [](TProject& p) { return SetIsEvent(p, {0}, true); }, true},
      {"mark", [](TProject& p) { return SetChannelSelected(p, {0}, 1, true); },
       [](TProject& p) { return SetChannelSelected(p, {0}, 1, false); }, true},
      {"component", [](TProject& p) { return SetComponent(p, {0}, 1, 1); },
       [](TProject& p) { return SetComponent(p, {0}, 1, 2); }, false},
      {"level", [](TProject& p) { return SetLevel(p, {0}, 1, 1000); },
       [](TProject& p) { return SetLevel(p, {0}, 1, 2000); }, false},
      {"sensor", [](TProject& p) { return SetResponseFile(p, {0}, 1, TResponseKind::kSensor, ""); },
       [](TProject& p) { return SetResponseFile(p, {0}, 1, TResponseKind::kSensor, "/s.rsp"); },
       false},
      {"channel response",
       [](TProject& p) {
         return SetResponseFile(p, {0}, kAllChannels, TResponseKind::kChannel, "");
       },
       [](TProject& p) {
         return SetResponseFile(p, {0}, kAllChannels, TResponseKind::kChannel, "/c.rsp");
       },
       false},
  };
  for (const auto& c : cases) {
    TProject p;
    p.Records = {Rec("A")};
    ASSERT_TRUE(c.Same(p).Done) << c.Name;
    EXPECT_EQ(p.Modified, c.ModifiedBySame) << c.Name;
    p.Modified = false;
    ASSERT_TRUE(c.Different(p).Done) << c.Name;
    EXPECT_TRUE(p.Modified) << c.Name;
  }
}

TEST(RecordEditor, FieldsGoToEverySelectedRecord) {
  TProject p;
  p.Records = {Rec("A"), Rec("B", {"X"}), Rec("C")};
  EXPECT_EQ(SetStation(p, {0, 2}, "СТАНЦИЯ99").Count, 2);
  EXPECT_EQ(p.Records[0].Station, "СТАНЦИЯ");  // 7 letters, not 7 bytes
  EXPECT_EQ(p.Records[1].Station, "B");

  // The third channel: record B has one channel and is left alone.
  const TRecordOpResult level = SetLevel(p, {0, 1, 2}, 2, 5000);
  EXPECT_EQ(level.Count, 2);
  EXPECT_EQ(p.Records[0].Channels[2].Level, 5000);
  EXPECT_EQ(p.Records[1].ChannelCount(), 1);

  // "*": every channel of every selected record; a file that is not there is kept with a
  // warning.
  const TRecordOpResult files =
      SetResponseFile(p, {0, 1}, kAllChannels, TResponseKind::kAmplifier, "/no/such.rsp");
  ASSERT_TRUE(files.Done);
  ASSERT_EQ(files.Warnings.size(), 1u);
  EXPECT_EQ(files.Warnings[0].Code, TCode::kFileNotFound);
  EXPECT_EQ(files.Warnings[0].Args, std::vector<TArg>{"/no/such.rsp"});
  EXPECT_EQ(p.Records[0].Channels[2].AmplifierResp, "/no/such.rsp");
  EXPECT_EQ(p.Records[1].Channels[0].AmplifierResp, "/no/such.rsp");
  EXPECT_EQ(p.Records[2].Channels[0].AmplifierResp, "");

  // Start and Finish only for the current record.
  ASSERT_TRUE(SetRecordStart(p, 1, "2024-05-14T00:30:00").Done);
  EXPECT_DOUBLE_EQ(p.Records[1].Start, EncodeDateTime(2024, 5, 14, 0, 30));
  EXPECT_DOUBLE_EQ(p.Records[0].Start, EncodeDateTime(2024, 5, 14, 1));
}

// A channel of a station inventory ends in counts: a coefficient other than 1 beside it would
// count the digitiser twice, which the editor says for each such channel it gave the path.
TEST(RecordEditor, InventoryChannelBesideAnAdcCoefficientIsNamed) {
  const std::string xml = testing::RealFile("stationxml/IU_ANMO_00_BHZ.xml");
  TProject p;
  p.Records = {Rec("A"), Rec("B", {"Z"})};
  p.Records[0].Channels[1].ADCCoef = 1.0;
  const TRecordOpResult all =
      SetResponseFile(p, {0, 1}, kAllChannels, TResponseKind::kChannel, xml + "#IU.ANMO.00.BHZ");
  ASSERT_TRUE(all.Done);
  EXPECT_EQ(all.Warnings.size(), 3u);  // A's E and Z, B's Z; A's N has 1
  ASSERT_FALSE(all.Warnings.empty());
  EXPECT_EQ(all.Warnings[0].Code, TCode::kAdcGainIncluded);
  EXPECT_EQ(all.Warnings[0].Args,
            (std::vector<TArg>{"A", "E", "IU.ANMO.00.BHZ (IU_ANMO_00_BHZ.xml)", "800"}));
  EXPECT_EQ(all.Warnings[0].Record, 0);
  EXPECT_EQ(all.Warnings[0].Channel, 0);
  EXPECT_TRUE(SetResponseFile(p, {0}, 1, TResponseKind::kChannel, xml + "#IU.ANMO.00.BHZ")
                  .Warnings.empty());
  // A file of its own (no channel code) says nothing of the coefficient.
  EXPECT_TRUE(SetResponseFile(p, {0}, 0, TResponseKind::kChannel, xml).Warnings.empty());
}

// Runs edit on a project of one record and checks that it is refused and changes nothing of
// the record; the result is returned for the caller's checks of the refusal.
TRecordOpResult RefusedUnchanged(const std::function<TRecordOpResult(TProject&)>& edit,
                                 const char* name) {
  TProject p;
  p.Records = {Rec("A")};
  const TFileRecord before = p.Records[0];
  const TRecordOpResult r = edit(p);
  EXPECT_FALSE(r.Done) << name;
  EXPECT_FALSE(p.Modified) << name;
  const TFileRecord& after = p.Records[0];
  EXPECT_EQ(after.SampRate, before.SampRate) << name;
  EXPECT_EQ(after.SelectStart, before.SelectStart) << name;
  EXPECT_EQ(after.SelectFinish, before.SelectFinish) << name;
  EXPECT_EQ(after.Station, before.Station) << name;
  EXPECT_EQ(after.File, before.File) << name;
  EXPECT_EQ(after.Channels.size(), before.Channels.size()) << name;
  for (size_t c = 0; c < std::min(after.Channels.size(), before.Channels.size()); ++c) {
    EXPECT_EQ(after.Channels[c].ADCCoef, before.Channels[c].ADCCoef) << name;
    EXPECT_EQ(after.Channels[c].Channel, before.Channels[c].Channel) << name;
    EXPECT_EQ(after.Channels[c].SensorResp, before.Channels[c].SensorResp) << name;
  }
  return r;
}

TEST(RecordEditor, RefusalsChangeNothing) {
  const struct {
    const char* Name;
    std::function<TRecordOpResult(TProject&)> Edit;
    TCode Code;
  } cases[] = {
      {"rate without record", [](TProject& p) { return SetSamplingRate(p, {0}, -1, "100"); },
       TCode::kNoRecordSelected},
      {"start without record", [](TProject& p) { return SetRecordStart(p, 5, "14.05.2024"); },
       TCode::kNoRecordSelected},
      {"rate not a number", [](TProject& p) { return SetSamplingRate(p, {0}, 0, "1O0"); },
       TCode::kBadNumber},
      {"rate zero", [](TProject& p) { return SetSamplingRate(p, {0}, 0, "0"); },
       TCode::kRateOutOfRange},
      // Rates no control can give: kept, they would be lost to the rate of the files.
      {"rate 1e300", [](TProject& p) { return SetSamplingRate(p, {0}, 0, "1e300"); },
       TCode::kRateOutOfRange},
      {"rate above the range", [](TProject& p) { return SetSamplingRate(p, {0}, 0, "100000.5"); },
       TCode::kRateOutOfRange},
      {"rate below the range", [](TProject& p) { return SetSamplingRate(p, {0}, 0, "0.5"); },
       TCode::kRateOutOfRange},
      {"select start at the finish",
       [](TProject& p) { return SetSelectStart(p, {0}, "14.05.2024 2:00:00"); },
       TCode::kRecordSpan},
      {"select finish before the start",
       [](TProject& p) { return SetSelectFinish(p, {0}, "14.05.2024 0:59:00"); },
       TCode::kRecordSpan},
      {"both ends in the wrong order",
       [](TProject& p) {
         return SetSelection(p, {0}, "2024-05-14T01:50:00", "2024-05-14T01:10:00");
       },
       TCode::kRecordSpan},
      {"select start after the record",
       [](TProject& p) { return SetSelection(p, {0}, "2030-01-01T00:00:00", std::nullopt); },
       TCode::kRecordSpan},
      {"adc without channel", [](TProject& p) { return SetAdcCoefficient(p, {0}, 0, -2, "5"); },
       TCode::kNoRecordsOrChannel},
      {"adc without record", [](TProject& p) { return SetAdcCoefficient(p, {0}, -1, 0, "5"); },
       TCode::kNoRecordsOrChannel},
      {"adc zero", [](TProject& p) { return SetAdcCoefficient(p, {0}, 0, 0, "0"); },
       TCode::kAdcNotPositive},
      {"adc negative", [](TProject& p) { return SetAdcCoefficient(p, {0}, 0, 0, "-3.5"); },
       TCode::kAdcNotPositive},
      {"select start", [](TProject& p) { return SetSelectStart(p, {0}, "31.04.2024"); },
       TCode::kBadDateTime},
      {"level 0", [](TProject& p) { return SetLevel(p, {0}, 0, 0); }, TCode::kLevelOutOfRange},
      {"level negative", [](TProject& p) { return SetLevel(p, {0}, 0, -5); },
       TCode::kLevelOutOfRange},
      {"level too big", [](TProject& p) { return SetLevel(p, {0}, 0, 2147483648LL); },
       TCode::kLevelOutOfRange},
      {"component R", [](TProject& p) { return SetComponent(p, {0}, 0, 3); },
       TCode::kComponentNotEnz},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RefusedUnchanged(c.Edit, c.Name).Status.Code, c.Code) << c.Name;
  }
}

// A selection reaching beyond the record is brought to its Start and Finish, with a warning per
// end moved; the result files are then named after the start the run really uses.
TEST(RecordEditor, SelectionBeyondTheRecordIsClamped) {
  const TDateTime start = EncodeDateTime(2024, 5, 14, 1);
  const TDateTime finish = EncodeDateTime(2024, 5, 14, 2);
  const struct {
    std::optional<std::string_view> From, To;
    TDateTime SelectStart, SelectFinish;
    size_t Warnings;
  } cases[] = {
      {"2010-01-01T00:00:00", "2030-01-01T00:00:00", start, finish, 2},
      {"14.05.2024 0:30:00", std::nullopt, start, finish, 1},
      {std::nullopt, "2024-05-14T03:00:00", start, finish, 1},
      {"2024-05-14T01:10:00", "2024-05-14T01:50:00", EncodeDateTime(2024, 5, 14, 1, 10),
       EncodeDateTime(2024, 5, 14, 1, 50), 0},
      // Given together, the ends are checked against each other, not against the old ones.
      {"2024-05-14T01:55:00", "2024-05-14T02:30:00", EncodeDateTime(2024, 5, 14, 1, 55), finish, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.From.value_or("-")) + " " + std::string(c.To.value_or("-")));
    TProject p;
    p.Records = {Rec("A")};
    p.Records[0].SelectStart = EncodeDateTime(2024, 5, 14, 1, 20);
    p.Records[0].SelectFinish = EncodeDateTime(2024, 5, 14, 1, 40);
    if (!c.From) p.Records[0].SelectStart = start;
    if (!c.To) p.Records[0].SelectFinish = finish;
    const TRecordOpResult r = SetSelection(p, {0}, c.From, c.To);
    ASSERT_TRUE(r.Done) << CodeName(r.Status.Code);
    EXPECT_NEAR(p.Records[0].SelectStart, c.SelectStart, 1e-9);
    EXPECT_NEAR(p.Records[0].SelectFinish, c.SelectFinish, 1e-9);
    EXPECT_EQ(r.Warnings.size(), c.Warnings);
  }
  TProject p;
  p.Records = {Rec("A")};
  const TRecordOpResult r = SetSelectStart(p, {0}, "2010-01-01T00:00:00");
  ASSERT_EQ(r.Warnings.size(), 1u);
  EXPECT_EQ(r.Warnings[0].Code, TCode::kSelectionStartBefore);
  ASSERT_EQ(r.Warnings[0].Args.size(), 3u);
  EXPECT_EQ(r.Warnings[0].Args[1].Text, "01.01.2010 00:00:00");
  EXPECT_EQ(r.Warnings[0].Args[2].Text, "14.05.2024 01:00:00");
  TResultFolders folders = DeriveResultFolders("/r");
  EXPECT_EQ(SpectrumFilePath(folders, p.Records[0], false),
            folders.SpectraPrimary + "/prim_A_240514-010000.dat");
}

// Each record is clamped to itself; one whose selection would be empty leaves every record as
// it was.
TEST(RecordEditor, SelectionOfSeveralRecordsIsAllOrNothing) {
  TProject p;
  p.Records = {Rec("A"), Rec("B")};
  p.Records[1].Start = p.Records[1].SelectStart = EncodeDateTime(2024, 5, 14, 1, 30);
  ASSERT_TRUE(SetSelectStart(p, {0, 1}, "14.05.2024 1:15:00").Done);
  EXPECT_NEAR(p.Records[0].SelectStart, EncodeDateTime(2024, 5, 14, 1, 15), 1e-9);
  EXPECT_NEAR(p.Records[1].SelectStart, EncodeDateTime(2024, 5, 14, 1, 30), 1e-9);

  p.Records[1].SelectFinish = EncodeDateTime(2024, 5, 14, 1, 40);
  p.Modified = false;
  const TRecordOpResult r = SetSelectStart(p, {0, 1}, "14.05.2024 1:45:00");
  EXPECT_FALSE(r.Done);
  // The record named is the one whose selection would be empty.
  EXPECT_EQ(r.Status.Code, TCode::kRecordSpan);
  EXPECT_EQ(r.Status.Record, 1);
  EXPECT_NEAR(p.Records[0].SelectStart, EncodeDateTime(2024, 5, 14, 1, 15), 1e-9);
  EXPECT_FALSE(p.Modified);
}

// Texts the project file (Windows-1251) cannot hold would come back as "?": refused, whatever
// edits them, while Cyrillic, which it holds, is kept.
TEST(RecordEditor, TextsTheProjectFileCannotHoldAreRefused) {
  using EditFn = std::function<TRecordOpResult(TProject&)>;
  const struct {
    const char* Name;
    EditFn Edit;
    TCode What;
    std::string Text, Bad;
  } refused[] = {
      {"station", [](TProject& p) { return SetStation(p, {0}, "Zürich"); }, TCode::kWordStation,
       "Zürich", "ü"},
      {"channel name", [](TProject& p) { return RenameChannel(p, {0}, 1, "北"); },
       TCode::kWordChannelName, "北", "北"},
      {"response file",
       [](TProject& p) {
         return SetResponseFile(p, {0}, kAllChannels, TResponseKind::kSensor, "/r/ü.rsp");
       },
       TCode::kWordPath, "/r/ü.rsp", "ü"},
      {"record file", [](TProject& p) { return ChangeFile(p, 0, "/d/π.msd"); }, TCode::kWordPath,
       "/d/π.msd", "π"},
      {"folder of the files", [](TProject& p) { return ChangePath(p, {0}, "/d/Zürich"); },
       TCode::kWordPath, "/d/Zürich", "ü"},
  };
  for (const auto& c : refused) {
    const TRecordOpResult r = RefusedUnchanged(c.Edit, c.Name);
    EXPECT_EQ(r.Status.Code, TCode::kNotInCp1251) << c.Name;
    EXPECT_EQ(r.Status.Args, (std::vector<TArg>{MakeStatus(c.What), c.Text, c.Bad})) << c.Name;
  }

  TProject p;
  p.Records = {Rec("A")};
  ASSERT_TRUE(SetStation(p, {0}, "Пункт1").Done);
  EXPECT_EQ(p.Records[0].Station, "Пункт1");
  ASSERT_TRUE(RenameChannel(p, {0}, 0, "Север").Done);
  // A file inside the project's folder is stored as "$CommonDir/...": the folder's own name
  // never reaches the file.
  p.Folder = "/data/Zürich";
  ASSERT_TRUE(SetResponseFile(p, {0}, 0, TResponseKind::kChannel, "/data/Zürich/unit.rsp").Done);
  EXPECT_EQ(p.Records[0].Channels[0].ChannelResp, "/data/Zürich/unit.rsp");
}

TEST(RecordEditor, RateForAllSelectedAdcForTheirCurrentChannel) {
  TProject p;
  p.Records = {Rec("A"), Rec("B"), Rec("C")};
  ASSERT_TRUE(SetSamplingRate(p, {0, 2}, 2, " 200.5 ").Done);
  EXPECT_EQ(p.Records[0].SampRate, 200.5);
  EXPECT_EQ(p.Records[1].SampRate, 100);
  EXPECT_EQ(p.Records[2].SampRate, 200.5);
  ASSERT_TRUE(SetAdcCoefficient(p, {0, 1}, 0, 1, "419430.4").Done);
  EXPECT_EQ(p.Records[0].Channels[1].ADCCoef, 419430.4);
  EXPECT_EQ(p.Records[1].Channels[1].ADCCoef, 419430.4);
  EXPECT_EQ(p.Records[0].Channels[0].ADCCoef, 800);
  EXPECT_EQ(p.Records[2].Channels[1].ADCCoef, 800);
  EXPECT_TRUE(p.Modified);
}

TEST(RecordEditor, SeveralRecordsShowOnlyWhatTheyShare) {
  TProject p;
  p.Records = {Rec("A"), Rec("A", {"E", "N2"}), Rec("B")};
  p.Records[1].Channels[0].Selected = false;
  p.Records[1].IsEvent = true;
  p.Records[0].Channels[1].SensorResp = p.Records[1].Channels[1].SensorResp = "/s.rsp";
  p.Records[1].Channels[1].ADCCoef = 1000;

  const TEditorView one = EditorView(p, {1}, 1, 1);
  EXPECT_TRUE(one.Enabled);
  EXPECT_EQ(one.Station, "A");
  EXPECT_EQ(one.SampRate, "100.0");
  EXPECT_EQ(one.IsEvent, TCheckState::kChecked);
  ASSERT_EQ(one.Channels.size(), 2u);
  EXPECT_EQ(one.Channels[1].Name, "N2");
  EXPECT_EQ(one.AdcCoef, "1000");
  EXPECT_EQ(one.Start, "14.05.2024 01:00:00");
  EXPECT_EQ(one.RecordLength, "1:00:00");

  // Records 1 and 2 shown with record 1 current: its three channels.
  const TEditorView two = EditorView(p, {0, 1}, 0, 1);
  EXPECT_EQ(two.Station, "A");
  EXPECT_EQ(two.SampRate, "100.0");
  EXPECT_EQ(two.IsEvent, TCheckState::kGrayed);
  ASSERT_EQ(two.Channels.size(), 3u);
  EXPECT_EQ(two.Channels[0].Name, "E");
  EXPECT_EQ(two.Channels[0].Check, TCheckState::kGrayed);
  EXPECT_EQ(two.Channels[1].Name, "");  // N and N2
  EXPECT_EQ(two.Channels[1].Check, TCheckState::kChecked);
  EXPECT_EQ(two.Channels[2].Name, "");  // record 2 has no third channel
  EXPECT_EQ(two.Channels[2].Check, TCheckState::kGrayed);
  EXPECT_EQ(two.Axis, 1);
  EXPECT_EQ(two.Level, "1000");
  EXPECT_EQ(two.SensorResp, "/s.rsp");
  EXPECT_EQ(two.AdcCoef, "");  // 800 and 1000

  const TEditorView three = EditorView(p, {0, 1, 2}, 2, 2);
  EXPECT_EQ(three.Station, "");
  EXPECT_EQ(three.Axis, -1);
  EXPECT_EQ(three.Level, "");

  EXPECT_FALSE(EditorView(p, {}, -1, -1).Enabled);
}

TEST(RecordEditor, ClipboardLines) {
  TProject p;
  p.Records = {Rec("A"), Rec("B"), Rec("C")};
  p.Records[2].Finish = EncodeDateTime(2024, 12, 31, 23, 59, 58);
  EXPECT_EQ(StationsClipboardText(p, {2, 0}), "A\r\nC");
  EXPECT_EQ(TimeSpansClipboardText(p, {0, 2}),
            "2024.05.14 01:00:00\t2024.05.14 02:00:00\r\n"
            "2024.05.14 01:00:00\t2024.12.31 23:59:58");
  EXPECT_EQ(ClipboardMessage(2).Code, TCode::kLinesCopied);
  EXPECT_EQ(ClipboardMessage(2).Args, std::vector<TArg>{"2"});
}

TEST(RecordEditor, UnitTemplateWrittenAndAssigned) {
  TempDir dir;
  TProject p;
  p.Records = {Rec("A", {"HHE", "HHN"}), Rec("B"), Rec("C")};
  p.Records[0].SampRate = 250;
  p.Records[1].Channels[1].ChannelResp =
      dir.File("unit.rsp");  // already the value: no change there
  const TRecordOpResult r = AssignUnitTemplate(p, {0, 1}, 0, 1, TResponseKind::kChannel,
                                               dir.File("unit"), EncodeDateTime(2024, 5, 14));
  ASSERT_TRUE(r.Done) << CodeName(r.Status.Code);
  EXPECT_EQ(r.Written, dir.File("unit.rsp"));
  EXPECT_EQ(p.Records[0].Channels[1].ChannelResp, dir.File("unit.rsp"));
  EXPECT_EQ(p.Records[2].Channels[1].ChannelResp, "");
  EXPECT_TRUE(p.Modified);
  const std::vector<uint8_t> bytes = testing::ReadBytes(dir.File("unit.rsp"));
  const std::string text = Cp1251ToUtf8(std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(text, UnitResponseTemplateText("HHN", 250, EncodeDateTime(2024, 5, 14)));

  EXPECT_EQ(AssignUnitTemplate(p, {0}, 0, 2, TResponseKind::kSensor, dir.File("x")).Status.Code,
            TCode::kNoRecordsOrChannel);
  EXPECT_FALSE(
      AssignUnitTemplate(p, {0}, 0, 0, TResponseKind::kSensor, dir.File("no/such/x")).Done);
  EXPECT_EQ(p.Records[0].Channels[0].SensorResp, "");
}

}  // namespace
}  // namespace tarvik
