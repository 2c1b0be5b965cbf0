#include "tools/report/position.h"

#include <cmath>

#include "tools/report/run_record.h"

namespace smstest {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

void skip_blanks(std::string_view text, size_t* i) {
  while (*i < text.size() && is_blank(text[*i])) ++(*i);
}

// Digits with an optional fraction ("45", "45.5"), optionally signed, at
// `*i`.  Moves `*i` past it.
bool read_degrees(std::string_view text, size_t* i, bool allowSign, double* value) {
  size_t start = *i;
  size_t j = start;
  if (allowSign && j < text.size() && (text[j] == '-' || text[j] == '+')) ++j;
  size_t digitsStart = j;
  while (j < text.size() && is_digit(text[j])) ++j;
  if (j == digitsStart) return false;
  if (j < text.size() && text[j] == '.') {
    ++j;
    size_t fractionStart = j;
    while (j < text.size() && is_digit(text[j])) ++j;
    if (j == fractionStart) return false;
  }
  std::string_view number = text.substr(start, j - start);
  if (!number.empty() && number[0] == '+') number.remove_prefix(1);
  if (!read_number(number, value)) return false;
  *i = j;
  return true;
}

bool in_range(double latitude, double longitude) {
  return std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180;
}

bool hemisphere_form(std::string_view text, Position* position) {
  size_t i = 0;
  double latitude, longitude;
  if (!read_degrees(text, &i, false, &latitude) || i >= text.size()) return false;
  char ns = text[i++];
  if (ns == 's' || ns == 'S') {
    latitude = -latitude;
  } else if (ns != 'n' && ns != 'N') {
    return false;
  }
  skip_blanks(text, &i);
  if (!read_degrees(text, &i, false, &longitude) || i + 1 != text.size()) return false;
  char ew = text[i];
  if (ew == 'w' || ew == 'W') {
    longitude = -longitude;
  } else if (ew != 'e' && ew != 'E') {
    return false;
  }
  if (!in_range(latitude, longitude)) return false;
  position->latitude = latitude + 0.0;  // no negative zero in the output
  position->longitude = longitude + 0.0;
  return true;
}

bool signed_form(std::string_view text, Position* position) {
  size_t i = 0;
  double latitude, longitude;
  if (!read_degrees(text, &i, true, &latitude)) return false;
  size_t afterFirst = i;
  skip_blanks(text, &i);
  if (i < text.size() && (text[i] == ';' || text[i] == '/')) {
    ++i;
    skip_blanks(text, &i);
  } else if (i == afterFirst) {
    return false;  // no separator at all
  }
  if (!read_degrees(text, &i, true, &longitude) || i != text.size()) return false;
  if (!in_range(latitude, longitude)) return false;
  position->latitude = latitude + 0.0;
  position->longitude = longitude + 0.0;
  return true;
}

}  // namespace

bool parse_position(std::string_view text, Position* position) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return hemisphere_form(text, position) || signed_form(text, position);
}

}  // namespace smstest
