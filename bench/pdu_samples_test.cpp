// The benchmark's PDUs must be what they claim: the project's decoder reads
// back every text the builder packs, at every length and behind headers of
// every size, so a packing fault can't make the benchmark time an error path.
#include "bench/pdu_samples.h"

#include <gtest/gtest.h>

#include "pdu/sms_deliver.h"

namespace smstest {

namespace {

const char kSeptetChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,!?";

std::string septet_text(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += kSeptetChars[(i * 7) % (sizeof kSeptetChars - 1)];
  return text;
}

TEST(PduSamplesTest, SevenBitTextsReadBackAtEveryLength) {
  struct HeaderCase {
    const char* name;
    std::vector<unsigned char> header;
    int headSeptets;  // header length octet + header, in septets with fill bits
  };
  const HeaderCase headers[] = {
      {"none", {}, 0},
      {"concat", concat_header(7, 2, 1), 7},                          // 6 octets: 1 fill bit
      {"e-mail header", {0x20, 0x01, 0x00}, 5},                       // 4 octets: 3 fill bits
      {"two elements", {0x00, 0x03, 1, 2, 1, 0x20, 0x01, 0x00}, 11},  // 9 octets: 5 fill bits
  };
  for (const HeaderCase& h : headers) {
    for (int length = 0; length + h.headSeptets <= 160; ++length) {
      const std::string text = septet_text(static_cast<size_t>(length));
      const std::string hex = deliver_pdu_7bit(text, h.header);
      std::unique_ptr<SmsDeliver> sms = decode_pdu(hex.c_str(), nullptr);
      ASSERT_TRUE(sms) << h.name << " length " << length << ": " << hex;
      EXPECT_EQ(sms->alphabet, 0) << h.name << " " << length;
      EXPECT_EQ(sms->udhi, h.header.empty() ? 0 : 1) << h.name << " " << length;
      EXPECT_EQ(sms->userDataLength, length + h.headSeptets) << h.name << " " << length;
      EXPECT_EQ(sms->textLength, length) << h.name << " " << length;
      EXPECT_EQ(sms->text, text) << h.name << " " << length << ": " << hex;
    }
  }
}

TEST(PduSamplesTest, Ucs2TextsReadBack) {
  const std::u16string unit = u"aé Ü\u00ff0";
  for (int withHeader = 0; withHeader < 2; ++withHeader) {
    std::vector<unsigned char> header =
        withHeader ? concat_header(9, 4, 4) : std::vector<unsigned char>{};
    const int room = (140 - (withHeader ? 6 : 0)) / 2;
    for (int length = 0; length <= room; ++length) {
      std::u16string text;
      std::string latin1;
      for (int i = 0; i < length; ++i) {
        text += unit[i % unit.size()];
        latin1 += static_cast<char>(unit[i % unit.size()]);
      }
      const std::string hex = deliver_pdu_ucs2(text, header);
      std::unique_ptr<SmsDeliver> sms = decode_pdu(hex.c_str(), nullptr);
      ASSERT_TRUE(sms) << withHeader << " " << length << ": " << hex;
      EXPECT_EQ(sms->alphabet, 2) << length;
      EXPECT_EQ(sms->text, latin1) << withHeader << " " << length << ": " << hex;
      EXPECT_EQ(sms->concatenated, withHeader) << length;
    }
  }
}

TEST(PduSamplesTest, BenchmarkSamplesDecodeAsDescribed) {
  const std::vector<PduSample> samples = benchmark_samples();
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[0].characters, 160);
  EXPECT_EQ(samples[1].characters, 70);
  EXPECT_EQ(samples[2].characters, 153);
  for (const PduSample& s : samples) {
    std::unique_ptr<SmsDeliver> sms = decode_pdu(s.hex.c_str(), nullptr);
    ASSERT_TRUE(sms) << s.name;
    EXPECT_EQ(sms->text, s.text) << s.name;
    EXPECT_EQ(static_cast<int>(s.text.size()), s.characters) << s.name;
    EXPECT_EQ(sms->concatenated, s.concatenated) << s.name;
    EXPECT_EQ(address_text(sms->originator), "4915112345678") << s.name;
    // Full-length messages: 140 octets of user data.
    EXPECT_EQ(s.hex.size(), 2 * (8 + 1 + 9 + 2 + 7 + 1 + 140)) << s.name;
  }
  // User-data length and header of the concatenated part: 7 + 153 septets,
  // reference 0x42, part 2 of 3.
  EXPECT_EQ(samples[2].hex.substr(54, 14), "A0050003420302");
}

}  // namespace

}  // namespace smstest
