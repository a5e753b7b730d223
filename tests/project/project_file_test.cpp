#include "project/project_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "recording_ui_host.h"
#include "test_files.h"

#ifdef __linux__
#include <sys/resource.h>
#include <csignal>
#endif

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::RecordingUiHost;
using testing::TempDir;
using testing::WriteBytes;
using testing::WriteText;

// A project with something other than the default in every stored field.
TProject SampleProject(const std::string& folder, int records = 3) {
  TProject p;
  for (int i = 0; i < records; ++i) {
    TFileRecord r;
    r.File = folder + "/data/rec" + std::to_string(i) + ".msd";
    r.Station = i == 1 ? "Пункт1" : "ST" + std::to_string(i);
    r.Channels.resize(static_cast<size_t>(i == 2 ? 0 : 3));
    r.SampRate = 100.0 + i;
    r.ToProcess = i != 1;
    r.ToProcessNakamura = i == 1;
    r.SelIndex = i;
    r.SelNakIndex = 10 + i;
    r.Start = EncodeDateTime(2016, 6, 3, 19, 55, 0) + i * 0.123456789;
    r.Finish = r.Start + 1.0 / 24 + 1e-7;
    r.SelectStart = r.Start + 0.01;
    r.SelectFinish = r.Finish - 0.01;
    r.IsEvent = i == 1;
    for (int c = 0; c < r.ChannelCount(); ++c) {
      r.Channels[c].Channel = std::string("HH") + "ENZ"[c];
      r.Channels[c].SensorResp = folder + "/resp/geophone.paz";
      r.Channels[c].AmplifierResp = c == 1 ? "/elsewhere/amp.rsp" : "";
      r.Channels[c].ChannelResp = c == 2 ? folder + "/resp/chan " + std::to_string(c) + ".rsp" : "";
      r.Channels[c].Axis = static_cast<Component>(c);
      r.Channels[c].Level = 1000 * (c + 1);
      r.Channels[c].Selected = c != 1;
      r.Channels[c].ADCCoef = 419430.4 + c;
    }
    p.Records.push_back(r);
  }
  p.General.ResultDir = folder + "/results";
  p.General.DataFormat = 7;
  p.General.RecognizeComponent = false;
  p.General.MaxSpan = 30;
  p.General.SampRateDefault = 200.0;
  for (int s = 0; s < 2; ++s) {
    TSpectrumSettings& t = p.Settings[s];
    t.UseFFT = false;
    t.SpectrumType = TSpectrumType::kPower;
    t.EstimationType = static_cast<TEstimationType>(s);
    t.SilenceDur = 40.96 + s;
    t.NoiseDur = 3.0 + s;
    t.DanielWin = 7 + s;
    t.WindowType = 5;
    t.B = 7.5;
    t.EdgeEffect = true;
    t.FMin = 0.2;
    t.FMax = 40.0 + s;
    t.EdgeOrder = 4;
    t.UnitOut = 2;
    t.NoiseFilter = s == 1;
    t.NoiseFMin = 0.5 + s;
    t.NoiseFMax = 20.0 + s;
    t.NoiseOrder = 8 + s;
  }
  return p;
}

// Compares every stored value; date-times within tol days.
void ExpectSameProject(const TProject& a, const TProject& b, double tol) {
  ASSERT_EQ(a.Records.size(), b.Records.size());
  for (size_t i = 0; i < a.Records.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i + 1));
    const TFileRecord& x = a.Records[i];
    const TFileRecord& y = b.Records[i];
    EXPECT_EQ(x.File, y.File);
    EXPECT_EQ(x.Station, y.Station);
    EXPECT_EQ(x.ChannelCount(), y.ChannelCount());
    EXPECT_EQ(x.SampRate, y.SampRate);
    EXPECT_EQ(x.ToProcess, y.ToProcess);
    EXPECT_EQ(x.ToProcessNakamura, y.ToProcessNakamura);
    EXPECT_EQ(x.SelIndex, y.SelIndex);
    EXPECT_EQ(x.SelNakIndex, y.SelNakIndex);
    EXPECT_NEAR(x.Start, y.Start, tol);
    EXPECT_NEAR(x.Finish, y.Finish, tol);
    EXPECT_NEAR(x.SelectStart, y.SelectStart, tol);
    EXPECT_NEAR(x.SelectFinish, y.SelectFinish, tol);
    EXPECT_EQ(x.IsEvent, y.IsEvent);
    for (int c = 0; c < x.ChannelCount(); ++c) {
      EXPECT_EQ(x.Channels[c].Channel, y.Channels[c].Channel);
      EXPECT_EQ(x.Channels[c].SensorResp, y.Channels[c].SensorResp);
      EXPECT_EQ(x.Channels[c].AmplifierResp, y.Channels[c].AmplifierResp);
      EXPECT_EQ(x.Channels[c].ChannelResp, y.Channels[c].ChannelResp);
      EXPECT_EQ(x.Channels[c].Axis, y.Channels[c].Axis);
      EXPECT_EQ(x.Channels[c].Level, y.Channels[c].Level);
      EXPECT_EQ(x.Channels[c].Selected, y.Channels[c].Selected);
      EXPECT_EQ(x.Channels[c].ADCCoef, y.Channels[c].ADCCoef);
    }
  }
  EXPECT_EQ(a.General.ResultDir, b.General.ResultDir);
  EXPECT_EQ(a.General.DataFormat, b.General.DataFormat);
  EXPECT_EQ(a.General.RecognizeComponent, b.General.RecognizeComponent);
  EXPECT_EQ(a.General.MaxSpan, b.General.MaxSpan);
  EXPECT_EQ(a.General.SampRateDefault, b.General.SampRateDefault);
  for (int s = 0; s < 2; ++s) {
    SCOPED_TRACE("settings " + std::to_string(s));
    const TSpectrumSettings& x = a.Settings[s];
    const TSpectrumSettings& y = b.Settings[s];
    EXPECT_EQ(x.UseFFT, y.UseFFT);
    EXPECT_EQ(x.SpectrumType, y.SpectrumType);
    EXPECT_EQ(x.EstimationType, y.EstimationType);
    EXPECT_EQ(x.SilenceDur, y.SilenceDur);
    EXPECT_EQ(x.NoiseDur, y.NoiseDur);
    EXPECT_EQ(x.DanielWin, y.DanielWin);
    EXPECT_EQ(x.WindowType, y.WindowType);
    EXPECT_EQ(x.B, y.B);
    EXPECT_EQ(x.EdgeEffect, y.EdgeEffect);
    EXPECT_EQ(x.FMin, y.FMin);
    EXPECT_EQ(x.FMax, y.FMax);
    EXPECT_EQ(x.EdgeOrder, y.EdgeOrder);
    EXPECT_EQ(x.UnitOut, y.UnitOut);
    EXPECT_EQ(x.NoiseFilter, y.NoiseFilter);
    EXPECT_EQ(x.NoiseFMin, y.NoiseFMin);
    EXPECT_EQ(x.NoiseFMax, y.NoiseFMax);
    EXPECT_EQ(x.NoiseOrder, y.NoiseOrder);
  }
}

