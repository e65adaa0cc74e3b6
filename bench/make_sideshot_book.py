#!/usr/bin/env python3
"""Writes a field book of N sideshots from one setup: a short connecting
traverse between the known points K1 and K2 (oriented on their marks M1 and
M2, through the new point P), which the compass rule needs, and one setup
on K1 read in one face, oriented on M1, then N sideshots 5 to 60 m off with
a horizontal distance and a code each. N = 0 gives the same book with the
setup's orientation alone, the yardstick of the sideshots' cost.

Readings carry up to 0.3 mgon and 2 mm of noise from a fixed seed, so the
book is the same on every machine.

    python3 bench/make_sideshot_book.py 100000 > sideshots_100000.book
"""
import math
import random
import sys

GON = math.pi / 200


def bearing(p, q):
    return math.atan2(q[1] - p[1], q[0] - p[0]) / GON % 400


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    if count < 0:
        sys.exit("the count of sideshots cannot be negative")
    rng = random.Random(20261209)
    noise = lambda a: rng.uniform(-a, a)
    points = {"K1": (5000.0, 3000.0), "M1": (5600.0, 3100.0),
              "K2": (5100.0, 3500.0), "M2": (4600.0, 3900.0)}
    p = (5150.0, 3240.0)
    out = ["# %d sideshots from one setup (bench/make_sideshot_book.py)" % count,
           "unit gon", "sigma direction 1.5", "sigma length 2 2"]
    out += ["point %s %.3f %.3f" % (name, x, y) for name, (x, y) in points.items()]
    # The traverse M1 > K1 > P > K2 > M2, its left angles and legs.
    sights = [points["M1"], points["K1"], p, points["K2"], points["M2"]]
    out += ["", "traverse T left", "M1"]
    for j, name in enumerate(["K1", "P", "K2"]):
        at = sights[j + 1]
        angle = (bearing(at, sights[j + 2]) - bearing(at, sights[j]) + noise(0.0003)) % 400
        if name != "K2":
            out.append("%s %.5f %.4f" % (name, angle, math.dist(at, sights[j + 2]) + noise(0.002)))
        else:
            out.append("%s %.5f" % (name, angle))
    out += ["M2", "end"]
    # The setup: its circle turned at random, the mark first.
    k1 = points["K1"]
    zero = rng.uniform(0, 400)
    out += ["", "setup K1", "M1 %.5f" % ((bearing(k1, points["M1"]) - zero + noise(0.0003)) % 400)]
    for i in range(count):
        t, d = rng.uniform(0, 400), rng.uniform(5, 60)
        out.append("S%d %.5f hd=%.4f code=MARK" % (i + 1, (t - zero) % 400, d))
    out.append("end")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
