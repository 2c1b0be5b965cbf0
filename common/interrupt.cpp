#include "common/interrupt.h"

#include <atomic>

#include "common/text.h"

namespace smstest {

namespace {

// Lock-free, so that a signal handler may set it.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler sets it");

}  // namespace

void request_interrupt(int signalNumber) {
  int none = 0;
  g_signal.compare_exchange_strong(none, signalNumber);
}

int interrupt_signal() { return g_signal.load(); }

void clear_interrupt() { g_signal.store(0); }

std::string interrupt_text() { return format("Interrupted by signal %d\n", interrupt_signal()); }

}  // namespace smstest
