// The standard SMS commands of a simulated modem, on the modem alone: every
// answer, the text entry, the store's indices, the error modes and the
// faults, without a line or a clock.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>

#include "common/text.h"
#include "pdu/pdu_encode.h"
#include "pdu/sms_deliver.h"
#include "pdu/unicode_text.h"
#include "sim/answer_faults.h"
#include "sim/modem.h"
#include "sim/records.h"

namespace smstest {
namespace {

// The bytes of a literal that holds NULs.
#define BYTES(literal) std::string(literal, sizeof(literal) - 1)

std::string joined(const Reply& reply) {
  std::string out;
  for (const AnswerPiece& piece : reply.pieces) out += piece.bytes;
  return out;
}

// Everything the modem writes back for `bytes`, replies joined.
std::string type(SimModem& modem, const std::string& bytes, std::vector<Reply>* got = nullptr) {
  std::vector<Reply> replies;
  modem.receive(bytes.data(), bytes.size(), replies);
  std::string out;
  for (const Reply& reply : replies) out += joined(reply);
  if (got != nullptr) got->insert(got->end(), replies.begin(), replies.end());
  return out;
}

ModemConfig modem_with(const char* options = "") {
  ModemConfig config;
  std::string error;
  EXPECT_TRUE(parse_modem_argument(std::string("COM3=5550103") + options, config, error)) << error;
  return config;
}

// A modem as the tool leaves it after opening: echo off, numeric error
// codes, text mode, ASCII passing unchanged.
void open_text_mode(SimModem& modem) {
  ASSERT_EQ("\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n",
            type(modem, "ATE0\rAT+CMEE=1\rAT+CMGF=1\rAT+CSCS=\"IRA\"\r").substr(11));
}

TEST(StandardCommands, AnswerEachFormOfTheSet) {
  struct Case {
    const char* command;
    const char* answer;
  } cases[] = {
      {"AT+CMGF?", "\r\n+CMGF: 1\r\n\r\nOK\r\n"},
      {"AT+CMGF=?", "\r\n+CMGF: (0,1)\r\n\r\nOK\r\n"},
      {"AT+CMGF=2", "\r\n+CMS ERROR: 303\r\n"},
      {"AT+CMGF", "\r\nERROR\r\n"},
      {"at+cmgf=1", "\r\nOK\r\n"},
      {"AT+CMEE?", "\r\n+CMEE: 1\r\n\r\nOK\r\n"},
      {"AT+CMEE=?", "\r\n+CMEE: (0-2)\r\n\r\nOK\r\n"},
      {"AT+CMEE=3", "\r\n+CME ERROR: 4\r\n"},
      {"AT+CMEE=x", "\r\nERROR\r\n"},
      {"AT+CSCS?", "\r\n+CSCS: \"IRA\"\r\n\r\nOK\r\n"},
      {"AT+CSCS=?", "\r\n+CSCS: (\"IRA\",\"GSM\",\"UCS2\")\r\n\r\nOK\r\n"},
      {"AT+CSCS=\"gsm\"", "\r\nOK\r\n"},
      {"AT+CSCS=\"HEX\"", "\r\n+CME ERROR: 4\r\n"},
      {"AT+CSCS=\"IRA", "\r\nERROR\r\n"},
      {"AT+CNMI?", "\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n"},
      {"AT+CNMI=?", "\r\n+CNMI: (0-3),(0,1),(0),(0-2),(0,1)\r\n\r\nOK\r\n"},
      {"AT+CNMI=2,1,0,2,0", "\r\nOK\r\n"},
      {"AT+CNMI=2,1,0,3,0", "\r\n+CMS ERROR: 303\r\n"},
      {"AT+CNMI=2,1,0,0,0", "\r\nOK\r\n"},
      {"AT+CNMI=2,1", "\r\nOK\r\n"},
      {"AT+CNMI=2,2,0,0,0", "\r\n+CMS ERROR: 303\r\n"},
      {"AT+CNMI=4,1", "\r\n+CMS ERROR: 303\r\n"},
      {"AT+CNMI=2,1,0,0,0,0", "\r\nERROR\r\n"},
      {"AT+CPMS?", "\r\n+CPMS: \"SM\",0,50,\"SM\",0,50,\"SM\",0,50\r\n\r\nOK\r\n"},
      {"AT+CPMS=?", "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n\r\nOK\r\n"},
      {"AT+CPMS=\"SM\",\"SM\",\"SM\"", "\r\n+CPMS: 0,50,0,50,0,50\r\n\r\nOK\r\n"},
      {"AT+CPMS=\"sm\"", "\r\n+CPMS: 0,50,0,50,0,50\r\n\r\nOK\r\n"},
      {"AT+CPMS=\"ME\",\"ME\",\"ME\"", "\r\n+CMS ERROR: 302\r\n"},
      {"AT+CPMS=SM", "\r\nERROR\r\n"},
      {"AT+CMGL", "\r\nOK\r\n"},
      {"AT+CMGL=\"ALL\"", "\r\nOK\r\n"},
      {"AT+CMGL=\"STO SENT\"", "\r\nOK\r\n"},
      {"AT+CMGL=\"NEW\"", "\r\n+CMS ERROR: 305\r\n"},
      {"AT+CMGL=4", "\r\n+CMS ERROR: 305\r\n"},
      {"AT+CMGL=?",
       "\r\n+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO "
       "SENT\",\"ALL\")\r\n\r\nOK\r\n"},
      {"AT+CMGR=1", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGR=0", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGR=one", "\r\nERROR\r\n"},
      {"AT+CMGR", "\r\nERROR\r\n"},
      {"AT+CMGR=?", "\r\nOK\r\n"},
      {"AT+CMGD=1", "\r\nOK\r\n"},  // an empty place deletes nothing
      {"AT+CMGD=50", "\r\nOK\r\n"},
      {"AT+CMGD=51", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGD=0", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGD=0,4", "\r\nOK\r\n"},
      {"AT+CMGD=1,5", "\r\n+CMS ERROR: 302\r\n"},
      {"AT+CMGD=?", "\r\n+CMGD: (),(0-4)\r\n\r\nOK\r\n"},
      {"AT+CMGD", "\r\nERROR\r\n"},
      {"AT+CMGS=\"5550104\"", "\r\n> "},
      {"AT+CMGS=5550104", "\r\n> "},
      {"AT+CMGS=\"+15550104\",145", "\r\n> "},
      {"AT+CMGS=\"555-0104\"", "\r\n+CMS ERROR: 305\r\n"},
      {"AT+CMGS=\"\"", "\r\n+CMS ERROR: 305\r\n"},
      {"AT+CMGS=\"5550104\",128", "\r\n+CMS ERROR: 305\r\n"},
      {"AT+CMGS=\"5550104\"x", "\r\nERROR\r\n"},
      {"AT+CMGS=?", "\r\nOK\r\n"},
      {"AT+CMGW=\"5550104\"", "\r\nERROR\r\n"},  // not in the set
      {"AT+CSMS?", "\r\n+CSMS: 0,1,1,1\r\n\r\nOK\r\n"},
      {"AT+CSMS=1", "\r\n+CSMS: 1,1,1\r\n\r\nOK\r\n"},
      {"AT+CSMS=2", "\r\n+CMS ERROR: 303\r\n"},  // a service it does not have
      {"AT+CSMP?", "\r\n+CSMP: 17,167,0,0\r\n\r\nOK\r\n"},
      {"AT+CSMP=49,167,0,0", "\r\nOK\r\n"},
      {"AT+CSMP=256", "\r\n+CMS ERROR: 305\r\n"},
      {"AT+CNMA", "\r\n+CMS ERROR: 340\r\n"},  // no +CDS waits for it
      {"AT+CPMS=\"SR\"", "\r\n+CPMS: 0,20,0,50,0,50\r\n\r\nOK\r\n"},
      {"AT+CPMS=\"SM\",\"SR\"", "\r\n+CMS ERROR: 302\r\n"},
      {"AT+CGATT?", "\r\nERROR\r\n"},
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with());
    open_text_mode(modem);
    EXPECT_EQ(escape_bytes(c.answer), escape_bytes(joined(modem.answer(c.command)))) << c.command;
  }
}

TEST(StandardCommands, ErrorModeShapesTheFailure) {
  struct Case {
    const char* command;
    const char* plain;    // AT+CMEE=0
    const char* numeric;  // AT+CMEE=1
    const char* verbose;  // AT+CMEE=2
  } cases[] = {
      {"AT+CMGR=7", "\r\nERROR\r\n", "\r\n+CMS ERROR: 321\r\n",
       "\r\n+CMS ERROR: invalid memory index\r\n"},
      {"AT+CMGF=5", "\r\nERROR\r\n", "\r\n+CMS ERROR: 303\r\n",
       "\r\n+CMS ERROR: operation not supported\r\n"},
      {"AT+CSCS=\"HEX\"", "\r\nERROR\r\n", "\r\n+CME ERROR: 4\r\n",
       "\r\n+CME ERROR: operation not supported\r\n"},
      {"AT+CMGS=\"x\"", "\r\nERROR\r\n", "\r\n+CMS ERROR: 305\r\n",
       "\r\n+CMS ERROR: invalid text mode parameter\r\n"},
      // Syntax errors are plain ERROR in every mode.
      {"AT+CMGR=\"1\"", "\r\nERROR\r\n", "\r\nERROR\r\n", "\r\nERROR\r\n"},
      {"AT+CMGL=\"ALL", "\r\nERROR\r\n", "\r\nERROR\r\n", "\r\nERROR\r\n"},
  };
  for (const Case& c : cases) {
    const char* expected[] = {c.plain, c.numeric, c.verbose};
    for (int mode = 0; mode < 3; ++mode) {
      SimModem modem(modem_with());
      type(modem, format("ATE0\rAT+CMGF=1\rAT+CMEE=%d\r", mode));
      EXPECT_EQ(escape_bytes(expected[mode]), escape_bytes(joined(modem.answer(c.command))))
          << c.command << " with AT+CMEE=" << mode;
    }
  }
}

TEST(StandardCommands, PduModeAtStartServesThePduForms) {
  SimModem modem(modem_with());
  modem.store("5550104", "hi", 0);
  type(modem, "ATE0\rAT+CMEE=1\r");
  EXPECT_FALSE(modem.state().textMode);
  EXPECT_EQ("\r\n+CMGF: 0\r\n\r\nOK\r\n", type(modem, "AT+CMGF?\r"));
  EXPECT_EQ(0u, type(modem, "AT+CMGL=4\r").find("\r\n+CMGL: 1,0,,19\r\n07915155000000F004"));
  EXPECT_EQ(0u, type(modem, "AT+CMGR=1\r").find("\r\n+CMGR: 1,,19\r\n07915155000000F004"));
  EXPECT_EQ("\r\n+CMS ERROR: 304\r\n", type(modem, "AT+CMGL=\"ALL\"\r"));
  EXPECT_EQ("\r\n+CMS ERROR: 304\r\n", type(modem, "AT+CMGS=\"5550104\"\r"));
  EXPECT_EQ("\r\n> ", type(modem, "AT+CMGS=23\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "\x1b"));
  EXPECT_FALSE(modem.in_text_entry());
  EXPECT_EQ("\r\n+CPMS: 1,50,1,50,1,50\r\n\r\nOK\r\n", type(modem, "AT+CPMS=\"SM\"\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGD=1\r"));
  EXPECT_TRUE(modem.messages().empty());
}

TEST(StandardCommands, SendTakesTheTextUpToCtrlZ) {
  SimModem modem(modem_with());
  open_text_mode(modem);
  std::vector<Reply> replies;
  EXPECT_EQ("\r\n> ", type(modem, "AT+CMGS=\"5550104\"\r", &replies));
  EXPECT_TRUE(modem.in_text_entry());
  EXPECT_EQ("", type(modem, "hel", &replies));  // echo is off: nothing comes back
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", type(modem, "lo\x1a", &replies));
  EXPECT_FALSE(modem.in_text_entry());
  ASSERT_EQ(2u, replies.size());
  EXPECT_EQ("AT+CMGS=\"5550104\"", replies[0].command);
  EXPECT_FALSE(replies[0].sends);
  const Reply& sent = replies[1];
  EXPECT_EQ("hello\x1a", sent.command);
  EXPECT_TRUE(sent.sends);
  EXPECT_FALSE(sent.sendsAtCommand);
  EXPECT_EQ("5550104", sent.to);
  EXPECT_EQ("hello", sent.text);
  EXPECT_EQ(1, sent.ref);
  // The references count on across both command sets.
  EXPECT_EQ(2, modem.answer("AT!SSMS=0,1,1,\"x\"").ref);
  replies.clear();
  type(modem, "AT+CMGS=\"1\"\rx\x1a", &replies);
  ASSERT_EQ(2u, replies.size());
  EXPECT_EQ(3, replies[1].ref);
}

TEST(StandardCommands, TextEntryBytes) {
  struct Case {
    const char* name;
    bool echo;
    std::string typed;   // after "AT+CMGS=\"1\"\r"
    std::string output;  // written back for the text and its end
    std::string text;    // the message sent; "-" for none
  } cases[] = {
      {"plain", false, "hi\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n", "hi"},
      {"echoed", true, "hi\x1a", "hi\r\n+CMGS: 1\r\n\r\nOK\r\n", "hi"},
      {"CR gives a new prompt", false, "a\rb\x1a", "\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n", "a\rb"},
      {"CR echoed", true, "a\rb\x1a", "a\r\n> b\r\n+CMGS: 1\r\n\r\nOK\r\n", "a\rb"},
      {"LF of the command's CR LF", false, "\nab\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n", "ab"},
      {"later LF kept", false, "a\nb\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n", "a\nb"},
      {"backspace", false, "abc\bd\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n", "abd"},
      {"empty text", false, "\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n", ""},
      {"ESC cancels", false, "hello\x1b", "\r\nOK\r\n", "-"},
      {"ESC echoed text", true, "hi\x1b", "hi\r\nOK\r\n", "-"},
      {"160 characters", false, std::string(160, 'x') + "\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n",
       std::string(160, 'x')},
      {"161 characters", false, std::string(161, 'x') + "\x1a", "\r\n+CMS ERROR: 305\r\n", "-"},
      {"80 extension characters", false, std::string(80, '[') + "\x1a",
       "\r\n+CMGS: 1\r\n\r\nOK\r\n", std::string(80, '[')},
      {"81 extension characters", false, std::string(81, '{') + "\x1a", "\r\n+CMS ERROR: 305\r\n",
       "-"},
      {"a command after it", false,
       "x\x1a"
       "AT\r",
       "\r\n+CMGS: 1\r\n\r\nOK\r\n\r\nOK\r\n", "x"},
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with());
    type(modem, c.echo ? "AT+CMEE=1\rAT+CMGF=1\rAT+CSCS=\"IRA\"\r"
                       : "ATE0\rAT+CMEE=1\rAT+CMGF=1\rAT+CSCS=\"IRA\"\r");
    std::string prompt = c.echo ? "AT+CMGS=\"1\"\r\r\n> " : "\r\n> ";
    ASSERT_EQ(prompt, type(modem, "AT+CMGS=\"1\"\r")) << c.name;
    std::vector<Reply> replies;
    EXPECT_EQ(escape_bytes(c.output), escape_bytes(type(modem, c.typed, &replies))) << c.name;
    EXPECT_FALSE(modem.in_text_entry()) << c.name;
    std::string sent = "-";
    for (const Reply& reply : replies) {
      if (reply.sends) sent = reply.text;
    }
    EXPECT_EQ(escape_bytes(c.text), escape_bytes(sent)) << c.name;
  }
}

TEST(StandardCommands, EntryIsForgottenWhenThePortCloses) {
  SimModem modem(modem_with());
  open_text_mode(modem);
  type(modem, "AT+CMGS=\"1\"\rhalf a te");
  modem.drop_input();
  EXPECT_FALSE(modem.in_text_entry());
  std::vector<Reply> replies;
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT\r", &replies));
  ASSERT_EQ(1u, replies.size());
  EXPECT_EQ("AT", replies[0].command);
}

TEST(StandardCommands, ListingReadingAndDeletingByIndex) {
  SimModem modem(modem_with());
  open_text_mode(modem);
  EXPECT_EQ(1, modem.store("+15551234", "first", 0));
  EXPECT_EQ(2, modem.store("5550104", "second", 60));
  EXPECT_EQ(3, modem.store("5550105", "third", 120));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGD=2\r"));
  EXPECT_EQ(2, modem.store("5550106", "fourth", 180));  // the lowest free place
  EXPECT_EQ(
      "\r\n"
      "+CMGL: 1,\"REC UNREAD\",\"+15551234\",,\"70/01/01,00:00:00+00\"\r\nfirst\r\n"
      "+CMGL: 2,\"REC UNREAD\",\"5550106\",,\"70/01/01,00:03:00+00\"\r\nfourth\r\n"
      "+CMGL: 3,\"REC UNREAD\",\"5550105\",,\"70/01/01,00:02:00+00\"\r\nthird\r\n"
      "\r\nOK\r\n",
      type(modem, "AT+CMGL=\"REC UNREAD\"\r"));
  // Listed, they count as read.
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGL\r"));
  EXPECT_EQ("\r\n+CMGR: \"REC READ\",\"5550106\",,\"70/01/01,00:03:00+00\"\r\nfourth\r\n\r\nOK\r\n",
            type(modem, "AT+CMGR=2\r"));
  // The proprietary commands see the same store in the order of arrival.
  std::vector<std::string> arrival;
  for (const StoredMessage& m : modem.messages()) arrival.push_back(m.text);
  EXPECT_EQ((std::vector<std::string>{"first", "third", "fourth"}), arrival);
  EXPECT_NE(std::string::npos, type(modem, "AT!GSMS?2,0\r").find("Msg Body: first\r"));

  EXPECT_EQ(4, modem.store("5550107", "fifth", 240));
  EXPECT_EQ(
      "\r\n+CMGR: \"REC UNREAD\",\"5550107\",,\"70/01/01,00:04:00+00\"\r\nfifth\r\n\r\nOK\r\n",
      type(modem, "AT+CMGR=4\r"));
  EXPECT_NE(std::string::npos, type(modem, "AT+CMGR=4\r").find("\"REC READ\""));  // read marks it
  EXPECT_EQ(5, modem.store("5550108", "sixth", 300));
  EXPECT_EQ("\r\n+CMGD: (1,2,3,4,5),(0-4)\r\n\r\nOK\r\n", type(modem, "AT+CMGD=?\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGD=0,1\r"));  // every read one
  ASSERT_EQ(1u, modem.messages().size());
  EXPECT_EQ(5, modem.messages()[0].index);
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT!DSMS=3,0\r"));
  EXPECT_EQ("\r\n+CPMS: 0,50,0,50,0,50\r\n\r\nOK\r\n", type(modem, "AT+CPMS=\"SM\"\r"));
}

TEST(StandardCommands, DeleteFlagsSelectWhatGoes) {
  struct Case {
    const char* command;
    std::vector<int> left;  // indices still stored; 1 and 2 were read, 3 not
  } cases[] = {
      {"AT+CMGD=2", {1, 3}}, {"AT+CMGD=3,0", {1, 2}}, {"AT+CMGD=3,1", {3}},
      {"AT+CMGD=0,2", {3}},  {"AT+CMGD=9,3", {3}},    {"AT+CMGD=1,4", {}},
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with());
    open_text_mode(modem);
    modem.store("1", "a", 0);
    modem.store("2", "b", 0);
    type(modem, "AT+CMGL=\"ALL\"\r");
    modem.store("3", "c", 0);
    EXPECT_EQ("\r\nOK\r\n", type(modem, std::string(c.command) + "\r")) << c.command;
    std::vector<int> left;
    for (const StoredMessage& m : modem.messages()) left.push_back(m.index);
    EXPECT_EQ(c.left, left) << c.command;
  }
}

TEST(StandardCommands, StoreOfItsSizeRefusesMore) {
  SimModem modem(modem_with(",store-size=2"));
  open_text_mode(modem);
  EXPECT_EQ(1, modem.store("1", "a", 0));
  EXPECT_TRUE(modem.has_room());
  EXPECT_EQ(2, modem.store("2", "b", 0));
  EXPECT_FALSE(modem.has_room());
  EXPECT_EQ(0, modem.store("3", "c", 0));
  EXPECT_EQ("\r\n+CPMS: \"SM\",2,2,\"SM\",2,2,\"SM\",2,2\r\n\r\nOK\r\n", type(modem, "AT+CPMS?\r"));
  EXPECT_EQ("\r\n+CMS ERROR: 321\r\n", type(modem, "AT+CMGR=3\r"));
  EXPECT_EQ("\r\n+CMS ERROR: 321\r\n", type(modem, "AT+CMGD=3\r"));
}

TEST(StandardCommands, AddressTypesOfSenders) {
  StoredMessage international, national;
  international.from = "+4915550000";
  national.from = "5550104";
  EXPECT_TRUE(international.international());
  EXPECT_EQ(145, international.address_type());
  EXPECT_FALSE(national.international());
  EXPECT_EQ(129, national.address_type());
}

TEST(StandardCommands, CharacterSetOfTheLine) {
  struct Case {
    const char* charset;
    std::string typed;   // the text after the prompt
    std::string stored;  // as the network carries it
    std::string listed;  // as AT+CMGR writes it back
  } cases[] = {
      {"IRA", "a@b_$", "a@b_$", "a@b_$"},
      {"GSM", "plain text 123", "plain text 123", "plain text 123"},
      {"GSM", BYTES("a\0b\x11\x02"), "a@b_$", BYTES("a\0b\x11\x02")},
      {"GSM", "\x40\x5b\x7f", "\xa1\xc4\xe0", "\x40\x5b\x7f"},  // inverted !, A and a umlauts
      {"GSM", "\x10", "?", "?"},                                // Greek capital delta
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with());
    type(modem, format("ATE0\rAT+CMEE=1\rAT+CMGF=1\rAT+CSCS=\"%s\"\r", c.charset));
    std::vector<Reply> replies;
    type(modem, "AT+CMGS=\"1\"\r" + c.typed + "\x1a", &replies);
    ASSERT_EQ(2u, replies.size()) << escape_bytes(c.typed);
    EXPECT_EQ(escape_bytes(c.stored), escape_bytes(replies[1].text)) << escape_bytes(c.typed);
    modem.store("+1555", replies[1].text, 0);
    std::string read = type(modem, "AT+CMGR=1\r");
    std::string header = "\r\n+CMGR: \"REC UNREAD\",\"+1555\",,\"70/01/01,00:00:00+00\"\r\n";
    EXPECT_EQ(escape_bytes(header + c.listed + "\r\n\r\nOK\r\n"), escape_bytes(read))
        << escape_bytes(c.typed);
  }
  // Extension characters go out behind an escape; what ISO-8859-1 holds of
  // the alphabet comes back as it went.
  EXPECT_EQ("\x1b<\x1b>\x1b/", text_to_te(TeCharset::gsm, "[]\\"));
  std::string latin;
  for (int c = 0x20; c < 0x100; ++c) {
    if (c < 0x7F || c >= 0xA0) latin.push_back(static_cast<char>(c));
  }
  std::string back = text_from_te(TeCharset::gsm, text_to_te(TeCharset::gsm, latin));
  ASSERT_EQ(latin.size(), back.size());
  for (size_t i = 0; i < latin.size(); ++i) {
    if (back[i] != latin[i]) {
      EXPECT_EQ('?', back[i]) << "byte " << static_cast<int>(latin[i] & 0xFF);
    }
  }
  EXPECT_EQ(5u, septet_count("abc{"));
  EXPECT_EQ("\xe9t\xe9", text_from_te(TeCharset::gsm, "\x05t\x05"));
}