std::string FileText(const std::string& path) {
  const std::vector<uint8_t> b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

TProject Load(const std::string& path, LoadStatus expected = LoadStatus::kLoaded) {
  TProject p;
  RecordingUiHost host;
  EXPECT_EQ(LoadProject(p, path, host), expected);
  return p;
}

class ProjectRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(ProjectRoundTrip, GivesBackTheSameRecordsAndSettings) {
  const int form = GetParam();
  TempDir dir;
  const std::string folder = dir.Path().string();
  TProject original = SampleProject(folder);
  RecordingUiHost host;
  const SaveResult saved = SaveProject(original, dir.File("proj"), form, host);
  ASSERT_TRUE(saved.Ok) << Text(saved.Error, TLanguage::kEnglish);
  EXPECT_EQ(saved.FileName, dir.File("proj.tvp"));
  EXPECT_EQ(original.FileName, saved.FileName);
  EXPECT_TRUE(host.HasStage("Проект успешно сохранен"));
  EXPECT_EQ(ProbeProjectFormat(saved.FileName), form);

  TProject loaded;
  loaded.Settings[0].FillByZero = true;
  loaded.Settings[1].UnitCoef = 1e-6;
  loaded.Settings[0].IdentCorrection = true;
  RecordingUiHost load_host;
  ASSERT_EQ(LoadProject(loaded, saved.FileName, load_host), LoadStatus::kLoaded);
  // Text keeps date-times to the second, binary exactly.
  ExpectSameProject(original, loaded, form == 0 ? 0.5 / 86400 : 0.0);
  EXPECT_EQ(loaded.FileName, saved.FileName);
  EXPECT_EQ(loaded.Folder, folder);
  EXPECT_EQ(loaded.WorkingRate, 100.0);  // the first record's rate
  EXPECT_TRUE(loaded.Settings[0].FillByZero);
  EXPECT_EQ(loaded.Settings[1].UnitCoef, 1e-6);
  EXPECT_FALSE(loaded.Settings[0].IdentCorrection);
  EXPECT_TRUE(load_host.HasStage("Проект успешно загружен"));
  EXPECT_TRUE(load_host.Messages.empty());
  EXPECT_EQ(load_host.Gauge.back(), std::make_pair(100, 100));

  // Paths inside the project folder are stored relative to it.
  if (form == 0) {
    const std::string text = FileText(saved.FileName);
    EXPECT_NE(text.find("File01=$CommonDir/data/rec0.msd\r\n"), std::string::npos);
    EXPECT_NE(text.find("AmplifierResp02=/elsewhere/amp.rsp\r\n"), std::string::npos);
    EXPECT_EQ(text.find("[REC03]"), std::string::npos);  // no channels, no section
    EXPECT_NE(text.find("NoiseFiletr=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("NoiseFiletr1=1\r\n"), std::string::npos);
    EXPECT_EQ(text.rfind("[VERSION]\r\nProjectVersion=1\r\n\r\n[FILES]\r\nFileNum=3\r\n", 0), 0u);
  } else {
    const std::vector<uint8_t> b = ReadBytes(saved.FileName);
    const std::vector<uint8_t> head = {'F', 'V', 'E', 'R', 1, 0, 0, 0,
                                       'D', 'V', 'E', 'R', 1, 0, 0, 0};
    ASSERT_GE(b.size(), 16u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 16), head);
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, ProjectRoundTrip, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Text" : "Binary"; });

TEST(ProjectFile, CommonDirPathsFollowTheMovedFolder) {
  TempDir dir;
  const fs::path a = dir.Path() / "campaign";
  fs::create_directories(a);
  TProject p = SampleProject(a.string(), 1);
  // A sibling whose name begins with the project folder's is outside it.
  p.Records[0].Channels[0].AmplifierResp = a.string() + "2/amp.rsp";
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(p, (a / "p.tvp").string(), 0, host).Ok);
  const fs::path b = dir.Path() / "moved";
  fs::rename(a, b);
  TProject loaded = Load((b / "p.tvp").string());
  ASSERT_EQ(loaded.Records.size(), 1u);
  EXPECT_EQ(loaded.Records[0].File, b.string() + "/data/rec0.msd");
  EXPECT_EQ(loaded.Records[0].Channels[0].SensorResp, b.string() + "/resp/geophone.paz");
  EXPECT_EQ(loaded.Records[0].Channels[0].AmplifierResp, a.string() + "2/amp.rsp");
  EXPECT_EQ(loaded.General.ResultDir, b.string() + "/results");
}

TEST(ProjectFile, CommonDirSubstitution) {
  EXPECT_EQ(ToCommonDir("C:\\Work\\P\\a.msd", "c:\\work\\p"), "$CommonDir\\a.msd");
  EXPECT_EQ(ToCommonDir("/w/p", "/w/p"), "$CommonDir");
  EXPECT_EQ(ToCommonDir("/w/p/x/w/p/y", "/w/p"), "$CommonDir/x$CommonDir/y");
  EXPECT_EQ(ToCommonDir("/w/pq/a", "/w/p"), "/w/pq/a");
  EXPECT_EQ(ToCommonDir("/w/a", ""), "/w/a");
  EXPECT_EQ(ToCommonDir("/data/a", "/"), "$CommonDirdata/a");
  EXPECT_EQ(FromCommonDir("$commondir\\sub\\a.msd", "/new/place"), "/new/place/sub/a.msd");
  EXPECT_EQ(FromCommonDir("$CommonDirdata/a", "/"), "/data/a");
  EXPECT_EQ(FromCommonDir("C:\\x\\y", "/p"), "C:/x/y");
  // Folders and tokens found after false starts, at the end, and not at all.
  EXPECT_EQ(ToCommonDir("/a/w/p/b", "/w/p"), "/a$CommonDir/b");
  // Folders longer than a word, matched without case wherever the letters differ.
  EXPECT_EQ(ToCommonDir("/Work/Project-LONG/a", "/work/project-long"), "$CommonDir/a");
  EXPECT_EQ(ToCommonDir("/work/project-lonG/a", "/work/project-long"), "$CommonDir/a");
  EXPECT_EQ(ToCommonDir("/work/project-lon/a", "/work/project-long"), "/work/project-lon/a");
  EXPECT_EQ(ToCommonDir("/x/work/project-long2/work/project-long/b", "/work/project-long"),
            "/x/work/project-long2$CommonDir/b");
  EXPECT_EQ(ToCommonDir("/x/w/p", "/W/P"), "/x$CommonDir");
  EXPECT_EQ(ToCommonDir("/w", "/w/p"), "/w");
  EXPECT_EQ(FromCommonDir("$x$COMMONDIR/a$CommonDi", "/p"), "$x/p/a$CommonDi");
  EXPECT_EQ(FromCommonDir("$CommonDir$CommonDir", "/p"), "/p/p");
  EXPECT_EQ(FromCommonDir("$", "/p"), "$");
}

TEST(ProjectFile, SaveNamesAndBackup) {
  EXPECT_EQ(ProjectSaveName("/d/proj"), "/d/proj.tvp");
  EXPECT_EQ(ProjectSaveName("/d/proj.TVP"), "/d/proj.TVP");
  EXPECT_EQ(ProjectSaveName("/d/a.txt"), "/d/a.txt.tvp");
  EXPECT_EQ(ProjectSaveName("/d.tvp/a"), "/d.tvp/a.tvp");

  TempDir dir;
  TProject p = SampleProject(dir.Path().string(), 1);
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(p, dir.File("proj.tvp"), 0, host).Ok);
  const std::string first = FileText(dir.File("proj.tvp"));
  p.Records[0].Station = "SECOND";
  ASSERT_TRUE(SaveProject(p, dir.File("proj.tvp"), 1, host).Ok);
  EXPECT_EQ(FileText(dir.File("proj.tvp`")), first);
  EXPECT_EQ(Load(dir.File("proj.tvp")).Records[0].Station, "SECOND");
  EXPECT_FALSE(fs::exists(dir.File("proj.tvp.new")));
}

TEST(ProjectFile, ManyRecordsUseThreeDigitKeysAndLongStationsAreCut) {
  TempDir dir;
  TProject p;
  for (int i = 0; i < 101; ++i) {
    TFileRecord r;
    r.Station = "S" + std::to_string(i);
    r.Channels.resize(1);
    r.Channels[0].Channel = "Z" + std::to_string(i);
    p.Records.push_back(r);
  }
  p.Records[100].Station = "ABCDEFGHI";
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(p, dir.File("many.tvp"), 0, host).Ok);
  const std::string text = FileText(dir.File("many.tvp"));
  EXPECT_NE(text.find("\r\nFile100="), std::string::npos);
  EXPECT_NE(text.find("\r\n[REC100]\r\nChannel01=Z99\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n[REC09]\r\n"), std::string::npos);
  const TProject loaded = Load(dir.File("many.tvp"));
  ASSERT_EQ(loaded.Records.size(), 101u);
  EXPECT_EQ(loaded.Records[100].Station, "ABCDEFG");
  EXPECT_EQ(loaded.Records[100].Channels[0].Channel, "Z100");
  EXPECT_EQ(loaded.Records[8].Channels[0].Channel, "Z8");
}

// A project typed by hand, as a user or another program writes one: Windows paths, LF lines,
// keys in other letter cases, missing keys.
// Numbers the program never writes itself (a component beyond T, kinds of spectrum and estimate
// it does not know) are carried through a load and a save as they were stored, and a loaded
// project saves to the same bytes it was read from.
TEST_P(ProjectRoundTrip, StoredNumbersSurviveLoadAndSaveByteForByte) {
  const int form = GetParam();
  TempDir dir;
  TProject original = SampleProject(dir.Path().string());
  original.Records[0].Channels[1].Axis = static_cast<Component>(7);
  original.Records[1].Channels[2].Axis = static_cast<Component>(-3);
  original.Settings[0].SpectrumType = static_cast<TSpectrumType>(5);
  original.Settings[1].EstimationType = static_cast<TEstimationType>(-2);
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(original, dir.File("first"), form, host).Ok);
  TProject loaded = Load(dir.File("first.tvp"));
  EXPECT_EQ(ComponentNumber(loaded.Records[0].Channels[1].Axis), 7);
  EXPECT_EQ(ComponentNumber(loaded.Records[1].Channels[2].Axis), -3);
  EXPECT_EQ(static_cast<int32_t>(loaded.Settings[0].SpectrumType), 5);
  EXPECT_EQ(static_cast<int32_t>(loaded.Settings[1].EstimationType), -2);
  ASSERT_TRUE(SaveProject(loaded, dir.File("first"), form, host).Ok);
  EXPECT_EQ(ReadBytes(dir.File("first.tvp")), ReadBytes(ProjectBackupName(dir.File("first.tvp"))));
}

