// modem_sim: serves simulated modems on pseudo-terminals until SIGINT,
// SIGTERM or the end of --duration.  See sim_usage() for the command line.
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/version.h"
#include "sim/sim_config.h"
#include "sim/simulator.h"

namespace smstest {

namespace {

Simulator* g_simulator = nullptr;

void on_signal(int) {
  if (g_simulator != nullptr) g_simulator->request_stop();
}

}  // namespace

}  // namespace smstest

int main(int argc, char** argv) {
  using namespace smstest;
  std::vector<std::string> args(argv + 1, argv + argc);
  SimConfig config;
  std::string error;
  if (!parse_sim_arguments(args, config, error)) {
    std::fprintf(stderr, "modem_sim: %s\n", error.c_str());
    return 2;
  }
  if (config.help) {
    std::fputs(sim_usage().c_str(), stdout);
    return 0;
  }
  if (config.version) {
    std::printf("modem_sim %s\n", kVersion);
    return 0;
  }

  Simulator simulator;
  g_simulator = &simulator;
  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (!simulator.start(config)) {
    std::fprintf(stderr, "modem_sim: %s\n", simulator.lastError.c_str());
    return 2;
  }
  std::printf("%s\n", simulator.ready_line().c_str());
  std::fflush(stdout);
  simulator.run();
  g_simulator = nullptr;
  if (!simulator.lastError.empty()) {
    std::fprintf(stderr, "modem_sim: %s\n", simulator.lastError.c_str());
    return 2;
  }
  return 0;
}
