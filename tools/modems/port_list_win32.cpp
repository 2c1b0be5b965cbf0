#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "tools/modems/port_list.h"

namespace smstest {

// The COM ports the system lists under HARDWARE\DEVICEMAP\SERIALCOMM: each
// value's data is a port name ("COM3"); its value name is the driver's
// device ("\Device\USBSER000"), which stays across replugging less well
// than a Linux by-id name but tells the ports of one modem apart.
std::vector<PortCandidate> list_ports() {
  std::vector<PortCandidate> out;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return out;
  }
  for (DWORD i = 0;; ++i) {
    char name[256];
    BYTE data[256];
    DWORD nameSize = sizeof name;
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    LONG status = RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize] = 0;
    std::string port(reinterpret_cast<const char*>(data));
    while (!port.empty() && port.back() == '\0') port.pop_back();
    PortCandidate c;
    c.comNumber =
        port.size() > 3 && port.compare(0, 3, "COM") == 0 ? std::atoi(port.c_str() + 3) : 0;
    c.device = c.comNumber > 9 ? "\\\\.\\" + port : port;
    c.stableName = name;
    out.push_back(c);
  }
  RegCloseKey(key);
  std::sort(out.begin(), out.end(), [](const PortCandidate& a, const PortCandidate& b) {
    return a.comNumber < b.comNumber;
  });
  return out;
}

bool make_com_link(const std::string&, int, const std::string&, std::string& lastError) {
  lastError = "--link makes links on Linux only: Windows names its COM ports itself";
  return false;
}

}  // namespace smstest
