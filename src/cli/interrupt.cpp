#include "cli/interrupt.h"

#include <atomic>

#include "common/ui_host.h"

namespace tarvik::cli {

namespace {

std::atomic<UiHost*> g_interrupt_host{nullptr};

extern "C" void OnInterrupt(int) {
  if (UiHost* host = g_interrupt_host.load()) host->RequestStop();
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

InterruptScope::InterruptScope(UiHost& host) {
  g_interrupt_host.store(&host);
  previous_ = std::signal(SIGINT, OnInterrupt);
}

InterruptScope::~InterruptScope() {
  std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
  g_interrupt_host.store(nullptr);
}

}  // namespace tarvik::cli
