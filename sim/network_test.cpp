// The network on a clock of the test's own: every event runs exactly when
// it falls due, so delays and orders can be checked to the millisecond
// without waiting for them.
#include "sim/network.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "common/text.h"
#include "sim/network_fixture.h"

namespace smstest {

namespace {

struct FakeLine : SimLine {
  double* clock = nullptr;
  bool hungUp = false;
  std::vector<std::pair<double, std::string>> writes;

  void write(const std::string& bytes) override {
    EXPECT_FALSE(hungUp) << "written after the hang-up";
    writes.emplace_back(*clock, bytes);
  }
  void hang_up() override { hungUp = true; }

  std::string all() const {
    std::string out;
    for (const auto& w : writes) out += w.second;
    return out;
  }
};

using testing_network::read_lines;

class NetworkTest : public testing::Test {
 protected:
  void SetUp() override {
    // ctest runs tests in parallel processes: one directory each.
    dir_ =
        testing::TempDir() + format("sim_network_%d_%s", static_cast<int>(getpid()),
                                    testing::UnitTest::GetInstance()->current_test_info()->name());
    mkdir(dir_.c_str(), 0777);
    config_.dir = dir_;
    config_.delay = 1.5;
    add_modem("COM3=5550103");
    add_modem("COM4=5550104");
  }

  void add_modem(const std::string& text) {
    ModemConfig modem;
    std::string error;
    ASSERT_TRUE(parse_modem_argument(text, modem, error)) << error;
    config_.modems.push_back(modem);
  }

  // Builds the network with the configuration so far, ready at t = 100.
  void begin() {
    network_ = std::make_unique<SimNetwork>(config_);
    ASSERT_TRUE(network_->open_records(dir_)) << network_->lastError;
    lines_.resize(config_.modems.size());
    for (size_t i = 0; i < lines_.size(); ++i) {
      lines_[i].clock = &now_;
      network_->attach_line(i, &lines_[i]);
    }
    now_ = 100;
    network_->start(now_);
    for (size_t i = 0; i < lines_.size(); ++i) network_->client_opened(i, now_);
  }

  void type(size_t modem, const std::string& bytes) {
    network_->receive(modem, bytes.data(), bytes.size(), now_);
  }

  // Runs every event up to `t`, each exactly at its time.
  void advance_to(double t) {
    while (network_->next_due() <= t) {
      now_ = network_->next_due();
      network_->run_due(now_);
    }
    now_ = t;
  }

  std::vector<std::string> network_record() { return read_lines(dir_ + "/network.log"); }

