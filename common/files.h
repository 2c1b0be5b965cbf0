// Whole files as text, for the tools and tests around SMS_TEST (the
// benchmarks read the records of a run back, the tests write command files
// and read status files and debug logs).  SMS_TEST itself reads and writes
// its files with the C runtime, in the modes its formats need.
#pragma once

#include <string>

namespace smstest {

// The whole content of the file at `path`, byte for byte, or "" when it
// can't be read.
std::string read_file(const std::string& path);

// Creates or truncates the file at `path` and writes `content` into it.
// False when it can't.
bool write_file(const std::string& path, const std::string& content);

}  // namespace smstest
