// The general commands of TS 27.007 that clients open a modem with, beyond
// AT and ATE0: echo on (ATE1), the identity (ATI, AT+CGMI, AT+CGMM,
// AT+CGMR, AT+CGSN, AT+CIMI), the functionality (AT+CFUN), the PIN state
// (AT+CPIN), the own number (AT+CNUM), and the message service settings of
// TS 27.005 that every client sets or reads and this network needs nothing
// of (AT+CSCA, AT+CSDH).  AT+CSMS and AT+CSMP, which the status reports
// use, are in status_reports.cpp.
#include "common/text.h"
#include "common/version.h"
#include "sim/command_handlers.h"

namespace smstest {

namespace {

const char kManufacturer[] = "SMS_TEST";
const char kModel[] = "modem_sim";

// The digits of `number`, its last `count` ones, padded with leading zeros.
std::string last_digits(const std::string& number, size_t count) {
  std::string digits;
  for (char c : number) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  if (digits.size() > count) return digits.substr(digits.size() - count);
  return std::string(count - digits.size(), '0') + digits;
}

// The Luhn check digit that completes an IMEI's first 14 digits.
char luhn_digit(const std::string& digits) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    int d = digits[i] - '0';
    if (i % 2 == 1) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
    sum += d;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// Execute form: `line` and OK; test form: OK; anything else ERROR.
void identity_line(const CommandCall& call, const std::string& line, CommandAnswer& answer) {
  if (call.form == CommandForm::execute) {
    answer.text = info(line);
  } else {
    answer.text = call.form == CommandForm::test ? kOk : kError;
  }
}

// "<n>[,<n>...]" of at most `count` numbers within [0, high].
bool numbers(const CommandCall& call, size_t count, int high, int* values) {
  if (call.form != CommandForm::set || call.params.empty() || call.params.size() > count) {
    return false;
  }
  for (size_t i = 0; i < call.params.size(); ++i) {
    if (!number_param(call.params[i], 0, high, values[i], values[i])) return false;
  }
  return true;
}

}  // namespace

std::string default_imsi(const std::string& plmn, const std::string& number) {
  return plmn + last_digits(number, 15 - plmn.size());
}

std::string default_imei(const std::string& number) {
  std::string first = "35000000" + last_digits(number, 6);
  return first + luhn_digit(first);
}

void answer_ate1(const CommandCall&, ModemState& modem, CommandAnswer& answer) {
  modem.echo = true;
  answer.text = kOk;
}

void answer_ati(const CommandCall&, ModemState&, CommandAnswer& answer) {
  answer.text = format("\r\n%s\r\n%s\r\nRevision: %s\r\n", kManufacturer, kModel, kVersion) + kOk;
}

void answer_cgmi(const CommandCall& call, ModemState&, CommandAnswer& answer) {
  identity_line(call, kManufacturer, answer);
}

void answer_cgmm(const CommandCall& call, ModemState&, CommandAnswer& answer) {
  identity_line(call, kModel, answer);
}

void answer_cgmr(const CommandCall& call, ModemState&, CommandAnswer& answer) {
  identity_line(call, kVersion, answer);
}

void answer_cgsn(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  identity_line(call, modem.imei, answer);
}

void answer_cimi(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (modem.simBusy && call.form == CommandForm::execute) {
    answer.text = cme_error(modem, kCmeSimBusy);
    return;
  }
  identity_line(call, modem.imsi, answer);
}

// 0 minimum, 1 full, 4 flight mode; the radio is registered only at 1.
void answer_cfun(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int values[2] = {1, 0};
  if (call.form == CommandForm::read) {
    answer.text = info(format("+CFUN: %d", modem.functionality));
  } else if (call.form == CommandForm::test) {
    answer.text = info("+CFUN: (0,1,4),(0,1)");
  } else if (!numbers(call, 2, 9, values) || call.params[0].empty()) {
    answer.text = kError;
  } else if (values[0] != 0 && values[0] != 1 && values[0] != 4) {
    answer.text = cme_error(modem, kCmeNotSupported);
  } else {
    modem.functionality = values[0];
    answer.text = kOk;
  }
}

// The SIM never asks for a PIN.
void answer_cpin(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (call.form == CommandForm::test) {
    answer.text = kOk;
  } else if (call.form != CommandForm::read) {
    answer.text = call.form == CommandForm::set ? cme_error(modem, kCmeNotAllowed) : kError;
  } else if (modem.simBusy) {
    answer.text = cme_error(modem, kCmeSimBusy);
  } else {
    answer.text = info("+CPIN: READY");
  }
}

void answer_cnum(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (call.form != CommandForm::execute) {
    answer.text = call.form == CommandForm::test ? kOk : kError;
    return;
  }
  int type = !modem.number.empty() && modem.number[0] == '+' ? 145 : 129;
  answer.text = info(format("+CNUM: ,\"%s\",%d", modem.number.c_str(), type));
}

void answer_csca(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (call.form == CommandForm::read) {
    int type = !modem.serviceCentre.empty() && modem.serviceCentre[0] == '+' ? 145 : 129;
    answer.text = info(format("+CSCA: \"%s\",%d", modem.serviceCentre.c_str(), type));
  } else if (call.form == CommandForm::test) {
    answer.text = kOk;
  } else if (call.form != CommandForm::set || call.params.empty() || call.params.size() > 2 ||
             !call.params[0].quoted) {
    answer.text = kError;
  } else {
    modem.serviceCentre = call.params[0].value;
    answer.text = kOk;
  }
}

void answer_csdh(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  int values[1] = {0};
  if (call.form == CommandForm::read) {
    answer.text = info(format("+CSDH: %d", modem.headers ? 1 : 0));
  } else if (call.form == CommandForm::test) {
    answer.text = info("+CSDH: (0,1)");
  } else if (call.form == CommandForm::execute) {
    modem.headers = false;
    answer.text = kOk;
  } else if (!numbers(call, 1, 1, values)) {
    answer.text = kError;
  } else {
    modem.headers = values[0] == 1;
    answer.text = kOk;
  }
}

}  // namespace smstest
