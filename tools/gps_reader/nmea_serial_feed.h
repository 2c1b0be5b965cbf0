// An NMEA 0183 receiver on a serial port, read through the serial device
// layer: the feed sms_gps reads (gps_reader.h).
#pragma once

#include <memory>
#include <string>

#include "gps/gps_feed.h"
#include "gps/gps_source.h"

namespace smstest {

// The device of an NMEA source: serial_device_name(comPort) for a COM port
// number, else the path as given.
std::string nmea_device_of(const GpsSourceAddress& address);

// An NMEA receiver on device `device` at `baudRate`; `name` ("nmea:COM3")
// goes into the messages.  Bytes that stop coming for `silenceMs` count as a
// lost source, so that a receiver unplugged and plugged back under the same
// name is opened again.
std::unique_ptr<GpsFeed> make_nmea_feed(const std::string& device, int baudRate,
                                        const std::string& name, int silenceMs);

}  // namespace smstest
