#include "tools/campaign/progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace smstest {
namespace {

CampaignLine finished_line(int run, const char* statusCode, const char* statusText,
                           const char* delivery, const char* reply = "-Infinity") {
  CampaignLine l;
  l.run = run;
  l.cmdFile = "rt34.cmd";
  l.exitCode = statusCode[0] == '0' ? "0" : "2";
  l.statusCode = statusCode;
  l.statusText = statusText;
  l.deliveryTime = delivery;
  l.replyTime = reply;
  return l;
}

FileProgress file_of(const char* name, int total) {
  FileProgress f;
  f.name = name;
  f.total = total;
  return f;
}

TEST(Progress, Median) {
  struct {
    std::vector<double> values;
    double median;
  } cases[] = {
      {{1.0}, 1.0},
      {{1.0, 3.0}, 2.0},
      {{3.0, 1.0, 2.0}, 2.0},
      {{4.0, 1.0, 3.0, 2.0}, 2.5},
      {{5.0, 5.0, 1.0, 9.0, 9.0}, 5.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(median(c.values), c.median);
  EXPECT_TRUE(std::isnan(median({})));
}

TEST(Progress, ClockText) {
  struct {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "0:00"},   {-3, "0:00"},        {0.2, "0:01"},     {59.2, "1:00"},      {61, "1:01"},
      {599, "9:59"}, {3599.5, "1:00:00"}, {3725, "1:02:05"}, {90061, "25:01:01"},
  };
  for (const auto& c : cases) EXPECT_EQ(clock_text(c.seconds), c.text) << c.seconds;
}

TEST(Progress, Counting) {
  FileProgress f = file_of("rt34.cmd", 20);
  count_line(f, finished_line(1, "0", "SUCCESS", "1.500000"));
  count_line(f, finished_line(2, "2", "Accuracy not 100", "2.000000"));
  count_line(f, finished_line(3, "2", "Operation Timed out during SMS Receive.", "-Infinity"));
  count_line(f, finished_line(4, "", "no status file: SMS_TEST ended by signal 2 (SIGINT)", ""));
  count_line(f, finished_line(5, "0", "SUCCESS", "0.500000"));
  EXPECT_EQ(f.done, 5);
  EXPECT_EQ(f.succeeded, 2);
  EXPECT_EQ(f.times, (std::vector<double>{1.5, 2.0, 0.5}));

  FileProgress r = file_of("rf.cmd", 3);
  r.reflector = true;
  count_line(r, finished_line(1, "0", "SUCCESS", "-Infinity", "0.800000"));
  EXPECT_EQ(r.times, (std::vector<double>{0.8}));
}

TEST(Progress, TerminalLines) {
  FileProgress fresh = file_of("rt34.cmd", 20);
  FileProgress going = file_of("rt56.cmd", 20);
  for (int i = 0; i < 4; ++i) count_line(going, finished_line(i + 1, "0", "SUCCESS", "1.25"));
  count_line(going, finished_line(5, "2", "Cannot send SMS", "-Infinity"));
  going.doneNow = 2;  // three were made by an earlier part
  FileProgress finished = file_of("rt78.cmd", 2);
  count_line(finished, finished_line(1, "0", "SUCCESS", "1.0"));
  count_line(finished, finished_line(2, "0", "SUCCESS", "2.0"));
  FileProgress reflector = file_of("rf.cmd", 2);
  reflector.reflector = true;

  struct {
    const FileProgress* file;
    double elapsed;
    int columns;
    const char* line;
  } cases[] = {
      {&fresh, 3.0, 200, "rt34.cmd  0/20  ok 0  failed 0  median delivery -  left ?"},
      {&going, 10.0, 200, "rt56.cmd  5/20  ok 4  failed 1  median delivery 1.25 s  left 1:15"},
      {&finished, 10.0, 200, "rt78.cmd  2/2  ok 2  failed 0  median delivery 1.50 s  done"},
      {&reflector, 1.0, 200, "rf.cmd    0/2  ok 0  failed 0  median reply -  left ?"},
      {&going, 10.0, 21, "rt56.cmd  5/20  ok 4"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(progress_line(*c.file, c.elapsed, 8, c.columns), c.line) << c.line;
}

TEST(Progress, PlainLines) {
  FileProgress f = file_of("rt34.cmd", 20);
  CampaignLine ok = finished_line(12, "0", "SUCCESS", "1.502000");
  count_line(f, ok);
  EXPECT_EQ(run_line(f, ok), "rt34.cmd 1/20 (run 12): exit 0, 0 SUCCESS, delivery 1.502000 s");
  CampaignLine lost =
      finished_line(13, "2", "Operation Timed out during SMS Receive.", "-Infinity");
  count_line(f, lost);
  EXPECT_EQ(run_line(f, lost),
            "rt34.cmd 2/20 (run 13): exit 2, 2 Operation Timed out during SMS Receive.");
  CampaignLine killed = finished_line(14, "", "no status file: SMS_TEST ended by signal 2", "");
  killed.exitCode = "130";
  count_line(f, killed);
  EXPECT_EQ(run_line(f, killed),
            "rt34.cmd 3/20 (run 14): exit 130, no status file: SMS_TEST ended by signal 2");
}

TEST(Progress, Summaries) {
  FileProgress a = file_of("a.cmd", 2);
  count_line(a, finished_line(1, "0", "SUCCESS", "1.0"));
  count_line(a, finished_line(2, "0", "SUCCESS", "3.0"));
  FileProgress bb = file_of("bb.cmd", 2);
  count_line(bb, finished_line(3, "2", "Cannot send SMS", "-Infinity"));
  EXPECT_EQ(summary_text({a, bb}, 0, "out/campaign.csv"),
            "sms_campaign: 3 of 4 runs done, 2 succeeded, 1 failed; log out/campaign.csv\n"
            "  a.cmd   2/2  ok 2  failed 0  median delivery 2.00 s\n"
            "  bb.cmd  1/2  ok 0  failed 1  median delivery -\n");
  EXPECT_EQ(summary_text({a, bb}, 15, "out/campaign.csv"),
            "sms_campaign: interrupted by signal 15 (SIGTERM): 3 of 4 runs done, 2 succeeded, 1 "
            "failed; log out/campaign.csv\n"
            "  a.cmd   2/2  ok 2  failed 0  median delivery 2.00 s\n"
            "  bb.cmd  1/2  ok 0  failed 1  median delivery -\n"
            "sms_campaign: start it again with the same arguments to make the runs left\n");
  EXPECT_EQ(summary_text({a}, 2, "c.csv"),
            "sms_campaign: interrupted by signal 2 (SIGINT): 2 of 2 runs done, 2 succeeded, 0 "
            "failed; log c.csv\n"
            "  a.cmd  2/2  ok 2  failed 0  median delivery 2.00 s\n");
}

std::string contents(std::FILE* f) {
  std::string text;
  std::rewind(f);
  int c;
  while ((c = std::fgetc(f)) != EOF) text += static_cast<char>(c);
  return text;
}

TEST(Progress, TerminalRedrawsInPlace) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    Progress p({file_of("a.cmd", 2), file_of("bb.cmd", 1)}, true, 80, out);
    p.redraw();
    p.finished(1, finished_line(1, "0", "SUCCESS", "1.0"));
    p.close(0, "c.csv");
  }
  const std::string a0 = "\ra.cmd   0/2  ok 0  failed 0  median delivery -  left ?\x1b[K\n";
  const std::string b0 = "\rbb.cmd  0/1  ok 0  failed 0  median delivery -  left ?\x1b[K\n";
  const std::string b1 = "\rbb.cmd  1/1  ok 1  failed 0  median delivery 1.00 s  done\x1b[K\n";
  EXPECT_EQ(contents(out), a0 + b0 + "\x1b[2A" + a0 + b1 + "\x1b[2A" + a0 + b1 +
                               summary_text({file_of("a.cmd", 2),
                                             [] {
                                               FileProgress f = file_of("bb.cmd", 1);
                                               count_line(f,
                                                          finished_line(1, "0", "SUCCESS", "1.0"));
                                               return f;
                                             }()},
                                            0, "c.csv"));
  std::fclose(out);
}

TEST(Progress, PlainModeWritesOneLinePerRun) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    Progress p({file_of("a.cmd", 2)}, false, 0, out);
    p.redraw();
    p.finished(0, finished_line(4, "0", "SUCCESS", "1.0"));
    p.redraw();
    p.finished(0, finished_line(5, "2", "Cannot send SMS", "-Infinity"));
    p.close(0, "c.csv");
  }
  EXPECT_EQ(contents(out),
            "a.cmd 1/2 (run 4): exit 0, 0 SUCCESS, delivery 1.0 s\n"
            "a.cmd 2/2 (run 5): exit 2, 2 Cannot send SMS\n"
            "sms_campaign: 2 of 2 runs done, 1 succeeded, 1 failed; log c.csv\n"
            "  a.cmd  2/2  ok 1  failed 1  median delivery 1.00 s\n");
  std::fclose(out);
}

}  // namespace
}  // namespace smstest
