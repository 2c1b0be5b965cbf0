// The pseudo-terminal peer against itself: a created line played by a
// script or a responder, and the same line opened at its other end.
#include "testsupport/pty_peer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/files.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

TEST(PtyPeer, ScriptAnswersAClientOnTheSlaveSide) {
  PtyPeer modem;
  ASSERT_TRUE(modem.create()) << modem.lastError;
  modem.expect("AT\r").send("\r\nOK\r\n").expect("ATI\r").send("\r\nSIM\r\n").send("OK\r\n");
  modem.start();

  PtyPeer tool;
  ASSERT_TRUE(tool.open(modem.slave_name())) << tool.lastError;
  EXPECT_EQ(tool.command("AT"), "\r\nOK\r\n");
  EXPECT_EQ(tool.command("ATI"), "\r\nSIM\r\nOK\r\n");
  EXPECT_TRUE(modem.finish()) << modem.error();
  EXPECT_EQ(modem.received(), "AT\rATI\r");
  EXPECT_FALSE(tool.hung_up());
}

TEST(PtyPeer, ResponderAnswersEachCommandThroughItsLink) {
  const std::string dir = make_temp_dir("pty_peer");
  PtyPeer modem;
  ASSERT_TRUE(modem.create()) << modem.lastError;
  const std::string link = modem.link(dir, 4);
  EXPECT_EQ(link, dir + "/COM4");
  modem.serve(modem_like({{"AT+X", "\r\n+X: 1\r\n\r\nOK\r\n"}, {"AT+Q", ""}}), 50);

  PtyPeer tool;
  ASSERT_TRUE(tool.open(link)) << tool.lastError;
  EXPECT_EQ(tool.command("AT+X=2"), "\r\n+X: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(tool.command("AT+Q", 0.3), "");
  EXPECT_EQ(tool.command("AT"), "\r\nOK\r\n");
  modem.finish();
  const std::vector<std::string> commands = {"AT+X=2\r", "AT+Q\r", "AT\r"};
  EXPECT_EQ(modem.commands(), commands);

  // Closing the created line hangs it up for the client and removes the link.
  modem.close();
  EXPECT_EQ(tool.read_for(1.0), "");
  EXPECT_TRUE(tool.hung_up());
  EXPECT_FALSE(file_exists(link));
}

TEST(PtyPeer, HangUpStepEndsTheClientsReads) {
  PtyPeer modem;
  ASSERT_TRUE(modem.create()) << modem.lastError;
  PtyPeer tool;
  ASSERT_TRUE(tool.open(modem.slave_name())) << tool.lastError;
  // A hang-up drops what the line still holds, so the last bytes get time
  // to be read first.
  modem.send("first").pause(50).send("second").pause(200).hang_up().start();
  std::vector<std::pair<double, std::string>> pieces = tool.read_pieces(5.0);
  ASSERT_TRUE(modem.finish()) << modem.error();
  std::string all;
  for (const auto& piece : pieces) all += piece.second;
  EXPECT_EQ(all, "firstsecond");
  ASSERT_GE(pieces.size(), 2u) << pieces.front().second;
  EXPECT_LT(pieces.front().first, pieces.back().first);
  EXPECT_TRUE(tool.hung_up());
  EXPECT_FALSE(tool.write("AT\r"));
  EXPECT_FALSE(tool.lastError.empty());
}

TEST(PtyPeer, OpenRefusesWhatIsNoTerminal) {
  const std::string dir = make_temp_dir("pty_peer");
  PtyPeer peer;
  EXPECT_FALSE(peer.open(dir + "/missing"));
  EXPECT_EQ(peer.lastError.rfind("cannot open " + dir + "/missing: ", 0), 0u) << peer.lastError;
  ASSERT_TRUE(write_file(dir + "/plain", "x"));
  EXPECT_FALSE(peer.open(dir + "/plain"));
  EXPECT_EQ(peer.lastError.rfind(dir + "/plain is not a terminal: ", 0), 0u) << peer.lastError;
  EXPECT_FALSE(peer.is_open());
  EXPECT_EQ(peer.link(dir, 3), "") << "only a created line has a slave side to link";
}

TEST(AnswerComplete, OkOrErrorAtTheEnd) {
  EXPECT_TRUE(answer_complete("\r\nOK\r\n"));
  EXPECT_TRUE(answer_complete("x\r\nERROR\r\n"));
  EXPECT_FALSE(answer_complete("\r\nOK\r\nmore"));
  EXPECT_FALSE(answer_complete("OK\r"));
  EXPECT_FALSE(answer_complete(""));
}

}  // namespace

}  // namespace smstest
