// Test support for tests that run whole programs: start one in a directory
// of its own and collect its exit code and output streams (on the child
// runner of process/child_process.h), temporary directories that go when
// the test program ends, and a look at what a run left behind.
#pragma once

#include <string>
#include <vector>

#include "common/files.h"  // read_file, write_file

namespace smstest {

struct ProcessResult {
  int exitCode = -1;  // -1 when killed by a signal or the time limit
  bool timedOut = false;
  std::string out;       // standard output
  std::string err;       // standard error
  double seconds = 0.0;  // wall time of the run
};

// Runs `argv` (argv[0] is the program path) in `cwd` with `env` added to the
// environment ("NAME=value" each) and `input` on its standard input.  Kills
// it after `timeoutSeconds`.
ProcessResult run_process(const std::vector<std::string>& argv, const std::string& cwd,
                          const std::vector<std::string>& env = {}, double timeoutSeconds = 60,
                          const std::string& input = "");

// A fresh empty directory under the test temp directory; it and everything
// in it is removed when the program ends (kept when SMS_TEST_KEEP_TMP is set).
std::string make_temp_dir(const std::string& tag);

bool file_exists(const std::string& path);

// Names in `dir`, sorted, without "." and "..".
std::vector<std::string> list_dir(const std::string& dir);

}  // namespace smstest
