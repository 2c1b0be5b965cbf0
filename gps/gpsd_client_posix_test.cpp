// The gpsd client over real loopback connections, against the gpsd
// stand-in: the watch command, lines split across writes, what is not JSON,
// a gpsd without a receiver, a connection closed, a port with no gpsd.
#include <gtest/gtest.h>

#include "gps/fake_gpsd_posix.h"
#include "gps/gpsd_client.h"

namespace smstest {
namespace {

const char kVersion[] =
    R"({"class":"VERSION","release":"3.22","rev":"3.22","proto_major":3,"proto_minor":14})"
    "\n";
const char kDevices[] =
    R"({"class":"DEVICES","devices":[{"class":"DEVICE","path":"/dev/ttyUSB0"}]})"
    "\n";
const char kWatch[] = R"({"class":"WATCH","enable":true,"json":true,"nmea":false})"
                      "\n";
const char kTpv[] =
    R"({"class":"TPV","device":"/dev/ttyUSB0","mode":3,"time":"2024-05-01T12:34:02.000Z",)"
    R"("lat":45.501700000,"lon":-73.567300000,"speed":5.144,"eph":24.700})"
    "\n";

using Gpsd = FakeGpsd;

TEST(GpsdClient, WatchesAndReadsTpvSplitAcrossWrites) {
  std::string tpv = kTpv;
  Gpsd gpsd;
  ASSERT_TRUE(gpsd.start({{
      Gpsd::send(kVersion),
      Gpsd::expect("?WATCH={\"enable\":true,\"json\":true};"),
      // The devices line in two writes, the watch line and half a TPV in
      // one, then the rest of the TPV byte by byte with its CR LF.
      Gpsd::send(std::string(kDevices).substr(0, 20)),
      Gpsd::pause(30),
      Gpsd::send(std::string(kDevices).substr(20) + kWatch + tpv.substr(0, 40)),
      Gpsd::pause(30),
      Gpsd::send(tpv.substr(40, 1)),
      Gpsd::pause(10),
      Gpsd::send(tpv.substr(41, tpv.size() - 42)),
      Gpsd::send("\r\n"),
      // Noise, then no fix, then gone.
      Gpsd::send("garbage that is not JSON\n{\"class\":\"SKY\"}\n"),
      Gpsd::send(R"({"class":"TPV","mode":1})"
                 "\n"),
      Gpsd::close(),
  }})) << gpsd.lastError;

  GpsdClient client(make_tcp_socket());
  ASSERT_TRUE(client.connect("127.0.0.1", gpsd.port(), 2000)) << client.lastError;
  GpsFix fix;
  ASSERT_EQ(client.read(&fix, 3000), GpsdRead::kFix) << client.lastError;
  EXPECT_EQ(fix.mode, FixMode::k3D);
  EXPECT_EQ(format_lat_long(fix), "45.501700;-73.567300");
  EXPECT_EQ(utc_time_text(fix.time), "2024-05-01T12:34:02.000Z");
  ASSERT_TRUE(fix.horizontalError && fix.speed);
  EXPECT_DOUBLE_EQ(*fix.horizontalError, 24.7);
  EXPECT_DOUBLE_EQ(*fix.speed, 5.144);
  EXPECT_EQ(client.release(), "3.22");
  EXPECT_TRUE(client.has_device());

  ASSERT_EQ(client.read(&fix, 3000), GpsdRead::kFix) << client.lastError;
  EXPECT_EQ(fix.mode, FixMode::kNone);
  EXPECT_EQ(client.bad_lines(), 1);

  EXPECT_EQ(client.read(&fix, 3000), GpsdRead::kLost);
  EXPECT_EQ(client.lastError, "connection closed by gpsd");
  EXPECT_EQ(gpsd.errors(), "");
  EXPECT_EQ(gpsd.received()[0], "?WATCH={\"enable\":true,\"json\":true};\n");
}

TEST(GpsdClient, QuietGpsdIsNothingWithinTheWait) {
  Gpsd gpsd;
  ASSERT_TRUE(gpsd.start({{Gpsd::send(kVersion), Gpsd::send(R"({"class":"DEVICES","devices":[]})"
                                                            "\n")}}));
  GpsdClient client(make_tcp_socket());
  ASSERT_TRUE(client.connect("127.0.0.1", gpsd.port(), 2000)) << client.lastError;
  GpsFix fix;
  EXPECT_EQ(client.read(&fix, 300), GpsdRead::kNothing);
  EXPECT_FALSE(client.has_device());
  EXPECT_EQ(client.release(), "3.22");
}

TEST(GpsdClient, NoGpsdOnThePortIsRefused) {
  int port = 0;
  {
    Gpsd gone;  // a port that was free a moment ago, no longer listened on
    ASSERT_TRUE(gone.start({}));
    port = gone.port();
  }
  GpsdClient client(make_tcp_socket());
  EXPECT_FALSE(client.connect("127.0.0.1", port, 2000));
  EXPECT_EQ(client.lastError,
            "cannot connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused");
  GpsFix fix;
  EXPECT_EQ(client.read(&fix, 10), GpsdRead::kLost);
}

TEST(GpsdClient, UnknownHostIsNamed) {
  GpsdClient client(make_tcp_socket());
  EXPECT_FALSE(client.connect("no-such-host.invalid", 2947, 2000));
  EXPECT_EQ(client.lastError.rfind("cannot resolve no-such-host.invalid: ", 0), 0u)
      << client.lastError;
}

}  // namespace
}  // namespace smstest
