#!/usr/bin/env python3
"""Writes a Leica GSI-16 file of N sideshots, as a day of detail survey
downloads: the known points M1, K1, K2 and M2 (coordinate lines, 81-83), a
connecting traverse M1, K1, P, K2, M2 of three setups (station lines 84-86
and 88; the backsight and foresight read in both faces), and from each of
the two setups on known points half of the sideshots, one face each, with a
zenith, a slope distance, a code (71) and the coordinates the instrument
computed (81-83). The circles on K1 and K2 are oriented, so the instrument's
coordinates agree with the radial computation.

Values are exact to half their last digit (gon to 1e-5, metres to 0.1 mm)
apart from up to 1 mm of noise on the sideshots' distances from a fixed
seed, so the file is the same on every machine. --megabytes M writes
sideshots until the file holds M MB; N is then ignored.

    python3 bench/make_gsi_book.py 250000 > sideshots.gsi
    python3 bench/make_gsi_book.py --megabytes 50 > sideshots_50mb.gsi
"""
import math
import random
import sys

RHO = 200 / math.pi  # gon per radian
POINTS = {  # east, north, height
    "M1": (1000.0, 2600.0, 104.0),
    "K1": (1000.0, 2000.0, 100.0),
    "P": (1350.0, 2080.0, 101.2),
    "K2": (1700.0, 2010.0, 102.5),
    "M2": (1750.0, 2550.0, 99.0),
}
SETUPS = [("K1", "M1", "P"), ("P", "K1", "K2"), ("K2", "P", "M2")]
HI, HT = 1.55, 1.30


class Writer:
    def __init__(self, out):
        self.out = out
        self.block = 0
        self.size = 0

    def word(self, head, value):
        return f"{head}{'-' if value < 0 else '+'}{str(abs(value)).zfill(16)} "

    def ident(self, name):
        self.block += 1
        return f"11{self.block % 10000:04d}+{name.rjust(16, '0')} "

    def length(self, wi, metres):
        return self.word(f"{wi}...6", round(metres * 1e4))

    def angle(self, wi, gon):
        return self.word(f"{wi}...2", round(gon * 1e5))

    def line(self, words):
        text = "*" + words.rstrip() + " \r\n"
        self.size += len(text)
        self.out.write(text)

    def pointing(self, station, zero, name, target, face, slope_noise=0.0, code=None,
                 computed=False):
        s = POINTS[station]
        de, dn = target[0] - s[0], target[1] - s[1]
        dh = target[2] + HT - s[2] - HI
        horizontal = math.hypot(de, dn)
        hz = (math.atan2(de, dn) * RHO - zero) % 400
        v = math.atan2(horizontal, dh) * RHO
        if face == 2:
            hz, v = (hz + 200) % 400, 400 - v
        words = (self.ident(name) + self.angle("21", hz) + self.angle("22", v) +
                 self.length("31", math.hypot(horizontal, dh) + slope_noise) +
                 self.length("87", HT))
        if code is not None:
            words += self.word("71....", code)
        if computed:
            words += (self.length("81", target[0]) + self.length("82", target[1]) +
                      self.length("83", target[2]))
        self.line(words)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    megabytes = None
    if "--megabytes" in sys.argv:
        megabytes = float(sys.argv[sys.argv.index("--megabytes") + 1])
        args = [a for a in args if a != sys.argv[sys.argv.index("--megabytes") + 1]]
    count = int(args[0]) if args else 250000
    if count < 0:
        sys.exit("the count of sideshots cannot be negative")
    rng = random.Random(20261211)
    w = Writer(sys.stdout)
    for name in ("M1", "K1", "K2", "M2"):
        e, n, h = POINTS[name]
        w.line(w.ident(name) + w.length("81", e) + w.length("82", n) + w.length("83", h))
    limit = megabytes * 1e6 if megabytes is not None else None
    shots = 0
    for k, (station, back, ahead) in enumerate(SETUPS):
        e, n, h = POINTS[station]
        w.line(w.ident(station) + w.length("84", e) + w.length("85", n) + w.length("86", h) +
               w.length("88", HI))
        oriented = station != "P"
        zero = 0.0 if oriented else 123.4567
        for target in (back, ahead):
            w.pointing(station, zero, target, POINTS[target], 1)
        for target in (ahead, back):
            w.pointing(station, zero, target, POINTS[target], 2)
        if not oriented:
            continue
        # Half of the sideshots from K1, the rest from K2.
        first = k == 0
        while (shots < (count // 2 if first else count)) if limit is None else \
                w.size < (limit / 2 if first else limit):
            i = shots
            a, r = i * 0.61803 * 400 % 400 / RHO, 5 + (i * 7.3) % 90
            target = (e + r * math.sin(a), n + r * math.cos(a), h + (i % 7) * 0.1 - 0.3)
            w.pointing(station, zero, f"S{i + 1}", target, 1, rng.uniform(-0.001, 0.001),
                       code=1 + i % 40, computed=True)
            shots += 1


if __name__ == "__main__":
    main()
