#include "driver/command_file.h"

#include <climits>
#include <cstring>

#include "common/command_set.h"
#include "common/text.h"

namespace smstest {

std::string get_field(const char* text, int index, char delimiter) {
  std::string result;
  size_t length = std::strlen(text);
  int field = 0;
  size_t start = 0;
  size_t j = 0;
  for (; j < length; ++j) {
    if (field > index) break;
    if (text[j] == delimiter) {
      if (field == index) result.assign(text + start, j - start);
      start = j + 1;
      ++field;
    }
  }
  if (j == length && field == index) result.assign(text + start, length - start);
  return result;
}

int parse_int(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (is_c_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

void SmsTestParams::parse(std::string line, char delimiter) {
  const char* text = line.c_str();
  testName = get_field(text, 0, delimiter);
  testTimeout = parse_int(get_field(text, 1, delimiter).c_str());
  fromPort = parse_int(get_field(text, 2, delimiter).c_str());
  toNumber = get_field(text, 3, delimiter);
  messageText = get_field(text, 4, delimiter);
  reservedA = parse_int(get_field(text, 5, delimiter).c_str());
  reservedB = parse_int(get_field(text, 6, delimiter).c_str());
  fromBaud = parse_int(get_field(text, 7, delimiter).c_str());
  toPort = parse_int(get_field(text, 8, delimiter).c_str());
  toBaud = parse_int(get_field(text, 9, delimiter).c_str());
  reflectMode = parse_int(get_field(text, 10, delimiter).c_str());
  commandSet = trim_text(get_field(text, 11, delimiter));
}

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// A line that holds nothing but its line end (or nothing at all).
bool is_empty_line(const char* line) { return line[0] == '\0' || std::strcmp(line, "\n") == 0; }

// read_text_line; with `crEndsLines` a CR that no LF follows ends the line
// too and reads as LF.  `loneCr` (when given) tells whether one did.
bool read_line(FILE* file, char (&buffer)[kCommandLineBuffer], bool crEndsLines, bool* loneCr) {
  if (loneCr != nullptr) *loneCr = false;
  // Read into a scratch line first so that a read at the end of the file
  // leaves the caller's buffer as it was.
  char line[kCommandLineBuffer];
  int used = 0;
  while (used < kCommandLineBuffer - 1) {
    int c = std::fgetc(file);
    if (c == EOF) break;
    if (c == '\r') {
      // Text mode: CR LF reads as LF; a CR before anything else stays.
      int next = std::fgetc(file);
      if (next == '\n') {
        c = '\n';
      } else {
        if (next != EOF) std::ungetc(next, file);
        if (crEndsLines) {
          c = '\n';
          if (loneCr != nullptr) *loneCr = true;
        }
      }
    }
    line[used++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (used == 0) return false;
  std::memcpy(buffer, line, used);
  buffer[used] = '\0';
  return true;
}

// The rest of the file after line 3 (whose last piece read is `line3`):
// its option lines go into out.options.  The commandSet option and field 11
// of line 3 must agree when both are given; the option fills an empty field.
bool read_options(FILE* file, bool crLines, const char* line3, const char* cmdFile,
                  CommandFile& out, std::string& error) {
  char buffer[kCommandLineBuffer] = "";
  // What is left of a line 3 longer than one read belongs to it.
  bool inLine3 = std::strchr(line3, '\n') == nullptr;
  std::string line;
  while (read_line(file, buffer, crLines, nullptr)) {
    line += buffer;
    if (line.back() != '\n') continue;  // a piece of a longer line
    line.pop_back();
    if (!inLine3 && !take_option_line(line, cmdFile, out.options, error)) return false;
    inLine3 = false;
    line.clear();
  }
  // A last line without its line end.
  if (!inLine3 && !take_option_line(line, cmdFile, out.options, error)) return false;
  const CommandOptions& options = out.options;
  if (options.hasCommandSet) {
    std::string& field = out.params.commandSet;
    CommandSet fieldSet = CommandSet::kProprietary;
    CommandSet optionSet = CommandSet::kProprietary;
    const bool same = command_set_from_name(field, fieldSet) &&
                      command_set_from_name(options.commandSet, optionSet) && fieldSet == optionSet;
    if (!field.empty() && !same) {
      error = format("Option commandSet=%s in %s differs from the commandSet field %s of line 3\n",
                     options.commandSet.c_str(), cmdFile, field.c_str());
      return false;
    }
    field = options.commandSet;
  }
  return true;
}

}  // namespace

bool read_text_line(FILE* file, char (&buffer)[kCommandLineBuffer]) {
  return read_line(file, buffer, false, nullptr);
}

bool read_command_file(const char* cmdFile, CommandFile& out, std::string& error) {
  FILE* file = std::fopen(cmdFile, "r");
  if (file == nullptr) {
    error = format("Cannot open %s\n", cmdFile);
    return false;
  }
  char buffer[kCommandLineBuffer] = "";
  // A file written with lone CRs as line ends (as old Mac editors do) is
  // read by its lines too; which kind of line end the file uses, its first
  // line tells.
  bool crLines = false;
  read_line(file, buffer, true, &crLines);
  // An editor that saves UTF-8 may put a byte-order mark first.
  const char* line1 = buffer;
  if (std::strncmp(line1, kByteOrderMark, 3) == 0) line1 += 3;
  if (std::strncmp(line1, "SMS_TEST", 8) != 0) {
    std::fclose(file);
    error = format("Expected SMS_TEST in the cmd file %s\n", buffer);
    return false;
  }
  if (!read_line(file, buffer, crLines, nullptr) || is_empty_line(buffer)) {
    std::fclose(file);
    error = format("Missing result file name (line 2) in %s\n", cmdFile);
    return false;
  }
  size_t length = std::strlen(buffer);
  out.resultName.assign(buffer, length - 1);
  if (!read_line(file, buffer, crLines, nullptr) || is_empty_line(buffer)) {
    std::fclose(file);
    error = format("Missing parameter line (line 3) in %s\n", cmdFile);
    return false;
  }
  out.params.parse(buffer, '|');
  const bool ok = read_options(file, crLines, buffer, cmdFile, out, error);
  std::fclose(file);
  return ok;
}

}  // namespace smstest
