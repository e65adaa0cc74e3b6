#!/usr/bin/env python3
"""Writes a field book of a G x G grid of junctions 400 m apart, every edge
of the grid a traverse with two stations between its junctions, and only the
four corners known: G^2 + 4 G (G - 1) points, 7,840 of them for G = 40.

The book lists the traverses in an order it can be computed in: row by row,
first the traverses along the row, then those down to the next row. Each
one leaves a junction known or computed above it, oriented on another such
junction; a traverse down to the next row ends on the junction it computes
(open), one along a row below the first ends on the junction the traverse
down to it computed, oriented on a junction computed before (connecting).
The junctions lie up to 20 m off the grid, the stations up to 15 m off the
line; angles are left and read with up to 0.5 mgon of noise, distances
with up to 3 mm, from a fixed seed, so the book is the same on every
machine. Adjusted with --rule least-squares the whole grid is one network.

    python3 bench/make_grid_book.py 40 > grid_40.book
"""
import math
import random
import sys

GON = math.pi / 200


def bearing(p, q):
    return math.atan2(q[1] - p[1], q[0] - p[0]) / GON % 400


def main():
    g = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    if g < 2:
        sys.exit("the grid needs at least 2 junctions a side")
    rng = random.Random(20240917)

    truth = {}
    for i in range(g):
        for j in range(g):
            truth["J%d.%d" % (i, j)] = (400.0 * i + rng.uniform(-20, 20),
                                        400.0 * j + rng.uniform(-20, 20))
    corners = ["J0.0", "J0.%d" % (g - 1), "J%d.0" % (g - 1), "J%d.%d" % (g - 1, g - 1)]
    computed = set(corners)

    out = ["# A %d x %d grid of traverses, the four corners known (bench/make_grid_book.py)" % (g, g),
           "unit gon"]
    for name in corners:
        out.append("point %s %.3f %.3f" % (name, truth[name][0], truth[name][1]))

    def traverse(start, mark, end, end_mark):
        """The traverse from junction `start` to `end` through two new stations."""
        p, q = truth[start], truth[end]
        stations = []
        for share, tag in ((1 / 3, "a"), (2 / 3, "b")):
            name = "%s-%s%s" % (start, end[1:], tag)
            truth[name] = (p[0] + share * (q[0] - p[0]) + rng.uniform(-15, 15),
                           p[1] + share * (q[1] - p[1]) + rng.uniform(-15, 15))
            stations.append(name)
        line = [start] + stations + [end]
        sights = [mark] + line + ([end_mark] if end_mark else [])
        out.extend(["", "traverse %s-%s left" % (start, end[1:]), mark])
        for k, name in enumerate(line):
            if k + 1 == len(line) and not end_mark:
                out.append(name)  # open: the last station without an angle
                break
            back = bearing(truth[name], truth[sights[k]])
            ahead = bearing(truth[name], truth[sights[k + 2]])
            angle = (ahead - back + rng.uniform(-0.0005, 0.0005)) % 400
            if k + 1 < len(line):
                length = math.dist(truth[name], truth[line[k + 1]]) + rng.uniform(-0.003, 0.003)
                out.append("%s %.4f %.3f" % (name, angle, length))
            else:
                out.append("%s %.4f" % (name, angle))
        if end_mark:
            out.append(end_mark)
        out.append("end")
        computed.update(line)

    def junction(i, j):
        return "J%d.%d" % (i, j)

    for i in range(g):
        # Along row i: from the first junction on, each one's start computed.
        for j in range(g - 1):
            start, end = junction(i, j), junction(i, j + 1)
            if j > 0:
                mark = junction(i, j - 1)
            else:
                mark = junction(i - 1, 0) if i > 0 else junction(g - 1, 0)
            if end in computed:
                end_mark = junction(i - 1, j + 1) if i > 0 else junction(g - 1, g - 1)
            else:
                end_mark = None
            traverse(start, mark, end, end_mark)
        # Down to row i + 1: each junction of it computed here, or a corner.
        if i + 1 < g:
            for j in range(g):
                start, end = junction(i, j), junction(i + 1, j)
                mark = junction(i, j + 1) if j + 1 < g else junction(i, j - 1)
                if end in computed:
                    end_mark = junction(g - 1, g - 1) if j == 0 else junction(g - 1, 0)
                else:
                    end_mark = None
                traverse(start, mark, end, end_mark)
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
