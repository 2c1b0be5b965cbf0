#include "tools/campaign/port_locks.h"

#include <algorithm>

namespace smstest {

bool PortLockTable::request(int who, const std::vector<int>& ports) {
  release(who);
  Request& r = requests_[who];
  for (int p : ports)
    if (p >= 1) r.ports.push_back(p);
  std::sort(r.ports.begin(), r.ports.end());
  r.ports.erase(std::unique(r.ports.begin(), r.ports.end()), r.ports.end());
  std::vector<int> completed;
  advance(who, completed);
  return complete(who);
}

void PortLockTable::advance(int who, std::vector<int>& completed) {
  Request& r = requests_[who];
  while (r.taken < r.ports.size()) {
    Port& port = ports_[r.ports[r.taken]];
    const bool first = port.queue.empty() || port.queue.front() == who;
    if (port.holder != -1 || !first) {
      if (std::find(port.queue.begin(), port.queue.end(), who) == port.queue.end())
        port.queue.push_back(who);
      return;
    }
    if (!port.queue.empty()) port.queue.pop_front();
    port.holder = who;
    ++r.taken;
  }
  completed.push_back(who);
}

std::vector<int> PortLockTable::release(int who) {
  std::vector<int> completed;
  auto found = requests_.find(who);
  if (found == requests_.end()) return completed;
  std::vector<int> freed;
  for (int p : found->second.ports) {
    Port& port = ports_[p];
    if (port.holder == who) port.holder = -1;
    port.queue.erase(std::remove(port.queue.begin(), port.queue.end(), who), port.queue.end());
    // Also a port `who` only waited for: it may have stood first there.
    if (port.holder == -1) freed.push_back(p);
  }
  requests_.erase(found);
  for (int p : freed) {
    Port& port = ports_[p];
    if (port.holder == -1 && !port.queue.empty()) advance(port.queue.front(), completed);
  }
  return completed;
}

bool PortLockTable::complete(int who) const {
  auto found = requests_.find(who);
  return found != requests_.end() && found->second.taken == found->second.ports.size();
}

int PortLockTable::holder(int port) const {
  auto found = ports_.find(port);
  return found == ports_.end() ? -1 : found->second.holder;
}

std::vector<int> PortLockTable::waiting(int port) const {
  auto found = ports_.find(port);
  if (found == ports_.end()) return {};
  return std::vector<int>(found->second.queue.begin(), found->second.queue.end());
}

bool PortLocks::acquire(int who, const std::vector<int>& ports) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopped_) return false;
  if (!table_.request(who, ports)) {
    changed_.wait(lock, [&] { return stopped_ || table_.complete(who); });
    if (stopped_) {
      table_.release(who);
      changed_.notify_all();
      return false;
    }
  }
  return true;
}

void PortLocks::reserve(int who, const std::vector<int>& ports) {
  std::lock_guard<std::mutex> lock(mutex_);
  table_.request(who, ports);
}

bool PortLocks::wait_reserved(int who) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return stopped_ || table_.complete(who); });
  if (stopped_) {
    table_.release(who);
    changed_.notify_all();
    return false;
  }
  return true;
}

void PortLocks::release(int who) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    table_.release(who);
  }
  changed_.notify_all();
}

void PortLocks::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
}

}  // namespace smstest
