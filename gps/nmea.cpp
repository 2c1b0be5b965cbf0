// NMEA 0183 sentences: GGA and RMC from any talker, and the current fix.
#include "gps/nmea.h"

#include <cmath>
#include <vector>

#include "common/text.h"

namespace smstest {

namespace {

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_upper_or_digit(char c) { return (c >= 'A' && c <= 'Z') || is_digit(c); }

int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "123", "123.45", ".5", "7.": digits with at most one '.', at least one
// digit.  Read digit by digit (strtod would follow the locale's decimal
// point).
bool parse_unsigned_decimal(std::string_view text, double* value) {
  double whole = 0;
  double fraction = 0;
  double scale = 1;
  bool point = false;
  bool digits = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (is_digit(c)) {
      digits = true;
      if (point) {
        scale /= 10;
        fraction += (c - '0') * scale;
      } else {
        whole = whole * 10 + (c - '0');
      }
    } else {
      return false;
    }
  }
  if (!digits) return false;
  *value = whole + fraction;
  return true;
}

bool two_digits(std::string_view text, size_t at, int* value) {
  if (at + 2 > text.size() || !is_digit(text[at]) || !is_digit(text[at + 1])) return false;
  *value = (text[at] - '0') * 10 + (text[at + 1] - '0');
  return true;
}

// "hhmmss" with an optional fraction of the second.
bool parse_time(std::string_view text, FixTime* time) {
  double second = 0;
  if (text.size() < 6 || !two_digits(text, 0, &time->hour) || !two_digits(text, 2, &time->minute) ||
      !parse_unsigned_decimal(text.substr(4), &second) || !is_digit(text[4]) ||
      !is_digit(text[5])) {
    return false;
  }
  if (time->hour > 23 || time->minute > 59 || second >= 61) return false;
  time->second = second;
  time->hasTime = true;
  return true;
}

// "ddmmyy"; two-digit years from 80 on are taken as 19yy.
bool parse_date(std::string_view text, FixTime* time) {
  int year = 0;
  if (text.size() != 6 || !two_digits(text, 0, &time->day) || !two_digits(text, 2, &time->month) ||
      !two_digits(text, 4, &year)) {
    return false;
  }
  if (time->day < 1 || time->day > 31 || time->month < 1 || time->month > 12) return false;
  time->year = year < 80 ? 2000 + year : 1900 + year;
  time->hasDate = true;
  return true;
}

// Latitude and longitude from four fields: both empty is no position; one
// side given without the other, or a value that does not read, is an error.
bool parse_position(const std::vector<std::string>& fields, size_t at, NmeaSentence* sentence) {
  bool allEmpty = true;
  for (size_t i = at; i < at + 4; ++i) allEmpty = allEmpty && fields[i].empty();
  if (allEmpty) return true;
  if (!nmea_degrees(fields[at], fields[at + 1], 2, &sentence->latitude) ||
      !nmea_degrees(fields[at + 2], fields[at + 3], 3, &sentence->longitude)) {
    return false;
  }
  sentence->hasPosition = true;
  return true;
}

// Optional non-negative number: empty is unknown.
bool parse_optional(const std::string& field, std::optional<double>* value) {
  if (field.empty()) return true;
  double number = 0;
  if (!parse_unsigned_decimal(field, &number)) return false;
  *value = number;
  return true;
}

// $--GGA,hhmmss.ss,llll.ll,a,yyyyy.yy,a,q,nn,h.h,alt,M,sep,M,age,station
const char* read_gga(const std::vector<std::string>& fields, NmeaSentence* sentence) {
  if (fields.size() < 7) return "too few fields";
  if (!fields[1].empty() && !parse_time(fields[1], &sentence->time)) return "bad time";
  if (!parse_position(fields, 2, sentence)) return "bad position";
  const std::string& quality = fields[6];
  if (!quality.empty()) {
    if (quality.size() != 1 || !is_digit(quality[0])) return "bad fix quality";
    sentence->ggaQuality = quality[0] - '0';
  }
  sentence->fixValid = sentence->ggaQuality > 0;
  if (fields.size() > 8 && !parse_optional(fields[8], &sentence->hdop)) return "bad HDOP";
  return nullptr;
}

// $--RMC,hhmmss.ss,A,llll.ll,a,yyyyy.yy,a,knots,course,ddmmyy,var,a[,mode[,status]]
const char* read_rmc(const std::vector<std::string>& fields, NmeaSentence* sentence) {
  if (fields.size() < 10) return "too few fields";
  if (!fields[1].empty() && !parse_time(fields[1], &sentence->time)) return "bad time";
  const std::string& status = fields[2];
  if (!status.empty() && status != "A" && status != "V") return "bad status";
  if (!parse_position(fields, 3, sentence)) return "bad position";
  std::optional<double> knots;
  if (!parse_optional(fields[7], &knots)) return "bad speed";
  if (knots) sentence->speed = *knots * kMetresPerSecondPerKnot;
  if (!fields[9].empty() && !parse_date(fields[9], &sentence->time)) return "bad date";
  // The mode indicator of NMEA 2.3 and later: N is "data not valid" even
  // where a receiver leaves the status at A.
  bool modeInvalid = fields.size() > 12 && fields[12] == "N";
  sentence->fixValid = status == "A" && !modeInvalid;
  return nullptr;
}

double seconds_of_day(const FixTime& time) {
  return time.hour * 3600.0 + time.minute * 60.0 + time.second;
}

}  // namespace

unsigned nmea_checksum(std::string_view body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  return sum;
}

