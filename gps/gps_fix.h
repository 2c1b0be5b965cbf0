// The position record of the GPS layer: one fix as a receiver or gpsd gave
// it, whichever way it came (NMEA sentences, gpsd's JSON), and its texts.
//
// Everything a source may leave out is marked as unknown rather than given a
// made-up value: the date (a GGA sentence has only the time of day), the
// horizontal error (NMEA gives only HDOP, a ratio with no unit), the speed
// (GGA has none).  format_lat_long() writes the position the way the report
// reads a run's `latLong` (tools/report/position.h).
#pragma once

#include <optional>
#include <string>

namespace smstest {

// How good a fix is.  NMEA's GGA and RMC say only whether there is a fix
// (kFix); gpsd says whether it is 2D or 3D.
enum class FixMode {
  kNone,  // no position
  kFix,   // a position, dimension not reported
  k2D,
  k3D,
};

// A UTC time of day, and its date when the source gave one.
struct FixTime {
  bool hasTime = false;
  int hour = 0;
  int minute = 0;
  double second = 0;  // 0 to below 61 (a leap second)
  bool hasDate = false;
  int year = 0;  // four digits
  int month = 0;
  int day = 0;
};

struct GpsFix {
  FixMode mode = FixMode::kNone;
  // A GGA sentence's fix quality (0 no fix, 1 GPS, 2 DGPS, 3 PPS, 4 RTK,
  // 5 float RTK, 6 estimated, 7 manual, 8 simulation); -1 when none came.
  int ggaQuality = -1;
  FixTime time;
  // Degrees, north and east positive; meaningful when has_position().
  double latitude = 0;
  double longitude = 0;
  // Horizontal error in metres (gpsd's estimate), unknown from NMEA.
  std::optional<double> horizontalError;
  // Horizontal dilution of precision (GGA), a ratio without unit.
  std::optional<double> hdop;
  // Speed over ground in metres per second.
  std::optional<double> speed;

  bool has_position() const { return mode != FixMode::kNone; }
};

// "none", "fix", "2D" or "3D".
const char* fix_mode_text(FixMode mode);

// The GGA quality's name ("GPS", "DGPS", "RTK", ...), "" for -1, "quality N"
// for a number outside the table.
std::string gga_quality_text(int quality);

// "2024-05-01T12:34:56.000Z" with a date, "12:34:56.000Z" without one, ""
// when the time is unknown.  Always with a '.' decimal point, whatever the
// locale.
std::string utc_time_text(const FixTime& time);

// The position as two signed decimal degrees with six decimals (about 0.1 m),
// latitude first, separated by ';': "45.501700;-73.567300".  No comma, so
// that it fits a result line's field; '.' whatever the locale.  "-" when the
// fix has no position.
std::string format_lat_long(const GpsFix& fix);

// One line for a record or a progress line: "45.501700;-73.567300 3D
// 2024-05-01T12:34:56.000Z err 4.1 m hdop 0.9 speed 5.14 m/s", leaving out
// what is unknown; "no fix" without a position.
std::string describe_fix(const GpsFix& fix);

}  // namespace smstest
