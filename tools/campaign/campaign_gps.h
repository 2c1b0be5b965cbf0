// Positions for the runs of a campaign (--gps SOURCE): the source's text
// checked before anything runs, the mark of a run's start and end (the fix
// current then, or why there is none) and its place in runs.jsonl.
//
// Each run gets as its latLong the position of the fix current at its start
// ("45.501700;-73.567300", as sms_report reads it), or "-" when there is no
// fix or the latest is older than kGpsMaxAgeSeconds; runs.jsonl keeps both
// marks with the reason.  The source is read by a thread of its own
// (gps/gps_source.h) that reconnects after the GPS went away, so a lost GPS
// never holds a run up.  An NMEA receiver is read by sms_gps, found beside
// sms_campaign: the campaign itself links no serial code.
#pragma once

#include <memory>
#include <string>

#include "gps/gps_source.h"

namespace smstest {

// A fix older than this is no position for a run.
constexpr double kGpsMaxAgeSeconds = 5;

// The name of the NMEA reader program on this platform ("sms_gps",
// "sms_gps.exe").
std::string gps_reader_program_name();

// Reads --gps `text`.  For an NMEA source the reader program is
// `readerDir`/sms_gps and must be there.  False with the refusal in `error`
// ("--gps: unknown GPS source ...", "--gps nmea:COM3: sms_gps not found at
// PATH").
bool check_campaign_gps(const std::string& text, const std::string& readerDir,
                        GpsSourceAddress* address, std::string* error);

// A run's position at one moment.
struct GpsMark {
  std::string latLong = "-";  // the run's latLong argument
  GpsReading reading;
};

// The mark of `reading`.
GpsMark gps_mark(const GpsReading& reading);

// The "gps" member of a run's runs.jsonl object, as JSON text:
//   {"source":"gpsd:localhost:2947","start":MARK,"end":MARK}
// each MARK {"latLong":..., "reason":... (only without a position), "time",
// "lat", "lon", "mode", "horizontalError", "speed", "age"}: the fix's
// values (null when unknown or without a position; time "" when unknown),
// age in seconds since the fix came (null before any).
std::string gps_record_json(const std::string& source, const GpsMark& start, const GpsMark& end);

}  // namespace smstest
