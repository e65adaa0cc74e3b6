#!/usr/bin/env python3
"""Writes the answer file of a realistic traverse of N angles (default 255).

The traverse is laid out first: random leg bearings that wander gently and
random leg lengths of 100 to 300 m from B; C is where the legs end. The
angles a surveyor would measure (left angles, gon) follow from the bearings,
and every measurement gets a little noise (up to 1.5 mgon, up to 5 mm), so
the run adjusts small misclosures as a real one does. A fixed seed makes the
file the same on every machine. Lines end with CR LF; the last line is the
Enter that answers the exit prompt.

    python3 bench/make_traverse_input.py 255 > bench/traverse_255.txt
"""
import math
import random
import sys

GON = math.pi / 200


def main():
    angles = int(sys.argv[1]) if len(sys.argv) > 1 else 255
    if not 2 <= angles <= 255:
        sys.exit("the count of angles must lie from 2 to 255")
    rng = random.Random(20240601)

    a = (4800.000, 2850.000)
    b = (5000.000, 3000.000)
    start = math.atan2(b[1] - a[1], b[0] - a[0]) / GON % 400

    bearings = [start]  # bearings[0]: A to B; bearings[i]: leg i
    bearing = 60.0
    x, y = b
    lengths = []
    for _ in range(angles - 1):
        bearing = (bearing + rng.uniform(-30, 30)) % 400
        length = rng.uniform(100, 300)
        bearings.append(bearing)
        lengths.append(length)
        x += length * math.cos(bearing * GON)
        y += length * math.sin(bearing * GON)
    c = (x, y)
    end = (bearing + rng.uniform(-50, 50)) % 400
    bearings.append(end)
    d = (c[0] + 300 * math.cos(end * GON), c[1] + 300 * math.sin(end * GON))

    lines = [f"{v:.3f}" for point in (a, b, c, d) for v in point]
    lines.append("left")
    lines.append(str(angles))
    for i in range(1, angles + 1):
        measured = (bearings[i] - bearings[i - 1] + 200 + rng.uniform(-0.0015, 0.0015)) % 400
        lines.append(f"{measured:.4f}")
    for length in lengths:
        lines.append(f"{length + rng.uniform(-0.005, 0.005):.3f}")
    lines.append("")
    sys.stdout.buffer.write(("\r\n".join(lines) + "\r\n").encode("ascii"))


if __name__ == "__main__":
    main()
