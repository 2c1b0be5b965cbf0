#include "testsupport/fake_serial_device.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace smstest {

namespace {

constexpr int64_t kMicrosPerMilli = 1000;

}  // namespace

FakeSerialDevice::FakeSerialDevice(FakeClock& clock) : clock_(clock) {}

void FakeSerialDevice::queue_at(const std::string& bytes, int64_t due) {
  if (bytes.empty()) return;
  // Bytes arrive in order: a chunk is never due before the one ahead of it.
  if (!chunks_.empty()) due = std::max(due, chunks_.back().due);
  chunks_.push_back({bytes, due});
}

FakeSerialDevice& FakeSerialDevice::queue(const std::string& chunk, int delayMs) {
  queue_at(chunk, clock_.now_microseconds() + std::max(delayMs, 0) * kMicrosPerMilli);
  return *this;
}

FakeSerialDevice& FakeSerialDevice::queue_chunks(const std::vector<std::string>& chunks,
                                                 int delayMs, int gapMs) {
  int64_t due = clock_.now_microseconds() + std::max(delayMs, 0) * kMicrosPerMilli;
  for (const std::string& chunk : chunks) {
    queue_at(chunk, due);
    due += std::max(gapMs, 0) * kMicrosPerMilli;
  }
  return *this;
}

FakeSerialDevice& FakeSerialDevice::queue_bytewise(const std::string& bytes, int delayMs) {
  for (char c : bytes) queue(std::string(1, c), delayMs);
  return *this;
}

FakeSerialDevice& FakeSerialDevice::on_write(const std::string& trigger,
                                             std::vector<std::string> chunks, int delayMs,
                                             int times, int gapMs) {
  rules_.push_back({trigger, std::move(chunks), delayMs, gapMs, times});
  return *this;
}

FakeSerialDevice& FakeSerialDevice::answer_handshake() {
  on_write("AT\r", {"\r\nOK\r\n"});
  on_write("AT\r", {"\r\nOK\r\n"});
  on_write("ATE0\r", {"\r\nOK\r\n"});
  return *this;
}

FakeSerialDevice& FakeSerialDevice::set_responder(Responder responder) {
  responder_ = std::move(responder);
  return *this;
}

FakeSerialDevice& FakeSerialDevice::fail_once(FakeFailure what, int code) {
  failures_.push_back({what, code});
  return *this;
}

FakeSerialDevice& FakeSerialDevice::hang_up(int code, int delayMs) {
  hangUpAt_ = clock_.now_microseconds() + std::max(delayMs, 0) * kMicrosPerMilli;
  hangUpCode_ = code;
  return *this;
}

bool FakeSerialDevice::take_failure(FakeFailure what) {
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (it->what != what) continue;
    errorCode_ = it->code;
    failures_.erase(it);
    return true;
  }
  return false;
}

bool FakeSerialDevice::open(const char* name) {
  ++opens_;
  openedName_ = name != nullptr ? name : "";
  if (take_failure(FakeFailure::kOpen)) return false;
  open_ = true;
  return true;
}

bool FakeSerialDevice::configure(int baudRate) {
  if (!open_) {
    errorCode_ = kBadHandle;
    return false;
  }
  if (take_failure(FakeFailure::kConfigure)) return false;
  baudRate_ = baudRate;
  return true;
}

bool FakeSerialDevice::set_timeouts(const SerialTimeouts& timeouts) {
  if (!open_) {
    errorCode_ = kBadHandle;
    return false;
  }
  timeouts_ = timeouts;
  return true;
}

bool FakeSerialDevice::purge() {
  if (!open_) {
    errorCode_ = kBadHandle;
    return false;
  }
  ++purges_;
  // Like the real line: what has arrived is dropped, what is still on its
  // way arrives later.
  const int64_t now = clock_.now_microseconds();
  while (!chunks_.empty() && chunks_.front().due <= now) chunks_.pop_front();
  return true;
}

