// Whole runs of SMS_TEST whose report files block, fill the disk or can't be
// written: a FIFO without a reader as the status or result file, a full
// disk (a small tmpfs in a mount namespace of the run's own, where the
// machine allows one), and the null device's opposite, /dev/full.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/result_line.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

// A run that fails at once: port 9 has no device in an empty folder.
const char kRecord[] = "F|10|9|1|x|0|0|115200|0|0|0";

std::string open_failure(const std::string& portsDir) {
  return missing_port_failure(port_name(portsDir, 9));
}

const char kBox[] = "Could not open log file for writing. Operation Failed.\n";
const char kFailedLine[] =
    "SMS_TEST,1,F,42,45.5N73.6W,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n";

// Runs the native tool in `dir` with kRecord and the status file
// status.txt, without reading any file back (a FIFO would make the reader
// wait).
ProcessResult run_failing(const std::string& dir, const std::string& ports) {
  write_file(dir + "/cmd.txt", std::string("SMS_TEST\nresults.csv\n") + kRecord + "\n");
  return run_process({SMS_TEST_BINARY, "cmd.txt", "status.txt", "42", "45.5N73.6W"}, dir,
                     {"SMS_TEST_PORTS=" + ports}, 20);
}

class FileFaultRun : public WholeRunFixture {};

// A FIFO that nobody reads: opening it for writing would wait for a reader
// for ever.  It counts as a file that can't be opened.
TEST_F(FileFaultRun, FifosWithoutAReaderAreFilesThatCannotBeOpened) {
  if (windows_mode()) GTEST_SKIP() << "FIFOs are a POSIX file type";
  const std::string ports = ports_dir();
  {
    std::string dir = make_temp_dir("fifo");
    ASSERT_EQ(mkfifo((dir + "/status.txt").c_str(), 0644), 0);
    ProcessResult r = run_failing(dir, ports);
    EXPECT_FALSE(r.timedOut) << "the run waited for the FIFO";
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, open_failure(ports) + "\n");
    EXPECT_EQ(read_file(dir + "/results.csv"), kFailedLine);
    EXPECT_LT(r.seconds, 5);
  }
  {
    std::string dir = make_temp_dir("fifo");
    ASSERT_EQ(mkfifo((dir + "/results.csv").c_str(), 0644), 0);
    ProcessResult r = run_failing(dir, ports);
    EXPECT_FALSE(r.timedOut) << "the run waited for the FIFO";
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, open_failure(ports) + "\n" + kBox);
    EXPECT_EQ(read_file(dir + "/status.txt"), "2 " + open_failure(ports) + "\n");
    EXPECT_LT(r.seconds, 5);
  }
}

