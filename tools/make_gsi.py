#!/usr/bin/env python3
"""Writes a Leica GSI file from true coordinates, so that a reader's result
can be checked against the truth.

The job: control points A and B on coordinate lines (81-83, no observation),
a traverse A, P1, P2, B with a setup on each (station line 84-86 and 88),
each setup reading its neighbours in face one and face two for --rounds
rounds, and --sideshots sideshots from P1 with their instrument-computed
coordinates (81-83 on the observation line). Every value is written in the
chosen units digit and width, so it holds the truth to half its last digit.

    tools/make_gsi.py [--angle 2|3|4|5] [--length 0|1|6|7|8] [--gsi8]
                      [--line-end crlf|lf|cr] [--rounds N] [--sideshots N] [--dashes] > FILE

--dashes adds to every pointing a remark (72) written as dashes: no value.
"""
import argparse
import math
import sys

RHO = 200 / math.pi  # gon per radian
POINTS = {  # east, north, height
    "A": (1000.0, 2000.0, 100.0),
    "P1": (1120.5, 2060.25, 101.5),
    "P2": (1260.75, 2010.5, 99.25),
    "B": (1380.0, 2085.5, 102.0),
}
SETUPS = [("A", "B", "P1"), ("P1", "A", "P2"), ("P2", "P1", "B"), ("B", "P2", "A")]
HI, HT = 1.55, 1.3


def angle_data(units, gon):
    if units == "2":
        return round(gon * 1e5)
    if units == "3":
        return round(gon * 0.9 * 1e5)
    if units == "5":
        return round(gon * 16 * 1e4)
    tenths = round(gon * 0.9 * 36000)  # DDDMMSSs
    return tenths // 36000 * 100000 + tenths // 600 % 60 * 1000 + tenths % 600


def length_data(units, metres):
    scale = {"0": 1e3, "6": 1e4, "8": 1e5, "1": 1e3 / 0.3048, "7": 1e4 / 0.3048}[units]
    return round(metres * scale)


class Writer:
    def __init__(self, args):
        self.args = args
        self.width = 8 if args.gsi8 else 16
        self.block = 0
        self.end = {"crlf": "\r\n", "lf": "\n", "cr": "\r"}[args.line_end]
        self.out = sys.stdout

    def word(self, head, value):
        digits = str(abs(value))
        if len(digits) > self.width:
            sys.exit(f"make_gsi.py: {head} needs {len(digits)} digits; GSI-{self.width} holds {self.width}")
        return f"{head}{'-' if value < 0 else '+'}{digits.zfill(self.width)} "

    def ident(self, name):
        self.block += 1
        return f"11{self.block % 10000:04d}+{name.rjust(self.width, '0')} "

    def length(self, wi, metres):
        return self.word(f"{wi}...{self.args.length}", length_data(self.args.length, metres))

    def angle(self, wi, gon):
        return self.word(f"{wi}...{self.args.angle}", angle_data(self.args.angle, gon))

    def line(self, words):
        prefix = "" if self.args.gsi8 else "*"
        self.out.write(prefix + words.rstrip() + " " + self.end)

    def pointing(self, station, zero, target, face, computed=False):
        s, t = POINTS[station], POINTS[target]
        de, dn = t[0] - s[0], t[1] - s[1]
        dh = t[2] + HT - s[2] - HI
        horizontal = math.hypot(de, dn)
        hz = (math.atan2(de, dn) * RHO - zero) % 400
        v = math.atan2(horizontal, dh) * RHO
        if face == 2:
            hz, v = (hz + 200) % 400, 400 - v
        words = (self.ident(target) + self.angle("21", hz) + self.angle("22", v) +
                 self.length("31", math.hypot(horizontal, dh)) + self.length("87", HT))
        if self.args.dashes:
            words += "72....+" + "-" * self.width + " "
        if computed:  # the instrument's own coordinates, its circle oriented (zero 0)
            words += self.length("81", t[0]) + self.length("82", t[1]) + self.length("83", t[2])
        self.line(words)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--angle", default="4", choices="2345")
    parser.add_argument("--length", default="6", choices="01678")
    parser.add_argument("--gsi8", action="store_true")
    parser.add_argument("--line-end", default="crlf", choices=["crlf", "lf", "cr"])
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--sideshots", type=int, default=0)
    parser.add_argument("--dashes", action="store_true")
    args = parser.parse_args()
    w = Writer(args)
    for name in ("A", "B"):
        e, n, h = POINTS[name]
        w.line(w.ident(name) + w.length("81", e) + w.length("82", n) + w.length("83", h))
    for k, setup in enumerate(SETUPS):
        station = setup[0]
        e, n, h = POINTS[station]
        w.line(w.ident(station) + w.length("84", e) + w.length("85", n) + w.length("86", h) +
               w.length("88", HI))
        zero = 0.0 if station == "P1" and args.sideshots else 37.5 + 91.25 * k
        for _ in range(args.rounds):
            for target in setup[1:]:
                w.pointing(station, zero, target, 1)
            for target in reversed(setup[1:]):
                w.pointing(station, zero, target, 2)
        if station == "P1":
            for i in range(args.sideshots):
                name = f"S{i + 1}"
                a, r = i * 0.61803 * 400 % 400 / RHO, 5 + (i * 7.3) % 90
                POINTS[name] = (e + r * math.sin(a), n + r * math.cos(a), h + (i % 7) * 0.1)
                w.pointing(station, zero, name, 1, computed=True)


if __name__ == "__main__":
    main()