ReadRequest FakeSerialDevice::read(char* buffer, int count, int& got) {
  ++readRequests_;
  got = 0;
  lagUs_ = 0;
  if (!open_) {
    errorCode_ = kBadHandle;
    return ReadRequest::kRefused;
  }
  if (take_failure(FakeFailure::kReadRefused)) return ReadRequest::kRefused;
  if (take_failure(FakeFailure::kReadWaitFailed)) return ReadRequest::kWaitFailed;

  int64_t now = clock_.now_microseconds();
  const bool chunkDue = !chunks_.empty() && chunks_.front().due <= now;
  if (!chunkDue) {
    if (hung_up()) {
      errorCode_ = hangUpCode_;
      return ReadRequest::kWaitFailed;
    }
    // Wait, on the fake clock, for the next chunk or the hang-up when it
    // comes within the request's time-out, else for the whole time-out.
    const int64_t limit =
        (static_cast<int64_t>(timeouts_.readTotalConstant) +
         static_cast<int64_t>(timeouts_.readTotalMultiplier) * std::max(count, 0)) *
        kMicrosPerMilli;
    int64_t next = -1;
    if (!chunks_.empty()) next = chunks_.front().due;
    if (hangUpAt_ >= 0 && (next < 0 || hangUpAt_ < next)) next = hangUpAt_;
    if (next >= 0 && (limit == 0 || next - now <= limit)) {
      clock_.advance_microseconds(next - now);
    } else {
      // A request without a time-out and nothing to come returns empty at
      // once rather than hang the test.
      clock_.advance_microseconds(limit);
      return ReadRequest::kDone;
    }
    now = clock_.now_microseconds();
    if (chunks_.empty() || chunks_.front().due > now) {
      errorCode_ = hangUpCode_;
      return ReadRequest::kWaitFailed;  // the hang-up came first
    }
  }

  Chunk& chunk = chunks_.front();
  const int n = std::min(count, static_cast<int>(chunk.bytes.size()));
  if (n <= 0) return ReadRequest::kDone;
  // NUL bytes received are discarded, as configure() promises.
  for (int i = 0; i < n; ++i) {
    if (chunk.bytes[static_cast<size_t>(i)] != '\0')
      buffer[got++] = chunk.bytes[static_cast<size_t>(i)];
  }
  if (n == static_cast<int>(chunk.bytes.size())) {
    chunks_.pop_front();
  } else {
    chunk.bytes.erase(0, static_cast<size_t>(n));
  }
  if (quietWindow_ && got > 0 && timeouts_.readInterval > 0) {
    const int64_t quiet = static_cast<int64_t>(timeouts_.readInterval) * kMicrosPerMilli;
    now = clock_.now_microseconds();
    if (chunks_.empty() || chunks_.front().due > now + quiet) {
      clock_.advance_microseconds(quiet);
      lagUs_ = quiet;
    }
  }
  return ReadRequest::kDone;
}

ReadRequest FakeSerialDevice::read_waiting(char* buffer, int count, int& got) {
  got = 0;
  if (!open_) {
    errorCode_ = kBadHandle;
    return ReadRequest::kRefused;
  }
  const int64_t now = clock_.now_microseconds();
  while (got < count && !chunks_.empty() && chunks_.front().due <= now) {
    Chunk& chunk = chunks_.front();
    const int n = std::min(count - got, static_cast<int>(chunk.bytes.size()));
    std::memcpy(buffer + got, chunk.bytes.data(), static_cast<size_t>(n));
    got += n;
    if (n == static_cast<int>(chunk.bytes.size())) {
      chunks_.pop_front();
    } else {
      chunk.bytes.erase(0, static_cast<size_t>(n));
    }
  }
  if (got == 0 && hung_up()) {
    errorCode_ = hangUpCode_;
    return ReadRequest::kWaitFailed;
  }
  return ReadRequest::kDone;
}

bool FakeSerialDevice::start_write(const char* data, int length) {
  if (!open_) {
    errorCode_ = kBadHandle;
    return false;
  }
  if (take_failure(FakeFailure::kWriteRefused)) return false;
  if (hung_up()) {
    errorCode_ = hangUpCode_;
    return false;
  }
  const std::string bytes(data, static_cast<size_t>(std::max(length, 0)));
  written_ += bytes;
  writes_.push_back(bytes);

  for (Rule& rule : rules_) {
    if (rule.usesLeft == 0 || bytes.find(rule.trigger) == std::string::npos) continue;
    if (rule.usesLeft > 0) --rule.usesLeft;
    queue_chunks(rule.chunks, rule.delayMs, rule.gapMs);
    return true;
  }
  if (responder_) queue_chunks(responder_(bytes));
  return true;
}

bool FakeSerialDevice::drain(int timeoutMs) {
  drainLimits_.push_back(timeoutMs);
  return true;
}

void FakeSerialDevice::close() { open_ = false; }

}  // namespace smstest
