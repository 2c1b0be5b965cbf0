// sms_modems: which serial port is which modem.  Finds the serial ports of
// this machine (port_list.h), probes them all at once (modem_probe.h) and
// prints a table or, with --json, a JSON document; --link DIR makes DIR/COMn
// links to the modems found, so that SMS_TEST_PORTS=DIR works.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "CLI/CLI.hpp"
#include "common/text.h"
#include "common/version.h"
#include "tools/modems/modem_probe.h"
#include "tools/modems/port_list.h"

namespace smstest {

namespace {

const char kHelp[] =
    R"(Usage: sms_modems [--json] [--link DIR] [--port DEVICE]... [--help] [--version]

Finds the serial ports of this machine (Linux: /dev/serial/by-id, ttyUSB*,
ttyACM* and the COMn links in the folder SMS_TEST_PORTS names; Windows: the
COM ports the system lists), probes them all at once with short time-outs
and prints, for each: port, stable name, whether it answers AT, the modem
(AT+CGMI, AT+CGMM), the SIM state (AT+CPIN?), registration, operator,
technology, signal, own number (AT+CNUM), the command sets it can do
(AT+CMGF=?, AT+CSMS?, AT+CNMI=?, AT+CPMS=?, the proprietary probe AT!DASMS)
and the one to use.  The whole scan ends within about 3 seconds.  Only
reading commands and test forms are sent: no setting is changed beyond the
session, nothing is sent to the network.

Options:
  --json         print a JSON document {"ports": [...]} instead of the table
  --link DIR     (Linux) make DIR/COMn a link to each port that answers AT,
                 numbered from 1 in the order of the table (a port that is
                 a COMn link already keeps its n), so that SMS_TEST_PORTS=DIR
                 finds them
  --port DEVICE  probe DEVICE too (may be repeated)
  --help         this text
  --version      the version

Exit codes: 0 the scan ran (whatever it found), 1 a link could not be made,
2 a usage error.
)";

int run_main(int argc, char** argv) {
  CLI::App app("sms_modems");
  app.formatter_fn([](const CLI::App*, std::string, CLI::AppFormatMode) { return kHelp; });
  bool json = false;
  std::string linkDir;
  std::vector<std::string> extra;
  app.add_flag("--json", json);
  app.add_option("--link", linkDir);
  app.add_option("--port", extra);
  app.set_version_flag("--version", std::string("sms_modems ") + kVersion);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForVersion& e) {
    std::printf("%s\n", e.what());
    return 0;
  } catch (const CLI::CallForHelp&) {
    std::fputs(kHelp, stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "sms_modems: %s\n", e.what());
    return 2;
  }
  std::vector<PortCandidate> ports = list_ports();
  for (const std::string& device : extra) {
    PortCandidate c;
    c.device = device;
    ports.push_back(c);
  }
  std::vector<ProbeResult> results = probe_all(ports);
  int code = 0;
  if (!linkDir.empty()) {
    int next = 1;
    for (const ProbeResult& r : results) {
      if (r.port.comNumber > 0) next = std::max(next, r.port.comNumber + 1);
    }
    for (ProbeResult& r : results) {
      if (!r.answersAt) continue;
      int n = r.port.comNumber > 0 ? r.port.comNumber : next++;
      std::string error;
      if (!make_com_link(linkDir, n, r.port.device, error)) {
        std::fprintf(stderr, "sms_modems: %s\n", error.c_str());
        code = 1;
        continue;
      }
      r.port.comNumber = n;
    }
  }
  std::fputs(json ? probe_json(results).c_str() : probe_table(results).c_str(), stdout);
  return code;
}

}  // namespace

}  // namespace smstest

int main(int argc, char** argv) {
  try {
    return smstest::run_main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sms_modems: %s\n", e.what());
    return 2;
  }
}
