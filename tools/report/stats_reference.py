#!/usr/bin/env python3
"""Reference values for confidence_test.cpp, computed independently of the
C++ code: Clopper-Pearson bounds by solving the binomial tail sums
themselves (not the incomplete beta function) at 50 digits, Wilson and
Newcombe intervals from their closed forms at 50 digits, incomplete beta
values by mpmath's own betainc, and order-statistic ranks by exact rational
arithmetic over every pair of ranks.  Needs mpmath (Debian: python3-mpmath);
run it by hand, the tests hold its output.  python3 stats_reference.py
"""
from fractions import Fraction
import mpmath as mp

mp.mp.dps = 50
CONF = mp.mpf("0.95")
ALPHA = 1 - CONF
Z = mp.sqrt(2) * mp.erfinv(CONF)


def binom_cdf(k, n, p):
    return mp.fsum(mp.binomial(n, i) * p**i * (1 - p) ** (n - i) for i in range(0, k + 1))


def solve(f, lo, hi):
    # bisection: f(lo) < 0 < f(hi) or the reverse; 200 halvings at 50 digits
    flo = f(lo)
    for _ in range(200):
        mid = (lo + hi) / 2
        if (f(mid) < 0) == (flo < 0):
            lo, flo = mid, f(mid)
        else:
            hi = mid
    return (lo + hi) / 2


def clopper_pearson(k, n):
    lower = mp.mpf(0) if k == 0 else solve(lambda p: (1 - binom_cdf(k - 1, n, p)) - ALPHA / 2, mp.mpf(0), mp.mpf(1))
    upper = mp.mpf(1) if k == n else solve(lambda p: binom_cdf(k, n, p) - ALPHA / 2, mp.mpf(0), mp.mpf(1))
    return lower, upper


def wilson(k, n, cc):
    n = mp.mpf(n)
    p = k / n
    z2 = Z * Z
    if not cc:
        centre = (p + z2 / (2 * n)) / (1 + z2 / n)
        half = Z / (1 + z2 / n) * mp.sqrt(p * (1 - p) / n + z2 / (4 * n * n))
        lo, hi = centre - half, centre + half
    else:
        den = 2 * (n + z2)
        lo = (2 * n * p + z2 - 1 - Z * mp.sqrt(z2 - 2 - 1 / n + 4 * p * (n * (1 - p) + 1))) / den
        hi = (2 * n * p + z2 + 1 + Z * mp.sqrt(z2 + 2 - 1 / n + 4 * p * (n * (1 - p) - 1))) / den
    if k == 0:
        lo = mp.mpf(0)
    if k == n:
        hi = mp.mpf(1)
    return max(lo, mp.mpf(0)), min(hi, mp.mpf(1))


def newcombe(k1, n1, k2, n2):
    p1, p2 = mp.mpf(k1) / n1, mp.mpf(k2) / n2
    l1, u1 = wilson(k1, n1, False)
    l2, u2 = wilson(k2, n2, False)
    d = p1 - p2
    return d, d - mp.sqrt((p1 - l1) ** 2 + (u2 - p2) ** 2), d + mp.sqrt((u1 - p1) ** 2 + (p2 - l2) ** 2)


def exact_cdf(j, n, q):
    if j < 0:
        return Fraction(0)
    total = Fraction(0)
    c = 1
    for i in range(0, min(j, n) + 1):
        total += c * q**i * (1 - q) ** (n - i)
        c = c * (n - i) // (i + 1)
    return total


def ranks(n, q, conf=Fraction(95, 100)):
    a = 1 - conf
    cdf = [exact_cdf(j, n, q) for j in range(0, n + 1)]
    F = lambda j: Fraction(0) if j < 0 else cdf[j]
    lows = [l for l in range(1, n + 1) if F(l - 1) <= a / 2]
    highs = [u for u in range(1, n + 1) if 1 - F(u - 1) <= a / 2]
    if lows and highs:
        l, u = max(lows), min(highs)
    elif lows:
        u = n
        ls = [l for l in range(1, n) if F(n - 1) - F(l - 1) >= conf]
        l = max(ls) if ls else None
    elif highs:
        l = 1
        us = [u for u in range(2, n + 1) if F(u - 1) - F(0) >= conf]
        u = min(us) if us else None
    else:
        l, u = 1, n
    if l is None or u is None or l >= u or F(u - 1) - F(l - 1) < conf:
        return None
    return l, u, F(u - 1) - F(l - 1)


