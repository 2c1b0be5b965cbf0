// gpsd's JSON lines: TPV reports of every mode, the other classes, and what
// is not gpsd at all.  The TPV lines are as gpsd 3.22 writes them.
#include <gtest/gtest.h>

#include <cmath>

#include "gps/gpsd_client.h"

namespace smstest {
namespace {

constexpr double kUnknown = -1;

struct TpvRow {
  const char* line;
  FixMode mode;
  double latitude;
  double longitude;
  const char* time;
  double error;  // horizontal, metres
  double speed;
};

const TpvRow kTpv[] = {
    {R"({"class":"TPV","device":"/dev/pts/1","mode":3,"time":"2024-05-01T12:34:02.000Z",)"
     R"("ept":0.005,"lat":45.501700000,"lon":-73.567300000,"altHAE":13.0000,"epv":48.300,)"
     R"("track":45.0000,"speed":5.144,"geoidSep":-32.000,"eph":24.700,"sep":47.500})",
     FixMode::k3D, 45.5017, -73.5673, "2024-05-01T12:34:02.000Z", 24.7, 5.144},
    // No time yet, no speed: both unknown.
    {R"({"class":"TPV","device":"/dev/pts/1","mode":3,"lat":45.5017,"lon":-73.5673,"eph":17.1})",
     FixMode::k3D, 45.5017, -73.5673, "", 17.1, kUnknown},
    // A 2D fix in the southern and western hemispheres; epx and epy only.
    {R"({"class":"TPV","mode":2,"time":"2023-06-15T10:10:10.5Z","lat":-22.9066,"lon":-43.175,)"
     R"("epx":3.0,"epy":4.0,"speed":0})",
     FixMode::k2D, -22.9066, -43.175, "2023-06-15T10:10:10.500Z", 5.0, 0},
    // One of epx, epy is not enough for an error.
    {R"({"class":"TPV","mode":2,"lat":1.5,"lon":2.5,"epx":3.0})", FixMode::k2D, 1.5, 2.5, "",
     kUnknown, kUnknown},
    // Older gpsd: the time in seconds since 1970.
    {R"({"class":"TPV","tag":"RMC","mode":3,"time":1118327688.280,"lat":46.498,"lon":7.568})",
     FixMode::k3D, 46.498, 7.568, "2005-06-09T14:34:48.280Z", kUnknown, kUnknown},
    // No fix: mode 1 or 0, or a fix without a position.
    {R"({"class":"TPV","device":"/dev/ttyUSB0","mode":1,"time":"2024-05-01T00:00:00.000Z"})",
     FixMode::kNone, 0, 0, "2024-05-01T00:00:00.000Z", kUnknown, kUnknown},
    {R"({"class":"TPV","mode":0})", FixMode::kNone, 0, 0, "", kUnknown, kUnknown},
    {R"({"class":"TPV","mode":3,"lat":45.5})", FixMode::kNone, 0, 0, "", kUnknown, kUnknown},
    {R"({"class":"TPV","mode":3,"lat":"45.5","lon":"-73.5"})", FixMode::kNone, 0, 0, "", kUnknown,
     kUnknown},
    {R"({"class":"TPV","mode":3,"lat":95,"lon":10})", FixMode::kNone, 0, 0, "", kUnknown, kUnknown},
    // A time that is not ISO 8601 is unknown, the rest still counts.
    {R"({"class":"TPV","mode":3,"time":"yesterday","lat":1,"lon":2,"speed":"fast"})", FixMode::k3D,
     1, 2, "", kUnknown, kUnknown},
};

TEST(GpsdLine, ReadsTpvReports) {
  for (const TpvRow& row : kTpv) {
    SCOPED_TRACE(row.line);
    GpsdMessage message;
    std::string error;
    ASSERT_TRUE(parse_gpsd_line(row.line, &message, &error)) << error;
    EXPECT_EQ(message.kind, "TPV");
    const GpsFix& fix = message.fix;
    EXPECT_EQ(fix.mode, row.mode);
    if (row.mode != FixMode::kNone) {
      EXPECT_DOUBLE_EQ(fix.latitude, row.latitude);
      EXPECT_DOUBLE_EQ(fix.longitude, row.longitude);
    }
    EXPECT_EQ(utc_time_text(fix.time), row.time);
    ASSERT_EQ(fix.horizontalError.has_value(), row.error != kUnknown);
    if (fix.horizontalError) {
      EXPECT_NEAR(*fix.horizontalError, row.error, 1e-9);
    }
    ASSERT_EQ(fix.speed.has_value(), row.speed != kUnknown);
    if (fix.speed) {
      EXPECT_DOUBLE_EQ(*fix.speed, row.speed);
    }
    EXPECT_FALSE(fix.hdop);
    EXPECT_EQ(fix.ggaQuality, -1);
  }
}

TEST(GpsdLine, ReadsTheOtherClassesItNeeds) {
  struct Row {
    const char* line;
    const char* kind;
    const char* release;
    int devices;
    const char* message;
  } rows[] = {
      {R"({"class":"VERSION","release":"3.22","rev":"3.22","proto_major":3,"proto_minor":14})",
       "VERSION", "3.22", -1, ""},
      {R"({"class":"DEVICES","devices":[]})", "DEVICES", "", 0, ""},
      {R"({"class":"DEVICES","devices":[{"class":"DEVICE","path":"/dev/pts/1"},)"
       R"({"class":"DEVICE","path":"/dev/ttyUSB0"}]})",
       "DEVICES", "", 2, ""},
      {R"({"class":"DEVICE","path":"/dev/pts/1","activated":"2026-12-09T11:59:23.337Z"})", "DEVICE",
       "", 1, ""},
      {R"({"class":"DEVICE","path":"/dev/pts/1","activated":0})", "DEVICE", "", 0, ""},
      {R"({"class":"DEVICE","path":"/dev/pts/1","driver":"NMEA0183"})", "DEVICE", "", -1, ""},
      {R"({"class":"WATCH","enable":true,"json":true,"nmea":false})", "WATCH", "", -1, ""},
      {R"({"class":"SKY","satellites":[{"PRN":4,"used":true}]})", "SKY", "", -1, ""},
      {R"({"class":"ERROR","message":"Unrecognized request '?WATHC'"})", "ERROR", "", -1,
       "Unrecognized request '?WATHC'"},
      {R"({"class":"NEWCLASS","anything":[1,2,{"x":null}]})", "NEWCLASS", "", -1, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    GpsdMessage message;
    std::string error;
    ASSERT_TRUE(parse_gpsd_line(row.line, &message, &error)) << error;
    EXPECT_EQ(message.kind, row.kind);
    EXPECT_EQ(message.release, row.release);
    EXPECT_EQ(message.devices, row.devices);
    EXPECT_EQ(message.message, row.message);
    EXPECT_FALSE(message.fix.has_position());
  }
}

TEST(GpsdLine, RefusesWhatIsNotAGpsdObject) {
  const char* lines[] = {
      "",
      "hello",
      R"({"class":"TPV","mode":3,"lat":45.5)",  // cut short
      R"(["TPV"])",
      R"("TPV")",
      R"({"mode":3,"lat":45.5,"lon":-73.5})",  // no class
      R"({"class":3})",
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    GpsdMessage message;
    std::string error;
    EXPECT_FALSE(parse_gpsd_line(line, &message, &error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace smstest
