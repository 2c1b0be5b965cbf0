#include "tools/report/run_record.h"

#include <charconv>
#include <cmath>

namespace smstest {

bool read_number(std::string_view text, double* value) {
  if (text.empty()) return false;
  // from_chars reads "inf", "nan" and hex only on request; it refuses a
  // leading '+' and white space, which the tool never writes.
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool read_integer(std::string_view text, int* value) {
  if (text.empty()) return false;
  int v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  *value = v;
  return true;
}

bool read_measure(std::string_view text, bool emptyMeansNotTaken, Measure* measure) {
  if (text == "-Infinity" || (emptyMeansNotTaken && text.empty())) {
    *measure = Measure{};
    return true;
  }
  double v;
  if (!read_number(text, &v)) return false;
  measure->taken = true;
  measure->value = v;
  return true;
}

}  // namespace smstest
