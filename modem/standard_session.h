// StandardSession: a modem session on the standard SMS commands of 3GPP
// TS 27.005, the SmsSession (sms_session.h) of a run whose command file
// names the command set "text" (or "pdu": the dialogue below with PduFormat's
// AT+CMGF=0, no AT+CSCS, AT+CMGL=4 and AT+CMGS=<length>).
//
// Open: the port and its handshake as for every session (handshake.h:
// "AT", "AT", "ATE0"), then
//   AT+CMEE=1              numeric error codes (an error is noted, ignored)
//   AT+CMGF=1              the message format (an error fails the open)
//   AT+CSCS="IRA"          the format's settings (errors noted, ignored,
//                          but for one the format needs: AT+CSCS="UCS2" for
//                          UTF-8 texts in text mode, whose error fails the
//                          open)
//   AT+CNMI=2,1,0,0,0      "+CMTI: <mem>,<index>" for each new message; a
//                          modem that refuses it is asked for the next form
//                          of indicationSettings (2,1,0,0, then 1,1,0,0,0),
//                          each refusal noted; when it refuses them all, the
//                          receive lists alone
//   AT+CMGL="ALL"          the messages stored now, remembered by index:
//                          the session never reads or deletes them, even
//                          when the modem announces them (it flushes what
//                          it held), nor those announced before AT+CNMI
//                          was answered
// Send: AT+CMGS="<number>", the prompt, the text and Ctrl-Z; "+CMGS: <mr>"
// and OK confirm, <mr> going into the receipt.  No prompt in time: ESC cancels.  Receive: AT+CPMS?
// (is the store full?), then a message announced by "+CMTI:", or else one that the listing, made at
// once and about once a second, shows and that was not stored at open; read with AT+CMGR=<index>.
// Delete: AT+CMGD=<index> of the message taken, nothing else.  A SIM-busy answer (+CMS ERROR: 314,
// +CME ERROR: 14) to any command is tried again once a second until the test deadline.
// A text longer than one message goes in parts (PDU mode: MessageFormat::submit_parts), each
// its own AT+CMGS and confirmation, one after the other, with a concatenation reference of this
// session's ConcatReferences; the receipt's sendStart is the first part's.
//
// The dialogue runs on an AtChannel (at_channel.h); the mode's commands,
// parsing and decoding come from the MessageFormat (message_format.h).
// Every wait is bounded by the test deadline or the caller's time-out; every
// pause is a wait for the modem's lines, so an announcement is read when it
// comes, and, while a receive waits, the lines of the session it watches
// too (SmsSession::watch_also).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "modem/at_channel.h"
#include "modem/message_format.h"
#include "modem/sms_session.h"
#include "modem/status_reports.h"
#include "pdu/concatenation.h"

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
  bool send(const OutgoingMessage& message, SendReceipt& receipt, int timeoutSeconds) override;
  bool receive(ReceivedMessage& message, int timeoutSeconds) override;
  bool delete_messages() override;
  bool decode(ReceivedMessage& message) override;
  bool poll(int64_t untilMs) override;
  bool take_notice(Notice& notice) override { return channel_.reader.take_other_notice(notice); }
  int64_t now_ms() override { return channel_.now_ms(); }
  // Status reports (standard_session_reports.cpp).
  void want_reports() override { reports_ = true; }
  void want_utf8_texts() override { format_->utf8Texts = true; }
  bool next_report(const ReportFilter& ours, StatusReport& report, int64_t untilMs,
                   bool& got) override;
  bool restore_settings() override;
  void close_port() override { channel_.port.close_com(); }
  const std::string& last_error() const override { return channel_.lastError; }
  AtChannel* at_channel() override { return &channel_; }

  // The indices of the messages stored when the session opened.
  const std::set<int>& stored_at_open() const { return storedAtOpen_; }
  // Whether the modem took one of the indication settings, so that new
  // messages are announced.
  bool announces() const { return announces_; }

  // With want_reports(): the <ds> the modem took (1: +CDS, 2: +CDSI), 0 when
  // it announces no reports and the status-report storage is listed.
  int report_indication() const { return reportDs_; }

  // The concatenation references of the messages this session sends in
  // parts (PDU mode): one per message, the next value each time.
  void use_references(ConcatReferences references) { references_ = references; }

  // The AT+CNMI forms tried at open, in order, until the modem takes one.
  std::vector<std::string> indicationSettings = {"AT+CNMI=2,1,0,0,0", "AT+CNMI=2,1,0,0",
                                                 "AT+CNMI=1,1,0,0,0"};

 private:
  enum class Take { kTaken, kGone, kFailed };

  // The format's mode and settings, and the indications.
  bool set_up();
  // Lists every stored message: `listed` the indices with the reading of
  // their lines.  `ok` is false when the modem answered an error that does
  // not mean "no messages".
  bool list(int64_t deadline, std::map<int, int64_t>& listed, bool& ok);
  // Takes stock of the store at open: what it holds now is never touched.
  bool take_stock();
  // Reads the message at `index`.
  Take take(int index, int64_t deadline, ReceivedMessage& message);
  // The store's use from AT+CPMS?; `note` gets a remark for the time-out
  // text when it is full.
  bool check_store(int64_t deadline, std::string& note);
  // The send's AT+CMGS and its prompt, then the payload and its
  // confirmation.
  enum class Sent { kConfirmed, kRetry, kFailed };
  Sent send_once(const std::string& command, const std::string& payload, int64_t limit,
                 SendReceipt& receipt, AtAnswer& answer);
  // The next message to read: an announced one, else one a listing showed.
  // -1 when there is none.
  int next_index(int64_t& learnt);
  // Lists the store when a listing is due and keeps what is new.
  bool list_new(int64_t limit);
  // Waits for a new-message notice until the counter reaches `untilMs`,
  // reading the watched session's modem in turn.
  bool wait_for_message(int64_t untilMs, int64_t deadline);

  // Status reports (standard_session_reports.cpp).
  // At open: AT+CSMS? (acknowledgements) and AT+CNMI=? (the <ds> offered),
  // then the AT+CNMI forms to try, those with a <ds> first.
  bool set_up_reports(std::vector<std::string>& forms);
  // After the form `taken` (index into `forms`) was taken: which <ds>.
  void note_report_form(const std::vector<std::string>& forms, size_t taken);
  // AT+CSMP? once, then AT+CSMP with TP-SRR set (text mode).
  bool ask_report_parameters();
  // The report of a notice; `got` false when the notice gave none.
  bool report_of_notice(const Notice& notice, StatusReport& report, bool& got);
  // Reads and (when `ours` takes it) deletes the report at `index` of the
  // storage `memory`; `got` false when it could not be read.
  bool read_stored_report(const std::string& memory, int index, const ReportFilter& ours,
                          StatusReport& report, bool& got);
  // Lists the status-report storage; the first report `ours` takes, deleted.
  bool list_reports(const ReportFilter& ours, StatusReport& report, bool& got);
  // Selects `memory` for reading with AT+CPMS; `previous` gets the one it
  // replaced.  `ok` false when the modem refused.
  bool select_memory(const std::string& memory, std::string& previous, bool& ok);
  bool restore_memory(const std::string& previous);

  bool reports_ = false;
  int reportDs_ = 0;
  bool acknowledge_ = false;  // +CSMS: 1: each +CDS gets an AT+CNMA
  bool parametersAsked_ = false;
  bool parametersChanged_ = false;
  SubmitParameters savedParameters_;
  int64_t nextReportListing_ = 0;
  std::set<std::string> reportsLeft_;  // "<memory>,<index>" of reports not ours

  std::unique_ptr<MessageFormat> format_;
  AtChannel channel_;
  ConcatReferences references_;
  int64_t testDeadline_ = 0;
  bool announces_ = false;
  // False when the store could not be listed at open: the first listing
  // that works then stands for it.
  bool storeKnown_ = false;
  std::set<int> storedAtOpen_;
  std::set<int> announcedAtOpen_;  // announced before AT+CNMI was answered
  std::set<int> passedOver_;       // announced or listed, but not there when read
  std::map<int, int64_t> listed_;  // new messages a listing showed, not read yet
  int taken_ = -1;
};

}  // namespace smstest
