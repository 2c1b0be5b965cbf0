#include "tools/modems/modem_probe.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "common/text.h"
#include "modem/at_answer.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One command's answer: its lines, and whether it ended in OK.
struct Answer {
  bool ok = false;
  bool final = false;
  std::vector<std::string> lines;
  std::string bytes;
};

class Prober {
 public:
  Prober(SerialDevice& device, int budgetMs, int commandMs)
      : device_(device), start_(Clock::now()), budgetMs_(budgetMs), commandMs_(commandMs) {}

  bool time_left() const { return ms_since(start_) < budgetMs_ - 20; }

  // Writes `command` CR and reads lines until a final result code, the
  // command's time or the budget is up.  The echo is dropped.
  Answer ask(const std::string& command) {
    Answer a;
    if (!time_left()) return a;
    const std::string line = command + "\r";
    if (!device_.start_write(line.data(), static_cast<int>(line.size()))) return a;
    const Clock::time_point asked = Clock::now();
    std::string pending;
    char buffer[512];
    while (ms_since(asked) < commandMs_ && time_left()) {
      int got = 0;
      if (device_.read(buffer, sizeof buffer, got) != ReadRequest::kDone) break;
      a.bytes.append(buffer, static_cast<size_t>(got));
      pending.append(buffer, static_cast<size_t>(got));
      for (size_t end; (end = pending.find_first_of("\r\n")) != std::string::npos;) {
        std::string text = trim_text(pending.substr(0, end));
        pending.erase(0, end + 1);
        if (text.empty() || text == command) continue;
        if (text == "OK") {
          a.ok = a.final = true;
          return a;
        }
        if (text == "ERROR" || text.rfind("+CME ERROR", 0) == 0 ||
            text.rfind("+CMS ERROR", 0) == 0) {
          a.final = true;
          return a;
        }
        a.lines.push_back(text);
      }
    }
    return a;
  }

  // The first line of an answer that starts with `prefix` ("" for any line
  // that does not look unsolicited); "" when there is none.
  std::string line(const std::string& command, const std::string& prefix = "") {
    Answer a = ask(command);
    if (!a.ok) return "";
    for (const std::string& l : a.lines) {
      if (prefix.empty() ? !looks_unsolicited(l) : l.rfind(prefix, 0) == 0) return l;
    }
    return "";
  }

 private:
  SerialDevice& device_;
  Clock::time_point start_;
  int budgetMs_;
  int commandMs_;
};

std::string after_colon(const std::string& line) {
  size_t colon = line.find(':');
  return colon == std::string::npos ? "" : trim_text(line.substr(colon + 1));
}

}  // namespace

std::string command_set_to_use(const ProbeResult& r) {
  if (r.textMode && r.cnmi) return "text";
  if (r.pduMode && r.cnmi) return "pdu";
  if (r.proprietary) return "proprietary";
  if (r.textMode) return "text";
  if (r.pduMode) return "pdu";
  return "";
}

