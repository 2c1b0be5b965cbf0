// length=N: the filled text has N characters, covers the whole 7-bit
// alphabet, and goes in parts that put it back together whole around the
// part boundaries (306/307 and 319/320 septets, 134/135 UCS2 characters).
#include "driver/message_length.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "pdu/concatenation.h"
#include "pdu/gsm7_encode.h"
#include "pdu/sms_submit.h"

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
    ASSERT_TRUE(fill_to_length(marked, length, filled, why)) << why;
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
    ASSERT_TRUE(fill_to_length(marked, row.length, filled, why)) << why;
    ASSERT_EQ(filled.size(), static_cast<size_t>(row.length));
    std::vector<int> sizes;
    EXPECT_EQ(through_parts(filled, sizes), filled) << row.length;
    EXPECT_EQ(sizes.size(), row.parts) << row.length;
  }
}

TEST(MessageLength, ALengthShorterThanTheTextIsRefused) {
  std::string filled = "untouched", why;
  EXPECT_FALSE(fill_to_length("tImE1Thello", 10, filled, why));
  EXPECT_EQ(why, "Option length=10 is shorter than the marked message text (11 characters)");
  EXPECT_EQ(filled, "untouched");
  ASSERT_TRUE(fill_to_length("tImE1Thello", 11, filled, why));
  EXPECT_EQ(filled, "tImE1Thello");
}

}  // namespace

}  // namespace smstest