// "UCS2" on the line: the number and the text are the hex of their UTF-16
// code units.  A text within ISO-8859-1 goes to the network as its bytes, a
// text beyond it as UTF-8 with the flag; the store gives either back whole
// in UCS2 and in PDU mode, and with '?' for what "IRA" lacks.
TEST(StandardCommands, Ucs2LineCarriesEveryCharacter) {
  struct Case {
    std::string typed;    // the text after the prompt, hex
    const char* network;  // as the network carries it; nullptr: refused
    bool utf8;            // ... as UTF-8
    const char* ira;      // as AT+CMGR writes it back in "IRA"
  } cases[] = {
      {"20AC0031",
       "\xE2\x82\xAC"
       "1",
       true, "?1"},
      {"00E90041",
       "\xE9"
       "A",
       false,
       "\xE9"
       "A"},
      {"041F04400438", "\xD0\x9F\xD1\x80\xD0\xB8", true, "???"},
      {"0061D83DDCF1", "a\xF0\x9F\x93\xB1", true, "a?"},
      {"20ac", "\xE2\x82\xAC", true, "?"},  // lower-case hex
      {"20A", nullptr, false, ""},          // not whole code units
      {"00zz", nullptr, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    SimModem modem(modem_with());
    type(modem, "ATE0\rAT+CMEE=1\rAT+CMGF=1\rAT+CSCS=\"UCS2\"\r");
    std::vector<Reply> replies;
    const std::string answer = type(modem, "AT+CMGS=\"002B0031\"\r" + c.typed + "\x1a", &replies);
    ASSERT_EQ(2u, replies.size());
    if (c.network == nullptr) {
      EXPECT_EQ("\r\n> \r\n+CMS ERROR: 305\r\n", answer);
      EXPECT_FALSE(replies[1].sends);
      continue;
    }
    ASSERT_TRUE(replies[1].sends);
    EXPECT_EQ("+1", replies[1].to);
    EXPECT_EQ(escape_bytes(c.network), escape_bytes(replies[1].text));
    EXPECT_EQ(c.utf8, replies[1].textUtf8);
    modem.store("+1555", replies[1].text, 0, replies[1].header, replies[1].textUtf8);
    std::string hex = c.typed;
    for (char& h : hex) h = static_cast<char>(std::toupper(static_cast<unsigned char>(h)));
    EXPECT_EQ("\r\n+CMGR: \"REC UNREAD\",\"002B0031003500350035\",,\"70/01/01,00:00:00+00\"\r\n" +
                  hex + "\r\n\r\nOK\r\n",
              type(modem, "AT+CMGR=1\r"));
    type(modem, "AT+CSCS=\"IRA\"\r");
    EXPECT_EQ(escape_bytes("\r\n+CMGR: \"REC READ\",\"+1555\",,\"70/01/01,00:00:00+00\"\r\n" +
                           std::string(c.ira) + "\r\n\r\nOK\r\n"),
              escape_bytes(type(modem, "AT+CMGR=1\r")));
    // PDU mode lists the same characters: 7-bit with the euro's escape, or UCS2.
    type(modem, "AT+CMGF=0\r");
    const std::string read = type(modem, "AT+CMGR=1\r");
    const size_t line = read.find("\r\n", 2);
    ASSERT_NE(std::string::npos, line) << read;
    const std::string pdu = read.substr(line + 2, read.find("\r\n", line + 2) - line - 2);
    std::unique_ptr<SmsDeliver> sms = decode_pdu(pdu.c_str(), nullptr);
    ASSERT_TRUE(sms != nullptr) << pdu;
    EXPECT_EQ(escape_bytes(c.utf8 ? c.network : utf8_of_latin1(c.network)),
              escape_bytes(sms->utf8Text));
  }
}

// A PDU-mode send of a UTF-8 text beyond ISO-8859-1 reaches the network as
// UTF-8, in 7-bit (the euro sign's escape) or UCS2 (an emoji's surrogate
// pair), and one within it as its ISO-8859-1 bytes, as before.
TEST(StandardCommands, PduSendKeepsUtf8Texts) {
  struct Case {
    std::string text;  // UTF-8
    bool utf8;         // the network carries it as UTF-8
    int dcs;
  } cases[] = {
      {"\xE2\x82\xAC 5", true, 0x00},
      {"a\xF0\x9F\x93\xB1", true, 0x08},
      {"\xD0\x9F\xD1\x80\xD0\xB8", true, 0x08},
      {"caf\xC3\xA9", false, 0x00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EncodedPdu pdu;
    std::string error;
    SubmitOptions options;
    options.utf8 = true;
    ASSERT_TRUE(encode_sms_submit("+1555", c.text, pdu, error, options)) << error;
    EXPECT_EQ(c.dcs, pdu.dataCodingScheme);
    SimModem modem(modem_with());
    type(modem, "ATE0\rAT+CMEE=1\rAT+CMGF=0\r");
    std::vector<Reply> replies;
    type(modem, format("AT+CMGS=%d\r", pdu.tpduLength) + pdu.hex + "\x1a", &replies);
    ASSERT_EQ(2u, replies.size());
    ASSERT_TRUE(replies[1].sends);
    EXPECT_EQ(c.utf8, replies[1].textUtf8);
    std::vector<char32_t> codes;
    utf8_code_points(c.text, codes);
    std::string latin1;
    for (char32_t code : codes) latin1 += static_cast<char>(code);
    EXPECT_EQ(escape_bytes(c.utf8 ? c.text : latin1), escape_bytes(replies[1].text));
  }
}

// One row per fault: the commands before, the command that shows it, the
// answer it gives (echo off, numeric codes, text mode).
TEST(StandardCommands, FaultsReshapeTheStandardAnswers) {
  struct Case {
    const char* option;
    const char* before;  // typed first, answers dropped
    std::string typed;
    std::string answer;
  } cases[] = {
      {"bare-prompt", "", "AT+CMGS=\"1\"\r", "\r\n>"},
      {"bare-prompt", "AT+CMGS=\"1\"\r", "a\rb\x1a", "\r\n>\r\n+CMGS: 1\r\n\r\nOK\r\n"},
      {"send-error=330", "AT+CMGS=\"1\"\r", "x\x1a", "\r\n+CMS ERROR: 330\r\n"},
      {"send-error=330", "AT+CMEE=0\rAT+CMGS=\"1\"\r", "x\x1a", "\r\nERROR\r\n"},
      {"send-refused", "AT+CMGS=\"1\"\r", "x\x1a", "\r\n+CMS ERROR: 500\r\n"},
      {"send-unconfirmed", "AT+CMGS=\"1\"\r", "x\x1a", ""},
      {"cmgs-first", "AT+CMGS=\"1\"\r", "x\x1a", "+CMGS: 1\r\n"},
      {"no-cnmi", "", "AT+CNMI=2,1,0,0,0\r", "\r\nERROR\r\n"},
      {"no-cnmi", "", "AT+CNMI?\r", "\r\nERROR\r\n"},
      {"sticky-echo", "", "ATE0\r", "ATE0\r\r\nOK\r\n"},
      {"sticky-echo", "ATE0\r", "AT+CMGF?\r", "AT+CMGF?\r\r\n+CMGF: 1\r\n\r\nOK\r\n"},
      {"urc-inside=RING", "", "AT\r", "\r\nRING\r\n\r\nOK\r\n"},
      {"urc-inside=^RSSI: 3", "", "AT+CMGF?\r", "\r\n+CMGF: 1\r\n\r\n^RSSI: 3\r\n\r\nOK\r\n"},
      {"urc-inside", "", "AT+CMGS=\"1\"\r", "\r\n+CREG: 1\r\n\r\n> "},
      {"urc-inside", "AT+CMGS=\"1\"\r", "x\x1a", "\r\n+CMGS: 1\r\n\r\n+CREG: 1\r\n\r\nOK\r\n"},
      {"urc-inside", "", "AT+CMGR=1\r", "\r\n+CREG: 1\r\n\r\n+CMS ERROR: 321\r\n"},
      {"poll-error", "", "AT+CMGL=\"ALL\"\r", "\r\n+CMS ERROR: 321\r\n"},
      {"delete-refused", "", "AT+CMGD=1\r", "\r\n+CMS ERROR: 320\r\n"},
      {"nul", "", "AT+CMGF?\r", BYTES("\r\n\0+CMGF: 1\r\n\0\r\n\0OK\r\n")},
      {"silent", "", "AT+CMGS=\"1\"\r", ""},
      {"storage-full", "", "AT+CPMS?\r",
       "\r\n+CPMS: \"SM\",0,0,\"SM\",0,0,\"SM\",0,0\r\n\r\nOK\r\n"},
      {"storage-full,stored=2", "", "AT+CPMS=\"SM\"\r", "\r\n+CPMS: 0,2,0,2,0,2\r\n\r\nOK\r\n"},
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with((std::string(",") + c.option).c_str()));
    type(modem, std::string("ATE0\rAT+CMEE=1\rAT+CMGF=1\r") + c.before);
    EXPECT_EQ(escape_bytes(c.answer), escape_bytes(type(modem, c.typed)))
        << c.option << " " << escape_bytes(c.typed);
  }
}

TEST(StandardCommands, FaultsOnTheSendsNetworkSide) {
  struct Case {
    const char* option;
    bool sends;
    bool atCommand;
    double late;  // of the answer's piece
  } cases[] = {
      {"", true, false, 0},
      {",confirm-late=2.5", true, false, 2.5},
      {",send-unconfirmed", true, true, 0},
      {",send-error=332,confirm-late=4", false, false, 4},
      {",send-refused", false, false, 0},
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with(c.option));
    type(modem, "ATE0\rAT+CMGF=1\rAT+CMGS=\"5550104\"\r");
    std::vector<Reply> replies;
    type(modem, "x\x1a", &replies);
    ASSERT_EQ(1u, replies.size()) << c.option;
    EXPECT_EQ(c.sends, replies[0].sends) << c.option;
    EXPECT_EQ(c.atCommand, replies[0].sendsAtCommand) << c.option;
    if (!replies[0].pieces.empty()) {
      EXPECT_DOUBLE_EQ(c.late, replies[0].pieces[0].pause) << c.option;
    }
  }
}

