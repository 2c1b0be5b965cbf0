// The one check of a phone number: the numbers SMS_TEST sends to, the
// senders it replies to, and the numbers the simulator dials and encodes.
#pragma once

#include <cstddef>
#include <string>

namespace smstest {

// Digits of a number in an address field (TS 23.040: ten octets of digits).
constexpr int kMaxNumberDigits = 20;

// No limit on the digits of a number.
constexpr size_t kAnyDigitCount = static_cast<size_t>(-1);

// True for an optional leading '+' and then 1 to `maxDigits` decimal
// digits, nothing else (no blanks, no separators).
bool is_phone_number(const std::string& text, size_t maxDigits = kAnyDigitCount);

}  // namespace smstest
