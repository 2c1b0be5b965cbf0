#include "pdu/sms_status_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace smstest {
namespace {

// A widely published report: centre +31626000230, reference 0xD6 for
// +31628870634, taken 11/01/11 17:59:15 +01:00, delivered two seconds later.
const std::string kPublishedTpdu = "06D60B911326880736F4111011719551401110117195714000";
const std::string kPublished = "07911326060032F0" + kPublishedTpdu;

struct ValidCase {
  const char* name;
  std::string hex;
  bool withServiceCentre;
  std::string serviceCentre;
  int reference;
  std::string recipient;
  int status;
  long long centreDelivery;  // TP-DT - TP-SCTS in seconds
  int parameterIndicator;
  int userDataLength;
  size_t mandatoryDigits;  // hex digits up to and with TP-ST
};

const std::vector<ValidCase> kValid = {
    {"published_with_sca", kPublished, true, "+31626000230", 0xD6, "+31628870634", 0, 2, -1, -1,
     kPublished.size()},
    {"published_without_sca", kPublishedTpdu, false, "", 0xD6, "+31628870634", 0, 2, -1, -1,
     kPublishedTpdu.size()},
    // Empty service-centre part; a pending status; a zone of -06:00 on the
    // discharge time, so an hour later on the clock is seven earlier in UTC.
    {"pending_negative_zone",
     "00"
     "06010B911326880736F4"
     "32302181000000"
     "3230219100004A"
     "20",
     true, "", 1, "+31628870634", 32, 7 * 3600, -1, -1, 0},
    // Reference 255 (the one before the wrap), national number of odd length,
    // failed permanently (70, validity period expired), PI with no fields.
    {"national_expired_pi0",
     "06FF0781214365F7"
     "32302181000000"
     "32302191000000"
     "46"
     "00",
     false, "", 255, "1234567", 70, 3600, 0, -1, 46},
    // The whole trailer: PID, DCS 00 and "Hi" in 7-bit.
    {"trailer_7bit",
     kPublishedTpdu + "07"
                      "00"
                      "00"
                      "02"
                      "C834",
     false, "", 0xD6, "+31628870634", 0, 2, 7, 2, kPublishedTpdu.size()},
    // DCS 8-bit data: the length counts octets.
    {"trailer_8bit",
     kPublishedTpdu + "06"
                      "04"
                      "03"
                      "414243",
     false, "", 0xD6, "+31628870634", 0, 2, 6, 3, kPublishedTpdu.size()},
    // Given up after temporary errors (status 0x60), lower-case digits.
    {"gave_up_lower_case",
     "06070b911326880736f4"
     "32302181000000"
     "32302181005000"
     "60",
     false, "", 7, "+31628870634", 96, 5, -1, -1, 0},
};

TEST(StatusReportDecode, Table) {
  for (const ValidCase& c : kValid) {
    SCOPED_TRACE(c.name);
    SmsStatusReport r;
    std::string error = "untouched";
    ASSERT_TRUE(decode_sms_status_report(c.hex, c.withServiceCentre, r, error)) << error;
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(r.withServiceCentre, c.withServiceCentre);
    EXPECT_EQ(r.serviceCentre, c.serviceCentre);
    EXPECT_EQ(r.messageReference, c.reference);
    EXPECT_EQ(r.recipient, c.recipient);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.dischargeTime.utc_seconds() - r.serviceCentreTime.utc_seconds(), c.centreDelivery);
    EXPECT_EQ(r.parameterIndicator, c.parameterIndicator);
    EXPECT_EQ(r.userDataLength, c.userDataLength);
  }
}

