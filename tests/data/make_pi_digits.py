#!/usr/bin/env python3
"""Writes the first N decimals of pi after the point, 100 to a line.

The digits come from the Chudnovsky series summed by binary splitting in Python's integer
arithmetic, a method independent of the program's (Machin's formula on base-10000 words), and
are checked against a second independent sum (Gauss's arctangent formula) before they are
written. Usage: make_pi_digits.py N > pi_decimals.txt
"""
import math
import sys


def chudnovsky_decimals(count):
    # pi = 426880 * sqrt(10005) / sum; with 10 guard digits against truncation.
    guard = 10
    scale = 10 ** (count + guard)

    def split(a, b):
        if b - a == 1:
            if a == 0:
                p = q = 1
            else:
                p = (6 * a - 5) * (2 * a - 1) * (6 * a - 1)
                q = a * a * a * 10939058860032000
            t = p * (13591409 + 545140134 * a)
            return p, q, -t if a & 1 else t
        m = (a + b) // 2
        p1, q1, t1 = split(a, m)
        p2, q2, t2 = split(m, b)
        return p1 * p2, q1 * q2, t1 * q2 + p1 * t2

    terms = count // 14 + 2
    _, q, t = split(0, terms)
    root = math.isqrt(10005 * scale * scale)
    pi_scaled = (426880 * root * q) // t
    return str(pi_scaled)[1:count + 1]


def arctan_inverse(x, scale):
    total = term = scale // x
    k, x2, sign = 1, x * x, -1
    while term:
        term //= x2
        total += sign * (term // (2 * k + 1))
        k, sign = k + 1, -sign
    return total


def gauss_decimals(count):
    # pi = 48 arctan(1/18) + 32 arctan(1/57) - 20 arctan(1/239)
    guard = 10
    scale = 10 ** (count + guard)
    pi_scaled = (48 * arctan_inverse(18, scale) + 32 * arctan_inverse(57, scale)
                 - 20 * arctan_inverse(239, scale))
    return str(pi_scaled)[1:count + 1]


def main():
    if hasattr(sys, "set_int_max_str_digits"):
        sys.set_int_max_str_digits(0)
    count = int(sys.argv[1])
    digits = chudnovsky_decimals(count)
    if digits != gauss_decimals(count):
        sys.exit("the two methods disagree")
    for i in range(0, count, 100):
        print(digits[i:i + 100])


if __name__ == "__main__":
    main()
