#include "recording_ui_host.h"

#include <algorithm>

namespace tarvik::testing {

void RecordingUiHost::SetOperation(std::string_view text) {
  std::lock_guard lock(mutex_);
  operations.emplace_back(text);
}

void RecordingUiHost::SetStage(std::string_view text) {
  std::lock_guard lock(mutex_);
  stages.emplace_back(text);
}

void RecordingUiHost::SetGauge(int position, int maximum) {
  std::lock_guard lock(mutex_);
  gauge.emplace_back(position, maximum);
}

void RecordingUiHost::SetProgress(int position, int maximum) {
  std::lock_guard lock(mutex_);
  progress.emplace_back(position, maximum);
}

void RecordingUiHost::ProcessEvents() {
  int count;
  {
    std::lock_guard lock(mutex_);
    count = ++events;
  }
  if (stop_when && stop_when(count)) RequestStop();
}

void RecordingUiHost::ShowMessage(std::string_view text) {
  std::lock_guard lock(mutex_);
  messages.emplace_back(text);
}

bool RecordingUiHost::AskYesNo(std::string_view text) {
  std::lock_guard lock(mutex_);
  questions.emplace_back(text);
  if (answers.empty()) return false;
  const bool answer = answers.front();
  answers.pop_front();
  return answer;
}

void RecordingUiHost::Noted(const TStatus& status) {
  std::lock_guard lock(mutex_);
  statuses.push_back(status);
}

bool RecordingUiHost::HasCode(TCode code) const {
  return std::any_of(statuses.begin(), statuses.end(),
                     [code](const TStatus& s) { return s.Code == code; });
}

bool RecordingUiHost::HasStage(const std::string& text) const {
  return std::find(stages.begin(), stages.end(), text) != stages.end();
}

}  // namespace tarvik::testing
