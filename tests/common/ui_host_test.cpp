#include "common/ui_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_ui_host.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;

// A host standing in for another keeps the messages and passes on the rest; a stop asked on
// either is seen by both, so a calculation given the stand-in stops when the user stops the run.
TEST(CollectingUiHost, KeepsMessagesAndSharesTheStopFlag) {
  RecordingUiHost outer;
  {
    CollectingUiHost inner(outer);
    inner.SetStage("stage");
    inner.SetGauge(1, 2);
    inner.ShowMessage("first");
    inner.ShowMessage("second");
    EXPECT_FALSE(inner.StopRequested());
    outer.RequestStop();
    EXPECT_TRUE(inner.StopRequested());
    inner.ClearStop();
    EXPECT_FALSE(outer.StopRequested());
    inner.RequestStop();
    EXPECT_TRUE(outer.StopRequested());
    EXPECT_EQ(inner.Messages(), (std::vector<std::string>{"first", "second"}));
  }
  EXPECT_TRUE(outer.Messages.empty());
  EXPECT_EQ(outer.Stages, (std::vector<std::string>{"stage"}));
  EXPECT_EQ(outer.Gauge, (std::vector<std::pair<int, int>>{{1, 2}}));
  EXPECT_TRUE(outer.StopRequested());
}

// A batch run tells its collected messages at the end with the icon of the worst of them; a
// host that draws no icons still gets every message's text.
TEST(CollectingUiHost, KeepsTheWorstKind) {
  RecordingUiHost outer;
  const struct {
    std::vector<MessageKind> Kinds;
    MessageKind Worst;
  } cases[] = {
      {{}, MessageKind::kNote},
      {{MessageKind::kNote, MessageKind::kNote}, MessageKind::kNote},
      {{MessageKind::kWarning, MessageKind::kNote}, MessageKind::kWarning},
      {{MessageKind::kNote, MessageKind::kError, MessageKind::kWarning}, MessageKind::kError}};
  for (const auto& c : cases) {
    CollectingUiHost inner(outer);
    for (MessageKind kind : c.Kinds) inner.ShowMessageOfKind(kind, "m");
    EXPECT_EQ(inner.WorstKind(), c.Worst);
    EXPECT_EQ(inner.Messages().size(), c.Kinds.size());
  }
  outer.ShowError("e");
  outer.ShowWarning("w");
  EXPECT_EQ(outer.Messages, (std::vector<std::string>{"e", "w"}));
}

// The command line's host tells statuses in its language and prints texts as they are given:
// a text is never read back and told again, so what is data (a Russian station name, a path)
// stays whole in either language.
TEST(ConsoleUiHost, TellsStatusesInItsLanguageAndTextsAsGiven) {
  const struct {
    TLanguage Language;
    const char* Status;
  } cases[] = {{TLanguage::kEnglish, "File a.dat not found\n"},
               {TLanguage::kRussian, "Файл a.dat не найден\n"}};
  for (const auto& c : cases) {
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, false, c.Language);
    ::testing::internal::CaptureStderr();
    host.ShowMessage(MakeStatus(TCode::kFileNotFound, {"a.dat"}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.Status);
    ::testing::internal::CaptureStderr();
    host.ShowMessage("Файл a.dat не найден");
    host.SetOperation(MakeStatus(TCode::kCompressingRecords));
    const std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(told.rfind("Файл a.dat не найден\n", 0), 0u) << told;
    EXPECT_NE(told.find(Text(MakeStatus(TCode::kCompressingRecords), c.Language)),
              std::string::npos)
        << told;
  }
}

}  // namespace
}  // namespace tarvik
