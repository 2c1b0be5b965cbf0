#include "pdu/phone_number.h"

namespace smstest {

bool is_phone_number(const std::string& text, size_t maxDigits) {
  const size_t start = !text.empty() && text[0] == '+' ? 1 : 0;
  const size_t digits = text.size() - start;
  if (digits < 1 || digits > maxDigits) return false;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace smstest