TEST(StatusReportDecode, PublishedFieldsInDetail) {
  SmsStatusReport r;
  std::string error;
  ASSERT_TRUE(decode_sms_status_report(kPublished, true, r, error)) << error;
  EXPECT_EQ(r.tpduLength, 25);
  EXPECT_EQ(r.recipientType, 0x91);
  EXPECT_EQ(r.statusReportQualifier, 0);
  EXPECT_EQ(r.moreMessagesToSend, 1);
  EXPECT_EQ(r.serviceCentreTime.year, 11);
  EXPECT_EQ(r.serviceCentreTime.month, 1);
  EXPECT_EQ(r.serviceCentreTime.day, 11);
  EXPECT_EQ(r.serviceCentreTime.hour, 17);
  EXPECT_EQ(r.serviceCentreTime.minute, 59);
  EXPECT_EQ(r.serviceCentreTime.second, 15);
  EXPECT_EQ(r.serviceCentreTime.zoneQuarterHours, 4);
  EXPECT_EQ(r.dischargeTime.second, 17);

  SmsStatusReport t;
  ASSERT_TRUE(decode_sms_status_report(kValid[4].hex, false, t, error)) << error;
  EXPECT_EQ(t.protocolId, 0);
  EXPECT_EQ(t.dataCodingScheme, 0);
  EXPECT_EQ(t.userData, (std::vector<unsigned char>{0xC8, 0x34}));
}

struct FailCase {
  const char* name;
  std::string hex;
  bool withServiceCentre;
  const char* error;
};

const std::vector<FailCase> kFail = {
    {"empty", "", false, "Empty SMS-STATUS-REPORT PDU"},
    {"odd", kPublishedTpdu + "0", false,
     "SMS-STATUS-REPORT PDU with an odd number of hex digits (51)"},
    {"not_hex", "06D6 B", false,
     "SMS-STATUS-REPORT PDU with a character other than a hex digit at position 4"},
    {"deliver", "0400", false, "Not an SMS-STATUS-REPORT: message type indicator 0"},
    {"submit_with_sca", "0001", true, "Not an SMS-STATUS-REPORT: message type indicator 1"},
    {"sca_taken_as_tpdu", kPublished, false, "Not an SMS-STATUS-REPORT: message type indicator 3"},
    {"long_recipient", "06D61591", false,
     "SMS-STATUS-REPORT recipient address of 21 digits, at most 20"},
    {"month_13", "06D60B911326880736F4113111719551401110117195714000", false,
     "SMS-STATUS-REPORT service centre time stamp with a digit out of range (31)"},
    {"discharge_nibble", "06D60B911326880736F411101171955140111011719A714000", false,
     "SMS-STATUS-REPORT discharge time with a digit out of range (9A)"},
    {"hour_24", "06D60B911326880736F4111011719551401110114295714000", false,
     "SMS-STATUS-REPORT discharge time with a digit out of range (42)"},
    {"after_trailer",
     kPublishedTpdu + "01"
                      "00"
                      "00",
     false, "SMS-STATUS-REPORT PDU with octets after its last field (1)"},
    {"udl_161",
     kPublishedTpdu + "04"
                      "A1",
     false, "SMS-STATUS-REPORT user data length 161 exceeds one message (160 septets)"},
    {"udl_141_ucs2",
     kPublishedTpdu + "06"
                      "08"
                      "8D",
     false, "SMS-STATUS-REPORT user data length 141 exceeds one message (140 octets)"},
    {"short_user_data",
     kPublishedTpdu + "04"
                      "03"
                      "4142",
     false, "SMS-STATUS-REPORT PDU too short for its user data"},
};

