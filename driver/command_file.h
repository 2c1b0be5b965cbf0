// The command file of a run and its parameter record.
//
// A command file holds three text lines: "SMS_TEST", the name of the result
// file, and the parameter record, eleven fields separated by '|' and an
// optional twelfth:
//   testName|testTimeout|fromPort|toNumber|messageText|reservedA|reservedB|
//   fromBaud|toPort|toBaud|reflectMode[|commandSet]
// Text fields are taken unchanged (no trimming, no quoting); integer fields
// read like the C runtime's atoi.  Only commandSet is trimmed of white space
// (its line end included).
#pragma once

#include <cstdio>
#include <string>

#include "driver/command_options.h"

namespace smstest {

// The N-th field (from 0) of `text` split at `delimiter`.  A missing field
// (N negative or past the last delimiter) is the empty text, like an empty
// field.  The last field runs to the end of the text.
std::string get_field(const char* text, int index, char delimiter);

// The integer at the start of `text` as atoi reads it: leading C-locale white
// space, an optional sign, decimal digits up to the first other character;
// 0 when there is no number.  Values beyond the 32-bit range saturate
// instead of overflowing.
int parse_int(const char* text);

class SmsTestParams {
 public:
  // Fills all twelve fields from `line`, whatever it holds.
  void parse(std::string line, char delimiter);

  std::string testName;
  int testTimeout = 0;
  int fromPort = 0;
  std::string toNumber;
  std::string messageText;
  int reservedA = 0;
  int reservedB = 0;
  int fromBaud = 0;
  int toPort = 0;
  int toBaud = 0;
  int reflectMode = 0;
  // The command set: "" (the modem's proprietary commands) or "text" (the
  // standard SMS commands in text mode); the driver checks it.
  std::string commandSet;
};

// Size of the command file's line buffer: a read takes at most 1023
// characters, so a longer line comes back in pieces.
constexpr int kCommandLineBuffer = 1024;

// Reads one text line into `buffer` the way a text-mode read does: up to and
// including the line end, at most kCommandLineBuffer - 1 characters, a CR LF
// read as a single LF.  At the end of the file nothing is read, `buffer` keeps
// what it held and the result is false.
bool read_text_line(FILE* file, char (&buffer)[kCommandLineBuffer]);

// The command file as read: the result-file name (line 2 without its last
// character), the parameter record (line 3) and the named options of the
// lines after it (command_options.h).
struct CommandFile {
  std::string resultName;
  SmsTestParams params;
  CommandOptions options;
};

// Reads and checks `cmdFile`.  On failure returns false with the message for
// the error stream in `error` ("Cannot open %s\n", "Expected SMS_TEST in the
// cmd file %s\n", "Missing result file name (line 2) in %s\n" or "Missing
// parameter line (line 3) in %s\n": a line that is missing or holds nothing
// but its line end).  A UTF-8 byte-order mark before "SMS_TEST" is skipped.
// Line 2 is the result-file name without its last character (the line end,
// or the 1023rd character of a longer line).  When line 1 ends in a
// CR that no LF follows, every lone CR of the file ends a line (and reads as
// LF); otherwise a lone CR is an ordinary byte of its line.  The lines after
// line 3 are read for options (take_option_line); a refused option, or a
// commandSet option that another commandSet field contradicts, fails with
// its message.
bool read_command_file(const char* cmdFile, CommandFile& out, std::string& error);

}  // namespace smstest
