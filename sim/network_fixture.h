// A test fixture for the simulated network on a clock of the test's own:
// two modems, COM3 (5550103) and COM4 (5550104), 1.5 s apart, ready at
// t = 100 with a client on each port; what each line gets, and the record
// files.  Shared by the network tests of the standard commands.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/text.h"
#include "sim/network.h"

namespace smstest {
namespace testing_network {

struct Line : SimLine {
  double* clock = nullptr;
  std::vector<std::pair<double, std::string>> writes;

  void write(const std::string& bytes) override { writes.emplace_back(*clock, bytes); }
  void hang_up() override {}

  std::string all() const {
    std::string out;
    for (const auto& w : writes) out += w.second;
    return out;
  }
  // What came since the last call.
  std::string take() {
    std::string out = all().substr(taken);
    taken += out.size();
    return out;
  }
  size_t taken = 0;
};

inline std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

// Two modems, COM3 (5550103) and COM4 (5550104), 1.5 s apart, ready at
// t = 100 with a client on each port.
class NetworkFixture : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        testing::TempDir() + format("sim_standard_%d_%s", static_cast<int>(getpid()),
                                    testing::UnitTest::GetInstance()->current_test_info()->name());
    mkdir(dir_.c_str(), 0777);
    config_.dir = dir_;
    config_.delay = 1.5;
  }

  void TearDown() override {
    network_.reset();
    for (const char* name : {"/COM3.traffic.log", "/COM4.traffic.log", "/network.log"}) {
      unlink((dir_ + name).c_str());
    }
    rmdir(dir_.c_str());
  }

  void begin(const std::string& com3 = "", const std::string& com4 = "") {
    for (std::string argument : {"COM3=5550103" + com3, "COM4=5550104" + com4}) {
      ModemConfig modem;
      std::string error;
      ASSERT_TRUE(parse_modem_argument(argument, modem, error)) << error;
      config_.modems.push_back(modem);
    }
    begin_with_config();
  }

  void begin_with_config() {
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

  // Writes `bytes` to modem `index` and returns what it wrote back at once.
  std::string type(size_t index, const std::string& bytes) {
    lines_[index].take();
    network_->receive(index, bytes.data(), bytes.size(), now_);
    return lines_[index].take();
  }

  void advance_to(double t) {
    while (network_->next_due() <= t) {
      now_ = network_->next_due();
      network_->run_due(now_);
    }
    now_ = t;
  }

  // The modem's setting-up as the tool does it: echo off, numeric codes,
  // text mode, ASCII unchanged, "+CMTI:" announcements.
  void open_text_mode(size_t index) {
    EXPECT_EQ("ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n",
              type(index, "ATE0\rAT+CMEE=1\rAT+CMGF=1\rAT+CSCS=\"IRA\"\rAT+CNMI=2,1,0,0,0\r"));
  }

  std::string stamp(size_t modem, size_t k) {
    return time_stamp(network_->modem(modem).messages()[k].arrived);
  }

  std::vector<std::string> network_record() { return read_lines(dir_ + "/network.log"); }
  std::vector<std::string> traffic(const char* name) {
    return read_lines(dir_ + "/" + name + ".traffic.log");
  }

  std::string dir_;
  SimConfig config_;
  std::unique_ptr<SimNetwork> network_;
  std::vector<Line> lines_;
  double now_ = 0;
};

}  // namespace testing_network
}  // namespace smstest
