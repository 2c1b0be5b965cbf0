#include "tools/campaign/port_locks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace smstest {
namespace {

// One step of a schedule: worker `who` asks for `ports` (request) or gives
// back what it has (release); `result` is what the table must answer: for
// a request whether it got everything at once, for a release the workers
// that got everything because of it.
struct Step {
  char op;  // 'r' request, 'x' release
  int who;
  std::vector<int> ports;
  bool granted;                // 'r'
  std::vector<int> completed;  // 'x'
};

struct Schedule {
  const char* name;
  std::vector<Step> steps;
  // After the last step: the holder of each port (-1 free).
  std::map<int, int> holders;
};

std::string describe(const Step& s) {
  std::string text = std::string(1, s.op) + " " + std::to_string(s.who) + " {";
  for (int p : s.ports) text += std::to_string(p) + " ";
  return text + "}";
}

TEST(PortLockTable, Schedules) {
  const Schedule schedules[] = {
      {"disjoint ports run side by side",
       {{'r', 0, {3, 4}, true, {}}, {'r', 1, {5, 6}, true, {}}, {'r', 2, {7}, true, {}}},
       {{3, 0}, {4, 0}, {5, 1}, {6, 1}, {7, 2}}},
      {"a shared port: the second waits, then they alternate",
       {{'r', 0, {3, 4}, true, {}},
        {'r', 1, {3, 5}, false, {}},
        {'x', 0, {}, false, {1}},
        {'r', 0, {3, 4}, false, {}},
        {'x', 1, {}, false, {0}},
        {'r', 1, {3, 5}, false, {}}},
       {{3, 0}, {4, 0}, {5, -1}}},
      {"ports are taken in ascending order, whatever order they are asked in",
       {{'r', 0, {4}, true, {}},
        {'r', 1, {4, 3}, false, {}},  // holds 3, waits at 4
        {'r', 2, {3}, false, {}},     // waits at 3 behind 1
        {'x', 0, {}, false, {1}},
        {'x', 1, {}, false, {2}}},
       {{3, 2}, {4, -1}}},
      {"a waiter holds nothing beyond where it waits",
       {{'r', 0, {3}, true, {}},
        {'r', 1, {3, 4}, false, {}},  // waits at 3, 4 stays free
        {'r', 2, {4}, true, {}},
        {'x', 0, {}, false, {}},  // 1 takes 3, then waits at 4
        {'x', 2, {}, false, {1}}},
       {{3, 1}, {4, 1}}},
      {"first come, first served at a port",
       {{'r', 0, {3}, true, {}},
        {'r', 1, {3}, false, {}},
        {'r', 2, {3}, false, {}},
        {'x', 0, {}, false, {1}},
        {'r', 0, {3}, false, {}},  // behind 2
        {'x', 1, {}, false, {2}},
        {'x', 2, {}, false, {0}}},
       {{3, 0}}},
      {"a withdrawn waiter leaves the queue",
       {{'r', 0, {3}, true, {}},
        {'r', 1, {3, 4}, false, {}},
        {'r', 2, {3}, false, {}},
        {'x', 1, {}, false, {}},
        {'x', 0, {}, false, {2}}},
       {{3, 2}, {4, -1}}},
      {"one release completes a chain of waiters",
       {{'r', 0, {3, 4}, true, {}},
        {'r', 1, {3}, false, {}},
        {'r', 2, {4}, false, {}},
        {'x', 0, {}, false, {1, 2}}},
       {{3, 1}, {4, 2}}},
      {"duplicates and ports below 1 are dropped",
       {{'r', 0, {3, 3, 0, -1}, true, {}}, {'r', 1, {0}, true, {}}, {'r', 2, {3}, false, {}}},
       {{3, 0}, {0, -1}}},
      {"a new request gives back the old one",
       {{'r', 0, {3}, true, {}}, {'r', 1, {3}, false, {}}, {'r', 0, {5}, true, {}}},
       {{3, 1}, {5, 0}}},
  };
  for (const Schedule& s : schedules) {
    PortLockTable table;
    for (size_t i = 0; i < s.steps.size(); ++i) {
      const Step& step = s.steps[i];
      if (step.op == 'r') {
        EXPECT_EQ(table.request(step.who, step.ports), step.granted)
            << s.name << ", step " << i << ": " << describe(step);
        EXPECT_EQ(table.complete(step.who), step.granted) << s.name << ", step " << i;
      } else {
        EXPECT_EQ(table.release(step.who), step.completed)
            << s.name << ", step " << i << ": " << describe(step);
        EXPECT_FALSE(table.complete(step.who)) << s.name << ", step " << i;
      }
    }
    for (const auto& h : s.holders)
      EXPECT_EQ(table.holder(h.first), h.second) << s.name << ", port " << h.first;
  }
}

TEST(PortLockTable, QueueOrder) {
  PortLockTable table;
  table.request(0, {3});
  table.request(2, {3});
  table.request(1, {3});
  EXPECT_EQ(table.waiting(3), (std::vector<int>{2, 1}));
  table.release(0);
  EXPECT_EQ(table.waiting(3), (std::vector<int>{1}));
  EXPECT_EQ(table.holder(3), 2);
  EXPECT_TRUE(table.waiting(9).empty());
}

// Threads that share ports never hold one at the same time, and every one
// of them gets its turns.
TEST(PortLocks, SharedPortsAreNeverHeldTwice) {
  PortLocks locks;
  const std::vector<std::vector<int>> wants = {{3, 4}, {3, 5}, {5, 6}, {4, 6}, {7}};
  std::atomic<int> inside[8] = {};
  std::atomic<bool> overlap{false};
  std::atomic<int> turns[5] = {};
  std::vector<std::thread> threads;
  for (int who = 0; who < 5; ++who) {
    threads.emplace_back([&, who] {
      for (int k = 0; k < 200; ++k) {
        ASSERT_TRUE(locks.acquire(who, wants[who]));
        for (int p : wants[who])
          if (inside[p].fetch_add(1) != 0) overlap = true;
        std::this_thread::yield();
        for (int p : wants[who]) inside[p].fetch_sub(1);
        ++turns[who];
        locks.release(who);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_FALSE(overlap);
  for (int who = 0; who < 5; ++who) EXPECT_EQ(turns[who].load(), 200) << who;
}

TEST(PortLocks, StopWakesWaitersEmptyHanded) {
  PortLocks locks;
  ASSERT_TRUE(locks.acquire(0, {3}));
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = locks.acquire(1, {3, 4}) ? 1 : 0; });
  locks.stop();
  waiter.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_FALSE(locks.acquire(2, {9}));
  locks.release(0);
}

}  // namespace
}  // namespace smstest
