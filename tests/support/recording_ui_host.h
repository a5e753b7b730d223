#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/ui_host.h"

namespace tarvik::testing {

// A UiHost that records every call, answers questions from a script and can request a stop
// at a chosen moment (the n-th ProcessEvents call, or a callback's choice).
class RecordingUiHost : public UiHost {
 public:
  using UiHost::AskYesNo;
  using UiHost::SetOperation;
  using UiHost::SetStage;
  using UiHost::ShowMessage;
  using UiHost::ShowMessageOfKind;
  void Noted(const TStatus& status) override;
  void SetOperation(std::string_view text) override;
  void SetStage(std::string_view text) override;
  void SetGauge(int position, int maximum) override;
  void SetProgress(int position, int maximum) override;
  void ProcessEvents() override;
  void ShowMessage(std::string_view text) override;
  bool AskYesNo(std::string_view text) override;

  // Answers given to the questions in turn; No when they run out.
  std::deque<bool> Answers;
  // Called on every ProcessEvents with its 1-based count; a stop is requested when it
  // returns true.
  std::function<bool(int)> StopWhen;

  std::vector<std::string> Operations;
  std::vector<std::string> Stages;
  std::vector<std::string> Messages;
  std::vector<std::string> Questions;
  std::vector<std::pair<int, int>> Gauge;
  std::vector<std::pair<int, int>> Progress;
  int Events = 0;
  // Every status told, in order.
  std::vector<TStatus> Statuses;

  // True when some stage text equals text.
  bool HasStage(const std::string& text) const;
  // True when some status told had code.
  bool HasCode(TCode code) const;

 private:
  std::mutex mutex_;
};

}  // namespace tarvik::testing
