#include "tools/report/position.h"

#include <gtest/gtest.h>

#include <cmath>

namespace smstest {
namespace {

TEST(Position, ReadsEachAcceptedForm) {
  struct Case {
    const char* text;
    double latitude;
    double longitude;
  } cases[] = {
      {"45.5N73.6W", 45.5, -73.6},
      {"45N73W", 45, -73},
      {"45.5N 73.6W", 45.5, -73.6},
      {"45.5N   73.6W", 45.5, -73.6},
      {"33.9S18.4E", -33.9, 18.4},
      {"33.9s 18.4e", -33.9, 18.4},
      {"0N0E", 0, 0},
      {"90N180W", 90, -180},
      {"45.5 -73.6", 45.5, -73.6},
      {"-33.9 18.4", -33.9, 18.4},
      {"+45.5 +73.6", 45.5, 73.6},
      {"45.5;-73.6", 45.5, -73.6},
      {"45.5 ; -73.6", 45.5, -73.6},
      {"45.5/-73.6", 45.5, -73.6},
      {"45.5 / -73.6", 45.5, -73.6},
      {"45 73", 45, 73},
      {"  45.5N73.6W  ", 45.5, -73.6},
      {"\t-90 -180", -90, -180},
      {"-0.0 -0.0", 0, 0},
  };
  for (const Case& c : cases) {
    Position p;
    ASSERT_TRUE(parse_position(c.text, &p)) << c.text;
    EXPECT_DOUBLE_EQ(p.latitude, c.latitude) << c.text;
    EXPECT_DOUBLE_EQ(p.longitude, c.longitude) << c.text;
    EXPECT_FALSE(std::signbit(p.latitude) && p.latitude == 0) << c.text;
  }
}

TEST(Position, RefusesEverythingElse) {
  const char* const bad[] = {
      "",
      "-",
      "45N73W!",
      "45.5N",
      "45.5",
      "N45.5W73.6",
      "45.5X73.6W",
      "45.5N73.6N",  // two latitudes
      "45.5E73.6N",  // longitude first
      "73.6W45.5N",
      "45.5N-73.6W",  // a sign with a hemisphere
      "-45.5N73.6W",
      "91N10E",
      "45N181W",
      "90.0001 0",
      "0 180.5",
      "45.5-73.6",  // no separator
      "45.5,-73.6",
      "45.5;;-73.6",
      "45.5; ",
      "45.5 -73.6 7",
      "1e1 5",
      "45. 73",
      ".5 73",
      "inf 0",
      "nan nan",
      "--45 73",
      "45N 73W extra",
      "forty-five north",
  };
  for (const char* text : bad) {
    Position p{1, 2};
    EXPECT_FALSE(parse_position(text, &p)) << text;
    EXPECT_EQ(p.latitude, 1) << text;
  }
}

}  // namespace
}  // namespace smstest
