// Runs the real pdu_decode binary and checks its output byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdu/sms_submit.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

const char kHello[] = "00040B912143658709F100006050403020100005E8329BFD06";
const char kHelloJson[] =
    R"({"pdu":"00040B912143658709F100006050403020100005E8329BFD06","replyPath":0,"udhi":0,)"
    R"("statusReportIndication":0,"moreMessagesToSend":1,"messageTypeIndicator":0,)"
    R"("originator":{"length":11,"type":145,"digits":[1,2,3,4,5,6,7,8,9,0,1],)"
    R"("text":"12345678901"},"protocolId":0,"dataCodingScheme":0,"alphabet":0,)"
    R"("timestamp":{"raw":[6,5,4,3,2,1,0],"readable":"06/05/04 03:02:01 +00:00",)"
    R"("timeZoneQuarterHours":0},"userDataLength":5,"elements":[],"textLength":5,)"
    R"("concatenated":0,"concatReference":0,"concatTotal":0,"concatSequence":0,)"
    R"("text":"hello","textHex":"68656C6C6F"})"
    "\n";

// A concatenated 7-bit message as published with its decoded text.
const char kAirtime[] =
    "0591721891F1400781721881F800003160526104848059050003C30101916536FB1DCABEEB2074D85E064941B19C"
    "AB060319A5C522289C96D3D3ED32286C0FA7D96131BBEC024941B19CAB0603DDD36C36A88C87A7E565D0DB0D82"
    "C55EB0DB4B068BCD5C20";

ProcessResult run(const std::vector<std::string>& args, const std::string& input = "") {
  std::vector<std::string> argv = {PDU_DECODE_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessResult result = run_process(argv, ".", {}, 30, input);
  EXPECT_FALSE(result.timedOut);
  return result;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    out.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "output does not end with a line end";
  return out;
}

void expect_contains(const std::string& text, const std::string& part) {
  EXPECT_NE(text.find(part), std::string::npos) << "missing: " << part << "\nin: " << text;
}

TEST(PduDecode, PrintsEveryFieldOfTheRecord) {
  ProcessResult r = run({kHello});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHelloJson);
  EXPECT_EQ(r.err, "");
}

TEST(PduDecode, ReadsStandardInputLineByLine) {
  // CR LF line ends, white space around the PDUs and blank lines.
  std::string input = std::string("  ") + kAirtime + "\r\n\r\n\t" + kHello + " \n\n";
  ProcessResult r = run({}, input);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 2u) << r.out;
  expect_contains(out[0], std::string(R"({"pdu":")") + kAirtime + "\"");
  expect_contains(out[0], R"("originator":{"length":7,"type":129,"digits":[2,7,8,1,1,8,8],)"
                          R"("text":"2781188"})");
  expect_contains(out[0], R"("readable":"13/06/25 16:40:48 +02:00","timeZoneQuarterHours":8})");
  expect_contains(out[0], R"("userDataLength":89,"elements":[{"id":0,"length":3,"data":"C30101"}],)"
                          R"("textLength":82,"concatenated":1,"concatReference":195,)"
                          R"("concatTotal":1,"concatSequence":1,)");
  expect_contains(out[0], R"("text":"Hello!You have R 19.50 FREE airtime available. )"
                          R"(R 19.50 will expire on 01/07/2013. ")");
  EXPECT_EQ(out[1] + "\n", kHelloJson);
}

TEST(PduDecode, EscapesTextsAndShowsPortsAndZones) {
  const std::string head = "00440B912143658709F10004";
  struct Case {
    std::string pdu;
    std::vector<std::string> parts;
  } cases[] = {
      // 8-bit text with a quote, a backslash, control bytes, e acute, a zero and DEL.
      {"00040B912143658709F10004"
       "60504030201000"
       "08225C0A09E901007F",
       {std::string(R"("text":"\"\\\n\t)") + "\xC3\xA9" + R"(\u0001\u0000\u007f")",
        R"("textHex":"225C0A09E901007F")", R"("textLength":8,)"}},
      // 7-bit text through the extension table: the euro sign as the currency sign.
      {"00040B912143658709F10000"
       "60504030201000"
       "029B32",
       {std::string(R"("text":")") + "\xC2\xA4" + "\"", R"("textHex":"A4")"}},
      // Originator semi-octets 0xA to 0xF are bytes 0x0A to 0x0F of its text;
      // received zone octet 0x4A is -24 quarter hours.
      {"000406"
       "81BADCFE"
       "0000"
       "6050403020104A"
       "00",
       {R"("originator":{"length":6,"type":129,"digits":[10,11,12,13,14,15],)"
        R"("text":"\n\u000b\f\r\u000e\u000f"})",
        R"("readable":"06/05/04 03:02:01 -06:00","timeZoneQuarterHours":-24})"}},
      {"0791448720003023240DD0E474D81C0EBB010000111011315214000BE474D81C0EBB5DE3771B",
       {R"("originator":{"length":13,"type":208,"digits":[4,14,4,7,8,13,12,1,14,0,11,11,1],)"
        R"("text":"diafaan"})",
        R"("text":"diafaan.com")"}},
      {head + "60504030201000"
              "13"
              "10"
              "080412340302"
              "05040B8423F0"
              "0102AABB"
              "4869",
       {R"("elements":[{"id":8,"length":4,"data":"12340302"},)"
        R"({"id":5,"length":4,"data":"0B8423F0","destinationPort":2948,"originatorPort":9200},)"
        R"({"id":1,"length":2,"data":"AABB"}],)",
        R"("concatenated":1,"concatReference":4660,"concatTotal":3,"concatSequence":2,)"}},
  };
  for (const Case& c : cases) {
    ProcessResult r = run({c.pdu});
    EXPECT_EQ(r.exitCode, 0) << c.pdu << "\n" << r.err;
    EXPECT_EQ(lines(r.out).size(), 1u) << r.out;
    for (const std::string& part : c.parts) expect_contains(r.out, part);
  }
}

