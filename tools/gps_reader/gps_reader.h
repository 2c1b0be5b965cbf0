// sms_gps: reads an NMEA 0183 receiver on a serial port and writes each fix
// as a line on standard output (gps/reader_line.h).  sms_campaign --gps
// nmea:PORT starts it and reads its lines, so that the campaign itself
// links no serial code; it is also a quick look at a receiver by hand.
//
// It opens the port once: when the port can't be opened, is lost, or falls
// silent, sms_gps writes an ERROR line and ends with 1; the campaign starts
// it again, waiting longer each time.  A closed standard output (the
// campaign gone) ends it with 0.  Header to open first.
#pragma once

namespace smstest {

// Exit codes of sms_gps.
constexpr int kGpsReaderStopped = 0;  // its output was closed
constexpr int kGpsReaderLost = 1;     // the receiver could not be opened, or was lost
constexpr int kGpsReaderRefused = 2;  // bad command line

// The whole program.
int gps_reader_main(int argc, char** argv);

}  // namespace smstest
