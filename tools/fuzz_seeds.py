#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets under fuzz/corpus/.

The seeds are the worked example of the dialogue, the edge tokens of number
reading and the worked rows of fixed-point writing. Values are rounded to
double and extended in exact rational arithmetic. Run from anywhere:

    tools/fuzz_seeds.py
"""
import hashlib
import pathlib
import struct
from fractions import Fraction as F

ROOT = pathlib.Path(__file__).resolve().parent.parent / "fuzz" / "corpus"


def binary_exponent(a):
    e = a.numerator.bit_length() - a.denominator.bit_length()
    while F(2) ** e > a:
        e -= 1
    while F(2) ** (e + 1) <= a:
        e += 1
    return e


def nearest(x, bits, emin):
    """(negative, significand, exponent) of x rounded to `bits` significant bits."""
    a = abs(x)
    e = max(binary_exponent(a), emin)
    quantum = F(2) ** (e - bits + 1)
    n, rest = divmod(a / quantum, 1)
    n = int(n)
    if rest > F(1, 2) or (rest == F(1, 2) and n & 1):
        n += 1
    if n == 2**bits:
        n //= 2
        e += 1
    return n, e


def double_bytes(x, negative=False):
    if x == "inf" or x == "-inf":
        return struct.pack("<Q", (0x7FF << 52) | ((x == "-inf") << 63))
    if x == "nan":
        return struct.pack("<Q", (0x7FF << 52) | (1 << 51))
    if x == 0:
        return struct.pack("<Q", int(negative) << 63)
    n, e = nearest(x, 53, -1022)
    biased = e + 1023 if n >= 2**52 else 0
    return struct.pack("<Q", ((x < 0) << 63) | (biased << 52) | (n & (2**52 - 1)))


def extended_bytes(x, negative=False):
    if x in ("inf", "-inf"):
        return struct.pack("<QH", 1 << 63, 0x7FFF | ((x == "-inf") << 15))
    if x == "nan":
        return struct.pack("<QH", 3 << 62, 0x7FFF)
    if x == 0:
        return struct.pack("<QH", 0, int(negative) << 15)
    n, e = nearest(x, 64, -16382)
    biased = e + 16383 if n >= 2**63 else 0
    return struct.pack("<QH", n, biased | ((x < 0) << 15))


def write(target, name, data):
    folder = ROOT / target
    folder.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    (folder / name).write_bytes(data)


WORKED_POINTS = ["4800.000", "2850.000", "5000.000", "3000.000",
                 "5165.381", "3770.824", "4882.538", "4053.667"]
WORKED_ANGLES = ["219.0346", "250.0008", "174.9991", "265.0013"]
WORKED_LENGTHS = ["250.012", "299.987", "280.009"]


def answers(points=WORKED_POINTS, side="left", count="4", angles=WORKED_ANGLES,
            lengths=WORKED_LENGTHS, end="\n", exit_line=""):
    lines = points + [side, count] + angles + lengths + [exit_line]
    return end.join(lines) + end


def dialogue_seeds():
    # Each angle replaced by 400 minus it.
    right = ["180.9654", "149.9992", "225.0009", "134.9987"]
    seeds = {
        "worked_left": answers(),
        "worked_right": answers(side="right", angles=right),
        "worked_crlf": answers(end="\r\n"),
        "empty": "",
        "side_upper_case": answers(side="LEFT"),
        "side_blanks": answers(side="  left \t"),
        "count_0": answers(count="0", angles=[], lengths=[]),
        "count_1": answers(count="1", angles=["100"], lengths=[]),
        "count_2": answers(count="2", angles=["100", "300"], lengths=["10"]),
        "count_258": answers(count="258"),
        "count_minus_1": answers(count="-1"),
        "count_hex": answers(count="$4"),
        "a_equals_b": answers(points=["1", "2", "1", "2"] + WORKED_POINTS[4:]),
        "c_equals_d": answers(points=WORKED_POINTS[:4] + ["7", "7", "7", "7"]),
        "zero_lengths": answers(lengths=["0", "0", "0"]),
        "overflow": answers(points=["1E400"] + WORKED_POINTS[1:]),
        "invalid_number": answers(points=["12,5"] + WORKED_POINTS[1:]),
        "long_number": answers(points=["1" * 70] + WORKED_POINTS[1:]),
        "sub_before_number": "4800\n2850\n\x1a5000\n",
        "sub_in_answer": answers(side="le\x1aft"),
        "blank_lines": "\n\n  4800.000  xyz\n" + answers()[9:],
        "no_exit_line": answers()[:-1],
        "wrap_near_400": answers(angles=["219.0346", "250.0008", "174.9991", "665.0013"]),
    }
    for name, text in seeds.items():
        write("fuzz_dialogue", name, text)


REAL_TOKENS = [
    "1e3", "1E+3", "1000.", ".1e4", ".", "e5", "+.E-7", "-0", "1.e2", "12,5", "1.2.3", "1e",
    "1e+", "+", "-", "--1", "$10", "0x10", "INF", "1" * 70, "1" * 64, "1E400", "1E5000",
    "1E5120", "0E5120", "-1E5120", "1E-5120", "1E-400", "  12.5  xyz\r\n", "219.0346",
    "1.18973149535723176509e4932", "3.6e-4951", "9999999999999999999e27", "0.1\n0.2\n\x1a3",
    "18446744073709551617", "1e999999999", "-0.0e-5\n1\n", "1\x1a",
]

INTEGER_TOKENS = [
    "$1F", "x1F", "0X1f", "+$10", "-$1", "$FFFFFFFF", "2147483647", "-2147483648",
    "2147483648", "$123456789", "12.0", "1e2", "0" * 32 + "7", "258", "-1", "300", "4\r\n",
    "0x", "$", "--1", "5\n\x1a6",
]

FIXED_VALUES = [
    (0, False), (0, True), (F("1.005"), False), (F("-0.004"), False), (F("0.125"), False),
    (F("0.015"), False), (F("0.995"), False), (F("2.675"), False), (F("9.999"), False),
    (F("99.995"), False), (F("-1.5"), False), (F("-250.5"), False), (F("12345.678"), False),
    (F("5432123.456"), False), (F("1234567.125"), False), (F(10) ** 20, False),
    (F(10) ** 36, False), (F(2) ** 120, False), (F(10) ** 37, False), (-2 * F(10) ** 40, False),
    ("inf", False), ("-inf", False), ("nan", False),
]


def number_seeds():
    for token in REAL_TOKENS:
        write("fuzz_read_real", hashlib.sha1(token.encode("latin-1")).hexdigest()[:12], token)
    for token in INTEGER_TOKENS:
        write("fuzz_read_integer", hashlib.sha1(token.encode("latin-1")).hexdigest()[:12], token)
    for index, (value, negative) in enumerate(FIXED_VALUES):
        data = (extended_bytes(value, negative) + struct.pack("<hh", 5, 2) +
                double_bytes(value, negative))
        write("fuzz_format_fixed", "row_%02d" % index, data)


if __name__ == "__main__":
    dialogue_seeds()
    number_seeds()
