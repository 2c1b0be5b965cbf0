#include "pdu/concatenation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pdu/gsm7_encode.h"
#include "pdu/sms_deliver.h"
#include "pdu/sms_submit.h"
#include "pdu/unicode_text.h"

namespace smstest {
namespace {

std::string repeat(char c, int times) { return std::string(static_cast<size_t>(times), c); }

// Parts worked out by hand from TS 23.040 (header, fill bit, packing), to
// the number +46708251358 with the default validity period.
struct PartRow {
  const char* name;
  std::vector<unsigned char> header;
  bool ucs2;
  std::string text;
  const char* expected;
};

TEST(ConcatenationPart, EncodesTheHeaderTheFillBitsAndTheText) {
  const PartRow rows[] = {
      // Six header octets are 48 bits: one fill bit, then 'A' (0x41) from
      // bit 49, so the seventh octet is 0x41 << 1.
      {"8_bit_gsm7",
       {0x05, 0x00, 0x03, 0xCC, 0x02, 0x01},
       false,
       "A",
       "0051000B916407281553F80000AA08050003CC020182"},
      // Seven header octets fill eight septets exactly: no fill bits.
      {"16_bit_gsm7",
       {0x06, 0x08, 0x04, 0x01, 0x02, 0x03, 0x01},
       false,
       "A",
       "0051000B916407281553F80000AA09060804010203014"
       "1"},
      {"8_bit_ucs2",
       {0x05, 0x00, 0x03, 0xCC, 0x02, 0x02},
       true,
       "A",
       "0051000B916407281553F80008AA08050003CC02020041"},
      // An extension character right after the header: escape 0x1B from
      // bit 49, then '{' (0x28) from bit 56: 0x1B << 1 = 0x36, then 0x28.
      {"8_bit_escape",
       {0x05, 0x00, 0x03, 0x07, 0x02, 0x01},
       false,
       "{",
       "0051000B916407281553F80000AA09050003070201362"
       "8"},
  };
  for (const PartRow& row : rows) {
    std::u16string units;
    for (char c : row.text) units += static_cast<char16_t>(static_cast<unsigned char>(c));
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_submit_part("+46708251358", row.header, row.ucs2, row.ucs2 ? "" : row.text,
                                   units, pdu, error, SubmitOptions()))
        << row.name << ": " << error;
    EXPECT_EQ(pdu.hex, row.expected) << row.name;
    EXPECT_EQ(pdu.tpduLength, static_cast<int>(pdu.hex.size()) / 2 - 1) << row.name;
  }
}

// Decodes every part as SMS-SUBMIT and checks the header it carries.
struct Decoded {
  std::vector<std::string> texts;
  std::vector<int> references;
  std::vector<int> counts;
  std::vector<int> sequences;
  std::vector<int> udls;
};

Decoded decode_parts(const std::vector<EncodedPdu>& parts) {
  Decoded out;
  for (const EncodedPdu& part : parts) {
    SmsSubmit submit;
    std::string error;
    EXPECT_TRUE(decode_sms_submit(part.hex, submit, error)) << error << " in " << part.hex;
    EXPECT_EQ(submit.tpduLength, part.tpduLength);
    out.texts.push_back(submit.text);
    out.udls.push_back(submit.userDataLength);
    const std::vector<unsigned char>& h = submit.header;
    if (h.size() == 5 && h[0] == 0x00) {
      out.references.push_back(h[2]);
      out.counts.push_back(h[3]);
      out.sequences.push_back(h[4]);
    } else if (h.size() == 6 && h[0] == 0x08) {
      out.references.push_back(h[2] * 256 + h[3]);
      out.counts.push_back(h[4]);
      out.sequences.push_back(h[5]);
    }
  }
  return out;
}

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += t;
  return out;
}

// The SMS-DELIVER a network would hand the receiver for an SMS-SUBMIT of
// ours: originator = destination, a fixed time stamp, the same user data.
std::string deliver_of(const std::string& submitHex) {
  size_t at = 2;  // "00": no service centre
  const int first = std::stoi(submitHex.substr(at, 2), nullptr, 16);
  at += 4;  // first octet, TP-MR
  const int digits = std::stoi(submitHex.substr(at, 2), nullptr, 16);
  const std::string address = submitHex.substr(at, 4 + 2 * ((digits + 1) / 2));
  at += address.size();
  const std::string pidDcs = submitHex.substr(at, 4);
  at += 4 + ((first & 0x18) == 0x10 ? 2 : 0);
  const std::string deliverFirst = (first & 0x40) != 0 ? "44" : "04";
  return "00" + deliverFirst + address + pidDcs + "62109031000040" + submitHex.substr(at);
}

