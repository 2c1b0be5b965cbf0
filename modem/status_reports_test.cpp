// Status reports: the forms a report comes in, read into a StatusReport, and
// the standard session's dialogue for them on the scripted fake device and
// the fake clock: the <ds> chosen at open and its fallbacks, AT+CSMP in text
// mode and its restoration, +CDS (text, PDU with and without the
// service-centre part) with AT+CNMA when the modem wants it, +CDSI read and
// deleted, and the listing of a modem that announces nothing.
#include "modem/status_reports.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "modem/pdu_format.h"
#include "modem/standard_session.h"
#include "modem/text_format.h"
#include "pdu/pdu_encode.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

const char kOk[] = "\r\nOK\r\n";

// A report PDU on reference `mr` to 5550104, taken 12:00:00 and delivered
// 12:00:07 (zone +1 h), with status `status`; `sca` puts the service-centre
// part in front.
EncodedPdu report_pdu(int mr, int status, bool sca) {
  StatusReportMessage m;
  m.messageReference = mr;
  m.recipient = "5550104";
  m.serviceCentreTime = {26, 12, 9, 12, 0, 0, 0};
  m.dischargeTime = {26, 12, 9, 13, 0, 7, 4};
  m.status = status;
  if (sca) m.serviceCentre = "+15550000000";
  EncodedPdu pdu;
  std::string error;
  EXPECT_TRUE(encode_sms_status_report(m, pdu, error)) << error;
  return pdu;
}

