#!/usr/bin/env python3
"""Writes a field book of N connecting traverses of 20 stations each.

The traverses run one after another as a long survey does: traverse i leaves
the known point K<i>, oriented on its mark R<i>, through 18 new points, and
ends on K<i+1> oriented on R<i+1>, where the next one leaves. The line is laid
out first (legs of 100 to 300 m on bearings that wander gently, each mark
400 to 900 m off its station); the left angles and distances a surveyor
would read follow from it, each with a little noise (up to 0.5 mgon, up to
3 mm), so every traverse adjusts small misclosures within
--angular-tolerance 60,20 and --linear-tolerance 5000. A fixed seed makes
the book the same on every machine.

    python3 bench/make_book.py 1000 > book_1000.book
"""
import math
import random
import sys

GON = math.pi / 200
STATIONS = 20


def bearing(p, q):
    return math.atan2(q[1] - p[1], q[0] - p[0]) / GON % 400


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1
    if count < 1:
        sys.exit("the count of traverses must be at least 1")
    rng = random.Random(20240917)

    def mark(station):
        t = rng.uniform(0, 400)
        r = rng.uniform(400, 900)
        return (station[0] + r * math.cos(t * GON), station[1] + r * math.sin(t * GON))

    # Known stations and their marks, and the new points of each traverse.
    known = [(100000.0, 200000.0)]
    marks = [mark(known[0])]
    paths = []
    heading = rng.uniform(0, 400)
    for _ in range(count):
        x, y = known[-1]
        path = [(x, y)]
        for _ in range(STATIONS - 1):
            heading = (heading + rng.uniform(-30, 30)) % 400
            length = rng.uniform(100, 300)
            x += length * math.cos(heading * GON)
            y += length * math.sin(heading * GON)
            path.append((x, y))
        paths.append(path)
        known.append(path[-1])
        marks.append(mark(path[-1]))

    out = ["# %d connecting traverses of %d stations (bench/make_book.py)" % (count, STATIONS),
           "unit gon"]
    for i, (k, r) in enumerate(zip(known, marks)):
        out.append("point K%d %.3f %.3f" % (i, k[0], k[1]))
        out.append("point R%d %.3f %.3f" % (i, r[0], r[1]))
    for i, path in enumerate(paths):
        names = ["K%d" % i] + ["P%d.%d" % (i, j) for j in range(1, STATIONS - 1)] + ["K%d" % (i + 1)]
        sights = [marks[i]] + path + [marks[i + 1]]
        out += ["", "traverse T%d left" % i, "R%d" % i]
        for j, name in enumerate(names):
            back = bearing(sights[j + 1], sights[j])
            ahead = bearing(sights[j + 1], sights[j + 2])
            angle = (ahead - back + rng.uniform(-0.0005, 0.0005)) % 400
            if j + 1 < len(names):
                length = math.dist(path[j], path[j + 1]) + rng.uniform(-0.003, 0.003)
                out.append("%s %.4f %.3f" % (name, angle, length))
            else:
                out.append("%s %.4f" % (name, angle))
        out += ["R%d" % (i + 1), "end"]
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
