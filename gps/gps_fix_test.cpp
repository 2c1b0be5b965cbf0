// The texts of a fix: latLong as the report reads it back, UTC times, the
// one-line description.
#include "gps/gps_fix.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "tools/report/position.h"

namespace smstest {
namespace {

GpsFix fix_at(double latitude, double longitude, FixMode mode = FixMode::k3D) {
  GpsFix fix;
  fix.mode = mode;
  fix.latitude = latitude;
  fix.longitude = longitude;
  return fix;
}

TEST(LatLongText, SixDecimalsReadBackByTheReport) {
  struct Row {
    double latitude;
    double longitude;
    const char* text;
  } rows[] = {
      {45.5017, -73.5673, "45.501700;-73.567300"},
      {-33.8664, 151.2093, "-33.866400;151.209300"},
      {-64.168723333, -170.5, "-64.168723;-170.500000"},
      {0, 0, "0.000000;0.000000"},
      {-0.0000004, 0.0000004, "0.000000;0.000000"},   // no "-0.000000"
      {-0.0000006, 0.0000006, "-0.000001;0.000001"},  // to the nearest
      {89.9999996, -179.9999996, "90.000000;-180.000000"},
      {90, 180, "90.000000;180.000000"},
      {1.0000009, -2.0000011, "1.000001;-2.000001"},
  };
  for (const auto& row : rows) {
    std::string text = format_lat_long(fix_at(row.latitude, row.longitude));
    EXPECT_EQ(text, row.text);
    Position position;
    ASSERT_TRUE(parse_position(text, &position)) << text;
    EXPECT_NEAR(position.latitude, row.latitude, 5e-7) << text;
    EXPECT_NEAR(position.longitude, row.longitude, 5e-7) << text;
    EXPECT_EQ(text.find(','), std::string::npos) << text;
  }
}

TEST(LatLongText, NoPositionIsADash) {
  EXPECT_EQ(format_lat_long(fix_at(45.5, -73.5, FixMode::kNone)), "-");
  Position position;
  EXPECT_FALSE(parse_position("-", &position));
}

TEST(LatLongText, APointWhateverTheLocale) {
  const char* commaLocales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"};
  const char* found = nullptr;
  for (const char* name : commaLocales) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = name;
      break;
    }
  }
  if (found == nullptr)
    GTEST_SKIP() << "no locale with a decimal comma is installed (de_DE, fr_FR)";
  GpsFix fix = fix_at(45.5017, -73.5673);
  fix.time.hasTime = true;
  fix.time.second = 1.5;
  fix.speed = 2.25;
  std::string latLong = format_lat_long(fix);
  std::string described = describe_fix(fix);
  std::string time = utc_time_text(fix.time);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(latLong, "45.501700;-73.567300") << found;
  EXPECT_EQ(time, "00:00:01.500Z") << found;
  EXPECT_EQ(described.find(','), std::string::npos) << described;
}

TEST(UtcTimeText, DateWhenKnownMillisecondsAlways) {
  FixTime time;
  EXPECT_EQ(utc_time_text(time), "");
  time.hasTime = true;
  time.hour = 9;
  time.minute = 5;
  time.second = 7.25;
  EXPECT_EQ(utc_time_text(time), "09:05:07.250Z");
  time.hasDate = true;
  time.year = 2024;
  time.month = 2;
  time.day = 29;
  EXPECT_EQ(utc_time_text(time), "2024-02-29T09:05:07.250Z");
  time.second = 59.9996;
  EXPECT_EQ(utc_time_text(time), "2024-02-29T09:05:60.000Z");
}

TEST(DescribeFix, LeavesOutWhatIsUnknown) {
  GpsFix fix = fix_at(45.5017, -73.5673, FixMode::kFix);
  EXPECT_EQ(describe_fix(fix), "45.501700;-73.567300 fix");
  fix.ggaQuality = 2;
  fix.hdop = 0.94;
  fix.speed = 5.144;
  EXPECT_EQ(describe_fix(fix), "45.501700;-73.567300 fix (DGPS) hdop 0.9 speed 5.14 m/s");
  fix.mode = FixMode::k3D;
  fix.ggaQuality = -1;
  fix.hdop.reset();
  fix.horizontalError = 24.7;
  fix.time.hasTime = fix.time.hasDate = true;
  fix.time.year = 2024;
  fix.time.month = 5;
  fix.time.day = 1;
  fix.time.hour = 12;
  fix.time.minute = 34;
  fix.time.second = 2;
  EXPECT_EQ(describe_fix(fix),
            "45.501700;-73.567300 3D 2024-05-01T12:34:02.000Z err 24.7 m speed 5.14 m/s");
  EXPECT_EQ(describe_fix(fix_at(1, 2, FixMode::kNone)), "no fix");
}

TEST(GgaQualityText, NamesTheTableAndNumbersTheRest) {
  EXPECT_EQ(gga_quality_text(-1), "");
  EXPECT_EQ(gga_quality_text(0), "no fix");
  EXPECT_EQ(gga_quality_text(4), "RTK");
  EXPECT_EQ(gga_quality_text(8), "simulation");
  EXPECT_EQ(gga_quality_text(9), "quality 9");
}

}  // namespace
}  // namespace smstest
