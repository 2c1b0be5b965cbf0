// A simulated GPS receiver's route (modem_sim --gps NAME=ROUTE): the route
// file, where the receiver is at a moment of the drive, and the NMEA 0183
// sentences it sends once a second.  The stretches of the route without
// coverage act on the modems that ride along (modem option follows=NAME,
// network.h).  Pure code: no clock, no file descriptors.
//
// A route file, one item a line, '#' starting a comment:
//   SECONDS LAT LON       a point: route seconds (the first 0, then rising),
//                         decimal degrees, north and east positive
//   loop                  after the last point, start again at the first
//   speed FACTOR          route seconds per real second (default 1): 4
//                         drives a four-minute route in one minute
//   hole FROM TO fail     no coverage from route second FROM to TO: sends of
//                         the modems riding along are refused
//   hole FROM TO late=S   poor coverage: their messages arrive S s late
//   nofix FROM TO         the receiver sends sentences that say "no fix"
//   unplug FROM TO        the receiver is unplugged: its link goes away
//                         and comes back at TO
// Stretches are in route seconds, FROM included, TO not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace smstest {

struct RoutePoint {
  double at = 0;  // route seconds
  double latitude = 0;
  double longitude = 0;
};

struct RouteStretch {
  double from = 0;
  double to = 0;
  double late = 0;  // holes: 0 sends fail, else the extra delivery delay

  bool covers(double routeTime) const { return routeTime >= from && routeTime < to; }
};

struct GpsRoute {
  std::vector<RoutePoint> points;  // at least two
  bool loop = false;
  double speed = 1;
  std::vector<RouteStretch> holes;
  std::vector<RouteStretch> noFix;
  std::vector<RouteStretch> unplugged;

  // Route seconds of the last point.
  double length() const { return points.empty() ? 0 : points.back().at; }
  // The route time `elapsed` real seconds after the start: scaled by speed,
  // then wrapped (loop) or held at the last point.
  double route_time(double elapsed) const;
  // The hole at `routeTime`, or null.
  const RouteStretch* hole_at(double routeTime) const;
  bool no_fix_at(double routeTime) const;
  bool unplugged_at(double routeTime) const;
};

// Reads a route file's text; `origin` names it in errors.  False with
// "<origin>:<line>: <reason>" in `error`.
bool parse_gps_route(const std::string& text, const std::string& origin, GpsRoute* route,
                     std::string* error);

// Where the receiver is at `routeTime`: on the straight line between the
// two points around it.  Speed in metres per real second (the route's speed
// over ground times the speed factor), course in degrees from true north;
// both 0 at a standstill (after the last point of a route that does not
// loop).
struct RouteFix {
  double latitude = 0;
  double longitude = 0;
  double speed = 0;
  double course = 0;
};
RouteFix route_fix(const GpsRoute& route, double routeTime);

// One second's sentences, GGA then RMC (talker GP, each with its checksum
// and CR LF), for `fix` at UTC `calendarSeconds`; with `hasFix` false, the
// two say there is no fix (GGA quality 0, RMC status V) and carry no
// position.
std::string route_sentences(const RouteFix& fix, bool hasFix, int64_t calendarSeconds);

}  // namespace smstest