// Reassembles as a receiver does, through decode_pdu's concatenation fields.
// With `utf8` the texts are the decoder's UTF-8 ones.
std::string reassemble_delivered(const std::vector<EncodedPdu>& parts, int& reference,
                                 bool utf8 = false) {
  std::vector<std::string> bySequence(parts.size());
  for (const EncodedPdu& part : parts) {
    std::unique_ptr<SmsDeliver> sms = decode_pdu(deliver_of(part.hex).c_str(), nullptr);
    EXPECT_TRUE(sms != nullptr) << part.hex;
    if (!sms) return "";
    const std::string& text = utf8 ? sms->utf8Text : sms->text;
    if (parts.size() == 1) return text;
    EXPECT_EQ(sms->concatenated, 1);
    EXPECT_EQ(sms->concatTotal, parts.size());
    reference = sms->concatReference;
    const int k = sms->concatSequence - 1;
    EXPECT_TRUE(k >= 0 && k < static_cast<int>(parts.size()));
    if (k >= 0 && k < static_cast<int>(parts.size())) bySequence[k] = text;
  }
  return joined(bySequence);
}

struct LengthRow {
  int septets;
  int parts;
};

TEST(ConcatenatedSubmit, PartCountsAtTheBoundaries) {
  const LengthRow gsm7[] = {{160, 1}, {161, 2}, {306, 2}, {307, 3},  {319, 3},
                            {320, 3}, {459, 3}, {460, 4}, {1530, 10}};
  for (const LengthRow& row : gsm7) {
    const std::string text = repeat('x', row.septets);
    std::vector<EncodedPdu> parts;
    std::string error;
    ASSERT_TRUE(encode_concatenated_submit("5550100", text, 0x42, parts, error)) << error;
    EXPECT_EQ(static_cast<int>(parts.size()), row.parts) << row.septets << " septets";
    const Decoded d = decode_parts(parts);
    EXPECT_EQ(joined(d.texts), text) << row.septets << " septets";
    int reference = -1;
    EXPECT_EQ(reassemble_delivered(parts, reference), text) << row.septets << " septets";
    if (row.parts > 1) {
      EXPECT_EQ(d.udls[0], 160) << "a full first part is 7 header septets and 153 of text";
      EXPECT_EQ(reference, 0x42);
    }
  }
  const LengthRow ucs2[] = {{70, 1}, {71, 2}, {134, 2}, {135, 3}, {670, 10}};
  for (const LengthRow& row : ucs2) {
    const std::string text = repeat('\xE7', row.septets);  // UCS2 asked for
    std::vector<EncodedPdu> parts;
    std::string error;
    ConcatOptions options;
    options.submit.coding = TextCoding::kUcs2;
    ASSERT_TRUE(encode_concatenated_submit("5550100", text, 7, parts, error, options)) << error;
    EXPECT_EQ(static_cast<int>(parts.size()), row.parts) << row.septets << " UCS2 characters";
    const Decoded d = decode_parts(parts);
    EXPECT_EQ(joined(d.texts), text) << row.septets << " UCS2 characters";
    if (row.parts > 1) {
      EXPECT_EQ(d.udls[0], 140);
    }
  }
}