TEST(StandardCommands, SimBusyRefusesTheSimCommandsOnly) {
  struct Case {
    const char* command;
    const char* answer;
  } cases[] = {
      {"AT+CMGS=\"1\"", "\r\n+CMS ERROR: 314\r\n"},
      {"AT+CMGL=\"ALL\"", "\r\n+CME ERROR: 14\r\n"},
      {"AT+CMGR=1", "\r\n+CME ERROR: 14\r\n"},
      {"AT+CMGD=1", "\r\n+CME ERROR: 14\r\n"},
      {"AT+CPMS?", "\r\n+CME ERROR: 14\r\n"},
      {"AT+CMGF=1", "\r\nOK\r\n"},
      {"AT+CNMI=2,1", "\r\nOK\r\n"},
      {"AT+CSCS=\"IRA\"", "\r\nOK\r\n"},
      {"AT+CMEE=1", "\r\nOK\r\n"},
      {"AT", "\r\nOK\r\n"},
      {"AT!SSMS=0,1,1,\"x\"", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with());
    open_text_mode(modem);
    modem.store("1", "a", 0);
    modem.set_sim_busy(true);
    EXPECT_EQ(escape_bytes(c.answer), escape_bytes(joined(modem.answer(c.command)))) << c.command;
    modem.set_sim_busy(false);
    EXPECT_EQ(std::string::npos, joined(modem.answer(c.command)).find("14")) << c.command;
  }
}