ProbeResult probe_port(const PortCandidate& port, std::unique_ptr<SerialDevice> device,
                       int budgetMs, int commandMs) {
  ProbeResult r;
  r.port = port;
  if (!device->open(port.device.c_str())) {
    std::string reason;
    system_error_message(device->error_code(), reason);
    r.openError = reason.empty() ? "cannot open" : reason;
    return r;
  }
  r.opened = true;
  SerialTimeouts timeouts;
  timeouts.readInterval = 5;
  timeouts.readTotalConstant = 50;
  timeouts.writeTotalConstant = 200;
  device->configure(115200);
  device->set_timeouts(timeouts);
  device->purge();
  Prober p(*device, budgetMs, commandMs);
  Answer at = p.ask("AT");
  if (!at.ok) at = p.ask("AT");  // a modem that sleeps takes the first AT to wake up
  r.answersAt = at.ok;
  if (!r.answersAt) {
    r.garbage = !at.bytes.empty();
    device->close();
    return r;
  }
  r.identity.manufacturer = p.line("AT+CGMI");
  r.identity.model = p.line("AT+CGMM");
  r.identity.revision = p.line("AT+CGMR");
  r.identity.imei = p.line("AT+CGSN");
  r.sim = after_colon(p.line("AT+CPIN?", "+CPIN:"));
  std::string imsi = p.line("AT+CIMI");
  for (const char* command : {"AT+CEREG?", "AT+CGREG?", "AT+CREG?"}) {
    std::string prefix = std::string(command).substr(2, std::string(command).size() - 3) + ":";
    RadioSnapshot reg;
    if (parse_registration_line(p.line(command, prefix), true, reg) &&
        (!r.radio.stat ||
         (!r.radio.registered().value_or(false) && reg.registered().value_or(false)))) {
      r.radio.stat = reg.stat;
      r.radio.lac = reg.lac;
      r.radio.cellId = reg.cellId;
      r.radio.technology = reg.technology;
    }
  }
  std::string cops = p.line("AT+COPS?", "+COPS:");
  parse_operator_line(cops, r.radio);
  std::vector<std::string> f = split_fields(after_colon(cops));
  if (f.size() >= 3) r.operatorName = f[2];
  parse_csq_line(p.line("AT+CSQ", "+CSQ:"), r.radio);
  parse_cesq_line(p.line("AT+CESQ", "+CESQ:"), r.radio);
  r.identity.homeNetwork = home_network(imsi, r.radio.operatorId);
  std::vector<std::string> cnum = split_fields(after_colon(p.line("AT+CNUM", "+CNUM:")));
  if (cnum.size() >= 2) r.ownNumber = cnum[1];
  std::string cmgf = after_colon(p.line("AT+CMGF=?", "+CMGF:"));
  r.textMode = cmgf.find('1') != std::string::npos;
  r.pduMode = cmgf.find('0') != std::string::npos;
  r.csms = !p.line("AT+CSMS?", "+CSMS:").empty();
  r.cnmi = !p.line("AT+CNMI=?", "+CNMI:").empty();
  r.cpms = !p.line("AT+CPMS=?", "+CPMS:").empty();
  r.proprietary = p.ask("AT!DASMS").ok;
  r.use = command_set_to_use(r);
  device->close();
  return r;
}

std::vector<ProbeResult> probe_all(const std::vector<PortCandidate>& ports, int budgetMs) {
  std::vector<ProbeResult> results(ports.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < ports.size(); ++i) {
    threads.emplace_back([&results, &ports, i, budgetMs] {
      results[i] = probe_port(ports[i], make_serial_device(), budgetMs);
    });
  }
  for (std::thread& t : threads) t.join();
  return results;
}

namespace {

std::string or_dash(const std::string& text) { return text.empty() ? "-" : text; }

std::string sets_of(const ProbeResult& r) {
  std::string sets;
  auto add = [&sets](bool has, const char* name) {
    if (has) sets += (sets.empty() ? "" : ",") + std::string(name);
  };
  add(r.textMode, "text");
  add(r.pduMode, "pdu");
  add(r.proprietary, "proprietary");
  return sets;
}

std::string signal_of(const RadioSnapshot& s) {
  if (s.rsrpDbm) return format("RSRP %.0f dBm", *s.rsrpDbm);
  if (s.rscpDbm) return format("RSCP %.0f dBm", *s.rscpDbm);
  if (s.rssiDbm) return format("RSSI %d dBm", *s.rssiDbm);
  return "";
}

std::string registration_of(const RadioSnapshot& s) {
  if (!s.stat) return "";
  static const char* const kNames[] = {"not registered", "home",    "searching",
                                       "denied",         "unknown", "roaming"};
  return *s.stat >= 0 && *s.stat <= 5 ? kNames[*s.stat] : format("stat %d", *s.stat);
}

std::string state_of(const ProbeResult& r) {
  if (!r.opened) return "no (" + r.openError + ")";
  if (r.answersAt) return "yes";
  return r.garbage ? "no (garbage)" : "no (silent)";
}

}  // namespace