TEST(StatusReportDecode, Faults) {
  for (const FailCase& c : kFail) {
    SCOPED_TRACE(c.name);
    SmsStatusReport r;
    r.recipient = "kept";
    std::string error;
    EXPECT_FALSE(decode_sms_status_report(c.hex, c.withServiceCentre, r, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(r.recipient, "kept");
  }
}

// Every prefix of a valid report fails cleanly, except the one that ends
// with TP-ST (the trailer is optional).
TEST(StatusReportDecode, TruncationSweep) {
  for (const ValidCase& c : kValid) {
    const size_t mandatory = c.mandatoryDigits != 0 ? c.mandatoryDigits : c.hex.size();
    for (size_t length = 0; length < c.hex.size(); ++length) {
      SCOPED_TRACE(std::string(c.name) + " prefix " + std::to_string(length));
      const std::string prefix(c.hex.data(), length);  // exactly the prefix, for ASan
      SmsStatusReport r;
      std::string error;
      const bool decoded = decode_sms_status_report(prefix, c.withServiceCentre, r, error);
      if (length == mandatory) {
        EXPECT_TRUE(decoded) << error;
        EXPECT_EQ(r.parameterIndicator, -1);
        continue;
      }
      ASSERT_FALSE(decoded);
      EXPECT_FALSE(error.empty());
      EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
  }
}

TEST(StatusReportClass, Ranges) {
  const struct {
    int status;
    ReportStatusClass expected;
  } cases[] = {
      {0, ReportStatusClass::kDelivered},
      {31, ReportStatusClass::kDelivered},
      {32, ReportStatusClass::kPending},
      {63, ReportStatusClass::kPending},
      {64, ReportStatusClass::kFailedPermanently},
      {95, ReportStatusClass::kFailedPermanently},
      {96, ReportStatusClass::kFailedTemporarily},
      {127, ReportStatusClass::kFailedTemporarily},
      {128, ReportStatusClass::kFailedPermanently},
      {255, ReportStatusClass::kFailedPermanently},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(report_status_class(c.status), c.expected) << c.status;
  }
  EXPECT_STREQ(report_status_class_name(ReportStatusClass::kFailedTemporarily),
               "failed temporarily");
}

TEST(StatusReportTime, UtcSecondsAcrossBoundaries) {
  SmsTimeStamp epoch;
  EXPECT_EQ(epoch.utc_seconds(), 0);
  SmsTimeStamp a{23, 12, 31, 23, 59, 50, 0};
  SmsTimeStamp b{24, 1, 1, 0, 0, 10, 0};
  EXPECT_EQ(b.utc_seconds() - a.utc_seconds(), 20);
  SmsTimeStamp leapEve{24, 2, 28, 23, 0, 0, 0};
  SmsTimeStamp march{24, 3, 1, 0, 0, 0, 0};
  EXPECT_EQ(march.utc_seconds() - leapEve.utc_seconds(), 25 * 3600);
  SmsTimeStamp plusOne{24, 6, 1, 12, 0, 0, 4};
  SmsTimeStamp utc{24, 6, 1, 11, 0, 0, 0};
  EXPECT_EQ(plusOne.utc_seconds(), utc.utc_seconds());
}

TEST(StatusReportServiceCentre, ToldByAnnouncedLength) {
  EXPECT_FALSE(service_centre_part(kPublishedTpdu.size(), 25));
  EXPECT_TRUE(service_centre_part(kPublished.size(), 25));
  EXPECT_TRUE(service_centre_part(2 + kPublishedTpdu.size(), 25));  // "00" in front
  EXPECT_FALSE(service_centre_part(kPublished.size(), -1));
}

// The fuzz target's seed corpus must hold every PDU of the tables above.
// PDU_WRITE_CORPUS=1 writes the missing ones.
TEST(StatusReportFuzzCorpus, HoldsEveryTablePdu) {
  namespace fs = std::filesystem;
  const fs::path dir(STATUS_REPORT_FUZZ_CORPUS);
  std::set<std::string> held;
  if (fs::is_directory(dir)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      held.insert(std::string(std::istreambuf_iterator<char>(in), {}));
    }
  }
  const bool write = std::getenv("PDU_WRITE_CORPUS") != nullptr;
  auto want = [&](const std::string& prefix, const char* name, const std::string& pdu) {
    if (pdu.empty() || held.count(pdu)) return;
    if (write) {
      fs::create_directories(dir);
      std::ofstream(dir / (prefix + name), std::ios::binary) << pdu;
      return;
    }
    ADD_FAILURE() << "status report fuzz corpus lacks " << prefix << name << ": " << pdu;
  };
  for (const ValidCase& c : kValid) want("valid_", c.name, c.hex);
  for (const FailCase& c : kFail) want("fail_", c.name, c.hex);
}

}  // namespace
}  // namespace smstest
