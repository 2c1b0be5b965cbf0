// The SMS commands of TS 27.005 on a simulated modem, in text mode
// (AT+CMGF=1), and the ones that work alike in both modes: the message
// format, new-message indications (AT+CNMI), the store (AT+CPMS), the send
// with its prompt (AT+CMGS="<da>"), listing, reading and deleting by index.
// The PDU-mode forms are in sms_pdu_commands.cpp, the text typed after the
// prompt in text_entry.cpp.
#include "common/text.h"
#include "pdu/phone_number.h"
#include "sim/command_handlers.h"
#include "sim/modem.h"

namespace smstest {

namespace {

// Places of the "SR" storage.
const int kReportPlaces = 20;

const char* const kStatusNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};

bool phone_number(const std::string& text) { return is_phone_number(text, kMaxNumberDigits); }

// A message as AT+CMGL and AT+CMGR show it in text mode: <stat>,<oa>,
// [<alpha>],<scts>, a line end, the text; the address and the text in the
// character set of the line.  With AT+CSDH=1 the header goes on: the
// listing's with <tooa>,<length>, the read's with <tooa>,<fo>,<pid>,<dcs>,
// <sca>,<tosca>,<length> (`read`).
std::string text_mode_entry(const ModemState& modem, const StoredMessage& m, bool read = false) {
  std::string header =
      format("\"%s\",\"%s\",,\"%s\"", m.unread ? "REC UNREAD" : "REC READ",
             text_to_te(modem.charset, m.from).c_str(), time_stamp(m.arrived).c_str());
  if (modem.headers) {
    int type = !m.from.empty() && m.from[0] == '+' ? 145 : 129;
    // The SMS-DELIVER's alphabet, as PDU mode builds it: the default one
    // when every character maps there, else UCS2.
    bool gsm = true;
    size_t length = message_units(m.text, m.utf8, gsm);
    if (!m.utf8) {
      gsm = text_from_te(TeCharset::gsm, text_to_te(TeCharset::gsm, m.text)) == m.text;
      if (!gsm) length = m.text.size();
    }
    header += format(",%d", type);
    if (read) {
      header += format(",4,0,%d,\"%s\",%d", gsm ? 0 : 8, modem.serviceCentre.c_str(),
                       !modem.serviceCentre.empty() && modem.serviceCentre[0] == '+' ? 145 : 129);
    }
    header += format(",%zu", length);
  }
  return header + "\r\n" + text_to_te(modem.charset, m.text, m.utf8);
}

}  // namespace

void answer_cmgf(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int value = 0;
  if (call.form == CommandForm::read) {
    answer.text = info(format("+CMGF: %d", modem.textMode ? 1 : 0));
  } else if (call.form == CommandForm::test) {
    answer.text = info("+CMGF: (0,1)");
  } else if (call.form != CommandForm::set || call.params.size() != 1 ||
             !number_param(call.params[0], 0, 9, 0, value)) {
    answer.text = kError;
  } else if (value > 1) {
    answer.text = cms_error(modem, kOperationNotSupported);
  } else {
    modem.textMode = value == 1;
    answer.text = kOk;
  }
}

// Indications of new messages: <mode> 0 to 3, <mt> 0 (none) or 1
// ("+CMTI:"); no cell broadcasts; <ds> 0 (reports stored silently), 1
// (+CDS) or 2 (+CDSI), as the modem's report faults allow; the buffer flush
// is accepted, but mode 0 buffers nothing.
void answer_cnmi(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  answer.text = kError;
  if (modem.faults.noCnmi) return;
  if (call.form == CommandForm::read) {
    answer.text = info(
        format("+CNMI: %d,%d,0,%d,%d", modem.cnmiMode, modem.cnmiMt, modem.cnmiDs, modem.cnmiBfr));
    return;
  }
  if (call.form == CommandForm::test) {
    answer.text = info("+CNMI: (0-3),(0,1),(0)," + offered_report_indications(modem) + ",(0,1)");
    return;
  }
  if (call.form != CommandForm::set || call.params.size() > 5) return;
  static const int kHighest[] = {3, 1, 0, 2, 1};
  int values[5] = {0, 0, 0, 0, 0};
  for (size_t i = 0; i < call.params.size(); ++i) {
    if (!number_param(call.params[i], 0, 9, 0, values[i])) return;
    if (values[i] > kHighest[i]) {
      answer.text = cms_error(modem, kOperationNotSupported);
      return;
    }
  }
  if (!report_indication_taken(modem, values[3])) {
    answer.text = cms_error(modem, kOperationNotSupported);
    return;
  }
  modem.cnmiMode = values[0];
  modem.cnmiMt = values[1];
  modem.cnmiDs = values[3];
  modem.cnmiBfr = values[4];
  answer.text = kOk;
}

