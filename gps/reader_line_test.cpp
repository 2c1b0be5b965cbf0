// The lines of the NMEA reader program: every fix comes back as it was
// written, and what is not a reader's line is refused with a reason.
#include "gps/reader_line.h"

#include <gtest/gtest.h>

namespace smstest {
namespace {

GpsFix fix_of(FixMode mode, double latitude, double longitude) {
  GpsFix fix;
  fix.mode = mode;
  fix.latitude = latitude;
  fix.longitude = longitude;
  return fix;
}

TEST(ReaderLine, FixesComeBackAsWritten) {
  GpsFix full = fix_of(FixMode::kFix, 45.50170012345678, -73.567300987654321);
  full.ggaQuality = 2;
  full.time.hasTime = full.time.hasDate = true;
  full.time.year = 2024;
  full.time.month = 5;
  full.time.day = 1;
  full.time.hour = 23;
  full.time.minute = 59;
  full.time.second = 60.25;  // a leap second
  full.hdop = 0.9;
  full.speed = 5.144;
  GpsFix timeOnly = fix_of(FixMode::k3D, -33.8664, 151.2093);
  timeOnly.time.hasTime = true;
  timeOnly.time.hour = 1;
  timeOnly.time.second = 2.5;
  timeOnly.horizontalError = 4.25;
  GpsFix noFix;
  noFix.ggaQuality = 0;
  GpsFix edges = fix_of(FixMode::k2D, -90, 180);
  for (const GpsFix& fix : {full, timeOnly, noFix, edges}) {
    const std::string line = reader_fix_line(fix);
    SCOPED_TRACE(line);
    ASSERT_EQ(line.back(), '\n');
    ASSERT_EQ(line.find('\n'), line.size() - 1);
    ReaderLine parsed;
    std::string error;
    ASSERT_TRUE(parse_reader_line(line.substr(0, line.size() - 1), &parsed, &error)) << error;
    EXPECT_EQ(parsed.kind, ReaderLine::Kind::kFix);
    EXPECT_EQ(parsed.fix.mode, fix.mode);
    EXPECT_EQ(parsed.fix.latitude, fix.latitude);
    EXPECT_EQ(parsed.fix.longitude, fix.longitude);
    EXPECT_EQ(parsed.fix.ggaQuality, fix.ggaQuality);
    EXPECT_EQ(utc_time_text(parsed.fix.time), utc_time_text(fix.time));
    EXPECT_EQ(parsed.fix.horizontalError, fix.horizontalError);
    EXPECT_EQ(parsed.fix.hdop, fix.hdop);
    EXPECT_EQ(parsed.fix.speed, fix.speed);
  }
}

TEST(ReaderLine, NotesAndErrorsCarryTheirText) {
  for (const std::string& text :
       {std::string(""), std::string("nmea:COM3 lost: \"gone\"\n\xC3\xA9")}) {
    ReaderLine parsed;
    std::string error;
    std::string line = reader_note_line(text);
    ASSERT_TRUE(parse_reader_line(line.substr(0, line.size() - 1), &parsed, &error)) << error;
    EXPECT_EQ(parsed.kind, ReaderLine::Kind::kNote);
    EXPECT_EQ(parsed.text, text);
    line = reader_error_line(text);
    ASSERT_TRUE(parse_reader_line(line.substr(0, line.size() - 1), &parsed, &error)) << error;
    EXPECT_EQ(parsed.kind, ReaderLine::Kind::kError);
    EXPECT_EQ(parsed.text, text);
  }
}

TEST(ReaderLine, RefusesWhatIsNotAReadersLine) {
  struct Row {
    const char* line;
    const char* error;
  } rows[] = {
      {"$GPGGA,120000,4530.1020,N,07334.0380,W,1,08,0.9,45.0,M,-32.0,M,,*47", "not a JSON object"},
      {"[1,2]", "not a JSON object"},
      {R"({"class":"TPV","mode":3})", "no FIX, NOTE or ERROR \"class\""},
      {R"({"mode":"fix","lat":1,"lon":2})", "no FIX, NOTE or ERROR \"class\""},
      {R"({"class":"FIX","mode":"fix","lat":45.5})", "a fix without a position"},
      {R"({"class":"FIX","mode":"3D","lat":91,"lon":2})", "a fix without a position"},
      {R"({"class":"FIX","mode":"4D","lat":1,"lon":2})", "unknown fix mode \"4D\""},
      {R"({"class":"FIX","mode":"none","time":"12:00:00Z"})", "bad time \"12:00:00Z\""},
      {R"({"class":"FIX","mode":"none","time":"2024-05-01 12:00:00.000Z"})",
       "bad time \"2024-05-01 12:00:00.000Z\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    ReaderLine parsed;
    std::string error;
    EXPECT_FALSE(parse_reader_line(row.line, &parsed, &error));
    EXPECT_EQ(error, row.error);
  }
}

}  // namespace
}  // namespace smstest
