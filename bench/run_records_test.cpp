// Reading the simulator's records and the tool's result lines back: the
// benchmark's true times and its intact-line count rest on these parsers.
#include "bench/run_records.h"

#include <gtest/gtest.h>

#include <cmath>

namespace smstest {

namespace {

TEST(RunRecordsTest, NetworkLines) {
  struct Case {
    const char* line;
    bool ok;
    const char* event;
    double at;
    double delay;  // NaN for "-"
    const char* text;
  };
  const Case cases[] = {
      {"1.489 sent COM3 5550103 5550103 1 - tImE20240101Thello", true, "sent", 1.489, NAN,
       "tImE20240101Thello"},
      {"2.489 delivered COM3 5550103 5550103 1 1.000 tImE20240101Thello", true, "delivered", 2.489,
       1.0, "tImE20240101Thello"},
      // The text runs to the end of the line, blanks included, and may be empty.
      {"0.100 injected COM5 5551234 5550105 - - a b  c", true, "injected", 0.1, NAN, "a b  c"},
      {"3.000 delivered COM4 1 2 3 0.250 ", true, "delivered", 3.0, 0.25, ""},
      {"3.000 delivered COM4 1 2 3 0.250", false, "", 0, 0, ""},
      {"x.000 sent COM3 1 2 3 - t", false, "", 0, 0, ""},
      {"1.000 delivered COM3 1 2 3 soon t", false, "", 0, 0, ""},
      {"", false, "", 0, 0, ""},
  };
  for (const Case& c : cases) {
    NetworkEvent e;
    ASSERT_EQ(parse_network_line(c.line, e), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(e.event, c.event) << c.line;
    EXPECT_DOUBLE_EQ(e.at, c.at) << c.line;
    if (std::isnan(c.delay)) {
      EXPECT_TRUE(std::isnan(e.delay)) << c.line;
    } else {
      EXPECT_DOUBLE_EQ(e.delay, c.delay) << c.line;
    }
    EXPECT_EQ(e.text, c.text) << c.line;
  }
}

TEST(RunRecordsTest, TrafficLines) {
  struct Case {
    const char* line;
    bool ok;
    const char* kind;
    const char* data;
  };
  const Case cases[] = {
      {"0.580 open", true, "open", ""},
      {"0.587 cmd AT", true, "cmd", "AT"},
      {"0.988 cmd AT!SSMS=0,5550103,5550103,\"tImE1T a b\"", true, "cmd",
       "AT!SSMS=0,5550103,5550103,\"tImE1T a b\""},
      {"1.586 out \\r\\nOK\\r\\n", true, "out", "\\r\\nOK\\r\\n"},
      {"1.586", false, "", ""},
      {"open 1.0", false, "", ""},
  };
  for (const Case& c : cases) {
    TrafficEvent e;
    ASSERT_EQ(parse_traffic_line(c.line, e), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(e.kind, c.kind) << c.line;
    EXPECT_EQ(e.data, c.data) << c.line;
  }
}

// Records of two round trips on one modem (taken from a real run and
// extended): the trace must pick the second one's lines only.
const char kTraffic[] =
    "0.580 open\n"
    "0.988 cmd AT!SSMS=0,5550103,5550103,\"tImEA1Thello\"\n"
    "1.489 out \\r\\n+CMGS: 1\\r\\n\\r\\nOK\\r\\n\n"
    "1.586 cmd AT!GSMS?2,0\n"
    "1.586 out \\r\\nOK\\r\\n\n"
    "1.789 cmd AT!GSMS?2,0\n"
    "1.789 out \\r\\n!GSMS: 1,\"REC UNREAD\"\\r\\nMsg Body: tImEA1Thello\\r\\n\\r\\nOK\\r\\n\n"
    "1.890 cmd AT!DSMS=3,0\n"
    "1.891 close\n"
    "3.000 open\n"
    "3.400 cmd AT!SSMS=0,5550103,5550103,\"tImEA2Thello\"\n"
    "3.900 out \\r\\n+CMGS: 2\\r\\n\\r\\nOK\\r\\n\n"
    "4.000 cmd AT!GSMS?2,0\n"
    "4.001 out \\r\\nOK\\r\\n\n"
    "4.200 cmd AT!GSMS?2,0\n"
    "4.201 out \\r\\nOK\\r\\n\n"
    "4.400 cmd AT!GSMS?2,0\n"
    "4.401 out \\r\\n!GSMS: 1,\"REC UNREAD\"\\r\\nMsg Body: tImEA2Thello\\r\\n\\r\\nOK\\r\\n\n"
    "4.502 cmd AT!DSMS=3,0\n"
    "4.503 close\n";
const char kNetwork[] =
    "1.489 sent COM3 5550103 5550103 1 - tImEA1Thello\n"
    "1.700 delivered COM3 5550103 5550103 1 0.211 tImEA1Thello\n"
    "3.900 sent COM3 5550103 5550103 2 - tImEA2Thello\n"
    "4.300 delivered COM3 5550103 5550103 2 0.400 tImEA2Thello\n";

TEST(RunRecordsTest, TraceFindsTheRunByItsMarker) {
  std::vector<NetworkEvent> network = parse_network_log(kNetwork);
  std::vector<TrafficEvent> traffic = parse_traffic_log(kTraffic);
  ASSERT_EQ(network.size(), 4u);
  RoundTripTrace t;
  std::string error;
  ASSERT_TRUE(trace_round_trip(network, traffic, traffic, "tImEA2T", t, error)) << error;
  EXPECT_DOUBLE_EQ(t.commandAt, 3.4);
  EXPECT_DOUBLE_EQ(t.confirmedAt, 3.9);
  EXPECT_DOUBLE_EQ(t.storedAt, 4.3);
  EXPECT_DOUBLE_EQ(t.trueDelivery, 0.4);
  EXPECT_DOUBLE_EQ(t.firstPollAt, 4.0);
  EXPECT_DOUBLE_EQ(t.foundPollAt, 4.4);
  EXPECT_DOUBLE_EQ(t.deleteAt, 4.502);
  EXPECT_NEAR(t.true_confirmation(), 0.5, 1e-9);
  EXPECT_NEAR(t.confirm_lag(), 0.1, 1e-9);
  EXPECT_NEAR(t.pickup_lag(), 0.202, 1e-9);

  ASSERT_TRUE(trace_round_trip(network, traffic, traffic, "tImEA1T", t, error)) << error;
  EXPECT_DOUBLE_EQ(t.foundPollAt, 1.789);
  EXPECT_DOUBLE_EQ(t.deleteAt, 1.890);
}

TEST(RunRecordsTest, TraceNamesWhatIsMissing) {
  std::vector<NetworkEvent> network = parse_network_log(kNetwork);
  std::string traffic = kTraffic;
  struct Case {
    const char* marker;
    std::string traffic;
    const char* error;
  };
  const Case cases[] = {
      {"tImEA3T", traffic, "no send command with tImEA3T"},
      {"tImEA2T", traffic, ""},
      {"tImEA2T", traffic.substr(0, traffic.find("4.400")), "no poll answered with tImEA2T"},
      {"tImEA2T", traffic.substr(0, traffic.find("4.502")),
       "no delete after the message with tImEA2T"},
  };
  for (const Case& c : cases) {
    RoundTripTrace t;
    std::string error;
    std::vector<TrafficEvent> events = parse_traffic_log(c.traffic);
    bool ok = trace_round_trip(network, events, events, c.marker, t, error);
    EXPECT_EQ(ok, c.error[0] == '\0') << c.marker << " " << error;
    EXPECT_EQ(error, c.error);
  }
  std::vector<NetworkEvent> undelivered =
      parse_network_log("3.900 sent COM3 5550103 5550103 2 - tImEA2Thello\n");
  std::vector<TrafficEvent> events = parse_traffic_log(kTraffic);
  RoundTripTrace t;
  std::string error;
  EXPECT_FALSE(trace_round_trip(undelivered, events, events, "tImEA2T", t, error));
  EXPECT_EQ(error, "no \"sent\" and \"delivered\" records with tImEA2T");
}

// In text mode the send is the text after the prompt, the first command
// after the confirmation stands for `sendEnd`, the read of the announced
// message for `foundAt`.
TEST(RunRecordsTest, TraceOfATextModeRoundTrip) {
  const char traffic[] =
      "0.900 cmd AT+CMGL=\"ALL\"\n"
      "0.901 out \\r\\nOK\\r\\n\n"
      "1.000 cmd AT+CMGS=\"5550103\"\n"
      "1.001 out \\r\\n> \n"
      "1.002 cmd tImEB1Thello\\x1A\n"
      "1.502 out \\r\\n+CMGS: 1\\r\\n\\r\\nOK\\r\\n\n"
      "1.503 cmd AT+CPMS?\n"
      "1.504 out \\r\\n+CPMS: \"SM\",0,50,\"SM\",0,50,\"SM\",0,50\\r\\n\\r\\nOK\\r\\n\n"
      "1.505 cmd AT+CMGL=\"ALL\"\n"
      "1.506 out \\r\\nOK\\r\\n\n"
      "2.002 out \\r\\n+CMTI: \"SM\",1\\r\\n\n"
      "2.004 cmd AT+CMGR=1\n"
      "2.006 cmd AT+CMGD=1\n";
  const char network[] =
      "1.502 sent COM3 5550103 5550103 1 - tImEB1Thello\n"
      "2.002 delivered COM3 5550103 5550103 1 0.500 tImEB1Thello\n";
  std::vector<TrafficEvent> events = parse_traffic_log(traffic);
  RoundTripTrace t;
  std::string error;
  ASSERT_TRUE(trace_round_trip(parse_network_log(network), events, events, "tImEB1T", t, error))
      << error;
  EXPECT_DOUBLE_EQ(t.commandAt, 1.002);
  EXPECT_DOUBLE_EQ(t.confirmedAt, 1.502);
  EXPECT_DOUBLE_EQ(t.firstPollAt, 1.503);
  EXPECT_DOUBLE_EQ(t.deleteAt, 2.004);
  EXPECT_NEAR(t.true_confirmation(), 0.5, 1e-9);
  EXPECT_NEAR(t.pickup_lag(), 0.002, 1e-9);

  std::string cut = traffic;
  cut = cut.substr(0, cut.find("2.004"));
  events = parse_traffic_log(cut);
  EXPECT_FALSE(trace_round_trip(parse_network_log(network), events, events, "tImEB1T", t, error));
  EXPECT_EQ(error, "no read of the message with tImEB1T");
}

// In PDU mode the marker is inside the hex: the send is the last text entry
// before the network took the message.
TEST(RunRecordsTest, TraceOfAPduModeRoundTrip) {
  const char traffic[] =
      "0.900 cmd AT+CMGL=4\n"
      "0.901 out \\r\\nOK\\r\\n\n"
      "0.950 cmd 0011000781550501F30000AA05E8329BFD06\\x1A\n"
      "0.951 out \\r\\n+CMS ERROR: 304\\r\\n\n"
      "1.000 cmd AT+CMGS=23\n"
      "1.001 out \\r\\n> \n"
      "1.002 cmd 0011000781550501F30000AA0CF4A4B35C4ACEA0A0337B0D\\x1A\n"
      "1.502 out \\r\\n+CMGS: 1\\r\\n\\r\\nOK\\r\\n\n"
      "1.503 cmd AT+CPMS?\n"
      "2.002 out \\r\\n+CMTI: \"SM\",1\\r\\n\n"
      "2.004 cmd AT+CMGR=1\n"
      "2.006 cmd AT+CMGD=1\n"
      "3.000 cmd 0011000781550501F30000AA05E8329BFD06\\x1A\n";
  const char network[] =
      "1.502 sent COM3 5550103 5550103 1 - tImEB1Thello\n"
      "2.002 delivered COM3 5550103 5550103 1 0.500 tImEB1Thello\n";
  std::vector<TrafficEvent> events = parse_traffic_log(traffic);
  RoundTripTrace t;
  std::string error;
  ASSERT_TRUE(trace_round_trip(parse_network_log(network), events, events, "tImEB1T", t, error))
      << error;
  EXPECT_DOUBLE_EQ(t.commandAt, 1.002);
  EXPECT_DOUBLE_EQ(t.firstPollAt, 1.503);
  EXPECT_DOUBLE_EQ(t.deleteAt, 2.004);
  EXPECT_NEAR(t.true_confirmation(), 0.5, 1e-9);

  // Without a "sent" record there is nothing to place the send by.
  EXPECT_FALSE(trace_round_trip(
      parse_network_log("2.002 delivered COM3 5550103 5550103 1 0.500 tImEB1Thello\n"), events,
      events, "tImEB1T", t, error));
}

// A three-part message: the marker is in the first part only; the other
// parts are the port's next sends, found again at delivery by sender and
// reference, whatever order the network delivered them in.
TEST(RunRecordsTest, TraceOfAMessageInParts) {
  const char traffic[] =
      "1.000 cmd AT+CMGS=159\n"
      "1.002 cmd 0051000781550501F3000000A0050003070301\\x1A\n"
      "1.302 out \\r\\n+CMGS: 4\\r\\n\\r\\nOK\\r\\n\n"
      "1.310 cmd 0051000781550501F3000000A0050003070302\\x1A\n"
      "1.610 out \\r\\n+CMGS: 5\\r\\n\\r\\nOK\\r\\n\n"
      "1.620 cmd 0051000781550501F3000000A0050003070303\\x1A\n"
      "1.920 out \\r\\n+CMGS: 6\\r\\n\\r\\nOK\\r\\n\n"
      "2.421 cmd AT+CMGR=3\n";
  const char network[] =
      "1.302 sent COM3 5550103 5550103 4 - tImEC1Taaaa\n"
      "1.400 sent COM4 5550104 5550104 4 - tImEZ9Tother\n"
      "1.610 sent COM3 5550103 5550103 5 - aaaa\n"
      "1.802 delivered COM3 5550103 5550103 4 0.500 tImEC1Taaaa\n"
      "1.900 delivered COM4 5550104 5550104 4 0.500 tImEZ9Tother\n"
      "1.920 sent COM3 5550103 5550103 6 - aaa\n"
      "2.110 delivered COM3 5550103 5550103 5 0.500 aaaa\n"
      "2.420 delivered COM3 5550103 5550103 6 0.500 aaa\n";
  std::vector<TrafficEvent> events = parse_traffic_log(traffic);
  RoundTripTrace t;
  std::string error;
  ASSERT_TRUE(trace_round_trip(parse_network_log(network), events, events, "tImEC1T", t, error, 3))
      << error;
  EXPECT_DOUBLE_EQ(t.commandAt, 1.002);
  EXPECT_DOUBLE_EQ(t.confirmedAt, 1.920);
  EXPECT_DOUBLE_EQ(t.storedAt, 2.420);
  EXPECT_NEAR(t.trueDelivery, 0.5, 1e-9);
  EXPECT_NEAR(t.true_confirmation(), 0.918, 1e-9);
  EXPECT_DOUBLE_EQ(t.deleteAt, 2.421);

  // Traced as one part, the first part is the whole message.
  ASSERT_TRUE(trace_round_trip(parse_network_log(network), events, events, "tImEC1T", t, error))
      << error;
  EXPECT_DOUBLE_EQ(t.confirmedAt, 1.302);

  // A part that never arrived leaves the message untraced.
  std::string lost = network;
  lost.erase(lost.find("2.110 delivered"),
             std::string("2.110 delivered COM3 5550103 5550103 5 0.500 aaaa\n").size());
  EXPECT_FALSE(trace_round_trip(parse_network_log(lost), events, events, "tImEC1T", t, error, 3));
  EXPECT_NE(error.find("3 parts"), std::string::npos) << error;
  // Nor does a fourth part that was never sent.
  EXPECT_FALSE(
      trace_round_trip(parse_network_log(network), events, events, "tImEC1T", t, error, 4));
}

TEST(RunRecordsTest, ResultLines) {
  struct Case {
    const char* line;
    bool ok;
  };
  const Case cases[] = {
      {"SMS_TEST,1,T1,20240101,45N73W,0,0.501626,1.107679,-Infinity,2.224327,100,100", true},
      {"SMS_TEST,1,T1,42,x,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0", true},
      {"SMS_TEST,1,T1,42,x,0,-0.000100,1.000000,-Infinity,2.000000,97,100", true},
      // Two lines run together, a line cut short, a torn number.
      {"SMS_TEST,1,T1,42,x,0,0.5,1.1,-Infinity,2.2,100,100SMS_TEST,1,T2", false},
      {"SMS_TEST,1,T1,42,x,0,0.501626,1.107679,-Infinity,2.22", false},
      {"SMS_TEST,1,T1,42,x,0,0.501626,1.10SMS_TEST,-Infinity,2.224327,100,100", false},
      {"SMS_TEST,1,T1,42,x,0,0.5016,1.107679,-Infinity,2.224327,100,100", false},
      {"SMS_TEST,1,T1,42,x,1,0.501626,1.107679,-Infinity,2.224327,100,100", false},
      {"SMS_TEXT,1,T1,42,x,0,0.501626,1.107679,-Infinity,2.224327,100,100", false},
      // Columns after the pass figure are read past; other record types and
      // a comma in testName are no result line of the run.
      {"SMS_TEST,1,T1,42,x,0,0.501626,1.107679,-Infinity,2.224327,100,100,7,x", true},
      {"SMS_TEST,1,T1,42,x,0,0.501626,1.107679,-Infinity,2.224327,100,100\r", true},
      {"SMS_TEST,2,T1,42,x,0,0.501626,1.107679,-Infinity,2.224327,100,100", false},
      {"SMS_TEST,1,T,1,42,x,0,0.501626,1.107679,-Infinity,2.224327,100,100", false},
  };
  for (const Case& c : cases) {
    ResultTimes r;
    EXPECT_EQ(parse_result_line(c.line, r), c.ok) << c.line;
  }
  ResultTimes r;
  ASSERT_TRUE(parse_result_line(cases[0].line, r));
  EXPECT_EQ(r.name, "T1");
  EXPECT_EQ(r.dataTime, "20240101");
  EXPECT_EQ(r.status, 0);
  EXPECT_DOUBLE_EQ(r.sendTime, 0.501626);
  EXPECT_DOUBLE_EQ(r.deliveryTime, 1.107679);
  EXPECT_DOUBLE_EQ(r.totalTime, 2.224327);
  EXPECT_EQ(r.accuracy, "100");
  ASSERT_TRUE(parse_result_line(cases[1].line, r));
  EXPECT_TRUE(std::isnan(r.sendTime));
}

TEST(RunRecordsTest, ResultFileCountsBrokenLines) {
  const std::string good = "SMS_TEST,1,T1,1,x,0,0.100000,1.000000,-Infinity,2.000000,100,100\n";
  EXPECT_EQ(parse_result_file("").lines.size(), 0u);
  EXPECT_EQ(parse_result_file("").broken, 0);
  ResultFile f = parse_result_file(good + good + "garbage\n" + good.substr(0, 20));
  EXPECT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.broken, 2);  // the garbage line and the last line without its end
  f = parse_result_file(good + "\n");
  EXPECT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(f.broken, 1);  // an empty line is not a result line
  // Lines of other record types are neither result lines nor broken; extra
  // columns do not break a line.
  f = parse_result_file(good +
                        "SMS_TEST,2,T1,1,x,0,9.000000,9.000000,-Infinity,9.000000,100,100\n" +
                        "SMS_TEST,3,1\n" + good.substr(0, good.size() - 1) + ",17\n");
  EXPECT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.broken, 0);
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_DOUBLE_EQ(f.lines[1].deliveryTime, 1.0);
}

TEST(RunRecordsTest, Summaries) {
  Summary s = summarize({4, 1, 3, 2});
  EXPECT_EQ(s.count, 4u);
  EXPECT_DOUBLE_EQ(s.mean, 2.5);
  EXPECT_DOUBLE_EQ(s.median, 2.5);
  EXPECT_DOUBLE_EQ(s.p95, 3.85);
  EXPECT_DOUBLE_EQ(s.min, 1);
  EXPECT_DOUBLE_EQ(s.max, 4);

  s = summarize({-0.1, NAN, 0.3, 0.1});  // NaN left out
  EXPECT_EQ(s.count, 3u);
  EXPECT_DOUBLE_EQ(s.median, 0.1);
  EXPECT_NEAR(s.mean, 0.1, 1e-12);
  EXPECT_DOUBLE_EQ(s.min, -0.1);

  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) hundred.push_back(i);
  s = summarize(hundred);
  EXPECT_DOUBLE_EQ(s.median, 50.5);
  EXPECT_DOUBLE_EQ(s.p95, 95.05);