TEST(ConcatenatedSubmit, SixteenBitReferenceCarries152SeptetsOr66Characters) {
  ConcatOptions options;
  options.referenceBits = 16;
  std::vector<EncodedPdu> parts;
  std::string error;
  ASSERT_TRUE(
      encode_concatenated_submit("+15550100", repeat('y', 305), 0x1234, parts, error, options))
      << error;
  ASSERT_EQ(parts.size(), 3u);  // 152 + 152 + 1
  Decoded d = decode_parts(parts);
  EXPECT_EQ(d.texts[0].size(), 152u);
  EXPECT_EQ(d.references, (std::vector<int>{0x1234, 0x1234, 0x1234}));
  EXPECT_EQ(d.sequences, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(d.counts, (std::vector<int>{3, 3, 3}));
  options.submit.coding = TextCoding::kUcs2;
  ASSERT_TRUE(encode_concatenated_submit("+15550100", repeat('z', 133), 9, parts, error, options));
  ASSERT_EQ(parts.size(), 3u);  // 66 + 66 + 1
  d = decode_parts(parts);
  EXPECT_EQ(d.texts[0].size(), 66u);
  EXPECT_EQ(d.udls[0], 7 + 132);
}

// Every split point around an extension character: the pair stays whole
// and the part before it may carry one septet less.
TEST(ConcatenatedSubmit, NeverSplitsAnEscapePair) {
  for (const char extension : {'{', '}', '[', ']', '~', '\\', '^', '|'}) {
    for (int before = 148; before <= 156; ++before) {
      const std::string text = repeat('a', before) + extension + repeat('b', 160);
      std::vector<EncodedPdu> parts;
      std::string error;
      ASSERT_TRUE(encode_concatenated_submit("5550100", text, 1, parts, error)) << error;
      const Decoded d = decode_parts(parts);
      ASSERT_EQ(joined(d.texts), text) << extension << " after " << before;
      for (const std::string& piece : d.texts) {
        EXPECT_LE(gsm7_septet_count(piece), 153) << extension << " after " << before;
      }
      const int firstSeptets = gsm7_septet_count(d.texts[0]);
      EXPECT_EQ(firstSeptets, before == 152 ? 152 : 153) << extension << " after " << before;
    }
  }
}

TEST(SplitUtf16, NeverSplitsASurrogatePair) {
  const std::u16string pair = u"\xD83D\xDE00";  // U+1F600
  for (int before = 60; before <= 70; ++before) {
    const std::u16string units = std::u16string(before, u'a') + pair + std::u16string(80, u'b');
    const std::vector<std::u16string> pieces = split_utf16(units, 67);
    std::u16string whole;
    for (const std::u16string& piece : pieces) {
      EXPECT_LE(piece.size(), 67u);
      ASSERT_FALSE(piece.empty());
      EXPECT_FALSE(piece.back() >= 0xD800 && piece.back() <= 0xDBFF) << "after " << before;
      EXPECT_FALSE(piece.front() >= 0xDC00 && piece.front() <= 0xDFFF) << "after " << before;
      whole += piece;
    }
    EXPECT_EQ(whole, units);
    EXPECT_EQ(pieces[0].size(), before == 66 ? 66u : 67u) << "after " << before;
  }
  // A lone surrogate is one unit and may end a part.
  const std::u16string lone = std::u16string(66, u'a') + u'\xD800' + u"cd";
  EXPECT_EQ(split_utf16(lone, 67)[0].size(), 67u);
}

TEST(ConcatenatedSubmit, RoundTripsEveryLengthThroughTheDeliverDecoder) {
  // The whole GSM 7-bit alphabet with the extension characters, repeated.
  std::string alphabet;
  for (int c = 0; c < 256; ++c) {
    unsigned char septets[2];
    if (latin1_to_gsm7(static_cast<unsigned char>(c), septets) > 0)
      alphabet += static_cast<char>(c);
  }
  for (int length = 150; length <= 1400; length += 13) {
    std::string text;
    while (static_cast<int>(text.size()) < length) text += alphabet;
    text.resize(static_cast<size_t>(length));
    std::vector<EncodedPdu> parts;
    std::string error;
    ConcatOptions options;
    options.referenceBits = length % 2 == 0 ? 8 : 16;
    if (!encode_concatenated_submit("5550100", text, length, parts, error, options)) {
      EXPECT_EQ(error.find("Message text too long: "), 0u) << error;
      continue;
    }
    int reference = -1;
    EXPECT_EQ(reassemble_delivered(parts, reference), text) << length;
    // UCS2: every byte value, reordered parts too.
    std::string latin;
    for (int i = 0; i < length / 2; ++i) latin += static_cast<char>((i * 7 + 1) & 0xFF);
    options.submit.coding = TextCoding::kUcs2;
    if (!encode_concatenated_submit("5550100", latin, length, parts, error, options)) continue;
    std::reverse(parts.begin(), parts.end());
    EXPECT_EQ(reassemble_delivered(parts, reference), latin) << length / 2 << " UCS2";
  }
}

std::string times(const std::string& piece, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

// UTF-8 texts: 7-bit parts when every character has a 7-bit form (the
// euro sign an escape pair), else UCS2 parts; every split point around a
// two-septet character or a surrogate pair keeps it whole, and the parts
// decode back to the same UTF-8 text.
TEST(ConcatenatedSubmit, Utf8TextsSplitIntoWholeCharacters) {
  const std::string euro = "\xE2\x82\xAC";
  const std::string emoji = "\xF0\x9F\x93\xB1";  // U+1F4F1: a surrogate pair
  const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ";
  struct Row {
    std::string text;
    size_t parts;
    int dcs;
  } rows[] = {
      {times(euro, 80), 1, 0x00},          // 160 septets
      {times(euro, 81), 2, 0x00},          // 162
      {"a" + times(euro, 80), 2, 0x00},    // 161
      {times(privet, 10), 1, 0x08},        // 70 characters
      {times(privet, 10) + "!", 2, 0x08},  // 71
      {times(privet, 30), 4, 0x08},        // 210 = 67 + 67 + 67 + 9
      {times(emoji, 35), 1, 0x08},         // 70 code units
      {times(emoji, 36), 2, 0x08},         // 72: 66 + 6, no pair cut
      {repeat('a', 152) + euro + repeat('b', 20), 2, 0x00},
  };
  for (int before = 148; before <= 156; ++before) {
    rows[8].text = repeat('a', before) + euro + repeat('b', 20);
    for (const Row& row : rows) {
      SCOPED_TRACE(row.text.substr(0, 12) + " after " + std::to_string(before));
      ConcatOptions options;
      options.submit.utf8 = true;
      std::vector<EncodedPdu> parts;
      std::string error;
      ASSERT_TRUE(encode_concatenated_submit("5550100", row.text, 9, parts, error, options))
          << error;
      EXPECT_EQ(parts.size(), row.parts);
      int reference = -1;
      EXPECT_EQ(reassemble_delivered(parts, reference, true), row.text);
      for (const EncodedPdu& part : parts) {
        EXPECT_EQ(part.dataCodingScheme, row.dcs);
        std::unique_ptr<SmsDeliver> sms = decode_pdu(deliver_of(part.hex).c_str(), nullptr);
        ASSERT_TRUE(sms != nullptr);
        // No half character: a cut pair would decode as U+FFFD or '?'.
        EXPECT_EQ(sms->utf8Text.find("\xEF\xBF\xBD"), std::string::npos);
        std::vector<unsigned char> units;
        if (row.dcs == 0x00) {
          ASSERT_TRUE(utf8_to_septets(sms->utf8Text, units));
          EXPECT_LE(units.size(), parts.size() == 1 ? 160u : 153u);
        } else {
          ASSERT_TRUE(utf8_to_utf16(sms->utf8Text, units));
          EXPECT_LE(units.size() / 2, parts.size() == 1 ? 70u : 67u);
        }
      }
      if (parts.size() == 1) {
        EncodedPdu one;
        SubmitOptions single;
        single.utf8 = true;
        ASSERT_TRUE(encode_sms_submit("5550100", row.text, one, error, single));
        EXPECT_EQ(parts[0].hex, one.hex);
      }
    }
  }
  ConcatOptions options;
  options.submit.utf8 = true;
  std::vector<EncodedPdu> parts;
  std::string error;
  EXPECT_FALSE(encode_concatenated_submit("5550100", "caf\xE9", 1, parts, error, options));
  EXPECT_EQ(error, "Message text is not valid UTF-8");
  EXPECT_TRUE(parts.empty());
}

TEST(ConcatenatedSubmit, FitsInOnePartExactlyAsBefore) {
  for (const std::string& text : {std::string("hello"), repeat('a', 160), repeat('\xE7', 70)}) {
    EncodedPdu one;
    std::string error;
    ASSERT_TRUE(encode_sms_submit("+15550100", text, one, error));
    std::vector<EncodedPdu> parts;
    ASSERT_TRUE(encode_concatenated_submit("+15550100", text, 3, parts, error));
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].hex, one.hex);
  }
}