  std::string dir_;
  SimConfig config_;
  std::unique_ptr<SimNetwork> network_;
  std::vector<FakeLine> lines_;
  double now_ = 0;
};

TEST_F(NetworkTest, MessageIsStoredDelayAfterItsConfirmation) {
  begin();
  type(0, "ATE0\r");
  now_ = 102;
  type(0, "AT!SSMS=0,5550104,5550104,\"hello\"\r");
  ASSERT_EQ(2u, lines_[0].writes.size());
  EXPECT_EQ(102, lines_[0].writes[1].first);
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", lines_[0].writes[1].second);
  EXPECT_DOUBLE_EQ(103.5, network_->next_due());
  advance_to(103.499);
  EXPECT_TRUE(network_->modem(1).messages().empty());
  advance_to(103.5);
  ASSERT_EQ(1u, network_->modem(1).messages().size());
  EXPECT_EQ("5550103", network_->modem(1).messages()[0].from);
  EXPECT_EQ("hello", network_->modem(1).messages()[0].text);
  std::vector<std::string> expected = {
      "2.000 sent COM3 5550103 5550104 1 - hello",
      "3.500 delivered COM4 5550103 5550104 1 1.500 hello",
  };
  EXPECT_EQ(expected, network_record());
}

TEST_F(NetworkTest, DelayCountsFromTheLastByteOfTheConfirmation) {
  struct Case {
    const char* senderOption;
    double delay;      // the receiver's delay
    double delivered;  // seconds after the command
  } cases[] = {
      {"delay=3", 0.25, 0.25},             // the receiver's delay, not the sender's
      {"confirm-late=2", 1.5, 3.5},        // late confirmation, then the delay
      {"chunks=0.3", 1.5, 1.5 + 7 * 0.3},  // echo and answer in 8 pieces
      {"send-unconfirmed", 1.5, 1.5},      // from the command itself
      {"cmgs-first", 1.5, 1.5},
  };
  for (const Case& c : cases) {
    config_.modems.clear();
    add_modem(std::string("COM3=5550103,") + c.senderOption);
    add_modem(format("COM4=5550104,delay=%g", c.delay));
    begin();
    type(0, "AT!SSMS=0,5550104,5550104,\"x\"\r");
    advance_to(100 + c.delivered - 0.001);
    EXPECT_TRUE(network_->modem(1).messages().empty()) << c.senderOption;
    advance_to(100 + c.delivered);
    EXPECT_EQ(1u, network_->modem(1).messages().size()) << c.senderOption;
    std::vector<std::string> record = network_record();
    ASSERT_EQ(2u, record.size()) << c.senderOption;
    EXPECT_EQ(format("%.3f delivered COM4 5550103 5550104 1 %.3f x", c.delivered, c.delay),
              record[1]);
  }
}

TEST_F(NetworkTest, ReceiverFaultsLoseOrAlterTheMessage) {
  config_.modems[1].faults.lose = true;
  add_modem("COM5=5550105,alter=prefix");
  begin();
  type(0, "ATE0\rAT!SSMS=0,5550104,5550104,\"a\"\rAT!SSMS=0,5550105,5550105,\"b\"\r");
  advance_to(110);
  EXPECT_TRUE(network_->modem(1).messages().empty());
  ASSERT_EQ(1u, network_->modem(2).messages().size());
  EXPECT_EQ("FW: b", network_->modem(2).messages()[0].text);
  std::vector<std::string> record = network_record();
  ASSERT_EQ(4u, record.size());
  EXPECT_EQ("1.500 lost COM4 5550103 5550104 1 - a", record[2]);
  EXPECT_EQ("1.500 delivered COM5 5550103 5550105 2 1.500 FW: b", record[3]);
}

TEST_F(NetworkTest, OutsidePhonesBothWays) {
  config_.injections.push_back({"COM4", 2.5, "5551234", "ping \"me\""});
  begin();
  type(1, "ATE0\r");
  advance_to(102.4);
  EXPECT_TRUE(network_->modem(1).messages().empty());
  advance_to(102.5);
  ASSERT_EQ(1u, network_->modem(1).messages().size());
  EXPECT_EQ("5551234", network_->modem(1).messages()[0].from);
  // The reflector's answer goes to the outside phone; nothing is stored.
  type(1, "AT!SSMS=0,5551234,5551234,\"pong\"\r");
  advance_to(110);
  std::vector<std::string> expected = {
      "2.500 injected COM4 5551234 5550104 - - ping \"me\"",
      "2.500 delivered COM4 5551234 5550104 - 0.000 ping \"me\"",
      "2.500 sent COM4 5550104 5551234 1 - pong",
      "2.500 outside COM4 5550104 5551234 1 - pong",
  };
  EXPECT_EQ(expected, network_record());
  EXPECT_EQ(1u, network_->modem(1).messages().size());
  EXPECT_TRUE(network_->modem(0).messages().empty());
}

TEST_F(NetworkTest, AnswersKeepTheirOrderBehindALateOne) {
  config_.modems[0].faults.confirmLate = 3;
  begin();
  type(0, "ATE0\rAT!SSMS=0,5550104,5550104,\"x\"\rAT\r");
  advance_to(104);
  ASSERT_EQ(3u, lines_[0].writes.size());
  EXPECT_EQ(100, lines_[0].writes[0].first);
  EXPECT_EQ(103, lines_[0].writes[1].first);
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", lines_[0].writes[1].second);
  EXPECT_EQ(103, lines_[0].writes[2].first);  // AT waited for the late answer
  EXPECT_EQ("\r\nOK\r\n", lines_[0].writes[2].second);
}

TEST_F(NetworkTest, ChunkedAnswerPiecesArePaused) {
  config_.modems[0].faults.chunkPause = 0.2;
  begin();
  type(0, "ATE0\r");
  advance_to(101);
  lines_[0].writes.clear();
  now_ = 101;
  type(0, "AT\r");
  advance_to(102);
  ASSERT_EQ(4u, lines_[0].writes.size());
  for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(101 + 0.2 * i, lines_[0].writes[i].first, 1e-9);
  EXPECT_EQ("\r\nOK\r\n", lines_[0].all());
}

TEST_F(NetworkTest, UnsolicitedLinesOnlyBetweenAnswersAndToAClient) {
  config_.modems[1].faults.unsolicited = 1.0;
  begin();
  type(1, "ATE0\r");
  advance_to(101.5);
  EXPECT_EQ("ATE0\r\r\nOK\r\n\r\n+CREG: 1\r\n", lines_[1].all());
  network_->client_closed(1, now_);
  size_t written = lines_[1].writes.size();
  advance_to(103.5);  // two ticks with nobody there: not even dropped bytes
  EXPECT_EQ(written, lines_[1].writes.size());
  type(0, "AT!SSMS=0,5550104,5550104,\"x\"\r");
  network_->client_opened(1, now_);
  lines_[1].writes.clear();
  advance_to(105.2);
  // A tick at 104, then at 105 the arrival and its notice after that tick.
  EXPECT_EQ("\r\n+CREG: 1\r\n\r\n+CREG: 1\r\n\r\n+CMTI: \"SM\",1\r\n", lines_[1].all());
  std::vector<std::string> traffic = read_lines(dir_ + "/COM4.traffic.log");
  for (const std::string& line : traffic) EXPECT_EQ(std::string::npos, line.find(" drop ")) << line;
}

TEST_F(NetworkTest, HangupClosesTheLineAfterTheAnswer) {
  config_.modems[0].faults.hangupAfter = 2;
  begin();
  type(0, "AT\rAT\rAT\r");
  EXPECT_FALSE(lines_[0].hungUp);  // the client may still read the answer
  advance_to(100.299);
  EXPECT_FALSE(lines_[0].hungUp);
  advance_to(100.3);
  EXPECT_TRUE(lines_[0].hungUp);
  EXPECT_TRUE(network_->hung_up(0));
  EXPECT_EQ("AT\r\r\nOK\r\nAT\r\r\nOK\r\n", lines_[0].all());
  type(0, "AT\r");
  EXPECT_EQ(2u, lines_[0].writes.size());
  std::vector<std::string> traffic = read_lines(dir_ + "/COM3.traffic.log");
  ASSERT_FALSE(traffic.empty());
  EXPECT_EQ("0.300 hangup", traffic.back());
}

TEST_F(NetworkTest, TrafficRecordHoldsCommandsAndBytes) {
  begin();
  type(0, "AT\r");
  network_->attach_line(0, nullptr);  // a modem without a line drops its output
  type(0, "ATE0\r");
  std::vector<std::string> expected = {
      "0.000 open",
      "0.000 cmd AT",
      "0.000 out AT\\r\\r\\nOK\\r\\n",
      "0.000 cmd ATE0",
      "0.000 drop ATE0\\r\\r\\nOK\\r\\n",
  };
  EXPECT_EQ(expected, read_lines(dir_ + "/COM3.traffic.log"));
}

}  // namespace

}  // namespace smstest

