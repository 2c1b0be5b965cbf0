#include "tools/report/report.h"

#include <cmath>

namespace smstest {

double micro_rounded(double value) {
  if (!(std::fabs(value) < 1e9)) return value;  // past that a millionth is below a double's step
  return std::round(value * 1e6) / 1e6;
}

}  // namespace smstest
