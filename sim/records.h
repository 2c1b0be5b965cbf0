// The simulator's records: one traffic record per modem and one record of
// the network, both plain text files of one line per event, flushed after
// every line so that a reader sees each event as soon as it happened.
//
// Every line is "<seconds> <event> <fields>", the seconds counted from the
// moment the simulator was ready, with three decimals.  Bytes of the line
// and of message texts are escaped (escape_bytes) so that each record stays
// on one line.
#pragma once

#include <cstdio>
#include <string>

namespace smstest {

// "\\" for a backslash, "\r" "\n" "\t" "\0" for those bytes, "\xHH" for any
// other byte below 0x20 or above 0x7E; everything else unchanged.
std::string escape_bytes(const std::string& bytes);

// The inverse of escape_bytes.  An unknown or cut-off escape is kept as it
// stands.
std::string unescape_bytes(const std::string& text);

// One record file, owned: opened with "w", closed by close() or the
// destructor.
class RecordFile {
 public:
  RecordFile() = default;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  ~RecordFile() { close(); }

  // Creates (or truncates) the file.  False with the reason in `lastError`.
  bool open(const std::string& path, std::string& lastError);
  void close();
  bool is_open() const { return file_ != nullptr; }

  // Writes "<seconds> <event> <fields>\n" ("<seconds> <event>\n" when
  // `fields` is empty) and flushes.  Does nothing when the file isn't open.
  void write(double seconds, const char* event, const std::string& fields);

 private:
  FILE* file_ = nullptr;
};

}  // namespace smstest
