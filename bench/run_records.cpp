#include "bench/run_records.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "common/result_line.h"
#include "common/text.h"

namespace smstest {

namespace {

// A whole text as a number; false for "" or trailing characters.
bool parse_number(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

bool all_digits(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if (!std::isdigit(c)) return false;
  }
  return true;
}

// A time column: "-Infinity" (NaN) or "%f" output: an optional minus,
// digits, a point and exactly six digits.
bool parse_time_column(const std::string& text, double& value) {
  if (text == "-Infinity") {
    value = kNoValue;
    return true;
  }
  size_t start = text.size() > 0 && text[0] == '-' ? 1 : 0;
  size_t point = text.find('.');
  if (point == std::string::npos || text.size() - point - 1 != 6) return false;
  if (!all_digits(text.substr(start, point - start)) || !all_digits(text.substr(point + 1))) {
    return false;
  }
  return parse_number(text, value);
}

// Cuts the first `count` blank-separated fields off `line`; the rest of the
// line (after one more blank) goes to `rest`.  False when fewer fields stand
// in it.
bool cut_fields(const std::string& line, size_t count, std::vector<std::string>& fields,
                std::string& rest, bool restRequired) {
  fields.clear();
  size_t at = 0;
  for (size_t k = 0; k < count; ++k) {
    size_t blank = line.find(' ', at);
    if (blank == std::string::npos) {
      if (k + 1 < count || restRequired) return false;
      fields.push_back(line.substr(at));
      rest.clear();
      return true;
    }
    fields.push_back(line.substr(at, blank - at));
    at = blank + 1;
  }
  rest = line.substr(at);
  return true;
}

std::vector<std::string> lines_of(const std::string& content) {
  std::vector<std::string> lines = split(content, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

bool parse_network_line(const std::string& line, NetworkEvent& event) {
  std::vector<std::string> f;
  std::string rest;
  if (!cut_fields(line, 7, f, rest, true)) return false;
  NetworkEvent e;
  if (!parse_number(f[0], e.at)) return false;
  e.event = f[1];
  e.port = f[2];
  e.from = f[3];
  e.to = f[4];
  e.ref = f[5];
  if (f[6] != "-" && !parse_number(f[6], e.delay)) return false;
  e.text = rest;
  event = e;
  return true;
}

bool parse_traffic_line(const std::string& line, TrafficEvent& event) {
  std::vector<std::string> f;
  std::string rest;
  if (!cut_fields(line, 2, f, rest, false)) return false;
  TrafficEvent e;
  if (!parse_number(f[0], e.at) || f[1].empty()) return false;
  e.kind = f[1];
  e.data = rest;
  event = e;
  return true;
}

std::vector<NetworkEvent> parse_network_log(const std::string& content) {
  std::vector<NetworkEvent> events;
  NetworkEvent e;
  for (const std::string& line : lines_of(content)) {
    if (parse_network_line(line, e)) events.push_back(e);
  }
  return events;
}

std::vector<TrafficEvent> parse_traffic_log(const std::string& content) {
  std::vector<TrafficEvent> events;
  TrafficEvent e;
  for (const std::string& line : lines_of(content)) {
    if (parse_traffic_line(line, e)) events.push_back(e);
  }
  return events;
}

namespace {

// The receiving side of a round trip in text mode: the tool takes
// `sendEnd` before its first command after the confirmation (the receive's
// AT+CPMS?) and `foundAt` when the message is announced, right before it
// reads the message with AT+CMGR.
bool trace_text_pickup(const std::vector<TrafficEvent>& toTraffic, const std::string& marker,
                       RoundTripTrace t, RoundTripTrace& trace, std::string& error) {
  for (const TrafficEvent& e : toTraffic) {
    if (e.at < t.confirmedAt || e.kind != "cmd") continue;
    if (std::isnan(t.firstPollAt)) t.firstPollAt = e.at;
    if (e.at >= t.storedAt && e.data.rfind("AT+CMGR=", 0) == 0) {
      t.foundPollAt = t.deleteAt = e.at;
      break;
    }
  }
  if (std::isnan(t.deleteAt)) {
    error = "no read of the message with " + marker;
    return false;
  }
  trace = t;
  return true;
}

// The parts after the first of a message whose first part `t` traced:
// confirmedAt becomes the last part's confirmation, storedAt the last
// delivery of any part, trueDelivery the time between the two.
bool trace_later_parts(const std::vector<NetworkEvent>& network, const std::string& marker,
                       int parts, RoundTripTrace& t) {
  size_t first = network.size();
  for (size_t i = 0; i < network.size(); ++i) {
    if (network[i].event == "sent" && contains(network[i].text, marker)) {
      first = i;
      break;
    }
  }
  if (first == network.size()) return false;
  const NetworkEvent& head = network[first];
  std::vector<std::string> refs = {head.ref};
  for (size_t i = first + 1; i < network.size() && static_cast<int>(refs.size()) < parts; ++i) {
    const NetworkEvent& e = network[i];
    if (e.event != "sent" || e.port != head.port) continue;
    refs.push_back(e.ref);
    t.confirmedAt = e.at;
  }
  if (static_cast<int>(refs.size()) < parts) return false;
  int delivered = 0;
  double last = kNoValue;
  for (const NetworkEvent& e : network) {
    if (e.event != "delivered" || e.from != head.from) continue;
    if (std::find(refs.begin(), refs.end(), e.ref) == refs.end()) continue;
    ++delivered;
    if (std::isnan(last) || e.at > last) last = e.at;
  }
  if (delivered < parts) return false;
  t.storedAt = last;
  t.trueDelivery = last - t.confirmedAt;
  return true;
}

}  // namespace

bool trace_round_trip(const std::vector<NetworkEvent>& network,
                      const std::vector<TrafficEvent>& fromTraffic,
                      const std::vector<TrafficEvent>& toTraffic, const std::string& marker,
                      RoundTripTrace& trace, std::string& error, int parts) {
  RoundTripTrace t;
  // In text mode the message goes as the text after AT+CMGS's prompt, which
  // the record shows as a command of its own, with its Ctrl-Z.
  bool textMode = false;
  for (const TrafficEvent& e : fromTraffic) {
    if (e.kind != "cmd" || !contains(e.data, marker)) continue;
    textMode = e.data.size() >= 4 && e.data.compare(e.data.size() - 4, 4, "\\x1A") == 0;
    if (textMode || e.data.rfind("AT!SSMS=", 0) == 0) {
      t.commandAt = e.at;
      break;
    }
  }
  for (const NetworkEvent& e : network) {
    if (!contains(e.text, marker)) continue;
    if (e.event == "sent" && std::isnan(t.confirmedAt)) t.confirmedAt = e.at;
    if (e.event == "delivered" && std::isnan(t.storedAt)) {
      t.storedAt = e.at;
      t.trueDelivery = e.delay;
    }
  }
  // In PDU mode the text after the prompt is hex, where the marker does not
  // show: the send is the last text entry (Ctrl-Z at its end) before the
  // network took the message; the rest goes as in text mode.
  if (std::isnan(t.commandAt) && !std::isnan(t.confirmedAt)) {
    for (const TrafficEvent& e : fromTraffic) {
      if (e.at > t.confirmedAt) break;
      if (e.kind == "cmd" && e.data.size() >= 4 &&
          e.data.compare(e.data.size() - 4, 4, "\\x1A") == 0) {
        t.commandAt = e.at;
        textMode = true;
      }
    }
  }
  if (parts > 1 && !std::isnan(t.confirmedAt) && !trace_later_parts(network, marker, parts, t)) {
    error = format("not all %d parts \"sent\" and \"delivered\" after ", parts) + marker;
    return false;
  }
  if (std::isnan(t.commandAt)) {
    error = "no send command with " + marker;
    return false;
  }
  if (std::isnan(t.confirmedAt) || std::isnan(t.storedAt) || std::isnan(t.trueDelivery)) {
    error = "no \"sent\" and \"delivered\" records with " + marker;
    return false;
  }
  if (textMode) return trace_text_pickup(toTraffic, marker, t, trace, error);
  // The receiving modem's record: the first poll after the confirmation, the
  // answer that carried the message, the poll it answered, the delete after it.
  size_t found = toTraffic.size();
  double lastPoll = kNoValue;
  for (size_t i = 0; i < toTraffic.size(); ++i) {
    const TrafficEvent& e = toTraffic[i];
    if (e.at < t.confirmedAt) continue;
    if (e.kind == "cmd" && e.data == "AT!GSMS?2,0") {
      if (std::isnan(t.firstPollAt)) t.firstPollAt = e.at;
      lastPoll = e.at;
    }
    if (e.kind == "out" && contains(e.data, "Msg Body: ") && contains(e.data, marker)) {
      t.foundPollAt = lastPoll;
      found = i;
      break;
    }
  }
  if (found == toTraffic.size() || std::isnan(t.foundPollAt)) {
    error = "no poll answered with " + marker;
    return false;
  }
  for (size_t i = found + 1; i < toTraffic.size(); ++i) {
    if (toTraffic[i].kind == "cmd" && toTraffic[i].data == "AT!DSMS=3,0") {
      t.deleteAt = toTraffic[i].at;
      break;
    }
  }
  if (std::isnan(t.deleteAt)) {
    error = "no delete after the message with " + marker;
    return false;
  }
  trace = t;
  return true;
}

bool trace_final_report(const std::vector<NetworkEvent>& network,
                        const std::vector<TrafficEvent>& fromTraffic, const std::string& marker,
                        ReportTrace& trace, std::string& error) {
  const NetworkEvent* sent = nullptr;
  for (const NetworkEvent& e : network) {
    if (e.event == "sent" && contains(e.text, marker)) {
      sent = &e;
      break;
    }
  }
  if (sent == nullptr) {
    error = "no \"sent\" record with " + marker;
    return false;
  }
  ReportTrace t;
  for (const NetworkEvent& e : network) {
    if (e.event != "report" || e.port != sent->port || e.ref != sent->ref || e.at < sent->at) {
      continue;
    }
    double status = 0;
    if (e.text.rfind("status=", 0) != 0 || !all_digits(e.text.substr(7)) ||
        !parse_number(e.text.substr(7), status)) {
      error = "a \"report\" record without its status: " + e.text;
      return false;
    }
    t.reportAt = e.at;
    t.status = static_cast<int>(status);
  }
  if (std::isnan(t.reportAt)) {
    error = "no \"report\" record for reference " + sent->ref + " of " + marker;
    return false;
  }
  for (const TrafficEvent& e : fromTraffic) {
    if (e.at >= t.reportAt && e.kind == "out" && contains(e.data, "+CDS")) {
      t.writtenAt = e.at;
      break;
    }
  }
  if (std::isnan(t.writtenAt)) {
    error = "no report line written after the final report of " + marker;
    return false;
  }
  trace = t;
  return true;
}

bool parse_record_report(const std::string& line, RecordReport& record) {
  const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
  if (j.is_discarded() || !j.is_object()) return false;
  auto text = [&](const char* key, std::string& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_string()) return false;
    out = it->get<std::string>();
    return true;
  };
  RecordReport r;
  if (!text("testName", r.testName) || !text("dataTime", r.dataTime)) return false;
  auto it = j.find("reportRequested");
  if (it != j.end()) {
    if (!it->is_boolean()) return false;
    r.reportRequested = it->get<bool>();
  }
  it = j.find("reportReceived");
  if (it != j.end() && !it->is_null()) {
    if (!it->is_string()) return false;
    r.reportReceived = true;
  }
  it = j.find("confirmTime");
  if (it != j.end() && !it->is_null()) {
    if (!it->is_number()) return false;
    r.confirmTime = it->get<double>();
  }
  it = j.find("reportStatus");
  if (it != j.end() && !it->is_null()) {
    if (!it->is_number_integer()) return false;
    r.reportStatus = it->get<int>();
  }
  it = j.find("reportClass");
  if (it != j.end() && !it->is_null() && !text("reportClass", r.reportClass)) return false;
  record = r;
  return true;
}

namespace {

// What `text` is; its times in `result` when it is a record of type 1 as
// SMS_TEST writes it.
ResultLineKind read_times(const std::string& text, ResultTimes& result) {
  ResultLine line;
  const ResultLineKind kind = read_result_line(text, line);
  if (kind != ResultLineKind::kMeasures) return kind;
  if (line.status != "0" && line.status != "2") return ResultLineKind::kNotResultLine;
  ResultTimes r;
  r.name = std::string(line.testName);
  r.dataTime = std::string(line.dataTime);
  r.status = line.status[0] - '0';
  double reply;
  if (!parse_time_column(std::string(line.sendTime), r.sendTime) ||
      !parse_time_column(std::string(line.deliveryTime), r.deliveryTime) ||
      !parse_time_column(std::string(line.replyTime), reply) ||
      !parse_time_column(std::string(line.totalTime), r.totalTime)) {
    return ResultLineKind::kNotResultLine;
  }
  r.accuracy = std::string(line.accuracy);
  if (r.accuracy != kNotMeasured && !all_digits(r.accuracy)) return ResultLineKind::kNotResultLine;
  result = r;
  return kind;
}

}  // namespace

bool parse_result_line(const std::string& line, ResultTimes& result) {
  return read_times(line, result) == ResultLineKind::kMeasures;
}

ResultFile parse_result_file(const std::string& content) {
  ResultFile file;
  std::vector<std::string> lines = split(content, '\n');
  // The text after the last line end is a line cut short, unless it is empty.
  for (size_t i = 0; i < lines.size(); ++i) {
    bool last = i + 1 == lines.size();
    if (last && lines[i].empty()) break;
    ResultTimes r;
    const ResultLineKind kind = last ? ResultLineKind::kNotResultLine : read_times(lines[i], r);
    if (kind == ResultLineKind::kMeasures) {
      file.lines.push_back(r);
    } else if (kind != ResultLineKind::kOtherRecord) {
      ++file.broken;
    }
  }
  return file;
}

double quantile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return kNoValue;
  double rank = p * static_cast<double>(sorted.size() - 1);
  size_t below = static_cast<size_t>(std::floor(rank));
  size_t above = std::min(below + 1, sorted.size() - 1);
  double weight = rank - static_cast<double>(below);
  return sorted[below] + (sorted[above] - sorted[below]) * weight;
}

Summary summarize(std::vector<double> values) {
  values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
               values.end());
  Summary s;
  s.count = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  double sum = 0;
  for (double v : values) sum += v;
  s.mean = sum / static_cast<double>(values.size());
  s.median = quantile(values, 0.5);
  s.p95 = quantile(values, 0.95);
  s.min = values.front();
  s.max = values.back();
  return s;
}

}  // namespace smstest
