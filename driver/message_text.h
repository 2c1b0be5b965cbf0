// The message text as the standard command sets (text and pdu) carry it:
// ISO-8859-1 bytes, one per character, which the PDU encoder puts in the GSM
// 7-bit alphabet or in UCS2 as the characters need (pdu/pdu_encode.h) and
// text mode passes to the modem.  A command file written in UTF-8 (as most
// editors save today) holds "é" as two bytes; read as UTF-8 it is the one
// character ISO-8859-1 gives 0xE9.  The proprietary set sends the bytes of
// the command file as they are, without this reading.
#pragma once

#include <string>

#include "driver/command_options.h"

namespace smstest {

// Reads `text` as `charset` says into `latin1`:
// - kLatin1: every byte is one character: `latin1` is `text`;
// - kUtf8: `text` must be valid UTF-8 ("is not valid UTF-8" otherwise), and
//   each character becomes its ISO-8859-1 byte;
// - kAuto: as kUtf8 when `text` is valid UTF-8, else as kLatin1 (so a file
//   written in ISO-8859-1 reads as it always did).
// A character beyond U+00FF has no ISO-8859-1 byte: false with why in `why`
// ("holds U+20AC, which ...").  `latin1` is left alone on failure.
bool message_text_latin1(const std::string& text, MessageCharset charset, std::string& latin1,
                         std::string& why);

}  // namespace smstest
