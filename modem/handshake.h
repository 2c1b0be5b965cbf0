// Opening a modem's port: the port's device with the test's settings
// (ComPort::open_line), then the handshake that shows a modem is there and
// switches its echo off.  Two forms, one per kind of session.
//
// The proprietary session's (open_modem_port), in fixed read requests:
//   "AT\r"    answer read for up to 3 s and ignored: the first "AT" may be
//             swallowed by a modem that is just waking up or still sorting
//             out the baud rate;
//   "AT\r"    some answer needed within 3 s ("ERROR" proves a modem as well
//             as "OK");
//   "ATE0\r"  answer read for up to 1 s and ignored.
// The answers are read with ComPort::read_com and logged in its records;
// each read lasts at least one 100 ms request after the answer's last
// chunk.  Takes up to about 7 s against a silent modem.
//
// The standard session's (answering_handshake) sends the same commands but
// waits for answers, not time: each read ends when the answer's final
// result code has arrived (AtReader::read_answer).  The first "AT" is tried
// again only when no final result code came within 3 s; then any answer
// within 3 s proves a modem.  "ATE0" is given 3 s too (a modem that sends
// its answers in slow pieces needs more than the whole second that a 1 s
// deadline in whole seconds may be).  After that the line must
// be quiet for kSettleQuietMs: a modem that answered the first "AT" late, or
// a noisy line, is read out before the first SMS command.  Against a modem
// that answers at once the whole handshake takes a few milliseconds plus
// the quiet time.
#pragma once

#include <cstdint>
#include <string>

namespace smstest {

class AtReader;
class ComPort;

// False with `port.lastError` set when:
// - the device can't be opened or configured (ComPort::open_line's texts);
// - the second "AT\r" can't be written: the write_com text; the port stays
//   open;
// - no answer to the second "AT\r": "%s failed to respond to at comand. ..."
//   (the device name), or the interruption's text; port closed.
bool open_modem_port(ComPort& port, int portNumber, int baudRate, int testTimeout,
                     int64_t testStart);

// The standard handshake on `port`, opened already (ComPort::open_line) and
// read with `reader` in its short requests (ComPort::set_request_timing),
// which the quiet time at the end replaces: set them again after.
// False with `error` set, and the port closed, for the failures of
// open_modem_port after the open, and with the reader's text when the port
// fails while it reads.  An interrupted run ends at its next write (the
// reader looks at no signal): within 3 s.
bool answering_handshake(ComPort& port, AtReader& reader, std::string& error);

// How long the line must stay quiet after the standard handshake before the
// first command.  A modem at 115200 baud sends a byte every 87 us and
// answers a command within a few milliseconds; the simulator on a loaded
// two-core machine answers within 1 to 5 ms.  20 ms is several times any
// gap inside one answer on such a line, and short next to a round trip.
constexpr int kSettleQuietMs = 20;

}  // namespace smstest
