#!/usr/bin/env python3
"""Writes the grid of bench/make_grid_book.py as setups: a G x G grid of
junctions 400 m apart, two stations on every edge between them, each
junction and station one setup read in two rounds (face one, then face two
in reverse), its targets the stations next to it along the edges, with a
horizontal distance to each; one sideshot from every edge station. The four
corners and the junction next to each along its row are known, and each
corner's setup also sights that junction, which orients it.

Every setup's circle is turned at random; readings carry up to 0.3 mgon
and 2 mm of noise from a fixed seed, so the book is the same on every
machine. With --exact there is no noise and values are written to 1e-9,
so that an adjustment returns the true coordinates. With --heights every
point has a true height (from a generator of its own, so that the plan's
readings stay those of the book without), the known points their Z, each
setup hi= and each pointing a zenith and ht=, which the network of heights
adjusts together with the plan. With --utm the grid lies on UTM zone 33N
(a `grid utm 33n` record), 130 km east of the central meridian, its
distances the grid's divided by the UTM scale factor at their middle (a
sphere's formula), as measured on the ellipsoid, or at the ground's mean
height where there are --heights.

    python3 bench/make_setup_book.py 40 > setups_40.book
    python3 bench/make_setup_book.py 40 --heights > setups_40_heights.book
"""
import math
import random
import sys

GON = math.pi / 200


def bearing(p, q):
    return math.atan2(q[1] - p[1], q[0] - p[0]) / GON % 400


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    exact = "--exact" in sys.argv
    with_heights = "--heights" in sys.argv
    height_rng = random.Random(20261210)
    heights = {}

    def height(name):
        if name not in heights:
            heights[name] = 100 + height_rng.uniform(-30, 30)
        return heights[name]

    def zenith(station, target, horizontal, hi, ht):
        # The zenith that gives the true height difference over `horizontal`
        # with curvature and refraction (k = 0.13, R = 6371 km).
        c = height(target) - height(station) - 0.87 * horizontal ** 2 / (2 * 6371000) - hi + ht
        return math.atan2(horizontal, c) / GON

    utm = "--utm" in sys.argv
    north, east = (5300000.0, 630000.0) if utm else (0.0, 0.0)
    g = int(args[0]) if args else 40
    if g < 2:
        sys.exit("the grid needs at least 2 junctions a side")
    rng = random.Random(20261209)
    noise = (lambda a: 0.0) if exact else (lambda a: rng.uniform(-a, a))
    angle_format, length_format = ("%.9f", "%.9f") if exact else ("%.5f", "%.4f")

    truth = {}
    junction = lambda i, j: "J%d.%d" % (i, j)
    for i in range(g):
        for j in range(g):
            truth[junction(i, j)] = (400.0 * i + rng.uniform(-20, 20), 400.0 * j + rng.uniform(-20, 20))
    neighbours = {name: [] for name in truth}
    stations = []
    for i in range(g):
        for j in range(g):
            for (k, l) in ((i, j + 1), (i + 1, j)):
                if k >= g or l >= g:
                    continue
                p, q = junction(i, j), junction(k, l)
                names = []
                for share, tag in ((1 / 3, "a"), (2 / 3, "b")):
                    name = "%s-%s%s" % (p, q[1:], tag)
                    truth[name] = (truth[p][0] + share * (truth[q][0] - truth[p][0]) + rng.uniform(-15, 15),
                                   truth[p][1] + share * (truth[q][1] - truth[p][1]) + rng.uniform(-15, 15))
                    names.append(name)
                    stations.append(name)
                chain = [p] + names + [q]
                for a, b in zip(chain, chain[1:]):
                    neighbours.setdefault(a, []).append(b)
                    neighbours.setdefault(b, []).append(a)
    known = []
    for (i, j), (k, l) in (((0, 0), (0, 1)), ((0, g - 1), (0, g - 2)),
                           ((g - 1, 0), (g - 1, 1)), ((g - 1, g - 1), (g - 1, g - 2))):
        corner, mark = junction(i, j), junction(k, l)
        known += [corner, mark]
        neighbours[corner].insert(0, mark)

    out = ["# A %d x %d grid read as setups (bench/make_setup_book.py%s%s)"
           % (g, g, " --exact" if exact else "",
              "".join(" --" + o for o, on in (("heights", with_heights), ("utm", utm)) if on)),
           "unit gon", "sigma direction 1.5", "sigma length 2 2"] + (["grid utm 33n"] if utm else [])
    for name in dict.fromkeys(known):
        out.append("point %s %.9f %.9f" % (name, truth[name][0] + north, truth[name][1] + east)
                   + (" %.9f" % height(name) if with_heights else ""))
    shots = set(stations)
    for station in [junction(i, j) for i in range(g) for j in range(g)] + stations:
        zero = rng.uniform(0, 400)  # where the circle's zero points
        targets = neighbours[station]
        hi = 1.5
        out += ["", "setup %s" % station + (" hi=%.3f" % hi if with_heights else "")]
        for face in (1, 2, 1, 2):
            for target in (targets if face == 1 else targets[::-1]):
                hz = (bearing(truth[station], truth[target]) - zero + noise(0.0003) + (200 if face == 2 else 0)) % 400
                scale = 1.0
                if utm:
                    e = (truth[station][1] + truth[target][1]) / 2 + east - 500000
                    scale = 0.9996 * (1 + e * e / (2 * 6381000.0 ** 2))
                    if with_heights:  # measured at the ground, above the ellipsoid
                        scale /= 1 + (height(station) + height(target)) / 2 / 6381000.0
                horizontal = math.dist(truth[station], truth[target]) / scale
                line = "%s %s hd=%s" % (target, angle_format % hz, length_format % (horizontal + noise(0.002)))
                if with_heights:
                    z = zenith(station, target, horizontal, hi, 1.3) + height_rng.uniform(-0.0003, 0.0003) * (not exact)
                    line += " za=%s ht=1.300" % angle_format % (400 - z if face == 2 else z)
                out.append(line + (" face=2" if face == 2 else ""))
        if station in shots:
            shot = station + "s"
            t, d = rng.uniform(0, 400), rng.uniform(5, 40)
            truth[shot] = (truth[station][0] + d * math.cos(t * GON), truth[station][1] + d * math.sin(t * GON))
            out.append("%s %s hd=%s code=MARK" % (shot, angle_format % ((t - zero) % 400), length_format % d))
        out.append("end")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
