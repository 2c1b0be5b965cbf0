// Whole runs with a message text saved in UTF-8, as most editors write it:
// in the standard command sets "é" (two bytes in the file) is one character
// on the air, in text and PDU mode; option charset=latin1 reads every byte as
// one character, as before; a character that ISO-8859-1 lacks is refused at
// start-up; the proprietary set sends the bytes as they are.
#include <gtest/gtest.h>

#include <string>

#include "tests/whole_run.h"

namespace smstest {

namespace {

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

TEST_F(CharsetRunTest, CharactersBeyondLatin1AndBadUtf8AreRefused) {
  struct Case {
    const char* text;
    const char* options;
    const char* err;  // after "The messageText field in cmd.txt "
  } cases[] = {
      {"1 \xE2\x82\xAC", "",
       "holds U+20AC, which the text and pdu command sets can't send: they carry ISO-8859-1 "
       "characters (option charset=latin1 reads every byte as one of them)\n"},
      {"caf\xE9", "\ncharset=utf-8", "is not valid UTF-8 (option charset=utf-8)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ToolRun run = run_tool(
        ports_dir(), std::string("U|20|3|5550103|") + c.text + "|0|0|115200|0|0|0|pdu" + c.options);
    EXPECT_EQ(run.process.exitCode, 2);
    EXPECT_EQ(run.process.err, std::string("The messageText field in cmd.txt ") + c.err);
    EXPECT_EQ(run.status, "");
  }
}

}  // namespace

}  // namespace smstest