def min_samples(q, conf=Fraction(95, 100)):
    n = 2
    while 1 - q**n - (1 - q) ** n < conf:
        n += 1
    return n


def f(x):
    return mp.nstr(x, 17, min_fixed=-30, max_fixed=30)


def main(sections):
    print("# mpmath", mp.__version__)
    if "ratio" in sections:
        print("# Clopper-Pearson / Wilson / Wilson cc: k, n, lo, hi x3")
        for k, n in [(0, 1), (1, 1), (0, 10), (1, 10), (5, 10), (10, 20), (3, 100), (50, 100),
                     (999, 1000), (1, 1000), (0, 1000), (7, 7), (2, 3)]:
            cp = clopper_pearson(k, n)
            w = wilson(k, n, False)
            wc = wilson(k, n, True)
            print("{%d, %d, %s, %s, %s, %s, %s, %s}," % (k, n, f(cp[0]), f(cp[1]), f(w[0]), f(w[1]),
                                                        f(wc[0]), f(wc[1])))
    if "difference" in sections:
        print("# Newcombe hybrid score: k1, n1, k2, n2, d, lo, hi")
        for k1, n1, k2, n2 in [(56, 70, 48, 80), (9, 10, 3, 10), (6, 7, 2, 7), (5, 56, 0, 29),
                               (0, 10, 0, 20), (10, 10, 0, 20), (97, 100, 90, 100)]:
            d, lo, hi = newcombe(k1, n1, k2, n2)
            print("{%d, %d, %d, %d, %s, %s, %s}," % (k1, n1, k2, n2, f(d), f(max(lo, -1)), f(min(hi, 1))))
    if "beta" in sections:
        print("# incomplete beta: a, b, x, I")
        for a, b, x in [(1, 1, "0.3"), (2, 3, "0.4"), (0.5, 0.5, "0.2"), (10, 20, "0.3"),
                        (100, 200, "0.35"), (500, 500, "0.49"), (1, 1000, "0.001"), (3, 8, "0.6")]:
            print("{%s, %s, %s, %s}," % (a, b, x, f(mp.betainc(a, b, 0, mp.mpf(x), regularized=True))))
    if "quantile" in sections:
        print("# order statistics: n, q, low, high, coverage")
        for n, q in [(5, Fraction(1, 2)), (6, Fraction(1, 2)), (10, Fraction(1, 2)), (20, Fraction(1, 2)),
                     (100, Fraction(1, 2)), (28, Fraction(9, 10)), (29, Fraction(9, 10)),
                     (100, Fraction(9, 10)), (58, Fraction(95, 100)), (59, Fraction(95, 100)),
                     (72, Fraction(95, 100)), (200, Fraction(95, 100)), (148, Fraction(98, 100)), (149, Fraction(98, 100)),
                     (500, Fraction(98, 100))]:
            r = ranks(n, q)
            if r is None:
                print("{%d, %s, 0, 0, 0},  // too few" % (n, float(q)))
            else:
                cov = mp.mpf(r[2].numerator) / r[2].denominator
                print("{%d, %s, %d, %d, %s}," % (n, float(q), r[0], r[1], f(cov)))
        print("# min samples: q, n")
        for q in [Fraction(1, 2), Fraction(9, 10), Fraction(95, 100), Fraction(98, 100), Fraction(1, 10)]:
            print("{%s, %d}," % (float(q), min_samples(q)))


if __name__ == "__main__":
    import sys
    main(sys.argv[1:] or ["ratio", "difference", "beta", "quantile"])
