// The services of the operating system that a campaign needs and that
// differ between platforms: starting an SMS_TEST run as a child process,
// waiting for it and passing an interrupt on to it; catching the campaign's
// own interrupt (SIGINT, SIGTERM, a console Ctrl-C); and the terminal of
// standard output.  One implementation per platform (os_services_posix.cpp,
// os_services_win32.cpp); everything above them is written once.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace smstest {

// The signal numbers a campaign reports: the exit code of an interrupted
// campaign is 128 + the number (130, 143), as shells report it.
constexpr int kSignalHangup = 1;      // SIGHUP, a closed terminal or a dropped ssh
constexpr int kSignalInterrupt = 2;   // SIGINT, Ctrl-C
constexpr int kSignalTerminate = 15;  // SIGTERM, a console closed

// How a child process ended.
struct ChildExit {
  // The exit code; 128 + the signal when a signal ended it (on Windows an
  // end by Ctrl-C or Ctrl-Break counts as signal 2).
  int exitCode = -1;
  int signal = 0;  // the signal that ended it, 0 when it exited
};

// One started child process.  wait() and interrupt() may be called from
// different threads; the object must outlive both calls.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  // Blocks until the child has ended.  Safe to call again afterwards.
  virtual ChildExit wait() = 0;
  // Passes `signal` (kSignalHangup, kSignalInterrupt or kSignalTerminate)
  // on to the child if it still runs.  On POSIX the child gets that signal;
  // on Windows a Ctrl-Break event, or, where the console can't deliver one,
  // the child is terminated as a Ctrl-C would end it.
  virtual void interrupt(int signal) = 0;
  // Ends the child at once if it still runs (SIGKILL; on Windows
  // TerminateProcess).
  virtual void kill() = 0;
};

// Starts `argv` (argv[0] the program's path) in the folder `cwd` with its
// standard input empty and its standard output and error written to the file
// `outputPath` (created or truncated).  The child gets a process group of its
// own, so that a Ctrl-C at the terminal reaches only the campaign, which
// passes it on once.  The output file stays marked as in use (see
// output_in_use) for as long as the child or anything it started runs, even
// when the campaign itself is gone.  Returns nullptr with the reason in `error` when the
// child can't be started (the program can't be executed, the folder or the
// output file can't be opened).  `environment` ("NAME=value" each) is added
// to the campaign's environment for the child, in place of variables of the
// same names.
std::unique_ptr<ChildProcess> start_child(const std::vector<std::string>& argv,
                                          const std::string& cwd, const std::string& outputPath,
                                          std::string& error,
                                          const std::vector<std::string>& environment = {});

// True when the output file of a run at `path` is still held by the run
// (start_child), also one started by another campaign process that was
// killed since: on POSIX an flock() that the child inherits, on Windows an
// open handle with write access.
bool output_in_use(const std::string& path);

// The lock of a campaign folder: held by the process for as long as it
// lives, released by the system when it ends, however it ends.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// Takes the lock file `path` (created if missing) for this process and
// writes the process id into it.  Returns nullptr when it can't: `holder`
// is the id of the process that holds it (0 when it can't be told), or -1
// with the reason in `error` when the file can't be opened or locked.
std::unique_ptr<FolderLock> lock_folder(const std::string& path, long& holder, std::string& error);

// Catches SIGINT, SIGTERM and SIGHUP (on Windows the console's Ctrl-C,
// Ctrl-Break and close events) from now on; the default reaction (ending the process)
// is replaced by a note that wait_for_interrupt() hands out.  On POSIX
// SIGPIPE is ignored as well, so that a closed output pipe does not end the
// campaign; children get the defaults.  False with the reason in `error`
// when the handlers can't be installed.
bool catch_interrupts(std::string& error);

// Waits up to `milliseconds` for an interrupt caught by catch_interrupts().
// Returns the signal number of one interrupt (each is handed out once), or 0
// when none came in time.
int wait_for_interrupt(int milliseconds);

// True when standard output is a terminal that can redraw lines in place
// (on Windows: a console that takes cursor movements).
bool stdout_is_terminal();

// Width of the terminal of standard output in columns; 80 when unknown.
int terminal_columns();

// True when `path` names a file this process may execute.
bool is_program(const std::string& path);

// The full path of the running program, "" when the system can't say.
std::string own_executable_path();

// The name of the SMS_TEST program on this platform ("SMS_TEST",
// "SMS_TEST.exe").
const char* sms_test_program_name();

}  // namespace smstest
