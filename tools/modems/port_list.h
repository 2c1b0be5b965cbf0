// The serial ports of this machine that may lead to a modem, for sms_modems:
// on Linux the links of /dev/serial/by-id, the ttyUSB* and ttyACM* devices
// and the COMn links of the folder SMS_TEST_PORTS names; on Windows the COM
// ports the system lists in the registry.  One implementation per platform
// (port_list_posix.cpp, port_list_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace smstest {

struct PortCandidate {
  std::string device;      // the name to open
  std::string stableName;  // a name that stays across replugging ("" when none)
  int comNumber = 0;       // n of a COMn name (a link in SMS_TEST_PORTS, a COM port), else 0
};

// The ports found, each device once (a by-id link and a COMn link to the
// same device make one candidate, with both names), sorted by device.
std::vector<PortCandidate> list_ports();

// Makes DIR/COM<n> a link to `device` (replacing one that is there), so that
// SMS_TEST_PORTS=DIR finds it.  False with the reason in `lastError`, and
// always on systems without links of this kind.
bool make_com_link(const std::string& dir, int n, const std::string& device,
                   std::string& lastError);

}  // namespace smstest
