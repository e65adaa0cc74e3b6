#!/usr/bin/env python3
"""Prints the three tables of powers of ten for src/console/powers_of_ten.cpp.

Each entry is 10^k rounded to the nearest x87 extended value (64-bit
significand, ties to even), written as an exact hexadecimal literal so that
no compiler's decimal conversion takes part.
"""


def extended_literal(k: int) -> str:
    value = 10**k
    bits = value.bit_length()
    shift = bits - 64
    if shift <= 0:
        mantissa, exponent = value, 0
    else:
        mantissa = value >> shift
        remainder = value - (mantissa << shift)
        half = 1 << (shift - 1)
        if remainder > half or (remainder == half and mantissa & 1):
            mantissa += 1
            if mantissa.bit_length() > 64:
                mantissa >>= 1
                shift += 1
        exponent = shift
    return f"0x{mantissa:X}p{exponent:+d}L"


def table(name: str, exponents, comment: str) -> str:
    lines = [f"// {comment}", f"const Extended {name}[{len(exponents)}] = {{"]
    for k in exponents:
        lines.append(f"    {extended_literal(k) if k is not None else '0.0L'},  // " +
                     (f"10^{k}" if k is not None else "unused"))
    lines.append("};")
    return "\n".join(lines)


print(table("PowersOfTenLow", list(range(32)), "10^0 .. 10^31"))
print()
print(table("PowersOfTenMid", [None] + [32 * j for j in range(1, 16)], "10^(32 j), j = 1 .. 15"))
print()
print(table("PowersOfTenHigh", [None] + [512 * i for i in range(1, 10)], "10^(512 i), i = 1 .. 9"))
