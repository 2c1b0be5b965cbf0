// length=N: the filled text has N characters, covers the whole 7-bit
// alphabet, and goes in parts that put it back together whole around the
// part boundaries (306/307 and 319/320 septets, 134/135 UCS2 characters).
#include "driver/message_length.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "pdu/concatenation.h"
#include "pdu/gsm7_encode.h"
#include "pdu/sms_submit.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

const std::string kEscapes = "^{}\\[~]|";

// The text the parts of `text` carry, put back together; each part's
// septets (7-bit) or characters (UCS2) in `sizes`.
std::string through_parts(const std::string& text, std::vector<int>& sizes) {
  std::vector<EncodedPdu> parts;
  std::string error;
  EXPECT_TRUE(encode_concatenated_submit("+15550104", text, 7, parts, error)) << error;
  std::string joined;
  sizes.clear();
  for (const EncodedPdu& part : parts) {
    SmsSubmit submit;
    EXPECT_TRUE(decode_sms_submit(part.hex, submit, error)) << error;
    joined += submit.text;
    sizes.push_back(submit.alphabet == 0 ? gsm7_septet_count(submit.text)
                                         : static_cast<int>(submit.text.size()));
  }
  return joined;
}

TEST(MessageLength, TheGsm7FillerHoldsTheWholeAlphabet) {
  const std::string& filler = gsm7_filler();
  ASSERT_TRUE(maps_to_gsm7(filler));
  for (char c : kEscapes) EXPECT_NE(filler.find(c), std::string::npos) << c;
  for (const char* c : {"@", "$", "_", "\xA3", "\xA5", "\xE8", "\xC9", "\xDF", "\xA7", "\xBF",
                        "\xE0", "\xF1", " ", "0", "Z", "z", "!"}) {
    EXPECT_NE(filler.find(c), std::string::npos) << c;
  }
  // No character twice, no control character (a line end would cut the
  // received text).
  EXPECT_EQ(std::set<char>(filler.begin(), filler.end()).size(), filler.size());
  for (char c : filler) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
  // The UCS2 filler: printable ISO-8859-1, some of it outside the alphabet.
  EXPECT_FALSE(maps_to_gsm7(ucs2_filler()));
}

TEST(MessageLength, GsmTextsAroundThePartBoundaries) {
  const std::string marked = "tImE20261209T1830T long text ";
  std::set<int> septetCounts;
  for (int length = 280; length <= 330; ++length) {
    std::string filled, why;
    ASSERT_TRUE(fill_to_length(marked, length, false, filled, why)) << why;
    ASSERT_EQ(filled.size(), static_cast<size_t>(length));
    EXPECT_EQ(filled.compare(0, marked.size(), marked), 0);
    EXPECT_NE(filled.back(), ' ') << length;
    int escapes = 0;
    for (char c : filled) escapes += kEscapes.find(c) != std::string::npos ? 1 : 0;
    const int septets = gsm7_septet_count(filled);
    EXPECT_EQ(septets, length + escapes) << length;
    septetCounts.insert(septets);
    std::vector<int> sizes;
    EXPECT_EQ(through_parts(filled, sizes), filled) << length;
    int carried = 0;
    for (int size : sizes) {
      EXPECT_LE(size, 153) << length;
      carried += size;
    }
    EXPECT_EQ(carried, septets) << length;
    const int fewest = (septets + 152) / 153;
    EXPECT_GE(static_cast<int>(sizes.size()), fewest) << length;
    // An escape pair left whole costs a part at most one septet.
    EXPECT_LE(static_cast<int>(sizes.size()), (septets + 151) / 152) << length;
  }
  for (int boundary : {306, 307, 319, 320}) {
    EXPECT_EQ(septetCounts.count(boundary), 1u) << boundary << " septets never filled";
  }
}

TEST(MessageLength, Ucs2TextsAroundThePartBoundary) {
  const std::string marked = "tImE1T \xE2";  // a character without a 7-bit form
  const struct {
    int length;
    size_t parts;
  } rows[] = {{70, 1}, {71, 2}, {134, 2}, {135, 3}, {201, 3}, {202, 4}};
  for (const auto& row : rows) {
    std::string filled, why;
    ASSERT_TRUE(fill_to_length(marked, row.length, false, filled, why)) << why;
    ASSERT_EQ(filled.size(), static_cast<size_t>(row.length));
    std::vector<int> sizes;
    EXPECT_EQ(through_parts(filled, sizes), filled) << row.length;
    EXPECT_EQ(sizes.size(), row.parts) << row.length;
  }
}

TEST(MessageLength, ALengthShorterThanTheTextIsRefused) {
  std::string filled = "untouched", why;
  EXPECT_FALSE(fill_to_length("tImE1Thello", 10, false, filled, why));
  EXPECT_EQ(why, "Option length=10 is shorter than the marked message text (11 characters)");
  EXPECT_EQ(filled, "untouched");
  ASSERT_TRUE(fill_to_length("tImE1Thello", 11, false, filled, why));
  EXPECT_EQ(filled, "tImE1Thello");
}

// A UTF-8 text counts its characters, not its bytes, and its filler goes in
// UTF-8: the euro sign keeps the 7-bit filler (as an escape pair), an emoji
// takes the UCS2 one.
TEST(MessageLength, Utf8TextsCountCharacters) {
  const struct {
    const char* name;
    std::string text;
    int characters;  // code points of `text`
    bool gsm7;       // the whole filled text still goes in 7-bit
  } rows[] = {
      {"euro sign", "tImE1T\xE2\x82\xAC", 7, true},
      {"Cyrillic", "tImE1T\xD0\x9F\xD1\x80", 8, false},
      {"emoji", "tImE1T\xF0\x9F\x98\x80", 7, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (int length : {row.characters, 70, 160, 400}) {
      std::string filled, why;
      ASSERT_TRUE(fill_to_length(row.text, length, true, filled, why)) << why;
      std::vector<char32_t> codes;
      ASSERT_TRUE(utf8_code_points(filled, codes)) << length;  // valid UTF-8 throughout
      EXPECT_EQ(codes.size(), static_cast<size_t>(length));
      EXPECT_EQ(filled.rfind(row.text, 0), 0u);
      std::vector<unsigned char> septets;
      EXPECT_EQ(utf8_to_septets(filled, septets), row.gsm7) << length;
    }
    std::string filled, why;
    EXPECT_FALSE(fill_to_length(row.text, row.characters - 1, true, filled, why));
    EXPECT_NE(why.find(format("(%d characters)", row.characters)), std::string::npos) << why;
  }
}

}  // namespace

}  // namespace smstest
