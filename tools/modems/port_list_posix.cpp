#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

#include "common/text.h"
#include "tools/modems/port_list.h"

namespace smstest {

namespace {

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] != '.') names.emplace_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// The device a path leads to, links followed; "" when it leads nowhere.
std::string real_device(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return "";
  return resolved;
}

// "COM<n>" with n of 1 to 9 digits: n, else 0.
int com_number(const std::string& name) {
  if (name.size() < 4 || name.size() > 12 || name.compare(0, 3, "COM") != 0) return 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
  }
  return std::atoi(name.c_str() + 3);
}

}  // namespace

std::vector<PortCandidate> list_ports() {
  std::map<std::string, PortCandidate> found;  // by the real device
  auto add = [&found](const std::string& path, const std::string& stable, int com) {
    std::string device = real_device(path);
    if (device.empty()) return;
    PortCandidate& c = found[device];
    if (c.device.empty()) c.device = com > 0 ? path : device;
    if (!stable.empty() && c.stableName.empty()) c.stableName = stable;
    if (com > 0 && c.comNumber == 0) {
      c.comNumber = com;
      c.device = path;  // the link SMS_TEST opens
    }
  };
  const std::string byId = "/dev/serial/by-id";
  for (const std::string& name : entries(byId)) add(byId + "/" + name, byId + "/" + name, 0);
  for (const std::string& name : entries("/dev")) {
    if (name.compare(0, 6, "ttyUSB") == 0 || name.compare(0, 6, "ttyACM") == 0) {
      add("/dev/" + name, "", 0);
    }
  }
  const char* portsDir = std::getenv("SMS_TEST_PORTS");
  if (portsDir != nullptr && *portsDir != '\0') {
    for (const std::string& name : entries(portsDir)) {
      int n = com_number(name);
      if (n > 0) add(std::string(portsDir) + "/" + name, "", n);
    }
  }
  std::vector<PortCandidate> out;
  for (auto& entry : found) out.push_back(entry.second);
  return out;
}

bool make_com_link(const std::string& dir, int n, const std::string& device,
                   std::string& lastError) {
  mkdir(dir.c_str(), 0777);
  const std::string link = format("%s/COM%d", dir.c_str(), n);
  unlink(link.c_str());
  if (symlink(device.c_str(), link.c_str()) != 0) {
    lastError = format("Cannot make the link %s: %s", link.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace smstest