TEST(ProjectFile, HandWrittenTextProjectLoadsEveryValue) {
  TempDir dir;
  const std::string folder = dir.Path().string();
  const std::string text =
      "[VERSION]\r\nProjectVersion=1\r\n\r\n"
      "[FILES]\r\nFileNum=2\r\n"
      "File01=$CommonDir\\data\\2016\\ST01.msd\r\nStation01=\xCF\xF3\xED\xEA\xF2\r\n"
      "ChannelCount01=2\r\nSampRate01=100\r\nToProcess01=1\r\nToProcessNakamura01=0\r\n"
      "SelIndex01=3\r\nSelNakIndex01=-1\r\nStart01=03.06.2016 19:55:00\r\n"
      "Finish01=03.06.2016 20:55:00\r\nSelectStart01=03.06.2016 20:00:00\r\n"
      "SelectFinish01=03.06.2016 20:30:00\r\nIsEvent01=1\r\n"
      "file02=D:\\other\\x.gcf\n\n"
      "[REC01]\nChannel01=HHZ\nSensorResp01=$CommonDir\\resp\\s.paz\nAxis01=2\nLevel01=5000\n"
      "ChanSelected01=1\nADCCoef01=1E9\nChannel02=HHE\nChannelResp02=c:\\r\\c.rsp\n"
      "AXIS02=0\n\n"
      "[SETTINGS]\nResultDir=$CommonDir\\res\nDataFormat=7\nRecognizeComponent=0\nMaxSpan=60\n"
      "SampRateDefault=100\nUseFFT=0\nSpectrumType=1\nEstimationType=0\nSilenceDur=81.92\n"
      "NoiseDur=7\nDanielWin=9\nWindowType=5\nB=3.5\nEdgeEffect=1\nFMin=0.5\nFMax=25\n"
      "EdgeOrder=4\nUnitOut=2\nNoiseFiletr=1\nNoiseFMin=1\nNoiseFMax=10\nNoiseOrder=8\n\n"
      "[EVENTSETTINGS]\nNoiseFiletr1=1\nNoiseFMin1=2\nNoiseFMax1=30\nNoiseOrder1=10\n"
      "NoiseFiletr=0\nUnitOut=1\n";
  WriteText(dir.File("hand.tvp"), text);
  EXPECT_EQ(ProbeProjectFormat(dir.File("hand.tvp")), 0);
  const TProject p = Load(dir.File("hand.tvp"));
  ASSERT_EQ(p.Records.size(), 2u);
  const TFileRecord& r = p.Records[0];
  EXPECT_EQ(r.File, folder + "/data/2016/ST01.msd");
  EXPECT_EQ(r.Station, "Пункт");
  EXPECT_EQ(r.ChannelCount(), 2);
  EXPECT_EQ(r.SampRate, 100.0);
  EXPECT_TRUE(r.ToProcess);
  EXPECT_FALSE(r.ToProcessNakamura);
  EXPECT_EQ(r.SelIndex, 3);
  EXPECT_EQ(r.SelNakIndex, -1);
  EXPECT_NEAR(r.Start, EncodeDateTime(2016, 6, 3, 19, 55, 0), 1e-9);
  EXPECT_NEAR(r.Finish, EncodeDateTime(2016, 6, 3, 20, 55, 0), 1e-9);
  EXPECT_NEAR(r.SelectStart, EncodeDateTime(2016, 6, 3, 20, 0, 0), 1e-9);
  EXPECT_NEAR(r.SelectFinish, EncodeDateTime(2016, 6, 3, 20, 30, 0), 1e-9);
  EXPECT_TRUE(r.IsEvent);
  EXPECT_EQ(r.Channels[0].Channel, "HHZ");
  EXPECT_EQ(r.Channels[0].SensorResp, folder + "/resp/s.paz");
  EXPECT_EQ(r.Channels[0].Level, 5000);
  EXPECT_TRUE(r.Channels[0].Selected);
  EXPECT_EQ(r.Channels[0].ADCCoef, 1e9);
  EXPECT_EQ(r.Channels[1].Channel, "HHE");
  EXPECT_EQ(r.Channels[1].SensorResp, "");
  EXPECT_EQ(r.Channels[1].ChannelResp, "c:/r/c.rsp");
  EXPECT_EQ(r.Channels[1].Axis, Component::kE);
  EXPECT_EQ(r.Channels[1].Level, 2147483647);  // defaults of the missing keys
  EXPECT_FALSE(r.Channels[1].Selected);
  EXPECT_EQ(r.Channels[1].ADCCoef, 800.0);
  // Record 2 has only its file: every other value is the default.
  const TFileRecord& d = p.Records[1];
  EXPECT_EQ(d.File, "D:/other/x.gcf");
  EXPECT_EQ(d.Station, "Sta02");
  EXPECT_EQ(d.ChannelCount(), 0);
  EXPECT_EQ(d.SelIndex, -1);
  EXPECT_EQ(d.Finish - d.Start, 1.0);
  EXPECT_EQ(d.SelectStart, d.Start);
  EXPECT_EQ(d.SelectFinish, d.Finish);
  EXPECT_EQ(p.General.ResultDir, folder + "/res");
  EXPECT_EQ(p.General.DataFormat, 7);
  EXPECT_FALSE(p.General.RecognizeComponent);
  EXPECT_EQ(p.General.MaxSpan, 60);
  EXPECT_EQ(p.General.SampRateDefault, 100.0);
  const TSpectrumSettings& s = p.Settings[0];
  EXPECT_FALSE(s.UseFFT);
  EXPECT_EQ(s.SpectrumType, TSpectrumType::kPower);
  EXPECT_EQ(s.EstimationType, TEstimationType::kDaniell);
  EXPECT_EQ(s.SilenceDur, 81.92);
  EXPECT_EQ(s.NoiseDur, 7.0);
  EXPECT_EQ(s.DanielWin, 9);
  EXPECT_EQ(s.WindowType, 5);
  EXPECT_EQ(s.B, 3.5);
  EXPECT_TRUE(s.EdgeEffect);
  EXPECT_EQ(s.FMin, 0.5);
  EXPECT_EQ(s.FMax, 25.0);
  EXPECT_EQ(s.EdgeOrder, 4);
  EXPECT_EQ(s.UnitOut, 2);
  EXPECT_TRUE(s.NoiseFilter);
  EXPECT_EQ(s.NoiseFMin, 1.0);
  EXPECT_EQ(s.NoiseFMax, 10.0);
  EXPECT_EQ(s.NoiseOrder, 8);
  // The event set reads only the suffixed noise-filter keys; the rest are defaults.
  const TSpectrumSettings& e = p.Settings[1];
  EXPECT_TRUE(e.NoiseFilter);
  EXPECT_EQ(e.NoiseFMin, 2.0);
  EXPECT_EQ(e.NoiseFMax, 30.0);
  EXPECT_EQ(e.NoiseOrder, 10);
  EXPECT_EQ(e.UnitOut, 1);
  EXPECT_EQ(e.EstimationType, TEstimationType::kBartlett);
  EXPECT_TRUE(e.UseFFT);
  EXPECT_EQ(e.SilenceDur, 20.0);
}

