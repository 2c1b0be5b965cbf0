// ChildGroup runs real programs (the shell): what the benchmark reports of a
// run (exit, wall time, CPU time, memory) comes from here, and so do the
// simulator's ready line and the output of the programs the tests run.
#include "process/child_process.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "common/files.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

ChildCommand shell(const std::string& script, const std::string& cwd) {
  ChildCommand command;
  command.argv = {"/bin/sh", "-c", script};
  command.cwd = cwd;
  return command;
}

TEST(ChildProcessTest, ExitCodesDirectoriesEnvironmentAndOutput) {
  std::string dir = make_temp_dir("child");
  ASSERT_FALSE(dir.empty());
  ChildGroup group;
  ChildCommand command = shell("echo \"$BENCH_VALUE\"; pwd >&2; exit 3", dir);
  command.env = {"BENCH_VALUE=seen"};
  command.stdoutPath = dir + "/out";
  command.stderrPath = dir + "/err";
  ASSERT_TRUE(group.start(command)) << group.lastError;
  ChildCommand missing;
  missing.argv = {dir + "/no-such-program"};
  ASSERT_TRUE(group.start(missing)) << group.lastError;
  ASSERT_TRUE(group.start(shell("kill -TERM $$", dir)));
  std::vector<ChildResult> results = group.wait_all(10);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].exitCode, 3);
  EXPECT_EQ(read_file(dir + "/out"), "seen\n");
  char real[4096];
  ASSERT_NE(realpath(dir.c_str(), real), nullptr);
  EXPECT_EQ(read_file(dir + "/err"), std::string(real) + "\n");
  EXPECT_EQ(results[1].exitCode, 127);
  EXPECT_EQ(results[2].exitCode, -1);
  EXPECT_EQ(results[2].signal, 15);
  for (const ChildResult& r : results) EXPECT_FALSE(r.timedOut);
}

TEST(ChildProcessTest, InputFromAFileOutputIntoFilesOrAPipe) {
  const std::string dir = make_temp_dir("child");
  ASSERT_TRUE(write_file(dir + "/in", "one\ntwo\n"));
  ChildGroup group;
  ChildCommand copy = shell("cat; echo done >&2", dir);
  copy.stdinPath = dir + "/in";
  copy.stdoutPath = dir + "/out";
  copy.stderrPath = dir + "/err";
  ASSERT_TRUE(group.start(copy)) << group.lastError;
  // A pipe delivers what the child writes while it runs; its end shows once
  // the child has gone.
  ChildCommand talk = shell("echo ready; read line; echo late", dir);
  talk.stdoutToPipe = true;
  talk.stdinPath = dir + "/in";
  ASSERT_TRUE(group.start(talk)) << group.lastError;
  std::string piped;
  while (piped.size() < 6 && group.read_output(1, 10, piped) == OutputRead::kGot) {
  }
  EXPECT_EQ(piped.substr(0, 6), "ready\n");
  std::vector<ChildResult> results = group.wait_all(10);
  while (group.read_output(1, 0, piped) == OutputRead::kGot) {
  }
  EXPECT_EQ(group.read_output(1, 0, piped), OutputRead::kEnded);
  EXPECT_EQ(piped, "ready\nlate\n");
  EXPECT_EQ(read_file(dir + "/out"), "one\ntwo\n");
  EXPECT_EQ(read_file(dir + "/err"), "done\n");
  // A child without a pipe, or no child at all, has no output to wait for.
  EXPECT_EQ(group.read_output(0, 1, piped), OutputRead::kEnded);
  EXPECT_EQ(group.read_output(7, 1, piped), OutputRead::kEnded);
  EXPECT_EQ(group.pid(7), -1);
  for (const ChildResult& r : results) EXPECT_EQ(r.exitCode, 0);
}

TEST(ChildProcessTest, QuietPipeReadsNothingYet) {
  ChildGroup group;
  ChildCommand quiet = shell("exec sleep 30", "");
  quiet.stdoutToPipe = true;
  ASSERT_TRUE(group.start(quiet)) << group.lastError;
  std::string piped;
  EXPECT_EQ(group.read_output(0, 0, piped), OutputRead::kNothingYet);
  EXPECT_EQ(piped, "");
  // Asked to end, it ends by the signal, not by the time limit.
  group.terminate_all();
  std::vector<ChildResult> results = group.wait_all(20);
  EXPECT_EQ(results[0].signal, 15);
  EXPECT_EQ(results[0].exitCode, -1);
  EXPECT_FALSE(results[0].timedOut);
  EXPECT_EQ(group.read_output(0, 1, piped), OutputRead::kEnded);
}

