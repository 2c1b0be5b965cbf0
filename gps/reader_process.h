// A small program that reads a GPS receiver for the campaign (sms_gps,
// tools/gps_reader) and writes what it reads as lines on its standard
// output: started, read with a time limit, stopped.  The campaign reads a
// receiver on a serial port this way, in a process of its own, so that the
// campaign itself links no serial code.  One implementation per platform
// (reader_process_posix.cpp: fork and a pipe; reader_process_win32.cpp:
// CreateProcess and an anonymous pipe), made by make_reader_process().
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace smstest {

enum class ReaderReceive {
  kData,     // some bytes were appended
  kTimeout,  // nothing came within the time given
  kEnded,    // the program closed its output: it ended (or is ending)
  kFailed,   // the pipe broke (reason in lastError)
};

class ReaderProcess {
 public:
  virtual ~ReaderProcess() = default;

  // Starts `argv` (argv[0] the program's path) with its standard input
  // empty, its standard error discarded and its standard output to a pipe
  // of ours.  Stops a program started before.  False with the reason in
  // `lastError` ("cannot start PROGRAM: No such file or directory").
  virtual bool start(const std::vector<std::string>& argv) = 0;

  // Waits up to `timeoutMs` for output and appends what one read gives.
  virtual ReaderReceive receive(std::string& into, int timeoutMs) = 0;

  // Ends the program if it still runs and waits for it; closes the pipe.
  // May be called any number of times.
  virtual void stop() = 0;

  std::string lastError;
};

// A reader process of this platform, not started.
std::unique_ptr<ReaderProcess> make_reader_process();

}  // namespace smstest
