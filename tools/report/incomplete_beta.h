// The special functions behind the report's confidence intervals: the
// regularized incomplete beta function and its inverse, the binomial
// distribution function built on it, and the standard normal quantile.
// confidence.h uses them; they are declared here so that tests can check
// them against reference values on their own.
#pragma once

namespace smstest {

// I_x(a, b), the regularized incomplete beta function, for a > 0, b > 0:
// 0 for x <= 0, 1 for x >= 1.  Computed by its continued fraction (modified
// Lentz), on the side of the distribution's mean where it converges fast,
// with a relative accuracy of about 1e-13 for a + b up to about 1e5 (the
// log-gamma prefactor loses a little more beyond that).
double incomplete_beta(double a, double b, double x);

// The x in [0, 1] with I_x(a, b) = p: 0 for p <= 0, 1 for p >= 1.  Found by
// bisection, which cannot leave the bracket whatever the shape of the
// function; it stops when the bracket no longer narrows in double
// precision.
double incomplete_beta_inverse(double a, double b, double p);

// P(X <= k) for X binomial with `trials` trials of success probability
// `p`: 0 for k < 0, 1 for k >= trials; through I_{1-p}(trials - k, k + 1),
// so that it neither overflows nor underflows term by term for large trial
// counts.
double binomial_cdf(long long k, long long trials, double p);

// The z with P(Z <= z) = p for a standard normal Z, for 0 < p < 1 (by
// bisection on erfc; 1.959963984540054 for p = 0.975).
double normal_quantile(double p);

}  // namespace smstest
