#include "sim/modem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "sim/records.h"

namespace smstest {

namespace {

// All bytes of a reply, pieces joined.
std::string joined(const Reply& reply) {
  std::string out;
  for (const AnswerPiece& piece : reply.pieces) out += piece.bytes;
  return out;
}

ModemConfig plain_modem() {
  ModemConfig config;
  config.name = "COM3";
  config.number = "5550103";
  return config;
}

TEST(SimModem, AnswersEachCommandOfTheSet) {
  struct Case {
    const char* command;
    const char* answer;  // echo off
  } cases[] = {
      {"AT", "\r\nOK\r\n"},
      {"at", "\r\nOK\r\n"},
      {"ATE0", "\r\nOK\r\n"},
      {"AT!DASMS", "\r\nOK\r\n"},
      {"AT!SSMS=0,5550104,5550104,\"hi\"", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},
      {"AT!GSMS?2,0", "\r\nOK\r\n"},
      {"AT!DSMS=3,0", "\r\nOK\r\n"},
      {"ATX9", "\r\nERROR\r\n"},
      {"AT+CMGF=2", "\r\nERROR\r\n"},  // text and PDU mode only
      {"AT!GSMS?1,0", "\r\nERROR\r\n"},
      {"AT!SSMS=0,5550104,5550104,hi", "\r\nERROR\r\n"},
      {"AT!SSMS=0,,,\"hi\"", "\r\nERROR\r\n"},
      {"AT!SSMS=0,\"hi\"", "\r\nERROR\r\n"},
      {"AT!SSMS=0,5550104,\"hi\"", "\r\nERROR\r\n"},
  };
  for (const Case& c : cases) {
    SimModem modem(plain_modem());
    modem.answer("ATE0");
    EXPECT_EQ(c.answer, joined(modem.answer(c.command))) << c.command;
  }
}

TEST(SimModem, EchoesUntilAte0AndStaysQuiet) {
  SimModem modem(plain_modem());
  std::vector<Reply> replies;
  modem.receive("AT\rATE", 6, replies);
  ASSERT_EQ(1u, replies.size());
  EXPECT_EQ("AT\r\r\nOK\r\n", joined(replies[0]));
  modem.receive("0\r", 2, replies);  // the rest of a command split across writes
  ASSERT_EQ(2u, replies.size());
  EXPECT_EQ("ATE0", replies[1].command);
  EXPECT_EQ("ATE0\r\r\nOK\r\n", joined(replies[1]));  // its own echo still comes
  EXPECT_FALSE(modem.echo());
  modem.receive("AT\r\n\n\rAT\n", 9, replies);  // empty lines are skipped
  ASSERT_EQ(4u, replies.size());
  EXPECT_EQ("\r\nOK\r\n", joined(replies[2]));
  EXPECT_EQ("\r\nOK\r\n", joined(replies[3]));
}

TEST(SimModem, SendCarriesTextBetweenOuterQuotes) {
  SimModem modem(plain_modem());
  modem.answer("ATE0");
  Reply reply = modem.answer("AT!SSMS=0,5551234,5551234,\"say \"hi\", ok\"");
  EXPECT_TRUE(reply.sends);
  EXPECT_FALSE(reply.sendsAtCommand);
  EXPECT_EQ("5551234", reply.to);
  EXPECT_EQ("say \"hi\", ok", reply.text);
  EXPECT_EQ(1, reply.ref);
  EXPECT_EQ(2, modem.answer("AT!SSMS=0,1,1,\"\"").ref);  // references count up
}

TEST(SimModem, ReportsOldestMessageUntilDeleted) {
  SimModem modem(plain_modem());
  modem.answer("ATE0");
  modem.store("5550104", "first", 0);
  modem.store("5551234", "second", 0);
  std::string report = joined(modem.answer("AT!GSMS?2,0"));
  EXPECT_EQ(
      "\r\n!GSMS: 1,\"REC UNREAD\"\r\nAddress: 5550104\r\nTime Stamp: 70/01/01,00:00:00+00\r\n"
      "Msg Length: 5\r\nMsg Body: first\r\n\r\nOK\r\n",
      report);
  EXPECT_EQ("\r\nOK\r\n", joined(modem.answer("AT!DSMS=3,0")));
  EXPECT_TRUE(modem.messages().empty());
  EXPECT_EQ("\r\nOK\r\n", joined(modem.answer("AT!GSMS?2,0")));
}

// One row per fault: the command that shows it, the answer it gives.
TEST(SimModem, FaultsReshapeTheirAnswers) {
  struct Case {
    const char* option;
    bool stored;  // a message is stored first
    const char* command;
    std::string answer;
    bool prefixOnly;  // the answer starts with `answer`
  } cases[] = {
      {"no-dasms", false, "AT!DASMS", "\r\nERROR\r\n", false},
      {"send-refused", false, "AT!SSMS=0,1,1,\"x\"", "\r\nERROR\r\n", false},
      {"send-unconfirmed", false, "AT!SSMS=0,1,1,\"x\"", "", false},
      {"cmgs-first", false, "AT!SSMS=0,1,1,\"x\"", "+CMGS: 1\r\n", false},
      {"poll-error", false, "AT!GSMS?2,0", "\r\nERROR\r\n", false},
      {"poll-error", true, "AT!GSMS?2,0", "\r\n!GSMS: 1,\"REC UNREAD\"\r\nAddress: 5\r", true},
      {"delete-refused", true, "AT!DSMS=3,0", "\r\nERROR\r\n", false},
      {"cmgl-error", false, "AT!GSMS?2,0", "\r\n+CMGL: 1,\"REC READ\"\r\n\r\nERROR\r\n", false},
      {"cmgl-error", false, "AT!DSMS=3,0", "\r\n+CMGL: 0\r\n\r\nERROR\r\n", false},
      {"nul", false, "AT", std::string("\r\n\0OK\r\n", 7), false},
      {"silent", false, "AT", "", false},
      {"silent", false, "ATE0", "", false},
  };
  for (const Case& c : cases) {
    ModemConfig config = plain_modem();
    std::string error;
    ASSERT_TRUE(apply_modem_option(c.option, config, error)) << error;
    SimModem modem(config);
    modem.answer("ATE0");
    if (c.stored) modem.store("5", "m", 0);
    std::string got = joined(modem.answer(c.command));
    if (c.prefixOnly) got = got.substr(0, c.answer.size());
    EXPECT_EQ(escape_bytes(c.answer), escape_bytes(got)) << c.option << " " << c.command;
  }
}

TEST(SimModem, DeleteRefusedKeepsMessages) {
  ModemConfig config = plain_modem();
  config.faults.deleteRefused = true;
  SimModem modem(config);
  modem.store("5", "m", 0);
  modem.answer("AT!DSMS=3,0");
  EXPECT_EQ(1u, modem.messages().size());
}

TEST(SimModem, SkipFirstAtIgnoresEverythingBeforeTheSecondAt) {
  ModemConfig config = plain_modem();
  config.faults.skipFirstAt = true;
  SimModem modem(config);
  EXPECT_TRUE(modem.answer("AT!DASMS").pieces.empty());
  EXPECT_TRUE(modem.answer("AT").pieces.empty());
  EXPECT_TRUE(modem.answer("ATE0").pieces.empty());
  EXPECT_TRUE(modem.echo());
  EXPECT_EQ("AT\r\r\nOK\r\n", joined(modem.answer("AT")));
  EXPECT_EQ("ATE0\r\r\nOK\r\n", joined(modem.answer("ATE0")));
}

TEST(SimModem, LateConfirmationWaitsAfterTheEcho) {
  ModemConfig config = plain_modem();
  config.faults.confirmLate = 2.5;
  SimModem modem(config);
  Reply reply = modem.answer("AT!SSMS=0,1,1,\"x\"");
  ASSERT_EQ(2u, reply.pieces.size());
  EXPECT_EQ(0, reply.pieces[0].pause);  // the echo at once
  EXPECT_DOUBLE_EQ(2.5, reply.pieces[1].pause);
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", reply.pieces[1].bytes);
}

TEST(SimModem, BigPollAnswerPassesTheClientsBuffer) {
  ModemConfig config = plain_modem();
  config.faults.big = true;
  SimModem modem(config);
  modem.answer("ATE0");
  modem.store("5550104", "body", 0);
  std::string answer = joined(modem.answer("AT!GSMS?2,0"));
  EXPECT_GT(answer.size(), 40960u);
  EXPECT_GT(answer.find("Address: 5550104\r"), 40960u);
  EXPECT_EQ(answer.size() - 6, answer.find("\r\nOK\r\n"));
}

TEST(SimModem, HangupFlagsTheKthCommand) {
  ModemConfig config = plain_modem();
  config.faults.hangupAfter = 3;
  SimModem modem(config);
  EXPECT_FALSE(modem.answer("AT").hangUp);
  EXPECT_FALSE(modem.answer("ATX9").hangUp);  // unknown commands count too
  Reply third = modem.answer("AT");
  EXPECT_TRUE(third.hangUp);
  EXPECT_EQ("AT\r\r\nOK\r\n", joined(third));  // answered before the line closes
}

TEST(SimModem, OverlongCommandIsRefused) {
  SimModem modem(plain_modem());
  modem.answer("ATE0");
  std::string line(20000, 'A');
  line += '\r';
  std::vector<Reply> replies;
  modem.receive(line.data(), line.size(), replies);
  ASSERT_EQ(1u, replies.size());
  EXPECT_EQ("\r\nERROR\r\n", joined(replies[0]));
}

TEST(SimText, AlterationsChangeTheText) {
  struct Case {
    Alteration alteration;
    const char* in;
    const char* out;
  } cases[] = {
      {Alteration::none, "hello", "hello"},       {Alteration::change, "hello", "he#lo"},
      {Alteration::change, "ab#d", "ab*d"},       {Alteration::change, "", ""},
      {Alteration::cut, "hello", "he"},           {Alteration::cut, "x", ""},
      {Alteration::prefix, "hello", "FW: hello"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.out, alter_text(c.alteration, c.in)) << c.in;
  }
}

TEST(SimText, ChunksSplitLineEndsAndLongStretches) {
  struct Case {
    const char* bytes;
    std::vector<std::string> pieces;
  } cases[] = {
      {"\r\nOK\r\n", {"\r", "\nO", "K\r", "\n"}},
      {"\r\nERROR\r\n", {"\r", "\nER", "ROR\r", "\n"}},
      {"OK", {"OK"}},
      {"+CMGS: 1\r\n", {"+CMG", "S: 1\r", "\n"}},
  };
  for (const Case& c : cases) {
    std::vector<AnswerPiece> pieces = split_into_chunks(c.bytes, 0.25);
    std::vector<std::string> got;
    for (size_t i = 0; i < pieces.size(); ++i) {
      got.push_back(pieces[i].bytes);
      EXPECT_DOUBLE_EQ(i == 0 ? 0 : 0.25, pieces[i].pause) << escape_bytes(c.bytes);
    }
    EXPECT_EQ(c.pieces, got) << escape_bytes(c.bytes);
  }
}

TEST(SimText, ChunkedReplyKeepsAllBytesInOrder) {
  ModemConfig config = plain_modem();
  config.faults.chunkPause = 0.2;
  config.faults.confirmLate = 1;
  SimModem modem(config);
  Reply reply = modem.answer("AT!SSMS=0,1,1,\"x\"");
  EXPECT_EQ("AT!SSMS=0,1,1,\"x\"\r\r\n+CMGS: 1\r\n\r\nOK\r\n", joined(reply));
  double late = 0;
  for (const AnswerPiece& piece : reply.pieces) late = std::max(late, piece.pause);
  EXPECT_DOUBLE_EQ(1.2, late);  // the late answer's first piece
}

TEST(SimText, TimeStampsAreUtcDates) {
  EXPECT_EQ("70/01/01,00:00:00+00", time_stamp(0));
  EXPECT_EQ("00/02/29,12:34:56+00", time_stamp(951827696));
  EXPECT_EQ("24/12/31,23:59:59+00", time_stamp(1735689599));
}

TEST(SimText, EscapedBytesRoundTrip) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string escaped = escape_bytes(all + "\\x4");
  EXPECT_EQ(std::string::npos, escaped.find_first_of("\r\n"));
  EXPECT_EQ(all + "\\x4", unescape_bytes(escaped));
  EXPECT_EQ("a\\qb\\", unescape_bytes("a\\qb\\"));  // unknown escapes stay
  EXPECT_EQ("OK\\r\\n\\0\\x07", escape_bytes(std::string("OK\r\n\0\a", 6)));
}

}  // namespace

}  // namespace smstest
