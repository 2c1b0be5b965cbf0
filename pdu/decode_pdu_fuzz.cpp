// libFuzzer target for decode_pdu: the hex text comes from outside (the
// modem, or a person at pdu_decode).  Seeds: fuzz_corpus/, one PDU per file.
// The decoder traces every failure to stderr; run with -close_fd_mask=2 to
// keep the fuzzer quiet (its own reports still get through).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pdu/sms_deliver.h"

namespace smstest {

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

}  // namespace smstest

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace smstest;
  const std::string hexText(reinterpret_cast<const char*>(data), size);  // stops at a zero byte
  std::unique_ptr<SmsDeliver> sms = decode_pdu(hexText.c_str(), nullptr);
  if (!sms) return 0;

  // What every decoded record must satisfy, whatever the input.
  check(sms->originator.length >= 0 && sms->originator.length <= kMaxAddressDigits);
  check(sms->originator.digits[sms->originator.length] == 0);
  check(sms->alphabet >= 0 && sms->alphabet <= 2);
  check(sms->textLength >= 0 && sms->textLength <= sms->userDataLength);
  check(sms->text.size() <= static_cast<size_t>(sms->textLength));
  if (sms->alphabet == 1) check(sms->text.size() == static_cast<size_t>(sms->textLength));
  check(sms->udhi || !sms->elements);
  for (const UdhElement* e = sms->elements.get(); e != nullptr; e = e->next.get()) {
    check(e->data.size() == static_cast<size_t>(e->length));
  }
  const std::string sender = address_text(sms->originator);
  check(sender.size() <= static_cast<size_t>(kMaxAddressDigits));
  return 0;
}
