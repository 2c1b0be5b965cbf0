// AtChannel: what both sessions share of the AT dialogue with one modem:
// the port (serial/com_port.h), its opening with the handshake, the answer
// reader (at_answer.h) and its notices (unsolicited.h), one ask() with the
// SIM-busy retry, the deadlines, and the failure texts.
//
// The standard session (standard_session.h) runs its whole dialogue here.
// The proprietary session (sms_modem.h) opens its port here, and keeps its
// own reads of its commands' answers, whose texts and debug-log records are
// those of its result line and logs; what it does anew goes through here.
//
// A failed operation returns false and leaves its text in `lastError`,
// which a later success never clears.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "modem/at_answer.h"
#include "serial/com_port.h"

namespace smstest {

class Clock;
class SerialDevice;

class AtChannel {
 public:
  // The port on the platform's serial device and the system clock.
  AtChannel();
  // The port on `device` and `clock`, which must outlive the channel.
  AtChannel(std::unique_ptr<SerialDevice> device, Clock& clock);
  AtChannel(const AtChannel&) = delete;
  AtChannel& operator=(const AtChannel&) = delete;

  // Opens the port with the test's settings and runs the proprietary
  // session's handshake ("AT", "AT", "ATE0" in fixed read requests,
  // open_modem_port in handshake.h).  The test deadline is `testStart` +
  // `testTimeout` (steady seconds).
  bool open(int portNumber, int baudRate, int testTimeout, int64_t testStart);

  // Opens the port as open() does, hands it to the answer reader (read
  // requests of kQuietMs and kRequestMs) and runs the standard handshake,
  // which waits for answers, not time (answering_handshake in handshake.h).
  bool open_answering(int portNumber, int baudRate, int testTimeout, int64_t testStart);

  // Writes `command` and CR and reads the answer as `expected` describes it
  // (its echo is `command`) until a final result code.  A SIM-busy answer
  // (+CMS ERROR: 314, +CME ERROR: 14) is noted and tried again once a second
  // until the test deadline.  True when an answer came, whatever its final
  // result code; false with `lastError` when the port failed or no final
  // result code came before `deadline` ("No final result code for <command>
  // in time" and what the modem sent).
  bool ask(const std::string& command, ExpectedAnswer expected, int64_t deadline, AtAnswer& answer);

  // Writes `bytes`, kept until the next write (the port does not copy them).
  bool write_bytes(const std::string& bytes);

  // Reads one answer (AtReader::read_answer); false with `lastError` when
  // the port failed.  `timedOut` tells whether the deadline came first.
  bool read_answer(const ExpectedAnswer& expected, int64_t deadline, AtAnswer& answer,
                   bool& timedOut);

  // Reads what the modem sends by itself until the counter reaches
  // `untilMs` (of now_ms()), the calendar reaches `deadline` or, with
  // `stopAtMessage`, a new message is announced.  False with `lastError`
  // when the port failed.
  bool wait(int64_t untilMs, int64_t deadline, bool stopAtMessage);

  // Sorts what the modem has sent by now, without waiting
  // (AtReader::take_arrived).  False with `lastError` when the port failed.
  bool take_arrived();

  // Notes in the debug log an error answer that the session goes on after:
  // "<command> answered <final>: <consequence>".
  void note_error(const std::string& command, const AtAnswer& answer, const char* consequence);
  // Fails with `text`, which also goes to the debug log.
  bool fail(const std::string& text);
  // Fails with "<command> answered <final>".
  bool fail_answer(const std::string& command, const AtAnswer& answer);

  // Read requests from now on return after `sliceMs` with nothing (0: after
  // kRequestMs), for a caller that reads several modems in turn.  Every
  // write goes back to kRequestMs.
  void use_slices(int sliceMs);

  int64_t now_ms() { return reader.now_ms(); }
  int64_t test_deadline() const { return port.testStart + port.testTimeout; }
  Clock& clock() const { return port.clock(); }

  // A read request returns 1 ms after the last byte of a burst, or after
  // 100 ms with nothing: the readings are taken within milliseconds of the
  // bytes, and the deadlines are looked at ten times a second.
  static constexpr int kQuietMs = 1;
  static constexpr int kRequestMs = 100;
  // Pause between the tries of a command the SIM was busy for.
  static constexpr int kRetryMs = 1000;

  ComPort port;
  AtReader reader;
  std::string lastError;

 private:
  std::string written_;
  int sliceMs_ = 0;
};

// `text` with " (the modem sent \"<bytes>\")" after it when `bytes` holds any.
std::string with_what_came(std::string text, const std::string& bytes);

}  // namespace smstest