TEST(ProjectFile, UnparsableTextValuesGiveDefaults) {
  TempDir dir;
  WriteText(dir.File("bad.tvp"),
            "[VERSION]\r\nProjectVersion=1\r\n[FILES]\r\nFileNum=1\r\nChannelCount01=x\r\n"
            "SampRate01=1,5\r\nStart01=31.02.2016\r\nFinish01=01.01.2020 25:00:00\r\n"
            "SelIndex01=9999999999\r\nToProcess01=yes\r\n[SETTINGS]\r\nMaxSpan=5000\r\n"
            "SampRateDefault=0\r\nDataFormat=42\r\nSilenceDur=abc\r\nUseFFT=0.5\r\n\r\n"
            "[EVENTSETTINGS]\r\n\r\n");
  const TProject p = Load(dir.File("bad.tvp"));
  ASSERT_EQ(p.Records.size(), 1u);
  const TFileRecord& r = p.Records[0];
  EXPECT_EQ(r.ChannelCount(), 0);
  EXPECT_EQ(r.SampRate, 0.0);
  EXPECT_EQ(r.Finish - r.Start, 1.0);
  EXPECT_EQ(r.SelIndex, -1);
  EXPECT_FALSE(r.ToProcess);
  // The general settings are held to what their controls accept.
  EXPECT_EQ(p.General.MaxSpan, 999);
  EXPECT_EQ(p.General.SampRateDefault, 1.0);
  EXPECT_EQ(p.General.DataFormat, 0);
  EXPECT_EQ(p.Settings[0].SilenceDur, 20.0);
  EXPECT_TRUE(p.Settings[0].UseFFT);
}

