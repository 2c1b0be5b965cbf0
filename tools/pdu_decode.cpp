// pdu_decode: decodes SMS-DELIVER PDUs given as hex text, for people who
// meet them in the field (a modem log, an AT+CMGR answer), and encodes the
// SMS-SUBMIT PDU of a text, to try a modem in PDU mode by hand.
//
//   pdu_decode PDU...                   one PDU per argument
//   pdu_decode < file                   one PDU per line; blank lines are skipped
//   pdu_decode --submit NUMBER TEXT     the AT+CMGS line and the PDU for TEXT
//   pdu_decode --version                prints "pdu_decode <version>"
//
// Decoding prints one JSON object per PDU on standard output (see
// pdu_json.h).  A PDU that does not decode gets an object with its "error",
// and the decoder's message goes to standard error.  Exit code 0 when every
// PDU decoded, 1 when one did not, 2 for a usage error or a text that cannot
// be encoded.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/version.h"
#include "pdu/pdu_encode.h"
#include "pdu/sms_deliver.h"
#include "pdu/sms_status_report.h"
#include "pdu/sms_submit.h"
#include "tools/pdu_json.h"

namespace smstest {

namespace {

const char kHelp[] =
    "usage: pdu_decode [PDU...]\n"
    "       pdu_decode --submit [--utf8] NUMBER TEXT\n"
    "       pdu_decode --help | --version\n"
    "\n"
    "Decodes SMS PDUs (service-centre address first) given as hex text, as\n"
    "arguments or one per line on standard input, into one JSON object each.  The\n"
    "message type indicator of the first octet tells an SMS-SUBMIT (what --submit\n"
    "prints, \"messageType\":\"SMS-SUBMIT\" in the object) and an SMS-STATUS-REPORT\n"
    "(type 2, \"messageType\":\"SMS-STATUS-REPORT\") from an SMS-DELIVER.\n"
    "Exit code 0 when every PDU decoded, 1 when one did not, 2 for a usage error.\n"
    "\n"
    "  --submit NUMBER TEXT\n"
    "      Encodes TEXT to NUMBER as an SMS-SUBMIT PDU and prints two lines: the\n"
    "      command AT+CMGS=<length>, whose length counts the octets of the PDU\n"
    "      after its leading 00 (the TPDU), and the PDU to type at the command's\n"
    "      \"> \" prompt, ended with Ctrl-Z.  The PDU names no service centre (the\n"
    "      modem's own is used) and asks for a validity of 4 days.\n"
    "      NUMBER is digits, with a leading + for an international number.  TEXT\n"
    "      is taken byte for byte as ISO-8859-1, as SMS_TEST takes message texts.\n"
    "      It goes in the GSM 7-bit alphabet when every character has a form\n"
    "      there, otherwise in UCS2.  One message holds 160 septets (each of\n"
    "      ^ { } [ ] ~ \\ | and form feed takes two) or 70 UCS2 characters.\n"
    "      Exit code 2 for a text too long, a bad number or bad arguments.\n"
    "      Put -- before NUMBER when TEXT starts with '-'.\n"
    "  --utf8\n"
    "      With --submit: TEXT is UTF-8 (as typed on most terminals), converted\n"
    "      to ISO-8859-1 first; a character beyond U+00FF is an error (exit 2).\n"
    "  -h, --help\n"
    "      This text.\n"
    "  --version\n"
    "      Prints \"pdu_decode <version>\".\n"
    "Options come before the other arguments; \"--\" ends them explicitly.\n";

std::string read_all(FILE* file) {
  std::string out;
  std::rewind(file);
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  return out;
}

void print_line(std::string line) {
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

// A refusal of our own (not the decoder's): its message on stderr and in
// the error object.
bool refuse(const std::string& pdu, const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  print_line(failure_json(pdu, message));
  return false;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Empty when `pdu` is hex digits in pairs, else what is wrong with it.
std::string hex_fault(const std::string& pdu) {
  for (size_t i = 0; i < pdu.size(); ++i) {
    if (hex_value(pdu[i]) < 0) {
      const unsigned char c = static_cast<unsigned char>(pdu[i]);
      const std::string shown = c > 0x20 && c < 0x7F ? format("'%c'", c) : format("\\x%02X", c);
      return format("Not a PDU in hex: the character %s at position %d is not a hex digit",
                    shown.c_str(), static_cast<int>(i) + 1);
    }
  }
  if (pdu.size() % 2 != 0) {
    return format("Not a PDU in hex: an odd number of hex digits (%d)",
                  static_cast<int>(pdu.size()));
  }
  return "";
}

// TP-MTI, the two low bits of the TPDU's first octet after the service-centre
// part; -1 when the PDU is too short to hold that octet.
int message_type(const std::string& pdu) {
  if (pdu.size() < 2) return -1;
  const int scaOctets = hex_value(pdu[0]) * 16 + hex_value(pdu[1]);
  const size_t scaLength = static_cast<size_t>(scaOctets);
  const size_t at = 2 + 2 * scaLength;
  if (pdu.size() < at + 2) return -1;
  return hex_value(pdu[at + 1]) & 0x03;
}

bool decode_submit(const std::string& pdu) {
  SmsSubmit submit;
  std::string error;
  if (!decode_sms_submit(pdu, submit, error)) return refuse(pdu, error);
  print_line(sms_submit_json(pdu, submit));
  return true;
}

bool decode_status_report(const std::string& pdu) {
  SmsStatusReport report;
  std::string error;
  if (!decode_sms_status_report(pdu, true, report, error)) return refuse(pdu, error);
  print_line(sms_status_report_json(pdu, report));
  return true;
}

// Decodes one SMS-DELIVER and prints its line.  The decoder traces to stderr
// itself; a scratch log catches the same message for the JSON.
bool decode_deliver(const std::string& pdu) {
  FILE* log = std::tmpfile();
  std::unique_ptr<SmsDeliver> sms = decode_pdu(pdu.c_str(), log);
  std::string line;
  if (sms) {
    line = sms_deliver_json(pdu, *sms);
  } else {
    line = failure_json(pdu, log != nullptr ? read_all(log) : "decode failed");
  }
  traceFile = nullptr;  // the log is closed below and must not be written again
  if (log != nullptr) std::fclose(log);
  print_line(line);
  return sms != nullptr;
}

// Hex text is read by its message type: a PDU on its way to the service
// centre (type 1, what --submit prints and a modem is handed after
// AT+CMGS) as an SMS-SUBMIT, a delivery report (type 2) as an
// SMS-STATUS-REPORT, type 0 (and a PDU too short to tell) as an
// SMS-DELIVER, as the modem hands it over.
bool decode_one(const std::string& pdu) {
  const std::string fault = hex_fault(pdu);
  if (!fault.empty()) return refuse(pdu, fault);
  switch (message_type(pdu)) {
    case 1:
      return decode_submit(pdu);
    case 2:
      return decode_status_report(pdu);
    case 3:
      return refuse(pdu, "Reserved message type indicator 3");
    default:
      return decode_deliver(pdu);
  }
}

// "--name" or "-x" with a letter: what a mistyped option looks like.  A PDU
// never does; "-1" (a quirk the decoder reads as the octet FF) stays a PDU.
bool looks_like_option(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  const char c = arg[1];
  return c == '-' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "pdu_decode: %s\nRun pdu_decode --help for the usage.\n", message.c_str());
  return 2;
}

int submit(const std::vector<std::string>& args, bool utf8) {
  if (args.size() != 2) return usage_error("--submit takes two arguments, NUMBER and TEXT");
  std::string text = args[1];
  std::string error;
  if (utf8 && !utf8_to_latin1(args[1], text, error)) {
    std::fprintf(stderr, "pdu_decode: TEXT: %s\n", error.c_str());
    return 2;
  }
  smstest::EncodedPdu pdu;
  if (!smstest::encode_sms_submit(args[0], text, pdu, error)) {
    std::fprintf(stderr, "pdu_decode: %s\n", error.c_str());
    return 2;
  }
  std::printf("AT+CMGS=%d\n%s\n", pdu.tpduLength, pdu.hex.c_str());
  return 0;
}

}  // namespace

}  // namespace smstest

namespace {

int run_main(int argc, char** argv) {
  using namespace smstest;
  CLI::App app("pdu_decode");
  app.formatter_fn([](const CLI::App*, std::string, CLI::AppFormatMode) { return kHelp; });
  bool submitMode = false;
  bool utf8 = false;
  CLI::Option* submitFlag = app.add_flag("--submit", submitMode);
  app.add_flag("--utf8", utf8)->needs(submitFlag);
  app.set_version_flag("--version", std::string("pdu_decode ") + kVersion);
  // Options come first; the first other argument and everything after it are
  // the PDUs or NUMBER and TEXT, taken as they are, so that a TEXT may start
  // with '-' and no argument is split as a "[a,b]" list.
  app.prefix_command();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForVersion& e) {
    std::printf("%s\n", e.what());
    return 0;
  } catch (const CLI::CallForHelp&) {
    std::fputs(kHelp, stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    return usage_error(e.what());
  }
  std::vector<std::string> args = app.remaining();
  if (!args.empty() && args[0] == "--") {
    args.erase(args.begin());
  } else if (!args.empty() && looks_like_option(args[0])) {
    return usage_error("unknown option " + args[0]);
  }
  if (submitMode) return submit(args, utf8);

  bool allDecoded = true;
  if (!args.empty()) {
    for (const std::string& pdu : args) allDecoded = decode_one(pdu) && allDecoded;
  } else {
    std::string line;
    while (std::getline(std::cin, line)) {
      std::string pdu = trim_text(line);
      if (!pdu.empty()) allDecoded = decode_one(pdu) && allDecoded;
    }
  }
  return allDecoded ? 0 : 1;
}

}  // namespace

// A library's exception that escapes (out of memory, say) ends the program
// with a message and the usage-error code instead of an abort.
int main(int argc, char** argv) {
  try {
    return run_main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", "pdu_decode", e.what());
    return 2;
  }
}
