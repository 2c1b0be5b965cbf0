// The general commands of a simulated modem: AT, the echo (ATE0), the error
// reporting of TS 27.007 (AT+CMEE, and the "+CMS ERROR:" and "+CME ERROR:"
// results that the SMS commands give under it) and the character set of the
// line (AT+CSCS).
#include "common/text.h"
#include "sim/command_handlers.h"

namespace smstest {

void answer_at(const CommandCall&, ModemState&, CommandAnswer& answer) { answer.text = kOk; }

void answer_ate0(const CommandCall&, ModemState& modem, CommandAnswer& answer) {
  modem.echo = (modem.echo && modem.faults.stickyEcho) || modem.faults.echoStays;
  answer.text = kOk;
}

void answer_cmee(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int value = 0;
  if (call.form == CommandForm::read) {
    answer.text = info(format("+CMEE: %d", modem.cmee));
  } else if (call.form == CommandForm::test) {
    answer.text = info("+CMEE: (0-2)");
  } else if (call.form != CommandForm::set || call.params.size() != 1 ||
             !number_param(call.params[0], 0, 9, 0, value)) {
    answer.text = kError;
  } else if (value > 2) {
    answer.text = cme_error(modem, kCmeNotSupported);
  } else {
    modem.cmee = value;
    answer.text = kOk;
  }
}

void answer_cscs(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (call.form == CommandForm::read) {
    answer.text = info(format("+CSCS: \"%s\"", charset_name(modem.charset)));
    return;
  }
  if (call.form == CommandForm::test) {
    answer.text = info(modem.faults.noUcs2 ? "+CSCS: (\"IRA\",\"GSM\")"
                                           : "+CSCS: (\"IRA\",\"GSM\",\"UCS2\")");
    return;
  }
  if (call.form != CommandForm::set || call.params.size() != 1 || call.params[0].empty()) {
    answer.text = kError;
    return;
  }
  std::string value = upper(call.params[0].value);
  answer.text = kOk;
  if (value == "IRA") {
    modem.charset = TeCharset::ira;
  } else if (value == "GSM") {
    modem.charset = TeCharset::gsm;
  } else if (value == "UCS2" && !modem.faults.noUcs2) {
    modem.charset = TeCharset::ucs2;
  } else {
    answer.text = cme_error(modem, kCmeNotSupported);  // HEX, 8859-1, ...: not offered
  }
}

std::string cms_error(const ModemState& modem, int code) {
  if (modem.cmee == 0) return kError;
  if (modem.cmee == 2) return format("\r\n+CMS ERROR: %s\r\n", cms_error_text(code));
  return format("\r\n+CMS ERROR: %d\r\n", code);
}

std::string cme_error(const ModemState& modem, int code) {
  if (modem.cmee == 0) return kError;
  if (modem.cmee == 2) return format("\r\n+CME ERROR: %s\r\n", cme_error_text(code));
  return format("\r\n+CME ERROR: %d\r\n", code);
}

const char* cms_error_text(int code) {
  switch (code) {
    case 300:
      return "ME failure";
    case 301:
      return "SMS service of ME reserved";
    case 302:
      return "operation not allowed";
    case 303:
      return "operation not supported";
    case 304:
      return "invalid PDU mode parameter";
    case 305:
      return "invalid text mode parameter";
    case 310:
      return "SIM not inserted";
    case 311:
      return "SIM PIN required";
    case 312:
      return "PH-SIM PIN required";
    case 313:
      return "SIM failure";
    case 314:
      return "SIM busy";
    case 315:
      return "SIM wrong";
    case 316:
      return "SIM PUK required";
    case 317:
      return "SIM PIN2 required";
    case 318:
      return "SIM PUK2 required";
    case 320:
      return "memory failure";
    case 321:
      return "invalid memory index";
    case 322:
      return "memory full";
    case 330:
      return "SMSC address unknown";
    case 331:
      return "no network service";
    case 332:
      return "network timeout";
    case 340:
      return "no +CNMA acknowledgement expected";
    default:
      return "unknown error";
  }
}

const char* cme_error_text(int code) {
  switch (code) {
    case 0:
      return "phone failure";
    case 3:
      return "operation not allowed";
    case 4:
      return "operation not supported";
    case 10:
      return "SIM not inserted";
    case 13:
      return "SIM failure";
    case 14:
      return "SIM busy";
    case 20:
      return "memory full";
    case 21:
      return "invalid index";
    case 30:
      return "no network service";
    case 31:
      return "network timeout";
    case 50:
      return "incorrect parameters";
    default:
      return "unknown";
  }
}

}  // namespace smstest
