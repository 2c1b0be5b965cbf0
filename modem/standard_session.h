// StandardSession: a modem session on the standard SMS commands of 3GPP
// TS 27.005, the SmsSession (sms_session.h) of a run whose command file
// names the command set "text" (or "pdu": the dialogue below with PduFormat's
// AT+CMGF=0, no AT+CSCS, AT+CMGL=4 and AT+CMGS=<length>).
//
// Open: the port and its handshake as for every session (ComPort::open_com:
// "AT", "AT", "ATE0"), then
//   AT+CMEE=1              numeric error codes (an error is noted, ignored)
//   AT+CMGF=1              the message format (an error fails the open)
//   AT+CSCS="IRA"          the format's settings (errors noted, ignored)
//   AT+CNMI=2,1,0,0,0      "+CMTI: <mem>,<index>" for each new message (an
//                          error is noted: the receive then lists alone)
//   AT+CMGL="ALL"          the messages stored now, remembered by index:
//                          the session never reads or deletes them
// Send: AT+CMGS="<number>", the prompt, the text and Ctrl-Z; "+CMGS: <mr>"
// and OK confirm.  No prompt in time: ESC cancels.  Receive: AT+CPMS? (is
// the store full?), then a message announced by "+CMTI:", or else one that
// the listing, made at once and about once a second, shows and that was not
// stored at open; read with AT+CMGR=<index>.  Delete: AT+CMGD=<index> of the
// message taken, nothing else.  A SIM-busy answer (+CMS ERROR: 314, +CME
// ERROR: 14) to any command is tried again once a second until the test
// deadline.
//
// Answers are read by AtReader (at_answer.h); the mode's commands and
// parsing come from the MessageFormat (message_format.h).  Every wait is
// bounded by the test deadline or the caller's time-out; every pause is a
// wait for the modem's lines, so an announcement is read when it comes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "modem/at_answer.h"
#include "modem/message_format.h"
#include "modem/sms_session.h"
#include "serial/com_port.h"

namespace smstest {

class StandardSession : public SmsSession {
 public:
  // The port on `device` and `clock` (see ComPort), messages in `format`.
  StandardSession(std::unique_ptr<MessageFormat> format, std::unique_ptr<SerialDevice> device,
                  Clock& clock);
  StandardSession(const StandardSession&) = delete;
  StandardSession& operator=(const StandardSession&) = delete;

  void open_log(const char* path) override;
  bool open(int portNumber, int baudRate, int testTimeout, int64_t testStart) override;
  bool send_sms(const char* number, const char* text, int64_t& sendStart, int64_t& sendEnd,
                int timeoutSeconds) override;
  bool receive_sms(std::string& sender, std::string& body, int64_t& foundAt,
                   int timeoutSeconds) override;
  bool delete_messages() override;
  void close_port() override { port.close_com(); }
  const std::string& last_error() const override { return lastError; }
  int text_mode() const override { return format_->text_mode(); }
  FILE* debug_log() const override { return port.logFile; }

  // The indices of the messages stored when the session opened.
  const std::set<int>& stored_at_open() const { return storedAtOpen_; }
  // Whether the modem took AT+CNMI, so that new messages are announced.
  bool announces() const { return announces_; }

  ComPort port;
  std::string lastError;

 private:
  enum class Take { kTaken, kGone, kFailed };

  // Writes `command` and CR and reads the answer until a final result code;
  // a SIM-busy answer is tried again once a second until the test deadline.
  // True when an answer came, whatever its final result code; false with
  // `lastError` when the port failed or no final result code came before
  // `deadline`.
  bool ask(const std::string& command, AnswerSpec spec, int64_t deadline, AtAnswer& answer);
  // Writes `bytes`, kept until the next write (the port does not copy them).
  bool write_bytes(const std::string& bytes);
  // Notes in the debug log an error answer that the session goes on after.
  void note_error(const std::string& command, const AtAnswer& answer, const char* consequence);
  // Fails with `text`, which also goes to the debug log.
  bool fail(const std::string& text);
  // Lists every stored message: `listed` the indices with the reading of
  // their lines.  `ok` is false when the modem answered an error that does
  // not mean "no messages".
  bool list(int64_t deadline, std::map<int, int64_t>& listed, bool& ok);
  // Reads the message at `index`.
  Take take(int index, int64_t deadline, std::string& sender, std::string& body);
  // The store's use from AT+CPMS?; `note` gets a remark for the time-out
  // text when it is full.
  bool check_store(int64_t deadline, std::string& note);

  std::unique_ptr<MessageFormat> format_;
  AtReader reader_;
  std::string written_;
  int64_t testDeadline_ = 0;
  bool announces_ = false;
  // False when the store could not be listed at open: the first listing
  // that works then stands for it.
  bool storeKnown_ = false;
  std::set<int> storedAtOpen_;
  std::set<int> passedOver_;       // announced or listed, but not there when read
  std::map<int, int64_t> listed_;  // new messages a listing showed, not read yet
  int taken_ = -1;
};

}  // namespace smstest
