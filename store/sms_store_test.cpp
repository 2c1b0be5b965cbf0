// sms_store as a program: the real binary on campaign directories.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/files.h"
#include "store/store.h"
#include "store/store_contract.h"
#include "testsupport/run_process.h"

namespace smstest {
namespace {

ProcessResult sms_store(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {SMS_STORE_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_process(argv, ".");
}

TEST(SmsStore, PushingTwiceAddsNothing) {
  if (!store_back_end_built("sqlite")) GTEST_SKIP() << "built without libsqlite3";
  const std::string dir = make_temp_dir("sms_store");
  const std::string url = "sqlite:" + dir + "/runs.db";
  std::filesystem::create_directories(dir + "/a/OUT");
  std::filesystem::create_directories(dir + "/b/OUT");
  ASSERT_TRUE(write_file(dir + "/a/OUT/runs.jsonl",
                         record_line(1, "-", 1) + "\n" + record_line(2, "-", 2) + "\n"));
  // The campaign in b is still writing its third line.
  ASSERT_TRUE(write_file(
      dir + "/b/OUT/runs.jsonl",
      record_line(1, "45.5N73.6W", 1) + "\n" + "[]\n" + record_line(3, "-", 3).substr(0, 9)));

  ProcessResult r = sms_store({"push", url, dir + "/a/OUT", dir + "/b/OUT/", "--probe", "car-7"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, dir + "/a/OUT: 2 runs added, 0 stored before (probe car-7, campaign OUT)\n" +
                       dir +
                       "/b/OUT/: 0 runs added, 1 stored before (probe car-7, campaign OUT)\n");
  // Both directories are campaign OUT of probe car-7: b's run 1 is taken for
  // a's, and as its record is another, said so.
  EXPECT_EQ(r.err, "sms_store: " + dir +
                       "/b/OUT/runs.jsonl: 1 run stored before with another record under probe "
                       "car-7, campaign OUT: another campaign directory of that name? Push it "
                       "under a name of its own (rename it)\n"
                       "sms_store: " +
                       dir +
                       "/b/OUT/runs.jsonl: 1 line skipped (not run records), the first at line 2\n"
                       "sms_store: " +
                       dir +
                       "/b/OUT/runs.jsonl: the last line has no line end yet; it is left "
                       "for a later push\n");

  r = sms_store({"push", "--probe", "car-7", url, dir + "/a/OUT"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, dir + "/a/OUT: 0 runs added, 2 stored before (probe car-7, campaign OUT)\n");
  EXPECT_EQ(r.err, "");
}

TEST(SmsStore, RefusalsAndFailures) {
  const std::string dir = make_temp_dir("sms_store");
  std::filesystem::create_directories(dir + "/OUT");
  ASSERT_TRUE(write_file(dir + "/OUT/runs.jsonl", record_line(1, "-", 1) + "\n"));
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string errStart;
  };
  const Case cases[] = {
      {{"push", dir + "/runs.db", dir + "/OUT"},
       2,
       "sms_store: " + dir + "/runs.db: not a store URL (sqlite:PATH or postgresql://...)\n"},
      {{"push", "sqlite:" + dir + "/runs.db"}, 2, "OUT is required"},
      {{"push", "sqlite:x", dir + "/OUT", "--probe", ""},
       2,
       "sms_store: --probe: the probe name is empty\n"},
      {{}, 2, "A subcommand is required"},
      // The store can't be opened: the run goes on to the next directory.
      {{"push", "sqlite:" + dir + "/no/runs.db", dir + "/OUT", dir + "/OUT"},
       1,
       "sms_store: sqlite:" + dir + "/no/runs.db: "},
  };
  for (const Case& c : cases) {
    const ProcessResult r = sms_store(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.errStart), std::string::npos) << r.err;
  }
  ProcessResult r = sms_store({"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("sms_store ", 0), 0u) << r.out;
  r = sms_store({"push", "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("--probe NAME"), std::string::npos) << r.out;
}

TEST(SmsStore, AStoreNotInThisBuildIsNamed) {
  for (const char* kind : {"sqlite", "postgresql"}) {
    if (store_back_end_built(kind)) continue;
    const std::string url = std::string(kind) + (kind[0] == 's' ? ":x.db" : "://h/db");
    const ProcessResult r = sms_store({"push", url, "."});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find(std::string("the ") + kind + " store is not available in this build"),
              std::string::npos)
        << r.err;
    return;
  }
  GTEST_SKIP() << "both back ends are built";
}

}  // namespace
}  // namespace smstest