TEST(StatusReports, ReadFromEveryForm) {
  const EncodedPdu withSca = report_pdu(7, 0, true);
  const EncodedPdu bare = report_pdu(200, 70, false);
  struct Case {
    const char* name;
    std::string text;  // fields, or a PDU's hex
    int length;        // PDU: the announced length; -2: text fields
    size_t skip;
    bool ok;
    int reference, status;
    long long centre;
  } cases[] = {
      {"text", "6,7,\"5550104\",129,\"26/12/09,12:00:00+00\",\"26/12/09,13:00:07+04\",0", -2, 0,
       true, 7, 0, 7},
      {"text_read",
       "\"REC READ\",6,9,\"+5550104\",145,\"26/12/09,12:00:00+04\","
       "\"26/12/09,11:00:02+00\",48",
       -2, 1, true, 9, 48, 2},
      {"text_listed", "3,\"REC READ\",6,9,,,\"26/12/09,12:00:00+00\",\"26/12/09,12:00:00+00\",65",
       -2, 2, true, 9, 65, 0},
      {"text_bad_stamp", "6,7,\"5550104\",129,\"26/12/09 12:00:00\",\"26/12/09,13:00:07+04\",0", -2,
       0, true, 7, 0, -1},
      {"text_too_few", "6,7,\"5550104\",129,0", -2, 0, false, 0, 0, 0},
      {"text_status_not_number", "6,7,,,\"26/12/09,12:00:00+00\",\"26/12/09,12:00:00+00\",x", -2, 0,
       false, 0, 0, 0},
      {"pdu_with_sca", withSca.hex, withSca.tpduLength, 0, true, 7, 0, 7},
      {"pdu_without_sca", bare.hex.substr(2), bare.tpduLength, 0, true, 200, 70, 7},
      // Read as if the "00" of an empty service-centre part were a TPDU.
      {"pdu_length_lies", bare.hex.substr(2), bare.tpduLength - 1, 0, false, 0, 0, 0},
      {"pdu_cut", bare.hex.substr(2, 20), 10, 0, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StatusReport report;
    std::string error;
    const bool ok = c.length == -2 ? report_from_text_fields(c.text, c.skip, report, error)
                                   : report_from_pdu(c.text, c.length, report, error);
    EXPECT_EQ(ok, c.ok) << error;
    if (!ok || !c.ok) continue;
    EXPECT_EQ(report.reference, c.reference);
    EXPECT_EQ(report.status, c.status);
    EXPECT_EQ(report.hasCentreTimes, c.centre >= 0);
    if (c.centre >= 0) {
      EXPECT_EQ(report.centreSeconds, c.centre);
    }
  }
}

TEST(StatusReports, ParametersAndRecipients) {
  struct Case {
    const char* values;
    bool ok;
    const char* asked;     // the command with TP-SRR
    const char* restored;  // ... as the modem had it
  } cases[] = {
      {"17,167,0,0", true, "AT+CSMP=49,167,0,0", "AT+CSMP=17,167,0,0"},
      {"49,11,0,8", true, "AT+CSMP=49,11,0,8", "AT+CSMP=49,11,0,8"},
      {"25,\"26/12/09,12:00:00+00\",0,0", true, "AT+CSMP=57,\"26/12/09,12:00:00+00\",0,0",
       "AT+CSMP=25,\"26/12/09,12:00:00+00\",0,0"},
      {"17,167,0", false, "", ""},
      {"x,167,0,0", false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.values);
    SubmitParameters p;
    EXPECT_EQ(parse_submit_parameters(c.values, p), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(submit_parameters_command(p, true), c.asked);
    EXPECT_EQ(submit_parameters_command(p, false), c.restored);
  }
  EXPECT_TRUE(same_recipient("+15550104", "15550104"));
  EXPECT_TRUE(same_recipient("15145550104", "5550104"));  // the country code left out
  EXPECT_FALSE(same_recipient("5550105", "5550104"));
  EXPECT_FALSE(same_recipient("104", "5550104"));  // too short to stand for it
  EXPECT_FALSE(same_recipient("", ""));
}

// A modem for the session's report dialogue: `answers` by command (without
// CR), the rest OK.
class ReportSessionTest : public ::testing::Test {
 protected:
  void make(bool pdu, std::map<std::string, std::string> answers) {
    answers_ = std::move(answers);
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    device_->set_responder([this](const std::string& w) -> std::vector<std::string> {
      std::string command = w;
      if (!command.empty() && command.back() == '\r') command.pop_back();
      if (!w.empty() && w.back() == 0x1A) return {"\r\n+CMGS: 9\r\n\r\nOK\r\n"};
      if (command.rfind("AT+CMGS=", 0) == 0) return {"\r\n> "};
      auto a = answers_.find(command);
      return {a != answers_.end() ? a->second : std::string(kOk)};
    });
    std::unique_ptr<MessageFormat> format;
    if (pdu) {
      format.reset(new PduFormat);
    } else {
      format.reset(new TextFormat);
    }
    session_.reset(new StandardSession(std::move(format), std::move(owned), clock_));
    session_->want_reports();
  }

  bool open() { return session_->open(3, 115200, 60, clock_.calendar_seconds()); }

  bool send(SendReceipt& receipt) { return session_->send({"5550104", "hi", true}, receipt, 10); }

  // Waits up to `ms` for a report on reference 9 to 5550104.
  bool wait(StatusReport& report, int ms, bool& got) {
    auto ours = [](const StatusReport& r) {
      return r.reference == 9 && same_recipient(r.recipient, "5550104");
    };
    return session_->next_report(ours, report, session_->now_ms() + ms, got);
  }

  // The writes from `first` on (without CRs).
  std::vector<std::string> writes_from(const std::string& first) const {
    std::vector<std::string> out;
    bool on = false;
    for (std::string w : device_->writes()) {
      if (!w.empty() && w.back() == '\r') w.pop_back();
      on = on || w == first;
      if (on) out.push_back(w);
    }
    return out;
  }

  // How many writes begin with `prefix`.
  int count_of(const std::string& prefix) const {
    int n = 0;
    for (const std::string& w : device_->writes()) n += w.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  FakeClock clock_;
  FakeSerialDevice* device_ = nullptr;
  std::map<std::string, std::string> answers_;
  std::unique_ptr<StandardSession> session_;
};

const char kCnmiOffers[] = "\r\n+CNMI: (0-3),(0,1),(0),(0-2),(0,1)\r\n\r\nOK\r\n";

// The <ds> each modem ends up with: the first offered form it takes, else
// the listing.
TEST_F(ReportSessionTest, IndicationChosenFromWhatIsOfferedAndTaken) {
  struct Case {
    const char* name;
    std::string offers;
    std::vector<std::string> refused;
    int ds;
    std::vector<std::string> tried;
  } cases[] = {
      {"cds", kCnmiOffers, {}, 1, {"AT+CNMI=2,1,0,1,0"}},
      {"offers_1_refuses_it",
       kCnmiOffers,
       {"AT+CNMI=2,1,0,1,0"},
       2,
       {"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0"}},
      {"only_cdsi",
       "\r\n+CNMI: (0-2),(0,1),(0),(0,2),(0)\r\n\r\nOK\r\n",
       {},
       2,
       {"AT+CNMI=2,1,0,2,0"}},
      {"offers_none",
       "\r\n+CNMI: (0-2),(0,1),(0),(0),(0)\r\n\r\nOK\r\n",
       {},
       0,
       {"AT+CNMI=2,1,0,0,0"}},
      {"test_form_refused",
       "\r\nERROR\r\n",
       {"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0"},
       0,
       {"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0", "AT+CNMI=2,1,0,0,0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<std::string, std::string> answers = {{"AT+CNMI=?", c.offers}};
    for (const std::string& r : c.refused) answers[r] = "\r\n+CMS ERROR: 303\r\n";
    make(false, answers);
    ASSERT_TRUE(open()) << session_->last_error();
    EXPECT_EQ(session_->report_indication(), c.ds);
    std::vector<std::string> tried;
    for (const std::string& w : writes_from("AT+CNMI=?")) {
      if (w.rfind("AT+CNMI=", 0) == 0 && w != "AT+CNMI=?") tried.push_back(w);
    }
    EXPECT_EQ(tried, c.tried);
  }
}

// Text mode: the modem's AT+CSMP values with TP-SRR before the first send,
// once, and back as they were afterwards.
TEST_F(ReportSessionTest, TextModeAsksWithParametersAndPutsThemBack) {
  make(false, {{"AT+CNMI=?", kCnmiOffers}, {"AT+CSMP?", "\r\n+CSMP: 17,11,0,8\r\n\r\nOK\r\n"}});
  ASSERT_TRUE(open()) << session_->last_error();
  SendReceipt receipt;
  ASSERT_TRUE(send(receipt)) << session_->last_error();
  ASSERT_TRUE(send(receipt)) << session_->last_error();
  ASSERT_TRUE(session_->restore_settings());
  ASSERT_EQ(receipt.parts.size(), 1u);
  EXPECT_EQ(receipt.parts[0].reference, 9);
  const std::vector<std::string> expected = {
      "AT+CSMP?", "AT+CSMP=49,11,0,8", "AT+CMGS=\"5550104\"", "hi\x1A", "AT+CMGS=\"5550104\"",
      "hi\x1A",   "AT+CSMP=17,11,0,8"};
  EXPECT_EQ(writes_from("AT+CSMP?"), expected);
}

// PDU mode: TP-SRR in the PDU, no AT+CSMP.
TEST_F(ReportSessionTest, PduModeAsksInThePdu) {
  make(true, {{"AT+CNMI=?", kCnmiOffers}});
  ASSERT_TRUE(open()) << session_->last_error();
  SendReceipt receipt;
  ASSERT_TRUE(send(receipt)) << session_->last_error();
  ASSERT_TRUE(session_->restore_settings());
  EXPECT_EQ(count_of("AT+CSMP"), 0);
  EXPECT_NE(device_->written().find("0031000781550501F4"), std::string::npos) << device_->written();
}

// Every way a report arrives, with reports of other messages among them:
// the session hands over the run's one, timed at its line, and acknowledges
// each +CDS on a modem in message service 1.
TEST_F(ReportSessionTest, ReportsByEveryRoute) {
  const EncodedPdu sca = report_pdu(9, 0, true);
  const EncodedPdu bare = report_pdu(9, 0, false);
  const EncodedPdu other = report_pdu(8, 0, false);
  const std::string otherText =
      "\r\n+CDS: 6,9,\"5550999\",129,\"26/12/09,12:00:00+00\",\"26/12/09,12:00:01+00\",0\r\n";
  struct Case {
    const char* name;
    bool pdu;
    std::string cnmiOffers;
    bool service1;
    std::vector<std::string> arrive;  // unsolicited lines, 500 ms apart from 1 s on
    std::map<std::string, std::string> answers;
    int status;
    const char* via;
    int arrivesMs;  // after the wait began, when the report's line came
    int cnma;
  } cases[] = {
      {"cds_text",
       false,
       kCnmiOffers,
       false,
       {otherText,
        "\r\n+CDS: 6,9,\"5550104\",129,\"26/12/09,12:00:00+00\",\"26/12/09,12:00:05+00\",0\r\n"},
       {},
       0,
       "+CDS",
       1500,
       0},
      {"cds_pdu_no_sca",
       true,
       kCnmiOffers,
       false,
       {format("\r\n+CDS: %d\r\n%s\r\n", other.tpduLength, other.hex.substr(2).c_str()),
        format("\r\n+CDS: %d\r\n%s\r\n", bare.tpduLength, bare.hex.substr(2).c_str())},
       {},
       0,
       "+CDS",
       1500,
       0},
      {"cds_pdu_sca_acknowledged",
       true,
       kCnmiOffers,
       true,
       {format("\r\n+CDS: %d\r\n%s\r\n", sca.tpduLength, sca.hex.c_str())},
       {},
       0,
       "+CDS",
       1000,
       1},
      {"cdsi",
       true,
       "\r\n+CNMI: (0-2),(0,1),(0),(0,2),(0)\r\n\r\nOK\r\n",
       false,
       {"\r\n+CDSI: \"SR\",4\r\n"},
       {{"AT+CMGR=4",
         format("\r\n+CMGR: 0,,%d\r\n%s\r\n\r\nOK\r\n", sca.tpduLength, sca.hex.c_str())}},
       0,
       "+CDSI",
       1000,
       0},
      {"cdsi_text",
       false,
       "\r\n+CNMI: (0-2),(0,1),(0),(0,2),(0)\r\n\r\nOK\r\n",
       false,
       {"\r\n+CDSI: \"SR\",2\r\n"},
       {{"AT+CMGR=2",
         "\r\n+CMGR: \"REC UNREAD\",6,9,\"5550104\",129,\"26/12/09,12:00:00+00\","
         "\"26/12/09,12:00:03+00\",48\r\n\r\nOK\r\n"}},
       48,
       "+CDSI",
       1000,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<std::string, std::string> answers = c.answers;
    answers["AT+CNMI=?"] = c.cnmiOffers;
    answers["AT+CPMS?"] = "\r\n+CPMS: \"SM\",0,50,\"SM\",0,50,\"SM\",0,50\r\n\r\nOK\r\n";
    if (c.service1) answers["AT+CSMS?"] = "\r\n+CSMS: 1,1,1,1\r\n\r\nOK\r\n";
    make(c.pdu, answers);
    ASSERT_TRUE(open()) << session_->last_error();
    int64_t start = 0;
    int64_t frequency = 1;
    ASSERT_TRUE(clock_.read_performance_counter(start));
    ASSERT_TRUE(clock_.read_counter_frequency(frequency));
    int delay = 1000;
    for (const std::string& line : c.arrive) {
      device_->queue(line, delay);
      delay += 500;
    }
    StatusReport report;
    bool got = false;
    ASSERT_TRUE(wait(report, 5000, got)) << session_->last_error();
    ASSERT_TRUE(got);
    EXPECT_EQ(report.status, c.status);
    EXPECT_EQ(report.via, c.via);
    EXPECT_NEAR(static_cast<double>(report.arrivedAt - start) * 1000 / frequency, c.arrivesMs, 3);
    EXPECT_EQ(count_of("AT+CNMA"), c.cnma);
    if (std::string(c.via) == "+CDSI") {
      // Read from its storage, deleted, and the storage put back.
      const std::vector<std::string> tail = writes_from("AT+CPMS=\"SR\"");
      ASSERT_GE(tail.size(), 4u);
      EXPECT_EQ(tail[2], "AT+CMGD=" + std::string(c.name == std::string("cdsi") ? "4" : "2"));
      EXPECT_EQ(tail[3], "AT+CPMS=\"SM\"");
    }
  }
}

// A storage that cannot be read back, and a modem that announces nothing:
// the unreadable report is noted and missed; the listing finds a stored one.
TEST_F(ReportSessionTest, UnreadableStorageAndListing) {
  make(false, {{"AT+CNMI=?", "\r\n+CNMI: (0-2),(0,1),(0),(0,2),(0)\r\n\r\nOK\r\n"},
               {"AT+CMGR=1", "\r\n+CMS ERROR: 302\r\n"}});
  ASSERT_TRUE(open()) << session_->last_error();
  device_->queue("\r\n+CDSI: \"SR\",1\r\n", 200);
  StatusReport report;
  bool got = true;
  ASSERT_TRUE(wait(report, 2000, got)) << session_->last_error();
  EXPECT_FALSE(got);
  EXPECT_EQ(count_of("AT+CMGD"), 0);

  make(false, {{"AT+CNMI=?", "\r\n+CNMI: (0-2),(0,1),(0),(0),(0)\r\n\r\nOK\r\n"},
               {"AT+CMGL=\"ALL\"",
                "\r\n+CMGL: 3,\"REC UNREAD\",6,8,\"5550104\",129,\"26/12/09,12:00:00+00\","
                "\"26/12/09,12:00:03+00\",0\r\n+CMGL: 5,\"REC UNREAD\",6,9,\"5550104\",129,"
                "\"26/12/09,12:00:00+00\",\"26/12/09,12:00:04+00\",0\r\n\r\nOK\r\n"}});
  ASSERT_TRUE(open()) << session_->last_error();
  ASSERT_TRUE(wait(report, 2000, got)) << session_->last_error();
  ASSERT_TRUE(got);
  EXPECT_EQ(report.via, "listing");
  EXPECT_EQ(report.centreSeconds, 4);
  EXPECT_EQ(count_of("AT+CMGD=5"), 1);
  EXPECT_EQ(count_of("AT+CMGD=3"), 0);  // another message's: left alone
}

}  // namespace

}  // namespace smstest