TEST(ProjectFile, VersionsAndForeignFiles) {
  TempDir dir;
  TProject before = SampleProject(dir.Path().string(), 1);
  struct Case {
    const char* Name;
    std::vector<uint8_t> Bytes;
    int Probe;
    LoadStatus Status;
    bool Message;
  };
  const Case cases[] = {
      {"v2.tvp",
       {'F', 'V', 'E', 'R', 2, 0, 0, 0, 'D', 'V', 'E', 'R', 1, 0, 0, 0},
       2,
       LoadStatus::kNewerVersion,
       false},
      {"v0.tvp", {'F', 'V', 'E', 'R', 0, 0, 0, 0}, 0, LoadStatus::kUnknownVersion, true},
      {"short.tvp", {'F', 'V', 'E', 'R', 1}, -1, LoadStatus::kUnknownVersion, true},
      {"other.tvp", {'h', 'e', 'l', 'l', 'o'}, -1, LoadStatus::kUnknownVersion, true},
      {"empty.tvp", {}, -1, LoadStatus::kUnknownVersion, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteBytes(dir.File(c.Name), c.Bytes);
    EXPECT_EQ(ProbeProjectFormat(dir.File(c.Name)), c.Probe);
    TProject p = before;
    RecordingUiHost host;
    EXPECT_EQ(LoadProject(p, dir.File(c.Name), host), c.Status);
    EXPECT_EQ(host.Messages.size(), c.Message ? 1u : 0u);
    if (c.Message) {
      EXPECT_EQ(host.Messages[0], "Неизвестная версия файла " + dir.File(c.Name));
      EXPECT_TRUE(host.HasCode(TCode::kUnknownVersion));
    }
    EXPECT_EQ(p.Records.size(), 1u);  // not loaded: nothing changed
    EXPECT_TRUE(p.FileName.empty());
  }

  RecordingUiHost host;
  TProject p = before;
  const TLoadResult none = LoadProject(p, dir.File("none.tvp"), host);
  EXPECT_EQ(none, LoadStatus::kNotFound);
  EXPECT_EQ(none.Status.Code, TCode::kFileNotFound);
  EXPECT_EQ(none.Status.File, dir.File("none.tvp"));
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_EQ(host.Messages[0], "Файл " + dir.File("none.tvp") + " не найден");

  // A wrong block marker: an empty project attached to the file, and the message.
  WriteBytes(dir.File("marker.tvp"),
             {'F', 'V', 'E', 'R', 1, 0, 0, 0, 'X', 'V', 'E', 'R', 1, 0, 0, 0, 5, 0, 0, 0});
  RecordingUiHost marker_host;
  EXPECT_EQ(LoadProject(p, dir.File("marker.tvp"), marker_host), LoadStatus::kUnknownVersion);
  EXPECT_TRUE(p.Records.empty());
  EXPECT_EQ(p.FileName, dir.File("marker.tvp"));
  EXPECT_EQ(marker_host.Messages.size(), 1u);
}

// Every cut of a binary project is refused as damaged, naming the byte where it ends; only a cut
// right before block 2 reads, as the file of an older version without the H/V settings.
TEST(ProjectFile, EveryCutOfABinaryProjectIsRefused) {
  TempDir dir;
  TProject full = SampleProject(dir.Path().string());
  full.Hvsr.GridPoints = 128;
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(full, dir.File("full.tvp"), 1, host).Ok);
  const std::vector<uint8_t> bytes = ReadBytes(dir.File("full.tvp"));
  const std::vector<uint8_t> block2 = {'D', 'V', 'E', 'R', 2, 0, 0, 0};
  const auto at = std::search(bytes.rbegin(), bytes.rend(), block2.rbegin(), block2.rend());
  ASSERT_NE(at, bytes.rend());
  const size_t older = static_cast<size_t>(at.base() - bytes.begin()) - block2.size();
  const std::string cut = dir.File("cut.tvp");
  for (size_t n = 8; n < bytes.size(); ++n) {
    WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n)));
    TProject p = SampleProject("/other", 1);
    RecordingUiHost h;
    const LoadStatus status = LoadProject(p, cut, h);
    if (n < 16) {
      // Without the whole block marker the file is of an unknown version.
      EXPECT_EQ(status, LoadStatus::kUnknownVersion) << n;
      continue;
    }
    if (n == older) {
      ASSERT_EQ(status, LoadStatus::kLoaded);
      ExpectSameProject(full, p, 0.0);
      EXPECT_EQ(p.Hvsr.GridPoints, THvsrSettings{}.GridPoints);
      continue;
    }
    ASSERT_EQ(status, LoadStatus::kDamaged) << n;
    ASSERT_EQ(h.Messages.size(), 1u) << n;
    EXPECT_EQ(
        h.Messages[0].rfind(
            "Файл " + cut + " поврежден: байт " + std::to_string(n) + ": файл обрывается ", 0),
        0u)
        << h.Messages[0];
    // The project in hand stays as it was.
    ASSERT_EQ(p.Records.size(), 1u) << n;
    EXPECT_EQ(p.Records[0].File, "/other/data/rec0.msd");
  }
  // Where it breaks off is said in words.
  WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40));
  TProject p;
  RecordingUiHost h;
  const TLoadResult damaged = LoadProject(p, cut, h);
  ASSERT_EQ(damaged, LoadStatus::kDamaged);
  EXPECT_EQ(h.Messages, std::vector<std::string>{"Файл " + cut +
                                                 " поврежден: байт 40: файл обрывается на "
                                                 "записи 1 из 3"});
  // The status names the file and the byte; its reason is the place and what is wrong there.
  EXPECT_EQ(damaged.Status.Code, TCode::kFileDamaged);
  EXPECT_EQ(damaged.Status.File, cut);
  EXPECT_EQ(damaged.Status.Offset, 40);
  EXPECT_EQ(damaged.Status.Line, -1);
  ASSERT_EQ(damaged.Status.Args.size(), 2u);
  ASSERT_NE(damaged.Status.Args[1].Nested, nullptr);
  EXPECT_EQ(damaged.Status.Args[1].Nested->Code, TCode::kAtByte);
  EXPECT_TRUE(h.HasCode(TCode::kFileDamaged));
  EXPECT_EQ(Text(damaged.Status, TLanguage::kEnglish),
            "File " + cut + " is damaged: byte 40: the file ends at record 1 of 3");
}

