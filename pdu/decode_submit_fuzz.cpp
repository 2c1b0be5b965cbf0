// libFuzzer target for decode_sms_submit: the hex text comes from outside
// (whatever a sender writes after the AT+CMGS prompt).  Seeds:
// submit_fuzz_corpus/, one PDU per file.
//
// Beside the decoder's own bounds, two differential checks: a decoded
// number and text that the encoder accepts come back unchanged through
// encode_sms_submit and the decoder; and the input taken as ISO-8859-1 text
// survives the same round trip whenever it fits one message.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pdu/gsm7_encode.h"
#include "pdu/pdu_encode.h"
#include "pdu/sms_submit.h"

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

// The text through the encoder and back, when the encoder takes it.
void check_round_trip(const std::string& number, const std::string& text) {
  smstest::EncodedPdu pdu;
  std::string error;
  if (!smstest::encode_sms_submit(number, text, pdu, error)) {
    check(!error.empty());
    return;
  }
  check(pdu.hex.size() == 2 + 2 * static_cast<size_t>(pdu.tpduLength));
  smstest::SmsSubmit back;
  check(smstest::decode_sms_submit(pdu.hex, back, error));
  check(back.number == number);
  check(back.text == text);
  check(back.tpduLength == pdu.tpduLength);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  check_round_trip("+12345", input);

  smstest::SmsSubmit submit;
  std::string error;
  if (!smstest::decode_sms_submit(input, submit, error)) {
    check(!error.empty() && error.find('\n') == std::string::npos);
    return 0;
  }
  check(submit.alphabet >= 0 && submit.alphabet <= 2);
  check(submit.tpduLength > 0 && 2 * static_cast<size_t>(submit.tpduLength) < input.size());
  check(submit.validityPeriod.size() <= 7);
  check(submit.number.size() <= 21);
  check(submit.text.size() <= 160);
  check(submit.udhi || submit.header.empty());
  // Every byte the 7-bit decoding yields has a 7-bit form again.
  if (submit.alphabet == 0) check(smstest::maps_to_gsm7(submit.text));
  if (!submit.udhi && submit.alphabet != 1) check_round_trip(submit.number, submit.text);
  return 0;
}
