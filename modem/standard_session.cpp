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

// A read request returns 1 ms after the last byte of a burst, or after
// 100 ms with nothing: the readings are taken within milliseconds of the
// bytes, and the deadlines are looked at ten times a second.
constexpr int kQuietMs = 1;
constexpr int kRequestMs = 100;
// The handshake's reads end at the first chunk that ends in white space,
// so a modem that answers in pieces may still be sending the rest of its
// answers to "AT" and "ATE0": the line must be this quiet before the first
// command, or else the rest of an old answer would pass for the new one.
constexpr int kSettleMs = 500;
// Pause between the tries of a command the SIM was busy for, and between
// two listings of the receive.
constexpr int kRetryMs = 1000;
constexpr int kListingMs = 1000;

const char kCtrlZ[] = "\x1A";
const char kEsc[] = "\x1B";
const char kCounterFailed[] = "Call to QueryPerformanceCounter failed\n";

// Answers to a listing or a read that mean "no message there".
bool means_no_message(const AtAnswer& answer) {
  return (answer.final == FinalCode::kCmsError && answer.code == 321) ||
         (answer.final == FinalCode::kCmeError && (answer.code == 21 || answer.code == 22));
}

std::string no_answer_text(const std::string& command, const std::string& bytes) {
  std::string text = format("No final result code for %s in time", command.c_str());
  if (!bytes.empty()) text += format(" (the modem sent \"%s\")", escape_text(bytes).c_str());
  return text;
}

