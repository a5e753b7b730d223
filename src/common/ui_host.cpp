#include "common/ui_host.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#define TARVIK_ISATTY _isatty
#define TARVIK_FILENO _fileno
#else
#include <unistd.h>
#define TARVIK_ISATTY isatty
#define TARVIK_FILENO fileno
#endif

namespace tarvik {

ConsoleUiHost::ConsoleUiHost(Answer answer, bool quiet, TLanguage language)
    : answer_(answer),
      quiet_(quiet),
      terminal_(TARVIK_ISATTY(TARVIK_FILENO(stderr)) != 0),
      language_(language) {}

void ConsoleUiHost::ClearProgressLine() {
  if (line_shown_) {
    std::fputs("\r\033[K", stderr);
    line_shown_ = false;
  }
}

void ConsoleUiHost::DrawProgressLine() {
  if (!terminal_ || quiet_) return;
  int percent = 0;
  if (progress_max_ > 0) percent = static_cast<int>(100LL * progress_pos_ / progress_max_);
  const int gauge = gauge_max_ > 0 ? static_cast<int>(100LL * gauge_pos_ / gauge_max_) : -1;
  const int key = percent * 1000 + gauge;
  if (key == last_drawn_percent_ && line_shown_) return;
  last_drawn_percent_ = key;
  std::string line = "\r\033[K" + stage_;
  if (progress_max_ > 0) line += " " + std::to_string(percent) + "%";
  if (gauge >= 0)
    line += " [" + std::to_string(gauge_pos_) + "/" + std::to_string(gauge_max_) + "]";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  line_shown_ = true;
}

void ConsoleUiHost::SetOperation(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (text == operation_) return;
  operation_ = text;
  if (quiet_ || text.empty()) return;
  ClearProgressLine();
  std::fprintf(stderr, "%s\n", operation_.c_str());
}

void ConsoleUiHost::SetStage(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (text == stage_) return;
  stage_ = text;
  if (quiet_ || text.empty()) return;
  if (terminal_) {
    DrawProgressLine();
  } else {
    std::fprintf(stderr, "%s\n", stage_.c_str());
  }
}

void ConsoleUiHost::SetGauge(int position, int maximum) {
  std::lock_guard lock(mutex_);
  gauge_pos_ = position;
  gauge_max_ = maximum;
  DrawProgressLine();
}

void ConsoleUiHost::SetProgress(int position, int maximum) {
  std::lock_guard lock(mutex_);
  progress_pos_ = position;
  progress_max_ = maximum;
  DrawProgressLine();
}

void ConsoleUiHost::ShowMessage(std::string_view text) {
  std::lock_guard lock(mutex_);
  ClearProgressLine();
  std::fprintf(stderr, "%s\n", std::string(text).c_str());
}

bool ConsoleUiHost::AskYesNo(std::string_view text) {
  std::lock_guard lock(mutex_);
  ClearProgressLine();
  std::fputs(std::string(text).c_str(), stderr);
  if (answer_ != Answer::kAsk || !terminal_ || TARVIK_ISATTY(TARVIK_FILENO(stdin)) == 0) {
    const bool yes = answer_ == Answer::kYes;
    const std::string said(CatalogueText(yes ? TCode::kAnswerYes : TCode::kAnswerNo, language_));
    std::fprintf(stderr, " %s\n", said.c_str());
    return yes;
  }
  std::fprintf(stderr, " %s ", std::string(CatalogueText(TCode::kAnswerPrompt, language_)).c_str());
  std::fflush(stderr);
  std::string reply;
  if (!std::getline(std::cin, reply)) return false;
  return reply == "y" || reply == "Y" || reply == "yes" || reply == "да" || reply == "Да" ||
         reply == "д";
}

void CollectingUiHost::ShowMessage(std::string_view text) {
  std::lock_guard lock(mutex_);
  messages_.emplace_back(text);
}

void CollectingUiHost::ShowMessageOfKind(MessageKind kind, std::string_view text) {
  std::lock_guard lock(mutex_);
  messages_.emplace_back(text);
  worst_ = std::max(worst_, kind);
}

std::vector<std::string> CollectingUiHost::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

MessageKind CollectingUiHost::WorstKind() const {
  std::lock_guard lock(mutex_);
  return worst_;
}

}  // namespace tarvik
