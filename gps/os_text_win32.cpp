// Error texts on Windows: FormatMessageA, in the user's default language,
// without the line end it appends.
#include <windows.h>

#include "common/text.h"
#include "gps/os_text.h"

namespace smstest {

std::string os_error_text(int code) {
  char* message = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&message), 0, nullptr);
  std::string text;
  if (length > 0 && message != nullptr) text.assign(message, length);
  if (message != nullptr) LocalFree(message);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (text.empty()) return format("error %d", code);
  return text;
}

}  // namespace smstest