// A status file that takes no byte: the caller learns nothing from it, so
// the run says so, and a run that would have ended with 0 ends with 2.
TEST_F(FileFaultRun, AStatusFileThatCannotBeWrittenIsReported) {
  if (windows_mode()) GTEST_SKIP() << "/dev/full is a Linux device";
  if (!file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
  start_sim({"--modem", "COM3=5550103", "--delay", "0.2"});
  const std::string& ports = ports_;
  struct {
    const char* name;
    const char* record;
    int exitCode;
    std::string errStart;
  } cases[] = {
      {"successful round trip", "G|20|3|5550103|hello|0|0|115200|0|0|0", 2,
       "Sending SMS: OK.\nNew Message Found.\nDeleting Message: OK - tImE42Thello\n"},
      {"failed run", kRecord, 2, open_failure(ports) + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string dir = make_temp_dir("full");
    ASSERT_EQ(symlink("/dev/full", (dir + "/status.txt").c_str()), 0);
    write_file(dir + "/cmd.txt", std::string("SMS_TEST\nresults.csv\n") + c.record + "\n");
    // Not run_tool: reading /dev/full back would never end.
    ProcessResult r = run_process({SMS_TEST_BINARY, "cmd.txt", "status.txt", "42", "45.5N73.6W"},
                                  dir, {"SMS_TEST_PORTS=" + ports}, 30);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.err, c.errStart + "Cannot write status file " + dir + "/status.txt\n");
    // The result line is written all the same.
    EXPECT_EQ(result_columns(read_file(dir + "/results.csv")).size(), 12u);
  }
}

// The result file's disk is full: the line goes in whole or not at all, and
// the next run's line starts where a line starts.
TEST_F(FileFaultRun, AFullDiskLeavesNoFragmentOfALine) {
  if (windows_mode()) GTEST_SKIP() << "the full disk is a tmpfs of Linux";
  const std::string ports = ports_dir();
  const std::string dir = make_temp_dir("disk");
  ASSERT_EQ(mkdir((dir + "/run").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "/full").c_str(), 0755), 0);
  write_file(dir + "/run/cmd.txt", std::string("SMS_TEST\n../full/results.csv\n") + kRecord + "\n");
  // In a mount namespace of its own a tmpfs of three pages: one holds the
  // result file (4076 bytes, 20 bytes short of a page), a filler takes the
  // others.  The first run's lines do not fit; after the filler goes, the
  // second run's do.  The files are copied out before the namespace ends.
  const std::string script =
      "mount -t tmpfs -o size=12k tmpfs \"$1/full\" || exit 97\n"
      "head -c 4075 /dev/zero | tr '\\0' x > \"$1/full/results.csv\"\n"
      "echo >> \"$1/full/results.csv\"\n"
      "head -c 8192 /dev/zero > \"$1/full/filler\" 2>/dev/null\n"
      "cd \"$1/run\" || exit 98\n"
      "\"$2\" cmd.txt ../full/status.txt 42 45.5N73.6W 2> first.err; echo $? > first.rc\n"
      "cp ../full/results.csv first.csv; cp ../full/status.txt first.status\n"
      "rm ../full/filler\n"
      "\"$2\" cmd.txt ../full/status.txt 42 45.5N73.6W 2> second.err; echo $? > second.rc\n"
      "cp ../full/results.csv second.csv; cp ../full/status.txt second.status\n";
  std::string unshare;
  for (const char* path : {"/usr/bin/unshare", "/bin/unshare"}) {
    if (file_exists(path)) unshare = path;
  }
  if (unshare.empty()) GTEST_SKIP() << "no unshare(1) on this machine for a mount namespace";
  ProcessResult r =
      run_process({unshare, "-rm", "/bin/sh", "-c", script, "sh", dir, SMS_TEST_BINARY}, dir,
                  {"SMS_TEST_PORTS=" + ports}, 60);
  if (r.exitCode != 0) {
    GTEST_SKIP() << "no tmpfs in a mount namespace here (unshare -rm: exit " << r.exitCode
                 << "): " << r.err;
  }
  const std::string run = dir + "/run/";
  const std::string failure = open_failure(ports);
  const std::string filled = std::string(4075, 'x') + "\n";
  // First run: neither the status line nor the result line fitted.
  EXPECT_EQ(read_file(run + "first.rc"), "2\n");
  EXPECT_EQ(read_file(run + "first.err"),
            failure + "\nCannot write status file " + run + "../full/status.txt\n" + kBox);
  EXPECT_EQ(read_file(run + "first.csv"), filled) << "no fragment of the line";
  EXPECT_EQ(read_file(run + "first.status"), "") << "no fragment of the status line";
  // Second run: room again.
  EXPECT_EQ(read_file(run + "second.rc"), "2\n");
  EXPECT_EQ(read_file(run + "second.err"), failure + "\n");
  EXPECT_EQ(read_file(run + "second.csv"), filled + kFailedLine);
  EXPECT_EQ(read_file(run + "second.status"), "2 " + failure + "\n");
}

// A result file that some other writer left without a line end at its end
// gets one before the next line.
TEST_F(FileFaultRun, ALineStartsOnALineOfItsOwn) {
  ports_ = ports_dir();
  std::string dir = make_temp_dir("noeol");
  write_file(dir + "/results.csv", "SMS_TEST,1,cut");
  ToolRun run = run_sms_test(kRecord, "42", dir, "results.csv", 20);
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(run.resultFile, std::string("SMS_TEST,1,cut\n") + kFailedLine);
}

}  // namespace

}  // namespace smstest