TEST(ChildProcessTest, StandardErrorCanStayTheCallers) {
  ChildGroup group;
  ChildCommand command = shell("echo to-the-caller >&2", "");
  command.inheritStderr = true;
  command.stderrPath = "/nonexistent/never-opened";
  testing::internal::CaptureStderr();
  ASSERT_TRUE(group.start(command)) << group.lastError;
  std::vector<ChildResult> results = group.wait_all(10);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "to-the-caller\n");
  EXPECT_EQ(results[0].exitCode, 0);
}

TEST(ChildProcessTest, ChildThatCannotStartExitsWith127) {
  const std::string dir = make_temp_dir("child");
  struct Row {
    const char* name;
    ChildCommand command;
  };
  ChildCommand noFolder = shell("exit 0", dir + "/missing");
  ChildCommand noInput = shell("exit 0", dir);
  noInput.stdinPath = dir + "/missing";
  ChildCommand noOutput = shell("exit 0", dir);
  noOutput.stdoutPath = dir + "/missing/out";
  const Row rows[] = {
      {"working directory", noFolder}, {"standard input", noInput}, {"standard output", noOutput}};
  for (const Row& row : rows) {
    ChildGroup group;
    ASSERT_TRUE(group.start(row.command)) << row.name << ": " << group.lastError;
    EXPECT_EQ(group.wait_all(10).front().exitCode, 127) << row.name;
  }
  ChildGroup group;
  EXPECT_FALSE(group.start(ChildCommand()));
  EXPECT_EQ(group.lastError, "no program given");
}

TEST(ChildProcessTest, ChildrenRunAtTheSameTime) {
  // The first child ends only once the second has run: started one after the
  // other, the first would hold up the wait until its time limit.
  std::string dir = make_temp_dir("child");
  ChildGroup group;
  ASSERT_TRUE(
      group.start(shell("while [ ! -e flag ]; do sleep 0.01; done; echo done > seen", dir)));
  ASSERT_TRUE(group.start(shell("sleep 0.1; touch flag", dir)));
  std::vector<ChildResult> results = group.wait_all(20);
  EXPECT_EQ(results[0].exitCode, 0);
  EXPECT_EQ(results[1].exitCode, 0);
  EXPECT_FALSE(results[0].timedOut);
  EXPECT_EQ(read_file(dir + "/seen"), "done\n");
  EXPECT_GE(results[1].wallSeconds, 0.1);
}

TEST(ChildProcessTest, CostOfEachChild) {
  ChildGroup group;
  // One child burns CPU, the other sleeps: each gets its own account.
  ASSERT_TRUE(group.start(shell("i=0; while [ $i -lt 300000 ]; do i=$((i+1)); done", "")));
  ASSERT_TRUE(group.start(shell("exec sleep 0.3", "")));
  std::vector<ChildResult> results = group.wait_all(60);
  ASSERT_EQ(results[0].exitCode, 0);
  ASSERT_EQ(results[1].exitCode, 0);
  EXPECT_GT(results[0].cpu_seconds(), 0.05);
  EXPECT_LE(results[0].cpu_seconds(), results[0].wallSeconds + 0.02);
  EXPECT_GE(results[1].wallSeconds, 0.3);
  EXPECT_LT(results[1].cpu_seconds(), 0.05);
  EXPECT_GT(results[0].peakRssKiB, 0);
  EXPECT_GT(results[1].peakRssKiB, 0);
  EXPECT_GE(results[1].voluntarySwitches, 1);
}

TEST(ChildProcessTest, TimeLimitKillsWhatIsLeft) {
  ChildGroup group;
  ASSERT_TRUE(group.start(shell("exec sleep 30", "")));
  ASSERT_TRUE(group.start(shell("exit 0", "")));
  int pid = group.pid(0);
  EXPECT_GT(pid, 0);
  std::vector<ChildResult> results = group.wait_all(0.3);
  EXPECT_TRUE(results[0].timedOut);
  EXPECT_EQ(results[0].signal, 9);
  EXPECT_EQ(results[0].exitCode, -1);
  EXPECT_LT(results[0].wallSeconds, 10);
  EXPECT_FALSE(results[1].timedOut);
  EXPECT_EQ(results[1].exitCode, 0);
  double cpu;
  EXPECT_FALSE(process_cpu_seconds(pid, cpu));  // reaped: gone
}

TEST(ChildProcessTest, CpuOfARunningProcess) {
  double before = 0, after = 0;
  ASSERT_TRUE(process_cpu_seconds(getpid(), before));
  // Spin until the C library's own account shows 0.1 s more CPU time, however
  // busy the machine is; the reading from /proc must follow it.
  volatile double x = 0;
  const std::clock_t start = std::clock();
  while (static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC < 0.1) x = x + 1;
  ASSERT_TRUE(process_cpu_seconds(getpid(), after));
  EXPECT_GE(after, before + 0.07);
  double cpu;
  EXPECT_FALSE(process_cpu_seconds(-1, cpu));
}

}  // namespace

}  // namespace smstest
