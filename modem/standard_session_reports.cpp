// StandardSession: status reports.  At open (with want_reports()):
//   AT+CSMS?              service 1 means each +CDS is acknowledged with
//                         AT+CNMA, or the modem stops routing reports
//   AT+CNMI=?             the <ds> values offered
//   AT+CNMI=2,1,0,1,0     reports as +CDS when offered, else (or when the
//   AT+CNMI=2,1,0,2,0     modem refuses it) +CDSI into a storage, else the
//                         usual forms: reports are then found by listing the
//                         "SR" storage every kReportListingMs
// A text-mode send that asks for a report first reads AT+CSMP? and sets the
// same values with TP-SRR; restore_settings() puts them back.
#include <cstdlib>
#include <vector>

#include "common/clock.h"
#include "common/text.h"
#include "modem/standard_session.h"

namespace smstest {

namespace {

// Pause between two listings of the status-report storage of a modem that
// announces no reports.
constexpr int64_t kReportListingMs = 5000;
// A report wait returns within this of its end.
constexpr int64_t kReportSliceMs = 20;

// The groups of "(0-3),(0,1),(0),(0-2),(0,1)": each group's values.
std::vector<std::vector<int>> offered_groups(const std::string& values) {
  std::vector<std::vector<int>> groups;
  size_t at = 0;
  while ((at = values.find('(', at)) != std::string::npos) {
    const size_t end = values.find(')', at);
    if (end == std::string::npos) break;
    std::vector<int> group;
    for (const std::string& item : split(values.substr(at + 1, end - at - 1), ',')) {
      const size_t dash = item.find('-');
      const std::string low = trim_text(item.substr(0, dash));
      const std::string high = dash == std::string::npos ? low : trim_text(item.substr(dash + 1));
      if (!all_digits(low) || !all_digits(high)) continue;
      for (int v = std::atoi(low.c_str()); v <= std::atoi(high.c_str()) && v < 10; ++v) {
        group.push_back(v);
      }
    }
    groups.push_back(group);
    at = end + 1;
  }
  return groups;
}

bool offers(const std::vector<int>& group, int value) {
  for (int v : group) {
    if (v == value) return true;
  }
  return false;
}

}  // namespace

bool StandardSession::set_up_reports(std::vector<std::string>& forms) {
  AtAnswer answer;
  ExpectedAnswer service;
  service.info = "+CSMS:";
  if (!channel_.ask("AT+CSMS?", service, testDeadline_, answer)) return false;
  if (answer.final == FinalCode::kOk && !answer.info.empty()) {
    const std::vector<std::string> fields = split_fields(answer.info[0].text.substr(6));
    acknowledge_ = !fields.empty() && fields[0] == "1";
    if (acknowledge_) {
      port_log(channel_.port, "Message service 1: each +CDS is acknowledged with AT+CNMA\n");
    }
  } else {
    channel_.note_error("AT+CSMS?", answer, "no acknowledgements");
  }

  ExpectedAnswer test;
  test.info = "+CNMI:";
  if (!channel_.ask("AT+CNMI=?", test, testDeadline_, answer)) return false;
  std::vector<int> ds = {1, 2};
  if (answer.final == FinalCode::kOk && !answer.info.empty()) {
    const std::vector<std::vector<int>> groups = offered_groups(answer.info[0].text.substr(6));
    if (groups.size() >= 4) ds = groups[3];
  } else {
    channel_.note_error("AT+CNMI=?", answer, "trying <ds> 1 and 2");
  }
  std::vector<std::string> withReports;
  for (int value : {1, 2}) {
    if (offers(ds, value)) withReports.push_back(format("AT+CNMI=2,1,0,%d,0", value));
  }
  if (withReports.empty()) {
    port_log(channel_.port, "AT+CNMI=? offers no <ds> for status reports\n");
  }
  forms.insert(forms.begin(), withReports.begin(), withReports.end());
  return true;
}

void StandardSession::note_report_form(const std::vector<std::string>& forms, size_t taken) {
  const std::string& form = forms[taken];
  const std::vector<std::string> values = split(form.substr(form.find('=') + 1), ',');
  reportDs_ = values.size() >= 4 && all_digits(values[3]) ? std::atoi(values[3].c_str()) : 0;
  if (reportDs_ == 1) {
    port_log(channel_.port, "Status reports come as +CDS\n");
  } else if (reportDs_ == 2) {
    port_log(channel_.port, "Status reports come as +CDSI\n");
  } else {
    reportDs_ = 0;
    port_log(channel_.port,
             "Status reports are not announced: the status-report storage is listed every %d s\n",
             static_cast<int>(kReportListingMs / 1000));
  }
}

bool StandardSession::ask_report_parameters() {
  if (parametersAsked_) return true;
  parametersAsked_ = true;
  AtAnswer answer;
  ExpectedAnswer read;
  read.info = "+CSMP:";
  if (!channel_.ask("AT+CSMP?", read, testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk || answer.info.empty() ||
      !parse_submit_parameters(answer.info[0].text.substr(6), savedParameters_)) {
    channel_.note_error("AT+CSMP?", answer, "taking 17,167,0,0 for the modem's values");
    savedParameters_ = SubmitParameters();
  }
  const std::string command = submit_parameters_command(savedParameters_, true);
  if (!channel_.ask(command, ExpectedAnswer(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) {
    channel_.note_error(command, answer, "the message goes without a status report request");
    return true;
  }
  parametersChanged_ = true;
  return true;
}

bool StandardSession::restore_settings() {
  if (!parametersChanged_) return true;
  parametersChanged_ = false;
  const std::string command = submit_parameters_command(savedParameters_, false);
  AtAnswer answer;
  if (!channel_.ask(command, ExpectedAnswer(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) channel_.note_error(command, answer, "left as it is");
  return true;
}

bool StandardSession::select_memory(const std::string& memory, std::string& previous, bool& ok) {
  previous.clear();
  AtAnswer answer;
  ExpectedAnswer read;
  read.info = "+CPMS:";
  if (!channel_.ask("AT+CPMS?", read, testDeadline_, answer)) return false;
  if (answer.final == FinalCode::kOk && !answer.info.empty()) {
    const std::vector<std::string> fields = split_fields(answer.info[0].text.substr(6));
    if (!fields.empty()) previous = fields[0];
  }
  const std::string command = "AT+CPMS=\"" + memory + "\"";
  if (!channel_.ask(command, read, testDeadline_, answer)) return false;
  ok = answer.final == FinalCode::kOk;
  if (!ok) channel_.note_error(command, answer, "its reports stay there");
  return true;
}

bool StandardSession::restore_memory(const std::string& previous) {
  if (previous.empty()) return true;
  const std::string command = "AT+CPMS=\"" + previous + "\"";
  ExpectedAnswer read;
  read.info = "+CPMS:";
  AtAnswer answer;
  if (!channel_.ask(command, read, testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) channel_.note_error(command, answer, "left as it is");
  return true;
}

bool StandardSession::read_stored_report(const std::string& memory, int index,
                                         const ReportFilter& ours, StatusReport& report,
                                         bool& got) {
  got = false;
  const std::string key = format("%s,%d", memory.c_str(), index);
  if (reportsLeft_.count(key) != 0) return true;
  std::string previous;
  bool selected = false;
  if (!select_memory(memory, previous, selected)) return false;
  if (!selected) return true;
  const std::string command = format("AT+CMGR=%d", index);
  ExpectedAnswer expected;
  expected.info = "+CMGR:";
  expected.dataLines = !format_->report_by_parameters();
  AtAnswer answer;
  if (!channel_.ask(command, expected, testDeadline_, answer)) return false;
  StatusReport read;
  std::string error;
  bool readable = answer.final == FinalCode::kOk && !answer.info.empty();
  if (!readable) {
    channel_.note_error(command, answer, "the status report cannot be read back");
  } else {
    const std::string header = trim_text(answer.info[0].text.substr(6));
    if (expected.dataLines) {
      const std::vector<std::string> fields = split_fields(header);
      const int length = all_digits(fields.back()) ? std::atoi(fields.back().c_str()) : -1;
      const std::string data = answer.data.empty() ? std::string() : answer.data[0].text;
      readable = report_from_pdu(data, length, read, error);
    } else {
      readable = report_from_text_fields(header, 1, read, error);
    }
    if (!readable) port_log(channel_.port, "Status report %s: %s\n", key.c_str(), error.c_str());
  }
  if (readable && ours(read)) {
    report = read;
    got = true;
    const std::string erase = format("AT+CMGD=%d", index);
    if (!channel_.ask(erase, ExpectedAnswer(), testDeadline_, answer)) return false;
    if (answer.final != FinalCode::kOk) channel_.note_error(erase, answer, "left stored");
  } else {
    reportsLeft_.insert(key);
    if (readable) {
      port_log(channel_.port, "Status report not of this run, left alone: %s\n",
               escape_text(read.raw).c_str());
    }
  }
  return restore_memory(previous);
}

bool StandardSession::list_reports(const ReportFilter& ours, StatusReport& report, bool& got) {
  got = false;
  std::string previous;
  bool selected = false;
  if (!select_memory("SR", previous, selected)) return false;
  if (!selected) return true;
  ExpectedAnswer expected;
  expected.info = "+CMGL:";
  expected.dataLines = !format_->report_by_parameters();
  AtAnswer answer;
  const std::string command = format_->list_command();
  if (!channel_.ask(command, expected, testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) channel_.note_error(command, answer, "no reports listed");
  for (size_t i = 0; i < answer.info.size() && !got; ++i) {
    const std::string header = trim_text(answer.info[i].text.substr(6));
    const std::vector<std::string> fields = split_fields(header);
    if (fields.empty() || !all_digits(fields[0])) continue;
    const int index = std::atoi(fields[0].c_str());
    const std::string key = format("SR,%d", index);
    if (reportsLeft_.count(key) != 0) continue;
    StatusReport read;
    std::string error;
    bool readable = false;
    if (expected.dataLines) {
      const int length = all_digits(fields.back()) ? std::atoi(fields.back().c_str()) : -1;
      const std::string data = i < answer.data.size() ? answer.data[i].text : std::string();
      readable = report_from_pdu(data, length, read, error);
    } else {
      readable = report_from_text_fields(header, 2, read, error);
    }
    read.arrivedAt = answer.info[i].reading;
    read.via = "listing";
    if (readable && ours(read)) {
      report = read;
      got = true;
      const std::string erase = format("AT+CMGD=%d", index);
      AtAnswer deleted;
      if (!channel_.ask(erase, ExpectedAnswer(), testDeadline_, deleted)) return false;
      if (deleted.final != FinalCode::kOk) channel_.note_error(erase, deleted, "left stored");
    } else {
      reportsLeft_.insert(key);
      port_log(channel_.port, "Listed status report %d left alone: %s\n", index,
               readable ? escape_text(read.raw).c_str() : error.c_str());
    }
  }
  return restore_memory(previous);
}

bool StandardSession::report_of_notice(const Notice& notice, StatusReport& report, bool& got) {
  got = false;
  std::string error;
  const std::string values = trim_text(notice.line.substr(5));
  if (!notice.data.empty()) {
    got = report_from_pdu(notice.data, all_digits(values) ? std::atoi(values.c_str()) : -1, report,
                          error);
  } else {
    got = report_from_text_fields(values, 0, report, error);
  }
  if (!got) port_log(channel_.port, "Status report that does not read: %s\n", error.c_str());
  report.arrivedAt = notice.reading;
  report.via = "+CDS";
  if (!acknowledge_) return true;
  AtAnswer answer;
  if (!channel_.ask("AT+CNMA", ExpectedAnswer(), testDeadline_, answer)) return false;
  if (answer.final != FinalCode::kOk) channel_.note_error("AT+CNMA", answer, "going on");
  return true;
}

bool StandardSession::next_report(const ReportFilter& ours, StatusReport& report, int64_t untilMs,
                                  bool& got) {
  got = false;
  Clock& clock = channel_.clock();
  for (;;) {
    Notice notice;
    while (channel_.reader.take_notice(NoticeKind::kStatusReport, notice)) {
      StatusReport read;
      bool have = false;
      if (notice.index >= 0) {
        if (!read_stored_report(notice.memory, notice.index, ours, read, have)) return false;
        read.arrivedAt = notice.reading;
        read.via = "+CDSI";
        if (have) {
          report = read;
          got = true;
          return true;
        }
        continue;
      }
      if (!report_of_notice(notice, read, have)) return false;
      if (!have) continue;
      if (ours(read)) {
        report = read;
        got = true;
        return true;
      }
      port_log(channel_.port, "Status report not of this run, left alone: %s\n",
               escape_text(read.raw).c_str());
    }
    const int64_t now = channel_.now_ms();
    if (reportDs_ == 0 && now >= nextReportListing_) {
      nextReportListing_ = now + kReportListingMs;
      if (!list_reports(ours, report, got)) return false;
      if (got) return true;
      continue;
    }
    if (now >= untilMs || clock.steady_seconds() > testDeadline_) return true;
    int64_t until = now + kReportSliceMs < untilMs ? now + kReportSliceMs : untilMs;
    if (reportDs_ == 0 && nextReportListing_ < until) until = nextReportListing_;
    if (!channel_.wait(until, testDeadline_ + 1, false)) return false;
  }
}

}  // namespace smstest
