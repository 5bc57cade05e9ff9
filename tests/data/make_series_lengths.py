#!/usr/bin/env python3
"""Writes the series length and solver status for every vector length n from 2 to 16001 and
x = 5 and 239, as the program must estimate them.

The estimate is recomputed here independently of the program: the single-precision values are
rounded with Python's struct module, the double-precision steps are Python's own floats, and
every natural logarithm is taken from the decimal module to 50 digits (correctly rounded) and
then rounded once to a double. So the table does not depend on any C library's log, and a
target whose log or float evaluation strays from this recipe shows up as a mismatch.
Usage: make_series_lengths.py > series_lengths.txt
"""
import struct
import sys
from decimal import Decimal, Context

LOG_CONTEXT = Context(prec=50)
GAVE_UP = 2001


def f32(value):
    """The double rounded to the nearest single-precision float, as a double."""
    return struct.unpack("f", struct.pack("f", value))[0]


def ln(value):
    return float(Decimal(value).ln(LOG_CONTEXT))


def series_length(n, x):
    inv_log_x = f32(1.0 / ln(float(x)))
    decimals = 4 * n  # four decimals a word, guard word included
    target_log = f32(float(decimals) * f32(2.302585))

    def g(t):
        return f32(0.5 * ((target_log - ln(t)) * inv_log_x + 1.0))

    tol = f32(0.5)
    status = 0
    t = target_log
    count = 0
    prev = t
    t = g(t)
    step = f32(abs(t - prev))
    while True:
        prev_step = step
        prev = t
        t = g(t)
        step = f32(abs(t - prev))
        if step <= tol * abs(t):
            break
        if not prev_step > step:
            count += 1
        if count == 6:
            status = GAVE_UP
            break
    return int(t) + 1, status


def main():
    out = sys.stdout
    out.write("# n, then the series length and the solver status for x = 5 and for x = 239\n")
    for n in range(2, 16002):
        length5, status5 = series_length(n, 5)
        length239, status239 = series_length(n, 239)
        out.write(f"{n} {length5} {status5} {length239} {status239}\n")


if __name__ == "__main__":
    main()
