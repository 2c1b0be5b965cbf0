// The kinds of position feed behind GpsSource (gps_source.h): gpsd over TCP,
// and a reader program (sms_gps, for an NMEA receiver on a serial port)
// whose output lines are read (reader_line.h).  Each opens its source,
// hands out fixes as they come within a bounded wait, and says why it
// failed or went quiet; the source's thread does the retrying.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gps/gps_fix.h"

namespace smstest {

enum class FeedRead {
  kFix,      // a fix (with a position or without) came
  kNothing,  // none within the wait
  kLost,     // the source went away or fell silent (reason in lastError)
};

class GpsFeed {
 public:
  virtual ~GpsFeed() = default;

  // Opens the source.  False with the reason in `lastError`: "gpsd not
  // reachable: ...", "nmea:COM3 not available: ...".
  virtual bool open() = 0;

  // Waits up to about `waitMs` for the next fix.  After kLost the feed is
  // closed.
  virtual FeedRead read(GpsFix* fix, int waitMs) = 0;

  virtual void close() = 0;

  // While open: what is wrong with what comes, "" when nothing is known
  // ("gpsd has no GPS device", "12 lines refused since the last GGA or RMC,
  // last: bad checksum ...").
  virtual std::string note() const = 0;

  std::string lastError;
};

std::unique_ptr<GpsFeed> make_gpsd_feed(const std::string& host, int port, int connectTimeoutMs);

// The reader program `argv` (argv[0] its path): open() starts it, read()
// hands out the fixes of its lines; its ERROR line, or its end, is a lost
// source.  `name` ("nmea:COM3") goes into the messages: "nmea:COM3 not
// available: cannot start ...", "nmea:COM3 lost: ... ended".
std::unique_ptr<GpsFeed> make_reader_feed(const std::vector<std::string>& argv,
                                          const std::string& name);

}  // namespace smstest
