// Routes of the simulated GPS receiver: the file read or refused with its
// line, the position and time along a route (speed factor, loop, the end),
// and sentences that the project's own NMEA parser reads back as the
// route's position.
#include "sim/gps_route.h"

#include <gtest/gtest.h>

#include "gps/nmea.h"

namespace smstest {
namespace {

const char kRoute[] = R"(# north-east, then east
speed 4
0    45.500000 -73.600000
100  45.510000 -73.590000   # a point with a comment
200  45.510000 -73.570000
hole 120 150 fail
hole 150 160 late=20
nofix 170 175
unplug 180 190
)";

GpsRoute route_of(const std::string& text) {
  GpsRoute route;
  std::string error;
  EXPECT_TRUE(parse_gps_route(text, "route.txt", &route, &error)) << error;
  return route;
}

TEST(GpsRoute, ReadsTheFile) {
  GpsRoute route = route_of(kRoute);
  ASSERT_EQ(route.points.size(), 3u);
  EXPECT_EQ(route.points[2].longitude, -73.57);
  EXPECT_EQ(route.speed, 4);
  EXPECT_FALSE(route.loop);
  EXPECT_EQ(route.length(), 200);
  struct Row {
    double routeTime;
    bool hole;
    double late;
    bool noFix;
    bool unplugged;
  } rows[] = {
      {119.9, false, 0, false, false}, {120, true, 0, false, false},
      {149.9, true, 0, false, false},  {150, true, 20, false, false},
      {160, false, 0, false, false},   {172, false, 0, true, false},
      {175, false, 0, false, false},   {180, false, 0, false, true},
      {190, false, 0, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.routeTime);
    const RouteStretch* hole = route.hole_at(row.routeTime);
    EXPECT_EQ(hole != nullptr, row.hole);
    if (hole != nullptr) {
      EXPECT_EQ(hole->late, row.late);
    }
    EXPECT_EQ(route.no_fix_at(row.routeTime), row.noFix);
    EXPECT_EQ(route.unplugged_at(row.routeTime), row.unplugged);
  }
}

TEST(GpsRoute, RefusesBadLinesWithTheirNumber) {
  struct Row {
    const char* text;
    const char* error;
  } rows[] = {
      {"0 1 2\n", "route.txt: a route needs at least two points"},
      {"5 1 2\n10 1 2\n", "route.txt:1: the first point must be at 0 seconds"},
      {"0 1 2\n10 1 2\n10 1 3\n", "route.txt:3: points must come at rising seconds"},
      {"0 1 2\n10 91 2\n",
       "route.txt:2: a position out of range (latitude to 90, longitude to 180 degrees)"},
      {"0 1 2\n10 1 2x\n",
       "route.txt:2: expected \"SECONDS LAT LON\", loop, speed, hole, nofix or unplug"},
      {"0 1 2\nloops\n",
       "route.txt:2: expected \"SECONDS LAT LON\", loop, speed, hole, nofix or unplug"},
      {"speed 0\n", "route.txt:1: expected \"speed FACTOR\", FACTOR above 0 and at most 1000"},
      {"hole 10 5 fail\n", "route.txt:1: expected \"hole FROM TO\" with 0 <= FROM < TO"},
      {"hole 10 20\n",
       "route.txt:1: expected \"hole FROM TO fail\" or \"hole FROM TO late=SECONDS\""},
      {"hole 10 20 late=0\n",
       "route.txt:1: expected \"hole FROM TO fail\" or \"hole FROM TO late=SECONDS\""},
      {"nofix 10\n", "route.txt:1: expected \"nofix FROM TO\""},
      {"unplug 10 20 30\n", "route.txt:1: expected \"unplug FROM TO\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    GpsRoute route;
    std::string error;
    EXPECT_FALSE(parse_gps_route(row.text, "route.txt", &route, &error));
    EXPECT_EQ(error, row.error);
  }
}

TEST(GpsRoute, TimeRunsAtTheSpeedFactorAndLoopsOrStops) {
  GpsRoute route = route_of(kRoute);
  EXPECT_EQ(route.route_time(10), 40);
  EXPECT_EQ(route.route_time(50), 200);
  EXPECT_EQ(route.route_time(70), 200);  // stays at the end
  route.loop = true;
  EXPECT_EQ(route.route_time(55), 20);  // a second lap
  EXPECT_EQ(route.route_time(-1), 0);
}

TEST(GpsRoute, SentencesReadBackAsThePositionAlongTheRoute) {
  GpsRoute route = route_of(kRoute);
  // 2024-05-01T12:34:56Z
  const int64_t when = 1714566896;
  struct Row {
    double routeTime;
    bool hasFix;
    double latitude, longitude;
    double speed;  // m/s as the receiver reports it (route speed x 4)
  } rows[] = {
      {0, true, 45.5, -73.6, 4 * 1357.847 / 100},
      {50, true, 45.505, -73.595, 4 * 1357.847 / 100},
      {150, true, 45.51, -73.58, 4 * 1558.474 / 100},
      {200, true, 45.51, -73.57, 0},  // the end of a route that does not loop
      {172, false, 0, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.routeTime);
    std::string text = route_sentences(route_fix(route, row.routeTime), row.hasFix, when);
    NmeaAssembler assembler;
    size_t start = 0;
    int sentences = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      EXPECT_EQ(assembler.add_line(text.substr(start, end - start)), NmeaResult::kOk)
          << assembler.lastError;
      ++sentences;
    }
    EXPECT_EQ(start, text.size());
    EXPECT_EQ(sentences, 2);
    const GpsFix& fix = assembler.fix();
    EXPECT_EQ(utc_time_text(fix.time), "2024-05-01T12:34:56.000Z");
    EXPECT_EQ(fix.has_position(), row.hasFix);
    if (!row.hasFix) continue;
    EXPECT_NEAR(fix.latitude, row.latitude, 1e-6);
    EXPECT_NEAR(fix.longitude, row.longitude, 1e-6);
    ASSERT_TRUE(fix.speed);
    // Knots with two decimals on the line: within 0.005 knot.
    EXPECT_NEAR(*fix.speed, row.speed, 0.01);
  }
}

}  // namespace
}  // namespace smstest
