#include "modem/standard_session.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/text.h"
#include "modem/at_errors.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

// Pause between two listings of the receive.
constexpr int kListingMs = 1000;
// While a receive watches another session, its own modem is read in
// requests of this length, which end 1 ms after a burst of bytes: its lines
// are timed at their arrival.  Between two requests the other modem's port
// is looked at without waiting, so a line there is timed within this of its
// arrival, and a waiting run wakes about 500 times a second, not 2,000.
constexpr int kSliceMs = 2;

const char kCtrlZ[] = "\x1A";
const char kEsc[] = "\x1B";
const char kCounterFailed[] = "Call to QueryPerformanceCounter failed\n";

// Answers to a listing or a read that mean "no message there".
bool means_no_message(const AtAnswer& answer) {
  return (answer.final == FinalCode::kCmsError && answer.code == 321) ||
         (answer.final == FinalCode::kCmeError && (answer.code == 21 || answer.code == 22));
}

// "+CMGS: <mr>[,<scts>]": the message reference, -1 when there is none.
int message_reference(const AtAnswer& answer) {
  if (answer.info.empty()) return -1;
  std::vector<std::string> fields = split_fields(answer.info.front().text.substr(6));
  return !fields.empty() && all_digits(fields[0]) ? std::atoi(fields[0].c_str()) : -1;
}

}  // namespace

StandardSession::StandardSession(std::unique_ptr<MessageFormat> format,
                                 std::unique_ptr<SerialDevice> device, Clock& clock)
    : format_(std::move(format)), channel_(std::move(device), clock) {}

void StandardSession::open_log(const char* path) { channel_.port.open_log(path); }

bool StandardSession::open(int portNumber, int baudRate, int testTimeout, int64_t testStart) {
  answered_ = channel_.open_answering(portNumber, baudRate, testTimeout, testStart);
  if (!answered_) return false;
  testDeadline_ = channel_.test_deadline();
  return set_up() && take_stock();
}

