// The concatenated messages in the report: which runs count, the figures
// per message and per part from tables of hand-made records, the campaign
// rows' part columns, and the section in each output (absent when no
// message went in parts).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "common/text.h"
#include "testsupport/run_process.h"
#include "tools/report/campaign_file.h"
#include "tools/report/csv_reader.h"
#include "tools/report/kpi.h"
#include "tools/report/record_line.h"
#include "tools/report/report_test_support.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

// A round trip of one message that went well, with `changes` over it.
Json single(const Json& changes = Json::object()) {
  Json r = {{"mode", "round-trip"},
            {"testName", "T"},
            {"statusCode", 0},
            {"statusText", "SUCCESS"},
            {"failurePhase", nullptr},
            {"sendTime", 2.0},
            {"deliveryTime", 6.0},
            {"accuracy", 100},
            {"sendConfirmed", "2026-12-09T10:15:02.000000Z"},
            {"partsSent", 1},
            {"partsExpected", nullptr},
            {"partsReceived", nullptr},
            {"concatReference", nullptr},
            {"parts", nullptr},
            {"partSpread", nullptr},
            {"partsOutOfOrder", nullptr},
            {"partsDuplicated", nullptr}};
  r.update(changes);
  return r;
}

// A message of `count` parts that all came, with `changes` over it.
Json whole(int count, const Json& changes = Json::object()) {
  Json r = single({{"partsSent", count},
                   {"partsExpected", count},
                   {"partsReceived", count},
                   {"concatReference", 17},
                   {"concatReferenceBits", 8},
                   {"partSpread", 1.0},
                   {"partsOutOfOrder", 0},
                   {"partsDuplicated", 0}});
  r.update(changes);
  return r;
}

// The failure text of a message still missing parts at the deadline.
std::string format_incomplete(int received, int expected) {
  return format("Incomplete message: %d of %d parts\n", received, expected);
}

// The message still missing parts at the deadline.
Json incomplete(int sent, int received, const Json& changes = Json::object()) {
  Json r = whole(sent, {{"partsReceived", received},
                        {"failurePhase", "receive"},
                        {"statusCode", 2},
                        {"statusText", format_incomplete(received, sent)},
                        {"deliveryTime", nullptr},
                        {"accuracy", nullptr}});
  r.update(changes);
  return r;
}

// The first part's send was refused.
Json not_sent(int sent, const Json& changes = Json::object()) {
  Json r = whole(3, {{"partsSent", sent},
                     {"partsExpected", nullptr},
                     {"partsReceived", nullptr},
                     {"partSpread", nullptr},
                     {"failurePhase", "send"},
                     {"statusCode", 2},
                     {"statusText", "Cannot send SMS"},
                     {"sendTime", nullptr},
                     {"sendConfirmed", nullptr},
                     {"deliveryTime", nullptr},
                     {"accuracy", nullptr}});
  r.update(changes);
  return r;
}

RunRecord parsed(const Json& record) {
  RunRecord run;
  EXPECT_TRUE(parse_record_line(record.dump(), &run)) << record.dump();
  return run;
}

GroupReport all_of(const std::vector<Json>& records) {
  ReportBuilder builder(GroupBy::kTestName, false);
  for (const Json& r : records) builder.add(parsed(r));
  return builder.finish().all;
}

