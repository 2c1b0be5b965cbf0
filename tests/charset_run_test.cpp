// Whole runs with a message text saved in UTF-8, as most editors write it:
// in the standard command sets "é" (two bytes in the file) is one character
// on the air, in text and PDU mode; a character that ISO-8859-1 lacks (the
// euro sign, Cyrillic, an emoji) goes as UTF-8, in 7-bit or UCS2 PDUs or in
// text mode's "UCS2" set; option charset=latin1 reads every byte as one
// character, as before; the proprietary set sends the bytes as they are.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "common/result_line.h"
#include "pdu/unicode_text.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

using Json = nlohmann::json;

class CharsetRunTest : public WholeRunFixture {};

// The network log's form of a text: bytes from 0x80 as "\xNN".
std::string logged(const std::string& text) {
  std::string out;
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    out += b < 0x80 ? std::string(1, c) : format("\\x%02X", b);
  }
  return out;
}

TEST_F(CharsetRunTest, Utf8TextsGoOnTheAirAsTheirCharacters) {
  struct Case {
    const char* set;      // field 11
    const char* options;  // lines after line 3
    const char* stored;   // the text the network carried, after "tImE<n>T"
    const char* cmgs;     // the send command in the sending modem's log, "" not looked at
  } cases[] = {
      // 11 septets of GSM 7-bit: 12 octets of header, 10 of user data.
      {"pdu", "", "caf\xE9", "AT+CMGS=22\r"},
      {"text", "", "caf\xE9", ""},
      {"pdu", "\ncharset=utf-8", "caf\xE9", "AT+CMGS=22\r"},
      // Two characters, the first without a GSM 7-bit form: UCS2.
      {"pdu", "\ncharset=latin1", "caf\xC3\xA9", "AT+CMGS=36\r"},
      {"text", "\ncharset=latin1", "caf\xC3\xA9", ""},
      {"", "", "caf\xC3\xA9", ""},  // the proprietary set: the bytes as they are
  };
  start_sim({"--delay", "0.2", "--modem", "COM3=5550103"});
  int n = 0;
  for (const Case& c : cases) {
    const std::string dataTime = std::to_string(50 + n++);
    SCOPED_TRACE(std::string(c.set) + c.options);
    ToolRun run = run_sms_test(
        std::string("U|20|3|5550103|caf\xC3\xA9|0|0|115200|0|0|0|") + c.set + c.options, dataTime);
    EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
    EXPECT_EQ(run.status, "0 SUCCESS\n");
    const std::string sent = "tImE" + dataTime + "T" + c.stored;
    EXPECT_TRUE(contains(network_log(), " - " + logged(sent) + "\n")) << network_log();
    EXPECT_TRUE(ends_with(run.process.err, "OK - " + sent + "\n")) << run.process.err;
    if (*c.cmgs != '\0') {
      EXPECT_TRUE(contains(read_file(run.dir + "/U.3.debug.log"), c.cmgs));
    }
  }
}

// The record of the run in "run.jsonl", when there is exactly one.
Json record_of(const ToolRun& run) {
  const std::string text = read_file(run.dir + "/run.jsonl");
  Json record = Json::parse(text, nullptr, false);
  EXPECT_FALSE(record.is_discarded()) << text;
  return record;
}

