// GpsSource on real sources: the gpsd stand-in (a connection that closes and
// one that comes back), no gpsd at all, and a real gpsd fed by gpsfake (the
// NMEA source is tested with sms_gps, in tools/gps_reader).  These wait for
// real threads and sockets, polling the source's answer with a time limit.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "common/clock.h"
#include "common/text.h"
#include "gps/fake_gpsd_posix.h"
#include "gps/gps_source.h"
#include "gps/nmea.h"
#include "process/child_process.h"
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

bool has_fix(const GpsReading& reading) { return reading.ok; }

std::string tpv(double latitude, double longitude) {
  return format(R"({"class":"TPV","mode":3,"time":"2024-05-01T12:00:00.000Z","lat":%.6f,)"
                R"("lon":%.6f,"eph":5.5,"speed":1.5})"
                "\n",
                latitude, longitude);
}

TEST(GpsSourceGpsd, ReconnectsAfterGpsdGoesAway) {
  FakeGpsd gpsd;
  const char version[] = R"({"class":"VERSION","release":"3.22"})"
                         "\n";
  ASSERT_TRUE(gpsd.start({
      {FakeGpsd::send(version), FakeGpsd::expect("?WATCH="), FakeGpsd::send(tpv(45.5017, -73.5673)),
       FakeGpsd::pause(300), FakeGpsd::close()},
      {FakeGpsd::send(version), FakeGpsd::expect("?WATCH="), FakeGpsd::pause(300),
       FakeGpsd::send(tpv(-33.8664, 151.2093))},
  })) << gpsd.lastError;
  auto source = make_source(format("gpsd:127.0.0.1:%d", gpsd.port()), quick_timing());
  ASSERT_TRUE(source);
  source->start();

  GpsReading reading = wait_for(*source, has_fix);
  ASSERT_TRUE(reading.ok) << reading.reason;
  EXPECT_EQ(format_lat_long(reading.fix), "45.501700;-73.567300");
  EXPECT_EQ(source->state_text(5), "gps 45.501700;-73.567300 3D");
  // The second connection's first lines carry no fix: until its TPV, the
  // fix of the first stays the answer (it is recent).
  reading = wait_for(*source, [](const GpsReading& r) { return r.fix.latitude < 0; });
  ASSERT_TRUE(reading.ok) << reading.reason;
  EXPECT_EQ(format_lat_long(reading.fix), "-33.866400;151.209300");
  EXPECT_EQ(gpsd.accepted(), 2);
  EXPECT_EQ(gpsd.errors(), "");
  // The fix ages; a limit below its age refuses it.
  sleep_milliseconds(300);
  reading = source->current(0.1);
  EXPECT_FALSE(reading.ok);
  EXPECT_EQ(reading.reason, "fix older than 1 s");
  EXPECT_GE(reading.ageSeconds, 0.3);
}

TEST(GpsSourceGpsd, NoGpsdIsAReasonAndStopIsPrompt) {
  int port = 0;
  {
    FakeGpsd gone;
    ASSERT_TRUE(gone.start({}));
    port = gone.port();
  }
  auto source = make_source(format("gpsd:127.0.0.1:%d", port), quick_timing());
  ASSERT_TRUE(source);
  EXPECT_EQ(source->current(5).reason, format("waiting for gpsd:127.0.0.1:%d", port));
  source->start();
  std::string expected = format(
      "gpsd not reachable: cannot connect to 127.0.0.1:%d: "
      "Connection refused",
      port);
  GpsReading reading = wait_for(*source, [&](const GpsReading& r) { return r.reason == expected; });
  EXPECT_EQ(reading.reason, expected);
  EXPECT_EQ(source->state_text(5), "gps: " + expected);
  double before = monotonic_seconds();
  source->stop();
  EXPECT_LT(monotonic_seconds() - before, 1.0);
}

