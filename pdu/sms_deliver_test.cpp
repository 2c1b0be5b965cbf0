#include "pdu/sms_deliver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

// The tests capture stderr to check the decoder's trace; sanitizer reports
// go to stdout instead, so that a capture never swallows them.  (Read only
// by sanitizer runtimes; harmless in other builds.)
extern "C" const char* __asan_default_options() { return "log_path=stdout"; }
extern "C" const char* __ubsan_default_options() { return "log_path=stdout:print_stacktrace=1"; }

namespace smstest {

namespace {

// The service-centre time stamp that the constructed PDUs share:
// 06/05/04 03:02:01, zone 0.
#define TS "60504030201000"
// No service-centre address, first octet 0x04, originator +12345678901.
#define HELLO_HEAD "00040B912143658709F1"
#define UDH_HEAD "00440B912143658709F1"

struct ValidCase {
  const char* name;
  const char* hex;
  std::array<int, 5> flags;  // replyPath, udhi, statusReportIndication, moreMessagesToSend, MTI
  int oaLength;
  int oaType;
  std::string sender;  // address_text of the originator
  int protocolId;
  int dataCodingScheme;
  int alphabet;
  std::array<int, 7> timestamp;
  int userDataLength;
  int textLength;
  std::string text;
  std::array<int, 4> concat;  // concatenated, reference, total, sequence
  const char* elements;       // see element_summary
  int wctombTraces;
};

const std::array<int, 7> kTs = {0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x00};
const std::array<int, 4> kNoConcat = {0, 0, 0, 0};

// clang-format off
const ValidCase kValid[] = {
    // Constructed cases: one per rule of the decoder.
    {"hello", HELLO_HEAD "0000" TS "05E8329BFD06",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 0, 0, kTs, 5, 5, "hello", kNoConcat, "", 0},
    {"hello_behind_service_centre", "07912143658709F1" "040B912143658709F1" "0000" TS "05E8329BFD06",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 0, 0, kTs, 5, 5, "hello", kNoConcat, "", 0},
    // Lower case, a PID of "-1" (0xFF) and an odd length: the last octet is "6" alone.
    {"hex_text_quirks", "00040b912143658709f1-100" "60504030201000" "05e8329bfd6",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0xFF, 0, 0, kTs, 5, 5, "hello", kNoConcat, "", 0},
    {"concat8_8bit", UDH_HEAD "0004" TS "080500032A02014869",
     {0, 1, 0, 1, 0}, 11, 0x91, "12345678901", 0, 4, 1, kTs, 8, 2, "Hi", {1, 42, 2, 1},
     "00/03/2A0201", 0},
    // TS 23.040: the text starts at the septet boundary after the header, so
    // "hello" follows one fill bit here and TP-UDL 12 counts 7 header septets.
    {"concat8_7bit", UDH_HEAD "0000" TS "0C0500032A0201D06536FB0D",
     {0, 1, 0, 1, 0}, 11, 0x91, "12345678901", 0, 0, 0, kTs, 12, 5, "hello", {1, 42, 2, 1},
     "00/03/2A0201", 0},
    // A header of UDHL 0 still takes two septets (one octet and six fill bits).
    {"empty_header_7bit", UDH_HEAD "0000" TS "070000BACC66BF01",
     {0, 1, 0, 1, 0}, 11, 0x91, "12345678901", 0, 0, 0, kTs, 7, 5, "hello", kNoConcat, "", 0},
    {"empty_header_8bit", UDH_HEAD "0004" TS "03004869",
     {0, 1, 0, 1, 0}, 11, 0x91, "12345678901", 0, 4, 1, kTs, 3, 2, "Hi", kNoConcat, "", 0},
    {"ucs2", HELLO_HEAD "0008" TS "0400480069",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 8, 2, kTs, 4, 4, "Hi", kNoConcat, "", 0},
    {"ucs2_odd_length", HELLO_HEAD "0008" TS "050048006921",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 8, 2, kTs, 5, 5, "Hi", kNoConcat, "", 0},
    {"dcs_f4_is_8bit", HELLO_HEAD "00F4" TS "024869",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 0xF4, 1, kTs, 2, 2, "Hi", kNoConcat, "", 0},
    {"dcs_f7_is_8bit", HELLO_HEAD "00F7" TS "024869",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 0xF7, 1, kTs, 2, 2, "Hi", kNoConcat, "", 0},
    {"dcs_class_bits_ignored", HELLO_HEAD "0013" TS "05E8329BFD06",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 0x13, 0, kTs, 5, 5, "hello", kNoConcat, "", 0},
    {"empty_7bit", HELLO_HEAD "0000" TS "00",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 0, 0, kTs, 0, 0, "", kNoConcat, "", 0},
    {"empty_8bit", HELLO_HEAD "0004" TS "00",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 4, 1, kTs, 0, 0, "", kNoConcat, "", 0},
    {"empty_ucs2", HELLO_HEAD "0008" TS "00",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 8, 2, kTs, 0, 0, "", kNoConcat, "", 0},
    {"eight_bit_keeps_zero_bytes", HELLO_HEAD "0004" TS "03410042",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 4, 1, kTs, 3, 3, std::string("A\0B", 3),
     kNoConcat, "", 0},
    {"all_flags", "00E70B912143658709F17F04" TS "0100",
     {1, 1, 1, 1, 3}, 11, 0x91, "12345678901", 0x7F, 4, 1, kTs, 1, 0, "", kNoConcat, "", 0},
    {"nibbles_a_to_f", "000406" "81BADCFE" "0000" TS "00",
     {0, 0, 0, 1, 0}, 6, 0x81, "\x0A\x0B\x0C\x0D\x0E\x0F", 0, 0, 0, kTs, 0, 0, "", kNoConcat,
     "", 0},
    {"twenty_digits", "000414" "9121436587092143658709" "0000" TS "00",
     {0, 0, 0, 1, 0}, 20, 0x91, "12345678901234567890", 0, 0, 0, kTs, 0, 0, "", kNoConcat, "", 0},
    {"ports_and_concat16",
     UDH_HEAD "0004" TS "13" "10" "080412340302" "05040B8423F0" "0102AABB" "4869",
     {0, 1, 0, 1, 0}, 11, 0x91, "12345678901", 0, 4, 1, kTs, 19, 2, "Hi", {1, 0x1234, 3, 2},
     "08/04/12340302;05/04/0B8423F0/2948/9200;01/02/AABB", 0},
    {"later_concat_wins_port8",
     UDH_HEAD "0004" TS "10" "0E" "0003010201" "0003070302" "04021020" "21",
     {0, 1, 0, 1, 0}, 11, 0x91, "12345678901", 0, 4, 1, kTs, 16, 1, "!", {1, 7, 3, 2},
     "00/03/010201;00/03/070302;04/02/1020/16/32", 0},
    {"trailing_octets_ignored", HELLO_HEAD "0004" TS "024869FFFF",
     {0, 0, 0, 1, 0}, 11, 0x91, "12345678901", 0, 4, 1, kTs, 2, 2, "Hi", kNoConcat, "", 0},

    // Published PDUs whose decoding is documented with them.
    // The classic SMS-DELIVER walkthrough: "hellohello" from 27838890001.
    {"pub_hellohello", "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37",
     {0, 0, 0, 1, 0}, 11, 0xC8, "27838890001", 0, 0, 0,
     {0x99, 0x03, 0x29, 0x15, 0x16, 0x59, 0x08}, 10, 10, "hellohello", kNoConcat, "", 0},
    // A concatenated 7-bit message (header 05 00 03 C3 01 01) from 2781188,
    // 25/06/13 16:40:48 +02:00, reported with its decoded text.
    {"pub_concat_7bit_airtime",
     "0591721891F1400781721881F800003160526104848059050003C30101916536FB1DCABEEB2074D85E064941B19C"
     "AB060319A5C522289C96D3D3ED32286C0FA7D96131BBEC024941B19CAB0603DDD36C36A88C87A7E565D0DB0D82"
     "C55EB0DB4B068BCD5C20",
     {0, 1, 0, 0, 0}, 7, 0x81, "2781188", 0, 0, 0,
     {0x13, 0x06, 0x25, 0x16, 0x40, 0x48, 0x08}, 89, 82,
     "Hello!You have R 19.50 FREE airtime available. R 19.50 will expire on 01/07/2013. ",
     {1, 0xC3, 1, 1}, "00/03/C30101", 0},
    // Last part of a three-part 7-bit message of nothing but '1's.
    {"pub_concat_7bit_ones",
     "07913306000000F0640B913306000000F00000610110221153803105000" "3CB030362B1582C168BC562B1582C"
     "168BC562B1582C168BC562B1582C168BC562B1582C168BC56231",
     {0, 1, 1, 1, 0}, 11, 0x91, "33600000000", 0, 0, 0,
     {0x16, 0x10, 0x01, 0x22, 0x11, 0x35, 0x08}, 49, 42, std::string(42, '1'),
     {1, 0xCB, 3, 3}, "00/03/CB0303", 0},
    // Alphanumeric originator (0xD0) "diafaan", text "diafaan.com".
    {"pub_alphanumeric_diafaan",
     "0791448720003023240DD0E474D81C0EBB010000111011315214000BE474D81C0EBB5DE3771B",
     {0, 0, 1, 1, 0}, 13, 0xD0, "diafaan", 0, 0, 0,
     {0x11, 0x01, 0x11, 0x13, 0x25, 0x41, 0x00}, 11, 11, "diafaan.com", kNoConcat, "", 0},
    // Alphanumeric originator "HOSTER.RU" of 16 semi-octets.
    {"pub_alphanumeric_hoster",
     "07919720990610F00410D0C8E7945A94BAA4550000218051710140235550E953C82C3641C51828EDA697E5E6F0B8"
     "3C0705E7F4B23C3D5FB784E5323BED2E83623057CC1573D1404369929A1C0699A06B990C0AD6CFA0580D149BE9"
     "60395D0D066A4E9720192C2603",
     {0, 0, 0, 1, 0}, 16, 0xD0, "HOSTER.RU", 0, 0, 0,
     {0x12, 0x08, 0x15, 0x17, 0x10, 0x04, 0x32}, 85, 85,
     "PROBLEM E1 interfaces Asterisk-Beeline 10.1.1.4 CRITICAL Wed Aug 15 13:09:50 MSK 2012",
     kNoConcat, "", 0},
    // UCS2 with two Arabic characters (U+0628 U+062A): ISO-8859-1 has neither.
    {"pub_ucs2_arabic", "07910201956905F0040B910201014160F3000820219130521580040628062A",
     {0, 0, 0, 1, 0}, 11, 0x91, "20101014063", 0, 8, 2,
     {0x02, 0x12, 0x19, 0x03, 0x25, 0x51, 0x08}, 4, 4, "??", kNoConcat, "", 2},
    // UCS2 part 3 of 3 with a 16-bit reference (0x0A32), Cyrillic and ASCII.
    {"pub_ucs2_concat16",
     "07919731899699F3440B919781455534F20008811151906461215B0608040A32030304380442044C0020043F0435"
     "044004350432043E043400200441043E002004410447043504420430002004320430044804350433043E002004"
     "3D043E043C0435044004300020002A003100310035002A00310023",
     {0, 1, 0, 1, 0}, 11, 0x91, "79185455432", 0, 8, 2,
     {0x18, 0x11, 0x15, 0x09, 0x46, 0x16, 0x12}, 91, 84,
     "??? ??????? ?? ????? ?????? ?????? *115*1#", {1, 0x0A32, 3, 3}, "08/04/0A320303", 29},
    // Alphanumeric originator of 18 semi-octets with UCS2 text.
    {"pub_alphanumeric_ucs2",
     "07919731899699F32412D0DA37FB4D7FE76BB81A0008811141901161218A04230020042204150411042F00200031"
     "003300340039003904310021041C0415041D042F04190020043D043000200417041E041B041E0422041E002004"
     "34043E002000350030002500210421043A04380434043A043800200434043E00200037003000250021000A0035"
     "00380035007A006F006C006F0074006F0079002E00720075002F006E00760031",
     {0, 0, 1, 1, 0}, 18, 0xD0, "Zolotoy585", 0, 8, 2,
     {0x18, 0x11, 0x14, 0x09, 0x11, 0x16, 0x12}, 138, 138,
     "? ???? 13499?!????? ?? ?????? ?? 50%!?????? ?? 70%!\n585zolotoy.ru/nv1", kNoConcat, "", 29},
};
// clang-format on

struct FailCase {
  const char* name;
  const char* hex;
  const char* message;
};

// clang-format off
const FailCase kFail[] = {
    {"empty", "", "Decoder Error: 0 Data Length!\n"},
    {"one_octet", "00", "decoder error, address exceeds data boundary, PDU too short\n"},
    {"two_octets", "0004", "decoder error, address exceeds data boundary, PDU too short\n"},
    {"no_originator", "000400", "decoder error, address exceeds data boundary, PDU too short\n"},
    {"service_centre_past_end", "0791214365",
     "decoder error, address exceeds data boundary, PDU too short\n"},
    {"originator_to_end", HELLO_HEAD,
     "decoder error, address exceeds data boundary, PDU too short\n"},
    {"originator_21_digits", "000415" "9121436587092143658709F1" "0000" TS "00",
     "Decoder error: Address length 21 exceeds 20 digits\n"},
    {"no_dcs", HELLO_HEAD "00", "Cannot decode DCS, PDU too short\n"},
    {"no_timestamp", HELLO_HEAD "0000", "Cannot decode timestamp, PDU too short\n"},
    {"no_user_data_length", HELLO_HEAD "0000" TS, "Cannot decode timestamp, PDU too short\n"},
    {"compressed", HELLO_HEAD "0020" TS "00", "Compressed Data Coding Scheme Not Supported\n"},
    {"compressed_ucs2", HELLO_HEAD "003C" TS "00", "Compressed Data Coding Scheme Not Supported\n"},
    {"dcs_40", HELLO_HEAD "0040" TS "00", "Unsupported Data Coding Scheme 40\n"},
    {"dcs_c0", HELLO_HEAD "00C0" TS "00", "Unsupported Data Coding Scheme C0\n"},
    {"dcs_ef", HELLO_HEAD "00EF" TS "00", "Unsupported Data Coding Scheme EF\n"},
    {"dcs_f0", HELLO_HEAD "00F0" TS "00", "Unsupported Data Coding Scheme F0\n"},
    {"dcs_f3", HELLO_HEAD "00F3" TS "00", "Unsupported Data Coding Scheme F3\n"},
    {"alphabet_3", HELLO_HEAD "000C" TS "00", "Decoder error: Bad Alphabet 3\n"},
    {"concat8_length", UDH_HEAD "0004" TS "05" "0400022A02",
     "Decoder error: Bad length for 8 bit reference concatenated message IE\n"},
    {"concat16_length", UDH_HEAD "0004" TS "06" "0508031234" "02",
     "Decoder error: Bad length for 16 bit reference concatenated message IE\n"},
    {"port8_length", UDH_HEAD "0004" TS "06" "050403E2E3E4",
     "Decoder error: Bad length for 8 bit application port IE\n"},
    {"port16_length", UDH_HEAD "0004" TS "05" "0405020B84",
     "Decoder error: Bad length for 16 bit application port IE\n"},
    {"elements_past_header", UDH_HEAD "0004" TS "08" "050104AABBCCDD" "4869",
     "Decoder error: Information elements exceeded the header boundary\n"},
    {"element_past_pdu", UDH_HEAD "0004" TS "08" "020105AA",
     "Decoder error: Information elements exceeded the header boundary\n"},
    {"element_id_last_octet", UDH_HEAD "0004" TS "08" "0100",
     "Decoder error: Information elements exceeded the header boundary\n"},
    {"header_past_pdu", UDH_HEAD "0004" TS "0A" "0500032A",
     "Decoder error: User Data Header exceeds PDU boundary, PDU too short\n"},
    {"header_length_missing", UDH_HEAD "0004" TS "00",
     "Decoder error: User Data Header exceeds PDU boundary, PDU too short\n"},
    {"header_longer_than_udl_8bit", UDH_HEAD "0004" TS "03" "0500032A0201",
     "Decoder error: User Data Header Length 5 exceeds User Data Length 3\n"},
    // Six septets hold only 42 of the header's 48 bits.
    {"header_longer_than_udl_7bit", UDH_HEAD "0000" TS "06" "0500032A0201",
     "Decoder error: User Data Header Length 5 exceeds User Data Length 6\n"},
    {"udl_past_pdu_7bit", HELLO_HEAD "0000" TS "06E8329BFD06",
     "Decoder error: User Data Length 6 exceeds PDU boundary, PDU too short\n"},
    {"udl_past_pdu_7bit_after_header", UDH_HEAD "0000" TS "0D0500032A0201D06536FB0D",
     "Decoder error: User Data Length 6 exceeds PDU boundary, PDU too short\n"},
    {"udl_past_pdu_8bit", HELLO_HEAD "0004" TS "034869",
     "Decoder error: User Data Length 3 User PDU boundary, PDU too short\n"},
    {"udl_past_pdu_8bit_after_header", UDH_HEAD "0004" TS "090500032A02014869",
     "Decoder error: User Data Length 3 User PDU boundary, PDU too short\n"},
    {"udl_past_pdu_ucs2", HELLO_HEAD "0008" TS "0500480069",
     "Decoder error: User Data Length 5 User PDU boundary, PDU too short\n"},
};
// clang-format on

std::string hex_of(const std::vector<unsigned char>& data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : data) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

// "id/length/data" per element, with "/destination/originator" for port
// elements, joined by ';'.
std::string element_summary(const SmsDeliver& sms) {
  std::ostringstream out;
  for (const UdhElement* e = sms.elements.get(); e != nullptr; e = e->next.get()) {
    if (e != sms.elements.get()) out << ';';
    char head[16];
    std::snprintf(head, sizeof head, "%02X/%02X/", e->id, e->length);
    out << head << hex_of(e->data);
    if (e->id == 0x04 || e->id == 0x05)
      out << '/' << e->destinationPort << '/' << e->originatorPort;
  }
  return out.str();
}

std::string read_all(FILE* file) {
  std::string out;
  std::rewind(file);
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  return out;
}

// Runs the decoder with a fresh log; `err` gets what it wrote to stderr and
// `log` what reached the log.
struct Outcome {
  std::unique_ptr<SmsDeliver> sms;
  std::string err;
  std::string log;
};

Outcome decode(const char* hex) {
  Outcome run;
  FILE* log = std::tmpfile();
  EXPECT_NE(log, nullptr);
  testing::internal::CaptureStderr();
  run.sms = decode_pdu(hex, log);
  run.err = testing::internal::GetCapturedStderr();
  run.log = read_all(log);
  EXPECT_EQ(traceFile, log);
  traceFile = nullptr;
  std::fclose(log);
  return run;
}

TEST(DecodePdu, ValidTable) {
  for (const ValidCase& c : kValid) {
    SCOPED_TRACE(std::string(c.name) + " " + c.hex);
    Outcome run = decode(c.hex);
    ASSERT_NE(run.sms, nullptr) << run.err;
    const SmsDeliver& s = *run.sms;
    std::array<int, 5> flags = {s.replyPath, s.udhi, s.statusReportIndication, s.moreMessagesToSend,
                                s.messageTypeIndicator};
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(s.originator.length, c.oaLength);
    EXPECT_EQ(s.originator.type, c.oaType);
    EXPECT_EQ(s.originator.digits[s.originator.length], 0);
    EXPECT_EQ(address_text(s.originator), c.sender);
    EXPECT_EQ(s.protocolId, c.protocolId);
    EXPECT_EQ(s.dataCodingScheme, c.dataCodingScheme);
    EXPECT_EQ(s.alphabet, c.alphabet);
    EXPECT_EQ(s.timestamp, c.timestamp);
    EXPECT_EQ(s.userDataLength, c.userDataLength);
    EXPECT_EQ(s.textLength, c.textLength);
    EXPECT_EQ(s.text, c.text);
    std::array<int, 4> concat = {s.concatenated, s.concatReference, s.concatTotal,
                                 s.concatSequence};
    EXPECT_EQ(concat, c.concat);
    EXPECT_EQ(element_summary(s), c.elements);
    std::string traces;
    for (int i = 0; i < c.wctombTraces; ++i) traces += "Error calling wctomb!\n";
    EXPECT_EQ(run.err, traces);
    EXPECT_EQ(run.log, traces);
  }
}

TEST(DecodePdu, FailureTable) {
  for (const FailCase& c : kFail) {
    SCOPED_TRACE(std::string(c.name) + " " + c.hex);
    Outcome run = decode(c.hex);
    EXPECT_EQ(run.sms, nullptr);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.log, c.message);
  }
}

TEST(DecodePdu, NullTextAndNullLog) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(decode_pdu(nullptr, nullptr), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Decoder Error: 0 Data Length!\n");
  EXPECT_EQ(traceFile, nullptr);
}

TEST(DecodePdu, EachCallReplacesTheLog) {
  FILE* first = std::tmpfile();
  ASSERT_NE(first, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(decode_pdu("00", first), nullptr);
  EXPECT_EQ(traceFile, first);  // stays set after the call
  EXPECT_EQ(decode_pdu("", nullptr), nullptr);
  EXPECT_EQ(traceFile, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "decoder error, address exceeds data boundary, PDU too short\n"
            "Decoder Error: 0 Data Length!\n");
  EXPECT_EQ(read_all(first), "decoder error, address exceeds data boundary, PDU too short\n");
  std::fclose(first);
}

// Every message the decoder can trace on failure: the fixed ones in full,
// the formatted ones by their fixed start.
bool is_decoder_message(const std::string& line) {
  static const std::set<std::string> fixed = [] {
    std::set<std::string> all;
    for (const FailCase& c : kFail) all.insert(c.message);
    all.insert("Cannot decode TPID, PDU too short\n");
    return all;
  }();
  static const char* const starts[] = {
      "Unsupported Data Coding Scheme ", "Decoder error: User Data Length ",
      "Decoder error: User Data Header Length ", "Decoder error: Address length "};
  if (fixed.count(line)) return true;
  for (const char* start : starts) {
    if (line.compare(0, std::strlen(start), start) == 0) return true;
  }
  return false;
}

TEST(DecodePdu, EveryPrefixDecodesOrFailsCleanly) {
  for (const ValidCase& c : kValid) {
    const size_t full = std::strlen(c.hex);
    for (size_t length = 0; length < full; ++length) {
      SCOPED_TRACE(std::string(c.name) + " prefix " + std::to_string(length));
      // Exactly sized, so that ASan sees any read past the terminator.
      std::unique_ptr<char[]> prefix(new char[length + 1]);
      std::memcpy(prefix.get(), c.hex, length);
      prefix[length] = '\0';
      Outcome run = decode(prefix.get());
      if (run.sms == nullptr) {
        EXPECT_TRUE(is_decoder_message(run.err)) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
      } else {
        EXPECT_LE(run.sms->text.size(), static_cast<size_t>(run.sms->textLength));
      }
      // No table PDU carries octets that the decoder does not need, so a
      // prefix of whole octets never decodes.  (Half an octet may: "0" of a
      // TP-UDL "05" reads as 0.)
      if (length % 2 == 0 && std::strcmp(c.name, "trailing_octets_ignored") != 0) {
        EXPECT_EQ(run.sms, nullptr);
      }
    }
  }
}

TEST(HexToOctets, Table) {
  struct Case {
    const char* text;
    std::vector<unsigned char> octets;
  } cases[] = {
      {"", {}},
      {"0", {0x00}},
      {"7", {0x07}},  // odd count: the last octet from one character
      {"e8329BfD06", {0xE8, 0x32, 0x9B, 0xFD, 0x06}},
      {"E8 32", {0xE8, 0x03, 0x02}},  // " 3": leading white space is skipped
      {"-1", {0xFF}},
      {"-F", {0xF1}},
      {"+F", {0x0F}},
      {"zz", {0x00}},  // no digits
      {"x1", {0x00}},
      {"1x", {0x01}},  // reading stops at the first non-digit
      {"0x", {0x00}},
      {"\t-", {0x00}},
      {"\xA0"
       "5",
       {0x00}},  // 0xA0 is not white space in the C locale
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hex_to_octets(c.text), c.octets) << "text=\"" << c.text << "\"";
  }
}

TEST(HexToOctets, EveryPairReadsAsStrtolReadsIt) {
  // The decoder reads pairs by hand so that no locale can change them; in the
  // C locale strtol must agree with it on every pair of characters.
  for (int a = 1; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const char pair[3] = {static_cast<char>(a), static_cast<char>(b), '\0'};
      const unsigned char expected =
          static_cast<unsigned char>(std::strtol(pair, nullptr, 16) & 0xFF);
      std::vector<unsigned char> octets = hex_to_octets(pair);
      ASSERT_EQ(octets.size(), 1u);
      ASSERT_EQ(octets[0], expected) << "pair " << a << "," << b;
    }
  }
}