// 1-based number of the first line of text that starts with start.
int LineOf(const std::string& text, const std::string& start) {
  const size_t at = text.find("\n" + start);
  if (at == std::string::npos) return 0;
  return 2 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

// Every cut of a text project either reads back all of it or is refused as damaged with the
// line where it ends: only cuts after the last key of the event settings read (as the file of
// an older version without the H/V section when the cut comes before it).
TEST(ProjectFile, EveryCutOfATextProjectIsRefused) {
  TempDir dir;
  TProject full = SampleProject(dir.Path().string());
  full.Hvsr.GridPoints = 128;
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(full, dir.File("full.tvp"), 0, host).Ok);
  const std::string text = FileText(dir.File("full.tvp"));
  const size_t last_event_key = text.find("\r\nNoiseOrder1=");
  const size_t first_readable = text.find("\r\n", last_event_key + 2);
  const size_t hvsr = text.find("[HVSR]");
  ASSERT_NE(hvsr, std::string::npos);
  const std::string cut = dir.File("cut.tvp");
  int readable = 0;
  for (size_t n = 2; n < text.size(); ++n) {
    const std::string part = text.substr(0, n);
    WriteText(cut, part);
    TProject p = SampleProject("/other", 1);
    RecordingUiHost h;
    const LoadStatus status = LoadProject(p, cut, h);
    if (status == LoadStatus::kLoaded) {
      ++readable;
      EXPECT_GT(n, first_readable) << n;
      ExpectSameProject(full, p, 1.0 / kSecondsPerDay);
      EXPECT_EQ(p.Hvsr.GridPoints, n > hvsr ? 128 : THvsrSettings{}.GridPoints) << n;
      continue;
    }
    ASSERT_EQ(status, LoadStatus::kDamaged) << n;
    ASSERT_EQ(h.Messages.size(), 1u) << n;
    const int last_line = 1 + static_cast<int>(std::count(part.begin(), part.end(), '\n'));
    // The message names the last line that holds text.
    const std::string trimmed = part.substr(0, part.find_last_not_of("\r\n") + 1);
    const int text_line = 1 + static_cast<int>(std::count(trimmed.begin(), trimmed.end(), '\n'));
    EXPECT_LE(text_line, last_line);
    EXPECT_EQ(h.Messages[0].rfind(
                  "Файл " + cut + " поврежден: строка " + std::to_string(text_line) + ": ", 0),
              0u)
        << n << ": " << h.Messages[0];
    ASSERT_EQ(p.Records.size(), 1u) << n;
    EXPECT_EQ(p.Records[0].File, "/other/data/rec0.msd");
  }
  // "\r", "\r\n", "\r\n\r" after the last key of the H/V section, and these and "\r\n\r\n"
  // after that of the event settings.
  EXPECT_EQ(readable, 7);

  // The cut of the issue: inside the record list of a project of four records.
  TProject four = SampleProject(dir.Path().string(), 4);
  ASSERT_TRUE(SaveProject(four, dir.File("base.tvp"), 0, host).Ok);
  const std::string base = FileText(dir.File("base.tvp")).substr(0, 700);
  WriteText(cut, base);
  TProject p;
  RecordingUiHost h;
  const TLoadResult damaged = LoadProject(p, cut, h);
  ASSERT_EQ(damaged, LoadStatus::kDamaged);
  const int line = 1 + static_cast<int>(std::count(base.begin(), base.end(), '\n'));
  EXPECT_EQ(damaged.Status.Line, line);
  EXPECT_EQ(damaged.Status.Offset, -1);
  EXPECT_EQ(h.Messages,
            std::vector<std::string>{"Файл " + cut + " поврежден: строка " + std::to_string(line) +
                                     ": файл обрывается внутри строки раздела [FILES]"});
}

