#include "tools/report/campaign_file.h"

#include <gtest/gtest.h>

#include "tools/report/csv_reader.h"
#include "tools/report/report_test_support.h"

namespace smstest {
namespace {

std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  EXPECT_TRUE(split_csv_record(line, &fields)) << line;
  return fields;
}

TEST(CampaignFile, ReadsARowByItsHeader) {
  CampaignColumns columns;
  ASSERT_TRUE(columns.read_header(fields_of(kCampaignHeader))) << columns.lastError;
  EXPECT_EQ(columns.width(), 14u);
  EXPECT_FALSE(columns.has_lat_long());
  RunRecord run;
  ASSERT_TRUE(columns.parse_row(
      fields_of("7,pair1.cmd,T1,2026-12-08T10:15:00Z,2026-12-08T10:15:12Z,2,2,"
                "\"Cannot send SMS, \"\"ERROR\"\"\",-Infinity,-Infinity,-Infinity,"
                "12.500000,-Infinity,round-trip"),
      &run));
  EXPECT_TRUE(run.fromCampaign);
  EXPECT_EQ(run.run, "7");
  EXPECT_EQ(run.cmdFile, "pair1.cmd");
  EXPECT_TRUE(run.hasCmdFile);
  EXPECT_EQ(run.testName, "T1");
  EXPECT_FALSE(run.hasLatLong);
  EXPECT_TRUE(run.hasStart);
  EXPECT_DOUBLE_EQ(run.startSeconds, 1796724900);
  ASSERT_TRUE(run.hasExitCode && run.hasStatusCode);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.statusCode, 2);
  EXPECT_EQ(run.statusText, "Cannot send SMS, \"ERROR\"");
  EXPECT_FALSE(run.sendTime.taken);
  EXPECT_DOUBLE_EQ(run.totalTime.value, 12.5);
  EXPECT_EQ(run.mode, RunMode::kRoundTrip);
}

TEST(CampaignFile, FindsColumnsInAnyOrderAndUsesALatLongColumn) {
  CampaignColumns columns;
  ASSERT_TRUE(columns.read_header(fields_of(
      "mode,run,latLong,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,"
      "deliveryTime,replyTime,totalTime,accuracy,dataTime")));
  EXPECT_TRUE(columns.has_lat_long());
  RunRecord run;
  ASSERT_TRUE(columns.parse_row(
      fields_of("reflector,3,45.5N73.6W,r.cmd,R,,,,,,0.4,,2.5,,,20261208n3"), &run));
  EXPECT_EQ(run.mode, RunMode::kReflector);
  EXPECT_EQ(run.latLong, "45.5N73.6W");
  EXPECT_EQ(run.dataTime, "20261208n3");
  EXPECT_FALSE(run.hasStart);
  EXPECT_FALSE(run.hasExitCode);
  EXPECT_FALSE(run.hasStatusCode);
  // Empty measures are measures not taken.
  EXPECT_FALSE(run.deliveryTime.taken);
  EXPECT_TRUE(run.replyTime.taken);
  EXPECT_DOUBLE_EQ(run.replyTime.value, 2.5);
}

TEST(CampaignFile, NamesAMissingColumn) {
  CampaignColumns columns;
  EXPECT_FALSE(columns.read_header(fields_of("run,cmdFile,testName,mode")));
  EXPECT_EQ(columns.lastError, "no column start");
  EXPECT_TRUE(is_campaign_header(fields_of("run,cmdFile,testName,mode")));
  EXPECT_FALSE(is_campaign_header(fields_of("SMS_TEST,1,T1,d,-,0,1,2,-Infinity,3,100,100")));
}

TEST(CampaignFile, RefusesRowsItCantRead) {
  CampaignColumns columns;
  ASSERT_TRUE(columns.read_header(fields_of(kCampaignHeader)));
  const char* const bad[] = {
      "1,a.cmd,T1,,,0,0,SUCCESS,1.0,2.0,-Infinity,3.0,100",               // 13 columns
      "1,a.cmd,T1,,,0,0,SUCCESS,1.0,2.0,-Infinity,3.0,100,round-trip,x",  // 15
      "1,a.cmd,T1,,,0,0,SUCCESS,1.0,2.0,-Infinity,3.0,100,roundtrip",     // mode
      "1,a.cmd,T1,,,0,0,SUCCESS,1.0,2.0,-Infinity,3.0,100,",              // no mode
      "1,a.cmd,T1,,,0,0,SUCCESS,fast,2.0,-Infinity,3.0,100,round-trip",   // a measure
      "1,a.cmd,T1,,,0,0,SUCCESS,1.0,2.0,-Infinity,3.0,NaN,round-trip",
  };
  for (const char* line : bad) {
    RunRecord run;
    EXPECT_FALSE(columns.parse_row(fields_of(line), &run)) << line;
  }
}

TEST(CampaignFile, ReadsUtcTimes) {
  struct Case {
    const char* text;
    bool ok;
    double seconds;
  } cases[] = {
      {"1970-01-01T00:00:00Z", true, 0},
      {"2026-12-08T10:15:00Z", true, 1796724900},
      {"2026-12-08T10:15:00.250Z", true, 1796724900.25},
      {"2026-12-08T10:15:00+00:00", true, 1796724900},
      {"2026-12-08 10:15:00Z", true, 1796724900},
      {"2000-02-29T23:59:59Z", true, 951868799},
      {"2026-12-08T10:15:00", false, 0},  // no zone: not known to be UTC
      {"2026-12-08T10:15:00+01:00", false, 0},
      {"2026-13-08T10:15:00Z", false, 0},
      {"2026-12-08T10:15Z", false, 0},
      {"2026-12-08T10:15:00.Z", false, 0},
      {"", false, 0},
      {"20261208101500", false, 0},
  };
  for (const Case& c : cases) {
    double seconds = -1;
    EXPECT_EQ(read_utc_time(c.text, &seconds), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
    }
  }
}

}  // namespace
}  // namespace smstest
