#!/usr/bin/env python3
"""Exact reference for the expected values of the number-reading tests.

Works in rational arithmetic and rounds to the x87 extended format (64-bit
significand, ties to even, gradual underflow) after every step, exactly as
the conversion does: each mantissa step m := m * 10 + digit, each table step
of ScaleByPowerOfTen. Prints one test row per token given on the command line:

    tools/extended_reference.py 1e3 0.1 -0 12,5
    tools/extended_reference.py --scale 1 4932    # ScaleByPowerOfTen(1, 4932)
"""
import sys
from fractions import Fraction as F

EMIN = -16382  # exponent of the smallest normal value, 2^-16382
EMAX = 16383   # exponent of the largest finite value, just below 2^16384


class Overflow(Exception):
    pass


def binary_exponent(a: F) -> int:
    """floor(log2(a)) for a > 0."""
    e = a.numerator.bit_length() - a.denominator.bit_length()
    while F(2) ** e > a:
        e -= 1
    while F(2) ** (e + 1) <= a:
        e += 1
    return e


def rnd(x: F) -> F:
    """x rounded to the nearest extended value; Overflow beyond the range."""
    if x == 0:
        return F(0)
    a = abs(x)
    quantum = F(2) ** (max(binary_exponent(a), EMIN) - 63)
    scaled = a / quantum
    n, rest = divmod(scaled.numerator, scaled.denominator)
    if 2 * rest > scaled.denominator or (2 * rest == scaled.denominator and n & 1):
        n += 1
    v = n * quantum
    if v >= F(2) ** (EMAX + 1):
        raise Overflow()
    return v if x > 0 else -v


def literal(x: F, negative_zero: bool = False) -> str:
    """A C++ hexadecimal long double literal of the extended value x."""
    if x == 0:
        return "-0.0L" if negative_zero else "0.0L"
    a = abs(x)
    e = binary_exponent(a)
    bits = (a / F(2) ** e - 1) * 2**64
    assert bits.denominator == 1, x
    digits = format(int(bits), "016x").rstrip("0")
    return f"{'-' if x < 0 else ''}0x1{'.' + digits if digits else ''}p{e:+d}L"


LOW = [rnd(F(10) ** k) for k in range(32)]
MID = [None] + [rnd(F(10) ** (32 * j)) for j in range(1, 16)]
HIGH = [None] + [rnd(F(10) ** (512 * i)) for i in range(1, 10)]


def scale(v: F, e: int) -> F:
    """ScaleByPowerOfTen: one rounded operation per table step."""
    if e == 0:
        return v
    if e >= 5120:
        if v == 0:
            return v
        raise Overflow()
    if e <= -5120:
        return F(0)
    n = abs(e)

    def step(v, power):
        return rnd(v * power) if e > 0 else rnd(v / power)

    v = step(v, LOW[n % 32])
    q = n // 32
    if q:
        if q % 16:
            v = step(v, MID[q % 16])
        if q // 16:
            v = step(v, HIGH[q // 16])
    return v


def parse_real(token: str):
    """(ok, value, stop, negative) of a token, or Overflow."""
    i, n, negative = 0, len(token), False
    if n == 0:
        return False, F(0), 0, False
    if token[0] in "+-":
        negative, i = token[0] == "-", 1
        if i == n:
            return False, F(0), i, False
    m, k = F(0), 0
    while i < n and token[i].isdigit():
        m = rnd(rnd(m * 10) + int(token[i]))
        i += 1
    if i < n and token[i] == ".":
        i += 1
        while i < n and token[i].isdigit():
            m = rnd(rnd(m * 10) + int(token[i]))
            k, i = k + 1, i + 1
    x = 0
    if i < n and token[i] in "eE":
        i += 1
        exponent_negative = False
        if i < n and token[i] in "+-":
            exponent_negative, i = token[i] == "-", i + 1
        if i == n or not token[i].isdigit():
            return False, m, i, False
        while i < n and token[i].isdigit():
            if x < 10**8:  # the accumulator stops growing here
                x = x * 10 + int(token[i])
            i += 1
        x = -x if exponent_negative else x
    if i < n:
        return False, m, i, False
    v = scale(m, max(-5120, min(5120, x - k)))
    return True, -v if negative else v, i, negative


def real_row(token: str) -> str:
    try:
        ok, v, stop, negative = parse_real(token)
    except Overflow:
        return f"  // {token!r} raises EOverflow"
    value = literal(v, negative_zero=ok and negative and v == 0)
    return f'    {{"{token}", {value}, {stop}, {"true" if ok else "false"}}},'


def value_of(text: str) -> F:
    """A decimal integer or a form like 0x1p-16000 / -3."""
    sign = -1 if text.startswith("-") else 1
    text = text.lstrip("+-")
    if "p" in text:
        m, e = text.split("p")
        return sign * F(int(m, 16) if m.lower().startswith("0x") else int(m)) * F(2) ** int(e)
    return sign * F(text)


if __name__ == "__main__":
    args = sys.argv[1:]
    if args[:1] == ["--scale"]:
        v, e = value_of(args[1]), int(args[2])
        try:
            r = scale(rnd(v), e)
            print(literal(r, negative_zero=r == 0 and v < 0 and e > -5120))
        except Overflow:
            print("raises EOverflow")
    else:
        for token in args:
            print(real_row(token))
