// Named options of a command file: the lines after line 3 that read
// `name=value`.  Every other line after line 3 is ignored, so command files
// written before options existed read as they always did.
//
// The options a command file may hold are the rows of option_table(); a
// later option is one more row there (its name, the value it takes, the
// function that checks and stores that value, its help text) and the
// member of CommandOptions that holds its value.  The README and the SMS_TEST manual page keep
// one table of all rows (a test compares them with option_table()).
#pragma once

#include <string>
#include <vector>

namespace smstest {

// How the standard command sets read the bytes of messageText (option
// charset, message_text.h): as UTF-8 when they are valid UTF-8, else as
// ISO-8859-1 (kAuto); or always as one of the two.
enum class MessageCharset { kAuto, kLatin1, kUtf8 };

// The largest length= a command file may ask for.
constexpr int kMaxLengthOption = 10000;

// The options of one command file, as given (checked).
struct CommandOptions {
  std::vector<std::string> given;  // the names of the options read so far
  bool hasRecord = false;
  std::string record;  // the run-record file
  bool hasCommandSet = false;
  std::string commandSet;  // as field 12 of line 3 takes it
  MessageCharset charset = MessageCharset::kAuto;
  // report=1: every message the run sends asks for a status report.
  bool report = false;
  // wait=report: the round trip ends on the final status report of the
  // message sent to toNumber instead of on a received message (report=1
  // is then implied).
  bool waitReport = false;
  int radio = -1;  // radio=0 or 1; -1 when not given
  // A text longer than one message (pdu command set): reference=8 or 16,
  // the size of the concatenation reference; maxParts=N, the most parts a
  // message may take (1 to 255).
  int referenceBits = 8;
  int maxParts = 10;
  // length=N: the run sends exactly N characters (the marker, messageText,
  // then a filler); -1 when not given.
  int length = -1;
};

// One option: `take` checks `value` and stores it in `options`; false with
// why the value is bad in `why`.
struct OptionRow {
  const char* name;
  const char* value;  // how the manual writes the value, e.g. "FILE"
  bool (*take)(const std::string& value, CommandOptions& options, std::string& why);
  const char* help;
};

// Every option, in the order the manual lists them; ends with a row whose
// name is nullptr.
const OptionRow* option_table();

// The option name of `line` (without its line end) when the line reads
// `name=value` (a name is a letter, then letters, digits, '_', '-' or '.'),
// with the value after the '=' in `value`, trimmed of C-locale white space.
// False for any other line.
bool split_option_line(const std::string& line, std::string& name, std::string& value);

// Takes the option of `line` into `options` when the line is one.  A line
// that is no option is passed over.  False with the message for the error
// stream in `error` for an unknown name ("Unknown option %s in %s\n"), a bad
// value ("Bad value for option %s in %s: %s\n") or an option given again
// ("Option %s given twice in %s\n"); `cmdFile` names the command file.
bool take_option_line(const std::string& line, const char* cmdFile, CommandOptions& options,
                      std::string& error);

}  // namespace smstest
