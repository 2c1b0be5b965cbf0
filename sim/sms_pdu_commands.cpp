// The PDU-mode forms (AT+CMGF=0) of the SMS commands of TS 27.005 on a
// simulated modem: AT+CMGS=<length> opens the entry of an SMS-SUBMIT in hex
// (read in text_entry.cpp), AT+CMGL=<stat> and AT+CMGR=<index> show stored
// messages as SMS-DELIVER PDUs (pdu_mode.h).  The text-mode forms of these
// commands answer "+CMS ERROR: 304" here, as the PDU-mode forms answer 305 in
// text mode.
#include "common/text.h"
#include "sim/command_handlers.h"
#include "sim/pdu_mode.h"

namespace smstest {

// "AT+CMGS=<length>": the octets of the TPDU that follows in hex.  A quoted
// destination (the text-mode form) or a second parameter is no PDU-mode
// command.
void answer_cmgs_pdu(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int type = 129;
  if (call.form == CommandForm::test) {
    answer.text = kOk;
    return;
  }
  answer.text = kError;
  if (!cmgs_params(call, type)) return;
  const CommandParam& length = call.params[0];
  int value = 0;
  bool number = !length.empty() && number_param(length, 0, 999999, 0, value);
  if (!length.quoted && !length.empty() && !number) return;  // not even a number
  if (modem.simBusy) {
    answer.text = cms_error(modem, kSimBusy);
  } else if (call.params.size() != 1 || !number || value < 1 || value > kMaxSubmitLength) {
    answer.text = cms_error(modem, kInvalidPduParameter);
  } else {
    modem.entry = TextEntry();
    modem.entry.open = true;
    modem.entry.fresh = true;
    modem.entry.pdu = true;
    modem.entry.length = value;
    answer.text = send_prompt(modem);
  }
}

// "+CMGL: <index>,<stat>,,<length>" CR LF and the PDU for each message, with
// the numeric <stat>: 0 received unread (without one), 1 received read, 2
// and 3 stored unsent and sent (never held here), 4 all.
void answer_cmgl_pdu(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (modem.readReports && call.form != CommandForm::test) {
    answer_report_list(call, modem, answer);
    return;
  }
  if (call.form == CommandForm::test) {
    answer.text = info("+CMGL: (0-4)");
    return;
  }
  answer.text = kError;
  int status = 0;
  if (call.form == CommandForm::set) {
    if (call.params.size() != 1 || call.params[0].empty()) return;
  } else if (call.form != CommandForm::execute) {
    return;
  }
  if (modem.simBusy) {
    answer.text = cme_error(modem, kCmeSimBusy);
  } else if (call.form == CommandForm::set && !number_param(call.params[0], 0, 4, 0, status)) {
    answer.text = cms_error(modem, kInvalidPduParameter);  // "ALL" and the other text-mode names
  } else if (modem.faults.pollError && modem.store.used() == 0) {
    answer.text = cms_error(modem, kInvalidIndex);
  } else {
    std::string lines;
    std::vector<StoredMessage*> listed;
    for (StoredMessage* m : modem.store.by_index()) {
      bool shown = status == 4 || (status == 0 && m->unread) || (status == 1 && !m->unread);
      if (!shown) continue;
      ListedPdu pdu;
      std::string reason;
      if (!listed_pdu(*m, modem.faults.badPdu, pdu, reason)) {
        answer.text = cms_error(modem, kUnknownError);
        return;
      }
      lines += format("+CMGL: %d,%d,,%d\r\n", m->index, m->unread ? 0 : 1, pdu.length) + pdu.hex +
               "\r\n";
      listed.push_back(m);
    }
    for (StoredMessage* m : listed) m->unread = false;  // listed, they count as read
    answer.text = lines.empty() ? std::string(kOk) : "\r\n" + lines + kOk;
  }
}

// "+CMGR: <stat>,,<length>" CR LF and the PDU.
void answer_cmgr_pdu(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (modem.readReports && call.form != CommandForm::test) {
    answer_report_read(call, modem, answer);
    return;
  }
  StoredMessage* m = cmgr_target(call, modem, answer);
  if (m == nullptr) return;
  ListedPdu pdu;
  std::string reason;
  if (!listed_pdu(*m, modem.faults.badPdu, pdu, reason)) {
    answer.text = cms_error(modem, kUnknownError);
    return;
  }
  answer.text =
      format("\r\n+CMGR: %d,,%d\r\n", m->unread ? 0 : 1, pdu.length) + pdu.hex + "\r\n" + kOk;
  m->unread = false;
}

}  // namespace smstest
