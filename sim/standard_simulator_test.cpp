// The standard SMS commands through the simulator's pseudo-terminals, the
// way a tool drives a modem: a text-mode round trip between two modems, a
// cancelled send, and the new faults as a client sees them; then the same
// dialogue in PDU mode, its PDUs checked with the decoders of pdu/.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/text.h"
#include "pdu/gsm7_encode.h"
#include "pdu/pdu_encode.h"
#include "pdu/sms_deliver.h"
#include "sim/records.h"
#include "sim/simulator.h"
#include "testsupport/pty_peer.h"

namespace smstest {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether `answer` ends in a final result code or the send prompt.
bool answer_done(const std::string& answer) {
  if (ends_with(answer, "OK\r\n") || ends_with(answer, "\r\nERROR\r\n") ||
      ends_with(answer, "\r\n> ") || ends_with(answer, "\r\n>")) {
    return true;
  }
  size_t line = answer.rfind("\r\n", answer.size() >= 3 ? answer.size() - 3 : 0);
  if (line == std::string::npos || !ends_with(answer, "\r\n")) return false;
  std::string last = answer.substr(line + 2);
  return last.compare(0, 11, "+CMS ERROR:") == 0 || last.compare(0, 11, "+CME ERROR:") == 0;
}

class StandardSimulatorTest : public testing::Test {
 protected:
  void serve(std::vector<std::string> args) {
    static int run = 0;
    dir_ = testing::TempDir() + format("sim_std_%d_%d", static_cast<int>(getpid()), ++run);
    args.insert(args.begin(), {"--dir", dir_});
    std::string error;
    ASSERT_TRUE(parse_sim_arguments(args, config_, error)) << error;
    ASSERT_TRUE(sim_.start(config_)) << sim_.lastError;
    serving_ = std::thread([this] { sim_.run(); });
  }

  void TearDown() override {
    sim_.request_stop();
    if (serving_.joinable()) serving_.join();
  }

  // Opens `name` and sets it up as a tool does for text mode.
  void open_text_mode(PtyPeer& client, const char* name) {
    ASSERT_TRUE(client.open(dir_ + "/" + name)) << client.lastError;
    for (const char* command :
         {"ATE0", "AT+CMEE=1", "AT+CMGF=1", "AT+CSCS=\"IRA\"", "AT+CNMI=2,1,0,0,0"}) {
      std::string answer = ask(client, command);
      ASSERT_TRUE(ends_with(answer, "\r\nOK\r\n"))
          << name << " " << command << ": " << escape_bytes(answer);
    }
  }

  // Opens `name` and sets it up for PDU mode.
  void open_pdu_mode(PtyPeer& client, const char* name) {
    ASSERT_TRUE(client.open(dir_ + "/" + name)) << client.lastError;
    for (const char* command : {"ATE0", "AT+CMEE=1", "AT+CMGF=0", "AT+CNMI=2,1,0,0,0"}) {
      std::string answer = ask(client, command);
      ASSERT_TRUE(ends_with(answer, "\r\nOK\r\n"))
          << name << " " << command << ": " << escape_bytes(answer);
    }
  }

  std::string ask(PtyPeer& client, const std::string& bytes, double seconds = 2.0) {
    if (!client.write(bytes + (bytes.back() == '\x1a' || bytes.back() == '\x1b' ? "" : "\r"))) {
      return std::string();
    }
    return client.read_until(answer_done, seconds);
  }

  std::vector<std::string> network_record() { return read_lines(dir_ + "/network.log"); }

