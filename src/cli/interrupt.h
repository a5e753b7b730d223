#pragma once

#include <csignal>

namespace tarvik {
class UiHost;
}

namespace tarvik::cli {

// While it lives, Ctrl-C asks the host's running work to stop, as the stop button does; a
// second Ctrl-C ends the program at once.
class InterruptScope {
 public:
  explicit InterruptScope(UiHost& host);
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  void (*previous_)(int) = SIG_DFL;
};

}  // namespace tarvik::cli
