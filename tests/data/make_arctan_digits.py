#!/usr/bin/env python3
"""Writes the first N decimals of arctan(1/X) after the point, 100 to a line.

The value is summed exactly by binary splitting of Euler's series
arctan(1/x) = sum over k of (2^2k (k!)^2 / (2k+1)!) * x / (x^2 + 1)^(k+1)
in Python's integer arithmetic: neither the program's series (the Taylor series on base-10000
words) nor its arithmetic. Before anything is written the digits are checked twice: against the
Taylor series summed in Python's integers, and, through Machin's formula, against the Chudnovsky
decimals of pi in pi_decimals.txt (16 arctan(1/5) - 4 arctan(1/239) = pi; the script then needs
both X). Usage: make_arctan_digits.py N X > arctanX_decimals.txt
"""
import os
import sys

GUARD = 12


def euler_scaled(x, count):
    # Term k is T(k) = x/(x^2+1) * prod over j = 1..k of 2j / ((2j+1)(x^2+1)): a ratio of
    # products p/q that binary splitting sums as one fraction.
    y = x * x + 1

    def split(a, b):  # terms a..b-1 relative to term a: (p, q, t) with sum = t / q
        if b - a == 1:
            if a == 0:
                return 1, 1, 1
            return 2 * a, (2 * a + 1) * y, 2 * a
        m = (a + b) // 2
        p1, q1, t1 = split(a, m)
        p2, q2, t2 = split(m, b)
        return p1 * p2, q1 * q2, t1 * q2 + p1 * t2

    # Each term is below the one before divided by (x^2 + 1) / 1: enough terms for the digits.
    terms = 1
    while y ** terms < 10 ** (count + GUARD):
        terms += 1
    _, q, t = split(0, terms + 1)
    scale = 10 ** (count + GUARD)
    return scale * x * t // (y * q)


def taylor_scaled(x, count):
    scale = 10 ** (count + GUARD)
    total = term = scale // x
    k, x2, sign = 1, x * x, -1
    while term:
        term //= x2
        total += sign * (term // (2 * k + 1))
        k, sign = k + 1, -sign
    return total


def decimals(scaled, count):
    return str(scaled).rjust(count + GUARD, "0")[:count]


def main():
    if hasattr(sys, "set_int_max_str_digits"):
        sys.set_int_max_str_digits(0)
    count, x = int(sys.argv[1]), int(sys.argv[2])
    value = euler_scaled(x, count)
    if abs(value - taylor_scaled(x, count)) > 1000:
        sys.exit("Euler's and Taylor's series disagree")
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "pi_decimals.txt")) as f:
        pi = "".join(f.read().split())[:count - 4]
    pi_scaled = 16 * euler_scaled(5, count) - 4 * euler_scaled(239, count)
    if str(pi_scaled)[1:count - 4] != pi[:count - 5]:
        sys.exit("16 arctan(1/5) - 4 arctan(1/239) is not pi")
    digits = decimals(value, count)
    for i in range(0, count, 100):
        print(digits[i:i + 100])


if __name__ == "__main__":
    main()
