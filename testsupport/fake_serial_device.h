// Test support: a scripted SerialDevice on a FakeClock, for the logic above
// the OS device (ComPort's read loop, the modem session, the sequences).
//
// Answer bytes are queued as chunks; a read request returns at most one chunk
// (or as much of it as the request asks for, less the NUL bytes, which the
// device drops as the platform devices do), so an answer can be delivered
// whole, one byte per read, or with a CR LF split between two reads.  A chunk
// may be due later on the fake clock.  A request that finds nothing due waits
// on the fake clock: up to the next due chunk if it comes within the request's
// time-out (readTotalConstant + readTotalMultiplier per byte, as
// set_timeouts() gave it; ComPort uses 100 ms), else the whole time-out, and
// then returns 0 bytes.  Nothing here sleeps.
//
// Writes are recorded and can trigger answers (on_write rules, tried in the
// order they were added).  Every operation can be made to fail once with a
// chosen system error code, and the line can hang up.  Not thread-safe: the
// test scripts the device on the thread that uses it.
//
//   FakeClock clock;
//   auto owned = std::make_unique<FakeSerialDevice>(clock);
//   FakeSerialDevice& device = *owned;
//   device.answer_handshake().on_write("AT+X\r", {"\r\nOK\r", "\n"});
//   ComPort port(std::move(owned), clock);
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "serial/serial_device.h"
#include "testsupport/fake_clock.h"
#include "testsupport/modem_answers.h"

namespace smstest {

// The operations of FakeSerialDevice::fail_once.
enum class FakeFailure {
  kOpen,            // open() returns false
  kConfigure,       // configure() returns false
  kReadRefused,     // read() returns ReadRequest::kRefused
  kReadWaitFailed,  // read() returns ReadRequest::kWaitFailed
  kWriteRefused,    // start_write() returns false
};

class FakeSerialDevice : public SerialDevice {
 public:
  // The error code of an operation on a closed device (EBADF's value on
  // POSIX systems).
  static constexpr int kBadHandle = 9;

  // A closed device on `clock`, which must outlive it.
  explicit FakeSerialDevice(FakeClock& clock);

  // ---- Answers --------------------------------------------------------------
  // Queues `chunk` (one read's worth at most), due `delayMs` after now; a
  // chunk never becomes due before the chunks queued ahead of it.  Chunks
  // already due when the port purges the device (ComPort::open_line does) are dropped,
  // as a real line drops them: queue answers to the handshake with on_write.
  FakeSerialDevice& queue(const std::string& chunk, int delayMs = 0);
  // Queues each of `chunks`, the first due `delayMs` after now and each
  // further one `gapMs` after the one before.
  FakeSerialDevice& queue_chunks(const std::vector<std::string>& chunks, int delayMs = 0,
                                 int gapMs = 0);
  // Queues `bytes` as one-byte chunks, all due `delayMs` after now.
  FakeSerialDevice& queue_bytewise(const std::string& bytes, int delayMs = 0);

  // A rule: a write whose bytes contain `trigger` queues `chunks`, the first
  // due `delayMs` after the write, further ones `gapMs` apart.  The rule
  // serves `times` writes (-1: any number).  A write uses the first rule,
  // in the order added, that matches and has uses left; when none does, the
  // responder (if set) answers.
  FakeSerialDevice& on_write(const std::string& trigger, std::vector<std::string> chunks,
                             int delayMs = 0, int times = 1, int gapMs = 0);
  // Answers the proprietary handshake (modem/handshake.h): "AT\r", "AT\r" and "ATE0\r",
  // each with "\r\nOK\r\n", once.
  FakeSerialDevice& answer_handshake();
  // Answers the writes no rule matches (each write's bytes as one command;
  // modem_like() answers like a modem); its chunks are due at once.
  FakeSerialDevice& set_responder(Responder responder);

  // A read request that got bytes returns, as a platform device does, only
  // once the line has been quiet for the interval time-out (readInterval)
  // after them: the clock moves on by that much and last_byte_lag_us()
  // reports it, unless the next chunk is due sooner (the request then ends
  // with it, without a lag).  Off by default: reads return at once.
  FakeSerialDevice& model_quiet_window(bool on = true) {
    quietWindow_ = on;
    return *this;
  }

  // ---- Failures -------------------------------------------------------------
  // The next `what` operation fails with system error `code` (0 allowed: a
  // failure without a code), once; further calls queue further failures.
  FakeSerialDevice& fail_once(FakeFailure what, int code);
  // The line hangs up `delayMs` after now: from then on, once the chunks
  // already due are read, every read fails with kWaitFailed and every write
  // is refused, both with `code` (EIO on POSIX systems).
  FakeSerialDevice& hang_up(int code, int delayMs = 0);

  // ---- Records --------------------------------------------------------------
  // Every byte written, in order, and each write on its own.
  const std::string& written() const { return written_; }
  const std::vector<std::string>& writes() const { return writes_; }
  // The name of the last open(), the last baud rate configured, the last
  // time-outs set.
  const std::string& opened_name() const { return openedName_; }
  int baud_rate() const { return baudRate_; }
  const SerialTimeouts& timeouts() const { return timeouts_; }
  int opens() const { return opens_; }
  // The time limit of each drain, in order (ComPort drains before a close).
  const std::vector<int>& drain_limits() const { return drainLimits_; }
  int purges() const { return purges_; }
  int read_requests() const { return readRequests_; }
  // Chunks queued and not read yet, due or not.
  size_t pending_chunks() const { return chunks_.size(); }

  // ---- SerialDevice -----------------------------------------------------------
  bool open(const char* name) override;
  bool configure(int baudRate) override;
  bool set_timeouts(const SerialTimeouts& timeouts) override;
  bool purge() override;
  ReadRequest read(char* buffer, int count, int& got) override;
  // The chunks due by now, joined, up to `count` bytes; the clock does not
  // move.
  ReadRequest read_waiting(char* buffer, int count, int& got) override;
  bool start_write(const char* data, int length) override;
  bool drain(int timeoutMs) override;
  void close() override;
  bool is_open() const override { return open_; }
  int error_code() const override { return errorCode_; }
  int64_t last_byte_lag_us() const override { return lagUs_; }

 private:
  struct Chunk {
    std::string bytes;
    int64_t due;  // fake microseconds
  };
  struct Rule {
    std::string trigger;
    std::vector<std::string> chunks;
    int delayMs;
    int gapMs;
    int usesLeft;  // -1: unlimited
  };
  struct Failure {
    FakeFailure what;
    int code;
  };

  // True (and the code in errorCode_) when a failure of `what` is pending;
  // it is used up.
  bool take_failure(FakeFailure what);
  bool hung_up() const { return hangUpAt_ >= 0 && clock_.now_microseconds() >= hangUpAt_; }
  void queue_at(const std::string& bytes, int64_t due);

  FakeClock& clock_;
  bool open_ = false;
  int errorCode_ = 0;
  std::deque<Chunk> chunks_;
  std::vector<Rule> rules_;
  Responder responder_;
  std::vector<Failure> failures_;
  int64_t hangUpAt_ = -1;
  int hangUpCode_ = 0;

  std::string written_;
  std::vector<std::string> writes_;
  std::string openedName_;
  int baudRate_ = 0;
  SerialTimeouts timeouts_;
  int opens_ = 0;
  std::vector<int> drainLimits_;
  int purges_ = 0;
  int readRequests_ = 0;
  bool quietWindow_ = false;
  int64_t lagUs_ = 0;
};

}  // namespace smstest
