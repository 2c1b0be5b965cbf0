// The file of a port's debug log, opened so that two runs never share one.
//
// A second run on a busy port must not truncate the debug log of the run
// that holds the port: a log that another running port (in this process or
// another one) holds is not opened.  One implementation per platform
// (log_file_posix.cpp: an exclusive lock; log_file_win32.cpp: no write
// sharing).
#pragma once

#include <cstdio>

namespace smstest {

// Opens the debug log at `path` for binary writing, created if missing and
// emptied, and keeps it to itself until it is closed.  Null, leaving the
// file as it was, when another open debug log holds it, when it can't be
// opened, or when the path would make the open or a write wait (a FIFO).
FILE* open_debug_log(const char* path);

}  // namespace smstest
