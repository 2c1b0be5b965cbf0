// libFuzzer target for decode_sms_status_report: the hex text comes from
// outside (a +CDS line, an AT+CMGR answer on the "SR" storage).  Seeds:
// status_report_fuzz_corpus/, one PDU per file.  Each input is decoded both
// with and without the service-centre part.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pdu/sms_status_report.h"

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

void check_one(const std::string& input, bool withServiceCentre) {
  smstest::SmsStatusReport report;
  std::string error;
  if (!smstest::decode_sms_status_report(input, withServiceCentre, report, error)) {
    check(!error.empty() && error.find('\n') == std::string::npos);
    return;
  }
  check(report.withServiceCentre == withServiceCentre);
  check(report.tpduLength >= 19 && 2 * static_cast<size_t>(report.tpduLength) <= input.size());
  check(report.messageReference >= 0 && report.messageReference <= 255);
  check(report.recipient.size() <= 21);
  check(report.status >= 0 && report.status <= 255);
  check(report.userData.size() <= 140);
  check(report.userDataLength >= 0 || report.userData.empty());
  for (const smstest::SmsTimeStamp* t : {&report.serviceCentreTime, &report.dischargeTime}) {
    check(t->month >= 1 && t->month <= 12 && t->day >= 1 && t->day <= 31);
    check(t->hour <= 23 && t->minute <= 59 && t->second <= 59);
    check(t->zoneQuarterHours >= -79 && t->zoneQuarterHours <= 79);
  }
  const bool prefixed = smstest::service_centre_part(input.size(), report.tpduLength);
  check(prefixed == withServiceCentre);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  check_one(input, true);
  check_one(input, false);
  return 0;
}
