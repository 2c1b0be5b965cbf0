// The lines a GPS reader program (sms_gps) writes on its standard output and
// the campaign reads (gps_feed.h): one JSON object per line, its "class"
// saying what it is.
//
//   {"class":"FIX","mode":"fix","quality":1,"time":"2024-05-01T12:00:00.000Z",
//    "lat":45.5017,"lon":-73.5673,"hdop":0.9,"speed":0.514}
//       a fix as the receiver gave it; what is unknown is left out
//       ("mode":"none" and no position without a fix; "error", metres,
//       when known)
//   {"class":"NOTE","note":"3 lines refused since the last GGA or RMC, ..."}
//       what is wrong with what comes ("" once it is right again)
//   {"class":"ERROR","message":"nmea:COM3 lost: ..."}
//       why the reader ends; its last line
#pragma once

#include <string>
#include <string_view>

#include "gps/gps_fix.h"

namespace smstest {

struct ReaderLine {
  enum class Kind { kFix, kNote, kError };
  Kind kind = Kind::kFix;
  GpsFix fix;        // kFix
  std::string text;  // kNote: the note; kError: the message
};

// The line of `fix`, with its line end; numbers as the shortest text that
// reads back as the same double.
std::string reader_fix_line(const GpsFix& fix);
std::string reader_note_line(const std::string& note);
std::string reader_error_line(const std::string& message);

// Reads one line (without its line end).  False, with the reason in
// `error`, for anything but the three kinds above.
bool parse_reader_line(std::string_view line, ReaderLine* parsed, std::string* error);

}  // namespace smstest