TEST(PduDecode, FailureGivesErrorObjectMessageAndExitCode1) {
  ProcessResult r = run({kHello, "0004",
                         "00040B912143658709F100F0"
                         "60504030201000"
                         "00"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, std::string(kHelloJson) +
                       R"({"pdu":"0004","error":"decoder error, address exceeds data )"
                       R"(boundary, PDU too short"})"
                       "\n"
                       R"({"pdu":"00040B912143658709F100F0605040302010000)"
                       R"(0","error":"Unsupported Data Coding Scheme F0"})"
                       "\n");
  EXPECT_EQ(r.err,
            "decoder error, address exceeds data boundary, PDU too short\n"
            "Unsupported Data Coding Scheme F0\n");
}

TEST(PduDecode, Ucs2OutsideLatin1DecodesWithTraceLines) {
  ProcessResult r = run({"07910201956905F0040B910201014160F3000820219130521580040628062A"});
  EXPECT_EQ(r.exitCode, 0);
  expect_contains(r.out, R"("text":"??","textHex":"3F3F"})");
  EXPECT_EQ(r.err, "Error calling wctomb!\nError calling wctomb!\n");
}

TEST(PduDecode, NoInputAndHelp) {
  ProcessResult empty = run({}, "");
  EXPECT_EQ(empty.exitCode, 0);
  EXPECT_EQ(empty.out, "");
  ProcessResult help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: pdu_decode [PDU...]\n", 0), 0u) << help.out;
  expect_contains(help.out, "pdu_decode --submit [--utf8] NUMBER TEXT\n");
  expect_contains(help.out, "AT+CMGS=<length>");
  EXPECT_EQ(help.err, "");
}

TEST(PduDecode, SubmitPrintsTheCommandAndThePdu) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    std::string text;  // what the PDU carries, ISO-8859-1
  } cases[] = {
      // A widely published example: "hellohello" in 7-bit, 4 days' validity.
      {{"--submit", "+46708251358", "hellohello"},
       "AT+CMGS=23\n0011000B916407281553F80000AA0AE8329BFD4697D9EC37\n",
       "hellohello"},
      // No '+': type 0x81.  An extension character takes two septets.
      {{"--submit", "0170123", "[1]"}, "AT+CMGS=17\n0011000781100721F30000AA051B5E6CE303\n", "[1]"},
      // TEXT is ISO-8859-1 byte for byte: 0xE9 is e acute, in the 7-bit alphabet.
      {{"--submit", "+1", "caf\xE9"}, "AT+CMGS=13\n0011000191F10000AA04E3B0B900\n", "caf\xE9"},
      // ... and with --utf8 the same character as UTF-8.
      {{"--utf8", "--submit", "+1", "caf\xC3\xA9"},
       "AT+CMGS=13\n0011000191F10000AA04E3B0B900\n",
       "caf\xE9"},
      // Without --utf8 those two bytes are two characters, the first outside
      // the 7-bit alphabet: UCS2.
      {{"--submit", "+1", "\xC3\xA9"}, "AT+CMGS=13\n0011000191F10008AA0400C300A9\n", "\xC3\xA9"},
      // Arguments are taken as they are: a text may start with '-' (and
      // "--" may end the options), brackets and commas are text.
      {{"--submit", "+1", "-x"}, "AT+CMGS=11\n0011000191F10000AA022D3C\n", "-x"},
      {{"--submit", "--", "+1", "--help"}, "", "--help"},
      {{"--submit", "+1", "[a,b]"}, "", "[a,b]"},
      {{"--submit", "+1", std::string(160, 'a')}, "", std::string(160, 'a')},
      {{"--submit", "+1", std::string(70, '`')}, "", std::string(70, '`')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[c.args.size() - 1]);
    ProcessResult r = run(c.args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    if (!c.out.empty()) {
      EXPECT_EQ(r.out, c.out);
    }
    // The second line decodes to the text, and its TPDU is the length said.
    std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 2u) << r.out;
    smstest::SmsSubmit submit;
    std::string error;
    ASSERT_TRUE(smstest::decode_sms_submit(out[1], submit, error)) << error;
    EXPECT_EQ(submit.text, c.text);
    EXPECT_EQ("AT+CMGS=" + std::to_string(submit.tpduLength), out[0]);
  }
}

