// Status reports on a simulated modem: the send parameters of text mode
// (AT+CSMP, whose first octet carries TP-SRR), the message service
// (AT+CSMS) and its acknowledgement (AT+CNMA), the "SR" storage that
// AT+CPMS="SR" selects for AT+CMGR, AT+CMGL and AT+CMGD, and how a report
// from the service centre reaches the client: by the <ds> of AT+CNMI, 1 as
// "+CDS:" (text fields, or a PDU with or without the service-centre part),
// 2 stored and announced as "+CDSI: "SR",<index>", 0 stored without a word.
#include "common/text.h"
#include "pdu/pdu_encode.h"
#include "sim/command_handlers.h"
#include "sim/modem.h"
#include "sim/pdu_mode.h"

namespace smstest {

namespace {

ServiceCentreTime centre_time(int64_t calendarSeconds) {
  const CalendarTime t = calendar_time(calendarSeconds);
  ServiceCentreTime out;
  out.year = t.year % 100;
  out.month = t.month;
  out.day = t.day;
  out.hour = t.hour;
  out.minute = t.minute;
  out.second = t.second;
  return out;
}

// <fo>,<mr>,<ra>,<tora>,<scts>,<dt>,<st> of text mode.
std::string text_fields(const SimReport& r) {
  const int type = !r.recipient.empty() && r.recipient[0] == '+' ? 145 : 129;
  return format("6,%d,\"%s\",%d,\"%s\",\"%s\",%d", r.reference, r.recipient.c_str(), type,
                time_stamp(r.taken).c_str(), time_stamp(r.discharged).c_str(), r.status);
}

// The report's PDU, the service-centre part in front when `withCentre`.
EncodedPdu report_pdu(const SimReport& r, bool withCentre) {
  StatusReportMessage m;
  m.messageReference = r.reference;
  m.recipient = r.recipient;
  m.serviceCentreTime = centre_time(r.taken);
  m.dischargeTime = centre_time(r.discharged);
  m.status = r.status;
  m.serviceCentre = withCentre ? "+15550000000" : "";
  EncodedPdu pdu;
  std::string error;
  if (!encode_sms_status_report(m, pdu, error)) pdu.hex.clear();
  return pdu;
}

// A report as a read or listing shows it, after "+CMGR: " or
// "+CMGL: <index>,".
std::string stored_entry(const ModemState& modem, const SimReport& r) {
  if (modem.textMode) return "\"REC READ\"," + text_fields(r) + "\r\n";
  const EncodedPdu pdu = report_pdu(r, true);
  return format("1,,%d\r\n%s\r\n", pdu.tpduLength, pdu.hex.c_str());
}

SimReport* find_report(ModemState& modem, int index) {
  for (SimReport& r : modem.reports) {
    if (r.index == index) return &r;
  }
  return nullptr;
}

// A number parameter that must be there.
bool index_param(const CommandCall& call, int& index) {
  return call.form == CommandForm::set && !call.params.empty() && !call.params[0].empty() &&
         number_param(call.params[0], 0, 999999, 0, index);
}

}  // namespace

void answer_csmp(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  answer.text = kError;
  if (call.form == CommandForm::read) {
    answer.text = info(format("+CSMP: %d,%d,%d,%d", modem.csmpFirstOctet, modem.csmpValidity,
                              modem.csmpProtocol, modem.csmpCoding));
  } else if (call.form == CommandForm::test) {
    answer.text = kOk;
  } else if (call.form == CommandForm::set && !call.params.empty() && call.params.size() <= 4) {
    int values[4] = {modem.csmpFirstOctet, modem.csmpValidity, modem.csmpProtocol,
                     modem.csmpCoding};
    for (size_t i = 0; i < call.params.size(); ++i) {
      if (!number_param(call.params[i], 0, 255, values[i], values[i])) {
        answer.text = cms_error(modem, kInvalidTextParameter);
        return;
      }
    }
    modem.csmpFirstOctet = values[0];
    modem.csmpValidity = values[1];
    modem.csmpProtocol = values[2];
    modem.csmpCoding = values[3];
    answer.text = kOk;
  }
}

// Message service 0 or 1; a service number the modem does not have is
// refused with +CMS ERROR, a malformed line with ERROR.
void answer_csms(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int service = 0;
  if (call.form == CommandForm::read) {
    answer.text = info(format("+CSMS: %d,1,1,1", modem.csms));
  } else if (call.form == CommandForm::test) {
    answer.text = info("+CSMS: (0,1)");
  } else if (call.form == CommandForm::set && call.params.size() == 1 && !call.params[0].empty() &&
             number_param(call.params[0], 0, 9, 0, service)) {
    if (service > 1) {
      answer.text = cms_error(modem, kOperationNotSupported);
      return;
    }
    modem.csms = service;
    answer.text = info("+CSMS: 1,1,1");
  } else {
    answer.text = kError;
  }
}

void answer_cnma(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (call.form == CommandForm::test) {
    answer.text = info("+CNMA: (0-2)");
  } else if (modem.ackWaiting == 0) {
    answer.text = cms_error(modem, 340);  // no +CNMA acknowledgement expected
  } else {
    modem.ackWaiting = 0;
    answer.text = kOk;
  }
}

void answer_report_read(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int index = 0;
  if (!index_param(call, index) || call.params.size() > 1) {
    answer.text = kError;
  } else if (modem.faults.srUnreadable) {
    answer.text = cms_error(modem, kOperationNotAllowed);
  } else {
    const SimReport* r = find_report(modem, index);
    answer.text = r == nullptr ? cms_error(modem, kInvalidIndex)
                               : "\r\n+CMGR: " + stored_entry(modem, *r) + kOk;
  }
}

void answer_report_list(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (modem.faults.srUnreadable) {
    answer.text = cms_error(modem, kOperationNotAllowed);
    return;
  }
  // Every stored report, whatever status was asked for.
  (void)call;
  std::string lines;
  for (const SimReport& r : modem.reports) {
    lines += format("+CMGL: %d,", r.index) + stored_entry(modem, r);
  }
  answer.text = lines.empty() ? std::string(kOk) : "\r\n" + lines + kOk;
}

void answer_report_delete(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int index = 0;
  if (call.form == CommandForm::test) {
    answer.text = info("+CMGD: (),(0-4)");
    return;
  }
  if (!index_param(call, index)) {
    answer.text = kError;
    return;
  }
  for (auto it = modem.reports.begin(); it != modem.reports.end(); ++it) {
    if (it->index == index) {
      modem.reports.erase(it);
      break;
    }
  }
  answer.text = kOk;
}

std::string offered_report_indications(const ModemState& modem) {
  if (modem.faults.noDs) return "(0)";
  if (modem.faults.noCds) return "(0,2)";
  return "(0-2)";
}

bool report_indication_taken(const ModemState& modem, int ds) {
  if (ds == 1) return !modem.faults.noCds && !modem.faults.noDs && !modem.faults.dsRefused;
  if (ds == 2) return !modem.faults.noDs;
  return true;
}

std::string SimModem::take_status_report(const SimReport& report, int& ackId) {
  ackId = 0;
  ModemState& modem = state_;
  if (modem.cnmiDs == 1 && modem.ackWaiting != 0) {
    modem.cnmiDs = 0;
    modem.cnmiMt = 0;
  }
  const bool routed = modem.cnmiMode != 0;
  if (routed && modem.cnmiDs == 1) {
    if (modem.csms == 1) {
      ackId = ++modem.cdsSent;
      modem.ackWaiting = ackId;
    }
    if (modem.textMode) return "\r\n+CDS: " + text_fields(report) + "\r\n";
    const EncodedPdu pdu = report_pdu(report, modem.faults.cdsSca);
    const std::string hex = modem.faults.cdsSca ? pdu.hex : pdu.hex.substr(2);
    return format("\r\n+CDS: %d\r\n%s\r\n", pdu.tpduLength, hex.c_str());
  }
  SimReport stored = report;
  stored.index = modem.nextReport++;
  modem.reports.push_back(stored);
  if (routed && modem.cnmiDs == 2) return format("\r\n+CDSI: \"SR\",%d\r\n", stored.index);
  return "";
}

bool SimModem::drop_routing_unless_acknowledged(int ackId) {
  if (state_.ackWaiting != ackId) return false;
  state_.ackWaiting = 0;
  state_.cnmiDs = 0;
  state_.cnmiMt = 0;
  return true;
}

}  // namespace smstest
