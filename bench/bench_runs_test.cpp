// The harness's glue: a run's own line found in a result file shared with
// other runs, its trace in the simulator's records, and one real round trip
// through modem_sim, so that a change of the record formats shows here
// rather than as an empty benchmark table.
#include "bench/bench_runs.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>

#include "sim/sim_process.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

RoundTripJob job_in(const std::string& dir) {
  RoundTripJob job;
  job.dir = dir + "/run-1";
  job.name = "S1";
  job.port = 101;
  job.number = modem_number(101);
  job.dataTime = "N8K1";
  job.resultName = "../shared/all.csv";
  return job;
}

TEST(BenchRunsTest, CollectPicksItsOwnLineAndTrace) {
  const std::string dir = make_temp_dir("bench_runs");
  RoundTripJob job = job_in(dir);
  ASSERT_TRUE(make_dirs(job.dir));
  ASSERT_TRUE(make_dirs(dir + "/shared"));
  ASSERT_TRUE(make_dirs(dir + "/ports"));
  write_file(job.dir + "/status.txt", "0 SUCCESS\n");
  // Lines of other runs around this run's line, one of them with the same
  // name from another batch.
  write_file(dir + "/shared/all.csv",
             "SMS_TEST,1,S0,N8K0,x,0,0.100000,1.000000,-Infinity,2.000000,100,100\n"
             "SMS_TEST,1,S1,N1K1,x,0,0.200000,3.000000,-Infinity,4.000000,100,100\n"
             "SMS_TEST,1,S1,N8K1,x,0,0.600000,1.250000,-Infinity,2.500000,100,100\n");
  write_file(dir + "/ports/network.log",
             "1.500 sent COM101 5550101 5550101 1 - tImEN8K1Tbenchmark\n"
             "2.600 delivered COM101 5550101 5550101 1 1.100 tImEN8K1Tbenchmark\n");
  write_file(dir + "/ports/COM101.traffic.log",
             "0.800 cmd AT!SSMS=0,5550101,5550101,\"tImEN8K1Tbenchmark\"\n"
             "1.500 out \\r\\n+CMGS: 1\\r\\n\\r\\nOK\\r\\n\n"
             "1.600 cmd AT!GSMS?2,0\n"
             "2.700 cmd AT!GSMS?2,0\n"
             "2.701 out Msg Body: tImEN8K1Tbenchmark\\r\\nOK\\r\\n\n"
             "2.800 cmd AT!DSMS=3,0\n");
  ChildResult process;
  process.exitCode = 0;
  RoundTripOutcome r = collect_round_trip(job, process, dir + "/ports");
  EXPECT_TRUE(r.succeeded());
  ASSERT_TRUE(r.hasResult);
  EXPECT_DOUBLE_EQ(r.result.deliveryTime, 1.25);
  ASSERT_TRUE(r.traced) << r.traceError;
  EXPECT_NEAR(r.delivery_error(), 0.15, 1e-9);
  EXPECT_NEAR(r.send_error(), 0.6 - 0.7, 1e-9);
  EXPECT_NEAR(r.trace.confirm_lag(), 0.1, 1e-9);
  EXPECT_NEAR(r.trace.pickup_lag(), 0.2, 1e-9);

  // Without its line or its records the run has no errors to report.
  job.dataTime = "N8K9";
  r = collect_round_trip(job, process, dir + "/ports");
  EXPECT_FALSE(r.hasResult);
  EXPECT_FALSE(r.traced);
  EXPECT_TRUE(std::isnan(r.delivery_error()));
  process.exitCode = 2;
  EXPECT_FALSE(collect_round_trip(job, process, dir + "/ports").succeeded());
}

