// The computer's name on Windows.
#include <windows.h>

#include "store/runs_pusher.h"

namespace smstest {

std::string host_name() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (GetComputerNameA(name, &size) == 0 || size == 0) return "unknown";
  return std::string(name, size);
}

}  // namespace smstest
