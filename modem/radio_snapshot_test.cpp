// The radio snapshot and the identity: the parsers of each answer form,
// table-driven, and RadioWatch on the scripted fake device and fake clock
// (a modem that refuses a command, one that does not answer, the bound of
// a snapshot, the notes in the debug log).
#include "modem/radio_snapshot.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/files.h"
#include "common/text.h"
#include "modem/at_channel.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/modem_answers.h"
#include "testsupport/pty_peer.h"

namespace smstest {
namespace {

std::string show(const std::optional<int>& v) { return v ? std::to_string(*v) : "null"; }
std::string show(const std::optional<double>& v) { return v ? format("%.1f", *v) : "null"; }

TEST(RadioParsers, RegistrationLines) {
  struct Row {
    const char* line;
    bool read;
    bool ok;
    const char* stat;
    const char* lac;
    const char* cell;
    const char* tech;
  } rows[] = {
      {"+CREG: 2,1,\"1A2B\",\"01C2D03\",7", true, true, "1", "1A2B", "1C2D03", "LTE"},
      {"+CEREG: 2,5,\"00c1\",\"beef\",7", true, true, "5", "C1", "BEEF", "LTE"},
      {"+CGREG: 2,1,\"00C1\",\"BEEF\",0,\"01\"", true, true, "1", "C1", "BEEF", "GSM"},
      {"+CREG: 0,1", true, true, "1", "", "", ""},
      {"+CREG: 2,2", true, true, "2", "", "", ""},
      {"+CREG: 1,\"1A2B\",\"0001\",2", false, true, "1", "1A2B", "1", "UMTS"},
      {"+CEREG: 3", false, true, "3", "", "", ""},
      {"+CREG: 1,1,\"1A2B\",\"0001\",6", true, true, "1", "1A2B", "1", "HSPA"},
      {"+CREG: 1,1,\"1A2B\",\"0001\",3", true, true, "1", "1A2B", "1", "EDGE"},
      {"+CREG: 1,1,\"1A2B\",\"0001\",11", true, true, "1", "1A2B", "1", "NR"},
      {"+CREG: 1,1,\"1A2B\",\"0001\",42", true, true, "1", "1A2B", "1", ""},
      {"+CREG: 2,1,\"XYZ\",\"0001\"", true, true, "1", "", "1", ""},
      {"+CREG: 2", true, false, "null", "", "", ""},
      {"+CREG: x,1", false, false, "null", "", "", ""},
      {"+CSQ: 1,1", true, false, "null", "", "", ""},
      {"+CREG:", false, false, "null", "", "", ""},
  };
  for (const Row& row : rows) {
    RadioSnapshot s;
    EXPECT_EQ(row.ok, parse_registration_line(row.line, row.read, s)) << row.line;
    EXPECT_EQ(row.stat, show(s.stat)) << row.line;
    EXPECT_EQ(row.lac, s.lac) << row.line;
    EXPECT_EQ(row.cell, s.cellId) << row.line;
    EXPECT_EQ(row.tech, s.technology) << row.line;
  }
}

TEST(RadioParsers, OperatorAndSignalLines) {
  struct Row {
    const char* line;
    bool ok;
    const char* oper;
    const char* tech;
    const char* rssi;
    const char* rscp;
    const char* ecno;
    const char* rsrq;
    const char* rsrp;
  } rows[] = {
      {"+COPS: 0,2,\"26202\",7", true, "262-02", "LTE", "null", "null", "null", "null", "null"},
      {"+COPS: 0,2,\"310260\",2", true, "310-260", "UMTS", "null", "null", "null", "null", "null"},
      {"+COPS: 0,0,\"Some Net\",7", true, "", "LTE", "null", "null", "null", "null", "null"},
      {"+COPS: 0", true, "", "", "null", "null", "null", "null", "null"},
      {"+COPS: 0,2,\"2620\",7", true, "", "LTE", "null", "null", "null", "null", "null"},
      {"+COPS: x", false, "", "", "null", "null", "null", "null", "null"},
      {"+CSQ: 24,99", true, "", "", "-65", "null", "null", "null", "null"},
      {"+CSQ: 0,99", true, "", "", "-113", "null", "null", "null", "null"},
      {"+CSQ: 31,0", true, "", "", "-51", "null", "null", "null", "null"},
      {"+CSQ: 99,99", true, "", "", "null", "null", "null", "null", "null"},
      {"+CSQ: 24", false, "", "", "null", "null", "null", "null", "null"},
      {"+CESQ: 99,99,255,255,20,46", true, "", "", "null", "null", "null", "-10.0", "-95.0"},
      {"+CESQ: 99,99,41,36,255,255", true, "", "", "null", "-80.0", "-6.5", "null", "null"},
      {"+CESQ: 40,99,255,255,255,255", true, "", "", "-71", "null", "null", "null", "null"},
      {"+CESQ: 99,99,255,255,0,97", true, "", "", "null", "null", "null", "-20.0", "-44.0"},
      {"+CESQ: 99,99,255,255,20", false, "", "", "null", "null", "null", "null", "null"},
      {"+CESQ: 99,99,255,255,20,x", false, "", "", "null", "null", "null", "null", "null"},
  };
  for (const Row& row : rows) {
    RadioSnapshot s;
    std::string line = row.line;
    bool ok = line.rfind("+COPS", 0) == 0  ? parse_operator_line(line, s)
              : line.rfind("+CSQ", 0) == 0 ? parse_csq_line(line, s)
                                           : parse_cesq_line(line, s);
    EXPECT_EQ(row.ok, ok) << line;
    EXPECT_EQ(row.oper, s.operatorId) << line;
    EXPECT_EQ(row.tech, s.technology) << line;
    EXPECT_EQ(row.rssi, show(s.rssiDbm)) << line;
    EXPECT_EQ(row.rscp, show(s.rscpDbm)) << line;
    EXPECT_EQ(row.ecno, show(s.ecnoDb)) << line;
    EXPECT_EQ(row.rsrq, show(s.rsrqDb)) << line;
    EXPECT_EQ(row.rsrp, show(s.rsrpDbm)) << line;
  }
  // +CSQ wins over the rxlev of +CESQ.
  RadioSnapshot s;
  parse_csq_line("+CSQ: 20,99", s);
  parse_cesq_line("+CESQ: 40,99,255,255,255,255", s);
  EXPECT_EQ(-73, *s.rssiDbm);
}

TEST(RadioParsers, HomeNetworkFromTheImsi) {
  struct Row {
    const char* imsi;
    const char* serving;
    const char* home;
  } rows[] = {
      {"262019876543210", "", "262-01"},
      {"310260123456789", "", "310-260"},
      {"405854000000000", "", "405-854"},
      {"001010005550103", "001-01", "001-01"},
      {"001010005550103", "001-010", "001-010"},  // the serving network's MNC length
      {"262019876543210", "310-260", "262-01"},   // roaming: the table decides
      {"12345", "", ""},
      {"26201x", "", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(row.home, home_network(row.imsi, row.serving)) << row.imsi;
}

class RadioWatchTest : public testing::Test {
 protected:
  RadioWatchTest() {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    channel_ = std::make_unique<AtChannel>(std::move(owned), clock_);
  }

  void open(std::vector<std::pair<std::string, std::string>> answers) {
    log_ = folder_.path("radio.log");
    channel_->port.open_log(log_.c_str());
    device_->on_write("AT\r", {"\r\nOK\r\n"}).on_write("ATE0\r", {"\r\nOK\r\n"});
    ASSERT_TRUE(channel_->open_answering(3, 115200, 600, clock_.steady_seconds()))
        << channel_->lastError;
    device_->set_responder(modem_like(std::move(answers)));
  }

  PortFolder folder_;
  FakeClock clock_;
  FakeSerialDevice* device_ = nullptr;
  std::unique_ptr<AtChannel> channel_;
  std::string log_;
};

const std::vector<std::pair<std::string, std::string>> kLteModem = {
    {"AT+CEREG?", "\r\n+CEREG: 2,1,\"1A2B\",\"01C2D03\",7\r\n\r\nOK\r\n"},
    {"AT+CGREG?", "\r\n+CGREG: 2,1,\"1A2B\",\"01C2D03\",7\r\n\r\nOK\r\n"},
    {"AT+CREG?", "\r\n+CREG: 2,1,\"1A2B\",\"01C2D03\",7\r\n\r\nOK\r\n"},
    {"AT+COPS?", "\r\n+COPS: 0,2,\"00101\",7\r\n\r\nOK\r\n"},
    {"AT+CSQ", "\r\n+CSQ: 24,99\r\n\r\nOK\r\n"},
    {"AT+CESQ", "\r\n+CESQ: 99,99,255,255,20,46\r\n\r\nOK\r\n"},
    {"AT+CGMI", "\r\nSMS_TEST\r\n\r\nOK\r\n"},
    {"AT+CGMM", "\r\nmodem_sim\r\n\r\nOK\r\n"},
    {"AT+CGMR", "\r\n1.0.0\r\n\r\nOK\r\n"},
    {"AT+CGSN", "\r\n350000005501032\r\n\r\nOK\r\n"},
    {"AT+CIMI", "\r\n001010005550103\r\n\r\nOK\r\n"},
};

TEST_F(RadioWatchTest, SnapshotAndIdentityOfAModemThatAnswersEverything) {
  open(kLteModem);
  RadioWatch watch(*channel_);
  RadioSnapshot s = watch.snapshot("open");
  EXPECT_EQ("open", s.at);
  EXPECT_EQ(1, *s.stat);
  EXPECT_TRUE(*s.registered());
  EXPECT_EQ("LTE", s.technology);
  EXPECT_EQ("001-01", s.operatorId);
  EXPECT_EQ("1A2B", s.lac);
  EXPECT_EQ("1C2D03", s.cellId);
  EXPECT_EQ(-65, *s.rssiDbm);
  EXPECT_EQ(-95.0, *s.rsrpDbm);
  EXPECT_EQ(-10.0, *s.rsrqDb);
  EXPECT_FALSE(s.rscpDbm);
  ModemIdentity id;
  watch.identify(id, s.operatorId);
  EXPECT_EQ("SMS_TEST", id.manufacturer);
  EXPECT_EQ("modem_sim", id.model);
  EXPECT_EQ("1.0.0", id.revision);
  EXPECT_EQ("350000005501032", id.imei);
  EXPECT_EQ("001-01", id.homeNetwork);
  // The report modes are set once; the second snapshot only reads.
  device_->set_responder(modem_like(kLteModem));
  size_t before = device_->writes().size();
  watch.snapshot("send");
  std::vector<std::string> second(device_->writes().begin() + before, device_->writes().end());
  std::vector<std::string> reads = {"AT+CEREG?\r", "AT+CGREG?\r", "AT+CREG?\r",
                                    "AT+COPS?\r",  "AT+CSQ\r",    "AT+CESQ\r"};
  EXPECT_EQ(reads, second);
}

TEST_F(RadioWatchTest, RefusedCommandIsNotedOnceAndNeverAskedAgain) {
  std::vector<std::pair<std::string, std::string>> answers = kLteModem;
  answers.insert(answers.begin(), {"AT+CESQ", "\r\nERROR\r\n"});
  answers.insert(answers.begin(), {"AT+CEREG", "\r\n+CME ERROR: 4\r\n"});
  open(answers);
  RadioWatch watch(*channel_);
  RadioSnapshot s = watch.snapshot("open");
  watch.snapshot("send");
  EXPECT_EQ(-65, *s.rssiDbm);
  EXPECT_FALSE(s.rsrpDbm);
  EXPECT_EQ("1A2B", s.lac);  // from +CGREG
  const std::string log = read_file(log_);
  const std::string note = "AT+CESQ answered ERROR: radio value unknown, not asked again\n";
  EXPECT_NE(std::string::npos, log.find(note)) << log;
  EXPECT_EQ(log.find(note), log.rfind(note));
  int cesq = 0;
  for (const std::string& w : device_->writes()) cesq += w == "AT+CESQ\r";
  EXPECT_EQ(1, cesq);
  EXPECT_EQ("", channel_->lastError);
}

TEST_F(RadioWatchTest, SilentModemBoundsTheSnapshotToItsBudget) {
  open({{"AT+", ""}});  // nothing answers any AT+ command
  RadioWatch watch(*channel_);
  const int64_t before = clock_.now_microseconds();
  RadioSnapshot s = watch.snapshot("open");
  const int64_t tookMs = (clock_.now_microseconds() - before) / 1000;
  EXPECT_LE(tookMs, RadioWatch::kBudgetMs + AtChannel::kRequestMs);
  EXPECT_FALSE(s.stat);
  EXPECT_FALSE(s.rssiDbm);
  EXPECT_EQ("", s.operatorId);
  EXPECT_EQ("", channel_->lastError);
}

TEST(RadioWatchNotice, RegistrationNoticeUpdatesTheView) {
  FakeClock clock;
  AtChannel channel(std::unique_ptr<FakeSerialDevice>(new FakeSerialDevice(clock)), clock);
  RadioWatch watch(channel);
  Notice lost;
  lost.line = "+CREG: 2";
  RadioSnapshot s = watch.from_notice(lost);
  EXPECT_EQ("urc", s.at);
  EXPECT_EQ(2, *s.stat);
  EXPECT_FALSE(*s.registered());
  Notice back;
  back.line = "+CEREG: 5,\"00C1\",\"BEEF\",7";
  int64_t frequency = 0;
  int64_t reading = 0;
  ASSERT_TRUE(clock.read_counter_frequency(frequency));
  ASSERT_TRUE(clock.read_performance_counter(reading));
  back.reading = reading;
  clock.advance_microseconds(250000);  // taken a quarter of a second after it came
  s = watch.from_notice(back);
  EXPECT_NEAR(static_cast<double>(clock.calendar_microseconds() - 250000),
              static_cast<double>(s.calendarMicros), 1000.0);
  EXPECT_TRUE(*s.registered());
  EXPECT_EQ("C1", s.lac);
  EXPECT_EQ("LTE", s.technology);
}

}  // namespace
}  // namespace smstest