TEST(StandardCommands, ByteSplitWritesOneByteAtATime) {
  SimModem modem(modem_with(",byte-split=0.01,confirm-late=1"));
  type(modem, "ATE0\rAT+CMGF=1\r");
  Reply prompt = modem.answer("AT+CMGS=\"1\"");
  ASSERT_EQ(4u, prompt.pieces.size());
  for (const AnswerPiece& piece : prompt.pieces) EXPECT_EQ(1u, piece.bytes.size());
  EXPECT_DOUBLE_EQ(0, prompt.pieces[0].pause);
  EXPECT_DOUBLE_EQ(0.01, prompt.pieces[3].pause);
  std::vector<Reply> replies;
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", type(modem, "x\x1a", &replies));
  ASSERT_EQ(1u, replies.size());
  ASSERT_EQ(18u, replies[0].pieces.size());
  EXPECT_DOUBLE_EQ(1, replies[0].pieces[0].pause);  // the late answer keeps its delay
  EXPECT_DOUBLE_EQ(0.01, replies[0].pieces[17].pause);
}

TEST(StandardCommands, AnnouncementsFollowTheIndicationSettings) {
  struct Case {
    const char* option;
    const char* cnmi;  // "" for none given
    NoticeMode mode;
  } cases[] = {
      {"", "", NoticeMode::none},
      {"", "AT+CNMI=2,1,0,0,0", NoticeMode::whenFree},
      {"", "AT+CNMI=3,1", NoticeMode::whenFree},
      {"", "AT+CNMI=1,1", NoticeMode::discardWhenBusy},
      {"", "AT+CNMI=0,1", NoticeMode::none},
      {"", "AT+CNMI=2,0", NoticeMode::none},
      {",unsolicited", "", NoticeMode::whenFree},
      {",no-cnmi", "AT+CNMI=2,1", NoticeMode::none},
      {",no-cnmi,unsolicited", "", NoticeMode::none},
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with(c.option));
    type(modem, std::string("ATE0\r") + c.cnmi + "\r");
    EXPECT_EQ(c.mode, modem.notice_mode()) << c.option << " " << c.cnmi;
  }
  SimModem modem(modem_with());
  EXPECT_EQ("\r\n+CMTI: \"SM\",7\r\n", modem.arrival_notice(7));
}

TEST(StandardCommands, UnsolicitedLineGoesBeforeTheLastLine) {
  struct Case {
    const char* answer;
    const char* with;
  } cases[] = {
      {"\r\nOK\r\n", "\r\nRING\r\n\r\nOK\r\n"},
      {"\r\n+CMGS: 4\r\n\r\nOK\r\n", "\r\n+CMGS: 4\r\n\r\nRING\r\n\r\nOK\r\n"},
      {"+CMGS: 4\r\n", "\r\nRING\r\n+CMGS: 4\r\n"},
      {"\r\n> ", "\r\nRING\r\n\r\n> "},
      {"\r\n+CMGL: 1,\"REC READ\",\"1\",,\"t\"\r\nhi\r\n\r\nOK\r\n",
       "\r\n+CMGL: 1,\"REC READ\",\"1\",,\"t\"\r\nhi\r\n\r\nRING\r\n\r\nOK\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(escape_bytes(c.with), escape_bytes(with_unsolicited_line(c.answer, "RING")))
        << escape_bytes(c.answer);
  }
}

}  // namespace
}  // namespace smstest
