// Start-up and file services of the driver that differ between platforms:
// framework start-up, the working directory, path joining, the message box
// of the result writer and the atomic append of a result line.  One
// implementation per platform (platform_posix.cpp, platform_win32.cpp).
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

// `dir`, the platform's path separator, then `name`: the name is always
// appended, whatever it holds.
std::string join_path(const std::string& dir, const std::string& name);

// True when `a` and `b` name the same file: the same file where both exist
// (links and other spellings of a path included), otherwise the same path
// once links, "." and ".." are resolved.
bool same_file(const std::string& a, const std::string& b);

// Shows `text` to the user and returns once it has been acknowledged.  Where
// no windowing system exists it is one line on the standard error stream.
void show_message_box(const char* text);

// Appends `line` to the file at `path` (created if missing) with a single
// write to a file opened for appending, so that lines of runs appending at
// the same moment never interleave.  The line goes in whole or not at all:
// what a write that fails half-way (a full disk) left is taken off again,
// and a file that does not end in a line end (left so by some other writer)
// gets one before the line.  A path that would make the open or the write
// wait (a FIFO, a socket) counts as a file that can't be opened.  False when
// the file can't be opened or the line can't be written in full.
bool append_line(const std::string& path, const std::string& line);

// Outcomes of replace_file.
enum class FileWrite {
  kWritten,
  kNotOpened,   // can't be opened, or would make the open or a write wait
  kIncomplete,  // opened, but not all of the text could be written: the file is left empty
};

// Overwrites the file at `path` (created if missing) with `text`, written as
// a text file of the platform (CR LF line ends on Windows).  Never waits for
// a reader: a FIFO or a socket counts as a file that can't be opened.
FileWrite replace_file(const std::string& path, const std::string& text);

}  // namespace smstest
