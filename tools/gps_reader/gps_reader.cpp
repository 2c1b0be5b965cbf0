// The command line and the loop of sms_gps.
#include "tools/gps_reader/gps_reader.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "common/version.h"
#include "gps/reader_line.h"
#include "tools/gps_reader/nmea_serial_feed.h"

namespace smstest {

namespace {

const char kDescription[] =
    "sms_gps reads an NMEA 0183 receiver on a serial port and writes each fix as a JSON line\n"
    "on standard output.";

const char kFooter[] = R"(
SOURCE is nmea:PORT[,BAUD]: COM port PORT (3 or COM3; on POSIX the link
$SMS_TEST_PORTS/COMn or /dev/ttyS(n-1)) or the device path PORT, at 4800
baud unless BAUD is given.  GGA and RMC sentences of any talker are read,
each with its checksum.  One line per GGA or RMC sentence:
  {"class":"FIX","mode":"fix","quality":1,"time":"2024-05-01T12:00:00.000Z",
   "lat":45.5017,"lon":-73.5673,"hdop":0.9,"speed":0.514}
("mode":"none" without a fix; what the receiver leaves out is left out),
{"class":"NOTE","note":"..."} when what comes is not usable, and a last
{"class":"ERROR","message":"..."} when the port can't be opened, is lost or
sends nothing for --silence-ms; sms_gps then ends with 1.  It ends with 0
when its output is closed, 2 after a bad command line.  sms_campaign starts
it from beside itself for a GPS source nmea:PORT, and again after an end.)";

// Writes `line` to standard output; false when the output is gone.
bool put(const std::string& line) {
  return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() &&
         std::fflush(stdout) == 0;
}

}  // namespace

int gps_reader_main(int argc, char** argv) {
  CLI::App app(kDescription, "sms_gps");
  app.footer(kFooter);
  std::string text;
  int silenceMs = 5000;
  app.add_option("SOURCE", text, "nmea:PORT[,BAUD]")->required();
  app.add_option("--silence-ms", silenceMs,
                 "Milliseconds without a byte after which the receiver counts as lost "
                 "(default 5000)")
      ->check(CLI::Range(100, 3600000));
  app.set_version_flag("--version", std::string("sms_gps ") + kVersion);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? 0 : kGpsReaderRefused;
  }
  GpsSourceAddress address;
  std::string error;
  if (!parse_gps_source(text, &address, &error)) {
    std::fprintf(stderr, "sms_gps: %s\n", error.c_str());
    return kGpsReaderRefused;
  }
  if (address.kind != GpsSourceAddress::Kind::kNmea) {
    std::fprintf(stderr, "sms_gps: reads nmea:PORT[,BAUD] sources only, not \"%s\"\n",
                 text.c_str());
    return kGpsReaderRefused;
  }
  std::unique_ptr<GpsFeed> feed =
      make_nmea_feed(nmea_device_of(address), address.baudRate, address.name, silenceMs);
  if (!feed->open()) return put(reader_error_line(feed->lastError)) ? kGpsReaderLost : 0;
  std::string note;
  while (true) {
    GpsFix fix;
    FeedRead result = feed->read(&fix, 200);
    if (result == FeedRead::kLost) {
      return put(reader_error_line(feed->lastError)) ? kGpsReaderLost : kGpsReaderStopped;
    }
    if (result == FeedRead::kFix && !put(reader_fix_line(fix))) return kGpsReaderStopped;
    if (feed->note() != note) {
      note = feed->note();
      if (!put(reader_note_line(note))) return kGpsReaderStopped;
    }
  }
}

}  // namespace smstest
