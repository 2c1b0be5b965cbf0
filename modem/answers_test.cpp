// The text rules of answers.h, one row per answer.
#include "modem/answers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace smstest {

namespace {

const char kSend[] = "AT!SSMS=0,1,1,\"a OK b\"\r";

TEST(EchoState, Table) {
  struct Row {
    const char* answer;
    const char* command;
    EchoState state;
    size_t echoLength;
  } rows[] = {
      {"\r\nOK\r\n", kSend, EchoState::kNone, 0},
      {"", kSend, EchoState::kNone, 0},
      {"AT!SSMS=0,1,1,\"a ", kSend, EchoState::kPartial, 0},
      {"AT!SSMS=0,1,1,\"a OK b\"", kSend, EchoState::kPartial, 0},
      {"AT!SSMS=0,1,1,\"a OK b\"\r", kSend, EchoState::kWhole, 23},
      {"AT!SSMS=0,1,1,\"a OK b\"\r\r\nOK\r\n", kSend, EchoState::kWhole, 23},
      // An echo without its CR, straight followed by the answer.
      {"AT!SSMS=0,1,1,\"a OK b\"\n\r\nOK\r\n", kSend, EchoState::kWhole, 22},
      // Not the command: a different text, or a different command.
      {"AT!SSMS=0,1,1,\"a NO\r", kSend, EchoState::kNone, 0},
      {"AT!GSMS?2,0\r\r\nOK\r\n", "AT!DSMS=3,0\r", EchoState::kNone, 0},
      {"AT!GSMS?2,0\r\r\nOK\r\n", "AT!GSMS?2,0\r", EchoState::kWhole, 12},
  };
  for (const Row& row : rows) {
    size_t length = 99;
    EXPECT_EQ(echo_state(row.answer, row.command, length), row.state) << row.answer;
    EXPECT_EQ(length, row.echoLength) << row.answer;
  }
}

const char kReport[] =
    "\r\n!GSMS: 1,\"REC UNREAD\"\r\nAddress: 5551234\r\nTime Stamp: 24/01/01,00:00:00+00\r\n"
    "Msg Length: 9\r\nMsg Body: ERROR 42!\r\n\r\nOK\r\n";

TEST(ReportSpan, CoversTheSenderToTheBodyLineEnd) {
  const ReportSpan span = report_span(kReport);
  const std::string text = kReport;
  EXPECT_EQ(span.begin, static_cast<int>(text.find("Address:")));
  EXPECT_EQ(span.end, static_cast<int>(text.find("\r\n\r\nOK")));
  // The "ERROR" of the body is inside, so it is not found outside.
  EXPECT_EQ(find_outside(kReport, "ERROR", span.begin, span.end), -1);
  EXPECT_EQ(find_outside(kReport, "ERROR", -1, -1), static_cast<int>(text.find("ERROR")));

  const std::string failed = text + "\r\nERROR\r\n";
  EXPECT_EQ(find_outside(failed.c_str(), "ERROR", span.begin, span.end),
            static_cast<int>(text.size()) + 2);

  EXPECT_EQ(report_span("\r\nOK\r\n").begin, -1);
  // A body before the sender: the span runs from the body.
  const ReportSpan reversed = report_span("Msg Body: x\rAddress: ERROR\r\nOK\r\n");
  EXPECT_EQ(reversed.begin, 0);
  EXPECT_EQ(reversed.end, 26);
}

TEST(ReportComplete, Table) {
  struct Row {
    const char* answer;
    bool complete;
  } rows[] = {
      {kReport, true},
      {"\r\nAddress: 1\r\nMsg Body: hi\r\n\r\nOK\r\n", true},
      {"\r\nAddress: 1\r\nMsg Body: hi\r\n\r\nERROR\r\n", true},
      // Split before the body line, or before its line end.
      {"\r\nAddress: 1\r\nTime Stamp: x\r\n", false},
      {"\r\nAddress: 1\r\nMsg Body: h", false},
      // Body there, final result not yet; an "OK" in the body is no result.
      {"\r\nAddress: 1\r\nMsg Body: hi\r\n", false},
      {"\r\nAddress: 1\r\nMsg Body: OK\r\n", false},
      {"\r\nAddress: 1\r", false},
      {"\r\nOK\r\n", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(report_complete(row.answer, "ERROR"), row.complete) << row.answer;
  }
}

TEST(HoldsFinalResult, Table) {
  EXPECT_TRUE(holds_final_result("\r\nOK\r\n", 0, "ERROR"));
  EXPECT_TRUE(holds_final_result("\r\n+CMS ERROR: 500\r\n", 0, "ERROR"));
  EXPECT_FALSE(holds_final_result("\r\n", 0, "ERROR"));
  EXPECT_FALSE(holds_final_result("\r\n+CMGS: 1\r\n", 0, "ERROR"));
  EXPECT_FALSE(holds_final_result("OK\r\n", 2, "ERROR"));
  EXPECT_FALSE(holds_final_result("OK", 9, "ERROR"));
}

TEST(DroppablePrefix, KeepsAReportThatBeganAndTheLastPieceOfLine) {
  struct Row {
    const char* name;
    std::string answer;
    size_t drop;
  };
  const std::string padding = "\r\nInfo: 00001 ....\r\nInfo: 00002 ....";
  const Row rows[] = {
      // No label: the unfinished last line stays, up to 16 bytes of it.
      {"padding", padding, padding.size() - 16},
      {"padding to a line end", padding + "\r\n", padding.size() + 2},
      {"a label cut at the end", padding + "\r\nAddr", padding.size() + 2},
      // A report began: everything from its line stays.
      {"report began", padding + "\r\nAddress: 1\r\nTime", padding.size() + 2},
      {"report at the start", "Address: 1\r\nMsg Body: x", 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(droppable_prefix(row.answer.c_str(), row.answer.size()), row.drop) << row.name;
  }
}

}  // namespace

}  // namespace smstest
