// The modem simulator: serves the modems of a SimConfig, each on its own
// pseudo-terminal published as the link DIR/<name>, and runs the network
// between them (network.h).  modem_sim is a thin wrapper around it; tests
// run it in-process on a thread:
//
//   Simulator sim;
//   if (!sim.start(config)) ... sim.lastError ...
//   std::thread serving([&] { sim.run(); });
//   ... open sim.link_path(0) like a serial port ...
//   sim.request_stop();
//   serving.join();
//
// The terminals stay in raw mode for every client that opens them, and a
// modem's state (echo, stored messages) lives as long as the simulator, so
// clients may open and close the links any number of times.  A client that
// claims a port exclusively (TIOCEXCL) holds that claim until it closes the
// port; then the simulator lifts it again, as a real serial port forgets it
// at its last close.
#pragma once

#include <memory>
#include <string>

#include "sim/sim_config.h"

namespace smstest {

class Simulator {
 public:
  Simulator();
  ~Simulator();  // removes the links if run() didn't
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Creates the directory (and its parents) if it is missing, claims it
  // (DIR/modem_sim.lock, locked with flock() and holding this process's id,
  // until run() ends), creates the records in it, one pseudo-terminal per
  // modem (raw mode), and the links; an existing link of the same name is
  // replaced.  The simulator counts as ready when this returns true.  False
  // with the reason in `lastError`, leaving no link: "DIR is in use by
  // another modem_sim (pid N)" when another simulator, in this process or
  // another, serves the directory.
  bool start(const SimConfig& config);

  // "modem_sim: ready DIR NAME=NUMBER ..." for the modems in order.
  std::string ready_line() const;

  // Serves until request_stop() or until the configured duration has passed
  // since start(); then closes the terminals and removes the links.  Call
  // once, after a successful start, from one thread.
  void run();

  // Makes run() return promptly.  Safe to call from a signal handler and
  // from any thread, also before run() has begun.
  void request_stop();

  // The terminal of modem `index` and the link that points to it.
  std::string terminal_path(size_t index) const;
  std::string link_path(size_t index) const;

  std::string lastError;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace smstest