TEST(ConcatenatedSubmit, RefusalsNameTheLimit) {
  std::vector<EncodedPdu> parts;
  std::string error;
  ConcatOptions options;
  EXPECT_FALSE(encode_concatenated_submit("5550100", repeat('a', 1531), 1, parts, error, options));
  EXPECT_EQ(error, "Message text too long: 11 parts, at most 10 (option maxParts)");
  options.maxParts = 2;
  EXPECT_FALSE(encode_concatenated_submit("5550100", repeat('a', 307), 1, parts, error, options));
  EXPECT_EQ(error, "Message text too long: 3 parts, at most 2 (option maxParts)");
  options.referenceBits = 12;
  EXPECT_FALSE(encode_concatenated_submit("5550100", "a", 1, parts, error, options));
  EXPECT_EQ(error, "Bad concatenation reference size 12: 8 or 16");
  EXPECT_TRUE(parts.empty());
  EXPECT_FALSE(encode_concatenated_submit("55x", repeat('a', 200), 1, parts, error));
  EXPECT_NE(error.find("Bad destination number"), std::string::npos) << error;
}

TEST(ConcatReferences, SuccessiveMessagesNeverShareAReference) {
  ConcatReferences references(0x00FE);
  std::set<int> seen;
  for (int i = 0; i < 256; ++i) seen.insert(references.take(8));
  EXPECT_EQ(seen.size(), 256u);
  ConcatReferences wide(0xFFFF);
  EXPECT_EQ(wide.take(16), 0xFFFF);
  EXPECT_EQ(wide.take(16), 0);
  // Two generators made in the same instant start apart (almost always).
  int same = 0;
  for (int i = 0; i < 8; ++i) same += ConcatReferences().take(16) == ConcatReferences().take(16);
  EXPECT_LT(same, 8);
}

}  // namespace
}  // namespace smstest