TEST(GpsSourceGpsd, DropsAConnectionThatClosesAndSaysSo) {
  FakeGpsd gpsd;
  ASSERT_TRUE(gpsd.start({{FakeGpsd::expect("?WATCH="), FakeGpsd::close()}}));
  GpsSourceTiming timing = quick_timing();
  timing.firstRetryMs = timing.maxRetryMs = 2000;  // stays down while the test looks
  auto source = make_source(format("gpsd:127.0.0.1:%d", gpsd.port()), timing);
  source->start();
  GpsReading reading = wait_for(
      *source, [](const GpsReading& r) { return r.reason.rfind("gpsd connection lost", 0) == 0; });
  EXPECT_EQ(reading.reason, "gpsd connection lost: connection closed by gpsd");
}

// ---- gpsd itself, fed by gpsfake -------------------------------------------------

std::string find_program(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = std::string(path != nullptr ? path : "") + ":/usr/sbin:/usr/bin";
  for (const std::string& dir : split(dirs, ':')) {
    std::string candidate = dir + "/" + name;
    struct stat info;
    if (!dir.empty() && stat(candidate.c_str(), &info) == 0 && (info.st_mode & S_IXUSR)) {
      return candidate;
    }
  }
  return "";
}

std::string sentence(const std::string& body) {
  return format("$%s*%02X\r\n", body.c_str(), nmea_checksum(body));
}

TEST(GpsSourceGpsd, ReadsTheFixesOfARealGpsdFedByGpsfake) {
  std::string gpsfake = find_program("gpsfake");
  if (gpsfake.empty() || find_program("gpsd").empty()) {
    GTEST_SKIP() << "gpsfake or gpsd not installed (Debian packages gpsd, gpsd-clients)";
  }
  std::string dir = make_temp_dir("gpsfake");
  std::string log;
  for (int second = 0; second < 30; ++second) {
    std::string time = format("1234%02d.00", second);
    log += sentence("GPRMC," + time + ",A,4530.1020,N,07334.0380,W,10.0,45.0,010524,,,A");
    log += sentence("GPGGA," + time + ",4530.1020,N,07334.0380,W,1,08,0.9,45.0,M,-32.0,M,,");
    log += sentence("GPGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1");
  }
  ASSERT_TRUE(write_file(dir + "/drive.nmea", log));
  int port = 0;
  {
    FakeGpsd probe;  // a free port for gpsd, released at once
    ASSERT_TRUE(probe.start({}));
    port = probe.port();
  }
  ChildGroup children;
  ChildCommand command;
  command.argv = {gpsfake, "-q", "-1", "-c", "0.1", "-P", std::to_string(port), "drive.nmea"};
  command.cwd = dir;
  command.stdoutPath = dir + "/gpsfake.out";
  command.stderrPath = dir + "/gpsfake.err";
  ASSERT_TRUE(children.start(command)) << children.lastError;

  GpsSourceTiming timing = quick_timing();
  timing.silenceMs = 10000;
  auto source = make_source(format("gpsd:127.0.0.1:%d", port), timing);
  source->start();
  GpsReading reading = wait_for(
      *source,
      [](const GpsReading& r) {
        // gpsd's first reports of a receiver are partial (2D before the
        // GSA, no error estimate yet); wait for a whole one.
        return r.ok && r.fix.mode == FixMode::k3D && r.fix.speed && r.fix.horizontalError &&
               r.fix.time.hasDate;
      },
      30);
  source->stop();
  children.terminate_all();
  children.wait_all(10);
  std::string err = read_file(dir + "/gpsfake.err");
  ASSERT_TRUE(reading.ok) << reading.reason << "\ngpsfake: " << err;
  EXPECT_EQ(format_lat_long(reading.fix), "45.501700;-73.567300");
  EXPECT_EQ(reading.fix.mode, FixMode::k3D);
  EXPECT_NEAR(*reading.fix.speed, 10.0 * 1852 / 3600, 0.001);
  EXPECT_TRUE(reading.fix.horizontalError);
  EXPECT_EQ(utc_time_text(reading.fix.time).substr(0, 17), "2024-05-01T12:34:");
}

}  // namespace
}  // namespace smstest
