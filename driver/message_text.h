// The message text as the standard command sets (text and pdu) carry it.
// Most texts are ISO-8859-1 bytes, one per character, which the PDU encoder
// puts in the GSM 7-bit alphabet or in UCS2 as the characters need
// (pdu/pdu_encode.h) and text mode passes to the modem in the "IRA" set.  A
// command file written in UTF-8 (as most editors save today) holds "é" as
// two bytes; read as UTF-8 it is the one character ISO-8859-1 gives 0xE9, so
// such a text goes on the air exactly as its ISO-8859-1 form always did.
// A text with a character beyond U+00FF (the euro sign, Cyrillic, an emoji)
// has no ISO-8859-1 form: it stays UTF-8, and the sessions send it and read
// it back as UTF-8 (SmsSession::want_utf8_texts).  The proprietary set sends
// the bytes of the command file as they are, without this reading.
#pragma once

#include <string>

#include "driver/command_options.h"

namespace smstest {

// A message text read for the standard command sets.
struct MessageText {
  std::string text;   // ISO-8859-1 bytes, or UTF-8 when `utf8`
  bool utf8 = false;  // a character of it lies beyond U+00FF
};

// Reads `bytes` as `charset` says into `out`:
// - kLatin1: every byte is one character: `out.text` is `bytes`;
// - kUtf8: `bytes` must be valid UTF-8 ("is not valid UTF-8" otherwise);
//   a text whose characters all lie in U+0000-U+00FF becomes their
//   ISO-8859-1 bytes, any other stays UTF-8 with `out.utf8` set;
// - kAuto: as kUtf8 when `bytes` is valid UTF-8, else as kLatin1 (so a file
//   written in ISO-8859-1 reads as it always did).
// False with why in `why`; `out` is left alone then.
bool read_message_text(const std::string& bytes, MessageCharset charset, MessageText& out,
                       std::string& why);

// Characters of `text`: its bytes when ISO-8859-1, its code points when
// UTF-8.
size_t message_text_length(const MessageText& text);

}  // namespace smstest