namespace smstest {
namespace {

struct FakeGpsLine : SimGpsLine {
  double* clock = nullptr;
  std::vector<std::pair<double, std::string>> writes;
  std::vector<std::pair<double, bool>> plugs;
  void write(const std::string& bytes) override { writes.emplace_back(*clock, bytes); }
  void set_plugged(bool plugged) override { plugs.emplace_back(*clock, plugged); }
};

class GpsNetworkTest : public NetworkTest {
 protected:
  void with_route(const std::string& text) {
    GpsReceiverConfig gps;
    gps.name = "COM20";
    std::string error;
    ASSERT_TRUE(parse_gps_route(text, "route.txt", &gps.route, &error)) << error;
    config_.gpsReceivers.push_back(gps);
  }
  void begin_with_gps() {
    gps_.clock = &now_;
    // attach before start(): the first sentences go out at ready.
    network_ = std::make_unique<SimNetwork>(config_);
    ASSERT_TRUE(network_->open_records(dir_)) << network_->lastError;
    lines_.resize(config_.modems.size());
    for (size_t i = 0; i < lines_.size(); ++i) {
      lines_[i].clock = &now_;
      network_->attach_line(i, &lines_[i]);
    }
    network_->attach_gps_line(0, &gps_);
    now_ = 100;
    network_->start(now_);
    for (size_t i = 0; i < lines_.size(); ++i) network_->client_opened(i, now_);
  }
  FakeGpsLine gps_;
};

TEST_F(GpsNetworkTest, ReceiverSendsOnceASecondAndIsUnpluggedForItsStretch) {
  with_route("speed 2\n0 45.5 -73.6\n20 45.51 -73.6\nnofix 4 6\nunplug 8 12\n");
  begin_with_gps();
  advance_to(107.5);
  // Ready at 100: sentences at 100 ... 103, none at 104 and 105 (route 8
  // and 10, unplugged), again from 106.
  std::vector<double> times;
  for (const auto& w : gps_.writes) times.push_back(w.first);
  EXPECT_EQ(times, (std::vector<double>{100, 101, 102, 103, 106, 107}));
  EXPECT_EQ(gps_.plugs, (std::vector<std::pair<double, bool>>{{104, false}, {106, true}}));
  // Route second 4 (at 102) says no fix; 6 (at 103) has one again.
  EXPECT_NE(gps_.writes[2].second.find(",V,"), std::string::npos) << gps_.writes[2].second;
  EXPECT_NE(gps_.writes[3].second.find(",A,"), std::string::npos) << gps_.writes[3].second;
  // Route second 12 (at 106) is at 45.506: 30.3600 minutes north.
  EXPECT_NE(gps_.writes[4].second.find("4530.3600,N,07336.0000,W"), std::string::npos)
      << gps_.writes[4].second;
  std::vector<std::string> record = network_record();
  EXPECT_EQ(record, (std::vector<std::string>{"4.000 gps-unplugged COM20 - - - - ",
                                              "6.000 gps-plugged COM20 - - - - "}));
}

TEST_F(GpsNetworkTest, ModemsRidingAlongFollowTheHolesOfTheRoute) {
  with_route("0 45.5 -73.6\n100 45.51 -73.6\nhole 10 20 fail\nhole 30 40 late=5\n");
  config_.modems.clear();
  add_modem("COM3=5550103,follows=COM20");
  add_modem("COM4=5550104");
  add_modem("COM5=5550105");  // stays put: always covered
  begin_with_gps();
  struct Row {
    double at;  // seconds after ready
    size_t from;
    const char* answer;  // the send's answer
    double delivered;    // seconds after the send; 0: not sent
  } rows[] = {
      {5, 0, "\r\n+CMGS: 1\r\n\r\nOK\r\n", 1.5},     // covered
      {12, 0, "\r\nERROR\r\n", 0},                   // in the hole: refused
      {12.5, 2, "\r\n+CMGS: 1\r\n\r\nOK\r\n", 1.5},  // not riding along
      {25, 0, "\r\n+CMGS: 2\r\n\r\nOK\r\n", 1.5},    // out of the hole again
      {35, 0, "\r\n+CMGS: 3\r\n\r\nOK\r\n", 6.5},    // poor coverage: 5 s late
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.at);
    advance_to(100 + row.at);
    size_t before = lines_[row.from].writes.size();
    size_t stored = network_->modem(1).messages().size();
    type(row.from, "AT!SSMS=0,5550104,5550104,\"hi\"\r");
    advance_to(100 + row.at + 0.01);
    ASSERT_GT(lines_[row.from].writes.size(), before);
    EXPECT_EQ(lines_[row.from].writes.back().second.substr(
                  lines_[row.from].writes.back().second.find("\r\n")),
              row.answer);
    if (row.delivered > 0) {
      advance_to(100 + row.at + row.delivered - 0.01);
      EXPECT_EQ(network_->modem(1).messages().size(), stored);
      advance_to(100 + row.at + row.delivered);
      EXPECT_EQ(network_->modem(1).messages().size(), stored + 1);
    } else {
      advance_to(100 + row.at + 3);
      EXPECT_EQ(network_->modem(1).messages().size(), stored);
    }
  }
}

// A modem riding through a hole without coverage loses its registration and
// its signal there, tells a client that asked for registration lines, and
// gets its radio settings back when it leaves; a stretch of poor coverage
// (late=) and a modem that stays put change nothing.
TEST_F(GpsNetworkTest, RadioFollowsTheCoverageOfTheRoute) {
  with_route("0 45.5 -73.6\n100 45.51 -73.6\nhole 10 20 fail\nhole 30 40 late=5\n");
  config_.modems.clear();
  add_modem("COM3=5550103,follows=COM20,reg=roaming,tech=umts,radio-at=15:lac=0042");
  add_modem("COM4=5550104");  // stays put
  begin_with_gps();
  for (size_t i : {0, 1}) type(i, "ATE0\rAT+CREG=1\rAT+CGREG=2\rAT+CEREG=0\r");
  struct Row {
    double at;           // seconds after ready
    const char* lines;   // written to COM3 since the row before
    const char* asked;   // then asked of COM3 ...
    std::string answer;  // ... and its answer
  } rows[] = {
      {9.5, "", "AT+CSQ", "\r\n+CSQ: 24,99\r\n\r\nOK\r\n"},
      {10.5, "\r\n+CREG: 2\r\n\r\n+CGREG: 2\r\n", "AT+CSQ", "\r\n+CSQ: 99,99\r\n\r\nOK\r\n"},
      {11, "", "AT+CESQ", "\r\n+CESQ: 99,99,255,255,255,255\r\n\r\nOK\r\n"},
      {12, "", "AT+CGREG?", "\r\n+CGREG: 2,2\r\n\r\nOK\r\n"},
      {13, "", "AT+COPS?", "\r\n+COPS: 0\r\n\r\nOK\r\n"},
      // The area changes in the hole: nothing to tell until it leaves.
      {19.5, "", "AT+CREG?", "\r\n+CREG: 1,2\r\n\r\nOK\r\n"},
      {20.5, "\r\n+CREG: 5\r\n\r\n+CGREG: 5,\"0042\",\"01C2D03\",2\r\n", "AT+CESQ",
       "\r\n+CESQ: 99,99,41,37,255,255\r\n\r\nOK\r\n"},
      {35, "", "AT+CSQ", "\r\n+CSQ: 24,99\r\n\r\nOK\r\n"},
  };
  size_t seen = lines_[0].all().size();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.at);
    advance_to(100 + row.at);
    EXPECT_EQ(row.lines, lines_[0].all().substr(seen));
    type(0, std::string(row.asked) + "\r");
    advance_to(now_ + 0.01);
    const std::string all = lines_[0].all();
    EXPECT_EQ(row.answer, all.substr(all.size() - row.answer.size())) << all.substr(seen);
    seen = all.size();
  }
  // COM4 heard of none of it.
  type(1, "AT+CSQ\r");
  advance_to(now_ + 0.01);
  EXPECT_EQ(std::string::npos, lines_[1].all().find("+CREG: 2")) << lines_[1].all();
  EXPECT_NE(std::string::npos, lines_[1].all().find("+CSQ: 24,99")) << lines_[1].all();
}

}  // namespace
}  // namespace smstest
