// The campaign's side of --gps: the source's text checked before anything
// runs, and the marks of a run as runs.jsonl keeps them.
#include "tools/campaign/campaign_gps.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "testsupport/run_process.h"
#include "tools/campaign/progress.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

TEST(CampaignGps, SourcesAreCheckedBeforeAnythingRuns) {
  const std::string empty = make_temp_dir("gps_reader_dir");
  const std::string withReader = make_temp_dir("gps_reader_dir");
  ASSERT_TRUE(write_file(withReader + "/sms_gps", "#!/bin/sh\n"));
  ASSERT_EQ(system(("chmod +x " + withReader + "/sms_gps").c_str()), 0);
  struct Row {
    std::string text;
    std::string dir;
    std::string error;  // "" when accepted
    std::string reader;
  } rows[] = {
      {"gpsd", empty, "", ""},
      {"gpsd:127.0.0.1:3000", empty, "", ""},
      {"nmea:COM3,9600", withReader, "", withReader + "/sms_gps"},
      {"nmea:COM3", empty, "--gps nmea:COM3: sms_gps not found at " + empty + "/sms_gps", ""},
      {"gps", empty, "--gps: unknown GPS source \"gps\" (gpsd, gpsd:HOST:PORT or nmea:PORT[,BAUD])",
       ""},
      {"nmea:3,fast", withReader, "--gps: bad baud rate \"fast\"", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    GpsSourceAddress address;
    std::string error;
    EXPECT_EQ(check_campaign_gps(row.text, row.dir, &address, &error), row.error.empty());
    EXPECT_EQ(error, row.error);
    if (row.error.empty()) {
      EXPECT_EQ(address.readerProgram, row.reader);
    }
  }
}

TEST(CampaignGps, MarksKeepTheFixOrWhyThereIsNone) {
  GpsReading fresh;
  fresh.ok = true;
  fresh.fix.mode = FixMode::k3D;
  fresh.fix.latitude = 45.5017;
  fresh.fix.longitude = -73.5673;
  fresh.fix.time.hasTime = fresh.fix.time.hasDate = true;
  fresh.fix.time.year = 2024;
  fresh.fix.time.month = 5;
  fresh.fix.time.day = 1;
  fresh.fix.time.hour = 12;
  fresh.fix.horizontalError = 4.5;
  fresh.ageSeconds = 0.25;
  GpsReading stale = fresh;  // a position, but too old: none for the run
  stale.ok = false;
  stale.reason = "fix older than 5 s";
  stale.ageSeconds = 9.5;
  GpsReading never;
  never.reason = "gpsd not reachable: cannot connect to localhost:2947: Connection refused";

  GpsMark start = gps_mark(fresh);
  EXPECT_EQ(start.latLong, "45.501700;-73.567300");
  GpsMark end = gps_mark(stale);
  EXPECT_EQ(end.latLong, "-");
  Json record = Json::parse(gps_record_json("gpsd:localhost:2947", start, end));
  EXPECT_EQ(record["source"], "gpsd:localhost:2947");
  EXPECT_EQ(record["start"], Json::parse(R"({"latLong":"45.501700;-73.567300",
      "time":"2024-05-01T12:00:00.000Z","lat":45.5017,"lon":-73.5673,"mode":"3D",
      "horizontalError":4.5,"speed":null,"age":0.25})"));
  EXPECT_EQ(record["end"], Json::parse(R"({"latLong":"-","reason":"fix older than 5 s",
      "time":"","lat":null,"lon":null,"mode":"none","horizontalError":null,"speed":null,
      "age":9.5})"));
  Json none = Json::parse(gps_record_json("gpsd:localhost:2947", gps_mark(never), gps_mark(never)));
  EXPECT_EQ(none["start"]["reason"], never.reason);
  EXPECT_TRUE(none["start"]["age"].is_null());
}

std::string contents(std::FILE* f) {
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  return text;
}

FileProgress file_of(const char* name, int total) {
  FileProgress f;
  f.name = name;
  f.total = total;
  return f;
}

CampaignLine success(int run) {
  CampaignLine l;
  l.run = run;
  l.cmdFile = "a.cmd";
  l.exitCode = l.statusCode = "0";
  l.statusText = "SUCCESS";
  l.deliveryTime = "1.0";
  return l;
}

// The GPS state is a line under the files' lines on a terminal (redrawn
// with them, cut to the width) and the end of each plain run line.
TEST(CampaignGps, ProgressShowsTheGpsState) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    Progress p({file_of("a.cmd", 2)}, true, 30, out);
    p.redraw();
    p.set_status("gps 45.501700;-73.567300 3D");
    p.set_status("gps 45.501700;-73.567300 3D");  // unchanged: not drawn again
    p.set_status("gps: no fix");
  }
  const std::string a0 = "\ra.cmd  0/2  ok 0  failed 0  m\x1b[K\n";
  EXPECT_EQ(contents(out), a0 + "\x1b[1A" + a0 + "\rgps 45.501700;-73.567300 3D\x1b[K\n" +
                               "\x1b[2A" + a0 + "\rgps: no fix\x1b[K\n");
  std::fclose(out);

  out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    Progress p({file_of("a.cmd", 2)}, false, 0, out);
    p.finished(0, success(1));
    p.set_status("gps: fix older than 5 s");
    p.finished(0, success(2));
  }
  EXPECT_EQ(contents(out),
            "a.cmd 1/2 (run 1): exit 0, 0 SUCCESS, delivery 1.0 s\n"
            "a.cmd 2/2 (run 2): exit 0, 0 SUCCESS, delivery 1.0 s; gps: fix older than 5 s\n");
  std::fclose(out);
}

}  // namespace
}  // namespace smstest
