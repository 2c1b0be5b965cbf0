// The system's own text of an error code of this platform (errno on POSIX,
// GetLastError or a Winsock code on Windows), for the messages of the GPS
// layer's sockets and reader process.  One implementation per platform
// (os_text_posix.cpp, os_text_win32.cpp).
#pragma once

#include <string>

namespace smstest {

// The text of `code`, without a line end; "error N" when the system has
// none.
std::string os_error_text(int code);

}  // namespace smstest