TEST(PduDecode, SubmitRefusalsExitWith2) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--submit", "+1", std::string(161, 'a')},
       "pdu_decode: Message text too long for one SMS: 161 septets in the GSM 7-bit alphabet, at "
       "most 160\n"},
      {{"--submit", "+1", std::string(80, '~') + "x"},
       "pdu_decode: Message text too long for one SMS: 161 septets in the GSM 7-bit alphabet, at "
       "most 160\n"},
      {{"--submit", "+1", std::string(71, '`')},
       "pdu_decode: Message text too long for one SMS: 71 characters in UCS2, at most 70\n"},
      {{"--submit", "12-34", "hi"},
       "pdu_decode: Bad destination number \"12-34\": only digits, after an optional leading +\n"},
      {{"--submit", "", "hi"}, "pdu_decode: No destination number\n"},
      {{"--submit", std::string(21, '9'), "hi"},
       "pdu_decode: Bad destination number \"" + std::string(21, '9') +
           "\": 21 digits, at most 20\n"},
      {{"--utf8", "--submit", "+1", "\xE2\x82\xAC"},
       "pdu_decode: TEXT: U+20AC at byte 0 is not in ISO-8859-1\n"},
      {{"--utf8", "--submit", "+1", "ok\xE9"}, "pdu_decode: TEXT: not valid UTF-8 at byte 2\n"},
      {{"--submit", "+1"},
       "pdu_decode: --submit takes two arguments, NUMBER and TEXT\n"
       "Run pdu_decode --help for the usage.\n"},
      {{"--submit", "+1", "a", "b"},
       "pdu_decode: --submit takes two arguments, NUMBER and TEXT\n"
       "Run pdu_decode --help for the usage.\n"},
      {{"--bogus", "+1"},
       "pdu_decode: unknown option --bogus\nRun pdu_decode --help for the usage.\n"},
      {{"-x"}, "pdu_decode: unknown option -x\nRun pdu_decode --help for the usage.\n"},
      {{"--utf8", kHello},
       "pdu_decode: --utf8 requires --submit\nRun pdu_decode --help for the usage.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    ProcessResult r = run(c.args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
}

// Hex is read by its message type: what --submit prints reads back as an
// SMS-SUBMIT; text that is not hex is refused as such, before any decoder.
TEST(PduDecode, TellsSubmitFromDeliverAndRefusesWhatIsNotHex) {
  ProcessResult made = run({"--submit", "5550104", "hello"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const std::string submitPdu = lines(made.out).at(1);
  ProcessResult r = run({submitPdu});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  expect_contains(r.out, R"("messageType":"SMS-SUBMIT")");
  expect_contains(r.out, R"("destination":{"type":129,"text":"5550104"})");
  expect_contains(r.out, R"("text":"hello")");

  struct Case {
    const char* pdu;
    const char* error;
  } cases[] = {
      {"zz", "Not a PDU in hex: the character 'z' at position 1 is not a hex digit"},
      {"0011 00", "Not a PDU in hex: the character \\x20 at position 5 is not a hex digit"},
      {"001", "Not a PDU in hex: an odd number of hex digits (3)"},
      {"0002", "SMS-STATUS-REPORT PDU too short for its message reference"},
      {"0013", "Reserved message type indicator 3"},
      // A SUBMIT that its own decoder refuses says why.
      {"0011", "SMS-SUBMIT PDU too short for its message reference"},
  };
  for (const Case& c : cases) {
    ProcessResult bad = run({c.pdu});
    EXPECT_EQ(bad.exitCode, 1) << c.pdu;
    EXPECT_EQ(bad.err, std::string(c.error) + "\n") << c.pdu;
    expect_contains(bad.out, R"("error":")");
  }
  // A delivery report (service-centre part first) comes out as its object.
  ProcessResult report =
      run({"07911326060032F006D60B911326880736F4111011719551401110117195714000"});
  EXPECT_EQ(report.exitCode, 0) << report.err;
  expect_contains(report.out, R"("messageType":"SMS-STATUS-REPORT")");
  expect_contains(report.out, R"("messageReference":214)");
  expect_contains(report.out, R"("recipient":{"type":145,"text":"+31628870634"})");
  expect_contains(report.out, R"("readable":"11/01/11 17:59:17 +01:00")");
  expect_contains(report.out, R"("centreDelivery":2)");
  expect_contains(report.out, R"("status":0,"statusClass":"delivered")");

  // A DELIVER keeps its output and the decoder's own message.
  ProcessResult deliver = run({kHello});
  EXPECT_EQ(deliver.out, kHelloJson);
}

}  // namespace

}  // namespace smstest
