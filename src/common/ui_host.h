#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace tarvik {

// How serious a message is: a note (a result, an answer), a warning (something was left out or
// may be wrong, the work went on) or an error (the work asked for could not be done). The window
// shows each with its own icon; the command line prints the text alone.
enum class MessageKind { kNote, kWarning, kError };

// What a long operation needs from whoever runs it: the two status panels, the gauge (progress
// over the whole operation), the progress bar (progress within one step), a chance to let
// pending user events run, the stop flag, message boxes and yes/no questions. The GUI
// implements it with widgets, the command line on stderr, the tests by recording every call.
// Implementations are safe to call from several threads at once.
class UiHost {
 public:
  virtual ~UiHost() = default;

  // Status panel 0: the running operation.
  virtual void SetOperation(std::string_view text) = 0;
  // Status panel 1: the current stage or result.
  virtual void SetStage(std::string_view text) = 0;
  // The gauge over the whole operation.
  virtual void SetGauge(int position, int maximum) = 0;
  // The progress bar within one step.
  virtual void SetProgress(int position, int maximum) = 0;
  // Lets pending user events run (a stop click is seen here).
  virtual void ProcessEvents() {}
  // A message the user must see (a note).
  virtual void ShowMessage(std::string_view text) = 0;
  // A message of a kind. Hosts that tell no kinds apart show it as ShowMessage does.
  virtual void ShowMessageOfKind(MessageKind kind, std::string_view text) {
    (void)kind;
    ShowMessage(text);
  }
  void ShowWarning(std::string_view text) { ShowMessageOfKind(MessageKind::kWarning, text); }
  void ShowError(std::string_view text) { ShowMessageOfKind(MessageKind::kError, text); }
  // A yes/no question; true for yes.
  virtual bool AskYesNo(std::string_view text) = 0;

  // The language the host tells its texts in: the window speaks Russian, the command line the
  // language it was asked for.
  virtual TLanguage Language() const { return TLanguage::kRussian; }
  // Sees every status before it is told; a host that keeps codes (the tests') overrides it.
  virtual void Noted(const TStatus& status) { (void)status; }

  // The calls above with a status instead of a text: the status is told in Language().
  void SetOperation(const TStatus& status) {
    Noted(status);
    SetOperation(Text(status, Language()));
  }
  void SetStage(const TStatus& status) {
    Noted(status);
    SetStage(Text(status, Language()));
  }
  void SetStatus(const TStatus& status, int maximum = 100) {
    Noted(status);
    SetStatus(Text(status, Language()), maximum);
  }
  void ShowMessage(const TStatus& status) {
    Noted(status);
    ShowMessage(Text(status, Language()));
  }
  void ShowMessageOfKind(MessageKind kind, const TStatus& status) {
    Noted(status);
    ShowMessageOfKind(kind, Text(status, Language()));
  }
  void ShowWarning(const TStatus& status) { ShowMessageOfKind(MessageKind::kWarning, status); }
  void ShowError(const TStatus& status) { ShowMessageOfKind(MessageKind::kError, status); }
  bool AskYesNo(const TStatus& status) {
    Noted(status);
    return AskYesNo(Text(status, Language()));
  }

  // The stop flag: set by the user, polled by long operations, cleared when a run starts.
  bool StopRequested() const { return stop_flag_->load(std::memory_order_relaxed); }
  void RequestStop() { stop_flag_->store(true, std::memory_order_relaxed); }
  void ClearStop() { stop_flag_->store(false, std::memory_order_relaxed); }

  // Panel 1 gets text, the progress bar restarts at 0 of maximum, pending events run.
  void SetStatus(std::string_view text, int maximum = 100) {
    SetStage(text);
    SetProgress(0, maximum);
    ProcessEvents();
  }

 protected:
  // A host that stands in for another for a while reads and sets that host's stop flag.
  void ShareStopFlag(UiHost& owner) { stop_flag_ = owner.stop_flag_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool>* stop_flag_ = &stop_;
};

// Stands in for another host during one piece of a longer operation: everything goes through to
// it, and the stop flag is its, but messages are kept instead of shown, so that the operation
// can go on and tell them once at its end (a batch run does not wait on a message box per
// record).
class CollectingUiHost : public UiHost {
 public:
  explicit CollectingUiHost(UiHost& outer) : outer_(outer) { ShareStopFlag(outer); }
  using UiHost::AskYesNo;
  using UiHost::SetOperation;
  using UiHost::SetStage;
  using UiHost::ShowMessage;
  using UiHost::ShowMessageOfKind;

  TLanguage Language() const override { return outer_.Language(); }
  void Noted(const TStatus& status) override { outer_.Noted(status); }

  void SetOperation(std::string_view text) override { outer_.SetOperation(text); }
  void SetStage(std::string_view text) override { outer_.SetStage(text); }
  void SetGauge(int position, int maximum) override { outer_.SetGauge(position, maximum); }
  void SetProgress(int position, int maximum) override { outer_.SetProgress(position, maximum); }
  void ProcessEvents() override { outer_.ProcessEvents(); }
  void ShowMessage(std::string_view text) override;
  void ShowMessageOfKind(MessageKind kind, std::string_view text) override;
  bool AskYesNo(std::string_view text) override { return outer_.AskYesNo(text); }

  // The messages kept, in order.
  std::vector<std::string> Messages() const;
  // The most serious kind among the messages kept (a note when there are none).
  MessageKind WorstKind() const;

 private:
  UiHost& outer_;
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  MessageKind worst_ = MessageKind::kNote;
};

// Does nothing, answers No; for callers that want no feedback (fuzz targets, benchmarks).
class NullUiHost : public UiHost {
 public:
  using UiHost::AskYesNo;
  using UiHost::SetOperation;
  using UiHost::SetStage;
  using UiHost::ShowMessage;
  using UiHost::ShowMessageOfKind;
  void SetOperation(std::string_view) override {}
  void SetStage(std::string_view) override {}
  void SetGauge(int, int) override {}
  void SetProgress(int, int) override {}
  void ShowMessage(std::string_view) override {}
  bool AskYesNo(std::string_view) override { return false; }
};

// The command line's host: stages and messages on stderr, a live progress line when stderr is
// a terminal, questions answered by a fixed answer or asked on the terminal. Statuses are told
// in language; texts are printed as they are.
class ConsoleUiHost : public UiHost {
 public:
  enum class Answer { kAsk, kYes, kNo };
  explicit ConsoleUiHost(Answer answer = Answer::kNo, bool quiet = false,
                         TLanguage language = TLanguage::kRussian);
  using UiHost::AskYesNo;
  using UiHost::SetOperation;
  using UiHost::SetStage;
  using UiHost::ShowMessage;
  using UiHost::ShowMessageOfKind;

  TLanguage Language() const override { return language_; }

  void SetOperation(std::string_view text) override;
  void SetStage(std::string_view text) override;
  void SetGauge(int position, int maximum) override;
  void SetProgress(int position, int maximum) override;
  void ShowMessage(std::string_view text) override;
  bool AskYesNo(std::string_view text) override;

 private:
  void DrawProgressLine();
  void ClearProgressLine();

  std::mutex mutex_;
  Answer answer_;
  bool quiet_;
  bool terminal_;
  std::string operation_;
  std::string stage_;
  int gauge_pos_ = 0, gauge_max_ = 0, progress_pos_ = 0, progress_max_ = 0;
  int last_drawn_percent_ = -1;
  bool line_shown_ = false;
  TLanguage language_;
};

}  // namespace tarvik
