// Texts of a GPS fix.  Numbers are written with integer arithmetic rather
// than printf's %f, whose decimal point follows the locale: a comma there
// would split a result line's field.
#include "gps/gps_fix.h"

#include <cmath>
#include <cstdint>

#include "common/text.h"

namespace smstest {

namespace {

// `value` rounded to `decimals` places, as "-12.345600": '.' always, "-" only
// when the rounded value is below zero.
std::string decimal_text(double value, int decimals) {
  int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  int64_t scaled = std::llround(value * static_cast<double>(scale));
  bool negative = scaled < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string text =
      format("%s%llu", negative ? "-" : "",
             static_cast<unsigned long long>(magnitude / static_cast<uint64_t>(scale)));
  if (decimals > 0) {
    text += format(".%0*llu", decimals,
                   static_cast<unsigned long long>(magnitude % static_cast<uint64_t>(scale)));
  }
  return text;
}

}  // namespace

const char* fix_mode_text(FixMode mode) {
  switch (mode) {
    case FixMode::kNone:
      return "none";
    case FixMode::kFix:
      return "fix";
    case FixMode::k2D:
      return "2D";
    case FixMode::k3D:
      return "3D";
  }
  return "none";
}

std::string gga_quality_text(int quality) {
  static const char* const kNames[] = {"no fix",    "GPS",       "DGPS",   "PPS",       "RTK",
                                       "float RTK", "estimated", "manual", "simulation"};
  if (quality < 0) return "";
  if (quality < static_cast<int>(sizeof kNames / sizeof kNames[0])) return kNames[quality];
  return format("quality %d", quality);
}

std::string utc_time_text(const FixTime& time) {
  if (!time.hasTime) return "";
  // Seconds to the millisecond.  59.9996 gives "60.000" rather than a carry
  // into the minute, the hour and maybe the date: a leap second's notation
  // for a time off by half a millisecond.
  int64_t millis = std::llround(time.second * 1000.0);
  std::string text;
  if (time.hasDate) text = format("%04d-%02d-%02dT", time.year, time.month, time.day);
  text += format("%02d:%02d:%02lld.%03lldZ", time.hour, time.minute,
                 static_cast<long long>(millis / 1000), static_cast<long long>(millis % 1000));
  return text;
}

std::string format_lat_long(const GpsFix& fix) {
  if (!fix.has_position()) return "-";
  return decimal_text(fix.latitude, 6) + ";" + decimal_text(fix.longitude, 6);
}

std::string describe_fix(const GpsFix& fix) {
  if (!fix.has_position()) return "no fix";
  std::string text = format_lat_long(fix) + " " + fix_mode_text(fix.mode);
  if (fix.ggaQuality > 0) text += " (" + gga_quality_text(fix.ggaQuality) + ")";
  if (fix.time.hasTime) text += " " + utc_time_text(fix.time);
  if (fix.horizontalError) text += " err " + decimal_text(*fix.horizontalError, 1) + " m";
  if (fix.hdop) text += " hdop " + decimal_text(*fix.hdop, 1);
  if (fix.speed) text += " speed " + decimal_text(*fix.speed, 2) + " m/s";
  return text;
}

}  // namespace smstest
