// Whole campaigns with --gps: the real sms_campaign, SMS_TEST and sms_gps
// against modem_sim's simulated GPS receiver (a drive with a coverage hole,
// a receiver unplugged mid-campaign), and against a real gpsd fed by
// gpsfake.  Positions are checked through what the runs left: the latLong
// of their result lines and the "gps" member of runs.jsonl.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/result_line.h"
#include "common/text.h"
#include "process/child_process.h"
#include "sim/sim_process.h"
#include "testsupport/run_process.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

std::vector<Json> runs_of(const std::string& path) {
  std::vector<Json> runs;
  for (const std::string& line : split(read_file(path), '\n'))
    if (!line.empty()) runs.push_back(Json::parse(line));
  return runs;
}

// The latLong column of each result line of `results`, by the run number
// that ends its dataTime.
std::map<int, std::string> lat_longs(const std::string& results) {
  std::map<int, std::string> byRun;
  for (const std::string& line : split(results, '\n')) {
    std::vector<std::string> f = result_columns(line);
    if (f.size() < 5 || f[3].size() != 20) continue;
    byRun[std::atoi(f[3].substr(14).c_str())] = f[4];
  }
  return byRun;
}

// The latitude of a latLong text "LAT;LON".
double latitude_of(const std::string& latLong) { return std::atof(latLong.c_str()); }

class CampaignGpsRunTest : public ::testing::Test {
 protected:
  void start_sim(const std::string& route, std::vector<std::string> args) {
    ASSERT_TRUE(write_file(work_ + "/route.txt", route));
    args.insert(args.begin(), {"--dir", ports_, "--gps", "COM20=" + work_ + "/route.txt"});
    ASSERT_TRUE(sim_.start(MODEM_SIM_BINARY, args)) << sim_.lastError;
  }

  ProcessResult campaign(std::vector<std::string> args) {
    args.insert(args.begin(), SMS_CAMPAIGN_BINARY);
    return run_process(args, work_, {"SMS_TEST_PORTS=" + ports_}, 150);
  }

  std::string work_ = make_temp_dir("campaign_gps");
  std::string ports_ = make_temp_dir("campaign_gps_ports");
  SimProcess sim_;
};