// Characters beyond ISO-8859-1 go and come back whole: in PDU mode in 7-bit
// (the euro sign's escape) or UCS2 (Cyrillic, an emoji's surrogate pair),
// in text mode as UCS2 hex after AT+CSCS="UCS2".  The round trip compares,
// prints and records the UTF-8 text.  With charset=latin1 every byte is one
// character, as before: the same bytes come back, in "IRA" or as
// ISO-8859-1 characters in UCS2.
TEST_F(CharsetRunTest, TextsBeyondLatin1GoWholeInTextAndPduMode) {
  const std::string euro = "1 \xE2\x82\xAC";
  const std::string cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
  const std::string emoji = "ok \xF0\x9F\x93\xB1";
  struct Case {
    const char* set;
    std::string text;
    const char* options;
    const char* cscs;      // the character set the run asked for; "" for none
    int length;            // messageLength, after "tImE<n>T" (5 characters and n)
    const char* alphabet;  // messageAlphabet
  } cases[] = {
      {"pdu", euro, "", "", 3, "gsm7"},
      {"text", euro, "", "UCS2", 3, "gsm7"},
      {"pdu", cyrillic, "", "", 6, "ucs2"},
      {"text", cyrillic, "\ncharset=utf-8", "UCS2", 6, "ucs2"},
      {"pdu", emoji, "", "", 4, "ucs2"},
      {"text", emoji, "", "UCS2", 4, "ucs2"},
      // Each byte one ISO-8859-1 character, 0x82 without a 7-bit form.
      {"pdu", euro, "\ncharset=latin1", "", 5, "ucs2"},
      {"text", euro, "\ncharset=latin1", "IRA", 5, "ucs2"},
  };
  start_sim({"--delay", "0.2", "--modem", "COM3=5550103"});
  int n = 0;
  for (const Case& c : cases) {
    const std::string dataTime = std::to_string(10 + n++);
    SCOPED_TRACE(std::string(c.set) + " " + c.text + c.options);
    ToolRun run = run_sms_test(std::string("U|20|3|5550103|") + c.text + "|0|0|115200|0|0|0|" +
                                   c.set + c.options + "\nrecord=run.jsonl",
                               dataTime);
    EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
    EXPECT_EQ(run.status, "0 SUCCESS\n");
    ASSERT_GT(run.result.size(), static_cast<size_t>(result_column::kAccuracy));
    EXPECT_EQ(run.result[result_column::kAccuracy], "100");
    const std::string sent = "tImE" + dataTime + "T" + c.text;
    EXPECT_TRUE(contains(network_log(), " - " + logged(sent) + "\n")) << network_log();
    EXPECT_TRUE(ends_with(run.process.err, "OK - " + sent + "\n")) << run.process.err;
    const std::string debug = read_file(run.dir + "/U.3.debug.log");
    for (const char* set : {"IRA", "UCS2"}) {
      EXPECT_EQ(contains(debug, std::string("AT+CSCS=\"") + set + "\"\r"),
                std::string(set) == c.cscs)
          << set;
    }
    const Json record = record_of(run);
    const bool latin1 = std::string(c.options) == "\ncharset=latin1";
    EXPECT_EQ(record["messageSent"], latin1 ? utf8_of_latin1(sent) : sent);
    EXPECT_EQ(record["messageLength"], 5 + static_cast<int>(dataTime.size()) + c.length);
    EXPECT_EQ(record["messageAlphabet"], c.alphabet);
    EXPECT_EQ(record["accuracy"], 100);
  }
}

// A text that is not UTF-8 under charset=utf-8 is refused at start-up.
TEST_F(CharsetRunTest, BadUtf8IsRefusedAtStartUp) {
  ToolRun run = run_tool(ports_dir(), "U|20|3|5550103|caf\xE9|0|0|115200|0|0|0|pdu\ncharset=utf-8");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(run.process.err,
            "The messageText field in cmd.txt is not valid UTF-8 (option charset=utf-8)\n");
  EXPECT_EQ(run.status, "");
}

// Text mode needs the character set "UCS2" for a text beyond ISO-8859-1: a
// modem without it fails the run before anything is sent, saying so, and
// the same text goes through the pdu command set on the same modem.
TEST_F(CharsetRunTest, TextModeWithoutUcs2SaysWhy) {
  start_sim({"--delay", "0.2", "--modem", "COM3=5550103,no-ucs2"});
  const std::string euro = "1 \xE2\x82\xAC";
  ToolRun run =
      run_sms_test("U|20|3|5550103|" + euro + "|0|0|115200|0|0|0|text\nrecord=run.jsonl", "20");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_TRUE(contains(run.status, "the modem does not offer the character set UCS2"))
      << run.status;
  EXPECT_FALSE(contains(read_file(run.dir + "/U.3.debug.log"), "AT+CMGS")) << "nothing sent";
  const Json record = record_of(run);
  // The modem answered: its open failed, as when it refuses any setting.
  EXPECT_EQ(record["failurePhase"], "open") << record.dump();
  EXPECT_EQ(record["modemErrorType"], "CME");
  EXPECT_FALSE(contains(network_log(), " sent ")) << network_log();

  ToolRun pdu =
      run_sms_test("U|20|3|5550103|" + euro + "|0|0|115200|0|0|0|pdu\nrecord=run.jsonl", "21");
  EXPECT_EQ(pdu.status, "0 SUCCESS\n") << pdu.process.err;
}

}  // namespace

}  // namespace smstest
