#include "common/result_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace smstest {
namespace {

using Kind = ResultLineKind;

TEST(ResultLineWriter, WritesTheColumnsInOrder) {
  ResultValues v;
  v.testName = "T1";
  v.dataTime = "20070301";
  v.latLong = "45.5N73.6W";
  v.status = 0;
  v.sendTime = "2.312000";
  v.deliveryTime = "7.950000";
  v.totalTime = "11.020000";
  v.accuracy = "100";
  EXPECT_EQ(format_result_line(v),
            "SMS_TEST,1,T1,20070301,45.5N73.6W,0,2.312000,7.950000,-Infinity,11.020000,100,100\n");
  v.status = 2;
  v.recordType = 3;
  v.testName = "a,b";  // written as it is: the comma shifts the columns
  EXPECT_EQ(format_result_line(v),
            "SMS_TEST,3,a,b,20070301,45.5N73.6W,2,2.312000,7.950000,-Infinity,11.020000,100,0\n");
  EXPECT_EQ(format_result_line(ResultValues()),
            "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
}

// Every line the writer gives is read back to the same values.
TEST(ResultLineReader, ReadsWhatTheWriterWrites) {
  ResultValues v;
  v.testName = "N7";
  v.dataTime = "42";
  v.latLong = "-";
  v.status = 0;
  v.sendTime = "0.100000";
  v.deliveryTime = "-Infinity";
  v.replyTime = "3.000000";
  v.totalTime = "4.500000";
  v.accuracy = "0";
  const std::string text = format_result_line(v);
  ResultLine line;
  ASSERT_EQ(read_result_line(text, line), Kind::kMeasures) << text;
  EXPECT_EQ(line.recordType, 1);
  EXPECT_EQ(line.testName, v.testName);
  EXPECT_EQ(line.dataTime, v.dataTime);
  EXPECT_EQ(line.latLong, v.latLong);
  EXPECT_EQ(line.texts, "N7,42,-");
  EXPECT_EQ(line.status, "0");
  EXPECT_EQ(line.sendTime, v.sendTime);
  EXPECT_EQ(line.deliveryTime, v.deliveryTime);
  EXPECT_EQ(line.replyTime, v.replyTime);
  EXPECT_EQ(line.totalTime, v.totalTime);
  EXPECT_EQ(line.accuracy, v.accuracy);
  EXPECT_EQ(line.pass, "100");
  EXPECT_EQ(line.extra, "");
  EXPECT_EQ(line.extraColumns, 0u);
}

struct ReadCase {
  const char* name;
  std::string text;
  Kind kind;
  int recordType;
  const char* testName;  // kMeasures only
  const char* dataTime;  // kMeasures only
  const char* latLong;   // kMeasures only
  const char* texts;     // kMeasures and kShiftedTexts
  const char* sendTime;
  const char* accuracy;
  const char* extra;
  size_t extraColumns;
};

TEST(ResultLineReader, TellsTheKindsOfLinesApart) {
  const std::string line12 =
      "SMS_TEST,1,T1,d1,45.5N73.6W,0,2.312000,7.950000,-Infinity,11.0,100,100";
  const ReadCase cases[] = {
      {"twelve columns", line12, Kind::kMeasures, 1, "T1", "d1", "45.5N73.6W", "T1,d1,45.5N73.6W",
       "2.312000", "100", "", 0},
      {"LF", line12 + "\n", Kind::kMeasures, 1, "T1", "d1", "45.5N73.6W", "T1,d1,45.5N73.6W",
       "2.312000", "100", "", 0},
      {"CR LF", line12 + "\r\n", Kind::kMeasures, 1, "T1", "d1", "45.5N73.6W", "T1,d1,45.5N73.6W",
       "2.312000", "100", "", 0},
      {"CR LF, nothing measured",
       "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\r\n", Kind::kMeasures,
       1, "", "", "", ",,", "-Infinity", "-Infinity", "", 0},
      {"extra columns", line12 + ",12,x y", Kind::kMeasures, 1, "T1", "d1", "45.5N73.6W",
       "T1,d1,45.5N73.6W", "2.312000", "100", "12,x y", 2},
      {"one empty extra column", line12 + ",", Kind::kMeasures, 1, "T1", "d1", "45.5N73.6W",
       "T1,d1,45.5N73.6W", "2.312000", "100", "", 1},
      {"extra columns that look like measures", line12 + ",0,1.0,2.0,3.0,4.0,5.0,100\r\n",
       Kind::kMeasures, 1, "T1", "d1", "45.5N73.6W", "T1,d1,45.5N73.6W", "2.312000", "100",
       "0,1.0,2.0,3.0,4.0,5.0,100", 7},
      {"comma in testName", "SMS_TEST,1,a,b,d1,-,2,0.5,-Infinity,-Infinity,-Infinity,-Infinity,0",
       Kind::kShiftedTexts, 1, "", "", "", "a,b,d1,-", "0.5", "-Infinity", "", 0},
      {"comma in latLong, extra columns",
       "SMS_TEST,1,T,d1,45.5,-73.6,0,1.0,2.0,-Infinity,3.0,100,100,7", Kind::kShiftedTexts, 1, "",
       "", "", "T,d1,45.5,-73.6", "1.0", "100", "7", 1},
      {"commas in both, CR LF", "SMS_TEST,1,a,b,d1,4,5,0,1.0,2.0,-Infinity,3.0,100,100\r\n",
       Kind::kShiftedTexts, 1, "", "", "", "a,b,d1,4,5", "1.0", "100", "", 0},
      {"record type 2", "SMS_TEST,2,T1,d1,-,0,9.0,9.0,9.0,9.0,100,100", Kind::kOtherRecord, 2, "",
       "", "", "", "", "", "", 0},
      {"record type 2 of another shape", "SMS_TEST,2,d1,17", Kind::kOtherRecord, 2, "", "", "", "",
       "", "", "", 0},
      {"record type 10", "SMS_TEST,10", Kind::kOtherRecord, 10, "", "", "", "", "", "", "", 0},
      {"record type 0", "SMS_TEST,0,T1,d1,-,0,1.0,2.0,-Infinity,3.0,100,100", Kind::kOtherRecord, 0,
       "", "", "", "", "", "", "", 0},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResultLine line;
    ASSERT_EQ(read_result_line(c.text, line), c.kind);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.recordType, c.recordType);
    EXPECT_EQ(line.testName, c.testName);
    EXPECT_EQ(line.dataTime, c.dataTime);
    EXPECT_EQ(line.latLong, c.latLong);
    EXPECT_EQ(line.texts, c.texts);
    EXPECT_EQ(line.sendTime, c.sendTime);
    EXPECT_EQ(line.accuracy, c.accuracy);
    EXPECT_EQ(line.extra, c.extra);
    EXPECT_EQ(line.extraColumns, c.extraColumns);
  }
}

TEST(ResultLineReader, RefusesWhatIsNoRecord) {
  const char* const bad[] = {
      "",
      "\r\n",
      "SMS_TEST",
      "SMS_TEST,",
      "SMS_TEST,x,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,+1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,-1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1 ,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      "sms_test,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      " SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      // eleven columns
      "SMS_TEST,1,T1,d,0,1.0,2.0,-Infinity,3.0,100,100",
      // a status that is not an integer, a pass figure that does not go with it
      "SMS_TEST,1,T1,d,-,x,1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,0",
      "SMS_TEST,1,T1,d,-,2,1.0,2.0,-Infinity,3.0,100,100",
      // measures that are neither -Infinity nor a number
      "SMS_TEST,1,T1,d,-,0,,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,nan,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,inf,100",
      "SMS_TEST,1,T1,d,-,0, 1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,+1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0s,2.0,-Infinity,3.0,100,100",
      // a line cut short with another one run into it
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100SMS_TEST,1,T2,e,-,0,1.0",
  };
  for (const char* text : bad) {
    ResultLine line;
    EXPECT_EQ(read_result_line(text, line), Kind::kNotResultLine) << text;
    EXPECT_EQ(line.kind, Kind::kNotResultLine) << text;
  }
}

// A line cut short and the whole line run into it read as a record whose
// texts hold commas: never as clean measures, and with the measures of the
// whole line.
TEST(ResultLineReader, LinesRunTogetherAreNoCleanRecord) {
  const char* const glued[] = {
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-InfinSMS_TEST,1,T2,e,-,0,4.0,5.0,-Infinity,6.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100SMS_TEST,1,T2,e,-,0,4.0,5.0,-Infinity,6.0,"
      "100,100",
  };
  for (const char* text : glued) {
    ResultLine line;
    EXPECT_EQ(read_result_line(text, line), Kind::kShiftedTexts) << text;
    EXPECT_EQ(line.sendTime, "4.0") << text;
    EXPECT_TRUE(carries_data_time(line, "e")) << text;
  }
}

TEST(ResultLineReader, FindsTheDataTimeWhereverTheCommasPutIt) {
  struct Case {
    const char* text;
    const char* dataTime;
    bool carries;
  } cases[] = {
      {"SMS_TEST,1,T1,42,-,0,1.0,2.0,-Infinity,3.0,100,100", "42", true},
      {"SMS_TEST,1,T1,42,-,0,1.0,2.0,-Infinity,3.0,100,100,42", "4", false},
      // only the dataTime column counts, not testName or latLong
      {"SMS_TEST,1,42,43,42,0,1.0,2.0,-Infinity,3.0,100,100", "42", false},
      {"SMS_TEST,1,a,b,42,-,0,1.0,2.0,-Infinity,3.0,100,100", "42", true},
      {"SMS_TEST,1,a,42,45.5,-73.6,0,1.0,2.0,-Infinity,3.0,100,100", "42", true},
      {"SMS_TEST,1,42,b,c,-,0,1.0,2.0,-Infinity,3.0,100,100", "42", false},
      {"SMS_TEST,1,a,b,c,42,0,1.0,2.0,-Infinity,3.0,100,100", "42", false},
      {"SMS_TEST,2,T1,42,-,0,1.0,2.0,-Infinity,3.0,100,100", "42", false},
      {"SMS_TEST,1,T1,42,-,0,1.0,2.0,-Infinity", "42", false},
  };
  for (const Case& c : cases) {
    ResultLine line;
    read_result_line(c.text, line);
    EXPECT_EQ(carries_data_time(line, c.dataTime), c.carries) << c.text;
  }
}

TEST(ResultLineReader, ColumnsAsTheyStand) {
  using Columns = std::vector<std::string>;
  EXPECT_EQ(result_columns("SMS_TEST,1,T1,42,-,0,1.0,2.0,-Infinity,3.0,100,100\r\n"),
            (Columns{"SMS_TEST", "1", "T1", "42", "-", "0", "1.0", "2.0", "-Infinity", "3.0", "100",
                     "100"}));
  EXPECT_EQ(result_columns("SMS_TEST,2,,x\n"), (Columns{"SMS_TEST", "2", "", "x"}));
  EXPECT_EQ(result_columns(""), (Columns{""}));
  EXPECT_EQ(result_columns("SMS_TEST")[result_column::kTag], "SMS_TEST");
}

TEST(ResultLineReader, MeasuresAreMinusInfinityOrFiniteNumbers) {
  for (const char* good : {"-Infinity", "0", "100", "2.312000", "-0.500000", "1e3"})
    EXPECT_TRUE(is_result_measure(good)) << good;
  for (const char* bad :
       {"", "-", "Infinity", "-infinity", "inf", "nan", "1e999", "+1", " 1", "1 ", "1,0", "0x10"})
    EXPECT_FALSE(is_result_measure(bad)) << bad;
}

}  // namespace
}  // namespace smstest
