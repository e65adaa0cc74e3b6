#!/usr/bin/env python3
"""Expected texts for tests/console/number_writing_test.cpp, by exact arithmetic.

Emulates the x87 extended format (64-bit significand, round to nearest, ties
to even) with fractions, and writes reals the way FormatFixed does: normalise
by the rounded powers of ten, round a × 10^17 to an integer, round half up at
the requested place. Prints table rows to paste into the tests.
"""
from fractions import Fraction as F

def round_bits(q, bits):
    """q rounded to nearest with `bits` significant bits, ties to even (no range limits)."""
    if q == 0: return F(0)
    sign = -1 if q < 0 else 1
    q = abs(q)
    m = q.numerator.bit_length() - q.denominator.bit_length()
    # ensure 2^m <= q < 2^(m+1)
    if F(2)**m > q: m -= 1
    if F(2)**(m+1) <= q: m += 1
    scale = F(2)**(bits - 1 - m)
    s = q * scale
    fl = s.numerator // s.denominator
    rem = s - fl
    if rem > F(1,2) or (rem == F(1,2) and fl % 2 == 1): fl += 1
    return sign * F(fl) / scale

ext = lambda q: round_bits(q, 64)
dbl = lambda q: round_bits(q, 53)

LOW = [ext(F(10)**k) for k in range(32)]
MID = [None] + [ext(F(10)**(32*j)) for j in range(1, 16)]
HIGH = [None] + [ext(F(10)**(512*i)) for i in range(1, 10)]

def scale(v, e):
    if e == 0: return v
    up = e > 0; n = abs(e)
    def step(v, p): return ext(v * p) if up else ext(v / p)
    v = step(v, LOW[n % 32])
    q = n // 32
    if q:
        if q % 16: v = step(v, MID[q % 16])
        if q // 16: v = step(v, HIGH[q // 16])
    return v

def biased_exponent(a):
    m = a.numerator.bit_length() - a.denominator.bit_length()
    if F(2)**m > a: m -= 1
    if F(2)**(m+1) <= a: m += 1
    return m + 16383

def normalize(a):
    e = 0
    while True:
        k = ((biased_exponent(a) - 16383) * 19728) >> 16
        if k == 0: return a, e
        a = scale(a, -k); e += k

def round_int_even(q):
    fl = q.numerator // q.denominator
    rem = q - fl
    if rem > F(1,2) or (rem == F(1,2) and fl % 2): fl += 1
    return fl

def digit_string(a, n):
    v = round_int_even(ext(a * F(10)**17))
    d = []
    if v >= 10**18: d.append(1); v -= 10**18
    else: d.append(0)
    d += [int(c) for c in f"{v:018d}"]
    if n >= 18:
        d += [0] * (n - 18)
    else:
        if d[n+1] >= 5:
            i = n
            d[i] += 1
            while d[i] == 10:
                d[i] = 0; i -= 1; d[i] += 1
        d = d[:n+1]
    return "".join(str(x) for x in d)

def pad(t, w):
    return " " * max(0, w - len(t)) + t

def format_fixed(x, w, d, negative=None):
    """x: Fraction (or 'inf', '-inf', 'nan'), exact extended value."""
    w = min(max(w, 0), 255); d = min(max(d, 0), 216)
    if x == 'inf': return pad("+Inf", w)
    if x == '-inf': return pad("-Inf", w)
    if x == 'nan': return pad("Nan", w)
    if negative is None: negative = x < 0
    a = abs(x); e = 0
    sci = False
    if a >= 10:
        a, e = normalize(a)
        sci = e > 35
    if not sci:
        n = e + 1 + d
        D = digit_string(a, n)
        ip = D[1:e+2] if D[0] == '0' else D[0:e+2]
        fp = D[e+2:n+1]
        t = ("-" if negative else "") + ip + ("." + fp if d > 0 else "")
        return pad(t, w)
    c = min(max(w - 8, 2), 18)
    if a < 10:
        D = digit_string(a, c)
        if D[0] == '0': mant, ex = D[1:c+1], e
        else: mant, ex = D[0:c], e + 1
    else:
        # round at the printed place
        D = digit_string(a, c - 1)
        mant, ex = D[0:c], e + 1
    t = ("-" if negative else " ") + mant[0] + "." + mant[1:] + "E+" + f"{ex:04d}"
    return pad(t, w)

def hexf(q):
    """exact hex-float literal of a dyadic Fraction"""
    if q == 0: return "0x0p+0"
    s = "-" if q < 0 else ""
    q = abs(q)
    m = q.numerator.bit_length() - q.denominator.bit_length()
    if F(2)**m > q: m -= 1
    if F(2)**(m+1) <= q: m += 1
    sig = q / F(2)**(m - 63)
    assert sig.denominator == 1
    return f"{s}0x{sig.numerator:X}p{m-63:+d}"