bool StandardSession::set_up() {
  AtAnswer answer;
  if (!channel_.ask("AT+CMEE=1", ExpectedAnswer(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) channel_.note_error("AT+CMEE=1", answer, "errors stay plain");

  const std::string mode = format_->mode_command();
  if (!channel_.ask(mode, ExpectedAnswer(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) return channel_.fail_answer(mode, answer);
  for (const std::string& setting : format_->setting_commands()) {
    if (!channel_.ask(setting, ExpectedAnswer(), testDeadline_, answer)) return false;
    if (answer.final != FinalCode::kOk) {
      const std::string why = format_->setting_needed(setting);
      if (!why.empty()) {
        return channel_.fail(format("%s answered %s: %s", setting.c_str(),
                                    describe_final(answer).c_str(), why.c_str()));
      }
      channel_.note_error(setting, answer, "going on without it");
    }
  }

  // The first form the modem takes; each refusal is noted with what comes
  // next.
  std::vector<std::string> forms = indicationSettings;
  if (reports_ && !set_up_reports(forms)) return false;
  announces_ = false;
  for (size_t i = 0; i < forms.size() && !announces_; ++i) {
    const std::string& setting = forms[i];
    if (!channel_.ask(setting, ExpectedAnswer(), testDeadline_, answer)) return false;
    announces_ = answer.final == FinalCode::kOk;
    if (announces_) {
      if (reports_) note_report_form(forms, i);
      break;
    }
    const bool last = i + 1 == forms.size();
    const std::string next = last ? "" : "trying " + forms[i + 1];
    channel_.note_error(setting, answer, last ? "new messages are found by listing" : next.c_str());
  }
  // What was announced before or inside the answer to AT+CNMI was held by
  // the modem while no indications were asked for: stored before the test.
  Notice notice;
  while (channel_.reader.take_notice(NoticeKind::kNewMessage, notice)) {
    if (notice.index >= 0) announcedAtOpen_.insert(notice.index);
  }
  return true;
}

bool StandardSession::take_stock() {
  // What is stored now is never read or deleted, announced or not: a
  // modem flushes the indications it held (after its OK to AT+CNMI, or
  // before it) for messages that were there before the test.  A notice
  // counts as new only for an index this listing does not show.
  std::map<int, int64_t> listed;
  bool ok = false;
  if (!list(testDeadline_, listed, ok)) return false;
  storeKnown_ = ok;
  if (!ok) {
    port_log(channel_.port,
             "The store could not be listed: the first listing that works stands for it\n");
  }
  storedAtOpen_ = announcedAtOpen_;
  for (const auto& entry : listed) storedAtOpen_.insert(entry.first);
  if (!storedAtOpen_.empty()) {
    std::string indices;
    for (int index : storedAtOpen_) indices += format("%s%d", indices.empty() ? "" : ",", index);
    port_log(channel_.port, "Stored before the test, left alone: %s\n", indices.c_str());
  }
  return true;
}

bool StandardSession::list(int64_t deadline, std::map<int, int64_t>& listed, bool& ok) {
  listed.clear();
  ExpectedAnswer expected;
  expected.info = "+CMGL:";
  expected.dataLines = true;
  AtAnswer answer;
  const std::string command = format_->list_command();
  if (!channel_.ask(command, expected, deadline, answer)) return false;
  ok = answer.final == FinalCode::kOk || means_no_message(answer);
  if (!ok) {
    channel_.note_error(command, answer, "no listing");
    return true;
  }
  for (const AnswerLine& line : answer.info) {
    std::vector<std::string> fields = split_fields(line.text.substr(6));
    if (fields.empty() || !all_digits(fields[0])) {
      port_log(channel_.port, "Listing line without an index: %s\n", line.text.c_str());
      continue;
    }
    listed.emplace(std::atoi(fields[0].c_str()), line.reading);
  }
  return true;
}

StandardSession::Take StandardSession::take(int index, int64_t deadline, ReceivedMessage& message) {
  const std::string command = format("AT+CMGR=%d", index);
  ExpectedAnswer expected;
  expected.info = "+CMGR:";
  expected.dataLines = true;
  AtAnswer answer;
  if (!channel_.ask(command, expected, deadline, answer)) return Take::kFailed;
  if (means_no_message(answer) || (answer.final == FinalCode::kOk && answer.info.empty())) {
    port_log(channel_.port, "%s: no message there\n", command.c_str());
    return Take::kGone;
  }
  if (answer.final != FinalCode::kOk) {
    channel_.fail_answer(command, answer);
    return Take::kFailed;
  }
  const std::string header = trim_text(answer.info[0].text.substr(6));
  const std::string data = answer.data.empty() ? std::string() : answer.data[0].text;
  std::string error;
  message = ReceivedMessage();
  if (!format_->read_message(header, data, message, error)) {
    channel_.fail(format("%s: %s", command.c_str(), error.c_str()));
    return Take::kFailed;
  }
  message.storeIndex = index;
  return Take::kTaken;
}

bool StandardSession::check_store(int64_t deadline, std::string& note) {
  note.clear();
  ExpectedAnswer expected;
  expected.info = "+CPMS:";
  AtAnswer answer;
  if (!channel_.ask("AT+CPMS?", expected, deadline, answer)) return false;
  if (answer.final != FinalCode::kOk || answer.info.empty()) return true;
  // <mem1>,<used1>,<total1>,<mem2>,...,<mem3>,<used3>,<total3>: new
  // messages go to <mem3>.
  std::vector<std::string> fields = split_fields(answer.info[0].text.substr(6));
  if (fields.size() < 9 || !all_digits(fields[7]) || !all_digits(fields[8])) return true;
  int used = std::atoi(fields[7].c_str());
  int total = std::atoi(fields[8].c_str());
  if (used < total) return true;
  note = format(" The message store was full (%d of %d).", used, total);
  port_log(channel_.port, "Message store full: %d of %d\n", used, total);
  return true;
}

StandardSession::Sent StandardSession::send_once(const std::string& command,
                                                 const std::string& payload, int64_t limit,
                                                 SendReceipt& receipt, AtAnswer& answer) {
  ExpectedAnswer promptExpected;
  promptExpected.echo = command;
  promptExpected.promptEnds = true;
  bool timedOut = false;
  if (!channel_.write_bytes(command + "\r")) return Sent::kFailed;
  if (!channel_.read_answer(promptExpected, limit, answer, timedOut)) return Sent::kFailed;
  if (timedOut) {
    // The modem may yet open the text entry: ESC closes it unsent.
    channel_.write_bytes(kEsc);
    channel_.fail(
        with_what_came(format("No prompt for the message text after %s in time", command.c_str()),
                       answer.bytes) +
        "; cancelled with ESC");
    return Sent::kFailed;
  }
  if (answer.final == FinalCode::kOk) {
    channel_.fail(format("%s answered OK without a prompt for the text", command.c_str()));
    return Sent::kFailed;
  }
  if (answer.final != FinalCode::kPrompt) return Sent::kRetry;
  ExpectedAnswer confirmExpected;
  confirmExpected.echo = payload;
  confirmExpected.info = "+CMGS:";
  if (!channel_.write_bytes(payload + kCtrlZ)) return Sent::kFailed;
  int64_t handedOver = 0;
  if (!channel_.clock().read_performance_counter(handedOver)) {
    channel_.fail(kCounterFailed);
    return Sent::kFailed;
  }
  // The message's send starts with its first part.
  if (receipt.parts.empty()) receipt.sendStart = handedOver;
  if (!channel_.read_answer(confirmExpected, limit, answer, timedOut)) {
    // The port's own text (a comm mask, a read error) says nothing of what
    // it means here: it goes to the debug log.
    port_log(channel_.port, "%s\n", channel_.lastError.c_str());
    channel_.fail(format("modem stopped answering on COM%d after the message was handed over",
                         channel_.port.portNumber));
    return Sent::kFailed;
  }
  if (timedOut) {
    channel_.fail(with_what_came(
        format("Send Timed Out Waiting for +CMGS: after %s", command.c_str()), answer.bytes));
    return Sent::kFailed;
  }
  if (answer.final != FinalCode::kOk) return Sent::kRetry;
  // The message reference line is the confirmation; a modem that leaves it
  // out confirms with its OK alone.
  const AnswerLine& confirmation = answer.info.empty() ? answer.finalLine : answer.info.front();
  if (confirmation.reading == kNoReading) {
    channel_.fail(kCounterFailed);
    return Sent::kFailed;
  }
  receipt.sendEnd = confirmation.reading;
  receipt.parts.push_back({message_reference(answer), confirmation.reading, handedOver});
  return Sent::kConfirmed;
}

bool StandardSession::send(const OutgoingMessage& message, SendReceipt& receipt,
                           int timeoutSeconds) {
  Clock& clock = channel_.clock();
  const int64_t started = clock.steady_seconds();
  // The reads stop once more than `timeoutSeconds` whole seconds have
  // passed; without a time-out of its own the send has the test's.
  const int64_t limit = timeoutSeconds >= 0 ? started + timeoutSeconds + 1 : testDeadline_;
  const int64_t retryLimit = limit < testDeadline_ ? limit : testDeadline_;
  std::string error;
  if (message.statusReport && format_->report_by_parameters() && !ask_report_parameters()) {
    return false;
  }
  format_->requestReport = message.statusReport;
  format_->referenceBits = message.referenceBits;
  format_->maxParts = message.maxParts;
  const int reference = references_.take(message.referenceBits);
  std::vector<Submission> parts;
  if (!format_->submit_parts(message.number, message.text, reference, parts, error)) {
    return channel_.fail(error);
  }
  receipt = SendReceipt();
  if (parts.size() > 1) {
    receipt.concatReference = reference;
    receipt.concatReferenceBits = message.referenceBits;
    port_log(channel_.port, "Sending %d parts, concatenation reference %d (%d bits)\n",
             static_cast<int>(parts.size()), reference, message.referenceBits);
  }
  // Each part its own AT+CMGS, in order; a SIM-busy answer to one is tried
  // again as for a single message.
  for (const Submission& part : parts) {
    for (;;) {
      const int64_t triedAt = channel_.now_ms();
      AtAnswer answer;
      const Sent sent = send_once(part.command, part.payload, limit, receipt, answer);
      if (sent == Sent::kConfirmed) break;
      if (sent == Sent::kFailed) return false;
      if (!is_sim_busy(answer) || clock.steady_seconds() >= retryLimit) {
        return channel_.fail_answer(part.command, answer);
      }
      channel_.note_error(part.command, answer, "trying again in a second");
      if (!channel_.wait(triedAt + AtChannel::kRetryMs, retryLimit, false)) return false;
    }
  }
  return true;
}

int StandardSession::next_index(int64_t& learnt) {
  Notice notice;
  while (channel_.reader.take_notice(NoticeKind::kNewMessage, notice)) {
    // A message the modem did not store (+CMT) is no message the receive
    // can read or delete: the listing finds stored ones.
    if (notice.index < 0) continue;
    if (storedAtOpen_.count(notice.index) != 0) {
      port_log(channel_.port, "Message %d was stored before the test: left alone\n", notice.index);
      continue;
    }
    const int index = notice.index;
    learnt = notice.reading;
    passedOver_.erase(index);
    auto listed = listed_.find(index);
    if (listed != listed_.end()) {
      if (listed->second != kNoReading && listed->second < learnt) learnt = listed->second;
      listed_.erase(listed);
    }
    return index;
  }
  if (listed_.empty()) return -1;
  const int index = listed_.begin()->first;
  learnt = listed_.begin()->second;
  listed_.erase(listed_.begin());
  return index;
}

bool StandardSession::list_new(int64_t limit) {
  std::map<int, int64_t> listed;
  bool ok = false;
  if (!list(limit, listed, ok)) return false;
  if (ok && !storeKnown_) {
    for (const auto& entry : listed) {
      if (!channel_.reader.noticed(entry.first)) storedAtOpen_.insert(entry.first);
    }
    storeKnown_ = true;
  } else if (ok) {
    for (const auto& entry : listed) {
      if (storedAtOpen_.count(entry.first) == 0 && passedOver_.count(entry.first) == 0) {
        listed_.insert(entry);
      }
    }
  }
  return true;
}

bool StandardSession::receive(ReceivedMessage& message, int timeoutSeconds) {
  Clock& clock = channel_.clock();
  const int64_t deadline =
      timeoutSeconds > 0 ? clock.steady_seconds() + timeoutSeconds : testDeadline_;
  // The receive gives up once the calendar is past its deadline.
  const int64_t limit = deadline + 1;
  std::string fullNote;
  if (!check_store(limit, fullNote)) return false;

  int64_t nextListing = channel_.now_ms();
  for (;;) {
    // An announcement first, then what a listing showed, then a listing
    // when one is due.
    int64_t learnt = kNoReading;
    const int index = next_index(learnt);
    if (index < 0 && channel_.now_ms() >= nextListing) {
      nextListing = channel_.now_ms() + kListingMs;
      if (!list_new(limit)) return false;
      continue;
    }
    if (index >= 0) {
      const Take outcome = take(index, limit, message);
      if (outcome == Take::kFailed) return false;
      if (outcome == Take::kGone) {
        passedOver_.insert(index);
        continue;
      }
      if (learnt == kNoReading) return channel_.fail(kCounterFailed);
      message.foundAt = learnt;
      taken_ = index;
      port_log(channel_.port, "Got SMS message: %s\n", message.raw.c_str());
      return true;
    }
    if (clock.steady_seconds() > deadline) {
      return channel_.fail("Operation Timed out during SMS Receive." + fullNote);
    }
    if (!wait_for_message(nextListing, limit)) return false;
  }
}

bool StandardSession::wait_for_message(int64_t untilMs, int64_t deadline) {
  if (watched_ == nullptr) return channel_.wait(untilMs, deadline, true);
  Clock& clock = channel_.clock();
  channel_.use_slices(kSliceMs);
  for (;;) {
    const int64_t now = channel_.now_ms();
    if (channel_.reader.has_notice(NoticeKind::kNewMessage) || now >= untilMs ||
        clock.steady_seconds() >= deadline) {
      return true;
    }
    const int64_t sliceEnd = now + kSliceMs < untilMs ? now + kSliceMs : untilMs;
    if (!channel_.wait(sliceEnd, deadline, true)) return false;
    // What the other modem sent meanwhile, at no wait.  Its failure is its
    // own session's to report when it is next used: this receive goes on.
    watched_->poll(kTakeArrived);
  }
}

bool StandardSession::poll(int64_t untilMs) {
  if (untilMs == kTakeArrived) return channel_.take_arrived();
  channel_.use_slices(kSliceMs);
  return channel_.wait(untilMs, testDeadline_, false);
}

bool StandardSession::decode(ReceivedMessage& message) {
  std::string error;
  if (format_->decode(message, channel_.port.logFile, error)) return true;
  channel_.lastError = error;
  return false;
}

bool StandardSession::delete_messages() {
  if (taken_ < 0) return channel_.fail("No received message to delete");
  const std::string command = format("AT+CMGD=%d", taken_);
  AtAnswer answer;
  if (!channel_.ask(command, ExpectedAnswer(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) return channel_.fail_answer(command, answer);
  taken_ = -1;
  return true;
}

}  // namespace smstest
