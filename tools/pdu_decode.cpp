// pdu_decode: decodes SMS-DELIVER PDUs given as hex text, for people who
// meet them in the field (a modem log, an AT+CMGR answer).
//
//   pdu_decode PDU...      one PDU per argument
//   pdu_decode < file      one PDU per line; blank lines are skipped
//   pdu_decode --version   prints "pdu_decode <version>"
//
// Prints one JSON object per PDU on standard output (see pdu_json.h).  A PDU
// that does not decode gets an object with its "error", and the decoder's
// message goes to standard error.  Exit code 0 when every PDU decoded, else 1.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "common/text.h"
#include "common/version.h"
#include "pdu/sms_deliver.h"
#include "tools/pdu_json.h"

namespace smstest {

namespace {

const char kUsage[] =
    "usage: pdu_decode [PDU...]\n"
    "       pdu_decode --help | --version\n"
    "Decodes SMS-DELIVER PDUs (service-centre address first) given as hex text,\n"
    "as arguments or one per line on standard input, into one JSON object each.\n";

std::string read_all(FILE* file) {
  std::string out;
  std::rewind(file);
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  return out;
}

// Decodes one PDU and prints its line.  The decoder traces to stderr itself;
// a scratch log catches the same message for the JSON.
bool decode_one(const std::string& pdu) {
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
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return sms != nullptr;
}

}  // namespace

}  // namespace smstest

int main(int argc, char** argv) {
  using namespace smstest;
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("pdu_decode %s\n", kVersion);
    return 0;
  }
  bool allDecoded = true;
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) allDecoded = decode_one(argv[i]) && allDecoded;
  } else {
    std::string line;
    while (std::getline(std::cin, line)) {
      std::string pdu = trim_text(line);
      if (!pdu.empty()) allDecoded = decode_one(pdu) && allDecoded;
    }
  }
  return allDecoded ? 0 : 1;
}