// One memory, "SM", for reading, writing and receiving alike; "SR", the
// status reports, may be selected for reading.
void answer_cpms(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  answer.text = kError;
  if (call.form == CommandForm::test) {
    answer.text = info("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")");
    return;
  }
  if (call.form != CommandForm::read && call.form != CommandForm::set) return;
  if (call.form == CommandForm::set) {
    if (call.params.empty() || call.params.size() > 3) return;
    for (const CommandParam& memory : call.params) {
      if (!memory.quoted) return;
    }
  }
  if (modem.simBusy) {
    answer.text = cme_error(modem, kCmeSimBusy);
    return;
  }
  int used = modem.store.used(), total = modem.store.capacity();
  // The first memory may be "SR", the status reports, for reading only.
  const int reports = static_cast<int>(modem.reports.size());
  if (call.form == CommandForm::read) {
    const std::string first = modem.readReports ? format("\"SR\",%d,%d", reports, kReportPlaces)
                                                : format("\"SM\",%d,%d", used, total);
    answer.text = info(
        format("+CPMS: %s,\"SM\",%d,%d,\"SM\",%d,%d", first.c_str(), used, total, used, total));
    return;
  }
  for (size_t i = 0; i < call.params.size(); ++i) {
    const std::string memory = upper(call.params[i].value);
    if (memory != "SM" && !(i == 0 && memory == "SR")) {
      answer.text = cms_error(modem, kOperationNotAllowed);
      return;
    }
  }
  modem.readReports = upper(call.params[0].value) == "SR";
  const int firstUsed = modem.readReports ? reports : used;
  const int firstTotal = modem.readReports ? kReportPlaces : total;
  answer.text =
      info(format("+CPMS: %d,%d,%d,%d,%d,%d", firstUsed, firstTotal, used, total, used, total));
}

bool cmgs_params(const CommandCall& call, int& type) {
  type = 129;
  if (call.form != CommandForm::set || call.params.empty() || call.params.size() > 2) return false;
  return call.params.size() != 2 || number_param(call.params[1], 0, 255, 129, type);
}

void answer_cmgs(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int type = 129;
  if (call.form == CommandForm::test) {
    answer.text = kOk;
  } else if (!cmgs_params(call, type)) {
    answer.text = kError;
  } else if (modem.simBusy) {
    answer.text = cms_error(modem, kSimBusy);
  } else {
    std::string to = text_from_te(modem.charset, call.params[0].value);
    if (!phone_number(to) || (type != 129 && type != 145 && type != 161)) {
      answer.text = cms_error(modem, kInvalidTextParameter);
      return;
    }
    modem.entry = TextEntry();
    modem.entry.open = true;
    modem.entry.fresh = true;
    modem.entry.to = to;
    answer.text = send_prompt(modem);
  }
}

