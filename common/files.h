// Files for SMS_TEST and the tools around it.
//
// read_file and write_file take a whole file as bytes (the benchmarks read
// the records of a run back, the tests write command files and read status
// files and debug logs).  The rest are the file services of the result and
// status files, which differ between platforms (files_posix.cpp,
// files_win32.cpp): path joining, telling two paths of one file apart, the
// atomic append of a line and the replacement of a whole file, both as text
// files of the platform.
#pragma once

#include <string>

namespace smstest {

// The whole content of the file at `path`, byte for byte, or "" when it
// can't be read.
std::string read_file(const std::string& path);

// Creates or truncates the file at `path` and writes `content` into it.
// False when it can't.
bool write_file(const std::string& path, const std::string& content);

// `dir`, the platform's path separator, then `name`: the name is always
// appended, whatever it holds.
std::string join_path(const std::string& dir, const std::string& name);

// True when `a` and `b` name the same file: the same file where both exist
// (links and other spellings of a path included), otherwise the same path
// once links, "." and ".." are resolved.
bool same_file(const std::string& a, const std::string& b);

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
