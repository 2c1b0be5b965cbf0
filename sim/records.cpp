#include "sim/records.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/text.h"

namespace smstest {

std::string escape_bytes(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        if (u < 0x20 || u > 0x7E) {
          out += format("\\x%02X", u);
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

std::string unescape_bytes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] != '\\' || next == '\0') {
      out.push_back(text[i]);
      continue;
    }
    char plain = 0;
    switch (next) {
      case '\\':
        plain = '\\';
        break;
      case 'r':
        plain = '\r';
        break;
      case 'n':
        plain = '\n';
        break;
      case 't':
        plain = '\t';
        break;
      case '0':
        plain = '\0';
        break;
      case 'x':
        if (i + 3 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
          out.push_back(static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
          i += 3;
          continue;
        }
        out.push_back(text[i]);
        continue;
      default:
        out.push_back(text[i]);
        continue;
    }
    out.push_back(plain);
    ++i;
  }
  return out;
}

bool RecordFile::open(const std::string& path, std::string& lastError) {
  close();
  file_ = std::fopen(path.c_str(), "w");
  if (file_ == nullptr) {
    lastError = format("cannot create %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

void RecordFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void RecordFile::write(double seconds, const char* event, const std::string& fields) {
  if (file_ == nullptr) return;
  if (fields.empty()) {
    std::fprintf(file_, "%.3f %s\n", seconds, event);
  } else {
    std::fprintf(file_, "%.3f %s %s\n", seconds, event, fields.c_str());
  }
  std::fflush(file_);
}

}  // namespace smstest
