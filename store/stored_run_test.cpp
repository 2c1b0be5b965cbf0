#include "store/stored_run.h"

#include <gtest/gtest.h>

#include <string>

namespace smstest {
namespace {

const ColumnValue& column(const StoredRun& row, const std::string& name) {
  for (size_t i = 0; i < kStoreColumnCount; ++i)
    if (name == kStoreColumns[i].name) return row.columns[i];
  ADD_FAILURE() << "no column " << name;
  static const ColumnValue none;
  return none;
}

TEST(StoredRun, ColumnsTakeOnlyValuesOfTheirType) {
  const std::string line =
      R"({"run":7,"cmdFile":"a.txt","start":"2026-12-09T10:00:01.5Z","exitCode":0,)"
      R"("statusCode":null,"testName":"T1","mode":"round-trip","sendTime":1.25,)"
      R"("deliveryTime":"3","accuracy":100,"fromPort":"3","registeredAtSend":true,)"
      R"("reportRequested":1,"latLong":"45.5N73.6W","unknownField":{"x":1}})";
  StoredRun row;
  std::string why;
  ASSERT_TRUE(make_stored_run("pc1", "OUT", 4, line, &row, &why)) << why;
  EXPECT_EQ(row.probe, "pc1");
  EXPECT_EQ(row.campaign, "OUT");
  EXPECT_EQ(row.run, 7);
  EXPECT_EQ(row.line, 4);
  EXPECT_EQ(row.record, line);
  ASSERT_EQ(row.columns.size(), kStoreColumnCount);
  EXPECT_EQ(column(row, "cmdFile").text, "a.txt");
  EXPECT_FALSE(column(row, "exitCode").null);
  EXPECT_EQ(column(row, "exitCode").integer, 0);
  EXPECT_TRUE(column(row, "statusCode").null);
  EXPECT_DOUBLE_EQ(column(row, "sendTime").real, 1.25);
  // A text where a number belongs, a number where a boolean belongs: NULL.
  EXPECT_TRUE(column(row, "deliveryTime").null);
  EXPECT_TRUE(column(row, "fromPort").null);
  EXPECT_TRUE(column(row, "reportRequested").null);
  EXPECT_FALSE(column(row, "accuracy").null);
  EXPECT_DOUBLE_EQ(column(row, "accuracy").real, 100);
  EXPECT_EQ(column(row, "registeredAtSend").integer, 1);
  EXPECT_TRUE(column(row, "replyTime").null);  // missing
  ASSERT_TRUE(row.hasStart);
  EXPECT_DOUBLE_EQ(row.startSeconds, 1796810401.5);
  ASSERT_TRUE(row.hasPosition);
  EXPECT_DOUBLE_EQ(row.latitude, 45.5);
  EXPECT_DOUBLE_EQ(row.longitude, -73.6);
}

// The concatenated messages' fields: whole counts in the integer columns,
// the spread in the real one; other types NULL.
TEST(StoredRun, PartColumns) {
  struct Case {
    const char* line;
    const char* name;
    bool null;
    double value;
  } cases[] = {
      {R"({"run":1,"partsSent":3})", "partsSent", false, 3},
      {R"({"run":1,"partsSent":0})", "partsSent", false, 0},
      {R"({"run":1,"partsSent":2.5})", "partsSent", true, 0},
      {R"({"run":1,"partsExpected":null})", "partsExpected", true, 0},
      {R"({"run":1,"partsReceived":"2"})", "partsReceived", true, 0},
      {R"({"run":1,"concatReference":65535})", "concatReference", false, 65535},
      {R"({"run":1,"concatReferenceBits":16})", "concatReferenceBits", false, 16},
      {R"({"run":1,"partSpread":1.25})", "partSpread", false, 1.25},
      {R"({"run":1,"partSpread":2})", "partSpread", false, 2},
      {R"({"run":1,"partSpread":true})", "partSpread", true, 0},
      {R"({"run":1,"partsOutOfOrder":2})", "partsOutOfOrder", false, 2},
      {R"({"run":1,"partsDuplicated":3.0})", "partsDuplicated", true, 0},
      {R"({"run":1})", "partsDuplicated", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    StoredRun row;
    std::string why;
    ASSERT_TRUE(make_stored_run("pc1", "OUT", 1, c.line, &row, &why)) << why;
    const ColumnValue& v = column(row, c.name);
    EXPECT_EQ(v.null, c.null);
    if (!c.null) {
      EXPECT_DOUBLE_EQ(
          std::string(c.name) == "partSpread" ? v.real : static_cast<double>(v.integer), c.value);
    }
  }
}

TEST(StoredRun, StartAndPositionReadings) {
  struct Case {
    const char* line;
    bool hasStart;
    double start;
    bool hasPosition;
  };
  const Case cases[] = {
      {R"({"run":1,"runStart":"1970-01-01T00:01:00Z"})", true, 60, false},
      // The campaign's start wins over the record's.
      {R"({"run":1,"start":"1970-01-01T00:00:10Z","runStart":"1970-01-01T00:01:00Z"})", true, 10,
       false},
      {R"({"run":1,"start":"yesterday"})", false, 0, false},
      {R"({"run":1,"latLong":"-"})", false, 0, false},
      {R"({"run":1,"latLong":"91 10"})", false, 0, false},
      {R"({"run":1,"latLong":"-33.9 18.4"})", false, 0, true},
  };
  for (const Case& c : cases) {
    StoredRun row;
    std::string why;
    ASSERT_TRUE(make_stored_run("p", "c", 1, c.line, &row, &why)) << c.line;
    EXPECT_EQ(row.hasStart, c.hasStart) << c.line;
    if (c.hasStart) {
      EXPECT_DOUBLE_EQ(row.startSeconds, c.start) << c.line;
    }
    EXPECT_EQ(row.hasPosition, c.hasPosition) << c.line;
  }
}

TEST(StoredRun, LinesWithoutAKeyAreRefused) {
  const char* const lines[] = {"",
                               "[1,2]",
                               "{\"run\":",
                               R"({"testName":"x"})",
                               R"({"run":"3"})",
                               R"({"run":0})",
                               R"({"run":2.5})",
                               R"({"run":-1})"};
  for (const char* line : lines) {
    StoredRun row;
    std::string why;
    EXPECT_FALSE(make_stored_run("p", "c", 1, line, &row, &why)) << line;
    EXPECT_FALSE(why.empty()) << line;
  }
}

TEST(StoredRun, CampaignNameIsTheDirectorysLastComponent) {
  EXPECT_EQ(campaign_name_of("/data/OUT"), "OUT");
  EXPECT_EQ(campaign_name_of("/data/OUT/"), "OUT");
  EXPECT_EQ(campaign_name_of("runs/car-7/./"), "car-7");
  EXPECT_EQ(campaign_name_of("a/b/.."), "a");
  EXPECT_FALSE(campaign_name_of(".").empty());
  EXPECT_NE(campaign_name_of("."), ".");
}

}  // namespace
}  // namespace smstest
