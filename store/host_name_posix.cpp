// The host name on POSIX systems.
#include <unistd.h>

#include "store/runs_pusher.h"

namespace smstest {

std::string host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

}  // namespace smstest