bool digits(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

StandardSession::StandardSession(std::unique_ptr<MessageFormat> format,
                                 std::unique_ptr<SerialDevice> device, Clock& clock)
    : port(std::move(device), clock), format_(std::move(format)), reader_(port) {}

void StandardSession::open_log(const char* path) { port.open_log(path); }

bool StandardSession::write_bytes(const std::string& bytes) {
  written_ = bytes;
  if (!port.write_com(written_.data(), static_cast<int>(written_.size()))) {
    lastError = port.lastError;
    return false;
  }
  return true;
}

bool StandardSession::fail(const std::string& text) {
  lastError = text;
  port_log(port, "%s\n", text.c_str());
  return false;
}

void StandardSession::note_error(const std::string& command, const AtAnswer& answer,
                                 const char* consequence) {
  port_log(port, "%s answered %s: %s\n", command.c_str(), describe_final(answer).c_str(),
           consequence);
}

bool StandardSession::ask(const std::string& command, AnswerSpec spec, int64_t deadline,
                          AtAnswer& answer) {
  spec.echo = command;
  Clock& clock = port.clock();
  for (;;) {
    const int64_t triedAt = reader_.now_ms();
    if (!write_bytes(command + "\r")) return false;
    ReadOutcome outcome = reader_.read_answer(spec, deadline, answer);
    if (outcome == ReadOutcome::kReadFailed) {
      lastError = reader_.lastError;
      return false;
    }
    if (outcome == ReadOutcome::kTimedOut) return fail(no_answer_text(command, answer.bytes));
    if (!is_sim_busy(answer) || clock.steady_seconds() >= testDeadline_) return true;
    note_error(command, answer, "trying again in a second");
    if (reader_.wait(triedAt + kRetryMs, testDeadline_, false) == ReadOutcome::kReadFailed) {
      lastError = reader_.lastError;
      return false;
    }
  }
}

bool StandardSession::open(int portNumber, int baudRate, int testTimeout, int64_t testStart) {
  if (!port.open_com(portNumber, baudRate, testTimeout, testStart)) {
    lastError = port.lastError;
    return false;
  }
  testDeadline_ = testStart + testTimeout;
  port.set_request_timing(kQuietMs, kRequestMs);
  if (reader_.settle(kSettleMs, testDeadline_) == ReadOutcome::kReadFailed) {
    lastError = reader_.lastError;
    return false;
  }

  AtAnswer answer;
  if (!ask("AT+CMEE=1", AnswerSpec(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) note_error("AT+CMEE=1", answer, "errors stay plain");

  const std::string mode = format_->mode_command();
  if (!ask(mode, AnswerSpec(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) {
    return fail(format("%s answered %s", mode.c_str(), describe_final(answer).c_str()));
  }
  for (const std::string& setting : format_->setting_commands()) {
    if (!ask(setting, AnswerSpec(), testDeadline_, answer)) return false;
    if (answer.final != FinalCode::kOk) note_error(setting, answer, "going on without it");
  }

  static const char kIndications[] = "AT+CNMI=2,1,0,0,0";
  if (!ask(kIndications, AnswerSpec(), testDeadline_, answer)) return false;
  announces_ = answer.final == FinalCode::kOk;
  if (!announces_) note_error(kIndications, answer, "new messages are found by listing");

  // What is stored now is never read or deleted.  A message announced while
  // the session opened came after AT+CNMI, so it is new even if the listing
  // shows it.
  std::map<int, int64_t> listed;
  bool ok = false;
  if (!list(testDeadline_, listed, ok)) return false;
  storeKnown_ = ok;
  if (!ok) {
    port_log(port, "The store could not be listed: the first listing that works stands for it\n");
  }
  for (const auto& entry : listed) {
    if (!reader_.noticed(entry.first)) storedAtOpen_.insert(entry.first);
  }
  if (!storedAtOpen_.empty()) {
    std::string indices;
    for (int index : storedAtOpen_) indices += format("%s%d", indices.empty() ? "" : ",", index);
    port_log(port, "Stored before the test, left alone: %s\n", indices.c_str());
  }
  return true;
}

bool StandardSession::list(int64_t deadline, std::map<int, int64_t>& listed, bool& ok) {
  listed.clear();
  AnswerSpec spec;
  spec.info = "+CMGL:";
  spec.dataLines = true;
  AtAnswer answer;
  const std::string command = format_->list_command();
  if (!ask(command, spec, deadline, answer)) return false;
  ok = answer.final == FinalCode::kOk || means_no_message(answer);
  if (!ok) {
    note_error(command, answer, "no listing");
    return true;
  }
  for (const AnswerLine& line : answer.info) {
    std::vector<std::string> fields = split_fields(line.text.substr(6));
    if (fields.empty() || !digits(fields[0])) {
      port_log(port, "Listing line without an index: %s\n", line.text.c_str());
      continue;
    }
    listed.emplace(std::atoi(fields[0].c_str()), line.reading);
  }
  return true;
}

StandardSession::Take StandardSession::take(int index, int64_t deadline, std::string& sender,
                                            std::string& body) {
  const std::string command = format("AT+CMGR=%d", index);
  AnswerSpec spec;
  spec.info = "+CMGR:";
  spec.dataLines = true;
  AtAnswer answer;
  if (!ask(command, spec, deadline, answer)) return Take::kFailed;
  if (means_no_message(answer) || (answer.final == FinalCode::kOk && answer.info.empty())) {
    port_log(port, "%s: no message there\n", command.c_str());
    return Take::kGone;
  }
  if (answer.final != FinalCode::kOk) {
    fail(format("%s answered %s", command.c_str(), describe_final(answer).c_str()));
    return Take::kFailed;
  }
  const std::string header = trim_text(answer.info[0].text.substr(6));
  const std::string data = answer.data.empty() ? std::string() : answer.data[0].text;
  std::string error;
  if (!format_->read_message(header, data, sender, body, error)) {
    fail(format("%s: %s", command.c_str(), error.c_str()));
    return Take::kFailed;
  }
  return Take::kTaken;
}

bool StandardSession::check_store(int64_t deadline, std::string& note) {
  note.clear();
  AnswerSpec spec;
  spec.info = "+CPMS:";
  AtAnswer answer;
  if (!ask("AT+CPMS?", spec, deadline, answer)) return false;
  if (answer.final != FinalCode::kOk || answer.info.empty()) return true;
  // <mem1>,<used1>,<total1>,<mem2>,...,<mem3>,<used3>,<total3>: new
  // messages go to <mem3>.
  std::vector<std::string> fields = split_fields(answer.info[0].text.substr(6));
  if (fields.size() < 9 || !digits(fields[7]) || !digits(fields[8])) return true;
  int used = std::atoi(fields[7].c_str());
  int total = std::atoi(fields[8].c_str());
  if (used < total) return true;
  note = format(" The message store was full (%d of %d).", used, total);
  port_log(port, "Message store full: %d of %d\n", used, total);
  return true;
}

bool StandardSession::send_sms(const char* number, const char* text, int64_t& sendStart,
                               int64_t& sendEnd, int timeoutSeconds) {
  Clock& clock = port.clock();
  const int64_t started = clock.steady_seconds();
  // The reads stop once more than `timeoutSeconds` whole seconds have
  // passed; without a time-out of its own the send has the test's.
  const int64_t limit = timeoutSeconds >= 0 ? started + timeoutSeconds + 1 : testDeadline_;
  const int64_t retryLimit = limit < testDeadline_ ? limit : testDeadline_;
  std::string command, payload, error;
  if (!format_->submit(number, text, command, payload, error)) return fail(error);

  AnswerSpec promptSpec;
  promptSpec.echo = command;
  promptSpec.promptEnds = true;
  AnswerSpec confirmSpec;
  confirmSpec.echo = payload;
  confirmSpec.info = "+CMGS:";
  for (;;) {
    const int64_t triedAt = reader_.now_ms();
    AtAnswer answer;
    if (!write_bytes(command + "\r")) return false;
    ReadOutcome outcome = reader_.read_answer(promptSpec, limit, answer);
    if (outcome == ReadOutcome::kReadFailed) {
      lastError = reader_.lastError;
      return false;
    }
    if (outcome == ReadOutcome::kTimedOut) {
      // The modem may yet open the text entry: ESC closes it unsent.
      write_bytes(kEsc);
      std::string why = format("No prompt for the message text after %s in time", command.c_str());
      if (!answer.bytes.empty()) {
        why += format(" (the modem sent \"%s\")", escape_text(answer.bytes).c_str());
      }
      return fail(why + "; cancelled with ESC");
    }
    if (answer.final == FinalCode::kOk) {
      return fail(format("%s answered OK without a prompt for the text", command.c_str()));
    }
    if (answer.final == FinalCode::kPrompt) {
      if (!write_bytes(payload + kCtrlZ)) return false;
      if (!clock.read_performance_counter(sendStart)) return fail(kCounterFailed);
      outcome = reader_.read_answer(confirmSpec, limit, answer);
      if (outcome == ReadOutcome::kReadFailed) {
        lastError = reader_.lastError;
        return false;
      }
      if (outcome == ReadOutcome::kTimedOut) {
        std::string why = format("Send Timed Out Waiting for +CMGS: after %s", command.c_str());
        if (!answer.bytes.empty()) {
          why += format(" (the modem sent \"%s\")", escape_text(answer.bytes).c_str());
        }
        return fail(why);
      }
      if (answer.final == FinalCode::kOk) {
        // The message reference line is the confirmation; a modem that
        // leaves it out confirms with its OK alone.
        const AnswerLine& confirmation =
            answer.info.empty() ? answer.finalLine : answer.info.front();
        if (confirmation.reading == kNoReading) return fail(kCounterFailed);
        sendEnd = confirmation.reading;
        return true;
      }
    }
    if (is_sim_busy(answer) && clock.steady_seconds() < retryLimit) {
      note_error(command, answer, "trying again in a second");
      if (reader_.wait(triedAt + kRetryMs, retryLimit, false) == ReadOutcome::kReadFailed) {
        lastError = reader_.lastError;
        return false;
      }
      continue;
    }
    return fail(format("%s answered %s", command.c_str(), describe_final(answer).c_str()));
  }
}

bool StandardSession::receive_sms(std::string& sender, std::string& body, int64_t& foundAt,
                                  int timeoutSeconds) {
  Clock& clock = port.clock();
  const int64_t deadline =
      timeoutSeconds > 0 ? clock.steady_seconds() + timeoutSeconds : testDeadline_;
  // The receive gives up once the calendar is past its deadline.
  const int64_t limit = deadline + 1;
  std::string fullNote;
  if (!check_store(limit, fullNote)) return false;

  int64_t nextListing = reader_.now_ms();
  for (;;) {
    // An announcement first, then what a listing showed, then a listing
    // when one is due.
    int index = -1;
    int64_t learnt = kNoReading;
    Notice notice;
    while (index < 0 && reader_.take_notice(notice)) {
      if (storedAtOpen_.count(notice.index) != 0) {
        port_log(port, "Message %d was stored before the test: left alone\n", notice.index);
        continue;
      }
      index = notice.index;
      learnt = notice.reading;
      passedOver_.erase(index);
      auto listed = listed_.find(index);
      if (listed != listed_.end()) {
        if (listed->second != kNoReading && listed->second < learnt) learnt = listed->second;
        listed_.erase(listed);
      }
    }
    if (index < 0 && !listed_.empty()) {
      index = listed_.begin()->first;
      learnt = listed_.begin()->second;
      listed_.erase(listed_.begin());
    }
    if (index < 0 && reader_.now_ms() >= nextListing) {
      nextListing = reader_.now_ms() + kListingMs;
      std::map<int, int64_t> listed;
      bool ok = false;
      if (!list(limit, listed, ok)) return false;
      if (ok && !storeKnown_) {
        for (const auto& entry : listed) {
          if (!reader_.noticed(entry.first)) storedAtOpen_.insert(entry.first);
        }
        storeKnown_ = true;
      } else if (ok) {
        for (const auto& entry : listed) {
          if (storedAtOpen_.count(entry.first) == 0 && passedOver_.count(entry.first) == 0) {
            listed_.insert(entry);
          }
        }
      }
      continue;
    }
    if (index >= 0) {
      Take outcome = take(index, limit, sender, body);
      if (outcome == Take::kFailed) return false;
      if (outcome == Take::kGone) {
        passedOver_.insert(index);
        continue;
      }
      if (learnt == kNoReading) return fail(kCounterFailed);
      foundAt = learnt;
      taken_ = index;
      port_log(port, "Got SMS message: %s\n", body.c_str());
      return true;
    }
    if (clock.steady_seconds() > deadline) {
      return fail("Operation Timed out during SMS Receive." + fullNote);
    }
    if (reader_.wait(nextListing, limit, true) == ReadOutcome::kReadFailed) {
      lastError = reader_.lastError;
      return false;
    }
  }
}

bool StandardSession::delete_messages() {
  if (taken_ < 0) return fail("No received message to delete");
  const std::string command = format("AT+CMGD=%d", taken_);
  AtAnswer answer;
  if (!ask(command, AnswerSpec(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) {
    return fail(format("%s answered %s", command.c_str(), describe_final(answer).c_str()));
  }
  taken_ = -1;
  return true;
}

}  // namespace smstest
