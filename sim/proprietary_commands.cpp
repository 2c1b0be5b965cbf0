// The proprietary SMS commands of a simulated modem: AT!DASMS, the send
// AT!SSMS=0,..., the report of the oldest stored message AT!GSMS?2,0 and the
// delete AT!DSMS=3,0, with the faults that concern them alone.  They work on
// the one message store that the standard commands use too.
#include "common/text.h"
#include "sim/command_handlers.h"
#include "sim/modem.h"

namespace smstest {

namespace {

// Clients get past 40960 bytes with this much padding in a "big" answer.
const size_t kBigAnswer = 41200;

// "AT!SSMS=0,<number>,<number>,\"<text>\"": the text runs from the first to
// the last double quote, so quotes inside it pass unchanged, as the client
// writes them unescaped.
bool parse_send(const std::string& command, std::string& number, std::string& text) {
  const size_t prefix = 10;  // "AT!SSMS=0,"
  size_t open = command.find('"');
  size_t close = command.rfind('"');
  if (open == std::string::npos || close == open || close != command.size() - 1) return false;
  std::string fields = command.substr(prefix, open - prefix);  // "<number>,<number>,"
  size_t comma = fields.find(',');
  if (comma == std::string::npos || comma + 2 > fields.size() || fields.back() != ',') return false;
  number = fields.substr(0, comma);
  std::string second = fields.substr(comma + 1, fields.size() - comma - 2);
  if (number.empty() || second.empty() || second.find(',') != std::string::npos) return false;
  text = command.substr(open + 1, close - open - 1);
  return true;
}

// Over 41000 bytes of "Info:" lines, ending in a line end: more than a
// client's buffer of 40960 bytes takes, so that the rest of the answer
// waits on the line.
std::string big_padding() {
  std::string padding;
  for (int line = 1; padding.size() < kBigAnswer; ++line) {
    padding += format("\r\nInfo: %05d ", line);
    padding.append(100, '.');
  }
  return padding + "\r\n";
}

// Layout of a stored message's report, after the modem's SMS read commands:
// a header line, the fields one per line, the body last.
std::string report(const ModemState& modem) {
  const StoredMessage& m = modem.store.by_arrival().front();
  const std::string& from = modem.faults.sender.empty() ? m.from : modem.faults.sender;
  return format(
      "\r\n!GSMS: 1,\"REC UNREAD\"\r\nAddress: %s\r\nTime Stamp: %s\r\n"
      "Msg Length: %zu\r\nMsg Body: %s\r\n",
      from.c_str(), time_stamp(m.arrived).c_str(), m.text.size(), m.text.c_str());
}

}  // namespace

void answer_dasms(const CommandCall&, ModemState& modem, CommandAnswer& answer) {
  answer.text = modem.faults.noDasms ? kError : kOk;
}

void answer_ssms(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  const ModemFaults& f = modem.faults;
  std::string number, text;
  if (!parse_send(call.line, number, text)) {
    answer.text = kError;
    return;
  }
  answer.late = f.confirmLate;
  if (f.sendRefused) {
    answer.text = kError;
    return;
  }
  answer.sends = true;
  answer.to = number;
  answer.message = text;
  answer.ref = modem.take_ref();
  if (f.sendUnconfirmed) {
    answer.sendsAtCommand = true;
    answer.text.clear();
  } else if (f.cmgsFirst) {
    answer.text = format("+CMGS: %d\r\n", answer.ref);
  } else {
    answer.text = format("\r\n+CMGS: %d\r\n\r\nOK\r\n", answer.ref);
  }
}

void answer_gsms(const CommandCall&, ModemState& modem, CommandAnswer& answer) {
  const ModemFaults& f = modem.faults;
  bool empty = modem.store.by_arrival().empty();
  answer.report = true;
  if (empty && f.pollError) {
    answer.text = kError;
    return;
  }
  answer.text = empty ? std::string() : report(modem);
  if (f.big) answer.text = big_padding() + answer.text;
  answer.text += f.cmglError ? "\r\n+CMGL: 1,\"REC READ\"\r\n\r\nERROR\r\n" : kOk;
}

void answer_dsms(const CommandCall&, ModemState& modem, CommandAnswer& answer) {
  const ModemFaults& f = modem.faults;
  if (f.deleteRefused) {
    answer.text = kError;
  } else {
    modem.store.clear();
    answer.text = f.cmglError ? "\r\n+CMGL: 0\r\n\r\nERROR\r\n" : kOk;
  }
  if (f.bigDelete) answer.text = big_padding() + answer.text;
}

}  // namespace smstest
