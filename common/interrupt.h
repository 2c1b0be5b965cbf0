// A request from outside to end the run early: a signal (SIGINT, SIGTERM,
// SIGHUP) or the console's break events, recorded by the platform's
// handlers (driver/platform.h) and looked at by every wait of the tool (the
// port's read loop after each request of about 100 ms, the session's
// polls and pauses), which then end with interrupt_text() as their failure.
#pragma once

#include <string>

namespace smstest {

// Records that signal `signalNumber` asks the run to end; the first request
// stays.  Safe to call from a signal handler or another thread.
void request_interrupt(int signalNumber);

// The signal number of the request, 0 while there is none.
int interrupt_signal();

// Forgets the request (for tests that interrupt a wait on purpose).
void clear_interrupt();

// "Interrupted by signal %d\n" with the request's signal number.
std::string interrupt_text();

}  // namespace smstest
