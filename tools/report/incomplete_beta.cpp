#include "tools/report/incomplete_beta.h"

#include <cmath>
#include <limits>

namespace smstest {
namespace {

// The continued fraction of I_x(a, b) / (x^a (1-x)^b / (a B(a, b))), by
// the modified Lentz method.  It converges in O(sqrt(max(a, b))) terms for
// x below (a + 1) / (a + b + 2); the cap leaves room for a million trials.
double beta_continued_fraction(double a, double b, double x) {
  constexpr int kMaxTerms = 20000;
  constexpr double kEpsilon = 1e-16;
  constexpr double kTiny = 1e-300;
  const double qab = a + b;
  const double qap = a + 1;
  const double qam = a - 1;
  double c = 1;
  double d = 1 - qab * x / qap;
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m <= kMaxTerms; ++m) {
    const double m2 = 2.0 * m;
    // The even step.
    double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    h *= d * c;
    // The odd step.
    aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1) < kEpsilon) break;
  }
  return h;
}

}  // namespace

double incomplete_beta(double a, double b, double x) {
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  // log of x^a (1-x)^b / B(a, b); log1p keeps (1-x) exact for small x.
  const double logFront =
      std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x);
  const double front = std::exp(logFront);
  // I_x(a, b) = 1 - I_{1-x}(b, a): take the side where the fraction
  // converges.
  if (x < (a + 1) / (a + b + 2)) return front * beta_continued_fraction(a, b, x) / a;
  return 1 - front * beta_continued_fraction(b, a, 1 - x) / b;
}

double incomplete_beta_inverse(double a, double b, double p) {
  if (p <= 0) return 0;
  if (p >= 1) return 1;
  double low = 0;
  double high = 1;
  // I_x rises monotonically from 0 to 1.  1100 halvings reach the smallest
  // subnormal; the loop ends long before, when the midpoint equals an end.
  for (int i = 0; i < 1100; ++i) {
    const double mid = low + (high - low) / 2;
    if (mid <= low || mid >= high) break;
    if (incomplete_beta(a, b, mid) < p) {
      low = mid;
    } else {
      high = mid;
    }
  }
  return low + (high - low) / 2;
}

double binomial_cdf(long long k, long long trials, double p) {
  if (k < 0) return 0;
  if (k >= trials) return 1;
  if (p <= 0) return 1;
  if (p >= 1) return 0;
  return incomplete_beta(static_cast<double>(trials - k), static_cast<double>(k + 1), 1 - p);
}

double normal_quantile(double p) {
  if (p <= 0) return -std::numeric_limits<double>::infinity();
  if (p >= 1) return std::numeric_limits<double>::infinity();
  double low = -40;
  double high = 40;
  for (int i = 0; i < 200; ++i) {
    const double mid = low + (high - low) / 2;
    if (mid <= low || mid >= high) break;
    // P(Z <= z) = erfc(-z / sqrt 2) / 2, accurate in both tails.
    if (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p) {
      low = mid;
    } else {
      high = mid;
    }
  }
  return low + (high - low) / 2;
}

}  // namespace smstest
