// The text of a send on a simulated modem, typed after the prompt of
// AT+CMGS: the message itself in text mode, an SMS-SUBMIT in hex in PDU mode,
// up to the Ctrl-Z that sends it or the ESC that cancels it; and the answer
// to its end, with the send faults.
#include "common/text.h"
#include "sim/charset.h"
#include "sim/command_handlers.h"
#include "sim/pdu_mode.h"

namespace smstest {

namespace {

const char kCtrlZ = 0x1A;
const char kEsc = 0x1B;
const char kBackspace = 0x08;

// Longest text a send takes: one SMS of the 7-bit default alphabet.
const size_t kMaxSeptets = 160;
// ... or of UCS2, for a text without a 7-bit form.
const size_t kMaxUcs2Units = 70;
// Bytes of a text entry past this are dropped (a client that never ends it).
const size_t kMaxEntry = 8192;

// The destination and the text of an ended entry as the network carries
// them; false with the answer in `answer` when a PDU does not read.
bool read_entry(const TextEntry& entry, const std::string& typed, const ModemState& modem,
                CommandAnswer& answer, std::string& to, NetworkText& message) {
  if (!entry.pdu) {
    to = entry.to;
    // UCS2 text that is no hex of whole code units does not read.
    if (!message_from_te(modem.charset, typed, message)) {
      answer.text = cms_error(modem, kInvalidTextParameter);
      answer.late = 0;
      return false;
    }
    // TP-SRR comes from the first octet AT+CSMP set.
    answer.wantsReport = (modem.csmpFirstOctet & 0x20) != 0;
    return true;
  }
  // The modem reads the PDU before anything goes to the network.
  SubmittedPdu submitted;
  std::string reason;
  if (!read_submitted_pdu(typed, entry.length, submitted, reason)) {
    answer.text = cms_error(modem, kInvalidPduParameter);
    answer.late = 0;
    return false;
  }
  to = submitted.to;
  message = NetworkText{submitted.text, submitted.utf8};
  answer.header = submitted.header;
  answer.wantsReport = submitted.statusReport;
  return true;
}

}  // namespace

size_t take_entry_text(ModemState& modem, const char* data, size_t size, std::string& output,
                       bool& ended) {
  TextEntry& entry = modem.entry;
  ended = false;
  for (size_t i = 0; i < size; ++i) {
    char c = data[i];
    bool first = entry.fresh;
    entry.fresh = false;
    if (c == kCtrlZ || c == kEsc) {
      entry.text.push_back(c);  // kept for the record; finish_entry takes it off
      ended = true;
      return i + 1;
    }
    if (c == '\n' && first) continue;
    if (c == kBackspace) {
      if (!entry.text.empty()) entry.text.pop_back();
      if (modem.echo) output.push_back(c);
      continue;
    }
    if (entry.text.size() < kMaxEntry) entry.text.push_back(c);
    // Every CR starts a new line of the text, under a new prompt.
    if (c == '\r') {
      output += send_prompt(modem);
    } else if (modem.echo) {
      output.push_back(c);
    }
  }
  return size;
}

void finish_entry(ModemState& modem, CommandAnswer& answer, std::string& recorded) {
  const ModemFaults& f = modem.faults;
  TextEntry entry = modem.entry;
  modem.entry.open = false;
  modem.entry.text.clear();
  recorded = entry.text;
  char end = entry.text.empty() ? kEsc : entry.text.back();
  std::string typed = entry.text.substr(0, entry.text.empty() ? 0 : entry.text.size() - 1);
  if (end == kEsc) {
    answer.text = kOk;
    return;
  }
  answer.late = f.confirmLate;
  std::string to;
  NetworkText message;
  if (!read_entry(entry, typed, modem, answer, to, message)) return;
  bool gsm7 = true;
  const size_t units = message_units(message.text, message.utf8, gsm7);
  if (f.sendError > 0) {
    answer.text = cms_error(modem, f.sendError);
  } else if (f.sendRefused) {
    answer.text = cms_error(modem, kUnknownError);
  } else if (!entry.pdu && units > (gsm7 ? kMaxSeptets : kMaxUcs2Units)) {
    answer.text = cms_error(modem, kInvalidTextParameter);
    answer.late = 0;
  } else {
    answer.sends = true;
    answer.to = to;
    answer.message = message.text;
    answer.messageUtf8 = message.utf8;
    answer.ref = modem.take_ref();
    if (f.sendUnconfirmed) {
      answer.sendsAtCommand = true;
      answer.late = 0;
    } else if (f.cmgsFirst) {
      answer.text = format("+CMGS: %d\r\n", answer.ref);
    } else {
      answer.text = format("\r\n+CMGS: %d\r\n\r\nOK\r\n", answer.ref);
    }
  }
}

void drop_entry(ModemState& modem) {
  modem.entry.open = false;
  modem.entry.text.clear();
}

}  // namespace smstest
