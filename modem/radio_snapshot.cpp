#include "modem/radio_snapshot.h"

#include <cstdlib>
#include <vector>

#include "common/clock.h"
#include "common/text.h"
#include "modem/at_answer.h"
#include "modem/at_channel.h"

namespace smstest {

namespace {

bool starts_with(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The fields after "<prefix>: " of `line`, or false when `line` is not of
// one of `prefixes`.
bool fields_of(const std::string& line, const std::vector<const char*>& prefixes,
               std::vector<std::string>& fields) {
  for (const char* prefix : prefixes) {
    if (starts_with(line, prefix)) {
      fields = split_fields(line.substr(std::char_traits<char>::length(prefix)));
      return true;
    }
  }
  return false;
}

// A decimal number within [low, high], or -1.
int number_in(const std::string& text, int low, int high) {
  if (!all_digits(text)) return -1;
  int value = std::atoi(text.c_str());
  return value >= low && value <= high ? value : -1;
}

// Hex digits in upper case without leading zeros ("0" for zero); "" for
// anything that is not 1 to 8 hex digits.
std::string hex_field(const std::string& text) {
  if (text.empty() || text.size() > 8) return "";
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return "";
  }
  return format("%lX", std::strtoul(text.c_str(), nullptr, 16));
}

// Countries whose networks have three-digit MNCs (North America, India's
// newer ones, parts of Latin America).
bool three_digit_mnc(const std::string& mcc) {
  static const char* const kMccs[] = {"302", "310", "311", "312", "313", "314", "315", "316",
                                      "334", "338", "342", "344", "346", "348", "354", "356",
                                      "358", "360", "365", "376", "405", "708", "722", "732"};
  for (const char* m : kMccs) {
    if (mcc == m) return true;
  }
  return false;
}

const char* const kRegPrefixes[] = {"+CREG:", "+CGREG:", "+CEREG:"};

}  // namespace

std::optional<bool> RadioSnapshot::registered() const {
  if (!stat) return std::nullopt;
  return *stat == 1 || *stat == 5;
}

std::string technology_name(int act) {
  switch (act) {
    case 0:
    case 1:
    case 8:
      return "GSM";
    case 3:
      return "EDGE";
    case 2:
      return "UMTS";
    case 4:
    case 5:
    case 6:
      return "HSPA";
    case 7:
    case 9:
    case 10:
      return "LTE";
    case 11:
    case 12:
    case 13:
      return "NR";
    default:
      return "";
  }
}

bool parse_registration_line(const std::string& line, bool read, RadioSnapshot& out) {
  std::vector<std::string> f;
  if (!fields_of(line, {kRegPrefixes[0], kRegPrefixes[1], kRegPrefixes[2]}, f)) return false;
  size_t at = read ? 1 : 0;  // the read answer gives <n> first
  if (f.size() <= at) return false;
  int stat = number_in(f[at], 0, 11);
  if (stat < 0) return false;
  out.stat = stat;
  out.lac.clear();
  out.cellId.clear();
  if (f.size() >= at + 3) {
    out.lac = hex_field(f[at + 1]);
    out.cellId = hex_field(f[at + 2]);
  }
  if (f.size() >= at + 4) {
    int act = number_in(f[at + 3], 0, 99);
    if (act >= 0 && !technology_name(act).empty()) out.technology = technology_name(act);
  }
  return true;
}

bool parse_operator_line(const std::string& line, RadioSnapshot& out) {
  std::vector<std::string> f;
  if (!fields_of(line, {"+COPS:"}, f) || f.empty() || number_in(f[0], 0, 4) < 0) return false;
  if (f.size() >= 3 && f[1] == "2" && all_digits(f[2]) && (f[2].size() == 5 || f[2].size() == 6)) {
    out.operatorId = f[2].substr(0, 3) + "-" + f[2].substr(3);
  }
  if (f.size() >= 4) {
    int act = number_in(f[3], 0, 99);
    if (act >= 0 && !technology_name(act).empty()) out.technology = technology_name(act);
  }
  return true;
}

bool parse_csq_line(const std::string& line, RadioSnapshot& out) {
  std::vector<std::string> f;
  if (!fields_of(line, {"+CSQ:"}, f) || f.size() != 2) return false;
  int rssi = number_in(f[0], 0, 99);
  if (rssi < 0) return false;
  if (rssi <= 31) out.rssiDbm = -113 + 2 * rssi;
  return true;
}

bool parse_cesq_line(const std::string& line, RadioSnapshot& out) {
  std::vector<std::string> f;
  if (!fields_of(line, {"+CESQ:"}, f) || f.size() < 6) return false;
  int v[6];
  for (int i = 0; i < 6; ++i) {
    v[i] = number_in(f[i], 0, 255);
    if (v[i] < 0) return false;
  }
  // Each index stands for the lower edge of its step (TS 27.007, +CESQ).
  if (v[0] <= 63 && !out.rssiDbm) out.rssiDbm = -111 + v[0];
  if (v[2] <= 96) out.rscpDbm = -121 + v[2];
  if (v[3] <= 49) out.ecnoDb = -24.5 + 0.5 * v[3];
  if (v[4] <= 34) out.rsrqDb = -20 + 0.5 * v[4];
  if (v[5] <= 97) out.rsrpDbm = -141 + v[5];
  return true;
}

std::string home_network(const std::string& imsi, const std::string& serving) {
  if (imsi.size() < 6 || !all_digits(imsi.substr(0, 6))) return "";
  std::string servingDigits;
  for (char c : serving) {
    if (c != '-') servingDigits.push_back(c);
  }
  size_t mnc = three_digit_mnc(imsi.substr(0, 3)) ? 3 : 2;
  if (!servingDigits.empty() && imsi.compare(0, servingDigits.size(), servingDigits) == 0) {
    mnc = servingDigits.size() - 3;
  }
  return imsi.substr(0, 3) + "-" + imsi.substr(3, mnc);
}

RadioWatch::RadioWatch(AtChannel& channel) : channel_(channel) {}

bool RadioWatch::ask(const std::string& command, const std::string& info, int64_t untilMs,
                     std::string& line) {
  if (refused_.count(command) != 0 || channel_.now_ms() >= untilMs) return false;
  ExpectedAnswer expected;
  expected.echo = command;
  expected.info = info;
  expected.bareInfo = info.empty();
  AtAnswer answer;
  if (!channel_.write_bytes(command + "\r")) return false;
  ReadOutcome outcome =
      channel_.reader.read_answer(expected, channel_.test_deadline(), answer, untilMs);
  if (outcome != ReadOutcome::kComplete || answer.final != FinalCode::kOk) {
    // Noted once: a modem without the command is asked no more.
    refused_.insert(command);
    port_log(
        channel_.port, "%s answered %s: radio value unknown, not asked again\n", command.c_str(),
        outcome == ReadOutcome::kComplete ? describe_final(answer).c_str() : "nothing in time");
    return false;
  }
  if (answer.info.empty()) return false;
  line = answer.info[0].text;
  return true;
}

void RadioWatch::identify(ModemIdentity& identity, const std::string& serving, int budgetMs) {
  const int64_t untilMs = channel_.now_ms() + budgetMs;
  // The identity commands answer a bare line without a prefix: the first
  // information line that is not the echo.
  struct Item {
    const char* command;
    std::string* value;
  } items[] = {{"AT+CGMI", &identity.manufacturer},
               {"AT+CGMM", &identity.model},
               {"AT+CGMR", &identity.revision},
               {"AT+CGSN", &identity.imei}};
  for (const Item& item : items) {
    std::string line;
    if (ask(item.command, "", untilMs, line)) *item.value = line;
  }
  std::string imsi;
  if (ask("AT+CIMI", "", untilMs, imsi)) identity.homeNetwork = home_network(imsi, serving);
}

RadioSnapshot RadioWatch::snapshot(const char* at, int budgetMs) {
  const int64_t untilMs = channel_.now_ms() + budgetMs;
  RadioSnapshot s;
  s.at = at;
  s.calendarMicros = channel_.clock().calendar_microseconds();
  std::string line;
  if (!modesSet_) {
    modesSet_ = true;
    for (const char* command : {"AT+CREG=2", "AT+CGREG=2", "AT+CEREG=2", "AT+COPS=3,2"}) {
      ask(command, "", untilMs, line);
    }
  }
  // The registration of the technology in use wins: EPS, then packet, then
  // circuit-switched; the first that is registered gives the location.
  RadioSnapshot best;
  bool found = false;
  for (const char* command : {"AT+CEREG?", "AT+CGREG?", "AT+CREG?"}) {
    std::string info = std::string(command).substr(2, std::string(command).size() - 3) + ":";
    RadioSnapshot reg;
    if (!ask(command, info, untilMs, line) || !parse_registration_line(line, true, reg)) continue;
    if (!found || (!best.registered().value_or(false) && reg.registered().value_or(false))) {
      best = reg;
      found = true;
    }
  }
  if (found) {
    s.stat = best.stat;
    s.lac = best.lac;
    s.cellId = best.cellId;
    s.technology = best.technology;
  }
  if (ask("AT+COPS?", "+COPS:", untilMs, line)) parse_operator_line(line, s);
  if (ask("AT+CSQ", "+CSQ:", untilMs, line)) parse_csq_line(line, s);
  if (ask("AT+CESQ", "+CESQ:", untilMs, line)) parse_cesq_line(line, s);
  last_ = s;
  return s;
}

RadioSnapshot RadioWatch::from_notice(const Notice& notice) const {
  RadioSnapshot s = last_;
  s.at = "urc";
  Clock& clock = channel_.clock();
  s.calendarMicros = clock.calendar_microseconds();
  // The time of the line's arrival: now, less the counter ticks since.
  int64_t now = 0;
  int64_t frequency = 0;
  if (notice.reading != kNoReading && clock.read_performance_counter(now) &&
      clock.read_counter_frequency(frequency) && frequency > 0 && now >= notice.reading) {
    s.calendarMicros -= (now - notice.reading) / frequency * 1000000 +
                        (now - notice.reading) % frequency * 1000000 / frequency;
  }
  RadioSnapshot reg;
  if (parse_registration_line(notice.line, false, reg)) {
    s.stat = reg.stat;
    s.lac = reg.lac;
    s.cellId = reg.cellId;
    if (!reg.technology.empty()) s.technology = reg.technology;
    if (!reg.registered().value_or(false)) {
      // Out of service: the last operator and signal no longer hold.
      RadioSnapshot out;
      out.at = s.at;
      out.calendarMicros = s.calendarMicros;
      out.stat = s.stat;
      s = out;
    }
  }
  return s;
}

}  // namespace smstest