  std::string dir_;
  SimConfig config_;
  Simulator sim_;
  std::thread serving_;
};

TEST_F(StandardSimulatorTest, TextModeRoundTripBetweenTwoModems) {
  serve({"--delay", "0.4", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  PtyPeer from, to;
  open_text_mode(from, "COM3");
  open_text_mode(to, "COM4");
  EXPECT_EQ("\r\n> ", ask(from, "AT+CMGS=\"5550104\""));
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", ask(from, "tImE7T hi there\x1a"));
  Clock::time_point confirmed = Clock::now();
  std::string notice = to.read_until(
      [](const std::string& s) { return s.find("\r\n+CMTI: \"SM\",1\r\n") != std::string::npos; },
      3);
  double took = seconds_since(confirmed);
  EXPECT_EQ("\r\n+CMTI: \"SM\",1\r\n", notice);
  EXPECT_GE(took, 0.35);
  EXPECT_LT(took, 0.6);

  std::string listing = ask(to, "AT+CMGL=\"ALL\"");
  EXPECT_EQ(0u, listing.find("\r\n+CMGL: 1,\"REC UNREAD\",\"5550103\",,\"")) << listing;
  EXPECT_TRUE(ends_with(listing, "+00\"\r\ntImE7T hi there\r\n\r\nOK\r\n")) << listing;
  std::string read = ask(to, "AT+CMGR=1");
  EXPECT_EQ(0u, read.find("\r\n+CMGR: \"REC READ\",\"5550103\",,\"")) << read;
  EXPECT_TRUE(ends_with(read, "\r\ntImE7T hi there\r\n\r\nOK\r\n")) << read;
  EXPECT_EQ("\r\nOK\r\n", ask(to, "AT+CMGD=1"));
  EXPECT_EQ("\r\nOK\r\n", ask(to, "AT+CMGL=\"ALL\""));

  std::vector<std::string> record = network_record();
  ASSERT_EQ(2u, record.size());
  EXPECT_NE(std::string::npos, record[0].find(" sent COM3 5550103 5550104 1 - tImE7T hi there"));
  double delay = -1;
  ASSERT_EQ(1, sscanf(record[1].c_str(), "%*f delivered COM4 5550103 5550104 1 %lf", &delay))
      << record[1];
  EXPECT_NEAR(0.4, delay, 0.05);
}

TEST_F(StandardSimulatorTest, EscapeCancelsTheSend) {
  serve({"--delay", "0.1", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  PtyPeer client;
  open_text_mode(client, "COM3");
  EXPECT_EQ("\r\n> ", ask(client, "AT+CMGS=\"5550104\""));
  EXPECT_EQ("\r\nOK\r\n", ask(client, "not this one\x1b"));
  EXPECT_EQ("\r\nOK\r\n", ask(client, "AT"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(network_record().empty());
}

TEST_F(StandardSimulatorTest, NewFaultsAsTheClientSeesThem) {
  serve({"--delay", "0.1", "--modem", "COM1=5550101,bare-prompt,byte-split=0.02", "--modem",
         "COM2=5550102,sticky-echo,urc-inside=RING", "--modem", "COM5=5550105,sim-busy=0.5",
         "--modem", "COM6=5550106,stored=1,storage-full,no-cnmi", "--modem",
         "COM7=5550107,send-error=330", "--store", "COM6:+15551234:from before"});

  PtyPeer bare;
  ASSERT_TRUE(bare.open(dir_ + "/COM1"));
  ask(bare, "ATE0");
  ask(bare, "AT+CMGF=1");
  ASSERT_TRUE(bare.write("AT+CMGS=\"5550102\"\r"));
  auto pieces = bare.read_pieces(0.3);
  std::string prompt;
  for (const auto& piece : pieces) prompt += piece.second;
  EXPECT_EQ("\r\n>", prompt);
  EXPECT_GE(pieces.size(), 2u);  // one byte at a time, 20 ms apart
  EXPECT_EQ("\r\nOK\r\n", ask(bare, "\x1b"));

  PtyPeer echoing;
  ASSERT_TRUE(echoing.open(dir_ + "/COM2"));
  EXPECT_EQ("ATE0\r\r\nRING\r\n\r\nOK\r\n", ask(echoing, "ATE0"));
  EXPECT_EQ("AT\r\r\nRING\r\n\r\nOK\r\n", ask(echoing, "AT"));

  PtyPeer busy;
  ASSERT_TRUE(busy.open(dir_ + "/COM5"));
  Clock::time_point opened = Clock::now();
  ask(busy, "ATE0");
  EXPECT_EQ("\r\nOK\r\n", ask(busy, "AT+CMEE=1"));
  EXPECT_EQ("\r\nOK\r\n", ask(busy, "AT+CMGF=1"));
  EXPECT_EQ("\r\n+CMS ERROR: 314\r\n", ask(busy, "AT+CMGS=\"5550106\""));
  EXPECT_EQ("\r\n+CME ERROR: 14\r\n", ask(busy, "AT+CPMS?"));
  std::this_thread::sleep_for(std::chrono::duration<double>(0.6 - seconds_since(opened)));
  EXPECT_EQ("\r\n> ", ask(busy, "AT+CMGS=\"5550106\""));
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", ask(busy, "to a full store\x1a"));

  PtyPeer full;
  ASSERT_TRUE(full.open(dir_ + "/COM6"));
  ask(full, "ATE0");
  ask(full, "AT+CMGF=1");
  ask(full, "AT+CSCS=\"IRA\"");
  EXPECT_EQ("\r\nERROR\r\n", ask(full, "AT+CNMI=2,1,0,0,0"));
  EXPECT_EQ("\r\n+CPMS: \"SM\",2,2,\"SM\",2,2,\"SM\",2,2\r\n\r\nOK\r\n", ask(full, "AT+CPMS?"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::string listing = ask(full, "AT+CMGL=\"ALL\"");
  EXPECT_NE(std::string::npos, listing.find(",\"+15550000001\",,\"")) << listing;
  EXPECT_NE(std::string::npos, listing.find("\r\nfrom before\r\n")) << listing;
  EXPECT_EQ(std::string::npos, listing.find("full store")) << listing;

  PtyPeer failing;
  ASSERT_TRUE(failing.open(dir_ + "/COM7"));
  ask(failing, "ATE0");
  ask(failing, "AT+CMEE=1");
  ask(failing, "AT+CMGF=1");
  EXPECT_EQ("\r\n> ", ask(failing, "AT+CMGS=\"5550106\""));
  EXPECT_EQ("\r\n+CMS ERROR: 330\r\n", ask(failing, "x\x1a"));

  std::vector<std::string> record = network_record();
  ASSERT_EQ(4u, record.size());
  EXPECT_NE(std::string::npos, record[0].find(" stored COM6 +15550000001 5550106 - - stored "));
  EXPECT_NE(std::string::npos, record[1].find(" stored COM6 +15551234 5550106 - - from before"));
  EXPECT_NE(std::string::npos, record[2].find(" sent COM5 5550105 5550106 1 - to a full store"));
  EXPECT_NE(std::string::npos, record[3].find(" refused COM6 5550105 5550106 1 - to a full"));
}

TEST(StandardHelp, NamesEveryNewOptionAndCommand) {
  std::string usage = sim_usage();
  for (const char* name : {"urc-inside[=LINE]",
                           "bare-prompt",
                           "send-error=N",
                           "sim-busy=SECONDS",
                           "no-cnmi",
                           "stored=N",
                           "--store MODEM:FROM:TEXT",
                           "sticky-echo",
                           "storage-full",
                           "byte-split[=SECONDS]",
                           "store-size=N",
                           "AT+CMEE",
                           "AT+CMGF",
                           "AT+CSCS",
                           "AT+CNMI",
                           "AT+CPMS",
                           "AT+CMGS",
                           "AT+CMGL",
                           "AT+CMGR",
                           "AT+CMGD",
                           "+CMTI: \"SM\",<index>",
                           "refused",
                           "stored "}) {
    EXPECT_NE(std::string::npos, usage.find(name)) << name;
  }
}

}  // namespace
}  // namespace smstest

namespace smstest {
namespace {

// One message of a PDU-mode listing.
struct Listed {
  int index = 0;
  int status = 0;
  int length = 0;
  std::string hex;
};

// The messages of a "+CMGL: <index>,<stat>,,<length>" CR LF "<pdu>" listing
// that ends in OK; an entry that does not parse ends the list.
std::vector<Listed> pdu_listing(const std::string& answer) {
  std::vector<Listed> out;
  size_t at = 0;
  for (;;) {
    size_t line = answer.find("+CMGL: ", at);
    if (line == std::string::npos) break;
    Listed entry;
    if (sscanf(answer.c_str() + line, "+CMGL: %d,%d,,%d\r\n", &entry.index, &entry.status,
               &entry.length) != 3) {
      break;
    }
    size_t pdu = answer.find("\r\n", line) + 2;
    size_t end = answer.find("\r\n", pdu);
    if (end == std::string::npos) break;
    entry.hex = answer.substr(pdu, end - pdu);
    out.push_back(entry);
    at = end;
  }
  return out;
}

bool has_notice(const std::string& data, int index) {
  return data.find(format("\r\n+CMTI: \"SM\",%d\r\n", index)) != std::string::npos;
}

TEST_F(StandardSimulatorTest, PduModeDialogueBetweenTwoModems) {
  serve({"--delay", "0.4", "--modem", "COM3=+15550103", "--modem", "COM4=5550104"});
  PtyPeer from, to;
  open_pdu_mode(from, "COM3");
  open_pdu_mode(to, "COM4");
  // ISO-8859-1 bytes: ASCII, the 7-bit alphabet with its extension table,
  // and bytes that only UCS2 carries.
  const std::string texts[] = {"tImE7T hi there", "caf\xe9 @ {1} ^ \xdf\xa3",
                               "\xbfQu\xe9 tal? \xa9`"};
  const int codings[] = {0x00, 0x00, 0x08};
  for (int k = 0; k < 3; ++k) {
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_submit("5550104", texts[k], pdu, error)) << error;
    ASSERT_EQ(codings[k], pdu.dataCodingScheme);
    EXPECT_EQ("\r\n> ", ask(from, format("AT+CMGS=%d", pdu.tpduLength)));
    EXPECT_EQ(format("\r\n+CMGS: %d\r\n\r\nOK\r\n", k + 1), ask(from, pdu.hex + "\x1a"));
    Clock::time_point confirmed = Clock::now();
    std::string notice =
        to.read_until([k](const std::string& s) { return has_notice(s, k + 1); }, 3);
    EXPECT_EQ(format("\r\n+CMTI: \"SM\",%d\r\n", k + 1), notice);
    if (k == 0) {
      double took = seconds_since(confirmed);
      EXPECT_GE(took, 0.35);
      EXPECT_LT(took, 0.6);
    }
  }

  std::string listing = ask(to, "AT+CMGL=4");
  EXPECT_TRUE(ends_with(listing, "\r\n\r\nOK\r\n")) << escape_bytes(listing);
  std::vector<Listed> listed = pdu_listing(listing);
  ASSERT_EQ(3u, listed.size()) << escape_bytes(listing);
  for (int k = 0; k < 3; ++k) {
    const Listed& entry = listed[k];
    EXPECT_EQ(k + 1, entry.index);
    EXPECT_EQ(0, entry.status);
    EXPECT_EQ(2 * (8 + entry.length), static_cast<int>(entry.hex.size())) << entry.hex;
    std::unique_ptr<SmsDeliver> sms = decode_pdu(entry.hex.c_str(), nullptr);
    ASSERT_TRUE(sms != nullptr) << entry.hex;
    EXPECT_EQ(escape_bytes(texts[k]), escape_bytes(sms->text)) << entry.hex;
    EXPECT_EQ(codings[k], sms->dataCodingScheme) << entry.hex;
    EXPECT_EQ(0x91, sms->originator.type) << entry.hex;  // the sender is international
    EXPECT_EQ("15550103", address_text(sms->originator));
  }
  std::string read = ask(to, "AT+CMGR=2");
  EXPECT_EQ(format("\r\n+CMGR: 1,,%d\r\n", listed[1].length) + listed[1].hex + "\r\n\r\nOK\r\n",
            read);
  EXPECT_EQ("\r\nOK\r\n", ask(to, "AT+CMGL=0"));  // listed, all are read
  for (const char* command : {"AT+CMGD=1", "AT+CMGD=2", "AT+CMGD=3"}) {
    EXPECT_EQ("\r\nOK\r\n", ask(to, command)) << command;
  }
  EXPECT_EQ("\r\nOK\r\n", ask(to, "AT+CMGL=4"));

  // The same records as a text-mode send.
  std::vector<std::string> record = network_record();
  ASSERT_EQ(6u, record.size());
  for (int k = 0; k < 3; ++k) {
    std::string sent = format(" sent COM3 +15550103 5550104 %d - ", k + 1) + escape_bytes(texts[k]);
    EXPECT_NE(std::string::npos, record[2 * k].find(sent)) << record[2 * k];
    EXPECT_NE(std::string::npos,
              record[2 * k + 1].find(format(" delivered COM4 +15550103 5550104 %d ", k + 1)))
        << record[2 * k + 1];
  }
}

TEST_F(StandardSimulatorTest, PduModeRefusesBadPdusAndCancelsOnEscape) {
  serve({"--delay", "0.1", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  PtyPeer client;
  open_pdu_mode(client, "COM3");
  EncodedPdu pdu;
  std::string error;
  ASSERT_TRUE(encode_sms_submit("+15550104", "hello", pdu, error)) << error;
  // A length that counts the service-centre octet too.
  EXPECT_EQ("\r\n> ", ask(client, format("AT+CMGS=%d", pdu.tpduLength + 1)));
  EXPECT_EQ("\r\n+CMS ERROR: 304\r\n", ask(client, pdu.hex + "\x1a"));
  // A PDU cut short.
  EXPECT_EQ("\r\n> ", ask(client, format("AT+CMGS=%d", pdu.tpduLength)));
  EXPECT_EQ("\r\n+CMS ERROR: 304\r\n", ask(client, pdu.hex.substr(0, pdu.hex.size() - 4) + "\x1a"));
  // Text where the hex belongs.
  EXPECT_EQ("\r\n> ", ask(client, format("AT+CMGS=%d", pdu.tpduLength)));
  EXPECT_EQ("\r\n+CMS ERROR: 304\r\n", ask(client, "hello\x1a"));
  EXPECT_EQ("\r\n+CMS ERROR: 304\r\n", ask(client, "AT+CMGS=\"5550104\""));
  EXPECT_EQ("\r\n+CMS ERROR: 304\r\n", ask(client, "AT+CMGL=\"ALL\""));
  // ESC cancels.
  EXPECT_EQ("\r\n> ", ask(client, format("AT+CMGS=%d", pdu.tpduLength)));
  EXPECT_EQ("\r\nOK\r\n", ask(client, pdu.hex + "\x1b"));
  EXPECT_EQ("\r\nOK\r\n", ask(client, "AT"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(network_record().empty());
  // The traffic record keeps every PDU as typed: the two refused and the cancelled one.
  int typed = 0;
  for (const std::string& line : read_lines(dir_ + "/COM3.traffic.log")) {
    typed += line.find(" cmd " + pdu.hex.substr(0, 8)) != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(3, typed);
}

TEST_F(StandardSimulatorTest, PduModeShowsOutsidePhonesStoredMessagesAndTheBadPduFault) {
  serve({"--modem", "COM5=5550105", "--modem", "COM6=5550106,stored=1,bad-pdu=header", "--modem",
         "COM7=5550107,bad-pdu", "--store", "COM5:5551235:old text", "--store",
         "COM7:+15551236:cut", "--inject", "COM5@0.5:+4915551234:from outside \xe0 la carte"});
  PtyPeer client;
  open_pdu_mode(client, "COM5");
  // The injection arrives half a second after start-up; poll as a tool
  // without announcements does.
  std::vector<Listed> listed;
  Clock::time_point start = Clock::now();
  while (listed.size() < 2 && seconds_since(start) < 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    listed = pdu_listing(ask(client, "AT+CMGL=4"));
  }
  ASSERT_EQ(2u, listed.size());
  struct Expected {
    int type;
    const char* from;
    const char* text;
  } expected[] = {{0x81, "5551235", "old text"},
                  {0x91, "4915551234", "from outside \xe0 la carte"}};
  for (int k = 0; k < 2; ++k) {
    std::unique_ptr<SmsDeliver> sms = decode_pdu(listed[k].hex.c_str(), nullptr);
    ASSERT_TRUE(sms != nullptr) << listed[k].hex;
    EXPECT_EQ(expected[k].type, sms->originator.type) << listed[k].hex;
    EXPECT_EQ(expected[k].from, address_text(sms->originator));
    EXPECT_EQ(expected[k].text, sms->text);
  }

  for (const char* name : {"COM6", "COM7"}) {
    PtyPeer faulty;
    open_pdu_mode(faulty, name);
    std::vector<Listed> bad = pdu_listing(ask(faulty, "AT+CMGL=4"));
    ASSERT_EQ(1u, bad.size()) << name;
    EXPECT_EQ(2 * (8 + bad[0].length), static_cast<int>(bad[0].hex.size())) << name;
    EXPECT_TRUE(decode_pdu(bad[0].hex.c_str(), nullptr) == nullptr) << name << " " << bad[0].hex;
    std::string read = ask(faulty, "AT+CMGR=1");
    EXPECT_NE(std::string::npos, read.find("\r\n" + bad[0].hex + "\r\n")) << name;
    // Text mode shows the same message whole.
    EXPECT_EQ("\r\nOK\r\n", ask(faulty, "AT+CMGF=1"));
    EXPECT_NE(std::string::npos, ask(faulty, "AT+CMGR=1").find(",,\"")) << name;
  }
}

TEST(PduHelp, NamesThePduModeAndItsFault) {
  std::string usage = sim_usage();
  for (const char* name : {"bad-pdu[=cut|header]", "AT+CMGS=<length>", "AT+CMGL[=<stat>]",
                           "+CMGL: <index>,<stat>,,<length>", "+CMGR: <stat>,,<length>",
                           "+CMS ERROR: 304", "07915155000000F0"}) {
    EXPECT_NE(std::string::npos, usage.find(name)) << name;
  }
  ModemConfig modem;
  std::string error;
  ASSERT_TRUE(parse_modem_argument("COM3=1,bad-pdu", modem, error)) << error;
  EXPECT_EQ(PduDamage::cut, modem.faults.badPdu);
  ASSERT_TRUE(parse_modem_argument("COM3=1,bad-pdu=header", modem, error)) << error;
  EXPECT_EQ(PduDamage::header, modem.faults.badPdu);
  for (const char* bad : {"bad-pdu=", "bad-pdu=short", "bad-pdu=cut,x"}) {
    ModemConfig other;
    EXPECT_FALSE(parse_modem_argument(std::string("COM3=1,") + bad, other, error)) << bad;
  }
}

}  // namespace
}  // namespace smstest
