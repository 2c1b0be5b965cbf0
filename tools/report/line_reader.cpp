#include "tools/report/line_reader.h"

#include <cerrno>
#include <cstring>

#include "common/text.h"

namespace smstest {

namespace {
constexpr size_t kBlock = 1 << 20;
}

LineReader::~LineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool LineReader::open(const std::string& path) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    lastError = format("cannot read %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  size_ = kBlock + kMaxLine;
  buffer_.reset(new char[size_]);
  return true;
}

// Moves what is left to the front and reads one more block behind it.
bool LineReader::fill() {
  if (eof_ || failed_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  size_t room = size_ - end_;
  size_t got = std::fread(buffer_.get() + end_, 1, room, file_);
  end_ += got;
  if (got < room) {
    if (std::ferror(file_)) {
      failed_ = true;
      lastError = format("cannot read %s: %s", path_.c_str(), std::strerror(errno));
      return false;
    }
    eof_ = true;
  }
  return got > 0;
}

bool LineReader::next(std::string_view* line, bool* overlong) {
  if (file_ == nullptr || failed_) return false;
  *overlong = false;
  size_t searched = begin_;
  for (;;) {
    const char* start = buffer_.get() + begin_;
    const void* nl = std::memchr(buffer_.get() + searched, '\n', end_ - searched);
    if (nl != nullptr) {
      size_t length = static_cast<const char*>(nl) - start;
      begin_ += length + 1;
      ++lineNumber_;
      if (length > kMaxLine) {
        *line = std::string_view();
        *overlong = true;
        return true;
      }
      if (length > 0 && start[length - 1] == '\r') --length;
      *line = std::string_view(start, length);
      return true;
    }
    if (end_ - begin_ > kMaxLine) {
      // No reader can use such a line: drop it up to its line end, so that
      // the buffer never grows.
      for (;;) {
        begin_ = end_;
        if (!fill()) break;
        const void* found = std::memchr(buffer_.get(), '\n', end_);
        if (found != nullptr) {
          begin_ = static_cast<const char*>(found) - buffer_.get() + 1;
          break;
        }
      }
      if (failed_) return false;
      *line = std::string_view();
      *overlong = true;
      ++lineNumber_;
      return true;
    }
    size_t before = end_ - begin_;
    if (!fill()) {
      if (failed_ || end_ == begin_) return false;
      // The last line has no line end.
      start = buffer_.get() + begin_;
      size_t length = end_ - begin_;
      begin_ = end_;
      if (length > 0 && start[length - 1] == '\r') --length;
      *line = std::string_view(start, length);
      ++lineNumber_;
      return true;
    }
    searched = begin_ + before;
  }
}

}  // namespace smstest