// Whole lines taken out or changed: the record count against the records' keys and sections,
// the sections every project has.
TEST(ProjectFile, TextProjectsWhoseRecordsDisagreeAreRefused) {
  TempDir dir;
  RecordingUiHost host;
  TProject sample = SampleProject(dir.Path().string());
  ASSERT_TRUE(SaveProject(sample, dir.File("p.tvp"), 0, host).Ok);
  const std::string text = FileText(dir.File("p.tvp"));
  const auto without = [&text](const std::string& from, const std::string& to) {
    const size_t a = text.find(from);
    const size_t b = text.find(to, a);
    return text.substr(0, a) + text.substr(b);
  };
  const auto replaced = [&text](const std::string& from, const std::string& to) {
    std::string t = text;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  const std::string no_rec02 = without("[REC02]", "[SETTINGS]");
  const std::string no_settings = without("[SETTINGS]", "[EVENTSETTINGS]");
  const std::string one_record = replaced("FileNum=3", "FileNum=1");
  const struct {
    const char* Name;
    std::string Text;
    int Line;
    std::string What;
    TCode Code;
  } cases[] = {
      {"more records counted than listed", replaced("FileNum=3", "FileNum=4"),
       LineOf(text, "FileNum="), "FileNum=4, но в разделе [FILES] нет значений записи 4",
       TCode::kRecordValuesMissing},
      {"a record's channels without their section", no_rec02, LineOf(no_rec02, "ChannelCount02="),
       "ChannelCount02=3, но раздела [REC02] нет", TCode::kRecordSectionMissing},
      {"a section of a record that is not counted", one_record, LineOf(one_record, "[REC02]"),
       "раздел [REC02] относится к записи 2, а записей FileNum=1", TCode::kSectionBeyondRecords},
      {"no [SETTINGS]", no_settings,
       static_cast<int>(std::count(no_settings.begin(), no_settings.end(), '\n')) - 1,
       "в файле нет раздела [SETTINGS]", TCode::kMissingSection},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_GT(c.Line, 0);
    WriteText(dir.File("d.tvp"), c.Text);
    TProject p;
    RecordingUiHost h;
    const TLoadResult damaged = LoadProject(p, dir.File("d.tvp"), h);
    EXPECT_EQ(damaged, LoadStatus::kDamaged);
    EXPECT_EQ(h.Messages,
              std::vector<std::string>{"Файл " + dir.File("d.tvp") + " поврежден: строка " +
                                       std::to_string(c.Line) + ": " + c.What});
    EXPECT_EQ(damaged.Status.Line, c.Line);
    ASSERT_EQ(damaged.Status.Args.size(), 2u);
    ASSERT_NE(damaged.Status.Args[1].Nested, nullptr);
    const TStatus& at = *damaged.Status.Args[1].Nested;
    EXPECT_EQ(at.Code, TCode::kAtLine);
    ASSERT_EQ(at.Args.size(), 2u);
    ASSERT_NE(at.Args[1].Nested, nullptr);
    EXPECT_EQ(at.Args[1].Nested->Code, c.Code);
    EXPECT_TRUE(p.FileName.empty());
  }
}

// A project remembers the form its file was read or written in, and what the file held, so that
// a save keeps the form and a writer can tell a file changed by someone else.
TEST(ProjectFile, LoadAndSaveRememberTheFormAndTheFile) {
  TempDir dir;
  RecordingUiHost host;
  TProject p = SampleProject(dir.Path().string(), 2);
  const std::string name = dir.File("p.tvp");
  EXPECT_FALSE(ProjectFileStamp(name).Known);
  for (int form : {1, 0}) {
    SCOPED_TRACE(form);
    ASSERT_TRUE(SaveProject(p, name, form, host).Ok);
    EXPECT_EQ(p.Form, form);
    const TProjectStamp saved = ProjectFileStamp(name);
    EXPECT_TRUE(saved.Known);
    EXPECT_EQ(saved.Size, fs::file_size(name));
    EXPECT_EQ(p.Disk, saved);
    TProject back;
    ASSERT_EQ(LoadProject(back, name, host), LoadStatus::kLoaded);
    EXPECT_EQ(back.Form, form);
    EXPECT_EQ(back.Disk, saved);
    // Another writer's change of the same size is seen.
    back.Records[0].Station = "ST9";
    ASSERT_TRUE(SaveProject(back, name, form, host).Ok);
    EXPECT_EQ(fs::file_size(name), saved.Size);
    EXPECT_NE(ProjectFileStamp(name), saved);
    EXPECT_EQ(ProjectFileStamp(name), back.Disk);
  }
}

// The stamp a save keeps is what the file holds, for projects of any size in both forms (the
// binary form of a large one takes many write buffers), ASCII and not, and after a second save
// over the first.
TEST(ProjectFile, SavedStampIsTheFileAsRead) {
  TempDir dir;
  RecordingUiHost host;
  for (const int records : {0, 1, 3, 700}) {
    for (const bool ascii : {true, false}) {
      TProject p = SampleProject(dir.Path().string(), records);
      if (ascii && records > 1) p.Records[1].Station = "ST1";
      if (!ascii) p.General.ResultDir = dir.Path().string() + "/Результаты";
      for (const int form : {0, 1, 0}) {
        SCOPED_TRACE(::testing::Message()
                     << records << " records, ascii " << ascii << ", form " << form);
        const std::string name = dir.File("stamp" + std::to_string(records) + ".tvp");
        ASSERT_TRUE(SaveProject(p, name, form, host).Ok);
        EXPECT_TRUE(p.Disk.Known);
        EXPECT_EQ(p.Disk, ProjectFileStamp(name));
      }
    }
  }
}

// The H/V statistics settings: kept by both forms, defaults for a project without them (as an
// older version writes it) and for values out of range.
TEST(ProjectFile, HvsrSettingsRoundTripAndDefaults) {
  TempDir dir;
  TProject p = SampleProject(dir.Path().string(), 1);
  p.Hvsr.Smoothing = THvsrSmoothing::kNone;
  p.Hvsr.Bandwidth = 25.0;
  p.Hvsr.GridFMin = 0.2;
  p.Hvsr.GridFMax = 20.0;
  p.Hvsr.GridPoints = 128;
  p.Hvsr.Horizontal = THvsrHorizontal::kSquared;
  p.Hvsr.Rejection = THvsrRejection::kNone;
  p.Hvsr.RejectionN = 1.5;
  p.Hvsr.BandFMin = 0.5;
  p.Hvsr.BandFMax = 10.0;
  auto same = [](const THvsrSettings& a, const THvsrSettings& b) {
    return a.Smoothing == b.Smoothing && a.Bandwidth == b.Bandwidth && a.GridFMin == b.GridFMin &&
           a.GridFMax == b.GridFMax && a.GridPoints == b.GridPoints &&
           a.Horizontal == b.Horizontal && a.Rejection == b.Rejection &&
           a.RejectionN == b.RejectionN && a.BandFMin == b.BandFMin && a.BandFMax == b.BandFMax;
  };
  for (int form : {0, 1}) {
    RecordingUiHost host;
    const std::string name = dir.File(form == 0 ? "text.tvp" : "binary.tvp");
    ASSERT_TRUE(SaveProject(p, name, form, host).Ok);
    TProject back;
    ASSERT_EQ(LoadProject(back, name, host), LoadStatus::kLoaded);
    EXPECT_TRUE(same(back.Hvsr, p.Hvsr)) << form;
    ASSERT_EQ(back.Records.size(), 1u);

    // Without block 2 / the section, as an older version wrote it.
    std::vector<uint8_t> bytes = ReadBytes(name);
    if (form == 1) {
      const std::vector<uint8_t> block2 = {'D', 'V', 'E', 'R', 2, 0, 0, 0};
      const auto at = std::search(bytes.rbegin(), bytes.rend(), block2.rbegin(), block2.rend());
      ASSERT_NE(at, bytes.rend());
      bytes.erase(at.base() - static_cast<long>(block2.size()), bytes.end());
    } else {
      const std::string text(bytes.begin(), bytes.end());
      const size_t section = text.find("[HVSR]");
      ASSERT_NE(section, std::string::npos);
      bytes.resize(section);
    }
    WriteBytes(name, bytes);
    TProject old;
    ASSERT_EQ(LoadProject(old, name, host), LoadStatus::kLoaded);
    EXPECT_TRUE(same(old.Hvsr, THvsrSettings{})) << form;
    EXPECT_EQ(old.Settings[1].NoiseOrder, p.Settings[1].NoiseOrder) << form;
  }
  // A value out of range in a hand-edited file: the defaults.
  RecordingUiHost save_host;
  ASSERT_TRUE(SaveProject(p, dir.File("bad.tvp"), 0, save_host).Ok);
  std::string text = FileText(dir.File("bad.tvp"));
  const size_t points = text.find("GridPoints=128\r\n");
  ASSERT_NE(points, std::string::npos);
  text.replace(points, 14, "GridPoints=1");
  WriteText(dir.File("bad.tvp"), text);
  TProject bad;
  RecordingUiHost host;
  ASSERT_EQ(LoadProject(bad, dir.File("bad.tvp"), host), LoadStatus::kLoaded);
  EXPECT_TRUE(same(bad.Hvsr, THvsrSettings{}));
}

// A stored channel count above the record's 32: the first 32 channels are read, the rest read
// past, so the next record's channels and the settings still land where they belong.
TEST(ProjectFile, ChannelsBeyondThirtyTwoAreSkipped) {
  TempDir dir;
  // The settings part of a binary file: everything after the 20 bytes of header and FileNum of
  // a project without records.
  TProject settings_source;
  settings_source.General.MaxSpan = 77;
  settings_source.Settings[1].NoiseOrder = 9;
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(settings_source, dir.File("empty.tvp"), 1, host).Ok);
  const std::vector<uint8_t> empty = ReadBytes(dir.File("empty.tvp"));
  ASSERT_GT(empty.size(), 20u);

  const std::string path = dir.File("wide.tvp");
  {
    TBinIniFile ini(path, true, TBinIniFile::Mode::kWrite);
    for (int32_t v : {kProjectMagic, 1, kBlockMarker, 1, 2}) ini.WriteInteger("", "", v);
    for (int k = 0; k < 2; ++k) {
      ini.WriteString("", "", "f" + std::to_string(k));
      ini.WriteString("", "", "S" + std::to_string(k));
      ini.WriteInteger("", "", k == 0 ? 34 : 1);
      ini.WriteFloat("", "", 100.0);
      ini.WriteBool("", "", true);
      ini.WriteBool("", "", false);
      ini.WriteInteger("", "", -1);
      ini.WriteInteger("", "", -1);
      for (int t = 0; t < 4; ++t) ini.WriteDateTime("", "", 42000.0 + t);
      ini.WriteBool("", "", false);
    }
    for (int c = 0; c < 35; ++c) {
      ini.WriteString("", "", "C" + std::to_string(c));
      for (int t = 0; t < 3; ++t) ini.WriteString("", "", "");
      ini.WriteInteger("", "", c % 3);
      ini.WriteInteger("", "", c);
      ini.WriteBool("", "", true);
      ini.WriteFloat("", "", c * 10.0);
    }
    ASSERT_TRUE(ini.Close());
  }
  std::vector<uint8_t> bytes = ReadBytes(path);
  bytes.insert(bytes.end(), empty.begin() + 20, empty.end());
  WriteBytes(path, bytes);

  const TProject p = Load(path);
  ASSERT_EQ(p.Records.size(), 2u);
  EXPECT_EQ(p.Records[0].ChannelCount(), 32);
  EXPECT_EQ(p.Records[0].Channels[31].Channel, "C31");
  EXPECT_EQ(p.Records[0].Channels[31].Level, 31);
  EXPECT_EQ(p.Records[1].ChannelCount(), 1);
  EXPECT_EQ(p.Records[1].Channels[0].Channel, "C34");
  EXPECT_EQ(p.Records[1].Channels[0].Axis, Component::kN);
  EXPECT_EQ(p.Records[1].Channels[0].ADCCoef, 340.0);
  EXPECT_EQ(p.General.MaxSpan, 77);
  EXPECT_EQ(p.Settings[1].NoiseOrder, 9);

  // The text form finds its keys by name: channels 33 and on are simply not read.
  WriteText(dir.File("wide_text.tvp"),
            "[VERSION]\r\nProjectVersion=1\r\n[FILES]\r\nFileNum=1\r\nChannelCount01=40\r\n"
            "[REC01]\r\nChannel32=last\r\nChannel33=beyond\r\n\r\n"
            "[SETTINGS]\r\n\r\n[EVENTSETTINGS]\r\n\r\n");
  const TProject t = Load(dir.File("wide_text.tvp"));
  ASSERT_EQ(t.Records.size(), 1u);
  EXPECT_EQ(t.Records[0].ChannelCount(), 32);
  EXPECT_EQ(t.Records[0].Channels[31].Channel, "last");
}

