// The NMEA parser on sentences as receivers send them (checksums computed
// over the real bytes), and the assembler on streams of them.
#include "gps/nmea.h"

#include <gtest/gtest.h>

#include <cmath>

namespace smstest {
namespace {

constexpr double kKnot = 1852.0 / 3600.0;
constexpr double kUnknown = -1;

struct GoodRow {
  const char* line;
  const char* talker;
  const char* type;
  bool fixValid;
  bool hasPosition;
  double latitude;
  double longitude;
  int quality;       // -1: none (RMC)
  const char* time;  // utc_time_text of the sentence's time
  double hdop;       // kUnknown: not given
  double speed;      // m/s, kUnknown: not given
};

const GoodRow kGood[] = {
    // The textbook pair, Munich.
    {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", "GP", "GGA", true, true,
     48.1173, 11.516666667, 1, "12:35:19.000Z", 0.9, kUnknown},
    {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", "GP", "RMC", true,
     true, 48.1173, 11.516666667, -1, "1994-03-23T12:35:19.000Z", kUnknown, 22.4 * kKnot},
    // A multi-constellation receiver, five decimals of minutes, CR LF kept.
    {"$GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*49\r\n", "GN", "RMC",
     true, true, 47.285239500, 8.565253667, -1, "2002-12-09T08:35:59.000Z", kUnknown,
     0.004 * kKnot},
    {"$GNGGA,092725.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,*45", "GN", "GGA", true,
     true, 47.285233167, 8.565265, 1, "09:27:25.000Z", 1.01, kUnknown},
    // Every constellation's talker; southern and western hemispheres.
    {"$GLGGA,101010.50,3351.9840,S,15112.5580,E,1,05,2.3,30.0,M,22.0,M,,*51", "GL", "GGA", true,
     true, -33.8664, 151.2093, 1, "10:10:10.500Z", 2.3, kUnknown},
    {"$GARMC,101010.50,A,2254.4000,S,04310.5000,W,12.5,180.0,150623,,,D*7B", "GA", "RMC", true,
     true, -22.906666667, -43.175, -1, "2023-06-15T10:10:10.500Z", kUnknown, 12.5 * kKnot},
    {"$BDGGA,060102.000,3954.5460,N,11623.7680,E,2,12,0.7,44.1,M,-8.0,M,1.2,0000*44", "BD", "GGA",
     true, true, 39.9091, 116.396133333, 2, "06:01:02.000Z", 0.7, kUnknown},
    // NMEA 4.1: a navigational status after the mode indicator.
    {"$GBRMC,060102.000,A,3954.5460,N,11623.7680,E,0.00,,010124,,,A,V*19", "GB", "RMC", true, true,
     39.9091, 116.396133333, -1, "2024-01-01T06:01:02.000Z", kUnknown, 0.0},
    {"$GQGGA,030405,3540.7200,N,13945.6000,E,1,04,1.5,40,M,36,M,,*7B", "GQ", "GGA", true, true,
     35.678666667, 139.76, 1, "03:04:05.000Z", 1.5, kUnknown},
    {"$GIRMC,030405,A,2835.0000,N,07712.0000,E,5.0,90.0,311224,,,A*5F", "GI", "RMC", true, true,
     28.583333333, 77.2, -1, "2024-12-31T03:04:05.000Z", kUnknown, 5.0 * kKnot},
    // Three-digit longitude degrees in the west, RTK quality.
    {"$GPGGA,000001.00,6410.1234,S,17030.0000,W,4,14,0.6,12.0,M,1.0,M,0.8,0101*42", "GP", "GGA",
     true, true, -64.168723333, -170.5, 4, "00:00:01.000Z", 0.6, kUnknown},
    // No fix: status V, quality 0, everything else empty.
    {"$GPRMC,235947.000,V,,,,,,,,,N*6F", "GP", "RMC", false, false, 0, 0, -1, "23:59:47.000Z",
     kUnknown, kUnknown},
    {"$GPGGA,235947.000,,,,,0,00,,,M,,M,,*76", "GP", "GGA", false, false, 0, 0, 0, "23:59:47.000Z",
     kUnknown, kUnknown},
    {"$GPRMC,,V,,,,,,,,,,N*53", "GP", "RMC", false, false, 0, 0, -1, "", kUnknown, kUnknown},
    // Status A but mode N (data not valid): no fix, though a position is there.
    {"$GNRMC,120000.00,A,4530.1020,N,07334.0380,W,1.0,45.0,010524,,,N*65", "GN", "RMC", false, true,
     45.5017, -73.5673, -1, "2024-05-01T12:00:00.000Z", kUnknown, 1.0 * kKnot},
    // Empty fields: no satellites, HDOP or altitude; no speed, course or date.
    {"$GPGGA,120000,4530.1020,N,07334.0380,W,1,,,,,,,,*44", "GP", "GGA", true, true, 45.5017,
     -73.5673, 1, "12:00:00.000Z", kUnknown, kUnknown},
    {"$GPRMC,120000,A,4530.1020,N,07334.0380,W,,,,,*05", "GP", "RMC", true, true, 45.5017, -73.5673,
     -1, "12:00:00.000Z", kUnknown, kUnknown},
    // A longitude whose leading zero the receiver dropped; dead reckoning.
    {"$GPGGA,120000,4530.1020,N,1131.000,E,6,03,9.9,,,,,,*76", "GP", "GGA", true, true, 45.5017,
     11.516666667, 6, "12:00:00.000Z", 9.9, kUnknown},
    // A leap second on the zero meridian and the equator, simulator quality.
    {"$GPGGA,235960,0000.0000,N,00000.0000,E,8,00,1.0,0,M,0,M,,*71", "GP", "GGA", true, true, 0, 0,
     8, "23:59:60.000Z", 1.0, kUnknown},
    // The limits themselves, and a lower-case checksum.
    {"$GPGGA,120000,9000.0000,N,18000.0000,W,1,08,1.0,0,M,0,M,,*6a", "GP", "GGA", true, true, 90,
     -180, 1, "12:00:00.000Z", 1.0, kUnknown},
};

TEST(NmeaParser, ReadsGgaAndRmcFromEveryTalker) {
  for (const GoodRow& row : kGood) {
    SCOPED_TRACE(row.line);
    NmeaSentence sentence;
    std::string error;
    ASSERT_EQ(parse_nmea_sentence(row.line, &sentence, &error), NmeaResult::kOk) << error;
    EXPECT_EQ(sentence.talker, row.talker);
    EXPECT_EQ(sentence.type, row.type);
    EXPECT_EQ(sentence.fixValid, row.fixValid);
    ASSERT_EQ(sentence.hasPosition, row.hasPosition);
    if (row.hasPosition) {
      EXPECT_NEAR(sentence.latitude, row.latitude, 1e-8);
      EXPECT_NEAR(sentence.longitude, row.longitude, 1e-8);
    }
    EXPECT_EQ(sentence.ggaQuality, row.quality);
    EXPECT_EQ(utc_time_text(sentence.time), row.time);
    ASSERT_EQ(sentence.hdop.has_value(), row.hdop != kUnknown);
    if (sentence.hdop) {
      EXPECT_DOUBLE_EQ(*sentence.hdop, row.hdop);
    }
    ASSERT_EQ(sentence.speed.has_value(), row.speed != kUnknown);
    if (sentence.speed) {
      EXPECT_NEAR(*sentence.speed, row.speed, 1e-9);
    }
  }
}

struct BadRow {
  const char* line;
  NmeaResult result;
};

const BadRow kBad[] = {
    // One byte changed after the checksum was made, or the checksum itself.
    {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48", NmeaResult::kBadChecksum},
    {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.5,M,46.9,M,,*47", NmeaResult::kBadChecksum},
    {"$GPRMC,123519,A,4807.038,S,01131.000,E,022.4,084.4,230394,003.1,W*6A",
     NmeaResult::kBadChecksum},
    {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*00",
     NmeaResult::kBadChecksum},
    // No checksum, or a line cut short inside the sentence or its checksum.
    {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", NmeaResult::kNoChecksum},
    {"$GPGGA,123519,4807.038,N,011", NmeaResult::kNoChecksum},
    {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*4", NmeaResult::kNoChecksum},
    {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*4G", NmeaResult::kNoChecksum},
    {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*477", NmeaResult::kNoChecksum},
    // Not a sentence at all.
    {"", NmeaResult::kNotSentence},
    {"\r\n", NmeaResult::kNotSentence},
    {"GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", NmeaResult::kNotSentence},
    {"!AIVDM,1,1,,B,177KQJ5000G?tO`K>RA1wUbN0TKH,0*5C", NmeaResult::kNotSentence},
    // Checksum fine, contents not.
    {"$GPGGA,120000,4860.000,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*43", NmeaResult::kMalformed},
    {"$GPGGA,120000,9100.000,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*41", NmeaResult::kMalformed},
    {"$GPGGA,120000,4807.038,,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*07", NmeaResult::kMalformed},
    {"$GPGGA,120000,4807.038,N,01131.000,N,1,08,0.9,545.4,M,46.9,M,,*42", NmeaResult::kMalformed},
    {"$GPGGA,256000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*4B", NmeaResult::kMalformed},
    {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,320394,003.1,W*6A",
     NmeaResult::kMalformed},
    {"$GPGGA,120000,,,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*19", NmeaResult::kMalformed},
    {"$GPGGA,120000,4807.038,N,01131.000,E,X,08,0.9,545.4,M,46.9,M,,*20", NmeaResult::kMalformed},
    {"$GPRMC,123519,X,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*73",
     NmeaResult::kMalformed},
    {"$GPRMC,123519,A,4807.038,N,01131.000,E,-2.4,084.4,230394,003.1,W*45", NmeaResult::kMalformed},
    {"$GPGGA,120000,4807.038,N,01131.000,E*40", NmeaResult::kMalformed},
    {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4*38", NmeaResult::kMalformed},
    {"$GPGGA,120000,48O7.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*36", NmeaResult::kMalformed},
    {"$GPGGA,120000,4807.038,N,181131.000,E,1,08,0.9,545.4,M,46.9,M,,*70", NmeaResult::kMalformed},
    {"$gpGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*49", NmeaResult::kMalformed},
    {"$GPGGA,120000,4807.03.8,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*67", NmeaResult::kMalformed},
    // Well-formed, but not what a position needs.
    {"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39", NmeaResult::kOther},
    {"$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75", NmeaResult::kOther},
    {"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48", NmeaResult::kOther},
    {"$PUBX,00,081350.00,4717.113210,N,00833.915187,E,546.589,G3,2.1,2.0,0.007,77.52,0.007,,0.92,"
     "1.19,0.77,9,0,0*5F",
     NmeaResult::kOther},
    {"$PGRME,15.0,M,45.0,M,25.0,M*1C", NmeaResult::kOther},
};

TEST(NmeaParser, RefusesWhatIsNotAWholeGoodSentence) {
  for (const BadRow& row : kBad) {
    SCOPED_TRACE(row.line);
    NmeaSentence sentence;
    std::string error;
    EXPECT_EQ(parse_nmea_sentence(row.line, &sentence, &error), row.result);
    if (row.result != NmeaResult::kOther) {
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(NmeaParser, EveryPrefixOfAGoodSentenceIsRefused) {
  for (const GoodRow& row : kGood) {
    std::string line = row.line;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    for (size_t length = 0; length < line.size(); ++length) {
      SCOPED_TRACE(line.substr(0, length));
      NmeaSentence sentence;
      EXPECT_NE(parse_nmea_sentence(line.substr(0, length), &sentence), NmeaResult::kOk);
    }
  }
}

TEST(NmeaParser, BadChecksumMessageNamesBothValues) {
  NmeaSentence sentence;
  std::string error;
  parse_nmea_sentence("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48",
                      &sentence, &error);
  EXPECT_EQ(error, "bad checksum *48 (the bytes give 47)");
}

struct DegreeRow {
  const char* value;
  const char* hemisphere;
  int degreeDigits;
  bool ok;
  double degrees;
};

TEST(NmeaDegrees, ConvertsDegreesAndMinutesWithHemisphereSign) {
  const DegreeRow rows[] = {
      {"4807.038", "N", 2, true, 48.1173},
      {"4807.038", "S", 2, true, -48.1173},
      {"01131.000", "E", 3, true, 11.516666667},
      {"01131.000", "W", 3, true, -11.516666667},
      {"17959.9999", "W", 3, true, -179.999998333},
      {"0000.0001", "S", 2, true, -0.000001667},
      {"4807", "N", 2, true, 48.116666667},  // no fraction
      {"807.038", "N", 2, true, 8.1173},     // leading zero dropped
      {"07.038", "N", 2, false, 0},          // minutes need two digits and a degree
      {"4807.038", "E", 2, false, 0},        // longitude letter on a latitude
      {"01131.000", "N", 3, false, 0},
      {"4807.038", "", 2, false, 0},
      {"4807.038", "NN", 2, false, 0},
      {"4807.038", "n", 2, false, 0},
      {"9000.0001", "N", 2, false, 0},
      {"18000.0001", "E", 3, false, 0},
      {"4860.000", "N", 2, false, 0},
      {"-4807.038", "N", 2, false, 0},
      {"48 7.038", "N", 2, false, 0},
      {"", "N", 2, false, 0},
  };
  for (const DegreeRow& row : rows) {
    SCOPED_TRACE(std::string(row.value) + " " + row.hemisphere);
    double degrees = 1234;
    ASSERT_EQ(nmea_degrees(row.value, row.hemisphere, row.degreeDigits, &degrees), row.ok);
    if (row.ok) {
      EXPECT_NEAR(degrees, row.degrees, 1e-9);
    } else {
      EXPECT_EQ(degrees, 1234);
    }
  }
}

// ---- The assembler ------------------------------------------------------------

TEST(NmeaAssembler, MergesGgaAndRmcOfOneEpoch) {
  NmeaAssembler assembler;
  EXPECT_FALSE(assembler.any());
  EXPECT_EQ(assembler.add_line(
                "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"),
            NmeaResult::kOk);
  EXPECT_EQ(assembler.add_line("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"),
            NmeaResult::kOk);
  const GpsFix& fix = assembler.fix();
  EXPECT_TRUE(assembler.any());
  EXPECT_EQ(fix.mode, FixMode::kFix);
  EXPECT_EQ(format_lat_long(fix), "48.117300;11.516667");
  EXPECT_EQ(utc_time_text(fix.time), "1994-03-23T12:35:19.000Z");
  EXPECT_EQ(fix.ggaQuality, 1);
  ASSERT_TRUE(fix.hdop && fix.speed);
  EXPECT_DOUBLE_EQ(*fix.hdop, 0.9);
  EXPECT_NEAR(*fix.speed, 22.4 * kKnot, 1e-9);
  EXPECT_FALSE(fix.horizontalError);  // NMEA gives no error in metres
}

TEST(NmeaAssembler, ANewEpochStartsAFreshFixAndCarriesTheDateOnlyForward) {
  NmeaAssembler assembler;
  assembler.add_line("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A");
  // The next second, GGA only: the RMC's date, none of its speed.
  std::string gga = "GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
  char checksum[4];
  snprintf(checksum, sizeof checksum, "%02X", nmea_checksum(gga));
  ASSERT_EQ(assembler.add_line("$" + gga + "*" + checksum), NmeaResult::kOk);
  EXPECT_EQ(utc_time_text(assembler.fix().time), "1994-03-23T12:35:20.000Z");
  EXPECT_FALSE(assembler.fix().speed);
  // A GGA after midnight: the old date would be a day wrong, so none.
  ASSERT_EQ(assembler.add_line("$GPGGA,000001.00,6410.1234,S,17030.0000,W,4,14,0.6,12.0,M,1.0,M,"
                               "0.8,0101*42"),
            NmeaResult::kOk);
  EXPECT_EQ(utc_time_text(assembler.fix().time), "00:00:01.000Z");
  EXPECT_EQ(format_lat_long(assembler.fix()), "-64.168723;-170.500000");
}

TEST(NmeaAssembler, NoFixSentencesClearThePosition) {
  const char* noFix[] = {
      "$GPRMC,235947.000,V,,,,,,,,,N*6F",
      "$GPGGA,235947.000,,,,,0,00,,,M,,M,,*76",
      "$GNRMC,120000.00,A,4530.1020,N,07334.0380,W,1.0,45.0,010524,,,N*65",
  };
  for (const char* line : noFix) {
    SCOPED_TRACE(line);
    NmeaAssembler assembler;
    ASSERT_EQ(assembler.add_line("$GPGGA,120000,4530.1020,N,07334.0380,W,1,,,,,,,,*44"),
              NmeaResult::kOk);
    ASSERT_TRUE(assembler.fix().has_position());
    ASSERT_EQ(assembler.add_line(line), NmeaResult::kOk);
    EXPECT_FALSE(assembler.fix().has_position());
    EXPECT_EQ(format_lat_long(assembler.fix()), "-");
  }
}

TEST(NmeaAssembler, RefusedLinesLeaveTheFixAlone) {
  NmeaAssembler assembler;
  assembler.add_line("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47");
  EXPECT_EQ(assembler.add_line("$GPRMC,235947.000,V,,,,,,,,,N*6E"), NmeaResult::kBadChecksum);
  EXPECT_EQ(assembler.lastError, "bad checksum *6E (the bytes give 6F)");
  EXPECT_EQ(assembler.add_line("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39"),
            NmeaResult::kOther);
  EXPECT_EQ(format_lat_long(assembler.fix()), "48.117300;11.516667");
}

}  // namespace
}  // namespace smstest