TEST(ReadAddress, Table) {
  struct Case {
    const char* octets;
    int position;
    bool countsDigits;
    bool ok;
    int endPosition;
    int length;
    int type;
    std::string text;
  } cases[] = {
      {"0B912143658709F1FF", 0, true, true, 8, 11, 0x91, "12345678901"},
      {"04810180FF", 0, true, true, 4, 4, 0x81, "1008"},
      {"FF0B912143658709F1FF", 1, true, true, 9, 11, 0x91, "12345678901"},
      {"00810102", 0, true, true, 2, 0, 0x81, ""},
      {"0B912143658709F1", 0, true, false, 0, 0, 0, ""},  // nothing after the address
      {"0B91", 0, true, false, 0, 0, 0, ""},
      // Service-centre form: the length counts the type octet too.
      {"07912143658709F104", 0, false, true, 8, 7, 0x91, ""},
      {"00FFFF", 0, false, true, 1, 0, 0xFF, ""},  // no address: back onto octet 1
      {"0791214365", 0, false, false, 0, 0, 0, ""},
      {"0000", 0, false, false, 0, 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.octets);
    std::vector<unsigned char> octets = hex_to_octets(c.octets);
    PduAddress address;
    address.length = 99;  // left alone on failure
    int position = c.position;
    testing::internal::CaptureStderr();
    bool ok = read_address(position, address, octets.data(), static_cast<int>(octets.size()),
                           c.countsDigits);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(ok, c.ok);
    if (!ok) {
      EXPECT_EQ(err, "decoder error, address exceeds data boundary, PDU too short\n");
      EXPECT_EQ(position, c.position);
      EXPECT_EQ(address.length, 99);
      continue;
    }
    EXPECT_EQ(err, "");
    EXPECT_EQ(position, c.endPosition);
    EXPECT_EQ(address.length, c.length);
    EXPECT_EQ(address.type, c.type);
    if (c.countsDigits) {
      EXPECT_EQ(address_text(address), c.text);
    }
  }
}

