// One modem session on the modem's proprietary SMS commands: the AT-command
// layer over one serial port, and the SmsSession (sms_session.h) of a run
// whose command file names no command set.
//
// A session owns an AtChannel (at_channel.h), opens its port there with the
// test's settings and the handshake, probes the modem's "AT!DASMS" command, and carries the SMS
// traffic of a test: send_sms ("AT!SSMS"), receive_sms (polls "AT!GSMS?2,0"), delete_messages
// ("AT!DSMS=3,0").  Every operation returns false (or a failure code) and
// leaves the reason in lastError; a success never clears it.  All waits are
// bounded by the test deadline the port keeps or by the caller's time-out;
// every wait, pause and counter reading goes through the port's clock.  An
// interrupted run (common/interrupt.h) ends every operation within about
// 100 ms with "Interrupted by signal %d\n" in lastError.  The commands'
// answers are read here, not by the channel's answer reader: their texts and
// debug-log records are those the result line and the logs have always
// had (answers.h holds the rules).  The set announces nothing: poll() reads
// nothing, and the port is read by the commands only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "modem/answers.h"
#include "modem/at_channel.h"
#include "modem/sms_session.h"
#include "serial/com_port.h"

namespace smstest {

// Outcomes of SmsModem::wait_response other than the position of the error
// token (0 or more).
constexpr int kResponseReadFailed = -2;  // the read failed
constexpr int kResponseUsable = -1;      // a usable answer

// Outcomes of SmsModem::probe_dasms.
constexpr int kProbeAccepted = 1;     // answered without "ERROR"
constexpr int kProbeNotWritten = 0;   // the command could not be written
constexpr int kProbeRejected = -1;    // answered "ERROR"
constexpr int kProbeNoResponse = -2;  // no usable response

class SmsModem : public SmsSession {
 public:
  // The port on the platform's serial device and the system clock.
  SmsModem();
  // The port on `device` and `clock` (see ComPort); `clock` must outlive the
  // session.
  SmsModem(std::unique_ptr<SerialDevice> device, Clock& clock);
  SmsModem(const SmsModem&) = delete;
  SmsModem& operator=(const SmsModem&) = delete;

  // Creates the port's debug log at `path` (reported on the error stream and
  // left off when it can't be created).  Call before open() so that the
  // handshake is logged.
  void open_log(const char* path) override;

  // Opens the port and probes the modem.  `testStart` is the run's start in
  // the clock's steady seconds (ComPort::open_line).  True when the port is
  // open and the modem answered the probe, whatever the answer ("ERROR"
  // included).
  bool open(int portNumber, int baudRate, int testTimeout, int64_t testStart) override;

  // Sends "AT!DASMS\r".  kProbeAccepted, kProbeRejected (answered with
  // "ERROR", reported on the error stream), kProbeNotWritten or
  // kProbeNoResponse.
  int probe_dasms();

  // Reads one response into the caller's buffer and classifies it:
  // kResponseReadFailed (the buffer holds what arrived), 0 or more the
  // position of `errorToken` in it, kResponseUsable.  A message listing ("+CMGL:")
  // is usable even when it also holds the error token.
  int wait_response(char* buffer, int capacity, int timeoutSeconds, const char* errorToken);

  // Sends `text` to `number` and waits for the modem's confirmation ("OK"
  // anywhere, or "+CMGS:" after the first byte): send() in strings.  `sendStart` is read once
  // the command is written, `sendEnd` when the confirmation is seen.  Gives
  // up once more than `timeoutSeconds` whole seconds have passed; with a
  // negative time-out only the first response can confirm.
  bool send_sms(const char* number, const char* text, int64_t& sendStart, int64_t& sendEnd,
                int timeoutSeconds);

  // Polls the modem until it reports a received message, then takes its
  // sender and body apart (receive() in strings); `foundAt` is read when the message was found.
  // The deadline is now + `timeoutSeconds`, or the test deadline when
  // `timeoutSeconds` is 0 or less.
  bool receive_sms(std::string& sender, std::string& body, int64_t& foundAt, int timeoutSeconds);

  // Takes the sender ("Address:") and the body ("Msg Body:") out of a
  // message report.  1 on success, 0 with lastError set when one is missing.
  int parse_message(const char* response, std::string& sender, std::string& body);

  // Deletes the stored messages.  True unless the write or the read failed
  // or the modem answered "ERROR".
  bool delete_messages() override;

  // SmsSession in records: send_sms, receive_sms and their readings.  The
  // set gives no message reference, no alphabet and no store index.
  bool send(const OutgoingMessage& message, SendReceipt& receipt, int timeoutSeconds) override;
  bool receive(ReceivedMessage& message, int timeoutSeconds) override;
  // The text came as it is: nothing to decode.
  bool decode(ReceivedMessage& /*message*/) override { return true; }
  bool poll(int64_t /*untilMs*/) override { return true; }
  bool take_notice(Notice& /*notice*/) override { return false; }
  int64_t now_ms() override { return channel_.now_ms(); }
  void close_port() override { port.close_com(); }
  const std::string& last_error() const override { return lastError; }
  AtChannel* at_channel() override { return &channel_; }

 private:
  AtChannel channel_;

 public:
  ComPort& port;  // the channel's
  std::string lastError;

 private:
  // True, with "Interrupted by signal %d\n" in lastError, once the run was
  // interrupted (common/interrupt.h): the send's and the receive's loops
  // end then.
  bool interrupted();

  // Discards what is already waiting on the line (ComPort::discard_input),
  // then writes the command.  False with the port's text in lastError.
  // When an earlier read ran out of time with nothing (port.answerOwed), the
  // late answer is waited for first: kLateAnswerSeconds at most, never past
  // the test deadline, read to its final result.
  bool write_command(const char* command, int length);
  void wait_for_late_answer();
  static constexpr int kLateAnswerSeconds = 3;

  // Reads the answer to `command` (as written) into the buffer until the
  // test deadline, without the command's echo when the modem still echoes.
  // False with the port's text in lastError when the read failed; the
  // buffer then holds what arrived.
  bool read_answer(char* buffer, int capacity, const char* command);

  // Reads on an answer that holds no final result yet ("OK" or "ERROR") for
  // as long as more of it comes within 1 to 2 s of the last piece.
  void read_to_final_result(char* buffer, int capacity);

  // Reads on a poll's answer: past the end of a full buffer, and until a
  // report has its body line and final result or `deadline` (steady
  // seconds) has passed.  `ok` tells whether the answer so far was read
  // without failure; returns the same for the whole.
  bool read_report(char* buffer, int capacity, bool ok, int64_t deadline);

  // wait_response's classification of an answer already read, with the
  // error token not counted inside `report`.
  int classify(const char* buffer, const char* errorToken, const ReportSpan& report);
};

}  // namespace smstest