bool nmea_degrees(std::string_view value, std::string_view hemisphere, int degreeDigits,
                  double* degrees) {
  size_t point = value.find('.');
  size_t integerDigits = point == std::string_view::npos ? value.size() : point;
  if (integerDigits < 3 || integerDigits > static_cast<size_t>(degreeDigits) + 2) return false;
  double whole = 0;
  double minutes = 0;
  std::string_view degreePart = value.substr(0, integerDigits - 2);
  for (char c : degreePart) {
    if (!is_digit(c)) return false;
  }
  if (!parse_unsigned_decimal(degreePart, &whole) ||
      !parse_unsigned_decimal(value.substr(integerDigits - 2), &minutes) ||
      !is_digit(value[integerDigits - 2]) || !is_digit(value[integerDigits - 1])) {
    return false;
  }
  if (minutes >= 60) return false;
  double result = whole + minutes / 60.0;
  const char* letters = degreeDigits == 2 ? "NS" : "EW";
  if (hemisphere.size() != 1 || (hemisphere[0] != letters[0] && hemisphere[0] != letters[1])) {
    return false;
  }
  if (result > (degreeDigits == 2 ? 90.0 : 180.0)) return false;
  *degrees = hemisphere[0] == letters[1] ? -result : result;
  return true;
}

NmeaResult parse_nmea_sentence(std::string_view line, NmeaSentence* sentence, std::string* error) {
  auto fail = [error](NmeaResult result, const std::string& text) {
    if (error != nullptr) *error = text;
    return result;
  };
  while (!line.empty() && is_c_space(static_cast<unsigned char>(line.back())))
    line.remove_suffix(1);
  while (!line.empty() && is_c_space(static_cast<unsigned char>(line.front())))
    line.remove_prefix(1);
  if (line.size() < 2 || line[0] != '$')
    return fail(NmeaResult::kNotSentence, "not an NMEA sentence");
  size_t star = line.rfind('*');
  if (star == std::string_view::npos || star + 3 != line.size() || hex_value(line[star + 1]) < 0 ||
      hex_value(line[star + 2]) < 0) {
    return fail(NmeaResult::kNoChecksum, "no checksum *hh at the end");
  }
  std::string_view body = line.substr(1, star - 1);
  unsigned given =
      static_cast<unsigned>(hex_value(line[star + 1]) * 16 + hex_value(line[star + 2]));
  unsigned computed = nmea_checksum(body);
  if (given != computed) {
    return fail(NmeaResult::kBadChecksum,
                format("bad checksum *%02X (the bytes give %02X)", given, computed));
  }
  std::vector<std::string> fields = split(std::string(body), ',');
  const std::string& address = fields[0];
  if (!address.empty() && address[0] == 'P') return NmeaResult::kOther;  // proprietary
  bool addressOk = address.size() == 5;
  for (char c : address) addressOk = addressOk && is_upper_or_digit(c);
  if (!addressOk) return fail(NmeaResult::kMalformed, "bad address field \"" + address + "\"");
  NmeaSentence parsed;
  parsed.talker = address.substr(0, 2);
  parsed.type = address.substr(2);
  const char* problem = nullptr;
  if (parsed.type == "GGA") {
    problem = read_gga(fields, &parsed);
  } else if (parsed.type == "RMC") {
    problem = read_rmc(fields, &parsed);
  } else {
    return NmeaResult::kOther;
  }
  if (problem != nullptr) return fail(NmeaResult::kMalformed, address + ": " + problem);
  *sentence = parsed;
  return NmeaResult::kOk;
}

NmeaResult NmeaAssembler::add_line(std::string_view line) {
  NmeaSentence sentence;
  NmeaResult result = parse_nmea_sentence(line, &sentence, &lastError);
  if (result == NmeaResult::kOther) lastError = "not a GGA or RMC sentence";
  if (result != NmeaResult::kOk) return result;
  merge(sentence);
  return result;
}

void NmeaAssembler::merge(const NmeaSentence& sentence) {
  any_ = true;
  const FixTime& time = sentence.time;
  bool sameEpoch = time.hasTime && fix_.time.hasTime &&
                   std::fabs(seconds_of_day(time) - seconds_of_day(fix_.time)) < 0.0005;
  FixTime previous = fix_.time;
  if (!sameEpoch) fix_ = GpsFix{};
  if (time.hasTime) {
    FixTime merged = time;
    if (!merged.hasDate) {
      // A GGA: the date of its epoch's RMC, or of the last RMC earlier the
      // same day (a time of day below it means midnight has passed).
      const FixTime* date = nullptr;
      if (sameEpoch && previous.hasDate) {
        date = &previous;
      } else if (lastDateSeconds_ >= 0 && seconds_of_day(time) >= lastDateSeconds_) {
        date = &lastDate_;
      }
      if (date != nullptr) {
        merged.hasDate = true;
        merged.year = date->year;
        merged.month = date->month;
        merged.day = date->day;
      }
    }
    fix_.time = merged;
  }
  if (time.hasTime && time.hasDate) {
    lastDate_ = time;
    lastDateSeconds_ = seconds_of_day(time);
  }
  if (sentence.fixValid && sentence.hasPosition) {
    if (fix_.mode == FixMode::kNone) fix_.mode = FixMode::kFix;
    fix_.latitude = sentence.latitude;
    fix_.longitude = sentence.longitude;
  } else {
    fix_.mode = FixMode::kNone;
  }
  if (sentence.ggaQuality >= 0) fix_.ggaQuality = sentence.ggaQuality;
  if (sentence.hdop) fix_.hdop = sentence.hdop;
  if (sentence.speed) fix_.speed = sentence.speed;
}

}  // namespace smstest
