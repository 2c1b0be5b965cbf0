#include "driver/measures.h"

#include "common/clock.h"

namespace smstest {

double elapsed_seconds(int64_t start, int64_t end, int64_t frequency) {
  uint64_t s = static_cast<uint64_t>(start);
  uint64_t e = static_cast<uint64_t>(end);
  uint64_t ticks = e >= s ? e - s : s - e - 1;
  if (frequency <= 0) return 0.0;
  return static_cast<double>(static_cast<int64_t>(ticks)) / static_cast<double>(frequency);
}

double delivery_seconds(int64_t confirmed, int64_t found, int64_t frequency, bool& early) {
  // Compared as elapsed_seconds compares them.
  early = static_cast<uint64_t>(found) < static_cast<uint64_t>(confirmed);
  return early ? 0.0 : elapsed_seconds(confirmed, found, frequency);
}

int match_percent(std::string sent, std::string received) {
  const long n = static_cast<long>(sent.size());
  const long m = static_cast<long>(received.size());
  long best = 0;
  for (long i = 0; i < m - n; ++i) {
    long count = 0;
    for (long k = 0; k <= n - 3; ++k) {
      if (sent[k] == received[i + k]) ++count;
    }
    if (count > best) best = count;
    if (count == n) return 100;  // only an empty sent text gets here
  }
  // The score divides by the n - 2 compared bytes; with n of 2 or less that
  // is 0/0 or a negative divisor, and the score is 0.
  if (n <= 2) return 0;
  double score = static_cast<double>(best) / static_cast<double>(n - 2) * 100.0;
  return static_cast<int>(score);
}

int64_t& now_seconds(Clock& clock, int64_t& slot) {
  slot = clock.calendar_seconds();
  return slot;
}

}  // namespace smstest