TEST(ProjectFile, FailedSaveLeavesThePreviousFileReadable) {
  TempDir dir;
  TProject p = SampleProject(dir.Path().string(), 2);
  RecordingUiHost host;
  const std::string name = dir.File("keep.tvp");
  ASSERT_TRUE(SaveProject(p, name, 0, host).Ok);
  const std::string previous = FileText(name);

  p.Records[0].Station = "CHANGED";
  p.Modified = true;
  // The file cannot be created: a folder stands where the new file would be written.
  fs::create_directory(name + ".new");
  RecordingUiHost fail_host;
  const SaveResult blocked = SaveProject(p, name, 1, fail_host);
  EXPECT_FALSE(blocked.Ok);
  EXPECT_EQ(fail_host.Messages.size(), 1u);
  EXPECT_TRUE(p.Modified);
  EXPECT_EQ(FileText(name), previous);
  fs::remove(name + ".new");

  // Saving into a folder that does not exist fails and keeps the project's own file and folder.
  const SaveResult nowhere = SaveProject(p, dir.File("no/such/folder/x.tvp"), 0, fail_host);
  EXPECT_FALSE(nowhere.Ok);
  EXPECT_EQ(p.FileName, name);
  EXPECT_EQ(p.Folder, dir.Path().string());

#ifdef __linux__
  // A full disk: writes beyond 600 bytes fail half way through the file.
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit small = old_limit;
  small.rlim_cur = 600;
  setrlimit(RLIMIT_FSIZE, &small);
  const SaveResult full = SaveProject(p, name, 1, fail_host);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(full.Ok);
  EXPECT_FALSE(fs::exists(name + ".new"));
  EXPECT_TRUE(p.Modified);
  EXPECT_EQ(FileText(name), previous);
  const TProject reread = Load(name);
  ASSERT_EQ(reread.Records.size(), 2u);
  EXPECT_EQ(reread.Records[0].Station, "ST0");
#endif
}

// A path the file's code page cannot hold would be written with "?" and never read back: the
// save is refused, naming it, and nothing is written; a path below the project's folder is
// stored relative to it, so only its own part counts.
TEST(ProjectFile, PathsTheFileCannotHoldAreNotSaved) {
  TempDir dir;
  TProject p = SampleProject(dir.Path().string(), 1);
  p.Records[0].File = "/data/\xE8\xA6\xB3/x.msd";
  RecordingUiHost host;
  const std::string name = dir.File("p.tvp");
  const SaveResult refused = SaveProject(p, name, 0, host);
  EXPECT_FALSE(refused.Ok);
  const std::string told = Text(refused.Error, TLanguage::kRussian);
  EXPECT_NE(told.find("путь /data/\xE8\xA6\xB3/x.msd содержит символ \xE8\xA6\xB3"),
            std::string::npos)
      << told;
  EXPECT_EQ(refused.Error.Code, TCode::kCannotSaveProject);
  EXPECT_EQ(refused.Error.File, refused.FileName);
  EXPECT_EQ(host.Messages, std::vector<std::string>{told});
  EXPECT_FALSE(fs::exists(name));

  const std::string folder = dir.File("\xE8\xA6\xB3");
  fs::create_directories(folder);
  p.Records[0].File = folder + "/x.msd";
  ASSERT_TRUE(SaveProject(p, folder + "/p.tvp", 0, host).Ok);
  EXPECT_EQ(Load(folder + "/p.tvp").Records[0].File, folder + "/x.msd");
}

}  // namespace
}  // namespace tarvik
