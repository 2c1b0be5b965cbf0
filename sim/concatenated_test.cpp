// Concatenated messages through the simulated network, on a clock of the
// test's own: the parts keep their user-data header from the SMS-SUBMIT to
// the SMS-DELIVER that PDU mode lists, text mode shows each part's text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdu/concatenation.h"
#include "pdu/sms_deliver.h"
#include "sim/network_fixture.h"
#include "sim/pdu_mode.h"

namespace smstest {
namespace {

// One part as a receiving client reads it back.
struct ReadPart {
  int index = 0;
  bool concatenated = false;
  int reference = 0;
  int count = 0;
  int sequence = 0;
  std::string text;
};

// The PDU lines of a PDU-mode listing, decoded.
std::vector<ReadPart> read_listing(const std::string& listing) {
  std::vector<ReadPart> parts;
  size_t at = 0;
  while ((at = listing.find("+CMGL: ", at)) != std::string::npos) {
    ReadPart part;
    part.index = std::stoi(listing.substr(at + 7));
    const size_t start = listing.find("\r\n", at) + 2;
    const std::string hex = listing.substr(start, listing.find("\r\n", start) - start);
    testing::internal::CaptureStderr();
    std::unique_ptr<SmsDeliver> sms = decode_pdu(hex.c_str(), nullptr);
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_NE(sms, nullptr) << hex << ": " << trace;
    if (sms != nullptr) {
      part.concatenated = sms->concatenated != 0;
      part.reference = sms->concatReference;
      part.count = sms->concatTotal;
      part.sequence = sms->concatSequence;
      part.text = sms->text;
    }
    parts.push_back(part);
    at = start;
  }
  return parts;
}

class ConcatenatedNetworkTest : public testing_network::NetworkFixture {
 protected:
  void open_pdu_mode(size_t index) {
    EXPECT_EQ("ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n",
              type(index, "ATE0\rAT+CMEE=1\rAT+CMGF=0\rAT+CNMI=2,1,0,0,0\r"));
  }

  // Sends `text` from COM3 to COM4 in parts; false when a part was refused.
  bool send_parts(const std::string& text, int reference, const ConcatOptions& options) {
    std::vector<EncodedPdu> parts;
    std::string error;
    EXPECT_TRUE(encode_concatenated_submit("5550104", text, reference, parts, error, options))
        << error;
    for (const EncodedPdu& part : parts) {
      if (type(0, format("AT+CMGS=%d\r", part.tpduLength)) != "\r\n> ") return false;
      if (type(0, part.hex + "\x1a").find("+CMGS: ") == std::string::npos) return false;
    }
    return !parts.empty();
  }

  std::vector<ReadPart> listed_on_com4() {
    type(1, "AT+CMGF=0\r");
    return read_listing(type(1, "AT+CMGL=4\r"));
  }
};

// A text of 3 parts in either alphabet with either reference: each part
// arrives with its header, in order, and the parts' texts make the text.
TEST_F(ConcatenatedNetworkTest, PartsKeepTheirHeaderThroughTheNetwork) {
  struct Case {
    const char* name;
    std::string text;
    int referenceBits;
    TextCoding coding;
    int reference;
  } cases[] = {
      // Escapes around the part boundaries: they stay in one part.
      {"gsm7_8bit", std::string(152, 'a') + "[" + std::string(151, 'b') + "{}~x", 8,
       TextCoding::kAuto, 0xA7},
      {"gsm7_16bit", std::string(400, 'z'), 16, TextCoding::kAuto, 0xBEEF},
      {"ucs2_8bit", std::string(140, 'c') + "`", 8, TextCoding::kAuto, 0x05},
      {"forced_ucs2_16bit", std::string(150, 'd'), 16, TextCoding::kUcs2, 0x0102},
  };
  begin();
  open_pdu_mode(0);
  open_pdu_mode(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    type(1, "AT+CMGD=1,4\r");
    ConcatOptions options;
    options.referenceBits = c.referenceBits;
    options.submit.coding = c.coding;
    ASSERT_TRUE(send_parts(c.text, c.reference, options));
    advance_to(now_ + 2);
    std::vector<ReadPart> parts = listed_on_com4();
    ASSERT_EQ(3u, parts.size());
    std::string joined;
    for (size_t k = 0; k < parts.size(); ++k) {
      EXPECT_TRUE(parts[k].concatenated);
      EXPECT_EQ(c.reference, parts[k].reference);
      EXPECT_EQ(3, parts[k].count);
      EXPECT_EQ(static_cast<int>(k + 1), parts[k].sequence);
      joined += parts[k].text;
    }
    EXPECT_EQ(c.text, joined);
  }
}

// Text mode shows the part's text alone, as a message of its own.
TEST_F(ConcatenatedNetworkTest, TextModeShowsEachPartsText) {
  begin();
  open_pdu_mode(0);
  open_pdu_mode(1);
  const std::string text = std::string(153, 'p') + std::string(10, 't');
  ASSERT_TRUE(send_parts(text, 9, ConcatOptions()));
  advance_to(now_ + 2);
  EXPECT_EQ("\r\nOK\r\n", type(1, "AT+CMGF=1\r"));
  const std::string first = type(1, "AT+CMGR=1\r");
  EXPECT_NE(std::string::npos, first.find("\r\n" + std::string(153, 'p') + "\r\n")) << first;
  const std::string second = type(1, "AT+CMGR=2\r");
  EXPECT_NE(std::string::npos, second.find("\"\r\ntttttttttt\r\n")) << second;
}

// A stored part whose text grew on the way (alter=prefix) is listed with
// its header and as much of the text as the header leaves room for.
TEST(ConcatenatedPdu, ListedPartLeavesRoomForItsHeader) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<unsigned char> header;
    std::string shown;
  } cases[] = {
      {"gsm7",
       "FW: " + std::string(153, 'a'),
       {0x00, 0x03, 0x01, 0x02, 0x01},
       "FW: " + std::string(149, 'a')},
      {"gsm7_escape_not_cut",
       std::string(152, 'a') + "[",
       {0x00, 0x03, 0x01, 0x02, 0x01},
       std::string(152, 'a')},
      {"ucs2_16bit",
       "FW: " + std::string(66, '`'),
       {0x08, 0x04, 0x01, 0x02, 0x02, 0x01},
       "FW: " + std::string(62, '`')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StoredMessage message;
    message.from = "+15550103";
    message.text = c.text;
    message.header = c.header;
    message.arrived = 1700000000;
    ListedPdu listed;
    std::string error;
    ASSERT_TRUE(listed_pdu(message, PduDamage::none, listed, error)) << error;
    std::vector<ReadPart> parts = read_listing("+CMGL: 1,0,,1\r\n" + listed.hex + "\r\n");
    ASSERT_EQ(1u, parts.size());
    EXPECT_TRUE(parts[0].concatenated);
    EXPECT_EQ(c.shown, parts[0].text);
  }
}

}  // namespace
}  // namespace smstest
