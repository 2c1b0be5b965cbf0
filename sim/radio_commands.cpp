// The radio commands of TS 27.007 on a simulated modem: registration with
// its location (AT+CREG, AT+CGREG, AT+CEREG), the operator (AT+COPS) and
// the signal (AT+CSQ, AT+CESQ), from the modem's radio settings (radio.h).
// With AT+CFUN other than 1 the modem is not registered and has no signal;
// out of coverage (a hole of the route it rides along) it is searching, and
// has no signal either.
#include "common/text.h"
#include "sim/command_handlers.h"

namespace smstest {

namespace {

const char* const kRegPrefixes[] = {"+CREG", "+CGREG", "+CEREG"};

void answer_registration(int which, const CommandCall& call, ModemState& modem,
                         CommandAnswer& answer) {
  const char* prefix = kRegPrefixes[which];
  int n = 0;
  if (call.form == CommandForm::read) {
    int mode = modem.regReports[which];
    answer.text =
        info(format("%s: %d,", prefix, mode) + registration_values(reported_radio(modem), mode));
  } else if (call.form == CommandForm::test) {
    answer.text = info(format("%s: (0-2)", prefix));
  } else if (call.form != CommandForm::set || call.params.size() != 1 ||
             !number_param(call.params[0], 0, 9, 0, n)) {
    answer.text = kError;
  } else if (n > 2) {
    answer.text = cme_error(modem, kCmeNotSupported);
  } else {
    modem.regReports[which] = n;
    answer.text = kOk;
  }
}

}  // namespace

RadioSettings reported_radio(const ModemState& modem) {
  RadioSettings radio = modem.radio;
  if (modem.functionality != 1) {
    radio.stat = kStatNotRegistered;
  } else if (modem.outOfCoverage) {
    radio.stat = kStatSearching;
  }
  return radio;
}

std::string registration_notices(const ModemState& modem, bool statChanged) {
  std::string lines;
  for (int which = 0; which < 3; ++which) {
    int n = modem.regReports[which];
    if (n == 0 || (n == 1 && !statChanged)) continue;
    lines += format("\r\n%s: ", kRegPrefixes[which]) +
             registration_values(reported_radio(modem), n) + "\r\n";
  }
  return lines;
}

void answer_creg(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  answer_registration(0, call, modem, answer);
}

void answer_cgreg(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  answer_registration(1, call, modem, answer);
}

void answer_cereg(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  answer_registration(2, call, modem, answer);
}

// AT+COPS=0 (automatic) and AT+COPS=3,<format> are taken; the operator is
// "SIMNET <plmn>" in the long and short alphanumeric formats (0, 1) and its
// MCC and MNC in the numeric one (2).
void answer_cops(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  RadioSettings radio = reported_radio(modem);
  int mode = 0, form = 0;
  if (call.form == CommandForm::read) {
    if (!registered(radio)) {
      answer.text = info("+COPS: 0");
      return;
    }
    std::string name = modem.operatorFormat == 2 ? radio.plmn : "SIMNET " + radio.plmn;
    answer.text =
        info(format("+COPS: 0,%d,\"%s\",%d", modem.operatorFormat, name.c_str(), radio.act));
  } else if (call.form == CommandForm::test) {
    answer.text =
        info(format("+COPS: (%d,\"SIMNET %s\",\"SIMNET\",\"%s\",%d),,(0-4),(0-2)",
                    registered(radio) ? 2 : 1, radio.plmn.c_str(), radio.plmn.c_str(), radio.act));
  } else if (call.form != CommandForm::set || call.params.empty() || call.params.size() > 4 ||
             !number_param(call.params[0], 0, 9, 0, mode)) {
    answer.text = kError;
  } else if (mode == 3 && call.params.size() == 2 && number_param(call.params[1], 0, 2, 0, form)) {
    modem.operatorFormat = form;
    answer.text = kOk;
  } else if (mode == 0 && call.params.size() == 1) {
    answer.text = kOk;
  } else {
    // Manual selection and deregistration: this network has one operator.
    answer.text = cme_error(modem, kCmeNotSupported);
  }
}

void answer_csq(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (call.form == CommandForm::test) {
    answer.text = info("+CSQ: (0-31,99),(99)");
  } else if (call.form == CommandForm::execute) {
    answer.text = info(format("+CSQ: %d,99", csq_rssi(reported_radio(modem))));
  } else {
    answer.text = kError;
  }
}

void answer_cesq(const CommandCall& call, ModemState& modem, CommandAnswer& answer) {
  if (modem.faults.noCesq) {
    answer.text = kError;
  } else if (call.form == CommandForm::test) {
    answer.text = info("+CESQ: (0-63,99),(99),(0-96,255),(0-49,255),(0-34,255),(0-97,255)");
  } else if (call.form == CommandForm::execute) {
    answer.text = info("+CESQ: " + cesq_values(reported_radio(modem)));
  } else {
    answer.text = kError;
  }
}

}  // namespace smstest