  s = summarize({NAN});
  EXPECT_EQ(s.count, 0u);
  EXPECT_TRUE(std::isnan(s.mean));
  EXPECT_TRUE(std::isnan(s.max));
  EXPECT_DOUBLE_EQ(summarize({7}).p95, 7);
}

// Two modems on one simulator, each sending one message with a report
// asked for (taken from a real run and extended): the second has a
// temporary report before its final one, and its lines wait behind an
// answer under way.
const char kReportNetwork[] =
    "0.076 sent COM10 5550010 5550010 1 - tImEQ0R0Tbenchmark\n"
    "0.080 sent COM11 5550011 5550011 1 - tImEQ0R1Tbenchmark\n"
    "0.577 delivered COM10 5550010 5550010 1 0.501 tImEQ0R0Tbenchmark\n"
    "0.581 delivered COM11 5550011 5550011 1 0.501 tImEQ0R1Tbenchmark\n"
    "0.778 report COM10 - 5550010 1 - status=0\n"
    "0.782 report COM11 - 5550011 1 - status=32\n"
    "0.982 report COM11 - 5550011 1 - status=70\n";
const char kReportTraffic10[] =
    "0.076 cmd tImEQ0R0Tbenchmark\\x1A\n"
    "0.077 out \\r\\n+CMGS: 1\\r\\n\\r\\nOK\\r\\n\n"
    "0.577 out \\r\\n+CMTI: \"SM\",1\\r\\n\n"
    "0.778 out \\r\\n+CDS: 6,1,\"5550010\",129,\"26/12/09,16:41:30+00\","
    "\"26/12/09,16:41:31+00\",0\\r\\n\n";
const char kReportTraffic11[] =
    "0.080 cmd tImEQ0R1Tbenchmark\\x1A\n"
    "0.783 out \\r\\n+CDSI: \"SR\",1\\r\\n\n"
    "0.982 cmd AT+CMGL=4\n"
    "0.985 out \\r\\n+CMGL: 1,\"REC UNREAD\"\\r\\n\\r\\nOK\\r\\n\n"
    "0.986 out \\r\\n+CDSI: \"SR\",2\\r\\n\n";

TEST(RunRecordsTest, FinalReportTrace) {
  const std::vector<NetworkEvent> network = parse_network_log(kReportNetwork);
  ASSERT_EQ(network.size(), 7u);
  struct Case {
    const char* traffic;
    const char* marker;
    bool ok;
    double reportAt;
    double writtenAt;
    int status;
    const char* error;  // a part of the error
  };
  const Case cases[] = {
      // The other modem's report at nearly the same time is not this one's.
      {kReportTraffic10, "tImEQ0R0T", true, 0.778, 0.778, 0, ""},
      // The final report, not the temporary one; its line waited for an answer.
      {kReportTraffic11, "tImEQ0R1T", true, 0.982, 0.986, 70, ""},
      {kReportTraffic10, "tImEQ9R9T", false, 0, 0, 0, "no \"sent\" record"},
      // No line after the report record: the report's line is missing.
      {"0.076 cmd tImEQ0R0Tbenchmark\\x1A\n0.700 out \\r\\n+CDS: 6,1\\r\\n\n", "tImEQ0R0T", false,
       0, 0, 0, "no report line"},
  };
  for (const Case& c : cases) {
    ReportTrace t;
    std::string error;
    ASSERT_EQ(trace_final_report(network, parse_traffic_log(c.traffic), c.marker, t, error), c.ok)
        << c.marker << ": " << error;
    if (!c.ok) {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      continue;
    }
    EXPECT_DOUBLE_EQ(t.reportAt, c.reportAt) << c.marker;
    EXPECT_DOUBLE_EQ(t.writtenAt, c.writtenAt) << c.marker;
    EXPECT_EQ(t.status, c.status) << c.marker;
  }

  // A message whose report never came, and a report record that lost its status.
  ReportTrace t;
  std::string error;
  EXPECT_FALSE(
      trace_final_report(parse_network_log("0.076 sent COM10 5550010 5550010 1 - tImEQ0R0Tb\n"
                                           "0.900 report COM10 - 5550010 2 - status=0\n"
                                           "0.900 report COM12 - 5550010 1 - status=0\n"),
                         parse_traffic_log(kReportTraffic10), "tImEQ0R0T", t, error));
  EXPECT_NE(error.find("no \"report\" record for reference 1"), std::string::npos) << error;
  EXPECT_FALSE(
      trace_final_report(parse_network_log("0.076 sent COM10 5550010 5550010 1 - tImEQ0R0Tb\n"
                                           "0.700 report COM10 - 5550010 1 - status=\n"),
                         parse_traffic_log(kReportTraffic10), "tImEQ0R0T", t, error));
  EXPECT_NE(error.find("without its status"), std::string::npos) << error;
}

TEST(RunRecordsTest, RecordReports) {
  struct Case {
    const char* line;
    bool ok;
    bool received;
    double confirmTime;  // NaN for none
    int status;
    const char* reportClass;
  };
  const Case cases[] = {
      {R"({"testName":"Q0","dataTime":"Q0R0","reportRequested":true,)"
       R"("reportReceived":"2026-12-09T16:41:31.100000Z","confirmTime":0.703502,)"
       R"("reportStatus":0,"reportClass":"delivered","sendTime":0.001})",
       true, true, 0.703502, 0, "delivered"},
      {R"({"testName":"Q0","dataTime":"Q0R1","reportRequested":true,"reportReceived":null,)"
       R"("confirmTime":null,"reportStatus":null,"reportClass":"missing"})",
       true, false, NAN, -1, "missing"},
      // A run without report=1 has none of the report's fields.
      {R"({"testName":"T","dataTime":"D","exitCode":0})", true, false, NAN, -1, ""},
      {R"({"testName":"T","dataTime":"D","confirmTime":"0.7"})", false, false, NAN, -1, ""},
      {R"({"testName":"T","dataTime":"D","reportStatus":0.5})", false, false, NAN, -1, ""},
      {R"({"testName":"T","confirmTime":0.7})", false, false, NAN, -1, ""},
      {R"({"testName":"T","dataTime":"D","confirmTime":0.7)", false, false, NAN, -1, ""},
      {R"(["T","D"])", false, false, NAN, -1, ""},
      {"", false, false, NAN, -1, ""},
  };
  for (const Case& c : cases) {
    RecordReport r;
    ASSERT_EQ(parse_record_report(c.line, r), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(r.reportReceived, c.received) << c.line;
    if (std::isnan(c.confirmTime)) {
      EXPECT_TRUE(std::isnan(r.confirmTime)) << c.line;
    } else {
      EXPECT_DOUBLE_EQ(r.confirmTime, c.confirmTime) << c.line;
    }
    EXPECT_EQ(r.reportStatus, c.status) << c.line;
    EXPECT_EQ(r.reportClass, c.reportClass) << c.line;
  }
}

}  // namespace

}  // namespace smstest
