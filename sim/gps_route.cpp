// Route files, positions along a route, and the NMEA sentences of a
// simulated receiver.
#include "sim/gps_route.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "common/text.h"
#include "gps/nmea.h"
#include "sim/modem.h"

namespace smstest {

namespace {

constexpr double kEarthRadius = 6371000.0;  // metres, mean
constexpr double kPi = 3.14159265358979323846;
constexpr double kKnot = 1852.0 / 3600.0;  // metres per second

double radians(double degrees) { return degrees * kPi / 180.0; }

bool number(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(*value);
}

// Great-circle distance in metres and initial course in degrees.
void distance_and_course(const RoutePoint& a, const RoutePoint& b, double* distance,
                         double* course) {
  double lat1 = radians(a.latitude), lat2 = radians(b.latitude);
  double dLat = lat2 - lat1, dLon = radians(b.longitude - a.longitude);
  double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
             std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
  *distance = 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(h)));
  double y = std::sin(dLon) * std::cos(lat2);
  double x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dLon);
  *course = std::fmod(std::atan2(y, x) * 180.0 / kPi + 360.0, 360.0);
}

// "ddmm.mmmm" / "dddmm.mmmm" and the hemisphere, rounded to 1/10000 minute.
std::string nmea_angle(double degrees, int degreeDigits, char positive, char negative) {
  long long total = std::llround(std::fabs(degrees) * 60.0 * 10000.0);
  long long whole = total / 600000;
  long long rest = total % 600000;
  return format("%0*lld%02lld.%04lld,%c", degreeDigits, whole, rest / 10000, rest % 10000,
                degrees < 0 ? negative : positive);
}

std::string sentence(const std::string& body) {
  return format("$%s*%02X\r\n", body.c_str(), nmea_checksum(body));
}

bool stretch(const std::vector<std::string>& words, RouteStretch* s, std::string* reason) {
  if (words.size() < 3 || !number(words[1], &s->from) || !number(words[2], &s->to) || s->from < 0 ||
      s->to <= s->from) {
    *reason = "expected \"" + words[0] + " FROM TO\" with 0 <= FROM < TO";
    return false;
  }
  return true;
}

}  // namespace

double GpsRoute::route_time(double elapsed) const {
  double t = std::max(0.0, elapsed) * speed;
  if (length() <= 0) return 0;
  if (loop) return std::fmod(t, length());
  return std::min(t, length());
}

const RouteStretch* GpsRoute::hole_at(double routeTime) const {
  for (const RouteStretch& hole : holes)
    if (hole.covers(routeTime)) return &hole;
  return nullptr;
}

bool GpsRoute::no_fix_at(double routeTime) const {
  for (const RouteStretch& s : noFix)
    if (s.covers(routeTime)) return true;
  return false;
}

bool GpsRoute::unplugged_at(double routeTime) const {
  for (const RouteStretch& s : unplugged)
    if (s.covers(routeTime)) return true;
  return false;
}

bool parse_gps_route(const std::string& text, const std::string& origin, GpsRoute* route,
                     std::string* error) {
  GpsRoute parsed;
  int lineNumber = 0;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    ++lineNumber;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::vector<std::string> words;
    std::istringstream split(line);
    for (std::string word; split >> word;) words.push_back(word);
    if (words.empty()) continue;
    std::string reason;
    const std::string& key = words[0];
    if (key == "loop" && words.size() == 1) {
      parsed.loop = true;
    } else if (key == "speed") {
      if (words.size() != 2 || !number(words[1], &parsed.speed) || parsed.speed <= 0 ||
          parsed.speed > 1000) {
        reason = "expected \"speed FACTOR\", FACTOR above 0 and at most 1000";
      }
    } else if (key == "hole") {
      RouteStretch hole;
      if (stretch(words, &hole, &reason)) {
        if (words.size() == 4 && words[3] == "fail") {
          parsed.holes.push_back(hole);
        } else if (words.size() == 4 && words[3].compare(0, 5, "late=") == 0 &&
                   number(words[3].substr(5), &hole.late) && hole.late > 0) {
          parsed.holes.push_back(hole);
        } else {
          reason = "expected \"hole FROM TO fail\" or \"hole FROM TO late=SECONDS\"";
        }
      }
    } else if (key == "nofix" || key == "unplug") {
      RouteStretch s;
      if (words.size() != 3) {
        reason = "expected \"" + key + " FROM TO\"";
      } else if (stretch(words, &s, &reason)) {
        (key == "nofix" ? parsed.noFix : parsed.unplugged).push_back(s);
      }
    } else {
      RoutePoint point;
      if (words.size() != 3 || !number(words[0], &point.at) || !number(words[1], &point.latitude) ||
          !number(words[2], &point.longitude)) {
        reason = "expected \"SECONDS LAT LON\", loop, speed, hole, nofix or unplug";
      } else if (std::fabs(point.latitude) > 90 || std::fabs(point.longitude) > 180) {
        reason = "a position out of range (latitude to 90, longitude to 180 degrees)";
      } else if (parsed.points.empty() ? point.at != 0 : point.at <= parsed.points.back().at) {
        reason = parsed.points.empty() ? "the first point must be at 0 seconds"
                                       : "points must come at rising seconds";
      } else {
        parsed.points.push_back(point);
      }
    }
    if (!reason.empty()) {
      *error = format("%s:%d: %s", origin.c_str(), lineNumber, reason.c_str());
      return false;
    }
  }
  if (parsed.points.size() < 2) {
    *error = origin + ": a route needs at least two points";
    return false;
  }
  *route = parsed;
  return true;
}

RouteFix route_fix(const GpsRoute& route, double routeTime) {
  RouteFix fix;
  const std::vector<RoutePoint>& p = route.points;
  size_t next = 1;
  while (next + 1 < p.size() && p[next].at <= routeTime) ++next;
  const RoutePoint& a = p[next - 1];
  const RoutePoint& b = p[next];
  double share = std::min(1.0, std::max(0.0, (routeTime - a.at) / (b.at - a.at)));
  fix.latitude = a.latitude + (b.latitude - a.latitude) * share;
  fix.longitude = a.longitude + (b.longitude - a.longitude) * share;
  double distance = 0;
  distance_and_course(a, b, &distance, &fix.course);
  bool standing = !route.loop && routeTime >= route.length();
  fix.speed = standing ? 0 : distance / (b.at - a.at) * route.speed;
  if (standing) fix.course = 0;
  return fix;
}

std::string route_sentences(const RouteFix& fix, bool hasFix, int64_t calendarSeconds) {
  CalendarTime t = calendar_time(calendarSeconds);
  std::string time = format("%02d%02d%02d.00", t.hour, t.minute, t.second);
  std::string date = format("%02d%02d%02d", t.day, t.month, t.year % 100);
  if (!hasFix) {
    return sentence("GPGGA," + time + ",,,,,0,00,99.99,,,,,,") +
           sentence("GPRMC," + time + ",V,,,,,,," + date + ",,,N");
  }
  std::string position =
      nmea_angle(fix.latitude, 2, 'N', 'S') + "," + nmea_angle(fix.longitude, 3, 'E', 'W');
  return sentence("GPGGA," + time + "," + position + ",1,08,0.9,45.0,M,-32.0,M,,") +
         sentence(format("GPRMC,%s,A,%s,%.2f,%.1f,%s,,,A", time.c_str(), position.c_str(),
                         fix.speed / kKnot, fix.course, date.c_str()));
}

}  // namespace smstest
