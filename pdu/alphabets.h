// User-data alphabets of the SMS-DELIVER decoder (sms_deliver.h) and its
// diagnostic output.
//
// The conversions turn the user data of a TPDU into 8-bit text: GSM 7-bit
// packed data (TS 23.038 default alphabet with its extension table) and UCS2
// become ISO-8859-1; 8-bit data needs no conversion.  None of them allocates:
// the caller provides every output buffer.  `trace` is the one channel through
// which the decoder reports; it writes to the error stream and to `traceFile`.
#pragma once

#include <cstdio>

namespace smstest {

// The decoder's log: every trace line also goes here when it is set.
// decode_pdu sets it from its log argument on every call, and it stays set
// until the next call.  Only written and flushed here, never opened or closed:
// the stream belongs to whoever handed it to the decoder.  Process-wide and
// unlocked; the program calls the decoder from one thread.
extern FILE* traceFile;

// printf-style diagnostic line: to stderr, then to `traceFile` when set; both
// are flushed.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Whether the lines that a successful decode traces ("Error calling
// wctomb!\n" for a character ISO-8859-1 lacks) go to stderr too (the
// default); when false they go to `traceFile` only.  Failure lines always go
// to both.  A session that decodes for a run turns it off: a character the
// text can't hold is no failure of the run.
extern bool traceLossToStderr;

// Unpacks `count` septets of GSM 7-bit packed data into one byte each (no
// terminator).  Septet k is bits 7k..7k+6 of the bit stream whose bit 0 is bit
// 0 of packed[0].  Reads exactly (7 * count + 7) / 8 octets.  Returns the
// number of septets written: `count`, or 0 when `count` is 0 or negative.
int unpack_septets(const unsigned char* packed, int count, unsigned char* septets);

// Converts `count` septets of the default alphabet into ISO-8859-1 text and a
// terminating zero: at most `count` + 1 bytes.  An escape (0x1B) and the code
// after it give one character from the extension table.  An escape that is the
// last of the `count` septets gives '?'; nothing past the septets is read.
// Bytes of 0x80 or more give '?'.  Characters that ISO-8859-1 lacks give '?'.
// `text` may be the same buffer as `septets`: the output never gets ahead of
// the input.
void gsm_to_latin1(int count, const unsigned char* septets, char* text);

// The ISO-8859-1 byte for one extension-table code (the septet after an
// escape); '?' for codes the table does not hold.
char gsm_ext_to_latin1(unsigned char code);

// Converts `octetCount` / 2 big-endian UCS2 code units (an odd last octet is
// ignored) into text and a terminating zero, as wctomb does in the C locale
// whatever the process locale is: a code unit up to 0xFF becomes that byte
// (0x0000 a zero byte inside the text); every other one, surrogate halves
// included, becomes '?' after tracing "Error calling wctomb!\n".  Writes at
// most octetCount / 2 + 1 bytes.  Returns the bytes written, the terminator
// not counted.
int ucs2_to_mbcs(int octetCount, char* text, const unsigned char* data);

}  // namespace smstest
