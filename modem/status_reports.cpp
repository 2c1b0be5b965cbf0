#include "modem/status_reports.h"

#include <cstdlib>
#include <vector>

#include "common/text.h"
#include "modem/at_answer.h"
#include "pdu/sms_status_report.h"

namespace smstest {

namespace {

bool two_digits(const std::string& text, size_t at, int& value) {
  if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' ||
      text[at + 1] > '9') {
    return false;
  }
  value = (text[at] - '0') * 10 + (text[at + 1] - '0');
  return true;
}

bool number_field(const std::string& text, int& value) {
  if (!all_digits(text)) return false;
  value = std::atoi(text.c_str());
  return true;
}

}  // namespace

bool parse_submit_parameters(const std::string& values, SubmitParameters& parameters) {
  // The validity period may be a quoted time with commas of its own:
  // split_fields keeps it whole and drops its quotes, so look for them here.
  const std::vector<std::string> fields = split_fields(values);
  if (fields.size() != 4 || !all_digits(fields[0])) return false;
  SubmitParameters read;
  read.firstOctet = std::atoi(fields[0].c_str());
  read.validity = fields[1];
  read.validityQuoted = values.find('"') != std::string::npos;
  read.protocolId = fields[2];
  read.codingScheme = fields[3];
  parameters = read;
  return true;
}

std::string submit_parameters_command(const SubmitParameters& parameters, bool report) {
  const int firstOctet = report ? (parameters.firstOctet | 0x20) : parameters.firstOctet;
  const std::string validity =
      parameters.validityQuoted ? "\"" + parameters.validity + "\"" : parameters.validity;
  return format("AT+CSMP=%d,%s,%s,%s", firstOctet, validity.c_str(), parameters.protocolId.c_str(),
                parameters.codingScheme.c_str());
}

bool text_time_stamp_seconds(const std::string& text, long long& seconds) {
  // yy/MM/dd,hh:mm:ss+zz
  if (text.size() != 20 || text[2] != '/' || text[5] != '/' || text[8] != ',' || text[11] != ':' ||
      text[14] != ':' || (text[17] != '+' && text[17] != '-')) {
    return false;
  }
  SmsTimeStamp stamp;
  int zone = 0;
  if (!two_digits(text, 0, stamp.year) || !two_digits(text, 3, stamp.month) ||
      !two_digits(text, 6, stamp.day) || !two_digits(text, 9, stamp.hour) ||
      !two_digits(text, 12, stamp.minute) || !two_digits(text, 15, stamp.second) ||
      !two_digits(text, 18, zone)) {
    return false;
  }
  if (stamp.month < 1 || stamp.month > 12 || stamp.day < 1 || stamp.day > 31 || stamp.hour > 23 ||
      stamp.minute > 59 || stamp.second > 59) {
    return false;
  }
  stamp.zoneQuarterHours = text[17] == '-' ? -zone : zone;
  seconds = stamp.utc_seconds();
  return true;
}

bool report_from_text_fields(const std::string& values, size_t skip, StatusReport& report,
                             std::string& error) {
  std::vector<std::string> fields = split_fields(values);
  fields.erase(fields.begin(),
               fields.begin() + static_cast<long>(skip < fields.size() ? skip : fields.size()));
  StatusReport read;
  long long centreTime = 0;
  long long discharge = 0;
  int firstOctet = 0;
  if (fields.size() != 7 || !number_field(fields[0], firstOctet) ||
      !number_field(fields[1], read.reference) || !number_field(fields[6], read.status)) {
    error = format("not a status report: \"%s\"", escape_text(values).c_str());
    return false;
  }
  read.recipient = fields[2];
  read.hasCentreTimes = text_time_stamp_seconds(fields[4], centreTime) &&
                        text_time_stamp_seconds(fields[5], discharge);
  read.centreSeconds = read.hasCentreTimes ? discharge - centreTime : 0;
  read.raw = values;
  report = read;
  return true;
}

bool report_from_pdu(const std::string& hex, int announcedLength, StatusReport& report,
                     std::string& error) {
  SmsStatusReport decoded;
  const std::string digits = trim_text(hex);
  if (!decode_sms_status_report(digits, service_centre_part(digits.size(), announcedLength),
                                decoded, error)) {
    return false;
  }
  StatusReport read;
  read.reference = decoded.messageReference;
  read.recipient = decoded.recipient;
  read.status = decoded.status;
  read.hasCentreTimes = true;
  read.centreSeconds =
      decoded.dischargeTime.utc_seconds() - decoded.serviceCentreTime.utc_seconds();
  read.raw = digits;
  report = read;
  return true;
}

bool same_recipient(const std::string& recipient, const std::string& sent) {
  auto digits = [](const std::string& number) {
    return !number.empty() && number[0] == '+' ? number.substr(1) : number;
  };
  const std::string a = digits(recipient);
  const std::string b = digits(sent);
  if (a.empty() || b.empty()) return false;
  if (a == b) return true;
  const std::string& shorter = a.size() < b.size() ? a : b;
  const std::string& longer = a.size() < b.size() ? b : a;
  return shorter.size() >= 6 &&
         longer.compare(longer.size() - shorter.size(), std::string::npos, shorter) == 0;
}

}  // namespace smstest
