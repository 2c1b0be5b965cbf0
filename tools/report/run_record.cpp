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

const char* measure_problem(std::string_view text, bool emptyMeansNotTaken) {
  if (text == "-Infinity" || (emptyMeansNotTaken && text.empty())) return nullptr;
  double v = 0;
  if (!read_number(text, &v)) {
    // A number that does not fit a double, "inf" or "nan".
    double big = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), big);
    const bool whole = end == text.data() + text.size() && !text.empty();
    if (whole && (ec == std::errc::result_out_of_range || !std::isfinite(big)))
      return text[0] == '-' ? "negative" : "not finite or above 1e9";
    return "not a number";
  }
  if (v < 0) return "negative";
  if (v > kMaxMeasure) return "not finite or above 1e9";
  return nullptr;
}

bool read_measure(std::string_view text, bool emptyMeansNotTaken, Measure* measure) {
  if (text == "-Infinity" || (emptyMeansNotTaken && text.empty())) {
    *measure = Measure{};
    return true;
  }
  if (measure_problem(text, emptyMeansNotTaken) != nullptr) return false;
  double v = 0;
  read_number(text, &v);
  measure->taken = true;
  measure->value = v;
  return true;
}

}  // namespace smstest