std::string probe_table(const std::vector<ProbeResult>& results) {
  const char* const kHeads[] = {"PORT",     "NAME", "AT",     "MODEM",  "SIM",  "REG",
                                "OPERATOR", "TECH", "SIGNAL", "NUMBER", "SETS", "USE"};
  std::vector<std::vector<std::string>> rows;
  rows.emplace_back(std::begin(kHeads), std::end(kHeads));
  for (const ProbeResult& r : results) {
    std::string modem = trim_text(r.identity.manufacturer + " " + r.identity.model);
    std::string oper = r.radio.operatorId.empty() ? r.operatorName : r.radio.operatorId;
    rows.push_back({r.port.comNumber > 0 ? format("COM%d", r.port.comNumber) : r.port.device,
                    or_dash(r.port.stableName.empty() ? r.port.device : r.port.stableName),
                    state_of(r), or_dash(modem), or_dash(r.sim), or_dash(registration_of(r.radio)),
                    or_dash(oper), or_dash(r.radio.technology), or_dash(signal_of(r.radio)),
                    or_dash(r.ownNumber), or_dash(sets_of(r)), or_dash(r.use)});
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}

std::string probe_json(const std::vector<ProbeResult>& results) {
  using Json = nlohmann::ordered_json;
  auto text = [](const std::string& t) { return t.empty() ? Json(nullptr) : Json(t); };
  Json ports = Json::array();
  for (const ProbeResult& r : results) {
    Json p;
    p["port"] = r.port.comNumber > 0 ? Json(format("COM%d", r.port.comNumber)) : Json(nullptr);
    p["device"] = r.port.device;
    p["stableName"] = text(r.port.stableName);
    p["opened"] = r.opened;
    p["openError"] = text(r.openError);
    p["answersAt"] = r.answersAt;
    p["garbage"] = r.garbage;
    p["manufacturer"] = text(r.identity.manufacturer);
    p["model"] = text(r.identity.model);
    p["revision"] = text(r.identity.revision);
    p["imei"] = text(r.identity.imei);
    p["homeNetwork"] = text(r.identity.homeNetwork);
    p["sim"] = text(r.sim);
    p["stat"] = r.radio.stat ? Json(*r.radio.stat) : Json(nullptr);
    p["registered"] = r.radio.registered() ? Json(*r.radio.registered()) : Json(nullptr);
    p["operator"] = text(r.radio.operatorId.empty() ? r.operatorName : r.radio.operatorId);
    p["technology"] = text(r.radio.technology);
    p["lac"] = text(r.radio.lac);
    p["cellId"] = text(r.radio.cellId);
    p["rssiDbm"] = r.radio.rssiDbm ? Json(*r.radio.rssiDbm) : Json(nullptr);
    p["rsrpDbm"] = r.radio.rsrpDbm ? Json(*r.radio.rsrpDbm) : Json(nullptr);
    p["rsrqDb"] = r.radio.rsrqDb ? Json(*r.radio.rsrqDb) : Json(nullptr);
    p["rscpDbm"] = r.radio.rscpDbm ? Json(*r.radio.rscpDbm) : Json(nullptr);
    p["ecnoDb"] = r.radio.ecnoDb ? Json(*r.radio.ecnoDb) : Json(nullptr);
    p["ownNumber"] = text(r.ownNumber);
    p["commandSets"] = {{"text", r.textMode}, {"pdu", r.pduMode}, {"proprietary", r.proprietary},
                        {"csms", r.csms},     {"cnmi", r.cnmi},   {"cpms", r.cpms}};
    p["use"] = text(r.use);
    ports.push_back(p);
  }
  return Json{{"ports", ports}}.dump(2) + "\n";
}

}  // namespace smstest