// A drive north at 0.001 degree a second (111 m/s, route seconds 0 to 60)
// through a hole from route second 4 to 8: the sends made there are
// refused, the others go through, and each run carries where it started.
TEST_F(CampaignGpsRunTest, RunsOfADriveCarryTheirPositionsAndFailInTheHole) {
  start_sim("0 45.500 -73.600\n60 45.560 -73.600\nhole 4 8 fail\n",
            {"--delay", "0.2", "--modem", "COM3=5550103,follows=COM20", "--modem", "COM4=5550104"});
  ASSERT_TRUE(write_file(work_ + "/drive.cmd",
                         "SMS_TEST\nresults.csv\nD|10|3|5550104|hello|0|0|115200|4|115200|0\n"));
  ProcessResult r = campaign(
      {"--dir", "out", "--repeat", "12", "--pause", "0.3", "--gps", "nmea:COM20", "drive.cmd"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

  std::vector<Json> runs = runs_of(work_ + "/out/runs.jsonl");
  std::map<int, std::string> results = lat_longs(read_file(work_ + "/out/results.csv"));
  ASSERT_EQ(runs.size(), 12u);
  int failures = 0, clear = 0;
  for (const Json& run : runs) {
    SCOPED_TRACE(run.dump());
    const Json& gps = run["gps"];
    EXPECT_EQ(gps["source"], "nmea:COM20");
    const std::string start = gps["start"]["latLong"];
    const std::string end = gps["end"]["latLong"];
    ASSERT_NE(start, "-");
    ASSERT_NE(end, "-");
    // The run was given its start position, and the report reads it.
    EXPECT_EQ(results[run["run"].get<int>()], start);
    EXPECT_EQ(
        format("%.6f;%.6f", gps["start"]["lat"].get<double>(), gps["start"]["lon"].get<double>()),
        start);
    EXPECT_EQ(gps["start"]["mode"], "fix");
    EXPECT_NEAR(gps["start"]["speed"].get<double>(), 111.2, 0.2);
    EXPECT_LE(gps["start"]["age"].get<double>(), 5.0);
    EXPECT_EQ(start.substr(start.find(';')), ";-73.600000");
    // Route seconds at the start and end fixes; a fix is up to a second
    // old, and the send lies between the two.
    double from = (latitude_of(start) - 45.5) / 0.001;
    double to = (latitude_of(end) - 45.5) / 0.001 + 1;
    ASSERT_LE(from, to);
    const bool ok = run["statusCode"] == 0;
    if (!ok) {
      ++failures;
      EXPECT_TRUE(from < 8 && to >= 4) << "a run failed away from the hole";
    }
    if (from >= 4 && to <= 8) {
      EXPECT_FALSE(ok) << "a send from inside the hole went through";
    } else if (to < 3.8 || from > 8.2) {
      ++clear;
      EXPECT_TRUE(ok) << "a send outside the hole failed";
    }
  }
  EXPECT_GE(failures, 1);
  EXPECT_GE(clear, 2);
  // Each plain progress line ends in the GPS state.
  for (const std::string& line : split(r.out, '\n')) {
    if (line.find("(run ") == std::string::npos) continue;
    EXPECT_NE(line.find("; gps 45.5"), std::string::npos) << line;
  }
}

// The receiver is unplugged from route second 3 to 12: runs meanwhile get
// "-" and why, once the last fix is 5 s old; the campaign goes on and later
// runs have positions again.
TEST_F(CampaignGpsRunTest, AReceiverPulledAwayLeavesRunsWithoutPositionAndTheCampaignGoesOn) {
  start_sim("0 45.500 -73.600\n60 45.560 -73.600\nunplug 3 12\n",
            {"--delay", "0.2", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  ASSERT_TRUE(write_file(work_ + "/a.cmd",
                         "SMS_TEST\nresults.csv\nA|10|3|5550104|hello|0|0|115200|4|115200|0\n"));
  ProcessResult r = campaign(
      {"--dir", "out", "--repeat", "16", "--pause", "0.6", "--gps", "nmea:COM20", "a.cmd"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  std::vector<Json> runs = runs_of(work_ + "/out/runs.jsonl");
  std::map<int, std::string> results = lat_longs(read_file(work_ + "/out/results.csv"));
  ASSERT_EQ(runs.size(), 16u);
  int without = 0;
  bool positionAfter = false;
  for (const Json& run : runs) {
    SCOPED_TRACE(run.dump());
    EXPECT_EQ(run["statusCode"], 0);  // the GPS is no part of the SMS service
    const Json& start = run["gps"]["start"];
    EXPECT_EQ(results[run["run"].get<int>()], start["latLong"]);
    if (start["latLong"] == "-") {
      ++without;
      const std::string reason = start["reason"];
      // The last fix grew old while the link was down: its problem says why.
      EXPECT_TRUE(reason.rfind("nmea:COM20 ", 0) == 0 || reason == "fix older than 5 s" ||
                  reason.rfind("no data from nmea:COM20", 0) == 0)
          << reason;
      EXPECT_TRUE(start["lat"].is_null());
    } else if (without > 0) {
      positionAfter = true;
      // Plugged back in at route second 12.
      EXPECT_GE(latitude_of(start["latLong"]), 45.512 - 1e-9);
    }
  }
  EXPECT_GE(without, 1);
  EXPECT_TRUE(positionAfter);
}

std::string find_program(const std::string& name) {
  const char* path = std::getenv("PATH");
  for (const std::string& dir :
       split(std::string(path != nullptr ? path : "") + ":/usr/sbin:/usr/bin", ':')) {
    struct stat info;
    std::string candidate = dir + "/" + name;
    if (!dir.empty() && stat(candidate.c_str(), &info) == 0 && (info.st_mode & S_IXUSR))
      return candidate;
  }
  return "";
}

// A port that was free a moment ago.
int free_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

std::string sentence(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  return format("$%s*%02X\r\n", body.c_str(), sum);
}

// gpsd fed by gpsfake with a drive east, a thousandth of a minute a second:
// each run's latLong is one of the replayed positions.
TEST_F(CampaignGpsRunTest, RunsGetThePositionsThatGpsdReplays) {
  const std::string gpsfake = find_program("gpsfake");
  if (gpsfake.empty() || find_program("gpsd").empty()) {
    GTEST_SKIP() << "gpsfake or gpsd not installed (Debian packages gpsd, gpsd-clients)";
  }
  std::string log;
  std::vector<std::string> replayed;
  for (int second = 0; second < 60; ++second) {
    std::string time = format("1200%02d.00", second);
    std::string lon = format("07334.%04d", 100 + second * 10);
    log += sentence("GPRMC," + time + ",A,4530.1020,N," + lon + ",W,10.0,90.0,010524,,,A");
    log += sentence("GPGGA," + time + ",4530.1020,N," + lon + ",W,1,08,0.9,45.0,M,-32.0,M,,");
    log += sentence("GPGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1");
    replayed.push_back(format("45.501700;-%.6f", 73 + (34.01 + second * 0.001) / 60));
  }
  ASSERT_TRUE(write_file(work_ + "/drive.nmea", log));
  const int port = free_port();
  ASSERT_GT(port, 0);
  ChildGroup children;
  ChildCommand command;
  // -c: seconds between sentences, three an epoch.  Started as root (as in
  // CI), gpsfake's gpsd still reads its pseudo-terminal: gpsd drops its
  // privileges only after opening the device.
  command.argv = {gpsfake, "-q", "-c", "0.33", "-P", std::to_string(port), "drive.nmea"};
  command.cwd = work_;
  command.stdoutPath = work_ + "/gpsfake.out";
  command.stderrPath = work_ + "/gpsfake.err";
  ASSERT_TRUE(children.start(command)) << children.lastError;
  // gpsd takes connections before the first fix; the campaign gives that
  // one 5 s.
  bool listening = false;
  for (int tries = 0; tries < 200 && !listening; ++tries) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    listening = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (!listening) sleep_milliseconds(50);
  }
  ASSERT_TRUE(listening) << "gpsd did not listen: " << read_file(work_ + "/gpsfake.err");

  start_sim("0 0 0\n1 0 0\n",
            {"--delay", "0.2", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  ASSERT_TRUE(write_file(work_ + "/a.cmd",
                         "SMS_TEST\nresults.csv\nA|10|3|5550104|hello|0|0|115200|4|115200|0\n"));
  ProcessResult r = campaign({"--dir", "out", "--repeat", "4", "--pause", "0.5", "--gps",
                              format("gpsd:127.0.0.1:%d", port), "a.cmd"});
  children.terminate_all();
  children.wait_all(10);
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err << read_file(work_ + "/gpsfake.err");
  std::vector<Json> runs = runs_of(work_ + "/out/runs.jsonl");
  ASSERT_EQ(runs.size(), 4u);
  std::map<int, std::string> results = lat_longs(read_file(work_ + "/out/results.csv"));
  long previous = -1;
  long first = -1;
  for (const Json& run : runs) {
    SCOPED_TRACE(run.dump());
    const Json& start = run["gps"]["start"];
    ASSERT_NE(start["latLong"], "-") << read_file(work_ + "/gpsfake.err");
    const std::string latLong = start["latLong"];
    const long at = std::find(replayed.begin(), replayed.end(), latLong) - replayed.begin();
    EXPECT_LT(at, static_cast<long>(replayed.size())) << latLong << " was not replayed";
    EXPECT_EQ(results[run["run"].get<int>()], latLong);
    EXPECT_EQ(run["gps"]["source"], format("gpsd:127.0.0.1:%d", port));
    EXPECT_TRUE(start["mode"] == "2D" || start["mode"] == "3D");
    // gpsd's first reports of a receiver may lack the speed and the time.
    if (!start["speed"].is_null()) {
      EXPECT_NEAR(start["speed"].get<double>(), 10.0 * 1852 / 3600, 0.01);
    }
    const std::string time = start["time"];
    if (!time.empty()) {
      EXPECT_EQ(time.substr(0, 14), "2024-05-01T12:");
    }
    // The drive goes on: later runs are further along (or, when gpsd was
    // slow, where the run before was).
    EXPECT_GE(at, previous);
    previous = at;
    if (first < 0) first = at;
  }
  EXPECT_GT(previous, first);
}

}  // namespace
}  // namespace smstest
