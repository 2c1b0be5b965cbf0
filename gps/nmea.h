// NMEA 0183 sentences of a GPS receiver: the parser of one sentence and the
// assembler that keeps the current fix from a stream of them.
//
// Two sentence types carry what a run needs: GGA (time of day, position, fix
// quality, HDOP) and RMC (time and date, status, position, speed).  Any
// talker is accepted (GP, GN, GL, GA, BD, GB, GQ, ...): multi-constellation
// receivers send GN, others their own system's.  Every sentence must end in
// its checksum "*hh": a line that lost its tail to noise or an overrun is
// then told from a whole one, instead of handing out a cut-off position.
// Empty fields are normal (no fix yet, no speed, no HDOP) and read as
// unknown.  Used by the serial NMEA source (gps_source.h); pure code, no I/O.
#pragma once

#include <string>
#include <string_view>

#include "gps/gps_fix.h"

namespace smstest {

enum class NmeaResult {
  kOk,           // a GGA or RMC sentence, read
  kOther,        // a well-formed sentence of another type (GSA, GSV, VTG, proprietary ...)
  kNotSentence,  // does not start with '$' followed by an address
  kNoChecksum,   // no "*hh" at the end
  kBadChecksum,  // "*hh" does not match the bytes
  kMalformed,    // checksum fine, but a field can't be read (or too few fields)
};

// What one GGA or RMC sentence said.  Fields the sentence left empty stay
// unknown (has... false, optional empty).
struct NmeaSentence {
  std::string talker;  // "GP", "GN", ...
  std::string type;    // "GGA" or "RMC"
  // GGA quality > 0; RMC status 'A' and a mode indicator (NMEA 2.3) that
  // is not 'N'.
  bool fixValid = false;
  bool hasPosition = false;  // latitude and longitude both given
  double latitude = 0;
  double longitude = 0;
  FixTime time;  // GGA: time of day only; RMC: and the date when given
  int ggaQuality = -1;
  std::optional<double> hdop;
  std::optional<double> speed;  // metres per second (RMC gives knots)
};

// Reads one sentence, with or without its CR LF.  kOk fills `sentence`;
// any other result leaves it unspecified and, except for kOk and kOther,
// puts the reason in `error` when given.
NmeaResult parse_nmea_sentence(std::string_view line, NmeaSentence* sentence,
                               std::string* error = nullptr);

// The XOR of the bytes of `body` (what lies between '$' and '*').
unsigned nmea_checksum(std::string_view body);

// "ddmm.mmmm" (latitude, `degreeDigits` 2) or "dddmm.mmmm" (longitude, 3)
// and its hemisphere letter to signed decimal degrees.  Receivers that drop
// leading zeros of the degrees are read too; the minutes always take two
// integer digits.  False for anything else, minutes of 60 or more, or a
// value out of range (90 or 180 degrees).
bool nmea_degrees(std::string_view value, std::string_view hemisphere, int degreeDigits,
                  double* degrees);

// Keeps the current fix from a stream of lines.  GGA and RMC of one epoch
// (the same time of day) are merged into one fix; a sentence with another
// time starts a new fix.  RMC status V, an RMC mode N or GGA quality 0 means
// no fix.  RMC's date goes with the GGA times of the same day that follow
// it.
class NmeaAssembler {
 public:
  // Reads one line.  kOk when it was a GGA or RMC sentence and the current
  // fix now includes it; the reason of other results is in `lastError`.
  NmeaResult add_line(std::string_view line);

  // The fix as of the last GGA or RMC sentence (FixMode::kNone before any,
  // or when the last one said there is no fix).
  const GpsFix& fix() const { return fix_; }
  // Whether any GGA or RMC sentence has been read.
  bool any() const { return any_; }

  std::string lastError;

 private:
  void merge(const NmeaSentence& sentence);

  GpsFix fix_;
  bool any_ = false;
  // The date of the last RMC sentence and its time of day in seconds, for
  // the GGA sentences that follow it.
  FixTime lastDate_;
  double lastDateSeconds_ = -1;
};

}  // namespace smstest
