// Error texts on POSIX systems: strerror_r, whichever of its two forms the
// C library has.
#include <string.h>

#include "common/text.h"
#include "gps/os_text.h"

namespace smstest {

namespace {

// The GNU form returns the text; the XSI form fills the buffer.
[[maybe_unused]] const char* pick(const char* text, const char*) { return text; }
[[maybe_unused]] const char* pick(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}

}  // namespace

std::string os_error_text(int code) {
  char buffer[256] = {0};
  const char* text = pick(strerror_r(code, buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') return format("error %d", code);
  return text;
}

}  // namespace smstest