def is_double(q):
    return q == 0 or round_bits(q, 53) == q and abs(q) < F(2)**1024 and abs(q) >= F(2)**-1022

def literal(q):
    """An exact C++ long double literal for q."""
    if is_double(q):
        return float(q).hex() + "L"
    return hexf(q) + "L"

def c_string(t):
    return '"' + t + '"'

def nearest_double(text):
    return dbl(F(text))

LDBL_MAX = (F(2)**64 - 1) * F(2)**(16383 - 63)

# FormatFixed rows: (what it stands for, value, width, decimals)
FIXED = [
    # ties and near-ties at the second decimal
    *[(t, nearest_double(t), 5, 2) for t in [
        "0.005", "0.045", "1.015", "4.355", "9.995", "10.005", "100.005", "1000.005",
        "0.375", "-0.125", "-0.005"]],
    ("2.5", F(5, 2), 0, 0), ("-0.5", F(-1, 2), 0, 0),
    ("0.49", nearest_double("0.49"), 0, 0), ("999.9995", nearest_double("999.9995"), 0, 3),
    ("5e-324", F(2)**-1074, 5, 2), ("-1e-300", nearest_double("-1e-300"), 5, 2),
    # around 17 and 18 digits after D0: the rounding place moves past the last digit of a
    ("1/3", dbl(F(1, 3)), 0, 16), ("1/3", dbl(F(1, 3)), 0, 17), ("0.1", nearest_double("0.1"), 0, 20),
    ("12345.678", nearest_double("12345.678"), 0, 12), ("12345.678", nearest_double("12345.678"), 0, 13),
    ("1234567890123456.7", nearest_double("1234567890123456.7"), 5, 2),
    ("1e17", nearest_double("1e17"), 0, 0), ("1e35", nearest_double("1e35"), 5, 2),
    ("below 2^120", F(2)**120 - F(2)**(119 - 52), 5, 2),
    ("-below 2^120", -(F(2)**120 - F(2)**(119 - 52)), 0, 1),
    # the scientific form
    ("9.96e36", nearest_double("9.96e36"), 5, 2), ("1.06e37", nearest_double("1.06e37"), 5, 2),
    ("1.05451e37", nearest_double("1.05451e37"), 12, 2), ("1.05449e37", nearest_double("1.05449e37"), 12, 2),
    ("1.5996e38", nearest_double("1.5996e38"), 5, 2), ("1.65e38", nearest_double("1.65e38"), 5, 2),
    ("-2e40", nearest_double("-2e40"), 12, 2), ("2^120", F(2)**120, 9, 2),
    ("2^120", F(2)**120, 26, 2), ("2^120", F(2)**120, 40, 2), ("1.06e37", nearest_double("1.06e37"), 26, 2),
    ("largest double", (F(2)**53 - 1) * F(2)**(1023 - 52), 5, 2), ("-largest extended", -LDBL_MAX, 5, 2),
]

print("// FormatFixed rows")
for what, q, w, d in FIXED:
    print(f"    {{{literal(q)}, {w}, {d}, {c_string(format_fixed(q, w, d))}}},  // {what}")

print("\n// the longest fixed text")
q = -(F(2)**120 - F(2)**(119 - 52))
t = format_fixed(q, 0, 216)
print(len(t), literal(q), c_string(t))

# NormalizeDecimal rows
NORM = [("10", F(10)), ("just under 16", F(16) - F(2)**-60), ("16", F(16)), ("1e36", nearest_double("1e36")),
        ("2^120", F(2)**120), ("1.65e38", nearest_double("1.65e38")),
        ("largest double", (F(2)**53 - 1) * F(2)**(1023 - 52)), ("largest extended", LDBL_MAX)]
print("\n// NormalizeDecimal rows")
for what, q in NORM:
    v, e = normalize(q)
    print(f"    {{{literal(q)}, {hexf(v)}L, {e}}},  // {what}")

# DigitString rows
TIE_EVEN = F(int("F5C28F5C28F5F671", 16), 2**68)   # a × 10^17 rounds to 6000000000000004.5
DIGITS = [("0", F(0), 0), ("0", F(0), 20), ("5", F(5), 0), ("4.9", nearest_double("4.9"), 0),
          ("15.999", nearest_double("15.999"), 2), ("10 - 2^-60", F(10) - F(2)**-60, 17),
          ("10 - 2^-60", F(10) - F(2)**-60, 18), ("tie", TIE_EVEN, 18), ("tie", TIE_EVEN, 17),
          ("1/3", ext(F(1, 3)), 25), ("0.015", nearest_double("0.015"), 3)]
print("\n// DigitString rows")
for what, q, n in DIGITS:
    print(f"    {{{literal(q)}, {n}, {c_string(digit_string(q, n))}}},  // {what}")