TEST(AddressText, AlphanumericTypesAndPlainDigits) {
  PduAddress address;
  // "diafaan" packed in 13 semi-octets; 0xD1 is alphanumeric as well, 0x91
  // and 0xC8 are not.
  std::vector<unsigned char> packed = hex_to_octets("E474D81C0EBB01");
  address.length = 13;
  for (size_t i = 0; i < packed.size(); ++i) {
    address.digits[2 * i] = packed[i] & 0x0F;
    address.digits[2 * i + 1] = packed[i] >> 4;
  }
  address.digits[13] = 0;
  address.type = 0xD0;
  EXPECT_EQ(address_text(address), "diafaan");
  address.type = 0xD1;
  EXPECT_EQ(address_text(address), "diafaan");
  address.type = 0x91;
  // Other types show the semi-octets as they are.
  EXPECT_EQ(address_text(address),
            "4\x0E"
            "478\x0D\x0C"
            "1\x0E"
            "0\x0B\x0B"
            "1");
}

// The fuzz target's seed corpus must hold every PDU of the tables above.
// PDU_WRITE_CORPUS=1 writes the missing ones.
TEST(FuzzCorpus, HoldsEveryTablePdu) {
  namespace fs = std::filesystem;
  const fs::path dir(PDU_FUZZ_CORPUS);
  std::set<std::string> held;
  if (fs::is_directory(dir)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      held.insert(std::string(std::istreambuf_iterator<char>(in), {}));
    }
  }
  const bool write = std::getenv("PDU_WRITE_CORPUS") != nullptr;
  auto want = [&](const std::string& prefix, const char* name, const char* hex) {
    if (held.count(hex)) return;
    if (write) {
      fs::create_directories(dir);
      std::ofstream(dir / (prefix + name), std::ios::binary) << hex;
      return;
    }
    ADD_FAILURE() << "fuzz corpus lacks " << prefix << name << ": " << hex;
  };
  for (const ValidCase& c : kValid) want("valid_", c.name, c.hex);
  for (const FailCase& c : kFail) want("fail_", c.name, c.hex);
}

}  // namespace

}  // namespace smstest
