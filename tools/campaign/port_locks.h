// The COM ports of a campaign as locks: a run holds the ports of its
// modems while it runs, so that command files sharing a port take turns and
// those on disjoint ports run side by side.
//
// A worker takes its ports one at a time in ascending order, waiting at each
// port that another holds; the fixed order means no two workers can wait for
// each other.  Each port serves its waiters first come, first served, so two
// workers sharing a port alternate even when one asks again at once.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace smstest {

// The lock state as a plain table, without threads: who holds which port,
// who waits where.  Workers are named by small integers.
class PortLockTable {
 public:
  // Worker `who` asks for `ports` (any order; duplicates and ports below 1
  // are dropped).  It takes what it can in order and queues at the first
  // port it can't have.  Returns true when it now holds all of them.  A
  // worker has at most one request at a time.
  bool request(int who, const std::vector<int>& ports);

  // Worker `who` gives back what it holds and withdraws from every queue.
  // Returns the workers whose requests became complete, in the order they
  // did.
  std::vector<int> release(int who);

  // True when `who` holds every port of its request.
  bool complete(int who) const;

  // The worker holding `port`, -1 when none.
  int holder(int port) const;

  // The workers queued at `port`, first first.
  std::vector<int> waiting(int port) const;

 private:
  struct Port {
    int holder = -1;
    std::deque<int> queue;
  };
  struct Request {
    std::vector<int> ports;
    size_t taken = 0;
  };
  // Takes the next ports of `who`'s request while they are free and `who`
  // comes first at them; notes `who` in `completed` when it gets all.
  void advance(int who, std::vector<int>& completed);

  std::map<int, Port> ports_;
  std::map<int, Request> requests_;
};

// The table for threads: acquire() blocks until the ports are held or the
// locks are stopped.
class PortLocks {
 public:
  // Blocks until `who` holds all `ports`.  False, holding nothing, once
  // stop() has been called.
  bool acquire(int who, const std::vector<int>& ports);
  void release(int who);
  // Queues `who` for `ports` without waiting, so that it comes before
  // anyone who asks later; wait_reserved() then waits for them.
  void reserve(int who, const std::vector<int>& ports);
  // Blocks until `who` holds the ports of its reserve().  False, holding
  // nothing, once stop() has been called.
  bool wait_reserved(int who);
  // Wakes every waiter; acquire() fails from now on.
  void stop();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  PortLockTable table_;
  bool stopped_ = false;
};

}  // namespace smstest