TEST(ConcatenatedKpi, WhichRunsWentInParts) {
  struct Case {
    const char* what;
    Json record;
    bool concatenated;
  } cases[] = {
      {"one message", single(), false},
      {"a record made before the part fields",
       Json{{"mode", "round-trip"}, {"sendTime", 1.0}, {"deliveryTime", 2.0}}, false},
      {"three parts sent", whole(3), true},
      {"the receiver read two parts from the header",
       single({{"partsSent", nullptr}, {"partsExpected", 2}}), true},
      {"the first part refused, a reference taken", not_sent(0), true},
      {"a count that is no count", single({{"partsSent", 2.5}, {"partsExpected", "3"}}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(parsed(c.record).concatenated(), c.concatenated);
  }
}

// A message short of parts is a completion failure, whatever phase or
// measures its record has: the network took it.
TEST(ConcatenatedKpi, AnIncompleteMessageIsACompletionFailure) {
  struct Case {
    const char* what;
    Json record;
    Outcome outcome;
  } cases[] = {
      {"failed at receive", incomplete(3, 2), Outcome::kCompletionFailure},
      {"without a phase", incomplete(3, 1, {{"failurePhase", nullptr}}),
       Outcome::kCompletionFailure},
      {"named a setup failure", incomplete(3, 2, {{"failurePhase", "setup"}}),
       Outcome::kCompletionFailure},
      {"with a delivery time of the parts that came",
       incomplete(4, 3, {{"deliveryTime", 9.5}, {"accuracy", 100}}), Outcome::kCompletionFailure},
      {"the same text from a reflector",
       incomplete(3, 2, {{"mode", "reflector"}, {"replyTime", nullptr}}), Outcome::kNoReply},
      {"every part came", whole(3), Outcome::kCompleted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(outcome_name(classify(parsed(c.record))), std::string(outcome_name(c.outcome)));
  }
}

TEST(ConcatenatedKpi, FiguresPerMessageAndPerPart) {
  struct Expected {
    long long attempts, accessFailures, complete, incomplete;
    long long sent, received, lost, duplicated, outOfOrder;
    size_t deliveries, spreads;
  };
  struct Case {
    const char* what;
    std::vector<Json> records;
    Expected e;
  } cases[] = {
      {"three parts in order",
       {whole(3, {{"partSpread", 1.5}})},
       {1, 0, 1, 0, 3, 3, 0, 0, 0, 1, 1}},
      {"reordered: parts 3 and 2 after 1... found 3, 1, 2",
       {whole(3, {{"partsOutOfOrder", 2}, {"partSpread", 4.0}})},
       {1, 0, 1, 0, 3, 3, 0, 0, 2, 1, 1}},
      {"a part lost", {incomplete(3, 2)}, {1, 0, 0, 1, 3, 2, 1, 0, 0, 0, 0}},
      {"no part came at all",
       {incomplete(2, 0, {{"partsExpected", nullptr}, {"partsReceived", nullptr}})},
       {1, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0}},
      {"a part duplicated",
       {whole(2, {{"partsDuplicated", 1}})},
       {1, 0, 1, 0, 2, 2, 0, 1, 0, 1, 1}},
      {"a whole message with a corrupted text",
       {whole(2, {{"accuracy", 97.5}, {"statusCode", 2}})},
       {1, 0, 0, 1, 2, 2, 0, 0, 0, 0, 0}},
      {"none concatenated",
       {single(), single({{"deliveryTime", nullptr}}), single({{"partsSent", 0}})},
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // Parts of a message not sent whole are no part figures.
      {"not sent whole", {not_sent(0), not_sent(1)}, {2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"runs outside the KPIs",
       {whole(3, {{"failurePhase", "setup"}, {"sendTime", nullptr}}),
        whole(3, {{"registeredAtSend", false}})},
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"all of them with single messages between",
       {whole(3), single(), whole(3, {{"partsOutOfOrder", 2}}), incomplete(3, 2), single(),
        whole(2, {{"partsDuplicated", 1}}), not_sent(1),
        incomplete(4, 1, {{"partsDuplicated", 2}})},
       {6, 1, 3, 2, 15, 11, 4, 3, 2, 3, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const GroupReport g = all_of(c.records);
    const ConcatKpis& k = g.concatenated;
    EXPECT_EQ(k.attempts, c.e.attempts);
    EXPECT_EQ(k.accessFailures, c.e.accessFailures);
    EXPECT_EQ(k.complete, c.e.complete);
    EXPECT_EQ(k.incomplete, c.e.incomplete);
    EXPECT_EQ(k.partsSent, c.e.sent);
    EXPECT_EQ(k.partsReceived, c.e.received);
    EXPECT_EQ(k.partsLost, c.e.lost);
    EXPECT_EQ(k.partsDuplicated, c.e.duplicated);
    EXPECT_EQ(k.partsOutOfOrder, c.e.outOfOrder);
    EXPECT_EQ(k.deliveryTime.n, c.e.deliveries);
    EXPECT_EQ(k.partSpread.n, c.e.spreads);
    EXPECT_EQ(k.incompleteRatio.trials, c.e.attempts - c.e.accessFailures);
    EXPECT_EQ(k.incompleteRatio.successes, c.e.incomplete);
    EXPECT_EQ(k.partLossRatio.trials, c.e.sent);
    EXPECT_EQ(k.partLossRatio.successes, c.e.lost);
    // The message-level counts are also the round trips' own.
    EXPECT_LE(k.complete, g.roundTrips.completed);
    EXPECT_LE(k.incomplete, g.roundTrips.completionFailures);
  }
}

TEST(ConcatenatedKpi, DeliveryAndSpreadOfTheCompleteMessagesOnly) {
  std::vector<Json> records;
  // Ten complete messages: delivery 1..10 s, spread 0.1..1.0 s; single
  // messages and an incomplete one with times of their own beside them.
  for (int i = 1; i <= 10; ++i) {
    records.push_back(whole(3, {{"deliveryTime", i * 1.0}, {"partSpread", i * 0.1}}));
    records.push_back(single({{"deliveryTime", 100.0 + i}}));
  }
  records.push_back(incomplete(3, 2, {{"partSpread", 50.0}}));
  const GroupReport g = all_of(records);
  const Distribution& d = g.concatenated.deliveryTime;
  ASSERT_EQ(d.n, 10u);
  EXPECT_DOUBLE_EQ(d.mean, 5.5);
  EXPECT_DOUBLE_EQ(d.min, 1.0);
  EXPECT_DOUBLE_EQ(d.median, 5.5);
  EXPECT_DOUBLE_EQ(d.p90, 9.1);
  EXPECT_DOUBLE_EQ(d.max, 10.0);
  const Distribution& s = g.concatenated.partSpread;
  ASSERT_EQ(s.n, 10u);
  EXPECT_NEAR(s.median, 0.55, 1e-12);
  EXPECT_NEAR(s.p95, 0.955, 1e-12);
  EXPECT_NEAR(s.max, 1.0, 1e-12);
  // The round trips' delivery time holds all twenty.
  EXPECT_EQ(g.roundTrips.deliveryTime.n, 20u);
}

std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  EXPECT_TRUE(split_csv_record(line, &fields)) << line;
  return fields;
}

// campaign.csv rows give partsSent and partsReceived by column name; rows
// of logs without them, or with them empty, are of single messages.
TEST(ConcatenatedKpi, CampaignRowsGiveTheirPartCounts) {
  const std::string first =
      "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,deliveryTime,"
      "replyTime,totalTime,accuracy,mode";
  const std::string row = "1,a.cmd,A,s,e,0,0,\"SUCCESS\",1,2,-Infinity,3,100,round-trip";
  struct Case {
    const char* what;
    std::string header;
    std::string row;
    bool sent, received;
    int partsSent, partsReceived;
  } cases[] = {
      {"14 columns", first, row, false, false, 0, 0},
      {"20 columns",
       first + ",confirmTime,reportStatus,technology,operator,registeredAtSend,signalDbm",
       row + ",,,LTE,001-01,true,-95", false, false, 0, 0},
      {"22 columns",
       first + ",confirmTime,reportStatus,technology,operator,registeredAtSend,signalDbm,partsSent,"
               "partsReceived",
       row + ",,,LTE,001-01,true,-95,3,2", true, true, 3, 2},
      {"empty counts", first + ",partsSent,partsReceived", row + ",,", false, false, 0, 0},
      {"another order", first + ",partsReceived,partsSent", row + ",4,5", true, true, 5, 4},
      {"no counts", first + ",partsSent,partsReceived", row + ",x,-1", false, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CampaignColumns columns;
    ASSERT_TRUE(columns.read_header(fields_of(c.header))) << columns.lastError;
    RunRecord run;
    ASSERT_TRUE(columns.parse_row(fields_of(c.row), &run));
    EXPECT_EQ(run.hasPartsSent, c.sent);
    EXPECT_EQ(run.hasPartsReceived, c.received);
    if (c.sent) {
      EXPECT_EQ(run.partsSent, c.partsSent);
    }
    if (c.received) {
      EXPECT_EQ(run.partsReceived, c.partsReceived);
    }
    EXPECT_FALSE(run.hasPartsExpected);
  }
}

// An element of the page by its name, whatever its namespace.
std::string el(const char* name) { return std::string("*[local-name()='") + name + "']"; }

class ConcatenatedReport : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir("concatenated_report"); }
  ReportRun run(const std::vector<Json>& records, ReportOptions* options) {
    std::vector<std::string> lines;
    for (const Json& r : records) lines.push_back(r.dump());
    options->inputs = {write_lines(dir_, "runs.jsonl", lines)};
    options->jsonPath = dir_ + "/r.json";
    options->htmlPath = dir_ + "/r.html";
    return report_in_process(*options);
  }
  std::string dir_;
};

TEST_F(ConcatenatedReport, EveryOutputHasTheSection) {
  const std::vector<Json> records = {
      whole(3, {{"testName", "A"}, {"deliveryTime", 4.0}, {"partSpread", 0.5}}),
      whole(
          3,
          {{"testName", "A"}, {"deliveryTime", 8.0}, {"partSpread", 2.5}, {"partsOutOfOrder", 1}}),
      incomplete(3, 2, {{"testName", "B"}}),
      whole(2, {{"testName", "B"}, {"deliveryTime", 6.0}, {"partsDuplicated", 1}}),
      single({{"testName", "C"}}),
  };
  ReportOptions o;
  const ReportRun r = run(records, &o);
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const Json report = Json::parse(read_file(o.jsonPath));
  const Json& all = report["all"]["concatenated"];
  EXPECT_EQ(all["attempts"], 4);
  EXPECT_EQ(all["complete"], 3);
  EXPECT_EQ(all["incomplete"], 1);
  EXPECT_EQ(all["partsSent"], 11);
  EXPECT_EQ(all["partsReceived"], 10);
  EXPECT_EQ(all["partsLost"], 1);
  EXPECT_EQ(all["partsDuplicated"], 1);
  EXPECT_EQ(all["partsOutOfOrder"], 1);
  EXPECT_EQ(all["partLossRatio"]["events"], 1);
  EXPECT_EQ(all["partLossRatio"]["trials"], 11);
  // 1 of 4, Clopper-Pearson (R: binom.test(1, 4)): 0.6309 % to 80.5880 %.
  EXPECT_NEAR(all["incompleteRatio"]["lowPercent"].get<double>(), 0.630946, 1e-5);
  EXPECT_NEAR(all["incompleteRatio"]["highPercent"].get<double>(), 80.587955, 1e-5);
  EXPECT_EQ(all["deliveryTime"]["n"], 3);
  EXPECT_EQ(all["deliveryTime"]["median"], 6.0);
  EXPECT_EQ(all["deliveryTime"]["intervals"]["median"]["status"], "tooFewSamples");
  EXPECT_EQ(all["partSpread"]["n"], 3);
  EXPECT_EQ(all["partSpread"]["median"], 1.0);
  EXPECT_EQ(all["partSpread"]["max"], 2.5);
  // Every group has the section, C with nothing in it.
  ASSERT_EQ(report["groups"].size(), 3u);
  EXPECT_EQ(report["groups"][0]["concatenated"]["partsOutOfOrder"], 1);
  EXPECT_EQ(report["groups"][1]["concatenated"]["incomplete"], 1);
  EXPECT_EQ(report["groups"][2]["concatenated"]["attempts"], 0);
  EXPECT_TRUE(report["groups"][2]["concatenated"]["deliveryTime"].is_null());
  // The incomplete message is a completion failure of the round trips.
  EXPECT_EQ(report["all"]["roundTrips"]["completionFailures"], 1);
  EXPECT_EQ(report["all"]["testSystemFailures"], 0);

  for (const char* line :
       {"concatenated messages: 4 round trips, 0 not sent whole, 3 complete, 1 incomplete\n",
        "  incomplete ratio: 25.00 % (1 of 4; 95 % interval 0.63-80.59)\n",
        "  parts: 11 sent, 10 received, 1 lost, 1 duplicated, 1 out of order\n",
        "  part loss ratio: 9.09 % (1 of 11; ",
        "  delivery time of complete messages: n 3, mean 6.000 s, median 6.000 s (too few",
        "  part spread (first part found to last): n 3, min 0.500 s, median 1.000 s"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin\n" << r.out;
  }

  if (xmllint_path().empty()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
  EXPECT_EQ(xmllint(o.htmlPath), "");
  const std::string section = "//" + el("section") + "[" + el("h2") + "='Concatenated messages']/";
  const std::string counts = "(" + section + el("table") + ")[1]/" + el("tr");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + counts + "[1]/" + el("th") + "[10])"),
            "part loss ratio %");
  EXPECT_EQ(xmllint(o.htmlPath, "count(" + counts + ")"), "5");  // head, A, B, C, all
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + counts + "[last()]/" + el("td") + "[2])"), "4");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + counts + "[last()]/" + el("td") + "[9])"), "1");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + counts + "[last()]/" + el("td") + "[10]/text())"),
            "9.09");
  const std::string times = "(" + section + el("table") + ")[2]/" + el("tr");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + times + "[last()]/" + el("td") + "[2])"), "3");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + times + "[last()]/" + el("td") + "[3])"), "6.000");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + times + "[last()]/" + el("td") + "[11])"), "2.500");
}

TEST_F(ConcatenatedReport, AbsentWhenNoMessageWentInParts) {
  ReportOptions o;
  const ReportRun r = run({single(), single({{"deliveryTime", nullptr}}),
                           Json{{"mode", "round-trip"}, {"sendTime", 1.0}, {"deliveryTime", 2.0}}},
                          &o);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.find("concatenated messages"), std::string::npos) << r.out;
  const Json report = Json::parse(read_file(o.jsonPath));
  EXPECT_FALSE(report["all"].contains("concatenated"));
  EXPECT_FALSE(report["groups"][0].contains("concatenated"));
  EXPECT_EQ(read_file(o.htmlPath).find("Concatenated"), std::string::npos);
}

}  // namespace
}  // namespace smstest