void answer_cmgl(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (modem.readReports && call.form != CommandForm::test) {
    answer_report_list(call, modem, answer);
    return;
  }
  answer.text = kError;
  if (call.form == CommandForm::test) {
    answer.text = info("+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")");
    return;
  }
  // Without a status the listing shows the unread messages.
  std::string status = "REC UNREAD";
  if (call.form == CommandForm::set) {
    if (call.params.size() != 1 || call.params[0].empty()) return;
    status = upper(call.params[0].value);
  } else if (call.form != CommandForm::execute) {
    return;
  }
  bool known = false;
  for (const char* name : kStatusNames) known = known || status == name;
  if (modem.simBusy) {
    answer.text = cme_error(modem, kCmeSimBusy);
  } else if (!known || (call.form == CommandForm::set && !call.params[0].quoted)) {
    answer.text = cms_error(modem, kInvalidTextParameter);
  } else if (modem.faults.pollError && modem.store.used() == 0) {
    answer.text = cms_error(modem, kInvalidIndex);
  } else {
    std::string lines;
    for (StoredMessage* m : modem.store.by_index()) {
      // The store holds received messages only: nothing is "STO UNSENT" or "STO SENT".
      bool shown = status == "ALL" || (status == "REC UNREAD" && m->unread) ||
                   (status == "REC READ" && !m->unread);
      if (!shown) continue;
      lines += format("+CMGL: %d,", m->index) + text_mode_entry(modem, *m) + "\r\n";
      m->unread = false;  // listed, it counts as read
    }
    answer.text = lines.empty() ? std::string(kOk) : "\r\n" + lines + kOk;
  }
}

StoredMessage* cmgr_target(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int index = 0;
  if (call.form == CommandForm::test) {
    answer.text = kOk;
  } else if (call.form != CommandForm::set || call.params.size() != 1 || call.params[0].empty() ||
             !number_param(call.params[0], 0, 999999, 0, index)) {
    answer.text = kError;
  } else if (modem.simBusy) {
    answer.text = cme_error(modem, kCmeSimBusy);
  } else {
    StoredMessage* m = modem.store.find(index);
    if (m == nullptr) answer.text = cms_error(modem, kInvalidIndex);
    return m;
  }
  return nullptr;
}

void answer_cmgr(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (modem.readReports && call.form != CommandForm::test) {
    answer_report_read(call, modem, answer);
    return;
  }
  StoredMessage* m = cmgr_target(call, modem, answer);
  if (m == nullptr) return;
  answer.text = "\r\n+CMGR: " + text_mode_entry(modem, *m, true) + "\r\n" + kOk;
  m->unread = false;
}

void answer_cmgd(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (modem.readReports && call.form != CommandForm::test) {
    answer_report_delete(call, modem, answer);
    return;
  }
  MessageStore& store = modem.store;
  answer.text = kError;
  if (call.form == CommandForm::test) {
    std::string used;
    for (const StoredMessage* m : store.by_index()) {
      used += (used.empty() ? "" : ",") + format("%d", m->index);
    }
    answer.text = info("+CMGD: (" + used + "),(0-4)");
    return;
  }
  if (call.form != CommandForm::set || call.params.empty() || call.params.size() > 2) return;
  int index = 0, flag = 0;
  if (call.params[0].empty() || !number_param(call.params[0], 0, 999999, 0, index)) return;
  if (call.params.size() == 2 && !number_param(call.params[1], 0, 9, 0, flag)) return;
  if (modem.simBusy) {
    answer.text = cme_error(modem, kCmeSimBusy);
  } else if (flag > 4) {
    answer.text = cms_error(modem, kOperationNotAllowed);
  } else if (flag == 0 && (index < 1 || index > store.capacity())) {
    // With <delflag> 0 the index must name a place of the store; an empty
    // place deletes nothing and is no error.  Otherwise the index is ignored.
    answer.text = cms_error(modem, kInvalidIndex);
  } else if (modem.faults.deleteRefused) {
    answer.text = cms_error(modem, kMemoryFailure);
  } else {
    if (flag == 0) {
      store.remove(index);
    } else if (flag == 4) {
      store.clear();
    } else {
      // 1: the read ones; 2 and 3 add sent and unsent ones, which this store never holds.
      store.remove_if([](const StoredMessage& m) { return !m.unread; });
    }
    answer.text = kOk;
  }
}

NoticeMode notice_mode(const ModemState& modem) {
  if (modem.faults.noCnmi) return NoticeMode::none;
  if (modem.faults.unsolicited > 0) return NoticeMode::whenFree;  // a modem that announces anyway
  if (modem.cnmiMt != 1 || modem.cnmiMode == 0) return NoticeMode::none;
  return modem.cnmiMode == 1 ? NoticeMode::discardWhenBusy : NoticeMode::whenFree;
}

std::string arrival_notice(int index) { return format("\r\n+CMTI: \"SM\",%d\r\n", index); }

}  // namespace smstest
