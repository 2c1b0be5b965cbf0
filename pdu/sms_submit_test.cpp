#include "pdu/sms_submit.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace smstest {
namespace {

// No service centre, first octet 0x01 (no validity period), TP-MR 0,
// destination +1 and TP-PID 0: the head of the constructed PDUs, which the
// TP-DCS follows.
#define HEAD "0001000191F100"

std::string hex(const std::vector<unsigned char>& data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : data) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

struct ValidCase {
  const char* name;
  std::string hex;
  std::string serviceCentre;
  int tpduLength;
  // replyPath, udhi, statusReportRequest, validityPeriodFormat,
  // rejectDuplicates, messageReference
  std::array<int, 6> flags;
  std::string number;
  int numberType;
  int dcs;
  int alphabet;
  const char* validity;  // TP-VP in hex
  int udl;
  const char* header;  // in hex, UDHL not included
  std::string text;
  int replaced;
};

// clang-format off
const ValidCase kValid[] = {
    // Widely published examples.
    {"pub_hellohello", "0011000B916407281553F80000AA0AE8329BFD4697D9EC37", "", 23,
     {0, 0, 0, 2, 0, 0}, "+46708251358", 0x91, 0x00, 0, "AA", 10, "", "hellohello", 0},
    // 8-bit data (TP-DCS F6) behind a service-centre address, mixed case.
    {"pub_8bit_behind_service_centre", "079194710167000011000781214365F700F6aa0568656C6C6F",
     "+491710760000", 17, {0, 0, 0, 2, 0, 0}, "1234567", 0x81, 0xF6, 1, "AA", 5, "", "hello", 0},
    // UCS2 with the reply path set and no validity period; two Chinese
    // characters that ISO-8859-1 lacks.
    {"pub_ucs2_reply_path", "0081000B813109010054F3001804534E4E3A", "", 17,
     {1, 0, 0, 0, 0, 0}, "13901000453", 0x81, 0x18, 2, "", 4, "", "??", 2},
    // Every extension-table character and a space; the euro sign reads as the
    // currency sign.
    {"pub_extension_table",
     "0001000B915310101010100000151BC58602DAA036A9CD6BC3DBF436BE0D705306", "", 32,
     {0, 0, 0, 0, 0, 0}, "+35010101010", 0x91, 0x00, 0, "", 21, "",
     "\x0C^ {}\\[~]|\xA4", 0},
    // Lower-case hex, Cyrillic UCS2.
    {"pub_ucs2_cyrillic",
     "0011000b919721436587F900080012041F04400438043204350442002100210021", "", 32,
     {0, 0, 0, 2, 0, 0}, "+79123456789", 0x91, 0x08, 2, "00", 18, "", "??????" "!!!", 6},
    // Type 0x92: an international number with an unusual numbering plan.
    {"pub_ucs2_type_92", "07911356131313F311000A9260214365870008AA080068006F006C0061",
     "+31653131313", 21, {0, 0, 0, 2, 0, 0}, "+0612345678", 0x92, 0x08, 2, "AA", 8, "", "hola",
     0},

    // Constructed: one per rule.
    {"all_flags_8bit_header", "00F52A0191F10004AA080500032A02014869", "", 17,
     {1, 1, 1, 2, 1, 0x2A}, "+1", 0x91, 0x04, 1, "AA", 8, "00032A0201", "Hi", 0},
    // The 7-bit text starts at the septet boundary after the header.
    {"header_7bit", "0051000191F10000AA0C0500032A0201D06536FB0D", "", 20,
     {0, 1, 0, 2, 0, 0}, "+1", 0x91, 0x00, 0, "AA", 12, "00032A0201", "hello", 0},
    {"absolute_validity", "0019000191F10000" "21803121702240" "02E834", "", 17,
     {0, 0, 0, 3, 0, 0}, "+1", 0x91, 0x00, 0, "21803121702240", 2, "", "hi", 0},
    {"enhanced_validity", "0009000191F10004" "01000000000000" "024869", "", 17,
     {0, 0, 0, 1, 0, 0}, "+1", 0x91, 0x04, 1, "01000000000000", 2, "", "Hi", 0},
    {"alphanumeric_destination", "0001000DD0E474D81C0EBB01000000", "", 14,
     {0, 0, 0, 0, 0, 0}, "diafaan", 0xD0, 0x00, 0, "", 0, "", "", 0},
    {"semi_octets_a_to_e", "00010005A1BADCFE000000", "", 10,
     {0, 0, 0, 0, 0, 0}, "*#abc", 0xA1, 0x00, 0, "", 0, "", "", 0},
    {"no_digits", "00010000810000" "00", "", 7,
     {0, 0, 0, 0, 0, 0}, "", 0x81, 0x00, 0, "", 0, "", "", 0},
    {"dcs_f0_is_7bit", HEAD "F0" "05E8329BFD06", "", 13,
     {0, 0, 0, 0, 0, 0}, "+1", 0x91, 0xF0, 0, "", 5, "", "hello", 0},
    {"dcs_class_bits_ignored", HEAD "13" "05E8329BFD06", "", 13,
     {0, 0, 0, 0, 0, 0}, "+1", 0x91, 0x13, 0, "", 5, "", "hello", 0},
    {"ucs2_zero_latin1_and_beyond", HEAD "08" "06" "000000E9FFFD", "", 14,
     {0, 0, 0, 0, 0, 0}, "+1", 0x91, 0x08, 2, "", 6, "", std::string("\0\xE9?", 3), 1},
    {"8bit_zero_bytes", HEAD "04" "03" "410042", "", 11,
     {0, 0, 0, 0, 0, 0}, "+1", 0x91, 0x04, 1, "", 3, "", std::string("A\0B", 3), 0},
    // One message at most: 160 septets of '@' (all zero bits), 140 octets.
    {"160_septets", HEAD "00" "A0" + std::string(280, '0'), "", 148,
     {0, 0, 0, 0, 0, 0}, "+1", 0x91, 0x00, 0, "", 160, "", std::string(160, '@'), 0},
    {"140_octets", HEAD "04" "8C" + std::string(280, '4'), "", 148,
     {0, 0, 0, 0, 0, 0}, "+1", 0x91, 0x04, 1, "", 140, "", std::string(140, 'D'), 0},
};
// clang-format on

struct FailCase {
  const char* name;
  std::string hex;
  const char* error;
};

// clang-format off
const FailCase kFail[] = {
    {"empty", "", "Empty SMS-SUBMIT PDU"},
    {"odd_digits", "001", "SMS-SUBMIT PDU with an odd number of hex digits (3)"},
    {"not_hex", "0G", "SMS-SUBMIT PDU with a character other than a hex digit at position 1"},
    {"leading_space", " 00", "SMS-SUBMIT PDU with a character other than a hex digit at position 0"},
    {"line_end", "00\r\n", "SMS-SUBMIT PDU with a character other than a hex digit at position 2"},
    {"sign", "-1", "SMS-SUBMIT PDU with a character other than a hex digit at position 0"},
    {"no_first_octet", "00", "SMS-SUBMIT PDU too short for its first octet"},
    {"service_centre_past_end", "079121436587", "SMS-SUBMIT PDU too short for its service-centre address"},
    {"no_reference", "0011", "SMS-SUBMIT PDU too short for its message reference"},
    {"no_destination", "001100", "SMS-SUBMIT PDU too short for its destination address"},
    {"no_destination_type", "0011000B", "SMS-SUBMIT PDU too short for its destination address"},
    {"destination_digits_short", "0011000B916407281553", "SMS-SUBMIT PDU too short for its destination address"},
    {"no_pid", "0011000B916407281553F8", "SMS-SUBMIT PDU too short for its protocol identifier"},
    {"no_dcs", "0011000B916407281553F800", "SMS-SUBMIT PDU too short for its data coding scheme"},
    {"no_validity", "0011000B916407281553F80000", "SMS-SUBMIT PDU too short for its validity period"},
    {"absolute_validity_short", "0019000191F10000218031", "SMS-SUBMIT PDU too short for its validity period"},
    {"no_udl", "0011000B916407281553F80000AA", "SMS-SUBMIT PDU too short for its user data length"},
    {"no_user_data", "0011000B916407281553F80000AA0A", "SMS-SUBMIT PDU too short for its user data"},
    {"user_data_short_7bit", "0011000B916407281553F80000AA0AE8329BFD4697D9EC", "SMS-SUBMIT PDU too short for its user data"},
    {"user_data_short_ucs2", HEAD "08" "04" "004800", "SMS-SUBMIT PDU too short for its user data"},
    {"deliver", "0004000191F100000000", "Not an SMS-SUBMIT: message type indicator 0"},
    {"status_report", "0002000191F100000000", "Not an SMS-SUBMIT: message type indicator 2"},
    {"reserved_type", "0003000191F100000000", "Not an SMS-SUBMIT: message type indicator 3"},
    {"destination_21_digits", "0001001591", "SMS-SUBMIT destination address of 21 digits, at most 20"},
    {"filler_among_digits", "00010003912F430000" "00", "SMS-SUBMIT destination address with the filler F among its digits"},
    {"filler_as_last_digit", "0001000291F10000" "00", "SMS-SUBMIT destination address with the filler F among its digits"},
    {"dcs_compressed", HEAD "20" "00", "SMS-SUBMIT data coding scheme 20 not supported"},
    {"dcs_alphabet_3", HEAD "0C" "00", "SMS-SUBMIT data coding scheme 0C not supported"},
    {"dcs_40", HEAD "40" "00", "SMS-SUBMIT data coding scheme 40 not supported"},
    {"dcs_e0", HEAD "E0" "00", "SMS-SUBMIT data coding scheme E0 not supported"},
    {"161_septets", HEAD "00" "A1" + std::string(282, '0'), "SMS-SUBMIT user data length 161 exceeds one message (160 septets)"},
    {"141_octets", HEAD "04" "8D" + std::string(282, '4'), "SMS-SUBMIT user data length 141 exceeds one message (140 octets)"},
    {"141_octets_ucs2", HEAD "08" "8D" + std::string(282, '4'), "SMS-SUBMIT user data length 141 exceeds one message (140 octets)"},
    {"header_without_user_data", "0041000191F1000400", "SMS-SUBMIT PDU too short for its user data header"},
    {"header_past_udl_8bit", "0041000191F1000403050003", "SMS-SUBMIT user data header of 6 octets exceeds the user data length"},
    // Six septets hold only 42 of the header's 48 bits.
    {"header_past_udl_7bit", "0041000191F10000060500032A0201", "SMS-SUBMIT user data header of 6 octets exceeds the user data length"},
    {"ucs2_odd", HEAD "08" "03" "004800", "SMS-SUBMIT UCS2 text of an odd number of octets (3)"},
    {"ucs2_odd_after_header", "0041000191F10008" "05" "03000100" "48", "SMS-SUBMIT UCS2 text of an odd number of octets (1)"},
    {"octets_after_user_data", "0011000B916407281553F80000AA0AE8329BFD4697D9EC3700", "SMS-SUBMIT PDU with octets after its user data (1)"},
    {"7bit_octet_beyond_septets", HEAD "00" "01" "4100", "SMS-SUBMIT PDU with octets after its user data (1)"},
};
// clang-format on

TEST(DecodeSmsSubmit, ValidTable) {
  for (const ValidCase& c : kValid) {
    SCOPED_TRACE(std::string(c.name) + " " + c.hex);
    SmsSubmit s;
    std::string error = "before";
    ASSERT_TRUE(decode_sms_submit(c.hex, s, error)) << error;
    EXPECT_EQ(error, "before");  // a success leaves lastError alone
    EXPECT_EQ(s.serviceCentre, c.serviceCentre);
    EXPECT_EQ(s.tpduLength, c.tpduLength);
    std::array<int, 6> flags = {s.replyPath,           s.udhi,
                                s.statusReportRequest, s.validityPeriodFormat,
                                s.rejectDuplicates,    s.messageReference};
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(s.number, c.number);
    EXPECT_EQ(s.numberType, c.numberType);
    EXPECT_EQ(s.dataCodingScheme, c.dcs);
    EXPECT_EQ(s.alphabet, c.alphabet);
    EXPECT_EQ(hex(s.validityPeriod), c.validity);
    EXPECT_EQ(s.userDataLength, c.udl);
    EXPECT_EQ(hex(s.header), c.header);
    EXPECT_EQ(s.text, c.text);
    EXPECT_EQ(s.replacedCharacters, c.replaced);
  }
}

TEST(DecodeSmsSubmit, FailureTable) {
  for (const FailCase& c : kFail) {
    SCOPED_TRACE(std::string(c.name) + " " + c.hex);
    SmsSubmit s;
    s.number = "untouched";
    std::string error = "before";
    EXPECT_FALSE(decode_sms_submit(c.hex, s, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(s.number, "untouched");
  }
}

TEST(DecodeSmsSubmit, EveryShorterPrefixFailsCleanly) {
  for (const ValidCase& c : kValid) {
    for (size_t length = 0; length < c.hex.size(); ++length) {
      SCOPED_TRACE(std::string(c.name) + " prefix " + std::to_string(length));
      // A fresh string of exactly the prefix, so that ASan sees any read
      // past the decoder's copy of it.
      const std::string prefix(c.hex.data(), length);
      SmsSubmit s;
      std::string error;
      ASSERT_FALSE(decode_sms_submit(prefix, s, error));
      EXPECT_FALSE(error.empty());
      EXPECT_EQ(error.find('\n'), std::string::npos) << error;
      EXPECT_EQ(s.number, "");
    }
  }
}

// The fuzz target's seed corpus must hold every PDU of the tables above.
// PDU_WRITE_CORPUS=1 writes the missing ones.
TEST(SubmitFuzzCorpus, HoldsEveryTablePdu) {
  namespace fs = std::filesystem;
  const fs::path dir(SUBMIT_FUZZ_CORPUS);
  std::set<std::string> held;
  if (fs::is_directory(dir)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      held.insert(std::string(std::istreambuf_iterator<char>(in), {}));
    }
  }
  const bool write = std::getenv("PDU_WRITE_CORPUS") != nullptr;
  auto want = [&](const std::string& prefix, const char* name, const std::string& pdu) {
    if (held.count(pdu)) return;
    if (write) {
      fs::create_directories(dir);
      std::ofstream(dir / (prefix + name), std::ios::binary) << pdu;
      return;
    }
    ADD_FAILURE() << "submit fuzz corpus lacks " << prefix << name << ": " << pdu;
  };
  for (const ValidCase& c : kValid) want("valid_", c.name, c.hex);
  for (const FailCase& c : kFail) want("fail_", c.name, c.hex);
}

}  // namespace
}  // namespace smstest
