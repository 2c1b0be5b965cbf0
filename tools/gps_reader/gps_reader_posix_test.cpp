// The NMEA source as the campaign reads it: a GpsSource starting the real
// sms_gps, which reads a receiver on a pseudo-terminal that talks, says it
// has no fix, falls silent, is unplugged and comes back; and sms_gps's
// refusals.  These wait for real processes, polling the source's answer
// with a time limit.
#include <gtest/gtest.h>

#include <functional>

#include "common/clock.h"
#include "common/text.h"
#include "gps/gps_source.h"
#include "gps/nmea.h"
#include "testsupport/pty_peer.h"
#include "testsupport/run_process.h"

namespace smstest {
namespace {

// Quick retries, so that a reconnection shows within a test.
GpsSourceTiming quick_timing() {
  GpsSourceTiming timing;
  timing.connectTimeoutMs = 1000;
  timing.firstRetryMs = 50;
  timing.maxRetryMs = 200;
  timing.silenceMs = 600;
  timing.readStepMs = 50;
  return timing;
}

std::unique_ptr<GpsSource> make_source(const std::string& text, GpsSourceTiming timing) {
  GpsSourceAddress address;
  std::string error;
  if (!parse_gps_source(text, &address, &error)) {
    ADD_FAILURE() << error;
    return nullptr;
  }
  address.readerProgram = SMS_GPS_BINARY;
  return std::make_unique<GpsSource>(address, timing);
}

// Asks the source until `done` holds for its answer (with a limit of
// `maxAge` s on the fix's age) or `seconds` pass; returns the last answer.
GpsReading wait_for(const GpsSource& source, const std::function<bool(const GpsReading&)>& done,
                    double seconds = 5, double maxAge = 5) {
  double end = monotonic_seconds() + seconds;
  GpsReading reading = source.current(maxAge);
  while (!done(reading) && monotonic_seconds() < end) {
    sleep_milliseconds(20);
    reading = source.current(maxAge);
  }
  return reading;
}

std::string sentence(const std::string& body) {
  return format("$%s*%02X\r\n", body.c_str(), nmea_checksum(body));
}

TEST(GpsSourceNmea, FollowsAReceiverThroughNoFixSilenceAndUnplugging) {
  PortFolder ports;
  auto receiver = std::make_unique<PtyPeer>();
  ASSERT_TRUE(receiver->create()) << receiver->lastError;
  ASSERT_NE(receiver->link(ports.dir(), 7), "");
  auto source = make_source("nmea:COM7,9600", quick_timing());
  ASSERT_TRUE(source);
  source->start();

  // One epoch, its GGA cut in the middle of a write, some noise before.
  std::string rmc = sentence("GNRMC,120000.00,A,4530.1020,N,07334.0380,W,1.0,45.0,010524,,,A");
  std::string gga = sentence("GNGGA,120000.00,4530.1020,N,07334.0380,W,1,08,0.9,45.0,M,-32.0,M,,");
  ASSERT_TRUE(
      receiver->write("\x01noise\r\n" + sentence("GPGSV,1,1,00") + rmc + gga.substr(0, 30)));
  sleep_milliseconds(50);
  ASSERT_TRUE(receiver->write(gga.substr(30)));
  GpsReading reading =
      wait_for(*source, [](const GpsReading& r) { return r.ok && r.fix.hdop.has_value(); });
  ASSERT_TRUE(reading.ok) << reading.reason;
  EXPECT_EQ(format_lat_long(reading.fix), "45.501700;-73.567300");
  EXPECT_EQ(utc_time_text(reading.fix.time), "2024-05-01T12:00:00.000Z");
  EXPECT_EQ(reading.fix.ggaQuality, 1);

  // The receiver loses the sky.
  ASSERT_TRUE(receiver->write(sentence("GNRMC,120001.00,V,,,,,,,010524,,,N")));
  reading = wait_for(*source, [](const GpsReading& r) { return !r.ok; });
  EXPECT_EQ(reading.reason, "no fix");

  // Bytes stop: after the silence the port is opened again, and again.
  reading = wait_for(
      *source, [](const GpsReading& r) { return r.reason == "no data from nmea:COM7 for 1 s"; }, 5,
      1);
  EXPECT_EQ(reading.reason, "no data from nmea:COM7 for 1 s");

  // Unplugged: the line hangs up and the device is gone.
  receiver.reset();
  reading = wait_for(
      *source,
      [](const GpsReading& r) {
        return r.reason.rfind("nmea:COM7 not available: cannot open", 0) == 0;
      },
      5, 1);
  EXPECT_EQ(
      reading.reason.rfind("nmea:COM7 not available: cannot open " + ports.dir() + "/COM7: ", 0),
      0u)
      << reading.reason;

  // Plugged back in under the same name.
  receiver = std::make_unique<PtyPeer>();
  ASSERT_TRUE(receiver->create()) << receiver->lastError;
  ASSERT_NE(receiver->link(ports.dir(), 7), "");
  std::string later = sentence("GPGGA,120100,3351.9840,S,15112.5580,E,1,05,2.3,30.0,M,22.0,M,,");
  reading = wait_for(*source, [&](const GpsReading& r) {
    if (r.ok) return true;
    receiver->write(later);  // once a second, as a receiver does, until heard
    sleep_milliseconds(100);
    return false;
  });
  ASSERT_TRUE(reading.ok) << reading.reason;
  EXPECT_EQ(format_lat_long(reading.fix), "-33.866400;151.209300");
  source->stop();
}

TEST(GpsReaderProgram, EndsWithAReasonOrRefusesItsCommandLine) {
  PortFolder ports;  // COM9 not linked
  struct Row {
    std::vector<std::string> args;
    int exitCode;
    std::string out;  // the start of standard output
    std::string err;  // the start of standard error
  } rows[] = {
      {{"nmea:/nonexistent/gps0,9600"},
       1,
       R"({"class":"ERROR","message":"nmea:/nonexistent/gps0 not available: cannot open )"
       R"(/nonexistent/gps0: No such file or directory"})"
       "\n",
       ""},
      {{"nmea:COM9"},
       1,
       R"({"class":"ERROR","message":"nmea:COM9 not available: cannot open )" + ports.dir() +
           "/COM9: ",
       ""},
      {{"gpsd"}, 2, "", "sms_gps: reads nmea:PORT[,BAUD] sources only, not \"gpsd\"\n"},
      {{"nmea:3,fast"}, 2, "", "sms_gps: bad baud rate \"fast\"\n"},
      {{"--silence-ms", "5", "nmea:3"}, 2, "", "--silence-ms: Value 5 not in range"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> argv = {SMS_GPS_BINARY};
    argv.insert(argv.end(), row.args.begin(), row.args.end());
    SCOPED_TRACE(argv.back());
    ProcessResult result = run_process(argv, ports.dir(), {"SMS_TEST_PORTS=" + ports.dir()}, 10);
    EXPECT_EQ(result.exitCode, row.exitCode);
    EXPECT_EQ(result.out.substr(0, row.out.size()), row.out) << result.out;
    EXPECT_EQ(result.err.substr(0, row.err.size()), row.err) << result.err;
  }
}

TEST(GpsSourceNmea, AReaderThatCannotStartIsTheReason) {
  GpsSourceAddress address;
  std::string error;
  ASSERT_TRUE(parse_gps_source("nmea:COM7", &address, &error)) << error;
  address.readerProgram = "/nonexistent/sms_gps";
  GpsSource source(address, quick_timing());
  source.start();
  GpsReading reading =
      wait_for(source, [](const GpsReading& r) { return r.reason.rfind("waiting", 0) != 0; });
  EXPECT_EQ(reading.reason,
            "nmea:COM7 not available: cannot start /nonexistent/sms_gps: No such file or "
            "directory");
  source.stop();
}

}  // namespace
}  // namespace smstest
