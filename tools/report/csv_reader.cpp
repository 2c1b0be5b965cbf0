#include "tools/report/csv_reader.h"

namespace smstest {

bool split_csv_record(std::string_view line, std::vector<std::string>* fields) {
  fields->clear();
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    std::string field;
    if (i < n && line[i] == '"') {
      ++i;
      for (;;) {
        if (i >= n) return false;  // not closed
        char c = line[i++];
        if (c != '"') {
          field += c;
        } else if (i < n && line[i] == '"') {
          field += '"';
          ++i;
        } else {
          break;
        }
      }
      if (i < n && line[i] != ',') return false;
    } else {
      size_t comma = line.find(',', i);
      if (comma == std::string_view::npos) comma = n;
      field.assign(line.data() + i, comma - i);
      i = comma;
    }
    fields->push_back(std::move(field));
    if (i >= n) return true;
    ++i;  // the comma; a comma at the very end leaves one empty field
    if (i == n) {
      fields->emplace_back();
      return true;
    }
  }
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace smstest
