// Start-up services of the driver that differ between platforms: framework
// start-up, the working directory and the message box of the result writer.
// One implementation per platform (platform_posix.cpp, platform_win32.cpp);
// the file services (join_path, append_line, ...) are in common/files.h.
#pragma once

#include <string>

namespace smstest {

// Prepares the process for a run, before anything else: standard input,
// output and error that the program was started without are opened on the
// null device (so that no later file or port takes their place and gets
// the messages); SIGINT, SIGTERM and SIGHUP (on Windows the console's
// Ctrl-C, Ctrl-Break and close events) request an interrupt
// (common/interrupt.h) instead of ending the process; SIGPIPE is ignored,
// so that a closed error stream does not end the run before its reports
// are written.
void prepare_process();

// Initialises the application framework.  False when it can't start, which
// ends the run with exit code 1.
bool init_framework();

// Reads the current working directory into `dir`.  False, with a reason in
// `error`, when it can't be read.
bool working_directory(std::string& dir, std::string& error);

// Shows `text` to the user and returns once it has been acknowledged.  Where
// no windowing system exists it is one line on the standard error stream.
void show_message_box(const char* text);

}  // namespace smstest
