// Opening a modem's port: the port's device with the test's settings
// (ComPort::open_device), then the handshake that shows a modem is there
// and switches its echo off:
//   "AT\r"    answer read for up to 3 s and ignored: the first "AT" may be
//             swallowed by a modem that is just waking up or still sorting
//             out the baud rate;
//   "AT\r"    some answer needed within 3 s ("ERROR" proves a modem as well
//             as "OK");
//   "ATE0\r"  answer read for up to 1 s and ignored.
// Takes up to about 7 s against a silent modem.  The answers are read with
// ComPort::read_com and logged in its records.
#pragma once

#include <cstdint>

namespace smstest {

class ComPort;

// False with `port.lastError` set when:
// - the device can't be opened or configured (ComPort::open_device's
//   texts);
// - the second "AT\r" can't be written: the write_com text; the port stays
//   open;
// - no answer to the second "AT\r": "%s failed to respond to at comand. ..."
//   (the device name), or the interruption's text; port closed.
bool open_modem_port(ComPort& port, int portNumber, int baudRate, int testTimeout,
                     int64_t testStart);

}  // namespace smstest
