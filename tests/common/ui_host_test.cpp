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

}  // namespace
}  // namespace tarvik