TEST(BenchRunsTest, OneRealRoundTrip) {
  const std::string dir = make_temp_dir("bench_runs");
  const std::string ports = dir + "/ports";
  SimProcess sim;
  ASSERT_TRUE(sim.start(MODEM_SIM_BINARY,
                        {"--dir", ports, "--modem", "COM7=" + modem_number(7) + ",delay=0.2"}))
      << sim.lastError;
  RoundTripJob job;
  job.dir = dir + "/a/b";
  job.name = "B";
  job.port = 7;
  job.number = modem_number(7);
  job.dataTime = "ONE";
  job.resultName = "results.csv";
  std::vector<RoundTripOutcome> outcomes;
  std::string error;
  ASSERT_TRUE(run_round_trips(SMS_TEST_BINARY, ports, {job}, 30, outcomes, error)) << error;
  ASSERT_EQ(outcomes.size(), 1u);
  const RoundTripOutcome& r = outcomes[0];
  EXPECT_TRUE(r.succeeded()) << r.status << read_file(job.dir + "/stderr.txt");
  ASSERT_TRUE(r.hasResult);
  ASSERT_TRUE(r.traced) << r.traceError;
  // The simulator records the delay it measured: never short of the
  // configured one, later by however long its loop was busy.
  EXPECT_GE(r.trace.trueDelivery, 0.2);
  EXPECT_LT(r.trace.trueDelivery, 1.0);
  EXPECT_LT(r.trace.commandAt, r.trace.confirmedAt + 1e-9);
  EXPECT_LT(r.trace.confirmedAt, r.trace.storedAt);
  EXPECT_LE(r.trace.firstPollAt, r.trace.foundPollAt);
  EXPECT_LT(r.trace.foundPollAt, r.trace.deleteAt);
  EXPECT_DOUBLE_EQ(r.delivery_error(), r.result.deliveryTime - r.trace.trueDelivery);
  EXPECT_GT(r.process.wallSeconds, 0.2);
  EXPECT_GT(r.process.peakRssKiB, 0);
  EXPECT_EQ(sim.stop(), 0);
}

// The options after line 3 reach the tool: a text-mode round trip with a
// status report, its run record read back and its report found in the
// simulator's records, as the status-report part does it.
TEST(BenchRunsTest, OneRealRoundTripWithAReport) {
  const std::string dir = make_temp_dir("bench_runs_report");
  const std::string ports = dir + "/ports";
  SimProcess sim;
  ASSERT_TRUE(sim.start(MODEM_SIM_BINARY, {"--dir", ports, "--modem",
                                           "COM7=" + modem_number(7) +
                                               ",delay=0.2,report-delay=0.3,report-status=0"}))
      << sim.lastError;
  RoundTripJob job;
  job.dir = dir + "/r";
  job.name = "R";
  job.port = 7;
  job.number = modem_number(7);
  job.dataTime = "REP";
  job.resultName = "results.csv";
  job.commandSet = "text";
  job.options = {"report=1", "record=record.jsonl"};
  std::vector<RoundTripOutcome> outcomes;
  std::string error;
  ASSERT_TRUE(run_round_trips(SMS_TEST_BINARY, ports, {job}, 30, outcomes, error)) << error;
  const RoundTripOutcome& r = outcomes.at(0);
  EXPECT_TRUE(r.succeeded()) << r.status << read_file(job.dir + "/stderr.txt");
  ASSERT_TRUE(r.traced) << r.traceError;
  RecordReport record;
  ASSERT_TRUE(parse_record_report(trim_text(read_file(job.dir + "/record.jsonl")), record));
  EXPECT_EQ(record.dataTime, "REP");
  EXPECT_TRUE(record.reportRequested);
  ASSERT_TRUE(record.reportReceived);
  EXPECT_EQ(record.reportStatus, 0);
  ReportTrace t;
  ASSERT_TRUE(trace_final_report(parse_network_log(read_file(ports + "/network.log")),
                                 parse_traffic_log(read_file(ports + "/COM7.traffic.log")),
                                 "tImEREPT", t, error))
      << error;
  EXPECT_EQ(t.status, 0);
  // The report follows the delivery by its delay, and the tool read it no
  // earlier than its line was written.
  EXPECT_GE(t.reportAt - r.trace.storedAt, 0.3 - 1e-9);
  EXPECT_LE(t.reportAt, t.writtenAt);
  EXPECT_GT(record.confirmTime, t.writtenAt - r.trace.commandAt - 0.05);
  EXPECT_LT(record.confirmTime, t.writtenAt - r.trace.commandAt + 1.0);
  EXPECT_EQ(sim.stop(), 0);
}

}  // namespace

}  // namespace smstest
