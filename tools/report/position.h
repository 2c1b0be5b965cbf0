// Reading of the free-text `latLong` of a result line as a position, for the
// GeoJSON layer.  Accepted forms (blanks around the whole text are ignored):
//
//   45.5N73.6W     degrees with a hemisphere letter each, latitude first
//   45.5N 73.6W    the same with blanks between the two
//   45.5 -73.6     two signed decimal degrees, latitude first, separated by
//   45.5;-73.6     blanks, a ';' or a '/' (blanks allowed around those two)
//   45.5/-73.6
//
// Hemisphere letters are N, S, E, W in either case; numbers are digits with
// an optional fraction (no exponent).  Latitude must be within 90 degrees,
// longitude within 180.
#pragma once

#include <string_view>

namespace smstest {

struct Position {
  double latitude = 0;   // degrees, north positive
  double longitude = 0;  // degrees, east positive
};

// False, leaving `position` alone, when `text` is none of the forms above.
bool parse_position(std::string_view text, Position* position);

}  // namespace smstest
