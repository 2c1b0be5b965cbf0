// Test helper: runs a program to its end with a given standard input and
// collects its exit code and both output streams.  Used by the tests that
// start the real tool binaries.  One implementation per platform
// (run_process_posix.cpp).
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out;    // standard output
  std::string err;    // standard error
};

// Runs `program` with `args` (argv[1] onwards), `input` on its standard
// input, and waits for it.  False, with the reason in `error`, when it could
// not be started.
bool run_process(const std::string& program, const std::vector<std::string>& args,
                 const std::string& input, ProcessResult& result, std::string& error);
