// Line-by-line reading of an input file in large blocks, so that a result
// file of millions of lines streams through a fixed buffer.  Used by the
// input reader (input.h).
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace smstest {

class LineReader {
 public:
  // Lines longer than this are returned cut, with `overlong` set: no line,
  // however long, makes the buffer grow past it.
  static constexpr size_t kMaxLine = 1 << 20;

  LineReader() = default;
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Opens `path` for reading.  False, with "cannot read PATH: REASON" in
  // `lastError`, when it can't be opened.
  bool open(const std::string& path);

  // The next line, without its "\n" or "\r\n"; a last line without a line
  // end counts too.  The view stays valid until the next call.  False at the
  // end of the file, and on a read error (then `failed()` is true and
  // `lastError` says why).
  bool next(std::string_view* line, bool* overlong);

  // Number of the line last returned, from 1.
  long long line_number() const { return lineNumber_; }
  bool failed() const { return failed_; }

  std::string lastError;

 private:
  bool fill();

  std::FILE* file_ = nullptr;
  std::string path_;
  std::unique_ptr<char[]> buffer_;
  size_t size_ = 0;
  size_t begin_ = 0;  // first byte not yet returned
  size_t end_ = 0;    // end of the bytes read
  bool eof_ = false;
  bool failed_ = false;
  long long lineNumber_ = 0;
};

}  // namespace smstest
