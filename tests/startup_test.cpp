// Whole runs of SMS_TEST that end during start-up: each prints one line on
// the error stream, exits with 2 and leaves no file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "testsupport/run_process.h"

namespace smstest {

namespace {

const std::string kTool = SMS_TEST_BINARY;

struct StartupCase {
  const char* name;
  const char* cmdFileContent;  // nullptr: no command file
  std::vector<std::string> args;
  const char* expectedErr;
};

TEST(Startup, FailuresBeforeTheSessionsWriteNoFile) {
  const char* kUsage = "SMS_TEST: usage: SMS_TEST cmdFile errFile dataTime latLong\n";
  StartupCase cases[] = {
      {"no arguments", nullptr, {}, kUsage},
      {"three arguments", nullptr, {"cmd.txt", "status.txt", "42"}, kUsage},
      {"five arguments", nullptr, {"cmd.txt", "status.txt", "42", "ll", "x"}, kUsage},
      {"missing command file",
       nullptr,
       {"nothere.txt", "status.txt", "42", "ll"},
       "Cannot open nothere.txt\n"},
      {"wrong line 1",
       "sms_test\nresults.csv\nT1|60|3|5550100|hi|0|0|115200|4|115200|0\n",
       {"cmd.txt", "status.txt", "42", "ll"},
       "Expected SMS_TEST in the cmd file sms_test\n\n"},
      {"empty command file",
       "",
       {"cmd.txt", "status.txt", "42", "ll"},
       "Expected SMS_TEST in the cmd file \n"},
      {"fromPort 0",
       "SMS_TEST\nresults.csv\nT1|60|0|5550100|hi|0|0|115200|4|115200|0\n",
       {"cmd.txt", "status.txt", "42", "ll"},
       "From COM port must be > 0\n"},
      {"fromPort negative",
       "SMS_TEST\nresults.csv\nT1|60|-3|5550100|hi|0|0|115200|4|115200|0\n",
       {"cmd.txt", "status.txt", "42", "ll"},
       "From COM port must be > 0\n"},
      {"fromPort not a number",
       "SMS_TEST\nresults.csv\nT1|60|COM3|5550100|hi\n",
       {"cmd.txt", "status.txt", "42", "ll"},
       "From COM port must be > 0\n"},
  };
  for (const StartupCase& c : cases) {
    std::string dir = make_temp_dir("startup");
    if (c.cmdFileContent != nullptr) write_file(dir + "/cmd.txt", c.cmdFileContent);
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ProcessResult r = run_process(argv, dir);
    EXPECT_EQ(r.exitCode, 2) << c.name;
    EXPECT_EQ(r.err, c.expectedErr) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    std::vector<std::string> expectedFiles;
    if (c.cmdFileContent != nullptr) expectedFiles.push_back("cmd.txt");
    EXPECT_EQ(list_dir(dir), expectedFiles) << c.name << ": no status, result or debug log";
  }
}

// A working directory that no longer exists can't prefix the report paths:
// the run ends at once with a reason and writes nothing.
TEST(Startup, VanishedWorkingDirectory) {
  std::string dir = make_temp_dir("cwd");
  std::string script = "cd gone && rmdir ../gone && exec \"$0\" cmd.txt status.txt 42 ll";
  ASSERT_EQ(mkdir((dir + "/gone").c_str(), 0755), 0);
  ProcessResult r = run_process({"/bin/sh", "-c", script, kTool}, dir);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.rfind("Cannot read the working directory: ", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
  EXPECT_TRUE(list_dir(dir).empty());
}

}  // namespace

}  // namespace smstest
