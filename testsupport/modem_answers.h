// Test support: scripted answers of a modem, for the fake serial device
// (fake_serial_device.h) and the pseudo-terminal peer (pty_peer.h) alike.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace smstest {

// The chunks to send back for one command written by the code under test
// (its bytes, the final CR included); an empty list is silence.
using Responder = std::function<std::vector<std::string>(const std::string& command)>;

// Answers like a modem with echo off: "\r\nOK\r\n" to everything, except
// the commands that start with one of the prefixes in `answers` (the first
// that matches wins), which get that answer as one chunk, or silence when
// the answer is "".
Responder modem_like(std::vector<std::pair<std::string, std::string>> answers);

}  // namespace smstest
