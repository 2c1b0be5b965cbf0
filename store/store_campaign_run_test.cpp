// Whole runs with a store: the real sms_campaign pushing to a PostgreSQL
// server of the test's own that goes away and comes back, against modem_sim.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "process/child_process.h"
#include "sim/sim_process.h"
#include "store/store.h"
#include "testsupport/pg_server.h"
#include "testsupport/run_process.h"

namespace smstest {
namespace {

// Polls `done` every 50 ms for up to `seconds`.
bool wait_for(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

// Lines of campaign.csv after its header.
size_t runs_in(const std::string& path) {
  size_t n = 0;
  for (const std::string& line : split(read_file(path), '\n'))
    if (!line.empty()) ++n;
  return n > 0 ? n - 1 : 0;
}

TEST(StoreCampaign, ACampaignSurvivesItsStoreGoingAwayAndCatchesUp) {
  if (!store_back_end_built("postgresql")) GTEST_SKIP() << "built without libpq";
  PgServer server;
  std::string why;
  if (!server.create(&why)) {
    if (why.rfind("initdb failed", 0) == 0) FAIL() << why;
    GTEST_SKIP() << why;
  }
  ASSERT_TRUE(server.start(&why)) << why;
  ASSERT_TRUE(server.create_database("fleet", &why)) << why;
  const std::string url = server.url("fleet");
  auto stored = [&]() {
    std::string out;
    return server.psql("fleet", "SELECT count(*) FROM runs", &out) ? std::atoi(out.c_str()) : -1;
  };

  const std::string work = make_temp_dir("store_campaign");
  const std::string ports = work + "/ports";
  SimProcess sim;
  ASSERT_TRUE(sim.start(MODEM_SIM_BINARY, {"--dir", ports, "--delay", "0.1", "--modem",
                                           "COM3=5550103", "--modem", "COM4=5550104"}))
      << sim.lastError;
  ASSERT_TRUE(write_file(work + "/a.cmd",
                         "SMS_TEST\nresults.csv\nA|20|3|5550104|hello|0|0|115200|4|115200|0\n"));
  ChildGroup campaign;
  ChildCommand command;
  command.argv = {
      SMS_CAMPAIGN_BINARY, "--dir", "out",  "--repeat", "3", "--pause", "3", "--push", url,
      "--probe",           "car-7", "a.cmd"};
  command.cwd = work;
  command.env = {"SMS_TEST_PORTS=" + ports};
  command.stdoutPath = work + "/campaign.out";
  command.stderrPath = work + "/campaign.err";
  ASSERT_TRUE(campaign.start(command));

  // Run 1 goes in as it ends; then the server goes away.
  ASSERT_TRUE(wait_for([&] { return stored() == 1; }, 60)) << read_file(work + "/campaign.err");
  ASSERT_TRUE(server.stop(&why)) << why;
  // Run 2 ends while it is away: the campaign says so and goes on.
  ASSERT_TRUE(wait_for(
      [&] {
        return runs_in(work + "/out/campaign.csv") >= 2 &&
               read_file(work + "/campaign.err").find("cannot push") != std::string::npos;
      },
      60))
      << read_file(work + "/campaign.err");
  ASSERT_TRUE(server.start(&why)) << why;

  const std::vector<ChildResult> results = campaign.wait_all(120);
  ASSERT_EQ(results.front().exitCode, 0) << read_file(work + "/campaign.err");
  EXPECT_EQ(runs_in(work + "/out/campaign.csv"), 3u);
  std::string rows;
  ASSERT_TRUE(server.psql(
      "fleet", "SELECT probe, campaign, run, \"statusText\" FROM runs ORDER BY run", &rows));
  EXPECT_EQ(rows, "car-7|out|1|SUCCESS\ncar-7|out|2|SUCCESS\ncar-7|out|3|SUCCESS");
  const std::string err = read_file(work + "/campaign.err");
  EXPECT_EQ(split(err, '\n').size(), 2u + 1) << err;
  EXPECT_EQ(err.rfind("sms_campaign: cannot push to the store: " + url + ": ", 0), 0u) << err;
  EXPECT_NE(
      err.find("\nsms_campaign: the store " + url + " is back; runs caught up from runs.jsonl\n"),
      std::string::npos)
      << err;
  const std::string out = read_file(work + "/campaign.out");
  EXPECT_NE(out.find("sms_campaign: 3 runs pushed to " + url +
                     " (probe car-7, campaign out), 0 there before\n"),
            std::string::npos)
      << out;

  // Resumed with more runs while the store is away: the new ones wait, the
  // summary says how to push them, and sms_store push does, adding nothing
  // twice.
  ASSERT_TRUE(server.stop(&why)) << why;
  ProcessResult more = run_process({SMS_CAMPAIGN_BINARY, "--dir", "out", "--repeat", "4", "--push",
                                    url, "--probe", "car-7", "a.cmd"},
                                   work, {"SMS_TEST_PORTS=" + ports}, 120);
  EXPECT_EQ(more.exitCode, 0) << more.err;
  EXPECT_NE(more.err.find("sms_campaign: runs not pushed to " + url +
                          "; push them when it is back: sms_store push --probe car-7 " + url + " " +
                          work + "/out\n"),
            std::string::npos)
      << more.err;
  ASSERT_TRUE(server.start(&why)) << why;
  ProcessResult push =
      run_process({SMS_STORE_BINARY, "push", "--probe", "car-7", url, work + "/out"}, work);
  EXPECT_EQ(push.exitCode, 0) << push.err;
  EXPECT_EQ(push.out, work + "/out: 1 runs added, 3 stored before (probe car-7, campaign out)\n");
  EXPECT_EQ(stored(), 4);
}

TEST(StoreCampaign, PushOptionsAreCheckedBeforeAnythingRuns) {
  const std::string work = make_temp_dir("store_campaign");
  ASSERT_TRUE(write_file(work + "/a.cmd",
                         "SMS_TEST\nresults.csv\nA|20|3|5550104|hello|0|0|115200|4|115200|0\n"));
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  std::vector<Case> cases = {
      {{"--push", "runs.db"},
       "sms_campaign: --push runs.db: not a store URL (sqlite:PATH or postgresql://...)\n"},
      {{"--probe", "car-7"}, "sms_campaign: --probe needs --push\n"},
  };
  for (const char* kind : {"sqlite", "postgresql"}) {
    if (store_back_end_built(kind)) continue;
    const bool sqlite = std::string(kind) == "sqlite";
    const std::string url = sqlite ? "sqlite:runs.db" : "postgresql://ann:secret@db/sms";
    cases.push_back({{"--push", url},
                     "sms_campaign: --push " + display_url(url) + ": the " + kind +
                         " store is not available in this build (built without " +
                         (sqlite ? "libsqlite3" : "libpq") + ")\n"});
  }
  for (const Case& c : cases) {
    std::vector<std::string> argv = {SMS_CAMPAIGN_BINARY, "--dir", "out", "--repeat", "1"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back("a.cmd");
    const ProcessResult r = run_process(argv, work);
    EXPECT_EQ(r.exitCode, 2) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_FALSE(file_exists(work + "/out")) << c.err;
  }
}

}  // namespace
}  // namespace smstest
