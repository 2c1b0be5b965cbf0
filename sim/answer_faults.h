// Faults that reshape a simulated modem's answers as a whole, whatever the
// command: an unsolicited line inside the answer, an answer written one byte
// at a time.  Used by the modem (modem.h) after its chunking.
#pragma once

#include <string>
#include <vector>

#include "sim/modem.h"

namespace smstest {

// `answer` with "\r\n<line>\r\n" put in front of its last line (its final
// result code, or the send prompt): inside the answer, after any information
// lines.  An answer that holds no line end gets the line in front.
std::string with_unsolicited_line(const std::string& answer, const std::string& line);

// Every piece cut into single bytes `gap` seconds apart; the first byte of a
// piece keeps that piece's pause.
std::vector<AnswerPiece> split_into_bytes(const std::vector<AnswerPiece>& pieces, double gap);

}  // namespace smstest
