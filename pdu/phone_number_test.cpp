#include "pdu/phone_number.h"

#include <gtest/gtest.h>

#include <string>

#include "pdu/pdu_encode.h"

namespace smstest {

namespace {

TEST(PhoneNumberTest, AnOptionalPlusThenDigitsWithinTheLimit) {
  const std::string twenty(20, '7');
  struct Row {
    std::string text;
    bool any;     // without a limit
    bool twenty;  // at most kMaxNumberDigits digits
  } rows[] = {
      {"", false, false},
      {"+", false, false},
      {"5", true, true},
      {"+15550100", true, true},
      {twenty, true, true},
      {"+" + twenty, true, true},  // the "+" is no digit
      {twenty + "7", true, false},
      {"+" + twenty + "7", true, false},
      {"555 0100", false, false},
      {"5550100 ", false, false},
      {"1+2", false, false},
      {"++1", false, false},
      {"12a", false, false},
      {std::string("55\0"
                   "5",
                   4),
       false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(is_phone_number(row.text), row.any);
    EXPECT_EQ(is_phone_number(row.text, kMaxNumberDigits), row.twenty);
  }
}

}  // namespace

}  // namespace smstest
