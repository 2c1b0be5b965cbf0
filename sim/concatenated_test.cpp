// Concatenated messages through the simulated network, on a clock of the
// test's own: the parts keep their user-data header from the SMS-SUBMIT to
// the SMS-DELIVER that PDU mode lists, text mode shows each part's text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "pdu/concatenation.h"
#include "pdu/sms_deliver.h"
#include "sim/network_fixture.h"
#include "sim/pdu_mode.h"
#include "sim/sim_process.h"
#include "testsupport/pty_peer.h"

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

TEST(ConcatenatedPart, ReadsTheConcatenationElement) {
  struct Case {
    const char* name;
    std::vector<unsigned char> header;
    bool found;
    int reference, count, sequence;
  } cases[] = {
      {"8bit", {0x00, 0x03, 0xA7, 0x03, 0x02}, true, 0xA7, 3, 2},
      {"16bit", {0x08, 0x04, 0xBE, 0xEF, 0x02, 0x02}, true, 0xBEEF, 2, 2},
      {"after_a_port_element",
       {0x05, 0x04, 0x0B, 0x84, 0x23, 0xF0, 0x00, 0x03, 0x01, 0x02, 0x01},
       true,
       1,
       2,
       1},
      {"single_part", {0x00, 0x03, 0x07, 0x01, 0x01}, true, 7, 1, 1},
      {"none", {}, false, 0, 0, 0},
      {"other_element_only", {0x05, 0x04, 0x0B, 0x84, 0x23, 0xF0}, false, 0, 0, 0},
      {"8bit_with_wrong_length", {0x00, 0x04, 0x01, 0x02, 0x01, 0x00}, false, 0, 0, 0},
      {"sequence_0", {0x00, 0x03, 0x01, 0x02, 0x00}, false, 0, 0, 0},
      {"sequence_past_count", {0x00, 0x03, 0x01, 0x02, 0x03}, false, 0, 0, 0},
      {"count_0", {0x08, 0x04, 0x00, 0x01, 0x00, 0x00}, false, 0, 0, 0},
      {"element_past_the_header", {0x00, 0x03, 0x01, 0x02}, false, 0, 0, 0},
      {"element_without_length", {0x00}, false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConcatenatedPart part;
    ASSERT_EQ(c.found, concatenated_part(c.header, part));
    if (!c.found) continue;
    EXPECT_EQ(c.reference, part.reference);
    EXPECT_EQ(c.count, part.count);
    EXPECT_EQ(c.sequence, part.sequence);
  }
}

TEST(PartFaultOptions, ParseAndRefuseBadValues) {
  struct Case {
    const char* option;
    bool ok;
    PartOrder order = PartOrder::sent;
    unsigned seed = 1;
    int drop = 0, duplicate = 0, delayed = 0;
    double by = 0;
  } cases[] = {
      {"part-order=reverse", true, PartOrder::reverse, 1, 0, 0, 0, 0},
      {"part-order=random", true, PartOrder::random, 1, 0, 0, 0, 0},
      {"part-order=random:42", true, PartOrder::random, 42, 0, 0, 0, 0},
      {"part-order=random:0", true, PartOrder::random, 0, 0, 0, 0, 0},
      {"drop-part=1", true, PartOrder::sent, 1, 1, 0, 0, 0},
      {"drop-part=255", true, PartOrder::sent, 1, 255, 0, 0, 0},
      {"duplicate-part=3", true, PartOrder::sent, 1, 0, 3, 0, 0},
      {"delay-part=2@7.5", true, PartOrder::sent, 1, 0, 0, 2, 7.5},
      {"part-order", false},
      {"part-order=", false},
      {"part-order=forward", false},
      {"part-order=reverse:3", false},
      {"part-order=random:", false},
      {"part-order=random:-1", false},
      {"drop-part=0", false},
      {"drop-part=256", false},
      {"drop-part", false},
      {"duplicate-part=x", false},
      {"delay-part=2", false},
      {"delay-part=@3", false},
      {"delay-part=0@3", false},
      {"delay-part=2@", false},
      {"delay-part=2@-1", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    ModemConfig modem;
    std::string error;
    ASSERT_EQ(c.ok, parse_modem_argument(std::string("COM4=5550104,") + c.option, modem, error))
        << error;
    if (!c.ok) {
      EXPECT_NE(std::string::npos, error.find("modem option")) << error;
      continue;
    }
    EXPECT_EQ(c.order, modem.faults.partOrder);
    EXPECT_EQ(c.seed, modem.faults.partSeed);
    EXPECT_EQ(c.drop, modem.faults.dropPart);
    EXPECT_EQ(c.duplicate, modem.faults.duplicatePart);
    EXPECT_EQ(c.delayed, modem.faults.delayPart);
    EXPECT_DOUBLE_EQ(c.by, modem.faults.delayPartBy);
  }
}

class PartFaultTest : public ConcatenatedNetworkTest {
 protected:
  // The part numbers of COM4's store, lowest index first (the order they
  // arrived in, from an empty store).
  std::vector<int> arrived_parts() {
    std::vector<int> sequences;
    for (const ReadPart& part : listed_on_com4()) {
      sequences.push_back(part.concatenated ? part.sequence : 0);
    }
    return sequences;
  }

  int records_of(const std::string& event) {
    int count = 0;
    for (const std::string& line : network_record()) {
      if (line.find(" " + event + " COM4 ") != std::string::npos) ++count;
    }
    return count;
  }

  // Sends parts `first` to `last` (from 1) of a `count`-part text with
  // reference `reference`.
  void send_some_parts(int count, int reference, int first, int last) {
    std::vector<EncodedPdu> parts;
    std::string error;
    ASSERT_TRUE(encode_concatenated_submit("5550104", std::string(153 * count, 'q'), reference,
                                           parts, error))
        << error;
    ASSERT_EQ(static_cast<size_t>(count), parts.size());
    for (int k = first; k <= last; ++k) {
      const EncodedPdu& part = parts[static_cast<size_t>(k - 1)];
      ASSERT_EQ("\r\n> ", type(0, format("AT+CMGS=%d\r", part.tpduLength)));
      ASSERT_NE(std::string::npos, type(0, part.hex + "\x1a").find("+CMGS: "));
    }
  }
};

// Each fault on a 3-part message: the parts COM4 ends up with, in the order
// they arrived, and how many were recorded lost.
TEST_F(PartFaultTest, EachFaultOnAThreePartMessage) {
  struct Case {
    const char* options;
    std::vector<int> arrived;
    int lost;
  } cases[] = {
      {"", {1, 2, 3}, 0},
      {",part-order=reverse", {3, 2, 1}, 0},
      {",drop-part=2", {1, 3}, 0 + 1},
      {",drop-part=4", {1, 2, 3}, 0},
      {",duplicate-part=1", {1, 1, 2, 3}, 0},
      {",duplicate-part=3", {1, 2, 3, 3}, 0},
      {",delay-part=1@5", {2, 3, 1}, 0},
      {",delay-part=3@0", {1, 2, 3}, 0},
      {",part-order=reverse,drop-part=3", {2, 1}, 1},
      {",part-order=reverse,delay-part=3@1", {2, 1, 3}, 0},
      {",part-order=reverse,duplicate-part=2", {3, 2, 2, 1}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    TearDown();
    config_.modems.clear();
    SetUp();
    begin("", c.options);
    open_pdu_mode(0);
    open_pdu_mode(1);
    send_some_parts(3, 0x42, 1, 3);
    advance_to(now_ + 60);
    EXPECT_EQ(c.arrived, arrived_parts());
    EXPECT_EQ(c.lost, records_of("lost"));
    EXPECT_EQ(static_cast<int>(c.arrived.size()), records_of("delivered"));
  }
}

// Single messages pass every part fault untouched, at their usual time.
TEST_F(PartFaultTest, SingleMessagesAreLeftAlone) {
  begin("", ",part-order=reverse,drop-part=1,duplicate-part=1,delay-part=1@9");
  open_pdu_mode(0);
  open_pdu_mode(1);
  ASSERT_TRUE(send_parts("one message", 0, ConcatOptions()));
  advance_to(now_ + 1.6);
  EXPECT_EQ(std::vector<int>{0}, arrived_parts());
  advance_to(now_ + 60);
  EXPECT_EQ(std::vector<int>{0}, arrived_parts());
}

// A delayed part comes its seconds after the others.
TEST_F(PartFaultTest, DelayedPartComesLate) {
  begin("", ",delay-part=2@4");
  open_pdu_mode(0);
  open_pdu_mode(1);
  send_some_parts(3, 7, 1, 3);
  const double sent = now_;
  advance_to(sent + 1.6);
  EXPECT_EQ((std::vector<int>{1, 3}), arrived_parts());
  advance_to(sent + 5.4);  // due at 1.5 + 4
  EXPECT_EQ((std::vector<int>{1, 3}), arrived_parts());
  advance_to(sent + 5.6);
  EXPECT_EQ((std::vector<int>{1, 3, 2}), arrived_parts());
}

// part-order holds the parts until the last one is there; a message whose
// last part never comes is let go 30 s after its first part was due.
TEST_F(PartFaultTest, OrderedPartsWaitForTheLastOne) {
  begin("", ",part-order=reverse");
  open_pdu_mode(0);
  open_pdu_mode(1);
  send_some_parts(3, 1, 1, 2);
  advance_to(now_ + 10);
  EXPECT_TRUE(arrived_parts().empty());
  send_some_parts(3, 1, 3, 3);
  double sent = now_;
  advance_to(sent + 1.4);
  EXPECT_TRUE(arrived_parts().empty());
  advance_to(sent + 1.9);
  EXPECT_EQ((std::vector<int>{3, 2, 1}), arrived_parts());

  type(1, "AT+CMGD=1,4\r");
  send_some_parts(3, 2, 1, 2);  // part 3 never comes
  sent = now_;
  advance_to(sent + 31.4);  // the first part was due at 1.5
  EXPECT_TRUE(arrived_parts().empty());
  advance_to(sent + 31.9);
  EXPECT_EQ((std::vector<int>{2, 1}), arrived_parts());
}

// Random orders: each a permutation of the parts, not all as sent, the same
// for the same seed, others for another seed.
TEST_F(PartFaultTest, RandomOrderIsSeeded) {
  const auto orders = [this](const std::string& options) {
    TearDown();
    config_.modems.clear();
    SetUp();
    begin("", options);
    open_pdu_mode(0);
    open_pdu_mode(1);
    std::vector<std::vector<int>> got;
    for (int message = 0; message < 6; ++message) {
      type(1, "AT+CMGD=1,4\r");
      send_some_parts(4, message, 1, 4);
      advance_to(now_ + 5);
      got.push_back(arrived_parts());
    }
    return got;
  };
  const std::vector<std::vector<int>> first = orders(",part-order=random:7");
  int inOrder = 0;
  for (std::vector<int> order : first) {
    if (order == std::vector<int>{1, 2, 3, 4}) ++inOrder;
    std::sort(order.begin(), order.end());
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), order);
  }
  EXPECT_LT(inOrder, 6);
  EXPECT_EQ(first, orders(",part-order=random:7"));
  EXPECT_NE(first, orders(",part-order=random:8"));
  EXPECT_EQ(orders(",part-order=random"), orders(",part-order=random:1"));
}

// The real binary: the faults given on the command line (--modem and
// --fault), a 3-part message sent over the pseudo-terminal, what COM4 lists.
TEST(PartFaultsBinary, ReverseOrderAndDroppedPart) {
  const std::string dir =
      testing::TempDir() + format("modem_sim_parts_%d", static_cast<int>(getpid()));
  SimProcess sim;
  ASSERT_TRUE(sim.start(MODEM_SIM_BINARY,
                        {"--dir", dir, "--delay", "0.2", "--modem", "COM3=5550103", "--modem",
                         "COM4=5550104,part-order=reverse", "--fault", "COM4=drop-part=2"}))
      << sim.lastError << "\n"
      << sim.output();
  PtyPeer from, to;
  ASSERT_TRUE(from.open(dir + "/COM3")) << from.lastError;
  ASSERT_TRUE(to.open(dir + "/COM4")) << to.lastError;
  for (PtyPeer* peer : {&from, &to}) {
    peer->command("ATE0");
    EXPECT_EQ("\r\nOK\r\n", peer->command("AT+CMGF=0"));
  }
  std::vector<EncodedPdu> parts;
  std::string error;
  ASSERT_TRUE(
      encode_concatenated_submit("5550104", std::string(400, 'w') + "{end}", 0x5A, parts, error))
      << error;
  ASSERT_EQ(3u, parts.size());
  for (const EncodedPdu& part : parts) {
    ASSERT_TRUE(from.write(format("AT+CMGS=%d\r", part.tpduLength)));
    EXPECT_EQ("\r\n> ", from.read_until([](const std::string& got) {
      return got.find("> ") != std::string::npos;
    }));
    EXPECT_NE(std::string::npos, from.command(part.hex + "\x1a").find("+CMGS: "));
  }
  std::vector<ReadPart> got;
  for (int i = 0; i < 100 && got.size() < 2; ++i) {
    usleep(20000);
    got = read_listing(to.command("AT+CMGL=4"));
  }
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ(3, got[0].sequence);
  EXPECT_EQ(1, got[1].sequence);
  EXPECT_EQ(0x5A, got[0].reference);
  EXPECT_EQ("w{end}", got[0].text.substr(got[0].text.size() - 6));
  from.close();
  to.close();
  EXPECT_EQ(0, sim.stop());
  std::ifstream record(dir + "/network.log");
  std::string line;
  int lost = 0;
  while (std::getline(record, line)) lost += line.find(" lost COM4 ") != std::string::npos;
  EXPECT_EQ(1, lost);
}

}  // namespace
}  // namespace smstest
