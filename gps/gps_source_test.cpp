// The texts that name a GPS source, and the judgement of the latest fix at
// a given time: pure logic, no source opened.
#include "gps/gps_source.h"

#include <gtest/gtest.h>

namespace smstest {
namespace {

TEST(GpsSourceText, ReadsGpsdAndNmeaForms) {
  struct Row {
    const char* text;
    GpsSourceAddress::Kind kind;
    const char* host;
    int port;
    int comPort;         // nmea: the COM number, 0 for a path
    const char* device;  // nmea path when comPort is 0
    int baudRate;
    const char* name;
  } rows[] = {
      {"gpsd", GpsSourceAddress::Kind::kGpsd, "localhost", 2947, 0, "", 4800,
       "gpsd:localhost:2947"},
      {"gpsd:10.0.0.7:3000", GpsSourceAddress::Kind::kGpsd, "10.0.0.7", 3000, 0, "", 4800,
       "gpsd:10.0.0.7:3000"},
      {"gpsd:probe.local", GpsSourceAddress::Kind::kGpsd, "probe.local", 2947, 0, "", 4800,
       "gpsd:probe.local:2947"},
      {"gpsd:[::1]:2948", GpsSourceAddress::Kind::kGpsd, "::1", 2948, 0, "", 4800,
       "gpsd:[::1]:2948"},
      {"gpsd:[fe80::1]", GpsSourceAddress::Kind::kGpsd, "fe80::1", 2947, 0, "", 4800,
       "gpsd:[fe80::1]:2947"},
      {"nmea:3", GpsSourceAddress::Kind::kNmea, "localhost", 2947, 3, "", 4800, "nmea:COM3"},
      {"nmea:COM12,9600", GpsSourceAddress::Kind::kNmea, "localhost", 2947, 12, "", 9600,
       "nmea:COM12"},
      {"nmea:com4,115200", GpsSourceAddress::Kind::kNmea, "localhost", 2947, 4, "", 115200,
       "nmea:COM4"},
      {"nmea:/dev/ttyACM0,38400", GpsSourceAddress::Kind::kNmea, "localhost", 2947, 0,
       "/dev/ttyACM0", 38400, "nmea:/dev/ttyACM0"},
      {"nmea:/dev/gps0", GpsSourceAddress::Kind::kNmea, "localhost", 2947, 0, "/dev/gps0", 4800,
       "nmea:/dev/gps0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    GpsSourceAddress address;
    std::string error;
    ASSERT_TRUE(parse_gps_source(row.text, &address, &error)) << error;
    EXPECT_EQ(address.kind, row.kind);
    EXPECT_EQ(address.name, row.name);
    if (row.kind == GpsSourceAddress::Kind::kGpsd) {
      EXPECT_EQ(address.host, row.host);
      EXPECT_EQ(address.port, row.port);
    } else {
      EXPECT_EQ(address.comPort, row.comPort);
      EXPECT_EQ(address.device, row.device);
      EXPECT_EQ(address.baudRate, row.baudRate);
      EXPECT_EQ(nmea_source_text(address),
                std::string(row.name) + "," + std::to_string(row.baudRate));
    }
  }
}

TEST(GpsSourceText, RefusesOtherTextsWithAReason) {
  struct Row {
    const char* text;
    const char* error;
  } rows[] = {
      {"", "unknown GPS source \"\" (gpsd, gpsd:HOST:PORT or nmea:PORT[,BAUD])"},
      {"GPSD", "unknown GPS source \"GPSD\" (gpsd, gpsd:HOST:PORT or nmea:PORT[,BAUD])"},
      {"gps:localhost",
       "unknown GPS source \"gps:localhost\" (gpsd, gpsd:HOST:PORT or "
       "nmea:PORT[,BAUD])"},
      {"gpsd:", "gpsd host missing in \"gpsd:\""},
      {"gpsd::2947", "gpsd host missing in \"gpsd::2947\""},
      {"gpsd:host:0", "bad gpsd port \"0\" (1 to 65535)"},
      {"gpsd:host:65536", "bad gpsd port \"65536\" (1 to 65535)"},
      {"gpsd:host:29x7", "bad gpsd port \"29x7\" (1 to 65535)"},
      {"gpsd:host:", "bad gpsd port \"\" (1 to 65535)"},
      {"gpsd:[::1]:", "bad gpsd port \"\" (1 to 65535)"},
      {"gpsd:[::1", "bad gpsd address \"[::1\": [IPv6]:PORT expected"},
      {"gpsd:[::1]2947", "bad gpsd address \"[::1]2947\": [IPv6]:PORT expected"},
      {"nmea:", "serial port missing in \"nmea:\""},
      {"nmea:,9600", "serial port missing in \"nmea:,9600\""},
      {"nmea:3,", "bad baud rate \"\""},
      {"nmea:3,fast", "bad baud rate \"fast\""},
      {"nmea:3,0", "bad baud rate \"0\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    GpsSourceAddress address;
    std::string error;
    EXPECT_FALSE(parse_gps_source(row.text, &address, &error));
    EXPECT_EQ(error, row.error);
  }
}

GpsSnapshot snapshot_with(GpsSnapshot::Link link, bool anyFix, bool position, double arrivedAt) {
  GpsSnapshot snapshot;
  snapshot.link = link;
  snapshot.anyFix = anyFix;
  snapshot.arrivedAt = arrivedAt;
  if (position) {
    snapshot.fix.mode = FixMode::k3D;
    snapshot.fix.latitude = 45.5017;
    snapshot.fix.longitude = -73.5673;
  }
  return snapshot;
}

TEST(GpsJudgement, FreshFixOrTheReasonWhyNot) {
  using Link = GpsSnapshot::Link;
  const std::string name = "gpsd:localhost:2947";
  struct Row {
    const char* what;
    GpsSnapshot snapshot;
    double now;
    bool ok;
    const char* reason;
    double age;
  } rows[] = {
      {"fresh fix", snapshot_with(Link::kUp, true, true, 100), 102, true, "", 2},
      {"exactly at the limit", snapshot_with(Link::kUp, true, true, 100), 105, true, "", 5},
      {"a fix just arrived on a link that broke since", snapshot_with(Link::kDown, true, true, 100),
       101, true, "", 1},
      {"too old", snapshot_with(Link::kUp, true, true, 100), 105.5, false, "fix older than 5 s",
       5.5},
      {"fresh report without a position", snapshot_with(Link::kUp, true, false, 100), 101, false,
       "no fix", 1},
      {"fresh report without a position, link down since",
       snapshot_with(Link::kDown, true, false, 100), 101, false, "no fix", 1},
      {"old fix, link down", snapshot_with(Link::kDown, true, true, 100), 110, false,
       "gpsd not reachable: cannot connect to localhost:2947: Connection refused", 10},
      {"nothing yet, link down", snapshot_with(Link::kDown, false, false, 0), 110, false,
       "gpsd not reachable: cannot connect to localhost:2947: Connection refused", -1},
      {"nothing yet, first try running", snapshot_with(Link::kStarting, false, false, 0), 1, false,
       "waiting for gpsd:localhost:2947", -1},
      {"connected, nothing", snapshot_with(Link::kUp, false, false, 0), 50, false,
       "no data from gpsd:localhost:2947", -1},
      {"connected, old report without a position", snapshot_with(Link::kUp, true, false, 10), 50,
       false, "no data from gpsd:localhost:2947", 40},
      {"clock read before the arrival", snapshot_with(Link::kUp, true, true, 100), 99.9, true, "",
       0},
  };
  for (auto& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.snapshot.link == Link::kDown) {
      row.snapshot.linkProblem =
          "gpsd not reachable: cannot connect to localhost:2947: Connection refused";
    }
    GpsReading reading = judge_gps_snapshot(row.snapshot, name, row.now, 5);
    EXPECT_EQ(reading.ok, row.ok);
    EXPECT_EQ(reading.reason, row.reason);
    EXPECT_DOUBLE_EQ(reading.ageSeconds, row.age);
    EXPECT_EQ(reading.fix.has_position(), row.snapshot.fix.has_position());
  }
}

TEST(GpsJudgement, NoDataCarriesTheFeedsNote) {
  GpsSnapshot snapshot;
  snapshot.link = GpsSnapshot::Link::kUp;
  snapshot.note = "gpsd has no GPS device";
  EXPECT_EQ(judge_gps_snapshot(snapshot, "gpsd:h:1", 10, 5).reason,
            "no data from gpsd:h:1: gpsd has no GPS device");
  // A limit with a fraction is written rounded up.
  GpsSnapshot old = snapshot_with(GpsSnapshot::Link::kUp, true, true, 0);
  EXPECT_EQ(judge_gps_snapshot(old, "x", 10, 2.5).reason, "fix older than 3 s");
}

}  // namespace
}  // namespace smstest
