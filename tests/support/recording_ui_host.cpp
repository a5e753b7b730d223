#include "recording_ui_host.h"

#include <algorithm>

namespace tarvik::testing {

void RecordingUiHost::SetOperation(std::string_view text) {
  std::lock_guard lock(mutex_);
  Operations.emplace_back(text);
}

void RecordingUiHost::SetStage(std::string_view text) {
  std::lock_guard lock(mutex_);
  Stages.emplace_back(text);
}

void RecordingUiHost::SetGauge(int position, int maximum) {
  std::lock_guard lock(mutex_);
  Gauge.emplace_back(position, maximum);
}

void RecordingUiHost::SetProgress(int position, int maximum) {
  std::lock_guard lock(mutex_);
  Progress.emplace_back(position, maximum);
}

void RecordingUiHost::ProcessEvents() {
  int count;
  {
    std::lock_guard lock(mutex_);
    count = ++Events;
  }
  if (StopWhen && StopWhen(count)) RequestStop();
}

void RecordingUiHost::ShowMessage(std::string_view text) {
  std::lock_guard lock(mutex_);
  Messages.emplace_back(text);
}

bool RecordingUiHost::AskYesNo(std::string_view text) {
  std::lock_guard lock(mutex_);
  Questions.emplace_back(text);
  if (Answers.empty()) return false;
  const bool answer = Answers.front();
  Answers.pop_front();
  return answer;
}

void RecordingUiHost::Noted(const TStatus& status) {
  std::lock_guard lock(mutex_);
  Statuses.push_back(status);
}

bool RecordingUiHost::HasCode(TCode code) const {
  return std::any_of(Statuses.begin(), Statuses.end(),
                     [code](const TStatus& s) { return s.Code == code; });
}

bool RecordingUiHost::HasStage(const std::string& text) const {
  return std::find(Stages.begin(), Stages.end(), text) != Stages.end();
}

}  // namespace tarvik::testing
